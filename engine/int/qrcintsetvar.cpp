// Integer-set variables: construction, the cardinality link, changes with
// their deltas and deferral, and the event handler.
#include "qrcintsetvar.h"

#include <ostream>

#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qroexception.h"

// ---------------------------------------------------------------- handler

QrcIntSetVarEventHandlerI::QrcIntSetVarEventHandlerI(QrcManagerI* manager)
    : QrcEventHandlerI(manager),
      _domainDemons(manager),
      _boundDemons(manager),
      _leftovers{nullptr, nullptr, nullptr} {}

QrcIntSetVarI* QrcIntSetVarEventHandlerI::getVar() const {
  return static_cast<QrcIntSetVarI*>(_owner);
}

QrcSearchMonitorI* QrcIntSetVarEventHandlerI::monitor() const {
  return _monitor ? _monitor : _manager->getPropagationQueue()->getMonitor();
}

void QrcIntSetVarEventHandlerI::freeLeftovers() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  for (QrcPropagationQueueI::IntCell*& l : _leftovers) {
    q->freeCells(l);
    l = nullptr;
  }
}

void QrcIntSetVarEventHandlerI::clearEvents() {
  _state = Idle;
  freeLeftovers();
  getVar()->clearDeltas();
}

QrcEventHandlerI* QrcIntSetVarEventHandlerI::makeCopy(QrcManagerI* manager) const {
  return new (manager) QrcIntSetVarEventHandlerI(manager);
}

QrcInt QrcIntSetVarEventHandlerI::getNbDemons() const {
  return _domainDemons.getSize() + _boundDemons.getSize();
}

void QrcIntSetVarEventHandlerI::whenDomain(QrcDemonI* demon) {
  _domainDemons.addConstraint(demon);
  if (_state == Queued) demon->markPending();
}

void QrcIntSetVarEventHandlerI::traceWithMonitor(QrcSearchMonitorI* m) {
  if (m) m->notifyIntSetVarProcessBegin(this);
}

void QrcIntSetVarEventHandlerI::traceWithMonitor2(QrcSearchMonitorI* m) {
  if (m) m->notifyIntSetVarProcessEnd(this);
}

QrcDemonI* QrcIntSetVarEventHandlerI::getFirstDemon() const {
  if (_domainDemons.getHead()) return static_cast<QrcDemonI*>(_domainDemons.getHead()->item);
  if (_boundDemons.getHead()) return static_cast<QrcDemonI*>(_boundDemons.getHead()->item);
  return nullptr;
}

#define QRC_SET_HOOK(NAME, MON)                                \
  void QrcIntSetVarEventHandlerI::NAME(QrcInt v) {             \
    if (QrcSearchMonitorI* m = monitor()) m->MON(getVar(), v); \
  }
QRC_SET_HOOK(notifyRemovePossibleBegin, notifyIntSetVarRemovePossibleBegin)
QRC_SET_HOOK(notifyRemovePossibleEnd, notifyIntSetVarRemovePossibleEnd)
QRC_SET_HOOK(notifyAddRequiredBegin, notifyIntSetVarAddRequiredBegin)
QRC_SET_HOOK(notifyAddRequiredEnd, notifyIntSetVarAddRequiredEnd)
#undef QRC_SET_HOOK

void QrcIntSetVarEventHandlerI::notify() {
  QrcIntSetVarI* x = getVar();
  x->invalidateParents();
  if (_domainDemons.getHead()) _domainDemons.markPending();
  // Bound demons only become due once the variable is bound.
  if (_boundDemons.getHead() && x->isBound()) _boundDemons.markPending();
  schedule();
}

void QrcIntSetVarEventHandlerI::runDemons() {
  QrcIntSetVarI* x = getVar();
  if (_boundDemons.getHead() && x->isBound()) _boundDemons.propagatePending();
  if (_domainDemons.getHead()) _domainDemons.propagatePending();
  x->clearDeltas();
}

namespace {

// The list in request order (the queue keeps the most recent request first).
QrcPropagationQueueI::IntCell* reversed(QrcPropagationQueueI::IntCell* list) {
  QrcPropagationQueueI::IntCell* out = nullptr;
  while (list) {
    QrcPropagationQueueI::IntCell* next = list->next;
    list->next = out;
    out = list;
    list = next;
  }
  return out;
}

// Applies the values of a list in turn, each as the demon that asked for it;
// the list keeps what is left, for a failure to free.
template <class Apply>
void replayValues(QrcManagerI* m, QrcPropagationQueueI::IntCell*& list, Apply apply) {
  QrcPropagationQueueI* q = m->getPropagationQueue();
  while (QrcPropagationQueueI::IntCell* c = list) {
    list = c->next;
    QrcInt v = c->value;
    m->setCurrentDemon(c->cause);
    q->freeCell(c);
    apply(v);
  }
}

}  // namespace

