// Products and quotients. Division truncates toward zero; a divisor that can
// be 0 keeps a quotient in double mode with unbounded bounds, and a divisor
// fixed at 0 forces the dividend to 0.
#include <ostream>

#include "qrcintutil.h"
#include "qrcintarith.h"
#include "qrcoperands.h"
#include "qroexpr.h"

using namespace qrcint;

namespace {

// A quotient whose divisor is fixed at 0 has a value only when its dividend
// is 0: the dividend is set to 0 (a constant dividend other than 0 fails).
// divisor null: the node divides by the constant 0; dividend null: by c.
void applyZeroDivisor(QrcIntExpI* node, QrcIntExpI* dividend, QrcInt c, QrcIntExpI* divisor) {
  if (divisor && !(divisor->isBound() && divisor->getMin() == 0)) return;
  if (dividend)
    dividend->setValue(0);
  else if (c != 0)
    node->fail();
}

// Value demon of a quotient node: the rule above, then the user demon once
// the node itself is bound.
class QrcQuotientValueDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcQuotientValueDemonI)
  QROSIMPLECLASS(QrcQuotientValueDemonI, QrcDemonI)
 public:
  QrcQuotientValueDemonI(QrcManagerI* m, QrcIntExpI* node, QrcIntExpI* dividend, QrcInt c,
                         QrcIntExpI* divisor, QrcDemonI* demon)
      : QrcDemonI(m), _node(node), _dividend(dividend), _divisor(divisor), _c(c), _demon(demon) {}
  void propagate() override {
    applyZeroDivisor();
    if (!_node->isBound()) return;
    _demon->markPending();
    _demon->runIfPending();
  }
  // Also when the demon is attached: the divisor may be 0 already.
  void applyZeroDivisor() { ::applyZeroDivisor(_node, _dividend, _c, _divisor); }
  void display(std::ostream& os) const override { os << "QrcQuotientValueDemon"; }

 private:
  QrcIntExpI* _node;
  QrcIntExpI* _dividend;
  QrcIntExpI* _divisor;
  QrcInt _c;
  QrcDemonI* _demon;
};

void attachValueDemon(QrcIntExpI* operand, QrcQuotientValueDemonI* v) {
  operand->whenRange(v);
  v->applyZeroDivisor();
}

// floor of a / b over 128 bits (b not 0).
__int128 floorDiv128(__int128 a, __int128 b) {
  __int128 q = a / b, r = a % b;
  return (r != 0 && ((r < 0) != (b < 0))) ? q - 1 : q;
}

QrcInt mul(QrcInt a, QrcInt b) {
  QrcInt p;
  if (__builtin_mul_overflow(a, b, &p)) return clamp128(static_cast<__int128>(a) * b);
  return p > QrcIntMax ? QrcIntMax : (p < QrcIntMin ? QrcIntMin : p);
}

double truncd(double v) {
  return std::trunc(v);
}

}  // namespace

// A request to remove values from a quotient whose divisor is 0 applies the
// zero-divisor rule; quotients remove nothing from their operands otherwise.
void QrcIntDivI::removeOperandsValue(QrcInt) {
  if (_c == 0) applyZeroDivisor(this, _x, 0, nullptr);
}
void QrcIntDivI::removeOperandsRange(QrcInt, QrcInt) {
  if (_c == 0) applyZeroDivisor(this, _x, 0, nullptr);
}
void QrcDivIntI::removeOperandsValue(QrcInt) {
  applyZeroDivisor(this, nullptr, _c, _x);
}
void QrcDivIntI::removeOperandsRange(QrcInt, QrcInt) {
  applyZeroDivisor(this, nullptr, _c, _x);
}
void QrcDivI::removeOperandsValue(QrcInt) {
  applyZeroDivisor(this, _x, 0, _y);
}
void QrcDivI::removeOperandsRange(QrcInt, QrcInt) {
  applyZeroDivisor(this, _x, 0, _y);
}

// ---------------------------------------------------------------- x * c

