#include "qrctable.h"

#include <cstddef>
#include <ostream>

#include "qrcmanager.h"

namespace {

QrcSizeAllocatorI* poolOf(QrcManagerI* m) {
  return m->getSizeAllocator();
}

const QrcInt LineBytes = 64;
// Tuple records are carved from chunks of this size.
const QrcInt ChunkBytes = 4000;

void* alignLine(void* p) {
  return reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(p) + LineBytes - 1) &
                                 ~static_cast<uintptr_t>(LineBytes - 1));
}

}  // namespace

// ---------------------------------------------------------------- demon and restorer

QrcWLConstraintIVarDomainI::QrcWLConstraintIVarDomainI(QrcManagerI* m, QrcWLConstraintI* ct,
                                                       QrcInt position)
    : QrcDemonI(m, ct), _wl(ct), _position(position) {}

void QrcWLConstraintIVarDomainI::propagate() {
  _wl->lostValues(_position);
}

void QrcWLConstraintIVarDomainI::display(std::ostream& os) const {
  os << "QrcWLConstraintIVarDomain";
}

QrcGoalI* QrcECRestorerI::execute() {
  _ct->restore(_invalidated, _newlySupported, _replaced);
  _ct->recycle(this);
  return nullptr;
}

// ---------------------------------------------------------------- records and pending values

QrcWLConstraintI::QrcWLConstraintI(QrcManagerI* m, QrcIntVarArrayI* vars)
    : QrcConstraintI(m),
      _arity(vars ? vars->getSize() : 0),
      _postStamp(0),
      _currentStamp(0),
      _records(nullptr),
      _pending(nullptr),
      _vars(vars),
      _restorer(nullptr) {}

void QrcWLConstraintI::post() {
  _postStamp = _currentStamp = _manager->getStamp();
  _pending = nullptr;
  initialise();
  // Never pushed: what changes before the first choice point stays.
  _restorer = makeRestorer();
}

QrcGACValue* QrcWLConstraintI::findValue(QrcInt k, QrcInt v) const {
  const QrcGACVar& r = _records[k];
  if (r.collection) {
    const QrcIntCollectionI::Element* e = r.collection->find(v);
    return e ? &r.values[e - r.collection->getElement(0)] : nullptr;
  }
  if (v < r.first || v - r.first >= r.count) return nullptr;
  return &r.values[v - r.first];
}

void QrcWLConstraintI::clearPending() {
  for (QrcGACVar* r = _pending; r; r = r->nextPending) {
    for (QrcInt i = 0; i < r->lostCount; ++i) r->lost[i]->isLost = 0;
    r->lostCount = 0;
    r->pending = 0;
  }
  _pending = nullptr;
}

void QrcWLConstraintI::startChoicePoint(QrcInt stamp) {
  // Values pending from a branch that failed are back in their domains.
  _currentStamp = stamp;
  clearPending();
  _restorer = makeRestorer();
  _manager->addGroupedReversibleAction(_restorer);
}

void QrcWLConstraintI::enterChoicePoint() {
  QrcInt stamp = _manager->getStamp();
  if (stamp != _currentStamp) startChoicePoint(stamp);
}

namespace {

// Puts a value record on the lost list unless it is there.
inline void pushLost(QrcGACVar* r, QrcGACValue* value) {
  if (value->isLost) return;
  value->isLost = 1;
  r->lost[r->lostCount++] = value;
}

// Puts the value records of [a, b] not yet pending on the lost list.
inline void markLost(QrcGACVar* r, QrcInt a, QrcInt b) {
  QrcInt i, end;
  if (r->collection) {
    i = r->collection->lowerBoundIndex(a);
    end = r->collection->lowerBoundIndex(b + 1);
  } else {
    i = a > r->first ? a - r->first : 0;
    end = b - r->first + 1 < r->count ? b - r->first + 1 : r->count;
  }
  for (; i < end; ++i) pushLost(r, &r->values[i]);
}

}  // namespace

