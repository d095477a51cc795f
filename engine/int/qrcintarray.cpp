// Arrays of engine expressions: integer-variable arrays, index-interval
// arrays, integer-set-variable arrays, their iterator and per-element demons.
#include <algorithm>
#include <ostream>

#include "qrcint.h"
#include "qrcintsetvar.h"
#include "qrcoperands.h"

// ---------------------------------------------------------------- base

QrcExpArrayI::QrcExpArrayI(QrcManagerI* manager, QrcInt n) : QrcExpArrayI(manager, n, nullptr) {
  if (n >= 1) {
    _elements =
        static_cast<QrcExprI**>(manager->allocate(static_cast<size_t>(n) * sizeof(QrcExprI*)));
    for (QrcInt i = 0; i < n; ++i) _elements[i] = nullptr;
  }
}

QrcExpArrayI::QrcExpArrayI(QrcManagerI* manager, QrcInt n, QrcExprI** storage)
    : _first(0),
      _last(n),
      _step(0),
      _manager(manager),
      _current(0),
      _name(nullptr),
      _size(n),
      _elements(storage),
      _spare1(0),
      _spare2(0) {}

QrcErrorReporter* QrcExpArrayI::getErrorReporter() const {
  return _manager->getErrorReporter();
}

void QrcExpArrayI::checkElements(const char* place) const {
  QrcCheckElements(place, _manager, _size, _elements);
}

bool QrcExpArrayI::checkPosition(QrcInt position, const char* place) const {
  if (position >= 0 && position < _size) return true;
  getErrorReporter()->report(QrcBadIndexError, place, "bad index", position);
  return false;
}

void QrcExpArrayI::displayElements(std::ostream& os, const char* className) const {
  os << (_name ? _name : className);
  if (_manager->getPropagationQueue()->isTracing())
    os << "(" << static_cast<const void*>(this) << ")";
  os << "[";
  for (QrcInt i = 0; i < _size; ++i) {
    if (i) os << " ";
    if (_elements[i])
      _elements[i]->display(os);
    else
      os << "null";
  }
  os << "]";
}

// ---------------------------------------------------------------- integer-variable arrays

namespace {
// The elements of a variable array are variables: a copied node, which
// comes without the event handler of its source, is made one again.
QrcExprI* asVariable(QrcExprI* e) {
  if (e && !e->isVariable()) static_cast<QrcIntExpI*>(e)->makeEventHandlerConstraint();
  return e;
}

QrcInt checkedSize(QrcManagerI* m, QrcInt n, const char* place) {
  if (n < 0) {
    m->getErrorReporter()->report(QrcBadArraySizeError, place, "bad array size", n);
    return 0;
  }
  return n;
}
}  // namespace

QrcIntVarArrayI::QrcIntVarArrayI(QrcManagerI* manager, QrcInt n)
    : QrcExpArrayI(manager, checkedSize(manager, n, "QrcIntVarArrayI")),
      _word1(0),
      _demons(nullptr),
      _word3(0),
      _word4(0) {}

QrcIntVarArrayI::QrcIntVarArrayI(QrcManagerI* manager, QrcInt n, QrcExprI** storage)
    : QrcExpArrayI(manager, checkedSize(manager, n, "QrcIntVarArrayI"), storage),
      _word1(0),
      _demons(nullptr),
      _word3(0),
      _word4(0) {}

void QrcIntVarArrayI::display(std::ostream& os) const {
  displayElements(os, "QrcIntVarArrayI");
}

void QrcIntVarArrayI::whenDomain(QrcDemonI* demon) {
  if (!_demons) {
    _manager->saveValue(&_demons);
    _demons = new (_manager) QrcConstraintList(_manager);
  }
  if (!_demons->getHead() && _size >= 1) {
    for (QrcInt i = 0; i < _size; ++i) {
      QrcDemonI* d =
          new (_manager) QrcWithIndexSetI(_manager, this, _first + i * getStep(), _demons);
      getVar(i)->whenDomain(d);
    }
  }
  _demons->addConstraint(demon);
}

void QrcWithIndexSetI::propagate() {
  _array->setCurrentIndex(_index);
  if (_list->getHead()) _list->propagateAll();
}

QrcIntVarArrayI* QrcIntVarArrayI::copyForManager(QrcManagerI* target) const {
  if (_size < 0) {
    _manager->getErrorReporter()->report(QrcBadArraySizeError, "QrcIntVarArrayI", "bad array size",
                                         _size);
    return nullptr;
  }
  QrcExprI** storage = nullptr;
  if (_size > 0) {
    storage =
        static_cast<QrcExprI**>(target->allocate(static_cast<size_t>(_size) * sizeof(QrcExprI*)));
    for (QrcInt i = 0; i < _size; ++i)
      storage[i] = _elements[i] ? asVariable(_elements[i]->getCopyForManager(target)) : nullptr;
  }
  return new (target) QrcIntVarArrayI(target, _size, storage);
}

