// Global constraints over domains far wider than the number of variables:
// what they build and how they search must follow the variables and the
// values that matter, never the width. Widths of 2^50 leave no room for a
// walk over the values (the watchdog ends such a test); widths that need
// holes stay below the engine's limit for a hole (2^31). Small cases that
// mix variables with more values than variables and fewer go through the
// brute-force harness.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "constraint_fixtures.h"
#include "qrcabstraction.h"
#include "qrcalldiff.h"
#include "qrcdistribute.h"
#include "qrcintgoals.h"
#include "qrcmatching.h"
#include "qrcmindistance.h"
#include "qrcpairing.h"
#include "qrcregular.h"
#include "qrcsearch.h"
#include "qrctable.h"
#include "support/harness.h"
#include "support/watchdog.h"

namespace {

using ctest::V;

const QrcInt Wide = QrcInt(1) << 50;
const QrcInt Holed = 100000000;

class WideDomains : public ctest::ConstraintTest {
 protected:
  QrcUInt heapBytes() const { return m->getHeap()->getBytes(); }
  // The first `limit` solutions of a labelling of x, each checked.
  template <class Check>
  int solutions(const QrcIntVarArray& x, int limit, Check check) {
    QrcSearch s(mgr, QrcGenerate(x));
    int found = 0;
    while (found < limit && s.next()) {
      V values;
      for (QrcInt i = 0; i < x.getSize(); ++i) values.push_back(x[i].getValue());
      EXPECT_TRUE(check(values)) << "solution " << found;
      ++found;
    }
    s.end();
    return found;
  }
};

bool allDifferent(const V& v) {
  return std::set<QrcInt>(v.begin(), v.end()).size() == v.size();
}

TEST_F(WideDomains, AllDiffDomainFollowsTheVariables) {
  qrotest::Watchdog guard("all-different over wide domains", 60);
  for (QrcInt level : {1, 2, 3}) {
    TearDown();
    SetUp();
    QrcIntVarArray x(mgr, 3, 0, Wide);
    QrcUInt before = heapBytes();
    ASSERT_TRUE(adds(QrcAllDiff(x, level)));
    EXPECT_LT(heapBytes() - before, QrcUInt(1) << 20) << level;
    EXPECT_EQ(solutions(x, 20, allDifferent), 20) << level;
  }
  // The matching keeps a node for the rest and for the values small variables hold.
  QrcIntExpI* v[] = {var(0, Holed), var(5, 6), var(5, 6), var(0, Holed)};
  QrcAllDiffDomainI* ct = static_cast<QrcAllDiffDomainI*>(QrcMakeAllDiffDomain(m, v, 4));
  ASSERT_TRUE(adds(ct));
  EXPECT_LE(ct->getMatching()->getValueCount(), 3);
  for (QrcIntExpI* w : {v[0], v[3]}) {
    EXPECT_EQ(w->getSize(), Holed - 1);
    EXPECT_TRUE(w->isInDomain(4) && w->isInDomain(7));
  }
}

TEST_F(WideDomains, AllDiffSmallVariablesAmongWideOnes) {
  qrotest::Watchdog guard("all-different with a Hall set among wide domains", 60);
  // {1, 2} is taken by two small variables; the wide ones lose it, and a
  // third small variable over {1, 2, 3} takes 3, which the wide ones lose too.
  QrcIntExpI* v[] = {var(1, Holed), var({1, 2}), var(0, Holed), var({1, 2}), var({1, 2, 3})};
  ASSERT_TRUE(adds(QrcMakeAllDiffDomain(m, v, 5)));
  EXPECT_EQ(dom(v[4]), V{3});
  for (QrcIntExpI* w : {v[0], v[2]})
    for (QrcInt k : {1, 2, 3}) EXPECT_FALSE(w->isInDomain(k)) << k;
  EXPECT_EQ(v[0]->getMin(), 4);
  EXPECT_TRUE(v[2]->isInDomain(0));
  // Narrowing a wide variable makes it small: it gets nodes of its own.
  v[0]->setRange(QrcInt(4), QrcInt(5));
  v[2]->setRange(QrcInt(4), QrcInt(5));
  QrcIntExpI* w[] = {v[0], v[2], var(4, 6)};
  ASSERT_TRUE(adds(QrcMakeAllDiffDomain(m, w, 3)));
  EXPECT_EQ(dom(w[2]), V{6});
}

TEST_F(WideDomains, DistributeFollowsTheListedValues) {
  qrotest::Watchdog guard("distribute over wide domains", 60);
  for (QrcInt level : {1, 3}) {
    TearDown();
    SetUp();
    QrcIntVarArray x(mgr, 3, 0, Wide);
    QrcIntVarArray cards(mgr, 2, 0, 2);
    V listed = {Wide / 2, Wide};
    QrcUInt before = heapBytes();
    ASSERT_TRUE(adds(QrcDistribute(cards, ints(listed), x, level)));
    EXPECT_LT(heapBytes() - before, QrcUInt(1) << 20) << level;
    int found = solutions(x, 20, [&](const V& v) {
      for (QrcInt value : listed) {
        QrcInt c = std::count(v.begin(), v.end(), value);
        if (c > 2) return false;
      }
      return true;
    });
    EXPECT_EQ(found, 20) << level;
  }
}

TEST_F(WideDomains, DistributeDomainClosesTheOtherValues) {
  qrotest::Watchdog guard("distribute with full cards over a wide domain", 60);
  // The listed values need all three variables: the third keeps only them.
  QrcIntExpI* x[] = {var({3, 9}), var({3, 9}), var(0, Holed)};
  QrcIntExpI* c[] = {var(2, 2), var(1, 1)};
  QrcDistributeDomainI* ct =
      new (m) QrcDistributeDomainI(array({c[0], c[1]}), ints({3, 9}), array({x[0], x[1], x[2]}), 3);
  ASSERT_TRUE(adds(ct));
  EXPECT_LE(ct->getMatching()->getValueCount(), 3);
  EXPECT_EQ(dom(x[2]), (V{3, 9}));
}

TEST_F(WideDomains, PairingReadsOnlyThePartners) {
  qrotest::Watchdog guard("pairing over wide domains", 60);
  for (QrcInt level : {1, 3}) {
    TearDown();
    SetUp();
    QrcIntVarArray x(mgr, 4, 0, Wide);
    ASSERT_TRUE(adds(QrcPairing(x, level)));
    int found = solutions(x, 10, [](const V& v) {
      for (size_t i = 0; i < v.size(); ++i)
        if (v[static_cast<size_t>(v[i])] != static_cast<QrcInt>(i)) return false;
      return true;
    });
    EXPECT_EQ(found, 3) << level;
  }
}

TEST_F(WideDomains, AutomataReadTheAlphabet) {
  qrotest::Watchdog guard("stretch and regular over wide domains", 60);
  {
    // No two equal neighbours over {0, 1, Wide}.
    QrcIntVarArray x(mgr, 3, 0, Wide);
    V T = {1, 2, 3, -1, 2, 3, 1, -1, 3, 1, 2, -1};
    QrcUInt before = heapBytes();
    ASSERT_TRUE(adds(QrcRegular(x, 4, ints(T), QrcIntArray(), ints({0, 1, Wide}))));
    EXPECT_LT(heapBytes() - before, QrcUInt(1) << 20);
    EXPECT_EQ(x[1].getSize(), 3);
    EXPECT_EQ(solutions(x, 20, [](const V& v) { return v[0] != v[1] && v[1] != v[2]; }), 12);
  }
  {
    // Runs of Wide / 2 of 1 or 2, runs of Wide of 2 or 3: abb, bba, bbb.
    TearDown();
    SetUp();
    QrcIntVarArray x(mgr, 3, 0, Wide);
    ASSERT_TRUE(adds(QrcStretch(x, ints({1, 2}), ints({2, 3}), ints({Wide / 2, Wide}))));
    EXPECT_EQ(solutions(x, 20, [](const V& v) { return v[1] == Wide; }), 3);
  }
}

TEST_F(WideDomains, AbstractionsReadTheSet) {
  qrotest::Watchdog guard("abstractions over wide domains", 60);
  QrcIntVarArray x(mgr, 2, 0, Wide), y(mgr, 2, -1, Wide);
  QrcUInt before = heapBytes();
  ASSERT_TRUE(adds(QrcEqAbstraction(y, x, ints({1, Wide / 2}), -1)));
  EXPECT_LT(heapBytes() - before, QrcUInt(1) << 20);
  EXPECT_EQ(dom(y[0].getImpl()), (V{-1, 1, Wide / 2}));
  x[0].setRange(Wide / 2, Wide);
  x[0].removeValue(Wide);
  EXPECT_EQ(dom(y[0].getImpl()), (V{-1, Wide / 2}));
  y[1].setValue(1);
  EXPECT_EQ(x[1].getValue(), 1);
  // The test form: b is 1 exactly when x takes a value of the set.
  QrcIntVarArray b(mgr, 2, 0, 1), z(mgr, 2, 0, Holed);
  ASSERT_TRUE(adds(QrcEqIntAbstraction(b, z, ints({Holed / 2}))));
  EXPECT_FALSE(b[0].isBound());
  b[0].setValue(0);
  EXPECT_FALSE(z[0].isInDomain(Holed / 2));
  z[1].setMin(Holed / 2 + 1);
  EXPECT_EQ(b[1].getValue(), 0);
}

// Predicates of two and three arguments that count how often they are asked.
class Counted : public QrcIntBinaryPredicateI, public QrcIntTernaryPredicateI {
 public:
  explicit Counted(int kind) : _kind(kind) {}
  QrcBool isTrue(QrcInt a, QrcInt b) override {
    ++calls;
    switch (_kind) {
      case 0:
        return a < b;
      case 1:
        return a == b;
      case 2:
        return a - b == 2 || b - a == 2;
      case 3:
        return a != b;
      default:
        return (a * 7 + b * 3 + 100) % 5 < 2;
    }
  }
  QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) override {
    ++calls;
    switch (_kind) {
      case 0:
        return a + b == c;
      case 1:
        return a < b && b < c;
      default:
        return (a * 5 + b * 3 + c + 100) % 4 == 1;
    }
  }
  QrcInt calls = 0;

