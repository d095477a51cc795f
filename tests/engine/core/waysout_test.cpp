// Every way out of the engine (a failure caught at the root, an exception from
// a constraint's post or propagate, from a goal, a monitor or a reporter,
// inside a search, a solve or a nested solve), in both failure modes, followed
// by every kind of call that must still behave: impossible adds, narrowings,
// solves and searches fail, and a possible search finds exactly the
// brute-force solutions.
#include <gtest/gtest.h>

#include <csetjmp>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qrcfail.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcintsetvar.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "qroplatform.h"
#include "support/call_goal.h"

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

struct UserError {};

struct Engine {
  explicit Engine(bool exceptions) : m(mgr.getImpl()) {
    m->setErrorReporter(&reporter);
    m->useExceptions(exceptions);
  }
  ~Engine() { mgr.end(); }
  ThrowingReporter reporter;
  QrcManager mgr{QrcNoEdit};
  QrcManagerI* m;
};

// How a call left: normally, by a failure (QrcFailException, or code 18
// through the reporter in jump mode), by another report, or by a user's
// exception.
enum Exit { Normal, Failed, Reported, User };

template <class F>
Exit exitOf(F f) {
  testing::internal::CaptureStderr();
  Exit e = Normal;
  try {
    f();
  } catch (const QrcFailException&) {
    e = Failed;
  } catch (int code) {
    e = code == QrcFailNotInSolveError ? Failed : Reported;
  } catch (const UserError&) {
    e = User;
  } catch (...) {
    testing::internal::GetCapturedStderr();
    throw;
  }
  testing::internal::GetCapturedStderr();
  return e;
}

// Nothing of a propagation or a search is left open.
void expectClean(QrcManagerI* m) {
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_EQ(m->getNextDepth(), 0);
  EXPECT_EQ(m->getCurrentDemon(), nullptr);
  EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
  EXPECT_FALSE(m->isInNestedSolve());
  EXPECT_EQ(m->getFailTrap(), nullptr);
  EXPECT_EQ(m->getOrRecordCount(), 0);
  // Nothing takes back a change at the root that held: it keeps no word.
  EXPECT_EQ(m->getTrail()->getTop(), 0);
  EXPECT_EQ(m->getPersistentTrail()->getTop(), 0);
  EXPECT_EQ(qroplatform::getRounding(), 1);
}

void expectRange(const QrcIntVar& x, QrcInt min, QrcInt max) {
  EXPECT_EQ(x.getMin(), min);
  EXPECT_EQ(x.getMax(), max);
}

// Throws while armed (once by default): a user's exception or an error report.
struct Trigger {
  int armed = 1;
  bool report = false;
  void fire(QrcManagerI* m) {
    if (armed <= 0) return;
    --armed;
    if (report) m->getErrorReporter()->report(QrcBadIndexError, "extract", "bad index", QrcInt(7));
    throw UserError();
  }
};

// Narrows its variable to at least 1, then fires its trigger in post or in
// propagate.
class ThrowingCt : public QrcConstraintI {
 public:
  ThrowingCt(QrcManagerI* m, QrcIntExpI* x, Trigger* t, bool inPost)
      : QrcConstraintI(m), _x(x), _t(t), _inPost(inPost) {}
  void post() override {
    _x->whenRange(this);
    if (_inPost) {
      _x->setMin(1);
      _t->fire(_manager);
    }
  }
  void propagate() override {
    _x->setMin(1);
    if (!_inPost) _t->fire(_manager);
  }

 private:
  QrcIntExpI* _x;
  Trigger* _t;
  bool _inPost;
};

class ThrowingGoal : public QrcGoalI {
 public:
  ThrowingGoal(QrcManagerI* m, Trigger* t) : QrcGoalI(m), _t(t) {}
  QrcGoalI* execute() override {
    _t->fire(_manager);
    return nullptr;
  }

 private:
  Trigger* _t;
};

// Solves a goal from inside a goal of the running search.
class NestedSolveGoal : public QrcGoalI {
 public:
  NestedSolveGoal(QrcManagerI* m, QrcGoalI* inner) : QrcGoalI(m), _inner(inner) {}
  QrcGoalI* execute() override {
    _manager->solve(_inner, false);
    return nullptr;
  }

 private:
  QrcGoalI* _inner;
};

// Solves a goal inside its own propagation.
class NestedSolveCt : public QrcConstraintI {
 public:
  NestedSolveCt(QrcManagerI* m, QrcIntExpI* x, QrcGoalI* inner)
      : QrcConstraintI(m), _x(x), _inner(inner) {}
  void post() override { _x->whenRange(this); }
  void propagate() override { _manager->solveInPropagation(this, _inner, true); }

 private:
  QrcIntExpI* _x;
  QrcGoalI* _inner;
};

