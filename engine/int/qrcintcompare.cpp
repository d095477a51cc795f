// Comparison constraints and their makers.
#include <ostream>
#include <typeinfo>

#include "qrcintutil.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexact.h"
#include "qrcoperands.h"

using namespace qrcint;

namespace {

// "(x op y)"; a named constraint prints its name.
void showInfix(std::ostream& os, const QrcConstraintI* ct, const QrcExprI* x, const char* op,
               const QrcExprI* y) {
  if (ct->getName()) {
    os << ct->getName();
    return;
  }
  os << "(";
  x->display(os);
  os << op;
  y->display(os);
  os << ")";
}

// "(x op c)", or "(c op x)" when the constant comes first.
void showWithConstant(std::ostream& os, const QrcConstraintI* ct, const QrcExprI* x, const char* op,
                      QrcInt c, bool constantFirst) {
  if (ct->getName()) {
    os << ct->getName();
    return;
  }
  os << "(";
  if (constantFirst) {
    os << c << op;
    x->display(os);
  } else {
    x->display(os);
    os << op << c;
  }
  os << ")";
}

// ---------------------------------------------------------------- demons

class QrcEq_xDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcEq_xDemonI)
  QROSIMPLECLASS(QrcEq_xDemonI, QrcDemonI)
 public:
  QrcEq_xDemonI(QrcManagerI* m, QrcIntExpI* from, QrcIntExpI* to)
      : QrcDemonI(m), _from(from), _to(to) {}
  void propagate() override;
  void display(std::ostream& os) const override { os << "QrcEq_xDemon"; }

 protected:
  QrcIntExpI* _from;
  QrcIntExpI* _to;
};

// Copies the change of this step from one side to the other.
void QrcEq_xDemonI::propagate() {
  QrcInt a = _from->getMin(), b = _from->getMax();
  _to->setRange(a, b);
  QrcIntRemovedIterator it(_from);
  QrcInt lo, hi;
  while (it.nextRange(lo, hi)) {
    if (lo < a) lo = a;
    if (hi > b) hi = b;
    if (lo <= hi) _to->removeRange(lo, hi);
  }
}

class QrcEq_yDemonI : public QrcEq_xDemonI {
  QRCLIBRARYCLASS(QrcEq_yDemonI)
  QROSIMPLECLASS(QrcEq_yDemonI, QrcEq_xDemonI)
 public:
  QrcEq_yDemonI(QrcManagerI* m, QrcIntExpI* from, QrcIntExpI* to) : QrcEq_xDemonI(m, from, to) {}
  void display(std::ostream& os) const override { os << "QrcEq_yDemon"; }
};

class QrcNeqCst_xDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcNeqCst_xDemonI)
  QROSIMPLECLASS(QrcNeqCst_xDemonI, QrcDemonI)
 public:
  // Idle from the start: a value demon runs exactly when its list does, so its
  // first wake needs no trailed freshness. The value of from plus offset is
  // removed from to.
  QrcNeqCst_xDemonI(QrcManagerI* m, QrcIntExpI* from, QrcIntExpI* to, QrcInt offset = 0)
      : QrcDemonI(m), _from(from), _to(to) {
    setState(Idle);
    // The offset lives in the demon's spare word: the demon stays one cache line.
    _word = static_cast<QrcWord>(offset);
  }
  // A node's value event may come while the node has no value (a quotient by
  // 0, an element whose index left its array): the disequality is then false.
  void propagate() override {
    if (_from->isBound())
      _to->removeValue(_from->getMin() + static_cast<QrcInt>(_word));
    else if (_from->getMin() > _from->getMax())
      fail();
  }
  void display(std::ostream& os) const override { os << "QrcNeqCst_xDemon"; }

 protected:
  QrcIntExpI* _from;
  QrcIntExpI* _to;
};

class QrcNeqCst_yDemonI : public QrcNeqCst_xDemonI {
  QRCLIBRARYCLASS(QrcNeqCst_yDemonI)
  QROSIMPLECLASS(QrcNeqCst_yDemonI, QrcNeqCst_xDemonI)
 public:
  QrcNeqCst_yDemonI(QrcManagerI* m, QrcIntExpI* from, QrcIntExpI* to, QrcInt offset = 0)
      : QrcNeqCst_xDemonI(m, from, to, offset) {}
  void display(std::ostream& os) const override { os << "QrcNeqCst_yDemon"; }
};

// Values far from the integer limits: sums of three of them cannot overflow.
const QrcInt OffsetLimit = QrcInt(1) << 60;

// e as a variable plus a constant: e itself, or a sum node that is not a
// variable over a variable; false otherwise or near the integer limits.
bool asOffsetVariable(QrcIntExpI* e, QrcIntExpI*& var, QrcInt& offset) {
  var = e;
  offset = 0;
  if (!e->isVariable()) {
    QrcIntAddI* sum = dynamic_cast<QrcIntAddI*>(e);
    if (!sum || !sum->getOperand()->isVariable()) return false;
    var = sum->getOperand();
    offset = sum->getConstant();
  }
  return offset > -OffsetLimit && offset < OffsetLimit && var->getMin() > -OffsetLimit &&
         var->getMax() < OffsetLimit;
}

