// The reader's object table: the links from identifiers to the objects read,
// the holds on the expressions among them and the arrays it owns.
#include "qrochange.h"
#include "qroexpr.h"
#include "qroregistry.h"
#include "qroxmlser.h"

namespace {

const char kNegativeLink[] = "QroXmlObjectHandler::addLink2Obj : index is negative";
const char kTooLargeLink[] = "QroXmlObjectHandler::addLink2Obj : index is too large";
const char kOtherEnvLink[] = "QroXmlObjectHandler::addLink2Obj : object of another environment";
const char kNegativeGet[] = "QroXmlObjectHandler::getObjectById : index is negative";

// The value of a held expression once a holder of it was destroyed.
char orphanMark;

// Hands the direct sub-extractables of an object to a function.
template <class F>
class ChildVisitor : public QroExtractableVisitor {
 public:
  explicit ChildVisitor(F f) : _f(f) {}
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (child) _f(child);
  }

 private:
  F _f;
};

template <class F>
void forEachChild(QroExtractableI* x, F f) {
  ChildVisitor<F> visitor(f);
  x->visitSubExtractables(&visitor);
}

}  // namespace

QroXmlObjectHandler::ArrayAlloc::~ArrayAlloc() {}

void QroXmlObjectHandler::ArrayAlloc::free(void* p, size_t size) {
  if (size == sizeof(QroArrayI)) _owned->take(p);
  QroFlormAlloc::free(p, size);
}

QroXmlObjectHandler::QroXmlObjectHandler(QroEnvI* env)
    : _env(env),
      _objects(),
      _typed(),
      _held(),
      _holding(env->getMemoryManager()),
      _arrays(),
      _owned(env->getMemoryManager()),
      _arrayAlloc(env, &_owned),
      _watch(this),
      _watching(false) {
  QroGenAlloc* a = env->getGeneralAllocator();
  try {
    _objects = QroArrayOf<void*>(new (a) QroArrayI(a, 0, 8));
    _typed = QroIntArray(new (a) QroArrayI(a, 0, 8));
    _held = QroArrayOf<void*>(new (a) QroArrayI(a, 0, 8));
    _arrays = QroArrayOf<void*>(new (a) QroArrayI(a, 0, 8));
  } catch (...) {
    end();
    throw;
  }
}

// Only a reader whose handler was not ended comes here: QroXmlReader::end
// ends it first, and throws what it meets.
QroXmlObjectHandler::~QroXmlObjectHandler() {
  try {
    end();
  } catch (...) {
  }
}

void QroXmlObjectHandler::end() {
  std::exception_ptr failure = giveBack();
  endArrays();
  if (_objects.getImpl()) _objects.end();
  if (_typed.getImpl()) _typed.end();
  if (failure) std::rethrow_exception(failure);
}

void QroXmlObjectHandler::endArrays() {
  if (!_arrays.getImpl()) return;
  for (QroInt i = 0; i < _arrays.getSize(); ++i)
    if (_owned.take(_arrays[i])) delete static_cast<QroArrayI*>(_arrays[i]);
  _owned.clear();
  _arrays.end();
}

// Each expression still held is given back once, in the order taken, the
// watch still listening: an orphan whose count falls to 0 is destroyed, as
// its holder's end would have destroyed it; other expressions are counted
// down (nothing else held them, or something still does). The first failure
// is the caller's.
std::exception_ptr QroXmlObjectHandler::giveBack() {
  std::exception_ptr failure;
  if (_held.getImpl() && !_env->isEnding()) {
    for (QroInt i = 0; i < _held.getSize(); ++i) {
      QroNumExprI* x = static_cast<QroNumExprI*>(_held[i]);
      if (void* held = _holding.take(x)) giveBack(x, held == &orphanMark, failure);
    }
  }
  if (_watching) {
    if (QroPlugInRegistry* registry = _env->getPlugInRegistry()) registry->removeListener(&_watch);
    _watching = false;
  }
  _holding.clear();
  if (_held.getImpl()) _held.end();
  return failure;
}

