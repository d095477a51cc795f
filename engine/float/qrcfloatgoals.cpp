#include "qrcfloatgoals.h"

#include <cfloat>
#include <cmath>
#include <ostream>

#include "qrcfloatenv.h"
#include "qrcmanager.h"

QrcGoalI* QrcFloatVarTryUpI::execute() {
  _var->setRange(_value, HUGE_VAL);
  return nullptr;
}
void QrcFloatVarTryUpI::display(std::ostream& os) const {
  os << "QrcFloatVarTryUp";
}

QrcGoalI* QrcFloatVarTryDownI::execute() {
  _var->setRange(-HUGE_VAL, _value);
  return nullptr;
}
void QrcFloatVarTryDownI::display(std::ostream& os) const {
  os << "QrcFloatVarTryDown";
}

QrcFloat QrcFloatSplitPoint(QrcFloat min, QrcFloat max) {
  if (min == -HUGE_VAL && max == HUGE_VAL) return 0.0;
  if (min == -HUGE_VAL) return -DBL_MAX;
  if (max == HUGE_VAL) return DBL_MAX;
  setRoundingNearest();
  // Each bound halved first: the sum cannot overflow.
  return max * 0.5 + min * 0.5;
}

QrcFloat QrcFloatSplitPointAtPrecision(QrcFloat min, QrcFloat max, QrcInt p) {
  if (min == -HUGE_VAL && max == HUGE_VAL) return 0.0;
  setRoundingNearest();
  QrcFloat m = roundDownToPrecision(max * 0.5 + min * 0.5, p);
  if (min >= m) return nextUpAtPrecision(min, p);
  if (m >= max) return nextDownAtPrecision(max, p);
  return m;
}

namespace {

// The point where x is split next, or NaN when x is bound or no double lies
// strictly between its bounds (a precision below one unit in the last place
// never makes such an interval bound).
QrcFloat splitPointOf(QrcManagerI* m, QrcFloatExpI* x) {
  if (x->isBound()) return NAN;
  QrcFloat lo = x->getMin(), hi = x->getMax();
  QrcFloat split = m->variablePrecision()
                       ? QrcFloatSplitPointAtPrecision(lo, hi, m->getVariablePrecision())
                       : QrcFloatSplitPoint(lo, hi);
  if (!(lo < split && split < hi)) return NAN;
  return split;
}

QrcGoalI* halves(QrcManagerI* m, QrcFloatExpI* x, QrcFloat split, QrcInt upperFirst,
                 QrcGoalI* self) {
  QrcGoalI* up = new (m) QrcFloatVarTryUpI(m, x, split);
  QrcGoalI* down = new (m) QrcFloatVarTryDownI(m, x, split);
  QrcGoalI* choice =
      upperFirst ? new (m) QrcOrI(m, up, down, nullptr) : new (m) QrcOrI(m, down, up, nullptr);
  return new (m) QrcAndII(m, choice, self);
}

}  // namespace

QrcGoalI* QrcFloatVarInstantiateI::execute() {
  QrcFloatExpI* x = _var;
  if (x->isBound()) return nullptr;
  if (_ratio > 0) QrcSolveBounds(QrcFloatVar(x), _ratio);
  // Split as the bounds now stand: shaving does not ask again whether x is bound.
  QrcFloat lo = x->getMin(), hi = x->getMax();
  QrcFloat split = QrcFloatSplitPoint(lo, hi);
  // A split point on a bound cannot narrow: the interval is as small as the
  // doubles allow.
  if (!(lo < split && split < hi)) return nullptr;
  return halves(_manager, x, split, _upperFirst, this);
}
void QrcFloatVarInstantiateI::display(std::ostream& os) const {
  os << "QrcFloatVarInstantiate";
}

QrcGoalI* QrcFloatVarInstantiateVarPrecI::execute() {
  QrcFloatExpI* x = _var;
  // Shaving first, then the boundness test.
  if (_ratio > 0) QrcSolveBounds(QrcFloatVar(x), _ratio);
  if (x->isBound()) return nullptr;
  QrcFloat lo = x->getMin(), hi = x->getMax();
  QrcFloat split = QrcFloatSplitPointAtPrecision(lo, hi, _manager->getVariablePrecision());
  if (!(lo < split && split < hi)) return nullptr;
  return halves(_manager, x, split, _upperFirst, this);
}
void QrcFloatVarInstantiateVarPrecI::display(std::ostream& os) const {
  os << "QrcFloatVarInstantiateVarPrec";
}

QrcGoalI* QrcFloatGenerateI::execute() {
  QrcManagerI* m = _manager;
  QrcFloatVarArray vars(_vars);
  QrcInt i = -1;
  auto choose = [&] { i = _choose(vars); };
  if (_choose == QrcChooseFirstUnboundFloat)
    i = QrcChooseFirstUnboundFloat(vars);
  else if (_choose)
    m->runForeign(choose);
  // A variable that can no longer be split is as decided as it can be: the
  // chosen one then gives way to the first variable that can still be split,
  // so that the generation ends instead of choosing it forever.
  if (i >= 0 && std::isnan(splitPointOf(m, _vars->get(i)))) i = QrcChooseFirstUnboundFloat(vars);
  if (i < 0) return nullptr;
  QrcGoal one = QrcInstantiate(QrcFloatVar(_vars->get(i)), _upperFirst, _ratio);
  return new (m) QrcAndII(m, one.getImpl(), this);
}
void QrcFloatGenerateI::display(std::ostream& os) const {
  os << "QrcFloatGenerate";
}

QrcInt QrcChooseFirstUnboundFloat(const QrcFloatVarArray& vars) {
  QrcFloatVarArrayI* a = vars.getImpl();
  if (!a) return -1;
  QrcManagerI* m = a->getManager();
  for (QrcInt i = 0; i < a->getSize(); ++i) {
    QrcFloatExpI* x = a->get(i);
    if (x && !std::isnan(splitPointOf(m, x))) return i;
  }
  return -1;
}

QrcGoal QrcInstantiate(const QrcFloatVar& x, QrcInt upperFirst, QrcFloat ratio) {
  QrcFloatExpI* e = x.getImpl();
  QrcManagerI* m = x.getManager();
  if (m->variablePrecision())
    return QrcGoal(new (m) QrcFloatVarInstantiateVarPrecI(m, e, upperFirst, ratio));
  return QrcGoal(new (m) QrcFloatVarInstantiateI(m, e, upperFirst, ratio));
}

QrcGoal QrcGenerate(const QrcFloatVarArray& vars, QrcChooseFloatIndex choose, QrcInt upperFirst,
                    QrcFloat ratio) {
  QrcFloatVarArrayI* a = vars.getImpl();
  // No array: nothing to split, the empty goal succeeds at once.
  if (!a) return QrcGoal();
  QrcManagerI* m = a->getManager();
  return QrcGoal(new (m) QrcFloatGenerateI(m, a, choose, upperFirst, ratio));
}
