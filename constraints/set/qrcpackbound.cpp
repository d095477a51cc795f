#include "qrcpackbound.h"

namespace {

typedef __int128 Wide;

QrcInt clampWide(Wide v) {
  if (v > INT64_MAX) return INT64_MAX;
  if (v < INT64_MIN) return INT64_MIN;
  return static_cast<QrcInt>(v);
}

// ceil(max(d, 0) / c) for c > 0.
template <class T>
T binsFor(T d, QrcInt c) {
  return d <= 0 ? 0 : (d + c - 1) / c;
}

// Least content of a bin among those beyond the first j big items (J2 bins and
// the bins that the excess D needs): D mod C (C when it divides), or when D < 0
// the J2 bins alone, each holding its J2 item (s[j-1] the smallest of them).
template <class T>
T excessResidue(T d, QrcInt c, const QrcInt* s, QrcInt g, QrcInt j) {
  if (d >= 0) {
    T r = d % c;
    return r == 0 ? c : r;
  }
  if (g <= j - 1) return d + c > s[j - 1] ? d + c : s[j - 1];
  return c;
}

// First index in [0, end) of the non-increasing sizes s holding at most v
// (end when none does).
QrcInt firstAtMost(const QrcInt* s, QrcInt end, QrcInt v) {
  QrcInt lo = 0, hi = end;
  while (lo < hi) {
    QrcInt mid = lo + (hi - lo) / 2;
    if (s[mid] <= v)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

// L2 in arithmetic T, wide enough for the total and for c * C.
template <class T>
QrcInt boundL2(const QrcInt* s, QrcInt c, QrcInt C, T total, QrcInt* residue) {
  QrcInt h = C / 2;
  if (s[c - 1] > h) {
    *residue = s[c - 1];
    return c;
  }
  if (s[0] <= h) {
    T t = binsFor(total, C);
    *residue = clampWide(total - (t - 1) * C);
    return clampWide(t);
  }
  // j: the first size <= C/2 (the sizes before it need a bin each).
  QrcInt j = firstAtMost(s, c - 1, h);
  // g: the first size that K = s[j] can join; the sizes before g form J1.
  T k = s[j];
  QrcInt g = firstAtMost(s, j, C - s[j]);
  T d = k - static_cast<T>(j - g) * C;
  for (QrcInt t = g; t < j; ++t) d += s[t];
  T bound = j + binsFor(d, C);
  auto residueOf = [&](T dd) {
    T x = g == 0 ? C : s[g - 1];
    T y = excessResidue(dd, C, s, g, j);
    return x < y ? x : y;
  };
  T r = residueOf(d);
  QrcInt i = j + 1;
  for (; i < c; ++i) {
    if (g == 0) break;
    d += s[i];
    while (g > 0 && static_cast<T>(s[i]) + s[g - 1] <= C) {
      --g;
      d += static_cast<T>(s[g]) - C;
    }
    T l = j + binsFor(d, C);
    if (l > bound) {
      bound = l;
      r = 0;
    }
    if (l == bound) {
      T v = residueOf(d);
      if (v > r) r = v;
    }
  }
  if (g == 0 && i < c) {
    // K = 0: every size joins the excess.
    d = total - static_cast<T>(j) * C;
    T l = j + binsFor(d, C);
    if (l >= bound) {
      if (l > bound) {
        bound = l;
        r = 0;
      }
      T v = excessResidue(d, C, s, 0, j);
      if (v > r) r = v;
    }
  }
  *residue = clampWide(r);
  return clampWide(bound);
}

}  // namespace

QrcInt QrcPackL2(const QrcInt* s, QrcInt c, QrcInt C, QrcInt* residue) {
  *residue = 0;
  if (c <= 0 || s[0] == 0) return 0;
  if (C <= 0) return QrcPackInfiniteBound;
  Wide total = 0;
  for (QrcInt k = 0; k < c; ++k) total += s[k];
  const QrcInt narrow = QrcInt(1) << 61;
  if (total <= narrow && C <= narrow / (c + 1))
    return boundL2<QrcInt>(s, c, C, static_cast<QrcInt>(total), residue);
  return boundL2<Wide>(s, c, C, total, residue);
}

bool QrcPackNoSum(const QrcInt* c, QrcInt t, QrcInt a, QrcInt b, QrcInt* belowA, QrcInt* aboveB) {
  if (t <= 0) return false;
  // The fewest lightest candidates that reach a.
  QrcInt e = t - 1, sum = c[e];
  while (sum < a) {
    if (e == 0) return false;
    --e;
    sum += c[e];
  }
  if (sum <= b || a < 1) return false;
  // sumA: the h heaviest; sumB: the window c[q..l-1]; sumC: the lightest c[l..t-1].
  QrcInt sumB = c[e], sumC = sum - c[e], sumA = 0, h = 0, l = e + 1, q = e;
  while (sumA + sumC >= a || sumB <= b) {
    if (sumA + sumC == a || (a <= sumB && sumB <= b) || sumB + sumC <= b || sumA > sumB + sumC - 2)
      return false;
    sumA += c[h];
    ++h;
    if (sumA >= a || l == t) return false;
    sumC -= c[l];
    sumB += c[l];
    ++l;
    while (sumA + sumC >= a) {
      if (l == t) return false;
      sumC -= c[l];
      sumB += c[l] - c[q];
      ++q;
      ++l;
    }
  }
  *belowA = sumA + sumC;
  *aboveB = sumB;
  return true;
}

// ---------------------------------------------------------------- reachability

namespace {

void clearBits(QrcWord* x, QrcInt words) {
  for (QrcInt i = 0; i < words; ++i) x[i] = 0;
}

void copyBits(QrcWord* dst, const QrcWord* src, QrcInt words) {
  for (QrcInt i = 0; i < words; ++i) dst[i] = src[i];
}

// Word i of src shifted up by w bits (bits beyond the set dropped).
inline QrcWord shiftedUpWord(const QrcWord* src, QrcInt i, QrcInt ws, QrcInt bs) {
  QrcInt k = i - ws;
  if (k < 0) return 0;
  QrcWord v = src[k] << bs;
  if (bs && k >= 1) v |= src[k - 1] >> (64 - bs);
  return v;
}

// Word i of src shifted down by w bits.
inline QrcWord shiftedDownWord(const QrcWord* src, QrcInt i, QrcInt ws, QrcInt bs, QrcInt words) {
  QrcInt k = i + ws;
  if (k >= words) return 0;
  QrcWord v = src[k] >> bs;
  if (bs && k + 1 < words) v |= src[k + 1] << (64 - bs);
  return v;
}

void orShiftedUp(QrcWord* dst, const QrcWord* src, QrcInt w, QrcInt words) {
  QrcInt ws = w / 64, bs = w % 64;
  if (ws >= words) return;
  for (QrcInt i = ws; i < words; ++i) dst[i] |= shiftedUpWord(src, i, ws, bs);
}

void orShiftedDown(QrcWord* dst, const QrcWord* src, QrcInt w, QrcInt words) {
  QrcInt ws = w / 64, bs = w % 64;
  if (ws >= words) return;
  for (QrcInt i = 0; i + ws < words; ++i) dst[i] |= shiftedDownWord(src, i, ws, bs, words);
}

bool intersectsShiftedUp(const QrcWord* src, QrcInt w, const QrcWord* other, QrcInt words) {
  QrcInt ws = w / 64, bs = w % 64;
  if (ws >= words) return false;
  for (QrcInt i = ws; i < words; ++i)
    if (shiftedUpWord(src, i, ws, bs) & other[i]) return true;
  return false;
}

}  // namespace

QrcPackReach* QrcPackReach::make(QrcManagerI* m, QrcInt n, QrcInt bits) {
  QrcPackReach* r = static_cast<QrcPackReach*>(m->allocate(sizeof(QrcPackReach)));
  QrcInt cap = n > 0 ? n : 1;
  r->_capacity = cap;
  r->_words = ((cap + 1) / 2 + bits) / 64 + 1;
  r->_sets = static_cast<QrcWord*>(
      m->allocate(static_cast<size_t>(2 * (cap + 1) * r->_words) * sizeof(QrcWord)));
  r->_target = static_cast<QrcWord*>(m->allocate(static_cast<size_t>(r->_words) * sizeof(QrcWord)));
  r->_weights = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(cap) * sizeof(QrcInt)));
  r->_scaled = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(cap) * sizeof(QrcInt)));
  r->_start = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(cap + 1) * sizeof(QrcInt)));
  r->clear();
  return r;
}

