// Placement instances against brute force: every narrowing keeps the chosen
// solution and search finds exactly the checker's solutions, at every level.
#include <gtest/gtest.h>

#include "placement_fixtures.h"

namespace placementtest {
namespace {

struct Levels {
  int box, notOverlap;
};

class PlacementBruteForce : public testing::TestWithParam<Levels> {};

TEST_P(PlacementBruteForce, MatchesChecker) {
  for (const Placement& p : instances()) {
    qrotest::PropCase c = makeCase(p, GetParam().box, GetParam().notOverlap);
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Foundations, PlacementBruteForce,
                         testing::Values(Levels{1, 0}, Levels{1, 3}, Levels{0, 0}, Levels{3, 3},
                                         Levels{2, 0}, Levels{2, 3}, Levels{0, 1}, Levels{0, 2},
                                         Levels{2, 1}, Levels{2, 2}),
                         [](const testing::TestParamInfo<Levels>& i) {
                           return "box" + std::to_string(i.param.box) + "_notOverlap" +
                                  std::to_string(i.param.notOverlap);
                         });

}  // namespace
}  // namespace placementtest