QrcIntExpI* asInt(QrcExprI* e) {
  return static_cast<QrcIntExpI*>(e);
}

// An expression with an empty range (an element whose index lies outside its
// array) has no value: no comparison over it holds.
bool noValue(QrcIntExpI* x) {
  return x->getMin() > x->getMax();
}

// A comparison holds only where its sides have values: before it narrows, it
// fails over a side without one and gives one to a side that may still lose
// it, whatever connective or truth value posted it.
inline void requireValues(QrcIntExpI* x, QrcIntExpI* y = nullptr) {
  x->requireValue();
  if (y) y->requireValue();
}

// A comparison whose sides are one expression plus constants (QrcOffsetsTest
// answered `offsets`, not 0): it demands a value of the expression and fails
// when the constants make it fail. Bounds reasoning over such sides would
// move them a step at a time across the whole range.
inline void propagateOffsets(QrcConstraintI* ct, QrcInt offsets, QrcIntExpI* x, QrcIntExpI* y) {
  requireValues(x, y);
  if (offsets < 0) ct->getManager()->fail();
}

// e as an expression plus a constant: the expression under its offsets.
QrcIntExpI* offsetBase(QrcIntExpI* e, __int128& offset) {
  offset = 0;
  while (QrcIntAddI* s = dynamic_cast<QrcIntAddI*>(e)) {
    offset += s->getConstant();
    e = s->getOperand();
  }
  return e;
}

// e as a variable plus a constant whose bounds are exactly the variable's
// plus the constant: e itself, or a sum node over a variable that stays
// inside the limits; false otherwise.
bool asExactOffset(QrcIntExpI* e, QrcIntExpI*& var, QrcInt& offset) {
  var = e;
  offset = 0;
  if (e->isVariable()) return true;
  QrcIntAddI* sum = dynamic_cast<QrcIntAddI*>(e);
  if (!sum || !sum->getOperand()->isVariable() || sum->isOutOfRange()) return false;
  var = sum->getOperand();
  offset = sum->getConstant();
  return offset > -OffsetLimit && offset < OffsetLimit && var->getMin() + offset >= QrcIntMin &&
         var->getMax() + offset <= QrcIntMax;
}

// The truth tests below read fresh bounds without a call, so that the common
// case needs no stack frame; these are their forms that refresh first.
__attribute__((noinline)) QrcBool eqCstFalse(QrcIntExpI* x, QrcInt c) {
  return !x->isInDomain(c);
}

__attribute__((noinline)) QrcBool neqCstFalse(QrcIntExpI* x, QrcInt c) {
  return noValue(x) || (x->getMin() == c && x->getMax() == c);
}

__attribute__((noinline)) QrcBool leOffsetFalse(QrcIntExpI* x, QrcIntExpI* y, QrcInt k) {
  return noValue(x) || noValue(y) ||
         static_cast<__int128>(x->getMin()) > static_cast<__int128>(y->getMax()) + k;
}

}  // namespace

// ---------------------------------------------------------------- sides that are offsets of one

QrcInt QrcOffsetsTest(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcOffsetsOp op) {
  __int128 a, b;
  if (offsetBase(x, a) != offsetBase(y, b)) return 0;
  b += k;
  bool holds = op == QrcOffsetsEq ? a == b : op == QrcOffsetsNeq ? a != b : a <= b;
  return holds ? 1 : -1;
}

// ---------------------------------------------------------------- x == y

void QrcEqConstraint::post() {
  if (_x->isVariable() && _y->isVariable()) {
    _x->whenDomain(new (_manager) QrcEq_xDemonI(_manager, _x, _y));
    _y->whenDomain(new (_manager) QrcEq_yDemonI(_manager, _y, _x));
    return;
  }
  _x->whenDomain(this);
  _y->whenDomain(this);
}

namespace {

// x == y: copies each side's domain to the other.
__attribute__((noinline)) void propagateEquality(QrcIntExpI* x, QrcIntExpI* y) {
  x->refreshBounds();
  y->refreshBounds();
  if (!x->getDomainSet() && !y->getDomainSet()) {
    QrcInt xmin = x->rawMin(), xmax = x->rawMax(), ymin = y->rawMin(), ymax = y->rawMax();
    // Equal bounds and no holes on either side: there is nothing to copy.
    if (xmin <= xmax && xmin == ymin && xmax == ymax) return;
    // The domain of a side without holes is its range.
    x->setRange(xmin > ymin ? xmin : ymin, xmax < ymax ? xmax : ymax);
    if (x->getDomainSet()) {
      y->setDomain(x);
      return;
    }
    x->refreshBounds();
    y->refreshBounds();
    xmin = x->rawMin();
    xmax = x->rawMax();
    ymin = y->rawMin();
    ymax = y->rawMax();
    y->setRange(xmin > ymin ? xmin : ymin, xmax < ymax ? xmax : ymax);
    return;
  }
  x->setDomain(y);
  y->setDomain(x);
}

}  // namespace

