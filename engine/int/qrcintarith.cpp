// Offsets, differences, opposites, sums of two, absolute values and squares.
#include <ostream>

#include "qrcintutil.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexact.h"
#include "qrcoperands.h"

using namespace qrcint;

bool QrcFoldAdd(QrcInt a, QrcInt b, QrcInt& r) {
  __int128 v = static_cast<__int128>(a) + b;
  if (v > QrcIntMax || v < QrcIntMin) return false;
  r = static_cast<QrcInt>(v);
  return true;
}

bool QrcFoldMul(QrcInt a, QrcInt b, QrcInt& r) {
  __int128 v = static_cast<__int128>(a) * b;
  if (v > QrcIntMax || v < QrcIntMin) return false;
  r = static_cast<QrcInt>(v);
  return true;
}

// ---------------------------------------------------------------- bases

QrcUnaryExpI::QrcUnaryExpI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter)
    : QrcIntExpI(m), _c(c), _x(x) {
  if (!enter) return;
  x->addParent(this);
  enterShareIndex();
  _mayLack = !defined(x);
}

bool QrcUnaryExpI::isEqual(const QrcExprI* other) const {
  const QrcUnaryExpI* u = dynamic_cast<const QrcUnaryExpI*>(other);
  return u && u->_x == _x && u->_c == _c;
}

// Walks only the operands that may lack a value.
QrcConstraintI* QrcUnaryExpI::makeUndefinedConstraint() {
  return isVariable() || !_mayLack ? nullptr : _x->makeUndefinedConstraint();
}

bool QrcUnaryExpI::displayAsVariable(std::ostream& os) const {
  if (!isVariable() && !getName()) return false;
  QrcIntExpI::display(os);
  return true;
}

QrcBinaryExpI::QrcBinaryExpI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter)
    : QrcIntExpI(m), _x(x), _y(y) {
  if (enter) {
    x->addParent(this);
    y->addParent(this);
    enterShareIndex();
    _mayLack = !defined(x) || !defined(y);
  }
}

bool QrcBinaryExpI::isEqual(const QrcExprI* other) const {
  const QrcBinaryExpI* b = dynamic_cast<const QrcBinaryExpI*>(other);
  return b && b->_x == _x && b->_y == _y;
}

QrcConstraintI* QrcBinaryExpI::makeUndefinedConstraint() {
  if (isVariable() || !_mayLack) return nullptr;
  return QrcEitherOf(_x->makeUndefinedConstraint(), _y->makeUndefinedConstraint());
}

void QrcBinaryExpI::requireOperandValues() {
  _x->requireValue();
  _y->requireValue();
}

bool QrcBinaryExpI::displayAsVariable(std::ostream& os) const {
  if (!isVariable() && !getName()) return false;
  QrcIntExpI::display(os);
  return true;
}

void QrcBinaryExpI::displayInfix(std::ostream& os, const char* op) const {
  if (displayAsVariable(os)) return;
  os << "(";
  _x->display(os);
  os << op;
  _y->display(os);
  os << ")";
}

void QrcBinaryExpI::removeWhenOnOperands(QrcDemonI* d) {
  _x->removeWhen(d);
  _y->removeWhen(d);
}

void QrcBinaryExpI::whenRangeOnOperands(QrcDemonI* d) {
  _x->whenRange(d);
  _y->whenRange(d);
}

// ---------------------------------------------------------------- x + c

void QrcIntAddI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "(" << _c << " + ";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcIntAddI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcIntAddI(t, static_cast<QrcIntExpI*>(_x->getCopyForManager(t)), _c));
}

void QrcIntAddI::computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) {
  acc->addIntConstant(_c * coef);
  if (_x->isVariable())
    acc->addIntVarTerm(_x, coef);
  else
    _x->computeCoeffsVarsInternal(acc, coef);
}

void QrcIntAddI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  acc->addConstant(static_cast<double>(_c) * coef);
  _x->collectScaledLinearTerms(acc, coef);
}

QrcInt QrcIntAddI::getLinearSize() const {
  return _x->getLinearSize();
}

