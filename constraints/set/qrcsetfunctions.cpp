// The maximum and minimum of F(x) over the elements of a set variable, the
// frame shared with the sums (operand events, the propagators that follow the
// F(x) of an expression F) and the creation functions. Code that can fail
// keeps trivially destructible locals only.
#include "qrcsetfunctions.h"

#include <ostream>

#include "qrcintutil.h"
#include "qrcmonitor.h"
#include "qrcsetframe.h"

using namespace qrcset;
using qrcint::mn;
using qrcint::mx;

namespace {

// Bounds of the maximum (isMax) or the minimum of F over S, where
// terms.at(x, l, h) gives F(x) within [l, h]: extremes over R bound one side,
// over P the other, and an empty R leaves the extreme to any possible x.
// Empty P: an empty range.
template <class Terms>
void extremeBounds(QrcIntSetVarI* s, bool isMax, Terms terms, QrcInt& lo, QrcInt& hi) {
  if (possibleSize(s) == 0) {
    lo = QrcIntMax;
    hi = QrcIntMin;
    return;
  }
  bool noneRequired = requiredSize(s) == 0;
  lo = isMax && !noneRequired ? -QrcInt64Max : QrcInt64Max;
  hi = !isMax && !noneRequired ? QrcInt64Max : -QrcInt64Max;
  forEach(s->getPossible(), [&](QrcInt x) {
    QrcInt l, h;
    terms.at(x, l, h);
    bool required = !noneRequired && s->isRequired(x);
    if (isMax) {
      if (noneRequired)
        lo = mn(lo, l);
      else if (required)
        lo = mx(lo, l);
      hi = mx(hi, h);
    } else {
      lo = mn(lo, l);
      if (noneRequired)
        hi = mx(hi, h);
      else if (required)
        hi = mn(hi, h);
    }
    return true;
  });
}

template <class F>
F* need(F* f, const char* place) {
  if (!f) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return f;
}

QrcIntConstAccessorI* constants(QrcIntSetVarI* s, QrcIntToIntFunctionI* f) {
  QrcManagerI* m = s->getManager();
  return new (m) QrcIntFunctionAccessorI(s->makeAccessorDomain(), f);
}

// F(x) is made once per index and keeps the demons hung on it.
QrcIntExpAccessorI* expressions(QrcIntSetVarI* s, QrcIntToIntExpFunctionI* f) {
  QrcManagerI* m = s->getManager();
  QrcIntExpFunctionAccessorI* a = new (m) QrcIntExpFunctionAccessorI(s->makeAccessorDomain(), f);
  a->useCache();
  return a;
}

}  // namespace

// ---------------------------------------------------------------- creation

QrcIntExp QrcMax(const QrcIntSetVar& s, const QrcIntToIntFunction& f) {
  const char* place = "QrcMax(QrcIntSetVar, QrcIntToIntFunction)";
  QrcIntSetVarI* x = need(s, place);
  QrcIntToIntFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = x->getManager();
  return new (m) QrcSetMaxIntFuncExpI(m, x, constants(x, g));
}

QrcIntExp QrcMax(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f) {
  const char* place = "QrcMax(QrcIntSetVar, QrcIntToIntExpFunction)";
  QrcIntSetVarI* x = need(s, place);
  QrcIntToIntExpFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = x->getManager();
  return new (m) QrcSetMaxIntExpFuncExpI(m, x, expressions(x, g));
}

QrcIntExp QrcMin(const QrcIntSetVar& s, const QrcIntToIntFunction& f) {
  const char* place = "QrcMin(QrcIntSetVar, QrcIntToIntFunction)";
  QrcIntSetVarI* x = need(s, place);
  QrcIntToIntFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = x->getManager();
  return new (m) QrcSetMinIntFuncExpI(m, x, constants(x, g));
}

QrcIntExp QrcMin(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f) {
  const char* place = "QrcMin(QrcIntSetVar, QrcIntToIntExpFunction)";
  QrcIntSetVarI* x = need(s, place);
  QrcIntToIntExpFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = x->getManager();
  return new (m) QrcSetMinIntExpFuncExpI(m, x, expressions(x, g));
}

QrcIntExp QrcSum(const QrcIntSetVar& s, const QrcIntToIntFunction& f) {
  const char* place = "QrcSum(QrcIntSetVar, QrcIntToIntFunction)";
  QrcIntSetVarI* x = need(s, place);
  QrcIntToIntFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = x->getManager();
  return new (m) QrcSetSumIntFuncExpI(m, x, constants(x, g));
}

QrcIntExp QrcSum(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f) {
  const char* place = "QrcSum(QrcIntSetVar, QrcIntToIntExpFunction)";
  QrcIntSetVarI* x = need(s, place);
  QrcIntToIntExpFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = x->getManager();
  return new (m) QrcSetSumIntExpFuncExpI(m, x, expressions(x, g));
}