void QrcIntSetVarEventHandlerI::process() {
  QrcIntSetVarI* x = getVar();
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  freeLeftovers();
  _state = Processing;
  q->clearDeferred();
  runDemons();
  QrcInt before = _state;
  _state = Idle;
  if (before != ProcessingDeferred) return;
  // Ranges are kept as (start, end) pairs: reversing by pairs keeps each pair.
  QrcPropagationQueueI::IntCell* ranges = nullptr;
  for (QrcPropagationQueueI::IntCell* r = q->takeDeferredRanges(); r;) {
    QrcPropagationQueueI::IntCell* end = r->next;
    QrcPropagationQueueI::IntCell* nextRange = end->next;
    end->next = ranges;
    ranges = r;
    r = nextRange;
  }
  _leftovers[0] = reversed(q->takeDeferredValues());
  _leftovers[1] = reversed(q->takeDeferredAdditions());
  _leftovers[2] = ranges;
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  replayValues(_manager, _leftovers[0], [x](QrcInt v) { x->removePossible(v); });
  replayValues(_manager, _leftovers[1], [x](QrcInt v) { x->addRequired(v); });
  while (QrcPropagationQueueI::IntCell* c = _leftovers[2]) {
    QrcPropagationQueueI::IntCell* end = c->next;
    _leftovers[2] = end->next;
    QrcInt a = c->value, b = end->value;
    _manager->setCurrentDemon(c->cause);
    q->freeCell(c);
    q->freeCell(end);
    x->removePossibleRange(a, b);
  }
  _manager->setCurrentDemon(saved);
}

// ---------------------------------------------------------------- construction

QrcIntSetVarI::QrcIntSetVarI(QrcManagerI* manager, QrcInt min, QrcInt max, const char* name)
    : QrcExprI(manager, nullptr, name), _min(min), _max(max) {
  if (min > max) fail();
  if (static_cast<QrcUInt>(max) - static_cast<QrcUInt>(min) >= (QrcUInt(1) << 31))
    throw QroMemoryException();
  init(new (manager) QrcIntSetI(manager, min, max, 1, 1),
       new (manager) QrcIntSetI(manager, min, max, 0, 1), max - min + 1);
}

QrcIntSetVarI::QrcIntSetVarI(QrcIntCollectionI* coll, const char* name)
    : QrcExprI(coll->getManager(), nullptr, name),
      _min(coll->getSmallest()),
      _max(coll->getLargest()) {
  init(new (_manager) QrcIntSetI(coll, 1, 1, 1), new (_manager) QrcIntSetI(coll, 0, 1, 1),
       coll->getSize());
}

QrcIntSetVarI::QrcIntSetVarI(QrcManagerI* manager, const QrcIntSetI* set, const char* name)
    : QrcExprI(manager, nullptr, name), _min(set->getMin()), _max(set->getMax()) {
  QrcIntSetI* required = set->getCollection() ? new (manager)
                                                    QrcIntSetI(set->getCollection(), 0, 0, 1)
                                              : new (manager) QrcIntSetI(manager, _min, _max, 0, 1);
  init(set->copy(manager), required, set->getSize());
}

QrcIntSetVarI::QrcIntSetVarI(QrcManagerI* target, const QrcIntSetVarI& source)
    : QrcExprI(target, source),
      _min(source._min),
      _max(source._max),
      _possible(source._possible->copy(target)),
      _required(source._required->copy(target)),
      _card(static_cast<QrcIntExpI*>(source._card->getCopyForManager(target))) {
  linkCardinality();
}

void QrcIntSetVarI::init(QrcIntSetI* possible, QrcIntSetI* required, QrcInt cardMax) {
  _possible = possible;
  _required = required;
  _card = new (_manager) QrcIntExpI(_manager, 0, cardMax, nullptr);
  QrcEventHandlerI* h = makeEventHandler();
  h->setOwner(this);
  setEventHandler(h);
  _manager->incrementVariableCount();
  linkCardinality();
}

QrcEventHandlerI* QrcIntSetVarI::makeEventHandler() {
  return new (_manager) QrcIntSetVarEventHandlerI(_manager);
}

