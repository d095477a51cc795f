// Models (ordered lists of extractables) and objectives, with the numeric
// constraints that comparisons of expressions make: equalities and ranges.
#ifndef QRO_MODEL_H
#define QRO_MODEL_H

#include <iosfwd>

#include "qrooperators.h"
#include "qropointertable.h"

class QroRecycleBinI;

class QroModelEvaluatorI;

// ---------------------------------------------------------------------------
// Constraints

class QroConstraint : public QroExtractable {
 public:
  QroConstraint(QroConstraintI* impl = nullptr) : QroExtractable(impl) {}
  QroConstraintI* getImpl() const { return static_cast<QroConstraintI*>(_impl); }
};

// Base of the constraints over a left and a right operand.
class QroBinaryNumConstraintI : public QroConstraintI {
  QROSIMPLECLASS(QroBinaryNumConstraintI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  // Variables are used directly; other operands in their linear-term form.
  QroBinaryNumConstraintI(QroEnvI* env, QroNumExprI* left, QroNumExprI* right,
                          const char* name = nullptr);
  ~QroBinaryNumConstraintI() override;
  QroNumExprI* getLeft() const { return _left; }
  QroNumExprI* getRight() const { return _right; }
  QroInt getOwnership() const { return _owned; }
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }

 protected:
  QroNumExprI* _left;
  QroNumExprI* _right;
  QroInt _owned;
};

class QroNumEqI : public QroBinaryNumConstraintI {
  QROSIMPLECLASS(QroNumEqI, QroBinaryNumConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  QroNumEqI(QroEnvI* env, QroNumExprI* left, QroNumExprI* right, const char* name = nullptr)
      : QroBinaryNumConstraintI(env, left, right, name) {}
  ~QroNumEqI() override;
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  QroNum eval(QroAlgorithmI* algorithm) const override;
  // The operand's value under the evaluator; -infinity when it cannot be had.
  QroNum evalLeft(QroModelEvaluatorI* evaluator) const;
  QroNum evalRight(QroModelEvaluatorI* evaluator) const;
};

class QroRangeI : public QroConstraintI {
  QROSIMPLECLASS(QroRangeI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  // Stores lower - c <= e <= upper - c for the constant c of e. The constant
  // moves out of a copy of a numeric term e, or out of e itself when sole
  // says that no handle points at it and nothing holds it.
  QroRangeI(QroEnvI* env, QroNum lower, QroNumExprI* expr, QroNum upper, const char* name = nullptr,
            QroBool sole = 0);
  ~QroRangeI() override;
  QroNumExprI* getExpr() const { return _expr; }
  QroNum getLB() const { return _lb; }
  QroNum getUB() const { return _ub; }
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }
  QroNum eval(QroAlgorithmI* algorithm) const override;

 private:
  QroNumExprI* _expr;
  QroNum _lb;
  QroNum _ub;
};

class QroRange : public QroConstraint {
 public:
  QroRange(QroRangeI* impl = nullptr) : QroConstraint(impl) {}
  QroRange(const QroEnv& env, QroNum lower, QroNumExprArg expr, QroNum upper,
           const char* name = nullptr);
  QroRangeI* getImpl() const { return static_cast<QroRangeI*>(_impl); }
};

// -infinity <= e <= c.
QroConstraint operator<=(QroNumExprArg e, QroNum c);
// A range when one side is a constant term, else an equality.
QroConstraint operator==(QroNumExprArg left, QroNumExprArg right);

// ---------------------------------------------------------------------------
// Models

class QroModelI : public QroExtractableI {
  QROSIMPLECLASS(QroModelI, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  struct Link {
    Link* next;  // first: a pointer to the last next field is the last link
    QroExtractableI* member;
    Link* prev;
    Link* nextSame;  // the next link of the same member
    QroBool held;    // the member is an expression this link counts
  };

  QroModelI(QroEnvI* env, const char* name = nullptr);
  ~QroModelI() override;
  // Appends the member (no change is sent). The model holds each expression
  // it lists (a use count per link) until it unlinks it or ends: no other
  // holder's release ends it, and no operator changes it in place. Letting
  // go never ends it either.
  void append(QroExtractableI* x);
  // Appends and sends QroAddOneToModel to the users of the model.
  void add(QroExtractableI* x);
  Link* getFirstLink() const { return _head; }
  QroInt getSize() const;

  QroExtractableI* makeClone(QroEnvI* env) const override;
  // Unlinks the members marked by the running cascade: those marked since
  // the last call, found through the links of each member. Every link is
  // walked instead (those of members with identifier -1 go too) without a
  // cascade, in the reference collection, and once the links changed under
  // a local environment, whose undoing the member table would not follow.
  void endIfUsesMarked() override;
  QroBool outlivesUses() const override { return 1; }
  // The same search, without unlinking.
  QroBool usesMarked() override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }
  void display(std::ostream& os) const override;
  QroBool isModel() const override { return 1; }

