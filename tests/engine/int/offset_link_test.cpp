// Offsets and differences turned into variables (x + c, x - c, c - x, -x):
// changes pass between the variable and its operand both ways, holes
// included, through chains of such variables, and undone on backtrack; the
// pruning they carry is checked against brute force through the harness.
// Products by a constant turned into variables (c * x) pass their bounds
// both ways, and no holes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "int_fixtures.h"
#include "qrcalldiff.h"
#include "qrcgoal.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcmonitor.h"
#include "qrcsearch.h"
#include "support/harness.h"

namespace inttest {
namespace {

typedef std::vector<int64_t> A;

// The four forms of a diagonal over an operand x and a constant c.
enum class Form { Plus, Minus, From, Opposite };
const Form Forms[] = {Form::Plus, Form::Minus, Form::From, Form::Opposite};

QrcIntExp formOf(Form f, const QrcIntExp& x, QrcInt c) {
  switch (f) {
    case Form::Plus:
      return x + c;
    case Form::Minus:
      return x - c;
    case Form::From:
      return c - x;
    default:  // c left out: -x + c would be an offset over a node
      return -x;
  }
}

int64_t valueOf(Form f, int64_t v, int64_t c) {
  switch (f) {
    case Form::Plus:
      return v + c;
    case Form::Minus:
      return v - c;
    case Form::From:
      return c - v;
    default:
      return -v;
  }
}

TEST_F(IntTest, OffsetVariablesPassChangesBothWays) {
  for (Form f : Forms) {
    SCOPED_TRACE(static_cast<int>(f));
    m->pushState();
    QrcIntVar x(mgr, QrcIntArray(mgr, 5, std::vector<QrcInt>{0, 2, 3, 5, 8}.data()));
    QrcIntVar e(formOf(f, x, 10));
    auto image = [&](QrcInt v) { return valueOf(f, v, 10); };
    auto inStep = [&] {
      for (QrcInt v = -2; v <= 10; ++v)
        if (x.isInDomain(v) != e.isInDomain(image(v))) return false;
      return e.getSize() == x.getSize();
    };
    EXPECT_TRUE(inStep());
    e.removeValue(image(3));  // an inner value from the variable's side
    EXPECT_FALSE(x.isInDomain(3));
    EXPECT_TRUE(inStep());
    x.removeValue(5);  // and from the operand's side
    EXPECT_FALSE(e.isInDomain(image(5)));
    m->pushState();
    x.setMin(1);  // a bound move skips the hole at 3
    EXPECT_EQ(x.getMin(), 2);
    EXPECT_TRUE(inStep());
    e.setValue(image(8));
    EXPECT_EQ(x.getValue(), 8);
    m->popState();
    EXPECT_TRUE(inStep());
    EXPECT_EQ(x.getSize(), 3);
    m->popState();
  }
}

TEST_F(IntTest, ChainedOffsetVariablesStayInStep) {
  QrcIntVar x(mgr, 0, 20);
  QrcIntVar a(QrcIntExp(x) + 3), b(7 - QrcIntExp(a)), c(QrcIntExp(b) - 2);
  // c = 2 - x.
  x.removeRange(5, 8);
  for (QrcInt v = 5; v <= 8; ++v) EXPECT_FALSE(c.isInDomain(2 - v)) << v;
  c.setMax(-12);
  EXPECT_EQ(x.getMin(), 14);
  EXPECT_EQ(a.getMin(), 17);
  c.removeValue(-15);
  EXPECT_FALSE(x.isInDomain(17));
  EXPECT_FALSE(b.isInDomain(-13));
  EXPECT_EQ(c.getSize(), x.getSize());
  b.setValue(-16);
  EXPECT_EQ(x.getValue(), 20);
  EXPECT_EQ(c.getValue(), -18);
}

TEST_F(IntTest, OffsetLinkMadeInAChoicePointGoesOnBacktrack) {
  QrcIntVar x(mgr, 0, 9);
  QrcInt demons = x.getImpl()->getEventHandler()->getNbDemons();
  m->pushState();
  QrcIntVar e(QrcIntExp(x) + 1);
  EXPECT_EQ(x.getImpl()->getEventHandler()->getNbDemons(), demons + 1);
  EXPECT_EQ(e.getMin(), 1);
  m->popState();
  EXPECT_EQ(x.getImpl()->getEventHandler()->getNbDemons(), demons);
  x.removeValue(4);  // nothing left to pass it on to
  EXPECT_FALSE(x.isInDomain(4));
}

TEST_F(IntTest, ScaledVariablesPassBoundsBothWays) {
  enum Side { OnProduct, OnOperand };
  struct Row {
    QrcInt c;
    Side side;
    QrcInt lo, hi;      // the range asked of that side
    QrcInt xMin, xMax;  // x's bounds after it, x from 0..9 (1, 0: it fails)
    QrcInt eMin, eMax;  // c * x's
  };
  const Row rows[] = {
      {3, OnProduct, 10, 27, 4, 9, 12, 27},  // rounded up to a multiple
      {3, OnProduct, 0, 20, 0, 6, 0, 18},    // and down
      {3, OnOperand, 2, 5, 2, 5, 6, 15},
      {-2, OnProduct, -7, 0, 0, 3, -6, 0},  // a negative factor turns the sides
      {-2, OnProduct, -18, -3, 2, 9, -18, -4},
      {-2, OnOperand, 4, 4, 4, 4, -8, -8},
      {5, OnProduct, 13, 14, 1, 0, 0, 0},   // no multiple inside: fails
      {-7, OnProduct, 60, 70, 1, 0, 0, 0},  // nothing inside: fails
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.c) + " " + std::to_string(r.lo) + ".." + std::to_string(r.hi));
    m->pushState();
    QrcIntVar x(mgr, 0, 9);
    QrcIntVar e(QrcIntExp(x) * r.c);
    QrcIntVar& side = r.side == OnProduct ? e : x;
    if (r.xMin > r.xMax) {
      EXPECT_THROW(side.setRange(r.lo, r.hi), QrcFailException);
    } else {
      side.setRange(r.lo, r.hi);
      EXPECT_EQ(x.getMin(), r.xMin);
      EXPECT_EQ(x.getMax(), r.xMax);
      EXPECT_EQ(e.getMin(), r.eMin);
      EXPECT_EQ(e.getMax(), r.eMax);
    }
    m->popState();
  }
  // Holes stay on their side.
  QrcIntVar x(mgr, 0, 9), e(QrcIntExp(x) * 3);
  x.removeValue(4);
  EXPECT_TRUE(e.isInDomain(12));
  e.removeValue(15);
  EXPECT_TRUE(x.isInDomain(5));
  x.removeValue(0);
  EXPECT_EQ(e.getMin(), 3);
}

