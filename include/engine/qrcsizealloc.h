// Pools of fixed block sizes for memory given back one block at a time, and a
// map from 64-bit keys to 64-bit values that starts hashed and can turn dense.
#ifndef QRC_SIZEALLOC_H
#define QRC_SIZEALLOC_H

#include <cstddef>

#include "qrctypes.h"

// One pool: a free list of blocks of one size, refilled from a heap. A pool
// that does not pool takes each block from the system and keeps the blocks
// in use on a list, so that they go with the manager too (releaseLive).
class QrcFixedSizeAllocator {
 public:
  static const QrcInt ChunkBytes = 4000;

  QrcFixedSizeAllocator()
      : _pooling(1), _heap(nullptr), _blockSize(0), _free(nullptr), _chunks(0), _live(nullptr) {}
  void init(QrcMemoryStack* heap, QrcInt blockSize) {
    _heap = heap;
    _blockSize = blockSize;
  }
  void* alloc();
  void free(void* block);
  // A block off the pool's free list, null when the list is empty or the
  // pool does not pool.
  void* takeFree() {
    void* block = _pooling ? _free : nullptr;
    if (block) _free = *static_cast<void**>(block);
    return block;
  }
  // Puts a block back on a pooling pool's list; false for a pool that does not pool.
  bool giveBack(void* block) {
    if (!_pooling) return false;
    *static_cast<void**>(block) = _free;
    _free = block;
    return true;
  }
  void refill();
  void setPooling(int flag) { _pooling = flag; }
  QrcInt getBlockSize() const { return _blockSize; }
  // Number of free blocks on the list (walks it).
  QrcInt countFree() const;
  QrcInt getChunkCount() const { return _chunks; }
  // Gives the system back every block a pool that does not pool has handed out.
  void releaseLive();

 private:
  // Ahead of each block of a pool that does not pool: the list of blocks in use.
  struct LiveLink {
    LiveLink* prev;
    LiveLink* next;
  };
  int _pooling;
  QrcMemoryStack* _heap;
  QrcInt _blockSize;
  void* _free;
  QrcInt _chunks;
  LiveLink* _live;
};

class QrcSizeAllocatorI {
 public:
  static const int ClassCount = 32;

  // Pools refill from the given heap (the manager's global heap).
  QrcSizeAllocatorI(QrcManagerI* manager, QrcMemoryStack* heap);
  virtual ~QrcSizeAllocatorI() {}

  // Size class of a request of n >= 1 bytes; error 51 from 2^30 bytes on.
  int getSizeClass(QrcInt n) const;
  QrcFixedSizeAllocator& getPool(int sizeClass) { return _pools[sizeClass]; }
  void setPooling(int flag);
  // Blocks still in use of pools that do not pool go back to the system.
  void releaseLive();

  // Sized allocation: counts the requested bytes and takes a block of its
  // class (inline while the class has a free block).
  void* allocateSized(QrcInt n) {
    int c = knownClass(n);
    void* p = c >= 0 ? _pools[c].takeFree() : nullptr;
    if (!p) return allocateSizedSlow(n);
    _bytesInUse += n;
    if (_bytesInUse > _peakBytes) _peakBytes = _bytesInUse;
    return p;
  }
  void freeSized(void* block, QrcInt n) {
    int c = knownClass(n);
    if (block && c >= 0 && _pools[c].giveBack(block)) {
      _bytesInUse -= n;
      return;
    }
    freeSizedSlow(block, n);
  }
  QrcInt getBytesInUse() const { return _bytesInUse; }
  QrcInt getPeakBytes() const { return _peakBytes; }

 private:
  // The class of n bytes: eight-byte steps up to 64, then powers of two.
  static int classOf(QrcInt n) {
    if (n <= 64) return static_cast<int>((n - 1) / 8);
    return 71 - __builtin_clzll(static_cast<QrcWord>(n) >> 6);
  }
  // The class of n >= 1 when the allocator has it, else -1.
  static int knownClass(QrcInt n) {
    if (n < 1) return -1;
    int c = classOf(n);
    return c < ClassCount ? c : -1;
  }
  void* allocateSizedSlow(QrcInt n);
  void freeSizedSlow(void* block, QrcInt n);

  QrcManagerI* _manager;
  QrcFixedSizeAllocator _pools[ClassCount];
  QrcInt _bytesInUse;
  QrcInt _peakBytes;
};

// Absent value of the integer maps.
const QrcInt QrcIntMapAbsent = INT64_MIN;

class QrcIntHashMap {
 public:
  struct Node {
    QrcInt key;
    QrcInt value;
    Node* next;
  };

  explicit QrcIntHashMap(QrcManagerI* manager);
  // Value for a key, QrcIntMapAbsent when missing.
  QrcInt get(QrcInt key);
  // Value of a key known to be present.
  QrcInt getExisting(QrcInt key) const;
  bool contains(QrcInt key) const;
  void insert(QrcInt key, QrcInt value);
  // Doubles the buckets when n exceeds the mask.
  void grow(QrcInt n);
  // Writes every value, bucket by bucket in chain order; returns the count.
  QrcInt getValues(QrcInt* out) const;
  QrcInt getBucketCount() const { return _mask + 1; }

  template <class F>
  void forEach(F f) const {
    for (QrcInt b = 0; b <= _mask; ++b)
      for (Node* n = _buckets[b]; n != _sentinel; n = n->next) f(n->key, n->value);
  }

 private:
  QrcManagerI* _manager;
  Node** _buckets;
  QrcInt _mask;
  Node* _sentinel;
};

class QrcIntMap {
 public:
  explicit QrcIntMap(QrcManagerI* manager);
  // A dense map over the keys smallest..largest: values[key - smallest] per
  // key, QrcIntMapAbsent for none; count values are present.
  QrcIntMap(QrcManagerI* manager, QrcInt smallest, QrcInt largest, const QrcInt* values,
            QrcInt count);
  // 0 when the key is present; 1 when stored.
  int add(QrcInt key, QrcInt value);
  bool contains(QrcInt key) const;
  // Value for a key, QrcIntMapAbsent when missing.
  QrcInt get(QrcInt key) const;
  // Turns dense when the key span is at most 4 x count x factor.
  void compact(QrcInt factor);
  // Array of the count values on the manager's heap (key order when dense).
  QrcInt* getValues() const;
  bool isDense() const { return _dense != nullptr; }
  QrcInt getSize() const { return _count; }
  QrcInt getSmallestKey() const { return _smallest; }
  QrcInt getLargestKey() const { return _largest; }
  QrcIntHashMap* getHashMap() const { return _hash; }

 private:
  bool makeDense(QrcInt smallest, QrcInt largest);
  QrcManagerI* _manager;
  QrcInt* _dense;
  QrcInt _count;
  QrcInt _smallest;
  QrcInt _largest;
  QrcIntHashMap* _hash;
};

#endif
