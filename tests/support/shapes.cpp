// The array shapes of a harness case, drawn from a seed: the shared shape
// rewrites the array positions (and now and then another integer position)
// as expressions over a few shared variables, the tied shape posts
// equalities between the case's variables (through an extra variable, or
// directly) before the constraint, the repeated shape puts one variable at
// two positions of the arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "qrcmanager.h"
#include "support/seed.h"
#include "support/shape_layout.h"

namespace qrotest {

namespace {

typedef std::vector<int64_t> A;

// Above this many assignments a shape is not run: brute force must stay cheap.
const int64_t MaxShapeAssignments = 400000;
// Beyond this magnitude a case runs the repeated shape only.
const int64_t MaxShapeValue = int64_t(1) << 24;
// Beyond this one, no expressions of shared variables: products of products
// would leave the integers.
const int64_t MaxSharedValue = int64_t(1) << 12;

const VarKind* kindAt(const PropCase& c, size_t i) {
  if (i < c.kinds.size() && c.kinds[i]) return c.kinds[i];
  return c.kind ? c.kind : &intKind();
}

bool isInt(const PropCase& c, size_t i) {
  return kindAt(c, i) == &intKind();
}

// Whether every integer candidate lies within the magnitude.
bool within(const PropCase& c, int64_t limit) {
  for (size_t p = 0; p < c.values.size(); ++p)
    if (isInt(c, p))
      for (int64_t v : c.values[p])
        if (v < -limit || v > limit) return false;
  return true;
}

bool inArray(const PropCase& c, size_t i) {
  return i >= c.arrayFirst && i < c.arrayFirst + c.arrayElements;
}

// Whether the kind states equalities (probed once on a manager of its own).
bool hasEqual(const VarKind* kind) {
  static std::map<const VarKind*, bool> known;
  auto it = known.find(kind);
  if (it != known.end()) return it->second;
  QrcManager mgr(QrcNoEdit);
  QrcExprI* x = kind->make(mgr.getImpl(), {0, 1});
  QrcExprI* y = kind->make(mgr.getImpl(), {0, 1});
  bool has = kind->makeEqual(x, y) != nullptr;
  mgr.end();
  return known[kind] = has;
}

A sortedValues(A v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

template <class T>
const T& pick(const std::vector<T>& v, Rng& rng) {
  return v[rng() % v.size()];
}

// Every position a variable of its own.
Layout identity(const PropCase& c) {
  Layout l;
  for (size_t p = 0; p < c.values.size(); ++p)
    l.position.push_back(l.addVar(c.values[p], kindAt(c, p)));
  return l;
}

// ---------------------------------------------------------------- shared expressions

class SharedDraw {
 public:
  SharedDraw(Layout& l, Rng& rng) : _l(l), _rng(rng) {}

  std::vector<int> operands;

  // A term whose values mostly lie among the target values.
  int term(const A& target, int depth) {
    int best = -1;
    double bestScore = -1;
    for (int attempt = 0; attempt < 8 && bestScore < 0.5; ++attempt) {
      int t = draw(target, depth);
      A v = _l.valuesOf(t);
      size_t inside = 0;
      for (int64_t x : v) inside += std::binary_search(target.begin(), target.end(), x);
      double score = inside == 0 || v.size() < 2 ? 0 : static_cast<double>(inside) / v.size();
      if (score > bestScore) {
        best = t;
        bestScore = score;
      }
    }
    if (bestScore > 0) return best;
    // Nothing fits: a fresh variable over the target values.
    int var = _l.addVar(target, &intKind());
    operands.push_back(var);
    return var;
  }

 private:
  int operand(const A& target, int depth) {
    if (depth > 0 && _rng() % 3 == 0) return draw(target, depth - 1);
    return pick(operands, _rng);
  }

  // An index over 0..5 at most: a variable, a variable plus a constant or a
  // sum of two variables.
  int index() {
    int x = pick(operands, _rng);
    A vx = _l.valuesOf(x);
    if (_rng() % 2) {
      int y = pick(operands, _rng);
      A vy = _l.valuesOf(y);
      if (vx.front() >= 0 && vy.front() >= 0 && vx.back() + vy.back() <= 5) {
        Term t;
        t.op = Term::Add;
        t.a = x;
        t.b = y;
        return _l.addTerm(t);
      }
    }
    if (vx.front() >= 0 && vx.back() <= 5 && _rng() % 2) return x;
    if (vx.back() - vx.front() > 5) return -1;
    Term t;
    t.op = Term::Offset;
    t.a = x;
    t.k = -vx.front() + static_cast<int64_t>(_rng() % 2);
    return _l.addTerm(t);
  }

  int draw(const A& target, int depth) {
    Term t;
    static const Term::Op ops[] = {Term::Add, Term::Sub, Term::AbsDiff, Term::Mul,   Term::Offset,
                                   Term::Min, Term::Max, Term::ConstAt, Term::VarAt, Term::Offset};
    t.op = ops[_rng() % 10];
    if (t.op == Term::ConstAt || t.op == Term::VarAt) {
      t.a = index();
      if (t.a < 0) return operand(target, 0);
      size_t n = static_cast<size_t>(_l.valuesOf(t.a).back()) + 1;
      for (size_t j = 0; j < n; ++j) {
        if (t.op == Term::ConstAt)
          t.table.push_back(pick(target, _rng));
        else
          t.items.push_back(pick(operands, _rng));
      }
      return _l.addTerm(t);
    }
    t.a = operand(target, depth);
    if (t.op == Term::Offset) {
      A va = _l.valuesOf(t.a);
      int64_t room = (target.back() - target.front()) - (va.back() - va.front());
      t.k = target.front() - va.front() +
            static_cast<int64_t>(_rng() % static_cast<uint64_t>(std::max<int64_t>(1, room + 1)));
      if (t.k == 0) t.k = _rng() % 2 ? 1 : -1;
      return _l.addTerm(t);
    }
    t.b = operand(target, depth);
    return _l.addTerm(t);
  }

  Layout& _l;
  Rng& _rng;
};

// Small domains within [lo, hi], and one near zero.
void addPool(Layout& l, SharedDraw& d, int64_t lo, int64_t hi, Rng& rng) {
  for (int k = 0, n = 1 + static_cast<int>(rng() % 2); k < n; ++k) {
    int64_t span = std::min<int64_t>(hi - lo + 1, 2 + static_cast<int64_t>(rng() % 3));
    int64_t a = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo - span + 2));
    A v;
    for (int64_t x = a; x < a + span; ++x)
      if (x == a || x == a + span - 1 || rng() % 4) v.push_back(x);
    d.operands.push_back(l.addVar(v, &intKind()));
  }
  static const A small[] = {{0, 1}, {-1, 0, 1}, {0, 1, 2}, {1, 2}};
  d.operands.push_back(l.addVar(small[rng() % 4], &intKind()));
}

// Now and then a constraint over one of the expressions (or over its sum
// with a shared variable), posted first.
void constrainOne(Layout& l, SharedDraw& d, const std::vector<int>& made, Rng& rng) {
  std::vector<int> exprs;
  for (int t : made)
    if (l.terms[static_cast<size_t>(t)].op != Term::Var) exprs.push_back(t);
  if (!exprs.empty() && rng() % 2) {
    Pre p;
    p.lhs = pick(exprs, rng);
    A v = l.valuesOf(p.lhs);
    if (v.size() >= 2) {
      p.op = static_cast<Pre::Op>(1 + rng() % 3);
      p.k = p.op == Pre::Ne ? pick(v, rng) : p.op == Pre::Le ? v[v.size() - 2] : v[1];
      if (rng() % 2) {
        // The expression inside a sum: s + w (unless the sum is a constant).
        Term sum;
        sum.op = Term::Add;
        sum.a = p.lhs;
        sum.b = pick(d.operands, rng);
        int t = l.addTerm(sum);
        A w = l.valuesOf(t);
        if (w.size() >= 2) {
          p.lhs = t;
          p.k = p.op == Pre::Ne ? pick(w, rng) : p.op == Pre::Le ? w[w.size() - 2] : w[1];
        }
      }
      l.pre.push_back(p);
    }
  }
}

bool sharedShape(const PropCase& c, Rng& rng, Layout& l) {
  size_t n = c.values.size();
  std::vector<size_t> elements, others;
  for (size_t p = 0; p < n; ++p)
    if (isInt(c, p) && !c.values[p].empty()) (inArray(c, p) ? elements : others).push_back(p);
  if (elements.empty()) return false;
  int64_t lo = c.values[elements[0]].front(), hi = lo;
  for (size_t p : elements)
    for (int64_t v : c.values[p]) lo = std::min(lo, v), hi = std::max(hi, v);
  SharedDraw d(l, rng);
  // Other integer positions: some become expressions, the rest stay
  // variables that the expressions may share.
  std::vector<bool> rewrite(n, false);
  for (size_t p : elements) rewrite[p] = true;
  bool shareOthers = rng() % 2;
  l.position.assign(n, -1);
  for (size_t p = 0; p < n; ++p) {
    if (!isInt(c, p) || c.values[p].empty()) {
      l.position[p] = l.addVar(c.values[p], kindAt(c, p));
      continue;
    }
    if (!rewrite[p] && rng() % 4 == 0) rewrite[p] = true;
    if (rewrite[p]) continue;
    l.position[p] = l.addVar(c.values[p], &intKind());
    if (shareOthers) d.operands.push_back(l.position[p]);
  }
  addPool(l, d, lo, hi, rng);
  std::vector<int> made;
  for (size_t p = 0; p < n; ++p) {
    if (l.position[p] >= 0) continue;
    A target = sortedValues(c.values[p]);
    int r = static_cast<int>(rng() % 6);
    if (r == 0 && !made.empty())
      l.position[p] = pick(made, rng);  // the same expression built again
    else if (r == 1)
      l.position[p] = pick(d.operands, rng);  // a shared variable
    else
      l.position[p] = d.term(target, 1);
    made.push_back(l.position[p]);
  }
  constrainOne(l, d, made, rng);
  return true;
}

// ---------------------------------------------------------------- tied variables

Pre equality(int lhs, int rhs, Rng& rng) {
  Pre p;
  p.lhs = lhs;
  p.rhs = rhs;
  p.form = static_cast<int>(rng() % 3);
  return p;
}

// v + k as a term (v itself when k is 0).
int plus(Layout& l, int v, int64_t k) {
  if (k == 0) return v;
  Term t;
  t.op = Term::Offset;
  t.a = v;
  t.k = k;
  return l.addTerm(t);
}

bool tiedShape(const PropCase& c, Rng& rng, Layout& l) {
  l = identity(c);
  std::vector<size_t> ints, intElements, others;
  for (size_t p = 0; p < c.values.size(); ++p) {
    if (c.values[p].empty()) continue;
    if (isInt(c, p)) {
      ints.push_back(p);
      if (inArray(c, p)) intElements.push_back(p);
    } else if (inArray(c, p) && hasEqual(kindAt(c, p))) {
      others.push_back(p);
    }
  }
  // Variables of another kind: two of the same kind made equal.
  if (others.size() >= 2 && (intElements.empty() || rng() % 3 == 0)) {
    size_t i = pick(others, rng), j = pick(others, rng);
    if (i != j && kindAt(c, i) == kindAt(c, j)) {
      l.pre.push_back(equality(l.position[i], l.position[j], rng));
      return true;
    }
  }
  if (intElements.empty()) return false;
  // Array positions mostly, now and then another integer position.
  auto any = [&]() { return rng() % 4 == 0 ? pick(ints, rng) : pick(intElements, rng); };
  if (intElements.size() == 1 || rng() % 2) {
    // x_i == b + c_i through an extra variable b.
    size_t p0 = pick(intElements, rng);
    int64_t c0 = static_cast<int64_t>(rng() % 5) - 1;
    A bv;
    for (int64_t v : c.values[p0]) bv.push_back(v - c0);
    int b = l.addVar(sortedValues(bv), &intKind());
    l.pre.push_back(equality(l.position[p0], plus(l, b, c0), rng));
    std::vector<size_t> tied = {p0};
    for (int k = 0, n = 1 + static_cast<int>(rng() % 2); k < n; ++k) {
      size_t p = any();
      if (std::find(tied.begin(), tied.end(), p) != tied.end()) continue;
      tied.push_back(p);
      int64_t ck = c0 + static_cast<int64_t>(rng() % 3) - 1;
      l.pre.push_back(equality(l.position[p], plus(l, b, ck), rng));
    }
    return true;
  }
  // x_i == x_j + c directly.
  bool any_tie = false;
  for (int k = 0, n = 1 + static_cast<int>(rng() % 2); k < n; ++k) {
    size_t i = pick(intElements, rng), j = any();
    if (i == j) continue;
    int64_t ck = rng() % 2 ? 0 : static_cast<int64_t>(rng() % 3) - 1;
    l.pre.push_back(equality(l.position[i], plus(l, l.position[j], ck), rng));
    any_tie = true;
  }
  return any_tie;
}

// ---------------------------------------------------------------- repeated variables

bool repeatedShape(const PropCase& c, Rng& rng, Layout& l) {
  size_t n = c.values.size();
  std::vector<size_t> elements;
  for (size_t p = 0; p < n; ++p)
    if (inArray(c, p)) elements.push_back(p);
  if (elements.size() < 2) return false;
  // Pairs of array positions of one kind: j takes i's variable.
  std::vector<int> into(n, -1);
  int pairs = 0;
  for (int k = 0, want = 1 + (rng() % 3 == 0); k < want; ++k) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      size_t i = pick(elements, rng), j = pick(elements, rng);
      if (i == j || into[i] >= 0 || into[j] >= 0 || kindAt(c, i) != kindAt(c, j) ||
          c.values[i].empty() || c.values[j].empty())
        continue;
      bool taken = false;
      for (size_t q = 0; q < n; ++q)
        taken = taken || into[q] == static_cast<int>(i) || into[q] == static_cast<int>(j);
      if (taken) continue;
      into[j] = static_cast<int>(i);
      ++pairs;
      break;
    }
  }
  if (!pairs) return false;
  l.position.assign(n, -1);
  for (size_t p = 0; p < n; ++p) {
    if (into[p] >= 0) continue;
    A v = c.values[p];
    for (size_t q = 0; q < n; ++q) {
      if (into[q] != static_cast<int>(p)) continue;
      A both;
      for (int64_t x : sortedValues(v))
        if (std::find(c.values[q].begin(), c.values[q].end(), x) != c.values[q].end())
          both.push_back(x);
      if (!both.empty()) v = both;
    }
    l.position[p] = l.addVar(v, kindAt(c, p));
  }
  for (size_t p = 0; p < n; ++p)
    if (into[p] >= 0) l.position[p] = l.position[static_cast<size_t>(into[p])];
  return true;
}

