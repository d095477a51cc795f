#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolveri.h"
#include "qrosolverpresolve.h"
#include "qrcfloatexp.h"
#include "qrcfloatgoals.h"
#include "qrcmanager.h"
#include "support/design_model.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

namespace {

using Design = qrotest::DesignModel;

TEST(DesignModel, RootPropagationAndFirstBox) {
  QroEnv env;
  Design d(env);
  QroSolver solver(d.model, &QrcEdit);
  EXPECT_EQ(solver.solve(QroGoal(), QroSolver::RestartSearch, 0), 1);
  QrcFloatVar D = solver.getFloatVar(d.x[0]), dd = solver.getFloatVar(d.x[1]),
              F = solver.getFloatVar(d.F);
  EXPECT_LE(dd.getMax(), 0.1322663);
  EXPECT_GE(D.getMin(), 0.3553349);
  EXPECT_NEAR(F.getMin(), 0.0035533, 1e-6);
  EXPECT_NEAR(F.getMax(), 0.2729121, 1e-6);
  QroGoal goal =
      QroAndGoal(QroNumDichotomize(env, d.x[0], 0, 0.0), QroNumDichotomize(env, d.x[1], 0, 0.0));
  solver.startNewSearch(goal, QroSolver::RestartSearch);
  ASSERT_EQ(solver.next(), 1);
  D = solver.getFloatVar(d.x[0]);
  dd = solver.getFloatVar(d.x[1]);
  EXPECT_NEAR(D.getMin(), 0.3919376828, 1e-9);
  EXPECT_NEAR(dd.getMin(), 0.05, 1e-9);
  EXPECT_THROW(solver.solve(), QroSolver::MultipleSearchException);
  solver.endSearch();
  env.end();
}

}  // namespace

