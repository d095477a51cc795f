#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <sstream>
#include <vector>

#include "qromodel.h"
#include "qrosolveri.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatexp.h"
#include "qrcfloatgoals.h"
#include "qrcfloatvararray.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"

namespace {

std::string shown(const QroGoal& g) {
  std::ostringstream os;
  os << g;
  return os.str();
}

TEST(SearchGoals, FloatSplitPoints) {
  EXPECT_EQ(QrcFloatSplitPoint(-HUGE_VAL, HUGE_VAL), 0.0);
  EXPECT_EQ(QrcFloatSplitPoint(-HUGE_VAL, 5.0), -DBL_MAX);
  EXPECT_EQ(QrcFloatSplitPoint(5.0, HUGE_VAL), DBL_MAX);
  EXPECT_EQ(QrcFloatSplitPoint(2.0, 4.0), 3.0);
  EXPECT_EQ(QrcFloatSplitPoint(-DBL_MAX, DBL_MAX), 0.0);
}

TEST(SearchGoals, FloatBisectionOrder) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 2.0, 4.0, QroNumVar::Float, "x");
  model.add(x);
  QroSolver solver(model);
  solver.startNewSearch(QroNumDichotomize(env, x, 1, 0.0));
  ASSERT_EQ(solver.next(), 1);
  EXPECT_GE(solver.getFloatVar(x).getMin(), 3.0);  // upper half first
  solver.endSearch();
  solver.startNewSearch(QroNumDichotomize(env, x, 0, 0.0));
  ASSERT_EQ(solver.next(), 1);
  EXPECT_LE(solver.getFloatVar(x).getMax(), 3.0);
  solver.endSearch();
  env.end();
}

TEST(SearchGoals, FloatBisectionOfAZeroPrecisionVariableEnds) {
  QrcManagerI* m = new QrcManagerI(&QrcNoEdit);
  QrcFloatVar x(QrcManager(m), 1.0, std::nextafter(1.0, 2.0), 0.0, "x");
  QrcGoal g = QrcInstantiate(x, 0, 0.0);
  EXPECT_EQ(m->solve(g.getImpl(), false), 1);
  delete m;
}

TEST(SearchGoals, IntegerBisectionOrder) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 3, 5, QroNumVar::Int, "x");
  model.add(x);
  QroSolver solver(model);
  for (QroInt option : {1, 0}) {
    std::vector<QroNum> seen;
    solver.startNewSearch(QroNumDichotomize(env, x, option, 0.5));
    while (solver.next()) seen.push_back(solver.getValue(x));
    solver.endSearch();
    EXPECT_EQ(seen, option ? (std::vector<QroNum>{5, 4, 3}) : (std::vector<QroNum>{3, 4, 5}));
  }
  env.end();
}

TEST(SearchGoals, IntegerGoalsOnTheEngine) {
  QrcManagerI* m = new QrcManagerI(&QrcNoEdit);
  QrcManager mh(m);
  QrcIntVar x(mh, -3, 0, "x");
  // Bisection of [-3, 0] splits at -1 (truncation toward zero).
  QrcGoal g = QrcDichotomize(x, 0);
  QrcSearchI* s = m->newSearch(g.getImpl());
  std::vector<QrcInt> seen;
  while (s->next()) seen.push_back(x.getValue());
  s->end();
  EXPECT_EQ(seen, (std::vector<QrcInt>{-3, -2, -1, 0}));
  QrcIntVarArray vars(mh, 2, 0, 1);
  s = m->newSearch(QrcGenerate(vars).getImpl());
  int n = 0;
  while (s->next()) ++n;
  s->end();
  EXPECT_EQ(n, 4);
  delete m;
}

TEST(SearchGoals, Displays) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 2.0, 4.0, QroNumVar::Float, "x");
  model.add(x);
  QroSolver solver(model);
  QroGoal d = QroNumDichotomize(env, x, 1, 0.0);
  std::ostringstream expected;
  expected << "QroNumDichotomize(" << static_cast<const void*>(x.getImpl()) << ", 1, 0)";
  EXPECT_EQ(shown(d), expected.str());
  std::ostringstream os;
  QrcInstantiate(solver.getFloatVar(x), 1, 0.0).getImpl()->display(os);
  os << " ";
  QrcFloatVarArray a(solver.getManager(), 1, solver.getFloatVar(x));
  QrcGenerate(a, QrcChooseFirstUnboundFloat, 1, 0.0).getImpl()->display(os);
  EXPECT_EQ(os.str(), "QrcFloatVarInstantiate QrcFloatGenerate");
  EXPECT_THROW(QroNumDichotomize(env, QroNumVar(env, 0, 1), 1, 0.0).getImpl()->extract(solver),
               QroSolver::ObjectNotExtracted);
  env.end();
}

}  // namespace

