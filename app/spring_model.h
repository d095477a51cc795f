// The spring-design model: diameters D and d, force F and coil count N under
// five constraints, built in the order the program states it. Shared by the
// program and by the tests and benchmarks that inspect or measure it.
#ifndef QRO_SPRING_MODEL_H
#define QRO_SPRING_MODEL_H

#include "qromodel.h"
#include "qrooperators.h"

struct SpringModel {
  explicit SpringModel(QroEnv& env);
  QroModel model;
  QroNumVarArray x;  // x[0] is D, x[1] is d
  QroNumVar F, N;
  QroConstraint c4, c5;  // (D + d) / 1.5 - 1 <= 0 and F == (N + 2) * D * d^2
};

#endif
