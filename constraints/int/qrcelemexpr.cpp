// Element expressions a[x] and vars[x], and the generic element vars[index].
// Code that can fail keeps trivially destructible locals only.
#include <ostream>

#include "qrcelementutil.h"
#include "qrcdistribute.h"
#include "qrcelement.h"
#include "qrcintcompare.h"
#include "qrcoperands.h"

using namespace qrcelement;

namespace {

QrcIntExpI* impl(const QrcIntExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

// A node turned into a variable (or named) prints as a variable.
bool displayAsVariable(const QrcIntExpI* e, std::ostream& os) {
  if (!e->isVariable() && !e->getName()) return false;
  e->QrcIntExpI::display(os);
  return true;
}

// The positions of x in [0, n - 1], within the range of the node x stands
// for when there is one (given): the positions of an index that is a node,
// read as over a variable index.
bool positions(QrcIntExpI* x, QrcIntExpI* given, QrcInt n, QrcInt& lo, QrcInt& hi) {
  if (!given) return indexSpan(x, n, lo, hi);
  return indexSpan(x, n, lo, hi, given->getMin(), given->getMax());
}

// The positions for a display; without any, writes the bad index and answers
// false.
bool displayIndexSpan(std::ostream& os, QrcIntExpI* x, QrcIntExpI* given, QrcInt n, QrcInt& lo,
                      QrcInt& hi) {
  if (positions(x, given, n, lo, hi)) return true;
  os << "Bad Index:";
  x->display(os);
  os << ")";
  return false;
}

const QrcInt EmptyMin = QrcIntMax;
const QrcInt EmptyMax = QrcIntMin;

// The positions for the range of an element node; without any, false and
// the empty range in min and max.
bool indexRange(QrcIntExpI* x, QrcIntExpI* given, QrcInt n, QrcInt& lo, QrcInt& hi, QrcInt& min,
                QrcInt& max) {
  if (positions(x, given, n, lo, hi)) return true;
  min = EmptyMin;
  max = EmptyMax;
  return false;
}

// Whether x's domain holds a position outside [0, n - 1], where an element
// has no value.
bool mayLeave(QrcIntExpI* x, QrcInt n) {
  return x->getMin() < 0 || x->getMax() > n - 1;
}

// The node's index outside [0, n - 1], or without a value itself; null once
// the node is a variable (which always has a value) or its index lies inside.
QrcConstraintI* outsideOf(const QrcIntExpI* node, QrcIntExpI* x, QrcInt n) {
  if (node->isVariable()) return nullptr;
  QrcConstraintI* out = nullptr;
  if (n <= 0) {
    out = x->getManager()->getTrueConstraint();
  } else if (mayLeave(x, n)) {
    QrcIntExp e(x);
    out = QrcEitherOf((e < 0).getImpl(), (e > n - 1).getImpl());
  }
  return QrcEitherOf(x->makeUndefinedConstraint(), out);
}

// The variable that stands for an element operand e that may lack a value:
// e where e has one, none where not. Its copy stands for e's copy.
class ElementOperand : public QrcIntExpI {
  QRCLIBRARYCLASS(ElementOperand)
 public:
  ElementOperand(QrcManagerI* m, QrcInt lo, QrcInt hi, QrcIntExpI* e, QrcInt none)
      : QrcIntExpI(m, lo, hi, nullptr), _e(e), _none(none) {}
  QrcExprI* makeCopy(QrcManagerI* target) const override {
    return asOperand(static_cast<QrcIntExpI*>(_e->getCopyForManager(target)), _none);
  }

 private:
  QrcIntExpI* _e;
  QrcInt _none;
};

}  // namespace

QrcIntExpI* qrcelement::asOperand(QrcIntExpI* e, QrcInt none) {
  if (e->isVariable()) return e;
  QrcConstraintI* undefined = e->makeUndefinedConstraint();
  if (!undefined) return asVariable(e);
  QrcManagerI* m = e->getManager();
  QrcInt lo = e->getMin(), hi = e->getMax();
  if (lo > hi) lo = hi = none;
  QrcIntExpI* v = new (m) ElementOperand(m, lo < none ? lo : none, hi > none ? hi : none, e, none);
  QrcIntExp ve(v), ee(e);
  // Holds for every value of e's operands: it narrows none of them.
  m->add((ve == ee || (QrcConstraint(undefined) && ve == none)).getImpl());
  return v;
}

// The index as given when the element's index variable stands for it (a
// node that may lack a value), else null. The element reads its range too.
QrcIntExpI* givenIndex(QrcIntExpI* given, QrcIntExpI* x, QrcExprI* element) {
  if (given == x) return nullptr;
  given->addParent(element);
  return given;
}

// ---------------------------------------------------------------- a[x]

QrcElemCst::QrcElemCst(QrcManagerI* m, QrcInt n, const QrcInt* values, QrcIntExpI* x)
    : QrcIntExpI(m),
      _n(n),
      _values(QrcManager(x->getManager()), n, values),
      _x(asIndex(x)),
      _given(givenIndex(x, _x, this)) {
  _x->addParent(this);
  _mayLack = mayLeave(_x, n);
}

void QrcElemCst::display(std::ostream& os) const {
  if (displayAsVariable(this, os)) return;
  os << "QrcElem ";
  QrcInt lo, hi;
  if (!displayIndexSpan(os, _x, _given, _n, lo, hi)) return;
  if (lo == hi) {
    os << _values[lo];
    return;
  }
  os << "[";
  for (QrcInt i = lo; i < hi; i = _x->getNextHigher(i)) os << _values[i] << " ";
  os << _values[hi] << "]";
}

QrcExprI* QrcElemCst::makeCopy(QrcManagerI* t) const {
  QrcIntExpI* x = _given ? _given : _x;
  return new (t)
      QrcElemCst(t, _n, _values.getImpl(), static_cast<QrcIntExpI*>(x->getCopyForManager(t)));
}

void QrcElemCst::computeRange() {
  QrcInt lo, hi;
  if (!indexRange(_x, _given, _n, lo, hi, _min, _max)) return;
  QrcInt a = _values[hi], b = a;
  for (QrcInt i = lo; i < hi; i = _x->getNextHigher(i)) {
    QrcInt v = _values[i];
    if (v < a) a = v;
    if (v > b) b = v;
  }
  _min = a < QrcIntMin ? QrcIntMin : a;
  _max = b > QrcIntMax ? QrcIntMax : b;
}

bool QrcElemCst::computeValueOpen() {
  return mayLeave(_x, _n);
}

void QrcElemCst::requireOperandValues() {
  _x->setRange(QrcInt(0), _n - 1);
}

void QrcElemCst::setOperandsRange(QrcInt l, QrcInt u) {
  if (l > u) fail();
  refreshBounds();
  if (l <= _min && u >= _max) return;
  if (u < _min || l > _max) fail();
  const QrcInt* a = _values.getImpl();
  narrowIndex(this, _x, _n, [a, l, u](QrcInt i) { return a[i] >= l && a[i] <= u; });
}

void QrcElemCst::removeOperandsValue(QrcInt v) {
  const QrcInt* a = _values.getImpl();
  narrowIndex(this, _x, _n, [a, v](QrcInt i) { return a[i] != v; });
}

void QrcElemCst::removeOperandsRange(QrcInt l, QrcInt u) {
  if (l > u) return;
  const QrcInt* a = _values.getImpl();
  narrowIndex(this, _x, _n, [a, l, u](QrcInt i) { return a[i] < l || a[i] > u; });
}

void QrcElemCst::removeWhenOnOperands(QrcDemonI* d) {
  _x->removeWhen(d);
  if (_given) _given->removeWhen(d);
}

void QrcElemCst::whenRangeOnOperands(QrcDemonI* d) {
  _x->whenDomain(d);
  if (_given) _given->whenRange(d);
}

QrcConstraintI* QrcElemCst::makeEventHandlerConstraint() {
  if (_handler) return nullptr;
  _x->makeEventHandlerConstraint();
  _x->setRange(QrcInt(0), _n - 1);
  QrcInt lo = _x->getMin(), hi = _x->getMax();
  QrcIntCollectionI* values =
      new (_manager) QrcIntCollectionI(_manager, hi - lo + 1, _values.getImpl() + lo, false);
  makeVariable(values);
  // The incremental class allocates a word per value of the span.
  QrcConstraintI* ct = compactSpan(_values)
                           ? new (_manager)
                                 QrcIncrementalStaticElementEqI(_manager, this, _values, _x, 0)
                           : QrcIntEltCallerCt(this, _values, _x).getImpl();
  _manager->add(ct);
  return ct;
}

QrcConstraintI* QrcElemCst::makeStaticElementEq(QrcIntExpI* y) {
  return QrcElementEq(y, QrcIntArray(QrcManager(_manager), _n, _values.getImpl()), QrcIntVar(_x))
      .getImpl();
}

QrcConstraintI* QrcElemCst::makeUndefinedConstraint() {
  return outsideOf(this, _x, _n);
}

QrcConstraintI* QrcElemCst::makeStaticElementNEq(QrcIntExpI* y) {
  return QrcElementNEq(y, QrcIntArray(QrcManager(_manager), _n, _values.getImpl()), QrcIntVar(_x))
      .getImpl();
}

// ---------------------------------------------------------------- vars[x]

QrcElemI::QrcElemI(QrcManagerI* m, QrcInt n, QrcIntExpI** vars, QrcIntExpI* x)
    : QrcIntExpI(m), _n(n), _vars(vars), _x(asIndex(x)), _given(givenIndex(x, _x, this)) {
  _x->addParent(this);
  _mayLack = mayLeave(_x, n);
  // The chosen element is narrowed: its copies for another manager become
  // variables again.
  for (QrcInt i = 0; i < n; ++i) asVariable(vars[i])->addParent(this);
}

void QrcElemI::display(std::ostream& os) const {
  if (displayAsVariable(this, os)) return;
  os << "QrcElemI[";
  QrcInt lo, hi;
  if (!displayIndexSpan(os, _x, _given, _n, lo, hi)) return;
  for (QrcInt i = lo; i < hi; i = _x->getNextHigher(i)) {
    os << " ";
    _vars[i]->display(os);
  }
  os << " ";
  _vars[hi]->display(os);
  os << " ]";
}

QrcExprI* QrcElemI::makeCopy(QrcManagerI* t) const {
  QrcIntExpI** vars =
      static_cast<QrcIntExpI**>(t->allocate(static_cast<size_t>(_n > 0 ? _n : 1) * sizeof(void*)));
  for (QrcInt i = 0; i < _n; ++i)
    vars[i] = static_cast<QrcIntExpI*>(_vars[i]->getCopyForManager(t));
  QrcIntExpI* x = _given ? _given : _x;
  return new (t) QrcElemI(t, _n, vars, static_cast<QrcIntExpI*>(x->getCopyForManager(t)));
}

void QrcElemI::computeRange() {
  QrcInt lo, hi;
  if (!indexRange(_x, _given, _n, lo, hi, _min, _max)) return;
  QrcInt a = _vars[hi]->getMin(), b = _vars[hi]->getMax();
  for (QrcInt i = lo; i < hi; i = _x->getNextHigher(i)) {
    if (_vars[i]->getMin() < a) a = _vars[i]->getMin();
    if (_vars[i]->getMax() > b) b = _vars[i]->getMax();
  }
  _min = a;
  _max = b;
}

bool QrcElemI::computeValueOpen() {
  return mayLeave(_x, _n);
}

void QrcElemI::requireOperandValues() {
  _x->setRange(QrcInt(0), _n - 1);
}

void QrcElemI::setOperandsRange(QrcInt l, QrcInt u) {
  if (l > u) fail();
  refreshBounds();
  if (l <= _min && u >= _max) return;
  if (u < _min || l > _max) fail();
  QrcIntExpI** vars = _vars;
  if (l == u) {
    narrowIndex(this, _x, _n, [vars, l](QrcInt i) { return vars[i]->isInDomain(l); });
    if (QrcIntExpI* e = chosen()) e->setValue(l);
    return;
  }
  narrowIndex(this, _x, _n,
              [vars, l, u](QrcInt i) { return vars[i]->getMax() >= l && vars[i]->getMin() <= u; });
  if (QrcIntExpI* e = chosen()) e->setRange(l, u);
}

void QrcElemI::removeOperandsValue(QrcInt v) {
  QrcIntExpI** vars = _vars;
  narrowIndex(this, _x, _n,
              [vars, v](QrcInt i) { return !vars[i]->isBound() || vars[i]->getMin() != v; });
  if (QrcIntExpI* e = chosen()) e->removeValue(v);
}

void QrcElemI::removeOperandsRange(QrcInt l, QrcInt u) {
  if (l > u) return;
  QrcIntExpI** vars = _vars;
  narrowIndex(this, _x, _n,
              [vars, l, u](QrcInt i) { return vars[i]->getMin() < l || vars[i]->getMax() > u; });
  if (QrcIntExpI* e = chosen()) e->removeRange(l, u);
}

QrcConstraintI* QrcElemI::makeUndefinedConstraint() {
  return outsideOf(this, _x, _n);
}

QrcIntExpI* QrcElemI::chosen() const {
  if (!_x->isBound()) return nullptr;
  QrcInt k = _x->getValue();
  return k >= 0 && k < _n ? _vars[k] : nullptr;
}

void QrcElemI::removeWhenOnOperands(QrcDemonI* d) {
  _x->removeWhen(d);
  if (_given) _given->removeWhen(d);
  for (QrcInt i = 0; i < _n; ++i) _vars[i]->removeWhen(d);
}

void QrcElemI::whenValueOnOperands(QrcDemonI* d) {
  if (!_x->isBound()) {
    _x->whenValue(new (_manager) QrcElemValueDemonI(_manager, d, _x, _n, _vars));
    return;
  }
  if (QrcIntExpI* e = chosen()) e->whenValue(d);
}

void QrcElemI::whenRangeOnOperands(QrcDemonI* d) {
  _x->whenDomain(d);
  if (_given) _given->whenRange(d);
  for (QrcInt i = 0; i < _n; ++i) _vars[i]->whenRange(d);
}

void QrcElemI::whenDomainOnOperands(QrcDemonI* d) {
  _x->whenDomain(d);
  if (_given) _given->whenRange(d);
  for (QrcInt i = 0; i < _n; ++i) _vars[i]->whenDomain(d);
}

void QrcElemValueDemonI::propagate() {
  QrcInt k = _x->getValue();
  if (k < 0 || k >= _n) return;
  QrcIntExpI* v = _vars[k];
  if (!v->isBound()) {
    v->whenValue(_demon);
    return;
  }
  _demon->markPending();
  _demon->runIfPending();
}

void QrcElemValueDemonI::display(std::ostream& os) const {
  os << "QrcElemValueDemon";
}

// ---------------------------------------------------------------- makers

QrcIntExp QrcElement(const QrcIntArray& a, const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "QrcElement");
  QrcInt n = a.getSize();
  if (x->isBound()) {
    QrcInt k = x->getValue();
    if (k >= 0 && k < n) return QrcIntExp(QrcManager(x->getManager()), a[k]);
  }
  QrcManagerI* m = a.getManager() ? a.getManager() : x->getManager();
  return new (m) QrcElemCst(m, n, a.getImpl(), x);
}

