// Solutions counted through a solver's default search, for the tests of
// model changes: every search stops after 1000 solutions.
#ifndef TESTS_SOLVER_SOLUTION_COUNT_H
#define TESTS_SOLVER_SOLUTION_COUNT_H

#include <sstream>
#include <string>

#include "qromodel.h"
#include "qrosolver.h"

namespace solvertest {

inline std::string shown(const QroExtractable& x) {
  std::ostringstream os;
  x.getImpl()->display(os);
  return os.str();
}

// The solutions the solver's default search enumerates.
inline int countOf(const QroSolver& s) {
  int n = 0;
  s.startNewSearch();
  while (n < 1000 && s.next()) ++n;
  s.endSearch();
  return n;
}

// The solutions of a solver made for the model and ended.
inline int freshCount(const QroModel& m) {
  QroSolver s(m);
  int n = countOf(s);
  s.end();
  return n;
}

// The rest of a search started with one next: the solutions it finds in all.
inline int finishCount(const QroSolver& s) {
  int n = 1;
  while (n < 1000 && s.next()) ++n;
  s.endSearch();
  return n;
}

}  // namespace solvertest

#endif
