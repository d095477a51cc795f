// The prober, the impact information (recorded decisions, listeners,
// estimation by dichotomy) and the decision log, run inside solver searches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/qrcsearchnode.h"
#include "qrcimpact.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qromodel.h"
#include "qrosolveri.h"
#include "solver_support.h"

namespace {

using solvertest::engineGoal;

// Runs a test's body as the engine goal of a solve (so that nested solves
// are allowed there); the body may fail the branch.
void (*g_body)(QroSolverI*) = nullptr;

class CallI : public QrcGoalI {
 public:
  CallI(QrcManagerI* m, void (*f)(QroSolverI*)) : QrcGoalI(m), _f(f) {}
  QrcGoalI* execute() override {
    _f(_manager->getSolver());
    return nullptr;
  }

 private:
  void (*_f)(QroSolverI*);
};

QrcGoalI* callBody(QrcManagerI* m) {
  return new (m) CallI(m, g_body);
}

// Integer model variables x0, x1, ... over [lo, hi], extracted by a solver.
struct Fixture {
  QroEnv env;
  QroModel model{env};
  QroSolver solver;
  std::vector<QrcIntVar> x;
  Fixture(size_t n, QrcInt lo, QrcInt hi, bool impacts = true) {
    std::vector<QroNumVar> vars;
    for (size_t i = 0; i < n; ++i) {
      vars.emplace_back(env, static_cast<QroNum>(lo), static_cast<QroNum>(hi), QroNumVar::Int);
      model.add(vars.back());
    }
    solver = QroSolver(model);
    solver.setImpactMode(impacts);
    for (const QroNumVar& v : vars) x.push_back(solver.getIntVar(v));
  }
  ~Fixture() {
    solver.end();
    env.end();
  }
  QroSolverI* s() const { return solver.getImpl(); }
  QrcManager manager() const { return solver.getManager(); }
  QroBool run(void (*body)(QroSolverI*)) {
    g_body = body;
    return solver.solve(engineGoal(env.getImpl(), callBody));
  }
};

Fixture* g_fix = nullptr;
std::vector<std::string> g_log;

std::string domainOf(const QrcIntVar& v) {
  std::string out;
  QrcIntExpI* x = v.getImpl();
  for (QrcInt a = x->getMin();; a = x->getNextHigher(a)) {
    out += (out.empty() ? "" : " ") + std::to_string(a);
    if (x->getNextHigher(a) == a) break;
  }
  return out;
}

TEST(Prober, ProbingRemovesFailingValuesAndNarrowsToTheHull) {
  Fixture f(2, 0, 4);
  g_fix = &f;
  QrcIntExp x(f.x[0]), y(f.x[1]);
  f.manager().add(x + y == 4);
  f.manager().add(x * y == 3);
  ASSERT_TRUE(f.run([](QroSolverI* s) {
    s->getProber()->probe(g_fix->x[0].getImpl());
    g_log = {domainOf(g_fix->x[0]), domainOf(g_fix->x[1])};
  }));
  EXPECT_EQ(g_log, (std::vector<std::string>{"1 3", "1 2 3"}));
  QrcProber* p = f.s()->getProber();
  EXPECT_EQ(p->getProbedVariables(), 1);
  EXPECT_EQ(p->getRemovedValues(), 1);
  EXPECT_EQ(p->getVariables().getSize(), 2);
  EXPECT_GT(p->getFailsSpent(), 0);
}

TEST(Prober, AVariableWhoseValuesAllFailFailsTheNode) {
  // Three variables over two values, pairwise different.
  Fixture f(3, 0, 1);
  g_fix = &f;
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) f.manager().add(QrcIntExp(f.x[i]) != QrcIntExp(f.x[j]));
  EXPECT_FALSE(f.run([](QroSolverI* s) { s->getProber()->probe(g_fix->x[0].getImpl()); }));
  EXPECT_EQ(f.s()->getProber()->getRemovedValues(), 2);
}

TEST(Prober, ProbeAllSkipsBoundAndLargeVariables) {
  QroEnv env;
  QroModel model(env);
  QroNumVar a(env, 3, 3, QroNumVar::Int), b(env, 0, 9, QroNumVar::Int),
      c(env, 0, 2, QroNumVar::Int);
  model.add(a);
  model.add(b);
  model.add(c);
  QroSolver solver(model);
  g_body = [](QroSolverI* s) { s->getProber()->probeAll(5); };
  EXPECT_TRUE(solver.solve(engineGoal(env.getImpl(), callBody)));
  EXPECT_EQ(solver.getImpl()->getProber()->getProbedVariables(), 1);
  solver.end();
  env.end();
}

