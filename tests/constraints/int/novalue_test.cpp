// Comparisons over elements whose index may leave their arrays: a side
// without a value makes a comparison false, alone, on either side of && and
// ||, negated, as a truth value and over an element of an element; and such
// an element shows the range of the values it has without being bound while
// it may still lose its value.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcelement.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcsearch.h"
#include "support/call_goal.h"
#include "support/harness.h"
#include "support/novalue_formulas.h"
#include "support/watchdog.h"

namespace {

using ctest::arrayOn;
using qrotest::PropCase;
using qrotest::Shape;
using qrotest::Vars;
typedef std::vector<int64_t> V;

QrcIntExp at(QrcManagerI* m, const V& a, const QrcIntExp& x) {
  return arrayOn(m, a)[x];
}

// [3][[0, 1][u]]: 3 at u = 0, no value at u = 1 (outside [3]) nor at u = 2.
QrcIntExp nested(QrcManagerI* m, const Vars& v) {
  return at(m, {3}, at(m, {0, 1}, QrcIntExp(v[0])));
}

QrcIntExp vars(QrcManagerI* m, const Vars& v, const QrcIntExp& x) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
  return a[x];
}

struct Row {
  const char* name;
  std::vector<V> values;
  std::function<QrcConstraint(QrcManagerI*, const Vars&)> make;
  std::function<bool(const V&)> check;
};

