#include "qrortti.h"

namespace {
QroInt g_typeCounter = 0;
QroTypeRegistryLock* g_typeLock = nullptr;
}  // namespace

QroTypeRecord QroRtti::_qroTypeRecord = {nullptr, "QroRtti", "QROSIMPLECLASS ( QroRtti )", 0};

void QroSetTypeRegistryLock(QroTypeRegistryLock* lock) {
  g_typeLock = lock;
}

QroTypeRegistryLock* QroGetTypeRegistryLock() {
  return g_typeLock;
}

QroInt QroAssignTypeIndex(QroTypeRecord* record) {
  if (record->index) return record->index;
  QroTypeRegistryLock* lock = g_typeLock;
  if (lock) {
    lock->lock();
    if (!record->index) record->index = ++g_typeCounter;
    lock->unlock();
  } else {
    record->index = ++g_typeCounter;
  }
  return record->index;
}

bool QroTypeIsA(QroTypeInfo own, QroTypeInfo t) {
  for (QroTypeInfo r = own; r; r = r->parent)
    if (r == t) return true;
  return false;
}
