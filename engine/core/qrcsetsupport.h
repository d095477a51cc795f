// Pieces shared by the integer and float collections and sets: element i of a
// collection owns bit i + 1 of a set's words.
#ifndef QRC_SETSUPPORT_H
#define QRC_SETSUPPORT_H

#include "qrcmanager.h"
#include "qrctypes.h"

namespace qrcsets {

inline bool isUnordered(QrcInt) {
  return false;
}
inline bool isUnordered(QrcFloat v) {
  return v != v;
}

// Fills elements from sorted values, skipping repeats (and NaN); answers the count.
template <class Element, class Table, class Value>
QrcInt fillElements(Element* elements, Table* table, const Value* sorted, QrcInt n) {
  QrcInt count = 0;
  for (QrcInt i = 0; i < n; ++i) {
    Value v = sorted[i];
    if (isUnordered(v) || table->contains(v)) continue;
    Element& e = elements[count];
    e.value = v;
    e.index = count;
    e.word = (count + 1) / 64;
    e.mask = QrcWord(1) << ((count + 1) % 64);
    table->add(v, reinterpret_cast<QrcWord>(&e));
    ++count;
  }
  return count;
}

// Index of the first of n sorted elements whose value is not below v.
template <class Element, class Value>
QrcInt lowerBoundIndex(const Element* elements, QrcInt n, Value v) {
  QrcInt lo = 0, hi = n;
  while (lo < hi) {
    QrcInt mid = lo + (hi - lo) / 2;
    if (elements[mid].value < v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// Saves word w on the trail, once per choice point when the set keeps stamps.
inline void saveWord(QrcManagerI* m, QrcWord* words, QrcInt* stamps, QrcInt w) {
  if (stamps) {
    if (stamps[w] == m->getStamp()) return;
    m->saveValue(&words[w]);
    m->saveValue(&stamps[w]);
    stamps[w] = m->getStamp();
    return;
  }
  m->saveValue(&words[w]);
}

}  // namespace qrcsets

#endif
