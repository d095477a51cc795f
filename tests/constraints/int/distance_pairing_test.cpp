// Minimum distance with its opposite and partition, the general matching,
// and pairing: fixed cases, errors, and brute force through the harness.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>

#include "qrcfail.h"
#include "qrcmindistance.h"
#include "qrcpairing.h"
#include "constraint_fixtures.h"
#include "support/harness.h"

namespace {

using ctest::show;
using ctest::V;

typedef std::vector<int64_t> A;

class DistanceTest : public ctest::ConstraintTest {
 protected:
  QrcConstraintI* distance(std::vector<QrcIntExpI*> xs, QrcInt k, QrcInt level) {
    QrcConstraintI* ct = QrcAllMinDistance(array(xs), k).getImpl();
    ct->setFilterLevel(level);
    return ct;
  }
};

// ---------------------------------------------------------------- minimum distance

TEST_F(DistanceTest, WindowRule) {
  for (QrcInt level = 0; level <= 1; ++level) {
    QrcIntExpI* y = var(0, 10);
    ASSERT_TRUE(adds(distance({var(0, 1), y}, 3, level)));
    EXPECT_EQ(y->getMin(), 3);
    EXPECT_EQ(y->getSize(), 8);
  }
  QrcIntExpI* y = var(0, 10);
  ASSERT_TRUE(adds(distance({var(0, 5), y}, 3, 0)));  // bounds 2k - 1 apart
  EXPECT_EQ(y->getSize(), 11);
  EXPECT_EQ(QrcAllMinDistance(array({var(0, 1)}), 0).getImpl(), m->getTrueConstraint());
  EXPECT_TRUE(distance({var(5, 5), var(4, 6)}, 2, 1)->isFalse());
  EXPECT_FALSE(distance({var(5, 5), var(3, 7)}, 2, 1)->isFalse());
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    EXPECT_TRUE(adds(distance({var(0, 3)}, 2, level)));
    EXPECT_TRUE(adds(distance({}, 2, level)));
  }
}

TEST_F(DistanceTest, Partition) {
  // Below level 3 the windows do all a partition would: none is built.
  QrcGlobalMinDistanceI* low =
      static_cast<QrcGlobalMinDistanceI*>(distance({var(0, 3), var(0, 3)}, 1, 2));
  ASSERT_TRUE(adds(low));
  EXPECT_EQ(low->getPartition(), nullptr);
  QrcGlobalMinDistanceI* one =
      static_cast<QrcGlobalMinDistanceI*>(distance({var(0, 3), var(0, 3)}, 1, 3));
  ASSERT_TRUE(adds(one));
  ASSERT_EQ(one->getPartition()->getShiftCount(), 1);
  QrcMinDistanceEltOfPartitionI* s = one->getPartition()->getShift(0);
  for (QrcInt v = 0; v <= 3; ++v) EXPECT_EQ(s->blockLo(s->blockOf(v)), s->blockHi(s->blockOf(v)));
  std::vector<QrcIntExpI*> pair = {var({0, 1}), var({0, 10})};
  QrcGlobalMinDistanceI* two = static_cast<QrcGlobalMinDistanceI*>(distance(pair, 2, 3));
  ASSERT_TRUE(adds(two));
  s = two->getPartition()->getShift(0);
  EXPECT_EQ(s->blockOf(1), 1);
  EXPECT_EQ(s->blockOf(10), 6);
  // Block 1 holds x0: x1 takes block 6, that is 10.
  EXPECT_EQ(dom(s->getBlockVar(0)), V{s->labelOf(1)});
  EXPECT_EQ(dom(s->getBlockVar(1)), V{s->labelOf(6)});
  EXPECT_EQ(dom(pair[1]), V{10});
  EXPECT_TRUE(s->isForced(6));
  EXPECT_FALSE(s->isForced(2));
  // A huge k: the shifts that group the values differently, at most one per value and two more.
  QrcIntVarArray far(mgr, 2, 0, 20);
  QrcMinDistancePartitionI* p = new (m) QrcMinDistancePartitionI(m, far, 1000000);
  p->setFilterLevel(3);
  EXPECT_FALSE(adds(p));
  EXPECT_GE(p->getShiftCount(), 1);
  EXPECT_LE(p->getShiftCount(), 22);
  EXPECT_FALSE(adds(QrcAllMinDistance(QrcIntVarArray(mgr, 2, 0, 20), 1000000).getImpl()));
}

