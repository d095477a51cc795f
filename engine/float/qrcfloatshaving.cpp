// Shaving of a float variable's maximum: a watch constraint counts the range
// changes of the variable within one drain of the propagation queue; past its
// threshold it suspends the variable and hands over to a companion that tests
// upper slices of the range in nested searches.
#include "qrcfloatshaving.h"

#include <atomic>
#include <cmath>
#include <ostream>

#include "qrcfloatenv.h"
#include "qrcmanager.h"

namespace {
const double Inf = HUGE_VAL;
// Process-wide shaving of extracted variables, off unless a test sets it;
// atomic, as solvers in several threads read them.
std::atomic<QrcInt> globalLevel{0};
std::atomic<bool> globalOn{false};
}  // namespace

QrcSpiralSolverFloatCtI::QrcSpiralSolverFloatCtI(QrcFloatExpI* var, QrcInt level)
    : QrcConstraintI(var->getManager()),
      _var(var),
      _count(0),
      _stamp(0),
      _active(0),
      _companion(nullptr),
      _threshold(0),
      _level(level < 3 ? 3 : level) {
  _threshold = _level;
  _companion = new (_manager) StrongConsistencyFloatConstraintI(var, this);
}

void QrcSpiralSolverFloatCtI::post() {
  _var->whenRange(this);
  _stamp = _manager->getPropagationStamp();
}

void QrcSpiralSolverFloatCtI::propagate() {
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
    _var->getFloatHandler()->suspend();
    _companion->pushUnlessNested();
  }
}

void QrcSpiralSolverFloatCtI::reset() {
  _count = 0;
  _active = 0;
  _var->getFloatHandler()->resume();
}

void QrcSpiralSolverFloatCtI::display(std::ostream& os) const {
  os << "QrcSpiralSolverFloatCt";
}

void QrcSpiralSolverFloatCtI::finish() {
  reset();
  _threshold = _level;
}

void StrongConsistencyFloatConstraintI::propagate() {
  QrcSpiralSolverFloatCtI* w = _watch;
  if (!w->isActive()) return;
  w->reset();
  w->setThreshold(3);
  QrcFloat lo = _var->getMin(), hi = _var->getMax();
  // An infinite bound leaves no slice to test: [+inf, +inf] is empty and a
  // slice from -inf is the whole range.
  if (std::isinf(lo) || std::isinf(hi)) {
    w->finish();
    return;
  }
  while (hi > lo + 0.0001) {
    setRoundingNearest();
    QrcFloat mid = lo / 5.0 + hi * 0.8;
    // No double strictly inside: the slice would not shrink the range.
    if (!(lo < mid && mid < hi)) break;
    w->reset();
    QrcFloat result = hi;
    QrcGoalI* g = new (_manager) testFloatgoalI(_manager, _var, mid, hi, &result);
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
    _var->setRange(-Inf, result);
    return;
  }
  w->finish();
  _var->setRange(-Inf, hi);
}

void StrongConsistencyFloatConstraintI::display(std::ostream& os) const {
  os << "StrongConsistencyFloatConstraint";
}

QrcGoalI* testFloatgoalI::execute() {
  _var->setRange(_lo, _hi);
  *_result = _var->getMax();
  return nullptr;
}

void testFloatgoalI::display(std::ostream& os) const {
  os << "testFloatgoal";
}

QrcConstraint QrcSpiralSolverFloatCt(const QrcFloatVar& x, QrcInt level) {
  QrcFloatExpI* v = x.getImpl();
  if (!v) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSpiralSolverFloatCt");
  return new (v->getManager()) QrcSpiralSolverFloatCtI(v, level);
}

void addFloatShaving(const QrcFloatVar& x) {
  QrcFloatExpI* v = x.getImpl();
  if (!v) QrcFatalError(QrcEmptyHandleError, "empty handle", "addFloatShaving");
  v->getManager()->add(QrcSpiralSolverFloatCt(x, 20).getImpl());
}

QrcInt getGlobalFloatShavingLevel() {
  return globalLevel.load(std::memory_order_relaxed);
}
bool isGlobalFloatShavingOn() {
  return globalOn.load(std::memory_order_relaxed);
}
void setGlobalFloatShavingLevel(QrcInt level) {
  globalLevel.store(level, std::memory_order_relaxed);
}
void setGlobalFloatShavingOn(bool on) {
  globalOn.store(on, std::memory_order_relaxed);
}

void addGlobalFloatShaving(const QrcFloatVar& x) {
  QrcInt level = globalLevel.load(std::memory_order_relaxed);
  if (level < 1 || !globalOn.load(std::memory_order_relaxed)) return;
  QrcFloatExpI* v = x.getImpl();
  if (!v) QrcFatalError(QrcEmptyHandleError, "empty handle", "addGlobalFloatShaving");
  v->getManager()->add(QrcSpiralSolverFloatCt(x, level).getImpl());
}
