#include "qrolinear.h"

#include <cmath>
#include <new>
#include <utility>
#include <ostream>

#include "qroalgorithm.h"
#include "qronumeric.h"
#include "qrooperators.h"

namespace {
bool markedForEnding(const QroExtractableI* x) {
  QroInt id = x->getId();
  return id == -1 || x->getEnv()->isMarked(id);
}

void printVar(std::ostream& os, const QroNumVarI* v) {
  if (v->getName())
    os << v->getName();
  else
    v->display(os);
}

}  // namespace

// ---------------------------------------------------------------------------
// Quadratic expressions

QroNumQuadExprI::QroNumQuadExprI(QroEnvI* env, QroQuadNode* node)
    : QroNumExprI(env), _first(nullptr), _last(nullptr) {
  append(node);
}

QroNumQuadExprI::~QroNumQuadExprI() {
  clearNodes();
}

void QroNumQuadExprI::append(QroQuadNode* node) {
  node->next = nullptr;
  if (_last)
    _last->next = node;
  else
    _first = node;
  _last = node;
  _env->noteUsesChanged(this);
}

void QroNumQuadExprI::appendCopies(const QroNumQuadExprI* other) {
  // The nodes present now: other may be this expression.
  QroQuadNode* stop = other->_last;
  for (QroQuadNode* n = other->_first; n; n = n->next) {
    append(_env->allocPairTerm(n->first, n->second, n->coef));
    if (n == stop) break;
  }
}

void QroNumQuadExprI::scale(QroNum c) {
  for (QroQuadNode* n = _first; n; n = n->next) n->coef *= c;
}

void QroNumQuadExprI::clearNodes() {
  QroQuadNode* n = _first;
  while (n) {
    QroQuadNode* next = n->next;
    _env->freePairTerm(n);
    n = next;
  }
  _first = _last = nullptr;
}

void QroNumQuadExprI::normalize() {
  if (!_first) return;
  bool changed = _first->coef == 0.0;
  for (QroQuadNode* n = _first; n; n = n->next) {
    if (n->coef == 0.0) continue;
    for (QroQuadNode* m = n->next; m; m = m->next) {
      QroNum sum;
      // Coefficients whose sum would round stay apart.
      if (m->coef != 0.0 && m->first == n->first && m->second == n->second &&
          QroExactSum(n->coef, m->coef, sum)) {
        n->coef = sum;
        m->coef = 0.0;
        changed = true;
      }
    }
  }
  if (changed) {
    QroQuadNode* n = _first;
    _first = _last = nullptr;
    while (n) {
      QroQuadNode* next = n->next;
      if (n->coef == 0.0)
        _env->freePairTerm(n);
      else
        append(n);
      n = next;
    }
  }
  if (_first && _first == _last && _first->coef == 0.0) clearNodes();
}

QroNumQuadExprI* QroNumQuadExprI::copyNonZero(QroEnvI* env, bool cloneVars) const {
  QroNumQuadExprI* q = new (env) QroNumQuadExprI(env);
  for (QroQuadNode* n = _first; n; n = n->next) {
    if (n->coef == 0.0) continue;
    QroNumVarI* a = n->first;
    QroNumVarI* b = n->second;
    if (cloneVars) {
      a = static_cast<QroNumVarI*>(env->getClone(a));
      b = static_cast<QroNumVarI*>(env->getClone(b));
    }
    q->append(env->allocPairTerm(a, b, n->coef));
  }
  return q;
}

QroExtractableI* QroNumQuadExprI::makeClone(QroEnvI* env) const {
  return copyNonZero(env, true);
}

QroNumExprI* QroNumQuadExprI::asNumExpr() {
  return copyNonZero(_env, false);
}

void QroNumQuadExprI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  for (QroQuadNode* n = _first; n && !v->isDone(); n = n->next) {
    if (n->coef == 0.0) continue;
    v->visitChild(this, n->first);
    if (!v->isDone()) v->visitChild(this, n->second);
  }
  v->endVisit(this);
}

QroBool QroNumQuadExprI::visitUses(QroExtractableVisitor* v) {
  for (QroQuadNode* n = _first; n; n = n->next) {
    v->visitChild(this, n->first);
    v->visitChild(this, n->second);
  }
  return 1;
}

