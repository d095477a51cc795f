// Integer-set variables of the engine. The domain of a set variable is the
// interval of sets between a required set and a possible set over a fixed
// universe, with an integer variable for its cardinality kept in step both
// ways. Changes are recorded as deltas of the current propagation step (added
// required values; removed possible values, neighbours merged into ranges)
// that demons read through delta iterators. Changes made while the variable's
// own handler runs its demons are deferred until it finishes.
//
// Narrowing operations can fail: they leave by the manager's failure. At the
// root each is a change at the root, taken back whole when it fails
// (QrcManagerI::changeAtRoot).
#ifndef QRC_INTSETVAR_H
#define QRC_INTSETVAR_H

#include <iosfwd>

#include "qrcconstraint.h"
#include "qrcint.h"

class QrcAccessorDomainI;
class QrcIntSetVarI;

// Event handler of a set variable: a domain list and a bound list of demons.
class QrcIntSetVarEventHandlerI : public QrcEventHandlerI {
  QRCLIBRARYCLASS(QrcIntSetVarEventHandlerI)
 public:
  explicit QrcIntSetVarEventHandlerI(QrcManagerI* manager);

  void process() override;
  void clearEvents() override;
  QrcEventHandlerI* makeCopy(QrcManagerI* manager) const override;
  QrcInt getNbDemons() const override;
  void whenDomain(QrcDemonI* demon) override;
  void traceWithMonitor(QrcSearchMonitorI* monitor) override;
  void traceWithMonitor2(QrcSearchMonitorI* monitor) override;
  QrcDemonI* getFirstDemon() const override;

  virtual void notify();
  virtual void runDemons();
  virtual void notifyRemovePossibleBegin(QrcInt v);
  virtual void notifyRemovePossibleEnd(QrcInt v);
  virtual void notifyAddRequiredBegin(QrcInt v);
  virtual void notifyAddRequiredEnd(QrcInt v);

  QrcIntSetVarI* getVar() const;
  QrcSearchMonitorI* getOwnMonitor() const { return _monitor; }
  QrcConstraintList& getDomainDemons() { return _domainDemons; }
  QrcConstraintList& getBoundDemons() { return _boundDemons; }
  bool isProcessing() const { return _state == Processing || _state == ProcessingDeferred; }

 private:
  QrcSearchMonitorI* monitor() const;
  void freeLeftovers();

  QrcConstraintList _domainDemons;
  QrcConstraintList _boundDemons;
  // Deferred changes taken from the queue and not yet applied when a failure
  // interrupted them; returned to the pool on the next processing or clearing.
  QrcPropagationQueueI::IntCell* _leftovers[3];
};

class QrcIntSetVarI : public QrcExprI {
  QRCLIBRARYCLASS(QrcIntSetVarI)
 public:
  typedef QrcPropagationQueueI::IntCell Cell;

  // Universe [min, max]; fails when min > max; QroMemoryException when the
  // universe needs more than 2^31 bits.
  QrcIntSetVarI(QrcManagerI* manager, QrcInt min, QrcInt max, const char* name);
  // Universe = the collection's values.
  QrcIntSetVarI(QrcIntCollectionI* collection, const char* name);
  // Possible = a copy of the set; universe = the set's universe.
  QrcIntSetVarI(QrcManagerI* manager, const QrcIntSetI* set, const char* name);
  // Copy into another manager.
  QrcIntSetVarI(QrcManagerI* target, const QrcIntSetVarI& source);

  QRCEXPRTYPEID
  // Name, "[", each possible value as " v" (required) or " ?v", "] (" cardinality ")".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void notifyMonitor(QrcAny label, QrcPropagationQueueI* queue) override;

