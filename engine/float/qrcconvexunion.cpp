// The convex union constraint of a piecewise-linear expression. Each
// propagation reads the box [xmin, xmax] x [ymin, ymax] once, rules out the
// segments that miss it on each side by sweeping the sorted orders from where
// the branch left them, then takes each bound of x and y as the extreme of
// the live segments' parts inside the box, stopping as soon as the order's key
// shows that no later segment can do better.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "qrcmanager.h"
#include "qrcpiecewise.h"

namespace {

const double Inf = HUGE_VAL;

// The lowest or highest value along an axis u of the part of a segment inside
// the box [umin, umax] x [vmin, vmax], v the other axis: end is the segment's
// own lowest or highest u and endV its v there, uAt(v) the segment's lowest or
// highest u at v, vLow(u) and vHigh(u) its range of v at u. An empty part
// gives +infinity for a lowest value and -infinity for a highest one.
template <typename UAt, typename VLow, typename VHigh>
double extremeAlong(double end, double endV, UAt uAt, VLow vLow, VHigh vHigh, double umin,
                    double vmin, double umax, double vmax, bool low) {
  double side = low ? umin : umax, empty = low ? Inf : -Inf;
  if (low ? end >= side : end <= side) {
    if (vmin > endV) return uAt(vmin);
    return endV <= vmax ? end : uAt(vmax);
  }
  if (vmin > endV) return vLow(side) > vmax ? empty : uAt(vmin);
  if (endV <= vmax) return end;
  return vmin > vHigh(side) ? empty : uAt(vmax);
}

// The part of a segment inside the box [xmin, xmax] x [ymin, ymax]: its lowest
// or highest x, its lowest or highest y.
double extremeX(const QrcConvexSetI* s, double xmin, double ymin, double xmax, double ymax,
                bool low) {
  return extremeAlong(
      low ? s->getMinX() : s->getMaxX(), low ? s->getLeftY() : s->getRightY(),
      [s, low](double y) { return low ? s->getXLow(y) : s->getXHigh(y); },
      [s](double x) { return s->getYLow(x); }, [s](double x) { return s->getYHigh(x); }, xmin, ymin,
      xmax, ymax, low);
}

double extremeY(const QrcConvexSetI* s, double xmin, double ymin, double xmax, double ymax,
                bool low) {
  return extremeAlong(
      low ? s->getMinY() : s->getMaxY(), low ? s->getArgMinX() : s->getArgMaxX(),
      [s, low](double x) { return low ? s->getYLow(x) : s->getYHigh(x); },
      [s](double y) { return s->getXLow(y); }, [s](double y) { return s->getXHigh(y); }, ymin, xmin,
      ymax, xmax, low);
}

enum SweepTest { EndsBefore, StartsAfter, IsAbove, IsBelow };

bool outside(const QrcConvexSetI* s, int test, double v) {
  switch (test) {
    case EndsBefore:
      return s->endsBefore(v);
    case StartsAfter:
      return s->startsAfter(v);
    case IsAbove:
      return s->isAbove(v);
    default:
      return s->isBelow(v);
  }
}

// Fills order with the positions sorted by key, ties by flag (set first when
// setFirst), then by position.
template <typename Key, typename Flag>
void sortPositions(QrcConvexSetI** segments, QrcInt n, QrcInt* order, Key key, Flag flag,
                   bool setFirst) {
  struct Record {
    QrcInt position;
    double key;
    bool flag;
  };
  std::vector<Record> records(static_cast<size_t>(n));
  for (QrcInt i = 0; i < n; ++i) records[i] = {i, key(segments[i]), flag(segments[i])};
  std::sort(records.begin(), records.end(), [setFirst](const Record& a, const Record& b) {
    if (a.key != b.key) return a.key < b.key;
    if (a.flag != b.flag) return setFirst ? a.flag : b.flag;
    return a.position < b.position;
  });
  for (QrcInt i = 0; i < n; ++i) order[i] = records[i].position;
}

}  // namespace

QrcConvexUnionConstraintI::QrcConvexUnionConstraintI(QrcManagerI* manager, QrcInt count,
                                                     QrcFloatExpI* x, QrcFloatExpI* y,
                                                     QrcIndexVarI* index)
    : QrcConstraintI(manager),
      _n(0),
      _count(count),
      _segments(new (manager) QrcConvexSetI*[count]),
      _byMinX(new (manager) QrcInt[count]),
      _byMaxX(new (manager) QrcInt[count]),
      _byMinY(new (manager) QrcInt[count]),
      _byMaxY(new (manager) QrcInt[count]),
      _leftOutMaxX(manager, 0),
      _rightOutMinX(manager, count - 1),
      _aboveOutMinY(manager, count - 1),
      _belowOutMaxY(manager, 0),
      _xMinCursor(manager, 0),
      _xMaxCursor(manager, count - 1),
      _yMaxCursor(manager, count - 1),
      _yMinCursor(manager, 0),
      _x(x),
      _y(y),
      _index(index) {
  index->setRange(static_cast<QrcInt>(0), count - 1);
}

void QrcConvexUnionConstraintI::addSegment(QrcConvexSetI* segment) {
  // A segment of the caller's class is code the propagation runs.
  if (!QrcIsLibraryObject(segment)) _manager->noteForeignCode();
  segment->setPosition(_n);
  _segments[_n++] = segment;
}

