#include "qrcintervalbounds.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "qrcfloatconstants.h"
#include "qrcoutward.h"
#include "qrcerror.h"
#include "qroplatform.h"

namespace {

double fromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Exponential polynomial on |r| <= ln 2 / 2.
const double kExpP0 = fromBits(0x3F208A008399B72Dull);
const double kExpP1 = fromBits(0x3F9F06E1B1502726ull);
const double kExpQ0 = fromBits(0x3EC92F589857AC41ull);
const double kExpQ1 = fromBits(0x3F64AE563B72044Cull);
const double kExpQ2 = fromBits(0x3FCD170DC1A95F1Eull);
// Logarithm: the two parts of ln 2 and the split point sqrt(1/2). The low part
// 0.693359375 - ln 2 lies strictly between these two neighbouring doubles.
const double kLn2Low = fromBits(0x3F2BD0105C610CA8ull);
const double kLn2LowAbove = fromBits(0x3F2BD0105C610CA9ull);
const double kLn2High = fromBits(0x3FE6300000000000ull);
const double kSqrtHalf = fromBits(0x3FE6A09E667F3BCDull);

const double kWholeLo = -HUGE_VAL;
const double kWholeHi = HUGE_VAL;

void roundNearest() {
  qroplatform::setRounding(qroplatform::RoundNearest);
}

// Products where a factor of exactly 0 gives 0.
double mulLo(double a, double b) {
  return (a == 0 || b == 0) ? 0.0 : mulDown(a, b);
}
double mulHi(double a, double b) {
  return (a == 0 || b == 0) ? 0.0 : mulUp(a, b);
}

// v * 2^n in the current direction; only the last product can round.
double scaleByPowerOfTwo(double v, int n, bool up) {
  int first = n / 2;
  double a = std::ldexp(1.0, first), b = std::ldexp(1.0, n - first);
  return up ? mulUp(mulUp(v, a), b) : mulDown(mulDown(v, a), b);
}

// exp(r) for |r| <= ln 2 / 2, in nearest rounding.
double expPolynomial(double r) {
  roundNearest();
  QRO_FP_BARRIER(r);
  double z = r * r;
  double p = ((kExpP0 * z + kExpP1) * z + 1.0) * r;
  double q = ((kExpQ0 * z + kExpQ1) * z + kExpQ2) * z + 2.0;
  double result = 1.0 + std::ldexp(p / (q - p), 1);
  QRO_FP_BARRIER(result);
  return result;
}

// The integer n with n - 1/2 <= x log2(e) < n + 1/2, decided at both bounds of
// log2(e); x moves outward (down for a lower bound) until they agree.
// Returns false when x leaves the range of the exponential.
bool reduceExponent(double& x, double& n, bool up) {
  for (;;) {
    // A true bracket of x log2(e) for either sign of x.
    double n1 = std::floor(addDown(mulDown(x, x >= 0 ? qrcLog2eDown : qrcLog2eUp), 0.5));
    double n2 = std::floor(addUp(mulUp(x, x >= 0 ? qrcLog2eUp : qrcLog2eDown), 0.5));
    if (n1 == n2) {
      n = n1;
      return true;
    }
    x = up ? addUp(x, 1e-16) : subDown(x, 1e-16);
    if (x < -qrcExpMaxArgument || x > qrcExpMaxArgument) return false;
  }
}

// Bounds of x - n ln 2, with ln 2 = C1 - C2 held as the bounds of its two parts.
QrcFloatInterval reducedArgument(double x, double n) {
  QrcFloatInterval nn{n, n};
  QrcFloatInterval high = intervalProduct(nn, QrcFloatInterval{qrcLn2HighDown, qrcLn2HighUp});
  QrcFloatInterval low = intervalProduct(nn, QrcFloatInterval{qrcLn2LowDown, qrcLn2LowUp});
  QrcFloatInterval r{x, x};
  intervalSubtractInPlace(r, high.lo, high.hi);
  intervalShift(r, low.lo, low.hi);
  return r;
}

double hornerNearest(const double* c, int count, double x, bool monic) {
  double acc = monic ? 1.0 : c[0];
  for (int i = monic ? 0 : 1; i < count; ++i) acc = acc * x + c[i];
  return acc;
}

// Natural logarithm of x = m 2^e less e ln 2, in nearest rounding; e is
// updated to the exponent that goes with the result.
double logCore(double x, int& e) {
  roundNearest();
  QRO_FP_BARRIER(x);
  double m = std::frexp(x, &e);
  double y;
  if (e >= -2 && e <= 2) {
    if (m < kSqrtHalf) {
      e -= 1;
      m = 2 * m;
    }
    m = m - 1.0;
    double z = m * m;
    y = m * z * hornerNearest(qrcLogP, 7, m, false) / hornerNearest(qrcLogQ, 6, m, true) - z / 2 +
        m;
  } else {
    double t, d;
    if (m < kSqrtHalf) {
      e -= 1;
      t = m - 0.5;
      d = t * 0.5 + 0.5;
    } else {
      t = m - 1.0;
      d = m * 0.5 + 0.5;
    }
    double u = t / d;
    double w = u * u;
    y = u * w * hornerNearest(qrcLogR, 3, w, false) / hornerNearest(qrcLogS, 3, w, true) + u;
  }
  QRO_FP_BARRIER(y);
  return y;
}

}  // namespace

