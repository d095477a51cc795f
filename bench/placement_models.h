// Square packings shared by the placement benchmark and its Gecode twin: the
// squares 1..9 in 17 x 17 and 18 x 18 (first solution), every tiling of the
// 33 x 32 rectangle by the squares 18, 15, 14, 10, 9, 8, 7, 4 and 1, and the
// strips (squares K..1 in a strip K(K+1)/2 wide and K high, first solution),
// largest square first. Plain C++ only, so that both programs read the same
// data.
#ifndef QRO_BENCH_PLACEMENT_MODELS_H
#define QRO_BENCH_PLACEMENT_MODELS_H

#include <vector>

namespace placementbench {

struct Instance {
  const char* name;
  int width, height;
  std::vector<int> squares;
  bool all;  // every solution, else the first
};

inline std::vector<Instance> instances() {
  const std::vector<int> nine = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  return {{"squares 1..9 in 17x17", 17, 17, nine, false},
          {"squares 1..9 in 18x18", 18, 18, nine, false},
          {"tilings of 33x32", 33, 32, {18, 15, 14, 10, 9, 8, 7, 4, 1}, true}};
}

// The strip of the squares K..1, K(K+1)/2 wide and K high.
inline Instance strip(int k) {
  Instance in{"strip", k * (k + 1) / 2, k, {}, false};
  for (int s = k; s >= 1; --s) in.squares.push_back(s);
  return in;
}

// The sizes of the strips that the benchmarks print.
inline std::vector<int> stripSizes() {
  return {10, 20, 40, 80, 160, 320};
}

}  // namespace placementbench

#endif
