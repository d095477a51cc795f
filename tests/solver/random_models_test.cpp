// Random small models built with the modelling operators, extracted and
// searched: every solution must satisfy the model (exactly for integers,
// by outward interval evaluation for floats), integer searches must find
// exactly the brute-force solutions, and bound changes must be honoured.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <sstream>
#include <typeinfo>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qroplatform.h"
#include "qrosolveri.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "solver_support.h"
#include "support/seed.h"

namespace {

// Whether f left by an engine error report, which the solver's reporter throws.
template <class F>
bool exitsByError(F f) {
  testing::internal::CaptureStderr();
  bool thrown = false;
  try {
    f();
  } catch (const QroSolver::SolverErrorException&) {
    thrown = true;
  } catch (...) {
    testing::internal::GetCapturedStderr();
    throw;
  }
  testing::internal::GetCapturedStderr();
  return thrown;
}

// An expression tree kept beside the model so that it can be rebuilt fresh
// (the operators may extend unheld terms in place) and evaluated.
struct Node {
  enum Op { Var, Const, Add, Sub, Mul, Div, Sqr } op;
  int var = 0;
  double c = 0;
  int a = -1, b = -1;
};

struct Tree {
  std::vector<Node> nodes;
  int add(Node n) {
    nodes.push_back(n);
    return static_cast<int>(nodes.size()) - 1;
  }
};

int randomExpr(Tree& t, std::mt19937_64& rng, int nvars, int depth, bool floats) {
  int k = static_cast<int>(rng() % (depth > 0 ? 8 : 3));
  Node n;
  if (k <= 1) {
    n.op = Node::Var;
    n.var = static_cast<int>(rng() % nvars);
  } else if (k == 2) {
    n.op = Node::Const;
    n.c = static_cast<int>(rng() % 7) - 3;
    if (floats && rng() % 2) n.c += 0.5;
  } else {
    static const Node::Op ops[] = {Node::Add, Node::Sub, Node::Mul, Node::Sqr, Node::Div};
    n.op = ops[rng() % (floats ? 5 : 4)];
    n.a = randomExpr(t, rng, nvars, depth - 1, floats);
    if (n.op != Node::Sqr) n.b = randomExpr(t, rng, nvars, depth - 1, floats);
  }
  return t.add(n);
}

QroNumExprArg build(const Tree& t, int i, const std::vector<QroNumVar>& vars) {
  const Node& n = t.nodes[i];
  switch (n.op) {
    case Node::Var:
      return QroNumExprArg(vars[n.var]);
    case Node::Const:
      // A constant term: zero times a variable plus the constant.
      return 0.0 * QroNumExprArg(vars[0]) + n.c;
    case Node::Add:
      return build(t, n.a, vars) + build(t, n.b, vars);
    case Node::Sub:
      return build(t, n.a, vars) - build(t, n.b, vars);
    case Node::Mul:
      return build(t, n.a, vars) * build(t, n.b, vars);
    case Node::Div:
      return build(t, n.a, vars) / build(t, n.b, vars);
    case Node::Sqr:
      return QroPower(build(t, n.a, vars), 2.0);
  }
  return QroNumExprArg();
}

int64_t evalInt(const Tree& t, int i, const std::vector<int64_t>& v) {
  const Node& n = t.nodes[i];
  switch (n.op) {
    case Node::Var:
      return v[n.var];
    case Node::Const:
      return static_cast<int64_t>(n.c);
    case Node::Add:
      return evalInt(t, n.a, v) + evalInt(t, n.b, v);
    case Node::Sub:
      return evalInt(t, n.a, v) - evalInt(t, n.b, v);
    case Node::Mul:
      return evalInt(t, n.a, v) * evalInt(t, n.b, v);
    case Node::Sqr: {
      int64_t a = evalInt(t, n.a, v);
      return a * a;
    }
    case Node::Div:
      break;
  }
  ADD_FAILURE() << "no integer division in integer models";
  return 0;
}

// Outward interval arithmetic: each bound moved one unit in the last place.
struct Box {
  double lo, hi;
};
Box widen(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return {-INFINITY, INFINITY};
  return {std::nextafter(a, -INFINITY), std::nextafter(b, INFINITY)};
}
Box mul(Box a, Box b) {
  double p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  for (double x : p)
    if (std::isnan(x)) return {-INFINITY, INFINITY};  // 0 * inf: undecided
  return widen(*std::min_element(p, p + 4), *std::max_element(p, p + 4));
}

// Whether the expression is a constant whatever its variables (no variable
// in it, a product by 0 or x - x), and its value.
bool constantValue(const Tree& t, int i, double& value) {
  const Node& n = t.nodes[i];
  double a = 0, b = 0;
  bool ca = n.a >= 0 && constantValue(t, n.a, a);
  bool cb = n.b >= 0 && constantValue(t, n.b, b);
  switch (n.op) {
    case Node::Var:
      return false;
    case Node::Const:
      value = n.c;
      return true;
    case Node::Add:
      value = a + b;
      return ca && cb;
    case Node::Sub: {
      const Node &l = t.nodes[n.a], &r = t.nodes[n.b];
      bool same = l.op == Node::Var && r.op == Node::Var && l.var == r.var;
      value = same ? 0 : a - b;
      return same || (ca && cb);
    }
    case Node::Mul:
      value = a * b;
      return (ca && cb) || (ca && a == 0) || (cb && b == 0);
    case Node::Sqr:
      value = a * a;
      return ca;
    case Node::Div:
      value = a / b;
      return ca && cb && b != 0;
  }
  return false;
}

Box evalBox(const Tree& t, int i, const std::vector<Box>& v) {
  const Node& n = t.nodes[i];
  switch (n.op) {
    case Node::Var:
      return v[n.var];
    case Node::Const:
      return {n.c, n.c};
    case Node::Add: {
      Box a = evalBox(t, n.a, v), b = evalBox(t, n.b, v);
      return widen(a.lo + b.lo, a.hi + b.hi);
    }
    case Node::Sub: {
      Box a = evalBox(t, n.a, v), b = evalBox(t, n.b, v);
      return widen(a.lo - b.hi, a.hi - b.lo);
    }
    case Node::Mul:
      return mul(evalBox(t, n.a, v), evalBox(t, n.b, v));
    case Node::Sqr: {
      Box a = evalBox(t, n.a, v);
      return mul(a, a);
    }
    case Node::Div: {
      Box a = evalBox(t, n.a, v), b = evalBox(t, n.b, v);
      if (b.lo <= 0 && b.hi >= 0) return {-INFINITY, INFINITY};
      Box q = mul(a, widen(1.0 / b.hi, 1.0 / b.lo));
      // The solver reads a quotient of two integer expressions as the
      // truncated integer quotient. With float variables only, such
      // expressions are integer constants whatever the variables; whether
      // they stay expressions (the square of 2) or fold into the real
      // quotient of the constants is the modelling's, so both are allowed.
      double x, y;
      if (constantValue(t, n.a, x) && constantValue(t, n.b, y) && x == std::trunc(x) &&
          y == std::trunc(y)) {
        double k = std::trunc(x / y);
        q = {std::min(q.lo, k), std::max(q.hi, k)};
      }
      return q;
    }
  }
  return {-INFINITY, INFINITY};
}

// lo <= e <= hi, or e == f when f >= 0.
struct Cons {
  int e, f = -1;
  double lo, hi;
};

struct RandomModel {
  Tree tree;
  std::vector<Cons> cons;
  int nvars;
};

RandomModel makeModel(std::mt19937_64& rng, bool floats) {
  RandomModel m;
  m.nvars = 2 + static_cast<int>(rng() % 2);
  int ncons = 1 + static_cast<int>(rng() % 3);
  for (int i = 0; i < ncons; ++i) {
    Cons c;
    c.e = randomExpr(m.tree, rng, m.nvars, 2, floats);
    if (rng() % 3 == 0) {
      c.f = randomExpr(m.tree, rng, m.nvars, 1, floats);
      c.lo = c.hi = 0;
    } else {
      c.lo = static_cast<int>(rng() % 9) - 5;
      c.hi = c.lo + static_cast<int>(rng() % 6);
      if (floats && rng() % 2) c.lo -= 0.25;
    }
    m.cons.push_back(c);
  }
  return m;
}

std::string describe(const RandomModel& m, const QroModel& model) {
  std::ostringstream os;
  for (QroModelI::Link* l = model.getImpl()->getFirstLink(); l; l = l->next) {
    l->member->display(os);
    os << "\n";
  }
  (void)m;
  return os.str();
}

void addConstraints(const RandomModel& m, QroEnv& env, QroModel& model,
                    const std::vector<QroNumVar>& vars) {
  for (const Cons& c : m.cons) {
    if (c.f >= 0)
      model.add(build(m.tree, c.e, vars) == build(m.tree, c.f, vars));
    else
      model.add(QroRange(env, c.lo, build(m.tree, c.e, vars), c.hi));
  }
}

QroGoal bisectAll(QroEnv& env, const std::vector<QroNumVar>& vars) {
  QroGoal g = QroNumDichotomize(env, vars[0], 0, 0.0);
  for (size_t i = 1; i < vars.size(); ++i)
    g = QroAndGoal(g, QroNumDichotomize(env, vars[i], 0, 0.0));
  return g;
}

std::set<std::vector<int64_t>> bruteForce(const RandomModel& m, const std::vector<int64_t>& lo,
                                          const std::vector<int64_t>& hi) {
  std::set<std::vector<int64_t>> out;
  std::vector<int64_t> v(lo);
  for (;;) {
    bool ok = true;
    for (const Cons& c : m.cons) {
      int64_t e = evalInt(m.tree, c.e, v);
      if (c.f >= 0 ? e != evalInt(m.tree, c.f, v) : (e < c.lo || e > c.hi)) ok = false;
    }
    if (ok) out.insert(v);
    size_t i = 0;
    while (i < v.size() && v[i] == hi[i]) v[i] = lo[i], ++i;
    if (i == v.size()) break;
    ++v[i];
  }
  return out;
}

// A cost over the model's variables, minimised by a search whose leaves each
// solve a nested search that its own fail limit stops: run by next and by the
// solver, the last solution is the brute-force optimum.
void objectivePass(uint64_t seed, int round, std::mt19937_64& rng, QroEnv& env, QroModel& model,
                   const std::vector<QroNumVar>& vars,
                   const std::set<std::vector<int64_t>>& expected, QroSolver& solver,
                   const std::string& text) {
  std::vector<int64_t> c;
  for (size_t i = 0; i < vars.size(); ++i) c.push_back(static_cast<int64_t>(rng() % 5) - 2);
  QroNumExprArg cost = static_cast<double>(c[0]) * vars[0];
  for (size_t i = 1; i < vars.size(); ++i) cost = cost + static_cast<double>(c[i]) * vars[i];
  int64_t best = INT64_MAX;
  for (const std::vector<int64_t>& v : expected) {
    int64_t value = 0;
    for (size_t i = 0; i < v.size(); ++i) value += c[i] * v[i];
    best = std::min(best, value);
  }
  QroObjective objective(env, cost, QroObjectiveI::Minimize);
  model.add(objective);
  QroGoal goal =
      QroAndGoal(bisectAll(env, vars),
                 solvertest::engineGoal(env.getImpl(), solvertest::makeNestedLimitedSolve));
  solver.startNewSearch(goal);
  double last = NAN;
  while (solver.next()) last = solver.getObjValue();
  EXPECT_EQ(solver.getManagerI()->getStatus(), QrcSearchExhausted);
  solver.endSearch();
  EXPECT_EQ(last, static_cast<double>(best)) << "seed " << seed << " round " << round << "\n"
                                             << text;
  EXPECT_EQ(solver.getImpl()->solveWithObjective(goal.getImpl(), QroSolver::RestartSearch, 0), 1);
  EXPECT_EQ(solver.getStatus(), QroSolver::Optimal);
  EXPECT_EQ(solver.getObjValue(), static_cast<double>(best))
      << "seed " << seed << " round " << round << "\n"
      << text;
}

// Reports an engine error at its n-th run: an exception out of the solver's
// next part way through a search.
int g_errorAt = 0;

class LateErrorGoalI : public QrcGoalI {
 public:
  explicit LateErrorGoalI(QrcManagerI* m) : QrcGoalI(m) {}
  QrcGoalI* execute() override {
    if (--g_errorAt == 0)
      _manager->getErrorReporter()->report(QrcBadIndexError, "extract", "bad index", QrcInt(1));
    return nullptr;
  }
};

QrcGoalI* makeLateError(QrcManagerI* m) {
  return new (m) LateErrorGoalI(m);
}

// A search whose goal reports an error at its n-th solution, through next or
// solve: the solver abandons the search before the exception reaches the
// caller, who then has no search to end.
void searchLeftByAnError(QroEnv& env, QroSolver& solver, const std::vector<QroNumVar>& vars,
                         std::mt19937_64& rng, size_t solutions) {
  g_errorAt = 1 + static_cast<int>(rng() % 3);
  bool thrown = static_cast<size_t>(g_errorAt) <= solutions;
  QroGoal goal =
      QroAndGoal(bisectAll(env, vars), solvertest::engineGoal(env.getImpl(), makeLateError));
  if (rng() % 2) {
    // A solve stops at the first solution.
    bool first = thrown && g_errorAt == 1;
    EXPECT_EQ(first, exitsByError([&] { solver.solve(goal); }));
    return;
  }
  solver.startNewSearch(goal);
  EXPECT_EQ(thrown, exitsByError([&] {
              while (solver.next()) {
              }
            }));
  if (!thrown) {
    solver.endSearch();
    return;
  }
  EXPECT_FALSE(solver.getImpl()->isRunning());
  EXPECT_EQ(solver.getManagerI()->getSearchDepth(), 0);
  EXPECT_THROW(solver.endSearch(), QroSolver::WrongContext);
}

void integerRound(uint64_t seed, int round, std::mt19937_64& rng, QroEnv& env) {
  RandomModel m = makeModel(rng, false);
  QroModel model(env);
  std::vector<QroNumVar> vars;
  std::vector<int64_t> lo, hi;
  for (int i = 0; i < m.nvars; ++i) {
    lo.push_back(-3 + static_cast<int>(rng() % 3));
    hi.push_back(lo.back() + static_cast<int>(rng() % 5));
    vars.push_back(QroNumVar(env, lo.back(), hi.back(), QroNumVar::Int));
    model.add(vars.back());
  }
  addConstraints(m, env, model, vars);
  std::string text = describe(m, model);
  QroSolver solver;
  try {
    solver = QroSolver(model);
  } catch (const QroSolver::ModelInconsistent& e) {
    // Only a model without solutions may be refused.
    EXPECT_TRUE(bruteForce(m, lo, hi).empty()) << "seed " << seed << " round " << round << "\n"
                                               << text;
    EXPECT_STREQ(e.getMessage(), "The loaded model is inconsistent");
    return;
  }
  for (int pass = 0; pass < 2; ++pass) {
    std::set<std::vector<int64_t>> expected = bruteForce(m, lo, hi), found;
    try {
      // A bound change reloads the model, which may now be refused.
      if (rng() % 2) searchLeftByAnError(env, solver, vars, rng, expected.size());
      solver.startNewSearch(bisectAll(env, vars));
    } catch (const QroSolver::ModelInconsistent&) {
      EXPECT_TRUE(expected.empty()) << "seed " << seed << " round " << round << "\n" << text;
      break;
    }
    int count = 0;
    while (solver.next()) {
      std::vector<int64_t> v;
      for (const QroNumVar& x : vars) {
        double d = solver.getValue(x);
        ASSERT_EQ(d, std::floor(d)) << "seed " << seed << " round " << round << "\n" << text;
        v.push_back(static_cast<int64_t>(d));
      }
      EXPECT_TRUE(expected.count(v)) << "seed " << seed << " round " << round << " pass " << pass
                                     << " reported a non-solution\n"
                                     << text;
      found.insert(v);
      ++count;
      ASSERT_LT(count, 10000);
    }
    solver.endSearch();
    EXPECT_EQ(static_cast<size_t>(count), found.size())
        << "seed " << seed << " round " << round << " duplicate solutions\n"
        << text;
    EXPECT_EQ(found, expected) << "seed " << seed << " round " << round << " pass " << pass << "\n"
                               << text;
    EXPECT_EQ(solver.solve(bisectAll(env, vars)), expected.empty() ? 0 : 1)
        << "seed " << seed << " round " << round << "\n"
        << text;
    // Narrow one variable in the model; the solver follows.
    int i = static_cast<int>(rng() % m.nvars);
    if (hi[i] > lo[i]) {
      if (rng() % 2)
        ++lo[i];
      else
        --hi[i];
    }
    try {
      vars[i].setBounds(static_cast<double>(lo[i]), static_cast<double>(hi[i]));
    } catch (const QroSolver::ModelInconsistent&) {
      EXPECT_TRUE(bruteForce(m, lo, hi).empty()) << "seed " << seed << " round " << round << "\n"
                                                 << text;
      break;
    }
  }
  std::set<std::vector<int64_t>> expected = bruteForce(m, lo, hi);
  if (!expected.empty()) objectivePass(seed, round, rng, env, model, vars, expected, solver, text);
  solver.end();
}

void dump(std::ostream& os, const Tree& t, int i) {
  const Node& n = t.nodes[i];
  static const char* names[] = {"v", "c", "+", "-", "*", "/", "sqr"};
  os << "(" << names[n.op];
  if (n.op == Node::Var) os << n.var;
  if (n.op == Node::Const) os << n.c;
  if (n.a >= 0) dump(os << " ", t, n.a);
  if (n.b >= 0) dump(os << " ", t, n.b);
  os << ")";
}

std::string boxText(const std::vector<Box>& box) {
  std::ostringstream os;
  os.precision(17);
  for (const Box& b : box) os << "[" << b.lo << ", " << b.hi << "] ";
  return os.str();
}

// What a solution box promises: every constraint was last propagated,
// without failing, on a box whose bounds lie within a slack of the
// solution's. Measured from the bounds of the last wake, a bound may move by
// the relative event threshold without waking the constraints, and in a
// long propagation by up to an eighth of the width at the last wake, which
// is at most a sixth of the final width. Twice the threshold covers the
// bound's drift between the two boxes.
std::vector<Box> lastPropagatedBox(const std::vector<Box>& box, double threshold) {
  std::vector<Box> out;
  for (const Box& b : box) {
    double slack = 2 * threshold * std::max(std::fabs(b.lo), std::fabs(b.hi)) + (b.hi - b.lo) / 6;
    out.push_back(widen(b.lo - slack, b.hi + slack));
  }
  return out;
}

// Each search is stopped by a fail and a choice-point limit: bisection may
// take exponentially many fails to prove a box empty.
const QrcInt FloatFailLimit = 10000;
const QrcInt FloatChoicePointLimit = 20000;

void checkFloatSolution(uint64_t seed, int round, const RandomModel& m, const std::string& text,
                        const std::vector<Box>& solution, double threshold) {
  std::vector<Box> box = lastPropagatedBox(solution, threshold);
  for (const Cons& c : m.cons) {
    Box e = evalBox(m.tree, c.e, box);
    std::ostringstream where;
    where.precision(17);
    where << "seed " << seed << " round " << round << "\n" << text << boxText(solution);
    dump(where << "\n", m.tree, c.e);
    where << " = [" << e.lo << ", " << e.hi << "]";
    if (c.f >= 0) {
      Box f = evalBox(m.tree, c.f, box);
      EXPECT_TRUE(e.lo <= f.hi && f.lo <= e.hi)
          << "solution box misses an equality: " << where.str() << " != [" << f.lo << ", " << f.hi
          << "]";
    } else {
      EXPECT_TRUE(e.lo <= c.hi && c.lo <= e.hi) << "solution box misses a range: " << where.str();
    }
  }
}

void floatRound(uint64_t seed, int round, std::mt19937_64& rng, QroEnv& env) {
  RandomModel m = makeModel(rng, true);
  QroModel model(env);
  std::vector<QroNumVar> vars;
  for (int i = 0; i < m.nvars; ++i) {
    double lo = -3.0 + static_cast<int>(rng() % 4) * 0.75;
    vars.push_back(QroNumVar(env, lo, lo + 0.5 + static_cast<int>(rng() % 4), QroNumVar::Float));
    model.add(vars.back());
  }
  addConstraints(m, env, model, vars);
  std::string text = describe(m, model);
  QroSolver solver;
  try {
    solver = QroSolver(model);
  } catch (const QroSolver::ModelInconsistent&) {
    return;
  }
  solver.startNewSearch(bisectAll(env, vars));
  QrcManagerI* manager = solver.getManagerI();
  manager->setFailLimit(FloatFailLimit);
  manager->setChoicePointLimit(FloatChoicePointLimit);
  for (int count = 0; count < 5 && solver.next(); ++count) {
    std::vector<Box> box;
    for (const QroNumVar& x : vars) {
      QrcFloatVar f = solver.getFloatVar(x);
      ASSERT_LE(f.getMin(), f.getMax());
      EXPECT_GE(f.getMin(), x.getLB());
      EXPECT_LE(f.getMax(), x.getUB());
      EXPECT_TRUE(f.isBound()) << "seed " << seed << " round " << round;
      box.push_back({f.getMin(), f.getMax()});
    }
    checkFloatSolution(seed, round, m, text, box, manager->getRelativeEventThreshold());
    EXPECT_EQ(qroplatform::getRounding(), 1);
  }
  solver.endSearch();
  EXPECT_EQ(qroplatform::getRounding(), 1);
  solver.end();
}

TEST(RandomSolverModels, IntegerSolutionsMatchBruteForce) {
  uint64_t seed = qrotest::seedOr(20261206);
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 60; ++round) {
    QroEnv env;
    try {
      integerRound(seed, round, rng, env);
    } catch (const QroQuietException& e) {
      ADD_FAILURE() << "seed " << seed << " round " << round << ": unexpected " << typeid(e).name()
                    << " " << (e.getMessage() ? e.getMessage() : "");
    }
    env.end();
  }
}

