// Minima and maxima, sums of arrays, the boolean sum and scalar products.
#include <cstring>
#include <typeinfo>
#include <ostream>

#include "qrcintutil.h"
#include "qrcfloatenv.h"
#include "qrcoperands.h"
#include "qroexception.h"
#include "qroplatform.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"

using namespace qrcint;

namespace {

// A negative count of terms is a bad array size (error 5); the report does not return.
void checkCount(QrcManagerI* m, QrcInt n, const char* maker) {
  if (n < 0) m->getErrorReporter()->report(QrcBadArraySizeError, maker, "bad array size", n);
}

QrcIntExpI** heapTerms(QrcManagerI* m, QrcInt n, QrcIntExpI* const* terms) {
  QrcIntExpI** t = static_cast<QrcIntExpI**>(
      m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcIntExpI*)));
  for (QrcInt i = 0; i < n; ++i) t[i] = terms[i];
  return t;
}

}  // namespace

// ---------------------------------------------------------------- min(x, c), max(x, c)

void QrcIntMinI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "QrcMin(";
  _x->display(os);
  os << "," << _c << ")";
}

QrcExprI* QrcIntMinI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcIntMinI(t, copyOf(_x, t), _c));
}

void QrcIntMinI::computeRange() {
  QrcInt a = _x->getMin(), b = _x->getMax();
  if (a > b) return setNoValue(this);
  _min = mn(a, _c);
  _max = mn(b, _c);
}

void QrcIntMinI::computeRangeAsDoubles() {
  double c = static_cast<double>(_c), a = _x->getFloatMin(), b = _x->getFloatMax();
  if (a > b) return setNoValue(this);
  setBoundsFromDoubles(std::fmin(a, c), std::fmin(b, c));
}

void QrcIntMinI::setOperandsRange(QrcInt a, QrcInt b) {
  if (b < _c)
    _x->setRange(a, b);
  else if (a > _c)
    fail();
  else
    _x->setMin(a);
}

void QrcIntMaxI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "QrcMax(";
  _x->display(os);
  os << "," << _c << ")";
}

QrcExprI* QrcIntMaxI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcIntMaxI(t, copyOf(_x, t), _c));
}

void QrcIntMaxI::computeRange() {
  QrcInt a = _x->getMin(), b = _x->getMax();
  if (a > b) return setNoValue(this);
  _min = mx(a, _c);
  _max = mx(b, _c);
}

void QrcIntMaxI::computeRangeAsDoubles() {
  double c = static_cast<double>(_c), a = _x->getFloatMin(), b = _x->getFloatMax();
  if (a > b) return setNoValue(this);
  setBoundsFromDoubles(std::fmax(a, c), std::fmax(b, c));
}

void QrcIntMaxI::setOperandsRange(QrcInt a, QrcInt b) {
  if (a > _c)
    _x->setRange(a, b);
  else if (b < _c)
    fail();
  else
    _x->setMax(b);
}

// ---------------------------------------------------------------- min(x, y), max(x, y)

void QrcMinI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "QrcMin(";
  _x->display(os);
  os << ", ";
  _y->display(os);
  os << ")";
}

QrcExprI* QrcMinI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcMinI(t, copyOf(_x, t), copyOf(_y, t)));
}

void QrcMinI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  _min = mn(xa, ya);
  _max = mn(xb, yb);
}

void QrcMinI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  setBoundsFromDoubles(std::fmin(xa, ya), std::fmin(xb, yb));
}

void QrcMinI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  bool xCan = xa <= b && yb >= xa;
  bool yCan = ya <= b && xb >= ya;
  if (xCan && yCan) {
    _x->setMin(a);
    _y->setMin(a);
  } else if (xCan) {
    _x->setRange(a, b);
  } else {
    _y->setRange(a, b);
  }
}

void QrcMaxI::display(std::ostream& os) const {
  if (displayAsVariable(os)) return;
  os << "QrcMax(";
  _x->display(os);
  os << ", ";
  _y->display(os);
  os << ")";
}

