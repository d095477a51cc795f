#include <ostream>
#include <typeinfo>

#include "qrcintarith.h"
#include "qrcintexact.h"
#include "qrcintexp.h"
#include "qrcintutil.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"

// ---------------------------------------------------------------- handler

QrcIntVarEventHandlerI::QrcIntVarEventHandlerI(QrcManagerI* manager, QrcInt oldMin, QrcInt oldMax)
    : QrcEventHandlerI(manager),
      _minStamp(manager->getStamp()),
      _maxStamp(manager->getStamp()),
      _oldMin(oldMin),
      _oldMax(oldMax),
      _valueDemons(manager),
      _rangeDemons(manager),
      _domainDemons(manager),
      _removed(nullptr),
      _removedRanges(nullptr),
      _links(nullptr),
      _scaleLinks(nullptr),
      _suspended() {}

QrcSearchMonitorI* QrcIntVarEventHandlerI::monitor() const {
  return _monitor ? _monitor : _manager->getPropagationQueue()->getMonitor();
}

void QrcIntVarEventHandlerI::suspend() {
  dropStaleRemovals();
  if (_suspended.getValue() == 0) _suspended.set(_manager, _manager->getSearchDepth() + 1);
}

void QrcIntVarEventHandlerI::resume() {
  if (_suspended.getValue() != 0) _suspended.set(_manager, 0);
}

// Removals gathered by a handler that is no longer suspended are stale: it
// was resumed by backtracking.
void QrcIntVarEventHandlerI::resumeHolding(Held& held) {
  if (_suspended.getValue()) {
    held.removed = QrcPropagationQueueI::joined(_removed, held.removed);
    held.removedRanges = QrcPropagationQueueI::joined(_removedRanges, held.removedRanges);
    _removed = _removedRanges = nullptr;
    resume();
  } else {
    dropStaleRemovals();
  }
  if (_oldMin < held.oldMin) held.oldMin = _oldMin;
  if (_oldMax > held.oldMax) held.oldMax = _oldMax;
  _oldMin = held.oldMin;
  _oldMax = held.oldMax;
}

// Queued before the removals come back, which an idle handler would drop as
// stale.
void QrcIntVarEventHandlerI::handBack(Held& held) {
  QrcIntExpI* x = getVar();
  if (held.oldMin < _oldMin) _oldMin = held.oldMin;
  if (held.oldMax > _oldMax) _oldMax = held.oldMax;
  Held back = held;
  held = Held();
  if ((back.removed || back.removedRanges) && _domainDemons.getHead()) {
    _domainDemons.markPending();
    enqueue();
    _removed = QrcPropagationQueueI::joined(_removed, back.removed);
    _removedRanges = QrcPropagationQueueI::joined(_removedRanges, back.removedRanges);
  } else {
    dropHeld(back);
  }
  if (_oldMin < x->_min || _oldMax > x->_max) notifyBoundsChange(x->_min, x->_max);
}

void QrcIntVarEventHandlerI::dropHeld(Held& held) {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->freeCells(held.removed);
  q->freeCells(held.removedRanges);
  held = Held();
}

namespace {
// A copy of list, in the same order.
QrcPropagationQueueI::IntCell* copied(QrcPropagationQueueI* q,
                                      const QrcPropagationQueueI::IntCell* list) {
  QrcPropagationQueueI::IntCell* head = nullptr;
  QrcPropagationQueueI::IntCell** end = &head;
  for (; list; list = list->next) {
    QrcPropagationQueueI::IntCell* c = q->newCell();
    c->value = list->value;
    c->cause = list->cause;
    *end = c;
    end = &c->next;
  }
  return head;
}
}  // namespace

// The copies go after the removals of the nested search, which are more
// recent; its processing frees them, or its end drops them.
void QrcIntVarEventHandlerI::lendHeld(const Held& held) {
  if ((!held.removed && !held.removedRanges) || !_domainDemons.getHead()) return;
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  _removed = QrcPropagationQueueI::joined(_removed, copied(q, held.removed));
  _removedRanges = QrcPropagationQueueI::joined(_removedRanges, copied(q, held.removedRanges));
  _domainDemons.markPending();
  enqueue();
}

