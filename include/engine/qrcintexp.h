// Integer expressions and variables of the engine. A variable owns an event
// handler with demon lists per event (value, range, domain); its bounds and
// optional domain set are reversible. A node of an expression caches its
// bounds (validated by the fail stamp) and pushes narrowings down to its
// operands. Bounds stay within plus or minus 2^53 - 1; a node whose bounds,
// computed in doubles, leave that interval sets its out-of-range flag.
//
// Narrowing operations can fail: they leave by the manager's failure.
#ifndef QRC_INTEXP_H
#define QRC_INTEXP_H

#include <cstdint>
#include <iosfwd>

#include "qrcevent.h"
#include "qrcexpr.h"
#include "qrcexprct.h"
#include "qrcintset.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

class QrcIntExpI;
class QrcIntConstI;
class QrcIntSetI;
class QrcElemCst;
class QrcElemI;
class QrcGenIntVarI;
class QrcIndexI;

// Receives the terms of a linear form: variables, non-linear expressions and
// constants, with integer or double coefficients.
class QrcLinearAccumulatorI {
 public:
  virtual ~QrcLinearAccumulatorI() {}
  virtual void addIntVarTerm(QrcIntExpI* var, QrcInt coef) = 0;
  virtual void addIntConstant(QrcInt value) = 0;
  virtual void addVarTerm(QrcIntExpI* var, double coef) = 0;
  virtual void addExpTerm(QrcIntExpI* exp, double coef) = 0;
  virtual void addConstant(double value) = 0;
};

// Visitor of integer expressions. The element expressions (a[x], vars[x],
// vars[index], qrcelement.h) go to their own operation first, which answers
// whether it took them: one that does not, as by default, has them visited
// as any expression.
class QrcIntExpVisitorI {
 public:
  virtual ~QrcIntExpVisitorI() {}
  virtual void visitIntExp(QrcIntExpI* exp) { (void)exp; }
  virtual void visitIntConst(QrcIntConstI* exp) { (void)exp; }
  virtual QrcBool visitElemCst(QrcElemCst* exp) {
    (void)exp;
    return 0;
  }
  virtual QrcBool visitElemVar(QrcElemI* exp) {
    (void)exp;
    return 0;
  }
  virtual QrcBool visitGenIntVar(QrcGenIntVarI* exp) {
    (void)exp;
    return 0;
  }
};

class QrcIntVarEventHandlerI;

// A signed integer of 128 bits (an extension of GCC and Clang).
__extension__ typedef __int128 QrcInt128;

// The exact value of an expression in 128 bits, for the nodes whose range
// left the limits (QrcIntExpI::exactValue).
struct QrcExactValue {
  enum Kind : int32_t {
    Known,    // value holds it
    Open,     // an operand is not bound yet
    Free,     // any value: a quotient 0 / 0
    NoValue,  // no value: a quotient c / 0, an element outside its array
    Huge,     // past what 128 bits hold; value holds its sign, 1 or -1
    Unknown   // beyond what 128 bits tell
  };
  QrcInt128 value;
  Kind kind;
};

class QrcIntExpI : public QrcExprI {
  QRCLIBRARYCLASS(QrcIntExpI)
 public:
  // A variable over [min, max]; fails at once when min > max.
  QrcIntExpI(QrcManagerI* manager, QrcInt min, QrcInt max, const char* name);
  // A variable over n values (duplicates allowed); fails at once when n < 1.
  // A wide domain is held over the given collection of the values, or a new one.
  QrcIntExpI(QrcManagerI* manager, QrcInt n, const QrcInt* values, const char* name,
             QrcIntCollectionI* collection = nullptr);
  // A node: bounds computed on first read.
  explicit QrcIntExpI(QrcManagerI* manager);
  // Copy into another manager.
  QrcIntExpI(QrcManagerI* target, const QrcIntExpI& source);

  // ---- base overrides
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void notifyMonitor(QrcAny label, QrcPropagationQueueI* queue) override;
  // A QrcIntSaverI of the current bounds.
  void* makeSaver() override;
  // Makes the expression a variable and installs an objective filter minimising it.
  void setObjMin(QrcFloat step, QrcFloat relativeStep) override;