namespace {

// Interval arithmetic widened by one unit in the last place after each
// operation: a sound enclosure of the real result.
struct Box {
  double lo, hi;
};
Box widen(double a, double b) {
  return {std::nextafter(a, -INFINITY), std::nextafter(b, INFINITY)};
}
Box add(Box a, Box b) {
  return widen(a.lo + b.lo, a.hi + b.hi);
}
Box sub(Box a, Box b) {
  return widen(a.lo - b.hi, a.hi - b.lo);
}
Box mul(Box a, Box b) {
  double p[4] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
  return widen(*std::min_element(p, p + 4), *std::max_element(p, p + 4));
}
Box div(Box a, Box b) {
  // Divisors here are positive.
  return mul(a, widen(1.0 / b.hi, 1.0 / b.lo));
}
Box cst(double c) {
  return {c, c};
}
Box pw(Box a, int n) {
  Box r = cst(1.0);
  for (int i = 0; i < n; ++i) r = mul(r, a);
  return r;
}

TEST(DesignModel, FirstBoxSatisfiesTheConstraints) {
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  solver.solve(QroGoal(), QroSolver::RestartSearch, 0);
  solver.startNewSearch(
      QroAndGoal(QroNumDichotomize(env, m.x[0], 0, 0.0), QroNumDichotomize(env, m.x[1], 0, 0.0)),
      1);
  ASSERT_EQ(solver.next(), 1);
  QrcFloatVar fD = solver.getFloatVar(m.x[0]), fd = solver.getFloatVar(m.x[1]);
  QrcFloatVar fF = solver.getFloatVar(m.F), fN = solver.getFloatVar(m.N);
  EXPECT_TRUE(fD.isBound());
  EXPECT_TRUE(fd.isBound());
  EXPECT_LE(fD.getMax() - fD.getMin(), 1e-10 * std::max(1.0, fD.getMax()));
  Box D{fD.getMin(), fD.getMax()}, d{fd.getMin(), fd.getMax()}, N{fN.getMin(), fN.getMax()};
  Box F{fF.getMin(), fF.getMax()};
  EXPECT_LE(fd.getMax() - fd.getMin(), 1e-10 * std::max(1.0, fd.getMax()));
  EXPECT_NEAR(D.lo, 0.391937682776053, 1e-9);
  EXPECT_NEAR(D.hi, 0.3919376828662384, 1e-9);
  EXPECT_NEAR(d.lo, 0.05, 1e-10);
  EXPECT_LE(d.hi, 0.0500000000381 + 1e-12);
  // The first box is reached after 17 failures and 30 choice points, whatever
  // the propagation solve before the search left behind.
  QrcManagerI* manager = solver.getManagerI();
  EXPECT_EQ(manager->getFails(), 17);
  EXPECT_EQ(manager->getChoicePointCount(), 30);
  Box c1 = sub(cst(1.0), div(mul(pw(D, 3), N), mul(cst(71785.0), pw(d, 4))));
  Box c2 = add(div(sub(mul(cst(4.0), pw(D, 4)), mul(d, D)),
                   mul(cst(12.566), sub(mul(D, pw(d, 3)), pw(d, 3)))),
               div(cst(1.0), mul(cst(5.108), pw(d, 2))));
  Box c3 = sub(cst(1.0), div(mul(cst(140.45), d), mul(pw(D, 2), N)));
  Box c4 = sub(div(add(D, d), cst(1.5)), cst(1.0));
  Box p = mul(mul(add(N, cst(2.0)), D), pw(d, 2));
  EXPECT_LE(c1.lo, 0.0);
  EXPECT_LE(c2.lo, 0.0);
  EXPECT_LE(c3.lo, 0.0);
  EXPECT_LE(c4.lo, 0.0);
  EXPECT_LE(std::max(F.lo, p.lo), std::min(F.hi, p.hi));
  solver.endSearch();
  env.end();
}

TEST(DesignModel, PresolveDefinesFByItsProduct) {
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  QroCPPresolveI* p = solver.getImpl()->getPresolve();
  QrcPresolvedNumVarI* def = static_cast<QrcPresolvedNumVarI*>(
      p->findInformation(m.F.getImpl(), QrcPresolvedNumVarI::GetTypeInfo()));
  ASSERT_NE(def, nullptr);
  QrcFloatVar F = solver.getFloatVar(m.F);
  // F's engine variable is the product itself, narrowed to F's bounds.
  QroExtractionRecord* product = solver.getImpl()->getRecord(def->getExpr());
  ASSERT_NE(product, nullptr);
  EXPECT_EQ(product->floatExp, F.getImpl());
  EXPECT_GE(F.getMin(), 0.0);
  EXPECT_LE(F.getMax(), 0.5);
  // Four range constraints are posted; the equality became F's own definition.
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  env.end();
}

TEST(DesignModel, FeasiblePointStaysInsideTheRootBox) {
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  ASSERT_EQ(solver.solve(QroGoal()), 1);
  QrcFloatVar D = solver.getFloatVar(m.x[0]), d = solver.getFloatVar(m.x[1]),
              N = solver.getFloatVar(m.N);
  EXPECT_LE(D.getMin(), 0.3992);
  EXPECT_GE(D.getMax(), 0.3992);
  EXPECT_LE(d.getMin(), 0.0534);
  EXPECT_GE(d.getMax(), 0.0534);
  EXPECT_LE(N.getMin(), 9.18);
  EXPECT_GE(N.getMax(), 9.18);
  env.end();
}

}  // namespace

namespace {

// An independent root propagation of the design model: HC4 revise (forward
// evaluation, backward projection) over the constraint trees, with every
// operation rounded to nearest and then widened by one unit in the last place,
// repeated until no bound moves at all (no significance threshold).
class Hc4 {
 public:
  enum Var { F, N, D, d };
  struct Iv {
    double lo, hi;
  };

  Hc4() {
    dom_[F] = {0.0, 0.5};
    dom_[N] = {2.0, 10.0};
    dom_[D] = {0.25, 1.3};
    dom_[d] = {0.05, 1.0};
    const double Inf = HUGE_VAL;
    int one = cst(1.0);
    add(op('-', one, op('/', op('*', pw(var(D), 3), var(N)), op('*', cst(71785.0), pw(var(d), 4)))),
        -Inf, 0.0);
    int q = op('/', one, op('*', cst(5.108), pw(var(d), 2)));
    int m = op('*', cst(12.566), op('-', op('*', var(D), pw(var(d), 3)), pw(var(d), 3)));
    int v = op('-', op('*', cst(4.0), pw(var(D), 4)), op('*', var(d), var(D)));
    add(op('+', op('/', v, m), q), -Inf, 0.0);
    add(op('-', one, op('/', op('*', cst(140.45), var(d)), op('*', pw(var(D), 2), var(N)))), -Inf,
        0.0);
    add(op('-', op('/', op('+', var(D), var(d)), cst(1.5)), one), -Inf, 0.0);
    add(op('-', var(F), op('*', op('*', op('+', var(N), cst(2.0)), var(D)), pw(var(d), 2))), 0.0,
        0.0);
  }

