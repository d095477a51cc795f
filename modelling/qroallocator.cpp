#include "qroallocator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "qroplatform.h"

namespace {

void* systemAlloc(size_t bytes) {
  void* p = std::malloc(bytes == 0 ? 1 : bytes);
  if (!p) throw QroMemoryException();
  return p;
}

[[noreturn]] void poolAssert(const char* text) {
  std::fprintf(stderr, "Assertion failed: %s\n", text);
  std::abort();
}

// Bit length of 0..15.
const unsigned char kBitLength[16] = {0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};

QroInt bitLength(QroUInt v) {
  QroInt n = 0;
  if (v >> 32) {
    v >>= 32;
    n += 32;
  }
  if (v >> 16) {
    v >>= 16;
    n += 16;
  }
  if (v >> 8) {
    v >>= 8;
    n += 8;
  }
  if (v >> 4) {
    v >>= 4;
    n += 4;
  }
  return n + kBitLength[v];
}

}  // namespace

// ---------------------------------------------------------------------------
// Large blocks

QroLargeBlockList::~QroLargeBlockList() {
  releaseAll();
}

void* QroLargeBlockList::alloc(size_t size) {
  if (size > SIZE_MAX / 2) throw QroMemoryException();  // the header must not wrap the size
  Header* h = static_cast<Header*>(systemAlloc(size + sizeof(Header)));
  h->size = static_cast<QroInt>(size);
  h->prev = nullptr;
  h->next = _head;
  if (_head) _head->prev = h;
  _head = h;
  _total += h->size;
  return h + 1;
}

void QroLargeBlockList::free(void* p) {
  if (!p) return;
  Header* h = static_cast<Header*>(p) - 1;
  if (h->prev)
    h->prev->next = h->next;
  else
    _head = h->next;
  if (h->next) h->next->prev = h->prev;
  _total -= h->size;
  std::free(h);
}

void QroLargeBlockList::releaseAll() {
  while (_head) {
    Header* next = _head->next;
    std::free(_head);
    _head = next;
  }
  _total = 0;
}

