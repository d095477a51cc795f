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

// An operand, and whether the operator may take it apart: its handle was
// sole and nothing holds it.
struct Operand {
  QroNumExprI* e;
  bool sole;
};
Operand operand(const QroNumExprArg& a) {
  QroNumExprI* e = impl(a);
  return {e, a.isSole() && !e->isHeld()};
}
// A result: sole when the operator made it, or extended a sole operand.
QroNumExprArg result(QroNumExprI* r, bool sole) {
  return sole ? QroNumExprArg::Sole(r) : QroNumExprArg(r);
}
QroNumExprArg made(QroNumExprI* r) {
  return QroNumExprArg::Sole(r);
}

// The term itself while nobody holds it, else a fresh copy.
QroNumLinTermI* ownCopy(QroNumLinTermI* t) {
  return t->isHeld() ? t->copy() : t;
}
QroIntLinTermI* ownCopy(QroIntLinTermI* t) {
  return t->isHeld() ? t->copy() : t;
}
// An integer term as a new numeric one: its lists taken over when it is
// sole, copied otherwise.
QroNumLinTermI* asNumTerm(Operand a) {
  QroIntLinTermI* t = asIntTermI(a.e);
  return a.sole ? t->takeNumLinTerm() : t->makeNumLinTerm();
}
// A term operand in a form the operator may change (its own copy or a
// numeric conversion); sole tells whether that is sole: a new term is, the
// operand itself is when its handle was.
QroNumLinTermI* ownTerm(Operand a, bool& sole) {
  QroNumLinTermI* t = isNumTerm(a.e) ? ownCopy(asNumTermI(a.e)) : asNumTerm(a);
  sole = t != a.e || a.sole;
  return t;
}
// a + b for the numeric term b, t being a's own term (sole or not): b's
// term itself merged into t when b is sole; a copy of its parts when it is
// held, or when a was named too; else (a sole) b's term, which a handle may
// name, takes t's parts in front and is returned.
QroNumExprArg merge(Operand a, QroNumLinTermI* t, bool sole, Operand b) {
  QroNumLinTermI* u = asNumTermI(b.e);
  if (b.sole) {
    t->addTerm(u);
  } else if (u->isHeld()) {
    t->addTerm(u->copy());
  } else if (a.sole) {
    u->prependTerm(t);
    return QroNumExprArg(u);
  } else {
    t->addTermCopy(u);
  }
  return result(t, sole);
}

QroNumLinTermI* newTerm(QroEnvI* env, QroNum constant = 0.0) {
  return new (env) QroNumLinTermI(env, constant);
}

// e * c kept as a node: the form a fold would round.
QroNumExprI* timesNode(QroEnvI* env, QroNumExprI* e, QroNum c) {
  return new (env) QroNumTimesCstI(env, e, c);
}

// Whether every coefficient and the constant of a term, and every coefficient
// of a quadratic expression, times c is exact.
bool quadScalesExactly(const QroNumQuadExprI* q, QroNum c) {
  QroNum r;
  for (QroQuadNode* n = q->getFirst(); n; n = n->next)
    if (!QroExactProduct(n->coef, c, r)) return false;
  return true;
}
template <class T>
bool termScalesExactly(const T* t, QroNum c) {
  QroNum r;
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next)
    if (!QroExactProduct(n->coef, c, r)) return false;
  if (!QroExactProduct(static_cast<QroNum>(t->getConstantValue()), c, r)) return false;
  return !t->getQuadPart() || quadScalesExactly(t->getQuadPart(), c);
}
bool scalesExactly(QroNumExprI* e, QroNum c) {
  if (isNumTerm(e)) return termScalesExactly(asNumTermI(e), c);
  return termScalesExactly(asIntTermI(e), c);
}

// The constant of a numeric or integer term plus c, when exact.
bool shiftsExactly(QroNumExprI* e, QroNum c, QroNum& r) {
  QroNum k = isNumTerm(e) ? asNumTermI(e)->getConstantValue()
                          : static_cast<QroNum>(asIntTermI(e)->getConstantValue());
  return QroExactSum(k, c, r);
}

