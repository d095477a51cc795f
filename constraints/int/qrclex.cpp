// Lexicographic order. Code that can fail keeps trivially destructible
// locals only.
#include "qrclex.h"

#include "qrcintcompare.h"
#include "qrcoperands.h"

namespace {

void badSize(QrcManagerI* m, QrcInt size) {
  QrcGetErrorReporter(m)->report(QrcBadArraySizeError, "QrcLex Constraint", "bad array size", size);
}

}  // namespace

QrcLexCtI::QrcLexCtI(QrcManagerI* m, const QrcIntVarArray& x, const QrcIntVarArray& y)
    : QrcConstraintI(m), _x(x), _y(y), _n(x.getSize()), _alpha(m, 0) {
  if (y.getSize() != _n) badSize(m, y.getSize());
}

void QrcLexCtI::watch(QrcInt i) {
  x(i)->whenRange(this);
  y(i)->whenRange(this);
}

void QrcLexCtI::post() {
  QrcInt a = _alpha.getValue();
  if (a < _n) watch(a);
  if (a + 1 < _n) watch(a + 1);
}

void QrcLexCtI::propagate() {
  QrcInt alpha = _alpha.getValue();
  if (alpha >= _n) return;
  QrcInt i = alpha;
  QrcInt xmin = 0, xmax = 0, ymin = 0, ymax = 0;
  for (; i < _n; ++i) {
    xmin = x(i)->getMin(), xmax = x(i)->getMax();
    ymin = y(i)->getMin(), ymax = y(i)->getMax();
    if (xmax != ymin) break;
    // x[i] <= v <= y[i] and x[i] >= y[i]: both equal v.
    if (xmin != xmax) x(i)->setMin(xmax);
    if (ymax != ymin) y(i)->setMax(ymin);
  }
  if (i == _n || xmin > ymax) {
    _alpha.set(_manager, _n);
    return;
  }
  if (i > alpha) {
    if (i + 1 < _n) watch(i + 1);
    markPending();
    if (i > alpha + 1) watch(i);
    _alpha.set(_manager, i);
  }
  // x[i] > y[i] when the next position cannot make up for equality.
  if (i + 1 < _n && y(i + 1)->getMin() > x(i + 1)->getMax()) {
    x(i)->setMin(ymin + 1);
    y(i)->setMax(xmax - 1);
  } else {
    x(i)->setMin(ymin);
    y(i)->setMax(xmax);
  }
}

QrcConstraint QrcGeLex(const QrcIntVarArray& a, const QrcIntVarArray& b) {
  QrcCheckOperands("QrcGeLex", {a, b});
  QrcManagerI* m =
      a.getImpl() ? a.getImpl()->getManager() : (b.getImpl() ? b.getImpl()->getManager() : nullptr);
  QrcInt n = a.getSize();
  if (n == 0) {
    badSize(m, 0);
    return QrcConstraint();
  }
  if (b.getSize() != n) {
    badSize(m, b.getSize());
    return QrcConstraint();
  }
  if (n == 1) return QrcIntExp(a.getImpl()->getVar(0)) >= QrcIntExp(b.getImpl()->getVar(0));
  return new (m) QrcLexCtI(m, a, b);
}

QrcConstraint QrcLeLex(const QrcIntVarArray& a, const QrcIntVarArray& b) {
  QrcCheckOperands("QrcLeLex", {a, b});
  return QrcGeLex(b, a);
}