void QrcIntVarEventHandlerI::clearEvents() {
  _state = Idle;
  _manager->getPropagationQueue()->freeCells(_removed);
  _removed = nullptr;
  if (_removedRanges) {
    _manager->getPropagationQueue()->freeCells(_removedRanges);
    _removedRanges = nullptr;
  }
}

QrcEventHandlerI* QrcIntVarEventHandlerI::makeCopy(QrcManagerI* manager) const {
  QrcIntVarEventHandlerI* h = new (manager) QrcIntVarEventHandlerI(manager, _oldMin, _oldMax);
  h->_minStamp = 0;
  h->_maxStamp = 0;
  return h;
}

// An offset link counts as the demon it stands for.
QrcInt QrcIntVarEventHandlerI::getNbDemons() const {
  QrcInt n = _valueDemons.getSize() + _rangeDemons.getSize() + _domainDemons.getSize();
  for (OffsetLink* l = _links; l; l = l->next) ++n;
  for (ScaleLink* l = _scaleLinks; l; l = l->next) ++n;
  return n;
}

void QrcIntVarEventHandlerI::addScaleLink(QrcIntExpI* partner, QrcInt factor, bool product) {
  _manager->saveValue(&_scaleLinks);
  _scaleLinks = new (_manager) ScaleLink{_scaleLinks, partner, factor, product};
}

void QrcIntVarEventHandlerI::addOffsetLink(QrcIntExpI* partner, QrcInt sign, QrcInt offset) {
  _manager->saveValue(&_links);
  _links = new (_manager) OffsetLink{_links, partner, sign, offset};
}

void QrcIntVarEventHandlerI::whenDomain(QrcDemonI* demon) {
  _domainDemons.addConstraint(demon);
  if (_state == Queued) demon->markPending();
}

void QrcIntVarEventHandlerI::traceWithMonitor(QrcSearchMonitorI* m) {
  if (m) m->notifyIntVarProcessBegin(this);
}

void QrcIntVarEventHandlerI::traceWithMonitor2(QrcSearchMonitorI* m) {
  if (m) m->notifyIntVarProcessEnd(this);
}

QrcDemonI* QrcIntVarEventHandlerI::getFirstDemon() const {
  const QrcConstraintList* lists[3] = {&_domainDemons, &_rangeDemons, &_valueDemons};
  for (const QrcConstraintList* l : lists)
    if (l->getHead()) return static_cast<QrcDemonI*>(l->getHead()->item);
  return nullptr;
}

#define QRC_INT_HOOK1(NAME, MON)                               \
  void QrcIntVarEventHandlerI::NAME(QrcInt v) {                \
    if (QrcSearchMonitorI* m = monitor()) m->MON(getVar(), v); \
  }
#define QRC_INT_HOOK2(NAME, MON)                                  \
  void QrcIntVarEventHandlerI::NAME(QrcInt a, QrcInt b) {         \
    if (QrcSearchMonitorI* m = monitor()) m->MON(getVar(), a, b); \
  }
QRC_INT_HOOK1(notifySetValueBegin, notifyIntVarSetValueBegin)
QRC_INT_HOOK1(notifySetValueEnd, notifyIntVarSetValueEnd)
QRC_INT_HOOK1(notifyRemoveValueBegin, notifyIntVarRemoveValueBegin)
QRC_INT_HOOK1(notifyRemoveValueEnd, notifyIntVarRemoveValueEnd)
QRC_INT_HOOK2(notifySetRangeBegin, notifyIntVarSetRangeBegin)
QRC_INT_HOOK2(notifySetRangeEnd, notifyIntVarSetRangeEnd)
QRC_INT_HOOK1(notifySetMinBegin, notifyIntVarSetMinBegin)
QRC_INT_HOOK1(notifySetMinEnd, notifyIntVarSetMinEnd)
QRC_INT_HOOK1(notifySetMaxBegin, notifyIntVarSetMaxBegin)
QRC_INT_HOOK1(notifySetMaxEnd, notifyIntVarSetMaxEnd)
#undef QRC_INT_HOOK1
#undef QRC_INT_HOOK2

inline void QrcIntVarEventHandlerI::enqueue() {
  if (_suspended.getValue() || _state == Queued) return;
  _state = Queued;
  _manager->getPropagationQueue()->pushEventHandler(this);
}

