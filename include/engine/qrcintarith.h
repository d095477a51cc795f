// Arithmetic nodes over integer expressions and their makers: offsets,
// differences, opposites, sums of two, absolute values, squares, products
// and quotients, minima and maxima, sums of arrays and the boolean sum.
// A node caches its bounds and pushes narrowings to its operands; makers fold
// constants (with checked arithmetic) and share an equal node already built
// over the same operands.
#ifndef QRC_INTARITH_H
#define QRC_INTARITH_H

#include <iosfwd>

#include "qrcint.h"
#include "qrcintexp.h"

// ---------------------------------------------------------------- bases

class QrcUnaryExpI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcUnaryExpI)
 public:
  QrcUnaryExpI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter);
  bool isEqual(const QrcExprI* other) const override;
  bool getShareKey(ShareKey& key) const override {
    key = {_x, static_cast<QrcWord>(_c), IntUnaryShare};
    return true;
  }
  void removeWhenOnOperands(QrcDemonI* d) override { _x->removeWhen(d); }
  void whenValueOnOperands(QrcDemonI* d) override { _x->whenValue(d); }
  void whenRangeOnOperands(QrcDemonI* d) override { _x->whenRange(d); }
  void whenDomainOnOperands(QrcDemonI* d) override { _x->whenDomain(d); }
  QrcConstraintI* makeUndefinedConstraint() override;
  // The node has a value exactly where its operand has one.
  bool computeValueOpen() override { return _x->isValueOpen(); }
  void requireOperandValues() override { _x->requireValue(); }
  QrcIntExpI* getOperand() const { return _x; }
  QrcInt getConstant() const { return _c; }

 protected:
  // A node turned into a variable prints as a variable.
  bool displayAsVariable(std::ostream& os) const;
  QrcInt _c;
  QrcIntExpI* _x;
};

class QrcBinaryExpI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcBinaryExpI)
 public:
  QrcBinaryExpI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter);
  bool isEqual(const QrcExprI* other) const override;
  bool getShareKey(ShareKey& key) const override {
    key = {_x, reinterpret_cast<QrcWord>(_y), IntBinaryShare};
    return true;
  }
  void removeWhenOnOperands(QrcDemonI* d) override;
  void whenRangeOnOperands(QrcDemonI* d) override;
  void whenDomainOnOperands(QrcDemonI* d) override { whenRangeOnOperands(d); }
  QrcConstraintI* makeUndefinedConstraint() override;
  // The node has a value exactly where both operands have one.
  bool computeValueOpen() override { return _x->isValueOpen() || _y->isValueOpen(); }
  void requireOperandValues() override;
  QrcIntExpI* getLeft() const { return _x; }
  QrcIntExpI* getRight() const { return _y; }

 protected:
  bool displayAsVariable(std::ostream& os) const;
  // (x op y), or the node as a variable.
  void displayInfix(std::ostream& os, const char* op) const;
  QrcIntExpI* _x;
  QrcIntExpI* _y;
};

// ---------------------------------------------------------------- offsets, sums, abs, square

class QrcIntAddI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntAddI)
 public:
  QrcIntAddI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcUnaryExpI(m, x, c, enter) {}
  QRCEXPRTYPEID
  QrcConstraintI* makeEventHandlerConstraint() override;
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
  void removeOperandsValue(QrcInt v) override { _x->removeValue(v - _c); }
  void removeOperandsValue(double v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override { _x->removeRange(a - _c, b - _c); }
  void removeOperandsRange(double a, double b) override;
};

class QrcIntSubI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntSubI)
 public:
  QrcIntSubI(QrcManagerI* m, QrcInt c, QrcIntExpI* x, bool enter = true)
      : QrcUnaryExpI(m, x, c, enter) {}
  QRCEXPRTYPEID
  QrcConstraintI* makeEventHandlerConstraint() override;
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
  void removeOperandsValue(QrcInt v) override { _x->removeValue(_c - v); }
  void removeOperandsValue(double v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override { _x->removeRange(_c - b, _c - a); }
  void removeOperandsRange(double a, double b) override;
};