QroBool QroNumQuadExprI::usesMarked() {
  QroFindMarkedVisitor v;
  visitUses(&v);
  return v.isDone();
}

void QroNumQuadExprI::endIfUsesMarked() {
  QroQuadNode* n = _first;
  _first = _last = nullptr;
  while (n) {
    QroQuadNode* next = n->next;
    if (markedForEnding(n->first) || markedForEnding(n->second))
      _env->freePairTerm(n);
    else
      append(n);
    n = next;
  }
}

void QroNumQuadExprI::display(std::ostream& os) const {
  const_cast<QroNumQuadExprI*>(this)->normalize();
  if (!_first) {
    os << "0*0";
    return;
  }
  os << "(";
  for (QroQuadNode* n = _first; n; n = n->next) {
    if (n != _first) os << " + ";
    os << n->coef << " * ";
    printVar(os, n->first);
    os << " * ";
    printVar(os, n->second);
  }
  os << ")";
}

QroNum QroNumQuadExprI::eval(QroAlgorithmI* algorithm) const {
  QroNum sum = 0;
  for (QroQuadNode* n = _first; n; n = n->next) {
    QroNum a = n->first->eval(algorithm);
    QroNum b = n->second->eval(algorithm);
    sum += n->coef * a * b;
  }
  return sum;
}

// ---------------------------------------------------------------------------
// Shared term operations

template <class B, class C>
void QroLinTermBase<B, C>::prependNode(QroLinearNode* n) {
  n->next = _first;
  _first = n;
  if (!_last) _last = n;
  _normalized = 0;
  this->_env->noteUsesChanged(this);
}

template <class B, class C>
void QroLinTermBase<B, C>::linkNode(QroLinearNode* n) {
  n->next = nullptr;
  if (_last)
    _last->next = n;
  else
    _first = n;
  _last = n;
}

template <class B, class C>
void QroLinTermBase<B, C>::appendNode(QroLinearNode* n) {
  linkNode(n);
  _normalized = 0;
  this->_env->noteUsesChanged(this);
}

template <class B, class C>
void QroLinTermBase<B, C>::appendNode(QroNumVarI* v, QroNum coef) {
  appendNode(this->_env->allocLinearTerm(v, coef));
}

template <class B, class C>
void QroLinTermBase<B, C>::appendExpr(QroNumExprI* e) {
  QroExprNode* n = static_cast<QroExprNode*>(this->_env->alloc(sizeof(QroExprNode)));
  n->expr = e;
  n->next = nullptr;
  if (_lastExpr)
    _lastExpr->next = n;
  else
    _firstExpr = n;
  _lastExpr = n;
  e->incrUseCount();
  this->_env->noteUsesChanged(this);
}

namespace {
void freeLinearNodes(QroEnvI* env, QroLinearNode* n) {
  while (n) {
    QroLinearNode* next = n->next;
    env->freeLinearTerm(n);
    n = next;
  }
}
}  // namespace

template <class B, class C>
template <class ReleaseExpr, class ReleaseKept>
void QroLinTermBase<B, C>::emptyParts(ReleaseExpr releaseExpr, ReleaseKept releaseKept) {
  QroEnvI* env = this->_env;
  QroExprNode* e = _firstExpr;
  _firstExpr = _lastExpr = nullptr;
  _quad = nullptr;
  _ownsQuad = 0;
  while (e) {
    QroExprNode* next = e->next;
    QroNumExprI* x = e->expr;
    env->free(e, sizeof(QroExprNode));
    releaseExpr(x);
    e = next;
  }
  freeLinearNodes(env, _first);
  _first = _last = nullptr;
  if (_kept.getImpl()) {
    QroExtractableArray kept = _kept;
    _kept = QroExtractableArray();
    releaseKept(kept);
  }
  _normalized = 0;
}

template <class B, class C>
void QroLinTermBase<B, C>::clearAll() {
  QroEnvI* env = this->_env;
  emptyParts([env](QroNumExprI* x) { env->releaseExpression(x); },
             [env](QroExtractableArray& kept) {
               QroReleaseElements(kept);
               if (!env->isEnding()) kept.end();
             });
}