// Fires its trigger at one kind of search event; cancelling, at every event
// from that one on, as a monitor that stops a search from outside does.
class ThrowingSearchMonitor : public QrcSearchEventMonitorI {
 public:
  enum Event { RootNode, ChildNode, Solution, Restart, Other };
  ThrowingSearchMonitor(QrcManagerI* m, Trigger* t, Event at, bool cancelling = false)
      : _m(m), _t(t), _at(at), _cancelling(cancelling) {}
  void nodeCreated(void*) override { hear(_created++ == 0 ? RootNode : ChildNode); }
  void secondEvent() override { hear(Other); }
  void solutionFound(void*) override { hear(Solution); }
  void fourthEvent(void*, QrcInt) override { hear(Other); }
  void nodeExpanded(void*, QrcInt) override { hear(Other); }
  void beforeRestoring(void*) override { hear(Other); }
  void afterRestoring(void*) override { hear(Other); }
  void nodeRestored(void*) override { hear(Other); }
  void restarted() override { hear(Restart); }
  void ended() override { hear(Other); }
  void backtrack(QrcAny) override { hear(Other); }

 private:
  void hear(Event e) {
    if (e != _at && !_cancelled) return;
    _cancelled = _cancelling;
    _t->fire(_m);
  }
  QrcManagerI* _m;
  Trigger* _t;
  Event _at;
  bool _cancelling;
  bool _cancelled = false;
  int _created = 0;
};

class ThrowingMonitor : public QrcSearchMonitorI {
 public:
  ThrowingMonitor(QrcManagerI* m, Trigger* t) : QrcSearchMonitorI(ConstraintEvents), _m(m), _t(t) {}
  void onConstraintPropagateBegin(QrcConstraintI*) override { _t->fire(_m); }

 private:
  QrcManagerI* _m;
  Trigger* _t;
};

// ---------------------------------------------------------------- ways out

// Three variables over 0..9, x >= 3 posted, and a goal that binds them below
// two choice points.
struct Scene {
  explicit Scene(Engine& e) : e(e), vars(e.mgr, 3, 0, 9), y(e.mgr, 1) {
    y.set(0, vars[1]);
    e.mgr.add(vars[0] >= 3);
  }
  QrcGoal search(const QrcGoal& inside) const {
    return QrcAnd(QrcOr(QrcGoal(vars[1] <= 4), QrcGoal(vars[1] >= 5)), inside);
  }
  Engine& e;
  QrcIntVarArray vars;
  QrcIntVarArray y;
  Trigger trigger;
};

// Root ways out leave the domains as they were before the call.
void rootAddFails(Scene& s) {
  QrcConstraint low = s.vars[0] <= 1;
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(low); }), Failed);
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(low); }), Failed);
  expectRange(s.vars[0], 3, 9);
}

void rootAddKnownFalse(Scene& s) {
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(s.vars[1] >= 20); }), Failed);
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(s.vars[2] >= 20); }), Failed);
  expectRange(s.vars[1], 0, 9);
}

// x, y, z pairwise different over 0..1 after narrowings: binding x succeeds
// on x and fails in the propagation that follows.
void rootNarrowingFails(Scene& s) {
  QrcIntVarArray v(s.e.mgr, 3, 0, 2);
  s.e.mgr.add(v[0] != v[1]);
  s.e.mgr.add(v[1] != v[2]);
  s.e.mgr.add(v[0] != v[2]);
  for (int i = 0; i < 3; ++i) v[i].setMax(1);
  EXPECT_EQ(exitOf([&] { v[0].setValue(0); }), Failed);
  EXPECT_EQ(exitOf([&] { v[0].setValue(0); }), Failed);
  for (int i = 0; i < 3; ++i) expectRange(v[i], 0, 1);
  // f + g == 10 and f == g over [0, 10] prune nothing; f >= 6 holds on f and
  // fails in the propagation.
  QrcFloatVar f(s.e.mgr, 0.0, 10.0), g(s.e.mgr, 0.0, 10.0);
  s.e.mgr.add(f + g == 10.0);
  s.e.mgr.add(f - g == 0.0);
  EXPECT_EQ(exitOf([&] { f.setRange(6.0, 10.0); }), Failed);
  EXPECT_EQ(f.getMin(), 0.0);
  EXPECT_EQ(g.getMax(), 10.0);
}

// v, p and q pairwise different over 0..1: binding v holds on v and fails
// in the propagation that follows. Answers p and q.
QrcIntVarArray corner(Engine& e, const QrcIntExp& v) {
  QrcIntVarArray pq(e.mgr, 2, 0, 1);
  e.mgr.add(v != pq[0]);
  e.mgr.add(v != pq[1]);
  e.mgr.add(pq[0] != pq[1]);
  return pq;
}

// Fails once x, or f, loses v.
class NeedsValueCt : public QrcConstraintI {
 public:
  NeedsValueCt(QrcManagerI* m, QrcIntExpI* x, QrcFloatExpI* f, QrcInt v)
      : QrcConstraintI(m), _x(x), _f(f), _v(v) {}
  void post() override {
    if (_x)
      _x->whenDomain(this);
    else
      _f->whenDomain(this);
  }
  void propagate() override {
    if (_x ? !_x->isInDomain(_v) : !_f->isInDomain(static_cast<QrcFloat>(_v))) fail();
  }