void QrcIntAddI::computeRange() {
  QrcInt a = _x->getMin(), b = _x->getMax();
  if (a > b) return setNoValue(this);
  _min = a + _c;
  _max = b + _c;
}

void QrcIntAddI::computeRangeAsDoubles() {
  double c = static_cast<double>(_c), a = _x->getFloatMin(), b = _x->getFloatMax();
  if (a > b) return setNoValue(this);
  setBoundsFromDoubles(c + a, c + b);
}

void QrcIntAddI::setOperandsRange(QrcInt a, QrcInt b) {
  _x->setRange(a - _c, b - _c);
}

// In doubles, out of range: bounds rounded outward, removals inward.
void QrcIntAddI::setOperandsRange(double a, double b) {
  _x->setRange(QrcBoundShift(a, -QrcInt128(_c), QrcBoundDown),
               QrcBoundShift(b, -QrcInt128(_c), QrcBoundUp));
}

void QrcIntAddI::removeOperandsValue(double v) {
  _x->removeValue(QrcBoundShift(v, -QrcInt128(_c), QrcBoundExact));
}

void QrcIntAddI::removeOperandsRange(double a, double b) {
  _x->removeRange(QrcBoundShift(a, -QrcInt128(_c), QrcBoundUp),
                  QrcBoundShift(b, -QrcInt128(_c), QrcBoundDown));
}

// ---------------------------------------------------------------- c - x, -x

void QrcIntSubI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << _c << " - ";
  _x->display(os);
}

QrcExprI* QrcIntSubI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcIntSubI(t, _c, static_cast<QrcIntExpI*>(_x->getCopyForManager(t))));
}

void QrcIntSubI::computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) {
  acc->addIntConstant(_c * coef);
  if (_x->isVariable())
    acc->addIntVarTerm(_x, -coef);
  else
    _x->computeCoeffsVarsInternal(acc, -coef);
}

void QrcIntSubI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  if (_c) acc->addConstant(static_cast<double>(_c) * coef);
  _x->collectScaledLinearTerms(acc, -coef);
}

QrcInt QrcIntSubI::getLinearSize() const {
  return _x->getLinearSize();
}

void QrcIntSubI::computeRange() {
  QrcInt a = _x->getMin(), b = _x->getMax();
  if (a > b) return setNoValue(this);
  _min = _c - b;
  _max = _c - a;
}

void QrcIntSubI::computeRangeAsDoubles() {
  double c = static_cast<double>(_c), a = _x->getFloatMin(), b = _x->getFloatMax();
  if (a > b) return setNoValue(this);
  setBoundsFromDoubles(c - b, c - a);
}

void QrcIntSubI::setOperandsRange(QrcInt a, QrcInt b) {
  _x->setRange(_c - b, _c - a);
}

void QrcIntSubI::setOperandsRange(double a, double b) {
  _x->setRange(QrcBoundShift(-b, _c, QrcBoundDown), QrcBoundShift(-a, _c, QrcBoundUp));
}

void QrcIntSubI::removeOperandsValue(double v) {
  _x->removeValue(QrcBoundShift(-v, _c, QrcBoundExact));
}

void QrcIntSubI::removeOperandsRange(double a, double b) {
  _x->removeRange(QrcBoundShift(-b, _c, QrcBoundUp), QrcBoundShift(-a, _c, QrcBoundDown));
}

void QrcOppI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << " - ";
  _x->display(os);
}

QrcExprI* QrcOppI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcOppI(t, static_cast<QrcIntExpI*>(_x->getCopyForManager(t))));
}

// ---------------------------------------------------------------- abs(x)

namespace {
// Smallest magnitude in x's domain (x on both sides of 0).
QrcInt smallestMagnitude(QrcIntExpI* x) {
  if (x->isInDomain(0)) return 0;
  QrcInt pos = x->getNextHigher(-1);
  QrcInt neg = x->getNextLower(1);
  return mn(pos, -neg);
}
}  // namespace

void QrcIntAbsI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "QrcAbs(";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcIntAbsI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcIntAbsI(t, static_cast<QrcIntExpI*>(_x->getCopyForManager(t))));
}

