// Depth-first search over the choice points that or-goals open.
#include "qrcsearch.h"

#include <iostream>

#include "qrcnodestorage.h"

#include "qrcfail.h"
#include "qrcfinish.h"
#include "qrcfloatenv.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qroplatform.h"

QrcSearchI::QrcSearchI(QrcManagerI* manager, QrcSearchI* parent)
    : _savedRecording(0),
      _savedPersistentRecording(0),
      _parent(parent ? parent : this),
      _child(nullptr),
      _manager(manager) {
  clearFields();
}

void QrcSearchI::clearFields() {
  _nodeStorage = nullptr;
  _recomputationDepth = 0;
  _infoCounter = 0;
  _currentNode = nullptr;
  _state = Made;
  _goal = nullptr;
  _monitor = nullptr;
  _memoryLimit = INT64_MAX;
  _nodeOptions[0] = _nodeOptions[1] = _nodeOptions[2] = 0;
  _optFilter = nullptr;
  _nodeCounter = 0;
  _orBase = -2;
  _plain = 1;
  _storageNotWanted = 1;
  _choiceRules = nullptr;
  _firstOnly = 0;
  _secondOnly = 0;
  _firstNext = 1;
  _endCallback = nullptr;
  _laterPass = 0;
  _runStarted = 0;
  _ownSentinel = 1;
  _pathBase = 0;
  _discardedNodes = 0;
  _ownsStorage = 0;
  _cutAll = 0;
  _stopped = 0;
  _bounds = nullptr;
  _looping = 0;
  _openRecords = 0;
  _openPushDepth = 0;
  _openPath = nullptr;
  _openPathDepth = 0;
  _openFirstBranches = 0;
  _endStatus = QrcSearchExhausted;
}

void QrcSearchI::close() {}

void QrcSearchI::setFileNodeOptions(QrcInt limit, QrcInt a, QrcInt b, QrcInt c) {
  _memoryLimit = limit > 5000000 ? limit : 5000000;
  _nodeOptions[0] = a;
  _nodeOptions[1] = b;
  _nodeOptions[2] = c;
}

void QrcSearchI::setMonitor(QrcSearchEventMonitorI* monitor) {
  QrcManagerI* m = _manager;
  if (m->_searchDepth != m->_nextDepth) {
    monitor->_next = _monitor;
    _monitor = monitor;
    _storageNotWanted = 0;
    return;
  }
  if (_state == Made) {
    monitor->_next = _monitor;
    _monitor = monitor;
    _storageNotWanted = 0;
    return;
  }
  m->saveValue(&_monitor);
  monitor->_next = _monitor;
  _monitor = monitor;
  if (m->getFailJump() == &_buffer) m->setFailJump(nullptr);
  // A running search switches to node storage at once.
  if (_plain && m->_currentSearch == this) setUpNodeStorage();
}

void QrcSearchI::addChoiceRule(QrcChoiceRuleI* rule) {
  if (_manager->getFailJump() == &_buffer) _manager->setFailJump(nullptr);
  if (!_choiceRules) {
    _choiceRules = rule;
    return;
  }
  QrcChoiceRuleI* r = _choiceRules;
  while (r->_next) r = r->_next;
  r->_next = rule;
}

void QrcSearchI::setOptFilter(QrcOptFilterI* filter) {
  if (filter && !QrcIsLibraryObject(filter)) _manager->noteForeignCode();
  if (_state != Made) _manager->saveValue(&_optFilter);
  _optFilter = filter;
}

void QrcSearchI::notifyBacktrack(QrcAny label) {
  deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->backtrack(label); });
}

// ---------------------------------------------------------------- choices

