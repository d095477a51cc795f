// The impact-based default search: selection criteria over evaluators, the
// customizable goal that picks a variable and a value through them, its
// instantiation goals, the evaluators of the default search, and the
// deduction store of its bubbling mode.
#ifndef QRC_DEFAULTSEARCH_H
#define QRC_DEFAULTSEARCH_H

#include "qroevaluator.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintgoals.h"

class QrcIntExpI;
class QrcImpactInformation;
class QrcDeductionStore;

// ---------------------------------------------------------------------------
// Evaluators of the default search

class QrcImpactVarEvaluatorI : public QroEvaluatorI<QrcIntVar> {
  QROSIMPLECLASS(QrcImpactVarEvaluatorI, QroEvaluatorI<QrcIntVar>)
 public:
  explicit QrcImpactVarEvaluatorI(QroGenAlloc* a) : QroEvaluatorI<QrcIntVar>(a) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    return new (a) QrcImpactVarEvaluatorI(a);
  }
  // 1 - the impact sum of the variable's current values.
  double evaluateValue(const QrcIntVar& x, const void*, QroEvaluatorCacheOwner*) override;
};

class QrcRandomVarEvaluatorI : public QroEvaluatorI<QrcIntVar> {
  QROSIMPLECLASS(QrcRandomVarEvaluatorI, QroEvaluatorI<QrcIntVar>)
 public:
  explicit QrcRandomVarEvaluatorI(QroGenAlloc* a) : QroEvaluatorI<QrcIntVar>(a) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    return new (a) QrcRandomVarEvaluatorI(a);
  }
  double evaluateValue(const QrcIntVar& x, const void*, QroEvaluatorCacheOwner*) override;
};

// Values are scored with their variable (a QrcIntExpI*) as context.
class QrcImpactValueEvaluatorI : public QroEvaluatorI<QroInt> {
  QROSIMPLECLASS(QrcImpactValueEvaluatorI, QroEvaluatorI<QroInt>)
 public:
  explicit QrcImpactValueEvaluatorI(QroGenAlloc* a) : QroEvaluatorI<QroInt>(a) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    return new (a) QrcImpactValueEvaluatorI(a);
  }
  // 1 - the mean impact of the value.
  double evaluateValue(const QroInt& v, const void* x, QroEvaluatorCacheOwner*) override;
};

class QrcRandomValueEvaluatorI : public QroEvaluatorI<QroInt> {
  QROSIMPLECLASS(QrcRandomValueEvaluatorI, QroEvaluatorI<QroInt>)
 public:
  explicit QrcRandomValueEvaluatorI(QroGenAlloc* a) : QroEvaluatorI<QroInt>(a) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    return new (a) QrcRandomValueEvaluatorI(a);
  }
  double evaluateValue(const QroInt& v, const void* x, QroEvaluatorCacheOwner*) override;
};

// ---------------------------------------------------------------------------
// Selection

// Keeps the candidates that score best by one evaluator.
class QrcSelectionCriterion {
 public:
  enum Mode { AbsoluteTolerance = 0, RelativeTolerance = 1, KBest = 2, BestFraction = 3 };
  // The evaluator is a QroEvaluatorI<QrcIntVar> or a QroEvaluatorI<QroInt>;
  // the name is copied into the evaluator's memory manager.
  QrcSelectionCriterion(QroAnyEvaluatorI* evaluator, double parameter, int mode, const char* name);
  ~QrcSelectionCriterion();
  QrcSelectionCriterion(const QrcSelectionCriterion&) = delete;
  QrcSelectionCriterion& operator=(const QrcSelectionCriterion&) = delete;
  QroAnyEvaluatorI* getEvaluator() const { return _evaluator; }
  double getParameter() const { return _parameter; }
  int getMode() const { return _mode; }
  const char* getName() const { return _name; }
  double getMeanReduction() const { return _meanReduction; }
  QrcInt getUses() const { return _uses; }
  void recordUse(QrcInt before, QrcInt after);

 private:
  QroGenAlloc* _allocator;
  QroAnyEvaluatorI* _evaluator;
  double _parameter;
  int32_t _mode;
  char* _name;
  double _meanReduction;
  QrcInt _uses;
};

// Criteria in the order they are applied; on the manager's heap.
struct QrcCriterionList {
  QrcInt count;
  QrcSelectionCriterion** criteria;
  QrcManagerI* manager;
  static QrcCriterionList* make(QrcManagerI* m, QrcInt count);
};