  // ---- integer virtual operations
  virtual const char* getKindName() const { return "QrcIntExp"; }
  // Turns a node into a variable; null for a variable or constant.
  virtual QrcConstraintI* makeEventHandlerConstraint();
  virtual void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef);
  virtual void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef);
  virtual QrcInt getLinearSize() const { return isVariable() ? 1 : -1; }
  virtual void computeRange() {}
  virtual void computeRangeAsDoubles();
  virtual void setOperandsRange(QrcInt a, QrcInt b) { (void)a, (void)b; }
  virtual void setOperandsRange(double a, double b);
  virtual void removeOperandsValue(QrcInt v) { (void)v; }
  virtual void removeOperandsValue(double v) { (void)v; }
  virtual void removeOperandsRange(QrcInt a, QrcInt b) { (void)a, (void)b; }
  virtual void removeOperandsRange(double a, double b) { (void)a, (void)b; }
  virtual void removeWhenOnOperands(QrcDemonI* demon) { (void)demon; }
  virtual void whenValueOnOperands(QrcDemonI* demon);
  virtual void whenRangeOnOperands(QrcDemonI* demon);
  virtual void whenDomainOnOperands(QrcDemonI* demon);
  virtual void accept(QrcIntExpVisitorI* visitor) { visitor->visitIntExp(this); }
  // Element expressions over constant arrays answer yes and build y == a[x],
  // y != a[x]; every other expression answers no and builds nothing.
  virtual QrcBool isStaticElement() const { return 0; }
  virtual QrcConstraintI* makeStaticElementEq(QrcIntExpI* y) {
    (void)y;
    return nullptr;
  }
  virtual QrcConstraintI* makeStaticElementNEq(QrcIntExpI* y) {
    (void)y;
    return nullptr;
  }
  // The generic element vars[index] over an array of the index's size makes
  // the number of those variables equal to c (a cardinality constraint added
  // to the manager); every other expression makes nothing.
  virtual QrcIntExpI* makeGenericCount(QrcIndexI* index, QrcInt c) {
    (void)index, (void)c;
    return nullptr;
  }
  // The constraint that holds exactly where the expression has no value (an
  // element whose index lies outside its array); null for an expression that
  // always has one. A comparison over the expression is false there, and its
  // opposite true.
  virtual QrcConstraintI* makeUndefinedConstraint() { return nullptr; }
  // For a node that may lack a value: whether it may still lose it in the
  // current state (an element's index may still leave its array, or an
  // operand may still lose its value), read with the bounds.
  virtual bool computeValueOpen() { return false; }
  // Gives such a node a value: an element's index enters its array, and the
  // operands of a node over such elements get theirs. May fail.
  virtual void requireOperandValues() {}
  // A node whose range left the limits: its exact value from its operands'.
  virtual QrcExactValue exactFromOperands();

  // ---- reading
  void refreshBounds() {
    if (!_handler && _boundsStamp != currentFailStamp()) recomputeBounds();
  }
  QrcInt getMin() {
    refreshBounds();
    return _min;
  }
  QrcInt getMax() {
    refreshBounds();
    return _max;
  }
  // A single value that the node cannot lose any more.
  bool isBound() {
    refreshBounds();
    return _min == _max && !_valueOpen;
  }
  // Whether the node may still lose its value (its range is that of the
  // values it has); never for a variable.
  bool isValueOpen() {
    refreshBounds();
    return _valueOpen != 0;
  }
  // Demands a value: fails on a node without one and gives a node that may
  // still lose its value one. Nothing for a variable.
  void requireValue() {
    if (_handler) return;
    refreshBounds();
    if (_min > _max) fail();
    if (_valueOpen) giveValue();
  }
  QrcInt getValue();
  QrcInt getSize();
  bool isInDomain(QrcInt v);
  QrcInt getNextHigher(QrcInt v);
  QrcInt getNextLower(QrcInt v);
  double getFloatMin();
  double getFloatMax();
  QrcInt getOldMin();
  QrcInt getOldMax();
  QrcPropagationQueueI::IntCell* getRemovedValues() const;
  // Inner ranges removed in this step: a start cell whose next is the end cell.
  QrcPropagationQueueI::IntCell* getRemovedRanges() const;
  bool isInDelta(QrcInt v);
  QrcIntSetI* getDomainSet() const { return _domain; }
  bool isOutOfRange() const { return _outOfRange != 0; }
  // The exact value: read in the bounds, but for a node whose range left
  // the limits, where its bounds are clamped and it is computed from the
  // operands'. Open while an operand is not bound.
  QrcExactValue exactValue();
  // Bound fields as they are (no refresh): for nodes computing their range,
  // and for readers that checked hasFreshBounds.
  QrcInt rawMin() const { return _min; }
  QrcInt rawMax() const { return _max; }
  // Whether the bound fields hold the current bounds (always for a variable).
  bool hasFreshBounds() const { return _handler || _boundsStamp == currentFailStamp(); }
  // For a parent that computed this node's bounds from its operands exactly
  // as the node's own computeRange does: stores them as fresh.
  void storeFreshBounds(QrcInt a, QrcInt b) {
    _min = a;
    _max = b;
    _boundsStamp = currentFailStamp();
  }

  // ---- narrowing (at the root each is a change at the root, taken back
  // whole when it fails: QrcManagerI::changeAtRoot)
  void setMin(QrcInt v);
  void setMax(QrcInt v);
  void setRange(QrcInt a, QrcInt b) {
    // Bounds already inside [a, b] change nothing: no call.
    if (a <= b && hasFreshBounds() && a <= _min && b >= _max && _min <= _max && !_valueOpen) return;
    narrowRange(a, b);
  }
  void setValue(QrcInt v);
  // A value outside the bounds of a nonempty expression that cannot lose its
  // value changes nothing.
  void removeValue(QrcInt v) {
    refreshBounds();
    if ((v < _min || v > _max) && _min <= _max && !_valueOpen) return;
    removeValueInBounds(v);
  }
  void removeRange(QrcInt a, QrcInt b);
  void setRange(double lo, double hi);
  void removeValue(double v);
  void removeRange(double lo, double hi);
  // Plain int arguments take the integer forms.
  void setRange(int a, int b) { setRange(static_cast<QrcInt>(a), static_cast<QrcInt>(b)); }
  void removeValue(int v) { removeValue(static_cast<QrcInt>(v)); }
  void removeRange(int a, int b) { removeRange(static_cast<QrcInt>(a), static_cast<QrcInt>(b)); }
  void setDomain(QrcIntExpI* source);
  void setDomain(QrcIntSetI* source);
  void setDomain(QrcInt n, const QrcInt* values, QrcIntCollectionI* collection);
  void removeDomain(QrcIntSetI* set);
  void removeDomain(QrcInt n, const QrcInt* values);

  // ---- events
  void whenValue(QrcDemonI* demon);
  void whenRange(QrcDemonI* demon);
  void whenDomain(QrcDemonI* demon);
  void removeWhen(QrcDemonI* demon);

  // ---- turning a node into a variable
  void attachEventHandler();
  void makeVariable(QrcIntCollectionI* collection);
  void makeDomainSet();

  // Stores bounds computed in doubles (clamped; sets the out-of-range flag).
  void setBoundsFromDoubles(double lo, double hi, bool force = false);
  // Saves both bounds on the trail once per choice point (variables).
  void saveBounds();
  // Puts back recorded bounds without events and drops the domain set (savers).
  void restoreBounds(QrcInt min, QrcInt max);
  inline QrcIntVarEventHandlerI* getIntHandler() const;
  bool isProcessing() const {
    return _handler && _handler->getState() >= QrcEventHandlerI::Processing;
  }

 protected:
  friend class QrcIntVarEventHandlerI;
  friend class QrcIntExpEventHandlerConstraintI;
  QrcInt currentFailStamp() const { return _manager->getFailStamp(); }
  void narrowRange(QrcInt a, QrcInt b);
  void removeValueInBounds(QrcInt v);
  // setMin and setMax past the root's test.
  void narrowMin(QrcInt v);
  void narrowMax(QrcInt v);
  // removeValueInBounds of a node, and of a variable while tracing.
  [[gnu::noinline]] void removeFromOperands(QrcInt v);
  [[gnu::noinline]] void removeTraced(QrcInt v);
  // requireOperandValues with stack room, then the bounds afresh.
  void giveValue();
  void recomputeBounds();
  void recomputeNow();
  void saveMin();
  void saveMax();
  void storeMin(QrcInt v);
  void storeMax(QrcInt v);
  void widenOldBounds();
  // A node's setOperandsRange, with stack room for deep nesting.
  void narrowOperands(QrcInt a, QrcInt b);
  void narrowOperands(double a, double b);
  // setRange(double) past the limits of a node whose range left them.
  [[gnu::noinline]] void narrowPastLimits(double lo, double hi);
  void defer(QrcInt a, QrcInt b);
  [[noreturn]] void failWith(int hook, QrcInt a, QrcInt b);
  void setDomainSparse(QrcInt lo, QrcInt hi, QrcInt n, const QrcInt* values,
                       QrcIntCollectionI* coll, bool fromExpression);
  // [a, b] strictly inside a variable's bounds: one domain change per run of
  // members, reported as a removed range.
  void removeInnerRange(QrcInt a, QrcInt b);
  // Common path of whenValue/whenRange/whenDomain: a variable lists the demon
  // for the event, a node records it and hands it to its operands.
  void attachDemon(QrcDemonI* demon, WatchEvent event, void (QrcIntExpI::*onOperands)(QrcDemonI*));

  QrcInt _min;
  QrcInt _max;
  QrcIntSetI* _domain;
  QrcInt _outOfRange;
  // A node that may lack a value (an element whose index may leave its
  // array, or a node over one): its bounds computation also computes
  // _valueOpen, 1 while it may still lose its value. A node that may still
  // lose its value is not bound whatever its range, gets its demons, and is
  // given a value before any narrowing.
  int32_t _mayLack = 0;
  int32_t _valueOpen = 0;
};

