// Link constraints that keep an offset, difference, absolute value or square
// turned into a variable in step with its operand, holes included.
#include <ostream>

#include "qrcintutil.h"
#include "qrcintarith.h"

using namespace qrcint;

namespace {

const QrcInt ScanLimit = 4999;

bool scannable(QrcIntExpI* x) {
  QrcInt n = x->getSize();
  return n >= 1 && n <= ScanLimit;
}

// Removes from x every domain value v for which drop(v) holds.
template <class F>
void scan(QrcIntExpI* x, F drop) {
  if (!scannable(x)) return;
  QrcInt v = x->getMin();
  for (;;) {
    QrcInt next = x->getNextHigher(v);
    if (drop(v)) x->removeValue(v);
    if (next == v) break;
    v = next;
  }
}

QrcInt isqrtFloor(QrcInt v) {
  if (v <= 0) return 0;
  QrcInt r = static_cast<QrcInt>(std::sqrt(static_cast<double>(v)));
  while (r > 0 && static_cast<__int128>(r) * r > v) --r;
  while (static_cast<__int128>(r + 1) * (r + 1) <= v) ++r;
  return r;
}

QrcInt sq(QrcInt v) {
  return clamp128(static_cast<__int128>(v) * v);
}

// The link constraint of a node turned into a variable, with its two demons.
class QrcIntLinkConstraintI : public QrcExprEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcIntLinkConstraintI)
 public:
  QrcIntLinkConstraintI(QrcManagerI* m, QrcUnaryExpI* e)
      : QrcExprEventHandlerConstraintI(m), _e(e) {}
  void post() override;
  void propagate() override { full(); }
  void display(std::ostream& os) const override {
    if (getName()) {
      os << getName();
      return;
    }
    os << " " << kind() << "ConstraintI(";
    _e->display(os);
    os << ")";
  }
  virtual const char* kind() const = 0;
  // For e = sign * x + c: sign (1 or -1); 0 for other links.
  virtual QrcInt offsetSign() const { return 0; }
  virtual void full() = 0;
  virtual void operandSide() = 0;
  virtual void nodeSide() = 0;

 protected:
  QrcIntExpI* x() const { return _e->getOperand(); }
  QrcInt c() const { return _e->getConstant(); }
  QrcUnaryExpI* _e;
};

class QrcIntLinkDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntLinkDemonI)
  QROSIMPLECLASS(QrcIntLinkDemonI, QrcDemonI)
 public:
  QrcIntLinkDemonI(QrcManagerI* m, QrcIntLinkConstraintI* ct, bool nodeSide)
      : QrcDemonI(m), _ct(ct), _nodeSide(nodeSide) {}
  void propagate() override {
    if (_nodeSide)
      _ct->nodeSide();
    else
      _ct->operandSide();
  }
  void display(std::ostream& os) const override {
    os << _ct->kind() << (_nodeSide ? "ExpI" : "VarI");
  }

 private:
  QrcIntLinkConstraintI* _ct;
  bool _nodeSide;
};

// An offset or difference over a variable, in integer mode, is kept in step
// by offset links on both handlers instead of the two demons: each change
// reaches the other side as it is made, and both reach the same domains.
// A traced manager keeps the demons, whose runs it reports.
void QrcIntLinkConstraintI::post() {
  QrcInt sign = offsetSign();
  QrcIntVarEventHandlerI* hx = x()->getIntHandler();
  bool traced = _manager->getPropagationQueue()->isTracing();
  if (sign && hx && !traced && !_e->isOutOfRange()) {
    QrcInt k = c();
    _e->getIntHandler()->addOffsetLink(x(), sign, sign > 0 ? -k : k);
    hx->addOffsetLink(_e, sign, k);
    return;
  }
  _e->whenDomain(new (_manager) QrcIntLinkDemonI(_manager, this, true));
  x()->whenDomain(new (_manager) QrcIntLinkDemonI(_manager, this, false));
}

