// Readers of truth expressions: an equality or a demon over the truth of a
// comparison runs once that truth is known, not on every move of the
// comparison's operands. Comparisons of variables plus constants and their
// conjunctions, the shapes read from the variables' bounds, are checked with
// brute force, in every failure mode and with truth records in the manager.
#include <functional>

#include "count_models.h"
#include "int_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "support/harness.h"

namespace inttest {
namespace {

typedef std::vector<int64_t> A;

QrcIntExp X(const qrotest::Vars& v, size_t i) {
  return QrcIntExp(v[i]);
}

struct TruthCase {
  const char* name;
  int arity;
  std::function<QrcConstraint(const qrotest::Vars&)> make;
  std::function<bool(const A&)> check;
};

std::vector<TruthCase> truthCases() {
  return {
      {"b == ((x < y + 2) && (y < x + 3))", 3,
       [](const qrotest::Vars& v) {
         return X(v, 0) == QrcIntExp((X(v, 1) < X(v, 2) + 2) && (X(v, 2) < X(v, 1) + 3));
       },
       [](const A& a) { return a[0] == ((a[1] < a[2] + 2) && (a[2] < a[1] + 3)); }},
      {"b == (x + 2 <= y)", 3,
       [](const qrotest::Vars& v) { return X(v, 0) == QrcIntExp(X(v, 1) + 2 <= X(v, 2)); },
       [](const A& a) { return a[0] == (a[1] + 2 <= a[2]); }},
      {"((b == 0) && (r == 1)) == (x + 1 <= y)", 4,
       [](const qrotest::Vars& v) {
         return QrcIntExp((X(v, 0) == 0) && (X(v, 1) == 1)) == QrcIntExp(X(v, 2) + 1 <= X(v, 3));
       },
       [](const A& a) { return ((a[0] == 0) && (a[1] == 1)) == (a[2] + 1 <= a[3]); }},
      {"(x < y + 1) == (y + 2 <= z)", 3,
       [](const qrotest::Vars& v) {
         return QrcIntExp(X(v, 0) < X(v, 1) + 1) == QrcIntExp(X(v, 1) + 2 <= X(v, 2));
       },
       [](const A& a) { return (a[0] < a[1] + 1) == (a[1] + 2 <= a[2]); }},
      // Two comparisons over different pairs of variables.
      {"b == ((x <= y) && (y - 1 <= z))", 4,
       [](const qrotest::Vars& v) {
         return X(v, 0) == QrcIntExp((X(v, 1) <= X(v, 2)) && (X(v, 2) - 1 <= X(v, 3)));
       },
       [](const A& a) { return a[0] == ((a[1] <= a[2]) && (a[2] - 1 <= a[3])); }},
      // A conjunction of other shapes: the truth expression answers.
      {"b == ((x + 1 <= y) && (z == 1))", 4,
       [](const qrotest::Vars& v) {
         return X(v, 0) == QrcIntExp((X(v, 1) + 1 <= X(v, 2)) && (X(v, 3) == 1));
       },
       [](const A& a) { return a[0] == ((a[1] + 1 <= a[2]) && (a[3] == 1)); }},
      {"b != ((x < y) || (y < x - 1))", 3,
       [](const qrotest::Vars& v) {
         return X(v, 0) != QrcIntExp((X(v, 1) < X(v, 2)) || (X(v, 2) < X(v, 1) - 1));
       },
       [](const A& a) { return a[0] != ((a[1] < a[2]) || (a[2] < a[1] - 1)); }},
  };
}

// The first variable of each case is 0-1 (the truth it reads or states).
std::vector<std::vector<int64_t>> truthDomains(qrotest::Rng& rng, int arity, int round) {
  std::vector<std::vector<int64_t>> d =
      round == 0 ? qrotest::ranges(arity, -2, 3) : qrotest::randomDomains(rng, arity, -3, 3, 5);
  d[0] = qrotest::range(0, 1);
  return d;
}

TEST(TruthWatches, ReadersOfComparisonTruthsAgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(71);
  qrotest::Rng rng(seed);
  for (const TruthCase& tc : truthCases()) {
    for (int round = 0; round < 4; ++round) {
      qrotest::PropCase c;
      c.name = tc.name;
      c.values = truthDomains(rng, tc.arity, round);
      auto make = tc.make;
      c.make = [make](QrcManagerI*, const qrotest::Vars& v) { return make(v).getImpl(); };
      c.check = tc.check;
      c.seed = seed + static_cast<uint64_t>(round);
      ASSERT_EQ(qrotest::runPropCase(c), 0) << tc.name << " round " << round;
    }
  }
}

// Two intervals [x, x + 2) and [y, y + 3) on a line, e their overlap and r
// their order when apart, stated as truths of comparisons.
std::vector<QrcConstraint> pairModel(QrcManager&, const std::vector<QrcIntVar>& v) {
  QrcIntExp x = v[0], y = v[1], e = v[2], r = v[3];
  return {e == QrcIntExp((x < y + 3) && (y < x + 2)),
          QrcIntExp((e == 0) && (r == 1)) == QrcIntExp(y + 3 <= x),
          QrcIntExp((e == 0) && (r == 0)) == QrcIntExp(x + 2 <= y)};
}

int pairSolutions(int width) {
  int n = 0;
  for (int x = 0; x <= width; ++x)
    for (int y = 0; y <= width; ++y) {
      // e follows; r follows the order apart and takes either value when overlapping.
      n += x < y + 3 && y < x + 2 ? 2 : 1;
    }
  return n;
}

TEST(TruthWatches, PairModelsCountTheirSolutionsInEveryMode) {
  const int width = 4;
  std::vector<std::vector<QrcInt>> domains = {{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, {0, 1}, {0, 1}};
  expectSolutionsInEveryMode("pair model", domains, pairModel, pairSolutions(width));
  // A truth record anywhere in the manager: the truth expressions answer.
  ModelMaker withRecord = [](QrcManager& mgr, const std::vector<QrcIntVar>& v) {
    (QrcIntExp(v[2]) == 1).getImpl()->makeTruthRecord();
    return pairModel(mgr, v);
  };
  expectSolutionsInEveryMode("pair model with a truth record", domains, withRecord,
                             pairSolutions(width));
}

// Counts its runs and keeps the truth's bounds it read.
class TruthReader : public QrcDemonI {
 public:
  TruthReader(QrcManagerI* m, QrcIntExpI* truth) : QrcDemonI(m), _truth(truth) {}
  void propagate() override {
    ++runs;
    min = _truth->getMin();
    max = _truth->getMax();
  }
  int runs = 0;
  QrcInt min = -1, max = -1;

 private:
  QrcIntExpI* _truth;
};

TEST_F(IntTest, ReaderOfATruthRunsOnceItIsKnown) {
  struct Step {
    QrcInt xMin, yMax;
    int runs;
    QrcInt min, max;
  };
  // x + 2 <= y over x, y in 0..9: known false once x >= 8 or y <= 1 or
  // x > y - 2; known true once x's max + 2 <= y's min.
  const std::vector<std::vector<Step>> tables = {
      {{1, 9, 0, -1, -1}, {3, 8, 0, -1, -1}, {7, 8, 1, 0, 0}, {7, 8, 1, 0, 0}},
      {{0, 5, 0, -1, -1}, {4, 5, 1, 0, 0}},
  };
  for (const std::vector<Step>& steps : tables) {
    QrcIntVar x(mgr, 0, 9), y(mgr, 0, 9);
    QrcIntExp t = (x + 2 <= y);
    TruthReader* d = new (m) TruthReader(m, t.getImpl());
    t.getImpl()->whenRange(d);
    m->pushState();
    for (const Step& s : steps) {
      x.setMin(s.xMin);
      y.setMax(s.yMax);
      EXPECT_EQ(d->runs, s.runs);
      EXPECT_EQ(d->min, s.min);
      EXPECT_EQ(d->max, s.max);
    }
    m->popState();
  }
  // Known true from both sides' moves, and again after backtracking.
  QrcIntVar x(mgr, 0, 9), y(mgr, 0, 9);
  QrcIntExp t = ((x < y + 3) && (y < x + 2));
  TruthReader* d = new (m) TruthReader(m, t.getImpl());
  t.getImpl()->whenRange(d);
  for (int round = 0; round < 2; ++round) {
    m->pushState();
    x.setRange(4, 5);
    EXPECT_EQ(d->runs, round);
    y.setRange(4, 5);
    EXPECT_EQ(d->runs, round + 1);
    EXPECT_EQ(d->min, 1);
    EXPECT_EQ(d->max, 1);
    m->popState();
  }
}

// A truth made a variable follows its constraint, whose truth its link reads.
TEST_F(IntTest, TruthMadeAVariableFollowsItsConstraint) {
  QrcIntVar x(mgr, -1, 2), y(mgr, 0, 5);
  QrcIntVar ge(QrcIntExp(x >= 1)), le(QrcIntExp(x + 2 <= y)), both(QrcIntExp((x >= 0) && (y <= 3)));
  for (int round = 0; round < 2; ++round) {
    m->pushState();
    x.setValue(-1);
    EXPECT_EQ(str(ge.getImpl()), "[0]");
    EXPECT_EQ(str(both.getImpl()), "[0]");
    EXPECT_EQ(str(le.getImpl()), "[0..1]");
    y.setMin(2);
    EXPECT_EQ(str(le.getImpl()), "[1]");
    m->popState();
  }
}

// The truth of x < y + 2 is read in x's and y's bounds: a move of y ends its
// cached bounds, even while nothing has read the node y + 2 since the last
// backtrack.
TEST_F(IntTest, TruthOfAComparisonWithAnOffsetFollowsItsVariables) {
  QrcIntVar x(mgr, 0, 10), y(mgr, 0, 10);
  QrcIntExp t = (x < y + 2), u = (y + 1 <= x);
  EXPECT_EQ(str(t.getImpl()), "[0..1]");
  m->pushState();
  m->popState();
  x.setMin(5);
  EXPECT_EQ(str(t.getImpl()), "[0..1]");
  EXPECT_EQ(str(u.getImpl()), "[0..1]");
  m->pushState();
  y.setMax(1);
  EXPECT_EQ(str(t.getImpl()), "[0]");
  EXPECT_EQ(str(u.getImpl()), "[1]");
  m->popState();
}

}  // namespace
}  // namespace inttest
