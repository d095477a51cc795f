// Throughput of the engine's hot paths: heap allocation, trail saves,
// reversible words, and a depth-first search over a complete binary tree.
#include <cstdio>

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
  return 0;
}
