#include "qrooperators.h"

#include <ostream>

namespace {

QroNumExprI* impl(const QroNumExprArg& e) {
  if (!e.getImpl()) throw QroEmptyHandleException();
  return e.getImpl();
}

bool isVar(const QroNumExprI* e) {
  return e->isType(QroNumVarI::GetTypeInfo());
}
bool isExactVar(const QroNumExprI* e) {
  return e->getTypeInfo() == QroNumVarI::GetTypeInfo();
}
bool isNumTerm(const QroNumExprI* e) {
  return e->getTypeInfo() == QroNumLinTermI::GetTypeInfo();
}
bool isIntTerm(const QroNumExprI* e) {
  return e->getTypeInfo() == QroIntLinTermI::GetTypeInfo();
}
bool isNumQuad(const QroNumExprI* e) {
  return e->getTypeInfo() == QroNumQuadExprI::GetTypeInfo();
}

QroNumVarI* asVar(QroNumExprI* e) {
  return static_cast<QroNumVarI*>(e);
}
QroNumLinTermI* asNumTermI(QroNumExprI* e) {
  return static_cast<QroNumLinTermI*>(e);
}
QroIntLinTermI* asIntTermI(QroNumExprI* e) {
  return static_cast<QroIntLinTermI*>(e);
}

bool isNumConstantTerm(const QroNumExprI* e) {
  return isNumTerm(e) && static_cast<const QroNumLinTermI*>(e)->isConstantTerm();
}
bool isIntConstantTerm(const QroNumExprI* e) {
  return isIntTerm(e) && static_cast<const QroIntLinTermI*>(e)->isConstantTerm();
}

// The term itself while nobody holds it, else a fresh copy.
QroNumLinTermI* ownCopy(QroNumLinTermI* t) {
  return t->getUseCount() == 0 ? t : t->copy();
}
QroIntLinTermI* ownCopy(QroIntLinTermI* t) {
  return t->getUseCount() == 0 ? t : t->copy();
}
// An integer term as a numeric one (consumed when nobody holds it).
QroNumLinTermI* asNumTerm(QroNumExprI* e) {
  return asIntTermI(e)->makeNumLinTerm();
}

QroNumLinTermI* newTerm(QroEnvI* env, QroNum constant = 0.0) {
  return new (env) QroNumLinTermI(env, constant);
}

void checkEnvs(QroNumExprI* a, QroNumExprI* b, const char* message) {
  if (a->getEnv() != b->getEnv()) throw QroWrongUsage(message);
}

const char* kPlusMessage =
    "QroNumExprArg operator + const QroNumExprArg const QroNumExprArg: mixing mismatch "
    "Environments";
const char* kTimesMessage =
    "QroNumExprArg operator * const QroNumExprArg const QroNumExprArg: mixing mismatch "
    "Environments";
const char* kDivMessage =
    "QroNumExprArg operator / const QroNumExprArg const QroNumExprArg: mixing mismatch "
    "Environments";

// k*x + x, x + k*x and k1*x + k2*x on one operand x (sign -1 for subtraction).
QroNumExprI* foldConstantTimes(QroNumExprI* e1, QroNumExprI* e2, QroNum sign) {
  bool n1 = e1->isType(QroNumTimesCstI::GetTypeInfo());
  bool n2 = e2->isType(QroNumTimesCstI::GetTypeInfo());
  bool i1 = e1->isType(QroIntTimesCstI::GetTypeInfo());
  bool i2 = e2->isType(QroIntTimesCstI::GetTypeInfo());
  if (n1) {
    auto* a = static_cast<QroNumTimesCstI*>(e1);
    if (a->getOperand() == e2)
      return (QroNumExprArg(e2) * (a->getConstantFactor() + sign)).getImpl();
    if (n2) {
      auto* b = static_cast<QroNumTimesCstI*>(e2);
      if (a->getOperand() == b->getOperand())
        return (QroNumExprArg(a->getOperand()) *
                (a->getConstantFactor() + sign * b->getConstantFactor()))
            .getImpl();
    }
  }
  if (n2) {
    auto* b = static_cast<QroNumTimesCstI*>(e2);
    if (b->getOperand() == e1)
      return (QroNumExprArg(e1) * (1.0 + sign * b->getConstantFactor())).getImpl();
  }
  if (i1) {
    auto* a = static_cast<QroIntTimesCstI*>(e1);
    if (i2) {
      auto* b = static_cast<QroIntTimesCstI*>(e2);
      if (a->getOperand() == b->getOperand()) {
        QroInt k;
        bool overflow =
            sign > 0 ? __builtin_add_overflow(a->getConstantFactor(), b->getConstantFactor(), &k)
                     : __builtin_sub_overflow(a->getConstantFactor(), b->getConstantFactor(), &k);
        if (overflow) throw QroIntExpr::QroOverflowOccurred();
        return (QroNumExprArg(a->getOperand()) * k).getImpl();
      }
    }
    if (a->getOperand() == e2)
      return (QroNumExprArg(e2) * (static_cast<QroNum>(a->getConstantFactor()) + sign)).getImpl();
  }
  if (i2) {
    auto* b = static_cast<QroIntTimesCstI*>(e2);
    if (b->getOperand() == e1)
      return (QroNumExprArg(e1) * (1.0 + sign * static_cast<QroNum>(b->getConstantFactor())))
          .getImpl();
  }
  return nullptr;
}

}  // namespace

