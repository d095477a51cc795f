#include "qrcconstraint.h"

#include <cstring>
#include <ostream>

#include "qrcexpr.h"
#include "qrcfail.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qrcoperands.h"
#include "qrcqueue.h"

// ---------------------------------------------------------------- constraint

QrcConstraintI::QrcConstraintI(QrcManagerI* manager)
    : QrcDemonI(manager, this),
      _name(nullptr),
      _opposite(nullptr),
      _truthRecord(nullptr),
      _copyMemo(nullptr),
      _parent(this),
      _nextPending(nullptr),
      _status(manager, 0),
      _failTrap(nullptr),
      _failureVariable(nullptr),
      _addingGoal(nullptr),
      _filed(0) {
  _flags = ConstraintItem;
}

QrcConstraintI::QrcConstraintI(const QrcManager& manager) : QrcConstraintI(manager.getImpl()) {}

QrcGoalI* QrcConstraintI::execute() {
  _manager->add(this);
  return nullptr;
}

void QrcConstraintI::metaPostDemon(QrcDemonI*) {
  _manager->getErrorReporter()->report(QrcNoMetaPostDemonError, "constraint without metaPostDemon",
                                       " ", this);
}

void QrcConstraintI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  if (_manager->getPropagationQueue()->isTracing())
    os << "QrcConstraint"
       << "(" << static_cast<const void*>(this) << ")";
}

void QrcConstraintI::addStatusBits(QrcInt bits) {
  _status.set(_manager, _status.getValue() | bits);
}

void QrcConstraintI::postAndPropagate() {
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  _manager->setCurrentDemon(this);
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  if (_state != Idle && _state != Pending && _state != Dormant && !isPosted()) {
    _manager->incrementConstraintCount();
    QrcSearchMonitorI* mon = q->isTracing() ? q->getMonitor() : nullptr;
    if (mon) mon->notifyPostBegin(this);
    post();
    if (mon) mon->notifyPostEnd(this);
    setStatusBits(Added | Posted);
  }
  runPropagate();
  _manager->setCurrentDemon(saved);
}

void QrcConstraintI::propagateBody() {
  if (_failTrap)
    static_cast<QrcTryCatchFailI*>(_failTrap)->run();
  else
    propagate();
}

void QrcConstraintI::runPropagate() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->enter();
  markPending();
  _state = Idle;
  if (_truthRecord) {
    if (_truthRecord->isFalse()) _manager->fail();
    QrcBoolEventHandlerI* partner = _truthRecord->getPartner();
    if (partner) {
      partner->setFalse();
      if (_state == Fresh) markPending();
    }
  }
  QrcSearchMonitorI* mon = q->isTracing() ? q->getMonitor() : nullptr;
  if (mon) mon->notifyConstraintPropagateBegin(this);
  propagateBody();
  if (mon) mon->notifyConstraintPropagateEnd(this);
  setStatusBits(Propagated);
  q->leave();
}

void QrcConstraintI::runIfPending() {
  if (_state != Pending) return;
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  _state = Idle;
  _manager->setCurrentDemon(this);
  if (hasQuietTest() && !q->isTracing() && !hasFailTrap() && runIfQuiet()) {
    q->countQuietRun();
    _manager->setCurrentDemon(saved);
    return;
  }
  q->countDemonRun();
  QrcSearchMonitorI* mon = q->isTracing() ? q->getMonitor() : nullptr;
  if (mon)
    mon->notifyConstraintPropagateBegin(this);
  else if (q->isTracing())
    q->setTracedDemon(this);
  propagateBody();
  if (mon)
    mon->notifyConstraintPropagateEnd(this);
  else if (q->isTracing())
    q->clearTracedDemon(this);
  _manager->setCurrentDemon(saved);
}

void QrcConstraintI::metaPost() {
  QrcDemonI* d = new (_manager) QrcBoolExpEventHandlerConstraintI(_manager, this);
  if (_truthRecord) _truthRecord->getDemons().addConstraint(d);
  metaPostDemon(d);
}

