// Constraints and ranges used as 0-1 expressions of a model: their truth is
// exactly the constraint's, in edit and no-edit mode.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "qrogoal.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "solver_support.h"

namespace {

QroNumExprArg truth(const QroConstraint& c) {
  return QroNumExprArg(c.getImpl());
}

using solvertest::countSolutions;
typedef solvertest::TwoVarCase Case;

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
