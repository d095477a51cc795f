#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcfail.h"
#include "qrcintgoals.h"
#include "qrcintexp.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "qrctable.h"
#include "support/call_goal.h"
#include "support/harness.h"
#include "support/seed.h"
#include "support/unpooled.h"

using qrotest::Consistency;
using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;

namespace {

typedef std::vector<std::vector<int64_t>> Tuples;

QrcIntVarArray arrayOf(QrcManagerI* m, const Vars& x) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(x[i]));
  return a;
}

QrcTupleSet setOf(QrcManagerI* m, QrcInt arity, const Tuples& tuples, QrcInt mode) {
  QrcTupleSet s(QrcManager(m), arity);
  s.setStorageMode(mode);
  for (const auto& t : tuples) s.add(QrcIntArray(QrcManager(m), arity, t.data()));
  s.close();
  return s;
}

// A table case: allowed or forbidden tuples over the given candidate values.
PropCase tableCase(const std::string& name, const std::vector<std::vector<int64_t>>& values,
                   const Tuples& tuples, bool allowed, QrcInt mode, uint64_t seed) {
  PropCase c;
  c.name = name + (allowed ? " allowed" : " forbidden") + " mode " + std::to_string(mode);
  c.values = values;
  c.level = Consistency::Domain;
  c.seed = seed;
  c.notReified = "a table has no opposite";
  c.postInSearch = true;
  c.narrowRuns = qrotest::draws(30, 60);  // 30 runs, 60 with QRO_TEST_FULL=1
  QrcInt arity = static_cast<QrcInt>(values.size());
  c.make = [=](QrcManagerI* m, const Vars& x) {
    return QrcTableConstraint(arrayOf(m, x), setOf(m, arity, tuples, mode), allowed).getImpl();
  };
  std::set<std::vector<int64_t>> in(tuples.begin(), tuples.end());
  c.check = [=](const std::vector<int64_t>& a) { return (in.count(a) > 0) == allowed; };
  return c;
}

// Random tuples over the candidate values, with repeats and values no domain holds.
Tuples randomTuples(Rng& rng, const std::vector<std::vector<int64_t>>& values, size_t count) {
  Tuples out;
  for (size_t i = 0; i < count; ++i) {
    std::vector<int64_t> t;
    for (const auto& v : values) t.push_back(rng() % 8 ? v[rng() % v.size()] : v.back() + 1);
    out.push_back(t);
    if (rng() % 6 == 0) out.push_back(t);
  }
  return out;
}

void runInEveryMode(const std::string& name, const std::vector<std::vector<int64_t>>& values,
                    const Tuples& tuples, uint64_t seed) {
  for (bool allowed : {true, false}) {
    std::vector<PropCase> modes;
    for (QrcInt mode = 0; mode <= 2; ++mode) {
      modes.push_back(tableCase(name, values, tuples, allowed, mode, seed));
      qrotest::runPropCase(modes.back());
    }
    // One shared sequence of removals leaves the same domains in every mode.
    for (size_t k = 1; k < modes.size(); ++k) {
      qrotest::checkStronger(modes[0], modes[k]);
      qrotest::checkStronger(modes[k], modes[0]);
    }
  }
}

// Eight tables, two of each arity; 24 with QRO_TEST_FULL=1.
TEST(TableConstraint, RandomTablesAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(3900);
  const uint64_t count = static_cast<uint64_t>(qrotest::draws(8, 24));
  for (uint64_t i = 0; i < count; ++i) {
    Rng rng(base + i);
    int arity = 1 + static_cast<int>(i % 4);
    auto values = qrotest::randomDomains(rng, arity, -3, 4, 4);
    Tuples tuples = randomTuples(rng, values, rng() % (arity == 1 ? 4 : 14));
    runInEveryMode("random " + std::to_string(i), values, tuples, base + i);
  }
}

// Domains reaching far below the columns' values: a column's ranks start
// inside a later word of the domain, or across two words.
TEST(TableConstraint, DomainsFarBelowTheColumns) {
  struct Case {
    int arity;
    int64_t lo;
  };
  const Case cases[] = {{2, -70}, {3, -130}, {2, -64}, {2, -61}};
  uint64_t base = qrotest::caseSeed(3905);
  for (uint64_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    Rng rng(base + i);
    Tuples tuples;
    for (int n = 0; n < 10; ++n) {
      std::vector<int64_t> t;
      for (int k = 0; k < cases[i].arity; ++k) t.push_back(static_cast<int64_t>(rng() % 4));
      tuples.push_back(t);
    }
    // A hole below the columns: the domains are sets from the start.
    std::vector<int64_t> values = qrotest::range(cases[i].lo, 3);
    values.erase(values.begin() + 1);
    runInEveryMode("below " + std::to_string(cases[i].lo),
                   std::vector<std::vector<int64_t>>(static_cast<size_t>(cases[i].arity), values),
                   tuples, base + i);
  }
}