// Calls f(a, b) for every interval [a, b] of values x lost in this step.
template <class F>
void forRemoved(QrcIntExpI* x, F f) {
  QrcIntRemovedIterator it(x);
  QrcInt a, b;
  while (it.nextRange(a, b)) f(a, b);
}

void removeSpan(QrcIntExpI* x, QrcInt a, QrcInt b) {
  if (a == b)
    x->removeValue(a);
  else if (a < b)
    x->removeRange(a, b);
}

// The steps a link may take over the values of one change, beyond which it
// keeps to bounds: a change of a wide domain costs its holes, not its span.
const QrcInt StepBudget = 1 << 16;

// Calls gap(g, h) for the maximal intervals [g, h] of [lo, hi] that hold no
// value of x, in increasing order, until steps run out (false then).
template <class F>
bool forGaps(QrcIntExpI* x, QrcInt lo, QrcInt hi, QrcInt& steps, F gap) {
  QrcInt v = lo;
  while (v <= hi) {
    if (--steps < 0) return false;
    if (!x->isInDomain(v)) {
      QrcInt u = x->getNextHigher(v);
      QrcInt end = u > v && u <= hi ? u - 1 : hi;
      gap(v, end);
      v = end + 1;
    } else {
      if (v == hi) break;
      ++v;
    }
  }
  return true;
}

// Calls f(v) for the values v of [lo, hi] of a removed interval of x
// (v = |w| of its values w, or their squares' roots) whose mirror -v, or v,
// is not in x: those values of the node have no support left. Keeps to
// bounds once the budget runs out.
template <class F>
void forUnsupported(QrcIntExpI* x, QrcInt a, QrcInt b, QrcInt& steps, F f) {
  // Values w >= 0 of [a, b]: v = w, supported by -w.
  if (b >= 0) {
    QrcInt p = mx(a, QrcInt(0));
    if (!forGaps(x, -b, -p, steps, [&](QrcInt g, QrcInt h) { f(-h, -g); })) return;
  }
  // Values w < 0 of [a, b]: v = -w, supported by v.
  if (a < 0) {
    QrcInt q = mn(b, QrcInt(-1));
    forGaps(x, -q, -a, steps, f);
  }
}

// e = x + c.
class QrcIntAddConstraintI : public QrcIntLinkConstraintI {
  QRCLIBRARYCLASS(QrcIntAddConstraintI)
 public:
  using QrcIntLinkConstraintI::QrcIntLinkConstraintI;
  const char* kind() const override { return "QrcIntAdd"; }
  QrcInt offsetSign() const override { return 1; }
  void full() override {
    QrcIntExpI* xv = x();
    QrcInt k = c();
    if (_e->isOutOfRange()) {
      double d = static_cast<double>(k);
      xv->setRange(_e->getFloatMin() - d, _e->getFloatMax() - d);
      _e->setRange(xv->getFloatMin() + d, xv->getFloatMax() + d);
      return;
    }
    xv->setRange(_e->getMin() - k, _e->getMax() - k);
    _e->setRange(xv->getMin() + k, xv->getMax() + k);
    scan(_e, [&](QrcInt v) { return !xv->isInDomain(v - k); });
    scan(xv, [&](QrcInt w) { return !_e->isInDomain(w + k); });
  }
  void operandSide() override {
    QrcIntExpI* xv = x();
    QrcInt k = c();
    if (_e->isOutOfRange()) {
      double d = static_cast<double>(k);
      _e->setRange(xv->getFloatMin() + d, xv->getFloatMax() + d);
      return;
    }
    _e->setOperandsRange(_e->getMin(), _e->getMax());
    _e->setRange(xv->getMin() + k, xv->getMax() + k);
    forRemoved(xv, [&](QrcInt a, QrcInt b) { removeSpan(_e, a + k, b + k); });
  }
  void nodeSide() override {
    QrcIntExpI* xv = x();
    QrcInt k = c();
    if (_e->isOutOfRange()) {
      double d = static_cast<double>(k);
      xv->setRange(_e->getFloatMin() - d, _e->getFloatMax() - d);
      return;
    }
    xv->setRange(_e->getMin() - k, _e->getMax() - k);
    forRemoved(_e, [&](QrcInt a, QrcInt b) { removeSpan(xv, a - k, b - k); });
  }
};

