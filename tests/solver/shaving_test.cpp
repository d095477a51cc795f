// Watch constraints added by extraction: the process-wide float and integer
// settings, the variables marked for shaving in the solver, and the defaults
// that add none; then the design model searched with its variables watched.
#include <gtest/gtest.h>

#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrcfloatexp.h"
#include "qrcfloatshaving.h"
#include "qrcintexp.h"
#include "qrcintgoals.h"
#include "qrcintshaving.h"
#include "qrcmanager.h"
#include "qrcpointerhash.h"
#include "solver_support.h"
#include "support/design_model.h"
#include "support/watchdog.h"

namespace {

// Sets the process-wide shaving for one test and puts the defaults back.
struct ShavingSettings {
  ShavingSettings(QrcInt floatLevel, bool floatOn, QrcInt intLevel, bool intOn) {
    setGlobalFloatShavingLevel(floatLevel);
    setGlobalFloatShavingOn(floatOn);
    setGlobalIntShavingLevel(intLevel);
    setGlobalIntShavingOn(intOn);
  }
  ~ShavingSettings() {
    setGlobalFloatShavingLevel(0);
    setGlobalFloatShavingOn(false);
    setGlobalIntShavingLevel(0);
    setGlobalIntShavingOn(false);
  }
};

// The levels of the watches listening to a variable's range changes.
template <class Watch>
std::vector<QrcInt> watchLevels(QrcConstraintList& demons) {
  std::vector<QrcInt> levels;
  for (QrcConstraintList::Cell* c = demons.getHead(); c; c = c->next)
    if (c->item->isType(Watch::GetTypeInfo()))
      levels.push_back(static_cast<Watch*>(c->item)->getLevel());
  return levels;
}
std::vector<QrcInt> watches(const QrcFloatVar& x) {
  return watchLevels<QrcSpiralSolverFloatCtI>(x.getImpl()->getFloatHandler()->getRangeDemons());
}
std::vector<QrcInt> watches(const QrcIntVar& x) {
  // A fixed integer variable is a constant, without handler and events.
  QrcIntVarEventHandlerI* h = x.getImpl()->getIntHandler();
  return h ? watchLevels<QrcSpiralSolverIntCtI>(h->getRangeDemons()) : std::vector<QrcInt>{};
}

void mark(QroSolver& solver, const QroNumVar& x) {
  solver.getImpl()->getMembershipHash()->add(
      reinterpret_cast<QrcWord>(static_cast<QroExtractableI*>(x.getImpl())), 1);
}

TEST(ShavingExtraction, DefaultsAddNoWatch) {
  EXPECT_EQ(getGlobalFloatShavingLevel(), 0);
  EXPECT_FALSE(isGlobalFloatShavingOn());
  EXPECT_EQ(getGlobalIntShavingLevel(), 0);
  EXPECT_FALSE(isGlobalIntShavingOn());
  QroEnv env;
  qrotest::DesignModel d(env);
  QroSolver solver(d.model, &QrcNoEdit);
  for (const QroNumVar& v : {d.x[0], d.x[1], d.F, d.N})
    EXPECT_TRUE(watches(solver.getFloatVar(v)).empty());
  env.end();
}

TEST(ShavingExtraction, GlobalSettingsWatchEveryVariableOfTheirKind) {
  struct Row {
    QrcInt floatLevel;
    bool floatOn;
    QrcInt intLevel;
    bool intOn;
    std::vector<QrcInt> floats, ints;
  } rows[] = {{5, true, 0, false, {5}, {}}, {0, false, 4, true, {}, {4}},
              {5, false, 4, false, {}, {}}, {0, true, 0, true, {}, {}},
              {1, true, 2, true, {3}, {3}}, {7, true, 7, true, {7}, {7}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.floatLevel);
    SCOPED_TRACE(r.intLevel);
    ShavingSettings settings(r.floatLevel, r.floatOn, r.intLevel, r.intOn);
    QroEnv env;
    qrotest::DesignModel d(env);
    QroNumVar i(env, 0, 10, QroNumVar::Int), j(env, -3, 3, QroNumVar::Int),
        k(env, 2, 2, QroNumVar::Int);
    d.model.add(i + j + k <= 4);
    QroSolver solver(d.model, &QrcNoEdit);
    ASSERT_EQ(solver.solve(QroGoal()), 1);
    EXPECT_TRUE(watches(solver.getIntVar(k)).empty());
    // The design model's four float variables, F included though presolve
    // made it the product it equals.
    for (const QroNumVar& v : {d.x[0], d.x[1], d.F, d.N})
      EXPECT_EQ(watches(solver.getFloatVar(v)), r.floats);
    for (const QroNumVar& v : {i, j}) EXPECT_EQ(watches(solver.getIntVar(v)), r.ints);
    env.end();
  }
}

TEST(ShavingExtraction, MarkedVariablesGetALevelTwentyWatch) {
  ShavingSettings settings(5, true, 0, false);
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0.0, 1.0), y(env, 0.0, 2.0), i(env, 0, 9, QroNumVar::Int);
  model.add(x - y <= 0.0);
  QroSolver solver(model, &QrcNoEdit);
  // Marks count for variables extracted from now on.
  QroNumVar z(env, 0.0, 3.0), k(env, 0, 5, QroNumVar::Int);
  mark(solver, z);
  mark(solver, k);
  model.add(x - z <= 0.0);
  model.add(k + i <= 7);
  ASSERT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(watches(solver.getFloatVar(x)), (std::vector<QrcInt>{5}));
  // The global watch first, then the per-variable one.
  EXPECT_EQ(watches(solver.getFloatVar(z)), (std::vector<QrcInt>{20, 5}));
  EXPECT_TRUE(watches(solver.getIntVar(i)).empty());
  EXPECT_EQ(watches(solver.getIntVar(k)), (std::vector<QrcInt>{20}));
  env.end();
}

