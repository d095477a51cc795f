// The bin-packing bound L2 with its residue, the no-sum test and the subset-sum
// reachability, each against brute force on random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "qrcmanager.h"
#include "qrcpackbound.h"
#include "support/harness.h"

namespace {

typedef std::vector<int64_t> Sizes;

// Max over K in [0, C/2] of |J1| + |J2| + ceil(max(0, sum J3 - (|J2| C - sum J2)) / C).
int64_t textbookL2(const Sizes& s, int64_t C) {
  int64_t best = 0;
  for (int64_t k = 0; k <= C / 2; ++k) {
    int64_t n1 = 0, n2 = 0, sum2 = 0, sum3 = 0;
    for (int64_t v : s) {
      if (v > C - k)
        ++n1;
      else if (2 * v > C)
        ++n2, sum2 += v;
      else if (v >= k)
        sum3 += v;
    }
    int64_t d = sum3 - (n2 * C - sum2);
    best = std::max(best, n1 + n2 + (d > 0 ? (d + C - 1) / C : 0));
  }
  return best;
}

// The least bin content over every packing into exactly `bins` bins
// (INT64_MAX when there is none).
int64_t leastContent(const Sizes& s, int64_t C, int64_t bins) {
  std::vector<int64_t> load(static_cast<size_t>(bins), 0);
  int64_t least = INT64_MAX;
  std::function<void(size_t, int64_t)> place = [&](size_t i, int64_t used) {
    if (i == s.size()) {
      for (int64_t l : load) least = std::min(least, l);
      return;
    }
    for (int64_t b = 0; b < bins && b <= used; ++b) {
      if (load[static_cast<size_t>(b)] + s[i] > C) continue;
      load[static_cast<size_t>(b)] += s[i];
      place(i + 1, std::max(used, b + 1));
      load[static_cast<size_t>(b)] -= s[i];
    }
  };
  place(0, 0);
  return least;
}

TEST(PackBound, L2IsTheTextbookBoundAndEveryBinHoldsTheResidue) {
  qrotest::Rng rng(qrotest::caseSeed(11));
  int residueChecks = 0, positiveResidues = 0;
  for (int round = 0; round < 10000; ++round) {
    int64_t C = 1 + static_cast<int64_t>(rng() % 20);
    size_t n = rng() % 9;
    Sizes s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<int64_t>(rng() % (C + 1)));
    std::sort(s.rbegin(), s.rend());
    int64_t r = -1;
    int64_t l2 = QrcPackL2(s.data(), static_cast<QrcInt>(s.size()), C, &r);
    ASSERT_EQ(l2, textbookL2(s, C)) << "round " << round << " C " << C;
    ASSERT_GE(r, 0);
    if (round % 5 == 0 && l2 > 0) {
      int64_t least = leastContent(s, C, l2);
      ++residueChecks;
      if (r > 0) ++positiveResidues;
      ASSERT_GE(least, r) << "round " << round << ": a packing into " << l2 << " bins of " << C
                          << " has a bin below the residue " << r;
    }
  }
  EXPECT_GT(residueChecks, 1000);
  EXPECT_GT(positiveResidues, 500);
}

TEST(PackBound, L2EdgeCases) {
  int64_t r;
  Sizes three = {3, 3, 3}, fits = {4, 3, 3, 2}, tight = {4, 4, 3, 3}, zeros = {0, 0};
  EXPECT_EQ(QrcPackL2(three.data(), 3, 5, &r), 3);
  EXPECT_EQ(r, 3);
  EXPECT_EQ(QrcPackL2(fits.data(), 4, 6, &r), 2);
  EXPECT_EQ(QrcPackL2(tight.data(), 4, 6, &r), 3);
  EXPECT_EQ(QrcPackL2(zeros.data(), 2, 0, &r), 0);
  EXPECT_EQ(QrcPackL2(three.data(), 3, 0, &r), QrcPackInfiniteBound);
  // Sizes whose sums and products leave 64 bits.
  Sizes huge = {INT64_MAX / 2, INT64_MAX / 2, INT64_MAX / 4, INT64_MAX / 4, 1};
  EXPECT_EQ(QrcPackL2(huge.data(), 5, INT64_MAX / 2 + 1, &r), 3);
}

