// All-different at four filter levels. Code that can fail keeps trivially
// destructible locals only.
#include "qrcalldiff.h"

#include <algorithm>
#include <ostream>

#include "qrcmatching.h"
#include "qrcoperands.h"

namespace {

QrcIntExpI** copyVars(QrcManagerI* m, QrcIntExpI* const* vars, QrcInt n) {
  QrcIntExpI** out =
      static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(void*)));
  for (QrcInt i = 0; i < n; ++i) out[i] = vars[i];
  return out;
}

class QrcAllDiffDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcAllDiffDemonI)
  QROSIMPLECLASS(QrcAllDiffDemonI, QrcDemonI)
 public:
  // Idle from the start: a value demon runs exactly when its list does, so its
  // first wake needs no trailed freshness.
  QrcAllDiffDemonI(QrcManagerI* m, QrcAllDiffConstraintI* ct, QrcIntExpI* x)
      : QrcDemonI(m, ct), _ct(ct), _x(x) {
    setState(Idle);
  }
  void propagate() override { _ct->valueRule(_x); }
  void display(std::ostream& os) const override { os << "QrcAllDiffDemon"; }

 private:
  QrcAllDiffConstraintI* _ct;
  QrcIntExpI* _x;
};

class QrcAllDiffRangeDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcAllDiffRangeDemonI)
  QROSIMPLECLASS(QrcAllDiffRangeDemonI, QrcDemonI)
 public:
  QrcAllDiffRangeDemonI(QrcManagerI* m, QrcConstraintI* ct) : QrcDemonI(m, ct) {}
  void propagate() override { _owner->push(); }
  void display(std::ostream& os) const override { os << "QrcAllDiffRangeDemon"; }
};

}  // namespace

// ---------------------------------------------------------------- constraint

QrcAllDiffConstraintI::QrcAllDiffConstraintI(QrcManagerI* manager, QrcIntExpI* const* vars,
                                             QrcInt n)
    : QrcConstraintWithFilterI(manager, QrcAllDiffKind, QrcMediumFilterLevel),
      _n(n),
      _vars(copyVars(manager, vars, n)),
      _done(manager, 0) {}

void QrcAllDiffConstraintI::post() {
  checkFilterLevel();
  for (QrcInt i = 0; i < _n; ++i)
    _vars[i]->whenValue(new (_manager) QrcAllDiffDemonI(_manager, this, _vars[i]));
}

void QrcAllDiffConstraintI::valueRule(QrcIntExpI* x) {
  QrcInt s = _done.getValue();
  if (s >= _n) return;
  QrcInt w = x->getMin();
  QrcIntExpI** vars = _vars;
  for (QrcInt i = s; i < _n; ++i) {
    QrcIntExpI* y = vars[i];
    if (y == x) {
      _done.set(_manager, s + 1);
      if (i != s) {
        vars[i] = vars[s];
        vars[s] = x;
      }
    } else if (w >= y->getMin() && w <= y->getMax()) {
      // A hole of a variable's domain: nothing to remove.
      const QrcIntSetI* d = y->getDomainSet();
      if (d && y->isVariable() && !d->containsInline(w)) continue;
      y->removeValue(w);
    }
  }
}

void QrcAllDiffConstraintI::propagate() {
  if (QrcHasRepeatedExpr(_manager, _vars, _n)) fail();
  for (QrcInt i = _done.getValue(); i < _n; ++i)
    if (_vars[i]->isBound()) valueRule(_vars[i]);
}

void QrcAllDiffConstraintI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
  } else {
    os << "QrcAllDiff(" << static_cast<const void*>(this) << ") {";
    for (QrcInt i = 0; i < _n; ++i) {
      _vars[i]->display(os);
      os << ", ";
    }
    os << "}";
  }
}

QrcBool QrcAllDiffConstraintI::isFalse() const {
  for (QrcInt i = 0; i < _n; ++i) {
    if (!_vars[i]->isBound()) continue;
    QrcInt v = _vars[i]->getMin();
    for (QrcInt j = i + 1; j < _n; ++j)
      if (_vars[j] != _vars[i] && _vars[j]->isBound() && _vars[j]->getMin() == v) return 1;
  }
  return 0;
}

QrcConstraintI* QrcAllDiffConstraintI::makeCopy(QrcManagerI* target) const {
  QrcIntExpI** vars = copyVars(target, _vars, _n);
  for (QrcInt i = 0; i < _n; ++i)
    vars[i] = static_cast<QrcIntExpI*>(_vars[i]->getCopyForManager(target));
  QrcAllDiffConstraintI* copy = new (target) QrcAllDiffConstraintI(target, vars, _n);
  copy->setFilterLevel(getFilterLevel());
  return copy;
}

QrcBool QrcAllDiffConstraintI::isFilterLevelSupported(QrcInt level) {
  switch (level) {
    case QrcLowFilterLevel:
    case QrcMediumFilterLevel:
      return 1;
    case QrcHighFilterLevel:
      addConstraint(new (_manager) QrcAllDiffRangeI(_manager, _vars, _n));
      return 1;
    case QrcFullFilterLevel:
      addConstraint(QrcMakeAllDiffDomain(_manager, _vars, _n));
      return 1;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- bounds

namespace {

inline bool isFixed(const QrcAllDiffRangeI::Entry& e) {
  return e.min == e.max;
}

}  // namespace

QrcAllDiffRangeI::QrcAllDiffRangeI(QrcManagerI* manager, QrcIntExpI* const* vars, QrcInt n)
    : QrcConstraintI(manager),
      _n(n),
      _vars(static_cast<Entry*>(
          manager->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(Entry)))),
      _values(static_cast<QrcInt*>(
          manager->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcInt)))),
      _sortStamp(0) {
  for (QrcInt i = 0; i < n; ++i) _vars[i] = Entry{vars[i], 0, 0};
}

