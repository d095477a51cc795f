// The solver's look-ahead companions for search over integer variables: the
// prober (values tried in nested solves), the impact information (listeners
// told of every recorded decision, and a table of value impacts), and the
// decision log (a reversible stack of the decisions on the current path).
#ifndef QRC_IMPACT_H
#define QRC_IMPACT_H

#include <cstring>

#include "qrcgoal.h"
#include "qrcint.h"
#include "qroenv.h"

class QroSolverI;
class QrcIntExpI;

// A growable array of T from an allocator: grows to the largest of the
// minimum capacity, the request and 1.42 times the old capacity.
template <class T>
class QrcGrowableArray {
 public:
  explicit QrcGrowableArray(QroGenAlloc* allocator, QrcInt minCapacity = 1000, bool fill = false,
                            T fillValue = T())
      : _allocator(allocator),
        _capacity(0),
        _size(0),
        _minCapacity(minCapacity),
        _fill(fill ? 1 : 0),
        _fillValue(fillValue),
        _data(nullptr) {}
  ~QrcGrowableArray() { release(); }
  QrcGrowableArray(const QrcGrowableArray&) = delete;
  QrcGrowableArray& operator=(const QrcGrowableArray&) = delete;

  void grow(QrcInt n) {
    if (n <= _capacity) return;
    QrcInt c = static_cast<QrcInt>(static_cast<double>(_capacity) * 1.42);
    if (c < _minCapacity) c = _minCapacity;
    if (c < n) c = n;
    T* block = static_cast<T*>(_allocator->alloc(static_cast<size_t>(c) * sizeof(T)));
    if (!block) throw QroMemoryException();
    if (_capacity > 0) {
      std::memcpy(static_cast<void*>(block), _data, static_cast<size_t>(_capacity) * sizeof(T));
      _allocator->free(_data, static_cast<size_t>(_capacity) * sizeof(T));
    }
    if (_fill)
      for (QrcInt i = _capacity; i < c; ++i) block[i] = _fillValue;
    _capacity = c;
    _data = block;
  }
  // Grows to n and makes n the size.
  T* resize(QrcInt n) {
    grow(n);
    _size = n;
    return _data;
  }
  void release() {
    if (_data) _allocator->free(_data, static_cast<size_t>(_capacity) * sizeof(T));
    _data = nullptr;
    _capacity = _size = 0;
  }
  QrcInt getCapacity() const { return _capacity; }
  QrcInt getSize() const { return _size; }
  void setSize(QrcInt n) { _size = n; }
  T* getData() const { return _data; }
  T& operator[](QrcInt i) const { return _data[i]; }

 private:
  QroGenAlloc* _allocator;
  QrcInt _capacity;
  QrcInt _size;
  QrcInt _minCapacity;
  QrcInt _fill;
  T _fillValue;
  T* _data;
};

// Tries each value of a variable in a nested solve, removes the values that
// fail and narrows every variable of its array to the hull of what the
// surviving values left it.
class QrcProber {
 public:
  explicit QrcProber(QroSolverI* solver);
  ~QrcProber();
  QrcProber(const QrcProber&) = delete;
  QrcProber& operator=(const QrcProber&) = delete;

  // The default extractor's integer decision variables, in extraction order.
  void setVariables();
  void setVariables(const QrcIntVarArray& vars);
  void probe(QrcIntExpI* x);
  // Probes each variable of vars (the prober's own when empty) whose size lies
  // in [2, maxSize].
  void probeAll(QrcInt maxSize, const QrcIntVarArray& vars = QrcIntVarArray());
  void end();
  // Widens the hull by the current domains (the probing goal).
  void widenHull();

  QrcIntVarArray getVariables() const { return _vars; }
  QrcInt getFailsSpent() const { return _failsSpent; }
  QrcInt getChoicePointsSpent() const { return _choicePointsSpent; }
  QrcInt getProbedVariables() const { return _probed; }
  QrcInt getRemovedValues() const { return _removed; }

 private:
  void allocateHulls(QrcInt n);
  QroSolverI* _solver;
  QrcIntVarArray _vars;
  QrcInt _count;
  QrcInt* _low;
  QrcInt* _high;
  QrcGrowableArray<QrcInt> _failed;
  QrcInt _failsSpent;
  QrcInt _choicePointsSpent;
  QrcInt _probed;
  QrcInt _removed;
};

