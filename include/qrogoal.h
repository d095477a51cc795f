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

#endif