 private:
  QrcIntExpI* _x;
  QrcFloatExpI* _f;
  QrcInt _v;
};

// Narrowings of every kind of variable, through the handles and through the
// implementation classes, each failing in the propagation it starts: a set
// over {1} whose cardinality c is cornered, x cornered with the truth t of
// x <= 0, w over 0..9 that needs 2 (restricted to {1, 3}, its bounds move
// before 2 goes), f + g == 10 with f == g over [0, 10], and h over {5, 6, 7}
// that needs 6.
void rootNarrowingsOfEveryKindFail(Scene& s) {
  QrcManager& mgr = s.e.mgr;
  QrcIntSetVarI* set = QrcIntSetVar(mgr, 1, 1).getImpl();
  QrcIntVar c(set->getCardinality()), x(mgr, 0, 1);
  QrcIntExp t = x <= 0;
  QrcIntVarArray pq = corner(s.e, c), rs = corner(s.e, x);
  QrcFloatVar f(mgr, 0.0, 10.0), g(mgr, 0.0, 10.0);
  mgr.add(f + g == 10.0);
  mgr.add(f - g == 0.0);
  QrcFloatArray values(mgr, 3, 5.0);
  values[1] = 6.0;
  values[2] = 7.0;
  QrcFloatVar h(mgr, values);
  mgr.add(new (s.e.m) NeedsValueCt(s.e.m, nullptr, h.getImpl(), 6));
  QrcIntVar w(mgr, 0, 9);
  mgr.add(new (s.e.m) NeedsValueCt(s.e.m, w.getImpl(), nullptr, 2));
  const QrcInt oneThree[] = {1, 3};
  QrcIntArray odd(mgr, 2, oneThree);
  auto state = [&] {
    std::ostringstream os;
    os << set << pq << " " << x << rs << " " << t << " " << w;
    for (const QrcFloatVar& v : {f, g, h}) os << " [" << v.getMin() << ", " << v.getMax() << "]";
    os << " " << h.getImpl()->isInDomain(6.0);
    return os.str();
  };
  const std::string before = state();
  const std::pair<const char*, std::function<void()>> narrowings[] = {
      {"set required", [&] { set->addRequired(1); }},
      {"set required values", [&] { set->addRequired(QrcIntSet(mgr, 1, 1, 1)); }},
      {"set possible", [&] { set->removePossible(1); }},
      {"set possible range", [&] { set->removePossibleRange(0, 2); }},
      {"set possible values", [&] { set->restrictPossible(QrcIntSet(mgr, 2, 2, 1)); }},
      {"set cardinality", [&] { c.setValue(1); }},
      {"set cardinality (implementation)", [&] { set->getCardinality()->setMin(1); }},
      {"integer (implementation)", [&] { x.getImpl()->setMax(0); }},
      {"integer value (implementation)", [&] { x.getImpl()->removeValue(1); }},
      {"integer domain (implementation)",
       [&] { x.getImpl()->removeDomain(QrcIntSet(mgr, 0, 0, 1).getImpl()); }},
      {"integer domain set", [&] { w.setDomain(QrcIntSet(mgr, odd, 1)); }},
      {"integer domain values", [&] { w.setDomain(odd); }},
      {"truth", [&] { t.setValue(1); }},
      {"truth (implementation)", [&] { t.getImpl()->setMax(0); }},
      {"float", [&] { f.setValue(7.0); }},
      {"float (implementation)", [&] { f.getImpl()->setRange(6.0, 10.0); }},
      {"float value (implementation)", [&] { f.getImpl()->setValue(4.0); }},
      {"float value removed", [&] { h.removeValue(6.0); }},
  };
  for (const auto& n : narrowings) {
    EXPECT_EQ(exitOf(n.second), Failed) << n.first;
    EXPECT_EQ(exitOf(n.second), Failed) << n.first;
    EXPECT_EQ(state(), before) << n.first;
  }
}

// A trap whose body calls a function of the test.
class CallTrap : public QrcTryCatchFailI {
 public:
  CallTrap(QrcManagerI* m, const std::function<void()>* body)
      : QrcTryCatchFailI(m, nullptr), _body(body) {}
  void body() override { (*_body)(); }
  void onFail(QrcManagerI*) override {}

 private:
  const std::function<void()>* _body;
};

// Whether a trap set with setFailTrap, or in exception mode the exception,
// took a failure of change.
bool userTrapTakes(QrcManagerI* m, const std::function<void()>& change) {
  jmp_buf buffer;
  volatile bool taken = true;
  m->setFailTrap(&buffer);
  if (setjmp(buffer) == 0) {
    try {
      change();
      taken = false;
    } catch (const QrcFailException&) {
    }
  }
  m->setFailTrap(nullptr);
  return taken;
}

