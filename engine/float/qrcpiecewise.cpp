// Piecewise-linear float expressions: the segments and the two factories.
// Segment numbers are rounded outward so that every bound encloses the exact
// function: a difference is rounded the way that enlarges the bound given the
// sign of the slope it meets, and of an uncertain slope the end that enlarges
// it given the sign of that difference.
#include "qrcpiecewise.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "qrcoutward.h"
#include "qrcfloatarith.h"
#include "qrcfloatenv.h"
#include "qrcfloatset.h"
#include "qrcmanager.h"

namespace {

const double Inf = HUGE_VAL;
const char* const kPlace = "QrcPiecewiseLinear";

// Directed products where a factor of exactly 0 gives 0.
double productDown(double a, double b) {
  return (a == 0 || b == 0) ? 0.0 : mulDown(a, b);
}
double productUp(double a, double b) {
  return (a == 0 || b == 0) ? 0.0 : mulUp(a, b);
}

double nearestResult(double v) {
  setRoundingNearest();
  return v;
}

}  // namespace

// ---------------------------------------------------------------- expressions

QrcIndexedExpI::QrcIndexedExpI(QrcManagerI* manager, QrcInt indexMin, QrcInt indexMax)
    : QrcFloatExpI(manager, -Inf, Inf, manager->getDefaultPrecision(), nullptr),
      _index(new (manager) QrcIndexVarI(manager, indexMin, indexMax, nullptr)) {
  _index->setIndexedExp(this);
}

void QrcSegmentedExpI::display(std::ostream& os) const {
  os << "[" << getMin() << "," << getMax() << "]";
}

QrcFloatExpI* QrcSegmentedExpI::getArgument() const {
  return _constraint ? _constraint->getX() : nullptr;
}

// ---------------------------------------------------------------- segments

void QrcConvexSetI::displayTail(std::ostream& os) const {
  os << (isExcluded() ? "[EXCLUDED]" : " ") << ", index = " << _position << std::endl;
}

QrcPointSegmentI::QrcPointSegmentI(QrcManagerI* manager, QrcFloat x1, QrcFloat y1, QrcFloat x2,
                                   QrcFloat y2)
    : QrcLinearSegmentI(manager, x1, y1, y1, x2, y2, y2), _slopeLow(0), _slopeHigh(0) {
  if (x1 != x2) {
    // dy / dx over dy and dx each rounded both ways.
    const double dy[2] = {subDown(y2, y1), subUp(y2, y1)};
    const double dx[2] = {subDown(x2, x1), subUp(x2, x1)};
    _slopeLow = Inf;
    _slopeHigh = -Inf;
    for (double a : dy) {
      for (double b : dx) {
        _slopeLow = std::min(_slopeLow, divDown(a, b));
        _slopeHigh = std::max(_slopeHigh, divUp(a, b));
      }
    }
  }
  setRoundingNearest();
}

// Increasing when slopeLow > 0, decreasing when slopeHigh < 0, else flat. A
// lower bound rounds the difference down on an increasing segment, up on a
// decreasing one (an upper bound the other way), and takes the slope that
// lowers it given the difference's sign.
QrcFloat QrcPointSegmentI::xAt(QrcFloat v, bool low) const {
  if (!(_slopeLow > 0) && !(_slopeHigh < 0)) return low ? std::min(_x1, _x2) : std::max(_x1, _x2);
  double d = (_slopeLow > 0) == low ? subDown(v, _yLow1) : subUp(v, _yLow1);
  double s = (d >= 0) == low ? _slopeHigh : _slopeLow;
  return nearestResult(low ? addDown(_x1, divDown(d, s)) : addUp(_x1, divUp(d, s)));
}

QrcFloat QrcPointSegmentI::yAt(QrcFloat x, bool low) const {
  if (!(_slopeLow > 0) && !(_slopeHigh < 0))
    return low ? std::min(_yLow1, _yLow2) : std::max(_yHigh1, _yHigh2);
  double d = (_slopeLow > 0) == low ? subDown(x, _x1) : subUp(x, _x1);
  double s = (d >= 0) == low ? _slopeLow : _slopeHigh;
  return nearestResult(low ? addDown(_yLow1, productDown(d, s)) : addUp(_yHigh1, productUp(d, s)));
}

void QrcPointSegmentI::display(std::ostream& os) const {
  os << "QrcConvexSetI, (" << _x1 << "," << _yLow1 << ") - (" << _x2 << "," << _yLow2 << ") / ["
     << _slopeLow << "," << _slopeHigh << " ";
  displayTail(os);
}

QrcSlopeSegmentI::QrcSlopeSegmentI(QrcManagerI* manager, QrcFloat x1, QrcFloat yLow1,
                                   QrcFloat yHigh1, QrcFloat x2, QrcFloat yLow2, QrcFloat yHigh2,
                                   QrcFloat slope, bool anchorRight)
    : QrcLinearSegmentI(manager, x1, yLow1, yHigh1, x2, yLow2, yHigh2),
      _slope(slope),
      _a(anchorRight ? x2 : x1),
      _aLow(anchorRight ? yLow2 : yLow1),
      _aHigh(anchorRight ? yHigh2 : yHigh1) {}

