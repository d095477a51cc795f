// Random models where faults hide between constraints: constraints and
// ranges used as 0-1 values and combined by arithmetic (and, or, equivalence,
// exclusive or), truncating integer quotients, products by integer and by
// double constants, variables with holes and negative values. Integer models
// are solved through the solver in edit and no-edit mode, in both failure
// modes and with two goals, against brute force; float models must keep a
// point that MPFR finds feasible.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrovar.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

// Expression and constraint trees kept beside the model, so that the model can
// be built afresh for every solver and evaluated by brute force.
struct Node {
  enum Op { Var, Const, Add, Sub, Mul, Div, TimesInt, TimesDouble, Square, Truth } op;
  int var = 0;
  double c = 0;  // constant, or the factor of TimesInt and TimesDouble
  int a = -1, b = -1;
  int cons = -1;  // Truth: the constraint
  bool integral = true;
};

struct Cons {
  enum Kind { Range, Eq, Le } kind;
  int e = -1, f = -1;
  double lo = 0, hi = 0;
};

struct Tree {
  std::vector<Node> nodes;
  std::vector<Cons> cons;
  std::vector<int> top;  // the model's constraints
};

const char* const kOpNames[] = {"v", "c", "+", "-", "*", "/", "*k", "*d", "sqr", "truth"};

class Generator {
 public:
  Generator(std::mt19937_64& rng, Tree& t, int nvars, std::vector<bool> nonZero, bool floats)
      : _rng(rng), _t(t), _nvars(nvars), _nonZero(std::move(nonZero)), _floats(floats) {}

  int expr(int depth) {
    int k = static_cast<int>(_rng() % (depth > 0 ? 12 : 4));
    Node n;
    if (k <= 2) {
      n.op = Node::Var;
      n.var = pick();
      n.integral = !_floats;
      return add(n);
    }
    if (k == 3) {
      n.op = Node::Const;
      n.c = static_cast<int>(_rng() % 7) - 3;
      return add(n);
    }
    switch (k) {
      case 4:
      case 5:
        n.op = _rng() % 2 ? Node::Add : Node::Sub;
        break;
      case 6:
        n.op = Node::Mul;
        break;
      case 7:
        n.op = Node::TimesInt;
        n.c = static_cast<int>(_rng() % 7) - 3;
        break;
      case 8: {
        static const double factors[] = {0.5, -1.5, 2.0, -4.0, 2.5};
        n.op = Node::TimesDouble;
        n.c = factors[_rng() % 5];
        break;
      }
      case 9:
        if (!_floats) return quotient(depth);
        n.op = Node::Square;
        break;
      default:
        if (_floats) return expr(depth);
        n.op = Node::Truth;
        n.cons = constraint(depth - 1);
        return add(n);
    }
    n.a = expr(depth - 1);
    if (n.op == Node::Add || n.op == Node::Sub || n.op == Node::Mul) n.b = expr(depth - 1);
    const Node& a = _t.nodes[n.a];
    n.integral = a.integral && (n.b < 0 || _t.nodes[n.b].integral) &&
                 (n.op != Node::TimesDouble || n.c == std::floor(n.c));
    return add(n);
  }

  int constraint(int depth) {
    Cons c;
    int k = static_cast<int>(_rng() % 6);
    if (k == 0 && depth >= 0) {
      // A connective: two constraints' truths combined by arithmetic.
      Node n;
      n.op = Node::Truth;
      n.cons = constraint(depth - 1);
      int a = add(n);
      n.cons = constraint(depth - 1);
      int b = add(n);
      Node join;
      join.op = _rng() % 2 ? Node::Add : Node::Mul;
      join.a = a;
      join.b = b;
      c.kind = Cons::Range;
      c.e = add(join);
      // and: t1 * t2 in [1, 1]; or: t1 + t2 in [1, 2]; xor: t1 + t2 in [1, 1];
      // nor: t1 + t2 in [0, 0]; nand: t1 * t2 in [0, 0].
      c.lo = static_cast<double>(_rng() % 2);
      c.hi = join.op == Node::Add && c.lo == 1 && _rng() % 2 ? 2 : c.lo;
    } else if (k == 1) {
      c.kind = Cons::Eq;
      c.e = expr(depth);
      c.f = expr(depth);
    } else if (k == 2) {
      c.kind = Cons::Le;
      c.e = expr(depth);
      c.hi = bound();
    } else {
      c.kind = Cons::Range;
      c.e = expr(depth);
      c.lo = bound();
      c.hi = c.lo + static_cast<int>(_rng() % 5);
      if (!_t.nodes[c.e].integral && _rng() % 2) c.hi += 0.5;
    }
    _t.cons.push_back(c);
    return static_cast<int>(_t.cons.size()) - 1;
  }

