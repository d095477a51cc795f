#include "qroarray.h"
#include "qroextractable.h"

#include <cstring>
#include <ostream>

namespace {
void computeLayout(QroInt n, QroInt& k, QroInt& capacity) {
  QroInt target = n > 1 ? n : 1;
  k = 0;
  capacity = 1;
  if (target == 1) return;
  k = 1;
  capacity = 4;
  while (capacity < target) {
    capacity *= 4;
    ++k;
  }
}
}  // namespace

QroArrayI::QroArrayI(QroGenAlloc* a, QroInt n, QroInt elementSize)
    : QroMemoryManagerObjectI(a),
      _capacity(0),
      _elementSize(elementSize),
      _size(0),
      _mask(0),
      _k(0),
      _chunks(nullptr) {
  if (n < 0) throw QroArrayError("invalid array size");
  if (n > (QroInt(1) << 40)) throw QroMemoryException();
  layout(n);
  _size = n;
  // Chunks covering max(n, 1) elements, those holding the n elements cleared.
  QroInt covered = n > 1 ? n : 1;
  QroInt chunkSize = _mask + 1;
  try {
    for (QroInt c = 0; c * chunkSize < covered; ++c) _chunks[c] = newChunk(c * chunkSize < n);
  } catch (...) {
    releaseAll();
    throw;
  }
}

QroArrayI::QroArrayI(QroGenAlloc* a, const QroArrayI& other)
    : QroMemoryManagerObjectI(a),
      _capacity(other._capacity),
      _elementSize(other._elementSize),
      _size(other._size),
      _mask(other._mask),
      _k(other._k),
      _chunks(nullptr) {
  if (!other._chunks) {
    _capacity = 0;
    return;
  }
  QroInt entries = QroInt(1) << _k;
  _chunks = static_cast<void**>(_allocator->alloc(static_cast<size_t>(entries) * sizeof(void*)));
  for (QroInt c = 0; c < entries; ++c) _chunks[c] = nullptr;
  size_t chunkBytes = static_cast<size_t>((_mask + 1) * _elementSize);
  try {
    for (QroInt c = 0; c < entries && other._chunks[c]; ++c) {
      _chunks[c] = newChunk(false);
      std::memcpy(_chunks[c], other._chunks[c], chunkBytes);
    }
  } catch (...) {
    releaseAll();
    throw;
  }
}

QroArrayI::~QroArrayI() {
  releaseAll();
}

void QroArrayI::layout(QroInt n) {
  computeLayout(n, _k, _capacity);
  _mask = (QroInt(1) << _k) - 1;
  QroInt entries = QroInt(1) << _k;
  _chunks = static_cast<void**>(_allocator->alloc(static_cast<size_t>(entries) * sizeof(void*)));
  for (QroInt c = 0; c < entries; ++c) _chunks[c] = nullptr;
}

void* QroArrayI::newChunk(bool clear) {
  size_t bytes = static_cast<size_t>((_mask + 1) * _elementSize);
  void* chunk = _allocator->alloc(bytes);
  if (clear) std::memset(chunk, 0, bytes);
  return chunk;
}

void QroArrayI::releaseAll() {
  if (_chunks) {
    QroInt entries = QroInt(1) << _k;
    size_t chunkBytes = static_cast<size_t>((_mask + 1) * _elementSize);
    for (QroInt c = 0; c < entries; ++c)
      if (_chunks[c]) _allocator->free(_chunks[c], chunkBytes);
    _allocator->free(_chunks, static_cast<size_t>(entries) * sizeof(void*));
    _chunks = nullptr;
  }
  _size = 0;
  _capacity = 0;
}

QroInt QroArrayI::getChunkCount() const {
  if (!_chunks) return 0;
  QroInt n = 0;
  QroInt entries = QroInt(1) << _k;
  for (QroInt c = 0; c < entries; ++c)
    if (_chunks[c]) ++n;
  return n;
}