int QrcSearchI::combineVerdicts(QrcGoalI* first, QrcGoalI* second, QrcAny label) {
  int current = QrcFirstGoalFirst;
  for (QrcChoiceRuleI* r = _choiceRules; r; r = r->_next) {
    int v = r->verdict(first, second, label);
    switch (current) {
      case QrcFirstGoalFirst:
        current = v;
        break;
      case QrcSecondGoalFirst:
        // A second reversal restores the natural order.
        current = v == QrcFirstGoalFirst    ? QrcSecondGoalFirst
                  : v == QrcSecondGoalFirst ? QrcFirstGoalFirst
                  : v == QrcFirstGoalOnly   ? QrcFirstGoalOnly
                  : v == QrcSecondGoalOnly  ? QrcSecondGoalOnly
                                            : QrcNeitherGoal;
        break;
      case QrcFirstGoalOnly:
        current = (v == QrcFirstGoalFirst || v == QrcSecondGoalFirst || v == QrcFirstGoalOnly)
                      ? QrcFirstGoalOnly
                      : QrcNeitherGoal;
        break;
      case QrcSecondGoalOnly:
        current = (v == QrcFirstGoalFirst || v == QrcSecondGoalFirst || v == QrcSecondGoalOnly)
                      ? QrcSecondGoalOnly
                      : QrcNeitherGoal;
        break;
      default:
        current = QrcNeitherGoal;
        break;
    }
  }
  return current;
}

void QrcSearchI::recordChoice(bool secondBranch, QrcAny label) {
  QrcManagerI* m = _manager;
  m->saveValue(&m->_path);
  m->_path = new (m) QrcPathCell{secondBranch ? 1 : 0, label, static_cast<QrcPathCell*>(m->_path)};
  m->saveValue(&m->_pathDepth);
  ++m->_pathDepth;
  if (!secondBranch) {
    m->saveValue(&m->_firstBranches);
    ++m->_firstBranches;
  }
}

void QrcSearchI::choose(QrcGoalI* first, QrcGoalI* second, QrcAny label) {
  QrcManagerI* m = _manager;
  int v = QrcFirstGoalFirst;
  if (label != QrcInternalLabel() && !isRecomputing()) v = combineVerdicts(first, second, label);
  switch (v) {
    case QrcFirstGoalOnly:
      m->pushGoal(first);
      m->saveValue(&_firstOnly);
      ++_firstOnly;
      return;
    case QrcSecondGoalOnly:
      m->pushGoal(second);
      m->saveValue(&_secondOnly);
      ++_secondOnly;
      return;
    case QrcNeitherGoal:
      m->fail();
    default:
      break;
  }
  if (!_plain) {
    chooseWithNodes(first, second, label, v);
    return;
  }
  bool secondFirst = v == QrcSecondGoalFirst;
  // Saved before the record, so that popping it keeps this choice's order.
  m->saveValue(&m->_secondFirst);
  m->_secondFirst = secondFirst ? 1 : 0;
  m->pushChoicePoint(first, second, label);
  m->pushGoal(secondFirst ? second : first);
  recordChoice(secondFirst, label);
}

void QrcSearchI::runReversible(QrcGoalI* wrapper) {
  QrcGoalI* goal = static_cast<QrcReversibleI*>(wrapper)->getGoal();
  if (goal) _manager->runGoal(goal);
}

bool QrcSearchI::popChoice(QrcGoalI*& first, QrcWord& second, QrcAny& label) {
  QrcManagerI* m = _manager;
  for (;;) {
    if (m->_orRecords == 0) return false;
    second = 0;
    label = nullptr;
    first = m->popChoicePoint(&second, &label);
    if (label != QrcReversibleActionMarker()) return true;
    runReversible(first);
  }
}