inline void QrcIntVarEventHandlerI::dropStaleRemovals() {
  if (__builtin_expect(!_removed && !_removedRanges, 1)) return;
  if (_state == Idle && !_suspended.getValue()) clearEvents();
}

// enqueue after a change of bounds: an idle handler that still keeps
// removals drops them first (stale, as dropStaleRemovals).
inline void QrcIntVarEventHandlerI::enqueueFresh() {
  if (_suspended.getValue() || _state == Queued) return;
  if (__builtin_expect(_removed || _removedRanges, 0) && _state == Idle) clearEvents();
  _state = Queued;
  _manager->getPropagationQueue()->pushEventHandler(this);
}

// Parents whose cached bounds are already stale (all of them, mostly, or
// none at all) have no cache to drop: the walk starts only for a fresh one.
static inline void invalidateParentsOf(QrcIntExpI* x) {
  x->setBoundsStamp(0);
  QrcExprI::ParentCell* c = x->getParents();
  if (!c) return;
  QrcInt stamp = x->getManager()->getFailStamp();
  for (; c; c = c->next)
    if (c->parent->getBoundsStamp() == stamp) {
      x->invalidateParents();
      return;
    }
}

// The partners change before the queue drains. A change of bounds is
// scheduled by enqueueFresh, a removal by enqueue once it is kept.
template <class Forward>
inline void QrcIntVarEventHandlerI::scheduleAndForward(bool heard, bool bounds, Forward forward) {
  if (!_links && (!bounds || !_scaleLinks)) {
    if (heard) bounds ? enqueueFresh() : enqueue();
    return;
  }
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->enter();
  if (heard) bounds ? enqueueFresh() : enqueue();
  forward();
  q->leave();
}

void QrcIntVarEventHandlerI::notifyBoundsChange(QrcInt newMin, QrcInt newMax) {
  invalidateParentsOf(getVar());
  bool valueHeard = _valueDemons.getHead() && newMin == newMax;
  bool heard = _rangeDemons.getHead() || _domainDemons.getHead() || valueHeard;
  if (!heard) {
    _oldMin = newMin;
    _oldMax = newMax;
  } else {
    if (_domainDemons.getHead()) _domainDemons.markPending();
    if (_rangeDemons.getHead()) _rangeDemons.markPending();
    if (valueHeard) _valueDemons.markPending();
  }
  scheduleAndForward(heard, true, [this] { forwardBounds(); });
}

// Widens the old bounds to the current ones (they are not trailed: after
// backtracking they may be narrower than the bounds this step starts from),
// invalidates the parents and marks the domain demons pending. The caller
// drops stale removals before it keeps one.
inline bool QrcIntVarEventHandlerI::noteRemoval() {
  QrcIntExpI* x = getVar();
  if (x->_min < _oldMin) _oldMin = x->_min;
  if (x->_max > _oldMax) _oldMax = x->_max;
  invalidateParentsOf(x);
  if (!_domainDemons.getHead()) return false;
  _domainDemons.markPending();
  QrcInt suspended = _suspended.getValue();
  return __builtin_expect(suspended == 0, 1) || suspended == _manager->getSearchDepth() + 1;
}

void QrcIntVarEventHandlerI::notifyValueRemoved(QrcInt v) {
  bool heard = noteRemoval();
  if (heard) {
    dropStaleRemovals();
    QrcPropagationQueueI::IntCell* c = _manager->getPropagationQueue()->newCell();
    c->next = _removed;
    c->value = v;
    c->cause = _manager->getCurrentDemon();
    _removed = c;
  }
  scheduleAndForward(heard, false, [this, v] { forwardRemoval(v, v); });
}

void QrcIntVarEventHandlerI::notifyRangeRemoved(QrcInt a, QrcInt b) {
  if (a == b) {
    notifyValueRemoved(a);
    return;
  }
  bool heard = noteRemoval();
  if (heard) {
    dropStaleRemovals();
    QrcPropagationQueueI* q = _manager->getPropagationQueue();
    QrcPropagationQueueI::IntCell* end = q->newCell();
    end->next = _removedRanges;
    end->value = b;
    QrcPropagationQueueI::IntCell* start = q->newCell();
    start->next = end;
    start->value = a;
    _removedRanges = start;
  }
  scheduleAndForward(heard, false, [this, a, b] { forwardRemoval(a, b); });
}

