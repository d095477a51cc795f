// PQ-trees against brute force: after reducing by a family of sets, the
// orders the tree admits are exactly the permutations in which every set is
// consecutive, and a reduction fails exactly when there is none.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "qrcmanager.h"
#include "qrcpqtree.h"
#include "support/seed.h"

namespace {

typedef std::vector<int> Order;

std::set<Order> ordersOf(const QrcPQNodeI* x) {
  if (x->kind == QrcPQNodeI::Leaf) return {Order{static_cast<int>(x->value)}};
  std::vector<std::vector<Order>> kids;
  for (const QrcPQNodeI* c = x->childHead; c; c = c->next) {
    std::set<Order> o = ordersOf(c);
    kids.push_back(std::vector<Order>(o.begin(), o.end()));
  }
  std::vector<size_t> perm(kids.size());
  for (size_t i = 0; i < perm.size(); ++i) perm[i] = i;
  std::set<Order> out;
  do {
    if (x->kind == QrcPQNodeI::QNode) {
      bool forward = true, backward = true;
      for (size_t i = 0; i < perm.size(); ++i) {
        forward = forward && perm[i] == i;
        backward = backward && perm[i] == perm.size() - 1 - i;
      }
      if (!forward && !backward) continue;
    }
    // Every combination of the children's orders, in this child order.
    std::vector<size_t> pick(kids.size(), 0);
    for (;;) {
      Order o;
      for (size_t i = 0; i < perm.size(); ++i) {
        const Order& part = kids[perm[i]][pick[perm[i]]];
        o.insert(o.end(), part.begin(), part.end());
      }
      out.insert(o);
      size_t i = 0;
      while (i < pick.size() && ++pick[i] == kids[i].size()) pick[i++] = 0;
      if (i == pick.size()) break;
    }
  } while (std::next_permutation(perm.begin(), perm.end()));
  return out;
}

bool consecutive(const Order& o, const std::vector<int>& set) {
  size_t first = o.size(), last = 0;
  for (size_t i = 0; i < o.size(); ++i)
    if (std::find(set.begin(), set.end(), o[i]) != set.end()) {
      first = std::min(first, i);
      last = i;
    }
  return last - first + 1 == set.size();
}

std::set<Order> bruteForce(int m, const std::vector<std::vector<int>>& sets) {
  Order o(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) o[static_cast<size_t>(i)] = i;
  std::set<Order> out;
  do {
    bool ok = true;
    for (const auto& s : sets) ok = ok && consecutive(o, s);
    if (ok) out.insert(o);
  } while (std::next_permutation(o.begin(), o.end()));
  return out;
}

std::string famStr(const std::vector<std::vector<int>>& f) {
  std::string s = " family";
  for (const auto& set : f) {
    s += " {";
    for (int v : set) s += std::to_string(v) + ",";
    s += "}";
  }
  return s;
}

class PQTreeTest : public testing::Test {
 protected:
  void SetUp() override { mgr = QrcManager(QrcNoEdit); }
  void TearDown() override { mgr.end(); }

