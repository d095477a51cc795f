#include "qrogoal.h"

#include <ostream>

#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qroenv.h"
#include "qrcmanager.h"
#include "qrcfloatgoals.h"
#include "qrcintgoals.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrovar.h"

QroGoalI::~QroGoalI() {}

void QroGoalI::display(std::ostream& os) const {
  os << "an QroGoalI";
}

std::ostream& operator<<(std::ostream& os, const QroGoal& goal) {
  if (goal.getImpl()) goal.getImpl()->display(os);
  return os;
}

QroAndGoalI::QroAndGoalI(QroEnvI* env, QroGoalI* first, QroGoalI* second)
    : QroGoalI(env), _first(first), _second(second) {
  if ((first && first->getEnv() != env) || (second && second->getEnv() != env))
    QroThrowEnvMismatch("QroAndGoal: mixing mismatch environments");
}

QrcGoal QroAndGoalI::extract(const QroSolver& solver) const {
  return QrcAnd(QrcExtractGoal(solver, _first), QrcExtractGoal(solver, _second));
}

QroGoalI* QroAndGoalI::makeClone(QroEnvI* env) const {
  QroGoalI* second = _second ? _second->makeClone(env) : nullptr;
  QroGoalI* first = _first ? _first->makeClone(env) : nullptr;
  return new (env) QroAndGoalI(env, first, second);
}

void QroAndGoalI::display(std::ostream& os) const {
  os << "QroAndGoal(" << static_cast<const void*>(_first) << ", "
     << static_cast<const void*>(_second) << ")";
}

QroGoal QroAndGoal(const QroGoal& first, const QroGoal& second) {
  if (!first.getImpl()) throw QroEmptyHandleException("QroAndGoal: the first goal is empty");
  QroEnvI* env = first.getImpl()->getEnv();
  return QroGoal(new (env) QroAndGoalI(env, first.getImpl(), second.getImpl()));
}

QrcGoalI* QrcExtractGoalI::execute() {
  if (!_goal) return nullptr;
  // The model goal's extraction is the caller's code: failures are thrown.
  QrcGoalI* next = nullptr;
  auto extract = [&] { next = _goal->extract(QroSolver(getSolverI())).getImpl(); };
  _manager->runForeign(extract);
  return next;
}

void QrcExtractGoalI::display(std::ostream& os) const {
  os << "QrcExtractGoal";
}

QrcGoalI* QrcDefaultGoalI::execute() {
  QroSolverI* solver = getSolverI();
  if (!solver) return nullptr;
  // Solver listeners may add goals of the caller's: failures are thrown.
  QrcGoalI* next = nullptr;
  auto make = [&] { next = solver->getExtractorManager()->makeGoal().getImpl(); };
  _manager->runForeign(make);
  return next;
}

void QrcDefaultGoalI::display(std::ostream& os) const {
  os << "QrcDefaultGoal";
}

QrcGoal QrcExtractGoal(const QroSolver& solver, QroGoalI* goal) {
  if (goal && solver.getImpl() && goal->getEnv() != solver.getImpl()->getEnv())
    QroThrowEnvMismatch("QroSolver goal: mixing mismatch environments");
  QrcManagerI* m = solver.getManagerI();
  return QrcGoal(new (m) QrcExtractGoalI(m, goal));
}

QrcGoal QrcDefaultGoal(const QrcManager& manager) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcDefaultGoal");
  return QrcGoal(new (m) QrcDefaultGoalI(m));
}

QrcGoal QroSolverTrueGoal(const QroSolver& solver) {
  return QrcGoalTrue(solver.getManager());
}

QroNumDichotomizeI::QroNumDichotomizeI(QroEnvI* env, QroNumVarI* var, QroInt option, QroNum ratio)
    : QroGoalI(env), _var(var), _option(option), _ratio(ratio) {
  QroCheckSameEnv(env, var, "QroNumDichotomize: mixing mismatch environments");
}

QrcGoal QroNumDichotomizeI::extract(const QroSolver& solver) const {
  QroNumVar var(_var);
  if (solver.isInteger(var)) return QrcDichotomize(solver.getIntVar(var), _option);
  return QrcInstantiate(solver.getFloatVar(var), _option, _ratio);
}

QroGoalI* QroNumDichotomizeI::makeClone(QroEnvI* env) const {
  QroNumVarI* var = static_cast<QroNumVarI*>(env->getClone(_var));
  return new (env) QroNumDichotomizeI(env, var, _option, _ratio);
}

void QroNumDichotomizeI::display(std::ostream& os) const {
  os << "QroNumDichotomize(" << static_cast<const void*>(_var) << ", " << _option << ", " << _ratio
     << ")";
}

QroGoal QroNumDichotomize(const QroEnv& env, const QroNumVar& var, QroInt option, QroNum ratio) {
  QroEnvI* e = env.getImpl();
  if (!e) throw QroEmptyHandleException("QroNumDichotomize: empty environment");
  return QroGoal(new (e) QroNumDichotomizeI(e, var.getImpl(), option, ratio));
}
