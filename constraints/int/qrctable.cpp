// Allowed tables over supports: the lost values a variable's demon records,
// the schema that moves each value whose support held a lost value to
// another valid tuple record (first among the tuples of its other values,
// else by its seeker's search) or removes it, the undo of those moves when
// search returns past a choice point, and the creation of every table form.
// Every value left has a support whose values all lie in their domains: the
// table is generalised arc consistent after each propagation.
#include "qrctable.h"

#include <cstddef>
#include <ostream>

#include "qrcmanager.h"
#include "qrcoperands.h"
#include "qrctablearity.h"

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
                                                       QrcGACVar* record)
    : QrcDemonI(m, ct), _wl(ct), _record(record) {}

void QrcWLConstraintIVarDomainI::display(std::ostream& os) const {
  os << "QrcWLConstraintIVarDomain";
}

// ---------------------------------------------------------------- records and pending values

QrcWLConstraintI::QrcWLConstraintI(QrcManagerI* m, QrcIntVarArrayI* vars)
    : QrcConstraintI(m),
      _arity(vars ? vars->getSize() : 0),
      _postStamp(0),
      _currentStamp(0),
      _records(nullptr),
      _pending(nullptr),
      _lostMark(1),
      _vars(vars) {}

void QrcWLConstraintI::post() {
  _postStamp = _currentStamp = _manager->getStamp();
  _pending = nullptr;
  // What changes before the first choice point stays: no restorer.
  initialise();
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
  if (!_pending) return;
  for (QrcGACVar* r = _pending; r; r = r->nextPending) {
    r->lostCount = 0;
    r->pending = 0;
  }
  _pending = nullptr;
  // The values left on the lists are off them at once.
  if (_lostMark < INT32_MAX) {
    ++_lostMark;
    return;
  }
  for (QrcInt k = 0; k < _arity; ++k)
    for (QrcInt i = 0; i < _records[k].count; ++i) _records[k].values[i].lostMark = 0;
  _lostMark = 1;
}

// Values still pending here were lost above the choice point: a propagation
// under way set it (a nested solve, a reversible action), and goes on after
// it. They stay, and the restorer puts them back; values pending in a branch
// that failed are taken back by the restorers of the choice points it
// passes, not by a later wake.
void QrcWLConstraintI::startChoicePoint(QrcInt stamp) {
  _currentStamp = stamp;
  QrcRestorerI* r = makeRestorer(_pending ? copyPending() : nullptr);
  _manager->addGroupedReversibleAction(r, r->getCell());
}

QrcGACPendingCopy* QrcWLConstraintI::copyPending() {
  QrcGACPendingCopy* head = nullptr;
  QrcGACPendingCopy** link = &head;
  for (QrcGACVar* r = _pending; r; r = r->nextPending) {
    size_t n = static_cast<size_t>(r->lostCount > 0 ? r->lostCount : 1);
    QrcGACPendingCopy* c = static_cast<QrcGACPendingCopy*>(
        _manager->allocate(offsetof(QrcGACPendingCopy, lost) + n * sizeof(QrcGACValue*)));
    c->next = nullptr;
    c->var = r;
    c->count = r->lostCount;
    for (QrcInt i = 0; i < r->lostCount; ++i) c->lost[i] = r->lost[i];
    *link = c;
    link = &c->next;
  }
  return head;
}

void QrcWLConstraintI::restorePending(const QrcGACPendingCopy* pending) {
  clearPending();
  if (!pending) return;
  QrcGACVar** link = &_pending;
  for (const QrcGACPendingCopy* c = pending; c; c = c->next) {
    QrcGACVar* r = c->var;
    for (QrcInt i = 0; i < c->count; ++i) {
      c->lost[i]->lostMark = _lostMark;
      r->lost[i] = c->lost[i];
    }
    r->lostCount = c->count;
    r->pending = 1;
    r->nextPending = nullptr;
    *link = r;
    link = &r->nextPending;
  }
}

void QrcWLConstraintI::enterChoicePoint() {
  QrcInt stamp = _manager->getStamp();
  if (stamp != _currentStamp) startChoicePoint(stamp);
}

namespace {

// A position's lost list as locals: a value record is pushed unless it is there.
struct LostList {
  QrcGACValue* values;
  QrcGACValue** lost;
  QrcInt n;
  QrcInt first;
  QrcInt end;  // the last indexed value
  int32_t mark;

