// The engine instance: heaps, trails, the propagation queue, the goal stacks,
// searches, limits and statistics. Every engine object belongs to one manager
// and lives on its heaps; nothing is freed one by one.
#ifndef QRC_MANAGER_H
#define QRC_MANAGER_H

#include <csetjmp>
#include <initializer_list>
#include <iosfwd>
#include <new>

#include "qrcerror.h"
#include "qrcfail.h"
#include "qrcmemory.h"
#include "qrcqueue.h"
#include "qrctypes.h"
#include "qroplatform.h"

// How the last search ended (the manager's status).
enum QrcSearchStatus {
  QrcSearchSolution = 0,    // at a solution, or still running
  QrcSearchExhausted = 1,   // no solution left
  QrcSearchLimited = 3,     // a limit stopped it, or an exception abandoned its run
  QrcSearchFailedLabel = 4  // a labelled failure found no choice point of its label
};

// How a float expression prints its domain (the manager's display mode); any
// other mode prints nothing past the name.
enum QrcDisplayMode {
  QrcPlainDisplay = 0,               // the bounds as the stream writes them
  QrcIntervalDisplay = 1,            // printFloatInterval
  QrcPositionalIntervalDisplay = 2,  // printFloatInterval, positional (the default)
  QrcRangeDisplay = 3,               // printFloatRange
  QrcPositionalRangeDisplay = 4      // printFloatRange, positional
};

// How the manager adds a constraint (its add mode).
enum QrcAddMode {
  // Posted at once, or filed without trail saves in edit mode.
  QrcDirectAddMode = 0,
  // The default: registered, queued for posting while a demon runs, filed
  // with trail saves in edit mode.
  QrcRegisteredAddMode = 1
};

class QrcSizeAllocatorI;
class QrcCopyStack;
class QrcSaverI;
class QrcGenAlloc;
class QrcRandomI;
class QrcIntExpI;
class QrcFloatExpI;
class QrcGoalFailI;
class QrcReversibleGroupI;
class QrcConstraint;
class QrcGoal;
class QroSolverI;
class QrcFilterLevelTable;
class QrcSearchMonitorI;
class QrcIntExpI;
class QrcShareIndex;
class QrcAccessorI;

// Construction tags of a manager: edit mode files constraints until the first search.
void QrcEdit();
void QrcNoEdit();
typedef void (*QrcManagerTag)();

// Told of every new integer or float expression.
class QrcVarNotifyI {
 public:
  virtual ~QrcVarNotifyI() {}
  virtual void notifyNewIntVar(QrcExprI* exp) = 0;
  virtual void notifyNewFloatVar(QrcExprI* exp) = 0;
  QrcVarNotifyI* _next = nullptr;
};

// Called by the destructors of the classes noted (QrcManagerI::noteMade): an
// object destroyed before it was checked, one whose constructor threw (the
// destructors of its bases run) or one of the caller's deleted, is forgotten.
// One on the stack is left: the check does not read it.
void QrcForgetDestroyed(QrcManagerI* manager, QrcWord taggedObject);

// Runs when the manager is reset or destroyed.
class QrcTeardownListenerI {
 public:
  virtual ~QrcTeardownListenerI() {}
  virtual void teardown(QrcManagerI* manager) = 0;
  QrcTeardownListenerI* _next = nullptr;
};

// Asked whether it takes over the posting of a constraint (non-zero: taken).
class QrcExtractionClaimantI {
 public:
  virtual ~QrcExtractionClaimantI() {}
  virtual int claim(QrcConstraintI* ct) = 0;
  QrcExtractionClaimantI* _next = nullptr;
};

// What a manager asks of the object that owns it (a solver): the engine calls
// up through this alone.
class QrcManagerOwnerI {
 public:
  // Non-zero when the owner takes over the posting of a constraint.
  virtual int notifyAdd(QrcConstraintI* ct) = 0;
  // Storage mode of the tuple sets closed from now on (1 or 2; others read as 0).
  virtual QrcInt getTupleSetStorageMode() const = 0;

 protected:
  ~QrcManagerOwnerI() {}
};

// A scratch array of words lent by the manager; the lock word is reversible.
struct QrcLockableArray {
  QrcInt capacity;
  QrcInt* data;
  QrcRevWord* lock;
  QrcLockableArray* next;
};

// What changeAtRoot puts back when the change ends: the Or stack's record
// count below its mark, the trails' recording flags and tops, the push state
// settings that searches nested in the change do without, and the edit mode
// that their end would reset. It knows the fail trap that was current when
// it opened: a failure that jumps to that trap leaves the change.
struct QrcRootMark {
  jmp_buf* trap;
  QrcInt orRecords;
  QrcInt trailTop;
  QrcInt persistentTop;
  QrcInt pushStateLevel;
  QrcInt automaticPushState;
  QrcInt editMode;
  int recording;
  int persistentRecording;
};

