// Separate-chaining hash tables of the environment with pluggable hash and
// equality functions, and the hash functions they use.
#ifndef QRO_HASH_H
#define QRO_HASH_H

#include <cstring>

#include "qroexception.h"
#include "qroobject.h"

// 64-bit mix of an address or integer key; the index is |key mod n|.
QroInt QroHashMix64(QroInt key, QroInt n);
// Hash of a double key: the key times 0.618033, clamped and truncated.
QroInt QroHashDouble(double key, QroInt n);
// ELF hash on signed bytes, before the remainder.
QroUInt QroHashStringValue(const char* text);
QroInt QroHashString(const char* text, QroInt n);

inline QroInt QroHashAddress(const void* key, QroInt n) {
  return QroHashMix64(static_cast<QroInt>(reinterpret_cast<uintptr_t>(key)), n);
}

[[noreturn]] void QroThrowBadHashIndex();

template <class K, class V>
class QroEnvHashTable : public QroMemoryManagerObjectI {
 public:
  typedef QroInt (*HashFunction)(K key, QroInt bucketCount);
  typedef bool (*EqualFunction)(K stored, K key);

  struct Entry {
    Entry* next;
    K key;
    V value;
  };

  QroEnvHashTable(QroGenAlloc* a, QroInt bucketCount, HashFunction hash, EqualFunction equal)
      : QroMemoryManagerObjectI(a),
        _count(0),
        _bucketCount(bucketCount > 0 ? bucketCount : 1),
        _hash(hash),
        _equal(equal),
        _buckets(nullptr) {
    _buckets = newBuckets(_bucketCount);
  }
  ~QroEnvHashTable() override { clear(); }
  QroEnvHashTable(const QroEnvHashTable&) = delete;
  QroEnvHashTable& operator=(const QroEnvHashTable&) = delete;

  // 0 and the value when found, else 1.
  int find(K key, V& value) const {
    const Entry* e = lookup(key);
    if (!e) return 1;
    value = e->value;
    return 0;
  }
  bool contains(K key) const { return lookup(key) != nullptr; }

  // Does not look for an equal key already present.
  void add(K key, V value) {
    if (!_buckets) _buckets = newBuckets(_bucketCount);
    QroInt i = index(key, _bucketCount);
    Entry* e = static_cast<Entry*>(_allocator->alloc(sizeof(Entry)));
    e->next = _buckets[i];
    e->key = key;
    e->value = value;
    _buckets[i] = e;
    ++_count;
    if (_count > 2 * _bucketCount) rehash(2 * _bucketCount);
  }

  // Unlinks the first entry with an equal key; true when one was there.
  bool remove(K key) {
    if (!_buckets) return false;
    Entry** link = &_buckets[index(key, _bucketCount)];
    for (; *link; link = &(*link)->next) {
      if (_equal((*link)->key, key)) {
        Entry* e = *link;
        *link = e->next;
        _allocator->free(e, sizeof(Entry));
        --_count;
        return true;
      }
    }
    return false;
  }

  void rehash(QroInt newCount) {
    if (newCount <= 0) newCount = 1;
    Entry** fresh = newBuckets(newCount);
    if (_buckets) {
      for (QroInt b = 0; b < _bucketCount; ++b) {
        Entry* e = _buckets[b];
        while (e) {
          Entry* next = e->next;
          QroInt i = checkedIndex(e->key, newCount, fresh, newCount);
          e->next = fresh[i];
          fresh[i] = e;
          e = next;
        }
      }
      _allocator->free(_buckets, static_cast<size_t>(_bucketCount) * sizeof(Entry*));
    }
    _buckets = fresh;
    _bucketCount = newCount;
  }

  void clear() {
    if (_buckets) {
      for (QroInt b = 0; b < _bucketCount; ++b) {
        Entry* e = _buckets[b];
        while (e) {
          Entry* next = e->next;
          _allocator->free(e, sizeof(Entry));
          e = next;
        }
      }
      _allocator->free(_buckets, static_cast<size_t>(_bucketCount) * sizeof(Entry*));
      _buckets = nullptr;
    }
    _count = 0;
  }

