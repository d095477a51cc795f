// Truth expressions of constraints, the integer objective filter and savers.
#include <cmath>
#include <ostream>
#include <typeinfo>

#include "qrcint.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcinttruth.h"
#include "qrcmanager.h"

// ---------------------------------------------------------------- truth expression

QrcBoolIntExpI::QrcBoolIntExpI(QrcManagerI* m, QrcConstraintI* ct) : QrcIntExpI(m), _ct(ct) {
  if (m->isInEditMode())
    m->add(new (m) QrcLinkBoolIntExpI(m, this, ct));
  else
    ct->attachMetaDemon(new (m) QrcMetaExpressionDemon(m, this));
}

QrcExprI* QrcBoolIntExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcBoolIntExpI(t, _ct->getCopyForManager(t));
}

void QrcBoolIntExpI::computeRange() {
  _min = _ct->isKnownTrue() ? 1 : 0;
  _max = _ct->isKnownFalse() ? 0 : 1;
}

bool QrcBoolIntExpI::isKnown(bool onlyTrue) {
  // Made a variable, the expression's bounds follow the truth only once its
  // link runs, and the link is the reader this answer wakes: ask the
  // constraint.
  if (!_handler && hasFreshBounds()) return _min == 1 || (!onlyTrue && _max == 0);
  bool known = false;
  auto ask = [&] { known = (!onlyTrue && _ct->isKnownFalse()) || _ct->isKnownTrue(); };
  // The nesting of the connectives is walked with stack room under exceptions.
  if (_manager->usesExceptions())
    _manager->withStackRoom(ask);
  else
    ask();
  return known;
}

void QrcBoolIntExpI::setOperandsRange(QrcInt a, QrcInt b) {
  if (a >= 2) fail();
  if (a == 1) _manager->add(_ct);
  if (b < 0) fail();
  if (b == 0) _ct->postOpposite();
}

void QrcBoolIntExpI::whenRangeOnOperands(QrcDemonI* d) {
  if (_ct->getTruthRecord()) {
    // The records wake d exactly when the truth becomes known.
    _ct->attachMetaDemon(d);
    QrcConstraintI* o = _ct->getOpposite();
    if (o) o->attachMetaDemon(d);
    return;
  }
  QrcDemonI* w = new (_manager) QrcWhenKnownDemonI(_manager, this, d);
  _ct->attachMetaDemon(w);
  QrcConstraintI* o = _ct->getOpposite();
  // w already wakes on every event that can make the opposite known false.
  if (!o || _ct->wakesWithOpposite()) return;
  // The opposite's events tell of the truth becoming known true.
  o->metaPostDemon(new (_manager) QrcWhenKnownDemonI(_manager, this, d, true));
}

namespace {

// The test of a comparison x <= y + k of variables plus constants, or of
// x == c over a variable.
bool truthTest(QrcConstraintI* ct, QrcTruthTest& t) {
  if (typeid(*ct) == typeid(QrcLeOffsetI))
    return static_cast<QrcLeOffsetI*>(ct)->getVarTest(t.x, t.y, t.k);
  if (typeid(*ct) != typeid(QrcEqCstConstraint)) return false;
  QrcEqCstConstraint* e = static_cast<QrcEqCstConstraint*>(ct);
  t.x = static_cast<QrcIntExpI*>(e->getExpr());
  t.y = nullptr;
  t.k = e->getConstant();
  return t.x->isVariable();
}

}  // namespace

QrcWhenKnownDemonI::QrcWhenKnownDemonI(QrcManagerI* m, QrcBoolIntExpI* truth, QrcDemonI* d,
                                       bool onlyTrue)
    : QrcDemonI(m), _truth(truth), _d(d), _onlyTrue(onlyTrue), _testCount(0), _tests() {
  setState(Idle);
  QrcConstraintI* ct = truth->getConstraint();
  if (truthTest(ct, _tests[0])) {
    _testCount = 1;
  } else if (typeid(*ct) == typeid(QrcBoolAndExpI)) {
    QrcBoolAndExpI* a = static_cast<QrcBoolAndExpI*>(ct);
    if (truthTest(a->getFirst(), _tests[0]) && truthTest(a->getSecond(), _tests[1])) _testCount = 2;
  }
}

// As the constraint's isKnownFalse || isKnownTrue: a conjunction is known
// false when a part is, true when both are. Read in the bounds, a known truth
// leaves the expression's bounds cached for the reader.
bool QrcWhenKnownDemonI::isKnown() {
  if (_testCount == 0 || _manager->getTruthRecordCount() != 0) return _truth->isKnown(_onlyTrue);
  const QrcTruthTest& a = _tests[0];
  bool isFalse, isTrue;
  if (_testCount == 1) {
    if (!a.readsBounds()) return _truth->isKnown(_onlyTrue);
    isFalse = a.isFalse();
    isTrue = a.isTrue();
  } else {
    const QrcTruthTest& b = _tests[1];
    if (!a.readsBounds() || !b.readsBounds()) return _truth->isKnown(_onlyTrue);
    isFalse = a.isFalse() || b.isFalse();
    isTrue = a.isTrue() && b.isTrue();
  }
  if (!isTrue && (_onlyTrue || !isFalse)) return false;
  _truth->setKnownBounds(isTrue ? 1 : 0, isFalse ? 0 : 1);
  return true;
}

