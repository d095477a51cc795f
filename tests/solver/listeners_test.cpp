// Solver listeners: claims of model members and of added constraints, the
// extraction brackets, the linking constraint and the variable notifier.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "qro.h"
#include "qrcfloatexp.h"
#include "qrosolveri.h"
#include "qrosolverlistener.h"
#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "solver_support.h"

namespace {

// Posts of a test-only engine constraint; the constraint adds `inner`, when
// set, from its propagation.
struct PostCount {
  int posts = 0;
  int propagations = 0;
};

class CountingConstraintI : public QrcConstraintI {
 public:
  CountingConstraintI(QrcManagerI* m, PostCount* count, QrcConstraintI* inner = nullptr)
      : QrcConstraintI(m), _count(count), _inner(inner) {}
  void post() override { ++_count->posts; }
  void propagate() override {
    ++_count->propagations;
    if (_inner) _manager->add(_inner);
  }

 private:
  PostCount* _count;
  QrcConstraintI* _inner;
};

// Records what the solver tells it; claims the members and constraints it is given.
class LogListener : public QroSolverListenerI {
 public:
  explicit LogListener(QroEnvI* env) : QroSolverListenerI(env) {}
  void reset(QrcVarNotifyI* old) override {
    log += "reset ";
    resetNotifier = old;
  }
  void constraintAdded(QrcConstraintI* ct) override { told.push_back(ct); }
  QroBool claim(QroExtractableI* x) override { return x == claimed; }
  void beginExtraction(QroModelI*) override { log += "begin "; }
  void endExtraction(QroModelI*) override {
    log += "end ";
    if (ends) ends();
  }
  void post() override {
    ++posts;
    if (onPost) onPost();
  }
  void propagate() override {
    if (onPropagate) onPropagate();
  }
  QroBool constraintAddedInPropagation(QrcConstraintI* ct) override {
    offered.push_back(ct);
    return ct == claimedConstraint;
  }
  void newIntVar(QrcExprI* v) override { ints.push_back(v); }
  void newFloatVar(QrcExprI* v) override { floats.push_back(v); }
  void synchronized() override { ++syncs; }

  std::string log;
  QroExtractableI* claimed = nullptr;
  QrcConstraintI* claimedConstraint = nullptr;
  std::vector<QrcConstraintI*> told, offered;
  std::vector<QrcExprI*> ints, floats;
  QrcVarNotifyI* resetNotifier = nullptr;
  int posts = 0, syncs = 0;
  std::function<void()> ends, onPost, onPropagate;
};

struct XModel {
  explicit XModel(QroEnv& e) : env(e), model(e), x(e, 0, 5, QroNumVar::Int, "x") {
    model.add(x);
    c = QroRange(e, 3.0, x, QroNumVar::Infinity());
    model.add(c);
  }
  QroEnv& env;
  QroModel model;
  QroNumVar x;
  QroConstraint c;
};

TEST(SolverListeners, ClaimedMembersAreNotExtracted) {
  for (bool claim : {true, false}) {
    QroEnv env;
    XModel m(env);
    QroSolver solver(m.model);
    QroSolverI* s = solver.getImpl();
    LogListener l(env.getImpl());
    if (claim) l.claimed = m.c.getImpl();
    s->addSolverListener(&l);
    s->reload(m.model.getImpl());
    ASSERT_EQ(solver.solve(), 1);
    EXPECT_EQ(solver.getValue(m.x), claim ? 0.0 : 3.0) << claim;
    EXPECT_EQ(s->getRecord(m.c.getImpl()) == nullptr, claim);
    EXPECT_EQ(l.getClaimCount(), claim ? 1 : 0);
    // Reloading clears the solver first.
    EXPECT_EQ(l.log, "reset begin end ");
    env.end();
  }
}

TEST(SolverListeners, LinkingConstraintPropagatesTheListener) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int, "x"), y(env, 0, 3, QroNumVar::Int, "y");
  model.add(x);
  model.add(y);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  LogListener l(env.getImpl());
  QrcIntExpI *ex = nullptr, *ey = nullptr;
  l.ends = [&] {
    ex = solver.getIntVar(x).getImpl();
    ey = solver.getIntVar(y).getImpl();
  };
  l.onPost = [&] {
    ex->whenRange(l.getLinkingConstraint());
    ey->whenRange(l.getLinkingConstraint());
  };
  l.onPropagate = [&] {
    ey->setMin(ex->getMin() + 1);
    ex->setMax(ey->getMax() - 1);
  };
  s->addSolverListener(&l);
  s->reload(model.getImpl());
  ASSERT_NE(l.getLinkingConstraint(), nullptr);
  EXPECT_TRUE(l.getLinkingConstraint()->isType(QrcAggregatorLinkingConstraintI::GetTypeInfo()));
  solver.startNewSearch(QroGoal());
  int solutions = 0;
  while (solver.next()) {
    ++solutions;
    EXPECT_GE(solver.getValue(y), solver.getValue(x) + 1);
  }
  solver.endSearch();
  EXPECT_EQ(solutions, 6);
  EXPECT_EQ(l.posts, 1);
  EXPECT_EQ(l.log, "reset begin end ");
  env.end();
}