// ---------------------------------------------------------------- offset views

// The shift that lays most of `from` (shifted) on `to`, never 0; ties drawn.
int64_t overlapShift(const A& from, const A& to, Rng& rng) {
  int64_t best = 0;
  size_t bestHits = 0, ties = 0;
  for (int64_t k = to.front() - from.back(); k <= to.back() - from.front(); ++k) {
    if (k == 0) continue;
    size_t hits = 0;
    for (int64_t v : from) hits += std::binary_search(to.begin(), to.end(), v + k);
    if (hits > bestHits || (hits == bestHits && rng() % ++ties == 0)) {
      if (hits > bestHits) ties = 1;
      best = k;
      bestHits = hits;
    }
  }
  return best ? best : 1;
}

// x + k, made a variable by QrcIntVar or left to the array's set.
int offsetOf(Layout& l, int x, int64_t k, bool made) {
  Term t;
  t.op = Term::Offset;
  t.a = x;
  t.k = k;
  t.made = made;
  return l.addTerm(t);
}

// Families of two or three integer positions, most of them array elements:
// the first keeps a variable of its own and the others become offset views
// of it, or all become offsets of one new variable; a view is made a
// variable by QrcIntVar or left to the array's set.
bool offsetShape(const PropCase& c, Rng& rng, Layout& l) {
  size_t n = c.values.size();
  std::vector<size_t> elements, ints;
  for (size_t p = 0; p < n; ++p) {
    if (!isInt(c, p) || c.values[p].empty()) continue;
    ints.push_back(p);
    if (inArray(c, p)) elements.push_back(p);
  }
  if (elements.empty() || ints.size() < 2) return false;
  std::vector<std::vector<size_t>> families;
  std::vector<bool> used(n, false);
  size_t want = 1 + rng() % std::max<size_t>(1, elements.size() / 2);
  for (size_t f = 0; f < want; ++f) {
    std::vector<size_t> family;
    for (int attempt = 0, size = 2 + (rng() % 3 == 0); attempt < 12 && family.size() < size_t(size);
         ++attempt) {
      size_t p = family.empty() || rng() % 5 ? pick(elements, rng) : pick(ints, rng);
      if (used[p]) continue;
      used[p] = true;
      family.push_back(p);
    }
    if (family.size() >= 2)
      families.push_back(family);
    else if (!family.empty())
      used[family[0]] = false;
  }
  if (families.empty()) return false;
  l.position.assign(n, -1);
  for (size_t p = 0; p < n; ++p)
    if (!used[p]) l.position[p] = l.addVar(c.values[p], kindAt(c, p));
  for (const std::vector<size_t>& family : families) {
    A v0 = sortedValues(c.values[family[0]]);
    // The base variable and the shift of each member from it.
    int x;
    int64_t shift0 = 0;
    bool fresh = rng() % 3 == 0;
    if (fresh) {
      shift0 = static_cast<int64_t>(rng() % 3) - 1;
      if (shift0 == 0) shift0 = 2;
      A vx;
      for (int64_t v : v0) vx.push_back(v - shift0);
      x = l.addVar(vx, &intKind());
      l.position[family[0]] = offsetOf(l, x, shift0, rng() % 2 == 0);
    } else {
      x = l.addVar(c.values[family[0]], &intKind());
      l.position[family[0]] = x;
    }
    std::vector<int64_t> shifts = {shift0};
    for (size_t k = 1; k < family.size(); ++k) {
      int64_t shift = shift0 + overlapShift(v0, sortedValues(c.values[family[k]]), rng);
      while (std::find(shifts.begin(), shifts.end(), shift) != shifts.end()) ++shift;
      shifts.push_back(shift);
      l.position[family[k]] = offsetOf(l, x, shift, rng() % 2 == 0);
    }
  }
  return true;
}

