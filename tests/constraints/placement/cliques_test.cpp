// Maximal cliques of the decided overlaps, the clique constraint's capacity
// check and clique-order rules, and a soundness property: propagation at
// not-overlap level 2 keeps a placement whose edges and activities were
// partly bound to its values.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcintexp.h"
#include "support/seed.h"

namespace placementtest {
namespace {

std::set<std::set<QroInt>> cliquesOf(QrcIntervalGraphI* g) {
  g->computeOrder();
  g->computeCliques();
  std::set<std::set<QroInt>> out;
  for (QroInt k = 0; k < g->getCliqueCount(); ++k) {
    std::set<QroInt> c;
    for (QrcFastEltI<QroInt>* e = g->clique(k)->firstOut(); e; e = e->next) c.insert(e->value);
    out.insert(c);
  }
  return out;
}

TEST(PlacementCliques, MaximalCliquesOfDecidedOverlaps) {
  Line l(100, {2, 2, 2, 2});
  l.registerAll();
  for (int i = 0; i < 4; ++i) l.act(i)->setValue(1);
  QrcIntervalGraphI* g = l.graph();
  EXPECT_EQ(cliquesOf(g), (std::set<std::set<QroInt>>{{0}, {1}, {2}, {3}}));
  l.overlap(0, 1);
  l.overlap(1, 2);  // a path: 0-2 undecided counts as apart
  EXPECT_EQ(cliquesOf(g), (std::set<std::set<QroInt>>{{0, 1}, {1, 2}, {3}}));
  // Equal weights: the heaviest search takes the cliques in position order.
  QrcFastListI<QroInt>* none = new (l.m) QrcFastListI<QroInt>(l.m, 20);
  for (int i = 0; i < 4; ++i) none->add(i);
  QroInt first = g->heaviestCliqueOutside(none);
  none->remove(first);
  QroInt second = g->heaviestCliqueOutside(none);
  EXPECT_LT(first, second);
  l.overlap(0, 2);
  EXPECT_EQ(cliquesOf(g), (std::set<std::set<QroInt>>{{0, 1, 2}, {3}}));
}

TEST(PlacementCliques, SingleSelectedCliqueIsALeafRoot) {
  Line l(100, {2, 3, 4});
  l.registerAll();
  for (int i = 0; i < 3; ++i) l.act(i)->setValue(1);
  l.overlap(0, 1);
  l.overlap(1, 2);
  l.overlap(0, 2);
  QrcIntervalGraphI* g = l.graph();
  cliquesOf(g);
  g->selectCliques();
  ASSERT_EQ(g->getSelectedCount(), 1);
  ASSERT_TRUE(g->buildPQTree());
  QrcPQNodeI* root = g->getPQTree()->getRoot();
  ASSERT_EQ(root->kind, QrcPQNodeI::Leaf);
  g->computeMembers(root);
  g->treeWeight(0) = 5;
  g->treeWeight(1) = 3;
  g->treeWeight(2) = 4;
  EXPECT_EQ(g->childValue(root), 3);
}

// A 2-D container 10 x 4 and three members whose heights sum to 5.
struct Stack {
  QrcManager mgr;
  QrcManagerI* m;
  QrcBoxI* c;
  Stack(int notOverlapLevel) : mgr(QrcNoEdit), m(mgr.getImpl()) {
    m->useExceptions(true);
    QroInt cs[] = {10, 4};
    c = QrcBox(2, QrcIntVarArray(mgr, 2, 0, 0), QrcIntArray(mgr, 2, cs)).getImpl();
    c->setFilterLevel(QrcLowFilterLevel);
    QrcConstraintI* no = c->getNotOverlapConstraint();
    no->setFilterLevel(notOverlapLevel);
    m->add(no);
    for (QroInt h : {1, 2, 2}) {
      QroInt s[] = {3, h};
      c->registerBox(QrcBox(2, QrcIntVarArray(mgr, 2, 0, 7), QrcIntArray(mgr, 2, s)).getImpl());
    }
  }
  ~Stack() { mgr.end(); }
};

TEST(PlacementCliques, CapacityOfPairwiseOverlappingActiveMembers) {
  for (int level : {0, 1, 2}) {
    Stack s(level);
    QrcIntervalGraphI* gx = s.c->getGraph(0);
    s.c->getActivity(0)->setValue(1);
    s.c->getActivity(1)->setValue(1);
    gx->getEdge(0, 1)->setValue(1);
    gx->getEdge(1, 2)->setValue(1);
    gx->getEdge(0, 2)->setValue(1);  // member 2 may still be left out
    if (level == 0) {
      EXPECT_NO_THROW(s.c->getActivity(2)->setValue(1));
    } else {
      EXPECT_THROW(s.c->getActivity(2)->setValue(1), QrcFailException);
    }
  }
}

TEST(PlacementCliques, CliqueOrderForcesOverlapsOfActiveMembersOnly) {
  // Container 10 x 2; c (6 x 2) fills the height, i and j are 3 x 1. i lies
  // beside c; j cannot share a point with c, so i and j cannot both lie
  // beside c and must overlap along x.
  for (int level : {1, 2}) {
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    m->useExceptions(true);
    QroInt cs[] = {10, 2};
    QrcBoxI* c = QrcBox(2, QrcIntVarArray(mgr, 2, 0, 0), QrcIntArray(mgr, 2, cs)).getImpl();
    c->setFilterLevel(QrcLowFilterLevel);
    QrcConstraintI* no = c->getNotOverlapConstraint();
    no->setFilterLevel(level);
    m->add(no);
    QroInt big[] = {6, 2}, small[] = {3, 1};
    c->registerBox(QrcBox(2, QrcIntVarArray(mgr, 2, 0, 7), QrcIntArray(mgr, 2, big)).getImpl());
    for (int k = 0; k < 2; ++k)
      c->registerBox(QrcBox(2, QrcIntVarArray(mgr, 2, 0, 7), QrcIntArray(mgr, 2, small)).getImpl());
    QrcIntervalGraphI* gx = c->getGraph(0);
    c->getActivity(0)->setValue(1);
    c->getActivity(1)->setValue(1);
    gx->getEdge(0, 1)->setValue(0);
    EXPECT_FALSE(gx->getEdge(1, 2)->isBound());  // j's activity is open
    c->getActivity(2)->setValue(1);
    EXPECT_EQ(gx->getEdge(1, 2)->getMin(), level == 2 ? 1 : 0) << "level " << level;
    mgr.end();
  }
}

TEST(PlacementCliques, RaisingThePostedLevelMakesTheCliqueConstraints) {
  Stack s(0);
  QrcNotOverlapConstraintI* no = s.c->getNotOverlapConstraint();
  EXPECT_EQ(no->getCliqueConstraint(0), nullptr);
  s.m->pushState();
  EXPECT_TRUE(no->setFilterLevel(QrcHighFilterLevel));
  auto* cx = static_cast<QrcOverlapCliqueConstraintI*>(no->getCliqueConstraint(0));
  ASSERT_NE(cx, nullptr);
  EXPECT_EQ(cx->getMode(), 2);
  QroInt runs = cx->getRunCount();
  EXPECT_GT(runs, 0);
  s.c->getActivity(0)->setValue(1);
  EXPECT_GT(cx->getRunCount(), runs);
  s.m->popState();
  EXPECT_EQ(no->getCliqueConstraint(0), nullptr);
  EXPECT_TRUE(no->setFilterLevel(QrcMediumFilterLevel));
  cx = static_cast<QrcOverlapCliqueConstraintI*>(no->getCliqueConstraint(1));
  ASSERT_NE(cx, nullptr);
  EXPECT_EQ(cx->getMode(), 0);
  EXPECT_TRUE(no->setFilterLevel(QrcHighFilterLevel));
  EXPECT_EQ(cx->getMode(), 2);
}

// ---------------------------------------------------------------- soundness

TEST(PlacementCliques, PropagationKeepsARandomPlacement) {
  int checked = 0;
  for (uint64_t run = 0; run < 300; ++run) {
    uint64_t seed = qrotest::seedOr(1000) + run;
    std::mt19937_64 rng(seed);
    QroInt W = 4 + static_cast<QroInt>(rng() % 5), H = 3 + static_cast<QroInt>(rng() % 4);
    int n = 4 + static_cast<int>(rng() % 4);
    std::vector<std::array<QroInt, 2>> size(static_cast<size_t>(n)), pos(size);
    std::vector<int> active(static_cast<size_t>(n));
    // Active members placed apart by rejection; inactive ones anywhere.
    for (size_t i = 0; i < size.size(); ++i) {
      size[i] = {1 + static_cast<QroInt>(rng() % 3), 1 + static_cast<QroInt>(rng() % 3)};
      active[i] = rng() % 4 != 0;
      for (int tries = 0;; ++tries) {
        pos[i] = {static_cast<QroInt>(rng() % static_cast<uint64_t>(W - size[i][0] + 1)),
                  static_cast<QroInt>(rng() % static_cast<uint64_t>(H - size[i][1] + 1))};
        bool clash = false;
        for (size_t j = 0; j < i && active[i]; ++j) {
          if (!active[j]) continue;
          bool apart = false;
          for (int d = 0; d < 2; ++d)
            apart =
                apart || pos[i][d] + size[i][d] <= pos[j][d] || pos[j][d] + size[j][d] <= pos[i][d];
          clash = clash || !apart;
        }
        if (!clash) break;
        if (tries > 50) {
          active[i] = 0;
          break;
        }
      }
    }
    int boxLevel = static_cast<int>(run % 3);
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    m->useExceptions(true);
    QroInt cs[] = {W, H};
    QrcBoxI* c = QrcBox(2, QrcIntVarArray(mgr, 2, 0, 0), QrcIntArray(mgr, 2, cs)).getImpl();
    c->setFilterLevel(boxLevel);
    QrcConstraintI* no = c->getNotOverlapConstraint();
    no->setFilterLevel(QrcHighFilterLevel);
    m->add(no);
    std::vector<QrcBoxI*> boxes;
    for (size_t i = 0; i < size.size(); ++i) {
      QrcIntVarArray o(mgr, 2);
      o.set(0, QrcIntVar(mgr, 0, W - size[i][0]));
      o.set(1, QrcIntVar(mgr, 0, H - size[i][1]));
      boxes.push_back(QrcBox(2, o, QrcIntArray(mgr, 2, size[i].data())).getImpl());
      c->registerBox(boxes.back());
    }
    std::string log;
    bool ok = true;
    try {
      for (size_t i = 0; i < size.size(); ++i)
        if (rng() % 2) {
          log += " A" + std::to_string(i);
          c->getActivity(static_cast<QroInt>(i))->setValue(active[i]);
        }
      for (int d = 0; d < 2; ++d)
        for (int i = 0; i < n; ++i)
          for (int j = i + 1; j < n; ++j) {
            if (rng() % 3) continue;
            size_t a = static_cast<size_t>(i), b = static_cast<size_t>(j);
            bool meets = pos[a][d] < pos[b][d] + size[b][d] && pos[b][d] < pos[a][d] + size[a][d];
            log +=
                " E" + std::to_string(d) + "(" + std::to_string(i) + "," + std::to_string(j) + ")";
            c->getGraph(d)->getEdge(i, j)->setValue(meets ? 1 : 0);
          }
    } catch (QrcFailException&) {
      ok = false;
    }
    EXPECT_TRUE(ok) << "seed " << seed << " box level " << boxLevel << ":" << log;
    if (ok) {
      for (size_t i = 0; i < size.size(); ++i) {
        EXPECT_TRUE(c->getActivity(static_cast<QroInt>(i))->isInDomain(active[i])) << seed;
        for (int d = 0; d < 2; ++d)
          EXPECT_TRUE(boxes[i]->getOrigin(d)->isInDomain(pos[i][d])) << "seed " << seed;
      }
      ++checked;
    }
    mgr.end();
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace placementtest