 private:
  int _kind;
};

// Each value of a wide domain asks the predicate a few times at most (the
// last ones, without support, ask it once per value of the other domain)
// and the supports are kept by runs of values: nothing grows with the width.
TEST_F(WideDomains, PredicatesAskAFewTimesPerValueAndKeepRuns) {
  qrotest::Watchdog guard("predicates over wide domains", 60);
  const QrcInt w = 1000000;
  struct Row {
    int kind;
    V first, second;  // the domains left after posting (bounds)
  };
  const Row rows[] = {
      {0, {0, w - 1}, {1, w}}, {1, {0, w}, {0, w}}, {2, {0, w}, {0, w}}, {3, {0, w}, {0, w}}};
  for (const Row& row : rows) {
    TearDown();
    SetUp();
    Counted p(row.kind);
    QrcIntVarArray x(mgr, 2, 0, w);
    QrcUInt before = heapBytes();
    ASSERT_TRUE(adds(QrcTableConstraint(x, QrcIntBinaryPredicate(&p)))) << row.kind;
    EXPECT_LT(heapBytes() - before, QrcUInt(1) << 16) << row.kind;
    EXPECT_LE(p.calls, 8 * w) << row.kind;
    EXPECT_EQ((V{x[0].getMin(), x[0].getMax()}), row.first) << row.kind;
    EXPECT_EQ((V{x[1].getMin(), x[1].getMax()}), row.second) << row.kind;
    EXPECT_EQ(x[0].getSize(), row.first[1] - row.first[0] + 1) << row.kind;
    EXPECT_EQ(solutions(x, 10, [&](const V& v) { return p.isTrue(v[0], v[1]); }), 10) << row.kind;
  }
  // Three arguments: a + b == c. A value without support asks the predicate
  // once per pair of the other two domains, so these stay narrow.
  const QrcInt u = 300;
  Counted sum(0);
  QrcIntVarArray y(mgr, 3, 0, u);
  ASSERT_TRUE(adds(QrcTableConstraint(y, QrcIntTernaryPredicate(&sum))));
  y[2].setMax(u / 2);
  y[0].setMin(u / 4);
  EXPECT_EQ(y[0].getMax(), u / 2);
  EXPECT_EQ(y[1].getMax(), u / 4);
  EXPECT_EQ(solutions(y, 10, [&](const V& v) { return v[0] + v[1] == v[2]; }), 10);
}

