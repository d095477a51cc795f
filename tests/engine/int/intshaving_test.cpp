// Watch constraints that shave an integer variable's maximum: activation by
// range changes within one propagation stamp, the level floor, the slices
// tested, negative ranges that must end, and random feasible sets that the
// shaving must keep.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintexp.h"
#include "qrcintshaving.h"
#include "qrcmanager.h"
#include "support/seed.h"
#include "support/watchdog.h"

namespace {

// Fails when x's range holds none of the feasible values.
class FeasibleValues : public QrcConstraintI {
 public:
  FeasibleValues(QrcIntExpI* x, const std::vector<QrcInt>* feasible)
      : QrcConstraintI(x->getManager()), _x(x), _feasible(feasible) {}
  void post() override { _x->whenRange(this); }
  void propagate() override {
    QrcInt lo = _x->getMin(), hi = _x->getMax();
    for (QrcInt v : *_feasible)
      if (lo <= v && v <= hi) return;
    fail();
  }

 private:
  QrcIntExpI* _x;
  const std::vector<QrcInt>* _feasible;
};

class IntShaving : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    m = new QrcManagerI(&QrcNoEdit);
    m->useExceptions(GetParam());
    mh = QrcManager(m);
  }
  void TearDown() override { delete m; }
  // A variable over [lo, hi] whose values are the feasible ones, watched at the level.
  QrcSpiralSolverIntCtI* watched(QrcIntVar& x, QrcInt lo, QrcInt hi, std::vector<QrcInt> values,
                                 QrcInt level = 3) {
    x = QrcIntVar(mh, lo, hi);
    feasible = values;
    mh.add(new (m) FeasibleValues(x.getImpl(), &feasible));
    QrcSpiralSolverIntCtI* w =
        static_cast<QrcSpiralSolverIntCtI*>(QrcSpiralSolverIntCt(x, level).getImpl());
    mh.add(w);
    // The first change seen after posting starts the count at this stamp.
    w->propagate();
    EXPECT_EQ(w->getCount(), 0);
    return w;
  }
  // Range changes seen within the current stamp.
  static void changes(QrcSpiralSolverIntCtI* w, int n) {
    for (int i = 0; i < n; ++i) w->propagate();
  }
  QrcManagerI* m = nullptr;
  QrcManager mh;
  std::vector<QrcInt> feasible;
};

TEST_P(IntShaving, LevelsBelowThreeActAsThree) {
  for (QrcInt level : {1, 2, 3}) {
    SCOPED_TRACE(level);
    QrcIntVar x;
    QrcSpiralSolverIntCtI* w = watched(x, 0, 10, {0, 1, 2, 3, 4}, level);
    EXPECT_EQ(w->getLevel(), 3);
    changes(w, 3);
    EXPECT_FALSE(w->isActive());
    EXPECT_EQ(x.getMax(), 10);
    changes(w, 1);
    // [5, 10] has no solution, [2, 5] has one: the maximum read there stays.
    EXPECT_EQ(x.getMax(), 5);
    EXPECT_EQ(x.getMin(), 0);
    EXPECT_FALSE(w->isActive());
    EXPECT_EQ(w->getThreshold(), 3);
    EXPECT_FALSE(x.getImpl()->getIntHandler()->isSuspended());
  }
}

TEST_P(IntShaving, NewStampRestartsTheCount) {
  QrcIntVar x;
  QrcSpiralSolverIntCtI* w = watched(x, 0, 10, {0, 1, 2, 3, 4});
  changes(w, 3);
  EXPECT_EQ(w->getCount(), 3);
  // A propagation of its own: the watch sees a new stamp and starts again.
  x.getImpl()->setMin(0 + 1);
  EXPECT_EQ(w->getCount(), 0);
  changes(w, 3);
  EXPECT_EQ(x.getMax(), 10);
  changes(w, 1);
  EXPECT_EQ(x.getMax(), 5);
}

TEST_P(IntShaving, TwoValuesAreNotShaved) {
  QrcIntVar x;
  QrcSpiralSolverIntCtI* w = watched(x, 0, 1, {0});
  changes(w, 4);
  EXPECT_EQ(x.getMax(), 1);
}

TEST_P(IntShaving, NegativeRangesEnd) {
  qrotest::Watchdog guard("integer shaving of [-5, -3]", 60);
  QrcIntVar x;
  // Values above -4 have no solution; the slice tried is [-4, -3], not [-3, -3].
  QrcSpiralSolverIntCtI* w = watched(x, -5, -3, {-5, -4});
  changes(w, 4);
  EXPECT_EQ(x.getMin(), -5);
  EXPECT_EQ(x.getMax(), -3);
  EXPECT_EQ(w->getThreshold(), 3);
}

