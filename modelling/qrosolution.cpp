#include "qrosolution.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "qroalgorithm.h"
#include "qrochange.h"
#include "qromodel.h"
#include "qroregistry.h"
#include "qrovar.h"

namespace {
const QroInt kInf = QroIntMax;
const double kInfD = static_cast<double>(QroIntMax);
}  // namespace

// ---------------------------------------------------------------------------
// Solution operations

QroSolutionOperationsI::~QroSolutionOperationsI() {}
QroDefaultSolutionOperationsI::~QroDefaultSolutionOperationsI() {}

QroSolutionOperationsI* QroDefaultSolutionOperationsI::makeClone(QroGenAlloc* a) const {
  return new (a) QroDefaultSolutionOperationsI(a, _typeIndex, _flags);
}

void QroDefaultSolutionOperationsI::store(QroAlgorithmI* algorithm,
                                          QroSolutionElementI* element) const {
  element->store(algorithm);
}

void QroDefaultSolutionOperationsI::restore(QroAlgorithmI* algorithm,
                                            QroSolutionElementI* element) const {
  element->restore(algorithm);
}

QroBool QroDefaultSolutionOperationsI::isFeasible(QroAlgorithmI* algorithm,
                                                  QroSolutionElementI* element) const {
  return element->isFeasible(algorithm);
}

// ---------------------------------------------------------------------------
// Solution manager

QroSolutionManagerI::QroSolutionManagerI(QroEnvI* env, QroAlgorithmI* algorithm)
    : QroPlugIn(env), _algorithm(algorithm), _table(nullptr), _capacity(0), _default(nullptr) {
  QroGenAlloc* a = env->getGeneralAllocator();
  _default = new (a) QroDefaultSolutionOperationsI(a, 0, 0);
}

QroSolutionManagerI::~QroSolutionManagerI() {
  for (QroInt i = 0; i < _capacity; ++i)
    if (_table[i] && _table[i] != _default) delete _table[i];
  delete _default;
  _default = nullptr;
  if (_table) _env->free(_table, static_cast<size_t>(_capacity) * sizeof(QroSolutionOperationsI*));
  _table = nullptr;
  _capacity = 0;
}

QroSolutionOperationsI* QroSolutionManagerI::getOperations(QroInt typeIndex) const {
  if (typeIndex < 0 || typeIndex >= _capacity || !_table[typeIndex]) return _default;
  return _table[typeIndex];
}

void QroSolutionManagerI::grow(QroInt typeIndex) {
  if (typeIndex + 1 <= _capacity) return;
  QroInt capacity = _capacity < 1 ? 1 : _capacity;
  while (capacity < typeIndex + 1) capacity *= 2;
  QroSolutionOperationsI** table = static_cast<QroSolutionOperationsI**>(
      _env->alloc(static_cast<size_t>(capacity) * sizeof(QroSolutionOperationsI*)));
  for (QroInt i = 0; i < capacity; ++i) table[i] = i < _capacity ? _table[i] : _default;
  if (_table) _env->free(_table, static_cast<size_t>(_capacity) * sizeof(QroSolutionOperationsI*));
  _table = table;
  _capacity = capacity;
}

void QroSolutionManagerI::setOperations(QroSolutionOperationsI* ops) {
  if (!ops) throw QroWrongUsage("QroSolutionManagerI::setOperations: no operations");
  QroInt k = ops->getTypeIndex();
  if (k < 0) throw QroWrongUsage("QroSolutionManagerI::setOperations: negative type index");
  grow(k);
  _table[k] = ops;
}

void QroSolutionManagerI::markAlwaysApplied(QroInt typeIndex) {
  if (typeIndex < 0) return;
  QroSolutionOperationsI* ops = getOperations(typeIndex);
  if (ops == _default) {
    // The default operations are shared by every index: the index gets its
    // own copy so that the flag marks that class alone.
    ops = new (_default->getAllocator())
        QroDefaultSolutionOperationsI(_default->getAllocator(), typeIndex, 0);
    try {
      setOperations(ops);
    } catch (...) {
      delete ops;
      throw;
    }
  }
  ops->setFlags(ops->getFlags() | QroSolutionOperationsI::AlwaysApplied);
}

QroSolutionManagerPlugIn::~QroSolutionManagerPlugIn() {
  delete _prototype;
  _prototype = nullptr;
}

