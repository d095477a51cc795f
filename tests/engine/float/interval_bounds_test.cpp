// Interval bounds of arithmetic and elementary functions: fixed cases, and
// enclosure of the exact results (MPFR at 256 bits) over random and
// adversarial samples. The interval functions and constants are private to the
// float layer: the float nodes reach them only through their own bounds.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>

#include "engine/float/qrcfloatconstants.h"
#include "engine/float/qrcintervalbounds.h"
#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

using floattest::adversarialDouble;
using floattest::bitsOf;

class IntervalBounds : public floatvartest::IntervalConstantsTest {};

const double kInf = HUGE_VAL;

void expectInterval(const QrcFloatInterval& r, double lo, double hi) {
  EXPECT_EQ(r.lo, lo);
  EXPECT_EQ(r.hi, hi);
}

TEST_F(IntervalBounds, ProductsAndQuotients) {
  expectInterval(intervalProduct({-2, 3}, {-1, 4}), -8, 12);
  expectInterval(intervalProduct({0, kInf}, {0, 0}), 0, 0);
  expectInterval(intervalProduct({-kInf, -1}, {0, 2}), -kInf, 0);
  expectInterval(intervalProduct({2, 3}, {-5, -4}), -15, -8);
  expectInterval(intervalProduct({-3, -2}, {-1, 4}), -12, 3);
  expectInterval(intervalQuotient({1, 2}, {-1, 1}), -kInf, kInf);
  expectInterval(intervalQuotient({1, 2}, {0, 4}), 0.25, kInf);
  expectInterval(intervalQuotient({1, 2}, {-4, 0}), -kInf, -0.25);
  expectInterval(intervalQuotient({-2, -1}, {0, 4}), -kInf, -0.25);
  expectInterval(intervalQuotient({-1, 2}, {1, 4}), -1, 2);
  expectInterval(intervalQuotient({-1, 2}, {0, 4}), -kInf, kInf);
  expectInterval(intervalQuotient({2, 6}, {-2, -1}), -6, -1);
  QrcFloatInterval third = intervalQuotient({1, 1}, {3, 3});
  EXPECT_EQ(third.hi, std::nextafter(third.lo, 1.0));
  QrcFloatInterval s{1, 2};
  intervalShift(s, 0.1, 0.1);
  EXPECT_LT(s.lo, 1.1);
  EXPECT_GE(s.hi, 2.1);
  intervalSubtractInPlace(s, 0.1, 0.1);
  EXPECT_LE(s.lo, 1.0);
  EXPECT_GE(s.hi, 2.0);
  expectInterval(intervalDifference({1, 2}, {0.5, 1}), 0, 1.5);
  expectInterval(intervalSum({1, 2}, {0.5, 1}), 1.5, 3);
}

// A product whose bounds cross (only reversed operands make one) prints its
// operands and ends the process.
TEST(IntervalBoundsDeathTest, CrossedProductIsFatal) {
  EXPECT_DEATH(intervalProduct({2, 1}, {1, 1}),
               "Solver Error : Execution error: Problem in multiplication : Morvane");
}

TEST_F(IntervalBounds, IntegerPowers) {
  EXPECT_EQ(powDown(3.0, 0), 1.0);
  EXPECT_EQ(powUp(3.0, 1), 3.0);
  EXPECT_EQ(powDown(2.0, 10), 1024.0);
  EXPECT_EQ(powUp(1.1, 2), std::nextafter(powDown(1.1, 2), 2.0));
  EXPECT_EQ(powUp(10.0, 400), kInf);
  EXPECT_EQ(powDown(10.0, 400), DBL_MAX);
  EXPECT_EQ(powDown(0.5, 2000), 0.0);
  EXPECT_GT(powUp(0.5, 2000), 0.0);
  EXPECT_EQ(powUp(1.0, 1000000000000LL), 1.0);
  EXPECT_EQ(powUp(1.0000001, 1000000000000LL), kInf);
  EXPECT_EQ(powDown(0.9999999, 1000000000000LL), 0.0);
  EXPECT_LE(powDown(1.5, 101), std::pow(1.5, 101));
  EXPECT_GE(powUp(1.5, 101), std::pow(1.5, 101));
}

