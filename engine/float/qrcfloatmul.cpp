// Products and quotients: c * x, x / c, x * y, x / y and k / x.
#include <cmath>
#include <ostream>

#include "qrcfloatshare.h"
#include "qrcintervalbounds.h"
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

// Products where a factor of exactly 0 counts as 0 (also against an infinity).
double mul0Down(double a, double b) {
  return (a == 0 || b == 0) ? 0.0 : mulDown(a, b);
}
double mul0Up(double a, double b) {
  return (a == 0 || b == 0) ? 0.0 : mulUp(a, b);
}

bool isZeroInterval(QrcFloatExpI* e) {
  return e->getMin() == 0 && e->getMax() == 0;
}

// "No narrowing" of the zero rules: with variable precision off the operand
// still goes through setRange (which fails on an undefined operand).
void noNarrowing(QrcFloatExpI* t) {
  if (!t->getManager()->variablePrecision()) t->setRange(-Inf, Inf);
}

// Bounds of the factor t of z = t * u, u in [p, q], z in [lo, hi] with lo > 0.
QrcFloatInterval factorOfPositive(QrcFloat p, QrcFloat q, QrcFloat lo, QrcFloat hi) {
  QrcFloat l, u;
  if (q <= 0) {
    l = q < 0 ? divDown(hi, q) : -Inf;
    u = divUp(lo, p);
  } else if (p >= 0) {
    l = divDown(lo, q);
    u = p > 0 ? divUp(hi, p) : Inf;
  } else {
    l = -Inf;
    u = Inf;
  }
  return QrcFloatInterval{l, u};
}

// Bounds of the factor t of z = t * u, u in [p, q], z in [lo, hi] holding 0;
// false when u holds 0 and t is not narrowed.
bool factorOfZeroCrossing(QrcFloat p, QrcFloat q, QrcFloat lo, QrcFloat hi, QrcFloatInterval* r) {
  QrcFloat l = -Inf, u = Inf;
  bool narrow = true;
  if (lo == 0 && hi == 0) {
    if (p > 0 || q < 0)
      l = u = 0;
    else
      narrow = false;
  } else if (lo == 0) {
    if (p > 0) {
      l = 0;
      u = divUp(hi, p);
    } else if (q < 0) {
      l = divDown(hi, q);
      u = 0;
    } else {
      narrow = false;
    }
  } else if (hi == 0) {
    if (p > 0) {
      l = divDown(lo, p);
      u = 0;
    } else if (q < 0) {
      l = 0;
      u = divUp(lo, q);
    } else {
      narrow = false;
    }
  } else {
    if (p > 0) {
      l = divDown(lo, p);
      u = divUp(hi, p);
    } else if (q < 0) {
      l = divDown(hi, q);
      u = divUp(lo, q);
    } else {
      narrow = false;
    }
  }
  *r = QrcFloatInterval{l, u};
  return narrow;
}

// Narrows the factor t of z = t * u, u in [p, q], z in [lo, hi].
void narrowFactor(QrcFloatExpI* node, QrcFloatExpI* t, QrcFloat p, QrcFloat q, QrcFloat lo,
                  QrcFloat hi) {
  if (hi < 0) {
    QrcFloat np = -q, nq = -p, nlo = -hi, nhi = -lo;
    p = np;
    q = nq;
    lo = nlo;
    hi = nhi;
  }
  if (lo > 0) {
    if (p == 0 && q == 0) node->fail();
    QrcFloatInterval r = factorOfPositive(p, q, lo, hi);
    setRoundingNearest();
    t->setRange(r.lo, r.hi);
    return;
  }
  QrcFloatInterval r;
  bool narrow = factorOfZeroCrossing(p, q, lo, hi, &r);
  setRoundingNearest();
  if (narrow)
    t->setRange(r.lo, r.hi);
  else
    noNarrowing(t);
}

// Quotient bounds for a positive divisor [c, d].
QrcFloatInterval positiveQuotient(QrcFloat a, QrcFloat b, QrcFloat c, QrcFloat d) {
  return QrcFloatInterval{divDown(a, a <= 0 ? c : d), divUp(b, b >= 0 ? c : d)};
}