TEST(SolverListeners, NotifierTellsEveryNewVariable) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int, "x"), f(env, 0, 1, QroNumVar::Float, "f");
  model.add(QroRange(env, -QroNumVar::Infinity(), x, 2.0));
  model.add(f);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  LogListener l(env.getImpl());
  l.setWantsVariables(1);
  s->addSolverListener(&l);
  s->reload(model.getImpl());
  ASSERT_NE(l.getNotifier(), nullptr);
  QrcExprI* ex = solver.getIntVar(x).getImpl();
  QrcExprI* ef = solver.getFloatVar(f).getImpl();
  EXPECT_NE(std::find(l.ints.begin(), l.ints.end(), ex), l.ints.end());
  EXPECT_NE(std::find(l.floats.begin(), l.floats.end(), ef), l.floats.end());
  size_t before = l.ints.size();
  QrcIntVar extra(solver.getManager(), 0, 1);
  EXPECT_EQ(l.ints.size(), before + 1);
  EXPECT_EQ(l.ints.back(), extra.getImpl());
  env.end();
}

TEST(SolverListeners, AddedConstraintsAreOfferedOnlyDuringPropagation) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model, &QrcNoEdit);
  QroSolverI* s = solver.getImpl();
  QrcManagerI* m = solver.getManagerI();
  LogListener l(env.getImpl());
  s->addSolverListener(&l);
  PostCount outer, inner;
  CountingConstraintI* in = new (m) CountingConstraintI(m, &inner);
  CountingConstraintI* out = new (m) CountingConstraintI(m, &outer, in);
  l.claimedConstraint = in;
  // Outside propagation the listener is told, and the constraint is posted.
  m->add(out);
  EXPECT_EQ(outer.posts, 1);
  EXPECT_EQ(l.told, std::vector<QrcConstraintI*>{out});
  // Its propagation adds the inner one: offered, claimed, never posted.
  EXPECT_EQ(outer.propagations, 1);
  EXPECT_EQ(l.offered, std::vector<QrcConstraintI*>{in});
  EXPECT_EQ(inner.posts, 0);
  EXPECT_EQ(l.getClaimCount(), 1);
  env.end();
}

TEST(SolverListeners, OneSynchronisationPerSolveAndSearchStart) {
  QroEnv env;
  XModel m(env);
  QroSolver solver(m.model);
  LogListener l(env.getImpl());
  solver.getImpl()->addSolverListener(&l);
  solver.solve();
  solver.solve(QroGoal());
  solver.startNewSearch(QroGoal());
  while (solver.next()) {
  }
  solver.endSearch();
  EXPECT_EQ(l.syncs, 3);
  env.end();
}

TEST(SolverListeners, ClearResetsAndRemovalDetaches) {
  QroEnv env;
  XModel m(env);
  QroSolver solver(m.model);
  QroSolverI* s = solver.getImpl();
  LogListener l(env.getImpl()), gone(env.getImpl());
  l.setWantsVariables(1);
  s->addSolverListener(&l);
  s->addSolverListener(&gone);
  EXPECT_THROW(s->addSolverListener(&gone), QroWrongUsage);
  s->reload(m.model.getImpl());
  QrcVarNotifyI* notifier = l.getNotifier();
  ASSERT_NE(notifier, nullptr);
  EXPECT_TRUE(s->removeSolverListener(&gone));
  EXPECT_FALSE(s->removeSolverListener(&gone));
  EXPECT_EQ(gone.getSolver(), nullptr);
  s->clear();
  EXPECT_EQ(l.resetNotifier, notifier);
  EXPECT_EQ(l.getNotifier(), nullptr);
  EXPECT_EQ(l.getLinkingConstraint(), nullptr);
  EXPECT_EQ(l.log, "reset begin end reset ");
  // The listener stays registered: extracting again reaches it, not the removed one.
  size_t ints = l.ints.size();
  s->extract(m.model.getImpl());
  QrcIntVar extra(solver.getManager(), 0, 1);
  EXPECT_GT(l.ints.size(), ints);
  EXPECT_EQ(l.log, "reset begin end reset begin end ");
  EXPECT_EQ(gone.log, "reset begin end ");
  EXPECT_EQ(s->getStatus(), 0);
  s->clear();
  EXPECT_EQ(s->getStatus(), 1);
  env.end();
}

}  // namespace
