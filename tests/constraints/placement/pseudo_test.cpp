// The pseudo placement of level 2 over members not known to be placed: their
// pseudo origins span the whole integer range, and decided edges that admit
// no placement close a cycle of pseudo orders in the first trial. The
// propagation fails at once instead of walking the origins apart one cycle
// weight per round; a step limit stops it otherwise.
#include <gtest/gtest.h>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

namespace placementtest {
namespace {

struct Edge {
  int i, j;
  QrcInt value;
};

struct Walk {
  const char* name;
  std::vector<QroInt> sizes;
  std::vector<Edge> edges;  // bound in order, the last one opening a trial
  bool placeable;
};

const QrcInt StepLimit = 2000000;
// Far above what any of these propagations needs, far below a walk.
const QrcInt EventBudget = 20000;

TEST(PlacementPseudo, DecidedEdgesOfMembersNotPlacedFailWithoutWalking) {
  const Walk table[] = {
      {"unit member meeting two apart", {2, 2, 1}, {{0, 2, 1}, {1, 2, 1}, {0, 1, 0}}, false},
      {"point inside two apart", {2, 2, 0}, {{0, 2, 1}, {1, 2, 1}, {0, 1, 0}}, false},
      {"two unit members between two apart",
       {2, 2, 1, 1},
       {{0, 2, 1}, {2, 3, 1}, {1, 3, 1}, {0, 1, 0}},
       false},
      {"long member meeting two apart", {2, 2, 5}, {{0, 2, 1}, {1, 2, 1}, {0, 1, 0}}, true},
      {"two apart, the third apart from one", {2, 2, 1}, {{0, 2, 1}, {1, 2, 0}, {0, 1, 0}}, true},
  };
  for (const Walk& w : table) {
    for (int level : {1, 2}) {
      Line l(10, w.sizes, level, 0, 8);
      QrcPropagationQueueI* q = l.m->getPropagationQueue();
      q->setStepLimit(StepLimit);
      l.registerAll();
      QrcInt before = q->getEventsProcessed();
      bool failed = false;
      try {
        for (const Edge& e : w.edges) l.edge(e.i, e.j)->setValue(e.value);
      } catch (QrcFailException&) {
        failed = true;
      }
      EXPECT_LT(q->getEventsProcessed() - before, EventBudget) << w.name << " level " << level;
      // Level 1 has no trial: the real orders stay open.
      EXPECT_EQ(failed, level == 2 && !w.placeable) << w.name << " level " << level;
      if (level == 2) {
        EXPECT_GT(l.graph()->getZConstraint()->getTrialCount(), 0) << w.name;
      }
    }
  }
}

// The same cycle closed in a search, below a choice point: the branch fails
// and the other one, which leaves the pair overlapping, is a solution.
TEST(PlacementPseudo, CycleInABranchFailsOnlyThatBranch) {
  Line l(10, {2, 2, 1}, 2, 0, 8);
  l.m->getPropagationQueue()->setStepLimit(StepLimit);
  l.registerAll();
  l.edge(0, 2)->setValue(1);
  l.edge(1, 2)->setValue(1);
  QrcIntVar e(l.edge(0, 1));
  QrcSearch s(l.mgr, QrcGoal(new (l.m) QrcOrI(l.m, QrcGoal(e == 0).getImpl(),
                                              QrcGoal(e == 1).getImpl(), nullptr)));
  ASSERT_TRUE(s.next());
  EXPECT_EQ(l.edge(0, 1)->getValue(), 1);
  EXPECT_FALSE(s.next());
  s.end();
  EXPECT_LT(l.m->getPropagationQueue()->getEventsProcessed(), EventBudget);
}

}  // namespace
}  // namespace placementtest
