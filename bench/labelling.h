// The benchmarks' search: labelling as the tests label, with its figures.
#ifndef QRO_BENCH_LABELLING_H
#define QRO_BENCH_LABELLING_H

#include "figures.h"
#include "qro.h"
#include "qroext.h"
#include "support/label_array.h"

// Labels vars up to limit solutions; the seconds count from t0 (cpuTime).
inline BenchFigures benchSearch(const QrcManager& mgr, const QrcIntVarArray& vars, int64_t limit,
                                double t0) {
  QrcManagerI* m = mgr.getImpl();
  BenchFigures f;
  QrcSearch s(mgr, QrcGoal(new (m) LabelArray(m, vars.getImpl())));
  while (f.solutions < limit && s.next()) ++f.solutions;
  s.end();
  f.seconds = cpuTime() - t0;
  f.choicePoints = m->getChoicePointCount();
  f.fails = m->getFails();
  return f;
}

#endif
