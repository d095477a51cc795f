// Exact values of integer expressions in 128 bits, for the nodes whose range
// left the limits of plus or minus 2^53 - 1 and whose bounds are clamped
// there: the arithmetic of those values, and the tests that the comparisons
// make with them once their operands are bound. A value past what 128 bits
// hold keeps only its sign (Huge); what that sign cannot tell is Unknown.
#ifndef QRC_INTEXACT_H
#define QRC_INTEXACT_H

#include "qrcconstraint.h"
#include "qrcintexp.h"

namespace qrcexact {

typedef QrcExactValue V;

// -2^127, whose opposite 128 bits do not hold.
const QrcInt128 Lowest = -(static_cast<QrcInt128>(1) << 126) - (static_cast<QrcInt128>(1) << 126);

inline V huge(int sign) {
  return {sign, V::Huge};
}
inline V known(QrcInt128 v) {
  return v == Lowest ? huge(-1) : V{v, V::Known};
}
inline V unknown() {
  return {0, V::Unknown};
}
inline bool hasValue(const V& a) {
  return a.kind == V::Known || a.kind == V::Huge;
}
inline int signOf(const V& a) {
  return a.kind == V::Huge ? static_cast<int>(a.value) : (a.value > 0) - (a.value < 0);
}
// The first of a and b that is neither Known nor Huge (what a node over both
// is then), or null when both are.
inline const V* pending(const V& a, const V& b) {
  if (!hasValue(a)) return &a;
  if (!hasValue(b)) return &b;
  return nullptr;
}

inline V neg(const V& a) {
  return hasValue(a) ? V{-a.value, a.kind} : a;
}

inline V add(const V& a, const V& b) {
  if (const V* p = pending(a, b)) return *p;
  QrcInt128 s;
  if (a.kind == V::Known && b.kind == V::Known)
    return __builtin_add_overflow(a.value, b.value, &s) ? huge(signOf(a)) : known(s);
  if (a.kind == V::Huge && b.kind == V::Huge && a.value == b.value) return a;
  // A huge term beside a smaller one, or two of opposite signs.
  return unknown();
}

inline V sub(const V& a, const V& b) {
  return add(a, neg(b));
}

inline V mul(const V& a, const V& b) {
  if (const V* p = pending(a, b)) return *p;
  int s = signOf(a) * signOf(b);
  if (s == 0) return {0, V::Known};
  QrcInt128 p;
  if (a.kind == V::Huge || b.kind == V::Huge || __builtin_mul_overflow(a.value, b.value, &p))
    return huge(s);
  return known(p);
}

inline V abs(const V& a) {
  return signOf(a) < 0 ? neg(a) : a;
}

// The quotient truncated toward zero; by 0: any value for 0 / 0, none else.
inline V div(const V& a, const V& b) {
  if (const V* p = pending(a, b)) return *p;
  if (signOf(b) == 0) return {0, signOf(a) == 0 ? V::Free : V::NoValue};
  if (b.kind == V::Huge) return a.kind == V::Huge ? unknown() : V{0, V::Known};
  if (a.kind == V::Huge) return b.value == 1 || b.value == -1 ? mul(a, b) : unknown();
  return known(a.value / b.value);
}

// -1, 0 or 1 as a is below, equal to or above b; 2 when the signs of two
// huge values do not tell.
inline int compare(const V& a, const V& b) {
  if (a.kind == V::Known && b.kind == V::Known) return (a.value > b.value) - (a.value < b.value);
  if (a.kind == V::Huge && b.kind == V::Huge && a.value == b.value) return 2;
  QrcInt128 x = a.kind == V::Huge ? a.value : 0, y = b.kind == V::Huge ? b.value : 0;
  return x > y ? 1 : -1;
}

inline V min(const V& a, const V& b) {
  if (const V* p = pending(a, b)) return *p;
  return compare(a, b) == 1 ? b : a;
}

inline V max(const V& a, const V& b) {
  if (const V* p = pending(a, b)) return *p;
  return compare(a, b) == -1 ? b : a;
}

}  // namespace qrcexact

// The comparisons the exact tests decide.
enum QrcExactOp { QrcExactEq, QrcExactNeq, QrcExactLe, QrcExactGe };

// Whether x op y + k holds by the exact values of x and y (y null: the
// constant k alone): 1 when it holds, 0 when it does not or 128 bits cannot
// tell, -1 while undecided (an operand not bound, a side without a value or
// of any value, which the bounds and the quotients' rules decide).
int QrcExactTest(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op);

// Fails when QrcExactTest finds that x op y + k does not hold.
void QrcCheckExact(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op);

// The comparison x op y + k (y null: x op k) over such a node: it narrows
// what the bounds allow, a clamped bound read as none, and fails once the
// exact values break it.
QrcConstraintI* QrcMakeClampedComparison(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op);

// a + b for what a node out of range passes to its operands in doubles:
// summed exactly in 128 bits and rounded outward, down for a lower bound
// (Down), up for an upper one (Up); a bound at 1e30 or past reads as none.
// For a value to remove (Exact): the sum when both are integers, else NaN,
// which removes nothing.
enum QrcBoundSide { QrcBoundDown = -1, QrcBoundExact = 0, QrcBoundUp = 1 };
double QrcBoundSum(double a, double b, QrcBoundSide side);
double QrcBoundShift(double a, QrcInt128 c, QrcBoundSide side);

// A node turned into a variable whose range left the limits: once its
// operands are bound, the variable takes the node's exact value, and fails
// when it cannot hold it.
void QrcFixToExactValue(QrcIntExpI* node);
// The constraint that keeps such a node, turned into a variable, in step
// with its operands (QrcIntExpEventHandlerConstraintI), then does the above.
QrcConstraintI* QrcMakeClampedLink(QrcIntExpI* node);

#endif