QrcExprI* QrcIntSetVarI::makeCopy(QrcManagerI* target) const {
  return new (target) QrcIntSetVarI(target, *this);
}

void QrcIntSetVarI::linkCardinality() {
  if (!_manager->isInEditMode()) {
    _card->whenRange(new (_manager) QrcCardTouchDemonI(_manager, this));
    return;
  }
  _manager->add(new (_manager) QrcIntSetVarCardinalityCtI(_manager, this));
}

void QrcIntSetVarI::notifyMonitor(QrcAny, QrcPropagationQueueI* queue) {
  QrcSearchMonitorI* mon = _handler ? getSetHandler()->getOwnMonitor() : nullptr;
  if (!mon) mon = queue->getMonitor();
  if (mon) mon->notifyIntSetVar(this);
}

// ---------------------------------------------------------------- reading

bool QrcIntSetVarI::isBound() const {
  if (isExtensible()) return false;
  return _required == _possible || _required->getSize() == _possible->getSize();
}

bool QrcIntSetVarI::canBeSubsetOf(const QrcIntSetVarI* other) const {
  QrcInt need = _card->rawMin();
  if (need == 0) return true;
  if (need > other->_card->rawMax()) return false;
  QrcInt shared = 0, v;
  QrcIntSetIterator it(_possible);
  while (it.next(v)) {
    bool inOther = other->isPossible(v);
    if (!inOther && _required->contains(v)) return false;
    if (inOther) ++shared;
  }
  return shared >= need;
}

QrcInt QrcIntSetVarI::getFirstUndecided() const {
  QrcInt v, last = _min;
  QrcIntSetIterator it(_possible);
  while (it.next(v)) {
    if (!_required->contains(v)) return v;
    last = v;
  }
  return last;
}

void QrcIntSetVarI::display(std::ostream& os) const {
  if (getName()) os << getName();
  os << "[";
  QrcInt v;
  QrcIntSetIterator it(_possible);
  while (it.next(v)) os << (_required->contains(v) ? " " : " ?") << v;
  os << "] (";
  _card->display(os);
  os << ")";
}

std::ostream& operator<<(std::ostream& os, const QrcIntSetVarI* var) {
  if (!var) QrcFatalError(QrcEmptyHandleError, "empty handle", "operator<<");
  var->display(os);
  return os;
}

// ---------------------------------------------------------------- deltas

QrcIntSetVarI::Cell* QrcIntSetVarI::getDelta(QrcInt kind) const {
  if (kind == 1) return _added;
  if (kind == 2) return nullptr;
  return _removedSingles;
}

QrcIntSetVarI::Cell* QrcIntSetVarI::getDeltaRanges(QrcInt kind) const {
  if (kind == 1 || kind == 2) return nullptr;
  return _removedRanges;
}

void QrcIntSetVarI::clearDeltas() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->freeCells(_added);
  q->freeCells(_removedSingles);
  q->freeCells(_removedRanges);
  _added = _removedSingles = _removedRanges = nullptr;
}

bool QrcIntSetVarI::areNeighbours(QrcInt a, QrcInt b) const {
  if (a >= b) return false;
  QrcInt n = a;
  return _possible->nextInUniverse(n) && n == b;
}

void QrcIntSetVarI::recordRemovedRange(QrcInt a, QrcInt b) {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  Cell* end = q->newCell();
  end->value = b;
  end->next = _removedRanges;
  Cell* start = q->newCell();
  start->value = a;
  start->next = end;
  _removedRanges = start;
}

void QrcIntSetVarI::recordRemovedPossible(QrcInt v) {
  if (Cell* s = _removedSingles) {
    if (areNeighbours(s->value, v) || areNeighbours(v, s->value)) {
      QrcInt a = s->value < v ? s->value : v, b = s->value < v ? v : s->value;
      _removedSingles = s->next;
      _manager->getPropagationQueue()->freeCell(s);
      recordRemovedRange(a, b);
      return;
    }
  }
  if (Cell* r = _removedRanges) {
    if (areNeighbours(r->next->value, v)) {
      r->next->value = v;
      return;
    }
    if (areNeighbours(v, r->value)) {
      r->value = v;
      return;
    }
  }
  Cell* c = _manager->getPropagationQueue()->newCell();
  c->value = v;
  c->next = _removedSingles;
  _removedSingles = c;
}

