#include "qrcsizealloc.h"

#include <new>

#include "qrcerror.h"
#include "qrcmemory.h"
#include "qroexception.h"

// ---------------------------------------------------------------- fixed pools

void QrcFixedSizeAllocator::refill() {
  ++_chunks;
  if (_blockSize > ChunkBytes) {
    void* block = _heap->alloc(static_cast<size_t>(_blockSize));
    *static_cast<void**>(block) = nullptr;
    _free = block;
    return;
  }
  char* chunk = static_cast<char*>(_heap->alloc(ChunkBytes));
  QrcInt count = ChunkBytes / _blockSize;
  for (QrcInt i = 0; i < count; ++i) {
    char* block = chunk + i * _blockSize;
    *reinterpret_cast<void**>(block) = i + 1 < count ? block + _blockSize : nullptr;
  }
  _free = chunk;
}

void* QrcFixedSizeAllocator::alloc() {
  if (!_pooling) {
    char* p = new (std::nothrow) char[sizeof(LiveLink) + static_cast<size_t>(_blockSize)];
    if (!p) throw QroMemoryException();
    LiveLink* link = reinterpret_cast<LiveLink*>(p);
    link->prev = nullptr;
    link->next = _live;
    if (_live) _live->prev = link;
    _live = link;
    return p + sizeof(LiveLink);
  }
  if (!_free) refill();
  void* block = _free;
  _free = *static_cast<void**>(block);
  return block;
}

void QrcFixedSizeAllocator::free(void* block) {
  if (!block) return;
  if (!_pooling) {
    char* p = static_cast<char*>(block) - sizeof(LiveLink);
    LiveLink* link = reinterpret_cast<LiveLink*>(p);
    (link->prev ? link->prev->next : _live) = link->next;
    if (link->next) link->next->prev = link->prev;
    delete[] p;
    return;
  }
  *static_cast<void**>(block) = _free;
  _free = block;
}

void QrcFixedSizeAllocator::releaseLive() {
  while (LiveLink* link = _live) {
    _live = link->next;
    delete[] reinterpret_cast<char*>(link);
  }
}

QrcInt QrcFixedSizeAllocator::countFree() const {
  QrcInt n = 0;
  for (void* b = _free; b; b = *static_cast<void**>(b)) ++n;
  return n;
}

// ---------------------------------------------------------------- size allocator

QrcSizeAllocatorI::QrcSizeAllocatorI(QrcManagerI* manager, QrcMemoryStack* heap)
    : _manager(manager), _bytesInUse(0), _peakBytes(0) {
  for (int c = 0; c < ClassCount; ++c) {
    QrcInt size = c < 8 ? 8 * (c + 1) : QrcInt(1) << (c - 1);
    _pools[c].init(heap, size);
  }
}

int QrcSizeAllocatorI::getSizeClass(QrcInt n) const {
  int c = classOf(n);
  if (c >= ClassCount) {
    QrcGetErrorReporter(_manager)->report(QrcAllocatorSizeError, "",
                                          "size not supported by fixed size allocator", n);
  }
  return c;
}

void QrcSizeAllocatorI::setPooling(int flag) {
  for (int c = 0; c < ClassCount; ++c) _pools[c].setPooling(flag);
}

void QrcSizeAllocatorI::releaseLive() {
  for (int c = 0; c < ClassCount; ++c) _pools[c].releaseLive();
}

void* QrcSizeAllocatorI::allocateSizedSlow(QrcInt n) {
  int c = getSizeClass(n < 1 ? 1 : n);
  void* p = _pools[c].alloc();
  _bytesInUse += n;
  if (_bytesInUse > _peakBytes) _peakBytes = _bytesInUse;
  return p;
}

void QrcSizeAllocatorI::freeSizedSlow(void* block, QrcInt n) {
  if (!block) return;
  _pools[getSizeClass(n < 1 ? 1 : n)].free(block);
  _bytesInUse -= n;
}

// ---------------------------------------------------------------- hash map

QrcIntHashMap::QrcIntHashMap(QrcManagerI* manager)
    : _manager(manager), _buckets(nullptr), _mask(7) {
  _sentinel = new (manager) Node{0, QrcIntMapAbsent, nullptr};
  _buckets = static_cast<Node**>(QrcAllocate(8 * sizeof(Node*), manager));
  for (int i = 0; i < 8; ++i) _buckets[i] = _sentinel;
}

QrcInt QrcIntHashMap::get(QrcInt key) {
  _sentinel->key = key;
  Node* n = _buckets[key & _mask];
  while (n->key != key) n = n->next;
  return n->value;
}

QrcInt QrcIntHashMap::getExisting(QrcInt key) const {
  Node* n = _buckets[key & _mask];
  while (n != _sentinel && n->key != key) n = n->next;
  return n->value;
}

bool QrcIntHashMap::contains(QrcInt key) const {
  for (Node* n = _buckets[key & _mask]; n != _sentinel; n = n->next)
    if (n->key == key) return true;
  return false;
}

void QrcIntHashMap::insert(QrcInt key, QrcInt value) {
  Node*& head = _buckets[key & _mask];
  head = new (_manager) Node{key, value, head};
}

void QrcIntHashMap::grow(QrcInt n) {
  if (n <= _mask) return;
  QrcInt newMask = 2 * _mask + 1;
  Node** buckets =
      static_cast<Node**>(QrcAllocate(static_cast<size_t>(newMask + 1) * sizeof(Node*), _manager));
  for (QrcInt i = 0; i <= newMask; ++i) buckets[i] = _sentinel;
  for (QrcInt b = 0; b <= _mask; ++b) {
    Node* node = _buckets[b];
    while (node != _sentinel) {
      Node* next = node->next;
      Node*& head = buckets[node->key & newMask];
      node->next = head;
      head = node;
      node = next;
    }
  }
  _buckets = buckets;
  _mask = newMask;
}

