// Function objects over tables for the tests of the functions over set
// elements: F(x) is slot x - first of a table copied onto the manager's heap.
#ifndef QRO_TEST_SETFUNCTION_TABLES_H
#define QRO_TEST_SETFUNCTION_TABLES_H

#include <vector>

#include "qrcaccessor.h"
#include "qrcmanager.h"

namespace settest {

template <class T>
T* onHeap(QrcManagerI* m, const std::vector<T>& v) {
  T* p = static_cast<T*>(m->allocate((v.size() + 1) * sizeof(T)));
  for (size_t i = 0; i < v.size(); ++i) p[i] = v[i];
  return p;
}

// F(x) = values[x - first]; calls counted.
class IntTable : public QrcIntToIntFunctionI {
 public:
  IntTable(QrcManagerI* m, QrcInt first, const std::vector<QrcInt>& values)
      : _first(first), _values(onHeap(m, values)) {}
  QrcInt getValue(QrcInt x) override {
    ++calls;
    return _values[x - _first];
  }
  QrcInt calls = 0;

 private:
  QrcInt _first;
  QrcInt* _values;
};

class ExpTable : public QrcIntToIntExpFunctionI {
 public:
  ExpTable(QrcManagerI* m, QrcInt first, const std::vector<QrcIntExpI*>& values)
      : _first(first), _values(onHeap(m, values)) {}
  QrcIntExpI* getValue(QrcInt x) override {
    ++calls;
    return _values[x - _first];
  }
  QrcInt calls = 0;

 private:
  QrcInt _first;
  QrcIntExpI** _values;
};

class SetTable : public QrcIntToIntSetVarFunctionI {
 public:
  SetTable(QrcManagerI* m, QrcInt first, const std::vector<QrcIntSetVarI*>& values,
           QrcIntSetVarI* defaultVar = nullptr)
      : QrcIntToIntSetVarFunctionI(defaultVar), _first(first), _values(onHeap(m, values)) {}
  QrcIntSetVarI* getValue(QrcInt x) override { return _values[x - _first]; }

 private:
  QrcInt _first;
  QrcIntSetVarI** _values;
};

}  // namespace settest

#endif
