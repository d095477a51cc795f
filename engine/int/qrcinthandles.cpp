// Handles of integer expressions and variables, integer arrays and sets.
#include <algorithm>
#include <cstring>
#include <ostream>
#include <vector>

#include "qrcint.h"

namespace {

QrcManagerI* managerOf(const QrcManager& manager, const char* place) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", place);
  return m;
}

QrcInt* newArrayBlock(QrcManagerI* m, QrcInt n) {
  if (n < 0) {
    m->getErrorReporter()->report(QrcBadArraySizeError, "QrcIntArray", "bad array size", n);
    n = 0;
  }
  QrcInt* block = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(n + 4) * sizeof(QrcInt)));
  block[0] = reinterpret_cast<QrcInt>(m);
  block[1] = n;
  block[2] = 0;
  block[3] = 0;
  return block + 4;
}

}  // namespace

// ---------------------------------------------------------------- integer arrays

QrcIntArray::QrcIntArray(const QrcManager& manager, QrcInt n, const QrcInt* values) {
  QrcManagerI* m = managerOf(manager, "QrcIntArray");
  _values = newArrayBlock(m, n);
  if (_values[-3] > 0)
    std::memcpy(_values, values, static_cast<size_t>(_values[-3]) * sizeof(QrcInt));
}

QrcIntArray::QrcIntArray(const QrcManager& manager, QrcInt n, QrcInt value) {
  QrcManagerI* m = managerOf(manager, "QrcIntArray");
  _values = newArrayBlock(m, n);
  for (QrcInt i = 0; i < _values[-3]; ++i) _values[i] = value;
}

QrcIntCollectionI* QrcIntArray::getCollection() const {
  QrcManagerI* m = getManager();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcIntArray");
  QrcManager(m).checkImplementation(_values, "QrcIntArray");
  // The header word before the size holds the collection's address once made.
  if (QrcInt cached = _values[-2])
    return reinterpret_cast<QrcIntCollectionI*>(cached)->matchOrCreate(getSize(), _values);
  m->saveValue(&_values[-2]);
  QrcIntCollectionI* made = new (m) QrcIntCollectionI(m, getSize(), _values, false);
  _values[-2] = reinterpret_cast<QrcInt>(made);
  return made;
}

// Positions whose value comes again later: as many as the values minus the
// distinct ones, counted on a sorted copy rather than by comparing every pair.
QrcInt QrcIntArray::countRepeated() const {
  QrcInt n = getSize();
  if (n < 2) return 0;
  std::vector<QrcInt> sorted(_values, _values + n);
  std::sort(sorted.begin(), sorted.end());
  return n - (std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

QrcInt QrcIntArray::sum() const {
  QrcInt s = 0;
  for (QrcInt i = 0; i < getSize(); ++i) s += _values[i];
  return s;
}

bool QrcIntArray::contains(QrcInt v) const {
  for (QrcInt i = 0; i < getSize(); ++i)
    if (_values[i] == v) return true;
  return false;
}

QrcIntArray QrcIntArray::copy(const QrcManager& manager) const {
  QrcManagerI* m = managerOf(manager, "QrcIntArray::copy");
  QrcInt n = getSize();
  QrcInt* block = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(n + 4) * sizeof(QrcInt)));
  std::memcpy(block, _values - 4, static_cast<size_t>(n + 4) * sizeof(QrcInt));
  // The copy belongs to its own manager and has no collection yet.
  block[0] = reinterpret_cast<QrcInt>(m);
  block[2] = 0;
  return QrcIntArray(block + 4);
}

std::ostream& operator<<(std::ostream& os, const QrcIntArray& a) {
  os << "[";
  for (QrcInt i = 0; i < a.getSize(); ++i) {
    if (i) os << " ";
    os << a[i];
  }
  return os << "]";
}

// ---------------------------------------------------------------- integer sets

QrcIntSet::QrcIntSet(const QrcManager& manager, QrcInt min, QrcInt max, QrcBool full) {
  QrcManagerI* m = managerOf(manager, "QrcIntSet");
  if (min > max) {
    _impl = new (m) QrcIntSetI(m, 0, 0, 1, 0);
    _impl->remove(0);
    return;
  }
  _impl = new (m) QrcIntSetI(m, min, max, full, 0);
}

QrcIntSet::QrcIntSet(const QrcIntArray& values, QrcBool full) {
  if (!values.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntSet");
  _impl = new (values.getManager()) QrcIntSetI(values.getCollection(), full, 1, 0);
}

QrcIntSet::QrcIntSet(const QrcManager& manager, const QrcIntArray& values, QrcBool full) {
  QrcManagerI* m = managerOf(manager, "QrcIntSet");
  if (values.getSize() == 0) {
    QrcInt zero = 0;
    QrcIntCollectionI* c = new (m) QrcIntCollectionI(m, 1, &zero, true);
    _impl = new (m) QrcIntSetI(c, 1, 1, 0);
    _impl->remove(0);
    return;
  }
  QrcIntCollectionI* c = new (m) QrcIntCollectionI(m, values.getSize(), values.getImpl(), false);
  _impl = new (m) QrcIntSetI(c, full, 1, 0);
}

// ---------------------------------------------------------------- expressions

QrcIntExp::QrcIntExp(const QrcManager& manager, QrcInt value, const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcIntExp");
  if (value == 0)
    _impl = m->getPersistentIntZero();
  else if (value == 1)
    _impl = m->getIntOne();
  else
    _impl = new (m) QrcIntConstI(m, value, name);
}

QrcIntExpI* QrcIntExp::check(const char* place) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return _impl;
}

