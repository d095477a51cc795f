// Arithmetic nodes over float expressions. A node caches outward-rounded
// bounds computed from its operands (computeRange) and narrows its operands
// when it is narrowed (setOperandsRange). Equal nodes are shared: the makers
// of qrcfloatarith.h look among the first operand's parents first.
#ifndef QRC_FLOAT_NODES_H
#define QRC_FLOAT_NODES_H

#include "qrcexprct.h"
#include "qrcfloatexp.h"

// Node over two operands x and y.
class QrcFloatBinaryExpI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcFloatBinaryExpI)
 public:
  // attach: register the node as a parent of its operands (false for probes).
  QrcFloatBinaryExpI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true);
  bool isEqual(const QrcExprI* other) const override;
  bool getShareKey(ShareKey& key) const override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void accept(QrcFloatExpVisitorI* visitor) override { visitor->visitBinary(this); }
  QrcFloatExpI* getX() const { return _x; }
  QrcFloatExpI* getY() const { return _y; }

 protected:
  // The undefined-operand rule: true (node made the whole line) when it applies.
  bool undefinedOperands();
  bool quietOperands() { return _x->isQuietTarget() && _y->isQuietTarget(); }
  void displayInfix(std::ostream& os, const char* op) const;
  QrcFloatExpI* _x;
  QrcFloatExpI* _y;
};

// Node over one operand x and a constant c.
class QrcFloatUnaryExpI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcFloatUnaryExpI)
 public:
  QrcFloatUnaryExpI(QrcFloat c, QrcFloatExpI* x, bool attach = true);
  bool isEqual(const QrcExprI* other) const override;
  // The constant's bits, -0 read as 0 (isEqual compares with ==).
  bool getShareKey(ShareKey& key) const override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenValueOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void accept(QrcFloatExpVisitorI* visitor) override { visitor->visitUnary(this); }
  QrcFloatExpI* getX() const { return _x; }
  QrcFloat getConstant() const { return _c; }

 protected:
  bool undefinedOperand();
  // The quiet test of nodes that narrow their operand with one setRange.
  bool quietOperand() { return _x->isQuietTarget(); }
  QrcFloat _c;
  QrcFloatExpI* _x;
};

// Declares the usual overrides of a node class.
#define QRCFLOATNODE(Class, Kind)                           \
  QRCEXPRTYPEID                                             \
  void display(std::ostream& os) const override;            \
  QrcExprI* makeCopy(QrcManagerI* target) const override;   \
  void computeRange() override;                             \
  void setOperandsRange(QrcFloat lo, QrcFloat hi) override; \
  const char* getKindName() const override {                \
    return Kind;                                            \
  }                                                         \
  void accept(QrcFloatExpVisitorI* visitor) override {      \
    visitor->visitNode(this, Kind);                         \
  }

// ---------------------------------------------------------------- sums and offsets

class QrcFloatAddI : public QrcFloatBinaryExpI {
  QRCLIBRARYCLASS(QrcFloatAddI)
 public:
  QrcFloatAddI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true)
      : QrcFloatBinaryExpI(x, y, attach) {}
  QRCFLOATNODE(QrcFloatAddI, "QrcFloatAdd")
  bool hasQuietOperands() override { return quietOperands(); }
  void touchOperands() override {
    _x->touch();
    _y->touch();
  }
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  QrcFloatExpI* getDerivative(QrcFloatExpI* var) override;
};

class QrcFloatSubI : public QrcFloatBinaryExpI {
  QRCLIBRARYCLASS(QrcFloatSubI)
 public:
  QrcFloatSubI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true)
      : QrcFloatBinaryExpI(x, y, attach) {}
  QRCFLOATNODE(QrcFloatSubI, "QrcFloatSub")
  bool hasQuietOperands() override { return quietOperands(); }
  void touchOperands() override {
    _x->touch();
    _y->touch();
  }
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  QrcFloatExpI* getDerivative(QrcFloatExpI* var) override;
};