std::ostream& operator<<(std::ostream& os, const QrcIntExpI* exp);

// Event handler of an integer variable.
class QrcIntVarEventHandlerI : public QrcEventHandlerI {
  QRCLIBRARYCLASS(QrcIntVarEventHandlerI)
 public:
  QrcIntVarEventHandlerI(QrcManagerI* manager, QrcInt oldMin, QrcInt oldMax);

  QrcBool isSuspended() const final { return _suspended.getValue() != 0; }
  void process() override;
  void clearEvents() override;
  QrcEventHandlerI* makeCopy(QrcManagerI* manager) const override;
  QrcInt getNbDemons() const override;
  void whenDomain(QrcDemonI* demon) override;
  void traceWithMonitor(QrcSearchMonitorI* monitor) override;
  void traceWithMonitor2(QrcSearchMonitorI* monitor) override;
  QrcDemonI* getFirstDemon() const override;

  // While suspended, the variable's changes wake no demon: the handler
  // gathers them (the bounds its demons last saw stay, the values removed
  // inside them are kept) for its demons to hear later. Offset links keep
  // their partners in step all along. What a search nested since it was
  // suspended removes is not kept: that search takes it back.
  virtual void suspend();
  virtual void resume();
  // What a suspended handler gathered, set aside while nested searches run
  // (their processing of the variable would pass it on and drop it): the
  // bounds the demons last saw and the values removed inside them since.
  struct Held {
    QrcInt oldMin = INT64_MAX;
    QrcInt oldMax = INT64_MIN;
    QrcPropagationQueueI::IntCell* removed = nullptr;
    QrcPropagationQueueI::IntCell* removedRanges = nullptr;
  };
  // Resumes the handler and adds what it gathered while suspended to held;
  // its demons next hear the changes from the bounds held keeps.
  void resumeHolding(Held& held);
  // Gives back what held keeps and queues the handler for the demons that
  // have changes to hear; held is left empty.
  void handBack(Held& held);
  // Forgets what held keeps.
  void dropHeld(Held& held);
  // In a nested search, between resumeHolding and handBack: queues copies of
  // the removals held keeps, for its demons to hear with the search's first
  // changes (the bounds they hear from are already those held keeps).
  void lendHeld(const Held& held);
  virtual void notifySetValueBegin(QrcInt v);
  virtual void notifySetValueEnd(QrcInt v);
  virtual void notifyRemoveValueBegin(QrcInt v);
  virtual void notifyRemoveValueEnd(QrcInt v);
  virtual void notifySetRangeBegin(QrcInt a, QrcInt b);
  virtual void notifySetRangeEnd(QrcInt a, QrcInt b);
  virtual void notifySetMinBegin(QrcInt v);
  virtual void notifySetMinEnd(QrcInt v);
  virtual void notifySetMaxBegin(QrcInt v);
  virtual void notifySetMaxEnd(QrcInt v);

