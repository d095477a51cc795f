// Trigonometric float expressions. Bounds come from the interval functions
// of qrcintrigo.h, and from the C library's asin, acos and atan widened by the
// relative margin. Narrowing sin, cos and tan moves an operand bound that
// cannot be a solution to the nearest arc of solutions along the period grid.
#include "qrcfloattrig.h"

#include <cmath>
#include <ostream>

#include "qrcfloatconstants.h"
#include "qrcfloatshare.h"
#include "qrcintrigo.h"
#include "qrcoutward.h"
#include "qrcfloatenv.h"
#include "qrcmanager.h"

namespace {

const double Inf = HUGE_VAL;
const double kPi = 3.141592653589793;
const double kTwoPi = 6.283185307179586;

// widenDown and widenUp, one double further where the margin cannot move a
// tiny value.
double outwardDown(double v) {
  double w = widenDown(v);
  return (w == v && v != 0 && std::isfinite(v)) ? std::nextafter(v, -Inf) : w;
}

double outwardUp(double v) {
  double w = widenUp(v);
  return (w == v && v != 0 && std::isfinite(v)) ? std::nextafter(v, Inf) : w;
}

// The grid t + step k: the first point g with widenUp(g) >= x, so that no
// point whose exact value may reach x is skipped. Where the grid cannot be
// resolved (huge x), x itself.
double gridAbove(double x, double t, double step) {
  double k = std::trunc((x - t) / step);
  double g = t + step * k;
  for (int i = 0; i < 4 && widenUp(g) < x; ++i) g = t + step * ++k;
  for (int i = 0; i < 4; ++i) {
    double below = t + step * (k - 1);
    if (widenUp(below) < x) break;
    g = below;
    k -= 1;
  }
  return std::isfinite(g) ? g : x;
}

// The last grid point g with widenDown(g) <= x.
double gridBelow(double x, double t, double step) {
  double k = std::trunc((x - t) / step);
  double g = t + step * k;
  for (int i = 0; i < 4 && widenDown(g) > x; ++i) g = t + step * --k;
  for (int i = 0; i < 4; ++i) {
    double above = t + step * (k + 1);
    if (widenDown(above) > x) break;
    g = above;
    k += 1;
  }
  return std::isfinite(g) ? g : x;
}

QrcFloatInterval pointValue(QrcFloatInterval (*f)(QrcFloatInterval), double v) {
  if (!std::isfinite(v)) return f(QrcFloatInterval{-Inf, Inf});
  return f(QrcFloatInterval{v, v});
}

// Narrows x so that sin x (cos x) may lie in [lo, hi]. The solutions of
// f >= lo form arcs starting on one grid and ending on another, those of
// f <= hi the other way round; a bound of x whose value is outside moves to
// the nearest arc end inward. Every grid is based at its point in
// [-pi, 3 pi/2], so the cosine's arc end next to 0 is -t itself: (2 pi - t) -
// 2 pi would lose the low bits of a tiny t, an absolute error that the
// relative margin does not cover.
void narrowPeriodic(QrcFloatExpI* x, double lo, double hi, bool cosine) {
  if (lo <= -1 && hi >= 1) return;
  double a = x->getMin(), b = x->getMax();
  QrcFloatInterval (*f)(QrcFloatInterval) = cosine ? intervalCosine : intervalSine;
  QrcFloatInterval fa = pointValue(f, a), fb = pointValue(f, b);
  setRoundingNearest();
  double l = -Inf, u = Inf;
  if (lo > -1) {
    // sin >= lo on [t, pi - t], cos >= lo on [-t, t], modulo 2 pi.
    double t = cosine ? std::acos(lo) : std::asin(lo);
    double other = cosine ? -t : kPi - t;
    if (fa.hi < lo) l = outwardDown(gridAbove(a, cosine ? other : t, kTwoPi));
    if (fb.hi < lo) u = outwardUp(gridBelow(b, cosine ? t : other, kTwoPi));
  }
  if (hi < 1) {
    // sin <= hi on [pi - t, 2 pi + t], cos <= hi on [t, 2 pi - t].
    double t = cosine ? std::acos(hi) : std::asin(hi);
    double other = cosine ? -t : kPi - t;
    if (hi < fb.lo) {
      double v = outwardUp(gridBelow(b, cosine ? other : t, kTwoPi));
      if (v < u) u = v;
    }
    if (hi < fa.lo) {
      double v = outwardDown(gridAbove(a, cosine ? t : other, kTwoPi));
      if (v > l) l = v;
    }
  }
  x->setRange(l, u);
}

// The node's bounds: f over its operand.
void storeImage(QrcFloatUnaryExpI* node, QrcFloatInterval (*f)(QrcFloatInterval)) {
  QrcFloatExpI* x = node->getX();
  QrcFloatInterval r = f(QrcFloatInterval{x->getMin(), x->getMax()});
  setRoundingNearest();
  node->storeRange(r.lo, r.hi);
}

template <class Node>
QrcFloatExp makeTrigNode(const QrcFloatExp& x, const char* place) {
  if (!x.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return shareUnaryNode<Node>(0.0, x.getImpl());
}

}  // namespace

// Display, copy and maker of a node class; the maker is named as displayed.
#define QRCTRIGNODEBASICS(Class, Maker)             \
  void Class::display(std::ostream& os) const {     \
    if (getName()) {                                \
      QrcFloatExpI::display(os);                    \
      return;                                       \
    }                                               \
    os << #Maker "(";                               \
    _x->display(os);                                \
    os << ")";                                      \
  }                                                 \
  QrcExprI* Class::makeCopy(QrcManagerI* t) const { \
    return new (t) Class(0.0, copyOf(_x, t));       \
  }                                                 \
  QrcFloatExp Maker(const QrcFloatExp& x) {         \
    return makeTrigNode<Class>(x, #Maker);          \
  }

QRCTRIGNODEBASICS(QrcSinI, QrcSin)
QRCTRIGNODEBASICS(QrcCosI, QrcCos)
QRCTRIGNODEBASICS(QrcTanI, QrcTan)
QRCTRIGNODEBASICS(QrcArcSinI, QrcArcSin)
QRCTRIGNODEBASICS(QrcArcCosI, QrcArcCos)
QRCTRIGNODEBASICS(QrcArcTanI, QrcArcTan)

// ---------------------------------------------------------------- sin, cos, tan

void QrcSinI::computeRange() {
  if (!undefinedOperand()) storeImage(this, intervalSine);
}

void QrcSinI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  narrowPeriodic(_x, lo, hi, false);
}

void QrcCosI::computeRange() {
  if (!undefinedOperand()) storeImage(this, intervalCosine);
}

void QrcCosI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  narrowPeriodic(_x, lo, hi, true);
}

