#include "qrctupleset.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "qrcheaparray.h"
#include "qrcmanager.h"

namespace {

// The largest arity whose columns keep a copy of their tuples' values.
const QrcInt SlotValuesArity = 8;

// The most bytes mode 1's links by tuple take.
const QrcInt AfterBytes = QrcInt(1) << 22;

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
      _width(0),
      _values(nullptr),
      _slots(nullptr),
      _rowBytes(0),
      _rowStride(0),
      _rows(nullptr),
      _slotRows(nullptr),
      _after(nullptr),
      _jumpRows(nullptr),
      _jumpStride(0),
      _slotHits(nullptr),
      _hitLane(0),
      _rankStart(nullptr) {}

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
  buildRanks();
  // Row elements narrow enough for every number and none.
  _rowBytes = _count < 0xFF ? 1 : _count < 0xFFFF ? 2 : 4;
  if (_mode == 0) buildBits();
  if (_mode == 1) {
    buildMode1();
    if (_rowBytes == 1)
      buildRows1<uint8_t>();
    else if (_rowBytes == 2)
      buildRows1<uint16_t>();
    else
      buildRows1<uint32_t>();
  }
  if (_mode == 2) {
    buildMode2();
    if (_rowBytes == 1)
      buildRows2<uint8_t>();
    else if (_rowBytes == 2)
      buildRows2<uint16_t>();
    else
      buildRows2<uint32_t>();
  }
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
    c.first = 0;
    c.consecutive = false;
    c.slotStart = allocArray<QrcInt>(_manager, c.size + 1, QrcInt(0));
    c.slotTuple = allocArray<int32_t>(_manager, _count);
    c.bitStart = nullptr;
    c.bits = nullptr;
    if (c.size > _width) _width = c.size;
  }
  _values = allocArray<QrcInt>(_manager, _count * _arity);
  _slots = allocArray<int32_t>(_manager, _count * _arity);
  // Newest first, each pushed on the head: every list runs from the oldest tuple.
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    for (QrcInt k = 0; k < _arity; ++k) {
      QrcTupleColumn& c = _columns[k];
      QrcInt i = c.index->get(t->values[k]);
      c.values[i] = t->values[k];
      t->columnNext[k] = c.heads[i];
      c.heads[i] = t;
      ++c.slotStart[i + 1];
      _values[t->number * _arity + k] = t->values[k];
    }
  }
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcTupleColumn& c = _columns[k];
    for (QrcInt i = 0; i < c.size; ++i) {
      c.slotStart[i + 1] += c.slotStart[i];
      QrcInt slot = c.slotStart[i];
      for (QrcTupleNode* t = c.heads[i]; t; t = t->columnNext[k], ++slot) {
        c.slotTuple[slot] = static_cast<int32_t>(t->number);
        _slots[t->number * _arity + k] = static_cast<int32_t>(slot);
      }
    }
    // Short tuples are copied into the slots, so that a walk reads one block.
    c.slotValues = nullptr;
    if (_arity > SlotValuesArity || _mode != 0) continue;
    c.slotValues = allocArray<QrcInt>(_manager, _count * _arity);
    for (QrcInt slot = 0; slot < _count; ++slot)
      std::copy(_values + c.slotTuple[slot] * _arity, _values + (c.slotTuple[slot] + 1) * _arity,
                c.slotValues + slot * _arity);
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

void QrcTupleSetI::buildRanks() {
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
    if (c.size > 0) {
      c.first = c.sortedValues[0];
      c.consecutive = c.sortedValues[c.size - 1] - c.first == c.size - 1;
    }
  }
}