QrcConstraintI* QrcConstraintI::makeOpposite() {
  _manager->getErrorReporter()->report(QrcNoOppositeError, "constraint without opposite", " ",
                                       this);
  return nullptr;
}

QrcConstraintI* QrcConstraintI::makeCopy(QrcManagerI*) const {
  _manager->getErrorReporter()->report(QrcInternalError, "internal error",
                                       "QrcConstraintI::makeCopy undefined", this);
  return nullptr;
}

void QrcConstraintI::accept(QrcConstraintVisitorI* visitor) {
  visitor->visit(this);
}

void QrcConstraintI::pushUnlessNested() {
  if (_manager->isInNestedSolve()) return;
  push(QrcLastPriority);
}

void QrcConstraintI::addConstraint(QrcConstraintI* ct) {
  _manager->add(ct);
}

void QrcConstraintI::setFailTrap(void* trap) {
  _manager->saveValue(&_failTrap);
  _failTrap = trap;
  // The flag that the propagation queue reads first, trailed with the state.
  int32_t flags = trap ? _flags | HasFailTrap : _flags & ~HasFailTrap;
  if (flags != _flags) {
    _manager->saveValue(&_state);
    _flags = flags;
  }
}

void QrcConstraintI::inheritFailTrap(QrcConstraintI* parent) {
  setFailTrap(parent->_failTrap);
}

void QrcConstraintI::setName(const char* name) {
  if (name == _name) return;
  _manager->saveValue(&_name);
  if (!name) {
    _name = nullptr;
    return;
  }
  size_t n = std::strlen(name) + 1;
  char* copy = static_cast<char*>(_manager->allocate(n));
  std::memcpy(copy, name, n);
  _name = copy;
}

QrcConstraintI* QrcConstraintI::getOpposite() {
  if (_opposite) return _opposite;
  _manager->saveValue(&_opposite);
  QrcConstraintI* o = makeOpposite();
  _opposite = o;
  if (o) {
    _manager->saveValue(&o->_opposite);
    o->_opposite = this;
    if (_truthRecord) linkTruthRecords(o);
  }
  return o;
}

void QrcConstraintI::linkTruthRecords(QrcConstraintI* o) {
  if (!o->_truthRecord) {
    // A constraint and its opposite together count as one boolean variable.
    _manager->incrementVariableCount();
    o->makeTruthRecord();
  }
  if (_truthRecord->getPartner() != o->_truthRecord) _truthRecord->setPartner(o->_truthRecord);
  if (o->_truthRecord->getPartner() != _truthRecord) o->_truthRecord->setPartner(_truthRecord);
}

void QrcConstraintI::makeTruthRecord() {
  if (_truthRecord) return;
  _manager->countTruthRecord();
  _manager->saveValue(&_truthRecord);
  _truthRecord = new (_manager) QrcBoolEventHandlerI(_manager, this);
  // The flag that isKnownFalse reads first, trailed with the state word.
  _manager->saveValue(&_state);
  _flags |= HasTruthRecord;
  QrcConstraintI* o = _opposite ? _opposite : getOpposite();
  if (o) linkTruthRecords(o);
  if (isFalse())
    _truthRecord->setFalse();
  else
    metaPost();
}

QrcBool QrcConstraintI::isOppositeFalse() {
  QrcConstraintI* o = _opposite ? _opposite : getOpposite();
  return o ? o->isKnownFalse() : 0;
}

void QrcConstraintI::markMirrored(QrcConstraintI* o) {
  _manager->saveValue(&_state);
  _flags |= MirroredOpposite;
  o->_flags |= MirroredOpposite;
}

void QrcConstraintI::postOpposite() {
  QrcConstraintI* o = _opposite ? _opposite : getOpposite();
  if (!o) return;
  setStatusBits(OppositePosted);
  _manager->add(o);
}

