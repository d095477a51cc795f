// Watch constraints that shave a float variable's maximum: the level floor,
// the stamp, unbounded ranges that must end, and random feasible sets that
// the shaving must keep.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcfloatshaving.h"
#include "qrcmanager.h"
#include "support/seed.h"
#include "support/watchdog.h"

namespace {

const double Inf = HUGE_VAL;

struct Interval {
  double lo, hi;
};

// Fails when x's range meets none of the feasible intervals.
class FeasibleIntervals : public QrcConstraintI {
 public:
  FeasibleIntervals(QrcFloatExpI* x, const std::vector<Interval>* feasible)
      : QrcConstraintI(x->getManager()), _x(x), _feasible(feasible) {}
  void post() override { _x->whenRange(this); }
  void propagate() override {
    double lo = _x->getMin(), hi = _x->getMax();
    for (const Interval& f : *_feasible)
      if (f.lo <= hi && lo <= f.hi) return;
    fail();
  }

 private:
  QrcFloatExpI* _x;
  const std::vector<Interval>* _feasible;
};

class FloatShaving : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    m = new QrcManagerI(&QrcNoEdit);
    m->useExceptions(GetParam());
    mh = QrcManager(m);
  }
  void TearDown() override { delete m; }
  QrcSpiralSolverFloatCtI* watched(QrcFloatVar& x, double lo, double hi,
                                   std::vector<Interval> values, QrcInt level = 3) {
    x = QrcFloatVar(mh, lo, hi);
    feasible = values;
    mh.add(new (m) FeasibleIntervals(x.getImpl(), &feasible));
    QrcSpiralSolverFloatCtI* w =
        static_cast<QrcSpiralSolverFloatCtI*>(QrcSpiralSolverFloatCt(x, level).getImpl());
    mh.add(w);
    // The first change seen after posting starts the count at this stamp.
    w->propagate();
    EXPECT_EQ(w->getCount(), 0);
    return w;
  }
  static void changes(QrcSpiralSolverFloatCtI* w, int n) {
    for (int i = 0; i < n; ++i) w->propagate();
  }
  QrcManagerI* m = nullptr;
  QrcManager mh;
  std::vector<Interval> feasible;
};

TEST_P(FloatShaving, LevelsBelowThreeActAsThree) {
  for (QrcInt level : {1, 2, 3}) {
    SCOPED_TRACE(level);
    QrcFloatVar x;
    QrcSpiralSolverFloatCtI* w = watched(x, 0, 10, {{-Inf, 4}}, level);
    EXPECT_EQ(w->getLevel(), 3);
    changes(w, 3);
    EXPECT_EQ(x.getMax(), 10.0);
    changes(w, 1);
    // Upper fifths refuted down to [4.096, 5.12]; [3.2768, 4.096] holds.
    EXPECT_DOUBLE_EQ(x.getMax(), 4.096);
    EXPECT_EQ(w->getThreshold(), 3);
  }
}

TEST_P(FloatShaving, NewStampRestartsTheCount) {
  QrcFloatVar x;
  QrcSpiralSolverFloatCtI* w = watched(x, 0, 10, {{-Inf, 4}});
  changes(w, 3);
  EXPECT_EQ(w->getCount(), 3);
  x.setRange(1, 10);
  EXPECT_EQ(w->getCount(), 0);
  changes(w, 3);
  EXPECT_EQ(x.getMax(), 10.0);
  changes(w, 1);
  EXPECT_LT(x.getMax(), 5.0);
}

