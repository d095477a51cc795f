// Every solution of small integer models through QroSolver, as a user states
// them: the seed model (no solution, a tree of 1,500,003 failures), the 50
// random models of linear ranges and products of the set and its 36
// catalogue models (bench/solver_models.h: seeds whose tree has 20,000 to
// 2,000,000 nodes; tables, elements, all-different, count, minimum and
// maximum, absolute value, inverse and reified comparisons among linear
// ranges), each stated in a QroModel (variables first, then ranges,
// equalities and the catalogue's constraints through modelling classes whose
// extract hooks call the solver's builders, bench/solver_catalogue.h),
// searched with startNewSearch() and next() under the default search and a
// time limit of 120 s, with presolve on and off. Each catalogue model runs a
// second time with its catalogue constraints posted as engine constraints on
// the solver's manager after extraction. The default search labels the first
// unbound decision variable in extraction order, smallest value first
// (x = v else x != v): with presolve off the model's order, with presolve on
// a defined variable after the variables of its definition. The Gecode twin
// (bench/gecode/solver_models_gecode.cpp, built where Gecode is installed)
// branches the same way over the order this program reads from the solver,
// and the trees are checked equal (solutions and failures).
//
// Prints a line per model and way (solutions, choice points, failures, time
// with presolve on and off and Gecode's time, each with its setup: all but
// the calls of next(); the ratios of the times and of the search times with
// presolve on; the tree with presolve off when it differs) and a summary: the
// seed model's ratio to Gecode; for the linear models, the catalogue through
// the modelling layer, the catalogue on the manager and the whole set, the
// median and quartiles of the ratios, the setup's share of the time and the
// total time with presolve on against off; the slowest line. Times are
// process CPU time, a short run repeated until 100 ms have passed; each ratio
// is the median of three rounds run in turn, the seed model's too.
//
//   bench_solver_models                 the seed model and the set
//   bench_solver_models K [off] [manager]
//                                       model K (0 the seed model, above 0 the
//                                       random model of seed K, below 0 the
//                                       catalogue model of seed -K) once with
//                                       presolve on (off), the catalogue on the
//                                       manager: "solutions cps fails seconds
//                                       search thrown", thrown the failures
//                                       thrown to the search instead of jumped
//   bench_solver_models order K [off] [manager]
//                                       the order the default search labels
//                                       model K's variables in, as the twin takes it
//   bench_solver_models scan A B        the nodes of the trees of models A..B
//                                       with presolve off (-1 past 3,000,000
//                                       choice points)
//   bench_solver_models check A B       models A..B in every way against the
//                                       twin: the nodes of each tree, those that differ
//   bench_solver_models pick N          the catalogue's set of N seeds per kind
//   bench_solver_models show K          model K's domains and constraints
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
#include "solver_catalogue.h"
#include "solver_models.h"
#include "twin.h"

namespace {

using solverbench::Constraint;
using solverbench::Model;

const double kTimeLimit = 120.0;
// A model's run is repeated until this much time has passed: the shortest
// models take a few milliseconds, where a single run's time is mostly noise.
const double kMinSeconds = 0.1;

QroNumExprArg linearExpr(const std::vector<QroNumVar>& x, const std::vector<solverbench::Term>& t) {
  QroNumExprArg e = static_cast<double>(t[0].coef) * x[static_cast<size_t>(t[0].var)];
  for (size_t i = 1; i < t.size(); ++i)
    e = e + static_cast<double>(t[i].coef) * x[static_cast<size_t>(t[i].var)];
  return e;
}

// The model in a QroModel: the variables in order, then the constraints; the
// catalogue's constraints only when they are not posted on the manager.
void state(const Model& d, QroEnv& env, QroModel& model, std::vector<QroNumVar>& x,
           bool onManager) {
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
      default:
        if (!onManager) solverbench::stateCatalogue(c, env, model, x);
        break;
    }
  }
}

// The catalogue's constraints of the model on the solver's manager.
void postOnManager(const Model& d, QroSolver& solver, const std::vector<QroNumVar>& x) {
  for (const Constraint& c : d.constraints)
    if (c.kind >= Constraint::Allowed)
      solver.getManager().add(solverbench::engineCatalogue(c, solver, x));
}