void QroArrayI::reserve(QroInt n) {
  if (n < 1) n = 1;
  if (n > (QroInt(1) << 40)) throw QroMemoryException();
  if (n > _capacity) {
    if (_capacity == 0) {
      layout(n);
      QroInt chunkSize = _mask + 1;
      for (QroInt c = 0; c * chunkSize < n; ++c) _chunks[c] = newChunk(false);
      return;
    }
    QroInt k = _k, capacity = _capacity;
    while (capacity < n) {
      capacity *= 4;
      ++k;
    }
    const QroInt oldK = _k;
    const QroInt oldEntries = QroInt(1) << oldK;
    const size_t oldChunkBytes = static_cast<size_t>((_mask + 1) * _elementSize);
    void** oldChunks = _chunks;
    const QroInt entries = QroInt(1) << k;
    void** chunks =
        static_cast<void**>(_allocator->alloc(static_cast<size_t>(entries) * sizeof(void*)));
    for (QroInt c = 0; c < entries; ++c) chunks[c] = nullptr;
    _k = k;
    _mask = (QroInt(1) << k) - 1;
    _capacity = capacity;
    _chunks = chunks;
    const QroInt chunkSize = _mask + 1;
    const QroInt perNew = QroInt(1) << (k - oldK);
    QroInt old = 0;
    QroInt copied = 0;
    for (QroInt c = 0; copied < _size; ++c) {
      char* chunk = static_cast<char*>(newChunk(false));
      _chunks[c] = chunk;
      for (QroInt j = 0; j < perNew && old < oldEntries && oldChunks[old]; ++j, ++old) {
        std::memcpy(chunk + j * static_cast<QroInt>(oldChunkBytes), oldChunks[old], oldChunkBytes);
        _allocator->free(oldChunks[old], oldChunkBytes);
        oldChunks[old] = nullptr;
        copied += QroInt(1) << oldK;
      }
      if (old >= oldEntries || !oldChunks[old]) break;
    }
    for (QroInt c = old; c < oldEntries; ++c)
      if (oldChunks[c]) _allocator->free(oldChunks[c], oldChunkBytes);
    _allocator->free(oldChunks, static_cast<size_t>(oldEntries) * sizeof(void*));
    for (QroInt c = 0; c * chunkSize < n; ++c)
      if (!_chunks[c]) _chunks[c] = newChunk(false);
    return;
  }
  QroInt last = (n - 1) >> _k;
  QroInt used = _size > 0 ? (_size - 1) >> _k : -1;
  if (last > used) {
    for (QroInt c = last; c >= 0 && !_chunks[c]; --c) _chunks[c] = newChunk(false);
  }
}

void QroArrayI::setSize(QroInt n) {
  if (n < 0) throw QroArrayError("invalid array size");
  reserve(n);
  _size = n;
}

void QroArrayI::add(const QroArrayI& other) {
  QroInt start = _size;
  QroInt count = other._size;
  reserve(start + count);
  _size = start + count;
  for (QroInt i = 0; i < count; ++i)
    std::memcpy(elementAt(start + i), other.elementAt(i), static_cast<size_t>(_elementSize));
}

void QroArrayI::addElement(const void* element) {
  reserve(_size + 1);
  std::memcpy(elementAt(_size), element, static_cast<size_t>(_elementSize));
  ++_size;
}

void QroArrayI::remove(QroInt first, QroInt count) {
  if (first < 0) throw QroArrayError("invalid index for first element to remove");
  if (count < 0) throw QroArrayError("invalid number of elements to remove");
  if (first > _size || count > _size - first)
    throw QroArrayError("Trying to remove too many elements");
  for (QroInt i = first + count; i < _size; ++i)
    std::memcpy(elementAt(i - count), elementAt(i), static_cast<size_t>(_elementSize));
  _size -= count;
}

// ---------------------------------------------------------------------------
// Handles

QroArray::QroArray(const QroEnv& env, QroInt n) : _impl(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) QroAbortEmptyHandle("Using empty QroEnv handle");
  QroGenAlloc* a = e->getGeneralAllocator();
  _impl = new (a) QroArrayI(a, n, 8);
}

QroArray::QroArray(const QroMemoryManager& mm, QroInt n) : _impl(nullptr) {
  QroGenAlloc* a = mm.getImpl();
  if (!a) QroAbortEmptyHandle("Using empty QroMemoryManager handle");
  _impl = new (a) QroArrayI(a, n, 8);
}

void QroArray::end() {
  delete _impl;
  _impl = nullptr;
}

namespace {
template <class A, class Print>
std::ostream& printElements(std::ostream& os, const A& a, Print print) {
  if (!a.getImpl()) return os;
  os << "[";
  QroInt n = a.getSize();
  for (QroInt i = 0; i + 1 < n; ++i) {
    print(a[i]);
    os << ",";
    if ((i + 1) % 10 == 0)
      os << std::endl;
    else
      os << " ";
  }
  if (n > 0) print(a[n - 1]);
  os << "]";
  return os;
}

template <class A>
std::ostream& printValues(std::ostream& os, const A& a) {
  return printElements(os, a, [&os](auto v) { os << v; });
}
}  // namespace

std::ostream& operator<<(std::ostream& os, const QroExtractableArray& a) {
  return printElements(os, a, [&os](QroExtractableI* x) {
    if (x) x->display(os);
  });
}

std::ostream& operator<<(std::ostream& os, const QroIntArray& a) {
  return printValues(os, a);
}
std::ostream& operator<<(std::ostream& os, const QroNumArray& a) {
  return printValues(os, a);
}
