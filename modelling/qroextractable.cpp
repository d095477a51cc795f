#include "qroextractable.h"

#include <cstring>
#include <ostream>

#include "qroalgorithm.h"
#include "qroexpr.h"
#include "qrochange.h"
#include "qroregistry.h"

QroExtractable::NoCloneMechanismException::~NoCloneMechanismException() {}

void QroExtractable::NoCloneMechanismException::print(std::ostream& os) const {
  os << "Extractable with id " << _id << " do not have clone mechanism";
}

QroExtractableI::QroExtractableI(QroEnvI* env, const char* name)
    : QroRttiEnvObjectI(env), _id(-1), _extension(nullptr) {
  env->registerExtractable(this);
  if (name) {
    try {
      setName(name);
    } catch (...) {
      env->unregisterExtractable(this);
      throw;
    }
  }
}

QroExtractableI::~QroExtractableI() {
  // Normally unregistered before deletion; a subclass constructor that
  // failed leaves the object registered, and its slot must not dangle.
  if (_id != -1) _env->unregisterExtractable(this);
  if (!_env->isEnding()) {
    QroAny2BoolHashTable* flags = _env->findObjectFlagTable();
    if (flags) flags->remove(this);
  }
  if (_extension) {
    QroFlormAlloc* a = _env->getGeneralAllocator();
    delete _extension->object;
    if (_extension->name) a->free(_extension->name, std::strlen(_extension->name) + 1);
    a->free(_extension, sizeof(Extension));
    _extension = nullptr;
  }
}

QroExtractableI::Extension* QroExtractableI::extension() {
  if (!_extension) {
    Extension* e = static_cast<Extension*>(_env->getGeneralAllocator()->alloc(sizeof(Extension)));
    e->name = nullptr;
    e->object = nullptr;
    _extension = e;
  }
  return _extension;
}

void QroExtractableI::setName(const char* name) {
  if (!_extension && !name) return;
  Extension* e = extension();
  e->name = _env->getGeneralAllocator()->replaceText(e->name, name);
}

void QroExtractableI::setObject(QroRtti* object) {
  extension()->object = object;
}

QroExtractableI* QroExtractableI::makeClone(QroEnvI*) const {
  throw QroExtractable::NoCloneMechanismException(this);
}

void* QroExtractableI::extract(QroAlgorithmI* algorithm) {
  QroExtractHooks* h = getHookRecord();
  if (!h || !h->extract) throw QroAlgorithm::ExtractFailure();
  return h->extract(algorithm, this);
}

void QroExtractableI::remove(QroAlgorithmI* algorithm, void* argument) {
  QroExtractHooks* h = getHookRecord();
  if (!h || !h->remove) throw QroAlgorithm::RemoveFailure();
  h->remove(algorithm, this, argument);
}

void* QroExtractableI::change(QroAlgorithmI* algorithm, QroChange* change) {
  QroExtractHooks* h = getHookRecord();
  if (!h || !h->change) throw QroAlgorithm::RemoveFailure();
  return h->change(algorithm, this, change);
}

void* QroExtractableI::callAddToAlgorithm(QroAlgorithmI* algorithm, void* argument) {
  QroExtractHooks* h = getHookRecord();
  if (!h || !h->addToAlgorithm) throw QroAlgorithm::ExtractFailure();
  h->addToAlgorithm(algorithm, this, argument);
  return nullptr;
}

void* QroExtractableI::callRemoveFromAlgorithm(QroAlgorithmI* algorithm, void* argument) {
  QroExtractHooks* h = getHookRecord();
  if (!h || !h->removeFromAlgorithm) throw QroAlgorithm::ExtractFailure();
  h->removeFromAlgorithm(algorithm, this, argument);
  return nullptr;
}

void QroExtractableI::endIfUsesMarked() {
  if (usesMarked()) _env->endExtractable(this);
}

QroBool QroExtractableI::usesMarked() {
  QroFindMarkedVisitor v;
  visitSubExtractables(&v);
  return v.isDone();
}

QroBool QroExtractableI::visitUses(QroExtractableVisitor* v) {
  visitSubExtractables(v);
  return 0;
}

void QroExtractableI::release() {
  if (_id != -1) _env->endExtractable(this);
}

void QroExtractableI::display(std::ostream& os) const {
  os << "QroExtractable unknow" << _id << std::endl;
}

QroBool QroExtractableI::isGround() const {
  QroFindNongroundTerm v;
  const_cast<QroExtractableI*>(this)->visitSubExtractables(&v);
  return v.isDone() ? 0 : 1;
}