// Logs its calls as "<name> <operation>".
class LogListener : public QrcImpactListenerI {
 public:
  explicit LogListener(const char* name) : _name(name) {}
  void beforeSetValue(QrcIntExpI*, QrcInt v) override { add("before", v); }
  void afterSetValue(QrcIntExpI*, QrcInt v) override { add("after", v); }
  void leafReached(QrcIntExpI* x) override {
    add("leaf", x->getMin());
    g_log.back() += ".." + std::to_string(x->getMax());
  }

 private:
  void add(const char* what, QrcInt v) {
    g_log.push_back(std::string(_name) + " " + what + " " + std::to_string(v));
  }
  const char* _name;
};

TEST(ImpactInformation, RecordedSetsTellTheListenersInOrder) {
  Fixture f(1, 0, 3);
  g_fix = &f;
  QrcImpactInformation* info = f.s()->getImpactInformation();
  info->addListener(new LogListener("A"));
  info->addListener(new LogListener("B"));
  g_log.clear();
  ASSERT_TRUE(f.run([](QroSolverI* s) { s->setValue(g_fix->x[0].getImpl(), 2); }));
  EXPECT_EQ(g_log,
            (std::vector<std::string>{"A before 2", "B before 2", "A after 2", "B after 2"}));
  EXPECT_EQ(info->getSetDecisions(), 1);
  // A failed set tells no one "after"; removals are counted and told to no one.
  g_log.clear();
  EXPECT_FALSE(f.run([](QroSolverI* s) {
    s->removeValue(g_fix->x[0].getImpl(), 0);
    s->setValue(g_fix->x[0].getImpl(), 7);
  }));
  EXPECT_EQ(g_log, (std::vector<std::string>{"A before 7", "B before 7"}));
  EXPECT_EQ(info->getSetDecisions(), 2);
  EXPECT_EQ(info->getRemoveDecisions(), 1);
}

TEST(ImpactInformation, RemovingOneOfTwoValuesSetsTheOther) {
  Fixture f(1, 4, 9);
  g_fix = &f;
  QrcImpactInformation* info = f.s()->getImpactInformation();
  info->setTwoValueFlag(1);
  info->addListener(new LogListener("L"));
  g_log.clear();
  ASSERT_TRUE(f.run([](QroSolverI* s) {
    QrcIntExpI* x = g_fix->x[0].getImpl();
    x->removeRange(5, 8);  // {4, 9}
    s->removeValue(x, 4);
    g_log.push_back(domainOf(g_fix->x[0]));
  }));
  EXPECT_EQ(g_log, (std::vector<std::string>{"L before 9", "L after 9", "9"}));
  EXPECT_EQ(info->getSetDecisions(), 1);
  EXPECT_EQ(info->getRemoveDecisions(), 0);
}

// Shallowest nodes first: stored nodes are restored by recomputing their path.
class Shallowest : public QrcNodeEvaluatorI {
 public:
  QrcFloat evaluate(const QrcSearchNode* node) override {
    return static_cast<QrcFloat>(node->getPathLength());
  }
};
class BestFirst : public QrcSearchEventMonitorI {
 public:
  void nodeCreated(void* p) override {
    QrcSearchNode* node = static_cast<QrcSearchNode*>(p);
    if (!node->getEvaluator(0)) node->setEvaluator(0, new Shallowest());
  }
};

int g_executions = 0;
class RecordedSetI : public QrcGoalI {
 public:
  RecordedSetI(QrcManagerI* m, QrcIntExpI* x, QrcInt v) : QrcGoalI(m), _x(x), _v(v) {}
  QrcGoalI* execute() override {
    if (!_manager->isRecomputing()) ++g_executions;
    _manager->getSolver()->setValue(_x, _v);
    return nullptr;
  }

 private:
  QrcIntExpI* _x;
  QrcInt _v;
};

TEST(ImpactInformation, NothingIsCountedWhileRecomputing) {
  Fixture f(2, 0, 1);
  QrcManagerI* m = f.manager().getImpl();
  QrcImpactInformation* info = f.s()->getImpactInformation();
  info->addListener(new LogListener("L"));
  auto set = [&](int i, QrcInt v) { return QrcGoal(new (m) RecordedSetI(m, f.x[i].getImpl(), v)); };
  auto second = [&]() { return QrcOr(set(1, 0), set(1, 1)); };
  QrcGoal g = QrcOr(QrcAnd(set(0, 0), second()), QrcAnd(set(0, 1), second()));
  g_log.clear();
  g_executions = 0;
  BestFirst monitor;
  QrcSearch search(f.manager(), g);
  search.setMonitor(&monitor);
  int solutions = 0;
  while (search.next()) ++solutions;
  search.end();
  EXPECT_EQ(solutions, 4);
  EXPECT_GT(m->getRecomputedChoiceCount(), 0);
  EXPECT_EQ(info->getSetDecisions(), g_executions);
  EXPECT_EQ(static_cast<QrcInt>(g_log.size()), 2 * g_executions);
}

