// Relations between set variables: fixed cases of each relation's rules, the
// creation functions' simplifications, printed forms, demons, constant forms
// that attach nothing, both manager modes and empty handles.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "constraints/int/constraint_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcintsetcst.h"
#include "qrcsearch.h"

namespace {

using ctest::V;

class SetRelTest : public ctest::ConstraintTest {
 protected:
  // A variable over [lo, hi] with P and R narrowed to the given values
  // (an empty possible list keeps the universe).
  QrcIntSetVarI* set(QrcInt lo, QrcInt hi, V possible = {}, V required = {},
                     const char* name = nullptr) {
    QrcIntSetVarI* s = new (m) QrcIntSetVarI(m, lo, hi, name);
    if (!possible.empty())
      for (QrcInt v = lo; v <= hi; ++v)
        if (std::find(possible.begin(), possible.end(), v) == possible.end()) s->removePossible(v);
    for (QrcInt v : required) s->addRequired(v);
    return s;
  }
  QrcIntSet cst(V values) { return QrcIntSet(mgr, ints(values), 1); }
  static V members(const QrcIntSetI* s) {
    V out;
    QrcInt v;
    QrcIntSetIterator it(s);
    while (it.next(v)) out.push_back(v);
    return out;
  }
  static V P(QrcIntSetVarI* s) { return members(s->getPossible()); }
  static V R(QrcIntSetVarI* s) { return members(s->getRequired()); }
  static std::string text(const QrcConstraint& ct) {
    std::ostringstream os;
    os << ct;
    return os.str();
  }
  // The display names (class names with classes) of a demon list, oldest first.
  static std::string names(QrcConstraintList& list, bool classes = false) {
    std::string out;
    for (auto* c = list.getHead(); c; c = c->next)
      out = (classes ? std::string(c->item->getClassName()) : ctest::show(c->item)) +
            (out.empty() ? "" : " ") + out;
    return out;
  }
  // Those listening to the domain events of s.
  static std::string demons(QrcIntSetVarI* s) {
    return names(s->getSetHandler()->getDomainDemons());
  }
};

// ---------------------------------------------------------------- equality

TEST_F(SetRelTest, EqualityKeepsTheCommonValuesAndFollowsChanges) {
  QrcIntSetVarI* a = set(1, 4, {1, 2, 3});
  QrcIntSetVarI* b = set(1, 4, {2, 3, 4});
  ASSERT_TRUE(adds(QrcIntSetVar(a) == QrcIntSetVar(b)));
  EXPECT_EQ(P(a), (V{2, 3}));
  EXPECT_EQ(P(b), (V{2, 3}));
  a->addRequired(2);
  EXPECT_EQ(R(b), (V{2}));
  b->removePossible(3);
  EXPECT_EQ(P(a), (V{2}));
  EXPECT_TRUE(a->isBound());
  EXPECT_EQ(demons(a), "QrcEqSetCtDemon");

  // The cardinalities are equal.
  QrcIntSetVarI* c = set(0, 5);
  QrcIntSetVarI* d = set(0, 5);
  ASSERT_TRUE(adds(QrcIntSetVar(c) == QrcIntSetVar(d)));
  c->getCardinality()->setMin(2);
  EXPECT_EQ(d->getCardinality()->getMin(), 2);
  EXPECT_FALSE(adds(QrcIntSetVar(set(0, 3, {}, {1})) == QrcIntSetVar(set(0, 3, {0, 2}))));
}

TEST_F(SetRelTest, InequalityDecidesTheLastUndecidedValue) {
  // b bound to {1}, R(a) = {1}, P(a) = {1, 2}: only {1, 2} differs from b.
  QrcIntSetVarI* a = set(0, 3, {1, 2}, {1});
  QrcIntSetVarI* b = set(0, 3, {1}, {1});
  ASSERT_TRUE(adds(QrcIntSetVar(a) != QrcIntSetVar(b)));
  EXPECT_EQ(R(a), (V{1, 2}));
  // b bound to {1, 2}, P(a) = {1, 2}: a must leave one out (k = p).
  QrcIntSetVarI* c = set(0, 3, {1, 2}, {1});
  ASSERT_TRUE(adds(QrcIntSetVar(c) != QrcIntSetVar(set(0, 3, {1, 2}, {1, 2}))));
  EXPECT_EQ(P(c), (V{1}));
  // A required value outside b: nothing to decide.
  QrcIntSetVarI* e = set(0, 3, {0, 1}, {0});
  ASSERT_TRUE(adds(QrcIntSetVar(e) != QrcIntSetVar(set(0, 3, {1}, {1}))));
  EXPECT_EQ(P(e), (V{0, 1}));
  EXPECT_EQ(R(e), (V{0}));
  // Bound and equal on both sides fails, whichever binds last.
  EXPECT_FALSE(adds(QrcIntSetVar(set(0, 3, {2}, {2})) != QrcIntSetVar(set(0, 3, {2}, {2}))));
  QrcIntSetVarI* f = set(0, 3, {1, 2, 3}, {1});
  ASSERT_TRUE(adds(QrcIntSetVar(f) != QrcIntSetVar(set(0, 3, {1, 3}, {1, 3}))));
  f->removePossible(2);
  EXPECT_FALSE(holds([&] { f->addRequired(3); }));
}

TEST_F(SetRelTest, ConstantEqualityAndInequality) {
  QrcIntSetVarI* s = set(0, 4);
  QrcConstraintI* eq = (QrcIntSetVar(s) == cst({1, 3})).getImpl();
  ASSERT_TRUE(adds(eq));
  EXPECT_EQ(P(s), (V{1, 3}));
  EXPECT_EQ(R(s), (V{1, 3}));
  EXPECT_EQ(s->getSetHandler()->getNbDemons(), 0);
  // An empty constant empties s, or fails on a required value; a member of c
  // that is not possible (or outside the universe) fails.
  QrcIntSetVarI* e = set(0, 4);
  ASSERT_TRUE(adds(QrcIntSetVar(e) == QrcIntSet(mgr, 1, 0, 1)));
  EXPECT_EQ(P(e), V{});
  EXPECT_FALSE(adds(QrcIntSetVar(set(0, 4, {}, {2})) == QrcIntSet(mgr, 1, 0, 1)));
  EXPECT_FALSE(adds(QrcIntSetVar(set(0, 4, {0, 1})) == cst({1, 2})));
  EXPECT_FALSE(adds(QrcIntSetVar(set(0, 4)) == cst({1, 7})));

  EXPECT_FALSE(adds(QrcIntSetVar(set(0, 3, {1, 2}, {1, 2})) != cst({1, 2})));
  EXPECT_TRUE(adds(QrcIntSetVar(set(0, 3, {1, 3}, {1, 3})) != cst({1, 2})));
  // The last undecided value: taken when s = R(s) would be c, left when s = P(s) would.
  QrcIntSetVarI* t = set(0, 3, {1, 2}, {1});
  ASSERT_TRUE(adds(QrcIntSetVar(t) != cst({1})));
  EXPECT_EQ(R(t), (V{1, 2}));
  QrcIntSetVarI* u = set(0, 3, {1, 2}, {1});
  ASSERT_TRUE(adds(QrcIntSetVar(u) != cst({1, 2})));
  EXPECT_EQ(P(u), (V{1}));
  // |c| below |R(s)| or above |P(s)|: nothing.
  QrcIntSetVarI* w = set(0, 3, {1, 2, 3}, {1, 2});
  ASSERT_TRUE(adds(QrcIntSetVar(w) != cst({1})));
  ASSERT_TRUE(adds(QrcIntSetVar(w) != cst({0, 1, 2, 3})));
  EXPECT_EQ(P(w), (V{1, 2, 3}));
  EXPECT_EQ(R(w), (V{1, 2}));
}

// ---------------------------------------------------------------- subsets

TEST_F(SetRelTest, SubsetRemovesAndLinksTheCardinalities) {
  QrcIntSetVarI* a = set(1, 4, {1, 2, 3});
  QrcIntSetVarI* b = set(1, 4, {2, 3});
  ASSERT_TRUE(adds(QrcSubsetEq(a, b)));
  EXPECT_EQ(P(a), (V{2, 3}));
  EXPECT_EQ(a->getCardinality()->getMax(), 2);
  a->addRequired(2);
  EXPECT_EQ(R(b), (V{2}));
  EXPECT_EQ(demons(a), "QrcSubSetEqaDemon");
  EXPECT_EQ(demons(b), "QrcSubSetEqbDemon");

  // card(a) >= 2 with P(b) = {2, 3}: the sizes are forced equal, and what b
  // requires a requires too.
  QrcIntSetVarI* c = set(0, 5);
  QrcIntSetVarI* d = set(0, 5, {2, 3, 4});
  ASSERT_TRUE(adds(QrcSubsetEq(c, d)));
  c->getCardinality()->setMin(2);
  EXPECT_EQ(d->getCardinality()->getMin(), 2);
  d->removePossible(4);
  EXPECT_EQ(R(c), (V{2, 3}));
  QrcIntSetVarI* e = set(0, 5, {}, {});
  QrcIntSetVarI* f = set(0, 5, {1, 2, 3});
  ASSERT_TRUE(adds(QrcSubsetEq(e, f)));
  e->getCardinality()->setMin(3);
  EXPECT_EQ(R(e), (V{1, 2, 3}));
  EXPECT_EQ(R(f), (V{1, 2, 3}));
  QrcIntSetVarI* g = set(0, 5, {1, 2, 3});
  QrcIntSetVarI* h = set(0, 5, {2, 3, 4});
  ASSERT_TRUE(adds(QrcSubsetEq(g, h)));
  ASSERT_TRUE(holds([&] { h->getCardinality()->setMax(2); }));
  ASSERT_TRUE(holds([&] { g->getCardinality()->setMin(2); }));
  // Forced equal: what b requires and what a loses follow.
  h->addRequired(3);
  EXPECT_EQ(R(g), (V{2, 3}));
  EXPECT_EQ(P(h), (V{2, 3}));

  QrcIntSetVarI* x = set(0, 6, {1, 5});
  ASSERT_TRUE(adds(QrcSubsetEq(x, set(0, 6, {1, 2}))));
  EXPECT_FALSE(holds([&] { x->addRequired(5); }));
}

TEST_F(SetRelTest, ConstantSubsetsAndStrictSubsets) {
  QrcIntSetVarI* s = set(0, 5);
  ASSERT_TRUE(adds(QrcSubsetEq(cst({1, 4}), s)));
  EXPECT_EQ(R(s), (V{1, 4}));
  ASSERT_TRUE(adds(QrcSubsetEq(s, cst({1, 2, 4, 9}))));
  EXPECT_EQ(P(s), (V{1, 2, 4}));
  EXPECT_EQ(s->getSetHandler()->getNbDemons(), 0);
  EXPECT_FALSE(adds(QrcSubsetEq(cst({1, 8}), set(0, 5))));
  EXPECT_FALSE(adds(QrcSubsetEq(set(0, 5, {}, {3}), cst({1, 2}))));

  // |c| = 3 and R(s) = {1, 2, 3}: card(s) < 3 cannot hold.
  EXPECT_FALSE(adds(QrcSubset(set(0, 5, {}, {1, 2, 3}), cst({1, 2, 3}))));
  QrcIntSetVarI* t = set(0, 5, {1, 2, 3});
  ASSERT_TRUE(adds(QrcSubset(cst({1, 2}), t)));
  EXPECT_EQ(t->getCardinality()->getMin(), 3);
  EXPECT_EQ(R(t), (V{1, 2, 3}));
  QrcIntSetVarI* a = set(0, 3, {1, 2});
  QrcIntSetVarI* b = set(0, 3, {1, 2});
  ASSERT_TRUE(adds(QrcSubset(a, b)));
  EXPECT_EQ(a->getCardinality()->getMax(), 1);
  EXPECT_EQ(b->getCardinality()->getMin(), 1);
}

TEST_F(SetRelTest, NegatedSubsetsOnlyCheck) {
  // a not a subset of b: P(a) = {1}, R(b) = {1} fails at post.
  EXPECT_FALSE(adds(QrcSubsetEq(set(0, 3, {1}), set(0, 3, {}, {1})).getOpposite()));
  QrcIntSetVarI* a = set(0, 3, {1, 2});
  QrcIntSetVarI* b = set(0, 3, {}, {1});
  ASSERT_TRUE(adds(QrcSubsetEq(a, b).getOpposite()));
  EXPECT_EQ(P(a), (V{1, 2}));
  EXPECT_EQ(P(b), (V{0, 1, 2, 3}));
  EXPECT_FALSE(holds([&] { a->removePossible(2); }));
  QrcIntSetVarI* c = set(0, 3, {1, 2});
  QrcIntSetVarI* d = set(0, 3, {}, {1});
  ASSERT_TRUE(adds(QrcSubsetEq(c, d).getOpposite()));
  EXPECT_FALSE(holds([&] { d->addRequired(2); }));
  // An empty P(a), c or P(s) makes the negation false.
  QrcIntSetVarI* empty = set(0, 3, {});
  empty->getCardinality()->setMax(0);
  EXPECT_TRUE(QrcSubsetEq(empty, set(0, 3)).getOpposite().getImpl()->isFalse());
  EXPECT_TRUE(QrcSubsetEq(QrcIntSet(mgr, 1, 0, 1), set(0, 3)).getOpposite().getImpl()->isFalse());
  EXPECT_TRUE(QrcSubsetEq(empty, cst({2})).getOpposite().getImpl()->isFalse());
  EXPECT_FALSE(adds(QrcSubsetEq(QrcIntSet(mgr, 1, 0, 1), set(0, 3)).getOpposite()));
  // c not a subset of s fails once s requires all of c; s not a subset of c
  // once P(s) lies inside c.
  QrcIntSetVarI* s = set(0, 3);
  ASSERT_TRUE(adds(QrcSubsetEq(cst({1, 2}), s).getOpposite()));
  s->addRequired(1);
  EXPECT_FALSE(holds([&] { s->addRequired(2); }));
  QrcIntSetVarI* u = set(0, 3, {1, 2, 3});
  ASSERT_TRUE(adds(QrcSubsetEq(u, cst({1, 2})).getOpposite()));
  EXPECT_FALSE(holds([&] { u->removePossible(3); }));
}

// ---------------------------------------------------------------- membership

TEST_F(SetRelTest, MembershipOfAnExpression) {
  QrcIntExpI* x = var(1, 5);
  QrcIntSetVarI* s = set(0, 6, {2, 4});
  ASSERT_TRUE(adds(QrcMember(x, s)));
  EXPECT_EQ(dom(x), (V{2, 4}));
  EXPECT_GE(s->getCardinality()->getMin(), 1);
  x->setValue(4);
  EXPECT_EQ(R(s), (V{4}));
  EXPECT_EQ(demons(s), "QrcMemberCtDemon");
  // Values leaving P(s) leave x.
  QrcIntExpI* y = var(0, 6);
  QrcIntSetVarI* t = set(0, 6);
  ASSERT_TRUE(adds(QrcMember(y, t)));
  t->removePossible(3);
  t->removePossible(0);
  EXPECT_EQ(dom(y), (V{1, 2, 4, 5, 6}));
  EXPECT_FALSE(adds(QrcMember(var(3, 3), set(0, 6, {2, 4}))));
  // An expression: y + 10 over [10, 16].
  QrcIntExpI* z = var(0, 6);
  QrcIntSetVarI* u = set(10, 20, {12, 13});
  ASSERT_TRUE(adds(QrcMember(QrcIntExp(z) + 10, u)));
  EXPECT_EQ(dom(z), (V{2, 3}));
  z->setValue(3);
  EXPECT_EQ(R(u), (V{13}));
}

TEST_F(SetRelTest, NonMembershipOfAnExpression) {
  QrcIntExpI* x = var(1, 3);
  QrcIntSetVarI* s = set(0, 4, {}, {1, 2});
  ASSERT_TRUE(adds(QrcNotMember(x, s)));
  EXPECT_TRUE(x->isBound());
  EXPECT_EQ(x->getValue(), 3);
  EXPECT_EQ(P(s), (V{0, 1, 2, 4}));
  QrcIntExpI* y = var(0, 4);
  QrcIntSetVarI* t = set(0, 4);
  ASSERT_TRUE(adds(QrcNotMember(y, t)));
  t->addRequired(2);
  EXPECT_EQ(dom(y), (V{0, 1, 3, 4}));
  EXPECT_EQ(demons(t), "QrcNotMemberCtDemon");
  y->setValue(4);
  EXPECT_EQ(P(t), (V{0, 1, 2, 3}));
}

// The cost does not follow a domain of width 10^8.
TEST_F(SetRelTest, WideDomains) {
  const QrcInt wide = 100000000;
  QrcIntExpI* x = var(-wide, wide);
  QrcIntSetVarI* s = set(0, 3, {1, 3});
  ASSERT_TRUE(adds(QrcMember(x, s)));
  EXPECT_EQ(dom(x), (V{1, 3}));
  QrcIntExpI* z = var(-wide, wide);
  QrcIntSetVarI* u = set(0, 3, {}, {1});
  QrcConstraint out = QrcNotMember(z, u);
  EXPECT_FALSE(out.getImpl()->isFalse());
  EXPECT_FALSE(QrcMember(z, u).getImpl()->isFalse());
  ASSERT_TRUE(adds(out));
  EXPECT_FALSE(z->isInDomain(1));
  EXPECT_EQ(z->getSize(), 2 * wide);
}

// x in s walks the values possible in s and the gaps between them, not the
// width of x: the domain ends with two holes.
TEST_F(SetRelTest, MembershipWalksThePossibleValues) {
  const QrcInt n = 1000000000;
  QrcIntSetVarI* s = QrcIntSetVar(mgr, ints({-n, 0, n})).getImpl();
  QrcIntExpI* x = var(-n, n);
  ASSERT_TRUE(adds(QrcMember(x, s)));
  EXPECT_EQ(dom(x), (V{-n, 0, n}));
  // An expression becomes a variable over the possible values.
  QrcIntExpI* u = var(-n, n);
  QrcIntExp e = QrcIntExp(u) + QrcIntExp(var(0, 1));
  ASSERT_TRUE(adds(QrcMember(e, s)));
  EXPECT_TRUE(e.getImpl()->isVariable());
  EXPECT_EQ(dom(e.getImpl()), (V{-n, 0, n}));
  // Values leaving P(s) leave x.
  s->removePossible(0);
  EXPECT_EQ(dom(x), (V{-n, n}));
  EXPECT_EQ(dom(e.getImpl()), (V{-n, n}));
}

TEST_F(SetRelTest, MembershipOfAValue) {
  QrcIntSetVarI* s = set(0, 5);
  ASSERT_TRUE(adds(QrcMember(3, s)));
  EXPECT_EQ(R(s), (V{3}));
  // Already required: no cardinality constraint, nothing attached.
  QrcInt before = m->getConstraintCount();
  QrcInt demonsBefore = s->getSetHandler()->getNbDemons();
  ASSERT_TRUE(adds(QrcMember(3, s)));
  EXPECT_EQ(m->getConstraintCount(), before + 1);
  EXPECT_EQ(s->getSetHandler()->getNbDemons(), demonsBefore);
  EXPECT_FALSE(adds(QrcMember(7, set(0, 5))));
  // Not member: fails on a required value, attaches nothing once removed.
  EXPECT_FALSE(adds(QrcNotMember(3, set(0, 5, {}, {3}))));
  QrcIntSetVarI* t = set(0, 5);
  ASSERT_TRUE(adds(QrcNotMember(3, t)));
  EXPECT_EQ(P(t), (V{0, 1, 2, 4, 5}));
  EXPECT_EQ(t->getSetHandler()->getNbDemons(), 0);
  ASSERT_TRUE(adds(QrcNotMember(9, t)));
}

// ---------------------------------------------------------------- overlap and disjointness

TEST_F(SetRelTest, DisjointnessAndOverlap) {
  QrcIntSetVarI* a = set(0, 4, {}, {1});
  QrcIntSetVarI* b = set(0, 4, {1, 2});
  ASSERT_TRUE(adds(QrcNullIntersect(a, b)));
  EXPECT_EQ(P(b), (V{2}));
  a->addRequired(3);
  b->getCardinality()->setMax(1);
  QrcIntSetVarI* c = set(0, 4, {}, {1});
  QrcIntSetVarI* d = set(0, 4, {1, 2});
  ASSERT_TRUE(adds(QrcNullIntersect(c, d)));
  c->addRequired(2);
  EXPECT_EQ(P(d), V{});
  EXPECT_EQ(demons(c), "QrcNullIntersectCtDemon");

  // Overlap: one shared value left is required in both; none fails; two: nothing.
  QrcIntSetVarI* e = set(0, 4, {1, 2});
  QrcIntSetVarI* f = set(0, 4, {2, 3});
  ASSERT_TRUE(adds(QrcNullIntersect(e, f).getOpposite()));
  EXPECT_EQ(R(e), (V{2}));
  EXPECT_EQ(R(f), (V{2}));
  EXPECT_FALSE(adds(QrcNullIntersect(set(0, 4, {1, 2}), set(0, 4, {3, 4})).getOpposite()));
  QrcIntSetVarI* g = set(0, 4, {1, 2, 3});
  QrcIntSetVarI* h = set(0, 4, {2, 3});
  ASSERT_TRUE(adds(QrcNullIntersect(g, h).getOpposite()));
  EXPECT_EQ(R(g), V{});
  h->removePossible(3);
  EXPECT_EQ(R(g), (V{2}));

  // With a constant.
  QrcIntSetVarI* s = set(0, 6, {1, 5});
  ASSERT_TRUE(adds(QrcNullIntersect(s, cst({5, 6})).getOpposite()));
  EXPECT_EQ(R(s), (V{5}));
  QrcIntSetVarI* t = set(0, 6);
  ASSERT_TRUE(adds(QrcNullIntersect(t, cst({0, 5, 9}))));
  EXPECT_EQ(P(t), (V{1, 2, 3, 4, 6}));
  EXPECT_EQ(t->getSetHandler()->getNbDemons(), 0);
  EXPECT_FALSE(adds(QrcNullIntersect(set(0, 6, {}, {5}), cst({5}))));
  EXPECT_FALSE(adds(QrcNullIntersect(set(0, 6, {1, 2}), cst({5})).getOpposite()));
}

TEST_F(SetRelTest, DemonsPrintTheirNames) {
  QrcIntSetVarI* a = set(0, 3);
  QrcIntSetVarI* b = set(0, 3);
  ASSERT_TRUE(adds(QrcSubsetEq(a, b)));
  auto* card = a->getCardinality()->getIntHandler();
  EXPECT_EQ(names(card->getRangeDemons()), "QrcCardTouchDemon QrcSubSetEqCardDemon");
  EXPECT_EQ(names(card->getRangeDemons(), true), "QrcCardTouchDemonI QrcSubSetEqCardDemonI");
  EXPECT_EQ(names(a->getSetHandler()->getDomainDemons(), true), "QrcSubSetEqaDemonI");
  QrcIntExpI* x = var(0, 3);
  QrcIntExpI* y = var(0, 3);
  ASSERT_TRUE(adds(QrcMember(x, a)));
  ASSERT_TRUE(adds(QrcNotMember(y, a)));
  EXPECT_EQ(names(x->getIntHandler()->getValueDemons()), "QrcMemberCtVarDemon");
  EXPECT_EQ(names(y->getIntHandler()->getValueDemons(), true), "QrcNotMemberCtVarDemonI");
  ASSERT_TRUE(adds(QrcIntSetVar(a) == QrcIntSetVar(b)));
  ASSERT_TRUE(adds(QrcNullIntersect(a, set(0, 3))));
  EXPECT_EQ(names(a->getSetHandler()->getDomainDemons(), true),
            "QrcSubSetEqaDemonI QrcMemberCtDemonI QrcNotMemberCtDemonI QrcEqSetCtDemonI "
            "QrcNullIntersectCtDemonI");
}

// ---------------------------------------------------------------- creation, printing, managers

TEST_F(SetRelTest, OneVariableOnBothSidesMakesNoRelation) {
  QrcIntSetVar a(set(0, 3));
  QrcConstraintI* t = m->getTrueConstraint();
  QrcConstraintI* f = m->getFalseConstraint();
  EXPECT_EQ((a == a).getImpl(), t);
  EXPECT_EQ(QrcSubsetEq(a, a).getImpl(), t);
  EXPECT_EQ((a != a).getImpl(), f);
  EXPECT_EQ(QrcSubset(a, a).getImpl(), f);
  QrcConstraintI* empty = QrcNullIntersect(a, a).getImpl();
  EXPECT_EQ(empty->getClassName(), std::string("QrcEqCstConstraint"));
  a.getImpl()->addRequired(0);
  EXPECT_FALSE(adds(empty));
  QrcIntSetVarI* b = set(0, 3, {1, 2});
  ASSERT_TRUE(adds(QrcNullIntersect(b, b)));
  EXPECT_EQ(P(b), V{});
}

TEST_F(SetRelTest, PrintedFormsOpposites) {
  QrcIntSetVarI* s = set(3, 5, {}, {}, "s");
  EXPECT_EQ(text(QrcNotMember(4, s)), "(4 not in s[ ?3 ?4 ?5] ([0..3])) ");
  EXPECT_EQ(text(QrcMember(4, s)), "(4 in s[ ?3 ?4 ?5] ([0..3])) ");
  QrcIntExpI* x = var(0, 2, "x");
  EXPECT_EQ(text(QrcMember(x, s)), "(x[0..2] in s[ ?3 ?4 ?5] ([0..3])) ");
  EXPECT_EQ(text(QrcNotMember(x, s)), "(x[0..2] not in s[ ?3 ?4 ?5] ([0..3])) ");
  QrcIntSetVarI* a = set(1, 2, {}, {}, "a");
  QrcIntSetVarI* b = set(1, 2, {}, {}, "b");
  EXPECT_EQ(text(QrcSubsetEq(a, b)), "QrcSubSetEq(a[ ?1 ?2] ([0..2]), b[ ?1 ?2] ([0..2]))");
  QrcConstraint named = QrcSubsetEq(b, a);
  named.getImpl()->setName("inside");
  EXPECT_EQ(text(named), "inside");
  EXPECT_EQ(text(QrcIntSetVar(a) == QrcIntSetVar(b)), "a[ ?1 ?2] ([0..2]) == b[ ?1 ?2] ([0..2])");
  EXPECT_EQ(text(QrcIntSetVar(a) != QrcIntSetVar(b)), "a[ ?1 ?2] ([0..2]) != b[ ?1 ?2] ([0..2])");
  EXPECT_EQ(text(QrcNullIntersect(a, b)), "");
  // Each relation's opposite is its negation, and the opposite's opposite the relation.
  struct Row {
    QrcConstraint ct;
    const char* cls;
    const char* opposite;
  } rows[] = {
      {QrcIntSetVar(a) == QrcIntSetVar(b), "QrcEqSetCtI", "QrcNeqSetCtI"},
      {QrcIntSetVar(a) == cst({1}), "QrcEqSetCtCstI", "QrcNeqSetCtCstI"},
      {QrcSubsetEq(a, b), "QrcSubSetEqCtI", "QrcNotSubSetEqCtI"},
      {QrcSubsetEq(cst({1}), a), "QrcSubSetEqCtC2VI", "QrcNotSubSetEqCtC2VI"},
      {QrcSubsetEq(a, cst({1})), "QrcSubSetEqCtV2CI", "QrcNotSubSetEqCtV2CI"},
      {QrcMember(x, a), "QrcMemberCtI", "QrcNotMemberCtI"},
      {QrcMember(1, a), "QrcMemberCtCstI", "QrcNotMemberCtCstI"},
      {QrcNullIntersect(a, b), "QrcNullIntersectCtI", "QrcOverlapCtI"},
      {QrcNullIntersect(a, cst({1})), "QrcNullIntersectCtCstI", "QrcOverlapCtCstI"},
  };
  for (const Row& r : rows) {
    QrcConstraintI* o = r.ct.getImpl()->getOpposite();
    EXPECT_EQ(r.ct.getImpl()->getClassName(), std::string(r.cls));
    EXPECT_EQ(o->getClassName(), std::string(r.opposite));
    QrcConstraintI* fresh = o->makeOpposite();
    EXPECT_EQ(fresh->getClassName(), std::string(r.cls));
    EXPECT_EQ(ctest::show(fresh), ctest::show(r.ct.getImpl()));
  }
}

// The truth of a relation follows the set variables' changes: equal to a 0-1
// variable, it is bound once they decide the relation.
TEST_F(SetRelTest, TruthFollowsTheSetVariables) {
  QrcIntSetVar a(set(0, 2)), b(set(0, 2));
  QrcIntVar neq(mgr, 0, 1), eq(mgr, 0, 1), member(mgr, 0, 1), subset(mgr, 0, 1);
  m->add((QrcIntExp(neq) == QrcIntExp(a != b)).getImpl());
  m->add((QrcIntExp(eq) == QrcIntExp(a == b)).getImpl());
  m->add((QrcIntExp(member) == QrcIntExp(QrcMember(1, a))).getImpl());
  m->add((QrcIntExp(subset) == QrcIntExp(QrcSubsetEq(a, b))).getImpl());
  a.getImpl()->addRequired(1);
  EXPECT_EQ(dom(member.getImpl()), (V{1}));
  for (QrcInt v = 0; v <= 2; ++v) b.getImpl()->removePossible(v);
  EXPECT_EQ(dom(subset.getImpl()), (V{0}));
  a.getImpl()->removePossible(0);
  a.getImpl()->removePossible(2);
  EXPECT_EQ(dom(neq.getImpl()), (V{1}));
  EXPECT_EQ(dom(eq.getImpl()), (V{0}));
}

// The same model in both manager modes (in edit mode the relations are filed
// and posted by the search) has the brute-force count of solutions.
TEST(SetRelModes, ModelsCountTheSameSolutionsInBothManagerModes) {
  // a subset of b, x in b, y == (a and {1} disjoint), b != {0, 1, 2}, 2 not in a.
  int expected = 0;
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b)
      for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y)
          expected +=
              (a & ~b) == 0 && x < 3 && ((b >> x) & 1) && y == ((a & 2) == 0) && b != 7 && !(a & 4);
  for (QrcManagerTag mode : {QrcNoEdit, QrcEdit}) {
    QrcManager mgr(mode);
    QrcManagerI* m = mgr.getImpl();
    QrcIntSetVarArray sets(mgr, 2);
    QrcIntSetVar a(mgr, 0, 2), b(mgr, 0, 2);
    sets.getImpl()->elementAt(0) = a.getImpl();
    sets.getImpl()->elementAt(1) = b.getImpl();
    QrcIntVar x(mgr, 0, 3), y(mgr, 0, 1);
    QrcIntVarArray ints(mgr, 2);
    ints.set(0, x);
    ints.set(1, y);
    QrcInt one = 1, all[] = {0, 1, 2};
    m->add(QrcSubsetEq(a, b).getImpl());
    m->add(QrcMember(x, b).getImpl());
    m->add((y == QrcIntExp(QrcNullIntersect(a, QrcIntSet(mgr, QrcIntArray(mgr, 1, &one), 1))))
               .getImpl());
    m->add((b != QrcIntSet(mgr, QrcIntArray(mgr, 3, all), 1)).getImpl());
    m->add(QrcNotMember(2, a).getImpl());
    QrcSearch search(mgr, QrcAnd(QrcGenerate(sets), QrcGenerate(ints)));
    int found = 0;
    while (search.next()) ++found;
    search.end();
    EXPECT_EQ(found, expected) << (mode == QrcEdit ? "edit" : "no edit");
    mgr.end();
  }
}

