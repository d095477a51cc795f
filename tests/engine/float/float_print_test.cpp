// Exact interval printing: the fixed formats, and a randomised check of every
// printed bound against the exact decimal value of the double. The printer and
// the extended-precision numbers it uses are private to the float layer.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "engine/float/qrcfloatprint.h"
#include "engine/float/qrcwide.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

std::string interval(double lo, double hi, int positional, int precision = 6) {
  std::ostringstream os;
  os.precision(precision);
  printFloatInterval(lo, hi, os, positional);
  return os.str();
}

std::string range(double lo, double hi, int positional, int precision = 6) {
  std::ostringstream os;
  os.precision(precision);
  printFloatRange(lo, hi, os, positional);
  return os.str();
}

// Text of one bound converted in a direction, as the printers do.
std::string bound(double v, int mode, int digits, int positional) {
  WideNumber w = doubleToWide(v);
  PackedExtended p = packWide(&w);
  char out[8192];
  qroplatform::setRounding(mode);
  wideToDecimal(&p, out, digits, 8191, positional);
  qroplatform::setRounding(qroplatform::RoundNearest);
  return out;
}

const int kDown = qroplatform::RoundDownward;
const int kUp = qroplatform::RoundUpward;

TEST(FloatPrint, IntervalFormats) {
  EXPECT_EQ(interval(0.25, 1.3, 1), "[0.250000..1.30001]");
  EXPECT_EQ(interval(0.25, 1.3, 0), "[2.50000e-1..1.300010]");
  EXPECT_EQ(interval(1.0, HUGE_VAL, 1), "[1.00000..+Infinity)");
  EXPECT_EQ(interval(-HUGE_VAL, 0.0, 1), "(-Infinity..0.00000]");
  EXPECT_EQ(interval(-HUGE_VAL, HUGE_VAL, 1), "(-Infinity..+Infinity)");
  EXPECT_EQ(interval(1.0 / 3, 1.0 / 3, 1), "[0.333333..0.333334]");
  EXPECT_EQ(interval(-1.0 / 3, -1.0 / 3, 1), "[-0.333334..-0.333333]");
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST(FloatPrint, DigitFormats) {
  EXPECT_EQ(bound(0.25, kDown, 5, 0), "2.50000e-1");
  EXPECT_EQ(bound(1.5, kDown, 5, 0), "1.500000");
  EXPECT_EQ(bound(12345.0, kDown, 5, 0), "1.23450e+4");
  EXPECT_EQ(bound(12.375, kDown, 5, 1), "12.3750");
  EXPECT_EQ(bound(1.5e7, kDown, 5, 1), "15000000");
  EXPECT_EQ(bound(0.03125, kDown, 5, 1), "0.0312500");
  EXPECT_EQ(bound(0.0, kDown, 5, 1), "0.00000");
  EXPECT_EQ(bound(0.0, kUp, 5, 0), "0.000000");
  EXPECT_EQ(bound(-0.0, kUp, 5, 1), "0.00000");
  // The rounding digit alone makes the text inexact: it rounds in the bound's direction.
  EXPECT_EQ(bound(1.015625, kUp, 5, 1), "1.01563");
  EXPECT_EQ(bound(1.015625, kDown, 5, 1), "1.01562");
  EXPECT_EQ(bound(-1.015625, kDown, 5, 1), "-1.01563");
  EXPECT_EQ(bound(-1.015625, kUp, 5, 1), "-1.01562");
  // A carry out of the first digit.
  EXPECT_EQ(bound(9.9999999, kUp, 5, 1), "10.0000");
  EXPECT_EQ(bound(9.9999999, kUp, 5, 0), "1.00000e+1");
  // Extremes stay exact.
  EXPECT_EQ(bound(DBL_MAX, kDown, 18, 0), "1.797693134862315708e+308");
  EXPECT_EQ(bound(DBL_MAX, kUp, 18, 0), "1.797693134862315709e+308");
  EXPECT_EQ(bound(4.9406564584124654e-324, kDown, 5, 0), "4.94065e-324");
  EXPECT_EQ(bound(4.9406564584124654e-324, kUp, 5, 0), "4.94066e-324");
}

TEST(FloatPrint, LengthBound) {
  WideNumber w = doubleToWide(1e20);
  PackedExtended p = packWide(&w);
  char out[16];
  qroplatform::setRounding(kDown);
  wideToDecimal(&p, out, 5, 10, 1);  // 15 missing zeros reach the bound
  EXPECT_STREQ(out, "100000E15");
  w = doubleToWide(1e-20);
  p = packWide(&w);
  wideToDecimal(&p, out, 5, 10, 1);  // cut at 10 characters
  EXPECT_STREQ(out, "0.00000000");
  qroplatform::setRounding(qroplatform::RoundNearest);
}

TEST(FloatPrint, RangeForms) {
  EXPECT_EQ(range(2.5, 2.5, 1), "[2.5]");
  EXPECT_EQ(range(2.5, 2.5, 0), "[2.5" + std::string(18, '0') + "]");
  EXPECT_EQ(range(-0.03125, 1.5, 1),
            "[0.0" + std::string(15, ' ') + " + [-0.3125e-1..1.5" + std::string(17, '0') + "]]");
  EXPECT_EQ(range(1.25, 1.375, 1), "[1" + std::string(17, ' ') + " + [0.25..0.375]]");
  // 123.4 and 156.7 are not exact doubles: their texts run to 19 digits.
  EXPECT_EQ(range(123.4, 156.7, 1),
            "[100" + std::string(15, ' ') + " + [23.4000000000000056..56.6999999999999887]]");
  EXPECT_EQ(range(123.5, 156.75, 1), "[100" + std::string(15, ' ') + " + [23.5..56.75]]");
  EXPECT_EQ(range(1.96875, 2.03125, 1),
            "[2.0" + std::string(15, ' ') + " + [-0.3125e-1..+0.3125e-1]]");
  EXPECT_EQ(range(-2.03125, -1.96875, 1),
            "[-2.0" + std::string(15, ' ') + " + [-0.3125e-1..+0.3125e-1]]");
  // Scientific texts with an exponent fall back to the plain bounds.
  EXPECT_EQ(range(12.0, 13.0, 0), "[1.20000e+1..1.30000e+1]");
  EXPECT_EQ(range(1.0, HUGE_VAL, 1), "[1.00000..+Infinity)");
}

TEST(FloatPrint, CommonPrefixTails) {
  char sign[kQrcPrefixBufferSize], prefix[kQrcPrefixBufferSize];
  char lo[kQrcPrefixBufferSize], hi[kQrcPrefixBufferSize];
  ASSERT_EQ(printFloatIntervalCommonPrefix(1.2345, 1.2367, sign, prefix, lo, hi, 1), 1);
  EXPECT_STREQ(sign, "");
  EXPECT_EQ(std::string(prefix), "1.23" + std::string(14, ' '));
  EXPECT_EQ(std::string(lo).substr(0, 6), "0.4499");  // 1.2345 lies below its text
  EXPECT_EQ(std::string(lo).substr(std::string(lo).size() - 3), "e-2");
  EXPECT_EQ(std::string(hi).substr(0, 6), "0.6699");  // 1.2367 lies below its text
  EXPECT_EQ(printFloatIntervalCommonPrefix(-HUGE_VAL, 1.0, sign, prefix, lo, hi, 1), 0);
  ASSERT_EQ(printFloatIntervalCommonPrefix(19.5, 20.5, sign, prefix, lo, hi, 1), 1);
  EXPECT_EQ(std::string(prefix), "20" + std::string(16, ' '));
  EXPECT_STREQ(lo, "-0.5");
  EXPECT_STREQ(hi, "+0.5");
}

#ifdef QRO_HAVE_MPFR
// Exact decimal digits of a double from MPFR: the first n significant digits
// rounded in the given direction, and its decimal exponent.
struct Reference {
  std::string digits;
  long exponent;
};

Reference reference(double v, int n, mpfr_rnd_t rnd) {
  mpfr_t x;
  mpfr_init2(x, 64);
  mpfr_set_d(x, v, MPFR_RNDN);
  mpfr_exp_t e;
  char* s = mpfr_get_str(nullptr, &e, 10, n, x, rnd);
  Reference r{s[0] == '-' ? std::string(s + 1) : std::string(s), static_cast<long>(e) - 1};
  mpfr_free_str(s);
  mpfr_clear(x);
  return r;
}

// Digits and exponent read back from scientific text "d.ddd[e±k]" (0 extra).
Reference parseScientific(const std::string& text, int n) {
  std::string t = text[0] == '-' ? text.substr(1) : text;
  Reference r{"", 0};
  size_t i = 0;
  for (; i < t.size() && t[i] != 'e'; ++i)
    if (t[i] != '.') r.digits += t[i];
  if (i < t.size())
    r.exponent = std::stol(t.substr(i + 1));
  else
    r.digits = r.digits.substr(0, n);  // drop the extra "0" of exponent 0
  return r;
}

double randomDouble(std::mt19937_64& rng) {
  switch (rng() % 6) {
    case 0: {  // any finite bit pattern
      for (;;) {
        uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d)) return d;
      }
    }
    case 1:
      return std::ldexp(rng() % 2 ? 1.0 : -1.0, static_cast<int>(rng() % 2098) - 1074);
    case 2: {  // halfway and short decimal values
      double base = static_cast<double>(rng() % 2000000) / 2.0;
      return std::ldexp(base, static_cast<int>(rng() % 40) - 20);
    }
    case 3: {  // subnormals
      uint64_t bits = rng() & 0x000FFFFFFFFFFFFFull;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    case 4:
      return std::nextafter(DBL_MAX, 0.0) * (1.0 - static_cast<double>(rng() % 1000) * 1e-16);
    default:
      return (static_cast<double>(rng() % 100000) + 1) *
             std::pow(10.0, static_cast<int>(rng() % 40) - 20);
  }
}

