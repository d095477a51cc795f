// Element constraints and expressions with indexes outside the arrays, in
// their plain, negated and reified forms: y == a[x], y != a[x] and every
// comparison over a[x] or vars[x] hold only for an index inside the array;
// their opposites hold wherever it lies outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcelement.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcmember.h"
#include "qrctable.h"
#include "support/harness.h"

namespace {

using qrotest::PropCase;
using qrotest::Vars;
typedef std::vector<int64_t> V;

using ctest::arrayOn;

bool inside(const V& a, int64_t x) {
  return x >= 0 && x < static_cast<int64_t>(a.size());
}

// Variables: 0 the value y, 1 the index x, then the array variables of
// vars[x]. A form states a constraint over them and, through its checker, the
// assignments it accepts.
struct Form {
  const char* name;
  bool vars;  // over the array variables, not the constant array
  std::function<QrcConstraint(QrcManagerI*, const Vars&, const V&)> make;
  std::function<bool(const V&, const V&)> holds;
};

QrcIntExp y(const Vars& v) {
  return QrcIntExp(v[0]);
}
QrcIntExp x(const Vars& v) {
  return QrcIntExp(v[1]);
}
QrcIntExp ax(QrcManagerI* m, const Vars& v, const V& a) {
  return arrayOn(m, a)[x(v)];
}
QrcIntExp vx(QrcManagerI* m, const Vars& v, const V& a) {
  QrcIntVarArray vars(QrcManager(m), static_cast<QrcInt>(a.size()));
  for (size_t i = 0; i < a.size(); ++i) vars.set(static_cast<QrcInt>(i), QrcIntExp(v[i + 2]));
  return vars[x(v)];
}

// The element at s's index, when inside.
bool at(const V& a, const V& s, bool vars, int64_t& e) {
  if (!inside(a, s[1])) return false;
  size_t i = static_cast<size_t>(s[1]);
  e = vars ? s[i + 2] : a[i];
  return true;
}

template <class P>
std::function<bool(const V&, const V&)> over(bool vars, P p) {
  return [vars, p](const V& a, const V& s) {
    int64_t e;
    return at(a, s, vars, e) && p(e, s[0]);
  };
}

const std::vector<Form>& forms() {
  auto eq = [](int64_t e, int64_t yv) { return e == yv; };
  auto neq = [](int64_t e, int64_t yv) { return e != yv; };
  static const std::vector<Form> all = {
      {"QrcElementEq", false,
       [](QrcManagerI* m, const Vars& v, const V& a) {
         return QrcElementEq(y(v), arrayOn(m, a), x(v));
       },
       over(false, eq)},
      {"QrcElementNEq", false,
       [](QrcManagerI* m, const Vars& v, const V& a) {
         return QrcElementNEq(y(v), arrayOn(m, a), x(v));
       },
       over(false, neq)},
      {"QrcIntEltCallerCt", false,
       [](QrcManagerI* m, const Vars& v, const V& a) {
         return QrcIntEltCallerCt(y(v), arrayOn(m, a), x(v));
       },
       over(false, eq)},
      {"y == a[x]", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return y(v) == ax(m, v, a); },
       over(false, eq)},
      {"y != a[x]", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return y(v) != ax(m, v, a); },
       over(false, neq)},
      {"a[x] + 1 == y", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return ax(m, v, a) + 1 == y(v); },
       over(false, [](int64_t e, int64_t yv) { return e + 1 == yv; })},
      {"a[x] <= y", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return ax(m, v, a) <= y(v); },
       over(false, [](int64_t e, int64_t yv) { return e <= yv; })},
      {"a[x] == 3", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return ax(m, v, a) == 3; },
       over(false, [](int64_t e, int64_t) { return e == 3; })},
      {"a[x] != 3", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return ax(m, v, a) != 3; },
       over(false, [](int64_t e, int64_t) { return e != 3; })},
      {"a[x] >= 4", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return ax(m, v, a) >= 4; },
       over(false, [](int64_t e, int64_t) { return e >= 4; })},
      {"a[x] in {1, 4}", false,
       [](QrcManagerI* m, const Vars& v, const V& a) {
         return QrcMember(ax(m, v, a), arrayOn(m, {1, 4}));
       },
       over(false, [](int64_t e, int64_t) { return e == 1 || e == 4; })},
      {"y - a[x] + x == 0", false,
       [](QrcManagerI* m, const Vars& v, const V& a) { return y(v) - ax(m, v, a) + x(v) == 0; },
       [](const V& a, const V& s) {
         int64_t e;
         return at(a, s, false, e) && s[0] - e + s[1] == 0;
       }},
      {"a[x] <= a[x]", false,
       [](QrcManagerI* m, const Vars& v, const V& a) {
         QrcIntExp e = ax(m, v, a);
         return e <= e;
       },
       over(false, [](int64_t, int64_t) { return true; })},
      {"a[x] == a[x] + x", false,
       [](QrcManagerI* m, const Vars& v, const V& a) {
         QrcIntExp e = ax(m, v, a);
         return QrcLeOffset(e, e, 0) && e == e + x(v);
       },
       [](const V& a, const V& s) { return inside(a, s[1]) && s[1] == 0; }},
      {"vars[x] == y", true,
       [](QrcManagerI* m, const Vars& v, const V& a) { return vx(m, v, a) == y(v); },
       over(true, eq)},
      {"vars[x] != y", true,
       [](QrcManagerI* m, const Vars& v, const V& a) { return vx(m, v, a) != y(v); },
       over(true, neq)},
      {"vars[x] <= 2", true,
       [](QrcManagerI* m, const Vars& v, const V& a) { return vx(m, v, a) <= 2; },
       over(true, [](int64_t e, int64_t) { return e <= 2; })},
  };
  return all;
}