// Larger tables, where the jumps of modes 1 and 2 cross many tuples: two, one
// of each arity; six with QRO_TEST_FULL=1.
TEST(TableConstraint, LargerTablesAgreeAcrossModes) {
  uint64_t base = qrotest::caseSeed(3905);
  const uint64_t count = static_cast<uint64_t>(qrotest::draws(2, 6));
  for (uint64_t i = 0; i < count; ++i) {
    Rng rng(base + i);
    int arity = 3 + static_cast<int>(i % 2);
    auto values = qrotest::ranges(arity, 0, arity == 3 ? 5 : 3);
    Tuples tuples = randomTuples(rng, values, 40 + rng() % 40);
    runInEveryMode("larger " + std::to_string(i), values, tuples, base + i);
  }
}

// A table of a model over several variables: its scope, its tuples, and
// whether they are allowed or forbidden.
struct ScopedTable {
  std::vector<size_t> scope;
  std::set<std::vector<int64_t>> tuples;
  bool allowed;
};

// arity distinct variables of n.
std::vector<size_t> randomScope(Rng& rng, size_t arity, size_t n) {
  std::vector<size_t> scope;
  while (scope.size() < arity) {
    size_t v = rng() % n;
    if (std::find(scope.begin(), scope.end(), v) == scope.end()) scope.push_back(v);
  }
  return scope;
}

// Posts the tables in the storage mode and checks assignments against them.
void postTables(PropCase& c, const std::vector<ScopedTable>& tables, QrcInt mode) {
  c.post = [=](QrcManagerI* m, const Vars& x) {
    for (const ScopedTable& t : tables) {
      QrcInt arity = static_cast<QrcInt>(t.scope.size());
      QrcIntVarArray a(QrcManager(m), arity);
      for (QrcInt j = 0; j < arity; ++j) a.set(j, QrcIntExp(x[t.scope[static_cast<size_t>(j)]]));
      Tuples tuples(t.tuples.begin(), t.tuples.end());
      m->add(QrcTableConstraint(a, setOf(m, arity, tuples, mode), t.allowed).getImpl());
    }
  };
  c.check = [=](const std::vector<int64_t>& a) {
    for (const ScopedTable& t : tables) {
      std::vector<int64_t> v;
      for (size_t j : t.scope) v.push_back(a[j]);
      if ((t.tuples.count(v) > 0) != t.allowed) return false;
    }
    return true;
  };
}

// Six seeded cases (twelve with QRO_TEST_FULL=1) over vars variables of
// values 0..hi, each posting in the mode its number gives the tables
// draw(rng, t) makes for t = 0..count-1.
template <typename Draw>
void runSharedCases(const char* name, uint64_t key, int vars, int64_t hi, int count, Draw draw) {
  uint64_t base = qrotest::caseSeed(key);
  const uint64_t cases = static_cast<uint64_t>(qrotest::draws(6, 12));
  for (uint64_t i = 0; i < cases; ++i) {
    Rng rng(base + i);
    PropCase c;
    c.name = std::string(name) + " " + std::to_string(i);
    c.values = qrotest::ranges(vars, 0, hi);
    c.seed = base + i;
    std::vector<ScopedTable> tables;
    for (int t = 0; t < count; ++t) tables.push_back(draw(rng, t));
    postTables(c, tables, static_cast<QrcInt>(i % 3));
    qrotest::runPropCase(c);
  }
}

// Several tables over shared variables: a failure inside one table's
// propagation leaves lost values that later choice points must not reuse.
TEST(TableConstraint, SharedVariablesAgreeWithBruteForce) {
  runSharedCases("shared", 3906, 6, 3, 5, [](Rng& rng, int) {
    std::vector<size_t> scope = randomScope(rng, 3, 6);
    Tuples tuples = randomTuples(rng, qrotest::ranges(3, 0, 3), 40);
    return ScopedTable{scope, {tuples.begin(), tuples.end()}, scope[0] % 2 == 0};
  });
}

