// Distribute, count, abstractions and sequence: fixed cases, errors, and
// brute force through the harness.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "qrcabstraction.h"
#include "qrcdistribute.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "qrcsequence.h"
#include "constraint_fixtures.h"
#include "support/harness.h"

namespace {

using ctest::show;
using ctest::V;

typedef std::vector<int64_t> A;

class CountingTest : public ctest::ConstraintTest {};

// ---------------------------------------------------------------- distribute

TEST_F(CountingTest, DistributeShortcutsAndErrors) {
  QrcIntVarArray xs = array({var(0, 2)});
  EXPECT_EQ(QrcDistribute(array({}), ints({}), xs).getImpl(), m->getTrueConstraint());
  EXPECT_EQ(QrcDistribute(array({}), xs, QrcHighFilterLevel).getImpl(), m->getTrueConstraint());
  EXPECT_EQ(errorLine([&] { QrcDistribute(array({var(0, 1)}), ints({1}), xs, 5); }),
            "Solver Error : bad event : QrcDistribute : 5\n");
  EXPECT_EQ(errorLine([&] {
              QrcDistribute(array({var(0, 1)}), ints({1, 2}), xs);
            }),
            "Solver Error : QrcDistribute : bad array size : 2\n");
  EXPECT_EQ(errorLine([&] {
              QrcDistribute(array({var(0, 1), var(0, 1)}), ints({4, 4}), xs);
            }),
            "Solver Error : QrcDistribute : repeated element in array : 4\n");
  QrcConstraintI* ct = QrcDistribute(array({var(0, 1)}), ints({1}), xs).getImpl();
  EXPECT_EQ(show(ct).rfind("QrcDistribute(", 0), 0u);
}

TEST_F(CountingTest, DistributeCounts) {
  QrcIntExpI* card = var(0, 3);
  QrcIntExpI* x = var(0, 5);
  QrcIntExpI* y = var(0, 5);
  QrcIntExpI* z = var(0, 5);
  ASSERT_TRUE(adds(QrcDistribute(array({card}), ints({3}), array({x, y, z}))));
  x->setValue(3);
  EXPECT_EQ(card->getMin(), 1);
  y->removeValue(3);
  EXPECT_EQ(card->getMax(), 2);
  card->setMin(2);  // only z can still take 3
  EXPECT_TRUE(z->isBound() && z->getMin() == 3);
  QrcIntExpI* c2 = var(0, 3);
  QrcIntExpI* a = var(0, 1);
  QrcIntExpI* b = var(0, 1);
  ASSERT_TRUE(adds(QrcDistribute(array({c2}), ints({1}), array({a, b}))));
  c2->setMax(0);
  EXPECT_TRUE(a->isBound() && b->isBound() && a->getMin() == 0 && b->getMin() == 0);
}

TEST_F(CountingTest, DistributeOthersCount) {
  QrcIntExpI* c1 = var(1, 3);
  QrcIntExpI* c2 = var(1, 3);
  std::vector<QrcIntExpI*> xs = {var({1, 2, 5}), var({1, 2, 5}), var({1, 2, 5})};
  ASSERT_TRUE(adds(QrcDistribute(array({c1, c2}), ints({1, 2}), array(xs))));
  xs[2]->setValue(5);  // the others count reaches 1, all the cards allow
  EXPECT_EQ(dom(xs[0]), (V{1, 2}));
  EXPECT_EQ(dom(xs[1]), (V{1, 2}));
}

// Posted again after backtracking over its first post (as a solver does
// after a restart), the constraint keeps out of the heap memory that the
// backtrack gave back.
TEST_F(CountingTest, DistributePostedAgainAfterBacktracking) {
  std::vector<QrcIntExpI*> xs = {var({1, 2, 5}), var({1, 2, 5}), var({1, 2, 5})};
  QrcIntExpI* c1 = var(1, 3);
  QrcIntExpI* c2 = var(1, 3);
  QrcConstraint ct = QrcDistribute(array({c1, c2}), ints({1, 2}), array(xs));
  m->pushState();
  ASSERT_TRUE(adds(ct));
  m->popState();
  // Arrays over the memory given back, then the constraint again.
  std::vector<QrcIntArray> fill;
  for (int k = 0; k < 64; ++k) fill.push_back(QrcIntArray(mgr, 16, QrcInt(77)));
  ASSERT_TRUE(adds(ct));
  xs[2]->setValue(5);
  EXPECT_EQ(dom(xs[0]), (V{1, 2}));
  EXPECT_EQ(dom(xs[1]), (V{1, 2}));
  int changed = 0;
  for (const QrcIntArray& a : fill)
    for (QrcInt i = 0; i < 16; ++i) changed += a[i] != 77;
  EXPECT_EQ(changed, 0);
}

TEST_F(CountingTest, DistributeLevels) {
  for (QrcInt level : {1, 3}) {
    std::vector<QrcIntExpI*> cards = {var(0, 1), var(0, 1), var(0, 1)};
    QrcIntExpI* z = var(1, 3);
    ASSERT_TRUE(adds(
        QrcDistribute(array(cards), ints({1, 2, 3}), array({var(1, 2), var(1, 2), z}), level)));
    EXPECT_EQ(dom(z), level == 3 ? V{3} : (V{1, 2, 3})) << "level " << level;
  }
  QrcManager other(QrcNoEdit);
  QrcConstraintWithFilterI* ct = static_cast<QrcConstraintWithFilterI*>(
      QrcDistribute(array({var(0, 1)}), ints({0}), array({var(0, 1)}), QrcHighFilterLevel)
          .getImpl());
  EXPECT_EQ(static_cast<QrcConstraintWithFilterI*>(ct->getCopyForManager(other.getImpl()))
                ->getFilterLevel(),
            QrcHighFilterLevel);
  other.end();
}

// ---------------------------------------------------------------- count

TEST_F(CountingTest, CountCases) {
  QrcIntExpI* none = var(-3, 3);
  ASSERT_TRUE(adds(QrcCard(QrcIntVar(none), 1, array({}))));
  EXPECT_EQ(dom(none), V{0});
  std::vector<QrcIntExpI*> xs = {var(1, 1), var(1, 1), var(0, 1)};
  ASSERT_TRUE(adds(QrcCard(QrcIntVar(var(2, 2)), 1, array(xs))));
  EXPECT_EQ(dom(xs[2]), V{0});
  std::vector<QrcIntExpI*> ys = {var(0, 1), var(0, 1), var(0, 1)};
  QrcIntExpI* card = var(3, 5);
  ASSERT_TRUE(adds(QrcCard(QrcIntVar(card), 1, array(ys))));
  for (QrcIntExpI* y : ys) EXPECT_EQ(dom(y), V{1});
  EXPECT_EQ(dom(card), V{3});
  // A removal inside the domain is seen after a deeper state was undone.
  QrcIntExpI* x = var(-1, 2);
  QrcIntExpI* c = var(0, 1);
  ASSERT_TRUE(adds(QrcCard(QrcIntVar(c), 1, array({x}))));
  m->pushState();
  x->setValue(0);
  m->popState();
  x->removeValue(1);
  EXPECT_EQ(dom(c), V{0});
}

// A count copied into another manager over an element made from u + w: the
// value the copy closes out of the element's copy stays out once u and w bind.
TEST_F(CountingTest, CopiedCountKeepsAClosedValueOut) {
  QrcIntExpI* u = var(0, 1);
  QrcIntExpI* w = var(0, 1);
  QrcIntExpI* card = var(0, 1);
  QrcIntVarArray xs(mgr, 1);
  xs.set(0, QrcIntExp(u) + QrcIntExp(w));
  QrcConstraintI* ct = QrcCard(QrcIntVar(card), 1, xs).getImpl();
  QrcManager other(QrcNoEdit);
  QrcManagerI* t = other.getImpl();
  t->useExceptions(true);
  bool opened = QrcOpenCopy(t);
  QrcConstraintI* copy = ct->getCopyForManager(t);
  QrcIntVarArray ops(other, 2);
  ops.set(0, QrcIntExp(static_cast<QrcIntExpI*>(u->getCopyForManager(t))));
  ops.set(1, QrcIntExp(static_cast<QrcIntExpI*>(w->getCopyForManager(t))));
  QrcIntExpI* cardCopy = static_cast<QrcIntExpI*>(card->getCopyForManager(t));
  QrcCloseCopy(t, opened);
  t->add(copy);
  cardCopy->setValue(0);
  QrcSearch search(other, QrcGenerate(ops));
  int solutions = 0;
  while (search.next()) {
    ++solutions;
    EXPECT_NE(ops[0].getImpl()->getValue() + ops[1].getImpl()->getValue(), 1);
  }
  search.end();
  EXPECT_EQ(solutions, 2);
  other.end();
}

TEST_F(CountingTest, CountIsFalseAgreesWithBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(3701));
  for (int round = 0; round < 200; ++round) {
    auto doms = qrotest::randomDomains(rng, 3, 0, 3, 3);
    QrcInt lo = static_cast<QrcInt>(rng() % 4), hi = lo + static_cast<QrcInt>(rng() % 2);
    std::vector<QrcIntExpI*> xs;
    for (auto& d : doms) xs.push_back(var(V(d.begin(), d.end())));
    QrcConstraintI* ct = QrcCard(QrcIntVar(var(lo, hi)), 2, array(xs)).getImpl();
    bool exists = false;
    for (int64_t a : doms[0])
      for (int64_t b : doms[1])
        for (int64_t c : doms[2]) {
          QrcInt n = (a == 2) + (b == 2) + (c == 2);
          exists = exists || (n >= lo && n <= hi);
        }
    EXPECT_EQ(ct->isFalse() != 0, !exists) << "round " << round;
  }
}