void intervalFailure(const char* message) {
  QrcFatalError(QrcIntervalError, message, "Morvane");
}

// The approximations err by slightly more than 2^-52 relative, so the factor
// 1 -+ 2^-52 is applied twice.
double nudgeDown(double y) {
  if (y > 0) return mulDown(mulDown(y, qrcOneDown), qrcOneDown);
  if (y < 0) return mulUp(mulUp(y, qrcOneUp), qrcOneUp);
  return subDown(y, 1e-16);
}

double nudgeUp(double y) {
  if (y > 0) return mulUp(mulUp(y, qrcOneUp), qrcOneUp);
  if (y < 0) return mulDown(mulDown(y, qrcOneDown), qrcOneDown);
  return addUp(y, 1e-16);
}

void intervalShift(QrcFloatInterval& x, double c1, double c2) {
  x.lo = addDown(x.lo, c1);
  x.hi = addUp(x.hi, c2);
}

void intervalSubtractInPlace(QrcFloatInterval& x, double c1, double c2) {
  x.lo = subDown(x.lo, c2);
  x.hi = subUp(x.hi, c1);
}

QrcFloatInterval intervalSum(const QrcFloatInterval& x, const QrcFloatInterval& y) {
  return QrcFloatInterval{addDown(x.lo, y.lo), addUp(x.hi, y.hi)};
}

QrcFloatInterval intervalDifference(const QrcFloatInterval& x, const QrcFloatInterval& y) {
  return QrcFloatInterval{subDown(x.lo, y.hi), subUp(x.hi, y.lo)};
}

namespace {

// Kept out of line so the product's hot path does not set up the report.
[[noreturn]] __attribute__((noinline, cold)) void productFailure(double a, double b, double c,
                                                                 double d, double x, double y) {
  roundNearest();
  char line[64];
  const char* names[6] = {"a:", "b:", "c:", "d:", "x:", "y:"};
  const double values[6] = {a, b, c, d, x, y};
  for (int i = 0; i < 6; ++i) {
    std::snprintf(line, sizeof line, "%s%.16g", names[i], values[i]);
    std::cout << line << std::endl;
  }
  intervalFailure("Execution error: Problem in multiplication");
}

}  // namespace

