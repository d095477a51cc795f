// Value and test abstractions. Code that can fail keeps trivially
// destructible locals only.
#include "qrcabstraction.h"

#include <algorithm>
#include <ostream>

#include "qrcdomainwalk.h"
#include "qrcoperands.h"

namespace {

QrcIntExpI* copyOf(QrcIntExpI* e, QrcManagerI* t) {
  return static_cast<QrcIntExpI*>(e->getCopyForManager(t));
}

QrcIntVarArray copyOf(const QrcIntVarArray& a, QrcManagerI* t) {
  return QrcIntVarArray(a.getImpl() ? a.getImpl()->copyForManager(t) : nullptr);
}

// The smallest value of x's domain for which f holds, or x's minimum - 1.
template <class F>
QrcInt firstWhere(QrcIntExpI* x, F f) {
  QrcInt hi = x->getMax();
  for (QrcInt v = x->getMin();; v = x->getNextHigher(v)) {
    if (f(v)) return v;
    if (v >= hi) return x->getMin() - 1;
  }
}

// The values of a constant set by position, increasing: a plain range gives
// its whole universe (its members are tested), a collection its elements.
struct SetScan {
  const QrcIntSetI* set;
  QrcInt count() const {
    const QrcIntCollectionI* c = set->getCollection();
    return c ? c->getSize() : set->getMax() - set->getMin() + 1;
  }
  QrcInt operator()(QrcInt k) const {
    const QrcIntCollectionI* c = set->getCollection();
    return c ? c->getElement(k)->value : set->getMin() + k;
  }
};

// Calls f(v) for each member v of the set in x's domain, increasing: costs
// the set's values within x's bounds, never the domain's width.
template <class F>
void forEachMemberIn(QrcIntExpI* x, const QrcIntSetI* set, F f) {
  SetScan scan{set};
  QrcInt count = scan.count(), hi = x->getMax();
  for (QrcInt k = qrcdomain::lowerBound(scan, count, x->getMin()); k < count; ++k) {
    QrcInt v = scan(k);
    if (v > hi) return;
    if (set->contains(v) && x->isInDomain(v)) f(v);
  }
}

// Restricts x to the n increasing values: one sparse restriction when the
// domain is wide, so that the width is not walked.
void restrictTo(QrcManagerI* m, QrcIntExpI* x, QrcInt n, QrcInt* values) {
  if (n == x->getSize()) return;
  if (n == 0) x->setMax(x->getMin() - 1);  // fails
  x->setDomain(n, values, new (m) QrcIntCollectionI(m, n, values, true));
}

#define QRC_ABSTRACTION_DEMON(Name, Text, Call)                   \
  template <class C>                                              \
  class Name : public QrcDemonI {                                 \
    QRCLIBRARYCLASS(Name)                                         \
    QROSIMPLECLASS(Name, QrcDemonI)                               \
   public:                                                        \
    Name(QrcManagerI* m, C* ct) : QrcDemonI(m, ct), _ct(ct) {}    \
    void propagate() override { _ct->Call(); }                    \
    void display(std::ostream& os) const override { os << Text; } \
                                                                  \
   private:                                                       \
    C* _ct;                                                       \
  };

QRC_ABSTRACTION_DEMON(QrcAbstractVarXDemonI, "QrcAbstractVarXDemon", xChanged)
QRC_ABSTRACTION_DEMON(QrcAbstractVarYDemonI, "QrcAbstractVarYDemon", yChanged)
QRC_ABSTRACTION_DEMON(QrcAbstractIntVarXDemonI, "QrcAbstractIntVarXDemon", xChanged)
QRC_ABSTRACTION_DEMON(QrcAbstractIntVarTFDemonI, "QrcAbstractIntVarTFDemon", bBound)

#undef QRC_ABSTRACTION_DEMON

}  // namespace

QrcIntSetI* QrcMakeValueSet(QrcManagerI* m, QrcInt n, const QrcInt* values) {
  if (n <= 0) return new (m) QrcIntSetI(m, 0, 0, 0, 0);
  QrcInt lo = *std::min_element(values, values + n), hi = *std::max_element(values, values + n);
  // Range-backed while the span is below ten times the count; the span of
  // values near both integer limits exceeds 64 bits.
  unsigned __int128 span =
      static_cast<unsigned __int128>(static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo)) + 1;
  if (span < static_cast<unsigned __int128>(n) * 10)
    return new (m) QrcIntSetI(m, lo, hi, n, values, 0);
  QrcIntCollectionI* coll = new (m) QrcIntCollectionI(m, n, values, false);
  return new (m) QrcIntSetI(coll, 1, 0, 0);
}

// ---------------------------------------------------------------- value abstraction

QrcAbstractVarI::QrcAbstractVarI(QrcManagerI* m, QrcIntExpI* y, QrcIntExpI* x, QrcIntSetI* set,
                                 QrcInt a)
    : QrcConstraintI(m),
      _y(QrcIntVar(y).getImpl()),
      _x(QrcIntVar(x).getImpl()),
      _set(set),
      _a(a),
      _outside(x->getMin() - 1) {}

