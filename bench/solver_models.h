// Small integer models shared by the solver benchmark and its Gecode twin:
// the seed model (15 variables in 0..9, no solution) and models drawn from a
// seed by a generator of our own (10 to 16 variables over domains of 7 to 10
// values, a few products and narrow linear ranges, one to three variables
// defined by an equality).
// Plain C++ only, so that both programs read the same models.
#ifndef QRO_BENCH_SOLVER_MODELS_H
#define QRO_BENCH_SOLVER_MODELS_H

#include <cstdint>

#include <string>
#include <vector>

namespace solverbench {

struct Term {
  int coef, var;
};

// lb <= sum of coef * x[var] <= ub; a product: lb <= x[a] * x[b] <= ub; a
// definition: x[defined] == sum of coef * x[var] + constant, or
// x[defined] == x[a] * x[b]. Ranges are stated as ranges, definitions as
// equalities.
struct Constraint {
  enum Kind { Linear, Product, DefineLinear, DefineProduct } kind;
  std::vector<Term> terms;  // the linear terms, or the two factors (coef 1)
  int lb, ub;               // of a range
  int defined, constant;    // of a definition
};

struct Model {
  std::string name;
  std::vector<int> lo, hi;  // the variables' domains
  std::vector<Constraint> constraints;
};

// 3*x7 + 3*x12 - 3*x10 == 31 (31 is no multiple of 3), 34 <= x10*x0 <= 43,
// 2*x13 - 2*x3 == -14 over x0..x14 in 0..9.
inline Model seedModel() {
  Model m{"seed", std::vector<int>(15, 0), std::vector<int>(15, 9), {}};
  m.constraints.push_back({Constraint::Linear, {{3, 7}, {3, 12}, {-3, 10}}, 31, 31, -1, 0});
  m.constraints.push_back({Constraint::Product, {{1, 10}, {1, 0}}, 34, 43, -1, 0});
  m.constraints.push_back({Constraint::Linear, {{2, 13}, {-2, 3}}, -14, -14, -1, 0});
  return m;
}

// splitmix64: the same numbers on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : _state(seed) {}
  uint64_t next() {
    uint64_t z = (_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number in lo..hi.
  int in(int lo, int hi) {
    return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1));
  }

 private:
  uint64_t _state;
};

// The smallest and largest value of the terms over the domains.
inline void termBounds(const Model& m, const std::vector<Term>& terms, int& lo, int& hi) {
  lo = hi = 0;
  for (const Term& t : terms) {
    int a = t.coef * m.lo[static_cast<size_t>(t.var)],
        b = t.coef * m.hi[static_cast<size_t>(t.var)];
    lo += a < b ? a : b;
    hi += a < b ? b : a;
  }
}

// count distinct variables, none of them avoid.
inline std::vector<int> pickVars(Random& r, int n, int count, int avoid) {
  std::vector<int> vars;
  while (static_cast<int>(vars.size()) < count) {
    int v = r.in(0, n - 1);
    bool taken = v == avoid;
    for (int w : vars) taken = taken || w == v;
    if (!taken) vars.push_back(v);
  }
  return vars;
}

inline std::vector<Term> linearTerms(Random& r, const std::vector<int>& vars, int factor) {
  std::vector<Term> terms;
  for (int v : vars) {
    int c = factor * r.in(1, 3);
    terms.push_back({r.in(0, 1) ? c : -c, v});
  }
  return terms;
}

// The value of the terms at the point.
inline int termValue(const std::vector<Term>& terms, const std::vector<int>& point) {
  int v = 0;
  for (const Term& t : terms) v += t.coef * point[static_cast<size_t>(t.var)];
  return v;
}

// A window of the given width that holds v, within lo..hi.
inline void windowAround(Random& r, int v, int lo, int hi, int width, int& wlo, int& whi) {
  wlo = v - r.in(0, width);
  if (wlo < lo) wlo = lo;
  whi = wlo + width;
  if (whi > hi) whi = hi;
}

