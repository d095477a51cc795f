// Engine goals that search over float variables: one-sided narrowing, the
// bisection of one variable and of every variable of an array in turn, and the
// shaving of bound slices that nested searches refute.
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
  QRCLIBRARYCLASS(QrcFloatVarTryUpI)
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
  QRCLIBRARYCLASS(QrcFloatVarTryDownI)
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

// x <= value: the lower slice that bound shaving tests in a nested search.
class QrcTestFltMinI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcTestFltMinI)
  QROSIMPLECLASS(QrcTestFltMinI, QrcGoalI)
 public:
  QrcTestFltMinI(QrcManagerI* m, QrcFloatExpI* var, QrcFloat value)
      : QrcGoalI(m), _var(var), _value(value) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _var;
  QrcFloat _value;
};

// x >= value: the upper slice that bound shaving tests.
class QrcTestFltMaxI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcTestFltMaxI)
  QROSIMPLECLASS(QrcTestFltMaxI, QrcGoalI)
 public:
  QrcTestFltMaxI(QrcManagerI* m, QrcFloatExpI* var, QrcFloat value)
      : QrcGoalI(m), _var(var), _value(value) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _var;
  QrcFloat _value;
};

// Splits the variable's interval in two until it is bound; with a ratio
// above 0 it first shaves the variable's bounds with that slice ratio.
class QrcFloatVarInstantiateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcFloatVarInstantiateI)
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

// The same at the manager's variable precision, shaving before the
// boundness test.
class QrcFloatVarInstantiateVarPrecI : public QrcFloatVarInstantiateI {
  QRCLIBRARYCLASS(QrcFloatVarInstantiateVarPrecI)
  QROSIMPLECLASS(QrcFloatVarInstantiateVarPrecI, QrcFloatVarInstantiateI)
 public:
  QrcFloatVarInstantiateVarPrecI(QrcManagerI* m, QrcFloatExpI* var, QrcInt upperFirst,
                                 QrcFloat ratio)
      : QrcFloatVarInstantiateI(m, var, upperFirst, ratio) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

class QrcFloatGenerateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcFloatGenerateI)
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

// Shaves the bounds of every variable of an array (see shaveFloatBounds).
class QrcSolveBoundsGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcSolveBoundsGoalI)
  QROSIMPLECLASS(QrcSolveBoundsGoalI, QrcGoalI)
 public:
  QrcSolveBoundsGoalI(QrcManagerI* m, QrcFloatVarArrayI* vars, QrcFloat ratio)
      : QrcGoalI(m), _vars(vars), _ratio(ratio) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatVarArrayI* _vars;
  QrcFloat _ratio;
};

// The split point of [min, max] at fixed precision.
QrcFloat QrcFloatSplitPoint(QrcFloat min, QrcFloat max);
// The split point at p mantissa bits.
QrcFloat QrcFloatSplitPointAtPrecision(QrcFloat min, QrcFloat max, QrcInt p);

QrcGoal QrcInstantiate(const QrcFloatVar& x, QrcInt upperFirst, QrcFloat ratio);
QrcGoal QrcGenerate(const QrcFloatVarArray& vars, QrcChooseFloatIndex choose, QrcInt upperFirst,
                    QrcFloat ratio);

// Removes from each variable's bounds the slices whose nested search has no
// solution, by passes over the array to a fixpoint. The slices are 0.2, 0.04,
// ... of the width while larger than the ratio, then the ratio itself (a
// ratio of 0.2 or more alone); no ratio above 0 shaves nothing. Fixed or
// variable precision as the manager works.
void shaveFloatBounds(const QrcFloatVarArray& vars, QrcFloat ratio);
// Process-wide counts, for tests and benchmarks, of the nested searches that
// bound shaving ran and of those without solution (each removed its slice
// after one failure).
QrcInt getBoundShavingSearches();
QrcInt getBoundShavingRefutations();
// In edit mode adds a QrcSolveBoundsGoalI to the manager's goals; otherwise
// shaves at once.
void QrcSolveBounds(const QrcFloatVarArray& vars, QrcFloat ratio);
void QrcSolveBounds(const QrcFloatVar& x, QrcFloat ratio);

#endif
