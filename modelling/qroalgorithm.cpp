#include "qroalgorithm.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "qroevaluator.h"
#include "qrolinear.h"
#include "qromodel.h"
#include "qronumeric.h"
#include "qroregistry.h"
#include "qrosolution.h"

// ---------------------------------------------------------------------------
// Exceptions

QroAlgorithm::Exception::~Exception() {}
QroAlgorithm::CannotExtractException::~CannotExtractException() {}
QroAlgorithm::CannotRemoveException::~CannotRemoveException() {}
QroAlgorithm::CannotChangeException::~CannotChangeException() {}
QroAlgorithm::NoObjectiveException::~NoObjectiveException() {}
QroAlgorithm::NotExtractedException::~NotExtractedException() {}
QroAlgorithm::ExtractFailure::~ExtractFailure() {}
QroAlgorithm::RemoveFailure::~RemoveFailure() {}

QroAlgorithm::ListException::ListException(const char* message, const QroAlgorithmI* a)
    : Exception(message), _algorithm(a), _array() {
  if (a) _array = QroExtractableArray(QroEnv(a->getEnv()), 0);
}

// The array is shared by the copies a throw makes; it lives in the
// algorithm's environment and goes with it.
QroAlgorithm::ListException::ListException(const ListException& other)
    : Exception(other), _algorithm(other._algorithm), _array(other._array) {}

QroAlgorithm::ListException::~ListException() {}

void QroAlgorithm::ListException::printList(std::ostream& os) const {
  QroInt n = _array.getImpl() ? _array.getSize() : 0;
  if (n == 0) return;
  if (n == 1) {
    os << " extractable " << _array[0]->getId();
    return;
  }
  os << " extractables ";
  for (QroInt i = 0; i < n - 2; ++i) os << _array[i]->getId() << ", ";
  os << _array[n - 2]->getId() << " and " << _array[n - 1]->getId();
}

void QroAlgorithm::CannotExtractException::print(std::ostream& os) const {
  os << "QroAlgorithm cannot extract";
  printList(os);
}

void QroAlgorithm::CannotRemoveException::print(std::ostream& os) const {
  os << "QroAlgorithm " << static_cast<const void*>(_algorithm) << " cannot remove";
  printList(os);
}

void QroAlgorithm::CannotChangeException::print(std::ostream& os) const {
  os << "QroAlgorithm " << static_cast<const void*>(_algorithm) << " cannot change";
  printList(os);
}

void QroAlgorithm::NoObjectiveException::print(std::ostream& os) const {
  os << " No Objective has been extracted by QroAlgorithm " << static_cast<const void*>(_algorithm);
}

void QroAlgorithm::NotExtractedException::print(std::ostream& os) const {
  os << "QroExtractable " << (_x ? _x->getId() : -1) << " " << (_x ? _x->getClassName() : "")
     << " has not been extracted by QroAlgorithm " << static_cast<const void*>(_algorithm);
}

// ---------------------------------------------------------------------------
// Algorithm base

namespace {
const QroInt kInitialCapacity = 1024;

template <class T>
T* zeroedTable(QroInt n) {
  T* t = static_cast<T*>(std::calloc(static_cast<size_t>(n), sizeof(T)));
  if (!t) throw QroMemoryException();
  return t;
}
}  // namespace

QroAlgorithmI::QroAlgorithmI(QroEnvI* env)
    : _env(env),
      _model(nullptr),
      _next(nullptr),
      _timer(env->getGeneralAllocator()),
      _out(&env->out()),
      _warning(&env->warning()),
      _error(&env->error()),
      _objects(nullptr),
      _counts(nullptr),
      _capacity(0),
      _cannotRemove(),
      _cannotExtract(),
      _inSearch(0),
      _solutionManager(nullptr),
      _evaluator(nullptr),
      _idTable(nullptr) {
  _objects = zeroedTable<void*>(kInitialCapacity);
  try {
    _counts = zeroedTable<QroInt>(kInitialCapacity);
    _capacity = kInitialCapacity;
    _cannotRemove = QroExtractableArray(QroEnv(env), 0);
    _cannotExtract = QroExtractableArray(QroEnv(env), 0);
  } catch (...) {
    std::free(_objects);
    std::free(_counts);
    _cannotRemove.end();
    throw;
  }
  env->addAlgorithm(this);
  _timer.read();
}

