// Chunked arrays of the modelling layer: 4^k slots held as a table of 2^k
// chunks of 2^k elements; element i lives in chunk i >> k at i & mask.
#ifndef QRO_ARRAY_H
#define QRO_ARRAY_H

#include <cstring>
#include <iosfwd>

#include "qroenv.h"
#include "qroobject.h"

class QroArrayI : public QroMemoryManagerObjectI {
 public:
  QroArrayI(QroGenAlloc* a, QroInt n, QroInt elementSize);
  // Same layout as the source, every allocated chunk copied.
  QroArrayI(QroGenAlloc* a, const QroArrayI& other);
  ~QroArrayI() override;
  QroArrayI(const QroArrayI&) = delete;
  QroArrayI& operator=(const QroArrayI&) = delete;

  void* elementAt(QroInt i) const {
    return static_cast<char*>(_chunks[i >> _k]) + (i & _mask) * _elementSize;
  }
  // Makes room for n elements (the size is unchanged).
  void reserve(QroInt n);
  // Appends the other array's elements.
  void add(const QroArrayI& other);
  // Appends one element of elementSize bytes.
  void addElement(const void* element);
  // Removes count elements from first on.
  void remove(QroInt first, QroInt count);
  // Sets the size within the capacity (reserves as needed).
  void setSize(QroInt n);

  QroInt getSize() const { return _size; }
  QroInt getCapacity() const { return _capacity; }
  QroInt getElementSize() const { return _elementSize; }
  QroInt getLog2ChunkSize() const { return _k; }
  QroInt getChunkSize() const { return _mask + 1; }
  // Number of chunks allocated.
  QroInt getChunkCount() const;

 private:
  void layout(QroInt n);
  void* newChunk(bool clear);
  void releaseAll();

  QroInt _capacity;
  QroInt _elementSize;
  QroInt _size;
  QroInt _mask;
  QroInt _k;
  void** _chunks;
};

// Handle of an array body; null is the empty handle.
class QroArray {
 public:
  QroArray(QroArrayI* impl = nullptr) : _impl(impl) {}
  // n 8-byte elements in the environment's general allocator.
  QroArray(const QroEnv& env, QroInt n);
  QroArray(const QroMemoryManager& mm, QroInt n);
  QroArrayI* getImpl() const { return _impl; }
  QroInt getSize() const { return check()->getSize(); }
  void remove(QroInt first, QroInt count = 1) const { check()->remove(first, count); }
  void add(const QroArray& other) const { check()->add(*other.check()); }
  // Destroys the body; the handle becomes empty.
  void end();

 protected:
  QroArrayI* check() const {
    if (!_impl) QroAbortEmptyHandle("Using empty QroArray handle");
    return _impl;
  }
  QroArrayI* _impl;
};

// An array of 8-byte values of type T.
template <class T>
class QroArrayOf : public QroArray {
  static_assert(sizeof(T) == 8, "array elements are 8 bytes");

 public:
  QroArrayOf(QroArrayI* impl = nullptr) : QroArray(impl) {}
  QroArrayOf(const QroEnv& env, QroInt n) : QroArray(env, n) {}
  QroArrayOf(const QroMemoryManager& mm, QroInt n) : QroArray(mm, n) {}
  // An empty handle or an index outside the array stops the program.
  T& operator[](QroInt i) const {
    if (!_impl) QroAbortEmptyHandle("Empty Handle in QroArray::operator[]");
    if (i < 0 || i >= _impl->getSize())
      QroAbortEmptyHandle(
          "X& QroArray::operator[] (QroInt i) : Out of bounds operation: index superior to size of "
          "array");
    return *static_cast<T*>(_impl->elementAt(i));
  }
  void add(T value) const {
    T v = value;
    check()->addElement(&v);
  }
  void add(const QroArrayOf<T>& other) const { QroArray::add(other); }
};

typedef QroArrayOf<QroInt> QroIntArray;
typedef QroArrayOf<QroNum> QroNumArray;

// "[", the values separated by "," and a blank (a line end after every tenth
// value), "]"; nothing for an empty handle.
std::ostream& operator<<(std::ostream& os, const QroIntArray& a);
std::ostream& operator<<(std::ostream& os, const QroNumArray& a);

#endif