QrcExprI* QrcMaxI::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcMaxI(t, copyOf(_x, t), copyOf(_y, t)));
}

void QrcMaxI::computeRange() {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  _min = mx(xa, ya);
  _max = mx(xb, yb);
}

void QrcMaxI::computeRangeAsDoubles() {
  double xa = _x->getFloatMin(), xb = _x->getFloatMax(), ya = _y->getFloatMin(),
         yb = _y->getFloatMax();
  if (xa > xb || ya > yb) return setNoValue(this);
  setBoundsFromDoubles(std::fmax(xa, ya), std::fmax(xb, yb));
}

void QrcMaxI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt xa = _x->getMin(), xb = _x->getMax(), ya = _y->getMin(), yb = _y->getMax();
  bool xCan = xb >= a && xb >= ya;
  bool yCan = yb >= a && yb >= xa;
  if (xCan && yCan) {
    _x->setMax(b);
    _y->setMax(b);
  } else if (xCan) {
    _x->setRange(a, b);
  } else {
    _y->setRange(a, b);
  }
}

// ---------------------------------------------------------------- array nodes

QrcArrayExpI::QrcArrayExpI(QrcManagerI* m, QrcInt n, QrcIntExpI** terms)
    : QrcIntExpI(m), _size(n), _terms(terms) {
  for (QrcInt i = 0; i < n; ++i) {
    terms[i]->addParent(this);
    if (!_mayLack) _mayLack = !defined(terms[i]);
  }
}

QrcConstraintI* QrcArrayExpI::makeUndefinedConstraint() {
  if (isVariable() || !_mayLack) return nullptr;
  QrcConstraintI* u = nullptr;
  for (QrcInt i = 0; i < _size; ++i) u = QrcEitherOf(u, _terms[i]->makeUndefinedConstraint());
  return u;
}

bool QrcArrayExpI::computeValueOpen() {
  for (QrcInt i = 0; i < _size; ++i)
    if (_terms[i]->isValueOpen()) return true;
  return false;
}

void QrcArrayExpI::requireOperandValues() {
  for (QrcInt i = 0; i < _size; ++i) _terms[i]->requireValue();
}

void QrcArrayExpI::removeWhenOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _size; ++i) _terms[i]->removeWhen(d);
}

void QrcArrayExpI::whenRangeOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _size; ++i) _terms[i]->whenRange(d);
}

void QrcArrayExpI::displayArrayNode(std::ostream& os, const char* head) const {
  if (isVariable() || getName()) {
    QrcIntExpI::display(os);
    return;
  }
  const_cast<QrcArrayExpI*>(this)->refreshBounds();
  os << head << static_cast<const void*>(this) << ")[" << _min << ".." << _max << "]";
}

QrcIntExpI** QrcArrayExpI::copyTerms(QrcManagerI* t) const {
  QrcIntExpI** terms = static_cast<QrcIntExpI**>(
      t->allocate(static_cast<size_t>(_size > 0 ? _size : 1) * sizeof(QrcIntExpI*)));
  for (QrcInt i = 0; i < _size; ++i) terms[i] = copyOf(_terms[i], t);
  return terms;
}

QrcExprI* QrcArrayMax::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcArrayMax(t, _size, copyTerms(t)));
}

void QrcArrayMax::computeRange() {
  QrcInt lo = QrcIntMin, hi = QrcIntMin;
  for (QrcInt i = 0; i < _size; ++i) {
    QrcInt a = _terms[i]->getMin(), b = _terms[i]->getMax();
    if (a > b) return setNoValue(this);
    lo = mx(lo, a);
    hi = mx(hi, b);
  }
  _min = lo;
  _max = hi;
}

