// The solver object: construction and destruction, synchronisation with the
// model, the choice of the goal and the solves and searches.
#include <atomic>
#include <cstdlib>
#include <ostream>

#include "qrosolveri.h"
#include "qrosolverextra.h"
#include "qrosolverextractor.h"
#include "qrosolverglue.h"
#include "qrosolverpresolve.h"
#include "qrosolverlistener.h"
#include "qrosolversolution.h"
#include "qroregistry.h"
#include "qrcconstraint.h"
#include "qrcexpr.h"
#include "qrcfilterlevel.h"
#include "qrcfloatenv.h"
#include "qrcimpact.h"
#include "qrcint.h"
#include "qrcmanager.h"
#include "qrcpointerhash.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

namespace {

std::atomic<QroInt> liveSolvers{0};

void changeLiveSolvers(QroInt delta) {
  QroTypeRegistryLock* lock = QroGetTypeRegistryLock();
  if (lock) lock->lock();
  liveSolvers.fetch_add(delta);
  if (lock) lock->unlock();
}

const char* const kExtractName = "CPExtract";

}  // namespace

QroInt QroSolverI::getLiveSolverCount() {
  return liveSolvers.load();
}

// ---------------------------------------------------------------------------
// Construction

QroSolverI::QroSolverI(QroEnvI* env, QrcManagerTag tag)
    : QroAlgorithmI(env),
      _manager(nullptr),
      _tag(tag),
      _objectManager(nullptr),
      _syncLevel(Fresh),
      _status(Unknown),
      _extractorManager(nullptr),
      _intObjective(nullptr),
      _floatObjective(nullptr),
      _inconsistent(0),
      _extracting(0),
      _currentSearch(nullptr),
      _presolve(1),
      _changeMemory(nullptr),
      _changeSinceContinue(nullptr),
      _changeHead(nullptr),
      _changeTail(nullptr),
      _pointerHash(nullptr),
      _filterLevels(nullptr),
      _statePushed(0),
      _arrayCache(nullptr),
      _secondCache(nullptr),
      _rootGoal(nullptr),
      _searchGoal(nullptr),
      _oneShotGoal(nullptr),
      _oneShot(0),
      _endCallback(nullptr),
      _fastRestart(1),
      _trueConstraint(nullptr),
      _membership(nullptr),
      _tupleSets(nullptr),
      _tupleSetStorageMode(2),
      _reporter(nullptr),
      _localEnv(nullptr),
      _reversibleEnvDepth(0),
      _envStamp(-1),
      _ids(nullptr),
      _idCapacity(0),
      _idCount(0),
      _idNext(0),
      _reloading(0),
      _extractionDepth(0),
      _listeners(nullptr),
      _presolver(nullptr),
      _impacts(nullptr),
      _prober(nullptr),
      _decisionLog(nullptr),
      _impactMode(0),
      _scratchKeys(nullptr),
      _scratchScores(nullptr),
      _levelWatch(nullptr) {
  makeManagers(env);
  registerPlugIns(env);
  makeTables();
  makeOwnGoals(env);
  changeLiveSolvers(1);
}

// The search manager, the manager of the solver's own objects, the listeners,
// the prober and the scratch arrays.
void QroSolverI::makeManagers(QroEnvI* env) {
  _manager = new QrcManagerI(_tag);
  _manager->useExceptions(true);
  _manager->setOwner(this, this);
  _manager->setAutomaticPushState(_fastRestart);
  _objectManager = new QrcManagerI(&QrcEdit);
  _listeners = new QroSolverListenerList(this);
  _prober = new QrcProber(this);
  _scratchKeys = new QrcGrowableArray<QrcInt>(env->getGeneralAllocator());
  _scratchScores = new QrcGrowableArray<double>(env->getGeneralAllocator());
}