// Tables sharing variables whose columns narrow them alike or not: the
// values a variable loses are read once for the tables that index them alike.
TEST(TableConstraint, TablesOverOneVariableAgreeWithBruteForce) {
  runSharedCases("over one variable", 3910, 5, 5, 7, [](Rng& rng, int t) {
    size_t arity = 2 + rng() % 2;
    std::vector<size_t> scope = randomScope(rng, arity, 5);
    // Columns over the whole domain, over a part of it, or with a hole.
    int64_t lo = t % 3 == 1 ? 1 : 0, hi = t % 3 == 1 ? 4 : 5;
    Tuples tuples = randomTuples(rng, qrotest::ranges(static_cast<int>(arity), lo, hi), 30);
    if (t % 3 == 2)
      tuples.erase(std::remove_if(tuples.begin(), tuples.end(),
                                  [](const std::vector<int64_t>& u) { return u[0] == 2; }),
                   tuples.end());
    return ScopedTable{scope, {tuples.begin(), tuples.end()}, true};
  });
}

TEST(TableConstraint, FarApartValuesKeepHashedColumns) {
  uint64_t seed = qrotest::caseSeed(3901);
  Rng rng(seed);
  const std::vector<int64_t> far = {-4000037, -17, 5, 999983, 70000001};
  std::vector<std::vector<int64_t>> values(3, far);
  Tuples tuples = randomTuples(rng, values, 20);
  runInEveryMode("far apart", values, tuples, seed);
}

// Consecutive column values, each met at every position, then random tuples.
Tuples consecutiveTuples(Rng& rng, int arity, int64_t lo, int64_t hi, size_t count) {
  Tuples out;
  for (int64_t v = lo; v <= hi; ++v) out.push_back(std::vector<int64_t>(arity, v));
  while (out.size() < count) {
    std::vector<int64_t> t;
    for (int j = 0; j < arity; ++j) t.push_back(lo + static_cast<int64_t>(rng() % (hi - lo + 1)));
    out.push_back(t);
  }
  return out;
}

std::vector<int64_t> spanOf(int64_t lo, int64_t hi, std::vector<int64_t> more) {
  for (int64_t v = lo; v <= hi; ++v) more.push_back(v);
  std::sort(more.begin(), more.end());
  return more;
}

// Searches read the domains by bit words: columns whose values cross a word
// of the domain or lie below it, domains too wide for words, and columns of
// more than 64 values, which walk the tuples one by one.
TEST(TableConstraint, DomainWordsAgreeWithBruteForce) {
  struct Shape {
    const char* name;
    int arity;
    std::vector<int64_t> domain;
    int64_t lo, hi;
    size_t count;
  };
  const Shape shapes[] = {
      {"across a word", 3, spanOf(3, 11, {-60, 60}), 3, 11, 60},
      {"below the domain", 3, spanOf(-60, -52, {0}), -70, -54, 70},
      {"sparse domain", 3, spanOf(0, 8, {-200, 200}), 0, 8, 60},
      {"wide column", 2, spanOf(0, 65, {}), 0, 65, 200},
      // Binary lists longer than the ones walked without the bits.
      {"long pair lists", 2, spanOf(0, 4, {9}), 0, 4, 60},
  };
  uint64_t base = qrotest::caseSeed(3907);
  for (uint64_t i = 0; i < 5; ++i) {
    const Shape& sh = shapes[i];
    Rng rng(base + i);
    std::vector<std::vector<int64_t>> values(static_cast<size_t>(sh.arity), sh.domain);
    runInEveryMode(sh.name, values, consecutiveTuples(rng, sh.arity, sh.lo, sh.hi, sh.count),
                   base + i);
  }
  // Long tuples whose first column has more than 64 values: no words, no copies in the lists.
  Rng rng(base + 5);
  Tuples tuples;
  for (int i = 0; i < 160; ++i) {
    std::vector<int64_t> t = {static_cast<int64_t>(i % 3 ? rng() % 200 : rng() % 2)};
    for (int j = 1; j < 9; ++j) t.push_back(static_cast<int64_t>(rng() % 2));
    tuples.push_back(t);
  }
  runInEveryMode("long tuples", qrotest::ranges(9, 0, 1), tuples, base + 5);
}

TEST(TableConstraint, EmptySets) {
  runInEveryMode("empty", qrotest::ranges(2, 0, 2), {}, qrotest::caseSeed(3902));
}

// Random binary and ternary relations, and arithmetic ones.
class Relation : public QrcIntBinaryPredicateI, public QrcIntTernaryPredicateI {
 public:
  Relation(int kind, uint64_t seed) : _kind(kind), _seed(seed) {}
  QrcBool isTrue(QrcInt a, QrcInt b) override {
    if (_kind == 0) return std::abs(a - b) != 1 && a != b;
    return mix(a * 31 + b) % 3 == 0;
  }
  QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) override {
    if (_kind == 0) return a + b == c;
    return mix((a * 31 + b) * 31 + c) % 3 == 0;
  }

 private:
  uint64_t mix(int64_t v) const {
    uint64_t x = static_cast<uint64_t>(v) * 0x9E3779B97F4A7C15ULL + _seed;
    return x ^ (x >> 29);
  }
  int _kind;
  uint64_t _seed;
};

