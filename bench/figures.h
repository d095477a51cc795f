// The figures of one complete search, as every benchmark with a Gecode twin
// prints them; plain C++, shared by the benchmarks and their twins.
#ifndef QRO_BENCH_FIGURES_H
#define QRO_BENCH_FIGURES_H

#include <cstdio>

struct BenchFigures {
  long solutions = 0;
  long long choicePoints = 0, fails = 0;
  double seconds = 0;
};

// The line a benchmark or twin prints for one model: "solutions cps fails seconds".
inline void benchPrintLine(const BenchFigures& f) {
  std::printf("%ld %lld %lld %.6f\n", f.solutions, f.choicePoints, f.fails, f.seconds);
}

#endif
