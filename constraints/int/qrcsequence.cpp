// Sequence by decomposition into abstracted windows and distributes, with the
// window links of level 3. Code that can fail keeps trivially destructible
// locals only.
#include "qrcoperands.h"
#include "qrcsequence.h"

#include <algorithm>
#include <ostream>

#include "qrcabstraction.h"
#include "qrcdistribute.h"
#include "qrcintarith.h"

namespace {

// A window's first or last abstracted variable and its value d; the variable
// is out when bound to d and can be out while d is in its domain.
struct Side {
  QrcIntExpI* y;
  QrcInt d;
  bool out() const { return y->isBound() && y->getMin() == d; }
  bool canBeOut() const { return y->isInDomain(d); }
  void setOut() const { y->setValue(d); }
  void setIn() const { y->removeValue(d); }
};

class QrcSequenceLinkDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcSequenceLinkDemonI)
  QROSIMPLECLASS(QrcSequenceLinkDemonI, QrcDemonI)
 public:
  QrcSequenceLinkDemonI(QrcManagerI* m, QrcIntExpI* delta, Side first, Side last)
      : QrcDemonI(m), _delta(delta), _first(first), _last(last) {}

 protected:
  QrcIntExpI* _delta;
  Side _first;
  Side _last;
};

#define QRC_SEQUENCE_DEMON(Name, Text)                             \
  class Name : public QrcSequenceLinkDemonI {                      \
    QRCLIBRARYCLASS(Name)                                          \
    QROSIMPLECLASS(Name, QrcSequenceLinkDemonI)                    \
   public:                                                         \
    Name(QrcManagerI* m, QrcIntExpI* delta, Side first, Side last) \
        : QrcSequenceLinkDemonI(m, delta, first, last) {}          \
    void propagate() override;                                     \
    void display(std::ostream& os) const override { os << Text; }  \
  };

// delta = out(A) - out(B). B is A plus last: delta = -out(last).
QRC_SEQUENCE_DEMON(QrcSequenceConstraintIAlphaAPropagationI,
                   "QrcSequenceConstraintIAlphaAPropagation")
// B is A less first: delta = out(first).
QRC_SEQUENCE_DEMON(QrcSequenceConstraintIAlphaBPropagationI,
                   "QrcSequenceConstraintIAlphaBPropagation")
// A true shift: delta = out(first) - out(last).
QRC_SEQUENCE_DEMON(QrcSequenceConstraintIAlphaABPropagationI,
                   "QrcSequenceConstraintIAlphaABPropagation")
// The one variable that the windows do not share (held in first).
QRC_SEQUENCE_DEMON(QrcSequenceConstraintIVarPropagationI, "QrcSequenceConstraintIVarPropagation")
QRC_SEQUENCE_DEMON(QrcSequenceConstraintIVarFXPropagationI,
                   "QrcSequenceConstraintIVarFXPropagation")
QRC_SEQUENCE_DEMON(QrcSequenceConstraintIVarLYPropagationI,
                   "QrcSequenceConstraintIVarLYPropagation")

#undef QRC_SEQUENCE_DEMON

void QrcSequenceConstraintIAlphaAPropagationI::propagate() {
  if (!_delta->isBound()) return;
  if (_delta->getMin() == -1)
    _last.setOut();
  else
    _last.setIn();
}

void QrcSequenceConstraintIAlphaBPropagationI::propagate() {
  if (!_delta->isBound()) return;
  if (_delta->getMin() == 1)
    _first.setOut();
  else
    _first.setIn();
}

void QrcSequenceConstraintIAlphaABPropagationI::propagate() {
  if (!_delta->isBound()) return;
  QrcInt v = _delta->getMin();
  if (v == -1) {
    _first.setIn();
    _last.setOut();
  } else if (v == 1) {
    _first.setOut();
    _last.setIn();
  } else {
    if (_first.canBeOut() && _first.out()) _last.setOut();
    if (!_first.canBeOut()) _last.setIn();
    if (!_last.canBeOut())
      _first.setIn();
    else if (_last.out())
      _first.setOut();
  }
}

void QrcSequenceConstraintIVarPropagationI::propagate() {
  if (!_first.canBeOut())
    _delta->setValue(0);
  else if (_first.out())
    _delta->removeValue(0);
}