TEST(FloatPrint, BoundsMatchExactDecimalDigits) {
  uint64_t seed = qrotest::seedOr(20261206);
  std::mt19937_64 rng(seed);
  for (int iter = 0; iter < 100000; ++iter) {
    double v = randomDouble(rng);
    if (v == 0) continue;
    int digits = iter % 2 ? 18 : 5;
    bool lower = (iter / 2) % 2 == 0;
    int mode = lower ? kDown : kUp;
    Reference want = reference(v, digits + 1, lower ? MPFR_RNDD : MPFR_RNDU);
    std::string sci = bound(v, mode, digits, 0);
    Reference got = parseScientific(sci, digits + 1);
    ASSERT_EQ(got.digits, want.digits) << "seed " << seed << " value " << v << " text " << sci;
    ASSERT_EQ(got.exponent, want.exponent) << "seed " << seed << " value " << v;
    ASSERT_EQ(sci[0] == '-', v < 0) << "seed " << seed;
    // The positional text carries the same digits.
    std::string pos = bound(v, mode, digits, 1);
    std::string posDigits;
    for (char c : pos)
      if (c >= '0' && c <= '9') posDigits += c;
    size_t first = posDigits.find_first_not_of('0');
    ASSERT_NE(first, std::string::npos) << "seed " << seed;
    ASSERT_EQ(posDigits.substr(first, want.digits.size()), want.digits)
        << "seed " << seed << " value " << v << " text " << pos;
  }
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}
#endif

}  // namespace