bool QrcSearchI::recompute() {
  QrcManagerI* m = _manager;
  if (!_plain) return recomputeToNode();
  for (;;) {
    QrcGoalI* first = nullptr;
    QrcWord secondWord = 0;
    QrcAny label = nullptr;
    if (!popChoice(first, secondWord, label)) return false;
    notifyBacktrack(label);
    if (!first) {
      // Without a sentinel of its own the search ran above the push states:
      // the sentinel just popped was one of them.
      if (!_ownSentinel && m->_pushStateDepth > 0) --m->_pushStateDepth;
      if (m->_searchDepth == 1 && m->_pushStateLevel >= 1) m->popPushStates(2);
      return false;
    }
    if (m->_failLabel && m->_failLabel != label) continue;
    if (_stopped) continue;
    m->_failLabel = nullptr;
    QrcGoalI* second = reinterpret_cast<QrcGoalI*>(secondWord);
    bool takeSecond = m->_secondFirst == 0;
    m->pushGoal(takeSecond ? second : first);
    recordChoice(takeSecond, label);
    for (QrcGoalCell* c = m->_failCallbacks; c; c = c->next) m->runGoal(c->goal);
    return true;
  }
}

void QrcSearchI::popToSentinel(bool checkRecords) {
  QrcManagerI* m = _manager;
  QrcGoalI* first = nullptr;
  QrcWord secondWord = 0;
  QrcAny label = nullptr;
  while (popChoice(first, secondWord, label)) {
    if (!first) {
      if (!_ownSentinel && m->_pushStateDepth > 0) --m->_pushStateDepth;
      break;
    }
    if (checkRecords)
      m->getErrorReporter()->report(QrcInternalError, "internal error",
                                    "Should find a sentinel in failure");
  }
  notifyBacktrack(nullptr);
}

void QrcSearchI::undoEditPushStates() {
  QrcManagerI* m = _manager;
  if (m->_searchDepth != 1) return;
  if (m->_pushStateLevel == 1 || m->_pushStateLevel == 3)
    m->popPushStates(1);
  else if (m->_pushStateLevel == 2)
    m->popPushStates(2);
}

// ---------------------------------------------------------------- next

QrcBool QrcSearchI::next() {
  QrcManagerI* m = _manager;
  if (m->_searchDepth - m->_nextDepth != 1)
    m->getErrorReporter()->report(QrcSearchMisuseError, "The next method is called from too deep",
                                  "incorrect search use");
  m->_failLabel = nullptr;
  if (_state == Made)
    m->getErrorReporter()->report(QrcSearchMisuseError,
                                  "The next method is not allowed at this time",
                                  "incorrect search use");
  if (_state == Exhausted) {
    // Whatever searches ran since, the status says what ended this one.
    m->_status = _endStatus;
    return 0;
  }
  const QrcInt depth = m->_searchDepth;
  jmp_buf* trap = m->getFailTrap();
  jmp_buf* jump = m->getFailJump();
  try {
    return run(trap) ? 1 : 0;
  } catch (...) {
    _looping = 0;
    // An exception (a user's, a monitor's, a node storage's, or an error
    // report that throws) abandons the searches opened inside this one, then
    // this one's run. What user code throws meanwhile is dropped: the caller
    // gets the first.
    m->setFailTrap(trap);
    m->setFailJump(jump);
    qrcfinish::quietly([&] { m->abandonSearches(depth, depth - 1); });
    qrcfinish::quietly([this] { abandonRun(); });
    throw;
  }
}

void QrcSearchI::begin() {
  QrcManagerI* m = _manager;
  _ownSentinel = !(m->_pushStateLevel && m->_searchDepth == 1);
  if (_ownSentinel) {
    m->pushChoicePoint(nullptr, nullptr, nullptr);
    m->pushGoal(nullptr);
  } else {
    m->popGoal();
  }
  m->pushGoal(_goal);
  if (!_storageNotWanted) setUpNodeStorage();
  _laterPass = 0;
}

