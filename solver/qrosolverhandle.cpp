// The QroSolver handle: every operation first checks the handle.
#include <ostream>

#include "qrosolveri.h"
#include "qrcmanager.h"

QroSolver::operator QroAlgorithm() const {
  return QroAlgorithm(_impl);
}

QroSolverI* QroSolver::check() const {
  if (!_impl) throw EmptyHandle();
  return _impl;
}

QroSolver::QroSolver(const QroModel& model, QrcManagerTag tag) : _impl(nullptr) {
  if (!model.getImpl()) throw QroEmptyHandleException("cannot extract empty model");
  QroEnvI* env = model.getImpl()->getEnv();
  QroSolverI* solver = new (env) QroSolverI(env, tag);
  try {
    QroAlgorithm(solver).extract(model);
  } catch (...) {
    delete solver;
    throw;
  }
  _impl = solver;
}

void QroSolver::end() {
  delete _impl;
  _impl = nullptr;
}

QroBool QroSolver::solve(const QroGoal& goal, QroInt mode, QroBool restart) const {
  return check()->solveFromGoal(goal.getImpl(), mode, restart);
}

QroBool QroSolver::solve() const {
  return check()->solve();
}

QroBool QroSolver::solve(const QrcGoal& goal, bool restore) const {
  return check()->solveNested(goal.getImpl(), restore);
}

void QroSolver::setImpactMode(QroBool on) const {
  check()->setImpactMode(on);
}

void QroSolver::setDecisionLogMode(QroBool on) const {
  check()->setDecisionLogMode(on);
}

void QroSolver::startNewSearch(const QroGoal& goal, QroInt mode) const {
  check()->startNewSearch(goal.getImpl(), mode);
}

QroBool QroSolver::next() const {
  return check()->next();
}

void QroSolver::endSearch() const {
  check()->endSearch();
}

void QroSolver::printInformation() const {
  check()->printInformation();
}

QroInt QroSolver::getStatus() const {
  return check()->getStatus();
}

QroNum QroSolver::getValue(const QroNumVar& var) const {
  QroSolverI* s = check();
  if (!var.getImpl()) throw EmptyHandle("Empty variable handle");
  return s->getValue(var.getImpl());
}

QroNum QroSolver::getObjValue() const {
  return check()->getObjValue();
}

QroBool QroSolver::isInteger(const QroNumVar& var) const {
  return check()->isInteger(var.getImpl());
}

void QroSolver::add(const QroExtractable& x) const {
  QroSolverI* s = check();
  if (!x.getImpl()) throw EmptyHandle("QroSolver: adding empty handle extractable");
  s->addReversible(x.getImpl());
}

void QroSolver::setFilterLevel(const QroConstraint& ct, QroInt level) const {
  QroSolverI* s = check();
  if (!ct.getImpl()) throw EmptyHandle("Empty constraint handle");
  s->setFilterLevel(ct.getImpl(), level);
}

QroInt QroSolver::getFilterLevel(const QroConstraint& ct) const {
  QroSolverI* s = check();
  if (!ct.getImpl()) throw EmptyHandle("Empty constraint handle");
  return s->getFilterLevel(ct.getImpl());
}

QrcManager QroSolver::getManager() const {
  return QrcManager(check()->getManager());
}

QrcManagerI* QroSolver::getManagerI() const {
  return check()->getManager();
}

QrcMemoryStack* QroSolver::getHeap() const {
  return check()->getHeap();
}

std::ostream& QroSolver::out() const {
  return check()->out();
}