TEST_F(IntervalBounds, ExponentialAndLogarithmCases) {
  QrcFloatInterval big = expBounds({800, 900});
  EXPECT_EQ(bitsOf(big.lo), 0x7FEFFFFFFFFFF38Eull);
  EXPECT_EQ(big.lo, 1.79769313486168e+308);
  EXPECT_EQ(big.hi, kInf);
  QrcFloatInterval one = expBounds({0, 0});
  EXPECT_LE(one.lo, 1.0);
  EXPECT_GE(one.hi, 1.0);
  EXPECT_LT(one.hi - one.lo, 2e-15);
  QrcFloatInterval tiny = expBounds({-900, -800});
  EXPECT_EQ(tiny.lo, 0.0);
  EXPECT_GT(tiny.hi, 5.562684646268768e-309);  // exp(-709.7827128933839)
  EXPECT_LT(tiny.hi, 5.56268464627e-309);
  QrcFloatInterval l = logBounds({0, 1});
  EXPECT_EQ(l.lo, -kInf);
  EXPECT_GE(l.hi, 0.0);
  EXPECT_LT(l.hi, 1e-15);
  QrcFloatInterval lw = logBounds({1, kInf});
  EXPECT_LE(lw.lo, 0.0);
  EXPECT_EQ(lw.hi, kInf);
  QrcFloatInterval e = logBounds({qrcEDown, qrcEUp});
  EXPECT_LT(e.lo, 1.0);
  EXPECT_GT(e.hi, 1.0);
  EXPECT_LT(e.hi - e.lo, 1e-14);
  QrcFloatInterval sq = rootBounds({4, 9}, 0.5, 0.5);
  EXPECT_LE(sq.lo, 2.0);
  EXPECT_GE(sq.hi, 3.0);
  EXPECT_LT(sq.hi - sq.lo, 1.0 + 1e-14);
  QrcFloatInterval cube = powRealBounds({2, 3}, 3.0);
  EXPECT_LE(cube.lo, 8.0);
  EXPECT_GE(cube.hi, 27.0);
  EXPECT_LT(cube.hi - cube.lo, 19.0 + 1e-12);
  EXPECT_EQ(powRealDown(0.0, 2.5), 0.0);
  EXPECT_EQ(powRealUp(kInf, 2.5), kInf);
  EXPECT_EQ(rootDown(1.0, 0.3, 0.4), 1.0);
  EXPECT_EQ(rootUp(kInf, 0.3, 0.4), kInf);
}

#ifdef QRO_HAVE_MPFR
using floattest::Reference;

double positiveSample(std::mt19937_64& rng) {
  double v = std::fabs(adversarialDouble(rng));
  return v == 0 ? 1.0 : v;
}

TEST_F(IntervalBounds, ExponentialEnclosesExactValues) {
  uint64_t seed = qrotest::seedOr(4242);
  std::mt19937_64 rng(seed);
  Reference ref;
  for (int iter = 0; iter < 100000; ++iter) {
    double x;
    switch (iter % 4) {
      case 0:
        x = (static_cast<double>(rng() >> 11) / 9007199254740992.0 - 0.5) * 1500;
        break;
      case 1:
        x = (static_cast<double>(rng() >> 11) / 9007199254740992.0 - 0.5) * 4;
        break;
      case 2:
        x = static_cast<double>(static_cast<int64_t>(rng() % 2048) - 1024) * qrcLn2Down *
                (1 + std::ldexp(static_cast<double>(static_cast<int64_t>(rng() % 9) - 4), -52)) +
            0.5 * qrcLn2Down * static_cast<double>(rng() % 2);
        break;
      default:
        x = adversarialDouble(rng);
        break;
    }
    QrcFloatInterval r = expBounds({x, x});
    qroplatform::setRounding(qroplatform::RoundNearest);
    ref.exp(x);
    ASSERT_TRUE(ref.between(r.lo, r.hi))
        << "seed " << seed << " x " << x << " [" << r.lo << ", " << r.hi << "]";
    ASSERT_LE(r.lo, r.hi) << "seed " << seed << " x " << x;
    // The reduction constants are held one unit out, which costs about
    // up to |x| * 1e-14 of relative width.
    if (std::fabs(x) < 700) {
      ASSERT_LE(r.hi - r.lo, (2e-15 + 1e-14 * std::fabs(x)) * r.hi)
          << "seed " << seed << " x " << x;
    }
  }
}

TEST_F(IntervalBounds, LogarithmEnclosesExactValues) {
  uint64_t seed = qrotest::seedOr(4343);
  std::mt19937_64 rng(seed);
  Reference ref;
  for (int iter = 0; iter < 100000; ++iter) {
    double x = positiveSample(rng);
    if (iter % 3 == 0)
      x = 1.0 + (static_cast<double>(rng() >> 11) / 9007199254740992.0 - 0.5) *
                    std::ldexp(1.0, -static_cast<int>(rng() % 50));
    QrcFloatInterval r = logBounds({x, x});
    qroplatform::setRounding(qroplatform::RoundNearest);
    ref.log(x);
    ASSERT_TRUE(ref.between(r.lo, r.hi))
        << "seed " << seed << " x " << x << " [" << r.lo << ", " << r.hi << "]";
    ASSERT_LE(r.lo, r.hi) << "seed " << seed << " x " << x;
  }
}

