// Every solution of small integer models through QroSolver, as a user states
// them: the seed model (no solution, a tree of 1,500,003 failures) and the
// 50 random models of the set (bench/solver_models.h: the first 50 seeds
// whose tree has 20,000 to 2,000,000 nodes), each stated in a
// QroModel (variables first, then ranges and equalities), searched with
// startNewSearch() and next() under the default search and a time limit of
// 120 s, with presolve on and off. The default search labels the first
// unbound decision variable in extraction order, smallest value first
// (x = v else x != v): with presolve off the model's order, with presolve on
// a defined variable after the variables of its definition. The Gecode twin
// (bench/gecode/solver_models_gecode.cpp, built where Gecode is installed)
// branches the same way over the order this program reads from the solver,
// and the trees are checked equal (solutions and failures).
//
// Prints a line per model (solutions, choice points, failures, time with
// presolve on and off and Gecode's time, each with its setup: all but the
// calls of next(); the ratios of the times and of the search times with
// presolve on; the tree with presolve off when it differs) and a summary: the seed model's ratio to
// Gecode, the median and quartiles of the ratios over the 50 models, the setup's share of the time,
// and the total time with presolve on against off. Times are process CPU time, a short run repeated
// until 20 ms have passed; each ratio is the median of three rounds run in turn, the seed model's
// too.
//
//   bench_solver_models                 the seed model and the 50 models
//   bench_solver_models K [off]         model K (0 the seed model, else the
//                                       model of seed K) once with presolve on
//                                       (off): "solutions cps fails seconds search"
//   bench_solver_models order K [off]   the order the default search labels
//                                       model K's variables in, as the twin takes it
//   bench_solver_models scan A B        the nodes of the trees of seeds A..B
//                                       with presolve off (-1 past 3,000,000
//                                       choice points)
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "qro.h"
#include "qroext.h"
#include "solver_models.h"
#include "twin.h"

