#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrosolverpresolve.h"
#include "qrcfloatexp.h"
#include "qrcmanager.h"

namespace {

// The design model, built step by step in the order the program builds it.
struct Design {
  explicit Design(QroEnv& env) : model(env), x(env, 2), F(env, 0.0, 0.5), N(env, 2.0, 10.0) {
    x[0] = QroNumVar(env, 0.25, 1.3);
    x[1] = QroNumVar(env, 0.05, 1.0);
    {
      QroNumExprArg a = QroPower(x[1], 4.0);
      QroNumExprArg b = 71785.0 * a;
      QroNumExprArg c = QroPower(x[0], 3.0);
      QroNumExprArg e = c * N;
      QroNumExprArg f = e / b;
      QroNumExprArg g = 1.0 - f;
      model.add(g <= 0.0);
    }
    {
      QroNumExprArg a = QroPower(x[1], 2.0);
      QroNumExprArg b = 5.108 * a;
      QroNumExprArg q = 1.0 / b;
      QroNumExprArg c = QroPower(x[1], 3.0);
      QroNumExprArg e = QroPower(x[1], 3.0);
      QroNumExprArg f = x[0] * e;
      QroNumExprArg s = f - c;
      QroNumExprArg m = 12.566 * s;
      QroNumQuadTermNode t = x[1] * x[0];
      QroNumExprArg p = QroPower(x[0], 4.0);
      QroNumExprArg u = 4.0 * p;
      QroNumExprArg v = u - t;
      QroNumExprArg w = v / m;
      QroNumExprArg z = w + q;
      model.add(z <= 0.0);
    }
    {
      QroNumExprArg l = 140.45 * x[1];
      QroNumExprArg a = QroPower(x[0], 2.0);
      QroNumExprArg b = a * N;
      QroNumExprArg f = l / b;
      QroNumExprArg g = 1.0 - f;
      model.add(g <= 0.0);
    }
    {
      QroNumExprArg s = x[0] + x[1];
      QroNumExprArg f = s / 1.5;
      QroNumExprArg g = f - 1.0;
      model.add(g <= 0.0);
    }
    {
      QroNumExprArg a = QroPower(x[1], 2.0);
      QroNumExprArg s = N + 2.0;
      QroNumExprArg m = s * x[0];
      QroNumExprArg p = m * a;
      model.add(F == p);
    }
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

namespace {

// Interval arithmetic widened by one unit in the last place after each
// operation: a sound enclosure of the real result.
struct Box {
  double lo, hi;
};
Box widen(double a, double b) { return {std::nextafter(a, -INFINITY), std::nextafter(b, INFINITY)}; }
Box add(Box a, Box b) { return widen(a.lo + b.lo, a.hi + b.hi); }
Box sub(Box a, Box b) { return widen(a.lo - b.hi, a.hi - b.lo); }
Box mul(Box a, Box b) {
  double p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  return widen(*std::min_element(p, p + 4), *std::max_element(p, p + 4));
}
Box div(Box a, Box b) {
  // Divisors here are positive.
  return mul(a, widen(1.0 / b.hi, 1.0 / b.lo));
}
Box cst(double c) { return {c, c}; }
Box pw(Box a, int n) {
  Box r = cst(1.0);
  for (int i = 0; i < n; ++i) r = mul(r, a);
  return r;
}

TEST(DesignModel, FirstBoxSatisfiesTheConstraints) {
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  solver.solve(QroGoal(), 1, 0);
  solver.startNewSearch(
      QroAndGoal(QroNumDichotomize(env, m.x[0], 0, 0.0), QroNumDichotomize(env, m.x[1], 0, 0.0)), 1);
  ASSERT_EQ(solver.next(), 1);
  QrcFloatVar fD = solver.getFloatVar(m.x[0]), fd = solver.getFloatVar(m.x[1]);
  QrcFloatVar fF = solver.getFloatVar(m.F), fN = solver.getFloatVar(m.N);
  EXPECT_TRUE(fD.isBound());
  EXPECT_TRUE(fd.isBound());
  EXPECT_LE(fD.getMax() - fD.getMin(), 1e-10 * std::max(1.0, fD.getMax()));
  Box D{fD.getMin(), fD.getMax()}, d{fd.getMin(), fd.getMax()}, N{fN.getMin(), fN.getMax()};
  Box F{fF.getMin(), fF.getMax()};
  EXPECT_LE(fd.getMax() - fd.getMin(), 1e-10 * std::max(1.0, fd.getMax()));
  EXPECT_NEAR(D.lo, 0.391937682776053, 1e-9);
  EXPECT_NEAR(D.hi, 0.3919376828662384, 1e-9);
  EXPECT_NEAR(d.lo, 0.05, 1e-10);
  EXPECT_LE(d.hi, 0.0500000000381 + 1e-12);
  // Strong propagation reaches the first box after 17 failures and 48 nodes;
  // far more means weak propagation.
  QrcManagerI* manager = solver.getManagerI();
  EXPECT_LE(manager->getFails(), 2 * 17);
  EXPECT_LE(manager->getChoicePointCount(), 2 * 48);
  Box c1 = sub(cst(1.0), div(mul(pw(D, 3), N), mul(cst(71785.0), pw(d, 4))));
  Box c2 = add(div(sub(mul(cst(4.0), pw(D, 4)), mul(d, D)), mul(cst(12.566), sub(mul(D, pw(d, 3)), pw(d, 3)))),
               div(cst(1.0), mul(cst(5.108), pw(d, 2))));
  Box c3 = sub(cst(1.0), div(mul(cst(140.45), d), mul(pw(D, 2), N)));
  Box c4 = sub(div(add(D, d), cst(1.5)), cst(1.0));
  Box p = mul(mul(add(N, cst(2.0)), D), pw(d, 2));
  EXPECT_LE(c1.lo, 0.0);
  EXPECT_LE(c2.lo, 0.0);
  EXPECT_LE(c3.lo, 0.0);
  EXPECT_LE(c4.lo, 0.0);
  EXPECT_LE(std::max(F.lo, p.lo), std::min(F.hi, p.hi));
  solver.endSearch();
  env.end();
}

TEST(DesignModel, PresolveDefinesFByItsProduct) {
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  QroCPPresolveI* p = solver.getImpl()->getPresolve();
  QrcPresolvedNumVarI* def = static_cast<QrcPresolvedNumVarI*>(
      p->findInformation(m.F.getImpl(), QrcPresolvedNumVarI::GetTypeInfo()));
  ASSERT_NE(def, nullptr);
  QrcFloatVar F = solver.getFloatVar(m.F);
  // F's engine variable is the product itself, narrowed to F's bounds.
  QroExtractionRecord* product = solver.getImpl()->getRecord(def->getExpr());
  ASSERT_NE(product, nullptr);
  EXPECT_EQ(product->floatExp, F.getImpl());
  EXPECT_GE(F.getMin(), 0.0);
  EXPECT_LE(F.getMax(), 0.5);
  // Four range constraints are posted; the equality became F's own definition.
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  env.end();
}

TEST(DesignModel, FeasiblePointStaysInsideTheRootBox) {
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  ASSERT_EQ(solver.solve(QroGoal()), 1);
  QrcFloatVar D = solver.getFloatVar(m.x[0]), d = solver.getFloatVar(m.x[1]), N = solver.getFloatVar(m.N);
  EXPECT_LE(D.getMin(), 0.3992);
  EXPECT_GE(D.getMax(), 0.3992);
  EXPECT_LE(d.getMin(), 0.0534);
  EXPECT_GE(d.getMax(), 0.0534);
  EXPECT_LE(N.getMin(), 9.18);
  EXPECT_GE(N.getMax(), 9.18);
  env.end();
}

}  // namespace
