// Building a tuple set: the tuples' values as they are added, and at close
// the indexes the table constraints search, in the set's storage mode. Every
// mode has the columns: per column the distinct values, their ranks in
// increasing order and the (column, value) lists of tuple numbers as slots,
// oldest first. Mode 0 adds the lists' bits (one row of words per column and
// rank); mode 1 the rows of ranks and links to the nearest newer tuple per
// column and rank, the links by tuple and the jump rows by slot; mode 2 the
// rows of ranks, probe ranks and probe links, the slot rows and their lane
// words. The nodes, the hash and the records of modes 1 and 2 are made on
// first use. What an add or a close makes inside a search (or a push state)
// lives on the heap there, its fields saved on the trail: a backtrack past it
// takes the tuple back, or opens the set again. Nothing here narrows a
// domain: the searches keep the tables generalised arc consistent over these
// indexes.
#include "qrctupleset.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "qrcheaparray.h"
#include "qrcmanager.h"
#include "qrctablearity.h"

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
      _lasting(0),
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

bool QrcTupleSetI::isLasting() const {
  return _lasting || !_manager->isBacktrackable();
}

template <typename T>
T* QrcTupleSetI::indexArray(QrcInt n) const {
  size_t bytes = static_cast<size_t>(n > 0 ? n : 1) * sizeof(T);
  return static_cast<T*>(isLasting() ? _manager->getGlobalHeap()->alloc(bytes)
                                     : _manager->allocate(bytes));
}

void QrcTupleSetI::keepIndex(void* field) const {
  if (!isLasting()) _manager->saveValue(field);
}

void QrcTupleSetI::add(const QrcInt* values, QrcInt n) {
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (n != _arity) r->report(QrcBadArraySizeError, "QrcTupleSet::add", "bad array size");
  if (_closed)
    r->report(QrcTupleSetClosedError, "QrcTupleSet::add", "the tuple set is already closed");
  _manager->saveValue(&_count);
  if (_count == _capacity) growValues();
  const QrcInt a = _arity;
  QrcInt* to = _values + _count++ * a;
  for (QrcInt k = 0; k < a; ++k) to[k] = values[k];
}

void QrcTupleSetI::growValues() {
  // In place while the values end the heap, else moved to twice the room.
  const QrcInt step = 16;
  size_t row = static_cast<size_t>(_arity > 0 ? _arity : 1) * sizeof(QrcInt);
  size_t bytes = static_cast<size_t>(_capacity) * row;
  _manager->saveValues({&_capacity, &_values});
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
  _manager->saveValues({&_closed, &_lasting, &_mode, &_columns, &_width, &_slots, &_rowBytes,
                        &_rowStride, &_rows, &_slotRows, &_after, &_jumpRows, &_jumpStride,
                        &_slotHits, &_hitLane, &_rankStart});
  // Closed where no backtrack reaches, the indexes made on first use last too.
  _lasting = !_manager->isBacktrackable();
  _mode = chooseMode();
  buildColumns();
  buildRanks();
  // Row elements narrow enough for every number and none.
  _rowBytes = _count < 0xFF ? 1 : _count < 0xFFFF ? 2 : 4;
  if (_mode == 0) buildBits();
  if (_mode == 1) qrcByRowBytes(_rowBytes, [&](auto e) { buildRows1<decltype(e)>(); });
  if (_mode == 2) qrcByRowBytes(_rowBytes, [&](auto e) { buildRows2<decltype(e)>(); });
  _closed = 1;
}

