// The sum of F(x) over the elements of a set variable, for a constant and an
// expression F. Sums are computed exactly in 128-bit integers: while every
// sum, product and bound lies within [-2^53, 2^53 - 1] the figures are kept
// as engine integers, else the bounds are stored clamped with the node's
// out-of-range flag. Code that can fail keeps trivially destructible locals.
#include <cmath>
#include <ostream>

#include "qrcsetfunctions.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

typedef __int128 Wide;

// Stands for an unbounded side (an F(x) or a bound beyond the engine's
// integers); sums of 2^31 of them and their products by a cardinality stay
// within the 128-bit range.
const Wide Unbounded = Wide(1) << 90;

bool outside(Wide v) {
  return v < QrcIntMin - 1 || v > QrcIntMax;
}

// A double bound read from the engine: +-1e30 stand for no bound; a lower
// bound is rounded down and an upper bound up.
Wide lowerOf(double v) {
  return v <= -1e29 ? -Unbounded : (v >= 1e29 ? Unbounded : static_cast<Wide>(std::floor(v)));
}

Wide upperOf(double v) {
  return v <= -1e29 ? -Unbounded : (v >= 1e29 ? Unbounded : static_cast<Wide>(std::ceil(v)));
}

// A bound for setBoundsFromDoubles: beyond the interval, a value that clamps
// whatever the rounding direction.
double asDouble(Wide v) {
  if (v > QrcIntMax) return 1e30;
  if (v < QrcIntMin - 1) return -1e30;
  return static_cast<double>(static_cast<QrcInt>(v));
}

// What a sum reads of F over S, exactly. reqLo and reqHi sum the least and
// greatest F(x) over R (equal for a constant F); minF and maxF are the least
// and greatest F(x) over the free elements (over all of P for an expression
// F); lowSum and highSum add to them the negative minima and the positive
// maxima of the free elements; [lo, hi] are the bounds. inside: every sum,
// product and bound within [-2^53, 2^53 - 1].
struct Figures {
  Wide reqLo, reqHi, minF, maxF, lowSum, highSum, lo, hi;
  bool inside;
};

// A constant F: F(x) is read for both bounds; nothing to narrow.
struct ConstTerms {
  static const bool overAllOfP = false;
  QrcIntConstAccessorI* f;
  void at(QrcInt x, Wide& l, Wide& h) const { l = h = f->makeValue(x); }
  void setMin(QrcInt, Wide) const {}
  void setMax(QrcInt, Wide) const {}
};

// An expression F: the bounds of F(x), which narrowing tightens.
struct ExpTerms {
  static const bool overAllOfP = true;
  QrcIntExpAccessorI* f;
  void at(QrcInt x, Wide& l, Wide& h) const {
    double a, b;
    f->getFloatRange(x, a, b);
    l = lowerOf(a);
    h = upperOf(b);
  }
  void setMin(QrcInt x, Wide v) const {
    if (v > QrcIntMin) f->setMin(x, v > QrcIntMax ? QrcIntMax + 1 : static_cast<QrcInt>(v));
  }
  void setMax(QrcInt x, Wide v) const {
    if (v < QrcIntMax) f->setMax(x, v < QrcIntMin ? QrcIntMin - 1 : static_cast<QrcInt>(v));
  }
};

Wide larger(Wide a, Wide b) {
  return a > b ? a : b;
}

Wide smaller(Wide a, Wide b) {
  return a < b ? a : b;
}

// Adds v to the sum, noting a partial sum outside the interval.
void add(Wide& sum, Wide v, bool& inside) {
  sum += v;
  if (outside(sum)) inside = false;
}

// The cardinality quotients that narrowing would use at the bounds, and r
// plus each, within the interval.
bool quotientsInside(const Figures& f, QrcInt r) {
  Wide q[4];
  int n = 0;
  if (f.minF < 0) q[n++] = (f.minF - f.reqLo + f.hi + 1) / f.minF;
  if (f.minF > 0) q[n++] = (f.hi - f.reqLo) / f.minF;
  if (f.maxF >= 1) q[n++] = (f.maxF - f.reqHi + f.lo - 1) / f.maxF;
  if (f.maxF < 0) q[n++] = (f.lo - f.reqHi) / f.maxF;
  for (int i = 0; i < n; ++i)
    if (outside(q[i]) || outside(q[i] + r)) return false;
  return true;
}

