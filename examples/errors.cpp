// Errors in the engine. A mistake in a call (a bad argument, a filter level
// that does not exist) goes to the manager's error reporter with a code: the
// default reporter prints "Solver Error" and stops the program, the solver's
// reporter throws instead. A failure outside a search (a constraint that
// cannot hold, added to a manager without edit mode) is reported as well,
// unless the manager is switched to exceptions. The program makes both
// mistakes and checks that each is caught.
#include <iostream>

#include "qro.h"
#include "qroext.h"

int main() {
  QrcManager manager(QrcNoEdit);
  // Reports become QroSolver::SolverErrorException; failures outside a
  // search become QrcFailException. The reporter must outlive the manager.
  QroSolverErrorReporter reporter;
  manager.getImpl()->setErrorReporter(&reporter);
  manager.useExceptions();

  QrcIntVarArray x(manager, 3, 0, 5);
  int caught = 0;
  try {
    manager.add(QrcAllDiff(x, 7));  // the levels are 0 to 3
  } catch (QroSolver::SolverErrorException& e) {
    e.print(std::cout);  // Solver Error : (44) bad event QrcAllDiff 7
    caught += e.getErrorCode() == QrcBadEventError;
  }
  try {
    manager.add(x[0] == 7);  // 7 is not a value of x[0]
  } catch (QrcFailException&) {
    std::cout << "x[0] == 7 fails" << std::endl;
    ++caught;
  }
  manager.end();
  return caught == 2 ? 0 : 1;
}
