#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>

#include <pthread.h>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrovar.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrosolverpresolve.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "solver_support.h"

namespace {

TEST(Extraction, FloatVariablesAndDefaultGoal) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0.0, 0.5, QroNumVar::Float, "x");
  QroNumVar y(env, 1.0, 2.0, QroNumVar::Float, "y");
  model.add(x + y <= 2.0);
  QroSolver solver(model);
  QrcFloatVar fx = solver.getFloatVar(x);
  EXPECT_STREQ(fx.getName(), "x");
  EXPECT_EQ(fx.getMin(), 0.0);
  EXPECT_EQ(fx.getMax(), 0.5);
  QroDefaultCPExtractorI* d = solver.getImpl()->getExtractorManager()->getDefaultExtractor();
  ASSERT_NE(d->getDecisionVars()->first, nullptr);
  EXPECT_EQ(d->getDecisionVars()->first->kind, QroDefaultCPExtractorI::FloatVar);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_TRUE(solver.getFloatVar(x).isBound());
  EXPECT_TRUE(solver.getFloatVar(y).isBound());
  EXPECT_LE(solver.getValue(x) + solver.getValue(y), 2.0 + 1e-9);
  env.end();
}

TEST(Extraction, InfeasibleFloatModel) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0.0, 1.0, QroNumVar::Float, "x");
  model.add(QroRange(env, 2.0, x, QroNumVar::Infinity()));
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(QroGoal()), 0);
  env.end();
}

TEST(Extraction, PresolveReplacesTheDefinedVariable) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0.0, 10.0, QroNumVar::Float, "x");
  QroNumVar y(env, 0.0, 10.0, QroNumVar::Float, "y");
  model.add(x == y);
  model.add(y <= 4.0);
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_LE(solver.getFloatVar(x).getMax(), 4.0);
  QroModel loop(env);
  QroNumVar z(env, 0.0, 10.0, QroNumVar::Float, "z");
  loop.add(z == z + 1.0);
  QroSolver second(loop);
  EXPECT_EQ(second.solve(QroGoal()), 0);
  env.end();
}

}  // namespace

namespace {

TEST(Extraction, IntegerOrFloatRule) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Int, "x");
  QroNumVar y(env, 1, 3, QroNumVar::Int, "y");
  QroNumExpr twice = 2.0 * x + 0.0;
  QroNumExpr half = (x + 0.0) / QroNumExprArg(QroNumExpr(y));
  QroNumExpr same = 1.0 * x + 0.0;
  QroNumExpr product = x * y + 0.0;
  QroNumExpr square = QroPower(y, 2.0) + 0.0;
  model.add(twice);
  model.add(half);
  model.add(same);
  model.add(product);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_TRUE(s->isExtractedInt(twice.getImpl()));
  EXPECT_TRUE(s->isExtractedInt(half.getImpl()));
  EXPECT_TRUE(s->isExtractedInt(product.getImpl()));
  QroExtractionRecord* rx = s->getRecord(x.getImpl());
  EXPECT_EQ(s->getRecord(same.getImpl())->intExp, rx->intExp);
  QrcIntExpI* t = s->getRecord(twice.getImpl())->intExp;
  EXPECT_EQ(t->getMin(), 0);
  EXPECT_EQ(t->getMax(), 20);
  QrcIntExpI* h = s->getRecord(half.getImpl())->intExp;
  EXPECT_EQ(h->getMax(), 10);
  QrcIntExpI* p = s->getRecord(product.getImpl())->intExp;
  EXPECT_EQ(p->getMax(), 30);
  // Integer variables are kind-0 decision variables; the default goal binds them.
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(x), 0.0);
  EXPECT_EQ(s->getIntValue(y.getImpl()), 1);
  (void)square;
  env.end();
}

TEST(Extraction, DesignModelFloatVariablesKeepTheirBounds) {
  QroEnv env;
  QroModel model(env);
  QroNumVar F(env, 0.0, 0.5, QroNumVar::Float, "F");
  model.add(F);
  QroSolver solver(model);
  QrcFloatVar f = solver.getFloatVar(F);
  EXPECT_STREQ(f.getName(), "F");
  EXPECT_EQ(f.getMin(), 0.0);
  EXPECT_EQ(f.getMax(), 0.5);
  QroNumVar i(env, 0, 1, QroNumVar::Int);
  EXPECT_THROW(solver.getFloatVar(i), QroSolver::ObjectNotExtracted);
  env.end();
}

}  // namespace