// Each arity and relation twice, four times with QRO_TEST_FULL=1.
TEST(TableConstraint, PredicatesAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(3903);
  const uint64_t count = static_cast<uint64_t>(qrotest::draws(8, 16));
  for (uint64_t i = 0; i < count; ++i) {
    Rng rng(base + i);
    int arity = 2 + static_cast<int>(i % 2);
    Relation rel(static_cast<int>(i / 2 % 2), base + i);
    PropCase c;
    c.name = "predicate " + std::to_string(i);
    c.notReified = "a table has no opposite";
    c.callersCode = true;
    c.values = qrotest::randomDomains(rng, arity, -3, 4, 5);
    c.level = Consistency::Domain;
    c.seed = base + i;
    Relation* r = &rel;
    c.make = [=](QrcManagerI* m, const Vars& x) {
      QrcConstraint ct = arity == 2 ? QrcTableConstraint(arrayOf(m, x), QrcIntBinaryPredicate(r))
                                    : QrcTableConstraint(arrayOf(m, x), QrcIntTernaryPredicate(r));
      return ct.getImpl();
    };
    c.check = [=](const std::vector<int64_t>& a) {
      return arity == 2 ? r->isTrue(a[0], a[1]) : r->isTrue(a[0], a[1], a[2]);
    };
    qrotest::runPropCase(c);
  }
}

// ---------------------------------------------------------------- posting

class Table : public ctest::ConstraintTest {
 protected:
  // A new manager, after a failure at the root left the old one failed.
  void renew() {
    TearDown();
    SetUp();
  }
  ctest::V domain(const QrcIntVarArray& x, QrcInt i) { return dom(x[i].getImpl()); }
};

TEST_F(Table, Errors) {
  QrcIntVarArray x3(mgr, 3, 0, 2), x2(mgr, 2, 0, 2);
  Relation rel(0, 1);
  EXPECT_EQ(errorLine([&] { QrcTableConstraint(x3, QrcIntBinaryPredicate(&rel)); }),
            "Solver Error : QrcTableConstraint : the arity must be less than or equal to 3\n");
  std::string line;
  EXPECT_EQ(errorOf([&] { QrcTableConstraint(x2, QrcIntTernaryPredicate(&rel)); }, &line), 57);
  QrcTupleSet open(mgr, 3);
  EXPECT_EQ(errorOf([&] { QrcTableConstraint(x3, open, 1); }, &line), 56);
  EXPECT_EQ(line, "Solver Error : QrcTableConstraint : the tuple set is not closed\n");
  QrcTupleSet pairs = setOf(m, 2, {{0, 1}}, 0);
  EXPECT_EQ(errorOf([&] { QrcTableConstraint(x3, pairs, 1); }, &line), 5);
  EXPECT_EQ(line, "Solver Error : QrcTableConstraint : bad array size\n");
  EXPECT_EQ(errorOf([&] { QrcTableConstraint(x3, pairs, 0); }, &line), 5);
}

TEST_F(Table, PostingCases) {
  for (QrcInt mode = 0; mode <= 2; ++mode) {
    renew();
    QrcIntVarArray x(mgr, 2, -5, 5), y(mgr, 2, 0, 3);
    // Every value left occurs in its column.
    ASSERT_TRUE(adds(QrcTableConstraint(x, setOf(m, 2, {{-4, 3}, {0, 3}, {2, -1}}, mode), 1)));
    EXPECT_EQ(domain(x, 0), (ctest::V{-4, 0, 2}));
    EXPECT_EQ(domain(x, 1), (ctest::V{-1, 3}));
    ASSERT_TRUE(adds(QrcTableConstraint(y, setOf(m, 2, {}, mode), 0)));
    EXPECT_EQ(domain(y, 0).size() + domain(y, 1).size(), 8u);
    EXPECT_FALSE(adds(QrcTableConstraint(y, setOf(m, 2, {}, mode), 1)));
  }
}

// (0, 0) takes (0, 2, 2), the support of (1, 2), when (0, 0, 0) goes; when that
// goes too, (0, 1, 1) still supports it although its own search never met it.
TEST_F(Table, SupportTakenFromAnotherValueKeepsEarlierCandidates) {
  for (QrcInt mode = 0; mode <= 2; ++mode) {
    QrcIntVarArray x(mgr, 3, 0, 2);
    x[0].setMax(1);
    mgr.add(
        QrcTableConstraint(x, setOf(m, 3, {{1, 1, 1}, {0, 0, 0}, {0, 1, 1}, {0, 2, 2}}, mode), 1));
    x[1].removeValue(0);
    x[2].removeValue(2);
    EXPECT_EQ(domain(x, 0), (ctest::V{0, 1})) << "mode " << mode;
  }
}

