// Square, absolute value, minima and maxima of float expressions.
#include <cmath>
#include <ostream>

#include "qrcfloatshare.h"
#include "qrcoutward.h"
#include "qrcfloatarith.h"
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

void displayCall(const QrcFloatExpI* node, std::ostream& os, const char* name,
                 const QrcFloatExpI* x) {
  os << name << "(";
  x->display(os);
  os << ")";
  (void)node;
}
}  // namespace

// ---------------------------------------------------------------- square

void QrcFloatSquareI::display(std::ostream& os) const {
  if (getName())
    QrcFloatExpI::display(os);
  else
    displayCall(this, os, "QrcSquare", _x);
}

QrcExprI* QrcFloatSquareI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatSquareI(0.0, copyOf(_x, t));
}

void QrcFloatSquareI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), lo, hi;
  if (a >= 0) {
    lo = mulDown(a, a);
    hi = mulUp(b, b);
  } else if (b <= 0) {
    lo = mulDown(b, b);
    hi = mulUp(a, a);
  } else {
    lo = 0;
    hi = std::fabs(b) > std::fabs(a) ? mulUp(b, b) : mulUp(a, a);
  }
  setRoundingNearest();
  storeRange(lo, hi);
}

void QrcFloatSquareI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (hi < 0) fail();
  QrcFloat a = _x->getMin(), b = _x->getMax();
  QrcFloat r = sqrtUp(hi);
  QrcFloat l = -r, u = r;
  if (lo > 0) {
    QrcFloat s = sqrtDown(lo);
    if (s > b) u = -s;
    if (a > -s) l = s;
  }
  _x->setRange(l, u);
}

QrcFloatExpI* QrcFloatSquareI::getDerivative(QrcFloatExpI* v) {
  QrcFloatExpI* dx = _x->derivative(v);
  if (!dx) return nullptr;
  return makeFloatMul(makeCstFloatMul(2.0, dx), _x);
}

// ---------------------------------------------------------------- absolute value

void QrcFloatAbsI::display(std::ostream& os) const {
  if (getName())
    QrcFloatExpI::display(os);
  else
    displayCall(this, os, "QrcAbs", _x);
}

QrcExprI* QrcFloatAbsI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatAbsI(0.0, copyOf(_x, t));
}

void QrcFloatAbsI::computeRange() {
  QrcFloat a = _x->getMin(), b = _x->getMax();
  if (a >= 0)
    storeRange(a, b);
  else if (b <= 0)
    storeRange(-b, -a);
  else
    storeRange(0, -a > b ? -a : b);
}

void QrcFloatAbsI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (lo > 0) {
    if (lo > std::fabs(_x->getMin())) _x->setRange(lo, Inf);
    if (lo > std::fabs(_x->getMax())) _x->setRange(-Inf, -lo);
  }
  if (hi < 0) fail();
  _x->setRange(-hi, hi);
}

// ---------------------------------------------------------------- max(x, c), min(x, c)

void QrcFloatCstMaxI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "QrcMax(";
  _x->display(os);
  os << ", " << _c << ")";
}

QrcExprI* QrcFloatCstMaxI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatCstMaxI(_c, copyOf(_x, t));
}

void QrcFloatCstMaxI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax();
  storeRange(_c > a ? _c : a, _c > b ? _c : b);
}

void QrcFloatCstMaxI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (lo > _c)
    _x->setRange(lo, hi);
  else if (hi >= _c)
    _x->setRange(-Inf, hi);
  else
    fail();
}

void QrcFloatCstMinI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "QrcMin(";
  _x->display(os);
  os << ", " << _c << ")";
}

QrcExprI* QrcFloatCstMinI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatCstMinI(_c, copyOf(_x, t));
}

void QrcFloatCstMinI::computeRange() {
  if (undefinedOperand()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax();
  storeRange(a > _c ? _c : a, b > _c ? _c : b);
}

void QrcFloatCstMinI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (_c > hi)
    _x->setRange(lo, hi);
  else if (_c >= lo)
    _x->setRange(lo, Inf);
  else
    fail();
}

// ---------------------------------------------------------------- max(x, y), min(x, y)

void QrcFloatMaxI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "QrcMax(";
  _x->display(os);
  os << ", ";
  _y->display(os);
  os << ")";
}

QrcExprI* QrcFloatMaxI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatMaxI(copyOf(_x, t), copyOf(_y, t));
}

void QrcFloatMaxI::computeRange() {
  if (undefinedOperands()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  storeRange(a > c ? a : c, b > d ? b : d);
}

void QrcFloatMaxI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  if (lo > b || c > b) {
    _y->setRange(lo, hi);
  } else if (lo > d || a > d) {
    _x->setRange(lo, hi);
  } else {
    _x->setRange(-Inf, hi);
    _y->setRange(-Inf, hi);
  }
}

void QrcFloatMinI::display(std::ostream& os) const {
  if (getName()) {
    QrcFloatExpI::display(os);
    return;
  }
  os << "QrcMin(";
  _x->display(os);
  os << ", ";
  _y->display(os);
  os << ")";
}