void QrcConstraintI::attachMetaDemon(QrcDemonI* demon) {
  if (_truthRecord) {
    _truthRecord->getDemons().addConstraint(demon);
    QrcExprI* meta = static_cast<QrcExprI*>(demon->getMetaExpression());
    if (meta) {
      _truthRecord->addMetaExpression(meta);
      if (_truthRecord->getPartner()) _truthRecord->getPartner()->addMetaExpression(meta);
    }
    return;
  }
  metaPostDemon(demon);
  setStatusBits(MetaDemon);
}

void QrcConstraintI::attachOppositeMetaDemon(QrcDemonI* demon) {
  QrcConstraintI* o = getOpposite();
  if (!o) return;
  if (!_truthRecord) {
    o->metaPostDemon(new (_manager) QrcWhenNotDemonI(_manager, o, demon));
    return;
  }
  o->attachMetaDemon(demon);
}

QrcConstraintI* QrcConstraintI::getCopyForManager(QrcManagerI* target) {
  if (!target) target = _manager;
  bool opened = QrcOpenCopy(target);
  if (!_copyMemo) {
    QrcConstraintI* copy = makeCopy(target);
    QrcRememberCopyMemo(target, &_copyMemo);
    _copyMemo = copy;
  }
  QrcConstraintI* result = _copyMemo;
  QrcCloseCopy(target, opened);
  return result;
}

// ---------------------------------------------------------------- truth record

QrcBoolEventHandlerI::QrcBoolEventHandlerI(QrcManagerI* manager, QrcConstraintI* owner)
    : QrcEventHandlerI(manager),
      _false(0),
      _demons(manager),
      _ownerConstraint(owner),
      _partner(nullptr),
      _metas(nullptr) {}

void QrcBoolEventHandlerI::process() {
  _demons.propagatePending();
  _state = Idle;
}

QrcEventHandlerI* QrcBoolEventHandlerI::makeCopy(QrcManagerI* manager) const {
  return new (manager) QrcBoolEventHandlerI(manager, nullptr);
}

void QrcBoolEventHandlerI::display(std::ostream& os) const {
  if (_ownerConstraint) _ownerConstraint->display(os);
}

void QrcBoolEventHandlerI::whenDomain(QrcDemonI*) {
  _manager->getOutput() << "To be implemented: QrcBoolEventHandlerI::always" << std::endl;
}

void QrcBoolEventHandlerI::traceWithMonitor(QrcSearchMonitorI* monitor) {
  monitor->notifyWakeUpBegin(_ownerConstraint);
}

void QrcBoolEventHandlerI::traceWithMonitor2(QrcSearchMonitorI* monitor) {
  monitor->notifyWakeUpEnd(_ownerConstraint);
}

void QrcBoolEventHandlerI::setPartner(QrcBoolEventHandlerI* partner) {
  _manager->saveValue(&_partner);
  _partner = partner;
}

void QrcBoolEventHandlerI::addMetaExpression(QrcExprI* exp) {
  _manager->saveValue(&_metas);
  _metas = new (_manager) MetaCell{_metas, exp};
}

namespace {

void markFalse(QrcManagerI* m, QrcInt* flag) {
  m->saveValue(flag);
  *flag = 1;
}

}  // namespace

void QrcBoolEventHandlerI::setFalse() {
  if (_false) return;
  markFalse(_manager, &_false);
  if (_partner) {
    if (_partner->_false) _manager->fail();
    QrcBoolEventHandlerI* back = _partner->_partner;
    if (back && !back->_false) back->setFalse();
    QrcConstraintI* owner = _partner->_ownerConstraint;
    if (owner && owner->getState() == QrcRootGoalDemonI::Fresh) owner->markPending();
  }
  QrcInt stamp = _manager->getFailStamp();
  for (MetaCell* c = _metas; c; c = c->next)
    if (c->exp->getBoundsStamp() == stamp) c->exp->invalidateParents();
  if (_demons.getHead()) {
    _demons.markPending();
    schedule();
  }
}

// ---------------------------------------------------------------- truth demons

