// User code on a failure's path. In a manager whose failures are exceptions
// (an engine manager switched to them, a solver's), a failure that passes
// through the program's code, wherever the library calls it, reaches each of
// its frames as QrcFailException: its locals are destroyed and its catches
// see the failure, exactly as in a manager where every failure is thrown.
#include <gtest/gtest.h>

#include <optional>
#include <type_traits>
#include <vector>

#include "qrcdefaultsearch.h"
#include "qroext.h"
#include "qrcfail.h"
#include "qrcfloatexp.h"
#include "qrcfloatgoals.h"
#include "qrcimpact.h"
#include "qrcint.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcintsetvar.h"
#include "qrcmanager.h"
#include "qrcpath.h"
#include "qrcpiecewise.h"
#include "qrcsearch.h"
#include "qrctable.h"
#include "qrctablepredicate.h"
#include "qromodel.h"
#include "qrosolveri.h"

namespace usercode {

// x, z and u are labelled (16 leaves); the program's code fails while x is
// bound to an odd value (y has no value above 3), in one of three shapes.
QrcIntExpI* x = nullptr;
QrcIntExpI* y = nullptr;
enum Shape { NoCatch, CatchAndGoOn, CatchAndRethrow };
Shape shape = NoCatch;

struct Tally {
  int entered = 0, returned = 0, left = 0, caught = 0;
} tally;

struct Counted {
  ~Counted() { ++tally.left; }
};

void prune(bool always) {
  if (always || (x->isBound() && x->getValue() % 2)) y->setValue(9);
}

// The program's code at an extension point.
void touch(bool always = false) {
  Counted local;
  ++tally.entered;
  if (shape == NoCatch) {
    prune(always);
  } else {
    try {
      prune(always);
    } catch (const QrcFailException&) {
      ++tally.caught;
      if (shape == CatchAndRethrow) throw;
    }
  }
  ++tally.returned;
}

class TouchGoal : public QrcGoalI {
 public:
  explicit TouchGoal(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    touch();
    return nullptr;
  }
};

class TouchDemon : public QrcDemonI {
 public:
  explicit TouchDemon(QrcManagerI* m) : QrcDemonI(m) {}
  void propagate() override { touch(); }
};

class TouchCt : public QrcConstraintI {
 public:
  explicit TouchCt(QrcManagerI* m) : QrcConstraintI(m) {}
  void post() override { x->whenValue(this); }
  void propagate() override { touch(); }
};

// x itself, read through the program's code.
class TouchNode : public QrcIntExpI {
 public:
  explicit TouchNode(QrcManagerI* m) : QrcIntExpI(m) { x->addParent(this); }
  void computeRange() override {
    touch();
    _min = x->getMin();
    _max = x->getMax();
  }
  void setOperandsRange(QrcInt a, QrcInt b) override { x->setRange(a, b); }
  void whenRangeOnOperands(QrcDemonI* d) override { x->whenRange(d); }
  void whenDomainOnOperands(QrcDemonI* d) override { x->whenDomain(d); }
};

class TouchSelector : public QrcIntValueSelectorI {
 public:
  QrcInt select(QrcIntExpI* var) override {
    touch();
    return var->getMin();
  }
} selector;

QrcInt touchChoose(const QrcIntVarArray& vars) {
  touch();
  return QrcChooseFirstUnboundInt(vars);
}

class TouchRule : public QrcChoiceRuleI {
 public:
  int verdict(QrcGoalI*, QrcGoalI*, QrcAny) override {
    touch();
    return QrcFirstGoalFirst;
  }
} rule;

class TouchMonitor : public QrcSearchEventMonitorI {
 public:
  void nodeCreated(void*) override { touch(); }
} monitor;

// A reversible action whose run fails: the backtrack that runs it fails.
class FailingAction : public QrcGoalI {
 public:
  explicit FailingAction(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    touch(true);
    return nullptr;
  }
};

class AddActionGoal : public QrcGoalI {
 public:
  explicit AddActionGoal(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    if (x->getValue() == 3) _manager->addReversibleAction(new (_manager) FailingAction(_manager));
    return nullptr;
  }
};

// Told of each new variable.
class TouchNotifier : public QrcVarNotifyI {
 public:
  void notifyNewIntVar(QrcExprI*) override { touch(); }
  void notifyNewFloatVar(QrcExprI*) override {}
} notifier;

// Makes a variable as x is bound, which the notifier hears inside this frame.
class MakingCt : public QrcConstraintI {
 public:
  explicit MakingCt(QrcManagerI* m) : QrcConstraintI(m) {}
  void post() override { x->whenValue(this); }
  void propagate() override {
    Counted local;
    ++tally.entered;
    QrcIntVar(QrcManager(_manager), 0, 1);
    ++tally.returned;
  }
};

// At each leaf, a demon of the program's, made at the first one where the
// heap does not hold it, is attached to y, which the goal it answers narrows.
class ReusingGoal : public QrcGoalI {
 public:
  ReusingGoal(QrcManagerI* m, QrcDemonI** made, QrcGoalI* narrow)
      : QrcGoalI(m), _made(made), _narrow(narrow) {}
  QrcGoalI* execute() override {
    if (!*_made) *_made = new TouchDemon(_manager);
    y->whenRange(*_made);
    return _narrow;
  }