// ---------------------------------------------------------------- bound before the posting

// The values of the layout's variables in a solution of the case, drawn by
// sampling; false when none was met.
bool sampleSolution(const PropCase& c, const Layout& l, Rng& rng, A& out) {
  for (int attempt = 0; attempt < 300; ++attempt) {
    A a;
    for (const A& v : l.values) a.push_back(v.empty() ? 0 : pick(v, rng));
    bool ok = true;
    for (const Pre& p : l.pre) ok = ok && l.holds(p, a);
    if (!ok) continue;
    A x;
    for (int t : l.position) x.push_back(l.eval(t, a));
    if (c.scope && !c.scope(x)) continue;
    if (!c.check(x)) continue;
    out = a;
    return true;
  }
  return false;
}

// One or two of the variables bound before the posting (mostly to their
// values in a solution), over the case's own variables or over an offset or
// shared layout. True in `own` when the layout is the case's variables.
bool boundShape(const PropCase& c, Rng& rng, Layout& l, bool& own) {
  int base = static_cast<int>(rng() % 4);
  own = base <= 1;
  if (base == 2 && !offsetShape(c, rng, l)) own = true;
  if (base == 3 && (!within(c, MaxSharedValue) || !sharedShape(c, rng, l))) own = true;
  if (own) l = identity(c);
  // The variables that make array positions, bound first.
  std::vector<int> vars;
  for (size_t p = 0; p < c.values.size(); ++p) {
    if (!inArray(c, p)) continue;
    std::vector<int> stack = {l.position[p]};
    while (!stack.empty()) {
      const Term& t = l.terms[static_cast<size_t>(stack.back())];
      stack.pop_back();
      if (t.op == Term::Var) {
        if (!l.values[static_cast<size_t>(t.var)].empty() &&
            std::find(vars.begin(), vars.end(), t.var) == vars.end())
          vars.push_back(t.var);
        continue;
      }
      if (t.a >= 0) stack.push_back(t.a);
      if (t.b >= 0) stack.push_back(t.b);
      for (int item : t.items) stack.push_back(item);
    }
  }
  if (vars.size() < 2) return false;
  A sol;
  bool solved = sampleSolution(c, l, rng, sol) || rng() % 4 == 0;
  if (!solved) return false;
  for (int k = 0, want = 1 + (rng() % 3 == 0); k < want && k + 1 < static_cast<int>(vars.size());
       ++k) {
    size_t at = rng() % vars.size();
    int v = vars[at];
    vars.erase(vars.begin() + static_cast<long>(at));
    const A& values = l.values[static_cast<size_t>(v)];
    Pre p;
    p.op = Pre::Fix;
    p.lhs = -1;
    for (size_t t = 0; t < l.terms.size() && p.lhs < 0; ++t)
      if (l.terms[t].op == Term::Var && l.terms[t].var == v) p.lhs = static_cast<int>(t);
    p.k = sol.empty() || rng() % 5 == 0 ? pick(values, rng) : sol[static_cast<size_t>(v)];
    l.pre.push_back(p);
  }
  return true;
}

}  // namespace