  // False when a domain became empty.
  bool run() {
    for (bool moved = true; moved;) {
      Iv before[4] = {dom_[0], dom_[1], dom_[2], dom_[3]};
      for (const Root& r : roots_) {
        forward(r.node);
        if (!backward(r.node, {r.lo, r.hi})) return false;
      }
      moved = false;
      for (int i = 0; i < 4; ++i)
        moved = moved || before[i].lo != dom_[i].lo || before[i].hi != dom_[i].hi;
    }
    return true;
  }
  Iv operator[](Var x) const { return dom_[x]; }

 private:
  struct Node {
    char op;  // 'v' variable, 'c' constant, '^' power, or + - * /
    int a, b, n;
    Iv val;
  };
  struct Root {
    int node;
    double lo, hi;
  };
  static constexpr double Inf = HUGE_VAL;

  int push(Node n) {
    nodes_.push_back(n);
    return int(nodes_.size()) - 1;
  }
  int var(Var x) { return push({'v', -1, -1, x, {}}); }
  int cst(double c) { return push({'c', -1, -1, 0, {c, c}}); }
  int pw(int a, int n) { return push({'^', a, -1, n, {}}); }
  int op(char o, int a, int b) { return push({o, a, b, 0, {}}); }
  void add(int node, double lo, double hi) { roots_.push_back({node, lo, hi}); }

  static Iv out(double lo, double hi, int ulps = 1) {
    for (int i = 0; i < ulps; ++i) {
      lo = std::nextafter(lo, -Inf);
      hi = std::nextafter(hi, Inf);
    }
    return {lo, hi};
  }
  static double prod(double x, double y) { return x == 0 || y == 0 ? 0.0 : x * y; }
  static Iv plus(Iv x, Iv y) { return out(x.lo + y.lo, x.hi + y.hi); }
  static Iv minus(Iv x, Iv y) { return out(x.lo - y.hi, x.hi - y.lo); }
  static Iv times(Iv x, Iv y) {
    double p[4] = {prod(x.lo, y.lo), prod(x.lo, y.hi), prod(x.hi, y.lo), prod(x.hi, y.hi)};
    return out(*std::min_element(p, p + 4), *std::max_element(p, p + 4));
  }
  // Hull of the quotient set, divisors containing zero included.
  static Iv quot(Iv x, Iv y) {
    if (y.lo > 0 || y.hi < 0) return times(x, out(1.0 / y.hi, 1.0 / y.lo));
    if (x.lo <= 0 && x.hi >= 0) return {-Inf, Inf};
    if (y.lo == 0 && y.hi == 0) return {Inf, -Inf};
    if (y.lo < 0 && y.hi > 0) return {-Inf, Inf};
    if (y.lo == 0)
      return x.lo > 0 ? Iv{out(x.lo / y.hi, 0).lo, Inf} : Iv{-Inf, out(0, x.hi / y.hi).hi};
    return x.lo > 0 ? Iv{-Inf, out(0, x.lo / y.lo).hi} : Iv{out(x.hi / y.lo, 0).lo, Inf};
  }
  // Powers and roots of nonnegative intervals (the model raises only D and d).
  static Iv power(Iv x, int n) {
    Iv r{1.0, 1.0};
    for (int i = 0; i < n; ++i) r = times(r, x);
    return r;
  }
  static double root(double y, int n) {
    return n == 2 ? std::sqrt(y) : n == 3 ? std::cbrt(y) : std::sqrt(std::sqrt(y));
  }
  static Iv roots(Iv y, int n) {
    Iv r = out(root(std::max(y.lo, 0.0), n), root(y.hi, n), 3);
    return {std::max(r.lo, 0.0), r.hi};
  }

