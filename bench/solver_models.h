// Small integer models shared by the solver benchmark and its Gecode twin:
// the seed model (15 variables in 0..9, no solution), models drawn from a
// seed by a generator of our own (10 to 16 variables over domains of 7 to 10
// values, a few products and narrow linear ranges, one to three variables
// defined by an equality), and catalogue models drawn the same way with
// tables, elements, all-different, count, minimum and maximum, absolute
// value, inverse and reified comparisons among their linear ranges.
// Plain C++ only, so that both programs read the same models.
#ifndef QRO_BENCH_SOLVER_MODELS_H
#define QRO_BENCH_SOLVER_MODELS_H

#include <algorithm>
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
// equalities. The catalogue's kinds, over the variables of the terms (coef
// 1) and writing y for x[defined]:
//   Allowed, Forbidden  the variables' values are (are not) one of the
//                       tuples, values row after row
//   ElementConst        y == values[x[t0]]
//   ElementVar          y == [x[t1], x[t2], ...][x[t0]]
//   AllDiff             the variables take different values
//   Count               y == the number of variables equal to constant
//   Min, Max            y == the least (greatest) value of the variables
//   Abs                 y == |x[t0]|
//   Inverse             x[t_i] == j exactly when x[t_(k+j)] == i, for the
//                       first k terms f and the last k terms invf
//   ReifLe, ReifEq      y == (x[t0] <= x[t1]), y == (x[t0] == constant)
struct Constraint {
  enum Kind {
    Linear,
    Product,
    DefineLinear,
    DefineProduct,
    Allowed,
    Forbidden,
    ElementConst,
    ElementVar,
    AllDiff,
    Count,
    Min,
    Max,
    Abs,
    Inverse,
    ReifLe,
    ReifEq
  } kind;
  std::vector<Term> terms;  // the linear terms, or the two factors (coef 1)
  int lb, ub;               // of a range
  int defined, constant;    // of a definition
  std::vector<int> values;  // the tuples or the array of constants
};

const int kCatalogueKinds = Constraint::ReifEq - Constraint::Allowed + 1;

struct Model {
  std::string name;
  std::vector<int> lo, hi;  // the variables' domains
  std::vector<Constraint> constraints;
};

