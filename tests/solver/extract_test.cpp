#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrosolverpresolve.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcmanager.h"

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
  EXPECT_EQ(with.getManagerI()->getConstraintCount() + 1, without.getManagerI()->getConstraintCount());
  EXPECT_LE(without.getFloatVar(x).getMax(), 4.0);
  env.end();
}

}  // namespace