 private:
  void save(void* cell);
  // Lowers the count of a held member unlinked, without ending it.
  void letGo(Link* l);
  QroEnvI* linkEnv() const { return _linkEnv ? _linkEnv : _env; }
  bool walksLinks(QroRecycleBinI* cascade) const;
  void unlinkMarked();
  void unlinkMarkedSince(QroRecycleBinI* cascade);
  void startCascade(QroRecycleBinI* cascade);
  void indexMembers();
  void dropMemberIndex();
  QroEnvI* _linkEnv;
  Link* _head;
  Link** _tail;
  // Member -> its latest link, made at the first cascade that asks the
  // model; the cascade, the marked objects unlinked and those looked up.
  QroPointerTable _links;
  QroBool _linksMade;
  QroInt _cascade;
  QroInt _seen;
  QroInt _checked;
  QroBool _walkOnly;
};

class QroModel : public QroExtractable {
 public:
  class Iterator {
   public:
    explicit Iterator(QroModelI* model) : _link(model ? model->getFirstLink() : nullptr) {}
    bool ok() const { return _link != nullptr; }
    void operator++() { _link = _link->next; }
    QroExtractableI* operator*() const { return _link->member; }

   private:
    QroModelI::Link* _link;
  };

  QroModel(QroModelI* impl = nullptr) : QroExtractable(impl) {}
  explicit QroModel(const QroEnv& env, const char* name = nullptr);
  QroModelI* getImpl() const { return static_cast<QroModelI*>(_impl); }
  QroExtractable add(const QroExtractable& x) const;
};

// ---------------------------------------------------------------------------
// Objectives

class QroNotAllowedWithMultiCriterionException : public QroException {
 public:
  explicit QroNotAllowedWithMultiCriterionException(const char* message) : QroException(message) {}
  ~QroNotAllowedWithMultiCriterionException() override;
  void print(std::ostream& os) const override;
};

class QroObjectiveI : public QroExtractableI {
  QROSIMPLECLASS(QroObjectiveI, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  enum Sense { Minimize = 1, Maximize = -1 };
  QroObjectiveI(QroEnvI* env, QroNumExprI* expr, int sense, const char* name = nullptr);
  ~QroObjectiveI() override;
  int getSense() const { return _sense; }
  // QroNotAllowedWithMultiCriterionException for a multi-criterion objective.
  QroNumExprI* getExpr() const;
  // The variable of a one-variable linear expression, else null.
  QroNumVarI* getSingleVariable() const;

  QroExtractableI* makeClone(QroEnvI* env) const override;
  void addToAlgorithm(QroAlgorithmI* algorithm, void* argument) override {
    callAddToAlgorithm(algorithm, argument);
  }
  void removeFromAlgorithm(QroAlgorithmI* algorithm, void* argument) override {
    callRemoveFromAlgorithm(algorithm, argument);
  }
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }
  void display(std::ostream& os) const override;

 private:
  int _sense;
  QroNumExprI* _expr;
  void* _multi;  // multi-criterion object: not built in this system
};

class QroObjective : public QroExtractable {
 public:
  QroObjective(QroObjectiveI* impl = nullptr) : QroExtractable(impl) {}
  QroObjective(const QroEnv& env, const QroNumExprArg& expr, int sense = QroObjectiveI::Minimize,
               const char* name = nullptr);
  QroObjectiveI* getImpl() const { return static_cast<QroObjectiveI*>(_impl); }
  QroNumExpr getExpr() const;
  QroNumVar getSingleVariable() const;
};

#endif