namespace {

TEST(SearchGoals, GenerateOverBoundVariablesNeedsNoChoice) {
  QrcManagerI* m = new QrcManagerI(&QrcNoEdit);
  QrcManager mh(m);
  QrcFloatVarArray a(mh, 2);
  a.set(0, QrcFloatVar(mh, 1.0, 1.0));
  a.set(1, QrcFloatVar(mh, 2.0, 2.0));
  EXPECT_EQ(QrcChooseFirstUnboundFloat(a), -1);
  EXPECT_EQ(QrcChooseFirstUnboundFloat(QrcFloatVarArray()), -1);
  QrcInt before = m->getChoicePointCount();
  EXPECT_EQ(m->solve(QrcGenerate(a, QrcChooseFirstUnboundFloat, 1, 0.0).getImpl(), false), 1);
  EXPECT_EQ(m->getChoicePointCount(), before);
  a.set(1, QrcFloatVar(mh, 0.0, 1.0));
  EXPECT_EQ(QrcChooseFirstUnboundFloat(a), 1);
  delete m;
}

TEST(SearchGoals, HandleQueriesOfVariables) {
  QroEnv env;
  QroEnv other;
  QroModel model(env);
  QroNumVar i(env, 0, 3, QroNumVar::Int, "i");
  QroNumVar f(env, 0.0, 1.0, QroNumVar::Float, "f");
  model.add(i);
  model.add(f);
  QroSolver solver(model);
  EXPECT_THROW(solver.getFloatVar(i), QroSolver::VariableShouldBeFloat);
  EXPECT_EQ(solver.getIntVar(i).getMax(), 3);
  EXPECT_THROW(solver.getFloatVar(QroNumVar()), QroSolver::EmptyHandle);
  // A bisection goal cloned into another environment holds that environment's clone.
  QroGoal g = QroNumDichotomize(env, f, 1, 0.0);
  QroNumDichotomizeI* c = static_cast<QroNumDichotomizeI*>(g.getImpl()->makeClone(other.getImpl()));
  EXPECT_EQ(c->getEnv(), other.getImpl());
  EXPECT_NE(c->getVar(), f.getImpl());
  EXPECT_EQ(c->getVar()->getEnv(), other.getImpl());
  EXPECT_EQ(c->getOption(), 1);
  other.end();
  env.end();
}

}  // namespace

namespace {

// Both failure modes of the engine: exceptions, then non-local jumps.
class GoalModes : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    m = new QrcManagerI(&QrcNoEdit);
    m->useExceptions(GetParam());
    // Every search here ends well within the limit.
    m->setChoicePointLimit(100000);
  }
  void TearDown() override { delete m; }
  QrcManagerI* m = nullptr;
};

TEST_P(GoalModes, GenerateOverNoVariableSucceedsAtOnce) {
  QrcManager mh(m);
  QrcIntVar x(mh, 0, 1, "x");
  // An array of no variable is an empty handle; so is a default one.
  for (const QrcIntVarArray& none :
       {QrcIntVarArray(mh, 0, 0, 3), QrcIntVarArray(), QrcIntVarArray(mh, 0)}) {
    EXPECT_EQ(m->solve(QrcGenerate(none), false), 1);
    QrcSearchI* s =
        m->newSearch(QrcAnd(QrcGenerate(none), QrcGenerate(QrcIntVarArray(mh, 1, 0, 1))).getImpl());
    int n = 0;
    while (s->next()) ++n;
    s->end();
    EXPECT_EQ(n, 2);
  }
  EXPECT_EQ(m->solve(QrcGenerate(QrcFloatVarArray(), QrcChooseFirstUnboundFloat, 1, 0.0), false),
            1);
}

QrcInt alwaysFirst(const QrcFloatVarArray&) {
  return 0;
}

// Splits as far as the doubles allow, whatever the precision.
TEST_P(GoalModes, FloatGenerateBelowOneUlpEnds) {
  QrcManager mh(m);
  for (double precision : {1e-20, 0.0, -1.0}) {
    QrcFloatVar x(mh, 0.0, 1.0, precision, "x");
    QrcFloatVar y(mh, -1.0, 1.0, precision, "y");
    // x = 1/sqrt(2) and y = -x: the search fails its way down both.
    mh.add(x * x == 0.5);
    mh.add(x + y == 0.0);
    QrcFloatVarArray a(mh, 2);
    a.set(0, x);
    a.set(1, y);
    for (QrcChooseFloatIndex choose : {QrcChooseFirstUnboundFloat, alwaysFirst}) {
      QrcSearchI* s = m->newSearch(QrcGenerate(a, choose, 1, 0.0).getImpl());
      ASSERT_EQ(s->next(), 1) << precision;
      for (const QrcFloatVar& v : {x, y}) {
        // No double lies strictly inside the final interval.
        EXPECT_LE(v.getMax(), std::nextafter(v.getMin(), HUGE_VAL)) << precision;
      }
      // Bound changes below a relative 1e-11 wake no demon.
      EXPECT_NEAR(x.getMin(), std::sqrt(0.5), 1e-10);
      EXPECT_NEAR(y.getMax(), -std::sqrt(0.5), 1e-10);
      EXPECT_EQ(QrcChooseFirstUnboundFloat(a), -1);
      s->end();
    }
    // A variable alone stops in the same place.
    QrcFloatVar z(mh, 0.0, 1.0, precision, "z");
    ASSERT_EQ(m->solve(QrcInstantiate(z, 0, 0.0), true), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Failures, GoalModes, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Exceptions" : "Jumps";
                         });

}  // namespace