template <class B, class C>
void QroLinTermBase<B, C>::dropParts() {
  QroEnvI* env = this->_env;
  QroNumQuadExprI* own = _ownsQuad ? _quad : nullptr;
  emptyParts(
      [env, own](QroNumExprI* x) {
        if (x == own)
          env->releaseExpression(x);
        else
          x->decrUseCount();
      },
      [](QroExtractableArray& kept) {
        for (QroInt i = 0; i < kept.getSize(); ++i)
          static_cast<QroNumExprI*>(kept[i])->decrUseCount();
        kept.end();
      });
}

template <class B, class C>
void QroLinTermBase<B, C>::privatizeQuad() {
  if (!_quad || _ownsQuad) return;
  QroEnvI* env = this->_env;
  QroNumQuadExprI* own = new (env) QroNumQuadExprI(env);
  own->appendCopies(_quad);
  for (QroExprNode* e = _firstExpr; e; e = e->next)
    if (e->expr == _quad) {
      e->expr = own;
      break;
    }
  own->incrUseCount();
  _quad->decrUseCount();
  _quad = own;
  _ownsQuad = 1;
}

template <class B, class C>
void QroLinTermBase<B, C>::copyLists(QroLinearNode*& first, QroLinearNode*& last,
                                     QroExprNode*& firstExpr, QroExprNode*& lastExpr,
                                     QroNumQuadExprI*& quad) const {
  QroEnvI* env = this->_env;
  first = last = nullptr;
  firstExpr = lastExpr = nullptr;
  quad = nullptr;
  for (QroLinearNode* n = _first; n; n = n->next) {
    QroLinearNode* c = env->allocLinearTerm(n->var, n->coef);
    if (last)
      last->next = c;
    else
      first = c;
    last = c;
  }
  for (QroExprNode* e = _firstExpr; e; e = e->next) {
    QroNumExprI* x = e->expr;
    if (x == _quad) {
      quad = new (env) QroNumQuadExprI(env);
      quad->appendCopies(_quad);
      x = quad;
    }
    QroExprNode* c = static_cast<QroExprNode*>(env->alloc(sizeof(QroExprNode)));
    c->expr = x;
    c->next = nullptr;
    if (lastExpr)
      lastExpr->next = c;
    else
      firstExpr = c;
    lastExpr = c;
    x->incrUseCount();
  }
}

template <class B, class C>
void QroLinTermBase<B, C>::dropMarked() {
  QroEnvI* env = this->_env;
  QroExprNode* e = _firstExpr;
  _firstExpr = _lastExpr = nullptr;
  while (e) {
    QroExprNode* next = e->next;
    if (markedForEnding(e->expr)) {
      if (e->expr == _quad) {
        _quad = nullptr;
        _ownsQuad = 0;
      }
      env->free(e, sizeof(QroExprNode));
    } else {
      e->next = nullptr;
      if (_lastExpr)
        _lastExpr->next = e;
      else
        _firstExpr = e;
      _lastExpr = e;
    }
    e = next;
  }
  if (_quad) _quad->endIfUsesMarked();
  QroLinearNode* n = _first;
  _first = _last = nullptr;
  while (n) {
    QroLinearNode* next = n->next;
    if (markedForEnding(n->var))
      env->freeLinearTerm(n);
    else
      linkNode(n);
    n = next;
  }
}

template <class B, class C>
template <class T>
void QroLinTermBase<B, C>::copyPartsInto(T* t, QroEnvI* cloneEnv) const {
  for (QroExprNode* e = _firstExpr; e; e = e->next)
    t->addExpr(cloneEnv ? static_cast<QroNumExprI*>(cloneEnv->getClone(e->expr)) : e->expr);
  for (QroLinearNode* n = _first; n; n = n->next)
    t->appendNode(cloneEnv ? static_cast<QroNumVarI*>(cloneEnv->getClone(n->var)) : n->var,
                  n->coef);
}