// The extractor manager and the environment's add-ons the solver relies on.
void QroSolverI::registerPlugIns(QroEnvI* env) {
  QroPlugInRegistry* registry = env->getPlugInRegistry();
  _extractorManager = new (env) QroSolverExtractorManagerI(env, this);
  registry->addPlugIn(_extractorManager, kExtractName);
  if (!registry->hasAddon(QroDefaultCPExtractorPlugInAddon::GetTypeInfo(), kExtractName))
    registry->addAddon(new (env) QroDefaultCPExtractorPlugInAddon(env), kExtractName);
  QroSolverExtraXMLPlugInAddon::Ensure(env);
  QroRegisterSolverSolutionOperations(this);
}

// The float environment, the error reporter, the change memory, the filter
// levels, the hash of modelling objects, the caches and the table of local ids.
void QroSolverI::makeTables() {
  QrcInitFloatEnvironment();
  _reporter = new (_objectManager) QroSolverErrorReporter();
  _manager->setErrorReporter(_reporter);

  _changeMemory = new QrcMemoryStack(_objectManager, QrcMemoryStack::Blocks);
  _filterLevels = new QrcFilterLevelTable(_manager);
  _manager->setFilterLevelTable(_filterLevels);
  _pointerHash = new QrcPointerHashMap(128, 10000.0);
  makeCaches();
  _idCapacity = 8;
  _ids = static_cast<QroInt*>(std::malloc(static_cast<size_t>(_idCapacity) * sizeof(QroInt)));
  if (!_ids) throw QroMemoryException();
}

// The solver's own goals, which outlive resets of the search manager, the
// extractors and the presolver.
void QroSolverI::makeOwnGoals(QroEnvI* env) {
  _rootGoal = new (_objectManager) QrcGetGoalI(_manager);
  _endCallback = new (_objectManager) QroEndSearchCallbackI(_manager);
  _trueConstraint = _manager->getTrueConstraint();
  _extractorManager->initExtractors();
  _presolver = new (env) QroCPPresolveI(env, this);
  _presolver->addRule(QroNumEqI::GetTypeIndex(), new (env) QroPresolveNumEqI(env));
}

void QroSolverI::makeCaches() {
  delete _arrayCache;
  delete _membership;
  delete _tupleSets;
  _arrayCache = nullptr;
  _membership = nullptr;
  _tupleSets = nullptr;
  _arrayCache = new QrcPointerHashMap(128, 1.0);
  _membership = new QrcPointerHashMap(128, 1.0);
  _tupleSets = new QrcPointerHashMap(16, 1.0);
}

void QroSolverI::addTupleSet(const void* set) {
  _tupleSets->add(reinterpret_cast<QrcWord>(set), 1);
}

QroBool QroSolverI::isTupleSet(const void* object) const {
  return object && _tupleSets->contains(reinterpret_cast<QrcWord>(object));
}

QroSolverI::~QroSolverI() {
  QroEnvI* env = getEnv();
  _listeners->detachAll();
  try {
    if (_manager->getSearchDepth() > 0) abandonSearch();
    if (_syncLevel != Fresh) {
      releaseLocalIds();
      popPushedStates();
    }
  } catch (...) {
    // The managers go as a whole below.
  }
  if (_localEnv && env->getLocalEnv() == _localEnv) env->setLocalEnv(_localEnv->getPrevious());
  QroUnregisterSolverSolutionOperations(this);
  QroTypeRegistryLock* lock = QroGetTypeRegistryLock();
  if (lock) lock->lock();
  env->getPlugInRegistry()->removePlugIn(_extractorManager, kExtractName);
  if (lock) lock->unlock();
  if (_levelWatch) env->getPlugInRegistry()->removeListener(_levelWatch);
  delete _levelWatch;
  _extractorManager->resetExtractors();
  delete _impacts;
  delete _decisionLog;
  delete _prober;
  delete _scratchKeys;
  delete _scratchScores;
  delete _extractorManager;
  delete _presolver;
  delete _pointerHash;
  delete _arrayCache;
  delete _membership;
  delete _tupleSets;
  delete _filterLevels;
  delete _changeMemory;
  _manager->setFilterLevelTable(nullptr);
  delete _manager;
  delete _objectManager;
  delete _localEnv;
  delete _listeners;
  std::free(_ids);
  changeLiveSolvers(-1);
}

