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
