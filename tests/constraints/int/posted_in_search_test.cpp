// Array constraints made at the top level and posted inside searches: in
// every branch below a choice point, of searches run one after another, and
// by the goal of a nested solve run from an outer constraint's propagation
// (as the placement trials run theirs). What a posting takes from the size
// pools goes back when a backtrack takes the posting back, and what a nested
// search made and queued goes with it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qrcalldiff.h"
#include "qrcdistribute.h"
#include "qrcfail.h"
#include "qrcintgoals.h"
#include "qrcmindistance.h"
#include "qrcsearch.h"
#include "qrctable.h"
#include "support/unpooled.h"

namespace {

QrcTupleSet cyclic(const QrcManager& mgr, QrcInt mode) {
  QrcTupleSet set(mgr, 3);
  set.setStorageMode(mode);
  const QrcInt tuples[][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const QrcInt* t : tuples) set.add(QrcIntArray(mgr, 3, t));
  set.close();
  return set;
}

// Constraints over three variables over 0..2, each with solutions.
struct Row {
  const char* name;
  std::function<QrcConstraint(const QrcManager&, const QrcIntVarArray&)> make;
};

const Row Rows[] = {
    {"allowed table mode 0",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcTableConstraint(x, cyclic(m, 0), true);
     }},
    {"allowed table mode 1",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcTableConstraint(x, cyclic(m, 1), true);
     }},
    {"allowed table mode 2",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcTableConstraint(x, cyclic(m, 2), true);
     }},
    {"forbidden table",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcTableConstraint(x, cyclic(m, 2), false);
     }},
    {"all-different level 3",
     [](const QrcManager&, const QrcIntVarArray& x) { return QrcAllDiff(x, QrcFullFilterLevel); }},
    {"distribute level 3",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcDistribute(QrcIntVarArray(m, 3, 0, 1), x, QrcFullFilterLevel);
     }},
    {"minimum distance level 3",
     [](const QrcManager&, const QrcIntVarArray& x) {
       QrcConstraint ct = QrcAllMinDistance(x, 1);
       ct.getImpl()->setFilterLevel(QrcFullFilterLevel);
       return ct;
     }},
};

TEST(PostedInSearch, PoolsGetBackWhatEveryPostingTook) {
  for (const Row& row : Rows) {
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    QrcIntVarArray x(mgr, 3, 0, 2);
    QrcIntVarArray first(mgr, 1);
    first.set(0, x[0]);
    QrcGoal post(row.make(mgr, x));
    auto used = [m] {
      return static_cast<QrcUInt>(m->getSizeAllocator()->getBytesInUse()) +
             m->getGlobalHeap()->getBytes();
    };
    QrcUInt before = used();
    for (int round = 0; round < 3; ++round) {
      QrcSearch s(mgr, QrcAnd(QrcGenerate(first), QrcAnd(post, QrcGenerate(x))));
      int found = 0;
      while (s.next()) ++found;
      s.end();
      EXPECT_GT(found, 0) << row.name;
      EXPECT_EQ(used(), before) << row.name << " round " << round;
    }
    mgr.end();
  }
}

// Added at the root over three variables over 0..1, each posting but the
// forbidden table's fails: what it took from the pools goes back with it,
// round after round.
TEST(PostedInSearch, PoolsGetBackWhatAFailedRootAddTook) {
  int failing = 0;
  for (const Row& row : Rows) {
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    m->useExceptions(true);
    QrcIntVarArray x(mgr, 3, 0, 1);
    auto failingAdd = [&] {
      try {
        mgr.add(row.make(mgr, x));
      } catch (const QrcFailException&) {
        return true;
      }
      return false;
    };
    if (failingAdd()) {
      ++failing;
      QrcUInt before = static_cast<QrcUInt>(m->getSizeAllocator()->getBytesInUse());
      for (int round = 0; round < 20; ++round) EXPECT_TRUE(failingAdd()) << row.name;
      EXPECT_EQ(static_cast<QrcUInt>(m->getSizeAllocator()->getBytesInUse()), before) << row.name;
      EXPECT_EQ(m->getOrRecordCount(), 0) << row.name;
    }
    mgr.end();
  }
  EXPECT_EQ(failing, 6);
}

// Solves a goal from its propagation, scheduled at the last priority: the
// nested solve must find a solution (and undoes it).
class NestedSolveCt : public QrcConstraintI {
 public:
  NestedSolveCt(QrcManagerI* m, QrcIntExpI* watched, QrcGoalI* goal)
      : QrcConstraintI(m), _watched(watched), _goal(goal) {}
  void post() override { _watched->whenDomain(new (_manager) Wake(_manager, this)); }
  void propagate() override {
    if (!_manager->solveInPropagation(this, _goal, true)) fail();
  }

 private:
  class Wake : public QrcDemonI {
   public:
    Wake(QrcManagerI* m, NestedSolveCt* ct) : QrcDemonI(m, ct), _ct(ct) {}
    void propagate() override { _ct->push(); }

   private:
    NestedSolveCt* _ct;
  };
  QrcIntExpI* _watched;
  QrcGoalI* _goal;
};

// The nested goal posts the constraint (whose sub-constraints are made
// inside the nested search) and binds its variables.
TEST(PostedInSearch, NestedSolvesLeaveNothingOfTheirOwnQueued) {
  for (bool pooled : {true, false})
    for (const Row& row : Rows) {
      QrcManager mgr = qrotest::managerPooled(pooled);
      QrcManagerI* m = mgr.getImpl();
      QrcIntVarArray x(mgr, 3, 0, 2), y(mgr, 2, 0, 3);
      QrcGoal trial = QrcAnd(QrcGoal(row.make(mgr, x)), QrcGenerate(x));
      QrcConstraint outer(new (m) NestedSolveCt(m, y[0].getImpl(), trial.getImpl()));
      QrcSearch s(mgr, QrcAnd(QrcGoal(outer), QrcGenerate(y)));
      int found = 0;
      while (s.next()) {
        EXPECT_EQ(x[0].getImpl()->getSize(), 3) << row.name;
        ++found;
      }
      s.end();
      EXPECT_EQ(found, 16) << row.name << (pooled ? "" : " unpooled");
      mgr.end();
    }
}

}  // namespace
