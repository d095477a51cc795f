// Distribute and sequence at filter levels 1 and 3. The magic series: x[i]
// counts the occurrences of i in x (the cards are the counted variables),
// n = 10..100, all solutions. A sequence of n = 40..200 variables over
// {0, 1, 2}: every 5 consecutive hold 2 or 3 values of {1, 2}, value 1 taken
// n / 2 times, value 2 at most n / 10 times; the first 100 solutions. Prints
// solutions, choice points, fails and seconds.
#include <cstdio>
#include <initializer_list>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"

namespace {

void report(const char* model, int n, int level, QrcManager mgr, const QrcIntVarArray& x,
            long limit) {
  BenchFigures f = benchSearch(mgr, x, limit, cpuTime());
  std::printf("%-8s n %3d level %d: %3" PRId64 " solutions, %8" PRId64 " choice points, %8" PRId64
              " fails, %7.3f s\n",
              model, n, level, f.solutions, f.choicePoints, f.fails, f.seconds);
}

void magicSeries(int n, int level) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, n, 0, n - 1);
  mgr.add(QrcDistribute(x, x, level));
  report("magic", n, level, mgr, x, 1000000);
  mgr.end();
}

void sequence(int n, int level) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, n, 0, 2);
  QrcInt values[] = {1, 2};
  QrcIntVarArray cards(mgr, 2);
  cards.set(0, QrcIntVar(mgr, n / 2, n / 2));
  cards.set(1, QrcIntVar(mgr, 0, n / 10));
  QrcConstraint ct = QrcSequence(2, 3, 5, x, QrcIntArray(mgr, 2, values), cards);
  ct.getImpl()->setFilterLevel(level);
  mgr.add(ct);
  report("sequence", n, level, mgr, x, 100);
  mgr.end();
}

}  // namespace

int main() {
  for (int n = 10; n <= 100; n += n < 40 ? 10 : 30)
    for (int level : {1, 3}) magicSeries(n, level);
  for (int n = 40; n <= 200; n += 40)
    for (int level : {1, 3}) sequence(n, level);
  return 0;
}