// Narrows the unbound candidates of the customizable goal.
class QrcVarFilterI {
 public:
  virtual ~QrcVarFilterI() {}
  // Returns the new count of positions kept at the front.
  virtual QrcInt filter(const QrcIntVarArray& vars, QrcInt* positions, QrcInt count) = 0;
  virtual void noMoreVariables() {}
};

class QrcRootGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcRootGoalI)
  QROSIMPLECLASS(QrcRootGoalI, QrcGoalI)
 public:
  QrcRootGoalI(QrcManagerI* m, const QrcIntVarArray& vars, QrcCriterionList* varCriteria,
               QrcCriterionList* valueCriteria);
  void display(std::ostream&) const override {}

  // Values of one variable that value selection considers at most.
  static const QrcInt MaxValueCandidates = QrcInt(1) << 20;
  // Position of the chosen variable, or -1.
  QrcInt selectVariable();
  // 1 with the chosen value, or 0.
  QrcBool selectValue(QrcIntExpI* x, QrcInt* value);
  QrcInt randomizedRounding(double p);
  static QrcInt selectBest(QrcInt* positions, double* scores, QrcInt begin, QrcInt end, QrcInt k);
  static QrcInt filterByTolerance(QrcInt* positions, const double* scores, QrcInt n, bool relative,
                                  double tolerance);
  static QrcInt argMin(const double* scores, QrcInt begin, QrcInt end);
  static QrcInt argMax(const double* scores, QrcInt begin, QrcInt end);
  static QrcInt partition(QrcInt* positions, double* scores, QrcInt begin, QrcInt end,
                          double pivot);

  QrcIntVarArray getVariables() const { return _vars; }
  void setBest(QrcBool flag) { _best = flag ? 1 : 0; }
  void setProbingSizeLimit(QrcInt limit) { _probingLimit = limit; }
  void setBubbling(QrcBool flag) { _bubbling = flag ? 1 : 0; }
  void setLeftBranchGoal(QrcGoalI* goal) { _leftGoal = goal; }
  void setRightBranchGoal(QrcGoalI* goal) { _rightGoal = goal; }
  void setVariableFilter(QrcVarFilterI* filter) { _filter = filter; }
  QrcBool isBest() const { return _best; }
  QrcGoalI* getLeftBranchGoal() const { return _leftGoal; }
  QrcGoalI* getRightBranchGoal() const { return _rightGoal; }

 protected:
  // Narrows n candidates (positions or values) by the criteria; the count left.
  QrcInt applyCriteria(QrcCriterionList* list, QrcInt* keys, double* scores, QrcInt n,
                       QrcIntExpI* context);
  // Room for n keys (returned) and n scores: the solver's scratch arrays.
  QrcInt* scratch(QrcInt n, double** scores);
  QrcIntVarArray _vars;
  QrcCriterionList* _varCriteria;
  QrcCriterionList* _valueCriteria;
  QrcInt _best;
  QrcInt _probingLimit;
  QrcGoalI* _leftGoal;
  QrcGoalI* _rightGoal;
  QrcInt _bubbling;
  QrcVarFilterI* _filter;
};

class QrcCustomizableGoalI : public QrcRootGoalI {
  QRCLIBRARYCLASS(QrcCustomizableGoalI)
  QROSIMPLECLASS(QrcCustomizableGoalI, QrcRootGoalI)
 public:
  QrcCustomizableGoalI(QrcManagerI* m, const QrcIntVarArray& vars, QrcCriterionList* varCriteria,
                       QrcCriterionList* valueCriteria)
      : QrcRootGoalI(m, vars, varCriteria, valueCriteria) {}
  QrcGoalI* execute() override;
};

// Sets a chosen value of x, else removes it and instantiates x again.
class QrcDefaultInstantiateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcDefaultInstantiateI)
  QROSIMPLECLASS(QrcDefaultInstantiateI, QrcGoalI)
 public:
  QrcDefaultInstantiateI(QrcManagerI* m, QrcIntExpI* x, QrcCustomizableGoalI* g)
      : QrcGoalI(m), _x(x), _goal(g) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 protected:
  // The choice on x (null: x is bound; fails without a value); again follows
  // the removal when given.
  QrcGoalI* branch(QrcDeductionStore* store, QrcGoalI* again);
  QrcIntExpI* _x;
  QrcCustomizableGoalI* _goal;
};

