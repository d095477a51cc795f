// Sums of n integer terms in [0, 10], n = 10,000 to 80,000: the time to post
// sum == 5n, sum <= 5 (every term narrowed) and sum == y with a hole in y, and
// the time to the first solution of generation over every term under
// sum == 5n. Each figure should double with n.
#include <chrono>
#include <cstdio>

#include "qro.h"
#include "qroext.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double post(QrcInt n, int kind) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray terms(mgr, n, 0, 10);
  QrcIntExp sum = QrcSum(terms);
  QrcIntVar y(mgr, 0, 10 * n);
  y.getImpl()->removeValue(5 * n + 1);
  auto start = std::chrono::steady_clock::now();
  if (kind == 0) mgr.add(sum == 5 * n);
  if (kind == 1) mgr.add(sum <= 5);
  if (kind == 2) mgr.add(sum == y);
  double t = seconds(start);
  mgr.end();
  return t;
}

double firstSolution(QrcInt n) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray terms(mgr, n, 0, 10);
  mgr.add(QrcSum(terms) == 5 * n);
  auto start = std::chrono::steady_clock::now();
  QrcSearch search(mgr, QrcGenerate(terms));
  bool found = search.next();
  double t = seconds(start);
  search.end();
  mgr.end();
  return found ? t : -1;
}

}  // namespace

int main() {
  std::printf("%8s %12s %12s %12s %14s\n", "terms", "== 5n (s)", "<= 5 (s)", "== y (s)",
              "1st sol. (s)");
  for (QrcInt n = 10000; n <= 80000; n *= 2)
    std::printf("%8lld %12.4f %12.4f %12.4f %14.4f\n", static_cast<long long>(n), post(n, 0),
                post(n, 1), post(n, 2), firstSolution(n));
  return 0;
}