// A forbidden table needs supports for the values of its columns only; the
// tuple supporting such a value may hold any other value, whose loss is seen.
TEST_F(WideDomains, ForbiddenTablesFollowTheirTuples) {
  qrotest::Watchdog guard("forbidden tables over wide domains", 60);
  QrcIntVarArray x(mgr, 2, 0, Wide);
  QrcTupleSet s(mgr, 2);
  for (QrcInt v : {QrcInt(0), QrcInt(1), Wide}) s.add(ints({v, v}));
  s.add(ints({0, 1}));
  s.close();
  QrcUInt before = heapBytes();
  ASSERT_TRUE(adds(QrcTableConstraint(x, s, 0)));
  EXPECT_LT(heapBytes() - before, QrcUInt(1) << 16);
  EXPECT_EQ(solutions(x, 20,
                      [](const V& v) {
                        return v[0] != v[1] || (v[0] != 0 && v[0] != 1 && v[0] != Wide);
                      }),
            20);
  // x0 = 0 leaves x1 without 0 and 1; then x1 = 2 or Wide.
  QrcIntVarArray y(mgr, 2, 0, Wide);
  ASSERT_TRUE(adds(QrcTableConstraint(y, s, 0)));
  y[0].setValue(0);
  EXPECT_EQ(y[1].getMin(), 2);
  y[1].setMax(2);
  EXPECT_EQ(y[1].getValue(), 2);
  QrcIntVarArray z(mgr, 2, 0, Holed);
  z[0].setValue(7);
  QrcTupleSet t(mgr, 2);
  for (QrcInt v : {QrcInt(5), QrcInt(9), Holed / 2}) t.add(ints({7, v}));
  t.close();
  ASSERT_TRUE(adds(QrcTableConstraint(z, t, 0)));
  EXPECT_EQ(z[1].getSize(), Holed + 1 - 3);
  z[1].removeRange(0, Holed - 1);
  EXPECT_EQ(z[1].getValue(), Holed);
}

