#include "qrcpointerhash.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "qrcmanager.h"
#include "qroexception.h"

namespace {

QrcInt powerOfTwoAtLeast(QrcInt size) {
  QrcInt n = 1;
  while (n < size && n < (QrcInt(1) << 60)) n *= 2;
  return n;
}

}  // namespace

void* QrcPointerHashMap::operator new(size_t size) {
  void* p = std::malloc(size);
  if (!p) throw QroMemoryException();
  return p;
}

void* QrcPointerHashMap::operator new(size_t size, QrcManagerI* manager) {
  return manager->allocate(size);
}

void QrcPointerHashMap::operator delete(void* p) {
  // Maps on a heap go with the heap; only global ones come back here.
  if (p && !static_cast<QrcPointerHashMap*>(p)->_onHeap) std::free(p);
}

QrcPointerHashMap::Node** QrcPointerHashMap::newBuckets(QrcInt n) {
  size_t bytes = static_cast<size_t>(n) * sizeof(Node*);
  void* p = _onHeap ? _manager->allocate(bytes) : std::malloc(bytes);
  if (!p) throw QroMemoryException();
  std::memset(p, 0, bytes);
  return static_cast<Node**>(p);
}

QrcPointerHashMap::QrcPointerHashMap(QrcInt size, double loadFactor)
    : _onHeap(0),
      _manager(nullptr),
      _bucketCount(powerOfTwoAtLeast(size)),
      _buckets(nullptr),
      _count(0),
      _loadFactor(loadFactor) {
  _buckets = newBuckets(_bucketCount);
}

QrcPointerHashMap::QrcPointerHashMap(QrcManagerI* manager, QrcInt size, double loadFactor)
    : _onHeap(1),
      _manager(manager),
      _bucketCount(powerOfTwoAtLeast(size)),
      _buckets(nullptr),
      _count(0),
      _loadFactor(loadFactor) {
  _buckets = newBuckets(_bucketCount);
}

QrcPointerHashMap::~QrcPointerHashMap() {
  if (_onHeap) return;
  for (QrcInt i = 0; i < _bucketCount; ++i) {
    Node* n = _buckets[i];
    while (n) {
      Node* next = n->next;
      std::free(n);
      n = next;
    }
  }
  std::free(_buckets);
  _buckets = nullptr;
}

void QrcPointerHashMap::save(void* cell) {
  if (_onHeap) _manager->saveValue(cell);
}

QrcInt QrcPointerHashMap::bucketOf(QrcWord key) const {
  // Truncating remainder: it keeps the key's sign before the mask.
  QrcInt r = static_cast<QrcInt>(key) % 169575;
  return r & (_bucketCount - 1);
}

QrcWord QrcPointerHashMap::find(QrcWord key) const {
  for (Node* n = _buckets[bucketOf(key)]; n; n = n->next)
    if (n->key == key) return n->value;
  return 0;
}

bool QrcPointerHashMap::contains(QrcWord key) const {
  for (Node* n = _buckets[bucketOf(key)]; n; n = n->next)
    if (n->key == key) return true;
  return false;
}

void QrcPointerHashMap::add(QrcWord key, QrcWord value) {
  QrcInt b = bucketOf(key);
  for (Node* n = _buckets[b]; n; n = n->next)
    if (n->key == key) return;
  Node* node;
  if (_onHeap) {
    save(&_buckets[b]);
    node = static_cast<Node*>(_manager->allocate(sizeof(Node)));
    save(&_count);
  } else {
    node = static_cast<Node*>(std::malloc(sizeof(Node)));
    if (!node) throw QroMemoryException();
  }
  node->value = value;
  node->key = key;
  node->next = _buckets[b];
  _buckets[b] = node;
  ++_count;
  if (static_cast<double>(_count) > static_cast<double>(_bucketCount) * _loadFactor) rehash();
}

void QrcPointerHashMap::set(QrcWord key, QrcWord value) {
  for (Node* n = _buckets[bucketOf(key)]; n; n = n->next) {
    if (n->key != key) continue;
    save(&n->value);
    n->value = value;
    return;
  }
  add(key, value);
}

void QrcPointerHashMap::remove(QrcWord key) {
  for (Node** link = &_buckets[bucketOf(key)]; *link; link = &(*link)->next) {
    Node* n = *link;
    if (n->key != key) continue;
    save(link);
    save(&_count);
    *link = n->next;
    --_count;
    if (!_onHeap) std::free(n);
    return;
  }
}

void QrcPointerHashMap::rehash() {
  if (_bucketCount >= (QrcInt(1) << 60)) return;
  save(&_bucketCount);
  save(&_buckets);
  QrcInt oldCount = _bucketCount;
  Node** old = _buckets;
  Node** fresh = newBuckets(oldCount * 2);
  _bucketCount = oldCount * 2;
  _buckets = fresh;
  for (QrcInt i = 0; i < oldCount; ++i) {
    Node* n = old[i];
    while (n) {
      Node* next = n->next;
      QrcInt b = bucketOf(n->key);
      save(&n->next);
      n->next = _buckets[b];
      _buckets[b] = n;
      n = next;
    }
  }
  if (!_onHeap) std::free(old);
}