// Traps of every kind set at the root, around an add and narrowings that
// fail in their propagation (f + g == 10 and f == g over [0, 10] for the
// float one): each change is taken back whole, rounding to nearest, before
// its trap gets the failure, and the next change is a change at the root.
void rootTrapsTakeFailures(Scene& s) {
  QrcIntVarArray pq = corner(s.e, s.vars[1]);
  QrcFloatVar f(s.e.mgr, 0.0, 10.0), g(s.e.mgr, 0.0, 10.0);
  s.e.mgr.add(f + g == 10.0);
  s.e.mgr.add(f - g == 0.0);
  auto state = [&] {
    std::ostringstream os;
    os << s.vars << pq << " [" << f.getMin() << ", " << f.getMax() << "]";
    return os.str();
  };
  const std::string before = state();
  QrcConstraint low = s.vars[0] <= 1;
  const std::function<void()> changes[] = {
      [&] { s.vars[1].setValue(0); }, [&] { s.e.mgr.add(low); }, [&] { f.setRange(6.0, 10.0); }};
  for (const std::function<void()>& change : changes) {
    for (bool userTrap : {false, true}) {
      if (userTrap)
        EXPECT_TRUE(userTrapTakes(s.e.m, change));
      else
        EXPECT_FALSE((new (s.e.m) CallTrap(s.e.m, &change))->run());
      EXPECT_EQ(state(), before);
      EXPECT_TRUE(s.e.m->isAtRoot());
      EXPECT_EQ(qroplatform::getRounding(), 1);
    }
  }
}

class CountGoal : public QrcGoalI {
 public:
  CountGoal(QrcManagerI* m, int* runs) : QrcGoalI(m), _runs(runs) {}
  QrcGoalI* execute() override {
    ++*_runs;
    return nullptr;
  }

 private:
  int* _runs;
};

// Registers a reversible action that counts its runs.
class CountOnBacktrackGoal : public QrcGoalI {
 public:
  CountOnBacktrackGoal(QrcManagerI* m, int* runs) : QrcGoalI(m), _runs(runs) {}
  QrcGoalI* execute() override {
    _manager->addReversibleAction(new (_manager) CountGoal(_manager, _runs));
    return nullptr;
  }

 private:
  int* _runs;
};

// Narrows x, solves in its propagation a goal that registers a reversible
// action (the solution undone, then kept), narrows y and fails; reversible
// actions registered in post and propagate count their runs too.
class NestedThenFailCt : public QrcConstraintI {
 public:
  NestedThenFailCt(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, int* runs)
      : QrcConstraintI(m), _x(x), _y(y), _runs(runs) {}
  void post() override { _manager->addReversibleAction(new (_manager) CountGoal(_manager, _runs)); }
  void propagate() override {
    _x->setMin(1);
    for (int k = 1; k <= 2; ++k) {
      QrcGoalI* inner = new (_manager) CountOnBacktrackGoal(_manager, _runs + k);
      _manager->solveInPropagation(this, inner, k == 1);
    }
    _manager->addReversibleAction(new (_manager) CountGoal(_manager, _runs + 3));
    _y->setMin(1);
    fail();
  }

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  int* _runs;
};

// Registers a reversible action in its post, narrows x and registers
// another in its propagate, then fails when asked.
class ActionsCt : public QrcConstraintI {
 public:
  ActionsCt(QrcManagerI* m, QrcIntExpI* x, QrcGoalI* first, QrcGoalI* second, bool failing)
      : QrcConstraintI(m), _x(x), _first(first), _second(second), _failing(failing) {}
  void post() override {
    _x->whenRange(this);
    _manager->addReversibleAction(_first);
  }
  void propagate() override {
    _x->setMin(1);
    _manager->addReversibleAction(_second);
    if (_failing) fail();
  }

 private:
  QrcIntExpI* _x;
  QrcGoalI* _first;
  QrcGoalI* _second;
  bool _failing;
};

// A failed root add whose later reversible action throws while the add is
// taken back: the earlier one runs too, the domains are back and the mark
// closed before the exception reaches the caller. A root add that holds
// keeps nothing on the Or stack, and its actions never run.
void rootAddActionThrows(Scene& s) {
  int runs = 0;
  std::function<void()> count = [&runs] { ++runs; }, fire = [&s] { s.trigger.fire(s.e.m); };
  QrcGoalI* counting = new (s.e.m) qrotest::CallGoal(s.e.m, &count);
  QrcGoalI* firing = new (s.e.m) qrotest::CallGoal(s.e.m, &fire);
  QrcIntExpI* y = s.vars[1].getImpl();
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(new (s.e.m) ActionsCt(s.e.m, y, counting, firing, true)); }),
            User);
  EXPECT_EQ(runs, 1);
  expectRange(s.vars[1], 0, 9);
  EXPECT_TRUE(s.e.m->isAtRoot());
  rootNarrowingFails(s);
  s.e.mgr.add(new (s.e.m) ActionsCt(s.e.m, y, counting, counting, false));
  EXPECT_EQ(s.e.m->getOrRecordCount(), 0);
  expectRange(s.vars[1], 1, 9);
  rootNarrowingFails(s);
  EXPECT_EQ(runs, 1);
}