QroNumExprArg QroNumLinTermNode::toExprArg() const {
  if (!_node || !_env) throw QroEmptyHandleException();
  return QroNumExprArg(new (_env) QroNumLinTermI(_env, _node));
}

QroNumExprArg QroNumQuadTermNode::toExprArg() const {
  if (!_node || !_env) throw QroEmptyHandleException();
  return QroNumExprArg(new (_env) QroNumQuadExprI(_env, _node));
}

// ---------------------------------------------------------------------------
// Addition and subtraction

QroNumExprArg operator+(const QroNumExprArg& a1, const QroNumExprArg& a2) {
  QroNumExprI* e1 = impl(a1);
  QroNumExprI* e2 = impl(a2);
  checkEnvs(e1, e2, kPlusMessage);
  QroEnvI* env = e1->getEnv();
  if (e1 == e2) return a1 * 2.0;
  if (isVar(e1)) {
    if (isVar(e2)) {
      QroNumLinTermI* t = newTerm(env);
      t->appendNode(asVar(e1), 1.0);
      t->appendNode(asVar(e2), 1.0);
      return t;
    }
    if (isNumTerm(e2) || isIntTerm(e2)) {
      QroNumLinTermI* t = isNumTerm(e2) ? ownCopy(asNumTermI(e2)) : asNumTerm(e2);
      t->prependNode(env->allocLinearTerm(asVar(e1), 1.0));
      t->normalize();
      return t;
    }
    QroNumLinTermI* t = newTerm(env);
    t->appendNode(asVar(e1), 1.0);
    t->addExpr(e2);
    return t;
  }
  if (isNumTerm(e1) || isIntTerm(e1)) {
    QroNumLinTermI* t = isNumTerm(e1) ? ownCopy(asNumTermI(e1)) : asNumTerm(e1);
    if (isVar(e2))
      t->appendNode(asVar(e2), 1.0);
    else if (isNumTerm(e2))
      t->addTerm(ownCopy(asNumTermI(e2)));
    else if (isIntTerm(e2))
      t->addTerm(asNumTerm(e2));
    else
      t->addExpr(e2);
    return t;
  }
  if (isVar(e2)) {
    QroNumLinTermI* t = newTerm(env);
    t->appendNode(asVar(e2), 1.0);
    t->addExpr(e1);
    return t;
  }
  if (isNumTerm(e2) || isIntTerm(e2)) {
    QroNumLinTermI* t = isNumTerm(e2) ? ownCopy(asNumTermI(e2)) : asNumTerm(e2);
    t->addExpr(e1);
    return t;
  }
  if (QroNumExprI* folded = foldConstantTimes(e1, e2, 1.0)) return folded;
  QroNumLinTermI* t = newTerm(env);
  t->addExpr(e1);
  t->addExpr(e2);
  return t;
}

QroNumExprArg operator+(const QroNumExprArg& a, QroNum c) {
  QroNumExprI* e = impl(a);
  if (c == 0) return a;
  QroEnvI* env = e->getEnv();
  if (isVar(e)) {
    QroNumLinTermI* t = newTerm(env, c);
    t->appendNode(asVar(e), 1.0);
    return t;
  }
  if (isNumTerm(e) || isIntTerm(e)) {
    QroNumLinTermI* t = isNumTerm(e) ? ownCopy(asNumTermI(e)) : asNumTerm(e);
    t->setConstant(t->getConstantValue() + c);
    return t;
  }
  QroNumLinTermI* t = newTerm(env, c);
  t->addExpr(e);
  return t;
}

QroNumExprArg operator-(const QroNumExprArg& a1, const QroNumExprArg& a2) {
  QroNumExprI* e1 = impl(a1);
  QroNumExprI* e2 = impl(a2);
  if (e1 == e2) return newTerm(e1->getEnv());
  if (e1->getEnv() == e2->getEnv())
    if (QroNumExprI* folded = foldConstantTimes(e1, e2, -1.0)) return folded;
  return a1 + (a2 * -1.0);
}