QrcInt QrcIntMulI::getExprTypeId() const {
  static QrcInt id = QrcExprI::newExprTypeId();
  return id;
}

void QrcIntMulI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "(" << _c << " * ";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcIntMulI::makeCopy(QrcManagerI* t) const {
  if (_c > 0) return fresh(new (t) QrcIntMulPosI(t, copyOf(_x, t), _c));
  return fresh(new (t) QrcIntMulNegI(t, copyOf(_x, t), _c));
}

void QrcIntMulI::computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) {
  if (_x->isVariable())
    acc->addIntVarTerm(_x, _c * coef);
  else
    _x->computeCoeffsVarsInternal(acc, _c * coef);
}

void QrcIntMulI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  _x->collectScaledLinearTerms(acc, static_cast<double>(_c) * coef);
}

void QrcIntMulI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax();
  if (xa > xb) return setNoValue(this);
  QrcInt a = mul(_c, xa), b = mul(_c, xb);
  _min = mn(a, b);
  _max = mx(a, b);
}

void QrcIntMulI::computeRangeAsDoubles() {
  double c = static_cast<double>(_c), xa = _x->getFloatMin(), xb = _x->getFloatMax();
  if (xa > xb) return setNoValue(this);
  double a = c * xa, b = c * xb;
  setBoundsFromDoubles(a < b ? a : b, a < b ? b : a);
}

void QrcIntMulI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt lo, hi;
  quotientRange(a, b, _c, lo, hi);
  if (lo > hi) fail();
  _x->setRange(lo, hi);
}

// Out of range: a bound past the limit bounds nothing.
void QrcIntMulI::setOperandsRange(double a, double b) {
  if (a != a || b != b) return;
  QrcInt ia = toInt(std::ceil(a)), ib = toInt(std::floor(b)), lo, hi;
  quotientRange(ia, ib, _c, lo, hi);
  if (ib >= QrcIntMax) (_c > 0 ? hi : lo) = _c > 0 ? QrcIntMax : QrcIntMin;
  if (ia <= QrcIntMin) (_c > 0 ? lo : hi) = _c > 0 ? QrcIntMin : QrcIntMax;
  if (lo > hi) fail();
  _x->setRange(lo, hi);
}

void QrcIntMulI::removeOperandsValue(QrcInt v) {
  if (v % _c == 0) _x->removeValue(v / _c);
}

void QrcIntMulI::removeOperandsRange(QrcInt a, QrcInt b) {
  QrcInt lo, hi;
  quotientRange(a, b, _c, lo, hi);
  if (lo <= hi) _x->removeRange(lo, hi);
}

// ---------------------------------------------------------------- x * y over 0-1

void QrcBoolMulI::display(std::ostream& os) const {
  displayInfix(os, " * ");
}

QrcExprI* QrcBoolMulI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcBoolMulI(t, copyOf(_x, t), copyOf(_y, t)));
}

void QrcBoolMulI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  _min = (xa != 0 && ya != 0) ? 1 : 0;
  _max = (xb != 0 && yb != 0) ? 1 : 0;
}

void QrcBoolMulI::setOperandsRange(QrcInt a, QrcInt b) {
  if (a > 1 || b < 0) fail();
  if (a == 1) {
    _x->setValue(1);
    _y->setValue(1);
  } else if (b == 0) {
    QrcInt xm = _x->getMin(), ym = _y->getMin();
    if (xm > 0) _y->setValue(0);
    if (ym > 0) _x->setValue(0);
  }
}

// ---------------------------------------------------------------- x * y

void QrcMulI::display(std::ostream& os) const {
  displayInfix(os, " * ");
}

QrcExprI* QrcMulI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcMulI(t, copyOf(_x, t), copyOf(_y, t)));
}

void QrcMulI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  QrcInt p[4] = {mul(xa, ya), mul(xa, yb), mul(xb, ya), mul(xb, yb)};
  _min = mn(mn(p[0], p[1]), mn(p[2], p[3]));
  _max = mx(mx(p[0], p[1]), mx(p[2], p[3]));
}

