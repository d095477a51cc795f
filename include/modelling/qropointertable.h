// A table from non-null pointers to pointers held in one array (open
// addressing, linear probing), its storage on an environment's memory manager:
// one probe sequence per look-up and no allocation per entry.
#ifndef QRO_POINTER_TABLE_H
#define QRO_POINTER_TABLE_H

#include "qroallocator.h"

class QroPointerTable {
 public:
  explicit QroPointerTable(QroEnvMemoryManager* mm)
      : _mm(mm), _slots(nullptr), _capacity(0), _count(0) {}
  ~QroPointerTable() { clear(); }
  QroPointerTable(const QroPointerTable&) = delete;
  QroPointerTable& operator=(const QroPointerTable&) = delete;

  // The value of the key, or null.
  void* find(const void* key) const;
  // Adds the key or replaces its value.
  void set(const void* key, void* value);
  // Removes the key; its value, or null.
  void* take(const void* key);
  // Removes every key and gives the storage back.
  void clear();
  bool isEmpty() const { return _count == 0; }

 private:
  struct Slot {
    const void* key;
    void* value;
  };
  QroInt home(const void* key) const;
  QroInt slotOf(const void* key) const;
  void grow();

  QroEnvMemoryManager* _mm;
  Slot* _slots;
  QroInt _capacity;  // 0 or a power of two
  QroInt _count;
};

#endif