void QrcEqConstraint::propagate() {
  // Sides that already agree, read without a call.
  QrcIntExpI* x = _x;
  QrcIntExpI* y = _y;
  if (_offsets) return propagateOffsets(this, _offsets, x, y);
  requireValues(x, y);
  if (x->hasFreshBounds() && y->hasFreshBounds() && !x->getDomainSet() && !y->getDomainSet() &&
      x->rawMin() <= x->rawMax() && x->rawMin() == y->rawMin() && x->rawMax() == y->rawMax())
    return;
  propagateEquality(x, y);
}

QrcBool QrcEqConstraint::isFalse() const {
  if (_offsets) return _offsets < 0 || noValue(_x);
  // A side without a value (an empty range) meets nothing, even a side whose
  // range reaches the limits where the empty range's bounds lie.
  return noValue(_x) || noValue(_y) || _x->getMin() > _y->getMax() || _y->getMin() > _x->getMax();
}

QrcConstraintI* QrcEqConstraint::makeOpposite() {
  return QrcOppositeWhereUndefined(new (_manager) QrcNeqConstraint(_manager, _x, _y), _x, _y);
}

void QrcEqConstraint::metaPostDemon(QrcDemonI* d) {
  _x->whenRange(d);
  _y->whenRange(d);
}

void QrcEqConstraint::display(std::ostream& os) const {
  showInfix(os, this, _x, " == ", _y);
}

QrcConstraintI* QrcEqConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqConstraint(t, copyOf(_x, t), copyOf(_y, t));
}

// ---------------------------------------------------------------- x != y

namespace {

// The value event, or the range event of an expression that may have no value
// (an element whose index can lie outside its array): it gets no value event
// once its index is outside, and the truth is then known false.
void whenValueOrUndefined(QrcIntExpI* x, QrcDemonI* d) {
  if (!x->isVariable() && x->makeUndefinedConstraint())
    x->whenRange(d);
  else
    x->whenValue(d);
}

}  // namespace

void QrcNeqConstraint::post() {
  // x + a != y + b over variables x and y: the demons work on the variables
  // themselves, x's value plus a - b leaving y and y's plus b - a leaving x.
  QrcIntExpI *vx, *vy;
  QrcInt a, b;
  if (!(_x->isVariable() && _y->isVariable()) && asOffsetVariable(_x, vx, a) &&
      asOffsetVariable(_y, vy, b)) {
    vx->whenValue(new (_manager) QrcNeqCst_xDemonI(_manager, vx, vy, a - b));
    vy->whenValue(new (_manager) QrcNeqCst_yDemonI(_manager, vy, vx, b - a));
    return;
  }
  // A side that loses its value fails the disequality.
  whenValueOrUndefined(_x, new (_manager) QrcNeqCst_xDemonI(_manager, _x, _y));
  whenValueOrUndefined(_y, new (_manager) QrcNeqCst_yDemonI(_manager, _y, _x));
}

void QrcNeqConstraint::propagate() {
  if (_offsets) return propagateOffsets(this, _offsets, _x, _y);
  requireValues(_x, _y);
  if (_x->isBound()) _y->removeValue(_x->getMin());
  if (_y->isBound()) _x->removeValue(_y->getMin());
}

QrcBool QrcNeqConstraint::isFalse() const {
  if (_offsets < 0 || noValue(_x) || noValue(_y)) return 1;
  if (_offsets) return 0;
  // Sides of one value each, or without one: different nowhere.
  QrcInt v = _x->getMin();
  return _x->getMax() == v && _y->getMin() == v && _y->getMax() == v;
}

QrcConstraintI* QrcNeqConstraint::makeOpposite() {
  return QrcOppositeWhereUndefined(new (_manager) QrcEqConstraint(_manager, _x, _y), _x, _y);
}

void QrcNeqConstraint::metaPostDemon(QrcDemonI* d) {
  whenValueOrUndefined(_x, d);
  whenValueOrUndefined(_y, d);
}

void QrcNeqConstraint::display(std::ostream& os) const {
  showInfix(os, this, _x, " != ", _y);
}

QrcConstraintI* QrcNeqConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqConstraint(t, copyOf(_x, t), copyOf(_y, t));
}

// ---------------------------------------------------------------- x == c, x != c