void QrcWLConstraintI::lostValues(QrcInt k) {
  enterChoicePoint();
  QrcGACVar* r = &_records[k];
  QrcIntExpI* x = r->var;
  QrcInt before = r->lostCount;
  const QrcIntSetI* d = x->getDomainSet();
  QrcInt base, last, end = r->first + r->count - 1;
  QrcIntVarEventHandlerI* h = x->getIntHandler();
  if (!r->collection && d && d->getPlainWords(base, last) && base <= r->first && end <= last &&
      x->isProcessing()) {
    // The delta read directly, in the order of the delta iterator: the values
    // and inner ranges removed, then the members a bound move took (their
    // bits stay set), low side first.
    for (const QrcPropagationQueueI::IntCell* c = h->getRemovedValues(); c; c = c->next)
      markLost(r, c->value, c->value);
    for (const QrcPropagationQueueI::IntCell* c = h->getRemovedRanges(); c; c = c->next->next)
      markLost(r, c->value, c->next->value);
    auto one = [r](QrcInt v) { pushLost(r, &r->values[v - r->first]); };
    QrcInt lo = h->_oldMin, hi = x->rawMin() - 1;
    d->forEachIn(lo > r->first ? lo : r->first, hi < end ? hi : end, one);
    lo = x->rawMax() + 1;
    hi = h->_oldMax;
    d->forEachIn(lo > r->first ? lo : r->first, hi < end ? hi : end, one);
  } else {
    // The delta by ranges: only the indexed values inside each are visited.
    QrcIntVarDeltaIterator it(x);
    QrcInt a, b;
    while (it.nextRange(a, b)) markLost(r, a, b);
  }
  if (r->lostCount == before) return;
  if (!r->pending) {
    r->pending = 1;
    r->nextPending = _pending;
    _pending = r;
  }
  push();
}

// ---------------------------------------------------------------- schema

void QrcGACSchemaI::initialise() {
  _records =
      static_cast<QrcGACVar*>(_manager->allocate(static_cast<size_t>(_arity) * sizeof(QrcGACVar)));
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcIntExpI* x = _vars->getVar(k);
    x->makeEventHandlerConstraint();
    if (x->isVariable()) x->makeDomainSet();
    QrcGACVar& r = _records[k];
    r.position = k;
    r.var = x;
    QrcIntSetI* d = x->getDomainSet();
    r.collection = d ? d->getCollection() : nullptr;
    if (!r.collection && x->getSize() < x->getMax() - x->getMin() + 1) {
      // Holes in a range-backed domain: index its members, not its span
      // (the tables' columns have narrowed it to few values).
      QrcInt n = x->getSize();
      QrcInt* members = _manager->lockArrayFromPool(n);
      QrcInt j = 0;
      for (QrcInt v = x->getMin(); j < n; v = x->getNextHigher(v)) members[j++] = v;
      r.collection = new (_manager) QrcIntCollectionI(_manager, n, members, true);
      _manager->unlockArrayFromPool(members);
    }
    r.first = r.collection ? 0 : x->getMin();
    r.count = r.collection ? r.collection->getSize() : x->getMax() - x->getMin() + 1;
    r.values = static_cast<QrcGACValue*>(alignLine(
        _manager->allocate(static_cast<size_t>(r.count) * sizeof(QrcGACValue) + LineBytes - 1)));
    for (QrcInt i = 0; i < r.count; ++i) {
      QrcGACValue& v = r.values[i];
      v.var = &r;
      v.value = r.collection ? r.collection->getElement(i)->value : r.first + i;
      v.containing = nullptr;
      v.support = nullptr;
      v.frontier = nullptr;
      v.stamp = _postStamp;
      v.nextSupported = nullptr;
      v.isLost = 0;
      v.index = -1;
    }
    r.lost = static_cast<QrcGACValue**>(
        _manager->allocate(static_cast<size_t>(r.count) * sizeof(QrcGACValue*)));
    r.lostCount = 0;
    r.nextPending = nullptr;
    r.pending = 0;
  }
  _first = 1;
  QrcInt bytes = static_cast<QrcInt>(offsetof(QrcGACTuple, entries)) +
                 _arity * static_cast<QrcInt>(sizeof(QrcGACEntry));
  _tupleStride = (bytes + LineBytes - 1) & -LineBytes;
  for (QrcInt k = 0; k < _arity; ++k)
    _records[k].var->whenDomain(new (_manager) QrcWLConstraintIVarDomainI(_manager, this, k));
}

QrcRestorerI* QrcGACSchemaI::makeRestorer() {
  // Restorers live in the pools, not on the heap, and are taken again once run.
  void* place = _freeRestorers;
  if (place)
    _freeRestorers = _freeRestorers->nextFree;
  else
    place = poolOf(_manager)->allocateSized(sizeof(QrcECRestorerI));
  return ::new (place)
      QrcECRestorerI(_manager, this, _invalidated.top, _newlySupported.top, _replaced.top);
}

void QrcGACSchemaI::recycle(QrcRestorerI* r) {
  FreeRestorer* f = ::new (static_cast<void*>(r)) FreeRestorer;
  f->nextFree = _freeRestorers;
  _freeRestorers = f;
}

