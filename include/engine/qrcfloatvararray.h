// Engine arrays of float variables (index range [0, n), step 1).
#ifndef QRC_FLOAT_VAR_ARRAY_H
#define QRC_FLOAT_VAR_ARRAY_H

#include "qrcfloatexp.h"
#include "qrcint.h"

class QrcFloatVarArrayI : public QrcExpArrayI {
 public:
  // n empty slots; n < 0 is error 5 "bad array size".
  QrcFloatVarArrayI(QrcManagerI* manager, QrcInt n);
  // The array's name (or "QrcFloatVarArrayI"), then "[" the elements "]".
  void display(std::ostream& os) const override;
  QrcFloatExpI* get(QrcInt i) const {
    return static_cast<QrcFloatExpI*>(QrcExpArrayI::get(position(i)));
  }
  void set(QrcInt i, QrcFloatExpI* e) { elementAt(position(i)) = e; }
  QrcFloatExpI** getElements() const { return reinterpret_cast<QrcFloatExpI**>(getStorage()); }

 private:
  QrcInt position(QrcInt i) const { return (i - _first) / getStep(); }
};

class QrcFloatVarArray {
 public:
  QrcFloatVarArray() : _impl(nullptr) {}
  QrcFloatVarArray(QrcFloatVarArrayI* impl) : _impl(impl) {}
  QrcFloatVarArray(const QrcManager& manager, QrcInt n);
  // n elements: x, then copies of x made for the same manager.
  QrcFloatVarArray(const QrcManager& manager, QrcInt n, const QrcFloatVar& x);
  QrcFloatVarArrayI* getImpl() const { return _impl; }
  QrcInt getSize() const;
  QrcFloatVar operator[](QrcInt i) const;
  void set(QrcInt i, const QrcFloatExp& e) const;

 private:
  QrcFloatVarArrayI* _impl;
};

// Sum of the elements of an array.
QrcFloatExp QrcSum(const QrcFloatVarArray& vars);

#endif
