#include "qroenv.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

#include "qroalgorithm.h"
#include "qroevaluator.h"
#include "qrochange.h"
#include "qroextractable.h"
#include "qronumeric.h"
#include "qroplatform.h"
#include "qroregistry.h"
#include "qrouseindex.h"

QroLocalEnvI::~QroLocalEnvI() {}
QroExtractableListenerI::~QroExtractableListenerI() {}
QroChangeListenerI::~QroChangeListenerI() {}
QroClonerI::~QroClonerI() {}

QroInt QroLocalEnvI::assignId(QroExtractableI* object) {
  return _env->takeIdSlot(object);
}

void QroLocalEnvI::releaseId(QroInt id) {
  _env->releaseIdSlot(id);
}

QroEnv::IncompatibleMemoryManagerException::~IncompatibleMemoryManagerException() {}

QroLocalEnvSuspension::QroLocalEnvSuspension(QroEnvI* env) : _env(env), _saved(env->getLocalEnv()) {
  _env->setLocalEnv(nullptr);
}

QroLocalEnvSuspension::~QroLocalEnvSuspension() {
  _env->setLocalEnv(_saved);
}

// ---------------------------------------------------------------------------
// Timer

double QroCpuTimer::read() {
  if (!running) {
    start = qroplatform::processCpuSeconds();
    running = 1;
    return accumulated;
  }
  return accumulated + (qroplatform::processCpuSeconds() - start);
}

void QroCpuTimer::clear() {
  accumulated = 0;
  start = -1.0;
  running = 0;
}

void QroCpuTimer::restart() {
  clear();
  read();
}

// ---------------------------------------------------------------------------
// Construction and teardown

namespace {
QroBool poolingWanted() {
  return qroplatform::getEnv("QRO_NO_MEMORY_MANAGER") ? 0 : 1;
}
const QroInt kIdChunk = 4096;
const QroInt kScratchExtra = 1000;

struct ScratchHeader {
  QroInt* next;  // the next block's header
  QroInt inUse;
  QroInt capacity;
};

// Holds the environment's lock for a scope.
class EnvLock {
 public:
  explicit EnvLock(const QroEnvI* env) : _env(env) { _env->lock(); }
  ~EnvLock() { _env->unlock(); }

 private:
  const QroEnvI* _env;
};
}  // namespace

QroEnvI::QroEnvI()
    : _flags(0),
      _pooling(poolingWanted()),
      _memoryManager(_pooling),
      _localEnv(nullptr),
      _lockNotification(0),
      _allocationDisabled(0),
      _checkThread(0),
      _ownerThread(nullptr),
      _symbols(nullptr),
      _pool24(nullptr),
      _pool32(nullptr),
      _out(&std::cout),
      _warning(&std::cerr),
      _error(&std::cerr),
      _nullBuf(nullptr),
      _nullStream(nullptr),
      _cpuStart(-1.0),
      _ending(0),
      _generalAlloc(nullptr),
      _lock(nullptr),
      _idSlots(nullptr),
      _idCount(0),
      _idCapacity(0),
      _idFree(nullptr),
      _typeIndex(nullptr),
      _algorithms(nullptr),
      _registry(nullptr),
      _cascade(nullptr),
      _recycleBin(nullptr),
      _useIndex(nullptr),
      _cloneTable(nullptr),
      _objectFlags(nullptr),
      _listener(nullptr),
      _expander(nullptr),
      _expanderFactory(nullptr),
      _evaluatorFactory(nullptr),
      _scratchSupport(0),
      _scratchBlocks(nullptr),
      _endList(nullptr),
      _endCount(0),
      _endCapacity(0),
      _endIndex(nullptr),
      _extraXmlAddon(nullptr),
      _intRangeScratch(nullptr),
      _numRangeScratch(nullptr),
      _intDomainHash(nullptr),
      _numDomainHash(nullptr) {
  try {
    makeMembers();
  } catch (const std::bad_alloc&) {
    release();
    throw QroMemoryException();
  } catch (...) {
    release();
    throw;
  }
}

