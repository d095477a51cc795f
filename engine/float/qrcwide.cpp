#include "qrcwide.h"

#include <cstring>
#include <iostream>

#include "qroplatform.h"

namespace {

typedef unsigned __int128 Sig;  // words 2-7: 96 bits

const Sig kSigMask = (static_cast<Sig>(1) << 96) - 1;
const int kLeadBit = 79;  // bit 15 of word 3

// Quotient accumulator of multiplication, division and remainder, one per
// thread (wideLastQuotientWord reads what the thread's last remainder left).
thread_local WideNumber g_accumulator = {{0, 0, 0, 0, 0, 0, 0, 0}};

Sig sigOf(const WideNumber* x) {
  Sig v = 0;
  for (int i = 2; i <= 7; ++i) v = (v << 16) | x->w[i];
  return v;
}

void setSig(WideNumber* x, Sig v) {
  for (int i = 7; i >= 2; --i) {
    x->w[i] = static_cast<uint16_t>(v & 0xFFFF);
    v >>= 16;
  }
}

int highestBit(Sig v) {
  uint64_t hi = static_cast<uint64_t>(v >> 64);
  if (hi != 0) return 127 - __builtin_clzll(hi);
  return 63 - __builtin_clzll(static_cast<uint64_t>(v));
}

Sig lowMask(int k) {
  return k >= 128 ? ~static_cast<Sig>(0) : (static_cast<Sig>(1) << k) - 1;
}

WideNumber zeroWide() {
  WideNumber z;
  std::memset(&z, 0, sizeof z);
  return z;
}

void setOverflow(WideNumber* x) {
  x->w[1] = 32767;
  x->w[2] = 0;
  x->w[3] = x->w[4] = x->w[5] = x->w[6] = 0xFFFF;
  x->w[7] = 0;
}

bool isZeroWide(const WideNumber* x) {
  return x->w[1] == 0 && sigOf(x) == 0;
}

// Normalises an operand whose exponent word is 0 (below the normal range);
// returns its effective exponent.
int32_t effectiveExponent(WideNumber* x) {
  if (x->w[1] != 0) return x->w[1];
  return 0 - normalizeSignificand(x);
}

// Sign-magnitude key of a packed number for ordering; zero of either sign is 0.
bool packedIsZero(const PackedExtended* p) {
  return (p->w[4] & 0x7FFF) == 0 && p->w[0] == 0 && p->w[1] == 0 && p->w[2] == 0 && p->w[3] == 0;
}

int compareMagnitudes(const PackedExtended* a, const PackedExtended* b) {
  uint16_t ea = a->w[4] & 0x7FFF, eb = b->w[4] & 0x7FFF;
  if (ea != eb) return ea < eb ? -1 : 1;
  for (int i = 3; i >= 0; --i)
    if (a->w[i] != b->w[i]) return a->w[i] < b->w[i] ? -1 : 1;
  return 0;
}

}  // namespace

int compareSignificands(const WideNumber* a, const WideNumber* b) {
  for (int i = 2; i <= 7; ++i)
    if (a->w[i] != b->w[i]) return a->w[i] > b->w[i] ? 1 : -1;
  return 0;
}

void shiftUpOneBit(WideNumber* x) {
  setSig(x, (sigOf(x) << 1) & kSigMask);
}

int shiftSignificand(WideNumber* x, int n) {
  Sig s = sigOf(x);
  if (n < 0) {
    int k = -n;
    if (k >= 96) {
      setSig(x, 0);
      return s != 0 ? 1 : 0;
    }
    int lost = (s & lowMask(k)) != 0 ? 1 : 0;
    setSig(x, s >> k);
    return lost;
  }
  if (n > 0) setSig(x, n >= 96 ? 0 : (s << n) & kSigMask);
  return 0;
}

int normalizeSignificand(WideNumber* x) {
  Sig s = sigOf(x);
  if (s == 0) return 65;
  int p = highestBit(s);
  if (p > kLeadBit) {
    setSig(x, s >> (p - kLeadBit));
    return -(p - kLeadBit);
  }
  setSig(x, s << (kLeadBit - p));
  return kLeadBit - p;
}

