// Spread: 8 variables in [0, 6] with mean in [2.9, 3.1] and deviation at most
// 1, all solutions, once with QrcSpread and once with only its two float
// equalities posted by hand. Prints solutions (the same in both), nodes
// (choice points), fails and seconds.
#include <cstdio>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"

namespace {

void run(bool sweep) {
  const int n = 8;
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, n, 0, 6);
  QrcFloatVar mean(mgr, 2.9, 3.1), dev(mgr, 0.0, 1.0);
  if (sweep) {
    mgr.add(QrcSpread(x, mean, dev));
  } else {
    QrcFloatVarArray y(mgr, n), z(mgr, n);
    for (int i = 0; i < n; ++i) {
      QrcFloatVar yi(x.getImpl()->getVar(i));
      y.set(i, yi);
      z.set(i, QrcSquare(yi));
    }
    QrcFloatVar sum(QrcSum(y));
    mgr.add(n * QrcFloatExp(mean) == sum);
    QrcFloatVar ndev2(n * QrcSquare(dev));
    mgr.add(n * QrcFloatExp(ndev2) == n * QrcSum(z) - QrcSquare(sum));
  }
  BenchFigures f = benchSearch(mgr, x, 1L << 40, cpuTime());
  std::printf("%-18s %7" PRId64 " solutions, %9" PRId64 " nodes, %9" PRId64 " fails, %7.3f s\n",
              sweep ? "QrcSpread" : "float equalities", f.solutions, f.choicePoints, f.fails,
              f.seconds);
  mgr.end();
}

}  // namespace

int main() {
  run(true);
  run(false);
  return 0;
}
