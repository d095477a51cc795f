#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcmanager.h"
#include "solver_support.h"

namespace {

// 0-1 knapsack: maximise the value within the capacity.
struct Knapsack {
  Knapsack(QroEnv& env, const std::vector<int>& w, const std::vector<int>& v, int capacity)
      : model(env), x(env, 0) {
    for (size_t i = 0; i < w.size(); ++i) x.add(QroNumVar(env, 0, 1, QroNumVar::Int));
    QroNumExprArg weight = static_cast<double>(w[0]) * x[0];
    QroNumExprArg value = static_cast<double>(v[0]) * x[0];
    for (size_t i = 1; i < w.size(); ++i) {
      weight = weight + static_cast<double>(w[i]) * x[i];
      value = value + static_cast<double>(v[i]) * x[i];
    }
    model.add(weight <= capacity);
    model.add(QroObjective(env, value, QroObjectiveI::Maximize));
  }
  QroModel model;
  QroNumVarArray x;
};

int bruteKnapsack(const std::vector<int>& w, const std::vector<int>& v, int capacity) {
  int best = 0;
  for (unsigned mask = 0; mask < (1u << w.size()); ++mask) {
    int weight = 0, value = 0;
    for (size_t i = 0; i < w.size(); ++i)
      if (mask >> i & 1) weight += w[i], value += v[i];
    if (weight <= capacity) best = std::max(best, value);
  }
  return best;
}

const std::vector<int> kW = {12, 7, 11, 8, 9}, kV = {24, 13, 23, 15, 16};

TEST(Optima, KnapsackMatchesBruteForce) {
  EXPECT_EQ(bruteKnapsack(kW, kV, 26), 51);
  QroEnv env;
  Knapsack k(env, kW, kV, 26);
  QroSolver solver(k.model);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_EQ(solver.getObjValue(), 51);
  std::vector<double> chosen;
  for (QroInt i = 0; i < 5; ++i) chosen.push_back(solver.getValue(k.x[i]));
  EXPECT_EQ(chosen, (std::vector<double>{0, 1, 1, 1, 0}));
  env.end();
}

// One machine, jobs with processing times p and weights w, start times in
// [0, 10]; each pair is ordered one way or the other (big-M); minimise the
// weighted completion times.
const int kP[4] = {3, 2, 4, 1}, kWt[4] = {2, 1, 3, 2};

int bruteSchedule() {
  int best = INT_MAX;
  int s[4];
  for (s[0] = 0; s[0] <= 10; ++s[0])
    for (s[1] = 0; s[1] <= 10; ++s[1])
      for (s[2] = 0; s[2] <= 10; ++s[2])
        for (s[3] = 0; s[3] <= 10; ++s[3]) {
          bool ok = true;
          for (int i = 0; i < 4 && ok; ++i)
            for (int j = i + 1; j < 4 && ok; ++j) ok = s[i] + kP[i] <= s[j] || s[j] + kP[j] <= s[i];
          if (!ok) continue;
          int cost = 0;
          for (int i = 0; i < 4; ++i) cost += kWt[i] * (s[i] + kP[i]);
          best = std::min(best, cost);
        }
  return best;
}

TEST(Optima, WeightedCompletionMatchesBruteForceAndSmithsRule) {
  EXPECT_EQ(bruteSchedule(), 43);
  QroEnv env;
  QroModel model(env);
  const double M = 20;
  QroNumVarArray s(env, 0);
  for (int i = 0; i < 4; ++i) s.add(QroNumVar(env, 0, 10, QroNumVar::Int));
  QroNumExprArg cost = 0.0 * s[0];
  for (int i = 0; i < 4; ++i) cost = cost + kWt[i] * (s[i] + kP[i] + 0.0);
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) {
      QroNumVar b(env, 0, 1, QroNumVar::Int);
      // b = 1: i before j; b = 0: j before i.
      model.add(s[i] + kP[i] - s[j] + M * b <= M);
      model.add(s[j] + kP[j] - s[i] - M * b <= 0.0);
    }
  model.add(QroObjective(env, cost, QroObjectiveI::Minimize));
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_EQ(solver.getObjValue(), 43);
  std::vector<double> starts;
  for (int i = 0; i < 4; ++i) starts.push_back(solver.getValue(s[i]));
  EXPECT_EQ(starts, (std::vector<double>{5, 8, 1, 0}));
  env.end();
}