void QroSolutionManagerPlugIn::attach(QroPlugIn* plugIn) {
  if (!plugIn || !plugIn->isType(QroSolutionManagerI::GetTypeInfo()) || !_prototype) return;
  QroSolutionOperationsI* ops = _prototype->makeClone(_env->getGeneralAllocator());
  try {
    static_cast<QroSolutionManagerI*>(plugIn)->setOperations(ops);
  } catch (...) {
    delete ops;
    throw;
  }
}

// ---------------------------------------------------------------------------
// Algorithm side

QroSolutionManagerI* QroAlgorithmI::initSolutionManager(const char* name) {
  if (_solutionManager) return _solutionManager;
  QroSolutionManagerI* m = new (_env) QroSolutionManagerI(_env, this);
  try {
    _env->getPlugInRegistry()->addPlugIn(m, name);
  } catch (...) {
    QroPlugInRegistry* r = _env->getPlugInRegistry();
    bool linked = false;
    for (QroPlugIn* p = r->getFirstPlugIn(name); p; p = p->getNext()) linked = linked || p == m;
    if (linked) {
      _solutionManager = m;
    } else {
      delete m;
    }
    throw;
  }
  _solutionManager = m;
  return m;
}

void QroAlgorithmI::endSolutionManager(const char* name) {
  QroSolutionManagerI* m = _solutionManager;
  if (!m) return;
  if (_env->isEnding()) {
    // The registry deletes it.
    m->setAlgorithm(nullptr);
    _solutionManager = nullptr;
    return;
  }
  QroPlugInRegistry* r = _env->getPlugInRegistry();
  bool linked = false;
  for (QroPlugIn* p = r->getFirstPlugIn(name); p; p = p->getNext()) linked = linked || p == m;
  if (!linked)
    throw QroWrongUsage("QroAlgorithmI::endSolutionManager: no solution manager under that name");
  _solutionManager = nullptr;
  r->removePlugIn(m, name);
  delete m;
}

// ---------------------------------------------------------------------------
// Saved records

QroSolution::Exception::~Exception() {}

QroSolutionElementI::~QroSolutionElementI() {}

void QroSolutionElementI::store(QroAlgorithmI*) {
  throw QroNotImplemented("QroSolutionElementI::store(QroAlgorithmI*) is not implemented");
}

void QroSolutionElementI::restore(QroAlgorithmI*) {
  throw QroNotImplemented("QroSolutionElementI::restore(QroAlgorithmI*) is not implemented");
}

QroBool QroSolutionElementI::isFeasible(QroAlgorithmI*) {
  throw QroNotImplemented("QroSolutionElementI::isFeasible(QroAlgorithmI*) is not implemented");
}

namespace {
// ceil (floor) of a bound of an integer variable, clamped to plus or minus
// (2^53 - 1).
QroInt integerBound(QroNum v, bool lower) {
  if (std::isnan(v)) throw QroWrongUsage("QroSolution::setDomain(min, max): bound is not a number");
  if (v < -kInfD) return -kInf;
  if (v > kInfD) return kInf;
  return static_cast<QroInt>(lower ? std::ceil(v) : std::floor(v));
}

bool withinTolerance(QroNum a, QroNum b, QroNum t) {
  if (a == b) return true;
  if (b == std::numeric_limits<double>::infinity()) return a >= DBL_MAX;
  if (a == -std::numeric_limits<double>::infinity()) return b <= -DBL_MAX;
  QroNum d = std::fabs(b - a);
  QroNum m = std::min(std::fabs(a), std::fabs(b));
  return d <= t * m || (m < 1 && d <= t);
}

QroNum finiteBound(QroNum v) {
  if (v == std::numeric_limits<double>::infinity()) return DBL_MAX;
  if (v == -std::numeric_limits<double>::infinity()) return -DBL_MAX;
  return v;
}
}  // namespace

QroSavedNumVarI::QroSavedNumVarI(QroGenAlloc* a, QroNumVarI* var)
    : QroSolutionElementI(a, var), _numSet(nullptr), _intSet(nullptr) {
  if (!var) throw QroEmptyHandleException("Using empty QroNumVar handle.");
  if (isFloat()) {
    _lb.d = var->getLB();
    _ub.d = var->getUB();
  } else {
    _lb.i = integerBound(var->getLB(), true);
    _ub.i = integerBound(var->getUB(), false);
  }
}