// ---------------------------------------------------------------- abstraction

TEST_F(CountingTest, ValueAbstractionCases) {
  for (int variant = 0; variant < 3; ++variant) {
    QrcIntExpI* x = var(1, 3);
    QrcIntExpI* y = var(0, 10);
    ASSERT_TRUE(adds(QrcEqAbstraction(array({y}), array({x}), ints({2, 4}), 9)));
    EXPECT_EQ(dom(y), (V{2, 9}));
    EXPECT_EQ(dom(x), (V{1, 2, 3}));
    m->pushState();
    if (variant == 0) {
      y->setValue(2);
      EXPECT_EQ(dom(x), V{2});
    } else if (variant == 1) {
      x->removeValue(1);
      x->removeValue(3);
      EXPECT_EQ(dom(y), V{2});
    } else {
      y->removeValue(2);
      EXPECT_EQ(dom(x), (V{1, 3}));
    }
    m->popState();
  }
  // a inside S: y keeps a while x has a value outside S.
  QrcIntExpI* x = var(1, 3);
  QrcIntExpI* y = var(2, 3);
  ASSERT_TRUE(adds(QrcEqAbstraction(array({y}), array({x}), ints({2, 4}), 3)));
  x->removeValue(3);
  EXPECT_EQ(dom(y), (V{2, 3}));
  x->removeValue(1);
  EXPECT_EQ(dom(y), V{2});
}