// Cell of the lists of goals kept by the manager (goals added, callbacks).
struct QrcGoalCell {
  QrcGoalCell* next;
  QrcGoalI* goal;
};

class QrcManagerI {
 public:
  explicit QrcManagerI(QrcManagerTag tag);
  virtual ~QrcManagerI();
  QrcManagerI(const QrcManagerI&) = delete;
  QrcManagerI& operator=(const QrcManagerI&) = delete;

  // ---- virtual search operations
  virtual void commit();
  virtual QrcSearchI* makeSearch();
  // The choice of an or-goal between two goals.
  virtual void choose(QrcGoalI* first, QrcGoalI* second, QrcAny label);
  virtual QrcBool next();
  virtual void reset();
  virtual void restart();

  // ---- memory
  QrcMemoryStack* getHeap() const { return _heap; }
  QrcMemoryStack* getGlobalHeap() const { return _globalHeap; }
  QrcTrail* getTrail() const { return _trail; }
  QrcTrail* getPersistentTrail() const { return _persistentTrail; }
  QrcSizeAllocatorI* getSizeAllocator() const { return _sizeAllocator; }
  QrcCopyStack* getCopyStack() const { return _copyStack; }
  QrcMemoStack* getMemoStack() const { return _memoStack; }
  QrcSaverI* getSaverList() const { return _saverList; }
  void addSaver(QrcSaverI* saver);
  void restoreSavers();
  void* allocate(size_t n) {
    if (_heap && _heap->getMode() == QrcMemoryStack::Blocks) return _heap->alloc(n);
    return QrcAllocate(n, _heap);
  }
  void* allocateSized(QrcInt n);
  void freeSized(void* block, QrcInt n);
  void saveValue(void* address) { _trail->saveValue(address); }
  // Saves each word on the trail, in order.
  void saveValues(std::initializer_list<void*> addresses) {
    for (void* a : addresses) _trail->saveValue(a);
  }
  QrcInt getStamp() const { return _stamp; }
  QrcInt getFailStamp() const { return _failStamp; }
  // Truth records made in this manager (never reset): while there are none,
  // every constraint's truth follows from its operands' domains alone.
  QrcInt getTruthRecordCount() const { return _truthRecordCount; }
  void countTruthRecord() { ++_truthRecordCount; }

  QrcInt* lockIntArray(QrcInt n);
  void unlockArray();
  bool isArrayLocked() const { return _scratchLock.getValue() != 0; }
  QrcInt* lockArrayFromPool(QrcInt n);
  void unlockArrayFromPool(QrcInt* data);
  // Locked state of the first 64 pooled arrays, bit i for the i-th.
  QrcWord getPoolLockMask() const;
  // Unlocks the pooled arrays locked now but not in mask (after a trapped failure).
  void unlockPoolArraysOutside(QrcWord mask);

  // ---- errors
  QrcGenAlloc* getGeneralAllocator() const { return _generalAllocator; }
  QrcRandomI* getRandom() const { return _random; }
  // A report may throw out of the constructor of a noted object: the
  // destructors of its bases forget it (QrcForgetDestroyed), and an exception
  // never jumps, so the objects noted stay noted, to be checked.
  QrcErrorReporter* getErrorReporter() const { return _reporter; }
  void setErrorReporter(QrcErrorReporter* reporter) { _reporter = reporter; }
  // Code 39 "empty handle" at the place when the object is null.
  void checkImplementation(const void* object, const char* place);

  // ---- parameters
  QrcFloat getDefaultPrecision() const { return _defaultPrecision; }
  QrcFloat getRelativeEventThreshold() const { return _secondTolerance; }
  QrcInt getVariablePrecision() const { return _variablePrecision; }
  QrcInt getBoundPrecision() const { return _boundPrecision; }
  // Positive: bounds rounded to that many significant bits; 0: exact bounds.
  void setVariablePrecision(QrcInt bits) { _variablePrecision = bits; }
  // Positive: a float variable is bound within 2^(52 - bits) units of the last place.
  void setBoundPrecision(QrcInt bits) { _boundPrecision = bits; }
  bool variablePrecision() const { return _variablePrecision > 0; }
  int getDisplayMode() const { return _displayMode; }
  void setDisplayMode(int mode) { _displayMode = mode; }
  QrcInt getPackApproximationSize() const { return _packApproximationSize; }
  std::ostream& getOutput() const { return *_output; }
  void setOutput(std::ostream& os) { _output = &os; }
  QrcInt getWorkerNumber() const { return _workerNumber; }
  // The owning solver, kept for the layers above; the engine itself calls it
  // only through the owner interface.
  QroSolverI* getSolver() const { return _solver; }
  QrcManagerOwnerI* getOwner() const { return _owner; }
  void setOwner(QroSolverI* solver, QrcManagerOwnerI* owner) {
    _solver = solver;
    _owner = owner;
  }
  // The owning solver's table of default filter levels (null without solver).
  QrcFilterLevelTable* getFilterLevelTable() const { return _filterLevelTable; }
  void setFilterLevelTable(QrcFilterLevelTable* table) { _filterLevelTable = table; }
  // Switched on, failures throw QrcFailException; a failure in a search may
  // still jump back to it while only the library's code lies on the way
  // (getFailJump).
  void useExceptions(bool flag);
  bool usesExceptions() const { return _useExceptions != 0; }
  // Runs f() where a recursion as deep as nested expressions has room: on a
  // fresh stack segment when the stack runs low (qroplatform::withStackRoom),
  // only while failures are exceptions, since a non-local jump must not leave
  // a segment (a failure inside it is thrown out of it).
  template <class F>
  void withStackRoom(F& f) {
    if (__builtin_expect(_useExceptions != 0, 0)) {
      // Read back from memory: the manager keeps no register of the caller's
      // across the test of the stack.
      QrcManagerI* volatile self = this;
      if (__builtin_expect(qroplatform::isStackLow(), 0))
        return self->runOnSegment(qroplatform::detail::callBack<F>, &f);
    }
    f();
  }
  // fn(data) on a fresh stack segment, out of which failures are thrown.
  [[gnu::cold]] void runOnSegment(void (*fn)(void*), void* data);