QroSavedNumVarI::~QroSavedNumVarI() {
  dropValueSets();
}

QroInt QroSavedNumVarI::getOperationsIndex() const {
  return QroNumVarI::GetTypeIndex();
}

QroNumVarI* QroSavedNumVarI::getVar() const {
  return static_cast<QroNumVarI*>(_x);
}

int QroSavedNumVarI::getType() const {
  return getVar()->getType();
}

bool QroSavedNumVarI::isFloat() const {
  return getType() == QroNumVar::Float;
}

void QroSavedNumVarI::dropValueSets() {
  delete _numSet;
  _numSet = nullptr;
  delete _intSet;
  _intSet = nullptr;
}

QroHashSavedIntDomainI* QroSavedNumVarI::getIntDomain() {
  if (!_intSet) _intSet = new (_allocator) QroHashSavedIntDomainI(_allocator);
  return _intSet;
}

QroSavedNumDomainI* QroSavedNumVarI::getNumDomain() {
  if (!_numSet) _numSet = new (_allocator) QroSavedNumDomainI(_allocator);
  return _numSet;
}

QroNum QroSavedNumVarI::getMin() const {
  return isFloat() ? _lb.d : static_cast<QroNum>(_lb.i);
}

QroNum QroSavedNumVarI::getMax() const {
  return isFloat() ? _ub.d : static_cast<QroNum>(_ub.i);
}

QroInt QroSavedNumVarI::getSize() const {
  if (_intSet) return _intSet->getSize();
  if (isFloat()) return _numSet ? _numSet->getSize() : 0;
  if (_ub.i < _lb.i) return 0;
  QroInt d = 0;
  if (__builtin_sub_overflow(_ub.i, _lb.i, &d) || d >= kInf) return kInf;
  return d + 1;
}

QroBool QroSavedNumVarI::isBound() const {
  if (!_intSet) return _lb.i == _ub.i;
  return _intSet->getSize() == 1;
}

QroBool QroSavedNumVarI::isBound(QroNum tolerance) const {
  if (isFloat() && !_intSet) {
    if (_numSet) return _numSet->getSize() == 1;
    return withinTolerance(_lb.d, _ub.d, tolerance);
  }
  return isBound();
}

QroNum QroSavedNumVarI::getValue(QroNum tolerance) const {
  if (!(isFloat() && !_intSet)) return static_cast<QroNum>(QroSolution::getValue(this));
  if (_lb.d == _ub.d) return _lb.d;
  if (_numSet && _numSet->getSize() != 1)
    throw QroSolution::Exception("QroSavedNumVarI::getValue - saved domain not bound");
  if (!withinTolerance(_lb.d, _ub.d, tolerance))
    throw QroSolution::Exception("QroSavedNumVarI::getValue - saved domain not bound");
  QroNum a = finiteBound(_lb.d), b = finiteBound(_ub.d);
  QroNum mid = (a + b) * 0.5;
  // Near the largest doubles the sum overflows: halve first.
  if (std::isinf(mid)) mid = a * 0.5 + b * 0.5;
  return mid;
}

QroInt QroSavedNumVarI::getIntValue() const {
  return QroSolution::getValue(this);
}

QroBool QroSavedNumVarI::isInDomain(QroNum value) const {
  if (isFloat() && !_intSet) {
    if (_numSet) return _numSet->contains(value);
    return _lb.d <= value && value <= _ub.d;
  }
  if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0)) return 0;
  QroInt i = static_cast<QroInt>(value);
  if (_intSet) return _intSet->contains(i);
  return _lb.i <= i && i <= _ub.i;
}

void QroSavedNumVarI::setDomain(QroNum min, QroNum max) {
  QroSolution::setDomain(this, min, max);
}

void QroSavedNumVarI::setValue(QroInt value) {
  dropValueSets();
  QroVarDomainI* d = getVar()->getDomain();
  if (d && d->isAny()) {
    getIntDomain()->add(value);
  } else if (isFloat()) {
    _lb.d = _ub.d = static_cast<QroNum>(value);
  } else {
    _lb.i = _ub.i = value;
  }
}

void QroSavedNumVarI::setValue(QroNum value) {
  dropValueSets();
  if (isFloat()) {
    _lb.d = _ub.d = value;
    return;
  }
  if (std::isnan(value)) throw QroWrongUsage("QroSavedNumVarI::setValue: value is not a number");
  QroNum t = std::trunc(value);
  setValue(t < -kInfD ? -kInf : t > kInfD ? kInf : static_cast<QroInt>(t));
}

