// Bin packing on the instances of binpacking_instances.h: the fewest bins
// found (or "limit" when the fail limit stops the search first), the choice
// points ("nodes") and fails over every bin count tried, and CPU seconds.
// When the Gecode twin was built beside this program, its figures for the
// same instance, model and branching follow on the same line, and the
// geometric mean of the time ratios ends the table.
//
//   bench_binpacking           every instance
//   bench_binpacking K         instance K only: "optimum nodes fails seconds"
//                              (optimum -1 at the limit)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "binpacking_instances.h"
#include "labelling.h"
#include "qro.h"
#include "qroext.h"
#include "twin.h"

namespace {

// Whether a packing into m bins exists; false with *limited set when the
// fail budget left in f ran out first. Adds the counts to f.
bool packs(const binpackbench::Instance& in, int m, BenchFigures& f, bool* limited) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* mi = mgr.getImpl();
  int n = static_cast<int>(in.weights.size());
  std::vector<QrcInt> w(in.weights.begin(), in.weights.end());
  QrcIntVarArray where(mgr, n, 0, m - 1), load(mgr, m, 0, in.capacity);
  std::vector<int> order = binpackbench::itemOrder(in.weights);
  QrcIntVarArray ordered(mgr, n);
  for (int k = 0; k < n; ++k) {
    QrcIntVar x = where[order[static_cast<size_t>(k)]];
    x.setMax(k);
    ordered.set(k, x);
  }
  // Posted by the search, whose first node fails when the bound refutes m.
  QrcConstraintI* pack = QrcPack(load, where, QrcIntArray(mgr, n, w.data())).getImpl();
  mi->setFailLimit(binpackbench::FailLimit - f.fails);
  QrcSearch s(mgr, QrcGoal(new (mi) QrcAndII(mi, new (mi) QrcGoalConstraintI(mi, pack),
                                             new (mi) LabelArray(mi, ordered.getImpl()))));
  bool found = s.next();
  *limited = !found && mi->isLimitReached();
  s.end();
  f.choicePoints += mi->getChoicePointCount();
  f.fails += mi->getFails();
  mgr.end();
  return found;
}

// The optimum in f.solutions (-1 at the limit).
BenchFigures run(const binpackbench::Instance& in) {
  BenchFigures f;
  double t0 = cpuTime();
  binpackbench::searchFewestBins(
      in, f, [&in](int m, BenchFigures& g, bool* limited) { return packs(in, m, g, limited); });
  f.seconds = cpuTime() - t0;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (binpackbench::runOneInstance(argc, argv, run)) return 0;
  std::vector<binpackbench::Instance> all = binpackbench::instances();
  std::string path = benchTwinPath(argv[0], "bench_binpacking_gecode");
  binpackbench::printHeader();
  BenchRatioMean mean;
  for (size_t k = 0; k < all.size(); ++k) {
    BenchFigures f = run(all[k]), g;
    binpackbench::printRow(all[k], f);
    if (benchRunTwin(path, std::to_string(k), g)) {
      std::printf("  | gecode");
      binpackbench::printFigures(g);
      std::printf("  ratio %.2f", mean.add(f.seconds, g.seconds));
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  mean.print("gecode");
  return 0;
}
