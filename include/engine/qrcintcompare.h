// Comparison constraints between integer expressions and constants, their
// makers (which fold decided cases into the shared true and false
// constraints and route long linear comparisons through a normalised linear
// form), and the linear form itself.
#ifndef QRC_INTCOMPARE_H
#define QRC_INTCOMPARE_H

#include <iosfwd>

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintexp.h"

// The comparisons of QrcOffsetsTest: x == y + k, x != y + k, x <= y + k.
enum QrcOffsetsOp { QrcOffsetsEq, QrcOffsetsNeq, QrcOffsetsLe };
// How the comparison reads when x and y are one expression plus constants:
// 0 when they are not; 1 when the constants make it hold wherever that
// expression has a value; -1 when they make it fail everywhere. Such a
// comparison narrows nothing but demands a value of the expression.
QrcInt QrcOffsetsTest(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcOffsetsOp op);

class QrcEqConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcEqConstraint)
  QROSIMPLECLASS(QrcEqConstraint, QrcConstraintI)
 public:
  QrcEqConstraint(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y)
      : QrcConstraintI(m), _x(x), _y(y), _offsets(QrcOffsetsTest(x, y, 0, QrcOffsetsEq)) {}
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcIntExpI* getX() const { return _x; }
  QrcIntExpI* getY() const { return _y; }

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  QrcInt _offsets;  // QrcOffsetsTest
};

class QrcNeqConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcNeqConstraint)
  QROSIMPLECLASS(QrcNeqConstraint, QrcConstraintI)
 public:
  QrcNeqConstraint(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y)
      : QrcConstraintI(m), _x(x), _y(y), _offsets(QrcOffsetsTest(x, y, 0, QrcOffsetsNeq)) {}
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  QrcInt _offsets;  // QrcOffsetsTest
};

class QrcEqCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcEqCstConstraint)
  QROSIMPLECLASS(QrcEqCstConstraint, QrcUnaryConstraintI)
 public:
  QrcEqCstConstraint(QrcIntExpI* x, QrcInt c) : QrcUnaryConstraintI(x), _c(c) {}
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcBool isOppositeFalse() override;
  QrcBool wakesWithOpposite() override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Over vars[index] (an array of the index's size): the count of the
  // variables equal to the constant (qrcsetof.h).
  QrcIntExpI* makeSetOfConstraint(QrcIndexI* index) override;
  QrcInt getConstant() const { return _c; }

 private:
  QrcInt _c;
};

class QrcNeqCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcNeqCstConstraint)
  QROSIMPLECLASS(QrcNeqCstConstraint, QrcUnaryConstraintI)
 public:
  QrcNeqCstConstraint(QrcIntExpI* x, QrcInt c) : QrcUnaryConstraintI(x), _c(c) {}
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcBool isOppositeFalse() override;
  QrcBool isTrue() const override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcInt _c;
};

// x <= y + k.
class QrcLeOffsetI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLeOffsetI)
  QROSIMPLECLASS(QrcLeOffsetI, QrcConstraintI)
 public:
  QrcLeOffsetI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcInt reversed);
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcBool isOppositeFalse() override;
  QrcBool wakesWithOpposite() override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // When x and y are variables plus constants far from the limits: those
  // variables and the offset of the test over them; false otherwise.
  bool getVarTest(QrcIntExpI*& x, QrcIntExpI*& y, QrcInt& offset) const {
    x = _xVar;
    y = _yVar;
    offset = _varOffset;
    return _xVar != nullptr;
  }

 private:
  // When x and y are variables plus constants far from the limits, those
  // variables and the offset that x's variable <= y's variable + offset means,
  // so that isFalse reads them with no node between; null otherwise. First,
  // beside the words isFalse reads before them.
  QrcIntExpI* _xVar;
  QrcIntExpI* _yVar;
  QrcInt _varOffset;
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  QrcInt _k;
  QrcInt _reversed;
  QrcInt _offsets;  // QrcOffsetsTest
};

class QrcLeCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcLeCstConstraint)
  QROSIMPLECLASS(QrcLeCstConstraint, QrcUnaryConstraintI)
 public:
  QrcLeCstConstraint(QrcIntExpI* x, QrcInt c, QrcInt reversed)
      : QrcUnaryConstraintI(x), _c(c), _reversed(reversed) {}
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcInt _c;
  QrcInt _reversed;
};

class QrcGeCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcGeCstConstraint)
  QROSIMPLECLASS(QrcGeCstConstraint, QrcUnaryConstraintI)
 public:
  QrcGeCstConstraint(QrcIntExpI* x, QrcInt c, QrcInt reversed)
      : QrcUnaryConstraintI(x), _c(c), _reversed(reversed) {}
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcInt _c;
  QrcInt _reversed;
};

// x >= l && x <= u over an expression: the conjunction of its two parts,
// whose opposite, truth and display it keeps, but posted as one demon that
// narrows both bounds at once (one reading of the expression's bounds, one
// narrowing of each operand).
class QrcIntRangeCstI : public QrcBoolAndExpI {
  QRCLIBRARYCLASS(QrcIntRangeCstI)
  QROSIMPLECLASS(QrcIntRangeCstI, QrcBoolAndExpI)
 public:
  QrcIntRangeCstI(QrcConstraintI* ge, QrcConstraintI* le, QrcIntExpI* x, QrcInt l, QrcInt u)
      : QrcBoolAndExpI(ge, le), _x(x), _l(l), _u(u) {}
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntExpI* _x;
  QrcInt _l, _u;
};

// x >= l && x <= u (l < u), as a QrcIntRangeCstI where the conjunction is
// one of x's two bounds and x is no variable.
QrcConstraintI* QrcMakeIntRange(const QrcIntExp& x, QrcInt l, QrcInt u);

// sum(coefficient[i] * variable[i]) + constant, a container for normalisation.
class QrcLinIntExpI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcLinIntExpI)
 public:
  explicit QrcLinIntExpI(QrcIntExpI* e);
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void normalize();
  QrcIntVarArrayI* getVars() const { return _vars; }
  const QrcIntArray& getCoefs() const { return _coefs; }
  QrcInt getConstant() const { return _constant; }
  QrcInt getCount() const { return _count; }

 private:
  friend class QrcLinearCollector;
  QrcLinIntExpI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcIntArray coefs, QrcInt constant);
  QrcIntVarArrayI* _vars;
  QrcIntArray _coefs;
  QrcInt _constant;
  QrcInt _count;
};

// a || b, where a null constraint stands for one that never holds (null when
// both are).
QrcConstraintI* QrcEitherOf(QrcConstraintI* a, QrcConstraintI* b);
// The opposite of a comparison over x (and y), made to hold as well wherever
// one of them has no value.
QrcConstraintI* QrcOppositeWhereUndefined(QrcConstraintI* opposite, QrcIntExpI* x,
                                          QrcIntExpI* y = nullptr);

// Whether linear forms are normalised when built (on by default).
extern QrcInt QrcLinearNormalization;

// l == c, l <= c, l >= c over the scalar product of the form plus its constant.
QrcConstraint QrcLinearEq(QrcLinIntExpI* l, QrcInt c);
QrcConstraint QrcLinearLe(QrcLinIntExpI* l, QrcInt c);
QrcConstraint QrcLinearGe(QrcLinIntExpI* l, QrcInt c);

QrcConstraint operator==(const QrcIntExp& x, QrcInt c);
QrcConstraint operator==(QrcInt c, const QrcIntExp& x);
QrcConstraint operator!=(const QrcIntExp& x, QrcInt c);
QrcConstraint operator!=(QrcInt c, const QrcIntExp& x);
QrcConstraint operator<=(const QrcIntExp& x, QrcInt c);
QrcConstraint operator>=(const QrcIntExp& x, QrcInt c);
QrcConstraint operator<=(QrcInt c, const QrcIntExp& x);
QrcConstraint operator>=(QrcInt c, const QrcIntExp& x);
QrcConstraint operator<(const QrcIntExp& x, QrcInt c);
QrcConstraint operator>(const QrcIntExp& x, QrcInt c);
QrcConstraint operator<(QrcInt c, const QrcIntExp& x);
QrcConstraint operator>(QrcInt c, const QrcIntExp& x);
QrcConstraint QrcLeOffset(const QrcIntExp& x, const QrcIntExp& y, QrcInt k);
QrcConstraint operator<(const QrcIntExp& x, const QrcIntExp& y);
QrcConstraint operator==(const QrcIntExp& x, const QrcIntExp& y);
QrcConstraint operator!=(const QrcIntExp& x, const QrcIntExp& y);
QrcConstraint operator<=(const QrcIntExp& x, const QrcIntExp& y);
QrcConstraint operator>=(const QrcIntExp& x, const QrcIntExp& y);
QrcConstraint operator>(const QrcIntExp& x, const QrcIntExp& y);

#endif