  void push(QrcGACValue* value) {
    if (value->lostMark == mark) return;
    value->lostMark = mark;
    lost[n++] = value;
  }
  // The indexed values of [a, b], upward.
  void pushRange(QrcInt a, QrcInt b) {
    if (a < first) a = first;
    if (b > end) b = end;
    for (QrcGACValue* v = values + (a - first); a <= b; ++a, ++v) push(v);
  }
};

}  // namespace

bool QrcWLConstraintI::readsPlainWords(QrcGACVar* r, const QrcIntSetI* d) {
  QrcInt base, last;
  const QrcWord* words = d->getPlainWords(base, last);
  if (r->collection || !words || base > r->first || r->first + r->count - 1 > last) return false;
  r->plainSet = d;
  r->wakePlainSet = d;
  r->words = words;
  r->wordBase = base;
  return true;
}

bool QrcWLConstraintI::readDelta(QrcGACVar* r, QrcGACDelta* s) {
  // In the order of the delta iterator: the values and inner ranges removed,
  // then the members a bound move took (their bits stay set), low side first.
  QrcIntExpI* x = r->var;
  QrcIntVarEventHandlerI* h = x->getIntHandler();
  int32_t* out = s->indexes;
  QrcInt n = 0, first = r->first, count = r->count;
  for (const QrcPropagationQueueI::IntCell* c = h->getRemovedValues(); c; c = c->next) {
    QrcUInt i = static_cast<QrcUInt>(c->value) - static_cast<QrcUInt>(first);
    if (i >= static_cast<QrcUInt>(count)) continue;
    if (n == count) return false;
    out[n++] = static_cast<int32_t>(i);
  }
  QrcInt end = first + count - 1;
  for (const QrcPropagationQueueI::IntCell* c = h->getRemovedRanges(); c; c = c->next->next) {
    QrcInt a = c->value < first ? first : c->value;
    QrcInt b = c->next->value > end ? end : c->next->value;
    if (a <= b && n + (b - a + 1) > count) return false;
    for (; a <= b; ++a) out[n++] = static_cast<int32_t>(a - first);
  }
  QrcInt sides[2][2] = {{h->_oldMin, x->rawMin() - 1}, {x->rawMax() + 1, h->_oldMax}};
  const QrcWord* words = r->words;
  QrcInt base = r->wordBase;
  for (auto& side : sides) {
    QrcInt a = side[0] < first ? first : side[0];
    QrcInt b = side[1] > end ? end : side[1];
    if (a > b) continue;
    QrcInt from = a - base, to = b - base;
    QrcInt w = from >> 6, last = to >> 6;
    QrcInt at = base + (w << 6) - first;
    QrcWord bits = words[w] & (~QrcWord(0) << (from & 63));
    for (;;) {
      if (w == last) bits &= ~QrcWord(0) >> (63 - (to & 63));
      for (; bits; bits &= bits - 1) {
        if (n == count) return false;
        out[n++] = static_cast<int32_t>(at + __builtin_ctzll(bits));
      }
      if (w == last) break;
      bits = words[++w];
      at += 64;
    }
  }
  s->count = n;
  return true;
}

namespace {

// The values of a delta read once, pushed to r's lost list unless there: the new count.
inline QrcInt pushDelta(QrcGACVar* r, const QrcGACDelta* s, int32_t mark) {
  QrcGACValue* values = r->values;
  QrcGACValue** lost = r->lost;
  QrcInt n = r->lostCount;
  for (const int32_t *i = s->indexes, *e = i + s->count; i != e; ++i) {
    QrcGACValue* v = values + *i;
    if (v->lostMark == mark) continue;
    v->lostMark = mark;
    // Its first tuple is read when the value is processed.
    __builtin_prefetch(v->containing);
    lost[n++] = v;
  }
  return n;
}

}  // namespace

