// Restricting a domain to the values of another domain, a set or an array,
// and removing the values of a set or an array.
#include "qrcintexp.h"
#include "qrcmanager.h"

namespace {

// Membership in a source of values: an expression, a set or a collection.
struct Source {
  QrcIntExpI* exp;
  QrcIntSetI* set;
  QrcIntCollectionI* coll;
  bool has(QrcInt v) const {
    if (exp) return exp->isInDomain(v);
    if (set) return set->contains(v);
    return coll->find(v) != nullptr;
  }
  // For a member v, the last of the members v, v + 1, ... (a lower value is safe).
  QrcInt runEnd(QrcInt v) const {
    if (exp) {
      QrcIntSetI* d = exp->getDomainSet();
      QrcInt w = d ? d->getRunEnd(v) : exp->getMax();
      return w < exp->getMax() ? w : exp->getMax();
    }
    if (set) return set->getRunEnd(v);
    return v;
  }
  // Smallest member above v, v when none.
  QrcInt nextAbove(QrcInt v) const {
    if (exp) return exp->getNextHigher(v);
    if (set) return set->getNextHigher(v);
    QrcInt i = coll->lowerBoundIndex(v + 1);
    return i < coll->getSize() ? coll->getElement(i)->value : v;
  }
};

const int SparseRatio = 33;

}  // namespace

void QrcIntExpI::setDomainSparse(QrcInt lo, QrcInt hi, QrcInt n, const QrcInt* values,
                                 QrcIntCollectionI* coll, bool fromExpression) {
  if (!coll) coll = new (_manager) QrcIntCollectionI(_manager, n, values, false);
  if (fromExpression && (coll->getSmallest() > lo || coll->getLargest() < hi)) {
    setRange(coll->getSmallest(), coll->getLargest());
    lo = _min;
    hi = _max;
  }
  _manager->saveValue(&_domain);
  _domain = new (_manager) QrcIntSetI(coll, 1, 1, 1);
  QrcIntVarEventHandlerI* h = getIntHandler();
  if (!h->hearsRemovals() && !isProcessing()) {
    // Nobody records removed values: one invalidation stands for them all.
    invalidateParents();
    return;
  }
  // Every value of [lo, hi] was a member: the gaps between the kept values
  // are the removed ranges, one each.
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->enter();
  QrcInt size = coll->getSize();
  for (QrcInt i = coll->lowerBoundIndex(lo); i + 1 < size; ++i) {
    QrcInt a = coll->getElement(i)->value + 1, b = coll->getElement(i + 1)->value - 1;
    if (a > hi) break;
    if (a > b) continue;
    if (isProcessing()) {
      _handler->setState(QrcIntVarEventHandlerI::ProcessingDeferred);
      q->deferValueRange(a, b);
    } else {
      h->notifyRangeRemoved(a, b);
    }
  }
  q->leave();
}

namespace {

bool sparseAllowed(QrcIntExpI* x, QrcInt lo, QrcInt hi, QrcInt count) {
  if (count <= 0) return false;
  if ((hi - lo + 1) / count < SparseRatio) return false;
  return x->isVariable() && !x->getDomainSet() && !x->isProcessing() &&
         !x->getManager()->getPropagationQueue()->isTracing();
}

// [lo, hi] within x's bounds after setRange (lo, hi): a node that cannot keep
// the narrowing may still report wider bounds.
void narrowedRange(QrcIntExpI* x, QrcInt& lo, QrcInt& hi) {
  if (x->getMin() > lo) lo = x->getMin();
  if (x->getMax() < hi) hi = x->getMax();
}

// Removes from x every value of [lo, hi] that the source lacks. Each gap between
// the source's members goes in one range removal, so the walk visits the values
// both hold and one step per gap, never the whole span (a node's bounds may
// stay near the engine's limits).
void removeMissing(QrcIntExpI* x, QrcInt lo, QrcInt hi, const Source& s) {
  QrcInt v = lo;
  while (v <= hi) {
    if (s.has(v)) {
      // Past the values both hold.
      QrcInt end = s.runEnd(v);
      QrcIntSetI* d = x->getDomainSet();
      QrcInt own = d ? d->getRunEnd(v) : x->getMax();
      if (own < end) end = own;
      if (end < v) end = v;
      QrcInt next = x->getNextHigher(end);
      if (next <= end) break;
      v = next;
      continue;
    }
    QrcInt next = s.nextAbove(v);
    QrcInt end = next > v && next - 1 < hi ? next - 1 : hi;
    x->removeRange(v, end);
    if (end >= hi) break;
    v = end + 1;
  }
}

}  // namespace

