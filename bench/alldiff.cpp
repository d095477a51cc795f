// All-different at levels 1, 2 and 3 on n-queens (n = 8..12, all solutions;
// rows and both diagonals, the diagonals as variables made from q[i] + i and
// q[i] - i, or in the "offsets" lines as those expressions themselves),
// hard published sudokus and a quasigroup completion. Prints per model and
// level: solutions, choice points, fails and seconds; when the Gecode twin
// was built beside this program it runs the same model there too and prints
// the time ratio (this engine / Gecode), and for n-queens over variables also
// the ratio to Gecode's usual model, whose diagonals are offsets; last, the
// geometric mean of each column of ratios.
//
//   bench_alldiff                     every model, with the twin when present
//   bench_alldiff MODEL PARAM LEVEL   one model (queens N, offsets N, sudoku K,
//                                     quasi 0),
//                                     printing "solutions cps fails seconds"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "alldiff_models.h"
#include "labelling.h"
#include "qro.h"
#include "qroext.h"
#include "twin.h"

namespace {

typedef BenchFigures Figures;

QrcIntVarArray arrayOf(QrcManager mgr, QrcIntExpI* const* xs, int n) {
  QrcIntVarArray a(mgr, n);
  for (int i = 0; i < n; ++i) a.set(i, QrcIntExp(xs[i]));
  return a;
}

Figures search(QrcManager mgr, const QrcIntVarArray& vars, double t0) {
  return benchSearch(mgr, vars, 1L << 62, t0);
}

// With variables, the diagonals are variables made from q[i] + i and q[i] - i;
// without, they are those expressions themselves, as a user writes them.
Figures queens(int n, int level, bool variables) {
  QrcManager mgr(QrcNoEdit);
  double t0 = cpuTime();
  QrcIntVarArray q(mgr, n, 0, n - 1);
  QrcIntVarArray up(mgr, n), down(mgr, n);
  for (int i = 0; i < n; ++i) {
    if (variables) {
      up.set(i, QrcIntVar(q[i] + i));
      down.set(i, QrcIntVar(q[i] - i));
    } else {
      up.set(i, q[i] + i);
      down.set(i, q[i] - i);
    }
  }
  mgr.add(QrcAllDiff(q, level));
  mgr.add(QrcAllDiff(up, level));
  mgr.add(QrcAllDiff(down, level));
  Figures f = search(mgr, q, t0);
  mgr.end();
  return f;
}

// Rows, columns and blocks of a square grid of side n (block side b, or 0).
Figures grid(int n, int b, const std::vector<int>& givens, int level) {
  QrcManager mgr(QrcNoEdit);
  double t0 = cpuTime();
  QrcIntVarArray x(mgr, n * n, b ? 1 : 0, b ? n : n - 1);
  QrcIntExpI* line[64];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) line[j] = x.getImpl()->getVar(i * n + j);
    mgr.add(QrcAllDiff(arrayOf(mgr, line, n), level));
    for (int j = 0; j < n; ++j) line[j] = x.getImpl()->getVar(j * n + i);
    mgr.add(QrcAllDiff(arrayOf(mgr, line, n), level));
    if (b)
      for (int j = 0; j < n; ++j)
        line[j] = x.getImpl()->getVar(((i / b) * b + j / b) * n + (i % b) * b + j % b);
    if (b) mgr.add(QrcAllDiff(arrayOf(mgr, line, n), level));
  }
  for (int k = 0; k < n * n; ++k)
    if (givens[static_cast<size_t>(k)] >= 0) x[k].setValue(givens[static_cast<size_t>(k)]);
  Figures f = search(mgr, x, t0);
  mgr.end();
  return f;
}

Figures run(const char* model, int param, int level) {
  if (!std::strcmp(model, "queens")) return queens(param, level, true);
  if (!std::strcmp(model, "offsets")) return queens(param, level, false);
  if (!std::strcmp(model, "sudoku")) {
    std::vector<int> g;
    for (const char* c = alldiffbench::Sudokus[param]; *c; ++c)
      g.push_back(*c == '.' ? -1 : *c - '0');
    return grid(9, 3, g, level);
  }
  return grid(alldiffbench::QuasigroupOrder, 0,
              alldiffbench::quasigroup(alldiffbench::QuasigroupOrder, alldiffbench::QuasigroupHoles,
                                       alldiffbench::QuasigroupSeed),
              level);
}

// The twin's figures for one model; false without twin.
bool twin(const std::string& path, const char* model, int param, int level, Figures& f) {
  return benchRunTwin(
      path, std::string(model) + " " + std::to_string(param) + " " + std::to_string(level), f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4) {
    benchPrintLine(run(argv[1], std::atoi(argv[2]), std::atoi(argv[3])));
    return 0;
  }
  std::string path = benchTwinPath(argv[0], "bench_alldiff_gecode");
  struct Job {
    const char* model;
    int param;
  };
  std::vector<Job> jobs;
  for (int n = 8; n <= 12; ++n) jobs.push_back({"queens", n});
  for (int n = 8; n <= 12; ++n) jobs.push_back({"offsets", n});
  for (int k = 0; k < alldiffbench::SudokuCount; ++k) jobs.push_back({"sudoku", k});
  jobs.push_back({"quasi", 0});
  BenchRatioMean twinMean, offsetsMean;
  for (const Job& j : jobs)
    for (int level = 1; level <= 3; ++level) {
      Figures f = run(j.model, j.param, level);
      std::printf("%-7s %2d level %d: %6" PRId64 " solutions, %9" PRId64 " choice points, %9" PRId64
                  " fails, %8.3f s",
                  j.model, j.param, level, f.solutions, f.choicePoints, f.fails, f.seconds);
      Figures g;
      if (twin(path, j.model, j.param, level, g))
        std::printf("  | gecode %9" PRId64 " fails, %8.3f s, ratio %.2f", g.fails, g.seconds,
                    twinMean.add(f.seconds, g.seconds));
      if (!std::strcmp(j.model, "queens") && twin(path, "offsets", j.param, level, g))
        std::printf("  | with offsets %8.3f s, ratio %.2f", g.seconds,
                    offsetsMean.add(f.seconds, g.seconds));
      std::printf("\n");
      std::fflush(stdout);
    }
  twinMean.print("gecode");
  offsetsMean.print("gecode's model with offsets");
  return 0;
}
