#include "engine/float/qrcoutward.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "qroplatform.h"

namespace {

const double kShrink = 0.99999999999;
const double kGrow = 1.00000000001;
// Above this magnitude the rounding error of a product or the remainder of a
// quotient is a double itself (its last bit lies above 2^-1074).
const double kExactErrors = 0x1p-960;

void toNearest() {
  qroplatform::setRounding(qroplatform::RoundNearest);
}

uint64_t bitsOf(double x) {
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

double ofBits(uint64_t u) {
  double x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

// The next double below x (x not -infinity, not a NaN).
double below(double x) {
  if (x == 0) return -0x1p-1074;
  uint64_t u = bitsOf(x);
  return ofBits(x > 0 ? u - 1 : u + 1);
}

// The next double above x (x not +infinity, not a NaN).
double above(double x) {
  if (x == 0) return 0x1p-1074;
  uint64_t u = bitsOf(x);
  return ofBits(x > 0 ? u + 1 : u - 1);
}

// r, a result computed in the current direction (any one: it is the exact
// result or one of its two neighbours), moved to the directed one; error is
// the exact result less r, or a number of the same sign.
double corrected(double r, double error, bool up) {
  if (up) return error > 0 ? above(r) : r;
  return error < 0 ? below(r) : r;
}

// The directed result of an operation on finite operands that overflowed.
double overflowed(double r, bool up) {
  if (r > 0) return up ? r : DBL_MAX;
  return up ? -DBL_MAX : r;
}

enum Operation { Add, Sub, Mul, Div };

// The operation under the processor's directed rounding, the direction put
// back afterwards; for results near the bottom of the range, whose rounding
// error is not a double.
__attribute__((noinline, cold)) double inHardware(Operation op, double a, double b, bool up) {
  int previous =
      qroplatform::setRounding(up ? qroplatform::RoundUpward : qroplatform::RoundDownward);
  QRO_FP_BARRIER(a);
  QRO_FP_BARRIER(b);
  double r = op == Add ? a + b : op == Sub ? a - b : op == Mul ? a * b : a / b;
  QRO_FP_BARRIER(r);
  qroplatform::setRounding(previous);
  return r;
}

// a + b rounded in a direction, s the sum in the current one. A sum of finite
// doubles is exact or has an error of at least 2^-1074, whose sign Fast2Sum
// finds in any direction: with |x| >= |y|, s - x is exact.
double sumDirected(double a, double b, double s, bool up) {
  if (!std::isfinite(s)) {
    if (s != s || !std::isfinite(a) || !std::isfinite(b)) return s;
    return overflowed(s, up);
  }
  if (s == 0) {
    // An exact zero: x + x keeps the sign of x, any other is -0 downward.
    if (a == 0 && b == 0 && std::signbit(a) == std::signbit(b)) return a;
    return up ? 0.0 : -0.0;
  }
  double x = a, y = b;
  if (std::fabs(x) < std::fabs(y)) {
    x = b;
    y = a;
  }
  double z = s - x;
  return corrected(s, y - z, up);
}

double productDirected(double a, double b, bool up) {
  double p = a * b;
  double m = std::fabs(p);
  if (m >= kExactErrors && m <= DBL_MAX) return corrected(p, std::fma(a, b, -p), up);
  if (p != p) return p;
  if (m > DBL_MAX) return std::isfinite(a) && std::isfinite(b) ? overflowed(p, up) : p;
  if (a == 0 || b == 0) return p;
  return inHardware(Mul, a, b, up);
}

double quotientDirected(double a, double b, bool up) {
  double q = a / b;
  double m = std::fabs(q);
  if (m >= kExactErrors && m <= DBL_MAX && std::fabs(a) >= kExactErrors) {
    // The exact quotient less q has the sign of (a - q b) / b.
    double r = std::fma(-q, b, a);
    return corrected(q, b > 0 ? r : -r, up);
  }
  if (q != q) return q;
  if (m > DBL_MAX) return std::isfinite(a) && std::isfinite(b) && b != 0 ? overflowed(q, up) : q;
  if (a == 0 || !std::isfinite(b)) return q;
  return inHardware(Div, a, b, up);
}

}  // namespace

double widenDown(double x) {
  toNearest();
  QRO_FP_BARRIER(x);
  if (x == HUGE_VAL) return DBL_MAX;
  double r = x >= 0 ? x * kShrink : x * kGrow;
  QRO_FP_BARRIER(r);
  return r;
}

double widenUp(double x) {
  toNearest();
  QRO_FP_BARRIER(x);
  if (x == -HUGE_VAL) return -DBL_MAX;
  double r = x >= 0 ? x * kGrow : x * kShrink;
  QRO_FP_BARRIER(r);
  return r;
}

double sqrtDown(double x) {
  toNearest();
  QRO_FP_BARRIER(x);
  return widenDown(std::sqrt(x));
}

double sqrtUp(double x) {
  toNearest();
  QRO_FP_BARRIER(x);
  return widenUp(std::sqrt(x));
}

double addDown(double a, double b) {
  return sumDirected(a, b, a + b, false);
}
double addUp(double a, double b) {
  return sumDirected(a, b, a + b, true);
}
// a - b is a + (-b), zeros' signs included; a NaN comes back as the hardware gives it.
double subDown(double a, double b) {
  double s = a - b;
  return s != s ? s : sumDirected(a, -b, s, false);
}
double subUp(double a, double b) {
  double s = a - b;
  return s != s ? s : sumDirected(a, -b, s, true);
}
double mulDown(double a, double b) {
  return productDirected(a, b, false);
}
double mulUp(double a, double b) {
  return productDirected(a, b, true);
}
double divDown(double a, double b) {
  return quotientDirected(a, b, false);
}
double divUp(double a, double b) {
  return quotientDirected(a, b, true);
}