// Refused by its users, an orphan stays, with no holder, as the operand of a
// holder destroyed at once does (QroEnvI::releaseExpression).
void QroXmlObjectHandler::giveBack(QroNumExprI* x, bool orphan, std::exception_ptr& failure) {
  if (!orphan || x->getUseCount() > 1) {
    x->decrUseCount();
    return;
  }
  bool asked = _env->getCascade() || _env->getExtractableListener();
  if (!asked && !_env->mayDestroy(x, failure)) {
    x->decrUseCount();
    return;
  }
  try {
    x->releaseAllowed();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
}

void QroXmlObjectHandler::EndWatch::change(QroChange* change, QroExtractableI*) {
  if (_handler->_holding.isEmpty()) return;
  if (change->isType(QroDestroyExtractableArray::GetTypeInfo())) {
    QroExtractableArray ended = change->getChangedExtractableArray();
    for (QroInt i = 0; ended.getImpl() && i < ended.getSize(); ++i)
      if (ended[i]) destroyed(ended[i]);
  } else if (change->isType(QroDestroyExtractable::GetTypeInfo())) {
    destroyed(change->getChangedExtractable());
  }
}

// x is about to be deleted: it is not held any more, and a held expression
// it has as a child, held by another than the handler (x, when x counts its
// children), is an orphan once nothing but the handler holds it. A child x
// only lists (a model's member) keeps its count, and is no orphan of x.
void QroXmlObjectHandler::EndWatch::destroyed(QroExtractableI* x) {
  QroPointerTable& holding = _handler->_holding;
  holding.take(x);
  forEachChild(x, [&holding](QroExtractableI* child) {
    if (holding.find(child) && child->getUseCount() > 1) holding.set(child, &orphanMark);
  });
}

QroInt QroXmlObjectHandler::getSize() const {
  return _objects.getImpl() ? _objects.getSize() : 0;
}

void QroXmlObjectHandler::checkId(QroInt id) {
  if (id < 0) throw QroWrongUsage(kNegativeLink);
  if (id > MaxId) throw QroWrongUsage(kTooLargeLink);
}

void QroXmlObjectHandler::link(QroInt id, void* object, QroInt typed) {
  if (id < 0) throw QroWrongUsage(kNegativeLink);
  if (!_objects.getImpl() || !_typed.getImpl()) throw QroEmptyHandleException();
  checkId(id);
  QroInt n = _objects.getSize();
  if (id >= n) {
    _objects.getImpl()->reserve(id + 1);
    _typed.getImpl()->reserve(id + 1);
    for (QroInt i = n; i <= id; ++i) {
      _objects.add(nullptr);
      _typed.add(0);
    }
  }
  _objects[id] = object;
  _typed[id] = typed;
}

void QroXmlObjectHandler::hold(QroNumExprI* x) {
  if (_holding.find(x)) return;
  if (!_watching) {
    _env->getPlugInRegistry()->addListener(&_watch);
    _watching = true;
  }
  _held.add(x);
  try {
    _holding.set(x, x);
  } catch (...) {
    _held.remove(_held.getSize() - 1);
    throw;
  }
  x->incrUseCount();
}

void QroXmlObjectHandler::addLink2Obj(QroInt id, QroExtractableI* object) {
  if (object && object->getEnv() != _env) throw QroWrongUsage(kOtherEnvLink);
  link(id, object, object ? 1 : 0);
  // A use-counted expression is not ended while a later reference may still
  // name it.
  if (object && object->isNumExprNode()) hold(static_cast<QroNumExprI*>(object));
}

void QroXmlObjectHandler::addLink2Obj(QroInt id, void* object) {
  link(id, object, 0);
}

// The copy is made by the handler's allocator, which hears when it is ended.
QroArrayI* QroXmlObjectHandler::addLink2Array(QroInt id, QroArrayI* array) {
  if (!array) {
    link(id, nullptr, 0);
    return nullptr;
  }
  QroArrayI* own = nullptr;
  try {
    if (!_arrays.getImpl()) throw QroEmptyHandleException();
    own = new (&_arrayAlloc) QroArrayI(&_arrayAlloc, *array);
  } catch (...) {
    delete array;
    throw;
  }
  delete array;
  try {
    _owned.set(own, own);
    _arrays.add(own);
  } catch (...) {
    delete own;  // which its allocator forgets
    throw;
  }
  link(id, own, 0);
  return own;
}

void* QroXmlObjectHandler::getObjectById(QroInt id) const {
  if (id < 0) throw QroWrongUsage(kNegativeGet);
  if (!_objects.getImpl() || id >= _objects.getSize()) return nullptr;
  return _objects[id];
}

QroExtractableI* QroXmlObjectHandler::getExtractableById(QroInt id) const {
  void* p = getObjectById(id);
  if (!p || !_typed[id]) return nullptr;
  return static_cast<QroExtractableI*>(p);
}
