#include "qrcfloatexp.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <ostream>

#include "qrcfloatprint.h"
#include "qrcfloatconst.h"
#include "qrcfloatenv.h"
#include "qrcfloatset.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qrcqueue.h"

namespace {

const double Inf = HUGE_VAL;

// Order-preserving unsigned image of a double.
QrcUInt orderImage(QrcFloat x) {
  QrcUInt bits;
  std::memcpy(&bits, &x, sizeof bits);
  if (x >= 0) return bits | 0x8000000000000000ull;
  return ~bits + 1;
}

}  // namespace

// ---------------------------------------------------------------- linear terms

void QrcFloatLinearTermsI::addVariable(QrcExprI* var, QrcFloat coef) {
  _variables = new (_manager) Term{_variables, var, coef};
}

void QrcFloatLinearTermsI::addNonLinear(QrcExprI* exp, QrcFloat coef) {
  _others = new (_manager) Term{_others, exp, coef};
}

void QrcFloatLinearTermsI::addIntVarTerm(QrcIntExpI* var, QrcInt coef) {
  addVariable(var, static_cast<QrcFloat>(coef));
}

void QrcFloatLinearTermsI::addVarTerm(QrcIntExpI* var, double coef) {
  addVariable(var, coef);
}

void QrcFloatLinearTermsI::addExpTerm(QrcIntExpI* exp, double coef) {
  addNonLinear(exp, coef);
}

// ---------------------------------------------------------------- construction

QrcFloatExpI::QrcFloatExpI(QrcManagerI* manager)
    : QrcExprI(manager),
      _min(-Inf),
      _max(Inf),
      _precision(manager->getDefaultPrecision()),
      _valueSet(nullptr),
      _undefined(0) {}

QrcFloatExpI::QrcFloatExpI(QrcManagerI* manager, QrcFloat min, QrcFloat max, QrcFloat precision,
                           const char* name)
    : QrcExprI(manager),
      _min(min),
      _max(max),
      _precision(precision),
      _valueSet(nullptr),
      _undefined(0) {
  QrcFloatVarEventHandlerI* h = new (manager) QrcFloatVarEventHandlerI(manager, min, max);
  h->setOwner(this);
  setEventHandler(h);
  manager->incrementVariableCount();
  if (name) setName(name);
  QrcInt p = manager->getVariablePrecision();
  if (p > 0) {
    _min = roundDownToPrecision(_min, p);
    _max = roundUpToPrecision(_max, p);
  }
  if (_min > _max) manager->fail();
  manager->notifyNewFloatVar(this);
}

QrcFloatExpI::QrcFloatExpI(QrcManagerI* manager, QrcFloatArrayI* values, const char* name)
    : QrcExprI(manager),
      _min(0),
      _max(0),
      _precision(manager->getDefaultPrecision()),
      _valueSet(nullptr),
      _undefined(0) {
  values->setCollection();
  QrcFloatCollectionI* coll = values->getCollection();
  if (coll->getSize() == 0) manager->fail();
  _min = coll->getLeast();
  _max = coll->getGreatest();
  _valueSet = new (manager) QrcFloatSetI(coll, 1, 1);
  QrcFloatVarEventHandlerI* h = new (manager) QrcFloatVarEventHandlerI(manager, _min, _max);
  h->setOwner(this);
  setEventHandler(h);
  manager->incrementVariableCount();
  if (name) setName(name);
  manager->notifyNewFloatVar(this);
}

QrcFloatExpI::QrcFloatExpI(QrcManagerI* manager, const QrcFloatExpI& source)
    : QrcExprI(manager, source),
      _min(source._min),
      _max(source._max),
      _precision(source._precision),
      _valueSet(source._valueSet ? source._valueSet->copy(manager) : nullptr),
      _undefined(source._undefined) {
  if (source.getName()) setName(source.getName());
  manager->notifyNewFloatVar(this);
}

QrcExprI* QrcFloatExpI::makeCopy(QrcManagerI* target) const {
  return new (target) QrcFloatExpI(target, *this);
}

QrcFloatVarEventHandlerI* QrcFloatExpI::getFloatHandler() const {
  return static_cast<QrcFloatVarEventHandlerI*>(_handler);
}

