// Float expressions and float variables: intervals of doubles. A variable owns
// its bounds (trailed once per choice point) and an event handler with value,
// range and domain demons; any other float expression caches bounds computed
// from its operands and passes narrowings down to them.
//
// Narrowing operations fail the current branch (never return) when the
// interval empties; code that calls them keeps trivially destructible locals.
#ifndef QRC_FLOAT_EXP_H
#define QRC_FLOAT_EXP_H

#include <cmath>
#include <iosfwd>

#include "qrcexpr.h"
#include "qrcevent.h"
#include "qrcgoal.h"
#include "qrcqueue.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "qrcmemory.h"

class QrcFloatSetI;
class QrcFloatArrayI;
class QrcIntExpI;
class QrcFloatExpI;
class QrcFloatVarEventHandlerI;
class QrcConstraint;

// Gathers a float expression as a constant plus scaled variables plus scaled
// other expressions; integer expressions add their terms through the integer
// accumulator interface.
class QrcFloatLinearTermsI : public QrcLinearAccumulatorI {
 public:
  struct Term {
    Term* next;
    QrcExprI* exp;
    QrcFloat coef;
  };
  explicit QrcFloatLinearTermsI(QrcManagerI* manager)
      : _manager(manager), _constant(0.0), _variables(nullptr), _others(nullptr) {}
  void addConstant(QrcFloat c) override { _constant += c; }
  void addVariable(QrcExprI* var, QrcFloat coef);
  void addNonLinear(QrcExprI* exp, QrcFloat coef);
  void addIntVarTerm(QrcIntExpI* var, QrcInt coef) override;
  void addIntConstant(QrcInt value) override { _constant += static_cast<QrcFloat>(value); }
  void addVarTerm(QrcIntExpI* var, double coef) override;
  void addExpTerm(QrcIntExpI* exp, double coef) override;
  QrcFloat getConstant() const { return _constant; }
  // Most recently added first.
  Term* getVariables() const { return _variables; }
  Term* getNonLinear() const { return _others; }

 private:
  QrcManagerI* _manager;
  QrcFloat _constant;
  Term* _variables;
  Term* _others;
};

// Visitor of float expressions; the node classes call their own operation.
class QrcFloatExpVisitorI {
 public:
  virtual ~QrcFloatExpVisitorI() {}
  virtual void visitExpr(QrcFloatExpI* exp) { (void)exp; }
  virtual void visitConstant(QrcFloatExpI* exp) { visitExpr(exp); }
  virtual void visitIntView(QrcFloatExpI* exp) { visitExpr(exp); }
  virtual void visitUnary(QrcFloatExpI* exp) { visitExpr(exp); }
  virtual void visitBinary(QrcFloatExpI* exp) { visitExpr(exp); }
  // A variable with an index over its parts (piecewise-linear expressions).
  virtual void visitIndexed(QrcFloatExpI* exp) { visitExpr(exp); }
  virtual void visitNode(QrcFloatExpI* exp, const char* kind) {
    (void)kind;
    visitExpr(exp);
  }
};

// Walks the tree under a comparison with a constant that moves one side of
// its root: the minimum (side 1) or the maximum (side -1). Each node accepted
// by QrcFloatExpI::scanSides passes the side on to its operands (the
// opposite one to a divisor or a negated operand); variables are the leaves.
// In an accepted tree (negations, offsets, scalings, and products, quotients
// and powers of positive operands; every bound finite) each bound computed
// for an operand on its moved side reads only the unmoved sides of the
// others, and each bound computed on the unmoved side holds the operand's own
// bounds. So a narrowing that changed no leaf at bounds B0 changes none at
// bounds B that equal B0 but for the moved side of some leaves, moved inward:
// through each node the moved side gets either what it got at B0 or what
// holds the node's own bounds, and the unmoved sides hold the operands'.
// Trees of more than Capacity leaves are not accepted.
class QrcFloatSideMemo {
 public:
  enum { Capacity = 4 };
  QrcFloatSideMemo() : _count(0), _taken(0) {}
  // Before a narrowing of root's side: takes its leaves' bounds, forgetting
  // the bounds kept; false when the tree is not accepted.
  bool take(QrcFloatExpI* root, int side);
  // After that narrowing (it did not fail): keeps the bounds taken when no
  // leaf moved.
  void keepIfUnchanged();
  // Whether the narrowing of root's side is known to change nothing now: the
  // tree is accepted and its leaves are the kept ones, with the unmoved side
  // of each as kept and the moved side as kept or inside it.
  bool holds(QrcFloatExpI* root, int side);

