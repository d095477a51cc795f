// Subsets between two set variables and between a set variable and a constant
// set, with their negations, and the strict subsets built from them. Code
// that can fail keeps trivially destructible locals only.
#include <ostream>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcoperands.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_DEMON(QrcSubSetEqaDemonI, "QrcSubSetEqaDemon", QrcSubSetEqCtI, propagateA)
QRC_SET_DEMON(QrcSubSetEqbDemonI, "QrcSubSetEqbDemon", QrcSubSetEqCtI, propagateB)
QRC_SET_DEMON(QrcSubSetEqCardDemonI, "QrcSubSetEqCardDemon", QrcSubSetEqCtI, propagateCard)

}  // namespace

// ---------------------------------------------------------------- a subset of b

void QrcSubSetEqCtI::post() {
  QrcDemonI* card = new (_manager) QrcSubSetEqCardDemonI(_manager, this);
  _a->getCardinality()->whenRange(card);
  _b->getCardinality()->whenRange(card);
  _a->whenDomain(new (_manager) QrcSubSetEqaDemonI(_manager, this));
  _b->whenDomain(new (_manager) QrcSubSetEqbDemonI(_manager, this));
}

bool QrcSubSetEqCtI::sizesForcedEqual() const {
  return _a->getCardinality()->getMin() == _b->getCardinality()->getMax();
}

void QrcSubSetEqCtI::propagateCard() {
  QrcInt lo = _a->getCardinality()->getMin(), hi = _b->getCardinality()->getMax();
  _b->getCardinality()->setMin(lo);
  _a->getCardinality()->setMax(hi);
  if (lo == hi) propagateEquality();
}

void QrcSubSetEqCtI::propagateEquality() {
  equalizeOverB(_a, _b);
}

void QrcSubSetEqCtI::propagate() {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  propagateCard();
  forEachPossible(a, [a, b](QrcInt v) {
    if (!b->isPossible(v)) a->removePossible(v);
    return true;
  });
  if (sizesForcedEqual()) {
    propagateEquality();
    return;
  }
  forEachRequired(a, [b](QrcInt v) {
    b->addRequired(v);
    return true;
  });
}

void QrcSubSetEqCtI::propagateA() {
  QrcIntSetVarI* b = _b;
  forEachAdded(_a, [b](QrcInt v) { b->addRequired(v); });
  if (sizesForcedEqual()) forEachRemoved(_a, [b](QrcInt v) { b->removePossible(v); });
}

void QrcSubSetEqCtI::propagateB() {
  QrcIntSetVarI* a = _a;
  forEachRemoved(_b, [a](QrcInt v) { a->removePossible(v); });
  if (sizesForcedEqual()) forEachAdded(_b, [a](QrcInt v) { a->addRequired(v); });
}

QrcBool QrcSubSetEqCtI::isFalse() const {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  if (!forEachRequired(a, [b](QrcInt v) { return b->isPossible(v); })) return 1;
  if (!sizesForcedEqual()) return 0;
  return forEachRequired(b, [a](QrcInt v) { return a->isPossible(v); }) ? 0 : 1;
}

QrcConstraintI* QrcSubSetEqCtI::makeOpposite() {
  return new (_manager) QrcNotSubSetEqCtI(_manager, _a, _b);
}

QrcConstraintI* QrcSubSetEqCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSubSetEqCtI(t, copyOf(_a, t), copyOf(_b, t));
}

void QrcSubSetEqCtI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  os << "QrcSubSetEq(";
  _a->display(os);
  os << ", ";
  _b->display(os);
  os << ")";
}

// ---------------------------------------------------------------- a not a subset of b

void QrcNotSubSetEqCtI::post() {
  _a->whenDomain(this);
  _b->whenDomain(this);
}

void QrcNotSubSetEqCtI::propagate() {
  if (isFalse()) fail();
}

QrcBool QrcNotSubSetEqCtI::isFalse() const {
  QrcIntSetVarI* b = _b;
  return forEachPossible(_a, [b](QrcInt v) { return b->isRequired(v); }) ? 1 : 0;
}

QrcConstraintI* QrcNotSubSetEqCtI::makeOpposite() {
  return new (_manager) QrcSubSetEqCtI(_manager, _a, _b);
}

QrcConstraintI* QrcNotSubSetEqCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNotSubSetEqCtI(t, copyOf(_a, t), copyOf(_b, t));
}

// ---------------------------------------------------------------- c subset of s

void QrcSubSetEqCtC2VI::propagate() {
  _s->addRequired(_c);
}

QrcBool QrcSubSetEqCtC2VI::isFalse() const {
  QrcIntSetVarI* s = _s;
  return forEach(_c, [s](QrcInt v) { return s->isPossible(v); }) ? 0 : 1;
}

QrcConstraintI* QrcSubSetEqCtC2VI::makeOpposite() {
  return new (_manager) QrcNotSubSetEqCtC2VI(_manager, _c, _s);
}

QrcConstraintI* QrcSubSetEqCtC2VI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSubSetEqCtC2VI(t, _c->copyFor(t), copyOf(_s, t));
}