  // ---- set-variable virtual operations
  // Cardinality within [required size, possible size]; a cardinality at
  // either end decides every undecided value.
  virtual void propagateCardinality();
  // Kind 1: added required values; kind 2: none; others: removed possible singles.
  virtual Cell* getDelta(QrcInt kind) const;
  // Kinds 1 and 2: none; others: removed possible ranges (start cell, end cell).
  virtual Cell* getDeltaRanges(QrcInt kind) const;
  virtual QrcEventHandlerI* makeEventHandler();
  virtual void addRequired(QrcInt v);
  // The valid indexes of an accessor over the possible values: the possible
  // set's collection when it has one, else [least, greatest] possible value
  // (the universe when nothing is possible) (qrcaccessor.h).
  virtual QrcAccessorDomainI* makeAccessorDomain();
  // The universe of these variables is fixed: no universe delta, never
  // extensible, no growth; extension requests fail, closing does nothing.
  virtual QrcBool hasUniverseDelta() const { return 0; }
  virtual QrcBool isExtensible() const { return 0; }
  virtual QrcInt getUniverseGrowth() const { return 0; }
  virtual void closeUniverse() {}
  virtual void extendUniverse(QrcInt v) { (void)v, fail(); }
  virtual void extendUniverseRange(QrcInt a, QrcInt b) { (void)a, (void)b, fail(); }
  virtual void extendUniverse(const QrcIntSetI* set) { (void)set, fail(); }
  virtual void addPossible(QrcInt v) { (void)v, fail(); }
  virtual void addPossibleRange(QrcInt a, QrcInt b) { (void)a, (void)b, fail(); }
  virtual void notifyUniverseClosed() {}
  virtual void clearDeltas();

  // ---- changes
  void addRequired(const QrcIntSetI* set);
  // A plain int (0 included) takes the value form.
  void addRequired(int v) { addRequired(static_cast<QrcInt>(v)); }
  void addRequired(const QrcIntSet& set) { addRequired(set.getImpl()); }
  void removePossible(QrcInt v);
  void removePossibleAt(QrcInt v);
  void removePossibleRange(QrcInt a, QrcInt b);
  void restrictPossible(const QrcIntSetI* set);
  void restrictPossible(const QrcIntSet& set) { restrictPossible(set.getImpl()); }

  // ---- demons
  void whenDomain(QrcDemonI* demon);
  void whenValue(QrcDemonI* demon);

  // ---- reading
  bool isBound() const;
  bool isRequired(QrcInt v) const { return v >= _min && v <= _max && _required->contains(v); }
  bool isPossible(QrcInt v) const { return v >= _min && v <= _max && _possible->contains(v); }
  QrcIntSetI* getPossible() const { return _possible; }
  QrcIntSetI* getRequired() const { return _required; }
  QrcIntExpI* getCardinality() const { return _card; }
  QrcInt getUniverseMin() const { return _min; }
  QrcInt getUniverseMax() const { return _max; }
  bool canBeSubsetOf(const QrcIntSetVarI* other) const;
  // Smallest possible value that is not required (the last possible value
  // when all are required).
  QrcInt getFirstUndecided() const;
  QrcIntSetVarEventHandlerI* getSetHandler() const {
    return static_cast<QrcIntSetVarEventHandlerI*>(_handler);
  }
  bool isProcessing() const { return _handler && getSetHandler()->isProcessing(); }

  // ---- internal steps
  void linkCardinality();
  void requireAllPossible();
  void restrictPossibleToRequired();
  void recordRemovedPossible(QrcInt v);
  void recordRemovedRange(QrcInt a, QrcInt b);
  void deferRemovedPossible(QrcInt v);

 private:
  void init(QrcIntSetI* possible, QrcIntSetI* required, QrcInt cardMax);
  bool tracing() const;
  void markProcessingDeferred();
  // Whether b follows a in the universe.
  bool areNeighbours(QrcInt a, QrcInt b) const;

  QrcInt _min;
  QrcInt _max;
  QrcIntSetI* _possible = nullptr;
  QrcIntSetI* _required = nullptr;
  QrcIntExpI* _card = nullptr;
  Cell* _added = nullptr;
  Cell* _removedSingles = nullptr;
  Cell* _removedRanges = nullptr;
};

std::ostream& operator<<(std::ostream& os, const QrcIntSetVarI* var);

// Runs the cardinality link when the cardinality's range changes.
class QrcCardTouchDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcCardTouchDemonI)
  QROSIMPLECLASS(QrcCardTouchDemonI, QrcDemonI)
 public:
  QrcCardTouchDemonI(QrcManagerI* manager, QrcIntSetVarI* var) : QrcDemonI(manager), _var(var) {}
  void propagate() override { _var->propagateCardinality(); }
  void display(std::ostream& os) const override;

 private:
  QrcIntSetVarI* _var;
};