  // Reduces a fresh tree over m leaves by each set in turn, comparing with
  // brute force after every step; false when a reduction failed.
  bool check(int m, const std::vector<std::vector<int>>& family, const std::string& where) {
    QrcManagerI* mi = mgr.getImpl();
    QrcPQTreeI* tree = new (mi) QrcPQTreeI(mi);
    for (int i = 0; i < m; ++i) tree->addNodes(-1);
    QrcFastListI<QroInt>* s = new (mi) QrcFastListI<QroInt>(mi, 20);
    for (int i = 0; i < m; ++i) s->add(i);
    tree->makeUniversal(m);
    std::vector<std::vector<int>> sofar;
    for (const auto& set : family) {
      sofar.push_back(set);
      s->reset();
      for (int v : set) s->remove(v);
      bool ok = tree->reduce(tree->getRoot(), *s);
      std::set<Order> expected = bruteForce(m, sofar);
      EXPECT_EQ(ok, !expected.empty()) << where << famStr(sofar);
      if (!ok) {
        accumulate(tree);
        return false;
      }
      EXPECT_EQ(ordersOf(tree->getRoot()), expected) << where;
    }
    accumulate(tree);
    return true;
  }
  void accumulate(QrcPQTreeI* tree) {
    for (int r = 0; r < 17; ++r) rows[r] += tree->getRowHits(r);
  }
  QrcManager mgr;
  QroInt rows[17] = {};
};

// 200 random families, 600 with QRO_TEST_FULL=1.
TEST_F(PQTreeTest, ReducedTreesAdmitExactlyTheConsecutiveOrders) {
  std::mt19937_64 rng(qrotest::seedOr(7));
  for (int run = 0; run < qrotest::draws(200, 600); ++run) {
    int m = 2 + static_cast<int>(rng() % 6);
    std::vector<std::vector<int>> family;
    int count = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < count; ++k) {
      std::vector<int> set;
      for (int v = 0; v < m; ++v)
        if (rng() % 2) set.push_back(v);
      if (set.size() >= 2) family.push_back(set);
    }
    check(m, family, "run " + std::to_string(run) + " over " + std::to_string(m) + " leaves");
  }
  // Families that random ones rarely build: three partial children under a
  // P-node, two partial children under P- and Q-nodes, a partial child
  // holding every member of the set (under a P- and under a Q-node), a Q-node
  // reached from its tail, the last template row and row 11.
  check(6, {{0, 1}, {2, 3}, {4, 5}, {1, 3, 5}}, "three partials");
  check(6, {{0, 1}, {2, 3}, {0, 1, 2, 3}, {1, 2, 4}}, "two partials under a P child");
  check(6, {{0, 1}, {2, 3}, {1, 2}}, "two partials under a P root");
  check(6, {{0, 1}, {2, 3}, {1, 2}, {4, 5}}, "two partials, empties left");
  check(7, {{0, 1, 2}, {1, 2}, {2, 3}, {0, 1, 2, 3}, {4, 5}, {3, 4}}, "Q-node growing");
  check(7, {{0, 1}, {1, 2}, {2, 3}, {4, 5}, {5, 6}, {3, 4}}, "two Q-nodes joined");
  check(7, {{0, 1}, {1, 2}, {2, 3}, {4, 5}, {5, 6}, {1, 2, 3, 4, 5}}, "Q root, two partials");
  check(6, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {1, 3}}, "Q root, no partial, fails");
  check(6, {{0, 1}, {1, 2}, {2, 3}, {0, 1, 2}}, "partial holds the set");
  check(6, {{0, 1}, {1, 2}, {2, 3}, {4, 5}, {3, 4, 5}, {0, 2}}, "Q non-root fails");
  check(7, {{0, 1}, {1, 2}, {3, 4}, {4, 5}, {2, 3}, {0, 5}}, "two partials below");
  check(6, {{0, 1}, {1, 2}, {2, 3}, {3, 4, 5}, {0, 4}}, "Q partial fails");
  check(6, {{0, 4, 5}, {0, 1, 2, 3, 5}, {2, 3}}, "Q root, the partial holds the set");
  check(7, {{0, 2, 3, 4, 6}, {0, 1, 4, 5}, {0, 3, 5}}, "row 16");
  check(7, {{1, 2, 4, 6}, {2, 3, 4}, {0, 3, 4, 6}}, "row 11");
  for (int r = 0; r < 17; ++r) EXPECT_GT(rows[r], 0) << "template row " << r << " never reached";
}

TEST_F(PQTreeTest, PoolRunsDryWithAnError) {
  QrcManagerI* mi = mgr.getImpl();
  QrcPQTreeI* tree = new (mi) QrcPQTreeI(mi);
  tree->addNodes(-1);
  tree->makeUniversal(1);
  tree->takeFree();
  struct Throwing : QrcErrorReporter {
    void fatal(int code) override { throw code; }
  } reporter;
  mi->setErrorReporter(&reporter);
  testing::internal::CaptureStderr();
  int code = 0;
  try {
    tree->takeFree();
  } catch (int c) {
    code = c;
  }
  std::string line = testing::internal::GetCapturedStderr();
  mi->setErrorReporter(nullptr);
  EXPECT_EQ(code, 25);
  EXPECT_NE(line.find("QrcFastEltI::Pop Error"), std::string::npos) << line;
}

}  // namespace
