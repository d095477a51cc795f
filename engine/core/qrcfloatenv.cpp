#include "qrcfloatenv.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "qroplatform.h"

double cpuTime() {
  return qroplatform::processCpuSeconds();
}

double clockTime() {
  return static_cast<double>(std::clock()) / 1000.0;
}

int resetFloatingPoint() {
  qroplatform::resetFloatingPoint();
  return 0;
}

int setRoundingUp() {
  return qroplatform::setRounding(qroplatform::RoundUpward);
}
int setRoundingDown() {
  return qroplatform::setRounding(qroplatform::RoundDownward);
}
int setRoundingNearest() {
  return qroplatform::setRounding(qroplatform::RoundNearest);
}
int getRoundingMode() {
  return qroplatform::getRounding();
}

namespace {

uint64_t imageOf(double x) {
  uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

double fromImage(uint64_t u) {
  double x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

struct PrecisionGrid {
  uint64_t mask;
  uint64_t unit;
  double largest;
};

PrecisionGrid gridFor(QrcInt p) {
  if (p < 1) p = 1;
  if (p > 52) p = 52;
  int k = static_cast<int>(52 - p);
  PrecisionGrid g;
  g.unit = uint64_t(1) << k;
  g.mask = ~(g.unit - 1);
  g.largest = fromImage(g.mask & 0x7fefffffffffffffULL);
  return g;
}

// Order-preserving unsigned image of a double.
uint64_t orderImage(double x) {
  uint64_t u = imageOf(x);
  if (u & 0x8000000000000000ULL) return ~u + 1;
  return u | 0x8000000000000000ULL;
}

}  // namespace

QrcFloat roundUpToPrecision(QrcFloat x, QrcInt p) {
  PrecisionGrid g = gridFor(p);
  double y = fromImage(imageOf(x) & g.mask);
  if (y == x || x < 0) return y;
  if (x >= g.largest) return HUGE_VAL;
  return fromImage(imageOf(y) + g.unit);
}

QrcFloat roundDownToPrecision(QrcFloat x, QrcInt p) {
  PrecisionGrid g = gridFor(p);
  double y = fromImage(imageOf(x) & g.mask);
  if (y == x || x > 0) return y;
  if (x <= -g.largest) return -HUGE_VAL;
  return fromImage(imageOf(y) + g.unit);
}

QrcFloat nextUpAtPrecision(QrcFloat x, QrcInt p) {
  PrecisionGrid g = gridFor(p);
  if (x == 0) return fromImage(g.unit);
  if (x > 0) {
    if (x >= g.largest) return HUGE_VAL;
    return fromImage(imageOf(x) + g.unit);
  }
  if (x < -g.largest) return -g.largest;
  return fromImage(imageOf(x) - g.unit);
}

QrcFloat nextDownAtPrecision(QrcFloat x, QrcInt p) {
  PrecisionGrid g = gridFor(p);
  if (x == 0) return -fromImage(g.unit);
  if (x > 0) {
    if (x > g.largest) return g.largest;
    return fromImage(imageOf(x) - g.unit);
  }
  if (x > -g.largest) return fromImage(imageOf(x) + g.unit);
  return -HUGE_VAL;
}

bool isAtLeastWithinPrecision(QrcFloat a, QrcFloat b, QrcInt p) {
  PrecisionGrid g = gridFor(p);
  return orderImage(b) - g.unit <= orderImage(a);
}

void QrcInitFloatEnvironment() {
  resetFloatingPoint();
  QrcInitRoundedConstants();
}
