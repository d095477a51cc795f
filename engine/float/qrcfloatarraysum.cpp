// Arrays of float variables and the n-ary sum of float expressions.
#include <cmath>
#include <ostream>

#include "qrcoutward.h"
#include "qrcfloatarith.h"
#include "qrcfloatenv.h"
#include "qrcfloatnodes.h"
#include "qrcfloatvararray.h"
#include "qrcmanager.h"
#include "qrcoperands.h"
#include "qrcqueue.h"
#include "qroplatform.h"

namespace {
const double Inf = HUGE_VAL;
const int SumNodeSize = 30;
}  // namespace

// ---------------------------------------------------------------- arrays

namespace {

QrcInt checkedSize(QrcManagerI* manager, QrcInt n) {
  if (n >= 0) return n;
  manager->getErrorReporter()->report(QrcBadArraySizeError, "QrcFloatVarArrayI", "bad array size",
                                      n);
  return 0;
}

}  // namespace

QrcFloatVarArrayI::QrcFloatVarArrayI(QrcManagerI* manager, QrcInt n)
    : QrcExpArrayI(manager, checkedSize(manager, n)) {}

void QrcFloatVarArrayI::display(std::ostream& os) const {
  displayElements(os, "QrcFloatVarArrayI");
}

QrcFloatVarArray::QrcFloatVarArray(const QrcManager& manager, QrcInt n) : _impl(nullptr) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcFloatVarArray::QrcFloatVarArray");
  _impl = new (m) QrcFloatVarArrayI(m, n);
}

QrcFloatVarArray::QrcFloatVarArray(const QrcManager& manager, QrcInt n, const QrcFloatVar& x)
    : QrcFloatVarArray(manager, n) {
  if (!x.getImpl())
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatVarArray::QrcFloatVarArray");
  QrcManagerI* m = manager.getImpl();
  for (QrcInt i = 0; i < _impl->getSize(); ++i)
    _impl->set(
        i, i == 0 ? x.getImpl() : static_cast<QrcFloatExpI*>(x.getImpl()->getCopyForManager(m)));
}

QrcInt QrcFloatVarArray::getSize() const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcFloatVarArray::getSize");
  return _impl->getSize();
}

QrcFloatVar QrcFloatVarArray::operator[](QrcInt i) const {
  const char* place = "QrcFloatVarArray::operator[]";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (!_impl->checkPosition(i, place)) return QrcFloatVar();
  return QrcFloatVar(_impl->get(i));
}

void QrcFloatVarArray::set(QrcInt i, const QrcFloatExp& e) const {
  const char* place = "QrcFloatVarArray::set";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (_impl->checkPosition(i, place)) _impl->set(i, e.getImpl());
}

// ---------------------------------------------------------------- sum node

QrcFloatArraySumI::QrcFloatArraySumI(QrcManagerI* m, QrcInt n, QrcFloatExpI** terms)
    : QrcFloatExpI(m),
      _minusInfinities(0),
      _plusInfinities(0),
      _widest(0),
      _n(n < 0 ? 0 : n),
      _terms(terms) {
  for (QrcInt i = 0; i < _n; ++i) _terms[i]->addParent(this);
}

void QrcFloatArraySumI::display(std::ostream& os) const {
  refresh();
  if (getName())
    os << getName();
  else
    os << "QrcFloatArraySumI(" << static_cast<const void*>(this) << ")";
  os << "[" << _min << ".." << _max << "]";
}

QrcExprI* QrcFloatArraySumI::makeCopy(QrcManagerI* t) const {
  QrcFloatExpI** copies =
      static_cast<QrcFloatExpI**>(t->allocate(sizeof(QrcFloatExpI*) * (_n > 0 ? _n : 1)));
  for (QrcInt i = 0; i < _n; ++i)
    copies[i] = static_cast<QrcFloatExpI*>(_terms[i]->getCopyForManager(t));
  return new (t) QrcFloatArraySumI(t, _n, copies);
}

void QrcFloatArraySumI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) {
  for (QrcInt i = 0; i < _n; ++i) _terms[i]->collectScaledLinearTerms(acc, coef);
}

void QrcFloatArraySumI::removeWhenOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _n; ++i) QrcFloatRemoveDemon(_terms[i], d);
}