bool QrcSearchI::run(jmp_buf* trap) {
  QrcManagerI* m = _manager;
  if (_state == AtSolution && !_plain) _nodeStorage->nodeLeft(_currentNode);
  if (_state == Started)
    begin();
  else
    _laterPass = 1;
  ++m->_nextDepth;
  // Failures inside this search are its own, even under an enclosing fail trap.
  m->setFailTrap(nullptr);
  jmp_buf* jump = m->getFailJump();
  _looping = 1;
  bool found = loop();
  _looping = 0;
  --m->_nextDepth;
  m->setFailTrap(trap);
  m->setFailJump(jump);
  if (!found) {
    // What ended this search, whatever a nested search left in the status.
    _state = Exhausted;
    m->_status = _stopped        ? QrcSearchLimited
                 : m->_failLabel ? QrcSearchFailedLabel
                                 : QrcSearchExhausted;
    _endStatus = m->_status;
    return false;
  }
  _state = AtSolution;
  m->_status = QrcSearchSolution;
  deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->solutionFound(_currentNode); });
  return true;
}

bool QrcSearchI::loop() {
  QrcManagerI* m = _manager;
  for (;;) {
    if (_laterPass && !_plain && !nextNode()) closeNodeStorage();
    if (setjmp(_buffer) == 0) {
      if (!m->usesExceptions()) return pass();
      // A failure comes back as a jump while only the library's code runs,
      // else as an exception: always with monitors, choice rules or node
      // storage, which call back the caller's code.
      m->setFailJump(callsBack() ? nullptr : &_buffer);
      int outcome = passCatching();
      if (outcome >= 0) return outcome == 1;
    }
    // Back to nearest, read from the processor: the failed branch may have
    // changed the direction by any means.
    qroplatform::forgetRounding();
    setRoundingNearest();
    if (!afterFailure()) return false;
  }
}

// pass(), 1 or 0, or -1 when a failure was thrown out of it.
int QrcSearchI::passCatching() {
  try {
    return pass() ? 1 : 0;
  } catch (const QrcFailException&) {
    // Met while a search nested in this one is still open, the failure is
    // not this search's, as in jump mode.
    if (_manager->getCurrentSearch() != this) throw;
    return -1;
  }
}

bool QrcSearchI::pass() {
  QrcManagerI* m = _manager;
  _runStarted = 0;
  if (m->isInEditMode()) {
    deliver(_monitor, [](QrcSearchEventMonitorI* mon) { mon->beforePostingEditConstraints(); });
    m->leaveEditMode();
    if (_ownSentinel && m->_searchDepth == 1 && m->_pushStateLevel == 3) {
      // States were pushed over the root this search posted: its own sentinel
      // now holds that root and counts as the lowest of them.
      _ownSentinel = 0;
      ++m->_pushStateDepth;
    }
    deliver(_monitor, [](QrcSearchEventMonitorI* mon) { mon->afterPostingEditConstraints(); });
  }
  _runStarted = 1;
  if (_laterPass) {
    for (QrcGoalCell* c = m->_launchCallbacks; c; c = c->next) m->runGoal(c->goal);
    if (!recompute()) return false;
  }
  _laterPass = 1;
  m->_currentGoal = nullptr;
  m->_currentDemon = nullptr;
  if (!_plain) _nodeStorage->nodeEntered(_currentNode);
  // A stored node gets the bound once its path is replayed: the bound may
  // bind variables that the path's choices are about.
  if (!isRecomputing()) applyObjectiveBound();
  m->executeGoals();
  if (isRecomputing()) emptyPathInRecomputation();
  if (_optFilter) {
    _optFilter->computeNextBound();
    _optFilter->_active = 0;
  }
  return true;
}

void QrcSearchI::applyObjectiveBound() {
  if (!_optFilter || _optFilter->_active != 0) return;
  _manager->saveValue(&_optFilter->_active);
  _optFilter->_active = 1;
  _optFilter->update();
}

bool QrcSearchI::afterFailure() {
  QrcManagerI* m = _manager;
  m->clearAddedGoals();
  _recomputationDepth = 0;
  if (!_plain) nodeFailed();
  if (!_runStarted) {
    popToSentinel(true);
    undoEditPushStates();
    return false;
  }
  if (m->_limitsSet && m->isLimitReached()) {
    _stopped = 1;
    m->_status = QrcSearchLimited;
  }
  _laterPass = 1;
  return true;
}