void QrcPackReach::clear() {
  _stages = 0;
  _count = 0;
  _start[0] = 0;
  _shift = 0;
  _down = 0;
  _up = 0;
}

void QrcPackReach::beginStage() {
  if (_stages > 0 && _start[_stages - 1] == _count) return;  // the last stage is still empty
  ++_stages;
  _start[_stages] = _count;
}

void QrcPackReach::addAlternative(QrcInt weight) {
  _weights[_count++] = weight;
  _start[_stages] = _count;
}

void QrcPackReach::scale(QrcInt a, QrcInt b) {
  QrcInt bits = _words * 64;
  QrcInt largest = b;
  for (QrcInt x = 0; x < _count; ++x)
    if (_weights[x] > largest) largest = _weights[x];
  QrcInt s = 0;
  if (largest >= bits) {
    QrcInt room = bits - (_stages + 1) / 2 - 1;
    if (room < 1) room = 1;
    while ((largest >> s) > room) ++s;
  }
  for (;; ++s) {
    Wide up = 0, down = 0;
    for (QrcInt t = 0; t < _stages; ++t) {
      Wide stageUp = 0, stageDown = 0;
      for (QrcInt x = _start[t]; x < _start[t + 1]; ++x) {
        QrcInt w = _weights[x];
        QrcInt q = s ? w >> s : w;
        if (s && ((w >> (s - 1)) & 1)) {
          Wide err = (static_cast<Wide>(q + 1) << s) - w;
          if (err > stageUp) stageUp = err;
          ++q;
        } else {
          Wide err = w - (static_cast<Wide>(q) << s);
          if (err > stageDown) stageDown = err;
        }
        _scaled[x] = q;
      }
      up += stageUp;
      down += stageDown;
    }
    Wide lo = a - down;
    lo = lo <= 0 ? 0 : (lo + ((static_cast<Wide>(1) << s) - 1)) >> s;
    Wide hi = (static_cast<Wide>(b) + up) >> s;
    if (hi > bits - 1) continue;  // sums of the target would fall off the sets
    _shift = s;
    _up = clampWide(up);
    _down = clampWide(down);
    _lo = clampWide(lo);
    _hi = clampWide(hi);
    return;
  }
}

