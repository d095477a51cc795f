// Bound shaving of float variables: the slices the nested searches test, the
// pass schedule, the hand results, unbounded ranges, edit mode, the order of
// shaving in the bisection goals, and random feasible sets that shaving must
// keep whole.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qrcconstraint.h"
#include "qrcfloatenv.h"
#include "qrcfloatexp.h"
#include "qrcfloatgoals.h"
#include "qrcfloatvararray.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "support/seed.h"
#include "support/watchdog.h"

namespace {

const double Inf = HUGE_VAL;

struct Slice {
  double lo, hi;
  bool operator==(const Slice& o) const { return lo == o.lo && hi == o.hi; }
};
std::ostream& operator<<(std::ostream& os, const Slice& s) {
  return os << "[" << s.lo << ", " << s.hi << "]";
}

// Records x's bounds at each change made inside a nested search (deeper than
// the given search depth) and fails when x's range meets none of the feasible
// intervals.
class SliceProbe : public QrcConstraintI {
 public:
  SliceProbe(QrcFloatExpI* x, std::vector<Slice>* seen, const std::vector<Slice>* feasible,
             QrcInt outerDepth)
      : QrcConstraintI(x->getManager()),
        _x(x),
        _seen(seen),
        _feasible(feasible),
        _outerDepth(outerDepth) {}
  void post() override { _x->whenRange(this); }
  void propagate() override {
    double lo = _x->getMin(), hi = _x->getMax();
    if (_manager->getSearchDepth() > _outerDepth) _seen->push_back({lo, hi});
    bool meets = false;
    for (const Slice& f : *_feasible) meets = meets || (f.lo <= hi && lo <= f.hi);
    if (!meets) fail();
  }

 private:
  QrcFloatExpI* _x;
  std::vector<Slice>* _seen;
  const std::vector<Slice>* _feasible;
  QrcInt _outerDepth;
};

// Both failure modes of the engine: exceptions, then non-local jumps.
class BoundShaving : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { makeManager(&QrcNoEdit); }
  void TearDown() override { delete m; }
  void makeManager(QrcManagerTag tag) {
    delete m;
    m = new QrcManagerI(tag);
    m->useExceptions(GetParam());
    mh = QrcManager(m);
  }
  // Values of x beyond `above` have no solution.
  void probe(const QrcFloatVar& x, double above, QrcInt outerDepth = 0) {
    feasible = {{-Inf, above}};
    mh.add(new (m) SliceProbe(x.getImpl(), &seen, &feasible, outerDepth));
  }
  QrcInt searches() const { return getBoundShavingSearches() - searches0; }
  QrcInt refutations() const { return getBoundShavingRefutations() - refutations0; }

  QrcManagerI* m = nullptr;
  QrcManager mh;
  std::vector<Slice> seen, feasible;
  QrcInt searches0 = getBoundShavingSearches(), refutations0 = getBoundShavingRefutations();
};

TEST_P(BoundShaving, HalfSlicesLeaveTheHandResult) {
  QrcFloatVar x(mh, 0, 10);
  probe(x, 4.0);
  QrcSolveBounds(x, 0.5);
  EXPECT_EQ(x.getMin(), 0.0);
  EXPECT_EQ(x.getMax(), 5.0);
  // [5, 10] is refuted; the next pass keeps [2.5, 5]. The last test of the
  // first pass, x >= 0, narrows nothing and is not seen.
  EXPECT_EQ(seen, (std::vector<Slice>{{0, 5}, {5, 10}, {0, 2.5}, {2.5, 5}}));
  EXPECT_EQ(searches(), 5);
  EXPECT_EQ(refutations(), 1);
  EXPECT_EQ(getRoundingMode(), 1);
}

TEST_P(BoundShaving, UnboundedRangeStartsItsSlicesAtTheLargestDoubles) {
  qrotest::Watchdog guard("shaving of [-inf, +inf]", 60);
  QrcFloatVar x(mh, -Inf, Inf);
  probe(x, 4.0);
  QrcSolveBounds(x, 0.5);
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0], (Slice{-Inf, -DBL_MAX}));
  EXPECT_EQ(seen[1], (Slice{DBL_MAX, Inf}));
  EXPECT_EQ(seen[2], (Slice{DBL_MAX * 0.5, DBL_MAX}));
  EXPECT_EQ(seen[3], (Slice{0, DBL_MAX * 0.5}));
  EXPECT_EQ(x.getMin(), -Inf);
  EXPECT_EQ(x.getMax(), DBL_MAX * 0.5);
}

