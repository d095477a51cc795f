// Gecode twin of bench/spring.cpp: the design model with one Gecode float
// propagator per operation of the program's expressions (a fresh variable for
// each intermediate result), searched for its first box by bisection on D then
// d, lower half first, until each is within the relative precision 1e-10.
//
//   bench_spring_gecode              both timings, on the benchmark's lines
//   bench_spring_gecode whole RUNS   "solutions cps fails seconds": the mean
//                                    time of RUNS runs from the model's
//                                    construction to the first box
//   bench_spring_gecode next RUNS    the same, timing the first box's search only
#include <gecode/float.hh>
#include <gecode/search.hh>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../figures.h"

using namespace Gecode;

namespace {

class Design : public Space {
 public:
  FloatVar F, N, D, d;

  Design() : F(*this, 0.0, 0.5), N(*this, 2.0, 10.0), D(*this, 0.25, 1.3), d(*this, 0.05, 1.0) {
    // 1 - D^3 N / (71785 d^4) <= 0
    FloatVar d4 = power(d, 4), D3 = power(D, 3);
    rel(*this, minus(1.0, quot(times(D3, N), scaled(71785.0, d4))), FRT_LQ, 0.0);
    // (4 D^4 - d D) / (12.566 (D d^3 - d^3)) + 1 / (5.108 d^2) <= 0
    FloatVar q = quot(one(), scaled(5.108, power(d, 2)));
    FloatVar d3 = power(d, 3);
    FloatVar m = scaled(12.566, difference(times(D, d3), d3));
    FloatVar v = difference(scaled(4.0, power(D, 4)), times(d, D));
    rel(*this, sum(quot(v, m), q), FRT_LQ, 0.0);
    // 1 - 140.45 d / (D^2 N) <= 0
    rel(*this, minus(1.0, quot(scaled(140.45, d), times(power(D, 2), N))), FRT_LQ, 0.0);
    // (D + d) / 1.5 - 1 <= 0
    rel(*this, difference(scaled(1.0 / 1.5, sum(D, d)), one()), FRT_LQ, 0.0);
    // F == (N + 2) D d^2
    FloatVar n2 = sum(N, constant(2.0));
    rel(*this, F, FRT_EQ, times(times(n2, D), power(d, 2)));
    branch(*this, FloatVarArgs({D}), FLOAT_VAR_NONE(), FLOAT_VAL_SPLIT_MIN(), &unbound);
    branch(*this, FloatVarArgs({d}), FLOAT_VAR_NONE(), FLOAT_VAL_SPLIT_MIN(), &unbound);
  }
  Design(Design& s) : Space(s) {
    F.update(*this, s.F);
    N.update(*this, s.N);
    D.update(*this, s.D);
    d.update(*this, s.d);
  }
  Space* copy() override { return new Design(*this); }

 private:
  // Bisection stops where the engine calls a float variable bound: width
  // below 1e-10 times the smaller magnitude of its bounds (at least 1).
  static bool unbound(const Space&, FloatVar x, int) {
    double lo = x.min(), hi = x.max();
    double m = std::min(std::fabs(lo), std::fabs(hi));
    return !(hi - lo < 1e-10 * std::max(1.0, m));
  }
  // Coefficient lists (the library has no initializer-list constructor).
  static FloatValArgs coefs(double a, double b) {
    FloatValArgs c(2);
    c[0] = a;
    c[1] = b;
    return c;
  }
  static FloatValArgs coefs(double a, double b, double e) {
    FloatValArgs c(3);
    c[0] = a;
    c[1] = b;
    c[2] = e;
    return c;
  }
  FloatVar fresh() { return FloatVar(*this, -1e300, 1e300); }
  FloatVar constant(double c) { return FloatVar(*this, c, c); }
  FloatVar one() { return constant(1.0); }
  FloatVar power(FloatVar x, int n) {
    FloatVar r = fresh();
    pow(*this, x, n, r);
    return r;
  }
  FloatVar times(FloatVar x, FloatVar y) {
    FloatVar r = fresh();
    mult(*this, x, y, r);
    return r;
  }
  FloatVar quot(FloatVar x, FloatVar y) {
    FloatVar r = fresh();
    div(*this, x, y, r);
    return r;
  }
  FloatVar scaled(double c, FloatVar x) {
    FloatVar r = fresh();
    linear(*this, coefs(c, -1.0), FloatVarArgs({x, r}), FRT_EQ, 0.0);
    return r;
  }
  FloatVar sum(FloatVar x, FloatVar y) {
    FloatVar r = fresh();
    linear(*this, coefs(1.0, 1.0, -1.0), FloatVarArgs({x, y, r}), FRT_EQ, 0.0);
    return r;
  }
  FloatVar difference(FloatVar x, FloatVar y) {
    FloatVar r = fresh();
    linear(*this, coefs(1.0, -1.0, -1.0), FloatVarArgs({x, y, r}), FRT_EQ, 0.0);
    return r;
  }
  FloatVar minus(double c, FloatVar x) {
    FloatVar r = fresh();
    linear(*this, coefs(1.0, 1.0), FloatVarArgs({x, r}), FRT_EQ, c);
    return r;
  }
};

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The first box of the last run.
double boxD[2], boxd[2];

// One run to the first box; whole and search-only seconds.
BenchFigures firstBox(double& searchSeconds) {
  auto t0 = std::chrono::steady_clock::now();
  Design* root = new Design();
  auto t1 = std::chrono::steady_clock::now();
  DFS<Design> e(root);
  delete root;
  BenchFigures f;
  if (Design* s = e.next()) {
    ++f.solutions;
    boxD[0] = s->D.min();
    boxD[1] = s->D.max();
    boxd[0] = s->d.min();
    boxd[1] = s->d.max();
    delete s;
  }
  searchSeconds = since(t1);
  f.seconds = since(t0);
  Search::Statistics st = e.statistics();
  f.fails = static_cast<long long>(st.fail);
  f.choicePoints = static_cast<long long>(st.node) - f.fails - f.solutions;
  return f;
}

BenchFigures mean(int runs, double& searchSeconds) {
  BenchFigures f;
  double whole = 0, search = 0;
  for (int r = 0; r < runs; ++r) {
    double s = 0;
    f = firstBox(s);
    whole += f.seconds;
    search += s;
  }
  f.seconds = whole / runs;
  searchSeconds = search / runs;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  double search = 0;
  if (argc == 3) {
    BenchFigures f = mean(std::max(1, std::atoi(argv[2])), search);
    if (!std::strcmp(argv[1], "next")) f.seconds = search;
    benchPrintLine(f);
    return 0;
  }
  const int runs = 5;
  BenchFigures f = mean(runs, search);
  std::printf("design model (Gecode), %d runs\n", runs);
  std::printf("whole run (ms)          : %g\n", 1000.0 * f.seconds);
  std::printf("first next (ms)         : %g\n", 1000.0 * search);
  std::printf("first next choice points: %" PRId64 "\n", f.choicePoints);
  std::printf("first next fails        : %" PRId64 "\n", f.fails);
  std::printf("first box               : D in [%.17g, %.17g], d in [%.17g, %.17g]\n", boxD[0],
              boxD[1], boxd[0], boxd[1]);
  return 0;
}
