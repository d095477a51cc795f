// Repeated solves over a changing model: fast restart from the kept root,
// replayed additions and removals, continue mode and reversible additions.
#include <gtest/gtest.h>

#include <string>

#include "qro.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrochange.h"
#include "qrcconstraint.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "solver_support.h"

using namespace solvertest;

namespace {

const double kInf = QroNumVar::Infinity();

// A test-only engine constraint that counts its posts.
class CountingConstraintI : public QrcConstraintI {
 public:
  CountingConstraintI(QrcManagerI* m, int* posts) : QrcConstraintI(m), _posts(posts) {}
  void post() override { ++*_posts; }
  void propagate() override {}

 private:
  int* _posts;
};

// Runs a function, kept by the test, as an engine goal.
class CallGoalI : public QrcGoalI {
 public:
  CallGoalI(QrcManagerI* m, const std::function<void()>& f) : QrcGoalI(m), _f(&f) {}
  QrcGoalI* execute() override {
    (*_f)();
    return nullptr;
  }

 private:
  const std::function<void()>* _f;
};

std::function<QrcGoalI*(QrcManagerI*)> g_goal;
QrcGoalI* makeTestGoal(QrcManagerI* m) {
  return g_goal(m);
}

struct XY {
  explicit XY(QroEnv& env, double hiX = 3)
      : model(env), x(env, 0, hiX, QroNumVar::Int, "x"), y(env, 0, 3, QroNumVar::Int, "y") {
    model.add(x);
    model.add(y);
  }
  QroModel model;
  QroNumVar x, y;
};

// A solver that loads the model after its fast restart mode is chosen.
QroSolver makeSolver(QroEnv& env, const QroModel& model, bool fast, QrcManagerTag tag = &QrcEdit) {
  QroSolverI* s = new (env.getImpl()) QroSolverI(env.getImpl(), tag);
  s->setFastRestartMode(fast);
  s->extract(model.getImpl());
  return QroSolver(s);
}

TEST(FastRestart, RootIsPostedOnceOverRepeatedSolves) {
  for (bool fast : {true, false}) {
    QroEnv env;
    XY m(env);
    QroSolver solver = makeSolver(env, m.model, fast);
    QrcManagerI* mgr = solver.getManagerI();
    EXPECT_EQ(mgr->isInEditMode(), true);
    int posts = 0;
    mgr->add(new (mgr) CountingConstraintI(mgr, &posts));
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(solver.solve(), 1);
      EXPECT_EQ(solver.getValue(m.x), 0.0);
      EXPECT_EQ(solver.getValue(m.y), 0.0);
    }
    EXPECT_EQ(posts, fast ? 1 : 3) << fast;
    // Each search starts from the root, not from the last solution.
    QrcIntExpI* ex = solver.getIntVar(m.x).getImpl();
    QrcInt lo = -1, hi = -1;
    std::function<void()> read = [&] {
      lo = ex->getMin();
      hi = ex->getMax();
    };
    g_goal = [&](QrcManagerI* mm) { return new (mm) CallGoalI(mm, read); };
    solver.startNewSearch(engineGoal(env.getImpl(), makeTestGoal));
    ASSERT_EQ(solver.next(), 1);
    solver.endSearch();
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 3);
    EXPECT_EQ(posts, fast ? 1 : 4) << fast;
    // Goal solves rebuild the root.
    ASSERT_EQ(solver.solve(QroGoal()), 1);
    EXPECT_EQ(posts, fast ? 2 : 5) << fast;
    env.end();
  }
}

TEST(FastRestart, ObjectiveSolvesRebuildFromTheRoot) {
  QroEnv env;
  XY m(env);
  m.model.add(QroRange(env, 2, m.x + m.y, kInf));
  m.model.add(QroObjective(env, m.x - m.y));
  QroSolver solver(m.model);
  QrcManagerI* mgr = solver.getManagerI();
  int posts = 0;
  mgr->add(new (mgr) CountingConstraintI(mgr, &posts));
  for (int i = 1; i <= 2; ++i) {
    ASSERT_EQ(solver.solve(), 1);
    EXPECT_EQ(solver.getValue(m.x), 0.0);
    EXPECT_EQ(solver.getValue(m.y), 3.0);
    EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
    EXPECT_GE(posts, 2 * i);
  }
  env.end();
}

