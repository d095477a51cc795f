#include "qrctable.h"

#include <cstddef>
#include <ostream>

#include "qrcmanager.h"

namespace {

QrcSizeAllocatorI* poolOf(QrcManagerI* m) {
  return m->getSizeAllocator();
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
  QrcGACChange* newly = _newlySupported;
  QrcGACChange* replaced = _replaced;
  _newlySupported = nullptr;
  _replaced = nullptr;
  _ct->restore(&_invalidated, newly, replaced);
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
    for (QrcGACValue* v = r->lost; v; v = v->nextLost) v->isLost = 0;
    r->lost = nullptr;
    r->pending = 0;
  }
  _pending = nullptr;
}

void QrcWLConstraintI::enterChoicePoint() {
  QrcInt stamp = _manager->getStamp();
  if (stamp == _currentStamp) return;
  // Values pending from a branch that failed are back in their domains.
  _currentStamp = stamp;
  clearPending();
  _restorer = makeRestorer();
  _manager->addReversibleActionNoRestore(_restorer);
}

void QrcWLConstraintI::lostValues(QrcInt k) {
  enterChoicePoint();
  QrcGACVar* r = &_records[k];
  // The delta by ranges: only the indexed values inside each are visited.
  QrcIntVarDeltaIterator it(r->var);
  QrcInt a, b;
  bool any = false;
  while (it.nextRange(a, b)) {
    QrcInt i, end;
    if (r->collection) {
      i = r->collection->lowerBoundIndex(a);
      end = r->collection->lowerBoundIndex(b + 1);
    } else {
      i = a > r->first ? a - r->first : 0;
      end = b - r->first + 1 < r->count ? b - r->first + 1 : r->count;
    }
    for (; i < end; ++i) {
      QrcGACValue* value = &r->values[i];
      if (value->isLost) continue;
      value->isLost = 1;
      value->nextLost = r->lost;
      r->lost = value;
      any = true;
    }
  }
  if (!any) return;
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
    r.values = static_cast<QrcGACValue*>(
        _manager->allocate(static_cast<size_t>(r.count) * sizeof(QrcGACValue)));
    for (QrcInt i = 0; i < r.count; ++i) {
      QrcGACValue& v = r.values[i];
      v.var = &r;
      v.value = r.collection ? r.collection->getElement(i)->value : r.first + i;
      v.containing = nullptr;
      v.support = nullptr;
      v.frontier = nullptr;
      v.stamp = _postStamp;
      v.nextSupported = nullptr;
      v.prevSupported = nullptr;
      v.nextLost = nullptr;
      v.isLost = 0;
    }
    r.lost = nullptr;
    r.nextPending = nullptr;
    r.pending = 0;
  }
  _first = 1;
  for (QrcInt k = 0; k < _arity; ++k)
    _records[k].var->whenDomain(new (_manager) QrcWLConstraintIVarDomainI(_manager, this, k));
}

QrcRestorerI* QrcGACSchemaI::makeRestorer() {
  return new (_manager) QrcECRestorerI(_manager, this);
}

QrcInt QrcGACSchemaI::tupleBytes() const {
  return static_cast<QrcInt>(offsetof(QrcGACTuple, entries)) +
         _arity * static_cast<QrcInt>(sizeof(QrcGACEntry));
}

QrcGACTuple* QrcGACSchemaI::newTuple(const QrcInt* values, QrcTupleNode* node) {
  QrcInt bytes = tupleBytes() + (node ? 0 : _arity * static_cast<QrcInt>(sizeof(QrcInt)));
  QrcGACTuple* t = static_cast<QrcGACTuple*>(poolOf(_manager)->allocateSized(bytes));
  t->invalid = 0;
  t->supported = nullptr;
  t->nextInvalid = nullptr;
  t->prevInvalid = nullptr;
  t->holds = 0;
  t->node = node;
  if (node) {
    t->values = values;
  } else {
    QrcInt* own = reinterpret_cast<QrcInt*>(reinterpret_cast<char*>(t) + tupleBytes());
    for (QrcInt j = 0; j < _arity; ++j) own[j] = values[j];
    t->values = own;
  }
  for (QrcInt j = 0; j < _arity; ++j) {
    QrcGACEntry& e = t->entries[j];
    e.value = findValue(j, t->values[j]);
    e.tuple = t;
    e.next = nullptr;
    e.prev = nullptr;
  }
  linkEntries(t);
  return t;
}

bool QrcGACSchemaI::isValid(const QrcGACTuple* t) const {
  if (t->invalid) return false;
  for (QrcInt j = 0; j < _arity; ++j)
    if (!inDomain(j, t->values[j])) return false;
  return true;
}

void QrcGACSchemaI::linkEntries(QrcGACTuple* t) {
  for (QrcInt j = 0; j < _arity; ++j) {
    QrcGACEntry* e = &t->entries[j];
    if (e->prev) continue;
    QrcGACEntry** head = &e->value->containing;
    e->next = *head;
    if (e->next) e->next->prev = &e->next;
    e->prev = head;
    *head = e;
  }
}