void QrcBoolExpEventHandlerConstraintI::propagate() {
  if (_c->isFalse()) {
    QrcConstraintI* o = _c->getOpposite();
    if (o) _manager->add(o);
    deactivate();
    return;
  }
  QrcBoolEventHandlerI* r = _c->getTruthRecord();
  if (r && r->isFalse()) {
    QrcConstraintI* o = _c->getOpposite();
    deactivate();
    if (o) {
      if (o->getState() == Pending) o->setState(Idle);
      o->propagate();
    }
  }
}

void QrcBoolExpEventHandlerConstraintI::display(std::ostream& os) const {
  os << "QrcBoolExpEventHandlerConstraint";
}

void QrcWhenNotDemonI::propagate() {
  if (_c->isKnownFalse()) {
    deactivate();
    _d->propagate();
  }
}

void QrcWhenNotDemonI::display(std::ostream& os) const {
  os << "QrcWhenNotDemon";
}

// ---------------------------------------------------------------- unary and binary

QrcUnaryConstraintI::QrcUnaryConstraintI(QrcExprI* exp)
    : QrcConstraintI(exp->getManager()), _exp(exp) {}

void QrcUnaryConstraintI::postAndPropagate() {
  if (!_exp->isVariable()) {
    QrcConstraintI::postAndPropagate();
    return;
  }
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  _manager->setCurrentDemon(this);
  runPropagate();
  _manager->setCurrentDemon(saved);
}

QrcBinaryConstraintI::QrcBinaryConstraintI(QrcConstraintI* first, QrcConstraintI* second)
    : QrcConstraintI(first->getManager()), _first(first), _second(second) {}

void QrcBinaryConstraintI::metaPostDemon(QrcDemonI* demon) {
  _first->attachMetaDemon(demon);
  _second->attachMetaDemon(demon);
}

void QrcBoolOrExpI::propagate() {
  if (_first->isKnownFalse()) {
    deactivate();
    _manager->add(_second);
  }
  if (_second->isKnownFalse()) {
    deactivate();
    _manager->add(_first);
  }
}

void QrcBoolOrExpI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  os << " (";
  _first->display(os);
  os << " || ";
  _second->display(os);
  os << ")";
}

void QrcBoolOrExpI::post() {
  _first->attachMetaDemon(this);
  _second->attachMetaDemon(this);
}

QrcConstraintI* QrcBoolOrExpI::makeOpposite() {
  QrcConstraintI* na = _first->getOpposite();
  QrcConstraintI* nb = _second->getOpposite();
  if (!na || !nb) return nullptr;
  return new (_manager) QrcBoolAndExpI(na, nb);
}

QrcBool QrcBoolOrExpI::isFalse() const {
  return _first->isKnownFalse() && _second->isKnownFalse();
}

// The opposite, once made, is the conjunction of the parts' opposites.
QrcBool QrcBoolOrExpI::isOppositeFalse() {
  if (!_opposite) return QrcConstraintI::isOppositeFalse();
  return _first->isKnownTrue() || _second->isKnownTrue();
}

QrcBool QrcBoolOrExpI::wakesWithOpposite() {
  return _opposite && !hasTruthRecord() && _first->wakesWithOpposite() &&
         _second->wakesWithOpposite();
}

QrcConstraintI* QrcBoolOrExpI::makeCopy(QrcManagerI* target) const {
  QrcConstraintI* a = _first->getCopyForManager(target);
  QrcConstraintI* b = _second->getCopyForManager(target);
  return new (target) QrcBoolOrExpI(a, b);
}

void QrcBoolAndExpI::display(std::ostream& os) const {
  os << " (";
  _first->display(os);
  os << " && ";
  _second->display(os);
  os << ")";
}

void QrcBoolAndExpI::post() {
  _manager->add(_first);
  _manager->add(_second);
}