QroNumExprArg operator-(const QroNumExprArg& e, QroNum c) {
  return e + (-c);
}

QroNumExprArg operator-(QroNum c, const QroNumExprArg& e) {
  return (e * -1.0) + c;
}

QroNumExprArg operator-(const QroNumExprArg& e, const QroNumQuadTermNode& q) {
  if (!q.getNode()) throw QroEmptyHandleException();
  q.getNode()->coef = -q.getNode()->coef;
  return e + q.toExprArg();
}

// ---------------------------------------------------------------------------
// Multiplication

QroNumExprArg operator*(const QroNumExprArg& a, QroNum c) {
  QroNumExprI* e = impl(a);
  QroEnvI* env = e->getEnv();
  if (isVar(e)) {
    if (c == 0) return newTerm(env);
    return new (env) QroNumLinTermI(env, env->allocLinearTerm(asVar(e), c));
  }
  if (isNumTerm(e) || isIntTerm(e)) {
    QroNumLinTermI* t = isNumTerm(e) ? ownCopy(asNumTermI(e)) : asNumTerm(e);
    t->scale(c);
    return t;
  }
  if (e->getTypeInfo() == QroNumTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<QroNumTimesCstI*>(e);
    return QroNumExprArg(n->getOperand()) * (c * n->getConstantFactor());
  }
  if (e->getTypeInfo() == QroIntTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<QroIntTimesCstI*>(e);
    return QroNumExprArg(n->getOperand()) * (static_cast<QroNum>(n->getConstantFactor()) * c);
  }
  if (isNumQuad(e)) {
    auto* q = static_cast<QroNumQuadExprI*>(e);
    if (q->getUseCount() != 0) q = static_cast<QroNumQuadExprI*>(q->asNumExpr());
    if (c == 0)
      q->clearNodes();
    else
      q->scale(c);
    return q;
  }
  if (e->getTypeInfo() == QroNumRecDivCstI::GetTypeInfo()) {
    auto* n = static_cast<QroNumRecDivCstI*>(e);
    return (c * n->getDividend()) / QroNumExprArg(n->getOperand());
  }
  if (e->getTypeInfo() == QroNumDivCstI::GetTypeInfo()) {
    auto* n = static_cast<QroNumDivCstI*>(e);
    return QroNumExprArg(n->getOperand()) * (c / n->getDivisor());
  }
  if (c == 0) return newTerm(env);
  return new (env) QroNumTimesCstI(env, e, c);
}

QroNumExprArg operator*(QroNum c, const QroNumExprArg& e) {
  return e * c;
}

QroNumExprArg operator*(const QroNumExprArg& a, QroInt k) {
  QroNumExprI* e = impl(a);
  QroEnvI* env = e->getEnv();
  if (isExactVar(e)) {
    // A coefficient is a double: beyond 2^53 - 1 it would not be k.
    if (k > QroIntMax || k < QroIntMin) throw QroIntExpr::QroOverflowOccurred();
    QroIntLinTermI* t = new (env) QroIntLinTermI(env, 0);
    if (k != 0) t->appendNode(asVar(e), static_cast<QroNum>(k));
    return t;
  }
  if (isIntTerm(e)) {
    QroIntLinTermI* t = ownCopy(asIntTermI(e));
    t->scale(k);
    return t;
  }
  if (e->getTypeInfo() == QroIntTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<QroIntTimesCstI*>(e);
    QroInt jk =
        QroGuardedProduct(static_cast<QroNum>(n->getConstantFactor()), static_cast<QroNum>(k));
    return QroNumExprArg(n->getOperand()) * jk;
  }
  if (k == 0) return new (env) QroIntLinTermI(env, 0);
  return new (env) QroIntTimesCstI(env, e, k);
}

QroNumQuadTermNode operator*(const QroNumVar& x, const QroNumVar& y) {
  QroNumVarI* a = x.getImpl();
  QroNumVarI* b = y.getImpl();
  if (!a || !b) throw QroEmptyHandleException();
  checkEnvs(a, b, kTimesMessage);
  return QroNumQuadTermNode(a->getEnv()->allocPairTerm(a, b, 1.0), a->getEnv());
}

QroNumLinTermNode operator*(QroNum k, const QroNumVar& x) {
  QroNumVarI* v = x.getImpl();
  if (!v) throw QroEmptyHandleException();
  return QroNumLinTermNode(v->getEnv()->allocLinearTerm(v, k), v->getEnv());
}

