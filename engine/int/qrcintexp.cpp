#include "qrcintexp.h"

#include <cmath>
#include <ostream>

#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qroexception.h"
#include "qroexpr.h"

namespace {

const char* const DomainOverflow = "overflow occurred in the domain of an integer variable";

enum Hook { HookSetMin, HookSetMax, HookSetRange, HookSetValue };

const double Limit = static_cast<double>(QrcIntMax);
const double TwoTo53 = Limit + 1.0;

QrcInt clampBound(QrcInt v) {
  return v < QrcIntMin ? QrcIntMin : (v > QrcIntMax ? QrcIntMax : v);
}

bool tracing(QrcManagerI* m) {
  return m->getPropagationQueue()->isTracing();
}

}  // namespace

// ---------------------------------------------------------------- construction

QrcIntExpI::QrcIntExpI(QrcManagerI* manager, QrcInt min, QrcInt max, const char* name)
    : QrcExprI(manager,
               new (manager) QrcIntVarEventHandlerI(manager, clampBound(min), clampBound(max)),
               name),
      _min(clampBound(min)),
      _max(clampBound(max)),
      _domain(nullptr),
      _outOfRange(0) {
  if (min > max) fail();
  // Clamping would leave only values outside the declared domain.
  if (min > QrcIntMax || max < QrcIntMin) {
    // Half built, the variable is not checked later.
    manager->forgetMade(static_cast<QrcExprI*>(this));
    throw QroIntExpr::QroOverflowOccurred(DomainOverflow);
  }
  manager->notifyNewIntVar(this);
}

QrcIntExpI::QrcIntExpI(QrcManagerI* manager, QrcInt n, const QrcInt* values, const char* name,
                       QrcIntCollectionI* collection)
    : QrcExprI(manager, new (manager) QrcIntVarEventHandlerI(manager, 0, 0), name),
      _min(0),
      _max(0),
      _domain(nullptr),
      _outOfRange(0) {
  if (n < 1) fail();
  // Values beyond the engine's limits are left out, as clamping an interval does.
  QrcInt held = 0;
  for (QrcInt i = 0; i < n; ++i)
    if (values[i] >= QrcIntMin && values[i] <= QrcIntMax) ++held;
  if (held == 0) {
    manager->forgetMade(static_cast<QrcExprI*>(this));
    throw QroIntExpr::QroOverflowOccurred(DomainOverflow);
  }
  if (held < n) {
    QrcInt* kept =
        static_cast<QrcInt*>(manager->allocate(static_cast<size_t>(held) * sizeof(QrcInt)));
    QrcInt k = 0;
    for (QrcInt i = 0; i < n; ++i)
      if (values[i] >= QrcIntMin && values[i] <= QrcIntMax) kept[k++] = values[i];
    values = kept;
    n = held;
    collection = nullptr;
  }
  QrcInt lo = values[0], hi = values[0];
  for (QrcInt i = 1; i < n; ++i) {
    if (values[i] < lo) lo = values[i];
    if (values[i] > hi) hi = values[i];
  }
  _min = lo;
  _max = hi;
  if (hi - lo >= 128) {
    QrcIntCollectionI* coll =
        collection ? collection : new (manager) QrcIntCollectionI(manager, n, values, false);
    _domain = new (manager) QrcIntSetI(coll, 1, 0, 1);
  } else {
    _domain = new (manager) QrcIntSetI(manager, lo, hi, n, values, 1);
  }
  QrcIntVarEventHandlerI* h = getIntHandler();
  h->_oldMin = lo;
  h->_oldMax = hi;
  manager->notifyNewIntVar(this);
}

QrcIntExpI::QrcIntExpI(QrcManagerI* manager)
    : QrcExprI(manager), _min(0), _max(0), _domain(nullptr), _outOfRange(0) {}

QrcIntExpI::QrcIntExpI(QrcManagerI* target, const QrcIntExpI& source)
    : QrcExprI(target, source),
      _min(source._min),
      _max(source._max),
      _domain(source._domain ? source._domain->copy(target) : nullptr),
      _outOfRange(source._outOfRange) {
  target->notifyNewIntVar(this);
}

QrcExprI* QrcIntExpI::makeCopy(QrcManagerI* target) const {
  const_cast<QrcIntExpI*>(this)->refreshBounds();
  return new (target) QrcIntExpI(target, *this);
}