// Whether the solver reads e as an integer expression: integer variables,
// integral constants and coefficients, and the products, squares and
// quotients built from them alone (a quotient of integers truncates).
bool readAsInteger(const QroNumExprI* e) {
  if (isVar(e)) return static_cast<const QroNumVarI*>(e)->getType() != QroNumVar::Float;
  if (isNumTerm(e)) {
    const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(e);
    for (QroExprNode* p = t->getFirstExpr(); p; p = p->next)
      if (!readAsInteger(p->expr)) return false;
    for (QroLinearNode* n = t->getFirstNode(); n; n = n->next)
      if (n->coef != 0.0 && (!readAsInteger(n->var) || !QroIsIntegerValue(n->coef))) return false;
    return QroIsIntegerValue(t->getConstantValue());
  }
  if (isNumQuad(e)) {
    for (QroQuadNode* n = static_cast<const QroNumQuadExprI*>(e)->getFirst(); n; n = n->next)
      if (!QroIsIntegerValue(n->coef) || !readAsInteger(n->first) || !readAsInteger(n->second))
        return false;
    return true;
  }
  QroTypeInfo type = e->getTypeInfo();
  if (type == QroNumTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<const QroNumTimesCstI*>(e);
    return readAsInteger(n->getOperand()) && QroIsIntegerValue(n->getConstantFactor());
  }
  if (type == QroNumDivCstI::GetTypeInfo()) {
    auto* n = static_cast<const QroNumDivCstI*>(e);
    return readAsInteger(n->getOperand()) && QroIsIntegerValue(n->getDivisor());
  }
  if (type == QroNumRecDivCstI::GetTypeInfo()) {
    auto* n = static_cast<const QroNumRecDivCstI*>(e);
    return readAsInteger(n->getOperand()) && QroIsIntegerValue(n->getDividend());
  }
  if (type == QroIntTimesCstI::GetTypeInfo())
    return readAsInteger(static_cast<const QroIntTimesCstI*>(e)->getOperand());
  if (type == QroNumTimesI::GetTypeInfo() || type == QroNumDivI::GetTypeInfo()) {
    auto* n = static_cast<const QroNumBinaryNodeI*>(e);
    return readAsInteger(n->getLeft()) && readAsInteger(n->getRight());
  }
  if (type == QroNumSquareI::GetTypeInfo())
    return readAsInteger(static_cast<const QroNumSquareI*>(e)->getOperand());
  if (type == QroNumPowerCstI::GetTypeInfo()) return false;
  return e->isIntExpr();
}

// A quotient of e by the constant c would be read as a truncating division:
// a constant never moves across it.
bool truncates(const QroNumExprI* e, QroNum c) {
  return QroIsIntegerValue(c) && readAsInteger(e);
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

// k*x + x, x + k*x and k1*x + k2*x on one operand x (sign -1 for subtraction);
// an empty handle when they do not fold.
QroNumExprArg foldConstantTimes(QroNumExprI* e1, QroNumExprI* e2, QroNum sign) {
  bool n1 = e1->isType(QroNumTimesCstI::GetTypeInfo());
  bool n2 = e2->isType(QroNumTimesCstI::GetTypeInfo());
  bool i1 = e1->isType(QroIntTimesCstI::GetTypeInfo());
  bool i2 = e2->isType(QroIntTimesCstI::GetTypeInfo());
  // A factor that the sum would round is not folded.
  QroNum k;
  if (n1) {
    auto* a = static_cast<QroNumTimesCstI*>(e1);
    if (a->getOperand() == e2 && QroExactSum(a->getConstantFactor(), sign, k))
      return QroNumExprArg(e2) * k;
    if (n2) {
      auto* b = static_cast<QroNumTimesCstI*>(e2);
      if (a->getOperand() == b->getOperand() &&
          QroExactSum(a->getConstantFactor(), sign * b->getConstantFactor(), k))
        return QroNumExprArg(a->getOperand()) * k;
    }
  }
  if (n2) {
    auto* b = static_cast<QroNumTimesCstI*>(e2);
    if (b->getOperand() == e1 && QroExactSum(1.0, sign * b->getConstantFactor(), k))
      return QroNumExprArg(e1) * k;
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
        return QroNumExprArg(a->getOperand()) * k;
      }
    }
    if (a->getOperand() == e2 && QroExactSum(static_cast<QroNum>(a->getConstantFactor()), sign, k))
      return QroNumExprArg(e2) * k;
  }
  if (i2) {
    auto* b = static_cast<QroIntTimesCstI*>(e2);
    if (b->getOperand() == e1 &&
        QroExactSum(1.0, sign * static_cast<QroNum>(b->getConstantFactor()), k))
      return QroNumExprArg(e1) * k;
  }
  return QroNumExprArg();
}

}  // namespace

