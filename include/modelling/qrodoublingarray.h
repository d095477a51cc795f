// A growable array: room for 4 elements at first, doubled when full, storage
// from a QroGenAlloc. The element count, capacity and storage pointer are
// saved through the allocator before each change, so an engine allocator
// undoes growth and appends on backtracking. Elements are trivially copyable
// words (integers, pointers, one-word handles) or doubling arrays themselves,
// which growth moves whole. Every access checks its index.
#ifndef QRO_DOUBLINGARRAY_H
#define QRO_DOUBLINGARRAY_H

#include <cstring>
#include <type_traits>

#include "qroexception.h"
#include "qroobject.h"
#include "qrotypes.h"

template <class T>
class QroDoublingArray {
  static_assert(std::is_trivially_copyable<T>::value, "elements are copied as words");

 public:
  class OutOfBoundOperation : public QroException {
   public:
    OutOfBoundOperation()
        : QroException("You tried to access elements of an array outside its bounds") {}
  };

  // No storage and no allocator: a placeholder to be assigned.
  QroDoublingArray() : _data(nullptr), _capacity(0), _size(0), _allocator(nullptr) {}
  explicit QroDoublingArray(QroGenAlloc* allocator)
      : _data(nullptr), _capacity(4), _size(0), _allocator(allocator) {
    _data = allocate(4);
  }

  T& operator[](QroInt i) {
    if (i < 0 || i >= _size) outOfBounds();
    return _data[i];
  }
  const T& operator[](QroInt i) const {
    if (i < 0 || i >= _size) outOfBounds();
    return _data[i];
  }

  void add(const T& x) {
    if (_size == _capacity) grow(2 * _capacity);
    _allocator->saveValue(&_size);
    _data[_size] = x;
    _size = _size + 1;
  }

  // Keeps the first n elements (0 <= n <= the count).
  void truncate(QroInt n) {
    if (n < 0 || n > _size) outOfBounds();
    _allocator->saveValue(&_size);
    _size = n;
  }

  // Room for at least n elements (n = 0 counts as 4).
  void grow(QroInt n) {
    QroInt target = n == 0 ? 4 : n;
    if (target <= _capacity) return;
    T* old = _data;
    QroInt c = _capacity;
    _allocator->saveValue(&_capacity);
    _capacity = c == 0 ? 4 : c;
    _allocator->saveValue(&_data);
    while (_capacity < target) _capacity *= 2;
    _data = allocate(_capacity);
    if (c > 0) {
      std::memcpy(static_cast<void*>(_data), static_cast<const void*>(old),
                  static_cast<size_t>(c) * sizeof(T));
      _allocator->free(old, static_cast<size_t>(c) * sizeof(T));
    }
  }

  // Returns the storage to the allocator.
  void release() {
    if (_data && _allocator) _allocator->free(_data, static_cast<size_t>(_capacity) * sizeof(T));
    _data = nullptr;
    _capacity = 0;
    _size = 0;
  }

  QroInt getSize() const { return _size; }
  QroInt getCapacity() const { return _capacity; }
  QroGenAlloc* getAllocator() const { return _allocator; }

 private:
  T* allocate(QroInt n) {
    size_t bytes = static_cast<size_t>(n) * sizeof(T);
    void* p = _allocator->alloc(bytes);
    std::memset(p, 0, bytes);
    return static_cast<T*>(p);
  }
  [[noreturn]] static void outOfBounds() { throw OutOfBoundOperation(); }

  T* _data;
  QroInt _capacity;
  QroInt _size;
  QroGenAlloc* _allocator;
};

#endif
