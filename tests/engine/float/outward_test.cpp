// Outward-rounding primitives: the relative widenings and the directed
// operations, bit for bit against MPFR rounding in the same direction. They are
// private to the float layer (qrcoutward.h).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "mpfr_support.h"
#include "engine/float/qrcoutward.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

using floattest::adversarialDouble;
using floattest::bitsOf;

TEST(Outward, Widenings) {
  qroplatform::setRounding(qroplatform::RoundUpward);
  EXPECT_EQ(widenDown(2.0), 2.0 * 0.99999999999);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  EXPECT_EQ(widenDown(-2.0), -2.0 * 1.00000000001);
  EXPECT_EQ(widenUp(2.0), 2.0 * 1.00000000001);
  EXPECT_EQ(widenUp(-2.0), -2.0 * 0.99999999999);
  EXPECT_EQ(widenDown(HUGE_VAL), DBL_MAX);
  EXPECT_EQ(widenUp(HUGE_VAL), HUGE_VAL);
  EXPECT_EQ(widenUp(-HUGE_VAL), -DBL_MAX);
  EXPECT_EQ(widenDown(-HUGE_VAL), -HUGE_VAL);
  EXPECT_EQ(widenDown(0.0), 0.0);
  EXPECT_EQ(widenUp(0.0), 0.0);
  qroplatform::setRounding(qroplatform::RoundDownward);
  EXPECT_EQ(sqrtUp(4.0), 2.0 * 1.00000000001);
  EXPECT_EQ(sqrtDown(4.0), 2.0 * 0.99999999999);
  EXPECT_EQ(sqrtUp(0.0), 0.0);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  EXPECT_LT(sqrtDown(2.0), std::sqrt(2.0));
  EXPECT_GT(sqrtUp(2.0), std::sqrt(2.0));
}

TEST(Outward, DirectedOperationsLeaveTheDirectionAlone) {
  qroplatform::setRounding(qroplatform::RoundNearest);
  EXPECT_EQ(addDown(1.0, 1e-30), 1.0);
  EXPECT_EQ(addUp(1.0, 1e-30), std::nextafter(1.0, 2.0));
  EXPECT_EQ(divDown(1.0, 3.0), std::nextafter(divUp(1.0, 3.0), 0.0));
  EXPECT_EQ(mulUp(DBL_MAX, 2.0), HUGE_VAL);
  EXPECT_EQ(mulDown(DBL_MAX, 2.0), DBL_MAX);
  EXPECT_EQ(subDown(0.0, 0.0), 0.0);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  volatile double third = 1.0 / 3.0;  // 1 / 3 - 2^-54 / 3
  qroplatform::setRounding(qroplatform::RoundUpward);
  EXPECT_EQ(mulDown(third, 3.0), std::nextafter(1.0, 0.0));
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundUpward);
  qroplatform::setRounding(qroplatform::RoundNearest);
}