// With every variable watched at the lowest level, the watches take over
// within the design model's propagation; the search still ends and its
// first box is the one found without watches.
TEST(ShavingExtraction, WatchedDesignModelStillFindsItsFirstBox) {
  qrotest::Watchdog guard("design model with watched variables", 120);
  ShavingSettings settings(3, true, 0, false);
  QroEnv env;
  qrotest::DesignModel d(env);
  QroSolver solver(d.model, &QrcEdit);
  ASSERT_EQ(solver.solve(QroGoal(), QroSolver::RestartSearch, 0), 1);
  // The root box still holds the feasible point D = 0.3992, d = 0.0534.
  QrcFloatVar D = solver.getFloatVar(d.x[0]), dd = solver.getFloatVar(d.x[1]);
  EXPECT_LE(D.getMin(), 0.3992);
  EXPECT_GE(D.getMax(), 0.3992);
  EXPECT_LE(dd.getMin(), 0.0534);
  EXPECT_GE(dd.getMax(), 0.0534);
  solver.getManagerI()->setChoicePointLimit(10000);
  solver.startNewSearch(
      QroAndGoal(QroNumDichotomize(env, d.x[0], 0, 0.0), QroNumDichotomize(env, d.x[1], 0, 0.0)),
      1);
  ASSERT_EQ(solver.next(), 1);
  D = solver.getFloatVar(d.x[0]);
  EXPECT_NEAR(D.getMin(), 0.3919376828, 1e-8);
  // The companions refuted slices in nested searches of their own.
  EXPECT_GT(solver.getManagerI()->getNestedFails(), 0);
  solver.endSearch();
  env.end();
}

// The variables a labelling takes in order.
std::vector<QroNumVar> g_labelled;
QrcGoalI* labelling(QrcManagerI* m) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(g_labelled.size()));
  for (size_t i = 0; i < g_labelled.size(); ++i)
    a.set(static_cast<QrcInt>(i), QroSolver(m->getSolver()).getIntVar(g_labelled[i]));
  return QrcGenerate(a).getImpl();
}

// x0 and x1 fall by halves in turn once x2 is 1: the watches hand them over
// to shaving while the equality between them waits. Every solution is one
// of the model's (x0 = x1), and the optimum is proved at one.
TEST(ShavingExtraction, ShavedSearchesFindSolutionsOfTheModel) {
  ShavingSettings settings(0, false, 3, true);
  QroEnv env;
  QroModel model(env);
  QroNumVar x0(env, 0, 21, QroNumVar::Int), x1(env, 0, 21, QroNumVar::Int),
      x2(env, 0, 1, QroNumVar::Int);
  model.add(2 * x0 - x1 + 21 * x2 <= 21);
  model.add(-1 * x0 + 2 * x1 + 21 * x2 <= 21);
  model.add(QroRange(env, 0, 3 * x1 - 3 * x0, 0));
  model.add(QroObjective(env, 2 * x1 - 2 * x0 - x2, QroObjectiveI::Maximize));
  QroSolver solver(model);
  g_labelled = {x2, x0, x1};
  solver.startNewSearch(solvertest::engineGoal(env.getImpl(), labelling));
  while (solver.next()) EXPECT_EQ(solver.getValue(x0), solver.getValue(x1));
  solver.endSearch();
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_EQ(solver.getObjValue(), 0);
  EXPECT_EQ(solver.getValue(x0), solver.getValue(x1));
  g_labelled.clear();
  env.end();
}

}  // namespace
