// Support searches of allowed tables: the candidates of a value after its
// frontier, stepped through by words of 64 tuples (mode 0) or reached by the
// set's links (modes 1 and 2).
#include "qrctable.h"
#include "qrctablearity.h"

#include <type_traits>

namespace {

// Lists of at most so many candidates are walked without words; with the
// lists' bits, past two positions, only lists of at most ShortBitsList.
const QrcInt ShortList = QrcTupleSetI::ShortPairList, ShortBitsList = 2;

// The second step of a mode-2 pass over the rows and slot rows of in, a the
// arity: cur walks the (k, v) list and target the newer-record links in step
// to the first tuple holding v at k not older than the target; then cur is
// that tuple's slot. False when either runs out.
template <class In>
__attribute__((always_inline)) inline bool alignMode2(const In& in, QrcInt a, QrcInt k,
                                                      QrcInt vRank, QrcInt end, QrcInt& cur,
                                                      QrcInt& target) {
  using T = std::remove_const_t<std::remove_pointer_t<decltype(in.rows)>>;
  const QrcInt none = static_cast<T>(~T(0)), stride = in.stride, slotStride = a + 1;
  for (;;) {
    QrcInt n = in.slots[cur * slotStride];
    if (n >= target) {
      target = n;
      break;
    }
    const T* row = in.rows + target * stride;
    if (row[k] == vRank) break;
    if (row[a + k] == vRank) {
      target = row[2 * a + k];
      if (target == none) return false;
      break;
    }
    if (++cur == end || ++target == in.count) return false;
  }
  cur = in.rows[target * stride + 3 * a + k];
  return true;
}

}  // namespace

template <int R>
QrcGACTuple* QrcGACSAllowedI::walkShortList(const QrcTupleColumn& col, QrcInt p, QrcInt end,
                                            QrcInt k) {
  const QrcInt a = arity<R>();
  const int32_t* tuples = col.slotTuple;
  if (const QrcInt* values = col.slotValues) {
    // The tuple's number is read only for the one found.
    if (R == 2) {
      const QrcGACVar& r = _records[k ^ 1];
      values += 2 * p + (k ^ 1);
      QrcIntExpI* x = r.var;
      x->refreshBounds();
      const QrcIntSetI* d = x->getDomainSet();
      if (d && d == r.plainSet) {
        // The other position's domain stays as it is: its bounds and words, read once.
        QrcUInt lo = static_cast<QrcUInt>(x->rawMin()) - static_cast<QrcUInt>(r.wordBase);
        QrcUInt span = static_cast<QrcUInt>(x->rawMax()) - static_cast<QrcUInt>(x->rawMin());
        const QrcWord* words = r.words;
        // Every candidate is tested without a branch on its outcome, the
        // first one in takes it; a value off the bounds reads the min's word.
        QrcUInt hits = 0;
        for (QrcInt i = 0, n = end - p; i < n; ++i, values += 2) {
          QrcUInt pos = static_cast<QrcUInt>(*values) - static_cast<QrcUInt>(r.wordBase);
          QrcUInt in = pos - lo <= span;
          pos = in ? pos : lo;
          hits |= (in & (words[pos >> 6] >> (pos & 63))) << i;
        }
        return hits ? newTuple(tuples[p + __builtin_ctzll(hits)]) : nullptr;
      }
      for (; p < end; ++p, values += 2)
        if (holds(r, *values)) return newTuple(tuples[p]);
      return nullptr;
    }
    for (values += p * a; p < end; ++p, values += a)
      if (othersHold<R>(values, k)) return newTuple(tuples[p]);
    return nullptr;
  }
  for (; p < end; ++p) {
    QrcInt t = tuples[p];
    if (othersHold<R>(_rows + t * a, k)) return newTuple(t);
  }
  return nullptr;
}

