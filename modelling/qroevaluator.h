// Two algorithms the environment makes on demand: the expander and the model
// evaluator, which values expressions over variables that are already fixed.
#ifndef QRO_EVALUATOR_H
#define QRO_EVALUATOR_H

#include "qroalgorithm.h"

class QroExpanderI : public QroAlgorithmI {
 public:
  explicit QroExpanderI(QroEnvI* env) : QroAlgorithmI(env) {}
  ~QroExpanderI() override;
  QroBool extractOne(QroExtractableI*, void**) override { return 1; }
  QroBool removeOne(QroExtractableI*, void*) override { return 1; }
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override { return 1; }
  QroNum getObjValue() override;
  QroNum getValue(QroObjectiveI* objective) override;
  QroNum getValue(QroNumVarI* v) override;
  using QroAlgorithmI::getValue;
  virtual void expand(void* argument, QroExtractableI* x);
  virtual void substitute(void* argument, QroExtractableI* x);
};

class QroModelEvaluatorI : public QroAlgorithmI {
 public:
  // The owner (or null) gets this evaluator as its model evaluator.
  QroModelEvaluatorI(QroEnvI* env, QroAlgorithmI* owner = nullptr);
  ~QroModelEvaluatorI() override;
  QroBool extractOne(QroExtractableI*, void**) override { return 1; }
  QroBool removeOne(QroExtractableI*, void*) override { return 1; }
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override { return 1; }
  QroNum getObjValue() override;
  QroNum getValue(QroObjectiveI* objective) override;
  // The bound of a fixed variable; QroWrongUsage "Unbound variable" otherwise.
  QroNum getValue(QroNumVarI* v) override;
  using QroAlgorithmI::getValue;
  QroModelEvaluatorI* asModelEvaluator() override { return this; }

  // The value of an expression from the fixed variables.
  QroNum evaluate(QroNumExprI* e);
  QroInt evaluateInt(QroNumExprI* e);
  QroBool hasDecisionVar(QroExtractableI* x) const { return x->hasDecisionVar(); }

  QroAlgorithmI* getOwner() const { return _owner; }
  void setOwner(QroAlgorithmI* owner) { _owner = owner; }

 private:
  QroAlgorithmI* _owner;
  QroAllocationStack* _stack1;
  QroAllocationStack* _stack2;
  QroStackGenAlloc* _stackAlloc;
};

// Factories installed in every environment.
QroAlgorithmI* QroMakeExpander(QroEnvI* env);
QroAlgorithmI* QroMakeModelEvaluator(QroEnvI* env);

#endif
