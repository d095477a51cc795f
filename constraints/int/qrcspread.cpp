// Spread. The sweep keeps its sums as exact integers, over values shifted by
// the smallest bound (the deviation does not depend on the shift), and turns
// them into doubles in the direction each use needs: every rounded step of
// the bounds it derives is outward. Code that can fail keeps trivially
// destructible locals only.
#include "qrcoperands.h"
#include "qrcspread.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatenv.h"
#include "qrcfloatview.h"
#include "qrcintervalbounds.h"
#include "qrcoutward.h"

namespace {

typedef __int128 Wide;
typedef QrcFloatInterval Iv;

const double Huge = 0x1p125;

// v as a double no greater (down) or no smaller (up) than v.
double toDouble(Wide v, bool up) {
  double d = static_cast<double>(v);
  if (d >= Huge) return up ? HUGE_VAL : Huge;
  if (d <= -Huge) return up ? -Huge : -HUGE_VAL;
  Wide back = static_cast<Wide>(d);
  if (up && back < v) return std::nextafter(d, HUGE_VAL);
  if (!up && back > v) return std::nextafter(d, -HUGE_VAL);
  return d;
}

Iv iv(Wide v) {
  return Iv{toDouble(v, false), toDouble(v, true)};
}

Iv point(double v) {
  return Iv{v, v};
}

Iv sqr(const Iv& x) {
  if (x.lo >= 0) return Iv{mulDown(x.lo, x.lo), mulUp(x.hi, x.hi)};
  if (x.hi <= 0) return Iv{mulDown(x.hi, x.hi), mulUp(x.lo, x.lo)};
  double m = -x.lo > x.hi ? -x.lo : x.hi;
  return Iv{0.0, mulUp(m, m)};
}

Iv operator+(const Iv& x, const Iv& y) {
  return intervalSum(x, y);
}
Iv operator-(const Iv& x, const Iv& y) {
  return intervalDifference(x, y);
}
Iv operator*(const Iv& x, const Iv& y) {
  return intervalProduct(x, y);
}
Iv operator/(const Iv& x, const Iv& y) {
  return intervalQuotient(x, y);
}

// The running state of one sweep: sums of the fixed values (shifted by o)
// and of their squares, the free count, and what the intervals found.
struct Sweep {
  QrcInt n;
  Wide shift;  // n * o
  Wide s;
  Wide q;
  QrcInt c;
  double sumLo, sumHi, maxNDev2;
  double best, lowT, highT;
  bool foundLow, foundHigh, any, overflow;

  // count more values fixed at d (count may be negative).
  void fix(QrcInt count, QrcInt d) {
    Wide dd = static_cast<Wide>(d), sq, term;
    if (__builtin_mul_overflow(dd, dd, &sq) || __builtin_mul_overflow(sq, Wide(count), &term) ||
        __builtin_add_overflow(q, term, &q))
      overflow = true;
    s += count * dd;
  }

  // The free values share a level w in [a, b].
  void evaluate(Wide a, Wide b) {
    Iv nn = iv(n);
    if (c == 0) {
      Iv v = iv(q) - sqr(iv(s)) / nn;
      best = std::min(best, v.lo);
      any = true;
      return;
    }
    Wide tlo = c * a + s, thi = c * b + s;
    if (toDouble(tlo + shift, false) > sumHi || toDouble(thi + shift, true) < sumLo) return;
    any = true;
    Wide nc = n - c;
    Iv cc = iv(c), v;
    if (s >= nc * b)
      v = cc * sqr(iv(b)) + iv(q) - sqr(iv(thi)) / nn;
    else if (s <= nc * a)
      v = cc * sqr(iv(a)) + iv(q) - sqr(iv(tlo)) / nn;
    else
      v = iv(q) - sqr(iv(s)) / iv(nc);
    best = std::min(best, v.lo);
    // The sums whose least n dev^2 is within its maximum: all of them when
    // every variable is free, else between the roots of a quadratic.
    double lo = toDouble(tlo, false), hi = toDouble(thi, true);
    if (c < n) {
      Iv k = iv(nc) / iv(Wide(n) * c);
      Iv sc = iv(s) / cc;
      Iv d = (sqr(iv(s)) / cc + iv(q) - point(maxNDev2)) * k;
      Iv x = sqr(sc) - d;
      if (x.hi < 0) return;
      Iv r{sqrtDown(x.lo > 0 ? x.lo : 0.0), sqrtUp(x.hi)};
      lo = std::max(lo, ((sc - r) / k).lo);
      hi = std::min(hi, ((sc + r) / k).hi);
      if (lo > hi) return;
    }
    if (!foundLow) {
      lowT = lo;
      foundLow = true;
    }
    highT = hi;
    foundHigh = true;
  }
};

}  // namespace

class QrcSpreadDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcSpreadDemonI)
  QROSIMPLECLASS(QrcSpreadDemonI, QrcDemonI)
 public:
  QrcSpreadDemonI(QrcManagerI* m, QrcSpreadI* ct) : QrcDemonI(m, ct), _ct(ct) {}
  void propagate() override { _ct->push(); }
  void display(std::ostream& os) const override { os << "QrcSpreadDemon"; }

 private:
  QrcSpreadI* _ct;
};

QrcSpreadI::QrcSpreadI(QrcManagerI* m, const QrcIntVarArray& x, QrcFloatExpI* mean,
                       QrcFloatExpI* dev)
    : QrcConstraintI(m),
      _x(x),
      _mean(mean),
      _dev(dev),
      _y(),
      _z(),
      _sum(nullptr),
      _ndev2(nullptr),
      _bounds(nullptr),
      _n(x.getSize()) {}

