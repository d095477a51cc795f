#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

#include "qrointset.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qroregistry.h"
#include "qrosolveri.h"
#include "qrosolversolution.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcintset.h"
#include "qrcintsetvar.h"
#include "qrcfail.h"
#include "qrcmanager.h"
#include "solver_support.h"

namespace {

const char* const kName = "CPSolutionManager";

// Integer-set variables and their cardinality have no handle of their own.
class SetVarI : public QroIntSetVarI {
 public:
  SetVarI(QroEnvI* env, QroIntSetI* possible, QroIntSetI* required)
      : QroIntSetVarI(env, possible, required) {}
};
class CardVarI : public QroIntSetCardVarI {
 public:
  CardVarI(QroEnvI* env, QroIntSetVarI* set) : QroIntSetCardVarI(env, set, "card") {}
};

std::vector<QrcInt> members(const QrcIntSetI* set) {
  std::vector<QrcInt> out;
  QrcIntSetIterator it(set);
  for (QrcInt v; it.next(v);) out.push_back(v);
  return out;
}

std::vector<QrcInt> values(const QrcIntVar& x) {
  std::vector<QrcInt> out;
  QrcIntExpI* e = x.getImpl();
  for (QrcInt v = e->getMin();; v = e->getNextHigher(v)) {
    out.push_back(v);
    if (e->getNextHigher(v) == v) break;
  }
  return out;
}

std::vector<double> values(const QrcFloatVar& x) {
  std::vector<double> out;
  QrcFloatExpI* e = x.getImpl();
  for (double v = e->getMin();; v = e->getNextHigher(v)) {
    out.push_back(v);
    if (!(e->getNextHigher(v) > v)) break;
  }
  return out;
}

class SolverSolution : public ::testing::Test {
 protected:
  void SetUp() override { model = QroModel(env); }
  void TearDown() override {
    if (solution.getImpl()) solution.end();
    if (solver.getImpl()) solver.end();
    env.end();
  }
  QroNumVar intVar(double lo, double hi, const char* name = nullptr) {
    QroNumVar v(env, lo, hi, QroNumVar::Int, name);
    model.add(v);
    return v;
  }
  QroIntSetI* intSet(std::initializer_list<QroInt> vs) {
    QroIntArray a(env, 0);
    for (QroInt v : vs) a.add(v);
    return new (env.getImpl()) QroIntSetI(env.getImpl(), a);
  }
  void start() {
    solver = QroSolver(model);
    solution = QroSolution(env);
    ASSERT_EQ(solver.solve(QroGoal()), 1);
  }
  // A new propagation of the root state.
  void fresh() { ASSERT_EQ(solver.solve(QroGoal()), 1); }
  QroSavedNumVarI* record(const QroNumVar& x) {
    return solution.getImpl()->getNumVarRecord(x.getImpl());
  }
  QroEnv env;
  QroModel model;
  QroSolver solver;
  QroSolution solution;
};

TEST_F(SolverSolution, RegistrationOnceAndRemovedWithTheSolver) {
  start();
  QroSolver second(model);
  QroPlugInRegistry* registry = env.getImpl()->getPlugInRegistry();
  int addons[3] = {0, 0, 0}, others = 0;
  for (QroPlugInAddon* a = registry->find(kName)->addons; a; a = a->getNext()) {
    if (a->getTypeInfo() == QroSolutionOperationsAddonQroSolverQroNumVar::GetTypeInfo())
      ++addons[0];
    else if (a->getTypeInfo() == QroSolutionOperationsAddonQroSolverQroObjective::GetTypeInfo())
      ++addons[1];
    else if (a->getTypeInfo() == QroSolutionOperationsAddonQroSolverQroIntSetVar::GetTypeInfo())
      ++addons[2];
    else
      ++others;
  }
  EXPECT_EQ(addons[0], 1);
  EXPECT_EQ(addons[1], 1);
  EXPECT_EQ(addons[2], 1);
  EXPECT_EQ(others, 0);
  for (QroSolver s : {solver, second}) {
    QroSolutionManagerI* m = s.getImpl()->getSolutionManager();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->getAlgorithm(), s.getImpl());
    EXPECT_EQ(m->getOperations(QroObjectiveI::GetTypeIndex())->getFlags(), 1);
    EXPECT_EQ(m->getOperations(QroNumVarI::GetTypeIndex())->getFlags(), 0);
    EXPECT_EQ(m->getOperations(QroIntSetVarI::GetTypeIndex())->getFlags(), 0);
    EXPECT_NE(m->getOperations(QroIntSetVarI::GetTypeIndex()), m->getDefaultOperations());
  }
  auto managers = [&] {
    int n = 0;
    for (QroPlugIn* p = registry->getFirstPlugIn(kName); p; p = p->getNext()) ++n;
    return n;
  };
  EXPECT_EQ(managers(), 2);
  QroSolutionManagerI* kept = solver.getImpl()->getSolutionManager();
  second.end();
  EXPECT_EQ(managers(), 1);
  EXPECT_EQ(registry->getFirstPlugIn(kName), kept);
}

