// Small goals, demons and an error reporter for the float variable tests.
// Code that can fail keeps no local objects with destructors.
#ifndef QRC_TEST_FLOAT_FIXTURES_H
#define QRC_TEST_FLOAT_FIXTURES_H

#include <gtest/gtest.h>

#include <functional>

#include "engine/float/qrcfloatconstants.h"
#include "qrcerror.h"
#include "qrcfloatexp.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qroplatform.h"
#include "support/call_goal.h"

namespace floatvartest {

// Thrown by ThrowingReporter: the code of the error report.
struct ReportedError {
  int code;
};

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw ReportedError{code}; }
};

using qrotest::CallGoal;

// Counts its runs and calls an optional function.
class CountDemon : public QrcDemonI {
 public:
  explicit CountDemon(QrcManagerI* m, const std::function<void()>* fn = nullptr)
      : QrcDemonI(m), _fn(fn) {}
  void propagate() override {
    ++runs;
    if (_fn) (*_fn)();
  }
  int runs = 0;

 private:
  const std::function<void()>* _fn;
};

// Runs fn in a nested search that restores the state; true when it succeeded.
inline bool solveRestoring(QrcManagerI* m, const std::function<void()>& fn) {
  return m->solve(new (m) CallGoal(m, &fn), true) != 0;
}

// A manager in no-edit mode that fails by exception and reports errors by
// throwing ReportedError.
class FloatManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(true);
    m->setErrorReporter(&reporter);
  }
  void TearDown() override { mgr.end(); }
  QrcFloatVar var(double a, double b) { return QrcFloatVar(mgr, a, b); }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
  ThrowingReporter reporter;
};

// The rounded constants of the interval functions set, and rounding back to
// nearest after each test.
class IntervalConstantsTest : public testing::Test {
 protected:
  void SetUp() override {
    initFloatConstantBounds();
    initExpLogConstantBounds();
    initApproxCoefficientBounds();
  }
  void TearDown() override { qroplatform::setRounding(qroplatform::RoundNearest); }
};

}  // namespace floatvartest

#endif