TEST_P(BoundShaving, SliceScheduleNarrowsTowardTheRatio) {
  struct Row {
    double ratio;
    std::vector<double> widths;  // of the lower slices, one per pass
  } rows[] = {{0.01, {0.2, 0.2 * 0.2, 0.01}},
              {0.5, {0.5}},
              {0.2, {0.2}},
              {0.04, {0.2, 0.2 * 0.2, 0.04}},
              {0.9, {0.9}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ratio);
    seen.clear();
    QrcFloatVar x(mh, 0, 1);
    probe(x, Inf);
    QrcSolveBounds(x, row.ratio);
    // Nothing is refuted: each pass tests one slice at each end.
    ASSERT_EQ(seen.size(), 2 * row.widths.size());
    for (size_t i = 0; i < row.widths.size(); ++i) {
      EXPECT_EQ(seen[2 * i], (Slice{0, row.widths[i]}));
      EXPECT_DOUBLE_EQ(seen[2 * i + 1].lo, 1 - row.widths[i]);
      EXPECT_EQ(seen[2 * i + 1].hi, 1.0);
    }
    EXPECT_EQ(x.getMin(), 0.0);
    EXPECT_EQ(x.getMax(), 1.0);
  }
}

TEST_P(BoundShaving, NoRatioAboveZeroShavesNothing) {
  QrcFloatVar x(mh, 0, 10);
  probe(x, 4.0);
  for (double r : {0.0, -0.5, std::nan("")}) QrcSolveBounds(x, r);
  shaveFloatBounds(QrcFloatVarArray(), 0.5);
  EXPECT_EQ(searches(), 0);
  EXPECT_EQ(x.getMax(), 10.0);
}

TEST_P(BoundShaving, EditModeAddsAGoalThatShavesWhenTheSearchRuns) {
  makeManager(&QrcEdit);
  QrcFloatVar x(mh, 0, 10);
  probe(x, 4.0, 1);
  QrcSolveBounds(x, 0.5);
  EXPECT_EQ(searches(), 0);
  EXPECT_EQ(x.getMax(), 10.0);
  ASSERT_EQ(m->next(), 1);
  EXPECT_EQ(x.getMax(), 5.0);
  EXPECT_EQ(searches(), 5);
  m->restart();
}

TEST_P(BoundShaving, BoundVariableIsShavedOnlyByTheVariablePrecisionGoal) {
  // Bound at its own precision, but not a single point.
  QrcFloatVar x(mh, 1, 2, 10.0, "x");
  ASSERT_TRUE(x.isBound());
  probe(x, Inf, 1);
  EXPECT_EQ(m->solve(QrcInstantiate(x, 0, 0.5), false), 1);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(m->solve(new (m) QrcFloatVarInstantiateVarPrecI(m, x.getImpl(), 0, 0.5), false), 1);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(m->getChoicePointCount(), 0);
}

TEST_P(BoundShaving, BisectionShavesBeforeItSplits) {
  QrcFloatVar x(mh, 0, 10);
  probe(x, 4.0, 1);
  QrcInt choices = m->getChoicePointCount();
  // Upper half first: without shaving the first choice would try [5, 10].
  QrcSearchI* s = m->newSearch(QrcInstantiate(x, 1, 0.5).getImpl());
  ASSERT_EQ(s->next(), 1);
  EXPECT_LE(x.getMax(), 4.0 + 1e-9);
  EXPECT_GE(x.getMin(), 4.0 - 1e-9);
  s->end();
  EXPECT_GT(refutations(), 0);
  // Every split after shaving is on an interval whose upper half holds a
  // solution: no outer failure.
  EXPECT_EQ(m->getFails(), refutations());
  EXPECT_GT(m->getChoicePointCount(), choices);
}