 private:
  int add(const Node& n) {
    _t.nodes.push_back(n);
    return static_cast<int>(_t.nodes.size()) - 1;
  }
  int pick() { return static_cast<int>(_rng() % _nvars); }
  double bound() { return static_cast<int>(_rng() % 9) - 4; }

  // An integer quotient by a variable without 0: of an integer expression, or
  // of a constant.
  int quotient(int depth) {
    std::vector<int> divisors;
    for (int i = 0; i < _nvars; ++i)
      if (_nonZero[i]) divisors.push_back(i);
    if (divisors.empty()) return expr(depth);
    Node n;
    n.op = Node::Div;
    Node v;
    v.op = Node::Var;
    v.var = divisors[_rng() % divisors.size()];
    n.b = add(v);
    if (_rng() % 3 == 0) {
      Node c;
      c.op = Node::Const;
      c.c = static_cast<int>(_rng() % 15) - 7;
      n.a = add(c);
    } else {
      n.a = expr(depth - 1);
      if (!_t.nodes[n.a].integral) return n.a;
    }
    return add(n);
  }

  std::mt19937_64& _rng;
  Tree& _t;
  int _nvars;
  std::vector<bool> _nonZero;
  bool _floats;
};

// ---------------------------------------------------------------- evaluation

// Values are small multiples of 1/8: doubles hold them exactly.
double eval(const Tree& t, int i, const std::vector<double>& v);

bool holds(const Tree& t, int i, const std::vector<double>& v) {
  const Cons& c = t.cons[i];
  double e = eval(t, c.e, v);
  switch (c.kind) {
    case Cons::Range:
      return c.lo <= e && e <= c.hi;
    case Cons::Eq:
      return e == eval(t, c.f, v);
    case Cons::Le:
      return e <= c.hi;
  }
  return false;
}

double eval(const Tree& t, int i, const std::vector<double>& v) {
  const Node& n = t.nodes[i];
  switch (n.op) {
    case Node::Var:
      return v[n.var];
    case Node::Const:
      return n.c;
    case Node::Add:
      return eval(t, n.a, v) + eval(t, n.b, v);
    case Node::Sub:
      return eval(t, n.a, v) - eval(t, n.b, v);
    case Node::Mul:
      return eval(t, n.a, v) * eval(t, n.b, v);
    case Node::Div:
      return std::trunc(eval(t, n.a, v) / eval(t, n.b, v));
    case Node::TimesInt:
    case Node::TimesDouble:
      return eval(t, n.a, v) * n.c;
    case Node::Square: {
      double a = eval(t, n.a, v);
      return a * a;
    }
    case Node::Truth:
      return holds(t, n.cons, v) ? 1 : 0;
  }
  return 0;
}

void dump(std::ostream& os, const Tree& t, int i);

void dumpCons(std::ostream& os, const Tree& t, int i) {
  const Cons& c = t.cons[i];
  if (c.kind == Cons::Range) os << c.lo << " <= ";
  dump(os, t, c.e);
  if (c.kind == Cons::Range) os << " <= " << c.hi;
  if (c.kind == Cons::Le) os << " <= " << c.hi;
  if (c.kind == Cons::Eq) dump(os << " == ", t, c.f);
}

void dump(std::ostream& os, const Tree& t, int i) {
  const Node& n = t.nodes[i];
  if (n.op == Node::Var) {
    os << "x" << n.var;
    return;
  }
  if (n.op == Node::Const) {
    os << n.c;
    return;
  }
  if (n.op == Node::Truth) {
    dumpCons(os << "[", t, n.cons);
    os << "]";
    return;
  }
  os << "(" << kOpNames[n.op];
  if (n.op == Node::TimesInt || n.op == Node::TimesDouble) os << n.c;
  if (n.a >= 0) dump(os << " ", t, n.a);
  if (n.b >= 0) dump(os << " ", t, n.b);
  os << ")";
}

// ---------------------------------------------------------------- model

QroNumExprArg build(const Tree& t, int i, const std::vector<QroNumVar>& x, QroEnv& env);

QroConstraint buildCons(const Tree& t, int i, const std::vector<QroNumVar>& x, QroEnv& env) {
  const Cons& c = t.cons[i];
  switch (c.kind) {
    case Cons::Range:
      return QroRange(env, c.lo, build(t, c.e, x, env), c.hi);
    case Cons::Eq:
      return build(t, c.e, x, env) == build(t, c.f, x, env);
    case Cons::Le:
      return build(t, c.e, x, env) <= c.hi;
  }
  return QroConstraint();
}

