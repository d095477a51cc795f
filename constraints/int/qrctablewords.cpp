// Mode 0's support search of allowed tables: the candidates of a value are
// the tuples of its (column, value) list after its frontier, in the order of
// adding. Where the set has the lists' bits, a word of 64 candidates at a
// time: the candidates holding a domain value at another position are the
// union of that position's rows of its domain's ranks, and the first
// candidate in every position's union is taken. Short lists, and lists
// without bits, are walked one candidate at a time. The candidate taken has
// every value in its domain, the first such after the frontier: the table
// keeps generalised arc consistency.
#include "qrctablearity.h"
#include "qrctableseekinline.h"

namespace {

// Lists of at most so many candidates are walked without words; with the
// lists' bits, past two positions, only lists of at most ShortBitsList.
const QrcInt ShortList = QrcTupleSetI::ShortPairList, ShortBitsList = 2;

}  // namespace

template <int R>
__attribute__((always_inline)) inline QrcInt QrcTableSeekerI::walkShortList(
    const QrcTupleColumn& col, QrcInt p, QrcInt end, QrcInt k) {
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
        return hits ? tuples[p + __builtin_ctzll(hits)] : -1;
      }
      for (; p < end; ++p, values += 2)
        if (r.holds(*values)) return tuples[p];
      return -1;
    }
    for (values += p * a; p < end; ++p, values += a)
      if (qrcOthersHold<R>(_records, a, values, k)) return tuples[p];
    return -1;
  }
  for (; p < end; ++p) {
    QrcInt t = tuples[p];
    if (qrcOthersHold<R>(_records, a, _values + t * a, k)) return t;
  }
  return -1;
}

inline bool QrcTableSeekerI::holdsDomainValues(const QrcInt* values) const {
  if (_masked) {
    QrcUInt ok = 1;
    for (QrcInt j = 0; j < _arity; ++j) {
      QrcUInt off = static_cast<QrcUInt>(values[j]) - static_cast<QrcUInt>(_probes[j].lo);
      ok &= (_masks[j] >> (off & 63)) & (off < 64);
    }
    return ok;
  }
  QrcInt j = 0;
  while (j < _arity && _probes[j].holds(values[j])) ++j;
  return j == _arity;
}

__attribute__((always_inline)) inline QrcInt QrcTableSeekerI::walkProbes(const QrcTupleColumn& col,
                                                                         QrcInt p, QrcInt end) {
  _masked = true;
  for (QrcInt j = 0; j < _arity; ++j) {
    _probes[j].read(_records[j].var);
    _masked = _masked && _probes[j].toMask(_masks[j]);
  }
  if (col.slotValues) {
    for (const QrcInt* values = col.slotValues + p * _arity; p < end; ++p, values += _arity)
      if (holdsDomainValues(values)) return col.slotTuple[p];
    return -1;
  }
  for (; p < end; ++p) {
    QrcInt t = col.slotTuple[p];
    if (holdsDomainValues(_values + t * _arity)) return t;
  }
  return -1;
}

// The search's entry: modes 1 and 2 in their files, mode 0 here.
QrcInt QrcTableSeekerI::seek(const QrcGACValue* value) {
  QrcInt k = value->var->position;
  if (value->index < 0) return -1;
  QrcInt mode = _set->getStorageMode();
  if (mode != 0) return mode == 1 ? seekJumps(value) : seekProbes(value);
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt p, end;
  if (!candidateSlots(value, _arity, p, end)) return -1;
  if (end - p <= (_arity > 2 && _set->getRankStart() ? ShortBitsList : ShortList)) {
    // A short list is walked without preparing the domains; the value's own
    // position holds it, in its domain.
    return qrcByArity(_arity,
                      [&](auto r) { return walkShortList<decltype(r)::value>(col, p, end, k); });
  }
  if (_set->getRankStart()) return seekInBits(value, p);
  return walkProbes(col, p, end);
}

// The candidates of the value from slot p on, a word of 64 at a time: the
// tuples holding a domain value at every other position, the first one taken.
QrcInt QrcTableSeekerI::seekInBits(const QrcGACValue* value, QrcInt p) {
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
    if (!found) return -1;
    return col.slotTuple[first + __builtin_ctzll(found)];
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
    if (found) return col.slotTuple[first + w * 64 + __builtin_ctzll(found)];
  }
  return -1;
}