 private:
  friend class QrcFloatSideScan;
  // False while the variable is being processed with a narrowing waiting
  // (its narrowings wait for the end of its processing).
  static bool unnarrowed(QrcFloatExpI* var);
  // Whether some nodes may hold bounds older than their operands' (the walk
  // reads the bounds that the narrowing reads, which are then not those
  // computed from the leaves).
  static bool staleParents(QrcFloatExpI* root);
  QrcInt _count;
  QrcInt _taken;
  QrcFloatExpI* _leaves[Capacity];
  QrcFloat _mins[Capacity];
  QrcFloat _maxs[Capacity];
};

// One walk of a tree for QrcFloatSideMemo, taking or comparing the leaves.
class QrcFloatSideScan {
 public:
  QrcFloatSideScan(QrcFloatSideMemo* memo, bool taking)
      : _memo(memo), _taking(taking), _leaves(0) {}
  // Visits e with the side it moves; false when the tree is not accepted or
  // a leaf differs.
  bool visit(QrcFloatExpI* e, int side);
  // Whether e's minimum is positive; taken for granted when comparing.
  bool positive(const QrcFloatExpI* e) const;
  QrcInt getLeafCount() const { return _leaves; }

 private:
  bool leaf(QrcFloatExpI* var, int side);
  QrcFloatSideMemo* _memo;
  bool _taking;
  QrcInt _leaves;
};