template <class B, class C>
void QroLinTermBase<B, C>::scaleParts(C c) {
  for (QroExprNode* e = _firstExpr; e; e = e->next) {
    if (e->expr == _quad) continue;
    QroNumExprI* old = e->expr;
    QroNumExprI* product = (QroNumExprArg(old) * c).getImpl();
    if (product != old) {
      // The old part may still be someone's: it is left, not ended.
      product->incrUseCount();
      e->expr = product;
      old->decrUseCount();
      this->_env->noteUsesChanged(this);
    }
  }
  if (_quad) {
    privatizeQuad();
    _quad->scale(static_cast<QroNum>(c));
  }
}

template <class B, class C>
QroNum QroLinTermBase<B, C>::evalParts(QroAlgorithmI* algorithm) const {
  QroNum sum = 0;
  for (QroExprNode* e = _firstExpr; e; e = e->next) sum += e->expr->eval(algorithm);
  for (QroLinearNode* n = _first; n; n = n->next) sum += n->coef * n->var->eval(algorithm);
  return sum;
}

template <class B, class C>
void QroLinTermBase<B, C>::visitAllParts(QroExtractableVisitor* v) {
  for (QroExprNode* e = _firstExpr; e; e = e->next) v->visitChild(this, e->expr);
  for (QroLinearNode* n = _first; n; n = n->next) v->visitChild(this, n->var);
  if (_quad) _quad->visitUses(v);
}

template <class B, class C>
void QroLinTermBase<B, C>::visitParts(QroExtractableVisitor* v) {
  v->visit(this);
  for (QroExprNode* e = _firstExpr; e && !v->isDone(); e = e->next) v->visitChild(this, e->expr);
  for (QroLinearNode* n = _first; n && !v->isDone(); n = n->next)
    if (n->coef != 0.0) v->visitChild(this, n->var);  // NaN counts as not 0
  v->endVisit(this);
}

template <class B, class C>
void QroLinTermBase<B, C>::displayTerms(std::ostream& os, bool integerConstant) const {
  (void)integerConstant;
  if (this->_env->isParenthesisDisplay()) {
    os << "( ";
    bool any = false;
    for (QroLinearNode* n = _first; n; n = n->next) {
      if (n != _first) os << " + ";
      any = true;
      if (n->coef == 0.0) {
        os << "0 ";
        continue;
      }
      if (n->coef != 1.0) os << n->coef << " * ";
      if (n->var->getName())
        os << n->var->getName() << " ";
      else
        n->var->display(os);
    }
    if (_firstExpr && _first) os << " + ";
    for (QroExprNode* e = _firstExpr; e; e = e->next) {
      if (e != _firstExpr) os << " + ";
      any = true;
      e->expr->display(os);
    }
    if (_constant != 0) {
      if (any) os << " + ";
      os << _constant << " ";
    }
    os << ") ";
    return;
  }
  bool printed = false;
  bool previous = false;
  for (QroLinearNode* n = _first; n; n = n->next) {
    if (previous && n->coef != 0.0) os << " + ";
    previous = QroNumLinTermI::displayTerm(os, n);
    printed = printed || previous;
  }
  for (QroExprNode* e = _firstExpr; e; e = e->next) {
    if (printed) os << " + ";
    e->expr->display(os);
    printed = true;
  }
  if (_constant != 0) {
    if (printed) os << " + ";
    os << _constant << " ";
  } else if (!printed) {
    os << _constant << " ";
  }
}

template class QroLinTermBase<QroNumExprI, QroNum>;
template class QroLinTermBase<QroIntExprI, QroInt>;

// ---------------------------------------------------------------------------
// Numeric terms

QroNumLinTermI::QroNumLinTermI(QroEnvI* env, QroNum constant)
    : QroLinTermBase<QroNumExprI, QroNum>(env, constant) {}

QroNumLinTermI::QroNumLinTermI(QroEnvI* env, QroLinearNode* node)
    : QroLinTermBase<QroNumExprI, QroNum>(env, 0.0) {
  appendNode(node);
}

QroNumLinTermI::~QroNumLinTermI() {
  clearAll();
}

void QroNumLinTermI::clear() {
  dropParts();
  _constant = 0.0;
}

