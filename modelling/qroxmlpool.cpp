#include <cstdlib>
#include <mutex>
#include <new>

#include "qroexception.h"
#include "qroxml.h"

namespace {

// Zero-initialised before any code runs; never constructed or destroyed.
QroXmlNodePool s_pool;

const std::size_t LinkSize = sizeof(void*);

// Threads that build or drop trees share the pool. Recursive: a large block
// takes a list node from the pool. Never destroyed, so that releases during
// exit still find it.
std::recursive_mutex& poolLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;
  return *lock;
}
typedef std::lock_guard<std::recursive_mutex> PoolGuard;

inline int sizeClassOf(std::size_t size) {
  return static_cast<int>((size - 1) / 8);
}

inline void*& linkOf(void* block) {
  return *static_cast<void**>(block);
}

}  // namespace

QroXmlNodePool* QroXmlNodePool::Get() {
  PoolGuard guard(poolLock());
  if (!s_pool._created) s_pool.create();
  return &s_pool;
}

void QroXmlNodePool::create() {
  for (int c = 0; c < ClassCount; ++c) _free[c] = nullptr;
  _chunkSize = FirstChunkSize;
  _large = nullptr;
  _chunk = static_cast<char*>(std::malloc(_chunkSize));
  if (_chunk) {
    linkOf(_chunk) = nullptr;
    _next = _chunk + LinkSize;
    _end = _chunk + _chunkSize;
  } else {
    _next = _end = nullptr;
  }
  _created = true;
  std::atexit(&QroXmlNodePool::Teardown);
}

void* QroXmlNodePool::carve(std::size_t blockSize) {
  if (static_cast<std::size_t>(_end - _next) < blockSize) {
    std::size_t rest = static_cast<std::size_t>(_end - _next);
    if (rest > 0) {
      int c = sizeClassOf(rest);
      linkOf(_next) = _free[c];
      _free[c] = _next;
    }
    _next = _end;
    uint32_t size = _chunkSize <= 0x40000000u ? _chunkSize * 2 : _chunkSize;
    char* chunk = static_cast<char*>(std::malloc(size));
    if (!chunk) return nullptr;
    linkOf(chunk) = _chunk;
    _chunk = chunk;
    _chunkSize = size;
    _next = chunk + LinkSize;
    _end = chunk + size;
  }
  void* block = _next;
  _next += blockSize;
  return block;
}

void* QroXmlNodePool::allocate(std::size_t size) {
  PoolGuard guard(poolLock());
  if (size == 0) size = 1;
  if (size <= MaxPooledSize) {
    int c = sizeClassOf(size);
    if (void* block = _free[c]) {
      _free[c] = linkOf(block);
      return block;
    }
    return carve(8 * static_cast<std::size_t>(c + 1));
  }
  void* block = std::malloc(size);
  if (!block) return nullptr;
  try {
    if (!_large) {
      void* header = allocate(sizeof(QroXmlNodeList));
      if (!header) throw QroMemoryException();
      _large = new (header) QroXmlNodeList();
    }
    _large->insert(block, 0);
  } catch (const QroMemoryException&) {
    std::free(block);
    return nullptr;
  }
  return block;
}

void QroXmlNodePool::release(void* block, std::size_t size) {
  if (!block) return;
  PoolGuard guard(poolLock());
  // After the exit teardown the chunks are gone and large blocks were freed.
  if (!_created) return;
  if (size == 0) size = 1;
  if (size <= MaxPooledSize) {
    int c = sizeClassOf(size);
    linkOf(block) = _free[c];
    _free[c] = block;
    return;
  }
  if (_large && _large->remove(block)) std::free(block);
}

int32_t QroXmlNodePool::getFreeCount(int sizeClass) const {
  if (sizeClass < 0 || sizeClass >= ClassCount) return 0;
  PoolGuard guard(poolLock());
  int32_t n = 0;
  for (void* b = _free[sizeClass]; b; b = linkOf(b)) ++n;
  return n;
}

int32_t QroXmlNodePool::getLargeBlockCount() const {
  PoolGuard guard(poolLock());
  return _large ? _large->getCount() : 0;
}

void QroXmlNodePool::Teardown() {
  PoolGuard guard(poolLock());
  QroXmlNodePool& p = s_pool;
  if (!p._created) return;
  if (QroXmlNodeList* large = p._large) {
    for (QroXmlListNode* n = large->getHead(); n; n = n->_next) std::free(n->_element);
    large->clear();
    large->~QroXmlNodeList();
    p._large = nullptr;
    p.release(large, sizeof(QroXmlNodeList));
  }
  char* chunk = p._chunk;
  while (chunk) {
    char* previous = static_cast<char*>(linkOf(chunk));
    std::free(chunk);
    chunk = previous;
  }
  for (int c = 0; c < ClassCount; ++c) p._free[c] = nullptr;
  p._chunk = p._next = p._end = nullptr;
  p._chunkSize = 0;
  p._created = false;
}

