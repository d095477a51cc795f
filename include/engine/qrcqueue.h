// Propagation queue: variables whose event handlers have events, constraints
// waiting to be posted and demons waiting to propagate (five priority levels
// each), drained in that order until nothing is left.
#ifndef QRC_QUEUE_H
#define QRC_QUEUE_H

#include <iosfwd>

#include "qrcgoal.h"
#include "qrctypes.h"

// Priorities of demons and constraints scheduled for propagation: every item of
// one priority runs before any item of a later one, and variable events run
// before all of them.
enum QrcPriority {
  QrcFirstPriority = 1,
  QrcHighPriority = 2,
  QrcMiddlePriority = 3,
  QrcLowPriority = 4,
  QrcLastPriority = 5
};

class QrcPropagationQueueI {
 public:
  // Propagation levels (priority - 1) and posting levels (edit priority).
  static const int Levels = QrcLastPriority;
  // The event-handler list, the posting lists and the propagation lists.
  static const int ListCount = 1 + 2 * Levels;

  // FIFO cell: (next, item).
  struct Cell {
    Cell* next;
    void* item;
  };
  // Deferred integer request: (next, value, cause).
  struct IntCell {
    IntCell* next;
    QrcInt value;
    QrcRootGoalDemonI* cause;
  };
  // Deferred double request: (next, value, cause).
  struct FloatCell {
    FloatCell* next;
    QrcFloat value;
    QrcRootGoalDemonI* cause;
  };

  // The cells of list, then those of tail (integer or double cells).
  template <class C>
  static C* joined(C* list, C* tail) {
    if (!list) return tail;
    C* last = list;
    while (last->next) last = last->next;
    last->next = tail;
    return list;
  }

  explicit QrcPropagationQueueI(QrcManagerI* manager);
  ~QrcPropagationQueueI();
  QrcPropagationQueueI(const QrcPropagationQueueI&) = delete;
  QrcPropagationQueueI& operator=(const QrcPropagationQueueI&) = delete;

  void pushEventHandler(QrcEventHandlerI* handler) {
    append(_handlers, handler);
    _levelMask |= WorkBit;
    if (drainsHere()) startDrain();
  }
  // Schedules an item at a priority (clipped to QrcFirstPriority..QrcLastPriority)
  // and drains unless nested.
  void push(QrcRootGoalDemonI* item, QrcInt priority) {
    if (priority < QrcFirstPriority) priority = QrcFirstPriority;
    if (priority > QrcLastPriority) priority = QrcLastPriority;
    item->markPending();
    int level = static_cast<int>(priority - QrcFirstPriority);
    append(_propagation[level], item);
    _levelMask |= 1u << level;
    if (drainsHere()) startDrain();
  }
  void pushLast(QrcRootGoalDemonI* item);
  void queueForPosting(QrcConstraintI* ct);
  void enter() { ++_nesting; }
  // Drains when the level left is the outermost one (or that of a nested
  // solve); inline, as most calls leave an inner level (defined with the
  // manager).
  inline void leave();
  int firstNonEmptyPostingLevel() const;
  void clear();
  QrcInt getNesting() const { return _nesting; }
  // Puts back a nesting level saved before a failure that a fail trap caught.
  void restoreNesting(QrcInt nesting) { _nesting = nesting; }

  // The work of an outer propagation, set aside while a nested solve runs.
  struct Aside {
    Cell* head[ListCount];
    Cell* tail[ListCount];
    unsigned levelMask;
    unsigned drainMask;
    QrcInt nesting;
    QrcInt drainDepth;
    QrcInt postingCount;
    QrcInt steps;
    // The items then pending, in cells of the last level's free list.
    Cell* pending;
  };
  // Starts a nested solve: the queued work goes aside, and the nested solve
  // queues into lists of its own, which its backtracks empty and whose last
  // level waits; its propagation drains at nesting level 1 as the outermost
  // one does at 0.
  Aside enterNestedSolve();
  // Ends it: the outer work comes back, followed by what the nested solve
  // left queued (with its solution kept; a restart has emptied its lists).
  // The items pending when it started are pending again: pushed again or
  // deactivated inside, a backtrack there made them idle, though their
  // outer run still waits.
  void leaveNestedSolve(const Aside& outer);

