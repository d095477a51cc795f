// Distribute: trailed counts per listed value (and for the values outside
// the list) that bound the cards, close a value that no further variable may
// take and fill one that every possible variable must take. Code that can
// fail keeps trivially destructible locals only.
#include "qrcdistribute.h"

#include <algorithm>
#include <ostream>

#include "qrcabstraction.h"
#include "qrcdomainwalk.h"
#include "qrcheaparray.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcmatching.h"
#include "qrcoperands.h"
#include "qrcsizealloc.h"

namespace {

// Marks a support that does not exist; no domain holds it.
const QrcInt NoValue = INT64_MIN;

class QrcDistributeVarDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcDistributeVarDemonI)
  QROSIMPLECLASS(QrcDistributeVarDemonI, QrcDemonI)
 public:
  QrcDistributeVarDemonI(QrcManagerI* m, QrcDistributeConstraintI* ct, QrcInt i)
      : QrcDemonI(m, ct), _ct(ct), _i(i) {}
  void propagate() override { _ct->varChanged(_i); }
  void display(std::ostream& os) const override { os << "QrcDistributeVarDemon"; }

 private:
  QrcDistributeConstraintI* _ct;
  QrcInt _i;
};

class QrcDistributeCardDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcDistributeCardDemonI)
  QROSIMPLECLASS(QrcDistributeCardDemonI, QrcDemonI)
 public:
  QrcDistributeCardDemonI(QrcManagerI* m, QrcDistributeConstraintI* ct, QrcInt j)
      : QrcDemonI(m, ct), _ct(ct), _j(j) {}
  void propagate() override { _ct->cardChanged(_j); }
  void display(std::ostream& os) const override { os << "QrcDistributeCardDemon"; }

 private:
  QrcDistributeConstraintI* _ct;
  QrcInt _j;
};

QrcIntVarArray copyOf(const QrcIntVarArray& a, QrcManagerI* t) {
  return QrcIntVarArray(a.getImpl() ? a.getImpl()->copyForManager(t) : nullptr);
}

}  // namespace

// ---------------------------------------------------------------- constraint

QrcDistributeConstraintI::QrcDistributeConstraintI(QrcManagerI* m, const QrcIntVarArray& cards,
                                                   const QrcIntArray& values,
                                                   const QrcIntVarArray& vars)
    : QrcConstraintWithFilterI(m, QrcDistributeKind, QrcMediumFilterLevel),
      _cards(cards),
      _ext(nullptr),
      _nCards(cards.getSize()),
      _values(values),
      _nVars(vars.getSize()),
      _vars(vars),
      _x(nullptr),
      _lower(allocArray<QrcInt>(m, cards.getSize() + 1)),
      _upper(allocArray<QrcInt>(m, cards.getSize() + 1)),
      _set(QrcMakeValueSet(m, cards.getSize(), values.getImpl())),
      _index(new (m) QrcIntMap(m)),
      _sorted(allocArray<QrcInt>(m, cards.getSize())),
      _nSorted(0),
      _firstListed(nullptr),
      _firstUnlisted(nullptr),
      _others(0),
      _firstPropagation(m, 0) {
  _ext = allocArray<QrcIntExpI*>(m, _nCards + 1);
  for (QrcInt j = 0; j < _nCards; ++j) {
    _ext[j] = cards.getImpl()->getVar(j);
    _index->add(values[j], j);
  }
  _ext[_nCards] = new (m) QrcIntExpI(m, 0, _nVars, nullptr);
  for (QrcInt j = 0; j < _nCards; ++j) _sorted[j] = values[j];
  std::sort(_sorted, _sorted + _nCards);
  _nSorted = std::unique(_sorted, _sorted + _nCards) - _sorted;
  _x = allocArray<QrcIntExpI*>(m, _nVars);
  // The demons read what each variable lost: an expression becomes a variable.
  for (QrcInt i = 0; i < _nVars; ++i) _x[i] = QrcIntVar(vars.getImpl()->getVar(i)).getImpl();
}

void QrcDistributeConstraintI::post() {
  QrcManager h(_manager);
  QrcIntVarArray ext(h, _nCards + 1);
  for (QrcInt j = 0; j <= _nCards; ++j) ext.set(j, QrcIntExp(_ext[j]));
  addConstraint((QrcSum(ext) <= _nVars).getImpl());
  for (QrcInt j = 0; j <= _nCards; ++j) {
    _lower[j] = 0;
    _upper[j] = _nVars;
  }
  for (QrcInt i = 0; i < _nVars; ++i)
    _x[i]->whenDomain(new (_manager) QrcDistributeVarDemonI(_manager, this, i));
  for (QrcInt j = 0; j < _nCards; ++j)
    _ext[j]->whenRange(new (_manager) QrcDistributeCardDemonI(_manager, this, j));
  checkFilterLevel();
}