// Walks S once.
template <class T>
Figures figuresOf(QrcIntSetVarI* s, const T& terms) {
  Figures f{0, 0, 0, 0, 0, 0, 0, 0, true};
  if (possibleSize(s) == 0) return f;
  if (s->isBound()) {
    forEach(s->getRequired(), [&](QrcInt x) {
      Wide l, h;
      terms.at(x, l, h);
      add(f.reqLo, l, f.inside);
      add(f.reqHi, h, f.inside);
      return true;
    });
    f.lowSum = f.lo = f.reqLo;
    f.highSum = f.hi = f.reqHi;
    return f;
  }
  Wide neg = 0, pos = 0;
  f.minF = QrcIntMax;
  f.maxF = QrcIntMin;
  forEach(s->getPossible(), [&](QrcInt x) {
    Wide l, h;
    terms.at(x, l, h);
    if (s->isRequired(x)) {
      add(f.reqLo, l, f.inside);
      add(f.reqHi, h, f.inside);
      if (!T::overAllOfP) return true;
    } else {
      if (l < 0) add(neg, l, f.inside);
      if (h > 0) add(pos, h, f.inside);
    }
    f.minF = smaller(f.minF, l);
    f.maxF = larger(f.maxF, h);
    return true;
  });
  f.lowSum = f.reqLo + neg;
  f.highSum = f.reqHi + pos;
  QrcIntExpI* card = s->getCardinality();
  QrcInt r = requiredSize(s);
  Wide cmin = card->getMin() > r ? card->getMin() - r : 0;
  Wide cmax = card->getMax() - r;
  Wide low = (f.minF >= 0 ? cmin : cmax) * f.minF + f.reqLo;
  Wide high = (f.maxF < 0 ? cmin : cmax) * f.maxF + f.reqHi;
  f.lo = larger(f.lowSum, low);
  f.hi = smaller(f.highSum, high);
  for (Wide v : {f.lowSum, f.highSum, low, high})
    if (outside(v)) f.inside = false;
  if (f.inside) f.inside = quotientsInside(f, r);
  return f;
}

// The operands of a cardinality rule (an F bound, a sum, a narrowing bound)
// within the interval: one that stands for no bound makes the rule say nothing.
bool operandsInside(Wide bound, Wide sum, Wide limit) {
  return !outside(bound) && !outside(sum) && !outside(limit);
}

// Narrowing the sum from [lo0, hi0] to [a, b] with the figures f of S as they
// stand. The upper side removes the elements whose choice alone passes b and
// requires those whose absence alone does; the lower side mirrors it with a.
// Each side then bounds the cardinality from the elements it may still take.
// The elements each side requires count in that side's figures only, so that
// neither an element the set requires on its own meanwhile nor an addition
// deferred while S processes counts both in R and among the elements to take.
// The upper side of narrowSum: the sum at most b, with the slack b - lowSum;
// r: the required size before either side.
template <class T>
void narrowSumAbove(QrcIntSetVarI* s, const T& terms, const Figures& f, QrcInt r, Wide b,
                    Wide slack) {
  Wide req = f.reqLo;
  forEachPossible(s, [&](QrcInt x) {
    Wide l, h;
    terms.at(x, l, h);
    if (s->isRequired(x)) {
      terms.setMax(x, l + slack);
    } else if (l > slack) {
      s->removePossible(x);
    } else if (-l > slack) {
      s->addRequired(x);
      ++r;
      req += l;
      terms.setMax(x, l + slack);
    }
    return true;
  });
  QrcIntExpI* card = s->getCardinality();
  if (f.minF < 0 && f.minF != QrcIntMin && operandsInside(f.minF, req, b)) {
    Wide k = (f.minF - req + b + 1) / f.minF;
    if (k > 0) card->setMin(static_cast<QrcInt>(smaller(r + k, QrcInt64Max)));
  }
  if (f.minF > 0 && operandsInside(f.minF, req, b)) {
    Wide k = (b - req) / f.minF;
    if (k >= 0) card->setMax(static_cast<QrcInt>(smaller(r + k, QrcInt64Max)));
  }
}

