// Evaluators. The expander and the model evaluator are algorithms the
// environment makes on demand (the latter values expressions over variables
// that are already fixed). The typed evaluators score a key (an engine integer
// variable, or an integer value with its variable as context), optionally
// through a hash cache with least-recently-used eviction held by a cache owner.
#ifndef QRO_EVALUATOR_H
#define QRO_EVALUATOR_H

#include <cstring>

#include "qroalgorithm.h"
#include "qroobject.h"

class QroExpanderI : public QroAlgorithmI {
 public:
  explicit QroExpanderI(QroEnvI* env) : QroAlgorithmI(env) {}
  ~QroExpanderI() override;
  QroBool extractOne(QroExtractableI*, void**) override { return 1; }
  QroBool removeOne(QroExtractableI*, void*) override { return 1; }
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override { return 1; }
  QroNum getObjValue() override;
  QroNum getValue(QroObjectiveI* objective) override;
  QroNum getValue(QroNumVarI* v) override;
  using QroAlgorithmI::getValue;
  virtual void expand(void* argument, QroExtractableI* x);
  virtual void substitute(void* argument, QroExtractableI* x);
};

class QroModelEvaluatorI : public QroAlgorithmI {
 public:
  // The owner (or null) gets this evaluator as its model evaluator.
  QroModelEvaluatorI(QroEnvI* env, QroAlgorithmI* owner = nullptr);
  ~QroModelEvaluatorI() override;
  QroBool extractOne(QroExtractableI*, void**) override { return 1; }
  QroBool removeOne(QroExtractableI*, void*) override { return 1; }
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override { return 1; }
  QroNum getObjValue() override;
  QroNum getValue(QroObjectiveI* objective) override;
  // The bound of a fixed variable; QroWrongUsage "Unbound variable" otherwise.
  QroNum getValue(QroNumVarI* v) override;
  using QroAlgorithmI::getValue;
  QroModelEvaluatorI* asModelEvaluator() override { return this; }

  // The value of an expression from the fixed variables.
  QroNum evaluate(QroNumExprI* e);
  QroInt evaluateInt(QroNumExprI* e);
  QroBool hasDecisionVar(QroExtractableI* x) const { return x->hasDecisionVar(); }

  QroAlgorithmI* getOwner() const { return _owner; }
  void setOwner(QroAlgorithmI* owner) { _owner = owner; }

 private:
  QroAlgorithmI* _owner;
  QroAllocationStack* _stack1;
  QroAllocationStack* _stack2;
  QroStackGenAlloc* _stackAlloc;
};

// Factories installed in every environment.
QroAlgorithmI* QroMakeExpander(QroEnvI* env);
QroAlgorithmI* QroMakeModelEvaluator(QroEnvI* env);

// A cache of doubles keyed by the 8 bytes of a K (a handle's pointer or an
// integer). Entries live on a doubly linked list from the most to the least
// recently used; the oldest go once the count passes the size limit.
template <class K, class V>
class QroHashCacheI : public QroAnyCacheI {
  static_assert(sizeof(K) == 8, "cache keys are 8 bytes");
  QROSIMPLECLASS_NAMED(QroHashCacheI, QroAnyCacheI, "QroHashCacheI")
 public:
  QroHashCacheI(QroGenAlloc* a, QroInt sizeLimit, QroInt buckets = 1, double loadFactor = 2.0)
      : QroAnyCacheI(a),
        _sizeLimit(sizeLimit),
        _bucketCount(1),
        _loadFactor(loadFactor),
        _count(0),
        _buckets(nullptr),
        _newest(nullptr),
        _oldest(nullptr) {
    while (_bucketCount < buckets) _bucketCount *= 2;
    _buckets = newBuckets(_bucketCount);
  }
  ~QroHashCacheI() override {
    clear();
    _allocator->free(_buckets, static_cast<size_t>(_bucketCount) * sizeof(Entry*));
  }

  // h = h * 9 + byte over the key's bytes in memory order (32 bits).
  static QroUInt Hash(const void* key) {
    const unsigned char* b = static_cast<const unsigned char*>(key);
    uint32_t h = b[0];
    for (int i = 1; i < 8; ++i) h = h * 9u + b[i];
    return h;
  }

  QroBool remove(const void* key) override {
    Entry* e = lookup(key, Hash(key));
    if (!e) return 0;
    drop(e);
    return 1;
  }
  double* find(const void* key, QroUInt* hash) override {
    QroUInt h = Hash(key);
    if (hash) *hash = h;
    Entry* e = lookup(key, h);
    if (!e) return nullptr;
    unlinkAge(e);
    linkNewest(e);
    return &e->value;
  }
  void insert(QroUInt hash, const void* key, const double* value) override {
    while (_sizeLimit >= 1 && _count > _sizeLimit) drop(_oldest);
    if (static_cast<double>(_count) > static_cast<double>(_bucketCount) * _loadFactor) rehash();
    Entry* e = static_cast<Entry*>(_allocator->alloc(sizeof(Entry)));
    std::memcpy(e->key, key, 8);
    e->hash = hash;
    e->value = *value;
    Entry** head = &_buckets[hash & static_cast<QroUInt>(_bucketCount - 1)];
    e->next = *head;
    if (e->next) e->next->link = &e->next;
    e->link = head;
    *head = e;
    linkNewest(e);
    ++_count;
  }
  void clear() override {
    while (_oldest) drop(_oldest);
  }
  QroInt getCount() const { return _count; }
  QroInt getBucketCount() const { return _bucketCount; }
  bool contains(const K& key) const {
    return const_cast<QroHashCacheI*>(this)->lookup(&key, Hash(&key)) != nullptr;
  }