// The cardinality link as a constraint, for variables made in edit mode.
class QrcIntSetVarCardinalityCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcIntSetVarCardinalityCtI)
  QROSIMPLECLASS(QrcIntSetVarCardinalityCtI, QrcConstraintI)
 public:
  QrcIntSetVarCardinalityCtI(QrcManagerI* manager, QrcIntSetVarI* var)
      : QrcConstraintI(manager), _var(var) {}
  void post() override { _var->getCardinality()->whenRange(this); }
  void propagate() override { _var->propagateCardinality(); }
  void display(std::ostream& os) const override;

 private:
  QrcIntSetVarI* _var;
};

// ---------------------------------------------------------------- handle

class QrcIntSetVar {
 public:
  QrcIntSetVar() : _impl(nullptr) {}
  QrcIntSetVar(QrcIntSetVarI* impl) : _impl(impl) {}
  QrcIntSetVar(const QrcManager& manager, QrcInt min, QrcInt max, const char* name = nullptr);
  explicit QrcIntSetVar(const QrcIntCollectionI* collection, const char* name = nullptr);
  QrcIntSetVar(const QrcManager& manager, const QrcIntSet& set, const char* name = nullptr);
  // An empty array gives a variable with empty sets and cardinality 0.
  QrcIntSetVar(const QrcManager& manager, const QrcIntArray& values, const char* name = nullptr);
  QrcIntSetVarI* getImpl() const { return _impl; }
  void whenDomain(QrcDemonI* demon) const;

 private:
  QrcIntSetVarI* _impl;
};

std::ostream& operator<<(std::ostream& os, const QrcIntSetVar& var);

// ---------------------------------------------------------------- delta iterators
//
// Valid only while the variable's handler processes (error 43 "variable not
// in process" otherwise). Removed possible values come as the single values
// (most recent first), then range by range (most recent first), each range
// in increasing order.

// Walks a delta: single-value cells, then range cells through the universe.
class QrcSetDeltaWalk {
 public:
  QrcSetDeltaWalk()
      : _var(nullptr), _singles(nullptr), _ranges(nullptr), _pos(0), _end(0), _inRange(false) {}
  void start(const QrcIntSetVarI* var, QrcInt kind);
  bool next(QrcInt& value);

 private:
  const QrcIntSetVarI* _var;
  QrcIntSetVarI::Cell* _singles;
  QrcIntSetVarI::Cell* _ranges;
  QrcInt _pos;
  QrcInt _end;
  bool _inRange;
};

// A walk over a delta that keeps the current value and a valid flag, made on
// the first value.
class QrcSetDeltaCursor {
 public:
  bool ok() const { return _valid; }
  QrcInt operator*() const { return _current; }

 protected:
  // Reports an empty handle or a variable out of process as place, and then
  // walks nothing.
  QrcSetDeltaCursor(QrcIntSetVarI* var, QrcInt kind, const char* place);
  // Advances; answers ok().
  bool advance() { return _valid = _walk.next(_current); }

 private:
  QrcSetDeltaWalk _walk;
  QrcInt _current;
  bool _valid;
};

// Kind 1: added required values; kind 2: nothing; others: removed possible
// values.
class QrcIntSetVarDeltaIterator : public QrcSetDeltaCursor {
 public:
  QrcIntSetVarDeltaIterator(QrcIntSetVarI* var, QrcInt kind);
  QrcIntSetVarDeltaIterator(const QrcIntSetVar& var, QrcInt kind)
      : QrcIntSetVarDeltaIterator(var.getImpl(), kind) {}
  QrcIntSetVarDeltaIterator& operator++() {
    advance();
    return *this;
  }
  // Advances; answers ok().
  bool next() { return advance(); }
};

// A walk over a delta that stores the next value in the out-parameter and
// answers 1, or answers 0 at the end.
class QrcSetDeltaReader {
 public:
  QrcBool next(QrcInt& value) { return _walk.next(value) ? 1 : 0; }

 protected:
  // Reports an empty handle or a variable out of process as place, and then
  // walks nothing.
  QrcSetDeltaReader(QrcIntSetVarI* var, QrcInt kind, const char* place);

 private:
  QrcSetDeltaWalk _walk;
};

// The removed possible values, and the added required ones.
class QrcDeltaPossibleIterator : public QrcSetDeltaReader {
 public:
  explicit QrcDeltaPossibleIterator(QrcIntSetVarI* var);
  explicit QrcDeltaPossibleIterator(const QrcIntSetVar& var)
      : QrcDeltaPossibleIterator(var.getImpl()) {}
};

