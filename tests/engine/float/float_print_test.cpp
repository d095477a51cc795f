// Exact interval printing: the fixed formats, and a randomised check of every
// printed bound against the exact decimal value of the double. The printer and
// the extended-precision numbers it uses are private to the float layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cstdio>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

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
  // A carry into the prefix: the near tail is its distance from the prefix,
  // borrowing across the point of an integer-valued bound.
  EXPECT_EQ(range(95951, 96002.81354, 1),
            "[96000" + std::string(13, ' ') + " + [-49..+2.81354000000284]]");
  EXPECT_EQ(range(-106316, -98451, 1), "[-100000" + std::string(12, ' ') + " + [-6316..+1549]]");
  EXPECT_EQ(range(19, 20.5, 1), "[20" + std::string(16, ' ') + " + [-1..+0.5]]");
  // A bound value prints as one number only when its digits are exact.
  EXPECT_EQ(range(0.1, 0.1, 1), "[0.100000000000000005 + [0.5e-18..0.6e-18]]");
  EXPECT_EQ(range(-0.1, -0.1, 1), "[-0.100000000000000005 + [-0.6e-18..-0.5e-18]]");
  EXPECT_EQ(range(0.1, 0.1, 0), "[1.00000e-1..1.00001e-1]");
  EXPECT_EQ(range(-0.0, 0.0, 1), "[0]");
  // Scientific texts with an exponent fall back to the plain bounds.
  EXPECT_EQ(range(12.0, 13.0, 0), "[1.20000e+1..1.30000e+1]");
  EXPECT_EQ(range(1.0, HUGE_VAL, 1), "[1.00000..+Infinity)");
}

// Intervals with a bound at 0, or 0 alone, through both printers.
TEST(FloatPrint, BoundsAtZero) {
  const std::string pad15(15, ' ');
  struct Row {
    double lo, hi;
    int positional, precision;
    std::string interval, range;
  } rows[] = {
      {0, 3, 1, 6, "[0.00000..3.00000]",
       "[0.0" + pad15 + " + [0.0..3." + std::string(18, '0') + "]]"},
      {0, 3, 1, 3, "[0.00..3.00]", "[0.0" + pad15 + " + [0.0..3." + std::string(18, '0') + "]]"},
      {-2, 0, 1, 6, "[-2.00000..0.00000]",
       "[0.0" + pad15 + " + [-2." + std::string(18, '0') + "..0.0]]"},
      {-2, 0, 0, 6, "[-2.000000..0.000000]",
       "[0.0" + pad15 + " + [-2.0" + std::string(18, '0') + "..0.0]]"},
      {0, 0, 1, 6, "[0.00000..0.00000]", "[0]"},
      {-0.0, 0, 0, 6, "[0.000000..0.000000]", "[0.0" + std::string(18, '0') + "]"},
      {0, 0.03125, 1, 6, "[0.00000..0.0312500]", "[0.0" + pad15 + " + [0.0..0.3125e-1]]"},
      {-0.03125, -0.0, 1, 6, "[-0.0312500..0.00000]", "[0.0" + pad15 + " + [-0.3125e-1..0.0]]"},
      {0, 0.03125, 0, 6, "[0.000000..3.12500e-2]",
       "[0.0" + pad15 + " + [0.0..3.125" + std::string(15, '0') + "e-2]]"},
      {-HUGE_VAL, -0.0, 1, 6, "(-Infinity..0.00000]", "(-Infinity..0.00000]"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "[" << r.lo << ", " << r.hi << "] positional "
                                    << r.positional << " precision " << r.precision);
    EXPECT_EQ(interval(r.lo, r.hi, r.positional, r.precision), r.interval);
    EXPECT_EQ(range(r.lo, r.hi, r.positional, r.precision), r.range);
  }
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
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

// ---- containment of whole prints, read back exactly

// A decimal read from printed text: (-1)^negative x digits x 10^-scale.
struct Decimal {
  bool negative;
  std::string digits;
  long scale;
};

// [+-] digits [. digits] [e|E [+-] digits], the whole text.
bool parseDecimal(const std::string& t, Decimal* d) {
  size_t i = 0;
  d->negative = false;
  d->digits.clear();
  d->scale = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d->negative = t[i++] == '-';
  bool point = false;
  for (; i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.'); ++i) {
    if (t[i] == '.') {
      if (point) return false;
      point = true;
    } else {
      d->digits += t[i];
      if (point) ++d->scale;
    }
  }
  if (d->digits.empty()) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    size_t used = 0;
    try {
      d->scale -= std::stol(t.substr(i + 1), &used);
    } catch (...) {
      return false;
    }
    i += 1 + used;
  }
  return i == t.size();
}

