// Partition of a universe over an array of set variables, pairwise
// disjointness and the disjoint union. Code that can fail keeps trivially
// destructible locals only.
#include <algorithm>
#include <ostream>

#include "qrcdistribute.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcoperands.h"
#include "qrcsetcomposition.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_INDEX_DEMON(QrcPartitionVDemonI, "QrcPartitionVDemon", QrcPartitionI, propagateValue)
QRC_SET_INDEX_DEMON(QrcPartitionSDemonI, "QrcPartitionSDemon", QrcPartitionI, propagateSet)
QRC_SET_INDEX_DEMON(QrcAllNullIntersectDemonI, "QrcAllNullIntersectDemon", QrcAllNullIntersectI,
                    propagateSet)

// The members of an ordered set in index order.
QrcIntArray valuesOf(QrcManagerI* m, const QrcIntOrderedSetI* set) {
  QrcIntArray values(QrcManager(m), set->getSize(), QrcInt(0));
  for (QrcInt j = 0; j < set->getSize(); ++j) values[j] = set->getValue(j);
  return values;
}

QrcIntSetVarI** newSetVars(QrcManagerI* m, QrcInt n) {
  return static_cast<QrcIntSetVarI**>(m->allocate(static_cast<size_t>(n) * sizeof(QrcIntSetVarI*)));
}

}  // namespace

// ---------------------------------------------------------------- partition

QrcPartitionI::QrcPartitionI(QrcManagerI* m, QrcIntSetVarArrayI* sets, QrcIntOrderedSetI* universe,
                             QrcIntOrderedSetI* unionSet)
    : QrcConstraintWithFilterI(m, QrcPartitionKind, QrcMediumFilterLevel),
      _sets(sets),
      _n(sets->getSize()),
      _which(nullptr),
      _parts(nullptr),
      _rests(nullptr),
      _union(unionSet),
      _universe(universe) {}

bool QrcPartitionI::sameMembers() const {
  if (_universe == _union) return true;
  if (_universe->getSize() != _union->getSize()) return false;
  for (QrcInt j = 0; j < _universe->getSize(); ++j)
    if (!_union->contains(_universe->getValue(j))) return false;
  return true;
}

QrcInt QrcPartitionI::indexOf(QrcInt v) const {
  return _universe->getIndex(v);
}

void QrcPartitionI::post() {
  QrcManager mgr(_manager);
  QrcInt n = _n, count = _universe->getSize();
  if (n == 0) {
    if (count > 0) fail();
    return;
  }
  _manager->saveValue(&_which);
  _manager->saveValue(&_parts);
  _manager->saveValue(&_rests);
  _which = new (_manager) QrcIntVarArrayI(_manager, count);
  for (QrcInt j = 0; j < count; ++j)
    _which->elementAt(j) = new (_manager) QrcIntExpI(_manager, 0, n - 1, nullptr);
  _parts = newSetVars(_manager, n);
  if (sameMembers()) {
    for (QrcInt i = 0; i < n; ++i) _parts[i] = at(_sets, i);
  } else {
    // Each set is its part over the universe union its rest outside it.
    QrcIntArray values = valuesOf(_manager, _universe);
    _rests = newSetVars(_manager, n);
    QrcIntSetVarI* empty = new (_manager) QrcIntSetVarI(_manager, 0, 0, nullptr);
    addConstraint((QrcIntExp(empty->getCardinality()) == QrcInt(0)).getImpl());
    for (QrcInt i = 0; i < n; ++i) {
      QrcIntSetVarI* set = at(_sets, i);
      _parts[i] = QrcIntSetVar(mgr, values).getImpl();
      _rests[i] = new (_manager) QrcIntSetVarI(_manager, set->getPossible(), nullptr);
      addConstraint(QrcEqUnion(set, _parts[i], _rests[i], empty).getImpl());
    }
  }
  for (QrcInt j = 0; j < count; ++j)
    _which->getVar(j)->whenDomain(new (_manager) QrcPartitionVDemonI(_manager, this, j));
  for (QrcInt i = 0; i < n; ++i)
    _parts[i]->whenDomain(new (_manager) QrcPartitionSDemonI(_manager, this, i));
  if (count == 0) return;
  QrcIntVarArray cards(mgr, n);
  for (QrcInt i = 0; i < n; ++i) cards.set(i, QrcIntExp(_parts[i]->getCardinality()));
  QrcConstraintI* counts = QrcDistribute(cards, QrcIntVarArray(_which), getFilterLevel()).getImpl();
  if (counts) addSubConstraint(static_cast<QrcConstraintWithFilterI*>(counts));
}