QroInt QroLargeBlockList::getBlockCount() const {
  QroInt n = 0;
  for (Header* h = _head; h; h = h->next) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// Pools

QroMemoryPool::QroMemoryPool(QroInt cellSize, QroBool useIt)
    : _useIt(1),
      _cellSize(cellSize),
      _firstCell(nullptr),
      _blocks(nullptr),
      _bytesInUse(0),
      _bytesFromSystem(0),
      _allocationList(nullptr) {
  _useIt = useIt ? 1 : 0;
  if (!_useIt) _allocationList = new QroLargeBlockList(cellSize);
}

QroMemoryPool::~QroMemoryPool() {
  if (_allocationList) {
    _allocationList->releaseAll();
    delete _allocationList;
    _allocationList = nullptr;
  }
  while (_blocks) {
    void* prev = *static_cast<void**>(_blocks);
    std::free(_blocks);
    _blocks = prev;
  }
  _firstCell = nullptr;
}

void* QroMemoryPool::alloc(QroEnvMemoryManager* owner) {
  if (_firstCell && !_useIt) poolAssert("_firstCell == 0 || _useIt");
  if (!_useIt) {
    if (!_allocationList) poolAssert("_allocationList!=0");
    void* p = _allocationList->alloc(static_cast<size_t>(_cellSize));
    _bytesFromSystem += _cellSize;
    _bytesInUse += _cellSize;
    return p;
  }
  void* cell = _firstCell;
  if (cell)
    _firstCell = *static_cast<void**>(cell);
  else
    cell = refill(owner);
  _bytesInUse += _cellSize;
  return cell;
}

void QroMemoryPool::free(void* p) {
  if (_useIt)
    pushFree(p);
  else
    _allocationList->free(p);
  _bytesInUse -= _cellSize;
}

void* QroMemoryPool::refill(QroEnvMemoryManager* owner) {
  const QroInt c = _cellSize;
  const QroInt w = c < 4001 ? 500 : (c + 7) / 8;
  QroInt* block = static_cast<QroInt*>(systemAlloc(static_cast<size_t>(w + 1) * 8));
  _bytesFromSystem += 8 * w + 8;
  *reinterpret_cast<void**>(block) = _blocks;
  _blocks = block;
  QroInt* words = block + 1;
  if (c >= 4001) return words;

  const QroInt k = (c + 7) / 8;
  QroInt r = w;
  void* last = nullptr;
  QroInt* next = words;
  while (r > k) {
    *reinterpret_cast<void**>(next) = last;
    last = next;
    next += k;
    r -= k;
  }
  // The highest cell goes to the caller, the ones below it to the free list.
  _firstCell = *static_cast<void**>(last);

  // Spread the remainder over the smaller pools of the manager.
  QroInt rest = 8 * r;
  char* cursor = reinterpret_cast<char*>(next);
  while (owner && rest > 8) {
    QroInt index = QroEnvMemoryManager::PoolIndexOf(static_cast<QroUInt>(rest));
    if (index <= 0) break;
    if (index > owner->getPoolCount()) index = owner->getPoolCount();
    QroMemoryPool* below = owner->getPool(index - 1);
    QroInt s = below->getCellSize();
    below->pushFree(cursor);
    QroInt used = 8 * ((s + 7) / 8);
    cursor += used;
    rest -= used;
  }
  return last;
}

QroInt QroMemoryPool::getFreeCount() const {
  QroInt n = 0;
  for (void* p = _firstCell; p; p = *static_cast<void**>(p)) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// Memory manager

QroEnvMemoryManager::QroEnvMemoryManager(QroBool pooling)
    : _pools(), _large(-1), _limit(DefaultLimit), _poolCount(0), _pooling(pooling ? 1 : 0) {
  const char* text = qroplatform::getEnv("QRO_MEMORY_MANAGER_LIMIT");
  if (text) _limit = qroplatform::parseInt(text);
  try {
    for (QroInt s = 8; s <= 64; s += 8) makePool(s);
    QroInt s = 64;
    while (_poolCount < MaxPools && s < _limit) {
      s *= 2;
      if (s <= 0) break;
      makePool(s);
    }
  } catch (...) {
    for (QroInt i = 0; i < _poolCount; ++i) delete _pools[i];
    throw;
  }
}

void QroEnvMemoryManager::makePool(QroInt cellSize) {
  QroMemoryPool* pool = new (std::nothrow) QroMemoryPool(cellSize, _pooling);
  if (!pool) throw QroMemoryException();
  _pools[_poolCount++] = pool;
}

QroEnvMemoryManager::~QroEnvMemoryManager() {
  for (QroInt i = 0; i < _poolCount; ++i) delete _pools[i];
  _poolCount = 0;
  _large.releaseAll();
}

QroInt QroEnvMemoryManager::PoolIndexOf(QroUInt size) {
  QroUInt m = size - 1;
  if ((m >> 3) < 8) return static_cast<QroInt>(m >> 3);
  return 8 + bitLength(m >> 7);
}

QroInt QroEnvMemoryManager::getPoolIndex(size_t size) const {
  QroInt index = size == 0 ? 0 : PoolIndexOf(size);
  if (index >= _poolCount) throw QroMemoryException();
  return index;
}

bool QroEnvMemoryManager::isLarge(size_t size) const {
  // Sizes are compared unsigned: a size beyond the signed range is large.
  if (_poolCount == 0 || _limit <= 0) return true;
  if (size >= static_cast<size_t>(_limit)) return true;
  return size > static_cast<size_t>(_pools[_poolCount - 1]->getCellSize());
}

void* QroEnvMemoryManager::alloc(size_t size) {
  if (size == 0) return nullptr;
  if (isLarge(size)) return _large.alloc(size);
  return _pools[PoolIndexOf(size)]->alloc(this);
}

void QroEnvMemoryManager::free(void* p, size_t size) {
  if (!p) return;
  if (isLarge(size)) {
    _large.free(p);
    return;
  }
  _pools[PoolIndexOf(size == 0 ? 1 : size)]->free(p);
}

QroInt QroEnvMemoryManager::getBytesInUse() const {
  QroInt total = _large.getTotal();
  for (QroInt i = 0; i < _poolCount; ++i) total += _pools[i]->getBytesInUse();
  return total;
}

// ---------------------------------------------------------------------------
// Allocation stack

QroAllocationStack::NullIndex::~NullIndex() {}

void QroAllocationStack::NullIndex::print(std::ostream& os) const {
  os << "QroAllocationStack: Internal error: non null index for empty stack.";
}

QroAllocationStack::QroAllocationStack()
    : _current(nullptr),
      _first(nullptr),
      _top(nullptr),
      _topIndex(0),
      _reserved(0),
      _freedBytes(0) {
  _first = _current = newSegment(DefaultCapacity, 0);
  _top = _first->data;
  _reserved = DefaultCapacity * 8 + 88;
}

QroAllocationStack::~QroAllocationStack() {
  Segment* s = _first;
  while (s) {
    Segment* next = s->next;
    std::free(s->data);
    std::free(s);
    s = next;
  }
}

QroAllocationStack::Segment* QroAllocationStack::newSegment(QroInt capacity, QroInt base) {
  Segment* s = static_cast<Segment*>(systemAlloc(sizeof(Segment)));
  s->data = static_cast<QroInt*>(std::malloc(static_cast<size_t>(capacity) * 8));
  if (!s->data) {
    std::free(s);
    throw QroMemoryException();
  }
  s->capacity = capacity;
  s->base = base;
  s->prev = nullptr;
  s->next = nullptr;
  return s;
}

void QroAllocationStack::releaseFrom(Segment* s) {
  if (s && s->prev) s->prev->next = nullptr;
  while (s) {
    Segment* next = s->next;
    _reserved -= s->capacity * 8 + 40;
    std::free(s->data);
    std::free(s);
    s = next;
  }
}

void QroAllocationStack::moveOn(QroInt w) {
  const QroInt want = w > DefaultCapacity ? w : static_cast<QroInt>(DefaultCapacity);
  if (_topIndex == _current->base) {
    if (_current == _first) {
      releaseFrom(_first);
      _first = _current = newSegment(want, 0);
      _reserved += want * 8 + 40;
      _top = _current->data;
      if (_topIndex != 0) throw NullIndex();
      return;
    }
    Segment* empty = _current;
    _current = empty->prev;
    releaseFrom(empty);
    _current->next = nullptr;
  }
  Segment* next = _current->next;
  if (next && next->capacity >= w) {
    _current = next;
    _current->base = _topIndex;
  } else {
    if (next) releaseFrom(next);
    Segment* s = newSegment(want, _topIndex);
    _reserved += want * 8 + 40;
    s->prev = _current;
    _current->next = s;
    _current = s;
  }
  _top = _current->data;
}

void* QroAllocationStack::alloc(size_t size) {
  if (size == 0) return _top;
  if (size > SIZE_MAX / 4) throw QroMemoryException();  // the word count must not wrap
  QroInt w = static_cast<QroInt>((((size - 1) >> 3) | 1) + 1);
  if (_topIndex + w >= _current->base + _current->capacity) moveOn(w);
  void* p = _top;
  _top += w;
  _topIndex += w;
  return p;
}

void* QroAllocationStack::alloc(size_t size, QroAllocationStack* stack) {
  if (stack) return stack->alloc(size);
  return systemAlloc(size);
}

void QroAllocationStack::reset() {
  _current = _first;
  _top = _first->data;
  _topIndex = 0;
  _freedBytes = 0;
}

QroInt QroAllocationStack::getSegmentCount() const {
  QroInt n = 0;
  for (Segment* s = _first; s; s = s->next) ++n;
  return n;
}