// Told of the recorded decisions and of the impact estimation.
class QrcImpactListenerI {
 public:
  virtual ~QrcImpactListenerI() {}
  virtual void end() {}
  virtual void reset() {}
  virtual void leafReached(QrcIntExpI* x) { (void)x; }
  virtual void beginVariable(QrcIntExpI* x) { (void)x; }
  virtual void finishVariable(QrcIntExpI* x, QrcInt position) {
    (void)x;
    (void)position;
  }
  virtual void beforeSetValue(QrcIntExpI* x, QrcInt v) {
    (void)x;
    (void)v;
  }
  virtual void afterSetValue(QrcIntExpI* x, QrcInt v) {
    (void)x;
    (void)v;
  }
  QrcImpactListenerI* _next = nullptr;
};

// Impact of one value: a stamp (the estimation pass that last reached it),
// the sum of the observations and their number.
struct QrcValueImpact {
  QrcInt stamp;
  double sum;
  QrcInt observations;
  double getMean() const {
    return observations == 0 ? sum : sum / static_cast<double>(observations);
  }
  void observe(double x) {
    sum += x;
    ++observations;
  }
};

class QrcVarImpactRecord {
 public:
  // Domains wider than this keep no per-value impacts (every mean reads 0).
  static const QrcInt MaxCoveredWidth = QrcInt(1) << 20;
  QrcVarImpactRecord(QrcIntExpI* x, QrcInt lo, QrcInt hi);
  ~QrcVarImpactRecord();
  QrcVarImpactRecord(const QrcVarImpactRecord&) = delete;
  QrcVarImpactRecord& operator=(const QrcVarImpactRecord&) = delete;
  QrcIntExpI* getVariable() const { return _x; }
  // Null for a value outside the values covered.
  QrcValueImpact* getImpact(QrcInt v) const {
    return !_impacts || v < _lo || v > _hi ? nullptr : &_impacts[v - _lo];
  }
  // Sum of the mean impacts of the values in the current domain.
  double getImpactSum() const;
  // f(v, impact) for each covered value v of the current domain, smallest
  // first; f may remove v.
  template <class F>
  void forEachValue(F f) const;
  // The estimation pass that last split this variable (0: none).
  QrcInt getPass() const { return _pass; }
  void setPass(QrcInt pass) { _pass = pass; }

 private:
  QrcIntExpI* _x;
  QrcInt _lo, _hi;
  QrcInt _pass = 0;
  QrcValueImpact* _impacts;
};

// From variable number (its event handler's serial) to impact record.
class QrcImpactTable {
 public:
  explicit QrcImpactTable(const QrcIntVarArray& vars);
  ~QrcImpactTable();
  QrcImpactTable(const QrcImpactTable&) = delete;
  QrcImpactTable& operator=(const QrcImpactTable&) = delete;
  // QroSolver::Exception "Variable has no impact information" when not covered.
  QrcVarImpactRecord* getRecord(QrcIntExpI* x) const;
  QrcVarImpactRecord* findRecord(QrcIntExpI* x) const;
  // Adds a record for a variable not covered yet.
  void cover(QrcIntExpI* x);

 private:
  static QrcInt numberOf(QrcIntExpI* x);
  QrcInt* _slots;
  QrcInt _length;
  QrcVarImpactRecord** _records;
  QrcInt _count, _capacity;
};

class QroAnyEvaluatorI;
class QrcSelectionCriterion;
class QrcCustomizableGoalI;

class QrcImpactInformation {
 public:
  // Covers vars and listens through the standard listener.
  QrcImpactInformation(QroSolverI* solver, const QrcIntVarArray& vars);
  ~QrcImpactInformation();
  QrcImpactInformation(const QrcImpactInformation&) = delete;
  QrcImpactInformation& operator=(const QrcImpactInformation&) = delete;

  // Listeners are owned by the information from then on; told in the order added.
  void addListener(QrcImpactListenerI* listener);
  void setValue(QrcIntExpI* x, QrcInt v);
  void removeValue(QrcIntExpI* x, QrcInt v);
  void initialize(QrcInt depth);
  // False when a limit stopped the estimation before it reached every leaf.
  bool estimateVariable(QrcIntExpI* x, QrcInt depth);
  // The first value of x from the minimum upward other than v (0 when none).
  static QrcInt otherValue(QrcIntExpI* x, QrcInt v);
  void end();
  // The impact-based default search over the array (impact records made for
  // the variables that lack one).
  QrcGoal makeDefaultGoal(const QrcIntVarArray& vars);
  // The default search's customizable goal over the array, switches off.
  QrcCustomizableGoalI* makeCustomizableGoal(const QrcIntVarArray& vars);
  void leafReached(QrcIntExpI* x);

  QroSolverI* getSolver() const { return _solver; }
  QrcIntVarArray getVariables() const { return _vars; }
  QrcImpactTable* getTable() const { return _table; }
  QrcImpactListenerI* getListeners() const { return _listeners; }
  QrcInt getSetDecisions() const { return _sets; }
  QrcInt getRemoveDecisions() const { return _removes; }
  void setTwoValueFlag(QrcBool flag) { _twoValues = flag ? 1 : 0; }
  QrcBool getTwoValueFlag() const { return _twoValues != 0; }

