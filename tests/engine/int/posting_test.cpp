// Constraints that other constraints add while they are posted or propagated
// (connectives, truth expressions forced by a value) are posted even when no
// variable event follows, in edit and no-edit mode and in both failure modes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qrcconstraint.h"
#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"

namespace {

struct Vars {
  QrcIntVar x, y;
};

struct Case {
  const char* name;
  QrcInt lo, hi;  // the domain of x and y
  // The constraints, in the order they are added (all built before any is added).
  std::function<std::vector<QrcConstraint>(const Vars&)> make;
  int solutions;
};

// Issue figures: x, y over [lo, hi]; solutions counted over (x, y).
std::vector<Case> cases() {
  return {
      {"(x >= 2) && (y >= 2)", 0, 3,
       [](const Vars& v) { return std::vector<QrcConstraint>{(v.x >= 2) && (v.y >= 2)}; }, 4},
      {"!((x >= 2) || (y >= 2))", 0, 3,
       [](const Vars& v) { return std::vector<QrcConstraint>{!((v.x >= 2) || (v.y >= 2))}; }, 4},
      {"(x >= 2) == (y >= 2)", 0, 3,
       [](const Vars& v) { return std::vector<QrcConstraint>{(v.x >= 2) == (v.y >= 2)}; }, 8},
      {"(x >= 2) != (y >= 2)", 0, 3,
       [](const Vars& v) { return std::vector<QrcConstraint>{(v.x >= 2) != (v.y >= 2)}; }, 8},
      {"x == 3, truth(x + x <= 1) == 1", 0, 3,
       [](const Vars& v) {
         return std::vector<QrcConstraint>{v.x == 3, QrcIntExp(v.x + v.x <= 1) == 1};
       },
       0},
      {"x == 0, truth(x + x <= 1) == 0", 0, 3,
       [](const Vars& v) {
         return std::vector<QrcConstraint>{v.x == 0, QrcIntExp(v.x + v.x <= 1) == 0};
       },
       0},
      {"x <= 2, (x == 4) || (y == 5)", 0, 5,
       [](const Vars& v) {
         QrcConstraint either = (v.x == 4) || (v.y == 5);
         return std::vector<QrcConstraint>{v.x <= 2, either};
       },
       3},
      {"x == 1, y == 3, (x + 0 <= 1) == (y + 0 <= 1)", 0, 3,
       [](const Vars& v) {
         QrcConstraint same = (v.x + 0 <= 1) == (v.y + 0 <= 1);
         return std::vector<QrcConstraint>{v.x == 1, v.y == 3, same};
       },
       0},
  };
}

struct Mode {
  bool edit, exceptions, inGoal;
};

// Counts the solutions of a case; the constraints are added before the search
// or by its first goal. Failure while adding before the search counts 0.
int solve(const Case& c, const Mode& mode) {
  QrcManager mgr(mode.edit ? QrcEdit : QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(mode.exceptions);
  Vars v{QrcIntVar(mgr, c.lo, c.hi, "x"), QrcIntVar(mgr, c.lo, c.hi, "y")};
  QrcIntVarArray all(mgr, 2);
  all.set(0, v.x);
  all.set(1, v.y);
  QrcGoal goal = QrcGenerate(all);
  int n = 0;
  bool failed = false;
  std::vector<QrcConstraint> cts = c.make(v);
  if (mode.inGoal) {
    for (size_t i = cts.size(); i-- > 0;) goal = QrcAnd(QrcGoal(cts[i]), goal);
  } else {
    try {
      for (const QrcConstraint& ct : cts) mgr.add(ct);
    } catch (const QrcFailException&) {
      failed = true;
    }
  }
  if (!failed) {
    m->setFailLimit(10000);
    QrcSearch s(mgr, goal);
    while (s.next() && n <= 100) ++n;
    s.end();
  }
  mgr.end();
  return n;
}

TEST(Posting, ConstraintsAddedByConstraintsArePosted) {
  for (const Case& c : cases()) {
    for (int k = 0; k < 8; ++k) {
      Mode mode{(k & 1) != 0, (k & 2) != 0, (k & 4) != 0};
      // A failure while adding outside a search ends the program without exceptions.
      if (!mode.edit && !mode.exceptions && !mode.inGoal && c.solutions == 0) continue;
      EXPECT_EQ(solve(c, mode), c.solutions)
          << c.name << (mode.edit ? " edit" : " no-edit")
          << (mode.exceptions ? " exceptions" : " jumps")
          << (mode.inGoal ? " added by the goal" : " added before the search");
    }
  }
}

}  // namespace
