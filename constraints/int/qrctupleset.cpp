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
      _capacity(0),
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

template <typename T>
T* QrcTupleSetI::lastingArray(QrcInt n) const {
  return static_cast<T*>(
      _manager->getGlobalHeap()->alloc(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
}

void QrcTupleSetI::add(const QrcInt* values, QrcInt n) {
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (n != _arity) r->report(QrcBadArraySizeError, "QrcTupleSet::add", "bad array size");
  if (_closed)
    r->report(QrcTupleSetClosedError, "QrcTupleSet::add", "the tuple set is already closed");
  if (_count == _capacity) growValues();
  QrcInt* to = _values + _count * _arity;
  for (QrcInt k = 0; k < _arity; ++k) to[k] = values[k];
  ++_count;
}

void QrcTupleSetI::growValues() {
  // In place while the values end the heap, else moved to twice the room.
  const QrcInt step = 16;
  size_t row = static_cast<size_t>(_arity > 0 ? _arity : 1) * sizeof(QrcInt);
  size_t bytes = static_cast<size_t>(_capacity) * row;
  if (_values && _manager->getHeap()->extend(_values, bytes, bytes + step * row)) {
    _capacity += step;
    return;
  }
  QrcInt capacity = _capacity < step ? step : 2 * _capacity;
  QrcInt* values = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(capacity) * row));
  for (QrcInt i = 0; i < _count * _arity; ++i) values[i] = _values[i];
  _values = values;
  _capacity = capacity;
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
  buildRanks();
  // Row elements narrow enough for every number and none.
  _rowBytes = _count < 0xFF ? 1 : _count < 0xFFFF ? 2 : 4;
  if (_mode == 0) buildBits();
  if (_mode == 1) {
    if (_rowBytes == 1)
      buildRows1<uint8_t>();
    else if (_rowBytes == 2)
      buildRows1<uint16_t>();
    else
      buildRows1<uint32_t>();
  }
  if (_mode == 2) {
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
  QrcInt a = _arity;
  _columns = allocArray<QrcTupleColumn>(_manager, a);
  _width = 0;
  if (!_values) growValues();
  _slots = allocArray<int32_t>(_manager, _count * a);
  for (QrcInt k = 0; k < a; ++k) {
    QrcTupleColumn& c = _columns[k];
    // Value indexes in the order the values first occur from the newest
    // tuple on; _slots keeps each tuple's until its slot replaces it.
    buildIndex(k);
    c.values = QrcIntArray(QrcManager(_manager), c.size, QrcInt(0)).getImpl();
    c.heads = nullptr;
    c.slotStart = allocArray<QrcInt>(_manager, c.size + 1);
    for (QrcInt i = 0; i <= c.size; ++i) c.slotStart[i] = 0;
    for (QrcInt t = 0; t < _count; ++t) {
      QrcInt i = _slots[t * a + k];
      c.values[i] = _values[t * a + k];
      ++c.slotStart[i + 1];
    }
    for (QrcInt i = 0; i < c.size; ++i) c.slotStart[i + 1] += c.slotStart[i];
    // Oldest first into the slots of its value.
    c.slotTuple = allocArray<int32_t>(_manager, _count);
    QrcInt* next = _manager->lockArrayFromPool(c.size > 0 ? c.size : 1);
    for (QrcInt i = 0; i < c.size; ++i) next[i] = c.slotStart[i];
    for (QrcInt t = 0; t < _count; ++t) {
      QrcInt slot = next[_slots[t * a + k]]++;
      c.slotTuple[slot] = static_cast<int32_t>(t);
      _slots[t * a + k] = static_cast<int32_t>(slot);
    }
    _manager->unlockArrayFromPool(next);
    c.sortedValues = nullptr;
    c.rank = nullptr;
    c.first = 0;
    c.consecutive = false;
    c.bitStart = nullptr;
    c.bits = nullptr;
    if (c.size > _width) _width = c.size;
    // Short tuples are copied into the slots, so that a walk reads one block.
    c.slotValues = nullptr;
    if (a > SlotValuesArity || _mode != 0) continue;
    c.slotValues = allocArray<QrcInt>(_manager, _count * a);
    for (QrcInt slot = 0; slot < _count; ++slot) {
      const QrcInt* from = _values + c.slotTuple[slot] * a;
      QrcInt* to = c.slotValues + slot * a;
      for (QrcInt j = 0; j < a; ++j) to[j] = from[j];
    }
  }
}

void QrcTupleSetI::buildIndex(QrcInt k) {
  QrcTupleColumn& c = _columns[k];
  QrcInt a = _arity;
  c.size = 0;
  QrcInt lo = 0, hi = -1;
  for (QrcInt t = 0; t < _count; ++t) {
    QrcInt v = _values[t * a + k];
    if (t == 0 || v < lo) lo = v;
    if (t == 0 || v > hi) hi = v;
  }
  // Over a span of a few slots per tuple, by a table of the span; the map
  // turns dense when the span is at most 8 slots per value, as a hashed one
  // does when compacted.
  QrcUInt span = static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo);
  if (_count > 0 && span < static_cast<QrcUInt>(8 * _count)) {
    QrcInt n = static_cast<QrcInt>(span) + 1;
    QrcInt* table = _manager->lockArrayFromPool(n);
    for (QrcInt i = 0; i < n; ++i) table[i] = QrcIntMapAbsent;
    for (QrcInt t = _count; t-- > 0;) {
      QrcInt& i = table[_values[t * a + k] - lo];
      if (i == QrcIntMapAbsent) i = c.size++;
      _slots[t * a + k] = static_cast<int32_t>(i);
    }
    if (n <= 8 * c.size) {
      c.index = new (_manager) QrcIntMap(_manager, lo, hi, table, c.size);
      _manager->unlockArrayFromPool(table);
      return;
    }
    _manager->unlockArrayFromPool(table);
    c.size = 0;
  }
  c.index = new (_manager) QrcIntMap(_manager);
  for (QrcInt t = _count; t-- > 0;)
    if (c.index->add(_values[t * a + k], c.size)) ++c.size;
  c.index->compact(2);
  for (QrcInt t = 0; t < _count; ++t)
    _slots[t * a + k] = static_cast<int32_t>(c.index->get(_values[t * a + k]));
}

