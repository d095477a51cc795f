// Minimum distance and pairing. Five marks in [0, 20] kept 4 apart, all
// solutions, at levels 0 to 3; pairing of 40 objects over a random graph
// with a planted perfect matching (fixed seed), the first 100 solutions, at
// levels 1 to 3. Prints solutions, nodes (choice points), fails and seconds.
#include <cstdint>
#include <cstdio>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"

namespace {

void run(const char* model, int level, QrcManager mgr, const QrcIntVarArray& x, long limit) {
  BenchFigures f = benchSearch(mgr, x, limit, cpuTime());
  std::printf("%-8s level %d: %6" PRId64 " solutions, %9" PRId64 " nodes, %9" PRId64
              " fails, %7.3f s\n",
              model, level, f.solutions, f.choicePoints, f.fails, f.seconds);
}

void marks(int level) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, 5, 0, 20);
  QrcConstraint ct = QrcAllMinDistance(x, 4);
  ct.getImpl()->setFilterLevel(level);
  mgr.add(ct);
  run("marks", level, mgr, x, 1000000);
  mgr.end();
}

void pairing(int level) {
  const int n = 40;
  uint64_t s = 4242;
  auto next = [&s](uint64_t bound) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return (s >> 33) % bound;
  };
  int perm[n];
  for (int i = 0; i < n; ++i) perm[i] = i;
  for (int i = n - 1; i > 0; --i) {
    int j = static_cast<int>(next(static_cast<uint64_t>(i + 1)));
    int t = perm[i];
    perm[i] = perm[j];
    perm[j] = t;
  }
  bool edge[n][n] = {};
  for (int i = 0; i < n; i += 2) edge[perm[i]][perm[i + 1]] = edge[perm[i + 1]][perm[i]] = true;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (next(100) < 8) edge[i][j] = edge[j][i] = true;
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, n);
  for (int i = 0; i < n; ++i) {
    QrcInt values[n];
    QrcInt c = 0;
    for (int j = 0; j < n; ++j)
      if (edge[i][j]) values[c++] = j;
    x.set(i, QrcIntVar(mgr, QrcIntArray(mgr, c, values)));
  }
  mgr.add(QrcPairing(x, level));
  run("pairing", level, mgr, x, 100);
  mgr.end();
}

}  // namespace

int main() {
  for (int level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) marks(level);
  for (int level = 1; level <= 3; ++level) pairing(level);
  return 0;
}
