#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "qrcfloatenv.h"
#include "support/seed.h"

namespace {

TEST(Rounding, SwitchesReportModes) {
  EXPECT_EQ(getRoundingMode(), 1);
  EXPECT_EQ(setRoundingDown(), 1);
  EXPECT_EQ(getRoundingMode(), 3);
  volatile double one = 1.0, three = 3.0;
  double down = one / three;
  setRoundingUp();
  EXPECT_EQ(getRoundingMode(), 2);
  double up = one / three;
  EXPECT_LT(down, up);
  EXPECT_EQ(std::nextafter(down, 1.0), up);
  EXPECT_EQ(setRoundingNearest(), 2);
  EXPECT_EQ(getRoundingMode(), 1);
  setRoundingUp();
  EXPECT_EQ(resetFloatingPoint(), 0);
  EXPECT_EQ(getRoundingMode(), 1);
}

TEST(Precision, Rounding) {
  EXPECT_EQ(roundUpToPrecision(1.0, 10), 1.0);
  EXPECT_EQ(roundUpToPrecision(1.0 + std::ldexp(1.0, -20), 10), 1.0 + std::ldexp(1.0, -10));
  EXPECT_EQ(roundDownToPrecision(1.0 + std::ldexp(1.0, -20), 10), 1.0);
  EXPECT_EQ(roundDownToPrecision(-(1.0 + std::ldexp(1.0, -20)), 10), -(1.0 + std::ldexp(1.0, -10)));
  EXPECT_EQ(roundUpToPrecision(-(1.0 + std::ldexp(1.0, -20)), 10), -1.0);
  EXPECT_EQ(nextUpAtPrecision(0.0, 52), std::ldexp(1.0, -1074));
  EXPECT_EQ(nextDownAtPrecision(0.0, 52), -std::ldexp(1.0, -1074));
  EXPECT_EQ(nextUpAtPrecision(1.0, 52), std::nextafter(1.0, 2.0));
  EXPECT_EQ(nextDownAtPrecision(1.0, 52), std::nextafter(1.0, 0.0));
  EXPECT_EQ(nextUpAtPrecision(-1.0, 52), std::nextafter(-1.0, 0.0));
  for (int p = 1; p < 52; ++p) {
    EXPECT_EQ(roundUpToPrecision(DBL_MAX, p), HUGE_VAL) << p;
    EXPECT_EQ(roundDownToPrecision(-DBL_MAX, p), -HUGE_VAL) << p;
  }
  EXPECT_EQ(nextUpAtPrecision(DBL_MAX, 52), HUGE_VAL);
  EXPECT_EQ(nextDownAtPrecision(-DBL_MAX, 52), -HUGE_VAL);
}

TEST(Precision, RandomValuesStayOnTheGrid) {
  uint64_t seed = qrotest::seedOr(3);
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  for (int i = 0; i < 2000; ++i) {
    double x = std::ldexp(mant(rng), static_cast<int>(rng() % 200) - 100);
    int p = 1 + static_cast<int>(rng() % 52);
    double up = roundUpToPrecision(x, p), down = roundDownToPrecision(x, p);
    ASSERT_LE(down, x) << "seed " << seed;
    ASSERT_GE(up, x) << "seed " << seed;
    // Both are representable with p mantissa bits.
    uint64_t mask = (uint64_t(1) << (52 - p)) - 1;
    uint64_t bu, bd;
    std::memcpy(&bu, &up, 8);
    std::memcpy(&bd, &down, 8);
    ASSERT_EQ(bu & mask, 0u) << "seed " << seed;
    ASSERT_EQ(bd & mask, 0u) << "seed " << seed;
    if (up != down) {
      ASSERT_EQ(nextUpAtPrecision(down, p), up) << x << " " << p << " seed " << seed;
      ASSERT_EQ(nextDownAtPrecision(up, p), down) << x << " " << p << " seed " << seed;
    }
  }
}

TEST(Precision, AtLeastWithinPrecision) {
  double one = 1.0;
  EXPECT_TRUE(isAtLeastWithinPrecision(one, one, 52));
  EXPECT_TRUE(isAtLeastWithinPrecision(std::nextafter(one, 0.0), one, 52));
  EXPECT_FALSE(isAtLeastWithinPrecision(std::nextafter(std::nextafter(one, 0.0), 0.0), one, 52));
  EXPECT_TRUE(isAtLeastWithinPrecision(-0.0, 0.0, 52));
  EXPECT_TRUE(isAtLeastWithinPrecision(2.0, -3.0, 52));
  EXPECT_FALSE(isAtLeastWithinPrecision(-3.0, 2.0, 52));
}

TEST(Clock, CpuTimeAdvancesUnderLoad) {
  double start = cpuTime();
  volatile double sink = 0;
  while (cpuTime() - start < 0.02) sink = sink + 1.0;
  EXPECT_GE(cpuTime() - start, 0.02);
  EXPECT_GE(clockTime(), 0.0);
}

}  // namespace