// ---------------------------------------------------------------- common frame

QrcIntExpOverSetI::QrcIntExpOverSetI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntAccessorI* f)
    : QrcIntExpI(m), _set(s), _accessor(f) {
  s->addParent(this);
  s->getCardinality()->addParent(this);
}

// The bounds of the extremes follow card(S) too (an S that can be empty
// leaves them open), and card(S) moves after the event of S: every demon
// also hears card(S)'s range event.
void QrcIntExpOverSetI::whenValueOnOperands(QrcDemonI* demon) {
  _set->whenValue(demon);
  _set->getCardinality()->whenRange(demon);
}

void QrcIntExpOverSetI::whenRangeOnOperands(QrcDemonI* demon) {
  _set->whenDomain(demon);
  _set->getCardinality()->whenRange(demon);
}

void QrcIntExpOverSetI::whenDomainOnOperands(QrcDemonI* demon) {
  _set->whenDomain(demon);
  _set->getCardinality()->whenRange(demon);
}

void QrcIntExpOverSetI::displayAs(std::ostream& os, const char* head) const {
  const_cast<QrcIntExpOverSetI*>(this)->refreshBounds();
  os << head << "[" << _min << ".." << _max << "]";
}

void QrcIntExpOverSetI::storeBounds(QrcInt lo, QrcInt hi) {
  if (lo < QrcIntMin || lo > QrcIntMax || hi < QrcIntMin || hi > QrcIntMax) {
    setBoundsFromDoubles(static_cast<double>(lo), static_cast<double>(hi), true);
    return;
  }
  _min = lo;
  _max = hi;
  if (_outOfRange) {
    _manager->saveValue(&_outOfRange);
    _outOfRange = 0;
  }
}

QrcIntExpOverIntExpSetI::QrcIntExpOverIntExpSetI(QrcManagerI* m, QrcIntSetVarI* s,
                                                 QrcIntExpAccessorI* f)
    : QrcIntExpOverSetI(m, s, f),
      _rangePropagator(new (m) QrcIntExpOverSetPropagatorI(m, this)),
      _valuePropagator(new (m) QrcIntExpOverSetPropagatorI(m, this)),
      _domainPropagator(new (m) QrcIntExpOverSetPropagatorI(m, this)) {}

void QrcIntExpOverIntExpSetI::follow() {
  _manager->add(new (_manager) QrcIntExpOverSetCstI(_manager, this));
}

void QrcIntExpOverIntExpSetI::whenValueOnOperands(QrcDemonI* demon) {
  QrcIntExpOverSetI::whenValueOnOperands(demon);
  _valuePropagator->whenDomain(demon);
}

void QrcIntExpOverIntExpSetI::whenRangeOnOperands(QrcDemonI* demon) {
  QrcIntExpOverSetI::whenRangeOnOperands(demon);
  _rangePropagator->whenDomain(demon);
}

void QrcIntExpOverIntExpSetI::whenDomainOnOperands(QrcDemonI* demon) {
  QrcIntExpOverSetI::whenDomainOnOperands(demon);
  _domainPropagator->whenDomain(demon);
}

void QrcIntExpOverIntExpSetI::hookIndex(QrcInt x, QrcConstraintI* owner) {
  QrcIntExpI* e = getExps()->get(x);
  if (e->isBound()) return;
  QrcManagerI* m = _manager;
  e->addParent(this);
  e->whenValue(new (m) QrcIntExpOverSetOpDemonI(m, owner, x, _set, _valuePropagator));
  e->whenRange(new (m) QrcIntExpOverSetOpDemonI(m, owner, x, _set, _rangePropagator));
  e->whenDomain(new (m) QrcIntExpOverSetOpDemonI(m, owner, x, _set, _domainPropagator));
}

// ---------------------------------------------------------------- propagators and demons

QrcIntExpOverSetPropagatorI::QrcIntExpOverSetPropagatorI(QrcManagerI* m, QrcIntExpI* node)
    : QrcEventHandlerI(m), _demons(m) {
  setOwner(node);
}

void QrcIntExpOverSetPropagatorI::process() {
  _state = Processing;
  _demons.propagatePending();
  _state = Idle;
}

QrcEventHandlerI* QrcIntExpOverSetPropagatorI::makeCopy(QrcManagerI* m) const {
  return new (m) QrcIntExpOverSetPropagatorI(m, static_cast<QrcIntExpI*>(_owner));
}

void QrcIntExpOverSetPropagatorI::display(std::ostream& os) const {
  os << "IntExpOverSet propagator";
}

void QrcIntExpOverSetPropagatorI::whenDomain(QrcDemonI* demon) {
  _demons.addConstraint(demon);
  if (_state == Queued) demon->markPending();
}