void QrcTanI::computeRange() {
  if (!undefinedOperand()) storeImage(this, intervalTangent);
}

// The solutions are [atan lo, atan hi] modulo pi; a bound whose tangent lies
// outside moves to the nearest arc end inward.
void QrcTanI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  double a = _x->getMin(), b = _x->getMax();
  QrcFloatInterval ta = pointValue(intervalTangent, a), tb = pointValue(intervalTangent, b);
  setRoundingNearest();
  double l = -Inf, u = Inf;
  if (lo > ta.hi || ta.lo > hi) l = outwardDown(gridAbove(a, std::atan(lo), kPi));
  if (lo > tb.hi || tb.lo > hi) u = outwardUp(gridBelow(b, std::atan(hi), kPi));
  _x->setRange(l, u);
}

// ---------------------------------------------------------------- inverses

namespace {

// The operand clamped to [-1, 1]; false when it lies entirely outside, and
// the node is then the whole line, undefined.
bool clampedOperand(QrcFloatUnaryExpI* node, double& a, double& b) {
  a = node->getX()->getMin();
  b = node->getX()->getMax();
  if (a < -1 && -1 <= b) a = -1;
  if (b > 1 && 1 >= a) b = 1;
  if (-1 <= a && b <= 1) return true;
  node->storeRange(-Inf, Inf);
  node->setUndefined();
  return false;
}

}  // namespace

void QrcArcSinI::computeRange() {
  if (undefinedOperand()) return;
  double a, b;
  if (!clampedOperand(this, a, b)) return;
  setRoundingNearest();
  storeRange(outwardDown(std::asin(a)), outwardUp(std::asin(b)));
}

void QrcArcSinI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloatInterval r = intervalSine(QrcFloatInterval{lo, hi});
  setRoundingNearest();
  _x->setRange(r.lo, r.hi);
}

void QrcArcCosI::computeRange() {
  if (undefinedOperand()) return;
  double a, b;
  if (!clampedOperand(this, a, b)) return;
  setRoundingNearest();
  storeRange(outwardDown(std::acos(b)), outwardUp(std::acos(a)));
}

void QrcArcCosI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloatInterval r = intervalCosine(QrcFloatInterval{lo, hi});
  setRoundingNearest();
  _x->setRange(r.lo, r.hi);
}

void QrcArcTanI::computeRange() {
  if (undefinedOperand()) return;
  setRoundingNearest();
  storeRange(outwardDown(std::atan(_x->getMin())), outwardUp(std::atan(_x->getMax())));
}

// Past a pole the operand is unbounded on that side.
void QrcArcTanI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloatInterval t = intervalTangent(QrcFloatInterval{lo, hi});
  setRoundingNearest();
  _x->setRange(lo < -qrcHalfPiUp ? -Inf : t.lo, hi > qrcHalfPiUp ? Inf : t.hi);
}