void QroSolverI::initialize() {
  _manager->reset();
  _manager->setOwner(this, this);
  _manager->setAutomaticPushState(_fastRestart);
  _manager->setErrorReporter(_reporter);
  _manager->setFilterLevelTable(_filterLevels);
  _syncLevel = Fresh;
  _status = Unknown;
  _intObjective = nullptr;
  _floatObjective = nullptr;
  _inconsistent = 0;
  _changeSinceContinue = _changeHead = _changeTail = nullptr;
  _changeMemory->reset();
  if (!_reloading) _filterLevels->reset();
  _extractorManager->resetExtractors();
  _statePushed = 0;
  makeCaches();
  _searchGoal = nullptr;
  _oneShotGoal = nullptr;
  _oneShot = 0;
  _trueConstraint = _manager->getTrueConstraint();
  _tupleSetStorageMode = 2;
}

void QroSolverI::clear() {
  if (_syncLevel != Fresh) {
    popPushedStates();
    _listeners->reset();
    delete _impacts;
    _impacts = nullptr;
    _prober->setVariables(QrcIntVarArray());
    if (_decisionLog) _decisionLog->reset();
    releaseLocalIds();
    _extractorManager->resetExtractors();
    QroAlgorithmI::clear();
    initialize();
    if (!_reloading) {
      delete _pointerHash;
      _pointerHash = nullptr;
      _pointerHash = new QrcPointerHashMap(128, 10000.0);
    }
  } else {
    QroAlgorithmI::clear();
  }
}

double QroSolverI::getTime() {
  double t = _manager->getRunningTime();
  return t > 1e-6 ? t : 0.0;
}

void QroSolverI::setFastRestartMode(QroBool flag) {
  if (getModel() && !_reloading)
    throw QroSolver::WrongContext(
        "You cannot touch the fast restart mode while a model is loaded in the solver");
  _fastRestart = flag ? 1 : 0;
  _manager->setAutomaticPushState(_fastRestart);
}

// Inside a running search only the branch fails: backtracking takes the
// extraction back. Elsewhere (loading the model, replaying changes under the
// running flag of a replay, adding at the root) the root holds a failed
// propagation that nothing may build on: the model is marked inconsistent
// and the next synchronisation extracts it again.
void QroSolverI::setInconsistent(QroBool flag, QroExtractableI* x) {
  if (!flag) {
    _inconsistent = 0;
    return;
  }
  if (_manager->getNextDepth() > 0) _manager->fail();
  _inconsistent = 1;
  _syncLevel = Reextract;
  throw QroSolver::ModelInconsistent(x);
}

void QroSolverI::printInformation() {
  _manager->printStatistics(out());
}

QroBool QroSolverI::isInterruptedByRecompute() const {
  return _manager->isRecomputing();
}

QrcMemoryStack* QroSolverI::getHeap() const {
  return _manager->getHeap();
}
QrcMemoryStack* QroSolverI::getObjectHeap() const {
  return _objectManager->getHeap();
}

// ---------------------------------------------------------------------------
// Extraction of the model

void QroSolverI::extract(QroModelI* model) {
  clear();
  _extracting = 1;
  _inconsistent = 0;
  _extractionDepth = 0;
  _extractorManager->initExtractors();
  try {
    if (_presolve) {
      _presolver->reset();
      _presolver->run(model);
    }
    QroAlgorithmI::extract(model);
  } catch (const QroSolver::ModelInconsistent&) {
    error() << "The model is inconsistent" << std::endl;
    extractAgainLater(model);
    throw;
  } catch (...) {
    extractAgainLater(model);
    throw;
  }
  _extracting = 0;
  _syncLevel = Synchronized;
}

