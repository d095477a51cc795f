#include "qrcmanager.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>

#include "qrcconstraint.h"
#include "qrcfinish.h"
#include "qrcfloatconst.h"
#include "qrcfloatenv.h"
#include "qrcgenalloc.h"
#include "qrortti.h"
#include "qrcgoal.h"
#include "qrcintexp.h"
#include "qrcqueue.h"
#include "qrcrandom.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "qroexception.h"
#include "qroplatform.h"

void QrcEdit() {
  std::cout << "edit" << std::endl;
}
void QrcNoEdit() {
  std::cout << "noEdit" << std::endl;
}

namespace {

std::atomic<QrcInt> liveManagers{0};

// The count of live managers changes under the type-registry lock when one is installed.
void changeLiveManagers(QrcInt delta) {
  QroTypeRegistryLock* lock = QroGetTypeRegistryLock();
  if (lock) lock->lock();
  liveManagers.fetch_add(delta);
  if (lock) lock->unlock();
}

QrcErrorReporter* defaultReporter() {
  static QrcErrorReporter reporter;
  return &reporter;
}

QrcTrail* newTrail(QrcManagerI* m, int recording) {
  QrcTrail* t = new QrcTrail(m);
  t->setRecording(recording);
  return t;
}

}  // namespace

QrcErrorReporter* QrcGetErrorReporter(QrcManagerI* manager) {
  if (manager && manager->getErrorReporter()) return manager->getErrorReporter();
  return defaultReporter();
}

void* QrcAllocate(size_t size, QrcManagerI* manager) {
  if (manager) return manager->allocate(size);
  void* p = std::malloc(size ? size : 1);
  if (!p) throw QroMemoryException();
  return p;
}

// With the manager's allocation inline: engine objects are made by the
// million.
void* operator new(size_t size, QrcManagerI* manager) {
  if (manager) return manager->allocate(size);
  return QrcAllocate(size, manager);
}
void* operator new[](size_t size, QrcManagerI* manager) {
  return QrcAllocate(size, manager);
}

QrcRevWord::QrcRevWord(QrcManagerI* manager, QrcInt value)
    : _value(value), _stamp(manager ? manager->getStamp() : 0) {}

QrcRevWord::QrcRevWord(const QrcManager& manager, QrcInt value)
    : _value(value), _stamp(manager.getImpl() ? manager.getImpl()->getStamp() : 0) {}

QrcInt QrcManagerI::getLiveManagerCount() {
  return liveManagers.load();
}

// ---------------------------------------------------------------- creation

QrcManagerI::QrcManagerI(QrcManagerTag tag) {
  if (tag != &QrcEdit && tag != &QrcNoEdit)
    QrcFatalError(QrcBadConstructionError, "Bad construction of QrcManager", "");
  _editMode = tag == &QrcEdit ? 1 : 0;
  _initialEditMode = _editMode;
  _counted = 0;
  if (!_editMode) {
    changeLiveManagers(1);
    _counted = 1;
  }
  static std::once_flag floatEnvironmentReady;
  std::call_once(floatEnvironmentReady, QrcInitFloatEnvironment);
  build();
}

void QrcManagerI::build() {
  bool pooling = qroplatform::getEnv("QRC_NO_MEMORY_MANAGER") == nullptr;
  buildHeaps(pooling ? QrcMemoryStack::Blocks : QrcMemoryStack::PerObject);
  buildScratch();
  initSettings();
  initHeapState(pooling);
  _random = QrcMakeRandom(this, nullptr);
}

void QrcManagerI::buildHeaps(int heapMode) {
  _solver = nullptr;
  _owner = nullptr;
  _filterLevelTable = nullptr;
  _reporter = nullptr;
  _stamp = 0;
  _failStamp = 1;
  _actionGroup = nullptr;
  _actionGroupStamp = -1;
  _actionGroupTop = -1;
  _truthRecordCount = 0;
  _heap = new QrcMemoryStack(this, heapMode);
  _reporter = new (_heap) QrcErrorReporter();
  _queue = new QrcPropagationQueueI(this);
  _trail = newTrail(this, 0);
  _persistentTrail = _trail;
  _secondTrail = newTrail(this, 1);
  _globalHeap = new QrcMemoryStack(this, heapMode);
  _copyStack = new QrcCopyStack();
  _memoStack = new QrcMemoStack(this);
  _andStack = new QrcMemoryStack(this, QrcMemoryStack::Blocks);
  _orStack = new QrcMemoryStack(this, QrcMemoryStack::Blocks);
  _searchStack = new QrcMemoryStack(this, QrcMemoryStack::Blocks);
}