inline bool QrcDistributeConstraintI::isListed(QrcInt v) const {
  return _set->contains(v);
}

// The first listed and unlisted values of a domain leap between its intervals
// and the sorted listed values: they cost those, never the domain's width.
QrcInt QrcDistributeConstraintI::firstListed(QrcIntExpI* x) const {
  const QrcInt* sorted = _sorted;
  QrcInt v;
  return qrcdomain::firstInside(
             x, [sorted](QrcInt k) { return sorted[k]; }, _nSorted, v)
             ? v
             : NoValue;
}

QrcInt QrcDistributeConstraintI::firstUnlisted(QrcIntExpI* x) const {
  const QrcInt* sorted = _sorted;
  QrcInt v;
  return qrcdomain::firstOutside(
             x, [sorted](QrcInt k) { return sorted[k]; }, _nSorted, v)
             ? v
             : NoValue;
}

void QrcDistributeConstraintI::detectOthers() {
  _manager->saveValue(&_others);
  _others = 0;
  for (QrcInt i = 0; i < _nVars && !_others; ++i)
    if (firstUnlisted(_x[i]) != NoValue) _others = 1;
  if (_others && !_firstListed) {
    // Trailed: backtracking over this point gives the heap memory back.
    _manager->saveValue(&_firstListed);
    _manager->saveValue(&_firstUnlisted);
    _firstListed = allocArray<QrcInt>(_manager, _nVars);
    _firstUnlisted = allocArray<QrcInt>(_manager, _nVars);
  }
}

void QrcDistributeConstraintI::setLower(QrcInt j, QrcInt v) {
  if (_lower[j] == v) return;
  _manager->saveValue(&_lower[j]);
  _lower[j] = v;
}

void QrcDistributeConstraintI::setUpper(QrcInt j, QrcInt v) {
  if (_upper[j] == v) return;
  _manager->saveValue(&_upper[j]);
  _upper[j] = v;
}

void QrcDistributeConstraintI::restrictCard(QrcInt j) {
  QrcIntExpI* card = _ext[j];
  card->setRange(_lower[j], _upper[j]);
  if (card->getMax() == _lower[j]) close(j);
  if (card->getMin() == _upper[j]) fill(j);
}

void QrcDistributeConstraintI::propagate() {
  if (_firstPropagation.getValue() == 0) {
    detectOthers();
    _firstPropagation.set(_manager, 1);
  }
  if (_others) {
    QrcInt noListed = 0, noUnlisted = 0;
    for (QrcInt i = 0; i < _nVars; ++i) {
      _firstListed[i] = firstListed(_x[i]);
      _firstUnlisted[i] = firstUnlisted(_x[i]);
      noListed += _firstListed[i] == NoValue;
      noUnlisted += _firstUnlisted[i] == NoValue;
    }
    setLower(_nCards, noListed);
    setUpper(_nCards, _nVars - noUnlisted);
  } else {
    setLower(_nCards, 0);
    setUpper(_nCards, 0);
  }
  for (QrcInt j = 0; j < _nCards; ++j) {
    QrcInt v = _values[j], lo = 0, up = _nVars;
    for (QrcInt i = 0; i < _nVars; ++i) {
      QrcIntExpI* x = _x[i];
      if (x->isBound()) {
        if (x->getMin() == v)
          ++lo;
        else
          --up;
      } else if (!x->isInDomain(v)) {
        --up;
      }
    }
    setLower(j, lo);
    setUpper(j, up);
  }
  for (QrcInt j = 0; j < _nCards; ++j) restrictCard(j);
  if (_others) restrictCard(_nCards);
}

void QrcDistributeConstraintI::raiseLower(QrcInt j) {
  setLower(j, _lower[j] + 1);
  QrcIntExpI* card = _ext[j];
  card->setMin(_lower[j]);
  if (card->getMax() == _lower[j]) close(j);
}

void QrcDistributeConstraintI::lowerUpper(QrcInt j) {
  setUpper(j, _upper[j] - 1);
  QrcIntExpI* card = _ext[j];
  card->setMax(_upper[j]);
  if (card->getMin() == _upper[j]) fill(j);
}