// Values across the whole integer range: block numbers pass the engine's
// limit, the block variables stay within it.
TEST_F(DistanceTest, ValuesAcrossTheIntegerRange) {
  struct Case {
    V a, b, c;
    QrcInt k, last;  // the value c keeps once a and b are bound
  };
  const Case cases[] = {
      {{QrcIntMin, QrcIntMax}, {QrcIntMin, QrcIntMax}, {}, 1, 0},
      {{QrcIntMax - 4, QrcIntMax - 2},
       {QrcIntMax - 2, QrcIntMax},
       {QrcIntMin, QrcIntMax - 4},
       2,
       QrcIntMin},
      {{QrcIntMin, QrcIntMin + 2},
       {QrcIntMin + 2, QrcIntMin + 4},
       {QrcIntMin + 4, QrcIntMax},
       2,
       QrcIntMax},
  };
  for (const Case& c : cases)
    for (QrcInt level = 1; level <= 3; ++level) {
      m->pushState();
      std::vector<QrcIntExpI*> xs = {var(c.a), var(c.b)};
      if (!c.c.empty()) xs.push_back(var(c.c));
      ASSERT_TRUE(adds(distance(xs, c.k, level))) << "level " << level;
      // The values at the far ends remain, and binding to them succeeds.
      EXPECT_TRUE(holds([&] { xs[0]->setValue(c.a.front()); })) << "level " << level;
      EXPECT_TRUE(holds([&] { xs[1]->setValue(c.b.back()); })) << "level " << level;
      if (xs.size() == 3) {
        EXPECT_EQ(dom(xs[2]), V{c.last}) << "level " << level;
      }
      m->popState();
    }
}

TEST_F(DistanceTest, Opposite) {
  for (QrcInt k : {3, 4}) {
    QrcConstraintI* opp = distance({var(1, 1), var(4, 4)}, k, 1)->getOpposite();
    m->pushState();
    EXPECT_EQ(adds(opp), k == 4);
    if (k == 4) {
      QrcOppositeGlobalMinDistanceI* o = static_cast<QrcOppositeGlobalMinDistanceI*>(opp);
      EXPECT_EQ(o->getWitnessFirst(), 0);
      EXPECT_EQ(o->getWitnessSecond(), 1);
    }
    m->popState();
  }
}

TEST_F(DistanceTest, LevelsDisplayAndCopy) {
  QrcIntExpI* x = var(0, 9, "x");
  QrcIntExpI* y = var(0, 9, "y");
  QrcConstraintI* ct = distance({x, y}, 3, 1);
  std::string text = ctest::withoutAddress(show(ct));
  EXPECT_EQ(text, "QrcAllMinDistance(@) {k=3," + show(x) + ", " + show(y) + ", }");
  EXPECT_EQ(show(ct->getOpposite()).rfind("Opposite Of QrcAllMinDistance(", 0), 0u);
  ASSERT_TRUE(adds(ct));
  testing::internal::CaptureStderr();
  EXPECT_THROW(ct->setFilterLevel(4), int);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Solver Error : setFilterLevel : Bad Filter Level : 4\n");
  QrcManager other(QrcNoEdit);
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    QrcConstraintI* c = distance({var(0, 9), var(0, 9)}, 2, level);
    EXPECT_EQ(static_cast<QrcConstraintWithFilterI*>(c->getCopyForManager(other.getImpl()))
                  ->getFilterLevel(),
              level);
  }
  other.end();
}

// Posted again after backtracking over its first post (as a solver does
// after a restart), the constraint builds its partition again.
TEST_F(DistanceTest, PartitionIsBuiltAgainAfterBacktracking) {
  std::vector<QrcIntExpI*> xs = {var({1, 3, 4}), var({0, 2, 3}), var({1, 2, 3})};
  QrcGlobalMinDistanceI* ct = static_cast<QrcGlobalMinDistanceI*>(distance(xs, 2, 3));
  for (int round = 0; round < 2; ++round) {
    m->pushState();
    ASSERT_TRUE(adds(ct)) << round;
    // The windows alone leave {1, 3, 4}, {0, 3}, {1, 2, 3}.
    EXPECT_EQ(dom(xs[0]), V{4}) << round;
    EXPECT_EQ(dom(xs[1]), V{0}) << round;
    EXPECT_EQ(dom(xs[2]), V{2}) << round;
    EXPECT_NE(ct->getPartition(), nullptr);
    m->popState();
    EXPECT_EQ(ct->getPartition(), nullptr);
    EXPECT_EQ(dom(xs[0]), (V{1, 3, 4}));
  }
}