QroNumExprArg QroNumLinTermNode::toExprArg() const {
  if (!_node || !_env) throw QroEmptyHandleException();
  return made(new (_env) QroNumLinTermI(_env, _node));
}

QroNumExprArg QroNumQuadTermNode::toExprArg() const {
  if (!_node || !_env) throw QroEmptyHandleException();
  return made(new (_env) QroNumQuadExprI(_env, _node));
}

// ---------------------------------------------------------------------------
// Addition and subtraction

namespace {

QroNumExprArg times(Operand a, QroNum c);

QroNumExprArg plus(Operand a, Operand b) {
  QroNumExprI* e1 = a.e;
  QroNumExprI* e2 = b.e;
  checkEnvs(e1, e2, kPlusMessage);
  QroEnvI* env = e1->getEnv();
  if (e1 == e2) return times({e1, false}, 2.0);
  bool sole;
  if (isVar(e1)) {
    if (isVar(e2)) {
      QroNumLinTermI* t = newTerm(env);
      t->appendNode(asVar(e1), 1.0);
      t->appendNode(asVar(e2), 1.0);
      return made(t);
    }
    if (isNumTerm(e2) || isIntTerm(e2)) {
      QroNumLinTermI* t = ownTerm(b, sole);
      t->prependNode(env->allocLinearTerm(asVar(e1), 1.0));
      t->normalize();
      return result(t, sole);
    }
    QroNumLinTermI* t = newTerm(env);
    t->appendNode(asVar(e1), 1.0);
    t->addExpr(e2);
    return made(t);
  }
  if (isNumTerm(e1) || isIntTerm(e1)) {
    QroNumLinTermI* t = ownTerm(a, sole);
    QroNum k;
    if (isVar(e2))
      t->appendNode(asVar(e2), 1.0);
    else if ((isNumTerm(e2) || isIntTerm(e2)) && !shiftsExactly(e2, t->getConstantValue(), k))
      t->addExpr(e2);  // the constants' sum would round: e2 stays whole
    else if (isNumTerm(e2))
      return merge(a, t, sole, b);
    else if (isIntTerm(e2))
      t->addTerm(asNumTerm(b));
    else
      t->addExpr(e2);
    return result(t, sole);
  }
  if (isVar(e2)) {
    QroNumLinTermI* t = newTerm(env);
    t->appendNode(asVar(e2), 1.0);
    t->addExpr(e1);
    return made(t);
  }
  if (isNumTerm(e2) || isIntTerm(e2)) {
    QroNumLinTermI* t = ownTerm(b, sole);
    t->addExpr(e1);
    return result(t, sole);
  }
  QroNumExprArg folded = foldConstantTimes(e1, e2, 1.0);
  if (folded.getImpl()) return folded;
  QroNumLinTermI* t = newTerm(env);
  t->addExpr(e1);
  t->addExpr(e2);
  return made(t);
}

// e + c.
QroNumExprArg plusConstant(Operand a, QroNum c) {
  QroNumExprI* e = a.e;
  if (c == 0) return result(e, a.sole);
  QroEnvI* env = e->getEnv();
  if (isVar(e)) {
    QroNumLinTermI* t = newTerm(env, c);
    t->appendNode(asVar(e), 1.0);
    return made(t);
  }
  QroNum k;
  if ((isNumTerm(e) || isIntTerm(e)) && shiftsExactly(e, c, k)) {
    bool sole;
    QroNumLinTermI* t = ownTerm(a, sole);
    t->setConstant(k);
    return result(t, sole);
  }
  // Also a term whose constant plus c would round.
  QroNumLinTermI* t = newTerm(env, c);
  t->addExpr(e);
  return made(t);
}

// -e. An operand that is not sole is not changed: an unheld term or
// quadratic expression is copied before it is scaled in place.
Operand negated(Operand a) {
  QroNumExprI* e = a.e;
  if (!a.sole && !e->isHeld() && isNumTerm(e)) {
    a = {asNumTermI(e)->duplicate(), true};
  } else if (!a.sole && !e->isHeld() && isNumQuad(e)) {
    QroNumQuadExprI* q = new (e->getEnv()) QroNumQuadExprI(e->getEnv());
    q->appendCopies(static_cast<QroNumQuadExprI*>(e));
    a = {q, true};
  }
  return operand(times(a, -1.0));
}

}  // namespace

