// The benchmarks' branching: the first unbound variable of an array takes its
// smallest value v, with x = v on the left branch and x != v on the right.
#ifndef QRO_BENCH_LABELLING_H
#define QRO_BENCH_LABELLING_H

#include "figures.h"
#include "qro.h"
#include "qroext.h"

class BenchLabel : public QrcGoalI {
 public:
  BenchLabel(QrcManagerI* m, QrcIntVarArrayI* q, QrcInt v = 0, QrcIntExpI* x = nullptr,
             int mode = 0)
      : QrcGoalI(m), _q(q), _v(v), _x(x), _mode(mode) {}
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
    for (QrcInt i = 0; i < _q->getSize() && !x; ++i)
      if (!_q->getVar(i)->isBound()) x = _q->getVar(i);
    if (!x) return nullptr;
    QrcInt v = x->getMin();
    QrcGoalI* again = new (_manager) BenchLabel(_manager, _q);
    return new (_manager) QrcOrI(
        _manager,
        new (_manager) QrcAndII(_manager, new (_manager) BenchLabel(_manager, _q, v, x, 1), again),
        new (_manager) QrcAndII(_manager, new (_manager) BenchLabel(_manager, _q, v, x, 2), again),
        nullptr);
  }

 private:
  QrcIntVarArrayI* _q;
  QrcInt _v;
  QrcIntExpI* _x;
  int _mode;
};

// Labels vars up to limit solutions; the seconds count from t0 (cpuTime).
inline BenchFigures benchSearch(const QrcManager& mgr, const QrcIntVarArray& vars, long limit,
                                double t0) {
  QrcManagerI* m = mgr.getImpl();
  BenchFigures f;
  QrcSearch s(mgr, QrcGoal(new (m) BenchLabel(m, vars.getImpl())));
  while (f.solutions < limit && s.next()) ++f.solutions;
  s.end();
  f.seconds = cpuTime() - t0;
  f.choicePoints = m->getChoicePointCount();
  f.fails = m->getFails();
  return f;
}

#endif
