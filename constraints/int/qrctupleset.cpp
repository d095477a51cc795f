#include "qrctupleset.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "qrcheaparray.h"
#include "qrcmanager.h"

namespace {

QrcInt hashOf(const QrcInt* values, QrcInt n) {
  QrcUInt h = 0;
  for (QrcInt i = 0; i < n; ++i) h ^= static_cast<QrcUInt>(values[i]);
  return static_cast<QrcInt>(h);
}

}  // namespace

QrcTupleSetI::QrcTupleSetI(QrcManagerI* manager, QrcInt arity)
    : _manager(manager),
      _arity(arity),
      _closed(0),
      _newest(nullptr),
      _count(0),
      _hashMask(0),
      _buckets(nullptr),
      _columns(nullptr),
      _mode(2),
      _width(0) {}

void QrcTupleSetI::add(const QrcInt* values, QrcInt n) {
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (n != _arity) r->report(QrcBadArraySizeError, "QrcTupleSet::add", "bad array size");
  if (_closed)
    r->report(QrcTupleSetClosedError, "QrcTupleSet::add", "the tuple set is already closed");
  QrcTupleNode* t = new (_manager) QrcTupleNode;
  t->values = allocArray<QrcInt>(_manager, _arity);
  t->columnNext = allocArray<QrcTupleNode*>(_manager, _arity);
  for (QrcInt k = 0; k < _arity; ++k) {
    t->values[k] = values[k];
    t->columnNext[k] = nullptr;
  }
  t->hashNext = nullptr;
  t->listNext = _newest;
  t->extra = nullptr;
  t->number = _count++;
  _newest = t;
}

void QrcTupleSetI::setStorageMode(QrcInt mode) {
  if (!_closed) _mode = mode;
}

QrcInt QrcTupleSetI::chooseMode() const {
  QrcInt mode = _mode;
  if (QrcManagerOwnerI* owner = _manager->getOwner()) mode = owner->getTupleSetStorageMode();
  return mode == 1 || mode == 2 ? mode : 0;
}

void QrcTupleSetI::close() {
  if (_closed) return;
  _mode = chooseMode();
  buildColumns();
  buildHash();
  if (_mode == 1) buildMode1();
  if (_mode == 2) buildMode2();
  _closed = 1;
}

void QrcTupleSetI::buildColumns() {
  _columns = allocArray<QrcTupleColumn>(_manager, _arity);
  _width = 0;
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcTupleColumn& c = _columns[k];
    c.index = new (_manager) QrcIntMap(_manager);
    c.size = 0;
    for (QrcTupleNode* t = _newest; t; t = t->listNext)
      if (c.index->add(t->values[k], c.size)) ++c.size;
    c.index->compact(2);
    c.values = QrcIntArray(QrcManager(_manager), c.size, QrcInt(0)).getImpl();
    c.heads = allocArray<QrcTupleNode*>(_manager, c.size);
    for (QrcInt i = 0; i < c.size; ++i) c.heads[i] = nullptr;
    c.sortedValues = nullptr;
    c.rank = nullptr;
    if (c.size > _width) _width = c.size;
  }
  // Newest first, each pushed on the head: every list runs from the oldest tuple.
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    for (QrcInt k = 0; k < _arity; ++k) {
      QrcTupleColumn& c = _columns[k];
      QrcInt i = c.index->get(t->values[k]);
      c.values[i] = t->values[k];
      t->columnNext[k] = c.heads[i];
      c.heads[i] = t;
    }
  }
}

void QrcTupleSetI::buildHash() {
  QrcInt size = 1;
  while (size < _count) size <<= 1;
  _hashMask = size - 1;
  _buckets = allocArray<QrcTupleNode*>(_manager, size);
  for (QrcInt b = 0; b < size; ++b) _buckets[b] = nullptr;
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcInt b = hashOf(t->values, _arity) & _hashMask;
    t->hashNext = _buckets[b];
    _buckets[b] = t;
  }
}

void QrcTupleSetI::buildMode1() {
  QrcInt cells = _arity * _width;
  std::vector<QrcTupleNode*> last(static_cast<size_t>(cells), nullptr);
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcTupleMode1* e = new (_manager) QrcTupleMode1;
    e->values = t->values;
    e->width = _width;
    e->arity = _arity;
    e->number = t->number;
    e->next = allocArray<QrcTupleNode*>(_manager, cells);
    std::copy(last.begin(), last.end(), e->next);
    t->extra = e;
    for (QrcInt k = 0; k < _arity; ++k)
      last[static_cast<size_t>(k * _width + getValueIndex(k, t->values[k]))] = t;
  }
}