QroNumExprArg build(const Tree& t, int i, const std::vector<QroNumVar>& x, QroEnv& env) {
  const Node& n = t.nodes[i];
  switch (n.op) {
    case Node::Var:
      return QroNumExprArg(x[n.var]);
    case Node::Const:
      // A constant term: no variable, zero times the first one.
      return 0.0 * QroNumExprArg(x[0]) + n.c;
    case Node::Add:
      return build(t, n.a, x, env) + build(t, n.b, x, env);
    case Node::Sub:
      return build(t, n.a, x, env) - build(t, n.b, x, env);
    case Node::Mul:
      return build(t, n.a, x, env) * build(t, n.b, x, env);
    case Node::Div:
      if (t.nodes[n.a].op == Node::Const) return t.nodes[n.a].c / build(t, n.b, x, env);
      return build(t, n.a, x, env) / build(t, n.b, x, env);
    case Node::TimesInt:
      return build(t, n.a, x, env) * static_cast<QroInt>(n.c);
    case Node::TimesDouble:
      return build(t, n.a, x, env) * n.c;
    case Node::Square:
      return QroPower(build(t, n.a, x, env), 2.0);
    case Node::Truth:
      return QroNumExprArg(buildCons(t, n.cons, x, env).getImpl());
  }
  return QroNumExprArg();
}

std::string describe(const Tree& t) {
  std::ostringstream os;
  os.precision(17);
  for (int c : t.top) dumpCons(os << "  ", t, c), os << "\n";
  return os.str();
}

// ---------------------------------------------------------------- integer models

QroNumVar intVar(QroEnv& env, const std::vector<double>& values) {
  bool contiguous = values.back() - values.front() + 1 == static_cast<double>(values.size());
  if (contiguous) return QroNumVar(env, values.front(), values.back(), QroNumVar::Int);
  QroIntArray list(env, 0);
  for (double v : values) list.add(static_cast<QroInt>(v));
  QroEnvI* e = env.getImpl();
  void* p = e->alloc(sizeof(QroIntVarDomainI));
  return QroNumVar(new (e) QroNumVarI(e, new (p) QroIntVarDomainI(list, 0)));
}

struct IntModel {
  Tree tree;
  std::vector<std::vector<double>> domains;
};

IntModel randomIntModel(std::mt19937_64& rng) {
  IntModel m;
  int nvars = 2 + static_cast<int>(rng() % 2);
  std::vector<bool> nonZero;
  for (int i = 0; i < nvars; ++i) {
    // Four to six values of [-3, 4], some with holes, some without 0.
    std::vector<double> d;
    int lo = -3 + static_cast<int>(rng() % 3);
    for (int v = lo; v <= 4 && d.size() < 6; ++v)
      if (rng() % 4 != 0 || d.size() + (4 - v) < 4) d.push_back(v);
    if (rng() % 2) {
      std::vector<double> without;
      for (double v : d)
        if (v != 0) without.push_back(v);
      d = without;
    }
    m.domains.push_back(d);
    nonZero.push_back(std::find(d.begin(), d.end(), 0.0) == d.end());
  }
  Generator g(rng, m.tree, nvars, nonZero, false);
  int n = 1 + static_cast<int>(rng() % 2);
  for (int i = 0; i < n; ++i) m.tree.top.push_back(g.constraint(2));
  return m;
}

std::set<std::vector<double>> bruteForce(const IntModel& m) {
  std::set<std::vector<double>> out;
  std::vector<size_t> at(m.domains.size(), 0);
  std::vector<double> v(m.domains.size());
  for (;;) {
    for (size_t i = 0; i < v.size(); ++i) v[i] = m.domains[i][at[i]];
    bool ok = true;
    for (int c : m.tree.top) ok = ok && holds(m.tree, c, v);
    if (ok) out.insert(v);
    size_t i = 0;
    while (i < at.size() && at[i] + 1 == m.domains[i].size()) at[i++] = 0;
    if (i == at.size()) break;
    ++at[i];
  }
  return out;
}

