// Intersection, union, array union, partition, pairwise disjointness and the
// disjoint union: fixed cases of their rules, the creation functions'
// simplifications, filter levels and their errors, copies and empty handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>

#include "constraints/int/constraint_fixtures.h"
#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcsearch.h"
#include "qrcsetcomposition.h"

namespace {

using ctest::V;

class SetCompTest : public ctest::ConstraintTest {
 protected:
  // A variable over [lo, hi] with P and R narrowed to the given values
  // (an empty possible list keeps the universe).
  QrcIntSetVarI* set(QrcInt lo, QrcInt hi, V possible = {}, V required = {}) {
    QrcIntSetVarI* s = new (m) QrcIntSetVarI(m, lo, hi, nullptr);
    if (!possible.empty())
      for (QrcInt v = lo; v <= hi; ++v)
        if (std::find(possible.begin(), possible.end(), v) == possible.end()) s->removePossible(v);
    for (QrcInt v : required) s->addRequired(v);
    return s;
  }
  QrcIntSetVarArray array(std::vector<QrcIntSetVarI*> xs) {
    if (xs.empty()) return QrcIntSetVarArray(new (m) QrcIntSetVarArrayI(m, 0, nullptr));
    QrcIntSetVarArray a(mgr, static_cast<QrcInt>(xs.size()));
    for (size_t i = 0; i < xs.size(); ++i) a.getImpl()->elementAt(static_cast<QrcInt>(i)) = xs[i];
    return a;
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
  static QrcIntExpI* card(QrcIntSetVarI* s) { return s->getCardinality(); }
  // Display names of the demons on the domain of s, oldest first.
  static std::string demons(QrcIntSetVarI* s) {
    std::string out;
    for (auto* c = s->getSetHandler()->getDomainDemons().getHead(); c; c = c->next)
      out = ctest::show(c->item) + (out.empty() ? "" : " ") + out;
    return out;
  }
  // A constraint as the relations it is made of, the variables as their
  // letters: "eq(a,s)", "sub(b,a)", "and(...)", "union(a,b,s,i)".
  std::string shape(QrcConstraintI* ct, std::map<QrcIntSetVarI*, char>& names) {
    std::string cls = ct->getClassName();
    auto n = [&](QrcIntSetVarI* x) { return std::string(1, names[x]); };
    if (cls == "QrcBoolAndExpI") {
      auto* both = static_cast<QrcBoolAndExpI*>(ct);
      return "and(" + shape(both->getFirst(), names) + "," + shape(both->getSecond(), names) + ")";
    }
    if (cls == "QrcEqSetCtI" || cls == "QrcSubSetEqCtI") {
      auto* pair = static_cast<QrcSetPairCtI*>(ct);
      return (cls == "QrcEqSetCtI" ? "eq(" : "sub(") + n(pair->getA()) + "," + n(pair->getB()) +
             ")";
    }
    return cls;
  }
};

// ---------------------------------------------------------------- creation

TEST_F(SetCompTest, SameOperandsGiveTheSimplerRelations) {
  QrcIntSetVarI* s = set(0, 3);
  QrcIntSetVarI* a = set(0, 3);
  QrcIntSetVarI* b = set(0, 3);
  std::map<QrcIntSetVarI*, char> names = {{s, 's'}, {a, 'a'}, {b, 'b'}};
  struct Row {
    QrcConstraint ct;
    const char* shape;
  } rows[] = {
      {QrcEqIntersection(s, a, a), "eq(s,a)"},
      {QrcEqIntersection(a, a, b), "sub(a,b)"},
      {QrcEqIntersection(b, a, b), "sub(b,a)"},
      {QrcEqUnion(s, a, a), "eq(a,s)"},
      {QrcEqUnion(a, a, b), "sub(b,a)"},
      {QrcEqUnion(b, a, b), "sub(a,b)"},
      {QrcEqIntersection(s, a, b), "QrcEqIntersectCtI"},
      {QrcEqUnion(s, a, b), "QrcEqUnionCtI"},
  };
  for (const Row& r : rows) EXPECT_EQ(shape(r.ct.getImpl(), names), r.shape);
  EXPECT_EQ(QrcEqIntersection(a, a, a).getImpl(), m->getTrueConstraint());
}

TEST_F(SetCompTest, FourArgumentUnionGivesTheRelationOfItsCoincidingOperands) {
  QrcIntSetVarI* v[4] = {set(0, 3), set(0, 3), set(0, 3), set(0, 3)};
  std::map<QrcIntSetVarI*, char> names = {{v[0], 's'}, {v[1], 'a'}, {v[2], 'b'}, {v[3], 'i'}};
  // Operands (s, a, b, i) as indexes into v, and the constraint expected.
  struct Row {
    int s, a, b, i;
    const char* shape;
  } rows[] = {
      {0, 1, 1, 0, "eq(a,s)"},                // a is b, s is i
      {1, 1, 1, 3, "eq(a,i)"},                // a is b, a is s
      {0, 1, 1, 1, "eq(a,s)"},                // a is b, a is i
      {0, 1, 1, 3, "and(eq(a,s),eq(a,i))"},   // a is b
      {1, 1, 2, 1, "eq(a,b)"},                // s is i, s is a
      {2, 1, 2, 2, "eq(a,b)"},                // s is i, s is b
      {0, 1, 2, 0, "and(eq(a,b),eq(s,a))"},   // s is i
      {1, 1, 2, 2, "sub(b,a)"},               // a is s, b is i
      {1, 1, 2, 3, "and(sub(b,a),eq(b,i))"},  // a is s
      {2, 1, 2, 1, "sub(a,b)"},               // b is s, a is i
      {2, 1, 2, 3, "and(sub(a,b),eq(a,i))"},  // b is s
      {0, 1, 2, 1, "and(sub(a,b),eq(b,s))"},  // a is i
      {0, 1, 2, 2, "and(sub(b,a),eq(a,s))"},  // b is i
      {0, 1, 2, 3, "QrcEqUnionCtI"},          // all different
  };
  for (const Row& r : rows) {
    QrcConstraint ct = QrcEqUnion(v[r.s], v[r.a], v[r.b], v[r.i]);
    EXPECT_EQ(shape(ct.getImpl(), names), r.shape) << r.s << r.a << r.b << r.i;
  }
  auto* u = static_cast<QrcEqUnionCtI*>(QrcEqUnion(v[0], v[1], v[2], v[3]).getImpl());
  EXPECT_EQ(u->getFilterLevel(), QrcFullFilterLevel);
  EXPECT_EQ(u->getIntersection(), v[3]);
}

// ---------------------------------------------------------------- intersection

TEST_F(SetCompTest, IntersectionKeepsTheCommonValuesAndFollowsChanges) {
  QrcIntSetVarI* a = set(0, 5, {1, 2});
  QrcIntSetVarI* b = set(0, 5, {2, 3});
  QrcIntSetVarI* s = set(0, 5, {1, 2, 3, 4});
  ASSERT_TRUE(adds(QrcEqIntersection(s, a, b)));
  EXPECT_EQ(P(s), V{2});
  s->addRequired(2);
  EXPECT_EQ(R(a), V{2});
  EXPECT_EQ(R(b), V{2});
  EXPECT_EQ(demons(s), "QrcEqIntersectInterDemon");
  EXPECT_EQ(demons(a), "QrcEqIntersectVarDemon");

  // Required in both becomes required in s; required in one and out of s
  // leaves the other.
  QrcIntSetVarI* c = set(0, 5);
  QrcIntSetVarI* d = set(0, 5, {}, {4});
  QrcIntSetVarI* t = set(0, 5);
  ASSERT_TRUE(adds(QrcEqIntersection(t, c, d)));
  c->addRequired(4);
  EXPECT_EQ(R(t), V{4});
  c->addRequired(1);
  t->removePossible(1);
  EXPECT_EQ(P(d), (V{0, 2, 3, 4, 5}));
  card(c)->setMax(2);
  EXPECT_EQ(P(t), V{4});
  // The sizes of a and b bound that of s.
  QrcIntSetVarI* e = set(0, 5);
  QrcIntSetVarI* f = set(0, 5);
  QrcIntSetVarI* g = set(0, 5);
  ASSERT_TRUE(adds(QrcEqIntersection(g, e, f)));
  card(f)->setMax(2);
  EXPECT_EQ(card(g)->getMax(), 2);
}

TEST_F(SetCompTest, IntersectionFalsityAndPrintedForm) {
  QrcIntSetVarI* a = set(0, 3, {}, {1});
  QrcIntSetVarI* b = set(0, 3, {}, {1});
  QrcIntSetVarI* s = set(0, 3, {0, 2, 3});
  QrcConstraint ct = QrcEqIntersection(s, a, b);
  EXPECT_TRUE(ct.getImpl()->isFalse());
  EXPECT_FALSE(QrcEqIntersection(set(0, 3), a, b).getImpl()->isFalse());
  std::ostringstream expected;
  expected << "QrcEqIntersect(" << static_cast<const void*>(ct.getImpl()) << ") "
           << static_cast<const void*>(s) << " = " << static_cast<const void*>(a) << " intersect "
           << static_cast<const void*>(b) << "\n";
  EXPECT_EQ(ctest::show(ct.getImpl()), expected.str());
  ct.getImpl()->setName("meet");
  EXPECT_EQ(ctest::show(ct.getImpl()), "meet");
}

// ---------------------------------------------------------------- union

TEST_F(SetCompTest, UnionKeepsTheValuesOfEitherAndFollowsChanges) {
  QrcIntSetVarI* a = set(0, 5, {1, 2});
  QrcIntSetVarI* b = set(0, 5, {2, 3});
  QrcIntSetVarI* s = set(0, 5, {1, 2, 3, 4});
  ASSERT_TRUE(adds(QrcEqUnion(s, a, b)));
  EXPECT_EQ(P(s), (V{1, 2, 3}));
  s->addRequired(3);
  EXPECT_EQ(R(b), V{3});
  EXPECT_FALSE(holds([&] { s->addRequired(4); }));
  EXPECT_EQ(demons(s), "QrcEqUnionUnionDemon");
  EXPECT_EQ(demons(b), "QrcEqUnionVarDemon");
  // A value required in s that one operand loses is required in the other.
  s->addRequired(2);
  a->removePossible(2);
  EXPECT_EQ(R(b), (V{2, 3}));
  a->addRequired(1);
  EXPECT_EQ(R(s), (V{1, 2, 3}));
  EXPECT_TRUE(QrcEqUnion(set(0, 3, {1}), set(0, 3, {}, {2}), set(0, 3)).getImpl()->isFalse());
}

TEST_F(SetCompTest, UnionLevelsLinkTheCardinalities) {
  for (QrcInt level : {0, 1, 2, 3}) {
    m->pushState();
    // At most one value each: s has at most two.
    QrcIntSetVarI* a = set(0, 3);
    QrcIntSetVarI* b = set(0, 3);
    QrcIntSetVarI* s = set(0, 3);
    card(a)->setMax(1);
    card(b)->setMax(1);
    QrcConstraintI* ct = QrcEqUnion(s, a, b).getImpl();
    ct->setFilterLevel(level);
    ASSERT_TRUE(adds(ct));
    EXPECT_EQ(card(s)->getMax(), 2) << level;
    // Two values each: from level 2 s has at least two.
    QrcIntSetVarI* c = set(0, 3);
    QrcIntSetVarI* d = set(0, 3);
    QrcIntSetVarI* t = set(0, 3);
    card(c)->setValue(2);
    card(d)->setValue(2);
    auto* u = static_cast<QrcEqUnionCtI*>(QrcEqUnion(t, c, d).getImpl());
    u->setFilterLevel(level);
    ASSERT_TRUE(adds(u));
    EXPECT_EQ(card(t)->getMin(), level >= 2 ? 2 : 0) << level;
    EXPECT_EQ(u->getIntersection() != nullptr, level >= 2);
    if (level >= 2) {
      EXPECT_EQ(P(u->getIntersection()), (V{0, 1, 2, 3}));
      EXPECT_EQ(R(u->getIntersection()), V{});
      c->addRequired(0);
      d->addRequired(0);
      EXPECT_EQ(R(u->getIntersection()), V{0});
    }
    m->popState();
  }
}

TEST_F(SetCompTest, UnionLevelTwoKeepsRequiredValuesOutOfTheOtherOperand) {
  // a requires 1, b cannot hold it: s == a union b holds with 1 in s only.
  QrcIntSetVarI* a = set(0, 3, {}, {1});
  QrcIntSetVarI* b = set(0, 3, {2, 3});
  QrcIntSetVarI* s = set(0, 3);
  auto* u = static_cast<QrcEqUnionCtI*>(QrcEqUnion(s, a, b).getImpl());
  u->setFilterLevel(QrcHighFilterLevel);
  ASSERT_TRUE(adds(u));
  EXPECT_EQ(R(s), V{1});
  EXPECT_EQ(R(u->getIntersection()), V{});
  EXPECT_FALSE(u->getIntersection()->isPossible(1));
}

TEST_F(SetCompTest, UnionLevelRaisedAfterPostingAddsTheIntersection) {
  QrcIntSetVarI* a = set(0, 3);
  QrcIntSetVarI* b = set(0, 3);
  QrcIntSetVarI* s = set(0, 3);
  card(a)->setValue(2);
  card(b)->setValue(2);
  auto* u = static_cast<QrcEqUnionCtI*>(QrcEqUnion(s, a, b).getImpl());
  ASSERT_TRUE(adds(u));
  EXPECT_EQ(u->getIntersection(), nullptr);
  ASSERT_NE(u->getCardinalityLink(), nullptr);
  m->pushState();
  EXPECT_TRUE(holds([&] { u->setFilterLevel(QrcFullFilterLevel); }));
  ASSERT_NE(u->getIntersection(), nullptr);
  EXPECT_EQ(card(s)->getMin(), 2);
  m->popState();
  EXPECT_EQ(u->getIntersection(), nullptr);
  EXPECT_EQ(card(s)->getMin(), 0);
}

TEST_F(SetCompTest, FourArgumentUnionLinksItsIntersectionAtEveryLevel) {
  for (QrcInt level : {0, 1, 3}) {
    m->pushState();
    QrcIntSetVarI* a = set(0, 3, {}, {1, 2});
    QrcIntSetVarI* b = set(0, 3, {}, {2});
    QrcIntSetVarI* s = set(0, 3);
    QrcIntSetVarI* i = set(0, 3);
    QrcConstraintI* ct = QrcEqUnion(s, a, b, i).getImpl();
    ct->setFilterLevel(level);
    ASSERT_TRUE(adds(ct));
    EXPECT_EQ(R(i), V{2}) << level;
    b->removePossible(1);
    EXPECT_FALSE(i->isPossible(1)) << level;
    // card(s) == card(a) + card(b) - card(i).
    card(s)->setMax(2);
    EXPECT_TRUE(b->isBound()) << level;
    m->popState();
  }
}

TEST_F(SetCompTest, NegativeUnionLevelIsRefused) {
  QrcConstraintI* ct = QrcEqUnion(set(0, 3), set(0, 3), set(0, 3)).getImpl();
  ct->setFilterLevel(-1);
  std::string line;
  EXPECT_EQ(errorOf([&] { m->add(ct); }, &line), 70);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Bad Filter Level : -1\n");
}

// ---------------------------------------------------------------- array union

TEST_F(SetCompTest, ArrayUnion) {
  QrcIntSetVarI* s = set(0, 4, {1, 2});
  QrcIntSetVarI* a0 = set(0, 4, {1});
  QrcIntSetVarI* a1 = set(0, 4, {0});
  a1->removePossible(0);
  ASSERT_TRUE(adds(QrcEqUnion(s, array({a0, a1}))));
  EXPECT_EQ(P(s), V{1});
  EXPECT_EQ(demons(s), "QrcArrayUnionDomainE");
  EXPECT_EQ(demons(a0), "QrcArrayUnionDomainW");

  // Only one element can hold 3: requiring it in s requires it there;
  // requiring in s a value no element holds fails.
  QrcIntSetVarI* t = set(0, 4);
  QrcIntSetVarI* b0 = set(0, 4, {0, 1});
  QrcIntSetVarI* b1 = set(0, 4, {0, 3});
  ASSERT_TRUE(adds(QrcEqUnion(t, array({b0, b1}))));
  EXPECT_EQ(P(t), (V{0, 1, 3}));
  t->addRequired(3);
  EXPECT_EQ(R(b1), V{3});
  t->addRequired(0);
  EXPECT_EQ(R(b0), V{});
  b1->removePossible(0);
  EXPECT_EQ(R(b0), V{0});
  b0->addRequired(1);
  EXPECT_EQ(R(t), (V{0, 1, 3}));
  QrcIntSetVarI* x = set(0, 4, {2, 4});
  QrcIntSetVarI* y = set(0, 4, {4});
  ASSERT_TRUE(adds(QrcEqUnion(x, array({y}))));
  EXPECT_FALSE(holds([&] { x->addRequired(2); }));

  // An array without elements empties s.
  QrcIntSetVarI* e = set(0, 4);
  ASSERT_TRUE(adds(QrcEqUnion(e, array({}))));
  EXPECT_EQ(P(e), V{});

  // Values outside the universe of s leave the elements.
  QrcIntSetVarI* small = set(0, 2);
  QrcIntSetVarI* wide = set(0, 5);
  ASSERT_TRUE(adds(QrcEqUnion(small, array({wide}))));
  EXPECT_EQ(P(wide), (V{0, 1, 2}));
}

TEST_F(SetCompTest, ArrayUnionFalsity) {
  // Required in s and possible in a1 only: not false.
  QrcIntSetVarI* s = set(0, 3, {}, {2});
  QrcIntSetVarI* a0 = set(0, 3, {1});
  QrcIntSetVarI* a1 = set(0, 3, {2});
  EXPECT_FALSE(QrcEqUnion(s, array({a0, a1})).getImpl()->isFalse());
  a1->removePossible(2);
  EXPECT_TRUE(QrcEqUnion(s, array({a0, a1})).getImpl()->isFalse());
  EXPECT_TRUE(QrcEqUnion(set(0, 3, {0}), array({set(0, 3, {}, {1})})).getImpl()->isFalse());
}

// ---------------------------------------------------------------- partition

TEST_F(SetCompTest, PartitionChannelsEveryValueToOneSet) {
  QrcIntSetVarI* a = set(0, 4, {1, 2});
  QrcIntSetVarI* b = set(0, 4, {2, 3});
  auto* p = static_cast<QrcPartitionI*>(QrcPartition(array({a, b})).getImpl());
  ASSERT_TRUE(adds(p));
  EXPECT_EQ(R(a), V{1});
  EXPECT_EQ(R(b), V{3});
  EXPECT_EQ(p->getRest(0), nullptr);
  EXPECT_EQ(demons(a), "QrcPartitionSDemon");
  a->addRequired(2);
  EXPECT_EQ(P(b), V{3});
  EXPECT_EQ(p->getWhich()->getVar(1)->getMin(), 0);

  // The distribute constraint counts the sizes.
  QrcIntSetVarI* c = set(0, 3);
  QrcIntSetVarI* d = set(0, 3);
  ASSERT_TRUE(adds(QrcPartition(array({c, d}))));
  card(c)->setValue(3);
  EXPECT_EQ(card(d)->getMax(), 1);
  // A value required before the partition goes to its set.
  QrcIntSetVarI* e = set(0, 2, {}, {1});
  QrcIntSetVarI* f = set(0, 2);
  ASSERT_TRUE(adds(QrcPartition(array({e, f}))));
  EXPECT_EQ(P(f), (V{0, 2}));
}

TEST_F(SetCompTest, PartitionOverAnExplicitUniverse) {
  // A universe value possible in no set fails at post.
  EXPECT_FALSE(adds(QrcPartition(array({set(0, 4, {1, 2}), set(0, 4, {2, 3})}), ints({3, 1, 4}))));
  // The same number of values as the union but other members: split, and
  // the value no set holds fails.
  EXPECT_FALSE(adds(QrcPartition(array({set(0, 4, {1, 2}), set(0, 4, {2, 3})}), ints({1, 2, 4}))));
  // A universe smaller than the union splits every set; the other values stay free.
  QrcIntSetVarI* a = set(0, 4, {1, 2, 3});
  QrcIntSetVarI* b = set(0, 4, {1, 2, 3});
  auto* p = static_cast<QrcPartitionI*>(QrcPartition(array({a, b}), ints({2, 1, 2})).getImpl());
  ASSERT_TRUE(adds(p));
  EXPECT_EQ(p->getUniverse()->getValue(0), 1);
  EXPECT_EQ(p->getUniverse()->getSize(), 2);
  ASSERT_NE(p->getRest(1), nullptr);
  EXPECT_EQ(P(p->getRest(1)), V{3});
  EXPECT_EQ(P(p->getPart(0)), (V{1, 2}));
  a->addRequired(3);
  b->addRequired(3);
  a->addRequired(1);
  EXPECT_EQ(P(b), (V{2, 3}));
  b->addRequired(2);
  EXPECT_EQ(P(a), (V{1, 3}));
}

TEST_F(SetCompTest, PartitionForwardsItsLevelToTheCounts) {
  for (QrcInt level : {1, 3}) {
    m->pushState();
    // 0 and 1 fill a and b, one value each: at level 3 the matching sends 2 to c.
    QrcIntSetVarI* a = set(0, 2);
    QrcIntSetVarI* b = set(0, 2);
    QrcIntSetVarI* c = set(0, 2, {2});
    card(a)->setValue(1);
    card(b)->setValue(1);
    QrcConstraintI* p = QrcPartition(array({a, b, c})).getImpl();
    p->setFilterLevel(level);
    ASSERT_TRUE(adds(p));
    EXPECT_EQ(R(c), level == 3 ? V{2} : V{}) << level;
    EXPECT_EQ(a->isPossible(2), level < 3) << level;
    m->popState();
  }
}

// ---------------------------------------------------------------- pairwise disjointness

TEST_F(SetCompTest, PairwiseDisjointSets) {
  QrcIntSetVarI* a = set(0, 3, {1, 2}, {1});
  QrcIntSetVarI* b = set(0, 3, {1, 2});
  QrcIntSetVarI* c = set(0, 3, {1, 2});
  auto* ct = static_cast<QrcAllNullIntersectI*>(QrcAllNullIntersect(array({a, b, c})).getImpl());
  QrcInt before = m->getConstraintCount();
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(m->getConstraintCount(), before + 1);
  EXPECT_EQ(ct->getPartition(), nullptr);
  EXPECT_EQ(P(b), V{2});
  EXPECT_EQ(P(c), V{2});
  b->addRequired(2);
  EXPECT_EQ(P(c), V{});
  EXPECT_EQ(demons(c), "QrcAllNullIntersectDemon");
  EXPECT_FALSE(ct->isFalse());
  EXPECT_TRUE(
      QrcAllNullIntersect(array({set(0, 3, {}, {2}), set(0, 3, {}, {2})})).getImpl()->isFalse());
  EXPECT_FALSE(QrcAllNullIntersect(array({})).getImpl()->isFalse());
}

TEST_F(SetCompTest, PairwiseDisjointnessFromLevelOneAddsOnePartition) {
  QrcIntSetVarI* a = set(0, 3, {0, 1});
  QrcIntSetVarI* b = set(0, 3, {1, 2});
  auto* ct = static_cast<QrcAllNullIntersectI*>(QrcAllNullIntersect(array({a, b})).getImpl());
  ct->setFilterLevel(QrcMediumFilterLevel);
  ASSERT_TRUE(adds(ct));
  QrcPartitionI* p = ct->getPartition();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->getUniverse()->getSize(), 3);
  EXPECT_EQ(p->getWhich()->getSize(), 3);
  ASSERT_NE(p->getPart(2), nullptr);
  EXPECT_EQ(P(p->getPart(2)), (V{0, 1, 2}));
  EXPECT_EQ(p->getFilterLevel(), QrcMediumFilterLevel);
  QrcInt count = m->getConstraintCount();
  EXPECT_TRUE(ct->setFilterLevel(QrcHighFilterLevel));
  EXPECT_EQ(ct->getPartition(), p);
  EXPECT_EQ(p->getFilterLevel(), QrcHighFilterLevel);
  EXPECT_EQ(m->getConstraintCount(), count);
  // The extra set takes what the others leave.
  a->removePossible(0);
  EXPECT_EQ(R(p->getPart(2)), V{0});
}

TEST_F(SetCompTest, PairwiseDisjointnessRefusesLevelsAboveThree) {
  QrcConstraintI* ct = QrcAllNullIntersect(array({set(0, 3), set(0, 3)})).getImpl();
  ct->setFilterLevel(4);
  std::string line;
  EXPECT_EQ(errorOf([&] { m->add(ct); }, &line), 70);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Bad Filter Level : 4\n");
}

TEST_F(SetCompTest, DisjointUnion) {
  QrcIntSetVarI* s = set(0, 3, {1, 2});
  ASSERT_TRUE(adds(QrcDisjointUnion(s, QrcIntSetVarArray())));
  EXPECT_EQ(P(s), V{});
  QrcIntSetVarI* t = set(0, 3);
  ASSERT_TRUE(adds(QrcDisjointUnion(t, array({}))));
  EXPECT_EQ(card(t)->getMax(), 0);
  QrcIntSetVarI* u = set(0, 3);
  QrcIntSetVarI* a = set(0, 3, {0, 1});
  QrcIntSetVarI* b = set(0, 3, {1, 2});
  ASSERT_TRUE(adds(QrcDisjointUnion(u, array({a, b}))));
  EXPECT_EQ(P(u), (V{0, 1, 2}));
  a->addRequired(1);
  EXPECT_EQ(P(b), V{2});
  card(u)->setValue(1);
  EXPECT_TRUE(b->isBound());
  EXPECT_EQ(P(b), V{});
}

// ---------------------------------------------------------------- copies and handles

TEST_F(SetCompTest, CopiesKeepOrDropTheLevel) {
  QrcManager other(QrcNoEdit);
  QrcManagerI* t = other.getImpl();
  QrcIntSetVarI* a = set(0, 3);
  QrcIntSetVarI* b = set(0, 3);
  auto* u = static_cast<QrcEqUnionCtI*>(QrcEqUnion(set(0, 3), a, b).getImpl());
  u->setFilterLevel(QrcHighFilterLevel);
  ASSERT_TRUE(adds(u));
  auto* pa = static_cast<QrcAllNullIntersectI*>(QrcAllNullIntersect(array({a, b})).getImpl());
  pa->setFilterLevel(QrcHighFilterLevel);
  ASSERT_TRUE(adds(pa));
  auto* pt = static_cast<QrcPartitionI*>(QrcPartition(array({set(0, 2), set(0, 2)})).getImpl());
  pt->setFilterLevel(QrcFullFilterLevel);
  bool opened = QrcOpenCopy(t);
  auto* uc = static_cast<QrcEqUnionCtI*>(u->getCopyForManager(t));
  auto* pac = static_cast<QrcAllNullIntersectI*>(pa->getCopyForManager(t));
  auto* ptc = static_cast<QrcPartitionI*>(pt->getCopyForManager(t));
  QrcCloseCopy(t, opened);
  EXPECT_NE(uc->getIntersection(), nullptr);
  EXPECT_EQ(uc->getCardinalityLink(), nullptr);
  EXPECT_FALSE(uc->hasExplicitLevel());
  EXPECT_EQ(pac->getPartition(), nullptr);
  EXPECT_EQ(pac->getFilterLevel(), QrcHighFilterLevel);
  EXPECT_EQ(ptc->getFilterLevel(), QrcFullFilterLevel);
  // The copy owns the universe's values, in the same order.
  ASSERT_NE(ptc->getUniverse(), pt->getUniverse());
  ASSERT_EQ(ptc->getUniverse()->getSize(), pt->getUniverse()->getSize());
  for (QrcInt j = 0; j < pt->getUniverse()->getSize(); ++j)
    EXPECT_EQ(ptc->getUniverse()->getValue(j), pt->getUniverse()->getValue(j));
  t->useExceptions(true);
  EXPECT_NO_THROW(t->add(uc));
  EXPECT_NO_THROW(t->add(pac));
  EXPECT_NO_THROW(t->add(ptc));
  other.end();
}

// An empty array handle stands for an array without elements: the union of
// none empties s; a partition of none holds for an empty universe only; and
// pairwise disjointness of none asks nothing (with no manager named, the
// relations that ask nothing are empty handles).
TEST_F(SetCompTest, EmptyArrayHandlesStandForArraysWithoutElements) {
  QrcIntSetVarArray none;
  QrcIntSetVarI* s = set(0, 3, {1, 2});
  QrcConstraint u = QrcEqUnion(s, none);
  ASSERT_TRUE(adds(u));
  EXPECT_EQ(P(s), V{});
  EXPECT_TRUE(QrcEqUnion(set(0, 3, {}, {1}), none).getImpl()->isFalse());
  EXPECT_FALSE(adds(QrcEqUnion(set(0, 3, {}, {2}), none)));
  QrcManager other(QrcNoEdit);
  bool opened = QrcOpenCopy(other.getImpl());
  QrcConstraintI* copy = u.getImpl()->getCopyForManager(other.getImpl());
  QrcCloseCopy(other.getImpl(), opened);
  EXPECT_NE(copy, nullptr);
  other.end();
  EXPECT_EQ(QrcPartition(none, ints({1, 2})).getImpl(), m->getFalseConstraint());
  EXPECT_EQ(QrcPartition(none, ints({})).getImpl(), m->getTrueConstraint());
  EXPECT_EQ(QrcPartition(none).getImpl(), nullptr);
  EXPECT_EQ(QrcAllNullIntersect(none).getImpl(), nullptr);
  EXPECT_EQ(QrcPartition(array({}), ints({})).getImpl()->isFalse(), 0);
}

TEST_F(SetCompTest, EmptyHandlesStopWithCode39) {
  QrcIntSetVar a(set(0, 3));
  QrcIntSetVarArray none;
  QrcIntSetVarArray holed(mgr, 2);
  holed.getImpl()->elementAt(0) = a.getImpl();
  EXPECT_DEATH(QrcEqIntersection(QrcIntSetVar(), a, a),
               "Solver Error : empty handle : QrcEqIntersection");
  EXPECT_DEATH(QrcEqUnion(a, QrcIntSetVar(), a), "empty handle : QrcEqUnion");
  EXPECT_DEATH(QrcEqUnion(a, a, a, QrcIntSetVar()), "empty handle : QrcEqUnion");
  EXPECT_DEATH(QrcPartition(array({a.getImpl()}), QrcIntArray()), "empty handle : QrcPartition");
  EXPECT_DEATH(QrcDisjointUnion(QrcIntSetVar(), none), "empty handle : QrcDisjointUnion");
  // An empty element goes to the manager's reporter.
  EXPECT_EQ(errorLine([&] { QrcEqUnion(a, holed); }), "Solver Error : empty handle : QrcEqUnion\n");
  EXPECT_EQ(errorLine([&] { QrcAllNullIntersect(holed); }),
            "Solver Error : empty handle : QrcAllNullIntersect\n");
  EXPECT_EQ(errorLine([&] { QrcDisjointUnion(a, holed); }),
            "Solver Error : empty handle : QrcDisjointUnion\n");
}

}  // namespace