  void notifyBoundsChange(QrcInt newMin, QrcInt newMax);
  void notifyValueRemoved(QrcInt v);
  // Every value of [a, b] was a member and is removed.
  void notifyRangeRemoved(QrcInt a, QrcInt b);
  QrcIntExpI* getVar() const { return static_cast<QrcIntExpI*>(_owner); }
  QrcSearchMonitorI* getOwnMonitor() const { return _monitor; }
  QrcConstraintList& getValueDemons() { return _valueDemons; }
  QrcConstraintList& getRangeDemons() { return _rangeDemons; }
  QrcConstraintList& getDomainDemons() { return _domainDemons; }
  QrcConstraintList& getDemons(QrcInt event) {
    return event == QrcExprI::ValueWatch   ? _valueDemons
           : event == QrcExprI::RangeWatch ? _rangeDemons
                                           : _domainDemons;
  }
  QrcPropagationQueueI::IntCell* getRemovedValues() const { return _removed; }
  QrcPropagationQueueI::IntCell* getRemovedRanges() const { return _removedRanges; }

  // A variable y = sign * x + offset (sign 1 or -1) kept in step with this
  // variable x as each change happens: bound moves and removed values are
  // passed on at once, with no demon run and no event processing between.
  struct OffsetLink {
    OffsetLink* next;
    QrcIntExpI* partner;
    QrcInt sign;
    QrcInt offset;
  };
  // Adds a link (undone on backtrack).
  void addOffsetLink(QrcIntExpI* partner, QrcInt sign, QrcInt offset);
  OffsetLink* getOffsetLinks() const { return _links; }
  // Whether removed values are heard: domain demons or offset links.
  bool hearsRemovals() const { return _domainDemons.getHead() || _links; }
  // A variable y = factor * x (factor not -1, 0 or 1) kept in step with this
  // variable x in its bounds as each change happens, on x's side (product)
  // and on y's (quotient, partner x): the bounds each side's demon would
  // give, with no demon run. Removed values are not passed on.
  struct ScaleLink {
    ScaleLink* next;
    QrcIntExpI* partner;
    QrcInt factor;
    bool product;
  };
  // Adds a link (undone on backtrack).
  void addScaleLink(QrcIntExpI* partner, QrcInt factor, bool product);

