// c^x with a constant base, x = y + z for a variable y and a constant z, and
// c^x narrowed to the doubles just around c^(p + z): y must keep p. The
// exponent p + z is no double, so only an enclosure of ln c keeps it; MPFR at
// 2,000 bits decides c^(p + z) exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qrcfloatarith.h"
#include "qrcfloatfunctions.h"
#include "qroplatform.h"
#include "support/seed.h"

using namespace floatvartest;

namespace {

#ifdef QRO_HAVE_MPFR

// c^(p + z), exactly enough to round: lo and hi are its neighbours (equal
// when it is a double); inside tells whether it lies in [a, b].
class ExactPower {
 public:
  ExactPower(double c, double p, double z) {
    mpfr_inits2(2000, base_, exponent_, value_, (mpfr_ptr)0);
    mpfr_set_d(base_, c, MPFR_RNDN);
    mpfr_set_d(exponent_, p, MPFR_RNDN);
    mpfr_add_d(exponent_, exponent_, z, MPFR_RNDN);
    mpfr_pow(value_, base_, exponent_, MPFR_RNDN);
    lo = mpfr_get_d(value_, MPFR_RNDD);
    hi = mpfr_get_d(value_, MPFR_RNDU);
  }
  ~ExactPower() { mpfr_clears(base_, exponent_, value_, (mpfr_ptr)0); }
  ExactPower(const ExactPower&) = delete;
  ExactPower& operator=(const ExactPower&) = delete;
  bool inside(double a, double b) {
    return mpfr_cmp_d(value_, a) >= 0 && mpfr_cmp_d(value_, b) <= 0;
  }
  double lo, hi;

 private:
  mpfr_t base_, exponent_, value_;
};

TEST_F(FloatManagerTest, ConstantBasePowerKeepsTheExponentNearTightBounds) {
  uint64_t seed = qrotest::seedOr(67);
  std::mt19937_64 rng(seed);
  const double bases[] = {3.0, 10.0, 0.3, 7.5, 0.5, 1.0001};
  // Around -16.4 |x| ulp(ln c) first exceeds what the bounds leave.
  const double shifts[] = {-16.4, 16.4, -37.0, 29.0};
  int lost = 0, outside = 0;
  for (int i = 0; i < 3000; ++i) {
    double c = i % 3 ? bases[rng() % 6] : 20 * floattest::unit(rng);
    double z = shifts[rng() % 4];
    double p = 0.1 * (floattest::unit(rng) - 0.5);
    ExactPower exact(c, p, z);
    double ymin = 0, ymax = 0, emin = 0, emax = 0;
    std::function<void()> narrow = [&] {
      QrcFloatVar y = var(-0.1, 0.1);
      QrcFloatExp e = QrcPower(c, y + z);
      e.setRange(exact.lo, exact.hi);
      ymin = y.getMin();
      ymax = y.getMax();
      y.setValue(p);
      emin = e.getMin();
      emax = e.getMax();
    };
    bool kept = solveRestoring(m, narrow) && ymin <= p && p <= ymax;
    if (!kept && lost++ < 5)
      ADD_FAILURE() << std::hexfloat << c << "^(y + " << z << ") in [" << exact.lo << ", "
                    << exact.hi << "] lost y = " << p << " (seed " << seed << ")";
    if (kept && !exact.inside(emin, emax) && outside++ < 5)
      ADD_FAILURE() << std::hexfloat << c << "^(" << p << " + " << z << ") outside [" << emin
                    << ", " << emax << "] (seed " << seed << ")";
    EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(outside, 0);
}

#endif

}  // namespace
