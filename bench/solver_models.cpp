// Every solution of small integer models through QroSolver, as a user states
// them: the seed model (no solution, a tree of 1,500,003 failures) and 50
// models drawn from seeds 1..50 (bench/solver_models.h), each stated in a
// QroModel (variables first, then ranges and equalities), searched with
// startNewSearch() and next() under the default search and a time limit of
// 120 s, with presolve on and off. The default search labels the first
// unbound decision variable in extraction order, smallest value first
// (x = v else x != v); the Gecode twin (bench/gecode/solver_models_gecode.cpp,
// built where Gecode is installed) branches the same way over the order this
// program reads from the solver, and the trees are checked equal (solutions
// and failures).
//
// Prints a line per model (solutions, choice points, failures, time with
// presolve on and off and Gecode's time, the ratios) and a summary: the seed
// model's ratio to Gecode, the median ratio over the 50 models with presolve
// on and off, and the total time with presolve on against off. Times are
// process CPU time, a short run repeated until 20 ms have passed; each ratio
// is the median of three rounds run in turn (one for the seed model).
//
//   bench_solver_models                 the seed model and the 50 models
//   bench_solver_models K [off]         model K (0 the seed model) once with
//                                       presolve on (off): "solutions cps fails seconds"
//   bench_solver_models order K [off]   the order the default search labels
//                                       model K's variables in, as the twin takes it
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

// Every solution of model k; seconds of process CPU time from the start. A
// model that extraction finds inconsistent counts one failure, as a failed
// root does.
BenchFigures solveOnce(int k, bool presolve) {
  std::clock_t t0 = std::clock();
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> x;
  state(solverbench::modelNumber(k), env, model, x);
  BenchFigures f;
  try {
    QroSolver solver = extracted(env, model, presolve);
    solver.startNewSearch();
    solver.getManagerI()->setTimeLimit(kTimeLimit);
    while (solver.next()) ++f.solutions;
    solver.endSearch();
    f.choicePoints = solver.getManagerI()->getChoicePointCount();
    f.fails = solver.getManagerI()->getFails();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
    f.fails = 1;
  }
  env.end();
  f.seconds = secondsSince(t0);
  return f;
}

// The same, repeated until minSeconds have passed: the seconds of one run.
BenchFigures solveAll(int k, bool presolve, double minSeconds) {
  std::clock_t t0 = std::clock();
  BenchFigures f;
  int runs = 0;
  do {
    f = solveOnce(k, presolve);
    ++runs;
  } while (secondsSince(t0) < minSeconds);
  f.seconds = secondsSince(t0) / runs;
  return f;
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
  BenchFigures on, off, twin;
  double ratioOn = 0, ratioOff = 0;
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
  std::vector<double> on, off;
  bool twinOk = true;
  for (int r = 0; r < rounds; ++r) {
    line.on = solveAll(k, true, minSeconds);
    line.off = solveAll(k, false, minSeconds);
    BenchFigures g, h;
    twinOk = benchRunTwin(twin, std::to_string(k) + " " + orderOn + repeat, g) &&
             benchRunTwin(twin, std::to_string(k) + " " + orderOff + repeat, h);
    if (!twinOk) break;
    line.same = line.same && sameTree(line.on, g) && sameTree(line.off, h);
    line.twin = g;
    if (g.seconds > 0) on.push_back(line.on.seconds / g.seconds);
    if (h.seconds > 0) off.push_back(line.off.seconds / h.seconds);
  }
  line.ratioOn = benchMedian(on);
  line.ratioOff = benchMedian(off);
  if (!twinOk) line.twin = BenchFigures();
  return line;
}

void printLine(const char* name, const Line& l) {
  std::printf("%-9s %7" PRId64 " solutions %8" PRId64 " cps %8" PRId64
              " fails  on %7.3f s  off %7.3f s",
              name, l.on.solutions, l.on.choicePoints, l.on.fails, l.on.seconds, l.off.seconds);
  if (l.twin.seconds > 0 || l.twin.fails > 0)
    std::printf("  Gecode %7.3f s  ratio on %5.2f off %5.2f%s", l.twin.seconds, l.ratioOn,
                l.ratioOff, l.same ? "" : "  TREES DIFFER");
  if (!sameTree(l.on, l.off))
    std::printf("  PRESOLVE CHANGES THE TREE (off: %" PRId64 " solutions, %" PRId64 " fails)",
                l.off.solutions, l.off.fails);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "order") == 0 && argc >= 3) {
    std::printf("%s\n", labellingOrder(std::atoi(argv[2]), argc < 4).c_str());
    return 0;
  }
  if (argc >= 2) {
    benchPrintLine(solveOnce(std::atoi(argv[1]), argc < 3));
    return 0;
  }
  // The seed model runs for seconds: one round.
  Line seed = measure(argv[0], 0, 1, 0);
  printLine("seed", seed);
  std::vector<double> on, off;
  double totalOn = 0, totalOff = 0;
  bool same = seed.same;
  for (int k = 1; k <= solverbench::randomModelCount(); ++k) {
    Line l = measure(argv[0], k, 3, 0.02);
    printLine(solverbench::modelNumber(k).name.c_str(), l);
    same = same && l.same;
    if (l.ratioOn > 0) on.push_back(l.ratioOn);
    if (l.ratioOff > 0) off.push_back(l.ratioOff);
    totalOn += l.on.seconds;
    totalOff += l.off.seconds;
  }
  if (seed.ratioOn > 0)
    std::printf("seed model: ratio to Gecode %.2f presolve on, %.2f off\n", seed.ratioOn,
                seed.ratioOff);
  if (!on.empty())
    std::printf("%d models: median ratio to Gecode %.2f presolve on, %.2f off%s\n",
                static_cast<int>(on.size()), benchMedian(on), benchMedian(off),
                same ? ", every tree equal" : ", SOME TREES DIFFER");
  std::printf("%d models: %.3f s presolve on, %.3f s off, on / off %.2f\n",
              solverbench::randomModelCount(), totalOn, totalOff,
              totalOff > 0 ? totalOn / totalOff : 0.0);
  return same ? 0 : 1;
}