void QrcPartitionI::propagate() {
  if (!_which) return;
  for (QrcInt j = 0; j < _universe->getSize(); ++j) {
    QrcInt u = _universe->getValue(j);
    QrcIntExpI* w = _which->getVar(j);
    for (QrcInt i = 0; i < _n; ++i) {
      QrcIntSetVarI* set = at(_sets, i);
      if (!set->isPossible(u))
        w->removeValue(i);
      else if (set->isRequired(u))
        w->setValue(i);  // required before the demons listened
    }
  }
  if (!_rests) return;
  for (QrcInt i = 0; i < _n; ++i)
    for (QrcInt j = 0; j < _universe->getSize(); ++j)
      _rests[i]->removePossible(_universe->getValue(j));
}

void QrcPartitionI::propagateValue(QrcInt j) {
  QrcIntExpI* w = _which->getVar(j);
  QrcInt u = _universe->getValue(j);
  if (w->isBound()) _parts[w->getMin()]->addRequired(u);
  if (!w->isProcessing()) return;
  QrcIntVarDeltaIterator it(w);
  QrcInt k;
  while (it.next(k))
    if (k >= 0 && k < _n) _parts[k]->removePossible(u);
}

void QrcPartitionI::propagateSet(QrcInt i) {
  QrcIntVarArrayI* which = _which;
  const QrcPartitionI* self = this;
  forEachRemoved(_parts[i], [which, self, i](QrcInt v) {
    QrcInt j = self->indexOf(v);
    if (j >= 0) which->getVar(j)->removeValue(i);
  });
  forEachAdded(_parts[i], [which, self, i](QrcInt v) {
    QrcInt j = self->indexOf(v);
    if (j >= 0) which->getVar(j)->setValue(i);
  });
}

QrcBool QrcPartitionI::isFilterLevelSupported(QrcInt level) {
  propagateFilterLevel(level);
  return 1;
}

QrcConstraintI* QrcPartitionI::makeCopy(QrcManagerI* t) const {
  QrcIntOrderedSetI* universe = _universe->copyFor(t);
  QrcIntOrderedSetI* unionSet = _union == _universe ? universe : _union->copyFor(t);
  QrcPartitionI* copy = new (t) QrcPartitionI(t, copyOf(_sets, t), universe, unionSet);
  copy->setFilterLevel(getFilterLevel());
  return copy;
}

// ---------------------------------------------------------------- pairwise disjointness

QrcAllNullIntersectI::QrcAllNullIntersectI(QrcManagerI* m, QrcIntSetVarArrayI* sets)
    : QrcConstraintWithFilterI(m, QrcAllNullIntersectKind, QrcLowFilterLevel),
      _sets(sets),
      _partition(nullptr) {}

// The propagation after the posting narrows, once the demons listen.
void QrcAllNullIntersectI::post() {
  for (QrcInt i = 0; i < _sets->getSize(); ++i)
    at(_sets, i)->whenDomain(new (_manager) QrcAllNullIntersectDemonI(_manager, this, i));
  checkFilterLevel();
}

void QrcAllNullIntersectI::propagate() {
  for (QrcInt i = 0; i < _sets->getSize(); ++i) {
    QrcIntSetVarArrayI* sets = _sets;
    forEachRequired(at(sets, i), [sets, i](QrcInt v) {
      for (QrcInt j = 0; j < sets->getSize(); ++j)
        if (j != i) at(sets, j)->removePossible(v);
      return true;
    });
  }
}

void QrcAllNullIntersectI::propagateSet(QrcInt i) {
  QrcIntSetVarArrayI* sets = _sets;
  forEachAdded(at(sets, i), [sets, i](QrcInt v) {
    for (QrcInt j = 0; j < sets->getSize(); ++j)
      if (j != i) at(sets, j)->removePossible(v);
  });
}

QrcBool QrcAllNullIntersectI::isFalse() const {
  QrcIntSetVarArrayI* sets = _sets;
  for (QrcInt i = 0; i < sets->getSize(); ++i) {
    bool alone = forEachRequired(at(sets, i), [sets, i](QrcInt v) {
      for (QrcInt j = i + 1; j < sets->getSize(); ++j)
        if (at(sets, j)->isRequired(v)) return false;
      return true;
    });
    if (!alone) return 1;
  }
  return 0;
}

