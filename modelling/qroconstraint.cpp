#include <cmath>
#include <limits>
#include <ostream>

#include "qroalgorithm.h"
#include "qroevaluator.h"
#include "qromodel.h"

namespace {
const QroNum kInf = std::numeric_limits<double>::infinity();

QroNumExprI* linearForm(QroNumExprI* e) {
  return e->makeNumLinTerm();
}

// The linear form of e for a constraint that may change it: an integer term
// taken over when it is sole, e itself when it is a numeric term.
QroNumExprI* linearForm(QroNumExprI* e, QroBool sole) {
  if (sole && e->getTypeInfo() == QroIntLinTermI::GetTypeInfo())
    return static_cast<QroIntLinTermI*>(e)->takeNumLinTerm();
  return e->makeNumLinTerm();
}

// Whether a handle is the only way to its expression and nothing holds it.
QroBool isSole(const QroNumExprArg& e) {
  return e.isSole() && !e.getImpl()->isHeld();
}

const char* const kEqMixing = "QroNumEq: mixing mismatch environments";
const char* const kRangeMixing = "QroRange: mixing mismatch environments";
}  // namespace

// ---------------------------------------------------------------------------
// Binary constraints and equalities

QroBinaryNumConstraintI::QroBinaryNumConstraintI(QroEnvI* env, QroNumExprI* left,
                                                 QroNumExprI* right, const char* name)
    : QroConstraintI(QroSameEnv(QroSameEnv(env, left, kEqMixing), right, kEqMixing), name),
      _left(left),
      _right(right),
      _owned(0) {
  if (!_left->isNumVar()) {
    _left = linearForm(_left);
    _owned |= 1;
  }
  _left->incrUseCount();
  if (!_right->isNumVar()) {
    _right = linearForm(_right);
    _owned |= 2;
  }
  _right->incrUseCount();
}

QroBinaryNumConstraintI::~QroBinaryNumConstraintI() {
  if (_owned & 1) _env->releaseExpression(_left);
  if (_owned & 2) _env->releaseExpression(_right);
}

QroExtractableI* QroBinaryNumConstraintI::makeClone(QroEnvI*) const {
  throw QroNotImplemented("This code should never be called");
}

void QroBinaryNumConstraintI::display(std::ostream&) const {
  throw QroNotImplemented("This code should never be called");
}

void QroBinaryNumConstraintI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  v->visitChild(this, _left);
  if (!v->isDone()) v->visitChild(this, _right);
  v->endVisit(this);
}

QroNumEqI::~QroNumEqI() {}

QroExtractableI* QroNumEqI::makeClone(QroEnvI* env) const {
  QroNumExprI* r = static_cast<QroNumExprI*>(env->getClone(_right));
  QroNumExprI* l = static_cast<QroNumExprI*>(env->getClone(_left));
  return new (env) QroNumEqI(env, l, r);
}

void QroNumEqI::display(std::ostream& os) const {
  if (_env->isParenthesisDisplay()) os << "(";
  _left->display(os);
  os << " == ";
  _right->display(os);
  if (_env->isParenthesisDisplay()) os << ")";
}

QroNum QroNumEqI::evalLeft(QroModelEvaluatorI* evaluator) const {
  try {
    return evaluator->evaluate(_left);
  } catch (const QroException&) {
    return -kInf;
  }
}

QroNum QroNumEqI::evalRight(QroModelEvaluatorI* evaluator) const {
  try {
    return evaluator->evaluate(_right);
  } catch (const QroException&) {
    return -kInf;
  }
}

QroNum QroNumEqI::eval(QroAlgorithmI* algorithm) const {
  if (QroModelEvaluatorI* ev = algorithm->asModelEvaluator())
    return ev->evaluate(_left) == ev->evaluate(_right) ? 1.0 : 0.0;
  return QroConstraintI::eval(algorithm);
}

// ---------------------------------------------------------------------------
// Ranges