// A traced manager keeps the links' demons, whose runs it reports.
class DemonNames : public QrcSearchMonitorI {
 public:
  DemonNames()
      : QrcSearchMonitorI(QrcSearchMonitorI::QueueEvents | QrcSearchMonitorI::ConstraintEvents) {}
  void onDemonBegin(QrcRootGoalDemonI* d) override {
    std::ostringstream os;
    d->display(os);
    names += os.str() + " ";
  }
  void onConstraintPropagateBegin(QrcConstraintI* ct) override { onDemonBegin(ct); }
  std::string names;
};

TEST_F(IntTest, TracedManagerRunsTheLinkDemons) {
  std::ostringstream trace;
  m->setTraceStream(trace);
  m->setTrace(true);
  DemonNames monitor;
  m->setMonitor(&monitor);
  QrcIntVar x(mgr, 0, 9);
  QrcIntVar e(QrcIntExp(x) + 1), s(QrcIntExp(x) * 3);
  x.removeValue(4);
  EXPECT_FALSE(e.isInDomain(5));
  e.removeValue(8);
  EXPECT_FALSE(x.isInDomain(7));
  EXPECT_NE(monitor.names.find("QrcIntAddVarI"), std::string::npos) << monitor.names;
  EXPECT_NE(monitor.names.find("QrcIntAddExpI"), std::string::npos) << monitor.names;
  monitor.names.clear();
  s.setMax(20);
  EXPECT_EQ(x.getMax(), 6);
  EXPECT_NE(monitor.names.find("QrcIntExpEventHandlerConstraintI"), std::string::npos)
      << monitor.names;
  m->setMonitor(nullptr);
  m->setTrace(false);
}

// Queens-like: all-different over the operands and over two kinds of
// diagonal variables made from them, at every level.
TEST(OffsetLinkHarness, AllDifferentOverDiagonalVariables) {
  qrotest::Rng rng(qrotest::caseSeed(57));
  for (int round = 0; round < 8; ++round) {
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      Form f1 = Forms[round % 4], f2 = Forms[(round + 1 + level) % 4];
      int n = 4 + round % 2;
      qrotest::PropCase c;
      c.name = "diagonals level " + std::to_string(level) + " round " + std::to_string(round);
      c.seed = rng();
      c.values = qrotest::randomDomains(rng, n, 0, n, n + 1);
      c.post = [n, level, f1, f2](QrcManagerI* m, const qrotest::Vars& v) {
        QrcManager h(m);
        QrcIntVarArray q(h, n), up(h, n), down(h, n);
        for (int i = 0; i < n; ++i) {
          QrcIntExp x(v[static_cast<size_t>(i)]);
          q.set(i, x);
          up.set(i, QrcIntVar(formOf(f1, x, i)));
          down.set(i, QrcIntVar(formOf(f2, x, 2 * i)));
        }
        m->add(QrcAllDiff(q, level).getImpl());
        m->add(QrcAllDiff(up, level).getImpl());
        m->add(QrcAllDiff(down, level).getImpl());
      };
      c.check = [f1, f2](const A& a) {
        for (size_t i = 0; i < a.size(); ++i)
          for (size_t j = i + 1; j < a.size(); ++j) {
            int64_t ci = static_cast<int64_t>(i), cj = static_cast<int64_t>(j);
            if (a[i] == a[j] || valueOf(f1, a[i], ci) == valueOf(f1, a[j], cj) ||
                valueOf(f2, a[i], 2 * ci) == valueOf(f2, a[j], 2 * cj))
              return false;
          }
        return true;
      };
      c.narrowRuns = 30;
      EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
    }
  }
}

