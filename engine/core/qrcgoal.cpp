#include "qrcgoal.h"

#include <ostream>

#include "qrcconstraint.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

namespace qrcmarkers {
const char internalLabel = 0;
const char reversibleAction = 0;
const char noRestore = 0;
}  // namespace qrcmarkers

// ---------------------------------------------------------------- root

QrcRootGoalDemonI::~QrcRootGoalDemonI() {
  QrcForgetDestroyed(_manager, reinterpret_cast<QrcWord>(this));
}

QroSolverI* QrcRootGoalDemonI::getSolverI() const {
  return _manager->getSolver();
}

void QrcRootGoalDemonI::fail(QrcAny label) const {
  _manager->fail(label);
}

void QrcRootGoalDemonI::markFreshPending() {
  _manager->saveValue(&_state);
  _state = Pending;
}

void QrcRootGoalDemonI::deactivate() {
  if (_state == Inactive) return;
  // Backtracking brings it back fresh when it was fresh, else idle.
  _state = _state == Fresh ? Fresh : Idle;
  _manager->saveValue(&_state);
  _state = Inactive;
}

void QrcRootGoalDemonI::runIfPending() {
  if (_state != Pending) return;
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  _manager->setCurrentDemon(this);
  _state = Idle;
  q->countDemonRun();
  bool tracing = q->isTracing();
  if (tracing) q->notifyDemonBegin(this);
  propagate();
  if (tracing) q->notifyDemonEnd(this);
  _manager->setCurrentDemon(saved);
}

// ---------------------------------------------------------------- goal and demon

void QrcGoalI::propagate() {
  _manager->pushGoal(this);
}

void QrcGoalI::metaPostDemon(QrcDemonI*) {
  _manager->getErrorReporter()->report(QrcNoMetaPostDemonError, "constraint without metaPostDemon",
                                       " ", this);
}

QrcGoalI* QrcDemonI::execute() {
  propagate();
  return nullptr;
}

void QrcDemonI::metaPostDemon(QrcDemonI*) {
  _manager->getErrorReporter()->report(QrcNoMetaPostDemonError, "constraint without metaPostDemon",
                                       " ", this);
}

void QrcDemonI::display(std::ostream&) const {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  if (q->isTracing())
    q->getTraceStream() << "QrcDemon"
                        << "(" << static_cast<const void*>(this) << ")";
}

// ---------------------------------------------------------------- built-in goals

QrcGoalI* QrcGoalFailI::execute() {
  if (_label == QrcInternalLabel()) _manager->failAsReversibleAction();
  _manager->fail(_label);
}

void QrcGoalFailI::display(std::ostream& os) const {
  os << "QrcGoalFail";
}

void QrcGoalTrueI::display(std::ostream& os) const {
  os << "QrcGoalTrue";
}

// The library's true goal is not pushed: it would be popped and run to no
// effect (the default goal holds one for each kind of variable absent).
QrcGoalI* QrcAndII::execute() {
  if (_second && !_second->isLibraryTrueGoal()) _manager->pushGoal(_second);
  if (!_first->isLibraryTrueGoal()) _manager->pushGoal(_first);
  return nullptr;
}

void QrcAndII::display(std::ostream& os) const {
  os << "QrcAndI";
}

QrcGoalI* QrcOrI::execute() {
  _manager->choose(_first, _second, _label);
  return nullptr;
}

QrcGoalI* QrcPushGoalsI::execute() {
  _manager->pushSavedGoals();
  return nullptr;
}

void QrcPushGoalsI::display(std::ostream& os) const {
  os << "QrcPushGoals";
}

QrcGoalI* QrcGoalConstraintI::execute() {
  _manager->add(_ct);
  return nullptr;
}

void QrcGoalConstraintI::display(std::ostream& os) const {
  os << "QrcGoalConstraint";
}

QrcGoalI* QrcReversibleI::execute() {
  if (_goal) _manager->runGoal(_goal);
  _manager->failAsReversibleAction();
}

void QrcReversibleI::display(std::ostream& os) const {
  os << "QrcReversible";
}

void QrcReversibleGroupI::add(QrcGoalI* goal) {
  QrcGoalCell* c = static_cast<QrcGoalCell*>(_manager->allocate(sizeof(QrcGoalCell)));
  *c = QrcGoalCell{_actions, goal};
  _actions = c;
}

QrcGoalI* QrcReversibleGroupI::execute() {
  for (QrcGoalCell* c = _actions; c; c = c->next) _manager->runGoal(c->goal);
  return nullptr;
}

void QrcReversibleGroupI::display(std::ostream& os) const {
  os << "QrcReversibleGroup";
}

// ---------------------------------------------------------------- handles and makers

QrcGoal::QrcGoal(const QrcConstraint& ct) : _impl(nullptr) {
  QrcConstraintI* c = ct.getImpl();
  if (!c) QrcFatalError(QrcEmptyHandleError, "empty constraint", "QrcGoal constructor<<");
  if (!c->getManager()) QrcFatalError(QrcEmptyHandleError, "No Manager", "QrcConstraint");
  _impl = new (c->getManager()) QrcGoalConstraintI(c->getManager(), c);
}

QrcGoal QrcGoalFail(const QrcManager& manager, QrcAny label) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcGoalFail");
  return new (m) QrcGoalFailI(m, label);
}

QrcGoal QrcGoalTrue(const QrcManager& manager) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcGoalTrue");
  return new (m) QrcGoalTrueI(m);
}

QrcGoal QrcAnd(const QrcGoal& g1, const QrcGoal& g2) {
  QrcGoalI* a = g1.getImpl();
  if (!a) return g2;
  QrcManagerI* m = a->getManager();
  return new (m) QrcAndII(m, a, g2.getImpl());
}

QrcGoal QrcAnd(const QrcGoal& g1, const QrcGoal& g2, const QrcGoal& g3, const QrcGoal& g4) {
  return QrcAnd(g1, QrcAnd(g2, QrcAnd(g3, g4)));
}

QrcGoal QrcAnd(const QrcGoal& g1, const QrcGoal& g2, const QrcGoal& g3, const QrcGoal& g4,
               const QrcGoal& g5) {
  return QrcAnd(g1, QrcAnd(g2, QrcAnd(g3, QrcAnd(g4, g5))));
}

QrcGoal QrcOr(const QrcGoal& g1, const QrcGoal& g2, QrcAny label) {
  QrcGoalI* a = g1.getImpl();
  QrcGoalI* b = g2.getImpl();
  if (!a && !b) return QrcGoal();
  QrcManagerI* m = a ? a->getManager() : b->getManager();
  if (!a) a = new (m) QrcGoalTrueI(m);
  if (!b) b = new (m) QrcGoalTrueI(m);
  return new (m) QrcOrI(m, a, b, label);
}