QrcGACTuple* QrcGACSchemaI::allocateTuple() {
  if (QrcGACTuple* t = _freeTuples) {
    _freeTuples = reinterpret_cast<QrcGACTuple*>(t->supported);
    return t;
  }
  if (_chunkEnd - _chunkNext < _tupleStride) {
    QrcInt bytes = ChunkBytes > _tupleStride + LineBytes ? ChunkBytes : _tupleStride + LineBytes;
    char* raw = static_cast<char*>(poolOf(_manager)->allocateSized(bytes));
    _chunkNext = static_cast<char*>(alignLine(raw));
    _chunkEnd = raw + bytes;
  }
  QrcGACTuple* t = reinterpret_cast<QrcGACTuple*>(_chunkNext);
  _chunkNext += _tupleStride;
  return t;
}

namespace {

// The neighbour's back link, or a spare one at the end of a list: whether a
// list ends here is data, not a branch to predict.
inline QrcGACEntry*** backLink(QrcGACEntry* next, QrcGACEntry*** spare) {
  return next ? &next->prev : spare;
}

// Links an unlinked entry at the head of a list of containing tuples.
inline void linkAtHead(QrcGACEntry* e, QrcGACEntry** head) {
  QrcGACEntry** spare;
  QrcGACEntry* next = *head;
  e->next = next;
  *backLink(next, &spare) = &e->next;
  e->prev = head;
  *head = e;
}

}  // namespace

QrcGACTuple* QrcGACSchemaI::newTuple(const QrcInt* values, QrcInt number) {
  QrcGACTuple* t = allocateTuple();
  t->values = values;
  t->supported = nullptr;
  t->invalid = 0;
  t->holds = 0;
  t->number = static_cast<int32_t>(number);
  t->invalidSlot = -1;
  for (QrcInt j = 0; j < _arity; ++j) {
    QrcGACEntry* e = &t->entries[j];
    e->value = findValue(j, values[j]);
    linkAtHead(e, &e->value->containing);
  }
  return t;
}

bool QrcGACSchemaI::isValid(const QrcGACTuple* t, QrcInt k) const {
  if (t->invalid) return false;
  // The other positions from k + 1 round: as many each time, no test of k.
  const QrcInt* values = t->values;
  for (QrcInt n = 1, j = k; n < _arity; ++n) {
    j = j + 1 == _arity ? 0 : j + 1;
    if (!inDomain(j, values[j])) return false;
  }
  return true;
}

void QrcGACSchemaI::linkEntries(QrcGACTuple* t) {
  for (QrcInt j = 0; j < _arity; ++j) {
    QrcGACEntry* e = &t->entries[j];
    if (!e->prev) linkAtHead(e, &e->value->containing);
  }
}

namespace {

void unlinkEntry(QrcGACEntry* e) {
  if (!e->prev) return;
  QrcGACEntry** spare;
  QrcGACEntry* next = e->next;
  *e->prev = next;
  *backLink(next, &spare) = e->prev;
  e->next = nullptr;
  e->prev = nullptr;
}

// A value is on the list of its support, which holds at most one value per position.
void unlinkSupported(QrcGACValue* v) {
  QrcGACTuple* t = v->support;
  if (!t) return;
  QrcGACValue** p = &t->supported;
  while (*p != v) p = &(*p)->nextSupported;
  *p = v->nextSupported;
  v->nextSupported = nullptr;
}

void linkSupported(QrcGACValue* v, QrcGACTuple* t) {
  v->nextSupported = t->supported;
  t->supported = v;
}

}  // namespace

void QrcGACSchemaI::unlinkEntries(QrcGACTuple* t) {
  for (QrcInt j = 0; j < _arity; ++j) unlinkEntry(&t->entries[j]);
}

void QrcGACSchemaI::invalidate(QrcGACTuple* t) {
  if (t->invalid) return;
  t->invalid = 1;
  if (isAtPostPoint()) return;
  t->invalidSlot = _invalidated.top;
  *_invalidated.push(poolOf(_manager)) = t;
}

void QrcGACSchemaI::freeTuple(QrcGACTuple* t) {
  unlinkEntries(t);
  if (t->invalidSlot >= 0) _invalidated.items[t->invalidSlot] = nullptr;
  t->supported = reinterpret_cast<QrcGACValue*>(_freeTuples);
  _freeTuples = t;
}

QrcGACTuple* QrcGACSchemaI::findValid(QrcGACValue* value) {
  QrcInt k = value->var->position;
  QrcGACEntry* e = value->containing;
  while (e) {
    QrcGACEntry* next = e->next;
    QrcGACTuple* t = QrcGACTuple::of(e, k);
    // The value is in its domain: its own position needs no test.
    if (isValid(t, k)) {
      if (e != value->containing) {
        unlinkEntry(e);
        linkAtHead(e, &value->containing);
      }
      return t;
    }
    // Its lost value, still pending, resupports the values it supports.
    invalidate(t);
    unlinkEntry(e);
    e = next;
  }
  return nullptr;
}