QroNumExprArg operator+(QroNumExprArg a1, QroNumExprArg a2) {
  return plus(operand(a1), operand(a2));
}

QroNumExprArg operator+(QroNumExprArg e, const QroNumLinTermNode& n) {
  Operand a = operand(e);
  return plus(a, operand(n.toExprArg()));
}

QroNumExprArg operator+(QroNumExprArg a, QroNum c) {
  return plusConstant(operand(a), c);
}

QroNumExprArg operator-(QroNumExprArg a1, QroNumExprArg a2) {
  Operand a = operand(a1);
  Operand b = operand(a2);
  if (a.e == b.e) return made(newTerm(a.e->getEnv()));
  if (a.e->getEnv() == b.e->getEnv()) {
    QroNumExprArg folded = foldConstantTimes(a.e, b.e, -1.0);
    if (folded.getImpl()) return folded;
  }
  return plus(a, negated(b));
}

QroNumExprArg operator-(QroNumExprArg e, const QroNumLinTermNode& n) {
  Operand a = operand(e);
  return plus(a, operand(times(operand(n.toExprArg()), -1.0)));
}

QroNumExprArg operator-(QroNumExprArg e, QroNum c) {
  return plusConstant(operand(e), -c);
}

QroNumExprArg operator-(QroNum c, QroNumExprArg e) {
  return plusConstant(negated(operand(e)), c);
}

QroNumExprArg operator-(QroNumExprArg e, const QroNumQuadTermNode& q) {
  if (!q.getNode()) throw QroEmptyHandleException();
  q.getNode()->coef = -q.getNode()->coef;
  return std::move(e) + q.toExprArg();
}

// ---------------------------------------------------------------------------
// Multiplication