// The divisor of z = x / y: y = x / z, x in [a, b], z in [lo, hi].
QrcFloatInterval divisorRange(QrcFloatExpI* node, QrcFloatExpI* y, QrcFloat a, QrcFloat b,
                              QrcFloat lo, QrcFloat hi) {
  QrcFloat l = -Inf, u = Inf;
  if (lo > 0) {
    QrcFloatInterval r = positiveQuotient(a, b, lo, hi);
    l = r.lo;
    u = r.hi;
  } else if (hi < 0) {
    QrcFloatInterval r = positiveQuotient(-b, -a, -hi, -lo);
    l = r.lo;
    u = r.hi;
  } else if (lo == 0 && hi == 0) {
    if (a > 0 || b < 0) node->fail();
  } else if (lo == 0) {
    if (a > 0)
      l = divDown(a, hi);
    else if (b < 0)
      u = divUp(b, hi);
  } else if (hi == 0) {
    if (a > 0)
      u = divUp(a, lo);
    else if (b < 0)
      l = divDown(b, lo);
  } else if (a > 0 || b < 0) {
    QrcFloat n = a > 0 ? divUp(a, lo) : divUp(b, hi);
    QrcFloat p = a > 0 ? divDown(a, hi) : divDown(b, lo);
    setRoundingNearest();
    if (p > y->getMax()) u = n;
    if (y->getMin() > n) l = p;
  }
  return QrcFloatInterval{l, u};
}

// The dividend of z = x / y: x = z * y, y in [c, d], z in [lo, hi].
QrcFloatInterval dividendRange(QrcFloat c, QrcFloat d, QrcFloat lo, QrcFloat hi) {
  QrcFloat xl, xu;
  if (lo >= 0) {
    if (c < 0 && d <= 0) {
      xl = mul0Down(hi, c);
      xu = mul0Up(lo, d);
    } else {
      xl = mul0Down(c >= 0 ? lo : hi, c);
      xu = mul0Up(hi, d);
    }
  } else if (hi <= 0) {
    QrcFloat nc = -d, nd = -c, nlo = -hi, nhi = -lo;
    if (nc < 0 && nd <= 0) {
      xl = mul0Down(nhi, nc);
      xu = mul0Up(nlo, nd);
    } else {
      xl = mul0Down(nc >= 0 ? nlo : nhi, nc);
      xu = mul0Up(nhi, nd);
    }
  } else if (c >= 0) {
    xl = mul0Down(lo, d);
    xu = mul0Up(hi, d);
  } else if (d <= 0) {
    xl = mul0Down(hi, c);
    xu = mul0Up(lo, c);
  } else {
    QrcFloat l1 = mul0Down(hi, c), l2 = mul0Down(lo, d);
    QrcFloat u1 = mul0Up(lo, c), u2 = mul0Up(hi, d);
    xl = l1 > l2 ? l2 : l1;
    xu = u1 > u2 ? u1 : u2;
  }
  return QrcFloatInterval{xl, xu};
}

}  // namespace

// ---------------------------------------------------------------- c * x

void QrcCstFloatMulI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "(" << _c << " * ";
  _x->display(os);
  os << ")";
}

void QrcCstFloatMulI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat k) {
  _x->collectScaledLinearTerms(acc, k * _c);
}

void QrcCstFloatMulI::removeWhenOnOperands(QrcDemonI* demon) {
  QrcFloatRemoveDemon(_x, demon);
}

QrcFloatExpI* QrcCstFloatMulI::getDerivative(QrcFloatExpI* v) {
  QrcFloatExpI* dx = _x->derivative(v);
  return dx ? makeCstFloatMul(_c, dx) : nullptr;
}

QrcExprI* QrcCstFloatMulPosI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcCstFloatMulPosI(_c, copyOf(_x, t));
}

void QrcCstFloatMulPosI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat lo = mul0Down(_x->getMin(), _c), hi = mul0Up(_x->getMax(), _c);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcCstFloatMulPosI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat l = divDown(lo, _c), u = divUp(hi, _c);
  setRoundingNearest();
  _x->setRange(l, u);
}

QrcExprI* QrcCstFloatMulNegI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcCstFloatMulNegI(_c, copyOf(_x, t));
}

void QrcCstFloatMulNegI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat lo = mul0Down(_x->getMax(), _c), hi = mul0Up(_x->getMin(), _c);
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcCstFloatMulNegI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat l = divDown(hi, _c), u = divUp(lo, _c);
  setRoundingNearest();
  _x->setRange(l, u);
}

// ---------------------------------------------------------------- x / c

void QrcFloatCstDivI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "(";
  _x->display(os);
  os << " / " << _c << ")";
}

QrcExprI* QrcFloatCstDivI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatCstDivI(_c, copyOf(_x, t));
}

void QrcFloatCstDivI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), lo, hi;
  if (_c > 0) {
    lo = divDown(a, _c);
    hi = divUp(b, _c);
  } else if (_c < 0) {
    lo = divDown(b, _c);
    hi = divUp(a, _c);
  } else {
    lo = -Inf;
    hi = Inf;
    if (a > 0 || b < 0) setUndefined();
  }
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcFloatCstDivI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat l = 0, u = 0;
  if (_c > 0) {
    l = mul0Down(lo, _c);
    u = mul0Up(hi, _c);
  } else if (_c < 0) {
    l = mul0Down(hi, _c);
    u = mul0Up(lo, _c);
  }
  setRoundingNearest();
  _x->setRange(l, u);
}