// A root add whose propagation runs nested searches (as the placement trials
// and shaving do) and then fails: the searches keep the add's mark, and each
// reversible action registered on the way runs once.
void rootAddWithNestedSearchesFails(Scene& s) {
  int runs[4] = {0, 0, 0, 0};
  QrcConstraintI* ct =
      new (s.e.m) NestedThenFailCt(s.e.m, s.vars[1].getImpl(), s.vars[2].getImpl(), runs);
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(ct); }), Failed);
  expectRange(s.vars[1], 0, 9);
  expectRange(s.vars[2], 0, 9);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(runs[k], 1) << "action " << k;
}

void rootAddThrows(Scene& s, bool inPost, bool report) {
  s.trigger.report = report;
  QrcConstraintI* ct = new (s.e.m) ThrowingCt(s.e.m, s.vars[1].getImpl(), &s.trigger, inPost);
  EXPECT_EQ(exitOf([&] { s.e.mgr.add(ct); }), report ? Reported : User);
  expectRange(s.vars[1], 0, 9);
  // Disarmed, the same constraint posts and propagates.
  s.e.mgr.add(ct);
  expectRange(s.vars[1], 1, 9);
}

// The escape took the search back to its start, where it answers 0; the
// caller ends it, or restarts it and runs it out: the restarted search finds
// the 10 values of y, none of them twice. Its nodes went back to the pool.
void endOrRerun(Scene& s, QrcSearch& search, bool rerun) {
  EXPECT_EQ(s.e.m->getSizeAllocator()->getBytesInUse(), 0);
  expectRange(s.vars[1], 0, 9);
  expectRange(s.vars[2], 0, 9);
  // Stopped before it ran out: neither at a solution nor exhausted.
  EXPECT_EQ(s.e.m->getStatus(), QrcSearchLimited);
  if (!rerun) {
    EXPECT_FALSE(search.next());
    EXPECT_EQ(s.e.m->getStatus(), QrcSearchLimited);
  } else {
    search.restart();
    int found = 0;
    while (search.next()) ++found;
    EXPECT_EQ(found, 10);
    EXPECT_EQ(s.e.m->getStatus(), QrcSearchExhausted);
  }
  search.end();
  expectRange(s.vars[0], 3, 9);
  expectRange(s.vars[1], 0, 9);
}

QrcGoal generateY(Scene& s) {
  return QrcGenerate(s.y);
}

// A goal that registers a reversible action calling action.
QrcGoal registering(QrcManagerI* m, const std::function<void()>* action,
                    std::function<void()>* add) {
  *add = [m, action] { m->addReversibleAction(new (m) qrotest::CallGoal(m, action)); };
  return QrcGoal(new (m) qrotest::CallGoal(m, add));
}

// A reversible action registered on the path the escape abandons runs once.
void searchGoalThrows(Scene& s, bool rerun) {
  int runs = 0;
  std::function<void()> count = [&runs] { ++runs; }, add;
  QrcGoal throwing(new (s.e.m) ThrowingGoal(s.e.m, &s.trigger));
  QrcGoal inside = QrcAnd(registering(s.e.m, &count, &add), QrcAnd(throwing, generateY(s)));
  QrcSearch search(s.e.mgr, s.search(inside));
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  EXPECT_EQ(runs, 1);
  endOrRerun(s, search, rerun);
  // A rerun registers it again in each of the two branches over y.
  EXPECT_EQ(runs, rerun ? 3 : 1);
}

void searchMonitorHears(Scene& s, ThrowingSearchMonitor::Event at, bool rerun) {
  ThrowingSearchMonitor monitor(s.e.m, &s.trigger, at);
  QrcSearch search(s.e.mgr, s.search(generateY(s)));
  search.setMonitor(&monitor);
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  endOrRerun(s, search, rerun);
}

// A monitor that throws at a child node, then at every event while the
// search is taken back (the nodes destroyed, a nested search ended): the
// caller gets the first exception, and the search is taken back whole.
void searchMonitorCancels(Scene& s, bool nested, bool rerun) {
  s.trigger.armed = 1000;
  ThrowingSearchMonitor monitor(s.e.m, &s.trigger, ThrowingSearchMonitor::ChildNode, true);
  std::function<void()> watch = [&] {
    QrcSearchI* current = s.e.m->getCurrentSearch();
    if (current->getMonitor() != &monitor) current->setMonitor(&monitor);
  };
  QrcGoal watched = QrcAnd(new (s.e.m) qrotest::CallGoal(s.e.m, &watch), generateY(s));
  QrcGoal inside =
      nested ? QrcGoal(new (s.e.m) NestedSolveGoal(s.e.m, watched.getImpl())) : watched;
  QrcSearch search(s.e.mgr, s.search(QrcAnd(inside, generateY(s))));
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  EXPECT_GT(s.trigger.armed, 0);
  EXPECT_LT(s.trigger.armed, 998);
  s.trigger.armed = 0;
  EXPECT_EQ(s.e.m->getSearchDepth(), 1);
  endOrRerun(s, search, rerun);
}