void QrcArrayMax::computeRangeAsDoubles() {
  double lo = -1e300, hi = -1e300;
  for (QrcInt i = 0; i < _size; ++i) {
    double a = _terms[i]->getFloatMin(), b = _terms[i]->getFloatMax();
    if (a > b) return setNoValue(this);
    lo = std::fmax(lo, a);
    hi = std::fmax(hi, b);
  }
  setBoundsFromDoubles(lo, hi);
}

void QrcArrayMax::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt m = getMin(), M = getMax();
  if (b < m || a > M || a > b) fail();
  if (a > m && b < M) {
    QrcInt counted = 0, last = -1;
    for (QrcInt i = 0; i < _size; ++i) {
      if (_terms[i]->getMax() >= a) {
        ++counted;
        last = i;
      }
      if (_terms[i]->getMax() > b) _terms[i]->setMax(b);
    }
    if (counted == 1) _terms[last]->setMin(a);
  } else if (a > m) {
    QrcInt counted = 0, last = -1;
    for (QrcInt i = 0; i < _size; ++i)
      if (_terms[i]->getMax() >= a) {
        ++counted;
        last = i;
      }
    if (counted == 1) _terms[last]->setMin(a);
  } else if (b < M) {
    for (QrcInt i = 0; i < _size; ++i) _terms[i]->setMax(b);
  }
}

QrcExprI* QrcArrayMin::makeCopy(QrcManagerI* t) const {
  return fresh(new (t) QrcArrayMin(t, _size, copyTerms(t)));
}

void QrcArrayMin::computeRange() {
  QrcInt lo = QrcIntMax, hi = QrcIntMax;
  for (QrcInt i = 0; i < _size; ++i) {
    QrcInt a = _terms[i]->getMin(), b = _terms[i]->getMax();
    if (a > b) return setNoValue(this);
    lo = mn(lo, a);
    hi = mn(hi, b);
  }
  _min = lo;
  _max = hi;
}

void QrcArrayMin::computeRangeAsDoubles() {
  double lo = 1e300, hi = 1e300;
  for (QrcInt i = 0; i < _size; ++i) {
    double a = _terms[i]->getFloatMin(), b = _terms[i]->getFloatMax();
    if (a > b) return setNoValue(this);
    lo = std::fmin(lo, a);
    hi = std::fmin(hi, b);
  }
  setBoundsFromDoubles(lo, hi);
}

void QrcArrayMin::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt m = getMin(), M = getMax();
  if (b < m || a > M || a > b) fail();
  if (a > m && b < M) {
    QrcInt counted = 0, last = -1;
    for (QrcInt i = 0; i < _size; ++i) {
      if (_terms[i]->getMin() <= b) {
        ++counted;
        last = i;
      }
      if (_terms[i]->getMin() < a) _terms[i]->setMin(a);
    }
    if (counted == 1) _terms[last]->setMax(b);
  } else if (a > m) {
    for (QrcInt i = 0; i < _size; ++i) _terms[i]->setMin(a);
  } else if (b < M) {
    QrcInt counted = 0, last = -1;
    for (QrcInt i = 0; i < _size; ++i)
      if (_terms[i]->getMin() <= b) {
        ++counted;
        last = i;
      }
    if (counted == 1) _terms[last]->setMax(b);
  }
}

// ---------------------------------------------------------------- array sum

QrcArraySumI::QrcArraySumI(QrcManagerI* m, QrcInt n, QrcIntExpI** terms)
    : QrcArrayExpI(m, n, terms),
      _width(0),
      _factors(
          static_cast<QrcInt*>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcInt)))) {
  for (QrcInt i = 0; i < n; ++i) {
    const std::type_info& k = typeid(*terms[i]);
    bool scaled =
        k == typeid(QrcIntMulI) || k == typeid(QrcIntMulPosI) || k == typeid(QrcIntMulNegI);
    _factors[i] = scaled ? static_cast<QrcIntMulI*>(terms[i])->getConstant() : 0;
  }
  computeRangeAsDoubles();
}

QrcExprI* QrcArraySumI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcArraySumI(t, _size, copyTerms(t));
}

