// All-different at every filter level and the capacity matching behind
// level 3: fixed cases, error reports, displays, and brute force through the
// harness. It includes qrcmatching.h, private to the constraints, to read the
// matching a constraint keeps between propagations.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "qrcalldiff.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcmatching.h"
#include "constraint_fixtures.h"
#include "support/harness.h"

namespace {

using ctest::show;
using ctest::V;

typedef std::vector<int64_t> A;

class AllDiffTest : public ctest::ConstraintTest {};

// ---------------------------------------------------------------- matching

TEST_F(AllDiffTest, MatchingCases) {
  {  // three variables over two values
    QrcIntExpI* v[] = {var(1, 2), var(1, 2), var(1, 2)};
    m->pushState();
    EXPECT_FALSE(adds(QrcMakeAllDiffDomain(m, v, 3)));
    m->popState();
  }
  {  // a Hall set {1, 2}
    QrcIntExpI* v[] = {var(1, 2), var(1, 2), var(1, 3)};
    ASSERT_TRUE(adds(QrcMakeAllDiffDomain(m, v, 3)));
    EXPECT_EQ(dom(v[2]), std::vector<QrcInt>{3});
  }
  {  // the same variable twice, however large its domain
    QrcIntExpI* x = var(0, 100);
    QrcIntExpI* v[] = {x, var(0, 100), x};
    m->pushState();
    EXPECT_FALSE(adds(QrcMakeAllDiffDomain(m, v, 3)));
    m->popState();
  }
}

TEST_F(AllDiffTest, SparseUniverseGivesTheDenseDomains) {
  const QrcInt far = 1000000;
  QrcIntExpI* d[] = {var({1, 2}), var({1, 2}), var({1, 2, 3}), var({2, 3, 4})};
  QrcIntExpI* s[] = {var({1, far}), var({1, far}), var({1, far, 3}), var({far, 3, 4})};
  QrcAllDiffDomainI* dense = static_cast<QrcAllDiffDomainI*>(QrcMakeAllDiffDomain(m, d, 4));
  QrcAllDiffDomainI* sparse = static_cast<QrcAllDiffDomainI*>(QrcMakeAllDiffDomain(m, s, 4));
  EXPECT_FALSE(dense->getMatching()->isSparse());
  EXPECT_TRUE(sparse->getMatching()->isSparse());
  ASSERT_TRUE(adds(dense));
  ASSERT_TRUE(adds(sparse));
  for (int i = 0; i < 4; ++i) {
    std::vector<QrcInt> mapped;
    for (QrcInt v : dom(s[i])) mapped.push_back(v == far ? 2 : v);
    std::sort(mapped.begin(), mapped.end());
    EXPECT_EQ(dom(d[i]), mapped) << "variable " << i;
  }
}

// Removes several values in one propagation step.
class Remover : public QrcConstraintI {
 public:
  Remover(QrcManagerI* m, std::vector<std::pair<QrcIntExpI*, QrcInt>>* cuts)
      : QrcConstraintI(m), _cuts(cuts) {}
  void post() override {}
  void propagate() override {
    for (auto& c : *_cuts) c.first->removeValue(c.second);
  }

 private:
  std::vector<std::pair<QrcIntExpI*, QrcInt>>* _cuts;
};

TEST_F(AllDiffTest, FailedRepairRestoresTheMatching) {
  QrcIntExpI* v[] = {var(1, 4), var(1, 4), var(1, 4), var(1, 4)};
  QrcAllDiffDomainI* ct = static_cast<QrcAllDiffDomainI*>(QrcMakeAllDiffDomain(m, v, 4));
  ASSERT_TRUE(adds(ct));
  std::vector<QrcInt> before;
  for (int i = 0; i < 4; ++i) before.push_back(ct->getMatching()->getMatchedValue(i));
  // The first two lose their values and are matched again; then the last two
  // are left with one value between them.
  std::vector<std::pair<QrcIntExpI*, QrcInt>> cuts = {{v[0], before[0]}, {v[1], before[1]}};
  for (int i = 2; i < 4; ++i)
    for (int k = 0; k < 3; ++k) cuts.push_back({v[i], before[static_cast<size_t>(k)]});
  m->pushState();
  EXPECT_FALSE(adds(new (m) Remover(m, &cuts)));
  m->popState();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ct->getMatching()->getMatchedValue(i), before[i]);
  v[0]->setValue(before[1]);  // the kept matching is a sound start
  EXPECT_FALSE(v[1]->isInDomain(before[1]));
}