class QrcOppI : public QrcIntSubI {
  QRCLIBRARYCLASS(QrcOppI)
 public:
  QrcOppI(QrcManagerI* m, QrcIntExpI* x, bool enter = true) : QrcIntSubI(m, 0, x, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
};

class QrcIntAbsI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntAbsI)
 public:
  QrcIntAbsI(QrcManagerI* m, QrcIntExpI* x, bool enter = true) : QrcUnaryExpI(m, x, 0, enter) {}
  QRCEXPRTYPEID
  QrcConstraintI* makeEventHandlerConstraint() override;
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcSquareI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcSquareI)
 public:
  QrcSquareI(QrcManagerI* m, QrcIntExpI* x, bool enter = true) : QrcUnaryExpI(m, x, 0, enter) {}
  QRCEXPRTYPEID
  QrcConstraintI* makeEventHandlerConstraint() override;
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcAddI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcAddI)
 public:
  QrcAddI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsValue(double v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcSubI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcSubI)
 public:
  QrcSubI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsValue(double v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
};

// ---------------------------------------------------------------- products and quotients

class QrcIntMulI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntMulI)
 public:
  QrcIntMulI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter) : QrcUnaryExpI(m, x, c, enter) {}
  QrcInt getExprTypeId() const override;
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override { return _x->getLinearSize(); }
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcIntMulPosI : public QrcIntMulI {
  QRCLIBRARYCLASS(QrcIntMulPosI)
 public:
  QrcIntMulPosI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcIntMulI(m, x, c, enter) {}
};

class QrcIntMulNegI : public QrcIntMulI {
  QRCLIBRARYCLASS(QrcIntMulNegI)
 public:
  QrcIntMulNegI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcIntMulI(m, x, c, enter) {}
};

class QrcBoolMulI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcBoolMulI)
 public:
  QrcBoolMulI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override { computeRange(); }
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcMulI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcMulI)
 public:
  QrcMulI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
};

class QrcIntDivI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntDivI)
 public:
  QrcIntDivI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter) : QrcUnaryExpI(m, x, c, enter) {}
  QrcInt getExprTypeId() const override;
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  // x / 0 has a value only for x = 0: value demons (which wait for the node's
  // value) and removal requests force x to 0.
  void whenValueOnOperands(QrcDemonI* d) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsValue(double) override { removeOperandsValue(QrcInt(0)); }
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsRange(double, double) override { removeOperandsRange(QrcInt(0), QrcInt(0)); }
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
};

class QrcIntDivPI : public QrcIntDivI {
  QRCLIBRARYCLASS(QrcIntDivPI)
 public:
  QrcIntDivPI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcIntDivI(m, x, c, enter) {}
};

class QrcIntDivNI : public QrcIntDivI {
  QRCLIBRARYCLASS(QrcIntDivNI)
 public:
  QrcIntDivNI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcIntDivI(m, x, c, enter) {}
};

class QrcDivIntI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcDivIntI)
 public:
  QrcDivIntI(QrcManagerI* m, QrcInt c, QrcIntExpI* x, bool enter = true)
      : QrcUnaryExpI(m, x, c, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  // c / 0 has no value for c not 0: value demons (which wait for the node's
  // value) and removal requests fail there.
  void whenValueOnOperands(QrcDemonI* d) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsValue(double) override { removeOperandsValue(QrcInt(0)); }
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsRange(double, double) override { removeOperandsRange(QrcInt(0), QrcInt(0)); }
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;
};

class QrcDivI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcDivI)
 public:
  QrcDivI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  // x / 0 has a value only for x = 0: value demons (which wait for the node's
  // value) and removal requests force x to 0.
  void whenValueOnOperands(QrcDemonI* d) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsValue(double) override { removeOperandsValue(QrcInt(0)); }
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsRange(double, double) override { removeOperandsRange(QrcInt(0), QrcInt(0)); }
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;

 private:
  void ruleN(QrcInt a, QrcInt b);
  void ruleS(QrcInt a, QrcInt b);
};