// A solver over model k stated in the environment, extracted with presolve
// on or off, the catalogue's constraints posted through the modelling layer
// or on the solver's manager.
QroSolver extracted(int k, QroEnv& env, std::vector<QroNumVar>& x, bool presolve, bool onManager) {
  Model d = solverbench::modelNumber(k);
  QroModel model(env);
  state(d, env, model, x, onManager);
  QroModel empty(env);
  QroSolver solver(empty);
  solver.getImpl()->setPresolve(presolve ? 1 : 0);
  solver.getImpl()->extract(model.getImpl());
  if (onManager) postOnManager(d, solver, x);
  return solver;
}

double secondsSince(std::clock_t t0) {
  return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
}

// The figures of a run and the seconds spent in its calls of next().
struct Run {
  BenchFigures f;
  double search = 0;
  int64_t thrown = 0;  // failures thrown on their way to the search, not jumped
};

// Every solution of model k; seconds of process CPU time from the start. A
// model that extraction finds inconsistent counts one failure, as a failed
// root does.
Run solveOnce(int k, bool presolve, bool onManager) {
  std::clock_t t0 = std::clock();
  QroEnv env;
  std::vector<QroNumVar> x;
  Run run;
  BenchFigures& f = run.f;
  try {
    QroSolver solver = extracted(k, env, x, presolve, onManager);
    solver.startNewSearch();
    solver.getManagerI()->setTimeLimit(kTimeLimit);
    std::clock_t s0 = std::clock();
    while (solver.next()) ++f.solutions;
    run.search = secondsSince(s0);
    solver.endSearch();
    f.choicePoints = solver.getManagerI()->getChoicePointCount();
    f.fails = solver.getManagerI()->getFails();
    run.thrown = solver.getManagerI()->getThrownFailures();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
    f.fails = 1;
  }
  env.end();
  f.seconds = secondsSince(t0);
  return run;
}

