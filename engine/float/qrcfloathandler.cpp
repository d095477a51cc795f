// Event handler of float variables: recording of range and removal events,
// the significance threshold, and processing with deferral of the variable's
// own changes made by its demons.
#include <cmath>

#include "qrcfloatenv.h"
#include "qrcfloatexp.h"
#include "qrcfloatset.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qrcqueue.h"

namespace {
const double Inf = HUGE_VAL;
}

QrcFloatVarEventHandlerI::QrcFloatVarEventHandlerI(QrcManagerI* manager, QrcFloat min, QrcFloat max)
    : QrcEventHandlerI(manager),
      _minStamp(-1),
      _maxStamp(-1),
      _oldMin(min),
      _oldMax(max),
      _valueDemons(manager),
      _rangeDemons(manager),
      _suspended(manager, 0),
      _domainDemons(manager),
      _removed(nullptr),
      _wakeSerial(-1),
      _wakes(0) {
  QrcInt p = manager->getVariablePrecision();
  if (p > 0) {
    _oldMin = roundDownToPrecision(min, p);
    _oldMax = roundUpToPrecision(max, p);
  }
  if (!(_oldMin <= _oldMax) || _oldMin == Inf || _oldMax == -Inf) manager->fail();
}

QrcSearchMonitorI* QrcFloatVarEventHandlerI::monitor() const {
  return _monitor ? _monitor : _manager->getPropagationQueue()->getMonitor();
}

void QrcFloatVarEventHandlerI::clearEvents() {
  _state = Idle;
  _manager->getPropagationQueue()->freeFloatCells(_removed);
  _removed = nullptr;
}

QrcEventHandlerI* QrcFloatVarEventHandlerI::makeCopy(QrcManagerI* manager) const {
  QrcFloatVarEventHandlerI* h = new (manager) QrcFloatVarEventHandlerI(manager, _oldMin, _oldMax);
  h->_monitor = _monitor;
  return h;
}

QrcInt QrcFloatVarEventHandlerI::getNbDemons() const {
  return _domainDemons.getSize() + _rangeDemons.getSize() + _valueDemons.getSize();
}

void QrcFloatVarEventHandlerI::addValueDemon(QrcDemonI* demon) {
  if (_state == Queued) demon->markPending();
  _valueDemons.addConstraint(demon);
}

void QrcFloatVarEventHandlerI::addRangeDemon(QrcDemonI* demon) {
  if (_state == Queued) demon->markPending();
  _rangeDemons.addConstraint(demon);
}

void QrcFloatVarEventHandlerI::whenDomain(QrcDemonI* demon) {
  if (_state == Queued) demon->markPending();
  if (getVar()->getValueSet())
    _domainDemons.addConstraint(demon);
  else
    _rangeDemons.addConstraint(demon);
}

void QrcFloatVarEventHandlerI::removeDemon(QrcDemonI* demon) {
  _rangeDemons.removeConstraint(demon);
  _valueDemons.removeConstraint(demon);
  _domainDemons.removeConstraint(demon);
}

inline void QrcFloatVarEventHandlerI::enqueue() {
  if (_state != Idle) return;
  _state = Queued;
  _manager->getPropagationQueue()->pushEventHandler(this);
}

// enqueue after a change of range of a running handler: removals it still
// keeps are stale (dropStaleRemovals), dropped first.
inline void QrcFloatVarEventHandlerI::enqueueFresh() {
  if (_state != Idle) return;
  if (__builtin_expect(_removed != nullptr, 0)) clearEvents();
  _state = Queued;
  _manager->getPropagationQueue()->pushEventHandler(this);
}

void QrcFloatVarEventHandlerI::suspend() {
  dropStaleRemovals();
  _suspended.set(_manager, 1);
}
void QrcFloatVarEventHandlerI::resume() {
  _suspended.set(_manager, 0);
}

void QrcFloatVarEventHandlerI::dropStaleRemovals() {
  if (_removed && _state == Idle && !isSuspended()) clearEvents();
}