QrcGACTuple* QrcGACSAllowedI::seekSupport(QrcGACValue* value) {
  QrcInt k = value->var->position;
  if (value->index < 0) return nullptr;
  QrcInt mode = _set->getStorageMode();
  if (mode != 0) {
    QrcInt bytes = _set->getRowBytes();
    if (_rankMasked) {
      if (mode == 1 && _set->getJumpStride()) {
        if (bytes == 1) return seekJumpRows<uint8_t>(value);
        if (bytes == 2) return seekJumpRows<uint16_t>(value);
        return seekJumpRows<uint32_t>(value);
      }
      if (mode == 2) {
        if (bytes == 1) return seekMode2<uint8_t>(value);
        if (bytes == 2) return seekMode2<uint16_t>(value);
        return seekMode2<uint32_t>(value);
      }
      if (bytes == 1) return seekInRows<uint8_t, true>(value);
      if (bytes == 2) return seekInRows<uint16_t, true>(value);
      return seekInRows<uint32_t, true>(value);
    }
    if (bytes == 1) return seekInRows<uint8_t, false>(value);
    if (bytes == 2) return seekInRows<uint16_t, false>(value);
    return seekInRows<uint32_t, false>(value);
  }
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt p, end;
  if (!candidateSlots(value, _arity, p, end)) return nullptr;
  if (end - p <= (_arity > 2 && _set->getRankStart() ? ShortBitsList : ShortList)) {
    // A short list is walked without preparing the domains; the value's own
    // position holds it, in its domain.
    return qrcByArity(_arity,
                      [&](auto r) { return walkShortList<decltype(r)::value>(col, p, end, k); });
  }
  if (_set->getRankStart()) return seekInBits(value, p);
  _masked = true;
  for (QrcInt j = 0; j < _arity; ++j) {
    _probes[j].read(_records[j].var);
    _masked = _masked && _probes[j].toMask(_masks[j]);
  }
  if (col.slotValues) {
    for (const QrcInt* values = col.slotValues + p * _arity; p < end; ++p, values += _arity)
      if (holdsDomainValues(values)) {
        QrcInt t = col.slotTuple[p];
        return newTuple(t);
      }
    return nullptr;
  }
  for (; p < end; ++p) {
    QrcInt t = col.slotTuple[p];
    if (holdsDomainValues(_rows + t * _arity)) return newTuple(t);
  }
  return nullptr;
}

namespace {

// Bits lo to hi, within the n first.
inline QrcUInt rangeBits(QrcInt lo, QrcInt hi, QrcInt n) {
  lo = lo > 0 ? lo : 0;
  hi = hi < n - 1 ? hi : n - 1;
  return lo > hi ? 0 : (~QrcUInt(0) >> (63 - (hi - lo))) << lo;
}

}  // namespace

inline QrcUInt QrcGACSAllowedI::readRanks(QrcInt c) {
  const RankSource& from = _sources[c];
  QrcIntExpI* x = _records[c].var;
  // The column's values are consecutive from the set's bit 0: its ranks are
  // the domain's bits within the bounds, in the set's first word.
  if (x->getDomainSet() == from.set && from.set && x->hasFreshBounds()) {
    QrcUInt lo = static_cast<QrcUInt>(x->rawMin() - from.base);
    QrcUInt hi = static_cast<QrcUInt>(x->rawMax() - from.base);
    if (lo <= hi && hi <= from.span) {
      return _ranks[c] = from.words[0] & (~QrcUInt(0) << lo) & (~QrcUInt(0) >> (63 - hi));
    }
  }
  readRanksApart(c);
  return _ranks[c];
}

