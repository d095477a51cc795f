#include "qrcgenalloc.h"

#include <cstring>

#include "qrcmanager.h"

QrcGenAlloc::~QrcGenAlloc() {}

void* QrcGenAlloc::alloc(size_t size) {
  return _manager->allocate(size);
}

void QrcGenAlloc::saveValue(void* cell) {
  _manager->saveValue(cell);
}

void QrcGenAlloc::saveValue2(void* cell) {
  QrcWord* w = static_cast<QrcWord*>(cell);
  _manager->saveValue(w);
  _manager->saveValue(w + 1);
}

void QrcGenAlloc::saveValue3(void* cell) {
  QrcWord* w = static_cast<QrcWord*>(cell);
  _manager->saveValue(w);
  _manager->saveValue(w + 1);
  _manager->saveValue(w + 2);
}

const char* QrcGenAlloc::internString(const char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(_manager->allocate(n));
  std::memcpy(copy, text, n);
  return copy;
}
