// Piecewise-linear float expressions y = f(x). f is a sequence of segments: a
// half-line to the left, pieces between breakpoints, a half-line to the right;
// two equal breakpoints make a jump, where f takes the value of the segment
// that starts there (each segment holds its left end, not its right one).
// The expression is a float variable with an integer index naming the segment
// that holds (x, y), kept in step by a convex union constraint. Every number a
// segment stores or computes is rounded outward, so the segments enclose the
// exact function.
#ifndef QRC_PIECEWISE_H
#define QRC_PIECEWISE_H

#include <iosfwd>

#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcindexvar.h"
#include "qrcmanager.h"

class QrcConvexUnionConstraintI;

// A float variable with an index variable over its parts.
class QrcIndexedExpI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcIndexedExpI)
 public:
  // A variable over (-infinity, +infinity), index over [indexMin, indexMax].
  QrcIndexedExpI(QrcManagerI* manager, QrcInt indexMin, QrcInt indexMax);
  void accept(QrcFloatExpVisitorI* visitor) override { visitor->visitIndexed(this); }
  virtual QrcFloatExpI* getArgument() const = 0;
  QrcIndexVarI* getIndex() const { return _index; }

 private:
  QrcIndexVarI* _index;
};

// The piecewise-linear expression.
class QrcSegmentedExpI : public QrcIndexedExpI {
  QRCLIBRARYCLASS(QrcSegmentedExpI)
 public:
  QrcSegmentedExpI(QrcManagerI* manager, QrcInt indexMin, QrcInt indexMax)
      : QrcIndexedExpI(manager, indexMin, indexMax), _constraint(nullptr) {}
  // "[" min "," max "]".
  void display(std::ostream& os) const override;
  QrcFloatExpI* getArgument() const override;
  QrcConvexUnionConstraintI* getConstraint() const { return _constraint; }
  void setConstraint(QrcConvexUnionConstraintI* ct) { _constraint = ct; }

 private:
  QrcConvexUnionConstraintI* _constraint;
};

// A segment: a linear piece over [getMinX, getMaxX) (the last one holds its
// end at +infinity), with end values known as intervals.
class QrcConvexSetI {
 public:
  explicit QrcConvexSetI(QrcManagerI* manager) : _position(-1), _excluded(manager, 0) {}
  virtual ~QrcConvexSetI() {}
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }
  // Bounding box.
  virtual QrcFloat getMinX() const = 0;
  virtual QrcFloat getMinY() const = 0;
  virtual QrcFloat getMaxX() const = 0;
  virtual QrcFloat getMaxY() const = 0;
  // Bounds of the x at which the segment's line takes the value v, and of its
  // value at x (also outside the segment's own x range).
  virtual QrcFloat getXLow(QrcFloat v) const = 0;
  virtual QrcFloat getXHigh(QrcFloat v) const = 0;
  virtual QrcFloat getYLow(QrcFloat x) const = 0;
  virtual QrcFloat getYHigh(QrcFloat x) const = 0;
  // Lower values at the left and right ends.
  virtual QrcFloat getLeftY() const = 0;
  virtual QrcFloat getRightY() const = 0;
  // The end where the lower value is least, and where the upper value is greatest.
  virtual QrcFloat getArgMinX() const = 0;
  virtual QrcFloat getArgMaxX() const = 0;
  virtual bool minXTieFlag() const { return false; }
  virtual bool maxXTieFlag() const { return true; }
  virtual bool isDecreasing() const = 0;
  virtual bool isIncreasing() const = 0;
  // Whether the whole segment lies above (below) v.
  virtual bool isAbove(QrcFloat v) const = 0;
  virtual bool isBelow(QrcFloat v) const = 0;
  // v >= the right end's x; the left end's x > v.
  virtual bool endsBefore(QrcFloat v) const = 0;
  virtual bool startsAfter(QrcFloat v) const = 0;
  virtual void display(std::ostream& os) const = 0;

  QrcInt getPosition() const { return _position; }
  void setPosition(QrcInt position) { _position = position; }
  bool isExcluded() const { return _excluded.getValue() != 0; }
  // Sets the flag, saved on the trail.
  void setExcluded(QrcManagerI* manager) {
    if (!isExcluded()) _excluded.set(manager, 1);
  }

 protected:
  // ", index = " position with the exclusion mark before it, and an end of line.
  void displayTail(std::ostream& os) const;

 private:
  QrcInt _position;
  QrcRevWord _excluded;
};

// A segment from (x1, [yLow1, yHigh1]) to (x2, [yLow2, yHigh2]): the operations
// that read only its ends.
class QrcLinearSegmentI : public QrcConvexSetI {
  QRCLIBRARYCLASS(QrcLinearSegmentI)