void QrcGACSchemaI::recordChange(QrcGACValue* value) {
  if (isAtPostPoint() || value->stamp == _currentStamp) return;
  QrcGACChange* c = (value->support ? _replaced : _newlySupported).push(poolOf(_manager));
  c->value = value;
  c->support = value->support;
  c->frontier = value->frontier;
  c->stamp = value->stamp;
  if (c->support) ++c->support->holds;
  if (c->frontier) ++c->frontier->holds;
}

void QrcGACSchemaI::setSupport(QrcGACValue* value, QrcGACTuple* t, bool sought) {
  recordChange(value);
  value->stamp = _currentStamp;
  QrcGACTuple* old = value->support;
  if (old != t) {
    unlinkSupported(value);
    linkSupported(value, t);
    value->support = t;
  }
  QrcGACTuple* oldFrontier = value->frontier;
  if (sought && oldFrontier != t) {
    value->frontier = t;
    ++t->holds;
    if (oldFrontier) --oldFrontier->holds;
  }
  freeIfUnused(old == t ? nullptr : old);
  if (sought && oldFrontier != old && oldFrontier != t) freeIfUnused(oldFrontier);
}

void QrcGACSchemaI::resupport(QrcGACValue* value) {
  QrcGACTuple* t = findValid(value);
  if (t) {
    setSupport(value, t, false);
    return;
  }
  t = seekSupport(value);
  if (t) {
    setSupport(value, t, true);
    return;
  }
  value->var->var->removeValue(value->value);
}

void QrcGACSchemaI::processLost(QrcGACValue* lost) {
  QrcInt k = lost->var->position;
  while (lost->containing) {
    QrcGACTuple* t = QrcGACTuple::of(lost->containing, k);
    invalidate(t);
    unlinkEntries(t);
    _busy = t;
    QrcGACValue* s = t->supported;
    while (s) {
      QrcGACValue* next = s->nextSupported;
      if (qrcDomainHolds(s->var->var, s->value)) resupport(s);
      s = next;
    }
    _busy = nullptr;
    if (isAtPostPoint()) {
      // The values left are out of their domains for good.
      while (t->supported) {
        QrcGACValue* v = t->supported;
        unlinkSupported(v);
        v->support = nullptr;
        if (v->frontier) {
          QrcGACTuple* f = v->frontier;
          v->frontier = nullptr;
          --f->holds;
          if (f != t) freeIfUnused(f);
        }
      }
    }
    freeIfUnused(t);
  }
}

void QrcGACSchemaI::propagate() {
  enterChoicePoint();
  _busy = nullptr;
  if (_first) {
    clearPending();
    for (QrcInt k = 0; k < _arity; ++k) {
      QrcIntExpI* x = _records[k].var;
      for (QrcInt v = x->getMin();;) {
        QrcGACValue* value = findValue(k, v);
        if (!value->support) resupport(value);
        QrcInt next = x->getNextHigher(v);
        if (next <= v) break;
        v = next;
      }
    }
    _first = 0;
    return;
  }
  // A variable leaves the pending list once its lost values are all
  // processed, so that after a failure the next choice point clears them.
  while (_pending) {
    QrcGACVar* r = _pending;
    while (r->lostCount) {
      QrcGACValue* value = r->lost[--r->lostCount];
      value->isLost = 0;
      processLost(value);
    }
    _pending = r->nextPending;
    r->pending = 0;
  }
}

void QrcGACSchemaI::undoChange(const QrcGACChange& c) {
  QrcGACValue* value = c.value;
  QrcGACTuple* cur = value->support;
  QrcGACTuple* curFrontier = value->frontier;
  unlinkSupported(value);
  value->support = c.support;
  if (c.support) {
    linkSupported(value, c.support);
    --c.support->holds;
  }
  // The change record's hold on the old frontier passes to the value.
  value->frontier = c.frontier;
  if (curFrontier) --curFrontier->holds;
  value->stamp = c.stamp;
  freeIfUnused(cur);
  if (curFrontier != cur) freeIfUnused(curFrontier);
}

void QrcGACSchemaI::restore(QrcInt invalidated, QrcInt newlySupported, QrcInt replaced) {
  _busy = nullptr;
  // Latest first, as they were recorded.
  while (_invalidated.top > invalidated) {
    QrcGACTuple* t = _invalidated.items[--_invalidated.top];
    // The next one's record is read while this one's entries are linked.
    if (_invalidated.top > invalidated) {
      const char* next = reinterpret_cast<const char*>(_invalidated.items[_invalidated.top - 1]);
      __builtin_prefetch(next);
      __builtin_prefetch(next + LineBytes);
    }
    if (!t) continue;
    t->invalidSlot = -1;
    t->invalid = 0;
    linkEntries(t);
  }
  while (_replaced.top > replaced) {
    undoChange(_replaced.items[--_replaced.top]);
  }
  while (_newlySupported.top > newlySupported) {
    undoChange(_newlySupported.items[--_newlySupported.top]);
  }
}