  QrcInt _minStamp;
  QrcInt _maxStamp;
  QrcInt _oldMin;
  QrcInt _oldMax;

 private:
  QrcSearchMonitorI* monitor() const;
  // The common step of a removal notice; true when domain demons listen and,
  // suspended, the handler keeps the removal.
  bool noteRemoval();
  // Passes a change on to the offset links' partners.
  void forwardBounds();
  void forwardRemoval(QrcInt a, QrcInt b);
  // Schedules the handler when heard (by enqueueFresh after a change of
  // bounds) and runs forward() (the offset links).
  template <class Forward>
  void scheduleAndForward(bool heard, bool bounds, Forward forward);
  // schedule, inline; enqueueFresh after a change of bounds.
  void enqueue();
  void enqueueFresh();
  // Drops the removals an idle, running handler still keeps: gathered while
  // suspended in a branch that was left since, their values are back.
  void dropStaleRemovals();

  QrcConstraintList _valueDemons;
  QrcConstraintList _rangeDemons;
  QrcConstraintList _domainDemons;
  QrcPropagationQueueI::IntCell* _removed;
  QrcPropagationQueueI::IntCell* _removedRanges;
  OffsetLink* _links;
  ScaleLink* _scaleLinks;
  // 0, or 1 + the search depth at which the handler was suspended.
  QrcRevWord _suspended;
};