// e = c - x (and -x).
class QrcIntSubConstraintI : public QrcIntLinkConstraintI {
  QRCLIBRARYCLASS(QrcIntSubConstraintI)
 public:
  using QrcIntLinkConstraintI::QrcIntLinkConstraintI;
  const char* kind() const override { return "QrcIntSub"; }
  QrcInt offsetSign() const override { return -1; }
  void full() override {
    QrcIntExpI* xv = x();
    QrcInt k = c();
    if (_e->isOutOfRange()) {
      double d = static_cast<double>(k);
      xv->setRange(d - _e->getFloatMax(), d - _e->getFloatMin());
      _e->setRange(d - xv->getFloatMax(), d - xv->getFloatMin());
      return;
    }
    xv->setRange(k - _e->getMax(), k - _e->getMin());
    _e->setRange(k - xv->getMax(), k - xv->getMin());
    scan(_e, [&](QrcInt v) { return !xv->isInDomain(k - v); });
    scan(xv, [&](QrcInt w) { return !_e->isInDomain(k - w); });
  }
  void operandSide() override {
    QrcIntExpI* xv = x();
    QrcInt k = c();
    if (_e->isOutOfRange()) {
      double d = static_cast<double>(k);
      _e->setRange(d - xv->getFloatMax(), d - xv->getFloatMin());
      return;
    }
    _e->setOperandsRange(_e->getMin(), _e->getMax());
    _e->setRange(k - xv->getMax(), k - xv->getMin());
    forRemoved(xv, [&](QrcInt a, QrcInt b) { removeSpan(_e, k - b, k - a); });
  }
  void nodeSide() override {
    QrcIntExpI* xv = x();
    QrcInt k = c();
    if (_e->isOutOfRange()) {
      double d = static_cast<double>(k);
      xv->setRange(d - _e->getFloatMax(), d - _e->getFloatMin());
      return;
    }
    xv->setRange(k - _e->getMax(), k - _e->getMin());
    forRemoved(_e, [&](QrcInt a, QrcInt b) { removeSpan(xv, k - b, k - a); });
  }
};

void absBounds(QrcIntExpI* x, QrcInt& lo, QrcInt& hi) {
  QrcInt a = x->getMin(), b = x->getMax();
  if (a >= 0) {
    lo = a;
    hi = b;
  } else if (b <= 0) {
    lo = -b;
    hi = -a;
  } else {
    hi = mx(b, -a);
    lo = x->isInDomain(0) ? 0 : mn(x->getNextHigher(-1), -x->getNextLower(1));
  }
}

// e = abs(x).
class QrcIntAbsConstraintI : public QrcIntLinkConstraintI {
  QRCLIBRARYCLASS(QrcIntAbsConstraintI)
 public:
  using QrcIntLinkConstraintI::QrcIntLinkConstraintI;
  const char* kind() const override { return "QrcIntAbs"; }
  void step12() {
    _e->setOperandsRange(_e->getMin(), _e->getMax());
    QrcInt lo, hi;
    absBounds(x(), lo, hi);
    _e->setRange(lo, hi);
  }
  void full() override {
    QrcIntExpI* xv = x();
    step12();
    scan(_e, [&](QrcInt v) { return !xv->isInDomain(v) && !xv->isInDomain(-v); });
    scan(xv, [&](QrcInt w) { return !_e->isInDomain(w < 0 ? -w : w); });
  }
  void operandSide() override {
    QrcIntExpI* xv = x();
    step12();
    QrcInt steps = StepBudget;
    forRemoved(xv, [&](QrcInt a, QrcInt b) {
      forUnsupported(xv, a, b, steps, [&](QrcInt g, QrcInt h) { removeSpan(_e, g, h); });
    });
  }
  void nodeSide() override {
    QrcIntExpI* xv = x();
    QrcInt a = _e->getMin(), b = _e->getMax();
    xv->setRange(-b, b);
    if (a > 0) xv->removeRange(1 - a, a - 1);
    forRemoved(_e, [&](QrcInt g, QrcInt h) {
      removeSpan(xv, -h, -g);
      removeSpan(xv, g, h);
    });
  }
};