QrcIntVarArrayI* QrcIntVarArrayI::extract(QrcInt first, QrcInt count) const {
  if (first < 0) {
    _manager->getErrorReporter()->report(QrcBadIndexError, "extract", "bad index", first);
    return nullptr;
  }
  if (count < 0 || first + count > _size) {
    _manager->getErrorReporter()->report(QrcBadArraySizeError, "extract", "bad array size", count);
    return nullptr;
  }
  return new (_manager) QrcIntVarArrayI(_manager, count, _elements + first);
}

QrcIntExpArrayI::QrcIntExpArrayI(QrcManagerI* manager, QrcInt first, QrcInt last, QrcInt step,
                                 QrcIntExpI* prototype, QrcBool keepPrototype)
    : QrcIntVarArrayI(manager, 0) {
  QrcErrorReporter* r = manager->getErrorReporter();
  if (step < 1) {
    r->report(QrcNegativeIndexStepError, "QrcIntExpArrayI::QrcIntExpArrayI", "negative index step",
              step);
    return;
  }
  if (last <= first || (last - first) % step != 0) {
    r->report(QrcBadIndexIntervalError, "QrcIntExpArrayI::QrcIntExpArrayI", "bad index interval",
              first, last);
    return;
  }
  _first = first;
  _last = last;
  _step = step == 1 ? 0 : step;
  _size = (last - first) / step;
  _elements =
      static_cast<QrcExprI**>(manager->allocate(static_cast<size_t>(_size) * sizeof(QrcExprI*)));
  for (QrcInt i = 0; i < _size; ++i) {
    if (i == 0 && keepPrototype) {
      _elements[i] = asVariable(prototype);
      continue;
    }
    _elements[i] = asVariable(prototype->getCopyForManager(manager));
  }
}

// ---------------------------------------------------------------- set-variable arrays

QrcIntSetVarArrayI::QrcIntSetVarArrayI(QrcManagerI* manager, QrcInt n)
    : QrcExpArrayI(manager, n), _word1(0), _word2(0) {
  if (n <= 0)
    manager->getErrorReporter()->report(QrcBadArraySizeError, "QrcIntSetVarArrayI",
                                        "bad array size", n);
}

QrcIntSetVarArrayI::QrcIntSetVarArrayI(QrcManagerI* manager, QrcInt n, QrcExprI** storage)
    : QrcExpArrayI(manager, n, storage), _word1(0), _word2(0) {}

void QrcIntSetVarArrayI::display(std::ostream& os) const {
  displayElements(os, "QrcIntSetVarArrayI");
}

QrcIntSetVarArrayI* QrcIntSetVarArrayI::copyForManager(QrcManagerI* target) const {
  if (_size <= 0) {
    _manager->getErrorReporter()->report(QrcBadArraySizeError, "QrcIntSetVarArrayI",
                                         "bad array size", _size);
    return nullptr;
  }
  QrcExprI** storage =
      static_cast<QrcExprI**>(target->allocate(static_cast<size_t>(_size) * sizeof(QrcExprI*)));
  for (QrcInt i = 0; i < _size; ++i)
    storage[i] = _elements[i] ? _elements[i]->getCopyForManager(target) : nullptr;
  return new (target) QrcIntSetVarArrayI(target, _size, storage);
}

QrcIntOrderedSetI::QrcIntOrderedSetI(QrcManagerI* manager, const QrcIntSetVarArrayI* vars)
    : _manager(manager) {
  QrcInt total = 0;
  for (QrcInt i = 0; i < vars->getSize(); ++i)
    total += static_cast<QrcIntSetVarI*>(vars->get(i))->getPossible()->getSize();
  QrcInt* values = static_cast<QrcInt*>(
      manager->allocate(static_cast<size_t>(total > 0 ? total : 1) * sizeof(QrcInt)));
  QrcInt n = 0;
  for (QrcInt i = 0; i < vars->getSize(); ++i) {
    QrcIntSetIterator it(static_cast<QrcIntSetVarI*>(vars->get(i))->getPossible());
    QrcInt v;
    while (it.next(v)) values[n++] = v;
  }
  std::sort(values, values + n);
  QrcInt buckets = 2;
  while (buckets < n) buckets *= 2;
  init(buckets, buckets);
  for (QrcInt k = 0; k < n; ++k) add(values[k]);
  compact(2);
}

QrcIntSetVarArray::QrcIntSetVarArray(const QrcManager& manager, QrcInt n) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcIntSetVarArray");
  _impl = new (m) QrcIntSetVarArrayI(m, n);
}