TEST_F(Table, CopiesPropagateInAnotherManager) {
  QrcIntVarArray x(mgr, 2, 0, 3);
  Relation rel(0, 1);
  QrcConstraint tables[] = {QrcTableConstraint(x, setOf(m, 2, {{0, 2}, {1, 3}, {3, 0}}, 1), 1),
                            QrcTableConstraint(x, setOf(m, 2, {{0, 2}, {1, 3}}, 2), 0),
                            QrcTableConstraint(x, QrcIntBinaryPredicate(&rel))};
  // x0 = 0 leaves to x1: 2 (allowed), all but 2 (forbidden), 2 and 3 (|x0 - x1| > 1).
  const ctest::V expected[] = {{2}, {0, 1, 3}, {2, 3}};
  for (int k = 0; k < 3; ++k) {
    QrcManager other(QrcNoEdit);
    QrcManagerI* o = other.getImpl();
    bool opened = QrcOpenCopy(o);
    QrcConstraintI* copy = tables[k].getImpl()->getCopyForManager(o);
    QrcIntVarArray xc(other, 2);
    for (QrcInt i = 0; i < 2; ++i)
      xc.set(i, QrcIntExp(static_cast<QrcIntExpI*>(x[i].getImpl()->getCopyForManager(o))));
    QrcCloseCopy(o, opened);
    o->add(copy);
    xc[0].setValue(0);
    EXPECT_EQ(domain(xc, 1), expected[k]) << "table " << k;
    EXPECT_EQ(domain(x, 1).size(), 4u);
    other.end();
  }
}

TEST_F(Table, NoVariables) {
  for (int tuples = 0; tuples <= 1; ++tuples)
    for (QrcBool allowed = 0; allowed <= 1; ++allowed) {
      renew();
      QrcTupleSet set = setOf(m, 0, Tuples(static_cast<size_t>(tuples)), 2);
      EXPECT_EQ(adds(QrcTableConstraint(QrcIntVarArray(mgr, 0), set, allowed)),
                (tuples == 1) == (allowed == 1));
    }
}

// Runs a nested solve of its goal from propagation, restoring the state.
class NestedSolveDemon : public QrcDemonI {
 public:
  NestedSolveDemon(QrcManagerI* m, QrcGoalI* goal) : QrcDemonI(m), _goal(goal) {}
  void propagate() override { _manager->solveInPropagation(this, _goal, true); }

 private:
  QrcGoalI* _goal;
};

// In a search, x0 loses 0 while a nested solve waits in the queue ahead of
// the table: once the nested solve is done, the table hears of it and takes
// 0 from x1. Inside, x0 may lose 1 too, in the branch that succeeds or in
// one that fails first: the nested solve's backtracks take back that loss,
// not the one before it.
TEST_F(Table, ValuesLostBeforeANestedSolveReachTheTableAfterIt) {
  const char* inside[] = {"nothing", "x0 loses 1", "x0 loses 1, fails"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(inside[k]);
    renew();
    QrcIntVarArray x(mgr, 2, 0, 2);
    mgr.add(QrcTableConstraint(x, setOf(m, 2, {{0, 0}, {1, 1}, {2, 2}}, 0), 1));
    std::function<void()> nothing = [] {}, loseOne = [&] { x[0].removeValue(1); };
    std::function<void()> loseOneAndFail = [&] {
      x[0].removeValue(1);
      m->fail();
    };
    QrcGoal goals[] = {new (m) qrotest::CallGoal(m, &nothing),
                       new (m) qrotest::CallGoal(m, &loseOne),
                       QrcOr(new (m) qrotest::CallGoal(m, &loseOneAndFail),
                             QrcGoal(new (m) qrotest::CallGoal(m, &nothing)))};
    std::function<void()> outside = [&] {
      QrcPropagationQueueI* q = m->getPropagationQueue();
      q->enter();
      q->push(new (m) NestedSolveDemon(m, goals[k].getImpl()), QrcLastPriority);
      x[0].removeValue(0);
      q->leave();
    };
    QrcSearch s(mgr, QrcGoal(new (m) qrotest::CallGoal(m, &outside)));
    ASSERT_TRUE(s.next());
    EXPECT_EQ(domain(x, 1), (ctest::V{1, 2}));
    s.end();
  }
}

// ---------------------------------------------------------------- searches

