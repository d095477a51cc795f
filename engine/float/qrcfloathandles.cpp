// Handles of float expressions, variables and arrays of doubles.
#include "qrcfloatexp.h"
#include "qrcfloatset.h"
#include "qrcmanager.h"

namespace {

QrcManagerI* managerOf(const QrcManager& manager, const char* place) {
  if (!manager.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty manager", place);
  return manager.getImpl();
}

}  // namespace

// ---------------------------------------------------------------- arrays of doubles

QrcFloatArray::QrcFloatArray(const QrcManager& manager, QrcInt n, QrcFloat value)
    : _impl(new (managerOf(manager, "QrcFloatArray::QrcFloatArray"))
                QrcFloatArrayI(manager.getImpl(), n, value)) {}

QrcInt QrcFloatArray::getSize() const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatArray::getSize");
  return _impl->getSize();
}

QrcFloat& QrcFloatArray::operator[](QrcInt i) const {
  const char* place = "QrcFloatArray::operator[]";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (i < 0 || i >= _impl->getSize()) {
    QrcGetErrorReporter(_impl->getManager())->report(QrcBadIndexError, place, "bad index", i);
    static QrcFloat unused;  // for a reporter that returns
    return unused;
  }
  return (*_impl)[i];
}

// ---------------------------------------------------------------- expressions

QrcFloatExpI* QrcFloatExp::check(const char* place) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return _impl;
}

QrcManagerI* QrcFloatExp::getManager() const {
  return check("QrcFloatExp::getManager")->getManager();
}
QrcFloat QrcFloatExp::getMin() const {
  return check("QrcFloatExp::getMin")->getMin();
}
QrcFloat QrcFloatExp::getMax() const {
  return check("QrcFloatExp::getMax")->getMax();
}
QrcBool QrcFloatExp::isBound() const {
  return check("QrcFloatExp::isBound")->isBound();
}
QrcFloat QrcFloatExp::getValue() const {
  return check("QrcFloatExp::getValue")->getValue();
}
void QrcFloatExp::setRange(QrcFloat a, QrcFloat b) const {
  QrcFloatExpI* x = check("QrcFloatExp::setRange");
  x->setRange(a, b);
}
void QrcFloatExp::setValue(QrcFloat v) const {
  QrcFloatExpI* x = check("QrcFloatExp::setValue");
  x->setValue(v);
}
void QrcFloatExp::removeValue(QrcFloat v) const {
  QrcFloatExpI* x = check("QrcFloatExp::removeValue");
  x->removeValue(v);
}
void QrcFloatExp::whenValue(QrcDemonI* demon) const {
  check("QrcFloatExp::whenValue")->whenValue(demon);
}
void QrcFloatExp::whenRange(QrcDemonI* demon) const {
  check("QrcFloatExp::whenRange")->whenRange(demon);
}
void QrcFloatExp::whenDomain(QrcDemonI* demon) const {
  check("QrcFloatExp::whenDomain")->whenDomain(demon);
}
void QrcFloatExp::setName(const char* name) const {
  check("QrcFloatExp::setName")->setName(name);
}
const char* QrcFloatExp::getName() const {
  return check("QrcFloatExp::getName")->getName();
}

// ---------------------------------------------------------------- variables

QrcFloatVar::QrcFloatVar(const QrcManager& manager, QrcFloat min, QrcFloat max, const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcFloatVar::QrcFloatVar");
  _impl = new (m) QrcFloatExpI(m, min, max, manager.getDefaultPrecision(), name);
}

QrcFloatVar::QrcFloatVar(const QrcManager& manager, QrcFloat min, QrcFloat max, QrcFloat precision,
                         const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcFloatVar::QrcFloatVar");
  _impl = new (m) QrcFloatExpI(m, min, max, precision, name);
}

QrcFloatVar::QrcFloatVar(const QrcManager& manager, const QrcFloatArray& values, const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcFloatVar::QrcFloatVar");
  if (!values.getImpl())
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatVar::QrcFloatVar");
  _impl = new (m) QrcFloatExpI(m, values.getImpl(), name);
}

QrcFloatVar::QrcFloatVar(const QrcFloatExp& exp) : QrcFloatVar(exp.getImpl()) {}

QrcFloatVar::QrcFloatVar(QrcFloatExpI* exp) {
  _impl = exp;
  if (exp && !exp->isVariable()) exp->makeEventHandlerConstraint();
}
