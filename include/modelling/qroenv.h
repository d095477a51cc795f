// The environment: root of the modelling layer. It owns the memory manager,
// the general allocator, the symbol table, the output streams and, through
// the registries, every modelling object allocated in it.
#ifndef QRO_ENV_H
#define QRO_ENV_H

#include <cstddef>
#include <exception>
#include <ostream>
#include <streambuf>

#include "qroallocator.h"
#include "qroexception.h"
#include "qrohash.h"
#include "qroobject.h"
#include "qrosymbol.h"

class QroEnvI;
class QroExtractableI;
class QroAlgorithmI;
class QroChange;
class QroPlugInRegistry;
class QroRecycleBinI;
class QroCloneTable;
class QroExtractableTypeIndex;
class QroPlugInAddon;
class QroIntRangeI;
class QroNumRangeI;
class QroNumExprI;
class QroNumVarI;
class QroVarDomainI;
struct QroLinearNode;
struct QroQuadNode;
class QroIntSharedDomainHash;
class QroNumSharedDomainHash;
class QroUseIndex;

// Processor-time timer: accumulated seconds plus the running interval.
struct QroCpuTimer {
  QroGenAlloc* allocator;
  double accumulated;
  double start;
  QroBool running;

  explicit QroCpuTimer(QroGenAlloc* a = nullptr)
      : allocator(a), accumulated(0), start(-1.0), running(0) {}
  // The first read starts the timer and returns the accumulated value.
  double read();
  void restart();
  void clear();
};

// Told when extractables are registered, unregistered and ended; when one is
// installed, ending an extractable is left to it.
class QroExtractableListenerI {
 public:
  virtual ~QroExtractableListenerI();
  virtual void registered(QroExtractableI* x) = 0;
  virtual void unregistered(QroExtractableI* x) = 0;
  virtual void endExtractable(QroExtractableI* x) = 0;
};

// Receives the changes sent by the environment. A listener bound to an
// algorithm hears changes of an extractable only when that algorithm uses it.
class QroChangeListenerI {
 public:
  virtual ~QroChangeListenerI();
  virtual QroAlgorithmI* getAlgorithm() const { return nullptr; }
  virtual void change(QroChange* change, QroExtractableI* x) = 0;
  virtual void algorithmRemoved(QroAlgorithmI*) {}
};

// Makes clones for QroEnvI::getClone; null means "use the extractable's own".
class QroClonerI {
 public:
  virtual ~QroClonerI();
  virtual QroExtractableI* makeClone(QroEnvI* env, QroExtractableI* x) = 0;
};

typedef QroAlgorithmI* (*QroAlgorithmFactory)(QroEnvI* env);

// Redirects allocation and numbering of an environment while installed.
class QroLocalEnvI {
 public:
  explicit QroLocalEnvI(QroEnvI* env) : _env(env), _previous(nullptr) {}
  virtual ~QroLocalEnvI();
  virtual void* alloc(size_t size) = 0;
  virtual void free(void* p, size_t size) = 0;
  // The base takes a slot of the environment's identifier table.
  virtual QroInt assignId(QroExtractableI* object);
  // Each records the one word at the address for undoing (as QroGenAlloc's).
  virtual void saveValue(void* cell) = 0;
  virtual void saveValue2(void* cell) = 0;
  virtual void saveValue3(void* cell) = 0;
  // The base frees the slot as unregistering does.
  virtual void releaseId(QroInt id);

  QroEnvI* getEnv() const { return _env; }
  QroLocalEnvI* getPrevious() const { return _previous; }
  void setPrevious(QroLocalEnvI* previous) { _previous = previous; }

 protected:
  QroEnvI* _env;
  QroLocalEnvI* _previous;
};

// Suspends an environment's local environment for a scope: what is made
// meanwhile lives as long as the environment itself.
class QroLocalEnvSuspension {
 public:
  explicit QroLocalEnvSuspension(QroEnvI* env);
  ~QroLocalEnvSuspension();
  QroLocalEnvSuspension(const QroLocalEnvSuspension&) = delete;
  QroLocalEnvSuspension& operator=(const QroLocalEnvSuspension&) = delete;

 private:
  QroEnvI* _env;
  QroLocalEnvI* _saved;
};

// Optional lock of an environment; it must let its holder lock again.
class QroEnvLockI {
 public:
  virtual ~QroEnvLockI() {}
  virtual void lock() = 0;
  virtual void unlock() = 0;
  virtual void destroy() = 0;
};

// A stream buffer that discards everything.
class QroPrivateBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

