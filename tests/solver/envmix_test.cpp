// Objects of two environments never meet on the solver side either: the extra
// constraints refuse arrays (or their elements) of another environment, goals
// refuse variables and goals of another one, and a solver or a solution
// refuses objects, goals and algorithms of another environment (their
// identifiers would name objects of its own). Both environments end cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "qroext.h"

namespace {

struct Envs {
  QroEnv a, b;
  QroNumVar x{a, 0, 3, QroNumVar::Int, "x"};  // identifier 0 of a
  QroNumVar w{a, 0, 3, QroNumVar::Int, "w"};
  QroNumVar y{b, 0, 3, QroNumVar::Int, "y"};  // identifier 0 of b
  QroModel model{a};
  QroSolver solver;
  Envs() {
    model.add(x);
    model.add(w);
    solver = QroSolver(model);
  }
  // Arrays of a holding the given variables.
  QroIntVarArray vars(const QroEnv& env, std::initializer_list<QroNumVar> vs) {
    QroIntVarArray r(env, 0);
    for (const QroNumVar& v : vs) r.add(v);
    return r;
  }
  QroIntArray ints(const QroEnv& env) {
    QroIntArray r(env, 0);
    r.add(1);
    return r;
  }
};

struct Case {
  const char* name;
  std::function<void(Envs&)> mix;
};

QroEnvI* impl(const QroEnv& env) {
  return env.getImpl();
}

const Case kCases[] = {
    {"lexicographic element",
     [](Envs& e) { new (impl(e.a)) QroLeLexI(impl(e.a), e.vars(e.a, {e.x}), e.vars(e.a, {e.y})); }},
    {"lexicographic array",
     [](Envs& e) { new (impl(e.a)) QroGeLexI(impl(e.a), e.vars(e.a, {e.x}), e.vars(e.b, {})); }},
    {"stretch lengths",
     [](Envs& e) {
       new (impl(e.a))
           QroStretchI(impl(e.a), e.vars(e.a, {e.x, e.w}), e.ints(e.a), e.ints(e.b), QroIntArray());
     }},
    {"pattern set",
     [](Envs& e) { new (impl(e.a)) QroPatternI(impl(e.a), e.vars(e.a, {e.x}), e.y.getImpl(), 0); }},
    {"count",
     [](Envs& e) {
       QroIntExprArray exprs(e.a, 0);
       exprs.add(e.y.getImpl());
       new (impl(e.a)) QroIntCountValueEqI(impl(e.a), exprs, 1);
     }},
    {"branching array",
     [](Envs& e) {
       new (impl(e.a)) QroToBranchI(impl(e.a), e.vars(e.a, {e.w, e.y}));
     }},
    {"goal variable", [](Envs& e) { QroNumDichotomize(e.a, e.y, 0, 0.0); }},
    {"and goal",
     [](Envs& e) {
       QroAndGoal(QroNumDichotomize(e.a, e.x, 0, 0.0), QroNumDichotomize(e.b, e.y, 0, 0.0));
     }},
    {"solve goal", [](Envs& e) { e.solver.solve(QroNumDichotomize(e.b, e.y, 0, 0.0)); }},
    {"search goal", [](Envs& e) { e.solver.startNewSearch(QroNumDichotomize(e.b, e.y, 0, 0.0)); }},
    {"value", [](Envs& e) { e.solver.getValue(e.y); }},
    {"engine variable", [](Envs& e) { e.solver.getIntVar(e.y); }},
    {"added object", [](Envs& e) { e.solver.add(e.y); }},
    {"solution of another algorithm",
     [](Envs& e) {
       QroSolution s(e.b);
       s.add(e.y);
       try {
         s.store(e.solver);
       } catch (...) {
         s.end();
         throw;
       }
       s.end();
     }},
};

TEST(SolverEnvironmentMixing, MeetingPointsRefuseObjectsOfAnotherEnvironment) {
  for (const Case& c : kCases)
    for (bool pooled : {true, false}) {
      SCOPED_TRACE(c.name);
      SCOPED_TRACE(pooled ? "pooled" : "unpooled");
      if (!pooled) setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
      Envs e;
      unsetenv("QRO_NO_MEMORY_MANAGER");
      try {
        c.mix(e);
        ADD_FAILURE() << "accepted";
      } catch (const QroWrongUsage& w) {
        EXPECT_NE(std::strstr(w.getMessage(), "mixing mismatch"), nullptr) << w.getMessage();
      }
      // The solver of a still works on its own model.
      int n = 0;
      e.solver.startNewSearch();
      while (e.solver.next()) ++n;
      e.solver.endSearch();
      EXPECT_EQ(n, 16);
      e.solver.end();
      e.b.end();
      e.a.end();
    }
}

}  // namespace
