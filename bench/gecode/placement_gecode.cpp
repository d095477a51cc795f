// The square packings of bench/placement.cpp with Gecode's nooverlap and the
// same branching (x then y of each square, largest first, x = min, else
// x != min); prints the same figures. Choice points are the branching nodes.
#include <gecode/int.hh>
#include <gecode/search.hh>

#include <cstdio>
#include <ctime>
#include <vector>

using namespace Gecode;

namespace {

class Packing : public Space {
 public:
  Packing(int w, int h, const std::vector<int>& squares)
      : _xy(*this, 2 * static_cast<int>(squares.size())) {
    int n = static_cast<int>(squares.size());
    IntVarArgs x(n), y(n);
    IntArgs s(n);
    for (int i = 0; i < n; ++i) {
      s[i] = squares[static_cast<size_t>(i)];
      x[i] = IntVar(*this, 0, w - s[i]);
      y[i] = IntVar(*this, 0, h - s[i]);
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

void run(const char* name, int w, int h, const std::vector<int>& squares, bool all) {
  std::clock_t t0 = std::clock();
  Packing* root = new Packing(w, h, squares);
  DFS<Packing> e(root);
  delete root;
  long solutions = 0;
  while (Packing* s = e.next()) {
    ++solutions;
    delete s;
    if (!all) break;
  }
  Search::Statistics st = e.statistics();
  double t = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
  long long choices = static_cast<long long>(st.node) - static_cast<long long>(st.fail) - solutions;
  std::printf(
      "%-22s gecode nooverlap:                 %4ld solutions, %9lld choice points, "
      "%9lld fails, %.3f s\n",
      name, solutions, choices, static_cast<long long>(st.fail), t);
}

}  // namespace

int main() {
  const std::vector<int> nine = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  const std::vector<int> tiling = {18, 15, 14, 10, 9, 8, 7, 4, 1};
  run("squares 1..9 in 17x17", 17, 17, nine, false);
  run("squares 1..9 in 18x18", 18, 18, nine, false);
  run("tilings of 33x32", 33, 32, tiling, true);
  return 0;
}