class QroNullStream : public std::ostream {
 public:
  explicit QroNullStream(QroPrivateBuf* buf) : std::ostream(buf) {}
};

class QroEnvI {
 public:
  enum Flags { PoolingFlag = 1, ParenthesisDisplayFlag = 32 };

  QroEnvI();
  ~QroEnvI();
  QroEnvI(const QroEnvI&) = delete;
  QroEnvI& operator=(const QroEnvI&) = delete;

  // Memory. Both check the owner thread (when the check is on), then whether
  // allocation is disabled; a local environment takes the request when set.
  void* alloc(size_t size);
  void free(void* p, size_t size);
  // 24-byte linear-term cells and 32-byte pair records.
  void* alloc24();
  void free24(void* p);
  void* alloc32();
  void free32(void* p);

  QroEnvMemoryManager* getMemoryManager() { return &_memoryManager; }
  QroFlormAlloc* getGeneralAllocator() const { return _generalAlloc; }
  QroMemoryPool* getPool24() const { return _pool24; }
  QroMemoryPool* getPool32() const { return _pool32; }
  QroBool usesPooling() const { return _pooling; }

  QroLocalEnvI* getLocalEnv() const { return _localEnv; }
  void setLocalEnv(QroLocalEnvI* local) { _localEnv = local; }

  // Owner-thread check: binds allocation to the calling thread when switched on.
  void setOwnerThreadCheck(QroBool on);
  QroBool isOwnerThread() const;
  void setAllocationDisabled(QroBool on) { _allocationDisabled = on ? 1 : 0; }
  QroBool isAllocationDisabled() const { return _allocationDisabled; }
  void setNotificationLocking(QroBool on) { _lockNotification = on ? 1 : 0; }
  QroBool usesNotificationLocking() const { return _lockNotification; }

  // Lock object (owned; destroyed with the environment).
  void setLock(QroEnvLockI* lock) { _lock = lock; }
  QroEnvLockI* getLock() const { return _lock; }
  void lock() const {
    if (_lock) _lock->lock();
  }
  void unlock() const {
    if (_lock) _lock->unlock();
  }

  // Interned texts.
  const char* internString(const char* text);
  QroSymbolI* getSymbol(const char* text) { return _symbols->intern(text); }
  QroSymbolTable* getSymbolTable() const { return _symbols; }

  // Streams.
  std::ostream& out() const { return *_out; }
  std::ostream& warning() const { return *_warning; }
  std::ostream& error() const { return *_error; }
  std::ostream& getNullStream() { return *_nullStream; }
  void setOut(std::ostream& os) { _out = &os; }
  void setWarning(std::ostream& os) { _warning = &os; }
  void setError(std::ostream& os) { _error = &os; }

  // Display flags.
  QroInt getFlags() const { return _flags; }
  QroBool isParenthesisDisplay() const { return (_flags & ParenthesisDisplayFlag) != 0; }
  void setParenthesisDisplay(QroBool on) {
    if (on)
      _flags |= ParenthesisDisplayFlag;
    else
      _flags &= ~static_cast<QroInt>(ParenthesisDisplayFlag);
  }

  // Processor time since the environment started.
  double getTime() const;

  QroBool isEnding() const { return _ending; }
  void setEnding(QroBool on) { _ending = on ? 1 : 0; }

  // Identifiers: dense from 0; a released identifier is the first reused.
  void registerExtractable(QroExtractableI* x);
  void unregisterExtractable(QroExtractableI* x);
  // A reserved identifier whose slot holds null.
  QroInt newId();
  // The live extractable with that identifier; QroWrongUsage "this ID is not valid".
  QroExtractableI* getExtractable(QroInt id) const;
  // One more than the highest identifier in use.
  QroInt getIdCount() const { return _idCount; }
  QroInt getIdCapacity() const { return _idCapacity; }
  // The slot content as an extractable, null when free, reserved or marked.
  QroExtractableI* getLiveSlot(QroInt id) const;
  // Base of the local environment's identifier operations.
  QroInt takeIdSlot(QroExtractableI* x);
  void releaseIdSlot(QroInt id);
  // Cascade marks: the slot holds -1 while marked.
  QroBool isMarked(QroInt id) const;
  void markSlot(QroInt id);
  // Puts a marked object back in its slot (a refused cascade).
  void unmarkSlot(QroInt id, QroExtractableI* x);

  // Algorithms.
  void addAlgorithm(QroAlgorithmI* a);
  void removeAlgorithm(QroAlgorithmI* a);
  QroAlgorithmI* getFirstAlgorithm() const { return _algorithms; }