class QrcFloatExpI : public QrcExprI {
  QRCLIBRARYCLASS(QrcFloatExpI)
 public:
  // A node: precision from the manager, no value set; bounds from computeRange.
  explicit QrcFloatExpI(QrcManagerI* manager);
  // A variable [min, max]; fails (through the manager) when empty.
  QrcFloatExpI(QrcManagerI* manager, QrcFloat min, QrcFloat max, QrcFloat precision,
               const char* name);
  // A variable over the values of an array.
  QrcFloatExpI(QrcManagerI* manager, QrcFloatArrayI* values, const char* name);
  // Copy into another manager.
  QrcFloatExpI(QrcManagerI* manager, const QrcFloatExpI& source);

  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void* makeSaver() override;
  void setObjMin(QrcFloat step, QrcFloat relativeStep) override;
  void notifyMonitor(QrcAny label, QrcPropagationQueueI* queue) override;
  // Turns the expression into a variable; the constraint made (null when it
  // was one already) has been added to the manager.
  virtual QrcConstraintI* makeEventHandlerConstraint();
  // Gives a node its handler, which takes the demons attached through it.
  void attachEventHandler(QrcFloatVarEventHandlerI* handler);
  virtual const char* getKindName() const { return "QrcFloatExp"; }
  virtual void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef);
  // Writes the operands' range into min and max (nodes).
  virtual void computeRange() {}
  // Narrows the operands so that the node lies in [a, b] (nodes).
  virtual void setOperandsRange(QrcFloat a, QrcFloat b) {
    (void)a;
    (void)b;
  }
  virtual void removeWhenOnOperands(QrcDemonI* demon) { (void)demon; }
  virtual void whenValueOnOperands(QrcDemonI* demon);
  virtual void whenRangeOnOperands(QrcDemonI* demon);
  virtual void whenDomainOnOperands(QrcDemonI* demon);
  virtual QrcIntExpI* getIntExp() const { return nullptr; }
  // Derivative with respect to a variable; null stands for 0.
  virtual QrcFloatExpI* getDerivative(QrcFloatExpI* var);
  virtual void accept(QrcFloatExpVisitorI* visitor) { visitor->visitExpr(this); }
  // For a node with finite bounds narrowed to exactly them: whether narrowing
  // its operands is known to change no domain and not to fail (each operand
  // gets one setRange over a range holding its bounds, which touchOperands
  // repeats in the same order); false for the nodes that make no such promise.
  virtual bool hasQuietOperands() { return false; }
  virtual void touchOperands() {}
  // For a node narrowed on one side (see QrcFloatSideMemo): whether it is
  // accepted there, visiting its operands in the order it narrows them with
  // the sides it moves; false for the nodes that make no such promise.
  virtual bool scanSides(QrcFloatSideScan& scan, int side) {
    (void)scan;
    (void)side;
    return false;
  }

  // ---- reading (a node refreshes its cached bounds first)
  QrcFloat getMin() const {
    refresh();
    return _min;
  }
  QrcFloat getMax() const {
    refresh();
    return _max;
  }
  QrcBool isBound() const;
  QrcFloat getValue() const;
  QrcBool isInDomain(QrcFloat v) const;
  QrcFloat getNextHigher(QrcFloat v) const;
  QrcFloat getPrecision() const { return _precision; }
  QrcFloatSetI* getValueSet() const { return _valueSet; }
  QrcBool isUndefined() const {
    refresh();
    return _undefined;
  }
  // The variable's handler, null for a node.
  QrcFloatVarEventHandlerI* getFloatHandler() const;
  QrcFloat getOldMin() const;
  QrcFloat getOldMax() const;
  // Brings a node's cached bounds up to date; nothing for a variable.
  void refresh() const {
    if (!_handler && _boundsStamp != managerFailStamp())
      const_cast<QrcFloatExpI*>(this)->recompute();
  }

  // ---- narrowing (may fail the branch; at the root each is a change at the
  // root, taken back whole when it fails: QrcManagerI::changeAtRoot)
  void setRange(QrcFloat a, QrcFloat b);
  // Whether setRange(a, b) with [a, b] holding the bounds is known to change
  // no domain and not to fail; touch then makes the calls on the variables
  // that such a setRange makes, so that their events fire alike.
  bool isQuietTarget();
  void touch();
  void setValue(QrcFloat v);
  void removeValue(QrcFloat v);

  // ---- events
  void whenValue(QrcDemonI* demon);
  void whenRange(QrcDemonI* demon);
  void whenDomain(QrcDemonI* demon);
  void removeDemon(QrcDemonI* demon);

  // ---- for nodes and the classes around float expressions
  // Stores bounds without any test or event (computeRange, the saver).
  void storeRange(QrcFloat min, QrcFloat max) {
    _min = min;
    _max = max;
  }
  void setUndefined() { _undefined = 1; }
  // Takes the undefined flag a computeRange left, clearing it.
  bool takeUndefined() {
    bool u = _undefined != 0;
    _undefined = 0;
    return u;
  }
  QrcFloat rawMin() const { return _min; }
  QrcFloat rawMax() const { return _max; }
  // Trail saves of the variable's bounds, once per choice point.
  void saveMin();
  void saveMax();
  void setValueSet(QrcFloatSetI* set) { _valueSet = set; }
  QrcFloatSetI** valueSetAddress() { return &_valueSet; }
  // The derivative rule of the nodes: a node's own, 1 for v, null otherwise.
  QrcFloatExpI* derivative(QrcFloatExpI* var);

 protected:
  friend class QrcFloatVarEventHandlerI;
  QrcInt managerFailStamp() const { return _manager->getFailStamp(); }
  void recompute();
  // A node's setOperandsRange, with stack room for deep nesting.
  void narrowOperands(QrcFloat a, QrcFloat b);
  __attribute__((always_inline)) inline void setRangeNormal(QrcFloat a, QrcFloat b);
  void setRangePrecise(QrcFloat a, QrcFloat b);
  void applyRange(QrcFloat na, QrcFloat nb, bool significance);
  void setValueNormal(QrcFloat v, bool precise);
  void displayDomain(std::ostream& os) const;

  QrcFloat _min;
  QrcFloat _max;
  QrcFloat _precision;
  QrcFloatSetI* _valueSet;
  QrcInt _undefined;
};

