// A nonlinear float system through the modelling layer and the solver: the
// points where the unit circle x^2 + y^2 = 1 meets the parabola y = x^2.
// Interval propagation with bisection of x and y encloses each of the two
// points in a narrow box; each box is printed exactly (its bounds rounded
// outward, so the printed box contains the computed one) and checked to
// contain the true point (x, y) = (+-sqrt(g), g), g = (sqrt(5) - 1) / 2.
#include <cmath>
#include <iomanip>
#include <iostream>

#include "qro.h"

int main() {
  QroEnv env;
  int status = 0;
  try {
    QroModel model(env);
    QroNumVar x(env, -2.0, 2.0), y(env, -2.0, 2.0);  // float variables by default
    // The modelling layer states ranges and equalities: x^2 + y^2 == 1 is a
    // range of one value, and so is y - x^2 == 0.
    model.add(QroRange(env, 1.0, QroPower(x, 2.0) + QroPower(y, 2.0), 1.0));
    model.add(QroRange(env, 0.0, y - QroPower(x, 2.0), 0.0));

    // Bisects x, then y, lower half first, down to the manager's precision;
    // every solution of the search is a box that propagation could not split.
    QroSolver solver(model);
    solver.startNewSearch(
        QroAndGoal(QroNumDichotomize(env, x, 0, 0.0), QroNumDichotomize(env, y, 0, 0.0)));
    // An engine float variable prints its interval with the stream's precision.
    std::cout << std::setprecision(17);
    const long double g = (std::sqrt(5.0L) - 1) / 2, root = std::sqrt(g);
    int boxes = 0;
    while (solver.next()) {
      QrcFloatVar bx = solver.getFloatVar(x), by = solver.getFloatVar(y);
      std::cout << "x = " << bx << "  y = " << by << std::endl;
      const long double px = bx.getMin() < 0 ? -root : root;
      if (!(bx.getMin() <= px && px <= bx.getMax() && by.getMin() <= g && g <= by.getMax() &&
            bx.getMax() - bx.getMin() < 1e-6 && by.getMax() - by.getMin() < 1e-6)) {
        std::cerr << "a box misses the point" << std::endl;
        status = 1;
      }
      ++boxes;
    }
    solver.endSearch();
    if (boxes != 2) {
      std::cerr << boxes << " boxes, expected 2" << std::endl;
      status = 1;
    }
  } catch (QroException& e) {
    e.print(std::cerr);
    std::cerr << std::endl;
    status = 1;
  }
  env.end();
  return status;
}