// The first narrowing is the propagation that follows, once the demons
// listen: a wide domain narrowed to the set is reported as its gaps.
void QrcAbstractVarI::post() {
  _x->whenDomain(new (_manager) QrcAbstractVarXDemonI<QrcAbstractVarI>(_manager, this));
  _y->whenDomain(new (_manager) QrcAbstractVarYDemonI<QrcAbstractVarI>(_manager, this));
}

inline bool QrcAbstractVarI::inSet(QrcInt v) const {
  return _set->contains(v);
}

bool QrcAbstractVarI::hasOutside() {
  if (_x->isInDomain(_outside) && !inSet(_outside)) return true;
  _outside = firstWhere(_x, [this](QrcInt v) { return !inSet(v); });
  return _outside >= _x->getMin();
}

bool QrcAbstractVarI::supportsA() {
  return hasOutside() || (inSet(_a) && _x->isInDomain(_a));
}

// x keeps its values of the set that y holds.
void QrcAbstractVarI::restrictX() {
  QrcInt n = 0;
  forEachMemberIn(_x, _set, [&](QrcInt v) { n += _y->isInDomain(v); });
  QrcInt* kept = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(n + 1) * 8));
  QrcInt k = 0;
  forEachMemberIn(_x, _set, [&](QrcInt v) {
    if (_y->isInDomain(v)) kept[k++] = v;
  });
  restrictTo(_manager, _x, n, kept);
}

// The values that matter are the set's and a: the domains are read through
// them, and cut down in one restriction each.
void QrcAbstractVarI::propagate() {
  bool keepA = _y->isInDomain(_a);
  QrcInt n = keepA;
  forEachMemberIn(_y, _set, [&](QrcInt v) { n += v != _a && _x->isInDomain(v); });
  if (n < _y->getSize()) {
    QrcInt* kept = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(n + 1) * 8));
    QrcInt k = 0;
    forEachMemberIn(_y, _set, [&](QrcInt v) {
      if (keepA && _a < v && (k == 0 || kept[k - 1] < _a)) kept[k++] = _a;
      if (v != _a && _x->isInDomain(v)) kept[k++] = v;
    });
    if (keepA && (k == 0 || kept[k - 1] < _a)) kept[k++] = _a;
    restrictTo(_manager, _y, k, kept);
  }
  if (_y->isInDomain(_a) && !supportsA()) _y->removeValue(_a);
  if (!_y->isInDomain(_a)) {
    restrictX();
    return;
  }
  // Values outside the set stand for a, which y holds: only members can go.
  forEachMemberIn(_x, _set, [&](QrcInt v) {
    if (!_y->isInDomain(v)) _x->removeValue(v);
  });
}

void QrcAbstractVarI::xChanged() {
  if (!_x->isProcessing()) return;
  SetScan scan{_set};
  qrcdomain::forEachLostValue(_x, scan, scan.count(), [this](QrcInt v) {
    if (v != _a && inSet(v)) _y->removeValue(v);
    return true;
  });
  if (_y->isInDomain(_a) && !supportsA()) _y->removeValue(_a);
}

void QrcAbstractVarI::yChanged() {
  if (!_y->isProcessing()) return;
  if (_y->isInDelta(_a)) {
    restrictX();
    return;
  }
  SetScan scan{_set};
  qrcdomain::forEachLostValue(_y, scan, scan.count(), [this](QrcInt v) {
    if (v != _a && inSet(v)) _x->removeValue(v);
    return true;
  });
}

QrcConstraintI* QrcAbstractVarI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcAbstractVarI(t, copyOf(_y, t), copyOf(_x, t), _set->copyFor(t), _a);
}

// ---------------------------------------------------------------- test abstraction

QrcAbstractIntVarI::QrcAbstractIntVarI(QrcManagerI* m, QrcIntExpI* b, QrcIntExpI* x,
                                       QrcIntSetI* set)
    : QrcConstraintI(m),
      _b(b),
      _x(x),
      _set(set),
      _inside(x->getMin() - 1),
      _outside(x->getMin() - 1) {}

void QrcAbstractIntVarI::post() {
  _x->whenDomain(new (_manager) QrcAbstractIntVarXDemonI<QrcAbstractIntVarI>(_manager, this));
  _b->whenValue(new (_manager) QrcAbstractIntVarTFDemonI<QrcAbstractIntVarI>(_manager, this));
}

inline bool QrcAbstractIntVarI::inSet(QrcInt v) const {
  return _set->contains(v);
}

bool QrcAbstractIntVarI::findInside() {
  if (_x->isInDomain(_inside) && inSet(_inside)) return true;
  // Through the set's values, not the domain's.
  _inside = _x->getMin() - 1;
  bool found = false;
  forEachMemberIn(_x, _set, [&](QrcInt v) {
    if (!found) _inside = v;
    found = true;
  });
  return found;
}

bool QrcAbstractIntVarI::findOutside() {
  if (_x->isInDomain(_outside) && !inSet(_outside)) return true;
  _outside = firstWhere(_x, [this](QrcInt v) { return !inSet(v); });
  return _outside >= _x->getMin();
}