QrcIntSetVar QrcIntSetVarArray::operator[](QrcInt position) const {
  const char* place = "QrcIntSetVarArray::operator[]";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (!_impl->checkPosition(position, place)) return QrcIntSetVar();
  return QrcIntSetVar(static_cast<QrcIntSetVarI*>(_impl->get(position)));
}

void QrcIntSetVarArray::set(QrcInt position, const QrcIntSetVar& var) const {
  const char* place = "QrcIntSetVarArray::set";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (_impl->checkPosition(position, place)) _impl->elementAt(position) = var.getImpl();
}

// ---------------------------------------------------------------- handle and iterator

QrcIntVarArray::QrcIntVarArray(const QrcManager& manager, QrcInt n) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcIntVarArray");
  _impl = new (m) QrcIntVarArrayI(m, n);
}

QrcIntVarArray::QrcIntVarArray(const QrcManager& manager, QrcInt n, QrcInt min, QrcInt max)
    : _impl(nullptr) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcIntVarArray");
  if (n == 0) return;
  _impl = new (m) QrcIntVarArrayI(m, n);
  for (QrcInt i = 0; i < _impl->getSize(); ++i)
    _impl->elementAt(i) = QrcIntVar(manager, min, max).getImpl();
}

QrcIntVarArray::QrcIntVarArray(const QrcManager& manager, QrcInt first, QrcInt last, QrcInt step,
                               const QrcIntVar& prototype)
    : _impl(nullptr) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcIntVarArray");
  if (first == last) return;
  if (!prototype.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntVarArray");
  _impl = new (m) QrcIntExpArrayI(m, first, last, step, prototype.getImpl(), 0);
}

QrcIntVar QrcIntVarArray::operator[](QrcInt position) const {
  const char* place = "QrcIntVarArray::operator[]";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (!_impl->checkPosition(position, place)) return QrcIntVar();
  return QrcIntVar(_impl->getVar(position));
}

void QrcIntVarArray::set(QrcInt position, const QrcIntExp& exp) const {
  const char* place = "QrcIntVarArray::set";
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (!_impl->checkPosition(position, place)) return;
  _impl->elementAt(position) = asVariable(exp.getImpl());
}

void QrcIntVarArray::whenDomain(QrcDemonI* demon) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntVarArray::whenDomain");
  _impl->whenDomain(demon);
}

QrcInt QrcIntVarArray::getMinOfMins(QrcInt a, QrcInt b) const {
  QrcInt best = QrcIntMax;
  for (QrcIntVarArrayIterator it(_impl, a, b); it.ok(); ++it)
    if ((*it)->rawMin() < best) best = (*it)->rawMin();
  return best;
}

QrcInt QrcIntVarArray::getMaxOfMaxs(QrcInt a, QrcInt b) const {
  QrcInt best = QrcIntMin;
  for (QrcIntVarArrayIterator it(_impl, a, b); it.ok(); ++it)
    if ((*it)->rawMax() > best) best = (*it)->rawMax();
  return best;
}

void QrcIntVarArray::setRange(QrcInt a, QrcInt b, QrcInt min, QrcInt max) const {
  QrcIntVarArrayI* array = _impl;
  auto narrow = [array, a, b, min, max] {
    for (QrcIntVarArrayIterator it(array, a, b); it.ok(); ++it) (*it)->setRange(min, max);
  };
  // At the root the whole array is narrowed or, on a failure, none of it.
  if (array)
    array->getManager()->changeAtRoot(narrow);
  else
    narrow();
}

std::ostream& operator<<(std::ostream& os, const QrcIntVarArray& a) {
  if (!a.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "operator<<");
  a.getImpl()->display(os);
  return os;
}

QrcIntVarArrayIterator::QrcIntVarArrayIterator(QrcIntVarArrayI* array, QrcInt a, QrcInt b)
    : _cursor(nullptr), _last(nullptr), _before(0), _end(0), _step(1), _index(1) {
  if (!array || array->getSize() == 0 || !array->getStorage()) return;
  QrcInt first = array->getFirstIndex(), last = array->getLastIndex();
  _step = array->getStep();
  if (!(first <= a && a < b && b <= last)) {
    array->getErrorReporter()->report(QrcBadIndexIntervalError, "QrcIntVarArrayIterator",
                                      "bad index interval", a, b);
    return;
  }
  QrcInt p0 = (a - first + _step - 1) / _step;
  QrcInt p1 = (b - 1 - first) / _step;
  if (p1 < p0) return;
  _cursor = array->getStorage() + p0;
  _last = array->getStorage() + p1;
  _before = first + (p0 - 1) * _step;
  _end = first + (p1 + 1) * _step;
}
