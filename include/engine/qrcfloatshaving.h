// Shaving for strong consistency of float variables (their maximum only).
#ifndef QRC_FLOAT_SHAVING_H
#define QRC_FLOAT_SHAVING_H

#include "qrcconstraint.h"
#include "qrcfloatexp.h"

class StrongConsistencyFloatConstraintI;

class QrcSpiralSolverFloatCtI : public QrcConstraintI {
  QROSIMPLECLASS(QrcSpiralSolverFloatCtI, QrcConstraintI)
 public:
  QrcSpiralSolverFloatCtI(QrcFloatExpI* var, QrcInt level);
  void post() override;
  void propagate() override;
  void display(std::ostream& os) const override;
  // Count and active flag cleared, the variable's handler resumed.
  void reset();
  // Reset, and the threshold back to the level: the companion is done.
  void finish();
  bool isActive() const { return _active != 0; }
  void setThreshold(QrcInt t) { _threshold = static_cast<int32_t>(t); }
  QrcInt getThreshold() const { return _threshold; }
  QrcInt getLevel() const { return _level; }
  QrcInt getCount() const { return _count; }

 private:
  QrcFloatExpI* _var;
  QrcInt _count;
  QrcInt _stamp;
  char _active;
  StrongConsistencyFloatConstraintI* _companion;
  int32_t _threshold;
  int32_t _level;
};

class StrongConsistencyFloatConstraintI : public QrcConstraintI {
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