bool QroNumLinTermI::displayTerm(std::ostream& os, const QroLinearNode* n) {
  if (n->coef == 0.0) return false;
  if (n->coef != 1.0) os << n->coef << " * ";
  if (n->var->getName())
    os << n->var->getName() << " ";
  else
    n->var->display(os);
  return true;
}

void QroNumLinTermI::addExpr(QroNumExprI* e) {
  if (e->getTypeInfo() == QroNumQuadExprI::GetTypeInfo()) {
    QroNumQuadExprI* q = static_cast<QroNumQuadExprI*>(e);
    if (_quad) {
      // q's nodes join the term's own quadratic part (q may be that part
      // taken over from the caller: it then counts twice and stays as it was).
      privatizeQuad();
      _quad->appendCopies(q);
      _normalized = 0;
      if (q != _quad) {
        if (!_kept.getImpl()) _kept = QroExtractableArray(QroEnv(_env), 0);
        _kept.add(q);
        q->incrUseCount();
      }
    } else {
      _ownsQuad = q->getUseCount() >= 1;
      if (_ownsQuad) q = static_cast<QroNumQuadExprI*>(q->asNumExpr());
      _quad = q;
      appendExpr(q);
    }
  } else {
    appendExpr(e);
  }
  normalize();
}

void QroNumLinTermI::takeParts(QroNumLinTermI* t) {
  if (t->_first) {
    if (_last)
      _last->next = t->_first;
    else
      _first = t->_first;
    _last = t->_last;
    _normalized = 0;
  }
  t->_first = t->_last = nullptr;
  if (t->_quad) {
    // Take the quadratic part out of t's list.
    QroNumQuadExprI* q = t->_quad;
    QroBool owned = t->_ownsQuad;
    QroExprNode** link = &t->_firstExpr;
    QroExprNode* prev = nullptr;
    while (*link && (*link)->expr != q) {
      prev = *link;
      link = &(*link)->next;
    }
    if (*link) {
      QroExprNode* node = *link;
      *link = node->next;
      if (t->_lastExpr == node) t->_lastExpr = prev;
      _env->free(node, sizeof(QroExprNode));
    }
    t->_quad = nullptr;
    t->_ownsQuad = 0;
    addExpr(q);
    _normalized = 0;
    // t's hold on q ends (addExpr raised the count again when it kept q or
    // appended it): a copy t made is released, a caller's only counted down.
    if (owned)
      q->release();
    else
      q->decrUseCount();
  }
  if (t->_firstExpr) {
    if (_lastExpr)
      _lastExpr->next = t->_firstExpr;
    else
      _firstExpr = t->_firstExpr;
    _lastExpr = t->_lastExpr;
  }
  t->_firstExpr = t->_lastExpr = nullptr;
  // The expressions t kept stay held, by this term.
  if (t->_kept.getImpl()) {
    if (!_kept.getImpl()) {
      _kept = t->_kept;
    } else {
      for (QroInt i = 0; i < t->_kept.getSize(); ++i) _kept.add(t->_kept[i]);
      t->_kept.end();
    }
    t->_kept = QroExtractableArray();
  }
  _constant += t->_constant;
  t->_constant = 0.0;
  t->_normalized = 0;
  _env->noteUsesChanged(this);
}

void QroNumLinTermI::addTerm(QroNumLinTermI* t) {
  t->checkRelease();  // before its parts move
  takeParts(t);
  t->releaseAllowed();
}

void QroNumLinTermI::swapContents(QroNumLinTermI* t) {
  std::swap(_kept, t->_kept);
  std::swap(_first, t->_first);
  std::swap(_last, t->_last);
  std::swap(_constant, t->_constant);
  std::swap(_quad, t->_quad);
  std::swap(_firstExpr, t->_firstExpr);
  std::swap(_lastExpr, t->_lastExpr);
  std::swap(_normalized, t->_normalized);
  std::swap(_ownsQuad, t->_ownsQuad);
  _env->noteUsesChanged(this);
  _env->noteUsesChanged(t);
}

void QroNumLinTermI::prependTerm(QroNumLinTermI* t) {
  t->checkRelease();
  t->takeParts(this);
  swapContents(t);
  t->releaseAllowed();
}

