// Shaving for strong consistency of float variables (their maximum only).
#ifndef QRC_FLOAT_SHAVING_H
#define QRC_FLOAT_SHAVING_H

#include "qrcfloatexp.h"
#include "qrcshaving.h"

class QrcSpiralSolverFloatCtI : public QrcShavingWatchI {
  QRCLIBRARYCLASS(QrcSpiralSolverFloatCtI)
  QROSIMPLECLASS(QrcSpiralSolverFloatCtI, QrcConstraintI)
 public:
  QrcSpiralSolverFloatCtI(QrcFloatExpI* var, QrcInt level);
  void post() override;
  void display(std::ostream& os) const override;

 private:
  void suspendVariable() override;
  void resumeVariable() override;
  void handBack() override;
  void dropHeld() override;

  QrcFloatExpI* _var;
  QrcFloatVarEventHandlerI::Held _held;
};

class StrongConsistencyFloatConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(StrongConsistencyFloatConstraintI)
  QROSIMPLECLASS(StrongConsistencyFloatConstraintI, QrcConstraintI)
 public:
  StrongConsistencyFloatConstraintI(QrcFloatExpI* var, QrcSpiralSolverFloatCtI* watch)
      : QrcConstraintI(var->getManager()), _var(var), _watch(watch) {}
  void post() override {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _var;
  QrcSpiralSolverFloatCtI* _watch;
};

// Narrows a variable to [lo, hi] and stores its maximum.
class testFloatgoalI : public QrcGoalI {
  QRCLIBRARYCLASS(testFloatgoalI)
  QROSIMPLECLASS(testFloatgoalI, QrcGoalI)
 public:
  testFloatgoalI(QrcManagerI* m, QrcFloatExpI* var, QrcFloat lo, QrcFloat hi, QrcFloat* result)
      : QrcGoalI(m), _var(var), _lo(lo), _hi(hi), _result(result) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _var;
  QrcFloat _lo;
  QrcFloat _hi;
  QrcFloat* _result;
};

QrcConstraint QrcSpiralSolverFloatCt(const QrcFloatVar& x, QrcInt level);

// Process-wide shaving of every float variable a solver extracts: a watch of
// the level (when at least 1) while the switch is on. Both start at 0 and off
// and nothing in the library changes them: the setters are for tests only.
QrcInt getGlobalFloatShavingLevel();
bool isGlobalFloatShavingOn();
void setGlobalFloatShavingLevel(QrcInt level);
void setGlobalFloatShavingOn(bool on);
// Adds the process-wide watch to x when the settings ask for one.
void addGlobalFloatShaving(const QrcFloatVar& x);

#endif
