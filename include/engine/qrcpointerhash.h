// A chained hash map from 64-bit keys (object addresses, in practice) to
// 64-bit values. On a manager's heap every change is saved on the trail, so
// backtracking undoes insertions; in global memory it owns its nodes.
#ifndef QRC_POINTERHASH_H
#define QRC_POINTERHASH_H

#include <cstddef>

#include "qrctypes.h"

class QrcPointerHashMap {
 public:
  struct Node {
    QrcWord value;
    QrcWord key;
    Node* next;
  };

  // In global memory: bucket count the smallest power of two >= size.
  QrcPointerHashMap(QrcInt size, double loadFactor);
  // On the manager's heap, every change trailed.
  QrcPointerHashMap(QrcManagerI* manager, QrcInt size, double loadFactor);
  ~QrcPointerHashMap();
  QrcPointerHashMap(const QrcPointerHashMap&) = delete;
  QrcPointerHashMap& operator=(const QrcPointerHashMap&) = delete;

  static void* operator new(size_t size);
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void* p);
  static void operator delete(void*, QrcManagerI*) {}

  // The value of the key, 0 when absent (callers store value + 1).
  QrcWord find(QrcWord key) const;
  bool contains(QrcWord key) const;
  // Inserts unless the key is present (a present key keeps its value).
  void add(QrcWord key, QrcWord value);
  // Inserts, or gives a present key the new value.
  void set(QrcWord key, QrcWord value);
  // Unlinks the key's node; nothing when the key is absent.
  void remove(QrcWord key);
  void rehash();

  QrcInt bucketOf(QrcWord key) const;
  QrcInt getBucketCount() const { return _bucketCount; }
  QrcInt getSize() const { return _count; }
  bool isOnHeap() const { return _onHeap != 0; }

 private:
  void save(void* cell);
  Node** newBuckets(QrcInt n);

  QrcInt _onHeap;
  QrcManagerI* _manager;
  QrcInt _bucketCount;
  Node** _buckets;
  QrcInt _count;
  double _loadFactor;
};

#endif