void QrcAllDiffRangeI::post() {
  for (QrcInt i = 0; i < _n; ++i)
    _vars[i].x->whenRange(new (_manager) QrcAllDiffRangeDemonI(_manager, this));
}

void QrcAllDiffRangeI::propagate() {
  Entry* vars = _vars;
  QrcInt* values = _values;
  QrcInt n = _n;
  for (QrcInt i = 0; i < n; ++i) {
    vars[i].min = vars[i].x->getMin();
    vars[i].max = vars[i].x->getMax();
  }
  QrcInt m = collectThresholds();
  if (m == 0) return;
  sortByMin();
  QrcInt first = 0;
  while (first < n && isFixed(vars[first]) && vars[first].min > values[0]) ++first;
  QrcInt last = n - 1;
  while (last >= 0 && isFixed(vars[last])) --last;
  QrcInt prev = values[0] + 1;
  for (QrcInt k = 0; k < m; ++k) {
    QrcInt v = values[k];
    if (v == prev) continue;
    prev = v;
    while (first <= last && vars[first].min > v) ++first;
    sweepThreshold(v, first, last);
  }
}

QrcInt QrcAllDiffRangeI::collectThresholds() {
  QrcInt* values = _values;
  QrcInt m = 0;
  for (QrcInt i = 0; i < _n; ++i) {
    const Entry& e = _vars[i];
    if (isFixed(e)) continue;
    if (m == 0 || values[m - 1] != e.max) values[m++] = e.max;
  }
  if (m >= 2) std::sort(values, values + m, [](QrcInt a, QrcInt b) { return a > b; });
  return m;
}

void QrcAllDiffRangeI::sortByMin() {
  Entry* vars = _vars;
  QrcInt n = _n;
  // A full sort after a failure, else the order of the last call is nearly
  // right.
  QrcInt stamp = _manager->getFailStamp();
  if (stamp != _sortStamp) {
    _sortStamp = stamp;
    std::sort(vars, vars + n, [](const Entry& a, const Entry& b) { return a.min > b.min; });
    return;
  }
  for (QrcInt i = 1; i < n; ++i) {
    Entry e = vars[i];
    QrcInt j = i;
    for (; j > 0 && vars[j - 1].min < e.min; --j) vars[j] = vars[j - 1];
    vars[j] = e;
  }
}

// Each narrowing is made on the variable at once and on the entry's bounds,
// which alone the scan reads; a hole counts on the entry only where it cuts
// the minimum.
void QrcAllDiffRangeI::sweepThreshold(QrcInt v, QrcInt first, QrcInt last) {
  Entry* vars = _vars;
  QrcInt c = 0, low = 0, hall = -1, cur = v, r = last;
  for (QrcInt i = first; i <= last; ++i) {
    Entry& e = vars[i];
    QrcInt d = cur - e.min;
    if (e.max > v) {
      if (hall >= 0) {
        e.x->removeRange(low, v);
        if (e.min >= low && e.min <= v) e.min = v + 1;
      }
    } else {
      if (hall >= 0) {
        e.x->setRange(e.min, low - 1);
        e.max = std::min(e.max, low - 1);
      }
      if (d == 0) {
        low = e.min;
        if (hall < 0) {
          hall = i;
          if (i - first > c)
            for (QrcInt j = first; j < i; ++j) {
              Entry& y = vars[j];
              if (y.max > v && y.min <= v) {
                y.x->setMin(v + 1);
                y.min = v + 1;
              }
            }
        }
      }
      ++c;
      --cur;
      --d;
    }
    if (hall < 0 && d >= r) return;
    --r;
  }
}

// ---------------------------------------------------------------- creation

namespace {

QrcAllDiffConstraintI* makeAllDiff(const QrcIntVarArray& array) {
  QrcIntVarArrayI* a = array.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcAllDiff");
  QrcCheckOperands("QrcAllDiff", {a});
  QrcManagerI* m = a->getManager();
  QrcInt n = a->getSize();
  QrcIntExpI** vars =
      static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(void*)));
  for (QrcInt i = 0; i < n; ++i) vars[i] = a->getVar(i);
  return new (m) QrcAllDiffConstraintI(m, vars, n);
}

}  // namespace

QrcConstraint QrcAllDiff(const QrcIntVarArray& vars) {
  return QrcConstraint(makeAllDiff(vars));
}

QrcConstraint QrcAllDiff(const QrcIntVarArray& vars, QrcFilterLevel level) {
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) {
    QrcManagerI* m = vars.getImpl() ? vars.getImpl()->getManager() : nullptr;
    // Code 44 gives its message first, then the function.
    QrcGetErrorReporter(m)->report(QrcBadEventError, "bad event", "QrcAllDiff",
                                   static_cast<QrcInt>(level));
    return QrcConstraint();
  }
  QrcAllDiffConstraintI* ct = makeAllDiff(vars);
  ct->setFilterLevel(level);
  return QrcConstraint(ct);
}
