// Random goal trees searched by the engine and enumerated by brute force.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "support/seed.h"

namespace {

// The path of leaves taken, kept in trailed words.
struct Path {
  QrcInt length;
  QrcInt ids[64];
};

class PathLeaf : public QrcGoalI {
 public:
  PathLeaf(QrcManagerI* m, Path* path, QrcInt id, bool failing)
      : QrcGoalI(m), _path(path), _id(id), _failing(failing) {}
  QrcGoalI* execute() override {
    if (_failing) _manager->fail();
    _manager->saveValue(&_path->ids[_path->length]);
    _path->ids[_path->length] = _id;
    _manager->saveValue(&_path->length);
    ++_path->length;
    return nullptr;
  }

 private:
  Path* _path;
  QrcInt _id;
  bool _failing;
};

typedef std::vector<std::vector<QrcInt>> Solutions;

struct Built {
  QrcGoal goal;
  Solutions solutions;
};

Built build(QrcManagerI* m, Path* path, std::mt19937_64& rng, int depth, QrcInt& nextId,
            int& leaves) {
  int kind = depth <= 0 || leaves > 20 ? 0 : static_cast<int>(rng() % 3);
  if (kind == 0) {
    ++leaves;
    QrcInt id = nextId++;
    bool failing = rng() % 5 == 0;
    Built b{new (m) PathLeaf(m, path, id, failing), {}};
    if (!failing) b.solutions.push_back({id});
    return b;
  }
  Built a = build(m, path, rng, depth - 1, nextId, leaves);
  Built c = build(m, path, rng, depth - 1, nextId, leaves);
  Built r;
  if (kind == 1) {
    r.goal = QrcAnd(a.goal, c.goal);
    for (auto& sa : a.solutions)
      for (auto& sc : c.solutions) {
        std::vector<QrcInt> s = sa;
        s.insert(s.end(), sc.begin(), sc.end());
        r.solutions.push_back(s);
      }
  } else {
    r.goal = QrcOr(a.goal, c.goal);
    r.solutions = a.solutions;
    r.solutions.insert(r.solutions.end(), c.solutions.begin(), c.solutions.end());
  }
  return r;
}

void runTrees(bool exceptions) {
  uint64_t seed = qrotest::seedOr(exceptions ? 101 : 100);
  std::mt19937_64 rng(seed);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(exceptions);
  QrcInt heapMark = m->getHeap()->getTop();
  for (int round = 0; round < 200; ++round) {
    Path* path = new (m) Path();
    path->length = 0;
    QrcInt nextId = 0;
    int leaves = 0;
    Built b = build(m, path, rng, 6, nextId, leaves);
    QrcSearch s(mgr, b.goal);
    Solutions found;
    while (s.next()) found.push_back(std::vector<QrcInt>(path->ids, path->ids + path->length));
    ASSERT_EQ(m->getStatus(), QrcSearchExhausted) << "seed " << seed << " round " << round;
    s.end();
    ASSERT_EQ(found, b.solutions) << "seed " << seed << " round " << round;
    ASSERT_EQ(path->length, 0) << "seed " << seed;
    ASSERT_EQ(m->getOrRecordCount(), 0);
    ASSERT_EQ(m->getSearchDepth(), 0);
    m->getHeap()->popTo(heapMark);
  }
  mgr.end();
}

TEST(RandomSearch, SolutionsMatchBruteForce) {
  runTrees(false);
}

TEST(RandomSearch, SolutionsMatchBruteForceWithExceptions) {
  runTrees(true);
}

TEST(RandomSearch, RestartAndSolveKeepTheTrailConsistent) {
  uint64_t seed = qrotest::seedOr(102);
  std::mt19937_64 rng(seed);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcInt heapMark = m->getHeap()->getTop();
  for (int round = 0; round < 100; ++round) {
    Path* path = new (m) Path();
    path->length = 0;
    QrcInt nextId = 0;
    int leaves = 0;
    Built b = build(m, path, rng, 5, nextId, leaves);
    QrcSearch s(mgr, b.goal);
    size_t k = 0;
    size_t stopAt = b.solutions.empty() ? 0 : rng() % b.solutions.size();
    while (k <= stopAt && s.next()) ++k;
    if (!b.solutions.empty()) {
      ASSERT_EQ(std::vector<QrcInt>(path->ids, path->ids + path->length), b.solutions[stopAt])
          << "seed " << seed;
      s.restart();
      ASSERT_EQ(path->length, 0) << "seed " << seed;
      ASSERT_TRUE(s.next());
      ASSERT_EQ(std::vector<QrcInt>(path->ids, path->ids + path->length), b.solutions[0])
          << "seed " << seed;
    }
    s.end();
    // The state of a kept solution stays after the search ends.
    ASSERT_EQ(path->length, b.solutions.empty() ? 0 : static_cast<QrcInt>(b.solutions[0].size()));
    path->length = 0;
    ASSERT_EQ(m->solve(b.goal.getImpl(), true), b.solutions.empty() ? 0 : 1) << "seed " << seed;
    ASSERT_EQ(path->length, 0) << "seed " << seed;
    m->getHeap()->popTo(heapMark);
  }
  mgr.end();
}

}  // namespace