void QrcFloatArraySumI::whenRangeOnOperands(QrcDemonI* d) {
  for (QrcInt i = 0; i < _n; ++i) _terms[i]->whenRange(d);
}

void QrcFloatArraySumI::computeRange() {
  bool precise = _manager->variablePrecision();
  for (QrcInt i = 0; i < _n; ++i) {
    _terms[i]->refresh();
    if (precise && _terms[i]->isUndefined()) {
      storeRange(-Inf, Inf);
      setUndefined();
      return;
    }
  }
  QrcInt minusInf = 0, plusInf = 0;
  QrcFloat lo = 0.0, hi = 0.0, widest = 0.0;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcFloat a = _terms[i]->rawMin(), b = _terms[i]->rawMax();
    lo = addDown(lo, a);
    if (a <= -Inf) ++minusInf;
    QrcFloat w = subDown(b, a);
    if (w > widest) widest = w;
    hi = addUp(hi, b);
    if (b >= Inf) ++plusInf;
  }
  setRoundingNearest();
  storeRange(lo, hi);
  _widest = widest;
  _minusInfinities = minusInf;
  _plusInfinities = plusInf;
}

// a - t with t the sum of the finite maxima of the terms other than j.
QrcFloat QrcFloatArraySumI::singleLower(QrcFloat a, QrcInt j) const {
  QrcFloat t = 0.0;
  for (QrcInt i = 0; i < _n; ++i)
    if (i != j) t = addUp(t, _terms[i]->rawMax());
  return subDown(a, t);
}

// b - s with s the sum of the finite minima of the terms other than k.
QrcFloat QrcFloatArraySumI::singleUpper(QrcFloat b, QrcInt k) const {
  QrcFloat s = 0.0;
  for (QrcInt i = 0; i < _n; ++i)
    if (i != k) s = addDown(s, _terms[i]->rawMin());
  return subUp(b, s);
}

void QrcFloatArraySumI::setOperandsRange(QrcFloat a, QrcFloat b) {
  QrcFloat dlo = subDown(a, _max), dhi = subUp(b, _min);
  setRoundingNearest();
  bool lower = _widest > -dlo && a > _min;
  bool upper = _widest > dhi && _max > b;
  if (!_manager->isArrayLocked()) {
    QrcInt* words = _manager->lockIntArray(2 * _n > 0 ? 2 * _n : 1);
    narrowBuffered(a, b, dlo, dhi, lower, upper, words);
    return;
  }
  narrowDirect(a, b, dlo, dhi, lower, upper);
}

void QrcFloatArraySumI::narrowBuffered(QrcFloat a, QrcFloat b, QrcFloat dlo, QrcFloat dhi,
                                       bool lower, bool upper, QrcInt* words) {
  QrcFloat* lows = reinterpret_cast<QrcFloat*>(words);
  QrcFloat* highs = lows + _n;
  QrcInt j = -1, k = -1;
  QrcFloat jBound = -Inf, kBound = Inf;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcFloat mi = _terms[i]->rawMin(), ma = _terms[i]->rawMax();
    lows[i] = addDown(dlo, ma);
    highs[i] = addUp(dhi, mi);
    if (ma >= Inf) j = j == -1 ? i : -2;
    if (mi <= -Inf) k = k == -1 ? i : -2;
  }
  if (!lower && j >= 0) jBound = singleLower(a, j);
  if (!upper && k >= 0) kBound = singleUpper(b, k);
  // The terms' events are batched only when the queue would otherwise drain at
  // once; inside a drain they just queue. Not raising the nesting there keeps
  // it right when a term fails under a fail trap, which resumes propagation
  // without a backtrack.
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  bool batch = q->getNesting() == 0 || (q->getNesting() == 1 && _manager->isInNestedSolve());
  if (batch) q->enter();
  setRoundingNearest();
  if (lower && upper) {
    for (QrcInt i = 0; i < _n; ++i) _terms[i]->setRange(lows[i], highs[i]);
  } else if (lower) {
    for (QrcInt i = 0; i < _n; ++i) _terms[i]->setRange(lows[i], Inf);
    if (k >= 0) _terms[k]->setRange(-Inf, kBound);
  } else if (upper) {
    if (j >= 0) _terms[j]->setRange(jBound, Inf);
    for (QrcInt i = 0; i < _n; ++i) _terms[i]->setRange(-Inf, highs[i]);
  } else {
    if (j >= 0) _terms[j]->setRange(jBound, Inf);
    if (k >= 0) _terms[k]->setRange(-Inf, kBound);
  }
  _manager->unlockArray();
  // A failure above leaves past this point: backtracking clears the queue and
  // with it the nesting level, and releases the scratch array.
  if (batch) q->leave();
}

