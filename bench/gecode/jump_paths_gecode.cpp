// Gecode twin of the seed model of bench/jump_paths.cpp: x0..x14 in 0..9,
// 3*x7 + 3*x12 - 3*x10 == 31 as two inequalities (the solver reasons on
// bounds only), x10*x0 in 34..43 by mult into a variable over the range
// (factors bounded away from 0 first), 2*x13 - 2*x3 == -14; with "table",
// an allowed table of the triples (a, b, c) over 0..3 with a + b == c over
// three other variables that the search never labels. The branching of
// bench/solver_models: x0..x14 in order, smallest value first.
//
//   bench_jump_paths_gecode [table]    "solutions cps fails seconds"
#include <cstring>
#include <ctime>

#include "gecode_search.h"

using namespace Gecode;

int main(int argc, char** argv) {
  bool table = argc > 1 && std::strcmp(argv[1], "table") == 0;
  std::clock_t t0 = std::clock();
  GecodeModel* m = new GecodeModel(15, 0, 9);
  IntVarArray& x = m->x;
  IntArgs threes({3, 3, -3});
  IntVarArgs sum3;
  sum3 << x[7] << x[12] << x[10];
  linear(*m, threes, sum3, IRT_GQ, 31);
  linear(*m, threes, sum3, IRT_LQ, 31);
  rel(*m, x[10], IRT_GQ, 1);
  rel(*m, x[0], IRT_GQ, 1);
  mult(*m, x[10], x[0], IntVar(*m, 34, 43));
  IntArgs twos({2, -2});
  IntVarArgs diff;
  diff << x[13] << x[3];
  linear(*m, twos, diff, IRT_EQ, -14);
  if (table) {
    TupleSet set(3);
    for (int a = 0; a <= 3; ++a)
      for (int b = 0; a + b <= 3; ++b) set.add({a, b, a + b});
    set.finalize();
    IntVarArgs other(*m, 3, 0, 3);
    extensional(*m, other, set);
  }
  benchPrintLine(gecodeSearchAll(m, t0));
  return 0;
}