// Event handler of a float variable.
class QrcFloatVarEventHandlerI : public QrcEventHandlerI {
  QRCLIBRARYCLASS(QrcFloatVarEventHandlerI)
 public:
  // Handler over [min, max] (rounded outward in variable-precision mode);
  // fails through the manager when the interval is empty.
  QrcFloatVarEventHandlerI(QrcManagerI* manager, QrcFloat min, QrcFloat max);

  QrcBool isSuspended() const override { return _suspended.getValue(); }
  void process() override;
  void clearEvents() override;
  QrcEventHandlerI* makeCopy(QrcManagerI* manager) const override;
  QrcInt getNbDemons() const override;
  void whenDomain(QrcDemonI* demon) override;
  void traceWithMonitor(QrcSearchMonitorI* monitor) override;
  void traceWithMonitor2(QrcSearchMonitorI* monitor) override;
  // While suspended, the variable's changes wake no demon: the bounds its
  // demons last saw stay, and the values removed inside them are kept, for
  // its demons to hear later.
  virtual void suspend();
  virtual void resume();
  // What a suspended handler gathered, set aside while nested searches run
  // (their processing of the variable would pass it on and drop it): the
  // bounds the demons last saw and the values removed inside them since.
  struct Held {
    QrcFloat oldMin = HUGE_VAL;
    QrcFloat oldMax = -HUGE_VAL;
    QrcPropagationQueueI::FloatCell* removed = nullptr;
  };
  // Resumes the handler and adds what it gathered while suspended to held;
  // its demons next hear the changes from the bounds held keeps.
  void resumeHolding(Held& held);
  // Gives back what held keeps and queues the handler for the demons that
  // have changes to hear; held is left empty.
  void handBack(Held& held);
  // Forgets what held keeps.
  void dropHeld(Held& held);
  virtual void setRangeBegin(QrcFloat a, QrcFloat b);
  virtual void setRangeEnd(QrcFloat a, QrcFloat b);
  virtual void setMinBegin(QrcFloat v);
  virtual void setMinEnd(QrcFloat v);
  virtual void setMaxBegin(QrcFloat v);
  virtual void setMaxEnd(QrcFloat v);
  virtual void setValueBegin(QrcFloat v);
  virtual void setValueEnd(QrcFloat v);
  virtual void removeValueBegin(QrcFloat v);
  virtual void removeValueEnd(QrcFloat v);

  QrcFloatExpI* getVar() const { return static_cast<QrcFloatExpI*>(_owner); }
  QrcFloat getOldMin() const { return _oldMin; }
  QrcFloat getOldMax() const { return _oldMax; }
  void setOldBounds(QrcFloat min, QrcFloat max) {
    _oldMin = min;
    _oldMax = max;
  }
  void widenOldBounds(QrcFloat min, QrcFloat max) {
    if (min < _oldMin) _oldMin = min;
    if (max > _oldMax) _oldMax = max;
  }
  bool isProcessing() const { return _state == Processing || _state == ProcessingDeferred; }
  QrcConstraintList& getValueDemons() { return _valueDemons; }
  QrcConstraintList& getRangeDemons() { return _rangeDemons; }
  QrcConstraintList& getDomainDemons() { return _domainDemons; }
  void addValueDemon(QrcDemonI* demon);
  void addRangeDemon(QrcDemonI* demon);
  void removeDemon(QrcDemonI* demon);
  // Records a change of the bounds to [min, max]; moved is false when a
  // narrowing left them as they were (the nodes above keep their bounds).
  void rangeEvent(QrcFloat min, QrcFloat max, bool significance, bool moved = true);
  // Records the removal of an inner value.
  void removalEvent(QrcFloat v);
  // After WakesPerDoubling wakes of the variable's demons in one drain, a
  // change wakes them only if it also moves a bound by a share of the width
  // at the last wake: 2^FirstShareLog2 of it, doubled every WakesPerDoubling
  // wakes up to 2^MaxShareLog2, so that every drain ends.
  static const QrcInt WakesPerDoubling = 64;
  static const int FirstShareLog2 = -20;
  static const int MaxShareLog2 = -3;