void QrcFloatExpI::recompute() {
  _undefined = 0;
  // Reads the operands' bounds, recursing as deep as the node is nested.
  auto compute = [this] { computeRange(); };
  _manager->withStackRoom(compute);
  _boundsStamp = _manager->getFailStamp();
}

void QrcFloatExpI::narrowOperands(QrcFloat a, QrcFloat b) {
  // Narrowing goes down as deep as the node is nested.
  auto narrow = [&] { setOperandsRange(a, b); };
  _manager->withStackRoom(narrow);
}

QrcFloat QrcFloatExpI::getOldMin() const {
  return getFloatHandler()->getOldMin();
}
QrcFloat QrcFloatExpI::getOldMax() const {
  return getFloatHandler()->getOldMax();
}

// ---------------------------------------------------------------- reading

QrcBool QrcFloatExpI::isBound() const {
  if (_manager->variablePrecision()) {
    refresh();
    QrcInt q = _manager->getBoundPrecision();
    QrcUInt step = (q >= 0 && q <= 52) ? (QrcUInt(1) << (52 - q)) : 0;
    return orderImage(_max) - step <= orderImage(_min);
  }
  refresh();
  QrcFloat min = _min, max = _max;
  if (min == max) return 1;
  if (max == Inf) return min == DBL_MAX;
  if (min == -Inf) return max == -DBL_MAX;
  QrcFloat m = std::fabs(min) < std::fabs(max) ? std::fabs(min) : std::fabs(max);
  QrcFloat w = max - min;
  if (m < 1) return _precision > w;
  return m * _precision > w;
}

QrcFloat QrcFloatExpI::getValue() const {
  refresh();
  if (!isBound()) {
    getErrorReporter()->report(QrcUnboundError, "QrcFloatExpI::getValue",
                               "unbound constrained variable", this);
    return 1.0;
  }
  QrcFloat min = _min == -Inf ? -DBL_MAX : (_min == Inf ? DBL_MAX : _min);
  QrcFloat max = _max == Inf ? DBL_MAX : (_max == -Inf ? -DBL_MAX : _max);
  return 0.5 * min + 0.5 * max;
}

QrcBool QrcFloatExpI::isInDomain(QrcFloat v) const {
  refresh();
  if (_undefined && _manager->variablePrecision()) return 0;
  if (v < _min || v > _max) return 0;
  if (!_valueSet) return 1;
  return _valueSet->contains(v) ? 1 : 0;
}

QrcFloat QrcFloatExpI::getNextHigher(QrcFloat v) const {
  if (!_valueSet) {
    getErrorReporter()->report(QrcContinuousVariableError, "QrcFloatExpI::getNextHigher",
                               "continuous constrained variable", this);
    return v;
  }
  refresh();
  if (v >= _max) return v;
  if (v < _min) return _min;
  return _valueSet->getNextHigher(v);
}

// ---------------------------------------------------------------- narrowing

void QrcFloatExpI::saveMin() {
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  if (h->_minStamp == _manager->getStamp()) return;
  _manager->saveValue(&_min);
  h->_minStamp = _manager->getStamp();
}

void QrcFloatExpI::saveMax() {
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  if (h->_maxStamp == _manager->getStamp()) return;
  _manager->saveValue(&_max);
  h->_maxStamp = _manager->getStamp();
}

void QrcFloatExpI::setRange(QrcFloat a, QrcFloat b) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcFloatExpI::setRange>(this, a, b);
  // A bound that is not a number restricts nothing.
  if (a != a) a = -Inf;
  if (b != b) b = Inf;
  if (_manager->variablePrecision())
    setRangePrecise(a, b);
  else
    setRangeNormal(a, b);
}

inline void QrcFloatExpI::setRangeNormal(QrcFloat a, QrcFloat b) {
  if (a > b || a == Inf || b == -Inf) fail();
  refresh();
  if (_undefined || _min > b || a > _max) fail();
  QrcFloat na = _min > a ? _min : a;
  QrcFloat nb = b < _max ? b : _max;
  if (!_handler) {
    narrowOperands(na, nb);
    return;
  }
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  if (h->isProcessing()) {
    h->setState(QrcEventHandlerI::ProcessingDeferred);
    _manager->getPropagationQueue()->deferFloatRange(na, nb);
    return;
  }
  applyRange(na, nb, true);
}