void QrcGACSAllowedI::readRanksApart(QrcInt c) {
  const QrcTupleColumn& col = _set->getColumn(c);
  QrcIntExpI* x = _records[c].var;
  const QrcIntSetI* set = x->getDomainSet();
  QrcInt setFirst, setLast;
  const QrcWord* plain = set ? set->getPlainWords(setFirst, setLast) : nullptr;
  if (plain && col.consecutive && setFirst == col.first) {
    // Read inline from now on.
    QrcInt span = setLast - setFirst < col.size - 1 ? setLast - setFirst : col.size - 1;
    _sources[c] = RankSource{set, plain, setFirst, static_cast<QrcUInt>(span)};
    if (x->hasFreshBounds()) {
      QrcUInt lo = static_cast<QrcUInt>(x->rawMin() - setFirst);
      QrcUInt hi = static_cast<QrcUInt>(x->rawMax() - setFirst);
      if (lo <= hi && hi <= static_cast<QrcUInt>(span)) {
        _ranks[c] = plain[0] & (~QrcUInt(0) << lo) & (~QrcUInt(0) >> (63 - hi));
        return;
      }
    }
  }
  if (!col.consecutive) {
    QrcUInt m = 0;
    for (QrcInt r = 0; r < col.size; ++r)
      if (holds(_records[c], col.sortedValues[r])) m |= QrcUInt(1) << r;
    _ranks[c] = m;
    return;
  }
  x->refreshBounds();
  QrcInt from = col.first;
  QrcInt lo = x->rawMin() - from, hi = x->rawMax() - from;
  const QrcIntSetI* d = x->getDomainSet();
  if (!d) {
    _ranks[c] = rangeBits(lo, hi, col.size);
    return;
  }
  QrcInt base, last;
  const QrcWord* words = d->getPlainWords(base, last);
  if (!words) {
    // Another form: value by value.
    lo = lo > 0 ? lo : 0;
    hi = hi < col.size - 1 ? hi : col.size - 1;
    QrcUInt m = 0;
    for (QrcInt r = lo; r <= hi; ++r)
      if (d->contains(from + r)) m |= QrcUInt(1) << r;
    _ranks[c] = m;
    return;
  }
  lo = lo > base - from ? lo : base - from;
  hi = hi < last - from ? hi : last - from;
  QrcUInt range = rangeBits(lo, hi, col.size), m = 0;
  // A nonempty range holds from's bit, or base lies within 63 after from.
  if (range) {
    QrcInt pos = from - base;
    if (pos >= 0) {
      QrcInt q = pos >> 6, r = pos & 63;
      m = words[q] >> r;
      if (r && q + 1 < d->getWordCount()) m |= words[q + 1] << (64 - r);
    } else {
      m = words[0] << -pos;
    }
  }
  _ranks[c] = m & range;
}

// The candidates of the value from slot p on, a word of 64 at a time: the
// tuples holding a domain value at every other position, the first one taken.
QrcGACTuple* QrcGACSAllowedI::seekInBits(QrcGACValue* value, QrcInt p) {
  QrcInt k = value->var->position, i = value->index;
  const QrcInt* rankStart = _set->getRankStart();
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt first = col.slotStart[i], words = (col.slotStart[i + 1] - first + 63) >> 6;
  const QrcUInt* bits = col.bits + col.bitStart[i];
  // The list's first words are fetched while the domains are read.
  __builtin_prefetch(bits + ((p - first) >> 6));
  __builtin_prefetch(bits + ((p - first) >> 6) + 8);
  if (words == 1) {
    // One word: each column's domain is read only while candidates remain.
    __builtin_prefetch(col.slotTuple + p);
    QrcUInt found = ~QrcUInt(0) << (p - first);
    for (QrcInt j = 0; j < _arity && found; ++j) {
      if (j == k) continue;
      QrcUInt m = readRanks(j), any = 0;
      const QrcUInt* rows = bits + rankStart[j];
      QrcInt size = rankStart[j + 1] - rankStart[j];
      if (size <= 8) {
        // Few ranks: every row, without a branch on the domain.
        for (QrcInt r = 0; r < size; ++r) any |= rows[r] & (QrcUInt(0) - ((m >> r) & 1));
      } else {
        for (; m; m &= m - 1) any |= rows[__builtin_ctzll(m)];
      }
      found &= any;
    }
    if (!found) return nullptr;
    return newTuple(col.slotTuple[first + __builtin_ctzll(found)]);
  }
  for (QrcInt j = 0; j < _arity; ++j)
    if (j != k) readRanks(j);
  for (QrcInt w = (p - first) >> 6; w < words; ++w) {
    QrcUInt found = w == (p - first) >> 6 ? ~QrcUInt(0) << ((p - first) & 63) : ~QrcUInt(0);
    for (QrcInt j = 0; j < _arity && found; ++j) {
      if (j == k) continue;
      QrcUInt any = 0;
      const QrcUInt* rows = bits + rankStart[j] * words + w;
      for (QrcUInt m = _ranks[j]; m; m &= m - 1) any |= rows[__builtin_ctzll(m) * words];
      found &= any;
    }
    if (found) {
      QrcInt t = col.slotTuple[first + w * 64 + __builtin_ctzll(found)];
      return newTuple(t);
    }
  }
  return nullptr;
}

