// Spread: the sweep's bounds on n dev^2 and on the sum, the fixed decision
// cases, brute force through the harness with mean and dev bounds in quarters
// and an exact integer checker, narrowing runs on values far from 0, and the
// rounding direction after every propagation.
#include <gtest/gtest.h>

#include <cmath>

#include "constraint_fixtures.h"
#include "qrcfloatenv.h"
#include "qrcspread.h"
#include "support/harness.h"

namespace {

using ctest::V;
using qrotest::PropCase;
using qrotest::Vars;

typedef std::vector<int64_t> A;
typedef __int128 Wide;

class SpreadTest : public ctest::ConstraintTest {
 protected:
  QrcSpreadI* spread(std::vector<QrcIntExpI*> xs, QrcFloat dlo, QrcFloat dhi) {
    mean = QrcFloatVar(mgr, -1e9, 1e9);
    dev = QrcFloatVar(mgr, dlo, dhi);
    return static_cast<QrcSpreadI*>(QrcSpread(array(xs), mean, dev).getImpl());
  }
  QrcFloatVar mean, dev;
};

TEST_F(SpreadTest, SweepBounds) {
  // No free variable in [1, 5]: x = (1, 5) gives n dev^2 = 26 - 18 = 8.
  QrcSpreadI* ct = spread({var(0, 1), var(5, 6)}, 0.0, 100.0);
  ASSERT_TRUE(adds(ct));
  EXPECT_LE(ct->getNDev2()->getMin(), 8.0);
  EXPECT_GE(ct->getNDev2()->getMin(), 8.0 - 1e-9);
  EXPECT_NEAR(dev.getMin(), 2.0, 1e-9);
  EXPECT_EQ(getRoundingMode(), 1);
  // dev 0: the sum is 4, n dev^2 keeps 0 as its lower bound.
  QrcIntExpI* x0 = var(0, 2);
  QrcIntExpI* x1 = var(2, 4);
  ct = spread({x0, x1}, 0.0, 0.0);
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(ct->getNDev2()->getMin(), 0.0);
  EXPECT_NEAR(ct->getSum()->getMin(), 4.0, 1e-9);
  EXPECT_NEAR(ct->getSum()->getMax(), 4.0, 1e-9);
  EXPECT_EQ(dom(x0), (V{2}));
  // All bound: the equalities alone give mean and dev.
  ct = spread({var(1, 1), var(2, 2), var(3, 3)}, 0.0, 10.0);
  ASSERT_TRUE(adds(ct));
  EXPECT_NEAR(mean.getMin(), 2.0, 1e-9);
  EXPECT_NEAR(mean.getMax(), 2.0, 1e-9);
  EXPECT_LE(dev.getMin(), std::sqrt(2.0 / 3.0));
  EXPECT_GE(dev.getMax(), std::sqrt(2.0 / 3.0));
  EXPECT_LT(dev.getMax() - dev.getMin(), 1e-6);
  // The sum's least value for a deviation of at most 8: (10, -10, -10, -10, -10).
  ct = spread({var(10, 10), var(-10, -10), var(-12, -7), var(-12, -7), var(-12, -7)}, 0.0, 8.0);
  ASSERT_TRUE(adds(ct));
  EXPECT_LE(ct->getSum()->getMin(), -30.0);
  EXPECT_GE(ct->getSum()->getMin(), -30.0 - 1e-9);
  // A propagation that narrows nothing leaves round-to-nearest too.
  ct = spread({var(0, 3), var(0, 3)}, 0.0, 1e9);
  ASSERT_TRUE(adds(ct));
  setRoundingUp();
  ct->propagate();
  EXPECT_EQ(getRoundingMode(), 1);
  // Deviations too small for the bounds fail.
  EXPECT_FALSE(adds(spread({var(0, 1), var(5, 6)}, 0.0, 1.9)));
  EXPECT_EQ(getRoundingMode(), 1);
}

// One harness case: domains, mean bounds (quarters, or none) and dev bounds
// (quarters); the checker in exact integers.
PropCase spreadCase(const std::string& name, uint64_t seed, std::vector<A> domains, bool meanFree,
                    int ml, int mh, int dl, int dh) {
  PropCase c;
  c.name = name;
  c.seed = seed;
  c.notReified = "a spread has no opposite";
  c.values = domains;
  int n = static_cast<int>(domains.size());
  c.make = [n, meanFree, ml, mh, dl, dh](QrcManagerI* m, const Vars& v) {
    QrcManager mgr(m);
    QrcIntVarArray x(mgr, n);
    for (int i = 0; i < n; ++i) x.set(i, QrcIntExp(v[static_cast<size_t>(i)]));
    QrcFloatVar mean =
        meanFree ? QrcFloatVar(mgr, -1e18, 1e18) : QrcFloatVar(mgr, ml / 4.0, mh / 4.0);
    return QrcSpread(x, mean, QrcFloatVar(mgr, dl / 4.0, dh / 4.0)).getImpl();
  };
  c.check = [n, meanFree, ml, mh, dl, dh](const A& s) {
    Wide sum = 0, squares = 0;
    for (int64_t v : s) {
      sum += v;
      squares += static_cast<Wide>(v) * v;
    }
    if (!meanFree && (Wide(n) * ml > 4 * sum || 4 * sum > Wide(n) * mh)) return false;
    Wide spread = 16 * (n * squares - sum * sum);
    return Wide(n) * n * dl * dl <= spread && spread <= Wide(n) * n * dh * dh;
  };
  c.extraCheck = [](const std::vector<A>&) {
    return getRoundingMode() == 1 ? std::string() : std::string("rounding is not to nearest");
  };
  return c;
}

TEST(SpreadHarness, DecisionCases) {
  // dev 0 over x0 in [0, 2], x1 in [0, 1]: both (0, 0) and (1, 1).
  qrotest::runPropCase(spreadCase("all free at first", 1,
                                  {qrotest::range(0, 2), qrotest::range(0, 1)}, true, 0, 0, 0, 0));
  // (10, -10, -10, -10, -10): sum -30, deviation exactly 8.
  qrotest::runPropCase(spreadCase(
      "negative numerator", 2,
      {{10}, {-10}, qrotest::range(-12, -7), qrotest::range(-12, -7), qrotest::range(-12, -7)},
      true, 0, 0, 0, 32));
}

TEST(SpreadHarness, RandomCases) {
  for (int k = 0; k < 40; ++k) {
    uint64_t seed = qrotest::caseSeed(4300 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    int n = 1 + static_cast<int>(rng() % 4);
    std::vector<A> domains = qrotest::randomDomains(rng, n, -6, 6, 5);
    int ml = static_cast<int>(rng() % 33) - 24, mh = ml + static_cast<int>(rng() % 25);
    int dl = static_cast<int>(rng() % 9), dh = dl + static_cast<int>(rng() % 17);
    qrotest::runPropCase(
        spreadCase("random n " + std::to_string(n), seed, domains, k % 4 == 0, ml, mh, dl, dh));
  }
}

TEST(SpreadHarness, FarFromZero) {
  const int64_t bases[] = {(int64_t(1) << 31) - 2,  -(int64_t(1) << 31) - 1, (int64_t(1) << 32) + 5,
                           -(int64_t(1) << 32) - 7, (int64_t(1) << 40) - 1,  -(int64_t(1) << 40)};
  int k = 0;
  for (int64_t base : bases) {
    uint64_t seed = qrotest::caseSeed(4400 + static_cast<uint64_t>(k++));
    qrotest::Rng rng(seed);
    int n = 2 + static_cast<int>(rng() % 3);
    std::vector<A> domains;
    for (int i = 0; i < n; ++i) {
      int64_t lo = base + static_cast<int64_t>(rng() % 4);
      domains.push_back(qrotest::range(lo, lo + 2));
    }
    int dl = static_cast<int>(rng() % 3), dh = dl + 1 + static_cast<int>(rng() % 6);
    qrotest::checkNarrowings(
        spreadCase("base " + std::to_string(base), seed, domains, true, 0, 0, dl, dh));
  }
}

}  // namespace