  // Deferred requests of event handlers.
  void startDeferral(QrcInt min, QrcInt max) {
    _pendingMin = min;
    _pendingMax = max;
  }
  QrcInt deferRange(QrcInt a, QrcInt b);
  void deferValue(QrcInt v);
  void dropLastDeferredValue();
  void deferValueRange(QrcInt a, QrcInt b);
  void setLastDeferredRangeMin(QrcInt v);
  void setLastDeferredRangeMax(QrcInt v);
  void deferAddition(QrcInt v);
  // The latest deferred single value and range (start cell), null when none.
  IntCell* peekDeferredValues() const { return _deferredValues; }
  IntCell* peekDeferredRanges() const { return _deferredRanges; }
  IntCell* takeDeferredValues() {
    IntCell* l = _deferredValues;
    _deferredValues = nullptr;
    _lastDeferredValue = nullptr;
    return l;
  }
  IntCell* takeDeferredRanges() {
    IntCell* l = _deferredRanges;
    _deferredRanges = nullptr;
    return l;
  }
  IntCell* takeDeferredAdditions() {
    IntCell* l = _deferredAdditions;
    _deferredAdditions = nullptr;
    return l;
  }
  void clearDeferred();
  QrcInt getPendingMin() const { return _pendingMin; }
  QrcInt getPendingMax() const { return _pendingMax; }
  // A cell whose cause is the manager's current demon.
  inline IntCell* newCell();
  void freeCell(IntCell* cell) {
    cell->next = _freeIntCells;
    _freeIntCells = cell;
  }
  void freeCells(IntCell* list) {
    while (list) {
      IntCell* next = list->next;
      freeCell(list);
      list = next;
    }
  }

  void startFloatDeferral(QrcFloat a, QrcFloat b) {
    _pendingFloatMin = a;
    _pendingFloatMax = b;
  }
  void deferFloatRange(QrcFloat a, QrcFloat b);
  void deferFloatValue(QrcFloat v);
  FloatCell* takeDeferredFloatValues();
  FloatCell* newFloatCell();
  void freeFloatCells(FloatCell* list);
  QrcFloat getPendingFloatMin() const { return _pendingFloatMin; }
  QrcFloat getPendingFloatMax() const { return _pendingFloatMax; }

  // Tracing.
  bool isTracing() const { return _trace != 0; }
  void setTrace(int flag) { _trace = flag; }
  QrcSearchMonitorI* getMonitor() const { return _monitor; }
  void setMonitor(QrcSearchMonitorI* monitor) { _monitor = monitor; }
  std::ostream& getTraceStream() const { return *_traceStream; }
  void setTraceStream(std::ostream& os) { _traceStream = &os; }
  void setTracedDemon(QrcRootGoalDemonI* d) {
    if (d) _tracedDemon = d;
  }
  void clearTracedDemon(QrcRootGoalDemonI* d) {
    if (d && _tracedDemon == d) _tracedDemon = nullptr;
  }
  QrcRootGoalDemonI* getTracedDemon() const { return _tracedDemon; }
  void notifyDemonBegin(QrcRootGoalDemonI* d);
  void notifyDemonEnd(QrcRootGoalDemonI* d);

  // Work counters, never reset: demons run, runs answered by a quiet test
  // instead (QrcConstraintI::runIfQuiet) and variable events processed.
  void countDemonRun() { ++_demonRuns; }
  // Runs a pending item that has nothing but its propagate to run, untraced;
  // the caller puts the current demon back.
  inline void runPlain(QrcManagerI* m, QrcRootGoalDemonI* d);
  QrcInt getDemonRuns() const { return _demonRuns; }
  void countQuietRun() { ++_quietRuns; }
  QrcInt getQuietRuns() const { return _quietRuns; }
  QrcInt getEventsProcessed() const { return _events; }

  // A variable that moved while suspended leaves the cached bounds of the
  // expressions above it as they were until the next failure: noted with the
  // manager's fail stamp.
  void noteStaleParents(QrcInt failStamp) { _staleParentsStamp = failStamp; }
  bool mayHaveStaleParents(QrcInt failStamp) const { return _staleParentsStamp == failStamp; }

  QrcInt getPropagationStamp() const { return _stamp; }
  // Moves when a drain begins, when it ends and when a failure clears the
  // queue: the changes made in one drain share it, and those made between
  // drains (by goals, or by a posting) have their own.
  QrcInt getDrainSerial() const { return _drainSerial; }
  QrcInt getRunCount() const { return _runCount; }
  void setStepLimit(QrcInt limit) { _stepLimit = limit; }
  QrcInt getStepLimit() const { return _stepLimit; }
  QrcUInt getBytes() const { return _bytes; }