TEST(PackBound, NoSumProvesOnlyTrueGapsWithTheirExactEnds) {
  qrotest::Rng rng(qrotest::caseSeed(12));
  int proofs = 0;
  for (int round = 0; round < 20000; ++round) {
    size_t n = rng() % 9;
    Sizes c;
    for (size_t i = 0; i < n; ++i) c.push_back(static_cast<int64_t>(rng() % 31));
    std::sort(c.rbegin(), c.rend());
    std::vector<int64_t> sums;
    for (uint32_t mask = 0; mask < (1u << n); ++mask) {
      int64_t s = 0;
      for (size_t i = 0; i < n; ++i)
        if (mask >> i & 1) s += c[i];
      sums.push_back(s);
    }
    int64_t total = sums.empty() ? 0 : sums.back();
    int64_t a = static_cast<int64_t>(rng() % static_cast<uint64_t>(total + 4)) - 2;
    int64_t b = a + static_cast<int64_t>(rng() % 8);
    int64_t below = -1, above = -1;
    if (!QrcPackNoSum(c.data(), static_cast<QrcInt>(n), a, b, &below, &above)) continue;
    ++proofs;
    int64_t lower = INT64_MIN, upper = INT64_MAX;
    for (int64_t s : sums) {
      ASSERT_FALSE(s >= a && s <= b)
          << "round " << round << ": sum " << s << " lies in [" << a << ", " << b << "]";
      if (s < a) lower = std::max(lower, s);
      if (s > b) upper = std::min(upper, s);
    }
    ASSERT_EQ(below, lower) << "round " << round;
    ASSERT_EQ(above, upper) << "round " << round;
  }
  EXPECT_GT(proofs, 1000);
  int64_t below, above;
  EXPECT_FALSE(QrcPackNoSum(nullptr, 0, 1, 2, &below, &above));
  Sizes small = {2, 1};
  EXPECT_FALSE(QrcPackNoSum(small.data(), 2, 4, 5, &below, &above));
}

// Stages of up to three alternatives; every selection of at most one per
// stage whose sum lies in [a, b] must be kept, and without scaling nothing else.
TEST(PackBound, ReachabilityKeepsEverySumAndIsExactUnscaled) {
  qrotest::Rng rng(qrotest::caseSeed(13));
  QrcManager mgr(QrcNoEdit);
  QrcPackReach* reach = QrcPackReach::make(mgr.getImpl(), 8, 32);
  int scaled = 0;
  for (int round = 0; round < 4000; ++round) {
    bool big = round % 2;
    std::vector<Sizes> stages(1 + rng() % 5);
    size_t count = 0;
    reach->clear();
    for (auto& st : stages) {
      size_t k = 1 + rng() % 3;
      if (count + k > 8) k = 1;
      if (count + k > 8) break;
      reach->beginStage();
      for (size_t x = 0; x < k; ++x, ++count) {
        st.push_back(static_cast<int64_t>(big ? 1 + rng() % 400 : rng() % 30));
        reach->addAlternative(st.back());
      }
    }
    while (!stages.empty() && stages.back().empty()) stages.pop_back();
    int64_t a = static_cast<int64_t>(rng() % (big ? 900 : 60)),
            b = a + static_cast<int64_t>(rng() % 200);
    bool feasible = false;
    std::vector<std::vector<bool>> takes(stages.size());
    std::vector<bool> skips(stages.size(), false);
    for (size_t t = 0; t < stages.size(); ++t) takes[t].assign(stages[t].size(), false);
    std::vector<int> pick(stages.size(), -1);
    int64_t lowest = INT64_MAX, highest = INT64_MIN;
    std::function<void(size_t, int64_t)> walk = [&](size_t t, int64_t sum) {
      if (t == stages.size()) {
        if (sum < a || sum > b) return;
        feasible = true;
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
        for (size_t u = 0; u < stages.size(); ++u)
          pick[u] < 0 ? skips[u] = true : takes[u][static_cast<size_t>(pick[u])] = true;
        return;
      }
      for (int x = -1; x < static_cast<int>(stages[t].size()); ++x) {
        pick[t] = x;
        walk(t + 1, sum + (x < 0 ? 0 : stages[t][static_cast<size_t>(x)]));
      }
    };
    walk(0, 0);
    bool solved = reach->solve(a, b);
    if (reach->isScaled()) ++scaled;
    if (feasible) {
      ASSERT_TRUE(solved) << "round " << round;
    }
    if (!reach->isScaled()) {
      ASSERT_EQ(solved, feasible) << "round " << round;
    }
    if (!solved) continue;
    for (size_t t = 0; t < stages.size(); ++t) {
      bool skip = reach->canSkip(static_cast<QrcInt>(t));
      EXPECT_TRUE(reach->isScaled() ? skip || !skips[t] : skip == skips[t]) << "round " << round;
      for (size_t x = 0; x < stages[t].size(); ++x) {
        bool can = reach->canTake(static_cast<QrcInt>(t), static_cast<QrcInt>(x));
        EXPECT_TRUE(reach->isScaled() ? can || !takes[t][x] : can == takes[t][x])
            << "round " << round;
      }
    }
    if (feasible) {
      ASSERT_LE(reach->lowestSum(), lowest) << "round " << round;
      ASSERT_GE(reach->highestSum(), highest) << "round " << round;
    }
    if (!reach->isScaled() && feasible) {
      ASSERT_EQ(reach->lowestSum(), lowest);
      ASSERT_EQ(reach->highestSum(), highest);
    }
  }
  EXPECT_GT(scaled, 500);
  mgr.end();
}

}  // namespace