QroRangeI::QroRangeI(QroEnvI* env, QroNum lower, QroNumExprI* expr, QroNum upper, const char* name,
                     QroBool sole)
    : QroConstraintI(QroSameEnv(env, expr, kRangeMixing), name),
      _expr(nullptr),
      _lb(lower),
      _ub(upper) {
  _expr = linearForm(expr, sole);
  _expr->incrUseCount();
  if (_lb == -kInf && _ub == kInf) return;
  QroNum c = _expr->getConstant();
  if (c == 0.0 || std::isinf(c)) return;
  // The constant moves into the bounds only when neither bound rounds: a
  // rounded bound could exclude the exact value.
  QroNum lb = _lb, ub = _ub;
  if (_lb != -kInf && !QroExactSum(_lb, -c, lb)) return;
  if (_ub != kInf && !QroExactSum(_ub, -c, ub)) return;
  // The caller's term (unless sole) and a shared term are copied before the
  // constant moves into the bounds: a handle may still point at them.
  _expr->decrUseCount();
  if ((_expr == expr && !sole) || _expr->isHeld()) _expr = _expr->asNumExpr();
  _expr->incrUseCount();
  static_cast<QroNumLinTermI*>(_expr)->setConstant(0.0);
  _lb = lb;
  _ub = ub;
}

QroRangeI::~QroRangeI() {
  _env->releaseExpression(_expr);
}

QroExtractableI* QroRangeI::makeClone(QroEnvI* env) const {
  return new (env) QroRangeI(env, _lb, static_cast<QroNumExprI*>(env->getClone(_expr)), _ub);
}

void QroRangeI::display(std::ostream& os) const {
  bool paren = _env->isParenthesisDisplay();
  if (getName()) os << getName() << ": ";
  if (paren) os << "( ";
  if (_lb != _ub && _lb > -kInf) os << _lb << " <= ";
  _expr->display(os);
  if (_lb == _ub)
    os << " == " << _ub;
  else if (_ub < kInf)
    os << " <= " << _ub;
  os << (paren ? ") " : " ");
}

void QroRangeI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  v->visitChild(this, _expr);
  v->endVisit(this);
}

QroNum QroRangeI::eval(QroAlgorithmI* algorithm) const {
  if (QroModelEvaluatorI* ev = algorithm->asModelEvaluator()) {
    QroNum v = ev->evaluate(_expr);
    return (_lb <= v && v <= _ub) ? 1.0 : 0.0;
  }
  return QroConstraintI::eval(algorithm);
}

QroRange::QroRange(const QroEnv& env, QroNum lower, QroNumExprArg expr, QroNum upper,
                   const char* name)
    : QroConstraint(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) QroAbortEmptyHandle("Using empty QroEnv handle");
  if (!expr.getImpl()) QroAbortEmptyHandle("Using empty QroNumExpr handle");
  _impl = new (e) QroRangeI(e, lower, expr.getImpl(), upper, name, isSole(expr));
}

// ---------------------------------------------------------------------------
// Comparison operators

QroConstraint operator<=(QroNumExprArg e, QroNum c) {
  QroNumExprI* x = e.getImpl();
  if (!x) throw QroWrongUsage("Using empty handle");
  QroEnvI* env = x->getEnv();
  return QroConstraint(new (env) QroRangeI(env, -kInf, x, c, nullptr, isSole(e)));
}

namespace {
bool isConstantTerm(QroNumExprI* e, bool integer) {
  if (integer) {
    if (!e->isType(QroIntLinTermI::GetTypeInfo())) return false;
    return static_cast<QroIntLinTermI*>(e)->isConstantTerm();
  }
  if (!e->isType(QroNumLinTermI::GetTypeInfo())) return false;
  return static_cast<QroNumLinTermI*>(e)->isConstantTerm();
}

QroConstraint constantRange(QroNumExprI* constant, const QroNumExprArg& other) {
  QroNum c = constant->getConstant();
  QroEnvI* env = other.getImpl()->getEnv();
  return QroConstraint(new (env) QroRangeI(env, c, other.getImpl(), c, nullptr, isSole(other)));
}
}  // namespace

QroConstraint operator==(QroNumExprArg left, QroNumExprArg right) {
  QroNumExprI* l = left.getImpl();
  QroNumExprI* r = right.getImpl();
  if (!l || !r) throw QroWrongUsage("Using empty handle");
  if (l->getEnv() != r->getEnv()) throw QroWrongUsage("mixing mismatch Environments");
  if (isConstantTerm(l, true)) return constantRange(l, right);
  if (isConstantTerm(r, true)) return constantRange(r, left);
  if (isConstantTerm(l, false)) return constantRange(l, right);
  if (isConstantTerm(r, false)) return constantRange(r, left);
  QroEnvI* env = l->getEnv();
  return QroConstraint(new (env) QroNumEqI(env, l, r));
}