namespace {

// The expression as a variable; the shared zero constant stays what it is.
QrcFloatExpI* variableOf(QrcManagerI* m, const QrcFloatExp& e) {
  if (e.getImpl() == QrcGetFloatZero(m)) return e.getImpl();
  return QrcFloatVar(e).getImpl();
}

}  // namespace

void QrcSpreadI::post() {
  if (_n == 0) return;
  QrcManager mgr(_manager);
  QrcFloat n = static_cast<QrcFloat>(_n);
  _y = QrcFloatVarArray(mgr, _n);
  _z = QrcFloatVarArray(mgr, _n);
  for (QrcInt i = 0; i < _n; ++i) {
    QrcFloatVar y(x(i));
    _y.set(i, y);
    _z.set(i, makeFloatSquare(y.getImpl()));
  }
  _sum = variableOf(_manager, QrcSum(_y));
  addConstraint((n * QrcFloatExp(_mean) == QrcFloatExp(_sum)).getImpl());
  _ndev2 = variableOf(_manager, n * QrcSquare(QrcFloatExp(_dev)));
  addConstraint(
      (n * QrcFloatExp(_ndev2) == n * QrcSum(_z) - QrcSquare(QrcFloatExp(_sum))).getImpl());
  _bounds = static_cast<Bound*>(
      _manager->allocate(static_cast<size_t>(_n > 0 ? 2 * _n : 1) * sizeof(Bound)));
  for (QrcInt i = 0; i < _n; ++i) x(i)->whenRange(new (_manager) QrcSpreadDemonI(_manager, this));
  _mean->whenRange(new (_manager) QrcSpreadDemonI(_manager, this));
  _dev->whenRange(new (_manager) QrcSpreadDemonI(_manager, this));
  // Once the demons listen: a deviation tied to the other operands moves them.
  _dev->setRange(0.0, _dev->getMax());
}

QrcInt QrcSpreadI::collectBounds() {
  QrcInt count = 0;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcIntExpI* xi = x(i);
    if (xi->isBound()) continue;
    _bounds[count++] = Bound{i, xi->getMin()};
    _bounds[count++] = Bound{i, xi->getMax()};
  }
  std::sort(_bounds, _bounds + count,
            [](const Bound& a, const Bound& b) { return a.value < b.value; });
  return count;
}

namespace {

// Sweeps the intervals between the consecutive values of the sorted bounds
// [0, count) of the unbound variables of x (count > 0), shifted by the least.
void sweepBounds(Sweep& w, QrcIntVarArrayI* x, const QrcSpreadI::Bound* bounds, QrcInt count) {
  QrcInt o = bounds[0].value;
  // The first interval: variables starting at its lower end are free, every
  // other one is fixed at its minimum.
  QrcInt pos = 1;
  while (bounds[pos].value == o) ++pos;
  QrcInt b = bounds[pos].value;
  for (QrcInt i = 0; i < w.n; ++i) {
    QrcIntExpI* xi = x->getVar(i);
    if (xi->isBound() || xi->getMin() >= b)
      w.fix(1, xi->getMin() - o);
    else
      ++w.c;
  }
  w.evaluate(0, static_cast<Wide>(b) - o);
  // Each bound passed fixes the variables ending there at their maximum and
  // frees those starting there.
  while (bounds[count - 1].value > b && !w.overflow) {
    QrcInt ups = 0, lows = 0;
    for (; pos < count && bounds[pos].value == b; ++pos) {
      if (x->getVar(bounds[pos].position)->getMax() == b)
        ++ups;
      else
        ++lows;
    }
    w.fix(ups - lows, b - o);
    w.c += lows - ups;
    QrcInt next = bounds[pos].value;
    w.evaluate(static_cast<Wide>(b) - o, static_cast<Wide>(next) - o);
    b = next;
  }
}

}  // namespace

void QrcSpreadI::propagate() {
  QrcInt count = collectBounds();
  if (count == 0) return;
  QrcInt o = _bounds[0].value;
  Sweep w;
  w.n = _n;
  w.shift = static_cast<Wide>(_n) * o;
  w.s = 0;
  w.q = 0;
  w.c = 0;
  w.sumLo = _sum->getMin();
  w.sumHi = _sum->getMax();
  w.maxNDev2 = _ndev2->getMax();
  w.best = w.maxNDev2 + 1.0;
  w.lowT = w.highT = 0.0;
  w.foundLow = w.foundHigh = w.any = w.overflow = false;
  sweepBounds(w, _x.getImpl(), _bounds, count);
  double low = addDown(w.lowT, toDouble(w.shift, false));
  double high = addUp(w.highT, toDouble(w.shift, true));
  setRoundingNearest();
  if (w.overflow) return;
  // No arrangement of the variables meets the sum's range.
  if (!w.any) fail();
  if (w.best > _ndev2->getMin()) _ndev2->setRange(w.best, _ndev2->getMax());
  if (w.foundLow && low > _sum->getMin()) _sum->setRange(low, _sum->getMax());
  if (w.foundHigh && high < _sum->getMax()) _sum->setRange(_sum->getMin(), high);
}

QrcConstraint QrcSpread(const QrcIntVarArray& x, const QrcFloatVar& mean, const QrcFloatVar& dev) {
  QrcCheckOperands("QrcSpread", {x, mean, dev});
  QrcIntVarArrayI* a = x.getImpl();
  if (!a || !mean.getImpl() || !dev.getImpl())
    QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSpread");
  QrcManagerI* m = a->getManager();
  for (QrcInt i = 0; i < a->getSize(); ++i) a->getVar(i)->makeEventHandlerConstraint();
  return new (m) QrcSpreadI(m, x, mean.getImpl(), dev.getImpl());
}
