#include "qromodel.h"

#include <ostream>

#include <cstddef>

#include "qroalgorithm.h"
#include "qroregistry.h"

static_assert(offsetof(QroModelI::Link, next) == 0, "a next field is its link");

// ---------------------------------------------------------------------------
// Models

QroModelI::QroModelI(QroEnvI* env, const char* name)
    : QroExtractableI(env, name),
      _linkEnv(nullptr),
      _head(nullptr),
      _tail(&_head),
      _links(env->getMemoryManager()),
      _linksMade(0),
      _cascade(-1),
      _seen(0),
      _checked(0),
      _walkOnly(0) {}

void QroModelI::save(void* cell) {
  if (QroLocalEnvI* local = _env->getLocalEnv()) local->saveValue3(cell);
}

namespace {
// The member as an expression that a model holds (counted): not a variable,
// a constraint or a model, which no count ends and no operator changes.
QroNumExprI* heldExpr(QroExtractableI* x) {
  return x->isNumExprNode() ? static_cast<QroNumExprI*>(x) : nullptr;
}
}  // namespace

QroModelI::~QroModelI() {
  dropMemberIndex();
  QroEnvI* env = linkEnv();
  save(&_head);
  save(&_tail);
  Link* l = _head;
  _head = nullptr;
  _tail = &_head;
  while (l) {
    Link* next = l->next;
    letGo(l);
    env->free(l, sizeof(Link));
    l = next;
  }
}

// A member deleted by the running cascade, or by the ending environment, is
// not touched (not even cast).
void QroModelI::letGo(Link* l) {
  if (!l->held || _env->isReleasedByCascade(l->member)) return;
  static_cast<QroNumExprI*>(l->member)->decrUseCount();
}

void QroModelI::append(QroExtractableI* x) {
  QroCheckSameEnv(_env, x, "QroModel::add: mixing mismatch environments");
  if (!_linkEnv) _linkEnv = x->getEnv();
  save(&_tail);
  save(_tail);
  Link* l = static_cast<Link*>(_linkEnv->alloc(sizeof(Link)));
  l->next = nullptr;
  l->member = x;
  l->prev = _tail == &_head ? nullptr : reinterpret_cast<Link*>(_tail);
  l->nextSame = nullptr;
  l->held = 0;
  if (_linksMade) {
    if (_env->getLocalEnv()) {
      dropMemberIndex();
      _walkOnly = 1;
    } else {
      l->nextSame = static_cast<Link*>(_links.find(x));
      _links.set(x, l);
    }
  }
  *_tail = l;
  _tail = &l->next;
  if (QroNumExprI* e = heldExpr(x)) {
    e->incrUseCount();
    l->held = 1;
  }
  _env->noteUse(this, x);
}

void QroModelI::add(QroExtractableI* x) {
  QroCheckSameEnv(_env, x, "QroModel::add: mixing mismatch environments");
  QroAddOneToModel c(this, x);
  _env->checkChange(&c, this);
  append(x);
  _env->notifyChangeMade(&c, this);
}

QroInt QroModelI::getSize() const {
  QroInt n = 0;
  for (Link* l = _head; l; l = l->next) ++n;
  return n;
}

QroExtractableI* QroModelI::makeClone(QroEnvI* env) const {
  QroModelI* m = new (env) QroModelI(env);
  for (Link* l = _head; l; l = l->next) m->add(env->getClone(l->member));
  return m;
}

bool QroModelI::walksLinks(QroRecycleBinI* cascade) const {
  return !cascade || cascade->isSweepingAll() || _walkOnly || _env->getLocalEnv();
}

void QroModelI::endIfUsesMarked() {
  QroRecycleBinI* cascade = _env->getCascade();
  if (walksLinks(cascade)) {
    if (_env->getLocalEnv()) _walkOnly = 1;
    unlinkMarked();
    return;
  }
  if (!_linksMade) indexMembers();
  unlinkMarkedSince(cascade);
}

QroBool QroModelI::usesMarked() {
  QroRecycleBinI* cascade = _env->getCascade();
  if (walksLinks(cascade)) {
    for (Link* l = _head; l; l = l->next) {
      QroInt id = l->member->getId();
      if (id == -1 || _env->isMarked(id)) return 1;
    }
    return 0;
  }
  if (!_linksMade) indexMembers();
  startCascade(cascade);
  QroExtractableArray marked = cascade->getMarked();
  for (; _checked < marked.getSize(); ++_checked)
    if (_links.find(marked[_checked])) return 1;
  return 0;
}

void QroModelI::startCascade(QroRecycleBinI* cascade) {
  if (_cascade == cascade->getSerial()) return;
  _cascade = cascade->getSerial();
  _seen = _checked = 0;
}

// Every link in turn.
void QroModelI::unlinkMarked() {
  dropMemberIndex();
  QroEnvI* env = linkEnv();
  save(&_tail);
  Link** link = &_head;
  while (*link) {
    Link* l = *link;
    QroInt id = l->member->getId();
    if (id == -1 || _env->isMarked(id)) {
      save(link);
      *link = l->next;
      if (l->next) {
        save(&l->next->prev);
        l->next->prev = l->prev;
      }
      if (id != -1) letGo(l);
      env->free(l, sizeof(Link));
    } else {
      link = &l->next;
    }
  }
  _tail = link;
}

