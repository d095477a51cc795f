// One search of a manager: its jump buffer, state, goal, monitors, choice
// rules and limits. Searches nest; each level keeps one QrcSearchI.
#ifndef QRC_SEARCH_H
#define QRC_SEARCH_H

#include <csetjmp>

#include "qrcgoal.h"
#include "qrctypes.h"

class QrcNodeStorageI;
class QrcSearchNode;
class QrcIntVar;
class QrcFloatVar;

// Objective filter of a search (installed by an objective's setObjMin).
class QrcOptFilterI {
 public:
  explicit QrcOptFilterI(QrcExprI* objective) : _active(0), _objective(objective) {}
  virtual ~QrcOptFilterI() {}
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }
  virtual QrcFloat getBound() const = 0;
  virtual QrcBool checkValue(QrcFloat value) const = 0;
  virtual void applyBound() = 0;
  virtual void computeNextBound() = 0;
  virtual void update() = 0;
  virtual void advanceBound() = 0;
  // Applies a bound recorded on a stored node's path, when the path is replayed.
  virtual void applyRecordedBound(QrcFloat value) { (void)value; }
  QrcInt _active;
  QrcExprI* getObjective() const { return _objective; }

 protected:
  QrcExprI* _objective;
};

// Verdicts of a choice rule on the two goals of a choice point.
enum QrcChoiceVerdict {
  QrcFirstGoalFirst = 0,
  QrcSecondGoalFirst = 1,
  QrcFirstGoalOnly = 2,
  QrcSecondGoalOnly = 3,
  QrcNeitherGoal = 4  // the branch fails
};

// Asked at every choice point for a QrcChoiceVerdict.
class QrcChoiceRuleI {
 public:
  virtual ~QrcChoiceRuleI() {}
  virtual int verdict(QrcGoalI* first, QrcGoalI* second, QrcAny label) = 0;
  QrcChoiceRuleI* _next = nullptr;
};

// Events of one search, heard by the monitors set on it (setMonitor); the
// monitor installed first hears first. A search with a monitor keeps its
// open nodes in node storage: the nodes (QrcSearchNode) are made, stored,
// taken back and rebuilt by recomputation, replaying their path of choices.
// An exception from an event leaves next or restart, once the search is taken
// back to its start, or end, once the search is ended; what the monitors
// throw meanwhile is dropped.
class QrcSearchEventMonitorI {
 public:
  virtual ~QrcSearchEventMonitorI() {}
  // A node was made: the root node when the search takes up node storage,
  // then each branch of a choice that goes to the storage, before it is
  // evaluated.
  virtual void nodeCreated(void* node) { (void)node; }
  // A node is destroyed: the one the search left for the next, one the
  // storage discards, or one still open when the search ends, restarts or is
  // abandoned. Follows fourthEvent for a discarded node.
  virtual void secondEvent() {}
  // next found a solution; node is the current node (null without storage).
  virtual void solutionFound(void* node) { (void)node; }
  // The storage discards node without exploring it, for the reason n
  // (QrcNodeDiscard: every node cut, refused by its selector, over a limit,
  // a label of its path hit, an infinite key).
  virtual void fourthEvent(void* node, QrcInt n) {
    (void)node;
    (void)n;
  }
  // A choice of node's path is replayed while it is rebuilt; flag 1 when the
  // branch taken is the second.
  virtual void nodeExpanded(void* node, QrcInt flag) {
    (void)node;
    (void)flag;
  }
  // The search moves to node: before it backtracks to the deepest choice it
  // shares with node's path, then once the branch of that choice that node's
  // path takes is set, before the rest of the path is replayed.
  virtual void beforeRestoring(void* node) { (void)node; }
  virtual void afterRestoring(void* node) { (void)node; }
  // node's whole path is replayed: the search explores it from here.
  virtual void nodeRestored(void* node) { (void)node; }
  // restart took the search back to its root.
  virtual void restarted() {}
  // end is ending the search (also when the manager ends it).
  virtual void ended() {}
  // Around the posting of the constraints that a manager in edit mode filed,
  // on the first next.
  virtual void beforePostingEditConstraints() {}
  virtual void afterPostingEditConstraints() {}
  // A choice point was popped, with its label (null for the search's own
  // sentinel and for a push state).
  virtual void backtrack(QrcAny label) { (void)label; }
  QrcSearchEventMonitorI* _next = nullptr;
};

// One choice on the path of the current node: flag 1 when the branch taken is
// the second goal.
struct QrcPathCell {
  QrcInt secondBranch;
  QrcAny label;
  QrcPathCell* next;
};