  // ---- failures as jumps while failures are exceptions
  // Throwing a failure through the frames between it and the search costs far
  // more than a jump. While failures are exceptions, a failure still jumps to
  // the search, or to a library trap, while nothing but the library's code
  // runs above it: code that keeps trivially destructible locals on every path
  // a failure takes and catches no failure. The objects made in the manager
  // (demons, constraints, expressions, event handlers, accessors) are noted
  // and checked at the next choice point to be of the library's own classes
  // (QRCLIBRARYCLASS), and counted while failures jump; one that is not, one
  // made on the stack or while failures jumped, a callback that the library
  // cannot vouch for held by a propagation, or a trace monitor, makes
  // failures throw from then on. Goals are checked as they run, and callbacks
  // called from known places run under runForeign instead. Every place where
  // the library calls code a program may supply is listed, with how it is
  // covered, in qrcfailjump.cpp.
  //
  // Where a failure may jump: the buffer of the search or trap running,
  // null while code that may not be jumped over runs.
  jmp_buf* getFailJump() const { return _failJump; }
  void setFailJump(jmp_buf* jump) { _failJump = jump; }
  // Whether a failure going to buffer may jump there (false: it is thrown).
  bool mayJumpTo(jmp_buf* buffer) {
    if (_failJump != buffer) return false;
    // An object noted since may be half built by the failing code: thrown.
    return !_madeCount && !_foreign && !_queue->isTracing();
  }
  // Runs f(), which the library cannot vouch for: a failure inside it is
  // thrown, and one that leaves it jumps on where a failure raised here could
  // (mayJumpOn), else goes on as an exception.
  template <class F>
  void runForeign(F& f) {
    jmp_buf* jump = _failJump;
    if (!jump) {
      f();
      return;
    }
    _failJump = nullptr;
    bool failed = false;
    try {
      f();
    } catch (const QrcFailException&) {
      _failJump = jump;
      if (!mayJumpOn(jump)) throw;
      failed = true;
    } catch (...) {
      _failJump = jump;
      throw;
    }
    _failJump = jump;
    if (failed) std::longjmp(*jump, 1);
  }
  // Whether a failure that left the caller's code may jump on to jump: it is
  // where the failure is bound (the trap set, else the search running, none
  // while a search nested in that code is left open), and a failure raised
  // here could jump there.
  bool mayJumpOn(jmp_buf* jump);
  // Runs a goal: one that is not of the library's own classes under
  // runForeign.
  QrcGoalI* runGoal(QrcGoalI* goal) {
    if (__builtin_expect(_failJump != nullptr, 0) && goal->isForeign()) return runForeignGoal(goal);
    return goal->execute();
  }
  QrcGoalI* runForeignGoal(QrcGoalI* goal);
  // new (this) G(this, args...) for a goal class G, its class checked as it
  // is made (runGoal asks no more): where the caller sees G made, the check
  // folds to a constant.
  template <class G, class... A>
  G* makeGoal(A... args) {
    G* goal = new (allocate(sizeof(G))) G(this, args...);
    goal->isForeign();
    return goal;
  }
  // Runs f() where failures are thrown out of it, to a catch of the caller's.
  template <class F>
  void runThrowing(F& f) {
    jmp_buf* jump = _failJump;
    _failJump = nullptr;
    try {
      f();
    } catch (...) {
      _failJump = jump;
      throw;
    }
    _failJump = jump;
  }
  // Notes an object made in the manager, checked before a failure may jump;
  // while failures jump, it is counted (useExceptions).
  void noteMade(const QrcRootGoalDemonI* object) {
    noteMadeWord(reinterpret_cast<QrcWord>(object));
  }
  void noteMade(const QrcExprI* object) { noteMadeWord(reinterpret_cast<QrcWord>(object) | 1); }
  void noteMade(const QrcEventHandlerI* object) {
    noteMadeWord(reinterpret_cast<QrcWord>(object) | 2);
  }
  void noteMade(const QrcAccessorI* object) { noteMadeWord(reinterpret_cast<QrcWord>(object) | 3); }
  // Checks the objects noted since the last check and forgets them, where
  // none can be half built.
  void checkMade() {
    if (_madeCount) checkMadeNow();
  }
  // Forgets a noted object that is destroyed (QrcForgetDestroyed).
  void forgetDestroyed(QrcWord taggedObject);
  // Forgets the latest object noted, a probe the caller pops off the heap.
  void forgetMade(const void* probe) {
    if (_madeCount &&
        (_made[_madeCount - 1] & ~static_cast<QrcWord>(3)) == reinterpret_cast<QrcWord>(probe))
      --_madeCount;
  }
  // Code the library cannot vouch for may run from now on inside any
  // propagation (a user's function held by an accessor): failures throw.
  void noteForeignCode() { _foreign = 1; }
  // Whether the manager met an object or a callback it cannot vouch for
  // (among the objects checked so far: checkMade checks the others).
  bool hasMetForeignCode() const { return _foreign != 0; }
  // Failures on their way to a search or a library trap while failures are
  // exceptions (never reset): jumped there, or thrown.
  QrcInt getJumpedFailures() const { return _jumpedFailures; }
  QrcInt getThrownFailures() const { return _thrownFailures; }
  void countFailure(bool jumped) { ++(jumped ? _jumpedFailures : _thrownFailures); }