void QrcTupleSetI::buildColumns() {
  const QrcInt a = _arity, n = _count;
  _columns = allocArray<QrcTupleColumn>(_manager, a);
  _width = 0;
  if (!_values) growValues();
  const QrcInt* values = _values;
  int32_t* slots = allocArray<int32_t>(_manager, n * a);
  _slots = slots;
  for (QrcInt k = 0; k < a; ++k) {
    QrcTupleColumn& c = _columns[k];
    // Value indexes in the order the values first occur from the newest
    // tuple on; the slots keep each tuple's until its slot replaces it.
    QrcInt size = c.size = buildIndex(k);
    QrcInt* columnValues = QrcIntArray(QrcManager(_manager), size, QrcInt(0)).getImpl();
    QrcInt* slotStart = allocArray<QrcInt>(_manager, size + 1);
    for (QrcInt i = 0; i <= size; ++i) slotStart[i] = 0;
    for (QrcInt t = 0; t < n; ++t) {
      QrcInt i = slots[t * a + k];
      columnValues[i] = values[t * a + k];
      ++slotStart[i + 1];
    }
    for (QrcInt i = 0; i < size; ++i) slotStart[i + 1] += slotStart[i];
    // Oldest first into the slots of its value.
    int32_t* slotTuple = allocArray<int32_t>(_manager, n);
    QrcInt* next = _manager->lockArrayFromPool(size > 0 ? size : 1);
    for (QrcInt i = 0; i < size; ++i) next[i] = slotStart[i];
    for (QrcInt t = 0; t < n; ++t) {
      QrcInt slot = next[slots[t * a + k]]++;
      slotTuple[slot] = static_cast<int32_t>(t);
      slots[t * a + k] = static_cast<int32_t>(slot);
    }
    _manager->unlockArrayFromPool(next);
    c.values = columnValues;
    c.heads = nullptr;
    c.slotStart = slotStart;
    c.slotTuple = slotTuple;
    c.sortedValues = nullptr;
    c.rank = nullptr;
    c.first = 0;
    c.consecutive = false;
    c.bitStart = nullptr;
    c.bits = nullptr;
    if (size > _width) _width = size;
    // Short tuples are copied into the slots, so that a walk reads one block.
    c.slotValues = nullptr;
    if (a > SlotValuesArity || _mode != 0) continue;
    QrcInt* slotValues = allocArray<QrcInt>(_manager, n * a);
    qrcByArity(a, [&](auto r) {
      const QrcInt w = decltype(r)::value ? decltype(r)::value : a;
      for (QrcInt slot = 0; slot < n; ++slot) {
        const QrcInt* from = values + slotTuple[slot] * w;
        QrcInt* to = slotValues + slot * w;
        for (QrcInt j = 0; j < w; ++j) to[j] = from[j];
      }
    });
    c.slotValues = slotValues;
  }
}

QrcInt QrcTupleSetI::buildIndex(QrcInt k) {
  const QrcInt a = _arity, n = _count;
  const QrcInt* values = _values + k;
  int32_t* indexes = _slots + k;
  QrcTupleColumn& c = _columns[k];
  QrcInt size = 0;
  QrcInt lo = n > 0 ? values[0] : 0, hi = lo;
  for (QrcInt t = 1; t < n; ++t) {
    QrcInt v = values[t * a];
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  // Over a span of a few slots per tuple, by a table of the span; the map
  // turns dense when the span is at most 8 slots per value, as a hashed one
  // does when compacted.
  QrcUInt span = static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo);
  if (n > 0 && span < static_cast<QrcUInt>(8 * n)) {
    QrcInt width = static_cast<QrcInt>(span) + 1;
    QrcInt* table = _manager->lockArrayFromPool(width);
    for (QrcInt i = 0; i < width; ++i) table[i] = QrcIntMapAbsent;
    for (QrcInt t = n; t-- > 0;) {
      QrcInt& i = table[values[t * a] - lo];
      if (i == QrcIntMapAbsent) i = size++;
      indexes[t * a] = static_cast<int32_t>(i);
    }
    if (width <= 8 * size) c.index = new (_manager) QrcIntMap(_manager, lo, hi, table, size);
    _manager->unlockArrayFromPool(table);
    if (width <= 8 * size) return size;
    size = 0;
  }
  QrcIntMap* index = c.index = new (_manager) QrcIntMap(_manager);
  for (QrcInt t = n; t-- > 0;)
    if (index->add(values[t * a], size)) ++size;
  index->compact(2);
  for (QrcInt t = 0; t < n; ++t) indexes[t * a] = static_cast<int32_t>(index->get(values[t * a]));
  return size;
}

void QrcTupleSetI::buildNodes() const {
  if (_newest || !_closed || _count == 0) return;
  QrcInt a = _arity;
  QrcTupleNode* nodes = indexArray<QrcTupleNode>(_count);
  QrcTupleNode** links = indexArray<QrcTupleNode*>(_count * a);
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
    keepIndex(&c.heads);
    c.heads = indexArray<QrcTupleNode*>(c.size);
    for (QrcInt i = 0; i < c.size; ++i) c.heads[i] = nullptr;
    for (QrcInt t = _count; t-- > 0;) {
      QrcInt i = getValueIndex(k, _values[t * a + k]);
      nodes[t].columnNext[k] = c.heads[i];
      c.heads[i] = &nodes[t];
    }
  }
  keepIndex(&_newest);
  _newest = &nodes[_count - 1];
}

