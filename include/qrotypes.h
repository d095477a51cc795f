// Scalar types of the modelling layer.
#ifndef QRO_TYPES_H
#define QRO_TYPES_H

#include <cstdint>

typedef int64_t QroInt;    // 64-bit signed integer
typedef uint64_t QroUInt;  // 64-bit unsigned integer
typedef double QroNum;     // 64-bit floating-point value
typedef int QroBool;       // truth value, 0 or 1

#endif