void QrcMulI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  double p[4] = {xa * ya, xa * yb, xb * ya, xb * yb};
  double lo = p[0], hi = p[0];
  bool force = false;
  for (double v : p) {
    if (v < lo) lo = v;
    if (v > hi) hi = v;
    if (outside53(v)) force = true;
  }
  setBoundsFromDoubles(lo, hi, force);
}

namespace {

// Bounds of one factor from the other factor's [lo, hi] and the product's [a, b].
void factorBounds(QrcManagerI* m, QrcInt lo, QrcInt hi, QrcInt a, QrcInt b, QrcInt& l, QrcInt& u) {
  if (b < 0) {
    factorBounds(m, -hi, -lo, -b, -a, l, u);
    return;
  }
  if (a > 0) {
    if (lo == 0 && hi == 0) m->fail();
    if (lo == 0) lo = 1;
    if (hi == 0) hi = -1;
    if (lo < 0 && hi > 0) {
      l = -b;
      u = b;
    } else if (hi < 0) {
      l = ceilDiv(b, hi);
      u = floorDiv(a, lo);
    } else {
      l = ceilDiv(a, hi);
      u = floorDiv(b, lo);
    }
    return;
  }
  if (lo > 0) {
    l = ceilDiv(a, lo);
    u = floorDiv(b, lo);
  } else if (hi < 0) {
    l = ceilDiv(b, hi);
    u = floorDiv(a, hi);
  } else {
    l = QrcIntMin;
    u = QrcIntMax;
  }
}

}  // namespace

// Out of range: a bound past the limit bounds nothing, and no factor then.
void QrcMulI::setOperandsRange(double a, double b) {
  if (!(a > -Limit && b < Limit)) return;
  setOperandsRange(toInt(a), toInt(b));
}

void QrcMulI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (a == 0 && b == 0) {
    bool xNonZero = xa > 0 || xb < 0;
    if (ya <= 0 && 0 <= yb) {
      if (xNonZero) _y->setValue(0);
    } else {
      _x->setValue(0);
      if (xNonZero) _y->setValue(0);
    }
    return;
  }
  QrcInt l, u;
  factorBounds(_manager, ya, yb, a, b, l, u);
  _x->setRange(l, u);
  factorBounds(_manager, xa, xb, a, b, l, u);
  _y->setRange(l, u);
}

// ---------------------------------------------------------------- x / c

QrcInt QrcIntDivI::getExprTypeId() const {
  static QrcInt id = QrcExprI::newExprTypeId();
  return id;
}

void QrcIntDivI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "(";
  _x->display(os);
  os << "/" << _c << ")";
}

QrcExprI* QrcIntDivI::makeCopy(QrcManagerI* t) const {
  if (_c >= 0) return fresh(new (t) QrcIntDivPI(t, copyOf(_x, t), _c));
  return fresh(new (t) QrcIntDivNI(t, copyOf(_x, t), _c));
}

void QrcIntDivI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax();
  if (xa > xb) return setNoValue(this);
  if (_c == 0) {
    computeRangeAsDoubles();
    return;
  }
  QrcInt a = xa / _c, b = xb / _c;
  _min = mn(a, b);
  _max = mx(a, b);
}

void QrcIntDivI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax();
  if (xa > xb) return setNoValue(this);
  if (_c == 0) {
    setBoundsFromDoubles(-1e100, 1e100);
    return;
  }
  double c = static_cast<double>(_c);
  double a = truncd(xa / c), b = truncd(xb / c);
  double lo = a < b ? a : b, hi = a < b ? b : a;
  double dl, dh;
  if (_c > 0) {
    dl = lo <= 0 ? c * lo - (c - 1) : c * lo;
    dh = hi >= 0 ? c * hi + (c - 1) : c * hi;
  } else {
    dl = hi >= 0 ? c * hi + c + 1 : c * hi;
    dh = lo <= 0 ? c * lo - c - 1 : c * lo;
  }
  setBoundsFromDoubles(lo, hi, outside53(dl) || outside53(dh));
}

