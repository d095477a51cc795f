// The start-up interval constants enclose their exact values. The constants are
// private to the float layer (qrcfloatconstants.h).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/float/qrcfloatconstants.h"
#include "qroplatform.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

uint64_t bitsOf(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

void initAll() {
  initFloatConstantBounds();
  initExpLogConstantBounds();
  initApproxCoefficientBounds();
}

TEST(FloatConstants, BitPatternsAndRoundingState) {
  qroplatform::setRounding(qroplatform::RoundUpward);
  initAll();
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  EXPECT_EQ(qrcOneDown, 1.0 - std::ldexp(1.0, -52));
  EXPECT_EQ(qrcOneUp, 1.0 + std::ldexp(1.0, -52));
  EXPECT_EQ(bitsOf(qrcPiDown), 0x400921FB54442D17ull);
  EXPECT_EQ(bitsOf(qrcLn2Up), 0x3FE62E42FEFA39F0ull);
  EXPECT_EQ(qrcExpMaxArgument, 709.7827128933839);
  EXPECT_EQ(qrcMinusHalfLn2Up, -qrcHalfLn2Up);
  EXPECT_EQ(qrcExpTinyUpper, 5.56268464626757e-309);
  EXPECT_EQ(qrcExpHugeLower, 1.79769313486168e+308);
  EXPECT_EQ(qrcLogP[0], 4.584829484581434e-05);
  EXPECT_EQ(qrcLogS[2], -769.69194355046);
  EXPECT_EQ(qrcSineCoefficients[5], -0.1666666666666663);
  EXPECT_EQ(qrcCosineCoefficients[0], 1.1367817138001051e-11);
  EXPECT_EQ(qrcQuarterPiParts[1], 3.774894707930798e-08);
  EXPECT_EQ(qrcOneHalf, 0.5);
  // The derived sums as listed.
  EXPECT_EQ(qrcTwoPiDown, 6.283185307179585);
  EXPECT_EQ(qrcTwoPiUp, 6.283185307179587);
  EXPECT_EQ(qrcNineHalfPiDown, 14.137166941154064);
  EXPECT_EQ(qrcNineHalfPiUp, 14.137166941154074);
  EXPECT_EQ(qrcSevenHalfPiUp, 10.99557428756428);
  EXPECT_EQ(qrcInvLn2Down, 1.4426950408889632);
  EXPECT_EQ(qrcInvLn2Up, 1.4426950408889638);
  EXPECT_EQ(qrcInvLn10Down, 0.43429448190325165);
  EXPECT_EQ(qrcInvLn10Up, 0.43429448190325187);
}

#ifdef QRO_HAVE_MPFR
TEST(FloatConstants, BoundsEncloseExactValues) {
  initAll();
  mpfr_t v, t;
  mpfr_inits2(256, v, t, (mpfr_ptr)0);
  auto check = [&](double lo, double hi, const char* what) {
    EXPECT_GT(mpfr_cmp_d(v, lo), 0) << what;
    EXPECT_LT(mpfr_cmp_d(v, hi), 0) << what;
  };
  mpfr_const_pi(v, MPFR_RNDN);
  check(qrcPiDown, qrcPiUp, "pi");
  mpfr_div_ui(v, v, 2, MPFR_RNDN);
  check(qrcHalfPiDown, qrcHalfPiUp, "pi/2");
  check(qrcHalfPiCopyDown, qrcHalfPiCopyUp, "pi/2 copy");
  const double halfPiMultiples[5][3] = {{3, qrcThreeHalfPiDown, qrcThreeHalfPiUp},
                                        {4, qrcTwoPiDown, qrcTwoPiUp},
                                        {5, qrcFiveHalfPiDown, qrcFiveHalfPiUp},
                                        {7, qrcSevenHalfPiDown, qrcSevenHalfPiUp},
                                        {9, qrcNineHalfPiDown, qrcNineHalfPiUp}};
  for (const auto& m : halfPiMultiples) {
    mpfr_mul_ui(t, v, static_cast<unsigned long>(m[0]), MPFR_RNDN);
    EXPECT_GT(mpfr_cmp_d(t, m[1]), 0) << m[0] << " pi/2";
    EXPECT_LT(mpfr_cmp_d(t, m[2]), 0) << m[0] << " pi/2";
  }
  mpfr_div_ui(v, v, 2, MPFR_RNDN);
  check(qrcQuarterPiDown, qrcQuarterPiUp, "pi/4");
  mpfr_const_log2(v, MPFR_RNDN);
  check(qrcLn2Down, qrcLn2Up, "ln 2");
  mpfr_set_d(t, 0.693359375, MPFR_RNDN);
  mpfr_sub(t, t, v, MPFR_RNDN);
  mpfr_swap(t, v);
  check(qrcLn2LowDown, qrcLn2LowUp, "low part of ln 2");
  mpfr_swap(t, v);
  EXPECT_LT(qrcLn2HighDown, 0.693359375);
  EXPECT_GT(qrcLn2HighUp, 0.693359375);
  mpfr_ui_div(v, 1, v, MPFR_RNDN);
  check(qrcLog2eDown, qrcLog2eUp, "log2(e)");
  check(qrcInvLn2Down, qrcInvLn2Up, "1/ln 2");
  mpfr_set_ui(v, 10, MPFR_RNDN);
  mpfr_log(v, v, MPFR_RNDN);
  check(qrcLn10Down, qrcLn10Up, "ln 10");
  mpfr_ui_div(v, 1, v, MPFR_RNDN);
  check(qrcInvLn10Down, qrcInvLn10Up, "1/ln 10");
  mpfr_set_ui(v, 1, MPFR_RNDN);
  mpfr_exp(v, v, MPFR_RNDN);
  check(qrcEDown, qrcEUp, "e");
  mpfr_clears(v, t, (mpfr_ptr)0);
}
#endif

}  // namespace