TEST_F(CountingTest, ValueSetsOfBothKindsBehaveAlike) {
  const V sparse = {1, 1000}, dense = {1, 2, 3};
  EXPECT_NE(QrcMakeValueSet(m, 2, sparse.data())->getCollection(), nullptr);
  EXPECT_EQ(QrcMakeValueSet(m, 3, dense.data())->getCollection(), nullptr);
  for (const V& s : {sparse, dense}) {
    QrcIntExpI* x = var({1, 5, s.back()});
    QrcIntExpI* y = var(V{1, 5, s.back(), 9});
    ASSERT_TRUE(adds(QrcEqAbstraction(array({y}), array({x}), ints(s), 9)));
    EXPECT_EQ(dom(y), (V{1, std::min<QrcInt>(s.back(), 9), std::max<QrcInt>(s.back(), 9)}));
    x->removeValue(5);
    EXPECT_EQ(dom(y), (V{1, s.back()}));
  }
}

TEST_F(CountingTest, TestAbstractionCases) {
  QrcIntExpI* b1 = var(0, 1);
  ASSERT_TRUE(adds(QrcEqIntAbstraction(array({b1}), array({var(5, 5)}), ints({5}))));
  EXPECT_EQ(dom(b1), V{1});
  QrcIntExpI* b0 = var(0, 1);
  ASSERT_TRUE(adds(QrcEqIntAbstraction(array({b0}), array({var(1, 2)}), ints({5}))));
  EXPECT_EQ(dom(b0), V{0});
  QrcIntExpI* b = var(0, 1);
  QrcIntExpI* x = var(4, 6);
  ASSERT_TRUE(adds(QrcEqIntAbstraction(array({b}), array({x}), ints({5}))));
  b->setValue(0);
  EXPECT_EQ(dom(x), (V{4, 6}));
  EXPECT_EQ(QrcAbstractionArray(array({}), ints({1}), 9).getSize(), 0);
  EXPECT_EQ(errorLine([&] { QrcEqAbstraction(array({b}), array({}), ints({1}), 0); }),
            "Solver Error : QrcEqAbstraction : bad array size : 0\n");
}

