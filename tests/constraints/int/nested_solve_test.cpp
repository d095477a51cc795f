// Array constraints posted by the goal of a nested solve, run from the
// propagation of an outer constraint as the placement trials run theirs: the
// sub-constraints they make inside the nested search go with it, and the
// outer propagation drains only its own work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "qrcdistribute.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "qrctable.h"

namespace {

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

QrcTupleSet cyclic(const QrcManager& mgr, QrcInt mode) {
  QrcTupleSet set(mgr, 3);
  set.setStorageMode(mode);
  const QrcInt tuples[][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const QrcInt* t : tuples) set.add(QrcIntArray(mgr, 3, t));
  set.close();
  return set;
}

struct Row {
  const char* name;
  // The constraint the nested goal posts over x (three variables over 0..2).
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
    {"distribute level 3",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcDistribute(QrcIntVarArray(m, 3, 0, 1), x, QrcFullFilterLevel);
     }},
};

// Without the engine's pooling the sanitizers see the memory the nested
// restart gives back.
TEST(NestedSolve, PostedArrayConstraintsGoWithTheNestedSearch) {
  for (bool pooled : {true, false})
    for (const Row& row : Rows) {
      if (!pooled) setenv("QRC_NO_MEMORY_MANAGER", "1", 1);
      QrcManager mgr(QrcNoEdit);
      unsetenv("QRC_NO_MEMORY_MANAGER");
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
