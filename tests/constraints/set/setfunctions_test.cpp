// Maximum, minimum and sum of F(x) over a set variable: fixed cases of the
// bounds and of narrowing in each direction, the double path of the sums,
// the demons that follow the F(x) of an expression F, copies and handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "constraints/int/constraint_fixtures.h"
#include "qrcintcompare.h"
#include "qrcsetfunctions.h"
#include "setfunction_tables.h"

namespace {

using ctest::V;
using settest::ExpTable;
using settest::IntTable;

const QrcInt Limit = 9007199254740991;

class SetFunctionTest : public ctest::ConstraintTest {
 protected:
  // Universe [lo, hi], P and R narrowed to the given values (empty P: all).
  QrcIntSetVarI* set(QrcInt lo, QrcInt hi, V possible = {}, V required = {}) {
    QrcIntSetVarI* s = new (m) QrcIntSetVarI(m, lo, hi, nullptr);
    if (!possible.empty())
      for (QrcInt v = lo; v <= hi; ++v)
        if (std::find(possible.begin(), possible.end(), v) == possible.end()) s->removePossible(v);
    for (QrcInt v : required) s->addRequired(v);
    return s;
  }
  QrcIntToIntFunctionI* table(QrcInt first, V values) { return new (m) IntTable(m, first, values); }
  QrcIntToIntExpFunctionI* exps(QrcInt first, std::vector<QrcIntExpI*> values) {
    return new (m) ExpTable(m, first, values);
  }
  static V members(const QrcIntSetI* s) {
    V out;
    QrcInt v;
    QrcIntSetIterator it(s);
    while (it.next(v)) out.push_back(v);
    return out;
  }
  static V P(QrcIntSetVarI* s) { return members(s->getPossible()); }
  static V R(QrcIntSetVarI* s) { return members(s->getRequired()); }
  static std::string text(const QrcIntExp& e) {
    std::ostringstream os;
    os << e;
    return os.str();
  }
  // Counts its runs.
  class Counter : public QrcDemonI {
   public:
    explicit Counter(QrcManagerI* m) : QrcDemonI(m) {}
    void propagate() override { ++runs; }
    int runs = 0;
  };
};

// ---------------------------------------------------------------- maximum and minimum

TEST_F(SetFunctionTest, MaximumOfConstantsBoundsAndNarrows) {
  // P = {2, 5}, R = {2}, F(2) = 3, F(5) = 9.
  auto make = [&] { return QrcMax(set(2, 5, {2, 5}, {2}), table(2, {3, 0, 0, 9})); };
  QrcIntExp max = make();
  EXPECT_EQ(text(max), "QrcMax(Set, Int F(x)):[3..9]");
  QrcIntSetVarI* s = static_cast<QrcIntExpOverSetI*>(max.getImpl())->getSet();
  ASSERT_TRUE(holds([&] { max.setRange(0, 4); }));
  EXPECT_EQ(P(s), (V{2}));
  EXPECT_EQ(text(max), "QrcMax(Set, Int F(x)):[3..3]");
  // 5 is the only element that reaches 8.
  QrcIntExp other = make();
  QrcIntSetVarI* t = static_cast<QrcIntExpOverSetI*>(other.getImpl())->getSet();
  ASSERT_TRUE(holds([&] { other.setRange(8, 9); }));
  EXPECT_EQ(R(t), (V{2, 5}));
  EXPECT_EQ(other.getMin(), 9);
  // Nothing reaches 10.
  EXPECT_FALSE(holds([&] { make().getImpl()->setOperandsRange(QrcInt(10), QrcInt(12)); }));
}

TEST_F(SetFunctionTest, MinimumOfConstantsMirrorsTheMaximum) {
  auto make = [&](V required) {
    return QrcMin(set(2, 5, {2, 5}, required), table(2, {3, 0, 0, 9}));
  };
  EXPECT_EQ(text(make({5})), "QrcMin(Set, Int F(x)):[3..9]");
  EXPECT_EQ(text(make({2})), "QrcMin(Set, Int F(x)):[3..3]");
  QrcIntExp min = make({5});
  QrcIntSetVarI* s = static_cast<QrcIntExpOverSetI*>(min.getImpl())->getSet();
  ASSERT_TRUE(holds([&] { min.setMin(4); }));
  EXPECT_EQ(P(s), (V{5}));
  QrcIntExp low = make({5});
  QrcIntSetVarI* t = static_cast<QrcIntExpOverSetI*>(low.getImpl())->getSet();
  ASSERT_TRUE(holds([&] { low.setMax(4); }));
  EXPECT_EQ(R(t), (V{2, 5}));
}

TEST_F(SetFunctionTest, ExtremesOfAPossiblyEmptySetKeepTheirEmptySetBounds) {
  for (bool isMax : {true, false}) {
    QrcIntSetVarI* s = set(2, 5, {2, 5});
    QrcIntExp e = isMax ? QrcMax(s, table(2, {3, 0, 0, 9})) : QrcMin(s, table(2, {3, 0, 0, 9}));
    EXPECT_EQ(e.getMin(), -Limit);
    EXPECT_EQ(e.getMax(), Limit);
    ASSERT_TRUE(holds([&] { e.setRange(0, 4); }));
    EXPECT_EQ(P(s), (V{2, 5}));
    EXPECT_EQ(R(s), V{});
    // Once S cannot be empty the bounds follow F.
    s->getCardinality()->setMin(1);
    EXPECT_EQ(e.getMin(), 3);
    EXPECT_EQ(e.getMax(), 9);
  }
}

// z == max (min) of F over S, z fixed first: the extremes close once an
// element is required, after the set's own event, and z must follow.
TEST_F(SetFunctionTest, ExtremesWakeTheirConstraintsWhenTheSetCannotBeEmpty) {
  for (bool isMax : {true, false})
    for (int step = 0; step < 2; ++step) {
      QrcIntSetVarI* s = set(0, 2);
      QrcIntExp e = isMax ? QrcMax(s, table(0, {3, 1, -1})) : QrcMin(s, table(0, {3, 1, -1}));
      QrcIntExpI* z = var(-2, 3);
      ASSERT_TRUE(adds(QrcIntExp(z) == e));
      ASSERT_TRUE(holds([&] { z->setValue(-2); }));
      // F(2) = -1: S = {2}, reached in one step or in three.
      EXPECT_FALSE(holds([&] {
        if (step) {
          s->removePossible(0);
          s->removePossible(1);
        }
        s->addRequired(2);
      })) << (isMax ? "max" : "min")
          << " step " << step;
    }
}

TEST_F(SetFunctionTest, MaximumOfExpressionsNarrowsTheRequiredAndTheOnlyCandidate) {
  QrcIntExpI* f[3] = {var(0, 9), var(2, 6), var(0, 3)};
  QrcIntSetVarI* s = set(0, 2, {}, {0, 1});
  QrcIntExp max = QrcMax(s, exps(0, {f[0], f[1], f[2]}));
  EXPECT_EQ(text(max), "QrcMax(Set, IntExp F(x)):[2..9]");
  ASSERT_TRUE(holds([&] { max.setMax(5); }));
  EXPECT_EQ(f[0]->getMax(), 5);
  EXPECT_EQ(f[1]->getMax(), 5);
  EXPECT_EQ(f[2]->getMax(), 3);
  // Only f[0] and f[1] reach 4; f[2] cannot.
  ASSERT_TRUE(holds([&] { f[1]->setMax(3); }));
  ASSERT_TRUE(holds([&] { max.setMin(4); }));
  EXPECT_EQ(f[0]->getMin(), 4);
  EXPECT_EQ(max.getMin(), 4);
  // An element whose F(x) passes the maximum leaves S.
  QrcIntSetVarI* t = set(0, 2);
  QrcIntExp top = QrcMax(t, exps(0, {var(4, 5), var(0, 1), var(7, 9)}));
  t->addRequired(1);
  ASSERT_TRUE(holds([&] { top.setMax(6); }));
  EXPECT_EQ(P(t), (V{0, 1}));
}

TEST_F(SetFunctionTest, MinimumOfExpressionsRaisesTheRequired) {
  QrcIntExpI* f[2] = {var(0, 9), var(2, 6)};
  QrcIntSetVarI* s = set(0, 1, {}, {0, 1});
  QrcIntExp min = QrcMin(s, exps(0, {f[0], f[1]}));
  EXPECT_EQ(text(min), "QrcMin(Set, IntExp F(x)):[0..6]");
  ASSERT_TRUE(holds([&] { min.setMin(3); }));
  EXPECT_EQ(f[0]->getMin(), 3);
  EXPECT_EQ(f[1]->getMin(), 3);
}

// ---------------------------------------------------------------- sums

TEST_F(SetFunctionTest, SumBoundsFromTheSetAndItsCardinality) {
  struct Row {
    const char* name;
    V possible, required;
    QrcInt cardMax;
    V f;  // F(0), F(1), ...
    QrcInt lo, hi;
  };
  const Row rows[] = {
      {"empty P", {}, {}, -1, {4, 5}, 0, 0},
      {"bound S", {0, 2}, {0, 2}, -1, {4, 5, -7}, -3, -3},
      {"free signs", {0, 1, 2}, {}, -1, {4, 5, -7}, -7, 9},
      {"at most one", {0, 1, 2}, {}, 1, {4, 5, -7}, -7, 5},
      {"zeros count nothing", {0, 1, 2}, {1}, -1, {0, 3, 0}, 3, 3},
  };
  for (const Row& r : rows) {
    QrcIntSetVarI* s = r.possible.empty() ? set(0, 2, {0}) : set(0, 2, r.possible, r.required);
    if (r.possible.empty()) s->removePossible(0);
    if (r.cardMax >= 0) s->getCardinality()->setMax(r.cardMax);
    QrcIntExp sum = QrcSum(s, table(0, r.f));
    EXPECT_EQ(sum.getMin(), r.lo) << r.name;
    EXPECT_EQ(sum.getMax(), r.hi) << r.name;
  }
  EXPECT_EQ(text(QrcSum(set(0, 1), table(0, {1, 2}))), "QrcSum(Set, Int F(x)):[0..3]");
}

TEST_F(SetFunctionTest, SumNarrowingRemovesRequiresAndCapsTheCardinality) {
  // R = {0} with F(0) = 1; free F = 2, 2, 3, 3, 4 (minFree 2). b = 6: b -
  // requiredSum = 5 allows two more elements.
  QrcIntSetVarI* s = set(0, 5, {}, {0});
  QrcIntExp sum = QrcSum(s, table(0, {1, 2, 2, 3, 3, 4}));
  EXPECT_EQ(sum.getMax(), 15);
  ASSERT_TRUE(holds([&] { sum.setMax(6); }));
  EXPECT_EQ(s->getCardinality()->getMax(), 3);
  EXPECT_EQ(P(s), (V{0, 1, 2, 3, 4, 5}));
  // b = 4: slack 3 removes the 4.
  ASSERT_TRUE(holds([&] { sum.setMax(4); }));
  EXPECT_EQ(P(s), (V{0, 1, 2, 3, 4}));

  // A negative F whose absence alone passes b is required; one whose
  // presence alone misses a leaves.
  QrcIntSetVarI* t = set(0, 3);
  QrcIntExp mixed = QrcSum(t, table(0, {-5, 1, 2, -1}));
  ASSERT_TRUE(holds([&] { mixed.setMax(-3); }));
  EXPECT_EQ(R(t), (V{0}));
  QrcIntSetVarI* u = set(0, 3);
  QrcIntExp lifted = QrcSum(u, table(0, {-5, 1, 2, -1}));
  ASSERT_TRUE(holds([&] { lifted.setMin(2); }));
  EXPECT_EQ(P(u), (V{1, 2, 3}));
  EXPECT_EQ(R(u), (V{2}));
  // Negative slack fails.
  QrcIntExp failing = QrcSum(set(0, 3, {}, {0}), table(0, {-5, 1, 2, -1}));
  EXPECT_FALSE(holds([&] { failing.getImpl()->setOperandsRange(QrcInt(-20), QrcInt(-7)); }));
  EXPECT_FALSE(holds([&] { failing.getImpl()->setOperandsRange(QrcInt(10), QrcInt(20)); }));

  // Negative minFree: 5 - 2k <= 0 needs k >= 3 more elements.
  QrcIntSetVarI* w = set(0, 5, {}, {0});
  QrcIntExp below = QrcSum(w, table(0, {5, -2, -2, -2, -2, -2}));
  ASSERT_TRUE(holds([&] { below.setMax(0); }));
  EXPECT_EQ(w->getCardinality()->getMin(), 4);
  EXPECT_EQ(R(w), (V{0}));
}

TEST_F(SetFunctionTest, SumNarrowingCountsTheElementsItRequiredItself) {
  // F(0) = 3 leaves for a sum of -1; the set then requires 1 on its own
  // (card(S) >= 1), which the cardinality count must not take for one of the
  // elements still needed below b.
  QrcIntSetVarI* s = set(0, 1);
  s->getCardinality()->setMin(1);
  QrcIntExp sum = QrcSum(s, table(0, {3, -1}));
  ASSERT_TRUE(holds([&] { sum.setRange(-1, -1); }));
  EXPECT_EQ(P(s), (V{1}));
  EXPECT_EQ(R(s), (V{1}));
}

TEST_F(SetFunctionTest, SumBeyondTheEngineIntegersGoesThroughTheDoubles) {
  const QrcInt big = QrcInt(1) << 52;
  QrcIntSetVarI* s = set(0, 2);
  QrcIntExp sum = QrcSum(s, table(0, {big, big, big}));
  EXPECT_TRUE(sum.getImpl()->isOutOfRange());
  EXPECT_EQ(sum.getMin(), 0);
  EXPECT_EQ(sum.getMax(), Limit);
  // At most one 2^52 fits under 2^52.
  ASSERT_TRUE(holds([&] { sum.setMax(big); }));
  EXPECT_EQ(s->getCardinality()->getMax(), 1);
  EXPECT_EQ(sum.getMax(), big);
  // Back within the integers once two of them are gone.
  ASSERT_TRUE(holds([&] { s->removePossible(1); }));
  EXPECT_EQ(sum.getMax(), big);
  EXPECT_TRUE(sum.getImpl()->isOutOfRange());
  ASSERT_TRUE(holds([&] { s->removePossible(2); }));
  EXPECT_EQ(sum.getMax(), big);
  EXPECT_FALSE(sum.getImpl()->isOutOfRange());
  // A required pair passes 2^53 - 1 for good.
  QrcIntSetVarI* t = set(0, 2, {}, {0, 1});
  QrcIntExp over = QrcSum(t, table(0, {big, big, big}));
  EXPECT_TRUE(over.getImpl()->isOutOfRange());
  EXPECT_FALSE(holds([&] { over.setMax(big); }));
  // The expression form too.
  QrcIntSetVarI* u = set(0, 2);
  QrcIntExp exp = QrcSum(u, exps(0, {var(0, big), var(0, big), var(0, big)}));
  EXPECT_EQ(exp.getMax(), Limit);
  EXPECT_TRUE(exp.getImpl()->isOutOfRange());
  ASSERT_TRUE(holds([&] { exp.setMin(big + 1); }));
  EXPECT_EQ(u->getCardinality()->getMin(), 2);
}

TEST_F(SetFunctionTest, SumOfExpressionsNarrowsTheRequiredTerms) {
  QrcIntExpI* f[3] = {var(0, 4), var(1, 5), var(-3, 2)};
  QrcIntSetVarI* s = set(0, 2, {}, {0, 1});
  QrcIntExp sum = QrcSum(s, exps(0, {f[0], f[1], f[2]}));
  EXPECT_EQ(text(sum), "QrcSum(Set, IntExp F(x)):[-2..11]");
  ASSERT_TRUE(holds([&] { sum.setMax(3); }));
  // lowSum = 0 + 1 - 3 = -2: slack 5; required terms at most min + 5.
  EXPECT_EQ(f[0]->getMax(), 4);
  EXPECT_EQ(f[1]->getMax(), 5);
  ASSERT_TRUE(holds([&] { sum.setMax(1); }));
  EXPECT_EQ(f[0]->getMax(), 3);
  EXPECT_EQ(f[1]->getMax(), 4);
  // highSum = 3 + 4 + 2 = 9, a = 8: slack 1; the required terms at least
  // their maximum - 1, and the free term must come in with at least 1.
  QrcIntExpI* g[3] = {var(0, 3), var(1, 4), var(-3, 2)};
  QrcIntSetVarI* t = set(0, 2, {}, {0, 1});
  QrcIntExp high = QrcSum(t, exps(0, {g[0], g[1], g[2]}));
  ASSERT_TRUE(holds([&] { high.setMin(8); }));
  EXPECT_EQ(R(t), (V{0, 1, 2}));
  EXPECT_EQ(g[0]->getMin(), 2);
  EXPECT_EQ(g[1]->getMin(), 3);
  EXPECT_EQ(g[2]->getMin(), 1);
}

// ---------------------------------------------------------------- following the F(x)

TEST_F(SetFunctionTest, ExpressionFormsFollowTheFOfThePossibleElements) {
  QrcIntExpI* f[4] = {var(0, 9), var(3, 3), var(0, 9), var(0, 9)};
  QrcIntSetVarI* s = set(0, 3, {0, 1, 2});
  QrcIntExp max = QrcMax(s, exps(0, {f[0], f[1], f[2], f[3]}));
  // Three demons per unbound F(x) of a possible x; none on a bound F(x) nor
  // on that of an impossible x.
  EXPECT_EQ(f[0]->getIntHandler()->getNbDemons(), 3);
  EXPECT_EQ(f[1]->getIntHandler()->getNbDemons(), 0);
  EXPECT_EQ(f[2]->getIntHandler()->getNbDemons(), 3);
  EXPECT_EQ(f[3]->getIntHandler()->getNbDemons(), 0);
  auto* node = static_cast<QrcIntExpOverIntExpSetI*>(max.getImpl());
  std::ostringstream os;
  node->getRangePropagator()->display(os);
  EXPECT_EQ(os.str(), "IntExpOverSet propagator");

  Counter* counter = new (m) Counter(m);
  max.whenRange(counter);
  EXPECT_EQ(node->getRangePropagator()->getNbDemons(), 1);
  ASSERT_TRUE(holds([&] { f[0]->setMax(7); }));
  EXPECT_EQ(counter->runs, 1);
  // An F(x) whose x has left S wakes nothing.
  ASSERT_TRUE(holds([&] { s->removePossible(2); }));
  int before = counter->runs;
  ASSERT_TRUE(holds([&] { f[2]->setMax(5); }));
  ASSERT_TRUE(holds([&] { f[2]->setMax(4); }));
  EXPECT_EQ(counter->runs, before);
  ASSERT_TRUE(holds([&] { f[0]->setMax(6); }));
  EXPECT_EQ(counter->runs, before + 1);
}

TEST_F(SetFunctionTest, ConstraintsOverTheNodesPropagateBothWays) {
  // y == sum of F over S with y a variable: S and y narrow each other.
  QrcIntSetVarI* s = set(0, 3);
  QrcIntExpI* y = var(0, 20);
  ASSERT_TRUE(adds(QrcIntExp(y) == QrcSum(s, table(0, {1, 2, 4, 8}))));
  EXPECT_EQ(y->getMax(), 15);
  ASSERT_TRUE(holds([&] { y->setMin(12); }));
  EXPECT_EQ(R(s), (V{2, 3}));
  ASSERT_TRUE(holds([&] { s->removePossible(0); }));
  EXPECT_EQ(y->getMax(), 14);
  QrcIntExpI* z = var(0, 9);
  QrcIntExpI* g[2] = {var(0, 9), var(0, 9)};
  QrcIntSetVarI* t = set(0, 1, {}, {0, 1});
  ASSERT_TRUE(adds(QrcIntExp(z) == QrcMax(t, exps(0, {g[0], g[1]}))));
  ASSERT_TRUE(holds([&] { g[0]->setMin(5); }));
  EXPECT_EQ(z->getMin(), 5);
  ASSERT_TRUE(holds([&] { z->setMax(6); }));
  EXPECT_EQ(g[1]->getMax(), 6);
}

TEST_F(SetFunctionTest, CopiesOwnTheAccessorAndFollowTheCopiedSet) {
  QrcManager other(QrcNoEdit);
  QrcIntSetVarI* s = set(0, 2, {}, {1});
  QrcIntExp sum = QrcSum(s, table(0, {1, 2, 4}));
  QrcIntExpI* copy = static_cast<QrcIntExpI*>(sum.getImpl()->getCopyForManager(other.getImpl()));
  auto* node = dynamic_cast<QrcSetSumIntFuncExpI*>(copy);
  ASSERT_NE(node, nullptr);
  EXPECT_NE(node->getAccessor(), static_cast<QrcIntExpOverSetI*>(sum.getImpl())->getAccessor());
  EXPECT_EQ(node->getAccessor()->getManager(), other.getImpl());
  EXPECT_NE(node->getSet(), s);
  EXPECT_EQ(copy->getMin(), 2);
  EXPECT_EQ(copy->getMax(), 7);
  other.end();
}

TEST_F(SetFunctionTest, EmptyHandlesStop) {
  QrcIntSetVarI* s = set(0, 1);
  EXPECT_DEATH(QrcMax(QrcIntSetVar(), table(0, {1, 2})), "empty handle");
  EXPECT_DEATH(QrcSum(s, QrcIntToIntExpFunction()), "empty handle");
}

}  // namespace