void QrcIntDivI::whenValueOnOperands(QrcDemonI* d) {
  if (_c != 0) {
    _x->whenValue(d);
    return;
  }
  attachValueDemon(_x, new (_manager) QrcQuotientValueDemonI(_manager, this, _x, 0, nullptr, d));
}

void QrcIntDivI::setOperandsRange(QrcInt a, QrcInt b) {
  if (_c == 0) {
    _x->setValue(0);
    return;
  }
  __int128 c = _c;
  if (_c > 0)
    _x->setRange(clamp128(a <= 0 ? c * a - (c - 1) : c * a),
                 clamp128(b >= 0 ? c * b + (c - 1) : c * b));
  else
    _x->setRange(clamp128(b >= 0 ? c * b + c + 1 : c * b),
                 clamp128(a <= 0 ? c * a - c - 1 : c * a));
}

void QrcIntDivI::setOperandsRange(double a, double b) {
  if (_c == 0) {
    _x->setValue(0);
    return;
  }
  setOperandsRange(toInt(a), toInt(b));
}

// ---------------------------------------------------------------- c / x

void QrcDivIntI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "(" << _c << " / ";
  _x->display(os);
  os << ")";
}

QrcExprI* QrcDivIntI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcDivIntI(t, _c, copyOf(_x, t)));
}

void QrcDivIntI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax();
  if (xa > xb) return setNoValue(this);
  if (_x->isInDomain(0)) {
    computeRangeAsDoubles();
    return;
  }
  if (xa < 0 && 0 < xb) {
    xa = _x->getNextLower(0);
    xb = _x->getNextHigher(0);
  }
  QrcInt p = _c / xa, q = _c / xb;
  _min = mn(p, q);
  _max = mx(p, q);
}

void QrcDivIntI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax();
  if (xa > xb) return setNoValue(this);
  if (_x->isInDomain(0)) {
    setBoundsFromDoubles(-1e100, 1e100);
    return;
  }
  bool force = std::fabs(xa) + 1 > Limit || std::fabs(xb) + 1 > Limit ||
               std::fabs(static_cast<double>(_c)) + 1 > Limit;
  if (xa < 0 && 0 < xb) {
    xa = static_cast<double>(_x->getNextLower(0));
    xb = static_cast<double>(_x->getNextHigher(0));
  }
  double c = static_cast<double>(_c);
  double p = truncd(c / xa), q = truncd(c / xb);
  setBoundsFromDoubles(p < q ? p : q, p < q ? q : p, force);
}

void QrcDivIntI::whenValueOnOperands(QrcDemonI* d) {
  attachValueDemon(_x, new (_manager) QrcQuotientValueDemonI(_manager, this, nullptr, _c, _x, d));
}

void QrcDivIntI::setOperandsRange(QrcInt ia, QrcInt ib) {
  if (_c == 0) {
    if (ia > 0 || ib < 0) _x->setValue(0);
    return;
  }
  // Mirrored to c > 0 in 128 bits: -c and the bounds plus or minus 1 never overflow.
  __int128 c = _c, a = ia, b = ib;
  if (c < 0) {
    c = -c;
    __int128 t = a;
    a = -b;
    b = -t;
  }
  // A bound at the limit stands for no limit.
  bool noHigh = b >= QrcIntMax, noLow = a <= QrcIntMin;
  if (a >= 1) {
    _x->setRange(noHigh ? 1 : clamp128(floorDiv128(c, b + 1) + 1), clamp128(floorDiv128(c, a)));
  } else if (b <= -1) {
    _x->setRange(clamp128(-floorDiv128(c, -b)),
                 noLow ? -1 : clamp128(-(floorDiv128(c, 1 - a) + 1)));
  } else {
    QrcInt lo = noLow ? 0 : clamp128(-floorDiv128(c, 1 - a));
    QrcInt hi = noHigh ? 0 : clamp128(floorDiv128(c, b + 1));
    if (lo > _x->getMin() && hi < _x->getMax()) return;
    _x->removeRange(lo, hi);
  }
}