// e = x * x.
class QrcSquareConstraintI : public QrcIntLinkConstraintI {
  QRCLIBRARYCLASS(QrcSquareConstraintI)
 public:
  using QrcIntLinkConstraintI::QrcIntLinkConstraintI;
  const char* kind() const override { return "QrcSquare"; }
  void step2() {
    QrcIntExpI* xv = x();
    if (_e->isOutOfRange()) {
      double a = xv->getFloatMin(), b = xv->getFloatMax();
      if (a > 0)
        _e->setRange(a * a, b * b);
      else if (b < 0)
        _e->setRange(b * b, a * a);
      else
        _e->setRange(0.0, std::fmax(-a, b) * std::fmax(-a, b));
      return;
    }
    QrcInt a = xv->getMin(), b = xv->getMax();
    if (a >= 0)
      _e->setRange(sq(a), sq(b));
    else if (b > 0)
      _e->setRange(QrcInt(0), sq(mx(-a, b)));
    else
      _e->setRange(sq(b), sq(a));
  }
  void full() override {
    QrcIntExpI* xv = x();
    if (_e->getMax() < 0) fail();
    _e->setOperandsRange(_e->getMin(), _e->getMax());
    step2();
    if (_e->isOutOfRange()) return;
    scan(_e, [&](QrcInt v) {
      QrcInt r = isqrtFloor(v);
      return v < 0 || r * r != v || (!xv->isInDomain(r) && !xv->isInDomain(-r));
    });
    scan(xv, [&](QrcInt w) { return !_e->isInDomain(sq(w)); });
  }
  void operandSide() override {
    QrcIntExpI* xv = x();
    if (_e->isOutOfRange()) {
      step2();
      return;
    }
    _e->setOperandsRange(_e->getMin(), _e->getMax());
    step2();
    QrcInt steps = StepBudget;
    forRemoved(xv, [&](QrcInt a, QrcInt b) {
      forUnsupported(xv, a, b, steps, [&](QrcInt g, QrcInt h) {
        for (QrcInt r = g; r <= h && --steps >= 0; ++r) _e->removeValue(sq(r));
      });
    });
  }
  void nodeSide() override {
    QrcIntExpI* xv = x();
    _e->setOperandsRange(_e->getMin(), _e->getMax());
    // The roots of the squares in a removed interval form an interval.
    forRemoved(_e, [&](QrcInt g, QrcInt h) {
      if (h < 0) return;
      QrcInt lo = g <= 0 ? 0 : isqrtFloor(g - 1) + 1, hi = isqrtFloor(h);
      removeSpan(xv, lo, hi);
      removeSpan(xv, -hi, -lo);
    });
  }
};

template <class Ct>
QrcConstraintI* link(QrcUnaryExpI* e) {
  if (e->isVariable()) return nullptr;
  e->attachEventHandler();
  QrcManagerI* m = e->getManager();
  QrcConstraintI* ct = new (m) Ct(m, e);
  m->add(ct);
  return ct;
}

}  // namespace

QrcConstraintI* QrcIntAddI::makeEventHandlerConstraint() {
  return link<QrcIntAddConstraintI>(this);
}
QrcConstraintI* QrcIntSubI::makeEventHandlerConstraint() {
  return link<QrcIntSubConstraintI>(this);
}
QrcConstraintI* QrcIntAbsI::makeEventHandlerConstraint() {
  return link<QrcIntAbsConstraintI>(this);
}
QrcConstraintI* QrcSquareI::makeEventHandlerConstraint() {
  return link<QrcSquareConstraintI>(this);
}