  // ---- counters
  void incrementVariableCount();
  void decrementVariableCount();
  void incrementConstraintCount();
  QrcInt getVariableCount() const { return _variableCount.getValue(); }
  QrcInt getConstraintCount() const { return _constraintCount.getValue(); }
  QrcInt nextEventHandlerSerial();
  QrcInt getFails() const { return _fails; }
  QrcInt getNestedFails() const { return _nestedFails; }
  QrcInt getChoicePointCount() const;
  // Words written on the manager's trails since it was made (never reset).
  QrcUInt getTrailWordsWritten() const;

  // ---- listeners
  void addVarNotify(QrcVarNotifyI* notify);
  void removeVarNotify(QrcVarNotifyI* notify);
  void notifyNewIntVar(QrcExprI* exp);
  void notifyNewFloatVar(QrcExprI* exp);
  void addTeardownListener(QrcTeardownListenerI* listener);
  void addExtractionClaimant(QrcExtractionClaimantI* claimant);

  // ---- adding goals and constraints
  void add(QrcGoalI* goal);
  void add(QrcConstraintI* ct);
  void remove(QrcConstraintI* ct);
  bool isInEditMode() const { return _editMode != 0; }
  int getAddMode() const { return _addMode; }
  void setAddMode(int mode) { _addMode = mode; }
  void setImmediatePost(int flag) { _immediatePost = flag; }
  void leaveEditMode();
  // Offers a constraint to the claimants and the owning solver; true when taken.
  bool isClaimed(QrcConstraintI* ct);
  QrcConstraintI* getTrueConstraint();
  void setTrueConstraint(QrcConstraintI* ct) { _trueConstraint = ct; }
  QrcConstraintI* getFalseConstraint();
  // Shared constants made on first need by the integer and float layers,
  // which define these operations; their words are trailed and cleared by reset.
  QrcIntExpI* getIntZero();
  QrcIntExpI* getPersistentIntZero();
  QrcIntExpI* getIntOne();
  // Whether exp is one of the shared integer zeros (made or not yet).
  bool isSharedIntZero(const void* exp) const {
    return exp == _intZero || exp == _persistentIntZero;
  }
  QrcFloatExpI* getFloatZero();
  QrcFloatExpI* getFloatPlaceholder();
  // The index of shared expression nodes (qrcshareindex.h), made on first use
  // on the global heap; null before.
  QrcShareIndex* getShareIndex() const { return _shareIndex; }
  void setShareIndex(QrcShareIndex* index) { _shareIndex = index; }