QrcBool QrcAllNullIntersectI::isFilterLevelSupported(QrcInt level) {
  if (level == QrcLowFilterLevel) return 1;
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) return 0;
  if (_partition) {
    _partition->setFilterLevel(level);
    return 1;
  }
  // The sets and one more for the values no set takes partition every
  // possible value.
  QrcInt n = _sets->getSize();
  QrcIntOrderedSetI* all = new (_manager) QrcIntOrderedSetI(_manager, _sets);
  QrcExprI** storage =
      static_cast<QrcExprI**>(_manager->allocate(static_cast<size_t>(n + 1) * sizeof(QrcExprI*)));
  for (QrcInt i = 0; i < n; ++i) storage[i] = at(_sets, i);
  storage[n] = QrcIntSetVar(QrcManager(_manager), valuesOf(_manager, all)).getImpl();
  QrcIntSetVarArrayI* sets = new (_manager) QrcIntSetVarArrayI(_manager, n + 1, storage);
  QrcPartitionI* partition = new (_manager) QrcPartitionI(_manager, sets, all, all);
  partition->setFilterLevel(level);
  _manager->saveValue(&_partition);
  _partition = partition;
  addConstraint(partition);
  return 1;
}

QrcConstraintI* QrcAllNullIntersectI::makeCopy(QrcManagerI* t) const {
  QrcAllNullIntersectI* copy = new (t) QrcAllNullIntersectI(t, copyOf(_sets, t));
  copy->setFilterLevel(getFilterLevel());
  return copy;
}

// ---------------------------------------------------------------- creation

namespace {

// A partition over an empty array handle, which stands for an array without
// elements: false for a nonempty universe (no set can hold its values), else
// true; stated in the universe's manager. Without one there is nothing to
// state and no manager to state it in: an empty handle.
QrcConstraint partitionOfNoSet(const QrcIntArray& universe) {
  QrcManagerI* m = universe.getManager();
  if (!m) return QrcConstraint();
  return universe.getSize() > 0 ? m->getFalseConstraint() : m->getTrueConstraint();
}

}  // namespace

QrcConstraint QrcPartition(const QrcIntSetVarArray& hsets, const QrcIntArray& huniverse) {
  if (!hsets.getImpl()) return partitionOfNoSet(huniverse);
  QrcIntSetVarArrayI* sets = need(hsets, "QrcPartition");
  QrcInt* values = need(huniverse, "QrcPartition");
  QrcManagerI* m = sets->getManager();
  // Inserted sorted: index j is the j-th smallest value.
  QrcInt count = huniverse.getSize();
  QrcInt* sorted = static_cast<QrcInt*>(
      m->allocate(static_cast<size_t>(count > 0 ? count : 1) * sizeof(QrcInt)));
  std::copy(values, values + count, sorted);
  std::sort(sorted, sorted + count);
  QrcIntOrderedSetI* universe = new (m) QrcIntOrderedSetI(m, count, sorted, false);
  QrcIntOrderedSetI* unionSet = new (m) QrcIntOrderedSetI(m, sets);
  return new (m) QrcPartitionI(m, sets, universe, unionSet);
}

QrcConstraint QrcPartition(const QrcIntSetVarArray& hsets) {
  if (!hsets.getImpl()) return partitionOfNoSet(QrcIntArray());
  QrcIntSetVarArrayI* sets = need(hsets, "QrcPartition");
  QrcManagerI* m = sets->getManager();
  QrcIntOrderedSetI* all = new (m) QrcIntOrderedSetI(m, sets);
  return new (m) QrcPartitionI(m, sets, all, all);
}

QrcConstraint QrcAllNullIntersect(const QrcIntSetVarArray& hsets) {
  // An empty array handle: no two sets to keep apart, and no manager.
  if (!hsets.getImpl()) return QrcConstraint();
  QrcIntSetVarArrayI* sets = need(hsets, "QrcAllNullIntersect");
  return new (sets->getManager()) QrcAllNullIntersectI(sets->getManager(), sets);
}

QrcConstraint QrcDisjointUnion(const QrcIntSetVar& hs, const QrcIntSetVarArray& hsets) {
  QrcCheckOperands("QrcDisjointUnion", {hs, hsets});
  QrcIntSetVarI* s = need(hs, "QrcDisjointUnion");
  QrcIntExp card(s->getCardinality());
  if (hsets.getSize() == 0) return card == QrcInt(0);
  QrcIntSetVarArrayI* sets = need(hsets, "QrcDisjointUnion");
  QrcIntVarArray cards(QrcManager(s->getManager()), sets->getSize());
  for (QrcInt i = 0; i < sets->getSize(); ++i)
    cards.set(i, QrcIntExp(at(sets, i)->getCardinality()));
  return (QrcEqUnion(hs, hsets) && QrcAllNullIntersect(hsets)) && (card == QrcSum(cards));
}