QrcInt QrcIntHashMap::getValues(QrcInt* out) const {
  QrcInt k = 0;
  forEach([&](QrcInt, QrcInt value) { out[k++] = value; });
  return k;
}

// ---------------------------------------------------------------- int map

QrcIntMap::QrcIntMap(QrcManagerI* manager)
    : _manager(manager),
      _dense(nullptr),
      _count(0),
      _smallest(INT64_MAX),
      _largest(-INT64_MAX),
      _hash(nullptr) {
  _hash = new (manager) QrcIntHashMap(manager);
}

QrcIntMap::QrcIntMap(QrcManagerI* manager, QrcInt smallest, QrcInt largest, const QrcInt* values,
                     QrcInt count)
    : _manager(manager),
      _dense(nullptr),
      _count(count),
      _smallest(smallest),
      _largest(largest),
      _hash(nullptr) {
  QrcInt r = largest - smallest + 1;
  _dense = static_cast<QrcInt*>(QrcAllocate(static_cast<size_t>(r) * sizeof(QrcInt), manager));
  for (QrcInt i = 0; i < r; ++i) _dense[i] = values[i];
}

bool QrcIntMap::contains(QrcInt key) const {
  if (_dense)
    return key >= _smallest && key <= _largest && _dense[key - _smallest] != QrcIntMapAbsent;
  return _hash->contains(key);
}

QrcInt QrcIntMap::get(QrcInt key) const {
  if (_dense) {
    if (key < _smallest || key > _largest) return QrcIntMapAbsent;
    return _dense[key - _smallest];
  }
  return _hash->contains(key) ? _hash->getExisting(key) : QrcIntMapAbsent;
}

namespace {

// Span largest - smallest + 1, or -1 when it does not fit in 63 bits.
QrcInt spanOf(QrcInt smallest, QrcInt largest) {
  if (largest < smallest) return -1;
  QrcUInt span = static_cast<QrcUInt>(largest) - static_cast<QrcUInt>(smallest);
  if (span >= static_cast<QrcUInt>(INT64_MAX)) return -1;
  return static_cast<QrcInt>(span + 1);
}

}  // namespace

bool QrcIntMap::makeDense(QrcInt smallest, QrcInt largest) {
  QrcInt r = spanOf(smallest, largest);
  if (r < 0 || static_cast<QrcUInt>(r) > (SIZE_MAX / sizeof(QrcInt)) / 2) return false;
  QrcInt* slots =
      static_cast<QrcInt*>(QrcAllocate(static_cast<size_t>(r) * sizeof(QrcInt), _manager));
  for (QrcInt i = 0; i < r; ++i) slots[i] = QrcIntMapAbsent;
  if (_dense) {
    for (QrcInt k = _smallest; _count && k <= _largest; ++k)
      slots[k - smallest] = _dense[k - _smallest];
  } else {
    _hash->forEach([&](QrcInt key, QrcInt value) { slots[key - smallest] = value; });
  }
  _dense = slots;
  _hash = nullptr;
  _smallest = smallest;
  _largest = largest;
  return true;
}

int QrcIntMap::add(QrcInt key, QrcInt value) {
  if (contains(key)) return 0;
  if (_dense) {
    if (key < _smallest || key > _largest) {
      // Widen the dense array while it stays dense enough, else go back to hashing.
      QrcInt lo = key < _smallest ? key : _smallest;
      QrcInt hi = key > _largest ? key : _largest;
      QrcInt r = spanOf(lo, hi);
      bool widened = r > 0 && r / 4 <= _count + 1 && makeDense(lo, hi);
      if (!widened) {
        QrcIntHashMap* hash = new (_manager) QrcIntHashMap(_manager);
        QrcInt n = 0;
        for (QrcInt k = _smallest; k <= _largest; ++k) {
          QrcInt v = _dense[k - _smallest];
          if (v == QrcIntMapAbsent) continue;
          hash->grow(n);
          hash->insert(k, v);
          ++n;
        }
        _hash = hash;
        _dense = nullptr;
        return add(key, value);
      }
    }
    _dense[key - _smallest] = value;
    ++_count;
    return 1;
  }
  if (key < _smallest) _smallest = key;
  if (key > _largest) _largest = key;
  _hash->grow(_count);
  _hash->insert(key, value);
  ++_count;
  return 1;
}

void QrcIntMap::compact(QrcInt factor) {
  if (_dense || _count == 0) return;
  QrcInt r = spanOf(_smallest, _largest);
  if (r < 0) return;
  // r <= 4 x count x factor, without overflow.
  if (factor <= 0) return;
  QrcInt limit = _count;
  if (limit > INT64_MAX / 4)
    limit = INT64_MAX;
  else
    limit *= 4;
  if (limit != INT64_MAX && limit > INT64_MAX / factor)
    limit = INT64_MAX;
  else if (limit != INT64_MAX)
    limit *= factor;
  if (r <= limit) makeDense(_smallest, _largest);
}

QrcInt* QrcIntMap::getValues() const {
  QrcInt* out = static_cast<QrcInt*>(
      QrcAllocate(static_cast<size_t>(_count ? _count : 1) * sizeof(QrcInt), _manager));
  if (_dense) {
    QrcInt k = 0;
    for (QrcInt i = 0; i <= _largest - _smallest; ++i)
      if (_dense[i] != QrcIntMapAbsent) out[k++] = _dense[i];
  } else {
    _hash->getValues(out);
  }
  return out;
}