void QrcFloatCstDivI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat k) {
  // Code 36 gives its message first, then the operator.
  if (_c == 0.0) getErrorReporter()->report(QrcDivideByZeroError, "divide by zero", "/", _x);
  _x->collectScaledLinearTerms(acc, k / _c);
}

// ---------------------------------------------------------------- x * y

void QrcFloatMulI::display(std::ostream& os) const {
  displayInfix(os, " * ");
}

QrcExprI* QrcFloatMulI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatMulI(copyOf(_x, t), copyOf(_y, t));
}

void QrcFloatMulI::computeRange() {
  if (undefinedOperands()) return;
  QrcFloatInterval r = intervalProduct(QrcFloatInterval{_x->getMin(), _x->getMax()},
                                       QrcFloatInterval{_y->getMin(), _y->getMax()});
  setRoundingNearest();
  storeRange(r.lo, r.hi);
}

void QrcFloatMulI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  if ((a == 0 && b == 0) || (c == 0 && d == 0)) {
    if (lo > 0 || hi < 0) fail();
    if (!_manager->variablePrecision()) {
      _x->setRange(-Inf, Inf);
      _y->setRange(-Inf, Inf);
    }
    return;
  }
  narrowFactor(this, _x, c, d, lo, hi);
  narrowFactor(this, _y, a, b, lo, hi);
}

QrcFloatExpI* QrcFloatMulI::getDerivative(QrcFloatExpI* v) {
  QrcFloatExpI* dx = _x->derivative(v);
  QrcFloatExpI* dy = _y->derivative(v);
  if (dx && dy) return makeFloatAdd(makeFloatMul(dx, _y), makeFloatMul(dy, _x));
  if (dx) return makeFloatMul(dx, _y);
  if (dy) return makeFloatMul(dy, _x);
  return nullptr;
}

// ---------------------------------------------------------------- x / y

void QrcFloatDivI::display(std::ostream& os) const {
  displayInfix(os, " / ");
}

QrcExprI* QrcFloatDivI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatDivI(copyOf(_x, t), copyOf(_y, t));
}

void QrcFloatDivI::computeRange() {
  if (undefinedOperands()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  QrcFloatInterval r = intervalQuotient(QrcFloatInterval{a, b}, QrcFloatInterval{c, d});
  if (c == 0 && d == 0) {
    r = QrcFloatInterval{-Inf, Inf};
    if (a > 0 || b < 0) setUndefined();
  }
  setRoundingNearest();
  storeRange(r.lo, r.hi);
}

void QrcFloatDivI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (isZeroInterval(_y)) {
    _x->setRange(0, 0);
    return;
  }
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  QrcFloatInterval y = divisorRange(this, _y, a, b, lo, hi);
  setRoundingNearest();
  _y->setRange(y.lo, y.hi);
  // y's bounds are read before its narrowing.
  QrcFloatInterval x = dividendRange(c, d, lo, hi);
  setRoundingNearest();
  _x->setRange(x.lo, x.hi);
}

// ---------------------------------------------------------------- k / x

void QrcCstFloatDivI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "(" << _c << " / ";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcCstFloatDivI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcCstFloatDivI(_c, copyOf(_x, t));
}

void QrcCstFloatDivI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat k = _c, a = _x->getMin(), b = _x->getMax(), lo = -Inf, hi = Inf;
  if (a > 0 || b < 0) {
    if (k > 0) {
      lo = divDown(k, b);
      hi = divUp(k, a);
    } else if (k < 0) {
      lo = divDown(k, a);
      hi = divUp(k, b);
    } else {
      lo = hi = 0;
    }
  } else if (a == 0 && b == 0) {
    if (k != 0) setUndefined();
  } else if (b == 0) {
    if (k > 0)
      hi = divUp(k, a);
    else if (k < 0)
      lo = divDown(k, a);
  } else if (a == 0) {
    if (k > 0)
      lo = divDown(k, b);
    else if (k < 0)
      hi = divUp(k, b);
  }
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcCstFloatDivI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat k = _c;
  if (k == 0) {
    if (lo > 0 || hi < 0) {
      _x->setRange(0, 0);
    } else {
      noNarrowing(_x);
    }
    return;
  }
  QrcFloat l = -Inf, u = Inf;
  if (lo > 0 || hi < 0) {
    if (k > 0) {
      l = divDown(k, hi);
      u = divUp(k, lo);
    } else {
      l = divDown(k, lo);
      u = divUp(k, hi);
    }
  } else if (lo == 0 && hi == 0) {
    fail();
  } else if (lo == 0) {
    if (k > 0)
      l = divDown(k, hi);
    else
      u = divUp(k, hi);
  } else if (hi == 0) {
    if (k > 0)
      u = divUp(k, lo);
    else
      l = divDown(k, lo);
  } else {
    QrcFloat n = k > 0 ? divUp(k, lo) : divUp(k, hi);
    QrcFloat p = k > 0 ? divDown(k, hi) : divDown(k, lo);
    setRoundingNearest();
    if (p > _x->getMax()) _x->setRange(-Inf, n);
    if (_x->getMin() > n) _x->setRange(p, Inf);
    return;
  }
  setRoundingNearest();
  _x->setRange(l, u);
}

