// Element constraints: one random model, y_i == a[x_i] for i < k over a
// random array of n values with repeats, linked by sum(y) == target, all
// solutions, with each y == a[x] posted as the static, the incremental and the
// value-index class. Prints solutions, choice points, fails and seconds.
#include <cstdio>
#include <random>
#include <vector>

#include "labelling.h"
#include "qrcelement.h"
#include "qrcfloatenv.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcsearch.h"

namespace {

enum Kind { Static, Incremental, ValueIndex };

void run(Kind kind, const std::vector<QrcInt>& values, int k, QrcInt target) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcInt n = static_cast<QrcInt>(values.size());
  QrcIntArray a(mgr, n, values.data());
  QrcIntVarArray x(mgr, k, 0, n - 1), y(mgr, k, 0, 100000);
  for (int i = 0; i < k; ++i) {
    QrcIntExpI* yi = y.getImpl()->getVar(i);
    QrcIntExpI* xi = x.getImpl()->getVar(i);
    QrcConstraintI* ct = nullptr;
    if (kind == Static)
      ct = new (m) QrcStaticElementEqI(m, yi, a, xi, 1);
    else if (kind == Incremental)
      ct = new (m) QrcIncrementalStaticElementEqI(m, yi, a, xi, 1);
    else
      ct = QrcIntEltCallerCt(yi, a, xi).getImpl();
    m->add(ct);
  }
  mgr.add(QrcSum(y) == target);
  double t0 = cpuTime();
  QrcSearch s(mgr, QrcGoal(new (m) LabelArray(m, x.getImpl())));
  long solutions = 0;
  while (s.next()) ++solutions;
  s.end();
  static const char* const names[] = {"static", "incremental", "value index"};
  std::printf("%-12s n %3lld k %d: %7ld solutions, %9lld choice points, %9lld fails, %7.3f s\n",
              names[kind], static_cast<long long>(n), k, solutions,
              static_cast<long long>(m->getChoicePointCount()),
              static_cast<long long>(m->getFails()), cpuTime() - t0);
  mgr.end();
}

}  // namespace

int main() {
  std::mt19937_64 rng(38);
  for (int n : {30, 100, 300}) {
    std::vector<QrcInt> values;
    for (int i = 0; i < n; ++i)
      values.push_back(i > 0 && rng() % 4 == 0 ? values[rng() % static_cast<size_t>(i)]
                                               : static_cast<QrcInt>(rng() % (6 * n + 16)));
    int k = n == 30 ? 5 : n == 100 ? 4 : 3;
    QrcInt target = 0;
    for (int i = 0; i < k; ++i) target += values[rng() % values.size()];
    for (Kind kind : {Static, Incremental, ValueIndex}) run(kind, values, k, target);
  }
  return 0;
}
