// The global constraints over wide domains: three variables (four for
// pairing) over [0, W] for W = 10^4 .. 10^8, each constraint posted and
// searched for its first 10 solutions; "sparse" and "holes" narrow engine
// variables to scattered values and make holes in spans of W * 2^20. Every
// case runs in a child process capped at 4 GB of address space and 60 s, so
// a constraint that walks the width shows as "out of memory" or "too long"
// instead of taking the machine. Prints per case: constraint, width, number
// of variables, solutions, seconds and the child's peak memory.
//
//   bench_wide_domains                     every constraint at every width
//   bench_wide_domains NAME [WIDTH [N]]    one constraint (at one width, over N variables)
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
    m.add(QrcAllDiff(x, QrcFullFilterLevel));
  } else if (!std::strcmp(name, "distribute1") || !std::strcmp(name, "distribute3")) {
    QrcIntVarArray cards(m, 2, 0, x.getSize());
    m.add(QrcDistribute(cards, ints(m, {w / 2, w}), x, name[10] == '3' ? 3 : 1));
  } else if (!std::strcmp(name, "pairing3")) {
    m.add(QrcPairing(x, QrcFullFilterLevel));
  } else if (!std::strcmp(name, "allowed")) {
    QrcTupleSet s(m, 2);
    for (QrcInt v : {QrcInt(0), w / 2, w}) s.add(ints(m, {v, w - v}));
    s.close();
    m.add(QrcTableConstraint(firstTwo(m, x), s, 1));
  } else if (!std::strcmp(name, "allowedholes")) {
    // The same over domains with a hole each.
    for (QrcInt i = 0; i < x.getSize(); ++i) x[i].removeValue(w / 3 + i);
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
  } else if (!std::strncmp(name, "mindistance", 11)) {
    QrcConstraint c = QrcAllMinDistance(x, 3);
    c.getImpl()->setFilterLevel(name[11] - '0');
    m.add(c);
  } else if (!std::strcmp(name, "sparse")) {
    // Every variable narrowed to 1000 scattered values, the first one
    // watched by a demon that reads its delta, the others equal to it.
    std::vector<QrcInt> v;
    for (QrcInt i = 0; i < 1000; ++i) v.push_back(i * (w / 1000) + i % 7);
    for (QrcInt i = 1; i < x.getSize(); ++i) m.add(x[i] == x[0]);
    x[0].setDomain(ints(m, v));
  } else if (!std::strcmp(name, "holes")) {
    // Holes in a span of w * 2^20 values: a value, 1000 scattered ones, a range.
    QrcIntVar y(m, 0, w << 20);
    y.removeValue(w << 19);
    for (QrcInt i = 1; i <= 1000; ++i) y.removeValue(i * (w << 10) + 1);
    y.removeRange(w << 18, (w << 19) - 1);
    // 256 of the scattered ones lie in the range.
    if (y.getSize() != (w << 20) - (w << 18) - 744 || y.isInDomain(w << 19)) return false;
  } else {
    return false;
  }
  return true;
}

const char* const Names[] = {"alldiff3",     "distribute1",  "distribute3",  "pairing3",
                             "allowed",      "allowedholes", "forbidden",    "predicate",
                             "abstraction",  "stretch",      "regular",      "pattern",
                             "mindistance",  "mindistance0", "mindistance1", "mindistance2",
                             "mindistance3", "sparse",       "holes"};

// Runs one case in this process and prints its line; the exit code tells an unknown name.
int runOne(const char* name, QrcInt w, QrcInt n) {
  QrcManager m(QrcNoEdit);
  double t0 = cpuTime();
  if (!std::strcmp(name, "pairing3")) n += n % 2;
  QrcIntVarArray x(m, n, 0, w);
  if (!post(name, m, x, w)) return 2;
  BenchFigures f = benchSearch(m, x, 10, t0);
  std::printf("%-12s %10lld %4lld %3" PRId64 " %9.3f", name, static_cast<long long>(w),
              static_cast<long long>(n), f.solutions, f.seconds);
  std::fflush(stdout);
  m.end();
  return 0;
}

// The case in a child process with its memory and time capped.
void runChild(const char* name, QrcInt w, QrcInt n) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    rlimit as = {4ull << 30, 4ull << 30};
    setrlimit(RLIMIT_AS, &as);
    alarm(60);
    std::_Exit(runOne(name, w, n));
  }
  int status = 0;
  rusage usage;
  wait4(pid, &status, 0, &usage);
  double mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    std::printf(" %9.1f MB\n", mb);
  else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    std::printf("%-12s %10lld %4lld   too long (60 s), %.1f MB\n", name, static_cast<long long>(w),
                static_cast<long long>(n), mb);
  else
    std::printf("%-12s %10lld %4lld   out of memory, crashed or wrong, %.1f MB\n", name,
                static_cast<long long>(w), static_cast<long long>(n), mb);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("%-12s %10s %4s %3s %9s %12s\n", "constraint", "width", "vars", "sol", "seconds",
              "peak memory");
  QrcInt n = argc > 3 ? std::atoll(argv[3]) : 3;
  const QrcInt widths[] = {10000, 100000, 1000000, 10000000, 100000000};
  for (const char* name : Names) {
    if (argc > 1 && std::strcmp(argv[1], name)) continue;
    for (QrcInt w : widths)
      if (argc <= 2 || std::atoll(argv[2]) == w) runChild(name, w, n);
  }
  return 0;
}