TEST(ObjectiveSearch, EveryIntegerSolutionImprovesByOne) {
  QroEnv env;
  Knapsack k(env, kW, kV, 26);
  QroSolver solver(k.model);
  solver.startNewSearch();
  std::vector<double> seen;
  while (solver.next()) seen.push_back(solver.getObjValue());
  solver.endSearch();
  ASSERT_GE(seen.size(), 2u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1] + 1);
  EXPECT_EQ(seen.back(), 51);
  env.end();
}

TEST(ObjectiveSearch, EveryFloatSolutionImprovesByTheStep) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 1, 1.0005);
  model.add(x);
  model.add(QroObjective(env, 1.0 * x, QroObjectiveI::Minimize));
  QroSolver solver(model);
  // Upper half first: solutions come from the top down.
  solver.startNewSearch(QroNumDichotomize(env, x, 1, 0.0));
  // The bound of the objective drops by the step from one solution to the
  // next (its value, the middle of a box, by about as much).
  QrcFloatExpI* objective = static_cast<QrcFloatExpI*>(solver.getImpl()->getFloatObjective());
  std::vector<double> seen;
  while (solver.next()) {
    seen.push_back(objective->getMax());
    EXPECT_NEAR(solver.getObjValue(), seen.back(), 1e-9);
  }
  solver.endSearch();
  ASSERT_GE(seen.size(), 5u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i], seen[i - 1] - 0.0001 + 1e-12);
  EXPECT_LT(seen.back(), 1.0001);
  env.end();
}

TEST(ObjectiveSearch, FloatMaximumOfABoundedSquare) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 4);
  model.add(x * x <= 2.0);
  model.add(QroObjective(env, 1.0 * x, QroObjectiveI::Maximize));
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_NEAR(solver.getObjValue(), 1.41421356, 1e-6);
  env.end();
}

TEST(ObjectiveSearch, RestartEndsAtTheRoot) {
  QroEnv env;
  Knapsack k(env, kW, kV, 26);
  QroSolver solver(k.model);
  EXPECT_EQ(solver.getImpl()->solveWithObjective(nullptr, 1, 1), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  for (QroInt i = 0; i < 5; ++i) {
    EXPECT_EQ(solver.getIntVar(k.x[i]).getMin(), 0);
    EXPECT_EQ(solver.getIntVar(k.x[i]).getMax(), 1);
  }
  // Solved again without the flag, the best solution stays.
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getObjValue(), 51);
  env.end();
}

TEST(ObjectiveSearch, InconsistentModelAndMissingObjective) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Int);
  model.add(QroRange(env, 5, x + 0.0, 10));
  model.add(x + 0.0 <= 3);
  model.add(QroObjective(env, 1.0 * x));
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(), 0);
  EXPECT_EQ(solver.getStatus(), QroSolver::Infeasible);

  QroModel plain(env);
  plain.add(QroNumVar(env, 0, 3, QroNumVar::Int));
  QroSolver other(plain);
  EXPECT_EQ(other.solve(), 1);
  EXPECT_EQ(other.getStatus(), QroSolver::Feasible);
  EXPECT_THROW(other.getObjValue(), QroAlgorithm::NoObjectiveException);
  env.end();
}

// The same under a fail limit of 2 that the goal sets.
class LimitGoalI : public QrcGoalI {
 public:
  explicit LimitGoalI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    _manager->setFailLimit(2);
    return solvertest::makeThreeFailures(_manager);
  }
};

QrcGoalI* makeLimited(QrcManagerI* m) {
  return new (m) LimitGoalI(m);
}
QrcGoalI* makeTwoFailures(QrcManagerI* m) {
  return new (m) QrcOrI(m, solvertest::makeFail(m), solvertest::makeFail(m), nullptr);
}

