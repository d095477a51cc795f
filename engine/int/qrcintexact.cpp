// Exact values of the arithmetic nodes whose range left the limits, and the
// exact tests of the comparisons over them.
#include "qrcintexact.h"

#include <cmath>

#include "qrcintarith.h"

using namespace qrcexact;

namespace {

V open() {
  return {0, V::Open};
}

// The value of the terms folded by f, left to right; the first term without
// one ends the walk.
template <class F>
V fold(QrcIntExpI** terms, QrcInt n, V start, F f) {
  V r = start;
  for (QrcInt i = 0; i < n && hasValue(r); ++i) r = f(r, terms[i]->exactValue());
  return r;
}

// a op b over two operands, the second read only when the first has a value.
template <class F>
V binary(QrcIntExpI* x, QrcIntExpI* y, F f) {
  V a = x->exactValue();
  if (!hasValue(a)) return a;
  return f(a, y->exactValue());
}

}  // namespace

QrcExactValue QrcIntExpI::exactValue() {
  refreshBounds();
  if (_min > _max) return {0, V::NoValue};
  if (_handler || !_outOfRange) {
    if (_min != _max || _valueOpen) return open();
    return known(_min);
  }
  // As deep as the nodes out of range are nested.
  V v;
  auto compute = [&] { v = exactFromOperands(); };
  _manager->withStackRoom(compute);
  return v;
}

// A node of another kind tells only a value inside the limits.
QrcExactValue QrcIntExpI::exactFromOperands() {
  if (_min != _max || _valueOpen) return open();
  return _min > QrcIntMin && _min < QrcIntMax ? known(_min) : unknown();
}

QrcExactValue QrcIntAddI::exactFromOperands() {
  return qrcexact::add(_x->exactValue(), known(_c));
}

QrcExactValue QrcIntSubI::exactFromOperands() {
  return qrcexact::sub(known(_c), _x->exactValue());
}

QrcExactValue QrcIntAbsI::exactFromOperands() {
  return qrcexact::abs(_x->exactValue());
}

QrcExactValue QrcSquareI::exactFromOperands() {
  V a = _x->exactValue();
  return qrcexact::mul(a, a);
}

QrcExactValue QrcAddI::exactFromOperands() {
  return binary(_x, _y, qrcexact::add);
}

QrcExactValue QrcSubI::exactFromOperands() {
  return binary(_x, _y, qrcexact::sub);
}

QrcExactValue QrcIntMulI::exactFromOperands() {
  return qrcexact::mul(_x->exactValue(), known(_c));
}

QrcExactValue QrcMulI::exactFromOperands() {
  return binary(_x, _y, qrcexact::mul);
}

QrcExactValue QrcIntDivI::exactFromOperands() {
  return qrcexact::div(_x->exactValue(), known(_c));
}

QrcExactValue QrcDivIntI::exactFromOperands() {
  return qrcexact::div(known(_c), _x->exactValue());
}

QrcExactValue QrcDivI::exactFromOperands() {
  return binary(_x, _y, qrcexact::div);
}

QrcExactValue QrcIntMinI::exactFromOperands() {
  return qrcexact::min(_x->exactValue(), known(_c));
}

QrcExactValue QrcIntMaxI::exactFromOperands() {
  return qrcexact::max(_x->exactValue(), known(_c));
}

QrcExactValue QrcMinI::exactFromOperands() {
  return binary(_x, _y, qrcexact::min);
}

QrcExactValue QrcMaxI::exactFromOperands() {
  return binary(_x, _y, qrcexact::max);
}

QrcExactValue QrcArrayMax::exactFromOperands() {
  if (_size == 0) return known(0);
  return fold(_terms + 1, _size - 1, _terms[0]->exactValue(), qrcexact::max);
}

QrcExactValue QrcArrayMin::exactFromOperands() {
  if (_size == 0) return known(0);
  return fold(_terms + 1, _size - 1, _terms[0]->exactValue(), qrcexact::min);
}