void QrcSequenceConstraintIVarFXPropagationI::propagate() {
  if (_first.out()) _delta->removeValue(-1);
  if (!_first.canBeOut()) _delta->removeValue(1);
  if (_delta->isBound() && _delta->getMin() == 0) {
    if (_first.out()) _last.setOut();
    if (!_first.canBeOut()) _last.setIn();
  }
}

void QrcSequenceConstraintIVarLYPropagationI::propagate() {
  if (_last.out()) _delta->removeValue(1);
  if (!_last.canBeOut()) _delta->removeValue(-1);
  if (_delta->isBound() && _delta->getMin() == 0) {
    if (_last.out()) _first.setOut();
    if (!_last.canBeOut()) _first.setIn();
  }
}

// The k abstract values of the windows of a phase, each window its own,
// none in V and all within the integer limits: above the largest value of x
// and V when they fit there, else below the smallest; else the smallest
// values that V lacks (a variable of x may then take one: the abstraction
// stays exact, since the value is outside V).
QrcInt* abstractValues(QrcManagerI* m, QrcInt k, QrcInt bottom, QrcInt top,
                       const QrcIntArray& values) {
  QrcInt* d =
      static_cast<QrcInt*>(m->allocate(static_cast<size_t>(k > 0 ? k : 1) * sizeof(QrcInt)));
  if (top <= QrcIntMax - k) {
    for (QrcInt j = 0; j < k; ++j) d[j] = top + 1 + j;
    return d;
  }
  if (bottom >= QrcIntMin + k) {
    for (QrcInt j = 0; j < k; ++j) d[j] = bottom - 1 - j;
    return d;
  }
  QrcInt size = values.getSize();
  QrcInt* sorted =
      static_cast<QrcInt*>(m->allocate(static_cast<size_t>(size > 0 ? size : 1) * sizeof(QrcInt)));
  std::copy(values.getImpl(), values.getImpl() + size, sorted);
  std::sort(sorted, sorted + size);
  QrcInt v = QrcIntMin, p = 0;
  for (QrcInt j = 0; j < k; ++v) {
    while (p < size && sorted[p] < v) ++p;
    if (p == size || sorted[p] != v) d[j++] = v;
  }
  return d;
}

QrcIntVarArray copyOf(const QrcIntVarArray& a, QrcManagerI* t) {
  return QrcIntVarArray(a.getImpl() ? a.getImpl()->copyForManager(t) : nullptr);
}

}  // namespace

QrcSequenceConstraintI::QrcSequenceConstraintI(QrcManagerI* m, QrcInt lo, QrcInt hi, QrcInt w,
                                               const QrcIntVarArray& x, const QrcIntArray& values,
                                               const QrcIntVarArray& cards)
    : QrcConstraintWithFilterI(m, QrcSequenceKind, QrcMediumFilterLevel),
      _lo(lo),
      _hi(hi),
      _w(w),
      _x(x.getImpl() ? x : QrcIntVarArray(QrcManager(m), 0)),
      _values(values),
      _cards(cards.getImpl() ? cards : QrcIntVarArray(QrcManager(m), 0)),
      _phases(nullptr),
      _counts(nullptr),
      _linked(0) {}

void QrcSequenceConstraintI::addWindow(QrcSequenceWindow& rec, QrcInt first, QrcInt size,
                                       QrcInt outMin, QrcInt outMax, QrcInt d) {
  QrcIntVarArray window(_x.getImpl()->extract(first, size));
  QrcIntVarArray ys = QrcAbstractionArray(window, _values, d);
  rec.ys = ys.getImpl();
  rec.out = QrcIntVar(QrcManager(_manager), outMin, outMax).getImpl();
  rec.d = d;
}

