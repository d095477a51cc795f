// Engine arrays of float variables (index range [0, n), step 1).
#ifndef QRC_FLOAT_VAR_ARRAY_H
#define QRC_FLOAT_VAR_ARRAY_H

#include "qrcfloatexp.h"

class QrcFloatVarArrayI : public QrcPrintable {
 public:
  // n empty slots; n < 0 is error 5 "bad array size".
  QrcFloatVarArrayI(QrcManagerI* manager, QrcInt n);
  virtual ~QrcFloatVarArrayI() {}
  // The array's name (or "QrcFloatVarArrayI"), then "[" the elements "]".
  void display(std::ostream& os) const override;
  QrcManagerI* getManager() const { return _manager; }
  QrcInt getSize() const { return _size; }
  QrcFloatExpI*& operator[](QrcInt i) { return _elements[i - _first]; }
  QrcFloatExpI* get(QrcInt i) const { return _elements[i - _first]; }
  QrcFloatExpI** getElements() const { return _elements; }
  void setName(const char* name) { _name = name; }

 private:
  QrcInt _first;
  QrcInt _step;
  QrcManagerI* _manager;
  const char* _name;
  QrcInt _size;
  QrcFloatExpI** _elements;
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