// ---------------------------------------------------------------- pairing

TEST_F(DistanceTest, PairingCases) {
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    std::vector<QrcIntExpI*> two = {var(0, 1), var(0, 1)};
    ASSERT_TRUE(adds(QrcPairing(array(two), level).getImpl()));
    EXPECT_EQ(dom(two[0]), V{1});
    EXPECT_EQ(dom(two[1]), V{0});
    std::vector<QrcIntExpI*> cycle = {var(1, 1), var(2, 2), var(3, 3), var(0, 0)};
    m->pushState();
    EXPECT_FALSE(adds(QrcPairing(array(cycle), level).getImpl())) << "level " << level;
    m->popState();
    std::vector<QrcIntExpI*> sym = {var(0, 3), var(0, 3), var(0, 3), var(0, 3)};
    ASSERT_TRUE(adds(QrcPairing(array(sym), level).getImpl()));
    sym[0]->removeValue(2);
    EXPECT_FALSE(sym[2]->isInDomain(0)) << "level " << level;
  }
  std::vector<QrcIntExpI*> odd = {var(0, 2), var(0, 2), var(0, 2)};
  m->pushState();
  EXPECT_FALSE(adds(QrcPairing(array(odd), QrcHighFilterLevel).getImpl()));
  m->popState();
  std::vector<QrcIntExpI*> path = {var(V{1}), var(V{0, 2}), var(V{1, 3}), var(V{2})};
  ASSERT_TRUE(adds(QrcPairing(array(path), QrcHighFilterLevel).getImpl()));
  for (QrcInt i = 0; i < 4; ++i) EXPECT_EQ(dom(path[static_cast<size_t>(i)]), V{i ^ 1});
  // A level outside 0..3 is refused by the all-different that post creates.
  std::string line;
  QrcIntVarArray pair = array({var(0, 1), var(0, 1)});
  EXPECT_EQ(errorOf([&] { adds(QrcPairing(pair, 5)); }, &line), QrcBadEventError);
  EXPECT_EQ(line, "Solver Error : bad event : QrcAllDiff : 5\n");
}

TEST_F(DistanceTest, PairingLevelThreeRemovesUnusedPairs) {
  // Triangles 0-1-2 and 3-4-5 joined by 0-5 and 1-3: two perfect matchings.
  std::vector<V> doms = {{1, 2, 5}, {0, 2, 3}, {0, 1}, {1, 4, 5}, {3, 5}, {0, 3, 4}};
  for (QrcInt level : {2, 3}) {
    std::vector<QrcIntExpI*> x;
    for (const V& d : doms) x.push_back(var(d));
    ASSERT_TRUE(adds(QrcPairing(array(x), level).getImpl()));
    std::vector<V> want = doms;
    if (level == 3) want = {{2, 5}, {2, 3}, {0, 1}, {1, 4}, {3, 5}, {0, 4}};
    for (size_t i = 0; i < x.size(); ++i) EXPECT_EQ(dom(x[i]), want[i]) << "level " << level;
  }
}

// ---------------------------------------------------------------- matching

// Largest matching by brute force.
int bruteMatching(int n, const std::vector<std::pair<int, int>>& edges, std::vector<bool>& used) {
  int v = 0;
  while (v < n && used[static_cast<size_t>(v)]) ++v;
  if (v == n) return 0;
  used[static_cast<size_t>(v)] = true;
  int best = bruteMatching(n, edges, used);
  for (const auto& e : edges) {
    int w = e.first == v ? e.second : e.second == v ? e.first : -1;
    if (w < 0 || used[static_cast<size_t>(w)]) continue;
    used[static_cast<size_t>(w)] = true;
    best = std::max(best, 1 + bruteMatching(n, edges, used));
    used[static_cast<size_t>(w)] = false;
  }
  used[static_cast<size_t>(v)] = false;
  return best;
}

// Solves and checks the result is a matching of the graph's edges.
int solveChecked(QrcGeneralMatching& g, int n, const std::vector<std::pair<int, int>>& edges) {
  g.clear(n);
  for (const auto& e : edges) g.addEdge(e.first + 1, e.second + 1);
  int size = static_cast<int>(g.solve());
  for (int v = 1; v <= n; ++v) {
    QrcInt w = g.getMate(v);
    if (!w) continue;
    EXPECT_EQ(g.getMate(w), v);
    bool edge = false;
    for (const auto& e : edges)
      edge = edge || (e.first + 1 == v && e.second + 1 == w) ||
             (e.second + 1 == v && e.first + 1 == w);
    EXPECT_TRUE(edge) << v << "-" << w;
  }
  return size;
}