// ---------------------------------------------------------------------------
// Node lists.

namespace {

QroXmlListNode* newListNode(void* element, QroXmlListNode* next) {
  void* block = QroXmlNodePool::Get()->allocate(sizeof(QroXmlListNode));
  if (!block) throw QroMemoryException();
  QroXmlListNode* node = static_cast<QroXmlListNode*>(block);
  node->_element = element;
  node->_next = next;
  return node;
}

// Releasing never creates the pool: nodes released after the exit teardown
// belong to chunks that are gone.
inline void releaseListNode(QroXmlListNode* node) {
  s_pool.release(node, sizeof(QroXmlListNode));
}

}  // namespace

QroXml_LIterator::QroXml_LIterator(const QroXmlNodeList* list)
    : _list(list),
      _current(list ? list->getHead() : nullptr),
      _nextCursor(nullptr),
      _registeredOn(nullptr) {}

QroXml_LIterator::~QroXml_LIterator() {
  if (_registeredOn) _registeredOn->unregisterCursor(this);
}

QroXmlNodeList::QroXmlNodeList() : _head(nullptr), _tail(nullptr), _cursors(nullptr), _count(0) {}

QroXmlNodeList::~QroXmlNodeList() {
  clear();
  while (_cursors) unregisterCursor(_cursors);
}

void QroXmlNodeList::append(void* element) {
  QroXmlListNode* node = newListNode(element, nullptr);
  if (_tail)
    _tail->_next = node;
  else
    _head = node;
  _tail = node;
  ++_count;
}

void QroXmlNodeList::insert(void* element, int32_t position) {
  if (position < 0 || position >= _count) {
    append(element);
    return;
  }
  if (position == 0) {
    _head = newListNode(element, _head);
    ++_count;
    return;
  }
  QroXmlListNode* previous = _head;
  for (int32_t i = 1; i < position; ++i) previous = previous->_next;
  previous->_next = newListNode(element, previous->_next);
  ++_count;
}

bool QroXmlNodeList::remove(const void* element) {
  QroXmlListNode* previous = nullptr;
  QroXmlListNode* node = _head;
  while (node && node->_element != element) {
    previous = node;
    node = node->_next;
  }
  if (!node) return false;
  if (previous)
    previous->_next = node->_next;
  else
    _head = node->_next;
  if (_tail == node) _tail = previous;
  for (QroXml_LIterator* c = _cursors; c; c = c->_nextCursor)
    if (c->_current == node) c->_current = node->_next;
  releaseListNode(node);
  --_count;
  return true;
}

int32_t QroXmlNodeList::find(const void* element) const {
  int32_t i = 0;
  for (QroXmlListNode* n = _head; n; n = n->_next, ++i)
    if (n->_element == element) return i;
  return -1;
}

void QroXmlNodeList::clear() {
  QroXmlListNode* node = _head;
  while (node) {
    QroXmlListNode* next = node->_next;
    releaseListNode(node);
    node = next;
  }
  _head = _tail = nullptr;
  _count = 0;
  for (QroXml_LIterator* c = _cursors; c; c = c->_nextCursor) c->_current = nullptr;
}

void* QroXmlNodeList::removeFirst() {
  QroXmlListNode* node = _head;
  if (!node) return nullptr;
  void* element = node->_element;
  remove(element);  // the first node holding it is this one
  return element;
}

void QroXmlNodeList::prependAll(QroXmlNodeList& other) {
  if (&other == this || !other._head) return;
  other._tail->_next = _head;
  if (!_tail) _tail = other._tail;
  _head = other._head;
  _count += other._count;
  other._head = other._tail = nullptr;
  other._count = 0;
  for (QroXml_LIterator* c = other._cursors; c; c = c->_nextCursor) c->_current = nullptr;
}

void QroXmlNodeList::registerCursor(QroXml_LIterator* cursor) {
  if (!cursor || cursor->_registeredOn == this) return;
  if (cursor->_registeredOn) cursor->_registeredOn->unregisterCursor(cursor);
  cursor->_list = this;
  cursor->_registeredOn = this;
  cursor->_nextCursor = _cursors;
  _cursors = cursor;
}

void QroXmlNodeList::unregisterCursor(QroXml_LIterator* cursor) {
  if (!cursor || cursor->_registeredOn != this) return;
  QroXml_LIterator** link = &_cursors;
  while (*link && *link != cursor) link = &(*link)->_nextCursor;
  if (*link) *link = cursor->_nextCursor;
  cursor->_nextCursor = nullptr;
  cursor->_registeredOn = nullptr;
}
