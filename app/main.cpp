// The spring design program: states the model, propagates it, enumerates its
// solutions by interval bisection and prints each one.
#include <cstdio>
#include <iostream>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "qrcfloatexp.h"

int main() {
  QroEnv env;
  try {
    QroModel model(env);
    QroNumVarArray x(env, 2);
    QroNumVar F(env, 0.0, 0.5);
    QroNumVar N(env, 2.0, 10.0);
    x[0] = QroNumVar(env, 0.25, 1.3);
    x[1] = QroNumVar(env, 0.05, 1.0);

    model.add(1.0 - (QroPower(x[0], 3.0) * N) / (71785.0 * QroPower(x[1], 4.0)) <= 0.0);
    {
      QroNumExpr q = 1.0 / (5.108 * QroPower(x[1], 2.0));
      QroNumExpr c = QroPower(x[1], 3.0);
      QroNumExpr e = QroPower(x[1], 3.0);
      QroNumExpr m = 12.566 * (x[0] * e - c);
      QroNumQuadTermNode t = x[1] * x[0];
      QroNumExpr v = 4.0 * QroPower(x[0], 4.0) - t;
      model.add(v / m + q <= 0.0);
    }
    model.add(1.0 - (140.45 * x[1]) / (QroPower(x[0], 2.0) * N) <= 0.0);
    model.add((x[0] + x[1]) / 1.5 - 1.0 <= 0.0);
    model.add(F == (N + 2.0) * x[0] * QroPower(x[1], 2.0));

    QroSolver solver(model, &QrcEdit);
    std::cout << "Propagation... " << solver.solve(QroGoal(), 1, 0) << std::endl;
    QroGoal goal = QroAndGoal(QroNumDichotomize(env, x[0], 0, 0.0), QroNumDichotomize(env, x[1], 0, 0.0));
    solver.startNewSearch(goal, 1);
    while (solver.next()) {
      if (!solver.solve()) continue;
      solver.out() << "F = " << solver.getFloatVar(F) << std::endl;
      solver.out() << "D = " << solver.getFloatVar(x[0]) << std::endl;
      solver.out() << "d = " << solver.getFloatVar(x[1]) << std::endl;
      solver.out() << "N = " << solver.getValue(N) << std::endl;
    }
    solver.printInformation();
    solver.endSearch();
  } catch (QroException& e) {
    std::cout << "Error: ";
    e.print(std::cout);
    std::cout << std::endl;
  }
  env.end();
  std::getchar();
  return 0;
}
