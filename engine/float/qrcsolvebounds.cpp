// Bound shaving of float variables: a slice at either end of a variable's
// interval is tested in a nested search that restores the state; a slice
// without solution is removed, and passes over the variables repeat until
// none changes.
//
// Everything here runs inside goals and may fail: locals stay trivially
// destructible.
#include <atomic>
#include <cfloat>
#include <cmath>
#include <ostream>

#include "qrcfloatenv.h"
#include "qrcfloatgoals.h"
#include "qrcmanager.h"

QrcGoalI* QrcTestFltMinI::execute() {
  _var->setRange(-HUGE_VAL, _value);
  return nullptr;
}
void QrcTestFltMinI::display(std::ostream& os) const {
  os << "QrcTestFltMin";
}

QrcGoalI* QrcTestFltMaxI::execute() {
  _var->setRange(_value, HUGE_VAL);
  return nullptr;
}
void QrcTestFltMaxI::display(std::ostream& os) const {
  os << "QrcTestFltMax";
}

namespace {

// Counted by every thread; read only by tests and benchmarks.
std::atomic<QrcInt> nestedSearches{0};
std::atomic<QrcInt> refutedSlices{0};

// The slice width s * (max - min), a width not below DBL_MAX (infinite bounds,
// overflow) counting as DBL_MAX.
QrcFloat sliceWidth(QrcFloatExpI* x, QrcFloat s) {
  setRoundingNearest();
  QrcFloat width = x->getMax() - x->getMin();
  if (!(width < DBL_MAX)) width = DBL_MAX;
  return s * width;
}

// True when the slice test has a solution; the state is restored either way.
bool holds(QrcManagerI* m, QrcGoalI* test) {
  nestedSearches.fetch_add(1, std::memory_order_relaxed);
  bool found = m->solve(test, true) != 0;
  if (!found) refutedSlices.fetch_add(1, std::memory_order_relaxed);
  setRoundingNearest();
  return found;
}

// Shaves both ends of x at fixed precision; true when a slice was removed.
bool shaveFixed(QrcManagerI* m, QrcFloatExpI* x, QrcFloat s) {
  bool changed = false;
  QrcFloat w = sliceWidth(x, s);
  for (;;) {
    setRoundingNearest();
    QrcFloat min = x->getMin();
    QrcFloat t = min + w;
    if (!(t > -DBL_MAX)) t = -DBL_MAX;
    if (min >= t) break;
    if (holds(m, new (m) QrcTestFltMinI(m, x, t))) break;
    changed = true;
    x->setRange(t, HUGE_VAL);
  }
  for (;;) {
    setRoundingNearest();
    QrcFloat max = x->getMax();
    QrcFloat t = max - w;
    if (!(t < DBL_MAX)) t = DBL_MAX;
    if (t >= max) break;
    if (holds(m, new (m) QrcTestFltMaxI(m, x, t))) break;
    changed = true;
    x->setRange(-HUGE_VAL, t);
  }
  return changed;
}

// The same with slice ends on the grid of p mantissa bits.
bool shaveAtPrecision(QrcManagerI* m, QrcFloatExpI* x, QrcFloat s, QrcInt p) {
  if (x->isBound()) return false;
  bool changed = false;
  QrcFloat w = sliceWidth(x, s);
  for (;;) {
    setRoundingNearest();
    QrcFloat min = x->getMin(), max = x->getMax();
    QrcFloat t = roundUpToPrecision(std::fmax(min + w, -DBL_MAX), p);
    // A grid point at or below the minimum would remove nothing.
    if (t >= max || t <= min) break;
    if (holds(m, new (m) QrcTestFltMinI(m, x, t))) break;
    changed = true;
    x->setRange(t, HUGE_VAL);
  }
  for (;;) {
    setRoundingNearest();
    QrcFloat min = x->getMin(), max = x->getMax();
    QrcFloat t = roundDownToPrecision(std::fmin(max - w, DBL_MAX), p);
    if (min >= t || t >= max) break;
    if (holds(m, new (m) QrcTestFltMaxI(m, x, t))) break;
    changed = true;
    x->setRange(-HUGE_VAL, t);
  }
  return changed;
}

// Passes over the array until one changes nothing.
void passesToFixpoint(QrcFloatVarArrayI* a, QrcFloat s, QrcInt p) {
  QrcManagerI* m = a->getManager();
  QrcFloatExpI** vars = a->getElements();
  for (bool changed = true; changed;) {
    changed = false;
    for (QrcInt i = 0; i < a->getSize(); ++i) {
      QrcFloatExpI* x = vars[i];
      if (!x) continue;
      if (p > 0 ? shaveAtPrecision(m, x, s, p) : shaveFixed(m, x, s)) changed = true;
    }
  }
}

}  // namespace

QrcInt getBoundShavingSearches() {
  return nestedSearches.load(std::memory_order_relaxed);
}
QrcInt getBoundShavingRefutations() {
  return refutedSlices.load(std::memory_order_relaxed);
}

void shaveFloatBounds(const QrcFloatVarArray& vars, QrcFloat ratio) {
  QrcFloatVarArrayI* a = vars.getImpl();
  // No ratio above 0 (NaN included) asks for no shaving.
  if (!a || !(ratio > 0)) return;
  QrcManagerI* m = a->getManager();
  QrcInt p = m->variablePrecision() ? m->getVariablePrecision() : 0;
  QrcFloat s = 0.2;
  if (s > ratio) {
    do {
      passesToFixpoint(a, s, p);
      s *= 0.2;
    } while (s > ratio);
  }
  passesToFixpoint(a, ratio, p);
}

QrcGoalI* QrcSolveBoundsGoalI::execute() {
  shaveFloatBounds(QrcFloatVarArray(_vars), _ratio);
  return nullptr;
}
void QrcSolveBoundsGoalI::display(std::ostream& os) const {
  os << "QrcSolveBoundsGoal";
}

void QrcSolveBounds(const QrcFloatVarArray& vars, QrcFloat ratio) {
  QrcFloatVarArrayI* a = vars.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSolveBounds");
  QrcManagerI* m = a->getManager();
  if (m->isInEditMode())
    m->add(new (m) QrcSolveBoundsGoalI(m, a, ratio));
  else
    shaveFloatBounds(vars, ratio);
}

void QrcSolveBounds(const QrcFloatVar& x, QrcFloat ratio) {
  QrcFloatExpI* e = x.getImpl();
  if (!e) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSolveBounds");
  QrcSolveBounds(QrcFloatVarArray(QrcManager(e->getManager()), 1, x), ratio);
}
