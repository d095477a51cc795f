// Helpers shared by the arithmetic nodes: exact division rounding, clamped
// conversions, and the re-use of an equal node through a probe.
#ifndef QRC_INTUTIL_H
#define QRC_INTUTIL_H

#include <cmath>

#include "qrcerror.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcmanager.h"

namespace qrcint {

const double Limit = static_cast<double>(QrcIntMax);
const double TwoTo53 = Limit + 1.0;

inline QrcInt clamp128(__int128 v) {
  if (v > QrcIntMax) return QrcIntMax;
  if (v < QrcIntMin) return QrcIntMin;
  return static_cast<QrcInt>(v);
}

// Clamped conversion of a double bound (NaN gives the given fallback).
inline QrcInt toInt(double v) {
  if (v != v) return 0;
  if (v >= Limit) return QrcIntMax;
  if (v <= -Limit) return QrcIntMin;
  return static_cast<QrcInt>(v);
}

inline QrcInt floorDiv(QrcInt a, QrcInt b) {
  QrcInt q = a / b, r = a % b;
  return (r != 0 && ((r < 0) != (b < 0))) ? q - 1 : q;
}

inline QrcInt ceilDiv(QrcInt a, QrcInt b) {
  QrcInt q = a / b, r = a % b;
  return (r != 0 && ((r < 0) == (b < 0))) ? q + 1 : q;
}

// [lo, hi]: the values x with c * x in [a, b] (c not 0); empty when lo > hi.
inline void quotientRange(QrcInt a, QrcInt b, QrcInt c, QrcInt& lo, QrcInt& hi) {
  if (c > 0) {
    lo = ceilDiv(a, c);
    hi = floorDiv(b, c);
  } else {
    lo = ceilDiv(b, c);
    hi = floorDiv(a, c);
  }
}

// Narrows [lo, hi], x's bounds, to the values x with c * x in [a, b] (c not 0;
// atLo and atHi are c * lo and c * hi), dividing only a side of [a, b] that
// cuts a value of x: the other keeps x's bound. Empty when lo > hi.
inline void narrowQuotient(QrcInt a, QrcInt b, QrcInt c, QrcInt atLo, QrcInt atHi, QrcInt& lo,
                           QrcInt& hi) {
  if (c > 0) {
    if (a > atLo) lo = ceilDiv(a, c);
    if (b < atHi) hi = floorDiv(b, c);
  } else {
    if (b < atLo) lo = ceilDiv(b, c);
    if (a > atHi) hi = floorDiv(a, c);
  }
}

inline bool outside53(double v) {
  return v < -TwoTo53 || v > Limit;
}

// Whether e has a value wherever its operands have one: not so for an element
// whose index may leave its array, nor for an expression over one, whose
// bounds are those of the values it has. A maker must not fold such an operand
// away, nor decide a comparison its bounds make true.
inline bool defined(QrcIntExpI* e) {
  return e->isVariable() || !e->makeUndefinedConstraint();
}

// Reads e's bounds: whether it is a node whose range left the limits in
// this state, where its bounds are clamped and tell no value of it.
inline bool clamped(QrcIntExpI* e) {
  e->refreshBounds();
  return e->isOutOfRange() && !e->isVariable();
}

// Whether e's bounds tell its values: an expression that always has a value
// (defined) and is not clamped.
inline bool told(QrcIntExpI* e) {
  return defined(e) && !clamped(e);
}

// Whether e is bound to the value its bounds give: not a node whose range
// left the limits, whose clamped bounds are no value of it. The makers fold
// only such operands.
inline bool fixed(QrcIntExpI* e) {
  return e->isBound() && !clamped(e);
}

// A node over an operand without a value (an element whose index lies outside
// its array, read as an empty range) has no value either: its range is empty,
// however its own rule would combine the operand's bounds.
inline void setNoValue(QrcIntExpI* node) {
  node->setBoundsFromDoubles(Limit, -Limit);
}

// The implementation behind a handle; an empty handle stops with code 39.
inline QrcIntExpI* impl(const QrcIntExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

inline QrcIntExp constant(QrcManagerI* m, QrcInt v) {
  return QrcIntExp(QrcManager(m), v);
}

inline QrcIntExpI* copyOf(QrcIntExpI* e, QrcManagerI* t) {
  return static_cast<QrcIntExpI*>(e->getCopyForManager(t));
}

inline QrcInt mn(QrcInt a, QrcInt b) {
  return a < b ? a : b;
}
inline QrcInt mx(QrcInt a, QrcInt b) {
  return a > b ? a : b;
}

// Node equal to the probe already among the parents of the first operand,
// else a new node (which enters its operands' parents lists).
template <class T, class... A>
QrcIntExpI* reuse(QrcIntExpI* first, A... args) {
  QrcManagerI* m = first->getManager();
  QrcMemoryStack* heap = m->getHeap();
  QrcInt mark = heap->getTop();
  T* probe = new (m) T(m, args..., false);
  QrcExprI* found = first->findEqualParent(probe);
  m->forgetMade(static_cast<QrcExprI*>(probe));
  heap->popTo(mark);
  if (found) return static_cast<QrcIntExpI*>(found);
  T* node = new (m) T(m, args..., true);
  node->computeRangeAsDoubles();  // sets the out-of-range flag; first read recomputes
  return node;
}

// A node built without sharing (copies and array nodes).
template <class T>
T* fresh(T* node) {
  node->computeRangeAsDoubles();
  return node;
}

}  // namespace qrcint

#endif
