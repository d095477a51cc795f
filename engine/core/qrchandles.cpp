// Handle operations of the manager and of searches: each checks its pointer.
#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qroexception.h"

QrcManager::QrcManager(QrcManagerTag tag) : _impl(nullptr) {
  QrcManagerI* m = new (std::nothrow) QrcManagerI(tag);
  if (!m) throw QroMemoryException();
  _impl = m;
}

void QrcManager::end() {
  delete _impl;
  _impl = nullptr;
}

QrcManagerI* QrcManager::check(const char* place) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty manager", place);
  return _impl;
}

QrcFloat QrcManager::getDefaultPrecision() const {
  return check("QrcManager::getDefaultPrecision")->getDefaultPrecision();
}
QrcInt QrcManager::getFailStamp() const {
  return check("QrcManager::getFailStamp")->getFailStamp();
}
QrcGenAlloc* QrcManager::getGeneralAllocator() const {
  return check("QrcManager::getGeneralAllocator")->getGeneralAllocator();
}
QrcErrorReporter* QrcManager::getErrorReporter() const {
  return check("QrcManager::getErrorReporter")->getErrorReporter();
}
QrcMemoryStack* QrcManager::getHeap() const {
  return check("QrcManager::getHeap")->getHeap();
}
QrcInt QrcManager::getPropagationStamp() const {
  return check("QrcManager::getPropagationStamp")->getPropagationStamp();
}
QrcInt QrcManager::getStamp() const {
  return check("QrcManager::getStamp")->getStamp();
}
QrcInt QrcManager::getPackApproximationSize() const {
  return check("QrcManager::getPackApproximationSize")->getPackApproximationSize();
}
QrcBool QrcManager::isInEditMode() const {
  return check("QrcManager::isInEditMode")->isInEditMode();
}
void QrcManager::saveValue(void* address) const {
  check("QrcManager::saveValue")->saveValue(address);
}
QrcBool QrcManager::variablePrecision() const {
  return check("QrcManager::variablePrecision")->variablePrecision();
}
QrcInt QrcManager::getVariablePrecision() const {
  return check("QrcManager::getVariablePrecision")->getVariablePrecision();
}
void QrcManager::add(const QrcGoal& goal) const {
  check("QrcManager::add")->add(goal.getImpl());
}
void QrcManager::add(const QrcConstraint& ct) const {
  check("QrcManager::add")->add(ct.getImpl());
}
void QrcManager::add(QrcConstraintI* ct) const {
  check("QrcManager::add")->add(ct);
}
void QrcManager::remove(const QrcConstraint& ct) const {
  check("QrcManager::remove")->remove(ct.getImpl());
}
QrcInt* QrcManager::lockIntArray(QrcInt n) const {
  return check("QrcManager::lockIntArray")->lockIntArray(n);
}
void QrcManager::unlockArray() const {
  check("QrcManager::unlockArray")->unlockArray();
}
void QrcManager::useExceptions(bool flag) const {
  check("QrcManager::useExceptions")->useExceptions(flag);
}
void QrcManager::addReversibleAction(const QrcGoal& goal) const {
  check("QrcManager::addReversibleAction")->addReversibleAction(goal.getImpl());
}
void QrcManager::fail(QrcAny label) const {
  check("")->fail(label);
}
QrcBool QrcManager::solve(const QrcGoal& goal, bool restore) const {
  return check("QrcManager::solve")->solve(goal.getImpl(), restore);
}
void QrcManager::checkImplementation(const void* object, const char* place) const {
  check("QrcManager::checkImplementation")->checkImplementation(object, place);
}

// ---------------------------------------------------------------- search handle

QrcSearch::QrcSearch(const QrcManager& manager, const QrcGoal& goal) : _impl(nullptr) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcSearch::QrcSearch");
  _impl = m->newSearch(goal.getImpl());
}

QrcSearchI* QrcSearch::check(const char* place) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty QrcSearch", place);
  return _impl;
}

QrcBool QrcSearch::next() const {
  return check("QrcSearch::next")->next();
}

void QrcSearch::end() {
  QrcSearchI* s = check("QrcSearch::end");
  try {
    s->end();
  } catch (...) {
    // Ended all the same when a monitor threw at the news.
    if (s->getState() == QrcSearchI::Made) _impl = nullptr;
    throw;
  }
  _impl = nullptr;
}

void QrcSearch::restart() const {
  check("QrcSearch::restart")->restart();
}

void QrcSearch::setFileNodeOptions(QrcInt limit, QrcInt a, QrcInt b, QrcInt c) const {
  check("QrcSearch::setFileNodeOptions")->setFileNodeOptions(limit, a, b, c);
}

void QrcSearch::setEndCallback(const QrcGoal& goal) const {
  check("QrcSearch::setEndCallback")->setEndCallback(goal.getImpl());
}

void QrcSearch::setMonitor(QrcSearchEventMonitorI* monitor) const {
  check("QrcSearch::setMonitor")->setMonitor(monitor);
}

namespace {

// The variable's own setObjMin installs its filter on the manager's current
// search, so that is the only search it can serve.
void setObjective(QrcSearchI* s, QrcExprI* var, QrcFloat step, QrcFloat relativeStep) {
  const char* place = "QrcSearch::setObjMin";
  QrcManagerI* m = s->getManager();
  QrcErrorReporter* r = m->getErrorReporter();
  if (!var)
    r->report(QrcEmptyHandleError, "empty handle", place);
  else if (var->getManager() != m)
    r->report(QrcManagersDifferError, place, "Managers are different");
  else if (m->getCurrentSearch() != s)
    r->report(QrcSearchMisuseError, "The objective is set on a search that is not the current one",
              "incorrect search use");
  else
    var->setObjMin(step, relativeStep);
}

}  // namespace

void QrcSearch::setObjMin(const QrcIntVar& var, QrcInt step, QrcFloat relativeStep) const {
  setObjective(check("QrcSearch::setObjMin"), var.getImpl(), static_cast<QrcFloat>(step),
               relativeStep);
}

void QrcSearch::setObjMin(const QrcFloatVar& var, QrcFloat step, QrcFloat relativeStep) const {
  setObjective(check("QrcSearch::setObjMin"), var.getImpl(), step, relativeStep);
}