const std::vector<Row>& rows() {
  static const std::vector<Row> all = {
      // Three nodes built apart lose their values at different moments of a
      // propagation: the disjunct read false first posts the other one over
      // sides already without a value.
      {"(T != T) || (T >= 1), T built three times",
       {{0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         return (nested(m, v) != nested(m, v)) || (nested(m, v) >= 1);
       },
       [](const V& s) { return s[0] == 0; }},
      {"(T >= 1) || (T != T), T built three times",
       {{0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         return (nested(m, v) >= 1) || (nested(m, v) != nested(m, v));
       },
       [](const V& s) { return s[0] == 0; }},
      {"(T != T) || (T >= 1), one T",
       {{0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp t = nested(m, v);
         return (t != t) || (t >= 1);
       },
       [](const V& s) { return s[0] == 0; }},
      {"T != T, built twice",
       {{0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) { return nested(m, v) != nested(m, v); },
       [](const V&) { return false; }},
      {"T == T, built twice",
       {{0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) { return nested(m, v) == nested(m, v); },
       [](const V& s) { return s[0] == 0; }},
      {"!(T != T), built twice",
       {{0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) { return !(nested(m, v) != nested(m, v)); },
       [](const V&) { return true; }},
      {"(u == 2) && ([4, 5][u] != [6, 7][u])",
       {{0, 1, 2, 3}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp u(v[0]);
         return (u == 2) && (at(m, {4, 5}, u) != at(m, {6, 7}, u));
       },
       [](const V&) { return false; }},
      {"([4, 5][u] != [6, 7][u]) && (u >= 1)",
       {{0, 1, 2, 3}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp u(v[0]);
         return (at(m, {4, 5}, u) != at(m, {6, 7}, u)) && (u >= 1);
       },
       [](const V& s) { return s[0] == 1; }},
      {"(u == -2) && ([0][u + 1] != u - {u}[u + 1])",
       {{-2, -1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp u(v[0]);
         return (u == -2) && (at(m, {0}, u + 1) != u - vars(m, v, u + 1));
       },
       [](const V&) { return false; }},
      {"[0][u + 1] == u - {u}[u + 1]",
       {{-2, -1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp u(v[0]);
         return at(m, {0}, u + 1) == u - vars(m, v, u + 1);
       },
       [](const V& s) { return s[0] == -1; }},
      {"[5, 5, 5][x] >= 5",
       {{-1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         return at(m, {5, 5, 5}, QrcIntExp(v[0])) >= 5;
       },
       [](const V& s) { return s[0] >= 0; }},
      {"[5, 5, 5][x] != 4",
       {{-1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         return at(m, {5, 5, 5}, QrcIntExp(v[0])) != 4;
       },
       [](const V& s) { return s[0] >= 0; }},
      {"[5, 5, 5][x] + 1 <= 6",
       {{-1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         return at(m, {5, 5, 5}, QrcIntExp(v[0])) + 1 <= 6;
       },
       [](const V& s) { return s[0] >= 0; }},
      {"[5, 5, 5][x] == [5, 5][z], built apart",
       {{-1, 0, 1, 2}, {-1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         return at(m, {5, 5, 5}, QrcIntExp(v[0])) == at(m, {5, 5}, QrcIntExp(v[1]));
       },
       [](const V& s) { return s[0] >= 0 && s[1] >= 0 && s[1] <= 1; }},
      {"([5, 5, 5][x] <= [5, 5][z]) == (x >= z)",
       {{-1, 0, 1, 2}, {-1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp x(v[0]), z(v[1]);
         return (at(m, {5, 5, 5}, x) <= at(m, {5, 5}, z)) == (x >= z);
       },
       [](const V& s) {
         bool le = s[0] >= 0 && s[1] >= 0 && s[1] <= 1;
         return le == (s[0] >= s[1]);
       }},
      {"truth([5, 5, 5][x] >= 5) + truth([1, 2][z] > 1) >= 1",
       {{-1, 0, 1, 2}, {-1, 0, 1, 2}},
       [](QrcManagerI* m, const Vars& v) {
         QrcIntExp x(v[0]), z(v[1]);
         return QrcIntExp(at(m, {5, 5, 5}, x) >= 5) + QrcIntExp(at(m, {1, 2}, z) > 1) >= 1;
       },
       [](const V& s) { return s[0] >= 0 || s[1] == 1; }},
  };
  return all;
}

// Each row alone, its opposite, its truth equal to a 0-1 variable (free,
// bound before or after its operands) and joined to another constraint by
// && and ||, on either side.
TEST(NoValue, ComparisonsOverElementsThatMayLackAValue) {
  for (const Row& r : rows()) {
    PropCase c;
    c.name = r.name;
    c.seed = qrotest::caseSeed(7410);
    c.values = r.values;
    auto make = r.make;
    c.make = [make](QrcManagerI* m, const Vars& v) { return make(m, v).getImpl(); };
    c.check = r.check;
    EXPECT_EQ(qrotest::runWithShapes(
                  c, {Shape::Truth, Shape::OppositeTruth, Shape::Opposite, Shape::And, Shape::Or}),
              0)
        << r.name;
  }
}

// ---------------------------------------------------------------- quotients, nodes made variables
// later

// Brute force: a value or none.
struct Val {
  bool has;
  int64_t v;
};
const Val None = {false, 0};
Val of(int64_t v) {
  return {true, v};
}
Val entry(const V& a, Val i) {
  return i.has && i.v >= 0 && i.v < static_cast<int64_t>(a.size()) ? of(a[static_cast<size_t>(i.v)])
                                                                   : None;
}
Val quotient(Val x, Val y) {
  return x.has && y.has && y.v != 0 ? of(x.v / y.v) : None;
}

// {e...}[x] over an array of expressions.
QrcIntExp among(QrcManagerI* m, const std::vector<QrcIntExp>& es, const QrcIntExp& x) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(es.size()));
  for (size_t i = 0; i < es.size(); ++i) a.set(static_cast<QrcInt>(i), es[i]);
  return a[x];
}

// A case whose make also names the nodes it makes variables (QrcIntVar)
// after the posting; scope: the assignments where those have values.
struct LaterRow {
  const char* name;
  std::vector<V> values;
  std::function<QrcConstraint(QrcManagerI*, const Vars&, std::vector<QrcIntExp>& later)> make;
  std::function<bool(const V&)> scope;
  std::function<bool(const V&)> check;
};

PropCase laterCase(const LaterRow& r, uint64_t seed) {
  PropCase c;
  c.name = r.name;
  c.seed = seed;
  c.values = r.values;
  auto later = std::make_shared<std::vector<QrcIntExp>>();
  auto make = r.make;
  c.make = [make, later](QrcManagerI* m, const Vars& v) {
    later->clear();
    return make(m, v, *later).getImpl();
  };
  c.afterPost = [later](QrcManagerI*) {
    for (const QrcIntExp& e : *later) QrcIntVar made(e);
    later->clear();
  };
  c.scope = r.scope;
  auto scope = r.scope;
  auto check = r.check;
  c.check = [scope, check](const V& s) { return (!scope || scope(s)) && check(s); };
  return c;
}

// Every row alone and in its reified forms, each bounded in time.
void runLaterRows(const std::vector<LaterRow>& rows, uint64_t seed) {
  for (const LaterRow& r : rows) {
    qrotest::Watchdog guard(r.name, 60);
    PropCase c = laterCase(r, qrotest::caseSeed(seed));
    EXPECT_EQ(qrotest::runWithShapes(
                  c, {Shape::Truth, Shape::OppositeTruth, Shape::Opposite, Shape::And, Shape::Or}),
              0)
        << r.name;
  }
}

// den = {u0, u0}[[2][u1 + 1]]: [2][u1 + 1] is 2 or has no value, and 2 lies
// outside {u0, u0}: den never has a value.
QrcIntExp neverAValue(QrcManagerI* m, const QrcIntExp& u0, const QrcIntExp& u1) {
  return among(m, {u0, u0}, at(m, {2}, u1 + 1));
}

// A quotient has no value where its divisor has none, whatever the range
// the divisor shows (one that holds 0 gives the quotient every value), as an
// element's index, a side, a truth value.
TEST(NoValue, QuotientsByDivisorsWithoutAValue) {
  const std::vector<LaterRow> rows = {
      {"(W >= 0) || (W <= 0), W = [-3,-2,-3,3][u1 / den], den never a value",
       {qrotest::range(-2, 0), qrotest::range(-1, 0)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>&) {
         QrcIntExp w = at(m, {-3, -2, -3, 3}, QrcIntExp(v[1]) / neverAValue(m, v[0], v[1]));
         return (w >= 0) || (w <= 0);
       },
       nullptr,
       [](const V&) { return false; }},
      {"(truth(W != -2) >= u0) == !(W != 2), W = [2,-2,1,-3,-2][u0 / {u0-1, u0, u0}[u0 - 2]]",
       {qrotest::range(1, 5)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>&) {
         QrcIntExp u0(v[0]);
         QrcIntExp w = at(m, {2, -2, 1, -3, -2}, u0 / among(m, {u0 - 1, u0, u0}, u0 - 2));
         return (QrcIntExp(w != -2) >= u0) == !(w != 2);
       },
       nullptr,
       [](const V& s) { return s[0] >= 2 && s[0] <= 4; }},
      {"(6 / D >= 0) || (6 / D <= 0), D = [3,-3,2][u - 1]",
       {qrotest::range(-1, 3)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>&) {
         QrcIntExp q = 6 / at(m, {3, -3, 2}, QrcIntExp(v[0]) - 1);
         return (q >= 0) || (q <= 0);
       },
       nullptr,
       [](const V& s) { return s[0] >= 1; }},
      {"[5,6,7][u / D] != 6, D = [2,-1][u]",
       {qrotest::range(-1, 2)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>&) {
         QrcIntExp u(v[0]);
         return at(m, {5, 6, 7}, u / at(m, {2, -1}, u)) != 6;
       },
       nullptr,
       [](const V& s) {
         Val w = entry({5, 6, 7}, quotient(of(s[0]), entry({2, -1}, of(s[0]))));
         return w.has && w.v != 6;
       }},
      {"truth(Q >= 0) + truth(Q < 0) == 0, Q = u1 / den, den never a value",
       {qrotest::range(-2, 0), qrotest::range(-1, 0)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>&) {
         QrcIntExp q = QrcIntExp(v[1]) / neverAValue(m, v[0], v[1]);
         return QrcIntExp(q >= 0) + QrcIntExp(q < 0) == 0;
       },
       nullptr,
       [](const V&) { return true; }},
      {"E == E, E = [1][x / [-3,-2,1,1][x]] (a divisor whose range holds 0)",
       {qrotest::range(0, 3)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>&) {
         QrcIntExp x(v[0]);
         QrcIntExp e = at(m, {1}, x / at(m, {-3, -2, 1, 1}, x));
         return e == e;
       },
       nullptr,
       [](const V& s) { return s[0] <= 1; }},
  };
  runLaterRows(rows, 7430);
}

// B = 5 / A, A = [2,2,-2,2][[4,-1,0][u0 - 1]]: A has a value at u0 = 3 only
// (2), and B = 2 there; A shows [-2, 2], so B shows every value.
QrcIntExp fiveOverA(QrcManagerI* m, const Vars& v) {
  return 5 / at(m, {2, 2, -2, 2}, at(m, {4, -1, 0}, QrcIntExp(v[0]) - 1));
}

bool bHasAValue(const V& s) {
  return s[0] == 3;
}

// A comparison of B with itself: built over B (made a variable first, when
// asked), naming the nodes to make variables after the posting; whether the
// case holds only where B has a value (a node made a variable); the answer
// where B has a value and where it has none.
struct SelfRow {
  const char* name;
  bool variableFirst;
  std::function<QrcConstraint(const QrcIntExp& b, std::vector<QrcIntExp>& later)> make;
  bool scoped;
  bool withValue, withoutValue;
};

// A comparison of a node with itself (plus constants) is decided by the
// constants where the node has a value: no bounds reasoning moves the node a
// step at a time across its range, also once it is a variable.
TEST(NoValue, ComparisonsOfANodeWithItself) {
  typedef std::vector<QrcIntExp> Later;
  const SelfRow selfRows[] = {
      {"!(B <= B), B made a variable after", false,
       [](const QrcIntExp& b, Later& later) {
         later.push_back(b);
         return !(b <= b);
       },
       true, false, false},
      {"!(B <= B), B made a variable first", true,
       [](const QrcIntExp& b, Later&) { return !(b <= b); }, true, false, false},
      {"!(B <= B)", false, [](const QrcIntExp& b, Later&) { return !(b <= b); }, false, false,
       true},
      {"B <= B, B made a variable after", false,
       [](const QrcIntExp& b, Later& later) {
         later.push_back(b);
         return b <= b;
       },
       true, true, false},
      {"B + 1 == B, B made a variable after", false,
       [](const QrcIntExp& b, Later& later) {
         later.push_back(b);
         return b + 1 == b;
       },
       true, false, false},
      {"B != B + 1, B made a variable after", false,
       [](const QrcIntExp& b, Later& later) {
         later.push_back(b);
         return b != b + 1;
       },
       true, true, false},
      {"B + 1 <= B - 1 + 2, B + 1 made a variable after", false,
       [](const QrcIntExp& b, Later& later) {
         later.push_back(b + 1);
         return b + 1 <= b - 1 + 2;
       },
       true, true, false},
      {"!(B == B + 1)", false, [](const QrcIntExp& b, Later&) { return !(b == b + 1); }, false,
       true, true},
  };
  std::vector<LaterRow> rows;
  for (const SelfRow& r : selfRows) {
    auto make = r.make;
    bool first = r.variableFirst, with = r.withValue, without = r.withoutValue;
    rows.push_back({r.name,
                    {qrotest::range(0, 4)},
                    [make, first](QrcManagerI* m, const Vars& v, Later& later) {
                      QrcIntExp b = fiveOverA(m, v);
                      if (first) QrcIntVar made(b);
                      return make(b, later);
                    },
                    r.scoped ? bHasAValue : std::function<bool(const V&)>(),
                    [with, without](const V& s) { return bHasAValue(s) ? with : without; }});
  }
  runLaterRows(rows, 7440);
}

// Q = 4 / [2, 2][u0]: 2 where u0 is 0 or 1, no value elsewhere; its range is
// [2, 2] from the start, so making it a variable changes no bound.
QrcIntExp fourOverTwo(QrcManagerI* m, const Vars& v) {
  return 4 / at(m, {2, 2}, QrcIntExp(v[0]));
}

bool qHasAValue(const V& s) {
  return s[0] == 0 || s[0] == 1;
}

// Three formulas that hold wherever Q has a value.
std::vector<QrcConstraint> alwaysWhereQ(const QrcIntExp& q) {
  return {(q >= 0) || (q < 0), (q <= 5) || (q > 5), (q != 7) || (q == 7)};
}

// A truth value over a node that may lack a value, read before the node is
// made a variable: the variable has a value, and the truth follows.
TEST(NoValue, TruthValuesOverNodesMadeVariablesAfterThePost) {
  const std::vector<LaterRow> rows = {
      {"T1 + T2 + T3 <= 2, truths of formulas true where Q has one, Q made a variable after",
       {qrotest::range(-1, 2)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>& later) {
         QrcIntExp q = fourOverTwo(m, v);
         later.push_back(q);
         std::vector<QrcConstraint> p = alwaysWhereQ(q);
         return QrcIntExp(p[0]) + QrcIntExp(p[1]) + QrcIntExp(p[2]) <= 2;
       },
       qHasAValue,
       [](const V&) { return false; }},
      {"QrcSum(T1, T2, T3) <= 2, the same truths, Q made a variable after",
       {qrotest::range(-1, 2)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>& later) {
         QrcIntExp q = fourOverTwo(m, v);
         later.push_back(q);
         std::vector<QrcConstraint> p = alwaysWhereQ(q);
         QrcIntExpI* t[] = {QrcIntExp(p[0]).getImpl(), QrcIntExp(p[1]).getImpl(),
                            QrcIntExp(p[2]).getImpl()};
         return QrcSum(QrcManager(m), 3, t) <= 2;
       },
       qHasAValue,
       [](const V&) { return false; }},
      {"b == truth(Q <= 3), Q = [2,1][x] / [2,1][x] made a variable after",
       {{-1, 0}, {0, 1}},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>& later) {
         QrcIntExp x(v[0]);
         QrcIntExp q = at(m, {2, 1}, x) / at(m, {2, 1}, x);
         later.push_back(q);
         return QrcIntExp(v[1]) == QrcIntExp(q <= 3);
       },
       [](const V& s) { return s[0] == 0; },
       [](const V& s) { return s[1] == 1; }},
      {"QrcSum(truth(Q == 2), u0, truth(Q != 2)) > u0, Q made a variable after",
       {qrotest::range(-1, 2)},
       [](QrcManagerI* m, const Vars& v, std::vector<QrcIntExp>& later) {
         QrcIntExp q = fourOverTwo(m, v), u0(v[0]);
         later.push_back(q);
         QrcIntExpI* t[] = {QrcIntExp(q == 2).getImpl(), u0.getImpl(), QrcIntExp(q != 2).getImpl()};
         return QrcSum(QrcManager(m), 3, t) > u0;
       },
       qHasAValue,
       [](const V&) { return true; }},
  };
  runLaterRows(rows, 7450);
}

// ---------------------------------------------------------------- ranges

class NoValueRangeTest : public ctest::ConstraintTest {
 protected:
  static V range(QrcIntExpI* e) { return {e->getMin(), e->getMax()}; }
};

// The range of the positions inside the array, whatever the index's values
// outside: the node is only not bound while it may lose its value.
TEST_F(NoValueRangeTest, RangeOfThePositionsInside) {
  QrcIntExpI* x = var(-1, 2);
  QrcIntExpI* e = ints({4, 7, 1})[QrcIntExp(x)].getImpl();
  QrcIntExpI* same = ints({5, 5, 5})[QrcIntExp(x)].getImpl();
  QrcIntExpI* plus = (QrcIntExp(e) + 1).getImpl();
  QrcIntExpI* twice = (QrcIntExp(same) * 2).getImpl();
  QrcIntExpI* low = QrcMin(QrcIntExp(same), QrcIntExp(var(6, 9))).getImpl();
  EXPECT_EQ(range(e), (V{1, 7}));
  EXPECT_EQ(range(same), (V{5, 5}));
  EXPECT_EQ(range(plus), (V{2, 8}));
  EXPECT_EQ(range(twice), (V{10, 10}));
  EXPECT_EQ(range(low), (V{5, 5}));
  for (QrcIntExpI* n : {same, twice, low}) EXPECT_FALSE(n->isBound()) << ctest::show(n);
  // Inside the array the single value is bound.
  x->setMin(0);
  EXPECT_EQ(range(e), (V{1, 7}));
  for (QrcIntExpI* n : {same, twice, low}) EXPECT_TRUE(n->isBound()) << ctest::show(n);
  EXPECT_EQ(same->getValue(), 5);
}

// An element whose index is a node shows the range of the entries at the
// positions of the index's range inside the array, as over a variable index:
// none when those positions lie outside, and never less than the values.
TEST_F(NoValueRangeTest, NestedElementsShowTheRangeOfTheirIndexsPositions) {
  QrcIntExpI* u0 = var(-2, 0);
  QrcIntExpI* u1 = var(-1, 0);
  // [2][u1 + 1] shows [2, 2] and has no value at u1 = 0.
  QrcIntExp x = ints({2})[QrcIntExp(u1) + 1];
  EXPECT_EQ(range(x.getImpl()), (V{2, 2}));
  for (QrcIntExp e : {array({u0, u0})[x], ints({5, 6})[x]})
    EXPECT_GT(e.getImpl()->getMin(), e.getImpl()->getMax()) << ctest::show(e.getImpl());
  QrcIntExpI* u = var(0, 3);
  QrcIntExpI* deep = ints({2, 3, 4, -1})[ints({2})[QrcIntExp(u) - 1]].getImpl();
  EXPECT_EQ(range(deep), (V{4, 4}));
  // [0, 2, 1][[1, 2, 7][u]]: the index shows [1, 7], its positions 1 and 2.
  QrcIntExpI* two = ints({0, 2, 1})[ints({1, 2, 7})[QrcIntExp(u)]].getImpl();
  EXPECT_EQ(range(two), (V{1, 2}));
  // The index's range narrows with its operands, and the element's with it.
  u->setMax(0);
  EXPECT_EQ(range(two), (V{2, 2}));
  // u = 0 gives [2][-1], without a value: so has the element over it.
  EXPECT_GT(deep->getMin(), deep->getMax());
}

// A narrowing that the range already allows still gives the node a value:
// its index comes inside the array.
TEST_F(NoValueRangeTest, NarrowingGivesAValue) {
  struct Step {
    const char* name;
    std::function<void(QrcIntExpI*)> narrow;
  };
  const Step steps[] = {
      {"setMin", [](QrcIntExpI* n) { n->setMin(5); }},
      {"setMax", [](QrcIntExpI* n) { n->setMax(5); }},
      {"setRange", [](QrcIntExpI* n) { n->setRange(0, 9); }},
      {"setValue", [](QrcIntExpI* n) { n->setValue(5); }},
      {"removeValue", [](QrcIntExpI* n) { n->removeValue(9); }},
  };
  for (const Step& s : steps) {
    QrcIntExpI* x = var(-1, 3);
    QrcIntExpI* node = ints({5, 5, 5})[QrcIntExp(x)].getImpl();
    QrcIntExpI* sum = (QrcIntExp(node) + QrcIntExp(var(0, 0))).getImpl();
    ASSERT_TRUE(holds([&] { s.narrow(sum); })) << s.name;
    EXPECT_EQ(dom(x), (V{0, 1, 2})) << s.name;
  }
  // Without a value left, the narrowing fails.
  QrcIntExpI* out = var(3, 4);
  EXPECT_FALSE(holds([&] { ints({5, 5, 5})[QrcIntExp(out)].getImpl()->setMin(0); }));
}

// A demon hung on a node that may lose its value runs when it does; a truth
// value over it is decided then.
TEST_F(NoValueRangeTest, TruthDecidedWhenTheIndexLeaves) {
  QrcIntExpI* x = var(-1, 2);
  QrcIntExp e = ints({5, 5, 5})[QrcIntExp(x)];
  QrcIntVar b(mgr, 0, 1), nb(mgr, 0, 1);
  ASSERT_TRUE(adds(QrcIntExp(b) == QrcIntExp(e >= 5)));
  ASSERT_TRUE(adds(QrcIntExp(nb) == QrcIntExp(!(e >= 5))));
  EXPECT_EQ(dom(b.getImpl()), (V{0, 1}));
  x->setValue(-1);
  EXPECT_EQ(dom(b.getImpl()), (V{0}));
  EXPECT_EQ(dom(nb.getImpl()), (V{1}));
}

// Over an index that is a node, [3][[0, 1][u]] and {t}[[0, 1][u]] (no value
// at u = 1 nor at u = 2), the truth waits on the node's range too: it is
// decided once no value left to the node is a position, u not bound yet.
TEST_F(NoValueRangeTest, TruthDecidedWhenAnIndexNodeLeaves) {
  for (bool overVars : {false, true}) {
    QrcIntExpI* u = var(0, 2);
    QrcIntExp index = ints({0, 1})[QrcIntExp(u)];
    QrcIntVarArray t(mgr, 1);
    t.set(0, QrcIntExp(var(3, 3)));
    QrcIntExp e = overVars ? t[index] : ints({3})[index];
    QrcIntVar ge(mgr, 0, 1), eq(mgr, 0, 1), ne(mgr, 0, 1);
    ASSERT_TRUE(adds(QrcIntExp(ge) == QrcIntExp(e >= 1)));
    ASSERT_TRUE(adds(QrcIntExp(eq) == QrcIntExp(e == 3)));
    ASSERT_TRUE(adds(QrcIntExp(ne) == QrcIntExp(e != 3)));
    u->removeValue(0);
    for (QrcIntVar truth : {ge, eq, ne})
      EXPECT_EQ(dom(truth.getImpl()), (V{0})) << (overVars ? "{t}" : "[3]");
  }
}

// A disjunction over a comparison whose side e = [5, 5, 5][x] loses its value
// in a branch, after the branch before it failed or first: the comparison
// reads e's bounds afresh there, finds no value and posts the other side.
// Against s over every value, e's empty range at the limits meets nothing.
TEST_F(NoValueRangeTest, DisjunctionDecidedInABranch) {
  struct Cmp {
    const char* name;
    std::function<QrcConstraint(const QrcIntExp&, const QrcIntExp&)> make;
  };
  const Cmp cmps[] = {
      {"e != 4", [](const QrcIntExp& e, const QrcIntExp&) { return e != 4; }},
      {"e <= s", [](const QrcIntExp& e, const QrcIntExp& s) { return e <= s; }},
      {"s <= e", [](const QrcIntExp& e, const QrcIntExp& s) { return s <= e; }},
  };
  for (const Cmp& c : cmps)
    for (bool failedBefore : {false, true}) {
      QrcIntExpI* x = var(-1, 2);
      QrcIntExp e = ints({5, 5, 5})[QrcIntExp(x)];
      QrcIntVar y(mgr, 0, 1);
      ASSERT_TRUE(adds(c.make(e, QrcIntExp(var(QrcIntMin, QrcIntMax))) || (QrcIntExp(y) == 1)));
      V seen;
      std::function<void()> inside = [&] {
        x->setValue(0);
        m->fail();
      };
      std::function<void()> outside = [&] {
        x->setValue(-1);
        seen = dom(y.getImpl());
      };
      QrcGoal leave(new (m) qrotest::CallGoal(m, &outside));
      QrcSearch s(
          mgr, failedBefore ? QrcOr(QrcGoal(new (m) qrotest::CallGoal(m, &inside)), leave) : leave);
      EXPECT_TRUE(s.next());
      EXPECT_EQ(seen, (V{1})) << c.name << (failedBefore ? ", after a failed branch" : "");
      s.end();
    }
}

// The empty range of a node without a value lies at the limits: a side whose
// range reaches them (a variable over every value, a quotient by a divisor
// that holds 0) meets nothing there, and the truth is decided as the index
// leaves.
TEST_F(NoValueRangeTest, TruthDecidedAgainstASideOverEveryValue) {
  struct Cmp {
    const char* name;
    std::function<QrcConstraint(const QrcIntExp&, const QrcIntExp&)> make;
  };
  const Cmp cmps[] = {
      {"e == s", [](const QrcIntExp& e, const QrcIntExp& s) { return e == s; }},
      {"e <= s", [](const QrcIntExp& e, const QrcIntExp& s) { return e <= s; }},
      {"e >= s", [](const QrcIntExp& e, const QrcIntExp& s) { return e >= s; }},
      {"e < s", [](const QrcIntExp& e, const QrcIntExp& s) { return e < s; }},
      {"s > e", [](const QrcIntExp& e, const QrcIntExp& s) { return s > e; }},
  };
  const char* sides[] = {"a variable over every value", "w / d, d in -1..1", "w / 0"};
  for (const Cmp& c : cmps)
    for (int k = 0; k < 3; ++k) {
      QrcIntExpI* x = var(-1, 2);
      QrcIntExp e = ints({5, 6, 7})[QrcIntExp(x)];
      QrcIntExp w(var(-3, 3));
      QrcIntExp s = k == 0   ? QrcIntExp(var(QrcIntMin, QrcIntMax))
                    : k == 1 ? w / QrcIntExp(var(-1, 1))
                             : w / 0;
      QrcIntVar b(mgr, 0, 1);
      ASSERT_TRUE(adds(QrcIntExp(b) == QrcIntExp(c.make(e, s)))) << c.name << ", " << sides[k];
      x->setValue(-1);
      EXPECT_EQ(dom(b.getImpl()), (V{0})) << c.name << ", s " << sides[k];
    }
}

// ---------------------------------------------------------------- random formulas

// Formulas of comparisons over elements and quotients that may lack a value,
// joined by &&, || and !, with truth values in sums, arrays and comparisons,
// nodes made variables when built or after the posting and variables bound
// first, against brute force; and the range each term shows holds its
// values. Formula k runs with seed s + k; --qro_seed=N starts at N.
TEST(NoValue, RandomFormulasAgainstBruteForce) {
  const int rounds = 400;
  uint64_t seed = qrotest::caseSeed(7420);
  std::cout << "[ seed     ] " << seed << " (formulas " << seed << ".." << seed + rounds - 1
            << "; --qro_seed=N replays from N)" << std::endl;
  for (int k = 0; k < rounds; ++k) {
    uint64_t s = seed + static_cast<uint64_t>(k);
    qrotest::NoValueFormula f = qrotest::drawNoValueFormula(s);
    PropCase c = qrotest::noValueCase(f, s);
    c.name += " [--qro_seed=" + std::to_string(s) + "]";
    qrotest::Watchdog guard(c.name, 60);
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
    EXPECT_EQ(qrotest::noValueRangeError(f), "") << c.name;
  }
}

}  // namespace
