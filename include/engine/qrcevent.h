// Event handler of a variable: owns its demon lists and is put on the
// propagation queue when the variable changes.
#ifndef QRC_EVENT_H
#define QRC_EVENT_H

#include <iosfwd>

#include "qrctypes.h"

class QrcExprI;
class QrcTryCatchFailEventHandlerI;

class QrcEventHandlerI {
 public:
  // State word values: a handler processing its events defers the changes its
  // own demons make (ProcessingDeferred once it has some); a disabled handler
  // leaves the queue without processing.
  enum State { Queued = 0, Idle = 1, Processing = 2, ProcessingDeferred = 3, Disabled = 4 };
  // Fail-trap states.
  enum TrapState { TrapUndecided = 0, NoTrap = 1, TrapMade = 2, TrapWake = 3 };

  explicit QrcEventHandlerI(QrcManagerI* manager);
  // A copy would not be noted (makeCopy makes one for another manager).
  QrcEventHandlerI(const QrcEventHandlerI&) = delete;
  QrcEventHandlerI& operator=(const QrcEventHandlerI&) = delete;
  virtual ~QrcEventHandlerI();
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }

  virtual QrcBool isSuspended() const { return 0; }
  // Runs the variable's pending events.
  virtual void process() = 0;
  // Back to idle, dropping the recorded change.
  virtual void clearEvents() = 0;
  virtual QrcEventHandlerI* makeCopy(QrcManagerI* manager) const;
  virtual void display(std::ostream& os) const;
  virtual QrcInt getNbDemons() const { return 0; }
  virtual void whenDomain(QrcDemonI* demon);
  virtual void traceWithMonitor(QrcSearchMonitorI* monitor) { (void)monitor; }
  virtual void traceWithMonitor2(QrcSearchMonitorI* monitor) { (void)monitor; }
  virtual QrcDemonI* getFirstDemon() const { return nullptr; }

  // Queues the handler unless it is already queued or suspended; returns the
  // isSuspended answer.
  QrcBool schedule();

  int getState() const { return _state; }
  void setState(int state) { _state = state; }
  QrcManagerI* getManager() const { return _manager; }
  QrcInt getSerial() const { return _serial; }
  QrcExprI* getOwner() const { return _owner; }
  void setOwner(QrcExprI* owner) { _owner = owner; }
  QrcInt getTrapState() const { return _trapState; }
  void setTrapState(QrcInt state);
  QrcTryCatchFailEventHandlerI* getTrap() const { return _trap; }
  void setTrap(QrcTryCatchFailEventHandlerI* trap) { _trap = trap; }
  QrcTryCatchFailEventHandlerI** trapAddress() { return &_trap; }

 protected:
  QrcInt _state;
  QrcManagerI* _manager;
  QrcInt _serial;
  QrcExprI* _owner;
  QrcSearchMonitorI* _monitor;
  QrcInt _trapState;
  QrcTryCatchFailEventHandlerI* _trap;
};

#endif
