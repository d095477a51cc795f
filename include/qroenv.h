// The environment: root of the modelling layer. It owns the memory manager,
// the general allocator, the symbol table, the output streams and, through
// the registries, every modelling object allocated in it.
#ifndef QRO_ENV_H
#define QRO_ENV_H

#include <cstddef>
#include <ostream>
#include <streambuf>

#include "qroallocator.h"
#include "qroexception.h"
#include "qrohash.h"
#include "qroobject.h"
#include "qrosymbol.h"

class QroEnvI;
class QroExtractableI;

// Redirects allocation and numbering of an environment while installed.
class QroLocalEnvI {
 public:
  explicit QroLocalEnvI(QroEnvI* env) : _env(env), _previous(nullptr) {}
  virtual ~QroLocalEnvI();
  virtual void* alloc(size_t size) = 0;
  virtual void free(void* p, size_t size) = 0;
  // The base takes a slot of the environment's identifier table.
  virtual QroInt assignId(QroExtractableI* object);
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

 private:
  void checkAllocation() const;
  void release();

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