// ---------------------------------------------------------------- allowed tuples

void QrcGACSAllowedI::initialise() {
  QrcGACSchemaI::initialise();
  _values = _set->getValues();
  _slots = _set->getSlots();
  _probes = static_cast<QrcDomainProbe*>(
      _manager->allocate(static_cast<size_t>(_arity) * sizeof(QrcDomainProbe)));
  _masks = static_cast<QrcUInt*>(_manager->allocate(static_cast<size_t>(_arity) * sizeof(QrcUInt)));
  _ranks = static_cast<QrcUInt*>(_manager->allocate(static_cast<size_t>(_arity) * sizeof(QrcUInt)));
  _sorted = static_cast<const QrcInt**>(
      _manager->allocate(static_cast<size_t>(_arity) * sizeof(const QrcInt*)));
  _rankMasked = _arity <= 64;
  _sizes = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(_arity) * sizeof(QrcInt)));
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcGACVar& r = _records[k];
    for (QrcInt i = 0; i < r.count; ++i)
      r.values[i].index = _set->getValueIndex(k, r.values[i].value);
    _sorted[k] = _set->getColumn(k).sortedValues;
    _rankMasked = _rankMasked && _set->getColumn(k).size <= 64;
  }
}

namespace {

// Lists of at most so many candidates are walked without words.
const QrcInt ShortList = 8;

}  // namespace

bool QrcGACSAllowedI::isInDomains(const QrcInt* values) const {
  for (QrcInt j = 0; j < _arity; ++j)
    if (!inDomain(j, values[j])) return false;
  return true;
}

QrcGACTuple* QrcGACSAllowedI::seekSupport(QrcGACValue* value) {
  QrcInt k = value->var->position;
  if (value->index < 0) return nullptr;
  QrcInt mode = _set->getStorageMode();
  if (mode != 0) {
    QrcInt bytes = _set->getRowBytes();
    if (_rankMasked) {
      if (bytes == 1) return seekInRows<uint8_t, true>(value);
      if (bytes == 2) return seekInRows<uint16_t, true>(value);
      return seekInRows<uint32_t, true>(value);
    }
    if (bytes == 1) return seekInRows<uint8_t, false>(value);
    if (bytes == 2) return seekInRows<uint16_t, false>(value);
    return seekInRows<uint32_t, false>(value);
  }
  const QrcTupleColumn& col = _set->getColumn(k);
  // The candidates: the slots of (k, v) after the frontier.
  QrcInt p = value->frontier ? _slots[value->frontier->number * _arity + k] + 1
                             : col.slotStart[value->index];
  QrcInt end = col.slotStart[value->index + 1];
  if (p >= end) return nullptr;
  if (end - p <= ShortList) {
    // A short list is walked without preparing the domains.
    for (; p < end; ++p) {
      QrcInt t = col.slotTuple[p];
      if (isInDomains(col.slotValues ? col.slotValues + p * _arity : _values + t * _arity))
        return newTuple(_values + t * _arity, t);
    }
    return nullptr;
  }
  if (_set->getRankStart()) return seekInBits(value, p);
  _masked = true;
  for (QrcInt j = 0; j < _arity; ++j) {
    _probes[j].read(_records[j].var);
    _masked = _masked && _probes[j].toMask(_masks[j]);
  }
  if (col.slotValues) {
    for (const QrcInt* values = col.slotValues + p * _arity; p < end; ++p, values += _arity)
      if (holdsDomainValues(values)) {
        QrcInt t = col.slotTuple[p];
        return newTuple(_values + t * _arity, t);
      }
    return nullptr;
  }
  for (; p < end; ++p) {
    QrcInt t = col.slotTuple[p];
    if (holdsDomainValues(_values + t * _arity)) return newTuple(_values + t * _arity, t);
  }
  return nullptr;
}

