#include "qroobject.h"

#include <cstring>

#include "qroenv.h"

namespace qroobject {
namespace {
thread_local void* g_owner = nullptr;
}

void stashOwner(void* owner) {
  g_owner = owner;
}

void* takeOwner() {
  void* owner = g_owner;
  g_owner = nullptr;
  return owner;
}

void* envAlloc(QroEnvI* env, size_t size) {
  if (!env) throw QroWrongUsage("object allocated without an environment");
  return env->alloc(size);
}

void envFree(QroEnvI* env, void* p, size_t size) {
  if (env) env->free(p, size);
}
}  // namespace qroobject

#define QRO_ALLOC_STORAGE_DEF(X)                                          \
  void* X::operator new(size_t size, QroGenAlloc* a) {                    \
    if (!a) throw QroWrongUsage("object allocated without an allocator"); \
    return a->alloc(size);                                                \
  }                                                                       \
  void X::operator delete(void* p, size_t size) {                         \
    QroGenAlloc* a = static_cast<QroGenAlloc*>(qroobject::takeOwner());   \
    if (a) a->free(p, size);                                              \
  }

QRO_ALLOC_STORAGE_DEF(QroMemoryManagerObjectI)
QRO_ALLOC_STORAGE_DEF(QroRttiMemoryManagerObjectI)
QRO_ALLOC_STORAGE_DEF(QroRttiMMObjectI)

// ---------------------------------------------------------------------------
// Allocators

QroGenAlloc::~QroGenAlloc() {}
QroFlormAlloc::~QroFlormAlloc() {}
QroStackGenAlloc::~QroStackGenAlloc() {}

void* QroFlormAlloc::alloc(size_t size) {
  return _env->alloc(size);
}

void QroFlormAlloc::free(void* p, size_t size) {
  if (p && size) _env->free(p, size);
}

char* QroGenAlloc::replaceText(char* old, const char* text) {
  char* copy = nullptr;
  if (text) {
    size_t n = std::strlen(text) + 1;
    copy = static_cast<char*>(alloc(n));
    std::memcpy(copy, text, n);
  }
  if (old) free(old, std::strlen(old) + 1);
  return copy;
}

const char* QroFlormAlloc::internString(const char* text) {
  return _env->internString(text);
}

const char* QroStackGenAlloc::internString(const char* text) {
  if (!text || !_symbols) return text;
  return _symbols->intern(text)->getText();
}

QroEnv QroMemoryManager::getEnv() const {
  if (!_impl || !_impl->isType(QroFlormAlloc::GetTypeInfo()))
    throw QroEnv::IncompatibleMemoryManagerException();
  return QroEnv(static_cast<QroFlormAlloc*>(_impl)->getEnv());
}

// ---------------------------------------------------------------------------
// Object bases: the outermost base destructor records where the storage goes.

QroEnvObjectI::~QroEnvObjectI() {
  qroobject::stashOwner(_env);
}
QroMemoryManagerObjectI::~QroMemoryManagerObjectI() {
  qroobject::stashOwner(_allocator);
}
QroRttiEnvObjectI::~QroRttiEnvObjectI() {
  qroobject::stashOwner(_env);
}
QroRttiMemoryManagerObjectI::~QroRttiMemoryManagerObjectI() {
  qroobject::stashOwner(_allocator);
}
QroRttiMMObjectI::~QroRttiMMObjectI() {
  qroobject::stashOwner(_allocator);
}
QroClonableObjectI::~QroClonableObjectI() {}
QroCacheableObjectI::~QroCacheableObjectI() {}
QroAnyCacheI::~QroAnyCacheI() {}
QroAnyEvaluatorI::~QroAnyEvaluatorI() {}
QroPlugIn::~QroPlugIn() {}
QroPlugInAddon::~QroPlugInAddon() {}

QroRttiEnvObjectI* QroRttiEnvObjectI::makeWuxClone(QroEnvI*) const {
  throw QroWrongUsage("QroRttiEnvObjectI::makeWuxClone not implemented");
}

QroClonableObjectI* QroClonableObjectI::makeClone(QroGenAlloc*) const {
  throw QroCloneMethodNotImplementedException();
}

// ---------------------------------------------------------------------------
// Extension record

QroExtensibleRttiEnvObjectI::Extension* QroExtensibleRttiEnvObjectI::extension() {
  if (!_extension) {
    QroFlormAlloc* a = _env->getGeneralAllocator();
    Extension* ext = static_cast<Extension*>(a->alloc(sizeof(Extension)));
    ext->name = nullptr;
    ext->sub = nullptr;
    try {
      ext->sub = static_cast<SubRecord*>(a->alloc(sizeof(SubRecord)));
    } catch (...) {
      a->free(ext, sizeof(Extension));
      throw;
    }
    ext->sub->tag = 0;
    ext->sub->object = nullptr;
    _extension = ext;
  }
  return _extension;
}

