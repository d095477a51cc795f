// The figures of one complete search, as every benchmark with a Gecode twin
// prints them; plain C++, shared by the benchmarks and their twins.
#ifndef QRO_BENCH_FIGURES_H
#define QRO_BENCH_FIGURES_H

#include <cinttypes>
#include <cstdint>
#include <cstdio>

struct BenchFigures {
  int64_t solutions = 0;
  int64_t choicePoints = 0, fails = 0;
  double seconds = 0;
};

// The line a benchmark or twin prints for one model: "solutions cps fails seconds".
inline void benchPrintLine(const BenchFigures& f) {
  std::printf("%" PRId64 " %" PRId64 " %" PRId64 " %.6f\n", f.solutions, f.choicePoints, f.fails,
              f.seconds);
}

#endif