void QrcIntExpI::notifyMonitor(QrcAny, QrcPropagationQueueI* queue) {
  QrcSearchMonitorI* mon = _handler ? getIntHandler()->getOwnMonitor() : nullptr;
  if (!mon) mon = queue->getMonitor();
  if (mon) mon->onIntExp(this);
}

// ---------------------------------------------------------------- linear forms

void QrcIntExpI::computeCoeffsVarsInternal(QrcLinearAccumulatorI*, QrcInt) {
  getErrorReporter()->report(
      QrcInternalError, "internal error",
      "non linear and linear expression : ", static_cast<const QrcPrintable*>(this));
}

void QrcIntExpI::collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) {
  if (isVariable())
    acc->addVarTerm(this, coef);
  else
    acc->addExpTerm(this, coef);
}

void QrcIntExpI::computeRangeAsDoubles() {
  computeRange();
  if (_outOfRange) {
    _manager->saveValue(&_outOfRange);
    _outOfRange = 0;
  }
}

void QrcIntExpI::setOperandsRange(double a, double b) {
  if (a != a || b != b) return;
  setOperandsRange(a >= Limit ? QrcIntMax : (a <= -Limit ? QrcIntMin : static_cast<QrcInt>(a)),
                   b >= Limit ? QrcIntMax : (b <= -Limit ? QrcIntMin : static_cast<QrcInt>(b)));
}

void QrcIntExpI::whenValueOnOperands(QrcDemonI* demon) {
  whenRangeOnOperands(new (_manager) QrcValueConstraintI(_manager, this, demon));
}

void QrcIntExpI::whenRangeOnOperands(QrcDemonI*) {
  getErrorReporter()->report(QrcInternalError, "internal error",
                             "access to uninitialised QrcIntVar",
                             static_cast<const QrcPrintable*>(this));
}

void QrcIntExpI::whenDomainOnOperands(QrcDemonI* demon) {
  QrcIntExpI::whenRangeOnOperands(demon);
}

// ---------------------------------------------------------------- cached bounds

void QrcIntExpI::recomputeNow() {
  if (_outOfRange)
    computeRangeAsDoubles();
  else
    computeRange();
}

// Every node overrides computeRange: a guess at the base's saves nothing.
__attribute__((optimize("no-devirtualize-speculatively"))) void QrcIntExpI::recomputeBounds() {
  // Reads the operands' bounds, recursing as deep as the node is nested: with
  // failures as exceptions, on a fresh stack segment when the stack runs low.
  if (_manager->usesExceptions()) {
    auto compute = [this] { recomputeNow(); };
    _manager->withStackRoom(compute);
  } else if (_outOfRange) {
    computeRangeAsDoubles();
  } else {
    computeRange();
  }
  if (_mayLack) _valueOpen = computeValueOpen() ? 1 : 0;
  _boundsStamp = _manager->getFailStamp();
}

void QrcIntExpI::giveValue() {
  auto give = [this] { requireOperandValues(); };
  _manager->withStackRoom(give);
  refreshBounds();
  if (_min > _max) fail();
}

void QrcIntExpI::setBoundsFromDoubles(double lo, double hi, bool force) {
  if (lo > static_cast<double>(QrcIntMax)) {
    _outOfRange = 1;
    _min = _max = QrcIntMax;
    return;
  }
  if (hi < -TwoTo53) {
    _outOfRange = 1;
    _min = _max = QrcIntMin;
    return;
  }
  bool clamped = false;
  if (lo < -TwoTo53 || std::isnan(lo)) {
    _min = QrcIntMin;
    clamped = true;
  } else {
    _min = clampBound(static_cast<QrcInt>(lo));
  }
  if (hi > static_cast<double>(QrcIntMax) || std::isnan(hi)) {
    _outOfRange = 1;
    _max = QrcIntMax;
    return;
  }
  _max = clampBound(static_cast<QrcInt>(hi));
  if (clamped || force) {
    _outOfRange = 1;
    return;
  }
  if (_outOfRange) {
    _manager->saveValue(&_outOfRange);
    _outOfRange = 0;
  }
}

// ---------------------------------------------------------------- reading

QrcInt QrcIntExpI::getValue() {
  refreshBounds();
  if (_min != _max)
    getErrorReporter()->report(QrcUnboundError, "QrcIntExpI::getValue",
                               "unbound constrained variable",
                               static_cast<const QrcPrintable*>(this));
  return _min;
}