class QrcIntConstI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcIntConstI)
 public:
  QrcIntConstI(QrcManagerI* manager, QrcInt value, const char* name = nullptr);
  QRCEXPRTYPEID
  bool isEqual(const QrcExprI* other) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  const char* getKindName() const override { return "QrcIntConst"; }
  QrcConstraintI* makeEventHandlerConstraint() override { return nullptr; }
  void computeCoeffsVarsInternal(QrcLinearAccumulatorI* acc, QrcInt coef) override;
  void collectScaledLinearTerms(QrcLinearAccumulatorI* acc, double coef) override;
  QrcInt getLinearSize() const override { return 0; }
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void accept(QrcIntExpVisitorI* visitor) override { visitor->visitIntConst(this); }
  void whenValueOnOperands(QrcDemonI*) override {}
  void whenRangeOnOperands(QrcDemonI*) override {}
  void whenDomainOnOperands(QrcDemonI*) override {}
  QrcInt getConstValue() const { return _min; }
};

// Keeps an expression turned into a variable in step with its operands.
class QrcIntExpEventHandlerConstraintI : public QrcExprEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcIntExpEventHandlerConstraintI)
  QROSIMPLECLASS(QrcIntExpEventHandlerConstraintI, QrcExprEventHandlerConstraintI)
 public:
  QrcIntExpEventHandlerConstraintI(QrcManagerI* manager, QrcIntExpI* exp)
      : QrcExprEventHandlerConstraintI(manager), _exp(exp) {}
  void post() override;
  void propagate() override;
  void display(std::ostream& os) const override;
  QrcIntExpI* getExpr() const { return _exp; }

 private:
  // For c * x over a variable x, in integer mode and untraced: links the two
  // variables' handlers instead of posting the demons; whether it did.
  bool linkScaled();

  QrcIntExpI* _exp;
};

// Runs a user demon when its expression becomes bound.
class QrcValueConstraintI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcValueConstraintI)
  QROSIMPLECLASS(QrcValueConstraintI, QrcDemonI)
 public:
  QrcValueConstraintI(QrcManagerI* manager, QrcIntExpI* exp, QrcDemonI* demon)
      : QrcDemonI(manager), _exp(exp), _demon(demon) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpI* _exp;
  QrcDemonI* _demon;
};

inline QrcIntVarEventHandlerI* QrcIntExpI::getIntHandler() const {
  return static_cast<QrcIntVarEventHandlerI*>(_handler);
}

// Walks a removed-value list.
class QrcIntListIterator {
 public:
  explicit QrcIntListIterator(QrcPropagationQueueI::IntCell* list) : _cell(list) {}
  bool next(QrcInt& value) {
    if (!_cell) return false;
    value = _cell->value;
    _cell = _cell->next;
    return true;
  }

 private:
  QrcPropagationQueueI::IntCell* _cell;
};

// The values a variable lost inside its bounds in its current propagation
// step: the single removals (most recent first), then the removed ranges
// (most recent first, each upward). nextRange gives them as intervals.
class QrcIntRemovedIterator {
 public:
  explicit QrcIntRemovedIterator(const QrcIntExpI* var)
      : _single(var->getRemovedValues()), _range(var->getRemovedRanges()), _pos(1), _end(0) {}
  bool next(QrcInt& value) {
    if (_pos > _end && !nextRange(_pos, _end)) return false;
    value = _pos++;
    return true;
  }
  bool nextRange(QrcInt& a, QrcInt& b) {
    if (_single) {
      a = b = _single->value;
      _single = _single->next;
      return true;
    }
    if (!_range) return false;
    a = _range->value;
    b = _range->next->value;
    _range = _range->next->next;
    return true;
  }

