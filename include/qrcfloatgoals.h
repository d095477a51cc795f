// Engine goals that search over float variables: one-sided narrowing, the
// bisection of one variable and of every variable of an array in turn.
#ifndef QRC_FLOATGOALS_H
#define QRC_FLOATGOALS_H

#include <iosfwd>

#include "qrcgoal.h"
#include "qrcfloatexp.h"
#include "qrcfloatvararray.h"

// The index of the variable to split next, -1 for none.
typedef QrcInt (*QrcChooseFloatIndex)(const QrcFloatVarArray& vars);

// The first element that is not bound; -1 when none (or no array).
QrcInt QrcChooseFirstUnboundFloat(const QrcFloatVarArray& vars);

// x >= value.
class QrcFloatVarTryUpI : public QrcGoalI {
  QROSIMPLECLASS(QrcFloatVarTryUpI, QrcGoalI)
 public:
  QrcFloatVarTryUpI(QrcManagerI* m, QrcFloatExpI* var, QrcFloat value)
      : QrcGoalI(m), _var(var), _value(value) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _var;
  QrcFloat _value;
};

// x <= value.
class QrcFloatVarTryDownI : public QrcGoalI {
  QROSIMPLECLASS(QrcFloatVarTryDownI, QrcGoalI)
 public:
  QrcFloatVarTryDownI(QrcManagerI* m, QrcFloatExpI* var, QrcFloat value)
      : QrcGoalI(m), _var(var), _value(value) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _var;
  QrcFloat _value;
};

// Splits the variable's interval in two until it is bound.
class QrcFloatVarInstantiateI : public QrcGoalI {
  QROSIMPLECLASS(QrcFloatVarInstantiateI, QrcGoalI)
 public:
  QrcFloatVarInstantiateI(QrcManagerI* m, QrcFloatExpI* var, QrcInt upperFirst, QrcFloat ratio)
      : QrcGoalI(m), _var(var), _upperFirst(upperFirst), _ratio(ratio) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 protected:
  QrcFloatExpI* _var;
  QrcInt _upperFirst;
  QrcFloat _ratio;
};

// The same at the manager's variable precision.
class QrcFloatVarInstantiateVarPrecI : public QrcFloatVarInstantiateI {
  QROSIMPLECLASS(QrcFloatVarInstantiateVarPrecI, QrcFloatVarInstantiateI)
 public:
  QrcFloatVarInstantiateVarPrecI(QrcManagerI* m, QrcFloatExpI* var, QrcInt upperFirst,
                                 QrcFloat ratio)
      : QrcFloatVarInstantiateI(m, var, upperFirst, ratio) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

class QrcFloatGenerateI : public QrcGoalI {
  QROSIMPLECLASS(QrcFloatGenerateI, QrcGoalI)
 public:
  QrcFloatGenerateI(QrcManagerI* m, QrcFloatVarArrayI* vars, QrcChooseFloatIndex choose,
                    QrcInt upperFirst, QrcFloat ratio)
      : QrcGoalI(m), _vars(vars), _choose(choose), _upperFirst(upperFirst), _ratio(ratio) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatVarArrayI* _vars;
  QrcChooseFloatIndex _choose;
  QrcInt _upperFirst;
  QrcFloat _ratio;
};

// The split point of [min, max] at fixed precision.
QrcFloat QrcFloatSplitPoint(QrcFloat min, QrcFloat max);
// The split point at p mantissa bits.
QrcFloat QrcFloatSplitPointAtPrecision(QrcFloat min, QrcFloat max, QrcInt p);

QrcGoal QrcInstantiate(const QrcFloatVar& x, QrcInt upperFirst, QrcFloat ratio);
QrcGoal QrcGenerate(const QrcFloatVarArray& vars, QrcChooseFloatIndex choose, QrcInt upperFirst,
                    QrcFloat ratio);

#endif