// After the removal the customizable goal chooses the best variable again.
class QrcDefaultBestInstantiateI : public QrcDefaultInstantiateI {
  QRCLIBRARYCLASS(QrcDefaultBestInstantiateI)
  QROSIMPLECLASS(QrcDefaultBestInstantiateI, QrcDefaultInstantiateI)
 public:
  QrcDefaultBestInstantiateI(QrcManagerI* m, QrcIntExpI* x, QrcCustomizableGoalI* g)
      : QrcDefaultInstantiateI(m, x, g) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

// The best form with the bubbling decisions.
class QrcDefaultBubbleBestInstantiateI : public QrcDefaultInstantiateI {
  QRCLIBRARYCLASS(QrcDefaultBubbleBestInstantiateI)
  QROSIMPLECLASS(QrcDefaultBubbleBestInstantiateI, QrcDefaultInstantiateI)
 public:
  QrcDefaultBubbleBestInstantiateI(QrcManagerI* m, QrcIntExpI* x, QrcCustomizableGoalI* g,
                                   QrcDeductionStore* store)
      : QrcDefaultInstantiateI(m, x, g), _store(store) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcDeductionStore* _store;
};

// Runs the store's probing passes when due and instantiates the best variable.
class QrcDefaultBubbleBestGenerateI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcDefaultBubbleBestGenerateI)
  QROSIMPLECLASS(QrcDefaultBubbleBestGenerateI, QrcGoalI)
 public:
  QrcDefaultBubbleBestGenerateI(QrcManagerI* m, const QrcIntVarArray& vars, QrcCustomizableGoalI* g,
                                QrcDeductionStore* store)
      : QrcGoalI(m), _vars(vars), _goal(g), _store(store) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntVarArray _vars;
  QrcCustomizableGoalI* _goal;
  QrcDeductionStore* _store;
};

// ---------------------------------------------------------------------------
// Deductions

struct QrcDeduction;

// A list of deductions (head, tail).
struct QrcDeductionList {
  QrcDeduction* head;
  QrcDeduction* tail;
};

// x == v (kind 0), x != v (1), x == y (6) or x != y (7); the other kinds are
// reserved (never valid, no effect). A compound deduction holds under its
// premises.
struct QrcDeduction {
  enum Kind { Equal = 0, Different = 1, VarEqual = 6, VarDifferent = 7 };
  QrcInt kind;
  QrcIntExpI* x;
  QrcInt position;
  QrcInt value;
  QrcIntExpI* y;
  QrcDeductionList* premises;
  QrcDeduction* next;
  QrcInt depth;
  QrcInt weight;
};

// Deductions per level of the decision tree: current (found at the level),
// pending (moved up from an abandoned child level) and rejected (found invalid
// again). Deductions, premise lists and level records come from the manager's
// global heap, which backtracking does not undo, and are recycled through a
// free list; the store itself lives on the manager's heap. Only the move-up
// actions registered on the choice points restore the levels.
class QrcDeductionStore {
 public:
  struct Level {
    QrcDeductionList current;
    QrcDeductionList pending;
    QrcDeductionList rejected;
    QrcDeduction* tailBeforeAppend;
  };
  QrcDeductionStore(QrcManagerI* m, QrcInt variables);
  void setDepthLimit(QrcInt limit) { _depthLimit = limit; }
  void setStopAtFirstInvalid(QrcBool flag) { _stopAtFirstInvalid = flag ? 1 : 0; }

  QrcDeduction* newDeduction(QrcIntExpI* x, QrcInt kind, QrcInt position, QrcInt value);
  // Releases the premises first, then pushes d on the free list.
  void release(QrcDeduction* d);
  // True when refuting d has no solution (a nested solve that restores the state).
  bool isValid(QrcDeduction* d);
  void apply(QrcDeduction* d);
  void playPremises(QrcDeduction* d);
  void pushLevel();
  void moveUp();
  void retestPending(QrcIntExpI* x, QrcInt kind, QrcInt position, QrcInt v);
  bool isProbingDue(const QrcIntVarArray& vars) const;
  void probingPass(const QrcIntVarArray& vars);
  // Appends d to the current level's current list.
  void append(QrcDeduction* d);
  // Takes the last appended deduction back off the current list.
  void takeBack();
  void countDecision() { ++_decisions; }

  QrcInt getLevel() const { return _level; }
  Level* getLevelRecord(QrcInt i) const { return i < _levelCount ? _levels[i] : nullptr; }
  Level* current() const { return _levels[_level]; }
  QrcInt getDecisions() const { return _decisions; }
  bool isPassComplete() const { return _passComplete != 0; }
  QrcManagerI* getManager() const { return _manager; }

