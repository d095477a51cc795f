// Extraction records and look-ups, number conversion, reversible extraction
// and the queue of model changes replayed at the next synchronisation.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "qrochange.h"
#include "qroenv.h"
#include "qroplatform.h"
#include "qroregistry.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrosolverglue.h"
#include "qrcconstraint.h"
#include "qrcfail.h"
#include "qrcmanager.h"
#include "qrcmemory.h"
#include "qrcpointerhash.h"

// ---------------------------------------------------------------------------
// Records

namespace {

QroExtractionRecord* newRecord(QrcManagerI* m) {
  QroExtractionRecord* r =
      static_cast<QroExtractionRecord*>(m->allocate(sizeof(QroExtractionRecord)));
  r->intExp = nullptr;
  r->floatExp = nullptr;
  r->constraint = nullptr;
  r->kind = 0;
  return r;
}

}  // namespace

QroExtractionRecord* QroSolverI::makeIntRecord(QrcIntExpI* e) {
  QroExtractionRecord* r = newRecord(_manager);
  r->intExp = e;
  r->kind = QroExtractionRecord::IntKind;
  return r;
}

QroExtractionRecord* QroSolverI::makeFloatRecord(QrcFloatExpI* e) {
  QroExtractionRecord* r = newRecord(_manager);
  r->floatExp = e;
  r->kind = QroExtractionRecord::FloatKind;
  return r;
}

QroExtractionRecord* QroSolverI::makeConstraintRecord(QroExtractableI* x, QrcConstraintI* ct) {
  if (ct && x && x->getName()) ct->setName(x->getName());
  QroExtractionRecord* r = newRecord(_manager);
  r->constraint = ct;
  r->kind = QroExtractionRecord::IntKind;
  return r;
}

// An identifier of another environment would name an object of this one.
QroBool QroSolverI::isExtracted(const QroExtractableI* x) const {
  if (!x) return 0;
  QroCheckSameEnv(_env, x, "QroSolver: mixing mismatch environments");
  return isUsing(x->getId());
}

QroExtractionRecord* QroSolverI::getRecord(const QroExtractableI* x) const {
  if (!isExtracted(x)) return nullptr;
  return static_cast<QroExtractionRecord*>(getObject(x->getId()));
}

QroExtractionRecord* QroSolverI::getExtractedRecord(const QroExtractableI* x) const {
  if (!isExtracted(x)) throw QroAlgorithm::NotExtractedException(this, x);
  return static_cast<QroExtractionRecord*>(getObject(x->getId()));
}

QroBool QroSolverI::isExtractedInt(const QroExtractableI* x) const {
  QroExtractionRecord* r = getExtractedRecord(x);
  return r && r->kind == QroExtractionRecord::IntKind;
}

QrcIntSetVarI* QroSolverI::getIntSetVar(const QroExtractableI* x) const {
  if (!isExtracted(x)) throw QroAlgorithm::NotExtractedException(this, x);
  return static_cast<QrcIntSetVarI*>(getObject(x->getId()));
}

QroExtractionRecord* QroSolverI::checkFloatVar(QroNumVarI* var) const {
  if (!var) throw QroSolver::EmptyHandle("Empty variable handle");
  if (!isExtracted(var)) throw QroSolver::ObjectNotExtracted("QroSolver::getFloatVar");
  if (var->getType() != QroNumVar::Float)
    throw QroSolver::VariableShouldBeFloat("QroSolver::getFloatVar");
  return getRecord(var);
}

QroExtractionRecord* QroSolverI::checkIntVar(QroNumVarI* var) const {
  if (!var) throw QroSolver::EmptyHandle("Empty variable handle");
  if (!isExtracted(var)) throw QroSolver::ObjectNotExtracted("QroSolver::getIntVar");
  QroExtractionRecord* r = getRecord(var);
  // A float variable has no integer variable to give.
  if (r && r->kind == QroExtractionRecord::FloatKind)
    throw QroSolver::WrongType(
        "Solver: the variable should be of type integer in QroSolver::getIntVar");
  return r;
}

QroExtractionRecord* QroSolverI::checkConstraint(QroConstraintI* ct) const {
  if (!ct) throw QroSolver::EmptyHandle("Empty constraint handle");
  if (!isExtracted(ct)) throw QroSolver::ObjectNotExtracted("QroSolver::getConstraint");
  return getRecord(ct);
}

QroBool QroSolverI::isInteger(QroNumVarI* var) const {
  if (!var) throw QroSolver::EmptyHandle("Empty variable handle");
  if (!isExtracted(var)) throw QroSolver::ObjectNotExtracted("QroSolver::isInteger");
  return var->getType() != QroNumVar::Float;
}

