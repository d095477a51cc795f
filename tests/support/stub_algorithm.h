// An algorithm for tests of the modelling layer: it takes each extractable as
// itself, accepts every change and values everything at 0. A test overrides
// what it watches.
#pragma once

#include "qroalgorithm.h"

class StubAlgorithm : public QroAlgorithmI {
 public:
  explicit StubAlgorithm(QroEnvI* env) : QroAlgorithmI(env) {}
  QroBool extractOne(QroExtractableI* x, void** r) override {
    *r = x;
    return 1;
  }
  QroBool removeOne(QroExtractableI*, void*) override { return 1; }
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override { return 1; }
  QroNum getObjValue() override { return 0; }
  QroNum getValue(QroObjectiveI*) override { return 0; }
  QroNum getValue(QroNumVarI*) override { return 0; }
  using QroAlgorithmI::getValue;
};