void QrcSequenceConstraintI::post() {
  QrcInt level = getFilterLevel();
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) checkFilterLevel();  // error 70
  if (_w < 1) {
    addSubConstraint(static_cast<QrcConstraintWithFilterI*>(
        QrcDistribute(_cards, _values, _x, level, 1).getImpl()));
    checkFilterLevel();
    return;
  }
  QrcInt n = _x.getSize(), w = _w;
  // Phase n + 1 would lead with a window longer than x: the extraction's
  // error, before anything is allocated per phase.
  if (w > n + 1) {
    _manager->getErrorReporter()->report(QrcBadArraySizeError, "extract", "bad array size", n + 1);
    return;
  }
  // Counts beyond [0, w] bound no more than -1 and w + 1 do; clamped, the
  // bounds of the out-counts stay within the integer range.
  QrcInt lo = std::min(std::max(_lo, QrcInt(-1)), w + 1);
  QrcInt hi = std::min(std::max(_hi, QrcInt(-1)), w + 1);
  QrcInt top = 0, bottom = 0;
  valueSpan(&bottom, &top);
  QrcInt most = countWindows();
  buildPhases(lo, hi, abstractValues(_manager, most, bottom, top, _values));
  for (QrcInt t = 0; t < w; ++t) postPhase(t, level);
  checkFilterLevel();
}

void QrcSequenceConstraintI::valueSpan(QrcInt* bottom, QrcInt* top) const {
  QrcInt n = _x.getSize(), m = _values.getSize();
  bool any = false;
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* v = _x.getImpl()->getVar(i);
    if (!any || v->getMax() > *top) *top = v->getMax();
    if (!any || v->getMin() < *bottom) *bottom = v->getMin();
    any = true;
  }
  for (QrcInt j = 0; j < m; ++j) {
    if (!any || _values[j] > *top) *top = _values[j];
    if (!any || _values[j] < *bottom) *bottom = _values[j];
    any = true;
  }
}

QrcInt QrcSequenceConstraintI::countWindows() {
  QrcInt n = _x.getSize(), w = _w;
  _counts = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(w) * sizeof(QrcInt)));
  QrcInt most = 0;
  for (QrcInt t = 0; t < w; ++t) {
    QrcInt s = n - t;
    _counts[t] = s / w + (t > 0) + (s % w != 0);
    if (_counts[t] > most) most = _counts[t];
  }
  return most;
}

void QrcSequenceConstraintI::buildPhases(QrcInt lo, QrcInt hi, const QrcInt* d) {
  QrcInt n = _x.getSize(), w = _w;
  _phases = static_cast<QrcSequenceWindow**>(
      _manager->allocate(static_cast<size_t>(w) * sizeof(QrcSequenceWindow*)));
  for (QrcInt t = 0; t < w; ++t) {
    QrcInt s = n - t, q = s / w, r = s % w;
    QrcSequenceWindow* recs = static_cast<QrcSequenceWindow*>(_manager->allocate(
        static_cast<size_t>(_counts[t] > 0 ? _counts[t] : 1) * sizeof(QrcSequenceWindow)));
    _phases[t] = recs;
    QrcInt j = 0;
    if (t > 0) {
      addWindow(recs[j], 0, t, t > hi ? t - hi : 0, w - lo, d[j]);
      ++j;
    }
    for (QrcInt k = 0; k < q; ++k, ++j) addWindow(recs[j], t + k * w, w, w - hi, w - lo, d[j]);
    if (r > 0) addWindow(recs[j], n - r, r, r > hi ? r - hi : 0, w - lo, d[j]);
  }
}

void QrcSequenceConstraintI::postPhase(QrcInt t, QrcInt level) {
  QrcManager h(_manager);
  QrcInt n = _x.getSize(), m = _values.getSize(), count = _counts[t];
  QrcIntVarArray ys(h, n), counts(h, count + m);
  QrcIntArray vals(h, count + m, QrcInt(0));
  QrcInt slot = 0;
  for (QrcInt k = 0; k < count; ++k) {
    const QrcSequenceWindow& rec = _phases[t][k];
    for (QrcInt i = 0; i < rec.ys->getSize(); ++i) ys.set(slot++, QrcIntExp(rec.ys->getVar(i)));
    vals[k] = rec.d;
    counts.set(k, QrcIntExp(rec.out));
  }
  for (QrcInt j = 0; j < m; ++j) {
    vals[count + j] = _values[j];
    counts.set(count + j, _cards[j]);
  }
  addSubConstraint(
      static_cast<QrcConstraintWithFilterI*>(QrcDistribute(counts, vals, ys, level, 1).getImpl()));
}