namespace {

// Bit i for from + i in the domain of x, over n <= 64 values.
QrcUInt domainBits(QrcIntExpI* x, QrcInt from, QrcInt n) {
  x->refreshBounds();
  QrcInt lo = x->rawMin() > from ? x->rawMin() : from;
  QrcInt hi = x->rawMax() < from + n - 1 ? x->rawMax() : from + n - 1;
  const QrcIntSetI* d = x->getDomainSet();
  QrcInt base = 0, last = 0;
  const QrcWord* words = d ? d->getPlainWords(base, last) : nullptr;
  if (words) {
    if (lo < base) lo = base;
    if (hi > last) hi = last;
  }
  if (lo > hi) return 0;
  QrcInt span = hi - lo;
  QrcUInt range = (span == 63 ? ~QrcUInt(0) : (QrcUInt(1) << (span + 1)) - 1) << (lo - from);
  if (!d) return range;
  if (!words) {
    QrcUInt m = 0;
    for (QrcInt v = lo; v <= hi; ++v)
      if (d->contains(v)) m |= QrcUInt(1) << (v - from);
    return m;
  }
  // The words from the bit of from on; lo's word is in the set.
  QrcInt pos = from - base;
  QrcUInt m;
  if (pos < 0) {
    m = words[0] << -pos;
  } else {
    QrcInt q = pos >> 6, r = pos & 63;
    m = words[q] >> r;
    if (r && q + 1 < d->getWordCount()) m |= words[q + 1] << (64 - r);
  }
  return m & range;
}

}  // namespace

// The candidates of the value from slot p on, a word of 64 at a time: the
// tuples holding a domain value at every other position, the first one taken.
QrcGACTuple* QrcGACSAllowedI::seekInBits(QrcGACValue* value, QrcInt p) {
  QrcInt k = value->var->position, i = value->index;
  const QrcInt* rankStart = _set->getRankStart();
  for (QrcInt j = 0; j < _arity; ++j)
    if (j != k) readRanks(j);
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt first = col.slotStart[i], words = (col.slotStart[i + 1] - first + 63) >> 6;
  const QrcUInt* bits = col.bits + col.bitStart[i];
  for (QrcInt w = (p - first) >> 6; w < words; ++w) {
    QrcUInt found = w == (p - first) >> 6 ? ~QrcUInt(0) << ((p - first) & 63) : ~QrcUInt(0);
    for (QrcInt j = 0; j < _arity && found; ++j) {
      if (j == k) continue;
      QrcUInt any = 0;
      const QrcUInt* rows = bits + rankStart[j] * words + w;
      for (QrcUInt m = _ranks[j]; m; m &= m - 1) any |= rows[__builtin_ctzll(m) * words];
      found &= any;
    }
    if (found) {
      QrcInt t = col.slotTuple[first + w * 64 + __builtin_ctzll(found)];
      return newTuple(_values + t * _arity, t);
    }
  }
  return nullptr;
}

void QrcGACSAllowedI::readRanks(QrcInt c) {
  const QrcTupleColumn& col = _set->getColumn(c);
  QrcIntExpI* x = _records[c].var;
  if (_set->isConsecutive(c)) {
    // The column's values are consecutive: its ranks are the domain's bits.
    _ranks[c] = domainBits(x, col.sortedValues[0], col.size);
  } else {
    QrcUInt m = 0;
    for (QrcInt r = 0; r < col.size; ++r)
      if (qrcDomainHolds(x, col.sortedValues[r])) m |= QrcUInt(1) << r;
    _ranks[c] = m;
  }
}

template <typename T, bool Masked>
QrcGACTuple* QrcGACSAllowedI::seekInRows(const QrcGACValue* value) {
  const QrcUInt none = static_cast<T>(~T(0));
  QrcInt k = value->var->position, a = _arity;
  const QrcTupleColumn& col = _set->getColumn(k);
  QrcInt vRank = col.rank[value->index];
  Rows<T> in;
  in.rows = static_cast<const T*>(_set->getRows());
  in.stride = _set->getRowStride();
  in.count = _set->getCount();
  in.slots = nullptr;
  const T* frontier = value->frontier ? in.rows + value->frontier->number * in.stride : nullptr;
  // The first candidate: the tuple after the frontier in the (k, v) list.
  QrcInt t = -1, p = -1, end = col.slotStart[value->index + 1];
  if (_set->getStorageMode() == 1) {
    if (!frontier) {
      t = col.slotTuple[col.slotStart[value->index]];
    } else {
      // The frontier's link for (k, v) is the next tuple of the list.
      QrcUInt n = frontier[a + k * _set->getWidth() + vRank];
      if (n == none) return nullptr;
      t = static_cast<QrcInt>(n);
    }
  } else {
    p = frontier ? frontier[3 * a + k] + 1 : col.slotStart[value->index];
    if (p >= end) return nullptr;
  }
  if (Masked) {
    for (QrcInt j = 0; j < a; ++j)
      if (j != k) readRanks(j);
    _ranks[k] = ~QrcUInt(0);
  } else {
    for (QrcInt j = 0; j < a; ++j) _probes[j].read(_records[j].var);
  }
  if (t >= 0) {
    // A jump stops only where every value lies in its domain.
    if (!holdsRanks<T, Masked>(in.rows + t * in.stride, k))
      t = jumpMode1<T, Masked>(in, t, k, vRank);
    return t < 0 ? nullptr : newTuple(_values + t * a, t);
  }
  in.slots = static_cast<const T*>(_set->getSlotRows(k));
  for (QrcInt j = 0; j < a; ++j) _sizes[j] = -1;
  for (; p >= 0; p = jumpMode2<T, Masked>(in, p, k, vRank, end)) {
    const T* slot = in.slots + p * (a + 1);
    if (holdsRanks<T, Masked>(slot + 1, k)) {
      t = slot[0];
      return newTuple(_values + t * a, t);
    }
  }
  return nullptr;
}

