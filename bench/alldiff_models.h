// Instances shared by the all-different benchmark and its Gecode twin: hard
// published 9x9 sudokus and a quasigroup completion drawn from a fixed seed.
// Plain C++ only, so that both programs read the same data.
#ifndef QRO_BENCH_ALLDIFF_MODELS_H
#define QRO_BENCH_ALLDIFF_MODELS_H

#include <cstdint>
#include <vector>

namespace alldiffbench {

// Row by row, '.' for an empty cell.
const char* const Sudokus[] = {
    // AI Escargot (A. Inkala, 2006)
    "1....7.9..3..2...8..96..5....53..9...1..8...26....4...3......1..4......7..7...3..",
    // A. Inkala, 2010
    "8..........36......7..9.2...5...7.......457.....1...3...1....68..85...1..9....4..",
    // Easter Monster
    "1.......2.9.4...5...6...7...5.9.3.......7.......85..4.7.....6...3...9.8...2.....1",
};
const int SudokuCount = sizeof(Sudokus) / sizeof(Sudokus[0]);

// A Latin square of order n with its rows, columns and symbols shuffled from
// the seed, then about holePercent of its cells emptied (-1).
inline std::vector<int> quasigroup(int n, int holePercent, uint64_t seed) {
  uint64_t s = seed;
  auto next = [&s](uint64_t bound) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return (s >> 33) % bound;
  };
  auto shuffled = [&](std::vector<int> p) {
    for (size_t i = p.size(); i > 1; --i) {
      size_t j = static_cast<size_t>(next(i));
      int t = p[i - 1];
      p[i - 1] = p[j];
      p[j] = t;
    }
    return p;
  };
  std::vector<int> id(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) id[static_cast<size_t>(i)] = i;
  std::vector<int> rows = shuffled(id), cols = shuffled(id), syms = shuffled(id);
  std::vector<int> cells(static_cast<size_t>(n * n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      int v = syms[static_cast<size_t>(
          (rows[static_cast<size_t>(i)] + cols[static_cast<size_t>(j)]) % n)];
      cells[static_cast<size_t>(i * n + j)] =
          next(100) < static_cast<uint64_t>(holePercent) ? -1 : v;
    }
  return cells;
}

const int QuasigroupOrder = 18;
const int QuasigroupHoles = 38;
const uint64_t QuasigroupSeed = 20260;

}  // namespace alldiffbench

#endif