void QrcIntExpOverSetPropagatorI::traceWithMonitor(QrcSearchMonitorI* monitor) {
  if (monitor) monitor->onIntExp(_owner);
}

void QrcIntExpOverSetPropagatorI::traceWithMonitor2(QrcSearchMonitorI* monitor) {
  if (monitor) monitor->onIntExp(_owner);
}

QrcDemonI* QrcIntExpOverSetPropagatorI::getFirstDemon() const {
  QrcConstraintList::Cell* c = _demons.getHead();
  return c ? static_cast<QrcDemonI*>(c->item) : nullptr;
}

void QrcIntExpOverSetOpDemonI::propagate() {
  if (!_set->isPossible(_x)) {
    deactivate();
    return;
  }
  QrcConstraintList& demons = _propagator->getDemons();
  if (!demons.getHead()) return;
  demons.markPending();
  _propagator->schedule();
}

void QrcIntExpOverSetOpDemonI::display(std::ostream& os) const {
  os << "QrcIntExpOverSetOpDemon";
}

void QrcIntExpOverSetFiDefinedDemonI::propagate() {
  QrcIntExpOverSetFiDefinedDemonVisitor* visitor =
      new (_manager) QrcIntExpOverSetFiDefinedDemonVisitor(_node, _owner);
  _node->getAccessor()->getDomain()->visitNewIndices(visitor);
}

void QrcIntExpOverSetFiDefinedDemonI::display(std::ostream& os) const {
  os << "QrcIntExpOverSetFiDefinedDemon";
}

QrcBool QrcIntExpOverSetFiDefinedDemonVisitor::visit(QrcInt x) {
  if (_node->getSet()->isPossible(x)) _node->hookIndex(x, _owner);
  return 1;
}

void QrcIntExpOverSetCstI::post() {
  QrcIntExpOverIntExpSetI* node = _node;
  QrcAccessorDomainI* domain = node->getAccessor()->getDomain();
  QrcConstraintI* self = this;
  forEach(node->getSet()->getPossible(), [node, domain, self](QrcInt x) {
    if (domain->contains(x)) node->hookIndex(x, self);
    return true;
  });
  if (!domain->isClosed())
    domain->whenExtended(new (_manager) QrcIntExpOverSetFiDefinedDemonI(_manager, this, node));
  // The bounds are read again from the F(x) the node now follows.
  node->invalidateParents();
}

QrcConstraintI* QrcIntExpOverSetCstI::makeCopy(QrcManagerI* target) const {
  return target->getTrueConstraint();
}

// ---------------------------------------------------------------- maximum and minimum

namespace {

// Narrowing the maximum (isMax) or the minimum to [a, b] for F(x) within
// [l, h]: an x that can only leave [a, b] on the far side leaves S; the only
// x that can reach the near side joins S (with F(x) restricted to [a, b]);
// none fails. Bounds at the engine's limits stand for no bound.
template <class Terms>
void narrowExtreme(QrcIntExpI* node, QrcIntSetVarI* s, bool isMax, QrcInt a, QrcInt b, Terms f) {
  if (s->getCardinality()->getMin() == 0) return;
  bool lower = a > QrcIntMin, upper = b < QrcIntMax;
  QrcInt count = 0, last = 0;
  forEachPossible(s, [&](QrcInt x) {
    if (s->isRequired(x)) {
      if (isMax && upper) f.setMax(x, b);
      if (!isMax && lower) f.setMin(x, a);
    }
    QrcInt l, h;
    f.at(x, l, h);
    bool out = isMax ? upper && l > b : lower && h < a;
    if (out) {
      s->removePossible(x);
    } else if (isMax ? !lower || h >= a : !upper || l <= b) {
      ++count;
      last = x;
    }
    return true;
  });
  if (count == 0) node->fail();
  if (count > 1) return;
  s->addRequired(last);
  f.setRange(last, a, b);
}

struct ConstantOf {
  QrcIntConstAccessorI* f;
  void at(QrcInt x, QrcInt& l, QrcInt& h) const { l = h = f->makeValue(x); }
  void setMin(QrcInt, QrcInt) const {}
  void setMax(QrcInt, QrcInt) const {}
  void setRange(QrcInt, QrcInt, QrcInt) const {}
};

struct ExpressionOf {
  QrcIntExpAccessorI* f;
  void at(QrcInt x, QrcInt& l, QrcInt& h) const { f->getRange(x, l, h); }
  void setMin(QrcInt x, QrcInt v) const { f->setMin(x, v); }
  void setMax(QrcInt x, QrcInt v) const { f->setMax(x, v); }
  void setRange(QrcInt x, QrcInt a, QrcInt b) const { f->setRange(x, a, b); }
};

}  // namespace

