// Data collections used as variable domains: integer and numeric ranges,
// with the collection bases they stand on. A collection referenced by
// another object (reference count at least 1) is immutable.
#ifndef QRO_RANGE_H
#define QRO_RANGE_H

#include <iosfwd>

#include "qrosymbol.h"

class QroDataCollectionI;

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

class QroDataCollectionI : public QroWuxBaseObjectI {
  QROSIMPLECLASS(QroDataCollectionI, QroWuxBaseObjectI)
 public:
  explicit QroDataCollectionI(QroEnvI* env) : QroWuxBaseObjectI(env), _name(nullptr), _refCount(0) {}
  ~QroDataCollectionI() override;
  // Non-zero adds one reference, zero removes one.
  void setReferenced(QroBool flag) { _refCount += flag ? 1 : -1; }
  QroBool isReferenced() const { return _refCount >= 1; }
  QroInt getReferenceCount() const { return _refCount; }
  const char* getName() const { return _name; }
  void setName(const char* name);
  // 1 integer range, 2 numeric range, 4 integer set.
  virtual int getKind() const = 0;
  virtual void display(std::ostream& os) const = 0;
  // A copy in env (with its own copy of the name).
  virtual QroDataCollectionI* copy(QroEnvI* env) const = 0;

 protected:
  // ImmutableException when the collection is referenced.
  void checkMutable() const;
  char* _name;
  QroInt _refCount;
};

class QroContinuousDataI : public QroDataCollectionI {
  QROSIMPLECLASS(QroContinuousDataI, QroDataCollectionI)
 public:
  explicit QroContinuousDataI(QroEnvI* env) : QroDataCollectionI(env) {}
  ~QroContinuousDataI() override;
};

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
  void display(std::ostream& os) const override;
  QroDataCollectionI* copy(QroEnvI* env) const override;

 private:
  QroNum _lb;
  QroNum _ub;
};

class QroDiscreteDataCollectionI : public QroDataCollectionI {
  QROSIMPLECLASS(QroDiscreteDataCollectionI, QroDataCollectionI)
 public:
  explicit QroDiscreteDataCollectionI(QroEnvI* env) : QroDataCollectionI(env) {}
  ~QroDiscreteDataCollectionI() override;
  QroBool isSetOrRange() const override { return 1; }
};

class QroIntCollectionI : public QroDiscreteDataCollectionI {
  QROSIMPLECLASS(QroIntCollectionI, QroDiscreteDataCollectionI)
 public:
  explicit QroIntCollectionI(QroEnvI* env) : QroDiscreteDataCollectionI(env) {}
  ~QroIntCollectionI() override;
};

class QroIntAbstractSetI : public QroIntCollectionI {
  QROSIMPLECLASS(QroIntAbstractSetI, QroIntCollectionI)
 public:
  explicit QroIntAbstractSetI(QroEnvI* env) : QroIntCollectionI(env) {}
  ~QroIntAbstractSetI() override;
};

class QroIntRangeI : public QroIntAbstractSetI {
  QROSIMPLECLASS(QroIntRangeI, QroIntAbstractSetI)
 public:
  QroIntRangeI(QroEnvI* env, QroInt lb, QroInt ub) : QroIntAbstractSetI(env), _lb(lb), _ub(ub) {}
  ~QroIntRangeI() override;
  QroInt getMin() const { return _lb; }
  QroInt getMax() const { return _ub; }
  void setLB(QroInt v);
  void setUB(QroInt v);
  void setBoundsUnchecked(QroInt lb, QroInt ub) {
    _lb = lb;
    _ub = ub;
  }
  int getKind() const override { return 1; }
  void display(std::ostream& os) const override;
  QroDataCollectionI* copy(QroEnvI* env) const override;

 private:
  QroInt _lb;
  QroInt _ub;
};

#endif
