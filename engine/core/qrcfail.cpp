#include "qrcfail.h"

#include <csetjmp>
#include <iostream>

#include "qrcconstraint.h"
#include "qrcevent.h"
#include "qrcfloatenv.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qrcqueue.h"
#include "qroplatform.h"
#include "qrcsearch.h"

namespace {

// With failures as exceptions, a failure still jumps while only the
// library's code lies between it and the buffer's search or trap.
[[noreturn]] void jumpTo(QrcManagerI* m, jmp_buf* buffer) {
  if (m->usesExceptions()) {
    const bool jumps = m->mayJumpTo(buffer);
    m->countFailure(jumps);
    if (!jumps) throw QrcFailException();
  }
  std::longjmp(*buffer, 1);
}

}  // namespace

void QrcManagerI::fail(QrcAny label) {
  if (__builtin_expect(_madeCount != 0, 0)) dropMadeUnlessPopped();
  if (_queue->isTracing() && _queue->getMonitor() && _currentDemon)
    _queue->getMonitor()->notifyFail(_currentDemon);
  if (_failTrap) {
    // A change at the root opened under the trap is taken back first.
    if (_rootMark) leaveRootChange(_failTrap);
    jumpTo(this, _failTrap);
  }
  ++_fails;
  if (_queue->isTracing()) {
    if (_queue->getMonitor())
      _queue->getMonitor()->notifyFailCount(_fails);
    else
      _queue->getTraceStream() << "QrcFail : " << _fails << std::endl;
  }
  _failLabel = label;
  _currentDemon = nullptr;
  if (isSearchRunning()) failFromSearch();
  if (_useExceptions) {
    // The propagation that failed is abandoned.
    _queue->clear();
    setRoundingNearest();
    throw QrcFailException();
  }
  if (label) {
    _reporter->report(QrcFailNotInSolveError, "QrcFail",
                      "fail not in a Solve (try enclosing in QrcSolve) : Label ", label);
  } else {
    _reporter->report(QrcFailNotInSolveError, "QrcFail",
                      "fail not in a Solve (try enclosing in QrcSolve)");
  }
  std::abort();
}

// A failure goes back to the current search only while its loop runs: a
// reversible action or an end callback run by restart or end, outside it, has
// no branch to fail.
bool QrcManagerI::isSearchRunning() const {
  return _nextDepth > 0 && _currentSearch && _currentSearch->isLooping();
}

bool QrcManagerI::mayJumpOn(jmp_buf* jump) {
  jmp_buf* bound = _failTrap ? _failTrap : isSearchRunning() ? &_currentSearch->_buffer : nullptr;
  return bound == jump && mayJumpTo(jump);
}

void QrcManagerI::failFromSearch() {
  if (_failureGoal) runGoal(_failureGoal);
  setRoundingNearest();
  if (_currentSearch && _currentSearch->isRecomputing())
    _queue->getTraceStream() << "Failure during recomputation" << std::endl;
  jumpTo(this, &_currentSearch->_buffer);
}

void QrcManagerI::failAsReversibleAction() {
  if (__builtin_expect(_madeCount != 0, 0)) dropMadeUnlessPopped();
  if (isSearchRunning()) failFromSearch();
  if (_useExceptions) {
    setRoundingNearest();
    throw QrcFailException();
  }
  _reporter->report(QrcFailNotInSolveError, "QrcReversibleAction",
                    "fail not in a Solve (try enclosing in QrcSolve)");
  std::abort();
}

// ---------------------------------------------------------------- traps

namespace {

// What a failure inside a trap's body may leave behind: the queue's nesting
// raised by code that failed between enter and leave, directed rounding, the
// current demon and the scratch array locks. Trivially destructible.
struct TrapEntryState {
  int rounding;
  QrcInt nesting;
  QrcRootGoalDemonI* demon;
  bool arrayLocked;
  QrcWord poolLocks;
};

TrapEntryState saveTrapEntry(QrcManagerI* m) {
  TrapEntryState s;
  s.rounding = qroplatform::getRounding();
  s.nesting = m->getPropagationQueue()->getNesting();
  s.demon = m->getCurrentDemon();
  s.arrayLocked = m->isArrayLocked();
  s.poolLocks = m->getPoolLockMask();
  return s;
}

void restoreTrapEntry(QrcManagerI* m, const TrapEntryState& s) {
  qroplatform::setRounding(s.rounding);
  m->getPropagationQueue()->restoreNesting(s.nesting);
  m->setCurrentDemon(s.demon);
  if (!s.arrayLocked && m->isArrayLocked()) m->unlockArray();
  m->unlockPoolArraysOutside(s.poolLocks);
}

}  // namespace

