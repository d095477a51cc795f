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
    : QrcShavingWatchI(var->getManager(), level), _var(var) {
  _companion = new (_manager) StrongConsistencyFloatConstraintI(var, this);
}

void QrcSpiralSolverFloatCtI::post() {
  _var->whenRange(this);
  startCounting();
}

void QrcSpiralSolverFloatCtI::suspendVariable() {
  _var->getFloatHandler()->suspend();
}
void QrcSpiralSolverFloatCtI::resumeVariable() {
  _var->getFloatHandler()->resumeHolding(_held);
}
void QrcSpiralSolverFloatCtI::handBack() {
  _var->getFloatHandler()->handBack(_held);
}
void QrcSpiralSolverFloatCtI::dropHeld() {
  _var->getFloatHandler()->dropHeld(_held);
}

void QrcSpiralSolverFloatCtI::display(std::ostream& os) const {
  os << "QrcSpiralSolverFloatCt";
}

void StrongConsistencyFloatConstraintI::propagate() {
  QrcSpiralSolverFloatCtI* w = _watch;
  if (!w->isActive()) return;
  w->start();
  w->setThreshold(3);
  QrcFloat lo = _var->getMin(), hi = _var->getMax();
  // An infinite bound leaves no slice to test: [+inf, +inf] is empty and a
  // slice from -inf is the whole range.
  if (std::isinf(lo) || std::isinf(hi)) {
    w->finish();
    return;
  }
  auto nextMid = [](QrcFloat low, QrcFloat high, QrcFloat& mid) {
    if (!(high > low + 0.0001)) return false;
    setRoundingNearest();
    mid = low / 5.0 + high * 0.8;
    // No double strictly inside: the slice would not shrink the range.
    return low < mid && mid < high;
  };
  auto test = [this](QrcFloat low, QrcFloat high, QrcFloat* result) {
    QrcGoalI* g = new (_manager) testFloatgoalI(_manager, _var, low, high, result);
    return _manager->solveInPropagation(this, g, true);
  };
  _var->setRange(-Inf, qrcShaveMaximum(w, lo, hi, nextMid, test));
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