 private:
  QrcPropagationQueueI::IntCell* _single;
  QrcPropagationQueueI::IntCell* _range;
  QrcInt _pos;
  QrcInt _end;
};

// The values a variable lost in its current propagation step: the removed
// values (single removals most recent first, then removed ranges), then those
// below the current minimum, then those above the current maximum, both
// upward. nextRange gives the same values as intervals; an iterator is read
// either way, not both.
class QrcIntVarDeltaIterator {
 public:
  explicit QrcIntVarDeltaIterator(QrcIntExpI* var)
      : _cell(nullptr),
        _rangeCell(nullptr),
        _var(var),
        _position(0),
        _current(0),
        _rangeEnd(0),
        _bits(0),
        _bitsBase(0),
        _valid(false),
        _phase(0),
        _oneWord(false) {
    if (!var || !var->isProcessing()) {
      reportNotInProcess();
      return;
    }
    // Nothing in the variable changes while it is processing: the values
    // the bounds went past can be taken now.
    QrcIntVarEventHandlerI* h = var->getIntHandler();
    _cell = h->getRemovedValues();
    _rangeCell = h->getRemovedRanges();
    QrcInt oldMin = h->_oldMin, oldMax = h->_oldMax;
    _position = oldMin - 1;
    QrcInt mn = var->rawMin(), mx = var->rawMax();
    if (mn < oldMin || mx > oldMax || mn > mx) return;
    // Old bounds within one word (of a plain range, or of any span without
    // a set): the lost values are the members between the old and the new
    // bounds.
    if (const QrcIntSetI* d = var->getDomainSet()) {
      QrcInt base, last;
      const QrcWord* words = d->getPlainWords(base, last);
      if (!words || oldMin < base || oldMax > last) return;
      QrcInt from = oldMin - base, to = oldMax - base, w = from >> 6;
      if (w != (to >> 6)) return;
      _bitsBase = base + (w << 6);
      _bits = words[w] & bitsBetween(from & 63, to & 63);
    } else {
      if (oldMax - oldMin > 63) return;
      _bitsBase = oldMin;
      _bits = bitsBetween(0, oldMax - oldMin);
    }
    _bits &= ~bitsBetween(mn - _bitsBase, mx - _bitsBase);
    _oneWord = true;
  }
  bool next();
  bool next(QrcInt& value) {
    if (!next()) return false;
    value = _current;
    return true;
  }
  bool nextRange(QrcInt& a, QrcInt& b) {
    if (_var && _var->isProcessing()) {
      if (_phase == 0 && _cell) {
        _valid = false;
        a = b = _cell->value;
        _cell = _cell->next;
        return true;
      }
      if (_phase == 4 || (_oneWord && !_rangeCell)) return nextRunOfBits(a, b);
    }
    return nextRangeAfterValues(a, b);
  }
  QrcInt getValue() const { return _current; }
  bool ok() const { return _valid; }

 private:
  static QrcWord bitsBetween(QrcInt lo, QrcInt hi) {
    return (~QrcWord(0) << lo) & (~QrcWord(0) >> (63 - hi));
  }
  // The lowest run of the lost bits, taken off them.
  bool nextRunOfBits(QrcInt& a, QrcInt& b) {
    _valid = false;
    _phase = 4;
    QrcWord bits = _bits;
    if (!bits) return false;
    QrcWord rest = bits & (bits + (bits & (~bits + 1)));
    QrcWord run = bits ^ rest;
    a = _bitsBase + __builtin_ctzll(run);
    b = _bitsBase + 63 - __builtin_clzll(run);
    _bits = rest;
    return true;
  }
  // Fatal for a null variable, an error for one not in process.
  void reportNotInProcess();
  bool nextRangeAfterValues(QrcInt& a, QrcInt& b);

  QrcPropagationQueueI::IntCell* _cell;
  QrcPropagationQueueI::IntCell* _rangeCell;
  QrcIntExpI* _var;
  QrcInt _position;
  QrcInt _current;
  QrcInt _rangeEnd;
  QrcWord _bits;
  QrcInt _bitsBase;
  bool _valid;
  int _phase;
  bool _oneWord;
};

#endif