namespace {

TEST(Extraction, PresolveSavesTheEqualityConstraint) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0.0, 10.0, QroNumVar::Float, "x");
  QroNumVar y(env, 0.0, 10.0, QroNumVar::Float, "y");
  model.add(x == y);
  model.add(y <= 4.0);
  QroSolver with(model);
  ASSERT_EQ(with.solve(QroGoal()), 1);
  QroSolver without(model);
  without.getImpl()->setPresolve(0);
  without.getImpl()->extract(model.getImpl());
  ASSERT_EQ(without.solve(QroGoal()), 1);
  EXPECT_EQ(with.getManagerI()->getConstraintCount() + 1,
            without.getManagerI()->getConstraintCount());
  EXPECT_LE(without.getFloatVar(x).getMax(), 4.0);
  env.end();
}

}  // namespace

namespace {

TEST(Extraction, IntegerRangesAndEqualities) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 3, QroNumVar::Int, "y");
  QroNumVar z(env, -10, 10, QroNumVar::Int, "z");
  model.add(QroRange(env, 3.0, x + y, 3.0));
  QroConstraint r = QroRange(env, 0.5, z, 3.7);
  model.add(r);
  QroSolver solver(model);
  // The range's bounds are rounded inward.
  ASSERT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(solver.getIntVar(z).getMin(), 1);
  EXPECT_EQ(solver.getIntVar(z).getMax(), 3);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(x), 0.0);
  EXPECT_EQ(solver.getValue(y), 3.0);
  EXPECT_EQ(solver.getValue(z), 1.0);
  QroModel crossed(env);
  crossed.add(QroRange(env, 0.5, z, 0.7));
  QroSolver second(crossed);
  EXPECT_EQ(second.solve(QroGoal()), 0);
  QroModel wide(env);
  QroConstraint all = QroRange(env, -1e300, z, 1e300);
  wide.add(all);
  QroSolver third(wide);
  EXPECT_EQ(third.getConstraint(all).getImpl(), third.getManagerI()->getTrueConstraint());
  env.end();
}

}  // namespace

namespace {

TEST(Extraction, ConstraintsAsZeroOneVariables) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int, "x");
  QroConstraint c = QroRange(env, 1.0, x, 2.0);
  model.add(c);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QrcIntExpI* b = s->getIntExp(s->getRecord(c.getImpl()));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(s->getIntExp(s->getRecord(c.getImpl())), b);
  EXPECT_EQ(b->getMin(), 0);
  EXPECT_EQ(b->getMax(), 1);
  env.end();
}

TEST(Extraction, IntegerObjectives) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 5, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 5, QroNumVar::Int, "y");
  model.add(QroRange(env, 3.0, x + y, QroNumVar::Infinity()));
  QroObjective cost(env, x + 2.0 * y, QroObjectiveI::Minimize);
  model.add(cost);
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_EQ(solver.getObjValue(), 3.0);
  EXPECT_EQ(solver.getValue(x), 3.0);
  EXPECT_EQ(solver.getValue(y), 0.0);
  QroObjective other(env, x, QroObjectiveI::Maximize);
  EXPECT_THROW(solver.add(other), QroSolver::Exception);
  env.end();
}

TEST(Extraction, MaximisingAnIntegerObjective) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 5, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 5, QroNumVar::Int, "y");
  model.add(QroRange(env, -QroNumVar::Infinity(), x + y, 7.0));
  model.add(QroObjective(env, 2.0 * x + y, QroObjectiveI::Maximize));
  QroSolver solver(model);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getObjValue(), 12.0);
  EXPECT_EQ(solver.getValue(x), 5.0);
  EXPECT_EQ(solver.getValue(y), 2.0);
  env.end();
}

}  // namespace