// Ordered partitions of six values into three sets of two (6! / (2!)^3 = 90),
// stated as a partition and as pairwise disjoint sets, at every level and in
// both manager modes (in edit mode the constraints are posted by the search).
TEST(SetCompModes, OrderedPartitionsCountTheSameAtEveryLevelAndMode) {
  for (QrcManagerTag mode : {QrcNoEdit, QrcEdit}) {
    for (int form = 0; form < 2; ++form) {
      for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
        QrcManager mgr(mode);
        QrcIntSetVarArray sets(mgr, 3);
        for (QrcInt i = 0; i < 3; ++i) {
          QrcIntSetVar s(mgr, 1, 6);
          sets.getImpl()->elementAt(i) = s.getImpl();
          mgr.getImpl()->add((QrcIntExp(s.getImpl()->getCardinality()) == QrcInt(2)).getImpl());
        }
        QrcConstraint ct = form == 0 ? QrcPartition(sets) : QrcAllNullIntersect(sets);
        ct.getImpl()->setFilterLevel(level);
        mgr.getImpl()->add(ct.getImpl());
        QrcSearch search(mgr, QrcGenerate(sets));
        int found = 0;
        while (search.next() && found <= 90) ++found;
        search.end();
        EXPECT_EQ(found, 90) << (mode == QrcEdit ? "edit" : "no edit") << " form " << form
                             << " level " << level;
        mgr.end();
      }
    }
  }
}