void QrcDivIntI::setOperandsRange(double a, double b) {
  if (_c != 0 && _x->isInDomain(0)) {
    if (_x->getMin() == 0) _x->setMin(1);
    if (_x->getMax() == 0) _x->setMax(-1);
  }
  setOperandsRange(toInt(a), toInt(b));
}

// ---------------------------------------------------------------- x / y

void QrcDivI::display(std::ostream& os) const {
  displayInfix(os, " / ");
}

QrcExprI* QrcDivI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcDivI(t, copyOf(_x, t), copyOf(_y, t)));
}

void QrcDivI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  if (_y->isInDomain(0)) {
    computeRangeAsDoubles();
    return;
  }
  if (ya >= 1) {
    _min = xa > 0 ? xa / yb : xa / ya;
    _max = xb < 0 ? xb / yb : xb / ya;
  } else if (yb <= -1) {
    _min = xb < 0 ? xb / ya : xb / yb;
    _max = xa > 0 ? xa / ya : xa / yb;
  } else {
    QrcInt p = _y->getNextHigher(0), q = _y->getNextLower(0);
    _min = mn(xa / p, xb / q);
    _max = mx(xb / p, xa / q);
  }
}

void QrcDivI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  if (_y->isInDomain(0)) {
    setBoundsFromDoubles(-1e100, 1e100);
    return;
  }
  double lo, hi;
  if (ya >= 1) {
    lo = truncd(xa > 0 ? xa / yb : xa / ya);
    hi = truncd(xb < 0 ? xb / yb : xb / ya);
  } else if (yb <= -1) {
    lo = truncd(xb < 0 ? xb / ya : xb / yb);
    hi = truncd(xa > 0 ? xa / ya : xa / yb);
  } else {
    double p = static_cast<double>(_y->getNextHigher(0)),
           q = static_cast<double>(_y->getNextLower(0));
    double l1 = truncd(xa / p), l2 = truncd(xb / q), h1 = truncd(xb / p), h2 = truncd(xa / q);
    lo = l1 < l2 ? l1 : l2;
    hi = h1 > h2 ? h1 : h2;
  }
  double m = std::fabs(ya) > std::fabs(yb) ? std::fabs(ya) : std::fabs(yb);
  double n = std::fabs(lo) > std::fabs(hi) ? std::fabs(lo) : std::fabs(hi);
  setBoundsFromDoubles(lo, hi, outside53((n + 1) * m + 1));
}

void QrcDivI::whenValueOnOperands(QrcDemonI* d) {
  QrcQuotientValueDemonI* v = new (_manager) QrcQuotientValueDemonI(_manager, this, _x, 0, _y, d);
  whenRangeOnOperands(v);
  v->applyZeroDivisor();
}

void QrcDivI::setOperandsRange(QrcInt a, QrcInt b) {
  if (_y->getMin() < 0 && 0 < _y->getMax())
    ruleS(a, b);
  else
    ruleN(a, b);
}

// Narrows the divisor y of x / y in [a, b] when x in [xa, xb] has one sign
// (the dividend is mirrored to positive values).
static void narrowDivisor(QrcIntExpI* y, QrcInt xa, QrcInt xb, QrcInt ya, QrcInt yb, QrcInt a,
                          QrcInt b) {
  QrcInt pa = xa, pb = xb, qa = a, qb = b;
  if (xb < 0) {
    pa = -xb;
    pb = -xa;
    qa = -b;
    qb = -a;
  }
  if (qa >= 1) {
    QrcInt lo = qb >= QrcIntMax ? 1 : ceilDiv(pa + 1, qb + 1);
    y->setRange(mx(ya, lo), mn(yb, floorDiv(pb, qa)));
  } else if (qb <= -1) {
    QrcInt hi = qa <= QrcIntMin ? -1 : -ceilDiv(pa + 1, 1 - qa);
    y->setRange(mx(ya, -floorDiv(pb, -qb)), mn(yb, hi));
  }
}

// Whether x's bounds are clamped at a limit, past which its values go: they
// bound no divisor.
static bool clampedDividend(QrcIntExpI* x) {
  return clamped(x) && (x->getMin() <= QrcIntMin || x->getMax() >= QrcIntMax);
}

