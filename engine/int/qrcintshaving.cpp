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
    : QrcConstraintI(var->getManager()),
      _var(var),
      _count(0),
      _stamp(0),
      _active(0),
      _companion(nullptr),
      _threshold(0),
      _level(static_cast<int32_t>(level < 3 ? 3 : level)) {
  _threshold = _level;
  _companion = new (_manager) StrongConsistencyIntConstraintI(var, this);
}

void QrcSpiralSolverIntCtI::post() {
  _var->whenRange(this);
  _stamp = _manager->getPropagationStamp();
}

void QrcSpiralSolverIntCtI::propagate() {
  QrcInt s = _manager->getPropagationStamp();
  if (s != _stamp) {
    _count = 0;
    _active = 0;
    _stamp = s;
    return;
  }
  ++_count;
  if (_count > _threshold) {
    _active = 1;
    // A constant has no handler, and no range changes either.
    if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->suspend();
    _companion->pushUnlessNested();
  }
}

void QrcSpiralSolverIntCtI::reset() {
  _count = 0;
  _active = 0;
  if (QrcIntVarEventHandlerI* h = _var->getIntHandler()) h->resume();
}

void QrcSpiralSolverIntCtI::finish() {
  reset();
  _threshold = _level;
}

void QrcSpiralSolverIntCtI::display(std::ostream& os) const {
  os << "QrcSpiralSolverIntCt";
}

void StrongConsistencyIntConstraintI::propagate() {
  QrcSpiralSolverIntCtI* w = _watch;
  if (!w->isActive()) return;
  w->reset();
  w->setThreshold(2);
  QrcInt lo = _var->getMin(), hi = _var->getMax();
  while (lo + 1 < hi) {
    QrcInt mid = hi / 2 + lo / 2;
    // Truncation toward zero puts mid on hi for some negative ranges
    // ([-5, -3] gives -3): the slice [hi, hi] would be refuted forever.
    if (mid >= hi) mid = hi - 1;
    // A slice from lo is the whole range: testing it narrows nothing.
    if (mid <= lo) break;
    w->reset();
    QrcInt result = hi;
    QrcGoalI* g = new (_manager) testIntgoalI(_manager, _var, mid, hi, &result);
    if (!_manager->solveInPropagation(this, g, true)) {
      hi = mid;
      continue;
    }
    if (w->isActive()) {
      lo = mid;
      hi = result;
      continue;
    }
    w->finish();
    _var->setMax(result);
    return;
  }
  w->finish();
  _var->setMax(hi);
}

void StrongConsistencyIntConstraintI::display(std::ostream& os) const {
  os << "StrongConsistencyIntConstraint";
}

QrcGoalI* testIntgoalI::execute() {
  _var->setRange(_lo, _hi);
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
