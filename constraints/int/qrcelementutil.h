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

// The variable standing for an operand e of an element: e made a variable
// when it always has a value. An e that may lack one (an element whose index
// may leave its array) is not made a variable, which would give it a value
// everywhere, and a negated element would lose the assignments where it has
// none: a fresh variable stands for it, equal to e where e has a value and to
// none where not.
QrcIntExpI* asOperand(QrcIntExpI* e, QrcInt none);

// An index: none is -1, a position the element reads as outside the array,
// as it reads the index's absence.
inline QrcIntExpI* asIndex(QrcIntExpI* e) {
  return asOperand(e, -1);
}

// For a value e compared with the entries of a: a value above them and above
// e's range (below them at the limit), so that the element reads none as no
// entry, and only e's absence gives it.
inline QrcInt noValue(const QrcInt* a, QrcInt n, QrcIntExpI* e) {
  QrcInt lo = e->getMin(), hi = e->getMax();
  if (lo > hi) lo = hi = 0;
  for (QrcInt i = 0; i < n; ++i) {
    if (a[i] > hi) hi = a[i];
    if (a[i] < lo) lo = a[i];
  }
  if (hi < QrcIntMax) return hi + 1;
  if (lo > QrcIntMin) return lo - 1;
  return lo;
}

inline QrcIntExpI* asValue(QrcIntExpI* e, const QrcInt* a, QrcInt n) {
  return e->isVariable() ? e : asOperand(e, noValue(a, n, e));
}

// The smallest and largest values of x's domain within [0, n - 1] (and
// within [from, to]); false when there is none.
inline bool indexSpan(QrcIntExpI* x, QrcInt n, QrcInt& lo, QrcInt& hi, QrcInt from = QrcIntMin,
                      QrcInt to = QrcIntMax) {
  if (n <= 0) return false;
  QrcInt a = x->getMin() > 0 ? x->getMin() : 0;
  QrcInt b = x->getMax() < n - 1 ? x->getMax() : n - 1;
  if (a < from) a = from;
  if (b > to) b = to;
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