// Sign of (sum of the terms) - v, exactly: both sides scaled by 10^K to integers.
int compareSum(const std::vector<Decimal>& terms, double v) {
  long k = 0;
  size_t longest = 1;
  for (const Decimal& d : terms) k = std::max(k, d.scale);
  for (const Decimal& d : terms) longest = std::max(longest, d.digits.size() + (k - d.scale));
  mpfr_prec_t prec = static_cast<mpfr_prec_t>(4 * longest + 3 * k + 128);
  mpfr_t sum, term, value, power;
  mpfr_inits2(prec, sum, term, value, power, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_zero(sum, 1);
  for (const Decimal& d : terms) {
    std::string integer = d.digits + std::string(static_cast<size_t>(k - d.scale), '0');
    mpfr_set_str(term, integer.c_str(), 10, MPFR_RNDN);  // exact at this precision
    if (d.negative) mpfr_neg(term, term, MPFR_RNDN);
    mpfr_add(sum, sum, term, MPFR_RNDN);
  }
  mpfr_set_d(value, v, MPFR_RNDN);
  mpfr_ui_pow_ui(power, 10, static_cast<unsigned long>(k), MPFR_RNDN);
  mpfr_mul(value, value, power, MPFR_RNDN);
  int c = mpfr_cmp(sum, value);
  mpfr_clears(sum, term, value, power, static_cast<mpfr_ptr>(nullptr));
  return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

// A printed bound: infinite, or the sum of decimal terms (prefix and tail).
struct PrintedBound {
  int infinite;  // -1, +1, or 0 for a finite sum
  std::vector<Decimal> terms;
};

// First ".." that is not followed by another "." (a text may end with a point).
size_t separator(const std::string& s, size_t from) {
  for (size_t i = from; i + 2 < s.size(); ++i)
    if (s[i] == '.' && s[i + 1] == '.' && s[i + 2] != '.') return i;
  return std::string::npos;
}

bool parseBound(const std::string& t, PrintedBound* b) {
  b->terms.clear();
  b->infinite = t == "-Infinity" ? -1 : (t == "+Infinity" ? 1 : 0);
  if (b->infinite) return true;
  Decimal d;
  if (!parseDecimal(t, &d)) return false;
  b->terms.push_back(d);
  return true;
}

// Reads back any print of the two printers: "[v]", "[lo..hi]" with infinite bounds
// by name, and "[sign prefix + [loTail..hiTail]]". `form` is 0, 1, 2 respectively.
bool parsePrint(const std::string& s, PrintedBound* lo, PrintedBound* hi, int* form) {
  if (s.size() < 3) return false;
  size_t plus = s.find(" + [");
  if (plus != std::string::npos) {
    *form = 2;
    std::string head = s.substr(1, plus - 1);
    while (!head.empty() && head.back() == ' ') head.pop_back();
    Decimal prefix;
    if (s[0] != '[' || !parseDecimal(head, &prefix)) return false;
    size_t sep = separator(s, plus + 4);
    if (sep == std::string::npos || s.compare(s.size() - 2, 2, "]]") != 0) return false;
    if (!parseBound(s.substr(plus + 4, sep - plus - 4), lo)) return false;
    if (!parseBound(s.substr(sep + 2, s.size() - 2 - sep - 2), hi)) return false;
    if (lo->infinite || hi->infinite) return false;
    lo->terms.push_back(prefix);
    hi->terms.push_back(prefix);
    return true;
  }
  size_t sep = separator(s, 1);
  if (sep == std::string::npos) {
    *form = 0;
    if (s[0] != '[' || s.back() != ']') return false;
    if (!parseBound(s.substr(1, s.size() - 2), lo)) return false;
    *hi = *lo;
    return true;
  }
  *form = 1;
  std::string first = s.substr(1, sep - 1), second = s.substr(sep + 2, s.size() - sep - 3);
  if (s[0] == '(' ? first != "-Infinity" && first != "+Infinity" : s[0] != '[') return false;
  if (s.back() == ')' ? second != "-Infinity" && second != "+Infinity" : s.back() != ']')
    return false;
  return parseBound(first, lo) && parseBound(second, hi);
}

// The n-digit decimal of v rounded in a direction, as terms.
std::vector<Decimal> rounded(double v, int n, mpfr_rnd_t rnd) {
  if (v == 0) return {Decimal{false, "0", 0}};
  Reference r = reference(v, n, rnd);
  return {Decimal{v < 0, r.digits, static_cast<long>(r.digits.size()) - 1 - r.exponent}};
}

// Sign of (printed - v); an infinite printed bound compares by its sign.
int compareBound(const PrintedBound& b, double v) {
  if (b.infinite) return std::isinf(v) && (v > 0) == (b.infinite > 0) ? 0 : b.infinite;
  if (std::isinf(v)) return v > 0 ? -1 : 1;
  return compareSum(b.terms, v);
}

// Whether the printed bound equals the decimal `want` exactly.
bool equalsDecimal(const PrintedBound& b, std::vector<Decimal> want) {
  if (b.infinite) return false;
  for (Decimal& d : want) d.negative = !d.negative;
  want.insert(want.end(), b.terms.begin(), b.terms.end());
  return compareSum(want, 0.0) == 0;
}

// Intervals that stress the printers: random, equal, adjacent, zeros, huge and
// subnormal, infinite, integer-valued bounds and bounds on both sides of a round
// number (a carry into the common prefix), each also mirrored.
void randomInterval(std::mt19937_64& rng, double* lo, double* hi) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
  auto power10 = [&](int lowest, int count) { return std::pow(10.0, lowest + pick(count)); };
  double a = 0, b = 0;
  switch (pick(10)) {
    case 0:
      a = randomDouble(rng);
      b = randomDouble(rng);
      break;
    case 1:
      a = b = randomDouble(rng);
      break;
    case 2:
      a = randomDouble(rng);
      b = std::nextafter(a, HUGE_VAL);
      break;
    case 3: {  // integer-valued bounds
      a = std::floor(static_cast<double>(rng() % 1000000007) * power10(-6, 23));
      double width = pick(2) ? std::floor(static_cast<double>(pick(100000)) * power10(-3, 10))
                             : static_cast<double>(pick(1000000)) * power10(-12, 12);
      b = pick(4) == 0 ? a : a + width;
      break;
    }
    case 4: {  // both sides of a round number r: a carry into the prefix
      double unit = power10(-12, 30);
      double r = static_cast<double>(1 + pick(99)) * unit;
      double below = pick(3) == 0 ? static_cast<double>(1 + pick(999))
                                  : static_cast<double>(pick(100000)) * unit * 1e-5;
      double above = pick(3) == 0 ? static_cast<double>(pick(999))
                                  : static_cast<double>(pick(100000)) * unit * 1e-5;
      a = pick(2) ? std::floor(r - below) : r - below;
      b = pick(2) ? std::ceil(r + above) : r + above;
      break;
    }
    case 5: {  // zeros of both signs, alone or with a bound of either sign
      const double zeros[] = {0.0, -0.0};
      a = zeros[pick(2)];
      b = pick(2) ? zeros[pick(2)] : randomDouble(rng);
      break;
    }
    case 6: {  // huge values
      a = DBL_MAX * (1.0 - static_cast<double>(pick(1000)) * 1e-12);
      b = pick(2) ? DBL_MAX : -a;
      break;
    }
    case 7: {  // subnormal and tiny values
      uint64_t bits = rng() & 0x001FFFFFFFFFFFFFull;
      std::memcpy(&a, &bits, sizeof a);
      b = pick(2) ? std::nextafter(a, HUGE_VAL)
                  : std::ldexp(static_cast<double>(pick(1 << 20)), -1074);
      break;
    }
    case 8: {  // infinite bounds
      a = pick(3) ? -HUGE_VAL : randomDouble(rng);
      b = pick(3) ? HUGE_VAL : randomDouble(rng);
      if (pick(8) == 0) a = b = pick(2) ? HUGE_VAL : -HUGE_VAL;
      break;
    }
    default:  // short decimals and halves
      a = static_cast<double>(pick(2000000)) / 2.0 * power10(-8, 16);
      b = a + static_cast<double>(pick(2000)) * power10(-10, 16);
      break;
  }
  if (pick(2)) {
    a = -a;
    b = -b;
  }
  *lo = std::min(a, b);
  *hi = std::max(a, b);
  if (*lo == *hi && std::signbit(*lo) != std::signbit(*hi)) *lo = -0.0;
}

// Prints of every display mode (1, 2: plain bounds; 3, 4: range) read back
// exactly: the lower bound is never above lo, the upper never below hi, and each
// printed bound is the outward rounded decimal of its digit count.
// 30,000 prints per mode at a seed, 120,000 with QRO_TEST_FULL=1 (a sweep of
// seeds reaches more), one test per mode so that each stays well within the
// test timeout under the sanitizers.
void checkPrintsContainIntervals(int mode) {
  uint64_t seed = qrotest::seedOr(20270305);
  std::printf("FloatPrint.EveryPrintContainsItsInterval mode %d seed %llu\n", mode,
              static_cast<unsigned long long>(seed));
  const int count = qrotest::draws(30000, 120000);
  const double fixed[][2] = {{95951, 96002.81354}, {-106316, -98451}, {0.1, 0.1},
                             {19, 20.5},           {-20.5, -19},      {995, 1005}};
  {
    int positional = mode % 2 == 0 ? 1 : 0;
    std::mt19937_64 rng(seed + static_cast<uint64_t>(mode));
    for (int iter = 0; iter < count; ++iter) {
      double lo, hi;
      int precision = static_cast<int>(rng() % 31);
      if (iter < static_cast<int>(sizeof fixed / sizeof fixed[0])) {
        lo = fixed[iter][0];
        hi = fixed[iter][1];
      } else {
        randomInterval(rng, &lo, &hi);
      }
      std::string text = mode <= 2 ? interval(lo, hi, positional, precision)
                                   : range(lo, hi, positional, precision);
      PrintedBound plo, phi;
      int form = 0;
      const char* fault = nullptr;
      if (!parsePrint(text, &plo, &phi, &form)) {
        fault = "unreadable print";
      } else if (compareBound(plo, lo) > 0) {
        fault = "lower bound above the interval";
      } else if (compareBound(phi, hi) < 0) {
        fault = "upper bound below the interval";
      } else if (form == 0) {
        if (lo != hi || (!plo.infinite && compareBound(plo, lo) != 0))
          fault = "inexact single number";
      } else {
        // Each bound is the outward decimal of p digits (plain bounds) or 19.
        int digits = form == 1 ? 1 + std::min(std::max(precision - 1, 0), 18) : 19;
        if ((!plo.infinite && !equalsDecimal(plo, rounded(lo, digits, MPFR_RNDD))) ||
            (!phi.infinite && !equalsDecimal(phi, rounded(hi, digits, MPFR_RNDU))))
          fault = "a bound that is not its outward decimal";
      }
      ASSERT_EQ(fault, nullptr) << fault << ": seed " << seed << " mode " << mode << " print "
                                << iter << " precision " << precision << " [" << std::hexfloat << lo
                                << ", " << hi << "] printed " << text;
    }
  }
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST(FloatPrint, EveryPrintContainsItsIntervalMode1) {
  checkPrintsContainIntervals(1);
}
TEST(FloatPrint, EveryPrintContainsItsIntervalMode2) {
  checkPrintsContainIntervals(2);
}
TEST(FloatPrint, EveryPrintContainsItsIntervalMode3) {
  checkPrintsContainIntervals(3);
}
TEST(FloatPrint, EveryPrintContainsItsIntervalMode4) {
  checkPrintsContainIntervals(4);
}
#endif

}  // namespace