QrcConstraintI* QrcBoolAndExpI::makeOpposite() {
  QrcConstraintI* na = _first->getOpposite();
  QrcConstraintI* nb = _second->getOpposite();
  if (!na || !nb) return nullptr;
  return new (_manager) QrcBoolOrExpI(na, nb);
}

QrcBool QrcBoolAndExpI::isFalse() const {
  return _first->isKnownFalse() || _second->isKnownFalse();
}

// The opposite, once made, is the disjunction of the parts' opposites.
QrcBool QrcBoolAndExpI::isOppositeFalse() {
  if (!_opposite) return QrcConstraintI::isOppositeFalse();
  return _first->isKnownTrue() && _second->isKnownTrue();
}

QrcBool QrcBoolAndExpI::wakesWithOpposite() {
  return _opposite && !hasTruthRecord() && _first->wakesWithOpposite() &&
         _second->wakesWithOpposite();
}

QrcConstraintI* QrcBoolAndExpI::makeCopy(QrcManagerI* target) const {
  QrcConstraintI* a = _first->getCopyForManager(target);
  QrcConstraintI* b = _second->getCopyForManager(target);
  return new (target) QrcBoolAndExpI(a, b);
}

// ---------------------------------------------------------------- true and false

void QrcTrueConstraintI::display(std::ostream& os) const {
  os << "TrueConstraint ";
}

QrcConstraintI* QrcTrueConstraintI::makeOpposite() {
  return new (_manager) QrcFalseConstraintI(_manager);
}

QrcConstraintI* QrcTrueConstraintI::makeCopy(QrcManagerI* target) const {
  return target->getTrueConstraint();
}

void QrcFalseConstraintI::propagate() {
  _manager->fail();
}

void QrcFalseConstraintI::display(std::ostream& os) const {
  os << "FalseConstraint ";
}

QrcConstraintI* QrcFalseConstraintI::makeOpposite() {
  return new (_manager) QrcTrueConstraintI(_manager);
}

QrcConstraintI* QrcFalseConstraintI::makeCopy(QrcManagerI* target) const {
  return target->getFalseConstraint();
}

QrcConstraintI* QrcManagerI::getTrueConstraint() {
  if (!_trueConstraint) {
    saveValue(&_trueConstraint);
    _trueConstraint = new (this) QrcTrueConstraintI(this);
    _trueConstraint->getOpposite();
  }
  return _trueConstraint;
}

QrcConstraintI* QrcManagerI::getFalseConstraint() {
  return getTrueConstraint()->getOpposite();
}

// ---------------------------------------------------------------- arrays

QrcConstraintArrayI::QrcConstraintArrayI(QrcManagerI* manager, QrcInt size)
    : _size(size), _elements(nullptr), _manager(manager), _copyMemo(nullptr) {
  if (size < 0 || size > (QrcInt(1) << 61) - 1) {
    manager->getErrorReporter()->report(QrcBadArraySizeError, "QrcConstraintArrayI",
                                        "bad array size", size);
    _size = 0;
  }
  _elements = static_cast<QrcConstraintI**>(
      manager->allocate(static_cast<size_t>(_size) * sizeof(QrcConstraintI*)));
  for (QrcInt i = 0; i < _size; ++i) _elements[i] = nullptr;
}

QrcConstraintArrayI* QrcConstraintArrayI::getCopyForManager(QrcManagerI* target) {
  if (!target) target = _manager;
  bool opened = QrcOpenCopy(target);
  if (!_copyMemo) {
    QrcConstraintArrayI* copy = new (target) QrcConstraintArrayI(target, _size);
    for (QrcInt i = 0; i < _size; ++i)
      (*copy)[i] = _elements[i] ? _elements[i]->getCopyForManager(target) : nullptr;
    QrcRememberCopyMemo(target, &_copyMemo);
    _copyMemo = copy;
  }
  QrcConstraintArrayI* result = _copyMemo;
  QrcCloseCopy(target, opened);
  return result;
}