QroInt QroSolution::getValue(const QroSavedNumVarI* saved) {
  if (saved->_intSet) {
    if (saved->_intSet->getSize() != 1)
      throw Exception("QroSolution::getValue - saved domain not bound");
    return saved->_intSet->getMin();
  }
  if (!saved->isFloat()) {
    if (saved->_lb.i != saved->_ub.i)
      throw Exception("QroSolution::getValue - saved domain not bound");
    return saved->_lb.i;
  }
  if (saved->_lb.d != saved->_ub.d)
    throw Exception("QroSolution::getValue - saved domain not bound");
  QroNum v = std::trunc(saved->_lb.d);
  if (!(v >= -kInfD && v <= kInfD))
    throw QroWrongUsage("overflow occurred during the computation of the variable value");
  return static_cast<QroInt>(v);
}

void QroSolution::setDomain(QroSavedNumVarI* saved, QroNum min, QroNum max) {
  QroVarDomainI* d = saved->getVar()->getDomain();
  if (d && d->isAny()) throw Exception("QroSolution::setDomain(min, max) forbidden for QroAnyVar");
  if (saved->isFloat()) {
    saved->dropValueSets();
    saved->_lb.d = min;
    saved->_ub.d = max;
    return;
  }
  QroInt lb = integerBound(min, true);
  QroInt ub = integerBound(max, false);
  saved->dropValueSets();
  saved->_lb.i = lb;
  saved->_ub.i = ub;
}

QroSavedIntSetVarI::~QroSavedIntSetVarI() {
  delete _possible;
  _possible = nullptr;
  delete _required;
  _required = nullptr;
}

QroInt QroSavedIntSetVarI::getOperationsIndex() const {
  return QroIntSetVarI::GetTypeIndex();
}

QroSavedIntDomainI* QroSavedIntSetVarI::getPossibleSet() {
  if (!_possible) _possible = new (_allocator) QroHashSavedIntDomainI(_allocator);
  return _possible;
}

QroSavedIntDomainI* QroSavedIntSetVarI::getRequiredSet() {
  if (!_required) _required = new (_allocator) QroHashSavedIntDomainI(_allocator);
  return _required;
}

QroSavedObjective::QroSavedObjective(QroGenAlloc* a, QroObjectiveI* objective, QroInt criteria)
    : QroSolutionElementI(a, objective), _criteria(criteria), _value(nullptr) {
  _value = static_cast<QroNum*>(a->alloc(sizeof(QroNum)));
  *_value = 0;
}

QroSavedObjective::~QroSavedObjective() {
  _allocator->free(_value, sizeof(QroNum));
  _value = nullptr;
}

QroInt QroSavedObjective::getOperationsIndex() const {
  return QroObjectiveI::GetTypeIndex();
}

QroObjectiveI* QroSavedObjective::getObjective() const {
  return static_cast<QroObjectiveI*>(_x);
}

void QroSavedObjective::setValue(QroNum value) {
  if (_criteria >= 2) throw QroNotAllowedWithMultiCriterionException("QroSavedObjective::setValue");
  *_value = value;
}

// ---------------------------------------------------------------------------
// Solution container

namespace {
const char* const kAddMixing = "QroSolution::add: mixing mismatch environments";
}

QroSolutionI::QroSolutionI(QroEnvI* env)
    : QroEnvObjectI(env), _elements(env->getGeneralAllocator()), _index(nullptr), _watch(this) {
  QroGenAlloc* a = env->getGeneralAllocator();
  _index = new (a) QroAddressHashTable<QroSolutionElementI*>(a);
  try {
    env->getPlugInRegistry()->addListener(&_watch);
  } catch (...) {
    delete _index;
    _elements.release();
    throw;
  }
}

QroSolutionI::~QroSolutionI() {
  if (QroPlugInRegistry* registry = _env->getPlugInRegistry()) registry->removeListener(&_watch);
  for (QroInt i = 0; i < _elements.getSize(); ++i) delete _elements[i];
  _elements.release();
  delete _index;
  _index = nullptr;
}

void QroSolutionI::EndWatch::change(QroChange* change, QroExtractableI*) {
  if (change->isType(QroDestroyExtractableArray::GetTypeInfo()))
    _solution->drop(change->getChangedExtractableArray());
  else if (change->isType(QroDestroyExtractable::GetTypeInfo()))
    _solution->drop(change->getChangedExtractable());
}