// Every solution of one search, or the refusal of an inconsistent model.
std::set<std::vector<double>> solveAll(const IntModel& m, QrcManagerTag tag, bool exceptions,
                                       bool bisect, std::string& trouble) {
  std::set<std::vector<double>> found;
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> x;
  for (const auto& d : m.domains) {
    x.push_back(intVar(env, d));
    model.add(x.back());
  }
  for (int c : m.tree.top) model.add(buildCons(m.tree, c, x, env));
  try {
    QroSolver solver(model, tag);
    QrcManagerI* mgr = solver.getManagerI();
    mgr->useExceptions(exceptions);
    mgr->setFailLimit(20000);
    QroGoal goal;
    if (bisect) {
      goal = QroNumDichotomize(env, x[0], 0, 0.0);
      for (size_t i = 1; i < x.size(); ++i)
        goal = QroAndGoal(goal, QroNumDichotomize(env, x[i], 0, 0.0));
    }
    solver.startNewSearch(goal);
    int count = 0;
    while (solver.next()) {
      std::vector<double> v;
      for (const QroNumVar& xi : x) v.push_back(solver.getValue(xi));
      if (!found.insert(v).second) trouble += " duplicate solution;";
      if (++count > 1000) break;
    }
    if (mgr->getFails() >= 20000) trouble += " fail limit reached;";
    // Only the library's code runs: the manager vouches for every object,
    // and every failure of a search over a model posted before it jumps.
    mgr->checkMade();
    if (exceptions && mgr->hasMetForeignCode()) trouble += " an object not vouched for;";
    if (exceptions && tag == &QrcNoEdit && mgr->getThrownFailures() != 0)
      trouble += " " + std::to_string(mgr->getThrownFailures()) + " failures thrown;";
    solver.endSearch();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  } catch (const QroException& e) {
    trouble += std::string(" ") + typeid(e).name() + " " + (e.getMessage() ? e.getMessage() : "");
  }
  env.end();
  return found;
}

std::string text(const std::set<std::vector<double>>& s) {
  std::ostringstream os;
  os << s.size() << ":";
  for (const auto& v : s) {
    os << " (";
    for (size_t i = 0; i < v.size(); ++i) os << (i ? "," : "") << v[i];
    os << ")";
  }
  return os.str();
}

TEST(RandomTruthModels, IntegerSolutionsMatchBruteForceInEveryMode) {
  uint64_t seed = qrotest::seedOr(2026);
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 150; ++round) {
    IntModel m = randomIntModel(rng);
    std::set<std::vector<double>> expected = bruteForce(m);
    for (int mode = 0; mode < 8; ++mode) {
      bool edit = mode & 1, exceptions = mode & 2, bisect = mode & 4;
      std::string trouble;
      std::set<std::vector<double>> found =
          solveAll(m, edit ? &QrcEdit : &QrcNoEdit, exceptions, bisect, trouble);
      ASSERT_TRUE(found == expected && trouble.empty())
          << "seed " << seed << " round " << round << (edit ? " edit" : " no-edit")
          << (exceptions ? ", exceptions" : ", jumps")
          << (bisect ? ", bisection" : ", default goal") << " (replay with --qro_seed=" << seed
          << ")\n"
          << describe(m.tree) << "expected " << text(expected) << "\nfound    " << text(found)
          << "\n"
          << trouble;
    }
  }
}

// ---------------------------------------------------------------- float models

#ifdef QRO_HAVE_MPFR

// Exact enough: sums, differences and products are exact at this precision,
// a quotient is off by far less than any double's spacing.
const mpfr_prec_t kBits = 2048;

class Exact {
 public:
  Exact() { mpfr_init2(v, kBits); }
  ~Exact() { mpfr_clear(v); }
  Exact(const Exact&) = delete;
  Exact& operator=(const Exact&) = delete;
  mpfr_t v;
};

// The value of node i at the point x; false where it has none (a quotient by 0).
bool exact(const Tree& t, int i, const std::vector<double>& x, mpfr_t r) {
  const Node& n = t.nodes[i];
  const mpfr_rnd_t N = MPFR_RNDN;
  Exact a, b;
  switch (n.op) {
    case Node::Var:
      mpfr_set_d(r, x[n.var], N);
      return true;
    case Node::Const:
      mpfr_set_d(r, n.c, N);
      return true;
    case Node::Square:
      if (!exact(t, n.a, x, a.v)) return false;
      mpfr_sqr(r, a.v, N);
      return true;
    case Node::TimesInt:
    case Node::TimesDouble:
      if (!exact(t, n.a, x, a.v)) return false;
      mpfr_mul_d(r, a.v, n.c, N);
      return true;
    default:
      break;
  }
  if (!exact(t, n.a, x, a.v) || !exact(t, n.b, x, b.v)) return false;
  switch (n.op) {
    case Node::Add:
      mpfr_add(r, a.v, b.v, N);
      return true;
    case Node::Sub:
      mpfr_sub(r, a.v, b.v, N);
      return true;
    case Node::Mul:
      mpfr_mul(r, a.v, b.v, N);
      return true;
    case Node::Div:
      if (mpfr_zero_p(b.v)) return false;
      mpfr_div(r, a.v, b.v, N);
      return true;
    default:
      return false;
  }
}

