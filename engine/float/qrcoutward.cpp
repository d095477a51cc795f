#include "qrcoutward.h"

#include <cfloat>
#include <cmath>

#include "qroplatform.h"

namespace {

const double kShrink = 0.99999999999;
const double kGrow = 1.00000000001;

void toNearest() {
  qroplatform::setRounding(qroplatform::RoundNearest);
}

// The directed result of an operation on finite operands that overflowed.
double overflowed(double r, bool up) {
  if (r > 0) return up ? r : DBL_MAX;
  return up ? -DBL_MAX : r;
}

enum Operation { Mul, Div };

// The operation under the processor's directed rounding, the direction put
// back afterwards; for results near the bottom of the range, whose rounding
// error is not a double.
double inHardware(Operation op, double a, double b, bool up) {
  int previous =
      qroplatform::setRounding(up ? qroplatform::RoundUpward : qroplatform::RoundDownward);
  QRO_FP_BARRIER(a);
  QRO_FP_BARRIER(b);
  double r = op == Mul ? a * b : a / b;
  QRO_FP_BARRIER(r);
  qroplatform::setRounding(previous);
  return r;
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

namespace qrcoutward {

double sumEdge(double a, double b, double s, bool up) {
  if (s == 0) {
    // An exact zero: x + x keeps the sign of x, any other is -0 downward.
    if (a == 0 && b == 0 && std::signbit(a) == std::signbit(b)) return a;
    return up ? 0.0 : -0.0;
  }
  if (s != s || !std::isfinite(a) || !std::isfinite(b)) return s;
  return overflowed(s, up);
}

double productEdge(double a, double b, double p, bool up) {
  if (p != p) return p;
  if (std::fabs(p) > DBL_MAX) return std::isfinite(a) && std::isfinite(b) ? overflowed(p, up) : p;
  if (a == 0 || b == 0) return p;
  return inHardware(Mul, a, b, up);
}

double quotientEdge(double a, double b, double q, bool up) {
  if (q != q) return q;
  if (std::fabs(q) > DBL_MAX)
    return std::isfinite(a) && std::isfinite(b) && b != 0 ? overflowed(q, up) : q;
  if (a == 0 || !std::isfinite(b)) return q;
  return inHardware(Div, a, b, up);
}

}  // namespace qrcoutward