void QrcTupleSetI::buildBits() {
  // Words per list and the whole size, within a bound of the set's own size.
  QrcInt ranks = 0;
  for (QrcInt j = 0; j < _arity; ++j) {
    if (_columns[j].size > 64) return;
    ranks += _columns[j].size;
  }
  QrcInt total = 0;
  for (QrcInt k = 0; k < _arity; ++k) {
    const QrcTupleColumn& c = _columns[k];
    for (QrcInt i = 0; i < c.size; ++i)
      total += ((c.slotStart[i + 1] - c.slotStart[i] + 63) >> 6) * ranks;
  }
  if (total > 8 * _count * _arity + 65536) return;
  _rankStart = allocArray<QrcInt>(_manager, _arity + 1);
  _rankStart[0] = 0;
  for (QrcInt j = 0; j < _arity; ++j) _rankStart[j + 1] = _rankStart[j] + _columns[j].size;
  // The rank of each value of each tuple.
  std::vector<QrcInt> ranksOf(static_cast<size_t>(_count * _arity));
  for (QrcInt j = 0; j < _arity; ++j) {
    const QrcTupleColumn& c = _columns[j];
    for (QrcInt i = 0; i < c.size; ++i)
      for (QrcInt s = c.slotStart[i]; s < c.slotStart[i + 1]; ++s)
        ranksOf[static_cast<size_t>(c.slotTuple[s] * _arity + j)] = c.rank[i];
  }
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcTupleColumn& c = _columns[k];
    c.bitStart = allocArray<QrcInt>(_manager, c.size + 1);
    c.bitStart[0] = 0;
    for (QrcInt i = 0; i < c.size; ++i)
      c.bitStart[i + 1] = c.bitStart[i] + ((c.slotStart[i + 1] - c.slotStart[i] + 63) >> 6) * ranks;
    c.bits = allocArray<QrcUInt>(_manager, c.bitStart[c.size], QrcUInt(0));
    for (QrcInt i = 0; i < c.size; ++i) {
      QrcInt words = (c.slotStart[i + 1] - c.slotStart[i] + 63) >> 6;
      for (QrcInt s = c.slotStart[i]; s < c.slotStart[i + 1]; ++s) {
        QrcInt at = s - c.slotStart[i], t = c.slotTuple[s];
        for (QrcInt j = 0; j < _arity; ++j) {
          QrcInt r = _rankStart[j] + ranksOf[static_cast<size_t>(t * _arity + j)];
          c.bits[c.bitStart[i] + r * words + (at >> 6)] |= QrcUInt(1) << (at & 63);
        }
      }
    }
  }
}

void QrcTupleSetI::buildMode2() {
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

namespace {

// Elements per row: a power of two up to a cache line, else whole lines.
QrcInt rowStride(QrcInt elements, QrcInt bytes) {
  QrcInt size = elements * bytes, line = 64;
  if (size > line) return (size + line - 1) / line * line / bytes;
  QrcInt p = bytes;
  while (p < size) p <<= 1;
  return p / bytes;
}

}  // namespace

void* QrcTupleSetI::allocRows(QrcInt n) {
  uintptr_t raw = reinterpret_cast<uintptr_t>(
      _manager->allocate(static_cast<size_t>(n > 0 ? n : 1) * static_cast<size_t>(_rowBytes) + 63));
  return reinterpret_cast<void*>((raw + 63) & ~uintptr_t(63));
}

template <typename T>
void QrcTupleSetI::buildRows1() {
  const T none = static_cast<T>(~T(0));
  QrcInt cells = _arity * _width;
  _rowStride = rowStride(_arity + cells, sizeof(T));
  T* rows = static_cast<T*>(allocRows(_count * _rowStride));
  std::vector<T> last(static_cast<size_t>(cells), none);
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    T* row = rows + t->number * _rowStride;
    std::fill(row, row + _rowStride, none);
    std::copy(last.begin(), last.end(), row + _arity);
    for (QrcInt k = 0; k < _arity; ++k) {
      row[k] = static_cast<T>(_columns[k].rank[getValueIndex(k, t->values[k])]);
      last[static_cast<size_t>(k * _width + row[k])] = static_cast<T>(t->number);
    }
  }
  _rows = rows;
  // The links by tuple, for columns of at most 64 values and within a bound
  // of memory. Newest first: each tuple is the oldest not older than itself
  // for its own ranks.
  if (_width > 64 || cells * _count * static_cast<QrcInt>(sizeof(T)) > AfterBytes) return;
  T* after = static_cast<T*>(allocRows(cells * _count));
  std::fill(last.begin(), last.end(), none);
  for (QrcInt t = _count; t-- > 0;) {
    const T* row = rows + t * _rowStride;
    for (QrcInt k = 0; k < _arity; ++k)
      last[static_cast<size_t>(k * _width + row[k])] = static_cast<T>(t);
    for (QrcInt cell = 0; cell < cells; ++cell)
      after[cell * _count + t] = last[static_cast<size_t>(cell)];
  }
  _after = after;
  buildJumpRows<T>();
}

