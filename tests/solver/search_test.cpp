#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrcfail.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qrogoal.h"
#include "qromodel.h"
#include "qroplatform.h"
#include "solver_support.h"

using namespace solvertest;

namespace {

static_assert(QroSolver::Unknown == 0 && QroSolver::Feasible == 1 && QroSolver::Optimal == 2 &&
                  QroSolver::Infeasible == 3 && QroAlgorithm::Error == 6,
              "solve statuses keep their numbers");
static_assert(QroNumVar::Int == 1 && QroNumVar::Float == 2 && QroNumVar::Bool == 3,
              "variable types keep their numbers");

class SolverSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    model = QroModel(env);
    solver = QroSolver(model);
  }
  void TearDown() override {
    solver.end();
    env.end();
  }
  QroEnv env;
  QroModel model;
  QroSolver solver;
};

TEST_F(SolverSearch, EmptyModelPropagatesAndSearchesOnce) {
  // Synchronised, nothing run yet.
  EXPECT_EQ(solver.getStatus(), QroSolver::Unknown);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Feasible);
  solver.startNewSearch(QroGoal());
  EXPECT_EQ(solver.next(), 1);
  EXPECT_EQ(solver.next(), 0);
  solver.endSearch();
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getImpl()->getSyncLevel(), QroSolverI::Searched);
}

TEST_F(SolverSearch, OneSolveAtATime) {
  solver.startNewSearch(engineGoal(env.getImpl(), makeTwoWays));
  EXPECT_EQ(solver.next(), 1);
  try {
    solver.solve();
    FAIL() << "solve during an open search";
  } catch (const QroSolver::MultipleSearchException& e) {
    EXPECT_STREQ(e.getMessage(), "QroSolver can not handle multiple searchs");
  }
  EXPECT_THROW(solver.solve(QroGoal()), QroSolver::MultipleSearchException);
  EXPECT_THROW(solver.startNewSearch(QroGoal()), QroSolver::MultipleSearchException);
  // The open search goes on where it was.
  EXPECT_EQ(solver.next(), 1);
  EXPECT_EQ(solver.next(), 0);
  EXPECT_THROW(solver.solve(), QroSolver::MultipleSearchException);
  EXPECT_EQ(solver.next(), 0);
  solver.endSearch();
  try {
    solver.next();
    FAIL() << "next after endSearch";
  } catch (const QroSolver::WrongContext& e) {
    EXPECT_STREQ(e.getMessage(), "There is no active search");
  }
  EXPECT_THROW(solver.endSearch(), QroSolver::WrongContext);
  EXPECT_EQ(solver.solve(), 1);
}

TEST_F(SolverSearch, FailingGoalGivesNoSolution) {
  EXPECT_EQ(solver.solve(engineGoal(env.getImpl(), makeFail)), 0);
  EXPECT_EQ(solver.getStatus(), QroSolver::Infeasible);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Feasible);
}

TEST_F(SolverSearch, EngineErrorsBecomeSolverExceptions) {
  try {
    solver.solve(engineGoal(env.getImpl(), makeError));
    FAIL() << "no exception";
  } catch (const QroSolver::SolverErrorExceptionExprI& e) {
    EXPECT_EQ(e.getErrorCode(), QrcUnboundError);
    EXPECT_EQ(e.getCode(), -1);
    std::string text = printed(e);
    std::string head = "Solver Error : (10) QrcFloatExpI::getValue unbound constrained variable ";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_GT(text.size(), head.size());
  }
  // The running flag was cleared: the solver goes on.
  EXPECT_FALSE(solver.getImpl()->isRunning());
  EXPECT_EQ(solver.getStatus(), QroSolver::Unknown);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
}

TEST_F(SolverSearch, ErrorOutOfNextEndsTheSearch) {
  solver.startNewSearch(engineGoal(env.getImpl(), makeError));
  EXPECT_THROW(solver.next(), QroSolver::SolverErrorException);
  EXPECT_FALSE(solver.getImpl()->isRunning());
  // The solver abandoned the search: the caller has nothing to end.
  try {
    solver.endSearch();
    FAIL() << "endSearch after the search was abandoned";
  } catch (const QroSolver::WrongContext& e) {
    EXPECT_STREQ(e.getMessage(), "There is no active search");
  }
  EXPECT_THROW(solver.next(), QroSolver::WrongContext);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  solver.startNewSearch(engineGoal(env.getImpl(), makeTwoWays));
  EXPECT_EQ(solver.next(), 1);
  EXPECT_EQ(solver.next(), 1);
  EXPECT_EQ(solver.next(), 0);
  solver.endSearch();
  EXPECT_EQ(solver.getImpl()->getManager()->getSearchDepth(), 0);
}