QrcFloatInterval intervalProduct(const QrcFloatInterval& x, const QrcFloatInterval& y) {
  double a = x.lo, b = x.hi, c = y.lo, d = y.hi;
  QrcFloatInterval r;
  if (a >= 0) {
    if (c >= 0)
      r = {mulLo(a, c), mulHi(b, d)};
    else if (d <= 0)
      r = {mulLo(b, c), mulHi(a, d)};
    else
      r = {mulLo(b, c), mulHi(b, d)};
  } else if (b <= 0) {
    if (c >= 0)
      r = {mulLo(a, d), mulHi(b, c)};
    else if (d <= 0)
      r = {mulLo(b, d), mulHi(a, c)};
    else
      r = {mulLo(a, d), mulHi(a, c)};
  } else {
    if (c >= 0) {
      r = {mulLo(a, d), mulHi(b, d)};
    } else if (d <= 0) {
      r = {mulLo(b, c), mulHi(a, c)};
    } else {
      double l1 = mulLo(a, d), l2 = mulLo(b, c);
      double h1 = mulHi(b, d), h2 = mulHi(a, c);
      r = {l1 < l2 ? l1 : l2, h1 > h2 ? h1 : h2};
    }
  }
  if (r.lo > r.hi) productFailure(a, b, c, d, r.lo, r.hi);
  return r;
}

QrcFloatInterval intervalQuotient(const QrcFloatInterval& x, const QrcFloatInterval& y) {
  double a = x.lo, b = x.hi, c = y.lo, d = y.hi;
  if (c > 0) return QrcFloatInterval{divDown(a, a <= 0 ? c : d), divUp(b, b >= 0 ? c : d)};
  if (d < 0) return intervalQuotient(QrcFloatInterval{-b, -a}, QrcFloatInterval{-d, -c});
  if (a > 0) {
    if (c == 0 && d != 0) return QrcFloatInterval{divDown(a, d), kWholeHi};
    if (d == 0 && c != 0) return QrcFloatInterval{kWholeLo, divUp(a, c)};
    return QrcFloatInterval{kWholeLo, kWholeHi};
  }
  if (b < 0) return intervalQuotient(QrcFloatInterval{-b, -a}, QrcFloatInterval{-d, -c});
  return QrcFloatInterval{kWholeLo, kWholeHi};
}

namespace {

// x^n by repeated products in one direction. Long exponents square and
// multiply instead (every factor is >= 0, so each directed product still
// bounds the exact power), which keeps huge exponents from looping.
double directedPower(double x, int64_t n, bool up) {
  if (n == 0) return 1.0;
  double (*mul)(double, double) = up ? mulUp : mulDown;
  if (n <= 64) {
    double r = x;
    for (int64_t i = 1; i < n && r != 0 && r != HUGE_VAL && x != 1.0; ++i) r = mul(r, x);
    return r;
  }
  double result = 1.0, base = x;
  for (int64_t k = n; k > 0; k >>= 1) {
    if (k & 1) result = mul(result, base);
    if (k > 1) base = mul(base, base);
  }
  return result;
}

}  // namespace

double powDown(double x, int64_t n) {
  return directedPower(x, n, false);
}

double powUp(double x, int64_t n) {
  return directedPower(x, n, true);
}

double expDown(double x) {
  if (std::isnan(x)) return x;
  if (x < -qrcExpMaxArgument) return 0.0;
  if (x > qrcExpMaxArgument) return qrcExpHugeLower;
  double n;
  if (!reduceExponent(x, n, false)) return 0.0;
  double r = reducedArgument(x, n).lo;
  if (r < qrcMinusHalfLn2Up) r = qrcMinusHalfLn2Up;
  double p = expPolynomial(r);
  return scaleByPowerOfTwo(nudgeDown(p), static_cast<int>(n), false);
}

double expUp(double x) {
  if (std::isnan(x)) return x;
  if (x > qrcExpMaxArgument) return HUGE_VAL;
  // Below the range the value at its end bounds every result: the tabled tiny
  // bound 5.56268464626757e-309 lies below exp(-709.7827128933839).
  if (x < -qrcExpMaxArgument) x = -qrcExpMaxArgument;
  double n;
  if (!reduceExponent(x, n, true)) return HUGE_VAL;
  double r = reducedArgument(x, n).hi;
  if (r > qrcHalfLn2Up) r = qrcHalfLn2Up;
  double p = expPolynomial(r);
  return scaleByPowerOfTwo(nudgeUp(p), static_cast<int>(n), true);
}

