// The spring-design model, built step by step in the order the program builds
// it; shared by the tests that inspect or solve it.
#ifndef QRO_TEST_DESIGN_MODEL_H
#define QRO_TEST_DESIGN_MODEL_H

#include "qromodel.h"
#include "qrooperators.h"

namespace qrotest {

struct DesignModel {
  explicit DesignModel(QroEnv& env);
  QroModel model;
  QroNumVarArray x;  // x[0] is D, x[1] is d
  QroNumVar F, N;
  QroConstraint c4, c5;  // (D + d) / 1.5 - 1 <= 0 and F == (N + 2) * D * d^2
};

}  // namespace qrotest

#endif