TEST_F(SolverSearch, ErrorAfterASolutionRestoresTheRoot) {
  struct Local {
    static QrcGoalI* make(QrcManagerI* m) {
      // First branch succeeds, second reports an error.
      return new (m) QrcOrI(m, new (m) QrcGoalTrueI(m), new (m) ErrorGoalI(m), nullptr);
    }
  };
  QrcManagerI* m = solver.getManagerI();
  solver.startNewSearch(engineGoal(env.getImpl(), Local::make));
  EXPECT_EQ(solver.next(), 1);
  EXPECT_THROW(solver.next(), QroSolver::SolverErrorException);
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_EQ(m->getNextDepth(), 0);
  EXPECT_EQ(solver.solve(engineGoal(env.getImpl(), makeTwoWays)), 1);
}

TEST_F(SolverSearch, NestedSolveOnlyInsideAGoal) {
  EXPECT_THROW(solver.solve(QrcGoalTrue(solver.getManager()), false), QroSolver::WrongContext);
}

TEST_F(SolverSearch, PrintInformationShowsEngineStatistics) {
  std::ostringstream os;
  solver.getImpl()->setOut(os);
  solver.solve(engineGoal(env.getImpl(), makeFail));
  solver.printInformation();
  std::string text = os.str();
  for (const char* label : {"Number of fails               : ", "Number of choice points       : ",
                            "Number of variables           : ", "Number of constraints         : ",
                            "Total memory used (bytes)     : ", "Running time since creation   : "})
    EXPECT_NE(text.find(label), std::string::npos) << label;
  EXPECT_EQ(text.find("Number of fails               : 1\n"), 0u);
  // Every line is labelled, in the engine's order.
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> labels;
  while (std::getline(lines, line)) labels.push_back(line.substr(0, line.find(':') + 2));
  std::vector<std::string> expected = {
      "Number of fails               : ", "Number of choice points       : ",
      "Number of variables           : ", "Number of constraints         : ",
      "Reversible stack (bytes)      : ", "Solver heap (bytes)           : ",
      "Solver global heap (bytes)    : ", "And stack (bytes)             : ",
      "Or stack (bytes)              : ", "Search Stack (bytes)          : ",
      "Constraint queue (bytes)      : ", "Total memory used (bytes)     : ",
      "Running time since creation   : "};
  labels.erase(
      std::remove(labels.begin(), labels.end(), std::string("Persistent stack (bytes)      : ")),
      labels.end());
  EXPECT_EQ(labels, expected);
}

TEST(SolverHandle, EmptyHandleThrows) {
  QroSolver empty;
  try {
    empty.solve();
    FAIL() << "no exception";
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e), "QroSolver is a empty handle");
  }
  EXPECT_THROW(empty.next(), QroSolver::EmptyHandle);
  EXPECT_THROW(empty.startNewSearch(QroGoal()), QroSolver::EmptyHandle);
  EXPECT_THROW(empty.printInformation(), QroSolver::EmptyHandle);
  EXPECT_THROW(empty.getStatus(), QroSolver::EmptyHandle);
  EXPECT_THROW(empty.getManager(), QroSolver::EmptyHandle);
}

TEST(SolverHandle, LiveSolverCount) {
  QroEnv env;
  QroModel model(env);
  QroInt before = QroSolverI::getLiveSolverCount();
  QroSolver a(model), b(model);
  EXPECT_EQ(QroSolverI::getLiveSolverCount(), before + 2);
  a.end();
  EXPECT_EQ(QroSolverI::getLiveSolverCount(), before + 1);
  env.end();  // takes b with it
  EXPECT_EQ(QroSolverI::getLiveSolverCount(), before);
}

TEST(SolverHandle, EnvironmentEndTakesAnOpenSearch) {
  QroEnv env;
  QroModel model(env);
  QroSolver s(model);
  s.startNewSearch(engineGoal(env.getImpl(), makeTwoWays));
  EXPECT_EQ(s.next(), 1);
  env.end();
}

}  // namespace

namespace {

int g_nested = -1;

class NestedSolveGoalI : public QrcGoalI {
 public:
  explicit NestedSolveGoalI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    QroSolver solver(getSolverI());
    g_nested = static_cast<int>(solver.solve(QrcGoalTrue(solver.getManager()), true)) +
               2 * static_cast<int>(
                       solver.solve(QrcGoal(new (_manager) QrcGoalFailI(_manager, nullptr)), true));
    return nullptr;
  }
};

QrcGoalI* makeNested(QrcManagerI* m) {
  return new (m) NestedSolveGoalI(m);
}

TEST_F(SolverSearch, NestedSolveInsideAGoal) {
  g_nested = -1;
  EXPECT_EQ(solver.solve(engineGoal(env.getImpl(), makeNested)), 1);
  EXPECT_EQ(g_nested, 1);
}

TEST_F(SolverSearch, FastRestartModeIsFixedWhileAModelIsLoaded) {
  try {
    solver.getImpl()->setFastRestartMode(0);
    FAIL();
  } catch (const QroSolver::WrongContext& e) {
    EXPECT_STREQ(e.getMessage(),
                 "You cannot touch the fast restart mode while a model is loaded in the solver");
  }
  EXPECT_TRUE(solver.getImpl()->getFastRestartMode());
}

}  // namespace

