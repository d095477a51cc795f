// The engine manager's general allocator: storage on the manager's heap,
// reversible saves on its trail.
#ifndef QRC_GENALLOC_H
#define QRC_GENALLOC_H

#include "qroobject.h"
#include "qrctypes.h"

class QrcGenAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QrcGenAlloc, QroGenAlloc)
 public:
  explicit QrcGenAlloc(QrcManagerI* manager) : _manager(manager) {}
  ~QrcGenAlloc() override;
  void* alloc(size_t size) override;
  // Heap storage goes back in bulk on backtracking; nothing to do here.
  void free(void*, size_t) override {}
  void saveValue(void* cell) override;
  void saveValue2(void* cell) override;
  void saveValue3(void* cell) override;
  // A copy of the text on the manager's heap.
  const char* internString(const char* text) override;
  QrcManagerI* getManager() const { return _manager; }

 private:
  QrcManagerI* _manager;
};

#endif