namespace {

using solverbench::Constraint;
using solverbench::Model;

const double kTimeLimit = 120.0;

QroNumExprArg linearExpr(const std::vector<QroNumVar>& x, const std::vector<solverbench::Term>& t) {
  QroNumExprArg e = static_cast<double>(t[0].coef) * x[static_cast<size_t>(t[0].var)];
  for (size_t i = 1; i < t.size(); ++i)
    e = e + static_cast<double>(t[i].coef) * x[static_cast<size_t>(t[i].var)];
  return e;
}

// The model in a QroModel: the variables in order, then the constraints.
void state(const Model& d, QroEnv& env, QroModel& model, std::vector<QroNumVar>& x) {
  for (size_t i = 0; i < d.lo.size(); ++i) {
    std::string name = "x" + std::to_string(i);
    x.emplace_back(env, static_cast<QroNum>(d.lo[i]), static_cast<QroNum>(d.hi[i]), QroNumVar::Int,
                   name.c_str());
    model.add(x.back());
  }
  for (const Constraint& c : d.constraints) {
    const QroNumVar& a = x[static_cast<size_t>(c.terms[0].var)];
    switch (c.kind) {
      case Constraint::Linear:
        model.add(QroRange(env, c.lb, linearExpr(x, c.terms), c.ub));
        break;
      case Constraint::Product:
        model.add(QroRange(env, c.lb, a * x[static_cast<size_t>(c.terms[1].var)], c.ub));
        break;
      case Constraint::DefineLinear:
        model.add(x[static_cast<size_t>(c.defined)] ==
                  linearExpr(x, c.terms) + static_cast<double>(c.constant));
        break;
      case Constraint::DefineProduct:
        model.add(x[static_cast<size_t>(c.defined)] == a * x[static_cast<size_t>(c.terms[1].var)]);
        break;
    }
  }
}

// A solver over the model, extracted with presolve on or off.
QroSolver extracted(QroEnv& env, QroModel& model, bool presolve) {
  QroModel empty(env);
  QroSolver solver(empty);
  solver.getImpl()->setPresolve(presolve ? 1 : 0);
  solver.getImpl()->extract(model.getImpl());
  return solver;
}

double secondsSince(std::clock_t t0) {
  return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
}

// The figures of a run and the seconds spent in its calls of next().
struct Run {
  BenchFigures f;
  double search = 0;
};

// Every solution of model k; seconds of process CPU time from the start. A
// model that extraction finds inconsistent counts one failure, as a failed
// root does.
Run solveOnce(int k, bool presolve) {
  std::clock_t t0 = std::clock();
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> x;
  state(solverbench::modelNumber(k), env, model, x);
  Run run;
  BenchFigures& f = run.f;
  try {
    QroSolver solver = extracted(env, model, presolve);
    solver.startNewSearch();
    solver.getManagerI()->setTimeLimit(kTimeLimit);
    std::clock_t s0 = std::clock();
    while (solver.next()) ++f.solutions;
    run.search = secondsSince(s0);
    solver.endSearch();
    f.choicePoints = solver.getManagerI()->getChoicePointCount();
    f.fails = solver.getManagerI()->getFails();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
    f.fails = 1;
  }
  env.end();
  f.seconds = secondsSince(t0);
  return run;
}

// The same, repeated until minSeconds have passed: the seconds of one run.
Run solveAll(int k, bool presolve, double minSeconds) {
  std::clock_t t0 = std::clock();
  Run run;
  double search = 0;
  int runs = 0;
  do {
    run = solveOnce(k, presolve);
    search += run.search;
    ++runs;
  } while (secondsSince(t0) < minSeconds);
  run.f.seconds = secondsSince(t0) / runs;
  run.search = search / runs;
  return run;
}

// Runs the twin with the arguments; false when it is missing or failed.
bool runTwin(const std::string& path, const std::string& args, Run& run) {
  std::string cmd = path + " " + args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  BenchFigures& f = run.f;
  int got = std::fscanf(p, "%" SCNd64 " %" SCNd64 " %" SCNd64 " %lf %lf", &f.solutions,
                        &f.choicePoints, &f.fails, &f.seconds, &run.search);
  return pclose(p) == 0 && got == 5;
}

// The nodes (choice points, failures and solutions) of the tree of the
// model of seed k with presolve off (the model's labelling order), or -1
// past limit choice points.
int64_t treeNodes(int k, QrcInt limit) {
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> x;
  state(solverbench::modelNumber(k), env, model, x);
  int64_t nodes = 1;
  try {
    QroSolver solver = extracted(env, model, false);
    solver.startNewSearch();
    solver.getManagerI()->setChoicePointLimit(limit);
    int64_t solutions = 0;
    while (solver.next()) ++solutions;
    QrcInt cps = solver.getManagerI()->getChoicePointCount();
    nodes = cps >= limit ? -1 : solutions + cps + solver.getManagerI()->getFails();
    solver.endSearch();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  }
  env.end();
  return nodes;
}

// The positions of model k's variables in the default search's labelling
// order, comma separated.
std::string labellingOrder(int k, bool presolve) {
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> x;
  state(solverbench::modelNumber(k), env, model, x);
  QroSolver solver = extracted(env, model, presolve);
  QrcIntVarArray order =
      solver.getImpl()->getExtractorManager()->getDefaultExtractor()->makeIntDecisionVars();
  std::string text;
  for (QrcInt p = 0; p < order.getSize(); ++p)
    for (size_t i = 0; i < x.size(); ++i)
      if (solver.getIntVar(x[i]).getImpl() == order.getImpl()->getVar(p))
        text += (text.empty() ? "" : ",") + std::to_string(i);
  solver.end();
  env.end();
  return text;
}

struct Line {
  Run on, off, twin;
  double ratioOn = 0, ratioOff = 0, ratioSearch = 0;
  bool same = true;
};

// The tree of the solver against the twin's: the same solutions and
// failures (the twin counts a failed root as one failure, as the engine does).
bool sameTree(const BenchFigures& a, const BenchFigures& b) {
  return a.solutions == b.solutions && a.fails == b.fails;
}

// Model k with presolve on and off and the twin on both labelling orders,
// in turn for the rounds; each run repeated until minSeconds have passed.
Line measure(const char* argv0, int k, int rounds, double minSeconds) {
  std::string twin = benchTwinPath(argv0, "bench_solver_models_gecode");
  std::string orderOn = labellingOrder(k, true), orderOff = labellingOrder(k, false);
  std::string repeat = " " + std::to_string(minSeconds);
  Line line;
  std::vector<double> on, off, search;
  bool twinOk = true;
  for (int r = 0; r < rounds; ++r) {
    line.on = solveAll(k, true, minSeconds);
    line.off = solveAll(k, false, minSeconds);
    Run g, h;
    twinOk = runTwin(twin, std::to_string(k) + " " + orderOn + repeat, g) &&
             runTwin(twin, std::to_string(k) + " " + orderOff + repeat, h);
    if (!twinOk) break;
    line.same = line.same && sameTree(line.on.f, g.f) && sameTree(line.off.f, h.f);
    line.twin = g;
    if (g.f.seconds > 0) on.push_back(line.on.f.seconds / g.f.seconds);
    if (h.f.seconds > 0) off.push_back(line.off.f.seconds / h.f.seconds);
    if (g.search > 0) search.push_back(line.on.search / g.search);
  }
  line.ratioOn = benchMedian(on);
  line.ratioOff = benchMedian(off);
  line.ratioSearch = benchMedian(search);
  if (!twinOk) line.twin = Run();
  return line;
}

// A line of the set (inSet) is checked against its rule of tree sizes, which
// the tree with presolve off follows.
void printLine(const char* name, const Line& l, bool inSet) {
  const BenchFigures& on = l.on.f;
  std::printf("%-9s %7" PRId64 " sols %8" PRId64 " cps %8" PRId64
              " fails  on %7.3f s (setup %6.4f)  off %7.3f s",
              name, on.solutions, on.choicePoints, on.fails, on.seconds, on.seconds - l.on.search,
              l.off.f.seconds);
  if (l.twin.f.seconds > 0 || l.twin.f.fails > 0)
    std::printf("  Gecode %7.3f s (setup %6.4f)  ratio on %5.2f off %5.2f search %5.2f%s",
                l.twin.f.seconds, l.twin.f.seconds - l.twin.search, l.ratioOn, l.ratioOff,
                l.ratioSearch, l.same ? "" : "  TREES DIFFER");
  const BenchFigures& off = l.off.f;
  if (off.solutions != on.solutions || off.choicePoints != on.choicePoints || off.fails != on.fails)
    std::printf("  off: %" PRId64 " cps %" PRId64 " fails", off.choicePoints, off.fails);
  int64_t nodes = off.solutions + off.choicePoints + off.fails;
  if (inSet && (nodes < solverbench::kSetFirstNodes || nodes > solverbench::kSetLastNodes))
    std::printf("  NOT IN THE SET'S RANGE OF TREE SIZES");
  std::printf("\n");
  std::fflush(stdout);
}

// The median and quartiles of the ratios.
void printRatios(const char* what, std::vector<double> r) {
  if (r.empty()) return;
  std::sort(r.begin(), r.end());
  size_t n = r.size();
  std::printf("%d models: ratio to Gecode %s: median %.2f, quartiles %.2f %.2f, range %.2f %.2f\n",
              static_cast<int>(n), what, benchMedian(r), r[n / 4], r[(3 * n) / 4], r[0], r[n - 1]);
}

// The summary of the seed model and the set.
void printSummary(const Line& seed, const std::vector<Line>& lines, bool same) {
  std::vector<double> on, off, search;
  double totalOn = 0, totalOff = 0, setupOn = 0, twin = 0, setupTwin = 0;
  for (const Line& l : lines) {
    if (l.ratioOn > 0) on.push_back(l.ratioOn);
    if (l.ratioOff > 0) off.push_back(l.ratioOff);
    if (l.ratioSearch > 0) search.push_back(l.ratioSearch);
    totalOn += l.on.f.seconds;
    totalOff += l.off.f.seconds;
    setupOn += l.on.f.seconds - l.on.search;
    twin += l.twin.f.seconds;
    setupTwin += l.twin.f.seconds - l.twin.search;
  }
  if (seed.ratioOn > 0)
    std::printf("seed model: ratio to Gecode %.2f presolve on, %.2f off\n", seed.ratioOn,
                seed.ratioOff);
  printRatios("presolve on", on);
  printRatios("presolve off", off);
  printRatios("of search alone, presolve on", search);
  if (!on.empty()) std::printf("every tree %s\n", same ? "equal" : "NOT EQUAL: SOME TREES DIFFER");
  std::printf("%d models: %.3f s presolve on (setup %.3f), Gecode %.3f s (setup %.3f)\n",
              static_cast<int>(lines.size()), totalOn, setupOn, twin, setupTwin);
  std::printf("%d models: %.3f s presolve on, %.3f s off, on / off %.2f\n",
              static_cast<int>(lines.size()), totalOn, totalOff,
              totalOff > 0 ? totalOn / totalOff : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "order") == 0 && argc >= 3) {
    std::printf("%s\n", labellingOrder(std::atoi(argv[2]), argc < 4).c_str());
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "scan") == 0) {
    for (int k = std::atoi(argv[2]); k <= std::atoi(argv[3]); ++k)
      std::printf("%d %" PRId64 "\n", k, treeNodes(k, 3000000));
    return 0;
  }
  if (argc >= 2) {
    Run run = solveOnce(std::atoi(argv[1]), argc < 3);
    std::printf("%" PRId64 " %" PRId64 " %" PRId64 " %.6f %.6f\n", run.f.solutions,
                run.f.choicePoints, run.f.fails, run.f.seconds, run.search);
    return 0;
  }
  Line seed = measure(argv[0], 0, 3, 0);
  printLine("seed", seed, false);
  std::vector<Line> lines;
  bool same = seed.same;
  for (int k : solverbench::setSeeds()) {
    lines.push_back(measure(argv[0], k, 3, 0.02));
    printLine(solverbench::modelNumber(k).name.c_str(), lines.back(), true);
    same = same && lines.back().same;
  }
  printSummary(seed, lines, same);
  return same ? 0 : 1;
}