void QrcManagerI::buildScratch() {
  _scratchCapacity = 1000;
  _scratch = static_cast<QrcInt*>(std::malloc(8000));
  if (!_scratch) throw QroMemoryException();
  _arrayPool = nullptr;
  _arrayPool = static_cast<QrcLockableArray*>(std::malloc(sizeof(QrcLockableArray)));
  if (!_arrayPool) throw QroMemoryException();
  _arrayPool->capacity = 1000;
  _arrayPool->data = static_cast<QrcInt*>(std::malloc(8000));
  if (!_arrayPool->data) throw QroMemoryException();
  _arrayPool->lock = nullptr;
  _arrayPool->next = nullptr;
}

void QrcManagerI::initSettings() {
  _creationClock = clockTime();
  _addMode = QrcRegisteredAddMode;
  _immediatePost = 1;
  _packApproximationSize = 512;
  _generalAllocator = new QrcGenAlloc(this);

  _teardownListeners = nullptr;
  _automaticPushState = 0;
  _failLimit = 0;
  _limitsSet = 0;
  _nestedSolve = 0;
  _choicePointLimit = 0;
  _timeLimit = 0.0;
  _limitClockTick = -1;
  _timeLimitReached = 0;
  _useExceptions = 0;
  _failJump = nullptr;
  _foreign = 0;
  _foreignKept = 0;
  _made = nullptr;
  _madeCount = 0;
  _madeCapacity = 0;
  _jumpedFailures = 0;
  _thrownFailures = 0;
  _madeUnnoted = 0;
  _variablePrecision = 0;
  _boundPrecision = 0;
  _displayMode = QrcPositionalIntervalDisplay;
  _output = &std::cout;
  _workerNumber = 0;
  _nodeFileCounter = 0;
  _nodeFilePrefix = nullptr;
}

void QrcManagerI::initHeapState(bool pooling) {
  // Reversible words made below take the stamp of a fresh manager.
  _stamp = 0;
  _failStamp = 1;
  _actionGroup = nullptr;
  _actionGroupStamp = -1;
  _actionGroupTop = -1;
  _variableCount = QrcRevWord(this, 0);
  _constraintCount = QrcRevWord(this, 0);
  _eventHandlerCounter = QrcRevWord(this, 0);
  _scratchLock = QrcRevWord(this, 0);
  _sizeAllocator = new (_globalHeap) QrcSizeAllocatorI(this, _globalHeap);
  _secondSizeAllocator = new (_globalHeap) QrcSizeAllocatorI(this, _globalHeap);
  if (!pooling) {
    _sizeAllocator->setPooling(0);
    _secondSizeAllocator->setPooling(0);
  }
  for (QrcLockableArray* a = _arrayPool; a; a = a->next)
    a->lock = new (_globalHeap) QrcRevWord(this, 0);
  _andStack->_floor = _andStack->getTop();
  _orRecords = 0;
  _choicePoints = 0;
  _startTime = cpuTime();
  _defaultPrecision = 1e-10;
  _secondTolerance = 1e-11;
  for (int i = 0; i < QrcPropagationQueueI::Levels; ++i) _editHeads[i] = _editTails[i] = nullptr;
  clearSearchState();
  clearHeapPointers();
  _sharedFailGoal = new (_heap) QrcGoalFailI(this, nullptr);
}

void QrcManagerI::clearSearchState() {
  _currentSearch = nullptr;
  _rootSearch = nullptr;
  _searchDepth = 0;
  _nextDepth = 0;
  _pushStateLevel = 0;
  _pushStateDepth = 0;
  _rootMark = nullptr;
  _launchCallbacks = nullptr;
  _failCallbacks = nullptr;
  _goalsAdded = nullptr;
  _savedGoals = nullptr;
  _failureGoal = nullptr;
  _fails = 0;
  _nestedFails = 0;
  _recomputedChoices = 0;
  _storedNodes = 0;
  _currentDemon = nullptr;
  _currentGoal = nullptr;
  _failTrap = nullptr;
  _failLabel = nullptr;
  _path = nullptr;
  _pathDepth = 0;
  _firstBranches = 0;
  _secondFirst = 0;
  _status = QrcSearchSolution;
}