class QrcFloatOppI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatOppI)
 public:
  QrcFloatOppI(QrcFloat, QrcFloatExpI* x, bool attach = true) : QrcFloatUnaryExpI(0.0, x, attach) {}
  QRCFLOATNODE(QrcFloatOppI, "QrcFloatOpp")
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  bool scanSides(QrcFloatSideScan& scan, int side) override { return scan.visit(_x, -side); }
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
};

class QrcFloatCstAddI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatCstAddI)
 public:
  QrcFloatCstAddI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(c, x, attach) {}
  QRCFLOATNODE(QrcFloatCstAddI, "QrcFloatCstAdd")
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  bool scanSides(QrcFloatSideScan& scan, int side) override { return scan.visit(_x, side); }
  QrcConstraintI* makeEventHandlerConstraint() override;
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  QrcFloatExpI* getDerivative(QrcFloatExpI* var) override;
  // Narrowings of x from the node and of the node from x.
  void narrowOperand();
  void narrowNode();
};

// Keeps an offset node that became a variable in step with its operand.
class QrcFloatCstAddCtI : public QrcExprEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcFloatCstAddCtI)
  QROSIMPLECLASS(QrcFloatCstAddCtI, QrcExprEventHandlerConstraintI)
 public:
  QrcFloatCstAddCtI(QrcFloatCstAddI* node, QrcFloatExpI* x)
      : QrcExprEventHandlerConstraintI(node->getManager()), _node(node), _x(x) {}
  void post() override;
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcFloatCstAddI* _node;
  QrcFloatExpI* _x;
};

class QrcFloatCstAddExpDemonII : public QrcDemonI {
  QRCLIBRARYCLASS(QrcFloatCstAddExpDemonII)
  QROSIMPLECLASS(QrcFloatCstAddExpDemonII, QrcDemonI)
 public:
  explicit QrcFloatCstAddExpDemonII(QrcFloatCstAddI* node)
      : QrcDemonI(node->getManager()), _node(node) {}
  void propagate() override { _node->narrowOperand(); }
  void display(std::ostream& os) const override;

 private:
  QrcFloatCstAddI* _node;
};

class QrcFloatCstAddVarDemonII : public QrcDemonI {
  QRCLIBRARYCLASS(QrcFloatCstAddVarDemonII)
  QROSIMPLECLASS(QrcFloatCstAddVarDemonII, QrcDemonI)
 public:
  explicit QrcFloatCstAddVarDemonII(QrcFloatCstAddI* node)
      : QrcDemonI(node->getManager()), _node(node) {}
  void propagate() override { _node->narrowNode(); }
  void display(std::ostream& os) const override;

 private:
  QrcFloatCstAddI* _node;
};

// ---------------------------------------------------------------- products and quotients by a
// constant

class QrcCstFloatMulI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcCstFloatMulI)
 public:
  QrcCstFloatMulI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(c, x, attach) {}
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  const char* getKindName() const override { return "QrcCstFloatMul"; }
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  QrcFloatExpI* getDerivative(QrcFloatExpI* var) override;
};

class QrcCstFloatMulPosI : public QrcCstFloatMulI {
  QRCLIBRARYCLASS(QrcCstFloatMulPosI)
 public:
  QrcCstFloatMulPosI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcCstFloatMulI(c, x, attach) {}
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void setOperandsRange(QrcFloat lo, QrcFloat hi) override;
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  bool scanSides(QrcFloatSideScan& scan, int side) override { return scan.visit(_x, side); }
  void accept(QrcFloatExpVisitorI* visitor) override {
    visitor->visitNode(this, "QrcCstFloatMulPos");
  }
};

class QrcCstFloatMulNegI : public QrcCstFloatMulI {
  QRCLIBRARYCLASS(QrcCstFloatMulNegI)
 public:
  QrcCstFloatMulNegI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcCstFloatMulI(c, x, attach) {}
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void setOperandsRange(QrcFloat lo, QrcFloat hi) override;
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  bool scanSides(QrcFloatSideScan& scan, int side) override { return scan.visit(_x, -side); }
  void accept(QrcFloatExpVisitorI* visitor) override {
    visitor->visitNode(this, "QrcCstFloatMulNeg");
  }
};