// The same, repeated until minSeconds have passed: the seconds of one run.
Run solveAll(int k, bool presolve, bool onManager, double minSeconds) {
  std::clock_t t0 = std::clock();
  Run run;
  double search = 0;
  int runs = 0;
  do {
    run = solveOnce(k, presolve, onManager);
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
  std::vector<QroNumVar> x;
  int64_t nodes = 1;
  try {
    QroSolver solver = extracted(k, env, x, false, false);
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
// order, comma separated. With presolve on, the order depends on whether the
// catalogue's constraints are in the model, which presolve reads.
std::string labellingOrder(int k, bool presolve, bool onManager) {
  QroEnv env;
  std::vector<QroNumVar> x;
  QroSolver solver = extracted(k, env, x, presolve, onManager);
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
Line measure(const char* argv0, int k, bool onManager, int rounds, double minSeconds) {
  std::string twin = benchTwinPath(argv0, "bench_solver_models_gecode");
  std::string orderOn = labellingOrder(k, true, onManager),
              orderOff = labellingOrder(k, false, onManager);
  std::string repeat = " " + std::to_string(minSeconds);
  Line line;
  std::vector<double> on, off, search;
  bool twinOk = true;
  for (int r = 0; r < rounds; ++r) {
    line.on = solveAll(k, true, onManager, minSeconds);
    line.off = solveAll(k, false, onManager, minSeconds);
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

// The trees of model k in every way (presolve on and off, and for a
// catalogue model its constraints on the manager) against the twin's, once
// each: with print, a line of the nodes of each and of those that differ.
// Whether every tree equals the twin's.
bool checkTrees(const char* argv0, int k, bool print) {
  std::string twin = benchTwinPath(argv0, "bench_solver_models_gecode");
  if (print) std::printf("%d", k);
  bool all = true;
  for (int way = 0; way < 4; ++way) {
    bool presolve = way % 2 == 0, onManager = way >= 2;
    if (onManager && k >= 0) break;
    Run run = solveOnce(k, presolve, onManager), g;
    bool ok = runTwin(twin, std::to_string(k) + " " + labellingOrder(k, presolve, onManager), g);
    bool same = ok && sameTree(run.f, g.f);
    all = all && same;
    if (!print) continue;
    std::printf("  %s%s %" PRId64 "%s", presolve ? "on" : "off", onManager ? " manager" : "",
                run.f.solutions + run.f.choicePoints + run.f.fails,
                !ok    ? " (no twin)"
                : same ? ""
                       : " DIFFER");
    if (ok && !same)
      std::printf(" (%" PRId64 " sols %" PRId64 " fails, Gecode %" PRId64 " %" PRId64 ")",
                  run.f.solutions, run.f.fails, g.f.solutions, g.f.fails);
  }
  if (print) std::printf("\n");
  std::fflush(stdout);
  return all;
}

// The catalogue's set: for each kind, the first count seeds of that kind
// (seed mod the number of kinds) whose tree has the set's sizes and equals
// the twin's in every way, printed as the list of setSeeds.
void pickCatalogue(const char* argv0, int count) {
  std::vector<int> found(solverbench::kCatalogueKinds, 0), seeds;
  for (int s = 1; s < 10000 && seeds.size() < found.size() * static_cast<size_t>(count); ++s) {
    int& kind = found[static_cast<size_t>(s % solverbench::kCatalogueKinds)];
    if (kind >= count) continue;
    int64_t nodes = treeNodes(-s, 3000000);
    if (nodes < solverbench::kSetFirstNodes || nodes > solverbench::kSetLastNodes) continue;
    if (!checkTrees(argv0, -s, false)) continue;
    ++kind;
    seeds.push_back(s);
  }
  std::sort(seeds.begin(), seeds.end());
  for (size_t i = 0; i < seeds.size(); ++i)
    std::printf("%d%s", seeds[i], i + 1 < seeds.size() ? ", " : "\n");
}

// Model k, a line per variable (its domain) and per constraint (its kind,
// the variables of its terms with their coefficients, its constants).
void show(int k) {
  static const char* kinds[] = {"linear",  "product",   "define linear", "define product",
                                "allowed", "forbidden", "element",       "element of vars",
                                "alldiff", "count",     "min",           "max",
                                "abs",     "inverse",   "y == (a <= b)", "y == (a == b)"};
  Model d = solverbench::modelNumber(k);
  for (size_t i = 0; i < d.lo.size(); ++i) std::printf("x%zu in %d..%d\n", i, d.lo[i], d.hi[i]);
  for (const Constraint& c : d.constraints) {
    std::printf("%s:", kinds[c.kind]);
    for (const solverbench::Term& t : c.terms) std::printf(" %d*x%d", t.coef, t.var);
    std::printf("  range %d..%d  y x%d  constant %d  values", c.lb, c.ub, c.defined, c.constant);
    for (int v : c.values) std::printf(" %d", v);
    std::printf("\n");
  }
}

// A line of the set (inSet) is checked against its rule of tree sizes, which
// the tree with presolve off follows.
void printLine(const char* name, const Line& l, bool inSet) {
  const BenchFigures& on = l.on.f;
  std::printf("%-22s %7" PRId64 " sols %8" PRId64 " cps %8" PRId64
              " fails  on %7.3f s (setup %6.4f)  off %7.3f s",
              name, on.solutions, on.choicePoints, on.fails, on.seconds, on.seconds - l.on.search,
              l.off.f.seconds);
  if (l.twin.f.seconds > 0 || l.twin.f.fails > 0)
    std::printf("  Gecode %7.3f s (setup %6.4f)  ratio on %5.2f off %5.2f search %5.2f%s",
                l.twin.f.seconds, l.twin.f.seconds - l.twin.search, l.ratioOn, l.ratioOff,
                l.ratioSearch, l.same ? "" : "  TREES DIFFER");
  if (l.on.thrown > 0 || l.off.thrown > 0)
    std::printf("  FAILURES THROWN (%" PRId64 " on, %" PRId64 " off)", l.on.thrown, l.off.thrown);
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
void printRatios(const char* group, const char* what, std::vector<double> r) {
  if (r.empty()) return;
  std::sort(r.begin(), r.end());
  size_t n = r.size();
  std::printf(
      "%s, %d lines: ratio to Gecode %s: median %.2f, quartiles %.2f %.2f, range %.2f %.2f\n",
      group, static_cast<int>(n), what, benchMedian(r), r[n / 4], r[(3 * n) / 4], r[0], r[n - 1]);
}

// A model's line with its name.
struct Named {
  std::string name;
  Line line;
};

// The ratios of a group of lines; the times' totals.
void printGroup(const char* group, const std::vector<Named>& lines) {
  std::vector<double> on, off, search;
  double totalOn = 0, totalOff = 0, setupOn = 0, twin = 0, setupTwin = 0;
  for (const Named& n : lines) {
    const Line& l = n.line;
    if (l.ratioOn > 0) on.push_back(l.ratioOn);
    if (l.ratioOff > 0) off.push_back(l.ratioOff);
    if (l.ratioSearch > 0) search.push_back(l.ratioSearch);
    totalOn += l.on.f.seconds;
    totalOff += l.off.f.seconds;
    setupOn += l.on.f.seconds - l.on.search;
    twin += l.twin.f.seconds;
    setupTwin += l.twin.f.seconds - l.twin.search;
  }
  printRatios(group, "presolve on", on);
  printRatios(group, "presolve off", off);
  printRatios(group, "of search alone, presolve on", search);
  std::printf("%s: %.3f s presolve on (setup %.3f), %.3f s off, Gecode %.3f s (setup %.3f)\n",
              group, totalOn, setupOn, totalOff, twin, setupTwin);
}

// The summary of the seed model and the set: the ratios of each group and
// of the whole set, the slowest line, every tree equal.
void printSummary(const Line& seed, const std::vector<Named>& linear,
                  const std::vector<Named>& modelled, const std::vector<Named>& posted) {
  if (seed.ratioOn > 0)
    std::printf("seed model: ratio to Gecode %.2f presolve on, %.2f off\n", seed.ratioOn,
                seed.ratioOff);
  printGroup("linear models", linear);
  printGroup("catalogue, modelling layer", modelled);
  printGroup("catalogue, on the manager", posted);
  std::vector<Named> all = linear;
  all.insert(all.end(), modelled.begin(), modelled.end());
  all.insert(all.end(), posted.begin(), posted.end());
  printGroup("the set", all);
  const Named* slowest = nullptr;
  bool same = seed.same;
  for (const Named& n : all) {
    double worst = std::max(n.line.ratioOn, n.line.ratioOff);
    if (!slowest || worst > std::max(slowest->line.ratioOn, slowest->line.ratioOff)) slowest = &n;
    same = same && n.line.same;
  }
  if (slowest)
    std::printf("slowest line: %s, ratio to Gecode %.2f presolve on, %.2f off\n",
                slowest->name.c_str(), slowest->line.ratioOn, slowest->line.ratioOff);
  std::printf("every tree %s\n", same ? "equal" : "NOT EQUAL: SOME TREES DIFFER");
  int thrown = 0;
  for (const Named& n : all) thrown += n.line.on.thrown > 0 || n.line.off.thrown > 0;
  std::printf("every failure %s\n",
              thrown == 0 ? "jumped to its search" : "NOT JUMPED: SOME LINES THROW FAILURES");
}

}  // namespace

int main(int argc, char** argv) {
  bool off = false, onManager = false;
  for (int i = 2; i < argc; ++i) {
    off = off || std::strcmp(argv[i], "off") == 0;
    onManager = onManager || std::strcmp(argv[i], "manager") == 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "order") == 0 && argc >= 3) {
    std::printf("%s\n", labellingOrder(std::atoi(argv[2]), !off, onManager).c_str());
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "scan") == 0) {
    for (int k = std::atoi(argv[2]); k <= std::atoi(argv[3]); ++k)
      std::printf("%d %" PRId64 "\n", k, treeNodes(k, 3000000));
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "show") == 0) {
    show(std::atoi(argv[2]));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "check") == 0) {
    for (int k = std::atoi(argv[2]); k <= std::atoi(argv[3]); ++k) checkTrees(argv[0], k, true);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "pick") == 0) {
    pickCatalogue(argv[0], std::atoi(argv[2]));
    return 0;
  }
  if (argc >= 2) {
    Run run = solveOnce(std::atoi(argv[1]), !off, onManager);
    std::printf("%" PRId64 " %" PRId64 " %" PRId64 " %.6f %.6f %" PRId64 "\n", run.f.solutions,
                run.f.choicePoints, run.f.fails, run.f.seconds, run.search, run.thrown);
    return 0;
  }
  Line seed = measure(argv[0], 0, false, 3, 0);
  printLine("seed", seed, false);
  std::vector<Named> linear, modelled, posted;
  bool same = seed.same;
  for (int k : solverbench::setSeeds()) {
    linear.push_back(
        {solverbench::modelNumber(k).name, measure(argv[0], k, false, 3, kMinSeconds)});
    printLine(linear.back().name.c_str(), linear.back().line, true);
    same = same && linear.back().line.same;
  }
  for (int k : solverbench::catalogueSeeds()) {
    std::string name = solverbench::modelNumber(-k).name;
    modelled.push_back({name, measure(argv[0], -k, false, 3, kMinSeconds)});
    printLine(name.c_str(), modelled.back().line, true);
    posted.push_back({name + ", manager", measure(argv[0], -k, true, 3, kMinSeconds)});
    printLine(posted.back().name.c_str(), posted.back().line, true);
    same = same && modelled.back().line.same && posted.back().line.same;
  }
  printSummary(seed, linear, modelled, posted);
  return same ? 0 : 1;
}