class DistributeDomainTest : public AllDiffTest {
 protected:
  QrcDistributeDomainI* make(std::vector<QrcIntExpI*> cards, std::vector<QrcInt> values,
                             std::vector<QrcIntExpI*> xs) {
    return new (m) QrcDistributeDomainI(
        array(cards), QrcIntArray(mgr, static_cast<QrcInt>(values.size()), values.data()),
        array(xs), 3);
  }
};

TEST_F(DistributeDomainTest, CardCases) {
  {  // [2, 2] for 5, one variable can hold 5
    m->pushState();
    EXPECT_FALSE(adds(make({var(2, 2)}, {5}, {var({1, 5}), var(1, 3)})));
    m->popState();
  }
  {  // no variable can take 9: its card is 0
    QrcIntExpI* card = var(0, 3);
    ASSERT_TRUE(adds(make({card}, {9}, {var(1, 3), var(1, 3)})));
    EXPECT_TRUE(card->isBound() && card->getMin() == 0);
  }
  {  // only two variables can take 7, and one of them must
    QrcIntExpI* card = var(0, 10);
    QrcIntExpI* c1 = var(1, 1);
    ASSERT_TRUE(adds(make({card, c1}, {7, 1}, {var({1, 7}), var({1, 7}), var(1, 1)})));
    // 1 is taken by the third variable alone, so both others hold 7.
    EXPECT_EQ(card->getMin(), 2);
    EXPECT_EQ(card->getMax(), 2);
    QrcIntExpI* free = var(0, 10);
    ASSERT_TRUE(adds(make({free}, {7}, {var({1, 7}), var({2, 7}), var(1, 3)})));
    EXPECT_EQ(free->getMin(), 0);
    EXPECT_EQ(free->getMax(), 2);
  }
}

// ---------------------------------------------------------------- all-different

TEST_F(AllDiffTest, LevelsOnTwoValues) {
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    QrcIntExpI* x = var(1, 2);
    QrcIntExpI* y = var(1, 2);
    QrcIntExpI* z = var(1, 2);
    m->pushState();
    bool posted = adds(QrcAllDiff(array({x, y, z}), level));
    EXPECT_EQ(posted, level <= 1) << "level " << level;
    if (posted) {
      EXPECT_THROW(x->setValue(1), QrcFailException);
    }
    m->popState();
  }
}

TEST_F(AllDiffTest, BoundsLevelCases) {
  QrcIntExpI* x = var(1, 2);
  QrcIntExpI* y = var(1, 2);
  QrcIntExpI* z = var(1, 3);
  ASSERT_TRUE(adds(QrcAllDiff(array({x, y, z}), QrcHighFilterLevel)));
  EXPECT_EQ(dom(z), std::vector<QrcInt>{3});
  QrcIntExpI* a = var(2, 3);
  QrcIntExpI* b = var(2, 3);
  QrcIntExpI* c = var({1, 2, 3, 4});
  ASSERT_TRUE(adds(QrcAllDiff(array({a, b, c}), QrcHighFilterLevel)));
  EXPECT_EQ(dom(c), (std::vector<QrcInt>{1, 4}));
}

TEST_F(AllDiffTest, SmallArraysPruneNothing) {
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    QrcIntVarArray empty(mgr, 0);
    EXPECT_TRUE(adds(QrcAllDiff(empty, level)));
    QrcIntExpI* x = var(1, 3);
    EXPECT_TRUE(adds(QrcAllDiff(array({x}), level)));
    EXPECT_EQ(x->getSize(), 3);
  }
}

TEST_F(AllDiffTest, IsFalse) {
  QrcIntExpI* x = var(1, 3);
  QrcIntExpI* y = var(1, 3);
  QrcIntExpI* z = var(1, 3);
  QrcConstraintI* ct = QrcAllDiff(array({x, y, z})).getImpl();
  EXPECT_FALSE(ct->isFalse());
  x->setValue(2);
  z->setRange(2, 3);
  EXPECT_FALSE(ct->isFalse());
  y->setValue(1);
  EXPECT_FALSE(ct->isFalse());
  z->setValue(2);
  EXPECT_TRUE(ct->isFalse());
}

