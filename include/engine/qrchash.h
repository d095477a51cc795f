// Chained hash tables on a manager's heap from 64-bit keys to one-word values:
// general (QrcHashTable), integer-keyed (QrcIntHashTable) and double-keyed
// (QrcFloatHashTable). Nothing is removed; growth is not undone by
// backtracking, so insertions must happen at the level the table was made at.
#ifndef QRC_HASH_H
#define QRC_HASH_H

#include "qrctypes.h"

class QrcHashTable {
 public:
  struct Node {
    QrcWord key;
    QrcWord value;
    Node* next;
  };
  struct Bucket {
    QrcInt length;
    Node* first;
  };

  static const QrcInt MaxBuckets = 9239;

  // Exactly n buckets (n < 1: none).
  QrcHashTable(QrcManagerI* manager, QrcInt n);
  virtual ~QrcHashTable() {}

  static QrcInt nextBucketCount(QrcInt n);

  QrcInt hash(QrcWord key) const { return hashIn(key, _bucketCount); }
  bool contains(QrcWord key) const { return find(key) != nullptr; }
  Node* find(QrcWord key) const;
  // Prepends (key, value) to a bucket the caller computed, then grows when due.
  void addAt(QrcInt bucket, QrcWord key, QrcWord value);
  void add(QrcWord key, QrcWord value) {
    if (_bucketCount < 1) rehash(nextBucketCount(1), false);  // made empty
    addAt(hash(key), key, value);
  }
  void rehash(QrcInt newCount, bool reversible);

  QrcInt getBucketCount() const { return _bucketCount; }
  QrcInt getSize() const { return _count; }
  const Bucket& getBucket(QrcInt i) const { return _buckets[i]; }

 protected:
  virtual QrcInt hashIn(QrcWord key, QrcInt buckets) const;
  virtual bool sameKey(QrcWord a, QrcWord b) const { return a == b; }

  QrcManagerI* _manager;
  Bucket* _buckets;
  QrcInt _bucketCount;
  QrcInt _count;
  QrcInt _level;  // choice-point records of the manager when made
};

class QrcIntHashTable : public QrcHashTable {
 public:
  QrcIntHashTable(QrcManagerI* manager, QrcInt n) : QrcHashTable(manager, n) {}
  // Value stored with the key, 0 when absent.
  QrcWord get(QrcInt key) const;
  bool contains(QrcInt key) const { return QrcHashTable::contains(static_cast<QrcWord>(key)); }
  void add(QrcInt key, QrcWord value) { QrcHashTable::add(static_cast<QrcWord>(key), value); }
};

class QrcFloatHashTable : public QrcHashTable {
 public:
  QrcFloatHashTable(QrcManagerI* manager, QrcInt n) : QrcHashTable(manager, n) {}
  static QrcWord keyOf(QrcFloat x);
  QrcWord get(QrcFloat key) const;
  bool contains(QrcFloat key) const { return QrcHashTable::contains(keyOf(key)); }
  void add(QrcFloat key, QrcWord value) { QrcHashTable::add(keyOf(key), value); }

 protected:
  QrcInt hashIn(QrcWord key, QrcInt buckets) const override;
  bool sameKey(QrcWord a, QrcWord b) const override;
};

#endif