void QrcIntSetVarI::deferRemovedPossible(QrcInt v) {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  if (Cell* s = q->peekDeferredValues()) {
    if (areNeighbours(s->value, v) || areNeighbours(v, s->value)) {
      QrcInt a = s->value < v ? s->value : v, b = s->value < v ? v : s->value;
      q->dropLastDeferredValue();
      q->deferValueRange(a, b);
      return;
    }
  }
  if (Cell* r = q->peekDeferredRanges()) {
    if (areNeighbours(r->next->value, v)) {
      q->setLastDeferredRangeMax(v);
      return;
    }
    if (areNeighbours(v, r->value)) {
      q->setLastDeferredRangeMin(v);
      return;
    }
  }
  q->deferValue(v);
}

// ---------------------------------------------------------------- changes

bool QrcIntSetVarI::tracing() const {
  return _handler && _manager->getPropagationQueue()->isTracing();
}

void QrcIntSetVarI::markProcessingDeferred() {
  _handler->setState(QrcIntSetVarEventHandlerI::ProcessingDeferred);
}

void QrcIntSetVarI::addRequired(QrcInt v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { addRequired(v); });
  bool known = v >= _min && v <= _max && _possible->contains(v);
  if (!known) {
    if (tracing()) getSetHandler()->notifyAddRequiredBegin(v);
    fail();
  }
  if (_required->contains(v)) return;
  if (!_handler) {
    _required->add(v);
    propagateCardinality();
    return;
  }
  if (isProcessing()) {
    markProcessingDeferred();
    _manager->getPropagationQueue()->deferAddition(v);
    return;
  }
  bool trace = tracing();
  if (trace) getSetHandler()->notifyAddRequiredBegin(v);
  _required->add(v);
  if (trace) getSetHandler()->notifyAddRequiredEnd(v);
  Cell* c = _manager->getPropagationQueue()->newCell();
  c->value = v;
  c->next = _added;
  _added = c;
  getSetHandler()->notify();
  propagateCardinality();
}

void QrcIntSetVarI::addRequired(const QrcIntSetI* set) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { addRequired(set); });
  QrcInt v;
  QrcIntSetIterator it(set);
  while (it.next(v)) addRequired(v);
}

void QrcIntSetVarI::removePossible(QrcInt v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { removePossible(v); });
  if (v < _min || v > _max) return;
  QrcIntCollectionI* coll = _possible->getCollection();
  if (coll && !coll->find(v)) return;
  removePossibleAt(v);
}

void QrcIntSetVarI::removePossibleAt(QrcInt v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { removePossibleAt(v); });
  if (v < _min || v > _max || !_possible->contains(v)) return;
  if (_required->contains(v)) {
    if (tracing()) getSetHandler()->notifyRemovePossibleBegin(v);
    fail();
  }
  if (!_handler) {
    _possible->remove(v);
    propagateCardinality();
    return;
  }
  if (isProcessing()) {
    markProcessingDeferred();
    deferRemovedPossible(v);
    return;
  }
  bool trace = tracing();
  if (trace) getSetHandler()->notifyRemovePossibleBegin(v);
  _possible->remove(v);
  if (trace) getSetHandler()->notifyRemovePossibleEnd(v);
  recordRemovedPossible(v);
  getSetHandler()->notify();
  propagateCardinality();
}

void QrcIntSetVarI::removePossibleRange(QrcInt a, QrcInt b) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { removePossibleRange(a, b); });
  if (a < _min) a = _min;
  if (b > _max) b = _max;
  if (a > b) return;
  if (_required->intersectsRange(a, b)) {
    if (tracing()) getSetHandler()->notifyRemovePossibleBegin(_required->firstMemberInRange(a, b));
    fail();
  }
  if (!_possible->intersectsRange(a, b)) return;
  if (!_handler) {
    _possible->removeRange(a, b);
    propagateCardinality();
    return;
  }
  if (isProcessing()) {
    markProcessingDeferred();
    if (a == b)
      deferRemovedPossible(a);
    else
      _manager->getPropagationQueue()->deferValueRange(a, b);
    return;
  }
  // Only the values possible until now are recorded, as runs of universe
  // neighbours, so that the delta holds exactly what this step removed.
  bool trace = tracing();
  QrcInt v = _possible->firstMemberInRange(a, b);
  QrcInt runStart = v, runEnd = v;
  bool inRun = false;
  while (v >= a && v <= b) {
    if (trace) getSetHandler()->notifyRemovePossibleBegin(v);
    _possible->remove(v);
    if (trace) getSetHandler()->notifyRemovePossibleEnd(v);
    if (inRun && areNeighbours(runEnd, v)) {
      runEnd = v;
    } else {
      if (inRun)
        runStart == runEnd ? recordRemovedPossible(runStart) : recordRemovedRange(runStart, runEnd);
      runStart = runEnd = v;
      inRun = true;
    }
    if (v == b) break;
    QrcInt next = _possible->firstMemberInRange(v + 1, b);
    if (next == v) break;
    v = next;
  }
  if (inRun)
    runStart == runEnd ? recordRemovedPossible(runStart) : recordRemovedRange(runStart, runEnd);
  getSetHandler()->notify();
  propagateCardinality();
}