// A goal whose nested search's next throws, and which fails before it ends
// that search: no search loop takes the failure (reported in jump mode), and
// the caller's search is taken back.
void failAfterNestedThrows(Scene& s) {
  std::function<void()> body = [&] {
    QrcSearch inner(s.e.mgr, QrcGoal(new (s.e.m) ThrowingGoal(s.e.m, &s.trigger)));
    EXPECT_THROW(inner.next(), UserError);
    s.e.m->fail();
  };
  QrcSearch search(s.e.mgr,
                   s.search(QrcAnd(new (s.e.m) qrotest::CallGoal(s.e.m, &body), generateY(s))));
  EXPECT_EQ(exitOf([&] { search.next(); }), Failed);
  endOrRerun(s, search, false);
}

// A goal that leaves two nested searches open, one inside the other, each at
// a solution below a reversible action that reports when taken back, and
// then throws: both are taken back and ended, whatever their actions throw,
// and the caller gets the goal's exception.
void goalLeavesNestedSearchesOpen(Scene& s, bool rerun) {
  Trigger reporting;
  reporting.armed = 2;
  reporting.report = true;
  std::function<void()> report = [&] { reporting.fire(s.e.m); }, add;
  QrcGoal action = registering(s.e.m, &report, &add);
  std::function<void()> inner = [&] { QrcSearch(s.e.mgr, action).next(); };
  QrcGoal outer = QrcAnd(action, new (s.e.m) qrotest::CallGoal(s.e.m, &inner));
  std::function<void()> leave = [&] {
    if (s.trigger.armed > 0) QrcSearch(s.e.mgr, outer).next();
    s.trigger.fire(s.e.m);
  };
  QrcSearch search(s.e.mgr,
                   s.search(QrcAnd(new (s.e.m) qrotest::CallGoal(s.e.m, &leave), generateY(s))));
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  EXPECT_EQ(reporting.armed, 0);
  endOrRerun(s, search, rerun);
}

// A restart that a reversible action or a monitor leaves by an exception.
void restartThrows(Scene& s, bool monitored, bool rerun) {
  ThrowingSearchMonitor monitor(s.e.m, &s.trigger, ThrowingSearchMonitor::Restart);
  std::function<void()> fire = [&s] { s.trigger.fire(s.e.m); }, add;
  QrcGoal action = registering(s.e.m, &fire, &add);
  QrcSearch search(s.e.mgr, s.search(monitored ? generateY(s) : QrcAnd(action, generateY(s))));
  if (monitored) search.setMonitor(&monitor);
  EXPECT_TRUE(search.next());
  EXPECT_EQ(exitOf([&] { search.restart(); }), User);
  endOrRerun(s, search, rerun);
}

void searchConstraintThrows(Scene& s, bool inPost, bool report, bool rerun) {
  s.trigger.report = report;
  QrcConstraintI* ct = new (s.e.m) ThrowingCt(s.e.m, s.vars[2].getImpl(), &s.trigger, inPost);
  QrcSearch search(s.e.mgr, s.search(QrcAnd(QrcGoal(ct), generateY(s))));
  EXPECT_EQ(exitOf([&] { search.next(); }), report ? Reported : User);
  endOrRerun(s, search, rerun);
}

void searchMonitorThrows(Scene& s, bool rerun) {
  ThrowingMonitor monitor(s.e.m, &s.trigger);
  s.e.m->setMonitor(&monitor);
  s.e.m->setTrace(true);
  QrcSearch search(s.e.mgr, s.search(generateY(s)));
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  s.e.m->setTrace(false);
  s.e.m->setMonitor(nullptr);
  endOrRerun(s, search, rerun);
}

void solveGoalThrows(Scene& s) {
  QrcGoal goal = s.search(QrcAnd(new (s.e.m) ThrowingGoal(s.e.m, &s.trigger), generateY(s)));
  EXPECT_EQ(exitOf([&] { s.e.mgr.solve(goal); }), User);
  expectRange(s.vars[1], 0, 9);
  EXPECT_EQ(s.e.mgr.solve(goal, true), 1);
}

void nestedSolveThrows(Scene& s, bool rerun) {
  QrcGoalI* inner = new (s.e.m) ThrowingGoal(s.e.m, &s.trigger);
  QrcSearch search(s.e.mgr,
                   s.search(QrcAnd(new (s.e.m) NestedSolveGoal(s.e.m, inner), generateY(s))));
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  endOrRerun(s, search, rerun);
}

void solveInPropagationThrows(Scene& s, bool rerun) {
  QrcGoalI* inner = new (s.e.m) ThrowingGoal(s.e.m, &s.trigger);
  QrcConstraintI* ct = new (s.e.m) NestedSolveCt(s.e.m, s.vars[2].getImpl(), inner);
  QrcSearch search(s.e.mgr, s.search(QrcAnd(QrcGoal(ct), generateY(s))));
  EXPECT_EQ(exitOf([&] { search.next(); }), User);
  endOrRerun(s, search, rerun);
}