 private:
  QrcDemonI** _made;
  QrcGoalI* _narrow;
};

class TouchFilter : public QrcVarFilterI {
 public:
  explicit TouchFilter(bool atEnd) : _atEnd(atEnd) {}
  QrcInt filter(const QrcIntVarArray&, QrcInt*, QrcInt count) override {
    if (!_atEnd) touch();
    return count;
  }
  void noMoreVariables() override {
    if (_atEnd) touch();
  }

 private:
  bool _atEnd;
};

// Scores x first among the variables, the least value first among values.
class TouchVarEvaluator : public QroEvaluatorI<QrcIntVar> {
 public:
  explicit TouchVarEvaluator(QroGenAlloc* a) : QroEvaluatorI<QrcIntVar>(a) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    return new (a) TouchVarEvaluator(a);
  }
  double evaluateValue(const QrcIntVar& v, const void*, QroEvaluatorCacheOwner*) override {
    touch();
    return v.getImpl() == x ? 0.0 : 1.0;
  }
};

class TouchValueEvaluator : public QroEvaluatorI<QroInt> {
 public:
  explicit TouchValueEvaluator(QroGenAlloc* a) : QroEvaluatorI<QroInt>(a) {}
  QroClonableObjectI* makeClone(QroGenAlloc* a) const override {
    return new (a) TouchValueEvaluator(a);
  }
  double evaluateValue(const QroInt& v, const void*, QroEvaluatorCacheOwner*) override {
    touch();
    return static_cast<double>(v);
  }
};

enum Event { Before, After, Begin, Leaf, Finish };

class TouchListener : public QrcImpactListenerI {
 public:
  explicit TouchListener(Event event) : _event(event) {}
  void beforeSetValue(QrcIntExpI*, QrcInt) override { at(Before); }
  void afterSetValue(QrcIntExpI*, QrcInt) override { at(After); }
  void beginVariable(QrcIntExpI*) override { at(Begin); }
  void leafReached(QrcIntExpI*) override { at(Leaf); }
  void finishVariable(QrcIntExpI*, QrcInt) override { at(Finish); }

 private:
  void at(Event event) {
    if (event == _event) touch();
  }
  Event _event;
};

// Narrows nothing; reads the bound through the program's code.
class TouchOptFilter : public QrcOptFilterI {
 public:
  TouchOptFilter() : QrcOptFilterI(x) {}
  QrcFloat getBound() const override { return 0.0; }
  QrcBool checkValue(QrcFloat) const override { return 1; }
  void applyBound() override {}
  void computeNextBound() override { touch(); }
  void update() override { touch(); }
  void advanceBound() override {}
};

class TouchPredicate : public QrcIntBinaryPredicateI {
 public:
  QrcBool isTrue(QrcInt, QrcInt) override {
    touch();
    return 1;
  }
} predicate;

class TouchTransit : public QrcPathTransitI {
 public:
  QrcFloat transit(QrcInt, QrcInt) override {
    touch();
    return 0.0;
  }
} transit;