QroBool QroSolutionI::unindex(QroExtractableI* x) {
  return x && _index->remove(x) ? 1 : 0;
}

// Deletes the records that lost their index entry; the others move up.
void QroSolutionI::compact() {
  QroInt kept = 0;
  for (QroInt i = 0; i < _elements.getSize(); ++i) {
    QroSolutionElementI* e = _elements[i];
    if (find(e->getExtractable()) == e)
      _elements[kept++] = e;
    else
      delete e;
  }
  _elements.truncate(kept);
}

void QroSolutionI::drop(const QroExtractableArray& ended) {
  if (!ended.getImpl() || _elements.getSize() == 0) return;
  QroBool dropped = 0;
  for (QroInt i = 0; i < ended.getSize(); ++i)
    if (unindex(ended[i])) dropped = 1;
  if (dropped) compact();
}

void QroSolutionI::drop(QroExtractableI* ended) {
  if (unindex(ended)) compact();
}

QroSolutionElementI* QroSolutionI::find(const QroExtractableI* x) const {
  QroSolutionElementI* e = nullptr;
  if (!x || _index->find(const_cast<QroExtractableI*>(x), e) != 0) return nullptr;
  return e;
}

void QroSolutionI::append(QroSolutionElementI* element) {
  void* key = element->getExtractable();
  try {
    _index->add(key, element);
    try {
      _elements.add(element);
    } catch (...) {
      _index->remove(key);
      throw;
    }
  } catch (...) {
    delete element;
    throw;
  }
}

void QroSolutionI::add(QroNumVarI* var) {
  if (!var) throw QroEmptyHandleException("QroSolution::add: empty variable handle");
  QroCheckSameEnv(_env, var, kAddMixing);
  if (find(var)) return;
  QroGenAlloc* a = _env->getGeneralAllocator();
  append(new (a) QroSavedNumVarI(a, var));
}

void QroSolutionI::add(QroObjectiveI* objective) {
  if (!objective) throw QroEmptyHandleException("QroSolution::add: empty objective handle");
  QroCheckSameEnv(_env, objective, kAddMixing);
  if (find(objective)) return;
  QroGenAlloc* a = _env->getGeneralAllocator();
  append(new (a) QroSavedObjective(a, objective));
}

void QroSolutionI::add(QroIntSetVarI* var) {
  if (!var) throw QroEmptyHandleException("QroSolution::add: empty variable handle");
  QroCheckSameEnv(_env, var, kAddMixing);
  if (find(var)) return;
  QroGenAlloc* a = _env->getGeneralAllocator();
  append(new (a) QroSavedIntSetVarI(a, var));
}

namespace {
// The operations of an element: those the algorithm's solution manager holds
// for its kind, or null for the element's own.
const QroSolutionOperationsI* operationsOf(QroAlgorithmI* algorithm, const QroSolutionElementI* e) {
  QroSolutionManagerI* m = algorithm->getSolutionManager();
  return m ? m->getOperations(e->getOperationsIndex()) : nullptr;
}

const char* const kSolutionMixing = "QroSolution: mixing mismatch environments";

QroAlgorithmI* checkedAlgorithm(const QroSolutionI* s, QroAlgorithmI* algorithm) {
  if (!algorithm) throw QroEmptyHandleException("QroSolution: empty algorithm handle");
  if (algorithm->getEnv() != s->getEnv()) QroThrowEnvMismatch(kSolutionMixing);
  return algorithm;
}
}  // namespace

void QroSolutionI::store(QroAlgorithmI* algorithm) const {
  checkedAlgorithm(this, algorithm);
  for (QroInt i = 0; i < _elements.getSize(); ++i) {
    QroSolutionElementI* e = _elements[i];
    if (const QroSolutionOperationsI* ops = operationsOf(algorithm, e))
      ops->store(algorithm, e);
    else
      e->store(algorithm);
  }
}

void QroSolutionI::restore(QroAlgorithmI* algorithm) const {
  checkedAlgorithm(this, algorithm);
  for (QroInt i = 0; i < _elements.getSize(); ++i) {
    QroSolutionElementI* e = _elements[i];
    if (const QroSolutionOperationsI* ops = operationsOf(algorithm, e))
      ops->restore(algorithm, e);
    else
      e->restore(algorithm);
  }
}

