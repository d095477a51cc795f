// Failure of a search branch, and fail traps that let a constraint or an event
// handler take a failure of its own propagation.
#ifndef QRC_FAIL_H
#define QRC_FAIL_H

#include <csetjmp>

#include "qrctypes.h"

// Thrown by a failure when the manager was switched to exceptions.
class QrcFailException {};

// Runs body under a trap: a failure inside it comes back to onFail, and the
// trap that was installed before is installed again in both cases.
class QrcTryCatchFailI {
 public:
  QrcTryCatchFailI(QrcManagerI* manager, void* owner) : _manager(manager), _owner(owner) {}
  virtual ~QrcTryCatchFailI() {}
  virtual void body() = 0;
  virtual void onFail(QrcManagerI* manager) = 0;
  // Returns true when body completed, false when it failed (after onFail).
  bool run();
  QrcManagerI* getManager() const { return _manager; }
  // The class the trap declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }

 protected:
  QrcManagerI* _manager;
  jmp_buf _buffer;
  void* _owner;

 private:
  bool runBody(jmp_buf* outer, jmp_buf* outerJump);
};

// Trap of a constraint: a failure of its propagation binds its truth variable to 0.
class QrcTryCatchFailCtI : public QrcTryCatchFailI {
  QRCLIBRARYCLASS(QrcTryCatchFailCtI)

 public:
  QrcTryCatchFailCtI(QrcManagerI* manager, QrcConstraintI* ct);
  void body() override;
  void onFail(QrcManagerI* manager) override;
};

// Trap of an event handler serving a constraint that has a truth variable.
class QrcTryCatchFailEventHandlerI : public QrcTryCatchFailI {
  QRCLIBRARYCLASS(QrcTryCatchFailEventHandlerI)

 public:
  QrcTryCatchFailEventHandlerI(QrcManagerI* manager, QrcEventHandlerI* handler, QrcInt value,
                               QrcExprI* truth, QrcConstraintI* ct);
  void body() override;
  void onFail(QrcManagerI* manager) override;
  QrcInt getValue() const { return _value; }
  QrcConstraintI* getConstraint() const { return _ct; }

 private:
  QrcInt _value;
  QrcExprI* _truth;
  QrcConstraintI* _ct;
};

// Truth variables of fail traps (integer expressions of the integer layer).
// Binds a truth variable to 0; fails when it cannot be 0.
void QrcBindTruthFalse(QrcExprI* truth);
// Whether a truth variable can still be true (its maximum is not 0).
bool QrcTruthCanBeTrue(QrcExprI* truth);

// Processes an event handler, under its fail trap when its constraint has one.
void QrcProcessHandler(QrcEventHandlerI* handler);

#endif