namespace {

void unlinkEntry(QrcGACEntry* e) {
  if (!e->prev) return;
  *e->prev = e->next;
  if (e->next) e->next->prev = e->prev;
  e->next = nullptr;
  e->prev = nullptr;
}

void unlinkSupported(QrcGACValue* v) {
  if (!v->prevSupported) return;
  *v->prevSupported = v->nextSupported;
  if (v->nextSupported) v->nextSupported->prevSupported = v->prevSupported;
  v->nextSupported = nullptr;
  v->prevSupported = nullptr;
}

void linkSupported(QrcGACValue* v, QrcGACTuple* t) {
  v->nextSupported = t->supported;
  if (v->nextSupported) v->nextSupported->prevSupported = &v->nextSupported;
  v->prevSupported = &t->supported;
  t->supported = v;
}

void unlinkInvalid(QrcGACTuple* t) {
  if (!t->prevInvalid) return;
  *t->prevInvalid = t->nextInvalid;
  if (t->nextInvalid) t->nextInvalid->prevInvalid = t->prevInvalid;
  t->nextInvalid = nullptr;
  t->prevInvalid = nullptr;
}

}  // namespace

void QrcGACSchemaI::unlinkEntries(QrcGACTuple* t) {
  for (QrcInt j = 0; j < _arity; ++j) unlinkEntry(&t->entries[j]);
}

void QrcGACSchemaI::invalidate(QrcGACTuple* t) {
  if (t->invalid) return;
  t->invalid = 1;
  if (isAtPostPoint()) return;
  QrcGACTuple** head = _restorer->invalidatedHead();
  t->nextInvalid = *head;
  if (t->nextInvalid) t->nextInvalid->prevInvalid = &t->nextInvalid;
  t->prevInvalid = head;
  *head = t;
}

void QrcGACSchemaI::freeIfUnused(QrcGACTuple* t) {
  if (!t || t == _busy || t->supported || t->holds) return;
  unlinkEntries(t);
  unlinkInvalid(t);
  QrcInt bytes = tupleBytes() + (t->node ? 0 : _arity * static_cast<QrcInt>(sizeof(QrcInt)));
  poolOf(_manager)->freeSized(t, bytes);
}