// From a tuple holding v at k, the first tuple with every value in its
// domain: at each position whose value left its domain, the nearest newer
// tuple holding a domain value there, then the nearest holding v at k.
template <typename T, bool Masked>
QrcInt QrcGACSAllowedI::jumpMode1(const Rows<T>& in, QrcInt t, QrcInt k, QrcInt vRank) {
  const QrcUInt none = static_cast<T>(~T(0));
  const T* rows = in.rows;
  QrcInt stride = in.stride, width = _set->getWidth(), a = _arity;
  QrcInt vCell = a + k * width + vRank;
  const T* row = rows + t * stride;
  for (;;) {
    bool moved = false;
    for (QrcInt c = 0; c < a; ++c) {
      if (c == k || holdsRank<Masked>(c, row[c])) continue;
      const T* next = row + a + c * width;
      // Numbers grow with age reversed: the smallest is the nearest.
      QrcUInt best = none;
      if (Masked) {
        for (QrcUInt m = _ranks[c]; m; m &= m - 1) {
          QrcUInt n = next[__builtin_ctzll(m)];
          best = n < best ? n : best;
        }
      } else {
        for (QrcInt r = 0, size = _set->getColumn(c).size; r < size; ++r)
          if (next[r] < best && holdsRank<Masked>(c, r)) best = next[r];
      }
      if (best == none) return -1;
      t = static_cast<QrcInt>(best);
      row = rows + t * stride;
      moved = true;
      while (row[k] != vRank) {
        QrcUInt n = row[vCell];
        if (n == none) return -1;
        t = static_cast<QrcInt>(n);
        row = rows + t * stride;
      }
    }
    if (!moved) return t;
  }
}

// The first tuple, not older than the target, that may hold a domain value
// at c; cur walks the slots of the (k, v) list up to end and no support lies
// between the target and cur. -1 when no tuple remains.
template <typename T, bool Masked>
inline QrcInt QrcGACSAllowedI::probe(const Rows<T>& in, QrcInt c, QrcInt k, QrcInt vRank,
                                     QrcInt target, QrcInt& cur, QrcInt end) {
  const QrcInt none = static_cast<T>(~T(0));
  const T* rows = in.rows;
  const T* slots = in.slots;
  QrcInt a = _arity, stride = in.stride, slotStride = a + 1;
  QrcInt count = in.count;
  const T* slot = slots + cur * slotStride;
  QrcInt n = slot[0];
  if (n >= target && holdsRank<Masked>(c, slot[1 + c])) return n;
  if (++cur == end) return -1;
  slot += slotStride;
  n = slot[0];
  if (_sizes[c] < 0) _sizes[c] = _records[c].var->getSize();
  QrcInt size = _sizes[c];
  QrcInt r = n >= target ? n : target;
  const T* row = rows + r * stride;
  QrcInt noted = row[a + c];
  // None reads above every tuple.
  QrcInt best = none;
  for (bool firstTurn = true;; firstTurn = false) {
    if (size == 0 || (!firstTurn && row[a + c] == noted)) return best == none ? -1 : best;
    if (n >= r && holdsRank<Masked>(c, slot[1 + c])) return n;
    if (++cur == end) return -1;
    slot += slotStride;
    n = slot[0];
    if (n >= best) return n;
    if (holdsRank<Masked>(c, row[c])) break;
    if (holdsRank<Masked>(c, row[a + c])) {
      --size;
      QrcInt link = row[2 * a + c];
      if (link < best) {
        best = link;
        if (n >= best) return n;
      }
    }
    if (++r == count) return best == none ? -1 : best;
    row += stride;
  }
  if (r <= n) return n;
  if (row[k] == vRank) cur = row[3 * a + k];
  return r;
}

