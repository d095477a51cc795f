// Equality and inequality of two set variables, and of a set variable and a
// constant set. Code that can fail keeps trivially destructible locals only.
#include <ostream>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcoperands.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_VAR_DEMON(QrcEqSetCtDemonI, "QrcEqSetCtDemon", QrcEqSetCtI, propagateVar)

// x bound (its value has k values), y with R(y) = r values and P(y) = r + 1:
// u is the undecided value of y. Walks P(y) for the values outside x (stops at
// a second one). With exactly one, w, and k = r: y = R(y) would equal x when
// w is u, so w is required (nothing changes otherwise). With none and k = r + 1:
// P(y) is x, so y = P(y) would equal x and u leaves P(y).
template <class Outside>
void decideLastValue(QrcIntSetVarI* y, QrcInt k, Outside outside) {
  QrcInt r = requiredSize(y), p = possibleSize(y);
  if (p != r + 1 || k < r || k > p) return;
  QrcInt found = 0, w = 0;
  forEachPossible(y, [&](QrcInt v) {
    if (!outside(v)) return true;
    w = v;
    return ++found < 2;
  });
  if (found == 1 && k == r) y->addRequired(w);
  if (found == 0 && k == p) y->removePossible(y->getFirstUndecided());
}

}  // namespace

// ---------------------------------------------------------------- a == b

void QrcEqSetCtI::post() {
  addConstraint((QrcIntExp(_a->getCardinality()) == QrcIntExp(_b->getCardinality())).getImpl());
  _a->whenDomain(new (_manager) QrcEqSetCtDemonI(_manager, this, _a));
  _b->whenDomain(new (_manager) QrcEqSetCtDemonI(_manager, this, _b));
}

void QrcEqSetCtI::propagate() {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  forEachPossible(a, [a, b](QrcInt v) {
    if (!b->isPossible(v)) a->removePossible(v);
    return true;
  });
  equalizeOverB(a, b);
}

void QrcEqSetCtI::propagateVar(QrcIntSetVarI* x) {
  QrcIntSetVarI* y = x == _a ? _b : _a;
  forEachRemoved(x, [y](QrcInt v) { y->removePossible(v); });
  forEachAdded(x, [y](QrcInt v) { y->addRequired(v); });
}

QrcBool QrcEqSetCtI::isFalse() const {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  if (!forEachRequired(a, [b](QrcInt v) { return b->isPossible(v); })) return 1;
  return forEachRequired(b, [a](QrcInt v) { return a->isPossible(v); }) ? 0 : 1;
}

QrcConstraintI* QrcEqSetCtI::makeOpposite() {
  return new (_manager) QrcNeqSetCtI(_manager, _a, _b);
}

QrcConstraintI* QrcEqSetCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqSetCtI(t, copyOf(_a, t), copyOf(_b, t));
}

void QrcEqSetCtI::display(std::ostream& os) const {
  _a->display(os);
  os << " == ";
  _b->display(os);
}

// ---------------------------------------------------------------- a != b

void QrcNeqSetCtI::post() {
  _a->whenValue(this);
  _b->whenValue(this);
}

void QrcNeqSetCtI::propagate() {
  if (_a->isBound()) propagateBound(_a, _b);
  if (_b->isBound()) propagateBound(_b, _a);
}

void QrcNeqSetCtI::propagateBound(QrcIntSetVarI* x, QrcIntSetVarI* y) {
  if (y->isBound()) {
    if (isFalse()) fail();
    return;
  }
  decideLastValue(y, requiredSize(x), [x](QrcInt v) { return !x->isRequired(v); });
}

QrcBool QrcNeqSetCtI::isFalse() const {
  if (!_a->isBound() || !_b->isBound() || requiredSize(_a) != requiredSize(_b)) return 0;
  QrcIntSetVarI* b = _b;
  return forEachRequired(_a, [b](QrcInt v) { return b->isPossible(v); }) ? 1 : 0;
}