 private:
  void recordedSet(QrcIntExpI* x, QrcInt v);
  // event(l) for each listener l, in order.
  template <class F>
  void tell(F event);
  void makeCriteria();
  QroSolverI* _solver;
  QrcIntVarArray _vars;
  QrcImpactListenerI* _listeners;
  QrcInt _sets;
  QrcInt _removes;
  QrcInt _twoValues;
  QrcImpactTable* _table;
  // The default search's evaluators (the impact variable evaluator, its
  // opposite, the random variable evaluator, the impact and random value
  // evaluators) and its criteria (variables: impact, random; values: impact,
  // random), made once and kept with their statistics.
  QroAnyEvaluatorI* _evaluators[5];
  QrcSelectionCriterion* _criteria[4];
};

// The standard listener: an observation is the fraction of the search space
// (the product of the covered domain sizes) that a decision leaves.
class QrcSearchSpaceImpactListenerI : public QrcImpactListenerI {
 public:
  explicit QrcSearchSpaceImpactListenerI(QrcImpactInformation* info) : _info(info) {}
  // Forgets which variables the last estimation split.
  void reset() override;
  void beginVariable(QrcIntExpI* x) override;
  void leafReached(QrcIntExpI* x) override;
  void finishVariable(QrcIntExpI* x, QrcInt position) override;
  void beforeSetValue(QrcIntExpI* x, QrcInt v) override;
  void afterSetValue(QrcIntExpI* x, QrcInt v) override;
  // Sum of the logarithms of the covered domain sizes.
  double logSpace() const;

 private:
  QrcImpactInformation* _info;
  double _before = 0.0;
  QrcInt _pass = 0;
};

// A reversible stack of the set (kind 1) and remove (kind 0) decisions on the
// current path.
class QrcDecisionLog {
 public:
  struct Record {
    QrcIntExpI* var;
    QrcInt value;
    QrcInt kind;
  };
  explicit QrcDecisionLog(QroSolverI* solver);
  ~QrcDecisionLog() { end(); }
  QrcDecisionLog(const QrcDecisionLog&) = delete;
  QrcDecisionLog& operator=(const QrcDecisionLog&) = delete;
  void addSetValue(QrcIntExpI* x, QrcInt v) { add(x, v, 1); }
  void addRemoveValue(QrcIntExpI* x, QrcInt v) { add(x, v, 0); }
  void end() { _records.release(); }
  // Forgets the path (the manager was reset).
  void reset() {
    _count.setNoSave(0);
    _latest = 0;
  }
  QrcInt getCount() const { return _count.getValue(); }
  QrcInt getLatestCount() const { return _latest; }
  const Record& getRecord(QrcInt i) const { return _records[i]; }

 private:
  void add(QrcIntExpI* x, QrcInt v, QrcInt kind);
  QroSolverI* _solver;
  QrcGrowableArray<Record> _records;
  QrcRevWord _count;
  QrcInt _latest;
};

// Sets x to v and widens the prober's hull (run in a nested solve).
class QrcProberSetValueI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcProberSetValueI)
  QROSIMPLECLASS(QrcProberSetValueI, QrcGoalI)
 public:
  QrcProberSetValueI(QrcManagerI* m, QrcProber* prober, QrcIntExpI* x, QrcInt v)
      : QrcGoalI(m), _prober(prober), _x(x), _v(v) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcProber* _prober;
  QrcIntExpI* _x;
  QrcInt _v;
};

// Splits x's domain in halves down to a depth; every leaf is reported, then fails.
class QrcImpactEstimateWithDichotomyI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcImpactEstimateWithDichotomyI)
  QROSIMPLECLASS(QrcImpactEstimateWithDichotomyI, QrcGoalI)
 public:
  QrcImpactEstimateWithDichotomyI(QrcManagerI* m, QrcImpactInformation* info, QrcIntExpI* x,
                                  QrcInt depth)
      : QrcGoalI(m), _info(info), _x(x), _depth(depth) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcImpactInformation* _info;
  QrcIntExpI* _x;
  QrcInt _depth;
};

class QrcInternalInitializeImpactDichotomyGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcInternalInitializeImpactDichotomyGoalI)
  QROSIMPLECLASS(QrcInternalInitializeImpactDichotomyGoalI, QrcGoalI)
 public:
  QrcInternalInitializeImpactDichotomyGoalI(QrcManagerI* m, QrcImpactInformation* info,
                                            QrcInt depth)
      : QrcGoalI(m), _info(info), _depth(depth) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcImpactInformation* _info;
  QrcInt _depth;
};

#endif