// Values holding no support yet read -1.
std::vector<QrcInt> frontiersOf(const QrcGACSAllowedI* ct, const QrcIntVarArray& x) {
  std::vector<QrcInt> out;
  for (QrcInt j = 0; j < x.getSize(); ++j) {
    QrcIntExp xj = x[j];
    for (QrcInt w = xj.getMin();; w = xj.getImpl()->getNextHigher(w)) {
      const QrcGACValue* value = ct->findValue(j, w);
      out.push_back(value && value->frontier ? value->frontier->number : -1);
      if (w == xj.getMax()) break;
    }
  }
  return out;
}

// Every mode's search takes the first tuple of the value's list after its
// frontier whose values all lie in their domains: after each removal the
// frontiers of all values agree across the modes. The shapes cover the rows
// of the jumps: narrow and 32-bit numbers, negative and wide values, columns
// of more than 64 values, long tuples.
TEST(TableConstraint, EveryModeFindsTheSameSupports) {
  struct Shape {
    const char* name;
    int arity;
    std::vector<int64_t> column;
    size_t count;
    int removals;
  };
  const int64_t big = int64_t(1) << 40;
  const Shape shapes[] = {
      {"narrow", 3, qrotest::range(0, 4), 80, 60},
      {"four columns", 4, qrotest::range(0, 3), 140, 60},
      {"negative and wide", 3, {-5000000000, -3, 0, 2, 7, big}, 90, 60},
      {"wide columns", 2, qrotest::range(-40, 59), 400, 150},
      {"long tuples", 9, qrotest::range(-1, 1), 150, 60},
      {"16-bit numbers", 3, qrotest::range(0, 5), 600, 60},
      {"32-bit numbers", 2, qrotest::range(0, 299), 66000, 40},
  };
  uint64_t base = qrotest::caseSeed(3911);
  for (uint64_t i = 0; i < sizeof(shapes) / sizeof(shapes[0]); ++i) {
    const Shape& sh = shapes[i];
    Rng rng(base + i);
    std::vector<std::vector<int64_t>> values(static_cast<size_t>(sh.arity), sh.column);
    Tuples tuples;
    while (tuples.size() < sh.count) {
      std::vector<int64_t> t;
      for (const auto& v : values) t.push_back(v[rng() % v.size()]);
      tuples.push_back(t);
    }
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    std::vector<QrcIntVarArray> x;
    std::vector<QrcGACSAllowedI*> cts;
    for (QrcInt mode = 0; mode <= 2; ++mode) {
      QrcTupleSetI* set = setOf(m, sh.arity, tuples, mode).getImpl();
      x.emplace_back(mgr, sh.arity, sh.column.front(), sh.column.back());
      for (QrcInt k = 0; k < sh.arity; ++k)
        x.back()[k].setDomain(QrcIntArray(set->getColumn(k).values));
      cts.push_back(new (m) QrcGACSAllowedI(m, x.back().getImpl(), set));
      mgr.add(QrcConstraint(cts.back()));
    }
    for (int step = 0; step < sh.removals; ++step) {
      QrcInt j = static_cast<QrcInt>(rng() % static_cast<uint64_t>(sh.arity));
      QrcIntExp xj = x[0][j];
      if (xj.isBound()) continue;
      // Keep a tuple: removals never fail here.
      std::vector<std::set<int64_t>> domains(static_cast<size_t>(sh.arity));
      for (QrcInt k = 0; k < sh.arity; ++k)
        for (QrcInt w = x[0][k].getMin();; w = x[0][k].getImpl()->getNextHigher(w)) {
          domains[static_cast<size_t>(k)].insert(w);
          if (w == x[0][k].getMax()) break;
        }
      std::set<int64_t>& dj = domains[static_cast<size_t>(j)];
      QrcInt v =
          *std::next(dj.begin(), static_cast<long>(rng() % std::min<uint64_t>(dj.size(), 8)));
      dj.erase(v);
      bool kept = false;
      for (const auto& t : tuples) {
        bool in = true;
        for (size_t k = 0; in && k < t.size(); ++k) in = domains[k].count(t[k]) > 0;
        if ((kept = in)) break;
      }
      if (!kept) continue;
      for (auto& xs : x) xs[j].removeValue(v);
      std::vector<QrcInt> expected = frontiersOf(cts[0], x[0]);
      for (size_t mode = 1; mode < 3; ++mode)
        ASSERT_EQ(frontiersOf(cts[mode], x[mode]), expected)
            << sh.name << " mode " << mode << " step " << step;
    }
    mgr.end();
  }
}

// ---------------------------------------------------------------- backtracking