// The partners' own notices pass the change back here, where it is already
// made. A link is the two variables' equality, not a demon: a suspended
// handler passes changes on too. Chains of links go as deep as they are long.
void QrcIntVarEventHandlerI::forwardBounds() {
  QrcIntExpI* x = getVar();
  auto forward = [&] {
    for (OffsetLink* l = _links; l; l = l->next) {
      // Read each time: a partner passing a change back may have moved them.
      QrcInt a = x->_min, b = x->_max;
      if (l->sign > 0)
        l->partner->setRange(a + l->offset, b + l->offset);
      else
        l->partner->setRange(l->offset - b, l->offset - a);
    }
    for (ScaleLink* l = _scaleLinks; l; l = l->next) {
      QrcInt a = x->_min, b = x->_max, c = l->factor;
      if (l->product) {
        l->partner->setRange(c > 0 ? a * c : b * c, c > 0 ? b * c : a * c);
        continue;
      }
      // The values y with c * y in [a, b].
      QrcIntExpI* y = l->partner;
      QrcInt lo = y->_min, hi = y->_max;
      qrcint::narrowQuotient(a, b, c, lo * c, hi * c, lo, hi);
      y->setRange(lo, hi);
    }
  };
  _manager->withStackRoom(forward);
}

void QrcIntVarEventHandlerI::forwardRemoval(QrcInt a, QrcInt b) {
  auto forward = [&] {
    for (OffsetLink* l = _links; l; l = l->next) {
      QrcIntExpI* y = l->partner;
      QrcInt lo = l->sign > 0 ? a + l->offset : l->offset - b;
      QrcInt hi = l->sign > 0 ? b + l->offset : l->offset - a;
      if (lo == hi) {
        // A value the partner lacks (mostly the value passed back to the
        // variable that lost it first) changes nothing, deferred or not.
        if (lo < y->_min || lo > y->_max) continue;
        const QrcIntSetI* d = y->_domain;
        if (d && !d->containsInline(lo)) continue;
        y->removeValueInBounds(lo);
      } else {
        y->removeRange(lo, hi);
      }
    }
  };
  _manager->withStackRoom(forward);
}

// The deferred values list holds the most recent request first: reversed,
// it is in request order.
static inline QrcPropagationQueueI::IntCell* inRequestOrder(QrcPropagationQueueI::IntCell* values) {
  QrcPropagationQueueI::IntCell* ordered = nullptr;
  while (values) {
    QrcPropagationQueueI::IntCell* next = values->next;
    values->next = ordered;
    ordered = values;
    values = next;
  }
  return ordered;
}

// Removes the deferred values, each on behalf of the demon that asked.
static inline void removeDeferredValues(QrcManagerI* m, QrcPropagationQueueI* q, QrcIntExpI* x,
                                        QrcPropagationQueueI::IntCell* ordered) {
  while (ordered) {
    QrcPropagationQueueI::IntCell* c = ordered;
    ordered = c->next;
    QrcInt v = c->value;
    m->setCurrentDemon(c->cause);
    q->freeCell(c);
    x->removeValue(v);
  }
}

// Removes the deferred ranges, each a start cell whose next is its end cell,
// in request order.
static inline void removeDeferredRanges(QrcManagerI* m, QrcPropagationQueueI* q, QrcIntExpI* x) {
  QrcPropagationQueueI::IntCell* ranges = q->takeDeferredRanges();
  QrcPropagationQueueI::IntCell* ordered = nullptr;
  while (ranges) {
    QrcPropagationQueueI::IntCell* end = ranges->next;
    QrcPropagationQueueI::IntCell* next = end->next;
    end->next = ordered;
    ordered = ranges;
    ranges = next;
  }
  while (ordered) {
    QrcPropagationQueueI::IntCell* start = ordered;
    QrcPropagationQueueI::IntCell* end = start->next;
    ordered = end->next;
    QrcInt a = start->value, b = end->value;
    m->setCurrentDemon(start->cause);
    q->freeCell(start);
    q->freeCell(end);
    x->removeRange(a, b);
  }
}

