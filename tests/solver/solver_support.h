// Model goals and hooks that let the solver tests drive the engine directly.
#ifndef TESTS_SOLVER_SUPPORT_H
#define TESTS_SOLVER_SUPPORT_H

#include <sstream>
#include <string>

#include "qrosolveri.h"
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

inline QroGoal engineGoal(QroEnvI* env, GoalMaker make) {
  return QroGoal(new (env) EngineGoalI(env, make));
}

template <class E>
std::string printed(const E& e) {
  std::ostringstream os;
  e.print(os);
  return os.str();
}

}  // namespace solvertest

#endif