QrcIntExp QrcElement(const QrcIntVarArray& vars, const QrcIntExp& xe) {
  QrcCheckOperands("QrcElement", {vars, xe});
  QrcIntExpI* x = impl(xe, "QrcElement");
  QrcIntVarArrayI* array = vars.getImpl();
  QrcInt n = vars.getSize();
  if (x->isBound()) {
    QrcInt k = x->getValue();
    if (k >= 0 && k < n) return array->getVar(k);
  }
  QrcManagerI* m = x->getManager();
  QrcIntExpI** ptrs =
      static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(void*)));
  for (QrcInt i = 0; i < n; ++i) ptrs[i] = array->getVar(i);
  return new (m) QrcElemI(m, n, ptrs, x);
}

QrcIntExp QrcIntArray::operator[](const QrcIntExp& x) const {
  return QrcElement(*this, x);
}

QrcIntExp QrcIntVarArray::operator[](const QrcIntExp& x) const {
  return QrcElement(*this, x);
}

// ---------------------------------------------------------------- vars[index]

QrcIntExp QrcIntVarArray::operator[](QrcIndex& index) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntVarArray::operator[]");
  QrcCheckOperands("QrcIntVarArray::operator[]", {_impl});
  QrcManagerI* m = _impl->getManager();
  if (!index.getImpl()) index.setImpl(new (m) QrcIndexI(_impl));
  return new (m) QrcGenIntVarI(m, index.getImpl(), _impl);
}