// Removals gathered by a handler that is no longer suspended are stale: it
// was resumed by backtracking.
void QrcFloatVarEventHandlerI::resumeHolding(Held& held) {
  if (isSuspended()) {
    held.removed = QrcPropagationQueueI::joined(_removed, held.removed);
    _removed = nullptr;
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
void QrcFloatVarEventHandlerI::handBack(Held& held) {
  QrcFloatExpI* var = getVar();
  widenOldBounds(held.oldMin, held.oldMax);
  Held back = held;
  held = Held();
  if (back.removed && _domainDemons.getHead()) {
    _domainDemons.markPending();
    enqueue();
    _removed = QrcPropagationQueueI::joined(back.removed, _removed);
  } else {
    dropHeld(back);
  }
  QrcFloat min = var->rawMin(), max = var->rawMax();
  if (_oldMin < min || _oldMax > max) rangeEvent(min, max, false);
}

void QrcFloatVarEventHandlerI::dropHeld(Held& held) {
  _manager->getPropagationQueue()->freeFloatCells(held.removed);
  held = Held();
}

// ---------------------------------------------------------------- events

// A change is measured from the bounds of the last wake, so that changes
// below the relative threshold that add up past it wake the demons.
// Narrowings that shrink ever more slowly (x + exp(x) = 1 closing in on 0)
// would go on for ever: after WakesPerDoubling wakes of the variable in one
// drain, a change must also move a bound by a share of the width at the last
// wake, a share that doubles every WakesPerDoubling wakes up to an eighth.
// The width then shrinks geometrically and the drain ends, with each bound
// within the relative threshold or an eighth of that width (at most a sixth
// of the final width) of the bounds its demons last saw. A half-line creeping
// towards infinity takes its finite bound's magnitude as width.
bool QrcFloatVarEventHandlerI::isInsignificant(QrcFloat min, QrcFloat max) {
  QrcInt serial = _manager->getPropagationQueue()->getDrainSerial();
  if (serial != _wakeSerial) {
    _wakeSerial = serial;
    _wakes = 0;
  }
  QrcFloat r = _manager->getRelativeEventThreshold();
  bool minStill = _oldMin >= 0 ? min <= _oldMin * (1 + r) : min <= _oldMin * (1 - r);
  bool maxStill = _oldMax >= 0 ? max >= _oldMax * (1 - r) : max >= _oldMax * (1 + r);
  if (_wakes >= WakesPerDoubling) {
    QrcInt doublings = _wakes / WakesPerDoubling;
    int e = doublings < MaxShareLog2 - FirstShareLog2 ? static_cast<int>(doublings) + FirstShareLog2
                                                      : MaxShareLog2;
    QrcFloat width = _oldMax - _oldMin;
    if (width == Inf) width = _oldMin == -Inf ? std::fabs(_oldMax) : std::fabs(_oldMin);
    QrcFloat share = std::ldexp(width, e);
    minStill = minStill || min - _oldMin < share;
    maxStill = maxStill || _oldMax - max < share;
  }
  return minStill && maxStill;
}

void QrcFloatVarEventHandlerI::rangeEvent(QrcFloat min, QrcFloat max, bool significance,
                                          bool moved) {
  if (isSuspended()) {
    if (moved) _manager->getPropagationQueue()->noteStaleParents(_manager->getFailStamp());
    return;
  }
  QrcFloatExpI* var = getVar();
  bool bound = var->isBound() != 0;
  if (moved) var->invalidateParents();
  if (significance) {
    if (isInsignificant(min, max)) return;
    ++_wakes;
  }
  bool hasValue = bound && _valueDemons.getHead();
  bool hasDomain = _domainDemons.getHead() != nullptr;
  if (_rangeDemons.getHead()) {
    _rangeDemons.markPending();
  } else if (!hasValue && !hasDomain) {
    _oldMin = min;
    _oldMax = max;
    return;
  }
  if (var->getValueSet() && hasDomain) _domainDemons.markPending();
  if (hasValue) _valueDemons.markPending();
  enqueueFresh();
}

void QrcFloatVarEventHandlerI::removalEvent(QrcFloat v) {
  dropStaleRemovals();
  getVar()->invalidateParents();
  if (!_domainDemons.getHead()) return;
  _domainDemons.markPending();
  QrcPropagationQueueI::FloatCell* c = _manager->getPropagationQueue()->newFloatCell();
  c->value = v;
  c->next = _removed;
  _removed = c;
  if (!isSuspended()) enqueue();
}

// ---------------------------------------------------------------- processing

void QrcFloatVarEventHandlerI::process() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  QrcFloatExpI* var = getVar();
  _state = Processing;
  QrcFloat min = var->rawMin(), max = var->rawMax();
  q->startFloatDeferral(min, max);
  if (var->isBound() && _valueDemons.getHead()) _valueDemons.propagatePending();
  if ((min > _oldMin || _oldMax > max) && _rangeDemons.getHead()) _rangeDemons.propagatePending();
  if (var->getValueSet() && _domainDemons.getHead()) _domainDemons.propagatePending();
  _oldMin = min;
  _oldMax = max;
  q->freeFloatCells(_removed);
  _removed = nullptr;
  QrcInt was = _state;
  _state = Idle;
  if (was != 3) return;
  var->setRange(q->getPendingFloatMin(), q->getPendingFloatMax());
  if (!var->getValueSet()) return;
  QrcPropagationQueueI::FloatCell* cells = q->takeDeferredFloatValues();
  for (QrcPropagationQueueI::FloatCell* c = cells; c; c = c->next) {
    QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
    _manager->setCurrentDemon(c->cause);
    var->removeValue(c->value);
    _manager->setCurrentDemon(saved);
  }
  q->freeFloatCells(cells);
}

// ---------------------------------------------------------------- monitor hooks

void QrcFloatVarEventHandlerI::traceWithMonitor(QrcSearchMonitorI* m) {
  m->notifyFloatVarProcessBegin(this);
}
void QrcFloatVarEventHandlerI::traceWithMonitor2(QrcSearchMonitorI* m) {
  m->notifyFloatVarProcessEnd(this);
}

void QrcFloatVarEventHandlerI::setRangeBegin(QrcFloat a, QrcFloat b) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetRangeBegin(getVar(), a, b);
}
void QrcFloatVarEventHandlerI::setRangeEnd(QrcFloat a, QrcFloat b) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetRangeEnd(getVar(), a, b);
}
void QrcFloatVarEventHandlerI::setMinBegin(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetMinBegin(getVar(), v);
}
void QrcFloatVarEventHandlerI::setMinEnd(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetMinEnd(getVar(), v);
}
void QrcFloatVarEventHandlerI::setMaxBegin(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetMaxBegin(getVar(), v);
}
void QrcFloatVarEventHandlerI::setMaxEnd(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetMaxEnd(getVar(), v);
}
void QrcFloatVarEventHandlerI::setValueBegin(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetValueBegin(getVar(), v);
}
void QrcFloatVarEventHandlerI::setValueEnd(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarSetValueEnd(getVar(), v);
}
void QrcFloatVarEventHandlerI::removeValueBegin(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarRemoveValueBegin(getVar(), v);
}
void QrcFloatVarEventHandlerI::removeValueEnd(QrcFloat v) {
  if (QrcSearchMonitorI* m = monitor()) m->notifyFloatVarRemoveValueEnd(getVar(), v);
}