void QrcEqCstConstraint::post() {
  asInt(_exp)->whenRange(this);
}
void QrcEqCstConstraint::propagate() {
  requireValues(asInt(_exp));
  asInt(_exp)->setValue(_c);
}
QrcBool QrcEqCstConstraint::isFalse() const {
  QrcIntExpI* x = asInt(_exp);
  if (x->hasFreshBounds() && !x->getDomainSet()) return _c < x->rawMin() || _c > x->rawMax();
  return eqCstFalse(x, _c);
}
QrcConstraintI* QrcEqCstConstraint::makeOpposite() {
  QrcConstraintI* plain = new (_manager) QrcNeqCstConstraint(asInt(_exp), _c);
  QrcConstraintI* o = QrcOppositeWhereUndefined(plain, asInt(_exp));
  if (o == plain) markMirrored(o);
  return o;
}
// The mirrored opposite x != c is false when x is bound to c.
QrcBool QrcEqCstConstraint::isOppositeFalse() {
  if (!isMirrored()) return QrcConstraintI::isOppositeFalse();
  QrcIntExpI* x = asInt(_exp);
  if (x->hasFreshBounds())
    return x->rawMin() > x->rawMax() || (x->rawMin() == x->rawMax() && x->rawMin() == _c);
  return neqCstFalse(x, _c);
}
// The mirrored opposite watches the range of the variable whose domain this
// constraint watches: every range event is a domain event.
QrcBool QrcEqCstConstraint::wakesWithOpposite() {
  return isMirrored() && asInt(_exp)->isVariable() && !hasTruthRecord() &&
         !_opposite->hasTruthRecord();
}
void QrcEqCstConstraint::metaPostDemon(QrcDemonI* d) {
  asInt(_exp)->whenDomain(d);
}

void QrcEqCstConstraint::display(std::ostream& os) const {
  showWithConstant(os, this, _exp, " == ", _c, false);
}

QrcConstraintI* QrcEqCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqCstConstraint(copyOf(asInt(_exp), t), _c);
}

void QrcNeqCstConstraint::post() {
  asInt(_exp)->whenRange(this);
}
void QrcNeqCstConstraint::propagate() {
  requireValues(asInt(_exp));
  asInt(_exp)->removeValue(_c);
}
QrcBool QrcNeqCstConstraint::isFalse() const {
  QrcIntExpI* x = asInt(_exp);
  if (x->hasFreshBounds())
    return x->rawMin() > x->rawMax() || (x->rawMin() == x->rawMax() && x->rawMin() == _c);
  return neqCstFalse(x, _c);
}
QrcBool QrcNeqCstConstraint::isTrue() const {
  // An expression without a value (an empty range), or that may still lose
  // it, holds no value but is not known different.
  QrcIntExpI* x = asInt(_exp);
  return x->getMin() <= x->getMax() && !x->isValueOpen() && !x->isInDomain(_c);
}
QrcConstraintI* QrcNeqCstConstraint::makeOpposite() {
  QrcConstraintI* plain = new (_manager) QrcEqCstConstraint(asInt(_exp), _c);
  QrcConstraintI* o = QrcOppositeWhereUndefined(plain, asInt(_exp));
  if (o == plain) markMirrored(o);
  return o;
}
// The mirrored opposite x == c is false when c is not in x's domain.
QrcBool QrcNeqCstConstraint::isOppositeFalse() {
  if (!isMirrored()) return QrcConstraintI::isOppositeFalse();
  QrcIntExpI* x = asInt(_exp);
  if (x->hasFreshBounds() && !x->getDomainSet()) return _c < x->rawMin() || _c > x->rawMax();
  return eqCstFalse(x, _c);
}
void QrcNeqCstConstraint::metaPostDemon(QrcDemonI* d) {
  asInt(_exp)->whenRange(d);
}

void QrcNeqCstConstraint::display(std::ostream& os) const {
  showWithConstant(os, this, _exp, " != ", _c, false);
}

QrcConstraintI* QrcNeqCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcNeqCstConstraint(copyOf(asInt(_exp), t), _c);
}

// ---------------------------------------------------------------- x <= y + k

QrcLeOffsetI::QrcLeOffsetI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcInt reversed)
    : QrcConstraintI(m),
      _xVar(nullptr),
      _yVar(nullptr),
      _varOffset(0),
      _x(x),
      _y(y),
      _k(k),
      _reversed(reversed),
      _offsets(QrcOffsetsTest(x, y, k, QrcOffsetsLe)) {
  QrcIntExpI *vx, *vy;
  QrcInt cx, cy;
  if (k > -OffsetLimit && k < OffsetLimit && asExactOffset(x, vx, cx) && asExactOffset(y, vy, cy)) {
    _xVar = vx;
    _yVar = vy;
    _varOffset = k + cy - cx;
  }
}

void QrcLeOffsetI::post() {
  _x->whenRange(this);
  _y->whenRange(this);
}

void QrcLeOffsetI::propagate() {
  if (_offsets) return propagateOffsets(this, _offsets, _x, _y);
  requireValues(_x, _y);
  _x->setMax(qrcint::clamp128(static_cast<__int128>(_y->getMax()) + _k));
  _y->setMin(qrcint::clamp128(static_cast<__int128>(_x->getMin()) - _k));
}

