#include "qrcfloatcompare.h"

#include <cmath>
#include <cstring>
#include <ostream>

#include "qrcfloatshare.h"
#include "qrcmanager.h"
#include "qrcoperands.h"

namespace {

const double Inf = HUGE_VAL;

bool undefinedNow(const QrcFloatExpI* e) {
  return e->getManager()->variablePrecision() && e->isUndefined();
}

bool fixed(const QrcFloatExpI* e) {
  return e->getMin() == e->getMax();
}

QrcFloatExpI* checked(const QrcFloatExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

void show(std::ostream& os, const QrcFloatExpI* a, const char* op, const QrcFloatExpI* b) {
  os << "(";
  a->display(os);
  os << op;
  b->display(os);
  os << ")";
}

void show(std::ostream& os, const QrcFloatExpI* a, const char* op, QrcFloat c) {
  os << "(";
  a->display(os);
  os << op << c << ")";
}

void show(std::ostream& os, QrcFloat c, const char* op, const QrcFloatExpI* b) {
  os << "(" << c << op;
  b->display(os);
  os << ")";
}

}  // namespace

QrcFloat QrcFloatZeroMargin() {
  const uint64_t bits = 0x0010000000000001ull;
  double m;
  std::memcpy(&m, &bits, sizeof m);
  return m;
}

// ---------------------------------------------------------------- x == y

void QrcEqFloatConstraintI::post() {
  metaPostDemon(this);
}
void QrcEqFloatConstraintI::metaPostDemon(QrcDemonI* d) {
  _x->whenRange(d);
  _y->whenRange(d);
}
void QrcEqFloatConstraintI::propagate() {
  QrcFloat lo = std::fmax(_x->getMin(), _y->getMin()), hi = std::fmin(_x->getMax(), _y->getMax());
  _x->setRange(lo, hi);
  _y->setRange(lo, hi);
}
QrcBool QrcEqFloatConstraintI::isFalse() const {
  return _x->getMin() > _y->getMax() || _y->getMin() > _x->getMax() || undefinedNow(_x) ||
         undefinedNow(_y);
}
QrcConstraintI* QrcEqFloatConstraintI::makeOpposite() {
  return new (_manager) QrcNeqFloatConstraint(_x, _y);
}
QrcConstraintI* QrcEqFloatConstraintI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqFloatConstraintI(copyOf(_x, t), copyOf(_y, t));
}
void QrcEqFloatConstraintI::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else
    show(os, _x, " == ", _y);
}

// ---------------------------------------------------------------- x != y

void QrcNeqFloatConstraint::post() {
  _x->whenValue(new (_manager) QrcNeqFloat_xDemonI(this));
  _y->whenValue(new (_manager) QrcNeqFloat_yDemonI(this));
}
void QrcNeqFloatConstraint::metaPostDemon(QrcDemonI* d) {
  _x->whenValue(d);
  _y->whenValue(d);
}
void QrcNeqFloatConstraint::propagateSide(bool xSide) {
  QrcFloatExpI* a = xSide ? _x : _y;
  QrcFloatExpI* b = xSide ? _y : _x;
  if (!fixed(a)) return;
  QrcFloat v = a->getMin();
  if (b->getValueSet())
    b->removeValue(v);
  else if (fixed(b) && b->getMin() == v)
    fail();
}
void QrcNeqFloatConstraint::propagate() {
  if (undefinedNow(_x) || undefinedNow(_y)) fail();
  QrcFloat xmin = _x->getMin(), xmax = _x->getMax(), ymin = _y->getMin(), ymax = _y->getMax();
  if (xmin == xmax) {
    if (_y->getValueSet())
      _y->removeValue(xmin);
    else if (ymin == ymax && ymin == xmin)
      fail();
  }
  if (ymin == ymax) {
    if (_x->getValueSet())
      _x->removeValue(ymin);
    else if (xmin == xmax && xmin == ymin)
      fail();
  }
}
QrcBool QrcNeqFloatConstraint::isFalse() const {
  return (fixed(_x) && fixed(_y) && _x->getMin() == _y->getMin()) || undefinedNow(_x) ||
         undefinedNow(_y);
}
QrcConstraintI* QrcNeqFloatConstraint::makeOpposite() {
  return new (_manager) QrcEqFloatConstraintI(_x, _y);
}
QrcConstraintI* QrcNeqFloatConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqFloatConstraint(copyOf(_x, t), copyOf(_y, t));
}
void QrcNeqFloatConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else
    show(os, _x, " != ", _y);
}
void QrcNeqFloat_xDemonI::display(std::ostream& os) const {
  os << "QrcNeqFloat_xDemon";
}
void QrcNeqFloat_yDemonI::display(std::ostream& os) const {
  os << "QrcNeqFloat_yDemon";
}

