#include "qronumeric.h"

#include "qroexception.h"
#include "qroexpr.h"

#include <cmath>
#include <cstdint>
#include <limits>

double QroInfinity = std::numeric_limits<double>::infinity();

// Written only when it differs, so that environments made in several threads
// only read it.
void QroInitInfinity() {
  const double inf = std::numeric_limits<double>::infinity();
  if (QroInfinity != inf) QroInfinity = inf;
}

QroInt QroCeilDiv(QroInt a, QroInt b) {
  if (b == INT64_MIN) return a < 0 ? 1 : 0;
  QroUInt ua = static_cast<QroUInt>(a);
  if (b < 0) {
    // Moving the sign in unsigned arithmetic keeps the extremes defined.
    ua = QroUInt(0) - ua;
    b = static_cast<QroInt>(QroUInt(0) - static_cast<QroUInt>(b));
  }
  QroInt sa = static_cast<QroInt>(ua);
  if (sa >= 1) return (sa - 1) / b + 1;
  return sa / b;
}

QroInt QroClampToInt53(double v) {
  const double limit = static_cast<double>(QroIntMax);
  if (std::isnan(v)) return 0;
  if (v > limit) v = limit;
  if (v < -limit) v = -limit;
  return static_cast<QroInt>(v);
}

QroInt QroBoundToInt53(double v) {
  if (std::isnan(v)) throw QroWrongUsage("an integer bound is not a number");
  return QroClampToInt53(v);
}

namespace {
const char* const BoundOverflow = "overflow occurred in the bounds of an integer variable";
}

QroInt QroLowerBoundToInt53(double v) {
  double l = std::ceil(v);
  if (l > static_cast<double>(QroIntMax)) throw QroIntExpr::QroOverflowOccurred(BoundOverflow);
  return QroBoundToInt53(l);
}

QroInt QroUpperBoundToInt53(double v) {
  double u = std::floor(v);
  if (u < static_cast<double>(QroIntMin)) throw QroIntExpr::QroOverflowOccurred(BoundOverflow);
  return QroBoundToInt53(u);
}

double QroRoundHalfAway(double v) {
  if (v == 0 || std::isinf(v) || std::isnan(v)) return v;
  return std::round(v);
}