// A lower bound rounds the difference down for a positive slope, up for a
// negative one (an upper bound the other way), from the anchor's bound that
// lowers it. A flat piece takes its value all along: its ends bound the x.
QrcFloat QrcSlopeSegmentI::xAt(QrcFloat v, bool low) const {
  if (_slope == 0) return low ? _x1 : _x2;
  bool down = (_slope > 0) == low;
  double d = down ? subDown(v, _aHigh) : subUp(v, _aLow);
  return nearestResult(low ? addDown(_a, divDown(d, _slope)) : addUp(_a, divUp(d, _slope)));
}

QrcFloat QrcSlopeSegmentI::yAt(QrcFloat x, bool low) const {
  if (_slope == 0) return low ? _aLow : _aHigh;
  double d = (_slope > 0) == low ? subDown(x, _a) : subUp(x, _a);
  return nearestResult(low ? addDown(_aLow, productDown(d, _slope))
                           : addUp(_aHigh, productUp(d, _slope)));
}

void QrcSlopeSegmentI::display(std::ostream& os) const {
  os << "QrcConvexSetI, (" << _x1 << ", [" << _yLow1 << "," << _yHigh1 << "]"
     << ") - (" << _x2 << ", [" << _yLow2 << "," << _yHigh2 << "]) / " << _slope << " ";
  displayTail(os);
}

namespace {

// The value of a half-line at its infinite end: infinite when sloped toward
// it, the anchor's bound when flat.
double farValue(double slope, double sign, double flat) {
  return slope == 0 ? flat : (slope * sign > 0 ? Inf : -Inf);
}

}  // namespace

QrcFirstSegmentI::QrcFirstSegmentI(QrcManagerI* manager, QrcFloat x, QrcFloat yLow, QrcFloat yHigh,
                                   QrcFloat slope)
    : QrcSlopeSegmentI(manager, -Inf, farValue(slope, -1, yLow), farValue(slope, -1, yHigh), x,
                       yLow, yHigh, slope, true) {}

QrcLastSegmentI::QrcLastSegmentI(QrcManagerI* manager, QrcFloat x, QrcFloat yLow, QrcFloat yHigh,
                                 QrcFloat slope)
    : QrcSlopeSegmentI(manager, x, yLow, yHigh, Inf, farValue(slope, 1, yLow),
                       farValue(slope, 1, yHigh), slope) {}

// ---------------------------------------------------------------- factories