 private:
  Level* newLevel();
  void* allocate(size_t n);
  QrcInt _level;
  QrcInt _levelCount;
  Level** _levels;
  QrcDeduction* _freeList;
  QrcManagerI* _manager;
  QrcInt _depthLimit;
  QrcInt _stopAtFirstInvalid;
  QrcInt _decisions;
  QrcInt _decisionsAtPass;
  QrcInt _passComplete;
  QrcInt _resumePosition;
  QrcInt _resumeValue;
};

// Set and remove without recording the decision.
#define QRC_DIRECT_VALUE_GOAL(NAME)                                                                \
  class NAME : public QrcGoalI {                                                                   \
    QRCLIBRARYCLASS(NAME)                                                                          \
    QROSIMPLECLASS(NAME, QrcGoalI)                                                                 \
   public:                                                                                         \
    NAME(QrcManagerI* m, QrcIntExpI* var, QrcInt value) : QrcGoalI(m), _var(var), _value(value) {} \
    QrcGoalI* execute() override;                                                                  \
    void display(std::ostream& os) const override;                                                 \
                                                                                                   \
   private:                                                                                        \
    QrcIntExpI* _var;                                                                              \
    QrcInt _value;                                                                                 \
  };
QRC_DIRECT_VALUE_GOAL(DirectIntVarSetValueI)
QRC_DIRECT_VALUE_GOAL(DirectIntVarRemoveValueI)
#undef QRC_DIRECT_VALUE_GOAL

#define QRC_DEDUCTION_VARS_GOAL(NAME)                                                 \
  class NAME : public QrcGoalI {                                                      \
    QRCLIBRARYCLASS(NAME)                                                             \
    QROSIMPLECLASS(NAME, QrcGoalI)                                                    \
   public:                                                                            \
    NAME(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y) : QrcGoalI(m), _x(x), _y(y) {} \
    QrcGoalI* execute() override;                                                     \
    void display(std::ostream& os) const override;                                    \
                                                                                      \
   private:                                                                           \
    QrcIntExpI* _x;                                                                   \
    QrcIntExpI* _y;                                                                   \
  };
// Add the constraint x == y, or x != y.
QRC_DEDUCTION_VARS_GOAL(QrcIntVarEqI)
QRC_DEDUCTION_VARS_GOAL(QrcIntVarNeqI)
#undef QRC_DEDUCTION_VARS_GOAL

// Plays the premises of a deduction.
class QrcPlayListOfDeductionsI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcPlayListOfDeductionsI)
  QROSIMPLECLASS(QrcPlayListOfDeductionsI, QrcGoalI)
 public:
  QrcPlayListOfDeductionsI(QrcManagerI* m, QrcDeductionStore* store, QrcDeduction* d)
      : QrcGoalI(m), _store(store), _deduction(d) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcDeductionStore* _store;
  QrcDeduction* _deduction;
};

// Moves the deductions of the abandoned level up (a reversible action).
class QrcMoveUpDeductionsI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcMoveUpDeductionsI)
  QROSIMPLECLASS(QrcMoveUpDeductionsI, QrcGoalI)
 public:
  QrcMoveUpDeductionsI(QrcManagerI* m, QrcDeductionStore* store) : QrcGoalI(m), _store(store) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcDeductionStore* _store;
};

// The set and remove decisions of the bubbling mode: a decision that fails
// at once leaves its refutation as a deduction of the level.
#define QRC_BUBBLE_GOAL(NAME)                                               \
  class NAME : public QrcGoalI {                                            \
    QRCLIBRARYCLASS(NAME)                                                   \
    QROSIMPLECLASS(NAME, QrcGoalI)                                          \
   public:                                                                  \
    NAME(QrcManagerI* m, QrcIntExpI* x, QrcInt v, QrcDeductionStore* store) \
        : QrcGoalI(m), _x(x), _v(v), _store(store) {}                       \
    QrcGoalI* execute() override;                                           \
    void display(std::ostream& os) const override;                          \
                                                                            \
   private:                                                                 \
    QrcIntExpI* _x;                                                         \
    QrcInt _v;                                                              \
    QrcDeductionStore* _store;                                              \
  };
QRC_BUBBLE_GOAL(QrcBubbleGenericSetValueI)
QRC_BUBBLE_GOAL(QrcBubbleGenericRemoveValueI)
#undef QRC_BUBBLE_GOAL

#endif
