// Repeated solve() over a model whose root propagation is costly (every pair
// of 150 variables bounded from below by a sum), with fast restart on and off.
#include <cstdio>

#include "qro.h"
#include "qroext.h"

namespace {

double timePerSolve(bool fast, int n, int solves) {
  QroEnv env;
  QroModel model(env);
  QroNumVarArray x(env, n);
  for (int i = 0; i < n; ++i) x[i] = QroNumVar(env, 0, 20, QroNumVar::Int);
  for (int i = 0; i < n; ++i) model.add(x[i]);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      model.add(QroRange(env, 10, x[i] + x[j], QroNumVar::Infinity()));
  QroSolverI* s = new (env.getImpl()) QroSolverI(env.getImpl(), &QrcEdit);
  s->setFastRestartMode(fast);
  s->extract(model.getImpl());
  QroSolver solver(s);
  double t0 = cpuTime();
  int found = 0;
  for (int k = 0; k < solves; ++k) found += solver.solve() ? 1 : 0;
  double t = cpuTime() - t0;
  if (found != solves) std::printf("unexpected: %d of %d solves found a solution\n", found, solves);
  env.end();
  return t / solves;
}

}  // namespace

int main() {
  const int n = 150, solves = 200;
  std::printf("%d consecutive solve() over %d variables and %d constraints\n", solves, n,
              n * (n - 1) / 2);
  for (bool fast : {true, false}) {
    double t = timePerSolve(fast, n, solves);
    std::printf("fast restart %-3s: %8.3f ms per solve\n", fast ? "on" : "off", t * 1e3);
  }
  return 0;
}