template <typename T, bool Masked>
QrcGACTuple* QrcGACSAllowedI::seekInRows(const QrcGACValue* value) {
  const QrcUInt none = static_cast<T>(~T(0));
  QrcInt k = value->var->position, a = _arity;
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt vRank = col.rank[value->index];
  Rows<T> in;
  in.rows = static_cast<const T*>(_set->getRows());
  in.stride = _set->getRowStride();
  in.count = _set->getCount();
  in.slots = nullptr;
  in.after = nullptr;
  // The first candidate: the tuple after the frontier in the (k, v) list.
  QrcInt t = -1, p = -1, end = col.slotStart[value->index + 1];
  if (_set->getStorageMode() == 1) {
    if (const T* after = static_cast<const T*>(_set->getAfter()))
      in.after = after + (k * _set->getWidth() + vRank) * in.count;
    if (!value->frontier) {
      t = col.slotTuple[col.slotStart[value->index]];
    } else {
      QrcInt f = value->frontier->number + 1;
      QrcUInt n = none;
      if (in.after)
        n = f < in.count ? in.after[f] : none;
      else
        // The frontier's link for (k, v) is the next tuple of the list.
        n = in.rows[value->frontier->number * in.stride + a + k * _set->getWidth() + vRank];
      if (n == none) return nullptr;
      t = static_cast<QrcInt>(n);
    }
  } else if constexpr (Masked) {
    // Over rank masks, mode 2 has its own search.
    return seekMode2<T>(value);
  } else {
    p = value->frontier ? in.rows[value->frontier->number * in.stride + 3 * a + k] + 1
                        : col.slotStart[value->index];
    if (p >= end) return nullptr;
  }
  // The first candidate's row is fetched while the domains are read.
  if (t >= 0)
    __builtin_prefetch(in.rows + t * in.stride);
  else
    __builtin_prefetch(static_cast<const T*>(_set->getSlotRows(k)) + p * (a + 1));
  if (Masked) {
    for (QrcInt j = 0; j < a; ++j)
      if (j != k) readRanks(j);
    _ranks[k] = ~QrcUInt(0);
  } else {
    for (QrcInt j = 0; j < a; ++j) _probes[j].read(_records[j].var);
  }
  if (t >= 0) {
    // A jump stops only where every value lies in its domain.
    if (!holdsRanks<T, Masked>(in.rows + t * in.stride, k))
      t = jumpMode1<T, Masked>(in, t, k, vRank);
    return t < 0 ? nullptr : newTuple(t);
  }
  if constexpr (!Masked) {
    in.slots = static_cast<const T*>(_set->getSlotRows(k));
    for (QrcInt j = 0; j < a; ++j) _sizes[j] = -1;
    for (; p >= 0; p = jumpMode2<T>(in, p, k, vRank, end)) {
      const T* slot = in.slots + p * (a + 1);
      if (holdsRanks<T, false>(slot + 1, k)) return newTuple(slot[0]);
    }
  }
  return nullptr;
}

// Mode 1 by the jump rows of the value's column: the candidates go by slot.
template <typename T>
QrcGACTuple* QrcGACSAllowedI::seekJumpRows(const QrcGACValue* value) {
  return qrcByArity(_arity, [&](auto r) { return seekJumpRowsOf<T, decltype(r)::value>(value); });
}

template <typename T, int R>
QrcGACTuple* QrcGACSAllowedI::seekJumpRowsOf(const QrcGACValue* value) {
  const QrcInt k = value->var->position, a = R ? R : _arity;
  QrcInt p, end;
  if (!candidateSlots(value, a, p, end)) return nullptr;
  const T* jumps = static_cast<const T*>(_set->getJumpRows(k));
  const QrcInt stride = _set->getJumpStride();
  // Its row is fetched while the domains are read.
  __builtin_prefetch(jumps + p * stride);
  QrcUInt masks[R ? R - 1 : 64];
  for (QrcInt o = 0; o < a - 1; ++o) masks[o] = readRanks(o + (o >= k));
  p = jumpRows<T, R>(jumps, stride, p, masks);
  return p < 0 ? nullptr : newTuple(_set->getColumn(k).slotTuple[p]);
}