// The flat piece y = 0 over [-10, 10], whose tests go through the program's code.
class TouchSegment : public QrcSlopeSegmentI {
 public:
  explicit TouchSegment(QrcManagerI* m) : QrcSlopeSegmentI(m, -10, 0, 0, 10, 0, 0, 0.0) {}
  bool endsBefore(QrcFloat v) const override {
    touch();
    return QrcSlopeSegmentI::endsBefore(v);
  }
  bool startsAfter(QrcFloat v) const override {
    touch();
    return QrcSlopeSegmentI::startsAfter(v);
  }
};

QrcInt touchSetChoose(const QrcIntSetVarArray& vars) {
  touch();
  return QrcSelectFirstUnboundIntSetVar(vars);
}

class TouchSetSelector : public QrcIntSetValueSelectorI {
 public:
  QrcInt select(QrcIntSetVarI* var) override {
    touch();
    return var->getFirstUndecided();
  }
} setSelector;

QrcInt touchFloatChoose(const QrcFloatVarArray& vars) {
  touch();
  return QrcChooseFirstUnboundFloat(vars);
}

// A manager whose choice points go through the program's code.
class ChoosingManager : public QrcManagerI {
 public:
  ChoosingManager() : QrcManagerI(QrcNoEdit) {}
  void choose(QrcGoalI* first, QrcGoalI* second, QrcAny label) override {
    touch();
    QrcManagerI::choose(first, second, label);
  }
};

enum Kind {
  Library,          // no code of the program's: the table's control
  Goal,             // a goal
  Demon,            // a demon on x
  Constraint,       // a constraint on x
  Node,             // an expression over x
  Selector,         // a value selector
  Choose,           // a choice function of integer variables
  Rule,             // a choice rule
  Monitor,          // a search event monitor
  Action,           // a reversible action
  Notifier,         // a variable notifier, told inside a constraint of the program's
  Reused,           // a demon made with plain new inside the search, attached at each leaf
  Filter,           // the customizable goal's variable filter
  NoMoreVariables,  // its end of variables
  VarEvaluator,     // an evaluator of its variable criteria
  ValueEvaluator,   // an evaluator of its value criteria
  BeforeSet,        // impact listeners, at each event
  AfterSet,
  BeginVariable,
  LeafReached,
  FinishVariable,
  OptFilter,       // an objective filter
  Predicate,       // a table's predicate
  Transit,         // a path's transit
  Segment,         // a convex union's segment
  SetChoose,       // a choice function of set variables
  SetSelector,     // a value selector of set variables
  FloatChoose,     // a choice function of float variables
  OwnManager,      // a manager of the program's class
  PlainNewBefore,  // a demon made with plain new while failures jumped
  HeapBefore,      // a demon made on the heap while failures jumped
  Stacked,         // a demon on the stack
  Dropped,         // a demon noted, then dropped by a failure outside a search
  AfterReset       // a demon made with plain new, checked, then used after a reset
};

bool needsSolver(Kind kind) {
  return kind >= BeforeSet && kind <= FinishVariable;
}
// A solver keeps its manager of its own class, and resets it itself.
bool engineOnly(Kind kind) {
  return kind == OwnManager || kind == AfterReset;
}

// What a search of the kind and shape did.
struct Counts {
  int solutions, entered, returned, left, caught;
  bool operator==(const Counts& o) const {
    return solutions == o.solutions && entered == o.entered && returned == o.returned &&
           left == o.left && caught == o.caught;
  }
};

std::ostream& operator<<(std::ostream& os, const Counts& c) {
  return os << c.solutions << " solutions, " << c.entered << " entered, " << c.returned
            << " returned, " << c.left << " left, " << c.caught << " caught";
}

QrcIntVarArray arrayOf(QrcManagerI* m, std::vector<QrcIntVar> vars) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(vars.size()));
  for (size_t i = 0; i < vars.size(); ++i) a.set(static_cast<QrcInt>(i), vars[i]);
  return a;
}