int multiplySignificands(WideNumber* a, const WideNumber* b) {
  // The multiplier is a's words 2-6; the product keeps its upper bits.
  uint64_t m = static_cast<uint64_t>(sigOf(a) >> 16);
  Sig bs = sigOf(b);
  uint64_t bLow = static_cast<uint64_t>(bs);
  uint64_t bHigh = static_cast<uint64_t>(bs >> 64);
  Sig low = static_cast<Sig>(m) * bLow;
  Sig high = static_cast<Sig>(m) * bHigh;
  Sig product = high + (low >> 64);
  int lost = static_cast<uint64_t>(low) != 0 ? 1 : 0;
  g_accumulator.w[0] = b->w[0];
  g_accumulator.w[1] = b->w[1];
  setSig(&g_accumulator, product & kSigMask);
  *a = g_accumulator;
  return lost;
}

int divideSignificands(WideNumber* num, const WideNumber* den) {
  Sig n = sigOf(num), d = sigOf(den);
  Sig q = 0;
  for (int step = 0; step < 66; ++step) {
    int bit = 0;
    if (d <= n) {
      n -= d;
      bit = 1;
    }
    q = (q << 1) | static_cast<Sig>(bit);
    n <<= 1;
  }
  // Quotient bits stand from bit 16 up; two of them fall into the guard word.
  g_accumulator.w[0] = num->w[0];
  g_accumulator.w[1] = num->w[1];
  setSig(&g_accumulator, ((q << 16) >> 2) & kSigMask);
  *num = g_accumulator;
  return n != 0 ? 1 : 0;
}

namespace {

// Rounds away the 16 guard bits of s in the current direction; a carry out of
// the top bit moves the exponent e up one.
void roundGuardBits(Sig* s, int32_t* e, int lost, bool negative) {
  unsigned guard = static_cast<unsigned>(*s & 0xFFFF);
  if (guard == 0 && !lost) return;
  int mode = qroplatform::getRounding();
  bool away;
  if (mode == qroplatform::RoundNearest)
    away = (guard & 0x8000) != 0 && ((guard & 0x7FFF) != 0 || lost || (*s & 0x10000) != 0);
  else if (mode == qroplatform::RoundUpward)
    away = !negative;
  else if (mode == qroplatform::RoundDownward)
    away = negative;
  else
    away = false;
  if (away) {
    *s += 0x10000;
    if ((*s >> 80) != 0) {
      *s >>= 1;
      *e += 1;
    }
  }
}

}  // namespace

void normalizeAndRound(WideNumber* x, int lost, int subtracted, int32_t exponent,
                       int roundControl) {
  (void)subtracted;  // callers fold a subtracted loss into the significand
  Sig s = sigOf(x);
  if (s == 0) {
    *x = zeroWide();
    return;
  }
  int p = highestBit(s);
  int32_t e;
  if (p > kLeadBit) {
    int k = p - kLeadBit;
    if ((s & lowMask(k)) != 0) lost = 1;
    s >>= k;
    e = exponent + k;
  } else {
    s <<= (kLeadBit - p);
    e = exponent - (kLeadBit - p);
  }
  if (e > 32767) {
    setOverflow(x);
    return;
  }
  if (e < 0) {
    if (e <= -65) {
      *x = zeroWide();
      return;
    }
    int k = -e;
    if ((s & lowMask(k)) != 0) lost = 1;
    s >>= k;
  }
  if (roundControl != 0) roundGuardBits(&s, &e, lost, x->w[0] != 0);
  if (e > 32767) {
    setOverflow(x);
    return;
  }
  setSig(x, s & ~static_cast<Sig>(0xFFFF));
  x->w[1] = static_cast<uint16_t>(e < 0 ? 0 : e);
}

WideNumber doubleToWide(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  WideNumber x = zeroWide();
  uint64_t frac = bits & 0xFFFFFFFFFFFFFull;
  int field = static_cast<int>((bits >> 52) & 0x7FF);
  if (field == 0 && frac == 0) return x;  // both zeros become +0
  x.w[0] = (bits >> 63) != 0 ? 0xFFFF : 0;
  if (field != 0) {
    setSig(&x, static_cast<Sig>(frac | (1ull << 52)) << 27);
    x.w[1] = static_cast<uint16_t>(field + 15360);
  } else {
    setSig(&x, static_cast<Sig>(frac) << 27);
    int j = normalizeSignificand(&x);
    x.w[1] = static_cast<uint16_t>(15360 + 1 - j);
  }
  return x;
}