void QrcArraySumI::computeCoeffsVarsInternal(QrcLinearAccumulatorI*, QrcInt) {
  getErrorReporter()->report(
      QrcNotImplementedError, "Zandrel",
      "Not implemented: QrcArraySumI::computeCoeffsVarsInternal(QrcIntVarArray, QrcIntArray, "
      "QrcInt&, QrcInt&, QrcInt)");
}

void QrcArraySumI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  for (QrcInt i = 0; i < _size; ++i) _terms[i]->collectScaledLinearTerms(acc, coef);
}

namespace {
// The bounds of a stale term c * x read from the variable x, as the term
// computes them, and stored in the term as its own refresh would store them
// (a later change of x reaches the sum through the term only while the term
// is fresh); false where c is 0 (no such term), the term keeps its bounds in
// doubles, x is not a variable or c * x leaves the integer range.
inline bool scaledBounds(QrcIntExpI* t, QrcInt c, QrcInt& a, QrcInt& b) {
  if (c == 0 || t->isOutOfRange()) return false;
  QrcIntExpI* x = static_cast<QrcIntMulI*>(t)->getOperand();
  if (!x->isVariable()) return false;
  QrcInt p, q;
  if (__builtin_mul_overflow(c, x->rawMin(), &p) || __builtin_mul_overflow(c, x->rawMax(), &q))
    return false;
  a = mn(p, q);
  b = mx(p, q);
  if (a < QrcIntMin || b > QrcIntMax) return false;
  t->storeFreshBounds(a, b);
  return true;
}
}  // namespace

void QrcArraySumI::computeRange() {
  QrcInt lo = 0, hi = 0, w = 0;
  bool none = false;
  QrcInt stamp = _manager->getFailStamp();
  for (QrcInt i = 0; i < _size; ++i) {
    QrcIntExpI* t = _terms[i];
    QrcInt a, b;
    // A variable's bound fields, and a fresh node's, are its bounds.
    if (t->isVariable() || t->getBoundsStamp() == stamp) {
      a = t->rawMin();
      b = t->rawMax();
    } else if (!scaledBounds(t, _factors[i], a, b)) {
      a = t->getMin();
      b = t->getMax();
    }
    lo += a;
    hi += b;
    w = mx(w, b - a);
    none |= a > b;
  }
  if (none) {
    _width = 0;
    return setNoValue(this);
  }
  _min = lo;
  _max = hi;
  _width = w;
}

void QrcArraySumI::computeRangeAsDoubles() {
  // The bounds summed in 128 bits: partial sums in doubles would round past
  // 2^53. A term's clamped bound (getFloatMin's 1e30) bounds nothing.
  QrcInt128 sumMin = 0, sumMax = 0;
  bool noLo = false, noHi = false;
  QrcInt span = 0;
  for (QrcInt i = 0; i < _size; ++i) {
    QrcIntExpI* t = _terms[i];
    QrcInt a = t->getMin(), b = t->getMax();
    if (a > b) {
      _width = 0;
      return setNoValue(this);
    }
    bool out = t->isOutOfRange();
    noLo |= out && a <= QrcIntMin;
    noHi |= out && b >= QrcIntMax;
    sumMin += a;
    sumMax += b;
    span = mx(span, b - a);
  }
  // Past the limits, any double past them tells it.
  double lo = noLo ? -1e30 : (sumMin < QrcIntMin ? -2 * TwoTo53 : static_cast<double>(sumMin));
  double hi = noHi ? 1e30 : (sumMax > QrcIntMax ? 2 * TwoTo53 : static_cast<double>(sumMax));
  double w = noLo || noHi ? 1e30 : static_cast<double>(span);
  bool force = false;
  if (!outside53(w)) {
    _width = static_cast<QrcInt>(w);
    for (QrcInt i = 0; i < _size && !force; ++i)
      force = outside53(_terms[i]->getFloatMax() - (hi - lo)) ||
              outside53(_terms[i]->getFloatMin() + (hi - lo));
  } else {
    _width = QrcInt64Max;
    force = true;
  }
  setBoundsFromDoubles(lo, hi, force);
}