QroBool QroSolutionI::isFeasible(QroAlgorithmI* algorithm) const {
  checkedAlgorithm(this, algorithm);
  for (QroInt i = 0; i < _elements.getSize(); ++i) {
    QroSolutionElementI* e = _elements[i];
    const QroSolutionOperationsI* ops = operationsOf(algorithm, e);
    if (!(ops ? ops->isFeasible(algorithm, e) : e->isFeasible(algorithm))) return 0;
  }
  return 1;
}

QroSavedNumVarI* QroSolutionI::getNumVarRecord(const QroNumVarI* var) const {
  QroSolutionElementI* e = find(var);
  if (!e || e->getOperationsIndex() != QroNumVarI::GetTypeIndex())
    throw QroSolution::Exception("QroSolution: the variable is not in the solution");
  return static_cast<QroSavedNumVarI*>(e);
}

QroSavedIntSetVarI* QroSolutionI::getIntSetVarRecord(const QroIntSetVarI* var) const {
  QroSolutionElementI* e = find(var);
  if (!e || e->getOperationsIndex() != QroIntSetVarI::GetTypeIndex())
    throw QroSolution::Exception("QroSolution: the variable is not in the solution");
  return static_cast<QroSavedIntSetVarI*>(e);
}

QroNum QroSolutionI::getObjValue(const QroObjectiveI* objective) const {
  QroInt index = QroObjectiveI::GetTypeIndex();
  if (objective) {
    QroSolutionElementI* e = find(objective);
    if (e && e->getOperationsIndex() == index)
      return static_cast<QroSavedObjective*>(e)->getValue();
  } else {
    for (QroInt i = 0; i < _elements.getSize(); ++i)
      if (_elements[i]->getOperationsIndex() == index)
        return static_cast<QroSavedObjective*>(_elements[i])->getValue();
  }
  throw QroSolution::Exception("QroSolution: the objective is not in the solution");
}

// ---------------------------------------------------------------------------
// Handle

QroSolution::QroSolution(const QroEnv& env) : _impl(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) throw QroEmptyHandleException("QroSolution: empty environment handle");
  _impl = new (e) QroSolutionI(e);
}

QroSolutionI* QroSolution::check() const {
  if (!_impl) QroAbortEmptyHandle("Using empty QroSolution handle");
  return _impl;
}

void QroSolution::end() {
  delete _impl;
  _impl = nullptr;
}

void QroSolution::add(const QroNumVar& var) const {
  check()->add(var.getImpl());
}

void QroSolution::add(const QroNumVarArray& vars) const {
  QroSolutionI* s = check();
  if (!vars.getImpl()) throw QroEmptyHandleException("QroSolution::add: empty array handle");
  for (QroInt i = 0; i < vars.getSize(); ++i) s->add(vars[i].getImpl());
}

void QroSolution::add(const QroObjective& objective) const {
  check()->add(objective.getImpl());
}

void QroSolution::add(QroIntSetVarI* var) const {
  check()->add(var);
}

QroBool QroSolution::contains(const QroExtractable& x) const {
  return check()->find(x.getImpl()) ? 1 : 0;
}

void QroSolution::store(const QroAlgorithm& algorithm) const {
  check()->store(algorithm.getImpl());
}

void QroSolution::restore(const QroAlgorithm& algorithm) const {
  check()->restore(algorithm.getImpl());
}

QroBool QroSolution::isFeasible(const QroAlgorithm& algorithm) const {
  return check()->isFeasible(algorithm.getImpl());
}

QroNum QroSolution::getValue(const QroNumVar& var, QroNum tolerance) const {
  return check()->getNumVarRecord(var.getImpl())->getValue(tolerance);
}

QroNum QroSolution::getMin(const QroNumVar& var) const {
  return check()->getNumVarRecord(var.getImpl())->getMin();
}

QroNum QroSolution::getMax(const QroNumVar& var) const {
  return check()->getNumVarRecord(var.getImpl())->getMax();
}

QroNum QroSolution::getObjValue() const {
  return check()->getObjValue(nullptr);
}

QroNum QroSolution::getValue(const QroObjective& objective) const {
  if (!objective.getImpl()) throw QroEmptyHandleException("QroSolution: empty objective handle");
  return check()->getObjValue(objective.getImpl());
}
