// Objective search to a proved optimum: seeded 0-1 knapsacks of 15 to 25
// items and a seeded 6-job weighted-completion schedule on one machine, each
// solved with the default search and checked against an independent optimum
// (dynamic programming, Smith's rule). Prints the optimum, choice points,
// failures and time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "qro.h"
#include "qroext.h"

namespace {

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Run {
  double optimum, seconds;
  QrcInt choicePoints, fails;
};

Run solveToOptimum(QroModel& model) {
  auto t0 = std::chrono::steady_clock::now();
  QroSolver solver(model);
  Run r{-1, 0, 0, 0};
  if (solver.solve() && solver.getStatus() == QroSolver::Optimal) r.optimum = solver.getObjValue();
  r.seconds = since(t0);
  r.choicePoints = solver.getManagerI()->getChoicePointCount();
  r.fails = solver.getManagerI()->getFails();
  solver.end();
  return r;
}

int knapsackByDp(const std::vector<int>& w, const std::vector<int>& v, int capacity) {
  std::vector<int> best(capacity + 1, 0);
  for (size_t i = 0; i < w.size(); ++i)
    for (int c = capacity; c >= w[i]; --c) best[c] = std::max(best[c], best[c - w[i]] + v[i]);
  return best[capacity];
}

bool knapsack(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> weight(5, 30), extra(0, 10);
  std::vector<int> w(n), v(n);
  for (int i = 0; i < n; ++i) {
    w[i] = weight(rng);
    v[i] = w[i] + extra(rng);
  }
  int capacity = std::accumulate(w.begin(), w.end(), 0) / 2;
  QroEnv env;
  QroModel model(env);
  QroNumVarArray x(env, 0);
  for (int i = 0; i < n; ++i) x.add(QroNumVar(env, 0, 1, QroNumVar::Int));
  QroNumExprArg load = static_cast<double>(w[0]) * x[0], gain = static_cast<double>(v[0]) * x[0];
  for (int i = 1; i < n; ++i) {
    load = load + static_cast<double>(w[i]) * x[i];
    gain = gain + static_cast<double>(v[i]) * x[i];
  }
  model.add(load <= capacity);
  model.add(QroObjective(env, gain, QroObjectiveI::Maximize));
  Run r = solveToOptimum(model);
  int expected = knapsackByDp(w, v, capacity);
  std::printf(
      "knapsack n=%2d seed=%u  optimum %5.0f (dp %5d)  choice points %9lld  fails %9lld  "
      "%8.3f s\n",
      n, seed, r.optimum, expected, static_cast<long long>(r.choicePoints),
      static_cast<long long>(r.fails), r.seconds);
  env.end();
  return r.optimum == expected;
}

bool schedule(unsigned seed) {
  const int n = 6;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(1, 6);
  std::vector<int> p(n), w(n);
  for (int i = 0; i < n; ++i) p[i] = dist(rng), w[i] = dist(rng);
  int horizon = std::accumulate(p.begin(), p.end(), 0);
  // Smith's rule: jobs by increasing p / w.
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return p[a] * w[b] < p[b] * w[a]; });
  int t = 0, expected = 0;
  for (int j : order) t += p[j], expected += w[j] * t;

  QroEnv env;
  QroModel model(env);
  QroNumVarArray s(env, 0);
  for (int i = 0; i < n; ++i) s.add(QroNumVar(env, 0, horizon - p[i], QroNumVar::Int));
  const double M = horizon;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      QroNumVar before(env, 0, 1, QroNumVar::Int);
      model.add(s[i] + p[i] - s[j] + M * before <= M);
      model.add(s[j] + p[j] - s[i] - M * before <= 0.0);
    }
  QroNumExprArg cost = w[0] * (s[0] + p[0] + 0.0);
  for (int i = 1; i < n; ++i) cost = cost + w[i] * (s[i] + p[i] + 0.0);
  model.add(QroObjective(env, cost, QroObjectiveI::Minimize));
  Run r = solveToOptimum(model);
  std::printf(
      "schedule 6 jobs seed=%u  optimum %5.0f (Smith %5d)  choice points %9lld  fails %9lld  "
      "%8.3f s\n",
      seed, r.optimum, expected, static_cast<long long>(r.choicePoints),
      static_cast<long long>(r.fails), r.seconds);
  env.end();
  return r.optimum == expected;
}

}  // namespace

int main() {
  bool ok = true;
  for (int n : {15, 18, 21, 25})
    for (unsigned seed : {1u, 2u}) ok = knapsack(n, seed) && ok;
  for (unsigned seed : {1u, 2u, 3u}) ok = schedule(seed) && ok;
  if (!ok) std::printf("an optimum differs from the independent one\n");
  return ok ? 0 : 1;
}
