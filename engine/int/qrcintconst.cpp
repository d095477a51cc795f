#include "qrcintexp.h"
#include "qrcmanager.h"

QrcIntConstI::QrcIntConstI(QrcManagerI* manager, QrcInt value, const char* name)
    : QrcIntExpI(manager) {
  _min = _max = value < QrcIntMin ? QrcIntMin : (value > QrcIntMax ? QrcIntMax : value);
  if (name) setName(name);
}

bool QrcIntConstI::isEqual(const QrcExprI* other) const {
  const QrcIntExpI* e = dynamic_cast<const QrcIntExpI*>(other);
  if (!e) return false;
  QrcIntExpI* x = const_cast<QrcIntExpI*>(e);
  return x->getMin() == _min && x->getMax() == _min;
}

QrcExprI* QrcIntConstI::makeCopy(QrcManagerI* target) const {
  return new (target) QrcIntConstI(target, _min);
}

void QrcIntConstI::computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) {
  acc->addIntConstant(_min * coef);
}

void QrcIntConstI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  acc->addConstant(static_cast<double>(_min) * coef);
}

void QrcIntConstI::setOperandsRange(QrcInt a, QrcInt b) {
  if (_min < a || _min > b) fail();
}

void QrcIntConstI::removeOperandsValue(QrcInt v) {
  if (v == _min) fail();
}

void QrcIntConstI::removeOperandsRange(QrcInt a, QrcInt b) {
  if (a < _min && _min < b) fail();
}