TEST(ImpactInformation, EstimationSplitsInHalvesAndRestoresTheDomains) {
  Fixture f(2, -3, 7);
  g_fix = &f;
  f.s()->getImpactInformation()->addListener(new LogListener("L"));
  g_log.clear();
  ASSERT_TRUE(f.run([](QroSolverI* s) {
    QrcManagerI* m = s->getManager();
    QrcImpactInformation* info = s->getImpactInformation();
    QrcIntExpI* x = g_fix->x[0].getImpl();
    QrcIntExpI* y = g_fix->x[1].getImpl();
    x->setRange(-3, 2);
    y->setRange(0, 7);
    // [-3, 2] splits at 0 (truncation toward zero), x <= 0 first.
    s->solveNested(new (m) QrcImpactEstimateWithDichotomyI(m, info, x, 1), true);
    info->estimateVariable(y, 2);
    g_log.push_back(domainOf(g_fix->x[0]) + " / " + domainOf(g_fix->x[1]));
  }));
  EXPECT_EQ(g_log, (std::vector<std::string>{"L leaf -3..0", "L leaf 1..2", "L leaf 0..1",
                                             "L leaf 2..3", "L leaf 4..5", "L leaf 6..7",
                                             "-3 -2 -1 0 1 2 / 0 1 2 3 4 5 6 7"}));
}

// Initialisation estimates every variable; the values that no leaf reached
// were refuted by propagation and go; impacts are observed for the others.
TEST(ImpactInformation, InitialisationRemovesTheValuesNoLeafReached) {
  Fixture f(2, 0, 5);
  g_fix = &f;
  // y = 2x over [0, 5]: x in {0, 1, 2}, y even, found only by the splits.
  f.manager().add(QrcIntExp(f.x[1]) == 2 * QrcIntExp(f.x[0]));
  ASSERT_TRUE(f.run([](QroSolverI* s) {
    s->getImpactInformation()->initialize(5);
    g_log = {domainOf(g_fix->x[0]), domainOf(g_fix->x[1])};
  }));
  EXPECT_EQ(g_log, (std::vector<std::string>{"0 1 2", "0 2 4"}));
  QrcImpactTable* table = f.s()->getImpactInformation()->getTable();
  QrcValueImpact* seen = table->getRecord(f.x[0].getImpl())->getImpact(1);
  EXPECT_GT(seen->observations, 0);
  EXPECT_GT(seen->getMean(), 0.0);
  EXPECT_LE(seen->getMean(), 1.0);
}

TEST(DecisionLog, CountReturnsOnBacktrack) {
  Fixture f(2, 0, 3, false);
  f.solver.setDecisionLogMode(1);
  g_fix = &f;
  g_log.clear();
  // Left: two decisions, then a failure; right: the count is back to 0.
  g_body = [](QroSolverI* s) {
    QrcManagerI* m = s->getManager();
    auto record = [](QroSolverI* s2) {
      s2->setValue(g_fix->x[0].getImpl(), 1);
      s2->removeValue(g_fix->x[1].getImpl(), 3);
      QrcDecisionLog* log = s2->getDecisionLog();
      g_log.push_back(std::to_string(log->getCount()) + " " +
                      std::to_string(log->getRecord(1).value) + " " +
                      std::to_string(log->getRecord(1).kind));
      s2->getManager()->fail();
    };
    auto check = [](QroSolverI* s2) {
      g_log.push_back(std::to_string(s2->getDecisionLog()->getCount()) + " " +
                      std::to_string(s2->getDecisionLog()->getLatestCount()));
    };
    m->pushGoal(new (m) QrcOrI(m, new (m) CallI(m, record), new (m) CallI(m, check), nullptr));
  };
  EXPECT_TRUE(f.solver.solve(engineGoal(f.env.getImpl(), callBody)));
  EXPECT_EQ(g_log, (std::vector<std::string>{"2 3 0", "0 2"}));
}

TEST(ImpactInformation, QueriesWithoutInformationThrow) {
  Fixture f(1, 0, 3, false);
  try {
    f.s()->getImpactInformation();
    FAIL();
  } catch (const QroSolver::Exception& e) {
    EXPECT_EQ(solvertest::printed(e), "No impact information is available");
  }
  EXPECT_EQ(f.s()->getImpactGoal(QrcIntVarArray()).getImpl(), nullptr);
  f.solver.setImpactMode(1);
  QrcIntVar other(f.manager(), 0, 3);
  try {
    f.s()->getImpactInformation()->getTable()->getRecord(other.getImpl());
    FAIL();
  } catch (const QroSolver::Exception& e) {
    EXPECT_EQ(solvertest::printed(e), "Variable has no impact information");
  }
  EXPECT_NE(f.s()->getImpactInformation()->getTable()->getRecord(f.x[0].getImpl()), nullptr);
}

}  // namespace
