// An application of the installed library: integers x, y in [0, 10] with
// x + 2y = 11 and x - y <= -1, solved with the solver's default search.
#include <iostream>

#include "qro.h"

int main() {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Int), y(env, 0, 10, QroNumVar::Int);
  model.add(QroRange(env, 11, x + 2 * y, 11));
  model.add(x - y <= -1);
  QroSolver solver(model);
  if (solver.solve()) std::cout << "x = " << solver.getValue(x) << ", y = " << solver.getValue(y);
  std::cout << std::endl;
  env.end();
}
