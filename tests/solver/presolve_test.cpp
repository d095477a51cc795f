#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qrosolveri.h"
#include "qrosolverpresolve.h"
#include "qrolinear.h"
#include "qrooperators.h"
#include "qrcmanager.h"
#include "solver_support.h"
#include "support/model_search.h"

namespace {

class Presolve : public ::testing::Test {
 protected:
  void SetUp() override {
    QroModel empty(env);
    solver = QroSolver(empty);
    p = solver.getImpl()->getPresolve();
    model = QroModel(env);
  }
  void TearDown() override { env.end(); }
  void run() {
    p->reset();
    p->run(model.getImpl());
  }
  QrcPresolvedNumVarI* definition(const QroNumVar& v) {
    return static_cast<QrcPresolvedNumVarI*>(
        p->findInformation(v.getImpl(), QrcPresolvedNumVarI::GetTypeInfo()));
  }
  QrcPresolvedNumEqI* reduced(const QroConstraint& c) {
    return static_cast<QrcPresolvedNumEqI*>(
        p->findInformation(c.getImpl(), QrcPresolvedNumEqI::GetTypeInfo()));
  }
  QroEnv env;
  QroSolver solver;
  QroCPPresolveI* p = nullptr;
  QroModel model;
};

TEST_F(Presolve, VariableDefinedByAnotherReducesTheLeftSide) {
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x"), y(env, 0, 10, QroNumVar::Float, "y");
  QroConstraint eq = (x == y);
  model.add(eq);
  run();
  ASSERT_NE(definition(x), nullptr);
  EXPECT_EQ(definition(x)->getExpr(), y.getImpl());
  EXPECT_EQ(definition(y), nullptr);
  ASSERT_NE(reduced(eq), nullptr);
  EXPECT_EQ(reduced(eq)->getSide(), 0);
  EXPECT_EQ(reduced(eq)->isInteger(), 0);
}

TEST_F(Presolve, RightSideAndIntegerForms) {
  QroNumVar x(env, 0, 10, QroNumVar::Int, "x"), y(env, 0, 10, QroNumVar::Int, "y");
  QroNumVar f(env, 0, 10, QroNumVar::Float, "f");
  QroConstraint a = (2.0 * y == x);  // left is not a variable: the right one is defined
  model.add(a);
  run();
  ASSERT_NE(definition(x), nullptr);
  EXPECT_EQ(reduced(a)->getSide(), 1);
  EXPECT_EQ(reduced(a)->isInteger(), 1);
  // An integer variable equal to a float expression stops the rule.
  QroModel other(env);
  QroConstraint b = (y == f);
  other.add(b);
  p->reset();
  p->run(other.getImpl());
  EXPECT_EQ(definition(y), nullptr);
  EXPECT_EQ(definition(f), nullptr);
  EXPECT_EQ(reduced(b), nullptr);
}

TEST_F(Presolve, RefusedEqualities) {
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x"), y(env, 0, 10, QroNumVar::Float, "y");
  QroNumVar z(env, 0, 10, QroNumVar::Float, "z");
  QroNumVar b(env, 0, 1, QroNumVar::Bool, "b"), c(env, 0, 1, QroNumVar::Bool, "c");
  QroConstraint self = (x == x + 1.0);
  QroConstraint first = (y == z);
  QroConstraint second = (y == x * 2.0);  // y is already defined
  QroConstraint boolean = (b == c);
  model.add(self);
  model.add(first);
  model.add(second);
  model.add(boolean);
  run();
  EXPECT_EQ(reduced(self), nullptr);
  EXPECT_EQ(definition(x), nullptr);
  ASSERT_NE(definition(y), nullptr);
  EXPECT_EQ(definition(y)->getExpr(), z.getImpl());
  EXPECT_EQ(reduced(second), nullptr);
  EXPECT_EQ(reduced(boolean), nullptr);
  EXPECT_EQ(definition(b), nullptr);
  EXPECT_EQ(definition(c), nullptr);
}

TEST_F(Presolve, TraceAndBacktracking) {
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x"), y(env, 0, 10, QroNumVar::Float, "y");
  QroConstraint eq = (x == y);
  model.add(eq);
  std::ostringstream os;
  solver.getImpl()->setOut(os);
  p->setTraceLevel(1);
  run();
  std::string text = os.str();
  // A member of the model is at depth 1 (the model itself at 0).
  EXPECT_NE(text.find("Firing rule [ReduceNumEqI] at depth 1 and at top level\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Adding information <Presolved NumEqI, left, float> for extractable "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Adding information <Presolved Num Var -> "), std::string::npos) << text;
  // Information added inside a choice point goes with it.
  QrcManagerI* m = solver.getManagerI();
  QroNumVar w(env, 0, 1, QroNumVar::Float, "w");
  m->pushState();
  p->addInformation(w.getImpl(), new (m) QrcPresolvedNumVarI(nullptr));
  EXPECT_NE(definition(w), nullptr);
  m->popState();
  EXPECT_EQ(definition(w), nullptr);
  EXPECT_NE(definition(x), nullptr);
}

TEST_F(Presolve, ManyInformationListsGrowTheMap) {
  QroNumVar y(env, 0, 10, QroNumVar::Float, "y");
  QroNumVarArray vars(env, 0);
  for (int i = 0; i < 400; ++i) {
    QroNumVar v(env, 0, 10, QroNumVar::Float);
    vars.add(v);
    model.add(v == y + double(i));
  }
  run();
  for (int i = 0; i < 400; ++i) ASSERT_NE(definition(vars[i]), nullptr) << i;
}

TEST_F(Presolve, NestedEqualitiesAreNotReduced) {
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x"), y(env, 0, 10, QroNumVar::Float, "y");
  QroNumVar z(env, 0, 10, QroNumVar::Float, "z");
  QroConstraint inner = (x == y);
  QroConstraint other = (y == z);
  QroNumExprArg a(static_cast<QroConstraintI*>(inner.getImpl()));
  QroNumExprArg b(static_cast<QroConstraintI*>(other.getImpl()));
  model.add(QroRange(env, 1.0, a + b, 2.0));
  std::ostringstream os;
  solver.getImpl()->setOut(os);
  p->setTraceLevel(1);
  run();
  // Model, range, sum, equality: the rule fires below the top level.
  EXPECT_EQ(os.str(),
            "Firing rule [ReduceNumEqI] at depth 3\nFiring rule [ReduceNumEqI] at depth 3\n");
  EXPECT_EQ(reduced(inner), nullptr);
  EXPECT_EQ(reduced(other), nullptr);
  EXPECT_EQ(definition(x), nullptr);
  EXPECT_EQ(definition(y), nullptr);
  EXPECT_EQ(definition(z), nullptr);
}

}  // namespace

namespace {

// Models whose equalities presolve turns into definitions. A variable that
// presolve defines is extracted after the variables of its definition, so
// with presolve on the default search labels them first (order: the
// positions of x0..x4 in the labelling order); with presolve off it labels
// x0..x4 as the model lists them.
struct DefinitionCase {
  const char* name;
  std::function<void(QroEnv&, QroModel&, const std::vector<QroNumVar>&)> build;
  std::function<bool(const std::vector<int64_t>&)> check;
  std::vector<size_t> order;
};

// Every solution of the default search over x0..x4 in 0..4, in the order
// found.
std::vector<std::vector<int64_t>> searchWithPresolve(const DefinitionCase& c, bool presolve) {
  QroEnv env;
  QroModel model(env), empty(env);
  std::vector<QroNumVar> x;
  for (int i = 0; i < 5; ++i) {
    x.emplace_back(env, 0, 4, QroNumVar::Int);
    model.add(x.back());
  }
  c.build(env, model, x);
  QroSolver solver(empty);
  solver.getImpl()->setPresolve(presolve);
  solver.getImpl()->extract(model.getImpl());
  std::vector<std::vector<int64_t>> found;
  solver.startNewSearch();
  while (solver.next()) {
    std::vector<int64_t> a;
    for (const QroNumVar& v : x) a.push_back(static_cast<int64_t>(solver.getValue(v)));
    found.push_back(a);
  }
  solver.endSearch();
  env.end();
  return found;
}

// The solutions sorted as a search labelling the positions in order, smallest
// value first, finds them.
std::vector<std::vector<int64_t>> inLabellingOrder(std::vector<std::vector<int64_t>> solutions,
                                                   const std::vector<size_t>& order) {
  std::sort(solutions.begin(), solutions.end(),
            [&](const std::vector<int64_t>& a, const std::vector<int64_t>& b) {
              for (size_t p : order)
                if (a[p] != b[p]) return a[p] < b[p];
              return false;
            });
  return solutions;
}

TEST(PresolveSearch, ADefinedVariableIsLabelledAfterItsDefinition) {
  const DefinitionCase cases[] = {
      {"x0 == 4 - x3",
       [](QroEnv&, QroModel& m, const std::vector<QroNumVar>& x) { m.add(x[0] == 4.0 - x[3]); },
       [](const std::vector<int64_t>& a) { return a[0] == 4 - a[3]; },
       {3, 0, 1, 2, 4}},
      {"x0 == x3 + x4 - 2",
       [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& x) {
         m.add(x[0] == x[3] + x[4] - 2.0);
         m.add(QroRange(env, 5, x[0] + x[1] + x[2], 6));
       },
       [](const std::vector<int64_t>& a) {
         return a[0] == a[3] + a[4] - 2 && a[0] + a[1] + a[2] >= 5 && a[0] + a[1] + a[2] <= 6;
       },
       {3, 4, 0, 1, 2}},
      {"x1 == 2 x4 - x2, x0 == x3 + 1",
       [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& x) {
         m.add(x[1] == 2.0 * x[4] - x[2]);
         m.add(x[0] == x[3] + 1.0);
         m.add(QroRange(env, 3, x[0] + x[1] - x[4], 4));
       },
       [](const std::vector<int64_t>& a) {
         return a[1] == 2 * a[4] - a[2] && a[0] == a[3] + 1 && a[0] + a[1] - a[4] >= 3 &&
                a[0] + a[1] - a[4] <= 4;
       },
       {3, 0, 4, 2, 1}},
      // A product of variables is no integer expression: x2 stays a variable.
      {"x2 == x3 * x4 + x0",
       [](QroEnv&, QroModel& m, const std::vector<QroNumVar>& x) {
         m.add(x[2] == x[3] * x[4] + x[0]);
       },
       [](const std::vector<int64_t>& a) { return a[2] == a[3] * a[4] + a[0]; },
       {0, 1, 2, 3, 4}},
      {"x2 == (x3 + 1) * (x4 + 1) - x0 - 1",
       [](QroEnv&, QroModel& m, const std::vector<QroNumVar>& x) {
         m.add(x[2] == (x[3] + 1.0) * (x[4] + 1.0) - x[0] - 1.0);
       },
       [](const std::vector<int64_t>& a) { return a[2] == (a[3] + 1) * (a[4] + 1) - a[0] - 1; },
       {0, 1, 3, 4, 2}},
  };
  for (const DefinitionCase& c : cases) {
    qrotest::ModelCase all;
    all.values.assign(5, {0, 1, 2, 3, 4});
    all.check = c.check;
    std::vector<std::vector<int64_t>> expected = qrotest::checkerSolutions(all);
    EXPECT_EQ(searchWithPresolve(c, true), inLabellingOrder(expected, c.order)) << c.name;
    EXPECT_EQ(searchWithPresolve(c, false), inLabellingOrder(expected, {0, 1, 2, 3, 4})) << c.name;
  }
}

}  // namespace