void QroExtensibleRttiEnvObjectI::setName(const char* name) {
  Extension* ext = extension();
  ext->name = _env->getGeneralAllocator()->replaceText(ext->name, name);
}

void QroExtensibleRttiEnvObjectI::setObject(QroRtti* object, QroInt tag) {
  Extension* ext = extension();
  ext->sub->object = object;
  ext->sub->tag = tag;
}

QroExtensibleRttiEnvObjectI::~QroExtensibleRttiEnvObjectI() {
  if (!_extension) return;
  QroFlormAlloc* a = _env->getGeneralAllocator();
  if (_extension->sub) {
    delete _extension->sub->object;
    a->free(_extension->sub, sizeof(SubRecord));
  }
  if (_extension->name) a->free(_extension->name, std::strlen(_extension->name) + 1);
  a->free(_extension, sizeof(Extension));
  _extension = nullptr;
}

// ---------------------------------------------------------------------------
// Evaluator caches

QroEvaluatorCacheOwner::QroEvaluatorCacheOwner(QroGenAlloc* a, QroInt buckets)
    : _allocator(a), _bucketCount(1), _buckets(nullptr) {
  while (_bucketCount < buckets) _bucketCount *= 2;
  size_t bytes = static_cast<size_t>(_bucketCount) * sizeof(Entry*);
  _buckets = static_cast<Entry**>(_allocator->alloc(bytes));
  std::memset(static_cast<void*>(_buckets), 0, bytes);
}

QroEvaluatorCacheOwner::~QroEvaluatorCacheOwner() {
  for (QroInt b = 0; b < _bucketCount; ++b) {
    Entry* e = _buckets[b];
    while (e) {
      Entry* next = e->next;
      delete e->cache;
      _allocator->free(e, sizeof(Entry));
      e = next;
    }
  }
  _allocator->free(_buckets, static_cast<size_t>(_bucketCount) * sizeof(Entry*));
}

QroUInt QroEvaluatorCacheOwner::Hash(const QroAnyEvaluatorI* evaluator) {
  uintptr_t address = reinterpret_cast<uintptr_t>(evaluator);
  uint32_t h = 0;
  for (int i = 0; i < 8; ++i)
    h = h * 9u + static_cast<uint32_t>((static_cast<QroUInt>(address) >> (8 * i)) & 0xFFu);
  return h;
}

QroAnyCacheI* QroEvaluatorCacheOwner::getCache(const QroAnyEvaluatorI* evaluator) const {
  QroUInt b = Hash(evaluator) & static_cast<QroUInt>(_bucketCount - 1);
  for (Entry* e = _buckets[b]; e; e = e->next)
    if (e->evaluator == evaluator) return e->cache;
  return nullptr;
}

void QroEvaluatorCacheOwner::setCache(const QroAnyEvaluatorI* evaluator, QroAnyCacheI* cache) {
  QroUInt b = Hash(evaluator) & static_cast<QroUInt>(_bucketCount - 1);
  for (Entry* e = _buckets[b]; e; e = e->next) {
    if (e->evaluator == evaluator) {
      if (e->cache != cache) delete e->cache;
      e->cache = cache;
      return;
    }
  }
  Entry* e = static_cast<Entry*>(_allocator->alloc(sizeof(Entry)));
  e->evaluator = evaluator;
  e->value = 0;
  e->cache = cache;
  e->next = _buckets[b];
  _buckets[b] = e;
}

QroBool QroAnyEvaluatorI::invalidate(QroEvaluatorCacheOwner* owner, const void* key) {
  if (!owner) return 0;
  QroAnyCacheI* cache = owner->getCache(this);
  if (!cache) return 0;
  if (!key) {
    cache->clear();
    return 0;
  }
  return cache->remove(key);
}

double QroAnyEvaluatorI::evaluateCached(const void* key, const void* context,
                                        QroEvaluatorCacheOwner* owner) {
  QroAnyCacheI* cache = owner ? owner->getCache(this) : nullptr;
  if (!cache) return evaluate(key, context, owner);
  QroUInt hash = 0;
  if (double* stored = cache->find(key, &hash)) return *stored;
  double v = evaluate(key, context, owner);
  cache->insert(hash, key, &v);
  return v;
}
