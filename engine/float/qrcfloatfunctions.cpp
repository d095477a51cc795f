// Powers, exponential, logarithm and monotonic functions.
#include "qrcfloatfunctions.h"

#include <cmath>
#include <cstring>
#include <ostream>

#include "qrcfloatshare.h"
#include "qrcintervalbounds.h"
#include "qrcoutward.h"
#include "qrcfloatarith.h"
#include "qrcfloatconst.h"
#include "qrcfloatenv.h"
#include "qrcmanager.h"
#include "qrcoperands.h"
#include "qroplatform.h"

namespace {
const double Inf = HUGE_VAL;

QrcFloatExpI* checked(const QrcFloatExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

void displayPower(std::ostream& os, const QrcFloatExpI* x) {
  os << "QrcPower(";
  x->display(os);
  os << ",";
}
}  // namespace

// ---------------------------------------------------------------- x^n

QrcFloatIntPowerI::QrcFloatIntPowerI(QrcFloatExpI* x, QrcInt n)
    : QrcFloatUnaryExpI(0.0, x),
      _n(n),
      _invDown(0),
      _odd(n & 1),
      _invUp(0),
      _belowArg(NAN),
      _belowRoot(0),
      _aboveArg(NAN),
      _aboveRoot(0) {
  double dn = static_cast<double>(n);
  _invDown = divDown(1.0, dn);
  _invUp = divUp(1.0, dn);
  setRoundingNearest();
}

void QrcFloatIntPowerI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  displayPower(os, _x);
  os << _n << ")";
}

QrcExprI* QrcFloatIntPowerI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatIntPowerI(copyOf(_x, t), _n);
}

void QrcFloatIntPowerI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), lo, hi;
  if (_odd) {
    lo = a >= 0 ? powDown(a, _n) : -powUp(-a, _n);
    hi = b >= 0 ? powUp(b, _n) : -powDown(-b, _n);
  } else if (a >= 0) {
    lo = powDown(a, _n);
    hi = powUp(b, _n);
  } else if (b <= 0) {
    lo = powDown(-b, _n);
    hi = powUp(-a, _n);
  } else {
    QrcFloat pb = powUp(b, _n), pa = powUp(-a, _n);
    lo = 0;
    hi = pb > pa ? pb : pa;
  }
  setRoundingNearest();
  storeRange(lo, hi);
}

QrcFloat QrcFloatIntPowerI::rootBelow(QrcFloat y) {
  // Equal arguments give equal roots: zeros of either sign give 0.
  if (!(y == _belowArg)) {
    _belowRoot = rootDown(y, _invDown, _invUp);
    _belowArg = y;
  }
  return _belowRoot;
}

QrcFloat QrcFloatIntPowerI::rootAbove(QrcFloat y) {
  if (!(y == _aboveArg)) {
    _aboveRoot = rootUp(y, _invDown, _invUp);
    _aboveArg = y;
  }
  return _aboveRoot;
}

void QrcFloatIntPowerI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat l, u;
  if (_odd) {
    l = lo > 0 ? rootBelow(lo) : -rootAbove(-lo);
    u = (lo > 0 || hi >= 0) ? rootAbove(hi) : -rootBelow(-hi);
  } else {
    if (hi < 0) fail();
    QrcFloat r = rootAbove(hi);
    l = -r;
    u = r;
    if (lo > 0) {
      QrcFloat s = rootBelow(lo);
      setRoundingNearest();
      QrcFloat a = _x->getMin(), b = _x->getMax();
      if (s > b) u = -s;
      if (a > -s) l = s;
    }
  }
  setRoundingNearest();
  _x->setRange(l, u);
}

// ---------------------------------------------------------------- x^p

QrcFloatPowerI::QrcFloatPowerI(QrcFloatExpI* x, QrcFloat p)
    : QrcFloatUnaryExpI(0.0, x), _p(p), _invDown(0), _invUp(0) {
  _invDown = divDown(1.0, p);
  _invUp = divUp(1.0, p);
  setRoundingNearest();
}