QrcInt QrcIntExpI::getSize() {
  refreshBounds();
  if (_domain) {
    // A domain held as its holes counts exactly past the limit.
    QrcInt n = _domain->getSize();
    return n < QrcIntMax ? n : QrcIntMax;
  }
  QrcInt d = _max - _min;
  if (d < 0 || d >= QrcIntMax) return QrcIntMax;
  return d + 1;
}

bool QrcIntExpI::isInDomain(QrcInt v) {
  refreshBounds();
  if (v < _min || v > _max) return false;
  return !_domain || _domain->containsInline(v);
}

QrcInt QrcIntExpI::getNextHigher(QrcInt v) {
  refreshBounds();
  if (v >= _max) return v;
  if (v < _min) return _min;
  if (!_domain) return v + 1;
  return _domain->getNextHigher(v);
}

QrcInt QrcIntExpI::getNextLower(QrcInt v) {
  refreshBounds();
  if (v <= _min) return v;
  if (v > _max) return _max;
  if (!_domain) return v - 1;
  return _domain->getNextLower(v);
}

double QrcIntExpI::getFloatMin() {
  refreshBounds();
  if (_outOfRange && _min <= QrcIntMin) return -1e30;
  return static_cast<double>(_min);
}

double QrcIntExpI::getFloatMax() {
  refreshBounds();
  if (_outOfRange && _max >= QrcIntMax) return 1e30;
  return static_cast<double>(_max);
}

QrcInt QrcIntExpI::getOldMin() {
  if (_handler) return getIntHandler()->_oldMin;
  return getMin();
}

QrcInt QrcIntExpI::getOldMax() {
  if (_handler) return getIntHandler()->_oldMax;
  return getMax();
}

QrcPropagationQueueI::IntCell* QrcIntExpI::getRemovedValues() const {
  return _handler ? getIntHandler()->getRemovedValues() : nullptr;
}

QrcPropagationQueueI::IntCell* QrcIntExpI::getRemovedRanges() const {
  return _handler ? getIntHandler()->getRemovedRanges() : nullptr;
}

bool QrcIntExpI::isInDelta(QrcInt v) {
  if (v < getOldMin() || v > getOldMax()) return false;
  if (isInDomain(v)) return false;
  if (!_handler) return false;
  if (v < _min || v > _max) {
    if (!_domain || _domain->isMember(v)) return true;
  }
  QrcIntRemovedIterator it(this);
  QrcInt a, b;
  while (it.nextRange(a, b))
    if (a <= v && v <= b) return true;
  return false;
}

// ---------------------------------------------------------------- narrowing helpers

void QrcIntExpI::saveMin() {
  QrcIntVarEventHandlerI* h = getIntHandler();
  if (h->_minStamp == _manager->getStamp()) return;
  _manager->saveValue(&_min);
  h->_minStamp = _manager->getStamp();
}

void QrcIntExpI::saveMax() {
  QrcIntVarEventHandlerI* h = getIntHandler();
  if (h->_maxStamp == _manager->getStamp()) return;
  _manager->saveValue(&_max);
  h->_maxStamp = _manager->getStamp();
}

void QrcIntExpI::saveBounds() {
  saveMin();
  saveMax();
}

void QrcIntExpI::storeMin(QrcInt v) {
  saveMin();
  _min = v;
}

void QrcIntExpI::storeMax(QrcInt v) {
  saveMax();
  _max = v;
}

void QrcIntExpI::widenOldBounds() {
  QrcIntVarEventHandlerI* h = getIntHandler();
  if (_min < h->_oldMin) h->_oldMin = _min;
  if (_max > h->_oldMax) h->_oldMax = _max;
}

void QrcIntExpI::defer(QrcInt a, QrcInt b) {
  _handler->setState(QrcIntVarEventHandlerI::ProcessingDeferred);
  _manager->getPropagationQueue()->deferRange(a, b);
}

void QrcIntExpI::failWith(int hook, QrcInt a, QrcInt b) {
  if (_handler && tracing(_manager)) {
    QrcIntVarEventHandlerI* h = getIntHandler();
    switch (hook) {
      case HookSetMin:
        h->notifySetMinBegin(a);
        break;
      case HookSetMax:
        h->notifySetMaxBegin(a);
        break;
      case HookSetRange:
        h->notifySetRangeBegin(a, b);
        break;
      default:
        h->notifySetValueBegin(a);
        break;
    }
  }
  fail();
}