  // ---- propagation
  QrcPropagationQueueI* getPropagationQueue() const { return _queue; }
  QrcInt getPropagationStamp() const;
  QrcRootGoalDemonI* getCurrentDemon() const { return _currentDemon; }
  void setCurrentDemon(QrcRootGoalDemonI* d) { _currentDemon = d; }
  QrcGoalI* getCurrentGoal() const { return _currentGoal; }
  // Forgets the demon and goal being run, empties the propagation queue and
  // rounds to nearest again (after an exception left a propagation half done).
  void clearPropagation();
  // Whether a change made now is a change at the root: outside any search
  // run, any propagation and any change at the root under way. In a search
  // run it answers after one test.
  bool isAtRoot() const {
    return __builtin_expect(_nextDepth == 0, 0) && !_currentDemon && !_rootMark;
  }
  // Runs f, at the root, under a mark of the choice points: a failure or any
  // other exception takes back everything f changed and took (reversible
  // actions run once, blocks given back) before it goes on; success keeps the
  // changes and, where nothing can take them back, leaves nothing on the
  // trails or the Or stack. A search nested in f runs above the mark, as in
  // a search. Elsewhere f runs as it is: the search or the change under way
  // takes back what a failure leaves.
  template <class F>
  void changeAtRoot(F&& f) {
    if (isAtRoot())
      narrowAtRoot(f);
    else
      f();
  }
  // The root's side of changeAtRoot, out of line: a narrowing starts with
  // if (isAtRoot()) return narrowAtRoot([...] { the narrowing again });
  // so that a search pays one test and builds nothing.
  template <class F>
  [[gnu::noinline, gnu::cold]] void narrowAtRoot(F f) {
    runAtRoot([](void* body) { (*static_cast<F*>(body))(); }, &f);
  }
  // The same for a hot narrowing, a tail call that keeps its frame as small
  // as without the guard:
  // if (_manager->isAtRoot()) return _manager->narrowAtRoot<&X::narrowing>(this, args...);
  template <auto Narrowing, class T, class... A>
  [[gnu::noinline, gnu::cold]] void narrowAtRoot(T* object, A... args) {
    auto f = [object, args...] { (object->*Narrowing)(args...); };
    runAtRoot([](void* body) { (*static_cast<decltype(f)*>(body))(); }, &f);
  }
  bool isInNestedSolve() const { return _nestedSolve != 0; }
  void setTrace(bool flag);
  void setMonitor(QrcSearchMonitorI* monitor);
  void setTraceStream(std::ostream& os);

  // ---- goal stacks (And stack of goals, Or stack of choice points)
  void pushGoal(QrcGoalI* goal);
  QrcGoalI* popGoal();
  void pushChoicePoint(QrcGoalI* first, QrcGoalI* second, QrcAny label);
  void pushChoicePoint(QrcGoalI* goal, QrcAny label, bool noRestore);
  // Pops the latest record; returns its first goal, fills the second word and label.
  QrcGoalI* popChoicePoint(QrcWord* second, QrcAny* label);
  void addReversibleAction(QrcGoalI* goal);
  void addReversibleAction(const QrcGoal& goal);
  void addReversibleActionNoRestore(QrcGoalI* goal);
  void addReversibleActionNoRestore(const QrcGoal& goal);
  // As addReversibleActionNoRestore, but while no other record was pushed
  // since the previous grouped action of this choice point, the goal joins
  // that action's record: they run in the same order, one record popped.
  void addGroupedReversibleAction(QrcGoalI* goal) {
    addGroupedReversibleAction(goal, static_cast<QrcGoalCell*>(allocate(sizeof(QrcGoalCell))));
  }
  // The same with the caller's cell, which must last until the goal ran.
  void addGroupedReversibleAction(QrcGoalI* goal, QrcGoalCell* cell) {
    if (_actionGroupStamp == _stamp && _actionGroupTop == _orStack->getTop() && _actionGroup) {
      _actionGroup->link(cell, goal);
      return;
    }
    startActionGroup(goal, cell);
  }
  // Runs release(owner) when a backtrack, or the failure of a change at the
  // root, takes back what is made from now on (nothing when none can: not
  // isBacktrackable, outside such a change). An object made on the heap gives
  // back through it the blocks it takes from the size pools, which a backtrack
  // does not pop.
  void releaseOnBacktrack(void (*release)(void*), void* owner);
  void collapse();
  // Pops the latest record without restoring anything when it is a sentinel
  // (no goal); false, and nothing popped, otherwise.
  bool dropSentinel();
  bool popChoicePoints(QrcInt n);
  QrcInt getOrRecordCount() const { return _orRecords; }
  // Runs goals from the And stack until it empties (true) or fails.
  bool executeGoals();
  void pushAddedGoals();
  // The goals added before the search started, pushed again (its restart).
  void pushSavedGoals();
  void clearAddedGoals() { _goalsAdded = nullptr; }
  QrcGoalFailI* getSharedFailGoal() const { return _sharedFailGoal; }

  // ---- failure
  [[noreturn]] void fail(QrcAny label = nullptr);
  [[noreturn]] void failFromSearch();
  // A next runs the current search's loop, which takes its failures.
  bool isSearchRunning() const;
  [[noreturn]] void failAsReversibleAction();
  void setFailureGoal(QrcGoalI* goal) { _failureGoal = goal; }
  // Before a failure jumps to trap: a change at the root opened under it is
  // taken back, its mark closed.
  void leaveRootChange(jmp_buf* trap) {
    if (_rootMark && _rootMark->trap == trap) undoRoot(*_rootMark);
  }
  jmp_buf* getFailTrap() const { return _failTrap; }
  void setFailTrap(jmp_buf* trap) { _failTrap = trap; }
  QrcAny getFailLabel() const { return _failLabel; }

