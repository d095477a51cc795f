// Model goals and hooks that let the solver tests drive the engine directly.
#ifndef TESTS_SOLVER_SUPPORT_H
#define TESTS_SOLVER_SUPPORT_H

#include <sstream>
#include <string>

#include <functional>

#include "qrogoal.h"
#include "qromodel.h"
#include "qrosolveri.h"
#include "qrosolverlistener.h"
#include "qrcgoal.h"
#include "qrcmanager.h"

namespace solvertest {

typedef QrcGoalI* (*GoalMaker)(QrcManagerI* manager);

// A model goal whose engine goal a function makes.
class EngineGoalI : public QroGoalI {
 public:
  EngineGoalI(QroEnvI* env, GoalMaker make) : QroGoalI(env), _make(make) {}
  QrcGoal extract(const QroSolver& solver) const override {
    return QrcGoal(_make(solver.getManagerI()));
  }
  QroGoalI* makeClone(QroEnvI* env) const override { return new (env) EngineGoalI(env, _make); }

 private:
  GoalMaker _make;
};

// Reports an engine error as an unbound float variable's value would.
class ErrorGoalI : public QrcGoalI {
 public:
  explicit ErrorGoalI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    _manager->getErrorReporter()->report(QrcUnboundError, "QrcFloatExpI::getValue",
                                         "unbound constrained variable",
                                         static_cast<const QrcPrintable*>(this));
    return nullptr;
  }
};

// Two solutions: a choice point between two succeeding goals.
inline QrcGoalI* makeTwoWays(QrcManagerI* m) {
  return new (m) QrcOrI(m, new (m) QrcGoalTrueI(m), new (m) QrcGoalTrueI(m), nullptr);
}
inline QrcGoalI* makeFail(QrcManagerI* m) {
  return new (m) QrcGoalFailI(m, nullptr);
}
inline QrcGoalI* makeError(QrcManagerI* m) {
  return new (m) ErrorGoalI(m);
}

// Three failures before a solution.
inline QrcGoalI* makeThreeFailures(QrcManagerI* m) {
  QrcGoalI* last = new (m) QrcOrI(m, makeFail(m), new (m) QrcGoalTrueI(m), nullptr);
  for (int i = 0; i < 2; ++i) last = new (m) QrcOrI(m, makeFail(m), last, nullptr);
  return last;
}

// Solves through the solver a nested search of three failures under a fail
// limit of 1 that it sets and then unsets; goes on whatever it found.
class NestedLimitedSolveI : public QrcGoalI {
 public:
  explicit NestedLimitedSolveI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    _manager->setFailLimit(1);
    QroSolver(_manager->getSolver()).solve(QrcGoal(makeThreeFailures(_manager)), true);
    _manager->unsetLimits();
    return nullptr;
  }
};
inline QrcGoalI* makeNestedLimitedSolve(QrcManagerI* m) {
  return new (m) NestedLimitedSolveI(m);
}

inline QroGoal engineGoal(QroEnvI* env, GoalMaker make) {
  return QroGoal(new (env) EngineGoalI(env, make));
}

template <class E>
std::string printed(const E& e) {
  std::ostringstream os;
  e.print(os);
  return os.str();
}

// A model over two variables x and y of one type.
struct TwoVarCase {
  const char* name;
  double lo[2], hi[2];  // variables x and y
  std::function<void(QroEnv&, QroModel&, const QroNumVar& x, const QroNumVar& y)> add;
  int solutions;
  QroNumVar::Type type = QroNumVar::Int;
};

// Solutions over (x, y) found by dichotomy, at most 101, the search stopped
// after 10,000 failures; an inconsistent model has none.
inline int countSolutions(const TwoVarCase& c, QrcManagerTag tag) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, c.lo[0], c.hi[0], c.type, "x");
  QroNumVar y(env, c.lo[1], c.hi[1], c.type, "y");
  model.add(x);
  model.add(y);
  c.add(env, model, x, y);
  int n = 0;
  try {
    QroSolver solver(model, tag);
    solver.getManagerI()->setFailLimit(10000);
    solver.startNewSearch(
        QroAndGoal(QroNumDichotomize(env, x, 0, 0.0), QroNumDichotomize(env, y, 0, 0.0)));
    while (solver.next() && n <= 100) ++n;
    solver.endSearch();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  }
  env.end();
  return n;
}

// User code that throws while the solver extracts: a solver listener's events
// and the extract hook of a user's modelling class. Armed, it throws once, at
// the event planned: an exception of its own (Stop) or a library one.
enum class UserEvent { Begin, Claim, NewIntVar, ConstraintAdded, End, Hook };
struct Stop {};

struct ThrowPlan {
  bool armed = false;
  UserEvent event = UserEvent::Begin;
  bool library = false;
  void at(UserEvent e) {
    if (!armed || e != event) return;
    armed = false;
    if (library) throw QroWrongUsage("stop");
    throw Stop();
  }
};

inline ThrowPlan& throwPlan() {
  static ThrowPlan plan;
  return plan;
}

class ThrowingListener : public QroSolverListenerI {
 public:
  explicit ThrowingListener(QroEnvI* env) : QroSolverListenerI(env) { setWantsVariables(1); }
  void beginExtraction(QroModelI*) override { throwPlan().at(UserEvent::Begin); }
  QroBool claim(QroExtractableI*) override { return throwPlan().at(UserEvent::Claim), 0; }
  void newIntVar(QrcExprI*) override { throwPlan().at(UserEvent::NewIntVar); }
  void constraintAdded(QrcConstraintI*) override { throwPlan().at(UserEvent::ConstraintAdded); }
  void endExtraction(QroModelI*) override { throwPlan().at(UserEvent::End); }
};

}  // namespace solvertest

#endif