// A bound the objective filter applied on the current path, at a path depth;
// count numbers the bounds of the path from 1.
struct QrcBoundCell {
  QrcInt depth;
  QrcFloat value;
  QrcInt count;
  QrcBoundCell* next;
};

class QrcSearchI {
 public:
  enum State { Made = 0, Started = 1, Exhausted = 2, AtSolution = 3 };

  QrcSearchI(QrcManagerI* manager, QrcSearchI* parent);
  virtual ~QrcSearchI() {}
  virtual void close();
  virtual int takeFirstFlag() {
    int f = _firstNext;
    _firstNext = 0;
    return f;
  }

  QrcBool next();
  void end();
  void restart();
  void setFileNodeOptions(QrcInt limit, QrcInt a, QrcInt b, QrcInt c);
  void setEndCallback(QrcGoalI* goal) { _endCallback = goal; }
  void setMonitor(QrcSearchEventMonitorI* monitor);
  void addChoiceRule(QrcChoiceRuleI* rule);
  void setOptFilter(QrcOptFilterI* filter);
  QrcOptFilterI* getOptFilter() const { return _optFilter; }

  int getState() const { return _state; }
  QrcGoalI* getGoal() const { return _goal; }
  QrcManagerI* getManager() const { return _manager; }
  bool isRecomputing() const { return _recomputationDepth > 0; }
  // True while next runs this search's loop, the target of its failures.
  bool isLooping() const { return _looping != 0; }
  QrcSearchI* getParent() const { return _parent; }
  QrcSearchI* getChild() const { return _child; }
  void setChild(QrcSearchI* child) { _child = child; }
  QrcInt getFirstOnlyCount() const { return _firstOnly; }
  QrcInt getSecondOnlyCount() const { return _secondOnly; }
  QrcInt getMemoryLimit() const { return _memoryLimit; }

  // The choice operation of the manager for this search.
  void choose(QrcGoalI* first, QrcGoalI* second, QrcAny label);
  // Pops to the next untried branch; false when none is left.
  bool recompute();
  // Pops every choice point down to the sentinel, running reversible actions.
  void popToSentinel(bool checkRecords);
  void notifyBacktrack(QrcAny label);
  // Delivers an event to the monitors, the one installed first hearing first.
  template <class F>
  void notifyMonitors(F f) const {
    deliver(_monitor, f);
  }
  void start(QrcGoalI* goal);
  // Back to the creation values.
  void clearFields();

  // ---- open-node storage (best-first search with recomputation)
  bool usesNodeStorage() const { return _plain == 0; }
  QrcNodeStorageI* getNodeStorage() const { return _nodeStorage; }
  // A storage of the caller's, used instead of the default one (before the first next).
  void setNodeStorage(QrcNodeStorageI* storage);
  QrcSearchNode* getCurrentNode() const { return _currentNode; }
  QrcSearchEventMonitorI* getMonitor() const { return _monitor; }
  // Options of setFileNodeOptions: 0 compression, 1 disk, 2 trace flags.
  QrcInt getNodeOption(int i) const { return _nodeOptions[i]; }
  bool isCuttingAllNodes() const;
  QrcInt getDiscardedNodeCount() const { return _discardedNodes; }
  void countDiscardedNode() { ++_discardedNodes; }
  void notifyNodeDiscarded(QrcSearchNode* node, QrcInt code);
  void notifyNodeDestroyed(QrcSearchNode* node);
  void writeInfo(QrcFloat value);
  QrcFloat readInfo();
  void recordObjectiveValue(QrcFloat value);
  // Releases the storage and the current node without touching the stacks.
  void discardNodeStorage();
  // After an exception: the propagation is cleared and the search goes back
  // to the state it started from (its choice points popped, their reversible
  // actions run, the push states made since popped); it then answers 0, with
  // the status of a search a limit stopped, until it is restarted or ended.
  // All of it is done whatever user code throws on the way; the first
  // exception goes on at the end.
  void abandonRun();

  jmp_buf _buffer;
  int _savedRecording;
  int _savedPersistentRecording;

