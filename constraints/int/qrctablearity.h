// The table schema's hot paths take the arity R as a compile-time constant
// for 2, 3 and 4 variables, and 0 (read at run time) for any other; the
// tuple set's rows, their element type.
#ifndef QRC_TABLE_ARITY_H
#define QRC_TABLE_ARITY_H

#include <cstdint>
#include <type_traits>

#include "qrcint.h"

// f(std::integral_constant<int, R>()) for the arity's R.
template <class F>
inline auto qrcByArity(QrcInt arity, F f) {
  switch (arity) {
    case 2:
      return f(std::integral_constant<int, 2>());
    case 3:
      return f(std::integral_constant<int, 3>());
    case 4:
      return f(std::integral_constant<int, 4>());
    default:
      return f(std::integral_constant<int, 0>());
  }
}

// f(T()) for the rows' element type T of 1, 2 or 4 bytes.
template <class F>
inline auto qrcByRowBytes(QrcInt bytes, F f) {
  if (bytes == 1) return f(uint8_t());
  if (bytes == 2) return f(uint16_t());
  return f(uint32_t());
}

#endif