TEST(EndReason, SolutionExhaustionAndLimit) {
  QroEnv env;
  QroModel model(env);
  model.add(QroNumVar(env, 0, 3, QroNumVar::Int));
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_EQ(solver.solve(solvertest::engineGoal(env.getImpl(), solvertest::makeTwoWays)), 1);
  EXPECT_EQ(s->getEndReason(), 0);
  EXPECT_EQ(solver.getStatus(), QroSolver::Feasible);
  EXPECT_EQ(solver.solve(solvertest::engineGoal(env.getImpl(), makeTwoFailures)), 0);
  EXPECT_EQ(s->getEndReason(), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Infeasible);
  EXPECT_EQ(solver.solve(solvertest::engineGoal(env.getImpl(), makeLimited)), 0);
  EXPECT_EQ(s->getEndReason(), 2);
  EXPECT_EQ(s->getRawStatus(), QroSolver::Infeasible);
  EXPECT_EQ(solver.getStatus(), QroSolver::Unknown);
  // The limit belongs to that search: the next one reaches its solution.
  EXPECT_EQ(solver.solve(solvertest::engineGoal(env.getImpl(), solvertest::makeThreeFailures)), 1);
  env.end();
}

// Values of each item, upper first: a goal of the model.
QroGoal labelUpperFirst(QroEnv& env, const QroNumVarArray& x) {
  QroGoal g = QroNumDichotomize(env, x[0], 1, 0.0);
  for (QroInt i = 1; i < x.getSize(); ++i) g = QroAndGoal(g, QroNumDichotomize(env, x[i], 1, 0.0));
  return g;
}

// The first time only: sets a fail limit of 1 for the rest of the search.
bool failLimitSet = false;
QrcGoalI* makeFailLimitOfOne(QrcManagerI* m) {
  if (!failLimitSet) m->setFailLimit(1);
  failLimitSet = true;
  return nullptr;
}

// A nested solve at each leaf, stopped by its own limit, leaves the outer
// objective search going to the optimum, run by next or by the solver.
TEST(ObjectiveSearch, ANestedStopLeavesTheOptimumSearchGoing) {
  QroEnv env;
  Knapsack k(env, kW, kV, 26);
  QroSolver solver(k.model);
  QroGoal goal =
      QroAndGoal(labelUpperFirst(env, k.x),
                 solvertest::engineGoal(env.getImpl(), solvertest::makeNestedLimitedSolve));
  solver.startNewSearch(goal);
  double last = -1;
  while (solver.next()) last = solver.getObjValue();
  EXPECT_EQ(last, bruteKnapsack(kW, kV, 26));
  EXPECT_EQ(solver.getManagerI()->getStatus(), QrcSearchExhausted);
  solver.endSearch();
  EXPECT_EQ(solver.getImpl()->solveWithObjective(goal.getImpl(), QroSolver::RestartSearch, 0), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_EQ(solver.getObjValue(), bruteKnapsack(kW, kV, 26));
  env.end();
}

// A limit that stops an objective solve leaves its best solution, not proved
// optimal.
TEST(ObjectiveSearch, ALimitedSolveIsFeasibleNotOptimal) {
  QroEnv env;
  Knapsack k(env, kW, kV, 26);
  QroSolver solver(k.model);
  failLimitSet = false;
  QroGoal goal = QroAndGoal(solvertest::engineGoal(env.getImpl(), makeFailLimitOfOne),
                            labelUpperFirst(env, k.x));
  EXPECT_EQ(solver.getImpl()->solveWithObjective(goal.getImpl(), QroSolver::RestartSearch, 0), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Feasible);
  EXPECT_LT(solver.getObjValue(), bruteKnapsack(kW, kV, 26));
  env.end();
}

// Fails from its second run on, which is the solver's replay of the best
// solution.
int g_runs = 0;
QrcGoalI* makeFailingReplay(QrcManagerI* m) {
  return ++g_runs > 1 ? solvertest::makeFail(m) : new (m) QrcGoalTrueI(m);
}

// A replay that fails leaves no solution in the state, and proves nothing.
TEST(ObjectiveSearch, AFailedReplayIsNoOptimum) {
  g_runs = 0;
  QroEnv env;
  Knapsack k(env, kW, kV, 26);
  QroSolver solver(k.model);
  QroGoal goal = QroAndGoal(solvertest::engineGoal(env.getImpl(), makeFailingReplay),
                            labelUpperFirst(env, k.x));
  EXPECT_EQ(solver.getImpl()->solveWithObjective(goal.getImpl(), QroSolver::RestartSearch, 0), 0);
  EXPECT_EQ(solver.getStatus(), QroSolver::Unknown);
  EXPECT_EQ(g_runs, 2);
  env.end();
}

}  // namespace