 private:
  template <class F>
  static void deliver(QrcSearchEventMonitorI* m, F f) {
    if (!m) return;
    deliver(m->_next, f);
    f(m);
  }
  // The first next's set-up: the sentinel, the goal, the node storage.
  void begin();
  // end's work on a started search, and its last part: the fields cleared,
  // the depth and the trails as the search found them.
  void endRun();
  void popLevel();
  // next inside the protection that abandons the run; trap is the caller's
  // fail trap, put back on the way out.
  bool run(jmp_buf* trap);
  bool loop();
  bool pass();
  // Whether the search calls code of the caller's (monitors, choice rules,
  // node storage), which failures must not jump over.
  bool callsBack() const { return !_plain || _monitor || _choiceRules; }
  int passCatching();
  bool afterFailure();
  [[gnu::noinline]] void runReversible(QrcGoalI* wrapper);
  // Pops the top choice point (or sentinel, whose first goal is null),
  // running the reversible actions popped on the way; false when none is left.
  bool popChoice(QrcGoalI*& first, QrcWord& second, QrcAny& label);
  void undoEditPushStates();
  int combineVerdicts(QrcGoalI* first, QrcGoalI* second, QrcAny label);
  void recordChoice(bool secondBranch, QrcAny label);
  void setUpNodeStorage();
  bool nextNode();
  void closeNodeStorage();
  bool recomputeToNode();
  void chooseWithNodes(QrcGoalI* first, QrcGoalI* second, QrcAny label, int verdict);
  QrcSearchNode* makeStoredChild(QrcSearchNode* parent, bool bit, QrcAny label);
  // Both branches of a choice stored as children of node.
  void storeBothBranches(QrcSearchNode* node, QrcAny label, bool runSecond);
  void pushUncountedChoicePoint(QrcGoalI* first, QrcGoalI* second, QrcAny label);
  void nodeFailed();
  [[noreturn]] void emptyPathInRecomputation();
  // Applies the objective filter's bound once per state (it may fail).
  void applyObjectiveBound();
  void pushBound(QrcInt depth, QrcFloat value);
  // The bounds node recorded at depth, applied again while its path is replayed.
  void replayBounds(QrcSearchNode* node, QrcInt depth);
  // Lowers j to a depth whose state the current path reached under the same
  // bounds as the target's: a replay from there repeats the target's choices.
  QrcInt agreeingDepth(const QrcSearchNode* target, QrcInt j) const;

  QrcSearchI* _parent;
  QrcSearchI* _child;
  QrcManagerI* _manager;
  QrcNodeStorageI* _nodeStorage;
  QrcInt _recomputationDepth;
  QrcInt _infoCounter;
  QrcSearchNode* _currentNode;
  int _state;
  QrcGoalI* _goal;
  QrcSearchEventMonitorI* _monitor;
  QrcInt _memoryLimit;
  QrcInt _nodeOptions[3];
  QrcOptFilterI* _optFilter;
  QrcInt _nodeCounter;
  QrcInt _orBase;
  int _plain;
  int _storageNotWanted;
  QrcChoiceRuleI* _choiceRules;
  QrcInt _firstOnly;
  QrcInt _secondOnly;
  int _firstNext;
  QrcGoalI* _endCallback;
  QrcInt _laterPass;
  QrcInt _runStarted;
  QrcInt _ownSentinel;
  QrcInt _pathBase;
  QrcInt _discardedNodes;
  int _ownsStorage;
  int _cutAll;
  // Set when a limit stopped this search: its open branches are given up.
  int _stopped;
  // Bounds applied on the current path with node storage on, newest first (trailed).
  QrcBoundCell* _bounds;
  int _looping;
  // The status this search ended with, once exhausted.
  int _endStatus;
  // The Or stack's record count and the push-state depth when it started.
  QrcInt _openRecords;
  QrcInt _openPushDepth;
  // The manager's path when it started: a nested search that keeps its
  // solution gives it back, so that its parent's paths hold only its own
  // choices.
  void* _openPath;
  QrcInt _openPathDepth;
  QrcInt _openFirstBranches;
};

// Handle of a search.
class QrcSearch {
 public:
  QrcSearch() : _impl(nullptr) {}
  QrcSearch(QrcSearchI* impl) : _impl(impl) {}
  QrcSearch(const QrcManager& manager, const QrcGoal& goal);
  QrcSearchI* getImpl() const { return _impl; }
  QrcBool next() const;
  // Ends the search; the handle becomes empty.
  void end();
  void restart() const;
  void setFileNodeOptions(QrcInt limit, QrcInt a, QrcInt b, QrcInt c) const;
  void setEndCallback(const QrcGoal& goal) const;
  void setMonitor(QrcSearchEventMonitorI* monitor) const;
  // Minimises var over the solutions of this search, which must be the
  // manager's current one: each solution improves on the last by at least
  // step, or by relativeStep times the last value when that is more. After
  // a restart, solutions may cost as much as the last one found, never more.
  void setObjMin(const QrcIntVar& var, QrcInt step, QrcFloat relativeStep) const;
  void setObjMin(const QrcFloatVar& var, QrcFloat step, QrcFloat relativeStep) const;

 private:
  QrcSearchI* check(const char* place) const;
  QrcSearchI* _impl;
};

#endif
