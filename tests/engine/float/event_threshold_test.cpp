// When a change of a float variable wakes its demons: changes are measured
// from the bounds of the last wake, so small ones add up; a long propagation
// ends once its changes are small beside the width, close to its fixpoint;
// changes made after a propagation are measured afresh; and a search reports
// only boxes on which its constraints were propagated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "float_fixtures.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatfunctions.h"
#include "qrcfloatgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"

namespace {

using floatvartest::CountDemon;

const double Inf = HUGE_VAL;

class EventThreshold : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(GetParam());
  }
  void TearDown() override { mgr.end(); }
  CountDemon* watch(const QrcFloatVar& x) {
    CountDemon* d = new (m) CountDemon(m);
    x.getImpl()->whenRange(d);
    return d;
  }
  // How far the bounds of a box left by a propagation may lie from those its
  // demons last saw: the relative threshold, or an eighth of the width at
  // the last wake, which is within a sixth of the final width.
  double slack(const QrcFloatVar& x) const {
    double r = m->getRelativeEventThreshold();
    return (x.getMax() - x.getMin()) / 6 + 2 * r * std::max(std::fabs(x.getMin()), x.getMax());
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

// Each narrowing moves the maximum by 0.4 of the threshold: the third one
// has moved it past the threshold since the last wake.
TEST_P(EventThreshold, SmallChangesThatAddUpWake) {
  double r = m->getRelativeEventThreshold();
  QrcFloatVar x(mgr, 1, 2);
  CountDemon* d = watch(x);
  const int expected[] = {0, 0, 1, 1, 1, 2};
  for (int runs : expected) {
    x.getImpl()->setRange(-Inf, x.getMax() * (1 - 0.4 * r));
    EXPECT_EQ(d->runs, runs) << "max " << x.getMax();
  }
}

// x + exp(x) = 1 closes in on 0 ever more slowly. The propagation ends with
// x around 0, and one more step of x = 1 - exp(x) from the box widened by
// the slack keeps the box: it was propagated to a fixpoint up to the slack.
TEST_P(EventThreshold, ALongPropagationEndsCloseToItsFixpoint) {
  QrcFloatVar x(mgr, -1, 1);
  mgr.add(x + QrcExponent(x) == 1.0);
  double a = x.getMin(), b = x.getMax(), s = slack(x);
  EXPECT_LE(a, 0.0);
  EXPECT_GE(b, 0.0);
  EXPECT_LT(b - a, 0.25);
  EXPECT_LE(1 - std::exp(b + s), a + 1e-15) << "x in [" << a << ", " << b << "]";
  EXPECT_GE(1 - std::exp(a - s), b - 1e-15) << "x in [" << a << ", " << b << "]";
}

// Bounds that creep towards infinity (x >= y + 1, y >= x + 1) stop waking
// the demons: the propagation ends without a fail.
TEST_P(EventThreshold, APropagationCreepingToInfinityEnds) {
  QrcFloatVar x(mgr, 0, Inf), y(mgr, 0, Inf);
  mgr.add(x >= y + 1.0);
  mgr.add(y >= x + 1.0);
  EXPECT_GT(x.getMin(), 1.0);
  EXPECT_EQ(x.getMax(), Inf);
}

// After the long propagation of x + exp(x) = 1, a narrowing far above the
// relative threshold but small beside the width wakes the demons again.
TEST_P(EventThreshold, ChangesAfterALongPropagationAreMeasuredAfresh) {
  QrcFloatVar x(mgr, -1, 1);
  mgr.add(x + QrcExponent(x) == 1.0);
  ASSERT_LT(x.getMax(), 0.5);
  CountDemon* d = watch(x);
  double width = x.getMax() - x.getMin();
  x.getImpl()->setRange(-Inf, x.getMax() - std::ldexp(width, -30));
  EXPECT_GE(d->runs, 1);
  EXPECT_LT(x.getMax() - x.getMin(), width * (1 - std::ldexp(1.0, -30)));
}

// 3 <= x1 / x0 / x1 <= 7 holds for x0 >= 1/7 only, which interval
// evaluation of the repeated x1 sees only as x1 narrows; below 1/7 the
// propagation closes in ever more slowly. Every box the bisection reports
// has 1 / x0 at most 7 up to the slack; the search is stopped by a fail
// limit.
TEST_P(EventThreshold, BisectionReportsOnlyPropagatedBoxes) {
  m->setFailLimit(300);
  QrcFloatVar x0(mgr, -0.75, 0.75), x1(mgr, 0.7, 0.8);
  mgr.add(x1 / x0 / x1 <= 7.0);
  mgr.add(x1 / x0 / x1 >= 3.0);
  QrcSearch search(mgr, QrcAnd(QrcInstantiate(x0, 0, 0.0), QrcInstantiate(x1, 0, 0.0)));
  for (int count = 0; count < 5 && search.next(); ++count)
    EXPECT_GE(x0.getMax() + slack(x0), 1 / 7.0)
        << "x0 in [" << x0.getMin() << ", " << x0.getMax() << "]";
  search.end();
}

INSTANTIATE_TEST_SUITE_P(Failures, EventThreshold, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Exceptions" : "Jumps";
                         });

}  // namespace
