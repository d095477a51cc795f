// Counts the solutions of n-queens (n = 8..12) with pairwise disequalities
// over rows and both diagonals, labelling the first unbound queen with its
// smallest value; prints solutions, choice points, failures and time, and the
// work done: demons run, variable events processed and trail words written.
#include <cstdio>

#include "qro.h"
#include "qroext.h"
#include "labelling.h"

int main() {
  for (int n = 8; n <= 12; ++n) {
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    QrcIntVarArray q(mgr, n, 0, n - 1);
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) {
        mgr.add(q[i] != q[j]);
        mgr.add(q[i] + i != q[j] + j);
        mgr.add(q[i] - i != q[j] - j);
      }
    double t0 = cpuTime();
    QrcSearch s(mgr, QrcGoal(new (m) BenchLabel(m, q.getImpl())));
    long solutions = 0;
    while (s.next()) ++solutions;
    s.end();
    double t1 = cpuTime();
    QrcPropagationQueueI* queue = m->getPropagationQueue();
    std::printf(
        "queens %2d: %6ld solutions, %9lld choice points, %9lld fails, %.3f s, %lld demons, "
        "%lld events, %llu trail words\n",
        n, solutions, static_cast<long long>(m->getChoicePointCount()),
        static_cast<long long>(m->getFails()), t1 - t0,
        static_cast<long long>(queue->getDemonRuns()),
        static_cast<long long>(queue->getEventsProcessed()),
        static_cast<unsigned long long>(m->getTrailWordsWritten()));
    mgr.end();
  }
  return 0;
}