// An allowed table over domains with holes far apart: its records follow the
// values of its columns, and removing a wide range visits only those.
TEST_F(WideDomains, AllowedTablesIndexTheirColumns) {
  qrotest::Watchdog guard("allowed tables over domains with holes", 60);
  QrcIntVarArray x(mgr, 3, 0, Holed);
  for (QrcInt i = 0; i < 3; ++i) x[i].removeRange(Holed / 4, Holed / 4 + i);
  QrcTupleSet s(mgr, 3);
  const std::vector<V> tuples = {
      {0, Holed, 1}, {1, 5, Holed}, {Holed, 0, 0}, {Holed - 1, 1, 2}, {2, Holed / 4, 3}};
  for (const V& t : tuples) s.add(ints(t));
  s.close();
  QrcUInt before = heapBytes();
  ASSERT_TRUE(adds(QrcTableConstraint(x, s, 1)));
  EXPECT_LT(heapBytes() - before, QrcUInt(1) << 16);
  // {2, Holed / 4, 3} lost its middle value.
  EXPECT_EQ(dom(x[0].getImpl()), (V{0, 1, Holed - 1, Holed}));
  EXPECT_EQ(dom(x[2].getImpl()), (V{0, 1, 2, Holed}));
  x[1].removeRange(2, Holed - 1);
  EXPECT_EQ(dom(x[0].getImpl()), (V{0, Holed - 1, Holed}));
  EXPECT_EQ(dom(x[2].getImpl()), (V{0, 1, 2}));
  x[2].setMin(1);
  EXPECT_EQ(dom(x[0].getImpl()), (V{0, Holed - 1}));
  EXPECT_EQ(solutions(x, 5,
                      [&](const V& v) {
                        return std::find(tuples.begin(), tuples.end(), v) != tuples.end();
                      }),
            2);
}