// ---------------------------------------------------------------- lhs <= rhs, lhs < rhs

void QrcLeFloatConstraintI::post() {
  metaPostDemon(this);
}
void QrcLeFloatConstraintI::metaPostDemon(QrcDemonI* d) {
  _lhs->whenRange(d);
  _rhs->whenRange(d);
}
void QrcLeFloatConstraintI::propagate() {
  _rhs->setRange(_lhs->getMin(), Inf);
  _lhs->setRange(-Inf, _rhs->getMax());
}
bool QrcLeFloatConstraintI::runIfQuiet() {
  QrcFloat lmin = _lhs->getMin(), lmax = _lhs->getMax();
  QrcFloat rmin = _rhs->getMin(), rmax = _rhs->getMax();
  if (!(lmax <= rmin && lmin < Inf && rmax > -Inf)) return false;
  if (!_rhs->isQuietTarget() || !_lhs->isQuietTarget()) return false;
  _rhs->touch();
  _lhs->touch();
  return true;
}
QrcBool QrcLeFloatConstraintI::isFalse() const {
  return _lhs->getMin() > _rhs->getMax() || undefinedNow(_lhs) || undefinedNow(_rhs);
}
QrcConstraintI* QrcLeFloatConstraintI::makeOpposite() {
  return new (_manager) QrcLtFloatConstraintI(!_flag, _rhs, _lhs);
}
QrcConstraintI* QrcLeFloatConstraintI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLeFloatConstraintI(_flag, copyOf(_lhs, t), copyOf(_rhs, t));
}
void QrcLeFloatConstraintI::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else if (_flag)
    show(os, _rhs, " >= ", _lhs);
  else
    show(os, _lhs, " <= ", _rhs);
}

void QrcLtFloatConstraintI::post() {
  metaPostDemon(this);
}
void QrcLtFloatConstraintI::metaPostDemon(QrcDemonI* d) {
  _lhs->whenRange(d);
  _rhs->whenRange(d);
}
void QrcLtFloatConstraintI::propagate() {
  QrcFloat lmin = _lhs->getMin(), lmax = _lhs->getMax(), rmin = _rhs->getMin(),
           rmax = _rhs->getMax();
  if (undefinedNow(_lhs) || undefinedNow(_rhs)) fail();
  _rhs->setRange(lmin, Inf);
  if (_rhs->getValueSet()) _rhs->removeValue(lmin);
  _lhs->setRange(-Inf, rmax);
  if (_lhs->getValueSet()) _lhs->removeValue(rmax);
  if (lmin == lmax && rmin == rmax && lmin == rmin) fail();
}
QrcBool QrcLtFloatConstraintI::isFalse() const {
  return _lhs->getMin() >= _rhs->getMax() || undefinedNow(_lhs) || undefinedNow(_rhs);
}
QrcConstraintI* QrcLtFloatConstraintI::makeOpposite() {
  return new (_manager) QrcLeFloatConstraintI(!_flag, _rhs, _lhs);
}
QrcConstraintI* QrcLtFloatConstraintI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLtFloatConstraintI(_flag, copyOf(_lhs, t), copyOf(_rhs, t));
}
void QrcLtFloatConstraintI::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else if (_flag)
    show(os, _rhs, " > ", _lhs);
  else
    show(os, _lhs, " < ", _rhs);
}

// ---------------------------------------------------------------- x == c, x != c

void QrcEqFloatCstConstraint::post() {
  metaPostDemon(this);
}
void QrcEqFloatCstConstraint::metaPostDemon(QrcDemonI* d) {
  x()->whenRange(d);
}
void QrcEqFloatCstConstraint::propagate() {
  x()->setValue(_c);
}
QrcBool QrcEqFloatCstConstraint::isFalse() const {
  return !x()->isInDomain(_c) || undefinedNow(x());
}
QrcConstraintI* QrcEqFloatCstConstraint::makeOpposite() {
  return new (_manager) QrcNeqFloatCstConstraint(_c, x());
}
QrcConstraintI* QrcEqFloatCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqFloatCstConstraint(copyOf(x(), t), _c);
}
void QrcEqFloatCstConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else
    show(os, x(), " == ", _c);
}