QrcGACTuple* QrcGACSchemaI::findValid(QrcGACValue* value) {
  QrcGACEntry* e = value->containing;
  while (e) {
    QrcGACEntry* next = e->next;
    QrcGACTuple* t = e->tuple;
    if (isValid(t)) {
      if (e != value->containing) {
        unlinkEntry(e);
        e->next = value->containing;
        e->next->prev = &e->next;
        e->prev = &value->containing;
        value->containing = e;
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
  QrcGACChange* c =
      static_cast<QrcGACChange*>(poolOf(_manager)->allocateSized(sizeof(QrcGACChange)));
  c->value = value;
  c->support = value->support;
  c->frontier = value->frontier;
  c->stamp = value->stamp;
  if (c->support) ++c->support->holds;
  if (c->frontier) ++c->frontier->holds;
  _restorer->addChange(c);
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
  while (lost->containing) {
    QrcGACTuple* t = lost->containing->tuple;
    invalidate(t);
    unlinkEntries(t);
    _busy = t;
    QrcGACValue* s = t->supported;
    while (s) {
      QrcGACValue* next = s->nextSupported;
      if (inDomain(s->var->position, s->value)) resupport(s);
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
    while (r->lost) {
      QrcGACValue* value = r->lost;
      r->lost = value->nextLost;
      value->isLost = 0;
      processLost(value);
    }
    _pending = r->nextPending;
    r->pending = 0;
  }
}

void QrcGACSchemaI::undoChange(QrcGACChange* c) {
  QrcGACValue* value = c->value;
  QrcGACTuple* cur = value->support;
  QrcGACTuple* curFrontier = value->frontier;
  unlinkSupported(value);
  value->support = c->support;
  if (c->support) {
    linkSupported(value, c->support);
    --c->support->holds;
  }
  // The change record's hold on the old frontier passes to the value.
  value->frontier = c->frontier;
  if (curFrontier) --curFrontier->holds;
  value->stamp = c->stamp;
  poolOf(_manager)->freeSized(c, sizeof(QrcGACChange));
  freeIfUnused(cur);
  if (curFrontier != cur) freeIfUnused(curFrontier);
}

void QrcGACSchemaI::restore(QrcGACTuple** invalidated, QrcGACChange* newlySupported,
                            QrcGACChange* replaced) {
  _busy = nullptr;
  while (*invalidated) {
    QrcGACTuple* t = *invalidated;
    unlinkInvalid(t);
    t->invalid = 0;
    linkEntries(t);
  }
  while (replaced) {
    QrcGACChange* next = replaced->next;
    undoChange(replaced);
    replaced = next;
  }
  while (newlySupported) {
    QrcGACChange* next = newlySupported->next;
    undoChange(newlySupported);
    newlySupported = next;
  }
}

// ---------------------------------------------------------------- allowed tuples

bool QrcGACSAllowedI::holdsDomainValues(const QrcTupleNode* t) const {
  for (QrcInt j = 0; j < _arity; ++j)
    if (!inDomain(j, t->values[j])) return false;
  return true;
}

QrcGACTuple* QrcGACSAllowedI::seekSupport(QrcGACValue* value) {
  QrcInt k = value->var->position, v = value->value;
  QrcTupleNode* t = value->frontier ? value->frontier->node->columnNext[k] : _set->getFirst(k, v);
  QrcInt mode = _set->getStorageMode();
  while (t) {
    if (holdsDomainValues(t)) return newTuple(t->values, t);
    if (mode == 1)
      t = jumpMode1(t, k, v);
    else if (mode == 2)
      t = jumpMode2(t, k, v);
    else
      t = t->columnNext[k];
  }
  return nullptr;
}

// From a tuple holding v at k, the first tuple with every value in its
// domain: at each position whose value left its domain, the nearest newer
// tuple holding a domain value there, then the nearest holding v at k.
QrcTupleNode* QrcGACSAllowedI::jumpMode1(QrcTupleNode* t, QrcInt k, QrcInt v) {
  QrcInt width = _set->getWidth();
  QrcInt vIndex = _set->getValueIndex(k, v);
  for (;;) {
    bool moved = false;
    for (QrcInt c = 0; c < _arity; ++c) {
      if (c == k || inDomain(c, t->values[c])) continue;
      QrcIntExpI* x = _records[c].var;
      const QrcTupleColumn& col = _set->getColumn(c);
      QrcTupleNode** next = t->mode1()->next + c * width;
      QrcTupleNode* best = nullptr;
      if (x->getSize() <= col.size) {
        for (QrcInt w = x->getMin();;) {
          QrcInt i = _set->getValueIndex(c, w);
          if (i >= 0 && next[i] && (!best || next[i]->number < best->number)) best = next[i];
          QrcInt after = x->getNextHigher(w);
          if (after <= w) break;
          w = after;
        }
      } else {
        for (QrcInt i = 0; i < col.size; ++i)
          if (next[i] && (!best || next[i]->number < best->number) && x->isInDomain(col.values[i]))
            best = next[i];
      }
      if (!best) return nullptr;
      t = best;
      moved = true;
      while (t->values[k] != v) {
        t = t->mode1()->next[k * width + vIndex];
        if (!t) return nullptr;
      }
    }
    if (!moved) return t;
  }
}

// The first tuple, not older than the target, that may hold a domain value
// at c; cur walks the (k, v) list and no support lies between the target
// and cur. Null when no tuple remains.
QrcTupleMode2* QrcGACSAllowedI::probe(QrcInt c, QrcInt k, QrcInt v, QrcTupleMode2* target,
                                      QrcTupleNode*& cur) {
  QrcIntExpI* x = _records[c].var;
  if (x->isInDomain(cur->values[c]) && cur->number >= target->number) return cur->mode2();
  cur = cur->columnNext[k];
  if (!cur) return nullptr;
  QrcInt size = x->getSize();
  QrcTupleMode2* r = cur->number >= target->number ? cur->mode2() : target;
  QrcInt noted = r->probeValue[c];
  QrcTupleMode2* best = nullptr;
  for (bool firstTurn = true;; firstTurn = false) {
    if (size == 0 || (!firstTurn && r->probeValue[c] == noted)) return best;
    if (x->isInDomain(cur->values[c]) && cur->number >= r->number) return cur->mode2();
    cur = cur->columnNext[k];
    if (!cur) return nullptr;
    if (best && cur->number >= best->number) return cur->mode2();
    if (x->isInDomain(r->node->values[c])) break;
    if (x->isInDomain(r->probeValue[c])) {
      --size;
      QrcTupleMode2* link = r->probeLink[c];
      if (link && (!best || link->number < best->number)) {
        best = link;
        if (cur->number >= best->number) return cur->mode2();
      }
    }
    r = r->newer;
    if (!r) return best;
  }
  if (r->number <= cur->number) return cur->mode2();
  if (r->node->values[k] == v) cur = r->node;
  return r;
}

QrcTupleNode* QrcGACSAllowedI::jumpMode2(QrcTupleNode* failed, QrcInt k, QrcInt v) {
  QrcTupleNode* cur = failed->columnNext[k];
  if (!cur) return nullptr;
  QrcTupleMode2* target = cur->mode2();
  for (;;) {
    QrcTupleMode2* before = target;
    for (QrcInt c = 0; c < _arity; ++c) {
      if (c == k) continue;
      target = probe(c, k, v, target, cur);
      if (!target) return nullptr;
    }
    // The first tuple holding v at k, not older than the target.
    for (;;) {
      if (cur->number >= target->number) {
        target = cur->mode2();
        break;
      }
      if (target->node->values[k] == v) break;
      if (target->probeValue[k] == v) {
        target = target->probeLink[k];
        if (!target) return nullptr;
        break;
      }
      cur = cur->columnNext[k];
      target = target->newer;
      if (!cur || !target) return nullptr;
    }
    cur = target->node;
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