// Predicates whose supports shift with the value, stay fixed or follow no
// rule, over domains with holes: the runs give the same pruning as brute force.
TEST(WideDomainsHarness, PredicateRunsAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(7302));
  for (int round = 0; round < 24; ++round) {
    int arity = 2 + round % 2;
    int kind = (round / 2) % (arity == 2 ? 5 : 3);
    qrotest::PropCase c;
    c.name = "predicate of arity " + std::to_string(arity) + " kind " + std::to_string(kind);
    c.seed = rng();
    c.values = qrotest::randomDomains(rng, arity, -3, 6, 8);
    c.level = qrotest::Consistency::Domain;
    c.callersCode = true;
    auto p = std::make_shared<Counted>(kind);
    c.post = [p, arity](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntVarArray a(QrcManager(m), arity);
      for (int i = 0; i < arity; ++i) a.set(i, QrcIntExp(v[static_cast<size_t>(i)]));
      m->add((arity == 2 ? QrcTableConstraint(a, QrcIntBinaryPredicate(p.get()))
                         : QrcTableConstraint(a, QrcIntTernaryPredicate(p.get())))
                 .getImpl());
    };
    c.check = [p, arity](const std::vector<int64_t>& a) {
      return arity == 2 ? p->isTrue(a[0], a[1]) != 0 : p->isTrue(a[0], a[1], a[2]) != 0;
    };
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// The values of the maximal runs of a word contain a pattern as a contiguous part.
bool holdsPattern(const V& word, const std::vector<V>& patterns) {
  V runs;
  for (QrcInt v : word)
    if (runs.empty() || runs.back() != v) runs.push_back(v);
  for (const V& p : patterns)
    if (std::search(runs.begin(), runs.end(), p.begin(), p.end()) != runs.end()) return true;
  return false;
}

QrcTupleSet patternSet(QrcManager m, const std::vector<V>& patterns, QrcInt width) {
  QrcTupleSet s(m, width);
  for (const V& p : patterns) {
    V t = p;
    t.resize(static_cast<size_t>(width), -1);  // -1 ends a shorter pattern
    s.add(QrcIntArray(m, width, t.data()));
  }
  s.close();
  return s;
}

// The pattern's automaton has a symbol per value of its patterns and one for
// all the others: wide domains cost nothing, and a variable left with pattern
// values only loses the transitions of the others.
TEST_F(WideDomains, PatternReadsItsValues) {
  qrotest::Watchdog guard("pattern over wide domains", 60);
  const std::vector<V> patterns = {{0, 1}, {Wide, 0, Wide}};
  QrcIntVarArray x(mgr, 3, 0, Wide);
  QrcUInt before = heapBytes();
  ASSERT_TRUE(adds(QrcPattern(x, patternSet(mgr, patterns, 3), -1)));
  EXPECT_LT(heapBytes() - before, QrcUInt(1) << 16);
  EXPECT_EQ(solutions(x, 20, [&](const V& v) { return !holdsPattern(v, patterns); }), 20);
  QrcIntVarArray y(mgr, 3, 0, Wide);
  QrcPatternI* ct =
      static_cast<QrcPatternI*>(QrcPattern(y, patternSet(mgr, patterns, 3), -1).getImpl());
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(static_cast<QrcRegularI*>(ct->getRegular())->getSymbolCount(),
            4);  // 0, 1, Wide, others
  y[0].setValue(0);
  QrcInt listed[] = {0, 1};
  y[1].setDomain(QrcIntArray(mgr, 2, listed));
  EXPECT_EQ(y[1].getValue(), 0);  // 0 then 1 is a pattern
  y[2].setRange(Wide - 1, Wide);
  y[2].removeValue(Wide - 1);
  EXPECT_EQ(y[2].getValue(), Wide);
}

// Patterns over a few values, domains holding many more.
TEST(WideDomainsHarness, PatternWithOtherValuesAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(7303));
  for (int round = 0; round < 20; ++round) {
    int n = 2 + static_cast<int>(rng() % 3);
    std::vector<V> patterns(1 + rng() % 3);
    for (V& p : patterns)
      for (size_t len = 1 + rng() % 3; p.size() < len;) {
        QrcInt v = static_cast<QrcInt>(rng() % 3);
        if (p.empty() || p.back() != v) p.push_back(v);
      }
    qrotest::PropCase c;
    c.name = "pattern round " + std::to_string(round);
    c.seed = rng();
    c.values = qrotest::randomDomains(rng, n, -2, 5, 8);
    c.level = qrotest::Consistency::Domain;
    c.post = [patterns](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(v.size()));
      for (size_t i = 0; i < v.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
      m->add(QrcPattern(a, patternSet(QrcManager(m), patterns, 3), -1).getImpl());
    };
    c.check = [patterns](const std::vector<int64_t>& a) { return !holdsPattern(a, patterns); };
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// Minimum distance at every level over domains of 2^50 values: the windows,
// and at level 3 two shifts of block variables over ranges of blocks with a
// matching of the variables to them; nothing follows the width.
TEST_F(WideDomains, MinDistanceFollowsTheVariables) {
  qrotest::Watchdog guard("minimum distance over wide domains", 60);
  for (QrcInt level = 0; level <= 3; ++level) {
    TearDown();
    SetUp();
    QrcIntVarArray x(mgr, 3, 0, Wide);
    QrcConstraint c = QrcAllMinDistance(x, 3);
    c.getImpl()->setFilterLevel(level);
    QrcUInt before = heapBytes();
    ASSERT_TRUE(adds(c.getImpl())) << level;
    EXPECT_LT(heapBytes() - before, QrcUInt(1) << 20) << level;
    QrcMinDistancePartitionI* p = static_cast<QrcGlobalMinDistanceI*>(c.getImpl())->getPartition();
    EXPECT_EQ(p != nullptr, level == 3);
    if (p) {
      EXPECT_EQ(p->getShiftCount(), 2);
    }
    int found = solutions(x, 20, [](const V& v) {
      for (size_t i = 0; i < v.size(); ++i)
        for (size_t j = i + 1; j < v.size(); ++j)
          if (v[i] - v[j] < 3 && v[j] - v[i] < 3) return false;
      return true;
    });
    EXPECT_EQ(found, 20) << level;
  }
  // Level 3: two variables within [10, 14] take two blocks of 3 there in
  // shift 1 ([9, 11], [12, 14]), which the wide one loses.
  QrcIntVarArray y(mgr, 3, 0, Wide);
  QrcConstraint c = QrcAllMinDistance(y, 3);
  c.getImpl()->setFilterLevel(3);
  ASSERT_TRUE(adds(c.getImpl()));
  y[0].setRange(10, 14);
  y[1].setRange(10, 14);
  for (QrcInt v = 9; v <= 14; ++v) EXPECT_FALSE(y[2].isInDomain(v)) << v;
  EXPECT_TRUE(y[2].isInDomain(8) || y[2].isInDomain(15));
  EXPECT_EQ(y[2].getMin(), 0);
  EXPECT_EQ(y[2].getMax(), Wide);
}

// Distribute checks its listed values for repeats; minimum distance lists
// one value per block of the domains, so the check must not compare every pair.
TEST_F(WideDomains, RepeatedValuesAreCountedWithoutComparingEveryPair) {
  qrotest::Watchdog guard("counting repeated values of a long array", 60);
  const QrcInt n = 1000000;
  QrcIntArray a(mgr, n, QrcInt(0));
  for (QrcInt i = 0; i < n; ++i) a[i] = (i * 7919) % n;
  EXPECT_EQ(a.countRepeated(), 0);
  a[n - 1] = a[0];
  a[n - 2] = a[0];
  EXPECT_EQ(a.countRepeated(), 2);
}

// Domains of 1 to 7 values over [-3, 3] for 2 to 4 variables: some hold more
// values than there are variables and some fewer, and narrowing moves them
// from one side to the other.
TEST(WideDomainsHarness, MatchingWithLargeAndSmallVariables) {
  qrotest::Rng rng(qrotest::caseSeed(7301));
  for (int round = 0; round < 24; ++round) {
    int n = 2 + static_cast<int>(rng() % 3);
    qrotest::PropCase c;
    c.seed = rng();
    for (int i = 0; i < n; ++i) {
      std::vector<int64_t> d;
      size_t size = 1 + static_cast<size_t>(rng() % 7);
      for (int64_t v = -3; v <= 3; ++v) d.push_back(v);
      std::shuffle(d.begin(), d.end(), rng);
      d.resize(size);
      std::sort(d.begin(), d.end());
      c.values.push_back(d);
    }
    c.level = qrotest::Consistency::Domain;
    c.narrowRuns = 30;
    if (round % 2 == 0) {
      c.name = "all-different, round " + std::to_string(round);
      c.post = [](QrcManagerI* m, const qrotest::Vars& v) {
        QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(v.size()));
        for (size_t i = 0; i < v.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
        m->add(QrcAllDiff(a, QrcFullFilterLevel).getImpl());
      };
      c.check = [](const std::vector<int64_t>& a) { return allDifferent(a); };
    } else {
      // Value 0 at most once, value 1 at least once; the others free.
      c.name = "distribute, round " + std::to_string(round);
      c.post = [](QrcManagerI* m, const qrotest::Vars& v) {
        QrcManager h(m);
        QrcIntVarArray a(h, static_cast<QrcInt>(v.size()));
        for (size_t i = 0; i < v.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
        QrcIntVarArray cards(h, 2);
        cards.set(0, QrcIntVar(h, 0, 1));
        cards.set(1, QrcIntVar(h, 1, 4));
        QrcInt listed[] = {0, 1};
        m->add(QrcDistribute(cards, QrcIntArray(h, 2, listed), a, QrcFullFilterLevel).getImpl());
      };
      c.check = [](const std::vector<int64_t>& a) {
        return std::count(a.begin(), a.end(), 0) <= 1 && std::count(a.begin(), a.end(), 1) >= 1;
      };
    }
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

}  // namespace