void QrcNeqFloatCstConstraint::post() {
  metaPostDemon(this);
}
void QrcNeqFloatCstConstraint::metaPostDemon(QrcDemonI* d) {
  _x->whenValue(d);
}
void QrcNeqFloatCstConstraint::propagate() {
  if (_x->getValueSet())
    _x->removeValue(_c);
  else if (isFalse())
    fail();
}
QrcBool QrcNeqFloatCstConstraint::isFalse() const {
  return (_x->getMin() == _c && _x->getMax() == _c) || undefinedNow(_x);
}
QrcConstraintI* QrcNeqFloatCstConstraint::makeOpposite() {
  return new (_manager) QrcEqFloatCstConstraint(_x, _c);
}
QrcConstraintI* QrcNeqFloatCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqFloatCstConstraint(_c, copyOf(_x, t));
}
void QrcNeqFloatCstConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else
    show(os, _x, " != ", _c);
}

// ---------------------------------------------------------------- x == 0, x != 0

void QrcEqNullConstraint::post() {
  metaPostDemon(this);
}
void QrcEqNullConstraint::metaPostDemon(QrcDemonI* d) {
  x()->whenRange(d);
}
void QrcEqNullConstraint::propagate() {
  QrcFloat m = QrcFloatZeroMargin();
  x()->setRange(-m, m);
}
QrcBool QrcEqNullConstraint::isFalse() const {
  QrcFloat m = QrcFloatZeroMargin();
  return -m > x()->getMax() || x()->getMin() > m || undefinedNow(x());
}
QrcConstraintI* QrcEqNullConstraint::makeOpposite() {
  return new (_manager) QrcNeqNullConstraint(x());
}
QrcConstraintI* QrcEqNullConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqNullConstraint(copyOf(x(), t));
}

void QrcNeqNullConstraint::post() {
  metaPostDemon(this);
}
void QrcNeqNullConstraint::metaPostDemon(QrcDemonI* d) {
  x()->whenRange(d);
}
void QrcNeqNullConstraint::propagate() {
  if (undefinedNow(x())) fail();
  QrcFloat m = QrcFloatZeroMargin();
  QrcFloat max = x()->getMax();
  if (x()->getMin() >= -m) x()->setRange(m, Inf);
  if (m >= max) x()->setRange(-Inf, -m);
}
QrcBool QrcNeqNullConstraint::isFalse() const {
  QrcFloat m = QrcFloatZeroMargin();
  return (x()->getMin() >= -m && x()->getMax() <= m) || undefinedNow(x());
}
QrcConstraintI* QrcNeqNullConstraint::makeOpposite() {
  return new (_manager) QrcEqNullConstraint(x());
}
QrcConstraintI* QrcNeqNullConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqNullConstraint(copyOf(x(), t));
}

// ---------------------------------------------------------------- x <= c, x >= c, x < c, x > c

void QrcLeFloatCstConstraint::post() {
  metaPostDemon(this);
}
void QrcLeFloatCstConstraint::metaPostDemon(QrcDemonI* d) {
  x()->whenRange(d);
}
void QrcLeFloatCstConstraint::propagate() {
  bool taken = _c == _c && _memo.take(x(), -1);
  x()->setRange(-Inf, _c);
  if (taken) _memo.keepIfUnchanged();
}
bool QrcLeFloatCstConstraint::runIfQuiet() {
  // As setRange reads it: a bound that is not a number restricts nothing.
  QrcFloat c = _c != _c ? Inf : _c;
  bool quiet = (c > -Inf && x()->getMax() <= c && x()->isQuietTarget()) ||
               (c > -Inf && c < Inf && _memo.holds(x(), -1));
  if (!quiet) return false;
  x()->touch();
  return true;
}
QrcBool QrcLeFloatCstConstraint::isFalse() const {
  return x()->getMin() > _c || undefinedNow(x());
}
QrcConstraintI* QrcLeFloatCstConstraint::makeOpposite() {
  return new (_manager) QrcGtFloatCstConstraint(!_flag, _c, x());
}
QrcConstraintI* QrcLeFloatCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLeFloatCstConstraint(copyOf(x(), t), _flag, _c);
}
void QrcLeFloatCstConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else if (_flag)
    show(os, _c, " >= ", x());
  else
    show(os, x(), " <= ", _c);
}

