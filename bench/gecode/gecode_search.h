// What the Gecode twins share: a space over one integer array x, and the
// complete search with the benchmarks' branching (first unassigned variable,
// smallest value, x = v else x != v), counted as the engine counts (choice
// points are the nodes that are neither failures nor solutions).
#ifndef QRO_BENCH_GECODE_SEARCH_H
#define QRO_BENCH_GECODE_SEARCH_H

#include <gecode/int.hh>
#include <gecode/search.hh>

#include <ctime>

#include "../figures.h"

class GecodeModel : public Gecode::Space {
 public:
  Gecode::IntVarArray x;
  GecodeModel(int size, int lo, int hi) : x(*this, size, lo, hi) {}
  GecodeModel(GecodeModel& s) : Gecode::Space(s) { x.update(*this, s.x); }
  Gecode::Space* copy() override { return new GecodeModel(*this); }
};

// Searches the model (which it deletes); seconds from t0, and in
// *searchSeconds (where given) those spent in the calls of next().
inline BenchFigures gecodeSearchAll(GecodeModel* m, std::clock_t t0,
                                    double* searchSeconds = nullptr) {
  Gecode::branch(*m, m->x, Gecode::INT_VAR_NONE(), Gecode::INT_VAL_MIN());
  Gecode::DFS<GecodeModel> e(m);
  delete m;
  BenchFigures f;
  std::clock_t s0 = std::clock();
  while (GecodeModel* s = e.next()) {
    ++f.solutions;
    delete s;
  }
  if (searchSeconds) *searchSeconds = static_cast<double>(std::clock() - s0) / CLOCKS_PER_SEC;
  f.seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
  Gecode::Search::Statistics st = e.statistics();
  f.fails = static_cast<long long>(st.fail);
  f.choicePoints = static_cast<long long>(st.node) - f.fails - f.solutions;
  return f;
}

#endif
