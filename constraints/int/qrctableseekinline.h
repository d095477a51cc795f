// What the modes' support searches of allowed tables share, inline on their
// paths: the rows of modes 1 and 2, the domains read once at the start of a
// search (as probes or as masks of the columns' ranks) and the tests of
// values and ranks against them.
#ifndef QRC_TABLE_SEEK_INLINE_H
#define QRC_TABLE_SEEK_INLINE_H

#include "qrctableseek.h"

// A domain read once for many membership tests while it does not change:
// its bounds and, over a plain range, its bit words (else its set, or none).
struct QrcDomainProbe {
  QrcInt lo;
  QrcUInt span;  // hi - lo
  const QrcWord* words;
  const QrcIntSetI* other;

  void read(QrcIntExpI* x) {
    x->refreshBounds();
    QrcInt hi = x->rawMax();
    lo = x->rawMin();
    other = x->getDomainSet();
    words = nullptr;
    QrcInt base, last;
    if (other && (words = other->getPlainWords(base, last))) {
      // Bits below lo are not read: the words start at lo's bit.
      if (lo < base) lo = base;
      if (hi > last) hi = last;
      words += (lo - base) >> 6;
      shift = (lo - base) & 63;
      other = nullptr;
    }
    if (lo > hi) {
      static const QrcWord none = 0;
      hi = lo;
      words = &none;
      shift = 0;
      other = nullptr;
    }
    span = static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo);
  }
  bool holds(QrcInt v) const {
    QrcUInt off = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(lo);
    if (off > span) return false;
    if (words) {
      QrcUInt pos = off + static_cast<QrcUInt>(shift);
      return (words[pos >> 6] >> (pos & 63)) & 1;
    }
    return !other || other->contains(v);
  }
  // The domain as bits from lo, when it spans at most 64 values and is no set of another form.
  bool toMask(QrcUInt& mask) const {
    if (other || span > 63) return false;
    QrcUInt range = span == 63 ? ~QrcUInt(0) : (QrcUInt(1) << (span + 1)) - 1;
    if (!words) {
      mask = range;
      return true;
    }
    QrcUInt w = words[0] >> shift;
    if (shift && shift + static_cast<QrcInt>(span) > 63) w |= words[1] << (64 - shift);
    mask = w & range;
    return true;
  }

 private:
  QrcInt shift = 0;
};

// Modes 1 and 2: the set's rows (T the element type) and what a search reads with them.
template <typename T>
struct QrcTableRows {
  const T* rows;  // by tuple number
  QrcInt stride;
  const T* slots;  // mode 2: the slot rows of the searched column
  const T* after;  // mode 1: the oldest tuple holding the searched value, by tuple; or null
  QrcInt count;
};

// A plain set whose first word holds a column's ranks: its words, the value
// of bit 0, the last rank to read.
struct QrcTableSeekerI::RankSource {
  const QrcIntSetI* set;
  const QrcWord* words;
  QrcInt base;
  QrcUInt span;

  // While x's bounds are fresh and lie within the first word's span, its
  // ranks: the word's bits within the bounds.
  __attribute__((always_inline)) bool firstWord(QrcIntExpI* x, QrcUInt& ranks) const {
    if (!x->hasFreshBounds()) return false;
    QrcUInt lo = static_cast<QrcUInt>(x->rawMin() - base);
    QrcUInt hi = static_cast<QrcUInt>(x->rawMax() - base);
    if (lo > hi || hi > span) return false;
    ranks = words[0] & (~QrcUInt(0) << lo) & (~QrcUInt(0) >> (63 - hi));
    return true;
  }
};

inline bool QrcTableSeekerI::candidateSlots(const QrcGACValue* value, QrcInt a, QrcInt& p,
                                            QrcInt& end) const {
  QrcInt k = value->var->position;
  const QrcTupleColumn& col = _set->getColumn(k);
  p = value->frontier ? _slots[value->frontier->number * a + k] + 1 : col.slotStart[value->index];
  end = col.slotStart[value->index + 1];
  return p < end;
}

template <typename T>
inline QrcTableRows<T> QrcTableSeekerI::rowsOf() const {
  QrcTableRows<T> in;
  in.rows = static_cast<const T*>(_set->getRows());
  in.stride = _set->getRowStride();
  in.count = _set->getCount();
  in.slots = nullptr;
  in.after = nullptr;
  return in;
}

template <bool Masked>
inline void QrcTableSeekerI::readDomains(QrcInt k) {
  if (Masked) {
    for (QrcInt j = 0; j < _arity; ++j)
      if (j != k) readRanks(j);
    _ranks[k] = ~QrcUInt(0);
  } else {
    for (QrcInt j = 0; j < _arity; ++j) _probes[j].read(_records[j].var);
  }
}

template <bool Masked>
inline bool QrcTableSeekerI::holdsRank(QrcInt c, QrcInt rank) {
  if (Masked) return (_ranks[c] >> rank) & 1;
  return _probes[c].holds(_sorted[c][rank]);
}

template <typename T, bool Masked>
inline bool QrcTableSeekerI::holdsRanks(const T* ranks, QrcInt k) {
  if (Masked) {
    // Without branches: position k's mask holds every rank.
    QrcUInt ok = 1;
    for (QrcInt j = 0; j < _arity; ++j) ok &= _ranks[j] >> ranks[j];
    return ok & 1;
  }
  for (QrcInt j = 0; j < _arity; ++j)
    if (j != k && !holdsRank<Masked>(j, ranks[j])) return false;
  return true;
}

inline QrcUInt QrcTableSeekerI::readRanks(QrcInt c) {
  const RankSource& from = _sources[c];
  QrcIntExpI* x = _records[c].var;
  // The column's values are consecutive from the set's bit 0: its ranks are
  // the domain's bits within the bounds, in the set's first word.
  if (x->getDomainSet() == from.set && from.set && from.firstWord(x, _ranks[c])) return _ranks[c];
  readRanksApart(c);
  return _ranks[c];
}

#endif
