// Object bases that say where an object's storage goes back to when it is
// deleted (its environment, or the allocator it holds), the allocator
// interface QroGenAlloc with its environment and stack implementations, and
// the plug-in, clonable, cacheable and evaluator bases.
#ifndef QRO_OBJECT_H
#define QRO_OBJECT_H

#include <cstddef>

#include "qroallocator.h"
#include "qrortti.h"

class QroEnvI;
class QroSymbolTable;

// Storage of object bases: the deleting destructor hands the owner recorded by
// the outermost base destructor to the class's operator delete.
namespace qroobject {
void stashOwner(void* owner);
void* takeOwner();
void* envAlloc(QroEnvI* env, size_t size);
void envFree(QroEnvI* env, void* p, size_t size);
}  // namespace qroobject

#define QRO_ENV_STORAGE()                                                       \
 public:                                                                        \
  static void* operator new(size_t size, QroEnvI* env) {                        \
    return qroobject::envAlloc(env, size);                                      \
  }                                                                             \
  static void operator delete(void*, QroEnvI*) {}                               \
  static void operator delete(void* p, size_t size) {                           \
    qroobject::envFree(static_cast<QroEnvI*>(qroobject::takeOwner()), p, size); \
  }

class QroGenAlloc;

#define QRO_ALLOC_STORAGE()                               \
 public:                                                  \
  static void* operator new(size_t size, QroGenAlloc* a); \
  static void operator delete(void*, QroGenAlloc*) {}     \
  static void operator delete(void* p, size_t size);

// ---------------------------------------------------------------------------
// Allocators

class QroGenAlloc : public QroRtti {
  QROSIMPLECLASS(QroGenAlloc, QroRtti)
 public:
  ~QroGenAlloc() override;
  virtual void* alloc(size_t size) = 0;
  virtual void free(void* p, size_t size) = 0;
  // Reversible saves of the one 64-bit word at an address (an engine allocator
  // records it on its trail; an environment allocator does nothing). The three
  // forms save the same way; none reaches past the word it is given.
  virtual void saveValue(void* cell) = 0;
  virtual void saveValue2(void* cell) = 0;
  virtual void saveValue3(void* cell) = 0;
  virtual const char* internString(const char* text) = 0;
  // A copy of text made here (null for null), after which old, a copy made
  // the same way, is freed.
  char* replaceText(char* old, const char* text);
};

// The environment's general allocator.
class QroFlormAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QroFlormAlloc, QroGenAlloc)
 public:
  explicit QroFlormAlloc(QroEnvI* env) : _env(env) {}
  ~QroFlormAlloc() override;
  void* alloc(size_t size) override;
  void free(void* p, size_t size) override;
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  const char* internString(const char* text) override;
  QroEnvI* getEnv() const { return _env; }

 private:
  QroEnvI* _env;
};

// An allocator over an allocation stack; frees only count bytes.
class QroStackGenAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QroStackGenAlloc, QroGenAlloc)
 public:
  QroStackGenAlloc(QroAllocationStack* stack, QroSymbolTable* symbols)
      : _stack(stack), _symbols(symbols) {}
  ~QroStackGenAlloc() override;
  void* alloc(size_t size) override { return _stack->alloc(size); }
  void free(void* p, size_t size) override {
    if (p && size) _stack->free(p, size);
  }
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  const char* internString(const char* text) override;
  QroAllocationStack* getStack() const { return _stack; }

 private:
  QroAllocationStack* _stack;
  QroSymbolTable* _symbols;
};

class QroEnv;

// Public handle of an allocator.
class QroMemoryManager {
 public:
  QroMemoryManager(QroGenAlloc* impl = nullptr) : _impl(impl) {}
  ~QroMemoryManager() {}
  QroGenAlloc* getImpl() const { return _impl; }
  // The environment of an environment allocator; otherwise
  // QroEnv::IncompatibleMemoryManagerException.
  QroEnv getEnv() const;

 private:
  QroGenAlloc* _impl;
};

// ---------------------------------------------------------------------------
// Object bases