  // ---- searches
  QrcSearchI* startSearch();
  QrcSearchI* newSearch(QrcGoalI* goal);
  QrcSearchI* getCurrentSearch() const { return _currentSearch; }
  QrcInt getSearchDepth() const { return _searchDepth; }
  QrcInt getNextDepth() const { return _nextDepth; }
  bool isRecomputing() const;
  QrcBool solve(QrcGoalI* goal, bool restore);
  QrcBool solve(const QrcGoal& goal, bool restore);
  QrcBool solveInPropagation(QrcRootGoalDemonI* demon, QrcGoalI* goal, bool restore);
  QrcBool solveInPropagation(QrcRootGoalDemonI* demon, const QrcGoal& goal, bool restore);
  void pushState();
  void popState();
  // Pops up to n push states, never more than are open.
  void popPushStates(QrcInt n);
  int getStatus() const { return _status; }
  void setFailLimit(QrcInt n);
  void setChoicePointLimit(QrcInt n);
  void setTimeLimit(double seconds);
  void unsetLimits();
  bool isLimitReached() const;
  void setAutomaticPushState(int flag) { _automaticPushState = flag; }
  int getPushStateLevel() const { return static_cast<int>(_pushStateLevel); }
  // Trailed: backtracking past a state gives back the level it was made at.
  void setPushStateLevel(QrcInt level);
  QrcInt getPushStateDepth() const { return _pushStateDepth; }
  // Whether a backtrack can take back what is made now: inside a search or
  // a push state (outside both, nothing made on the heap is ever popped).
  bool isBacktrackable() const { return _searchDepth > 0 || _pushStateDepth > 0; }
  // Merges every open push state into the current state, which becomes the
  // base that nothing pops (level 0).
  void collapsePushStates();
  // Ends every search deeper than depth that an exception left open, innermost
  // first, each back to the state it started from (its choice points popped,
  // their reversible actions run); nextDepth calls of next are left running.
  void abandonSearches(QrcInt depth = 0, QrcInt nextDepth = 0);
  // Pops the choice points above the first orRecords, running the reversible
  // actions among them.
  void popRecordsTo(QrcInt orRecords);
  void addLaunchCallback(QrcGoalI* goal);
  // Values recorded on the path for replay by recomputation (node storage only).
  void writeInfo(QrcFloat value);
  QrcFloat readInfo();
  void recordObjectiveValue(QrcFloat value);
  void applyObjectiveBound();
  void setOptFilter(QrcOptFilterI* filter);
  void addFailCallback(QrcGoalI* goal);

  // ---- statistics
  void resetStatistics();
  void printStatistics(std::ostream& os) const;
  // Processor time since creation or the last statistics reset.
  double getRunningTime() const;
  QrcInt getRecomputedChoiceCount() const { return _recomputedChoices; }

  // ---- files of stored search nodes
  // Names start with the prefix (none by default); the string must outlive the searches.
  void setNodeFilePrefix(const char* prefix) { _nodeFilePrefix = prefix; }
  const char* getNodeFilePrefix() const { return _nodeFilePrefix ? _nodeFilePrefix : ""; }
  // Numbers the files of every search of the manager apart.
  QrcInt nextNodeFileNumber() { return _nodeFileCounter++; }

  // Process-wide count of managers that left edit mode or were made without it.
  static QrcInt getLiveManagerCount();

  // ---------------------------------------------------------------------
  // Engine-internal state: the manager's own, and its searches' and their
  // nodes', which drive the goal stacks with it.
 private:
  friend class QrcSearchI;
  friend class QrcSearchNode;

