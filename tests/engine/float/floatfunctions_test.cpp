// Powers, exponential, logarithm and monotonic functions; comparison
// constraints; the design program's constraints built on the engine.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>

#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qrcfail.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatconst.h"
#include "qrcfloatfunctions.h"
#include "qrcfloatgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

class FloatFunctionTest : public FloatManagerTest {
 protected:
  std::string show(const QrcConstraint& c) {
    std::ostringstream os;
    c.getImpl()->display(os);
    return os.str();
  }
  bool addFails(const QrcConstraint& c) {
    std::function<void()> fn = [&] { mgr.add(c); };
    return !solveRestoring(m, fn);
  }
  void bisect();
};

TEST_F(FloatFunctionTest, IntegerPowers) {
  QrcFloatVar x = var(0, 5);
  QrcPower(x, 4).setRange(1, 16);
  EXPECT_LE(x.getMin(), 1);
  EXPECT_GE(x.getMin(), 1 - 1e-9);
  EXPECT_GE(x.getMax(), 2);
  EXPECT_LE(x.getMax(), 2 + 1e-9);
  QrcFloatExp p4 = QrcPower(var(-2, 1), 4);
  EXPECT_EQ(p4.getMin(), 0);
  EXPECT_GE(p4.getMax(), 16);
  EXPECT_LE(p4.getMax(), std::nextafter(16.0, 17.0));
  QrcFloatExp p3 = QrcPower(var(-2, 1), 3);
  EXPECT_LE(p3.getMin(), -8);
  EXPECT_GE(p3.getMax(), 1);
  QrcFloatVar y = var(-5, 5);
  QrcPower(y, 4).setRange(1, 16);
  EXPECT_GE(y.getMin(), -2 - 1e-9);
  EXPECT_LE(y.getMax(), 2 + 1e-9);
  QrcFloatVar z = var(-5, 5);
  QrcPower(z, 3).setRange(-8, 1);
  EXPECT_LE(z.getMin(), -2);
  EXPECT_GE(z.getMin(), -2 - 1e-9);
  EXPECT_GE(z.getMax(), 1);
  EXPECT_EQ(QrcPower(x, 1).getImpl(), x.getImpl());
  EXPECT_EQ(QrcPower(x, 2).getImpl(), QrcPower(x, 2).getImpl());
  EXPECT_EQ(QrcPower(x, 2).getImpl(), QrcSquare(x).getImpl());
  QrcFloatExp inv = QrcPower(var(1, 2), -2);
  EXPECT_LE(inv.getMin(), 0.25);
  EXPECT_GE(inv.getMax(), 1);
  QrcFloatVar w = var(-3, 3);
  EXPECT_TRUE(addFails(QrcPower(w, 4) <= -1.0));
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST(FloatFunctionDeathTest, ZeroExponentIsReported) {
  EXPECT_DEATH(
      {
        QrcManager mgr(QrcNoEdit);
        QrcFloatVar x(mgr, 0, 1);
        QrcPower(x, 0);
      },
      "Solver Error : QrcPower : Incompatible argument");
}

TEST_F(FloatFunctionTest, BadExponentsAreReported) {
  QrcFloatVar x = var(1, 2);
  for (int k = 0; k < 4; ++k) {
    try {
      if (k == 0) QrcPower(x, 0.0);
      if (k == 1) QrcPower(x, NAN);
      if (k == 2) QrcPower(-2.0, x);
      if (k == 3) QrcPower(NAN, x);
      FAIL() << "no error for case " << k;
    } catch (const ReportedError& e) {
      EXPECT_EQ(e.code, QrcIncompatibleArgumentError);
    }
  }
}

TEST_F(FloatFunctionTest, RealPowersExponentialAndLogarithm) {
  QrcFloatExp r = QrcPower(var(4, 9), 0.5);
  EXPECT_LE(r.getMin(), 2);
  EXPECT_GE(r.getMax(), 3);
  EXPECT_GE(r.getMin(), 2 - 1e-12);
  QrcFloatVar neg = var(-3, -1);
  EXPECT_TRUE(QrcPower(neg, 0.5).getImpl()->isUndefined());
  QrcFloatVar x = var(0, 100);
  QrcPower(x, 1.5).setRange(-5, 8);
  EXPECT_EQ(x.getMin(), 0);
  EXPECT_GE(x.getMax(), 4);
  EXPECT_LE(x.getMax(), 4 + 1e-9);
  QrcFloatExp e = QrcExponent(var(0, 0));
  EXPECT_LE(e.getMin(), 1);
  EXPECT_GE(e.getMax(), 1);
  QrcFloatVar y = var(-10, 10);
  QrcExponent(y).setRange(1, std::exp(2.0));
  EXPECT_LE(y.getMin(), 0);
  EXPECT_GE(y.getMax(), 2);
  EXPECT_LE(y.getMax(), 2 + 1e-9);
  QrcFloatVar z = var(-10, 10);
  EXPECT_TRUE(addFails(QrcExponent(z) <= -1.0));
  QrcFloatExp l = QrcLog(var(-1, 0));
  EXPECT_EQ(l.getMin(), -Inf);
  EXPECT_EQ(l.getMax(), Inf);
  QrcFloatExp l01 = QrcLog(var(0, 1));
  EXPECT_EQ(l01.getMin(), -Inf);
  EXPECT_GE(l01.getMax(), 0);
  QrcFloatVar u = var(0.5, 100);
  QrcLog(u).setRange(0, 1);
  EXPECT_LE(u.getMin(), 1);
  EXPECT_GE(u.getMax(), std::exp(1.0));
  EXPECT_LE(u.getMax(), std::exp(1.0) * (1 + 1e-12));
  QrcFloatExp big = QrcExponent(var(800, 900));
  EXPECT_EQ(big.getMin(), 1.79769313486168e+308);
  EXPECT_EQ(big.getMax(), Inf);
  QrcFloatExp c = QrcPower(2.0, var(3, 3));
  EXPECT_LE(c.getMin(), 8);
  EXPECT_GE(c.getMax(), 8 * (1 - 1e-12));
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

double cube(double v) {
  return v * v * v;
}
double cubeRoot(double v) {
  return std::cbrt(v);
}
double negExp(double v) {
  return std::exp(-v);
}
double negLog(double v) {
  return -std::log(v);
}

TEST_F(FloatFunctionTest, MonotonicFunctions) {
  QrcFloatVar x = var(1, 2);
  QrcFloatExp f = QrcMonotonicIncreasingFloatExp(x, cube, cubeRoot, "cube");
  EXPECT_LE(f.getMin(), 1);
  EXPECT_GE(f.getMax(), 8);
  f.setRange(2, 4);
  EXPECT_LE(x.getMin(), std::cbrt(2.0));
  EXPECT_GE(x.getMax(), std::cbrt(4.0));
  EXPECT_LE(x.getMax(), std::cbrt(4.0) * (1 + 1e-10));
  QrcFloatVar y = var(0, 3);
  QrcFloatExp g = QrcMonotonicDecreasingFloatExp(y, negExp, negLog);
  EXPECT_LE(g.getMin(), std::exp(-3.0));
  EXPECT_GE(g.getMax(), 1);
  g.setRange(std::exp(-2.0), std::exp(-1.0));
  EXPECT_LE(y.getMin(), 1);
  EXPECT_GE(y.getMax(), 2);
  std::ostringstream os;
  m->setDisplayMode(QrcPlainDisplay);
  os << f << " " << g;
  EXPECT_EQ(os.str(), "cube([1.25992..1.5874]) QrcMonotonicFloatExpI([1..2])");
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

// ---------------------------------------------------------------- comparisons

TEST_F(FloatFunctionTest, ComparisonsWithZero) {
  const double mzero = QrcFloatZeroMargin();
  EXPECT_EQ(floattest::bitsOf(mzero), 0x0010000000000001ull);
  QrcFloatVar a = var(0, 5);
  QrcConstraint nz = makeEqNullConstraint(a).getOpposite();
  mgr.add(nz);
  EXPECT_EQ(a.getMin(), mzero);
  EXPECT_EQ(a.getMax(), 5);
  QrcFloatVar b = var(-5, 0);
  mgr.add(makeEqNullConstraint(b).getOpposite());
  EXPECT_EQ(b.getMax(), -mzero);
  QrcFloatVar c = var(-mzero, mzero);
  EXPECT_TRUE(addFails(makeEqNullConstraint(c).getOpposite()));
  QrcFloatVar d = var(-1, 1);
  mgr.add(makeEqNullConstraint(d));
  EXPECT_EQ(d.getMin(), -mzero);
  EXPECT_EQ(d.getMax(), mzero);
  // x != 0 on [-1, 1] narrows nothing yet, but still watches later changes.
  QrcFloatVar e = var(-1, 1);
  std::function<void()> later = [&] {
    mgr.add(makeEqNullConstraint(e).getOpposite());
    EXPECT_EQ(e.getMin(), -1);
    e.setRange(0, 1);
    EXPECT_EQ(e.getMin(), mzero);
  };
  EXPECT_TRUE(solveRestoring(m, later));
}

TEST_F(FloatFunctionTest, ComparisonsBetweenExpressions) {
  QrcFloatVar x = var(0, 0.5), y = var(0.25, 1.3);
  mgr.add(x <= y);
  EXPECT_EQ(x.getMax(), 0.5);
  EXPECT_EQ(y.getMin(), 0.25);
  QrcFloatVar x2 = var(0, 0.5), y2 = var(0.1, 0.3);
  mgr.add(x2 <= y2);
  EXPECT_EQ(x2.getMax(), 0.3);
  EXPECT_EQ(y2.getMin(), 0.1);
  EXPECT_EQ((x <= x).getImpl(), m->getTrueConstraint());
  EXPECT_EQ((x == x).getImpl(), m->getTrueConstraint());
  QrcFloatVar one = var(1, 1), alsoOne = var(1, 1);
  QrcConstraint lt = (one >= alsoOne).getOpposite();
  EXPECT_TRUE(addFails(lt));
  QrcFloatVar p = var(0, 1), q = var(1, 2);
  QrcConstraint lt2 = (q <= p).getOpposite();
  mgr.add(lt2);
  EXPECT_EQ(p.getMax(), 1);
  EXPECT_EQ(q.getMin(), 1);
  QrcFloatVar s = var(0, 10), t = var(3, 4);
  mgr.add(s == t);
  EXPECT_EQ(s.getMin(), 3);
  EXPECT_EQ(s.getMax(), 4);
  QrcFloatVar u = var(2, 2), v = var(2, 2);
  EXPECT_TRUE(addFails((u == v).getOpposite()));
  QrcFloatVar w = var(0, 3);
  EXPECT_FALSE(addFails((w == v).getOpposite()));
  std::function<void()> bind = [&] {
    mgr.add((w == v).getOpposite());
    w.setValue(2);
  };
  EXPECT_FALSE(solveRestoring(m, bind));
}

TEST_F(FloatFunctionTest, ComparisonsWithConstantsAndTheirOpposites) {
  QrcFloatVar x = var(0, 10);
  QrcConstraint ge = x >= 2.0;
  QrcConstraintI* opp = ge.getImpl()->getOpposite();
  auto* lt = dynamic_cast<QrcLtFloatCstConstraint*>(opp);
  ASSERT_NE(lt, nullptr);
  EXPECT_EQ(lt->getFlag(), 1);
  m->setDisplayMode(QrcPlainDisplay);
  EXPECT_EQ(show(opp), "(2 > [0..10])");
  auto* back = dynamic_cast<QrcGeFloatCstConstraint*>(opp->makeOpposite());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getFlag(), 0);
  EXPECT_EQ(show(ge), "([0..10] >= 2)");
  EXPECT_EQ(show(x <= 3.0), "([0..10] <= 3)");
  EXPECT_EQ(show(x == 3.0), "([0..10] == 3)");
  QrcFloatVar y = var(0, 10);
  EXPECT_EQ(show(x >= y), "([0..10] >= [0..10])");
  EXPECT_EQ(show((x >= y).getOpposite()), "([0..10] < [0..10])");
  mgr.add(x <= 3.0);
  mgr.add(x >= 1.0);
  EXPECT_EQ(x.getMin(), 1);
  EXPECT_EQ(x.getMax(), 3);
  EXPECT_TRUE(ge.getImpl()->isFalse() == 0);
  EXPECT_TRUE((x >= 4.0).getImpl()->isFalse() != 0);
  QrcFloatVar z = var(5, 5);
  EXPECT_TRUE(addFails((z <= 5.0).getOpposite()));
  EXPECT_TRUE(addFails((z == 5.0).getOpposite()));
  QrcFloatArray values(mgr, 3);
  values[0] = 1;
  values[1] = 2;
  values[2] = 3;
  QrcFloatVar s(mgr, values);
  mgr.add((s == 2.0).getOpposite());
  EXPECT_FALSE(s.getImpl()->isInDomain(2));
  mgr.add((s >= 3.0).getOpposite());
  EXPECT_EQ(s.getMax(), 1);
  QrcFloatVar c = var(0, 1);
  mgr.add(c == 0.5);
  EXPECT_EQ(c.getMin(), 0.5);
  EXPECT_EQ(c.getMax(), 0.5);
}

TEST_F(FloatFunctionTest, ComparisonsCopyIntoAnotherManager) {
  QrcManager other(QrcNoEdit);
  QrcFloatVar x = var(0, 10);
  QrcConstraintI* c = (x <= 4.0).getImpl()->getCopyForManager(other.getImpl());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->getManager(), other.getImpl());
  other.getImpl()->add(c);
  EXPECT_EQ(x.getMax(), 10);
  other.end();
}

// ---------------------------------------------------------------- the design program's constraints

TEST_F(FloatFunctionTest, DesignConstraintsNarrowSoundly) {
  QrcFloatVar F = var(0.0, 0.5), N = var(2.0, 10.0), D = var(0.25, 1.3), d = var(0.05, 1.0);
  {
    QrcFloatExp a = QrcPower(d, 4.0);
    QrcFloatExp b = 71785.0 * a;
    QrcFloatExp c = QrcPower(D, 3.0);
    QrcFloatExp e = c * N;
    QrcFloatExp f = e / b;
    QrcFloatExp g = -f + 1.0;
    mgr.add(g <= 0.0);
  }
  {
    QrcFloatExp a = QrcPower(d, 2.0);
    QrcFloatExp b = 5.108 * a;
    QrcFloatExp q = 1.0 / b;
    QrcFloatExp c = QrcPower(d, 3.0);
    QrcFloatExp e = QrcPower(d, 3.0);
    QrcFloatExp f = D * e;
    QrcFloatExp s = f - c;
    QrcFloatExp mm = 12.566 * s;
    QrcFloatExp t = d * D;
    QrcFloatExp p = QrcPower(D, 4.0);
    QrcFloatExp u = 4.0 * p;
    QrcFloatExp v = u - t;
    QrcFloatExp w = v / mm;
    QrcFloatExp z = w + q;
    mgr.add(z <= 0.0);
  }
  {
    QrcFloatExp l = 140.45 * d;
    QrcFloatExp a = QrcPower(D, 2.0);
    QrcFloatExp b = a * N;
    QrcFloatExp f = l / b;
    QrcFloatExp g = -f + 1.0;
    mgr.add(g <= 0.0);
  }
  {
    QrcFloatExp s = D + d;
    QrcFloatExp f = s / 1.5;
    QrcFloatExp g = f - 1.0;
    mgr.add(g <= 0.0);
  }
  {
    QrcFloatExp a = QrcPower(d, 2.0);
    QrcFloatExp s = N + 2.0;
    QrcFloatExp mm = s * D;
    QrcFloatExp p = mm * a;
    mgr.add(F == p);
  }
  const double pd = 0.0534, pD = 0.3992, pN = 9.18, pF = (pN + 2) * pD * pd * pd;
  EXPECT_LE(d.getMin(), pd);
  EXPECT_GE(d.getMax(), pd);
  EXPECT_LE(D.getMin(), pD);
  EXPECT_GE(D.getMax(), pD);
  EXPECT_LE(N.getMin(), pN);
  EXPECT_GE(N.getMax(), pN);
  EXPECT_LE(F.getMin(), pF);
  EXPECT_GE(F.getMax(), pF);
  EXPECT_GT(D.getMin(), 0.3553349);  // cbrt(71785 * 0.05^4 / 10)
  EXPECT_LT(d.getMax(), 0.1322663);  // (10 * 1.3^3 / 71785)^(1/4)
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

// Splits the wider of two variables until both are narrower than a width.
class SplitGoal : public QrcGoalI {
 public:
  SplitGoal(QrcManagerI* m, QrcFloatExpI* x, QrcFloatExpI* y, double width)
      : QrcGoalI(m), _x(x), _y(y), _width(width) {}
  QrcGoalI* execute() override {
    QrcFloatExpI* v = _x->getMax() - _x->getMin() >= _y->getMax() - _y->getMin() ? _x : _y;
    if (v->getMax() - v->getMin() < _width) return nullptr;
    double mid = 0.5 * v->getMin() + 0.5 * v->getMax();
    QrcGoal low = QrcAnd(QrcGoal(QrcFloatExp(v) <= mid), QrcGoal(this));
    QrcGoal high = QrcAnd(QrcGoal(QrcFloatExp(v) >= mid), QrcGoal(this));
    return QrcOr(low, high).getImpl();
  }

 private:
  QrcFloatExpI* _x;
  QrcFloatExpI* _y;
  double _width;
};

TEST_F(FloatFunctionTest, BisectionSearchCoversTheSolutions) {
  for (int jumps = 0; jumps < 2; ++jumps) {
    // Failure by exception, then by non-local jump.
    m->useExceptions(jumps == 0);
    bisect();
  }
}

void FloatFunctionTest::bisect() {
  QrcFloatVar x = var(0.1, 4), y = var(0.1, 4);
  mgr.add(x * y == 1.0);
  mgr.add(x + y <= 2.5);
  // The solutions lie on x y = 1 with x in [0.5, 2].
  EXPECT_LE(x.getMin(), 0.5);
  EXPECT_GE(x.getMin(), 0.49);
  EXPECT_GE(x.getMax(), 2);
  EXPECT_LE(x.getMax(), 2.01);
  double rootMin = x.getMin();
  QrcSearch search(mgr, new (m) SplitGoal(m, x.getImpl(), y.getImpl(), 0.05));
  int solutions = 0;
  bool coversOne = false, coversTwo = false;
  while (search.next()) {
    ++solutions;
    EXPECT_LE((x * y).getMin(), 1.0);
    EXPECT_GE((x * y).getMax(), 1.0);
    if (x.getMin() <= 1 && 1 <= x.getMax() && y.getMin() <= 1 && 1 <= y.getMax()) coversOne = true;
    if (x.getMin() <= 2 && 2 <= x.getMax() && y.getMin() <= 0.5 && 0.5 <= y.getMax())
      coversTwo = true;
    EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  }
  search.end();
  EXPECT_GT(solutions, 10);
  EXPECT_TRUE(coversOne);
  EXPECT_TRUE(coversTwo);
  EXPECT_EQ(x.getMin(), rootMin);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

#ifdef QRO_HAVE_MPFR

// ---------------------------------------------------------------- enclosure and soundness against
// MPFR

enum FnOp { IntPow3, IntPow4, RealPow, Exp, Log, FnOps };

// f(v) at high precision; false when undefined.
bool exactFn(int op, double v, double p, mpfr_t out) {
  mpfr_t x;
  mpfr_init2(x, 300);
  mpfr_set_d(x, v, MPFR_RNDN);
  bool ok = true;
  switch (op) {
    case IntPow3:
      mpfr_pow_ui(out, x, 3, MPFR_RNDN);
      break;
    case IntPow4:
      mpfr_pow_ui(out, x, 4, MPFR_RNDN);
      break;
    case RealPow:
      ok = v >= 0;
      if (ok) {
        mpfr_t e;
        mpfr_init2(e, 64);
        mpfr_set_d(e, p, MPFR_RNDN);
        mpfr_pow(out, x, e, MPFR_RNDN);
        mpfr_clear(e);
      }
      break;
    case Exp:
      mpfr_exp(out, x, MPFR_RNDN);
      break;
    default:
      ok = v > 0;
      if (ok) mpfr_log(out, x, MPFR_RNDN);
      break;
  }
  mpfr_clear(x);
  return ok;
}

TEST_F(FloatFunctionTest, FunctionNodesEncloseAndNarrowSoundly) {
  uint64_t seed = qrotest::seedOr(2024);
  std::mt19937_64 rng(seed);
  mpfr_t v;
  mpfr_init2(v, 300);
  int checked = 0;
  for (int iter = 0; iter < 20000; ++iter) {
    int op = iter % FnOps;
    double scale = op == Exp ? 40.0 : 8.0;
    double a =
        (static_cast<double>(rng() % 20001) / 10000.0 - (op == Log || op == RealPow ? 0.2 : 1.0)) *
        scale;
    double b = a + static_cast<double>(rng() % 10001) / 10000.0 * scale;
    double p = 0.25 + static_cast<double>(rng() % 20) / 4.0;
    QrcFloatVar x = var(a, b);
    QrcFloatExpI* node = nullptr;
    switch (op) {
      case IntPow3:
        node = QrcPower(x, 3).getImpl();
        break;
      case IntPow4:
        node = QrcPower(x, 4).getImpl();
        break;
      case RealPow:
        node = (p == 1 || p == 2) ? QrcPower(x, 2.5).getImpl() : QrcPower(x, p).getImpl();
        if (p == 1 || p == 2) p = 2.5;
        break;
      case Exp:
        node = QrcExponent(x).getImpl();
        break;
      default:
        node = QrcLog(x).getImpl();
        break;
    }
    double px = a + (b - a) * static_cast<double>(rng() % 1025) / 1024.0;
    if (!exactFn(op, px, p, v)) continue;
    // The bounds contain the value at a sampled point.
    double lo = node->getMin(), hi = node->getMax();
    ASSERT_TRUE(mpfr_cmp_d(v, lo) >= 0 && mpfr_cmp_d(v, hi) <= 0)
        << "seed " << seed << " op " << op << " x [" << a << ", " << b << "] p " << p << " at "
        << px << " bounds [" << lo << ", " << hi << "]";
    // Narrowing to an interval around the value keeps the point.
    double tl = mpfr_get_d(v, MPFR_RNDD), th = mpfr_get_d(v, MPFR_RNDU);
    if (rng() % 2) tl -= std::fabs(tl) * 1e-3 * static_cast<double>(rng() % 4);
    if (rng() % 2) th += std::fabs(th) * 1e-3 * static_cast<double>(rng() % 4);
    bool kept = true;
    std::function<void()> narrow = [&] {
      node->setRange(tl, th);
      kept = x.getMin() <= px && px <= x.getMax();
    };
    bool ok = solveRestoring(m, narrow);
    ASSERT_TRUE(ok && kept) << "seed " << seed << " op " << op << " x [" << a << ", " << b << "] p "
                            << p << " point " << px << " narrowed to [" << tl << ", " << th << "]";
    ++checked;
  }
  mpfr_clear(v);
  EXPECT_GT(checked, 15000);
}

// The same over adversarial domains: infinite bounds, subnormals, values near
// DBL_MAX, zero crossings.
TEST_F(FloatFunctionTest, FunctionNodesOverAdversarialDomainsKeepSampledPoints) {
  uint64_t seed = qrotest::seedOr(2025);
  std::mt19937_64 rng(seed);
  mpfr_t v;
  mpfr_init2(v, 300);
  int checked = 0;
  for (int iter = 0; iter < 20000; ++iter) {
    int op = iter % FnOps;
    double a = floattest::adversarialDouble(rng), b = floattest::adversarialDouble(rng);
    if (rng() % 3 == 0) b = a;
    if (a > b) std::swap(a, b);
    double px = rng() % 2 ? a : rng() % 2 ? b : a + (b - a) * static_cast<double>(rng() % 9) / 8.0;
    if (!std::isfinite(px) || px < a || px > b) px = a;
    if (rng() % 8 == 0) a = -HUGE_VAL;
    if (rng() % 8 == 0) b = HUGE_VAL;
    double p = 0.25 + static_cast<double>(rng() % 20) / 4.0;
    if (p == 1 || p == 2) p = 2.5;
    if (!exactFn(op, px, p, v)) continue;
    QrcFloatVar x = var(a, b);
    QrcFloatExpI* node = nullptr;
    switch (op) {
      case IntPow3:
        node = QrcPower(x, 3).getImpl();
        break;
      case IntPow4:
        node = QrcPower(x, 4).getImpl();
        break;
      case RealPow:
        node = QrcPower(x, p).getImpl();
        break;
      case Exp:
        node = QrcExponent(x).getImpl();
        break;
      default:
        node = QrcLog(x).getImpl();
        break;
    }
    double lo = node->getMin(), hi = node->getMax();
    ASSERT_TRUE(mpfr_cmp_d(v, lo) >= 0 && mpfr_cmp_d(v, hi) <= 0)
        << std::hexfloat << "seed " << seed << " op " << op << " x [" << a << ", " << b << "] p "
        << p << " at " << px << " bounds [" << lo << ", " << hi << "]";
    double tl = mpfr_get_d(v, MPFR_RNDD), th = mpfr_get_d(v, MPFR_RNDU);
    if (mpfr_inf_p(v)) tl = DBL_MAX;  // beyond MPFR's range: still a finite real
    if (mpfr_zero_p(v) && op == Exp) th = std::nextafter(0.0, 1.0);
    if (rng() % 4 == 0) tl = -HUGE_VAL;
    if (rng() % 4 == 0) th = HUGE_VAL;
    bool kept = true;
    std::function<void()> narrow = [&] {
      node->setRange(tl, th);
      kept = x.getMin() <= px && px <= x.getMax();
    };
    bool ok = solveRestoring(m, narrow);
    ASSERT_TRUE(ok && kept) << std::hexfloat << "seed " << seed << " op " << op << " x [" << a
                            << ", " << b << "] p " << p << " point " << px << " narrowed to [" << tl
                            << ", " << th << "]";
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
    ++checked;
  }
  mpfr_clear(v);
  EXPECT_GT(checked, 12000);
}

#endif

}  // namespace

namespace {

class SlowFixpoint : public ::testing::TestWithParam<bool> {};

// x + exp(x) = 1 closes in on x = 0 ever more slowly: the event threshold of x
// grows in a long propagation until the fixpoint ends, and the search then
// finds x = 0.
TEST_P(SlowFixpoint, EndsAndKeepsTheSolution) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(GetParam());
  m->setChoicePointLimit(10000);
  QrcFloatVar x(mgr, -1, 1);
  mgr.add(x + QrcExponent(x) == 1.0);
  EXPECT_LE(x.getMin(), 0.0);
  EXPECT_GE(x.getMax(), 0.0);
  EXPECT_LT(x.getMax() - x.getMin(), 0.5);
  QrcSearch search(mgr, QrcInstantiate(x, 1, 0.0));
  ASSERT_TRUE(search.next());
  EXPECT_TRUE(x.isBound());
  EXPECT_NEAR(x.getMin(), 0.0, 1e-9);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  search.end();
  mgr.end();
}

INSTANTIATE_TEST_SUITE_P(Failures, SlowFixpoint, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Exceptions" : "Jumps";
                         });

}  // namespace