void QrcDivI::ruleN(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (ya == 0) ya = 1;
  if (yb == 0) yb = -1;
  bool yNeg = yb < 0;
  bool narrowY = !(_outOfRange && clampedDividend(_x));
  if (xa <= 0 && 0 <= xb) {
    if (a <= 0 && 0 <= b) {
      narrowY = false;
    } else if ((a >= 1 && yNeg) || (b <= -1 && !yNeg)) {
      if (_x->getMin() >= 0) fail();
      xb = -1;
    } else {
      if (_x->getMax() <= 0) fail();
      xa = 1;
    }
  }
  if (narrowY) narrowDivisor(_y, xa, xb, ya, yb, a, b);
  // Narrow x from y, mirrored to a positive y.
  QrcInt p = _y->getMin(), q = _y->getMax();
  if (p == 0) p = 1;
  if (q == 0) q = -1;
  if (q < 0) {
    QrcInt t = p;
    p = -q;
    q = -t;
    t = a;
    a = -b;
    b = -t;
  }
  QrcInt upper, lower;
  QrcInt xmax = _x->getMax(), xmin = _x->getMin();
  if (b < 0)
    upper = (_x->getNextLower(0) / p > b) ? mul(p, b) : -1;
  else if (xmax >= 0)
    upper = (xmax / q > b) ? clamp128(static_cast<__int128>(b + 1) * q - 1) : QrcIntMax;
  else
    upper = QrcIntMax;
  if (a > 0)
    lower = (_x->getNextHigher(0) / q < a) ? mul(p, a) : 1;
  else if (xmin <= 0)
    lower = (xmin / q < a) ? clamp128(static_cast<__int128>(a - 1) * q + 1) : QrcIntMin;
  else
    lower = QrcIntMin;
  _x->setRange(lower, upper);
}

void QrcDivI::ruleS(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  bool bounded = !(_outOfRange && clampedDividend(_x));
  if (bounded && (xa > 0 || xb < 0)) {
    narrowDivisor(_y, xa, xb, ya, yb, a, b);
  } else if (bounded && a >= 1) {
    _y->setRange(mx(ya, -floorDiv(-xa, a)), mn(yb, floorDiv(xb, a)));
  } else if (bounded && b <= -1) {
    _y->setRange(mx(ya, -floorDiv(xb, -b)), mn(yb, floorDiv(-xa, -b)));
  }
  ya = _y->getMin();
  yb = _y->getMax();
  xa = _x->getMin();
  xb = _x->getMax();
  QrcInt lo1, hi1, lo2, hi2;
  if (b >= 0) {
    hi1 = yb == 0 ? -1
                  : ((xb / yb > b) ? clamp128(static_cast<__int128>(b + 1) * yb - 1) : QrcIntMax);
    lo1 =
        ya == 0 ? 1 : ((xa / ya > b) ? clamp128(static_cast<__int128>(b + 1) * ya + 1) : QrcIntMin);
  } else {
    hi1 = b;
    lo1 = -b;
  }
  if (a <= 0) {
    lo2 =
        yb == 0 ? 1 : ((xa / yb < a) ? clamp128(static_cast<__int128>(a - 1) * yb + 1) : QrcIntMin);
    hi2 = ya == 0 ? -1
                  : ((xb / ya < a) ? clamp128(static_cast<__int128>(a - 1) * ya - 1) : QrcIntMax);
  } else {
    lo2 = a;
    hi2 = -a;
  }
  _x->setRange(mn(lo1, lo2), mx(hi1, hi2));
}