void QrcAbstractIntVarI::bBound() {
  if (_b->getMin() == 1)
    _x->setDomain(_set);
  else
    _x->removeDomain(_set);
}

void QrcAbstractIntVarI::propagate() {
  if (_b->isBound()) bBound();
  if (!findInside()) _b->setValue(0);
  if (!findOutside()) _b->setValue(1);
}

void QrcAbstractIntVarI::xChanged() {
  if (!findInside()) {
    _b->setValue(0);
    return;
  }
  if (!findOutside()) _b->setValue(1);
}

QrcConstraintI* QrcAbstractIntVarI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcAbstractIntVarI(t, copyOf(_b, t), copyOf(_x, t), _set->copyFor(t));
}

// ---------------------------------------------------------------- arrays

QrcEqAbstractionI::QrcEqAbstractionI(QrcManagerI* m, const QrcIntVarArray& ys,
                                     const QrcIntVarArray& xs, QrcIntSetI* set, QrcInt a)
    : QrcConstraintI(m), _ys(ys), _xs(xs), _set(set), _a(a) {}

void QrcEqAbstractionI::post() {
  for (QrcInt i = 0; i < _xs.getSize(); ++i)
    addConstraint(new (_manager) QrcAbstractVarI(_manager, _ys.getImpl()->getVar(i),
                                                 _xs.getImpl()->getVar(i), _set, _a));
}

QrcConstraintI* QrcEqAbstractionI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqAbstractionI(t, copyOf(_ys, t), copyOf(_xs, t), _set->copyFor(t), _a);
}

QrcEqIntAbstractionI::QrcEqIntAbstractionI(QrcManagerI* m, const QrcIntVarArray& bs,
                                           const QrcIntVarArray& xs, QrcIntSetI* set)
    : QrcConstraintI(m), _bs(bs), _xs(xs), _set(set) {}

void QrcEqIntAbstractionI::post() {
  for (QrcInt i = 0; i < _xs.getSize(); ++i) {
    QrcIntExpI* x = _xs.getImpl()->getVar(i);
    QrcManagerI* m = x->getManager();
    addConstraint(new (m) QrcAbstractIntVarI(m, _bs.getImpl()->getVar(i), x, _set));
  }
}

QrcConstraintI* QrcEqIntAbstractionI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqIntAbstractionI(t, copyOf(_bs, t), copyOf(_xs, t), _set->copyFor(t));
}

namespace {

// The manager of the arrays; error 5 from place when their sizes differ.
QrcManagerI* checkedManager(const QrcIntVarArray& a, const QrcIntVarArray& xs,
                            const QrcIntArray& values, const char* place) {
  QrcManagerI* m = a.getImpl()    ? a.getImpl()->getManager()
                   : xs.getImpl() ? xs.getImpl()->getManager()
                                  : values.getManager();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (a.getSize() != xs.getSize())
    m->getErrorReporter()->report(QrcBadArraySizeError, place, "bad array size", xs.getSize());
  return m;
}

}  // namespace

QrcConstraint QrcEqAbstraction(const QrcIntVarArray& ys, const QrcIntVarArray& xs,
                               const QrcIntArray& values, QrcInt a) {
  QrcCheckOperands("QrcEqAbstraction", {ys, xs});
  QrcManagerI* m = checkedManager(ys, xs, values, "QrcEqAbstraction");
  QrcIntSetI* set = QrcMakeValueSet(m, values.getSize(), values.getImpl());
  return QrcConstraint(new (m) QrcEqAbstractionI(m, ys, xs, set, a));
}

QrcConstraint QrcEqIntAbstraction(const QrcIntVarArray& bs, const QrcIntVarArray& xs,
                                  const QrcIntArray& values) {
  QrcCheckOperands("QrcEqIntAbstraction", {bs, xs});
  QrcManagerI* m = checkedManager(bs, xs, values, "QrcEqIntAbstraction");
  QrcIntSetI* set = QrcMakeValueSet(m, values.getSize(), values.getImpl());
  return QrcConstraint(new (m) QrcEqIntAbstractionI(m, bs, xs, set));
}

QrcIntVarArray QrcAbstractionArray(const QrcIntVarArray& xs, const QrcIntArray& values, QrcInt a) {
  QrcCheckOperands("QrcAbstractionArray", {xs});
  QrcIntVarArrayI* xa = xs.getImpl();
  if (!xa) return QrcIntVarArray();
  QrcManagerI* m = xa->getManager();
  QrcManager h(m);
  QrcInt n = xa->getSize(), k = values.getSize();
  QrcIntVarArray ys(h, n);
  if (n == 0) return ys;
  QrcIntSetI* set = QrcMakeValueSet(m, k, values.getImpl());
  QrcIntArray domain(h, k + 1, QrcInt(0));
  for (QrcInt i = 0; i < k; ++i) domain[i] = values[i];
  domain[k] = a;
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntVar y(h, domain);
    ys.set(i, y);
    m->add(new (m) QrcAbstractVarI(m, y.getImpl(), xa->getVar(i), set, a));
  }
  return ys;
}