const char* arrayShapeName(ArrayShape shape) {
  switch (shape) {
    case ArrayShape::Shared:
      return "shared";
    case ArrayShape::Tied:
      return "tied";
    case ArrayShape::Repeated:
      return "repeated";
    case ArrayShape::Offset:
      return "offset";
    case ArrayShape::Bound:
      return "bound";
  }
  return "?";
}

bool withArrayShape(const PropCase& c, ArrayShape shape, uint64_t seed, PropCase& out) {
  // Expressions and offsets over values near the integer limits would leave
  // them.
  if (shape != ArrayShape::Repeated && !within(c, MaxShapeValue)) return false;
  if (shape == ArrayShape::Shared && !within(c, MaxSharedValue)) return false;
  Rng rng(seed);
  Layout l;
  bool own = false;
  bool made = false;
  switch (shape) {
    case ArrayShape::Shared:
      made = sharedShape(c, rng, l);
      break;
    case ArrayShape::Tied:
      made = tiedShape(c, rng, l);
      break;
    case ArrayShape::Repeated:
      made = repeatedShape(c, rng, l);
      break;
    case ArrayShape::Offset:
      made = offsetShape(c, rng, l);
      break;
    case ArrayShape::Bound:
      made = boundShape(c, rng, l, own);
      break;
  }
  if (!made || l.assignments(MaxShapeAssignments) > MaxShapeAssignments) return false;
  if (c.shapesKeepCandidates) keepCandidates(c, l);
  // Bound variables take nothing from what propagation promises over the
  // case's own variables.
  out = caseOfLayout(c, l, arrayShapeName(shape), own);
  return true;
}

