// Starting, ending, restarting and committing searches; nested solves; push
// states; statistics.
#include <iostream>

#include "qrcconstraint.h"
#include "qrcfinish.h"
#include "qrcfloatenv.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

namespace {

void misuse(QrcManagerI* m, const char* message) {
  m->getErrorReporter()->report(QrcSearchMisuseError, message, "incorrect search use");
}

}  // namespace

QrcSearchI* QrcManagerI::makeSearch() {
  return new (_searchStack) QrcSearchI(this, nullptr);
}

QrcSearchI* QrcManagerI::startSearch() {
  if (_currentDemon)
    _reporter->report(QrcSearchInPropagationError, "StartSearch",
                      "clause in a propagation (try coroutining)");
  if (_searchDepth != _nextDepth) misuse(this, "Wrong nesting of startSearch and next methods");
  if (_searchDepth == 0) {
    if (!_rootSearch) _rootSearch = makeSearch();
    return _rootSearch;
  }
  QrcSearchI* child = _currentSearch->getChild();
  if (!child) {
    child = new (_searchStack) QrcSearchI(this, _currentSearch);
    _currentSearch->setChild(child);
  }
  return child;
}

QrcSearchI* QrcManagerI::newSearch(QrcGoalI* goal) {
  QrcSearchI* s = startSearch();
  if (s->getState() != QrcSearchI::Made) misuse(this, "Creating an QrcSearch is not allowed here");
  s->_savedRecording = _trail->isRecording();
  s->_savedPersistentRecording = _persistentTrail->isRecording();
  _trail->setRecording(1);
  _persistentTrail->setRecording(1);
  s->start(goal);
  _status = QrcSearchSolution;
  ++_searchDepth;
  _currentSearch = s;
  return s;
}

void QrcSearchI::start(QrcGoalI* goal) {
  _goal = goal;
  _state = Started;
  _stopped = 0;
  _openRecords = _manager->_orRecords;
  _openPushDepth = _manager->_pushStateDepth;
  _openPath = _manager->_path;
  _openPathDepth = _manager->_pathDepth;
  _openFirstBranches = _manager->_firstBranches;
}

void QrcSearchI::abandonRun() {
  QrcManagerI* m = _manager;
  m->clearPropagation();
  // The nodes first: the heap they may lie on is popped below.
  qrcfinish::all([this] { discardNodeStorage(); },
                 [this, m] {
                   _recomputationDepth = 0;
                   m->popRecordsTo(_openRecords);
                 },
                 [this, m] {
                   m->_pushStateDepth = _openPushDepth;
                   _state = Exhausted;
                   // Stopped before it ran out, as a limit stops a search:
                   // neither at a solution nor exhausted.
                   m->_status = QrcSearchLimited;
                   _endStatus = QrcSearchLimited;
                 });
}

// The search ends whatever its monitors throw at the news.
void QrcSearchI::end() {
  QrcManagerI* m = _manager;
  if (m->_searchDepth - m->_nextDepth != 1) misuse(m, "You cannot end a search here");
  const bool made = _state == Made;
  qrcfinish::all([this] { notifyMonitors([](QrcSearchEventMonitorI* mon) { mon->ended(); }); },
                 [this, made] {
                   if (!made) endRun();
                 });
  if (made) misuse(m, "Ending a search is not allowed here");
}

void QrcSearchI::endRun() {
  QrcManagerI* m = _manager;
  if (_state == AtSolution) {
    m->collapse();
    if (!_ownSentinel && m->_pushStateDepth > 0) --m->_pushStateDepth;
  }
  if (m->_searchDepth > 1) {
    // Its choices are gone with its choice points; the parent's backtracks
    // restore the trailed words below the values put back here.
    m->_path = _openPath;
    m->_pathDepth = _openPathDepth;
    m->_firstBranches = _openFirstBranches;
  }
  if (m->_pushStateLevel == 3 && m->_searchDepth == 1) m->_pushStateLevel = 2;
  QrcGoalI* callback = _endCallback;
  qrcfinish::all([this] { discardNodeStorage(); }, [this] { popLevel(); },
                 [m, callback] {
                   if (callback) m->runGoal(callback);
                 });
}