// ---------------------------------------------------------------------------
// Numbers

QroInt QroSolverI::toInteger(QroNum x) {
  if (x < -9223372036854775808.0 || x >= 9223372036854775808.0) throw QroSolver::IntegerOverflow();
  if (!(std::floor(x) == x)) throw QroSolver::NumIsNotInteger();
  return static_cast<QroInt>(x);
}

bool QroSolverI::isBeyondExactDoubles(QroNum x) {
  return x < static_cast<double>(QroIntMin) || x > static_cast<double>(QroIntMax);
}

// ---------------------------------------------------------------------------
// Extraction of one extractable

QroBool QroSolverI::extractOne(QroExtractableI* x, void** result) {
  return extractExtractable(x, result);
}

QroBool QroSolverI::extractExtractable(QroExtractableI* x, void** out) {
  ++_extractionDepth;
  if (isInSearch()) recordReversibleExtraction(x);
  try {
    // Extraction recurses as deep as expressions are nested; failures in it
    // are thrown, to the catch below.
    auto extract = [&] { *out = x->extract(this); };
    auto deep = [&] { qroplatform::withStackRoom(extract); };
    _manager->runThrowing(deep);
  } catch (const QroSolver::ModelInconsistent&) {
    --_extractionDepth;
    throw;
  } catch (const QroAlgorithm::ExtractFailure&) {
    --_extractionDepth;
    *out = nullptr;
    return 0;
  } catch (const QrcFailException&) {
    --_extractionDepth;
    *out = makeConstraintRecord(x, _manager->getFalseConstraint());
    setInconsistent(1, x);
    return 1;
  } catch (const QroException& e) {
    --_extractionDepth;
    reportFailure(e);
    *out = nullptr;
    return 0;
  }
  --_extractionDepth;
  return 1;
}

QroBool QroSolverI::reportFailure(const QroException& e) {
  e.print(error());
  error() << std::endl;
  return 0;
}

QroBool QroSolverI::removeOne(QroExtractableI* x, void* object) {
  return removeExtractable(x, object);
}

QroBool QroSolverI::removeExtractable(QroExtractableI* x, void* object) {
  try {
    x->remove(this, object);
  } catch (const QroAlgorithm::RemoveFailure&) {
    return 0;
  } catch (const QroException& e) {
    return reportFailure(e);
  }
  return 1;
}

QroBool QroSolverI::applyChange(QroChange* change, void** object, QroExtractableI* x) {
  try {
    // A change class with an apply hook says what the change means for the
    // solver; otherwise the changed extractable's own change hook does.
    QroChangeHooks* hooks = change->getHookRecord();
    if ((hooks && hooks->apply) || !x)
      change->apply(this, x);
    else
      *object = x->change(this, change);
  } catch (const QroAlgorithm::ExtractFailure&) {
    return 0;
  } catch (const QroAlgorithm::RemoveFailure&) {
    return 0;
  } catch (const QroException& e) {
    return reportFailure(e);
  }
  return 1;
}

void QroSolverI::recordReversibleExtraction(QroExtractableI* x) {
  // An installed id table records extractions its own way.
  if (getIdTable()) return;
  syncIdTables();
  QroInt id = x->getId();
  growTables(id);
  QrcManagerI* m = _manager;
  m->addReversibleActionNoRestore(new (m) QroRestoreDataI(m, id, getUseCount(id) - 1));
}

void QroSolverI::addReversible(QroExtractableI* x) {
  QrcManagerI* m = _manager;
  if (m->getSearchDepth() != m->getNextDepth())
    throw QroSolver::WrongContext("You cannot call QroSolver::addReversible here");
  m->saveValue(&_extracting);
  _extracting = 1;
  try {
    QroAlgorithmI::extract(x);
    x->addToAlgorithm(this, getRecord(x));
  } catch (const QroAlgorithm::ExtractFailure&) {
    _extracting = 0;
    throwCannotExtract();
  } catch (...) {
    _extracting = 0;
    throw;
  }
  _extracting = 0;
}

// ---------------------------------------------------------------------------
// Filter levels of modelling objects

namespace {

QrcWord keyOf(const QroExtractableI* x) {
  return reinterpret_cast<QrcWord>(x);
}

// Forgets the level of every extractable that ends, in use by the solver or
// not, so that a later object at the same address starts without one.
class QroFilterLevelWatchI : public QroChangeListenerI {
 public:
  explicit QroFilterLevelWatchI(QroSolverI* solver) : _solver(solver) {}
  void change(QroChange* change, QroExtractableI* x) override {
    if (change->isType(QroDestroyExtractable::GetTypeInfo())) {
      _solver->forgetFilterLevel(x ? x : change->getChangedExtractable());
    } else if (change->isType(QroDestroyExtractableArray::GetTypeInfo())) {
      QroExtractableArray ended = change->getChangedExtractableArray();
      for (QroInt i = 0; ended.getImpl() && i < ended.getSize(); ++i)
        _solver->forgetFilterLevel(ended[i]);
    }
  }