void QrcManagerI::clearHeapPointers() {
  _trueConstraint = nullptr;
  _oneIntConst = nullptr;
  _intZero = nullptr;
  _persistentIntZero = nullptr;
  _floatZero = nullptr;
  _floatPlaceholder = nullptr;
  _shareIndex = nullptr;
  _saverList = nullptr;
  _varNotifiers = nullptr;
  _claimants = nullptr;
}

QrcManagerI::~QrcManagerI() {
  endAllSearches();
  for (QrcTeardownListenerI* l = _teardownListeners; l; l = l->_next) l->teardown(this);
  _sizeAllocator->releaseLive();
  _secondSizeAllocator->releaseLive();
  delete _queue;
  if (_persistentTrail != _trail) delete _persistentTrail;
  delete _trail;
  delete _secondTrail;
  delete _heap;
  delete _globalHeap;
  delete _copyStack;
  delete _memoStack;
  delete _andStack;
  delete _orStack;
  delete _searchStack;
  std::free(_scratch);
  // A noted object destroyed from now on finds the manager gone.
  if (_useExceptions) leaveExceptionManagers();
  std::free(_made);
  delete _generalAllocator;
  while (_arrayPool) {
    QrcLockableArray* next = _arrayPool->next;
    std::free(_arrayPool->data);
    std::free(_arrayPool);
    _arrayPool = next;
  }
  if (_counted) changeLiveManagers(-1);
}

void QrcManagerI::endAllSearches() {
  // Innermost first; ending at depth 0 empties the trails. Nothing user code
  // throws leaves the manager's end.
  QrcSearchI* last = nullptr;
  while (_searchDepth > 0 && _currentSearch && _currentSearch != last) {
    QrcSearchI* s = last = _currentSearch;
    if (s->getState() == QrcSearchI::Made) break;
    _nextDepth = _searchDepth - 1;
    qrcfinish::quietly([s] { s->end(); });
  }
}

void QrcManagerI::reset() {
  for (QrcTeardownListenerI* l = _teardownListeners; l; l = l->_next) l->teardown(this);
  _teardownListeners = nullptr;
  // Memo words and queued items live on the heaps: settle them before those go.
  _memoStack->clear();
  _queue->clear();
  _queue->setTrace(0);
  _queue->setMonitor(nullptr);
  _trail->reset();
  if (_persistentTrail != _trail) _persistentTrail->reset();
  _secondTrail->reset();
  _secondTrail->setRecording(1);
  // The new random source continues the old one's sequence.
  std::unique_ptr<QrcSolverRandomTmpStateI> keptRandom(QrcGetRandom(this)->copyState());
  _sizeAllocator->releaseLive();
  _secondSizeAllocator->releaseLive();
  // What was met goes with the heaps, but for what lies off them (and the
  // objects made while failures jumped, which may).
  _madeCount = 0;
  _foreign = _foreignKept;
  _heap->reset();
  _globalHeap->reset();
  _reporter = new (_heap) QrcErrorReporter();
  _copyStack->reset();
  _andStack->reset();
  _orStack->reset();
  _searchStack->reset();
  _editMode = _initialEditMode;
  unsetLimits();
  initHeapState(_heap->getMode() != QrcMemoryStack::PerObject);
  _random = QrcMakeRandom(this, keptRandom.get());
}

// ---------------------------------------------------------------- memory

void* QrcManagerI::allocateSized(QrcInt n) {
  return _sizeAllocator->allocateSized(n);
}

void QrcManagerI::freeSized(void* block, QrcInt n) {
  _sizeAllocator->freeSized(block, n);
}

