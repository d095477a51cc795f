// Engine goals that assign, exclude and bisect values of integer variables.
#ifndef QRC_INTGOALS_H
#define QRC_INTGOALS_H

#include <iosfwd>

#include "qrcgoal.h"
#include "qrcint.h"

class QrcIntExpI;
class QrcIntVarArrayI;

// Picks the value to try for a variable.
class QrcIntValueSelectorI {
 public:
  virtual ~QrcIntValueSelectorI() {}
  virtual QrcInt select(QrcIntExpI* var) = 0;
};

// The index of the variable to instantiate next, -1 for none.
typedef QrcInt (*QrcChooseIntIndex)(const QrcIntVarArray& vars);

// The first variable whose minimum differs from its maximum.
QrcInt QrcChooseFirstUnboundInt(const QrcIntVarArray& vars);

// A goal on a variable and a value.
#define QRC_INT_VALUE_GOAL(NAME)                                                                   \
  class NAME : public QrcGoalI {                                                                   \
    QRCLIBRARYCLASS(NAME)                                                                          \
    QROSIMPLECLASS(NAME, QrcGoalI)                                                                 \
   public:                                                                                         \
    NAME(QrcManagerI* m, QrcIntExpI* var, QrcInt value) : QrcGoalI(m), _var(var), _value(value) {} \
    QrcGoalI* execute() override;                                                                  \
    void display(std::ostream& os) const override;                                                 \
                                                                                                   \
   private:                                                                                        \
    QrcIntExpI* _var;                                                                              \
    QrcInt _value;                                                                                 \
  };

QRC_INT_VALUE_GOAL(QrcIntVarSetValueI)
QRC_INT_VALUE_GOAL(QrcIntVarRemoveValueI)
QRC_INT_VALUE_GOAL(QrcIntVarLeValueI)
QRC_INT_VALUE_GOAL(QrcIntVarGeValueI)
#undef QRC_INT_VALUE_GOAL

class QrcIntVarInstantiateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcIntVarInstantiateI)
  QROSIMPLECLASS(QrcIntVarInstantiateI, QrcGoalI)
 public:
  QrcIntVarInstantiateI(QrcManagerI* m, QrcIntExpI* var, QrcIntValueSelectorI* selector)
      : QrcGoalI(m), _var(var), _selector(selector) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpI* _var;
  QrcIntValueSelectorI* _selector;
};

class QrcIntGenerateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcIntGenerateI)
  QROSIMPLECLASS(QrcIntGenerateI, QrcGoalI)
 public:
  QrcIntGenerateI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcChooseIntIndex choose,
                  QrcIntValueSelectorI* selector)
      : QrcGoalI(m), _vars(vars), _choose(choose), _selector(selector), _firstUnbound(m, 0) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntVarArrayI* _vars;
  QrcChooseIntIndex _choose;
  QrcIntValueSelectorI* _selector;
  // With the first-unbound choice: the variables before this position are
  // bound on the current branch, so each choice resumes the scan there.
  QrcRevWord _firstUnbound;
};

class QrcDichotomizeGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcDichotomizeGoalI)
  QROSIMPLECLASS(QrcDichotomizeGoalI, QrcGoalI)
 public:
  QrcDichotomizeGoalI(QrcManagerI* m, QrcIntExpI* var, QrcInt upperFirst)
      : QrcGoalI(m), _var(var), _upperFirst(upperFirst) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpI* _var;
  QrcInt _upperFirst;
};

QrcGoal QrcSetValue(const QrcIntVar& var, QrcInt value);
QrcGoal QrcRemoveValue(const QrcIntVar& var, QrcInt value);
QrcGoal QrcGenerate(const QrcIntVarArray& vars,
                    QrcChooseIntIndex choose = QrcChooseFirstUnboundInt);
QrcGoal QrcIntGenerate(const QrcIntVarArray& vars,
                       QrcChooseIntIndex choose = QrcChooseFirstUnboundInt);
QrcGoal QrcDichotomize(const QrcIntVar& var, QrcInt upperFirst);

#endif
