#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrcfloatexp.h"
#include "qrcmanager.h"

namespace {

struct Design {
  explicit Design(QroEnv& env) : model(env), x(env, 2), F(env, 0.0, 0.5), N(env, 2.0, 10.0) {
    x[0] = QroNumVar(env, 0.25, 1.3);
    x[1] = QroNumVar(env, 0.05, 1.0);
    model.add(1.0 - (QroPower(x[0], 3.0) * N) / (71785.0 * QroPower(x[1], 4.0)) <= 0.0);
    QroNumExpr q = 1.0 / (5.108 * QroPower(x[1], 2.0));
    QroNumExpr c = QroPower(x[1], 3.0);
    QroNumExpr e = QroPower(x[1], 3.0);
    QroNumExpr m = 12.566 * (x[0] * e - c);
    QroNumQuadTermNode t = x[1] * x[0];
    QroNumExpr v = 4.0 * QroPower(x[0], 4.0) - t;
    model.add(v / m + q <= 0.0);
    model.add(1.0 - (140.45 * x[1]) / (QroPower(x[0], 2.0) * N) <= 0.0);
    model.add((x[0] + x[1]) / 1.5 - 1.0 <= 0.0);
    model.add(F == (N + 2.0) * x[0] * QroPower(x[1], 2.0));
  }
  QroModel model;
  QroNumVarArray x;
  QroNumVar F, N;
};

TEST(DesignModel, RootPropagationAndFirstBox) {
  QroEnv env;
  Design d(env);
  QroSolver solver(d.model, &QrcEdit);
  EXPECT_EQ(solver.solve(QroGoal(), 1, 0), 1);
  QrcFloatVar D = solver.getFloatVar(d.x[0]), dd = solver.getFloatVar(d.x[1]), F = solver.getFloatVar(d.F);
  EXPECT_LE(dd.getMax(), 0.13227 + 1e-6);
  EXPECT_GE(D.getMin(), 0.35533 - 1e-6);
  EXPECT_NEAR(F.getMin(), 0.0035533, 1e-6);
  EXPECT_NEAR(F.getMax(), 0.2729121, 1e-6);
  QroGoal goal = QroAndGoal(QroNumDichotomize(env, d.x[0], 0, 0.0), QroNumDichotomize(env, d.x[1], 0, 0.0));
  solver.startNewSearch(goal, 1);
  ASSERT_EQ(solver.next(), 1);
  D = solver.getFloatVar(d.x[0]);
  dd = solver.getFloatVar(d.x[1]);
  EXPECT_NEAR(D.getMin(), 0.3919376828, 1e-9);
  EXPECT_NEAR(dd.getMin(), 0.05, 1e-9);
  EXPECT_THROW(solver.solve(), QroSolver::MultipleSearchException);
  solver.endSearch();
  env.end();
}

}  // namespace