void QrcWLConstraintI::lostValues(QrcGACVar* r, QrcManagerI* m) {
  QrcInt stamp = m->getStamp();
  if (stamp != _currentStamp) startChoicePoint(stamp);
  QrcIntExpI* x = r->wakeVar;
  const QrcIntSetI* d = x->getDomainSet();
  QrcGACDelta* s = r->delta;
  // The delta read once per processing of the variable's events for the
  // tables over it.
  QrcInt n = __builtin_expect(d && d == r->wakePlainSet && x->isProcessing() &&
                                  s->key == m->getPropagationQueue()->getRunCount(),
                              1)
                 ? pushDelta(r, s, _lostMark)
                 : lostValuesRead(r);
  if (n == r->lostCount) return;
  r->lostCount = n;
  if (!r->pending) {
    r->pending = 1;
    r->nextPending = _pending;
    _pending = r;
  }
  push();
}

QrcInt QrcWLConstraintI::lostValuesRead(QrcGACVar* r) {
  QrcIntExpI* x = r->var;
  const QrcIntSetI* d = x->getDomainSet();
  QrcGACDelta* s = r->delta;
  // A plain set newly met is remembered, and read as the one before.
  if (s && d && (d == r->plainSet || readsPlainWords(r, d)) && x->isProcessing()) {
    QrcInt key = _manager->getPropagationQueue()->getRunCount();
    if (s->key != key) {
      s->key = -1;
      if (readDelta(r, s)) s->key = key;
    }
    if (s->key == key) return pushDelta(r, s, _lostMark);
  }
  return lostValuesByRanges(r);
}

void QrcWLConstraintIVarDomainI::propagate() {
  _wl->lostValues(_record, _manager);
}

QrcGACDelta* QrcWLConstraintI::shareDelta(QrcGACVar* r) {
  QrcIntVarEventHandlerI* h = r->var->getIntHandler();
  if (h)
    for (QrcConstraintList::Cell* c = h->getDomainDemons().getHead(); c; c = c->next) {
      if (c->item->getTypeInfo() != QrcWLConstraintIVarDomainI::GetTypeInfo()) continue;
      const QrcGACVar* o = static_cast<QrcWLConstraintIVarDomainI*>(c->item)->getRecord();
      if (o->delta && !o->collection && o->first == r->first && o->count == r->count)
        return o->delta;
    }
  QrcGACDelta* s = static_cast<QrcGACDelta*>(_manager->allocate(sizeof(QrcGACDelta)));
  s->key = -1;
  s->count = 0;
  s->indexes = static_cast<int32_t*>(
      _manager->allocate(static_cast<size_t>(r->count > 0 ? r->count : 1) * sizeof(int32_t)));
  return s;
}

QrcInt QrcWLConstraintI::lostValuesByRanges(QrcGACVar* r) {
  QrcIntExpI* x = r->var;
  LostList l{r->values, r->lost, r->lostCount, r->first, r->first + r->count - 1, _lostMark};
  // The delta by ranges: only the indexed values inside each are visited.
  QrcIntVarDeltaIterator it(x);
  QrcInt a, b;
  while (it.nextRange(a, b)) {
    if (!r->collection) {
      l.pushRange(a, b);
      continue;
    }
    QrcInt end = r->collection->lowerBoundIndex(b + 1);
    for (QrcInt i = r->collection->lowerBoundIndex(a); i < end; ++i) l.push(l.values + i);
  }
  return l.n;
}

// ---------------------------------------------------------------- schema

template <class T>
void QrcGACStack<T>::release(QrcSizeAllocatorI* pool) {
  if (items) pool->freeSized(items, capacity * static_cast<QrcInt>(sizeof(T)));
  items = nullptr;
  top = capacity = 0;
}

void QrcGACSchemaI::releaseRecords() {
  QrcSizeAllocatorI* pool = poolOf(_manager);
  while (Chunk* c = _chunks) {
    _chunks = c->next;
    pool->freeSized(c, c->bytes);
  }
  _chunkNext = _chunkEnd = nullptr;
  _freeTuples = nullptr;
  _invalidated.release(pool);
  _newlySupported.release(pool);
  _replaced.release(pool);
}

