// Numeric and integer expressions: the use-counted expression base, the
// constraint base and the arithmetic nodes that the operators build.
#ifndef QRO_EXPR_H
#define QRO_EXPR_H

#include <iosfwd>

#include "qroextractable.h"

class QroAlgorithmI;
class QroNumLinTermI;
class QroIntLinTermI;
class QroNumVarI;

class QroNumExprI : public QroExtractableI {
  QROSIMPLECLASS(QroNumExprI, QroExtractableI)
  // Refuses subclasses that have no record of their own.
  QROEXTRACTABLEHOOKS()

 public:
  QroNumExprI(QroEnvI* env, const char* name = nullptr)
      : QroExtractableI(env, name), _useCount(0) {}
  ~QroNumExprI() override;

  // The expression in a form its caller may change (terms return a copy).
  virtual QroNumExprI* asNumExpr() { return this; }
  // Release unless the environment is ending all its objects. The caller
  // asked the users already when the release destroys the expression at
  // once (QroEnvI::releaseExpression).
  virtual void releaseUnlessEnding();
  // A numeric linear term equal to this expression.
  virtual QroNumLinTermI* makeNumLinTerm();
  virtual QroBool isIntExpr() const { return 0; }
  virtual QroNum eval(QroAlgorithmI* algorithm) const = 0;
  virtual QroNum getConstant() const { return 0.0; }

  QroBool isNumExprNode() const override { return 1; }
  QroBool isExprOrConstraint() const override { return 1; }
  // Use-counted: the expression is ended when nobody holds it any more.
  void release() override;
  // Throws, as release would before the count falls, when a release now
  // would destroy the expression at once and its users refuse that.
  void checkRelease();
  // The release once checkRelease passed: the users are not asked again.
  void releaseAllowed();
  void resetUseCount() override { _useCount = 0; }
  QroInt getUseCount() const override { return _useCount; }
  void visitSubExtractables(QroExtractableVisitor* v) override = 0;

  // Whether something holds the expression: a parent or a model that lists
  // it (both counted), or an algorithm that extracted it. No operator
  // changes a held expression in place.
  QroBool isHeld() const;
  // A parent that stores the expression raises its count.
  void incrUseCount() { ++_useCount; }
  // Lowers the count without ending the expression.
  void decrUseCount() { --_useCount; }

 protected:
  QroInt _useCount;
};

class QroIntExprI : public QroNumExprI {
  QROSIMPLECLASS(QroIntExprI, QroNumExprI)
  // Refuses subclasses that have no record of their own.
  QROEXTRACTABLEHOOKS()

 public:
  QroIntExprI(QroEnvI* env, const char* name = nullptr) : QroNumExprI(env, name) {}
  ~QroIntExprI() override;
  QroNumExprI* asNumExpr() override { return asIntExpr(); }
  QroBool isIntExpr() const override { return 1; }
  virtual QroIntExprI* asIntExpr() { return this; }
  // An integer linear term equal to this expression.
  virtual QroIntLinTermI* makeIntLinTerm();
};

// Base of the modelling constraints (a 0-1 integer expression).
class QroConstraintI : public QroIntExprI {
  QROSIMPLECLASS(QroConstraintI, QroIntExprI)
  // Refuses subclasses that have no record of their own.
  QROEXTRACTABLEHOOKS()

 public:
  QroConstraintI(QroEnvI* env, const char* name = nullptr) : QroIntExprI(env, name) {}
  ~QroConstraintI() override;
  virtual QroConstraintI* asConstraint() { return this; }

  void addToAlgorithm(QroAlgorithmI* algorithm, void* argument) override {
    callAddToAlgorithm(algorithm, argument);
  }
  void removeFromAlgorithm(QroAlgorithmI* algorithm, void* argument) override {
    callRemoveFromAlgorithm(algorithm, argument);
  }
  QroBool isNumExprNode() const override { return 0; }
  QroBool isConstraint() const override { return 1; }
  // A constraint is ended when released (no use count).
  void release() override { QroExtractableI::release(); }
  void releaseUnlessEnding() override {}
  QroBool isIntExpr() const override { return 1; }
  QroNum eval(QroAlgorithmI* algorithm) const override;
};

// Handles and exceptions of integer expressions.
class QroIntExpr {
 public:
  class QroOverflowOccurred : public QroException {
   public:
    QroOverflowOccurred() : QroException("overflow occurred in multiplication") {}
    explicit QroOverflowOccurred(const char* message) : QroException(message) {}
    ~QroOverflowOccurred() override;
  };
};

// ---------------------------------------------------------------------------
// Arithmetic nodes

// Base of the nodes with one operand and a constant.
class QroNumUnaryNodeI : public QroNumExprI {
 public:
  QroNumUnaryNodeI(QroEnvI* env, QroNumExprI* e);
  ~QroNumUnaryNodeI() override;
  QroNumExprI* getOperand() const { return _e; }
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }

 protected:
  QroNumExprI* _e;
};

class QroNumBinaryNodeI : public QroNumExprI {
 public:
  QroNumBinaryNodeI(QroEnvI* env, QroNumExprI* a, QroNumExprI* b);
  ~QroNumBinaryNodeI() override;
  QroNumExprI* getLeft() const { return _a; }
  QroNumExprI* getRight() const { return _b; }
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }

 protected:
  QroNumExprI* _a;
  QroNumExprI* _b;
};