// The kind's search in m, whose failures are exceptions; every failure is
// thrown in the reference run.
Counts run(QrcManagerI* m, QroGenAlloc* a, Kind kind, Shape s, bool reference) {
  QrcManager mgr(m);
  QrcDemonI* made = nullptr;
  if (kind == AfterReset) {
    // Checked by a search, then kept across a reset of the manager.
    made = new TouchDemon(m);
    mgr.solve(QrcGoal(new (m) QrcGoalTrueI(m)));
    m->reset();
  }
  QrcIntVar xv(mgr, 0, 3), yv(mgr, 0, 3), z(mgr, 0, 1), u(mgr, 0, 1);
  x = xv.getImpl();
  y = yv.getImpl();
  shape = s;
  tally = Tally();
  QrcIntVarArray vars = arrayOf(m, {xv, z, u});
  QrcGoal g = QrcGenerate(vars);
  std::optional<TouchDemon> stacked;
  TouchFilter filter(kind == NoMoreVariables);
  TouchVarEvaluator* varEvaluator = new (a) TouchVarEvaluator(a);
  TouchValueEvaluator* valueEvaluator = new (a) TouchValueEvaluator(a);
  QrcSelectionCriterion byVar(varEvaluator, 0.001, QrcSelectionCriterion::AbsoluteTolerance, "v");
  QrcSelectionCriterion byValue(valueEvaluator, 0.001, QrcSelectionCriterion::AbsoluteTolerance,
                                "w");
  QrcImpactInformation* info = nullptr;
  TouchOptFilter* optFilter = nullptr;
  QroSolverI* solver = m->getSolver();
  switch (kind) {
    case Library:
      mgr.add(xv != 1 && xv != 3);
      break;
    case Goal:
      g = QrcAnd(g, new (m) TouchGoal(m));
      break;
    case Demon:
      x->whenValue(new (m) TouchDemon(m));
      break;
    case Constraint:
      mgr.add(new (m) TouchCt(m));
      break;
    case Node:
      mgr.add(QrcIntExp(new (m) TouchNode(m)) == QrcIntVar(mgr, 0, 3));
      break;
    case Selector:
      g = new (m) QrcIntGenerateI(m, vars.getImpl(), QrcChooseFirstUnboundInt, &selector);
      break;
    case Choose:
      g = QrcGenerate(vars, touchChoose);
      break;
    case Action:
      g = QrcAnd(g, new (m) AddActionGoal(m));
      break;
    case Notifier:
      m->addVarNotify(&notifier);
      mgr.add(new (m) MakingCt(m));
      break;
    case Reused:
      g = QrcAnd(g, new (m) ReusingGoal(m, &made, QrcGoal(yv <= 2).getImpl()));
      break;
    case Filter:
    case NoMoreVariables:
    case VarEvaluator:
    case ValueEvaluator: {
      QrcCriterionList* varList = QrcCriterionList::make(m, 1);
      varList->criteria[0] = &byVar;
      QrcCriterionList* valueList = QrcCriterionList::make(m, 1);
      valueList->criteria[0] = &byValue;
      QrcCustomizableGoalI* c =
          new (m) QrcCustomizableGoalI(m, vars, kind == VarEvaluator ? varList : nullptr,
                                       kind == ValueEvaluator ? valueList : nullptr);
      if (kind == Filter || kind == NoMoreVariables) c->setVariableFilter(&filter);
      g = c;
      break;
    }
    case BeforeSet:
    case AfterSet:
      solver->setImpactMode(1);
      solver->getImpactInformation()->addListener(
          new TouchListener(kind == BeforeSet ? Before : After));
      break;
    case BeginVariable:
    case LeafReached:
    case FinishVariable:
      // The estimation runs once x is labelled.
      info = new QrcImpactInformation(solver, arrayOf(m, {z, u}));
      info->addListener(new TouchListener(kind == BeginVariable ? Begin
                                          : kind == LeafReached ? Leaf
                                                                : Finish));
      g = QrcAnd(QrcGenerate(arrayOf(m, {xv})),
                 QrcAnd(new (m) QrcInternalInitializeImpactDichotomyGoalI(m, info, 1),
                        QrcGenerate(arrayOf(m, {z, u}))));
      break;
    case Predicate:
      mgr.add(QrcTableConstraint(arrayOf(m, {xv, z}), QrcIntBinaryPredicate(&predicate)));
      break;
    case Transit: {
      QrcIntVarArray next = arrayOf(m, {QrcIntVar(mgr, 0, 0)});
      QrcFloatVarArray ys(mgr, 1);
      ys.set(0, QrcFloatVar(x));
      mgr.add(QrcPath(next, ys, &transit, 0, 0));
      break;
    }
    case Segment: {
      QrcFloatVar fy(mgr, -1, 1);
      QrcIndexVarI* index = new (m) QrcIndexVarI(m, 0, 0, nullptr);
      QrcConvexUnionConstraintI* ct =
          new (m) QrcConvexUnionConstraintI(m, 1, QrcFloatVar(x).getImpl(), fy.getImpl(), index);
      ct->addSegment(new (m) TouchSegment(m));
      ct->finish();
      mgr.add(ct);
      break;
    }
    case SetChoose:
    case SetSelector: {
      QrcIntSetVarArray sets(mgr, 1);
      sets.set(0, QrcIntSetVar(mgr, 0, 0));
      g = QrcAnd(g, new (m) QrcIntSetGenerateI(
                        m, sets.getImpl(),
                        kind == SetChoose ? touchSetChoose : QrcSelectFirstUnboundIntSetVar,
                        kind == SetSelector ? &setSelector : nullptr));
      break;
    }
    case FloatChoose: {
      QrcFloatVarArray floats(mgr, 1);
      floats.set(0, QrcFloatVar(mgr, 0, 0));
      g = QrcAnd(g, QrcGenerate(floats, touchFloatChoose, 0, 0.5));
      break;
    }
    case PlainNewBefore:
    case HeapBefore:
      m->useExceptions(false);
      made = kind == PlainNewBefore ? new TouchDemon(m) : new (m) TouchDemon(m);
      m->useExceptions(true);
      x->whenValue(made);
      if (kind == HeapBefore) made = nullptr;
      break;
    case Stacked:
      x->whenValue(&stacked.emplace(m));
      break;
    case AfterReset:
      x->whenValue(made);
      break;
    case Dropped: {
      made = new TouchDemon(m);
      try {
        mgr.fail();
      } catch (const QrcFailException&) {
      }
      x->whenValue(made);
      break;
    }
    default:
      break;
  }
  QrcSearch search(mgr, g);
  if (kind == Rule) search.getImpl()->addChoiceRule(&rule);
  if (kind == Monitor) search.setMonitor(&monitor);
  if (kind == OptFilter) search.getImpl()->setOptFilter(optFilter = new TouchOptFilter());
  if (reference) m->noteForeignCode();
  int n = 0;
  while (search.next()) ++n;
  search.end();
  if (kind == Notifier) m->removeVarNotify(&notifier);
  delete optFilter;
  delete info;
  delete made;
  delete varEvaluator;
  delete valueEvaluator;
  return Counts{n, tally.entered, tally.returned, tally.left, tally.caught};
}