QrcGenIntVarI::QrcGenIntVarI(QrcManagerI* m, QrcIndexI* index, QrcIntVarArrayI* array)
    : QrcIntExpI(m), _index(index), _array(array) {}

void QrcGenIntVarI::display(std::ostream& os) const {
  if (displayAsVariable(this, os)) return;
  _array->display(os);
  os << "[";
  _index->display(os);
  os << "]";
}

void QrcGenIntVarI::unbound() const {
  _index->getErrorReporter()->report(QrcUnboundError, "QrcIndexI::getValue", "unbound index",
                                     _index);
  QrcFatalError(QrcUnboundError, "unbound index", "QrcIndexI::getValue");
}

QrcExprI* QrcGenIntVarI::makeCopy(QrcManagerI* t) const {
  if (!_index->isBound()) unbound();
  QrcInt k = _index->getValue();
  if (k < 0 || k >= _array->getSize()) {
    _manager->getErrorReporter()->report(QrcBadIndexError, "QrcGenIntVarI::makeCopy", "bad index",
                                         k);
    return nullptr;
  }
  QrcIntExpI* e = _array->getVar(k);
  if (e->getManager() == t) return e;
  return e->getCopyForManager(t);
}

void QrcGenIntVarI::computeRange() {
  QrcInt n = _array->getSize();
  if (n <= 0) {
    _min = EmptyMin;
    _max = EmptyMax;
    return;
  }
  QrcInt a = _array->getVar(0)->getMin(), b = _array->getVar(0)->getMax();
  for (QrcInt i = 1; i < n; ++i) {
    QrcIntExpI* e = _array->getVar(i);
    if (e->getMin() < a) a = e->getMin();
    if (e->getMax() > b) b = e->getMax();
  }
  _min = a;
  _max = b;
}

void QrcGenIntVarI::setOperandsRange(QrcInt, QrcInt) {
  unbound();
}

void QrcGenIntVarI::removeOperandsValue(QrcInt) {
  unbound();
}

void QrcGenIntVarI::removeOperandsRange(QrcInt, QrcInt) {
  unbound();
}

QrcIntExpI* QrcGenIntVarI::makeGenericCount(QrcIndexI* index, QrcInt c) {
  if (index != _index || _array->getSize() != index->getSize()) return nullptr;
  QrcIntExpI* count = new (_manager) QrcIntExpI(_manager, 0, index->getSize(), nullptr);
  _manager->add(QrcCard(QrcIntVar(count), c, QrcIntVarArray(_array), 1, 0).getImpl());
  return count;
}
