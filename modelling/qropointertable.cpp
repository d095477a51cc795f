#include "qropointertable.h"

#include <cstring>

#include "qrohash.h"

QroInt QroPointerTable::home(const void* key) const {
  return QroHashAddress(key, _capacity);
}

// The slot holding the key, else the empty slot where it would go (-1 when
// there are no slots).
QroInt QroPointerTable::slotOf(const void* key) const {
  if (_capacity == 0) return -1;
  QroInt mask = _capacity - 1;
  QroInt i = home(key);
  while (_slots[i].key && _slots[i].key != key) i = (i + 1) & mask;
  return i;
}

void* QroPointerTable::find(const void* key) const {
  QroInt i = slotOf(key);
  return i >= 0 && _slots[i].key ? _slots[i].value : nullptr;
}

void QroPointerTable::set(const void* key, void* value) {
  if (2 * (_count + 1) > _capacity) grow();
  QroInt i = slotOf(key);
  if (!_slots[i].key) {
    _slots[i].key = key;
    ++_count;
  }
  _slots[i].value = value;
}

// Removes by shifting back the entries that probed past the freed slot.
void* QroPointerTable::take(const void* key) {
  QroInt i = slotOf(key);
  if (i < 0 || !_slots[i].key) return nullptr;
  void* value = _slots[i].value;
  QroInt mask = _capacity - 1;
  for (QroInt j = (i + 1) & mask; _slots[j].key; j = (j + 1) & mask) {
    QroInt k = home(_slots[j].key);
    // The entry at j may move to i when its home is not within (i, j].
    bool between = i <= j ? (i < k && k <= j) : (i < k || k <= j);
    if (between) continue;
    _slots[i] = _slots[j];
    i = j;
  }
  _slots[i].key = nullptr;
  _slots[i].value = nullptr;
  --_count;
  return value;
}

void QroPointerTable::grow() {
  Slot* old = _slots;
  QroInt oldCapacity = _capacity;
  _capacity = oldCapacity ? 2 * oldCapacity : 16;
  _slots = static_cast<Slot*>(_mm->alloc(static_cast<size_t>(_capacity) * sizeof(Slot)));
  std::memset(static_cast<void*>(_slots), 0, static_cast<size_t>(_capacity) * sizeof(Slot));
  _count = 0;
  for (QroInt i = 0; i < oldCapacity; ++i)
    if (old[i].key) set(old[i].key, old[i].value);
  if (old) _mm->free(old, static_cast<size_t>(oldCapacity) * sizeof(Slot));
}

void QroPointerTable::clear() {
  if (_slots) _mm->free(_slots, static_cast<size_t>(_capacity) * sizeof(Slot));
  _slots = nullptr;
  _capacity = 0;
  _count = 0;
}