// The lower side of narrowSum: the sum at least a, with the slack highSum - a;
// r: the required size before either side.
template <class T>
void narrowSumBelow(QrcIntSetVarI* s, const T& terms, const Figures& f, QrcInt r, Wide a,
                    Wide slack) {
  Wide req = f.reqHi;
  forEachPossible(s, [&](QrcInt x) {
    Wide l, h;
    terms.at(x, l, h);
    if (s->isRequired(x)) {
      terms.setMin(x, h - slack);
    } else if (h > slack) {
      s->addRequired(x);
      ++r;
      req += h;
      terms.setMin(x, h - slack);
    } else if (-h > slack) {
      s->removePossible(x);
    }
    return true;
  });
  QrcIntExpI* card = s->getCardinality();
  if (f.maxF >= 1 && f.maxF != QrcIntMax && operandsInside(f.maxF, req, a)) {
    Wide k = (f.maxF - req + a - 1) / f.maxF;
    if (k >= 1) card->setMin(static_cast<QrcInt>(smaller(r + k, QrcInt64Max)));
  }
  if (f.maxF < 0 && operandsInside(f.maxF, req, a)) {
    Wide k = (a - req) / f.maxF;
    if (k >= 0) card->setMax(static_cast<QrcInt>(smaller(r + k, QrcInt64Max)));
  }
}

// Narrowing the sum from [lo0, hi0] to [a, b] with the figures f of S as they
// stand. The upper side removes the elements whose choice alone passes b and
// requires those whose absence alone does; the lower side mirrors it with a.
// Each side then bounds the cardinality from the elements it may still take.
// The elements each side requires count in that side's figures only, so that
// neither an element the set requires on its own meanwhile nor an addition
// deferred while S processes counts both in R and among the elements to take.
template <class T>
void narrowSum(QrcIntExpI* node, QrcIntSetVarI* s, const T& terms, const Figures& f, Wide lo0,
               Wide hi0, Wide a, Wide b) {
  QrcInt r0 = requiredSize(s);
  Wide slack = b - f.lowSum;
  if (slack < 0) node->fail();
  if (b < hi0) narrowSumAbove(s, terms, f, r0, b, slack);
  Wide slack2 = f.highSum - a;
  if (slack2 < 0) node->fail();
  if (a > lo0) narrowSumBelow(s, terms, f, r0, a, slack2);
}

}  // namespace

// ---------------------------------------------------------------- constant F

QrcSetSumIntFuncExpI::QrcSetSumIntFuncExpI(QrcManagerI* m, QrcIntSetVarI* s,
                                           QrcIntConstAccessorI* f)
    : QrcIntExpOverIntSetI(m, s, f),
      _requiredSum(0),
      _minFree(0),
      _maxFree(0),
      _lowSum(0),
      _highSum(0) {
  computeRangeAsDoubles();
}

void QrcSetSumIntFuncExpI::display(std::ostream& os) const {
  displayAs(os, "QrcSum(Set, Int F(x)):");
}

QrcExprI* QrcSetSumIntFuncExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSetSumIntFuncExpI(t, copyOf(_set, t), getValues()->copyFor(t));
}

void QrcSetSumIntFuncExpI::computeRange() {
  computeRangeAsDoubles();
}

void QrcSetSumIntFuncExpI::computeRangeAsDoubles() {
  Figures f = figuresOf(_set, ConstTerms{getValues()});
  if (!f.inside) {
    setBoundsFromDoubles(asDouble(f.lo), asDouble(f.hi), true);
    return;
  }
  _requiredSum = static_cast<QrcInt>(f.reqLo);
  _minFree = static_cast<QrcInt>(f.minF);
  _maxFree = static_cast<QrcInt>(f.maxF);
  _lowSum = static_cast<QrcInt>(f.lowSum);
  _highSum = static_cast<QrcInt>(f.highSum);
  storeBounds(static_cast<QrcInt>(f.lo), static_cast<QrcInt>(f.hi));
}