class QroEnvObjectI {
  QRO_ENV_STORAGE()
 public:
  explicit QroEnvObjectI(QroEnvI* env) : _env(env) {}
  virtual ~QroEnvObjectI();
  QroEnvI* getEnv() const { return _env; }

 protected:
  QroEnvI* _env;
};

class QroMemoryManagerObjectI {
  QRO_ALLOC_STORAGE()
 public:
  explicit QroMemoryManagerObjectI(QroGenAlloc* a) : _allocator(a) {}
  virtual ~QroMemoryManagerObjectI();
  QroGenAlloc* getAllocator() const { return _allocator; }

 protected:
  QroGenAlloc* _allocator;
};

class QroRttiEnvObjectI : public QroRtti {
  QROSIMPLECLASS(QroRttiEnvObjectI, QroRtti)
  QRO_ENV_STORAGE()
 public:
  explicit QroRttiEnvObjectI(QroEnvI* env) : _env(env) {}
  ~QroRttiEnvObjectI() override;
  QroEnvI* getEnv() const { return _env; }
  virtual QroBool isSetOrRange() const { return 0; }
  // Copy into another environment; QroWrongUsage unless a subclass has one.
  virtual QroRttiEnvObjectI* makeWuxClone(QroEnvI* other) const;

 protected:
  QroEnvI* _env;
};

class QroExtensibleRttiEnvObjectI : public QroRttiEnvObjectI {
  QROSIMPLECLASS(QroExtensibleRttiEnvObjectI, QroRttiEnvObjectI)
 public:
  explicit QroExtensibleRttiEnvObjectI(QroEnvI* env)
      : QroRttiEnvObjectI(env), _extension(nullptr) {}
  ~QroExtensibleRttiEnvObjectI() override;

  const char* getName() const { return _extension ? _extension->name : nullptr; }
  // Stores a private copy of the text (null stays null).
  void setName(const char* name);
  QroRtti* getObject() const { return _extension ? _extension->sub->object : nullptr; }
  QroInt getObjectTag() const { return _extension ? _extension->sub->tag : 0; }
  // The attached object is deleted with this one.
  void setObject(QroRtti* object, QroInt tag = 0);

 private:
  struct SubRecord {
    QroInt tag;
    QroRtti* object;
  };
  struct Extension {
    char* name;
    SubRecord* sub;
  };
  Extension* extension();
  Extension* _extension;
};

class QroRttiMemoryManagerObjectI : public QroRtti {
  QROSIMPLECLASS(QroRttiMemoryManagerObjectI, QroRtti)
  QRO_ALLOC_STORAGE()
 public:
  explicit QroRttiMemoryManagerObjectI(QroGenAlloc* a) : _allocator(a) {}
  ~QroRttiMemoryManagerObjectI() override;
  QroGenAlloc* getAllocator() const { return _allocator; }

 protected:
  QroGenAlloc* _allocator;
};

class QroRttiMMObjectI : public QroRtti {
  QROSIMPLECLASS(QroRttiMMObjectI, QroRtti)
  QRO_ALLOC_STORAGE()
 public:
  explicit QroRttiMMObjectI(QroGenAlloc* a) : _allocator(a) {}
  ~QroRttiMMObjectI() override;
  QroGenAlloc* getAllocator() const { return _allocator; }

 protected:
  QroGenAlloc* _allocator;
};

class QroClonableObjectI : public QroRttiMMObjectI {
  QROSIMPLECLASS(QroClonableObjectI, QroRttiMMObjectI)
 public:
  explicit QroClonableObjectI(QroGenAlloc* a) : QroRttiMMObjectI(a) {}
  ~QroClonableObjectI() override;
  // QroCloneMethodNotImplementedException unless a subclass clones.
  virtual QroClonableObjectI* makeClone(QroGenAlloc* target) const;
};

class QroCacheableObjectI : public QroClonableObjectI {
  QROSIMPLECLASS(QroCacheableObjectI, QroClonableObjectI)
 public:
  explicit QroCacheableObjectI(QroGenAlloc* a) : QroClonableObjectI(a) {}
  ~QroCacheableObjectI() override;
  virtual QroBool isCacheable() const { return 0; }
};