void QrcIntAbsI::computeRange() {
  QrcInt a = _x->getMin(), b = _x->getMax();
  if (a > b) return setNoValue(this);
  if (a >= 0) {
    _min = a;
    _max = b;
  } else if (b <= 0) {
    _min = -b;
    _max = -a;
  } else {
    _max = mx(b, -a);
    _min = smallestMagnitude(_x);
  }
}

void QrcIntAbsI::computeRangeAsDoubles() {
  double a = _x->getFloatMin(), b = _x->getFloatMax();
  if (a > b)
    setNoValue(this);
  else if (a >= 0)
    setBoundsFromDoubles(a, b);
  else if (b <= 0)
    setBoundsFromDoubles(-b, -a);
  else
    setBoundsFromDoubles(0, b > -a ? b : -a);
}

void QrcIntAbsI::setOperandsRange(QrcInt a, QrcInt b) {
  if (a > 0) _x->removeRange(1 - a, a - 1);
  _x->setRange(-b, b);
}

void QrcIntAbsI::removeOperandsValue(QrcInt v) {
  _x->removeValue(v);
  _x->removeValue(-v);
}

void QrcIntAbsI::removeOperandsRange(QrcInt a, QrcInt b) {
  if (b < 0 || a > b) return;
  QrcInt m = mx(a, 0);
  _x->removeRange(m, b);
  _x->removeRange(-b, -m);
}

// ---------------------------------------------------------------- x * x

namespace {
// Largest r >= 0 with r * r <= v (v >= 0).
QrcInt isqrtFloor(QrcInt v) {
  QrcInt r = static_cast<QrcInt>(std::sqrt(static_cast<double>(v)));
  while (r > 0 && static_cast<__int128>(r) * r > v) --r;
  while (static_cast<__int128>(r + 1) * (r + 1) <= v) ++r;
  return r;
}
// Smallest r >= 0 with r * r >= v (v >= 0).
QrcInt isqrtCeil(QrcInt v) {
  QrcInt r = isqrtFloor(v);
  return static_cast<__int128>(r) * r == v ? r : r + 1;
}
QrcInt sq(QrcInt v) {
  return clamp128(static_cast<__int128>(v) * v);
}
}  // namespace

void QrcSquareI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << " QrcSquare(";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcSquareI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcSquareI(t, static_cast<QrcIntExpI*>(_x->getCopyForManager(t))));
}

void QrcSquareI::computeRange() {
  QrcInt a = _x->getMin(), b = _x->getMax();
  if (a > b) return setNoValue(this);
  _max = mx(sq(a), sq(b));
  if (a >= 0)
    _min = sq(a);
  else if (b <= 0)
    _min = sq(b);
  else
    _min = sq(smallestMagnitude(_x));
}

void QrcSquareI::computeRangeAsDoubles() {
  double a = _x->getFloatMin(), b = _x->getFloatMax();
  if (a > b)
    setNoValue(this);
  else if (a > 0)
    setBoundsFromDoubles(a * a, b * b);
  else if (b < 0)
    setBoundsFromDoubles(b * b, a * a);
  else {
    double m = b > -a ? b : -a;
    setBoundsFromDoubles(0, m * m);
  }
}

// Out of range: a bound past the limit bounds nothing.
void QrcSquareI::setOperandsRange(double a, double b) {
  if (a != a || b != b) return;
  if (b < Limit) return setOperandsRange(toInt(std::ceil(a)), toInt(std::floor(b)));
  if (a <= 0) return;
  QrcInt t = isqrtCeil(toInt(std::ceil(a)));
  _x->removeRange(1 - t, t - 1);
}

void QrcSquareI::setOperandsRange(QrcInt a, QrcInt b) {
  if (b < 0) fail();
  QrcInt s = isqrtFloor(b);
  _x->setRange(-s, s);
  if (a > 0) {
    QrcInt t = isqrtCeil(a);
    _x->removeRange(1 - t, t - 1);
  }
}

void QrcSquareI::removeOperandsValue(QrcInt v) {
  if (v < 0) return;
  QrcInt r = isqrtFloor(v);
  if (r * r != v) return;
  _x->removeValue(r);
  _x->removeValue(-r);
}