void QrcSetSumIntFuncExpI::setOperandsRange(QrcInt a, QrcInt b) {
  Wide lo0 = lowerOf(getFloatMin()), hi0 = upperOf(getFloatMax());
  ConstTerms terms{getValues()};
  Figures f{_requiredSum, _requiredSum, _minFree, _maxFree, _lowSum, _highSum, lo0, hi0, true};
  if (_outOfRange) f = figuresOf(_set, terms);
  narrowSum(this, _set, terms, f, lo0, hi0, a, b);
}

void QrcSetSumIntFuncExpI::setOperandsRange(double a, double b) {
  if (a != a || b != b) return;
  Wide lo0 = lowerOf(getFloatMin()), hi0 = upperOf(getFloatMax());
  ConstTerms terms{getValues()};
  narrowSum(this, _set, terms, figuresOf(_set, terms), lo0, hi0, lowerOf(a), upperOf(b));
}

// ---------------------------------------------------------------- expression F

QrcSetSumIntExpFuncExpI::QrcSetSumIntExpFuncExpI(QrcManagerI* m, QrcIntSetVarI* s,
                                                 QrcIntExpAccessorI* f)
    : QrcIntExpOverIntExpSetI(m, s, f),
      _requiredMinSum(0),
      _requiredMaxSum(0),
      _minF(0),
      _maxF(0),
      _lowSum(0),
      _highSum(0) {
  computeRangeAsDoubles();
  // The first read goes through the wide form again.
  _outOfRange = 1;
  follow();
}

void QrcSetSumIntExpFuncExpI::display(std::ostream& os) const {
  displayAs(os, "QrcSum(Set, IntExp F(x)):");
}

QrcExprI* QrcSetSumIntExpFuncExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSetSumIntExpFuncExpI(t, copyOf(_set, t), getExps()->copyFor(t));
}

void QrcSetSumIntExpFuncExpI::computeRange() {
  computeRangeAsDoubles();
}

void QrcSetSumIntExpFuncExpI::computeRangeAsDoubles() {
  Figures f = figuresOf(_set, ExpTerms{getExps()});
  if (!f.inside) {
    setBoundsFromDoubles(asDouble(f.lo), asDouble(f.hi), true);
    return;
  }
  _requiredMinSum = static_cast<QrcInt>(f.reqLo);
  _requiredMaxSum = static_cast<QrcInt>(f.reqHi);
  _minF = static_cast<QrcInt>(f.minF);
  _maxF = static_cast<QrcInt>(f.maxF);
  _lowSum = static_cast<QrcInt>(f.lowSum);
  _highSum = static_cast<QrcInt>(f.highSum);
  storeBounds(static_cast<QrcInt>(f.lo), static_cast<QrcInt>(f.hi));
}

void QrcSetSumIntExpFuncExpI::setOperandsRange(QrcInt a, QrcInt b) {
  Wide lo0 = lowerOf(getFloatMin()), hi0 = upperOf(getFloatMax());
  ExpTerms terms{getExps()};
  Figures f{_requiredMinSum, _requiredMaxSum, _minF, _maxF, _lowSum, _highSum, lo0, hi0, true};
  if (_outOfRange) f = figuresOf(_set, terms);
  narrowSum(this, _set, terms, f, lo0, hi0, a, b);
}

void QrcSetSumIntExpFuncExpI::setOperandsRange(double a, double b) {
  if (a != a || b != b) return;
  Wide lo0 = lowerOf(getFloatMin()), hi0 = upperOf(getFloatMax());
  ExpTerms terms{getExps()};
  narrowSum(this, _set, terms, figuresOf(_set, terms), lo0, hi0, lowerOf(a), upperOf(b));
}