// ---------------------------------------------------------------- sequence

TEST_F(CountingTest, SequenceWindows) {
  struct Expect {
    QrcInt n, w;
    std::vector<V> sizes;  // per phase
  };
  for (const Expect& e :
       {Expect{5, 2, {{2, 2, 1}, {1, 2, 2}}}, Expect{4, 4, {{4}, {1, 3}, {2, 2}, {3, 1}}}}) {
    QrcIntVarArray x(mgr, e.n, 0, 3);
    QrcSequenceConstraintI* ct = static_cast<QrcSequenceConstraintI*>(
        QrcSequence(0, e.w, e.w, x, ints({1}), array({var(0, 9)})).getImpl());
    ASSERT_TRUE(adds(ct));
    for (QrcInt t = 0; t < e.w; ++t) {
      const V& sizes = e.sizes[static_cast<size_t>(t)];
      ASSERT_EQ(ct->getWindowCount(t), static_cast<QrcInt>(sizes.size()));
      for (QrcInt k = 0; k < ct->getWindowCount(t); ++k) {
        EXPECT_EQ(ct->getWindow(t, k).ys->getSize(), sizes[static_cast<size_t>(k)]);
        EXPECT_EQ(ct->getWindow(t, k).d, 4 + k);  // above every value, one per window
      }
    }
  }
}

TEST_F(CountingTest, SequenceCases) {
  QrcIntVarArray x(mgr, 5, 0, 3);
  ASSERT_TRUE(adds(QrcSequence(2, 2, 2, x, ints({1, 2}), array({var(0, 5), var(0, 5)}))));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(dom(x[i].getImpl()), (V{1, 2}));
  // w < 1 still counts the cards.
  QrcIntExpI* card = var(0, 5);
  QrcIntVarArray y(mgr, 3, 7, 7);
  ASSERT_TRUE(adds(QrcSequence(0, 0, 0, y, ints({7}), array({card}))));
  EXPECT_EQ(dom(card), V{3});
  EXPECT_EQ(
      errorLine([&] {
        m->add(QrcSequence(0, 1, 4, QrcIntVarArray(mgr, 2, 0, 1), ints({1}), array({var(0, 2)}))
                   .getImpl());
      }),
      "Solver Error : extract : bad array size : 3\n");
  EXPECT_EQ(errorLine([&] {
              QrcSequence(0, 1, 2, QrcIntVarArray(mgr, 3, 0, 2), ints({1, 2}), array({var(0, 3)}));
            }),
            "Solver Error : QrcSequence : bad array size : 2\n");
  // Level 3 on a true shift ([x0, x1] then [x1, x2]): x0 leaves V and the two
  // out-counts are equal, so x2, entering the next window, leaves V too.
  QrcIntVarArray z(mgr, 4, 0, 1);
  QrcConstraint seq = QrcSequence(0, 2, 2, z, ints({1}), array({var(0, 4)}));
  seq.getImpl()->setFilterLevel(QrcFullFilterLevel);
  ASSERT_TRUE(adds(seq));
  QrcSequenceConstraintI* ct = static_cast<QrcSequenceConstraintI*>(seq.getImpl());
  z[0].setValue(0);
  ct->getWindow(0, 0).out->setValue(1);
  ct->getWindow(1, 1).out->setValue(1);
  EXPECT_EQ(dom(z[2].getImpl()), V{0});
  std::string demons;
  QrcIntExpI* first = ct->getWindow(0, 0).ys->getVar(0);
  for (auto* c = first->getIntHandler()->getDomainDemons().getHead(); c; c = c->next)
    demons += show(c->item) + " ";
  EXPECT_NE(demons.find("QrcSequenceConstraintIVarFXPropagation"), std::string::npos) << demons;
}