void QrcIntVarEventHandlerI::process() {
  QrcIntExpI* x = getVar();
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  _state = Processing;
  q->startDeferral(x->_min, x->_max);
  q->freeCells(q->takeDeferredValues());
  if (q->peekDeferredRanges()) q->freeCells(q->takeDeferredRanges());
  QrcInt mn = x->_min, mx = x->_max;
  if (mn == mx && _valueDemons.getHead()) _valueDemons.propagatePending();
  if ((_oldMin < mn || _oldMax > mx) && _rangeDemons.getHead()) _rangeDemons.propagatePending();
  if (_domainDemons.getHead()) _domainDemons.propagatePending();
  _oldMin = x->_min;
  _oldMax = x->_max;
  q->freeCells(_removed);
  _removed = nullptr;
  if (_removedRanges) {
    q->freeCells(_removedRanges);
    _removedRanges = nullptr;
  }
  QrcInt before = _state;
  _state = Idle;
  if (before != ProcessingDeferred) return;
  QrcPropagationQueueI::IntCell* ordered = inRequestOrder(q->takeDeferredValues());
  QrcInt lo = q->getPendingMin(), hi = q->getPendingMax();
  if (lo > hi) {
    q->freeCells(ordered);
    x->fail();
  }
  x->setRange(lo, hi);
  QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
  removeDeferredValues(_manager, q, x, ordered);
  removeDeferredRanges(_manager, q, x);
  _manager->setCurrentDemon(saved);
}

// ---------------------------------------------------------------- attaching demons

void QrcIntExpI::attachDemon(QrcDemonI* demon, WatchEvent event,
                             void (QrcIntExpI::*onOperands)(QrcDemonI*)) {
  refreshBounds();
  // A bound expression moves no more; but a node whose range left the limits
  // can look bound at the clamped bound, and its operands still move.
  if (_min == _max && !_valueOpen && !_outOfRange) return;
  if (QrcExprI* meta = static_cast<QrcExprI*>(demon->getMetaExpression())) {
    addParent(meta);
    return;
  }
  if (_handler) {
    getIntHandler()->getDemons(event).addConstraint(demon);
    if (_handler->getState() == QrcEventHandlerI::Queued) demon->markPending();
    return;
  }
  // The handler the node may get later takes the demon too.
  rememberDemon(demon, event);
  // Attaching goes down as deep as the node is nested.
  auto attach = [&] { (this->*onOperands)(demon); };
  _manager->withStackRoom(attach);
}

void QrcIntExpI::whenValue(QrcDemonI* demon) {
  attachDemon(demon, ValueWatch, &QrcIntExpI::whenValueOnOperands);
}

void QrcIntExpI::whenRange(QrcDemonI* demon) {
  attachDemon(demon, RangeWatch, &QrcIntExpI::whenRangeOnOperands);
}

void QrcIntExpI::whenDomain(QrcDemonI* demon) {
  attachDemon(demon, DomainWatch, &QrcIntExpI::whenDomainOnOperands);
}

void QrcIntExpI::removeWhen(QrcDemonI* demon) {
  if (_watchers) forgetDemon(demon);
  if (_handler) {
    QrcIntVarEventHandlerI* h = getIntHandler();
    h->getValueDemons().removeConstraint(demon);
    h->getRangeDemons().removeConstraint(demon);
    h->getDomainDemons().removeConstraint(demon);
  }
  removeWhenOnOperands(demon);
}

// ---------------------------------------------------------------- node to variable

void QrcIntExpI::attachEventHandler() {
  recomputeNow();
  _boundsStamp = _manager->getFailStamp();
  // A variable always has a value.
  _valueOpen = 0;
  QrcIntVarEventHandlerI* h = new (_manager) QrcIntVarEventHandlerI(_manager, _min, _max);
  h->setOwner(this);
  _manager->incrementVariableCount();
  setEventHandler(h);
  // The demons attached through the node still hear its operands; they hear
  // the node's own changes too, which the link makes after those.
  for (WatchCell* c = _watchers; c; c = c->next) h->getDemons(c->event).addConstraint(c->demon);
  // The expressions over a node that may lack a value may have read that it
  // might (a truth value over it): a variable has one.
  if (_mayLack) invalidateParents();
  _manager->notifyNewIntVar(this);
}