QrcBool QrcLeOffsetI::isFalse() const {
  // x's min > y's max + k, over the variables when x and y are offsets of them.
  if (_offsets) return _offsets < 0 || noValue(_x);
  if (_xVar) return _xVar->rawMin() > _yVar->rawMax() + _varOffset;
  if (_x->hasFreshBounds() && _y->hasFreshBounds())
    return static_cast<__int128>(_x->rawMin()) > static_cast<__int128>(_y->rawMax()) + _k ||
           _x->rawMin() > _x->rawMax() || _y->rawMin() > _y->rawMax();
  return leOffsetFalse(_x, _y, _k);
}

QrcConstraintI* QrcLeOffsetI::makeOpposite() {
  QrcConstraintI* plain = new (_manager) QrcLeOffsetI(_manager, _y, _x, -_k - 1, _reversed ? 0 : 1);
  QrcConstraintI* o = QrcOppositeWhereUndefined(plain, _x, _y);
  if (o == plain) markMirrored(o);
  return o;
}

// The mirrored opposite y <= x - k - 1 is false when y's min > x's max - k - 1.
QrcBool QrcLeOffsetI::isOppositeFalse() {
  if (!isMirrored()) return QrcConstraintI::isOppositeFalse();
  // Mirrored: x and y always have values.
  if (_offsets) return _offsets > 0;
  if (_xVar) return _yVar->rawMin() > _xVar->rawMax() - _varOffset - 1;
  return static_cast<__int128>(_y->getMin()) > static_cast<__int128>(_x->getMax()) - _k - 1;
}

// The mirrored opposite watches the ranges of the same x and y.
QrcBool QrcLeOffsetI::wakesWithOpposite() {
  return isMirrored() && !hasTruthRecord() && !_opposite->hasTruthRecord();
}

void QrcLeOffsetI::metaPostDemon(QrcDemonI* d) {
  // The truth is read in the variables' bounds when x and y are offsets of
  // them: a truth expression is their parent, not the offset nodes', whose
  // cached bounds nothing may have read since the last backtrack.
  if (_xVar) {
    _xVar->whenRange(d);
    _yVar->whenRange(d);
    return;
  }
  _x->whenRange(d);
  _y->whenRange(d);
}

void QrcLeOffsetI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << "(";
  if (!_reversed) {
    _x->display(os);
    os << " <= ";
    if (_k) os << _k << " + ";
    _y->display(os);
  } else {
    if (_k) os << _k << " + ";
    _y->display(os);
    os << " >= ";
    _x->display(os);
  }
  os << ")";
}

QrcConstraintI* QrcLeOffsetI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLeOffsetI(t, copyOf(_x, t), copyOf(_y, t), _k, _reversed);
}

// ---------------------------------------------------------------- x <= c, x >= c

void QrcLeCstConstraint::post() {
  asInt(_exp)->whenRange(this);
}
void QrcLeCstConstraint::propagate() {
  requireValues(asInt(_exp));
  asInt(_exp)->setMax(_c);
}
QrcBool QrcLeCstConstraint::isFalse() const {
  return asInt(_exp)->getMin() > _c;
}
QrcConstraintI* QrcLeCstConstraint::makeOpposite() {
  QrcConstraintI* o =
      _c >= QrcInt64Max ? _manager->getFalseConstraint()
                        : new (_manager) QrcGeCstConstraint(asInt(_exp), _c + 1, _reversed ? 0 : 1);
  return QrcOppositeWhereUndefined(o, asInt(_exp));
}
void QrcLeCstConstraint::metaPostDemon(QrcDemonI* d) {
  asInt(_exp)->whenRange(d);
}

void QrcLeCstConstraint::display(std::ostream& os) const {
  showWithConstant(os, this, _exp, _reversed ? " >= " : " <= ", _c, _reversed);
}

QrcConstraintI* QrcLeCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLeCstConstraint(copyOf(asInt(_exp), t), _c, _reversed);
}

void QrcIntRangeCstI::post() {
  _x->whenRange(this);
}
void QrcIntRangeCstI::propagate() {
  requireValues(_x);
  _x->setRange(_l, _u);
}

QrcConstraintI* QrcIntRangeCstI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcIntRangeCstI(_first->getCopyForManager(t), _second->getCopyForManager(t),
                                 copyOf(_x, t), _l, _u);
}

QrcConstraintI* QrcMakeIntRange(const QrcIntExp& x, QrcInt l, QrcInt u) {
  QrcConstraintI* c = ((x >= l) && (x <= u)).getImpl();
  QrcIntExpI* e = x.getImpl();
  if (e->isVariable() || typeid(*c) != typeid(QrcBoolAndExpI)) return c;
  QrcBoolAndExpI* both = static_cast<QrcBoolAndExpI*>(c);
  QrcConstraintI *ge = both->getFirst(), *le = both->getSecond();
  if (typeid(*ge) != typeid(QrcGeCstConstraint) || typeid(*le) != typeid(QrcLeCstConstraint) ||
      static_cast<QrcGeCstConstraint*>(ge)->getExpr() != e ||
      static_cast<QrcLeCstConstraint*>(le)->getExpr() != e)
    return c;
  return new (e->getManager()) QrcIntRangeCstI(ge, le, e, l, u);
}