TEST_F(IntervalBounds, PowersAndRootsEncloseExactValues) {
  uint64_t seed = qrotest::seedOr(4444);
  std::mt19937_64 rng(seed);
  Reference ref;
  for (int iter = 0; iter < 100000; ++iter) {
    double x = positiveSample(rng);
    if (iter % 2 == 0)
      x = std::ldexp(static_cast<double>(rng() >> 11) / 9007199254740992.0 + 0.5,
                     static_cast<int>(rng() % 20) - 10);
    int kind = iter % 3;
    if (kind == 0) {
      double p = static_cast<double>(rng() % 1000) / 100.0 + 0.01;
      QrcFloatInterval r = powRealBounds({x, x}, p);
      qroplatform::setRounding(qroplatform::RoundNearest);
      ref.pow(x, p);
      ASSERT_TRUE(ref.between(r.lo, r.hi)) << "seed " << seed << " x " << x << " p " << p;
    } else if (kind == 1) {
      double n = static_cast<double>(rng() % 9 + 2);
      qroplatform::setRounding(qroplatform::RoundDownward);
      double d = 1.0 / n;
      qroplatform::setRounding(qroplatform::RoundUpward);
      double u = 1.0 / n;
      QrcFloatInterval r = rootBounds({x, x}, d, u);
      qroplatform::setRounding(qroplatform::RoundNearest);
      ref.root(x, n);
      ASSERT_TRUE(ref.between(r.lo, r.hi)) << "seed " << seed << " x " << x << " n " << n;
    } else {
      int64_t n = static_cast<int64_t>(rng() % 12) + (rng() % 4 == 0 ? 60 : 0);
      double lo = powDown(x, n), hi = powUp(x, n);
      qroplatform::setRounding(qroplatform::RoundNearest);
      ref.pow(x, static_cast<double>(n));
      ASSERT_TRUE(ref.between(lo, hi)) << "seed " << seed << " x " << x << " n " << n;
    }
  }
}

TEST_F(IntervalBounds, ProductsAndQuotientsEncloseAndAreTight) {
  uint64_t seed = qrotest::seedOr(4545);
  std::mt19937_64 rng(seed);
  Reference ref;
  auto sampleInterval = [&](QrcFloatInterval& v) {
    double a = adversarialDouble(rng), b = adversarialDouble(rng);
    if (rng() % 10 == 0) a = -kInf;
    if (rng() % 10 == 0) b = kInf;
    if (a > b) std::swap(a, b);
    v = {a, b};
  };
  for (int iter = 0; iter < 50000; ++iter) {
    QrcFloatInterval x, y;
    sampleInterval(x);
    sampleInterval(y);
    bool quotient = iter % 2 == 1;
    QrcFloatInterval r = quotient ? intervalQuotient(x, y) : intervalProduct(x, y);
    qroplatform::setRounding(qroplatform::RoundNearest);
    ASSERT_LE(r.lo, r.hi) << "seed " << seed;
    // Every combination of end points and sample points lies inside.
    const double xs[3] = {x.lo, x.hi,
                          std::isfinite(x.lo) && std::isfinite(x.hi) ? x.lo / 2 + x.hi / 2 : 0.0};
    const double ys[3] = {y.lo, y.hi,
                          std::isfinite(y.lo) && std::isfinite(y.hi) ? y.lo / 2 + y.hi / 2 : 1.0};
    for (double a : xs) {
      for (double b : ys) {
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        if (b < y.lo || b > y.hi || a < x.lo || a > x.hi) continue;
        if (quotient && b == 0) continue;
        if (quotient)
          ref.quotient(a, b);
        else
          ref.product(a, b);
        ASSERT_TRUE(ref.between(r.lo, r.hi))
            << "seed " << seed << " iter " << iter << " [" << x.lo << "," << x.hi << "] op ["
            << y.lo << "," << y.hi << "] = [" << r.lo << "," << r.hi << "] at " << a << " " << b;
      }
    }
    // Products of finite intervals are tight: the bounds are the extreme corner
    // products rounded outward.
    if (!quotient && std::isfinite(x.lo) && std::isfinite(x.hi) && std::isfinite(y.lo) &&
        std::isfinite(y.hi)) {
      mpfr_t best, t;
      mpfr_inits2(256, best, t, (mpfr_ptr)0);
      for (int side = 0; side < 2; ++side) {
        bool first = true;
        for (double a : {x.lo, x.hi})
          for (double b : {y.lo, y.hi}) {
            ref.product(a, b);
            if (first ||
                (side == 0 ? mpfr_cmp(ref.value(), best) < 0 : mpfr_cmp(ref.value(), best) > 0))
              mpfr_set(best, ref.value(), MPFR_RNDN);
            first = false;
          }
        mpfr_set(t, best, MPFR_RNDN);
        double want = mpfr_get_d(t, side == 0 ? MPFR_RNDD : MPFR_RNDU);
        double got = side == 0 ? r.lo : r.hi;
        if (std::fabs(want) >= 2.2250738585072014e-308 || want == 0) {
          ASSERT_EQ(got, want) << "seed " << seed << " iter " << iter << " side " << side;
        }
      }
      mpfr_clears(best, t, (mpfr_ptr)0);
    }
  }
}
#endif

}  // namespace
