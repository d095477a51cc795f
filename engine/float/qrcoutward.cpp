#include "engine/float/qrcoutward.h"

#include <cfloat>
#include <cmath>

#include "qroplatform.h"

namespace {

const double kShrink = 0.99999999999;
const double kGrow = 1.00000000001;

void toNearest() {
  if (qroplatform::getRounding() != qroplatform::RoundNearest)
    qroplatform::setRounding(qroplatform::RoundNearest);
}

// One operation under a directed mode: the operands are pinned after the
// switch and the result before return, so nothing moves across the switch.
template <typename Op>
double directed(int mode, double a, double b, Op op) {
  qroplatform::setRounding(mode);
  QRO_FP_BARRIER(a);
  QRO_FP_BARRIER(b);
  double r = op(a, b);
  QRO_FP_BARRIER(r);
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

double addDown(double a, double b) {
  return directed(qroplatform::RoundDownward, a, b, [](double x, double y) { return x + y; });
}
double addUp(double a, double b) {
  return directed(qroplatform::RoundUpward, a, b, [](double x, double y) { return x + y; });
}
double subDown(double a, double b) {
  return directed(qroplatform::RoundDownward, a, b, [](double x, double y) { return x - y; });
}
double subUp(double a, double b) {
  return directed(qroplatform::RoundUpward, a, b, [](double x, double y) { return x - y; });
}
double mulDown(double a, double b) {
  return directed(qroplatform::RoundDownward, a, b, [](double x, double y) { return x * y; });
}
double mulUp(double a, double b) {
  return directed(qroplatform::RoundUpward, a, b, [](double x, double y) { return x * y; });
}
double divDown(double a, double b) {
  return directed(qroplatform::RoundDownward, a, b, [](double x, double y) { return x / y; });
}
double divUp(double a, double b) {
  return directed(qroplatform::RoundUpward, a, b, [](double x, double y) { return x / y; });
}