void QrcGeCstConstraint::post() {
  asInt(_exp)->whenRange(this);
}
void QrcGeCstConstraint::propagate() {
  requireValues(asInt(_exp));
  asInt(_exp)->setMin(_c);
}
QrcBool QrcGeCstConstraint::isFalse() const {
  return asInt(_exp)->getMax() < _c;
}
QrcConstraintI* QrcGeCstConstraint::makeOpposite() {
  QrcConstraintI* o = _c <= -QrcInt64Max
                          ? _manager->getFalseConstraint()
                          : new (_manager)
                                QrcLeCstConstraint(asInt(_exp), _c - 1, _reversed ? 0 : 1);
  return QrcOppositeWhereUndefined(o, asInt(_exp));
}
void QrcGeCstConstraint::metaPostDemon(QrcDemonI* d) {
  asInt(_exp)->whenRange(d);
}

void QrcGeCstConstraint::display(std::ostream& os) const {
  showWithConstant(os, this, _exp, _reversed ? " <= " : " >= ", _c, _reversed);
}

QrcConstraintI* QrcGeCstConstraint::makeCopy(QrcManagerI* t) const {
  return new (t) QrcGeCstConstraint(copyOf(asInt(_exp), t), _c, _reversed);
}

// ---------------------------------------------------------------- makers

namespace {

QrcConstraint yes(QrcManagerI* m) {
  return m->getTrueConstraint();
}
QrcConstraint no(QrcManagerI* m) {
  return m->getFalseConstraint();
}

// An expression without value (an element whose index lies outside its
// array): every comparison over it is false.
bool empty(QrcIntExpI* x) {
  return x->getMin() > x->getMax();
}

// x op y + k when QrcOffsetsTest decides it: false where the constants make
// it fail, true where they make it hold and x always has a value; null when
// the comparison is to be built.
QrcConstraintI* byOffsets(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcOffsetsOp op) {
  QrcInt t = QrcOffsetsTest(x, y, k, op);
  if (t < 0) return no(x->getManager()).getImpl();
  if (t > 0 && defined(x)) return yes(x->getManager()).getImpl();
  return nullptr;
}

// x op y + k over a node whose range left the limits, where its bounds are
// clamped: a comparison that tests exact values; null over others, and over
// sides that are offsets of one expression, which their constants decide.
QrcConstraintI* overClamped(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op) {
  if (!clamped(x) && !(y && clamped(y))) return nullptr;
  QrcOffsetsOp same = op == QrcExactEq    ? QrcOffsetsEq
                      : op == QrcExactNeq ? QrcOffsetsNeq
                                          : QrcOffsetsLe;
  if (y && QrcOffsetsTest(x, y, k, same) != 0) return nullptr;
  return QrcMakeClampedComparison(x, y, k, op);
}

QrcLinIntExpI* linear(const QrcIntExp& e) {
  return new (e.getImpl()->getManager()) QrcLinIntExpI(e.getImpl());
}

// c - 1 and c + 1 without overflow: false when the result is unrepresentable.
bool dec(QrcInt c, QrcInt& r) {
  if (c == INT64_MIN) return false;
  r = c - 1;
  return true;
}
bool inc(QrcInt c, QrcInt& r) {
  if (c == INT64_MAX) return false;
  r = c + 1;
  return true;
}

}  // namespace

QrcConstraint operator==(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator==");
  QrcManagerI* m = x->getManager();
  if (empty(x)) return no(m);
  if (QrcConstraintI* ct = overClamped(x, nullptr, c, QrcExactEq)) return ct;
  if (!x->isInDomain(c)) return no(m);
  if (x->isBound() && defined(x)) return yes(m);
  if (x->getLinearSize() >= 3) return QrcLinearEq(linear(xe), c);
  return new (m) QrcEqCstConstraint(x, c);
}

QrcConstraint operator==(QrcInt c, const QrcIntExp& x) {
  return x == c;
}

QrcConstraint operator!=(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator!=");
  QrcManagerI* m = x->getManager();
  if (empty(x)) return no(m);
  if (QrcConstraintI* ct = overClamped(x, nullptr, c, QrcExactNeq)) return ct;
  if (!x->isInDomain(c) && defined(x)) return yes(m);
  if (x->isBound() && x->getMin() == c) return no(m);
  return new (m) QrcNeqCstConstraint(x, c);
}

QrcConstraint operator!=(QrcInt c, const QrcIntExp& x) {
  return x != c;
}