TEST_P(BoundShaving, VariablePrecisionSlicesLieOnTheGrid) {
  const QrcInt p = 20;
  m->setVariablePrecision(p);
  m->setBoundPrecision(p);
  QrcFloatVar x(mh, 1, 2);
  probe(x, 1.3);
  QrcSolveBounds(x, 0.2);
  ASSERT_FALSE(seen.empty());
  for (const Slice& s : seen) {
    SCOPED_TRACE(s);
    // One end of each slice is a bound of x, the other a grid point.
    EXPECT_EQ(roundDownToPrecision(s.lo, p), s.lo);
    EXPECT_EQ(roundUpToPrecision(s.hi, p), s.hi);
  }
  EXPECT_EQ(x.getMin(), 1.0);
  EXPECT_GE(x.getMax(), 1.3);
  EXPECT_LT(x.getMax(), 1.6);
  // A bound variable is left alone.
  seen.clear();
  QrcFloatVar y(mh, 1, 1);
  QrcInt before = searches();
  QrcSolveBounds(y, 0.2);
  EXPECT_EQ(searches(), before);
  m->setVariablePrecision(0);
  m->setBoundPrecision(0);
}

TEST_P(BoundShaving, Displays) {
  QrcFloatVar x(mh, 0, 1);
  QrcFloatVarArray a(mh, 1, x);
  QrcGoalI* goals[] = {new (m) QrcTestFltMinI(m, x.getImpl(), 0.5),
                       new (m) QrcTestFltMaxI(m, x.getImpl(), 0.5),
                       new (m) QrcSolveBoundsGoalI(m, a.getImpl(), 0.5)};
  std::ostringstream os;
  for (QrcGoalI* g : goals) {
    g->display(os);
    os << " " << g->getClassName() << " ";
    EXPECT_EQ(g->getParentTypeInfo(), QrcGoalI::GetTypeInfo());
  }
  EXPECT_EQ(os.str(),
            "QrcTestFltMin QrcTestFltMinI QrcTestFltMax QrcTestFltMaxI QrcSolveBoundsGoal "
            "QrcSolveBoundsGoalI ");
}

// Shaving keeps every feasible point and ends with both bounds on feasible
// slices: random feasible sets against the checker, at fixed and variable
// precision.
TEST_P(BoundShaving, RandomFeasibleSetsStayWhole) {
  uint64_t seed = qrotest::seedOr(20240611);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  int narrowed = 0;
  for (int round = 0; round < 60; ++round) {
    makeManager(&QrcNoEdit);
    QrcInt p = round % 3 == 0 ? 24 : 0;
    m->setVariablePrecision(p);
    m->setBoundPrecision(p);
    double lo = -10 + 20 * unit(rng), hi = lo + 20 * unit(rng);
    feasible.clear();
    for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
      double a = lo + (hi - lo) * unit(rng);
      feasible.push_back({a, a + (hi - a) * 0.1 * unit(rng)});
    }
    double first = Inf, last = -Inf;
    for (const Slice& f : feasible) {
      first = std::fmin(first, f.lo);
      last = std::fmax(last, f.hi);
    }
    QrcFloatVar x(mh, lo, hi);
    mh.add(new (m) SliceProbe(x.getImpl(), &seen, &feasible, 0));
    double ratio = std::vector<double>{0.5, 0.2, 0.05, 0.01}[rng() % 4];
    QrcSolveBounds(x, ratio);
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_LE(x.getMin(), first);
    EXPECT_GE(x.getMax(), last);
    // The end slices that the last pass kept meet the feasible set.
    EXPECT_GE(x.getMin(), first - ratio * (hi - lo) - 1e-6);
    EXPECT_LE(x.getMax(), last + ratio * (hi - lo) + 1e-6);
    if (x.getMin() > lo && x.getMax() < hi) ++narrowed;
  }
  // At least 34 of the 60 rounds narrow both ends at each of seeds 1 to 300.
  EXPECT_GT(narrowed, 20);
}

INSTANTIATE_TEST_SUITE_P(FailureModes, BoundShaving, ::testing::Bool());

}  // namespace
