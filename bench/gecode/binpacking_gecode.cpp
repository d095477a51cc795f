// Gecode twin of bench/binpacking.cpp: the same instances, model and
// branching through Gecode's binpacking, counted as the engine counts.
//
//   bench_binpacking_gecode      every instance, with the benchmark's columns
//   bench_binpacking_gecode K    instance K only: "optimum nodes fails seconds"
#include <cstdio>
#include <cstdlib>

#include "../binpacking_instances.h"
#include "gecode_search.h"

using namespace Gecode;

namespace {

// Whether a packing into m bins exists (see bench/binpacking.cpp).
bool packs(const binpackbench::Instance& in, int m, BenchFigures& f, bool* limited) {
  int n = static_cast<int>(in.weights.size());
  GecodeModel* root = new GecodeModel(n, 0, m - 1);
  IntVarArgs load(*root, m, 0, static_cast<int>(in.capacity));
  IntArgs size(n);
  for (int i = 0; i < n; ++i) size[i] = static_cast<int>(in.weights[static_cast<size_t>(i)]);
  binpacking(*root, load, root->x, size);
  std::vector<int> order = binpackbench::itemOrder(in.weights);
  IntVarArgs ordered(n);
  for (int k = 0; k < n; ++k) {
    ordered[k] = root->x[order[static_cast<size_t>(k)]];
    rel(*root, ordered[k], IRT_LQ, k);
  }
  branch(*root, ordered, INT_VAR_NONE(), INT_VAL_MIN());
  Search::Options o;
  o.stop = Search::Stop::fail(static_cast<unsigned long>(binpackbench::FailLimit - f.fails));
  DFS<GecodeModel> e(root, o);
  delete root;
  GecodeModel* s = e.next();
  bool found = s != nullptr;
  delete s;
  *limited = !found && e.stopped();
  Search::Statistics st = e.statistics();
  long long fails = static_cast<long long>(st.fail);
  f.fails += fails;
  f.choicePoints += static_cast<long long>(st.node) - fails - (found ? 1 : 0);
  return found;
}

BenchFigures run(const binpackbench::Instance& in) {
  BenchFigures f;
  std::clock_t t0 = std::clock();
  binpackbench::searchFewestBins(
      in, f, [&in](int m, BenchFigures& g, bool* limited) { return packs(in, m, g, limited); });
  f.seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (binpackbench::runOneInstance(argc, argv, run)) return 0;
  std::vector<binpackbench::Instance> all = binpackbench::instances();
  binpackbench::printHeader();
  for (const binpackbench::Instance& in : all) {
    binpackbench::printRow(in, run(in));
    std::printf("\n");
    std::fflush(stdout);
  }
  return 0;
}
