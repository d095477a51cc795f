// Integer and numeric ranges: data collections that also serve as the shared
// domains of modelling variables.
#ifndef QRO_RANGE_H
#define QRO_RANGE_H

#include "qrocollection.h"

class QroNumRangeI : public QroContinuousDataI {
  QROSIMPLECLASS(QroNumRangeI, QroContinuousDataI)
 public:
  QroNumRangeI(QroEnvI* env, QroNum lb, QroNum ub) : QroContinuousDataI(env), _lb(lb), _ub(ub) {}
  ~QroNumRangeI() override;
  QroNum getLB() const { return _lb; }
  QroNum getUB() const { return _ub; }
  void setLB(QroNum v);
  void setUB(QroNum v);
  // Sets both bounds without the immutability check (scratch keys).
  void setBoundsUnchecked(QroNum lb, QroNum ub) {
    _lb = lb;
    _ub = ub;
  }
  int getKind() const override { return 2; }
  QroBool isSetOrRange() const override { return 1; }
  QroBool isNumRange() const override { return 1; }
  // "[" lb " ," ub "]"
  void display(std::ostream& os) const override;
  QroDataCollectionI* copyInto(QroEnvI* env) const override;

 private:
  QroNum _lb;
  QroNum _ub;
};

class QroIntRangeI : public QroIntAbstractSetI {
  QROSIMPLECLASS(QroIntRangeI, QroIntAbstractSetI)
 public:
  QroIntRangeI(QroEnvI* env, QroInt lb, QroInt ub) : QroIntAbstractSetI(env), _lb(lb), _ub(ub) {}
  ~QroIntRangeI() override;

  // No emptiness check.
  QroInt getMin() const override { return _lb; }
  QroInt getMax() const override { return _ub; }
  QroInt first() const override { return _lb; }
  QroInt last() const override { return _ub; }
  void setLB(QroInt v);
  void setUB(QroInt v);
  void setBoundsUnchecked(QroInt lb, QroInt ub) {
    _lb = lb;
    _ub = ub;
  }

  int getKind() const override { return 1; }
  QroBool isIntRange() const override { return 1; }
  QroBool isRangeCollection() const override { return 1; }
  // "[" lb " ," ub "]"
  void display(std::ostream& os) const override;
  QroDataCollectionI* copyInto(QroEnvI* env) const override;

  // +infinity when a bound is infinite, 0 when empty.
  QroInt getSize() const override;
  using QroIntCollectionI::getIndex;
  // value - lb, -1 outside the range; QroIntExpr::QroOverflowOccurred when
  // the difference exceeds 2^53 - 1.
  QroInt getIndex(QroInt value) const override;
  QroInt getIntValue(QroInt index) const override { return getValue(index); }
  // lb + index; QroWrongUsage for a negative or too large index.
  QroInt getValue(QroInt index) const override;
  QroBool contains(QroInt value) const override { return _lb <= value && value <= _ub; }
  using QroIntCollectionI::contains;
  // A new array in the range's environment, owned by the caller;
  // QroMemoryException for a range too large to hold.
  QroIntArray getArray() const override;
  // A QroIntRange::Iterator over the whole range.
  QroDataIterator* iterator(QroGenAlloc* allocator) const override;

 private:
  QroInt _lb;
  QroInt _ub;
};

// Handles.
class QroIntRange {
 public:
  // Walks lb, lb + 1, ..., ub; a range with an infinite bound is not walked
  // unless clipped with setBounds.
  class Iterator : public QroIntDataIterator {
   public:
    // Uses the range's environment allocator.
    explicit Iterator(const QroIntRangeI* range);
    Iterator(QroGenAlloc* allocator, const QroIntRangeI* range);
    ~Iterator() override;
    QroBool next() override;
    // Restarts at the lower bound of the current bounds.
    void reset() override;
    QroInt getMinBound() const override;
    QroInt getMaxBound() const override;
    // Clips [lb, ub] to the range and restarts.
    void setBounds(QroInt lb, QroInt ub) override;

   private:
    const QroIntRangeI* range() const { return static_cast<const QroIntRangeI*>(_collection); }
  };

  QroIntRange(QroIntRangeI* impl = nullptr) : _impl(impl) {}
  QroIntRange(const QroEnv& env, QroInt lb, QroInt ub);
  QroIntRangeI* getImpl() const { return _impl; }

 private:
  QroIntRangeI* _impl;
};

class QroNumRange {
 public:
  QroNumRange(QroNumRangeI* impl = nullptr) : _impl(impl) {}
  QroNumRange(const QroEnv& env, QroNum lb, QroNum ub);
  QroNumRangeI* getImpl() const { return _impl; }

 private:
  QroNumRangeI* _impl;
};

#endif
