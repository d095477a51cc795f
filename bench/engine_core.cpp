// Throughput of the engine's hot paths: heap allocation, trail saves,
// reversible words, a depth-first search over a complete binary tree, and the
// building of n nodes over one shared operand (x + y_i, x * c_i, float x + y_i
// for n = 10^4..10^6), whose time should grow like n.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "qro.h"
#include "qroext.h"

namespace {

class Leaf : public QrcGoalI {
 public:
  explicit Leaf(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override { return nullptr; }
};

QrcGoal tree(QrcManagerI* m, int depth) {
  if (depth == 0) return new (m) Leaf(m);
  return QrcOr(tree(m, depth - 1), tree(m, depth - 1));
}

// Seconds to build x + y_i (kind 0), x * c_i (kind 1) or the float x + y_i
// (kind 2) for i = 1..n; each build first looks for an equal node over x.
double sharedNodes(QrcInt n, int kind) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVar x(mgr, 0, 10);
  QrcFloatVar fx(mgr, 0.0, 10.0);
  std::vector<QrcIntVar> ys;
  std::vector<QrcFloatVar> fys;
  for (QrcInt i = 0; i < n; ++i) {
    if (kind == 0) ys.emplace_back(mgr, 0, 10);
    if (kind == 2) fys.emplace_back(mgr, 0.0, 10.0);
  }
  double t0 = cpuTime();
  for (QrcInt i = 0; i < n; ++i) {
    if (kind == 0) (void)(x + ys[i]);
    if (kind == 1) (void)(x * (i + 2));
    if (kind == 2) (void)(fx + fys[i]);
  }
  double t = cpuTime() - t0;
  mgr.end();
  return t;
}

}  // namespace

int main() {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();

  const int allocs = 10000000;
  double t0 = cpuTime();
  for (int i = 0; i < allocs; ++i) {
    m->allocate(24);
    if ((i & 0xffff) == 0) m->getHeap()->popTo(0);
  }
  double t1 = cpuTime();
  std::printf("heap allocations: %.1f M/s\n", allocs / (t1 - t0) / 1e6);

  m->getTrail()->setRecording(1);
  QrcInt word = 0;
  const int saves = 10000000;
  t0 = cpuTime();
  for (int i = 0; i < saves; ++i) {
    m->saveValue(&word);
    word = i;
    if ((i & 0xfffff) == 0) m->getTrail()->restore(0);
  }
  t1 = cpuTime();
  std::printf("trail saves: %.1f M/s\n", saves / (t1 - t0) / 1e6);

  QrcRevWord rw(m, 0);
  t0 = cpuTime();
  for (int i = 0; i < saves; ++i) rw.set(m, i);
  t1 = cpuTime();
  std::printf("reversible word sets (one choice point): %.1f M/s\n", saves / (t1 - t0) / 1e6);
  m->getTrail()->reset();

  const int depth = 18;
  QrcSearch s(mgr, tree(m, depth));
  long solutions = 0;
  t0 = cpuTime();
  while (s.next()) ++solutions;
  t1 = cpuTime();
  s.end();
  std::printf("search: %ld leaves in %.3f s (%.2f M leaves/s)\n", solutions, t1 - t0,
              solutions / (t1 - t0) / 1e6);
  mgr.end();

  // Medians of three; the growth is the exponent e of n^e from 10^4 to 10^6.
  const char* kinds[3] = {"x + y_i", "x * c_i", "float x + y_i"};
  double first[3] = {0, 0, 0}, last[3] = {0, 0, 0};
  for (QrcInt n = 10000; n <= 1000000; n *= 10) {
    std::printf("shared nodes, n = %7lld:", static_cast<long long>(n));
    for (int k = 0; k < 3; ++k) {
      double t[3] = {sharedNodes(n, k), sharedNodes(n, k), sharedNodes(n, k)};
      std::sort(t, t + 3);
      if (n == 10000) first[k] = t[1];
      last[k] = t[1];
      std::printf(" %s %.2f ms (%.0f ns each)%s", kinds[k], t[1] * 1e3, t[1] / n * 1e9,
                  k < 2 ? "," : "\n");
    }
  }
  std::printf(
      "shared nodes, growth from 10^4 to 10^6: x + y_i n^%.2f, x * c_i n^%.2f, "
      "float x + y_i n^%.2f\n",
      std::log(last[0] / first[0]) / std::log(100.0),
      std::log(last[1] / first[1]) / std::log(100.0),
      std::log(last[2] / first[2]) / std::log(100.0));
  return 0;
}