// A failure in a library trap's body comes back to the trap's buffer as a
// jump where its caller could jump; any other comes as an exception.
bool QrcTryCatchFailI::run() {
  QrcManagerI* m = _manager;
  jmp_buf* outer = m->getFailTrap();
  const TrapEntryState entry = saveTrapEntry(m);
  if (m->usesExceptions()) {
    jmp_buf* outerJump = m->getFailJump();
    m->setFailTrap(&_buffer);
    if (setjmp(_buffer) == 0) {
      const std::type_info* own = getLibraryClass();
      m->setFailJump(outerJump && own && *own == typeid(*this) ? &_buffer : nullptr);
      if (runBody(outer, outerJump)) return true;
    }
    m->setFailJump(outerJump);
    m->setFailTrap(outer);
    restoreTrapEntry(m, entry);
    onFail(m);
    return false;
  }
  m->setFailTrap(&_buffer);
  if (setjmp(_buffer) == 0) {
    try {
      body();
    } catch (...) {
      m->setFailTrap(outer);
      throw;
    }
    m->setFailTrap(outer);
    return true;
  }
  m->setFailTrap(outer);
  restoreTrapEntry(m, entry);
  onFail(m);
  return false;
}

// False when a failure was thrown out of the body.
bool QrcTryCatchFailI::runBody(jmp_buf* outer, jmp_buf* outerJump) {
  QrcManagerI* m = _manager;
  try {
    body();
  } catch (const QrcFailException&) {
    return false;
  } catch (...) {
    // An error thrown through the trap must not leave it installed.
    m->setFailJump(outerJump);
    m->setFailTrap(outer);
    throw;
  }
  m->setFailJump(outerJump);
  m->setFailTrap(outer);
  return true;
}

QrcTryCatchFailCtI::QrcTryCatchFailCtI(QrcManagerI* manager, QrcConstraintI* ct)
    : QrcTryCatchFailI(manager, ct) {}

void QrcTryCatchFailCtI::body() {
  static_cast<QrcConstraintI*>(_owner)->propagate();
}

void QrcTryCatchFailCtI::onFail(QrcManagerI*) {
  QrcExprI* truth = static_cast<QrcConstraintI*>(_owner)->getFailureVariable();
  if (truth) QrcBindTruthFalse(truth);
}

QrcTryCatchFailEventHandlerI::QrcTryCatchFailEventHandlerI(QrcManagerI* manager,
                                                           QrcEventHandlerI* handler, QrcInt value,
                                                           QrcExprI* truth, QrcConstraintI* ct)
    : QrcTryCatchFailI(manager, handler), _value(value), _truth(truth), _ct(ct) {}

void QrcTryCatchFailEventHandlerI::body() {
  QrcEventHandlerI* handler = static_cast<QrcEventHandlerI*>(_owner);
  // A handler left queued or processing would never be queued again.
  if (QrcTruthCanBeTrue(_truth))
    handler->process();
  else
    handler->clearEvents();
}

void QrcTryCatchFailEventHandlerI::onFail(QrcManagerI*) {
  static_cast<QrcEventHandlerI*>(_owner)->clearEvents();
  QrcBindTruthFalse(_truth);
}

void QrcProcessHandler(QrcEventHandlerI* handler) {
  QrcManagerI* m = handler->getManager();
  if (handler->getTrapState() == QrcEventHandlerI::TrapUndecided) {
    QrcDemonI* first = handler->getFirstDemon();
    QrcConstraintI* ct = first ? first->getOwner() : nullptr;
    if (ct && ct->getFailureVariable()) {
      QrcTryCatchFailEventHandlerI* trap =
          new (m) QrcTryCatchFailEventHandlerI(m, handler, -1, ct->getFailureVariable(), ct);
      m->saveValue(handler->trapAddress());
      handler->setTrap(trap);
      handler->setTrapState(QrcEventHandlerI::TrapMade);
    } else {
      handler->setTrapState(QrcEventHandlerI::NoTrap);
    }
  }
  if (handler->getTrapState() == QrcEventHandlerI::NoTrap) {
    handler->process();
    return;
  }
  handler->getTrap()->run();
}