class QrcFloatCstDivI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatCstDivI)
 public:
  QrcFloatCstDivI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(c, x, attach) {}
  QRCFLOATNODE(QrcFloatCstDivI, "QrcFloatCstDiv")
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
};

// ---------------------------------------------------------------- products and quotients

class QrcFloatMulI : public QrcFloatBinaryExpI {
  QRCLIBRARYCLASS(QrcFloatMulI)
 public:
  QrcFloatMulI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true)
      : QrcFloatBinaryExpI(x, y, attach) {}
  QRCFLOATNODE(QrcFloatMulI, "QrcFloatMul")
  bool hasQuietOperands() override { return quietOperands(); }
  void touchOperands() override {
    _x->touch();
    _y->touch();
  }
  // Over positive factors each bound of a factor reads one side of the node.
  bool scanSides(QrcFloatSideScan& scan, int side) override {
    return scan.positive(this) && scan.positive(_x) && scan.positive(_y) && scan.visit(_x, side) &&
           scan.visit(_y, side);
  }
  QrcFloatExpI* getDerivative(QrcFloatExpI* var) override;
};

class QrcFloatDivI : public QrcFloatBinaryExpI {
  QRCLIBRARYCLASS(QrcFloatDivI)
 public:
  QrcFloatDivI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true)
      : QrcFloatBinaryExpI(x, y, attach) {}
  QRCFLOATNODE(QrcFloatDivI, "QrcFloatDiv")
  // The denominator is narrowed first; a zero one narrows the numerator only.
  bool hasQuietOperands() override {
    return !(_y->getMin() == 0 && _y->getMax() == 0) && quietOperands();
  }
  void touchOperands() override {
    _y->touch();
    _x->touch();
  }
  bool scanSides(QrcFloatSideScan& scan, int side) override {
    return scan.positive(this) && scan.positive(_x) && scan.positive(_y) && scan.visit(_y, -side) &&
           scan.visit(_x, side);
  }
};

// k / x.
class QrcCstFloatDivI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcCstFloatDivI)
 public:
  QrcCstFloatDivI(QrcFloat k, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(k, x, attach) {}
  QRCFLOATNODE(QrcCstFloatDivI, "QrcCstFloatDiv")
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
};

// ---------------------------------------------------------------- square, absolute value, minima
// and maxima

class QrcFloatSquareI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatSquareI)
 public:
  QrcFloatSquareI(QrcFloat, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(0.0, x, attach) {}
  QRCFLOATNODE(QrcFloatSquareI, "QrcFloatSquare")
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  bool scanSides(QrcFloatSideScan& scan, int side) override {
    return scan.positive(this) && scan.positive(_x) && scan.visit(_x, side);
  }
  QrcFloatExpI* getDerivative(QrcFloatExpI* var) override;
};

class QrcFloatAbsI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatAbsI)
 public:
  QrcFloatAbsI(QrcFloat, QrcFloatExpI* x, bool attach = true) : QrcFloatUnaryExpI(0.0, x, attach) {}
  QRCFLOATNODE(QrcFloatAbsI, "QrcFloatAbs")
};

class QrcFloatCstMaxI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatCstMaxI)
 public:
  QrcFloatCstMaxI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(c, x, attach) {}
  QRCFLOATNODE(QrcFloatCstMaxI, "QrcFloatCstMax")
};

class QrcFloatCstMinI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatCstMinI)
 public:
  QrcFloatCstMinI(QrcFloat c, QrcFloatExpI* x, bool attach = true)
      : QrcFloatUnaryExpI(c, x, attach) {}
  QRCFLOATNODE(QrcFloatCstMinI, "QrcFloatCstMin")
};