  Iv forward(int i) {
    Node& n = nodes_[i];
    switch (n.op) {
      case 'v':
        n.val = dom_[n.n];
        break;
      case 'c':
        break;
      case '^':
        n.val = power(forward(n.a), n.n);
        break;
      case '+':
        n.val = plus(forward(n.a), forward(n.b));
        break;
      case '-':
        n.val = minus(forward(n.a), forward(n.b));
        break;
      case '*':
        n.val = times(forward(n.a), forward(n.b));
        break;
      default:
        n.val = quot(forward(n.a), forward(n.b));
        break;
    }
    return n.val;
  }
  bool backward(int i, Iv z) {
    Node& n = nodes_[i];
    n.val = {std::max(n.val.lo, z.lo), std::min(n.val.hi, z.hi)};
    if (n.val.lo > n.val.hi) return false;
    z = n.val;
    switch (n.op) {
      case 'v':
        dom_[n.n] = {std::max(dom_[n.n].lo, z.lo), std::min(dom_[n.n].hi, z.hi)};
        return dom_[n.n].lo <= dom_[n.n].hi;
      case 'c':
        return true;
      case '^':
        return nodes_[n.a].val.lo >= 0 && backward(n.a, roots(z, n.n));
      default:
        break;
    }
    Iv y = nodes_[n.b].val;
    switch (n.op) {
      case '+':
        return backward(n.a, minus(z, y)) && backward(n.b, minus(z, nodes_[n.a].val));
      case '-':
        return backward(n.a, plus(z, y)) && backward(n.b, minus(nodes_[n.a].val, z));
      case '*':
        return backward(n.a, quot(z, y)) && backward(n.b, quot(z, nodes_[n.a].val));
      default:
        return backward(n.a, times(z, y)) && backward(n.b, quot(nodes_[n.a].val, z));
    }
  }

  std::vector<Node> nodes_;
  std::vector<Root> roots_;
  Iv dom_[4];
};

// The solver's root propagation reaches the fixpoint of the reference: no
// constraint stops short. The fixpoint is D >= cbrt(71785 * 0.05^4 / 10) =
// 0.3553349348..., d <= (10 * 1.3^3 / 71785)^(1/4) = 0.1322662644...; the
// second constraint narrows nothing at the root (its denominator D*d^3 - d^3
// spans zero), so no interval propagation lifts D's minimum to 0.35534.
TEST(DesignModel, RootBoxIsTheIntervalFixpoint) {
  Hc4 ref;
  ASSERT_TRUE(ref.run());
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  ASSERT_EQ(solver.solve(QroGoal(), QroSolver::RestartSearch, 0), 1);
  struct {
    QrcFloatVar v;
    Hc4::Var r;
  } vars[] = {{solver.getFloatVar(m.F), Hc4::F},
              {solver.getFloatVar(m.N), Hc4::N},
              {solver.getFloatVar(m.x[0]), Hc4::D},
              {solver.getFloatVar(m.x[1]), Hc4::d}};
  for (auto& x : vars) {
    SCOPED_TRACE(x.r);
    // Not weaker than the reference beyond rounding, and not narrower either.
    EXPECT_NEAR(x.v.getMin(), ref[x.r].lo, 1e-14);
    EXPECT_NEAR(x.v.getMax(), ref[x.r].hi, 1e-14);
  }
  EXPECT_NEAR(ref[Hc4::D].lo, 0.3553349348, 1e-10);
  EXPECT_NEAR(ref[Hc4::d].hi, 0.1322662644, 1e-10);
  EXPECT_NEAR(ref[Hc4::F].lo, 0.0035533493, 1e-10);
  EXPECT_NEAR(ref[Hc4::F].hi, 0.2729120894, 1e-10);
  // The reference is sound: the feasible point lies inside it.
  const double pd = 0.0534, pD = 0.3992, pN = 9.18, pF = (pN + 2) * pD * pd * pd;
  EXPECT_TRUE(ref[Hc4::D].lo <= pD && pD <= ref[Hc4::D].hi);
  EXPECT_TRUE(ref[Hc4::d].lo <= pd && pd <= ref[Hc4::d].hi);
  EXPECT_TRUE(ref[Hc4::N].lo <= pN && pN <= ref[Hc4::N].hi);
  EXPECT_TRUE(ref[Hc4::F].lo <= pF && pF <= ref[Hc4::F].hi);
  env.end();
}

}  // namespace

