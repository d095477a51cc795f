// What an object of the library beside a search costs the search's failures
// in a manager whose failures are exceptions. Such a failure jumps back to
// its search while only the library's own classes run on the way, and is
// thrown as soon as the manager has met an object it cannot vouch for.
//
// Two measurements, each line with the failures jumped and thrown:
//  - a pigeonhole search (P pigeons, P - 1 holes, pairwise differences,
//    labelled in order) on a solver's manager, alone and beside one object
//    over other variables that the search never labels: an inverse
//    constraint, set channelling, an element over more than six constants
//    (compact and spread), an element disequality, a table posted on the
//    manager; its speed beside each object relative to its speed alone;
//  - the seed model of bench_solver_models through the solver (default
//    search, every solution), alone and with one allowed table over three
//    other variables posted on the solver's manager, beside its Gecode twin
//    (bench/gecode/jump_paths_gecode.cpp) with the same table.
// Times are process CPU time, the best of three runs.
//
//   bench_jump_paths [P]     P pigeons (9 by default)
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "qro.h"
#include "qroext.h"
#include "twin.h"

namespace {

double secondsSince(std::clock_t t0) {
  return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
}

struct Figures {
  QrcInt fails = 0, jumped = 0, thrown = 0;
  double seconds = 0;
};

enum Beside { Alone, Inverse, SetChannel, ElementCompact, ElementSpread, ElementNeq, Table };
const char* const kBesideNames[] = {
    "alone",          "inverse",    "set channelling", "element 7 consts",
    "element spread", "element !=", "table on manager"};

// The closed set of the triples (a, b, c) over 0..3 with a + b == c.
QrcTupleSet sumTriples(const QrcManager& mgr) {
  QrcTupleSet set(mgr, 3);
  for (QrcInt a = 0; a <= 3; ++a)
    for (QrcInt b = 0; a + b <= 3; ++b) {
      QrcInt t[] = {a, b, a + b};
      set.add(QrcIntArray(mgr, 3, t));
    }
  set.close();
  return set;
}

// The object beside the search, over variables of its own.
void postBeside(const QrcManager& mgr, Beside beside) {
  switch (beside) {
    case Alone:
      break;
    case Inverse:
      mgr.add(QrcInverse(QrcIntVarArray(mgr, 4, 0, 3), QrcIntVarArray(mgr, 4, 0, 3)));
      break;
    case SetChannel: {
      QrcIntSetVarArray sets(mgr, 3);
      for (QrcInt i = 0; i < 3; ++i) sets.set(i, QrcIntSetVar(mgr, 0, 3));
      mgr.add(QrcInverse(sets, QrcIntVarArray(mgr, 4, 0, 2)));
      break;
    }
    case ElementCompact:
    case ElementSpread:
    case ElementNeq: {
      QrcInt compact[] = {3, 1, 4, 1, 5, 2, 6}, spread[] = {30, 10, 40, 10, 50, 20, 60};
      QrcIntArray a(mgr, 7, beside == ElementSpread ? spread : compact);
      QrcIntVar y(mgr, 0, 60), x(mgr, 0, 6);
      mgr.add(beside == ElementNeq ? QrcElementNEq(y, a, x) : QrcElementEq(y, a, x));
      break;
    }
    case Table:
      mgr.add(QrcTableConstraint(QrcIntVarArray(mgr, 3, 0, 3), sumTriples(mgr), true));
      break;
  }
}

Figures pigeonholeOnce(int pigeons, Beside beside) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QrcManager mgr = solver.getManager();
  QrcManagerI* m = mgr.getImpl();
  QrcIntVarArray x(mgr, pigeons, 0, pigeons - 2);
  for (QrcInt i = 0; i < pigeons; ++i)
    for (QrcInt j = i + 1; j < pigeons; ++j) mgr.add(x[i] != x[j]);
  postBeside(mgr, beside);
  Figures f;
  QrcInt jumped = m->getJumpedFailures(), thrown = m->getThrownFailures(), fails = m->getFails();
  std::clock_t t0 = std::clock();
  QrcSearch search(mgr, QrcGenerate(x));
  while (search.next()) {
  }
  f.seconds = secondsSince(t0);
  search.end();
  f.fails = m->getFails() - fails;
  f.jumped = m->getJumpedFailures() - jumped;
  f.thrown = m->getThrownFailures() - thrown;
  solver.end();
  env.end();
  return f;
}