TEST_F(AllDiffTest, LevelErrors) {
  std::string line;
  for (QrcInt bad : {QrcInt(4), QrcInt(-1)}) {
    EXPECT_EQ(errorOf([&] { QrcAllDiff(array({var(0, 1)}), bad); }, &line), 44);
    EXPECT_EQ(line, "Solver Error : bad event : QrcAllDiff : " + std::to_string(bad) + "\n");
  }
  QrcConstraintI* refused = QrcAllDiff(array({var(0, 1)})).getImpl();
  refused->setFilterLevel(5);
  EXPECT_EQ(errorOf([&] { m->add(refused); }, &line), 70);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Bad Filter Level : 5\n");
  QrcConstraintI* two = QrcAllDiff(array({var(0, 2), var(0, 2)}), QrcHighFilterLevel).getImpl();
  ASSERT_TRUE(adds(two));
  EXPECT_EQ(errorOf([&] { two->setFilterLevel(QrcMediumFilterLevel); }, &line), 71);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Cannot change Filter Level : 1\n");
}

TEST_F(AllDiffTest, RaisingThePostedLevelAddsTheMatching) {
  QrcIntExpI* x = var(1, 2);
  QrcIntExpI* y = var(1, 2);
  QrcIntExpI* z = var(1, 3);
  QrcAllDiffConstraintI* ct = static_cast<QrcAllDiffConstraintI*>(
      QrcAllDiff(array({x, y, z}), QrcMediumFilterLevel).getImpl());
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(z->getSize(), 3);
  EXPECT_TRUE(ct->setFilterLevel(QrcFullFilterLevel));
  EXPECT_EQ(ct->getFilterLevel(), QrcFullFilterLevel);
  EXPECT_EQ(dom(z), std::vector<QrcInt>{3});
  EXPECT_EQ(show(x->getIntHandler()->getValueDemons().getHead()->item), "QrcAllDiffDemon");
  EXPECT_EQ(show(x->getIntHandler()->getDomainDemons().getHead()->item), "QrcAllDiffDomainDemon");
}

TEST_F(AllDiffTest, CopyKeepsTheEffectiveLevel) {
  QrcManager other(QrcNoEdit);
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    QrcConstraintI* ct = QrcAllDiff(array({var(0, 2), var(0, 2)}), level).getImpl();
    QrcConstraintWithFilterI* copy =
        static_cast<QrcConstraintWithFilterI*>(ct->getCopyForManager(other.getImpl()));
    EXPECT_EQ(copy->getFilterLevel(), level);
    EXPECT_EQ(copy->getManager(), other.getImpl());
  }
  other.end();
}

TEST_F(AllDiffTest, Displays) {
  QrcIntExpI* x = var(0, 2, "x");
  QrcIntExpI* y = var(0, 2, "y");
  QrcConstraintI* ct = QrcAllDiff(array({x, y}), QrcFullFilterLevel).getImpl();
  std::string text = ctest::withoutAddress(show(ct));
  EXPECT_EQ(text, "QrcAllDiff(@) {" + show(x) + ", " + show(y) + ", }");
  ct->setName("ad");
  EXPECT_EQ(show(ct), "ad");
  QrcIntExpI* a = var(0, 3);
  QrcIntExpI* b = var(0, 3);
  ASSERT_TRUE(adds(QrcAllDiff(array({a, b}), QrcHighFilterLevel)));
  EXPECT_EQ(show(a->getIntHandler()->getRangeDemons().getHead()->item), "QrcAllDiffRangeDemon");
  QrcIntExpI* c = var(0, 3);
  ASSERT_TRUE(adds(new (m) QrcDistributeDomainI(array({var(0, 1)}), QrcIntArray(mgr, 1, QrcInt(2)),
                                                array({c}), 3)));
  EXPECT_EQ(show(c->getIntHandler()->getDomainDemons().getHead()->item),
            "QrcDistributeDomainDemon");
}

// ---------------------------------------------------------------- brute force

bool allDifferent(const A& a) {
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = i + 1; j < a.size(); ++j)
      if (a[i] == a[j]) return false;
  return true;
}