QroAlgorithmI::~QroAlgorithmI() {
  QroEnvI* env = _env;
  env->removeAlgorithm(this);
  // A manager still registered stays with the registry; it must not reach
  // back to this algorithm.
  if (_solutionManager) _solutionManager->setAlgorithm(nullptr);
  _solutionManager = nullptr;
  QroModelEvaluatorI* evaluator = _evaluator;
  _evaluator = nullptr;
  if (evaluator && evaluator != static_cast<QroAlgorithmI*>(this)) {
    // The evaluator must not reach back to this algorithm.
    if (evaluator->getOwner() == this) evaluator->setOwner(nullptr);
    if (!env->isEnding()) delete evaluator;
  }
  if (!env->isEnding()) clear();
  std::free(_objects);
  std::free(_counts);
  _objects = nullptr;
  _counts = nullptr;
  _capacity = 0;
  if (!env->isEnding()) {
    _cannotRemove.end();
    _cannotExtract.end();
  }
  qroobject::stashOwner(env);
}

void QroAlgorithmI::restartTime() {
  _timer.restart();
}
double QroAlgorithmI::getTime() {
  return _timer.read();
}
void QroAlgorithmI::printTime() {
  out() << "Elapsed time since last reset : " << getTime() << std::endl;
}
void QroAlgorithmI::clearTime() {
  _timer.clear();
}

void QroAlgorithmI::growTables(QroInt id) {
  if (id < _capacity) return;
  QroInt capacity = _capacity > 0 ? _capacity : kInitialCapacity;
  while (capacity <= id) capacity *= 2;
  void** objects = zeroedTable<void*>(capacity);
  QroInt* counts = static_cast<QroInt*>(std::calloc(static_cast<size_t>(capacity), sizeof(QroInt)));
  if (!counts) {
    std::free(objects);
    throw QroMemoryException();
  }
  if (_capacity > 0) {
    std::memcpy(objects, _objects, static_cast<size_t>(_capacity) * sizeof(void*));
    std::memcpy(counts, _counts, static_cast<size_t>(_capacity) * sizeof(QroInt));
  }
  std::free(_objects);
  std::free(_counts);
  _objects = objects;
  _counts = counts;
  _capacity = capacity;
}

void QroAlgorithmI::syncIdTables() {
  QroInt count = _env->getIdCount();
  if (count > 0) growTables(count - 1);
}

void QroAlgorithmI::setObject(QroInt id, void* object) {
  growTables(id);
  _objects[id] = object;
}

QroAlgorithmIdTableI::~QroAlgorithmIdTableI() {}

QroBool QroAlgorithmI::isUsing(QroInt id) const {
  if (_idTable) return _idTable->isExtracted(id);
  return id >= 0 && id < _capacity && _counts[id] > 0;
}

bool QroAlgorithmI::usesAny(const QroExtractableArray& array) const {
  if (!array.getImpl()) return false;
  for (QroInt i = 0; i < array.getSize(); ++i)
    if (array[i] && isUsing(array[i]->getId())) return true;
  return false;
}

void* QroAlgorithmI::extract(QroExtractableI* x) {
  // An identifier of another environment would name an object of this one.
  QroCheckSameEnv(_env, x, "QroAlgorithm::extract: mixing mismatch environments");
  QroInt id = x->getId();
  if (id < 0) throw QroWrongUsage("cannot extract an extractable that has been ended");
  if (_idTable) return extractWithIdTable(x, id);
  growTables(id);
  if (++_counts[id] == 1) {
    void* result = nullptr;
    QroBool ok = 0;
    try {
      ok = extractOne(x, &result);
    } catch (...) {
      // An extraction left by an exception leaves x not extracted.
      --_counts[id];
      throw;
    }
    if (!ok) {
      --_counts[id];
      _cannotExtract.add(x);
      throw QroAlgorithm::ExtractFailure(x->getClassName());
    }
    _objects[id] = result;
  }
  return _objects[id];
}

