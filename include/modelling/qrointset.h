// Integer sets: values kept in insertion order without duplicates, with a
// value-to-position index built lazily once the set is large enough.
#ifndef QRO_INTSET_H
#define QRO_INTSET_H

#include "qrocollection.h"
#include "qrohash.h"

// Hash table keyed by 64-bit integers.
template <class V>
class QroIntegerHashTable : public QroEnvHashTable<QroInt, V> {
 public:
  QroIntegerHashTable(QroGenAlloc* a, QroInt bucketCount = 31)
      : QroEnvHashTable<QroInt, V>(a, bucketCount, &hashKey, &sameKey) {}
  static QroInt hashKey(QroInt key, QroInt n) { return QroHashMix64(key, n); }
  static bool sameKey(QroInt stored, QroInt key) { return stored == key; }
};

// Value to position.
class QroInt2IndexHashTable : public QroIntegerHashTable<QroInt> {
 public:
  QroInt2IndexHashTable(QroGenAlloc* a, QroInt bucketCount = 31)
      : QroIntegerHashTable<QroInt>(a, bucketCount) {}
  ~QroInt2IndexHashTable() override;
  // Inserts (value, position) unless value is present; true when inserted.
  QroBool insert(QroInt value, QroInt position);
  // The position of value, -1 when absent.
  QroInt getPosition(QroInt value) const;
};

class QroIntSetI : public QroIntAbstractSetI {
  QROSIMPLECLASS(QroIntSetI, QroIntAbstractSetI)
 public:
  // A set holding more than this many values may get an index.
  enum { IndexThreshold = 30 };

  explicit QroIntSetI(QroEnvI* env, QroBool indexed = 1);
  QroIntSetI(QroEnvI* env, const QroIntSetI& other);
  // The values in array order, duplicates skipped.
  QroIntSetI(QroEnvI* env, const QroIntArray& values, QroBool indexed = 1);
  ~QroIntSetI() override;
  QroIntSetI(const QroIntSetI&) = delete;
  QroIntSetI& operator=(const QroIntSetI&) = delete;

  int getKind() const override { return 4; }
  QroBool isIntSet() const override { return 1; }
  // "{ " v1 ", " ... vn " }"; an empty set prints "{ }".
  void display(std::ostream& os) const override;
  QroDataCollectionI* copyInto(QroEnvI* env) const override;

  QroInt getSize() const override { return _values.getSize(); }
  // The set's own array (not a copy).
  QroIntArray getArray() const override { return _values; }
  // QroIndexOutOfBoundsException outside [0, size).
  QroInt getValue(QroInt index) const override;
  QroInt getIntValue(QroInt index) const override { return getValue(index); }
  using QroIntCollectionI::getIndex;
  QroInt getIndex(QroInt value) const override;
  // The word taken as an integer.
  QroInt getIndex(QroAny value) const override;
  QroBool contains(QroInt value) const override { return getIndex(value) != -1; }
  using QroIntCollectionI::contains;
  // QroFirstLastElementNotFoundException for an empty set.
  QroInt first() const override;
  QroInt last() const override;
  // A QroIntSet::Iterator made with the allocator.
  QroDataIterator* iterator(QroGenAlloc* allocator) const override;

  void dropIndex();
  void addAll(const QroIntCollectionI* c);
  void add(QroInt value);
  void add(int value) { add(static_cast<QroInt>(value)); }
  void clear();
  // Keeps the values that c holds, in this set's order.
  void intersectWith(const QroIntCollectionI* c);
  QroBool intersects(const QroIntCollectionI* c) const;
  // A new collection in a's environment holding the values of a that b does
  // not hold; a copy of a when a or b is empty or when both are ranges that
  // do not overlap. `this` is not used.
  QroIntCollectionI* difference(const QroIntCollectionI* a, const QroIntCollectionI* b) const;

  QroBool isIndexed() const { return _indexed; }
  const QroInt2IndexHashTable* getIndexTable() const { return _index; }

 private:
  // Builds the index when the flag (or force) asks for it and the set is
  // large enough.
  void buildIndexIfWanted(QroBool force);
  // Empties an existing index and refills it from the values.
  void refillIndex();
  // Appends value unless present.
  void addValue(QroInt value, QroBool forceIndex);
  void deleteIndex();

  QroBool _indexed;
  QroIntArray _values;
  QroInt2IndexHashTable* _index;
};

class QroIntSet {
 public:
  // Walks the set's values within the bounds, in insertion order.
  class Iterator : public QroIntDefaultDataIterator {
   public:
    // Uses the set's environment allocator.
    explicit Iterator(const QroIntSetI* set);
    Iterator(QroGenAlloc* allocator, const QroIntSetI* set);
    ~Iterator() override;
  };

  QroIntSet(QroIntSetI* impl = nullptr) : _impl(impl) {}
  explicit QroIntSet(const QroEnv& env, QroBool indexed = 1);
  QroIntSet(const QroEnv& env, const QroIntArray& values, QroBool indexed = 1);
  QroIntSetI* getImpl() const { return _impl; }
  QroInt getSize() const { return check()->getSize(); }
  void add(QroInt value) const { check()->add(value); }
  QroBool contains(QroInt value) const { return check()->contains(value); }

 private:
  QroIntSetI* check() const {
    if (!_impl) QroAbortEmptyHandle("Using empty QroIntSet handle");
    return _impl;
  }
  QroIntSetI* _impl;
};

#endif