QrcExprI* QrcFloatMinI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcFloatMinI(copyOf(_x, t), copyOf(_y, t));
}

void QrcFloatMinI::computeRange() {
  if (undefinedOperands()) return;
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  storeRange(c > a ? a : c, d > b ? b : d);
}

void QrcFloatMinI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  QrcFloat a = _x->getMin(), b = _x->getMax(), c = _y->getMin(), d = _y->getMax();
  if (a > hi || a > d) {
    _y->setRange(lo, hi);
  } else if (c > hi || c > b) {
    _x->setRange(lo, hi);
  } else {
    _x->setRange(lo, Inf);
    _y->setRange(lo, Inf);
  }
}

// ---------------------------------------------------------------- array maximum and minimum

QrcArrayFloatExtremumI::QrcArrayFloatExtremumI(QrcManagerI* m, QrcInt n, QrcFloatExpI** elements,
                                               bool isMax)
    : QrcFloatExpI(m), _n(n < 0 ? 0 : n), _elements(elements), _isMax(isMax ? 1 : 0) {
  for (QrcInt i = 0; i < _n; ++i) _elements[i]->addParent(this);
}

void QrcArrayFloatExtremumI::display(std::ostream& os) const {
  if (isVariable()) {
    QrcFloatExpI::display(os);
    return;
  }
  refresh();
  os << (_isMax ? "QrcMax(" : "QrcMin(") << static_cast<const void*>(this) << ")[" << _min << ".."
     << _max << "]";
}

QrcExprI* QrcArrayFloatExtremumI::makeCopy(QrcManagerI* t) const {
  QrcFloatExpI** copies =
      static_cast<QrcFloatExpI**>(t->allocate(sizeof(QrcFloatExpI*) * (_n > 0 ? _n : 1)));
  for (QrcInt i = 0; i < _n; ++i)
    copies[i] = static_cast<QrcFloatExpI*>(_elements[i]->getCopyForManager(t));
  return new (t) QrcArrayFloatExtremumI(t, _n, copies, _isMax != 0);
}

void QrcArrayFloatExtremumI::computeRange() {
  bool precise = _manager->variablePrecision();
  QrcFloat lo = _isMax ? -Inf : Inf, hi = lo;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcFloatExpI* e = _elements[i];
    e->refresh();
    if (precise && e->isUndefined()) {
      storeRange(-Inf, Inf);
      setUndefined();
      return;
    }
    QrcFloat a = e->getMin(), b = e->getMax();
    if (_isMax) {
      if (a > lo) lo = a;
      if (b > hi) hi = b;
    } else {
      if (a < lo) lo = a;
      if (b < hi) hi = b;
    }
  }
  storeRange(lo, hi);
}

void QrcArrayFloatExtremumI::setOperandsRange(QrcFloat lo, QrcFloat hi) {
  if (_isMax)
    narrowMax(lo, hi);
  else
    narrowMin(lo, hi);
}

void QrcArrayFloatExtremumI::narrowMax(QrcFloat lo, QrcFloat hi) {
  QrcFloat m = getMin(), M = getMax();
  if (m > hi || lo > M || lo > hi) fail();
  if (m >= lo) {
    if (M > hi)
      for (QrcInt i = 0; i < _n; ++i) _elements[i]->setRange(-Inf, hi);
    return;
  }
  QrcInt count = 0;
  QrcFloatExpI* last = nullptr;
  if (hi >= M) {
    for (QrcInt i = 0; i < _n && count < 2; ++i)
      if (_elements[i]->getMax() >= lo) {
        ++count;
        last = _elements[i];
      }
  } else {
    for (QrcInt i = 0; i < _n; ++i) {
      QrcFloatExpI* e = _elements[i];
      if (e->getMax() < lo) continue;
      ++count;
      last = e;
      if (e->getMax() > hi) e->setRange(-Inf, hi);
    }
  }
  if (count == 1) last->setRange(lo, Inf);
}

void QrcArrayFloatExtremumI::narrowMin(QrcFloat lo, QrcFloat hi) {
  QrcFloat m = getMin(), M = getMax();
  if (m > hi || lo > M || lo > hi) fail();
  if (m >= lo) {
    if (M <= hi) return;
    QrcInt count = 0;
    QrcFloatExpI* last = nullptr;
    for (QrcInt i = 0; i < _n && count < 2; ++i)
      if (_elements[i]->getMin() <= hi) {
        ++count;
        last = _elements[i];
      }
    if (count == 1) last->setRange(-Inf, hi);
    return;
  }
  if (hi >= M) {
    for (QrcInt i = 0; i < _n; ++i) _elements[i]->setRange(lo, Inf);
    return;
  }
  QrcInt count = 0;
  QrcFloatExpI* last = nullptr;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcFloatExpI* e = _elements[i];
    if (e->getMin() > hi) continue;
    ++count;
    last = e;
    if (e->getMin() < lo) e->setRange(lo, Inf);
  }
  if (count == 1) last->setRange(-Inf, hi);
}