void* QroAlgorithmI::extractWithIdTable(QroExtractableI* x, QroInt id) {
  QroAlgorithmIdTableI* table = _idTable;
  void* object = nullptr;
  if (x->isGround()) {
    growTables(id);
    if (++_counts[id] > 1) {
      object = _objects[id];
    } else {
      // The object of a ground extractable goes to the algorithm's own table.
      _idTable = nullptr;
      QroBool ok = 0;
      try {
        ok = extractOne(x, &object);
      } catch (...) {
        _idTable = table;
        throw;
      }
      _idTable = table;
      if (!ok) {
        --_counts[id];
        _cannotExtract.add(x);
        throw QroAlgorithm::ExtractFailure(x->getClassName());
      }
      _objects[id] = object;
    }
  } else if (table->isExtracted(id)) {
    object = table->getObject(id);
  } else if (!extractOne(x, &object)) {
    _cannotExtract.add(x);
    throw QroAlgorithm::ExtractFailure(x->getClassName());
  }
  table->recordExtraction(id, object);
  return table->getObject(id);
}

void QroAlgorithmI::extract(const QroExtractableArray& array) {
  if (!array.getImpl()) return;
  for (QroInt i = 0; i < array.getSize(); ++i) extract(array[i]);
}

void QroAlgorithmI::remove(QroExtractableI* x) {
  QroInt id = x->getId();
  if (id < 0 || id >= _capacity || _counts[id] <= 0) return;
  if (--_counts[id] > 0) return;
  if (!removeOne(x, _objects[id])) {
    _counts[id] = 1;
    _cannotRemove.add(x);
    throw QroAlgorithm::RemoveFailure();
  }
  _objects[id] = nullptr;
  _counts[id] = 0;
}

void QroAlgorithmI::remove(const QroExtractableArray& array) {
  if (!array.getImpl()) return;
  for (QroInt i = 0; i < array.getSize(); ++i) remove(array[i]);
}

void QroAlgorithmI::unuse(QroExtractableI* x) {
  QroInt id = x->getId();
  if (id >= 0 && id < _capacity && _counts[id] > 0) --_counts[id];
}

void QroAlgorithmI::raiseCannotExtract() {
  QroAlgorithm::CannotExtractException e(this);
  for (QroInt i = 0; i < _cannotExtract.getSize(); ++i) e.add(_cannotExtract[i]);
  clear();
  throw e;
}

void QroAlgorithmI::raiseCannotRemove() {
  QroAlgorithm::CannotRemoveException e(this);
  for (QroInt i = 0; i < _cannotRemove.getSize(); ++i) e.add(_cannotRemove[i]);
  clear();
  throw e;
}

template <class F>
void QroAlgorithmI::collectFailures(F f, bool removeToo) {
  bool extractFailed = false, removeFailed = false;
  try {
    f();
  } catch (const QroAlgorithm::ExtractFailure&) {
    extractFailed = true;
  } catch (const QroAlgorithm::RemoveFailure&) {
    if (!removeToo) throw;
    removeFailed = true;
  }
  if (extractFailed) raiseCannotExtract();
  if (removeFailed) raiseCannotRemove();
}

void QroAlgorithmI::extractAsModel(QroExtractableI* x) {
  if (x) {
    _model = x;
    syncIdTables();
    collectFailures([&] { extract(x); }, false);
  }
}

void QroAlgorithmI::clear() {
  if (_evaluator && _evaluator != static_cast<QroAlgorithmI*>(this)) _evaluator->clear();
  if (_cannotRemove.getImpl()) _cannotRemove.getImpl()->setSize(0);
  if (_cannotExtract.getImpl()) _cannotExtract.getImpl()->setSize(0);
  if (_capacity > 0) {
    std::memset(static_cast<void*>(_objects), 0, static_cast<size_t>(_capacity) * sizeof(void*));
    std::memset(_counts, 0, static_cast<size_t>(_capacity) * sizeof(QroInt));
  }
  _model = nullptr;
}

