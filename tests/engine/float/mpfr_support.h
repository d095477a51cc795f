// Helpers of the float tests: random and adversarial doubles, and MPFR values.
#ifndef QRO_TEST_FLOAT_MPFR_SUPPORT_H
#define QRO_TEST_FLOAT_MPFR_SUPPORT_H

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace floattest {

inline double fromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

inline uint64_t bitsOf(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Finite doubles of every kind: any bit pattern, powers of two, short
// significands, subnormals, values near DBL_MAX, ones and zeros.
inline double adversarialDouble(std::mt19937_64& rng) {
  double sign = rng() % 2 ? -1.0 : 1.0;
  switch (rng() % 8) {
    case 0:
      for (;;) {
        double d = fromBits(rng());
        if (std::isfinite(d)) return d;
      }
    case 1:
      return sign * std::ldexp(1.0, static_cast<int>(rng() % 2098) - 1074);
    case 2:
      return sign *
             std::ldexp(static_cast<double>(rng() % 4096), static_cast<int>(rng() % 60) - 30);
    case 3:
      return sign * fromBits(rng() & 0x000FFFFFFFFFFFFFull);
    case 4:
      return sign * fromBits(0x7FEFFFFFFFFFFFFFull - rng() % 100000);
    case 5:
      return sign *
             (1.0 + std::ldexp(static_cast<double>(rng() % 16), -52) * (rng() % 2 ? 1.0 : -0.5));
    case 6:
      return rng() % 2 ? 0.0 : -0.0;
    default:
      return sign * std::ldexp(static_cast<double>(rng() >> 11) / 9007199254740992.0 + 0.5,
                               static_cast<int>(rng() % 40) - 20);
  }
}

}  // namespace floattest

#endif
