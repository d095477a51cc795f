// Array constraints made at the top level and posted below a choice point,
// in every branch of searches run one after another: what a posting takes
// from the size pools (matchings, tuple records, undo stacks) goes back when
// a backtrack takes the posting back, so memory stays flat.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qrcalldiff.h"
#include "qrcdistribute.h"
#include "qrcintgoals.h"
#include "qrcmindistance.h"
#include "qrcsearch.h"
#include "qrctable.h"

namespace {

QrcTupleSet sumsToFour(const QrcManager& mgr) {
  QrcTupleSet set(mgr, 3);
  for (QrcInt a = 0; a <= 3; ++a)
    for (QrcInt b = 0; b <= 3; ++b)
      if (a + b <= 4) {
        const QrcInt t[] = {a, b, 4 - a - b};
        set.add(QrcIntArray(mgr, 3, t));
      }
  set.close();
  return set;
}

struct Row {
  const char* name;
  std::function<QrcConstraint(const QrcManager&, const QrcIntVarArray&)> make;
};

const Row Rows[] = {
    {"allowed table",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcTableConstraint(x, sumsToFour(m), true);
     }},
    {"forbidden table",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcTableConstraint(x, sumsToFour(m), false);
     }},
    {"all-different level 3",
     [](const QrcManager&, const QrcIntVarArray& x) { return QrcAllDiff(x, QrcFullFilterLevel); }},
    {"distribute level 3",
     [](const QrcManager& m, const QrcIntVarArray& x) {
       return QrcDistribute(QrcIntVarArray(m, 4, 0, 1), x, QrcFullFilterLevel);
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
    QrcIntVarArray x(mgr, 3, 0, 3);
    QrcIntVarArray first(mgr, 1);
    first.set(0, x[0]);
    QrcGoal post(row.make(mgr, x));
    std::string what = row.name;
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
      EXPECT_GT(found, 0) << what;
      EXPECT_EQ(used(), before) << what << " round " << round;
    }
    mgr.end();
  }
}

}  // namespace