// ---------------------------------------------------------------- makers

QrcFloatExpI* makeCstFloatMulPos(QrcFloat c, QrcFloatExpI* x) {
  return shareUnaryNode<QrcCstFloatMulPosI>(c, x);
}
QrcFloatExpI* makeCstFloatMulNeg(QrcFloat c, QrcFloatExpI* x) {
  return shareUnaryNode<QrcCstFloatMulNegI>(c, x);
}
QrcFloatExpI* makeFloatCstDiv(QrcFloatExpI* x, QrcFloat c) {
  return shareUnaryNode<QrcFloatCstDivI>(c, x);
}
QrcFloatExpI* makeFloatMul(QrcFloatExpI* x, QrcFloatExpI* y) {
  return shareBinaryNode<QrcFloatMulI>(x, y);
}
QrcFloatExpI* makeFloatDiv(QrcFloatExpI* x, QrcFloatExpI* y) {
  return shareBinaryNode<QrcFloatDivI>(x, y);
}
QrcFloatExpI* makeCstFloatDiv(QrcFloat k, QrcFloatExpI* x) {
  return shareUnaryNode<QrcCstFloatDivI>(k, x);
}

QrcFloatExpI* makeCstFloatMul(QrcFloat c, QrcFloatExpI* x) {
  if (c == 1.0) return x;
  QrcFloatExpI* zero = QrcGetFloatZero(x->getManager());
  if (c == 0.0 || x == zero) return zero;
  if (c > 0) return makeCstFloatMulPos(c, x);
  if (c == -1.0) return makeFloatOpp(x);
  return makeCstFloatMulNeg(c, x);
}

QrcFloatExp operator*(QrcFloat c, const QrcFloatExp& x) {
  return makeCstFloatMul(c, checked(x, "operator*"));
}
QrcFloatExp operator*(const QrcFloatExp& x, QrcFloat c) {
  return makeCstFloatMul(c, checked(x, "operator*"));
}

QrcFloatExp operator/(const QrcFloatExp& xh, QrcFloat c) {
  QrcFloatExpI* x = checked(xh, "operator/");
  if (c == 1.0) return x;
  if (c == -1.0) return -xh;
  if (x == QrcGetFloatZero(x->getManager())) return x;
  return makeFloatCstDiv(x, c);
}

QrcFloatExp operator*(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator*", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator*");
  QrcFloatExpI* y = checked(yh, "operator*");
  QrcFloatExpI* zero = QrcGetFloatZero(x->getManager());
  if (x == y) return QrcSquare(xh);
  if (x == zero || y == zero) return zero;
  if (x->getMin() == x->getMax()) return makeCstFloatMul(x->getMin(), y);
  if (y->getMin() == y->getMax()) return makeCstFloatMul(y->getMin(), x);
  return makeFloatMul(x, y);
}

QrcFloatExp operator/(const QrcFloatExp& xh, const QrcFloatExp& yh) {
  QrcCheckOperands("operator/", {xh, yh});
  QrcFloatExpI* x = checked(xh, "operator/");
  QrcFloatExpI* y = checked(yh, "operator/");
  QrcManagerI* m = x->getManager();
  if (x == y) return new (m) QrcFloatExpI(m, 1.0, 1.0, m->getDefaultPrecision(), nullptr);
  if (y->getMin() == y->getMax()) return xh / y->getMin();
  if (x->getMin() == x->getMax()) return x->getMin() / yh;
  return makeFloatDiv(x, y);
}

QrcFloatExp operator/(QrcFloat k, const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "operator/");
  QrcManagerI* m = x->getManager();
  if (k == 0.0 && !x->isInDomain(0.0))
    return new (m) QrcFloatExpI(m, 0.0, 0.0, m->getDefaultPrecision(), nullptr);
  return makeCstFloatDiv(k, x);
}
