// Code on the extension interface of the installed library: engine expressions
// with int constants, a constraint posted on the manager, the value it leaves.
#include <iostream>

#include "qro.h"
#include "qroext.h"

int main() {
  QrcManager manager(QrcNoEdit);
  QrcIntVar x(manager, -5, 9);
  manager.add(2 * x + 1 == 7);
  std::cout << "x = " << x.getValue() << std::endl;
  manager.end();
}
