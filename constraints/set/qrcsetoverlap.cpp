// Disjointness of two set variables or of a set variable and a constant set,
// and the overlaps that are their opposites. Code that can fail keeps
// trivially destructible locals only.
#include <ostream>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcoperands.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_VAR_DEMON(QrcNullIntersectCtDemonI, "QrcNullIntersectCtDemon", QrcNullIntersectCtI,
                  propagateVar)

// The values of P(x) for which shared(v) holds, up to two: their count (0, 1
// or 2) and the first in w.
template <class Shared>
QrcInt sharedValues(const QrcIntSetVarI* x, Shared shared, QrcInt& w) {
  QrcInt found = 0;
  forEachPossible(x, [&](QrcInt v) {
    if (!shared(v)) return true;
    if (found == 0) w = v;
    return ++found < 2;
  });
  return found;
}

}  // namespace

// ---------------------------------------------------------------- a and b disjoint

void QrcNullIntersectCtI::post() {
  _a->whenDomain(new (_manager) QrcNullIntersectCtDemonI(_manager, this, _a));
  _b->whenDomain(new (_manager) QrcNullIntersectCtDemonI(_manager, this, _b));
}

void QrcNullIntersectCtI::propagate() {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  forEachRequired(a, [b](QrcInt v) {
    b->removePossible(v);
    return true;
  });
  forEachRequired(b, [a](QrcInt v) {
    a->removePossible(v);
    return true;
  });
}

void QrcNullIntersectCtI::propagateVar(QrcIntSetVarI* x) {
  QrcIntSetVarI* y = x == _a ? _b : _a;
  forEachAdded(x, [y](QrcInt v) { y->removePossible(v); });
}

QrcBool QrcNullIntersectCtI::isFalse() const {
  QrcIntSetVarI* b = _b;
  return forEachRequired(_a, [b](QrcInt v) { return !b->isRequired(v); }) ? 0 : 1;
}

QrcConstraintI* QrcNullIntersectCtI::makeOpposite() {
  return new (_manager) QrcOverlapCtI(_manager, _a, _b);
}

QrcConstraintI* QrcNullIntersectCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNullIntersectCtI(t, copyOf(_a, t), copyOf(_b, t));
}

// ---------------------------------------------------------------- a and b overlap

void QrcOverlapCtI::post() {
  _a->whenDomain(this);
  _b->whenDomain(this);
}

void QrcOverlapCtI::propagate() {
  QrcIntSetVarI* x = _a;
  QrcIntSetVarI* y = _b;
  if (possibleSize(x) > possibleSize(y)) x = _b, y = _a;
  QrcInt w = 0;
  QrcInt found = sharedValues(
      x, [y](QrcInt v) { return y->isPossible(v); }, w);
  if (found == 0) fail();
  if (found == 1) {
    x->addRequired(w);
    y->addRequired(w);
  }
}

QrcBool QrcOverlapCtI::isFalse() const {
  QrcIntSetVarI* x = _a;
  QrcIntSetVarI* y = _b;
  if (possibleSize(x) > possibleSize(y)) x = _b, y = _a;
  QrcInt w = 0;
  return sharedValues(
             x, [y](QrcInt v) { return y->isPossible(v); }, w) == 0
             ? 1
             : 0;
}

QrcConstraintI* QrcOverlapCtI::makeOpposite() {
  return new (_manager) QrcNullIntersectCtI(_manager, _a, _b);
}

QrcConstraintI* QrcOverlapCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcOverlapCtI(t, copyOf(_a, t), copyOf(_b, t));
}

// ---------------------------------------------------------------- s and c disjoint

void QrcNullIntersectCtCstI::propagate() {
  QrcIntSetVarI* s = _s;
  forEach(_c, [s](QrcInt v) {
    s->removePossible(v);
    return true;
  });
}

QrcBool QrcNullIntersectCtCstI::isFalse() const {
  QrcIntSetVarI* s = _s;
  return forEach(_c, [s](QrcInt v) { return !s->isRequired(v); }) ? 0 : 1;
}

QrcConstraintI* QrcNullIntersectCtCstI::makeOpposite() {
  return new (_manager) QrcOverlapCtCstI(_manager, _s, _c);
}

QrcConstraintI* QrcNullIntersectCtCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNullIntersectCtCstI(t, copyOf(_s, t), _c->copyFor(t));
}

// ---------------------------------------------------------------- s and c overlap

void QrcOverlapCtCstI::post() {
  _s->whenDomain(this);
}

void QrcOverlapCtCstI::propagate() {
  QrcIntSetI* c = _c;
  QrcInt w = 0;
  QrcInt found = sharedValues(
      _s, [c](QrcInt v) { return in(c, v); }, w);
  if (found == 0) fail();
  if (found == 1) _s->addRequired(w);
}

QrcBool QrcOverlapCtCstI::isFalse() const {
  QrcIntSetI* c = _c;
  QrcInt w = 0;
  return sharedValues(
             _s, [c](QrcInt v) { return in(c, v); }, w) == 0
             ? 1
             : 0;
}

QrcConstraintI* QrcOverlapCtCstI::makeOpposite() {
  return new (_manager) QrcNullIntersectCtCstI(_manager, _s, _c);
}

QrcConstraintI* QrcOverlapCtCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcOverlapCtCstI(t, copyOf(_s, t), _c->copyFor(t));
}

// ---------------------------------------------------------------- creation

QrcConstraint QrcNullIntersect(const QrcIntSetVar& ha, const QrcIntSetVar& hb) {
  QrcCheckOperands("QrcNullIntersect", {ha, hb});
  QrcIntSetVarI* a = need(ha, "QrcNullIntersect");
  QrcIntSetVarI* b = need(hb, "QrcNullIntersect");
  QrcManagerI* m = a->getManager();
  if (a == b) return QrcIntExp(a->getCardinality()) == QrcInt(0);
  return new (m) QrcNullIntersectCtI(m, a, b);
}

QrcConstraint QrcNullIntersect(const QrcIntSetVar& hs, const QrcIntSet& hc) {
  QrcIntSetVarI* s = need(hs, "QrcNullIntersect");
  QrcIntSetI* c = need(hc, "QrcNullIntersect");
  return new (s->getManager()) QrcNullIntersectCtCstI(s->getManager(), s, c);
}
