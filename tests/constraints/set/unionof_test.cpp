// The union of F(x) over a set variable: creation of U for each kind of F
// (the empty case, error 61 with a throwing reporter, memory for far-apart
// values), fixed cases of each rule, the watched supports and the falsity
// test, and searches whose events strike the supports in one step.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "constraints/int/constraint_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcintsetcst.h"
#include "qrcsearch.h"
#include "qrcsetfunctions.h"
#include "setfunction_tables.h"

namespace {

using ctest::V;
using settest::ExpTable;
using settest::IntTable;
using settest::SetTable;

// Removes three values from x in one propagation step.
class RemoveThree : public QrcConstraintI {
 public:
  RemoveThree(QrcManagerI* m, QrcIntExpI* x, QrcInt a, QrcInt b, QrcInt c)
      : QrcConstraintI(m), _x(x), _values{a, b, c} {}
  void post() override {}
  void propagate() override {
    for (QrcInt v : _values) _x->removeValue(v);
  }

 private:
  QrcIntExpI* _x;
  QrcInt _values[3];
};

class UnionOfTest : public ctest::ConstraintTest {
 protected:
  QrcIntSetVarI* set(QrcInt lo, QrcInt hi, V possible = {}, V required = {}) {
    QrcIntSetVarI* s = new (m) QrcIntSetVarI(m, lo, hi, nullptr);
    if (!possible.empty())
      for (QrcInt v = lo; v <= hi; ++v)
        if (std::find(possible.begin(), possible.end(), v) == possible.end()) s->removePossible(v);
    for (QrcInt v : required) s->addRequired(v);
    return s;
  }
  QrcIntToIntFunction table(QrcInt first, V values) { return new (m) IntTable(m, first, values); }
  QrcIntToIntExpFunction exps(QrcInt first, std::vector<QrcIntExpI*> values) {
    return new (m) ExpTable(m, first, values);
  }
  QrcIntToIntSetVarFunction sets(QrcInt first, std::vector<QrcIntSetVarI*> values,
                                 QrcIntSetVarI* byDefault = nullptr) {
    return new (m) SetTable(m, first, values, byDefault);
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
  // The union constraint last added on u's domain.
  static QrcUnionOverSetCtI* constraintOf(QrcIntSetVarI* u) {
    for (auto* c = u->getSetHandler()->getDomainDemons().getHead(); c; c = c->next) {
      auto* d = static_cast<QrcDemonI*>(c->item);
      if (auto* ct = dynamic_cast<QrcUnionOverSetCtI*>(d->getOwner())) return ct;
    }
    return nullptr;
  }
};

TEST_F(UnionOfTest, NothingPossibleInSGivesAnEmptyFixedUnion) {
  QrcIntSetVarI* s = set(0, 2, {0});
  s->removePossible(0);
  QrcInt before = m->getConstraintCount();
  for (QrcIntSetVarI* u :
       {QrcUnion(s, table(0, {5, 6, 7})).getImpl(), QrcUnion(s, exps(0, {var(0, 3)})).getImpl(),
        QrcUnion(s, sets(0, {set(0, 3)})).getImpl()}) {
    EXPECT_TRUE(u->isBound());
    EXPECT_EQ(P(u), V{});
  }
  EXPECT_EQ(m->getConstraintCount(), before);
}

TEST_F(UnionOfTest, ConstantValuesLeaveAndJoinWithTheirIndexes) {
  // F(1) = F(2) = 5: removing 5 from U removes both indexes.
  QrcIntSetVarI* s = set(1, 2);
  QrcIntSetVarI* u = QrcUnion(s, table(1, {5, 5})).getImpl();
  EXPECT_EQ(P(u), (V{5}));
  ASSERT_TRUE(holds([&] { u->removePossible(5); }));
  EXPECT_EQ(P(s), V{});

  // A required 7 supplied only by index 3 requires 3.
  QrcIntSetVarI* t = set(1, 3);
  QrcIntSetVarI* w = QrcUnion(t, table(1, {5, 6, 7})).getImpl();
  EXPECT_EQ(P(w), (V{5, 6, 7}));
  ASSERT_TRUE(holds([&] { w->addRequired(7); }));
  EXPECT_EQ(R(t), (V{3}));
  // An index that joins S brings its value into U; one that leaves takes the
  // value it alone supplied.
  ASSERT_TRUE(holds([&] { t->addRequired(1); }));
  EXPECT_EQ(R(w), (V{5, 7}));
  ASSERT_TRUE(holds([&] { t->removePossible(2); }));
  EXPECT_EQ(P(w), (V{5, 7}));

  // card(S) <= 2 caps card(U) at 2; card(U) <= 0 empties S.
  QrcIntSetVarI* a = set(0, 4);
  QrcIntSetVarI* b = QrcUnion(a, table(0, {1, 2, 3, 4, 5})).getImpl();
  ASSERT_TRUE(holds([&] { a->getCardinality()->setMax(2); }));
  EXPECT_EQ(b->getCardinality()->getMax(), 2);
  ASSERT_TRUE(holds([&] { b->getCardinality()->setMax(0); }));
  EXPECT_EQ(P(a), V{});
}

TEST_F(UnionOfTest, ValuesFarApartTakeNoRoomForTheRangeBetweenThem) {
  QrcIntSetVarI* s = set(0, 1);
  QrcInt top = m->getHeap()->getTop();
  QrcIntSetVarI* u = QrcUnion(s, table(0, {0, 1000000000000})).getImpl();
  EXPECT_LT((m->getHeap()->getTop() - top) * 8, 1 << 20);
  EXPECT_EQ(P(u), (V{0, 1000000000000}));
  ASSERT_TRUE(holds([&] { s->removePossible(1); }));
  EXPECT_EQ(P(u), (V{0}));
  ASSERT_TRUE(holds([&] { u->addRequired(0); }));
  EXPECT_EQ(R(s), (V{0}));
}

TEST_F(UnionOfTest, ExpressionsNarrowToTheUnionAndAreForced) {
  QrcIntExpI* f[3] = {var(0, 2), var(2, 4), var(7, 8)};
  QrcIntSetVarI* s = set(0, 2);
  QrcIntSetVarI* u = QrcUnion(s, exps(0, {f[0], f[1], f[2]})).getImpl();
  EXPECT_EQ(u->getUniverseMin(), 0);
  EXPECT_EQ(u->getUniverseMax(), 8);
  EXPECT_EQ(P(u), (V{0, 1, 2, 3, 4, 7, 8}));
  // A value that leaves F(x) and had no other support leaves U.
  ASSERT_TRUE(holds([&] { f[1]->setMin(3); }));
  ASSERT_TRUE(holds([&] { f[1]->removeValue(3); }));
  EXPECT_EQ(P(u), (V{0, 1, 2, 4, 7, 8}));
  // Values lost in one step, in any order.
  QrcIntExpI* g = var(0, 6);
  QrcIntSetVarI* t = set(0, 1);
  QrcIntSetVarI* w = QrcUnion(t, exps(0, {g, var(6, 6)})).getImpl();
  ASSERT_TRUE(adds(new (m) RemoveThree(m, g, 4, 1, 3)));
  EXPECT_EQ(P(w), (V{0, 2, 5, 6}));
  // A required 8 forces index 2 with F(2) = 8.
  ASSERT_TRUE(holds([&] { u->addRequired(8); }));
  EXPECT_EQ(R(s), (V{2}));
  EXPECT_EQ(f[2]->getMin(), 8);
  // An index whose F(x) has no value left in U leaves S.
  ASSERT_TRUE(holds([&] { u->removePossible(0); }));
  ASSERT_TRUE(holds([&] { u->removePossible(1); }));
  ASSERT_TRUE(holds([&] { u->removePossible(2); }));
  EXPECT_EQ(P(s), (V{1, 2}));
  // A required index keeps F(x) = 4 within U.
  ASSERT_TRUE(holds([&] { s->addRequired(1); }));
  EXPECT_EQ(R(u), (V{4, 8}));
  EXPECT_FALSE(holds([&] { u->removePossible(4); }));
}

TEST_F(UnionOfTest, SetVariablesJoinTheirRequiredValuesAndFit) {
  QrcIntSetVarI* f[3] = {set(0, 3, {0, 1}), set(0, 3, {1, 2}), set(0, 3, {}, {3})};
  QrcIntSetVarI* s = set(0, 2);
  QrcIntSetVarI* u = QrcUnion(s, sets(0, {f[0], f[1], f[2]})).getImpl();
  EXPECT_EQ(P(u), (V{0, 1, 2, 3}));
  // 3 required in F(2) but out of U: index 2 cannot fit.
  ASSERT_TRUE(holds([&] { u->removePossible(3); }));
  EXPECT_EQ(P(s), (V{0, 1}));
  // A required index puts its required values in U and loses what U lacks.
  ASSERT_TRUE(holds([&] { s->addRequired(0); }));
  ASSERT_TRUE(holds([&] { f[0]->addRequired(1); }));
  EXPECT_EQ(R(u), (V{1}));
  ASSERT_TRUE(holds([&] { u->removePossible(0); }));
  EXPECT_EQ(P(f[0]), (V{1}));
  // 2 required in U is only possible in F(1): both forced.
  ASSERT_TRUE(holds([&] { u->addRequired(2); }));
  EXPECT_EQ(R(s), (V{0, 1}));
  EXPECT_EQ(R(f[1]), (V{2}));
  // F(x) of a set variable sharing one collection: U over that collection.
  QrcIntArray values(mgr, 3, std::vector<QrcInt>{10, 20, 1000}.data());
  QrcIntCollectionI* c = values.getCollection();
  QrcIntSetVarI* g[2] = {new (m) QrcIntSetVarI(c, nullptr), new (m) QrcIntSetVarI(c, nullptr)};
  QrcIntSetVarI* w = QrcUnion(set(0, 1), sets(0, {g[0], g[1]})).getImpl();
  EXPECT_EQ(w->getPossible()->getCollection(), c);
  // The default's cardinality maximum bounds every F(x): card(U) <= 2 card(S).
  QrcIntSetVarI* d = set(0, 5);
  d->getCardinality()->setMax(2);
  QrcIntSetVarI* t = set(0, 3);
  QrcIntSetVarI* x = new (m) QrcIntSetVarI(m, 0, 9, nullptr);
  QrcIntSetVarI* v = new (m) QrcIntSetVarI(m, 0, 9, nullptr);
  ASSERT_TRUE(adds(QrcUnionOverSetCt(v, t, sets(0, {x, x, x, x}, d))));
  ASSERT_TRUE(holds([&] { t->getCardinality()->setMax(2); }));
  EXPECT_EQ(v->getCardinality()->getMax(), 4);
}

TEST_F(UnionOfTest, SupportsAreReplacedOnlyWhenStruck) {
  QrcIntSetVarI* s = set(0, 3);
  QrcIntSetVarI* u = QrcUnion(s, table(0, {5, 5, 5, 5})).getImpl();
  QrcUnionOverSetCtI* ct = constraintOf(u);
  ASSERT_NE(ct, nullptr);
  QrcInt a = 0, b = 0;
  ASSERT_TRUE(ct->getSupports(5, a, b));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  ASSERT_TRUE(holds([&] { s->removePossible(3); }));
  ct->getSupports(5, a, b);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  ASSERT_TRUE(holds([&] { s->removePossible(0); }));
  ct->getSupports(5, a, b);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
  // The last supplier of a required value is forced.
  ASSERT_TRUE(holds([&] { u->addRequired(5); }));
  ASSERT_TRUE(holds([&] { s->removePossible(1); }));
  EXPECT_EQ(R(s), (V{2}));
  EXPECT_FALSE(ct->getSupports(9, a, b));
}

TEST_F(UnionOfTest, FalseWhenARequiredPartCannotBeMet) {
  QrcIntSetVarI* s = set(0, 2, {}, {0});
  QrcIntSetVarI* u = set(0, 9);
  auto* f = new (m) QrcIntFunctionAccessorI(s->makeAccessorDomain(), table(0, {4, 5, 6}).getImpl());
  auto* ct = new (m) QrcUnionOverSetCtI(m, u, s, f);
  EXPECT_FALSE(ct->isFalse());
  u->addRequired(5);
  EXPECT_FALSE(ct->isFalse());
  u->addRequired(7);
  EXPECT_TRUE(ct->isFalse());
  QrcIntSetVarI* w = set(0, 9);
  auto* other = new (m) QrcUnionOverSetCtI(m, w, s, f);
  w->removePossible(4);
  EXPECT_TRUE(other->isFalse());
}

TEST_F(UnionOfTest, TooWideADomainOfFIsError61) {
  QrcManager edit(QrcEdit);
  QrcManagerI* e = edit.getImpl();
  e->setErrorReporter(&reporter);
  QrcIntSetVarI* s = new (e) QrcIntSetVarI(e, 0, 1, nullptr);
  auto expressions = [&](QrcInt span) {
    std::vector<QrcIntExpI*> f = {new (e) QrcIntExpI(e, 0, 5, nullptr),
                                  new (e) QrcIntExpI(e, 3, span, nullptr)};
    return QrcIntToIntExpFunction(new (e) ExpTable(e, 0, f));
  };
  // A span of 99999999 is accepted.
  QrcIntSetVarI* u = QrcUnion(s, expressions(99999999)).getImpl();
  EXPECT_EQ(u->getUniverseMax() - u->getUniverseMin(), 99999999);
  std::string line;
  EXPECT_EQ(errorOf([&] { QrcUnion(s, expressions(100000000)); }, &line), 61);
  EXPECT_EQ(line,
            "Solver Error : QrcUnion(Set-Var, Int F(x)) : domain of F too large : 0..100000000\n");
  // Set variables whose universes span as much.
  std::vector<QrcIntSetVarI*> g = {new (e) QrcIntSetVarI(e, 0, 3, nullptr),
                                   new (e) QrcIntSetVarI(e, 99999997, 100000000, nullptr)};
  EXPECT_EQ(
      errorOf([&] { QrcUnion(s, QrcIntToIntSetVarFunction(new (e) SetTable(e, 0, g))); }, &line),
      61);
  EXPECT_EQ(line,
            "Solver Error : QrcUnion(Set-Var, IntSetVar F(x)) : domain of F too large : "
            "0..100000000\n");
  e->setErrorReporter(nullptr);
  edit.end();
}

TEST_F(UnionOfTest, CopiesAndHandles) {
  QrcIntSetVarI* s = set(0, 2);
  QrcIntSetVarI* u = QrcUnion(s, table(0, {1, 2, 3})).getImpl();
  QrcUnionOverSetCtI* ct = constraintOf(u);
  QrcManager other(QrcNoEdit);
  auto* copy = dynamic_cast<QrcUnionOverSetCtI*>(ct->makeCopy(other.getImpl()));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->getAccessor(), ct->getAccessor());
  EXPECT_EQ(copy->getAccessor()->getManager(), other.getImpl());
  EXPECT_EQ(copy->getIndexSet()->getManager(), other.getImpl());
  other.end();
  EXPECT_DEATH(QrcUnion(QrcIntSetVar(), table(0, {1})), "empty handle");
  EXPECT_DEATH(QrcUnion(s, QrcIntToIntSetVarFunction()), "empty handle");
  EXPECT_DEATH(QrcUnionOverSetCt(u, s, QrcIntAccessor()), "empty handle");
}

}  // namespace