void QrcConvexUnionConstraintI::finish() {
  auto falseFlag = [](const QrcConvexSetI* s) { return s->minXTieFlag(); };
  sortPositions(
      _segments, _n, _byMinX, [](const QrcConvexSetI* s) { return s->getMinX(); }, falseFlag,
      false);
  sortPositions(
      _segments, _n, _byMaxX, [](const QrcConvexSetI* s) { return s->getMaxX(); },
      [](const QrcConvexSetI* s) { return s->maxXTieFlag(); }, true);
  sortPositions(
      _segments, _n, _byMinY, [](const QrcConvexSetI* s) { return s->getMinY(); },
      [](const QrcConvexSetI* s) { return s->isDecreasing(); }, false);
  sortPositions(
      _segments, _n, _byMaxY, [](const QrcConvexSetI* s) { return s->getMaxY(); },
      [](const QrcConvexSetI* s) { return s->isIncreasing(); }, true);
  _leftOutMaxX.setNoSave(0);
  _rightOutMinX.setNoSave(_n - 1);
  _aboveOutMinY.setNoSave(_n - 1);
  _belowOutMaxY.setNoSave(0);
  _xMinCursor.setNoSave(0);
  _xMaxCursor.setNoSave(_n - 1);
  _yMaxCursor.setNoSave(_n - 1);
  _yMinCursor.setNoSave(0);
}

void QrcConvexUnionConstraintI::exclude(QrcConvexSetI* segment) {
  _index->removeValue(segment->getPosition());
  segment->setExcluded(_manager);
}

void QrcConvexUnionConstraintI::post() {
  for (QrcInt i = 0; i < _n; ++i)
    if (!_index->isInDomain(i)) _segments[i]->setExcluded(_manager);
  _index->whenDomain(new (_manager) QrcConvexUnionIndexDemonII(this));
  _x->whenRange(this);
  _y->whenRange(this);
}

void QrcConvexUnionConstraintI::indexChanged() {
  QrcIntVarDeltaIterator it(_index);
  QrcInt v;
  while (it.next(v))
    if (v >= 0 && v < _n) _segments[v]->setExcluded(_manager);
  push();
}

void QrcConvexUnionConstraintI::sweep(QrcRevWord& cursor, const QrcInt* order, int test, QrcFloat v,
                                      QrcInt step) {
  QrcInt c = cursor.getValue();
  for (; c >= 0 && c < _n; c += step) {
    QrcConvexSetI* s = at(order, c);
    if (s->isExcluded()) continue;
    if (!outside(s, test, v)) break;
    exclude(s);
  }
  if (c != cursor.getValue()) cursor.set(_manager, c);
}

QrcFloat QrcConvexUnionConstraintI::bound(QrcRevWord& cursor, const QrcInt* order, int kind,
                                          const Box& b) {
  // Lowest values walk their order forward, highest ones backward.
  const bool forward = kind == 0 || kind == 3;
  const QrcInt step = forward ? 1 : -1;
  QrcInt c = cursor.getValue();
  while (c >= 0 && c < _n && at(order, c)->isExcluded()) c += step;
  if (c != cursor.getValue()) cursor.set(_manager, c);
  const double limit = kind == 0 ? b.xmin : kind == 1 ? b.xmax : kind == 2 ? b.ymax : b.ymin;
  const double empty = forward ? Inf : -Inf;
  double best = empty;
  for (; c >= 0 && c < _n; c += step) {
    QrcConvexSetI* s = at(order, c);
    if (s->isExcluded()) continue;
    double key = kind == 0   ? s->getMinX()
                 : kind == 1 ? s->getMaxX()
                 : kind == 2 ? s->getMaxY()
                             : s->getMinY();
    if (forward ? key >= best : key <= best) break;
    double p = kind == 0 || kind == 1 ? extremeX(s, b.xmin, b.ymin, b.xmax, b.ymax, kind == 0)
                                      : extremeY(s, b.xmin, b.ymin, b.xmax, b.ymax, kind == 3);
    // The part reaches the box's own bound: nothing to narrow.
    if (forward ? limit >= p : limit <= p) return limit;
    if (forward ? p < best : p > best)
      best = p;
    else if (p == empty)
      exclude(s);
  }
  return best;
}

void QrcConvexUnionConstraintI::propagate() {
  const Box b = {_x->getMin(), _y->getMin(), _x->getMax(), _y->getMax()};
  sweep(_leftOutMaxX, _byMaxX, EndsBefore, b.xmin, 1);
  sweep(_rightOutMinX, _byMinX, StartsAfter, b.xmax, -1);
  sweep(_aboveOutMinY, _byMinY, IsAbove, b.ymax, -1);
  sweep(_belowOutMaxY, _byMaxY, IsBelow, b.ymin, 1);
  _x->setRange(bound(_xMinCursor, _byMinX, 0, b), Inf);
  _x->setRange(-Inf, bound(_xMaxCursor, _byMaxX, 1, b));
  _y->setRange(-Inf, bound(_yMaxCursor, _byMaxY, 2, b));
  _y->setRange(bound(_yMinCursor, _byMinY, 3, b), Inf);
}

void QrcConvexUnionConstraintI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << "QrcConvexUnionConstraint(";
  _x->display(os);
  os << ", " << _n << " segments)";
}

void QrcConvexUnionIndexDemonII::display(std::ostream& os) const {
  os << "QrcConvexUnionIndexDemonI";
}
