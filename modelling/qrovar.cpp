#include "qrovar.h"

#include <cmath>
#include <limits>
#include <ostream>

#include "qroalgorithm.h"
#include "qrochange.h"
#include "qrolinear.h"
#include "qronumeric.h"
#include "qrointset.h"

namespace {
const QroNum kInf = std::numeric_limits<double>::infinity();

// A domain of bounds 0 and 1 without a value list: a bound outside {0, 1}
// makes the variable an integer one. A value list within 0..1 is adjusted
// like any other.
bool plainBoolean(const QroVarDomainI* d) {
  return d->getType() == QroNumVar::Bool && !d->isEnumerated();
}
}  // namespace

QroNum QroNumVar::Infinity() {
  return kInf;
}

QroNumVar::QroNumVar(const QroEnv& env, QroNum lb, QroNum ub, Type type, const char* name)
    : QroNumExpr(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) QroAbortEmptyHandle("Using empty QroEnv handle");
  _impl = new (e) QroNumVarI(e, lb, ub, static_cast<int>(type), name);
}

QroNumVar::Type QroNumVar::getType() const {
  if (!_impl) throw QroEmptyHandleException("Using empty handle QroNumVar::getType");
  return static_cast<Type>(static_cast<QroNumVarI*>(_impl)->getType());
}

QroNumVarI::QroNumVarI(QroEnvI* env, QroNum lb, QroNum ub, int type, const char* name)
    : QroIntExprI(env, name), _domain(nullptr), _scratch(nullptr) {
  if (type == QroNumVar::Float) {
    _domain = env->makeNumVarDomain(lb, ub);
  } else if (type == QroNumVar::Int) {
    // Integer bounds round inward: the upper bound goes down.
    _domain = env->makeIntVarDomain(QroLowerBoundToInt53(lb), QroUpperBoundToInt53(ub));
  } else {
    QroInt l = QroBoundToInt53(lb);
    if (lb < 0.0) l = 0;
    if (lb > 1.0) l = 1;
    QroInt u = QroBoundToInt53(ub);
    if (ub < 0.0) u = 0;
    if (ub > 0.0) u = 1;
    _domain = env->makeIntVarDomain(l, u);
  }
}

QroNumVarI::QroNumVarI(QroEnvI* env, QroVarDomainI* domain, const char* name)
    : QroIntExprI(env, name), _domain(domain), _scratch(nullptr) {}

QroNumVarI::~QroNumVarI() {
  if (_domain && !_domain->isShared()) _domain->destroy(_env);
  _domain = nullptr;
}

QroNum QroNumVarI::getLB() const {
  return _domain ? _domain->getLB() : 0.0;
}
QroNum QroNumVarI::getUB() const {
  return _domain ? _domain->getUB() : kInf;
}

void QroNumVarI::replaceDomain(QroVarDomainI* d) {
  QroVarDomainI* old = _domain;
  _domain = d;
  if (old && old != d && !old->isShared()) old->destroy(_env);
}

void QroNumVarI::checkBounds(QroNum lb, QroNum ub) {
  if (_domain && _domain->isNum() && _domain->isEnumerated())
    throw QroNotSupportedOperation("SetLB is not supported on a discrete floating point variable");
  QroSetNumVarBounds c(this, lb, ub);
  _env->checkChange(&c, this);
}

void QroNumVarI::notifyBounds(QroNum lb, QroNum ub) {
  QroSetNumVarBounds c(this, lb, ub);
  _env->notifyChangeMade(&c, this);
}

void QroNumVarI::setLB(QroNum v) {
  checkBounds(v, getUB());
  if (!_domain) {
    _domain = _env->makeNumVarDomain(v, kInf);
  } else if (plainBoolean(_domain)) {
    QroInt k = QroLowerBoundToInt53(v);
    if ((k != 0 && k != 1) || _domain->isShared())
      replaceDomain(_env->makeIntVarDomain(k, _domain->getIntUB()));
    else
      _domain->setLB(static_cast<QroNum>(k));
  } else if (_domain->isShared()) {
    if (_domain->isInt())
      replaceDomain(_env->makeIntVarDomain(QroLowerBoundToInt53(v), _domain->getIntUB()));
    else
      replaceDomain(_env->makeNumVarDomain(v, _domain->getUB()));
  } else {
    _domain->setLB(v);
  }
  notifyBounds(v, getUB());
}