void QrcTupleSetI::buildNodes() const {
  if (_newest || !_closed || _count == 0) return;
  QrcInt a = _arity;
  QrcTupleNode* nodes = lastingArray<QrcTupleNode>(_count);
  QrcTupleNode** links = lastingArray<QrcTupleNode*>(_count * a);
  for (QrcInt t = 0; t < _count; ++t) {
    QrcTupleNode& node = nodes[t];
    node.values = _values + t * a;
    node.columnNext = links + t * a;
    node.hashNext = nullptr;
    node.listNext = t > 0 ? &nodes[t - 1] : nullptr;
    node.extra = nullptr;
    node.number = t;
  }
  // Newest first, each pushed on the head: every list runs from the oldest tuple.
  for (QrcInt k = 0; k < a; ++k) {
    QrcTupleColumn& c = _columns[k];
    c.heads = lastingArray<QrcTupleNode*>(c.size);
    for (QrcInt i = 0; i < c.size; ++i) c.heads[i] = nullptr;
    for (QrcInt t = _count; t-- > 0;) {
      QrcInt i = getValueIndex(k, _values[t * a + k]);
      nodes[t].columnNext[k] = c.heads[i];
      c.heads[i] = &nodes[t];
    }
  }
  _newest = &nodes[_count - 1];
}

void QrcTupleSetI::buildHash() const {
  buildNodes();
  QrcInt size = 1;
  while (size < _count) size <<= 1;
  _hashMask = size - 1;
  _buckets = lastingArray<QrcTupleNode*>(size);
  for (QrcInt b = 0; b < size; ++b) _buckets[b] = nullptr;
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcInt b = hashOf(t->values, _arity) & _hashMask;
    t->hashNext = _buckets[b];
    _buckets[b] = t;
  }
}

void QrcTupleSetI::buildMode1() const {
  QrcInt cells = _arity * _width;
  std::vector<QrcTupleNode*> last(static_cast<size_t>(cells), nullptr);
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcTupleMode1* e = lastingArray<QrcTupleMode1>(1);
    e->values = t->values;
    e->width = _width;
    e->arity = _arity;
    e->number = t->number;
    e->next = lastingArray<QrcTupleNode*>(cells);
    std::copy(last.begin(), last.end(), e->next);
    t->extra = e;
    for (QrcInt k = 0; k < _arity; ++k)
      last[static_cast<size_t>(k * _width + getValueIndex(k, t->values[k]))] = t;
  }
}

void QrcTupleSetI::buildRanks() {
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcTupleColumn& c = _columns[k];
    // The values are distinct: sorted, each gives its index its rank.
    c.sortedValues = allocArray<QrcInt>(_manager, c.size);
    c.rank = allocArray<QrcInt>(_manager, c.size);
    for (QrcInt i = 0; i < c.size; ++i) c.sortedValues[i] = c.values[i];
    std::sort(c.sortedValues, c.sortedValues + c.size);
    for (QrcInt r = 0; r < c.size; ++r) c.rank[c.index->get(c.sortedValues[r])] = r;
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
  QrcInt* ranksOf = _manager->lockArrayFromPool(_count * _arity > 0 ? _count * _arity : 1);
  for (QrcInt j = 0; j < _arity; ++j) {
    const QrcTupleColumn& c = _columns[j];
    for (QrcInt i = 0; i < c.size; ++i)
      for (QrcInt s = c.slotStart[i]; s < c.slotStart[i + 1]; ++s)
        ranksOf[c.slotTuple[s] * _arity + j] = c.rank[i];
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
          QrcInt r = _rankStart[j] + ranksOf[t * _arity + j];
          c.bits[c.bitStart[i] + r * words + (at >> 6)] |= QrcUInt(1) << (at & 63);
        }
      }
    }
  }
  _manager->unlockArrayFromPool(ranksOf);
}