template <typename T>
void QrcTupleSetI::buildJumpRows() {
  const T none = static_cast<T>(~T(0));
  QrcInt a = _arity, others = a - 1;
  QrcInt stride = rowStride(others * (1 + _width), sizeof(T));
  if (a * _count * stride * static_cast<QrcInt>(sizeof(T)) > AfterBytes) return;
  const T* rows = static_cast<const T*>(_rows);
  const T* after = static_cast<const T*>(_after);
  _jumpStride = stride;
  _jumpRows = allocArray<void*>(_manager, a);
  for (QrcInt k = 0; k < a; ++k) {
    T* jumps = static_cast<T*>(allocRows(_count * stride));
    for (QrcInt s = 0; s < _count; ++s) {
      QrcInt t = _columns[k].slotTuple[s];
      const T* row = rows + t * _rowStride;
      T* out = jumps + s * stride;
      std::fill(out, out + stride, none);
      // The list of (k, v): the oldest tuple holding v at k from a link on.
      const T* toList = after + (k * _width + row[k]) * _count;
      for (QrcInt c = 0, o = 0; c < a; ++c) {
        if (c == k) continue;
        out[o] = row[c];
        T* links = out + others + o * _width;
        for (QrcInt r = 0; r < _width; ++r) {
          T link = row[a + c * _width + r];
          T u = link == none ? none : toList[link];
          if (u != none) links[r] = static_cast<T>(_slots[u * a + k]);
        }
        ++o;
      }
    }
    _jumpRows[k] = jumps;
  }
}

template <typename T>
void QrcTupleSetI::buildRows2() {
  const T none = static_cast<T>(~T(0));
  QrcInt a = _arity;
  _rowStride = rowStride(4 * a, sizeof(T));
  T* rows = static_cast<T*>(allocRows(_count * _rowStride));
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    T* row = rows + t->number * _rowStride;
    std::fill(row, row + _rowStride, none);
    const QrcTupleMode2* e = t->mode2();
    for (QrcInt k = 0; k < a; ++k) {
      const QrcTupleColumn& c = _columns[k];
      row[k] = static_cast<T>(c.rank[getValueIndex(k, t->values[k])]);
      row[a + k] = static_cast<T>(c.rank[getValueIndex(k, e->probeValue[k])]);
      row[2 * a + k] = e->probeLink[k] ? static_cast<T>(e->probeLink[k]->number) : none;
      row[3 * a + k] = static_cast<T>(_slots[t->number * a + k]);
    }
  }
  _rows = rows;
  _slotRows = allocArray<void*>(_manager, a);
  for (QrcInt k = 0; k < a; ++k) {
    T* slots = static_cast<T*>(allocRows(_count * (a + 1)));
    for (QrcInt s = 0; s < _count; ++s) {
      QrcInt n = _columns[k].slotTuple[s];
      slots[s * (a + 1)] = static_cast<T>(n);
      std::copy(rows + n * _rowStride, rows + n * _rowStride + a, slots + s * (a + 1) + 1);
    }
    _slotRows[k] = slots;
  }
  // The ranks of a slot as one word: lanes of 8 to 64 bits, one per column.
  QrcInt lane = 3;
  while (lane < 6 && (QrcInt(1) << lane) < _width) ++lane;
  if (a == 0 || (a << lane) > 64) return;
  _hitLane = lane;
  _slotHits = allocArray<QrcUInt*>(_manager, a);
  for (QrcInt k = 0; k < a; ++k) {
    _slotHits[k] = allocArray<QrcUInt>(_manager, _count > 0 ? _count : 1, QrcUInt(0));
    const T* slots = static_cast<const T*>(_slotRows[k]);
    for (QrcInt s = 0; s < _count; ++s)
      for (QrcInt j = 0; j < a; ++j)
        _slotHits[k][s] |= QrcUInt(1) << ((j << lane) + slots[s * (a + 1) + 1 + j]);
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
