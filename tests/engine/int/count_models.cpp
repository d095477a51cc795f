#include "count_models.h"

#include <gtest/gtest.h>

#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"

namespace inttest {

std::string RunMode::text() const {
  return std::string(edit ? " edit" : " no-edit") + (exceptions ? " exceptions" : " jumps") +
         (inGoal ? " added by the goal" : " added before the search");
}

int countSolutions(const std::vector<std::vector<QrcInt>>& domains, const ModelMaker& make,
                   const RunMode& mode) {
  QrcManager mgr(mode.edit ? QrcEdit : QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(mode.exceptions);
  std::vector<QrcIntVar> vars;
  QrcIntVarArray all(mgr, static_cast<QrcInt>(domains.size()));
  for (size_t i = 0; i < domains.size(); ++i) {
    const std::vector<QrcInt>& d = domains[i];
    QrcInt n = static_cast<QrcInt>(d.size());
    bool interval = n > 0 && d.back() - d.front() == n - 1;
    vars.push_back(interval ? QrcIntVar(mgr, d.front(), d.back())
                            : QrcIntVar(mgr, QrcIntArray(mgr, n, d.data())));
    all.set(static_cast<QrcInt>(i), vars.back());
  }
  QrcGoal goal = QrcGenerate(all);
  int count = 0;
  bool failed = false;
  std::vector<QrcConstraint> cts = make(mgr, vars);
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
    while (s.next() && count <= 100) ++count;
    s.end();
  }
  mgr.end();
  return count;
}

void expectSolutionsInEveryMode(const std::string& name,
                                const std::vector<std::vector<QrcInt>>& domains,
                                const ModelMaker& make, int solutions) {
  for (int k = 0; k < 8; ++k) {
    RunMode mode{(k & 1) != 0, (k & 2) != 0, (k & 4) != 0};
    // A failure while adding outside a search ends the program without exceptions.
    if (!mode.edit && !mode.exceptions && !mode.inGoal && solutions == 0) continue;
    EXPECT_EQ(countSolutions(domains, make, mode), solutions) << name << mode.text();
  }
}

}  // namespace inttest
