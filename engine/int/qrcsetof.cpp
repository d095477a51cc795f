// Constraint families over set elements: instances of a generic constraint
// kept in step with a set variable of the indexes whose instance holds, and
// the index placeholder they are stated over.
// Code that can fail keeps trivially destructible locals.
#include "qrcoperands.h"
#include "qrcsetof.h"

#include <ostream>

#include "qrcintcompare.h"

// ---------------------------------------------------------------- makers

QrcIntExpI* QrcConstraintI::makeSetOfConstraint(QrcIndexI* index) {
  QrcInt n = index->getSize();
  QrcIntSetVarI* var;
  if (n > 0) {
    var = new (_manager) QrcIntSetVarI(_manager, 0, n - 1, nullptr);
  } else {
    // No index value: an empty set variable, cardinality [0..0].
    QrcIntSetI* none = new (_manager) QrcIntSetI(_manager, 0, 0, 0, 1);
    var = new (_manager) QrcIntSetVarI(_manager, none, nullptr);
  }
  QrcSetOfConstraint* ct = new (_manager) QrcSetOfConstraint(var, index, this);
  _manager->add(ct);
  return var->getCardinality();
}

// x == c over vars[index]: the count of the variables equal to c.
QrcIntExpI* QrcEqCstConstraint::makeSetOfConstraint(QrcIndexI* index) {
  QrcIntExpI* count = static_cast<QrcIntExpI*>(_exp)->makeGenericCount(index, _c);
  return count ? count : QrcConstraintI::makeSetOfConstraint(index);
}

QrcIntExp QrcGenericConstraint(QrcIndex& index, const QrcConstraint& ct) {
  QrcConstraintI* c = ct.getImpl();
  if (!c) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcGenericConstraint");
  // An index that indexes nothing has size 0.
  if (!index.getImpl()) index.setImpl(new (c->getManager()) QrcIndexI(nullptr));
  QrcCheckOperands("QrcGenericConstraint", {index.getImpl()->getArray(), ct});
  return c->makeSetOfConstraint(index.getImpl());
}

// ---------------------------------------------------------------- index placeholder

QrcErrorReporter* QrcIndexI::getErrorReporter() const {
  return QrcGetErrorReporter(_array ? _array->getManager() : nullptr);
}

QrcInt QrcIndexI::getValue() const {
  if (!_bound)
    getErrorReporter()->report(QrcUnboundError, "QrcIndexI::getValue", "unbound index", this);
  return _value;
}

void QrcIndexI::display(std::ostream& os) const {
  os << "QrcIndex";
  if (_bound) os << "[" << _value << "]";
}

// ---------------------------------------------------------------- set-of constraint

QrcSetOfConstraint::QrcSetOfConstraint(QrcIntSetVarI* var, QrcIndexI* index, QrcConstraintI* tmpl)
    : QrcConstraintI(tmpl->getManager()), _var(var), _instances(nullptr) {
  QrcInt n = index->getSize();
  _instances = new (_manager) QrcConstraintArrayI(_manager, n);
  QrcMemoStack* memo = _manager->getMemoStack();
  for (QrcInt i = 0; i < n; ++i) {
    index->setValue(i);
    // Each instance is its own outermost copy, which clears the flag.
    if (!memo->isActive()) memo->setKeepVariables();
    (*_instances)[i] = tmpl->getCopyForManager(_manager);
  }
}

QrcSetOfConstraint::QrcSetOfConstraint(QrcManagerI* manager, QrcIntSetVarI* var,
                                       QrcConstraintArrayI* instances)
    : QrcConstraintI(manager), _var(var), _instances(instances) {}

bool QrcSetOfConstraint::isPossible(QrcInt i) const {
  return _var->isPossible(i);
}

bool QrcSetOfConstraint::isRequired(QrcInt i) const {
  return _var->isRequired(i);
}

void QrcSetOfConstraint::checkIndex(QrcInt i) {
  QrcConstraintI* c = _instances->get(i);
  if (c->isKnownFalse()) {
    _var->removePossible(i);
  } else if (c->isKnownTrue()) {
    _var->addRequired(i);
  } else if (isRequired(i)) {
    c->propagate();
  } else if (!isPossible(i)) {
    QrcConstraintI* o = c->getOpposite();
    if (o) o->propagate();
  }
}

void QrcSetOfConstraint::propagate() {
  QrcInt n = _instances->getSize();
  for (QrcInt i = 0; i < n; ++i) checkIndex(i);
}

void QrcSetOfConstraint::post() {
  QrcInt n = _instances->getSize();
  for (QrcInt i = 0; i < n; ++i)
    _instances->get(i)->metaPostDemon(new (_manager) QrcWhenSetOfDemonI(this, i));
  _var->whenDomain(new (_manager) QrcSetDemonI(this));
}

QrcBool QrcSetOfConstraint::isFalse() const {
  QrcInt n = _instances->getSize();
  for (QrcInt i = 0; i < n; ++i) {
    QrcConstraintI* c = _instances->get(i);
    if (c->isKnownFalse()) {
      if (isRequired(i)) return 1;
    } else if (c->isKnownTrue() && !isPossible(i)) {
      return 1;
    }
  }
  return 0;
}

QrcConstraintI* QrcSetOfConstraint::makeCopy(QrcManagerI* t) const {
  QrcIntSetVarI* var = static_cast<QrcIntSetVarI*>(_var->getCopyForManager(t));
  return new (t) QrcSetOfConstraint(t, var, _instances->getCopyForManager(t));
}

void QrcSetOfConstraint::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  os << " QrcSetOfConstraint(";
  _var->display(os);
  os << ",";
  _instances->display(os);
  os << ")";
}

// ---------------------------------------------------------------- demons

void QrcWhenSetOfDemonI::display(std::ostream& os) const {
  os << "QrcWhenSetOfDemon";
}

void QrcSetDemonI::propagate() {
  QrcSetOfConstraint* owner = static_cast<QrcSetOfConstraint*>(_owner);
  QrcIntSetVarI* var = owner->getSetVar();
  QrcConstraintArrayI* instances = owner->getInstances();
  QrcInt n = instances->getSize();
  QrcInt v;
  for (QrcDeltaRequiredIterator it(var); it.next(v);)
    if (v >= 0 && v < n) _manager->add(instances->get(v));
  for (QrcDeltaPossibleIterator it(var); it.next(v);) {
    if (v < 0 || v >= n) continue;
    QrcConstraintI* o = instances->get(v)->getOpposite();
    if (o) _manager->add(o);
  }
}

void QrcSetDemonI::display(std::ostream& os) const {
  os << "QrcSetDemon";
}