// The values of a record, each with no support yet, and its lost list.
void QrcGACSchemaI::initValues(QrcGACVar* r, QrcIntSetI* d) {
  r->first = r->collection ? 0 : r->var->getMin();
  r->count = r->collection ? r->collection->getSize() : r->var->getMax() - r->var->getMin() + 1;
  if (d) readsPlainWords(r, d);
  r->values = static_cast<QrcGACValue*>(alignLine(
      _manager->allocate(static_cast<size_t>(r->count) * sizeof(QrcGACValue) + LineBytes - 1)));
  for (QrcInt i = 0; i < r->count; ++i) {
    QrcGACValue& v = r->values[i];
    v.var = r;
    v.value = r->collection ? r->collection->getElement(i)->value : r->first + i;
    v.containing = nullptr;
    v.support = nullptr;
    v.frontier = nullptr;
    v.stamp = _postStamp;
    v.nextSupported = nullptr;
    v.lostMark = 0;
    v.index = -1;
  }
  r->lost = static_cast<QrcGACValue**>(
      _manager->allocate(static_cast<size_t>(r->count) * sizeof(QrcGACValue*)));
  r->lostCount = 0;
  r->nextPending = nullptr;
  r->pending = 0;
  r->delta = r->collection ? nullptr : shareDelta(r);
}

// Posted in a search, the posting gives its records and undo stacks back to
// the size pools when a backtrack takes it back.
void QrcGACSchemaI::initialise() {
  _manager->releaseOnBacktrack([](void* ct) { static_cast<QrcGACSchemaI*>(ct)->releaseRecords(); },
                               this);
  _records = static_cast<QrcGACVar*>(alignLine(
      _manager->allocate(static_cast<size_t>(_arity) * sizeof(QrcGACVar) + LineBytes - 1)));
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcIntExpI* x = _vars->getVar(k);
    x->makeEventHandlerConstraint();
    if (x->isVariable()) x->makeDomainSet();
    QrcGACVar& r = _records[k];
    r.position = k;
    r.wakePosition = static_cast<int32_t>(k);
    r.var = x;
    r.wakeVar = x;
    r.plainSet = nullptr;
    r.wakePlainSet = nullptr;
    r.words = nullptr;
    r.wordBase = 0;
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
    initValues(&r, d);
  }
  _first = 1;
  for (QrcInt k = 0; k < 2 && k < _arity; ++k) _pairValues[k] = _records[k].values;
  _tupleStride = (QrcGACTuple::bytes(_arity) + LineBytes - 1) & -LineBytes;
  for (QrcInt k = 0; k < _arity; ++k)
    _records[k].var->whenDomain(new (_manager)
                                    QrcWLConstraintIVarDomainI(_manager, this, &_records[k]));
}