void QrcArraySumI::setOperandsRange(QrcInt a, QrcInt b) {
  QrcInt m = getMin(), M = getMax();
  bool lower = _width > M - a && a > m;
  bool upper = _width > b - m && b < M;
  if (!lower && !upper) return;
  // A term c * x over a variable narrows x itself, as the term would (but
  // for the monitor's hooks, and at the root, where the term's narrowing is
  // a change at the root).
  bool direct = !_manager->isAtRoot() && !_manager->getPropagationQueue()->isTracing();
  for (QrcInt i = 0; i < _size; ++i) {
    QrcIntExpI* t = _terms[i];
    if (direct && _factors[i] != 0 && narrowScaled(t, _factors[i], a - M, b - m)) continue;
    t->setRange(t->getMax() + (a - M), t->getMin() + (b - m));
  }
}

// t = c * x: what t->setRange(max + dlo, min + dhi) does, without reading or
// narrowing t; false, having done nothing, where t is a variable, x is not
// one, or c * x leaves the integer range.
bool QrcArraySumI::narrowScaled(QrcIntExpI* t, QrcInt c, QrcInt dlo, QrcInt dhi) {
  if (t->isVariable()) return false;
  QrcIntExpI* x = static_cast<QrcIntMulI*>(t)->getOperand();
  if (!x->isVariable()) return false;
  QrcInt p, q;
  if (__builtin_mul_overflow(c, x->getMin(), &p) || __builtin_mul_overflow(c, x->getMax(), &q))
    return false;
  QrcInt tmin = mn(p, q), tmax = mx(p, q);
  if (tmin < QrcIntMin || tmax > QrcIntMax) return false;
  QrcInt lo = tmax + dlo, hi = tmin + dhi;
  if (lo <= tmin && hi >= tmax) return true;
  if (lo > hi || hi < tmin || lo > tmax) fail();
  // Only a side that moves is divided: the other keeps x's bound.
  QrcInt xlo = x->rawMin(), xhi = x->rawMax();
  narrowQuotient(lo, hi, c, p, q, xlo, xhi);
  if (xlo > xhi) fail();
  x->setRange(xlo, xhi);
  return true;
}

namespace {
// Sums with directed rounding; rounding goes back to nearest afterwards.
__attribute__((noinline)) double sumMins(QrcIntExpI** terms, QrcInt n, double& width) {
  double s = 0;
  width = 0;
  for (QrcInt i = 0; i < n; ++i) {
    double a = terms[i]->getFloatMin(), b = terms[i]->getFloatMax();
    s += a;
    if (b - a > width) width = b - a;
  }
  return s;
}
__attribute__((noinline)) double sumMaxs(QrcIntExpI** terms, QrcInt n) {
  double s = 0;
  for (QrcInt i = 0; i < n; ++i) s += terms[i]->getFloatMax();
  return s;
}
__attribute__((noinline)) double sub(double a, double b) {
  return a - b;
}
__attribute__((noinline)) double add(double a, double b) {
  return a + b;
}
}  // namespace

void QrcArraySumI::setOperandsRange(double a, double b) {
  double w;
  qroplatform::setRounding(3);
  double lo = sumMins(_terms, _size, w);
  qroplatform::setRounding(2);
  double hi = sumMaxs(_terms, _size);
  double dhi = sub(b, lo);
  qroplatform::setRounding(3);
  double dlo = sub(a, hi);
  qroplatform::setRounding(1);
  if (!((w > -dlo && a > lo) || (w > dhi && hi > b))) return;
  for (QrcInt i = 0; i < _size; ++i) {
    QrcIntExpI* t = _terms[i];
    qroplatform::setRounding(3);
    double l = add(t->getFloatMax(), dlo);
    qroplatform::setRounding(2);
    double h = add(t->getFloatMin(), dhi);
    qroplatform::setRounding(1);
    t->setRange(l, h);
  }
}