void QroNumLinTermI::addTermCopy(const QroNumLinTermI* t) {
  for (QroLinearNode* n = t->_first; n; n = n->next) {
    linkNode(_env->allocLinearTerm(n->var, n->coef));
    _normalized = 0;
  }
  if (t->_quad) {
    addExpr(t->_quad);
    _normalized = 0;
  }
  for (QroExprNode* e = t->_firstExpr; e; e = e->next)
    if (e->expr != t->_quad) appendExpr(e->expr);
  _constant += t->_constant;
}

void QroNumLinTermI::scale(QroNum c) {
  if (c == 0.0) {
    clear();
    return;
  }
  if (c == 1.0) return;
  scaleParts(c);
  for (QroLinearNode* n = _first; n; n = n->next) n->coef *= c;
  _constant *= c;
}

QroInt QroNumLinTermI::normalize() {
  if (_normalized) return 0;
  // Each variable's last node is found through a scratch block indexed by
  // identifier, or through the variables' scratch slots under the lock.
  struct Scratch {
    QroEnvI* env;
    QroInt* block;
    explicit Scratch(QroEnvI* e) : env(e), block(nullptr) {
      if (env->usesScratchBlocks())
        block = env->getScratchBlock();
      else
        env->lock();
    }
    ~Scratch() {
      if (block)
        env->releaseScratchBlock(block);
      else
        env->unlock();
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
  } scratch(_env);
  const bool useBlock = scratch.block != nullptr;
  QroInt* block = scratch.block;
  QroInt merged = 0;
  if (_quad) _quad->normalize();
  for (QroLinearNode* n = _first; n; n = n->next) {
    if (useBlock)
      block[n->var->getId()] = reinterpret_cast<QroInt>(n);
    else
      n->var->setScratchNode(n);
  }
  QroLinearNode* n = _first;
  _first = _last = nullptr;
  while (n) {
    QroLinearNode* next = n->next;
    QroLinearNode* rec = useBlock ? reinterpret_cast<QroLinearNode*>(block[n->var->getId()])
                                  : static_cast<QroLinearNode*>(n->var->getScratchNode());
    QroNum sum;
    if (rec != n && QroExactSum(rec->coef, n->coef, sum)) {
      rec->coef = sum;
      _env->freeLinearTerm(n);
      ++merged;
    } else if (rec != n) {
      linkNode(n);  // the sum would round: the node stays
    } else if (n->coef == 0.0) {
      _env->freeLinearTerm(n);
    } else {
      linkNode(n);
    }
    n = next;
  }
  _normalized = 1;
  return merged;
}

QroExtractableI* QroNumLinTermI::makeClone(QroEnvI* env) const {
  QroNumLinTermI* t = new (env) QroNumLinTermI(env, _constant);
  copyPartsInto(t, env);
  return t;
}

QroNumLinTermI* QroNumLinTermI::copy() const {
  QroNumLinTermI* t = new (_env) QroNumLinTermI(_env, _constant);
  copyPartsInto(t, nullptr);
  return t;
}

QroNumLinTermI* QroNumLinTermI::duplicate() const {
  QroNumLinTermI* t = new (_env) QroNumLinTermI(_env, _constant);
  QroLinearNode *first, *last;
  QroExprNode *firstExpr, *lastExpr;
  QroNumQuadExprI* quad;
  copyLists(first, last, firstExpr, lastExpr, quad);
  t->adoptParts(first, last, firstExpr, lastExpr, quad);
  t->_normalized = _normalized;
  return t;
}

QroNumExprI* QroNumLinTermI::asNumExpr() {
  return copy();
}

void QroNumLinTermI::display(std::ostream& os) const {
  const_cast<QroNumLinTermI*>(this)->normalize();
  displayTerms(os, false);
}

QroBool QroNumLinTermI::isIntExpr() const {
  for (QroExprNode* e = _firstExpr; e; e = e->next)
    if (!e->expr->isIntExpr()) return 0;
  for (QroLinearNode* n = _first; n; n = n->next)
    if (!n->var->isIntExpr() || !QroIsIntegerValue(n->coef)) return 0;
  return QroIsIntegerValue(_constant);
}

QroNum QroNumLinTermI::eval(QroAlgorithmI* algorithm) const {
  return evalParts(algorithm) + _constant;
}

void QroNumLinTermI::adoptParts(QroLinearNode* first, QroLinearNode* last, QroExprNode* firstExpr,
                                QroExprNode* lastExpr, QroNumQuadExprI* quad) {
  _first = first;
  _last = last;
  _firstExpr = firstExpr;
  _lastExpr = lastExpr;
  _quad = quad;
  _ownsQuad = quad != nullptr;
  _normalized = 0;
  _env->noteUsesChanged(this);
}

// ---------------------------------------------------------------------------
// Integer terms

QroIntLinTermI::QroIntLinTermI(QroEnvI* env, QroInt constant)
    : QroLinTermBase<QroIntExprI, QroInt>(env, constant) {}

QroIntLinTermI::~QroIntLinTermI() {
  clearAll();
}

void QroIntLinTermI::clear() {
  dropParts();
  _constant = 0;
}

void QroIntLinTermI::addExpr(QroNumExprI* e) {
  appendExpr(e);
}

void QroIntLinTermI::scale(QroInt k) {
  if (k == 0) {
    clear();
    return;
  }
  if (k == 1) return;
  // The coefficients and the constant are checked before anything changes:
  // an overflow among them leaves the term as it was.
  const QroNum kk = static_cast<QroNum>(k);
  const QroInt constant = QroGuardedProduct(static_cast<QroNum>(_constant), kk);
  for (QroLinearNode* n = _first; n; n = n->next) {
    QroNum p = kk * n->coef;
    if (!QroIsWithinInt53(p)) throw QroIntExpr::QroOverflowOccurred();
  }
  scaleParts(k);
  for (QroLinearNode* n = _first; n; n = n->next)
    n->coef = static_cast<QroNum>(static_cast<QroInt>(kk * n->coef));
  _constant = constant;
}

QroIntLinTermI* QroIntLinTermI::copy() const {
  QroIntLinTermI* t = new (_env) QroIntLinTermI(_env, _constant);
  copyPartsInto(t, nullptr);
  return t;
}

QroIntExprI* QroIntLinTermI::asIntExpr() {
  return copy();
}

QroExtractableI* QroIntLinTermI::makeClone(QroEnvI* env) const {
  QroIntLinTermI* t = new (env) QroIntLinTermI(env, _constant);
  copyPartsInto(t, env);
  return t;
}

QroNumLinTermI* QroIntLinTermI::makeNumLinTerm() {
  QroNumLinTermI* t = new (_env) QroNumLinTermI(_env, static_cast<QroNum>(_constant));
  if (_useCount < 1) {
    // Not consumed: a handle may still point at the term.
    QroLinearNode *first, *last;
    QroExprNode *firstExpr, *lastExpr;
    QroNumQuadExprI* quad;
    copyLists(first, last, firstExpr, lastExpr, quad);
    t->adoptParts(first, last, firstExpr, lastExpr, quad);
    return t;
  }
  copyPartsInto(t, nullptr);
  return t;
}

QroNumLinTermI* QroIntLinTermI::takeNumLinTerm() {
  QroNumLinTermI* t;
  if (_quad && !_ownsQuad) {
    // A quadratic part taken over from the caller is not the new term's own.
    t = makeNumLinTerm();
  } else {
    t = new (_env) QroNumLinTermI(_env, static_cast<QroNum>(_constant));
    t->adoptParts(_first, _last, _firstExpr, _lastExpr, _quad);
    _first = _last = nullptr;
    _firstExpr = _lastExpr = nullptr;
    _quad = nullptr;
    _ownsQuad = 0;
  }
  dropParts();
  release();
  return t;
}

void QroIntLinTermI::display(std::ostream& os) const {
  if (_quad) _quad->normalize();
  displayTerms(os, true);
}

QroNum QroIntLinTermI::eval(QroAlgorithmI* algorithm) const {
  return evalParts(algorithm) + static_cast<QroNum>(_constant);
}