  QroInt getCount() const { return _count; }
  QroInt getBucketCount() const { return _bucketCount; }
  // Bucket b's chain (null when empty or not yet allocated).
  Entry* getBucket(QroInt b) const { return _buckets ? _buckets[b] : nullptr; }
  HashFunction getHashFunction() const { return _hash; }

  // Visits every entry, bucket by bucket, in chain order.
  template <class F>
  void forEach(F f) const {
    if (!_buckets) return;
    for (QroInt b = 0; b < _bucketCount; ++b)
      for (Entry* e = _buckets[b]; e; e = e->next) f(e->key, e->value);
  }

 protected:
  QroInt _count;
  QroInt _bucketCount;
  HashFunction _hash;
  EqualFunction _equal;
  Entry** _buckets;

 private:
  Entry** newBuckets(QroInt n) {
    Entry** b = static_cast<Entry**>(_allocator->alloc(static_cast<size_t>(n) * sizeof(Entry*)));
    std::memset(static_cast<void*>(b), 0, static_cast<size_t>(n) * sizeof(Entry*));
    return b;
  }
  QroInt index(K key, QroInt n) const {
    QroInt i = _hash(key, n);
    if (i < 0 || i >= n) QroThrowBadHashIndex();
    return i;
  }
  QroInt checkedIndex(K key, QroInt n, Entry** fresh, QroInt freshCount) {
    QroInt i = _hash(key, n);
    if (i < 0 || i >= n) {
      _allocator->free(fresh, static_cast<size_t>(freshCount) * sizeof(Entry*));
      QroThrowBadHashIndex();
    }
    return i;
  }
  const Entry* lookup(K key) const {
    if (!_buckets) return nullptr;
    for (const Entry* e = _buckets[index(key, _bucketCount)]; e; e = e->next)
      if (_equal(e->key, key)) return e;
    return nullptr;
  }
};

template <class V>
class QroAddressHashTable : public QroEnvHashTable<void*, V> {
 public:
  QroAddressHashTable(QroGenAlloc* a, QroInt bucketCount = 31)
      : QroEnvHashTable<void*, V>(a, bucketCount, &hashKey, &sameKey) {}
  static QroInt hashKey(void* key, QroInt n) { return QroHashAddress(key, n); }
  static bool sameKey(void* stored, void* key) { return stored == key; }
};

class QroAny2AnyHashTable : public QroAddressHashTable<void*> {
 public:
  explicit QroAny2AnyHashTable(QroGenAlloc* a, QroInt bucketCount = 31)
      : QroAddressHashTable<void*>(a, bucketCount) {}
};

class QroAny2BoolHashTable : public QroAddressHashTable<QroInt> {
 public:
  explicit QroAny2BoolHashTable(QroGenAlloc* a, QroInt bucketCount = 31)
      : QroAddressHashTable<QroInt>(a, bucketCount) {}
};

template <class V>
class QroStringHashTable : public QroEnvHashTable<const char*, V> {
 public:
  QroStringHashTable(QroGenAlloc* a, QroInt bucketCount = 31)
      : QroEnvHashTable<const char*, V>(a, bucketCount, &hashKey, &sameKey) {}
  static QroInt hashKey(const char* key, QroInt n) { return QroHashString(key, n); }
  static bool sameKey(const char* stored, const char* key) { return std::strcmp(stored, key) == 0; }
};

class QroSymbolI;

// One symbol per distinct text of an environment.
class QroSymbolTable : public QroStringHashTable<QroSymbolI*> {
 public:
  QroSymbolTable(QroEnvI* env, QroInt bucketCount = 31);
  ~QroSymbolTable() override;
  // The symbol of the text, made on first use.
  QroSymbolI* intern(const char* text);
  QroEnvI* getEnv() const { return _env; }

 private:
  QroEnvI* _env;
};

#endif
