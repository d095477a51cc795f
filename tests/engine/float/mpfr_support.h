// Helpers of the float tests: random and adversarial doubles, and MPFR values.
#ifndef QRO_TEST_FLOAT_MPFR_SUPPORT_H
#define QRO_TEST_FLOAT_MPFR_SUPPORT_H

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

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

// Uniform in [0, 1).
inline double unit(std::mt19937_64& rng) {
  return static_cast<double>(rng() >> 11) / 9007199254740992.0;
}

#ifdef QRO_HAVE_MPFR
// The double nearest k pi / m, moved by d units in the last place.
inline double nearMultipleOfPi(int64_t k, int m, int d) {
  mpfr_t v;
  mpfr_init2(v, 256);
  mpfr_const_pi(v, MPFR_RNDN);
  mpfr_mul_si(v, v, static_cast<long>(k), MPFR_RNDN);
  mpfr_div_si(v, v, m, MPFR_RNDN);
  double x = mpfr_get_d(v, MPFR_RNDN);
  mpfr_clear(v);
  for (; d > 0; --d) x = std::nextafter(x, HUGE_VAL);
  for (; d < 0; ++d) x = std::nextafter(x, -HUGE_VAL);
  return x;
}

// Checks lo <= f(x) <= hi with f evaluated by MPFR at 256 bits.
class Reference {
 public:
  Reference() { mpfr_inits2(256, x_, y_, v_, (mpfr_ptr)0); }
  ~Reference() { mpfr_clears(x_, y_, v_, (mpfr_ptr)0); }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;
  mpfr_ptr value() { return v_; }
  // f(x) for an MPFR function of one argument (mpfr_sin, mpfr_atan, ...).
  void unary(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    ternary_ = f(v_, x_, MPFR_RNDN);
  }
  void exp(double x) { unary(mpfr_exp, x); }
  void log(double x) { unary(mpfr_log, x); }
  void pow(double x, double p) {
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_set_d(y_, p, MPFR_RNDN);
    mpfr_pow(v_, x_, y_, MPFR_RNDN);
  }
  void root(double x, double n) {  // x^(1/n)
    mpfr_set_d(x_, x, MPFR_RNDN);
    mpfr_set_d(y_, n, MPFR_RNDN);
    mpfr_ui_div(y_, 1, y_, MPFR_RNDN);
    mpfr_pow(v_, x_, y_, MPFR_RNDN);
  }
  void product(double a, double b) {
    mpfr_set_d(x_, a, MPFR_RNDN);
    mpfr_set_d(y_, b, MPFR_RNDN);
    mpfr_mul(v_, x_, y_, MPFR_RNDN);
  }
  void quotient(double a, double b) {
    mpfr_set_d(x_, a, MPFR_RNDN);
    mpfr_set_d(y_, b, MPFR_RNDN);
    mpfr_div(v_, x_, y_, MPFR_RNDN);
  }
  bool between(double lo, double hi) {
    if (mpfr_nan_p(v_)) return true;
    return (lo == -HUGE_VAL || mpfr_cmp_d(v_, lo) >= 0) &&
           (hi == HUGE_VAL || mpfr_cmp_d(v_, hi) <= 0);
  }
  // Whether the exact value of the last unary call lies in [lo, hi]: where it
  // rounded onto an end, the rounding's direction tells the side.
  bool exactlyBetween(double lo, double hi) {
    if (mpfr_nan_p(v_)) return false;
    int l = lo == -HUGE_VAL ? 1 : mpfr_cmp_d(v_, lo);
    int h = hi == HUGE_VAL ? -1 : mpfr_cmp_d(v_, hi);
    return (l > 0 || (l == 0 && ternary_ <= 0)) && (h < 0 || (h == 0 && ternary_ >= 0));
  }

 private:
  mpfr_t x_, y_, v_;
  int ternary_ = 0;
};
#endif

}  // namespace floattest

#endif
