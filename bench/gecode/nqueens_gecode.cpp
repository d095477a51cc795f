// Gecode twin of bench/nqueens.cpp: n-queens with one binary disequality per
// pair of queens for rows and for both diagonals (Gecode's pairwise model),
// the same branching (first unassigned queen, smallest value, q = v else
// q != v), counted as the engine counts.
//
//   bench_nqueens_gecode      n = 8..12
//   bench_nqueens_gecode N    n = N only: "solutions cps fails seconds"
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "gecode_search.h"

using namespace Gecode;

namespace {

BenchFigures pairwise(int n) {
  std::clock_t t0 = std::clock();
  GecodeModel* m = new GecodeModel(n, 0, n - 1);
  IntArgs unit({1, -1});
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      rel(*m, m->x[i], IRT_NQ, m->x[j]);
      // q[i] + i != q[j] + j and q[i] - i != q[j] - j
      linear(*m, unit, IntVarArgs({m->x[i], m->x[j]}), IRT_NQ, j - i);
      linear(*m, unit, IntVarArgs({m->x[i], m->x[j]}), IRT_NQ, i - j);
    }
  return gecodeSearchAll(m, t0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    benchPrintLine(pairwise(std::atoi(argv[1])));
    return 0;
  }
  for (int n = 8; n <= 12; ++n) {
    BenchFigures f = pairwise(n);
    std::printf("queens %2d: %6" PRId64 " solutions, %9" PRId64 " choice points, %9" PRId64
                " fails, %.3f s\n",
                n, f.solutions, f.choicePoints, f.fails, f.seconds);
  }
  return 0;
}