// ---------------------------------------------------------------- narrowing

void QrcIntExpI::setMin(QrcInt v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcIntExpI::setMin>(this, v);
  narrowMin(v);
}

void QrcIntExpI::setMax(QrcInt v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcIntExpI::setMax>(this, v);
  narrowMax(v);
}

inline void QrcIntExpI::narrowMin(QrcInt v) {
  refreshBounds();
  if (_valueOpen) giveValue();
  if (v <= _min) {
    if (_min > _max) failWith(HookSetMin, v, 0);  // an empty node
    return;
  }
  if (v > _max) failWith(HookSetMin, v, 0);
  if (!_handler) {
    if (_outOfRange)
      narrowOperands(static_cast<double>(v), getFloatMax());
    else
      narrowOperands(v, _max);
    return;
  }
  if (isProcessing()) {
    defer(v, _max);
    return;
  }
  widenOldBounds();
  QrcInt nm = _domain ? _domain->raiseMin(_min, v) : v;
  if (nm > _max) failWith(HookSetMin, v, 0);
  QrcIntVarEventHandlerI* h = getIntHandler();
  bool tr = tracing(_manager);
  if (tr) h->notifySetMinBegin(v);
  storeMin(nm);
  if (tr) h->notifySetMinEnd(v);
  h->notifyBoundsChange(_min, _max);
}

inline void QrcIntExpI::narrowMax(QrcInt v) {
  refreshBounds();
  if (_valueOpen) giveValue();
  if (v >= _max) {
    if (_min > _max) failWith(HookSetMax, v, 0);
    return;
  }
  if (v < _min) failWith(HookSetMax, v, 0);
  if (!_handler) {
    if (_outOfRange)
      narrowOperands(getFloatMin(), static_cast<double>(v));
    else
      narrowOperands(_min, v);
    return;
  }
  if (isProcessing()) {
    defer(_min, v);
    return;
  }
  widenOldBounds();
  QrcInt nm = _domain ? _domain->lowerMax(_max, v) : v;
  if (nm < _min) failWith(HookSetMax, v, 0);
  QrcIntVarEventHandlerI* h = getIntHandler();
  bool tr = tracing(_manager);
  if (tr) h->notifySetMaxBegin(v);
  storeMax(nm);
  if (tr) h->notifySetMaxEnd(v);
  h->notifyBoundsChange(_min, _max);
}

void QrcIntExpI::narrowRange(QrcInt a, QrcInt b) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcIntExpI::narrowRange>(this, a, b);
  if (a > b) failWith(HookSetRange, a, b);
  refreshBounds();
  if (_valueOpen) giveValue();
  if (a <= _min && b >= _max) {
    if (_min > _max) failWith(HookSetRange, a, b);
    return;
  }
  if (b < _min || a > _max) failWith(HookSetRange, a, b);
  QrcInt lo = a > _min ? a : _min;
  QrcInt hi = b < _max ? b : _max;
  if (!_handler) {
    if (_outOfRange)
      narrowOperands(lo <= QrcIntMin ? getFloatMin() : static_cast<double>(lo),
                     hi >= QrcIntMax ? getFloatMax() : static_cast<double>(hi));
    else
      narrowOperands(lo, hi);
    return;
  }
  if (isProcessing()) {
    defer(lo, hi);
    return;
  }
  widenOldBounds();
  QrcIntVarEventHandlerI* h = getIntHandler();
  bool tr = tracing(_manager);
  QrcInt nmin = _min, nmax = _max;
  if (lo > _min) nmin = _domain ? _domain->raiseMin(_min, lo) : lo;
  if (hi < _max) nmax = _domain ? _domain->lowerMax(_max, hi) : hi;
  if (nmin > nmax) failWith(HookSetRange, nmin, nmax);
  if (nmin != _min) {
    if (tr) h->notifySetMinBegin(lo);
    storeMin(nmin);
    if (tr) h->notifySetMinEnd(lo);
  }
  if (nmax != _max) {
    if (tr) h->notifySetMaxBegin(hi);
    storeMax(nmax);
    if (tr) h->notifySetMaxEnd(hi);
  }
  h->notifyBoundsChange(_min, _max);
}

