#include "qrchash.h"

#include <cstring>

#include "qrcmanager.h"

QrcHashTable::QrcHashTable(QrcManagerI* manager, QrcInt n)
    : _manager(manager),
      _buckets(nullptr),
      _bucketCount(n < 1 ? 0 : n),
      _count(0),
      _level(manager->getOrRecordCount()) {
  if (_bucketCount > 0) {
    _buckets =
        static_cast<Bucket*>(manager->allocate(static_cast<size_t>(_bucketCount) * sizeof(Bucket)));
    for (QrcInt i = 0; i < _bucketCount; ++i) _buckets[i] = Bucket{0, nullptr};
  }
}

QrcInt QrcHashTable::nextBucketCount(QrcInt n) {
  if (n < 17) return 17;
  if (n > MaxBuckets) return MaxBuckets;
  QrcInt c = (n % 2) ? n : n + 1;
  while (c % 3 == 0 || c % 5 == 0 || c % 7 == 0 || c % 11 == 0 || c % 13 == 0) c += 2;
  return c;
}

QrcInt QrcHashTable::hashIn(QrcWord key, QrcInt buckets) const {
  return static_cast<QrcInt>(((key >> 16) ^ (key & 0xffff)) % static_cast<QrcWord>(buckets));
}

QrcHashTable::Node* QrcHashTable::find(QrcWord key) const {
  if (_bucketCount < 1) return nullptr;
  for (Node* n = _buckets[hash(key)].first; n; n = n->next)
    if (sameKey(n->key, key)) return n;
  return nullptr;
}

void QrcHashTable::addAt(QrcInt bucket, QrcWord key, QrcWord value) {
  // Growth is not trailed: a node made at a deeper level would be popped away
  // under the table's feet.
  if (_manager->getOrRecordCount() != _level)
    _manager->getErrorReporter()->report(QrcInternalError, "internal error",
                                         "hash table insertion at another heap level",
                                         static_cast<const void*>(this));
  Bucket& b = _buckets[bucket];
  b.first = new (_manager) Node{key, value, b.first};
  ++b.length;
  ++_count;
  if (_bucketCount >= MaxBuckets) return;
  QrcInt load = _count / _bucketCount;
  if (load >= 7 || (load >= 3 && b.length >= 13)) {
    float grown = static_cast<float>(_bucketCount) * 1.6f;
    rehash(nextBucketCount(static_cast<QrcInt>(grown)), false);
  }
}

void QrcHashTable::rehash(QrcInt newCount, bool reversible) {
  if (reversible) {
    _manager->saveValue(&_bucketCount);
    _manager->saveValue(&_buckets);
  }
  Bucket* fresh =
      static_cast<Bucket*>(_manager->allocate(static_cast<size_t>(newCount) * sizeof(Bucket)));
  for (QrcInt i = 0; i < newCount; ++i) fresh[i] = Bucket{0, nullptr};
  for (QrcInt i = 0; i < _bucketCount; ++i) {
    Node* n = _buckets[i].first;
    while (n) {
      Node* next = n->next;
      Bucket& b = fresh[hashIn(n->key, newCount)];
      if (reversible) _manager->saveValue(&n->next);
      n->next = b.first;
      b.first = n;
      ++b.length;
      n = next;
    }
  }
  _buckets = fresh;
  _bucketCount = newCount;
}

QrcWord QrcIntHashTable::get(QrcInt key) const {
  Node* n = find(static_cast<QrcWord>(key));
  return n ? n->value : 0;
}

QrcWord QrcFloatHashTable::keyOf(QrcFloat x) {
  if (x == 0) x = 0.0;  // -0 and +0 are one key
  QrcWord b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

QrcWord QrcFloatHashTable::get(QrcFloat key) const {
  Node* n = find(keyOf(key));
  return n ? n->value : 0;
}

QrcInt QrcFloatHashTable::hashIn(QrcWord b, QrcInt buckets) const {
  QrcWord h = ((((b >> 16) ^ b) >> 16 ^ b) >> 16 ^ b) & 0xffff;
  return static_cast<QrcInt>(h % static_cast<QrcWord>(buckets));
}

bool QrcFloatHashTable::sameKey(QrcWord a, QrcWord b) const {
  double x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}