namespace {

// A model goal whose conversion throws, as a goal over a variable the solver
// does not know does.
TEST_F(SolverSearch, ExceptionsOutOfGoalConversionLeaveTheSolverUsable) {
  QroNumVar x(env, 0.0, 1.0, QroNumVar::Float, "x");
  model.add(x);
  QroGoal bad = QroNumDichotomize(env, QroNumVar(), 1, 0.0);
  try {
    solver.solve(bad);
    FAIL() << "no exception";
  } catch (const QroSolver::EmptyHandle& e) {
    EXPECT_STREQ(e.getMessage(), "Empty variable handle");
  }
  EXPECT_FALSE(solver.getImpl()->isRunning());
  EXPECT_EQ(solver.getManagerI()->getSearchDepth(), 0);
  QroNumVar absent(env, 0.0, 1.0, QroNumVar::Float, "absent");
  solver.startNewSearch(
      QroAndGoal(engineGoal(env.getImpl(), makeTwoWays), QroNumDichotomize(env, absent, 1, 0.0)));
  try {
    solver.next();
    FAIL() << "no exception";
  } catch (const QroSolver::ObjectNotExtracted& e) {
    EXPECT_STREQ(e.getMessage(), "QroSolver::isInteger");
  }
  EXPECT_FALSE(solver.getImpl()->isRunning());
  EXPECT_THROW(solver.next(), QroSolver::WrongContext);
  EXPECT_EQ(solver.getManagerI()->getSearchDepth(), 0);
  // The domains are back where they were and searches run again.
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  QrcFloatVar fx = solver.getFloatVar(x);
  EXPECT_EQ(fx.getMin(), 0.0);
  EXPECT_EQ(fx.getMax(), 1.0);
  solver.startNewSearch(QroNumDichotomize(env, x, 0, 0.0));
  ASSERT_EQ(solver.next(), 1);
  EXPECT_LE(solver.getFloatVar(x).getMax(), 0.5);
  solver.endSearch();
}

}  // namespace

namespace {

// A goal whose nested solve reports an engine error.
class NestedErrorGoalI : public QrcGoalI {
 public:
  explicit NestedErrorGoalI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    QroSolver solver(getSolverI());
    solver.solve(QrcGoal(new (_manager) ErrorGoalI(_manager)), true);
    return nullptr;
  }
};

// Reports an error while rounding upward.
class RoundingErrorGoalI : public QrcGoalI {
 public:
  explicit RoundingErrorGoalI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    qroplatform::setRounding(2);
    _manager->getErrorReporter()->report(3, "f", "m", 1.5);
    return nullptr;
  }
};

QrcGoalI* makeRoundingError(QrcManagerI* m) {
  return new (m) RoundingErrorGoalI(m);
}

QrcGoalI* makeNestedError(QrcManagerI* m) {
  return new (m) QrcOrI(m, new (m) NestedErrorGoalI(m), new (m) QrcGoalTrueI(m), nullptr);
}

TEST_F(SolverSearch, ErrorInsideANestedSolveUnwindsEverySearch) {
  QrcManagerI* m = solver.getManagerI();
  EXPECT_THROW(solver.solve(engineGoal(env.getImpl(), makeNestedError)),
               QroSolver::SolverErrorException);
  EXPECT_FALSE(solver.getImpl()->isRunning());
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_EQ(m->getNextDepth(), 0);
  solver.startNewSearch(engineGoal(env.getImpl(), makeNestedError));
  EXPECT_THROW(solver.next(), QroSolver::SolverErrorException);
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_THROW(solver.next(), QroSolver::WrongContext);
  // Rounding is back to nearest once the error has left the search.
  EXPECT_THROW(solver.solve(engineGoal(env.getImpl(), makeRoundingError)),
               QroSolver::SolverErrorExceptionFloat);
  EXPECT_EQ(qroplatform::getRounding(), 1);
  // Nested solves work again afterwards.
  g_nested = -1;
  EXPECT_EQ(solver.solve(engineGoal(env.getImpl(), makeNested)), 1);
  EXPECT_EQ(g_nested, 1);
}

}  // namespace

namespace {

// The solver forgets a model ended under it: every run then says so instead
// of reading the freed model, and a new model can be loaded.
TEST(SolverModelEnd, RunsAfterTheModelEndedSayTheModelIsNotLoaded) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int, "x");
  model.add(QroRange(env, 1, x, 2));
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(), 1);
  QroModel other(env);
  other.end();  // not the solver's model
  EXPECT_EQ(solver.solve(), 1);
  model.end();
  try {
    solver.solve();
    FAIL() << "solve without a model";
  } catch (const QroSolver::ModelNotExtracted& e) {
    EXPECT_STREQ(e.getMessage(), "Model is not loaded");
  }
  EXPECT_THROW(solver.solve(QroGoal()), QroSolver::ModelNotExtracted);
  EXPECT_THROW(solver.startNewSearch(), QroSolver::ModelNotExtracted);
  QroModel second(env);
  second.add(QroRange(env, 3, x, 3));
  QroAlgorithm(solver.getImpl()).extract(second);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(x), 3);
  env.end();
}

}  // namespace
