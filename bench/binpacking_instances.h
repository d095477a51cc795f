// Instances shared by the bin-packing benchmark and its Gecode twin, each
// drawn from std::mt19937_64(seed), seeds 1-3, weights in item order:
//   "u": n = 20, 40, 60 items of 20 + rng() % 81 in bins of 150;
//   "t": 5, 10, 20 triplets that fill bins of 1000 exactly: a = 380 + rng() % 111,
//        s = 1000 - a, b = 250 + rng() % (s / 2 - 249), then a, b, s - b;
//   "s": 50 items of 1 + rng() % 100 in bins of 100.
// The search of both programs: for m = ceil(sum / C), m + 1, ... until a
// packing exists, where in [0, m - 1], loads in [0, C]; the items taken by
// non-increasing weight (ties by index), the k-th of them (from 0) in a bin
// at most k; labelling the where variables in that order, lowest bin first
// (x = v, else x != v); at most FailLimit fails per instance.
// Plain C++ only, so that both programs read the same data.
#ifndef QRO_BENCH_BINPACKING_INSTANCES_H
#define QRO_BENCH_BINPACKING_INSTANCES_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "figures.h"

namespace binpackbench {

const long FailLimit = 2000000;

struct Instance {
  std::string name;
  int64_t capacity;
  std::vector<int64_t> weights;
};

inline std::vector<Instance> instances() {
  std::vector<Instance> out;
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    for (int n : {20, 40, 60}) {
      std::mt19937_64 rng(seed);
      Instance in{"u" + std::to_string(n) + "-" + std::to_string(seed), 150, {}};
      for (int i = 0; i < n; ++i) in.weights.push_back(20 + static_cast<int64_t>(rng() % 81));
      out.push_back(in);
    }
    for (int triplets : {5, 10, 20}) {
      std::mt19937_64 rng(seed);
      Instance in{"t" + std::to_string(triplets) + "-" + std::to_string(seed), 1000, {}};
      for (int k = 0; k < triplets; ++k) {
        int64_t a = 380 + static_cast<int64_t>(rng() % 111), s = 1000 - a;
        int64_t b = 250 + static_cast<int64_t>(rng() % static_cast<uint64_t>(s / 2 - 249));
        in.weights.insert(in.weights.end(), {a, b, s - b});
      }
      out.push_back(in);
    }
    std::mt19937_64 rng(seed);
    Instance in{"s50-" + std::to_string(seed), 100, {}};
    for (int i = 0; i < 50; ++i) in.weights.push_back(1 + static_cast<int64_t>(rng() % 100));
    out.push_back(in);
  }
  return out;
}

// The items by non-increasing weight, ties by index.
inline std::vector<int> itemOrder(const std::vector<int64_t>& w) {
  std::vector<int> order(w.size());
  for (size_t i = 0; i < w.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&w](int x, int y) {
    return w[static_cast<size_t>(x)] > w[static_cast<size_t>(y)];
  });
  return order;
}

// ceil(sum / C): the first number of bins tried.
inline int firstBinCount(const Instance& in) {
  int64_t sum = 0;
  for (int64_t w : in.weights) sum += w;
  return static_cast<int>((sum + in.capacity - 1) / in.capacity);
}

// Tries m = firstBinCount(in), m + 1, ... with packs(m, f, &limited), which
// adds its counts to f and tells when the fail budget ran out, until a
// packing exists; the optimum in f.solutions (-1: the limit came first).
template <class Packs>
void searchFewestBins(const Instance& in, BenchFigures& f, Packs packs) {
  f.solutions = -1;
  for (int m = firstBinCount(in);; ++m) {
    bool limited = false;
    if (packs(m, f, &limited)) {
      f.solutions = m;
      return;
    }
    if (limited || f.fails >= FailLimit) return;
  }
}

// With one argument K: runs instance K alone and prints its figures line
// ("optimum nodes fails seconds"); true when it did.
template <class Run>
bool runOneInstance(int argc, char** argv, Run run) {
  if (argc != 2) return false;
  benchPrintLine(run(instances()[static_cast<size_t>(std::atoi(argv[1]))]));
  return true;
}

// The columns: name, n, C, optimum (or "limit"), nodes (choice points),
// fails and seconds; the optimum is held in the figures' solutions (-1: limit).
inline void printHeader() {
  std::printf("%-7s %3s %5s %7s %9s %9s %8s\n", "name", "n", "C", "optimum", "nodes", "fails",
              "seconds");
}

inline void printFigures(const BenchFigures& f) {
  std::string optimum = f.solutions < 0 ? "limit" : std::to_string(f.solutions);
  std::printf(" %7s %9" PRId64 " %9" PRId64 " %8.3f", optimum.c_str(), f.choicePoints, f.fails,
              f.seconds);
}

// Without the end of the line.
inline void printRow(const Instance& in, const BenchFigures& f) {
  std::printf("%-7s %3zu %5lld", in.name.c_str(), in.weights.size(),
              static_cast<long long>(in.capacity));
  printFigures(f);
}

}  // namespace binpackbench

#endif