namespace {

QroNumExprArg times(Operand a, QroNum c) {
  QroNumExprI* e = a.e;
  QroEnvI* env = e->getEnv();
  if (isVar(e)) {
    if (c == 0) return made(newTerm(env));
    return made(new (env) QroNumLinTermI(env, env->allocLinearTerm(asVar(e), c)));
  }
  // Folds that would round a constant, or move one across a truncating
  // division, keep the product as a node instead.
  QroNum k;
  if (isNumTerm(e) || isIntTerm(e)) {
    if (c != 0 && !scalesExactly(e, c)) return made(timesNode(env, e, c));
    bool sole;
    QroNumLinTermI* t = ownTerm(a, sole);
    t->scale(c);
    return result(t, sole);
  }
  if (e->getTypeInfo() == QroNumTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<QroNumTimesCstI*>(e);
    if (!QroExactProduct(c, n->getConstantFactor(), k)) return made(timesNode(env, e, c));
    return QroNumExprArg(n->getOperand()) * k;
  }
  if (e->getTypeInfo() == QroIntTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<QroIntTimesCstI*>(e);
    if (!QroExactProduct(static_cast<QroNum>(n->getConstantFactor()), c, k))
      return made(timesNode(env, e, c));
    return QroNumExprArg(n->getOperand()) * k;
  }
  if (isNumQuad(e)) {
    auto* q = static_cast<QroNumQuadExprI*>(e);
    if (c != 0 && !quadScalesExactly(q, c)) return made(timesNode(env, e, c));
    if (q->isHeld()) q = static_cast<QroNumQuadExprI*>(q->asNumExpr());
    if (c == 0)
      q->clearNodes();
    else
      q->scale(c);
    return result(q, q != e || a.sole);
  }
  if (e->getTypeInfo() == QroNumRecDivCstI::GetTypeInfo()) {
    auto* n = static_cast<QroNumRecDivCstI*>(e);
    // Over an integer operand the quotient's form follows its constant.
    if (c == 0 || readAsInteger(n->getOperand()) || !QroExactProduct(c, n->getDividend(), k))
      return made(c == 0 ? newTerm(env) : timesNode(env, e, c));
    return k / QroNumExprArg(n->getOperand());
  }
  if (e->getTypeInfo() == QroNumDivCstI::GetTypeInfo()) {
    auto* n = static_cast<QroNumDivCstI*>(e);
    if (c == 0 || truncates(n->getOperand(), n->getDivisor()) ||
        !QroExactQuotient(c, n->getDivisor(), k))
      return made(c == 0 ? newTerm(env) : timesNode(env, e, c));
    return QroNumExprArg(n->getOperand()) * k;
  }
  if (c == 0) return made(newTerm(env));
  return made(timesNode(env, e, c));
}

QroNumExprArg timesInteger(Operand a, QroInt k) {
  QroNumExprI* e = a.e;
  QroEnvI* env = e->getEnv();
  // A coefficient is a double: beyond 2^53 - 1 it would not be k.
  bool beyond = k > QroIntMax || k < QroIntMin;
  if (!e->isIntExpr()) {
    // A float expression times an integer is a float product.
    if (beyond) throw QroIntExpr::QroOverflowOccurred();
    return times(a, static_cast<QroNum>(k));
  }
  if (isExactVar(e)) {
    if (beyond) throw QroIntExpr::QroOverflowOccurred();
    QroIntLinTermI* t = new (env) QroIntLinTermI(env, 0);
    if (k != 0) t->appendNode(asVar(e), static_cast<QroNum>(k));
    return made(t);
  }
  if (isIntTerm(e)) {
    QroIntLinTermI* t = ownCopy(asIntTermI(e));
    t->scale(k);
    return result(t, t != e || a.sole);
  }
  if (e->getTypeInfo() == QroIntTimesCstI::GetTypeInfo()) {
    auto* n = static_cast<QroIntTimesCstI*>(e);
    QroInt jk =
        QroGuardedProduct(static_cast<QroNum>(n->getConstantFactor()), static_cast<QroNum>(k));
    return QroNumExprArg(n->getOperand()) * jk;
  }
  if (k == 0) return made(new (env) QroIntLinTermI(env, 0));
  return made(new (env) QroIntTimesCstI(env, e, k));
}

}  // namespace

QroNumExprArg operator*(QroNumExprArg a, QroNum c) {
  return times(operand(a), c);
}

QroNumExprArg operator*(QroNum c, QroNumExprArg e) {
  return times(operand(e), c);
}

QroNumExprArg operator*(QroNumExprArg a, QroInt k) {
  return timesInteger(operand(a), k);
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
  QroNumLinTermI* product = newTerm(env);
  QroNumQuadExprI* q = new (env) QroNumQuadExprI(env);
  for (QroLinearNode* n = first; n; n = n->next)
    if (n->coef != 0.0) q->append(env->allocPairTerm(v, n->var, n->coef));
  product->addExpr(q);
  if (constant != 0) product->appendNode(v, constant);
  return product;
}

bool termWithoutParts(const QroNumExprI* e) {
  if (isNumTerm(e)) return !static_cast<const QroNumLinTermI*>(e)->getFirstExpr();
  if (isIntTerm(e)) return !static_cast<const QroIntLinTermI*>(e)->getFirstExpr();
  return false;
}
}  // namespace