QrcManagerI* QrcIntExp::getManager() const {
  return check("QrcIntExp::getManager")->getManager();
}
QrcInt QrcIntExp::getMin() const {
  return check("QrcIntExp::getMin")->getMin();
}
QrcInt QrcIntExp::getMax() const {
  return check("QrcIntExp::getMax")->getMax();
}
QrcInt QrcIntExp::getValue() const {
  return check("QrcIntExp::getValue")->getValue();
}
QrcInt QrcIntExp::getSize() const {
  return check("QrcIntExp::getSize")->getSize();
}
bool QrcIntExp::isBound() const {
  return check("QrcIntExp::isBound")->isBound();
}
bool QrcIntExp::isInDomain(QrcInt v) const {
  return check("QrcIntExp::isInDomain")->isInDomain(v);
}
void QrcIntExp::setMin(QrcInt v) const {
  QrcIntExpI* x = check("QrcIntExp::setMin");
  x->setMin(v);
}
void QrcIntExp::setMax(QrcInt v) const {
  QrcIntExpI* x = check("QrcIntExp::setMax");
  x->setMax(v);
}
void QrcIntExp::setRange(QrcInt a, QrcInt b) const {
  QrcIntExpI* x = check("QrcIntExp::setRange");
  x->setRange(a, b);
}
void QrcIntExp::setValue(QrcInt v) const {
  QrcIntExpI* x = check("QrcIntExp::setValue");
  x->setValue(v);
}
void QrcIntExp::removeValue(QrcInt v) const {
  QrcIntExpI* x = check("QrcIntExp::removeValue");
  x->removeValue(v);
}
void QrcIntExp::removeRange(QrcInt a, QrcInt b) const {
  QrcIntExpI* x = check("QrcIntExp::removeRange");
  x->removeRange(a, b);
}
void QrcIntExp::removeWhen(QrcDemonI* d) const {
  check("QrcIntExp::removeWhen")->removeWhen(d);
}
void QrcIntExp::whenValue(QrcDemonI* d) const {
  check("QrcIntExp::whenValue")->whenValue(d);
}
void QrcIntExp::whenRange(QrcDemonI* d) const {
  check("QrcIntExp::whenRange")->whenRange(d);
}
void QrcIntExp::whenDomain(QrcDemonI* d) const {
  check("QrcIntExp::whenDomain")->whenDomain(d);
}

void QrcIntExp::setDomain(const QrcIntExp& source) const {
  QrcIntExpI* x = check("QrcIntExp::setDomain");
  QrcIntExpI* y = source.getImpl();
  if (!y) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntExp::setDomain");
  x->setDomain(y);
}

void QrcIntExp::setDomain(const QrcIntSet& set) const {
  QrcIntExpI* x = check("QrcIntExp::setDomain");
  QrcIntSetI* s = set.getImpl();
  if (!s) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntExp::setDomain");
  x->setDomain(s);
}

void QrcIntExp::setDomain(const QrcIntArray& values) const {
  QrcIntExpI* x = check("QrcIntExp::setDomain");
  if (values.getSize() == 0) x->fail();
  x->setDomain(values.getSize(), values.getImpl(), values.getCollection());
}

void QrcIntExp::removeDomain(const QrcIntSet& set) const {
  QrcIntExpI* x = check("QrcIntExp::removeDomain");
  QrcIntSetI* s = set.getImpl();
  if (!s) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntExp::removeDomain");
  x->removeDomain(s);
}

void QrcIntExp::removeDomain(const QrcIntArray& values) const {
  QrcIntExpI* x = check("QrcIntExp::removeDomain");
  x->removeDomain(values.getSize(), values.getImpl());
}

std::ostream& operator<<(std::ostream& os, const QrcIntExp& exp) {
  if (!exp.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "operator<<");
  exp.getImpl()->display(os);
  return os;
}

// ---------------------------------------------------------------- variables

QrcIntVar::QrcIntVar(const QrcManager& manager, QrcInt min, QrcInt max, const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcIntVar");
  if (min == max) {
    _impl = new (m) QrcIntConstI(m, min, name);
    m->incrementVariableCount();
    return;
  }
  _impl = new (m) QrcIntExpI(m, min, max, name);
}

QrcIntVar::QrcIntVar(const QrcIntArray& values, const char* name) {
  if (!values.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntVar");
  QrcManagerI* m = values.getManager();
  QrcIntCollectionI* coll = nullptr;
  if (values.getSize() > 0) {
    QrcInt lo = values[0], hi = values[0];
    for (QrcInt i = 1; i < values.getSize(); ++i) {
      if (values[i] < lo) lo = values[i];
      if (values[i] > hi) hi = values[i];
    }
    if (hi - lo >= 128) coll = values.getCollection();
  }
  _impl = new (m) QrcIntExpI(m, values.getSize(), values.getImpl(), name, coll);
}

QrcIntVar::QrcIntVar(const QrcManager& manager, const QrcIntArray& values, const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcIntVar");
  _impl = new (m) QrcIntExpI(m, values.getSize(), values.getImpl(), name);
}

QrcIntVar::QrcIntVar(QrcIntExpI* impl) : QrcIntExp(impl) {
  if (impl) impl->makeEventHandlerConstraint();
}

QrcIntVar::QrcIntVar(const QrcIntExp& exp) : QrcIntVar(exp.getImpl()) {}

// ---------------------------------------------------------------- constant arrays

QrcConstArray::QrcConstArray(const QrcManager& manager, const QrcIntArray& values) {
  QrcManagerI* m = managerOf(manager, "QrcConstArray");
  _impl = new (m) QrcConstArrayI(m, values.getSize(), values.getImpl());
}