// ---------------------------------------------------------------- boolean sum

QrcCardSumVarI::QrcCardSumVarI(QrcManagerI* m, QrcInt n, QrcIntExpI** terms)
    : QrcIntExpI(m, 0, n, ""), _size(n), _terms(terms) {}

QrcExprI* QrcCardSumVarI::makeCopy(QrcManagerI* t) const {
  QrcIntExpI** terms =
      static_cast<QrcIntExpI**>(t->allocate(static_cast<size_t>(_size) * sizeof(QrcIntExpI*)));
  for (QrcInt i = 0; i < _size; ++i) terms[i] = copyOf(_terms[i], t);
  QrcCardSumVarI* v = new (t) QrcCardSumVarI(t, _size, terms);
  t->add(new (t) QrcCardSumI(t, v, _size, terms));
  return v;
}

void QrcCardSumVarI::computeCoeffsVarsInternal(QrcLinearAccumulatorI*, QrcInt) {
  throw QroNotImplemented();
}

void QrcCardSumVarI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  for (QrcInt i = 0; i < _size; ++i) _terms[i]->collectScaledLinearTerms(acc, coef);
}

namespace {

class QrcCardSumXDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcCardSumXDemonI)
  QROSIMPLECLASS(QrcCardSumXDemonI, QrcDemonI)
 public:
  QrcCardSumXDemonI(QrcManagerI* m, QrcCardSumI* ct, QrcInt i) : QrcDemonI(m), _ct(ct), _i(i) {}
  void propagate() override { _ct->termBound(_i); }
  void display(std::ostream& os) const override { os << "QrcCardSumXDemon"; }

 private:
  QrcCardSumI* _ct;
  QrcInt _i;
};

class QrcCardSumCardDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcCardSumCardDemonI)
  QROSIMPLECLASS(QrcCardSumCardDemonI, QrcDemonI)
 public:
  QrcCardSumCardDemonI(QrcManagerI* m, QrcCardSumI* ct) : QrcDemonI(m), _ct(ct) {}
  void propagate() override { _ct->cardChanged(); }
  void display(std::ostream& os) const override { os << "QrcCardSumCardDemon"; }

 private:
  QrcCardSumI* _ct;
};

}  // namespace

QrcCardSumI::QrcCardSumI(QrcManagerI* m, QrcIntExpI* card, QrcInt n, QrcIntExpI** terms)
    : QrcConstraintI(m),
      _card(card),
      _size(n),
      _terms(terms),
      _nbTrue(m, 0),
      _nbPossible(m, n),
      _done(m, 0) {}

void QrcCardSumI::post() {
  for (QrcInt i = 0; i < _size; ++i)
    if (!_terms[i]->isBound())
      _terms[i]->whenValue(new (_manager) QrcCardSumXDemonI(_manager, this, i));
  _card->whenRange(new (_manager) QrcCardSumCardDemonI(_manager, this));
}

void QrcCardSumI::fixTrue() {
  QrcInt count = 0;
  for (QrcInt i = 0; i < _size; ++i)
    if (_terms[i]->getMax() == 1) ++count;
  for (QrcInt i = 0; i < _size; ++i)
    if (_terms[i]->getMax() == 1 && _terms[i]->getMin() == 0) _terms[i]->setValue(1);
  _card->setValue(count);
  _done.set(_manager, 1);
}

void QrcCardSumI::fixFalse() {
  QrcInt count = _size;
  for (QrcInt i = 0; i < _size; ++i)
    if (_terms[i]->getMin() == 0) --count;
  for (QrcInt i = 0; i < _size; ++i)
    if (_terms[i]->getMin() == 0 && _terms[i]->getMax() == 1) _terms[i]->setValue(0);
  _card->setValue(count);
  _done.set(_manager, 1);
}

void QrcCardSumI::check() {
  if (_nbTrue.getValue() == _card->getMax())
    fixFalse();
  else if (_nbPossible.getValue() == _card->getMin())
    fixTrue();
}