class QroAnyEvaluatorI;

// A cache of evaluated results of one evaluator, keyed by the 8 bytes at a
// key address.
class QroAnyCacheI : public QroRttiMMObjectI {
  QROSIMPLECLASS(QroAnyCacheI, QroRttiMMObjectI)
 public:
  explicit QroAnyCacheI(QroGenAlloc* a) : QroRttiMMObjectI(a) {}
  ~QroAnyCacheI() override;
  // Unlinks the key's entry; true when it was there.
  virtual QroBool remove(const void* key) = 0;
  // Stores the key's hash and returns the address of its value, or null.
  virtual double* find(const void* key, QroUInt* hash) = 0;
  virtual void insert(QroUInt hash, const void* key, const double* value) = 0;
  virtual void clear() = 0;
};

// Owner of evaluator caches: a table from evaluator address to cache, with a
// power-of-two bucket count.
class QroEvaluatorCacheOwner {
 public:
  QroEvaluatorCacheOwner(QroGenAlloc* a, QroInt buckets = 16);
  ~QroEvaluatorCacheOwner();
  QroEvaluatorCacheOwner(const QroEvaluatorCacheOwner&) = delete;
  QroEvaluatorCacheOwner& operator=(const QroEvaluatorCacheOwner&) = delete;

  // h = h * 9 + byte over the address bytes, lowest first (32 bits).
  static QroUInt Hash(const QroAnyEvaluatorI* evaluator);
  QroAnyCacheI* getCache(const QroAnyEvaluatorI* evaluator) const;
  // The table owns the cache from now on.
  void setCache(const QroAnyEvaluatorI* evaluator, QroAnyCacheI* cache);

 private:
  struct Entry {
    const QroAnyEvaluatorI* evaluator;
    double value;
    Entry* next;
    QroAnyCacheI* cache;
  };
  QroGenAlloc* _allocator;
  QroInt _bucketCount;
  Entry** _buckets;
};

class QroAnyEvaluatorI : public QroCacheableObjectI {
  QROSIMPLECLASS(QroAnyEvaluatorI, QroCacheableObjectI)
 public:
  explicit QroAnyEvaluatorI(QroGenAlloc* a) : QroCacheableObjectI(a) {}
  ~QroAnyEvaluatorI() override;
  // With the owner's cache for this evaluator: a null key clears the cache
  // (false), another key is removed (true when it was cached). False without
  // an owner or a cache.
  virtual QroBool invalidate(QroEvaluatorCacheOwner* owner, const void* key);
  // The value for a key (and a context) as the subclass defines it.
  virtual double evaluate(const void* key, const void* context, QroEvaluatorCacheOwner* owner) = 0;
  // A new cache for this evaluator's keys.
  virtual QroAnyCacheI* makeCache(QroGenAlloc* allocator, QroInt sizeLimit) = 0;
  // The cached value for the key; on a miss evaluate's result, then cached.
  double evaluateCached(const void* key, const void* context, QroEvaluatorCacheOwner* owner);
};

class QroPlugIn;

class QroPlugInAddon : public QroRttiEnvObjectI {
  QROSIMPLECLASS(QroPlugInAddon, QroRtti)
 public:
  explicit QroPlugInAddon(QroEnvI* env) : QroRttiEnvObjectI(env), _next(nullptr) {}
  ~QroPlugInAddon() override;
  virtual void attach(QroPlugIn* plugIn) = 0;
  virtual void detach(QroPlugIn* plugIn) = 0;
  QroPlugInAddon* getNext() const { return _next; }
  void setNext(QroPlugInAddon* next) { _next = next; }

 private:
  QroPlugInAddon* _next;
};

class QroPlugIn : public QroRttiEnvObjectI {
  QROSIMPLECLASS(QroPlugIn, QroRtti)
 public:
  explicit QroPlugIn(QroEnvI* env) : QroRttiEnvObjectI(env), _next(nullptr) {}
  ~QroPlugIn() override;
  QroPlugIn* getNext() const { return _next; }
  void setNext(QroPlugIn* next) { _next = next; }

 private:
  QroPlugIn* _next;
};

#endif