void QrcTupleSetI::buildMode2() const {
  QrcTupleMode2* newer = nullptr;
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcTupleMode2* e = lastingArray<QrcTupleMode2>(1);
    e->number = t->number;
    e->newer = newer;
    e->node = t;
    e->probeValue = lastingArray<QrcInt>(_arity);
    e->probeLink = lastingArray<QrcTupleMode2*>(_arity);
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
  // Newest first: each row takes the links the newer rows left.
  QrcInt* last = _manager->lockArrayFromPool(cells > 0 ? cells : 1);
  for (QrcInt cell = 0; cell < cells; ++cell) last[cell] = none;
  for (QrcInt t = _count; t-- > 0;) {
    T* row = rows + t * _rowStride;
    for (QrcInt e = _arity + cells; e < _rowStride; ++e) row[e] = none;
    for (QrcInt cell = 0; cell < cells; ++cell) row[_arity + cell] = static_cast<T>(last[cell]);
    for (QrcInt k = 0; k < _arity; ++k) {
      const QrcTupleColumn& c = _columns[k];
      row[k] = static_cast<T>(c.rank[getValueIndex(k, _values[t * _arity + k])]);
      last[k * _width + row[k]] = t;
    }
  }
  _rows = rows;
  // The links by tuple, for columns of at most 64 values and within a bound
  // of memory. Newest first: each tuple is the oldest not older than itself
  // for its own ranks.
  if (_width > 64 || cells * _count * static_cast<QrcInt>(sizeof(T)) > AfterBytes) {
    _manager->unlockArrayFromPool(last);
    return;
  }
  T* after = static_cast<T*>(allocRows(cells * _count));
  for (QrcInt cell = 0; cell < cells; ++cell) last[cell] = none;
  for (QrcInt t = _count; t-- > 0;) {
    const T* row = rows + t * _rowStride;
    for (QrcInt k = 0; k < _arity; ++k) last[k * _width + row[k]] = t;
    for (QrcInt cell = 0; cell < cells; ++cell)
      after[cell * _count + t] = static_cast<T>(last[cell]);
  }
  _manager->unlockArrayFromPool(last);
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
  for (QrcInt t = 0; t < _count; ++t) {
    T* row = rows + t * _rowStride;
    for (QrcInt e = 4 * a; e < _rowStride; ++e) row[e] = none;
    for (QrcInt k = 0; k < a; ++k) {
      row[k] = static_cast<T>(_columns[k].rank[getValueIndex(k, _values[t * a + k])]);
      row[3 * a + k] = static_cast<T>(_slots[t * a + k]);
    }
  }
  // Per column, the probe ranks cycle down through the ranks from the newest
  // tuple on; a probe link is the nearest newer tuple holding the probe rank.
  QrcInt* latest = _manager->lockArrayFromPool(_width > 0 ? _width : 1);
  for (QrcInt k = 0; k < a; ++k) {
    QrcInt size = _columns[k].size;
    for (QrcInt r = 0; r < size; ++r) latest[r] = none;
    for (QrcInt t = _count, r = size - 1; t-- > 0; r = r == 0 ? size - 1 : r - 1) {
      T* row = rows + t * _rowStride;
      row[a + k] = static_cast<T>(r);
      row[2 * a + k] = static_cast<T>(latest[r]);
      latest[row[k]] = t;
    }
  }
  _manager->unlockArrayFromPool(latest);
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

QrcTupleNode* QrcTupleSetI::getNewest() const {
  buildNodes();
  return _newest;
}

QrcTupleNode* QrcTupleSetI::getFirst(QrcInt column, QrcInt value) const {
  buildNodes();
  QrcInt i = getValueIndex(column, value);
  return i < 0 ? nullptr : _columns[column].heads[i];
}

QrcTupleNode* QrcTupleSetI::getTuple(QrcInt number) const {
  buildNodes();
  if (_closed && _newest && !_newest->extra) {
    if (_mode == 1) buildMode1();
    if (_mode == 2) buildMode2();
  }
  for (QrcTupleNode* t = _newest; t; t = t->listNext)
    if (t->number == number) return t;
  return nullptr;
}

QrcTupleSetI* QrcTupleSetI::copyForManager(QrcManagerI* target) const {
  QrcTupleSetI* copy = new (target) QrcTupleSetI(target, _arity);
  // Oldest first, so that the copy numbers its tuples alike.
  for (QrcInt t = 0; t < _count; ++t) copy->add(_values + t * _arity, _arity);
  copy->setStorageMode(_mode);
  if (_closed) copy->close();
  return copy;
}

QrcBool QrcTupleSetI::isIn(const QrcInt* values, QrcInt n) const {
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (n != _arity) r->report(QrcBadArraySizeError, "QrcTupleSet::isIn", "bad array size");
  if (!_closed)
    r->report(QrcTupleSetNotClosedError, "QrcTupleSet::isIn", "the tuple set is not closed");
  if (!_buckets) buildHash();
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