// ---------------------------------------------------------------- brute force

QrcIntVarArray slice(QrcManagerI* m, const qrotest::Vars& v, std::vector<size_t> at) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(at.size()));
  for (size_t k = 0; k < at.size(); ++k) a.set(static_cast<QrcInt>(k), QrcIntExp(v[at[k]]));
  return a;
}

std::vector<size_t> iota(size_t from, size_t to) {
  std::vector<size_t> r;
  for (size_t i = from; i < to; ++i) r.push_back(i);
  return r;
}

// Variables 0..n-1 counted, then one card per listed value; shape 1 repeats
// variable 0 at the end of vars, shape 2 also counts the first card.
qrotest::PropCase distributeCase(qrotest::Rng& rng, QrcInt level, int shape, bool intervals) {
  qrotest::PropCase c;
  c.seed = rng();
  size_t n = 2 + rng() % 3;
  V listed = {0, 1, 2};
  if (rng() % 2) listed = {-1, 2};
  c.values = intervals ? qrotest::ranges(static_cast<int>(n), -1, 2)
                       : qrotest::randomDomains(rng, static_cast<int>(n), -1, 3, 4);
  for (size_t k = 0; k < listed.size(); ++k) c.values.push_back(qrotest::range(0, 2));
  std::vector<size_t> vars = iota(0, n), cards = iota(n, n + listed.size());
  if (shape == 1) vars.push_back(0);
  if (shape == 2) vars.push_back(n);
  c.name = "distribute level " + std::to_string(level) + " shape " + std::to_string(shape);
  c.notReified = "a distribute has no opposite";
  c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    QrcIntArray values(QrcManager(m), static_cast<QrcInt>(listed.size()), listed.data());
    return QrcDistribute(slice(m, v, cards), values, slice(m, v, vars), level).getImpl();
  };
  c.check = [=](const A& a) {
    for (size_t k = 0; k < listed.size(); ++k) {
      int64_t count = 0;
      for (size_t i : vars) count += a[i] == listed[k];
      if (a[cards[k]] != count) return false;
    }
    return true;
  };
  // Level 3 matches the variables to values whose capacities are the cards'
  // bounds: every value of a variable, and the cards' bounds, extend to a
  // solution (unless one variable stands at two places).
  if (level == 3 && shape == 0) {
    c.levels.assign(n, qrotest::Consistency::Domain);
    c.levels.resize(n + listed.size(), qrotest::Consistency::Bounds);
  }
  c.narrowRuns = 25;
  return c;
}

TEST(CountingHarness, DistributeAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(37));
  for (int round = 0; round < 4; ++round)
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level)
      for (int shape = 0; shape < 3; ++shape) {
        qrotest::PropCase c = distributeCase(rng, level, shape, round % 2 == 0);
        EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
      }
  for (int round = 0; round < 6; ++round) {
    qrotest::Rng r1(rng()), r3 = r1;
    qrotest::PropCase weak = distributeCase(r1, 1, 0, false);
    qrotest::PropCase strong = distributeCase(r3, 3, 0, false);
    EXPECT_EQ(qrotest::checkStronger(weak, strong), 0);
  }
}