void QrcDistributeConstraintI::close(QrcInt j) {
  QrcInt count = 0;
  if (j < _nCards) {
    QrcInt v = _values[j];
    for (QrcInt i = 0; i < _nVars; ++i) {
      QrcIntExpI* x = _x[i];
      if (x->isBound() && x->getMin() == v)
        ++count;
      else
        x->removeValue(v);
    }
  } else {
    for (QrcInt i = 0; i < _nVars; ++i) {
      QrcIntExpI* x = _x[i];
      if (!x->isInDomain(_firstListed[i])) _firstListed[i] = firstListed(x);
      if (_firstListed[i] == NoValue) {
        ++count;
        continue;
      }
      x->setDomain(_set);
    }
  }
  if (count != _lower[j]) fail();
}

void QrcDistributeConstraintI::fill(QrcInt j) {
  QrcInt count = 0;
  if (j < _nCards) {
    QrcInt v = _values[j];
    for (QrcInt i = 0; i < _nVars; ++i) {
      QrcIntExpI* x = _x[i];
      if (!x->isInDomain(v)) continue;
      x->setValue(v);
      ++count;
    }
  } else {
    for (QrcInt i = 0; i < _nVars; ++i) {
      QrcIntExpI* x = _x[i];
      if (!x->isInDomain(_firstUnlisted[i])) _firstUnlisted[i] = firstUnlisted(x);
      if (_firstUnlisted[i] == NoValue) continue;
      x->removeDomain(_set);
      ++count;
    }
  }
  if (count != _upper[j]) fail();
}

void QrcDistributeConstraintI::varChanged(QrcInt i) {
  if (_state == Inactive) return;
  QrcIntExpI* x = _x[i];
  if (!x->isProcessing()) return;
  if (_others) {
    if (x->isInDelta(_firstListed[i])) {
      _firstListed[i] = firstListed(x);
      if (_firstListed[i] == NoValue) raiseLower(_nCards);
    }
    if (x->isInDelta(_firstUnlisted[i])) {
      _firstUnlisted[i] = firstUnlisted(x);
      if (_firstUnlisted[i] == NoValue) lowerUpper(_nCards);
    }
  }
  // The listed values lost, without walking the span the bounds went past.
  const QrcInt* sorted = _sorted;
  qrcdomain::forEachLostValue(
      x, [sorted](QrcInt k) { return sorted[k]; }, _nSorted,
      [this](QrcInt v) {
        QrcInt j = _index->get(v);
        if (j != QrcIntMapAbsent) lowerUpper(j);
        return true;
      });
  if (x->isBound()) {
    QrcInt j = _index->get(x->getMin());
    if (j != QrcIntMapAbsent) raiseLower(j);
  }
}

void QrcDistributeConstraintI::cardChanged(QrcInt j) {
  if (_state == Inactive) return;
  QrcIntExpI* card = _ext[j];
  if (card->getMin() == _upper[j])
    fill(j);
  else if (card->getMax() == _lower[j])
    close(j);
}

void QrcDistributeConstraintI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcDistribute(" << static_cast<const void*>(this) << ") ";
}

QrcConstraintI* QrcDistributeConstraintI::makeCopy(QrcManagerI* t) const {
  QrcDistributeConstraintI* copy =
      new (t) QrcDistributeConstraintI(t, copyOf(_cards, t), _values.copyFor(t), copyOf(_vars, t));
  copy->setFilterLevel(getFilterLevel());
  return copy;
}

QrcBool QrcDistributeConstraintI::isFilterLevelSupported(QrcInt level) {
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) return 0;
  if (level == QrcFullFilterLevel)
    addConstraint(new (_manager) QrcDistributeDomainI(_cards, _values, _vars, 3));
  return 1;
}

// ---------------------------------------------------------------- creation

void QrcDistributeCheckRepeatedValues(const QrcIntArray& values) {
  QrcInt n = values.getSize();
  for (QrcInt i = 0; i < n; ++i)
    for (QrcInt j = i + 1; j < n; ++j)
      if (values[i] == values[j])
        values.getManager()->getErrorReporter()->report(QrcRepeatedElementError, "QrcDistribute",
                                                        "repeated element in array", values[i]);
}