void QrcTupleSetI::buildMode2() {
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcTupleColumn& c = _columns[k];
    std::vector<std::pair<QrcInt, QrcInt>> byValue;
    for (QrcInt i = 0; i < c.size; ++i) byValue.emplace_back(c.values[i], i);
    std::sort(byValue.begin(), byValue.end());
    c.sortedValues = allocArray<QrcInt>(_manager, c.size);
    c.rank = allocArray<QrcInt>(_manager, c.size);
    for (QrcInt r = 0; r < c.size; ++r) {
      c.sortedValues[r] = byValue[static_cast<size_t>(r)].first;
      c.rank[byValue[static_cast<size_t>(r)].second] = r;
    }
  }
  QrcTupleMode2* newer = nullptr;
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcTupleMode2* e = new (_manager) QrcTupleMode2;
    e->number = t->number;
    e->newer = newer;
    e->node = t;
    e->probeValue = allocArray<QrcInt>(_manager, _arity);
    e->probeLink = allocArray<QrcTupleMode2*>(_manager, _arity);
    t->extra = e;
    newer = e;
  }
  std::vector<QrcTupleMode2*> latest;
  for (QrcInt k = 0; k < _arity; ++k) {
    const QrcTupleColumn& c = _columns[k];
    latest.assign(static_cast<size_t>(c.size), nullptr);
    QrcInt r = c.size - 1;
    for (QrcTupleNode* t = _newest; t; t = t->listNext) {
      QrcTupleMode2* e = t->mode2();
      e->probeValue[k] = c.sortedValues[r];
      e->probeLink[k] = latest[static_cast<size_t>(r)];
      latest[static_cast<size_t>(c.rank[getValueIndex(k, t->values[k])])] = e;
      r = r == 0 ? c.size - 1 : r - 1;
    }
  }
}

QrcInt QrcTupleSetI::getValueIndex(QrcInt column, QrcInt value) const {
  QrcInt i = _columns[column].index->get(value);
  return i == QrcIntMapAbsent ? -1 : i;
}

QrcTupleNode* QrcTupleSetI::getFirst(QrcInt column, QrcInt value) const {
  QrcInt i = getValueIndex(column, value);
  return i < 0 ? nullptr : _columns[column].heads[i];
}

QrcTupleNode* QrcTupleSetI::getTuple(QrcInt number) const {
  for (QrcTupleNode* t = _newest; t; t = t->listNext)
    if (t->number == number) return t;
  return nullptr;
}

QrcTupleSetI* QrcTupleSetI::copyForManager(QrcManagerI* target) const {
  QrcTupleSetI* copy = new (target) QrcTupleSetI(target, _arity);
  std::vector<const QrcTupleNode*> newestFirst;
  for (const QrcTupleNode* t = _newest; t; t = t->listNext) newestFirst.push_back(t);
  // Oldest first, so that the copy numbers its tuples alike.
  for (size_t i = newestFirst.size(); i-- > 0;) copy->add(newestFirst[i]->values, _arity);
  copy->setStorageMode(_mode);
  if (_closed) copy->close();
  return copy;
}

QrcBool QrcTupleSetI::isIn(const QrcInt* values, QrcInt n) const {
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (n != _arity) r->report(QrcBadArraySizeError, "QrcTupleSet::isIn", "bad array size");
  if (!_closed)
    r->report(QrcTupleSetNotClosedError, "QrcTupleSet::isIn", "the tuple set is not closed");
  for (QrcTupleNode* t = _buckets[hashOf(values, _arity) & _hashMask]; t; t = t->hashNext) {
    QrcInt k = 0;
    while (k < _arity && t->values[k] == values[k]) ++k;
    if (k == _arity) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------- handle

QrcTupleSet::QrcTupleSet(const QrcManager& manager, QrcInt arity) : _impl(nullptr) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcTupleSet");
  // Closing keeps a column record per position.
  size_t bytes;
  if (arity < 0 ||
      __builtin_mul_overflow(static_cast<size_t>(arity), sizeof(QrcTupleColumn), &bytes))
    m->getErrorReporter()->report(QrcBadArraySizeError, "QrcTupleSet", "bad array size");
  _impl = new (m) QrcTupleSetI(m, arity);
}

QrcTupleSetI* QrcTupleSet::check(const char* place) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return _impl;
}

void QrcTupleSet::add(const QrcIntArray& tuple) const {
  check("QrcTupleSet::add")->add(tuple.getImpl(), tuple.getSize());
}

void QrcTupleSet::close() const {
  check("QrcTupleSet::close")->close();
}

QrcBool QrcTupleSet::isIn(const QrcIntArray& tuple) const {
  return check("QrcTupleSet::isIn")->isIn(tuple.getImpl(), tuple.getSize());
}

void QrcTupleSet::setStorageMode(QrcInt mode) const {
  check("QrcTupleSet::setStorageMode")->setStorageMode(mode);
}

QrcInt QrcTupleSet::getArity() const {
  return check("QrcTupleSet::getArity")->getArity();
}

QrcInt QrcTupleSet::getCount() const {
  return check("QrcTupleSet::getCount")->getCount();
}