void QrcNotSubSetEqCtC2VI::post() {
  _s->whenDomain(this);
}

void QrcNotSubSetEqCtC2VI::propagate() {
  if (isFalse()) fail();
}

QrcBool QrcNotSubSetEqCtC2VI::isFalse() const {
  QrcIntSetVarI* s = _s;
  return forEach(_c, [s](QrcInt v) { return s->isRequired(v); }) ? 1 : 0;
}

QrcConstraintI* QrcNotSubSetEqCtC2VI::makeOpposite() {
  return new (_manager) QrcSubSetEqCtC2VI(_manager, _c, _s);
}

QrcConstraintI* QrcNotSubSetEqCtC2VI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNotSubSetEqCtC2VI(t, _c->copyFor(t), copyOf(_s, t));
}

// ---------------------------------------------------------------- s subset of c

void QrcSubSetEqCtV2CI::propagate() {
  QrcIntSetVarI* s = _s;
  QrcIntSetI* c = _c;
  forEachPossible(s, [s, c](QrcInt v) {
    if (!in(c, v)) s->removePossible(v);
    return true;
  });
}

QrcBool QrcSubSetEqCtV2CI::isFalse() const {
  QrcIntSetI* c = _c;
  return forEachRequired(_s, [c](QrcInt v) { return in(c, v); }) ? 0 : 1;
}

QrcConstraintI* QrcSubSetEqCtV2CI::makeOpposite() {
  return new (_manager) QrcNotSubSetEqCtV2CI(_manager, _c, _s);
}

QrcConstraintI* QrcSubSetEqCtV2CI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSubSetEqCtV2CI(t, _c->copyFor(t), copyOf(_s, t));
}

void QrcNotSubSetEqCtV2CI::post() {
  _s->whenDomain(this);
}

void QrcNotSubSetEqCtV2CI::propagate() {
  if (isFalse()) fail();
}

QrcBool QrcNotSubSetEqCtV2CI::isFalse() const {
  QrcIntSetI* c = _c;
  return forEachPossible(_s, [c](QrcInt v) { return in(c, v); }) ? 1 : 0;
}

QrcConstraintI* QrcNotSubSetEqCtV2CI::makeOpposite() {
  return new (_manager) QrcSubSetEqCtV2CI(_manager, _c, _s);
}

QrcConstraintI* QrcNotSubSetEqCtV2CI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNotSubSetEqCtV2CI(t, _c->copyFor(t), copyOf(_s, t));
}

// ---------------------------------------------------------------- creation

QrcConstraint QrcSubsetEq(const QrcIntSetVar& ha, const QrcIntSetVar& hb) {
  QrcCheckOperands("QrcSubsetEq", {ha, hb});
  QrcIntSetVarI* a = need(ha, "QrcSubsetEq");
  QrcIntSetVarI* b = need(hb, "QrcSubsetEq");
  QrcManagerI* m = a->getManager();
  if (a == b) return m->getTrueConstraint();
  return new (m) QrcSubSetEqCtI(m, a, b);
}

QrcConstraint QrcSubsetEq(const QrcIntSet& hc, const QrcIntSetVar& hs) {
  QrcIntSetI* c = need(hc, "QrcSubsetEq");
  QrcIntSetVarI* s = need(hs, "QrcSubsetEq");
  // In the variable's manager: a constant set may belong to another one
  // (copies share theirs), whose trail would not undo the relation's state.
  return new (s->getManager()) QrcSubSetEqCtC2VI(s->getManager(), c, s);
}

QrcConstraint QrcSubsetEq(const QrcIntSetVar& hs, const QrcIntSet& hc) {
  QrcIntSetVarI* s = need(hs, "QrcSubsetEq");
  QrcIntSetI* c = need(hc, "QrcSubsetEq");
  return new (s->getManager()) QrcSubSetEqCtV2CI(s->getManager(), c, s);
}

QrcConstraint QrcSubset(const QrcIntSetVar& ha, const QrcIntSetVar& hb) {
  QrcCheckOperands("QrcSubset", {ha, hb});
  QrcIntSetVarI* a = need(ha, "QrcSubset");
  QrcIntSetVarI* b = need(hb, "QrcSubset");
  if (a == b) return a->getManager()->getTrueConstraint()->getOpposite();
  return (QrcIntExp(a->getCardinality()) < QrcIntExp(b->getCardinality())) && QrcSubsetEq(ha, hb);
}

QrcConstraint QrcSubset(const QrcIntSet& hc, const QrcIntSetVar& hs) {
  QrcIntSetI* c = need(hc, "QrcSubset");
  QrcIntSetVarI* s = need(hs, "QrcSubset");
  return (c->getSize() < QrcIntExp(s->getCardinality())) && QrcSubsetEq(hc, hs);
}

QrcConstraint QrcSubset(const QrcIntSetVar& hs, const QrcIntSet& hc) {
  QrcIntSetVarI* s = need(hs, "QrcSubset");
  QrcIntSetI* c = need(hc, "QrcSubset");
  return (QrcIntExp(s->getCardinality()) < c->getSize()) && QrcSubsetEq(hs, hc);
}