// The directed operations against the processor's own directed rounding, bit
// for bit (zeros' signs and results near the bottom of the range included),
// whatever direction the processor is in when they are called.
TEST(Outward, DirectedOperationsMatchTheProcessorInEveryDirection) {
  using namespace qroplatform;
  uint64_t seed = qrotest::seedOr(4321);
  std::mt19937_64 rng(seed);
  const double specials[] = {0.0,      -0.0,    HUGE_VAL,  -HUGE_VAL,  NAN,      DBL_MAX,
                             -DBL_MAX, DBL_MIN, 0x1p-1074, -0x1p-1074, 0x1p-960, 0x1p-961 * 3,
                             0x1p-537, 1.0,     -1.0,      0x1p512};
  const int nSpecials = sizeof specials / sizeof specials[0];
  typedef double (*Op)(double, double);
  const Op ops[8] = {addDown, addUp, subDown, subUp, mulDown, mulUp, divDown, divUp};
  const int modes[4] = {RoundNearest, RoundDownward, RoundUpward, RoundTowardZero};
  for (int iter = 0; iter < 200000; ++iter) {
    double a = adversarialDouble(rng), b = adversarialDouble(rng);
    switch (iter % 6) {
      case 0:
        a = specials[rng() % nSpecials];
        break;
      case 1:
        b = specials[rng() % nSpecials];
        break;
      case 2:  // near cancellation
        b = -a * (1 + std::ldexp(static_cast<double>(rng() % 8), -(static_cast<int>(rng() % 60))));
        break;
      case 3:  // products and quotients near the bottom and the top of the range
        b = std::ldexp(
            1.0 + std::ldexp(static_cast<double>(rng() % 1024), -10),
            (rng() % 2 ? -960 : 1023) - std::ilogb(a == 0 ? 1.0 : a) - static_cast<int>(rng() % 4));
        break;
      default:
        break;
    }
    int k = iter % 8, mode = modes[(iter / 8) % 4];
    bool up = k % 2 == 1;
    setRounding(mode);
    double got = ops[k](a, b);
    ASSERT_EQ(getRounding(), mode);
    setRounding(up ? RoundUpward : RoundDownward);
    volatile double x = a, y = b;
    double want = k < 2 ? x + y : k < 4 ? x - y : k < 6 ? x * y : x / y;
    QRO_FP_BARRIER(want);
    setRounding(RoundNearest);
    if (std::isnan(want)) {
      ASSERT_TRUE(std::isnan(got)) << "seed " << seed << " op " << k << " " << a << " " << b;
      continue;
    }
    ASSERT_EQ(bitsOf(got), bitsOf(want))
        << "seed " << seed << " op " << k << " mode " << mode << " a " << a << " b " << b << " got "
        << got << " want " << want;
  }
}

#ifdef QRO_HAVE_MPFR
TEST(Outward, DirectedOperationsAreCorrectlyRounded) {
  uint64_t seed = qrotest::seedOr(1234);
  std::mt19937_64 rng(seed);
  mpfr_exp_t oldMin = mpfr_get_emin(), oldMax = mpfr_get_emax();
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  mpfr_t x, y, r;
  mpfr_inits2(53, x, y, r, (mpfr_ptr)0);
  typedef double (*Op)(double, double);
  const Op ops[8] = {addDown, addUp, subDown, subUp, mulDown, mulUp, divDown, divUp};
  for (int iter = 0; iter < 100000; ++iter) {
    double a = adversarialDouble(rng), b = adversarialDouble(rng);
    if (iter % 7 == 0) b = a * (1 + std::ldexp(1.0, -(static_cast<int>(rng() % 60))));
    int k = iter % 8;
    bool up = k % 2 == 1;
    mpfr_rnd_t rnd = up ? MPFR_RNDU : MPFR_RNDD;
    double got = ops[k](a, b);
    qroplatform::setRounding(qroplatform::RoundNearest);
    mpfr_set_d(x, a, MPFR_RNDN);
    mpfr_set_d(y, b, MPFR_RNDN);
    int t;
    switch (k / 2) {
      case 0:
        t = mpfr_add(r, x, y, rnd);
        break;
      case 1:
        t = mpfr_sub(r, x, y, rnd);
        break;
      case 2:
        t = mpfr_mul(r, x, y, rnd);
        break;
      default:
        t = mpfr_div(r, x, y, rnd);
        break;
    }
    t = mpfr_check_range(r, t, rnd);
    mpfr_subnormalize(r, t, rnd);
    double want = mpfr_get_d(r, rnd);
    if (std::isnan(want)) {
      ASSERT_TRUE(std::isnan(got)) << "seed " << seed << " op " << k << " " << a << " " << b;
      continue;
    }
    // Zeros compare by value: the sign of an exact zero sum is not an enclosure matter.
    if (want == 0) {
      ASSERT_EQ(got, 0.0) << "seed " << seed << " op " << k << " " << a << " " << b;
      continue;
    }
    ASSERT_EQ(bitsOf(got), bitsOf(want)) << "seed " << seed << " op " << k << " a " << a << " b "
                                         << b << " got " << got << " want " << want;
  }
  mpfr_clears(x, y, r, (mpfr_ptr)0);
  mpfr_set_emin(oldMin);
  mpfr_set_emax(oldMax);
}
#endif

}  // namespace
