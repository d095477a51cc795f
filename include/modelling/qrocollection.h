// Data collections of the modelling layer: the bases shared by integer ranges,
// numeric ranges and integer sets, the element wrapper QroObjectBase, the
// collection exceptions and the integer iterators. A collection referenced by
// another object (reference count at least 1) is immutable.
#ifndef QRO_COLLECTION_H
#define QRO_COLLECTION_H

#include <iosfwd>

#include "qroarray.h"
#include "qrosymbol.h"

class QroDataCollectionI;
class QroDataIterator;
class QroIntCollectionI;

typedef void* QroAny;

// Bounds standing for minus and plus infinity in integer collections.
const QroInt QroIntCollectionInfinity = QroIntMax;

// One element carried as an object: a type tag and a value word.
class QroObjectBase {
 public:
  enum { IntTag = 4 };
  QroObjectBase() : _tag(0), _value(0) {}
  explicit QroObjectBase(QroInt value) : _tag(IntTag), _value(value) {}
  QroObjectBase(QroInt tag, QroInt word) : _tag(tag), _value(word) {}
  virtual ~QroObjectBase();
  QroInt getTag() const { return _tag; }
  QroInt getIntValue() const { return _value; }

 private:
  QroInt _tag;
  QroInt _value;
};

// ---------------------------------------------------------------------------
// Exceptions

class QroDataCollection {
 public:
  class ImmutableException : public QroException {
   public:
    explicit ImmutableException(const QroDataCollectionI* c)
        : QroException("the Collection is referenced by another and is immutable"), _c(c) {}
    ~ImmutableException() override;
    void print(std::ostream& os) const override;
    const QroDataCollectionI* getCollection() const { return _c; }

   private:
    const QroDataCollectionI* _c;
  };
};

// An exception without a stored message: getMessage renders print into a
// character array kept with the exception.
class QroRenderedMessageException : public QroException {
 public:
  QroRenderedMessageException() : QroException(nullptr), _rendered(nullptr) {}
  QroRenderedMessageException(const QroRenderedMessageException& other)
      : QroException(other), _rendered(nullptr) {}
  QroRenderedMessageException& operator=(const QroRenderedMessageException& other);
  ~QroRenderedMessageException() override;
  const char* getMessage() const override;

 private:
  mutable char* _rendered;
};

class QroIndexOutOfBoundsException : public QroRenderedMessageException {
 public:
  QroIndexOutOfBoundsException(const QroDataCollectionI* c, QroInt index) : _c(c), _index(index) {}
  ~QroIndexOutOfBoundsException() override;
  void print(std::ostream& os) const override;
  const QroDataCollectionI* getCollection() const { return _c; }
  QroInt getIndex() const { return _index; }

 private:
  const QroDataCollectionI* _c;
  QroInt _index;
};

class QroFirstLastElementNotFoundException : public QroRenderedMessageException {
 public:
  // A non-zero flag stands for first(), zero for last().
  explicit QroFirstLastElementNotFoundException(QroBool first) : _first(first) {}
  ~QroFirstLastElementNotFoundException() override;
  virtual const char* getOperationName() const { return _first ? "first()" : "last()"; }
  void print(std::ostream& os) const override;
  QroBool isFirst() const { return _first; }

 private:
  QroBool _first;
};

// A neighbour look-up that failed: the element looked from, the direction (1
// forward) and whether the look-up was circular.
class QroOperatorException : public QroException {
 public:
  QroOperatorException(const QroObjectBase& element, QroBool forward, QroBool circular)
      : QroException(nullptr), _element(element), _forward(forward), _circular(circular) {}
  ~QroOperatorException() override;
  const QroObjectBase& getElement() const { return _element; }
  QroBool isForward() const { return _forward; }
  QroBool isCircular() const { return _circular; }

 private:
  QroObjectBase _element;
  QroBool _forward;
  QroBool _circular;
};

class QroCollectionElementNotFoundException : public QroOperatorException {
 public:
  QroCollectionElementNotFoundException(const QroObjectBase& e, QroBool forward, QroBool circular)
      : QroOperatorException(e, forward, circular) {}
  ~QroCollectionElementNotFoundException() override;
};