int runArrayShapes(const PropCase& c) {
  if (!c.arrayElements || c.arrayShapes <= 0 || c.shapeKinds.empty() || c.staging.edit ||
      c.staging.before >= 0 || c.staging.after >= 0)
    return 0;
  Rng rng(c.seed ^ nameHash(c.name) ^ 0x9e3779b97f4a7c15ull);
  std::vector<ArrayShape> draws;
  if (allForms()) {
    for (ArrayShape s : c.shapeKinds) draws.insert(draws.end(), 2, s);
  } else {
    for (int k = 0; k < c.arrayShapes; ++k) draws.push_back(pick(c.shapeKinds, rng));
  }
  int failures = 0;
  for (ArrayShape s : draws) {
    // A shape the case does not offer gives its turn to the next kind.
    uint64_t seed = rng();
    size_t at = static_cast<size_t>(std::find(c.shapeKinds.begin(), c.shapeKinds.end(), s) -
                                    c.shapeKinds.begin());
    for (size_t k = 0; k < c.shapeKinds.size(); ++k) {
      PropCase e;
      if (withArrayShape(c, c.shapeKinds[(at + k) % c.shapeKinds.size()], seed, e)) {
        failures += runPropCase(e);
        break;
      }
    }
  }
  return failures;
}

}  // namespace qrotest