void QrcSearchI::popLevel() {
  QrcManagerI* m = _manager;
  int savedRecording = _savedRecording;
  int savedPersistent = _savedPersistentRecording;
  clearFields();
  --m->_searchDepth;
  m->_currentSearch = m->_searchDepth > 0 ? _parent : nullptr;
  // A search nested in a change at the root leaves the change its mark.
  if (m->_searchDepth > 0 || m->_rootMark) {
    m->_trail->setRecording(savedRecording);
    m->_persistentTrail->setRecording(savedPersistent);
  }
  if (m->_searchDepth == 0) {
    m->_editMode = m->_initialEditMode;
    _firstNext = 1;
    if (m->_pushStateDepth == 0 && !m->_rootMark) {
      m->_trail->reset();
      if (m->_persistentTrail != m->_trail) m->_persistentTrail->reset();
      m->_orRecords = 0;
      m->_orStack->reset();
    }
  }
}

void QrcSearchI::restart() {
  QrcManagerI* m = _manager;
  if (m->_searchDepth - m->_nextDepth != 1) misuse(m, "The restart method is called from too deep");
  if (_state == Made) misuse(m, "The restart method is not allowed at this time");
  try {
    if (_state == AtSolution) {
      popToSentinel(false);
      if (m->_searchDepth == 1 && m->_pushStateLevel >= 1) m->popPushStates(2);
    }
    discardNodeStorage();
    _state = Started;
    // A limit stopped the run before, not the one that starts now.
    _stopped = 0;
    m->_status = QrcSearchSolution;
    if (_optFilter) {
      _optFilter->advanceBound();
      _optFilter->_active = 0;
    }
    if (m->_persistentTrail != m->_trail) m->_persistentTrail->reset();
    if (m->_searchDepth == 1) {
      _firstNext = 1;
      m->_editMode = m->_initialEditMode;
    }
    notifyMonitors([](QrcSearchEventMonitorI* mon) { mon->restarted(); });
  } catch (...) {
    // A reversible action or a monitor threw on the way: the restart is not
    // made, and the search answers 0 until it is restarted or ended.
    qrcfinish::quietly([this] { abandonRun(); });
    throw;
  }
  m->_currentDemon = nullptr;
  m->_currentGoal = nullptr;
}

// ---------------------------------------------------------------- manager search operations

QrcBool QrcManagerI::next() {
  if (_nextDepth > 0) return 0;
  if (_searchDepth == 0) {
    _savedGoals = _goalsAdded;
    _goalsAdded = nullptr;
    newSearch(new (_heap) QrcPushGoalsI(this));
  }
  return _currentSearch->next();
}

void QrcManagerI::restart() {
  if (_searchDepth > 1) misuse(this, "Restart is called not after a search");
  if (_nextDepth > 0) misuse(this, "Restart is called during the search");
  if (_searchDepth != 1) return;
  QrcSearchI* s = _currentSearch;
  QrcOptFilterI* filter = s->getOptFilter();
  s->restart();
  s->end();
  if (filter) startSearch()->setOptFilter(filter);
  _editMode = _initialEditMode;
  _goalsAdded = _savedGoals;
}

void QrcManagerI::commit() {
  if (_searchDepth == 0) misuse(this, "Commit is called not after a search");
  if (_searchDepth > 1) misuse(this, "Commit is called from too deep");
  if (_nextDepth > 0) misuse(this, "Commit is called during the search");
  _currentSearch->end();
  next();
}

QrcBool QrcManagerI::solve(QrcGoalI* goal, bool restore) {
  const QrcInt depth = _searchDepth, nextDepth = _nextDepth;
  if (_searchDepth == 1 && _nextDepth == 0) ++_nextDepth;
  QrcBool found = 0;
  try {
    QrcSearchI* s = newSearch(goal);
    found = s->next();
    if (found && restore) s->restart();
    s->end();
  } catch (...) {
    // The caller has no handle on the search: it goes back and ends here.
    if (_searchDepth > depth) qrcfinish::quietly([&] { abandonSearches(depth, nextDepth); });
    _nextDepth = nextDepth;
    throw;
  }
  _nextDepth = nextDepth;
  return found;
}

QrcBool QrcManagerI::solve(const QrcGoal& goal, bool restore) {
  return solve(goal.getImpl(), restore);
}

QrcBool QrcManagerI::solveInPropagation(QrcRootGoalDemonI* demon, const QrcGoal& goal,
                                        bool restore) {
  return solveInPropagation(demon, goal.getImpl(), restore);
}

