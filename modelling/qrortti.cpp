#include "qrortti.h"

#include <mutex>

namespace {
QroInt g_typeCounter = 0;
std::atomic<QroTypeRegistryLock*> g_typeLock{nullptr};
// Guards the numbering when no lock is installed.
std::mutex g_typeMutex;
}  // namespace

QroTypeRecord QroRtti::_qroTypeRecord = {nullptr, "QroRtti", "QROSIMPLECLASS ( QroRtti )", 0};

void QroSetTypeRegistryLock(QroTypeRegistryLock* lock) {
  g_typeLock.store(lock);
}

QroTypeRegistryLock* QroGetTypeRegistryLock() {
  return g_typeLock.load();
}

QroInt QroAssignTypeIndex(QroTypeRecord* record) {
  QroInt index = record->index.load(std::memory_order_acquire);
  if (index) return index;
  QroTypeRegistryLock* lock = g_typeLock.load();
  if (lock) {
    lock->lock();
  } else {
    g_typeMutex.lock();
  }
  index = record->index.load(std::memory_order_relaxed);
  if (!index) {
    index = ++g_typeCounter;
    record->index.store(index, std::memory_order_release);
  }
  if (lock) {
    lock->unlock();
  } else {
    g_typeMutex.unlock();
  }
  return index;
}

bool QroTypeIsA(QroTypeInfo own, QroTypeInfo t) {
  for (QroTypeInfo r = own; r; r = r->parent)
    if (r == t) return true;
  return false;
}
