// The interval graph's data model: matrices, pending storage, the arithmetic
// model of a pair, and the neighbour lists under random bindings and
// backtracking.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcintcompare.h"
#include "qrcintarith.h"
#include "qrcintexp.h"
#include "qrcsearch.h"
#include "support/seed.h"

namespace placementtest {
namespace {

// The pseudo placement's matrices (2 and 3) and origins exist at level 2 only.
TEST(PlacementGraph, MatricesAndPendingStorageFollowTheMembers) {
  for (int level : {1, 2}) {
    SCOPED_TRACE(level);
    Line l(10, {1, 2, 3, 4}, level);
    for (int n = 1; n <= 4; ++n) {
      l.container->registerBox(l.boxes[static_cast<size_t>(n - 1)]);
      QrcIntervalGraphI* g = l.graph();
      EXPECT_EQ(g->getVertexCount(), n);
      EXPECT_EQ(g->getPendingStorage(), 3 * n * (n - 1) / 2);
      EXPECT_EQ(g->getMarkStamp(), n * (n - 1) / 2 + 1);
      for (int mat = 0; mat < 4; ++mat) {
        if (mat >= 2 && level < 2) {
          EXPECT_EQ(g->getMatrixSize(mat), 0);
          continue;
        }
        ASSERT_EQ(g->getMatrixSize(mat), n);
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(g->matrixRow(mat, i).getSize(), n);
          EXPECT_EQ(g->matrixRow(mat, i)[i].getImpl(), nullptr);
          for (int j = 0; j < i; ++j) {
            QrcIntExpI* v = g->matrixRow(mat, i)[j].getImpl();
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v, g->matrixRow(mat, j)[i].getImpl());
            EXPECT_EQ(v->getMin(), 0);
            EXPECT_EQ(v->getMax(), 1);
          }
        }
      }
    }
    if (level < 2) continue;
    EXPECT_EQ(l.graph()->getPseudoOrigin(0)->getMax(), QrcIntMax);
    EXPECT_EQ(l.graph()->getPseudoOrigin(0)->getMin(), QrcIntMin);
  }
}

TEST(PlacementGraph, PairModelTiesEdgesToCoordinates) {
  Line l(10, {4, 7, 2});
  l.registerAll();
  // 4 + 7 > 10: both active forces an overlap.
  l.act(0)->setValue(1);
  EXPECT_FALSE(l.edge(0, 1)->isBound());
  l.act(1)->setValue(1);
  EXPECT_EQ(l.edge(0, 1)->getValue(), 1);
  // E = 0 and R = 0 put 2 before 1, which lies in [0, 3].
  l.edge(1, 2)->setValue(0);
  l.orient(1, 2)->setValue(0);
  EXPECT_EQ(l.x(2)->getMax(), 1);

  // X_0 + s_0 <= X_1 with the edge open: disjoint, 0 before 1.
  Line k(10, {2, 3});
  k.registerAll();
  k.x(0)->setMax(3);
  EXPECT_FALSE(k.edge(0, 1)->isBound());
  k.x(1)->setMin(5);
  EXPECT_EQ(k.edge(0, 1)->getValue(), 0);
  EXPECT_EQ(k.orient(0, 1)->getValue(), 1);
}

// Two active members of size 0 lie apart (E = 0) in either order where they
// share a coordinate: the orientation stays free there and follows a strict
// order, in the real and the pseudo placement (a container of size 0 holds
// both pseudo origins at 0).
TEST(PlacementGraph, PointsShareCoordinatesInEitherOrder) {
  const struct {
    QroInt S, x0, x1, orientation;  // -1: free
  } cases[] = {{3, 1, 1, -1}, {3, 0, 2, 1}, {3, 3, 1, 0}, {0, 0, 0, -1}};
  for (const auto& c : cases) {
    for (int level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      Line l(c.S, {0, 0}, level, 0, c.S);
      try {
        l.registerAll();
        l.act(0)->setValue(1);
        l.act(1)->setValue(1);
        l.x(0)->setValue(c.x0);
        l.x(1)->setValue(c.x1);
      } catch (QrcFailException&) {
        ADD_FAILURE() << "S " << c.S << " at " << c.x0 << ", " << c.x1 << " level " << level;
        continue;
      }
      EXPECT_EQ(l.edge(0, 1)->getValue(), 0);
      QrcIntExpI* r = l.orient(0, 1);
      EXPECT_EQ(r->isBound() ? r->getValue() : -1, c.orientation) << c.x0 << ", " << c.x1;
    }
  }
  // Either value of a free orientation keeps the shared coordinate.
  for (QrcInt v : {0, 1}) {
    Line l(3, {0, 0});
    l.registerAll();
    l.x(0)->setValue(1);
    l.orient(0, 1)->setValue(v);
    EXPECT_EQ(l.x(1)->getMin(), v ? 1 : 0);
    EXPECT_EQ(l.x(1)->getMax(), v ? 3 : 1);
  }
}

TEST(PlacementGraph, BoundEdgeAtRegistrationGivesOneEvent) {
  Line l(10, {2, 2, 2}, 1, 0, 8);
  l.x(0)->setValue(0);
  l.x(2)->setValue(5);
  l.container->registerBox(l.boxes[0]);
  l.container->registerBox(l.boxes[1]);
  EXPECT_EQ(l.graph()->getEventCount(), 0);
  l.container->registerBox(l.boxes[2]);  // E(0, 2) = 0 as soon as its model is posted
  EXPECT_EQ(l.graph()->getEventCount(), 1);
  EXPECT_EQ(l.graph()->getPendingTop(), 0);
  EXPECT_EQ(l.graph()->state(0, 2), 0);
  EXPECT_EQ(l.graph()->state(2, 1), 2);
  l.x(1)->setValue(4);  // E(1, 2) = 1, E(0, 1) = 0
  EXPECT_EQ(l.graph()->getEventCount(), 3);
}