  double _creationClock;
  QrcFloat _defaultPrecision;
  QrcFloat _secondTolerance;
  QroSolverI* _solver;
  QrcManagerOwnerI* _owner;
  QrcFilterLevelTable* _filterLevelTable;
  QrcInt _counted;
  QrcInt _stamp;
  QrcInt _failStamp;
  // The group of grouped reversible actions, with the stamp and the or-stack
  // top at which it was the latest record.
  QrcReversibleGroupI* _actionGroup;
  QrcInt _actionGroupStamp;
  QrcInt _actionGroupTop;
  QrcInt _truthRecordCount;
  QrcPropagationQueueI* _queue;
  QrcSizeAllocatorI* _sizeAllocator;
  QrcCopyStack* _copyStack;
  QrcMemoStack* _memoStack;
  QrcRevWord _variableCount;
  QrcRevWord _constraintCount;
  double _startTime;
  QrcInt _scratchCapacity;
  QrcInt* _scratch;
  QrcLockableArray* _arrayPool;
  QrcRevWord _scratchLock;
  QrcErrorReporter* _reporter;
  QrcTeardownListenerI* _teardownListeners;
  QrcConstraintI* _editHeads[QrcPropagationQueueI::Levels];
  QrcConstraintI* _editTails[QrcPropagationQueueI::Levels];
  QrcRevWord _eventHandlerCounter;
  QrcVarNotifyI* _varNotifiers;
  QrcInt _addMode;
  QrcExtractionClaimantI* _claimants;
  QrcRootGoalDemonI* _currentDemon;
  jmp_buf* _failTrap;
  QrcGoalI* _currentGoal;
  QrcSizeAllocatorI* _secondSizeAllocator;
  QrcMemoryStack* _andStack;
  QrcGoalCell* _launchCallbacks;
  QrcGoalCell* _savedGoals;
  QrcInt _editMode;
  QrcInt _initialEditMode;
  QrcInt _pushStateLevel;
  QrcInt _automaticPushState;
  QrcInt _immediatePost;
  QrcGoalCell* _failCallbacks;
  QrcGoalI* _failureGoal;
  QrcInt _failLimit;
  QrcInt _fails;
  QrcMemoryStack* _globalHeap;
  QrcGoalCell* _goalsAdded;
  QrcMemoryStack* _heap;
  QrcInt _nextDepth;
  QrcAny _failLabel;
  QrcInt _limitsSet;
  QrcInt _nestedFails;
  QrcInt _nestedSolve;
  void* _path;
  QrcInt _secondFirst;
  QrcMemoryStack* _orStack;
  QrcInt _orRecords;
  QrcInt _choicePoints;
  QrcInt _choicePointLimit;
  QrcTrail* _persistentTrail;
  QrcTrail* _trail;
  QrcTrail* _secondTrail;
  QrcSearchI* _currentSearch;
  QrcInt _pathDepth;
  QrcInt _firstBranches;
  QrcMemoryStack* _searchStack;
  QrcGoalFailI* _sharedFailGoal;
  QrcInt _status;
  QrcInt _searchDepth;
  QrcInt _pushStateDepth;
  // The change at the root under way (changeAtRoot), or null.
  QrcRootMark* _rootMark;
  double _timeLimit;
  // The coarse clock when the time limit last read the processor time, and 1
  // once that read found the limit passed.
  mutable QrcInt _limitClockTick;
  mutable QrcInt _timeLimitReached;
  QrcSearchI* _rootSearch;
  QrcInt _useExceptions;
  jmp_buf* _failJump;
  // 1 once an object or a callback the library cannot vouch for was met.
  QrcInt _foreign;
  // Objects noted and not yet checked (a tagged word each, malloc'd).
  QrcWord* _made;
  QrcInt _madeCount;
  QrcInt _madeCapacity;
  QrcInt _jumpedFailures;
  QrcInt _thrownFailures;
  // Objects made while failures jumped, since the manager was made or last
  // switched to jumps (kept by reset: one made with plain new outlives it).
  QrcInt _madeUnnoted;
  // 1 once an object of the program's was met that may outlive a reset (off
  // the heaps): reset keeps _foreign then.
  QrcInt _foreignKept;
  QrcInt _variablePrecision;
  QrcInt _boundPrecision;
  QrcRandomI* _random;
  QrcInt _packApproximationSize;
  QrcGenAlloc* _generalAllocator;
  QrcInt _displayMode;
  std::ostream* _output;
  QrcInt _workerNumber;
  QrcSaverI* _saverList;
  QrcConstraintI* _trueConstraint;
  void* _oneIntConst;
  void* _intZero;
  void* _persistentIntZero;
  QrcFloatExpI* _floatZero;
  QrcFloatExpI* _floatPlaceholder;
  QrcShareIndex* _shareIndex;
  QrcInt _nodeFileCounter;
  const char* _nodeFilePrefix;
  QrcInt _recomputedChoices;
  QrcInt _storedNodes;