// Random domains: holes, negative values, and sometimes far-apart values.
std::vector<std::vector<int64_t>> domains(qrotest::Rng& rng, bool intervals, bool far) {
  int n = 2 + static_cast<int>(rng() % 4);
  std::vector<std::vector<int64_t>> d;
  if (intervals) {
    for (int i = 0; i < n; ++i) {
      int64_t a = -3 + static_cast<int64_t>(rng() % 6);
      d.push_back(qrotest::range(a, a + static_cast<int64_t>(rng() % 4)));
    }
  } else {
    d = qrotest::randomDomains(rng, n, -3, 4, 5);
  }
  if (far)
    for (auto& v : d)
      for (auto& x : v) x = x * 1000003 + (x > 0 ? 7 : 0);
  return d;
}

TEST(AllDiffHarness, EveryLevelAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(36));
  for (int round = 0; round < 12; ++round) {
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      bool intervals = level == 2 && round % 2 == 0;
      qrotest::PropCase c;
      c.name = "alldiff level " + std::to_string(level) + " round " + std::to_string(round);
      c.notReified = "an all-different has no opposite";
      c.seed = rng();
      c.values = domains(rng, intervals, level == 3 && round % 3 == 0);
      c.make = [level](QrcManagerI* m, const qrotest::Vars& v) {
        QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(v.size()));
        for (size_t i = 0; i < v.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
        return QrcAllDiff(a, level).getImpl();
      };
      c.check = allDifferent;
      c.level = level == 3                ? qrotest::Consistency::Domain
                : level == 2 && intervals ? qrotest::Consistency::Bounds
                                          : qrotest::Consistency::None;
      c.narrowRuns = 30;
      c.arrayElements = c.values.size();
      c.arrayShapes = 4;
      EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
    }
  }
}

typedef std::vector<std::pair<QrcInt, QrcInt>> Bounds;

// Distribute at level 3 over the elements, with cards of their own over
// [lo, hi] for the listed values (kept in cards when given).
QrcConstraintI* distributeDomain(QrcManagerI* m, const QrcIntVarArray& xs,
                                 const std::vector<QrcInt>& listed, const Bounds& bounds,
                                 std::vector<QrcIntExpI*>* cards) {
  QrcManager h(m);
  QrcIntVarArray cs(h, static_cast<QrcInt>(listed.size()));
  if (cards) cards->clear();
  for (size_t k = 0; k < listed.size(); ++k) {
    QrcIntExpI* card = new (m) QrcIntExpI(m, bounds[k].first, bounds[k].second, nullptr);
    if (cards) cards->push_back(card);
    cs.set(static_cast<QrcInt>(k), QrcIntExp(card));
  }
  QrcIntArray values(h, static_cast<QrcInt>(listed.size()), listed.data());
  return new (m) QrcDistributeDomainI(cs, values, xs, 3);
}

// Whether each listed value is taken within its bounds.
bool countsWithin(const A& elements, const std::vector<QrcInt>& listed, const Bounds& bounds) {
  for (size_t k = 0; k < listed.size(); ++k) {
    QrcInt count = std::count(elements.begin(), elements.end(), listed[k]);
    if (count < bounds[k].first || count > bounds[k].second) return false;
  }
  return true;
}