void QrcNeqSetCtI::metaPostDemon(QrcDemonI* demon) {
  _a->whenValue(demon);
  _b->whenValue(demon);
}

QrcConstraintI* QrcNeqSetCtI::makeOpposite() {
  return new (_manager) QrcEqSetCtI(_manager, _a, _b);
}

QrcConstraintI* QrcNeqSetCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqSetCtI(t, copyOf(_a, t), copyOf(_b, t));
}

void QrcNeqSetCtI::display(std::ostream& os) const {
  _a->display(os);
  os << " != ";
  _b->display(os);
}

// ---------------------------------------------------------------- s == c

void QrcEqSetCtCstI::propagate() {
  _s->addRequired(_c);
  _s->restrictPossible(_c);
}

QrcBool QrcEqSetCtCstI::isFalse() const {
  QrcIntSetVarI* s = _s;
  QrcIntSetI* c = _c;
  if (!forEachRequired(s, [c](QrcInt v) { return in(c, v); })) return 1;
  return forEach(c, [s](QrcInt v) { return s->isPossible(v); }) ? 0 : 1;
}

QrcConstraintI* QrcEqSetCtCstI::makeOpposite() {
  return new (_manager) QrcNeqSetCtCstI(_manager, _s, _c);
}

QrcConstraintI* QrcEqSetCtCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqSetCtCstI(t, copyOf(_s, t), _c->copyFor(t));
}

// ---------------------------------------------------------------- s != c

void QrcNeqSetCtCstI::post() {
  _s->whenDomain(this);
}

void QrcNeqSetCtCstI::propagate() {
  if (_s->isBound()) {
    if (isFalse()) fail();
    return;
  }
  QrcIntSetI* c = _c;
  decideLastValue(_s, c->getSize(), [c](QrcInt v) { return !in(c, v); });
}

QrcBool QrcNeqSetCtCstI::isFalse() const {
  if (!_s->isBound() || requiredSize(_s) != _c->getSize()) return 0;
  QrcIntSetI* c = _c;
  return forEachRequired(_s, [c](QrcInt v) { return in(c, v); }) ? 1 : 0;
}

QrcConstraintI* QrcNeqSetCtCstI::makeOpposite() {
  return new (_manager) QrcEqSetCtCstI(_manager, _s, _c);
}

QrcConstraintI* QrcNeqSetCtCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqSetCtCstI(t, copyOf(_s, t), _c->copyFor(t));
}

// ---------------------------------------------------------------- creation

QrcConstraint operator==(const QrcIntSetVar& ha, const QrcIntSetVar& hb) {
  QrcCheckOperands("operator==", {ha, hb});
  QrcIntSetVarI* a = need(ha, "operator==");
  QrcIntSetVarI* b = need(hb, "operator==");
  QrcManagerI* m = a->getManager();
  if (a == b) return m->getTrueConstraint();
  return new (m) QrcEqSetCtI(m, a, b);
}

QrcConstraint operator!=(const QrcIntSetVar& ha, const QrcIntSetVar& hb) {
  QrcCheckOperands("operator!=", {ha, hb});
  QrcIntSetVarI* a = need(ha, "operator!=");
  QrcIntSetVarI* b = need(hb, "operator!=");
  QrcManagerI* m = a->getManager();
  if (a == b) return m->getTrueConstraint()->getOpposite();
  return new (m) QrcNeqSetCtI(m, a, b);
}

QrcConstraint operator==(const QrcIntSetVar& hs, const QrcIntSet& hc) {
  QrcIntSetVarI* s = need(hs, "operator==");
  QrcIntSetI* c = need(hc, "operator==");
  return new (s->getManager()) QrcEqSetCtCstI(s->getManager(), s, c);
}

QrcConstraint operator!=(const QrcIntSetVar& hs, const QrcIntSet& hc) {
  QrcIntSetVarI* s = need(hs, "operator!=");
  QrcIntSetI* c = need(hc, "operator!=");
  return new (s->getManager()) QrcNeqSetCtCstI(s->getManager(), s, c);
}
