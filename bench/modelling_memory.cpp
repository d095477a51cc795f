// Small-object allocation through the environment's pools against the system
// allocator, and the cost of folding long sums into one linear term.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "qro.h"

namespace {

double seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
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
