// Walks over the domains of integer variables shared by the integer global
// constraints. Everything here may fail (through the expressions it narrows)
// and keeps trivially destructible locals only.
#ifndef QRC_DOMAINWALK_H
#define QRC_DOMAINWALK_H

#include "qrcintexp.h"

namespace qrcdomain {

// Removes from x every domain value strictly between p and q.
inline void removeGap(QrcIntExpI* x, QrcInt p, QrcInt q) {
  if (p + 1 < q) x->removeRange(p + 1, q - 1);
}

// Index of the first of count sorted values that is at least v.
template <class Value>
QrcInt lowerBound(Value value, QrcInt count, QrcInt v, QrcInt from = 0) {
  QrcInt lo = from, hi = count;
  while (lo < hi) {
    QrcInt mid = lo + (hi - lo) / 2;
    if (value(mid) < v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// Calls f(v) for each value a variable y lost in its current propagation
// step among sorted distinct values (value(k) for k < count; other values
// removed alone inside its bounds come too): the values removed inside its
// bounds, then the listed values its bounds went past. Stops when f answers
// false. Costs the lost values and the listed ones in lost ranges, never the
// span of a range or of the bounds.
template <class Value, class F>
void forEachLostValue(QrcIntExpI* y, Value value, QrcInt count, F f) {
  QrcIntRemovedIterator it(y);
  QrcInt a, b;
  while (it.nextRange(a, b)) {
    if (a == b) {
      if (!f(a)) return;
      continue;
    }
    // Every value of a removed range was in the domain.
    for (QrcInt k = lowerBound(value, count, a); k < count && value(k) <= b; ++k)
      if (!f(value(k))) return;
  }
  const QrcIntSetI* d = y->getDomainSet();
  QrcInt mn = y->getMin(), mx = y->getMax();
  QrcInt parts[2][2] = {{y->getOldMin(), mn - 1}, {mx + 1, y->getOldMax()}};
  for (auto& part : parts) {
    for (QrcInt k = lowerBound(value, count, part[0]); k < count && value(k) <= part[1]; ++k)
      if ((!d || d->isMember(value(k))) && !f(value(k))) return;
  }
}

// For v in x's domain, the largest w such that [v, w] lies in the domain.
inline QrcInt runEnd(QrcIntExpI* x, QrcInt v) {
  QrcInt mx = x->getMax();
  const QrcIntSetI* d = x->getDomainSet();
  if (!d) return mx;
  QrcInt w = d->getRunEnd(v);
  // A plain-range set counts the values past its universe as members.
  if (!d->getCollection() && w >= d->getMax()) return mx;
  return w < mx ? w : mx;
}

// Calls f(a, b) for each maximal interval [a, b] of x's domain, in increasing
// order, until f answers false. Costs the intervals, not their values.
template <class F>
void forEachInterval(QrcIntExpI* x, F f) {
  QrcInt mx = x->getMax();
  QrcInt a = x->getMin();
  for (;;) {
    QrcInt b = runEnd(x, a);
    if (!f(a, b) || b >= mx) return;
    QrcInt next = x->getNextHigher(b);
    if (next <= b) return;
    a = next;
  }
}

// The smallest value of x's domain among count sorted distinct values
// (value(k) for k < count); false when none. Leaps between the two, so it
// costs the fewer of the domain's values and the listed ones.
template <class Value>
bool firstInside(QrcIntExpI* x, Value value, QrcInt count, QrcInt& out) {
  QrcInt mx = x->getMax();
  QrcInt k = lowerBound(value, count, x->getMin());
  while (k < count) {
    QrcInt w = value(k);
    if (w > mx) return false;
    if (x->isInDomain(w)) {
      out = w;
      return true;
    }
    QrcInt next = x->getNextHigher(w);
    if (next <= w) return false;
    k = lowerBound(value, count, next, k + 1);
  }
  return false;
}

// The smallest value of x's domain that is not among count sorted distinct
// values; false when none. Costs the intervals of the domain and the listed
// values inside them.
template <class Value>
bool firstOutside(QrcIntExpI* x, Value value, QrcInt count, QrcInt& out) {
  bool found = false;
  QrcInt k = 0;
  forEachInterval(x, [&](QrcInt a, QrcInt b) {
    k = lowerBound(value, count, a, k);
    QrcInt c = a;
    while (k < count && c <= b && value(k) == c) {
      ++k;
      ++c;
    }
    if (c > b) return true;
    out = c;
    found = true;
    return false;
  });
  return found;
}

// Removes from x every value that is not among count sorted distinct values,
// one range per gap between them.
template <class Value>
void keepOnly(QrcIntExpI* x, Value value, QrcInt count) {
  QrcInt lo = x->getMin(), hi = x->getMax();
  QrcInt first = lowerBound(value, count, lo);
  if (first == count || value(first) > hi) {
    x->setMax(lo - 1);  // fails: no listed value is left
    return;
  }
  QrcInt last = lowerBound(value, count, hi + 1, first) - 1;
  x->setRange(value(first), value(last));
  for (QrcInt k = first; k < last; ++k)
    if (value(k) + 1 < value(k + 1)) x->removeRange(value(k) + 1, value(k + 1) - 1);
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
