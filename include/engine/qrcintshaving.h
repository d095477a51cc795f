// Shaving for strong consistency of integer variables (their maximum only):
// a watch constraint counts the range changes of the variable within one
// propagation stamp and, past its threshold, suspends the variable and hands
// over to a companion that tests upper slices in nested searches.
#ifndef QRC_INT_SHAVING_H
#define QRC_INT_SHAVING_H

#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcshaving.h"

class QrcSpiralSolverIntCtI : public QrcShavingWatchI {
  QRCLIBRARYCLASS(QrcSpiralSolverIntCtI)
  QROSIMPLECLASS(QrcSpiralSolverIntCtI, QrcConstraintI)
 public:
  // A level below 3 counts as 3.
  QrcSpiralSolverIntCtI(QrcIntExpI* var, QrcInt level);
  void post() override;
  void display(std::ostream& os) const override;
  QrcIntExpI* getVar() const { return _var; }
  // Lets the variable's demons in a slice's nested search hear what the
  // watch holds.
  void lendHeld();

 private:
  void suspendVariable() override;
  void resumeVariable() override;
  void handBack() override;
  void dropHeld() override;

  QrcIntExpI* _var;
  QrcIntVarEventHandlerI::Held _held;
};

class StrongConsistencyIntConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(StrongConsistencyIntConstraintI)
  QROSIMPLECLASS(StrongConsistencyIntConstraintI, QrcConstraintI)
 public:
  StrongConsistencyIntConstraintI(QrcIntExpI* var, QrcSpiralSolverIntCtI* watch)
      : QrcConstraintI(var->getManager()), _var(var), _watch(watch) {}
  void post() override {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpI* _var;
  QrcSpiralSolverIntCtI* _watch;
};

// Narrows a variable to [lo, hi] and stores its maximum. Given the watch
// whose slice it tests, the variable's demons hear what the watch holds with
// that narrowing.
class testIntgoalI : public QrcGoalI {
  QRCLIBRARYCLASS(testIntgoalI)
  QROSIMPLECLASS(testIntgoalI, QrcGoalI)
 public:
  testIntgoalI(QrcManagerI* m, QrcIntExpI* var, QrcInt lo, QrcInt hi, QrcInt* result,
               QrcSpiralSolverIntCtI* watch = nullptr)
      : QrcGoalI(m), _var(var), _lo(lo), _hi(hi), _result(result), _watch(watch) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpI* _var;
  QrcInt _lo;
  QrcInt _hi;
  QrcInt* _result;
  QrcSpiralSolverIntCtI* _watch;
};

// The watch (and its companion) on x's manager; the caller adds it.
QrcConstraint QrcSpiralSolverIntCt(const QrcIntVar& x, QrcInt level);
// Asks for shaving of an integer variable's maximum (level 20).
void addIntShaving(const QrcIntVar& x);

// Process-wide shaving of every integer variable a solver extracts: a watch
// of the level (when at least 1) while the switch is on. Both start at 0 and
// off and nothing in the library changes them: the setters are for tests only.
QrcInt getGlobalIntShavingLevel();
bool isGlobalIntShavingOn();
void setGlobalIntShavingLevel(QrcInt level);
void setGlobalIntShavingOn(bool on);
// Adds the process-wide watch to x when the settings ask for one.
void addGlobalIntShaving(const QrcIntVar& x);

#endif
