// Element constraints y == a[x] and y != a[x], the expressions a[x] and
// vars[x], and the generic vars[index]: fixed cases, displays, errors, the
// equality hook, isFalse on random states, and brute force through the harness.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "qrcelement.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "constraint_fixtures.h"
#include "support/harness.h"
#include "support/seed.h"

namespace {

using ctest::show;
using ctest::V;

class ElementTest : public ctest::ConstraintTest {
 protected:
  static V dom(QrcIntExpI* x) {
    if (x->getMin() > x->getMax()) return V();
    return ConstraintTest::dom(x);
  }
  template <class T>
  static bool is(QrcConstraintI* ct) {
    return ct && ct->isType(T::GetTypeInfo());
  }
  static std::string demonText(QrcConstraintList& list) {
    return show(static_cast<QrcDemonI*>(list.getHead()->item));
  }
};

// ---------------------------------------------------------------- y == a[x], y != a[x]

TEST_F(ElementTest, ClassesChosenByShape) {
  QrcIntExpI* y = var(0, 100);
  QrcIntExpI* x = var(0, 9);
  V narrow = {0, 57, 3, 3, 9, 20, 41}, wide = {0, 100, 3, 3, 9, 20, 41};
  EXPECT_TRUE(is<QrcStaticCstElementEqI>(QrcElementEq(var(5, 5), ints({1, 5}), x).getImpl()));
  EXPECT_EQ(QrcElementEq(y, ints({}), x).getImpl(), m->getFalseConstraint());
  EXPECT_TRUE(is<QrcStaticElementEqI>(QrcElementEq(y, ints({1, 2, 3, 4, 5, 6}), x).getImpl()));
  QrcConstraintI* inc = QrcElementEq(y, ints(narrow), x).getImpl();
  EXPECT_TRUE(is<QrcIncrementalStaticElementEqI>(inc));
  EXPECT_TRUE(is<QrcIntEltCallerCtI>(QrcElementEq(y, ints(wide), x).getImpl()));
  // A span that does not fit in 64 bits counts as wide.
  V huge = {QrcInt64Max, -QrcInt64Max - 1, 0, 0, 0, 0, 0};
  EXPECT_TRUE(is<QrcIntEltCallerCtI>(QrcElementEq(y, ints(huge), x).getImpl()));
  EXPECT_TRUE(is<QrcStaticCstElementNEqI>(QrcElementNEq(var(4, 4), ints({4}), x).getImpl()));
  EXPECT_TRUE(is<QrcStaticElementNEqI>(QrcElementNEq(y, ints({}), x).getImpl()));
  // Opposites and copies.
  EXPECT_TRUE(is<QrcStaticElementNEqI>(inc->getOpposite()));
  EXPECT_TRUE(is<QrcIncrementalStaticElementEqI>(inc->getOpposite()->getOpposite()));
  QrcConstraintI* cst = QrcElementEq(var(5, 5), ints({1, 5}), x, "c").getImpl();
  EXPECT_TRUE(is<QrcStaticCstElementNEqI>(cst->getOpposite()));
  EXPECT_EQ(show(cst->getOpposite()), "c");
  QrcManager other(QrcNoEdit);
  QrcConstraintI* copy = inc->getCopyForManager(other.getImpl());
  EXPECT_TRUE(is<QrcIncrementalStaticElementEqI>(copy));
  EXPECT_EQ(copy->getManager(), other.getImpl());
  other.end();
}

TEST_F(ElementTest, FixedCases) {
  // The constant class: x keeps the positions holding 5.
  QrcIntExpI* x = var(-3, 10);
  ASSERT_TRUE(adds(QrcElementEq(var(5, 5), ints({1, 5, 5, 2}), x).getImpl()));
  EXPECT_EQ(dom(x), (V{1, 2}));
  // The static class.
  QrcIntExpI* y = var(0, 10);
  x = var(-5, 5);
  ASSERT_TRUE(adds(QrcElementEq(y, ints({2, 4, 4, 8}), x).getImpl()));
  EXPECT_EQ(dom(y), (V{2, 4, 8}));
  EXPECT_EQ(dom(x), (V{0, 1, 2, 3}));
  y->removeValue(4);
  EXPECT_EQ(dom(x), (V{0, 3}));
  // y != a[x] with every entry equal to y fails at once.
  EXPECT_FALSE(adds(QrcElementNEq(var(4, 4), ints({4, 4, 4}), var(0, 2)).getImpl()));
  // y != a[x] over an empty array fails at its first propagation.
  EXPECT_FALSE(adds(QrcElementNEq(var(0, 3), ints({}), var(0, 3)).getImpl()));
  // The general class: x down to two indices holding 2 and 9.
  y = var(0, 200);
  x = var(0, 9);
  V wide = {5, 2, 100, 9, 7, 7, 150, 0};
  ASSERT_TRUE(adds(QrcElementEq(y, ints(wide), x).getImpl()));
  EXPECT_EQ(dom(y), (V{0, 2, 5, 7, 9, 100, 150}));
  x->setRange(1, 3);
  x->removeValue(2);
  EXPECT_EQ(dom(y), (V{2, 9}));
  y->setValue(9);
  EXPECT_EQ(dom(x), (V{3}));
}

TEST_F(ElementTest, IncrementalSupportsFollowTheRing) {
  // Value 50 sits at indices 3, 9 and 12; every other entry is distinct.
  V a = {0, 1, 2, 50, 4, 5, 6, 7, 8, 50, 10, 11, 50};
  QrcIntExpI* y = var(0, 60);
  QrcIntExpI* x = var(0, 12);
  QrcConstraintI* ct = QrcElementEq(y, ints(a), x).getImpl();
  ASSERT_TRUE(is<QrcIncrementalStaticElementEqI>(ct));
  ASSERT_TRUE(adds(ct));
  auto* inc = static_cast<QrcIncrementalStaticElementEqI*>(ct);
  EXPECT_EQ(inc->getSupport(50), 12);
  x->removeValue(12);
  EXPECT_EQ(inc->getSupport(50), 3);
  EXPECT_TRUE(y->isInDomain(50));
  x->removeValue(3);
  EXPECT_TRUE(y->isInDomain(50));
  x->removeValue(9);
  EXPECT_FALSE(y->isInDomain(50));
  // A lost value takes its whole ring out of x.
  x->setValue(4);
  EXPECT_TRUE(y->isBound() && y->getValue() == 4);
}

TEST_F(ElementTest, Displays) {
  QrcIntExpI* y = var(0, 9, "y");
  QrcIntExpI* x = var(0, 1, "x");
  std::string yx = show(y), xs = show(x);
  EXPECT_EQ(show(QrcElementEq(y, ints({3, 5}), x).getImpl()), yx + " == [3 5 ][" + xs + "]");
  V wide = {0, 500, 1, 2, 3, 4, 5};
  EXPECT_EQ(show(QrcElementEq(y, ints(wide), x).getImpl()),
            yx + " == [0 500 1 2 3 4 5 ][" + xs + "]");
  EXPECT_EQ(show(QrcElementEq(y, ints({3, 5}), x, "named").getImpl()), "named");
  // The six demons.
  QrcIntExpI* y1 = var(0, 300);
  QrcIntExpI* x1 = var(0, 9);
  ASSERT_TRUE(adds(QrcElementEq(y1, ints(wide), x1).getImpl()));
  EXPECT_EQ(demonText(y1->getIntHandler()->getDomainDemons()), "DemonIntElementFilterX");
  EXPECT_EQ(demonText(x1->getIntHandler()->getDomainDemons()), "DemonIntElementFilterY");
  QrcIntExpI* y2 = var(0, 9);
  QrcIntExpI* x2 = var(0, 9);
  ASSERT_TRUE(adds(QrcElementEq(y2, ints({0, 1, 2, 3, 4, 5, 6, 7}), x2).getImpl()));
  EXPECT_EQ(demonText(y2->getIntHandler()->getDomainDemons()),
            "QrcNewIncrementalStaticElementEqVarDomainI");
  EXPECT_EQ(demonText(x2->getIntHandler()->getDomainDemons()),
            "QrcIncrementalStaticElementEqIndexDomainI");
  QrcIntExpI* y3 = var(0, 9);
  QrcIntExpI* x3 = var(0, 3);
  ASSERT_TRUE(adds(QrcElementNEq(y3, ints({1, 2, 3}), x3).getImpl()));
  EXPECT_EQ(demonText(y3->getIntHandler()->getValueDemons()), "QrcStaticElementNEqVarValueI");
  EXPECT_EQ(demonText(x3->getIntHandler()->getValueDemons()), "QrcStaticElementNEqIndexValueI");
}

// ---------------------------------------------------------------- a[x] and vars[x]

TEST_F(ElementTest, ConstantArrayElement) {
  QrcIntArray a = ints({4, 7, 1});
  QrcIntExp bound = a[QrcIntExp(var(1, 1))];
  EXPECT_TRUE(bound.isBound());
  EXPECT_EQ(bound.getValue(), 7);
  QrcIntExpI* out = var(5, 5, "k");
  QrcIntExpI* e = a[QrcIntExp(out)].getImpl();
  EXPECT_GT(e->getMin(), e->getMax());
  EXPECT_EQ(show(e), "QrcElem Bad Index:k[5])");
  EXPECT_FALSE(holds([&] { e->setRange(0, 100); }));
  QrcIntExpI* x = var(0, 2);
  QrcIntExpI* ax = a[QrcIntExp(x)].getImpl();
  EXPECT_EQ(show(ax), "QrcElem [4 7 1]");
  ax->setRange(3, 8);
  EXPECT_EQ(dom(x), (V{0, 1}));
  EXPECT_EQ(show(ax), "QrcElem [4 7]");
  ax->removeValue(7);
  EXPECT_EQ(dom(x), (V{0}));
  EXPECT_EQ(show(ax), "QrcElem 4");
  // As a variable: the node's domain follows x through an element constraint.
  QrcIntExpI* z = var(0, 3);
  QrcIntVar v(a[QrcIntExp(z)]);
  EXPECT_EQ(dom(v.getImpl()), (V{1, 4, 7}));
  z->removeValue(1);
  EXPECT_EQ(dom(v.getImpl()), (V{1, 4}));
  v.removeValue(4);
  EXPECT_EQ(dom(z), (V{2}));
  // A wide span ties the node by the value-index class.
  QrcIntExpI* w = ints({0, 1000000000000, 5})[QrcIntExp(var(0, 9))].getImpl();
  QrcConstraintI* tie = w->makeEventHandlerConstraint();
  EXPECT_TRUE(is<QrcIntEltCallerCtI>(tie));
  EXPECT_EQ(dom(w), (V{0, 5, 1000000000000}));
  EXPECT_EQ(w->makeEventHandlerConstraint(), nullptr);
}

TEST_F(ElementTest, VariableArrayElement) {
  QrcIntExpI* v0 = var(0, 5);
  QrcIntExpI* v1 = var(3, 3);
  QrcIntExpI* v2 = var(3, 4);
  QrcIntVarArray vars = array({v0, v1, v2});
  EXPECT_EQ(vars[QrcIntExp(var(2, 2))].getImpl(), v2);
  QrcIntExpI* x = var(0, 2);
  QrcIntExpI* e = vars[QrcIntExp(x)].getImpl();
  EXPECT_EQ(e->getMin(), 0);
  EXPECT_EQ(e->getMax(), 5);
  EXPECT_EQ(show(e), "QrcElemI[ " + show(v0) + " " + show(v1) + " " + show(v2) + " ]");
  e->removeValue(3);  // only index 1 is bound to 3
  EXPECT_EQ(dom(x), (V{0, 2}));
  e->setRange(5, 9);
  EXPECT_EQ(dom(x), (V{0}));
  EXPECT_EQ(dom(v0), (V{5}));
  EXPECT_EQ(show(vars[QrcIntExp(var(7, 7, "k"))].getImpl()), "QrcElemI[Bad Index:k[7])");
  // Without an index inside the array, narrowing fails.
  QrcIntExpI* outside = vars[QrcIntExp(var(4, 6))].getImpl();
  EXPECT_GT(outside->getMin(), outside->getMax());
  EXPECT_FALSE(holds([&] { outside->setRange(0, 100); }));
  EXPECT_FALSE(holds([&] { outside->setValue(3); }));
}

// A demon counting its runs.
class CountDemon : public QrcDemonI {
 public:
  explicit CountDemon(QrcManagerI* m) : QrcDemonI(m) {}
  void propagate() override { ++runs; }
  int runs = 0;
};

TEST_F(ElementTest, ValueDemonOfVariableArrayElement) {
  QrcIntExpI* v0 = var(0, 5);
  QrcIntExpI* v1 = var(0, 5);
  QrcIntExpI* x = var(0, 1);
  auto* d = new (m) CountDemon(m);
  array({v0, v1})[QrcIntExp(x)].getImpl()->whenValue(d);
  x->setValue(1);
  EXPECT_EQ(d->runs, 0);
  v0->setValue(2);
  EXPECT_EQ(d->runs, 0);
  v1->setValue(2);
  EXPECT_EQ(d->runs, 1);
  // The chosen variable already bound when the index is.
  QrcIntExpI* y = var(0, 1);
  auto* d2 = new (m) CountDemon(m);
  array({var(0, 5), var(2, 2)})[QrcIntExp(y)].getImpl()->whenValue(d2);
  y->setValue(1);
  EXPECT_EQ(d2->runs, 1);
}

// ---------------------------------------------------------------- generic element and hooks

TEST_F(ElementTest, GenericElement) {
  QrcIntExpI* x0 = var(1, 3);
  QrcIntExpI* x1 = var(5, 9);
  QrcIntVarArray xs = array({x0, x1});
  QrcIndex index;
  QrcIntExpI* g = xs[index].getImpl();
  ASSERT_NE(index.getImpl(), nullptr);
  EXPECT_EQ(g->getMin(), 1);
  EXPECT_EQ(g->getMax(), 9);
  QrcIntVarArray other = array({var(0, 1)});
  other[index];
  EXPECT_EQ(index.getImpl()->getArray(), xs.getImpl());
  EXPECT_EQ(errorLine([&] { g->setRange(2, 4); }),
            "Solver Error : QrcIndexI::getValue : unbound index : QrcIndex\n");
  QrcConstraintI* ct = (QrcIntExp(g) == 3).getImpl();
  QrcManager target(QrcNoEdit);
  target.getImpl()->setErrorReporter(&reporter);
  EXPECT_EQ(errorLine([&] { ct->getCopyForManager(target.getImpl()); }),
            "Solver Error : QrcIndexI::getValue : unbound index : QrcIndex\n");
  target.getImpl()->setErrorReporter(nullptr);
  target.end();
  index.getImpl()->setValue(1);
  QrcConstraintI* copy = ct->getCopyForManager(m);
  ASSERT_TRUE(is<QrcUnaryConstraintI>(copy));
  EXPECT_EQ(static_cast<QrcUnaryConstraintI*>(copy)->getExpr(), x1);
  // A shorter array indexed by the same placeholder.
  QrcConstraintI* ct2 = (QrcIntExp(other[index].getImpl()) == 0).getImpl();
  EXPECT_EQ(errorLine([&] { ct2->getCopyForManager(m); }),
            "Solver Error : QrcGenIntVarI::makeCopy : bad index : 1\n");
}

TEST_F(ElementTest, EqualityHooks) {
  QrcIntArray a = ints({1, 5, 5, 2});
  QrcIntExpI* y = var(0, 9);
  QrcIntExpI* x = var(0, 3);
  QrcIntExp ax = a[QrcIntExp(x)];
  EXPECT_TRUE(is<QrcStaticElementEqI>((QrcIntExp(y) == ax).getImpl()));
  EXPECT_TRUE(is<QrcStaticElementEqI>((ax == QrcIntExp(y)).getImpl()));
  EXPECT_TRUE(is<QrcStaticElementNEqI>(ax.getImpl()->makeStaticElementNEq(y)));
  QrcIntExp big = ints({0, 1, 2, 3, 4, 5, 6, 7})[QrcIntExp(var(0, 7))];
  EXPECT_TRUE(is<QrcIncrementalStaticElementEqI>((big == QrcIntExp(y)).getImpl()));
  // An index expression is made a variable.
  QrcIntExp sum = QrcIntExp(var(0, 2)) + 1;
  QrcConstraintI* ct = a[sum].getImpl()->makeStaticElementEq(y);
  EXPECT_TRUE(sum.getImpl()->isVariable());
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(dom(y), (V{2, 5}));
  EXPECT_EQ(array({y})[QrcIntExp(x)].getImpl()->makeStaticElementEq(y), nullptr);
}

// Records the visitor operation an expression reached; the element
// operations take their expression when take is set.
struct KindVisitor : QrcIntExpVisitorI {
  explicit KindVisitor(bool takeElements) : take(takeElements) {}
  void visitIntExp(QrcIntExpI*) override { seen = "any"; }
  QrcBool visitElemCst(QrcElemCst*) override { return took("a[x]"); }
  QrcBool visitElemVar(QrcElemI*) override { return took("vars[x]"); }
  QrcBool visitGenIntVar(QrcGenIntVarI*) override { return took("vars[index]"); }
  QrcBool took(const char* kind) {
    if (take) seen = kind;
    return take;
  }
  bool take;
  std::string seen;
};

TEST_F(ElementTest, VisitorsAndGenericCounts) {
  QrcIntExpI* x = var(0, 2);
  QrcIntVarArray xs = array({var(0, 1), var(0, 1), var(0, 1)});
  QrcIndex index;
  QrcIntExpI* g = xs[index].getImpl();
  struct Case {
    QrcIntExpI* e;
    const char* kind;
  };
  const Case cases[] = {{ints({4, 7, 1})[QrcIntExp(x)].getImpl(), "a[x]"},
                        {xs[QrcIntExp(x)].getImpl(), "vars[x]"},
                        {g, "vars[index]"},
                        {x, "any"}};
  for (const Case& c : cases) {
    KindVisitor taking(true), passing(false);
    c.e->accept(&taking);
    c.e->accept(&passing);
    EXPECT_EQ(taking.seen, c.kind);
    EXPECT_EQ(passing.seen, "any");
  }
  // Only vars[index] counts, over its own index.
  QrcIndex other;
  array({var(0, 1)})[other];
  EXPECT_EQ(g->makeGenericCount(other.getImpl(), 1), nullptr);
  EXPECT_EQ(x->makeGenericCount(index.getImpl(), 1), nullptr);
  QrcIntExpI* count = g->makeGenericCount(index.getImpl(), 1);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(dom(count), (V{0, 1, 2, 3}));
  xs[0].getImpl()->setValue(1);
  xs[1].getImpl()->setValue(0);
  EXPECT_EQ(dom(count), (V{1, 2}));
}

// ---------------------------------------------------------------- isFalse on random states

TEST_F(ElementTest, IsFalseOnRandomStates) {
  qrotest::Rng rng(qrotest::caseSeed(38));
  for (int trial = 0; trial < 400; ++trial) {
    QrcInt n = static_cast<QrcInt>(rng() % 13);
    V a(static_cast<size_t>(n));
    for (QrcInt& v : a) v = static_cast<QrcInt>(rng() % 6) * (trial % 2 ? 1 : 30);
    auto pick = [&](QrcInt lo, QrcInt hi) {
      V d;
      for (QrcInt v = lo; v <= hi; ++v)
        if (rng() % 3 == 0) d.push_back(v);
      if (d.empty()) d.push_back(lo + static_cast<QrcInt>(rng() % (hi - lo + 1)));
      return d;
    };
    V yd = pick(-2, trial % 2 ? 7 : 160), xd = pick(-2, n + 1);
    if (rng() % 4 == 0) yd.resize(1);
    QrcIntExpI* y = var(yd);
    QrcIntExpI* x = var(xd);
    QrcIntArray arr = ints(a);
    bool someEq = false, someNeq = false;
    for (QrcInt i : xd) {
      if (i < 0 || i >= n) continue;
      for (QrcInt v : yd) (v == a[static_cast<size_t>(i)] ? someEq : someNeq) = true;
    }
    std::ostringstream what;
    what << "trial " << trial;
    QrcConstArrayI* ca = QrcConstArray(mgr, arr).getImpl();
    std::vector<QrcConstraintI*> eqs = {
        new (m) QrcStaticElementEqI(m, y, arr, x, 0),
        new (m) QrcIncrementalStaticElementEqI(m, y, arr, x, 0),
        new (m) QrcIntEltCallerCtI(m, y, ca, x),
        new (m) QrcIntElementConstraintI(m, y, ca, x),
    };
    for (QrcConstraintI* ct : eqs) EXPECT_EQ(ct->isFalse() != 0, !someEq) << what.str();
    QrcConstraintI* neq = new (m) QrcStaticElementNEqI(m, y, arr, x);
    if (neq->isFalse()) {
      EXPECT_FALSE(someNeq) << what.str();
    }
    QrcInt c = yd[0];
    bool cEq = false, cNeq = false;
    for (QrcInt i : xd)
      if (i >= 0 && i < n) (a[static_cast<size_t>(i)] == c ? cEq : cNeq) = true;
    EXPECT_EQ((new (m) QrcStaticCstElementEqI(m, c, arr, x))->isFalse() != 0, !cEq) << what.str();
    EXPECT_EQ((new (m) QrcStaticCstElementNEqI(m, c, arr, x))->isFalse() != 0, !cNeq) << what.str();
    // The incremental class's remembered support after narrowing.
    auto* inc = eqs[1];
    inc->isFalse();
    for (size_t k = 1; k < xd.size(); ++k)
      if (rng() % 2) x->removeValue(xd[k]);
    someEq = false;
    for (QrcInt i : dom(x))
      if (i >= 0 && i < n && y->isInDomain(a[static_cast<size_t>(i)])) someEq = true;
    EXPECT_EQ(inc->isFalse() != 0, !someEq) << what.str() << " after narrowing";
  }
}

// ---------------------------------------------------------------- harness

using qrotest::Consistency;
using qrotest::PropCase;
using qrotest::Vars;

struct Data {
  V a;
  std::vector<int64_t> ys, xs;
};

// n in 0..12 with repeated values; a compact or a wide span; y over some of
// the array's values and some others; x over [-2, n + 1].
Data draw(qrotest::Rng& rng, bool wide) {
  Data d;
  QrcInt n = static_cast<QrcInt>(rng() % 13);
  QrcInt span = wide ? 10 * n + 40 : 6 * n + 16;
  for (QrcInt i = 0; i < n; ++i) {
    bool repeat = i > 0 && rng() % 3 == 0;
    d.a.push_back(repeat ? d.a[rng() % static_cast<size_t>(i)]
                         : static_cast<QrcInt>(rng() % static_cast<uint64_t>(span)));
  }
  if (wide && n > 0) d.a[0] = span - 1;
  for (QrcInt v : d.a)
    if (rng() % 4 != 0) d.ys.push_back(v);
  for (int k = 0; k < 2; ++k) d.ys.push_back(static_cast<int64_t>(rng() % 20) - 2);
  std::sort(d.ys.begin(), d.ys.end());
  d.ys.erase(std::unique(d.ys.begin(), d.ys.end()), d.ys.end());
  d.xs = qrotest::range(-2, n + 1);
  return d;
}

bool inArray(const V& a, int64_t x) {
  return x >= 0 && x < static_cast<int64_t>(a.size());
}

using ctest::arrayOn;

typedef std::function<QrcConstraintI*(QrcManagerI*, QrcIntExpI*, const QrcIntArray&, QrcIntExpI*)>
    Maker;

TEST(ElementHarness, EqualityClassesAreDomainConsistent) {
  std::vector<std::pair<const char*, Maker>> makers = {
      {"static", [](QrcManagerI* m, QrcIntExpI* y, const QrcIntArray& a,
                    QrcIntExpI* x) { return new (m) QrcStaticElementEqI(m, y, a, x, 1); }},
      {"incremental",
       [](QrcManagerI* m, QrcIntExpI* y, const QrcIntArray& a, QrcIntExpI* x) {
         return new (m) QrcIncrementalStaticElementEqI(m, y, a, x, 1);
       }},
      {"value index", [](QrcManagerI*, QrcIntExpI* y, const QrcIntArray& a,
                         QrcIntExpI* x) { return QrcIntEltCallerCt(y, a, x).getImpl(); }},
      {"QrcElementEq", [](QrcManagerI*, QrcIntExpI* y, const QrcIntArray& a,
                          QrcIntExpI* x) { return QrcElementEq(y, a, x).getImpl(); }},
      {"y == a[x]", [](QrcManagerI*, QrcIntExpI* y, const QrcIntArray& a,
                       QrcIntExpI* x) { return (QrcIntExp(y) == QrcElement(a, x)).getImpl(); }},
  };
  for (int k = 0; k < 24; ++k) {
    uint64_t seed = qrotest::caseSeed(3800 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    Data d = draw(rng, k % 2 == 1);
    for (const auto& mk : makers) {
      PropCase c;
      c.name = std::string(mk.first) + " n " + std::to_string(d.a.size());
      c.seed = seed;
      c.values = {d.ys, d.xs};
      V a = d.a;
      Maker make = mk.second;
      c.make = [a, make](QrcManagerI* m, const Vars& v) {
        return make(m, v[0], arrayOn(m, a), v[1]);
      };
      c.check = [a](const std::vector<int64_t>& s) {
        return inArray(a, s[1]) && a[static_cast<size_t>(s[1])] == s[0];
      };
      c.level = Consistency::Domain;
      c.narrowRuns = 25;
      qrotest::runPropCase(c);
    }
    // The constant class over x alone.
    PropCase c;
    c.name = "constant n " + std::to_string(d.a.size());
    c.seed = seed;
    c.values = {d.xs};
    V a = d.a;
    QrcInt value = d.ys[rng() % d.ys.size()];
    for (bool equal : {true, false}) {
      c.make = [a, value, equal](QrcManagerI* m, const Vars& v) -> QrcConstraintI* {
        if (equal) return new (m) QrcStaticCstElementEqI(m, value, arrayOn(m, a), v[0]);
        return new (m) QrcStaticCstElementNEqI(m, value, arrayOn(m, a), v[0]);
      };
      c.check = [a, value, equal](const std::vector<int64_t>& s) {
        return inArray(a, s[0]) && (a[static_cast<size_t>(s[0])] == value) == equal;
      };
      c.level = Consistency::Domain;
      qrotest::runPropCase(c);
    }
  }
}

TEST(ElementHarness, DisequalityAndExpressions) {
  for (int k = 0; k < 24; ++k) {
    uint64_t seed = qrotest::caseSeed(3850 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    Data d = draw(rng, k % 2 == 1);
    V a = d.a;
    PropCase neq;
    neq.name = "y != a[x] n " + std::to_string(a.size());
    neq.seed = seed;
    neq.values = {d.ys, d.xs};
    neq.make = [a](QrcManagerI* m, const Vars& v) {
      return QrcElementNEq(v[0], arrayOn(m, a), v[1]).getImpl();
    };
    neq.check = [a](const std::vector<int64_t>& s) {
      return inArray(a, s[1]) && a[static_cast<size_t>(s[1])] != s[0];
    };
    qrotest::runPropCase(neq);
    // a[x] <= z and a[x] != z + 1 on a node that stays an expression.
    PropCase le = neq;
    le.name = "a[x] <= z";
    le.values = {qrotest::range(-2, 12), d.xs};
    le.post = [a](QrcManagerI* m, const Vars& v) {
      QrcIntExp ax = QrcElement(arrayOn(m, a), v[1]);
      m->add((ax <= QrcIntExp(v[0])).getImpl());
      m->add((ax != QrcIntExp(v[0]) + 1).getImpl());
    };
    // The reified forms take both as one constraint.
    le.make = [a](QrcManagerI* m, const Vars& v) {
      QrcIntExp ax = QrcElement(arrayOn(m, a), v[1]);
      return ((ax <= QrcIntExp(v[0])) && (ax != QrcIntExp(v[0]) + 1)).getImpl();
    };
    le.check = [a](const std::vector<int64_t>& s) {
      if (!inArray(a, s[1])) return false;
      int64_t e = a[static_cast<size_t>(s[1])];
      return e <= s[0] && e != s[0] + 1;
    };
    qrotest::runPropCase(le);
    // vars[x] == z, vars[x] != w over three array variables.
    PropCase ev;
    ev.name = "vars[x]";
    ev.seed = seed;
    ev.values = qrotest::randomDomains(rng, 5, -2, 4, 4);
    ev.values[0] = qrotest::range(-1, 3);
    bool equal = k % 2 == 0;
    ev.make = [equal](QrcManagerI* m, const Vars& v) {
      QrcIntVarArray vars(QrcManager(m), 3);
      for (QrcInt i = 0; i < 3; ++i) vars.set(i, QrcIntExp(v[static_cast<size_t>(i + 2)]));
      QrcIntExp e = vars[QrcIntExp(v[0])];
      return (equal ? e == QrcIntExp(v[1]) : e != QrcIntExp(v[1])).getImpl();
    };
    ev.check = [equal](const std::vector<int64_t>& s) {
      if (s[0] < 0 || s[0] > 2) return false;
      return (s[static_cast<size_t>(s[0] + 2)] == s[1]) == equal;
    };
    qrotest::runPropCase(ev);
  }
}

// ---------------------------------------------------------------- expression operands

// The number of solutions of a complete search over vars.
int64_t countSolutions(QrcManagerI* m, const std::vector<QrcIntExpI*>& vars) {
  QrcIntVarArray xs(QrcManager(m), static_cast<QrcInt>(vars.size()));
  for (size_t i = 0; i < vars.size(); ++i) xs.set(static_cast<QrcInt>(i), QrcIntExp(vars[i]));
  QrcSearch s(QrcManager(m), QrcGenerate(xs));
  int64_t n = 0;
  while (s.next()) ++n;
  s.end();
  return n;
}

// 2 == [1, 2, 3][u0 + u1] with u0, u1 in 0..3 holds at (0, 1) and (1, 0), and
// 2 != [1, 2, 3][u0 + u1] at the 4 assignments of sum 0 or 2; their opposites
// also hold at the 10 assignments outside the array.
TEST(ElementExpressions, IndexExpressionKeepsItsRange) {
  struct Row {
    const char* name;
    std::function<QrcConstraint(QrcIntExp, QrcIntArray, QrcIntExp)> make;
    int64_t count;
  };
  const Row rows[] = {
      {"QrcElementEq",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return QrcElementEq(y, a, x); }, 2},
      {"QrcElementNEq",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return QrcElementNEq(y, a, x); }, 4},
      {"a[x] == y", [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return a[x] == y; }, 2},
      {"a[x] != y", [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return a[x] != y; }, 4},
      {"!(QrcElementEq)",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return !QrcElementEq(y, a, x); }, 14},
      {"!(QrcElementNEq)",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return !QrcElementNEq(y, a, x); }, 12},
  };
  for (const Row& r : rows)
    for (bool bound : {true, false}) {
      QrcManager mgr(QrcNoEdit);
      QrcManagerI* m = mgr.getImpl();
      QrcIntExpI* u0 = new (m) QrcIntExpI(m, 0, 3, nullptr);
      QrcIntExpI* u1 = new (m) QrcIntExpI(m, 0, 3, nullptr);
      QrcIntExpI* y = new (m) QrcIntExpI(m, bound ? 2 : 0, 2, nullptr);
      V values = {1, 2, 3};
      QrcIntArray a(mgr, 3, values.data());
      m->add(r.make(QrcIntExp(y), a, QrcIntExp(u0) + QrcIntExp(u1)).getImpl());
      if (!bound) m->add((QrcIntExp(y) == 2).getImpl());
      EXPECT_EQ(countSolutions(m, {u0, u1}), r.count) << r.name << (bound ? " y bound" : "");
      mgr.end();
    }
}