QroBool QroAlgorithmI::changeExtractable(QroChange* change, QroExtractableI* x) {
  QroInt id = x->getId();
  if (id < 0) return 0;
  growTables(id);
  if (!isUsing(id)) return 0;
  forgetEndedModel(change);
  void* object = getObject(id);
  QroBool ok = 0;
  try {
    collectFailures([&] { ok = applyChange(change, &object, x); }, true);
  } catch (...) {
    forgetEnded(change);
    throw;
  }
  if (ok) {
    if (_idTable)
      _idTable->recordExtraction(id, object);
    else
      _objects[id] = object;
  }
  forgetEnded(change);
  if (!ok) {
    QroAlgorithm::CannotChangeException e(this);
    e.add(x);
    throw e;
  }
  return 1;
}

namespace {
// Calls f with each extractable that the change destroys.
template <class F>
void forEachDestroyed(QroChange* change, F f) {
  if (change->isType(QroDestroyExtractable::GetTypeInfo())) {
    f(change->getChangedExtractable());
    return;
  }
  if (!change->isType(QroDestroyExtractableArray::GetTypeInfo())) return;
  QroExtractableArray ended = change->getChangedExtractableArray();
  for (QroInt i = 0; ended.getImpl() && i < ended.getSize(); ++i) f(ended[i]);
}
}  // namespace

void QroAlgorithmI::forgetEndedModel(QroChange* change) {
  if (!_model) return;
  forEachDestroyed(change, [&](QroExtractableI* x) {
    if (x == _model) _model = nullptr;
  });
}

void QroAlgorithmI::forgetEnded(QroChange* change) {
  forEachDestroyed(change, [&](QroExtractableI* x) {
    QroInt id = x ? x->getId() : -1;
    if (id < 0 || id >= _capacity) return;
    _counts[id] = 0;
    _objects[id] = nullptr;
  });
}

void QroAlgorithmI::checkChange(QroChange* change, QroExtractableI* x) {
  if (!_inSearch) return;
  if (x) {
    if (isUsing(x->getId())) throw QroNoChangeDuringSearchException();
    return;
  }
  if (!change->isType(QroRemoveFromAllChange::GetTypeInfo()) &&
      !change->isType(QroDestroyExtractableArray::GetTypeInfo()))
    throw QroNoChangeDuringSearchException();
  if (usesAny(change->getChangedExtractableArray())) throw QroNoChangeDuringSearchException();
}

QroBool QroAlgorithmI::change(QroChange* change) {
  syncIdTables();
  // During a search the change was allowed when asked: the base allows only
  // the ending of what the search does not use, which leaves nothing to apply.
  if (_inSearch) return 0;
  forgetEndedModel(change);
  if (change->needsUseFilter() && !usesAny(change->getChangedExtractableArray())) return 0;
  void* object = nullptr;
  QroBool ok = 0;
  try {
    collectFailures([&] { ok = applyChange(change, &object, nullptr); }, true);
  } catch (...) {
    forgetEnded(change);
    throw;
  }
  forgetEnded(change);
  if (!ok) throw QroAlgorithm::CannotChangeException(this);
  return 1;
}

QroNum QroAlgorithmI::getValue(QroConstraintI*) {
  throw QroNotImplemented("QroAlgorithm::getValue(QroConstraint) is not implemented");
}

void QroAlgorithmI::evaluateForall() {
  throw QroAlgorithm::Exception("Cannot evaluate forall on dynamic sets.");
}

namespace {
// Refuses direct sub-extractables of another environment.
class CheckEnvVisitor : public QroExtractableVisitor {
 public:
  explicit CheckEnvVisitor(QroEnvI* env) : _env(env) {}
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (child && child->getEnv() != _env) throw QroWrongUsage("mixing mismatch environments");
  }

 private:
  QroEnvI* _env;
};