void QrcDivI::setOperandsRange(double da, double db) {
  QrcInt a = toInt(da), b = toInt(db);
  if (!_y->isInDomain(0)) {
    setOperandsRange(a, b);
    return;
  }
  if (_y->isBound()) {
    _x->setValue(0);
    return;
  }
  if (!_x->isInDomain(0)) {
    if (_y->getMin() == 0) _y->setMin(1);
    if (_y->getMax() == 0) _y->setMax(-1);
    setOperandsRange(a, b);
    return;
  }
  if (_x->isBound()) {
    if (a > 0 || b < 0) _y->setValue(0);
    return;
  }
  // Rule D: 0 in both domains.
  double fxa = _x->getFloatMin(), fxb = _x->getFloatMax(), fya = _y->getFloatMin(),
         fyb = _y->getFloatMax();
  if (a >= 1) {
    double ylo = std::fmax(fya, std::ceil(fxa / a)), yhi = std::fmin(fyb, std::floor(fxb / a));
    _y->setRange(ylo, yhi);
    double bb = static_cast<double>(b) + 1;
    _x->setRange(ylo == 0 ? 0.0 : bb * ylo + 1, yhi == 0 ? 0.0 : bb * yhi - 1);
  } else if (b <= -1) {
    double ylo = std::fmax(fya, std::ceil(fxb / b)), yhi = std::fmin(fyb, std::floor(fxa / b));
    _y->setRange(ylo, yhi);
    double aa = static_cast<double>(a) - 1;
    _x->setRange(yhi == 0 ? 0.0 : aa * yhi + 1, ylo == 0 ? 0.0 : aa * ylo - 1);
  }
}

// ---------------------------------------------------------------- makers

QrcIntExp operator*(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator*");
  if (c == 1) return xe;
  QrcInt r;
  if (fixed(x) && QrcFoldMul(x->getMin(), c, r)) return constant(x->getManager(), r);
  if (c >= 2) return reuse<QrcIntMulPosI>(x, x, c);
  // 0 wherever x has a value, and no value where x has none.
  if (c == 0 && !defined(x)) return reuse<QrcMulI>(x, x, x->getManager()->getIntZero());
  if (c == 0) return QrcIntExp(x->getManager()->getIntZero());
  if (c == -1) return -xe;
  return reuse<QrcIntMulNegI>(x, x, c);
}

QrcIntExp operator*(QrcInt c, const QrcIntExp& x) {
  return x * c;
}

QrcIntExp operator*(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator*", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator*");
  QrcIntExpI* y = impl(ye, "operator*");
  if (x == y) return QrcSquare(xe);
  if (fixed(y)) return xe * y->getMin();
  if (fixed(x)) return ye * x->getMin();
  QrcManagerI* m = x->getManager();
  if (m->isSharedIntZero(x)) return xe;
  if (m->isSharedIntZero(y)) return ye;
  if (x->getMin() >= 0 && y->getMin() >= 0 && x->getMax() <= 1 && y->getMax() <= 1)
    return reuse<QrcBoolMulI>(x, x, y);
  return reuse<QrcMulI>(x, x, y);
}

QrcIntExp operator/(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator/");
  if (fixed(x) && c != 0) return constant(x->getManager(), x->getMin() / c);
  if (c == 1) return xe;
  if (c >= 2 || c == 0) return reuse<QrcIntDivPI>(x, x, c);
  if (c == -1) return -xe;
  return reuse<QrcIntDivNI>(x, x, c);
}

QrcIntExp operator/(QrcInt c, const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "operator/");
  if (c == 0 && !x->isInDomain(0) && defined(x)) return QrcIntExp(x->getManager()->getIntZero());
  if (fixed(x) && x->getMin() != 0) {
    // The one quotient of 64-bit integers that overflows.
    if (c == INT64_MIN && x->getMin() == -1)
      throw QroIntExpr::QroOverflowOccurred("overflow occurred in division");
    return constant(x->getManager(), c / x->getMin());
  }
  return reuse<QrcDivIntI>(x, c, x);
}

QrcIntExp operator/(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator/", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator/");
  QrcIntExpI* y = impl(ye, "operator/");
  if (fixed(y)) return xe / y->getMin();
  if (fixed(x)) return x->getMin() / ye;
  if (x == y && !x->isInDomain(0) && defined(x)) return constant(x->getManager(), 1);
  return reuse<QrcDivI>(x, x, y);
}