namespace {

// U == the union of F(x) over S in a search, F(x) a set variable of the model,
// against brute force. A value of U keeps its watched supports whatever order
// S and the F(x) lose things in: an index that leaves S as F(x) loses the
// value it was watched for, beside a sum of cardinalities, or with S itself
// as F(x), its cardinality labelled first.
TEST(UnionOfSearch, SupportsStayTrueWhateverOrderTheEventsComeIn) {
  struct Row {
    const char* name;
    std::vector<int> width;  // U, S, then the others; each over 0..width - 1
    std::vector<int> f;      // the position of F(x), x = 0..width[1] - 1
    std::vector<int> sum;    // the sum of their cardinalities is at most 1
    std::vector<int> cards;  // labelled first, in this order
    std::vector<int> order;  // then the sets
  };
  const Row rows[] = {
      {"t0, t1, t2 beside card(S) + card(t1) + card(t2) <= 1",
       {3, 3, 3, 3, 3},
       {2, 3, 4},
       {1, 3, 4},
       {},
       {0, 1, 2, 3, 4}},
      {"t0, S, t0 with card(S), card(t0) labelled first",
       {2, 3, 2},
       {2, 1, 2},
       {},
       {1, 2},
       {0, 1, 2}},
  };
  for (const Row& row : rows) {
    size_t n = row.width.size();
    int bits = 0, expected = 0;
    for (int w : row.width) bits += w;
    for (int a = 0; a < 1 << bits; ++a) {
      std::vector<int> s;
      int at = 0;
      for (int w : row.width) {
        s.push_back((a >> at) & ((1 << w) - 1));
        at += w;
      }
      int u = 0, card = 0;
      for (size_t x = 0; x < row.f.size(); ++x)
        if (s[1] >> x & 1) u |= s[static_cast<size_t>(row.f[x])];
      for (int i : row.sum) card += __builtin_popcount(static_cast<unsigned>(s[size_t(i)]));
      expected += u == s[0] && card <= 1;
    }
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    std::vector<QrcIntSetVarI*> v;
    for (int w : row.width) v.push_back(QrcIntSetVar(mgr, 0, w - 1).getImpl());
    std::vector<QrcIntSetVarI*> f;
    for (int i : row.f) f.push_back(v[size_t(i)]);
    m->add(QrcUnionOverSetCt(v[0], v[1], QrcIntToIntSetVarFunction(new (m) SetTable(m, 0, f)))
               .getImpl());
    if (!row.sum.empty()) {
      QrcIntExp card(v[size_t(row.sum[0])]->getCardinality());
      for (size_t k = 1; k < row.sum.size(); ++k)
        card = card + QrcIntExp(v[size_t(row.sum[k])]->getCardinality());
      m->add((card <= 1).getImpl());
    }
    QrcIntSetVarArray sets(mgr, static_cast<QrcInt>(n));
    QrcIntVarArray cards(mgr, static_cast<QrcInt>(row.cards.size()));
    for (size_t k = 0; k < n; ++k) sets.getImpl()->elementAt(QrcInt(k)) = v[size_t(row.order[k])];
    for (size_t k = 0; k < row.cards.size(); ++k)
      cards.set(QrcInt(k), QrcIntExp(v[size_t(row.cards[k])]->getCardinality()));
    QrcSearch search(
        mgr, row.cards.empty() ? QrcGenerate(sets) : QrcAnd(QrcGenerate(cards), QrcGenerate(sets)));
    int found = 0;
    while (search.next()) ++found;
    search.end();
    EXPECT_EQ(found, expected) << row.name;
    mgr.end();
  }
}

}  // namespace