void QrcFloatPowerI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  displayPower(os, _x);
  os << _p << ")";
}

QrcExprI* QrcFloatPowerI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatPowerI(copyOf(_x, t), _p);
}

void QrcFloatPowerI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax();
  if (b < 0) {
    storeRange(-Inf, Inf);
    setUndefined();
    return;
  }
  QrcFloatInterval r = powRealBounds(QrcFloatInterval{a > 0 ? a : 0.0, b}, _p);
  setRoundingNearest();
  storeRange(r.lo, r.hi);
}

void QrcFloatPowerI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (hi < 0) fail();
  QrcFloatInterval r = rootBounds(QrcFloatInterval{lo > 0 ? lo : 0.0, hi}, _invDown, _invUp);
  setRoundingNearest();
  _x->setRange(r.lo, r.hi);
}

// ---------------------------------------------------------------- exp and log

void QrcExponentI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "QrcExponent(";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcExponentI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcExponentI(copyOf(_x, t));
}

void QrcExponentI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloatInterval r = expBounds(QrcFloatInterval{_x->getMin(), _x->getMax()});
  setRoundingNearest();
  storeRange(r.lo, r.hi);
}

void QrcExponentI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (hi < 0) fail();
  QrcFloatInterval r = logBounds(QrcFloatInterval{lo, hi});
  setRoundingNearest();
  _x->setRange(r.lo, r.hi);
}

void QrcLogI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "QrcLog(";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcLogI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLogI(copyOf(_x, t));
}

void QrcLogI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax();
  if (b <= 0) {
    storeRange(-Inf, Inf);
    setUndefined();
    return;
  }
  QrcFloatInterval r = logBounds(QrcFloatInterval{a, b});
  setRoundingNearest();
  storeRange(r.lo, r.hi);
}

void QrcLogI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloatInterval r = expBounds(QrcFloatInterval{lo, hi});
  setRoundingNearest();
  _x->setRange(r.lo, r.hi);
}

// ---------------------------------------------------------------- monotonic functions

QrcMonotonicFloatExpI::QrcMonotonicFloatExpI(QrcFloatExpI* x, QrcFloatFunction f,
                                             QrcFloatFunction g, const char* name)
    : QrcFloatUnaryExpI(0.0, x), _f(f), _g(g), _fname(nullptr) {
  if (name) {
    size_t n = std::strlen(name) + 1;
    char* copy = static_cast<char*>(_manager->allocate(n));
    std::memcpy(copy, name, n);
    _fname = copy;
  }
}

void QrcMonotonicFloatExpI::display(std::ostream& os) const {
  os << (_fname ? _fname : "QrcMonotonicFloatExpI") << "(";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcMonotonicIncreasingFloatExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcMonotonicIncreasingFloatExpI(copyOf(_x, t), _f, _g, _fname);
}

// The argument is nudged in nearest rounding; the function then runs under
// the direction of the bound it gives.
void QrcMonotonicIncreasingFloatExpI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat wa = widenDown(_x->getMin());
  setRoundingDown();
  QrcFloat lo = _f(wa);
  QrcFloat wb = widenUp(_x->getMax());
  setRoundingUp();
  QrcFloat hi = _f(wb);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcMonotonicIncreasingFloatExpI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat wl = widenDown(lo);
  setRoundingDown();
  QrcFloat l = _g(wl);
  QrcFloat wh = widenUp(hi);
  setRoundingUp();
  QrcFloat u = _g(wh);
  setRoundingNearest();
  _x->setRange(l, u);
}

QrcExprI* QrcMonotonicDecreasingFloatExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcMonotonicDecreasingFloatExpI(copyOf(_x, t), _f, _g, _fname);
}

void QrcMonotonicDecreasingFloatExpI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat wb = widenUp(_x->getMax());
  setRoundingDown();
  QrcFloat lo = _f(wb);
  QrcFloat wa = widenDown(_x->getMin());
  setRoundingUp();
  QrcFloat hi = _f(wa);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcMonotonicDecreasingFloatExpI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat wh = widenUp(hi);
  setRoundingDown();
  QrcFloat l = _g(wh);
  QrcFloat wl = widenDown(lo);
  setRoundingUp();
  QrcFloat u = _g(wl);
  setRoundingNearest();
  _x->setRange(l, u);
}