void QrcSquareI::removeOperandsRange(QrcInt a, QrcInt b) {
  if (b < 0) return;
  QrcInt lo = a < 0 ? 0 : isqrtCeil(a);
  QrcInt hi = isqrtFloor(b);
  if (lo > hi) return;
  _x->removeRange(lo, hi);
  _x->removeRange(-hi, -lo);
}

// ---------------------------------------------------------------- x + y

void QrcAddI::display(std::ostream& os) const {
  displayInfix(os, " + ");
}

QrcExprI* QrcAddI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcAddI(t, static_cast<QrcIntExpI*>(_x->getCopyForManager(t)),
                               static_cast<QrcIntExpI*>(_y->getCopyForManager(t))));
}

namespace {
void collectInt(QrcIntExpI* e, QrcLinearAccumulatorI* acc, QrcInt coef) {
  if (e->isVariable())
    acc->addIntVarTerm(e, coef);
  else
    e->computeCoeffsVarsInternal(acc, coef);
}
QrcInt sumSizes(QrcInt a, QrcInt b) {
  return (a < 0 || b < 0) ? -1 : a + b;
}
}  // namespace

void QrcAddI::computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) {
  collectInt(_x, acc, coef);
  collectInt(_y, acc, coef);
}

void QrcAddI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  _x->collectScaledLinearTerms(acc, coef);
  _y->collectScaledLinearTerms(acc, coef);
}

QrcInt QrcAddI::getLinearSize() const {
  return sumSizes(_x->getLinearSize(), _y->getLinearSize());
}

void QrcAddI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  _min = xa + ya;
  _max = xb + yb;
}

void QrcAddI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  double lo = xa + ya, hi = xb + yb;
  bool force = outside53(lo - yb) || outside53(hi - ya) || outside53(lo - xb) || outside53(hi - xa);
  setBoundsFromDoubles(lo, hi, force);
}

void QrcAddI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  _x->setRange(a - yb, b - ya);
  _y->setRange(a - xb, b - xa);
}

void QrcAddI::setOperandsRange(double a, double b) {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  _x->setRange(QrcBoundSum(a, -yb, QrcBoundDown), QrcBoundSum(b, -ya, QrcBoundUp));
  _y->setRange(QrcBoundSum(a, -xb, QrcBoundDown), QrcBoundSum(b, -xa, QrcBoundUp));
}

void QrcAddI::removeOperandsValue(QrcInt v) {
  if (_x->isBound()) _y->removeValue(v - _x->getMin());
  if (_y->isBound()) _x->removeValue(v - _y->getMin());
}

// An operand bound at a clamped bound has no value that tells which to
// remove from the other.
void QrcAddI::removeOperandsValue(double v) {
  if (fixed(_x))
    _y->removeValue(QrcBoundSum(v, -_x->getFloatMin(), QrcBoundExact));
  else if (fixed(_y))
    _x->removeValue(QrcBoundSum(v, -_y->getFloatMin(), QrcBoundExact));
}

void QrcAddI::removeOperandsRange(QrcInt a, QrcInt b) {
  _x->removeRange(a - _y->getMin(), b - _y->getMax());
  _y->removeRange(a - _x->getMin(), b - _x->getMax());
}

// ---------------------------------------------------------------- x - y

void QrcSubI::display(std::ostream& os) const {
  displayInfix(os, " - ");
}

QrcExprI* QrcSubI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcSubI(t, static_cast<QrcIntExpI*>(_x->getCopyForManager(t)),
                               static_cast<QrcIntExpI*>(_y->getCopyForManager(t))));
}

void QrcSubI::computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) {
  collectInt(_x, acc, coef);
  collectInt(_y, acc, -coef);
}

void QrcSubI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  _x->collectScaledLinearTerms(acc, coef);
  _y->collectScaledLinearTerms(acc, -coef);
}

QrcInt QrcSubI::getLinearSize() const {
  return sumSizes(_x->getLinearSize(), _y->getLinearSize());
}

void QrcSubI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  _min = xa - yb;
  _max = xb - ya;
}

