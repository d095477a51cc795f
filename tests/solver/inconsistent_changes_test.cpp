// Changes made to a model after the solver found it inconsistent (the root
// propagation failed, or a variable's bounds cross): every search after a
// change must see the model as it then stands, as a fresh solver would.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrosolverglue.h"
#include "qrcgoal.h"
#include "solver_support.h"

namespace {

typedef std::vector<int64_t> A;
typedef std::set<A> Solutions;

// What one search gives: the solutions, or a refusal of the model.
struct Outcome {
  bool refused = false;
  Solutions solutions;
  // The objective's value at the solution solve() found.
  double objective = 0;
};

Outcome searchAll(QroSolver& s, const std::vector<QroNumVar>& vars, bool optimize) {
  Outcome o;
  try {
    if (optimize) {
      if (s.solve()) {
        A a;
        for (const QroNumVar& v : vars) a.push_back(static_cast<int64_t>(s.getValue(v)));
        o.solutions.insert(a);
        o.objective = s.getObjValue();
      }
      return o;
    }
    s.startNewSearch();
    while (s.next()) {
      A a;
      for (const QroNumVar& v : vars) a.push_back(static_cast<int64_t>(s.getValue(v)));
      o.solutions.insert(a);
    }
    s.endSearch();
  } catch (const QroSolver::ModelInconsistent&) {
    o.refused = true;
  }
  return o;
}

Solutions product(const A& xs, const A& ys) {
  Solutions out;
  for (int64_t x : xs)
    for (int64_t y : ys) out.insert({x, y});
  return out;
}

// x in 0..3 and y in 0..1; "bad" makes the model inconsistent.
struct Fixture {
  explicit Fixture(QroEnv& e)
      : env(e), model(e), x(e, 0, 3, QroNumVar::Int, "x"), y(e, 0, 1, QroNumVar::Int, "y") {
    model.add(x);
    model.add(y);
  }
  void add(const QroExtractable& c) { model.add(c); }
  QroEnv& env;
  QroModel model;
  QroNumVar x, y, z;
  QroExtractable bad, other;
};

// No value of x is 5 or more.
void xAtLeast5(Fixture& f) {
  f.add(f.bad = QroRange(f.env, 5, f.x, 10));
}

struct Case {
  const char* name;
  // Minimize x - y from the start: searches are solve() and its optimum.
  bool objective;
  std::function<void(Fixture&)> breakModel;
  std::function<void(Fixture&)> mend;
  Solutions want;
  double optimum = 0;
};

const Case kCases[] = {
    {"the constraint ends", false, xAtLeast5, [](Fixture& f) { f.bad.end(); },
     product({0, 1, 2, 3}, {0, 1})},
    {"the variable widens to meet it", false, xAtLeast5, [](Fixture& f) { f.x.setBounds(0, 6); },
     product({5, 6}, {0, 1})},
    {"a variable with crossed bounds ends", false,
     [](Fixture& f) {
       f.z = QroNumVar(f.env, 3, 1, QroNumVar::Int, "z");
       f.add(QroRange(f.env, 0, f.x + f.z, 10));
     },
     [](Fixture& f) { f.z.end(); }, product({0, 1, 2, 3}, {0, 1})},
    {"a constraint added meanwhile stays", false, xAtLeast5,
     [](Fixture& f) {
       f.add(QroRange(f.env, 1, f.y, 1));
       f.bad.end();
     },
     product({0, 1, 2, 3}, {1})},
    {"an objective added meanwhile ends", false, xAtLeast5,
     [](Fixture& f) {
       f.add(f.other = QroObjective(f.env, f.x, QroObjectiveI::Maximize));
       f.other.end();
       f.bad.end();
     },
     product({0, 1, 2, 3}, {0, 1})},
    {"the optimum comes back", true, xAtLeast5, [](Fixture& f) { f.bad.end(); }, {{0, 1}}, -1},
};

TEST(ChangesAfterInconsistentModel, SearchesSeeTheModelAsItStands) {
  for (const Case& c : kCases) {
    for (bool edit : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (edit ? " (edit)" : " (no edit)"));
      QroEnv env;
      {
        Fixture f(env);
        if (c.objective) f.add(QroObjective(env, f.x - f.y, QroObjectiveI::Minimize));
        QroSolver solver(f.model, edit ? &QrcEdit : &QrcNoEdit);
        std::vector<QroNumVar> vars = {f.x, f.y};
        EXPECT_FALSE(searchAll(solver, vars, c.objective).solutions.empty());
        c.breakModel(f);
        // Searched twice: the second search changes nothing either.
        for (int k = 0; k < 2; ++k) {
          EXPECT_TRUE(searchAll(solver, vars, c.objective).solutions.empty());
        }
        c.mend(f);
        for (int k = 0; k < 2; ++k) {
          Outcome o = searchAll(solver, vars, c.objective);
          EXPECT_FALSE(o.refused);
          EXPECT_EQ(o.solutions, c.want);
          if (c.objective) {
            EXPECT_EQ(o.objective, c.optimum);
          }
        }
      }
      env.end();
    }
  }
}

// A goal that adds a constraint reversibly in its first branch.
QroExtractableI* g_added = nullptr;
QrcGoalI* addThenOtherBranch(QrcManagerI* m) {
  return new (m)
      QrcOrI(m, new (m) QroAddConstraintSolverI(m, g_added), new (m) QrcGoalTrueI(m), nullptr);
}

TEST(ChangesAfterInconsistentModel, AFailedAdditionInASearchFailsOnlyItsBranch) {
  for (bool exceptions : {true, false}) {
    for (bool edit : {false, true}) {
      QroEnv env;
      {
        Fixture f(env);
        QroSolver solver(f.model, edit ? &QrcEdit : &QrcNoEdit);
        solver.getManagerI()->useExceptions(exceptions);
        QroRange never(env, 5, f.x, 10);
        g_added = never.getImpl();
        EXPECT_TRUE(solver.solve(solvertest::engineGoal(env.getImpl(), addThenOtherBranch)));
        EXPECT_EQ(searchAll(solver, {f.x, f.y}, false).solutions, product({0, 1, 2, 3}, {0, 1}))
            << (exceptions ? "exceptions" : "jumps") << (edit ? " edit" : " no edit");
      }
      env.end();
    }
  }
}

}  // namespace