QrcConstraint operator<=(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator<=");
  QrcManagerI* m = x->getManager();
  if (empty(x)) return no(m);
  if (QrcConstraintI* ct = overClamped(x, nullptr, c, QrcExactLe)) return ct;
  if (x->getMax() <= c && defined(x)) return yes(m);
  if (x->getMin() > c) return no(m);
  if (x->getLinearSize() >= 3) return QrcLinearLe(linear(xe), c);
  return new (m) QrcLeCstConstraint(x, c, 0);
}

QrcConstraint operator>=(const QrcIntExp& xe, QrcInt c) {
  QrcIntExpI* x = impl(xe, "operator>=");
  QrcManagerI* m = x->getManager();
  if (empty(x)) return no(m);
  if (QrcConstraintI* ct = overClamped(x, nullptr, c, QrcExactGe)) return ct;
  if (x->getMin() >= c && defined(x)) return yes(m);
  if (x->getMax() < c) return no(m);
  if (x->getLinearSize() >= 3) return QrcLinearGe(linear(xe), c);
  return new (m) QrcGeCstConstraint(x, c, 0);
}

QrcConstraint operator<=(QrcInt c, const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "operator<=");
  QrcManagerI* m = x->getManager();
  if (empty(x)) return no(m);
  if (QrcConstraintI* ct = overClamped(x, nullptr, c, QrcExactGe)) return ct;
  if (x->getMin() >= c && defined(x)) return yes(m);
  if (x->getMax() < c) return no(m);
  if (x->getLinearSize() >= 3) return QrcLinearLe(linear(-xe), -c);
  return new (m) QrcGeCstConstraint(x, c, 1);
}

QrcConstraint operator>=(QrcInt c, const QrcIntExp& xe) {
  QrcIntExpI* x = impl(xe, "operator>=");
  QrcManagerI* m = x->getManager();
  if (empty(x)) return no(m);
  if (QrcConstraintI* ct = overClamped(x, nullptr, c, QrcExactLe)) return ct;
  if (x->getMax() <= c && defined(x)) return yes(m);
  if (x->getMin() > c) return no(m);
  if (x->getLinearSize() >= 3) return QrcLinearGe(linear(-xe), -c);
  return new (m) QrcLeCstConstraint(x, c, 1);
}

QrcConstraint operator<(const QrcIntExp& x, QrcInt c) {
  QrcInt r;
  if (!dec(c, r)) return no(impl(x, "operator<")->getManager());
  return x <= r;
}

QrcConstraint operator>(const QrcIntExp& x, QrcInt c) {
  QrcInt r;
  if (!inc(c, r)) return no(impl(x, "operator>")->getManager());
  return x >= r;
}

QrcConstraint operator<(QrcInt c, const QrcIntExp& x) {
  QrcInt r;
  if (!inc(c, r)) return no(impl(x, "operator<")->getManager());
  return r <= x;
}

QrcConstraint operator>(QrcInt c, const QrcIntExp& x) {
  QrcInt r;
  if (!dec(c, r)) return no(impl(x, "operator>")->getManager());
  return r >= x;
}

QrcConstraint QrcLeOffset(const QrcIntExp& xe, const QrcIntExp& ye, QrcInt k) {
  QrcCheckOperands("QrcLeOffset", {xe, ye});
  QrcIntExpI* x = impl(xe, "QrcLeOffset");
  QrcIntExpI* y = impl(ye, "QrcLeOffset");
  QrcManagerI* m = x->getManager();
  if (empty(x) || empty(y)) return no(m);
  if (QrcConstraintI* decided = byOffsets(x, y, k, QrcOffsetsLe)) return decided;
  if (QrcConstraintI* ct = overClamped(x, y, k, QrcExactLe)) return ct;
  QrcInt r;
  if (x->isBound() && defined(x)) {
    // x - k, with -k taken in 128 bits.
    __int128 v = static_cast<__int128>(x->getMin()) - k;
    if (v > QrcIntMax || v < QrcIntMin) return k > 0 ? yes(m) : no(m);
    return static_cast<QrcInt>(v) <= ye;
  }
  if (y->isBound() && defined(y)) {
    if (!QrcFoldAdd(y->getMin(), k, r)) return k > 0 ? yes(m) : no(m);
    return xe <= r;
  }
  __int128 ymaxk = static_cast<__int128>(y->getMax()) + k,
           ymink = static_cast<__int128>(y->getMin()) + k;
  if (x->getMax() <= ymink && defined(x) && defined(y)) return yes(m);
  if (x->getMin() > ymaxk) return no(m);
  return new (m) QrcLeOffsetI(m, x, y, k, 0);
}

QrcConstraint operator<(const QrcIntExp& x, const QrcIntExp& y) {
  QrcCheckOperands("operator<", {x, y});
  return QrcLeOffset(x, y, -1);
}