void QrcIntExpI::setValue(QrcInt v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcIntExpI::setValue>(this, v);
  refreshBounds();
  if (_valueOpen) giveValue();
  if (v < _min || v > _max) failWith(HookSetValue, v, 0);
  if (_min == _max) return;
  if (!_handler) {
    if (_outOfRange)
      narrowOperands(static_cast<double>(v), static_cast<double>(v));
    else
      narrowOperands(v, v);
    return;
  }
  if (isProcessing()) {
    defer(v, v);
    return;
  }
  if (_domain) {
    if (!_domain->contains(v)) failWith(HookSetValue, v, 0);
    _domain->raiseMin(_min, v);
    _domain->lowerMax(_max, v);
  }
  widenOldBounds();
  QrcIntVarEventHandlerI* h = getIntHandler();
  bool tr = tracing(_manager);
  if (tr) h->notifySetValueBegin(v);
  storeMin(v);
  storeMax(v);
  if (tr) h->notifySetValueEnd(v);
  h->notifyBoundsChange(v, v);
}

void QrcIntExpI::removeValueInBounds(QrcInt v) {
  // A variable loses nothing outside its bounds: nothing to take back at the
  // root either.
  if (_handler && (v < _min || v > _max) && _min <= _max) return;
  if (_manager->isAtRoot())
    return _manager->narrowAtRoot<&QrcIntExpI::removeValueInBounds>(this, v);
  refreshBounds();
  if (_valueOpen) giveValue();
  if (v < _min || v > _max) {
    if (_min > _max) fail();
    return;
  }
  if (v == _min) return narrowMin(v + 1);
  if (v == _max) return narrowMax(v - 1);
  if (!_handler) return removeFromOperands(v);
  if (isProcessing()) {
    _handler->setState(QrcIntVarEventHandlerI::ProcessingDeferred);
    _manager->getPropagationQueue()->deferValue(v);
    return;
  }
  if (!_domain) makeDomainSet();
  if (__builtin_expect(tracing(_manager), 0)) return removeTraced(v);
  if (_domain->remove(v)) getIntHandler()->notifyValueRemoved(v);
}

// A node's removal goes down as deep as the node is nested.
void QrcIntExpI::removeFromOperands(QrcInt v) {
  auto remove = [&] {
    if (_outOfRange)
      removeOperandsValue(static_cast<double>(v));
    else
      removeOperandsValue(v);
  };
  _manager->withStackRoom(remove);
}

void QrcIntExpI::removeTraced(QrcInt v) {
  if (!_domain->contains(v)) return;
  QrcIntVarEventHandlerI* h = getIntHandler();
  h->notifyRemoveValueBegin(v);
  _domain->remove(v);
  h->notifyRemoveValueEnd(v);
  h->notifyValueRemoved(v);
}

void QrcIntExpI::removeRange(QrcInt a, QrcInt b) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([this, a, b] { removeRange(a, b); });
  refreshBounds();
  if (a > b) return;
  if (_valueOpen) giveValue();
  if (a > _min) {
    if (b >= _max) {
      setMax(a - 1);
      return;
    }
    if (_handler)
      removeInnerRange(a, b);
    else if (_outOfRange)
      removeOperandsRange(static_cast<double>(a), static_cast<double>(b));
    else
      removeOperandsRange(a, b);
    return;
  }
  if (b >= _max) failWith(HookSetMax, a - 1, 0);
  setMin(b + 1);
}

void QrcIntExpI::removeInnerRange(QrcInt a, QrcInt b) {
  if (a == b) {
    removeValue(a);
    return;
  }
  if (isProcessing()) {
    _handler->setState(QrcIntVarEventHandlerI::ProcessingDeferred);
    _manager->getPropagationQueue()->deferValueRange(a, b);
    return;
  }
  if (tracing(_manager)) {
    // The monitor hears each value.
    QrcInt v = isInDomain(a) ? a : getNextHigher(a);
    while (v <= b) {
      QrcInt next = getNextHigher(v);
      removeValue(v);
      if (next <= v) break;
      v = next;
    }
    return;
  }
  if (!_domain) makeDomainSet();
  QrcIntVarEventHandlerI* h = getIntHandler();
  if (!h->getDomainDemons().getHead()) {
    QrcInt size = _domain->getSize();
    _domain->removeRange(a, b);
    if (_domain->getSize() != size) h->notifyRangeRemoved(a, b);
    return;
  }
  // Each run of members goes as one removed range; the demons run once all are gone.
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  q->enter();
  for (QrcInt v = a;;) {
    QrcInt first = _domain->firstMemberInRange(v, b);
    if (first < v) break;
    QrcInt last = _domain->getRunEnd(first);
    if (last > b) last = b;
    _domain->removeRange(first, last);
    h->notifyRangeRemoved(first, last);
    if (last >= b) break;
    v = last + 1;
  }
  q->leave();
}