void QrcFloatExpI::applyRange(QrcFloat na, QrcFloat nb, bool significance) {
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  h->widenOldBounds(_min, _max);
  bool moved = na > _min || _max > nb;
  bool tracing = _manager->getPropagationQueue()->isTracing();
  if (na > _min) {
    saveMin();
    if (_valueSet) na = _valueSet->raiseMin(_min, na);
    if (tracing) h->setMinBegin(na);
    _min = na;
    if (tracing) h->setMinEnd(na);
  }
  if (_max > nb) {
    saveMax();
    if (_valueSet) nb = _valueSet->lowerMax(_max, nb);
    if (tracing) h->setMaxBegin(nb);
    _max = nb;
    if (tracing) h->setMaxEnd(nb);
  }
  if (_min > _max) {
    if (!significance && tracing) h->setRangeBegin(na, nb);
    fail();
  }
  h->rangeEvent(_min, _max, significance, moved);
}

void QrcFloatExpI::setRangePrecise(QrcFloat a, QrcFloat b) {
  QrcInt p = _manager->getVariablePrecision();
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  bool tracing = _manager->getPropagationQueue()->isTracing();
  if (_handler && _valueSet) {
    bool aIn = a >= _valueSet->getMin() && a <= _valueSet->getMax() && _valueSet->contains(a);
    bool bIn = b >= _valueSet->getMin() && b <= _valueSet->getMax() && _valueSet->contains(b);
    if (aIn && bIn) {
      a = roundDownToPrecision(a, p);
      b = roundUpToPrecision(b, p);
    } else {
      if (!aIn) a = _valueSet->getNextHigher(a);
      if (!bIn) b = _valueSet->getNextLower(b);
    }
  } else if (_handler) {
    a = roundDownToPrecision(a, p);
    b = roundUpToPrecision(b, p);
  }
  if (a > b || a == Inf || b == -Inf) {
    if (tracing && h) h->setRangeBegin(a, b);
    fail();
  }
  refresh();
  if (_undefined || _min > b || a > _max) {
    if (tracing && h) h->setRangeBegin(a, b);
    fail();
  }
  if (_min >= a && b >= _max) return;
  if (_min >= a) a = _min;
  QrcFloat nb = b < _max ? b : _max;
  if (!_handler) {
    narrowOperands(a, nb);
    return;
  }
  if (h->isProcessing()) {
    h->setState(QrcEventHandlerI::ProcessingDeferred);
    _manager->getPropagationQueue()->deferFloatRange(a, nb);
    return;
  }
  applyRange(a, nb, false);
}

bool QrcFloatExpI::isQuietTarget() {
  refresh();
  if (_undefined) return false;
  // With variable precision a node narrowed to a range holding its bounds
  // returns at once; the ranges of variables are rounded first: not followed.
  if (_manager->variablePrecision()) return !_handler;
  if (_handler) return true;
  if (!(_min > -Inf && _max < Inf)) return false;
  bool quiet = false;
  auto below = [&] { quiet = hasQuietOperands(); };
  _manager->withStackRoom(below);
  return quiet;
}

void QrcFloatExpI::touch() {
  if (_manager->variablePrecision()) return;
  // A variable's bounds lie inside the range: the same as setRange(-Inf, Inf).
  if (_handler) {
    setRange(-Inf, Inf);
    return;
  }
  auto below = [this] { touchOperands(); };
  _manager->withStackRoom(below);
}

void QrcFloatExpI::setValue(QrcFloat v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcFloatExpI::setValue>(this, v);
  if (_manager->variablePrecision() && !(_handler && _valueSet)) {
    setRangePrecise(v, v);
    return;
  }
  setValueNormal(v, _manager->variablePrecision());
}

