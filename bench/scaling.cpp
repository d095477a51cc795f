// Costs that must grow with the work and no faster: a depth-first descent of
// n choices, making n variables in an environment, ending n constraints of
// an extracted model one by one, and n rounds of making a constraint and
// ending it in one environment (time and heap growth, which must stay flat).
// Each line gives the median of a few runs and the exponent of its growth
// from the line above.
//
// bench_scaling [descent|variables|ending|rounds] [max n]: one part, at most n.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qro.h"
#include "qroext.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class F>
double median(int runs, F f) {
  std::vector<double> t;
  for (int r = 0; r < runs; ++r) t.push_back(f());
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// Prints "label n: seconds" and the growth exponent against the previous line.
void printLine(const char* label, int64_t n, double s, int64_t& prevN, double& prevS) {
  std::printf("%s %9lld: %8.3f s", label, static_cast<long long>(n), s);
  if (prevN > 0 && prevS > 0 && s > 0)
    std::printf("   exponent %.2f", std::log(s / prevS) / std::log(double(n) / double(prevN)));
  std::printf("\n");
  std::fflush(stdout);
  prevN = n;
  prevS = s;
}

// First solution of a generate goal over n free 0-1 variables: n choices, no failure.
double descent(int64_t n) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray vars(mgr, n, 0, 1);
  auto start = Clock::now();
  QrcSearch s(mgr, QrcGenerate(vars));
  if (!s.next()) std::abort();
  double t = since(start);
  s.end();
  mgr.end();
  return t;
}

double makeVariables(int64_t n) {
  QroEnv env;
  auto start = Clock::now();
  for (int64_t i = 0; i < n; ++i) QroNumVar(env, 0, 1, QroNumVar::Int);
  double t = since(start);
  env.end();
  return t;
}

// n constraints x[i] + x[i+1] <= 1 added to a solver (or to the model that a
// solver extracted), then ended one by one (the time of the endings alone).
double endConstraints(int64_t n, bool inModel) {
  QroEnv env;
  std::vector<QroNumVar> x;
  for (int64_t i = 0; i <= n; ++i) x.push_back(QroNumVar(env, 0, 1, QroNumVar::Int));
  QroModel model(env);
  QroSolver solver(model);
  std::vector<QroConstraint> cts;
  for (int64_t i = 0; i < n; ++i) {
    cts.push_back(QroNumExprArg(x[i]) + QroNumExprArg(x[i + 1]) <= 1);
    if (inModel)
      model.add(cts.back());
    else
      solver.add(cts.back());
  }
  if (!solver.solve(QroGoal())) std::abort();
  auto start = Clock::now();
  for (QroConstraint& c : cts) c.end();
  double t = since(start);
  if (model.getImpl()->getSize() != 0) std::abort();
  solver.end();
  env.end();
  return t;
}

// Bytes of the heap in use.
size_t heapInUse() {
  return mallinfo2().uordblks;
}

struct RoundsCost {
  double seconds;
  double bytesPerRound;
};

// n rounds of making x + y <= 1 and ending it, in an environment whose
// users index exists (one cascade ran before); with a model, each
// constraint is added to a model that a solver extracted and ended there.
RoundsCost makeAndEnd(int64_t n, bool inModel) {
  QroEnv env;
  QroNumVar x(env, 0, 3, QroNumVar::Int), y(env, 0, 3, QroNumVar::Int);
  QroModel model(env);
  model.add(x);
  model.add(y);
  QroSolver solver(model);
  auto round = [&] {
    QroConstraint c = QroNumExprArg(x) + QroNumExprArg(y) <= 1;
    if (inModel) model.add(c);
    c.end();
  };
  for (int i = 0; i < 100; ++i) round();  // pools and tables at their size
  size_t before = heapInUse();
  auto start = Clock::now();
  for (int64_t i = 0; i < n; ++i) round();
  RoundsCost cost{since(start), 0};
  cost.bytesPerRound = (static_cast<double>(heapInUse()) - static_cast<double>(before)) / n;
  if (model.getImpl()->getSize() != 2) std::abort();
  solver.end();
  env.end();
  return cost;
}

}  // namespace

int main(int argc, char** argv) {
  const char* part = argc > 1 ? argv[1] : "all";
  int64_t cap = argc > 2 ? std::atoll(argv[2]) : INT64_MAX;
  bool all = std::strcmp(part, "all") == 0;
  int64_t prevN = 0;
  double prevS = 0;
  if (all || std::strcmp(part, "descent") == 0) {
    std::printf("depth-first descent of n choices (generate over n 0-1 variables)\n");
    for (int64_t n : {250000, 500000, 1000000, 2000000})
      if (n <= cap) printLine("  n", n, median(3, [n] { return descent(n); }), prevN, prevS);
  }
  prevN = 0;
  if (all || std::strcmp(part, "variables") == 0) {
    std::printf("making n integer variables in an environment\n");
    for (int64_t n : {500000, 1000000, 2000000, 4000000})
      if (n <= cap) printLine("  n", n, median(3, [n] { return makeVariables(n); }), prevN, prevS);
  }
  prevN = 0;
  for (bool inModel : {false, true}) {
    prevN = 0;
    if (!all && std::strcmp(part, "ending") != 0) break;
    std::printf("ending n constraints one by one, added to %s\n",
                inModel ? "the model a solver extracted" : "a solver");
    for (int64_t n : {25000, 50000, 100000, 200000})
      if (n <= cap)
        printLine("  n", n, median(5, [n, inModel] { return endConstraints(n, inModel); }), prevN,
                  prevS);
  }
  for (bool inModel : {false, true}) {
    prevN = 0;
    if (!all && std::strcmp(part, "rounds") != 0) break;
    std::printf("n rounds of making a constraint over two variables and ending it%s\n",
                inModel ? ", in a model a solver extracted" : "");
    for (int64_t n : {10000, 40000, 160000}) {
      if (n > cap) continue;
      RoundsCost cost{0, 0};
      double s = median(3, [&] {
        cost = makeAndEnd(n, inModel);
        return cost.seconds;
      });
      std::printf("  heap growth %7.1f bytes a round,", cost.bytesPerRound);
      printLine(" n", n, s, prevN, prevS);
    }
  }
  return 0;
}
