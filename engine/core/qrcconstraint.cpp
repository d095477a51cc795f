#include "qrcconstraint.h"

#include <cstring>
#include <ostream>

#include "qrcevent.h"
#include "qrcfail.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
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
      _filed(0) {}

QrcConstraintI::QrcConstraintI(const QrcManager& manager) : QrcConstraintI(manager.getImpl()) {}

QrcGoalI* QrcConstraintI::execute() {
  _manager->add(this);
  return nullptr;
}

void QrcConstraintI::metaPostDemon(QrcDemonI*) {
  _manager->getErrorReporter()->report(41, "constraint without metaPostDemon", " ", this);
}

void QrcConstraintI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  if (_manager->getPropagationQueue()->isTracing())
    os << "QrcConstraint" << "(" << static_cast<const void*>(this) << ")";
}

void QrcConstraintI::setStatusBits(QrcInt bits) {
  if ((_status.getValue() & bits) == bits) return;
  _status.set(_manager, _status.getValue() | bits);
}

void QrcConstraintI::postAndPropagate() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  QrcSearchMonitorI* mon = q->isTracing() ? q->getMonitor() : nullptr;
  if (!isPosted()) {
    setStatusBits(Added | Posted);
    _manager->incrementConstraintCount();
    if (mon) mon->notifyPostBegin(this);
    post();
    if (mon) mon->notifyPostEnd(this);
  }
  setStatusBits(Propagated);
  markPending();
  runIfPending();
}

void QrcConstraintI::runIfPending() {
  if (_state != Pending) return;
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  _state = Idle;
  _manager->setCurrentDemon(this);
  QrcSearchMonitorI* mon = q->isTracing() ? q->getMonitor() : nullptr;
  if (mon)
    mon->notifyConstraintPropagateBegin(this);
  else if (q->isTracing())
    q->setTracedDemon(this);
  if (_failTrap)
    static_cast<QrcTryCatchFailI*>(_failTrap)->run();
  else
    propagate();
  if (mon)
    mon->notifyConstraintPropagateEnd(this);
  else if (q->isTracing())
    q->clearTracedDemon(this);
  _manager->setCurrentDemon(saved);
}

void QrcConstraintI::push(QrcInt priority) {
  if (_state != Fresh && _state != Idle) return;
  if (_manager->isInEditMode()) return;
  _manager->getPropagationQueue()->push(this, priority);
}

void QrcConstraintI::pushUnlessNested() {
  if (_manager->isInNestedSolve()) return;
  push(5);
}

void QrcConstraintI::addConstraint(QrcConstraintI* ct) { _manager->add(ct); }

void QrcConstraintI::inheritFailTrap(QrcConstraintI* parent) {
  _manager->saveValue(&_failTrap);
  _failTrap = parent->_failTrap;
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

// ---------------------------------------------------------------- event handler

QrcEventHandlerI::QrcEventHandlerI(QrcManagerI* manager)
    : _state(Idle),
      _manager(manager),
      _serial(manager->nextEventHandlerSerial()),
      _owner(nullptr),
      _monitor(manager->getPropagationQueue()->getMonitor()),
      _trapState(TrapUndecided),
      _trap(nullptr) {}

QrcEventHandlerI* QrcEventHandlerI::makeCopy(QrcManagerI*) const { return nullptr; }

void QrcEventHandlerI::display(std::ostream& os) const { os << static_cast<const void*>(_owner); }

void QrcEventHandlerI::whenDomain(QrcDemonI*) {}

void QrcEventHandlerI::schedule() {
  if (_state == Queued || isSuspended()) return;
  _state = Queued;
  _manager->getPropagationQueue()->pushEventHandler(this);
}

void QrcEventHandlerI::setTrapState(QrcInt state) {
  if (state == _trapState) return;
  _manager->saveValue(&_trapState);
  _trapState = state;
}
