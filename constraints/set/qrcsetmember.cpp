// Membership of a value or an integer expression in a set variable, and its
// negation. Code that can fail keeps trivially destructible locals only.
#include <ostream>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcoperands.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_DEMON(QrcMemberCtDemonI, "QrcMemberCtDemon", QrcMemberCtI, propagateSet)
QRC_SET_DEMON(QrcMemberCtVarDemonI, "QrcMemberCtVarDemon", QrcMemberCtI, propagateValue)
QRC_SET_DEMON(QrcNotMemberCtDemonI, "QrcNotMemberCtDemon", QrcNotMemberCtI, propagateSet)
QRC_SET_DEMON(QrcNotMemberCtVarDemonI, "QrcNotMemberCtVarDemon", QrcNotMemberCtI, propagateValue)

// x itself, made a variable first when it is an expression node: the values
// removed from it stay removed when its operands bind.
QrcIntExpI* asVariable(QrcIntExpI* x) {
  if (!x->isVariable()) x->makeEventHandlerConstraint();
  return x;
}

// card(s) > 0.
QrcConstraintI* notEmpty(QrcIntSetVarI* s) {
  return (QrcIntExp(s->getCardinality()) > QrcInt(0)).getImpl();
}

// "(" x op s ") ", x printed by print.
template <class P>
void show(std::ostream& os, P print, const char* op, const QrcIntSetVarI* s) {
  os << "(";
  print(os);
  os << op;
  s->display(os);
  os << ") ";
}

}  // namespace

// ---------------------------------------------------------------- x in s

void QrcMemberCtI::post() {
  addConstraint(notEmpty(_s));
  _s->whenDomain(new (_manager) QrcMemberCtDemonI(_manager, this));
  _x->whenValue(new (_manager) QrcMemberCtVarDemonI(_manager, this));
}

void QrcMemberCtI::propagate() {
  QrcIntExpI* x = _x;
  QrcIntSetVarI* s = _s;
  // Values outside [least, greatest possible value] go at once; then the
  // smaller of x's domain and P(s) is walked: the values of x that P(s) lacks,
  // or the gaps between consecutive possible values, each removed as a range.
  QrcInt lo, hi;
  if (!possibleBounds(s, lo, hi)) fail();
  x->setRange(lo, hi);
  if (x->getSize() <= possibleSize(s)) {
    forEachValue(x, [x, s](QrcInt w) {
      if (!s->isPossible(w)) x->removeValue(w);
      return true;
    });
  } else {
    QrcInt last = lo;
    forEachPossible(s, [x, &last](QrcInt w) {
      if (w > last + 1) x->removeRange(last + 1, w - 1);
      last = w;
      return true;
    });
  }
  if (x->isBound()) s->addRequired(x->getValue());
}

void QrcMemberCtI::propagateSet() {
  QrcIntExpI* x = _x;
  forEachRemoved(_s, [x](QrcInt w) { x->removeValue(w); });
}

void QrcMemberCtI::propagateValue() {
  if (_x->isBound()) _s->addRequired(_x->getValue());
}

QrcBool QrcMemberCtI::isFalse() const {
  QrcIntExpI* x = _x;
  QrcIntSetVarI* s = _s;
  if (x->getSize() <= possibleSize(s))
    return forEachValue(x, [s](QrcInt w) { return !s->isPossible(w); }) ? 1 : 0;
  return forEachPossible(s, [x](QrcInt w) { return !x->isInDomain(w); }) ? 1 : 0;
}

QrcConstraintI* QrcMemberCtI::makeOpposite() {
  return new (_manager) QrcNotMemberCtI(_manager, _x, _s);
}

QrcConstraintI* QrcMemberCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcMemberCtI(t, asVariable(copyOf(_x, t)), copyOf(_s, t));
}

void QrcMemberCtI::display(std::ostream& os) const {
  QrcIntExpI* x = _x;
  show(
      os, [x](std::ostream& o) { o << QrcIntExp(x); }, " in ", _s);
}

// ---------------------------------------------------------------- x not in s

void QrcNotMemberCtI::post() {
  _s->whenDomain(new (_manager) QrcNotMemberCtDemonI(_manager, this));
  _x->whenValue(new (_manager) QrcNotMemberCtVarDemonI(_manager, this));
}

void QrcNotMemberCtI::propagate() {
  QrcIntExpI* x = _x;
  QrcIntSetVarI* s = _s;
  // Walks the smaller of the domain of x and R(s).
  if (x->getSize() <= requiredSize(s)) {
    forEachValue(x, [x, s](QrcInt w) {
      if (s->isRequired(w)) x->removeValue(w);
      return true;
    });
  } else {
    forEachRequired(s, [x](QrcInt w) {
      x->removeValue(w);
      return true;
    });
  }
  if (x->isBound()) s->removePossible(x->getValue());
}