class QrcDeltaRequiredIterator : public QrcSetDeltaReader {
 public:
  explicit QrcDeltaRequiredIterator(QrcIntSetVarI* var);
  explicit QrcDeltaRequiredIterator(const QrcIntSetVar& var)
      : QrcDeltaRequiredIterator(var.getImpl()) {}
};

// The same, keeping the current value.
class QrcIntDeltaPossibleIterator : public QrcSetDeltaCursor {
 public:
  explicit QrcIntDeltaPossibleIterator(QrcIntSetVarI* var);
  explicit QrcIntDeltaPossibleIterator(const QrcIntSetVar& var)
      : QrcIntDeltaPossibleIterator(var.getImpl()) {}
  QrcIntDeltaPossibleIterator& operator++() {
    advance();
    return *this;
  }
};

class QrcIntDeltaRequiredIterator : public QrcSetDeltaCursor {
 public:
  explicit QrcIntDeltaRequiredIterator(QrcIntSetVarI* var);
  explicit QrcIntDeltaRequiredIterator(const QrcIntSetVar& var)
      : QrcIntDeltaRequiredIterator(var.getImpl()) {}
  QrcIntDeltaRequiredIterator& operator++() {
    advance();
    return *this;
  }
};

// ---------------------------------------------------------------- goals

// Chooses the value to decide next for a set variable.
class QrcIntSetValueSelectorI {
 public:
  virtual ~QrcIntSetValueSelectorI() {}
  virtual QrcInt select(QrcIntSetVarI* var) = 0;
};

// Chooses the element of an array to decide next; -1 when none is left.
typedef QrcInt (*QrcIntSetSelector)(const QrcIntSetVarArray& vars);

// Index of the first element that is not bound, -1 when all are.
QrcInt QrcSelectFirstUnboundIntSetVar(const QrcIntSetVarArray& vars);

class QrctIntSetVarAddValueI : public QrcGoalI {
  QRCLIBRARYCLASS(QrctIntSetVarAddValueI)
  QROSIMPLECLASS(QrctIntSetVarAddValueI, QrcGoalI)
 public:
  QrctIntSetVarAddValueI(QrcManagerI* manager, QrcIntSetVarI* var, QrcInt value)
      : QrcGoalI(manager), _var(var), _value(value) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntSetVarI* _var;
  QrcInt _value;
};

class QrctIntSetVarRemoveValueI : public QrcGoalI {
  QRCLIBRARYCLASS(QrctIntSetVarRemoveValueI)
  QROSIMPLECLASS(QrctIntSetVarRemoveValueI, QrcGoalI)
 public:
  QrctIntSetVarRemoveValueI(QrcManagerI* manager, QrcIntSetVarI* var, QrcInt value)
      : QrcGoalI(manager), _var(var), _value(value) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntSetVarI* _var;
  QrcInt _value;
};

// Decides a set variable value by value: add v, or else remove v and go on.
class QrcIntSetVarInstantiateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcIntSetVarInstantiateI)
  QROSIMPLECLASS(QrcIntSetVarInstantiateI, QrcGoalI)
 public:
  QrcIntSetVarInstantiateI(QrcManagerI* manager, QrcIntSetVarI* var,
                           QrcIntSetValueSelectorI* selector)
      : QrcGoalI(manager), _var(var), _selector(selector) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntSetVarI* _var;
  QrcIntSetValueSelectorI* _selector;
};

// Decides the elements of an array in the order of a variable selector.
class QrcIntSetGenerateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcIntSetGenerateI)
  QROSIMPLECLASS(QrcIntSetGenerateI, QrcGoalI)
 public:
  QrcIntSetGenerateI(QrcManagerI* manager, QrcIntSetVarArrayI* vars, QrcIntSetSelector select,
                     QrcIntSetValueSelectorI* valueSelector)
      : QrcGoalI(manager), _vars(vars), _select(select), _valueSelector(valueSelector) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntSetVarArrayI* _vars;
  QrcIntSetSelector _select;
  QrcIntSetValueSelectorI* _valueSelector;
};

QrcGoal QrcIntSetGenerate(const QrcIntSetVarArray& vars,
                          QrcIntSetSelector select = QrcSelectFirstUnboundIntSetVar);
// The same goal under the name the default search uses.
QrcGoal QrcGenerate(const QrcIntSetVarArray& vars,
                    QrcIntSetSelector select = QrcSelectFirstUnboundIntSetVar);

#endif
