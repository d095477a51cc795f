// Instances shared by the table benchmark and its Gecode twin. Plain C++ only,
// so that both programs read the same data.
//
// Random tables: variables x[0..n-1] over 0..d-1 and c allowed tables, each
// over a scope of r distinct variables holding t distinct tuples. Every
// number is drawn from one 64-bit linear congruential sequence started at the
// instance's seed, s = s * 6364136223846793005 + 1442695040888963407, taking
// (s >> 33) modulo the bound: first each table's scope (variables drawn until
// r distinct ones), then its tuples (values drawn position by position,
// a tuple met before is drawn again).
//
// n-queens: one allowed table per pair of queens (i, j): the pairs of rows
// (a, b) with a != b and |a - b| != j - i.
#ifndef QRO_BENCH_TABLES_MODELS_H
#define QRO_BENCH_TABLES_MODELS_H

#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

namespace tablesbench {

struct Table {
  std::vector<int> scope;
  std::vector<std::vector<int>> tuples;
};

struct Instance {
  int n = 0;  // variables
  int d = 0;  // values 0..d-1
  std::vector<Table> tables;
};

struct RandomSpec {
  int n, d, r, c, t;
  uint64_t seed;
};

// The random instances of the benchmark.
const RandomSpec RandomSpecs[] = {
    {16, 6, 3, 26, 110, 20240601},
    {16, 5, 3, 30, 75, 20240602},
    {24, 8, 2, 64, 36, 20240603},
    {16, 4, 4, 20, 140, 20240604},
};
const int RandomCount = sizeof(RandomSpecs) / sizeof(RandomSpecs[0]);

inline Instance randomTables(const RandomSpec& spec) {
  uint64_t s = spec.seed;
  auto next = [&s](uint64_t bound) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((s >> 33) % bound);
  };
  Instance in;
  in.n = spec.n;
  in.d = spec.d;
  for (int k = 0; k < spec.c; ++k) {
    Table tb;
    std::set<int> used;
    while (static_cast<int>(tb.scope.size()) < spec.r) {
      int v = next(static_cast<uint64_t>(spec.n));
      if (used.insert(v).second) tb.scope.push_back(v);
    }
    std::set<std::vector<int>> seen;
    while (static_cast<int>(tb.tuples.size()) < spec.t) {
      std::vector<int> tuple;
      for (int j = 0; j < spec.r; ++j) tuple.push_back(next(static_cast<uint64_t>(spec.d)));
      if (seen.insert(tuple).second) tb.tuples.push_back(tuple);
    }
    in.tables.push_back(tb);
  }
  return in;
}

inline Instance queens(int n) {
  Instance in;
  in.n = n;
  in.d = n;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      Table tb;
      tb.scope = {i, j};
      for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
          if (a != b && std::abs(a - b) != j - i) tb.tuples.push_back({a, b});
      in.tables.push_back(tb);
    }
  return in;
}

// "random K" or "queens N".
inline Instance instance(bool isQueens, int param) {
  return isQueens ? queens(param) : randomTables(RandomSpecs[param]);
}

}  // namespace tablesbench

#endif