void QrcFloatExpI::setValueNormal(QrcFloat v, bool precise) {
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  bool tracing = _manager->getPropagationQueue()->isTracing() && h;
  if (precise) {
    refresh();
    if (_min == v && _max == v) return;
  }
  if (v != v || v == Inf || v == -Inf) {
    if (precise && tracing) h->setValueBegin(v);
    fail();
  }
  refresh();
  if (_undefined || v < _min || v > _max) {
    if (precise && tracing) h->setValueBegin(v);
    fail();
  }
  if (!_handler) {
    narrowOperands(v, v);
    return;
  }
  if (h->isProcessing()) {
    h->setState(QrcEventHandlerI::ProcessingDeferred);
    _manager->getPropagationQueue()->deferFloatRange(v, v);
    return;
  }
  h->widenOldBounds(_min, _max);
  bool moved = _min != v || _max != v;
  if (_valueSet) {
    if (!_valueSet->contains(v)) {
      if (precise && tracing) h->setValueBegin(v);
      fail();
    }
    _valueSet->setSize(1);
  }
  saveMin();
  saveMax();
  if (tracing) h->setValueBegin(v);
  _min = v;
  _max = v;
  if (tracing) h->setValueEnd(v);
  h->rangeEvent(v, v, !precise, moved);
}

void QrcFloatExpI::removeValue(QrcFloat v) {
  if (_manager->isAtRoot()) return _manager->narrowAtRoot<&QrcFloatExpI::removeValue>(this, v);
  if (!_valueSet) {
    getErrorReporter()->report(QrcContinuousVariableError, "QrcFloatExpI::removeValue",
                               "continuous constrained variable", this);
    return;
  }
  refresh();
  if (v < _min || v > _max) return;
  // An end value moves the bound; without a member beyond it nothing is left.
  if (v == _min) {
    QrcFloat next = _valueSet->getNextHigher(v);
    if (!(next > v)) fail();
    saveMin();
    setRange(next, Inf);
    return;
  }
  if (v == _max) {
    QrcFloat previous = _valueSet->getNextLower(v);
    if (!(previous < v)) fail();
    saveMax();
    setRange(-Inf, previous);
    return;
  }
  QrcFloatVarEventHandlerI* h = getFloatHandler();
  if (!h) return;
  if (h->isProcessing()) {
    h->setState(QrcEventHandlerI::ProcessingDeferred);
    _manager->getPropagationQueue()->deferFloatValue(v);
    return;
  }
  h->widenOldBounds(_min, _max);
  bool tracing = _manager->getPropagationQueue()->isTracing();
  if (tracing) {
    h->removeValueBegin(v);
    _valueSet->remove(v);
    h->removeValueEnd(v);
    if (_valueSet->contains(v)) return;
  } else if (!_valueSet->remove(v)) {
    return;
  }
  h->removalEvent(v);
}

// ---------------------------------------------------------------- events

void QrcFloatExpI::whenValue(QrcDemonI* demon) {
  if (QrcExprI* meta = static_cast<QrcExprI*>(demon->getMetaExpression())) {
    addParent(meta);
    return;
  }
  if (!_handler) {
    rememberDemon(demon, ValueWatch);
    auto attach = [&] { whenValueOnOperands(demon); };
    _manager->withStackRoom(attach);
    return;
  }
  getFloatHandler()->addValueDemon(demon);
}

void QrcFloatExpI::whenRange(QrcDemonI* demon) {
  if (QrcExprI* meta = static_cast<QrcExprI*>(demon->getMetaExpression())) {
    addParent(meta);
    return;
  }
  if (!_handler) {
    rememberDemon(demon, RangeWatch);
    auto attach = [&] { whenRangeOnOperands(demon); };
    _manager->withStackRoom(attach);
    return;
  }
  getFloatHandler()->addRangeDemon(demon);
}

void QrcFloatExpI::whenDomain(QrcDemonI* demon) {
  if (!_handler) {
    rememberDemon(demon, DomainWatch);
    auto attach = [&] { whenDomainOnOperands(demon); };
    _manager->withStackRoom(attach);
    return;
  }
  _handler->whenDomain(demon);
}

void QrcFloatExpI::removeDemon(QrcDemonI* demon) {
  if (_watchers) forgetDemon(demon);
  if (_handler) getFloatHandler()->removeDemon(demon);
}

void QrcFloatExpI::whenValueOnOperands(QrcDemonI* demon) {
  whenRangeOnOperands(new (_manager) QrcFloatValueConstraintI(this, demon));
}

void QrcFloatExpI::whenRangeOnOperands(QrcDemonI*) {
  getErrorReporter()->report(QrcInternalError, "internal error", "access to uninitialised floatvar",
                             this);
}

