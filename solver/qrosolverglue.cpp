// Engine goals of the solver, its local environment and its pool of local ids.
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "qrosolverglue.h"
#include "qrosolveri.h"
#include "qrcmanager.h"

// The solver's code, and the caller's that it runs (goals, extraction
// hooks, listeners), is not jumped over: failures are thrown through it.
QrcGoalI* QrcGetGoalI::execute() {
  QroSolverI* solver = getSolverI();
  QrcGoalI* next = nullptr;
  auto choose = [&] { next = solver->chooseGoal(); };
  if (solver) _manager->runForeign(choose);
  return next;
}
void QrcGetGoalI::display(std::ostream& os) const {
  os << "QrcGetGoal";
}

QrcGoalI* QroEndSearchCallbackI::execute() {
  QroSolverI* solver = getSolverI();
  auto ended = [solver] { solver->searchEnded(); };
  if (solver) _manager->runForeign(ended);
  return nullptr;
}
void QroEndSearchCallbackI::display(std::ostream& os) const {
  os << "QroEndSearchCallback";
}

QrcGoalI* QroAddConstraintSolverI::execute() {
  QroSolverI* solver = getSolverI();
  auto add = [this, solver] { solver->addReversible(_x); };
  if (solver) _manager->runForeign(add);
  return nullptr;
}
void QroAddConstraintSolverI::display(std::ostream& os) const {
  os << "QroAddConstraintSolver";
}

QrcGoalI* QroRestoreDataI::execute() {
  QroSolverI* solver = getSolverI();
  if (!solver || _id < 0 || _id >= solver->getTableCapacity()) return nullptr;
  solver->restoreUseCount(_id, _count);
  return nullptr;
}
void QroRestoreDataI::display(std::ostream& os) const {
  os << "QroRestoreData";
}

QrcGoalI* QrcUnsetReversibleEnvI::execute() {
  auto unset = [this] { _solver->unsetReversibleEnvAt(_stamp); };
  _manager->runForeign(unset);
  return nullptr;
}
void QrcUnsetReversibleEnvI::display(std::ostream& os) const {
  os << "QrcUnsetReversibleEnv";
}

// ---------------------------------------------------------------------------
// Local environment

void* QroSolverLocalEnvI::alloc(size_t size) {
  return _solver->getManager()->allocate(size);
}

QroInt QroSolverLocalEnvI::assignId(QroExtractableI*) {
  return _solver->takeLocalId();
}

void QroSolverLocalEnvI::saveValue(void* cell) {
  _solver->getManager()->saveValue(cell);
}

void QroSolverLocalEnvI::saveValue2(void* cell) {
  _solver->getManager()->saveValue(cell);
}

void QroSolverLocalEnvI::saveValue3(void* cell) {
  _solver->getManager()->saveValue(cell);
}

void QroSolverI::setReversibleEnv() {
  QrcManagerI* m = _manager;
  m->saveValue(&_reversibleEnvDepth);
  if (++_reversibleEnvDepth != 1) return;
  QroEnvI* env = getEnv();
  if (env->getLocalEnv()) {
    --_reversibleEnvDepth;
    throw QroSolver::WrongContext("A local env is already there");
  }
  if (!_localEnv) _localEnv = new QroSolverLocalEnvI(env, this);
  _localEnv->setPrevious(env->getLocalEnv());
  env->setLocalEnv(_localEnv);
  if (_envStamp != m->getStamp()) {
    m->addReversibleAction(new (m) QrcUnsetReversibleEnvI(m, this, _envStamp));
    _envStamp = m->getStamp();
  }
}

void QroSolverI::unsetReversibleEnv() {
  QroEnvI* env = getEnv();
  if (!env->getLocalEnv()) return;
  QrcManagerI* m = _manager;
  m->saveValue(&_reversibleEnvDepth);
  if (--_reversibleEnvDepth != 0) return;
  if (_envStamp != m->getStamp()) {
    ++_reversibleEnvDepth;
    throw QroSolver::WrongContext("Cannot unset a reversible env that was set higher in the tree");
  }
  env->setLocalEnv(env->getLocalEnv()->getPrevious());
}

void QroSolverI::unsetReversibleEnvAt(QroInt stamp) {
  _envStamp = stamp;
  QroEnvI* env = getEnv();
  if (_localEnv && env->getLocalEnv() == _localEnv) env->setLocalEnv(_localEnv->getPrevious());
}

QroInt QroSolverI::takeLocalId() {
  if (_idNext >= _idCount) {
    if (_idCount == _idCapacity) {
      QroInt capacity = _idCapacity * 2;
      QroInt* ids =
          static_cast<QroInt*>(std::malloc(static_cast<size_t>(capacity) * sizeof(QroInt)));
      if (!ids) throw QroMemoryException();
      std::memcpy(ids, _ids, static_cast<size_t>(_idCount) * sizeof(QroInt));
      std::free(_ids);
      _ids = ids;
      _idCapacity = capacity;
    }
    _ids[_idCount++] = getEnv()->newId();
  }
  _manager->saveValue(&_idNext);
  return _ids[_idNext++];
}

void QroSolverI::releaseLocalIds() {
  for (QroInt i = 0; i < _idCount; ++i) {
    QroInt id = _ids[i];
    if (_localEnv) _localEnv->releaseId(id);
    if (id < getTableCapacity()) restoreUseCount(id, 0);
  }
  _idCount = 0;
  _idNext = 0;
}