QrcConstraint operator==(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator==", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator==");
  QrcIntExpI* y = impl(ye, "operator==");
  QrcManagerI* m = x->getManager();
  if (empty(x) || empty(y)) return no(m);
  if (QrcConstraintI* decided = byOffsets(x, y, 0, QrcOffsetsEq)) return decided;
  if (QrcConstraintI* ct = overClamped(x, y, 0, QrcExactEq)) return ct;
  if (x->isBound() && defined(x)) return x->getMin() == ye;
  if (y->isBound() && defined(y)) return xe == y->getMin();
  if (x->getMin() > y->getMax() || y->getMin() > x->getMax()) return no(m);
  QrcInt lx = x->getLinearSize(), ly = y->getLinearSize();
  if (lx > 0 && ly >= 1 && lx + ly >= 4) return QrcLinearEq(linear(xe - ye), 0);
  if (y->isStaticElement() && x->isVariable())
    if (QrcConstraintI* ct = y->makeStaticElementEq(x)) return ct;
  if (x->isStaticElement() && y->isVariable())
    if (QrcConstraintI* ct = x->makeStaticElementEq(y)) return ct;
  return new (m) QrcEqConstraint(m, x, y);
}

QrcConstraint operator!=(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator!=", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator!=");
  QrcIntExpI* y = impl(ye, "operator!=");
  QrcManagerI* m = x->getManager();
  if (empty(x) || empty(y)) return no(m);
  if (QrcConstraintI* decided = byOffsets(x, y, 0, QrcOffsetsNeq)) return decided;
  if (QrcConstraintI* ct = overClamped(x, y, 0, QrcExactNeq)) return ct;
  if (x->isBound() && defined(x)) return x->getMin() != ye;
  if (y->isBound() && defined(y)) return xe != y->getMin();
  if ((x->getMin() > y->getMax() || y->getMin() > x->getMax()) && defined(x) && defined(y))
    return yes(m);
  return new (m) QrcNeqConstraint(m, x, y);
}

QrcConstraint operator<=(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator<=", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator<=");
  QrcIntExpI* y = impl(ye, "operator<=");
  QrcManagerI* m = x->getManager();
  if (empty(x) || empty(y)) return no(m);
  if (QrcConstraintI* decided = byOffsets(x, y, 0, QrcOffsetsLe)) return decided;
  if (QrcConstraintI* ct = overClamped(x, y, 0, QrcExactLe)) return ct;
  if (x->isBound() && defined(x)) return x->getMin() <= ye;
  if (y->isBound() && defined(y)) return xe <= y->getMin();
  if (x->getMax() <= y->getMin() && defined(x) && defined(y)) return yes(m);
  if (x->getMin() > y->getMax()) return no(m);
  QrcInt lx = x->getLinearSize(), ly = y->getLinearSize();
  if (lx >= 1 && ly >= 1 && lx + ly >= 4) return QrcLinearLe(linear(xe - ye), 0);
  return new (m) QrcLeOffsetI(m, x, y, 0, 0);
}

QrcConstraint operator>=(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator>=", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator>=");
  QrcIntExpI* y = impl(ye, "operator>=");
  QrcManagerI* m = x->getManager();
  if (empty(x) || empty(y)) return no(m);
  if (QrcConstraintI* decided = byOffsets(y, x, 0, QrcOffsetsLe)) return decided;
  if (QrcConstraintI* ct = overClamped(y, x, 0, QrcExactLe)) return ct;
  if (x->isBound() && defined(x)) return x->getMin() >= ye;
  if (y->isBound() && defined(y)) return xe >= y->getMin();
  if (x->getMin() >= y->getMax() && defined(x) && defined(y)) return yes(m);
  if (x->getMax() < y->getMin()) return no(m);
  QrcInt lx = x->getLinearSize(), ly = y->getLinearSize();
  if (lx >= 1 && ly >= 1 && lx + ly >= 4) return QrcLinearGe(linear(xe - ye), 0);
  return new (m) QrcLeOffsetI(m, y, x, 0, 1);
}

QrcConstraint operator>(const QrcIntExp& xe, const QrcIntExp& ye) {
  QrcCheckOperands("operator>", {xe, ye});
  QrcIntExpI* x = impl(xe, "operator>");
  QrcIntExpI* y = impl(ye, "operator>");
  QrcManagerI* m = x->getManager();
  if (empty(x) || empty(y)) return no(m);
  if (QrcConstraintI* decided = byOffsets(y, x, -1, QrcOffsetsLe)) return decided;
  if (QrcConstraintI* ct = overClamped(y, x, -1, QrcExactLe)) return ct;
  if (x->isBound() && defined(x)) return x->getMin() > ye;
  if (y->isBound() && defined(y)) return xe > y->getMin();
  if (x->getMin() > y->getMax() && defined(x) && defined(y)) return yes(m);
  if (x->getMax() <= y->getMin()) return no(m);
  return new (m) QrcLeOffsetI(m, y, x, -1, 1);
}