class FailGoal : public QrcGoalI {
 public:
  explicit FailGoal(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override { _manager->fail(); }
};

// Registers a reversible action that fails when backtracking pops it.
class FailingActionGoal : public QrcGoalI {
 public:
  explicit FailingActionGoal(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    _manager->addReversibleAction(new (_manager) FailGoal(_manager));
    return nullptr;
  }
};

// At a solution of a search, a solve whose restore pops a reversible action
// that fails: outside the solve's loop, the failure has no branch to fail.
void solveRestoreFails(Scene& s) {
  QrcSearch search(s.e.mgr, s.search(generateY(s)));
  EXPECT_TRUE(search.next());
  QrcGoal action(new (s.e.m) FailingActionGoal(s.e.m));
  EXPECT_EQ(exitOf([&] { s.e.mgr.solve(action, true); }), Failed);
  EXPECT_EQ(s.e.m->getSearchDepth(), 1);
  search.end();
}

struct WayOut {
  const char* name;
  void (*run)(Scene& s);
};

const WayOut waysOut[] = {
    {"a root add that fails", rootAddFails},
    {"a root add known false", rootAddKnownFalse},
    {"a root narrowing that fails in propagation", rootNarrowingFails},
    {"root narrowings of every kind that fail in propagation", rootNarrowingsOfEveryKindFail},
    {"a root add whose nested searches end before it fails", rootAddWithNestedSearchesFails},
    {"traps at the root that take failing changes", rootTrapsTakeFailures},
    {"a reversible action that throws while a failed root add is taken back", rootAddActionThrows},
    {"a root add whose post throws", [](Scene& s) { rootAddThrows(s, true, false); }},
    {"a root add whose propagate reports", [](Scene& s) { rootAddThrows(s, false, true); }},
    {"a search goal that throws, then end", [](Scene& s) { searchGoalThrows(s, false); }},
    {"a search goal that throws, then restart", [](Scene& s) { searchGoalThrows(s, true); }},
    {"a post that throws in a search, then end",
     [](Scene& s) { searchConstraintThrows(s, true, false, false); }},
    {"a post that reports in a search, then restart",
     [](Scene& s) { searchConstraintThrows(s, true, true, true); }},
    {"a propagate that throws in a search, then restart",
     [](Scene& s) { searchConstraintThrows(s, false, false, true); }},
    {"a propagate that reports in a search, then end",
     [](Scene& s) { searchConstraintThrows(s, false, true, false); }},
    {"a search monitor that throws at the root node, then end",
     [](Scene& s) { searchMonitorHears(s, ThrowingSearchMonitor::RootNode, false); }},
    {"a search monitor that throws at a child node, then restart",
     [](Scene& s) { searchMonitorHears(s, ThrowingSearchMonitor::ChildNode, true); }},
    {"a search monitor that throws at a solution, then end",
     [](Scene& s) { searchMonitorHears(s, ThrowingSearchMonitor::Solution, false); }},
    {"a search monitor that throws at a solution, then restart",
     [](Scene& s) { searchMonitorHears(s, ThrowingSearchMonitor::Solution, true); }},
    {"a search monitor that throws at every event from a child node on, then end",
     [](Scene& s) { searchMonitorCancels(s, false, false); }},
    {"a search monitor that throws at every event from a child node on, then restart",
     [](Scene& s) { searchMonitorCancels(s, false, true); }},
    {"a nested search's monitor that throws at every event from a child node on, then end",
     [](Scene& s) { searchMonitorCancels(s, true, false); }},
    {"a failure after a nested search's exception, before it ends", failAfterNestedThrows},
    {"a goal that throws with nested searches open, then end",
     [](Scene& s) { goalLeavesNestedSearchesOpen(s, false); }},
    {"a goal that throws with nested searches open, then restart",
     [](Scene& s) { goalLeavesNestedSearchesOpen(s, true); }},
    {"a search monitor that throws at a restart, then end",
     [](Scene& s) { restartThrows(s, true, false); }},
    {"a reversible action that throws in a restart, then end",
     [](Scene& s) { restartThrows(s, false, false); }},
    {"a reversible action that throws in a restart, then restart",
     [](Scene& s) { restartThrows(s, false, true); }},
    {"a trace monitor that throws, then end", [](Scene& s) { searchMonitorThrows(s, false); }},
    {"a trace monitor that throws, then restart", [](Scene& s) { searchMonitorThrows(s, true); }},
    {"a solve whose goal throws", solveGoalThrows},
    {"a nested solve that throws, then end", [](Scene& s) { nestedSolveThrows(s, false); }},
    {"a nested solve that throws, then restart", [](Scene& s) { nestedSolveThrows(s, true); }},
    {"a solve in propagation that throws, then end",
     [](Scene& s) { solveInPropagationThrows(s, false); }},
    {"a solve in propagation that throws, then restart",
     [](Scene& s) { solveInPropagationThrows(s, true); }},
    {"a reversible action that fails in a solve's restore", solveRestoreFails},
};

// ---------------------------------------------------------------- checks after

void impossibleAddsFail(Engine& e) {
  QrcIntVar z(e.mgr, 0, 9), w(e.mgr, 0, 9);
  EXPECT_EQ(exitOf([&] { e.mgr.add(z >= 20); }), Failed);
  EXPECT_EQ(exitOf([&] { e.mgr.add(z >= 20); }), Failed);
  EXPECT_EQ(exitOf([&] { e.mgr.add(w >= 20); }), Failed);
  e.mgr.add(z >= 3);
  EXPECT_EQ(exitOf([&] { e.mgr.add(z <= 1); }), Failed);
  EXPECT_EQ(exitOf([&] { e.mgr.add(z + w >= 30); }), Failed);
  EXPECT_EQ(exitOf([&] { e.mgr.add(w > z + 7); }), Failed);
  expectRange(z, 3, 9);
  expectRange(w, 0, 9);
}

void impossibleNarrowingsFail(Engine& e) {
  QrcIntVar z(e.mgr, 0, 9), w(e.mgr, 0, 9);
  e.mgr.add(z + 5 <= w);
  EXPECT_EQ(exitOf([&] { w.setMax(4); }), Failed);
  EXPECT_EQ(exitOf([&] { z.setMin(6); }), Failed);
  EXPECT_EQ(exitOf([&] { z.setValue(7); }), Failed);
  expectRange(z, 0, 4);
  expectRange(w, 5, 9);
}

void impossibleSolvesAnswerZero(Engine& e) {
  QrcIntVar z(e.mgr, 0, 9);
  EXPECT_EQ(e.mgr.solve(QrcGoal(z >= 20)), 0);
  EXPECT_EQ(e.mgr.solve(QrcGoal(z >= 4)), 1);
  expectRange(z, 4, 9);
  EXPECT_EQ(e.mgr.solve(QrcGoal(z <= 2)), 0);
  EXPECT_EQ(e.mgr.solve(QrcGoal(z >= 20)), 0);
  expectRange(z, 4, 9);
}

void impossibleSearchFindsNothing(Engine& e) {
  QrcIntVarArray v(e.mgr, 2, 0, 9);
  QrcSearch s(e.mgr, QrcAnd(QrcGoal(v[0] >= 20), QrcGenerate(v)));
  EXPECT_FALSE(s.next());
  EXPECT_EQ(e.m->getStatus(), QrcSearchExhausted);
  s.end();
  QrcSearch t(e.mgr, QrcAnd(QrcGenerate(v), QrcGoal(v[0] + v[1] >= 19)));
  EXPECT_FALSE(t.next());
  t.end();
  expectRange(v[0], 0, 9);
}

// a + b == c with a != b over 0..3, against brute force, twice over a restart.
void possibleSearchMatchesBruteForce(Engine& e) {
  QrcIntVarArray v(e.mgr, 3, 0, 3);
  std::vector<std::vector<QrcInt>> expected, found;
  for (QrcInt a = 0; a <= 3; ++a)
    for (QrcInt b = 0; b <= 3; ++b)
      if (a != b && a + b <= 3) expected.push_back({a, b, a + b});
  QrcSearch s(e.mgr, QrcAnd(QrcGoal(v[0] + v[1] == v[2]), QrcGoal(v[0] != v[1]), QrcGenerate(v),
                            QrcGoal()));
  for (int pass = 0; pass < 2; ++pass) {
    found.clear();
    while (s.next()) found.push_back({v[0].getValue(), v[1].getValue(), v[2].getValue()});
    EXPECT_EQ(found, expected);
    EXPECT_EQ(e.m->getStatus(), QrcSearchExhausted);
    s.restart();
  }
  s.end();
  expectRange(v[2], 0, 3);
}

struct Check {
  const char* name;
  void (*run)(Engine& e);
};

const Check checks[] = {
    {"impossible adds fail", impossibleAddsFail},
    {"impossible narrowings fail", impossibleNarrowingsFail},
    {"impossible solves answer 0", impossibleSolvesAnswerZero},
    {"an impossible search finds nothing", impossibleSearchFindsNothing},
    {"a possible search finds the brute-force solutions", possibleSearchMatchesBruteForce},
};

TEST(WaysOut, EveryWayOutLeavesTheEngineWorking) {
  for (bool exceptions : {false, true}) {
    for (const WayOut& way : waysOut) {
      for (const Check& check : checks) {
        SCOPED_TRACE(std::string(way.name) + ", then " + check.name +
                     (exceptions ? " (exceptions)" : " (jumps)"));
        Engine e(exceptions);
        try {
          {
            Scene s(e);
            way.run(s);
          }
          expectClean(e.m);
          check.run(e);
          expectClean(e.m);
        } catch (int code) {
          ADD_FAILURE() << "error " << code << " reported";
        }
      }
    }
  }
}

}  // namespace