// The streams, allocators, symbol and identifier tables, plug-in registry,
// pools and factories of a new environment.
void QroEnvI::makeMembers() {
  _nullBuf = new QroPrivateBuf();
  _nullStream = new QroNullStream(_nullBuf);
  QroInitInfinity();
  if (_pooling) _flags |= PoolingFlag;
  _cpuStart = qroplatform::processCpuSeconds();
  _generalAlloc = new QroFlormAlloc(this);
  _symbols = new (_generalAlloc) QroSymbolTable(this, 31);
  // Identifier table: every slot free, each pointing to the next, the last to itself.
  _idSlots = static_cast<void**>(_memoryManager.alloc(kIdChunk * sizeof(void*)));
  _idCapacity = kIdChunk;
  for (QroInt i = 0; i < kIdChunk - 1; ++i) _idSlots[i] = &_idSlots[i + 1];
  _idSlots[kIdChunk - 1] = &_idSlots[kIdChunk - 1];
  _idFree = &_idSlots[0];
  _registry = new QroPlugInRegistry(this);
  _pool24 = new QroMemoryPool(24, _pooling);
  _pool32 = new QroMemoryPool(32, _pooling);
  _recycleBin = new (this) QroRecycleBinI(this);
  _expanderFactory = &QroMakeExpander;
  _evaluatorFactory = &QroMakeModelEvaluator;
}

QroEnvI::~QroEnvI() {
  teardown();
}

void QroEnvI::teardown() {
  // 1. thread check, cached pointers and factories
  _checkThread = 0;
  delete _useIndex;
  _useIndex = nullptr;
  delete _ownerThread;
  _ownerThread = nullptr;
  _objectFlags = nullptr;
  _intRangeScratch = nullptr;
  _numRangeScratch = nullptr;
  _intDomainHash = nullptr;
  _numDomainHash = nullptr;
  _expanderFactory = nullptr;
  _evaluatorFactory = nullptr;
  _localEnv = nullptr;
  _allocationDisabled = 0;

  // 2. the end list
  _ending = 1;
  if (_endList) {
    while (_endCount > 0) {
      QroRtti* o = _endList[--_endCount];
      delete o;
    }
    _memoryManager.free(_endList, static_cast<size_t>(_endCapacity) * sizeof(QroRtti*));
    _endList = nullptr;
    _endCapacity = 0;
  }
  _endIndex = nullptr;
  _ending = 0;

  // 3. algorithms, expander, extractable listener
  while (_algorithms) {
    QroAlgorithmI* a = _algorithms;
    delete a;  // unlinks itself
    if (_algorithms == a) break;
  }
  _expander = nullptr;
  delete _listener;
  _listener = nullptr;

  // 4. without pooling, every live extractable is destroyed
  if (!_pooling && _idSlots) {
    _ending = 1;
    for (QroInt id = 0; id < _idCount; ++id) {
      QroExtractableI* x = getLiveSlot(id);
      if (!x) continue;
      releaseIdSlot(id);
      x->setId(-1);
      delete x;
    }
  }

  // 5. plug-in registry
  _ending = 1;
  delete _registry;
  _registry = nullptr;
  release();
  _ending = 0;
}

void QroEnvI::release() {
  // 6. identifier table, private pools, allocator, lock, scratch blocks
  _checkThread = 0;
  delete _useIndex;
  _useIndex = nullptr;
  delete _ownerThread;
  _ownerThread = nullptr;
  delete _registry;
  _registry = nullptr;
  {
    QroBool wasEnding = _ending;
    _ending = 1;
    delete _typeIndex;
    _typeIndex = nullptr;
    delete _cloneTable;
    _cloneTable = nullptr;
    _ending = wasEnding;
  }
  if (_idSlots) {
    _memoryManager.free(_idSlots, static_cast<size_t>(_idCapacity) * sizeof(void*));
    _idSlots = nullptr;
    _idCapacity = 0;
    _idCount = 0;
    _idFree = nullptr;
  }
  if (_symbols) {
    QroBool wasEnding = _ending;
    _ending = 1;
    delete _symbols;
    _ending = wasEnding;
    _symbols = nullptr;
  }
  delete _pool24;
  _pool24 = nullptr;
  delete _pool32;
  _pool32 = nullptr;
  delete _generalAlloc;
  _generalAlloc = nullptr;
  if (_lock) {
    _lock->destroy();
    _lock = nullptr;
  }
  while (_scratchBlocks) {
    ScratchHeader* h = reinterpret_cast<ScratchHeader*>(_scratchBlocks);
    QroInt* next = h->next;
    std::free(_scratchBlocks);
    _scratchBlocks = next;
  }
  // 7. null stream
  delete _nullStream;
  _nullStream = nullptr;
  delete _nullBuf;
  _nullBuf = nullptr;
  // 8. the memory manager releases every block with the object
}