// A solver's manager, or an engine manager (of the program's class for
// OwnManager) switched to exceptions, with an environment for evaluators.
struct Managers {
  QroEnv env;
  QroModel model{env};
  QroSolver solver{model};
  QrcManager engine;
  explicit Managers(Kind kind)
      : engine(kind == OwnManager ? new ChoosingManager() : new QrcManagerI(QrcNoEdit)) {
    engine.useExceptions();
  }
  ~Managers() {
    engine.end();
    solver.end();
    env.end();
  }
  Counts run(bool inSolver, Kind kind, Shape s, bool reference) {
    QrcManagerI* m = inSolver ? solver.getManagerI() : engine.getImpl();
    return usercode::run(m, env.getImpl()->getGeneralAllocator(), kind, s, reference);
  }
};

}  // namespace usercode

// Each place the library calls the program's code, in a solver's manager and
// in an engine manager switched to exceptions, with code that lets the
// failure go, that catches it and goes on, and that catches and rethrows it:
// the solutions, the locals destroyed and the catches are those of the same
// manager where every failure is thrown, and every local is destroyed.
TEST(UserCodeOnFailurePaths, LeavesItsFramesAsAnExceptionDoes) {
  using namespace usercode;
  // The solutions when the code lets the failure go, and when it goes on.
  struct Row {
    Kind kind;
    int solutions, goingOn;
  } rows[] = {
      {Library, 8, 8},         {Goal, 8, 16},
      {Demon, 8, 16},          {Constraint, 8, 16},
      {Node, 8, 16},           {Selector, 8, 16},
      {Choose, 8, 16},         {Rule, 8, 16},
      {Monitor, 8, 16},        {Action, 16, 16},
      {Notifier, 8, 16},       {Reused, 8, 16},
      {Filter, 8, 16},         {NoMoreVariables, 8, 16},
      {VarEvaluator, 8, 16},   {ValueEvaluator, 8, 16},
      {BeforeSet, 10, 16},     {AfterSet, 9, 16},
      {BeginVariable, 8, 16},  {LeafReached, 16, 16},
      {FinishVariable, 8, 16}, {OptFilter, 8, 16},
      {Predicate, 10, 16},     {Transit, 8, 16},
      {Segment, 8, 16},        {SetChoose, 16, 32},
      {SetSelector, 16, 32},   {FloatChoose, 8, 16},
      {OwnManager, 8, 16},     {PlainNewBefore, 8, 16},
      {HeapBefore, 8, 16},     {Stacked, 8, 16},
      {Dropped, 8, 16},        {AfterReset, 8, 16},
  };
  for (bool inSolver : {false, true}) {
    for (const Row& row : rows) {
      if ((needsSolver(row.kind) && !inSolver) || (engineOnly(row.kind) && inSolver)) continue;
      for (Shape s : {NoCatch, CatchAndGoOn, CatchAndRethrow}) {
        SCOPED_TRACE(testing::Message() << "kind " << row.kind << " shape " << s
                                        << (inSolver ? " solver" : " engine"));
        Counts thrown = Managers(row.kind).run(inSolver, row.kind, s, true);
        Counts counts = Managers(row.kind).run(inSolver, row.kind, s, false);
        EXPECT_EQ(counts, thrown);
        EXPECT_EQ(counts.left, counts.entered);
        EXPECT_EQ(counts.solutions, s == CatchAndGoOn ? row.goingOn : row.solutions);
        EXPECT_EQ(counts.entered > 0, row.kind != Library);
      }
    }
  }
}

