// The spring design program: states the model, propagates it, enumerates its
// solutions by interval bisection and prints each one.
#include <cstdio>
#include <iostream>

#include "qro.h"

namespace {

// The five constraints of the spring design over its diameters x, force F and
// coil count N.
void addSpringConstraints(QroModel& model, QroNumVarArray& x, QroNumVar& F, QroNumVar& N) {
  {
    QroNumExprArg a = QroPower(x[1], 4.0);
    QroNumExprArg b = 71785.0 * a;
    QroNumExprArg c = QroPower(x[0], 3.0);
    QroNumExprArg e = c * N;
    QroNumExprArg f = e / b;
    QroNumExprArg g = 1.0 - f;
    model.add(g <= 0.0);
  }
  {
    QroNumExprArg a = QroPower(x[1], 2.0);
    QroNumExprArg b = 5.108 * a;
    QroNumExprArg q = 1.0 / b;
    QroNumExprArg c = QroPower(x[1], 3.0);
    QroNumExprArg e = QroPower(x[1], 3.0);
    QroNumExprArg f = x[0] * e;
    QroNumExprArg s = f - c;
    QroNumExprArg m = 12.566 * s;
    QroNumQuadTermNode t = x[1] * x[0];
    QroNumExprArg p = QroPower(x[0], 4.0);
    QroNumExprArg u = 4.0 * p;
    QroNumExprArg v = u - t;
    QroNumExprArg w = v / m;
    QroNumExprArg z = w + q;
    model.add(z <= 0.0);
  }
  {
    QroNumExprArg l = 140.45 * x[1];
    QroNumExprArg a = QroPower(x[0], 2.0);
    QroNumExprArg b = a * N;
    QroNumExprArg f = l / b;
    QroNumExprArg g = 1.0 - f;
    model.add(g <= 0.0);
  }
  {
    QroNumExprArg s = x[0] + x[1];
    QroNumExprArg f = s / 1.5;
    QroNumExprArg g = f - 1.0;
    model.add(g <= 0.0);
  }
  {
    QroNumExprArg a = QroPower(x[1], 2.0);
    QroNumExprArg s = N + 2.0;
    QroNumExprArg m = s * x[0];
    QroNumExprArg p = m * a;
    model.add(F == p);
  }
}

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
    QroModel model(env);
    QroNumVarArray x(env, 2);
    QroNumVar F(env, 0.0, 0.5);
    QroNumVar N(env, 2.0, 10.0);
    x[0] = QroNumVar(env, 0.25, 1.3);
    x[1] = QroNumVar(env, 0.05, 1.0);
    addSpringConstraints(model, x, F, N);
    solveAndPrint(env, model, x, F, N);
  } catch (QroException& e) {
    std::cout << "Error: ";
    e.print(std::cout);
    std::cout << std::endl;
  }
  env.end();
  std::getchar();
  return 0;
}
