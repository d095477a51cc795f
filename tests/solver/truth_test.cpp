// Constraints and ranges used as 0-1 expressions of a model: their truth is
// exactly the constraint's, in edit and no-edit mode.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "qrogoal.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"

namespace {

QroNumExprArg truth(const QroConstraint& c) {
  return QroNumExprArg(c.getImpl());
}

struct Case {
  const char* name;
  double lo[2], hi[2];  // variables x and y
  std::function<void(QroEnv&, QroModel&, const QroNumVar& x, const QroNumVar& y)> add;
  int solutions;
  QroNumVar::Type type = QroNumVar::Int;
};

// Solutions over (x, y); an inconsistent model has none.
int countSolutions(const Case& c, QrcManagerTag tag) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, c.lo[0], c.hi[0], c.type, "x");
  QroNumVar y(env, c.lo[1], c.hi[1], c.type, "y");
  model.add(x);
  model.add(y);
  c.add(env, model, x, y);
  int n = 0;
  try {
    QroSolver solver(model, tag);
    solver.getManagerI()->setFailLimit(10000);
    solver.startNewSearch(
        QroAndGoal(QroNumDichotomize(env, x, 0, 0.0), QroNumDichotomize(env, y, 0, 0.0)));
    while (solver.next() && n <= 100) ++n;
    solver.endSearch();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  }
  env.end();
  return n;
}

TEST(Truth, ConstraintsAndRangesAsZeroOneExpressions) {
  std::vector<Case> cases = {
      {"(x + 0 <= 1) == (y + 0 <= 1), x = 1, y = 3",
       {1, 3},
       {1, 3},
       [](QroEnv&, QroModel& m, const QroNumVar& x, const QroNumVar& y) {
         m.add(truth(x + 0 <= 1) == truth(y + 0 <= 1));
       },
       0},
      {"not (1 <= x <= 3), x in [0, 5]",
       {0, 0},
       {5, 0},
       [](QroEnv& env, QroModel& m, const QroNumVar& x, const QroNumVar&) {
         QroRange in13(env, 1, x, 3);
         m.add(QroRange(env, 0, truth(in13), 0));
       },
       3},
      {"(1 <= x <= 3) == (y <= 0), x in [0, 5], y in [0, 1]",
       {0, 0},
       {5, 1},
       [](QroEnv& env, QroModel& m, const QroNumVar& x, const QroNumVar& y) {
         m.add(truth(QroRange(env, 1, x, 3)) == truth(y + 0 <= 0));
       },
       6},
      {"not (1 <= x <= 3), x = 2.5 (float)",
       {2.5, 0},
       {2.5, 0},
       [](QroEnv& env, QroModel& m, const QroNumVar& x, const QroNumVar&) {
         m.add(QroRange(env, 0, truth(QroRange(env, 1, x, 3)), 0));
       },
       0,
       QroNumVar::Float},
      {"not (1 <= x <= 3), x = 3.5 (float)",
       {3.5, 0},
       {3.5, 0},
       [](QroEnv& env, QroModel& m, const QroNumVar& x, const QroNumVar&) {
         m.add(QroRange(env, 0, truth(QroRange(env, 1, x, 3)), 0));
       },
       1,
       QroNumVar::Float},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(countSolutions(c, &QrcEdit), c.solutions) << c.name << " (edit)";
    EXPECT_EQ(countSolutions(c, &QrcNoEdit), c.solutions) << c.name << " (no-edit)";
  }
}

}  // namespace