// One expression of two variables at two positions of a distribute (twice
// among the variables, a card and a variable, twice among the cards), over
// variables w0, w1 of the expression, a card or variable k and a variable z.
TEST(CountingHarness, DistributeSharedExpression) {
  struct Shape {
    const char* name;
    // Positions: 0 the expression, 1 k, 2 z.
    std::vector<size_t> vars, cards;
  };
  const Shape shapes[] = {
      {"twice a variable", {0, 2, 0}, {1}},
      {"a card and a variable", {0, 2}, {0}},
      {"a card, a variable and k", {0, 1}, {0, 2}},
      {"twice a card", {1, 2}, {0, 0}},
  };
  const char* const ops[] = {"w0 + w1", "w0 - w1", "w0 * w1", "|w0 - w1|"};
  qrotest::Rng rng(qrotest::caseSeed(41));
  for (const Shape& sh : shapes)
    for (int op = 0; op < 4; ++op)
      for (QrcInt level : {QrcLowFilterLevel, QrcFullFilterLevel}) {
        qrotest::PropCase c;
        c.name = std::string("distribute ") + sh.name + " e = " + ops[op] + " level " +
                 std::to_string(level);
        c.seed = rng();
        c.notReified = "a distribute has no opposite";
        c.values = {qrotest::range(-1, 2), qrotest::range(0, 1), qrotest::range(0, 2),
                    qrotest::range(0, 2)};
        V listed = sh.cards.size() == 1 ? V{1} : V{0, 1};
        Shape shape = sh;
        auto value = [op](int64_t a, int64_t b) {
          return op == 0 ? a + b : op == 1 ? a - b : op == 2 ? a * b : a > b ? a - b : b - a;
        };
        c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
          QrcIntExp a(v[0]), b(v[1]);
          QrcIntExp e = op == 0 ? a + b : op == 1 ? a - b : op == 2 ? a * b : QrcAbs(a - b);
          QrcIntExp at[] = {e, QrcIntExp(v[2]), QrcIntExp(v[3])};
          QrcIntVarArray vars(QrcManager(m), static_cast<QrcInt>(shape.vars.size()));
          QrcIntVarArray cards(QrcManager(m), static_cast<QrcInt>(shape.cards.size()));
          for (size_t i = 0; i < shape.vars.size(); ++i)
            vars.set(static_cast<QrcInt>(i), at[shape.vars[i]]);
          for (size_t j = 0; j < shape.cards.size(); ++j)
            cards.set(static_cast<QrcInt>(j), at[shape.cards[j]]);
          QrcIntArray values(QrcManager(m), static_cast<QrcInt>(listed.size()), listed.data());
          return QrcDistribute(cards, values, vars, level).getImpl();
        };
        c.check = [=](const A& s) {
          int64_t at[] = {value(s[0], s[1]), s[2], s[3]};
          for (size_t j = 0; j < listed.size(); ++j) {
            int64_t count = 0;
            for (size_t i : shape.vars) count += at[i] == listed[j];
            if (at[shape.cards[j]] != count) return false;
          }
          return true;
        };
        c.narrowRuns = 20;
        EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
      }
}