void QrcIntExpI::makeVariable(QrcIntCollectionI* collection) {
  _manager->saveValue(&_domain);
  QrcIntSetI* d = new (_manager) QrcIntSetI(collection, 1, 1, 1);
  _domain = d;
  attachEventHandler();
  // The node's bounds may already cut its values: the set counts only those
  // inside them, and the bounds close on the first and last of those.
  QrcInt lo = d->raiseMin(d->getMin(), _min > d->getMin() ? _min : d->getMin());
  QrcInt hi = d->lowerMax(d->getMax(), _max < d->getMax() ? _max : d->getMax());
  setRange(lo, hi);
}

QrcConstraintI* QrcIntExpI::makeEventHandlerConstraint() {
  if (_handler) return nullptr;
  attachEventHandler();
  // A range past the limits: the variable takes the node's exact value.
  QrcConstraintI* ct = _outOfRange ? QrcMakeClampedLink(this)
                                   : new (_manager)
                                         QrcIntExpEventHandlerConstraintI(_manager, this);
  _manager->add(ct);
  return ct;
}

void QrcIntExpEventHandlerConstraintI::post() {
  if (linkScaled()) return;
  _exp->whenRange(this);
  _exp->whenRangeOnOperands(this);
}

// The link gives each side the bounds the demons would: c * x (within the
// integer range, which x's narrowing keeps) and the values x whose product
// lies within the variable's bounds. A traced manager keeps the demons,
// whose runs it reports.
bool QrcIntExpEventHandlerConstraintI::linkScaled() {
  QrcIntExpI* e = _exp;
  const std::type_info& k = typeid(*e);
  if (k != typeid(QrcIntMulPosI) && k != typeid(QrcIntMulNegI) && k != typeid(QrcIntMulI))
    return false;
  QrcIntMulI* m = static_cast<QrcIntMulI*>(e);
  QrcIntExpI* x = m->getOperand();
  QrcInt c = m->getConstant();
  if (c >= -1 && c <= 1) return false;
  if (e->_outOfRange || e->_mayLack || !x->getIntHandler() || x->isOutOfRange()) return false;
  if (_manager->getPropagationQueue()->isTracing()) return false;
  e->getIntHandler()->addScaleLink(x, c, false);
  x->getIntHandler()->addScaleLink(e, c, true);
  return true;
}

void QrcIntExpEventHandlerConstraintI::propagate() {
  QrcIntExpI* x = _exp;
  // A variable always has a value: a node that may still lose its value (an
  // element whose index may leave its array) is given one.
  if (x->_mayLack && x->computeValueOpen()) x->requireOperandValues();
  QrcInt a = x->_min, b = x->_max;
  x->saveBounds();
  x->recomputeNow();
  QrcInt nmin = x->_min, nmax = x->_max;
  if (!(a <= QrcIntMin && b >= QrcIntMax)) {
    QrcInt lo = a > nmin ? a : nmin;
    QrcInt hi = b < nmax ? b : nmax;
    // The variable's domain and its operands' range do not meet.
    if (lo > hi) fail();
    QrcIntSetI* d = x->_domain;
    _manager->saveValue(&x->_domain);
    x->_domain = nullptr;
    if (x->_outOfRange)
      x->setOperandsRange(static_cast<double>(lo), static_cast<double>(hi));
    else
      x->setOperandsRange(lo, hi);
    x->_domain = d;
  }
  x->_min = a;
  x->_max = b;
  x->setRange(nmin, nmax);
}

void QrcIntExpEventHandlerConstraintI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << " QrcIntExpEventHandlerConstraintI(";
  _exp->display(os);
  os << ")";
}

void QrcValueConstraintI::propagate() {
  if (!_exp->isBound()) return;
  _demon->markPending();
  _demon->runIfPending();
}

void QrcValueConstraintI::display(std::ostream& os) const {
  os << "QrcValueConstraint";
}

// ---------------------------------------------------------------- delta iterator

void QrcIntVarDeltaIterator::reportNotInProcess() {
  if (!_var) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcIntVarDeltaIterator");
  _var->getErrorReporter()->report(QrcNotInProcessError, "variable not in process",
                                   "QrcIntVarDeltaIterator");
}