void QrcWhenKnownDemonI::propagate() {
  if (!isKnown()) return;
  deactivate();
  _d->markPending();
  _d->runIfPending();
}

void QrcWhenKnownDemonI::display(std::ostream& os) const {
  os << "QrcWhenKnownDemon";
}

void QrcLinkBoolIntExpI::post() {
  _ct->attachMetaDemon(new (_manager) QrcMetaExpressionDemon(_manager, _exp));
  // Until now nothing told the expression of its constraint's changes: the
  // bounds it cached may be out of date.
  _exp->invalidateParents();
}

QrcConstraint::operator QrcIntExp() const {
  if (!_impl)
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcConstraint::operator QrcIntExp");
  QrcManagerI* m = _impl->getManager();
  return QrcIntExp(new (m) QrcBoolIntExpI(m, _impl));
}

// ---------------------------------------------------------------- objective filter

QrcIntOptFilterI::QrcIntOptFilterI(QrcIntExpI* var, QrcInt step, double relativeStep)
    : QrcOptFilterI(var),
      _var(var),
      _bound(var->getMax()),
      _value(var->getMax()),
      _step(step),
      _relativeStep(relativeStep),
      _hasBound(0) {}

QrcFloat QrcIntOptFilterI::getBound() const {
  if (!_hasBound) return HUGE_VAL;
  return static_cast<QrcFloat>(_bound + _step);
}

QrcFloat QrcIntOptFilterI::check(QrcFloat value) {
  QrcInt v = static_cast<QrcInt>(value);
  if (v > _bound) return static_cast<QrcFloat>(v);
  _value = v;
  _bound = v - _step;
  _hasBound = 1;
  return static_cast<QrcFloat>(_bound);
}

QrcBool QrcIntOptFilterI::checkValue(QrcFloat value) const {
  return static_cast<QrcInt>(value) <= _bound ? 1 : 0;
}

void QrcIntOptFilterI::applyBound() {
  if (_hasBound) _var->setMax(_bound);
}

QrcFloat QrcIntOptFilterI::nextBound() {
  QrcInt v = _var->getMax();
  _value = v;
  if (_relativeStep == 0) {
    _bound = v - _step;
  } else {
    double d = std::fabs(static_cast<double>(v)) * _relativeStep;
    if (d < static_cast<double>(_step)) d = static_cast<double>(_step);
    _bound = v - static_cast<QrcInt>(std::ceil(d));
  }
  _hasBound = 1;
  return static_cast<QrcFloat>(_bound);
}

void QrcIntOptFilterI::computeNextBound() {
  nextBound();
}

void QrcIntOptFilterI::update() {
  if (_bound < _var->getMax()) {
    _var->setMax(_bound);
    _var->getManager()->recordObjectiveValue(static_cast<QrcFloat>(_bound));
  }
}

void QrcIntOptFilterI::applyRecordedBound(QrcFloat value) {
  _var->setMax(static_cast<QrcInt>(value));
}

// Idempotent: restarts without a solution between them loosen nothing.
void QrcIntOptFilterI::advanceBound() {
  _bound = _value;
}

void QrcIntExpI::setObjMin(QrcFloat step, QrcFloat relativeStep) {
  QrcIntVar v(this);
  QrcIntOptFilterI* f =
      new (_manager) QrcIntOptFilterI(this, static_cast<QrcInt>(step), relativeStep);
  _manager->setOptFilter(f);
}

// ---------------------------------------------------------------- saver

QrcIntSaverI::QrcIntSaverI(QrcIntExpI* exp)
    : QrcSaverI(exp), _savedMin(exp->getMin()), _savedMax(exp->getMax()) {}

void QrcIntSaverI::save() {
  QrcIntExpI* x = static_cast<QrcIntExpI*>(_exp);
  _savedMin = x->getMin();
  _savedMax = x->getMax();
}

void QrcIntSaverI::restore() {
  QrcIntExpI* x = static_cast<QrcIntExpI*>(_exp);
  x->restoreBounds(_savedMin, _savedMax);
}

void* QrcIntExpI::makeSaver() {
  return new (_manager) QrcIntSaverI(this);
}

void QrcIntExpI::restoreBounds(QrcInt min, QrcInt max) {
  if (_handler) {
    QrcIntVarEventHandlerI* h = getIntHandler();
    h->_oldMin = min;
    h->_oldMax = max;
    saveBounds();
    _min = min;
    _max = max;
  }
  _manager->saveValue(&_domain);
  _domain = nullptr;
  if (_handler) invalidateParents();
}
