// The spring-design model the program builds, under the tests' name.
#ifndef QRO_TEST_DESIGN_MODEL_H
#define QRO_TEST_DESIGN_MODEL_H

#include "spring_model.h"

namespace qrotest {

typedef SpringModel DesignModel;

}  // namespace qrotest

#endif