void QrcNotMemberCtI::propagateSet() {
  QrcIntExpI* x = _x;
  forEachAdded(_s, [x](QrcInt w) { x->removeValue(w); });
}

void QrcNotMemberCtI::propagateValue() {
  if (_x->isBound()) _s->removePossible(_x->getValue());
}

QrcBool QrcNotMemberCtI::isFalse() const {
  QrcIntExpI* x = _x;
  QrcIntSetVarI* s = _s;
  if (x->getSize() > requiredSize(s)) return 0;
  return forEachValue(x, [s](QrcInt w) { return s->isRequired(w); }) ? 1 : 0;
}

QrcConstraintI* QrcNotMemberCtI::makeOpposite() {
  return new (_manager) QrcMemberCtI(_manager, _x, _s);
}

QrcConstraintI* QrcNotMemberCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNotMemberCtI(t, asVariable(copyOf(_x, t)), copyOf(_s, t));
}

void QrcNotMemberCtI::display(std::ostream& os) const {
  QrcIntExpI* x = _x;
  show(
      os, [x](std::ostream& o) { o << QrcIntExp(x); }, " not in ", _s);
}

// ---------------------------------------------------------------- v in s

void QrcMemberCtCstI::post() {
  if (_s->isRequired(_v)) return;
  addConstraint(notEmpty(_s));
  _s->whenDomain(this);
}

void QrcMemberCtCstI::propagate() {
  _s->addRequired(_v);
}

QrcBool QrcMemberCtCstI::isFalse() const {
  return _s->isPossible(_v) ? 0 : 1;
}

QrcConstraintI* QrcMemberCtCstI::makeOpposite() {
  return new (_manager) QrcNotMemberCtCstI(_manager, _v, _s);
}

QrcConstraintI* QrcMemberCtCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcMemberCtCstI(t, _v, copyOf(_s, t));
}

void QrcMemberCtCstI::display(std::ostream& os) const {
  QrcInt v = _v;
  show(
      os, [v](std::ostream& o) { o << v; }, " in ", _s);
}

// ---------------------------------------------------------------- v not in s

void QrcNotMemberCtCstI::post() {
  propagate();
  // Still possible while s defers its changes (posted from one of its demons).
  if (_s->isPossible(_v)) _s->whenDomain(this);
}

void QrcNotMemberCtCstI::propagate() {
  _s->removePossible(_v);
}

QrcBool QrcNotMemberCtCstI::isFalse() const {
  return _s->isRequired(_v) ? 1 : 0;
}

QrcConstraintI* QrcNotMemberCtCstI::makeOpposite() {
  return new (_manager) QrcMemberCtCstI(_manager, _v, _s);
}

QrcConstraintI* QrcNotMemberCtCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNotMemberCtCstI(t, _v, copyOf(_s, t));
}

void QrcNotMemberCtCstI::display(std::ostream& os) const {
  QrcInt v = _v;
  show(
      os, [v](std::ostream& o) { o << v; }, " not in ", _s);
}

// ---------------------------------------------------------------- creation

QrcConstraint QrcMember(const QrcIntExp& hx, const QrcIntSetVar& hs) {
  QrcCheckOperands("QrcMember", {hx, hs});
  QrcIntExpI* x = asVariable(need(hx, "QrcMember"));
  QrcIntSetVarI* s = need(hs, "QrcMember");
  return new (x->getManager()) QrcMemberCtI(x->getManager(), x, s);
}

QrcConstraint QrcMember(QrcInt v, const QrcIntSetVar& hs) {
  QrcIntSetVarI* s = need(hs, "QrcMember");
  return new (s->getManager()) QrcMemberCtCstI(s->getManager(), v, s);
}

QrcConstraint QrcNotMember(const QrcIntExp& hx, const QrcIntSetVar& hs) {
  QrcCheckOperands("QrcNotMember", {hx, hs});
  QrcIntExpI* x = asVariable(need(hx, "QrcNotMember"));
  QrcIntSetVarI* s = need(hs, "QrcNotMember");
  return new (x->getManager()) QrcNotMemberCtI(x->getManager(), x, s);
}

QrcConstraint QrcNotMember(QrcInt v, const QrcIntSetVar& hs) {
  QrcIntSetVarI* s = need(hs, "QrcNotMember");
  return new (s->getManager()) QrcNotMemberCtCstI(s->getManager(), v, s);
}