namespace {
// v times a term without non-linear parts, as a quadratic part plus v * constant.
QroNumExprI* varTimesTerm(QroNumVarI* v, QroNumExprI* t) {
  QroEnvI* env = v->getEnv();
  QroLinearNode* first;
  QroNum constant;
  if (isNumTerm(t)) {
    first = asNumTermI(t)->getFirstNode();
    constant = asNumTermI(t)->getConstantValue();
  } else {
    first = asIntTermI(t)->getFirstNode();
    constant = static_cast<QroNum>(asIntTermI(t)->getConstantValue());
  }
  QroNumLinTermI* result = newTerm(env);
  QroNumQuadExprI* q = new (env) QroNumQuadExprI(env);
  for (QroLinearNode* n = first; n; n = n->next)
    if (n->coef != 0.0) q->append(env->allocPairTerm(v, n->var, n->coef));
  result->addExpr(q);
  if (constant != 0) result->appendNode(v, constant);
  return result;
}

bool termWithoutParts(const QroNumExprI* e) {
  if (isNumTerm(e)) return !static_cast<const QroNumLinTermI*>(e)->getFirstExpr();
  if (isIntTerm(e)) return !static_cast<const QroIntLinTermI*>(e)->getFirstExpr();
  return false;
}
}  // namespace

QroNumExprArg operator*(const QroNumExprArg& a1, const QroNumExprArg& a2) {
  QroNumExprI* e1 = impl(a1);
  QroNumExprI* e2 = impl(a2);
  checkEnvs(e1, e2, kTimesMessage);
  QroEnvI* env = e1->getEnv();
  if (isNumConstantTerm(e1) || isIntConstantTerm(e1)) return a2 * e1->getConstant();
  if (isNumConstantTerm(e2) || isIntConstantTerm(e2)) return a1 * e2->getConstant();
  if (isExactVar(e1) && isExactVar(e2))
    return new (env) QroNumQuadExprI(env, env->allocPairTerm(asVar(e1), asVar(e2), 1.0));
  if (isExactVar(e2) && termWithoutParts(e1)) return varTimesTerm(asVar(e2), e1);
  if (isExactVar(e1) && termWithoutParts(e2)) return varTimesTerm(asVar(e1), e2);
  return new (env) QroNumTimesI(env, e1, e2);
}

// ---------------------------------------------------------------------------
// Division and powers

QroNumExprArg operator/(const QroNumExprArg& a, QroNum c) {
  QroNumExprI* e = impl(a);
  QroEnvI* env = e->getEnv();
  if (c != 0) {
    if (isVar(e)) return new (env) QroNumLinTermI(env, env->allocLinearTerm(asVar(e), 1 / c));
    if (isNumTerm(e) || isIntTerm(e)) {
      QroNumLinTermI* t = isNumTerm(e) ? ownCopy(asNumTermI(e)) : asNumTerm(e);
      t->scale(1 / c);
      return t;
    }
  }
  return new (env) QroNumDivCstI(env, e, c);
}

QroNumExprArg operator/(QroNum c, const QroNumExprArg& a) {
  QroNumExprI* e = impl(a);
  QroEnvI* env = e->getEnv();
  if (isNumConstantTerm(e)) return newTerm(env, c / e->getConstant());
  if (isIntConstantTerm(e) && asIntTermI(e)->getConstantValue() != 0)
    return newTerm(env, c / e->getConstant());
  return new (env) QroNumRecDivCstI(env, e, c);
}

QroNumExprArg operator/(const QroNumExprArg& a1, const QroNumExprArg& a2) {
  QroNumExprI* e1 = impl(a1);
  QroNumExprI* e2 = impl(a2);
  checkEnvs(e1, e2, kDivMessage);
  if (isNumConstantTerm(e2)) return a1 / e2->getConstant();
  if (isNumConstantTerm(e1)) return e1->getConstant() / a2;
  QroEnvI* env = e1->getEnv();
  return new (env) QroNumDivI(env, e1, e2);
}

QroNumExprArg QroPower(const QroNumExprArg& a, QroNum c) {
  QroNumExprI* e = impl(a);
  QroEnvI* env = e->getEnv();
  if (c == 2.0) {
    if (isExactVar(e))
      return new (env) QroNumQuadExprI(env, env->allocPairTerm(asVar(e), asVar(e), 1.0));
    return new (env) QroNumSquareI(env, e);
  }
  if (c == 1.0) return a;
  return new (env) QroNumPowerCstI(env, e, c);
}

std::ostream& operator<<(std::ostream& os, const QroNumExprArg& e) {
  if (e.getImpl()) e.getImpl()->display(os);
  return os;
}
