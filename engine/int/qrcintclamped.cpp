// Comparisons over a node whose range left the limits, where its bounds are
// clamped: they narrow what the bounds allow, a clamped bound read as none,
// and test exact values once the operands are bound. The makers choose them
// when they build a comparison over such a node; a node only narrows from
// then on, so one built within the limits stays within them.
#include <ostream>

#include "qrcintexact.h"
#include "qrcintutil.h"
#include "qrcintcompare.h"

using namespace qrcint;

namespace {

const QrcInt128 Far = static_cast<QrcInt128>(1) << 100;

// x's bounds, a clamped side read as none.
void extendedBounds(QrcIntExpI* x, QrcInt128& lo, QrcInt128& hi) {
  lo = x->getMin();
  hi = x->getMax();
  if (!clamped(x)) return;
  if (lo <= QrcIntMin) lo = -Far;
  if (hi >= QrcIntMax) hi = Far;
}

// A constant for the narrowing of a clamped side: at the limit past it.
QrcInt toLimits(QrcInt128 c) {
  return c > QrcIntMax ? QrcIntMax : (c < QrcIntMin ? QrcIntMin : static_cast<QrcInt>(c));
}

bool inside(QrcInt c) {
  return c > QrcIntMin && c < QrcIntMax;
}

const char* opText(QrcExactOp op) {
  return op == QrcExactEq    ? " == "
         : op == QrcExactNeq ? " != "
         : op == QrcExactLe  ? " <= "
                             : " >= ";
}

// x op y + k, or x op k without y.
class QrcClampedCompareI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcClampedCompareI)
  QROSIMPLECLASS(QrcClampedCompareI, QrcConstraintI)
 public:
  QrcClampedCompareI(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op)
      : QrcConstraintI(m), _x(x), _y(y), _k(k), _op(op) {}
  // The operands' range events: the clamped bounds may stay put while they move.
  void post() override { metaPostDemon(this); }
  void propagate() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override {
    _x->whenRange(d);
    if (_y) _y->whenRange(d);
  }
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* t) const override {
    return new (t) QrcClampedCompareI(t, copyOf(_x, t), _y ? copyOf(_y, t) : nullptr, _k, _op);
  }

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  QrcInt _k;
  QrcExactOp _op;
};

void QrcClampedCompareI::propagate() {
  QrcIntExpI *x = _x, *y = _y;
  x->requireValue();
  if (y) y->requireValue();
  QrcInt128 lo, hi;
  switch (_op) {
    case QrcExactEq:
      if (!y) {
        if (_k == toLimits(_k))
          x->setValue(_k);
        else
          x->setRange(toLimits(_k), toLimits(_k));
        break;
      }
      // A clamped bound passed on reads as none on a clamped side.
      x->setRange(y->getMin(), y->getMax());
      y->setRange(x->getMin(), x->getMax());
      break;
    case QrcExactNeq:
      // A value within the limits leaves a clamped side as any node's.
      if (!y) {
        if (inside(_k)) x->removeValue(_k);
      } else {
        if (fixed(x) && inside(x->getMin())) y->removeValue(x->getMin());
        if (fixed(y) && inside(y->getMin())) x->removeValue(y->getMin());
      }
      break;
    case QrcExactLe:
      if (!y) {
        x->setMax(toLimits(_k));
        break;
      }
      extendedBounds(y, lo, hi);
      if (hi < Far) x->setMax(toLimits(hi + _k));
      extendedBounds(x, lo, hi);
      if (lo > -Far) y->setMin(toLimits(lo - _k));
      break;
    default:
      x->setMin(toLimits(_k));
      break;
  }
  QrcCheckExact(x, y, _k, _op);
}

QrcBool QrcClampedCompareI::isFalse() const {
  QrcIntExpI *x = _x, *y = _y;
  if (x->getMin() > x->getMax() || (y && y->getMin() > y->getMax())) return 1;
  QrcInt128 xl, xh, yl = _k, yh = _k;
  extendedBounds(x, xl, xh);
  if (y) {
    extendedBounds(y, yl, yh);
    yl += _k;
    yh += _k;
  }
  bool apart = (_op == QrcExactEq && (xl > yh || yl > xh)) || (_op == QrcExactLe && xl > yh) ||
               (_op == QrcExactGe && xh < yl);
  return apart || QrcExactTest(x, y, _k, _op) == 0;
}

QrcConstraintI* QrcClampedCompareI::makeOpposite() {
  QrcConstraintI* o;
  if (_op == QrcExactEq || _op == QrcExactNeq) {
    o = QrcMakeClampedComparison(_x, _y, _k, _op == QrcExactEq ? QrcExactNeq : QrcExactEq);
  } else if (_y) {
    // Not x <= y + k: y <= x - k - 1.
    o = QrcMakeClampedComparison(_y, _x, _k == INT64_MIN ? INT64_MAX : -_k - 1, QrcExactLe);
  } else if (_op == QrcExactLe) {
    if (_k == INT64_MAX) return QrcOppositeWhereUndefined(_manager->getFalseConstraint(), _x);
    o = QrcMakeClampedComparison(_x, nullptr, _k + 1, QrcExactGe);
  } else {
    if (_k == INT64_MIN) return QrcOppositeWhereUndefined(_manager->getFalseConstraint(), _x);
    o = QrcMakeClampedComparison(_x, nullptr, _k - 1, QrcExactLe);
  }
  return QrcOppositeWhereUndefined(o, _x, _y);
}

void QrcClampedCompareI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << "(";
  _x->display(os);
  os << opText(_op);
  if (_y) {
    if (_k) os << _k << " + ";
    _y->display(os);
  } else {
    os << _k;
  }
  os << ")";
}

class QrcClampedLinkI : public QrcIntExpEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcClampedLinkI)
  QROSIMPLECLASS(QrcClampedLinkI, QrcIntExpEventHandlerConstraintI)
 public:
  QrcClampedLinkI(QrcManagerI* m, QrcIntExpI* node) : QrcIntExpEventHandlerConstraintI(m, node) {}
  void propagate() override {
    QrcIntExpEventHandlerConstraintI::propagate();
    QrcFixToExactValue(getExpr());
  }
};

}  // namespace

QrcConstraintI* QrcMakeClampedLink(QrcIntExpI* node) {
  return new (node->getManager()) QrcClampedLinkI(node->getManager(), node);
}

QrcConstraintI* QrcMakeClampedComparison(QrcIntExpI* x, QrcIntExpI* y, QrcInt k, QrcExactOp op) {
  return new (x->getManager()) QrcClampedCompareI(x->getManager(), x, y, k, op);
}