// The form, its opposite, its truth equal to a 0-1 variable and a connective
// drawn by the seed, each in a mode and timing drawn by the seed.
void runForm(const Form& f, const V& a, const V& ys, uint64_t seed) {
  PropCase c;
  c.name = std::string(f.name) + " a " + ::testing::PrintToString(a);
  c.seed = seed;
  c.values = {ys, qrotest::range(-2, static_cast<int64_t>(a.size()) + 1)};
  if (f.vars)
    for (size_t i = 0; i < a.size(); ++i) c.values.push_back({a[i], a[i] + 2});
  auto make = f.make;
  c.make = [make, a](QrcManagerI* m, const Vars& v) { return make(m, v, a).getImpl(); };
  auto holds = f.holds;
  c.check = [holds, a](const V& s) { return holds(a, s); };
  c.narrowRuns = 20;
  const qrotest::Shape connectives[] = {qrotest::Shape::And, qrotest::Shape::Or,
                                        qrotest::Shape::Iff, qrotest::Shape::Xor};
  qrotest::Rng rng(seed + c.name.size());
  EXPECT_EQ(qrotest::runWithShapes(
                c, {qrotest::Shape::Opposite, qrotest::Shape::Truth, connectives[rng() % 4]}),
            0)
      << c.name;
}

TEST(ElementOutside, SmallArray) {
  // With a = [5, 6, 7], y = 5 and x in -2..4, b == (y == a[x]) has 7 solutions
  // and !(y == a[x]) 6: x = -2, -1, 3 and 4 lie outside the array.
  for (const Form& f : forms()) {
    runForm(f, {5, 6, 7}, {5}, 1);
    runForm(f, {5, 6, 7}, {5, 7}, 2);
  }
}