 public:
  QrcLinearSegmentI(QrcManagerI* manager, QrcFloat x1, QrcFloat yLow1, QrcFloat yHigh1, QrcFloat x2,
                    QrcFloat yLow2, QrcFloat yHigh2)
      : QrcConvexSetI(manager),
        _x1(x1),
        _yLow1(yLow1),
        _yHigh1(yHigh1),
        _x2(x2),
        _yLow2(yLow2),
        _yHigh2(yHigh2) {}
  QrcFloat getMinX() const override { return _x1; }
  QrcFloat getMaxX() const override { return _x2; }
  QrcFloat getMinY() const override { return _yLow1 < _yLow2 ? _yLow1 : _yLow2; }
  QrcFloat getMaxY() const override { return _yHigh1 > _yHigh2 ? _yHigh1 : _yHigh2; }
  QrcFloat getLeftY() const override { return _yLow1; }
  QrcFloat getRightY() const override { return _yLow2; }
  // Upper values at the ends.
  QrcFloat getLeftYHigh() const { return _yHigh1; }
  QrcFloat getRightYHigh() const { return _yHigh2; }
  QrcFloat getArgMinX() const override { return _yLow2 > _yLow1 ? _x1 : _x2; }
  QrcFloat getArgMaxX() const override { return _yHigh1 > _yHigh2 ? _x1 : _x2; }
  bool isDecreasing() const override { return _yLow1 > _yLow2; }
  bool isIncreasing() const override { return _yHigh2 > _yHigh1; }
  bool isAbove(QrcFloat v) const override { return _yLow1 > v && _yLow2 >= v; }
  bool isBelow(QrcFloat v) const override { return v > _yHigh1 && v >= _yHigh2; }
  bool endsBefore(QrcFloat v) const override { return v >= _x2; }
  bool startsAfter(QrcFloat v) const override { return _x1 > v; }

 protected:
  QrcFloat _x1, _yLow1, _yHigh1;
  QrcFloat _x2, _yLow2, _yHigh2;
};

// The piece through two points; its slope is known as [slopeLow, slopeHigh].
class QrcPointSegmentI : public QrcLinearSegmentI {
  QRCLIBRARYCLASS(QrcPointSegmentI)
 public:
  QrcPointSegmentI(QrcManagerI* manager, QrcFloat x1, QrcFloat y1, QrcFloat x2, QrcFloat y2);
  QrcFloat getXLow(QrcFloat v) const override { return xAt(v, true); }
  QrcFloat getXHigh(QrcFloat v) const override { return xAt(v, false); }
  QrcFloat getYLow(QrcFloat x) const override { return yAt(x, true); }
  QrcFloat getYHigh(QrcFloat x) const override { return yAt(x, false); }
  // "QrcConvexSetI, (x1,y1) - (x2,y2) / [slopeLow,slopeHigh " ...
  void display(std::ostream& os) const override;
  QrcFloat getSlopeLow() const { return _slopeLow; }
  QrcFloat getSlopeHigh() const { return _slopeHigh; }

 private:
  QrcFloat xAt(QrcFloat v, bool low) const;
  QrcFloat yAt(QrcFloat x, bool low) const;
  QrcFloat _slopeLow;
  QrcFloat _slopeHigh;
};

// A piece of exact slope through an end whose value is known as an interval:
// the left end, or the right end for the first half-line.
class QrcSlopeSegmentI : public QrcLinearSegmentI {
  QRCLIBRARYCLASS(QrcSlopeSegmentI)
 public:
  QrcSlopeSegmentI(QrcManagerI* manager, QrcFloat x1, QrcFloat yLow1, QrcFloat yHigh1, QrcFloat x2,
                   QrcFloat yLow2, QrcFloat yHigh2, QrcFloat slope, bool anchorRight = false);
  QrcFloat getXLow(QrcFloat v) const override { return xAt(v, true); }
  QrcFloat getXHigh(QrcFloat v) const override { return xAt(v, false); }
  QrcFloat getYLow(QrcFloat x) const override { return yAt(x, true); }
  QrcFloat getYHigh(QrcFloat x) const override { return yAt(x, false); }
  // "QrcConvexSetI, (x1, [yLow1,yHigh1]) - (x2, [yLow2,yHigh2]) / slope " ...
  void display(std::ostream& os) const override;
  QrcFloat getSlope() const { return _slope; }

 private:
  QrcFloat xAt(QrcFloat v, bool low) const;
  QrcFloat yAt(QrcFloat x, bool low) const;
  QrcFloat _slope;
  QrcFloat _a, _aLow, _aHigh;
};

