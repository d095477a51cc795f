#include "qrcfloatview.h"

#include <cmath>
#include <ostream>

#include "qrcfloatarith.h"
#include "qrcintexp.h"
#include "qrcmanager.h"

namespace {

const double IntLimit = static_cast<double>(QrcIntMax);

QrcIntExpI* checkedInt(const QrcIntExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

}  // namespace

QrcIntExp2QrcFloatExpI::QrcIntExp2QrcFloatExpI(QrcIntExpI* exp, bool attach)
    : QrcFloatExpI(exp->getManager()), _exp(exp) {
  if (!attach) return;
  exp->addParent(this);
  enterShareIndex();
  if (exp->getName()) setName(exp->getName());
}

bool QrcIntExp2QrcFloatExpI::isEqual(const QrcExprI* other) const {
  if (other == this) return true;
  if (!other || other->getExprTypeId() != getExprTypeId()) return false;
  return static_cast<const QrcIntExp2QrcFloatExpI*>(other)->_exp == _exp;
}

QrcExprI* QrcIntExp2QrcFloatExpI::makeCopy(QrcManagerI* target) const {
  return QrcGetFloatView(static_cast<QrcIntExpI*>(_exp->getCopyForManager(target)));
}

void QrcIntExp2QrcFloatExpI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "(QrcIntExp2QrcFloatExpI:";
  _exp->display(os);
  os << ")";
}

void QrcIntExp2QrcFloatExpI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) {
  _exp->collectScaledLinearTerms(acc, coef);
}

namespace {

// The doubles next below and above v, or v itself when it is one.
void enclose(QrcInt128 v, double& lo, double& hi) {
  double d = static_cast<double>(v);
  lo = hi = d;
  // 2^127, where v rounded up, is past what 128 bits hold.
  bool up = d >= 0x1p127;
  if (up || static_cast<QrcInt128>(d) > v) lo = std::nextafter(d, -HUGE_VAL);
  if (!up && static_cast<QrcInt128>(d) < v) hi = std::nextafter(d, HUGE_VAL);
}

}  // namespace

void QrcIntExp2QrcFloatExpI::computeRange() {
  QrcInt a = _exp->getMin(), b = _exp->getMax();
  if (__builtin_expect(_exp->isOutOfRange(), 0)) return computeClampedRange(a, b);
  storeRange(static_cast<double>(a), static_cast<double>(b));
}

// The integer node's range left the limits, where its bounds are clamped: a
// clamped side bounds nothing, and once its operands are bound the node reads
// as its exact value.
void QrcIntExp2QrcFloatExpI::computeClampedRange(QrcInt a, QrcInt b) {
  QrcExactValue v = _exp->exactValue();
  double lo, hi;
  if (v.kind == QrcExactValue::Known) {
    enclose(v.value, lo, hi);
  } else if (v.kind == QrcExactValue::Huge) {
    lo = v.value > 0 ? 0x1p127 : -HUGE_VAL;
    hi = v.value > 0 ? HUGE_VAL : -0x1p127;
  } else if (a > b) {
    lo = static_cast<double>(a);
    hi = static_cast<double>(b);
  } else {
    lo = a <= QrcIntMin ? -HUGE_VAL : static_cast<double>(a);
    hi = b >= QrcIntMax ? HUGE_VAL : static_cast<double>(b);
  }
  storeRange(lo, hi);
}

void QrcIntExp2QrcFloatExpI::setOperandsRange(QrcFloat a, QrcFloat b) {
  double lo = std::ceil(a), hi = std::floor(b);
  if (hi < -IntLimit || lo > IntLimit) fail();
  if (lo < -IntLimit) lo = -IntLimit;
  if (hi > IntLimit) hi = IntLimit;
  _exp->setRange(static_cast<QrcInt>(lo), static_cast<QrcInt>(hi));
}

void QrcIntExp2QrcFloatExpI::removeWhenOnOperands(QrcDemonI* demon) {
  _exp->removeWhen(demon);
}
void QrcIntExp2QrcFloatExpI::whenValueOnOperands(QrcDemonI* demon) {
  _exp->whenValue(demon);
}
void QrcIntExp2QrcFloatExpI::whenRangeOnOperands(QrcDemonI* demon) {
  _exp->whenRange(demon);
}
void QrcIntExp2QrcFloatExpI::whenDomainOnOperands(QrcDemonI* demon) {
  _exp->whenRange(demon);
}

QrcFloatExpI* QrcGetFloatView(QrcIntExpI* exp) {
  QrcIntExp2QrcFloatExpI probe(exp, false);
  exp->getManager()->forgetMade(static_cast<QrcExprI*>(&probe));
  if (QrcExprI* found = exp->findEqualParent(&probe)) return static_cast<QrcFloatExpI*>(found);
  return new (exp->getManager()) QrcIntExp2QrcFloatExpI(exp);
}

// ---------------------------------------------------------------- handles

QrcFloatExp::QrcFloatExp(const QrcIntExp& exp) : _impl(nullptr) {
  if (!exp.getImpl())
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatExp::QrcFloatExp");
  _impl = QrcGetFloatView(exp.getImpl());
}

QrcFloatVar::QrcFloatVar(QrcIntExpI* exp) {
  if (!exp) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatVar::QrcFloatVar");
  _impl = QrcGetFloatView(exp);
  if (!_impl->isVariable()) _impl->makeEventHandlerConstraint();
}

// ---------------------------------------------------------------- mixed operators

QrcFloatExp operator+(const QrcFloatExp& x, const QrcIntExp& y) {
  QrcIntExpI* yi = checkedInt(y, "operator+");
  if (yi->getMin() == 0 && yi->getMax() == 0) return x;
  return x + QrcFloatExp(y);
}

QrcFloatExp operator+(const QrcIntExp& x, QrcFloat c) {
  QrcFloatExpI* v = QrcGetFloatView(checkedInt(x, "operator+"));
  if (c == 0.0) return v;
  return makeFloatCstAdd(v, c);
}

QrcFloatExp operator*(const QrcIntExp& x, QrcFloat c) {
  return makeCstFloatMul(c, QrcGetFloatView(checkedInt(x, "operator*")));
}

QrcFloatExp operator*(QrcFloat c, const QrcIntExp& x) {
  return x * c;
}

QrcFloatExp operator/(const QrcIntExp& x, QrcFloat c) {
  return QrcFloatExp(QrcGetFloatView(checkedInt(x, "operator/"))) / c;
}

QrcFloatExp operator*(const QrcIntExp& x, const QrcFloatExp& y) {
  return QrcFloatExp(QrcGetFloatView(checkedInt(x, "operator*"))) * y;
}

QrcFloatExp operator*(const QrcFloatExp& x, const QrcIntExp& y) {
  return x * QrcFloatExp(QrcGetFloatView(checkedInt(y, "operator*")));
}

QrcFloatExp operator/(QrcFloat k, const QrcIntExp& x) {
  return k / QrcFloatExp(QrcGetFloatView(checkedInt(x, "operator/")));
}
