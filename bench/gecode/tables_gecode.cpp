// Gecode twin of bench/tables.cpp: the same instances (tables_models.h) as
// extensional constraints with Gecode's default (domain consistent)
// propagation, and the same branching (first unbound variable, smallest
// value, x = v else x != v). Gecode has no storage modes: the mode argument
// is read and ignored.
//
//   bench_tables_gecode                   every instance
//   bench_tables_gecode MODEL PARAM MODE  one instance: "solutions cps fails seconds"
#include <gecode/int.hh>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "../tables_models.h"
#include "gecode_search.h"

using namespace Gecode;

namespace {

void run(const char* model, int param, bool line) {
  tablesbench::Instance in = tablesbench::instance(!std::strcmp(model, "queens"), param);
  std::clock_t t0 = std::clock();
  GecodeModel* m = new GecodeModel(in.n, 0, in.d - 1);
  for (const tablesbench::Table& tb : in.tables) {
    int r = static_cast<int>(tb.scope.size());
    TupleSet set(r);
    for (const auto& t : tb.tuples) set.add(IntArgs(t));
    set.finalize();
    IntVarArgs scope(r);
    for (int j = 0; j < r; ++j) scope[j] = m->x[tb.scope[static_cast<size_t>(j)]];
    extensional(*m, scope, set);
  }
  BenchFigures f = gecodeSearchAll(m, t0);
  if (line)
    benchPrintLine(f);
  else
    std::printf("%-6s %2d: %7" PRId64 " solutions, %9" PRId64 " choice points, %9" PRId64
                " fails, %8.3f s\n",
                model, param, f.solutions, f.choicePoints, f.fails, f.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4) {
    run(argv[1], std::atoi(argv[2]), true);
    return 0;
  }
  for (int k = 0; k < tablesbench::RandomCount; ++k) run("random", k, false);
  for (int n = 8; n <= 10; ++n) run("queens", n, false);
  return 0;
}
