// Bisection search for every root of sin x = x / c: the sine node narrows x
// along the period grid, the search splits x until it is bound.
#include <cstdio>
#include <initializer_list>

#include "qro.h"
#include "qroext.h"

namespace {

void roots(double c) {
  QrcManager mgr(QrcNoEdit);
  // |sin x| <= 1 puts every root in [-c, c].
  QrcFloatVar x(mgr, -2 * c, 2 * c);
  double t0 = cpuTime();
  mgr.add(QrcSin(x) == x / c);
  QrcSearch search(mgr, QrcInstantiate(x, 0, 0.5));
  long solutions = 0;
  double first = 0, last = 0;
  while (search.next()) {
    if (solutions == 0) first = x.getMin();
    last = x.getMax();
    ++solutions;
  }
  double t1 = cpuTime();
  std::printf(
      "c = %-8g solutions %7ld (first %.6f, last %.6f)  choice points %8lld  failures %8lld  "
      "%.3f s\n",
      c, solutions, first, last, static_cast<long long>(mgr.getImpl()->getChoicePointCount()),
      static_cast<long long>(mgr.getImpl()->getFails()), t1 - t0);
  search.end();
  mgr.end();
}

}  // namespace

int main() {
  for (double c : {10.0, 100.0, 1000.0, 10000.0, 100000.0}) roots(c);
  return 0;
}