#define QRO_NODE_COMMON()                                  \
  QROEXTRACTABLEHOOKS()                                    \
 public:                                                   \
  QroExtractableI* makeClone(QroEnvI* env) const override; \
  void display(std::ostream& os) const override;           \
  QroBool isIntExpr() const override;                      \
  QroNum eval(QroAlgorithmI* algorithm) const override;

class QroNumTimesCstI : public QroNumUnaryNodeI {
  QROSIMPLECLASS(QroNumTimesCstI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumTimesCstI(QroEnvI* env, QroNumExprI* e, QroNum c) : QroNumUnaryNodeI(env, e), _c(c) {}
  ~QroNumTimesCstI() override;
  QroNum getConstantFactor() const { return _c; }

 private:
  QroNum _c;
};

class QroNumTimesI : public QroNumBinaryNodeI {
  QROSIMPLECLASS(QroNumTimesI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumTimesI(QroEnvI* env, QroNumExprI* a, QroNumExprI* b) : QroNumBinaryNodeI(env, a, b) {}
  ~QroNumTimesI() override;
};

class QroNumDivI : public QroNumBinaryNodeI {
  QROSIMPLECLASS(QroNumDivI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumDivI(QroEnvI* env, QroNumExprI* a, QroNumExprI* b) : QroNumBinaryNodeI(env, a, b) {}
  ~QroNumDivI() override;
};

class QroNumDivCstI : public QroNumUnaryNodeI {
  QROSIMPLECLASS(QroNumDivCstI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumDivCstI(QroEnvI* env, QroNumExprI* e, QroNum c) : QroNumUnaryNodeI(env, e), _c(c) {}
  ~QroNumDivCstI() override;
  QroNum getDivisor() const { return _c; }

 private:
  QroNum _c;
};

class QroNumRecDivCstI : public QroNumUnaryNodeI {
  QROSIMPLECLASS(QroNumRecDivCstI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumRecDivCstI(QroEnvI* env, QroNumExprI* e, QroNum c) : QroNumUnaryNodeI(env, e), _c(c) {}
  ~QroNumRecDivCstI() override;
  QroNum getDividend() const { return _c; }

 private:
  QroNum _c;
};

class QroIntTimesCstI : public QroIntExprI {
  QROSIMPLECLASS(QroIntTimesCstI, QroIntExprI)
  QRO_NODE_COMMON()
 public:
  QroIntTimesCstI(QroEnvI* env, QroNumExprI* e, QroInt c);
  ~QroIntTimesCstI() override;
  QroNumExprI* getOperand() const { return _e; }
  QroInt getConstantFactor() const { return _c; }
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }

 private:
  QroNumExprI* _e;
  QroInt _c;
};

class QroNumSquareI : public QroNumUnaryNodeI {
  QROSIMPLECLASS(QroNumSquareI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumSquareI(QroEnvI* env, QroNumExprI* e) : QroNumUnaryNodeI(env, e) {}
  ~QroNumSquareI() override;
};

class QroNumPowerCstI : public QroNumUnaryNodeI {
  QROSIMPLECLASS(QroNumPowerCstI, QroNumExprI)
  QRO_NODE_COMMON()
 public:
  QroNumPowerCstI(QroEnvI* env, QroNumExprI* e, QroNum c) : QroNumUnaryNodeI(env, e), _c(c) {}
  ~QroNumPowerCstI() override;
  QroNum getExponent() const { return _c; }

 private:
  QroNum _c;
};

// Classes known here only by their type records.
class QroNumMinI : public QroNumExprI {
  QROSIMPLECLASS(QroNumMinI, QroNumExprI)
};
class QroNumMaxI : public QroNumExprI {
  QROSIMPLECLASS(QroNumMaxI, QroNumExprI)
};
class QroNumArrayElementI : public QroNumExprI {
  QROSIMPLECLASS(QroNumArrayElementI, QroNumExprI)
};
class QroIntMinI : public QroIntExprI {
  QROSIMPLECLASS(QroIntMinI, QroIntExprI)
};
class QroIntMaxI : public QroIntExprI {
  QROSIMPLECLASS(QroIntMaxI, QroIntExprI)
};
class QroIntArrayElementI : public QroIntExprI {
  QROSIMPLECLASS(QroIntArrayElementI, QroIntExprI)
};
class QroIntQuadExprI : public QroIntExprI {
  QROSIMPLECLASS(QroIntQuadExprI, QroIntExprI)
};

// ---------------------------------------------------------------------------
// Helpers

// True for finite integral values within plus or minus (2^53 - 1).
QroBool QroIsIntegerValue(QroNum x);
// a * b as an integer; QroIntExpr::QroOverflowOccurred beyond plus or minus (2^53 - 1).
QroInt QroGuardedProduct(QroNum a, QroNum b);
// a + b, a * b and a / b rounded to nearest into r; true when r is the exact
// result (finite, nothing rounded away). Folding uses them to keep a rounded
// constant out of a float model.
QroBool QroExactSum(QroNum a, QroNum b, QroNum& r);
QroBool QroExactProduct(QroNum a, QroNum b, QroNum& r);
QroBool QroExactQuotient(QroNum a, QroNum b, QroNum& r);
QroNum QroMin(const QroNumArray& a);
QroNum QroMax(const QroNumArray& a);
QroInt QroMin(const QroIntArray& a);
QroInt QroMax(const QroIntArray& a);

// Arrays of expressions held by constraints.
void QroIncrementUseCounts(const QroExtractableArray& a);
void QroReleaseElements(const QroExtractableArray& a);
// A new array of the elements' clones (into env, or each into its own environment).
QroExtractableArray QroMakeCloneArray(const QroExtractableArray& a, QroEnvI* env);

#endif
