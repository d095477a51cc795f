// Counts the solutions of n-queens (n = 8..12) with pairwise disequalities
// over rows and both diagonals, labelling the first unbound queen with its
// smallest value; prints solutions, choice points, failures and time, and the
// work done: demons run, variable events processed and trail words written.
//
// With the Gecode twins built beside it, each size is also run there, in turn
// with this engine (engine, twin, engine, twin...), and the median of the
// ratios of the pairs (this engine / Gecode) is printed: the pairwise model
// against Gecode's pairwise model, and the all-different model of
// bench_alldiff (level 1, diagonals as variables) against Gecode's
// value-level distinct on the same model.
//
//   bench_nqueens          n = 8..12
//   bench_nqueens N        n = N only
//   bench_nqueens N line   the pairwise model once: "solutions cps fails seconds"
#include <cstdio>
#include <cstdlib>
#include <string>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"
#include "twin.h"

namespace {

struct Work {
  QrcInt demons, events;
  QrcUInt trailWords;
};

BenchFigures pairwise(int n, Work& work) {
  double t0 = cpuTime();
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcIntVarArray q(mgr, n, 0, n - 1);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      mgr.add(q[i] != q[j]);
      mgr.add(q[i] + i != q[j] + j);
      mgr.add(q[i] - i != q[j] - j);
    }
  BenchFigures f = benchSearch(mgr, q, 1L << 62, t0);
  QrcPropagationQueueI* queue = m->getPropagationQueue();
  work = Work{queue->getDemonRuns(), queue->getEventsProcessed(), m->getTrailWordsWritten()};
  mgr.end();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3) {
    Work work{0, 0, 0};
    benchPrintLine(pairwise(std::atoi(argv[1]), work));
    return 0;
  }
  int first = argc > 1 ? std::atoi(argv[1]) : 8, last = argc > 1 ? first : 12;
  std::string pairTwin = benchTwinPath(argv[0], "bench_nqueens_gecode");
  std::string distinctTwin = benchTwinPath(argv[0], "bench_alldiff_gecode");
  std::string alldiff = benchSiblingPath(argv[0], "bench_alldiff");
  for (int n = first; n <= last; ++n) {
    const int rounds = n >= 11 ? 5 : 3;
    std::vector<double> ratios, alldiffRatios;
    BenchFigures f, g, a, b;
    Work work{0, 0, 0};
    std::string size = std::to_string(n);
    for (int r = 0; r < rounds; ++r) {
      f = pairwise(n, work);
      if (benchRunTwin(pairTwin, size, g) && g.seconds > 0) ratios.push_back(f.seconds / g.seconds);
      if (benchRunTwin(alldiff, "queens " + size + " 1", a) &&
          benchRunTwin(distinctTwin, "queens " + size + " 1", b) && b.seconds > 0)
        alldiffRatios.push_back(a.seconds / b.seconds);
    }
    std::printf("queens %2d: %6" PRId64 " solutions, %9" PRId64 " choice points, %9" PRId64
                " fails, %.3f s, %lld demons, "
                "%lld events, %llu trail words\n",
                n, f.solutions, f.choicePoints, f.fails, f.seconds,
                static_cast<long long>(work.demons), static_cast<long long>(work.events),
                static_cast<unsigned long long>(work.trailWords));
    if (!ratios.empty())
      std::printf("  pairwise vs Gecode's pairwise: %" PRId64
                  " fails, %.3f s, ratio %.2f (median of %d)\n",
                  g.fails, g.seconds, benchMedian(ratios), static_cast<int>(ratios.size()));
    if (!alldiffRatios.empty())
      std::printf("  all-different level 1 (%.3f s) vs Gecode's value distinct: %" PRId64
                  " fails, %.3f s, "
                  "ratio %.2f (median of %d)\n",
                  a.seconds, b.fails, b.seconds, benchMedian(alldiffRatios),
                  static_cast<int>(alldiffRatios.size()));
    std::fflush(stdout);
  }
  return 0;
}