namespace {

TEST(Extraction, MixedIntegerAndFloatForms) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 4, QroNumVar::Int, "x");
  QroNumVar f(env, 0.0, 10.0, QroNumVar::Float, "f");
  QroNumExpr scaled = 2.5 * x + 0.0;
  QroNumExpr halved = x / 2.0;
  QroNumExpr offset = x + 0.5;
  QroNumExpr mixed = 2.0 * x + f;
  model.add(scaled);
  model.add(halved);
  model.add(offset);
  model.add(mixed);
  model.add(QroRange(env, 1.0, f - x, 1.0));
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_FALSE(s->isExtractedInt(scaled.getImpl()));
  EXPECT_FALSE(s->isExtractedInt(halved.getImpl()));
  EXPECT_FALSE(s->isExtractedInt(offset.getImpl()));
  EXPECT_FALSE(s->isExtractedInt(mixed.getImpl()));
  QrcFloatExpI* e = s->getRecord(scaled.getImpl())->floatExp;
  EXPECT_LE(e->getMin(), 0.0);
  EXPECT_GE(e->getMax(), 10.0);
  EXPECT_LE(e->getMax(), 10.0 + 1e-9);
  ASSERT_EQ(solver.solve(), 1);
  double vx = solver.getValue(x), vf = solver.getValue(f);
  EXPECT_NEAR(vf - vx, 1.0, 1e-6);
  env.end();
}

TEST(Extraction, MaximisedIntegerObjectiveGoesThroughTheFloatView) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 5, QroNumVar::Int, "x");
  model.add(QroObjective(env, x + 0.0, QroObjectiveI::Maximize));
  QroSolver solver(model);
  EXPECT_EQ(solver.getImpl()->getIntObjective(), nullptr);
  EXPECT_NE(solver.getImpl()->getFloatObjective(), nullptr);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getObjValue(), 5.0);
  env.end();
}

}  // namespace

namespace {

// A coefficient is an integer one only when an engine integer holds it.
TEST(Extraction, CoefficientsBeyondEngineIntegersGiveFloatTerms) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 1, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 2, QroNumVar::Int, "y");
  QroNumExpr huge = 9007199254740992.0 * x + 0.0;
  QroNumExpr both = 9007199254740992.0 * x + 3.0 * y;
  QroNumExpr largest = 9007199254740991.0 * x + 0.0;
  model.add(huge);
  model.add(both);
  model.add(largest);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  ASSERT_FALSE(s->isExtractedInt(huge.getImpl()));
  QrcFloatExpI* h = s->getRecord(huge.getImpl())->floatExp;
  EXPECT_EQ(h->getMin(), 0.0);
  EXPECT_EQ(h->getMax(), 9007199254740992.0);
  ASSERT_FALSE(s->isExtractedInt(both.getImpl()));
  QrcFloatExpI* b = s->getRecord(both.getImpl())->floatExp;
  EXPECT_EQ(b->getMin(), 0.0);
  EXPECT_GE(b->getMax(), 9007199254740998.0);
  EXPECT_TRUE(s->isExtractedInt(largest.getImpl()));
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  env.end();
}

}  // namespace

namespace {

// The default goal binds the integer variables in order, smallest value first.
TEST(Extraction, DefaultGoalOverAnIntegerEquality) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 3, QroNumVar::Int, "y");
  QroNumExprArg three = 0.0 * y + 3.0;
  model.add(x + y == three);
  QroSolver solver(model);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(x), 0.0);
  EXPECT_EQ(solver.getValue(y), 3.0);
  // Through a presolved definition of x the equality still holds.
  QroModel defined(env);
  defined.add(x == 3.0 - y);
  QroSolver second(defined);
  ASSERT_EQ(second.solve(), 1);
  EXPECT_EQ(second.getValue(x) + second.getValue(y), 3.0);
  env.end();
}

}  // namespace

namespace {

QroNumVar enumeratedInt(QroEnv& env, std::initializer_list<QroInt> list, const char* name) {
  QroIntArray values(env, 0);
  for (QroInt v : list) values.add(v);
  QroEnvI* e = env.getImpl();
  void* p = e->alloc(sizeof(QroIntVarDomainI));
  return QroNumVar(new (e) QroNumVarI(e, new (p) QroIntVarDomainI(values, 0), name));
}

// Enumerated variables, a 0-1 one included, become engine integer variables
// over their values, with records that the default goal can bind.
TEST(Extraction, EnumeratedVariables) {
  QroEnv env;
  QroModel model(env);
  QroNumVar b = enumeratedInt(env, {0, 1}, "b");
  QroNumVar v = enumeratedInt(env, {2, 5, 9}, "v");
  ASSERT_EQ(b.getType(), QroNumVar::Bool);
  model.add(b);
  model.add(QroRange(env, 3.0, v, 20.0));
  QroSolver solver(model);
  QrcIntVar eb = solver.getIntVar(b);
  EXPECT_EQ(eb.getMin(), 0);
  EXPECT_EQ(eb.getMax(), 1);
  ASSERT_EQ(solver.solve(QroGoal()), 1);
  QrcIntVar ev = solver.getIntVar(v);
  EXPECT_EQ(ev.getMin(), 5);
  EXPECT_EQ(ev.getMax(), 9);
  EXPECT_FALSE(ev.isInDomain(7));
  EXPECT_TRUE(solver.isInteger(b));
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(b), 0.0);
  EXPECT_EQ(solver.getValue(v), 5.0);
  env.end();
}

}  // namespace