// ---------------------------------------------------------------------------
// Memory

void QroEnvI::checkAllocation() const {
  if (_checkThread && !isOwnerThread()) throw QroEnvAllocatorThreadMismatch();
  if (_allocationDisabled) throw QroEnvAllocationDisabled();
}

void* QroEnvI::alloc(size_t size) {
  checkAllocation();
  if (_localEnv) return _localEnv->alloc(size);
  return _memoryManager.alloc(size);
}

void QroEnvI::free(void* p, size_t size) {
  if (_localEnv) {
    _localEnv->free(p, size);
    return;
  }
  _memoryManager.free(p, size);
}

void* QroEnvI::alloc24() {
  checkAllocation();
  if (_localEnv) return _localEnv->alloc(24);
  return _pool24->alloc(&_memoryManager);
}

void QroEnvI::free24(void* p) {
  if (!p) return;
  if (_localEnv) {
    _localEnv->free(p, 24);
    return;
  }
  _pool24->free(p);
}

void* QroEnvI::alloc32() {
  checkAllocation();
  if (_localEnv) return _localEnv->alloc(32);
  return _pool32->alloc(&_memoryManager);
}

void QroEnvI::free32(void* p) {
  if (!p) return;
  if (_localEnv) {
    _localEnv->free(p, 32);
    return;
  }
  _pool32->free(p);
}

void QroEnvI::setOwnerThreadCheck(QroBool on) {
  if (on) {
    if (!_ownerThread) _ownerThread = new QroUInt(0);
    *_ownerThread = qroplatform::currentThreadId();
    _checkThread = 1;
  } else {
    _checkThread = 0;
  }
}

QroBool QroEnvI::isOwnerThread() const {
  if (!_checkThread || !_ownerThread) return 1;
  return qroplatform::currentThreadId() == *_ownerThread;
}

const char* QroEnvI::internString(const char* text) {
  if (!text) return nullptr;
  EnvLock lock(this);
  return _symbols->intern(text)->getText();
}

double QroEnvI::getTime() const {
  return qroplatform::processCpuSeconds() - _cpuStart;
}

// ---------------------------------------------------------------------------
// Identifiers

bool QroEnvI::slotIsFree(void* content) const {
  return content >= static_cast<void*>(_idSlots) &&
         content < static_cast<void*>(_idSlots + _idCapacity);
}

namespace {
void* const kMarked = reinterpret_cast<void*>(~uintptr_t(0));
}

void QroEnvI::growIdTable() {
  // Doubling keeps the copies linear in the number of identifiers.
  QroInt capacity = 2 * _idCapacity;
  void** slots =
      static_cast<void**>(_memoryManager.alloc(static_cast<size_t>(capacity) * sizeof(void*)));
  // Only the last slot was free: every other slot holds an object or a mark.
  std::memcpy(static_cast<void*>(slots), _idSlots,
              static_cast<size_t>(_idCapacity) * sizeof(void*));
  _memoryManager.free(_idSlots, static_cast<size_t>(_idCapacity) * sizeof(void*));
  for (QroInt i = _idCapacity; i < capacity - 1; ++i) slots[i] = &slots[i + 1];
  slots[capacity - 1] = &slots[capacity - 1];
  _idFree = &slots[_idCapacity];
  _idSlots = slots;
  _idCapacity = capacity;
}

QroInt QroEnvI::takeIdSlot(QroExtractableI* x) {
  void** head = _idFree;
  QroInt i = head - _idSlots;
  if (i != _idCapacity - 1) {
    _idFree = static_cast<void**>(*head);
    _idSlots[i] = x;
  } else {
    _idSlots[i] = x;  // the last free slot: grow, keeping it taken
    try {
      growIdTable();
    } catch (...) {
      _idSlots[i] = &_idSlots[i];
      throw;
    }
  }
  if (i >= _idCount) _idCount = i + 1;
  return i;
}

void QroEnvI::releaseIdSlot(QroInt i) {
  if (i < 0 || i >= _idCapacity || slotIsFree(_idSlots[i])) return;
  _idSlots[i] = _idFree;
  _idFree = &_idSlots[i];
  if (i == _idCount - 1) _idCount = i;
}

