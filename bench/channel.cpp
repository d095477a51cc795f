// Lexicographic order and path length. A 0-1 matrix with fixed row and
// column sums, consecutive rows and consecutive columns in lexicographic
// order (all solutions). Two paths through random points: arc transits are
// the distances, every node has a time window; the routes are enumerated in
// mode 0 (with all-different over the successors) and mode 2. Prints
// solutions, nodes (choice points), fails and seconds.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"

namespace {

void report(const char* model, const char* variant, const QrcManager& mgr,
            const QrcIntVarArray& vars) {
  BenchFigures f = benchSearch(mgr, vars, 1L << 40, cpuTime());
  std::printf("%-8s %-12s %8" PRId64 " solutions, %9" PRId64 " nodes, %9" PRId64
              " fails, %7.3f s\n",
              model, variant, f.solutions, f.choicePoints, f.fails, f.seconds);
}

void matrix(int rows, int cols, int rowSum, int colSum) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray all(mgr, rows * cols, 0, 1);
  auto cell = [&](int r, int c) { return all.getImpl()->getVar(r * cols + c); };
  auto line = [&](int count, auto at) {
    QrcIntVarArray a(mgr, count);
    for (int k = 0; k < count; ++k) a.set(k, QrcIntExp(at(k)));
    return a;
  };
  for (int r = 0; r < rows; ++r)
    mgr.add(QrcSum(line(cols, [&](int c) { return cell(r, c); })) == rowSum);
  for (int c = 0; c < cols; ++c)
    mgr.add(QrcSum(line(rows, [&](int r) { return cell(r, c); })) == colSum);
  for (int r = 0; r + 1 < rows; ++r)
    mgr.add(QrcGeLex(line(cols, [&](int c) { return cell(r, c); }),
                     line(cols, [&](int c) { return cell(r + 1, c); })));
  for (int c = 0; c + 1 < cols; ++c)
    mgr.add(QrcGeLex(line(rows, [&](int r) { return cell(r, c); }),
                     line(rows, [&](int r) { return cell(r, c + 1); })));
  char variant[32];
  std::snprintf(variant, sizeof variant, "%dx%d %d/%d", rows, cols, rowSum, colSum);
  report("matrix", variant, mgr, all);
  mgr.end();
}

class Distances : public QrcPathTransitI {
 public:
  explicit Distances(const std::vector<std::vector<double>>& d) : _d(d) {}
  QrcFloat transit(QrcInt i, QrcInt j) override {
    return _d[static_cast<size_t>(i)][static_cast<size_t>(j)];
  }

 private:
  std::vector<std::vector<double>> _d;
};

void routing(int inner, int mode) {
  const int p = 2, n = inner + 2 * p;
  std::mt19937_64 rng(41);
  std::vector<double> x, y;
  for (int i = 0; i < n; ++i) {
    x.push_back(static_cast<double>(rng() % 100));
    y.push_back(static_cast<double>(rng() % 100));
  }
  std::vector<std::vector<double>> d(n, std::vector<double>(n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) d[i][j] = std::hypot(x[i] - x[j], y[i] - y[j]);
  Distances transit(d);
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray next(mgr, n, 0, n - 1);
  QrcFloatVarArray t(mgr, n);
  for (int i = 0; i < n; ++i) {
    double open = static_cast<double>(rng() % 200);
    t.set(i, QrcFloatVar(mgr, i >= inner + p ? 0.0 : open, open + 250.0));
  }
  if (mode == 0) mgr.add(QrcAllDiff(next));
  mgr.add(QrcPath(next, t, &transit, p, mode));
  char variant[32];
  std::snprintf(variant, sizeof variant, "%d nodes m%d", n, mode);
  report("routing", variant, mgr, next);
  mgr.end();
}

}  // namespace

int main() {
  matrix(8, 8, 3, 3);
  matrix(9, 9, 3, 3);
  matrix(10, 8, 4, 5);
  for (int inner : {6, 8})
    for (int mode : {0, 2}) routing(inner, mode);
  return 0;
}