TEST(SolverChanges, AddedAndEndedConstraints) {
  QroEnv env;
  XY m(env);
  QroSolver solver(m.model);
  QroSolverI* s = solver.getImpl();
  ASSERT_EQ(solver.solve(), 1);
  QroConstraint c = QroRange(env, 5, m.x + m.y, kInf);
  m.model.add(c);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::AdditionsPending);
  EXPECT_EQ(s->getStatus(), 0);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(m.x), 2.0);
  EXPECT_EQ(solver.getValue(m.y), 3.0);
  c.end();
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  EXPECT_EQ(s->getStatus(), 0);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(m.x), 0.0);
  EXPECT_EQ(solver.getValue(m.y), 0.0);
  env.end();
}

TEST(SolverChanges, RemovalIsReplayedInEditModeAndReloadsWithout) {
  for (QrcManagerTag tag : {&QrcEdit, &QrcNoEdit}) {
    bool edit = tag == &QrcEdit;
    QroEnv env;
    QroModel model(env);
    QroNumVar x(env, 0, 5, QroNumVar::Int, "x");
    QroConstraint c = QroRange(env, 3, x, kInf);
    model.add(x);
    model.add(c);
    QroSolver solver(model, tag);
    QroSolverI* s = solver.getImpl();
    ASSERT_EQ(solver.solve(), 1);
    EXPECT_EQ(solver.getValue(x), 3.0);
    QroExtractionRecord* before = s->getRecord(x.getImpl());
    {
      QroRemoveFromModel removal(model.getImpl(), c.getImpl());
      env.getImpl()->notifyChange(&removal, model.getImpl());
    }
    EXPECT_EQ(s->getSyncLevel(), QroSolverI::RestartPending);
    EXPECT_NE(s->getChangeList(), nullptr);
    EXPECT_EQ(s->getStatus(), 0);
    ASSERT_EQ(solver.solve(), 1);
    if (edit) {
      EXPECT_EQ(solver.getValue(x), 0.0);
      EXPECT_EQ(s->getRecord(x.getImpl()), before);
    } else {
      // The posted constraint cannot be taken back: the model (which still
      // holds it) was extracted again.
      EXPECT_NE(s->getRecord(x.getImpl()), before);
      EXPECT_EQ(solver.getValue(x), 3.0);
    }
    env.end();
  }
}

TEST(SolverChanges, ContinueModeGoesOnFromTheCurrentState) {
  QroEnv env;
  XY m(env);
  QroSolver solver(m.model);
  QroSolverI* s = solver.getImpl();
  QrcIntExpI* ex = solver.getIntVar(m.x).getImpl();
  std::function<void()> bind = [&] { ex->setValue(1); };
  g_goal = [&](QrcManagerI* mm) { return new (mm) CallGoalI(mm, bind); };
  ASSERT_EQ(solver.solve(engineGoal(env.getImpl(), makeTestGoal)), 1);
  m.model.add(QroRange(env, 4, m.x + m.y, kInf));
  ASSERT_EQ(solver.solve(QroGoal(), QroSolver::ContinueSearch), 1);
  EXPECT_EQ(solver.getValue(m.x), 1.0);
  EXPECT_EQ(solver.getValue(m.y), 3.0);
  EXPECT_EQ(s->getChangesSinceContinue(), nullptr);
  EXPECT_NE(s->getChangeList(), nullptr);
  s->raiseToRestart();
  try {
    solver.solve(QroGoal(), QroSolver::ContinueSearch);
    FAIL();
  } catch (const QroSolver::QroSynchronizeAndContinueNotPossible& e) {
    EXPECT_STREQ(e.getMessage(), "QroSynchronizeAndContinue is not possible at this moment");
  }
  // A full restore replays the addition over the root.
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(m.x) + solver.getValue(m.y), 4.0);
  env.end();
}

