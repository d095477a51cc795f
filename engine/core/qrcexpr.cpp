#include "qrcexpr.h"

#include <atomic>
#include <cstring>
#include <ostream>

#include "qrcevent.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcshareindex.h"

namespace {
std::atomic<QrcInt> exprTypeCounter{0};
std::atomic<bool> sharingByScan{false};
// Parents lists up to this long are walked without the index.
const QrcInt ShortParents = 8;
}  // namespace

QrcInt QrcExprI::newExprTypeId() {
  return exprTypeCounter.fetch_add(1) + 1;
}

QrcExprI::QrcExprI(QrcManagerI* manager)
    : _name(nullptr),
      _manager(manager),
      _handler(nullptr),
      _copyMemo(nullptr),
      _watchers(nullptr),
      _parents(nullptr),
      _boundsStamp(0) {
  if (manager) manager->noteMade(this);
}

QrcExprI::~QrcExprI() {
  QrcForgetDestroyed(_manager, reinterpret_cast<QrcWord>(this) | 1);
}

QrcExprI::QrcExprI(QrcManagerI* manager, QrcEventHandlerI* handler, const char* name)
    : QrcExprI(manager) {
  if (handler) {
    handler->setOwner(this);
    setEventHandler(handler);
    manager->incrementVariableCount();
  }
  if (name) setName(name);
}

QrcExprI::QrcExprI(QrcManagerI* manager, const QrcExprI& source) : QrcExprI(manager) {
  if (source._handler) {
    QrcEventHandlerI* handler = source._handler->makeCopy(manager);
    if (handler) {
      handler->setOwner(this);
      setEventHandler(handler);
      manager->incrementVariableCount();
    }
  }
}

void QrcExprI::display(std::ostream& os) const {
  os << static_cast<const void*>(this);
}

QrcExprI* QrcExprI::makeCopy(QrcManagerI*) const {
  _manager->getErrorReporter()->report(QrcInternalError, "internal error",
                                       "QrcExprI::makeCopy undefined", this);
  return nullptr;
}

QrcInt QrcExprI::getExprTypeId() const {
  static QrcInt id = newExprTypeId();
  return id;
}

void QrcExprI::setObjMin(QrcFloat, QrcFloat) {
  _manager->getErrorReporter()->report(QrcNotAVariableError, "not a variable", "setObjMin", this);
}

void QrcExprI::setEventHandler(QrcEventHandlerI* handler) {
  _manager->saveValue(&_handler);
  _handler = handler;
}

void QrcExprI::setName(const char* name) {
  if (!_name) {
    _manager->saveValue(&_name);
    _name = new (_manager) NameHolder{0, nullptr};
  }
  if (name == _name->name) return;
  _manager->saveValue(&_name->name);
  if (!name) {
    _name->name = nullptr;
    return;
  }
  size_t n = std::strlen(name) + 1;
  char* copy = static_cast<char*>(_manager->allocate(n));
  std::memcpy(copy, name, n);
  _name->name = copy;
}

QrcExprI::ParentCell* QrcExprI::addParent(QrcExprI* parent) {
  // A parent heard through two operands of one constraint comes twice in a row.
  if (_parents && _parents->parent == parent) return _parents;
  _manager->saveValue(&_parents);
  _parents = new (_manager) ParentCell{_parents, parent};
  return _parents;
}

void QrcExprI::rememberDemon(QrcDemonI* demon, WatchEvent event) {
  // A demon reaching the node twice in a row (a node held twice) comes once.
  if (_watchers && _watchers->demon == demon && _watchers->event == event) return;
  _manager->saveValue(&_watchers);
  _watchers = new (_manager) WatchCell{_watchers, demon, event};
}

void QrcExprI::forgetDemon(QrcDemonI* demon) {
  WatchCell** link = &_watchers;
  while (*link) {
    if ((*link)->demon == demon) {
      _manager->saveValue(link);
      *link = (*link)->next;
    } else {
      link = &(*link)->next;
    }
  }
}

void QrcExprI::setSharingByScan(bool on) {
  sharingByScan.store(on, std::memory_order_relaxed);
}

QrcExprI* QrcExprI::findEqualParent(const QrcExprI* candidate) const {
  ParentCell* c = _parents;
  for (QrcInt n = 0; c && n < ShortParents; ++n) c = c->next;
  ShareKey key;
  // A long list: the nodes the candidate can find equal have its key and are
  // filed under it, newest first, exactly while they are in this list.
  if (c && !sharingByScan.load(std::memory_order_relaxed) && candidate->getShareKey(key) &&
      key.operand == this) {
    QrcShareIndex* index = _manager->getShareIndex();
    return index ? index->find(candidate, key) : nullptr;
  }
  return scanEqualParents(candidate);
}

QrcExprI* QrcExprI::scanEqualParents(const QrcExprI* candidate) const {
  QrcInt id = candidate->getExprTypeId();
  for (ParentCell* c = _parents; c; c = c->next)
    if (c->parent->getExprTypeId() == id && candidate->isEqual(c->parent)) return c->parent;
  return nullptr;
}

void QrcExprI::enterShareIndex() {
  QrcShareIndex::of(_manager)->add(this);
}

namespace {

void invalidateFrom(QrcExprI* e, QrcInt failStamp) {
  for (QrcExprI::ParentCell* c = e->getParents(); c; c = c->next) {
    QrcExprI* p = c->parent;
    if (p->getBoundsStamp() != failStamp) continue;
    p->setBoundsStamp(0);
    if (p->isVariable() || !p->getParents()) continue;
    // Goes up as far as the expression is nested.
    auto up = [&] { invalidateFrom(p, failStamp); };
    p->getManager()->withStackRoom(up);
  }
}

}  // namespace

void QrcExprI::invalidateParents() {
  _boundsStamp = 0;
  invalidateFrom(this, _manager->getFailStamp());
}

void QrcExprI::fail(QrcAny label) {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  if (q->isTracing()) notifyMonitor(label, q);
  _manager->fail(label);
}

QrcErrorReporter* QrcExprI::getErrorReporter() const {
  return _manager->getErrorReporter();
}

QrcExprI* QrcExprI::getCopyForManager(QrcManagerI* target) {
  if (!target) target = _manager;
  if (target == _manager && _handler && target->getMemoStack()->keepsVariables()) return this;
  bool opened = QrcOpenCopy(target);
  if (!_copyMemo) {
    QrcExprI* copy = makeCopy(target);
    QrcRememberCopyMemo(target, &_copyMemo);
    _copyMemo = copy;
  }
  QrcCopyStack* cs = target->getCopyStack();
  if (_handler && cs->isRecordingPairs()) cs->push(this, _copyMemo);
  QrcExprI* result = _copyMemo;
  QrcCloseCopy(target, opened);
  return result;
}

bool QrcOpenCopy(QrcManagerI* target) {
  QrcMemoStack* memo = target->getMemoStack();
  if (memo->isActive()) return false;
  memo->setActive();
  return true;
}

void QrcRememberCopyMemo(QrcManagerI* target, void* memoWord) {
  target->getMemoStack()->push(memoWord);
}

void QrcCloseCopy(QrcManagerI* target, bool opened) {
  if (opened) target->getMemoStack()->clear();
}

// ---------------------------------------------------------------- savers

void QrcManagerI::addSaver(QrcSaverI* saver) {
  if (!QrcIsLibraryObject(saver)) noteForeignCode();
  saveValue(&_saverList);
  saver->_next = _saverList;
  _saverList = saver;
}

void QrcManagerI::restoreSavers() {
  for (QrcSaverI* s = _saverList; s; s = s->_next)
    if (!s->_skip) s->restore();
}