struct FloatModel {
  Tree tree;
  std::vector<double> point;
  std::vector<double> lo, hi;
};

bool hasVar(const Tree& t, int i) {
  const Node& n = t.nodes[i];
  return n.op == Node::Var || (n.a >= 0 && hasVar(t, n.a)) || (n.b >= 0 && hasVar(t, n.b));
}

// A float quotient of two expressions of the variables (a quotient of two
// integral constants would read as truncating).
int floatQuotient(Tree& t, Generator& g) {
  Node n;
  n.op = Node::Div;
  n.a = g.expr(1);
  n.b = g.expr(1);
  if (!hasVar(t, n.a) || !hasVar(t, n.b)) return n.a;
  n.integral = false;
  t.nodes.push_back(n);
  return static_cast<int>(t.nodes.size()) - 1;
}

// Ranges whose bounds are the outward doubles around each expression's exact
// value at a random point, so that the point is feasible.
bool randomFloatModel(std::mt19937_64& rng, FloatModel& m) {
  int nvars = 1 + static_cast<int>(rng() % 3);
  std::uniform_real_distribution<double> draw(-4.0, 4.0);
  for (int i = 0; i < nvars; ++i) {
    m.point.push_back(rng() % 4 == 0 ? static_cast<int>(rng() % 9) - 4.0 : draw(rng));
    double w = rng() % 3 == 0 ? 0.0 : std::ldexp(1.0, -static_cast<int>(rng() % 30));
    m.lo.push_back(m.point.back() - w);
    m.hi.push_back(m.point.back() + w);
  }
  Generator g(rng, m.tree, nvars, std::vector<bool>(nvars, false), true);
  int n = 1 + static_cast<int>(rng() % 3);
  Exact r;
  for (int i = 0; i < n; ++i) {
    int e = rng() % 3 == 0 ? floatQuotient(m.tree, g) : g.expr(3);
    if (!exact(m.tree, e, m.point, r.v)) return false;
    Cons c;
    c.kind = Cons::Range;
    c.e = e;
    c.lo = mpfr_get_d(r.v, MPFR_RNDD);
    c.hi = mpfr_get_d(r.v, MPFR_RNDU);
    if (!std::isfinite(c.lo) || !std::isfinite(c.hi)) return false;
    m.tree.cons.push_back(c);
    m.tree.top.push_back(static_cast<int>(m.tree.cons.size()) - 1);
  }
  return true;
}

// Root propagation over the box around the point, then with the point fixed:
// neither may fail.
TEST(RandomTruthModels, FloatModelsKeepAnExactlyFeasiblePoint) {
  uint64_t seed = qrotest::seedOr(2027);
  std::mt19937_64 rng(seed);
  int checked = 0;
  for (int round = 0; round < 400; ++round) {
    FloatModel m;
    if (!randomFloatModel(rng, m)) continue;
    for (int fixed = 0; fixed < 2; ++fixed) {
      QroEnv env;
      QroModel model(env);
      std::vector<QroNumVar> x;
      for (size_t i = 0; i < m.point.size(); ++i) {
        double lo = fixed ? m.point[i] : m.lo[i], hi = fixed ? m.point[i] : m.hi[i];
        x.push_back(QroNumVar(env, lo, hi, QroNumVar::Float));
        model.add(x.back());
      }
      for (int c : m.tree.top) model.add(buildCons(m.tree, c, x, env));
      std::ostringstream point;
      point.precision(17);
      for (double p : m.point) point << " " << p;
      int solved = -1;
      try {
        QroSolver solver(model);
        solved = static_cast<int>(solver.solve(QroGoal()));
        solver.end();
      } catch (const QroSolver::ModelInconsistent&) {
        solved = 0;
      }
      EXPECT_EQ(solved, 1) << "seed " << seed << " round " << round
                           << (fixed ? " point fixed" : " box")
                           << " (replay with --qro_seed=" << seed << ")\n"
                           << describe(m.tree) << "point" << point.str();
      env.end();
      ++checked;
    }
  }
  EXPECT_GT(checked, 400);
}

#endif

}  // namespace