Data drawShape(qrotest::Rng& rng, int shape) {
  Data d;
  size_t n = shape == 0 ? 3 : 7 + rng() % 2;
  for (size_t i = 0; i < n; ++i)
    d.a.push_back(i > 0 && rng() % 3 == 0 ? d.a[rng() % i] : static_cast<int64_t>(rng() % 6));
  if (shape == 2) d.a[0] = 200;
  for (int64_t v : d.a)
    if (rng() % 2) d.ys.push_back(v);
  d.ys.push_back(static_cast<int64_t>(rng() % 3));
  std::sort(d.ys.begin(), d.ys.end());
  d.ys.erase(std::unique(d.ys.begin(), d.ys.end()), d.ys.end());
  d.xs = qrotest::range(-1, static_cast<int64_t>(n));
  return d;
}

// Every path to an element constraint, with the index and the value built as
// expressions of two variables, and with a constant value: arrays of each
// shape the makers choose a class by, in plain, opposite and reified forms.
TEST(ElementExpressions, ExpressionOperandsAgainstBruteForce) {
  typedef std::function<QrcConstraint(QrcIntExp, QrcIntArray, QrcIntExp)> Make;
  struct Form {
    const char* name;
    Make make;
    bool equal;
  };
  const Form forms[] = {
      {"QrcElementEq",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return QrcElementEq(y, a, x); }, true},
      {"QrcElementNEq",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return QrcElementNEq(y, a, x); }, false},
      {"QrcIntEltCallerCt",
       [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return QrcIntEltCallerCt(y, a, x); }, true},
      {"a[x] == y", [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return a[x] == y; }, true},
      {"a[x] != y", [](QrcIntExp y, QrcIntArray a, QrcIntExp x) { return a[x] != y; }, false},
  };
  // Three draws, each shape once; six with QRO_TEST_FULL=1.
  for (int k = 0; k < qrotest::draws(3, 6); ++k) {
    uint64_t seed = qrotest::caseSeed(3900 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    Data d = drawShape(rng, k % 3);
    V a = d.a;
    for (const Form& f : forms) {
      bool equal = f.equal;
      Make make = f.make;
      auto holds = [a, equal](int64_t x, int64_t y) {
        return inArray(a, x) && (a[static_cast<size_t>(x)] == y) == equal;
      };
      PropCase c;
      c.name = std::string(f.name) + " n " + std::to_string(a.size());
      c.seed = seed;
      c.narrowRuns = 15;
      c.values = {d.xs, d.ys};
      c.make = [a, make](QrcManagerI* m, const Vars& v) {
        return make(QrcIntExp(v[1]), arrayOn(m, a), QrcIntExp(v[0])).getImpl();
      };
      c.check = [holds](const std::vector<int64_t>& s) { return holds(s[0], s[1]); };
      EXPECT_EQ(qrotest::runElementForms(c, 2), 0) << c.name;
      // A constant value.
      int64_t value = d.ys[rng() % d.ys.size()];
      c.name += " constant";
      c.values = {d.xs};
      c.make = [a, make, value](QrcManagerI* m, const Vars& v) {
        return make(QrcIntExp(QrcManager(m), value), arrayOn(m, a), QrcIntExp(v[0])).getImpl();
      };
      c.check = [holds, value](const std::vector<int64_t>& s) { return holds(s[0], value); };
      EXPECT_EQ(qrotest::runElementForms(c, 1), 0) << c.name;
    }
    // vars[x] == y and vars[x] != y with the index an expression.
    for (bool equal : {true, false}) {
      PropCase c;
      c.name = std::string("vars[x] ") + (equal ? "==" : "!=");
      c.seed = seed;
      c.narrowRuns = 15;
      c.values = {qrotest::range(-1, 3), qrotest::range(0, 2)};
      for (int i = 0; i < 3; ++i) c.values.push_back(qrotest::randomDomains(rng, 1, 0, 2, 2)[0]);
      c.make = [equal](QrcManagerI* m, const Vars& v) {
        QrcIntVarArray vars(QrcManager(m), 3);
        for (QrcInt i = 0; i < 3; ++i) vars.set(i, QrcIntExp(v[static_cast<size_t>(i + 2)]));
        QrcIntExp e = vars[QrcIntExp(v[0])];
        return (equal ? e == QrcIntExp(v[1]) : e != QrcIntExp(v[1])).getImpl();
      };
      c.check = [equal](const std::vector<int64_t>& s) {
        if (s[0] < 0 || s[0] > 2) return false;
        return (s[static_cast<size_t>(s[0] + 2)] == s[1]) == equal;
      };
      EXPECT_EQ(qrotest::runElementForms(c, 1), 0) << c.name;
    }
  }
}

}  // namespace
