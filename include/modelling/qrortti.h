// Run-time type scheme. Every class of the scheme carries a static type record
// whose address is its type token; the record names the run-time type parent,
// so tokens form a chain that QroParentTypeInfo climbs. Type indexes are
// handed out lazily, 1, 2, ... in order of first request, from any thread.
#ifndef QRO_RTTI_H
#define QRO_RTTI_H

#include <atomic>

#include "qrotypes.h"

struct QroTypeRecord {
  const QroTypeRecord* parent;  // null for QroRtti
  const char* className;
  const char* declaration;    // "QROSIMPLECLASS ( X )"
  std::atomic<QroInt> index;  // 0 until assigned
};

typedef const QroTypeRecord* QroTypeInfo;

// Optional process-wide lock around the numbering of classes; without one the
// numbering takes a lock of its own.
class QroTypeRegistryLock {
 public:
  virtual ~QroTypeRegistryLock() {}
  virtual void lock() = 0;
  virtual void unlock() = 0;
};

void QroSetTypeRegistryLock(QroTypeRegistryLock* lock);
QroTypeRegistryLock* QroGetTypeRegistryLock();

// The record's index, assigned from the global counter on first request.
QroInt QroAssignTypeIndex(QroTypeRecord* record);
// The token of a token's run-time type parent (null above QroRtti).
inline QroTypeInfo QroParentTypeInfo(QroTypeInfo t) {
  return t ? t->parent : nullptr;
}
// True when t is the token of `own` or of one of its run-time type ancestors.
bool QroTypeIsA(QroTypeInfo own, QroTypeInfo t);

class QroRtti {
 public:
  static QroTypeRecord _qroTypeRecord;
  static QroTypeInfo GetTypeInfo() { return &_qroTypeRecord; }
  // The root carries no number of its own.
  static QroInt GetTypeIndex() { return 0; }

  virtual ~QroRtti() {}
  virtual QroInt getTypeIndex() const { return 0; }
  virtual QroTypeInfo getTypeInfo() const { return &_qroTypeRecord; }
  virtual QroBool isType(QroTypeInfo t) const { return t == &_qroTypeRecord; }
  virtual const char* getClassName() const = 0;
  virtual QroTypeInfo getParentTypeInfo() const { return nullptr; }
  virtual QroInt getParentTypeIndex() const { return 0; }
};

// Declares the type record of class X whose run-time type parent is P, with
// an explicit class name (templates use their own text).
#define QROSIMPLECLASS_NAMED(X, P, NAME)                                         \
 public:                                                                         \
  static inline QroTypeRecord _qroTypeRecord = {&P::_qroTypeRecord, NAME,        \
                                                "QROSIMPLECLASS ( " #X " )", 0}; \
  static QroTypeInfo GetTypeInfo() {                                             \
    return &_qroTypeRecord;                                                      \
  }                                                                              \
  static QroInt GetTypeIndex() {                                                 \
    QroInt i = _qroTypeRecord.index.load(std::memory_order_acquire);             \
    return i ? i : QroAssignTypeIndex(&_qroTypeRecord);                          \
  }                                                                              \
  QroInt getTypeIndex() const override {                                         \
    return _qroTypeRecord.index.load(std::memory_order_acquire);                 \
  }                                                                              \
  QroTypeInfo getTypeInfo() const override {                                     \
    return &_qroTypeRecord;                                                      \
  }                                                                              \
  QroBool isType(QroTypeInfo t) const override {                                 \
    return QroTypeIsA(&_qroTypeRecord, t);                                       \
  }                                                                              \
  const char* getClassName() const override {                                    \
    return NAME;                                                                 \
  }                                                                              \
  QroTypeInfo getParentTypeInfo() const override {                               \
    return &P::_qroTypeRecord;                                                   \
  }                                                                              \
  QroInt getParentTypeIndex() const override {                                   \
    return P::GetTypeIndex();                                                    \
  }                                                                              \
                                                                                 \
 public:

// Declares the type record of X, whose run-time type parent is P.
#define QROSIMPLECLASS(X, P) QROSIMPLECLASS_NAMED(X, P, #X)

#endif