QrcInt* QrcManagerI::lockIntArray(QrcInt n) {
  if (n > _scratchCapacity) {
    QrcInt* data = static_cast<QrcInt*>(std::malloc(static_cast<size_t>(n) * sizeof(QrcInt)));
    if (!data) throw QroMemoryException();
    std::free(_scratch);
    _scratch = data;
    _scratchCapacity = n;
  }
  _scratchLock.set(this, 1);
  return _scratch;
}

void QrcManagerI::unlockArray() {
  _scratchLock.set(this, 0);
}

QrcInt* QrcManagerI::lockArrayFromPool(QrcInt n) {
  QrcLockableArray* record = nullptr;
  for (QrcLockableArray* a = _arrayPool; a; a = a->next) {
    if (a->lock->getValue() == 0) {
      record = a;
      break;
    }
  }
  if (record && record->capacity < n) {
    QrcInt* data = static_cast<QrcInt*>(std::malloc(static_cast<size_t>(n) * sizeof(QrcInt)));
    if (!data) throw QroMemoryException();
    std::free(record->data);
    record->data = data;
    record->capacity = n;
  }
  if (!record) {
    record = static_cast<QrcLockableArray*>(std::malloc(sizeof(QrcLockableArray)));
    if (!record) throw QroMemoryException();
    record->data =
        static_cast<QrcInt*>(std::malloc(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcInt)));
    if (!record->data) {
      std::free(record);
      throw QroMemoryException();
    }
    record->capacity = n;
    record->lock = new (_globalHeap) QrcRevWord(this, 0);
    record->next = _arrayPool;
    _arrayPool = record;
  }
  record->lock->set(this, 1);
  return record->data;
}

void QrcManagerI::unlockArrayFromPool(QrcInt* data) {
  for (QrcLockableArray* a = _arrayPool; a; a = a->next) {
    if (a->data == data) {
      a->lock->set(this, 0);
      return;
    }
  }
}

QrcWord QrcManagerI::getPoolLockMask() const {
  QrcWord mask = 0;
  int i = 0;
  for (QrcLockableArray* a = _arrayPool; a && i < 64; a = a->next, ++i)
    if (a->lock->getValue()) mask |= QrcWord(1) << i;
  return mask;
}

void QrcManagerI::unlockPoolArraysOutside(QrcWord mask) {
  int i = 0;
  for (QrcLockableArray* a = _arrayPool; a && i < 64; a = a->next, ++i)
    if (a->lock->getValue() && !(mask & (QrcWord(1) << i))) a->lock->set(this, 0);
}

void QrcManagerI::checkImplementation(const void* object, const char* place) {
  if (!object) _reporter->report(QrcEmptyHandleError, "empty handle", place);
}

// ---------------------------------------------------------------- counters and listeners

void QrcManagerI::incrementVariableCount() {
  _variableCount.set(this, _variableCount.getValue() + 1);
}

void QrcManagerI::decrementVariableCount() {
  _variableCount.set(this, _variableCount.getValue() - 1);
}

void QrcManagerI::incrementConstraintCount() {
  _constraintCount.set(this, _constraintCount.getValue() + 1);
}

QrcInt QrcManagerI::nextEventHandlerSerial() {
  _eventHandlerCounter.set(this, _eventHandlerCounter.getValue() + 1);
  return _eventHandlerCounter.getValue();
}

QrcInt QrcManagerI::getChoicePointCount() const {
  return _choicePoints;
}

QrcUInt QrcManagerI::getTrailWordsWritten() const {
  QrcUInt words = _trail->getWordsWritten() + _secondTrail->getWordsWritten();
  if (_persistentTrail != _trail && _persistentTrail != _secondTrail)
    words += _persistentTrail->getWordsWritten();
  return words;
}

void QrcManagerI::addVarNotify(QrcVarNotifyI* notify) {
  notify->_next = _varNotifiers;
  _varNotifiers = notify;
}

void QrcManagerI::removeVarNotify(QrcVarNotifyI* notify) {
  for (QrcVarNotifyI** p = &_varNotifiers; *p; p = &(*p)->_next) {
    if (*p == notify) {
      *p = notify->_next;
      return;
    }
  }
}