QroInt QroEnvI::newId() {
  return takeIdSlot(nullptr);
}

void QroEnvI::registerExtractable(QroExtractableI* x) {
  if (_localEnv) {
    x->setId(_localEnv->assignId(x));
    return;
  }
  x->setId(takeIdSlot(x));
  if (_useIndex) _useIndex->registered(x);
  if (_typeIndex) _typeIndex->registered(x);
  if (_listener) _listener->registered(x);
}

void QroEnvI::unregisterExtractable(QroExtractableI* x) {
  QroInt id = x->getId();
  if (id < 0) return;
  if (_localEnv) {
    _localEnv->releaseId(id);
    x->setId(-1);
    return;
  }
  if (_typeIndex) _typeIndex->unregistered(x);
  if (_useIndex) _useIndex->unregistered(id);
  releaseIdSlot(id);
  if (_listener) _listener->unregistered(x);
  x->setId(-1);
}

QroExtractableI* QroEnvI::getLiveSlot(QroInt id) const {
  if (id < 0 || id >= _idCapacity) return nullptr;
  void* content = _idSlots[id];
  if (!content || content == kMarked || slotIsFree(content)) return nullptr;
  return static_cast<QroExtractableI*>(content);
}

QroExtractableI* QroEnvI::getExtractable(QroInt id) const {
  if (id < 0 || id >= _idCapacity || slotIsFree(_idSlots[id]) || _idSlots[id] == kMarked)
    throw QroWrongUsage("this ID is not valid");
  return static_cast<QroExtractableI*>(_idSlots[id]);
}

QroBool QroEnvI::isMarked(QroInt id) const {
  return id >= 0 && id < _idCapacity && _idSlots[id] == kMarked;
}

void QroEnvI::unmarkSlot(QroInt id, QroExtractableI* x) {
  if (isMarked(id)) _idSlots[id] = x;
}

void QroEnvI::markSlot(QroInt id) {
  if (id >= 0 && id < _idCapacity && !slotIsFree(_idSlots[id])) _idSlots[id] = kMarked;
}

// ---------------------------------------------------------------------------
// Algorithms and change notification

void QroEnvI::addAlgorithm(QroAlgorithmI* a) {
  EnvLock lock(this);
  a->setNext(_algorithms);
  _algorithms = a;
}

void QroEnvI::removeAlgorithm(QroAlgorithmI* a) {
  {
    EnvLock lock(this);
    QroAlgorithmI* prev = nullptr;
    for (QroAlgorithmI* p = _algorithms; p; prev = p, p = p->getNext()) {
      if (p != a) continue;
      if (prev)
        prev->setNext(p->getNext());
      else
        _algorithms = p->getNext();
      p->setNext(nullptr);
      break;
    }
    if (_expander == a) _expander = nullptr;
  }
  if (_registry)
    _registry->forEachChangeListener([a](QroChangeListenerI* l) { l->algorithmRemoved(a); });
}

void QroEnvI::checkChange(QroChange* change, QroExtractableI* x) {
  QroInt id = x ? x->getId() : -1;
  if (x && id < 0) return;
  for (QroAlgorithmI* a = _algorithms; a; a = a->getNext())
    if (!x || a->isUsing(id)) a->checkChange(change, x);
}

QroBool QroEnvI::mayDestroy(QroExtractableI* x, std::exception_ptr& failure) {
  QroDestroyExtractable c(x);
  try {
    checkChange(&c, x);
  } catch (const QroNoChangeDuringSearchException&) {
    return 0;
  } catch (...) {
    if (!failure) failure = std::current_exception();
    return 0;
  }
  return 1;
}

