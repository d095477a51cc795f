// Eight queens on a chessboard, none attacking another, in the search engine:
// queen i stands in column i and row q[i]; three all-different constraints
// keep the rows and both diagonals apart. Counts the solutions, checks the
// count (92) and prints the search statistics.
#include <iostream>

#include "qro.h"
#include "qroext.h"  // the engine's global constraints, goals and searches

int main() {
  const QrcInt n = 8;
  // Every engine object lives on its manager and goes with it. QrcNoEdit
  // posts each constraint as soon as it is added.
  QrcManager manager(QrcNoEdit);
  QrcIntVarArray q(manager, n, 0, n - 1);           // n variables over 0..n-1
  QrcIntVarArray up(manager, n), down(manager, n);  // n empty elements, set below
  for (QrcInt i = 0; i < n; ++i) {
    up.set(i, q[i] + i);
    down.set(i, q[i] - i);
  }
  manager.add(QrcAllDiff(q));
  manager.add(QrcAllDiff(up));
  manager.add(QrcAllDiff(down));

  // The goal binds the variables in order, smallest value first; each next()
  // moves on to the following solution.
  QrcSearch search(manager, QrcGenerate(q));
  QrcInt solutions = 0;
  while (search.next())
    if (++solutions == 1) std::cout << "first solution: " << q << std::endl;
  search.end();
  std::cout << solutions << " solutions" << std::endl;
  manager.getImpl()->printStatistics(std::cout);
  manager.end();
  return solutions == 92 ? 0 : 1;
}