namespace {

QrcFloatExpI* checkedOperand(const QrcFloatExp& x) {
  if (!x.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", kPlace);
  return x.getImpl();
}

QrcInt sizeOf(const QrcFloatArray& a) {
  return a.getImpl() ? a.getSize() : 0;
}

bool allFinite(const QrcFloatArray& a) {
  for (QrcInt i = 0; i < sizeOf(a); ++i)
    if (!std::isfinite(a[i])) return false;
  return true;
}

// Reports an unordered point or three equal points in a row (code 7); else
// gives the number of segments, one per pair of equal points fewer than n + 1.
bool segmentCount(QrcErrorReporter* r, const QrcFloatArray& p, QrcInt& count) {
  QrcInt n = sizeOf(p);
  count = n + 1;
  for (QrcInt i = 0; i + 1 < n; ++i) {
    if (p[i] > p[i + 1]) {
      r->report(QrcUnorderedElementError, kPlace, "unordered element in array", i);
      return false;
    }
    if (i >= 1 && p[i - 1] == p[i] && p[i] == p[i + 1]) {
      r->report(QrcUnorderedElementError, kPlace, "unordered element in array", i + 1);
      return false;
    }
    if (p[i] == p[i + 1]) --count;
  }
  return true;
}

QrcFloatExp incompatible(QrcErrorReporter* r) {
  r->report(QrcIncompatibleArgumentError, kPlace, "Incompatible argument");
  return QrcFloatExp();
}

// Builds the expression and its constraint, adds the segments made by add
// (in position order), finishes and posts the constraint.
template <typename AddSegments>
QrcFloatExp build(QrcFloatExpI* x, QrcInt n, QrcInt count, AddSegments add) {
  QrcManagerI* m = x->getManager();
  QrcSegmentedExpI* y = new (m) QrcSegmentedExpI(m, 0, n + 1);
  QrcConvexUnionConstraintI* ct = new (m) QrcConvexUnionConstraintI(m, count, x, y, y->getIndex());
  add(m, ct);
  ct->finish();
  y->setConstraint(ct);
  m->add(ct);
  return y;
}

}  // namespace

QrcFloatExp QrcPiecewiseLinear(const QrcFloatExp& xh, QrcFloat firstSlope,
                               const QrcFloatArray& points, const QrcFloatArray& values,
                               QrcFloat lastSlope) {
  QrcFloatExpI* x = checkedOperand(xh);
  QrcErrorReporter* r = x->getManager()->getErrorReporter();
  if (!std::isfinite(firstSlope) || !std::isfinite(lastSlope)) return incompatible(r);
  QrcInt n = sizeOf(points), count;
  if (n == 0 || sizeOf(values) != n) {
    r->report(QrcBadArraySizeError, kPlace, "bad array size", n);
    return QrcFloatExp();
  }
  if (!allFinite(points) || !allFinite(values)) return incompatible(r);
  if (!segmentCount(r, points, count)) return QrcFloatExp();
  const QrcFloatArray& p = points;
  const QrcFloatArray& v = values;
  return build(x, n, count, [&](QrcManagerI* m, QrcConvexUnionConstraintI* ct) {
    ct->addSegment(new (m) QrcFirstSegmentI(m, p[0], v[0], v[0], firstSlope));
    for (QrcInt i = 0; i + 1 < n; ++i)
      if (p[i + 1] > p[i])
        ct->addSegment(new (m) QrcPointSegmentI(m, p[i], v[i], p[i + 1], v[i + 1]));
    ct->addSegment(new (m) QrcLastSegmentI(m, p[n - 1], v[n - 1], v[n - 1], lastSlope));
  });
}

namespace {

// The values at the points, [low, high], from (x0, y0) outward in both
// directions; k is the number of points at or below x0.
void anchorValues(const QrcFloatArray& p, const QrcFloatArray& s, QrcInt n, QrcInt k, double x0,
                  double y0, double* low, double* high) {
  // Forward: the piece before point i has slope s[i].
  double prevX = x0, prevLow = y0, prevHigh = y0;
  for (QrcInt i = k; i < n; ++i) {
    if (i > 0 && p[i - 1] == p[i]) {
      low[i] = addDown(prevLow, s[i]);
      high[i] = addUp(prevHigh, s[i]);
    } else {
      double dDown = subDown(p[i], prevX), dUp = subUp(p[i], prevX);
      high[i] = addUp(productUp(s[i] >= 0 ? dUp : dDown, s[i]), prevHigh);
      low[i] = addDown(productDown(s[i] >= 0 ? dDown : dUp, s[i]), prevLow);
    }
    prevX = p[i];
    prevLow = low[i];
    prevHigh = high[i];
  }
  // Backward: the piece after point i has slope s[i + 1].
  prevX = x0, prevLow = y0, prevHigh = y0;
  for (QrcInt i = k - 1; i >= 0; --i) {
    if (i < n - 1 && p[i] == p[i + 1]) {
      low[i] = subDown(prevLow, s[i + 1]);
      high[i] = subUp(prevHigh, s[i + 1]);
    } else {
      double dDown = subDown(p[i], prevX), dUp = subUp(p[i], prevX);
      high[i] = addUp(productUp(s[i + 1] >= 0 ? dUp : dDown, s[i + 1]), prevHigh);
      low[i] = addDown(productDown(s[i + 1] >= 0 ? dDown : dUp, s[i + 1]), prevLow);
    }
    prevX = p[i];
    prevLow = low[i];
    prevHigh = high[i];
  }
  setRoundingNearest();
}

}  // namespace

QrcFloatExp QrcPiecewiseLinear(const QrcFloatExp& xh, const QrcFloatArray& points,
                               const QrcFloatArray& slopes, QrcFloat x0, QrcFloat y0) {
  QrcFloatExpI* x = checkedOperand(xh);
  QrcManagerI* m = x->getManager();
  QrcErrorReporter* r = m->getErrorReporter();
  if (!std::isfinite(x0) || !std::isfinite(y0)) return incompatible(r);
  QrcInt n = sizeOf(points), count;
  if (sizeOf(slopes) != n + 1) {
    r->report(QrcBadArraySizeError, kPlace, "bad array size", n);
    return QrcFloatExp();
  }
  if (!allFinite(points)) return incompatible(r);
  if (!segmentCount(r, points, count)) return QrcFloatExp();
  if (!allFinite(slopes)) return incompatible(r);
  const QrcFloatArray& p = points;
  const QrcFloatArray& s = slopes;
  if (n == 0) return y0 + s[0] * (xh - x0);
  bool scratch = !m->isArrayLocked();
  QrcInt* words =
      scratch ? m->lockIntArray(2 * n) : static_cast<QrcInt*>(m->allocate(2 * n * sizeof(QrcInt)));
  double* low = reinterpret_cast<double*>(words);
  double* high = low + n;
  QrcInt k = 0;
  while (k < n && p[k] <= x0) ++k;
  anchorValues(p, s, n, k, x0, y0, low, high);
  QrcFloatExp y = build(x, n, count, [&](QrcManagerI* mm, QrcConvexUnionConstraintI* ct) {
    ct->addSegment(new (mm) QrcFirstSegmentI(mm, p[0], low[0], high[0], s[0]));
    for (QrcInt i = 0; i + 1 < n; ++i)
      if (p[i + 1] > p[i])
        ct->addSegment(new (mm) QrcSlopeSegmentI(mm, p[i], low[i], high[i], p[i + 1], low[i + 1],
                                                 high[i + 1], s[i + 1]));
    ct->addSegment(new (mm) QrcLastSegmentI(mm, p[n - 1], low[n - 1], high[n - 1], s[n]));
    if (scratch) mm->unlockArray();
  });
  return y;
}
