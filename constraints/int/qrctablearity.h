// The table schema's hot paths take the arity R as a compile-time constant
// for 2, 3 and 4 variables, and 0 (read at run time) for any other.
#ifndef QRC_TABLE_ARITY_H
#define QRC_TABLE_ARITY_H

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

#endif