// The notifiers, claimants and owner are the caller's code: failures inside
// them are thrown.
void QrcManagerI::notifyNewIntVar(QrcExprI* exp) {
  if (!_varNotifiers) return;
  auto notify = [&] {
    for (QrcVarNotifyI* n = _varNotifiers; n; n = n->_next) n->notifyNewIntVar(exp);
  };
  runForeign(notify);
}

void QrcManagerI::notifyNewFloatVar(QrcExprI* exp) {
  if (!_varNotifiers) return;
  auto notify = [&] {
    for (QrcVarNotifyI* n = _varNotifiers; n; n = n->_next) n->notifyNewFloatVar(exp);
  };
  runForeign(notify);
}

void QrcManagerI::addTeardownListener(QrcTeardownListenerI* listener) {
  listener->_next = _teardownListeners;
  _teardownListeners = listener;
}

void QrcManagerI::addExtractionClaimant(QrcExtractionClaimantI* claimant) {
  claimant->_next = _claimants;
  _claimants = claimant;
}

QrcInt QrcManagerI::getPropagationStamp() const {
  return _queue->getPropagationStamp();
}

void QrcManagerI::setTrace(bool flag) {
  _queue->setTrace(flag ? 1 : 0);
}

void QrcManagerI::setMonitor(QrcSearchMonitorI* monitor) {
  _queue->setMonitor(monitor);
}

void QrcManagerI::setTraceStream(std::ostream& os) {
  _queue->setTraceStream(os);
}

// ---------------------------------------------------------------- adding

void QrcManagerI::add(QrcGoalI* goal) {
  if (!goal) {
    _reporter->report(QrcEmptyHandleError, "empty handle", "add QrcGoal");
    return;
  }
  QrcGoalCell* cell = new (this) QrcGoalCell{_goalsAdded, goal};
  _goalsAdded = cell;
}

bool QrcManagerI::isClaimed(QrcConstraintI* ct) {
  if (!_claimants && !_owner) return false;
  bool claimed = false;
  auto ask = [&] {
    for (QrcExtractionClaimantI* c = _claimants; c && !claimed; c = c->_next)
      if (c->claim(ct)) claimed = true;
    if (!claimed) claimed = _owner && _owner->notifyAdd(ct);
  };
  runForeign(ask);
  return claimed;
}

void QrcManagerI::fileConstraint(QrcConstraintI* ct, bool trailed) {
  QrcInt p = ct->getEditPriority();
  if (p < 0) p = 0;
  if (p > QrcPropagationQueueI::Levels - 1) p = QrcPropagationQueueI::Levels - 1;
  if (trailed) {
    saveValue(&_editHeads[p]);
    saveValue(&_editTails[p]);
    saveValue(ct->filedAddress());
    saveValue(ct->nextPendingAddress());
    if (_editTails[p]) saveValue(_editTails[p]->nextPendingAddress());
  }
  ct->setNextPending(nullptr);
  ct->setFiled(1);
  if (_editTails[p])
    _editTails[p]->setNextPending(ct);
  else
    _editHeads[p] = ct;
  _editTails[p] = ct;
}

void QrcManagerI::add(QrcConstraintI* ct) {
  if (!ct) {
    _reporter->report(QrcEmptyHandleError, "empty handle", "add QrcConstraint");
    return;
  }
  if (ct->getManager() != this) {
    _reporter->report(QrcManagersDifferError, "add QrcConstraint", "Managers are different");
    return;
  }
  if (_addMode == QrcDirectAddMode) {
    if (_editMode) {
      if (!ct->isFiled()) fileConstraint(ct, false);
      return;
    }
    changeAtRoot([this, ct] {
      if (!isClaimed(ct)) ct->postAndPropagate();
    });
    return;
  }
  if (ct->isPosted() || ct->isAddIgnored()) return;
  if (!_editMode && !_currentDemon && _nextDepth == 0) {
    addAtRoot(ct);
    return;
  }
  ct->setStatusBits(QrcConstraintI::Added);
  if (_editMode) {
    if (!ct->isFiled()) fileConstraint(ct, true);
    return;
  }
  if (_currentDemon) {
    QrcConstraintI* parent =
        _currentDemon->isConstraint() ? static_cast<QrcConstraintI*>(_currentDemon) : nullptr;
    if (parent) {
      ct->setParent(parent);
      if (parent->getFailTrap() && !ct->getFailTrap()) ct->inheritFailTrap(parent);
    }
    if (ct->hasMetaPostDemon() && _immediatePost) {
      if (!isClaimed(ct)) ct->postAndPropagate();
      return;
    }
    _queue->queueForPosting(ct);
    return;
  }
  ct->setAddingGoal(_currentGoal);
  if (!isClaimed(ct)) ct->postAndPropagate();
}