QroNumExprArg operator*(QroNumExprArg a1, QroNumExprArg a2) {
  Operand a = operand(a1);
  Operand b = operand(a2);
  QroNumExprI* e1 = a.e;
  QroNumExprI* e2 = b.e;
  checkEnvs(e1, e2, kTimesMessage);
  QroEnvI* env = e1->getEnv();
  if (isNumConstantTerm(e1) || isIntConstantTerm(e1)) return times(b, e1->getConstant());
  if (isNumConstantTerm(e2) || isIntConstantTerm(e2)) return times(a, e2->getConstant());
  if (isExactVar(e1) && isExactVar(e2))
    return made(new (env) QroNumQuadExprI(env, env->allocPairTerm(asVar(e1), asVar(e2), 1.0)));
  if (isExactVar(e2) && termWithoutParts(e1)) return made(varTimesTerm(asVar(e2), e1));
  if (isExactVar(e1) && termWithoutParts(e2)) return made(varTimesTerm(asVar(e1), e2));
  return made(new (env) QroNumTimesI(env, e1, e2));
}

// ---------------------------------------------------------------------------
// Division and powers

namespace {

// e / c.
QroNumExprArg dividedBy(Operand a, QroNum c) {
  QroNumExprI* e = a.e;
  QroEnvI* env = e->getEnv();
  if (c != 0 && (isVar(e) || isNumTerm(e) || isIntTerm(e))) {
    // Scaling by 1 / c that would round keeps the quotient, unless the
    // quotient would be read as a truncating division.
    QroNum r;
    bool exact = QroExactQuotient(1.0, c, r) && (isVar(e) || scalesExactly(e, r));
    if (!exact && !truncates(e, c)) return made(new (env) QroNumDivCstI(env, e, c));
    if (isVar(e)) return made(new (env) QroNumLinTermI(env, env->allocLinearTerm(asVar(e), 1 / c)));
    bool sole;
    QroNumLinTermI* t = ownTerm(a, sole);
    t->scale(1 / c);
    return result(t, sole);
  }
  return made(new (env) QroNumDivCstI(env, e, c));
}

// c / e.
QroNumExprArg dividing(QroNum c, QroNumExprI* e) {
  QroEnvI* env = e->getEnv();
  bool constant = isNumConstantTerm(e) || (isIntConstantTerm(e) && e->getConstant() != 0);
  QroNum q;
  // A quotient that would round stays a quotient, unless it would be read as
  // a truncating division; c / 0.0 folds to its infinite or NaN constant.
  if (constant &&
      (e->getConstant() == 0 || QroExactQuotient(c, e->getConstant(), q) || truncates(e, c)))
    return made(newTerm(env, c / e->getConstant()));
  return made(new (env) QroNumRecDivCstI(env, e, c));
}

}  // namespace

QroNumExprArg operator/(QroNumExprArg a, QroNum c) {
  return dividedBy(operand(a), c);
}

QroNumExprArg operator/(QroNum c, QroNumExprArg a) {
  return dividing(c, impl(a));
}

QroNumExprArg operator/(QroNumExprArg a1, QroNumExprArg a2) {
  Operand a = operand(a1);
  Operand b = operand(a2);
  checkEnvs(a.e, b.e, kDivMessage);
  if (isNumConstantTerm(b.e)) return dividedBy(a, b.e->getConstant());
  if (isNumConstantTerm(a.e)) return dividing(a.e->getConstant(), b.e);
  QroEnvI* env = a.e->getEnv();
  return made(new (env) QroNumDivI(env, a.e, b.e));
}

QroNumExprArg QroPower(QroNumExprArg a, QroNum c) {
  QroNumExprI* e = impl(a);
  QroEnvI* env = e->getEnv();
  if (c == 2.0) {
    if (isExactVar(e))
      return made(new (env) QroNumQuadExprI(env, env->allocPairTerm(asVar(e), asVar(e), 1.0)));
    return made(new (env) QroNumSquareI(env, e));
  }
  if (c == 1.0) return a;
  return made(new (env) QroNumPowerCstI(env, e, c));
}

std::ostream& operator<<(std::ostream& os, const QroNumExprArg& e) {
  if (e.getImpl()) e.getImpl()->display(os);
  return os;
}
