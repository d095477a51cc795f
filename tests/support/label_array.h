// The labelling of the tests and the benchmarks: the first unbound variable
// of an array takes its smallest value v, with x = v on the left branch and
// x != v on the right.
#ifndef QRO_TEST_LABEL_ARRAY_H
#define QRO_TEST_LABEL_ARRAY_H

#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcmanager.h"

class LabelArray : public QrcGoalI {
 public:
  LabelArray(QrcManagerI* m, QrcIntVarArrayI* a, QrcIntExpI* x = nullptr, QrcInt v = 0,
             int mode = 0)
      : QrcGoalI(m), _a(a), _x(x), _v(v), _mode(mode) {}
  QrcGoalI* execute() override {
    if (_mode == 1) {
      _x->setValue(_v);
      return nullptr;
    }
    if (_mode == 2) {
      _x->removeValue(_v);
      return nullptr;
    }
    QrcIntExpI* x = nullptr;
    for (QrcInt i = 0; i < _a->getSize() && !x; ++i)
      if (!_a->getVar(i)->isBound()) x = _a->getVar(i);
    if (!x) return nullptr;
    QrcInt v = x->getMin();
    QrcGoalI* again = new (_manager) LabelArray(_manager, _a);
    return new (_manager) QrcOrI(
        _manager,
        new (_manager) QrcAndII(_manager, new (_manager) LabelArray(_manager, _a, x, v, 1), again),
        new (_manager) QrcAndII(_manager, new (_manager) LabelArray(_manager, _a, x, v, 2), again),
        nullptr);
  }

 private:
  QrcIntVarArrayI* _a;
  QrcIntExpI* _x;
  QrcInt _v;
  int _mode;
};

#endif