template <typename T, bool Masked>
QrcInt QrcGACSAllowedI::jumpMode2(const Rows<T>& in, QrcInt failed, QrcInt k, QrcInt vRank,
                                  QrcInt end) {
  const QrcInt none = static_cast<T>(~T(0));
  const T* rows = in.rows;
  const T* slots = in.slots;
  QrcInt a = _arity, stride = in.stride, slotStride = a + 1;
  QrcInt count = in.count;
  QrcInt cur = failed + 1;
  if (cur == end) return -1;
  QrcInt target = slots[cur * slotStride];
  for (;;) {
    QrcInt before = target;
    for (QrcInt c = 0; c < a; ++c) {
      if (c == k) continue;
      target = probe<T, Masked>(in, c, k, vRank, target, cur, end);
      if (target < 0) return -1;
    }
    // The first tuple holding v at k, not older than the target.
    for (;;) {
      QrcInt n = slots[cur * slotStride];
      if (n >= target) {
        target = n;
        break;
      }
      const T* row = rows + target * stride;
      if (row[k] == vRank) break;
      if (row[a + k] == vRank) {
        target = row[2 * a + k];
        if (target == none) return -1;
        break;
      }
      if (++cur == end || ++target == count) return -1;
    }
    cur = rows[target * stride + 3 * a + k];
    if (target == before) return cur;
  }
}

QrcConstraintI* QrcGACSAllowedI::makeCopy(QrcManagerI* target) const {
  return new (target)
      QrcGACSAllowedI(target, _vars->copyForManager(target), _set->copyForManager(target));
}

// ---------------------------------------------------------------- allowed tables

void QrcGACSAllowedCallerCtI::propagate() {
  QrcInt n = _vars->getSize();
  for (QrcInt k = 0; k < n; ++k) {
    const QrcTupleColumn& col = _set->getColumn(k);
    if (col.size == 0) fail();
    QrcIntExp(_vars->getVar(k)).setDomain(QrcIntArray(col.values));
  }
  addConstraint(new (_manager) QrcGACSAllowedI(_manager, _vars, _set));
}

QrcConstraintI* QrcGACSAllowedCallerCtI::makeCopy(QrcManagerI* target) const {
  return new (target)
      QrcGACSAllowedCallerCtI(target, _vars->copyForManager(target), _set->copyForManager(target));
}

// ---------------------------------------------------------------- creation

namespace {

QrcIntVarArrayI* checkVars(const QrcIntVarArray& vars, QrcManagerI* m) {
  QrcIntVarArrayI* a = vars.getImpl();
  for (QrcInt i = 0; i < vars.getSize(); ++i)
    if (!a->getVar(i))
      m->getErrorReporter()->report(QrcEmptyHandleError, "QrcTableConstraint", "empty handle", i);
  return a;
}

QrcManagerI* predicateManager(const QrcIntVarArray& vars, QrcInt arity, const void* p) {
  if (!p) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcTableConstraint");
  QrcIntVarArrayI* a = vars.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcTableConstraint");
  QrcManagerI* m = a->getManager();
  if (a->getSize() != arity)
    m->getErrorReporter()->report(QrcArityError, "QrcTableConstraint",
                                  "the arity must be less than or equal to 3");
  checkVars(vars, m);
  return m;
}

}  // namespace

QrcConstraint QrcTableConstraint(const QrcIntVarArray& vars, const QrcTupleSet& set,
                                 QrcBool allowed) {
  QrcTupleSetI* s = set.getImpl();
  if (!s) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcTableConstraint");
  QrcManagerI* m = vars.getImpl() ? vars.getImpl()->getManager() : s->getManager();
  QrcErrorReporter* r = m->getErrorReporter();
  if (!s->isClosed())
    r->report(QrcTupleSetNotClosedError, "QrcTableConstraint", "the tuple set is not closed");
  QrcInt n = vars.getSize();
  if (s->getArity() != n) r->report(QrcBadArraySizeError, "QrcTableConstraint", "bad array size");
  if (n == 0) {
    bool holds = allowed ? s->getCount() > 0 : s->getCount() == 0;
    return holds ? m->getTrueConstraint() : m->getFalseConstraint();
  }
  QrcIntVarArrayI* a = checkVars(vars, m);
  if (allowed) return new (m) QrcGACSAllowedCallerCtI(m, a, s);
  return new (m) QrcGACSPredicateI(m, a, new (m) QrcGACForbiddenI(s), nullptr, nullptr);
}

QrcConstraint QrcTableConstraint(const QrcIntVarArray& vars, const QrcIntBinaryPredicate& p) {
  QrcManagerI* m = predicateManager(vars, 2, p.getImpl());
  return new (m) QrcGACSPredicateI(m, vars.getImpl(), nullptr, p.getImpl(), nullptr);
}

QrcConstraint QrcTableConstraint(const QrcIntVarArray& vars, const QrcIntTernaryPredicate& p) {
  QrcManagerI* m = predicateManager(vars, 3, p.getImpl());
  return new (m) QrcGACSPredicateI(m, vars.getImpl(), nullptr, nullptr, p.getImpl());
}