// The half-line left of (x, [yLow, yHigh]).
class QrcFirstSegmentI : public QrcSlopeSegmentI {
  QRCLIBRARYCLASS(QrcFirstSegmentI)
 public:
  QrcFirstSegmentI(QrcManagerI* manager, QrcFloat x, QrcFloat yLow, QrcFloat yHigh, QrcFloat slope);
};

// The half-line right of (x, [yLow, yHigh]).
class QrcLastSegmentI : public QrcSlopeSegmentI {
  QRCLIBRARYCLASS(QrcLastSegmentI)
 public:
  QrcLastSegmentI(QrcManagerI* manager, QrcFloat x, QrcFloat yLow, QrcFloat yHigh, QrcFloat slope);
};

// Keeps (x, y) on the union of the segments not yet ruled out: narrows x and y
// to the hull of the live segments' parts inside the box and removes from the
// index every segment that cannot hold the point. Four sorted orders of the
// segments and reversible cursors into them let each propagation skip what was
// ruled out earlier in the branch.
class QrcConvexUnionConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcConvexUnionConstraintI)
  QROSIMPLECLASS(QrcConvexUnionConstraintI, QrcConstraintI)
 public:
  QrcConvexUnionConstraintI(QrcManagerI* manager, QrcInt count, QrcFloatExpI* x, QrcFloatExpI* y,
                            QrcIndexVarI* index);
  // Gives the segment the next position.
  void addSegment(QrcConvexSetI* segment);
  // Sorts the orders once every segment is in.
  void finish();
  void post() override;
  void propagate() override;
  void display(std::ostream& os) const override;
  QrcInt getSize() const { return _n; }
  QrcConvexSetI* getSegment(QrcInt i) const { return _segments[i]; }
  QrcFloatExpI* getX() const { return _x; }
  // Removes the segment's position from the index and marks it excluded.
  void exclude(QrcConvexSetI* segment);
  // Marks the segments of the values the index lost, then schedules a propagation.
  void indexChanged();

 private:
  struct Box {
    QrcFloat xmin, ymin, xmax, ymax;
  };
  // Walks order from the cursor by step (1 or -1), excluding the segments
  // outside by test at v up to the first one that is not; the cursor stays
  // there (at the end when none is left).
  void sweep(QrcRevWord& cursor, const QrcInt* order, int test, QrcFloat v, QrcInt step);
  // The new bound of one side: kind 0 lowest x, 1 highest x, 2 highest y, 3 lowest y.
  QrcFloat bound(QrcRevWord& cursor, const QrcInt* order, int kind, const Box& box);
  QrcConvexSetI* at(const QrcInt* order, QrcInt i) const { return _segments[order[i]]; }

  QrcInt _n;
  QrcInt _count;
  QrcConvexSetI** _segments;
  QrcInt* _byMinX;
  QrcInt* _byMaxX;
  QrcInt* _byMinY;
  QrcInt* _byMaxY;
  QrcRevWord _leftOutMaxX;
  QrcRevWord _rightOutMinX;
  QrcRevWord _aboveOutMinY;
  QrcRevWord _belowOutMaxY;
  QrcRevWord _xMinCursor;
  QrcRevWord _xMaxCursor;
  QrcRevWord _yMaxCursor;
  QrcRevWord _yMinCursor;
  QrcFloatExpI* _x;
  QrcFloatExpI* _y;
  QrcIndexVarI* _index;
};

class QrcConvexUnionIndexDemonII : public QrcDemonI {
  QRCLIBRARYCLASS(QrcConvexUnionIndexDemonII)
  QROSIMPLECLASS(QrcConvexUnionIndexDemonII, QrcDemonI)
 public:
  explicit QrcConvexUnionIndexDemonII(QrcConvexUnionConstraintI* ct)
      : QrcDemonI(ct->getManager()), _ct(ct) {}
  void propagate() override { _ct->indexChanged(); }
  void display(std::ostream& os) const override;

 private:
  QrcConvexUnionConstraintI* _ct;
};

// f through (points[i], values[i]), with firstSlope left of the first point and
// lastSlope right of the last.
QrcFloatExp QrcPiecewiseLinear(const QrcFloatExp& x, QrcFloat firstSlope,
                               const QrcFloatArray& points, const QrcFloatArray& values,
                               QrcFloat lastSlope);
// f through (x0, y0) with slopes[0] left of points[0], slopes[i] between
// points[i-1] and points[i], slopes[n] right of the last point; where two
// points are equal, the slope between them is the height of the jump. With no
// point, the expression y0 + slopes[0] * (x - x0).
QrcFloatExp QrcPiecewiseLinear(const QrcFloatExp& x, const QrcFloatArray& points,
                               const QrcFloatArray& slopes, QrcFloat x0, QrcFloat y0);

#endif
