// Operand bases of the float nodes, the manager's zero constant, and the nodes
// x + y, x - y, -x and x + c with their makers.
#include <cmath>
#include <cstring>
#include <ostream>

#include "qrcfloatshare.h"
#include "qrcoutward.h"
#include "qrcfloatarith.h"
#include "qrcfloatconst.h"
#include "qrcfloatenv.h"
#include "qrcfloatnodes.h"
#include "qrcmanager.h"
#include "qrcoperands.h"

namespace {
const double Inf = HUGE_VAL;

QrcFloatExpI* checked(const QrcFloatExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}
}  // namespace

void QrcFloatRemoveDemon(QrcFloatExpI* exp, QrcDemonI* demon) {
  if (exp->isVariable()) {
    exp->removeDemon(demon);
    return;
  }
  if (exp->getRememberedDemons()) exp->forgetDemon(demon);
  exp->removeWhenOnOperands(demon);
}

QrcFloatExpI* QrcGetFloatZero(QrcManagerI* m) {
  return m->getFloatZero();
}

// ---------------------------------------------------------------- operand bases

QrcFloatBinaryExpI::QrcFloatBinaryExpI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach)
    : QrcFloatExpI(x->getManager()), _x(x), _y(y) {
  if (!attach) return;
  x->addParent(this);
  y->addParent(this);
  enterShareIndex();
}

bool QrcFloatBinaryExpI::getShareKey(ShareKey& key) const {
  key = {_x, reinterpret_cast<QrcWord>(_y), FloatBinaryShare};
  return true;
}

bool QrcFloatBinaryExpI::isEqual(const QrcExprI* other) const {
  if (other == this) return true;
  if (!other || other->getExprTypeId() != getExprTypeId()) return false;
  const QrcFloatBinaryExpI* o = static_cast<const QrcFloatBinaryExpI*>(other);
  return o->_x == _x && o->_y == _y;
}

void QrcFloatBinaryExpI::removeWhenOnOperands(QrcDemonI* demon) {
  QrcFloatRemoveDemon(_x, demon);
  QrcFloatRemoveDemon(_y, demon);
}

void QrcFloatBinaryExpI::whenRangeOnOperands(QrcDemonI* demon) {
  _x->whenRange(demon);
  _y->whenRange(demon);
}

bool QrcFloatBinaryExpI::undefinedOperands() {
  if (!_manager->variablePrecision()) return false;
  if (!_x->isUndefined() && !_y->isUndefined()) return false;
  storeRange(-Inf, Inf);
  setUndefined();
  return true;
}

void QrcFloatBinaryExpI::displayInfix(std::ostream& os, const char* op) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "(";
  _x->display(os);
  os << op;
  _y->display(os);
  os << ")";
}

QrcFloatUnaryExpI::QrcFloatUnaryExpI(QrcFloat c, QrcFloatExpI* x, bool attach)
    : QrcFloatExpI(x->getManager()), _c(c), _x(x) {
  if (attach) {
    x->addParent(this);
    enterShareIndex();
  }
}

bool QrcFloatUnaryExpI::getShareKey(ShareKey& key) const {
  QrcFloat c = _c == 0.0 ? 0.0 : _c;
  QrcWord bits;
  std::memcpy(&bits, &c, sizeof bits);
  key = {_x, bits, FloatUnaryShare};
  return true;
}

bool QrcFloatUnaryExpI::isEqual(const QrcExprI* other) const {
  if (other == this) return true;
  if (!other || other->getExprTypeId() != getExprTypeId()) return false;
  const QrcFloatUnaryExpI* o = static_cast<const QrcFloatUnaryExpI*>(other);
  return o->_x == _x && o->_c == _c;
}

void QrcFloatUnaryExpI::removeWhenOnOperands(QrcDemonI* demon) {
  QrcFloatRemoveDemon(_x, demon);
}
void QrcFloatUnaryExpI::whenValueOnOperands(QrcDemonI* demon) {
  _x->whenValue(demon);
}
void QrcFloatUnaryExpI::whenRangeOnOperands(QrcDemonI* demon) {
  _x->whenRange(demon);
}

