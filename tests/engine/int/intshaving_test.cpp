// Watch constraints that shave an integer variable's maximum: activation by
// range changes within one propagation stamp, the level floor, the slices
// tested, negative ranges that must end, random feasible sets that the
// shaving must keep, and the deltas the demons of held variables hear.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcintgoals.h"
#include "qrcintshaving.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
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

// Keeps the values it believes x has (bit v for value v, trailed) from the
// deltas x gives at each of its processings, nested searches included, and
// counts the processings that leave the belief off x's domain and the values
// heard twice.
struct DeltaTally {
  int stale = 0, twice = 0;
};
DeltaTally g_tally;
uint64_t domainBits(QrcIntExpI* x) {
  uint64_t bits = 0;
  for (QrcInt v = x->getMin(); v <= x->getMax(); ++v)
    if (x->isInDomain(v)) bits |= uint64_t(1) << v;
  return bits;
}
class Believer : public QrcConstraintI {
 public:
  explicit Believer(QrcIntExpI* x)
      : QrcConstraintI(x->getManager()), _x(x), _belief(domainBits(x)) {}
  void post() override { _x->whenDomain(this); }
  void propagate() override {
    if (!_x->isProcessing()) return;
    uint64_t lost = 0;
    QrcIntVarDeltaIterator it(_x);
    for (QrcInt v; it.next(v);) {
      uint64_t bit = uint64_t(1) << v;
      if (!(_belief & ~lost & bit)) ++g_tally.twice;
      lost |= bit;
    }
    _manager->saveValue(&_belief);
    _belief &= ~lost;
    if (_belief == domainBits(_x)) return;
    ++g_tally.stale;
    _belief = domainBits(_x);
  }

 private:
  QrcIntExpI* _x;
  uint64_t _belief;
};

// Records, when x is processed outside nested searches, its range and the
// values its delta gives (bit v for value v); throws once in a nested search
// when asked to.
class Heard : public QrcConstraintI {
 public:
  explicit Heard(QrcIntExpI* x) : QrcConstraintI(x->getManager()), x(x) {}
  void post() override { x->whenDomain(this); }
  void propagate() override {
    if (_manager->getSearchDepth() > 1 && throwInSlice) {
      throwInSlice = false;
      throw std::runtime_error("demon");
    }
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
  bool throwInSlice = false;
};

// Within one drain the watch suspends x (unless told not to), which then
// changes: removed values (one, or a range) and a lower maximum; a failure
// may end the branch there.
Heard* g_heard;
QrcSpiralSolverIntCtI* g_watch;
class SuspendAndChangeI : public QrcGoalI {
 public:
  SuspendAndChangeI(QrcManagerI* m, QrcInt removed, bool fail, QrcInt removedTo = 0,
                    bool suspend = true)
      : QrcGoalI(m), _removed(removed), _removedTo(removedTo), _fail(fail), _suspend(suspend) {}
  QrcGoalI* execute() override {
    QrcPropagationQueueI* q = _manager->getPropagationQueue();
    q->enter();
    for (int i = 0; _suspend && i < 5; ++i) g_watch->propagate();
    if (_removedTo > _removed)
      g_heard->x->removeRange(_removed, _removedTo);
    else
      g_heard->x->removeValue(_removed);
    if (_fail) _manager->fail();
    g_heard->x->setMax(16);
    q->leave();
    return nullptr;
  }

 private:
  QrcInt _removed;
  QrcInt _removedTo;
  bool _fail;
  bool _suspend;
};

// What x's demons missed while it was suspended reaches them once the
// companion has run (here it narrows nothing: the top slice holds), and
// nothing of a branch left before, nor of a run a demon's exception left in
// a slice, whether x is held again or first changes its bounds or loses a
// value.
TEST_P(IntShaving, ChangesMadeWhileSuspendedReachTheDemons) {
  struct Row {
    QrcInt removed, removedTo;  // removed in the branch kept: one value or a range
    bool throwFirst;            // a run with 5 removed, left by an exception, comes first
    bool suspendKept;           // the branch kept holds x too
    uint64_t lost;
  } rows[] = {{7, 0, false, true, 0x1e0080},  // 7 and 17 to 20; not 5, back with the failed branch
              {9, 11, false, true, 0x1e0e00},
              {7, 0, true, true, 0x1e0080},
              {20, 0, false, false, 0x1e0000},  // the maximum first
              {7, 0, false, false, 0x1e0080}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.removed);
    SCOPED_TRACE(r.throwFirst);
    SCOPED_TRACE(r.suspendKept);
    QrcIntVar x;
    std::vector<QrcInt> all;
    for (QrcInt v = 0; v <= 20; ++v) all.push_back(v);
    g_watch = watched(x, 0, 20, all);
    g_heard = new (m) Heard(x.getImpl());
    mh.add(g_heard);
    g_tally = DeltaTally();
    mh.add(new (m) Believer(x.getImpl()));
    // Kept equal to x + 3 by offset links, suspended or not.
    QrcIntVar y(QrcIntExp(x) + 3);
    if (r.throwFirst) {
      g_heard->throwInSlice = true;
      EXPECT_THROW(m->solve(new (m) SuspendAndChangeI(m, 5, false), false), std::runtime_error);
      EXPECT_TRUE(x.isInDomain(5));
    }
    QrcGoalI* left = new (m) SuspendAndChangeI(m, 5, true);
    QrcGoalI* right = new (m) SuspendAndChangeI(m, r.removed, false, r.removedTo, r.suspendKept);
    ASSERT_EQ(m->solve(new (m) QrcOrI(m, left, right, nullptr), false), 1);
    EXPECT_EQ(g_heard->min, 0);
    EXPECT_EQ(g_heard->max, 16);
    EXPECT_EQ(g_heard->lost, r.lost);
    EXPECT_FALSE(x.getImpl()->getIntHandler()->isSuspended());
    EXPECT_EQ(y.getMax(), 19);
    EXPECT_FALSE(y.isInDomain(r.removed + 3));
    // The slice [8, 16] heard them too.
    EXPECT_EQ(g_tally.stale, 0);
    EXPECT_EQ(g_tally.twice, 0);
  }
}