// Cards [lo, hi] for listed values; each card must end at the least and the
// greatest count over the solutions left.
TEST(AllDiffHarness, DistributeDomainAgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(3601));
  for (int round = 0; round < 20; ++round) {
    qrotest::PropCase c;
    c.name = "distribute domain round " + std::to_string(round);
    c.notReified = "a distribute has no opposite";
    c.seed = rng();
    int n = 2 + static_cast<int>(rng() % 4);
    c.values = qrotest::randomDomains(rng, n, -1, 3, 4);
    std::vector<QrcInt> listed;
    Bounds bounds;
    for (QrcInt v = -1; v <= 4; ++v) {
      if (rng() % 2) continue;
      QrcInt lo = static_cast<QrcInt>(rng() % 2), hi = lo + static_cast<QrcInt>(rng() % 3);
      listed.push_back(v);
      bounds.push_back({lo, hi});
    }
    auto cards = std::make_shared<std::vector<QrcIntExpI*>>();
    c.make = [listed, bounds, cards](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntVarArray xs(QrcManager(m), static_cast<QrcInt>(v.size()));
      for (size_t i = 0; i < v.size(); ++i) xs.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
      return distributeDomain(m, xs, listed, bounds, cards.get());
    };
    c.check = [listed, bounds](const A& a) { return countsWithin(a, listed, bounds); };
    c.level = qrotest::Consistency::Domain;
    c.extraCheck = [listed, cards](const std::vector<A>& left) -> std::string {
      for (size_t k = 0; k < listed.size(); ++k) {
        QrcInt lo = INT64_MAX, hi = -1;
        for (const A& s : left) {
          QrcInt count = std::count(s.begin(), s.end(), listed[k]);
          lo = std::min(lo, count);
          hi = std::max(hi, count);
        }
        QrcIntExpI* card = (*cards)[k];
        if (card->getMin() != lo || card->getMax() != hi) {
          std::ostringstream os;
          os << "card of " << listed[k] << " is [" << card->getMin() << ".." << card->getMax()
             << "], the solutions give [" << lo << ".." << hi << "]";
          return os.str();
        }
      }
      return "";
    };
    c.narrowRuns = 30;
    c.arrayElements = c.values.size();
    c.arrayShapes = 4;
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// Distribute at level 3 over offsets of a few variables (an element is
// variable v plus k, made a variable by QrcIntVar or by the array's set),
// cards of their own over [lo, hi] for listed values: the layouts that
// random shapes reached at a few seeds only, where one pass may cut pairs
// that together empty a domain.
struct OffsetElement {
  size_t var;
  int64_t k;
  bool made;
};

struct ListedOffsetCase {
  std::vector<std::vector<int64_t>> values;
  std::vector<QrcInt> listed;
  Bounds bounds;
  std::vector<OffsetElement> elements;
};

const ListedOffsetCase ListedOffsetCases[] = {
    {{{-1, 0}, {1, 2, 3}, {2, 3}},
     {-1, 0, 1, 3},
     {{0, 2}, {1, 3}, {1, 3}, {1, 1}},
     {{0, 0, false}, {2, 0, false}, {2, -1, false}, {1, 0, false}, {2, -3, false}}},
    {{{1, 2, 3}, {0, 1, 2, 3}},
     {-1, 1, 2},
     {{0, 0}, {0, 1}, {1, 1}},
     {{1, 0, false}, {0, 0, false}, {1, -1, true}, {1, 1, false}}},
    {{{0, 1}, {-1, 0, 1}, {2, 3}},
     {-1, 2, 3},
     {{0, 2}, {0, 1}, {0, 1}},
     {{0, 0, false}, {1, 1, true}, {2, -1, false}, {2, 0, false}, {1, 2, true}}},
    {{{-1, 0}, {0, 1, 2, 3}, {0, 1}, {0, 1, 2, 3}},
     {-1, 0, 3},
     {{1, 2}, {1, 2}, {1, 1}},
     {{3, 0, false}, {0, 0, false}, {3, 2, false}, {1, 0, false}, {2, 0, false}}},
};

TEST(AllDiffHarness, DistributeDomainOverOffsetsAgainstBruteForce) {
  int index = 0;
  for (const ListedOffsetCase& t : ListedOffsetCases) {
    qrotest::PropCase c;
    c.name = "distribute domain over offsets " + std::to_string(index++);
    c.notReified = "a distribute has no opposite";
    c.seed = qrotest::caseSeed(3602);
    c.values = t.values;
    c.make = [t](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntVarArray xs(QrcManager(m), static_cast<QrcInt>(t.elements.size()));
      for (size_t i = 0; i < t.elements.size(); ++i) {
        const OffsetElement& e = t.elements[i];
        QrcIntExp x = e.k ? QrcIntExp(v[e.var]) + e.k : QrcIntExp(v[e.var]);
        xs.set(static_cast<QrcInt>(i), e.made ? QrcIntVar(x) : x);
      }
      return distributeDomain(m, xs, t.listed, t.bounds, nullptr);
    };
    c.check = [t](const A& a) {
      A elements;
      for (const OffsetElement& e : t.elements) elements.push_back(a[e.var] + e.k);
      return countsWithin(elements, t.listed, t.bounds);
    };
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

}  // namespace