  // Change notification. Whatever changes the model asks first, then changes,
  // then tells: checkChange asks every algorithm that the change would
  // reach (the users of x; all of them when x is null) whether it may happen,
  // and throws QroNoChangeDuringSearchException, with nothing changed, when
  // one refuses. A change made cannot be refused any more: tellChange hands
  // it to every change listener and algorithm it reaches, each of them even
  // when another fails to apply it, and returns the first failure, which the
  // caller throws once the change is complete.
  void checkChange(QroChange* change, QroExtractableI* x = nullptr);
  // Whether the users of x allow its destruction (QroDestroyExtractable).
  // What a deletion would end only because its last holder goes is kept,
  // with no holder, when they refuse: nobody asked for its end. A refusal
  // other than QroNoChangeDuringSearchException keeps x too and goes to
  // failure (unless it holds one already), for the caller to throw once its
  // destruction is done.
  QroBool mayDestroy(QroExtractableI* x, std::exception_ptr& failure);
  [[nodiscard]] std::exception_ptr tellChange(QroChange* change, QroExtractableI* x = nullptr);
  // Tells a change asked about and made; throws the first failure.
  void notifyChangeMade(QroChange* change, QroExtractableI* x = nullptr);
  // Asks, then tells and throws the first failure: for a change that nothing
  // asked about before it was made, no algorithm hears of it when one refuses.
  void notifyChange(QroChange* change);
  void notifyChange(QroChange* change, QroExtractableI* x);
  // True when an algorithm has extracted the extractable with that identifier.
  QroBool isUsedByAnAlgorithm(QroInt id) const;

  // Registries and caches.
  QroPlugInRegistry* getPlugInRegistry() const { return _registry; }
  QroRecycleBinI* getRecycleBin() const { return _recycleBin; }
  QroRecycleBinI* getCascade() const { return _cascade; }
  QroAny2BoolHashTable* getObjectFlagTable();
  QroAny2BoolHashTable* findObjectFlagTable() const { return _objectFlags; }
  QroExtractableTypeIndex* getTypeIndex();
  QroExtractableListenerI* getExtractableListener() const { return _listener; }
  // The listener is owned (deleted at teardown).
  void setExtractableListener(QroExtractableListenerI* l) { _listener = l; }

  // The environment's clone of x, made once per outermost call.
  QroExtractableI* getClone(QroExtractableI* x);
  void setCloner(QroClonerI* cloner);

  // Cascading destruction.
  void endExtractable(QroExtractableI* x);
  // The users of each extractable (made on first use, by the first cascade).
  QroUseIndex* getUseIndex();
  QroUseIndex* findUseIndex() const { return _useIndex; }
  // user now also uses used / what x uses may have changed (see
  // QroExtractableI::visitUses).
  void noteUse(QroExtractableI* user, QroExtractableI* used);
  void noteUsesChanged(QroExtractableI* x);
  void destroyExtractable(QroExtractableI* x, QroBool keep, QroBool notify);
  // True when x was deleted by the running cascade (or the environment ends).
  QroBool isReleasedByCascade(QroExtractableI* x) const;

  // Scratch blocks of at least the identifier count in words.
  void setScratchBlockSupport(QroBool on) { _scratchSupport = on ? 1 : 0; }
  QroBool usesScratchBlocks() const { return _scratchSupport; }
  QroInt* getScratchBlock();
  void releaseScratchBlock(QroInt* words);

  // Objects (QroRtti) deleted when the environment ends.
  void addToEndList(QroRtti* object);
  void removeFromEndList(QroRtti* object);

  // Factories of the expander and of model evaluators.
  void setExpanderFactory(QroAlgorithmFactory f) { _expanderFactory = f; }
  void setModelEvaluatorFactory(QroAlgorithmFactory f) { _evaluatorFactory = f; }
  QroAlgorithmFactory getModelEvaluatorFactory() const { return _evaluatorFactory; }
  QroAlgorithmI* getExpander();

  // The solver's extra XML add-on slot.
  QroPlugInAddon* getExtraXmlAddon() const { return _extraXmlAddon; }
  void setExtraXmlAddon(QroPlugInAddon* a) { _extraXmlAddon = a; }

  // Linear-term nodes {variable, next = null, coefficient} and pair nodes
  // {operand with the larger identifier, other, next = null, coefficient}.
  QroLinearNode* allocLinearTerm(QroNumVarI* var, QroNum coef);
  void freeLinearTerm(QroLinearNode* n);
  QroQuadNode* allocPairTerm(QroNumVarI* a, QroNumVarI* b, QroNum coef);
  void freePairTerm(QroQuadNode* n);