void QrcIntSetVarI::restrictPossible(const QrcIntSetI* set) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { restrictPossible(set); });
  QrcIntCollectionI* coll = _possible->getCollection();
  QrcInt v;
  QrcIntSetIterator it(_possible);
  // The iterator reads the bits as it goes, so removing behind it is safe.
  while (it.next(v)) {
    if (set->contains(v)) continue;
    if (coll && !coll->find(v)) continue;
    removePossibleAt(v);
  }
}

// ---------------------------------------------------------------- cardinality

void QrcIntSetVarI::propagateCardinality() {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { propagateCardinality(); });
  QrcInt r = _required->getSize(), p = _possible->getSize();
  _card->setRange(r, p);
  // The cardinality's own demons may have decided the sets meanwhile.
  r = _required->getSize();
  p = _possible->getSize();
  if (r >= p) return;
  if (_card->getMin() == p)
    requireAllPossible();
  else if (_card->getMax() == r)
    restrictPossibleToRequired();
}

void QrcIntSetVarI::requireAllPossible() {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { requireAllPossible(); });
  QrcInt v;
  if (_handler && isProcessing()) {
    // Deferred one by one: each addition is recorded when it is applied.
    markProcessingDeferred();
    QrcIntSetIterator it(_possible);
    while (it.next(v))
      if (!_required->contains(v)) _manager->getPropagationQueue()->deferAddition(v);
    return;
  }
  if (_handler) {
    QrcPropagationQueueI* q = _manager->getPropagationQueue();
    QrcIntSetIterator it(_possible);
    while (it.next(v)) {
      if (_required->contains(v)) continue;
      Cell* c = q->newCell();
      c->value = v;
      c->next = _added;
      _added = c;
    }
  }
  _manager->saveValue(&_required);
  _required = _possible;
  if (_handler) getSetHandler()->notify();
}

void QrcIntSetVarI::restrictPossibleToRequired() {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([&] { restrictPossibleToRequired(); });
  QrcInt v;
  if (_handler && isProcessing()) {
    markProcessingDeferred();
    QrcIntSetIterator it(_possible);
    while (it.next(v))
      if (!_required->contains(v)) deferRemovedPossible(v);
    return;
  }
  QrcIntSetI* old = _possible;
  _manager->saveValue(&_possible);
  _possible = _required;
  if (!_handler) return;
  QrcIntSetIterator it(old);
  while (it.next(v))
    if (!_required->contains(v)) recordRemovedPossible(v);
  getSetHandler()->notify();
}

// ---------------------------------------------------------------- demons

namespace {

// A truth expression's demon only makes the expression a parent, so that its
// cached bounds are invalidated by the variable's changes.
bool attachedAsParent(QrcIntSetVarI* x, QrcDemonI* demon) {
  QrcExprI* meta = static_cast<QrcExprI*>(demon->getMetaExpression());
  if (meta) x->addParent(meta);
  return meta != nullptr;
}

}  // namespace

void QrcIntSetVarI::whenDomain(QrcDemonI* demon) {
  if (isBound() || !_handler || attachedAsParent(this, demon)) return;
  _handler->whenDomain(demon);
}

void QrcIntSetVarI::whenValue(QrcDemonI* demon) {
  if (isBound() || !_handler || attachedAsParent(this, demon)) return;
  getSetHandler()->getBoundDemons().addConstraint(demon);
  if (_handler->getState() == QrcEventHandlerI::Queued) demon->markPending();
}

void QrcCardTouchDemonI::display(std::ostream& os) const {
  os << "QrcCardTouchDemon";
}

void QrcIntSetVarCardinalityCtI::display(std::ostream& os) const {
  os << "QrcIntSetVarCardinalityCtI(";
  _var->display(os);
  os << ") ";
}
