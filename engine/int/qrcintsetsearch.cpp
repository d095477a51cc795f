// Handles, delta iterators and search goals of integer-set variables.
#include <ostream>

#include "qrcintsetvar.h"
#include "qrcmanager.h"

// ---------------------------------------------------------------- handle

namespace {

QrcManagerI* managerOf(const QrcManager& manager, const char* place) {
  QrcManagerI* m = manager.getImpl();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty manager", place);
  return m;
}

}  // namespace

QrcIntSetVar::QrcIntSetVar(const QrcManager& manager, QrcInt min, QrcInt max, const char* name) {
  QrcManagerI* m = managerOf(manager, "QrcIntSetVar");
  _impl = new (m) QrcIntSetVarI(m, min, max, name);
}

QrcIntSetVar::QrcIntSetVar(const QrcIntCollectionI* collection, const char* name) {
  if (!collection) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntSetVar");
  QrcIntCollectionI* c = const_cast<QrcIntCollectionI*>(collection);
  _impl = new (c->getManager()) QrcIntSetVarI(c, name);
}

QrcIntSetVar::QrcIntSetVar(const QrcManager& manager, const QrcIntSet& set, const char* name) {
  const char* place = "QrcIntSetVar(QrcManager, const QrcIntSet set, const char*)";
  QrcManagerI* m = managerOf(manager, place);
  m->checkImplementation(set.getImpl(), place);
  _impl = new (m) QrcIntSetVarI(m, set.getImpl(), name);
}

QrcIntSetVar::QrcIntSetVar(const QrcManager& manager, const QrcIntArray& values, const char* name) {
  const char* place = "QrcIntSetVar(QrcManager, const QrcIntArray array, const char*)";
  QrcManagerI* m = managerOf(manager, place);
  m->checkImplementation(values.getImpl(), place);
  if (values.getSize() > 0) {
    _impl = new (m) QrcIntSetVarI(values.getCollection(), name);
    return;
  }
  QrcInt zero = 0;
  QrcIntCollectionI* c = new (m) QrcIntCollectionI(m, 1, &zero, true);
  _impl = new (m) QrcIntSetVarI(c, name);
  _impl->removePossible(0);
}

void QrcIntSetVar::whenDomain(QrcDemonI* demon) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntSetVar::whenDomain");
  _impl->whenDomain(demon);
}

std::ostream& operator<<(std::ostream& os, const QrcIntSetVar& var) {
  return os << var.getImpl();
}

// ---------------------------------------------------------------- delta iterators

void QrcSetDeltaWalk::start(const QrcIntSetVarI* var, QrcInt kind) {
  _var = var;
  _singles = var->getDelta(kind);
  _ranges = var->getDeltaRanges(kind);
  _inRange = false;
}

bool QrcSetDeltaWalk::next(QrcInt& value) {
  if (!_var) return false;
  if (_singles) {
    value = _singles->value;
    _singles = _singles->next;
    return true;
  }
  if (_inRange) {
    if (_pos != _end && _var->getPossible()->nextInUniverse(_pos) && _pos <= _end) {
      value = _pos;
      return true;
    }
    _inRange = false;
  }
  if (!_ranges) return false;
  _pos = _ranges->value;
  _end = _ranges->next->value;
  _ranges = _ranges->next->next;
  _inRange = true;
  value = _pos;
  return true;
}

namespace {

// Null: code 39; not processing: code 43. Both through the reporter.
bool checkInProcess(const QrcIntSetVarI* var, const char* place) {
  if (!var) {
    QrcGetErrorReporter(nullptr)->report(QrcEmptyHandleError, "empty handle", place);
    return false;
  }
  if (!var->isProcessing()) {
    var->getErrorReporter()->report(QrcNotInProcessError, "variable not in process", place);
    return false;
  }
  return true;
}

// The variable; null stops with code 39.
QrcIntSetVarI* nonEmpty(QrcIntSetVarI* var, const char* place) {
  if (!var) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return var;
}

}  // namespace

QrcSetDeltaCursor::QrcSetDeltaCursor(QrcIntSetVarI* var, QrcInt kind, const char* place)
    : _current(0), _valid(false) {
  if (!checkInProcess(var, place)) return;
  _walk.start(var, kind);
  advance();
}

QrcIntSetVarDeltaIterator::QrcIntSetVarDeltaIterator(QrcIntSetVarI* var, QrcInt kind)
    : QrcSetDeltaCursor(nonEmpty(var, "QrcIntSetVarDeltaIterator"), kind,
                        "QrcIntSetVarDeltaIterator") {}

