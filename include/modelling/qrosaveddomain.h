// Saved domains of solutions: sets of integers and of doubles held in chained
// hash tables with a power-of-two bucket count, and with cached bounds.
#ifndef QRO_SAVEDDOMAIN_H
#define QRO_SAVEDDOMAIN_H

#include "qroarray.h"
#include "qroobject.h"

class QroIntSetI;
class QroIntSet;

// A saved set of integers.
class QroSavedIntDomainI : public QroRttiMemoryManagerObjectI {
  QROSIMPLECLASS(QroSavedIntDomainI, QroRttiMemoryManagerObjectI)
 public:
  class VisitorI {
   public:
    virtual ~VisitorI() {}
    virtual void visit(QroInt value) = 0;
  };

  explicit QroSavedIntDomainI(QroGenAlloc* a) : QroRttiMemoryManagerObjectI(a) {}
  ~QroSavedIntDomainI() override;

  // Adds every integer of [a, b] (nothing when a > b).
  virtual void addRange(QroInt a, QroInt b) = 0;
  virtual void add(QroInt value) = 0;
  virtual void clear() = 0;
  // True when this set holds every value of the other.
  virtual QroBool contains(const QroSavedIntDomainI* other) const = 0;
  virtual QroBool contains(QroInt value) const = 0;
  // Adds every value of the other set.
  virtual void copy(const QroSavedIntDomainI* other) = 0;
  // A new array (from this set's allocator) of the values in table order.
  virtual void getValues(QroIntArray& result) const = 0;
  // The same, sorted ascending.
  virtual void getSortedValues(QroIntArray& result) const = 0;
  // A new integer set of the sorted values, in the allocator's environment.
  virtual void makeIntSet(QroIntSetI*& result) const = 0;
  virtual QroInt getSize() const = 0;
  virtual QroSavedIntDomainI* makeClone(QroGenAlloc* a) const = 0;
  virtual void removeRange(QroInt a, QroInt b) = 0;
  virtual void remove(QroInt value) = 0;
  // Clears, then adds the set's values in its iteration order.
  virtual void setValues(const QroIntSet& set) = 0;
  // +infinity (-infinity) when empty.
  virtual QroInt getMin() const = 0;
  virtual QroInt getMax() const = 0;
  virtual QroBool isEqual(const QroSavedIntDomainI* other) const = 0;
  virtual void visitAll(VisitorI* visitor) const = 0;
};

class QroHashSavedIntDomainI : public QroSavedIntDomainI {
  QROSIMPLECLASS(QroHashSavedIntDomainI, QroSavedIntDomainI)
 public:
  explicit QroHashSavedIntDomainI(QroGenAlloc* a);
  ~QroHashSavedIntDomainI() override;
  QroHashSavedIntDomainI(const QroHashSavedIntDomainI&) = delete;
  QroHashSavedIntDomainI& operator=(const QroHashSavedIntDomainI&) = delete;

  void addRange(QroInt a, QroInt b) override;
  void add(QroInt value) override;
  void clear() override;
  QroBool contains(const QroSavedIntDomainI* other) const override;
  QroBool contains(QroInt value) const override;
  void copy(const QroSavedIntDomainI* other) override;
  void getValues(QroIntArray& result) const override;
  void getSortedValues(QroIntArray& result) const override;
  void makeIntSet(QroIntSetI*& result) const override;
  QroInt getSize() const override { return _count; }
  QroSavedIntDomainI* makeClone(QroGenAlloc* a) const override;
  void removeRange(QroInt a, QroInt b) override;
  void remove(QroInt value) override;
  void setValues(const QroIntSet& set) override;
  QroInt getMin() const override;
  QroInt getMax() const override;
  QroBool isEqual(const QroSavedIntDomainI* other) const override;
  void visitAll(VisitorI* visitor) const override;

  // 0 without a table.
  QroInt getBucketCount() const { return _bucketCount; }

 private:
  struct Node {
    QroInt value;
    Node* next;
  };
  void rehash(QroInt log2);
  void recomputeBounds() const;
  void makeEmpty();

  QroInt _bucketCount;
  QroInt _log2;
  QroInt _count;
  Node** _buckets;
  mutable QroInt _min;
  mutable QroInt _max;
  mutable QroBool _boundsValid;
};

// A saved set of doubles.
class QroSavedNumDomainI : public QroMemoryManagerObjectI {
 public:
  explicit QroSavedNumDomainI(QroGenAlloc* a);
  ~QroSavedNumDomainI() override;
  QroSavedNumDomainI(const QroSavedNumDomainI&) = delete;
  QroSavedNumDomainI& operator=(const QroSavedNumDomainI&) = delete;

  // -0.0 is kept as 0.0.
  void add(QroNum value);
  QroBool contains(QroNum value) const;
  QroInt getSize() const { return _count; }
  // +infinity (-infinity) when empty.
  QroNum getMin() const { return _min; }
  QroNum getMax() const { return _max; }
  QroInt getBucketCount() const { return _bucketCount; }
  // The bucket of a value in a table of 2^log2 buckets.
  static QroInt Hash(QroNum value, QroInt log2, QroInt bucketCount);

 private:
  struct Node {
    QroNum value;
    Node* next;
  };
  void rehash(QroInt log2);
  void release();

  QroInt _bucketCount;
  QroInt _log2;
  QroInt _count;
  Node** _buckets;
  QroNum _min;
  QroNum _max;
};

#endif