// ---------------------------------------------------------------- list integrity

struct Walk {
  Line* line;
  std::mt19937_64 rng;
  int checks = 0;
  std::string errors;
};

void checkLists(Walk* w) {
  QrcIntervalGraphI* g = w->line->graph();
  QroInt n = g->getVertexCount();
  std::ostringstream err;
  ++w->checks;
  for (QroInt x = 0; x < n; ++x) {
    std::vector<int> seen(static_cast<size_t>(n), 0);
    for (QroInt kind = 0; kind < 3; ++kind) {
      QrcRevListNode* prev = nullptr;
      for (QrcNeighborI* e = g->getVertex(x)->first(kind); e; e = e->getNext()) {
        if (e->prev != prev) err << "bad back link in list " << kind << " of " << x << "; ";
        if (e->getState() != kind)
          err << "entry in list " << kind << " has state " << e->getState();
        ++seen[static_cast<size_t>(e->vertex)];
        prev = e;
      }
    }
    for (QroInt y = 0; y < n; ++y) {
      int want = y == x ? 0 : 1;
      if (seen[static_cast<size_t>(y)] != want)
        err << "entry " << x << "->" << y << " in " << seen[static_cast<size_t>(y)] << " lists; ";
      if (y == x) continue;
      QrcIntExpI* e = g->getEdge(x, y);
      QroInt expected = e->isBound() ? e->getValue() : 2;
      if (g->state(x, y) != expected || g->state(y, x) != expected)
        err << "pair " << x << "," << y << " state " << g->state(x, y) << " edge " << expected
            << "; ";
    }
  }
  if (!err.str().empty() && w->errors.empty()) w->errors = err.str();
}

class BindGoal : public QrcGoalI {
 public:
  BindGoal(QrcManagerI* m, QrcIntExpI* x, QrcInt v) : QrcGoalI(m), _x(x), _v(v) {}
  QrcGoalI* execute() override {
    _x->setValue(_v);
    return nullptr;
  }

 private:
  QrcIntExpI* _x;
  QrcInt _v;
};

class StepGoal : public QrcGoalI {
 public:
  StepGoal(QrcManagerI* m, Walk* w, int depth) : QrcGoalI(m), _w(w), _depth(depth) {}
  QrcGoalI* execute() override {
    checkLists(_w);
    if (_depth == 0) return nullptr;
    QrcManagerI* m = _manager;
    QrcGoalI* next = new (m) StepGoal(m, _w, _depth - 1);
    QrcGoalI* left = new (m) QrcAndII(m, randomBinding(), next);
    QrcGoalI* right = new (m) QrcAndII(m, randomBinding(), next);
    return new (m) QrcOrI(m, left, right, nullptr);
  }

 private:
  QrcGoalI* randomBinding() {
    Line* l = _w->line;
    int n = static_cast<int>(l->boxes.size());
    int i = static_cast<int>(_w->rng() % static_cast<unsigned>(n));
    int j = static_cast<int>(_w->rng() % static_cast<unsigned>(n - 1));
    if (j >= i) ++j;
    QrcInt bit = static_cast<QrcInt>(_w->rng() % 2);
    switch (_w->rng() % 4) {
      case 0:
        return new (_manager) BindGoal(_manager, l->act(i), bit);
      case 1:
        return new (_manager) BindGoal(_manager, l->edge(i, j), bit);
      default:
        return new (_manager) BindGoal(_manager, l->x(i), static_cast<QrcInt>(_w->rng() % 7));
    }
  }
  Walk* _w;
  int _depth;
};

TEST(PlacementGraph, ListsFollowEdgesUnderRandomBindingsAndBacktracking) {
  for (bool edit : {false, true}) {
    for (uint64_t run = 0; run < 12; ++run) {
      uint64_t seed = qrotest::seedOr(100) + run;
      std::mt19937_64 rng(seed);
      std::vector<QroInt> sizes;
      for (int i = 0; i < 5; ++i) sizes.push_back(1 + static_cast<QroInt>(rng() % 4));
      Line l(6, sizes, static_cast<int>(run % 4), 0, 6, edit);
      l.registerAll();
      if (run % 2) l.add(l.container->getNotOverlapConstraint());
      Walk w{&l, std::mt19937_64(seed), 0, ""};
      QrcSearch s(l.mgr, QrcGoal(new (l.m) StepGoal(l.m, &w, 6)));
      while (s.next()) {
      }
      s.end();
      EXPECT_GT(w.checks, 6);
      EXPECT_EQ(w.errors, "") << "seed " << seed << (edit ? " (edit mode)" : "");
    }
  }
}

TEST(PlacementGraph, EditModeFirstPassForcesLongPairs) {
  Line l(5, {3, 3}, 1, 0, 5, true);
  l.registerAll();
  l.m->leaveEditMode();
  l.act(0)->setValue(1);
  l.act(1)->setValue(1);
  EXPECT_EQ(l.edge(0, 1)->getValue(), 1);
}

}  // namespace
}  // namespace placementtest
