// Automaton constraints: a roster of rows of 28 days over off (0), day (1)
// and night (2) with stretch lengths per shift, a pattern forbidding a night
// stretch followed by a day stretch, and every day covered by a day and a
// night shift (the rows labelled day by day); and a random automaton of 50 states over 500
// variables. For each: the time to post, then the nodes (choice points), fails and time to
// enumerate a fixed number of solutions with the benchmarks' branching.
#include <cstdio>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"

namespace {

const long Solutions = 20000;

void report(const char* name, double postSeconds, const BenchFigures& f) {
  std::printf("%-28s post %8.3f s, %6" PRId64 " solutions, %9" PRId64 " nodes, %9" PRId64
              " fails, %8.3f s\n",
              name, postSeconds, f.solutions, f.choicePoints, f.fails, f.seconds);
}

void roster(int rows) {
  const int days = 28;
  QrcManager mgr(QrcNoEdit);
  double t0 = cpuTime();
  // Day by day, so that the search fills one day of every row before the next.
  QrcIntVarArray all(mgr, rows * days, 0, 2);
  const QrcInt shortest[] = {1, 2, 2}, longest[] = {3, 5, 3}, nightThenDay[] = {2, 1};
  QrcTupleSet forbidden(mgr, 2);
  forbidden.add(QrcIntArray(mgr, 2, nightThenDay));
  forbidden.close();
  for (int r = 0; r < rows; ++r) {
    QrcIntVarArray row(mgr, days);
    for (int d = 0; d < days; ++d) row.set(d, all[d * rows + r]);
    mgr.add(QrcStretch(row, QrcIntArray(mgr, 3, shortest), QrcIntArray(mgr, 3, longest),
                       QrcIntArray()));
    mgr.add(QrcPattern(row, forbidden, -1));
  }
  for (int d = 0; d < days; ++d)
    for (QrcInt shift = 1; shift <= 2; ++shift) {
      QrcConstraint covered = all[d * rows] == shift;
      for (int r = 1; r < rows; ++r) covered = covered || all[d * rows + r] == shift;
      mgr.add(covered);
    }
  double posted = cpuTime();
  char name[64];
  std::snprintf(name, sizeof name, "roster %d x %d", rows, days);
  report(name, posted - t0, benchSearch(mgr, all, Solutions, posted));
  mgr.end();
}

// A random automaton: every transition drawn from a 64-bit linear
// congruential sequence, one in eight missing, a third of the states final.
void randomAutomaton(int states, int n) {
  QrcManager mgr(QrcNoEdit);
  uint64_t s = 20240611;
  auto next = [&s](uint64_t bound) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<QrcInt>((s >> 33) % bound);
  };
  const QrcInt symbols = 3;
  QrcIntArray T(mgr, states * symbols, QrcInt(0));
  for (QrcInt k = 0; k < states * symbols; ++k) T[k] = next(8) == 0 ? -1 : next(states);
  QrcIntArray finals(mgr, (states + 2) / 3, QrcInt(0));
  for (QrcInt k = 0; k < finals.getSize(); ++k) finals[k] = 3 * k;
  double t0 = cpuTime();
  QrcIntVarArray x(mgr, n, 0, symbols - 1);
  mgr.add(QrcRegular(x, states, T, finals, QrcIntArray()));
  double posted = cpuTime();
  char name[64];
  std::snprintf(name, sizeof name, "automaton %d states x %d", states, n);
  report(name, posted - t0, benchSearch(mgr, x, Solutions, posted));
  mgr.end();
}

}  // namespace

int main() {
  for (int rows : {10, 20, 40}) roster(rows);
  randomAutomaton(50, 500);
  return 0;
}
