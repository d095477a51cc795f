// Bound shaving in the bisection of the design model: the first box of the
// search on D then d, lower halves first, for several shave ratios. Prints the
// choice points and failures of the outer search, the nested searches of
// shaving (and how many refuted their slice) and the time of the first next.
#include <chrono>
#include <cstdio>

#include "qro.h"
#include "spring_model.h"
#include "qroext.h"

namespace {

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Figures {
  QrcInt choicePoints = 0, outerFails = 0, nestedSearches = 0, refuted = 0;
  double D = 0, seconds = 0;
};

Figures firstBox(double ratio) {
  Figures f;
  QroEnv env;
  {
    SpringModel spring(env);
    QroNumVarArray& x = spring.x;
    QroSolver solver(spring.model, &QrcEdit);
    solver.solve(QroGoal(), QroSolver::RestartSearch, 0);
    QroGoal goal =
        QroAndGoal(QroNumDichotomize(env, x[0], 0, ratio), QroNumDichotomize(env, x[1], 0, ratio));
    solver.startNewSearch(goal, QroSolver::RestartSearch);
    QrcInt searches = getBoundShavingSearches(), refuted = getBoundShavingRefutations();
    auto t0 = std::chrono::steady_clock::now();
    if (solver.next()) f.D = solver.getFloatVar(x[0]).getMin();
    f.seconds = since(t0);
    f.nestedSearches = getBoundShavingSearches() - searches;
    f.refuted = getBoundShavingRefutations() - refuted;
    f.choicePoints = solver.getManagerI()->getChoicePointCount();
    // A refuted slice is one failure inside its nested search.
    f.outerFails = solver.getManagerI()->getFails() - f.refuted;
    solver.endSearch();
  }
  env.end();
  return f;
}

}  // namespace

int main() {
  const int runs = 20;
  std::printf("design model, first box, %d runs each\n", runs);
  std::printf("%-6s %8s %8s %8s %8s %10s %16s\n", "ratio", "cps", "fails", "nested", "refuted",
              "time (ms)", "D min");
  for (double ratio : {0.0, 0.5, 0.2, 0.01}) {
    Figures f;
    double total = 0;
    for (int r = 0; r < runs; ++r) {
      f = firstBox(ratio);
      total += f.seconds;
    }
    std::printf("%-6g %8lld %8lld %8lld %8lld %10.3f %16.12f\n", ratio,
                static_cast<long long>(f.choicePoints), static_cast<long long>(f.outerFails),
                static_cast<long long>(f.nestedSearches), static_cast<long long>(f.refuted),
                1000.0 * total / runs, f.D);
  }
  return 0;
}