namespace {

// The first box of the bisection on D then d, lower halves first, shaving
// with the given ratio: the nodes of the outer search (its choice points and
// failures) apart from the nested searches of shaving.
struct ShavedBox {
  QrcInt choicePoints = 0, outerFails = 0, nestedSearches = 0;
  double D[2], d[2], F[2], N[2];
};

ShavedBox firstShavedBox(double ratio) {
  ShavedBox b;
  QroEnv env;
  Design m(env);
  QroSolver solver(m.model, &QrcEdit);
  solver.solve(QroGoal(), QroSolver::RestartSearch, 0);
  QrcInt searches = getBoundShavingSearches(), refuted = getBoundShavingRefutations();
  solver.startNewSearch(QroAndGoal(QroNumDichotomize(env, m.x[0], 0, ratio),
                                   QroNumDichotomize(env, m.x[1], 0, ratio)),
                        1);
  EXPECT_EQ(solver.next(), 1);
  QrcManagerI* manager = solver.getManagerI();
  b.choicePoints = manager->getChoicePointCount();
  // Each refuted slice failed once, inside its nested search.
  b.outerFails = manager->getFails() - (getBoundShavingRefutations() - refuted);
  b.nestedSearches = getBoundShavingSearches() - searches;
  struct {
    QroNumVar v;
    double* out;
  } vars[] = {{m.x[0], b.D}, {m.x[1], b.d}, {m.F, b.F}, {m.N, b.N}};
  for (auto& v : vars) {
    QrcFloatVar x = solver.getFloatVar(v.v);
    v.out[0] = x.getMin();
    v.out[1] = x.getMax();
  }
  solver.endSearch();
  env.end();
  return b;
}

#ifdef QRO_HAVE_MPFR
// A real at 256 bits.
struct Real {
  Real() { mpfr_init2(v, 256); }
  explicit Real(double x) : Real() { mpfr_set_d(v, x, MPFR_RNDN); }
  ~Real() { mpfr_clear(v); }
  Real(const Real&) = delete;
  Real& operator=(const Real&) = delete;
  mpfr_t v;
};

// Constraint 2 of the design model at (D, d), into r.
void constraint2(mpfr_t r, const mpfr_t D, const mpfr_t d) {
  Real d3, num, den, t, q;
  mpfr_pow_ui(d3.v, d, 3, MPFR_RNDN);
  mpfr_pow_ui(num.v, D, 4, MPFR_RNDN);
  mpfr_mul_d(num.v, num.v, 4.0, MPFR_RNDN);
  mpfr_mul(t.v, d, D, MPFR_RNDN);
  mpfr_sub(num.v, num.v, t.v, MPFR_RNDN);
  mpfr_mul(den.v, D, d3.v, MPFR_RNDN);
  mpfr_sub(den.v, den.v, d3.v, MPFR_RNDN);
  mpfr_mul_d(den.v, den.v, 12.566, MPFR_RNDN);
  mpfr_div(r, num.v, den.v, MPFR_RNDN);
  mpfr_sqr(q.v, d, MPFR_RNDN);
  mpfr_mul_d(q.v, q.v, 5.108, MPFR_RNDN);
  mpfr_d_div(q.v, 1.0, q.v, MPFR_RNDN);
  mpfr_add(r, r, q.v, MPFR_RNDN);
}

// The box holds a point satisfying all five constraints: d at its minimum, D
// the least value meeting constraint 2 there (bisection, constraint 2 falls as
// D grows below 1), N the least value meeting constraint 1 or the box's
// minimum, and F the product it must equal.
::testing::AssertionResult holdsSolution(const ShavedBox& b) {
  Real d(b.d[0]), lo(0.25), hi(0.99), mid, c;
  for (int i = 0; i < 200; ++i) {
    mpfr_add(mid.v, lo.v, hi.v, MPFR_RNDN);
    mpfr_div_2ui(mid.v, mid.v, 1, MPFR_RNDN);
    constraint2(c.v, mid.v, d.v);
    mpfr_set(mpfr_sgn(c.v) > 0 ? lo.v : hi.v, mid.v, MPFR_RNDN);
  }
  if (mpfr_cmp_d(lo.v, b.D[0]) < 0 || mpfr_cmp_d(hi.v, b.D[1]) > 0)
    return ::testing::AssertionFailure() << "D* = " << mpfr_get_d(hi.v, MPFR_RNDN) << " outside ["
                                         << b.D[0] << ", " << b.D[1] << "]";
  const mpfr_t& D = hi.v;
  // Constraint 1: N >= 71785 d^4 / D^3, taken a little above.
  Real N, t, c1, c3, c4, F;
  mpfr_pow_ui(N.v, d.v, 4, MPFR_RNDU);
  mpfr_mul_d(N.v, N.v, 71785.0, MPFR_RNDU);
  mpfr_pow_ui(t.v, D, 3, MPFR_RNDD);
  mpfr_div(N.v, N.v, t.v, MPFR_RNDU);
  mpfr_mul_d(N.v, N.v, 1 + 1e-30, MPFR_RNDU);
  if (mpfr_cmp_d(N.v, b.N[0]) < 0) mpfr_set_d(N.v, b.N[0], MPFR_RNDN);
  if (mpfr_cmp_d(N.v, b.N[1]) > 0) return ::testing::AssertionFailure() << "N above the box";
  // c1 = 1 - D^3 N / (71785 d^4)
  mpfr_pow_ui(c1.v, D, 3, MPFR_RNDN);
  mpfr_mul(c1.v, c1.v, N.v, MPFR_RNDN);
  mpfr_pow_ui(t.v, d.v, 4, MPFR_RNDN);
  mpfr_mul_d(t.v, t.v, 71785.0, MPFR_RNDN);
  mpfr_div(c1.v, c1.v, t.v, MPFR_RNDN);
  mpfr_d_sub(c1.v, 1.0, c1.v, MPFR_RNDN);
  constraint2(c.v, D, d.v);
  // c3 = 1 - 140.45 d / (D^2 N)
  mpfr_sqr(t.v, D, MPFR_RNDN);
  mpfr_mul(t.v, t.v, N.v, MPFR_RNDN);
  mpfr_mul_d(c3.v, d.v, 140.45, MPFR_RNDN);
  mpfr_div(c3.v, c3.v, t.v, MPFR_RNDN);
  mpfr_d_sub(c3.v, 1.0, c3.v, MPFR_RNDN);
  // c4 = (D + d) / 1.5 - 1
  mpfr_add(c4.v, D, d.v, MPFR_RNDN);
  mpfr_div_d(c4.v, c4.v, 1.5, MPFR_RNDN);
  mpfr_sub_ui(c4.v, c4.v, 1, MPFR_RNDN);
  // F = (N + 2) D d^2
  mpfr_add_ui(F.v, N.v, 2, MPFR_RNDN);
  mpfr_mul(F.v, F.v, D, MPFR_RNDN);
  mpfr_sqr(t.v, d.v, MPFR_RNDN);
  mpfr_mul(F.v, F.v, t.v, MPFR_RNDN);
  if (mpfr_sgn(c1.v) > 0 || mpfr_sgn(c.v) > 0 || mpfr_sgn(c3.v) > 0 || mpfr_sgn(c4.v) > 0)
    return ::testing::AssertionFailure() << "a constraint is violated";
  if (mpfr_cmp_d(F.v, b.F[0]) < 0 || mpfr_cmp_d(F.v, b.F[1]) > 0)
    return ::testing::AssertionFailure() << "F outside its box";
  return ::testing::AssertionSuccess();
}
#endif

TEST(DesignModel, ShavingReachesAFirstBoxInNoMoreNodes) {
  ShavedBox plain = firstShavedBox(0.0);
  EXPECT_EQ(plain.choicePoints, 30);
  EXPECT_EQ(plain.outerFails, 17);
  EXPECT_EQ(plain.nestedSearches, 0);
#ifdef QRO_HAVE_MPFR
  EXPECT_TRUE(holdsSolution(plain));
#endif
  for (double ratio : {0.5, 0.2, 0.01}) {
    SCOPED_TRACE(ratio);
    ShavedBox b = firstShavedBox(ratio);
    EXPECT_GT(b.nestedSearches, 0);
    // Shaving turns outer failures into nested ones; small ratios may add a
    // few choice points, never more nodes.
    EXPECT_LT(b.outerFails, plain.outerFails);
    EXPECT_LE(b.choicePoints + b.outerFails, plain.choicePoints + plain.outerFails);
    EXPECT_EQ(b.d[0], 0.05);
#ifdef QRO_HAVE_MPFR
    EXPECT_TRUE(holdsSolution(b));
#endif
  }
}

}  // namespace
