// Outward-rounding primitives of the interval computations.
//
// widenDown/widenUp move a value outward by the relative margin 1e-11 (for
// results of library functions that are not correctly rounded); they set the
// rounding direction to nearest first. The directed operations give the IEEE
// result rounded down or up (zeros' signs included) whatever the processor's
// rounding direction, and leave that direction as it was: the result in the
// current direction is corrected by the sign of its exact error, and only
// results near the bottom of the range switch the processor's direction.
#ifndef QRC_OUTWARD_H
#define QRC_OUTWARD_H

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

// +infinity gives DBL_MAX; x >= 0 gives x * 0.99999999999, x < 0 x * 1.00000000001.
double widenDown(double x);
// -infinity gives -DBL_MAX; x >= 0 gives x * 1.00000000001, x < 0 x * 0.99999999999.
double widenUp(double x);
double sqrtDown(double x);  // widenDown(sqrt(x))
double sqrtUp(double x);    // widenUp(sqrt(x))

inline double addDown(double a, double b);
inline double addUp(double a, double b);
inline double subDown(double a, double b);
inline double subUp(double a, double b);
inline double mulDown(double a, double b);
inline double mulUp(double a, double b);
inline double divDown(double a, double b);
inline double divUp(double a, double b);

namespace qrcoutward {

// Above this magnitude the rounding error of a product and the remainder of a
// quotient are doubles themselves (their last bit lies above 2^-1074).
constexpr double ExactErrors = 0x1p-960;

// The cases off the fast paths: infinities, NaNs, zeros, overflow and results
// near the bottom of the range (s, p, q: the result in the current direction).
double sumEdge(double a, double b, double s, bool up);
double productEdge(double a, double b, double p, bool up);
double quotientEdge(double a, double b, double q, bool up);

// The next double below / above a finite x.
inline double below(double x) {
  if (x == 0) return -0x1p-1074;
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  u = x > 0 ? u - 1 : u + 1;
  std::memcpy(&x, &u, sizeof x);
  return x;
}
inline double above(double x) {
  if (x == 0) return 0x1p-1074;
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  u = x > 0 ? u + 1 : u - 1;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

// r, a result in the current direction (the exact result or one of its two
// neighbours), moved to the directed one; error has the sign of the exact
// result less r.
inline double corrected(double r, double error, bool up) {
  if (up) return error > 0 ? above(r) : r;
  return error < 0 ? below(r) : r;
}

// A sum of finite doubles is exact or has an error of at least 2^-1074, whose
// sign Fast2Sum finds in any direction: with |x| >= |y|, s - x is exact.
inline double sum(double a, double b, double s, bool up) {
  if (__builtin_expect(!std::isfinite(s) || s == 0, 0)) return sumEdge(a, b, s, up);
  double x = a, y = b;
  if (std::fabs(x) < std::fabs(y)) {
    x = b;
    y = a;
  }
  return corrected(s, y - (s - x), up);
}

inline double product(double a, double b, bool up) {
  double p = a * b;
  double m = std::fabs(p);
  if (__builtin_expect(m >= ExactErrors && m <= DBL_MAX, 1))
    return corrected(p, std::fma(a, b, -p), up);
  return productEdge(a, b, p, up);
}

// The exact quotient less q has the sign of (a - q b) / b.
inline double quotient(double a, double b, bool up) {
  double q = a / b;
  double m = std::fabs(q);
  if (__builtin_expect(m >= ExactErrors && m <= DBL_MAX && std::fabs(a) >= ExactErrors, 1)) {
    double r = std::fma(-q, b, a);
    return corrected(q, b > 0 ? r : -r, up);
  }
  return quotientEdge(a, b, q, up);
}

}  // namespace qrcoutward

inline double addDown(double a, double b) {
  return qrcoutward::sum(a, b, a + b, false);
}
inline double addUp(double a, double b) {
  return qrcoutward::sum(a, b, a + b, true);
}
// a - b is a + (-b), zeros' signs included; a NaN comes back as the processor gives it.
inline double subDown(double a, double b) {
  double s = a - b;
  return s != s ? s : qrcoutward::sum(a, -b, s, false);
}
inline double subUp(double a, double b) {
  double s = a - b;
  return s != s ? s : qrcoutward::sum(a, -b, s, true);
}
inline double mulDown(double a, double b) {
  return qrcoutward::product(a, b, false);
}
inline double mulUp(double a, double b) {
  return qrcoutward::product(a, b, true);
}
inline double divDown(double a, double b) {
  return qrcoutward::quotient(a, b, false);
}
inline double divUp(double a, double b) {
  return qrcoutward::quotient(a, b, true);
}

#endif