 private:
  friend class QrcFloatExpI;
  QrcSearchMonitorI* monitor() const;
  // Whether a change to [min, max], measured from the bounds at the last
  // wake, is below the threshold that wakes the demons.
  bool isInsignificant(QrcFloat min, QrcFloat max);
  // Drops the removals an idle, running handler still keeps: gathered while
  // suspended in a branch that was left since, their values are back.
  void dropStaleRemovals();
  // Queues an idle handler.
  void enqueue();
  void enqueueFresh();

  QrcInt _minStamp;
  QrcInt _maxStamp;
  QrcFloat _oldMin;
  QrcFloat _oldMax;
  QrcConstraintList _valueDemons;
  QrcConstraintList _rangeDemons;
  QrcRevWord _suspended;
  QrcConstraintList _domainDemons;
  QrcPropagationQueueI::FloatCell* _removed;
  // Drain serial (QrcPropagationQueueI::getDrainSerial) and count of the
  // changes that woke demons in that drain.
  QrcInt _wakeSerial;
  QrcInt _wakes;
};

// ---------------------------------------------------------------- handles

class QrcIntExp;
class QrcManager;

// n doubles on a manager's heap.
class QrcFloatArray {
 public:
  QrcFloatArray() : _impl(nullptr) {}
  QrcFloatArray(QrcFloatArrayI* impl) : _impl(impl) {}
  QrcFloatArray(const QrcManager& manager, QrcInt n, QrcFloat value = 0.0);
  QrcFloatArrayI* getImpl() const { return _impl; }
  QrcInt getSize() const;
  QrcFloat& operator[](QrcInt i) const;

 private:
  QrcFloatArrayI* _impl;
};

class QrcFloatExp {
 public:
  QrcFloatExp() : _impl(nullptr) {}
  QrcFloatExp(QrcFloatExpI* impl) : _impl(impl) {}
  // The shared float view of an integer expression.
  explicit QrcFloatExp(const QrcIntExp& exp);
  QrcFloatExpI* getImpl() const { return _impl; }
  QrcManagerI* getManager() const;
  QrcFloat getMin() const;
  QrcFloat getMax() const;
  QrcBool isBound() const;
  QrcFloat getValue() const;
  void setRange(QrcFloat a, QrcFloat b) const;
  void setValue(QrcFloat v) const;
  void removeValue(QrcFloat v) const;
  void whenValue(QrcDemonI* demon) const;
  void whenRange(QrcDemonI* demon) const;
  void whenDomain(QrcDemonI* demon) const;
  void setName(const char* name) const;
  const char* getName() const;

 protected:
  QrcFloatExpI* check(const char* place) const;
  QrcFloatExpI* _impl;
};

class QrcFloatVar : public QrcFloatExp {
 public:
  QrcFloatVar() {}
  QrcFloatVar(const QrcManager& manager, QrcFloat min, QrcFloat max, const char* name = nullptr);
  QrcFloatVar(const QrcManager& manager, QrcFloat min, QrcFloat max, QrcFloat precision,
              const char* name);
  QrcFloatVar(const QrcManager& manager, const QrcFloatArray& values, const char* name = nullptr);
  // A handle on an expression, which becomes a variable when it is not one.
  QrcFloatVar(const QrcFloatExp& exp);
  QrcFloatVar(QrcFloatExpI* exp);
  // The float view of an integer expression, as a variable.
  QrcFloatVar(QrcIntExpI* exp);
};

std::ostream& operator<<(std::ostream& os, const QrcFloatExp& exp);

#endif
