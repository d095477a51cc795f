// Sets of integer tuples of one arity, filled by add and frozen by close.
// A closed set answers membership through a hash of its tuples and serves the
// table constraints with per-column indexes: for each column, a map from the
// column's distinct values to value indexes and, per value index, the list of
// the tuples holding that value there, oldest first. Two storage modes add
// jump links between tuples:
//  - mode 1: per tuple, for every column and value index, the nearest newer
//    tuple holding that value in that column;
//  - mode 2: per column, the distinct values sorted, and per tuple a probe
//    value and probe link per column, the probe values cycling through the
//    sorted values along the tuples from the newest to the oldest.
// Tuples are numbered in the order of adding (0 for the oldest).
#ifndef QRC_TUPLESET_H
#define QRC_TUPLESET_H

#include "qrcint.h"
#include "qrcsizealloc.h"

struct QrcTupleNode;

// Mode 1 extra record of a tuple.
struct QrcTupleMode1 {
  const QrcInt* values;
  QrcInt width;  // the largest distinct-value count of any column
  QrcInt arity;
  QrcInt number;
  // next[column * width + value index]: the nearest newer tuple holding that value there.
  QrcTupleNode** next;
};

// Mode 2 extra record of a tuple.
struct QrcTupleMode2 {
  QrcInt number;
  QrcTupleMode2* newer;  // the record of the next newer tuple
  QrcTupleNode* node;
  QrcInt* probeValue;         // per column
  QrcTupleMode2** probeLink;  // per column: nearest newer tuple holding the probe value
};

struct QrcTupleNode {
  QrcInt* values;
  QrcTupleNode** columnNext;  // per column: the next newer tuple with the same value there
  QrcTupleNode* hashNext;
  QrcTupleNode* listNext;  // the next older tuple
  void* extra;             // QrcTupleMode1 or QrcTupleMode2 record, by storage mode
  QrcInt number;
  QrcTupleMode1* mode1() const { return static_cast<QrcTupleMode1*>(extra); }
  QrcTupleMode2* mode2() const { return static_cast<QrcTupleMode2*>(extra); }
};

struct QrcTupleColumn {
  QrcInt size;           // number of distinct values
  QrcInt first;          // the smallest value
  bool consecutive;      // whether the values are consecutive integers
  QrcIntMap* index;      // value -> value index
  QrcInt* values;        // value of each index (the values of a QrcIntArray)
  QrcTupleNode** heads;  // per value index: the oldest tuple holding it (made with the nodes)
  QrcInt* sortedValues;  // the distinct values in increasing order
  QrcInt* rank;          // rank of each value index in that order
  // The lists as slots: the tuples of value index i fill slots
  // slotStart[i] .. slotStart[i + 1] - 1, oldest first.
  QrcInt* slotStart;
  int32_t* slotTuple;  // tuple number of each slot
  // Mode 0: the values of each slot's tuple (arity per slot); null for wide tuples.
  QrcInt* slotValues;
  // Mode 0, when the columns have at most 64 values and the words stay few:
  // per value index i, from bitStart[i], the list's tuples as bits, one row
  // of words per column and rank of value (the set's rank start plus the
  // rank): bit s of a row is set when the list's s-th tuple holds that value.
  QrcInt* bitStart;
  QrcUInt* bits;
};

class QrcTupleSetI {
 public:
  QrcTupleSetI(QrcManagerI* manager, QrcInt arity);

  // Adds a copy of the n values. Code 5 when n differs from the arity, 55 when closed.
  void add(const QrcInt* values, QrcInt n);
  // Builds the indexes in the storage mode; nothing when already closed.
  void close();
  // Code 5 when n differs from the arity, 56 when the set is open.
  QrcBool isIn(const QrcInt* values, QrcInt n) const;
  // The mode of the next close (0, 1 or 2; other values give 0); nothing once closed.
  // A manager owned by a solver takes the solver's option instead.
  void setStorageMode(QrcInt mode);