// The jumps of jumpMode1 by slot: at each position whose rank left its
// domain, the least of the slots reached through the domain ranks' links.
// The rows and masks hold the positions other than k, in order.
template <typename T, int R>
QrcInt QrcGACSAllowedI::jumpRows(const T* jumps, QrcInt stride, QrcInt p, const QrcUInt* masks) {
  const QrcUInt none = static_cast<T>(~T(0));
  const QrcInt others = (R ? R : _arity) - 1, width = _set->getWidth();
  const T* row = jumps + p * stride;
  for (;;) {
    bool moved = false;
    for (QrcInt o = 0; o < others; ++o) {
      if ((masks[o] >> row[o]) & 1) continue;
      const T* next = row + others + o * width;
      QrcUInt best = none;
      for (QrcUInt m = masks[o]; m; m &= m - 1) {
        QrcUInt n = next[__builtin_ctzll(m)];
        best = n < best ? n : best;
      }
      if (best == none) return -1;
      p = static_cast<QrcInt>(best);
      row = jumps + p * stride;
      moved = true;
    }
    if (!moved) return p;
  }
}

// From a tuple holding v at k, the first tuple with every value in its
// domain: at each position whose value left its domain, the nearest newer
// tuple holding a domain value there, then the nearest holding v at k.
template <typename T, bool Masked>
QrcInt QrcGACSAllowedI::jumpMode1(const Rows<T>& in, QrcInt t, QrcInt k, QrcInt vRank) {
  const QrcUInt none = static_cast<T>(~T(0));
  const T* rows = in.rows;
  QrcInt stride = in.stride, width = _set->getWidth(), a = _arity;
  const T* row = rows + t * stride;
  for (;;) {
    bool moved = false;
    for (QrcInt c = 0; c < a; ++c) {
      if (c == k || holdsRank<Masked>(c, row[c])) continue;
      const T* next = row + a + c * width;
      // Numbers grow with age reversed: the smallest is the nearest.
      QrcUInt best = none;
      if (Masked) {
        for (QrcUInt m = _ranks[c]; m; m &= m - 1) {
          QrcUInt n = next[__builtin_ctzll(m)];
          best = n < best ? n : best;
        }
      } else {
        for (QrcInt r = 0, size = _set->getColumn(c).size; r < size; ++r)
          if (next[r] < best && holdsRank<Masked>(c, r)) best = next[r];
      }
      if (best == none) return -1;
      // Then the nearest holding v at k.
      if (in.after) {
        best = in.after[best];
      } else {
        const T* at = rows + best * stride;
        if (at[k] != vRank) best = at[a + k * width + vRank];
      }
      if (best == none) return -1;
      t = static_cast<QrcInt>(best);
      row = rows + t * stride;
      moved = true;
    }
    if (!moved) return t;
  }
}

// The first tuple, not older than the target, that may hold a domain value
// at c; cur walks the slots of the (k, v) list up to end and no support lies
// between the target and cur. -1 when no tuple remains. Domains through the
// probes (searchMode2 holds its own over rank masks).
template <typename T>
inline QrcInt QrcGACSAllowedI::probe(const Rows<T>& in, QrcInt c, QrcInt k, QrcInt vRank,
                                     QrcInt target, QrcInt& cur, QrcInt end) {
  const QrcInt none = static_cast<T>(~T(0));
  const QrcInt a = _arity, stride = in.stride, slotStride = a + 1;
  auto holds = [&](QrcInt rank) -> bool { return holdsRank<false>(c, rank); };
  // The slots' and the rows' elements of column c.
  const T* slot = in.slots + cur * slotStride + 1 + c;
  QrcInt n = slot[-1 - c];
  if (n >= target && holds(*slot)) return n;
  if (++cur == end) return -1;
  slot += slotStride;
  n = slot[-1 - c];
  // The domain values whose probe is still to meet, by count.
  if (_sizes[c] < 0) _sizes[c] = _records[c].var->getSize();
  QrcInt size = _sizes[c];
  QrcInt r = n >= target ? n : target;
  const T* row = in.rows + r * stride + c;
  const T* last = in.rows + (in.count - 1) * stride + c;
  const T noted = row[a];
  // None reads above every tuple.
  QrcInt best = none;
  for (bool firstTurn = true;; firstTurn = false) {
    T probed = row[a];
    if (size == 0 || (!firstTurn && probed == noted)) return best == none ? -1 : best;
    if (n >= r && holds(*slot)) return n;
    if (++cur == end) return -1;
    slot += slotStride;
    n = slot[-1 - c];
    if (n >= best) return n;
    if (holds(row[0])) break;
    if (holds(probed)) {
      --size;
      QrcInt link = row[2 * a];
      if (link < best) {
        best = link;
        if (n >= best) return n;
      }
    }
    if (row == last) return best == none ? -1 : best;
    ++r;
    row += stride;
  }
  if (r <= n) return n;
  row -= c;
  if (row[k] == vRank) cur = row[3 * a + k];
  return r;
}

