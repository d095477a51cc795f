// Index walks shared by the element constraints and expressions. Everything
// here may fail (through the expressions it narrows) and keeps trivially
// destructible locals only.
#ifndef QRC_ELEMENTUTIL_H
#define QRC_ELEMENTUTIL_H

#include "qrcdomainwalk.h"
#include "qrcint.h"

namespace qrcelement {

using namespace qrcdomain;

// e itself, made a variable first when it is an expression node: a value
// removed from a node without holes of its own comes back when its operands
// bind, so every element operand the constraints narrow is a variable.
inline QrcIntExpI* asVariable(QrcIntExpI* e) {
  if (!e->isVariable()) e->makeEventHandlerConstraint();
  return e;
}

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
