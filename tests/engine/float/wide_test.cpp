// Extended-precision numbers: conversions, the exact steps, and directed
// rounding of sums, products and quotients checked against MPFR at 64 bits.
// They are private to the float layer (qrcwide.h).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <random>

#include "engine/float/qrcwide.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

PackedExtended packed(double d) {
  WideNumber w = doubleToWide(d);
  return packWide(&w);
}

// Value of a packed number as a double (exact for numbers with 53-bit significands).
double toDouble(const PackedExtended& p) {
  uint64_t sig = (static_cast<uint64_t>(p.w[3]) << 48) | (static_cast<uint64_t>(p.w[2]) << 32) |
                 (static_cast<uint64_t>(p.w[1]) << 16) | p.w[0];
  int e = p.w[4] & 0x7FFF;
  double v = std::ldexp(static_cast<double>(sig), e - 16383 - 63);
  return (p.w[4] & 0x8000) ? -v : v;
}

TEST(Wide, Conversions) {
  WideNumber z = doubleToWide(-0.0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(z.w[i], 0) << i;
  WideNumber one = doubleToWide(1.0);
  EXPECT_EQ(one.w[0], 0);
  EXPECT_EQ(one.w[1], 16383);
  EXPECT_EQ(one.w[3], 0x8000);
  for (int i : {2, 4, 5, 6, 7}) EXPECT_EQ(one.w[i], 0) << i;
  WideNumber tiny = doubleToWide(4.9406564584124654e-324);
  EXPECT_EQ(tiny.w[1], 16383 - 1074);
  EXPECT_EQ(tiny.w[3], 0x8000);
  WideNumber neg = doubleToWide(-2.5);
  EXPECT_EQ(neg.w[0], 0xFFFF);
  for (double d : {1.0, -2.5, 1e-310, DBL_MAX, 0.1, -3e200}) {
    PackedExtended p = packed(d);
    WideNumber back = unpackWide(&p);
    PackedExtended again = packWide(&back);
    EXPECT_EQ(std::memcmp(&p, &again, sizeof p), 0);
    EXPECT_EQ(toDouble(p), d);
  }
}

TEST(Wide, FloorAndComparisons) {
  PackedExtended a = packed(-0.5), b = packed(2.75), c = packed(-3.0), d = packed(0.25);
  PackedExtended e = packed(-1.5), f = packed(1e20 + 0.0);
  EXPECT_EQ(toDouble(wideFloor(&a)), -1.0);
  EXPECT_EQ(toDouble(wideFloor(&b)), 2.0);
  EXPECT_EQ(toDouble(wideFloor(&c)), -3.0);
  EXPECT_EQ(toDouble(wideFloor(&d)), 0.0);
  EXPECT_EQ(toDouble(wideFloor(&e)), -2.0);
  EXPECT_EQ(toDouble(wideFloor(&f)), 1e20);
  PackedExtended pz = packed(0.0), nz = packed(-0.0);
  nz.w[4] |= 0x8000;
  EXPECT_TRUE(wideEqual(&pz, &nz));
  EXPECT_EQ(wideCompare(&a, &b), -1);
  EXPECT_EQ(wideCompare(&c, &a), -1);
  EXPECT_EQ(wideCompare(&b, &d), 1);
  EXPECT_TRUE(wideLessEqual(&a, &a));
  EXPECT_TRUE(wideGreater(&d, &pz));
  EXPECT_TRUE(wideGreaterEqual(&pz, &a));
  PackedExtended diff = wideSubtract(&b, &d);
  EXPECT_EQ(toDouble(diff), 2.5);
}

TEST(Wide, ExactSteps) {
  WideNumber a = doubleToWide(3.0), b = doubleToWide(-3.0);
  WideNumber sum = wideAdd(&a, &b, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(sum.w[i], 0) << i;
  a = doubleToWide(3.0);
  WideNumber a2 = doubleToWide(3.0);
  WideNumber twice = wideAdd(&a, &a2, 0);
  EXPECT_EQ(twice.w[1], a2.w[1] + 1);
  EXPECT_EQ(compareSignificands(&twice, &a2), 0);
  // Without rounding control a guard word is dropped, never rounded.
  qroplatform::setRounding(qroplatform::RoundUpward);
  WideNumber g = doubleToWide(1.0);
  g.w[7] = 0xFFFF;
  normalizeAndRound(&g, 1, 0, 16383, 0);
  qroplatform::setRounding(qroplatform::RoundNearest);
  EXPECT_EQ(g.w[6], 0);
  EXPECT_EQ(g.w[7], 0);
  EXPECT_EQ(g.w[1], 16383);
  // Remainder: 47 by 10 leaves 7 with quotient 4.
  WideNumber n = doubleToWide(47.0), t = doubleToWide(10.0);
  WideNumber r = wideRemainder(&n, &t);
  PackedExtended rp = packWide(&r);
  EXPECT_EQ(toDouble(rp), 7.0);
  EXPECT_EQ(wideLastQuotientWord(), 4);
  // Shifts report lost bits.
  WideNumber s = doubleToWide(1.5);
  EXPECT_EQ(shiftSignificand(&s, -80), 1);
  WideNumber s2 = doubleToWide(1.0);
  EXPECT_EQ(shiftSignificand(&s2, -15), 0);
  EXPECT_EQ(normalizeSignificand(&s2), 15);
  WideNumber zero = doubleToWide(0.0);
  EXPECT_GT(normalizeSignificand(&zero), 64);
}

TEST(Wide, HexDump) {
  PackedExtended p = packed(-1.5);
  ::testing::internal::CaptureStdout();
  dumpWideHex(&p);
  std::cout << std::dec;
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "0x0\n0x0\n0x0\n0xc000\n0xbfff\n\n");
}

#ifdef QRO_HAVE_MPFR
double randomOperand(std::mt19937_64& rng) {
  double m = static_cast<double>(rng() >> 11) / 9007199254740992.0 + 0.5;
  if (rng() % 4 == 0) m = static_cast<double>(rng() % 64 + 1);  // short significands
  double v = std::ldexp(m, static_cast<int>(rng() % 400) - 200);
  return rng() % 2 ? -v : v;
}

TEST(Wide, DirectedArithmeticMatchesMpfr) {
  uint64_t seed = qrotest::seedOr(77);
  std::mt19937_64 rng(seed);
  const int modes[4] = {qroplatform::RoundNearest, qroplatform::RoundUpward,
                        qroplatform::RoundDownward, qroplatform::RoundTowardZero};
  const mpfr_rnd_t rnds[4] = {MPFR_RNDN, MPFR_RNDU, MPFR_RNDD, MPFR_RNDZ};
  mpfr_t x, y, want, got;
  mpfr_inits2(64, x, y, want, got, (mpfr_ptr)0);
  for (int iter = 0; iter < 40000; ++iter) {
    double a = randomOperand(rng), b = randomOperand(rng);
    if (iter % 3 == 0) b = -a * (1 + std::ldexp(static_cast<double>(rng() % 1000), -50));
    int op = iter % 4, m = (iter / 4) % 4;
    WideNumber wa = doubleToWide(a), wb = doubleToWide(b), r;
    qroplatform::setRounding(modes[m]);
    switch (op) {
      case 0:
        r = wideAdd(&wa, &wb, 0);
        break;
      case 1:
        r = wideAdd(&wa, &wb, 1);
        break;
      case 2:
        r = wideMultiply(&wa, &wb);
        break;
      default:
        r = wideDivide(&wa, &wb);
        break;
    }
    qroplatform::setRounding(qroplatform::RoundNearest);
    mpfr_set_d(x, a, MPFR_RNDN);
    mpfr_set_d(y, b, MPFR_RNDN);
    switch (op) {
      case 0:
        mpfr_add(want, y, x, rnds[m]);
        break;
      case 1:
        mpfr_sub(want, y, x, rnds[m]);
        break;
      case 2:
        mpfr_mul(want, x, y, rnds[m]);
        break;
      default:
        mpfr_div(want, x, y, rnds[m]);
        break;
    }
    PackedExtended p = packWide(&r);
    uint64_t sig = (static_cast<uint64_t>(p.w[3]) << 48) | (static_cast<uint64_t>(p.w[2]) << 32) |
                   (static_cast<uint64_t>(p.w[1]) << 16) | p.w[0];
    mpfr_set_uj_2exp(got, sig, (p.w[4] & 0x7FFF) - 16383 - 63, MPFR_RNDN);
    if (p.w[4] & 0x8000) mpfr_neg(got, got, MPFR_RNDN);
    ASSERT_EQ(mpfr_cmp(got, want), 0) << "seed " << seed << " iter " << iter << " op " << op
                                      << " mode " << modes[m] << " a " << a << " b " << b;
  }
  mpfr_clears(x, y, want, got, (mpfr_ptr)0);
}
#endif

}  // namespace