TEST(RandomSolverModels, FloatSolutionsSatisfyTheModel) {
  uint64_t seed = qrotest::seedOr(20261207);
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 60; ++round) {
    QroEnv env;
    try {
      floatRound(seed, round, rng, env);
    } catch (const QroQuietException& e) {
      ADD_FAILURE() << "seed " << seed << " round " << round << ": unexpected " << typeid(e).name()
                    << " " << (e.getMessage() ? e.getMessage() : "");
    }
    env.end();
  }
}

}  // namespace

namespace {

// Empty handles given to the solver's queries throw solver exceptions that
// name the empty handle.
TEST(RandomSolverModels, EmptyHandlesAreRefusedWithClearMessages) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  auto message = [](auto f) -> std::string {
    try {
      f();
    } catch (const QroSolver::Exception& e) {
      return e.getMessage() ? e.getMessage() : "";
    }
    return "no exception";
  };
  EXPECT_EQ(message([&] { solver.getValue(QroNumVar()); }), "Empty variable handle");
  EXPECT_EQ(message([&] { solver.getFloatVar(QroNumVar()); }), "Empty variable handle");
  EXPECT_EQ(message([&] { solver.getIntVar(QroNumVar()); }), "Empty variable handle");
  EXPECT_EQ(message([&] { solver.getConstraint(QroConstraint()); }), "Empty constraint handle");
  EXPECT_EQ(message([&] { solver.add(QroExtractable()); }),
            "QroSolver: adding empty handle extractable");
  EXPECT_EQ(message([&] { QroSolver().solve(); }), "QroSolver is a empty handle");
  solver.end();
  env.end();
}

}  // namespace
