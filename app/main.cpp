// The spring design program: states the model, propagates it, enumerates its
// solutions by interval bisection and prints each one.
#include <cstdio>
#include <iostream>

#include "qro.h"
#include "spring_model.h"

namespace {

// Propagates the model, then prints every solution of the bisection search.
void solveAndPrint(QroEnv& env, QroModel& model, QroNumVarArray& x, QroNumVar& F, QroNumVar& N) {
  QroSolver solver(model, &QrcEdit);
  std::cout << "Propagation... " << solver.solve(QroGoal(), QroSolver::RestartSearch, 0)
            << std::endl;
  // Option 0 tries the lower half of each interval first.
  QroGoal goal =
      QroAndGoal(QroNumDichotomize(env, x[0], 0, 0.0), QroNumDichotomize(env, x[1], 0, 0.0));
  solver.startNewSearch(goal, QroSolver::RestartSearch);
  while (solver.next()) {
    if (!solver.solve()) continue;
    solver.out() << "F = " << solver.getFloatVar(F) << std::endl;
    solver.out() << "D = " << solver.getFloatVar(x[0]) << std::endl;
    solver.out() << "d = " << solver.getFloatVar(x[1]) << std::endl;
    solver.out() << "N = " << solver.getValue(N) << std::endl;
  }
  solver.printInformation();
  solver.endSearch();
}

}  // namespace

int main() {
  QroEnv env;
  try {
    SpringModel spring(env);
    solveAndPrint(env, spring.model, spring.x, spring.F, spring.N);
  } catch (QroException& e) {
    std::cout << "Error: ";
    e.print(std::cout);
    std::cout << std::endl;
  }
  env.end();
  std::getchar();
  return 0;
}