 private:
  struct Entry {
    unsigned char key[8];
    QroUInt hash;
    V value;
    Entry* next;
    Entry** link;
    Entry* older;
    Entry* newer;
  };
  Entry** newBuckets(QroInt n) {
    size_t bytes = static_cast<size_t>(n) * sizeof(Entry*);
    Entry** b = static_cast<Entry**>(_allocator->alloc(bytes));
    std::memset(static_cast<void*>(b), 0, bytes);
    return b;
  }
  Entry* lookup(const void* key, QroUInt h) {
    for (Entry* e = _buckets[h & static_cast<QroUInt>(_bucketCount - 1)]; e; e = e->next)
      if (e->hash == h && std::memcmp(e->key, key, 8) == 0) return e;
    return nullptr;
  }
  void linkNewest(Entry* e) {
    e->older = _newest;
    e->newer = nullptr;
    if (_newest) _newest->newer = e;
    _newest = e;
    if (!_oldest) _oldest = e;
  }
  void unlinkAge(Entry* e) {
    if (e->older)
      e->older->newer = e->newer;
    else
      _oldest = e->newer;
    if (e->newer)
      e->newer->older = e->older;
    else
      _newest = e->older;
  }
  void drop(Entry* e) {
    unlinkAge(e);
    *e->link = e->next;
    if (e->next) e->next->link = e->link;
    --_count;
    _allocator->free(e, sizeof(Entry));
  }
  void rehash() {
    QroInt count = _bucketCount * 2;
    Entry** buckets = newBuckets(count);
    // Walk by age so that every entry is moved once.
    for (Entry* e = _oldest; e; e = e->newer) {
      Entry** head = &buckets[e->hash & static_cast<QroUInt>(count - 1)];
      e->next = *head;
      if (e->next) e->next->link = &e->next;
      e->link = head;
      *head = e;
    }
    _allocator->free(_buckets, static_cast<size_t>(_bucketCount) * sizeof(Entry*));
    _buckets = buckets;
    _bucketCount = count;
  }

  QroInt _sizeLimit;
  QroInt _bucketCount;
  double _loadFactor;
  QroInt _count;
  Entry** _buckets;
  Entry* _newest;
  Entry* _oldest;
};

// An evaluator of keys of type K (8 bytes); evaluateValue is the evaluation proper.
template <class K>
class QroEvaluatorI : public QroAnyEvaluatorI {
  QROSIMPLECLASS_NAMED(QroEvaluatorI, QroAnyEvaluatorI, "QroEvaluatorI <QroObject>")
 public:
  explicit QroEvaluatorI(QroGenAlloc* a) : QroAnyEvaluatorI(a) {}
  double evaluate(const void* key, const void* context, QroEvaluatorCacheOwner* owner) override {
    return evaluateValue(*static_cast<const K*>(key), context, owner);
  }
  QroAnyCacheI* makeCache(QroGenAlloc* a, QroInt sizeLimit) override {
    return new (a) QroHashCacheI<K, double>(a, sizeLimit, 1, 2.0);
  }
  using QroAnyEvaluatorI::evaluateCached;
  double evaluateCached(const K& key, const void* context, QroEvaluatorCacheOwner* owner) {
    return QroAnyEvaluatorI::evaluateCached(&key, context, owner);
  }
  virtual double evaluateValue(const K& key, const void* context, QroEvaluatorCacheOwner* owner) {
    (void)key;
    (void)context;
    (void)owner;
    return 0.0;
  }
};

// An evaluator built over another one.
template <class K>
class QroUnaryEvaluatorI : public QroEvaluatorI<K> {
  QROSIMPLECLASS_NAMED(QroUnaryEvaluatorI, QroEvaluatorI<K>, "QroUnaryEvaluatorI<QroObject>")
 public:
  QroUnaryEvaluatorI(QroGenAlloc* a, QroEvaluatorI<K>* inner)
      : QroEvaluatorI<K>(a), _inner(inner) {}
  QroBool invalidate(QroEvaluatorCacheOwner* owner, const void* key) override {
    return _inner->invalidate(owner, key);
  }
  QroEvaluatorI<K>* getInner() const { return _inner; }

 protected:
  QroEvaluatorI<K>* _inner;
};

// Minus the inner evaluation (the sign bit flipped).
template <class K>
class QroOppositeEvaluatorI : public QroUnaryEvaluatorI<K> {
  QROSIMPLECLASS_NAMED(QroOppositeEvaluatorI, QroUnaryEvaluatorI<K>,
                       "QroOppositeEvaluatorI<QroObject>")
 public:
  // Made in the memory manager of the inner evaluator.
  explicit QroOppositeEvaluatorI(QroEvaluatorI<K>* inner)
      : QroUnaryEvaluatorI<K>(inner->getAllocator(), inner) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    (void)a;
    return new (this->_inner->getAllocator()) QroOppositeEvaluatorI(this->_inner);
  }
  double evaluateValue(const K& key, const void* context, QroEvaluatorCacheOwner* owner) override {
    return -this->_inner->evaluateCached(key, context, owner);
  }
};

#endif
