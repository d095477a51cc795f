// Failures that jump while the manager's failures are exceptions: which
// objects a failure may jump over.
//
// Where the library calls code a program may supply, and how a failure
// inside that code still reaches it as QrcFailException (its locals
// destroyed, its catches seeing it):
//
// Made in the manager (noted by their constructors while failures are
// exceptions and checked at the next push or pop to be of a class declared
// the library's, counted while failures jump; checkMadeNow, useExceptions):
// - demons and constraints (QrcDemonI, QrcConstraintI), whatever their memory
//   (the manager's heaps, plain new, the stack);
// - expressions and variables, integer, float and set (QrcExprI);
// - event handlers (QrcEventHandlerI);
// - accessors (QrcAccessorI), among them the function accessors, which hold
//   a function object of the program's and are never declared the library's;
//   an accessor over a domain not of the library's marks failures thrown.
// A noted object not yet checked makes every failure throw (mayJumpTo); one
// dropped unchecked (a failure outside a search, a report that may throw out
// of its constructor) marks failures thrown (dropMade). Objects cannot be
// copied into being (their copy constructors are deleted).
//
// Run under runForeign at the call, whatever their class:
// - goals, the search's own and those run as reversible actions, fail and
//   launch callbacks, the failure goal (runGoal: a goal not of the library's
//   classes);
// - value selectors of integer and set variables, choice functions of
//   integer and float generation (QrcIntValueSelectorI,
//   QrcIntSetValueSelectorI, QrcChooseIntIndex, the float choice function);
// - variable filters of the customizable goal (QrcVarFilterI::filter,
//   noMoreVariables) and the evaluators its selection criteria score with
//   (QroEvaluatorI of variables and of values);
// - impact listeners, every event (QrcImpactListenerI);
// - transits of the path-length constraint (QrcPathTransitI, also the
//   solver's QrcQroPathTransitI over a transit function of the model);
// - variable notifiers and extraction claimants (QrcVarNotifyI,
//   QrcExtractionClaimantI);
// - the solver's listeners and the model goals it extracts (QroSolverListenerI,
//   QroGoalI), its extraction hooks (runThrowing);
// - code run on a fresh stack segment (runOnSegment).
//
// Failures throw from the moment they are installed:
// - search event monitors, choice rules and node storage with its evaluators
//   and selectors (QrcSearchI::callsBack: the search binds no jump);
// - trace monitors (QrcSearchMonitorI: mayJumpTo while tracing);
// - objective filters and savers of the program's classes (setOptFilter,
//   addSaver);
// - predicates of table constraints (QrcIntPredicateI,
//   QrcIntBinaryPredicateI, QrcIntTernaryPredicateI);
// - convex sets of a convex union not of the library's (addSegment);
// - fail traps of the program's classes (QrcTryCatchFailI::run binds no jump
//   to a trap of a class not declared the library's);
// - a manager of a class of the program's (its choose, makeSearch and the
//   searches it makes; useExceptions).
//
// Called only from the program's own calls, whose frames are already the
// program's: visitors and accumulators (QrcIntVisitor, QrcIntExpVisitorI,
// QrcFloatExpVisitorI, QrcConstraintVisitorI, QrcLinearAccumulatorI), savers'
// restore (restoreSavers), hash tables. Teardown listeners and error
// reporters run outside failures.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <typeinfo>
#include <vector>

#include "qrcaccessor.h"
#include "qrcevent.h"
#include "qrcexpr.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qroexception.h"

namespace {

const void* objectOf(QrcWord word) {
  return reinterpret_cast<const void*>(word & ~static_cast<QrcWord>(3));
}

bool isLibraryWord(QrcWord word) {
  const void* object = objectOf(word);
  switch (word & 3) {
    case 0:
      return QrcIsLibraryObject(static_cast<const QrcRootGoalDemonI*>(object));
    case 1:
      return QrcIsLibraryObject(static_cast<const QrcExprI*>(object));
    case 2:
      return QrcIsLibraryObject(static_cast<const QrcEventHandlerI*>(object));
    default:
      return QrcIsLibraryObject(static_cast<const QrcAccessorI*>(object));
  }
}

// The managers whose failures are exceptions, and their number: a noted
// object destroyed after its manager ended must not reach it.
std::atomic<int> exceptionManagerCount{0};
std::mutex exceptionManagersLock;
std::vector<QrcManagerI*>& exceptionManagers() {
  static std::vector<QrcManagerI*>* managers = new std::vector<QrcManagerI*>();
  return *managers;
}

}  // namespace

