// Throughput of float propagation: building and propagating the design
// model's five constraints, and recomputing the bounds of a product node.
#include <cstdio>

#include "qro.h"
#include "qroext.h"

namespace {

void designModel(QrcManager& mgr) {
  QrcFloatVar F(mgr, 0.0, 0.5), N(mgr, 2.0, 10.0), D(mgr, 0.25, 1.3), d(mgr, 0.05, 1.0);
  mgr.add((-(QrcPower(D, 3.0) * N / (71785.0 * QrcPower(d, 4.0))) + 1.0) <= 0.0);
  QrcFloatExp lhs =
      (4.0 * QrcPower(D, 4.0) - d * D) / (12.566 * (D * QrcPower(d, 3.0) - QrcPower(d, 3.0)));
  mgr.add(lhs + 1.0 / (5.108 * QrcPower(d, 2.0)) <= 0.0);
  mgr.add((-(140.45 * d / (QrcPower(D, 2.0) * N)) + 1.0) <= 0.0);
  mgr.add((D + d) / 1.5 - 1.0 <= 0.0);
  mgr.add(F == (N + 2.0) * D * QrcPower(d, 2.0));
}

}  // namespace

int main() {
  const int models = 2000;
  double t0 = cpuTime();
  for (int i = 0; i < models; ++i) {
    QrcManager mgr(QrcNoEdit);
    designModel(mgr);
    mgr.end();
  }
  double t1 = cpuTime();
  std::printf("design model built and propagated: %.1f us each\n", (t1 - t0) / models * 1e6);

  QrcManager mgr(QrcNoEdit);
  QrcFloatVar x(mgr, -2, 3), y(mgr, -1, 4);
  QrcFloatExpI* p = (x * y).getImpl();
  const int recomputes = 5000000;
  double sum = 0;
  t0 = cpuTime();
  for (int i = 0; i < recomputes; ++i) {
    p->invalidateParents();
    p->setBoundsStamp(0);
    sum += p->getMax();
  }
  t1 = cpuTime();
  std::printf("product bounds recomputed: %.1f M/s (%g)\n", recomputes / (t1 - t0) / 1e6,
              sum / recomputes);
  mgr.end();
  return 0;
}