// Once x2 is 0, x0 and x1 fall in turn under p xa - (p - 1) xb <= r01, and
// x1 and x3 under the same with r13; x0 differs from x1 + d1 and x3 - d3.
// x0 is watched, and another variable may be.
struct FallingPairs {
  QrcInt top, x3Min, p, r01, r13, d1, d3;
  QrcInt level;
  int other;  // 1 to 3, or 0 for none
  QrcInt otherLevel;
};

// The first solutions of a labelling of x2, x0, x1, x3, a believer on each.
DeltaTally believedDeltas(const FallingPairs& c, bool exceptions) {
  g_tally = DeltaTally();
  QrcManager mh(QrcNoEdit);
  mh.getImpl()->useExceptions(true);
  QrcIntVar x[4] = {QrcIntVar(mh, 0, c.top), QrcIntVar(mh, 0, c.top), QrcIntVar(mh, 0, 1),
                    QrcIntVar(mh, c.x3Min, c.top)};
  QrcIntExp x0(x[0]), x1(x[1]), x2(x[2]), x3(x[3]);
  QrcInt k = 5 * c.top, q = c.p - 1;
  try {
    mh.add(c.p * x0 - q * x1 - k * x2 <= c.r01);
    mh.add(c.p * x1 - q * x0 - k * x2 <= c.r01);
    mh.add(c.p * x1 - q * x3 - k * x2 <= c.r13);
    mh.add(c.p * x3 - q * x1 - k * x2 <= c.r13);
    mh.add(x0 != x1 + c.d1);
    mh.add(x0 != x3 - c.d3);
    mh.add(QrcSpiralSolverIntCt(x[0], c.level));
    if (c.other) mh.add(QrcSpiralSolverIntCt(x[c.other], c.otherLevel));
    for (const QrcIntVar& v : x) mh.add(new (mh.getImpl()) Believer(v.getImpl()));
  } catch (const QrcFailException&) {
    mh.end();
    return g_tally;
  }
  mh.getImpl()->useExceptions(exceptions);
  QrcIntVarArray order(mh, 4);
  const int labelled[4] = {2, 0, 1, 3};
  for (int i = 0; i < 4; ++i) order.set(i, x[labelled[i]]);
  QrcSearch s(mh, QrcGenerate(order));
  for (int n = 0; n < 3 && s.next(); ++n) {
  }
  s.end();
  mh.end();
  return g_tally;
}

// Every value a variable loses reaches its demons' deltas once, in the
// slices' nested searches too, whether a watch holds the variable or another
// one; nothing a slice took back reaches them. With x0 alone watched, x1
// bound to 1 takes 1 from x0 while x0 is held, and the slice [1, 2] raises
// x0's minimum past it.
TEST_P(IntShaving, DemonsKeepingDomainsFromDeltasStayExact) {
  for (QrcInt level : {3, 4, 5, 6, 7, 9}) {
    for (QrcInt r13 : {1, 3}) {
      for (int other : {0, 1}) {
        FallingPairs c{30, 1, 5, 10, r13, 0, 3, level, other, 4};
        SCOPED_TRACE(level);
        SCOPED_TRACE(r13);
        SCOPED_TRACE(other);
        DeltaTally t = believedDeltas(c, GetParam());
        EXPECT_EQ(t.stale, 0);
        EXPECT_EQ(t.twice, 0);
      }
    }
  }
}

// The same over random pairs, differences and second watches.
TEST_P(IntShaving, RandomDemonsKeepingDomainsFromDeltasStayExact) {
  uint64_t seed = qrotest::seedOr(9042);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 150; ++round) {
    auto pick = [&](QrcInt lo, QrcInt n) { return lo + static_cast<QrcInt>(rng() % n); };
    FallingPairs c{pick(12, 24), pick(0, 6), pick(3, 3),
                   pick(2, 10),  pick(0, 6), pick(0, 3),
                   pick(0, 4),   pick(3, 4), static_cast<int>(rng() % 4),
                   pick(3, 3)};
    SCOPED_TRACE(round);
    DeltaTally t = believedDeltas(c, GetParam());
    EXPECT_EQ(t.stale, 0);
    EXPECT_EQ(t.twice, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(FailureModes, IntShaving, ::testing::Bool());

}  // namespace