bool QrcPackReach::solve(QrcInt a, QrcInt b) {
  Wide most = 0;
  for (QrcInt t = 0; t < _stages; ++t) {
    QrcInt best = 0;
    for (QrcInt x = _start[t]; x < _start[t + 1]; ++x)
      if (_weights[x] > best) best = _weights[x];
    most += best;
  }
  if (a > most) return false;
  if (b > most) b = static_cast<QrcInt>(most);
  if (b < 0 || a > b) return false;
  scale(a, b);
  if (_lo > _hi) return false;
  QrcInt words = _words, k = _stages;
  // Target bits [lo, hi].
  clearBits(_target, words);
  for (QrcInt i = _lo / 64; i <= _hi / 64; ++i) {
    QrcWord word = ~QrcWord(0);
    if (i == _lo / 64) word &= ~QrcWord(0) << (_lo % 64);
    if (i == _hi / 64 && _hi % 64 != 63) word &= (QrcWord(1) << (_hi % 64 + 1)) - 1;
    _target[i] = word;
  }
  QrcWord* f = forward(0);
  clearBits(f, words);
  f[0] = 1;
  for (QrcInt t = 0; t < k; ++t) {
    QrcWord* next = forward(t + 1);
    copyBits(next, forward(t), words);
    for (QrcInt x = _start[t]; x < _start[t + 1]; ++x)
      orShiftedUp(next, forward(t), _scaled[x], words);
  }
  QrcWord* last = backward(k);
  bool any = false;
  _loBit = -1;
  _hiBit = -1;
  for (QrcInt i = 0; i < words; ++i) {
    last[i] = forward(k)[i] & _target[i];
    if (!last[i]) continue;
    if (!any) _loBit = i * 64 + __builtin_ctzll(last[i]);
    _hiBit = i * 64 + 63 - __builtin_clzll(last[i]);
    any = true;
  }
  if (!any) return false;
  for (QrcInt t = k - 1; t >= 0; --t) {
    QrcWord* cur = backward(t);
    copyBits(cur, backward(t + 1), words);
    for (QrcInt x = _start[t]; x < _start[t + 1]; ++x)
      orShiftedDown(cur, backward(t + 1), _scaled[x], words);
  }
  return true;
}

bool QrcPackReach::canSkip(QrcInt t) const {
  const QrcWord* f = forward(t);
  const QrcWord* b = backward(t + 1);
  for (QrcInt i = 0; i < _words; ++i)
    if (f[i] & b[i]) return true;
  return false;
}

bool QrcPackReach::canTake(QrcInt t, QrcInt x) const {
  return intersectsShiftedUp(forward(t), _scaled[_start[t] + x], backward(t + 1), _words);
}

QrcInt QrcPackReach::lowestSum() const {
  return clampWide((static_cast<Wide>(_loBit) << _shift) - _up);
}

QrcInt QrcPackReach::highestSum() const {
  return clampWide((static_cast<Wide>(_hiBit) << _shift) + _down);
}