class QrcFloatMaxI : public QrcFloatBinaryExpI {
  QRCLIBRARYCLASS(QrcFloatMaxI)
 public:
  QrcFloatMaxI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true)
      : QrcFloatBinaryExpI(x, y, attach) {}
  QRCFLOATNODE(QrcFloatMaxI, "QrcFloatMax")
};

class QrcFloatMinI : public QrcFloatBinaryExpI {
  QRCLIBRARYCLASS(QrcFloatMinI)
 public:
  QrcFloatMinI(QrcFloatExpI* x, QrcFloatExpI* y, bool attach = true)
      : QrcFloatBinaryExpI(x, y, attach) {}
  QRCFLOATNODE(QrcFloatMinI, "QrcFloatMin")
};

// Maximum (or minimum) of n expressions held in an array that outlives the node.
class QrcArrayFloatExtremumI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcArrayFloatExtremumI)
 public:
  QrcArrayFloatExtremumI(QrcManagerI* manager, QrcInt n, QrcFloatExpI** elements, bool isMax);
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void setOperandsRange(QrcFloat lo, QrcFloat hi) override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenValueOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void whenDomainOnOperands(QrcDemonI* demon) override;
  void accept(QrcFloatExpVisitorI* visitor) override {
    visitor->visitNode(this, _isMax ? "QrcArrayFloatMax" : "QrcArrayFloatMin");
  }
  QrcInt getSize() const { return _n; }
  QrcFloatExpI* getElement(QrcInt i) const { return _elements[i]; }
  bool isMax() const { return _isMax != 0; }

 private:
  void narrowMax(QrcFloat lo, QrcFloat hi);
  void narrowMin(QrcFloat lo, QrcFloat hi);
  QrcInt _n;
  QrcFloatExpI** _elements;
  QrcInt _isMax;
};

class QrcArrayFloatMax : public QrcArrayFloatExtremumI {
  QRCLIBRARYCLASS(QrcArrayFloatMax)
 public:
  QrcArrayFloatMax(QrcManagerI* m, QrcInt n, QrcFloatExpI** e)
      : QrcArrayFloatExtremumI(m, n, e, true) {}
};

class QrcArrayFloatMin : public QrcArrayFloatExtremumI {
  QRCLIBRARYCLASS(QrcArrayFloatMin)
 public:
  QrcArrayFloatMin(QrcManagerI* m, QrcInt n, QrcFloatExpI** e)
      : QrcArrayFloatExtremumI(m, n, e, false) {}
};

// ---------------------------------------------------------------- sums of arrays

class QrcFloatArraySumI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcFloatArraySumI)
 public:
  QrcFloatArraySumI(QrcManagerI* manager, QrcInt n, QrcFloatExpI** terms);
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  void computeRange() override;
  void setOperandsRange(QrcFloat a, QrcFloat b) override;
  // Narrowed to its own finite bounds, the sum narrows no term.
  bool hasQuietOperands() override { return true; }
  void touchOperands() override {}
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void accept(QrcFloatExpVisitorI* visitor) override {
    visitor->visitNode(this, "QrcFloatArraySum");
  }
  QrcInt getSize() const { return _n; }
  QrcFloatExpI* getTerm(QrcInt i) const { return _terms[i]; }

 private:
  void narrowBuffered(QrcFloat a, QrcFloat b, QrcFloat dlo, QrcFloat dhi, bool lower, bool upper,
                      QrcInt* words);
  void narrowDirect(QrcFloat a, QrcFloat b, QrcFloat dlo, QrcFloat dhi, bool lower, bool upper);
  QrcFloat singleLower(QrcFloat a, QrcInt j) const;
  QrcFloat singleUpper(QrcFloat b, QrcInt k) const;
  QrcInt _minusInfinities;
  QrcInt _plusInfinities;
  QrcFloat _widest;
  QrcInt _n;
  QrcFloatExpI** _terms;
};

// Removes a demon from an expression's lists, down to the variables.
void QrcFloatRemoveDemon(QrcFloatExpI* exp, QrcDemonI* demon);

#endif