template <typename T>
QrcInt QrcGACSAllowedI::jumpMode2(const Rows<T>& in, QrcInt failed, QrcInt k, QrcInt vRank,
                                  QrcInt end) {
  const QrcInt a = _arity;
  QrcInt cur = failed + 1;
  if (cur == end) return -1;
  QrcInt target = in.slots[cur * (a + 1)];
  for (;;) {
    QrcInt before = target;
    for (QrcInt c = 0; c < a; ++c) {
      if (c == k) continue;
      target = probe<T>(in, c, k, vRank, target, cur, end);
      if (target < 0) return -1;
    }
    if (!alignMode2(in, a, k, vRank, end, cur, target)) return -1;
    if (target == before) return cur;
  }
}

// Mode 2 over rank masks.
template <typename T>
QrcGACTuple* QrcGACSAllowedI::seekMode2(const QrcGACValue* value) {
  return qrcByArity(_arity, [&](auto r) { return seekMode2Of<T, decltype(r)::value>(value); });
}

template <typename T, int R>
QrcGACTuple* QrcGACSAllowedI::seekMode2Of(const QrcGACValue* value) {
  const QrcInt k = value->var->position, a = R ? R : _arity;
  QrcInt p, end;
  if (!candidateSlots(value, a, p, end)) return nullptr;
  const QrcTupleColumn& col = _set->getColumn(k);
  Rows<T> in;
  in.slots = static_cast<const T*>(_set->getSlotRows(k));
  // Its slot is fetched while the domains are read.
  __builtin_prefetch(in.slots + p * (a + 1));
  in.rows = static_cast<const T*>(_set->getRows());
  in.stride = _set->getRowStride();
  in.count = _set->getCount();
  in.after = nullptr;
  QrcUInt masks[R ? R : 64];
  for (QrcInt j = 0; j < a; ++j) masks[j] = j == k ? ~QrcUInt(0) : readRanks(j);
  p = searchMode2<T, R>(in, masks, p, k, col.rank[value->index], end);
  return p < 0 ? nullptr : newTuple(in.slots[p * (a + 1)]);
}