// Arrays of each shape the makers choose a class by: empty, at most six
// entries, more with a compact span, more with a wide one; y bound or free.
TEST(ElementOutside, EveryClassAgainstBruteForce) {
  for (int k = 0; k < 16; ++k) {
    uint64_t seed = qrotest::caseSeed(5600 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    int shape = k % 4;
    size_t n = shape == 0 ? 0 : shape == 1 ? 1 + rng() % 6 : 7 + rng() % 3;
    int64_t span = shape == 3 ? 1000 : 8;
    V a;
    for (size_t i = 0; i < n; ++i)
      a.push_back(i > 0 && rng() % 3 == 0 ? a[rng() % i] : static_cast<int64_t>(rng() % span));
    if (shape == 3) a[0] = 999;
    V ys = {3, 4};
    for (int64_t v : a)
      if (rng() % 2) ys.push_back(v);
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    if (k % 3 == 0) ys = {ys[rng() % ys.size()]};
    for (const Form& f : forms()) {
      if (f.vars && n > 4) continue;
      runForm(f, a, ys, seed);
    }
  }
}

// ---------------------------------------------------------------- opposites

class ElementOppositeTest : public ctest::ConstraintTest {
 protected:
  template <class T>
  static bool is(QrcConstraintI* ct) {
    return ct && ct->isType(T::GetTypeInfo());
  }
};

TEST_F(ElementOppositeTest, OppositesKeepTheIndexesOutside) {
  QrcIntExpI* yv = var(0, 9);
  QrcIntExpI* xv = var(-1, 3);
  QrcConstraintI* eq = QrcElementEq(yv, ints({5, 6, 7}), xv).getImpl();
  QrcConstraintI* neq = eq->getOpposite();
  ASSERT_TRUE(is<QrcStaticElementNEqI>(neq));
  EXPECT_EQ(neq->getOpposite(), eq);
  QrcConstraintI* partial = QrcElementNEq(yv, ints({5, 6, 7}), xv).getImpl()->getOpposite();
  ASSERT_TRUE(is<QrcPartialElementEqI>(partial));
  QrcManager other(QrcNoEdit);
  EXPECT_TRUE(is<QrcPartialElementEqI>(partial->getCopyForManager(other.getImpl())));
  other.end();
  // Neither opposite can be false while the index may lie outside.
  yv->setValue(5);
  xv->removeValue(1);
  xv->removeValue(2);
  EXPECT_FALSE(neq->isFalse());
  EXPECT_FALSE(partial->isFalse());
  // y == a[x] or x outside: the inner indexes whose value y lacks go first;
  // once x is inside the array, y follows.
  QrcIntExpI* y2 = var(0, 9);
  QrcIntExpI* x2 = var(-1, 3);
  ASSERT_TRUE(adds(partial = QrcElementNEq(y2, ints({5, 6, 7}), x2).getImpl()->getOpposite()));
  y2->removeValue(6);
  EXPECT_EQ(dom(x2), (ctest::V{-1, 0, 2, 3}));
  EXPECT_EQ(dom(y2), (ctest::V{0, 1, 2, 3, 4, 5, 7, 8, 9}));
  x2->setRange(0, 2);
  EXPECT_EQ(dom(y2), (ctest::V{5, 7}));
  // The constant classes and their names.
  QrcIntExpI* x3 = var(-1, 3);
  QrcConstraintI* cst = QrcElementEq(var(5, 5), ints({5, 6, 7}), x3, "c").getImpl();
  ASSERT_TRUE(adds(cst->getOpposite()));
  EXPECT_EQ(ctest::show(cst->getOpposite()), "c");
  EXPECT_EQ(dom(x3), (ctest::V{-1, 1, 2, 3}));
}

// A comparison over an element whose index is bound outside the array is
// known false: its truth is 0 without waiting for the other operand.
TEST_F(ElementOppositeTest, TruthIsKnownOnceTheIndexLiesOutside) {
  QrcIntExpI* xv = var(-2, 4);
  QrcIntExp y(var(5, 7));
  QrcIntExp e = ints({5, 6, 7})[QrcIntExp(xv)];
  QrcIntVarArray vars = array({var(5, 9), var(5, 9), var(5, 9)});
  QrcIntExp ve = vars[QrcIntExp(xv)];
  QrcIntVar differs(mgr, 0, 1), differsCst(mgr, 0, 1), differsVar(mgr, 0, 1);
  ASSERT_TRUE(adds(QrcIntExp(differs) == QrcIntExp(y != e)));
  ASSERT_TRUE(adds(QrcIntExp(differsCst) == QrcIntExp(e != 6)));
  ASSERT_TRUE(adds(QrcIntExp(differsVar) == QrcIntExp(ve != y)));
  xv->setValue(-2);
  EXPECT_EQ(dom(differs.getImpl()), (ctest::V{0}));
  EXPECT_EQ(dom(differsCst.getImpl()), (ctest::V{0}));
  EXPECT_EQ(dom(differsVar.getImpl()), (ctest::V{0}));
}

TEST_F(ElementOppositeTest, ExpressionOppositesHoldOutside) {
  QrcIntExpI* xv = var(0, 3);
  QrcIntExp e = ints({5, 6, 7})[QrcIntExp(xv)];
  // a[x] != 6 or x outside the array: x = 3 stays, and x = 1 goes once x
  // lies inside the array.
  ASSERT_TRUE(adds(!(e == 6)));
  EXPECT_TRUE(xv->isInDomain(3));
  xv->removeValue(3);
  EXPECT_EQ(dom(xv), (ctest::V{0, 2}));
  // An index inside the array leaves the plain opposite.
  QrcIntExpI* inner = var(0, 2);
  QrcConstraintI* o = (ints({5, 6, 7})[QrcIntExp(inner)] == 6).getImpl()->getOpposite();
  EXPECT_TRUE(is<QrcNeqCstConstraint>(o));
  // A node turned into a variable always has a value.
  QrcIntExpI* z = var(0, 5);
  QrcIntVar tied(ints({5, 6, 7})[QrcIntExp(z)]);
  EXPECT_EQ(tied.getImpl()->makeUndefinedConstraint(), nullptr);
  EXPECT_EQ(dom(z), (ctest::V{0, 1, 2}));
  // vars[x] over an empty array has no value anywhere: its opposites always hold.
  QrcIntVarArray none(mgr, 0);
  QrcIntExp empty = none[QrcIntExp(var(0, 2))];
  EXPECT_TRUE(adds(!(empty == QrcIntExp(var(0, 1)))));
  EXPECT_FALSE(adds(empty == QrcIntExp(var(0, 1))));
}

// vars[index] becomes the element at the index's value when a generic
// constraint is copied: negated and reified forms over an index outside the
// array report the bad index, as the plain form does.
TEST_F(ElementOppositeTest, GenericElementOutsideReportsTheIndex) {
  QrcIntExpI* x0 = var(1, 3);
  QrcIntExpI* x1 = var(5, 9);
  QrcIntVarArray xs = array({x0, x1});
  QrcIndex index;
  QrcIntExp g = xs[index];
  QrcIntExpI* b = var(0, 1);
  QrcConstraintI* negated = (!(g == 3)).getImpl();
  QrcConstraintI* reified = (QrcIntExp(b) == QrcIntExp(g == 3)).getImpl();
  index.getImpl()->setValue(2);
  for (QrcConstraintI* ct : {negated, reified}) {
    QrcManager target(QrcNoEdit);
    target.getImpl()->setErrorReporter(&reporter);
    EXPECT_EQ(errorLine([&] { ct->getCopyForManager(target.getImpl()); }),
              "Solver Error : QrcGenIntVarI::makeCopy : bad index : 2\n");
    target.getImpl()->setErrorReporter(nullptr);
    target.end();
  }
}

// ---------------------------------------------------------------- ranges

// The range of an element whose index may leave its array is that of the
// positions inside (the node is not bound while it may lose its value),
// never the whole integer range.
TEST_F(ElementOppositeTest, RangeIsThatOfThePositionsInside) {
  QrcIntExpI* z = var(0, 2);
  QrcIntExp e = ints({5, 7})[QrcIntExp(z)];
  EXPECT_EQ(e.getImpl()->getMin(), 5);
  EXPECT_EQ(e.getImpl()->getMax(), 7);
  QrcIntExp s = e + QrcIntExp(var(0, 1));
  EXPECT_EQ(s.getImpl()->getMin(), 5);
  EXPECT_EQ(s.getImpl()->getMax(), 8);
  QrcIntExpI* k = var(-1, 0);
  QrcIntExp one = ints({6})[QrcIntExp(k)];
  EXPECT_EQ(one.getImpl()->getMin(), 6);
  EXPECT_EQ(one.getImpl()->getMax(), 6);
  EXPECT_FALSE(one.getImpl()->isBound());
  QrcIntExp ve = array({var(2, 3), var(0, 9)})[QrcIntExp(var(-3, 0))];
  EXPECT_EQ(ve.getImpl()->getMin(), 2);
  EXPECT_EQ(ve.getImpl()->getMax(), 3);
  // Inside the array, the exact range.
  z->setMax(1);
  EXPECT_EQ(e.getImpl()->getMin(), 5);
  EXPECT_EQ(e.getImpl()->getMax(), 7);
  k->setValue(0);
  EXPECT_EQ(one.getImpl()->getMin(), 6);
  EXPECT_TRUE(one.getImpl()->isBound());
}

class Below : public QrcIntBinaryPredicateI {
 public:
  QrcBool isTrue(QrcInt a, QrcInt b) override { return a < b; }
};

// A binary predicate table over [5, 7][z] + w, which becomes a variable over
// the node's range: the table demands a value, so z stays inside the array.
TEST(ElementOutside, PredicateTableOverAnElementSum) {
  static Below below;
  PropCase c;
  c.name = "table [5, 7][z] + w < u";
  c.seed = qrotest::caseSeed(5700);
  c.notReified = "a table has no opposite";
  c.callersCode = true;
  c.values = {qrotest::range(-1, 2), {0, 1}, qrotest::range(0, 9)};
  c.make = [](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray vars(QrcManager(m), 2);
    vars.set(0, arrayOn(m, {5, 7})[QrcIntExp(v[0])] + QrcIntExp(v[1]));
    vars.set(1, QrcIntExp(v[2]));
    return QrcTableConstraint(vars, QrcIntBinaryPredicate(&below)).getImpl();
  };
  c.check = [](const V& s) {
    V a = {5, 7};
    return inside(a, s[0]) && a[static_cast<size_t>(s[0])] + s[1] < s[2];
  };
  EXPECT_EQ(qrotest::runPropCase(c), 0);
}

}  // namespace
