// Walks over the domains of integer variables shared by the integer global
// constraints. Everything here may fail (through the expressions it narrows)
// and keeps trivially destructible locals only.
#ifndef QRC_DOMAINWALK_H
#define QRC_DOMAINWALK_H

#include "qrcintexp.h"

namespace qrcdomain {

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

// Calls f(v) for each value in [0, n - 1] of x's domain, in increasing order.
template <class F>
void forEachValueBelow(QrcIntExpI* x, QrcInt n, F f) {
  QrcInt v = x->getMin() > 0 ? x->getMin() : 0;
  QrcInt last = x->getMax() < n - 1 ? x->getMax() : n - 1;
  if (v > last) return;
  if (!x->isInDomain(v)) v = x->getNextHigher(v);
  while (v <= last) {
    QrcInt next = x->getNextHigher(v);
    f(v);
    if (next == v) return;
    v = next;
  }
}

}  // namespace qrcdomain

#endif