void QrcArrayFloatExtremumI::removeWhenOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _n; ++i) QrcFloatRemoveDemon(_elements[i], d);
}
void QrcArrayFloatExtremumI::whenValueOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _n; ++i) _elements[i]->whenValue(d);
}
void QrcArrayFloatExtremumI::whenRangeOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _n; ++i) _elements[i]->whenRange(d);
}
void QrcArrayFloatExtremumI::whenDomainOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _n; ++i) _elements[i]->whenRange(d);
}

// ---------------------------------------------------------------- makers

QrcFloatExpI* makeFloatSquare(QrcFloatExpI* x) {
  return shareUnaryNode<QrcFloatSquareI>(0.0, x);
}
QrcFloatExpI* makeFloatCstMax(QrcFloatExpI* x, QrcFloat c) {
  return shareUnaryNode<QrcFloatCstMaxI>(c, x);
}
QrcFloatExpI* makeFloatCstMin(QrcFloatExpI* x, QrcFloat c) {
  return shareUnaryNode<QrcFloatCstMinI>(c, x);
}
QrcFloatExpI* makeFloatMax(QrcFloatExpI* x, QrcFloatExpI* y) {
  return shareBinaryNode<QrcFloatMaxI>(x, y);
}
QrcFloatExpI* makeFloatMin(QrcFloatExpI* x, QrcFloatExpI* y) {
  return shareBinaryNode<QrcFloatMinI>(x, y);
}

QrcFloatExp QrcSquare(const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "QrcSquare");
  if (x == QrcGetFloatZero(x->getManager())) return x;
  return makeFloatSquare(x);
}

QrcFloatExp QrcAbs(const QrcFloatExp& xh) {
  QrcFloatExpI* x = checked(xh, "QrcAbs");
  QrcManagerI* m = x->getManager();
  if (x == QrcGetFloatZero(m)) return x;
  if (x->getMin() >= 0) return x;
  if (x->getMax() <= 0) return -xh;
  return new (m) QrcFloatAbsI(0.0, x);
}

QrcFloatExp QrcMax(const QrcFloatExp& x, QrcFloat c) {
  return makeFloatCstMax(checked(x, "QrcMax"), c);
}
QrcFloatExp QrcMin(const QrcFloatExp& x, QrcFloat c) {
  return makeFloatCstMin(checked(x, "QrcMin"), c);
}
QrcFloatExp QrcMax(const QrcFloatExp& x, const QrcFloatExp& y) {
  QrcCheckOperands("QrcMax", {x, y});
  return makeFloatMax(checked(x, "QrcMax"), checked(y, "QrcMax"));
}
QrcFloatExp QrcMin(const QrcFloatExp& x, const QrcFloatExp& y) {
  QrcCheckOperands("QrcMin", {x, y});
  return makeFloatMin(checked(x, "QrcMin"), checked(y, "QrcMin"));
}

namespace {

QrcFloatExpI** heapCopy(QrcManagerI* m, QrcInt n, QrcFloatExpI** e) {
  if (n < 1) return e;
  QrcFloatExpI** copy =
      static_cast<QrcFloatExpI**>(m->allocate(sizeof(QrcFloatExpI*) * static_cast<size_t>(n)));
  for (QrcInt i = 0; i < n; ++i) copy[i] = e[i];
  return copy;
}

QrcFloatExp extremum(QrcManagerI* m, QrcInt n, QrcFloatExpI** e, bool isMax) {
  if (n <= 0) return QrcGetFloatZero(m);
  if (n == 1) return e[0];
  if (n == 2)
    return isMax ? QrcMax(QrcFloatExp(e[0]), QrcFloatExp(e[1]))
                 : QrcMin(QrcFloatExp(e[0]), QrcFloatExp(e[1]));
  QrcInt q = n / 20;
  if (q == 0) return new (m) QrcArrayFloatExtremumI(m, n, e, isMax);
  QrcInt k = q + (n % 20 ? 1 : 0);
  QrcFloatExpI** nodes = static_cast<QrcFloatExpI**>(m->allocate(sizeof(QrcFloatExpI*) * k));
  for (QrcInt i = 0; i < k; ++i) {
    QrcInt size = i < q ? 20 : n - 20 * q;
    nodes[i] = new (m) QrcArrayFloatExtremumI(m, size, e + 20 * i, isMax);
  }
  return extremum(m, k, nodes, isMax);
}

}  // namespace

// The nodes keep their terms: the caller's array is copied onto the heap.
QrcFloatExp QrcMax(QrcManagerI* m, QrcInt n, QrcFloatExpI** e) {
  if (n < 0) m->getErrorReporter()->report(QrcBadArraySizeError, "QrcMax", "bad array size", n);
  QrcCheckElements("QrcMax", m, n, e);
  return extremum(m, n, heapCopy(m, n, e), true);
}
QrcFloatExp QrcMin(QrcManagerI* m, QrcInt n, QrcFloatExpI** e) {
  if (n < 0) m->getErrorReporter()->report(QrcBadArraySizeError, "QrcMin", "bad array size", n);
  QrcCheckElements("QrcMin", m, n, e);
  return extremum(m, n, heapCopy(m, n, e), false);
}