TEST_F(DistanceTest, MatchingSizeEqualsBruteForce) {
  QrcGeneralMatching g(m, 12, 66);
  for (int n = 1; n <= 6; ++n) {
    std::vector<std::pair<int, int>> all;
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b) all.push_back({a, b});
    for (uint32_t mask = 0; mask < (1u << all.size()); ++mask) {
      std::vector<std::pair<int, int>> edges;
      for (size_t e = 0; e < all.size(); ++e)
        if (mask >> e & 1) edges.push_back(all[e]);
      std::vector<bool> used(static_cast<size_t>(n), false);
      ASSERT_EQ(solveChecked(g, n, edges), bruteMatching(n, edges, used)) << n << " " << mask;
    }
  }
  // Nested blossoms: a 5-cycle whose vertex 0 lies on another 5-cycle, the
  // outer cycle reached through a stem; then random graphs.
  std::vector<std::pair<int, int>> nested = {{0, 1}, {1, 2},  {2, 3}, {3, 4}, {4, 0},
                                             {0, 5}, {5, 6},  {6, 7}, {7, 8}, {8, 0},
                                             {8, 9}, {9, 10}, {4, 11}};
  std::vector<bool> used(12, false);
  EXPECT_EQ(solveChecked(g, 12, nested), bruteMatching(12, nested, used));
  qrotest::Rng rng(qrotest::caseSeed(42));
  for (int round = 0; round < 300; ++round) {
    int n = 7 + static_cast<int>(rng() % 6);
    std::vector<std::pair<int, int>> edges;
    uint64_t density = 2 + rng() % 5;
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b)
        if (rng() % 10 < density) edges.push_back({a, b});
    std::vector<bool> u(static_cast<size_t>(n), false);
    ASSERT_EQ(solveChecked(g, n, edges), bruteMatching(n, edges, u)) << "round " << round;
  }
}

// ---------------------------------------------------------------- brute force

QrcIntVarArray arrayOf(QrcManagerI* m, const qrotest::Vars& v) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
  return a;
}

// far: the values lie at the top of the integer range, and the last
// variable may also take the bottom one.
qrotest::PropCase distanceCase(qrotest::Rng& rng, QrcInt level, bool opposite, bool far = false) {
  qrotest::PropCase c;
  c.seed = rng();
  int n = 2 + static_cast<int>(rng() % 3);
  QrcInt k = 1 + static_cast<QrcInt>(rng() % 4);
  c.values = qrotest::randomDomains(rng, n, 0, 9, 8);
  if (far) {
    for (auto& d : c.values)
      for (auto& v : d) v += QrcIntMax - 9;
    c.values.back().insert(c.values.back().begin(), QrcIntMin);
  }
  c.name = std::string(opposite ? "opposite " : "") + "distance k=" + std::to_string(k) +
           " level " + std::to_string(level);
  c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    QrcConstraintI* ct = QrcAllMinDistance(arrayOf(m, v), k).getImpl();
    ct->setFilterLevel(level);
    return opposite ? ct->getOpposite() : ct;
  };
  c.check = [=](const A& a) {
    bool apart = true;
    for (size_t i = 0; i < a.size(); ++i)
      for (size_t j = i + 1; j < a.size(); ++j) apart = apart && std::llabs(a[i] - a[j]) >= k;
    return apart != opposite;
  };
  // Level 3 filters the blocks of each shift by a matching: with k = 1 the
  // blocks are the values, and every value left has a support.
  if (level == 3 && k == 1 && !opposite) c.level = qrotest::Consistency::Domain;
  c.narrowRuns = 20;
  return c;
}

TEST(DistanceHarness, AgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(4201));
  for (int round = 0; round < 8; ++round)
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      qrotest::PropCase c = distanceCase(rng, level, round % 4 == 3);
      EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
    }
  for (int round = 0; round < 3; ++round)
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      qrotest::PropCase c = distanceCase(rng, level, round == 2, true);
      EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name << " far";
    }
  for (int round = 0; round < 8; ++round) {
    qrotest::Rng r0(rng()), r1 = r0;
    qrotest::PropCase weak = distanceCase(r0, 0, false);
    qrotest::PropCase strong = distanceCase(r1, 1, false);
    EXPECT_EQ(qrotest::checkStronger(weak, strong), 0) << strong.name;
  }
}

