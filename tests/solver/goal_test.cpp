#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "qrogoal.h"
#include "qrosolveri.h"
#include "solver_support.h"

using namespace solvertest;

namespace {

std::vector<int>* g_order = nullptr;

// Records, when converted, the depth of the and-stack it ran at.
class MarkGoalI : public QroGoalI {
 public:
  MarkGoalI(QroEnvI* env, int mark) : QroGoalI(env), _mark(mark) {}
  QrcGoal extract(const QroSolver& solver) const override {
    if (g_order) g_order->push_back(_mark);
    return QrcGoalTrue(solver.getManager());
  }
  QroGoalI* makeClone(QroEnvI* env) const override { return new (env) MarkGoalI(env, _mark + 100); }
  int getMark() const { return _mark; }

 private:
  int _mark;
};

std::string shown(const QroGoal& g) {
  std::ostringstream os;
  os << g;
  return os.str();
}

TEST(ModelGoals, AndGoalConvertsItsMembersInOrderWhenReached) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  std::vector<int> order;
  g_order = &order;
  QroGoal a(new (env.getImpl()) MarkGoalI(env.getImpl(), 1));
  QroGoal b(new (env.getImpl()) MarkGoalI(env.getImpl(), 2));
  QroGoal both = QroAndGoal(a, b);
  // Extracting the and-goal converts nothing yet.
  QrcGoal engine = both.getImpl()->extract(solver);
  EXPECT_TRUE(order.empty());
  EXPECT_NE(engine.getImpl(), nullptr);
  EXPECT_EQ(solver.solve(both), 1);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  order.clear();
  // An empty member succeeds at once and the other still runs.
  EXPECT_EQ(solver.solve(QroAndGoal(a, QroGoal())), 1);
  EXPECT_EQ(order, (std::vector<int>{1}));
  order.clear();
  solver.startNewSearch(QroAndGoal(b, a));
  EXPECT_EQ(solver.next(), 1);
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
  solver.endSearch();
  g_order = nullptr;
  env.end();
}

TEST(ModelGoals, AndGoalOfAFailingMemberFails) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroGoal fail = engineGoal(env.getImpl(), makeFail);
  QroGoal two = engineGoal(env.getImpl(), makeTwoWays);
  EXPECT_EQ(solver.solve(QroAndGoal(two, fail)), 0);
  solver.startNewSearch(QroAndGoal(two, two));
  int n = 0;
  while (solver.next()) ++n;
  EXPECT_EQ(n, 4);
  solver.endSearch();
  env.end();
}

TEST(ModelGoals, DisplayCloneAndEmptyFirst) {
  QroEnv env;
  QroEnv other;
  QroGoal a(new (env.getImpl()) MarkGoalI(env.getImpl(), 1));
  QroGoal b(new (env.getImpl()) MarkGoalI(env.getImpl(), 2));
  QroGoal both = QroAndGoal(a, b);
  std::ostringstream expected;
  expected << "QroAndGoal(" << static_cast<const void*>(a.getImpl()) << ", "
           << static_cast<const void*>(b.getImpl()) << ")";
  EXPECT_EQ(shown(both), expected.str());
  EXPECT_EQ(shown(a), "an QroGoalI");
  EXPECT_STREQ(both.getImpl()->getHandleClassName(), "QroGoal");
  QroAndGoalI* clone = static_cast<QroAndGoalI*>(both.getImpl()->makeClone(other.getImpl()));
  EXPECT_EQ(clone->getEnv(), other.getImpl());
  EXPECT_EQ(static_cast<MarkGoalI*>(clone->getFirst())->getMark(), 101);
  EXPECT_EQ(static_cast<MarkGoalI*>(clone->getSecond())->getMark(), 102);
  EXPECT_EQ(clone->getFirst()->getEnv(), other.getImpl());
  EXPECT_THROW(QroAndGoal(QroGoal(), a), QroEmptyHandleException);
  other.end();
  env.end();
}

TEST(ModelGoals, EngineWrappersDisplayTheirNames) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  std::ostringstream os;
  QrcExtractGoal(solver, nullptr).getImpl()->display(os);
  os << " ";
  QrcDefaultGoal(solver.getManager()).getImpl()->display(os);
  EXPECT_EQ(os.str(), "QrcExtractGoal QrcDefaultGoal");
  env.end();
}

}  // namespace