TEST(TableConstraint, RestorersGiveEverySupportBack) {
  Rng rng(qrotest::caseSeed(3904));
  for (QrcInt mode = 0; mode <= 3; ++mode) {
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    const int n = 6;
    QrcIntVarArray x(mgr, n, 0, 4);
    // Every seed has solutions: one assignment satisfies every table.
    std::vector<int64_t> planted;
    for (int i = 0; i < n; ++i) planted.push_back(static_cast<int64_t>(rng() % 5));
    for (int c = 0; c < 5; ++c) {
      Tuples tuples = randomTuples(rng, qrotest::ranges(3, 0, 4), 60);
      std::vector<int64_t> kept;
      for (int j = 0; j < 3; ++j) kept.push_back(planted[static_cast<size_t>((c + j * 2) % n)]);
      if (mode < 3)
        tuples.push_back(kept);
      else
        tuples.erase(std::remove(tuples.begin(), tuples.end(), kept), tuples.end());
      QrcIntVarArray scope(mgr, 3);
      for (QrcInt j = 0; j < 3; ++j) scope.set(j, x[(c + j * 2) % n]);
      // Mode 3: a forbidden table.
      mgr.add(QrcTableConstraint(scope, setOf(m, 3, tuples, mode % 3), mode < 3));
    }
    QrcSizeAllocatorI* pool = m->getSizeAllocator();
    std::vector<QrcInt> counts, bytes, chunks;
    for (int search = 0; search < 2; ++search) {
      QrcSearch s(mgr, QrcGenerate(x));
      QrcInt solutions = 0;
      while (s.next()) ++solutions;
      s.end();
      counts.push_back(solutions);
      bytes.push_back(pool->getBytesInUse());
      QrcInt total = 0;
      for (int k = 0; k < QrcSizeAllocatorI::ClassCount; ++k)
        total += pool->getPool(k).getChunkCount();
      chunks.push_back(total);
    }
    EXPECT_EQ(counts[0], counts[1]) << "mode " << mode;
    EXPECT_GT(counts[0], 0) << "mode " << mode;
    EXPECT_EQ(bytes[0], bytes[1]) << "mode " << mode;
    EXPECT_EQ(chunks[0], chunks[1]) << "mode " << mode;
    mgr.end();
  }
}

// Deep searches over overlapping tables: tuples invalidated at one choice
// point are freed or resupported at deeper ones, and every restorer runs in
// turn. Each mode finds exactly the solutions counted by enumeration, with
// the same number of fails.
TEST(TableConstraint, DeepSearchesCountEverySolution) {
  for (uint64_t seed = 0; seed < 3; ++seed) {
    Rng rng(qrotest::caseSeed(3907) + seed);
    const int n = 7, d = 5;
    std::vector<std::pair<std::vector<int>, std::set<std::vector<int64_t>>>> tables;
    for (int c = 0; c < 6; ++c) {
      int arity = 3 + c % 2;
      std::vector<int> scope;
      while (static_cast<int>(scope.size()) < arity) {
        int v = static_cast<int>(rng() % n);
        if (std::find(scope.begin(), scope.end(), v) == scope.end()) scope.push_back(v);
      }
      Tuples tuples = randomTuples(rng, qrotest::ranges(arity, 0, d - 1), arity == 3 ? 60 : 250);
      tables.emplace_back(scope, std::set<std::vector<int64_t>>(tuples.begin(), tuples.end()));
    }
    // Each table's tuples within the domains, flagged by their number in base d.
    std::vector<std::vector<bool>> in;
    for (const auto& t : tables) {
      in.emplace_back(t.first.size() == 3 ? d * d * d : d * d * d * d, false);
      for (const auto& u : t.second) {
        if (std::any_of(u.begin(), u.end(), [](int64_t v) { return v < 0 || v >= d; })) continue;
        size_t k = 0;
        for (int64_t v : u) k = k * d + static_cast<size_t>(v);
        in.back()[k] = true;
      }
    }
    QrcInt expected = 0;
    std::vector<int64_t> a(n, 0);
    for (;;) {
      bool ok = true;
      for (size_t t = 0; t < tables.size() && ok; ++t) {
        size_t k = 0;
        for (int j : tables[t].first) k = k * d + static_cast<size_t>(a[static_cast<size_t>(j)]);
        ok = in[t][k];
      }
      expected += ok;
      size_t i = 0;
      while (i < a.size() && ++a[i] == d) a[i++] = 0;
      if (i == a.size()) break;
    }
    std::vector<QrcInt> fails;
    for (QrcInt mode = 0; mode <= 2; ++mode) {
      QrcManager mgr(QrcNoEdit);
      QrcManagerI* m = mgr.getImpl();
      QrcIntVarArray x(mgr, n, 0, d - 1);
      for (const auto& t : tables) {
        QrcIntVarArray scope(mgr, static_cast<QrcInt>(t.first.size()));
        for (size_t j = 0; j < t.first.size(); ++j)
          scope.set(static_cast<QrcInt>(j), x[t.first[j]]);
        Tuples tuples(t.second.begin(), t.second.end());
        mgr.add(QrcTableConstraint(scope, setOf(m, scope.getSize(), tuples, mode), true));
      }
      QrcSearch s(mgr, QrcGenerate(x));
      QrcInt solutions = 0;
      while (s.next()) ++solutions;
      s.end();
      EXPECT_EQ(solutions, expected) << "seed " << seed << " mode " << mode;
      fails.push_back(m->getFails());
      mgr.end();
    }
    EXPECT_EQ(fails[0], fails[1]) << "seed " << seed;
    EXPECT_EQ(fails[0], fails[2]) << "seed " << seed;
  }
}