// Random, often asymmetric, domains over 0..n-1 (some values outside).
std::vector<std::vector<int64_t>> pairingDomains(qrotest::Rng& rng, int n) {
  std::vector<std::vector<int64_t>> d(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    for (int j = -1; j <= n; ++j)
      if (rng() % 3 != 0) d[static_cast<size_t>(i)].push_back(j);
    if (d[static_cast<size_t>(i)].empty()) d[static_cast<size_t>(i)].push_back(0);
  }
  return d;
}

bool isPairing(const A& a) {
  int64_t n = static_cast<int64_t>(a.size());
  for (int64_t i = 0; i < n; ++i) {
    int64_t j = a[static_cast<size_t>(i)];
    if (j < 0 || j >= n || j == i || a[static_cast<size_t>(j)] != i) return false;
  }
  return true;
}

TEST(PairingHarness, AgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(4202));
  for (int round = 0; round < 10; ++round)
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      qrotest::PropCase c;
      c.seed = rng();
      int n = 2 + static_cast<int>(rng() % 5);
      c.values = pairingDomains(rng, n);
      c.name = "pairing n=" + std::to_string(n) + " level " + std::to_string(level);
      c.notReified = "a pairing has no opposite";
      c.make = [level](QrcManagerI* m, const qrotest::Vars& v) {
        return QrcPairing(arrayOf(m, v), level).getImpl();
      };
      c.check = isPairing;
      c.level = level == 3 ? qrotest::Consistency::Domain : qrotest::Consistency::None;
      c.narrowRuns = 20;
      EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
    }
}

// Level 2 at its first propagation: fails exactly without a perfect
// matching, and binds the pairs that every perfect matching uses.
TEST(PairingHarness, LevelTwoFirstPropagation) {
  qrotest::Rng rng(qrotest::caseSeed(4203));
  for (int round = 0; round < 300; ++round) {
    int n = 2 + static_cast<int>(rng() % 5);
    auto doms = pairingDomains(rng, n);
    auto has = [&](int i, int j) {
      const auto& d = doms[static_cast<size_t>(i)];
      return std::find(d.begin(), d.end(), j) != d.end();
    };
    std::vector<std::set<std::pair<int, int>>> matchings;
    std::vector<int> mate(static_cast<size_t>(n), -1);
    std::function<void(int)> enumerate = [&](int v) {
      while (v < n && mate[static_cast<size_t>(v)] >= 0) ++v;
      if (v == n) {
        std::set<std::pair<int, int>> s;
        for (int i = 0; i < n; ++i)
          if (i < mate[static_cast<size_t>(i)]) s.insert({i, mate[static_cast<size_t>(i)]});
        matchings.push_back(s);
        return;
      }
      for (int w = v + 1; w < n; ++w)
        if (mate[static_cast<size_t>(w)] < 0 && has(v, w) && has(w, v)) {
          mate[static_cast<size_t>(v)] = w;
          mate[static_cast<size_t>(w)] = v;
          enumerate(v + 1);
          mate[static_cast<size_t>(v)] = mate[static_cast<size_t>(w)] = -1;
        }
    };
    enumerate(0);
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    m->useExceptions(true);
    QrcIntVarArray x(mgr, n);
    std::vector<QrcIntExpI*> xs;
    for (auto& d : doms) {
      xs.push_back(new (m) QrcIntExpI(m, static_cast<QrcInt>(d.size()), d.data(), nullptr));
      x.set(static_cast<QrcInt>(xs.size() - 1), QrcIntExp(xs.back()));
    }
    bool ok = true;
    try {
      m->add(QrcPairing(x, QrcHighFilterLevel).getImpl());
    } catch (QrcFailException&) {
      ok = false;
    }
    EXPECT_EQ(ok, !matchings.empty()) << "round " << round;
    if (ok && !matchings.empty()) {
      for (const auto& pr : matchings[0]) {
        bool everywhere = true;
        for (const auto& s : matchings) everywhere = everywhere && s.count(pr);
        if (everywhere) {
          EXPECT_TRUE(xs[static_cast<size_t>(pr.first)]->isBound()) << "round " << round;
        }
      }
    }
    mgr.end();
  }
}

}  // namespace