void QroModelI::indexMembers() {
  for (Link* l = _head; l; l = l->next) {
    l->nextSame = static_cast<Link*>(_links.find(l->member));
    _links.set(l->member, l);
  }
  _linksMade = 1;
  _cascade = -1;
}

void QroModelI::dropMemberIndex() {
  _links.clear();
  _linksMade = 0;
}

// The links of the objects the cascade marked since this model last looked.
void QroModelI::unlinkMarkedSince(QroRecycleBinI* cascade) {
  startCascade(cascade);
  QroExtractableArray marked = cascade->getMarked();
  QroEnvI* env = linkEnv();
  for (; _seen < marked.getSize(); ++_seen) {
    for (Link* l = static_cast<Link*>(_links.take(marked[_seen])); l;) {
      Link* same = l->nextSame;
      Link** at = l->prev ? &l->prev->next : &_head;
      *at = l->next;
      if (l->next)
        l->next->prev = l->prev;
      else
        _tail = at;
      letGo(l);
      env->free(l, sizeof(Link));
      l = same;
    }
  }
}

void QroModelI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  for (Link* l = _head; l && !v->isDone(); l = l->next) v->visitChild(this, l->member);
  v->endVisit(this);
}

void QroModelI::display(std::ostream& os) const {
  os << "QroModel ";
  if (getName())
    os << getName();
  else
    os << "model" << getId();
  os << " = {" << std::endl;
  for (Link* l = _head; l; l = l->next) {
    l->member->display(os);
    os << std::endl;
  }
  os << "}" << std::endl;
}

QroModel::QroModel(const QroEnv& env, const char* name) : QroExtractable(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) QroAbortEmptyHandle("Using empty QroEnv handle");
  _impl = new (e) QroModelI(e, name);
}

QroExtractable QroModel::add(const QroExtractable& x) const {
  if (!_impl) throw QroEmptyHandleException("trying to add to an empty handle QroModel");
  if (!x.getImpl()) throw QroEmptyHandleException("trying to add an empty handle extractable");
  getImpl()->add(x.getImpl());
  return x;
}

// ---------------------------------------------------------------------------
// Objectives

QroNotAllowedWithMultiCriterionException::~QroNotAllowedWithMultiCriterionException() {}

void QroNotAllowedWithMultiCriterionException::print(std::ostream& os) const {
  os << getMessage() << " - not allowed with multi-criterion models";
}

QroObjectiveI::QroObjectiveI(QroEnvI* env, QroNumExprI* expr, int sense, const char* name)
    : QroExtractableI(QroSameEnv(env, expr, "QroObjective: mixing mismatch environments"), name),
      _sense(sense),
      _expr(nullptr),
      _multi(nullptr) {
  _expr = expr->makeNumLinTerm();
  _expr->incrUseCount();
}

QroObjectiveI::~QroObjectiveI() {
  if (_expr) _env->releaseExpression(_expr);
  _expr = nullptr;
}

QroNumExprI* QroObjectiveI::getExpr() const {
  if (!_expr) throw QroNotAllowedWithMultiCriterionException("QroObjective::getExpr");
  return _expr;
}

QroNumVarI* QroObjectiveI::getSingleVariable() const {
  if (!_expr || _expr->getTypeInfo() != QroNumLinTermI::GetTypeInfo()) return nullptr;
  const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(_expr);
  QroLinearNode* n = t->getFirstNode();
  if (!n || n->next || t->getFirstExpr()) return nullptr;
  return n->var;
}

QroExtractableI* QroObjectiveI::makeClone(QroEnvI* env) const {
  return new (env) QroObjectiveI(env, static_cast<QroNumExprI*>(env->getClone(_expr)), _sense);
}

void QroObjectiveI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  if (_expr) v->visitChild(this, _expr);
  v->endVisit(this);
}

void QroObjectiveI::display(std::ostream& os) const {
  if (getName())
    os << getName();
  else
    os << "obj" << getId();
  os << " = (";
  if (_expr) _expr->display(os);
  os << (_sense == -1 ? ", QroObjective, Maximize);" : ", QroObjective, Minimize);") << std::endl;
}

QroObjective::QroObjective(const QroEnv& env, const QroNumExprArg& expr, int sense,
                           const char* name)
    : QroExtractable(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) QroAbortEmptyHandle("Using empty QroEnv handle");
  if (!expr.getImpl()) QroAbortEmptyHandle("Using empty QroNumExpr handle");
  _impl = new (e) QroObjectiveI(e, expr.getImpl(), sense, name);
}

QroNumExpr QroObjective::getExpr() const {
  if (!_impl) throw QroEmptyHandleException();
  return QroNumExpr(getImpl()->getExpr());
}

QroNumVar QroObjective::getSingleVariable() const {
  if (!_impl) throw QroEmptyHandleException();
  return QroNumVar(getImpl()->getSingleVariable());
}