// Bounds and holes through a chain: comparisons over the chain's variables.
TEST(OffsetLinkHarness, ComparisonsThroughAChain) {
  qrotest::Rng rng(qrotest::caseSeed(58));
  for (int round = 0; round < 10; ++round) {
    qrotest::PropCase c;
    c.name = "chain round " + std::to_string(round);
    c.seed = rng();
    c.values = qrotest::randomDomains(rng, 3, -4, 5, 7);
    int64_t k = round % 3 - 1;
    c.post = [k](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntExp x(v[0]), y(v[1]), z(v[2]);
      QrcIntVar a(x + 3), b(k - QrcIntExp(a)), d(-QrcIntExp(b));
      // b = k - 3 - x, d = x + 3 - k.
      m->add((QrcIntExp(b) != y).getImpl());
      m->add((QrcIntExp(d) <= z).getImpl());
      m->add((QrcIntExp(a) != z + 2).getImpl());
    };
    c.check = [k](const A& a) {
      return k - 3 - a[0] != a[1] && a[0] + 3 - k <= a[2] && a[0] + 3 != a[2] + 2;
    };
    c.narrowRuns = 30;
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// Products by constants as variables in comparisons with one another.
TEST(OffsetLinkHarness, ScaledVariablesInComparisons) {
  qrotest::Rng rng(qrotest::caseSeed(59));
  const int64_t factors[][2] = {{2, 3}, {-2, 3}, {3, -4}, {-5, -2}};
  for (int round = 0; round < 8; ++round) {
    const int64_t* k = factors[round % 4];
    qrotest::PropCase c;
    c.name = "scaled round " + std::to_string(round);
    c.seed = rng();
    c.values = qrotest::randomDomains(rng, 3, -4, 5, 7);
    c.post = [k](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntExp x(v[0]), y(v[1]), z(v[2]);
      QrcIntVar a(x * k[0]), b(y * k[1]);
      m->add((QrcIntExp(a) <= QrcIntExp(b) + z).getImpl());
      m->add((QrcIntExp(a) != z).getImpl());
      m->add((QrcIntExp(b) >= z - 6).getImpl());
    };
    c.check = [k](const A& a) {
      return k[0] * a[0] <= k[1] * a[1] + a[2] && k[0] * a[0] != a[2] && k[1] * a[1] >= a[2] - 6;
    };
    c.narrowRuns = 30;
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// Solutions and fails of n-queens, diagonals as variables or as expressions.
std::pair<QrcInt, QrcInt> queens(int n, QrcInt level, bool variables) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray q(mgr, n, 0, n - 1), up(mgr, n), down(mgr, n);
  for (int i = 0; i < n; ++i) {
    up.set(i, variables ? QrcIntVar(q[i] + i) : q[i] + i);
    down.set(i, variables ? QrcIntVar(q[i] - i) : q[i] - i);
  }
  mgr.add(QrcAllDiff(q, level));
  mgr.add(QrcAllDiff(up, level));
  mgr.add(QrcAllDiff(down, level));
  QrcManagerI* m = mgr.getImpl();
  QrcSearch s(mgr, QrcGoal(new (m) LabelArray(m, q.getImpl())));
  QrcInt solutions = 0;
  while (s.next()) ++solutions;
  s.end();
  QrcInt fails = m->getFails();
  mgr.end();
  return {solutions, fails};
}

TEST(OffsetLinkSearch, QueensDiagonalsAsVariablesOrExpressionsGiveTheSameTree) {
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    std::pair<QrcInt, QrcInt> vars = queens(7, level, true), exprs = queens(7, level, false);
    EXPECT_EQ(vars.first, 40) << level;
    EXPECT_EQ(vars, exprs) << level;
  }
}

}  // namespace
}  // namespace inttest
