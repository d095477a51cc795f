// A solver's manager given another solver's engine variables: the engine's
// checks report code 53 through the solver's reporter, which throws, and the
// solver goes on answering as before.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qro.h"
#include "qroext.h"

namespace {

TEST(SolverEngineMisuse, AnotherSolversVariablesAreReported) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int), y(env, 0, 3, QroNumVar::Int);
  model.add(x);
  model.add(y);
  QroSolver s1(model), s2(model);
  QrcManager m1 = s1.getManager();
  QrcIntVar x1 = s1.getIntVar(x), y2 = s2.getIntVar(y);
  struct Row {
    const char* place;
    std::function<void()> misuse;
  } rows[] = {
      {"add QrcConstraint", [&] { m1.add(y2 == 1); }},
      {"operator!=", [&] { m1.add(x1 != y2); }},
      {"QrcAllDiff",
       [&] {
         QrcIntVarArray a(m1, 2);
         a.set(0, x1);
         a.set(1, y2);
         m1.add(QrcAllDiff(a));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.place);
    try {
      row.misuse();
      ADD_FAILURE() << "accepted";
    } catch (const QroSolver::SolverErrorException& e) {
      EXPECT_EQ(e.getErrorCode(), 53);
      EXPECT_STREQ(e.getFunctionName(), row.place);
      EXPECT_STREQ(e.getMessage(), "Managers are different");
    }
  }
  // Nothing was stored: every value is left, and both solvers still solve.
  EXPECT_EQ(x1.getMax(), 3);
  EXPECT_EQ(y2.getMin(), 0);
  EXPECT_EQ(s1.solve(), 1);
  EXPECT_EQ(s2.solve(), 1);
  env.end();
}

}  // namespace
