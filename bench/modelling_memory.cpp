// Small-object allocation through the environment's pools against the system
// allocator, the cost of folding long sums into one linear term, and the
// build time and peak memory of common summation loops (each loop runs in a
// process of its own, so that its peak is its own).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "qro.h"

namespace {

double seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

using Vars = std::vector<QroNumVar>;

// Each loop adds n summands over the variables in turn.
struct Loop {
  const char* name;
  QroNumExprArg (*build)(const Vars& v, int n);
};

QroNumExprArg start(const Vars& v) {
  return QroNumExprArg(v[0]) * 0.0;
}

const Loop kLoops[] = {
    {"sum = sum + x * 3.0",
     [](const Vars& v, int n) {
       QroNumExprArg sum = start(v);
       for (int i = 0; i < n; ++i) sum = sum + v[i % v.size()] * 3.0;
       return sum;
     }},
    {"sum = sum + x * QroInt(3)",
     [](const Vars& v, int n) {
       QroNumExprArg sum = start(v);
       for (int i = 0; i < n; ++i) sum = sum + v[i % v.size()] * QroInt(3);
       return sum;
     }},
    {"sum = sum - (x + 1.0)",
     [](const Vars& v, int n) {
       QroNumExprArg sum = start(v);
       for (int i = 0; i < n; ++i) sum = sum - (v[i % v.size()] + 1.0);
       return sum;
     }},
    {"sum = 3.0 * x + sum",
     [](const Vars& v, int n) {
       QroNumExprArg sum = start(v);
       for (int i = 0; i < n; ++i) sum = 3.0 * v[i % v.size()] + sum;
       return sum;
     }},
    {"sum = sum + 3.0 * x",
     [](const Vars& v, int n) {
       QroNumExprArg sum = start(v);
       for (int i = 0; i < n; ++i) sum = sum + 3.0 * v[i % v.size()];
       return sum;
     }},
};

// Runs one loop in a child process: its build time and the child's peak
// resident memory.
void measure(const Loop& loop, int n) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return;
  }
  if (pid == 0) {
    // A loop that runs away fails instead of taking the machine's memory.
    struct rlimit limit = {4ul << 30, 4ul << 30};
    setrlimit(RLIMIT_AS, &limit);
    QroEnv env;
    Vars vars;
    for (int i = 0; i < 1000; ++i) vars.push_back(QroNumVar(env, 0, 10, QroNumVar::Int));
    auto begin = std::chrono::steady_clock::now();
    QroNumExprArg sum = loop.build(vars, n);
    double built = seconds(begin);
    std::printf("%-28s %8d summands: build %.3f s", loop.name, n, built);
    std::fflush(stdout);
    (void)sum;
    _exit(0);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) {
    std::printf("%-28s %8d summands: failed\n", loop.name, n);
    return;
  }
  std::printf(", peak %.0f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
}

}  // namespace

// The summand counts may be given as arguments (10^5 and 10^6 by default).
int main(int argc, char** argv) {
  std::vector<int> counts = {100000, 1000000};
  if (argc > 1) counts.clear();
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  for (int n : counts)
    for (const Loop& loop : kLoops) measure(loop, n);

  const int rounds = 200;
  const int cells = 10000;
  std::vector<void*> held(cells);

  QroEnv env;
  QroEnvI* e = env.getImpl();
  auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < cells; ++i) held[i] = e->alloc(static_cast<size_t>(8 + (i % 7) * 8));
    for (int i = 0; i < cells; ++i) e->free(held[i], static_cast<size_t>(8 + (i % 7) * 8));
  }
  double pooled = seconds(start);

  start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < cells; ++i) held[i] = std::malloc(static_cast<size_t>(8 + (i % 7) * 8));
    for (int i = 0; i < cells; ++i) std::free(held[i]);
  }
  double system = seconds(start);
  std::printf("alloc+free of %d small cells x %d: pools %.4f s, malloc %.4f s\n", cells, rounds,
              pooled, system);

  std::vector<QroNumVar> vars;
  for (int i = 0; i < 1000; ++i) vars.push_back(QroNumVar(env, 0, 10));
  start = std::chrono::steady_clock::now();
  QroNumExprArg sum = QroNumExprArg(vars[0]) + 0.0;
  for (int k = 0; k < 20; ++k)
    for (size_t i = 0; i < vars.size(); ++i) sum = sum + vars[i];
  static_cast<QroNumLinTermI*>(sum.getImpl())->normalize();
  std::printf("sum of 20000 variable terms folded and normalised: %.4f s\n", seconds(start));
  env.end();
  return 0;
}