void QrcFloatArraySumI::narrowDirect(QrcFloat a, QrcFloat b, QrcFloat dlo, QrcFloat dhi, bool lower,
                                     bool upper) {
  QrcInt j = -1, k = -1;
  for (QrcInt i = 0; i < _n; ++i) {
    if (_terms[i]->getMax() >= Inf) j = j == -1 ? i : -2;
    if (_terms[i]->getMin() <= -Inf) k = k == -1 ? i : -2;
  }
  if (lower) {
    for (QrcInt i = 0; i < _n; ++i) {
      QrcFloat l = addDown(dlo, _terms[i]->getMax());
      setRoundingNearest();
      _terms[i]->setRange(l, Inf);
    }
  } else if (j >= 0) {
    QrcFloat l = singleLower(a, j);
    setRoundingNearest();
    _terms[j]->setRange(l, Inf);
  }
  if (upper) {
    for (QrcInt i = 0; i < _n; ++i) {
      QrcFloat u = addUp(dhi, _terms[i]->getMin());
      setRoundingNearest();
      _terms[i]->setRange(-Inf, u);
    }
  } else if (k >= 0) {
    QrcFloat u = singleUpper(b, k);
    setRoundingNearest();
    _terms[k]->setRange(-Inf, u);
  }
}

// ---------------------------------------------------------------- grouping

namespace {

// Nodes of at most SumNodeSize terms over an array on the manager's heap.
QrcFloatExp sumTree(QrcManagerI* m, QrcInt n, QrcFloatExpI** terms) {
  if (n == 1) return terms[0];
  if (n == 2) return QrcFloatExp(terms[0]) + QrcFloatExp(terms[1]);
  QrcInt g = n / SumNodeSize;
  if (g == 0) return new (m) QrcFloatArraySumI(m, n, terms);
  if (n % SumNodeSize == 0) --g;
  QrcFloatExpI** nodes = static_cast<QrcFloatExpI**>(m->allocate(sizeof(QrcFloatExpI*) * (g + 1)));
  for (QrcInt i = 0; i < g; ++i)
    nodes[i] = new (m) QrcFloatArraySumI(m, SumNodeSize, terms + SumNodeSize * i);
  nodes[g] = new (m) QrcFloatArraySumI(m, n - SumNodeSize * g, terms + SumNodeSize * g);
  return sumTree(m, g + 1, nodes);
}

}  // namespace

// The nodes keep their terms: the caller's array is copied onto the heap.
QrcFloatExp QrcSum(QrcManagerI* m, QrcInt n, QrcFloatExpI** terms) {
  if (n < 0) m->getErrorReporter()->report(QrcBadArraySizeError, "QrcSum", "bad array size", n);
  QrcCheckElements("QrcSum", m, n, terms);
  if (n < 1) return sumTree(m, n, terms);
  QrcFloatExpI** copy =
      static_cast<QrcFloatExpI**>(m->allocate(sizeof(QrcFloatExpI*) * static_cast<size_t>(n)));
  for (QrcInt i = 0; i < n; ++i) copy[i] = terms[i];
  return sumTree(m, n, copy);
}

QrcFloatExp QrcSum(const QrcFloatVarArray& vars) {
  QrcCheckOperands("QrcSum", {vars});
  QrcFloatVarArrayI* a = vars.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSum");
  QrcManagerI* m = a->getManager();
  QrcFloatVarArrayI* copy = new (m) QrcFloatVarArrayI(m, a->getSize());
  for (QrcInt i = 0; i < a->getSize(); ++i) copy->set(i, a->get(i));
  return sumTree(m, copy->getSize(), copy->getElements());
}