void QrcTupleSetI::buildHash() const {
  buildNodes();
  QrcInt size = 1;
  while (size < _count) size <<= 1;
  keepIndex(&_hashMask);
  keepIndex(&_buckets);
  _hashMask = size - 1;
  _buckets = indexArray<QrcTupleNode*>(size);
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
    QrcTupleMode1* e = indexArray<QrcTupleMode1>(1);
    e->values = t->values;
    e->width = _width;
    e->arity = _arity;
    e->number = t->number;
    e->next = indexArray<QrcTupleNode*>(cells);
    std::copy(last.begin(), last.end(), e->next);
    keepIndex(&t->extra);
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
  qrcByArity(_arity, [&](auto r) { buildBitsOf<decltype(r)::value>(); });
}

// R: the arity as a constant (0: read), so that the loops over the columns unroll.
template <int R>
void QrcTupleSetI::buildBitsOf() {
  const QrcInt a = R ? R : _arity, n = _count;
  // Words per list and the whole size, within a bound of the set's own size.
  QrcInt ranks = 0, longest = 0;
  for (QrcInt j = 0; j < a; ++j) {
    const QrcTupleColumn& c = _columns[j];
    if (c.size > 64) return;
    ranks += c.size;
    for (QrcInt i = 0; i < c.size; ++i)
      longest = std::max(longest, c.slotStart[i + 1] - c.slotStart[i]);
  }
  if (a == 2 && longest <= ShortPairList) return;
  QrcInt total = 0;
  for (QrcInt k = 0; k < a; ++k) {
    const QrcTupleColumn& c = _columns[k];
    for (QrcInt i = 0; i < c.size; ++i)
      total += ((c.slotStart[i + 1] - c.slotStart[i] + 63) >> 6) * ranks;
  }
  if (total > 8 * n * a + 65536) return;
  QrcInt* rankStart = allocArray<QrcInt>(_manager, a + 1);
  rankStart[0] = 0;
  for (QrcInt j = 0; j < a; ++j) rankStart[j + 1] = rankStart[j] + _columns[j].size;
  _rankStart = rankStart;
  // Each tuple's rank in each column; rank r at j is the bits' row rankStart[j] + r.
  QrcInt* ranksOf = _manager->lockArrayFromPool(n * a > 0 ? n * a : 1);
  tupleRanks(ranksOf);
  for (QrcInt k = 0; k < a; ++k) {
    QrcTupleColumn& c = _columns[k];
    const QrcInt size = c.size;
    const QrcInt* slotStart = c.slotStart;
    const int32_t* slotTuple = c.slotTuple;
    QrcInt* bitStart = allocArray<QrcInt>(_manager, size + 1);
    bitStart[0] = 0;
    for (QrcInt i = 0; i < size; ++i)
      bitStart[i + 1] = bitStart[i] + ((slotStart[i + 1] - slotStart[i] + 63) >> 6) * ranks;
    QrcUInt* bits = allocArray<QrcUInt>(_manager, bitStart[size]);
    for (QrcInt w = 0; w < bitStart[size]; ++w) bits[w] = 0;
    for (QrcInt i = 0; i < size; ++i) {
      QrcInt words = (slotStart[i + 1] - slotStart[i] + 63) >> 6;
      QrcUInt* list = bits + bitStart[i];
      for (QrcInt s = slotStart[i], at = 0; s < slotStart[i + 1]; ++s, ++at) {
        const QrcInt* rankOf = ranksOf + slotTuple[s] * a;
        QrcUInt bit = QrcUInt(1) << (at & 63);
        QrcUInt* word = list + (at >> 6);
        for (QrcInt j = 0; j < a; ++j) word[(rankStart[j] + rankOf[j]) * words] |= bit;
      }
    }
    c.bitStart = bitStart;
    c.bits = bits;
  }
  _manager->unlockArrayFromPool(ranksOf);
}

