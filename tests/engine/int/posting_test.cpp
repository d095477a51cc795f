// Constraints that other constraints add while they are posted or propagated
// (connectives, truth expressions forced by a value) are posted even when no
// variable event follows, in edit and no-edit mode and in both failure modes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "count_models.h"
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

// Posted constraints with the number of solutions they leave: x, y over
// [lo, hi]; solutions counted over (x, y).
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

TEST(Posting, ConstraintsAddedByConstraintsArePosted) {
  for (const Case& c : cases()) {
    std::vector<QrcInt> d;
    for (QrcInt v = c.lo; v <= c.hi; ++v) d.push_back(v);
    inttest::expectSolutionsInEveryMode(
        c.name, {d, d},
        [&c](QrcManager&, const std::vector<QrcIntVar>& v) {
          return c.make(Vars{v[0], v[1]});
        },
        c.solutions);
  }
}

// Records whether a variable is bound, from inside the search.
class BoundProbe : public QrcGoalI {
 public:
  BoundProbe(QrcManagerI* m, QrcIntExpI* x, QrcInt* seen) : QrcGoalI(m), _x(x), _seen(seen) {}
  QrcGoalI* execute() override {
    *_seen = _x->isBound() ? _x->getValue() : -1;
    return nullptr;
  }

 private:
  QrcIntExpI* _x;
  QrcInt* _seen;
};

// In edit mode a truth expression is watched only once the search posts its
// link; a constraint decided by then (the boolean sum bound by constraints
// posted before the link) is read as decided, so that b is bound.
TEST(Posting, TruthDecidedBeforeItsLinkIsPostedIsRead) {
  for (bool edit : {false, true}) {
    for (bool exceptions : {false, true}) {
      QrcManager mgr(edit ? QrcEdit : QrcNoEdit);
      QrcManagerI* m = mgr.getImpl();
      m->useExceptions(exceptions);
      QrcIntVar x(mgr, 0, 1), y(mgr, 0, 1), z(mgr, 0, 1), b(mgr, 0, 1);
      QrcIntExpI* terms[] = {x.getImpl(), y.getImpl(), z.getImpl()};
      QrcIntExp sum = QrcSum(mgr, 3, terms);
      mgr.add(x == 0);
      mgr.add(y == 0);
      mgr.add(z == 0);
      mgr.add(QrcIntExp(b) == QrcIntExp(sum != 1));
      QrcInt seen = -2;
      EXPECT_TRUE(m->solve(new (m) BoundProbe(m, b.getImpl(), &seen), true));
      EXPECT_EQ(seen, 1) << (edit ? "edit" : "no edit") << (exceptions ? ", exceptions" : "");
      mgr.end();
    }
  }
}

}  // namespace
