// Solver listeners: claims of model members and of added constraints, the
// extraction brackets, the linking constraint and the variable notifier; and
// user code (a listener, an extract hook) that throws while the solver extracts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qro.h"
#include "qrcfloatexp.h"
#include "qrosolveri.h"
#include "qrosolverlistener.h"
#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrosolverglobal.h"
#include "row_support.h"
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

// ---------------------------------------------------------------------------
// User code that throws while the solver extracts the model

using solvertest::Stop;
using solvertest::ThrowingListener;
using solvertest::throwPlan;
typedef solvertest::UserEvent Event;

// A modelling class of the user's: x != y, whose extract hook throws when planned.
QroConstraintI* userDiff(QroEnv& env, const QroNumVar& x, const QroNumVar& y) {
  solvertest::Fields f;
  f.a[0] = QroExtractableArray(env, 0);
  f.a[0].add(x.getImpl());
  f.a[0].add(y.getImpl());
  return solvertest::rowConstraint<420>(
      env, f,
      [](QroAlgorithmI* a, QroExtractableI* n, const solvertest::Fields& g) {
        throwPlan().at(Event::Hook);
        return extractAllDiff(a, n, g.a[0]);
      },
      [](QroAlgorithmI* a, const solvertest::Fields& g) { a->remove(g.a[0]); });
}

// How the extraction that throws comes: a solve or a search start after a
// member ended, or the extraction asked for.
enum class Trigger { Solve, Search, Extract };

// A row: where user code throws, in an edit or a no-edit solver (which posts
// constraints, and tells the listener of them, as it extracts them).
struct ThrowCase {
  const char* name;
  Event event;
  bool edit;
};

const ThrowCase kThrowCases[] = {
    {"begin", Event::Begin, true},
    {"claim", Event::Claim, true},
    {"new integer variable", Event::NewIntVar, true},
    {"constraint added", Event::ConstraintAdded, false},
    {"end", Event::End, true},
    {"extract hook", Event::Hook, true},
    {"extract hook, no edit", Event::Hook, false},
};

// The (x, y) of every solution, and their count.
std::set<std::pair<QroInt, QroInt>> allSolutions(QroSolver& solver, const QroNumVar& x,
                                                 const QroNumVar& y, int* count) {
  std::set<std::pair<QroInt, QroInt>> got;
  *count = 0;
  solver.startNewSearch();
  for (; solver.next(); ++*count)
    got.insert({static_cast<QroInt>(solver.getValue(x)), static_cast<QroInt>(solver.getValue(y))});
  solver.endSearch();
  return got;
}

// x, y, z in 0..3 with x != y (of the user's class); a member ends, and
// x + y == sum comes in: 4 gives two (x, y), 7 none, which a no-edit solver
// finds inconsistent; sum 0 stands for z's bounds crossed. A model found
// inconsistent is extracted again, and refused, by every solve.
TEST(SolverListeners, AnExtractionLeftByAnExceptionIsDoneAgain) {
  for (const ThrowCase& c : kThrowCases) {
    for (bool library : {false, true}) {
      for (Trigger trigger : {Trigger::Solve, Trigger::Search, Trigger::Extract}) {
        for (int sum : {4, 7, 0}) {
          SCOPED_TRACE(std::string(c.name) + (library ? ", library exception" : ", own exception") +
                       ", trigger " + std::to_string(static_cast<int>(trigger)) + ", sum " +
                       std::to_string(sum));
          QroEnv env;
          ThrowingListener l(env.getImpl());
          QroModel model(env);
          QroNumVar x(env, 0, 3, QroNumVar::Int, "x"), y(env, 0, 3, QroNumVar::Int, "y");
          QroNumVar z(env, 0, 3, QroNumVar::Int, "z");
          QroRange extra(env, 0, x, 3);
          model.add(QroConstraint(userDiff(env, x, y)));
          model.add(extra);
          model.add(z);
          QroSolver solver(model, c.edit ? &QrcEdit : &QrcNoEdit);
          std::ostringstream printed;
          solver.getImpl()->setError(printed);
          solver.getImpl()->addSolverListener(&l);
          // The next solve or search start extracts the model again.
          extra.end();
          if (sum == 0)
            z.setBounds(2, 1);
          else
            model.add(QroRange(env, sum, x + y, sum));
          bool refused = sum == 0 || (sum == 7 && !c.edit);
          if (refused) {
            EXPECT_THROW(solver.solve(), QroSolver::ModelInconsistent);
          }
          throwPlan() = {true, c.event, library};
          bool thrown = false;
          try {
            if (trigger == Trigger::Solve) solver.solve();
            if (trigger == Trigger::Search) solver.startNewSearch();
            if (trigger == Trigger::Extract) QroAlgorithm(solver).extract(model);
          } catch (const Stop&) {
            thrown = !library;
          } catch (const QroSolver::ModelInconsistent&) {
            // Found before the event came.
            thrown = refused;
          } catch (const QroAlgorithm::CannotExtractException&) {
            // A library exception is printed and fails the extraction.
            thrown = library;
          } catch (const QroException& e) {
            ADD_FAILURE() << "another exception: " << solvertest::printed(e);
          }
          EXPECT_TRUE(thrown);
          EXPECT_TRUE(refused || !throwPlan().armed);
          throwPlan().armed = false;
          // What the extraction left is read, or refused, safely.
          for (const QroNumVar& v : {x, z}) {
            try {
              solver.getValue(v);
            } catch (const QroException&) {
            }
          }
          if (refused) {
            EXPECT_THROW(solver.solve(), QroSolver::ModelInconsistent);
            EXPECT_THROW(solver.startNewSearch(), QroSolver::ModelInconsistent);
            // The solver still holds the model, and hears its end.
            model.end();
            EXPECT_THROW(solver.solve(), QroSolver::ModelNotExtracted);
          } else {
            std::set<std::pair<QroInt, QroInt>> want;
            if (sum == 4) want = {{1, 3}, {3, 1}};
            int count = 0;
            EXPECT_EQ(allSolutions(solver, x, y, &count), want);
            EXPECT_EQ(count, 4 * static_cast<int>(want.size()));
            EXPECT_EQ(solver.solve(), sum == 4);
            if (sum == 4) {
              EXPECT_EQ(solver.getValue(x) + solver.getValue(y), 4);
              EXPECT_NE(solver.getValue(x), solver.getValue(y));
            }
          }
          env.end();
        }
      }
    }
  }
}