void QrcTupleSetI::buildMode2() const {
  QrcTupleMode2* newer = nullptr;
  for (QrcTupleNode* t = _newest; t; t = t->listNext) {
    QrcTupleMode2* e = indexArray<QrcTupleMode2>(1);
    e->number = t->number;
    e->newer = newer;
    e->node = t;
    e->probeValue = indexArray<QrcInt>(_arity);
    e->probeLink = indexArray<QrcTupleMode2*>(_arity);
    keepIndex(&t->extra);
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

void QrcTupleSetI::tupleRanks(QrcInt* ranks) const {
  const QrcInt a = _arity;
  for (QrcInt k = 0; k < a; ++k) {
    const QrcTupleColumn& c = _columns[k];
    const int32_t* slotTuple = c.slotTuple;
    for (QrcInt i = 0, s = 0, size = c.size; i < size; ++i)
      for (QrcInt end = c.slotStart[i + 1], r = c.rank[i]; s < end; ++s)
        ranks[slotTuple[s] * a + k] = r;
  }
}

// The row builders keep what they read in locals: their stores of narrow
// elements could otherwise change any member.

template <typename T>
void QrcTupleSetI::buildRows1() {
  qrcByArity(_arity, [&](auto r) { buildRows1Of<T, decltype(r)::value>(); });
}

template <typename T, int R>
void QrcTupleSetI::buildRows1Of() {
  const T none = static_cast<T>(~T(0));
  const QrcInt a = R ? R : _arity, n = _count, width = _width, cells = a * width;
  const QrcInt stride = _rowStride = rowStride(a + cells, sizeof(T));
  T* rows = static_cast<T*>(allocRows(n * stride));
  QrcInt* ranks = _manager->lockArrayFromPool(n * a + cells + 1);
  tupleRanks(ranks);
  // Newest first: each row takes the links the newer rows left.
  QrcInt* last = ranks + n * a;
  for (QrcInt cell = 0; cell < cells; ++cell) last[cell] = none;
  for (QrcInt t = n; t-- > 0;) {
    T* row = rows + t * stride;
    const QrcInt* rank = ranks + t * a;
    for (QrcInt e = a + cells; e < stride; ++e) row[e] = none;
    for (QrcInt cell = 0; cell < cells; ++cell) row[a + cell] = static_cast<T>(last[cell]);
    for (QrcInt k = 0; k < a; ++k) {
      row[k] = static_cast<T>(rank[k]);
      last[k * width + rank[k]] = t;
    }
  }
  _rows = rows;
  // The links by tuple, for columns of at most 64 values and within a bound
  // of memory. Newest first: each tuple is the oldest not older than itself
  // for its own ranks.
  if (width > 64 || cells * n * static_cast<QrcInt>(sizeof(T)) > AfterBytes) {
    _manager->unlockArrayFromPool(ranks);
    return;
  }
  // By the (column, value) lists, oldest first: up to each listed tuple, the
  // tuples take it; after the last, none.
  T* after = static_cast<T*>(allocRows(cells * n));
  std::fill(after, after + cells * n, none);
  for (QrcInt k = 0; k < a; ++k) {
    const QrcTupleColumn& c = _columns[k];
    const int32_t* slotTuple = c.slotTuple;
    for (QrcInt i = 0, size = c.size; i < size; ++i) {
      T* out = after + (k * width + c.rank[i]) * n;
      for (QrcInt s = c.slotStart[i], end = c.slotStart[i + 1], from = 0; s < end; ++s) {
        QrcInt t = slotTuple[s];
        std::fill(out + from, out + t + 1, static_cast<T>(t));
        from = t + 1;
      }
    }
  }
  _manager->unlockArrayFromPool(ranks);
  _after = after;
  buildJumpRows<T, R>();
}

template <typename T, int R>
void QrcTupleSetI::buildJumpRows() {
  const T none = static_cast<T>(~T(0));
  const QrcInt a = R ? R : _arity, n = _count, width = _width, others = a - 1, rowStep = _rowStride;
  const QrcInt stride = rowStride(others * (1 + width), sizeof(T));
  if (a * n * stride * static_cast<QrcInt>(sizeof(T)) > AfterBytes) return;
  const T* rows = static_cast<const T*>(_rows);
  const T* after = static_cast<const T*>(_after);
  const int32_t* slots = _slots;
  void** jumpRows = allocArray<void*>(_manager, a);
  for (QrcInt k = 0; k < a; ++k) {
    const int32_t* slotTuple = _columns[k].slotTuple;
    T* jumps = static_cast<T*>(allocRows(n * stride));
    for (QrcInt s = 0; s < n; ++s) {
      const T* row = rows + slotTuple[s] * rowStep;
      T* out = jumps + s * stride;
      for (QrcInt e = 0; e < stride; ++e) out[e] = none;
      // The list of (k, v): the oldest tuple holding v at k from a link on.
      const T* toList = after + (k * width + row[k]) * n;
      for (QrcInt c = 0, o = 0; c < a; ++c) {
        if (c == k) continue;
        out[o] = row[c];
        T* links = out + others + o * width;
        const T* linkRow = row + a + c * width;
        for (QrcInt r = 0; r < width; ++r) {
          T link = linkRow[r];
          T u = link == none ? none : toList[link];
          if (u != none) links[r] = static_cast<T>(slots[u * a + k]);
        }
        ++o;
      }
    }
    jumpRows[k] = jumps;
  }
  _jumpStride = stride;
  _jumpRows = jumpRows;
}

template <typename T>
void QrcTupleSetI::buildRows2() {
  qrcByArity(_arity, [&](auto r) { buildRows2Of<T, decltype(r)::value>(); });
}

template <typename T, int R>
void QrcTupleSetI::buildRows2Of() {
  const QrcInt a = R ? R : _arity, n = _count;
  const QrcInt stride = _rowStride = rowStride(4 * a, sizeof(T));
  T* rows = static_cast<T*>(allocRows(n * stride));
  QrcInt* ranks = _manager->lockArrayFromPool(n * a + _width + 1);
  tupleRanks(ranks);
  fillRows2<T, R>(rows, ranks);
  _manager->unlockArrayFromPool(ranks);
  _rows = rows;
  buildSlotRows<T, R>();
  buildSlotHits<T, R>();
}

template <typename T, int R>
void QrcTupleSetI::fillRows2(T* rows, QrcInt* ranks) {
  const T none = static_cast<T>(~T(0));
  const QrcInt a = R ? R : _arity, n = _count, stride = _rowStride;
  const int32_t* slots = _slots;
  for (QrcInt t = 0; t < n; ++t) {
    T* row = rows + t * stride;
    for (QrcInt e = 4 * a; e < stride; ++e) row[e] = none;
    for (QrcInt k = 0; k < a; ++k) {
      row[k] = static_cast<T>(ranks[t * a + k]);
      row[3 * a + k] = static_cast<T>(slots[t * a + k]);
    }
  }
  // Per column, the probe ranks cycle down through the ranks from the newest
  // tuple on; a probe link is the nearest newer tuple holding the probe rank.
  QrcInt* latest = ranks + n * a;
  for (QrcInt k = 0; k < a; ++k) {
    const QrcInt size = _columns[k].size;
    for (QrcInt r = 0; r < size; ++r) latest[r] = none;
    for (QrcInt t = n, r = size - 1; t-- > 0; r = r == 0 ? size - 1 : r - 1) {
      T* row = rows + t * stride;
      row[a + k] = static_cast<T>(r);
      row[2 * a + k] = static_cast<T>(latest[r]);
      latest[ranks[t * a + k]] = t;
    }
  }
}

template <typename T, int R>
void QrcTupleSetI::buildSlotRows() {
  const QrcInt a = R ? R : _arity, n = _count, stride = _rowStride;
  const T* rows = static_cast<const T*>(_rows);
  void** slotRows = allocArray<void*>(_manager, a);
  for (QrcInt k = 0; k < a; ++k) {
    const int32_t* slotTuple = _columns[k].slotTuple;
    T* out = static_cast<T*>(allocRows(n * (a + 1)));
    for (QrcInt s = 0; s < n; ++s) {
      const QrcInt t = slotTuple[s];
      const T* row = rows + t * stride;
      T* slot = out + s * (a + 1);
      slot[0] = static_cast<T>(t);
      for (QrcInt j = 0; j < a; ++j) slot[1 + j] = row[j];
    }
    slotRows[k] = out;
  }
  _slotRows = slotRows;
}

template <typename T, int R>
void QrcTupleSetI::buildSlotHits() {
  const QrcInt a = R ? R : _arity, n = _count;
  // The ranks of a slot as one word: lanes of 8 to 64 bits, one per column.
  QrcInt lane = 3;
  while (lane < 6 && (QrcInt(1) << lane) < _width) ++lane;
  if (a == 0 || (a << lane) > 64) return;
  _hitLane = lane;
  QrcUInt** slotHits = allocArray<QrcUInt*>(_manager, a);
  for (QrcInt k = 0; k < a; ++k) {
    QrcUInt* hits = allocArray<QrcUInt>(_manager, n);
    const T* slotRow = static_cast<const T*>(_slotRows[k]) + 1;
    for (QrcInt s = 0; s < n; ++s, slotRow += a + 1) {
      QrcUInt hit = 0;
      for (QrcInt j = 0; j < a; ++j) hit |= QrcUInt(1) << ((j << lane) + slotRow[j]);
      hits[s] = hit;
    }
    slotHits[k] = hits;
  }
  _slotHits = slotHits;
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