TEST_F(SolverSolution, IntegerDomainsRoundTrip) {
  QroNumVar x = intVar(0, 9, "x"), y = intVar(2, 7), z = intVar(0, 5);
  start();
  QrcIntVar ex = solver.getIntVar(x);
  ex.removeValue(3);
  ex.removeValue(5);
  solver.getIntVar(z).setValue(4);
  solution.add(x);
  solution.add(y);
  solution.add(z);
  solution.add(x);  // once only
  EXPECT_EQ(solution.getImpl()->getSize(), 3);
  solution.store(solver);
  // Holes are kept as the value list; an interval and a value are bounds only.
  QroSavedNumVarI* rx = record(x);
  EXPECT_EQ(rx->getMin(), 0);
  EXPECT_EQ(rx->getMax(), 9);
  ASSERT_NE(rx->findIntDomain(), nullptr);
  EXPECT_EQ(rx->getSize(), 8);
  EXPECT_EQ(record(y)->findIntDomain(), nullptr);
  EXPECT_EQ(record(y)->getSize(), 6);
  EXPECT_TRUE(record(z)->isBound());
  EXPECT_EQ(solution.getValue(z), 4);
  EXPECT_THROW(solution.getValue(x), QroSolution::Exception);
  QroNumVar absent(env, 0, 1, QroNumVar::Int);
  EXPECT_THROW(solution.getMin(absent), QroSolution::Exception);

  fresh();
  ex = solver.getIntVar(x);
  EXPECT_EQ(ex.getSize(), 10);
  EXPECT_TRUE(solution.isFeasible(solver));
  EXPECT_EQ(ex.getSize(), 10);
  solution.restore(solver);
  EXPECT_EQ(values(ex), (std::vector<QrcInt>{0, 1, 2, 4, 6, 7, 8, 9}));
  EXPECT_EQ(values(solver.getIntVar(y)), (std::vector<QrcInt>{2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(solver.getIntVar(z).getValue(), 4);
}

TEST_F(SolverSolution, FloatDomainsRoundTrip) {
  QroNumVar x(env, 1.5, 2.5, QroNumVar::Float, "x");
  model.add(x);
  QroNumArray listed(env, 0);
  for (double v : {0.5, 1.5, 2.5}) listed.add(v);
  QroEnvI* e = env.getImpl();
  QroNumVar w(new (e)
                  QroNumVarI(e, new (e->alloc(sizeof(QroNumVarDomainI))) QroNumVarDomainI(listed)));
  model.add(w);
  start();
  solver.getFloatVar(w).getImpl()->removeValue(1.5);
  solution.add(x);
  solution.add(w);
  solution.store(solver);
  EXPECT_EQ(record(x)->getMin(), 1.5);
  EXPECT_EQ(record(x)->getMax(), 2.5);
  EXPECT_EQ(record(x)->findNumDomain(), nullptr);
  ASSERT_NE(record(w)->findNumDomain(), nullptr);
  EXPECT_EQ(record(w)->getSize(), 2);

  fresh();
  EXPECT_EQ(values(solver.getFloatVar(w)).size(), 3u);
  solution.restore(solver);
  EXPECT_EQ(values(solver.getFloatVar(w)), (std::vector<double>{0.5, 2.5}));
  // A bound record imposes its value.
  record(w)->setValue(2.5);
  fresh();
  solution.restore(solver);
  EXPECT_EQ(solver.getFloatVar(w).getMin(), 2.5);
  EXPECT_EQ(solver.getFloatVar(w).getMax(), 2.5);
}

TEST_F(SolverSolution, FeasibilityChangesNothing) {
  QroNumVar x = intVar(0, 9);
  start();
  QrcIntVar ex = solver.getIntVar(x);
  solution.add(x);
  QroSavedNumVarI* r = record(x);
  struct Case {
    std::vector<QrcInt> saved, engine;
    bool feasible;
  } cases[] = {{{2}, {3, 4, 5}, false},     {{4, 6, 9}, {1, 6}, true},  {{4, 6, 9}, {1, 5}, false},
               {{4, 6, 9}, {0, 9}, true},   {{0, 1, 2}, {3, 4}, false}, {{5}, {1, 5, 8}, true},
               {{1, 2, 3, 4}, {4, 9}, true}};
  for (const Case& c : cases) {
    if (c.saved.size() == 1) {
      r->setValue(c.saved[0]);
    } else {
      r->setDomain(static_cast<double>(c.saved.front()), static_cast<double>(c.saved.back()));
      if (c.saved.back() - c.saved.front() + 1 != static_cast<QrcInt>(c.saved.size()))
        for (QrcInt v : c.saved) r->getIntDomain()->add(v);
    }
    fresh();
    ex = solver.getIntVar(x);
    for (QrcInt v = 0; v <= 9; ++v)
      if (std::find(c.engine.begin(), c.engine.end(), v) == c.engine.end()) ex.removeValue(v);
    EXPECT_EQ(solution.isFeasible(solver), c.feasible) << c.saved.front() << " " << c.engine[0];
    EXPECT_EQ(values(ex), c.engine);
  }
}

TEST_F(SolverSolution, UnextractedElementsFollowTheirFlags) {
  intVar(0, 9);
  QroNumVar outside(env, 0, 9, QroNumVar::Int);
  start();
  solution.add(outside);
  record(outside)->setValue(42);
  solution.store(solver);
  EXPECT_EQ(solution.getValue(outside), 42);
  solution.restore(solver);
  EXPECT_TRUE(solution.isFeasible(solver));
  QroSolutionOperationsI* ops =
      solver.getImpl()->getSolutionManager()->getOperations(QroNumVarI::GetTypeIndex());
  for (QroInt bit : {1, 2, 4}) {
    ops->setFlags(bit);
    EXPECT_THROW(bit == 1   ? solution.store(solver)
                 : bit == 2 ? solution.restore(solver)
                            : (void)solution.isFeasible(solver),
                 QroAlgorithm::NotExtractedException)
        << bit;
  }
  ops->setFlags(0);
}

TEST_F(SolverSolution, ObjectiveStoresItsBoundBySense) {
  // Extracted: the bound of the objective itself.
  for (int sense : {QroObjectiveI::Minimize, QroObjectiveI::Maximize}) {
    QroModel m(env);
    QroNumVar a(env, 1, 5, QroNumVar::Int), b(env, 0, 3, QroNumVar::Int);
    QroObjective o(env, a + 2.0 * b, sense);
    m.add(o);
    QroSolver sv(m);
    ASSERT_EQ(sv.solve(QroGoal()), 1);
    QroSolution sol(env);
    sol.add(o);
    sol.store(sv);
    EXPECT_EQ(sol.getObjValue(), sense == QroObjectiveI::Minimize ? 11 : 1);
    sol.restore(sv);
    EXPECT_TRUE(sol.isFeasible(sv));
    EXPECT_EQ(sv.getIntVar(a).getMin(), 1);
    EXPECT_EQ(sv.getIntVar(a).getMax(), 5);
    sol.end();
    sv.end();
  }
  QroNumVar x = intVar(1, 5), y = intVar(0, 3);
  // Not extracted: the objective's bound through its one variable (a x + k
  // takes the bound of x on the side of a's sign), else its value.
  start();
  QroObjective minX(env, 1.0 * x, QroObjectiveI::Minimize);
  QroObjective maxX(env, 1.0 * x, QroObjectiveI::Maximize);
  QroObjective scaled(env, -2.0 * x + 1.0, QroObjectiveI::Minimize);
  QroObjective affine(env, 2.0 * x + 3.0, QroObjectiveI::Maximize);
  QroObjective sum(env, x + 2.0 * y, QroObjectiveI::Minimize);
  for (QroObjective o : {minX, maxX, scaled, affine}) solution.add(o);
  solution.store(solver);
  EXPECT_EQ(solution.getValue(minX), 5);
  EXPECT_EQ(solution.getValue(maxX), 1);
  EXPECT_EQ(solution.getValue(scaled), -1);
  EXPECT_EQ(solution.getValue(affine), 5);
  solution.add(sum);
  solver.getIntVar(x).setValue(2);
  solver.getIntVar(y).setValue(3);
  solution.store(solver);
  EXPECT_EQ(solution.getValue(sum), 8);
  EXPECT_EQ(solution.getObjValue(), 2);  // the first added
  QroObjective absent(env, 1.0 * y);
  EXPECT_THROW(solution.getValue(absent), QroSolution::Exception);
}

TEST_F(SolverSolution, SetVariablesStoreRestoreAndCheck) {
  SetVarI* s = new (env.getImpl()) SetVarI(env.getImpl(), intSet({1, 2, 3, 4}), intSet({1}));
  model.add(QroExtractable(s));
  start();
  QrcIntSetVarI* es = solver.getImpl()->getIntSetVar(s);
  es->addRequired(2);
  es->removePossible(4);
  solution.add(s);
  solution.store(solver);
  QroSavedIntSetVarI* r = solution.getImpl()->getIntSetVarRecord(s);
  EXPECT_TRUE(r->isRequired(1) && r->isRequired(2) && !r->isRequired(3));
  EXPECT_TRUE(r->isPossible(3) && !r->isPossible(4));

  fresh();
  es = solver.getImpl()->getIntSetVar(s);
  EXPECT_TRUE(solution.isFeasible(solver));
  EXPECT_EQ(members(es->getPossible()).size(), 4u);
  solution.restore(solver);
  EXPECT_EQ(members(es->getRequired()), (std::vector<QrcInt>{1, 2}));
  EXPECT_EQ(members(es->getPossible()), (std::vector<QrcInt>{1, 2, 3}));

  // Against the engine: a saved required value the engine excludes, or an
  // engine required value the record excludes.
  fresh();
  es = solver.getImpl()->getIntSetVar(s);
  es->removePossible(2);
  EXPECT_FALSE(solution.isFeasible(solver));
  fresh();
  es = solver.getImpl()->getIntSetVar(s);
  es->addRequired(4);
  EXPECT_FALSE(solution.isFeasible(solver));
  EXPECT_THROW(solution.restore(solver), QrcFailException);
}

// Restores a solution inside the search.
class RestoreGoalI : public QrcGoalI {
 public:
  RestoreGoalI(QrcManagerI* m, QroSolutionI* s) : QrcGoalI(m), _s(s) {}
  QrcGoalI* execute() override {
    _s->restore(getSolverI());
    return nullptr;
  }

 private:
  QroSolutionI* _s;
};

QroSolutionI* g_solution = nullptr;
QrcGoalI* makeRestore(QrcManagerI* m) {
  return new (m) RestoreGoalI(m, g_solution);
}

TEST_F(SolverSolution, RestoreFailsTheBranchInsideAGoal) {
  SetVarI* s = new (env.getImpl()) SetVarI(env.getImpl(), intSet({1, 2, 3}), intSet({2}));
  model.add(QroExtractable(s));
  start();
  solution.add(s);
  solution.store(solver);
  g_solution = solution.getImpl();
  EXPECT_EQ(solver.solve(solvertest::engineGoal(env.getImpl(), makeRestore)), 1);
  solution.getImpl()->getIntSetVarRecord(s)->getPossibleSet()->remove(2);
  EXPECT_EQ(solver.solve(solvertest::engineGoal(env.getImpl(), makeRestore)), 0);
  EXPECT_EQ(solver.getStatus(), QroSolver::Infeasible);
}

TEST_F(SolverSolution, DefaultSearchGeneratesSetsAndCardinalities) {
  SetVarI* s = new (env.getImpl()) SetVarI(env.getImpl(), intSet({1, 2, 3}), nullptr);
  CardVarI* c = new (env.getImpl()) CardVarI(env.getImpl(), s);
  model.add(QroExtractable(c));
  model.add(QroRange(env, 2, QroNumVar(c) + 0.0, 2));
  solver = QroSolver(model);
  EXPECT_STREQ(solver.getIntVar(QroNumVar(c)).getImpl()->getName(), "card");
  solver.startNewSearch();
  std::set<std::vector<QrcInt>> found;
  while (solver.next()) {
    QrcIntSetVarI* es = solver.getImpl()->getIntSetVar(s);
    EXPECT_EQ(members(es->getRequired()), members(es->getPossible()));
    found.insert(members(es->getRequired()));
  }
  solver.endSearch();
  EXPECT_EQ(found, (std::set<std::vector<QrcInt>>{{1, 2}, {1, 3}, {2, 3}}));
}

// Ending a variable or an objective drops its record from every solution that
// holds it: checks and restores never read the ended object, and a variable
// made in its place (in the pooled case at its address) is not taken for it.
TEST(SolverSolutionEnding, EndedObjectsLeaveTheSolutions) {
  for (bool pooled : {true, false}) {
    SCOPED_TRACE(pooled);
    if (!pooled) setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
    QroEnv env;
    unsetenv("QRO_NO_MEMORY_MANAGER");
    QroModel model(env);
    QroNumVar x(env, 0, 9, QroNumVar::Int), y(env, 0, 9, QroNumVar::Int);
    QroObjective o(env, 1.0 * y, QroObjectiveI::Minimize);
    model.add(x);
    model.add(y);
    QroSolver solver(model);
    EXPECT_EQ(solver.solve(QroGoal()), 1);
    solver.getIntVar(x).setValue(3);
    solver.getIntVar(y).setValue(4);
    QroSolution both(env), justX(env);
    both.add(x);
    both.add(o);
    both.add(y);
    justX.add(x);
    both.store(solver);
    justX.store(solver);

    x.end();
    EXPECT_EQ(both.getImpl()->getSize(), 2);
    EXPECT_EQ(justX.getImpl()->getSize(), 0);
    o.end();
    ASSERT_EQ(both.getImpl()->getSize(), 1);
    EXPECT_EQ(both.getImpl()->getElement(0)->getExtractable(), y.getImpl());
    EXPECT_THROW(both.getObjValue(), QroSolution::Exception);

    QroNumVar z(env, 0, 9, QroNumVar::Int);
    model.add(z);
    EXPECT_FALSE(both.contains(z));
    EXPECT_FALSE(justX.contains(z));
    EXPECT_EQ(solver.solve(QroGoal()), 1);
    EXPECT_TRUE(both.isFeasible(solver));
    EXPECT_TRUE(justX.isFeasible(solver));
    both.restore(solver);
    EXPECT_EQ(solver.getIntVar(y).getValue(), 4);
    EXPECT_EQ(solver.getIntVar(z).getSize(), 10);
    justX.add(z);
    justX.store(solver);
    EXPECT_EQ(justX.getMax(z), 9);
    both.end();
    justX.end();
    solver.end();
    env.end();
  }
}

}  // namespace