QrcSetMaxIntFuncExpI::QrcSetMaxIntFuncExpI(QrcManagerI* m, QrcIntSetVarI* s,
                                           QrcIntConstAccessorI* f)
    : QrcIntExpOverIntSetI(m, s, f), _emptyMin(QrcIntMin), _emptyMax(QrcIntMax) {}

void QrcSetMaxIntFuncExpI::display(std::ostream& os) const {
  displayAs(os, "QrcMax(Set, Int F(x)):");
}

QrcExprI* QrcSetMaxIntFuncExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSetMaxIntFuncExpI(t, copyOf(_set, t), getValues()->copyFor(t));
}

void QrcSetMaxIntFuncExpI::computeRange() {
  if (_set->getCardinality()->getMin() == 0) {
    storeBounds(_emptyMin, _emptyMax);
    return;
  }
  QrcInt lo, hi;
  extremeBounds(_set, true, ConstantOf{getValues()}, lo, hi);
  storeBounds(lo, hi);
}

void QrcSetMaxIntFuncExpI::setOperandsRange(QrcInt a, QrcInt b) {
  narrowExtreme(this, _set, true, a, b, ConstantOf{getValues()});
}

QrcSetMinIntFuncExpI::QrcSetMinIntFuncExpI(QrcManagerI* m, QrcIntSetVarI* s,
                                           QrcIntConstAccessorI* f)
    : QrcIntExpOverIntSetI(m, s, f), _emptyMin(QrcIntMin), _emptyMax(QrcIntMax) {}

void QrcSetMinIntFuncExpI::display(std::ostream& os) const {
  displayAs(os, "QrcMin(Set, Int F(x)):");
}

QrcExprI* QrcSetMinIntFuncExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSetMinIntFuncExpI(t, copyOf(_set, t), getValues()->copyFor(t));
}

void QrcSetMinIntFuncExpI::computeRange() {
  if (_set->getCardinality()->getMin() == 0) {
    storeBounds(_emptyMin, _emptyMax);
    return;
  }
  QrcInt lo, hi;
  extremeBounds(_set, false, ConstantOf{getValues()}, lo, hi);
  storeBounds(lo, hi);
}

void QrcSetMinIntFuncExpI::setOperandsRange(QrcInt a, QrcInt b) {
  narrowExtreme(this, _set, false, a, b, ConstantOf{getValues()});
}

QrcSetMaxIntExpFuncExpI::QrcSetMaxIntExpFuncExpI(QrcManagerI* m, QrcIntSetVarI* s,
                                                 QrcIntExpAccessorI* f)
    : QrcIntExpOverIntExpSetI(m, s, f), _emptyMin(QrcIntMin), _emptyMax(QrcIntMax) {
  follow();
}

void QrcSetMaxIntExpFuncExpI::display(std::ostream& os) const {
  displayAs(os, "QrcMax(Set, IntExp F(x)):");
}

QrcExprI* QrcSetMaxIntExpFuncExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSetMaxIntExpFuncExpI(t, copyOf(_set, t), getExps()->copyFor(t));
}

void QrcSetMaxIntExpFuncExpI::computeRange() {
  if (_set->getCardinality()->getMin() == 0) {
    storeBounds(_emptyMin, _emptyMax);
    return;
  }
  QrcInt lo, hi;
  extremeBounds(_set, true, ExpressionOf{getExps()}, lo, hi);
  storeBounds(lo, hi);
}

void QrcSetMaxIntExpFuncExpI::setOperandsRange(QrcInt a, QrcInt b) {
  narrowExtreme(this, _set, true, a, b, ExpressionOf{getExps()});
}

QrcSetMinIntExpFuncExpI::QrcSetMinIntExpFuncExpI(QrcManagerI* m, QrcIntSetVarI* s,
                                                 QrcIntExpAccessorI* f)
    : QrcIntExpOverIntExpSetI(m, s, f), _emptyMin(QrcIntMin), _emptyMax(QrcIntMax) {
  follow();
}

void QrcSetMinIntExpFuncExpI::display(std::ostream& os) const {
  displayAs(os, "QrcMin(Set, IntExp F(x)):");
}

QrcExprI* QrcSetMinIntExpFuncExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcSetMinIntExpFuncExpI(t, copyOf(_set, t), getExps()->copyFor(t));
}

void QrcSetMinIntExpFuncExpI::computeRange() {
  if (_set->getCardinality()->getMin() == 0) {
    storeBounds(_emptyMin, _emptyMax);
    return;
  }
  QrcInt lo, hi;
  extremeBounds(_set, false, ExpressionOf{getExps()}, lo, hi);
  storeBounds(lo, hi);
}

void QrcSetMinIntExpFuncExpI::setOperandsRange(QrcInt a, QrcInt b) {
  narrowExtreme(this, _set, false, a, b, ExpressionOf{getExps()});
}