// ---------------------------------------------------------------- minimum and maximum

class QrcIntMinI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntMinI)
 public:
  QrcIntMinI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcUnaryExpI(m, x, c, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcIntMaxI : public QrcUnaryExpI {
  QRCLIBRARYCLASS(QrcIntMaxI)
 public:
  QrcIntMaxI(QrcManagerI* m, QrcIntExpI* x, QrcInt c, bool enter = true)
      : QrcUnaryExpI(m, x, c, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcMinI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcMinI)
 public:
  QrcMinI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcMaxI : public QrcBinaryExpI {
  QRCLIBRARYCLASS(QrcMaxI)
 public:
  QrcMaxI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, bool enter = true)
      : QrcBinaryExpI(m, x, y, enter) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

// Base of the nodes over an array of terms (sum, maximum, minimum).
class QrcArrayExpI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcArrayExpI)
 public:
  QrcArrayExpI(QrcManagerI* m, QrcInt n, QrcIntExpI** terms);
  void removeWhenOnOperands(QrcDemonI* d) override;
  void whenRangeOnOperands(QrcDemonI* d) override;
  void whenDomainOnOperands(QrcDemonI* d) override { whenRangeOnOperands(d); }
  QrcConstraintI* makeUndefinedConstraint() override;
  // The node has a value exactly where every term has one.
  bool computeValueOpen() override;
  void requireOperandValues() override;
  QrcInt getSize() const { return _size; }
  QrcIntExpI* getTerm(QrcInt i) const { return _terms[i]; }

 protected:
  void displayArrayNode(std::ostream& os, const char* head) const;
  QrcIntExpI** copyTerms(QrcManagerI* target) const;
  QrcInt _size;
  QrcIntExpI** _terms;
};

class QrcArrayMax : public QrcArrayExpI {
  QRCLIBRARYCLASS(QrcArrayMax)
 public:
  QrcArrayMax(QrcManagerI* m, QrcInt n, QrcIntExpI** terms) : QrcArrayExpI(m, n, terms) {
    computeRangeAsDoubles();
  }
  void display(std::ostream& os) const override { displayArrayNode(os, "QrcMax("); }
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

class QrcArrayMin : public QrcArrayExpI {
  QRCLIBRARYCLASS(QrcArrayMin)
 public:
  QrcArrayMin(QrcManagerI* m, QrcInt n, QrcIntExpI** terms) : QrcArrayExpI(m, n, terms) {
    computeRangeAsDoubles();
  }
  void display(std::ostream& os) const override { displayArrayNode(os, "QrcMin("); }
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
};

// ---------------------------------------------------------------- sums of arrays

class QrcArraySumI : public QrcArrayExpI {
  QRCLIBRARYCLASS(QrcArraySumI)
 public:
  QrcArraySumI(QrcManagerI* m, QrcInt n, QrcIntExpI** terms);
  void display(std::ostream& os) const override { displayArrayNode(os, "QrcArraySumI("); }
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  QrcExactValue exactFromOperands() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;

 private:
  bool narrowScaled(QrcIntExpI* t, QrcInt c, QrcInt dlo, QrcInt dhi);
  QrcInt _width;
  // Per term, the constant c of a term c * x (QrcIntMulI), else 0.
  QrcInt* _factors;
};

// The number of true terms among 0-1 terms, kept by a QrcCardSumI.
class QrcCardSumVarI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcCardSumVarI)
 public:
  QrcCardSumVarI(QrcManagerI* m, QrcInt n, QrcIntExpI** terms);
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override { return -1; }

 private:
  QrcInt _size;
  QrcIntExpI** _terms;
};