QrcExactValue QrcArraySumI::exactFromOperands() {
  return fold(_terms, _size, known(0), qrcexact::add);
}

namespace {

// The sign of a - b - k; 2 when it cannot be told.
int signOfDifference(const V& a, const V& b, QrcInt k) {
  if (a.kind == V::Known && b.kind == V::Known) {
    QrcInt128 d, e;
    if (__builtin_sub_overflow(a.value, b.value, &d)) return a.value > b.value ? 1 : -1;
    // Past 128 bits, d is far larger than k.
    if (__builtin_sub_overflow(d, static_cast<QrcInt128>(k), &e)) return d > 0 ? 1 : -1;
    return (e > 0) - (e < 0);
  }
  if (k == 0) return compare(a, b);
  // A huge side, moved by k, stays past 2^126: it decides against a known
  // side below that, by its sign.
  const QrcInt128 half = static_cast<QrcInt128>(1) << 126;
  const V& other = a.kind == V::Huge ? b : a;
  if (other.kind == V::Known && other.value > -half && other.value < half) return compare(a, b);
  if (other.kind == V::Huge && a.value != b.value) return compare(a, b);
  return 2;
}

bool decided(const V& a) {
  return a.kind != V::Open && a.kind != V::Free && a.kind != V::NoValue;
}

}  // namespace

int QrcExactTest(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op) {
  V a = x->exactValue();
  if (!decided(a)) return -1;
  V b = y ? y->exactValue() : known(k);
  if (!decided(b)) return -1;
  if (a.kind == V::Unknown || b.kind == V::Unknown) return 0;
  int s = signOfDifference(a, b, y ? k : 0);
  if (s == 2) return 0;
  switch (op) {
    case QrcExactEq:
      return s == 0;
    case QrcExactNeq:
      return s != 0;
    case QrcExactLe:
      return s <= 0;
    default:
      return s >= 0;
  }
}

void QrcCheckExact(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op) {
  if (QrcExactTest(x, y, k, op) == 0) x->fail();
}

namespace {

const double FarBound = 1e30;

// v as a double, rounded to the side.
double toSide(QrcInt128 v, QrcBoundSide side) {
  double d = static_cast<double>(v);
  QrcInt128 back = static_cast<QrcInt128>(d);
  if (back == v) return d;
  if (side == QrcBoundExact) return NAN;
  if (side == QrcBoundDown) return back > v ? std::nextafter(d, -HUGE_VAL) : d;
  return back < v ? std::nextafter(d, HUGE_VAL) : d;
}

// a, an integer below 1e30, rounded to the side; false when it is none.
bool toInt128(double a, QrcBoundSide side, QrcInt128& r) {
  double f = side == QrcBoundDown ? std::floor(a) : (side == QrcBoundUp ? std::ceil(a) : a);
  if (!(std::fabs(f) < FarBound) || f != std::floor(f)) return false;
  r = static_cast<QrcInt128>(f);
  return true;
}

}  // namespace

double QrcBoundShift(double a, QrcInt128 c, QrcBoundSide side) {
  QrcInt128 r;
  if (toInt128(a, side, r)) return toSide(r + c, side);
  return side == QrcBoundExact ? NAN : a + static_cast<double>(c);
}

double QrcBoundSum(double a, double b, QrcBoundSide side) {
  QrcInt128 r;
  if (toInt128(b, side, r)) return QrcBoundShift(a, r, side);
  return side == QrcBoundExact ? NAN : a + b;
}

void QrcFixToExactValue(QrcIntExpI* node) {
  V v = node->exactFromOperands();
  if (v.kind == V::Known && v.value >= QrcIntMin && v.value <= QrcIntMax)
    node->setValue(static_cast<QrcInt>(v.value));
  else if (v.kind == V::Known || v.kind == V::Huge || v.kind == V::Unknown)
    node->fail();
}