class QroOperatorNextElementNotFoundException : public QroOperatorException {
 public:
  QroOperatorNextElementNotFoundException(const QroObjectBase& e, QroBool forward, QroBool circular)
      : QroOperatorException(e, forward, circular) {}
  ~QroOperatorNextElementNotFoundException() override;
};

// ---------------------------------------------------------------------------
// Collection bases

class QroDataCollectionI : public QroWuxBaseObjectI {
  QROSIMPLECLASS(QroDataCollectionI, QroWuxBaseObjectI)
 public:
  explicit QroDataCollectionI(QroEnvI* env)
      : QroWuxBaseObjectI(env), _name(nullptr), _refCount(0) {}
  ~QroDataCollectionI() override;

  // A copy of the collection in the other environment.
  QroRttiEnvObjectI* makeWuxClone(QroEnvI* other) const override;
  // Non-zero adds one reference, zero removes one.
  virtual void setReferenced(QroBool flag) { _refCount += flag ? 1 : -1; }
  // A new collection of the same class, contents and name, not referenced.
  virtual QroDataCollectionI* copy() const { return copyInto(_env); }
  // 1 integer range, 2 numeric range, 4 integer set.
  virtual int getKind() const = 0;
  virtual QroBool isIntRange() const { return 0; }
  virtual QroBool isNumRange() const { return 0; }
  virtual QroBool isIntSet() const { return 0; }
  virtual QroBool isIntCollection() const { return 0; }
  virtual void display(std::ostream& os) const = 0;
  // Like copy, allocated in env.
  virtual QroDataCollectionI* copyInto(QroEnvI* env) const = 0;

  QroBool isReferenced() const { return _refCount >= 1; }
  QroInt getReferenceCount() const { return _refCount; }
  const char* getName() const { return _name; }
  // Keeps a private copy of the text (null removes the name).
  void setName(const char* name);

 protected:
  // ImmutableException when the collection is referenced.
  void checkMutable() const;
  char* _name;
  QroInt _refCount;
};

std::ostream& operator<<(std::ostream& os, const QroDataCollectionI& c);

class QroContinuousDataI : public QroDataCollectionI {
  QROSIMPLECLASS(QroContinuousDataI, QroDataCollectionI)
 public:
  explicit QroContinuousDataI(QroEnvI* env) : QroDataCollectionI(env) {}
  ~QroContinuousDataI() override;
};

class QroDiscreteDataCollectionI : public QroDataCollectionI {
  QROSIMPLECLASS(QroDiscreteDataCollectionI, QroDataCollectionI)
 public:
  explicit QroDiscreteDataCollectionI(QroEnvI* env) : QroDataCollectionI(env) {}
  ~QroDiscreteDataCollectionI() override;
  QroBool isSetOrRange() const override { return 1; }

  virtual QroInt getSize() const = 0;
  virtual QroObjectBase getObject(QroInt index) const = 0;
  // An iterator made with the allocator; QroNotImplemented in the base.
  virtual QroDataIterator* iterator(QroGenAlloc* allocator) const;
  // Position of a value, -1 when absent.
  virtual QroInt getIndex(const QroObjectBase& element) const;
  virtual QroInt getIndex(QroAny value) const;
  virtual QroInt getIndex(QroNum value) const;
  virtual QroInt getIndex(QroInt value) const;
  QroInt getIndex(int value) const { return getIndex(static_cast<QroInt>(value)); }
  virtual QroInt getIntValue(QroInt index) const;
  virtual QroNum getNumValue(QroInt index) const;
  virtual QroAny getAnyValue(QroInt index) const;
  virtual QroBool isBasicCollection() const { return 1; }
  virtual QroBool isRangeCollection() const { return 0; }
};

class QroIntCollectionI : public QroDiscreteDataCollectionI {
  QROSIMPLECLASS(QroIntCollectionI, QroDiscreteDataCollectionI)
 public:
  explicit QroIntCollectionI(QroEnvI* env) : QroDiscreteDataCollectionI(env) {}
  ~QroIntCollectionI() override;
  QroBool isIntCollection() const override { return 1; }
  QroObjectBase getObject(QroInt index) const override { return QroObjectBase(getValue(index)); }
  using QroDiscreteDataCollectionI::getIndex;
  // The value of the element.
  QroInt getIndex(const QroObjectBase& element) const override {
    return getIndex(element.getIntValue());
  }
  QroInt getIndex(QroAny value) const override;
  // The position of floor(value); -1 when that is no 64-bit integer.
  QroInt getIndex(QroNum value) const override;
  QroInt getIndex(QroInt value) const override;
  QroInt getIntValue(QroInt index) const override;
  QroNum getNumValue(QroInt index) const override;
  QroAny getAnyValue(QroInt index) const override;

