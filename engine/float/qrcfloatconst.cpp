#include "qrcfloatconst.h"

#include <cfloat>
#include <cmath>
#include <ostream>

#include "qrcfloatset.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

namespace {
const double Inf = HUGE_VAL;
}

// ---------------------------------------------------------------- constants

QrcFloatConstI::QrcFloatConstI(QrcManagerI* manager, QrcFloat min, QrcFloat max, const char* name)
    : QrcFloatExpI(manager, min, max, manager->getDefaultPrecision(), name) {
  manager->decrementVariableCount();
}

QrcFloatConstI* QrcFloatConstI::make(QrcManagerI* manager, QrcFloat min, QrcFloat max,
                                     const char* name) {
  return new (manager) QrcFloatConstI(manager, min, max, name);
}

QrcFloatConstI* QrcFloatConstI::make(const QrcManager& manager, QrcFloat min, QrcFloat max,
                                     const char* name) {
  manager.checkImplementation(manager.getImpl(), "QrcFloatConstI::make");
  return make(manager.getImpl(), min, max, name);
}

bool QrcFloatConstI::isEqual(const QrcExprI* other) const {
  if (other == this) return true;
  if (!other || other->getExprTypeId() != getExprTypeId()) return false;
  const QrcFloatConstI* c = static_cast<const QrcFloatConstI*>(other);
  return c->rawMin() == _min && c->rawMax() == _max;
}

QrcExprI* QrcFloatConstI::makeCopy(QrcManagerI* target) const {
  return make(target, _min, _max, getName());
}

void QrcFloatConstI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) {
  acc->addConstant((_max + _min) * 0.5 * coef);
}

void QrcFloatConstI::setOperandsRange(QrcFloat a, QrcFloat b) {
  if (a > _max || _min > b) fail();
}

// ---------------------------------------------------------------- expression-variable link

void QrcFloatExpEventHandlerConstraintI::post() {
  _exp->whenRange(this);
  _exp->whenRangeOnOperands(this);
}

void QrcFloatExpEventHandlerConstraintI::propagate() {
  QrcFloatExpI* e = _exp;
  QrcFloat oldMin = e->rawMin(), oldMax = e->rawMax();
  e->saveMin();
  e->saveMax();
  // The flag is not trailed: it never stays set on the variable.
  e->takeUndefined();
  e->computeRange();
  if (e->takeUndefined()) {
    e->storeRange(oldMin, oldMax);
    fail();
  }
  e->setOperandsRange(oldMin, oldMax);
  QrcFloat newMin = e->rawMin(), newMax = e->rawMax();
  e->storeRange(oldMin, oldMax);
  e->setRange(newMin, newMax);
}

bool QrcFloatExpEventHandlerConstraintI::runIfQuiet() {
  QrcFloatExpI* e = _exp;
  if (_manager->variablePrecision()) return false;
  QrcFloat oldMin = e->rawMin(), oldMax = e->rawMax();
  // The first steps of propagate: the bounds from the operands, then the old
  // ones put back.
  e->takeUndefined();
  e->computeRange();
  bool undefined = e->takeUndefined();
  bool same = e->rawMin() == oldMin && e->rawMax() == oldMax;
  e->storeRange(oldMin, oldMax);
  // Narrowed to those bounds, the operands and the variable keep theirs.
  if (undefined || !same || !(oldMin > -Inf && oldMax < Inf) || !e->hasQuietOperands())
    return false;
  e->saveMin();
  e->saveMax();
  e->touchOperands();
  e->touch();
  return true;
}

void QrcFloatExpEventHandlerConstraintI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << " QrcFloatExpEventHandlerConstraintI(";
  _exp->display(os);
  os << ")";
}

// ---------------------------------------------------------------- value demon

void QrcFloatValueConstraintI::propagate() {
  if (!_exp->isBound()) return;
  _demon->markPending();
  _demon->runIfPending();
}

void QrcFloatValueConstraintI::display(std::ostream& os) const {
  os << "QrcFloatValueConstraint";
}

