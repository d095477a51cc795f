#include "qroevaluator.h"

#include "qrolinear.h"
#include "qromodel.h"
#include "qronumeric.h"

QroAlgorithmI* QroMakeExpander(QroEnvI* env) {
  return new (env) QroExpanderI(env);
}

QroAlgorithmI* QroMakeModelEvaluator(QroEnvI* env) {
  return new (env) QroModelEvaluatorI(env);
}

// ---------------------------------------------------------------------------
// Expander

void QroExtractableI::expand(void* argument) {
  QroAlgorithmI* expander = _env->getExpander();
  if (!expander) throw QroNotImplemented();
  static_cast<QroExpanderI*>(expander)->expand(argument, this);
}

QroExpanderI::~QroExpanderI() {}

QroNum QroExpanderI::getObjValue() {
  throw QroWrongUsage("can not call expander");
}
QroNum QroExpanderI::getValue(QroObjectiveI*) {
  throw QroWrongUsage("can not call expander");
}
QroNum QroExpanderI::getValue(QroNumVarI*) {
  throw QroWrongUsage("can not call expander");
}
void QroExpanderI::expand(void*, QroExtractableI*) {
  throw QroWrongUsage("can not call expand");
}
void QroExpanderI::substitute(void*, QroExtractableI*) {
  throw QroWrongUsage("can not call substitute");
}

// ---------------------------------------------------------------------------
// Model evaluator

QroModelEvaluatorI::QroModelEvaluatorI(QroEnvI* env, QroAlgorithmI* owner)
    : QroAlgorithmI(env), _owner(owner), _stack1(nullptr), _stack2(nullptr), _stackAlloc(nullptr) {
  _evaluator = this;
  _stack1 = new QroAllocationStack();
  _stack2 = new QroAllocationStack();
  _stackAlloc = new QroStackGenAlloc(_stack2, env->getSymbolTable());
  if (_owner) _owner->setModelEvaluator(this);
}

QroModelEvaluatorI::~QroModelEvaluatorI() {
  _evaluator = nullptr;
  if (_owner) _owner->setModelEvaluator(nullptr);
  delete _stackAlloc;
  delete _stack1;
  delete _stack2;
}

QroNum QroModelEvaluatorI::getObjValue() {
  throw QroWrongUsage("can not call evaluator");
}
QroNum QroModelEvaluatorI::getValue(QroObjectiveI*) {
  throw QroWrongUsage("can not call evaluator");
}

QroNum QroModelEvaluatorI::getValue(QroNumVarI* v) {
  if (v->getLB() != v->getUB()) throw QroWrongUsage("Unbound variable");
  return v->getLB();
}

namespace {
[[noreturn]] void cannotEvaluate() {
  throw QroWrongUsage("can not call QroModelEvaluatorI::evaluate");
}
[[noreturn]] void cannotCall() {
  throw QroWrongUsage("can not call evaluator");
}

bool fixed(const QroNumVarI* v) {
  return v->getLB() == v->getUB();
}
}  // namespace

QroNum QroModelEvaluatorI::evaluate(QroNumExprI* e) {
  if (e->isNumVar()) {
    QroNumVarI* v = static_cast<QroNumVarI*>(e);
    // A fixed floating-point variable is its bound; others are integers.
    if (v->getType() == QroNumVar::Float) {
      if (!fixed(v)) cannotEvaluate();
      return v->getLB();
    }
    return static_cast<QroNum>(evaluateInt(e));
  }
  if (e->isType(QroIntExprI::GetTypeInfo())) return static_cast<QroNum>(evaluateInt(e));
  if (e->getTypeInfo() == QroNumLinTermI::GetTypeInfo()) {
    QroNumLinTermI* t = static_cast<QroNumLinTermI*>(e);
    if (t->getFirstExpr()) cannotEvaluate();
    QroNum sum = 0;
    for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
      if (n->coef == 0.0) continue;  // contributes nothing, fixed or not
      if (!fixed(n->var)) cannotCall();
      sum += n->coef * n->var->getLB();
    }
    return sum + t->getConstantValue();
  }
  if (e->getTypeInfo() == QroNumMinI::GetTypeInfo() ||
      e->getTypeInfo() == QroNumMaxI::GetTypeInfo())
    cannotEvaluate();  // no operand layout of these classes exists here
  cannotEvaluate();
}

QroInt QroModelEvaluatorI::evaluateInt(QroNumExprI* e) {
  if (e->isNumVar()) {
    QroNumVarI* v = static_cast<QroNumVarI*>(e);
    if (!fixed(v)) cannotEvaluate();
    QroNum lb = v->getLB();
    if (!QroIsWithinInt53(lb)) cannotEvaluate();
    return static_cast<QroInt>(lb);
  }
  if (e->getTypeInfo() == QroIntLinTermI::GetTypeInfo()) {
    QroIntLinTermI* t = static_cast<QroIntLinTermI*>(e);
    if (t->getFirstExpr()) cannotEvaluate();
    QroInt sum = t->getConstantValue();
    for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
      if (n->coef == 0.0) continue;
      if (!fixed(n->var)) cannotCall();
      QroNum p = n->var->getLB() * n->coef;
      if (!QroIsWithinInt53(p)) cannotEvaluate();
      sum += static_cast<QroInt>(p);
    }
    return sum;
  }
  cannotEvaluate();
}