QrcBool QrcManagerI::solveInPropagation(QrcRootGoalDemonI* demon, QrcGoalI* goal, bool restore) {
  QrcInt outerNested = _nestedSolve;
  _nestedSolve = 1;
  QrcPropagationQueueI::Aside outer = _queue->enterNestedSolve();
  _currentDemon = nullptr;
  QrcInt failsBefore = _fails;
  auto leave = [this, failsBefore, outerNested, &outer] {
    _nestedFails += _fails - failsBefore;
    _nestedSolve = outerNested;
    _queue->leaveNestedSolve(outer);
  };
  QrcBool found = 0;
  try {
    found = solve(goal, restore);
  } catch (...) {
    // What the nested solve queued is dropped; the outer work comes back.
    _queue->clear();
    leave();
    throw;
  }
  leave();
  if (demon && demon->getState() == QrcRootGoalDemonI::Pending)
    demon->setState(QrcRootGoalDemonI::Idle);
  _currentDemon = demon;
  return found;
}

void QrcManagerI::pushState() {
  if ((_searchDepth == 0 && _nextDepth == 0) || _pushStateLevel) {
    _trail->setRecording(1);
    ++_pushStateDepth;
    pushChoicePoint(nullptr, nullptr, nullptr);
    return;
  }
  misuse(this, "push state in the wrong context");
}

void QrcManagerI::popState() {
  if ((_searchDepth > 0 || _nextDepth > 0) && _pushStateLevel == 0)
    misuse(this, "pop state in the wrong context");
  if (_pushStateDepth - 1 < 0) misuse(this, "Too much pop State");
  --_pushStateDepth;
  while (_orRecords > 0) {
    QrcWord second = 0;
    QrcAny label = nullptr;
    QrcGoalI* first = popChoicePoint(&second, &label);
    if (label == QrcReversibleActionMarker()) {
      QrcGoalI* goal = static_cast<QrcReversibleI*>(first)->getGoal();
      if (goal) runGoal(goal);
      continue;
    }
    if (!first) break;
  }
  if (_currentSearch) _currentSearch->notifyBacktrack(nullptr);
}

void QrcManagerI::popPushStates(QrcInt n) {
  for (QrcInt i = 0; i < n && _pushStateDepth > 0; ++i) popState();
}

void QrcManagerI::collapsePushStates() {
  while (_pushStateDepth > 0) {
    collapse();
    --_pushStateDepth;
  }
  _pushStateLevel = 0;
}

// Each search is abandoned and ended whatever its user code throws; the
// first exception goes on once all are ended.
void QrcManagerI::abandonSearches(QrcInt depth, QrcInt nextDepth) {
  clearPropagation();
  QrcSearchI* last = nullptr;
  auto endOne = [&] {
    QrcSearchI* s = _currentSearch;
    // A search that could not be ended stops the walk.
    if (_searchDepth <= depth || !s || s == last || s->getState() == QrcSearchI::Made) return false;
    last = s;
    _nextDepth = _searchDepth - 1;
    qrcfinish::all([s] { s->abandonRun(); }, [s] { s->end(); });
    return true;
  };
  qrcfinish::all([&] { qrcfinish::each(endOne); }, [&] { _nextDepth = nextDepth; });
}

// ---------------------------------------------------------------- statistics

void QrcManagerI::resetStatistics() {
  _fails = 0;
  _nestedFails = 0;
  _choicePoints = 0;
  _recomputedChoices = 0;
  _storedNodes = 0;
  _startTime = cpuTime();
}

void QrcManagerI::printStatistics(std::ostream& os) const {
  os << "Number of fails               : " << (_fails - _nestedFails) << std::endl;
  os << "Number of choice points       : " << _choicePoints << std::endl;
  os << "Number of variables           : " << _variableCount.getValue() << std::endl;
  os << "Number of constraints         : " << _constraintCount.getValue() << std::endl;
  QrcUInt total = 0;
  auto line = [&](const char* label, QrcUInt bytes) {
    os << label << bytes << std::endl;
    total += bytes;
  };
  line("Reversible stack (bytes)      : ", _trail->getBytes());
  if (_persistentTrail != _trail)
    line("Persistent stack (bytes)      : ", _persistentTrail->getBytes());
  line("Solver heap (bytes)           : ", _heap->getBytes());
  line("Solver global heap (bytes)    : ", _globalHeap->getBytes());
  line("And stack (bytes)             : ", _andStack->getBytes());
  line("Or stack (bytes)              : ", _orStack->getBytes());
  line("Search Stack (bytes)          : ", _searchStack->getBytes());
  line("Constraint queue (bytes)      : ", _queue->getBytes());
  os << "Total memory used (bytes)     : " << total << std::endl;
  double t = getRunningTime();
  if (t < 1e-6) t = 0;
  os << "Running time since creation   : " << t << std::endl;
}

double QrcManagerI::getRunningTime() const {
  return cpuTime() - _startTime;
}
