// The environment's services to expressions: term nodes, expression release
// and the shared variable domains.
#include <limits>
#include <new>

#include "qrolinear.h"
#include "qrorange.h"
#include "qrovar.h"

QroLinearNode* QroEnvI::allocLinearTerm(QroNumVarI* var, QroNum coef) {
  QroLinearNode* n = static_cast<QroLinearNode*>(alloc24());
  n->var = var;
  n->next = nullptr;
  n->coef = coef;
  return n;
}

void QroEnvI::freeLinearTerm(QroLinearNode* n) {
  free24(n);
}

QroQuadNode* QroEnvI::allocPairTerm(QroNumVarI* a, QroNumVarI* b, QroNum coef) {
  QroQuadNode* n = static_cast<QroQuadNode*>(alloc32());
  if (a->getId() >= b->getId()) {
    n->first = a;
    n->second = b;
  } else {
    n->first = b;
    n->second = a;
  }
  n->next = nullptr;
  n->coef = coef;
  return n;
}

void QroEnvI::freePairTerm(QroQuadNode* n) {
  free32(n);
}

void QroEnvI::releaseExpression(QroNumExprI* e) {
  if (!e || isEnding()) return;
  if (getCascade() && isReleasedByCascade(e)) return;
  // Destroyed at once otherwise, its users asked here only: when they refuse
  // that, the operand stays, with no holder (a cascade sorts out its own at
  // deletion). This runs in the destructor of a holder that destroyExtractable
  // deletes, which throws what the refusal says once it is done.
  if (!getCascade() && !_listener && !e->isNumVar() && e->getUseCount() <= 1 &&
      !mayDestroy(e, _destroyFailure)) {
    e->decrUseCount();
    return;
  }
  e->releaseUnlessEnding();
}

namespace {
template <class T, class... A>
T* makeDomain(QroEnvI* env, A... args) {
  void* p = env->alloc(sizeof(T));
  return new (p) T(args...);
}
}  // namespace

QroVarDomainI* QroEnvI::makeNumVarDomain(QroNum lb, QroNum ub) {
  if (lb == 0.0 && ub == std::numeric_limits<double>::infinity()) return nullptr;
  if (getLocalEnv()) return makeDomain<QroNumVarDomainI>(this, lb, ub);
  if (!numRangeScratch()) numRangeScratch() = new (this) QroNumRangeI(this, 0, 0);
  if (!numDomainHash()) {
    QroGenAlloc* a = getGeneralAllocator();
    numDomainHash() = new (a) QroNumSharedDomainHash(this);
  }
  QroNumRangeI* key = numRangeScratch();
  key->setBoundsUnchecked(lb, ub);
  QroVarDomainI* d = nullptr;
  if (numDomainHash()->find(key, d) == 0) return d;
  d = makeDomain<QroNumSharedVarDomainI>(this, lb, ub);
  QroNumRangeI* stored = static_cast<QroNumRangeI*>(key->copyInto(this));
  numDomainHash()->add(stored, d);
  return d;
}

QroVarDomainI* QroEnvI::makeIntVarDomain(QroInt lb, QroInt ub) {
  bool boolean = lb == 0 && ub == 1;
  if (getLocalEnv()) {
    if (boolean) return makeDomain<QroBoolVarDomainI>(this, lb, ub);
    return makeDomain<QroIntVarDomainI>(this, lb, ub);
  }
  if (!intRangeScratch()) intRangeScratch() = new (this) QroIntRangeI(this, 0, 0);
  if (!intDomainHash()) {
    QroGenAlloc* a = getGeneralAllocator();
    intDomainHash() = new (a) QroIntSharedDomainHash(this);
  }
  QroIntRangeI* key = intRangeScratch();
  key->setBoundsUnchecked(lb, ub);
  QroVarDomainI* d = nullptr;
  if (intDomainHash()->find(key, d) == 0) return d;
  if (boolean)
    d = makeDomain<QroBoolSharedVarDomainI>(this, lb, ub);
  else
    d = makeDomain<QroIntSharedVarDomainI>(this, lb, ub);
  QroIntRangeI* stored = static_cast<QroIntRangeI*>(key->copyInto(this));
  intDomainHash()->add(stored, d);
  return d;
}