namespace {

// An objective over a constraint optimises the constraint's 0-1 truth.
TEST(Extraction, ObjectiveOverAConstraint) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 4, QroNumVar::Int, "x");
  QroConstraint c = QroRange(env, 2.0, x, 3.0);
  model.add(x);
  model.add(QroObjective(env, QroNumExprArg(static_cast<QroConstraintI*>(c.getImpl())),
                         QroObjectiveI::Maximize));
  QroSolver solver(model);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getObjValue(), 1.0);
  EXPECT_GE(solver.getValue(x), 2.0);
  EXPECT_LE(solver.getValue(x), 3.0);
  env.end();
}

}  // namespace

namespace {

// An integer variable defined by a constraint is the constraint's 0-1 truth.
TEST(Extraction, VariableDefinedByAConstraint) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 5, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 9, QroNumVar::Int, "y");
  QroConstraint c = QroRange(env, 2.0, y, 3.0);
  model.add(x == QroNumExprArg(static_cast<QroConstraintI*>(c.getImpl())));
  model.add(QroRange(env, 1.0, x, 1.0));
  QroSolver solver(model);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(solver.getValue(x), 1.0);
  EXPECT_GE(solver.getValue(y), 2.0);
  EXPECT_LE(solver.getValue(y), 3.0);
  env.end();
}

}  // namespace

namespace {

// A range bound that is not a number makes the model inconsistent, in the
// integer form as in the float form.
TEST(Extraction, RangesWithANaNBoundAreInconsistent) {
  QroEnv env;
  std::ostringstream err;
  env.getImpl()->setError(err);
  for (int k = 0; k < 4; ++k) {
    QroModel model(env);
    QroNumVar x(env, 0, 4, k < 2 ? QroNumVar::Int : QroNumVar::Float, "x");
    double nan = std::nan("");
    model.add(k % 2 ? QroRange(env, nan, x, 2.0) : QroRange(env, 1.0, x, nan));
    EXPECT_THROW(QroSolver(model, &QrcNoEdit), QroSolver::ModelInconsistent) << k;
    if (k < 2) {
      // In edit mode the integer form fails at the first propagation.
      QroSolver edit(model, &QrcEdit);
      EXPECT_EQ(edit.solve(QroGoal()), 0) << k;
    }
  }
  env.end();
}

}  // namespace

namespace {

// Nesting depths of the expressions below, and the stack they run on (0 for
// the main thread's, else a thread of that many KiB): extraction, propagation
// and the environment's end all recurse as deep as the expression.
class DeepNesting : public ::testing::TestWithParam<std::pair<int, size_t>> {
 protected:
  int levels() const { return GetParam().first; }
  // One model holds e in [lo, hi], the other e in [bad, bad + 1]: the first
  // propagates, the second fails.
  void check(QroEnv env, const QroNumExprArg& e, QroNum lo, QroNum hi, QroNum bad) {
    QroModel feasible(env), infeasible(env);
    feasible.add(QroRange(env, lo, e, hi));
    infeasible.add(QroRange(env, bad, e, bad + 1.0));
    QroSolver first(feasible);
    EXPECT_EQ(first.solve(QroGoal()), 1);
    QroSolver second(infeasible);
    EXPECT_EQ(second.solve(QroGoal()), 0);
  }
  void onStack(const std::function<void()>& f) {
    size_t kib = GetParam().second;
    if (kib == 0) return f();
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, kib * 1024), 0);
    pthread_t thread;
    auto body = [](void* p) -> void* {
      (*static_cast<const std::function<void()>*>(p))();
      return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, body, const_cast<std::function<void()>*>(&f)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
  }
};