TEST(SolverChanges, ReversibleAdditionsInsideGoals) {
  QroEnv env;
  XY m(env, 5);
  QroSolver solver(m.model);
  QroSolverI* s = solver.getImpl();
  QrcIntExpI* ex = solver.getIntVar(m.x).getImpl();
  QroInt added = -1, made = -1;
  std::function<void()> add = [&] {
    s->setReversibleEnv();
    QroConstraint r = QroRange(env, 2, m.x, kInf);
    added = r.getImpl()->getId();
    solver.add(r);
    s->unsetReversibleEnv();
  };
  std::function<void()> other = [&] {
    s->setReversibleEnv();
    made = QroRange(env, 1, m.x, kInf).getImpl()->getId();
    s->unsetReversibleEnv();
  };
  g_goal = [&](QrcManagerI* mm) {
    return new (mm) QrcOrI(mm, new (mm) CallGoalI(mm, add), new (mm) CallGoalI(mm, other), nullptr);
  };
  solver.startNewSearch(engineGoal(env.getImpl(), makeTestGoal));
  try {
    solver.add(QroRange(env, 1, m.x, kInf));
    FAIL() << "added outside the goals of the open search";
  } catch (const QroSolver::WrongContext& e) {
    EXPECT_STREQ(e.getMessage(), "You cannot call QroSolver::addReversible here");
  }
  ASSERT_EQ(solver.next(), 1);
  EXPECT_EQ(ex->getMin(), 2);
  EXPECT_TRUE(s->isUsing(added));
  ASSERT_EQ(solver.next(), 1);
  EXPECT_EQ(ex->getMin(), 0);
  EXPECT_FALSE(s->isUsing(added));
  EXPECT_EQ(made, added);
  solver.endSearch();
  try {
    solver.add(QroRange(env, 1, m.x, kInf));
  } catch (const QroSolver::WrongContext& e) {
    FAIL() << e.getMessage();
  }
  env.end();
}

// A change carrying an array of extractables to add to the model.
class AddArrayChange : public QroChange {
 public:
  explicit AddArrayChange(const QroExtractableArray& a) : _a(a) {}
  QroChangeHooks* getHookRecord() const override { return &hooks; }
  QroExtractableArray getChangedExtractableArray() const override { return _a; }
  static inline QroChangeHooks hooks = {0, applyAddArrayToModel};

 private:
  QroExtractableArray _a;
};

TEST(SolverChanges, ArrayAdditionQueuesEveryMember) {
  QroEnv env;
  XY m(env);
  QroSolver solver(m.model);
  QroSolverI* s = solver.getImpl();
  ASSERT_EQ(solver.solve(), 1);
  QroExtractableArray both(env, 2);
  both[0] = QroRange(env, 2, m.x, kInf).getImpl();
  both[1] = QroRange(env, 1, m.y, kInf).getImpl();
  AddArrayChange change(both);
  env.getImpl()->notifyChange(&change, m.model.getImpl());
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::AdditionsPending);
  int records = 0;
  for (QrcChange* c = s->getChangeList(); c; c = c->getNext()) ++records;
  EXPECT_EQ(records, 2);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(m.x), 2.0);
  EXPECT_EQ(solver.getValue(m.y), 1.0);
  env.end();
}

// Once the model is to be extracted again, additions queue nothing: rounds
// of adding a constraint and ending it leave one record, however many.
TEST(SolverChanges, NothingIsQueuedForAModelToExtractAgain) {
  QroEnv env;
  XY m(env);
  QroSolver solver(m.model);
  QroSolverI* s = solver.getImpl();
  ASSERT_EQ(solver.solve(), 1);
  for (int i = 0; i < 100; ++i) {
    QroConstraint c = QroNumExprArg(m.x) + QroNumExprArg(m.y) <= 1;
    m.model.add(c);
    c.end();
  }
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  int records = 0;
  for (QrcChange* c = s->getChangeList(); c; c = c->getNext()) ++records;
  EXPECT_EQ(records, 1);
  QroRange last(env, 1, QroNumExprArg(m.x) + QroNumExprArg(m.y), kInf);
  m.model.add(last);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_GE(solver.getValue(m.x) + solver.getValue(m.y), 1.0);
  env.end();
}

}  // namespace