// ---------------------------------------------------------------- makers

QrcFloatExp QrcPower(const QrcFloatExp& xh, QrcInt n) {
  QrcFloatExpI* x = checked(xh, "QrcPower");
  QrcManagerI* m = x->getManager();
  if (n == 0 || n == INT64_MIN) {
    m->getErrorReporter()->report(QrcIncompatibleArgumentError, "QrcPower",
                                  "Incompatible argument");
    return QrcFloatExp();
  }
  if (n == 1) return x;
  if (n == 2) return makeFloatSquare(x);
  if (n >= 3) return new (m) QrcFloatIntPowerI(x, n);
  return makeCstFloatDiv(1.0, QrcPower(xh, -n).getImpl());
}

QrcFloatExp QrcPower(const QrcFloatExp& x, int n) {
  return QrcPower(x, static_cast<QrcInt>(n));
}

QrcFloatExp QrcPower(const QrcFloatExp& xh, QrcFloat p) {
  QrcFloatExpI* x = checked(xh, "QrcPower");
  QrcManagerI* m = x->getManager();
  if (p == 0.0 || p != p) {
    m->getErrorReporter()->report(QrcIncompatibleArgumentError, "QrcPower",
                                  "Incompatible argument");
    return QrcFloatExp();
  }
  if (p == 1.0) return x;
  if (p == 2.0) return makeFloatSquare(x);
  if (p > 0) return new (m) QrcFloatPowerI(x, p);
  return makeCstFloatDiv(1.0, QrcPower(xh, -p).getImpl());
}

QrcFloatExp QrcPower(const QrcFloatExp& x, const QrcFloatExp& y) {
  QrcCheckOperands("QrcPower", {x, y});
  checked(x, "QrcPower");
  checked(y, "QrcPower");
  return QrcExponent(y * QrcLog(x));
}

QrcFloatExp QrcPower(QrcFloat c, const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "QrcPower");
  if (c < 0 || c != c) {
    x->getManager()->getErrorReporter()->report(QrcIncompatibleArgumentError, "QrcPower",
                                                "Incompatible argument");
    return QrcFloatExp();
  }
  // ln 0, ln infinity and ln 1 are exact.
  if (c == 0 || c == Inf || c == 1) return QrcExponent(xh * (c == 0 ? -Inf : c == Inf ? Inf : 0.0));
  // c^x = exp(x ln c) over an outward enclosure of ln c: a rounded point would
  // move the exponent by up to |x| ulp(ln c), past a tight bound.
  QrcFloat lo = logDown(c), hi = logUp(c);
  setRoundingNearest();
  return QrcExponent(xh * QrcFloatExp(QrcFloatConstI::make(x->getManager(), lo, hi, nullptr)));
}

QrcFloatExp QrcExponent(const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "QrcExponent");
  return new (x->getManager()) QrcExponentI(x);
}

QrcFloatExp QrcLog(const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "QrcLog");
  return new (x->getManager()) QrcLogI(x);
}

QrcFloatExp QrcMonotonicIncreasingFloatExp(const QrcFloatExp& xh, QrcFloatFunction f,
                                           QrcFloatFunction g, const char* name) {
  QrcFloatExpI* x = checked(xh, "QrcMonotonicIncreasingFloatExp");
  return new (x->getManager()) QrcMonotonicIncreasingFloatExpI(x, f, g, name);
}

QrcFloatExp QrcMonotonicDecreasingFloatExp(const QrcFloatExp& xh, QrcFloatFunction f,
                                           QrcFloatFunction g, const char* name) {
  QrcFloatExpI* x = checked(xh, "QrcMonotonicDecreasingFloatExp");
  return new (x->getManager()) QrcMonotonicDecreasingFloatExpI(x, f, g, name);
}