// The demons listen before delta is restricted, so that they hear the
// restriction; then each runs once, as delta may be bound and the window ends
// decided before the link is made, events no demon heard.
void QrcSequenceConstraintI::link(const QrcSequenceWindow& a, const QrcSequenceWindow& b) {
  QrcInt diff = a.ys->getSize() - b.ys->getSize();
  if (diff < -1 || diff > 1) return;
  QrcIntExpI* delta = QrcIntVar(QrcIntExp(a.out) - QrcIntExp(b.out)).getImpl();
  Side first = {a.ys->getVar(0), a.d};
  Side last = {b.ys->getVar(b.ys->getSize() - 1), b.d};
  QrcManagerI* m = _manager;
  QrcDemonI* alpha;
  QrcDemonI* onFirst = nullptr;
  QrcDemonI* onLast = nullptr;
  if (diff == -1) {
    alpha = new (m) QrcSequenceConstraintIAlphaAPropagationI(m, delta, first, last);
    onLast = new (m) QrcSequenceConstraintIVarPropagationI(m, delta, last, first);
  } else if (diff == 1) {
    alpha = new (m) QrcSequenceConstraintIAlphaBPropagationI(m, delta, first, last);
    onFirst = new (m) QrcSequenceConstraintIVarPropagationI(m, delta, first, last);
  } else {
    alpha = new (m) QrcSequenceConstraintIAlphaABPropagationI(m, delta, first, last);
    onFirst = new (m) QrcSequenceConstraintIVarFXPropagationI(m, delta, first, last);
    onLast = new (m) QrcSequenceConstraintIVarLYPropagationI(m, delta, first, last);
  }
  delta->whenValue(alpha);
  if (onFirst) first.y->whenDomain(onFirst);
  if (onLast) last.y->whenDomain(onLast);
  delta->setRange(diff == 1 ? 0 : -1, diff == -1 ? 0 : 1);
  alpha->propagate();
  if (onFirst) onFirst->propagate();
  if (onLast) onLast->propagate();
}

void QrcSequenceConstraintI::installLinks() {
  if (_linked || !_counts || _w < 2) return;
  _manager->saveValue(&_linked);
  _linked = 1;
  QrcInt w = _w;
  for (QrcInt k = 0; k + 1 < _counts[1] && k < _counts[0]; ++k)
    link(_phases[0][k], _phases[1][k + 1]);
  for (QrcInt t = 1; t + 1 < w; ++t)
    for (QrcInt k = 0; k < _counts[t + 1] && k < _counts[t]; ++k)
      link(_phases[t][k], _phases[t + 1][k]);
  for (QrcInt k = 0; k < _counts[0] && k < _counts[w - 1]; ++k)
    link(_phases[w - 1][k], _phases[0][k]);
}

QrcBool QrcSequenceConstraintI::isFilterLevelSupported(QrcInt level) {
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) return 0;
  if (level == QrcFullFilterLevel) {
    propagateFilterLevel(QrcFullFilterLevel);
    installLinks();
  }
  return 1;
}

QrcConstraintI* QrcSequenceConstraintI::makeCopy(QrcManagerI* t) const {
  QrcSequenceConstraintI* copy = new (t)
      QrcSequenceConstraintI(t, _lo, _hi, _w, copyOf(_x, t), _values.copyFor(t), copyOf(_cards, t));
  copy->setFilterLevel(getFilterLevel());
  return copy;
}

QrcConstraint QrcSequence(QrcInt lo, QrcInt hi, QrcInt w, const QrcIntVarArray& x,
                          const QrcIntArray& values, const QrcIntVarArray& cards) {
  QrcCheckOperands("QrcSequence", {x, cards});
  QrcManagerI* m = x.getImpl()       ? x.getImpl()->getManager()
                   : cards.getImpl() ? cards.getImpl()->getManager()
                                     : values.getManager();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcSequence");
  if (cards.getSize() != values.getSize())
    m->getErrorReporter()->report(QrcBadArraySizeError, "QrcSequence", "bad array size",
                                  values.getSize());
  return QrcConstraint(new (m) QrcSequenceConstraintI(m, lo, hi, w, x, values, cards));
}