bool QrcFloatUnaryExpI::undefinedOperand() {
  if (!_manager->variablePrecision() || !_x->isUndefined()) return false;
  storeRange(-Inf, Inf);
  setUndefined();
  return true;
}

// ---------------------------------------------------------------- x + y

void QrcFloatAddI::display(std::ostream& os) const {
  displayInfix(os, " + ");
}

QrcExprI* QrcFloatAddI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatAddI(copyOf(_x, t), copyOf(_y, t));
}

void QrcFloatAddI::computeRange() {
  if (undefinedOperands()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  QrcFloat lo = addDown(a, c), hi = addUp(b, d);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcFloatAddI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  QrcFloat xl = subDown(lo, d), xh = subUp(hi, c), yl = subDown(lo, b), yh = subUp(hi, a);
  setRoundingNearest();
  _x->setRange(xl, xh);
  _y->setRange(yl, yh);
}

void QrcFloatAddI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat k) {
  _x->collectScaledLinearTerms(acc, k);
  _y->collectScaledLinearTerms(acc, k);
}

QrcFloatExpI* QrcFloatAddI::getDerivative(QrcFloatExpI* v) {
  QrcFloatExpI* dx = _x->derivative(v);
  QrcFloatExpI* dy = _y->derivative(v);
  if (!dx) return dy;
  if (!dy) return dx;
  return makeFloatAdd(dx, dy);
}

// ---------------------------------------------------------------- x - y

void QrcFloatSubI::display(std::ostream& os) const {
  displayInfix(os, " - ");
}

QrcExprI* QrcFloatSubI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatSubI(copyOf(_x, t), copyOf(_y, t));
}

void QrcFloatSubI::computeRange() {
  if (undefinedOperands()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  QrcFloat lo = subDown(a, d), hi = subUp(b, c);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcFloatSubI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  QrcFloat xl = addDown(lo, c), xh = addUp(hi, d), yl = subDown(a, hi), yh = subUp(b, lo);
  setRoundingNearest();
  _x->setRange(xl, xh);
  _y->setRange(yl, yh);
}

void QrcFloatSubI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat k) {
  _x->collectScaledLinearTerms(acc, k);
  _y->collectScaledLinearTerms(acc, -k);
}

QrcFloatExpI* QrcFloatSubI::getDerivative(QrcFloatExpI* v) {
  QrcFloatExpI* dx = _x->derivative(v);
  QrcFloatExpI* dy = _y->derivative(v);
  if (dx && dy) return makeFloatSub(dx, dy);
  if (dx) return dx;
  if (dy) return makeFloatOpp(dy);
  return nullptr;
}

// ---------------------------------------------------------------- -x

void QrcFloatOppI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "( - ";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcFloatOppI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatOppI(0.0, copyOf(_x, t));
}

void QrcFloatOppI::computeRange() {
  if (undefinedOperand()) return;
  storeRange(-_x->getMax(), -_x->getMin());
}

void QrcFloatOppI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  _x->setRange(-hi, -lo);
}

void QrcFloatOppI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat k) {
  _x->collectScaledLinearTerms(acc, -k);
}

// ---------------------------------------------------------------- x + c

void QrcFloatCstAddI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "(" << _c << " + ";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcFloatCstAddI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatCstAddI(_c, copyOf(_x, t));
}

void QrcFloatCstAddI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat lo = addDown(_x->getMin(), _c), hi = addUp(_x->getMax(), _c);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcFloatCstAddI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat xl = subDown(lo, _c), xh = subUp(hi, _c);
  setRoundingNearest();
  _x->setRange(xl, xh);
}

void QrcFloatCstAddI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat k) {
  acc->addConstant(k * _c);
  _x->collectScaledLinearTerms(acc, k);
}

QrcFloatExpI* QrcFloatCstAddI::getDerivative(QrcFloatExpI* v) {
  return _x->derivative(v);
}

