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
  _manager->saveValue(cell);
}

void QrcGenAlloc::saveValue3(void* cell) {
  _manager->saveValue(cell);
}

const char* QrcGenAlloc::internString(const char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(_manager->allocate(n));
  std::memcpy(copy, text, n);
  return copy;
}
