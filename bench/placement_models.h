// Square packings shared by the placement benchmark and its Gecode twin: the
// squares 1..9 in 17 x 17 and 18 x 18 (first solution) and every tiling of the
// 33 x 32 rectangle by the squares 18, 15, 14, 10, 9, 8, 7, 4 and 1, largest
// square first. Plain C++ only, so that both programs read the same data.
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

}  // namespace placementbench

#endif