// An extraction that an exception left is not taken for done: the model
// stays loaded, and in use so that its end is heard, and the next
// synchronisation drops what was built and extracts it again whole.
void QroSolverI::extractAgainLater(QroModelI* model) {
  _extracting = 0;
  _syncLevel = Reextract;
  if (!model || model->getId() < 0) return;
  setModel(model);
  growTables(model->getId());
  _counts[model->getId()] = 1;
}

void QroSolverI::throwCannotExtract() {
  QroAlgorithm::CannotExtractException e(this);
  if (_cannotExtract.getImpl()) {
    for (QroInt i = 0; i < _cannotExtract.getSize(); ++i) e.add(_cannotExtract[i]);
    _cannotExtract.getImpl()->setSize(0);
  }
  throw e;
}

void QroSolverI::reload(QroModelI* model) {
  QroBool fast = _fastRestart;
  _reloading = 1;
  try {
    extract(model);
  } catch (...) {
    _reloading = 0;
    throw;
  }
  if (fast) setFastRestartMode(1);
  _reloading = 0;
}

// ---------------------------------------------------------------------------
// Synchronisation

void QroSolverI::popPushedStates() {
  QrcManagerI* m = _manager;
  while (m->getPushStateDepth() > 0 && m->getSearchDepth() == 0) m->popState();
  _statePushed = 0;
}

// Applies the change records from the given one on. A replay that stops part
// way leaves records applied that the list would apply again: the model is
// extracted again at the next synchronisation.
void QroSolverI::replay(QrcChange* from) {
  _extracting = 1;
  try {
    for (QrcChange* c = from; c; c = c->getNext()) c->apply(this);
  } catch (const QroAlgorithm::ExtractFailure&) {
    _extracting = 0;
    _syncLevel = Reextract;
    throwCannotExtract();
  } catch (const QroSolver::ModelInconsistent&) {
    _extracting = 0;
    _syncLevel = Reextract;
    error() << "The model is inconsistent" << std::endl;
    throw;
  } catch (...) {
    _extracting = 0;
    _syncLevel = Reextract;
    throw;
  }
  _extracting = 0;
}

void QroSolverI::fullRestore() {
  popPushedStates();
  releaseLocalIds();
  replay(_changeHead);
  _changeSinceContinue = _changeHead = _changeTail = nullptr;
  _changeMemory->reset();
  _syncLevel = Synchronized;
  _manager->pushState();
  _statePushed = 1;
  _manager->resetStatistics();
}

// Back to the root propagation without replaying anything. After a search
// that ended above the root's own state (level 2), dropping that state is
// enough; otherwise the root was not kept (no edit mode, or the search found
// nothing) and the solver's own state is made anew.
void QroSolverI::restartFromRoot() {
  QrcManagerI* m = _manager;
  if (m->getPushStateLevel() == 2 && m->getPushStateDepth() > 1) {
    m->popState();
  } else if (m->getPushStateLevel() != 1) {
    popPushedStates();
    m->pushState();
    _statePushed = 1;
  }
  _syncLevel = Synchronized;
  m->resetStatistics();
}

// Continue mode: the current state becomes the root, under a new state of the
// solver's own.
void QroSolverI::continueFromHere() {
  QrcManagerI* m = _manager;
  m->collapsePushStates();
  m->pushState();
  _statePushed = 1;
}

void QroSolverI::synchronize(QroInt mode) {
  if (isInSearch()) throw QroSolver::MultipleSearchException();
  if (!_statePushed) {
    _manager->pushState();
    _statePushed = 1;
  }
  if (mode == QroSolver::RestartSearch)
    synchronizeForRestart();
  else if (mode == QroSolver::ContinueSearch)
    synchronizeForContinue();
  _listeners->synchronized();
}