void QrcCardSumI::propagate() {
  QrcInt t = 0, p = _size;
  for (QrcInt i = 0; i < _size; ++i) {
    if (_terms[i]->getMin() == 1) ++t;
    if (_terms[i]->getMax() == 0) --p;
  }
  QrcInt cmin = _card->getMin(), cmax = _card->getMax();
  _card->setRange(t, p);
  if (t == cmax) {
    fixFalse();
  } else if (p == cmin) {
    fixTrue();
  } else {
    _nbTrue.set(_manager, t);
    _nbPossible.set(_manager, p);
  }
}

void QrcCardSumI::termBound(QrcInt i) {
  if (_done.getValue()) return;
  if (_terms[i]->getMin() == 0) {
    QrcInt p = _nbPossible.getValue() - 1;
    if (p == _card->getMin()) {
      fixTrue();
      return;
    }
    _nbPossible.set(_manager, p);
    _card->setMax(p);
  } else {
    QrcInt t = _nbTrue.getValue() + 1;
    if (t == _card->getMax()) {
      fixFalse();
      return;
    }
    _nbTrue.set(_manager, t);
    _card->setMin(t);
  }
  if (!_done.getValue()) check();
}

void QrcCardSumI::cardChanged() {
  if (_done.getValue()) return;
  check();
}

// ---------------------------------------------------------------- makers

namespace {

template <class Node>
QrcIntExp blocks(QrcManagerI* m, QrcInt n, QrcIntExpI** terms,
                 QrcIntExp (*again)(const QrcManager&, QrcInt, QrcIntExpI* const*)) {
  QrcInt q = n / 20;
  if (q == 0) return QrcIntExp(fresh(new (m) Node(m, n, terms)));
  QrcInt nb = q + (n % 20 ? 1 : 0);
  QrcIntExpI** b =
      static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(nb) * sizeof(QrcIntExpI*)));
  for (QrcInt k = 0; k < q; ++k) b[k] = fresh(new (m) Node(m, 20, terms + 20 * k));
  if (nb > q) b[q] = fresh(new (m) Node(m, n - 20 * q, terms + 20 * q));
  return again(QrcManager(m), nb, b);
}

}  // namespace

QrcIntExp QrcSum(const QrcManager& manager, QrcInt n, QrcIntExpI* const* given) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcSum");
  checkCount(m, n, "QrcSum");
  QrcCheckElements("QrcSum", m, n, given);
  if (n == 0) return QrcIntExp(m->getIntZero());
  if (n == 1) return QrcIntExp(given[0]);
  if (n == 2) return QrcIntExp(given[0]) + QrcIntExp(given[1]);
  QrcIntExpI** terms = heapTerms(m, n, given);
  // A term that may lack a value is not made a variable, which would give it
  // one: the sum has none where the term has none.
  bool boolean = true;
  for (QrcInt i = 0; i < n && boolean; ++i) {
    // A term whose range left the limits is no 0-1 term, and no variable
    // could hold its values.
    if (!defined(terms[i]) || clamped(terms[i])) {
      boolean = false;
      break;
    }
    QrcIntVar v(terms[i]);
    if (terms[i]->getMin() < 0 || terms[i]->getMax() > 1) boolean = false;
  }
  if (boolean) {
    QrcCardSumVarI* v = new (m) QrcCardSumVarI(m, n, terms);
    m->add(new (m) QrcCardSumI(m, v, n, terms));
    return QrcIntExp(v);
  }
  return blocks<QrcArraySumI>(m, n, terms, QrcSum);
}