// The model drawn from seed. The constraints hold at a point drawn first, so
// that the model has a solution, and every variable is in one of them; the
// linear ranges are narrow, so that many partial assignments fail late. Every
// third model moves one linear range off the values its coefficients'
// common factor can reach: it has no solution, which bounds reasoning sees
// only when all but one of its variables are fixed (as in the seed model).
inline Model randomModel(uint64_t seed) {
  Random r(seed * 0x2545F4914F6CDD1DULL + 1);
  int n = r.in(10, 16);
  Model m{"model " + std::to_string(seed), {}, {}, {}};
  std::vector<int> point;
  for (int i = 0; i < n; ++i) {
    int lo = r.in(0, 1);
    m.lo.push_back(lo);
    m.hi.push_back(lo + r.in(6, 9));
    point.push_back(r.in(lo, m.hi.back()));
  }
  // Variables defined by an equality: a linear combination of two others or
  // a product of two others.
  int definitions = r.in(1, 3);
  std::vector<bool> used(static_cast<size_t>(n), false);
  for (int k = 0; k < definitions; ++k) {
    int x = r.in(0, n - 1);
    if (used[static_cast<size_t>(x)]) continue;
    std::vector<int> vars = pickVars(r, n, 2, x);
    Constraint c{Constraint::DefineProduct, {{1, vars[0]}, {1, vars[1]}}, 0, 0, x, 0};
    size_t xi = static_cast<size_t>(x);
    if (r.in(0, 1) == 0) {
      // x's domain is moved to hold the product at the point.
      int value = point[static_cast<size_t>(vars[0])] * point[static_cast<size_t>(vars[1])];
      if (value < 1) continue;
      windowAround(r, value, 1, value + 100, m.hi[xi] - m.lo[xi], m.lo[xi], m.hi[xi]);
      point[xi] = value;
    } else {
      c.kind = Constraint::DefineLinear;
      c.terms = linearTerms(r, vars, 1);
      c.constant = point[xi] - termValue(c.terms, point);
    }
    used[xi] = used[static_cast<size_t>(vars[0])] = used[static_cast<size_t>(vars[1])] = true;
    m.constraints.push_back(c);
  }
  int products = r.in(1, 2);
  for (int k = 0; k < products; ++k) {
    std::vector<int> vars = pickVars(r, n, 2, -1);
    Constraint c{Constraint::Product, {{1, vars[0]}, {1, vars[1]}}, 0, 0, -1, 0};
    int value = point[static_cast<size_t>(vars[0])] * point[static_cast<size_t>(vars[1])];
    if (value < 1) continue;
    windowAround(r, value, 1, value + 100, r.in(2, 6), c.lb, c.ub);
    used[static_cast<size_t>(vars[0])] = used[static_cast<size_t>(vars[1])] = true;
    m.constraints.push_back(c);
  }
  // Linear ranges over 4 or 5 variables until every variable is in one.
  bool infeasible = seed % 3 == 0;
  for (int first = 0;;) {
    while (first < n && used[static_cast<size_t>(first)]) ++first;
    if (first == n) break;
    std::vector<int> vars = pickVars(r, n, r.in(4, 5) - 1, first);
    vars.insert(vars.begin() + r.in(0, static_cast<int>(vars.size())), first);
    int factor = infeasible ? r.in(2, 3) : 1;
    Constraint c{Constraint::Linear, linearTerms(r, vars, factor), 0, 0, -1, 0};
    int lo, hi;
    termBounds(m, c.terms, lo, hi);
    int value = termValue(c.terms, point);
    if (infeasible) {
      value += r.in(1, factor - 1);
      infeasible = false;
      windowAround(r, value, lo, hi, 0, c.lb, c.ub);
    } else {
      windowAround(r, value, lo, hi, r.in(0, 1), c.lb, c.ub);
    }
    for (int v : vars) used[static_cast<size_t>(v)] = true;
    m.constraints.push_back(c);
  }
  return m;
}

// The random models the benchmark runs: the first 50 seeds from 1 on whose
// model's tree under the default search with presolve off (labelling the
// variables in the model's order) has 20,000 to 2,000,000 nodes
// (choice points, failures and solutions), so that search, not setup, takes
// the time (about 10 ms to 1 s for Gecode). Of seeds 1..450, 81 pass; the
// smaller trees take a few milliseconds at most. `bench_solver_models scan
// A B` prints the tree size of seeds A..B.
const int kSetFirstNodes = 20000, kSetLastNodes = 2000000;
inline const std::vector<int>& setSeeds() {
  static const std::vector<int> seeds = {
      1,   3,   8,   11,  17,  20,  37,  48,  50,  53,  56,  58,  61,  70,  74,  82,  91,
      95,  101, 103, 109, 110, 111, 119, 131, 137, 142, 151, 155, 161, 164, 170, 172, 176,
      179, 190, 195, 196, 205, 206, 208, 211, 212, 215, 222, 223, 233, 240, 242, 247};
  return seeds;
}

// Model k: 0 the seed model, else the random model drawn from seed k.
inline Model modelNumber(int k) {
  return k == 0 ? seedModel() : randomModel(static_cast<uint64_t>(k));
}

}  // namespace solverbench

#endif