QrcConstraintI* QrcFloatCstAddI::makeEventHandlerConstraint() {
  if (_handler) return nullptr;
  _manager->incrementVariableCount();
  recompute();
  _undefined = 0;
  attachEventHandler(new (_manager) QrcFloatVarEventHandlerI(_manager, _min, _max));
  QrcConstraintI* ct = new (_manager) QrcFloatCstAddCtI(this, _x);
  _manager->add(ct);
  return ct;
}

void QrcFloatCstAddI::narrowOperand() {
  QrcFloat lo = subDown(getMin(), _c), hi = subUp(getMax(), _c);
  setRoundingNearest();
  _x->setRange(lo, hi);
}

void QrcFloatCstAddI::narrowNode() {
  QrcFloat lo = addDown(_x->getMin(), _c), hi = addUp(_x->getMax(), _c);
  setRoundingNearest();
  setRange(lo, hi);
}

void QrcFloatCstAddCtI::post() {
  _node->whenRange(new (_manager) QrcFloatCstAddExpDemonII(_node));
  _x->whenRange(new (_manager) QrcFloatCstAddVarDemonII(_node));
}

void QrcFloatCstAddCtI::propagate() {
  _node->narrowOperand();
  _node->narrowNode();
}

void QrcFloatCstAddCtI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << " QrcFloatCstAddCtI(";
  _node->display(os);
  os << ")";
}

void QrcFloatCstAddExpDemonII::display(std::ostream& os) const {
  os << "QrcFloatCstAddExpDemonI";
}
void QrcFloatCstAddVarDemonII::display(std::ostream& os) const {
  os << "QrcFloatCstAddVarDemonI";
}

// ---------------------------------------------------------------- makers

QrcFloatExpI* makeFloatAdd(QrcFloatExpI* x, QrcFloatExpI* y) {
  return shareBinaryNode<QrcFloatAddI>(x, y);
}
QrcFloatExpI* makeFloatSub(QrcFloatExpI* x, QrcFloatExpI* y) {
  return shareBinaryNode<QrcFloatSubI>(x, y);
}
QrcFloatExpI* makeFloatOpp(QrcFloatExpI* x) {
  return shareUnaryNode<QrcFloatOppI>(0.0, x);
}
QrcFloatExpI* makeFloatCstAdd(QrcFloatExpI* x, QrcFloat c) {
  return shareUnaryNode<QrcFloatCstAddI>(c, x);
}

QrcFloatExp operator+(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator+", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator+");
  QrcFloatExpI* y = checked(yh, "operator+");
  QrcFloatExpI* zero = QrcGetFloatZero(x->getManager());
  if (x == y) return makeCstFloatMul(2.0, x);
  if (x == zero) return y;
  if (y == zero) return x;
  return makeFloatAdd(x, y);
}

QrcFloatExp operator+(const QrcFloatExp& xh, QrcFloat c) {
  QrcFloatExpI* x = checked(xh, "operator+");
  if (c == 0.0) return x;
  return makeFloatCstAdd(x, c);
}

QrcFloatExp operator+(QrcFloat c, const QrcFloatExp& x) {
  return x + c;
}

QrcFloatExp operator-(const QrcFloatExp& xh, QrcFloat c) {
  QrcFloatExpI* x = checked(xh, "operator-");
  if (-c == 0.0) return x;
  return makeFloatCstAdd(x, -c);
}

QrcFloatExp operator-(const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "operator-");
  if (x == QrcGetFloatZero(x->getManager())) return x;
  return makeFloatOpp(x);
}

QrcFloatExp operator-(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator-", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator-");
  QrcFloatExpI* y = checked(yh, "operator-");
  QrcFloatExpI* zero = QrcGetFloatZero(x->getManager());
  if (x == y) return zero;
  if (x == zero) return y == zero ? zero : makeFloatOpp(y);
  if (y == zero) return x;
  return makeFloatSub(x, y);
}