// A constant set of another manager (copies share their constant sets): the
// relation belongs to the set variable's manager, so that its state is undone
// with that manager's search.
TEST_F(SetRelTest, ConstantOfAnotherManagerFollowsTheSearch) {
  QrcManager other(QrcNoEdit);
  QrcInt values[] = {1, 2};
  QrcIntSet c(other, QrcIntArray(other, 2, values), 1);
  for (int form = 0; form < 2; ++form) {
    QrcIntSetVarI* s = set(0, 3, {}, form == 0 ? V{} : V{1, 2});
    QrcConstraint ct = form == 0 ? QrcSubsetEq(c, s) : QrcSubsetEq(c, s).getOpposite();
    EXPECT_EQ(ct.getImpl()->getManager(), m);
    // The first branch posts the relation and fails; the second posts it again.
    QrcSearch search(mgr, QrcOr(QrcAnd(QrcGoal(ct), QrcGoalFail(mgr)), QrcGoal(ct)));
    if (form == 0) {
      ASSERT_TRUE(search.next());
      EXPECT_EQ(R(s), (V{1, 2}));
    } else {
      EXPECT_FALSE(search.next());
    }
    search.end();
  }
  other.end();
}

TEST_F(SetRelTest, EmptyHandlesStopWithCode39) {
  QrcIntSetVar a(set(0, 3));
  EXPECT_DEATH(QrcSubsetEq(QrcIntSetVar(), a), "Solver Error : empty handle : QrcSubsetEq");
  EXPECT_DEATH(QrcSubsetEq(a, QrcIntSet()), "empty handle : QrcSubsetEq");
  EXPECT_DEATH(QrcIntSetVar() == a, "empty handle : operator==");
  EXPECT_DEATH(a != QrcIntSet(), "empty handle : operator!=");
  EXPECT_DEATH(QrcSubset(a, QrcIntSetVar()), "empty handle : QrcSubset");
  EXPECT_DEATH(QrcMember(QrcIntExp(), a), "empty handle : QrcMember");
  EXPECT_DEATH(QrcNotMember(2, QrcIntSetVar()), "empty handle : QrcNotMember");
  EXPECT_DEATH(QrcNullIntersect(a, QrcIntSet()), "empty handle : QrcNullIntersect");
}

}  // namespace