void QrcSubI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  double lo = xa - yb, hi = xb - ya;
  bool force = outside53(lo + ya) || outside53(hi + yb) || outside53(xa - hi) || outside53(xb - lo);
  setBoundsFromDoubles(lo, hi, force);
}

void QrcSubI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  _x->setRange(a + ya, b + yb);
  _y->setRange(xa - b, xb - a);
}

void QrcSubI::setOperandsRange(double a, double b) {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  _x->setRange(QrcBoundSum(a, ya, QrcBoundDown), QrcBoundSum(b, yb, QrcBoundUp));
  _y->setRange(QrcBoundSum(xa, -b, QrcBoundDown), QrcBoundSum(xb, -a, QrcBoundUp));
}

void QrcSubI::removeOperandsValue(QrcInt v) {
  if (_x->isBound()) _y->removeValue(_x->getMin() - v);
  if (_y->isBound()) _x->removeValue(v + _y->getMin());
}

void QrcSubI::removeOperandsValue(double v) {
  if (fixed(_x)) _y->removeValue(QrcBoundSum(_x->getFloatMin(), -v, QrcBoundExact));
  if (fixed(_y)) _x->removeValue(QrcBoundSum(v, _y->getFloatMin(), QrcBoundExact));
}

void QrcSubI::removeOperandsRange(QrcInt a, QrcInt b) {
  if (a > b) return;
  QrcInt lo = a + _y->getMax(), hi = b + _y->getMin();
  if (lo <= hi) _x->removeRange(lo, hi);
  lo = _x->getMax() - b;
  hi = _x->getMin() - a;
  if (lo <= hi) _y->removeRange(lo, hi);
}

// ---------------------------------------------------------------- makers

QrcIntExp operator+(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator+");
  if (c == 0) return xe;
  QrcInt r;
  if (fixed(x) && QrcFoldAdd(x->getMin(), c, r)) return constant(x->getManager(), r);
  return reuse<QrcIntAddI>(x, x, c);
}

QrcIntExp operator+(QrcInt c, const QrcIntExp& x) {
  return x + c;
}

QrcIntExp operator+(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator+", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator+");
  QrcIntExpI* y = impl(ye, "operator+");
  if (x == y) return xe * 2;
  bool xb = fixed(x), yb = fixed(y);
  if (!xb && !yb) return reuse<QrcAddI>(x, x, y);
  if (!xb) return xe + y->getMin();
  return ye + x->getMin();
}

QrcIntExp operator-(const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "operator-");
  QrcManagerI* m = x->getManager();
  if (fixed(x) && x->getMin() != QrcIntMin) return constant(m, -x->getMin());
  if (m->isSharedIntZero(x)) return xe;
  return reuse<QrcOppI>(x, x);
}

QrcIntExp operator-(QrcInt c, const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "operator-");
  if (c == 0) return -xe;
  QrcInt r;
  if (fixed(x) && QrcFoldAdd(c, -x->getMin(), r)) return constant(x->getManager(), r);
  return reuse<QrcIntSubI>(x, c, x);
}

QrcIntExp operator-(const QrcIntExp& x, QrcInt c) {
  if (c == QrcInt64Max || c < -QrcIntMax) return x + QrcIntMin;
  return x + (-c);
}

QrcIntExp operator-(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator-", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator-");
  QrcIntExpI* y = impl(ye, "operator-");
  if (x == y && defined(x)) return QrcIntExp(x->getManager()->getIntZero());
  bool xb = fixed(x), yb = fixed(y);
  if (!xb && !yb) return reuse<QrcSubI>(x, x, y);
  if (!xb) return xe + (-y->getMin());
  return x->getMin() - ye;
}

QrcIntExp QrcAbs(const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "QrcAbs");
  if (x->getMin() >= 0) return xe;
  if (x->getMax() <= 0) return -xe;
  return reuse<QrcIntAbsI>(x, x);
}

QrcIntExp QrcSquare(const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "QrcSquare");
  QrcInt r;
  if (fixed(x) && QrcFoldMul(x->getMin(), x->getMin(), r)) return constant(x->getManager(), r);
  if (!x->isBound() && x->getMin() == 0 && x->getMax() == 1) return xe;
  return reuse<QrcSquareI>(x, x);
}