void QroNumVarI::setUB(QroNum v) {
  checkBounds(getLB(), v);
  if (!_domain) {
    _domain = _env->makeNumVarDomain(0.0, v);
  } else if (plainBoolean(_domain)) {
    QroInt k = QroUpperBoundToInt53(v);
    if ((k != 0 && k != 1) || _domain->isShared())
      replaceDomain(_env->makeIntVarDomain(_domain->getIntLB(), k));
    else
      _domain->setUB(static_cast<QroNum>(k));
  } else if (_domain->isShared()) {
    if (_domain->isInt())
      replaceDomain(_env->makeIntVarDomain(_domain->getIntLB(), QroUpperBoundToInt53(v)));
    else
      replaceDomain(_env->makeNumVarDomain(_domain->getLB(), v));
  } else {
    _domain->setUB(v);
  }
  notifyBounds(getLB(), v);
}

void QroNumVarI::setBounds(QroNum lb, QroNum ub) {
  checkBounds(lb, ub);
  if (!_domain) {
    _domain = _env->makeNumVarDomain(lb, ub);
  } else {
    if (plainBoolean(_domain)) {
      QroInt l = QroLowerBoundToInt53(lb), u = QroUpperBoundToInt53(ub);
      if (l < 0 || l > 1 || u < 0 || u > 1) {
        // A bound leaves {0, 1}: the variable becomes an integer one.
        replaceDomain(_env->makeIntVarDomain(l, u));
        notifyBounds(lb, ub);
        return;
      }
    }
    if (_domain->isShared()) replaceDomain(_domain->makeCopy(_env));
    if (_domain) {
      _domain->setLB(lb);
      _domain->setUB(ub);
    }
  }
  notifyBounds(lb, ub);
}

QroExtractableI* QroNumVarI::makeClone(QroEnvI* env) const {
  QroVarDomainI* d = _domain ? _domain->makeCopy(env) : nullptr;
  return new (env) QroNumVarI(env, d, getName());
}

QroIntSetVarI::QroIntSetVarI(QroEnvI* env, QroIntSetI* possible, QroIntSetI* required,
                             const char* name)
    : QroExtractableI(env, name), _possible(possible), _required(required) {
  if (!possible) throw QroEmptyHandleException("QroIntSetVarI: no possible set");
}

namespace {
QroIntSetVarI* checkedSetVar(QroIntSetVarI* set) {
  if (!set) throw QroEmptyHandleException("QroIntSetCardVarI: no set variable");
  return set;
}
}  // namespace

QroIntSetCardVarI::QroIntSetCardVarI(QroEnvI* env, QroIntSetVarI* set, const char* name)
    : QroNumVarI(env, 0.0, static_cast<QroNum>(checkedSetVar(set)->getPossibleSet()->getSize()),
                 QroNumVar::Int, name),
      _set(set) {}

QroExtractableI* QroIntSetCardVarI::makeClone(QroEnvI*) const {
  throw QroExtractable::NoCloneMechanismException(this);
}

void QroNumVarI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  v->endVisit(this);
}

QroNum QroNumVarI::eval(QroAlgorithmI* algorithm) const {
  return algorithm->getValue(const_cast<QroNumVarI*>(this));
}

QroNumLinTermI* QroNumVarI::makeNumLinTerm() {
  return new (_env) QroNumLinTermI(_env, _env->allocLinearTerm(this, 1.0));
}

QroIntLinTermI* QroNumVarI::makeIntLinTerm() {
  QroIntLinTermI* t = new (_env) QroIntLinTermI(_env, 0);
  t->appendNode(this, 1.0);
  return t;
}

void QroNumVarI::display(std::ostream& os) const {
  const char* name = getName();
  if (!_domain) {
    if (name)
      os << name << "[0 .. " << kInf << "] ";
    else
      os << "QroNumVar(" << getId() << ")[0 .. " << kInf << "] ";
    return;
  }
  if (name) {
    os << name;
  } else {
    if (_domain->getType() == QroNumVar::Float)
      os << "QroNumVar(";
    else if (_domain->isAny())
      os << "QroAnyVar(";
    else
      os << "QroIntVar(";
    os << getId() << ")";
  }
  _domain->display(os);
}