 private:
  QroSolverI* _solver;
};

}  // namespace

void QroSolverI::setFilterLevel(QroExtractableI* x, QroInt level) {
  // No level and level 0 are the same.
  if (getFilterLevel(x) == level) return;
  if (!_levelWatch) {
    _levelWatch = new QroFilterLevelWatchI(this);
    getEnv()->getPlugInRegistry()->addListener(_levelWatch);
  }
  _pointerHash->set(keyOf(x), static_cast<QrcWord>(level));
  if (isExtracted(x)) raiseSyncLevel(2);
}

QroInt QroSolverI::getFilterLevel(const QroExtractableI* x) const {
  return static_cast<QroInt>(_pointerHash->find(keyOf(x)));
}

void QroSolverI::applyFilterLevel(QroExtractableI* node, QrcConstraintI* ct) {
  ct->setFilterLevel(getFilterLevel(node));
  raiseSyncLevel(0);
}

void QroSolverI::forgetFilterLevel(const QroExtractableI* x) {
  if (x) _pointerHash->remove(keyOf(x));
}

// ---------------------------------------------------------------------------
// Model changes

void QroSolverI::raiseSyncLevel(QroInt kind) {
  // What was loaded of a model marked inconsistent is never built on.
  if (_inconsistent) {
    _syncLevel = Reextract;
    return;
  }
  switch (kind) {
    case 0:
      if (_syncLevel < RestartPending) _syncLevel = AdditionsPending;
      break;
    case 1:
      if (_syncLevel != Reextract) _syncLevel = RestartPending;
      break;
    default:
      _syncLevel = Reextract;
      break;
  }
}

void QroSolverI::appendChange(QrcChange* change) {
  if (_changeTail) {
    _changeTail->setNext(change);
    _changeTail = change;
    if (!_changeSinceContinue) _changeSinceContinue = change;
  } else {
    _changeHead = _changeTail = _changeSinceContinue = change;
  }
}

// Once the model is to be extracted again, no record is replayed: the
// reload starts from an empty list.
void QroSolverI::notifyAddExtractable(QroExtractableI* x) {
  raiseSyncLevel(0);
  if (_syncLevel != Reextract) appendChange(new (_changeMemory) QrcAddExtractableChange(x));
}

void QroSolverI::notifyRemoveExtractable(QroExtractableI* x, void*) {
  try {
    x->change(this, nullptr);
  } catch (const QroAlgorithm::RemoveFailure&) {
    _syncLevel = Reextract;
  } catch (const QroException& e) {
    reportFailure(e);
    _syncLevel = Reextract;
  }
  if (_syncLevel != Reextract) appendChange(new (_changeMemory) QrcRemoveExtractableChange(x));
}

void QroSolverI::notifyRemoveObjective() {
  if (_extracting) {
    _intObjective = nullptr;
    _floatObjective = nullptr;
    if (QroDefaultCPExtractorI* d = _extractorManager->getDefaultExtractor())
      d->setObjective(nullptr);
    return;
  }
  if (_syncLevel != Reextract) appendChange(new (_changeMemory) QrcRemoveObjectiveChange());
}

namespace {

// Sets the running flag for the time of one call.
class RunningFlag {
 public:
  explicit RunningFlag(QroSolverI* solver) : _solver(solver), _saved(solver->isInSearch()) {
    solver->setInSearch(1);
  }
  ~RunningFlag() { _solver->setInSearch(_saved); }

 private:
  QroSolverI* _solver;
  QroBool _saved;
};

}  // namespace

void QrcAddExtractableChange::apply(QroSolverI* solver) {
  {
    RunningFlag running(solver);
    solver->QroAlgorithmI::extract(_x);
  }
  _x->addToAlgorithm(solver, solver->getRecord(_x));
}

void QrcRemoveExtractableChange::apply(QroSolverI* solver) {
  _x->removeFromAlgorithm(solver, solver->getRecord(_x));
  RunningFlag running(solver);
  solver->QroAlgorithmI::remove(_x);
}

void QrcRemoveObjectiveChange::apply(QroSolverI* solver) {
  solver->setIntObjective(nullptr);
  solver->setFloatObjective(nullptr);
  if (QroDefaultCPExtractorI* d = solver->getExtractorManager()->getDefaultExtractor())
    d->setObjective(nullptr);
}
