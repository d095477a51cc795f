// Arrays on the manager's heap, released with it: room for n elements (for one
// when n is 0), left uninitialised.
#ifndef QRC_HEAPARRAY_H
#define QRC_HEAPARRAY_H

#include <cstddef>

#include "qrcmanager.h"

template <class T>
T* allocArray(QrcManagerI* m, QrcInt n) {
  return static_cast<T*>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
}

// The same, each of the n elements set to init.
template <class T>
T* allocArray(QrcManagerI* m, QrcInt n, T init) {
  T* a = allocArray<T>(m, n);
  for (QrcInt k = 0; k < n; ++k) a[k] = init;
  return a;
}

#endif
