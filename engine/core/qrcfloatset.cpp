#include "qrcfloatset.h"

#include <cstdlib>
#include <cstring>

#include "qrcsetsupport.h"
#include "qrcmanager.h"

namespace {

int compareDoubles(const void* a, const void* b) {
  double x = *static_cast<const double*>(a), y = *static_cast<const double*>(b);
  if (x > y) return 1;
  if (x < y) return -1;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- collection

QrcFloatCollectionI::QrcFloatCollectionI(QrcManagerI* manager, QrcInt n, const QrcFloat* values)
    : _n(0),
      _elements(nullptr),
      _table(nullptr),
      _wordCount(1),
      _least(0),
      _greatest(0),
      _manager(manager) {
  if (n <= 0) {
    manager->getErrorReporter()->report(QrcNullArraySizeError,
                                        "QrcFloatCollectionI::QrcFloatCollectionI",
                                        "called with null array size");
    n = 0;
  }
  QrcFloat* sorted = static_cast<QrcFloat*>(
      manager->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcFloat)));
  if (n > 0) std::memcpy(sorted, values, static_cast<size_t>(n) * sizeof(QrcFloat));
  std::qsort(sorted, static_cast<size_t>(n), sizeof(QrcFloat), compareDoubles);
  _table = new (manager) QrcFloatHashTable(manager, n > 0 ? n : 1);
  _elements =
      static_cast<Element*>(manager->allocate(static_cast<size_t>(n + 1) * sizeof(Element)));
  _n = qrcsets::fillElements(_elements, _table, sorted, n);
  _elements[_n] = Element{0, 0, 0, 0};
  _wordCount = _n / 64 + 1;
  if (_n > 0) {
    _least = _elements[0].value;
    _greatest = _elements[_n - 1].value;
  }
}

QrcFloatCollectionI* QrcFloatCollectionI::copyFor(QrcManagerI* target) {
  if (target == _manager) return this;
  QrcFloat* values = static_cast<QrcFloat*>(
      target->allocate(static_cast<size_t>(_n > 0 ? _n : 1) * sizeof(QrcFloat)));
  for (QrcInt i = 0; i < _n; ++i) values[i] = _elements[i].value;
  return new (target) QrcFloatCollectionI(target, _n, values);
}

const QrcFloatCollectionI::Element* QrcFloatCollectionI::find(QrcFloat value) const {
  return reinterpret_cast<const Element*>(_table->get(value));
}

QrcInt QrcFloatCollectionI::lowerBoundIndex(QrcFloat v) const {
  return qrcsets::lowerBoundIndex(_elements, _n, v);
}

QrcFloatCollectionI* QrcFloatCollectionI::matchOrCreate(QrcInt n, const QrcFloat* values) {
  if (n <= 0) {
    _manager->getErrorReporter()->report(QrcNullArraySizeError, "QRCCOLLCLASS::QRCCOLLCLASS",
                                         "called with null array size");
    return this;
  }
  QrcInt k = 0;
  bool same = true;
  // Every value must be a member, and every member must occur.
  for (QrcInt i = 0; i < n && same; ++i)
    if (!find(values[i])) same = false;
  if (same) {
    QrcInt* seen = _manager->lockArrayFromPool(_n > 0 ? _n : 1);
    for (QrcInt i = 0; i < _n; ++i) seen[i] = 0;
    for (QrcInt i = 0; i < n; ++i) {
      QrcInt idx = find(values[i])->index;
      if (!seen[idx]) {
        seen[idx] = 1;
        ++k;
      }
    }
    _manager->unlockArrayFromPool(seen);
    same = k == _n;
  }
  return same ? this : new (_manager) QrcFloatCollectionI(_manager, n, values);
}

// ---------------------------------------------------------------- set

QrcFloatSetI::QrcFloatSetI(QrcFloatCollectionI* coll, QrcBool full, QrcBool stamped)
    : _words(nullptr),
      _min(coll->getLeast()),
      _max(coll->getGreatest()),
      _count(coll->getManager(), 0),
      _coll(coll),
      _manager(coll->getManager()),
      _stamps(nullptr),
      _wordCount(coll->getWordCount()) {
  _words =
      static_cast<QrcWord*>(_manager->allocate(static_cast<size_t>(_wordCount) * sizeof(QrcWord)));
  for (QrcInt i = 0; i < _wordCount; ++i) _words[i] = full ? ~QrcWord(0) : 0;
  _words[0] &= ~QrcWord(1);
  if (stamped) {
    _stamps =
        static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(_wordCount) * sizeof(QrcInt)));
    for (QrcInt i = 0; i < _wordCount; ++i) _stamps[i] = _manager->getStamp();
  }
  _count.setNoSave(full ? coll->getSize() : 0);
}

QrcFloatSetI::QrcFloatSetI(const QrcFloatSetI& s, QrcManagerI* target)
    : _words(nullptr),
      _min(s._min),
      _max(s._max),
      _count(target, s.getSize()),
      _coll(s._coll ? s._coll->copyFor(target) : nullptr),
      _manager(target),
      _stamps(nullptr),
      _wordCount(s._wordCount) {
  _words =
      static_cast<QrcWord*>(target->allocate(static_cast<size_t>(_wordCount) * sizeof(QrcWord)));
  std::memcpy(_words, s._words, static_cast<size_t>(_wordCount) * sizeof(QrcWord));
  if (s._stamps) {
    _stamps =
        static_cast<QrcInt*>(target->allocate(static_cast<size_t>(_wordCount) * sizeof(QrcInt)));
    for (QrcInt i = 0; i < _wordCount; ++i) _stamps[i] = target->getStamp();
  }
}