// A model goal that adds a constraint through QroSolver::add as it runs.
class AddingGoalI : public QroGoalI {
 public:
  AddingGoalI(QroEnvI* env, QroConstraintI* ct) : QroGoalI(env), _ct(ct) {}
  QrcGoal extract(const QroSolver& solver) const override {
    solver.add(QroConstraint(_ct));
    return QrcGoalTrue(solver.getManager());
  }
  QroGoalI* makeClone(QroEnvI* env) const override { return new (env) AddingGoalI(env, _ct); }

 private:
  QroConstraintI* _ct;
};

// How a constraint whose extract hook throws comes to a solver that has
// extracted its model: added to the model, then a solve, a solve from a goal,
// a search start or a solve that continues from the last state replays the
// addition; or a goal (adder) adds it with QroSolver::add while next() runs.
struct AdditionWay {
  const char* name;
  bool inGoal;
  void (*run)(const QroSolver& solver, const QroGoal& adder);
};

// The caller gets the hook's own exception, or CannotExtractException for a
// library one; the constraint is not taken for extracted, and the next solve
// adds it (a constraint a goal added held only in its search).
TEST(SolverListeners, AnAdditionLeftByAnExceptionIsAddedAgain) {
  const AdditionWay ways[] = {
      {"solve", false, [](const QroSolver& s, const QroGoal&) { s.solve(); }},
      {"solve from a goal", false, [](const QroSolver& s, const QroGoal&) { s.solve(QroGoal()); }},
      {"search start", false, [](const QroSolver& s, const QroGoal&) { s.startNewSearch(); }},
      {"continue", false,
       [](const QroSolver& s, const QroGoal&) { s.solve(QroGoal(), QroSolver::ContinueSearch); }},
      {"added in a goal", true,
       [](const QroSolver& s, const QroGoal& adder) {
         s.startNewSearch(adder);
         s.next();
       }},
  };
  for (const AdditionWay& way : ways) {
    for (bool edit : {true, false}) {
      for (bool library : {false, true}) {
        SCOPED_TRACE(std::string(way.name) + (edit ? ", edit" : ", no edit") +
                     (library ? ", library exception" : ", own exception"));
        QroEnv env;
        QroModel model(env);
        QroNumVar x(env, 0, 3, QroNumVar::Int, "x"), y(env, 0, 3, QroNumVar::Int, "y");
        model.add(QroRange(env, 4, x + y, 4));
        QroSolver solver(model, edit ? &QrcEdit : &QrcNoEdit);
        std::ostringstream printed;
        solver.getImpl()->setError(printed);
        EXPECT_TRUE(solver.solve());
        QroConstraint diff(userDiff(env, x, y));
        if (!way.inGoal) model.add(diff);
        throwPlan() = {true, Event::Hook, library};
        std::string got = "nothing thrown";
        try {
          way.run(solver, QroGoal(new (env.getImpl()) AddingGoalI(env.getImpl(), diff.getImpl())));
        } catch (const Stop&) {
          got = "own";
        } catch (const QroAlgorithm::CannotExtractException& e) {
          got = "cannot extract";
          EXPECT_EQ(e.getExtractables().getSize(), 1);
        } catch (const QroException& e) {
          got = "another exception: " + solvertest::printed(e);
        }
        EXPECT_EQ(got, library ? "cannot extract" : "own");
        EXPECT_EQ(printed.str(), library ? "stop\n" : "");
        throwPlan().armed = false;
        EXPECT_THROW(solver.getImpl()->getValue(diff.getImpl()), QroException);
        int count = 0;
        std::set<std::pair<QroInt, QroInt>> want = {{1, 3}, {3, 1}};
        if (way.inGoal) want.insert({2, 2});
        EXPECT_EQ(allSolutions(solver, x, y, &count), want);
        EXPECT_EQ(count, static_cast<int>(want.size()));
        env.end();
      }
    }
  }
}

}  // namespace