class QrcCardSumI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcCardSumI)
  QROSIMPLECLASS(QrcCardSumI, QrcConstraintI)
 public:
  QrcCardSumI(QrcManagerI* m, QrcIntExpI* card, QrcInt n, QrcIntExpI** terms);
  void post() override;
  void propagate() override;
  void termBound(QrcInt i);
  void cardChanged();

 private:
  void fixTrue();
  void fixFalse();
  void check();
  QrcIntExpI* _card;
  QrcInt _size;
  QrcIntExpI** _terms;
  QrcRevWord _nbTrue;
  QrcRevWord _nbPossible;
  QrcRevWord _done;
};

// ---------------------------------------------------------------- makers

QrcIntExp operator+(const QrcIntExp& x, QrcInt c);
QrcIntExp operator+(QrcInt c, const QrcIntExp& x);
QrcIntExp operator+(const QrcIntExp& x, const QrcIntExp& y);
QrcIntExp operator-(const QrcIntExp& x);
QrcIntExp operator-(QrcInt c, const QrcIntExp& x);
QrcIntExp operator-(const QrcIntExp& x, QrcInt c);
QrcIntExp operator-(const QrcIntExp& x, const QrcIntExp& y);
QrcIntExp QrcAbs(const QrcIntExp& x);
QrcIntExp QrcSquare(const QrcIntExp& x);
QrcIntExp operator*(const QrcIntExp& x, QrcInt c);
QrcIntExp operator*(QrcInt c, const QrcIntExp& x);
QrcIntExp operator*(const QrcIntExp& x, const QrcIntExp& y);
QrcIntExp operator/(const QrcIntExp& x, QrcInt c);
QrcIntExp operator/(QrcInt c, const QrcIntExp& x);
QrcIntExp operator/(const QrcIntExp& x, const QrcIntExp& y);
// An int constant is an integer constant: without these, x + 1 would be as
// near to the float forms of qrcfloatview.h (a double constant) as to QrcInt.
inline QrcIntExp operator+(const QrcIntExp& x, int c) {
  return x + QrcInt(c);
}
inline QrcIntExp operator+(int c, const QrcIntExp& x) {
  return QrcInt(c) + x;
}
inline QrcIntExp operator-(const QrcIntExp& x, int c) {
  return x - QrcInt(c);
}
inline QrcIntExp operator-(int c, const QrcIntExp& x) {
  return QrcInt(c) - x;
}
inline QrcIntExp operator*(const QrcIntExp& x, int c) {
  return x * QrcInt(c);
}
inline QrcIntExp operator*(int c, const QrcIntExp& x) {
  return QrcInt(c) * x;
}
inline QrcIntExp operator/(const QrcIntExp& x, int c) {
  return x / QrcInt(c);
}
inline QrcIntExp operator/(int c, const QrcIntExp& x) {
  return QrcInt(c) / x;
}
QrcIntExp QrcMin(const QrcIntExp& x, QrcInt c);
QrcIntExp QrcMax(const QrcIntExp& x, QrcInt c);
QrcIntExp QrcMin(const QrcIntExp& x, const QrcIntExp& y);
QrcIntExp QrcMax(const QrcIntExp& x, const QrcIntExp& y);
// The terms are copied onto the manager's heap.
QrcIntExp QrcMin(const QrcManager& m, QrcInt n, QrcIntExpI* const* terms);
QrcIntExp QrcMax(const QrcManager& m, QrcInt n, QrcIntExpI* const* terms);
QrcIntExp QrcSum(const QrcManager& m, QrcInt n, QrcIntExpI* const* terms);
QrcIntExp QrcSum(const QrcIntVarArray& terms);
QrcIntExp QrcScalProd(const QrcIntVarArray& x, const QrcIntArray& c);

// Checked folding: false when the exact result leaves +-(2^53 - 1).
bool QrcFoldAdd(QrcInt a, QrcInt b, QrcInt& r);
bool QrcFoldMul(QrcInt a, QrcInt b, QrcInt& r);

#endif
