// Table constraints with generalised arc consistency in storage modes 0, 1
// and 2 on random tables and on n-queens stated as binary allowed tables over
// all pairs (tables_models.h). All solutions, with the all-different
// benchmark's branching. Prints per instance and mode: solutions, choice
// points, fails and seconds; when the Gecode twin was built beside this
// program it runs the same instance there too and prints its fails, time and
// the time ratio (this engine / Gecode), and last the geometric mean of the
// ratios. Both keep generalised arc consistency, so their fails are equal.
//
//   bench_tables                      every instance, with the twin when present
//   bench_tables MODEL PARAM MODE     one instance (random K, queens N),
//                                     printing "solutions cps fails seconds"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"
#include "tables_models.h"
#include "twin.h"

namespace {

BenchFigures run(const char* model, int param, int mode) {
  tablesbench::Instance in = tablesbench::instance(!std::strcmp(model, "queens"), param);
  QrcManager mgr(QrcNoEdit);
  double t0 = cpuTime();
  QrcIntVarArray x(mgr, in.n, 0, in.d - 1);
  for (const tablesbench::Table& tb : in.tables) {
    QrcInt r = static_cast<QrcInt>(tb.scope.size());
    QrcIntVarArray scope(mgr, r);
    for (QrcInt j = 0; j < r; ++j) scope.set(j, x[tb.scope[static_cast<size_t>(j)]]);
    QrcTupleSet set(mgr, r);
    set.setStorageMode(mode);
    QrcIntArray buffer(mgr, r, QrcInt(0));
    for (const auto& t : tb.tuples) {
      for (QrcInt j = 0; j < r; ++j) buffer[j] = t[static_cast<size_t>(j)];
      set.add(buffer);
    }
    set.close();
    mgr.add(QrcTableConstraint(scope, set, 1));
  }
  BenchFigures f = benchSearch(mgr, x, 1L << 62, t0);
  mgr.end();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4) {
    benchPrintLine(run(argv[1], std::atoi(argv[2]), std::atoi(argv[3])));
    return 0;
  }
  std::string path = benchTwinPath(argv[0], "bench_tables_gecode");
  struct Job {
    const char* model;
    int param;
  };
  std::vector<Job> jobs;
  for (int k = 0; k < tablesbench::RandomCount; ++k) jobs.push_back({"random", k});
  for (int n = 8; n <= 10; ++n) jobs.push_back({"queens", n});
  BenchRatioMean mean;
  for (const Job& j : jobs) {
    BenchFigures g;
    bool hasTwin =
        benchRunTwin(path, std::string(j.model) + " " + std::to_string(j.param) + " 0", g);
    for (int mode = 0; mode <= 2; ++mode) {
      BenchFigures f = run(j.model, j.param, mode);
      std::printf("%-6s %2d mode %d: %7" PRId64 " solutions, %9" PRId64 " choice points, %9" PRId64
                  " fails, %8.3f s",
                  j.model, j.param, mode, f.solutions, f.choicePoints, f.fails, f.seconds);
      if (hasTwin)
        std::printf("  | gecode %9" PRId64 " fails, %8.3f s, ratio %.2f", g.fails, g.seconds,
                    mean.add(f.seconds, g.seconds));
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  mean.print("gecode");
  return 0;
}
