// The support search of allowed tables, apart from its modes: its records,
// and the domains read as masks of the columns' ranks where readRanks does
// not read them inline. A rank mask holds bit r when the column's r-th
// smallest value lies in the domain: a search tests a tuple's values as
// ranks, so that the table stays generalised arc consistent over any domain.
#include "qrctableseekinline.h"

#include "qrcheaparray.h"
#include "qrcmanager.h"

namespace {

// Bits lo to hi, within the n first.
inline QrcUInt rangeBits(QrcInt lo, QrcInt hi, QrcInt n) {
  lo = lo > 0 ? lo : 0;
  hi = hi < n - 1 ? hi : n - 1;
  return lo > hi ? 0 : (~QrcUInt(0) >> (63 - (hi - lo))) << lo;
}

}  // namespace

void QrcTableSeekerI::initialise(QrcManagerI* m, QrcTupleSetI* set, const QrcGACVar* records,
                                 QrcInt arity) {
  _set = set;
  _records = records;
  _arity = arity;
  _values = set->getValues();
  _slots = set->getSlots();
  _probes = static_cast<QrcDomainProbe*>(
      m->allocate(static_cast<size_t>(arity) * sizeof(QrcDomainProbe)));
  _masks = static_cast<QrcUInt*>(m->allocate(static_cast<size_t>(arity) * sizeof(QrcUInt)));
  _ranks = static_cast<QrcUInt*>(m->allocate(static_cast<size_t>(arity) * sizeof(QrcUInt)));
  _sorted =
      static_cast<const QrcInt**>(m->allocate(static_cast<size_t>(arity) * sizeof(const QrcInt*)));
  _rankMasked = arity <= 64;
  _sizes = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(arity) * sizeof(QrcInt)));
  _sources = allocArray<RankSource>(m, arity, RankSource{nullptr, nullptr, 0, 0});
  for (QrcInt k = 0; k < arity; ++k) {
    _sorted[k] = set->getColumn(k).sortedValues;
    _rankMasked = _rankMasked && set->getColumn(k).size <= 64;
  }
}

void QrcTableSeekerI::readRanksApart(QrcInt c) {
  const QrcTupleColumn& col = _set->getColumn(c);
  if (!col.consecutive) {
    _ranks[c] = ranksByValue(c, col);
    return;
  }
  if (readSource(c, col)) return;
  _ranks[c] = ranksOfConsecutive(c, col);
}

bool QrcTableSeekerI::readSource(QrcInt c, const QrcTupleColumn& col) {
  QrcIntExpI* x = _records[c].var;
  const QrcIntSetI* set = x->getDomainSet();
  QrcInt setFirst, setLast;
  const QrcWord* plain = set ? set->getPlainWords(setFirst, setLast) : nullptr;
  if (!plain || setFirst != col.first) return false;
  // Read inline from now on.
  QrcInt span = setLast - setFirst < col.size - 1 ? setLast - setFirst : col.size - 1;
  _sources[c] = RankSource{set, plain, setFirst, static_cast<QrcUInt>(span)};
  return _sources[c].firstWord(x, _ranks[c]);
}

QrcUInt QrcTableSeekerI::ranksByValue(QrcInt c, const QrcTupleColumn& col) const {
  QrcUInt m = 0;
  for (QrcInt r = 0; r < col.size; ++r)
    if (_records[c].holds(col.sortedValues[r])) m |= QrcUInt(1) << r;
  return m;
}

QrcUInt QrcTableSeekerI::ranksOfConsecutive(QrcInt c, const QrcTupleColumn& col) const {
  QrcIntExpI* x = _records[c].var;
  x->refreshBounds();
  QrcInt from = col.first;
  QrcInt lo = x->rawMin() - from, hi = x->rawMax() - from;
  const QrcIntSetI* d = x->getDomainSet();
  if (!d) return rangeBits(lo, hi, col.size);
  QrcInt base, last;
  const QrcWord* words = d->getPlainWords(base, last);
  if (!words) {
    // Another form: value by value.
    lo = lo > 0 ? lo : 0;
    hi = hi < col.size - 1 ? hi : col.size - 1;
    QrcUInt m = 0;
    for (QrcInt r = lo; r <= hi; ++r)
      if (d->contains(from + r)) m |= QrcUInt(1) << r;
    return m;
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
  return m & range;
}