  // The values as an array (see each class for ownership).
  virtual QroIntArray getArray() const = 0;
  virtual QroBool contains(QroInt value) const = 0;
  QroBool contains(int value) const { return contains(static_cast<QroInt>(value)); }
  virtual QroInt getValue(QroInt index) const = 0;
};

class QroIntAbstractSetI : public QroIntCollectionI {
  QROSIMPLECLASS(QroIntAbstractSetI, QroIntCollectionI)
 public:
  explicit QroIntAbstractSetI(QroEnvI* env) : QroIntCollectionI(env) {}
  ~QroIntAbstractSetI() override;
  QroBool isBasicCollection() const override { return 0; }

  // The value k positions after (before) value; QroCollectionElementNotFound-
  // Exception when value is absent, QroOperatorNextElementNotFoundException
  // when the position falls outside the collection.
  virtual QroInt next(QroInt value, QroInt k = 1) const;
  virtual QroInt prev(QroInt value, QroInt k = 1) const;
  // Circular versions: positions wrap around.
  virtual QroInt nextC(QroInt value, QroInt k = 1) const;
  virtual QroInt prevC(QroInt value, QroInt k = 1) const;
  virtual QroInt first() const = 0;
  virtual QroInt last() const = 0;
  // Linear scan; +infinity (-infinity) for an empty collection.
  virtual QroInt getMin() const;
  virtual QroInt getMax() const;

 private:
  QroInt positionOf(QroInt value, QroBool forward, QroBool circular) const;
};

// ---------------------------------------------------------------------------
// Iterators: allocated from (and returned to) a QroGenAlloc.

class QroDataIterator : public QroMemoryManagerObjectI {
 public:
  explicit QroDataIterator(QroGenAlloc* a = nullptr)
      : QroMemoryManagerObjectI(a), _collection(nullptr), _valid(0) {}
  ~QroDataIterator() override;
  QroDataIterator(const QroDataIterator&) = delete;
  QroDataIterator& operator=(const QroDataIterator&) = delete;
  // Stores the collection; without an allocator yet, takes its environment's.
  virtual void attach(const QroDataCollectionI* c);
  // Moves to the next element; false at the end.
  virtual QroBool next() = 0;
  virtual void reset() {}
  QroBool ok() const { return _valid; }
  const QroDataCollectionI* getCollection() const { return _collection; }

 protected:
  const QroDataCollectionI* _collection;
  QroBool _valid;
};

class QroIntDataIterator : public QroDataIterator {
 public:
  explicit QroIntDataIterator(QroGenAlloc* a = nullptr)
      : QroDataIterator(a),
        _lb(-QroIntCollectionInfinity),
        _ub(QroIntCollectionInfinity),
        _current(0),
        _position(-1) {}
  ~QroIntDataIterator() override;
  // From the start of the collection: position -1, then next.
  void reset() override;
  virtual QroInt getMinBound() const { return -QroIntCollectionInfinity; }
  virtual QroInt getMaxBound() const { return QroIntCollectionInfinity; }
  // Walks only the values within [lb, ub] (clamped to the infinities).
  virtual void setBounds(QroInt lb, QroInt ub);

  QroInt getValue() const { return _current; }
  QroInt operator*() const { return _current; }
  QroIntDataIterator& operator++() {
    next();
    return *this;
  }
  QroInt getLowerBound() const { return _lb; }
  QroInt getUpperBound() const { return _ub; }

 protected:
  QroInt _lb;
  QroInt _ub;
  QroInt _current;
  QroInt _position;
};

// Walks the values of an integer collection in position order.
class QroIntDefaultDataIterator : public QroIntDataIterator {
 public:
  explicit QroIntDefaultDataIterator(QroGenAlloc* a = nullptr) : QroIntDataIterator(a) {}
  ~QroIntDefaultDataIterator() override;
  QroBool next() override;
  QroInt getMinBound() const override;
  QroInt getMaxBound() const override;
};

#endif