TEST_P(DeepNesting, FloatChains) {
  onStack([this] {
    QroEnv env;
    QroNumVar x(env, 0.0, 1.0, QroNumVar::Float, "x");
    // sqrt(1 + sqrt(1 + ... sqrt(1 + x))) tends to the golden ratio.
    QroNumExprArg e = x;
    for (int i = 0; i < levels(); ++i) e = QroPower(e + 1.0, 0.5);
    check(env, e, 1.6, 1.7, 2.0);
    env.end();
  });
}

TEST_P(DeepNesting, IntegerChains) {
  onStack([this] {
    QroEnv env;
    // b[n-1] * (... (b[1] * (b[0] + 1) + 1) ...) + 1 over 0-1 variables.
    QroNumExprArg e = QroNumExprArg(QroNumVar(env, 0, 1, QroNumVar::Bool)) + 1.0;
    for (int i = 1; i < levels(); ++i)
      e = QroNumExprArg(QroNumVar(env, 0, 1, QroNumVar::Bool)) * e + 1.0;
    check(env, e, 1.0, 2.0, -5.0);
    env.end();
  });
}

// A thread's stack of 256 KiB, under twice the room kept at a stack's end, is
// still known: the walk moves to stack segments as on a larger one.
INSTANTIATE_TEST_SUITE_P(Levels, DeepNesting,
                         ::testing::Values(std::make_pair(10000, size_t{0}),
                                           std::make_pair(100000, size_t{0}),
                                           std::make_pair(20000, size_t{256})));

}  // namespace

namespace {

// Expressions and constraints of classes the solver does not know: the
// records of their abstract bases refuse them with the extractable named.
template <class Base>
class Unknown : public Base {
 public:
  explicit Unknown(QroEnvI* env) : Base(env) {}
  QroExtractableI* makeClone(QroEnvI* env) const override { return new (env) Unknown(env); }
  QroNum eval(QroAlgorithmI*) const override { return 0; }
  void visitSubExtractables(QroExtractableVisitor*) override {}
};

template <class E>
std::string refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const E& e) {
    EXPECT_EQ(e.getExtractables().getSize(), 1);
    return solvertest::printed(e);
  } catch (const QroException& e) {
    return "another exception: " + solvertest::printed(e);
  }
  return "nothing thrown";
}

TEST(Extraction, UnknownSubclassesAreRefusedByTheirBases) {
  QroEnv env;
  QroModel model(env);
  model.add(QroNumVar(env, 0, 3, QroNumVar::Int));
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QroEnvI* e = env.getImpl();
  QroExtractableI* unknown[] = {new (e) Unknown<QroNumExprI>(e), new (e) Unknown<QroIntExprI>(e),
                                new (e) Unknown<QroConstraintI>(e)};
  for (QroExtractableI* x : unknown) {
    std::string id = std::to_string(x->getId());
    EXPECT_EQ(refusal<QroAlgorithm::CannotExtractException>([&] { x->extract(s); }),
              "QroAlgorithm cannot extract extractable " + id);
    // The removal's text names the algorithm by address.
    const std::string removal = " cannot remove extractable " + id;
    for (int change = 0; change < 2; ++change) {
      std::string text = refusal<QroAlgorithm::CannotRemoveException>([&] {
        if (change)
          x->change(s, nullptr);
        else
          x->remove(s, nullptr);
      });
      ASSERT_GE(text.size(), removal.size()) << text;
      EXPECT_EQ(text.substr(text.size() - removal.size()), removal);
    }
  }
  // A model member the solver cannot extract: the refusal is printed, and the
  // model is not loaded.
  std::ostringstream err;
  QroSolverI* other = new (e) QroSolverI(e, &QrcEdit);
  other->setError(err);
  QroModel bad(env);
  bad.add(QroConstraint(static_cast<QroConstraintI*>(unknown[2])));
  EXPECT_THROW(other->extract(bad.getImpl()), QroAlgorithm::CannotExtractException);
  EXPECT_EQ(err.str(), "QroAlgorithm cannot extract extractable " +
                           std::to_string(unknown[2]->getId()) + "\n");
  env.end();
}

}  // namespace
