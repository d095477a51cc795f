// A chain of 150 members, each overlapping only its neighbours, propagated
// on a thread with a 256 KiB stack: the implication class of the 11,026
// disjoint pairs, and then one run of the length rules over every member
// (the class exploration restricted to them and the heaviest chain), are
// explored without deep recursion. The propagation runs at box level 0:
// with the length rules on, each of the 11,026 events would run them too.
#include <gtest/gtest.h>
#include <pthread.h>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcintexp.h"

namespace placementtest {
namespace {

struct Outcome {
  bool propagated = false;
  QroInt disjointPairs = 0;
  QroInt longestChain = 0;
};

void* chain(void* arg) {
  Outcome* out = static_cast<Outcome*>(arg);
  const int n = 150;
  Line l(n + 1, std::vector<QroInt>(n, 2), 0, 0, n);
  for (int i = 0; i < n; ++i) l.x(i)->setValue(i);
  try {
    l.registerAll();
    for (int i = 0; i < n; ++i) l.act(i)->setValue(1);
    out->propagated = true;
  } catch (QrcFailException&) {
    return nullptr;
  }
  QrcIntervalGraphI* g = l.graph();
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) out->disjointPairs += g->state(i, j) == 0;
  g->setLevel(1);
  g->lengthRules(0, n - 1);
  out->longestChain = g->getChainLength(g->getChainStart());
  return nullptr;
}

TEST(PlacementStress, LongChainPropagatesOnASmallStack) {
  Outcome out;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
  pthread_t t;
  ASSERT_EQ(pthread_create(&t, &attr, chain, &out), 0);
  pthread_join(t, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_TRUE(out.propagated);
  EXPECT_EQ(out.disjointPairs, 11026);
  // Members 2, 4, ..., 146 lie between 0 and 149, pairwise apart.
  EXPECT_EQ(out.longestChain, 2 * 73);
}

}  // namespace
}  // namespace placementtest
