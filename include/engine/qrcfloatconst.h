// The small classes around float expressions: constants, the constraint that
// keeps an expression-variable in step with its operands, the demon waiting for
// an expression to be bound, the saver, the objective filter, the iterator
// over a value-set variable and the shaving registration.
#ifndef QRC_FLOAT_CONST_H
#define QRC_FLOAT_CONST_H

#include "qrcexprct.h"
#include "qrcfloatexp.h"
#include "qrcsearch.h"

// A constant [min, max]: a variable that is not counted as one.
class QrcFloatConstI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcFloatConstI)
 public:
  QrcFloatConstI(QrcManagerI* manager, QrcFloat min, QrcFloat max, const char* name);
  static QrcFloatConstI* make(QrcManagerI* manager, QrcFloat min, QrcFloat max, const char* name);
  static QrcFloatConstI* make(const QrcManager& manager, QrcFloat min, QrcFloat max,
                              const char* name);

  bool isEqual(const QrcExprI* other) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  QRCEXPRTYPEID
  const char* getKindName() const override { return "QrcFloatConst"; }
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  void setOperandsRange(QrcFloat a, QrcFloat b) override;
  void whenValueOnOperands(QrcDemonI*) override {}
  void whenRangeOnOperands(QrcDemonI*) override {}
  void whenDomainOnOperands(QrcDemonI*) override {}
  QrcFloatExpI* getDerivative(QrcFloatExpI*) override { return nullptr; }
  void accept(QrcFloatExpVisitorI* visitor) override { visitor->visitConstant(this); }
};

// Keeps an expression that became a variable in step with its operands.
class QrcFloatExpEventHandlerConstraintI : public QrcExprEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcFloatExpEventHandlerConstraintI)
  QROSIMPLECLASS(QrcFloatExpEventHandlerConstraintI, QrcExprEventHandlerConstraintI)
 public:
  QrcFloatExpEventHandlerConstraintI(QrcManagerI* manager, QrcFloatExpI* exp)
      : QrcExprEventHandlerConstraintI(manager), _exp(exp) {
    _flags |= QuietTest;
  }
  void post() override;
  void propagate() override;
  // Quiet when the bounds computed from the operands are the variable's.
  bool runIfQuiet() override;
  void display(std::ostream& os) const override;
  QrcFloatExpI* getExpr() const { return _exp; }

 private:
  QrcFloatExpI* _exp;
};

// Wakes a demon when a float expression becomes bound.
class QrcFloatValueConstraintI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcFloatValueConstraintI)
  QROSIMPLECLASS(QrcFloatValueConstraintI, QrcDemonI)
 public:
  QrcFloatValueConstraintI(QrcFloatExpI* exp, QrcDemonI* demon)
      : QrcDemonI(exp->getManager()), _exp(exp), _demon(demon) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _exp;
  QrcDemonI* _demon;
};

// Records a float expression's bounds; restore puts them back on the variable.
class QrcFloatSaverI : public QrcSaverI {
  QRCLIBRARYCLASS(QrcFloatSaverI)
 public:
  explicit QrcFloatSaverI(QrcFloatExpI* exp);
  void save() override;
  void restore() override;
  QrcFloat getSavedMin() const { return _min; }
  QrcFloat getSavedMax() const { return _max; }

 private:
  QrcFloat _min;
  QrcFloat _max;
};

// Objective filter of a minimised float expression.
class QrcFloatOptFilterI : public QrcOptFilterI {
  QRCLIBRARYCLASS(QrcFloatOptFilterI)
 public:
  QrcFloatOptFilterI(QrcFloatExpI* exp, QrcFloat step, QrcFloat relativeStep);
  QrcFloat getBound() const override;
  QrcBool checkValue(QrcFloat value) const override;
  void applyBound() override;
  void computeNextBound() override;
  void update() override;
  void advanceBound() override;
  void applyRecordedBound(QrcFloat value) override;
  QrcFloat getCurrentValue() const { return _value; }
  QrcBool hasSolution() const { return _found; }

 private:
  QrcFloatExpI* exp() const { return static_cast<QrcFloatExpI*>(_objective); }
  mutable QrcFloat _bound;
  mutable QrcFloat _value;
  QrcFloat _step;
  QrcFloat _relativeStep;
  mutable QrcInt _found;
};

// Iterates the values of a value-set variable in increasing order.
class QrcFloatExpIterator {
 public:
  explicit QrcFloatExpIterator(const QrcFloatExp& exp);
  void init();
  // The next value into out; false once the values are exhausted.
  QrcBool next(QrcFloat& out);

 private:
  QrcFloatExpI* _exp;
  QrcFloat _current;
  QrcFloat _first;
  QrcBool _moved;
};

// Asks for shaving of a float variable's maximum (level 20).
void addFloatShaving(const QrcFloatVar& x);

#endif
