// Mode 2's support search of allowed tables: the slots of the value's
// (column, value) list and the set's tuple rows walked in step. Each tuple
// row holds, per column, a probe value (the probe values cycle through the
// column's sorted values along the tuples from the newest on) and the link to
// the nearest newer tuple holding it. A pass over the other positions moves
// a target tuple past every tuple holding a value outside the domain there,
// by the probes' links, and the list's slot with it; passes repeat until the
// target stays, and the slot it stands on is taken. Every tuple passed holds
// a value outside its domain, so the tuple taken is the first after the
// frontier whose values all lie in their domains: the table keeps
// generalised arc consistency. Over rank masks the passes hold the masks and
// the rows' constants in locals, and test the slots' ranks a lane word at a
// time where the set has them; else they read the domains through probes.
#include "qrctablearity.h"
#include "qrctableseekinline.h"

namespace {

// The second step of a mode-2 pass over the rows and slot rows of in, a the
// arity: cur walks the (k, v) list and target the newer-record links in step
// to the first tuple holding v at k not older than the target; then cur is
// that tuple's slot. False when either runs out.
template <typename T>
__attribute__((always_inline)) inline bool alignMode2(const QrcTableRows<T>& in, QrcInt a, QrcInt k,
                                                      QrcInt vRank, QrcInt end, QrcInt& cur,
                                                      QrcInt& target) {
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

// A position's domain as the probes read it over rank masks: its ranks, and
// those not yet met as a probe.
struct MaskDomain {
  QrcUInt mask;
  QrcUInt left;
  bool holds(QrcInt rank) const { return (mask >> rank) & 1; }
  bool allMet() const { return left == 0; }
  void meet(QrcInt rank) { left &= ~(QrcUInt(1) << rank); }
};

// A position's domain through its probe: its values by rank, and how many of
// them are not yet met as a probe.
struct ProbeDomain {
  const QrcDomainProbe& probe;
  const QrcInt* sorted;
  QrcInt left;
  bool holds(QrcInt rank) const { return probe.holds(sorted[rank]); }
  bool allMet() const { return left == 0; }
  void meet(QrcInt) { --left; }
};

// The first tuple, not older than the target, that may hold a value of d at
// c, past the test of cur's slot, which the pass makes; cur walks the slots
// of the (k, v) list up to end and no support lies between the target and
// cur. -1 when no tuple remains. a the arity.
template <typename T, class Domain>
__attribute__((always_inline)) inline QrcInt probeOn(const QrcTableRows<T>& in, QrcInt a, QrcInt c,
                                                     QrcInt k, QrcInt vRank, QrcInt target,
                                                     QrcInt& cur, QrcInt end, Domain& d) {
  const QrcInt none = static_cast<T>(~T(0)), slotStride = a + 1, stride = in.stride;
  if (++cur == end) return -1;
  const T* slot = in.slots + cur * slotStride;
  QrcInt n = slot[0];
  QrcInt r = n >= target ? n : target;
  const T* row = in.rows + r * stride;
  const T* last = in.rows + (in.count - 1) * stride;
  const QrcInt noted = row[a + c];
  // None reads above every tuple.
  QrcInt best = none;
  for (bool firstTurn = true;; firstTurn = false) {
    QrcInt probed = row[a + c];
    if (d.allMet() || (!firstTurn && probed == noted)) return best == none ? -1 : best;
    if (n >= r && d.holds(slot[1 + c])) return n;
    if (++cur == end) return -1;
    slot += slotStride;
    n = slot[0];
    if (n >= best) return n;
    if (d.holds(row[c])) break;
    if (d.holds(probed)) {
      d.meet(probed);
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
}

// What searchMode2 passes stop at besides a slot: the target stayed, and
// the next candidate is where the passes stand.
const QrcInt Stayed = -2;

// The passes of searchMode2 over rank masks with R positions (0: any), held
// in locals: the positions' masks and, where the set has the slots' lane
// words, the lane words of the ranks outside the domains.
template <typename T, int R>
struct MaskedPasses {
  // The lane words of so many slots are tested at once.
  static constexpr QrcInt Window = 8;
  const QrcTableRows<T>& in;
  const T* const slots;
  const QrcUInt* const ranks;
  const QrcUInt* const hits;
  const QrcInt a, slotStride, k, vRank, end;
  QrcUInt outside;
  QrcInt seen;  // slots before it are known to fail

  __attribute__((always_inline))
  MaskedPasses(const QrcTableRows<T>& in, const QrcUInt* ranks, const QrcUInt* hits, QrcInt lane,
               QrcInt arity, QrcInt k, QrcInt vRank, QrcInt p, QrcInt end)
      : in(in),
        slots(in.slots),
        ranks(ranks),
        hits(hits),
        a(R ? R : arity),
        slotStride(a + 1),
        k(k),
        vRank(vRank),
        end(end),
        outside(0),
        seen(p) {
    if (!hits) return;
    QrcUInt laneBits = lane == 6 ? ~QrcUInt(0) : (QrcUInt(1) << (QrcInt(1) << lane)) - 1;
    for (QrcInt j = 0; j < a; ++j) outside |= (~ranks[j] & laneBits) << (j << lane);
  }
  // Without the lane words: whether the ranks of slot p all lie in their domains.
  __attribute__((always_inline)) bool holdsAll(QrcInt p) const {
    const T* slot = slots + p * slotStride;
    QrcUInt ok = 1;
    for (QrcInt j = 0; j < a; ++j) ok &= ranks[j] >> slot[1 + j];
    return ok & 1;
  }
  // The passes step over no slot whose ranks all lie in their domains: each
  // leaves behind only tuples holding a rank outside its domain somewhere. So
  // the search takes the first such slot from p on, and wherever the passes
  // stand, the lane words of the next Window slots are tested at once: the
  // first holding slot from q on among them, -1 when none.
  __attribute__((always_inline)) QrcInt firstHolding(QrcInt q) {
    QrcInt stop = q + Window < end ? q + Window : end;
    for (q = q > seen ? q : seen; q < stop; ++q)
      if (!(hits[q] & outside)) return q;
    seen = stop;
    return -1;
  }
  // A pass from a slot not older than the target whose ranks all lie in
  // their domains would stay there: that slot is the candidate, and taken.
  // By the lane words, the first holding slot where the passes stand; -1
  // when none.
  __attribute__((always_inline)) QrcInt taken(QrcInt cur, QrcInt target) {
    if (hits) return firstHolding(cur);
    return slots[cur * slotStride] >= target && holdsAll(cur) ? cur : -1;
  }
  // From the slot after a failed one, passes until the target stays: the
  // slot taken, -1 when none, else Stayed with cur the next candidate.
  __attribute__((always_inline)) QrcInt passes(QrcInt& cur) {
    QrcInt target = slots[cur * slotStride];
    for (;;) {
      QrcInt q = taken(cur, target);
      if (q >= 0) return q;
      QrcInt before = target;
      for (QrcInt o = 0; o < a - 1; ++o) {
        const QrcInt c = o + (o >= k);
        const T* now = slots + cur * slotStride;
        if (now[0] >= target && ((ranks[c] >> now[1 + c]) & 1)) {
          target = now[0];
          continue;
        }
        MaskDomain d{ranks[c], ranks[c]};
        target = probeOn(in, a, c, k, vRank, target, cur, end, d);
        if (target < 0) return -1;
        // The candidate moved: when it is taken, the rest of the passes stays there.
        q = taken(cur, target);
        if (q >= 0) return q;
      }
      if (!alignMode2(in, a, k, vRank, end, cur, target)) return -1;
      if (target == before) return Stayed;
    }
  }
};

}  // namespace

// Mode 2 over rank masks with R positions (0: any): the candidates from slot
// p on, by passes as jumpMode2's, their probes by probeOn.
template <typename T, int R>
__attribute__((always_inline)) inline QrcInt QrcTableSeekerI::searchMode2(
    const QrcTableRows<T>& in, const QrcUInt* ranks, QrcInt p, QrcInt k, QrcInt vRank, QrcInt end) {
  // The candidate of a slot is taken when all its ranks lie in their
  // domains: by the slot's ranks as one word where the set has them.
  MaskedPasses<T, R> s(in, ranks, _set->getSlotHits(k), _set->getHitLane(), _arity, k, vRank, p,
                       end);
  for (;;) {
    if (s.hits) {
      QrcInt q = s.firstHolding(p);
      if (q >= 0) return q;
      p = s.seen - 1;
    } else if (s.holdsAll(p)) {
      return p;
    }
    // The next candidate after the failed one: passes until the target stays.
    QrcInt cur = p + 1;
    if (cur == end) return -1;
    QrcInt q = s.passes(cur);
    if (q != Stayed) return q;
    p = cur;
  }
}

template <typename T, int R>
QrcInt QrcTableSeekerI::seekMode2(const QrcGACValue* value) {
  const QrcInt k = value->var->position, a = R ? R : _arity;
  QrcInt p, end;
  if (!candidateSlots(value, a, p, end)) return -1;
  const QrcTupleColumn& col = _set->getColumn(k);
  const T* slots = static_cast<const T*>(_set->getSlotRows(k));
  // Its slot is fetched while the domains are read.
  __builtin_prefetch(slots + p * (a + 1));
  QrcTableRows<T> in = rowsOf<T>();
  in.slots = slots;
  QrcUInt masks[R ? R : 64];
  for (QrcInt j = 0; j < a; ++j) masks[j] = j == k ? ~QrcUInt(0) : readRanks(j);
  p = searchMode2<T, R>(in, masks, p, k, col.rank[value->index], end);
  return p < 0 ? -1 : slots[p * (a + 1)];
}

// probeOn through the probes, with the test of cur's slot.
template <typename T>
inline QrcInt QrcTableSeekerI::probe(const QrcTableRows<T>& in, QrcInt c, QrcInt k, QrcInt vRank,
                                     QrcInt target, QrcInt& cur, QrcInt end) {
  const T* slot = in.slots + cur * (_arity + 1);
  if (slot[0] >= target && holdsRank<false>(c, slot[1 + c])) return slot[0];
  // The domain values whose probe is still to meet, by count.
  if (_sizes[c] < 0) _sizes[c] = _records[c].var->getSize();
  ProbeDomain d{_probes[c], _sorted[c], _sizes[c]};
  return probeOn(in, _arity, c, k, vRank, target, cur, end, d);
}

template <typename T>
QrcInt QrcTableSeekerI::jumpMode2(const QrcTableRows<T>& in, QrcInt failed, QrcInt k, QrcInt vRank,
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

// Mode 2 through the probes, from the slot after the frontier's.
template <typename T>
QrcInt QrcTableSeekerI::seekMode2ByProbes(const QrcGACValue* value) {
  QrcInt k = value->var->position, a = _arity;
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt vRank = col.rank[value->index];
  QrcTableRows<T> in = rowsOf<T>();
  QrcInt p = value->frontier ? in.rows[value->frontier->number * in.stride + 3 * a + k] + 1
                             : col.slotStart[value->index];
  QrcInt end = col.slotStart[value->index + 1];
  if (p >= end) return -1;
  in.slots = static_cast<const T*>(_set->getSlotRows(k));
  // The first candidate's slot is fetched while the domains are read.
  __builtin_prefetch(in.slots + p * (a + 1));
  readDomains<false>(k);
  for (QrcInt j = 0; j < a; ++j) _sizes[j] = -1;
  for (; p >= 0; p = jumpMode2<T>(in, p, k, vRank, end)) {
    const T* slot = in.slots + p * (a + 1);
    if (holdsRanks<T, false>(slot + 1, k)) return slot[0];
  }
  return -1;
}

QrcInt QrcTableSeekerI::seekProbes(const QrcGACValue* value) {
  return qrcByRowBytes(_set->getRowBytes(), [&](auto e) {
    using T = decltype(e);
    if (!_rankMasked) return seekMode2ByProbes<T>(value);
    return qrcByArity(_arity, [&](auto r) { return seekMode2<T, decltype(r)::value>(value); });
  });
}