void QrcIntExpI::setDomain(QrcIntExpI* source) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { setDomain(source); });
  refreshBounds();
  QrcInt lo = source->getMin() > _min ? source->getMin() : _min;
  QrcInt hi = source->getMax() < _max ? source->getMax() : _max;
  setRange(lo, hi);
  QrcIntSetI* sd = source->getDomainSet();
  if (!sd) return;
  QrcInt count = source->getSize();
  if (count == source->getMax() - source->getMin() + 1) return;
  narrowedRange(this, lo, hi);
  if (sparseAllowed(this, lo, hi, count)) {
    QrcInt* buf = _manager->lockArrayFromPool(count);
    QrcInt k = 0;
    for (QrcInt v = source->getNextHigher(lo - 1);; v = source->getNextHigher(v)) {
      if (v > hi || k >= count) break;
      if (source->isInDomain(v)) buf[k++] = v;
      if (v >= source->getMax()) break;
    }
    if (k == 0) {
      _manager->unlockArrayFromPool(buf);
      fail();
    }
    QrcIntCollectionI* coll = new (_manager) QrcIntCollectionI(_manager, k, buf, true);
    _manager->unlockArrayFromPool(buf);
    setDomainSparse(lo, hi, k, nullptr, coll, true);
    return;
  }
  removeMissing(this, lo, hi, Source{source, nullptr, nullptr});
}

void QrcIntExpI::setDomain(QrcIntSetI* set) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { setDomain(set); });
  refreshBounds();
  QrcInt lo = set->firstMemberInRange(_min, _max);
  if (lo < _min) fail();
  QrcInt hi = set->contains(_max) ? _max : set->getNextLower(_max);
  setRange(lo, hi);
  narrowedRange(this, lo, hi);
  QrcInt count = set->getSize();
  if (sparseAllowed(this, lo, hi, count)) {
    QrcInt* buf = _manager->lockArrayFromPool(count);
    QrcInt k = 0;
    for (QrcInt v = lo; k < count;) {
      if (set->contains(v)) buf[k++] = v;
      QrcInt next = set->getNextHigher(v);
      if (next == v || next > hi) break;
      v = next;
    }
    QrcIntCollectionI* coll = new (_manager) QrcIntCollectionI(_manager, k, buf, true);
    _manager->unlockArrayFromPool(buf);
    setDomainSparse(lo, hi, k, nullptr, coll, false);
    return;
  }
  removeMissing(this, lo, hi, Source{nullptr, set, nullptr});
}

void QrcIntExpI::setDomain(QrcInt n, const QrcInt* values, QrcIntCollectionI* coll) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { setDomain(n, values, coll); });
  refreshBounds();
  bool any = false;
  QrcInt lo = 0, hi = 0;
  for (QrcInt i = 0; i < n; ++i) {
    QrcInt v = values[i];
    if (v < _min || v > _max) continue;
    if (!any || v < lo) lo = v;
    if (!any || v > hi) hi = v;
    any = true;
  }
  if (!any) fail();
  setRange(lo, hi);
  narrowedRange(this, lo, hi);
  if (sparseAllowed(this, lo, hi, n)) {
    bool all = true;
    for (QrcInt i = 0; i < n && all; ++i) all = values[i] >= lo && values[i] <= hi;
    if (all) {
      setDomainSparse(lo, hi, n, values, coll, false);
      return;
    }
    QrcInt* kept =
        static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(n) * sizeof(QrcInt)));
    QrcInt k = 0;
    for (QrcInt i = 0; i < n; ++i)
      if (values[i] >= lo && values[i] <= hi) kept[k++] = values[i];
    setDomainSparse(lo, hi, k, kept, nullptr, false);
    return;
  }
  removeMissing(this, lo, hi, Source{nullptr, nullptr, coll});
}

void QrcIntExpI::removeDomain(QrcIntSetI* set) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { removeDomain(set); });
  QrcIntSetIterator it(set);
  QrcInt v;
  while (it.next(v)) removeValue(v);
}

void QrcIntExpI::removeDomain(QrcInt n, const QrcInt* values) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { removeDomain(n, values); });
  for (QrcInt i = 0; i < n; ++i) removeValue(values[i]);
}