void QrcConstraintArrayI::display(std::ostream& os) const {
  os << "[";
  for (QrcInt i = 0; i < _size; ++i) {
    if (i) os << " ";
    if (!_elements[i])
      _manager->getErrorReporter()->report(QrcEmptyHandleError, "empty handle", "operator<<");
    _elements[i]->display(os);
  }
  os << "]";
}

// ---------------------------------------------------------------- connectives

namespace {

QrcConstraintI* need(const QrcConstraint& c, const char* place) {
  if (!c.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return c.getImpl();
}

bool isOpposite(QrcConstraintI* a, QrcConstraintI* b) {
  return a->peekOpposite() && a->peekOpposite() == b;
}

bool oppositeFalse(QrcConstraintI* a) {
  return a->peekOpposite() && a->peekOpposite()->isFalse();
}

}  // namespace

QrcConstraint QrcConstraint::getOpposite() const {
  return need(*this, "QrcConstraint::getOpposite")->getOpposite();
}

QrcConstraint operator||(const QrcConstraint& ca, const QrcConstraint& cb) {
  QrcCheckOperands("operator||", {ca, cb});
  QrcConstraintI* a = need(ca, "operator||");
  QrcConstraintI* b = need(cb, "operator||");
  QrcManagerI* m = a->getManager();
  if (a == b) return a;
  if (isOpposite(a, b)) return m->getTrueConstraint();
  if (a->isFalse()) return b;
  if (b->isFalse()) return a;
  if (oppositeFalse(a) || oppositeFalse(b)) return m->getTrueConstraint();
  return new (m) QrcBoolOrExpI(a, b);
}

QrcConstraint operator&&(const QrcConstraint& ca, const QrcConstraint& cb) {
  QrcCheckOperands("operator&&", {ca, cb});
  QrcConstraintI* a = need(ca, "operator&&");
  QrcConstraintI* b = need(cb, "operator&&");
  QrcManagerI* m = a->getManager();
  if (a == b) return a;
  if (isOpposite(a, b)) return m->getFalseConstraint();
  if (a->isFalse() || b->isFalse()) return m->getFalseConstraint();
  if (oppositeFalse(a)) return b;
  if (oppositeFalse(b)) return a;
  return new (m) QrcBoolAndExpI(a, b);
}

QrcConstraint operator==(const QrcConstraint& ca, const QrcConstraint& cb) {
  QrcCheckOperands("operator==", {ca, cb});
  QrcConstraintI* a = need(ca, "operator==");
  QrcConstraintI* b = need(cb, "operator==");
  QrcManagerI* m = a->getManager();
  if (a == b) return m->getTrueConstraint();
  if (isOpposite(a, b)) return m->getFalseConstraint();
  if (a->isFalse()) return b->getOpposite();
  if (b->isFalse()) return a->getOpposite();
  if (oppositeFalse(a)) return b;
  if (oppositeFalse(b)) return a;
  QrcConstraint na = a->getOpposite(), nb = b->getOpposite();
  return (na || cb) && (ca || nb);
}

QrcConstraint operator!=(const QrcConstraint& ca, const QrcConstraint& cb) {
  QrcCheckOperands("operator!=", {ca, cb});
  QrcConstraintI* a = need(ca, "operator!=");
  QrcConstraintI* b = need(cb, "operator!=");
  QrcManagerI* m = a->getManager();
  if (a == b) return m->getFalseConstraint();
  if (isOpposite(a, b)) return m->getTrueConstraint();
  if (a->isFalse()) return b;
  if (b->isFalse()) return a;
  if (oppositeFalse(a)) return b->getOpposite();
  if (oppositeFalse(b)) return a->getOpposite();
  QrcConstraint na = a->getOpposite(), nb = b->getOpposite();
  return (na || nb) && (ca || cb);
}

QrcConstraint operator!(const QrcConstraint& a) {
  return need(a, "operator!")->getOpposite();
}

std::ostream& operator<<(std::ostream& os, const QrcConstraint& ct) {
  need(ct, "operator<<")->display(os);
  return os;
}