void QrcFloatExpI::whenDomainOnOperands(QrcDemonI* demon) {
  whenRangeOnOperands(demon);
}

QrcConstraintI* QrcFloatExpI::makeEventHandlerConstraint() {
  if (_handler) return nullptr;
  _manager->incrementVariableCount();
  _undefined = 0;
  computeRange();
  _undefined = 0;
  attachEventHandler(new (_manager) QrcFloatVarEventHandlerI(_manager, _min, _max));
  QrcConstraintI* ct = new (_manager) QrcFloatExpEventHandlerConstraintI(_manager, this);
  _manager->add(ct);
  return ct;
}

void QrcFloatExpI::attachEventHandler(QrcFloatVarEventHandlerI* h) {
  h->setOwner(this);
  setEventHandler(h);
  // The demons attached through the node still hear its operands; they hear
  // the node's own changes too, which the link makes after those.
  for (WatchCell* c = _watchers; c; c = c->next) {
    if (c->event == ValueWatch)
      h->addValueDemon(c->demon);
    else if (c->event == RangeWatch)
      h->addRangeDemon(c->demon);
    else
      h->whenDomain(c->demon);
  }
}

// ---------------------------------------------------------------- other operations

void QrcFloatExpI::collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) {
  if (_handler)
    acc->addVariable(this, coef);
  else
    acc->addNonLinear(this, coef);
}

void QrcFloatExpI::notifyMonitor(QrcAny, QrcPropagationQueueI* queue) {
  QrcSearchMonitorI* m = _handler ? getFloatHandler()->monitor() : nullptr;
  if (!m) m = queue ? queue->getMonitor() : _manager->getPropagationQueue()->getMonitor();
  if (m) m->notifyFloatExp(this);
}

QrcFloatExpI* QrcFloatExpI::getDerivative(QrcFloatExpI* var) {
  getErrorReporter()->report(QrcInternalError, "QrcFloatExpI::getDerivative",
                             "Derivative Not yet implemented", var);
  return nullptr;
}

QrcFloatExpI* QrcFloatExpI::derivative(QrcFloatExpI* var) {
  if (var == this) return QrcFloatConstI::make(_manager, 1.0, 1.0, nullptr);
  if (!_handler) return getDerivative(var);
  return nullptr;
}

void* QrcFloatExpI::makeSaver() {
  return new (_manager) QrcFloatSaverI(this);
}

void QrcFloatExpI::setObjMin(QrcFloat step, QrcFloat relativeStep) {
  _manager->setOptFilter(new (_manager) QrcFloatOptFilterI(this, step, relativeStep));
}

void QrcFloatExpI::display(std::ostream& os) const {
  refresh();
  if (getName()) os << getName();
  if (_manager->getPropagationQueue()->isTracing())
    os << "(" << getKindName() << "(" << static_cast<const void*>(this) << "))";
  displayDomain(os);
}

void QrcFloatExpI::displayDomain(std::ostream& os) const {
  QrcFloat min = _min, max = _max;
  if (_valueSet) {
    os << "[" << min;
    for (QrcFloat v = min;;) {
      QrcFloat next = getNextHigher(v);
      if (!(next > v) || next > max) break;
      os << " " << next;
      v = next;
    }
    os << "]";
    return;
  }
  switch (_manager->getDisplayMode()) {
    case QrcPlainDisplay:
      if (min == max) {
        os << "[" << min << "]";
        return;
      }
      os << (min == -Inf ? "(" : "[") << min << ".." << max;
      os << (max == Inf ? ")" : "]");
      return;
    case QrcIntervalDisplay:
    case QrcPositionalIntervalDisplay:
      printFloatInterval(min, max, os,
                         _manager->getDisplayMode() == QrcPositionalIntervalDisplay ? 1 : 0);
      return;
    case QrcRangeDisplay:
    case QrcPositionalRangeDisplay:
      printFloatRange(min, max, os,
                      _manager->getDisplayMode() == QrcPositionalRangeDisplay ? 1 : 0);
      return;
    default:
      return;
  }
}

std::ostream& operator<<(std::ostream& os, const QrcFloatExp& exp) {
  if (exp.getImpl()) exp.getImpl()->display(os);
  return os;
}
