// A piecewise-linear function of 10^5 breakpoints sampling the sine: the time
// to build it, a bisection search for every x with f(x) = 0.3, and the time of
// one propagation after a small narrowing of x (the sorted orders and cursors
// make it independent of the number of segments).
#include <cmath>
#include <cstdio>

#include "qro.h"
#include "qroext.h"

namespace {

const int kPoints = 100000;
const double kEnd = 20 * M_PI;  // ten periods

QrcFloatExp sampledSine(QrcManager& mgr, const QrcFloatVar& x, int n = kPoints) {
  QrcFloatArray points(mgr, n), values(mgr, n);
  for (int i = 0; i < n; ++i) {
    points[i] = kEnd * i / (n - 1);
    values[i] = std::sin(points[i]);
  }
  return QrcPiecewiseLinear(x, 0, points, values, 0);
}

void search() {
  QrcManager mgr(QrcNoEdit);
  QrcFloatVar x(mgr, 0, kEnd);
  double t0 = cpuTime();
  QrcFloatExp y = sampledSine(mgr, x);
  double t1 = cpuTime();
  mgr.add(y == 0.3);
  QrcSearch s(mgr, QrcInstantiate(x, 0, 0.5));
  long solutions = 0;
  while (s.next()) {
    if (solutions < 3) std::printf("  solution x = [%.12f, %.12f]\n", x.getMin(), x.getMax());
    ++solutions;
  }
  double t2 = cpuTime();
  std::printf("built %d segments in %.3f s\n", kPoints + 1, t1 - t0);
  std::printf("f(x) = 0.3: %ld solutions, %lld choice points, %lld failures, %.3f s\n", solutions,
              static_cast<long long>(mgr.getImpl()->getChoicePointCount()),
              static_cast<long long>(mgr.getImpl()->getFails()), t2 - t1);
  s.end();
  mgr.end();
}

void smallNarrowings(int n) {
  QrcManager mgr(QrcNoEdit);
  QrcFloatVar x(mgr, 0, kEnd);
  QrcSegmentedExpI* y = static_cast<QrcSegmentedExpI*>(sampledSine(mgr, x, n).getImpl());
  QrcFloatExp(y).setRange(-0.9, 0.9);
  const int steps = 100000;
  const double step = kEnd / steps / 4;  // half of x's range, in small moves from each side
  double t0 = cpuTime();
  for (int i = 1; i <= steps; ++i) x.setRange(step * i, kEnd - step * i);
  double t1 = cpuTime();
  std::printf(
      "%6d segments: a small narrowing of x and its propagation %.2f us (x [%.4f, %.4f], "
      "segments left %lld..%lld)\n",
      n + 1, (t1 - t0) / steps * 1e6, x.getMin(), x.getMax(),
      static_cast<long long>(y->getIndex()->getMin()),
      static_cast<long long>(y->getIndex()->getMax()));
  mgr.end();
}

}  // namespace

int main() {
  search();
  smallNarrowings(1000);
  smallNarrowings(kPoints);
  return 0;
}