// ---------------------------------------------------------------- saver

QrcFloatSaverI::QrcFloatSaverI(QrcFloatExpI* exp)
    : QrcSaverI(exp), _min(exp->getMin()), _max(exp->getMax()) {}

void QrcFloatSaverI::save() {
  QrcFloatExpI* e = static_cast<QrcFloatExpI*>(_exp);
  _min = e->getMin();
  _max = e->getMax();
}

void QrcFloatSaverI::restore() {
  QrcFloatExpI* e = static_cast<QrcFloatExpI*>(_exp);
  QrcFloatVarEventHandlerI* h = e->getFloatHandler();
  if (!h) return;
  h->setOldBounds(_min, _max);
  e->saveMin();
  e->saveMax();
  e->storeRange(_min, _max);
  if (e->getValueSet()) {
    e->getManager()->saveValue(e->valueSetAddress());
    e->setValueSet(nullptr);
  }
  e->invalidateParents();
}

// ---------------------------------------------------------------- objective filter

QrcFloatOptFilterI::QrcFloatOptFilterI(QrcFloatExpI* exp, QrcFloat step, QrcFloat relativeStep)
    : QrcOptFilterI(exp),
      _bound(exp->getMax()),
      _value(exp->getMax()),
      _step(step),
      _relativeStep(relativeStep),
      _found(0) {}

QrcFloat QrcFloatOptFilterI::getBound() const {
  return _found ? _bound + _step : Inf;
}

QrcBool QrcFloatOptFilterI::checkValue(QrcFloat value) const {
  if (!(_bound >= value)) return 0;
  _value = value;
  _bound = _bound - _step;
  _found = 1;
  return 1;
}

void QrcFloatOptFilterI::applyBound() {
  exp()->setRange(-Inf, _bound);
}

void QrcFloatOptFilterI::computeNextBound() {
  QrcFloat max = exp()->getMax();
  _value = max;
  if (_relativeStep == 0) {
    _bound = max == -DBL_MAX ? max : max - _step;
  } else {
    QrcFloat rel = std::fabs(max) * _relativeStep;
    _bound = max - (rel > _step ? rel : _step);
  }
  _found = 1;
}

void QrcFloatOptFilterI::update() {
  QrcFloatExpI* e = exp();
  if (e->getMax() > _bound) {
    e->setRange(-Inf, _bound);
    e->getManager()->recordObjectiveValue(_bound);
  }
}

void QrcFloatOptFilterI::applyRecordedBound(QrcFloat value) {
  exp()->setRange(-Inf, value);
}

void QrcFloatOptFilterI::advanceBound() {
  _bound = _value;
}

// ---------------------------------------------------------------- iterator

QrcFloatExpIterator::QrcFloatExpIterator(const QrcFloatExp& exp)
    : _exp(exp.getImpl()), _current(0), _first(0), _moved(0) {
  if (!_exp)
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatExpIterator::QrcFloatExpIterator");
  if (!_exp->getValueSet()) {
    _exp->getErrorReporter()->report(QrcContinuousVariableError,
                                     "QrcFloatExpIterator::QrcFloatExpIterator",
                                     "continuous constrained variable", _exp);
    return;
  }
  init();
}

void QrcFloatExpIterator::init() {
  if (!_exp->getValueSet()) {
    _exp->getErrorReporter()->report(QrcContinuousVariableError, "QrcFloatExpIterator::init",
                                     "continuous constrained variable", _exp);
    return;
  }
  // Just below the minimum (min - 1 would equal min for large values).
  _current = std::nextafter(_exp->getMin(), -Inf);
  _first = _exp->getNextHigher(_current);
  _moved = _first != _current;
}

QrcBool QrcFloatExpIterator::next(QrcFloat& out) {
  if (!_exp->getValueSet()) return 0;
  QrcFloat v = _exp->getNextHigher(_current);
  out = v;
  QrcFloat previous = _current;
  _current = v;
  return v != previous;
}
