// The sequence constraint over values near the integer limits: the values
// its decomposition gives the windows stay inside the limits and outside V,
// and no solution is lost, whether the domains reach the top, the bottom or
// both ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcsequence.h"
#include "support/harness.h"

namespace {

typedef std::vector<int64_t> V;
const int64_t L = QrcIntMax;

QrcIntVarArray slice(QrcManagerI* m, const qrotest::Vars& v, size_t from, size_t to) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i) a.set(static_cast<QrcInt>(i - from), QrcIntExp(v[i]));
  return a;
}

// A non-empty random part of the pool.
V part(qrotest::Rng& rng, const V& pool) {
  V out;
  for (int64_t v : pool)
    if (rng() % 2) out.push_back(v);
  if (out.empty()) out.push_back(pool[rng() % pool.size()]);
  return out;
}

qrotest::PropCase limitCase(qrotest::Rng& rng, const V& pool, QrcInt level) {
  qrotest::PropCase c;
  c.seed = rng();
  int w = 1 + static_cast<int>(rng() % 3);
  int n = w + static_cast<int>(rng() % 3);
  QrcInt lo = static_cast<QrcInt>(rng() % 2), hi = lo + static_cast<QrcInt>(rng() % 2);
  V listed = part(rng, pool);
  if (listed.size() > 2) listed.resize(2);
  c.name = "sequence n=" + std::to_string(n) + " w=" + std::to_string(w) +
           " lo=" + std::to_string(lo) + " hi=" + std::to_string(hi) +
           " V=" + ::testing::PrintToString(listed) + " level " + std::to_string(level);
  for (int i = 0; i < n; ++i) c.values.push_back(part(rng, pool));
  for (size_t k = 0; k < listed.size(); ++k) c.values.push_back(qrotest::range(0, n));
  size_t nn = static_cast<size_t>(n);
  c.notReified = "a sequence has no opposite";
  c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    QrcIntArray values(QrcManager(m), static_cast<QrcInt>(listed.size()), listed.data());
    QrcConstraint ct =
        QrcSequence(lo, hi, w, slice(m, v, 0, nn), values, slice(m, v, nn, nn + listed.size()));
    ct.getImpl()->setFilterLevel(level);
    return ct.getImpl();
  };
  c.check = [=](const V& a) {
    auto inV = [&](int64_t x) {
      return std::find(listed.begin(), listed.end(), x) != listed.end();
    };
    for (size_t s = 0; s + static_cast<size_t>(w) <= nn; ++s) {
      QrcInt k = 0;
      for (size_t i = s; i < s + static_cast<size_t>(w); ++i) k += inV(a[i]);
      if (k < lo || k > hi) return false;
    }
    for (size_t j = 0; j < listed.size(); ++j)
      if (a[nn + j] != std::count(a.begin(), a.begin() + n, listed[j])) return false;
    return true;
  };
  c.narrowRuns = 15;
  return c;
}

TEST(SequenceLimits, AgainstBruteForce) {
  const V pools[] = {
      {L - 3, L - 2, L - 1},          // reaching 2^53 - 2
      {L - 2, L - 1, L},              // reaching the limit
      {-L, -L + 1, -L + 2},           // reaching the bottom
      {-L, -L + 1, 0, L - 1, L},      // both ends: no room above or below
      {-L, -L + 1, -L + 2, L - 1, L}  // both ends, the values V lacks at the bottom
  };
  qrotest::Rng rng(qrotest::caseSeed(5800));
  for (const V& pool : pools)
    for (int round = 0; round < 4; ++round)
      for (QrcInt level : {1, 3}) {
        qrotest::PropCase c = limitCase(rng, pool, level);
        EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
      }
}

class SequenceLimitTest : public ctest::ConstraintTest {};

TEST_F(SequenceLimitTest, WindowValuesStayInsideTheLimits) {
  struct Row {
    V domain, listed;
    V expected;  // the values of the windows of phase 0
  };
  const Row rows[] = {
      {{0, 3}, {1}, {4, 5}},                      // above the largest value
      {{L - 2, L}, {L - 1}, {L - 3, L - 4}},      // below the smallest
      {{-L, L}, {-L, -L + 2}, {-L + 1, -L + 3}},  // the smallest values V lacks
  };
  for (const Row& r : rows) {
    QrcIntVarArray x(mgr, 4);
    for (QrcInt i = 0; i < 4; ++i) x.set(i, QrcIntExp(var(r.domain)));
    QrcIntVarArray cards(mgr, static_cast<QrcInt>(r.listed.size()), 0, 4);
    auto* ct = static_cast<QrcSequenceConstraintI*>(
        QrcSequence(0, 2, 2, x, ints(r.listed), cards).getImpl());
    ASSERT_TRUE(adds(ct));
    ASSERT_EQ(ct->getWindowCount(0), 2);
    for (QrcInt k = 0; k < 2; ++k)
      EXPECT_EQ(ct->getWindow(0, k).d, r.expected[static_cast<size_t>(k)])
          << ::testing::PrintToString(r.domain);
  }
}

}  // namespace
