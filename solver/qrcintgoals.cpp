#include "qrcintgoals.h"

#include <ostream>

#include "qrosolveri.h"
#include "qrcintexp.h"
#include "qrcmanager.h"

namespace {

QrcGoalI* setValueGoal(QrcManagerI* m, QrcIntExpI* var, QrcInt v) {
  return m->makeGoal<QrcIntVarSetValueI>(var, v);
}
QrcGoalI* removeValueGoal(QrcManagerI* m, QrcIntExpI* var, QrcInt v) {
  return m->makeGoal<QrcIntVarRemoveValueI>(var, v);
}

}  // namespace

QrcGoalI* QrcIntVarSetValueI::execute() {
  if (QroSolverI* s = getSolverI())
    s->setValue(_var, _value);
  else
    _var->setValue(_value);
  return nullptr;
}
void QrcIntVarSetValueI::display(std::ostream& os) const {
  os << "QrcIntVarSetValue";
}

QrcGoalI* QrcIntVarRemoveValueI::execute() {
  if (QroSolverI* s = getSolverI())
    s->removeValue(_var, _value);
  else
    _var->removeValue(_value);
  return nullptr;
}
void QrcIntVarRemoveValueI::display(std::ostream& os) const {
  os << "QrcIntVarRemoveValue";
}

QrcGoalI* QrcIntVarLeValueI::execute() {
  _var->setMax(_value);
  return nullptr;
}
void QrcIntVarLeValueI::display(std::ostream& os) const {
  os << "QrcIntVarLeValue";
}

QrcGoalI* QrcIntVarGeValueI::execute() {
  _var->setMin(_value);
  return nullptr;
}
void QrcIntVarGeValueI::display(std::ostream& os) const {
  os << "QrcIntVarGeValue";
}

QrcGoalI* QrcIntVarInstantiateI::execute() {
  QrcIntExpI* x = _var;
  x->refreshBounds();
  if (x->getMin() == x->getMax()) return nullptr;
  QrcManagerI* m = _manager;
  QrcInt v = x->getMin();
  if (_selector) {
    // A selector of the caller's: failures inside it are thrown.
    auto select = [&] { v = _selector->select(x); };
    m->runForeign(select);
  }
  QrcGoalI* again = m->makeGoal<QrcAndII>(removeValueGoal(m, x, v), this);
  return m->makeGoal<QrcOrI>(setValueGoal(m, x, v), again, nullptr);
}
void QrcIntVarInstantiateI::display(std::ostream& os) const {
  os << "QrcIntVarInstantiate";
}

QrcGoalI* QrcIntGenerateI::execute() {
  QrcManagerI* m = _manager;
  QrcInt position = -1;
  if (_choose == QrcChooseFirstUnboundInt) {
    // The same choice as the scan from the start, in time linear over a branch.
    for (QrcInt p = _firstUnbound.getValue(); p < _vars->getSize(); ++p) {
      QrcIntExpI* x = _vars->getVar(p);
      if (x && x->getMin() != x->getMax()) {
        position = p;
        break;
      }
    }
    if (position < 0) return nullptr;
    _firstUnbound.set(m, position);
  } else {
    QrcInt i = -1;
    auto choose = [&] { i = _choose(QrcIntVarArray(_vars)); };
    if (_choose) m->runForeign(choose);
    if (i < 0) return nullptr;
    QrcInt step = _vars->getStep();
    position = i - _vars->getFirstIndex();
    if (step != 0) position /= step;
  }
  QrcGoalI* one = m->makeGoal<QrcIntVarInstantiateI>(_vars->getVar(position), _selector);
  return m->makeGoal<QrcAndII>(one, this);
}
void QrcIntGenerateI::display(std::ostream& os) const {
  os << "QrcIntGenerate";
}

QrcGoalI* QrcDichotomizeGoalI::execute() {
  QrcIntExpI* x = _var;
  x->refreshBounds();
  QrcInt lo = x->getMin(), hi = x->getMax();
  if (lo == hi) return nullptr;
  QrcManagerI* m = _manager;
  if (hi == lo + 1) {
    QrcInt v = _upperFirst ? hi : lo;
    return new (m) QrcOrI(m, setValueGoal(m, x, v), removeValueGoal(m, x, v), nullptr);
  }
  QrcInt mid = (lo + hi) / 2;
  QrcGoalI* le = new (m) QrcIntVarLeValueI(m, x, mid);
  QrcGoalI* ge = new (m) QrcIntVarGeValueI(m, x, mid + 1);
  QrcGoalI* choice =
      _upperFirst ? new (m) QrcOrI(m, ge, le, nullptr) : new (m) QrcOrI(m, le, ge, nullptr);
  return new (m) QrcAndII(m, choice, this);
}
void QrcDichotomizeGoalI::display(std::ostream& os) const {
  os << "QrcDichotomizeGoal";
}

QrcInt QrcChooseFirstUnboundInt(const QrcIntVarArray& vars) {
  QrcIntVarArrayI* a = vars.getImpl();
  if (!a) return -1;
  for (QrcInt p = 0; p < a->getSize(); ++p) {
    QrcIntExpI* x = a->getVar(p);
    if (x && x->getMin() != x->getMax()) return a->getFirstIndex() + p * a->getStep();
  }
  return -1;
}

QrcGoal QrcSetValue(const QrcIntVar& var, QrcInt value) {
  QrcManagerI* m = var.getManager();
  return QrcGoal(setValueGoal(m, var.getImpl(), value));
}

QrcGoal QrcRemoveValue(const QrcIntVar& var, QrcInt value) {
  QrcManagerI* m = var.getManager();
  return QrcGoal(removeValueGoal(m, var.getImpl(), value));
}

QrcGoal QrcGenerate(const QrcIntVarArray& vars, QrcChooseIntIndex choose) {
  QrcIntVarArrayI* a = vars.getImpl();
  // No array (an array of no variable is an empty handle): nothing to label,
  // the empty goal succeeds at once.
  if (!a) return QrcGoal();
  QrcManagerI* m = a->getManager();
  return QrcGoal(new (m) QrcIntGenerateI(m, a, choose, nullptr));
}

QrcGoal QrcIntGenerate(const QrcIntVarArray& vars, QrcChooseIntIndex choose) {
  return QrcGenerate(vars, choose);
}

QrcGoal QrcDichotomize(const QrcIntVar& var, QrcInt upperFirst) {
  QrcManagerI* m = var.getManager();
  return QrcGoal(new (m) QrcDichotomizeGoalI(m, var.getImpl(), upperFirst));
}
