// Model-side goals: search instructions that live in the environment and
// become engine goals only when a solver runs them.
#ifndef QRO_GOAL_H
#define QRO_GOAL_H

#include <iosfwd>

#include "qroobject.h"
#include "qrcgoal.h"

class QroSolver;

class QroGoalI : public QroExtensibleRttiEnvObjectI {
  QROSIMPLECLASS(QroGoalI, QroExtensibleRttiEnvObjectI)
 public:
  explicit QroGoalI(QroEnvI* env) : QroExtensibleRttiEnvObjectI(env) {}
  ~QroGoalI() override;
  // The engine goal that runs this goal inside the solver.
  virtual QrcGoal extract(const QroSolver& solver) const = 0;
  // A copy of the goal living in the target environment.
  virtual QroGoalI* makeClone(QroEnvI* env) const = 0;
  // "an QroGoalI" in the base.
  virtual void display(std::ostream& os) const;
  virtual const char* getHandleClassName() const { return "QroGoal"; }
};

class QroGoal {
 public:
  QroGoal(QroGoalI* impl = nullptr) : _impl(impl) {}
  QroGoalI* getImpl() const { return _impl; }

 private:
  QroGoalI* _impl;
};

std::ostream& operator<<(std::ostream& os, const QroGoal& goal);

// Runs the first goal, then the second (both borrowed).
class QroAndGoalI : public QroGoalI {
  QROSIMPLECLASS(QroAndGoalI, QroGoalI)
 public:
  // QroWrongUsage when a member belongs to another environment.
  QroAndGoalI(QroEnvI* env, QroGoalI* first, QroGoalI* second);
  // Each member is converted only when the engine reaches it.
  QrcGoal extract(const QroSolver& solver) const override;
  QroGoalI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  QroGoalI* getFirst() const { return _first; }
  QroGoalI* getSecond() const { return _second; }

 private:
  QroGoalI* _first;
  QroGoalI* _second;
};

// QroEmptyHandleException when the first goal is empty (the new goal lives
// in its environment).
QroGoal QroAndGoal(const QroGoal& first, const QroGoal& second);

// Converts a model goal when the engine runs it (an empty one succeeds).
class QrcExtractGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcExtractGoalI)
  QROSIMPLECLASS(QrcExtractGoalI, QrcGoalI)
 public:
  QrcExtractGoalI(QrcManagerI* manager, QroGoalI* goal) : QrcGoalI(manager), _goal(goal) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
  QroGoalI* getGoal() const { return _goal; }

 private:
  QroGoalI* _goal;
};

// Stands for the default search goal of the owning solver.
class QrcDefaultGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcDefaultGoalI)
  QROSIMPLECLASS(QrcDefaultGoalI, QrcGoalI)
 public:
  explicit QrcDefaultGoalI(QrcManagerI* manager) : QrcGoalI(manager) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

class QroNumVarI;
class QroNumVar;

// Bisects a numeric variable: the engine's float or integer bisection goal.
class QroNumDichotomizeI : public QroGoalI {
  QROSIMPLECLASS(QroNumDichotomizeI, QroGoalI)
 public:
  // QroWrongUsage when the variable belongs to another environment.
  QroNumDichotomizeI(QroEnvI* env, QroNumVarI* var, QroInt option, QroNum ratio);
  QrcGoal extract(const QroSolver& solver) const override;
  QroGoalI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  QroNumVarI* getVar() const { return _var; }
  QroInt getOption() const { return _option; }
  QroNum getRatio() const { return _ratio; }

 private:
  QroNumVarI* _var;
  QroInt _option;
  QroNum _ratio;
};

// A nonzero option tries the upper half first; ratio is the float goal's
// shave ratio (0: no shaving).
QroGoal QroNumDichotomize(const QroEnv& env, const QroNumVar& var, QroInt option, QroNum ratio);

QrcGoal QrcExtractGoal(const QroSolver& solver, QroGoalI* goal);
QrcGoal QrcDefaultGoal(const QrcManager& manager);
// A succeeding goal on the solver's manager.
QrcGoal QroSolverTrueGoal(const QroSolver& solver);

#endif