PackedExtended packWide(const WideNumber* x) {
  PackedExtended p;
  p.w[4] = static_cast<uint16_t>((x->w[1] & 0x7FFF) | (x->w[0] != 0 ? 0x8000 : 0));
  p.w[3] = x->w[3];
  p.w[2] = x->w[4];
  p.w[1] = x->w[5];
  p.w[0] = x->w[6];
  return p;
}

WideNumber unpackWide(const PackedExtended* p) {
  WideNumber x;
  x.w[0] = (p->w[4] & 0x8000) != 0 ? 0xFFFF : 0;
  x.w[1] = p->w[4] & 0x7FFF;
  x.w[2] = 0;
  x.w[3] = p->w[3];
  x.w[4] = p->w[2];
  x.w[5] = p->w[1];
  x.w[6] = p->w[0];
  x.w[7] = 0;
  return x;
}

WideNumber wideAdd(WideNumber* a, WideNumber* b, int subtract) {
  if (subtract) a->w[0] = static_cast<uint16_t>(~a->w[0]);
  WideNumber small = *a, big = *b;
  int d = static_cast<int>(small.w[1]) - static_cast<int>(big.w[1]);
  if (d > 0) {
    WideNumber t = small;
    small = big;
    big = t;
    d = -d;
  }
  int lost = 0;
  if (d != 0) {
    lost = shiftSignificand(&small, d);
  } else {
    int c = compareSignificands(&small, &big);
    if (c == 0) {
      if (small.w[0] != big.w[0]) return zeroWide();
      if (big.w[1] == 0 && (big.w[3] & 0x8000) == 0) {
        shiftUpOneBit(&big);
      } else if (big.w[1] != 0 || sigOf(&big) != 0) {
        if (big.w[1] == 32767)
          setOverflow(&big);
        else
          big.w[1] = static_cast<uint16_t>(big.w[1] + 1);
      }
      return big;
    }
    if (c > 0) {
      WideNumber t = small;
      small = big;
      big = t;
    }
  }
  Sig sb = sigOf(&big), sa = sigOf(&small);
  int subtracted = 0;
  if (small.w[0] == big.w[0]) {
    sb += sa;
  } else {
    // Bits lost from the smaller operand make the true difference slightly
    // smaller: take one unit more and let the loss stand for the excess.
    sb -= sa;
    if (lost) sb -= 1;
    subtracted = 1;
  }
  setSig(&big, sb & kSigMask);
  normalizeAndRound(&big, lost, subtracted, big.w[1], 64);
  return big;
}

WideNumber wideMultiply(const WideNumber* a, const WideNumber* b) {
  WideNumber x = *a, y = *b;
  if (isZeroWide(&x) || isZeroWide(&y)) return zeroWide();
  int32_t ex = effectiveExponent(&x), ey = effectiveExponent(&y);
  WideNumber r = x;
  int lost = multiplySignificands(&r, &y);
  r.w[0] = (x.w[0] != y.w[0]) ? 0xFFFF : 0;  // the sign decides the direction
  normalizeAndRound(&r, lost, 0, ex + ey - 16382, 64);
  return r;
}

WideNumber wideDivide(const WideNumber* a, const WideNumber* b) {
  WideNumber x = *a, y = *b;
  if (isZeroWide(&x)) return zeroWide();
  WideNumber r = zeroWide();
  r.w[0] = (x.w[0] != y.w[0]) ? 0xFFFF : 0;
  if (isZeroWide(&y)) {
    setOverflow(&r);
    return r;
  }
  int32_t ex = effectiveExponent(&x), ey = effectiveExponent(&y);
  r.w[1] = x.w[1];
  setSig(&r, sigOf(&x));
  int lost = divideSignificands(&r, &y);
  r.w[0] = (x.w[0] != y.w[0]) ? 0xFFFF : 0;
  normalizeAndRound(&r, lost, 0, ex - ey + 16383, 64);
  return r;
}