namespace {
// Runs f; a failure is kept when it is the first one.
template <class F>
void keepFirstFailure(std::exception_ptr& first, F f) {
  try {
    f();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
}
}  // namespace

std::exception_ptr QroEnvI::tellChange(QroChange* change, QroExtractableI* x) {
  std::exception_ptr first;
  bool locked = x && _lockNotification && _lock;
  if (locked) lock();
  QroInt id = x ? x->getId() : -1;
  if (_registry) {
    _registry->forEachChangeListener([&](QroChangeListenerI* l) {
      QroAlgorithmI* a = x ? l->getAlgorithm() : nullptr;
      if (!a || a->isUsing(id)) keepFirstFailure(first, [&] { l->change(change, x); });
    });
  }
  for (QroAlgorithmI* a = _algorithms; a;) {
    QroAlgorithmI* next = a->getNext();
    if (!x)
      keepFirstFailure(first, [&] { a->change(change); });
    else if (a->isUsing(id))
      keepFirstFailure(first, [&] { a->changeExtractable(change, x); });
    a = next;
  }
  if (locked) unlock();
  return first;
}

void QroEnvI::notifyChangeMade(QroChange* change, QroExtractableI* x) {
  if (std::exception_ptr failure = tellChange(change, x)) std::rethrow_exception(failure);
}

void QroEnvI::notifyChange(QroChange* change) {
  checkChange(change);
  notifyChangeMade(change);
}

void QroEnvI::notifyChange(QroChange* change, QroExtractableI* x) {
  bool locked = _lockNotification && _lock;
  if (locked) lock();
  try {
    checkChange(change, x);
  } catch (...) {
    if (locked) unlock();
    throw;
  }
  if (locked) unlock();
  notifyChangeMade(change, x);
}

QroBool QroEnvI::isUsedByAnAlgorithm(QroInt id) const {
  for (QroAlgorithmI* a = _algorithms; a; a = a->getNext())
    if (a->isUsing(id)) return 1;
  return 0;
}

QroAlgorithmI* QroEnvI::getExpander() {
  if (!_expander && _expanderFactory) {
    QroLocalEnvI* local = _localEnv;
    _localEnv = nullptr;
    try {
      _expander = _expanderFactory(this);
    } catch (...) {
      _localEnv = local;
      throw;
    }
    _localEnv = local;
  }
  return _expander;
}

// ---------------------------------------------------------------------------
// Registries and caches

QroAny2BoolHashTable* QroEnvI::getObjectFlagTable() {
  QroLocalEnvSuspension permanent(this);
  if (!_objectFlags) _objectFlags = new (_generalAlloc) QroAny2BoolHashTable(_generalAlloc, 31);
  return _objectFlags;
}

QroExtractableTypeIndex* QroEnvI::getTypeIndex() {
  if (!_typeIndex) {
    QroLocalEnvI* local = _localEnv;
    _localEnv = nullptr;
    try {
      _typeIndex = new QroExtractableTypeIndex(this);
    } catch (...) {
      _localEnv = local;
      throw;
    }
    _localEnv = local;
  }
  return _typeIndex;
}

QroExtractableI* QroEnvI::getClone(QroExtractableI* x) {
  if (!x) return nullptr;
  if (!_cloneTable) _cloneTable = new QroCloneTable(this);
  return _cloneTable->getClone(x);
}

void QroEnvI::setCloner(QroClonerI* cloner) {
  if (!_cloneTable) _cloneTable = new QroCloneTable(this);
  _cloneTable->setCloner(cloner);
}

QroInt* QroEnvI::getScratchBlock() {
  if (!_scratchSupport) throw QroNotSupportedOperation("Operation Not Supported.");
  EnvLock lock(this);
  const QroInt header = 3;
  QroInt* prev = nullptr;
  for (QroInt* b = _scratchBlocks; b;) {
    ScratchHeader* h = reinterpret_cast<ScratchHeader*>(b);
    QroInt* next = h->next;
    if (!h->inUse) {
      if (h->capacity >= _idCount) {
        h->inUse = 1;
        std::memset(b + header, 0, static_cast<size_t>(h->capacity) * sizeof(QroInt));
        return b + header;
      }
      // Too small: unlink and release it.
      if (prev)
        reinterpret_cast<ScratchHeader*>(prev)->next = next;
      else
        _scratchBlocks = next;
      std::free(b);
      b = next;
      continue;
    }
    prev = b;
    b = next;
  }
  QroInt capacity = _idCount + kScratchExtra;
  QroInt* b =
      static_cast<QroInt*>(std::calloc(static_cast<size_t>(capacity + header), sizeof(QroInt)));
  if (!b) throw QroMemoryException();
  ScratchHeader* h = reinterpret_cast<ScratchHeader*>(b);
  h->next = _scratchBlocks;
  h->inUse = 1;
  h->capacity = capacity;
  _scratchBlocks = b;
  return b + header;
}

void QroEnvI::releaseScratchBlock(QroInt* words) {
  if (!words) return;
  EnvLock lock(this);
  reinterpret_cast<ScratchHeader*>(words - 3)->inUse = 0;
}

void QroEnvI::addToEndList(QroRtti* object) {
  if (!object) return;
  if (!_endIndex) _endIndex = new (_generalAlloc) QroAny2AnyHashTable(_generalAlloc, 31);
  if (_endIndex->contains(object)) return;
  if (_endCount == _endCapacity) {
    QroInt capacity = _endCapacity ? 2 * _endCapacity : 16;
    QroRtti** list = static_cast<QroRtti**>(
        _memoryManager.alloc(static_cast<size_t>(capacity) * sizeof(QroRtti*)));
    if (_endList) {
      std::memcpy(static_cast<void*>(list), _endList,
                  static_cast<size_t>(_endCount) * sizeof(QroRtti*));
      _memoryManager.free(_endList, static_cast<size_t>(_endCapacity) * sizeof(QroRtti*));
    }
    _endList = list;
    _endCapacity = capacity;
  }
  _endList[_endCount++] = object;
  _endIndex->add(object, object);
}

void QroEnvI::removeFromEndList(QroRtti* object) {
  if (!_endIndex || !_endIndex->remove(object)) return;
  for (QroInt i = 0; i < _endCount; ++i) {
    if (_endList[i] != object) continue;
    std::memmove(static_cast<void*>(_endList + i), _endList + i + 1,
                 static_cast<size_t>(_endCount - i - 1) * sizeof(QroRtti*));
    --_endCount;
    return;
  }
}

// ---------------------------------------------------------------------------
// Cascading destruction

void QroEnvI::endExtractable(QroExtractableI* x) {
  if (!x) return;
  if (_listener) {
    _listener->endExtractable(x);
    return;
  }
  if (_cascade) {
    _cascade->mark(x);
    return;
  }
  _cascade = _recycleBin;
  try {
    _recycleBin->run(x);
  } catch (...) {
    _cascade = nullptr;
    throw;
  }
  _cascade = nullptr;
}

void QroEnvI::destroyExtractable(QroExtractableI* x, QroBool keep, QroBool notify) {
  std::exception_ptr failure;
  // Its users allowed the destruction before its count fell.
  if (notify) {
    QroDestroyExtractable c(x);
    failure = tellChange(&c, x);
  }
  unregisterExtractable(x);
  if (_cascade && x->getUseCount() > 0 && !x->isNumVar()) _cascade->addToInUseTable(x);
  // The destructor releases x's operands, whose destructions may fail in
  // turn: nothing is thrown out of a destructor, the outermost throws.
  ++_destroying;
  if (!keep) delete x;
  if (--_destroying > 0) {
    if (failure && !_destroyFailure) _destroyFailure = failure;
    return;
  }
  if (!failure) failure = _destroyFailure;
  _destroyFailure = nullptr;
  if (failure) std::rethrow_exception(failure);
}

QroUseIndex* QroEnvI::getUseIndex() {
  if (!_useIndex) {
    QroUseIndex* index = new QroUseIndex(this);
    try {
      index->update();  // every live extractable
    } catch (...) {
      delete index;
      throw;
    }
    _useIndex = index;
  }
  return _useIndex;
}

void QroEnvI::noteUse(QroExtractableI* user, QroExtractableI* used) {
  if (_useIndex) _useIndex->addUse(user, used);
}

void QroEnvI::noteUsesChanged(QroExtractableI* x) {
  if (_useIndex) _useIndex->usesChanged(x);
}

QroBool QroEnvI::isReleasedByCascade(QroExtractableI* x) const {
  if (_ending) return 1;
  return _cascade && _cascade->isInUseTable(x);
}

// ---------------------------------------------------------------------------
// Handle

QroEnv::QroEnv() : _impl(nullptr) {
  QroEnvI* impl = new (std::nothrow) QroEnvI();
  if (!impl) throw QroMemoryException();
  _impl = impl;
}

void QroEnv::end() {
  if (!_impl) return;
  delete _impl;
  _impl = nullptr;
}

QroMemoryManager QroEnv::getMemoryManager(QroMemoryManager& mm) const {
  mm = QroMemoryManager(check()->getGeneralAllocator());
  return mm;
}
