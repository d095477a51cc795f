// Memory of the environment: size-class pools carved from large blocks, a
// doubly linked list of large blocks, and a bump allocator over chained
// segments. Nothing goes back to the system before the owner is destroyed.
#ifndef QRO_ALLOCATOR_H
#define QRO_ALLOCATOR_H

#include <cstddef>
#include <iosfwd>

#include "qroexception.h"
#include "qrotypes.h"

class QroEnvMemoryManager;

// Blocks taken one by one from the system, each behind a three-word header
// {size, previous, next}.
class QroLargeBlockList {
 public:
  // sizeWord is -1 for the memory manager's list, the cell size for a pool's own list.
  explicit QroLargeBlockList(QroInt sizeWord = -1)
      : _head(nullptr), _total(0), _sizeWord(sizeWord) {}
  ~QroLargeBlockList();
  QroLargeBlockList(const QroLargeBlockList&) = delete;
  QroLargeBlockList& operator=(const QroLargeBlockList&) = delete;

  void* alloc(size_t size);
  void free(void* p);
  // Releases every block.
  void releaseAll();

  QroInt getTotal() const { return _total; }
  QroInt getSizeWord() const { return _sizeWord; }
  QroInt getBlockCount() const;

 private:
  struct Header {
    QroInt size;
    Header* prev;
    Header* next;
  };
  Header* _head;
  QroInt _total;
  QroInt _sizeWord;
};

// A size class: fixed-size cells on a free list (last freed, first reused).
class QroMemoryPool {
 public:
  QroMemoryPool(QroInt cellSize, QroBool useIt);
  ~QroMemoryPool();
  QroMemoryPool(const QroMemoryPool&) = delete;
  QroMemoryPool& operator=(const QroMemoryPool&) = delete;

  // The memory manager receives the leftovers of a refill in its smaller pools.
  void* alloc(QroEnvMemoryManager* owner);
  void free(void* p);
  // Pushes a cell on the free list without touching the counters.
  void pushFree(void* cell) {
    *static_cast<void**>(cell) = _firstCell;
    _firstCell = cell;
  }

  QroInt getCellSize() const { return _cellSize; }
  QroBool usesPooling() const { return _useIt; }
  QroInt getBytesInUse() const { return _bytesInUse; }
  QroInt getBytesFromSystem() const { return _bytesFromSystem; }
  // Number of cells on the free list.
  QroInt getFreeCount() const;
  void* peekFree() const { return _firstCell; }

 private:
  void* refill(QroEnvMemoryManager* owner);

  QroBool _useIt;
  QroInt _cellSize;
  void* _firstCell;
  void* _blocks;
  QroInt _bytesInUse;
  QroInt _bytesFromSystem;
  QroLargeBlockList* _allocationList;
};

class QroEnvMemoryManager {
 public:
  enum { MaxPools = 60, DefaultLimit = 4001 };

  // The limit is read from QRO_MEMORY_MANAGER_LIMIT when set.
  explicit QroEnvMemoryManager(QroBool pooling = 1);
  ~QroEnvMemoryManager();
  QroEnvMemoryManager(const QroEnvMemoryManager&) = delete;
  QroEnvMemoryManager& operator=(const QroEnvMemoryManager&) = delete;

  void* alloc(size_t size);
  // The size must be the one given to alloc.
  void free(void* p, size_t size);

  // Pool index of a request size; QroMemoryException when no such pool exists.
  QroInt getPoolIndex(size_t size) const;
  // Pool index of a size without the existence check (size at least 1).
  static QroInt PoolIndexOf(QroUInt size);

  QroInt getPoolCount() const { return _poolCount; }
  QroMemoryPool* getPool(QroInt i) const { return _pools[i]; }
  QroInt getLimit() const { return _limit; }
  QroBool usesPooling() const { return _pooling; }
  const QroLargeBlockList& getLargeBlocks() const { return _large; }
  // True when a request of this size is served by the large-block list.
  bool isLarge(size_t size) const;
  // Bytes handed out and not yet returned, pools and large blocks together.
  QroInt getBytesInUse() const;

 private:
  void makePool(QroInt cellSize);

  QroMemoryPool* _pools[MaxPools];
  QroLargeBlockList _large;
  QroInt _limit;
  QroInt _poolCount;
  QroBool _pooling;
};

// Bump allocator over chained segments of 8-byte words; requests take a whole
// number of 16-byte units. Freeing only counts the bytes; reset reuses every
// segment from the first.
class QroAllocationStack {
 public:
  enum { DefaultCapacity = 1000 };

  class NullIndex : public QroException {
   public:
    NullIndex() : QroException(nullptr) {}
    ~NullIndex() override;
    void print(std::ostream& os) const override;
  };

  QroAllocationStack();
  ~QroAllocationStack();
  QroAllocationStack(const QroAllocationStack&) = delete;
  QroAllocationStack& operator=(const QroAllocationStack&) = delete;

  void* alloc(size_t size);
  void free(void*, size_t size) { _freedBytes += static_cast<QroInt>(size); }
  void reset();

  // With a null stack the request goes to the system.
  static void* alloc(size_t size, QroAllocationStack* stack);

  QroInt getTopIndex() const { return _topIndex; }
  QroInt getReservedBytes() const { return _reserved; }
  QroInt getFreedBytes() const { return _freedBytes; }
  QroInt getSegmentCount() const;

 private:
  struct Segment {
    QroInt* data;
    QroInt capacity;
    QroInt base;
    Segment* prev;
    Segment* next;
  };
  Segment* newSegment(QroInt capacity, QroInt base);
  void releaseFrom(Segment* s);
  void moveOn(QroInt words);

  Segment* _current;
  Segment* _first;
  QroInt* _top;
  QroInt _topIndex;
  QroInt _reserved;
  QroInt _freedBytes;
};

#endif
