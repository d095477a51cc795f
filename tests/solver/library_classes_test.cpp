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
#include "support/reported.h"

namespace {

// ---------------------------------------------------------------- failures counted

// P pigeons in P - 1 holes, pairwise different: every leaf of its search fails.
QrcIntVarArray pigeonhole(const QrcManager& mgr, QrcInt pigeons) {
  QrcIntVarArray x(mgr, pigeons, 0, pigeons - 2);
  for (QrcInt i = 0; i < pigeons; ++i)
    for (QrcInt j = i + 1; j < pigeons; ++j) mgr.add(x[i] != x[j]);
  return x;
}

QrcTupleSet sumTriples(const QrcManager& mgr) {
  QrcTupleSet set(mgr, 3);
  for (QrcInt a = 0; a <= 2; ++a)
    for (QrcInt b = 0; a + b <= 2; ++b) {
      QrcInt t[] = {a, b, a + b};
      set.add(QrcIntArray(mgr, 3, t));
    }
  set.close();
  return set;
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
    {"allowed table",
     [](const QrcManager& mgr) {
       mgr.add(QrcTableConstraint(QrcIntVarArray(mgr, 3, 0, 2), sumTriples(mgr), true));
     }},
    {"forbidden table",
     [](const QrcManager& mgr) {
       mgr.add(QrcTableConstraint(QrcIntVarArray(mgr, 3, 0, 2), sumTriples(mgr), false));
     }},
    // The report leaves the box's constructor as an exception, which the
    // caller catches.
    {"report out of a constructor",
     [](const QrcManager& mgr) {
       QrcInt sizes[] = {1};
       bool reported = false;
       testing::internal::CaptureStderr();
       try {
         QrcBox(0, QrcIntVarArray(mgr, 1, 0, 3), QrcIntArray(mgr, 1, sizes));
       } catch (...) {
         reported = true;
       }
       testing::internal::GetCapturedStderr();
       EXPECT_TRUE(reported);
     }},
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
      qrotest::ThrowingReporter reporter;
      engine.getImpl()->setErrorReporter(&reporter);
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