TEST_P(IntShaving, Displays) {
  QrcIntVar x(mh, 0, 3);
  QrcInt result = 0;
  std::ostringstream os;
  testIntgoalI* g = new (m) testIntgoalI(m, x.getImpl(), 1, 2, &result);
  g->display(os);
  os << " " << g->getClassName() << " ";
  QrcSpiralSolverIntCt(x, 3).getImpl()->display(os);
  EXPECT_EQ(os.str(), "testIntgoal testIntgoalI QrcSpiralSolverIntCt");
  EXPECT_EQ(m->solve(g, true), 1);
  EXPECT_EQ(result, 2);
}

// Whatever the feasible values, the shaved maximum stays at or above the
// largest of them and the minimum never moves.
TEST_P(IntShaving, RandomFeasibleValuesStay) {
  uint64_t seed = qrotest::seedOr(7771);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 rng(seed);
  int shaved = 0;
  for (int round = 0; round < 200; ++round) {
    QrcInt lo = static_cast<QrcInt>(rng() % 41) - 20, hi = lo + static_cast<QrcInt>(rng() % 30);
    std::vector<QrcInt> values;
    for (QrcInt v = lo; v <= hi; ++v)
      if (rng() % 4 == 0) values.push_back(v);
    if (values.empty()) values.push_back(lo);
    QrcIntVar x;
    QrcSpiralSolverIntCtI* w = watched(x, lo, hi, values);
    changes(w, 4);
    SCOPED_TRACE(round);
    EXPECT_EQ(x.getMin(), lo);
    EXPECT_GE(x.getMax(), values.back());
    if (x.getMax() < hi) ++shaved;
  }
  // At least 15 of the 200 rounds shave at each of seeds 1 to 300.
  EXPECT_GT(shaved, 5);
}

// Records, when x is processed outside nested searches, its range and the
// values its delta gives (bit v for value v).
class Heard : public QrcConstraintI {
 public:
  explicit Heard(QrcIntExpI* x) : QrcConstraintI(x->getManager()), x(x) {}
  void post() override { x->whenDomain(this); }
  void propagate() override {
    if (_manager->getSearchDepth() > 1 || !x->isProcessing()) return;
    min = x->getMin();
    max = x->getMax();
    lost = 0;
    QrcIntVarDeltaIterator it(x);
    for (QrcInt v; it.next(v);) lost |= uint64_t(1) << v;
  }
  QrcIntExpI* x;
  QrcInt min = 0, max = 0;
  uint64_t lost = 0;
};

// Within one drain the watch suspends x, which then changes: removed values
// and a lower maximum; a failure may end the branch there.
Heard* g_heard;
QrcSpiralSolverIntCtI* g_watch;
class SuspendAndChangeI : public QrcGoalI {
 public:
  SuspendAndChangeI(QrcManagerI* m, QrcInt removed, bool fail)
      : QrcGoalI(m), _removed(removed), _fail(fail) {}
  QrcGoalI* execute() override {
    QrcPropagationQueueI* q = _manager->getPropagationQueue();
    q->enter();
    for (int i = 0; i < 5; ++i) g_watch->propagate();
    g_heard->x->removeValue(_removed);
    if (_fail) _manager->fail();
    g_heard->x->setMax(16);
    q->leave();
    return nullptr;
  }

 private:
  QrcInt _removed;
  bool _fail;
};

// What x's demons missed while it was suspended reaches them once the
// companion has run (here it narrows nothing: the top slice holds), and
// nothing of a branch left before.
TEST_P(IntShaving, ChangesMadeWhileSuspendedReachTheDemons) {
  QrcIntVar x;
  std::vector<QrcInt> all;
  for (QrcInt v = 0; v <= 20; ++v) all.push_back(v);
  g_watch = watched(x, 0, 20, all);
  g_heard = new (m) Heard(x.getImpl());
  mh.add(g_heard);
  // Kept equal to x + 3 by offset links, suspended or not.
  QrcIntVar y(QrcIntExp(x) + 3);
  QrcGoalI* left = new (m) SuspendAndChangeI(m, 5, true);
  QrcGoalI* right = new (m) SuspendAndChangeI(m, 7, false);
  ASSERT_EQ(m->solve(new (m) QrcOrI(m, left, right, nullptr), false), 1);
  EXPECT_EQ(g_heard->min, 0);
  EXPECT_EQ(g_heard->max, 16);
  // 7 and 17 to 20; not 5, back with the failed branch.
  EXPECT_EQ(g_heard->lost, uint64_t(0x1e0080));
  EXPECT_FALSE(x.getImpl()->getIntHandler()->isSuspended());
  EXPECT_EQ(y.getMax(), 19);
  EXPECT_FALSE(y.isInDomain(10));
}

INSTANTIATE_TEST_SUITE_P(FailureModes, IntShaving, ::testing::Bool());

}  // namespace