QrcIntExp QrcSum(const QrcIntVarArray& a) {
  QrcCheckOperands("QrcSum", {a});
  if (!a.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSum");
  QrcIntVarArrayI* ai = a.getImpl();
  QrcManagerI* m = ai->getManager();
  QrcIntExpI** terms = static_cast<QrcIntExpI**>(
      m->allocate(static_cast<size_t>(ai->getSize() + 1) * sizeof(QrcIntExpI*)));
  for (QrcInt i = 0; i < ai->getSize(); ++i) terms[i] = ai->getVar(i);
  return QrcSum(QrcManager(m), ai->getSize(), terms);
}

QrcIntExp QrcScalProd(const QrcIntVarArray& x, const QrcIntArray& c) {
  QrcCheckOperands("QrcScalProd", {x});
  if (!x.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcScalProd");
  QrcManagerI* m = x.getImpl()->getManager();
  QrcInt n = x.getSize();
  if (n != c.getSize()) {
    m->getErrorReporter()->report(QrcBadArraySizeError, "QrcIntVarArrayI", "bad array size", n);
    if (c.getSize() < n) n = c.getSize();
  }
  QrcIntExpI** terms =
      static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n + 1) * sizeof(QrcIntExpI*)));
  for (QrcInt i = 0; i < n; ++i) terms[i] = (x[i] * c[i]).getImpl();
  return QrcSum(QrcManager(m), n, terms);
}

// ---------------------------------------------------------------- min and max makers

QrcIntExp QrcMin(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "QrcMin");
  if (x->getMax() <= c) return xe;
  if (x->getMin() >= c && told(x)) return constant(x->getManager(), c);
  return reuse<QrcIntMinI>(x, x, c);
}

QrcIntExp QrcMax(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "QrcMax");
  if (x->getMin() >= c) return xe;
  if (x->getMax() <= c && told(x)) return constant(x->getManager(), c);
  return reuse<QrcIntMaxI>(x, x, c);
}

QrcIntExp QrcMin(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("QrcMin", {xe, ye});
  QrcIntExpI* x = impl(xe, "QrcMin");
  QrcIntExpI* y = impl(ye, "QrcMin");
  if (x == y) return xe;
  if (fixed(x)) return QrcMin(ye, x->getMin());
  if (fixed(y)) return QrcMin(xe, y->getMin());
  if (x->getMax() <= y->getMin() && told(x) && told(y)) return xe;
  if (y->getMax() <= x->getMin() && told(x) && told(y)) return ye;
  return reuse<QrcMinI>(x, x, y);
}

QrcIntExp QrcMax(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("QrcMax", {xe, ye});
  QrcIntExpI* x = impl(xe, "QrcMax");
  QrcIntExpI* y = impl(ye, "QrcMax");
  if (x == y) return xe;
  if (fixed(x)) return QrcMax(ye, x->getMin());
  if (fixed(y)) return QrcMax(xe, y->getMin());
  if (x->getMax() <= y->getMin() && told(x) && told(y)) return ye;
  if (y->getMax() <= x->getMin() && told(x) && told(y)) return xe;
  return reuse<QrcMaxI>(x, x, y);
}

QrcIntExp QrcMax(const QrcManager& manager, QrcInt n, QrcIntExpI* const* given) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcMax");
  checkCount(m, n, "QrcMax");
  QrcCheckElements("QrcMax", m, n, given);
  if (n == 0) return QrcIntExp(m->getIntZero());
  if (n == 1) return QrcIntExp(given[0]);
  if (n == 2) return QrcMax(QrcIntExp(given[0]), QrcIntExp(given[1]));
  return blocks<QrcArrayMax>(m, n, heapTerms(m, n, given), QrcMax);
}

QrcIntExp QrcMin(const QrcManager& manager, QrcInt n, QrcIntExpI* const* given) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcMin");
  checkCount(m, n, "QrcMin");
  QrcCheckElements("QrcMin", m, n, given);
  if (n == 0) return QrcIntExp(m->getIntZero());
  if (n == 1) return QrcIntExp(given[0]);
  if (n == 2) return QrcMin(QrcIntExp(given[0]), QrcIntExp(given[1]));
  return blocks<QrcArrayMin>(m, n, heapTerms(m, n, given), QrcMin);
}