QrcGACTuple* QrcGACSchemaI::allocateTuple() {
  if (QrcGACTuple* t = _freeTuples) {
    _freeTuples = reinterpret_cast<QrcGACTuple*>(t->supported);
    return t;
  }
  if (_chunkEnd - _chunkNext < _tupleStride) {
    // The first chunk holds as many records as the table has tuples, up to
    // the size of the others; chunks stay with the posting, taken from the
    // size pools, listed to be given back (releaseRecords).
    QrcInt bytes = _chunkEnd || _firstRecords <= 0 ? ChunkBytes : _firstRecords * _tupleStride;
    if (bytes > ChunkBytes) bytes = ChunkBytes;
    if (bytes < _tupleStride) bytes = _tupleStride;
    bytes += LineBytes + static_cast<QrcInt>(sizeof(Chunk));
    Chunk* chunk = static_cast<Chunk*>(poolOf(_manager)->allocateSized(bytes));
    chunk->next = _chunks;
    chunk->bytes = bytes;
    _chunks = chunk;
    _chunkNext = static_cast<char*>(alignLine(chunk + 1));
    _chunkEnd = reinterpret_cast<char*>(chunk) + bytes;
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

namespace {

// The index of a tuple's value at a collection-backed position, apart: the
// common path computes its index without the pointers.
__attribute__((noinline)) QrcInt collectionIndex(const QrcGACVar& r, QrcInt v) {
  return r.collection->find(v) - r.collection->getElement(0);
}

}  // namespace

template <int R>
QrcGACTuple* QrcGACSchemaI::newTupleOf(QrcInt number) {
  QrcGACTuple* t = allocateTuple();
  const QrcInt* values = _rows + number * arity<R>();
  t->supported = nullptr;
  t->invalid = 0;
  t->holds = 0;
  t->number = static_cast<int32_t>(number);
  t->invalidSlot = -1;
  for (QrcInt j = 0; j < arity<R>(); ++j) {
    const QrcGACVar& r = _records[j];
    QrcInt i = r.collection ? collectionIndex(r, values[j]) : values[j] - r.first;
    QrcGACValue* value = r.values + i;
    if (isPair<R>())
      t->pairIndexes()[j] = static_cast<int32_t>(i);
    else
      t->valueRecords(arity<R>())[j] = value;
    linkAtHead(&t->entries[j], &value->containing);
  }
  return t;
}

template <int R>
void QrcGACSchemaI::linkEntries(QrcGACTuple* t) {
  for (QrcInt j = 0; j < arity<R>(); ++j) {
    QrcGACEntry* e = &t->entries[j];
    if (!e->prev) linkAtHead(e, &valueOf<R>(t, j)->containing);
  }
}

namespace {

void unlinkEntry(QrcGACEntry* e) {
  if (!e->prev) return;
  QrcGACEntry** spare;
  QrcGACEntry* next = e->next;
  *e->prev = next;
  *backLink(next, &spare) = e->prev;
  // An unlinked entry's next is never read.
  e->prev = nullptr;
}

// A value is on the list of its support, which holds at most one value per
// position. Pair: a binary tuple's, where v is the first or the second, taken
// without a branch.
template <bool Pair>
void unlinkSupported(QrcGACValue* v) {
  QrcGACTuple* t = v->support;
  if (!t) return;
  QrcGACValue** p = &t->supported;
  if (Pair) {
    QrcGACValue* first = *p;
    p = first == v ? p : &first->nextSupported;
  } else {
    while (*p != v) p = &(*p)->nextSupported;
  }
  *p = v->nextSupported;
  v->nextSupported = nullptr;
}

void linkSupported(QrcGACValue* v, QrcGACTuple* t) {
  v->nextSupported = t->supported;
  t->supported = v;
}

}  // namespace

template <int R>
void QrcGACSchemaI::unlinkEntries(QrcGACTuple* t) {
  for (QrcInt j = 0; j < arity<R>(); ++j) unlinkEntry(&t->entries[j]);
}

inline void QrcGACSchemaI::invalidate(QrcGACTuple* t) {
  if (t->invalid) return;
  t->invalid = 1;
  if (isAtPostPoint()) return;
  t->invalidSlot = static_cast<int32_t>(_invalidated.top);
  *_invalidated.push(poolOf(_manager)) = t;
}

template <int R>
void QrcGACSchemaI::freeTuple(QrcGACTuple* t) {
  unlinkEntries<R>(t);
  freeUnlinked(t);
}

void QrcGACSchemaI::freeUnlinked(QrcGACTuple* t) {
  if (t->invalidSlot >= 0) _invalidated.items[t->invalidSlot] = nullptr;
  t->supported = reinterpret_cast<QrcGACValue*>(_freeTuples);
  _freeTuples = t;
}

template <int R>
__attribute__((always_inline)) inline QrcGACTuple* QrcGACSchemaI::findValid(QrcGACValue* value) {
  QrcInt k = value->var->position;
  QrcGACEntry* e = value->containing;
  while (e) {
    QrcGACEntry* next = e->next;
    QrcGACTuple* t = QrcGACTuple::of(e, k);
    // The value is in its domain: its own position needs no test.
    if (isValid<R>(t, k)) {
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

inline void QrcGACSchemaI::recordChange(QrcGACValue* value) {
  if (isAtPostPoint() || value->stamp == _currentStamp) return;
  QrcGACChange* c = (value->support ? _replaced : _newlySupported).push(poolOf(_manager));
  c->value = value;
  c->support = value->support;
  c->frontier = value->frontier;
  c->stamp = value->stamp;
  if (c->support) ++c->support->holds;
  ++orNone(c->frontier)->holds;
}

template <int R>
inline void QrcGACSchemaI::setSupport(QrcGACValue* value, QrcGACTuple* t, bool sought) {
  recordChange(value);
  value->stamp = _currentStamp;
  QrcGACTuple* old = value->support;
  if (old != t) {
    unlinkSupported<R == 2>(value);
    linkSupported(value, t);
    value->support = t;
  }
  QrcGACTuple* oldFrontier = value->frontier;
  if (sought && oldFrontier != t) {
    value->frontier = t;
    ++t->holds;
    if (oldFrontier) --oldFrontier->holds;
  }
  freeIfUnused<R>(old == t ? nullptr : old);
  if (sought && oldFrontier != old && oldFrontier != t) freeIfUnused<R>(oldFrontier);
}

template <int R>
void QrcGACSchemaI::resupport(QrcGACValue* value) {
  QrcGACTuple* t = findValid<R>(value);
  bool sought = !t;
  if (sought) {
    QrcInt number = seekSupport(value);
    if (number < 0) {
      value->var->var->removeValue(value->value);
      return;
    }
    t = newTupleOf<R>(number);
  }
  setSupport<R>(value, t, sought);
}

template <int R>
__attribute__((always_inline)) inline void QrcGACSchemaI::processLost(QrcGACValue* lost, QrcInt k) {
  while (QrcGACEntry* e = lost->containing) {
    QrcGACTuple* t = QrcGACTuple::of(e, k);
    // The next tuple's record is read while this one's values are resupported.
    // Read at the end of the list too (a prefetch never faults): no branch on it.
    uintptr_t next = reinterpret_cast<uintptr_t>(e->next);
    __builtin_prefetch(reinterpret_cast<const void*>(next - k * sizeof(QrcGACEntry) -
                                                     offsetof(QrcGACTuple, entries)));
    __builtin_prefetch(reinterpret_cast<const void*>(next));
    invalidate(t);
    // Its entry at k heads the lost value's list.
    QrcGACEntry** spare;
    QrcGACEntry* after = e->next;
    lost->containing = after;
    *backLink(after, &spare) = &lost->containing;
    e->prev = nullptr;
    _busy = t;
    // The lost value left its domain: it is not resupported.
    if (isPair<R>()) {
      // No branch on k; the tuple supports at most the lost value and the other one.
      unlinkEntry(&t->entries[k ^ 1]);
      // Both read first: the choice takes no branch.
      QrcGACValue* s = t->supported;
      QrcGACValue* second = lost->nextSupported;
      s = s == lost ? second : s;
      if (s && s->var->holdsIndexed(s->value)) resupport<R>(s);
    } else {
      for (QrcInt j = 0; j < arity<R>(); ++j)
        if (j != k) unlinkEntry(&t->entries[j]);
      QrcGACValue* s = t->supported;
      while (s) {
        QrcGACValue* next = s->nextSupported;
        if (s != lost && s->var->holdsIndexed(s->value)) resupport<R>(s);
        s = next;
      }
    }
    _busy = nullptr;
    if (isAtPostPoint()) {
      // The values left are out of their domains for good.
      while (t->supported) {
        QrcGACValue* v = t->supported;
        unlinkSupported<R == 2>(v);
        v->support = nullptr;
        if (v->frontier) {
          QrcGACTuple* f = v->frontier;
          v->frontier = nullptr;
          --f->holds;
          if (f != t) freeIfUnused<R>(f);
        }
      }
    }
    // Its entries are unlinked.
    if (!t->supported && !t->holds) freeUnlinked(t);
  }
}

void QrcGACSchemaI::propagate() {
  enterChoicePoint();
  _busy = nullptr;
  if (__builtin_expect(_first != 0, 0)) return propagateFirst();
  qrcByArity(_arity, [&](auto r) { propagateLost<decltype(r)::value>(); });
}

void QrcGACSchemaI::propagateFirst() {
  clearPending();
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcIntExpI* x = _records[k].var;
    for (QrcInt v = x->getMin();;) {
      QrcGACValue* value = findValue(k, v);
      if (!value->support) resupport<0>(value);
      QrcInt next = x->getNextHigher(v);
      if (next <= v) break;
      v = next;
    }
  }
  _first = 0;
}

template <int R>
void QrcGACSchemaI::propagateLost() {
  // A variable leaves the pending list once its lost values are all
  // processed, so that after a failure the next choice point clears them.
  while (_pending) {
    QrcGACVar* r = _pending;
    while (r->lostCount) {
      QrcGACValue* value = r->lost[--r->lostCount];
      // The next one's record is read while this one is processed; after
      // the last one, this one: no branch on it.
      __builtin_prefetch(r->lost[r->lostCount - (r->lostCount != 0)]);
      value->lostMark = 0;
      if (value->containing) processLost<R>(value, r->wakePosition);
    }
    _pending = r->nextPending;
    r->pending = 0;
  }
}

template <int R>
inline void QrcGACSchemaI::undoChange(const QrcGACChange& c) {
  QrcGACValue* value = c.value;
  QrcGACTuple* cur = value->support;
  QrcGACTuple* curFrontier = value->frontier;
  unlinkSupported<R == 2>(value);
  value->support = c.support;
  if (c.support) {
    linkSupported(value, c.support);
    --c.support->holds;
  }
  // The change record's hold on the old frontier passes to the value.
  value->frontier = c.frontier;
  --orNone(curFrontier)->holds;
  value->stamp = c.stamp;
  freeIfUnused<R>(cur);
  if (curFrontier != cur) freeIfUnused<R>(curFrontier);
}

inline void QrcGACSchemaI::restore(QrcInt invalidated, QrcInt newlySupported, QrcInt replaced) {
  qrcByArity(_arity, [&](auto r) {
    restoreFrom<decltype(r)::value>(invalidated, newlySupported, replaced);
  });
}

QrcGoalI* QrcECRestorerI::execute() {
  _ct->restore(_invalidated, _newlySupported, _replaced);
  _ct->restorePending(_pending);
  return nullptr;
}

template <int R>
void QrcGACSchemaI::restoreFrom(QrcInt invalidated, QrcInt newlySupported, QrcInt replaced) {
  _busy = nullptr;
  // Latest first, as they were recorded.
  while (_invalidated.top > invalidated) {
    QrcGACTuple* t = _invalidated.items[--_invalidated.top];
    // The next one's record is read while this one's entries are linked.
    // After the last one, the one just taken: no branch on it.
    QrcInt ahead = _invalidated.top - (_invalidated.top > invalidated);
    uintptr_t next = reinterpret_cast<uintptr_t>(_invalidated.items[ahead]);
    __builtin_prefetch(reinterpret_cast<const void*>(next));
    if (R != 2) __builtin_prefetch(reinterpret_cast<const void*>(next + LineBytes));
    if (!t) continue;
    t->invalidSlot = -1;
    t->invalid = 0;
    linkEntries<R>(t);
  }
  while (_replaced.top > replaced) {
    undoChange<R>(_replaced.items[--_replaced.top]);
  }
  while (_newlySupported.top > newlySupported) {
    undoChange<R>(_newlySupported.items[--_newlySupported.top]);
  }
}

// ---------------------------------------------------------------- allowed tuples

void QrcGACSAllowedI::initialise() {
  QrcGACSchemaI::initialise();
  _rows = _set->getValues();
  _firstRecords = _set->getCount();
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcGACVar& r = _records[k];
    for (QrcInt i = 0; i < r.count; ++i)
      r.values[i].index = _set->getValueIndex(k, r.values[i].value);
  }
  _seeker.initialise(_manager, _set, _records, _arity);
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
    // A domain within a column of consecutive values is left as it is.
    QrcIntExpI* x = _vars->getVar(k);
    if (col.consecutive && x->getMin() >= col.first && x->getMax() <= col.first + col.size - 1)
      continue;
    QrcIntExp(x).setDomain(QrcIntArray(col.values));
  }
  addConstraint(new (_manager) QrcGACSAllowedI(_manager, _vars, _set));
}

QrcConstraintI* QrcGACSAllowedCallerCtI::makeCopy(QrcManagerI* target) const {
  return new (target)
      QrcGACSAllowedCallerCtI(target, _vars->copyForManager(target), _set->copyForManager(target));
}

// ---------------------------------------------------------------- creation

namespace {

QrcIntVarArrayI* checkVars(const QrcIntVarArray& vars) {
  QrcCheckOperands("QrcTableConstraint", {vars});
  return vars.getImpl();
}

QrcManagerI* predicateManager(const QrcIntVarArray& vars, QrcInt arity, const void* p) {
  if (!p) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcTableConstraint");
  QrcIntVarArrayI* a = vars.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcTableConstraint");
  QrcManagerI* m = a->getManager();
  if (a->getSize() != arity)
    m->getErrorReporter()->report(QrcArityError, "QrcTableConstraint",
                                  "the arity must be less than or equal to 3");
  checkVars(vars);
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
  QrcIntVarArrayI* a = checkVars(vars);
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