  // Releases a sub-expression from a destructor: nothing while ending or when
  // the running cascade already deleted it.
  void releaseExpression(QroNumExprI* e);

  // Shared variable domains: null for the default [0, +infinity]; an unshared
  // domain while a local environment is installed.
  QroVarDomainI* makeNumVarDomain(QroNum lb, QroNum ub);
  QroVarDomainI* makeIntVarDomain(QroInt lb, QroInt ub);

  // Shared-domain caches (made on first use).
  QroIntRangeI*& intRangeScratch() { return _intRangeScratch; }
  QroNumRangeI*& numRangeScratch() { return _numRangeScratch; }
  QroIntSharedDomainHash*& intDomainHash() { return _intDomainHash; }
  QroNumSharedDomainHash*& numDomainHash() { return _numDomainHash; }

  // Ends everything in the order of teardown.
  void teardown();

 private:
  // Makes what the constructor's initialisers leave empty.
  void makeMembers();
  void checkAllocation() const;
  void release();
  bool slotIsFree(void* content) const;
  void growIdTable();

  QroInt _flags;
  QroBool _pooling;
  QroEnvMemoryManager _memoryManager;
  QroLocalEnvI* _localEnv;
  QroBool _lockNotification;
  QroBool _allocationDisabled;
  QroBool _checkThread;
  QroUInt* _ownerThread;
  QroSymbolTable* _symbols;
  QroMemoryPool* _pool24;
  QroMemoryPool* _pool32;
  std::ostream* _out;
  std::ostream* _warning;
  std::ostream* _error;
  QroPrivateBuf* _nullBuf;
  QroNullStream* _nullStream;
  double _cpuStart;
  QroBool _ending;
  QroFlormAlloc* _generalAlloc;
  QroEnvLockI* _lock;

  void** _idSlots;
  QroInt _idCount;
  QroInt _idCapacity;
  void** _idFree;
  QroExtractableTypeIndex* _typeIndex;
  QroAlgorithmI* _algorithms;
  QroPlugInRegistry* _registry;
  QroRecycleBinI* _cascade;
  QroRecycleBinI* _recycleBin;
  QroUseIndex* _useIndex;
  // Destructions under way, and the first failure heard in one that ran
  // inside another's destructor: thrown once the outermost is done.
  QroInt _destroying = 0;
  std::exception_ptr _destroyFailure;
  QroCloneTable* _cloneTable;
  QroAny2BoolHashTable* _objectFlags;
  QroExtractableListenerI* _listener;
  QroAlgorithmI* _expander;
  QroAlgorithmFactory _expanderFactory;
  QroAlgorithmFactory _evaluatorFactory;
  QroBool _scratchSupport;
  QroInt* _scratchBlocks;
  QroRtti** _endList;
  QroInt _endCount;
  QroInt _endCapacity;
  QroAny2AnyHashTable* _endIndex;
  QroPlugInAddon* _extraXmlAddon;
  QroIntRangeI* _intRangeScratch;
  QroNumRangeI* _numRangeScratch;
  QroIntSharedDomainHash* _intDomainHash;
  QroNumSharedDomainHash* _numDomainHash;
};

// Handle of an environment; null is the empty handle.
class QroEnv {
 public:
  class IncompatibleMemoryManagerException : public QroException {
   public:
    IncompatibleMemoryManagerException() : QroException("Incompatible memory manager") {}
    ~IncompatibleMemoryManagerException() override;
  };

  // Creates an environment.
  QroEnv();
  QroEnv(QroEnvI* impl) : _impl(impl) {}
  QroEnvI* getImpl() const { return _impl; }

  // Destroys the environment and everything allocated in it; the handle is
  // empty afterwards.
  void end();

  std::ostream& out() const { return check()->out(); }
  std::ostream& warning() const { return check()->warning(); }
  std::ostream& error() const { return check()->error(); }
  std::ostream& getNullStream() const { return check()->getNullStream(); }
  void setOut(std::ostream& os) const { check()->setOut(os); }
  void setWarning(std::ostream& os) const { check()->setWarning(os); }
  void setError(std::ostream& os) const { check()->setError(os); }
  double getTime() const { return check()->getTime(); }
  // Fills the handle with the environment's general allocator and returns it.
  QroMemoryManager getMemoryManager(QroMemoryManager& mm) const;

 private:
  QroEnvI* check() const {
    if (!_impl) QroAbortEmptyHandle("Using empty QroEnv handle");
    return _impl;
  }

  QroEnvI* _impl;
};

#endif