void QrcGeFloatCstConstraint::post() {
  metaPostDemon(this);
}
void QrcGeFloatCstConstraint::metaPostDemon(QrcDemonI* d) {
  x()->whenRange(d);
}
void QrcGeFloatCstConstraint::propagate() {
  bool taken = _c == _c && _memo.take(x(), 1);
  x()->setRange(_c, Inf);
  if (taken) _memo.keepIfUnchanged();
}
bool QrcGeFloatCstConstraint::runIfQuiet() {
  QrcFloat c = _c != _c ? -Inf : _c;
  bool quiet = (c < Inf && x()->getMin() >= c && x()->isQuietTarget()) ||
               (c > -Inf && c < Inf && _memo.holds(x(), 1));
  if (!quiet) return false;
  x()->touch();
  return true;
}
QrcBool QrcGeFloatCstConstraint::isFalse() const {
  return _c > x()->getMax() || undefinedNow(x());
}
QrcConstraintI* QrcGeFloatCstConstraint::makeOpposite() {
  return new (_manager) QrcLtFloatCstConstraint(!_flag, _c, x());
}
QrcConstraintI* QrcGeFloatCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcGeFloatCstConstraint(copyOf(x(), t), _flag, _c);
}
void QrcGeFloatCstConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else if (_flag)
    show(os, _c, " <= ", x());
  else
    show(os, x(), " >= ", _c);
}

void QrcLtFloatCstConstraint::post() {
  metaPostDemon(this);
}
void QrcLtFloatCstConstraint::metaPostDemon(QrcDemonI* d) {
  _x->whenRange(d);
}
void QrcLtFloatCstConstraint::propagate() {
  _x->setRange(-Inf, _c);
  if (_x->getValueSet()) _x->removeValue(_c);
  if (_x->getMin() == _c && _x->getMax() == _c) fail();
}
QrcBool QrcLtFloatCstConstraint::isFalse() const {
  return _x->getMin() >= _c || undefinedNow(_x);
}
QrcConstraintI* QrcLtFloatCstConstraint::makeOpposite() {
  return new (_manager) QrcGeFloatCstConstraint(_x, !_flag, _c);
}
QrcConstraintI* QrcLtFloatCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLtFloatCstConstraint(_flag, _c, copyOf(_x, t));
}
void QrcLtFloatCstConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else if (_flag)
    show(os, _c, " > ", _x);
  else
    show(os, _x, " < ", _c);
}

void QrcGtFloatCstConstraint::post() {
  metaPostDemon(this);
}
void QrcGtFloatCstConstraint::metaPostDemon(QrcDemonI* d) {
  _x->whenRange(d);
}
void QrcGtFloatCstConstraint::propagate() {
  _x->setRange(_c, Inf);
  if (_x->getValueSet()) _x->removeValue(_c);
  if (_x->getMin() == _c && _x->getMax() == _c) fail();
}
QrcBool QrcGtFloatCstConstraint::isFalse() const {
  return _c >= _x->getMax() || undefinedNow(_x);
}
QrcConstraintI* QrcGtFloatCstConstraint::makeOpposite() {
  return new (_manager) QrcLeFloatCstConstraint(_x, !_flag, _c);
}
QrcConstraintI* QrcGtFloatCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcGtFloatCstConstraint(_flag, _c, copyOf(_x, t));
}
void QrcGtFloatCstConstraint::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else if (_flag)
    show(os, _c, " < ", _x);
  else
    show(os, _x, " > ", _c);
}

// ---------------------------------------------------------------- factories

QrcConstraint operator==(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator==", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator==");
  QrcFloatExpI* y = checked(yh, "operator==");
  if (x == y) return x->getManager()->getTrueConstraint();
  return new (x->getManager()) QrcEqFloatConstraintI(x, y);
}

QrcConstraint operator==(const QrcFloatExp& xh, QrcFloat c) {
  QrcFloatExpI* x = checked(xh, "operator==");
  return new (x->getManager()) QrcEqFloatCstConstraint(x, c);
}

QrcConstraint makeEqNullConstraint(const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "makeEqNullConstraint");
  return new (x->getManager()) QrcEqNullConstraint(x);
}

QrcConstraint operator<=(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator<=", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator<=");
  QrcFloatExpI* y = checked(yh, "operator<=");
  if (x == y) return x->getManager()->getTrueConstraint();
  return new (x->getManager()) QrcLeFloatConstraintI(0, x, y);
}

QrcConstraint operator>=(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator>=", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator>=");
  QrcFloatExpI* y = checked(yh, "operator>=");
  if (x == y) return x->getManager()->getTrueConstraint();
  return new (y->getManager()) QrcLeFloatConstraintI(1, y, x);
}

QrcConstraint operator<=(const QrcFloatExp& xh, QrcFloat c) {
  QrcFloatExpI* x = checked(xh, "operator<=");
  return new (x->getManager()) QrcLeFloatCstConstraint(x, 0, c);
}

QrcConstraint operator>=(const QrcFloatExp& xh, QrcFloat c) {
  QrcFloatExpI* x = checked(xh, "operator>=");
  return new (x->getManager()) QrcGeFloatCstConstraint(x, 0, c);
}