QrcFloatInterval expBounds(const QrcFloatInterval& x) {
  double a = x.lo, b = x.hi;
  double lo = a > qrcExpMaxArgument ? qrcExpHugeLower : a < -qrcExpMaxArgument ? 0.0 : expDown(a);
  double hi = b > qrcExpMaxArgument ? HUGE_VAL : expUp(b);
  return QrcFloatInterval{lo, hi};
}

double logDown(double x) {
  if (!(x > 0)) return x == 0 ? -HUGE_VAL : std::nan("");
  if (x == HUGE_VAL) return DBL_MAX;
  int e;
  double y = nudgeDown(logCore(x, e));
  if (e == 0) return y;
  double de = static_cast<double>(e);
  // e * (low part), rounded up, from the neighbour that bounds it above.
  double low = mulUp(de, e > 0 ? kLn2LowAbove : kLn2Low);
  return addDown(subDown(y, low), de * kLn2High);
}

double logUp(double x) {
  if (!(x > 0)) return x == 0 ? -HUGE_VAL : std::nan("");
  if (x == HUGE_VAL) return HUGE_VAL;
  int e;
  double y = nudgeUp(logCore(x, e));
  if (e == 0) return y;
  double de = static_cast<double>(e);
  double low = mulDown(de, e > 0 ? kLn2Low : kLn2LowAbove);
  return addUp(subUp(y, low), de * kLn2High);
}

QrcFloatInterval logBounds(const QrcFloatInterval& x) {
  double a = x.lo, b = x.hi;
  return QrcFloatInterval{a <= 0 ? -HUGE_VAL : logDown(a), b < HUGE_VAL ? logUp(b) : b};
}

double powRealDown(double x, double p) {
  if (x == 0) return p < 0 ? DBL_MAX : 0.0;
  if (x == HUGE_VAL) return p < 0 ? 0.0 : DBL_MAX;
  double t = mulDown(p < 0 ? logUp(x) : logDown(x), p);
  return expBounds(QrcFloatInterval{t, t}).lo;
}

double powRealUp(double x, double p) {
  if (x == 0) return p < 0 ? HUGE_VAL : 0.0;
  if (x == HUGE_VAL) return p < 0 ? 0.0 : HUGE_VAL;
  double t = mulUp(p < 0 ? logDown(x) : logUp(x), p);
  return expBounds(QrcFloatInterval{t, t}).hi;
}

double rootDown(double x, double d, double u) {
  if (x == 0) return 0.0;
  if (x == 1) return 1.0;
  if (x == HUGE_VAL) return DBL_MAX;
  double l = logDown(x);
  double t = mulDown(l, l > 0 ? d : u);
  return expBounds(QrcFloatInterval{t, t}).lo;
}

double rootUp(double x, double d, double u) {
  if (x == 0) return 0.0;
  if (x == 1) return 1.0;
  if (x == HUGE_VAL) return HUGE_VAL;
  double l = logUp(x);
  double t = mulUp(l, l > 0 ? u : d);
  return expBounds(QrcFloatInterval{t, t}).hi;
}

QrcFloatInterval powRealBounds(const QrcFloatInterval& x, double p) {
  if (p < 0) return QrcFloatInterval{powRealDown(x.hi, p), powRealUp(x.lo, p)};
  return QrcFloatInterval{powRealDown(x.lo, p), powRealUp(x.hi, p)};
}

QrcFloatInterval rootBounds(const QrcFloatInterval& x, double d, double u) {
  return QrcFloatInterval{rootDown(x.lo, d, u), rootUp(x.hi, d, u)};
}