QroBool QroExtractableI::findDecisionVar() const {
  QroFindDecisionVar v;
  const_cast<QroExtractableI*>(this)->visitSubExtractables(&v);
  return v.isDone();
}

QroBool QroExtractableI::hasDecisionVar() const {
  QroAny2BoolHashTable* table = _env->getObjectFlagTable();
  void* key = const_cast<QroExtractableI*>(this);
  QroInt memo = 0;
  if (table->find(key, memo) == 0) return memo ? 1 : 0;
  QroBool found = findDecisionVar();
  QroLocalEnvSuspension permanent(_env);  // the memo lives with the environment
  table->add(key, found);
  return found;
}

void QroThrowEnvMismatch(const char* message) {
  throw QroWrongUsage(message);
}

void QroCheckArrayEnv(const QroEnvI* env, const QroArray& array, const char* message) {
  QroArrayI* a = array.getImpl();
  if (a && a->getAllocator() != env->getGeneralAllocator()) QroThrowEnvMismatch(message);
}

void QroCheckExtractablesEnv(const QroEnvI* env, const QroArray& array, const char* message) {
  QroCheckArrayEnv(env, array, message);
  QroExtractableArray xs(array.getImpl());
  if (!xs.getImpl()) return;
  for (QroInt i = 0; i < xs.getSize(); ++i) QroCheckSameEnv(env, xs[i], message);
}

void QroExtractable::end() {
  if (!_impl) return;
  QroEnvI* env = _impl->getEnv();
  QroInt id = _impl->getId();
  try {
    env->endExtractable(_impl);
  } catch (...) {
    // Refused, the object stays; ended all the same (an algorithm failed to
    // apply the change), the handle goes with it.
    if (env->getLiveSlot(id) != _impl) _impl = nullptr;
    throw;
  }
  _impl = nullptr;
}

std::ostream& operator<<(std::ostream& os, const QroExtractable& x) {
  if (x.getImpl()) x.getImpl()->display(os);
  return os;
}

// ---------------------------------------------------------------------------
// Visitors

QroExtractableVisitor::~QroExtractableVisitor() {}

void QroExtractableVisitor::visitArray(QroExtractableI* parent, const QroExtractableArray& array) {
  if (!array.getImpl()) return;
  for (QroInt i = 0; i < array.getSize() && !isDone(); ++i) visitChild(parent, array[i]);
}

namespace {
bool isMarkedForEnding(QroExtractableI* x) {
  if (!x) return true;
  QroInt id = x->getId();
  if (id == -1) return true;
  return x->getEnv()->isMarked(id) != 0;
}
}  // namespace

void QroFindMarkedVisitor::visitChild(QroExtractableI*, QroExtractableI* child) {
  if (!_found && isMarkedForEnding(child)) _found = 1;
}

void QroFindMarkedVisitor::visitArray(QroExtractableI* parent, const QroExtractableArray& array) {
  if (_found) return;
  QroExtractableVisitor::visitArray(parent, array);
}

void QroFindNongroundTerm::visit(QroExtractableI* x) {
  if (x && x->isNonGroundTerm()) _found = 1;
}

void QroFindNongroundTerm::visitChild(QroExtractableI*, QroExtractableI* child) {
  if (_found || !child) return;
  visit(child);
  if (!_found) child->visitSubExtractables(this);
}

void QroFindNongroundTerm::visitArray(QroExtractableI* parent, const QroExtractableArray& array) {
  if (!array.getImpl()) return;
  for (QroInt i = 0; i < array.getSize() && !_found; ++i) visitChild(parent, array[i]);
}

void QroFindDecisionVar::visit(QroExtractableI* x) {
  if (x && (x->isNumVar() || x->isType(QroIntervalVarI::GetTypeInfo()))) _found = 1;
}

QroExtractableArray QroGetClones(const QroExtractableArray& array, QroEnvI* env) {
  if (!array.getImpl()) return QroExtractableArray();
  QroInt n = array.getSize();
  QroExtractableArray result(QroEnv(env), n);
  for (QroInt i = 0; i < n; ++i) result[i] = env->getClone(array[i]);
  return result;
}

void QroExtractableArray::incrementUseCounts() const {
  QroIncrementUseCounts(*this);
}
void QroExtractableArray::releaseElements() const {
  QroReleaseElements(*this);
}
void QroExtractableArray::getClones(QroEnvI* env) {
  *this = QroGetClones(*this, env);
}
QroExtractableArray QroExtractableArray::makeClone(QroEnvI* env) const {
  return QroMakeCloneArray(*this, env);
}
