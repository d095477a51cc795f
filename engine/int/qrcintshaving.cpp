// Shaving of an integer variable's maximum: a watch constraint counts the
// range changes of the variable within one drain of the propagation queue;
// past its threshold it suspends the variable and hands over to a companion
// that tests upper slices of the range in nested searches.
#include "qrcintshaving.h"

#include <atomic>
#include <ostream>

#include "qrcmanager.h"

namespace {
// Process-wide shaving of extracted variables, off unless a test sets it;
// atomic, as solvers in several threads read them.
std::atomic<QrcInt> globalLevel{0};
std::atomic<bool> globalOn{false};
}  // namespace

QrcSpiralSolverIntCtI::QrcSpiralSolverIntCtI(QrcIntExpI* var, QrcInt level)
    : QrcShavingWatchI(var->getManager(), level), _var(var) {
  _companion = new (_manager) StrongConsistencyIntConstraintI(var, this);
}

void QrcSpiralSolverIntCtI::post() {
  _var->whenRange(this);
  startCounting();
}

// A constant has no handler, and no range changes either.
void QrcSpiralSolverIntCtI::suspendVariable() {
  if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->suspend();
}
void QrcSpiralSolverIntCtI::resumeVariable() {
  if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->resumeHolding(_held);
}
void QrcSpiralSolverIntCtI::handBack() {
  if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->handBack(_held);
}
void QrcSpiralSolverIntCtI::dropHeld() {
  if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->dropHeld(_held);
}
void QrcSpiralSolverIntCtI::lendHeld() {
  if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->lendHeld(_held);
}

void QrcSpiralSolverIntCtI::display(std::ostream& os) const {
  os << "QrcSpiralSolverIntCt";
}

void StrongConsistencyIntConstraintI::propagate() {
  QrcSpiralSolverIntCtI* w = _watch;
  if (!w->isActive()) return;
  w->start();
  w->setThreshold(2);
  auto nextMid = [](QrcInt low, QrcInt high, QrcInt& mid) {
    if (low + 1 >= high) return false;
    mid = high / 2 + low / 2;
    // Truncation toward zero puts mid on high for some negative ranges
    // ([-5, -3] gives -3): the slice [high, high] would be refuted forever.
    if (mid >= high) mid = high - 1;
    // A slice from low is the whole range: testing it narrows nothing.
    return mid > low;
  };
  auto test = [this](QrcInt low, QrcInt high, QrcInt* result) {
    QrcGoalI* g = new (_manager) testIntgoalI(_manager, _var, low, high, result, _watch);
    return _manager->solveInPropagation(this, g, true);
  };
  _var->setMax(qrcShaveMaximum(w, _var->getMin(), _var->getMax(), nextMid, test));
}

void StrongConsistencyIntConstraintI::display(std::ostream& os) const {
  os << "StrongConsistencyIntConstraint";
}

// One drain: the demons hear what the watch holds with the narrowing.
QrcGoalI* testIntgoalI::execute() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->enter();
  if (_watch) _watch->lendHeld();
  _var->setRange(_lo, _hi);
  q->leave();
  *_result = _var->getMax();
  return nullptr;
}

void testIntgoalI::display(std::ostream& os) const {
  os << "testIntgoal";
}

QrcConstraint QrcSpiralSolverIntCt(const QrcIntVar& x, QrcInt level) {
  QrcIntExpI* v = x.getImpl();
  if (!v) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSpiralSolverIntCt");
  return new (v->getManager()) QrcSpiralSolverIntCtI(v, level);
}

void addIntShaving(const QrcIntVar& x) {
  QrcIntExpI* v = x.getImpl();
  if (!v) QrcFatalError(QrcEmptyHandleError, "empty handle", "addIntShaving");
  v->getManager()->add(QrcSpiralSolverIntCt(x, 20).getImpl());
}

QrcInt getGlobalIntShavingLevel() {
  return globalLevel.load(std::memory_order_relaxed);
}
bool isGlobalIntShavingOn() {
  return globalOn.load(std::memory_order_relaxed);
}
void setGlobalIntShavingLevel(QrcInt level) {
  globalLevel.store(level, std::memory_order_relaxed);
}
void setGlobalIntShavingOn(bool on) {
  globalOn.store(on, std::memory_order_relaxed);
}

void addGlobalIntShaving(const QrcIntVar& x) {
  QrcInt level = globalLevel.load(std::memory_order_relaxed);
  if (level < 1 || !globalOn.load(std::memory_order_relaxed)) return;
  QrcIntExpI* v = x.getImpl();
  if (!v) QrcFatalError(QrcEmptyHandleError, "empty handle", "addGlobalIntShaving");
  v->getManager()->add(QrcSpiralSolverIntCt(x, level).getImpl());
}