// Normalises the direct sub-extractables that are linear terms.
class FindLinTermVisitor : public QroExtractableVisitor {
 public:
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (!child) return;
    if (child->getTypeInfo() == QroNumLinTermI::GetTypeInfo()) {
      QroNumLinTermI* t = static_cast<QroNumLinTermI*>(child);
      if (t->getQuadPart()) t->getQuadPart()->normalize();
      t->normalize();
    } else if (child->getTypeInfo() == QroIntLinTermI::GetTypeInfo()) {
      QroIntLinTermI* t = static_cast<QroIntLinTermI*>(child);
      if (t->getQuadPart()) t->getQuadPart()->normalize();
    }
  }
};
}  // namespace

void QroAlgorithmI::extract(QroModelI* m) {
  clear();
  if (m) {
    CheckEnvVisitor check(m->getEnv());
    m->visitSubExtractables(&check);
    FindLinTermVisitor lin;
    m->visitSubExtractables(&lin);
    _model = m;
    syncIdTables();
    collectFailures([&] { extract(static_cast<QroExtractableI*>(m)); }, false);
  }
  if (_evaluator && _evaluator != static_cast<QroAlgorithmI*>(this)) _evaluator->clear();
}

QroInt QroAlgorithmI::getIntValue(QroNumVarI* v) {
  QroNum r = QroRoundHalfAway(getValue(v));
  if (!QroIsWithinInt53(r))
    throw QroWrongUsage("overflow occurred during the computation of the variable value");
  return static_cast<QroInt>(r);
}

void QroAlgorithmI::getValues(const QroNumVarArray& vars, QroNumArray& values) {
  if (!values.getImpl()) values = QroNumArray(QroEnv(_env), 0);
  values.getImpl()->setSize(0);
  if (!vars.getImpl()) return;
  for (QroInt i = 0; i < vars.getSize(); ++i) values.add(getValue(vars[i].getImpl()));
}

void QroAlgorithmI::getValues2(const QroIntVarArray& vars, QroNumArray& values) {
  if (!values.getImpl()) values = QroNumArray(QroEnv(_env), 0);
  values.getImpl()->setSize(0);
  if (!vars.getImpl()) return;
  for (QroInt i = 0; i < vars.getSize(); ++i) values.add(getValue(vars[i].getImpl()));
}

void QroAlgorithmI::getValues3(const QroNumVarArray& vars, QroIntArray& values) {
  if (!values.getImpl()) values = QroIntArray(QroEnv(_env), 0);
  values.getImpl()->setSize(0);
  if (!vars.getImpl()) return;
  for (QroInt i = 0; i < vars.getSize(); ++i) values.add(getIntValue(vars[i].getImpl()));
}

QroNum QroAlgorithmI::getValue(QroNumExprI* e) {
  return e->eval(this);
}

QroModelEvaluatorI* QroAlgorithmI::getModelEvaluator() {
  if (!_evaluator) {
    QroAlgorithmFactory factory = _env->getModelEvaluatorFactory();
    if (!factory) return nullptr;
    QroLocalEnvI* local = _env->getLocalEnv();
    _env->setLocalEnv(nullptr);
    QroAlgorithmI* made = nullptr;
    try {
      made = factory(_env);
    } catch (...) {
      _env->setLocalEnv(local);
      throw;
    }
    _env->setLocalEnv(local);
    _evaluator = made ? made->asModelEvaluator() : nullptr;
    if (_evaluator) _evaluator->setOwner(this);
  }
  return _evaluator;
}

// ---------------------------------------------------------------------------
// Handle

void QroAlgorithm::extract(const QroModel& model) const {
  if (!_impl) throw QroEmptyHandleException("accessing QroAlgorithm through 0 handle");
  if (!model.getImpl()) throw QroEmptyHandleException("cannot extract empty model");
  _impl->extract(model.getImpl());
}

QroNum QroAlgorithm::getValue(const QroNumVar& v) const {
  if (!_impl) throw QroWrongUsage("accessing QroAlgorithm through 0 handle");
  if (!v.getImpl()) throw QroWrongUsage("Using empty QroNumVar handle.");
  return _impl->getValue(v.getImpl());
}

std::ostream& QroAlgorithm::out() const {
  if (!_impl) throw QroEmptyHandleException("QroAlgorithm: Using empty handle");
  return _impl->out();
}
