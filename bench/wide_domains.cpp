// The global constraints over wide domains: three or four variables over
// [0, W] for W = 10^4 .. 10^8, each constraint posted and searched for its
// first 10 solutions. Every case runs in a child process capped at 4 GB of
// address space and 60 s, so a constraint that walks the width shows as
// "out of memory" or "too long" instead of taking the machine. Prints per
// case: constraint, width, solutions, seconds and the child's peak memory.
//
//   bench_wide_domains                 every constraint at every width
//   bench_wide_domains NAME [WIDTH]    one constraint (at one width)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "labelling.h"
#include "qro.h"
#include "qroext.h"

namespace {

QrcIntArray ints(QrcManager m, std::vector<QrcInt> v) {
  return QrcIntArray(m, static_cast<QrcInt>(v.size()), v.data());
}

QrcIntVarArray firstTwo(QrcManager m, const QrcIntVarArray& x) {
  QrcIntVarArray a(m, 2);
  for (QrcInt i = 0; i < 2; ++i) a.set(i, x[i]);
  return a;
}

class Below : public QrcIntBinaryPredicateI {
 public:
  QrcBool isTrue(QrcInt a, QrcInt b) override { return a < b; }
};

// Posts one constraint over x (n variables over [0, w]); false for an unknown name.
bool post(const char* name, QrcManager m, QrcIntVarArray x, QrcInt w) {
  QrcManagerI* mi = m.getImpl();
  if (!std::strcmp(name, "alldiff3")) {
    m.add(QrcAllDiff(x, 3));
  } else if (!std::strcmp(name, "distribute1") || !std::strcmp(name, "distribute3")) {
    QrcIntVarArray cards(m, 2, 0, 3);
    m.add(QrcDistribute(cards, ints(m, {w / 2, w}), x, name[10] == '3' ? 3 : 1));
  } else if (!std::strcmp(name, "pairing3")) {
    m.add(QrcPairing(x, 3));
  } else if (!std::strcmp(name, "allowed")) {
    QrcTupleSet s(m, 2);
    for (QrcInt v : {QrcInt(0), w / 2, w}) s.add(ints(m, {v, w - v}));
    s.close();
    m.add(QrcTableConstraint(firstTwo(m, x), s, 1));
  } else if (!std::strcmp(name, "forbidden")) {
    QrcTupleSet s(m, 2);
    for (QrcInt v : {QrcInt(0), QrcInt(1), w}) s.add(ints(m, {v, v}));
    s.close();
    m.add(QrcTableConstraint(firstTwo(m, x), s, 0));
  } else if (!std::strcmp(name, "predicate")) {
    m.add(QrcTableConstraint(firstTwo(m, x), QrcIntBinaryPredicate(new (mi) Below())));
  } else if (!std::strcmp(name, "abstraction")) {
    QrcIntVarArray y(m, x.getSize(), -1, w);
    m.add(QrcEqAbstraction(y, x, ints(m, {1, w / 2}), -1));
  } else if (!std::strcmp(name, "stretch")) {
    m.add(QrcStretch(x, ints(m, {1, 2}), ints(m, {2, 3}), ints(m, {w / 2, w})));
  } else if (!std::strcmp(name, "regular")) {
    // No two equal neighbours over the alphabet {0, 1, w}.
    std::vector<QrcInt> T = {1, 2, 3, -1, 2, 3, 1, -1, 3, 1, 2, -1};
    m.add(QrcRegular(x, 4, ints(m, T), QrcIntArray(), ints(m, {0, 1, w})));
  } else if (!std::strcmp(name, "pattern")) {
    QrcTupleSet s(m, 2);
    s.add(ints(m, {0, 1}));
    s.close();
    m.add(QrcPattern(x, s, -1));
  } else if (!std::strcmp(name, "mindistance")) {
    m.add(QrcAllMinDistance(x, 3));
  } else if (!std::strcmp(name, "mindistance3")) {
    QrcConstraint c = QrcAllMinDistance(x, 3);
    c.getImpl()->setFilterLevel(3);
    m.add(c);
  } else {
    return false;
  }
  return true;
}

const char* const Names[] = {"alldiff3",  "distribute1", "distribute3", "pairing3", "allowed",
                             "forbidden", "predicate",   "abstraction", "stretch",  "regular",
                             "pattern",   "mindistance", "mindistance3"};

// Runs one case in this process and prints its line; the exit code tells an unknown name.
int runOne(const char* name, QrcInt w) {
  QrcManager m(QrcNoEdit);
  double t0 = cpuTime();
  QrcInt n = !std::strcmp(name, "pairing3") ? 4 : 3;
  QrcIntVarArray x(m, n, 0, w);
  if (!post(name, m, x, w)) return 2;
  BenchFigures f = benchSearch(m, x, 10, t0);
  std::printf("%-12s %10lld %3ld %9.3f", name, static_cast<long long>(w), f.solutions, f.seconds);
  std::fflush(stdout);
  m.end();
  return 0;
}

// The case in a child process with its memory and time capped.
void runChild(const char* name, QrcInt w) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    rlimit as = {4ull << 30, 4ull << 30};
    setrlimit(RLIMIT_AS, &as);
    alarm(60);
    std::_Exit(runOne(name, w));
  }
  int status = 0;
  rusage usage;
  wait4(pid, &status, 0, &usage);
  double mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    std::printf(" %9.1f MB\n", mb);
  else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    std::printf("%-12s %10lld   too long (60 s), %.1f MB\n", name, static_cast<long long>(w), mb);
  else
    std::printf("%-12s %10lld   out of memory or crashed, %.1f MB\n", name,
                static_cast<long long>(w), mb);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("%-12s %10s %3s %9s %12s\n", "constraint", "width", "sol", "seconds", "peak memory");
  const QrcInt widths[] = {10000, 100000, 1000000, 10000000, 100000000};
  for (const char* name : Names) {
    if (argc > 1 && std::strcmp(argv[1], name)) continue;
    for (QrcInt w : widths)
      if (argc <= 2 || std::atoll(argv[2]) == w) runChild(name, w);
  }
  return 0;
}