QrcSetDeltaReader::QrcSetDeltaReader(QrcIntSetVarI* var, QrcInt kind, const char* place) {
  if (checkInProcess(var, place)) _walk.start(var, kind);
}

QrcDeltaPossibleIterator::QrcDeltaPossibleIterator(QrcIntSetVarI* var)
    : QrcSetDeltaReader(var, 0, "QrcDeltaPossibleIterator") {}

QrcDeltaRequiredIterator::QrcDeltaRequiredIterator(QrcIntSetVarI* var)
    : QrcSetDeltaReader(var, 1, "QrcDeltaRequiredIterator") {}

QrcIntDeltaPossibleIterator::QrcIntDeltaPossibleIterator(QrcIntSetVarI* var)
    : QrcSetDeltaCursor(var, 0, "QrcIntDeltaPossibleIterator") {}

QrcIntDeltaRequiredIterator::QrcIntDeltaRequiredIterator(QrcIntSetVarI* var)
    : QrcSetDeltaCursor(var, 1, "QrcIntDeltaRequiredIterator") {}

// ---------------------------------------------------------------- goals

QrcInt QrcSelectFirstUnboundIntSetVar(const QrcIntSetVarArray& vars) {
  QrcIntSetVarArrayI* a = vars.getImpl();
  if (!a) return -1;
  for (QrcInt i = 0; i < a->getSize(); ++i) {
    QrcIntSetVarI* x = static_cast<QrcIntSetVarI*>(a->get(i));
    if (!x || !x->isBound()) return i;
  }
  return -1;
}

QrcGoalI* QrctIntSetVarAddValueI::execute() {
  _var->addRequired(_value);
  return nullptr;
}

void QrctIntSetVarAddValueI::display(std::ostream& os) const {
  os << "QrctIntSetVarAddValue";
}

QrcGoalI* QrctIntSetVarRemoveValueI::execute() {
  _var->removePossible(_value);
  return nullptr;
}

void QrctIntSetVarRemoveValueI::display(std::ostream& os) const {
  os << "QrctIntSetVarRemoveValue";
}

QrcGoalI* QrcIntSetVarInstantiateI::execute() {
  if (_var->isBound()) return nullptr;
  QrcManagerI* m = _manager;
  QrcInt v = 0;
  auto select = [&] { v = _selector->select(_var); };
  if (_selector)
    m->runForeign(select);
  else
    v = _var->getFirstUndecided();
  QrcGoal add(new (m) QrctIntSetVarAddValueI(m, _var, v));
  QrcGoal remove(new (m) QrctIntSetVarRemoveValueI(m, _var, v));
  // Both branches go on with this goal, so that the variable ends up bound
  // also when the goal is used on its own.
  return QrcOr(QrcAnd(add, QrcGoal(this)), QrcAnd(remove, QrcGoal(this))).getImpl();
}

void QrcIntSetVarInstantiateI::display(std::ostream& os) const {
  os << "QrcIntSetVarInstantiate";
}

QrcGoalI* QrcIntSetGenerateI::execute() {
  QrcManagerI* m = _manager;
  QrcInt i = -1;
  auto select = [&] { i = _select(QrcIntSetVarArray(_vars)); };
  if (_select == QrcSelectFirstUnboundIntSetVar)
    select();
  else
    m->runForeign(select);
  if (i < 0) return nullptr;
  if (i >= _vars->getSize() || !_vars->get(i))
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntSetGenerate");
  QrcIntSetVarI* x = static_cast<QrcIntSetVarI*>(_vars->get(i));
  return QrcAnd(QrcGoal(new (m) QrcIntSetVarInstantiateI(m, x, _valueSelector)), QrcGoal(this))
      .getImpl();
}

void QrcIntSetGenerateI::display(std::ostream& os) const {
  os << "QrcIntSetGenerate";
}

QrcGoal QrcIntSetGenerate(const QrcIntSetVarArray& vars, QrcIntSetSelector select) {
  QrcIntSetVarArrayI* a = vars.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntSetGenerate");
  if (!select) select = QrcSelectFirstUnboundIntSetVar;
  QrcManagerI* m = a->getManager();
  return QrcGoal(new (m) QrcIntSetGenerateI(m, a, select, nullptr));
}

QrcGoal QrcGenerate(const QrcIntSetVarArray& vars, QrcIntSetSelector select) {
  return QrcIntSetGenerate(vars, select);
}
