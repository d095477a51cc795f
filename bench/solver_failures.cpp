// The price of a failure in the solver against the engine's jump mode, on a
// model with no solution whose whole tree is failures: 15 integer variables in
// 0..9 under 3*x7 + 3*x12 - 3*x10 == 31, 34 <= x10*x0 <= 43 and
// 2*x13 - 2*x3 == -14, every solution asked with the default search under a
// time limit of 120 s. The same tree runs through the solver (failures as
// exceptions), through the solver's manager switched to jumps, and through
// the engine alone in jump mode; each prints its failures, choice points and
// time per failure, and the failure counts must agree.
#include <cstdio>

#include "qro.h"
#include "qroext.h"

namespace {

struct Run {
  const char* name;
  QrcInt fails, choicePoints, solutions;
  double seconds;
};

const int N = 15;

QroModel seedModel(QroEnv env, QroNumVarArray& x) {
  QroModel model(env);
  for (int i = 0; i < N; ++i) x.add(QroNumVar(env, 0, 9, QroNumVar::Int));
  // The variables first: the default search labels them in this order.
  for (int i = 0; i < N; ++i) model.add(x[i]);
  model.add(QroRange(env, 31, 3 * x[7] + 3 * x[12] - 3 * x[10], 31));
  model.add(QroRange(env, 34, x[10] * x[0], 43));
  model.add(QroRange(env, -14, 2 * x[13] - 2 * x[3], -14));
  return model;
}

Run throughSolver(bool jumps) {
  QroEnv env;
  QroNumVarArray x(env, 0);
  QroModel model = seedModel(env, x);
  QroSolver solver(model);
  if (jumps) solver.getManager().useExceptions(false);
  double t0 = cpuTime();
  solver.startNewSearch();
  solver.getManagerI()->setTimeLimit(120);
  Run r{jumps ? "solver, jumps" : "solver", 0, 0, 0, 0};
  while (solver.next()) ++r.solutions;
  r.seconds = cpuTime() - t0;
  r.fails = solver.getManagerI()->getFails();
  r.choicePoints = solver.getManagerI()->getChoicePointCount();
  solver.endSearch();
  solver.end();
  env.end();
  return r;
}

Run throughEngine() {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, N, 0, 9);
  mgr.add(3 * x[7] + 3 * x[12] - 3 * x[10] == 31);
  mgr.add(x[10] * x[0] >= 34);
  mgr.add(x[10] * x[0] <= 43);
  mgr.add(2 * x[13] - 2 * x[3] == -14);
  QrcManagerI* m = mgr.getImpl();
  double t0 = cpuTime();
  QrcSearch search(mgr, QrcGenerate(x));
  m->setTimeLimit(120);
  Run r{"engine, jumps", 0, 0, 0, 0};
  while (search.next()) ++r.solutions;
  r.seconds = cpuTime() - t0;
  r.fails = m->getFails();
  r.choicePoints = m->getChoicePointCount();
  search.end();
  mgr.end();
  return r;
}

void print(const Run& r) {
  std::printf("%-14s %10lld %10lld %4lld %9.3f s %8.1f ns/failure\n", r.name,
              static_cast<long long>(r.fails), static_cast<long long>(r.choicePoints),
              static_cast<long long>(r.solutions), r.seconds,
              r.fails ? r.seconds * 1e9 / static_cast<double>(r.fails) : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  // "solver", "jumps" or "engine" runs one of them (for a profile); none runs all.
  const char* only = argc > 1 ? argv[1] : "";
  std::printf("%-14s %10s %10s %4s %11s\n", "", "failures", "choices", "sols", "time");
  Run runs[3];
  int n = 0;
  bool all = !*only;
  if (all || only[0] == 's') print(runs[n++] = throughSolver(false));
  if (all || only[0] == 'j') print(runs[n++] = throughSolver(true));
  if (all || only[0] == 'e') print(runs[n++] = throughEngine());
  for (int i = 1; i < n; ++i)
    if (runs[i].fails != runs[0].fails) {
      std::printf("the trees differ\n");
      return 1;
    }
  if (all) std::printf("solver / engine per failure: %.2f\n", runs[0].seconds / runs[2].seconds);
  return 0;
}