// A demon of the program's deleted after its manager ended, while another
// manager's failures are exceptions, leaves the ended one alone.
TEST(UserCodeOnFailurePaths, AnObjectOutlivingItsManagerIsLeftAlone) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  for (bool exceptions : {true, false}) {
    QrcManager mgr(QrcNoEdit);
    if (exceptions) mgr.useExceptions();
    QrcDemonI* demon = new usercode::TouchDemon(mgr.getImpl());
    mgr.end();
    delete demon;
  }
  solver.end();
  env.end();
}

// The objects noted as they are made are not made by copying.
TEST(UserCodeOnFailurePaths, NotedObjectsAreNotCopied) {
  EXPECT_FALSE(std::is_copy_constructible<QrcDemonI>::value);
  EXPECT_FALSE(std::is_copy_constructible<QrcGoalI>::value);
  EXPECT_FALSE(std::is_copy_constructible<QrcIntExpI>::value);
  EXPECT_FALSE(std::is_copy_constructible<QrcEventHandlerI>::value);
  EXPECT_FALSE(std::is_copy_constructible<QrcAccessorI>::value);
}

// No public header leaves defined a macro that declares the class it makes
// the library's: a program using it would declare its own.
TEST(UserCodeOnFailurePaths, PublicHeadersLeaveNoDeclaringMacroDefined) {
  std::vector<const char*> defined;
#ifdef QRC_INT_VALUE_GOAL
  defined.push_back("QRC_INT_VALUE_GOAL");
#endif
#ifdef QRC_DIRECT_VALUE_GOAL
  defined.push_back("QRC_DIRECT_VALUE_GOAL");
#endif
#ifdef QRC_DEDUCTION_VARS_GOAL
  defined.push_back("QRC_DEDUCTION_VARS_GOAL");
#endif
#ifdef QRC_BUBBLE_GOAL
  defined.push_back("QRC_BUBBLE_GOAL");
#endif
#ifdef QRC_PAIR_DEMON
  defined.push_back("QRC_PAIR_DEMON");
#endif
#ifdef QRCTRIGNODE
  defined.push_back("QRCTRIGNODE");
#endif
  EXPECT_EQ(defined, std::vector<const char*>());
}