WideNumber wideRemainder(const WideNumber* num, const WideNumber* den) {
  g_accumulator = zeroWide();
  if (isZeroWide(num)) return zeroWide();
  WideNumber d = *den, r = *num;
  int32_t ld = static_cast<int32_t>(d.w[1]) - normalizeSignificand(&d);
  int32_t ln = static_cast<int32_t>(r.w[1]) - normalizeSignificand(&r);
  uint16_t sign = (num->w[0] != den->w[0]) ? 0xFFFF : 0;
  if (ln < ld) {
    r.w[1] = static_cast<uint16_t>(ln < 0 ? 0 : ln);
    return r;
  }
  Sig rs = sigOf(&r), ds = sigOf(&d), q = 0;
  for (int32_t step = 0; step <= ln - ld; ++step) {
    int bit = 0;
    if (ds <= rs) {
      rs -= ds;
      bit = 1;
    }
    q = ((q << 1) | static_cast<Sig>(bit)) & kSigMask;
    rs = (rs << 1) & kSigMask;
  }
  setSig(&g_accumulator, q);
  setSig(&r, rs);
  normalizeAndRound(&r, 0, 0, ld - 1, 0);
  if (!isZeroWide(&r)) r.w[0] = sign;
  return r;
}

uint16_t wideLastQuotientWord() {
  return g_accumulator.w[7];
}

PackedExtended wideSubtract(const PackedExtended* a, const PackedExtended* b) {
  WideNumber wa = unpackWide(a), wb = unpackWide(b);
  WideNumber r = wideAdd(&wb, &wa, 1);
  return packWide(&r);
}

PackedExtended wideFloor(const PackedExtended* x) {
  static const uint16_t kMasks[17] = {0xFFFF, 0xFFFE, 0xFFFC, 0xFFF8, 0xFFF0, 0xFFE0,
                                      0xFFC0, 0xFF80, 0xFF00, 0xFE00, 0xFC00, 0xF800,
                                      0xF000, 0xE000, 0xC000, 0x8000, 0x0000};
  WideNumber oneWide = doubleToWide(1.0);
  PackedExtended one = packWide(&oneWide);
  PackedExtended result;
  std::memset(&result, 0, sizeof result);
  int exponent = x->w[4] & 0x7FFF;
  int e = exponent - 16382;
  if (e > 0) {
    result = *x;
    int s = 16446 - exponent;  // fraction bits
    if (s >= 1) {
      int whole = s / 16;
      for (int i = 0; i < whole && i < 4; ++i) result.w[i] = 0;
      if (whole < 4) result.w[whole] &= kMasks[s % 16];
    }
  }
  bool changed = false;
  for (int i = 0; i < 4; ++i)
    if (result.w[i] != x->w[i]) changed = true;
  if ((x->w[4] & 0x8000) != 0 && changed) {
    if (packedIsZero(&result)) {
      // -1 itself
      result = one;
      result.w[4] |= 0x8000;
    } else {
      result = wideSubtract(&result, &one);
    }
  }
  return result;
}

int wideCompare(const PackedExtended* a, const PackedExtended* b) {
  bool za = packedIsZero(a), zb = packedIsZero(b);
  if (za && zb) return 0;
  bool na = !za && (a->w[4] & 0x8000) != 0;
  bool nb = !zb && (b->w[4] & 0x8000) != 0;
  if (na != nb) return na ? -1 : 1;
  int m = compareMagnitudes(a, b);
  return na ? -m : m;
}

int wideEqual(const PackedExtended* a, const PackedExtended* b) {
  return wideCompare(a, b) == 0;
}
int wideLessEqual(const PackedExtended* a, const PackedExtended* b) {
  return wideCompare(a, b) <= 0;
}
int wideGreaterEqual(const PackedExtended* a, const PackedExtended* b) {
  return wideCompare(a, b) >= 0;
}
int wideGreater(const PackedExtended* a, const PackedExtended* b) {
  return wideCompare(a, b) > 0;
}

void dumpWideHex(const PackedExtended* x) {
  std::cout << std::hex;
  for (int i = 0; i < 5; ++i) std::cout << "0x" << x->w[i] << std::endl;
  std::cout << std::endl;
}
