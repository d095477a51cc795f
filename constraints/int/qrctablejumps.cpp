// Mode 1's support search of allowed tables: jumps along the set's links.
// From a candidate holding the value v at k, at each other position whose
// value left its domain the search jumps to the nearest newer tuple holding
// a domain value there (the smallest of the candidate's links for the
// domain's ranks), then to the nearest tuple holding v at k; it stops where
// no position moves the candidate. Every tuple jumped over holds a value
// outside its domain, so the candidate taken is the first after the frontier
// whose values all lie in their domains: the table keeps generalised arc
// consistency. Over rank masks and where the set has them, the jumps go by
// the jump rows of the value's column, slot to slot.
#include "qrctablearity.h"
#include "qrctableseekinline.h"

namespace {

// The least of the links of the ranks in mask (none when no rank): the
// nearest newer tuple, or slot, holding one of them.
template <typename T>
__attribute__((always_inline)) inline QrcUInt nearestLink(const T* links, QrcUInt mask) {
  QrcUInt best = static_cast<T>(~T(0));
  for (QrcUInt m = mask; m; m &= m - 1) {
    QrcUInt n = links[__builtin_ctzll(m)];
    best = n < best ? n : best;
  }
  return best;
}

}  // namespace

// From a tuple holding v at k, the first tuple with every value in its
// domain: at each position whose value left its domain, the nearest newer
// tuple holding a domain value there, then the nearest holding v at k.
template <typename T, bool Masked>
QrcInt QrcTableSeekerI::jumpMode1(const QrcTableRows<T>& in, QrcInt t, QrcInt k, QrcInt vRank) {
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
        best = nearestLink(next, _ranks[c]);
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

// The jumps of jumpMode1 by slot: at each position whose rank left its
// domain, the least of the slots reached through the domain ranks' links.
// The rows and masks hold the positions other than k, in order.
template <typename T, int R>
__attribute__((always_inline)) inline QrcInt QrcTableSeekerI::jumpRows(const T* jumps,
                                                                       QrcInt stride, QrcInt p,
                                                                       const QrcUInt* masks) {
  const QrcUInt none = static_cast<T>(~T(0));
  const QrcInt others = (R ? R : _arity) - 1, width = _set->getWidth();
  const T* row = jumps + p * stride;
  for (;;) {
    bool moved = false;
    for (QrcInt o = 0; o < others; ++o) {
      if ((masks[o] >> row[o]) & 1) continue;
      QrcUInt best = nearestLink(row + others + o * width, masks[o]);
      if (best == none) return -1;
      p = static_cast<QrcInt>(best);
      row = jumps + p * stride;
      moved = true;
    }
    if (!moved) return p;
  }
}

// Mode 1 by the rows, from the tuple after the frontier in the (k, v) list.
template <typename T, bool Masked>
QrcInt QrcTableSeekerI::seekMode1(const QrcGACValue* value) {
  const QrcUInt none = static_cast<T>(~T(0));
  QrcInt k = value->var->position;
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt vRank = col.rank[value->index];
  QrcTableRows<T> in = rowsOf<T>();
  if (const T* after = static_cast<const T*>(_set->getAfter()))
    in.after = after + (k * _set->getWidth() + vRank) * in.count;
  QrcInt t;
  if (!value->frontier) {
    t = col.slotTuple[col.slotStart[value->index]];
  } else {
    QrcInt f = value->frontier->number + 1;
    QrcUInt n = none;
    if (in.after)
      n = f < in.count ? in.after[f] : none;
    else
      // The frontier's link for (k, v) is the next tuple of the list.
      n = in.rows[value->frontier->number * in.stride + _arity + k * _set->getWidth() + vRank];
    if (n == none) return -1;
    t = static_cast<QrcInt>(n);
  }
  // The first candidate's row is fetched while the domains are read.
  __builtin_prefetch(in.rows + t * in.stride);
  readDomains<Masked>(k);
  // A jump stops only where every value lies in its domain.
  if (!holdsRanks<T, Masked>(in.rows + t * in.stride, k)) t = jumpMode1<T, Masked>(in, t, k, vRank);
  return t;
}

// Mode 1 by the jump rows of the value's column: the candidates go by slot.
template <typename T, int R>
QrcInt QrcTableSeekerI::seekJumpRows(const QrcGACValue* value) {
  const QrcInt k = value->var->position, a = R ? R : _arity;
  QrcInt p, end;
  if (!candidateSlots(value, a, p, end)) return -1;
  const T* jumps = static_cast<const T*>(_set->getJumpRows(k));
  const QrcInt stride = _set->getJumpStride();
  // Its row is fetched while the domains are read.
  __builtin_prefetch(jumps + p * stride);
  QrcUInt masks[R ? R - 1 : 64];
  for (QrcInt o = 0; o < a - 1; ++o) masks[o] = readRanks(o + (o >= k));
  p = jumpRows<T, R>(jumps, stride, p, masks);
  return p < 0 ? -1 : _set->getColumn(k).slotTuple[p];
}

QrcInt QrcTableSeekerI::seekJumps(const QrcGACValue* value) {
  return qrcByRowBytes(_set->getRowBytes(), [&](auto e) {
    using T = decltype(e);
    if (!_rankMasked) return seekMode1<T, false>(value);
    if (!_set->getJumpStride()) return seekMode1<T, true>(value);
    return qrcByArity(_arity, [&](auto r) { return seekJumpRows<T, decltype(r)::value>(value); });
  });
}
