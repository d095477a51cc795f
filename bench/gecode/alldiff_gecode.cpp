// Gecode twin of bench/alldiff.cpp: the same models and branching (first
// unbound variable, smallest value, x = v else x != v) with Gecode's distinct
// at value (levels 0, 1), bounds (2) and domain (3) propagation.
//
//   bench_alldiff_gecode                     every model
//   bench_alldiff_gecode MODEL PARAM LEVEL   one model: "solutions cps fails seconds"
//                                            (MODEL queens, offsets, sudoku, quasi)
#include <gecode/int.hh>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "../alldiff_models.h"
#include "gecode_search.h"

using namespace Gecode;

namespace {

IntPropLevel ipl(int level) {
  return level <= 1 ? IPL_VAL : level == 2 ? IPL_BND : IPL_DOM;
}

// The diagonals as variables q[i] + i and q[i] - i, linked with domain
// propagation as the engine's variables made from q[i] + i are.
GecodeModel* queens(int n, int level) {
  GecodeModel* m = new GecodeModel(n, 0, n - 1);
  IntVarArgs up(n), down(n);
  for (int i = 0; i < n; ++i) {
    up[i] = IntVar(*m, i, n - 1 + i);
    down[i] = IntVar(*m, -i, n - 1 - i);
    IntArgs unit({1, -1});
    linear(*m, unit, IntVarArgs({up[i], m->x[i]}), IRT_EQ, i, IPL_DOM);
    linear(*m, unit, IntVarArgs({down[i], m->x[i]}), IRT_EQ, -i, IPL_DOM);
  }
  distinct(*m, m->x, ipl(level));
  distinct(*m, up, ipl(level));
  distinct(*m, down, ipl(level));
  return m;
}

// Gecode's usual form: the diagonals as offsets of the queens.
GecodeModel* queensOffsets(int n, int level) {
  GecodeModel* m = new GecodeModel(n, 0, n - 1);
  IntArgs up(n), down(n);
  for (int i = 0; i < n; ++i) {
    up[i] = i;
    down[i] = -i;
  }
  distinct(*m, m->x, ipl(level));
  distinct(*m, up, m->x, ipl(level));
  distinct(*m, down, m->x, ipl(level));
  return m;
}

GecodeModel* grid(int n, int b, const std::vector<int>& givens, int level) {
  GecodeModel* m = new GecodeModel(n * n, b ? 1 : 0, b ? n : n - 1);
  for (int i = 0; i < n; ++i) {
    IntVarArgs row(n), col(n), block(n);
    for (int j = 0; j < n; ++j) {
      row[j] = m->x[i * n + j];
      col[j] = m->x[j * n + i];
      if (b) block[j] = m->x[((i / b) * b + j / b) * n + (i % b) * b + j % b];
    }
    distinct(*m, row, ipl(level));
    distinct(*m, col, ipl(level));
    if (b) distinct(*m, block, ipl(level));
  }
  for (int k = 0; k < n * n; ++k)
    if (givens[static_cast<size_t>(k)] >= 0)
      rel(*m, m->x[k], IRT_EQ, givens[static_cast<size_t>(k)]);
  return m;
}

void run(const char* model, int param, int level, bool line) {
  std::clock_t t0 = std::clock();
  GecodeModel* m;
  if (!std::strcmp(model, "queens")) {
    m = queens(param, level);
  } else if (!std::strcmp(model, "offsets")) {
    m = queensOffsets(param, level);
  } else if (!std::strcmp(model, "sudoku")) {
    std::vector<int> g;
    for (const char* c = alldiffbench::Sudokus[param]; *c; ++c)
      g.push_back(*c == '.' ? -1 : *c - '0');
    m = grid(9, 3, g, level);
  } else {
    m = grid(alldiffbench::QuasigroupOrder, 0,
             alldiffbench::quasigroup(alldiffbench::QuasigroupOrder, alldiffbench::QuasigroupHoles,
                                      alldiffbench::QuasigroupSeed),
             level);
  }
  BenchFigures f = gecodeSearchAll(m, t0);
  if (line)
    benchPrintLine(f);
  else
    std::printf("%-6s %2d level %d: %6" PRId64 " solutions, %9" PRId64 " choice points, %9" PRId64
                " fails, %8.3f s\n",
                model, param, level, f.solutions, f.choicePoints, f.fails, f.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4) {
    run(argv[1], std::atoi(argv[2]), std::atoi(argv[3]), true);
    return 0;
  }
  for (int n = 8; n <= 12; ++n)
    for (int level = 1; level <= 3; ++level) run("queens", n, level, false);
  for (int k = 0; k < alldiffbench::SudokuCount; ++k)
    for (int level = 1; level <= 3; ++level) run("sudoku", k, level, false);
  for (int level = 1; level <= 3; ++level) run("quasi", 0, level, false);
  return 0;
}
