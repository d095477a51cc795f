// Placement instances in the array shapes, against brute force: the origins of
// the boxes (an array per box) as expressions of shared variables, tied to
// each other before the posting, or one variable for two coordinates.
#include <gtest/gtest.h>

#include <string>

#include "placement_fixtures.h"

namespace placementtest {
namespace {

struct Levels {
  int box, notOverlap;
};

class PlacementShapes : public testing::TestWithParam<Levels> {};

TEST_P(PlacementShapes, MatchChecker) {
  for (const Placement& p : instances()) {
    qrotest::PropCase c = makeCase(p, GetParam().box, GetParam().notOverlap);
    // The origins: the container's when it moves, then the members'.
    size_t origins = p.container.size() * (p.members.size() + (p.movingContainer ? 1 : 0));
    c.arrayElements = origins;
    c.arrayShapes = 2;
    c.narrowRuns = 30;
    // The activities stay 0-1 for the checker.
    c.shapesKeepCandidates = true;
    EXPECT_EQ(qrotest::runArrayShapes(c), 0) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Foundations, PlacementShapes,
                         testing::Values(Levels{1, 0}, Levels{0, 3}, Levels{2, 2}),
                         [](const testing::TestParamInfo<Levels>& i) {
                           return "box" + std::to_string(i.param.box) + "_notOverlap" +
                                  std::to_string(i.param.notOverlap);
                         });

}  // namespace
}  // namespace placementtest