  QrcManagerI* getManager() const { return _manager; }
  QrcInt getArity() const { return _arity; }
  QrcBool isClosed() const { return _closed; }
  QrcInt getCount() const { return _count; }
  QrcInt getStorageMode() const { return _mode; }
  // The largest distinct-value count of any column (after close).
  QrcInt getWidth() const { return _width; }
  const QrcTupleColumn& getColumn(QrcInt k) const { return _columns[k]; }
  // Value index of a value in a column, -1 when no tuple holds it there.
  QrcInt getValueIndex(QrcInt column, QrcInt value) const;
  // After close, the tuples as nodes: the oldest tuple holding the value in
  // the column, null when none; the newest tuple.
  QrcTupleNode* getFirst(QrcInt column, QrcInt value) const;
  QrcTupleNode* getNewest() const;
  // The tuple of a number (walks the list), null when none. The first
  // request makes the tuples' mode 1 or mode 2 records.
  QrcTupleNode* getTuple(QrcInt number) const;
  // After close, by tuple number: the values (arity per tuple) and, per
  // column, the tuple's slot in its column list.
  const QrcInt* getValues() const { return _values; }
  const int32_t* getSlots() const { return _slots; }
  // Modes 1 and 2: the rows the searches read, in rank space. A value is
  // kept as its rank in its column (the rank-th smallest of the column's
  // values), a tuple as its number, "none" as the largest number of the
  // element type: 8 bits while the set has fewer than 255 tuples, 16 bits
  // while it has fewer than 65535, else 32.
  // Rows start on cache lines.
  //  - mode 1, per tuple: its ranks, then arity x width links: element
  //    arity + c * width + r is the nearest newer tuple with rank r at c;
  //  - mode 2, per tuple: its ranks, its probe ranks, its probe links and its
  //    slots (arity each); per column, per slot: the slot's tuple then its ranks.
  // Bytes per row element: 1, 2 or 4.
  QrcInt getRowBytes() const { return _rowBytes; }
  const void* getRows() const { return _rows; }
  // Elements per tuple row.
  QrcInt getRowStride() const { return _rowStride; }
  // Mode 1: the links by column, rank and tuple: element (c * width + r) *
  // count + t is the oldest tuple not older than t with rank r at c, else
  // none. Null over columns of more than 64 values, or past 4 MiB.
  const void* getAfter() const { return _after; }
  // Mode 1, where the links by tuple are kept: per column k, one row per
  // slot of k's lists, over the other columns c in order: their ranks, then
  // per c and rank r (width each) the slot of the candidate a jump from this
  // slot's tuple reaches through its link for rank r at c: the oldest tuple
  // of the same (k, value) list not older than that link; none when either
  // is missing. Null without the links by tuple.
  const void* getJumpRows(QrcInt column) const { return _jumpRows ? _jumpRows[column] : nullptr; }
  QrcInt getJumpStride() const { return _jumpStride; }
  // Mode 2, when arity lanes of 2^lane bits (lane 3 to 6) hold the width:
  // per column, per slot, the slot's ranks as bit (j << lane) + rank at j.
  const QrcUInt* getSlotHits(QrcInt column) const {
    return _slotHits ? _slotHits[column] : nullptr;
  }
  QrcInt getHitLane() const { return _hitLane; }
  // Mode 2: the slot rows of a column, arity + 1 elements per slot.
  const void* getSlotRows(QrcInt column) const { return _slotRows[column]; }
  // Whether the column's values are consecutive integers.
  bool isConsecutive(QrcInt column) const { return _columns[column].consecutive; }
  // Mode 0: the first row of each column in the lists' bits; null without bits.
  const QrcInt* getRankStart() const { return _rankStart; }
  // Binary support searches walk lists of at most so many tuples without the
  // bits: a binary set whose lists are all that short has none.
  static const QrcInt ShortPairList = 8;
  // The same tuples in another manager, closed when this set is.
  QrcTupleSetI* copyForManager(QrcManagerI* target) const;

 private:
  // Room for more tuples' values.
  void growValues();
  void buildColumns();
  // Column k's map and value indexes (into _slots, tuple by tuple); the number of values.
  QrcInt buildIndex(QrcInt k);
  // Made on first use: the tuple nodes and the column lists on the first
  // request of a node, the hash on the first membership test, the mode 1 and
  // 2 records on the first request of a tuple.
  void buildNodes() const;
  void buildHash() const;
  void buildMode1() const;
  void buildMode2() const;
  // Whether no backtrack can take the set's close back: it was closed, or
  // is used now, outside every search and push state.
  bool isLasting() const;
  // Room for what is made on first use: on the manager's global heap when
  // the set is lasting, else on its heap.
  template <typename T>
  T* indexArray(QrcInt n) const;
  // Saves a field set on first use on the trail, unless the set is lasting.
  void keepIndex(void* field) const;
  void buildRanks();
  void buildBits();
  template <int R>
  void buildBitsOf();
  // Per tuple, the rank of its value in each column (arity per tuple).
  void tupleRanks(QrcInt* ranks) const;
  // The row builders take the arity R as a constant for 2, 3 and 4 (0: read).
  template <typename T>
  void buildRows1();
  template <typename T, int R>
  void buildRows1Of();
  template <typename T>
  void buildRows2();
  template <typename T, int R>
  void buildRows2Of();
  // Mode 2's pieces: the tuple rows from the tuples' ranks (with room for
  // the width after them), the slot rows, the slots' lane words.
  template <typename T, int R>
  void fillRows2(T* rows, QrcInt* ranks);
  template <typename T, int R>
  void buildSlotRows();
  template <typename T, int R>
  void buildSlotHits();
  template <typename T, int R>
  void buildJumpRows();
  // Room for n elements of the row type, from a cache line on.
  void* allocRows(QrcInt n);
  QrcInt chooseMode() const;

  QrcManagerI* _manager;
  QrcInt _arity;
  QrcBool _closed;
  // 1 when closed outside every search and push state.
  QrcInt _lasting;
  mutable QrcTupleNode* _newest;
  QrcInt _count;
  QrcInt _capacity;  // tuples the values have room for
  mutable QrcInt _hashMask;
  mutable QrcTupleNode** _buckets;
  QrcTupleColumn* _columns;
  QrcInt _mode;
  QrcInt _width;
  QrcInt* _values;
  int32_t* _slots;
  QrcInt _rowBytes;
  QrcInt _rowStride;
  void* _rows;
  void** _slotRows;
  void* _after;
  void** _jumpRows;
  QrcInt _jumpStride;
  QrcUInt** _slotHits;
  QrcInt _hitLane;
  QrcInt* _rankStart;
};

// Handle of a tuple set. Operations on an empty handle stop with code 39.
class QrcTupleSet {
 public:
  QrcTupleSet() : _impl(nullptr) {}
  QrcTupleSet(QrcTupleSetI* impl) : _impl(impl) {}
  // An empty, open set of the given arity (code 5 for a negative arity).
  QrcTupleSet(const QrcManager& manager, QrcInt arity);
  QrcTupleSetI* getImpl() const { return _impl; }

  void add(const QrcIntArray& tuple) const;
  void close() const;
  QrcBool isIn(const QrcIntArray& tuple) const;
  void setStorageMode(QrcInt mode) const;
  QrcInt getArity() const;
  QrcInt getCount() const;

 private:
  QrcTupleSetI* check(const char* place) const;
  QrcTupleSetI* _impl;
};

#endif
