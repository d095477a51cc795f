// The library's own classes on a failure's path. In a manager whose failures
// are exceptions, a failure jumps back to its search while only classes that
// declare themselves the library's (QRCLIBRARYCLASS, naming the class made)
// lie on its way, and is thrown from the moment the manager meets another: a
// class of the library that does not declare itself makes every later
// failure unwind. Failures are counted in searches beside objects of the
// library, in a solver's manager and in an engine manager switched to
// exceptions.
#include <gtest/gtest.h>

#include <functional>

#include "qroext.h"

namespace {

// ---------------------------------------------------------------- failures counted

// P pigeons in P - 1 holes, pairwise different: every leaf of its search fails.
QrcIntVarArray pigeonhole(const QrcManager& mgr, QrcInt pigeons) {
  QrcIntVarArray x(mgr, pigeons, 0, pigeons - 2);
  for (QrcInt i = 0; i < pigeons; ++i)
    for (QrcInt j = i + 1; j < pigeons; ++j) mgr.add(x[i] != x[j]);
  return x;
}

void element(const QrcManager& mgr, bool spread, bool equal) {
  QrcInt compact[] = {3, 1, 4, 1, 5, 2, 6}, wide[] = {30, 10, 40, 10, 50, 20, 60};
  QrcIntArray a(mgr, 7, spread ? wide : compact);
  QrcIntVar y(mgr, 0, 60), x(mgr, 0, 6);
  mgr.add(equal ? QrcElementEq(y, a, x) : QrcElementNEq(y, a, x));
}

// Objects of the library over variables of their own, made after the
// pigeonhole's, before its search.
struct Beside {
  const char* name;
  std::function<void(const QrcManager&)> post;
} const kBeside[] = {
    {"nothing", [](const QrcManager&) {}},
    {"inverse",
     [](const QrcManager& mgr) {
       mgr.add(QrcInverse(QrcIntVarArray(mgr, 3, 0, 2), QrcIntVarArray(mgr, 3, 0, 2)));
     }},
    {"set channelling",
     [](const QrcManager& mgr) {
       QrcIntSetVarArray sets(mgr, 2);
       for (QrcInt i = 0; i < 2; ++i) sets.set(i, QrcIntSetVar(mgr, 0, 2));
       mgr.add(QrcInverse(sets, QrcIntVarArray(mgr, 3, 0, 1)));
     }},
    {"element over 7 constants", [](const QrcManager& mgr) { element(mgr, false, true); }},
    {"element over 7 spread constants", [](const QrcManager& mgr) { element(mgr, true, true); }},
    {"element disequality", [](const QrcManager& mgr) { element(mgr, false, false); }},
};

// Beside each object, every failure of the search jumps, in a solver's
// manager and in an engine manager switched to exceptions.
TEST(LibraryClasses, FailuresJumpBesideTheLibrarysObjects) {
  for (bool inSolver : {true, false}) {
    for (const Beside& row : kBeside) {
      SCOPED_TRACE(testing::Message() << row.name << (inSolver ? ", solver" : ", engine"));
      QroEnv env;
      QroModel model(env);
      QroSolver solver(model);
      QrcManager engine(QrcNoEdit);
      engine.useExceptions();
      QrcManager mgr = inSolver ? solver.getManager() : engine;
      QrcManagerI* m = mgr.getImpl();
      QrcIntVarArray x = pigeonhole(mgr, 5);
      row.post(mgr);
      QrcInt fails = m->getFails(), jumped = m->getJumpedFailures(),
             thrown = m->getThrownFailures();
      QrcSearch search(mgr, QrcGenerate(x));
      EXPECT_FALSE(search.next());
      search.end();
      EXPECT_GT(m->getFails() - fails, 0);
      EXPECT_EQ(m->getJumpedFailures() - jumped, m->getFails() - fails);
      EXPECT_EQ(m->getThrownFailures() - thrown, 0);
      EXPECT_FALSE(m->hasMetForeignCode());
      engine.end();
      solver.end();
      env.end();
    }
  }
}

}  // namespace