// An infinite bound leaves nothing to slice: the companion returns at once
// and leaves the variable as it was.
TEST_P(FloatShaving, InfiniteBoundsEndUnchanged) {
  struct {
    double lo, hi;
  } rows[] = {{0, Inf}, {-Inf, 10}, {-Inf, Inf}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lo);
    SCOPED_TRACE(row.hi);
    qrotest::Watchdog guard("float shaving of an unbounded range", 60);
    QrcFloatVar x;
    QrcSpiralSolverFloatCtI* w = watched(x, row.lo, row.hi, {{-Inf, 4}});
    changes(w, 4);
    EXPECT_EQ(x.getMin(), row.lo);
    EXPECT_EQ(x.getMax(), row.hi);
    EXPECT_FALSE(w->isActive());
    EXPECT_EQ(w->getThreshold(), 3);
    EXPECT_FALSE(x.getImpl()->getFloatHandler()->isSuspended());
  }
}

TEST_P(FloatShaving, Displays) {
  QrcFloatVar x(mh, 0, 3);
  double result = 0;
  std::ostringstream os;
  testFloatgoalI* g = new (m) testFloatgoalI(m, x.getImpl(), 1, 2, &result);
  g->display(os);
  os << " " << g->getClassName() << " ";
  QrcSpiralSolverFloatCt(x, 3).getImpl()->display(os);
  EXPECT_EQ(os.str(), "testFloatgoal testFloatgoalI QrcSpiralSolverFloatCt");
  EXPECT_EQ(m->solve(g, true), 1);
  EXPECT_EQ(result, 2.0);
}

TEST_P(FloatShaving, RandomFeasibleSetsStay) {
  uint64_t seed = qrotest::seedOr(9313);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  int shaved = 0;
  for (int round = 0; round < 100; ++round) {
    double lo = -10 + 20 * unit(rng), hi = lo + 20 * unit(rng);
    std::vector<Interval> values;
    double last = -Inf;
    for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
      double a = lo + (hi - lo) * unit(rng);
      values.push_back({a, a + (hi - a) * 0.1 * unit(rng)});
      last = std::fmax(last, values.back().hi);
    }
    QrcFloatVar x;
    QrcSpiralSolverFloatCtI* w = watched(x, lo, hi, values);
    changes(w, 4);
    SCOPED_TRACE(round);
    EXPECT_EQ(x.getMin(), lo);
    EXPECT_GE(x.getMax(), last);
    if (x.getMax() < hi) ++shaved;
  }
  EXPECT_GT(shaved, 50);
}

// Records x's range when x is processed outside nested searches.
class Heard : public QrcConstraintI {
 public:
  explicit Heard(QrcFloatExpI* x) : QrcConstraintI(x->getManager()), x(x) {}
  void post() override { x->whenRange(this); }
  void propagate() override {
    if (_manager->getSearchDepth() > 1 || !x->getFloatHandler()->isProcessing()) return;
    min = x->getMin();
    max = x->getMax();
  }
  QrcFloatExpI* x;
  double min = 0, max = 0;
};

// Within one drain the watch suspends x, whose maximum then falls.
Heard* g_heard;
QrcSpiralSolverFloatCtI* g_watch;
class SuspendAndNarrowI : public QrcGoalI {
 public:
  explicit SuspendAndNarrowI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    QrcPropagationQueueI* q = _manager->getPropagationQueue();
    q->enter();
    for (int i = 0; i < 5; ++i) g_watch->propagate();
    g_heard->x->setRange(0, 6);
    q->leave();
    return nullptr;
  }
};

// What x's demons missed while it was suspended reaches them once the
// companion has run (here it narrows nothing: the top slice holds).
TEST_P(FloatShaving, ChangesMadeWhileSuspendedReachTheDemons) {
  QrcFloatVar x;
  g_watch = watched(x, 0, 10, {{0, 10}});
  g_heard = new (m) Heard(x.getImpl());
  mh.add(g_heard);
  ASSERT_EQ(m->solve(new (m) SuspendAndNarrowI(m), false), 1);
  EXPECT_EQ(g_heard->min, 0.0);
  EXPECT_EQ(g_heard->max, 6.0);
  EXPECT_FALSE(x.getImpl()->getFloatHandler()->isSuspended());
}

INSTANTIATE_TEST_SUITE_P(FailureModes, FloatShaving, ::testing::Bool());

}  // namespace
