#include "qroenv.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

#include "qroplatform.h"

QroLocalEnvI::~QroLocalEnvI() {}

QroInt QroLocalEnvI::assignId(QroExtractableI*) { return -1; }

void QroLocalEnvI::releaseId(QroInt) {}

QroEnv::IncompatibleMemoryManagerException::~IncompatibleMemoryManagerException() {}

namespace {
QroBool poolingWanted() { return qroplatform::getEnv("QRO_NO_MEMORY_MANAGER") ? 0 : 1; }
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
      _lock(nullptr) {
  try {
    _nullBuf = new QroPrivateBuf();
    _nullStream = new QroNullStream(_nullBuf);
    if (_pooling) _flags |= PoolingFlag;
    _cpuStart = qroplatform::processCpuSeconds();
    _generalAlloc = new QroFlormAlloc(this);
    _symbols = new (_generalAlloc) QroSymbolTable(this, 31);
    _pool24 = new QroMemoryPool(24, _pooling);
    _pool32 = new QroMemoryPool(32, _pooling);
  } catch (const std::bad_alloc&) {
    release();
    throw QroMemoryException();
  } catch (...) {
    release();
    throw;
  }
}

QroEnvI::~QroEnvI() { release(); }

void QroEnvI::release() {
  _checkThread = 0;
  if (_ownerThread) {
    delete _ownerThread;
    _ownerThread = nullptr;
  }
  if (_symbols) {
    delete _symbols;
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
  delete _nullStream;
  _nullStream = nullptr;
  delete _nullBuf;
  _nullBuf = nullptr;
}

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
  lock();
  const char* result;
  try {
    result = _symbols->intern(text)->getText();
  } catch (...) {
    unlock();
    throw;
  }
  unlock();
  return result;
}

double QroEnvI::getTime() const { return qroplatform::processCpuSeconds() - _cpuStart; }

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
