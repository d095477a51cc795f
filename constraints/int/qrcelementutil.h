// Walks over index and value domains shared by the element constraints and
// expressions. Everything here may fail (through the expressions it narrows)
// and keeps trivially destructible locals only.
#ifndef QRC_ELEMENTUTIL_H
#define QRC_ELEMENTUTIL_H

#include "qrcint.h"
#include "qrcintexp.h"

namespace qrcelement {

// The smallest and largest values of x's domain within [0, n - 1]; false
// when there is none.
inline bool indexSpan(QrcIntExpI* x, QrcInt n, QrcInt& lo, QrcInt& hi) {
  if (n <= 0) return false;
  QrcInt a = x->getMin() > 0 ? x->getMin() : 0;
  QrcInt b = x->getMax() < n - 1 ? x->getMax() : n - 1;
  if (a > b) return false;
  if (!x->isInDomain(a)) a = x->getNextHigher(a);
  if (a > b || !x->isInDomain(a)) return false;
  if (!x->isInDomain(b)) b = x->getNextLower(b);
  lo = a;
  hi = b;
  return true;
}

// Removes from x every domain value strictly between p and q.
inline void removeGap(QrcIntExpI* x, QrcInt p, QrcInt q) {
  if (p + 1 >= q) return;
  QrcInt v = x->getNextHigher(p);
  while (v > p && v < q) {
    QrcInt next = x->getNextHigher(v);
    x->removeValue(v);
    if (next == v) return;
    v = next;
  }
}

// Narrows the index x of an element node to the positions in [0, n - 1]
// that keep accepts: scans up from the smallest and down from the largest
// position, binds x when one is left, else restricts it to the kept span and
// removes the inner positions keep refuses. The node fails when none is kept.
template <class Keep>
void narrowIndex(QrcIntExpI* node, QrcIntExpI* x, QrcInt n, Keep keep) {
  QrcInt lo, hi;
  if (!indexSpan(x, n, lo, hi)) node->fail();
  while (lo < hi && !keep(lo)) lo = x->getNextHigher(lo);
  if (lo >= hi) {
    if (!keep(hi)) node->fail();
    x->setValue(hi);
    return;
  }
  while (hi > lo && !keep(hi)) hi = x->getNextLower(hi);
  x->setRange(lo, hi);
  QrcInt i = x->getNextHigher(lo);
  while (i > lo && i < hi) {
    QrcInt next = x->getNextHigher(i);
    if (!keep(i)) x->removeValue(i);
    if (next == i) return;
    i = next;
  }
}

// Calls f(v) for each value a variable y lost in its current propagation
// step among sorted distinct values (value(k) for k < count; other values
// lost inside its bounds come too): the values removed inside its bounds,
// then the listed values its bounds went past. Stops when f answers false.
// Costs the lost values, never the span of the bounds.
template <class Value, class F>
void forEachLostValue(QrcIntExpI* y, Value value, QrcInt count, F f) {
  QrcIntListIterator it(y->getRemovedValues());
  QrcInt v;
  while (it.next(v))
    if (!f(v)) return;
  const QrcIntSetI* d = y->getDomainSet();
  QrcInt mn = y->getMin(), mx = y->getMax();
  QrcInt parts[2][2] = {{y->getOldMin(), mn - 1}, {mx + 1, y->getOldMax()}};
  for (auto& part : parts) {
    QrcInt lo = 0, hi = count;
    while (lo < hi) {
      QrcInt mid = lo + (hi - lo) / 2;
      if (value(mid) < part[0])
        lo = mid + 1;
      else
        hi = mid;
    }
    for (QrcInt k = lo; k < count && value(k) <= part[1]; ++k)
      if ((!d || d->isMember(value(k))) && !f(value(k))) return;
  }
}

// max(a) - min(a) + 1 of a non-empty array within 6n + 16 (computed without
// overflow): the value span the incremental element class accepts.
inline bool compactSpan(const QrcIntArray& a) {
  QrcInt n = a.getSize(), lo = a[0], hi = a[0];
  for (QrcInt i = 1; i < n; ++i) {
    if (a[i] < lo) lo = a[i];
    if (a[i] > hi) hi = a[i];
  }
  __int128 span = static_cast<__int128>(hi) - lo + 1;
  return span > 0 && span <= 6 * static_cast<__int128>(n) + 16;
}

}  // namespace qrcelement

#endif
