#include "qrcevent.h"

#include <ostream>

#include "qrcexpr.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

QrcEventHandlerI::QrcEventHandlerI(QrcManagerI* manager)
    : _state(Idle),
      _manager(manager),
      _serial(manager->nextEventHandlerSerial()),
      _owner(nullptr),
      _monitor(manager->getPropagationQueue()->getMonitor()),
      _trapState(TrapUndecided),
      _trap(nullptr) {
  manager->noteMade(this);
}

QrcEventHandlerI::~QrcEventHandlerI() {
  QrcForgetDestroyed(_manager, reinterpret_cast<QrcWord>(this) | 2);
}

QrcEventHandlerI* QrcEventHandlerI::makeCopy(QrcManagerI*) const {
  return nullptr;
}

void QrcEventHandlerI::display(std::ostream& os) const {
  if (_owner) _owner->display(os);
}

void QrcEventHandlerI::whenDomain(QrcDemonI*) {}

QrcBool QrcEventHandlerI::schedule() {
  QrcBool suspended = isSuspended();
  if (suspended || _state == Queued) return suspended;
  _state = Queued;
  _manager->getPropagationQueue()->pushEventHandler(this);
  return 0;
}

void QrcEventHandlerI::setTrapState(QrcInt state) {
  if (state == _trapState) return;
  _manager->saveValue(&_trapState);
  _trapState = state;
}