namespace {

// The smallest value above p that a bound move could have taken from the
// domain: a member of the set, or any value outside a range universe.
QrcInt nextLost(const QrcIntSetI* d, QrcInt p) {
  if (!d) return p + 1;
  if (d->getCollection()) {
    QrcInt v = p;
    return d->nextInUniverse(v) ? v : INT64_MAX;
  }
  if (p + 1 < d->getMin() || p >= d->getMax()) return p + 1;
  QrcInt n = d->getNextHigher(p);
  return n > p ? n : d->getMax() + 1;
}

bool isLost(const QrcIntSetI* d, QrcInt v) {
  return !d || d->isMember(v);
}

// The largest w <= limit with every value of [v, w] lost with v.
QrcInt lostRunEnd(const QrcIntSetI* d, QrcInt v, QrcInt limit) {
  QrcInt w = limit;
  if (d) {
    if (!d->getCollection() && v < d->getMin())
      w = d->getMin() - 1;
    else if (d->getCollection() || v <= d->getMax())
      w = d->getRunEnd(v);
  }
  return w < limit ? w : limit;
}

}  // namespace

bool QrcIntVarDeltaIterator::next() {
  _valid = false;
  if (!_var || !_var->isProcessing()) return false;
  if (_phase == 0) {
    if (_cell) {
      _current = _cell->value;
      _cell = _cell->next;
      _valid = true;
      return true;
    }
    _phase = 1;
    _position = 1;
    _rangeEnd = 0;
  }
  if (_phase == 1) {
    if (_position < _rangeEnd) {
      _current = ++_position;
      _valid = true;
      return true;
    }
    if (_rangeCell) {
      _current = _position = _rangeCell->value;
      _rangeEnd = _rangeCell->next->value;
      _rangeCell = _rangeCell->next->next;
      _valid = true;
      return true;
    }
    _phase = 2;
    _position = _var->getOldMin() - 1;
  }
  const QrcIntSetI* d = _var->getDomainSet();
  QrcInt mn = _var->rawMin(), mx = _var->rawMax();
  if (_phase == 2) {
    for (;;) {
      _position = nextLost(d, _position);
      if (_position >= mn) break;
      if (isLost(d, _position)) {
        _current = _position;
        _valid = true;
        return true;
      }
    }
    _phase = 3;
    _position = mx;
  }
  QrcInt oldMax = _var->getOldMax();
  for (;;) {
    _position = nextLost(d, _position);
    if (_position > oldMax) return false;
    if (isLost(d, _position)) {
      _current = _position;
      _valid = true;
      return true;
    }
  }
}

bool QrcIntVarDeltaIterator::nextRangeAfterValues(QrcInt& a, QrcInt& b) {
  _valid = false;
  if (!_var || !_var->isProcessing()) return false;
  if (_phase == 0) {
    if (_cell) {
      a = b = _cell->value;
      _cell = _cell->next;
      return true;
    }
    _phase = 1;
  }
  if (_phase == 1) {
    if (_rangeCell) {
      a = _rangeCell->value;
      b = _rangeCell->next->value;
      _rangeCell = _rangeCell->next->next;
      return true;
    }
    if (_oneWord) return nextRunOfBits(a, b);
    _phase = 2;
    _position = _var->getOldMin() - 1;
  }
  if (_phase == 4) return nextRunOfBits(a, b);
  const QrcIntSetI* d = _var->getDomainSet();
  QrcInt mn = _var->rawMin(), mx = _var->rawMax();
  bool plain = d && d->isPlain();
  for (;;) {
    QrcInt limit = _phase == 2 ? mn - 1 : _var->getOldMax();
    if (_position >= limit || (plain && _position >= d->getMin() - 1 && limit <= d->getMax())) {
      // Within a plain range's universe a run of lost values is a run of
      // bits (those left behind by the bounds).
      if (_position < limit && d->firstRunIn(_position + 1, limit, a, b)) {
        _position = b;
        return true;
      }
      if (_phase == 3) return false;
      _phase = 3;
      _position = mx;
      continue;
    }
    _position = nextLost(d, _position);
    if (_position > limit) {
      if (_phase == 3) return false;
      _phase = 3;
      _position = mx;
      continue;
    }
    if (!isLost(d, _position)) continue;
    a = _position;
    b = _position = lostRunEnd(d, _position, limit);
    return true;
  }
}