// A set made at the top level and filled there, then (with one more tuple
// added or not) closed and used by a table below a choice point: every
// branch and the passes after a restart see the set as the top level left it,
// and so do the indexes that membership and the node accessors make on first
// use there. Without the engine's pooling the sanitizers see the memory a
// backtrack gave back.
TEST(TableConstraint, SetClosedInEveryBranch) {
  ctest::ThrowingReporter reporter;
  for (bool pooled : {true, false})
    for (bool addInBranch : {false, true})
      for (QrcInt mode = 0; mode <= 2; ++mode) {
        QrcManager mgr = qrotest::managerPooled(pooled);
        QrcManagerI* m = mgr.getImpl();
        m->useExceptions(true);
        m->setErrorReporter(&reporter);
        QrcIntVarArray x(mgr, 2, 0, 2);
        QrcTupleSet set(mgr, 2);
        set.setStorageMode(mode);
        const std::vector<ctest::V> tuples = {{0, 0}, {0, 2}, {1, 1}, {2, 0}, {2, 2}, {2, 1}};
        for (size_t t = 0; t + 1 < tuples.size(); ++t)
          set.add(QrcIntArray(mgr, 2, tuples[t].data()));
        // Closed in the branch, and read there: the hash and the nodes; the
        // records of modes 1 and 2 at each leaf below.
        std::function<void()> post = [&] {
          if (addInBranch) set.add(QrcIntArray(mgr, 2, tuples.back().data()));
          set.close();
          m->add(QrcTableConstraint(x, set, true).getImpl());
          const QrcTupleSetI* t = set.getImpl();
          const QrcInt n = t->getCount(), absent[] = {1, 0};
          EXPECT_FALSE(t->isIn(absent, 2));
          for (QrcInt i = 0; i < n; ++i)
            EXPECT_TRUE(t->isIn(tuples[static_cast<size_t>(i)].data(), 2));
          EXPECT_EQ(t->getNewest()->number, n - 1);
          QrcInt last = -1;  // of the tuples holding 2 in column 0
          for (QrcTupleNode* u = t->getFirst(0, 2); u; u = u->columnNext[0]) last = u->number;
          EXPECT_EQ(last, n - 1);
        };
        std::function<void()> leaf = [&] {
          for (QrcInt i = 0; i < set.getCount(); ++i) {
            const QrcTupleNode* u = set.getImpl()->getTuple(i);
            EXPECT_EQ(u->values[1], tuples[static_cast<size_t>(i)][1]);
            if (mode > 0) {
              EXPECT_EQ(mode == 1 ? u->mode1()->number : u->mode2()->number, i);
            }
          }
        };
        QrcIntVarArray first(mgr, 1);
        first.set(0, x[0]);
        QrcGoal read(new (m) qrotest::CallGoal(m, &leaf));
        QrcSearch s(mgr,
                    QrcAnd(QrcGenerate(first), QrcAnd(QrcGoal(new (m) qrotest::CallGoal(m, &post)),
                                                      QrcAnd(QrcGenerate(x), read))));
        for (int pass = 0; pass < 2; ++pass) {
          int found = 0;
          while (s.next()) ++found;
          EXPECT_EQ(found, addInBranch ? 6 : 5)
              << "mode " << mode << (addInBranch ? " added in a branch" : "")
              << (pooled ? "" : " unpooled") << " pass " << pass;
          s.restart();
        }
        s.end();
        EXPECT_EQ(set.getCount(), 5);
        EXPECT_FALSE(set.getImpl()->isClosed());
        m->setErrorReporter(nullptr);
        mgr.end();
      }
}

}  // namespace