// Mode 2 over rank masks with R positions (0: any): the candidates from slot
// p on, by the passes of jumpMode2 and the probes of probe, the positions'
// masks and the rows' constants held in locals.
template <typename T, int R>
QrcInt QrcGACSAllowedI::searchMode2(const Rows<T>& in, const QrcUInt* ranks, QrcInt p, QrcInt k,
                                    QrcInt vRank, QrcInt end) {
  const QrcInt none = static_cast<T>(~T(0));
  const QrcInt a = R ? R : _arity, slotStride = a + 1, stride = in.stride, count = in.count;
  const T* const rows = in.rows;
  const T* const slots = in.slots;
  // The candidate of a slot is taken when all its ranks lie in their
  // domains: by the slot's ranks as one word where the set has them.
  const QrcUInt* hits = _set->getSlotHits(k);
  QrcUInt outside = 0;
  if (hits) {
    QrcInt lane = _set->getHitLane();
    QrcUInt laneBits = lane == 6 ? ~QrcUInt(0) : (QrcUInt(1) << (QrcInt(1) << lane)) - 1;
    for (QrcInt j = 0; j < a; ++j) outside |= (~ranks[j] & laneBits) << (j << lane);
  }
  auto holdsAll = [&](QrcInt p) -> bool {
    if (hits) return !(hits[p] & outside);
    const T* slot = slots + p * slotStride;
    QrcUInt ok = 1;
    for (QrcInt j = 0; j < a; ++j) ok &= ranks[j] >> slot[1 + j];
    return ok & 1;
  };
  // probe(c) (see probe) past its first test, which the pass makes.
  auto probeOn = [&](QrcInt c, QrcInt target, QrcInt& cur) -> QrcInt {
    const QrcUInt mask = ranks[c];
    if (++cur == end) return -1;
    const T* slot = slots + cur * slotStride;
    QrcInt n = slot[0];
    QrcUInt left = mask;
    QrcInt r = n >= target ? n : target;
    const T* row = rows + r * stride;
    const T* last = rows + (count - 1) * stride;
    const QrcInt noted = row[a + c];
    QrcInt best = none;
    for (bool firstTurn = true;; firstTurn = false) {
      QrcInt probed = row[a + c];
      if (left == 0 || (!firstTurn && probed == noted)) return best == none ? -1 : best;
      if (n >= r && ((mask >> slot[1 + c]) & 1)) return n;
      if (++cur == end) return -1;
      slot += slotStride;
      n = slot[0];
      if (n >= best) return n;
      if ((mask >> row[c]) & 1) break;
      if ((mask >> probed) & 1) {
        left &= ~(QrcUInt(1) << probed);
        QrcInt link = row[2 * a + c];
        if (link < best) {
          best = link;
          if (n >= best) return n;
        }
      }
      if (row == last) return best == none ? -1 : best;
      ++r;
      row += stride;
    }
    if (r <= n) return n;
    if (row[k] == vRank) cur = row[3 * a + k];
    return r;
  };
  // The passes step over no slot whose ranks all lie in their domains: each
  // leaves behind only tuples holding a rank outside its domain somewhere. So
  // the search takes the first such slot from p on, and wherever the passes
  // stand, the lane words of the next Window slots are tested at once:
  // firstHolding answers the first holding slot from q on among them, -1
  // when none. Slots before seen are known to fail.
  const QrcInt Window = 8;
  QrcInt seen = p;
  auto firstHolding = [&](QrcInt q) -> QrcInt {
    QrcInt stop = q + Window < end ? q + Window : end;
    for (q = q > seen ? q : seen; q < stop; ++q)
      if (!(hits[q] & outside)) return q;
    seen = stop;
    return -1;
  };
  for (;;) {
    if (hits) {
      QrcInt q = firstHolding(p);
      if (q >= 0) return q;
      p = seen - 1;
    } else if (holdsAll(p))
      return p;
    // The next candidate after the failed one: passes until the target stays.
    QrcInt cur = p + 1;
    if (cur == end) return -1;
    QrcInt target = slots[cur * slotStride];
    for (;;) {
      // A pass from a slot not older than the target whose ranks all lie in
      // their domains would stay there: that slot is the candidate, and taken.
      const T* at = slots + cur * slotStride;
      if (hits) {
        QrcInt q = firstHolding(cur);
        if (q >= 0) return q;
      } else if (at[0] >= target && holdsAll(cur))
        return cur;
      QrcInt before = target;
      for (QrcInt o = 0; o < a - 1; ++o) {
        const QrcInt c = o + (o >= k);
        const T* now = slots + cur * slotStride;
        if (now[0] >= target && ((ranks[c] >> now[1 + c]) & 1)) {
          target = now[0];
          continue;
        }
        target = probeOn(c, target, cur);
        if (target < 0) return -1;
        // The candidate moved: when it is taken, the rest of the passes stays there.
        now = slots + cur * slotStride;
        if (hits) {
          QrcInt q = firstHolding(cur);
          if (q >= 0) return q;
        } else if (now[0] >= target && holdsAll(cur))
          return cur;
      }
      if (!alignMode2(in, a, k, vRank, end, cur, target)) return -1;
      if (target == before) break;
    }
    p = cur;
  }
}