// Back to the root propagation of the model as it is now: dropping what the
// last search left, or restoring the root and replaying the additions, or
// extracting the model again.
void QroSolverI::synchronizeForRestart() {
  switch (_syncLevel) {
    case Fresh:
    case Synchronized:
      break;
    case Searched:
      if (!_changeHead && !_intObjective && !_floatObjective && _fastRestart)
        restartFromRoot();
      else
        fullRestore();
      break;
    case AdditionsPending:
    case RestartPending:
      try {
        fullRestore();
      } catch (const QroAlgorithm::RemoveFailure&) {
        _syncLevel = Reextract;
      }
      if (_syncLevel != Reextract) break;
      [[fallthrough]];
    case Reextract:
      if (!getModel()) throw QroSolver::ModelNotExtracted();
      reload(static_cast<QroModelI*>(getModel()));
      _manager->pushState();
      _statePushed = 1;
      break;
    default:
      break;
  }
}

// The current state becomes the root, with the additions since the last
// continue applied on top of it.
void QroSolverI::synchronizeForContinue() {
  switch (_syncLevel) {
    case Searched:
    case AdditionsPending: {
      continueFromHere();
      if (_syncLevel == AdditionsPending) {
        replay(_changeSinceContinue);
        _changeSinceContinue = nullptr;
        _syncLevel = Searched;
      }
      break;
    }
    case RestartPending:
    case Reextract:
      throw QroSolver::QroSynchronizeAndContinueNotPossible();
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Goals

QrcGoalI* QroSolverI::chooseGoal() {
  QrcManagerI* m = _manager;
  if (_oneShot) {
    // A model goal is run through the engine goal it makes for this solver.
    if (_oneShotGoal) return new (m) QrcExtractGoalI(m, _oneShotGoal);
    return QroSolverTrueGoal(QroSolver(this)).getImpl();
  }
  if (_inconsistent) return new (m) QrcGoalFailI(m, nullptr);
  if (_searchGoal) return new (m) QrcExtractGoalI(m, _searchGoal);
  return QrcDefaultGoal(QrcManager(m)).getImpl();
}

// ---------------------------------------------------------------------------
// Solves and searches

namespace {

// Clears the running state when a solve or a search start leaves by an
// exception; the engine search is abandoned and the status left at 0.
class RunGuard {
 public:
  explicit RunGuard(QroSolverI* solver) : _solver(solver), _armed(true) {}
  ~RunGuard();
  void dismiss() { _armed = false; }

 private:
  QroSolverI* _solver;
  bool _armed;
};

}  // namespace

void QroSolverI::abandonSearch() {
  QrcManagerI* m = _manager;
  // Back to the state the outermost search started from; the states pushed
  // over the root on the way go with it. An exception out of next has done
  // so already, and left the search to end here.
  m->abandonSearches();
  if (_currentSearch && m->getSearchDepth() == 0) searchEnded();
}

RunGuard::~RunGuard() {
  if (!_armed) return;
  try {
    _solver->abandonSearch();
  } catch (...) {
  }
  _solver->searchEnded();
}

// Opens the engine search of a run, from the fixed root goal in fast restart
// mode, else from the chosen goal. In fast restart mode the manager keeps the
// root it posts under states of its own (automatic push states), so that the
// next synchronisation can drop what the search left without losing the root.
QrcSearchI* QroSolverI::openSearch() {
  _manager->unsetLimits();
  QrcGoalI* root = _fastRestart ? _rootGoal : chooseGoal();
  return _manager->newSearch(root);
}

void QroSolverI::searchEnded() {
  setInSearch(0);
  _currentSearch = nullptr;
  if (_syncLevel == Synchronized) _syncLevel = Searched;
}

namespace {
// A goal made in another environment names objects this solver cannot hold.
void checkGoalEnv(const QroSolverI* solver, const QroGoalI* goal) {
  if (goal && goal->getEnv() != solver->getEnv())
    QroThrowEnvMismatch("QroSolver goal: mixing mismatch environments");
}
}  // namespace

QroBool QroSolverI::solveFromGoal(QroGoalI* goal, QroInt mode, QroBool restart) {
  checkGoalEnv(this, goal);
  if (isInSearch()) throw QroSolver::MultipleSearchException();
  if (mode == QroSolver::RestartSearch && _fastRestart && _syncLevel == Searched)
    _syncLevel = AdditionsPending;
  synchronize(mode);
  setInSearch(1);
  RunGuard guard(this);
  if (getModel() && _inconsistent) {
    guard.dismiss();
    setInSearch(0);
    _status = Unknown;
    return 0;
  }
  _status = Unknown;
  _searchGoal = nullptr;
  _oneShotGoal = goal;
  _oneShot = 1;
  QrcSearchI* s = openSearch();
  QrcBool found = s->next();
  _status = found ? Feasible : Infeasible;
  if (restart && found) s->restart();
  s->end();
  guard.dismiss();
  setInSearch(0);
  if (_syncLevel == Synchronized) _syncLevel = Searched;
  return found ? 1 : 0;
}

QroBool QroSolverI::solveWithObjective(QroGoalI* goal, QroInt mode, QroBool restart) {
  checkGoalEnv(this, goal);
  synchronize(mode);
  setInSearch(1);
  RunGuard guard(this);
  if (getModel() && _inconsistent) {
    guard.dismiss();
    _status = Infeasible;
    setInSearch(0);
    return 0;
  }
  _status = Unknown;
  _searchGoal = goal;
  _oneShotGoal = nullptr;
  _oneShot = 0;
  QrcSearchI* s = openSearch();
  QroBool found = 0;
  if (!_intObjective && !_floatObjective) {
    found = s->next() ? 1 : 0;
    _status = found ? Feasible : Infeasible;
    if (restart && found) s->restart();
  } else {
    found = finishWithObjective(s, restart);
  }
  s->end();
  guard.dismiss();
  if (_syncLevel == Synchronized) _syncLevel = Searched;
  setInSearch(0);
  return found;
}

void QroSolverI::startNewSearch(QroGoalI* goal, QroInt mode) {
  checkGoalEnv(this, goal);
  if (isInSearch()) throw QroSolver::MultipleSearchException();
  _status = Unknown;
  synchronize(mode);
  setInSearch(1);
  RunGuard guard(this);
  _oneShotGoal = nullptr;
  _oneShot = 0;
  _searchGoal = goal;
  QrcSearchI* s = openSearch();
  installObjective(s);
  s->setEndCallback(_endCallback);
  _currentSearch = s;
  guard.dismiss();
}

QroBool QroSolverI::next() {
  QrcSearchI* s = _manager->getCurrentSearch();
  if (!s) throw QroSolver::WrongContext("There is no active search");
  RunGuard guard(this);
  QroBool found = s->next() ? 1 : 0;
  guard.dismiss();
  return found;
}

void QroSolverI::endSearch() {
  QrcSearchI* s = _manager->getCurrentSearch();
  if (!s) throw QroSolver::WrongContext("There is no active search");
  RunGuard guard(this);
  s->end();
  guard.dismiss();
  if (_manager->getSearchDepth() == 0 && _currentSearch) searchEnded();
}

QroBool QroSolverI::solveNested(QrcGoalI* goal, bool restore) {
  QrcManagerI* m = _manager;
  if (m->getSearchDepth() != m->getNextDepth() || m->getNextDepth() == 0)
    throw QroSolver::WrongContext("You cannot call QroSolver::solve here");
  return m->solve(goal, restore);
}

// ---------------------------------------------------------------------------
// Status

QroInt QroSolverI::getStatus() const {
  if (_syncLevel == Fresh) return Feasible;
  if (_syncLevel != Synchronized && _syncLevel != Searched) return Unknown;
  QrcManagerI* m = _manager;
  if (_status == Feasible || _status == Optimal) return _status;
  if (_status == Infeasible) return m->getStatus() == QrcSearchExhausted ? Infeasible : Unknown;
  QrcSearchI* s = m->getCurrentSearch();
  if (m->getNextDepth() > 0 || !s) return Unknown;
  switch (s->getState()) {
    case QrcSearchI::AtSolution:
      return Feasible;
    case QrcSearchI::Exhausted:
      return m->getStatus() == QrcSearchExhausted ? Infeasible : Unknown;
    default:
      return Unknown;
  }
}

QroInt QroSolverI::getEndReason() const {
  switch (_manager->getStatus()) {
    case QrcSearchSolution:
      return 0;
    case QrcSearchExhausted:
      return 1;
    case QrcSearchLimited:
      return 2;
    case QrcSearchFailedLabel:
      return 3;
    case 6:  // set by no search of this engine
      return 4;
    default:
      return 5;
  }
}

// ---------------------------------------------------------------------------
// Objectives

void QroSolverI::installObjective(QrcSearchI* s) {
  (void)s;
  if (_intObjective)
    _intObjective->setObjMin(1.0, 0.0);
  else if (_floatObjective)
    _floatObjective->setObjMin(0.0001, 0.0);
}

QroBool QroSolverI::finishWithObjective(QrcSearchI* s, QroBool restart) {
  installObjective(s);
  if (!s->next()) {
    _status = Infeasible;
    return 0;
  }
  // Each solution improves on the last; the last found is the best, proved
  // optimal unless a limit stopped the search.
  while (s->next()) {
  }
  bool limited = _manager->getStatus() == QrcSearchLimited;
  s->restart();
  if (!restart) {
    _manager->unsetLimits();
    // The replay of the best solution: one that fails leaves no solution
    // in the state, and proves nothing.
    if (!s->next()) {
      _status = Unknown;
      return 0;
    }
  }
  _status = limited ? Feasible : Optimal;
  return 1;
}

// ---------------------------------------------------------------------------
// Solver listeners

void QroSolverI::addSolverListener(QroSolverListenerI* listener) {
  _listeners->add(listener);
}

QroBool QroSolverI::removeSolverListener(QroSolverListenerI* listener) {
  return _listeners->remove(listener) ? 1 : 0;
}

QroBool QroSolverI::hasSolverListeners() const {
  return !_listeners->isEmpty();
}

QroBool QroSolverI::notifyAdd(QrcConstraintI* ct) {
  return _listeners->notifyAdd(ct);
}

void QroSolverI::endModelExtraction(QroModelI* model) {
  // A model added inside a search leaves them: backtracking would take its
  // variables away.
  if (_manager->getSearchDepth() == 0) {
    _prober->setVariables();
    if (_impactMode) rebuildImpactInformation();
  }
  _listeners->endExtraction(model);
}

// ---------------------------------------------------------------------------
// Probing, impacts and the decision log

void QroSolverI::rebuildImpactInformation() {
  delete _impacts;
  _impacts = nullptr;
  _impacts = new QrcImpactInformation(this, _prober->getVariables());
}

void QroSolverI::setImpactMode(QroBool on) {
  _impactMode = on ? 1 : 0;
  if (!_impactMode) {
    delete _impacts;
    _impacts = nullptr;
  } else if (!_impacts && _syncLevel != Fresh) {
    rebuildImpactInformation();
  }
}

QrcImpactInformation* QroSolverI::getImpactInformation() const {
  if (!_impacts) throw QroSolver::Exception("No impact information is available");
  return _impacts;
}

QrcGoal QroSolverI::getImpactGoal(const QrcIntVarArray& vars) {
  return _impacts ? _impacts->makeDefaultGoal(vars) : QrcGoal();
}

void QroSolverI::setDecisionLogMode(QroBool on) {
  if (!on) {
    delete _decisionLog;
    _decisionLog = nullptr;
  } else if (!_decisionLog) {
    _decisionLog = new QrcDecisionLog(this);
  }
}

QrcInt* QroSolverI::getScratchKeys(QrcInt n) {
  return _scratchKeys->resize(n);
}

double* QroSolverI::getScratchScores(QrcInt n) {
  return _scratchScores->resize(n);
}