 private:
  // A FIFO list with its own cell blocks and free cells.
  struct List {
    Cell* head;
    Cell* tail;
    Cell* free;
    void* blocks;
    bool empty() const { return head == tail; }
  };
  // The spare cell stays at the tail: its words are written by the append
  // that fills it.
  Cell* takeCell(List& list) {
    if (__builtin_expect(!list.free, 0)) refill(list);
    Cell* c = list.free;
    list.free = c->next;
    return c;
  }
  void refill(List& list);
  void refillIntCells();
  // The first cell of a nonempty free list, cleared, its cause the manager's current demon.
  template <class ValueCell>
  inline ValueCell* popValueCell(ValueCell*& free);
  // Whether a push at the current nesting drains the queue: at the
  // outermost level, or at that of a nested solve.
  bool drainsHere() const { return _nesting <= _drainDepth; }
  void initList(List& list);
  // List k of ListCount: the event handlers, then posting, then propagation.
  List& listAt(int k) {
    return k == 0 ? _handlers : k <= Levels ? _posting[k - 1] : _propagation[k - 1 - Levels];
  }
  void append(List& list, void* item) {
    Cell* fresh = takeCell(list);
    Cell* tail = list.tail;
    tail->item = item;
    tail->next = fresh;
    list.tail = fresh;
  }
  void* popFront(List& list) {
    Cell* c = list.head;
    void* item = c->item;
    list.head = c->next;
    c->next = list.free;
    list.free = c;
    return item;
  }
  void startDrain();
  void drain();
  __attribute__((always_inline)) inline void processHandlers();
  void postPending();

  QrcRootGoalDemonI* _tracedDemon;
  std::ostream* _traceStream;
  QrcSearchMonitorI* _monitor;
  int _trace;
  List _handlers;
  List _posting[Levels];
  List _propagation[Levels];
  // Bit k set while propagation level k is not empty; WorkBit set while
  // handlers or constraints to post may be waiting.
  static const unsigned WorkBit = 1u << Levels;
  unsigned _levelMask;
  // The bits of _levelMask that a drain serves: all but the last level's
  // while a nested solve runs.
  unsigned _drainMask;
  QrcInt _nesting;
  // 1 while a nested solve runs, else 0 (see drainsHere).
  QrcInt _drainDepth;
  // Constraints waiting on the posting lists.
  QrcInt _postingCount;
  IntCell* _freeIntCells;
  void* _intBlocks;
  FloatCell* _freeFloatCells;
  void* _floatBlocks;
  QrcUInt _bytes;
  QrcManagerI* _manager;
  QrcInt _pendingMin;
  QrcInt _pendingMax;
  IntCell* _deferredValues;
  IntCell* _lastDeferredValue;
  IntCell* _deferredRanges;
  IntCell* _deferredAdditions;
  QrcFloat _pendingFloatMin;
  QrcFloat _pendingFloatMax;
  FloatCell* _deferredFloats;
  QrcInt _stamp;
  QrcInt _drainSerial;
  QrcInt _runCount;
  QrcInt _stepLimit;
  QrcInt _steps;
  QrcInt _demonRuns;
  QrcInt _quietRuns;
  QrcInt _events;
  QrcInt _staleParentsStamp;
};

// Reversible list of demons and constraints kept on the manager's heap.
class QrcConstraintList {
 public:
  struct Cell {
    Cell* next;
    QrcRootGoalDemonI* item;
  };
  explicit QrcConstraintList(QrcManagerI* manager) : _manager(manager), _head(nullptr) {}
  void addConstraint(QrcRootGoalDemonI* ct);
  void removeConstraint(QrcRootGoalDemonI* ct);
  QrcInt getSize() const;
  void markPending() {
    for (Cell* c = _head; c; c = c->next) c->item->markPending();
  }
  // Runs the pending items in list order (inline, defined with the manager).
  inline void propagatePending();
  void propagateAll();
  Cell* getHead() const { return _head; }

 private:
  // A pending item's run with a quiet test, a fail trap or tracing.
  void runHooked(QrcRootGoalDemonI* d);
  QrcManagerI* _manager;
  Cell* _head;
};

#endif