// 3*x7 + 3*x12 - 3*x10 == 31, 34 <= x10*x0 <= 43, 2*x13 - 2*x3 == -14 over
// x0..x14 in 0..9 (bench/solver_models.h), with a table over three other
// variables posted on the solver's manager.
Figures seedModelOnce(bool table) {
  QroEnv env;
  QroModel model(env);
  QroNumVarArray x(env, 0);
  for (int i = 0; i < 15; ++i) x.add(QroNumVar(env, 0, 9, QroNumVar::Int));
  for (int i = 0; i < 15; ++i) model.add(x[i]);
  model.add(QroRange(env, 31, 3 * x[7] + 3 * x[12] - 3 * x[10], 31));
  model.add(QroRange(env, 34, x[10] * x[0], 43));
  model.add(QroRange(env, -14, 2 * x[13] - 2 * x[3], -14));
  std::clock_t t0 = std::clock();
  QroSolver solver(model);
  QrcManagerI* m = solver.getManagerI();
  if (table) postBeside(solver.getManager(), Table);
  solver.startNewSearch();
  m->setTimeLimit(120);
  while (solver.next()) {
  }
  solver.endSearch();
  Figures f;
  f.seconds = secondsSince(t0);
  f.fails = m->getFails();
  f.jumped = m->getJumpedFailures();
  f.thrown = m->getThrownFailures();
  solver.end();
  env.end();
  return f;
}

template <class F>
Figures best(F run) {
  Figures b = run();
  for (int r = 1; r < 3; ++r) {
    Figures f = run();
    if (f.seconds < b.seconds) b = f;
  }
  return b;
}

void printLine(const char* name, const Figures& f) {
  std::printf("%-18s %9" PRId64 " fails %9" PRId64 " jumped %9" PRId64
              " thrown %8.3f s %7.1f ns/fail",
              name, static_cast<int64_t>(f.fails), static_cast<int64_t>(f.jumped),
              static_cast<int64_t>(f.thrown), f.seconds,
              f.fails ? 1e9 * f.seconds / static_cast<double>(f.fails) : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  int pigeons = argc > 1 ? std::atoi(argv[1]) : 9;
  std::printf("pigeonhole, %d pigeons, on a solver's manager:\n", pigeons);
  Figures alone;
  for (int b = Alone; b <= Table; ++b) {
    Beside beside = static_cast<Beside>(b);
    Figures f = best([&] { return pigeonholeOnce(pigeons, beside); });
    if (beside == Alone) alone = f;
    printLine(kBesideNames[b], f);
    if (beside != Alone && f.seconds > 0)
      std::printf("  speed %.2f of alone", alone.seconds / f.seconds);
    std::printf("\n");
  }
  std::printf("seed model through the solver:\n");
  std::string twin = benchTwinPath(argv[0], "bench_jump_paths_gecode");
  for (bool table : {false, true}) {
    Figures f = best([&] { return seedModelOnce(table); });
    printLine(table ? "with a table" : "alone", f);
    BenchFigures g[3];
    bool twinOk = true;
    for (BenchFigures& run : g) twinOk = twinOk && benchRunTwin(twin, table ? "table" : "", run);
    if (twinOk) {
      double gecode = std::min({g[0].seconds, g[1].seconds, g[2].seconds});
      std::printf("  Gecode %.3f s, ratio %.2f%s", gecode, f.seconds / gecode,
                  g[0].fails == f.fails ? "" : "  TREES DIFFER");
    }
    std::printf("\n");
  }
  return 0;
}
