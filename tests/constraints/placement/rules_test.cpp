// Single deductions of the interval-graph rules, computed by hand on small
// 1-D graphs whose pairs are decided one by one: each deduction appears with
// the last statement. Then overlap patterns that no interval graph has, the
// length rules and the pseudo placement.
#include <gtest/gtest.h>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcintexp.h"

namespace placementtest {
namespace {

// O: overlap, D: disjoint, B: a before b (through the pair constraints).
struct Statement {
  char kind;
  int a, b;
};

void state(Line& l, const Statement& s) {
  if (s.kind == 'O') l.overlap(s.a, s.b);
  if (s.kind == 'D') l.disjoint(s.a, s.b);
  if (s.kind == 'B') l.before(s.a, s.b);
}

struct Deduction {
  const char* rule;
  std::vector<QroInt> sizes;
  std::vector<Statement> statements;
  char var;  // E or R
  int i, j;
  QroInt value;
};

TEST(PlacementRules, EachRuleDeducesWithTheLastStatement) {
  const Deduction table[] = {
      {"chord overlap 1",
       {4, 4, 4, 4},
       {{'O', 2, 0}, {'D', 2, 1}, {'O', 3, 1}, {'D', 3, 0}, {'O', 0, 1}},
       'E',
       2,
       3,
       0},
      {"chord overlap 2",
       {4, 4, 4, 4},
       {{'O', 0, 2}, {'D', 1, 2}, {'O', 1, 3}, {'O', 2, 3}, {'O', 0, 1}},
       'E',
       0,
       3,
       1},
      {"chord overlap 3",
       {4, 4, 4, 4},
       {{'O', 1, 2}, {'D', 0, 2}, {'O', 0, 3}, {'O', 2, 3}, {'O', 0, 1}},
       'E',
       1,
       3,
       1},
      {"chord disjoint 1",
       {4, 4, 4, 4},
       {{'O', 2, 0}, {'O', 2, 1}, {'O', 3, 0}, {'O', 3, 1}, {'D', 0, 1}},
       'E',
       2,
       3,
       1},
      {"chord disjoint 2",
       {4, 4, 4, 4},
       {{'O', 2, 0}, {'O', 2, 1}, {'O', 3, 1}, {'D', 2, 3}, {'D', 0, 1}},
       'E',
       0,
       3,
       0},
      {"chord disjoint 3",
       {4, 4, 4, 4},
       {{'O', 2, 1}, {'O', 2, 0}, {'O', 3, 0}, {'D', 2, 3}, {'D', 0, 1}},
       'E',
       1,
       3,
       0},
      {"class step 4",
       {4, 4, 2, 6, 4},
       {{'O', 0, 3},
        {'O', 3, 1},
        {'O', 1, 4},
        {'O', 4, 2},
        {'D', 3, 2},
        {'D', 1, 2},
        {'D', 0, 4},
        {'D', 3, 4},
        {'D', 0, 1}},
       'E',
       0,
       2,
       0},
      {"class step 5",
       {4, 4, 2, 6, 4},
       {{'O', 1, 3},
        {'O', 3, 0},
        {'O', 0, 4},
        {'O', 4, 2},
        {'D', 3, 2},
        {'D', 0, 2},
        {'D', 1, 4},
        {'D', 3, 4},
        {'D', 0, 1}},
       'E',
       1,
       2,
       0},
      {"class step 6",
       {4, 4, 13, 4, 6, 4},
       {{'O', 0, 3},
        {'D', 0, 4},
        {'D', 0, 5},
        {'O', 0, 2},
        {'O', 3, 1},
        {'D', 3, 4},
        {'D', 3, 5},
        {'O', 1, 4},
        {'D', 1, 5},
        {'O', 4, 5},
        {'O', 5, 2},
        {'D', 0, 1}},
       'E',
       1,
       2,
       1},
      {"class step 7",
       {4, 4, 13, 4, 6, 4},
       {{'O', 1, 3},
        {'D', 1, 4},
        {'D', 1, 5},
        {'O', 1, 2},
        {'O', 3, 0},
        {'D', 3, 4},
        {'D', 3, 5},
        {'O', 0, 4},
        {'D', 0, 5},
        {'O', 4, 5},
        {'O', 5, 2},
        {'D', 0, 1}},
       'E',
       0,
       2,
       1},
      {"push 1", {1, 2, 4, 3}, {{'O', 0, 1}, {'D', 0, 3}, {'B', 1, 3}}, 'R', 0, 3, 1},
      {"push 2", {1, 1, 2, 2}, {{'D', 0, 1}, {'O', 1, 2}, {'B', 0, 2}}, 'R', 0, 1, 1},
      {"push 3", {1, 1, 3, 3}, {{'O', 0, 3}, {'B', 2, 0}}, 'R', 2, 3, 1},
      {"push 4", {1, 2, 4, 2}, {{'O', 2, 3}, {'B', 1, 3}}, 'R', 1, 2, 1},
      {"push 5", {1, 1, 1, 1}, {{'D', 1, 2}, {'B', 0, 2}, {'B', 1, 0}}, 'R', 1, 2, 1},
      {"pull 3", {3, 1, 2, 3}, {{'B', 1, 2}, {'B', 3, 1}, {'D', 2, 3}}, 'R', 2, 3, 0},
      {"overlap 1", {1, 1, 3, 4}, {{'B', 1, 0}, {'D', 1, 2}, {'O', 0, 2}}, 'R', 1, 2, 1},
      {"overlap 2", {4, 3, 4, 2}, {{'B', 3, 1}, {'O', 2, 3}}, 'R', 1, 2, 0},
      {"overlap 3", {2, 4, 3, 2}, {{'B', 2, 1}, {'O', 1, 3}}, 'R', 2, 3, 1},
  };
  for (const Deduction& d : table) {
    Line l(100, d.sizes);
    l.registerAll();
    for (size_t i = 0; i < d.sizes.size(); ++i) l.act(static_cast<int>(i))->setValue(1);
    QrcIntExpI* v = d.var == 'E' ? l.edge(d.i, d.j) : l.orient(d.i, d.j);
    for (size_t k = 0; k + 1 < d.statements.size(); ++k) state(l, d.statements[k]);
    EXPECT_FALSE(v->isBound()) << d.rule;
    state(l, d.statements.back());
    EXPECT_TRUE(v->isBound() && v->getValue() == d.value) << d.rule;
  }
}

// The pull passes on a graph that is not posted (edit mode): the rules run
// only when called.
TEST(PlacementRules, PullTakesTheOrderOfANeighbour) {
  for (int pass : {1, 2}) {
    Line l(100, {1, 1, 1, 1}, 1, 0, 100, true);
    l.registerAll();
    QrcIntervalGraphI* g = l.graph();
    int a = pass == 1 ? 2 : 1, b = 3, c = pass == 1 ? 1 : 0;
    // c overlaps one end and lies after the other: 3 after 1, or 0 after 1.
    g->setPairState(c, pass == 1 ? a : b, 1);
    g->setPairState(c, pass == 1 ? b : a, 0);
    g->setPairState(a, b, 0);
    l.orient(c, pass == 1 ? b : a)->setValue(0);
    g->pullOrientation(a, b);
    ASSERT_TRUE(l.orient(a, b)->isBound()) << pass;
    EXPECT_EQ(l.orient(a, b)->getValue(), pass == 1 ? 0 : 1) << pass;
  }
}

TEST(PlacementRules, OrientationOfAnOpenPairStartsNoRule) {
  Line l(100, {2, 2, 2});
  l.registerAll();
  for (int i = 0; i < 3; ++i) l.act(i)->setValue(1);
  l.overlap(0, 1);
  l.disjoint(1, 2);
  l.orient(0, 2)->setValue(1);
  EXPECT_FALSE(l.orient(1, 2)->isBound());
  l.disjoint(0, 2);
  EXPECT_EQ(l.orient(1, 2)->getValue(), 1);
  // Nor does an orientation bound on a pair that overlaps.
  Line k(100, {2, 2, 2});
  k.registerAll();
  for (int i = 0; i < 3; ++i) k.act(i)->setValue(1);
  k.overlap(0, 1);
  k.disjoint(1, 2);
  k.overlap(0, 2);
  QroInt events = k.graph()->getEventCount();
  k.orient(0, 2)->setValue(1);
  EXPECT_EQ(k.graph()->getEventCount(), events);
  EXPECT_FALSE(k.orient(1, 2)->isBound());
}

// c overlaps a and is disjoint from b, and lies after b: a before b fails.
TEST(PlacementRules, PushAgainstABoundOrientationFails) {
  Line l(100, {1, 2, 4, 3});
  l.registerAll();
  for (int i = 0; i < 4; ++i) l.act(i)->setValue(1);
  l.overlap(0, 1);
  l.disjoint(0, 3);
  l.orient(0, 3)->setValue(0);
  EXPECT_THROW(l.before(1, 3), QrcFailException);
}

TEST(PlacementRules, PatternsOfNoIntervalGraphFail) {
  for (int level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    Line l(100, {3, 3, 3, 3}, level);
    l.registerAll();
    for (int i = 0; i < 4; ++i) l.act(i)->setValue(1);
    const Statement cycle[] = {{'O', 0, 1}, {'O', 1, 2}, {'O', 2, 3}, {'D', 0, 2}, {'D', 1, 3}};
    for (const Statement& s : cycle) state(l, s);
    EXPECT_THROW(l.overlap(3, 0), QrcFailException) << "level " << level;
  }
  // The net: a triangle with one pendant on each corner, all else disjoint.
  for (int level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    Line l(100, {3, 3, 3, 3, 3, 3}, level);
    l.registerAll();
    for (int i = 0; i < 6; ++i) l.act(i)->setValue(1);
    bool failed = false;
    try {
      for (int i = 0; i < 6; ++i)
        for (int j = i + 1; j < 6; ++j) {
          bool meets = (i < 3 && j < 3) || j == i + 3;
          if (meets)
            l.overlap(i, j);
          else
            l.disjoint(i, j);
        }
    } catch (QrcFailException&) {
      failed = true;
    }
    EXPECT_TRUE(failed) << "level " << level;
  }
}

TEST(PlacementRules, LengthRulesCountOnlyActiveMembers) {
  for (int level : {0, 1}) {
    // Active 0 and 2, optional 1, all of size 4 in 10, pairwise disjoint.
    Line l(10, {4, 4, 4}, level, 0, 6);
    l.registerAll();
    l.act(0)->setValue(1);
    l.act(2)->setValue(1);
    l.edge(0, 1)->setValue(0);
    l.edge(1, 2)->setValue(0);
    EXPECT_NO_THROW(l.disjoint(0, 2));
    EXPECT_EQ(l.act(1)->isBound(), level == 1);
    EXPECT_EQ(l.act(1)->getMax(), level == 1 ? 0 : 1);
  }
  // The same rule runs again when the last of the three becomes active.
  {
    Line l(10, {5, 5, 1}, 1, 0, 9);
    l.registerAll();
    l.act(0)->setValue(1);
    l.act(1)->setValue(1);
    l.disjoint(0, 2);
    l.disjoint(1, 2);
    EXPECT_NO_THROW(l.disjoint(0, 1));
    EXPECT_THROW(l.act(2)->setValue(1), QrcFailException);
  }
  // Two active members filling the container and a third disjoint from both.
  for (int level : {0, 1}) {
    Line l(10, {5, 5, 1}, level, 0, 9);
    l.registerAll();
    for (int i = 0; i < 3; ++i) l.act(i)->setValue(1);
    l.disjoint(0, 2);
    l.disjoint(1, 2);
    if (level) {
      EXPECT_THROW(l.disjoint(0, 1), QrcFailException);
    } else {
      EXPECT_NO_THROW(l.disjoint(0, 1));
    }
  }
  // Step 6: 3 is disjoint from 1, and 1, 2 and 3 do not fit side by side.
  {
    Line l(6, {4, 2, 1, 4});
    for (int i = 0; i < 4; ++i) l.x(i)->setMax(6 - l.boxes[static_cast<size_t>(i)]->getSize(0));
    l.registerAll();
    for (int i = 0; i < 4; ++i) l.act(i)->setValue(1);
    l.disjoint(1, 3);
    EXPECT_FALSE(l.edge(2, 3)->isBound());
    l.disjoint(1, 2);
    EXPECT_EQ(l.edge(2, 3)->getValue(), 1);
  }
}

TEST(PlacementRules, EqualChainsStartAtTheLowestVertex) {
  Line l(100, {2, 2, 3, 3, 1});
  l.registerAll();
  for (int i = 0; i < 5; ++i) l.act(i)->setValue(1);
  for (int c : {2, 3}) {
    l.disjoint(0, c);
    l.disjoint(1, c);
  }
  l.overlap(2, 3);
  l.disjoint(0, 1);
  QrcIntervalGraphI* g = l.graph();
  g->lengthRules(0, 1);
  EXPECT_EQ(g->getChainStart(), 2);
  EXPECT_EQ(g->getChainLength(2), 3);
  // A longer chain wins: 4 disjoint from 0, 1 and 3.
  l.disjoint(0, 4);
  l.disjoint(1, 4);
  l.disjoint(3, 4);
  g->lengthRules(0, 1);
  EXPECT_EQ(g->getChainLength(g->getChainStart()), 4);
}

TEST(PlacementRules, PseudoPlacementTriesOpenDisjointPairs) {
  for (int level : {1, 2}) {
    Line l(4, {1, 1, 3, 4}, level);
    for (int i = 0; i < 4; ++i) l.x(i)->setMax(4 - l.boxes[static_cast<size_t>(i)]->getSize(0));
    l.registerAll();
    for (int i = 0; i < 4; ++i) l.act(i)->setValue(1);
    QrcZConstraintI* z = l.graph()->getZConstraint();
    l.overlap(0, 1);
    EXPECT_EQ(z->getTrialCount(), 0);  // no disjoint pair yet
    l.disjoint(0, 2);
    // The trial puts 0 first: 0 at 0, 2 at 1, and 1 with 0: 1 and 2 apart.
    if (level == 2) {
      EXPECT_GT(z->getTrialCount(), 0);
      EXPECT_EQ(l.edge(1, 2)->getValue(), 0);
    } else {
      EXPECT_EQ(z->getStatus(), 0);  // never added
      EXPECT_EQ(z->getTrialCount(), 0);
      EXPECT_FALSE(l.edge(1, 2)->isBound());
    }
  }
  // Pairs that overlap or whose order is bound are never tried.
  Line l(20, {2, 2, 2}, 2);
  l.registerAll();
  for (int i = 0; i < 3; ++i) l.act(i)->setValue(1);
  l.overlap(0, 1);
  l.before(0, 2);
  l.before(1, 2);
  EXPECT_EQ(l.graph()->getZConstraint()->getTrialCount(), 0);
}

}  // namespace
}  // namespace placementtest