namespace {

QrcManagerI* managerOf(const QrcIntVarArray& cards, const QrcIntArray& values,
                       const QrcIntVarArray& vars) {
  QrcCheckOperands("QrcDistribute", {vars, cards});
  if (vars.getImpl()) return vars.getImpl()->getManager();
  if (cards.getImpl()) return cards.getImpl()->getManager();
  if (values.getImpl()) return values.getManager();
  QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcDistribute");
}

// Whether a occurs in arr at a position from first on.
bool occurs(QrcIntExpI* a, const QrcIntVarArray& arr, QrcInt first) {
  for (QrcInt k = first; k < arr.getSize(); ++k)
    if (arr.getImpl()->getVar(k) == a) return true;
  return false;
}

// A fresh variable over x's range, tied to x by an equality of domains added
// to the manager. (A copy of an expression would be a new tree over copies of
// its operands, which no goal labels: its count would go unchecked.)
QrcIntExpI* tiedCopy(QrcManagerI* m, QrcIntExpI* x) {
  if (!x->isVariable()) x->makeEventHandlerConstraint();
  QrcIntExpI* c = new (m) QrcIntExpI(m, x->getMin(), x->getMax(), nullptr);
  m->add(new (m) QrcEqConstraint(m, c, x));
  return c;
}

// Replaces repeated variables at their earlier positions by tied copies.
void separateSharedVars(QrcManagerI* m, QrcIntVarArray& cards, QrcIntVarArray& vars) {
  QrcInt nc = cards.getSize(), nv = vars.getSize();
  QrcIntExpI** all = allocArray<QrcIntExpI*>(m, nc + nv);
  for (QrcInt k = 0; k < nc; ++k) all[k] = cards.getImpl()->getVar(k);
  for (QrcInt k = 0; k < nv; ++k) all[nc + k] = vars.getImpl()->getVar(k);
  if (!QrcHasRepeatedExpr(m, all, nc + nv)) return;
  QrcManager h(m);
  QrcIntVarArray newVars(h, nv), newCards(h, nc);
  for (QrcInt i = 0; i < nv; ++i) {
    QrcIntExpI* x = vars.getImpl()->getVar(i);
    newVars.set(i, QrcIntExp(occurs(x, vars, i + 1) || occurs(x, cards, 0) ? tiedCopy(m, x) : x));
  }
  for (QrcInt i = 0; i < nc; ++i) {
    QrcIntExpI* c = cards.getImpl()->getVar(i);
    newCards.set(i, QrcIntExp(i + 1 < nc && occurs(c, cards, i + 1) ? tiedCopy(m, c) : c));
  }
  cards = newCards;
  vars = newVars;
}

QrcConstraint makeDistribute(QrcIntVarArray cards, const QrcIntArray& values, QrcIntVarArray vars,
                             bool hasLevel, QrcInt level, bool shortcut) {
  QrcManagerI* m = managerOf(cards, values, vars);
  if (shortcut && values.getSize() == 0) return QrcConstraint(m->getTrueConstraint());
  QrcErrorReporter* r = m->getErrorReporter();
  if (cards.getSize() != values.getSize())
    r->report(QrcBadArraySizeError, "QrcDistribute", "bad array size", values.getSize());
  if (values.countRepeated() > 0) QrcDistributeCheckRepeatedValues(values);
  if (hasLevel && (level < QrcLowFilterLevel || level > QrcFullFilterLevel)) {
    r->report(QrcBadEventError, "bad event", "QrcDistribute", level);  // message first
    return QrcConstraint();
  }
  QrcManager h(m);
  if (!cards.getImpl()) cards = QrcIntVarArray(h, 0);
  if (!vars.getImpl()) vars = QrcIntVarArray(h, 0);
  separateSharedVars(m, cards, vars);
  QrcDistributeConstraintI* ct = new (m) QrcDistributeConstraintI(m, cards, values, vars);
  if (hasLevel) ct->setFilterLevel(level);
  return QrcConstraint(ct);
}

QrcIntArray firstValues(QrcManagerI* m, QrcInt n) {
  QrcIntArray values(QrcManager(m), n, QrcInt(0));
  for (QrcInt i = 0; i < n; ++i) values[i] = i;
  return values;
}

}  // namespace

QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntArray& values,
                            const QrcIntVarArray& vars, QrcFilterLevel level) {
  return makeDistribute(cards, values, vars, true, level, true);
}

QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntArray& values,
                            const QrcIntVarArray& vars) {
  return makeDistribute(cards, values, vars, false, 0, true);
}

QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntVarArray& vars,
                            QrcFilterLevel level) {
  QrcManagerI* m = managerOf(cards, QrcIntArray(), vars);
  if (cards.getSize() == 0) return QrcConstraint(m->getTrueConstraint());
  return makeDistribute(cards, firstValues(m, cards.getSize()), vars, true, level, true);
}

QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntVarArray& vars) {
  QrcManagerI* m = managerOf(cards, QrcIntArray(), vars);
  if (cards.getSize() == 0) return QrcConstraint(m->getTrueConstraint());
  return makeDistribute(cards, firstValues(m, cards.getSize()), vars, false, 0, true);
}

QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntArray& values,
                            const QrcIntVarArray& vars, QrcFilterLevel level, QrcBool) {
  return makeDistribute(cards, values, vars, true, level, false);
}
