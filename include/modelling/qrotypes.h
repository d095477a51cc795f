// Scalar types of the modelling layer.
#ifndef QRO_TYPES_H
#define QRO_TYPES_H

#include <cstdint>

typedef int64_t QroInt;    // 64-bit signed integer
typedef uint64_t QroUInt;  // 64-bit unsigned integer
typedef double QroNum;     // 64-bit floating-point value
typedef int QroBool;       // truth value, 0 or 1

// Largest magnitude of an integer value or bound, 2^53 - 1, so that every
// integer converts exactly to a double; integer bounds at it read as infinite.
const QroInt QroIntMax = 9007199254740991LL;
const QroInt QroIntMin = -QroIntMax;

#endif