// Narrowing goes down as deep as the node is nested.
void QrcIntExpI::narrowOperands(QrcInt a, QrcInt b) {
  auto narrow = [&] { setOperandsRange(a, b); };
  _manager->withStackRoom(narrow);
}

void QrcIntExpI::narrowOperands(double a, double b) {
  auto narrow = [&] { setOperandsRange(a, b); };
  _manager->withStackRoom(narrow);
}

void QrcIntExpI::setRange(double lo, double hi) {
  if (std::isnan(lo) || std::isnan(hi)) return;
  if (lo > static_cast<double>(QrcIntMax) || hi < -TwoTo53) {
    // A node whose range left the limits holds values past them.
    refreshBounds();
    if (!_handler && _outOfRange) return narrowPastLimits(lo, hi);
    fail();
  }
  QrcInt a = lo < -TwoTo53 ? QrcIntMin : clampBound(static_cast<QrcInt>(std::trunc(lo)));
  QrcInt b = hi > static_cast<double>(QrcIntMax) ? QrcIntMax
                                                 : clampBound(static_cast<QrcInt>(std::trunc(hi)));
  setRange(a, b);
}

void QrcIntExpI::narrowPastLimits(double lo, double hi) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot([this, lo, hi] { setRange(lo, hi); });
  // A clamped bound reads as none.
  double a = _min <= QrcIntMin ? -HUGE_VAL : static_cast<double>(_min);
  double b = _max >= QrcIntMax ? HUGE_VAL : static_cast<double>(_max);
  if (lo > b || hi < a || _min > _max) fail();
  narrowOperands(lo > a ? lo : a, hi < b ? hi : b);
}

void QrcIntExpI::removeValue(double v) {
  if (std::isnan(v)) return;
  if (v >= -TwoTo53 && v <= static_cast<double>(QrcIntMax))
    removeValue(static_cast<QrcInt>(std::trunc(v)));
}

void QrcIntExpI::removeRange(double lo, double hi) {
  if (std::isnan(lo) || std::isnan(hi)) return;
  if (lo > hi || lo > static_cast<double>(QrcIntMax) || hi < -TwoTo53) return;
  QrcInt a = lo < -TwoTo53 ? QrcIntMin : clampBound(static_cast<QrcInt>(std::trunc(lo)));
  QrcInt b = hi > static_cast<double>(QrcIntMax) ? QrcIntMax
                                                 : clampBound(static_cast<QrcInt>(std::trunc(hi)));
  removeRange(a, b);
}

void QrcIntExpI::makeDomainSet() {
  if (_domain) return;
  _manager->saveValue(&_domain);
  _domain = QrcIntSetI::makeDomain(_manager, _min, _max);
}

// ---------------------------------------------------------------- display

void QrcIntExpI::display(std::ostream& os) const {
  QrcIntExpI* self = const_cast<QrcIntExpI*>(this);
  self->refreshBounds();
  const char* name = getName();
  if (name)
    os << name;
  else if (tracing(_manager))
    os << getKindName() << "(" << static_cast<const void*>(this) << ")";
  if (_min == _max) {
    os << "[" << _min << "]";
    return;
  }
  if (!_domain || _domain->getSize() == _max - _min + 1) {
    os << "[" << _min << ".." << _max << "]";
    return;
  }
  os << "[";
  bool first = true;
  QrcInt v = _min;
  for (;;) {
    QrcInt start = v, end = _domain->getRunEnd(v);
    if (end > _max) end = _max;
    if (!first) os << " ";
    first = false;
    if (start == end)
      os << start;
    else
      os << start << ".." << end;
    if (end >= _max) break;
    QrcInt n = _domain->getNextHigher(end);
    if (n == end || n > _max) break;
    v = n;
  }
  os << "]";
}

std::ostream& operator<<(std::ostream& os, const QrcIntExpI* exp) {
  exp->display(os);
  return os;
}