TEST(CountingHarness, CountAndAbstractionsAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(3702));
  for (int round = 0; round < 10; ++round) {
    qrotest::PropCase c;
    c.seed = rng();
    c.name = "count round " + std::to_string(round);
    c.notReified = "a count has no opposite";
    c.values = qrotest::randomDomains(rng, 4, -1, 2, 4);
    c.values.push_back(qrotest::range(0, 4));
    c.make = [](QrcManagerI* m, const qrotest::Vars& v) {
      return QrcCard(QrcIntVar(v[4]), 1, slice(m, v, {0, 1, 2, 3})).getImpl();
    };
    c.check = [](const A& a) { return a[4] == std::count(a.begin(), a.begin() + 4, 1); };
    c.level = qrotest::Consistency::Domain;
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
  for (int round = 0; round < 16; ++round) {
    qrotest::PropCase c;
    c.seed = rng();
    V set = {1, 3};
    QrcInt a = round % 2 ? 2 : 7;  // inside or outside x's candidates
    bool test = round % 4 >= 2;
    c.name = std::string(test ? "test" : "value") + " abstraction a=" + std::to_string(a);
    c.notReified = "an abstraction has no opposite";
    c.values = {qrotest::randomDomains(rng, 1, 0, 4, 5)[0],
                test ? qrotest::range(0, 1) : qrotest::randomDomains(rng, 1, 0, 7, 8)[0]};
    c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntArray values(QrcManager(m), 2, set.data());
      return (test ? QrcEqIntAbstraction(slice(m, v, {1}), slice(m, v, {0}), values)
                   : QrcEqAbstraction(slice(m, v, {1}), slice(m, v, {0}), values, a))
          .getImpl();
    };
    c.check = [=](const A& s) {
      bool in = s[0] == 1 || s[0] == 3;
      return test ? s[1] == (in ? 1 : 0) : s[1] == (in ? s[0] : a);
    };
    c.level = qrotest::Consistency::Domain;
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

qrotest::PropCase sequenceCase(qrotest::Rng& rng, QrcInt level) {
  qrotest::PropCase c;
  c.seed = rng();
  int w = 1 + static_cast<int>(rng() % 4);
  int n = w + static_cast<int>(rng() % static_cast<uint64_t>(std::min(4, 9 - w)));
  if (n > 8) n = 8;
  QrcInt lo = static_cast<QrcInt>(rng() % 2), hi = lo + static_cast<QrcInt>(rng() % 3);
  V listed = rng() % 2 ? V{1} : V{0, 2};
  c.name = "sequence n=" + std::to_string(n) + " w=" + std::to_string(w) +
           " lo=" + std::to_string(lo) + " hi=" + std::to_string(hi) + " level " +
           std::to_string(level);
  c.values = qrotest::randomDomains(rng, n, 0, 2, 3);
  for (size_t k = 0; k < listed.size(); ++k) c.values.push_back(qrotest::range(0, n));
  size_t nn = static_cast<size_t>(n);
  c.notReified = "a sequence has no opposite";
  c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    QrcIntArray values(QrcManager(m), static_cast<QrcInt>(listed.size()), listed.data());
    QrcConstraint ct = QrcSequence(lo, hi, w, slice(m, v, iota(0, nn)), values,
                                   slice(m, v, iota(nn, nn + listed.size())));
    ct.getImpl()->setFilterLevel(level);
    return ct.getImpl();
  };
  c.check = [=](const A& a) {
    auto inV = [&](int64_t x) {
      return std::find(listed.begin(), listed.end(), x) != listed.end();
    };
    for (size_t s = 0; s + static_cast<size_t>(w) <= nn; ++s) {
      QrcInt k = 0;
      for (size_t i = s; i < s + static_cast<size_t>(w); ++i) k += inV(a[i]);
      if (k < lo || k > hi) return false;
    }
    for (size_t j = 0; j < listed.size(); ++j)
      if (a[nn + j] != std::count(a.begin(), a.begin() + n, listed[j])) return false;
    return true;
  };
  c.narrowRuns = 20;
  return c;
}

TEST(CountingHarness, SequenceAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(3703));
  for (int round = 0; round < 12; ++round)
    for (QrcInt level : {1, 3}) {
      qrotest::PropCase c = sequenceCase(rng, level);
      EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
    }
  for (int round = 0; round < 6; ++round) {
    qrotest::Rng r1(rng()), r3 = r1;
    qrotest::PropCase weak = sequenceCase(r1, 1);
    qrotest::PropCase strong = sequenceCase(r3, 3);
    EXPECT_EQ(qrotest::checkStronger(weak, strong), 0) << strong.name;
  }
}

}  // namespace