// ---------------------------------------------------------------- limits

bool QrcManagerI::isRecomputing() const {
  return _currentSearch && _currentSearch->isRecomputing();
}

void QrcManagerI::choose(QrcGoalI* first, QrcGoalI* second, QrcAny label) {
  if (!_currentSearch) {
    // Outside a search there is no choice to keep: take the first branch.
    pushGoal(first);
    return;
  }
  _currentSearch->choose(first, second, label);
}

bool QrcManagerI::isLimitReached() const {
  if (isRecomputing()) return false;
  if (_failLimit > 0 && _fails - _nestedFails >= _failLimit) return true;
  if (_choicePointLimit > 0 && _choicePoints >= _choicePointLimit) return true;
  if (_timeLimit > 0.0 && isTimeLimitReached()) return true;
  return false;
}

// The processor time is read again only once the coarse clock has moved on (a
// tick of a few milliseconds). A limit found reached stays reached, for every
// search on the manager, until a limit is set again: a nested solve that read
// the clock first in a tick does not hide the limit from the search around it.
bool QrcManagerI::isTimeLimitReached() const {
  if (_timeLimitReached) return true;
  QrcInt tick = qroplatform::coarseClockNanos();
  if (tick == _limitClockTick) return false;
  _limitClockTick = tick;
  if (cpuTime() < _timeLimit) return false;
  _timeLimitReached = 1;
  return true;
}

void QrcManagerI::setFailLimit(QrcInt n) {
  if (n == 0) return;
  QrcInt done = _fails - _nestedFails;
  _failLimit = done > INT64_MAX - n ? n : done + n;
  _limitsSet = 1;
}

void QrcManagerI::setChoicePointLimit(QrcInt n) {
  _choicePointLimit = _choicePoints > INT64_MAX - n ? n : _choicePoints + n;
  _limitsSet = 1;
}

void QrcManagerI::setTimeLimit(double seconds) {
  if (seconds == 0.0) return;
  _timeLimit = cpuTime() + seconds;
  // The next check reads the clock, in whatever tick the last read was.
  _limitClockTick = -1;
  _timeLimitReached = 0;
  _limitsSet = 1;
}

void QrcManagerI::unsetLimits() {
  _failLimit = 0;
  _choicePointLimit = 0;
  _timeLimit = 0.0;
  _timeLimitReached = 0;
  _limitsSet = 0;
}

// The cells are on the heap, as goals are: a callback added in a branch goes
// with it.
void QrcManagerI::addLaunchCallback(QrcGoalI* goal) {
  saveValue(&_launchCallbacks);
  _launchCallbacks = new (this) QrcGoalCell{_launchCallbacks, goal};
}

void QrcManagerI::addFailCallback(QrcGoalI* goal) {
  saveValue(&_failCallbacks);
  _failCallbacks = new (this) QrcGoalCell{_failCallbacks, goal};
}

// Values recorded on the path of the current node, for replay by recomputation.
void QrcManagerI::writeInfo(QrcFloat value) {
  if (_currentSearch) _currentSearch->writeInfo(value);
}

QrcFloat QrcManagerI::readInfo() {
  if (!_currentSearch)
    _reporter->report(QrcSearchMisuseError, "read info when not recomputing",
                      "incorrect search use");
  return _currentSearch->readInfo();
}

void QrcManagerI::recordObjectiveValue(QrcFloat value) {
  if (_currentSearch) _currentSearch->recordObjectiveValue(value);
}

void QrcManagerI::applyObjectiveBound() {
  if (_currentSearch && _currentSearch->getOptFilter())
    _currentSearch->getOptFilter()->applyBound();
}

void QrcManagerI::setOptFilter(QrcOptFilterI* filter) {
  QrcSearchI* s = _currentSearch ? _currentSearch : startSearch();
  s->setOptFilter(filter);
}