QrcFloatSetI* QrcFloatSetI::copy(QrcManagerI* target) const {
  return new (target) QrcFloatSetI(*this, target);
}

void QrcFloatSetI::saveWord(QrcInt w) {
  qrcsets::saveWord(_manager, _words, _stamps, w);
}

bool QrcFloatSetI::contains(QrcFloat v) const {
  if (!_coll) return false;
  const QrcFloatCollectionI::Element* e = _coll->find(v);
  return e && test(e->index);
}

bool QrcFloatSetI::remove(QrcFloat v) {
  if (!_coll) return false;
  const QrcFloatCollectionI::Element* e = _coll->find(v);
  if (!e || !test(e->index)) return false;
  saveWord(e->word);
  _words[e->word] &= ~e->mask;
  _count.set(_manager, _count.getValue() - 1);
  return true;
}

QrcInt QrcFloatSetI::nextMember(QrcInt i) const {
  for (QrcInt n = _coll->getSize(); i < n; ++i)
    if (test(i)) return i;
  return -1;
}

QrcInt QrcFloatSetI::previousMember(QrcInt i) const {
  for (; i >= 0; --i)
    if (test(i)) return i;
  return -1;
}

QrcFloat QrcFloatSetI::raiseMin(QrcFloat oldMin, QrcFloat newMin) {
  if (!_coll) return newMin;
  QrcInt from = _coll->lowerBoundIndex(oldMin), to = _coll->lowerBoundIndex(newMin);
  QrcInt k = 0;
  for (QrcInt i = from; i < to; ++i)
    if (test(i)) ++k;
  if (k) _count.set(_manager, _count.getValue() - k);
  QrcInt i = nextMember(to);
  return i < 0 ? newMin : _coll->getElement(i)->value;
}

QrcFloat QrcFloatSetI::lowerMax(QrcFloat oldMax, QrcFloat newMax) {
  if (!_coll) return newMax;
  // Elements in (newMax, oldMax].
  QrcInt to = _coll->lowerBoundIndex(newMax);
  if (to < _coll->getSize() && _coll->getElement(to)->value == newMax) ++to;
  QrcInt end = _coll->lowerBoundIndex(oldMax);
  if (end < _coll->getSize() && _coll->getElement(end)->value == oldMax) ++end;
  QrcInt k = 0;
  for (QrcInt i = to; i < end; ++i)
    if (test(i)) ++k;
  if (k) _count.set(_manager, _count.getValue() - k);
  QrcInt i = previousMember(to - 1);
  return i < 0 ? newMax : _coll->getElement(i)->value;
}

QrcFloat QrcFloatSetI::nextMemberAbove(QrcFloat v) const {
  if (!_coll) return v;
  QrcInt i = nextMember(_coll->lowerBoundIndex(v));
  return i < 0 ? v : _coll->getElement(i)->value;
}

QrcFloat QrcFloatSetI::previousMemberBelow(QrcFloat v) const {
  if (!_coll) return v;
  QrcInt to = _coll->lowerBoundIndex(v);
  if (to < _coll->getSize() && _coll->getElement(to)->value == v) ++to;
  QrcInt i = previousMember(to - 1);
  return i < 0 ? v : _coll->getElement(i)->value;
}

QrcFloat QrcFloatSetI::getNextHigher(QrcFloat v) const {
  if (!_coll) return v;
  QrcInt from = _coll->lowerBoundIndex(v);
  if (from < _coll->getSize() && _coll->getElement(from)->value == v) ++from;
  QrcInt i = nextMember(from);
  return i < 0 ? v : _coll->getElement(i)->value;
}

QrcFloat QrcFloatSetI::getNextLower(QrcFloat v) const {
  if (!_coll) return v;
  QrcInt i = previousMember(_coll->lowerBoundIndex(v) - 1);
  return i < 0 ? v : _coll->getElement(i)->value;
}

// ---------------------------------------------------------------- array

QrcFloatArrayI::QrcFloatArrayI(QrcManagerI* manager, QrcInt n, QrcFloat value)
    : _size(n), _values(nullptr), _collection(nullptr), _manager(manager) {
  if (n < 0) {
    manager->getErrorReporter()->report(QrcBadArraySizeError, "QRCCOLLARRAY", "bad array size", n);
    _size = 0;
  }
  _values =
      static_cast<QrcFloat*>(manager->allocate(static_cast<size_t>(_size) * sizeof(QrcFloat)));
  for (QrcInt i = 0; i < _size; ++i) _values[i] = value;
}

void QrcFloatArrayI::setCollection() {
  QrcFloatCollectionI* c = _collection ? _collection->matchOrCreate(_size, _values)
                                       : new (_manager)
                                             QrcFloatCollectionI(_manager, _size, _values);
  if (c == _collection) return;
  _manager->saveValue(&_collection);
  _collection = c;
}