  bool isTimeLimitReached() const;
  void noteMadeWord(QrcWord taggedObject) {
    if (_useExceptions)
      noteMade(taggedObject);
    else
      ++_madeUnnoted;
  }
  void noteMade(QrcWord taggedObject);
  void checkMadeNow();
  void dropMadeUnlessPopped();
  void dropMade();
  // Failures throw from now on, for good when the object the word tags lies
  // off the heaps (it may outlive a reset).
  void markForeign(QrcWord taggedObject);
  // Whether the manager is of a class of the program's, whose overrides run
  // inside searches (choose, makeSearch).
  bool isForeignManager() const;
  // The process-wide list of managers whose failures are exceptions.
  void joinExceptionManagers();
  void leaveExceptionManagers();
  void build();
  // build's steps: the heaps and stacks (in the heap mode), the scratch
  // arrays, the settings of a new manager.
  void buildHeaps(int heapMode);
  void buildScratch();
  void initSettings();
  // A new group of grouped reversible actions, with its first goal.
  void startActionGroup(QrcGoalI* goal, QrcGoalCell* cell);
  // State that lives on, or points into, the heaps: made at creation and again by reset.
  void initHeapState(bool pooling);
  // The search state of a manager with no search.
  void clearSearchState();
  // The words that point into the heaps, emptied.
  void clearHeapPointers();
  void clearRuntimeState();
  void fileConstraint(QrcConstraintI* ct, bool trailed);
  // The constraint added outside edit mode, a search run and a propagation.
  void addAtRoot(QrcConstraintI* ct);
  // changeAtRoot's run of its body, its mark, and what success and failure do
  // with it.
  void runAtRoot(void (*body)(void*), void* context);
  void markRoot(QrcRootMark* mark);
  void keepRoot(const QrcRootMark& mark);
  void undoRoot(const QrcRootMark& mark);
  void closeRootMark(const QrcRootMark& mark);
  // Pops the records above the first orRecords without restoring or running
  // anything.
  void dropRecordsTo(QrcInt orRecords);
  void postFiled();
  void endAllSearches();
};

// Handle of a manager: every operation checks for a null implementation
// (code 39 "empty manager" with the operation as place).
class QrcManager {
 public:
  QrcManager() : _impl(nullptr) {}
  explicit QrcManager(QrcManagerTag tag);
  QrcManager(QrcManagerI* impl) : _impl(impl) {}
  QrcManagerI* getImpl() const { return _impl; }
  // Destroys the manager and empties the handle.
  void end();

  QrcFloat getDefaultPrecision() const;
  QrcInt getFailStamp() const;
  QrcErrorReporter* getErrorReporter() const;
  QrcGenAlloc* getGeneralAllocator() const;
  QrcMemoryStack* getHeap() const;
  QrcInt getPropagationStamp() const;
  QrcInt getStamp() const;
  QrcInt getPackApproximationSize() const;
  QrcBool isInEditMode() const;
  void saveValue(void* address) const;
  QrcBool variablePrecision() const;
  QrcInt getVariablePrecision() const;
  void add(const QrcGoal& goal) const;
  void add(const QrcConstraint& ct) const;
  void add(QrcConstraintI* ct) const;
  void remove(const QrcConstraint& ct) const;
  QrcInt* lockIntArray(QrcInt n) const;
  void unlockArray() const;
  void useExceptions(bool flag = true) const;
  void addReversibleAction(const QrcGoal& goal) const;
  [[noreturn]] void fail(QrcAny label = nullptr) const;
  QrcBool solve(const QrcGoal& goal, bool restore = false) const;
  void checkImplementation(const void* object, const char* place) const;

 private:
  QrcManagerI* check(const char* place) const;
  QrcManagerI* _impl;
};

inline void QrcReversibleGroupI::link(QrcGoalCell* cell, QrcGoalI* goal) {
  cell->next = _actions;
  cell->goal = goal;
  _actions = cell;
}

template <class ValueCell>
inline ValueCell* QrcPropagationQueueI::popValueCell(ValueCell*& free) {
  ValueCell* c = free;
  free = c->next;
  c->next = nullptr;
  c->value = 0;
  c->cause = _manager->getCurrentDemon();
  return c;
}

inline QrcPropagationQueueI::IntCell* QrcPropagationQueueI::newCell() {
  if (__builtin_expect(!_freeIntCells, 0)) refillIntCells();
  return popValueCell(_freeIntCells);
}

inline void QrcPropagationQueueI::runPlain(QrcManagerI* m, QrcRootGoalDemonI* d) {
  d->setState(QrcRootGoalDemonI::Idle);
  m->setCurrentDemon(d);
  ++_demonRuns;
  d->propagate();
}

inline void QrcConstraintList::propagatePending() {
  QrcManagerI* m = _manager;
  QrcPropagationQueueI* q = m->getPropagationQueue();
  // Every run puts the current demon back, here once after the last run:
  // between runs nothing reads it (runHooked puts back the one it finds).
  QrcRootGoalDemonI* saved = m->getCurrentDemon();
  for (Cell* c = _head; c; c = c->next) {
    QrcRootGoalDemonI* d = c->item;
    // runIfPending does nothing for an item that is not pending.
    if (d->getState() != QrcRootGoalDemonI::Pending) continue;
    if (__builtin_expect(d->hasRunHooks() || q->isTracing(), 0)) {
      runHooked(d);
      continue;
    }
    // runIfPending without tracing, with no virtual call before propagate.
    q->runPlain(m, d);
  }
  m->setCurrentDemon(saved);
}

inline void QrcPropagationQueueI::leave() {
  --_nesting;
  if (drainsHere()) startDrain();
}

#endif