void QrcManagerI::remove(QrcConstraintI* ct) {
  if (!ct) {
    _reporter->report(QrcEmptyHandleError, "empty handle", "remove QrcConstraint");
    return;
  }
  if (!_editMode || !ct->isFiled()) return;
  QrcInt p = ct->getEditPriority();
  if (p < 0) p = 0;
  if (p > QrcPropagationQueueI::Levels - 1) p = QrcPropagationQueueI::Levels - 1;
  QrcConstraintI* prev = nullptr;
  for (QrcConstraintI* c = _editHeads[p]; c; prev = c, c = c->getNextPending()) {
    if (c != ct) continue;
    saveValue(&_editHeads[p]);
    saveValue(&_editTails[p]);
    if (prev) {
      saveValue(prev->nextPendingAddress());
      prev->setNextPending(c->getNextPending());
    } else {
      _editHeads[p] = c->getNextPending();
    }
    if (_editTails[p] == c) _editTails[p] = prev;
    break;
  }
  saveValue(ct->nextPendingAddress());
  saveValue(ct->filedAddress());
  ct->setNextPending(nullptr);
  ct->setFiled(0);
}

void QrcManagerI::postFiled() {
  for (int p = 0; p < QrcPropagationQueueI::Levels; ++p) {
    while (_editHeads[p]) {
      QrcConstraintI* ct = _editHeads[p];
      saveValue(&_editHeads[p]);
      saveValue(&_editTails[p]);
      _editHeads[p] = ct->getNextPending();
      if (!_editHeads[p]) _editTails[p] = nullptr;
      saveValue(ct->nextPendingAddress());
      saveValue(ct->filedAddress());
      ct->setNextPending(nullptr);
      ct->setFiled(0);
      if (!isClaimed(ct)) ct->postAndPropagate();
    }
  }
}

void QrcManagerI::leaveEditMode() {
  if (liveManagers.load() == 0 && !_counted) {
    double before = cpuTime();
    changeLiveManagers(1);
    _counted = 1;
    double spent = cpuTime() - before;
    _startTime += spent;
    _creationClock += spent;
  }
  _editMode = 0;
  postFiled();
  if (!_automaticPushState || _searchDepth != 1) return;
  // The root just posted stays under a state of its own (level 2 once a search
  // ended above it); the search runs one state higher (level 3). Each change is
  // trailed, so popping a state gives back the level below it.
  if (_pushStateLevel == 0) setPushStateLevel(1);
  if (_pushStateLevel == 1) {
    pushState();
    setPushStateLevel(2);
    pushState();
  } else {
    pushState();
  }
  setPushStateLevel(3);
}

void QrcManagerI::setPushStateLevel(QrcInt level) {
  saveValue(&_pushStateLevel);
  _pushStateLevel = level;
}

// ---------------------------------------------------------------- cached constants

namespace {

QrcIntExpI* cachedConstant(QrcManagerI* m, void** word, QrcInt value) {
  if (!*word) {
    m->saveValue(word);
    *word = new (m) QrcIntConstI(m, value);
  }
  return static_cast<QrcIntExpI*>(*word);
}

}  // namespace

QrcIntExpI* QrcManagerI::getIntZero() {
  return cachedConstant(this, &_intZero, 0);
}

QrcIntExpI* QrcManagerI::getPersistentIntZero() {
  return cachedConstant(this, &_persistentIntZero, 0);
}

QrcIntExpI* QrcManagerI::getIntOne() {
  return cachedConstant(this, &_oneIntConst, 1);
}

QrcFloatExpI* QrcManagerI::getFloatZero() {
  if (!_floatZero) {
    saveValue(&_floatZero);
    _floatZero = QrcFloatConstI::make(this, 0.0, 0.0, nullptr);
  }
  return _floatZero;
}
