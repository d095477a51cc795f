// Gecode twin of bench/placement.cpp: the same square packings with Gecode's
// nooverlap and the same branching (x then y of each square, largest first,
// x = min, else x != min). Choice points are the branching nodes.
//
//   bench_placement_gecode          every instance
//   bench_placement_gecode K        instance K only: "solutions cps fails seconds"
//   bench_placement_gecode strip K  the strip of K squares, the same line
//                                   and the peak memory in KiB
#include <gecode/int.hh>
#include <gecode/search.hh>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "../figures.h"
#include "../placement_models.h"

using namespace Gecode;

namespace {

class Packing : public Space {
 public:
  explicit Packing(const placementbench::Instance& in)
      : _xy(*this, 2 * static_cast<int>(in.squares.size())) {
    int n = static_cast<int>(in.squares.size());
    IntVarArgs x(n), y(n);
    IntArgs s(n);
    for (int i = 0; i < n; ++i) {
      s[i] = in.squares[static_cast<size_t>(i)];
      x[i] = IntVar(*this, 0, in.width - s[i]);
      y[i] = IntVar(*this, 0, in.height - s[i]);
      _xy[2 * i] = x[i];
      _xy[2 * i + 1] = y[i];
    }
    nooverlap(*this, x, s, y, s);
    branch(*this, _xy, INT_VAR_NONE(), INT_VAL_MIN());
  }
  Packing(Packing& other) : Space(other) { _xy.update(*this, other._xy); }
  Space* copy() override { return new Packing(*this); }

 private:
  IntVarArray _xy;
};

BenchFigures run(const placementbench::Instance& in) {
  std::clock_t t0 = std::clock();
  Packing* root = new Packing(in);
  DFS<Packing> e(root);
  delete root;
  BenchFigures f;
  while (Packing* s = e.next()) {
    ++f.solutions;
    delete s;
    if (!in.all) break;
  }
  Search::Statistics st = e.statistics();
  f.seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
  f.fails = static_cast<long long>(st.fail);
  f.choicePoints = static_cast<long long>(st.node) - f.fails - f.solutions;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<placementbench::Instance> all = placementbench::instances();
  if (argc == 3 && std::string(argv[1]) == "strip") {
    BenchFigures f = run(placementbench::strip(std::atoi(argv[2])));
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%" PRId64 " %" PRId64 " %" PRId64 " %.6f %ld\n", f.solutions, f.choicePoints,
                f.fails, f.seconds, static_cast<long>(usage.ru_maxrss));
    return 0;
  }
  if (argc == 2) {
    benchPrintLine(run(all[static_cast<size_t>(std::atoi(argv[1]))]));
    return 0;
  }
  for (const placementbench::Instance& in : all) {
    BenchFigures f = run(in);
    std::printf("%-22s gecode nooverlap:                 %4" PRId64 " solutions, %9" PRId64
                " choice points, "
                "%9" PRId64 " fails, %.3f s\n",
                in.name, f.solutions, f.choicePoints, f.fails, f.seconds);
  }
  return 0;
}