// 3*x7 + 3*x12 - 3*x10 == 31 (31 is no multiple of 3), 34 <= x10*x0 <= 43,
// 2*x13 - 2*x3 == -14 over x0..x14 in 0..9.
inline Model seedModel() {
  Model m{"seed", std::vector<int>(15, 0), std::vector<int>(15, 9), {}};
  m.constraints.push_back({Constraint::Linear, {{3, 7}, {3, 12}, {-3, 10}}, 31, 31, -1, 0, {}});
  m.constraints.push_back({Constraint::Product, {{1, 10}, {1, 0}}, 34, 43, -1, 0, {}});
  m.constraints.push_back({Constraint::Linear, {{2, 13}, {-2, 3}}, -14, -14, -1, 0, {}});
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

// Linear ranges over 4 or 5 variables until every variable is in one; with
// infeasible, the first is moved off the values its coefficients' common
// factor can reach.
inline void coverByLinearRanges(Random& r, Model& m, const std::vector<int>& point,
                                std::vector<bool>& used, bool infeasible) {
  int n = static_cast<int>(m.lo.size());
  for (int first = 0;;) {
    while (first < n && used[static_cast<size_t>(first)]) ++first;
    if (first == n) break;
    std::vector<int> vars = pickVars(r, n, r.in(4, 5) - 1, first);
    vars.insert(vars.begin() + r.in(0, static_cast<int>(vars.size())), first);
    int factor = infeasible ? r.in(2, 3) : 1;
    Constraint c{Constraint::Linear, linearTerms(r, vars, factor), 0, 0, -1, 0, {}};
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
    Constraint c{Constraint::DefineProduct, {{1, vars[0]}, {1, vars[1]}}, 0, 0, x, 0, {}};
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
    Constraint c{Constraint::Product, {{1, vars[0]}, {1, vars[1]}}, 0, 0, -1, 0, {}};
    int value = point[static_cast<size_t>(vars[0])] * point[static_cast<size_t>(vars[1])];
    if (value < 1) continue;
    windowAround(r, value, 1, value + 100, r.in(2, 6), c.lb, c.ub);
    used[static_cast<size_t>(vars[0])] = used[static_cast<size_t>(vars[1])] = true;
    m.constraints.push_back(c);
  }
  coverByLinearRanges(r, m, point, used, seed % 3 == 0);
  return m;
}

// A catalogue model being drawn: the model, the point where its constraints
// hold and the variables whose point value a constraint reads (fixed: their
// domain and point stay as they are).
struct Draft {
  Model m;
  std::vector<int> point;
  std::vector<bool> fixed;
  size_t size() const { return point.size(); }
};

// A variable no constraint reads yet, none of avoid; -1 when there is none.
inline int freeVar(Random& r, const Draft& d, const std::vector<int>& avoid) {
  std::vector<int> free;
  for (size_t i = 0; i < d.size(); ++i) {
    bool taken = d.fixed[i];
    for (int a : avoid) taken = taken || a == static_cast<int>(i);
    if (!taken) free.push_back(static_cast<int>(i));
  }
  return free.empty() ? -1 : free[static_cast<size_t>(r.in(0, static_cast<int>(free.size()) - 1))];
}

// Gives the free variable v the domain lo..hi and the point value.
inline void redefine(Draft& d, int v, int lo, int hi, int value) {
  size_t i = static_cast<size_t>(v);
  d.m.lo[i] = lo;
  d.m.hi[i] = hi;
  d.point[i] = value;
}

// The terms (coef 1) of the variables, which the constraint then reads.
inline std::vector<Term> readTerms(Draft& d, const std::vector<int>& vars) {
  std::vector<Term> terms;
  for (int v : vars) {
    terms.push_back({1, v});
    d.fixed[static_cast<size_t>(v)] = true;
  }
  return terms;
}

inline void addDefinition(Draft& d, Constraint::Kind kind, int y, const std::vector<int>& vars,
                          std::vector<int> values, int constant) {
  std::vector<Term> terms = readTerms(d, vars);
  readTerms(d, {y});
  d.m.constraints.push_back({kind, terms, 0, 0, y, constant, std::move(values)});
}

// Allowed or forbidden tuples over 2 or 3 variables: each tuple but the
// point's with a probability of 10% to 35%; the point's tuple is allowed.
inline void addTable(Random& r, Draft& d, bool allowed) {
  int n = static_cast<int>(d.size());
  std::vector<int> vars = pickVars(r, n, r.in(2, 3), -1);
  int percent = r.in(10, 35);
  std::vector<int> tuple(vars.size()), values;
  for (size_t k = 0; k < vars.size(); ++k) tuple[k] = d.m.lo[static_cast<size_t>(vars[k])];
  for (;;) {
    bool atPoint = true;
    for (size_t k = 0; k < vars.size(); ++k)
      atPoint = atPoint && tuple[k] == d.point[static_cast<size_t>(vars[k])];
    if (atPoint ? allowed : r.in(0, 99) < percent)
      values.insert(values.end(), tuple.begin(), tuple.end());
    size_t k = vars.size();
    while (k > 0 && tuple[k - 1] == d.m.hi[static_cast<size_t>(vars[k - 1])]) {
      tuple[k - 1] = d.m.lo[static_cast<size_t>(vars[k - 1])];
      --k;
    }
    if (k == 0) break;
    ++tuple[k - 1];
  }
  d.m.constraints.push_back({allowed ? Constraint::Allowed : Constraint::Forbidden,
                             readTerms(d, vars), 0, 0, -1, 0, std::move(values)});
}

// A variable of non-negative point value below limit, none of avoid; -1 when there is none.
inline int indexVar(Random& r, const Draft& d, int limit, int avoid) {
  std::vector<int> vars;
  for (size_t i = 0; i < d.size(); ++i)
    if (d.point[i] >= 0 && d.point[i] < limit && static_cast<int>(i) != avoid)
      vars.push_back(static_cast<int>(i));
  return vars.empty() ? -1 : vars[static_cast<size_t>(r.in(0, static_cast<int>(vars.size()) - 1))];
}

// y == values[x] over as many values as x's domain reaches from 0 (3 to 10),
// drawn in y's domain.
inline void addElementConst(Random& r, Draft& d) {
  int y = freeVar(r, d, {});
  int x = indexVar(r, d, 100, y);
  if (y < 0 || x < 0) return;
  std::vector<int> values;
  for (int k = 0; k <= d.m.hi[static_cast<size_t>(x)]; ++k)
    values.push_back(r.in(d.m.lo[static_cast<size_t>(y)], d.m.hi[static_cast<size_t>(y)]));
  d.point[static_cast<size_t>(y)] = values[static_cast<size_t>(d.point[static_cast<size_t>(x)])];
  addDefinition(d, Constraint::ElementConst, y, {x}, std::move(values), 0);
}

// y == vars[x] over 4 to 6 variables; y's domain is their domains' hull.
inline void addElementVar(Random& r, Draft& d) {
  int n = static_cast<int>(d.size()), size = r.in(4, 6);
  int y = freeVar(r, d, {});
  int x = indexVar(r, d, size, y);
  if (y < 0 || x < 0) return;
  std::vector<int> vars = pickVars(r, n, size + 2, -1), array;
  for (int v : vars)
    if (v != x && v != y && static_cast<int>(array.size()) < size) array.push_back(v);
  int lo = 100, hi = -100;
  for (int v : array) {
    lo = std::min(lo, d.m.lo[static_cast<size_t>(v)]);
    hi = std::max(hi, d.m.hi[static_cast<size_t>(v)]);
  }
  int at = array[static_cast<size_t>(d.point[static_cast<size_t>(x)])];
  redefine(d, y, lo, hi, d.point[static_cast<size_t>(at)]);
  array.insert(array.begin(), x);
  addDefinition(d, Constraint::ElementVar, y, array, {}, 0);
}

// 4 to 6 variables of different point values.
inline void addAllDiff(Random& r, Draft& d) {
  int n = static_cast<int>(d.size()), size = r.in(4, 6);
  std::vector<int> vars;
  for (int v : pickVars(r, n, n, -1)) {
    bool taken = false;
    for (int w : vars)
      taken = taken || d.point[static_cast<size_t>(w)] == d.point[static_cast<size_t>(v)];
    if (!taken && static_cast<int>(vars.size()) < size) vars.push_back(v);
  }
  if (vars.size() < 3) return;
  d.m.constraints.push_back({Constraint::AllDiff, readTerms(d, vars), 0, 0, -1, 0, {}});
}

// y == the number of 4 to 6 variables equal to the point value of the first.
inline void addCount(Random& r, Draft& d) {
  int y = freeVar(r, d, {});
  if (y < 0) return;
  std::vector<int> vars = pickVars(r, static_cast<int>(d.size()), r.in(4, 6), y);
  int value = d.point[static_cast<size_t>(vars[0])], count = 0;
  for (int v : vars) count += d.point[static_cast<size_t>(v)] == value;
  redefine(d, y, 0, static_cast<int>(vars.size()), count);
  addDefinition(d, Constraint::Count, y, vars, {}, value);
}

// y == the least (greatest) of 3 or 4 variables; y's domain is their domains' hull.
inline void addMinMax(Random& r, Draft& d, bool least) {
  int y = freeVar(r, d, {});
  if (y < 0) return;
  std::vector<int> vars = pickVars(r, static_cast<int>(d.size()), r.in(3, 4), y);
  int lo = 100, hi = -100, value = least ? 100 : -100;
  for (int v : vars) {
    size_t i = static_cast<size_t>(v);
    lo = std::min(lo, d.m.lo[i]);
    hi = std::max(hi, d.m.hi[i]);
    value = least ? std::min(value, d.point[i]) : std::max(value, d.point[i]);
  }
  redefine(d, y, lo, hi, value);
  addDefinition(d, least ? Constraint::Min : Constraint::Max, y, vars, {}, 0);
}

// y == |x|, x a variable whose domain holds negative values where there is one.
inline void addAbs(Random& r, Draft& d) {
  int y = freeVar(r, d, {});
  if (y < 0) return;
  int x = -1;
  for (int v : pickVars(r, static_cast<int>(d.size()), static_cast<int>(d.size()) - 1, y))
    if (x < 0 || (d.m.lo[static_cast<size_t>(x)] >= 0 && d.m.lo[static_cast<size_t>(v)] < 0)) x = v;
  size_t i = static_cast<size_t>(x);
  int value = d.point[i] < 0 ? -d.point[i] : d.point[i];
  redefine(d, y, 0, std::max(-d.m.lo[i], d.m.hi[i]), value);
  addDefinition(d, Constraint::Abs, y, {x}, {}, 0);
}

// f and invf of 3 to 5 new variables each over 0..k-1, inverse to each other
// at the point.
inline void addInverse(Random& r, Draft& d) {
  int k = r.in(3, 5), first = static_cast<int>(d.size());
  std::vector<int> image, vars;
  for (int j = 0; j < k; ++j) image.insert(image.begin() + r.in(0, j), j);
  for (int v = 0; v < 2 * k; ++v) {
    vars.push_back(first + v);
    d.m.lo.push_back(0);
    d.m.hi.push_back(k - 1);
    d.point.push_back(0);
    d.fixed.push_back(false);
  }
  for (int i = 0; i < k; ++i) {
    int j = image[static_cast<size_t>(i)];
    d.point[static_cast<size_t>(first + i)] = j;
    d.point[static_cast<size_t>(first + k + j)] = i;
  }
  d.m.constraints.push_back({Constraint::Inverse, readTerms(d, vars), 0, 0, -1, 0, {}});
}

// y == (a <= b) or y == (a == c) with c in a's domain, y given the domain 0..1.
inline void addReified(Random& r, Draft& d, bool equal) {
  int y = freeVar(r, d, {});
  if (y < 0) return;
  std::vector<int> vars = pickVars(r, static_cast<int>(d.size()), equal ? 1 : 2, y);
  size_t a = static_cast<size_t>(vars[0]);
  int c = r.in(d.m.lo[a], d.m.hi[a]);
  redefine(d, y, 0, 1,
           equal ? d.point[a] == c : d.point[a] <= d.point[static_cast<size_t>(vars[1])]);
  addDefinition(d, equal ? Constraint::ReifEq : Constraint::ReifLe, y, vars, {}, c);
}

inline void addCatalogueConstraint(Random& r, Draft& d, int kind) {
  switch (static_cast<Constraint::Kind>(Constraint::Allowed + kind)) {
    case Constraint::Allowed:
      addTable(r, d, true);
      break;
    case Constraint::Forbidden:
      addTable(r, d, false);
      break;
    case Constraint::ElementConst:
      addElementConst(r, d);
      break;
    case Constraint::ElementVar:
      addElementVar(r, d);
      break;
    case Constraint::AllDiff:
      addAllDiff(r, d);
      break;
    case Constraint::Count:
      addCount(r, d);
      break;
    case Constraint::Min:
      addMinMax(r, d, true);
      break;
    case Constraint::Max:
      addMinMax(r, d, false);
      break;
    case Constraint::Abs:
      addAbs(r, d);
      break;
    case Constraint::Inverse:
      addInverse(r, d);
      break;
    case Constraint::ReifLe:
      addReified(r, d, false);
      break;
    default:
      addReified(r, d, true);
      break;
  }
}

// The catalogue model drawn from seed: 15 to 20 variables over domains of 6
// to 9 values from -3..1 on (and those an inverse adds), a point drawn in
// them, 2 to 4 constraints of the catalogue that hold at the point (the first
// of kind seed mod the number of kinds, so that consecutive seeds meet every
// kind), then linear ranges as in the random models until every variable is
// in one of them; in every third model the first range is moved off the
// values it can reach.
inline Model catalogueModel(uint64_t seed) {
  Random r(seed * 0x9E3779B97F4A7C15ULL + 7);
  int n = r.in(15, 20);
  Draft d{{"catalogue " + std::to_string(seed), {}, {}, {}}, {}, {}};
  for (int i = 0; i < n; ++i) {
    int lo = r.in(-3, 1);
    d.m.lo.push_back(lo);
    d.m.hi.push_back(lo + r.in(5, 8));
    d.point.push_back(r.in(lo, d.m.hi.back()));
  }
  d.fixed.assign(static_cast<size_t>(n), false);
  int count = r.in(2, 4);
  for (int k = 0; k < count; ++k)
    addCatalogueConstraint(
        r, d, k == 0 ? static_cast<int>(seed % kCatalogueKinds) : r.in(0, kCatalogueKinds - 1));
  std::vector<bool> inRange(d.size(), false);
  coverByLinearRanges(r, d.m, d.point, inRange, seed % 3 == 0);
  return d.m;
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

// The catalogue models the benchmark runs: for each of the 12 kinds, the
// first 3 seeds of that kind (seed mod 12) whose tree with presolve off has
// 20,000 to 2,000,000 nodes and whose trees equal the Gecode twin's in every
// way (presolve on and off, the catalogue in the model and on the manager).
// Of the seeds 1..600, 154 have a tree of that size, and the trees of 3
// of them differ from the twin's, each with an element over variables.
// `bench_solver_models pick 3` prints the list.
inline const std::vector<int>& catalogueSeeds() {
  static const std::vector<int> seeds = {
      1,  16, 22,  45,  46,  50,  52,  53,  55,  58,  65,  74,  75,  76,  77,  78,  83,  85,
      96, 97, 104, 105, 107, 108, 116, 139, 155, 163, 165, 218, 231, 255, 264, 284, 294, 318};
  return seeds;
}

// Model k: 0 the seed model, the random model drawn from seed k above 0, the
// catalogue model drawn from seed -k below.
inline Model modelNumber(int k) {
  if (k < 0) return catalogueModel(static_cast<uint64_t>(-k));
  return k == 0 ? seedModel() : randomModel(static_cast<uint64_t>(k));
}

}  // namespace solverbench

#endif
