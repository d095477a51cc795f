#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <sstream>
#include <vector>

#include "qromodel.h"
#include "qrosolveri.h"
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