void QrcNoteMade(QrcManagerI* manager, const QrcRootGoalDemonI* item) {
  manager->noteMade(item);
}

void QrcManagerI::joinExceptionManagers() {
  std::lock_guard<std::mutex> hold(exceptionManagersLock);
  exceptionManagers().push_back(this);
  exceptionManagerCount.fetch_add(1);
}

void QrcManagerI::leaveExceptionManagers() {
  std::lock_guard<std::mutex> hold(exceptionManagersLock);
  std::vector<QrcManagerI*>& all = exceptionManagers();
  all.erase(std::find(all.begin(), all.end(), this));
  exceptionManagerCount.fetch_sub(1);
}

bool QrcManagerI::isForeignManager() const {
  return typeid(*this) != typeid(QrcManagerI);
}

void QrcManagerI::useExceptions(bool flag) {
  if (flag && !_useExceptions) {
    joinExceptionManagers();
    // The objects made while failures jumped were not noted: their classes
    // are unknown, and one made off the heaps may outlive a reset.
    if (_madeUnnoted || isForeignManager()) _foreign = _foreignKept = 1;
  } else if (!flag && _useExceptions) {
    leaveExceptionManagers();
    checkMade();
    _madeUnnoted = 0;
  }
  _useExceptions = flag ? 1 : 0;
}

QrcGoalI* QrcManagerI::runForeignGoal(QrcGoalI* goal) {
  QrcGoalI* next = nullptr;
  auto run = [goal, &next] { next = goal->execute(); };
  runForeign(run);
  return next;
}

// The failing code may be building an object noted: the failure is thrown
// through its constructor, which forgets it (QrcForgetDestroyed). In a search
// the objects noted are checked at the next push or pop; anywhere else they
// are dropped, and failures throw from then on.
void QrcManagerI::dropMadeUnlessPopped() {
  if (!_failTrap && isSearchRunning()) return;
  dropMade();
}

// The dropped objects are not read: one may be half built, or on a heap that
// the failure pops.
void QrcManagerI::dropMade() {
  for (QrcInt i = 0; i < _madeCount && !_foreignKept; ++i) markForeign(_made[i]);
  _madeCount = 0;
  _foreign = 1;
}

void QrcManagerI::markForeign(QrcWord taggedObject) {
  _foreign = 1;
  const void* object = objectOf(taggedObject);
  if (!_heap->holds(object) && !_globalHeap->holds(object)) _foreignKept = 1;
}

void QrcForgetDestroyed(QrcManagerI* manager, QrcWord taggedObject) {
  if (!exceptionManagerCount.load(std::memory_order_relaxed) || !manager ||
      qroplatform::isOnStack(objectOf(taggedObject)))
    return;
  std::lock_guard<std::mutex> hold(exceptionManagersLock);
  std::vector<QrcManagerI*>& all = exceptionManagers();
  if (std::find(all.begin(), all.end(), manager) != all.end())
    manager->forgetDestroyed(taggedObject);
}

// The latest first: a constructor that threw noted its object last but for
// the parts it made.
void QrcManagerI::forgetDestroyed(QrcWord taggedObject) {
  for (QrcInt i = _madeCount - 1; i >= 0; --i) {
    if (_made[i] != taggedObject) continue;
    for (QrcInt j = i + 1; j < _madeCount; ++j) _made[j - 1] = _made[j];
    --_madeCount;
    return;
  }
}

void QrcManagerI::runOnSegment(void (*fn)(void*), void* data) {
  auto segment = [fn, data] { qroplatform::detail::runOnSegment(fn, data); };
  runForeign(segment);
}

void QrcManagerI::noteMade(QrcWord taggedObject) {
  if (_foreign) return;
  if (_madeCount == _madeCapacity) {
    QrcInt capacity = _madeCapacity ? 2 * _madeCapacity : 256;
    void* grown = std::realloc(_made, static_cast<size_t>(capacity) * sizeof(QrcWord));
    if (!grown) throw QroMemoryException();
    _made = static_cast<QrcWord*>(grown);
    _madeCapacity = capacity;
  }
  _made[_madeCount++] = taggedObject;
}

// Runs where no noted object is being built (its class would still be a base
// of its own, or not yet set): at a push, and where failures become jumps
// again.
void QrcManagerI::checkMadeNow() {
  // An object on the stack may be gone by now: it is taken as one of the
  // caller's (the library's probes on the stack are forgotten at once).
  for (QrcInt i = 0; i < _madeCount && !_foreign; ++i)
    if (qroplatform::isOnStack(objectOf(_made[i])) || !isLibraryWord(_made[i]))
      markForeign(_made[i]);
  _madeCount = 0;
}
