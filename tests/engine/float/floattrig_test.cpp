// Trigonometric float expressions: bounds, narrowing along the period grid,
// sharing and display; enclosure and soundness against MPFR.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <cstring>

#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qrcfloattrig.h"
#include "qrcmanager.h"
#include "qroplatform.h"
#include "support/seed.h"

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

class FloatTrigTest : public FloatManagerTest {
 protected:
  // Narrows node to [lo, hi] in a nested search; false when that fails. The
  // operand's bounds after narrowing are left in bounds.
  bool narrow(const QrcFloatExp& node, const QrcFloatVar& x, double lo, double hi,
              double bounds[2]) {
    std::function<void()> fn = [&] {
      node.setRange(lo, hi);
      bounds[0] = x.getMin();
      bounds[1] = x.getMax();
    };
    return solveRestoring(m, fn);
  }
};

// Narrowing a node over x in [a, b] to [lo, hi] gives x near [wantLo,
// wantHi], nudged outward (or fails).
TEST_F(FloatTrigTest, NarrowingCases) {
  const double pi = M_PI, a5 = std::asin(0.5);
  const struct {
    QrcFloatExp (*make)(const QrcFloatExp&);
    double a, b, lo, hi, wantLo, wantHi;
  } cases[] = {
      {QrcSin, 0, 10, 0.5, 0.5, a5, 3 * pi - a5},  // [0.5236, 8.9012]
      {QrcSin, 0, 10, -1, 1, 0, 10},
      // The grid point next to the bound is kept: sin(-3.1415926535897936) > 0.
      {QrcSin, -6, -3.141592653589793, 0, 0.5, -6, -3.141592653589793},
      {QrcSin, 4, 5, 0.1, 1, NAN, NAN},
      {QrcCos, -1, 7, -1, 0, pi / 2, 3 * pi / 2},
      {QrcCos, -10, 10, 0.5, 1, -7 * pi / 3, 7 * pi / 3},
      {QrcTan, 0, 1, 0, 0.5, 0, std::atan(0.5)},  // 0.4636
      {QrcTan, 2, 4, 1, Inf, 5 * pi / 4, 4},
      {QrcTan, -4, -2, -Inf, -1, -4, -5 * pi / 4},
      {QrcArcSin, -1, 1, 0, pi / 6, 0, 0.5},
      {QrcArcCos, -1, 1, pi / 3, pi / 2, 0, 0.5},
      {QrcArcTan, -10, 10, -pi / 4, 1.6, -1, 10},
  };
  for (const auto& c : cases) {
    QrcFloatVar x = var(c.a, c.b);
    double b[2];
    bool ok = narrow(c.make(x), x, c.lo, c.hi, b);
    ASSERT_EQ(ok, !std::isnan(c.wantLo)) << c.a << " " << c.lo;
    if (!ok) continue;
    EXPECT_LE(b[0], c.wantLo) << c.a << " " << c.lo;
    EXPECT_GE(b[0], c.wantLo - 1e-9 * std::fmax(1, std::fabs(c.wantLo))) << c.a << " " << c.lo;
    EXPECT_GE(b[1], c.wantHi) << c.a << " " << c.lo;
    EXPECT_LE(b[1], c.wantHi + 1e-9 * std::fmax(1, std::fabs(c.wantHi))) << c.a << " " << c.lo;
  }
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST_F(FloatTrigTest, BoundsOfNodes) {
  QrcFloatExp wide = QrcTan(var(1, 2));
  EXPECT_EQ(wide.getMin(), -Inf);
  EXPECT_EQ(wide.getMax(), Inf);
  QrcFloatExp outside = QrcArcSin(var(2, 3));
  EXPECT_EQ(outside.getMin(), -Inf);
  EXPECT_EQ(outside.getMax(), Inf);
  EXPECT_TRUE(outside.getImpl()->isUndefined());
  QrcFloatExp clamped = QrcArcCos(var(0.5, 3));
  EXPECT_EQ(clamped.getMin(), 0);
  EXPECT_GE(clamped.getMax(), std::acos(0.5));
  EXPECT_FALSE(clamped.getImpl()->isUndefined());
  QrcFloatExp atanAll = QrcArcTan(var(-Inf, Inf));
  EXPECT_LT(atanAll.getMin(), -M_PI / 2);
  EXPECT_GT(atanAll.getMax(), M_PI / 2);
  // A subnormal's arcsine moves one double outward.
  const double tiny = 4.9406564584124654e-322;
  QrcFloatExp sub = QrcArcSin(var(tiny, tiny));
  EXPECT_LT(sub.getMin(), tiny);
  EXPECT_GT(sub.getMax(), tiny);
}

TEST_F(FloatTrigTest, NodesAreSharedAndDisplayed) {
  QrcFloatVar x = var(0, 1);
  x.setName("x");
  EXPECT_EQ(QrcSin(x).getImpl(), QrcSin(x).getImpl());
  EXPECT_NE(QrcSin(x).getImpl(), QrcCos(x).getImpl());
  EXPECT_NE(QrcSin(x).getImpl(), QrcSin(var(0, 1)).getImpl());
  const struct {
    QrcFloatExp (*make)(const QrcFloatExp&);
    const char* text;
  } nodes[] = {{QrcSin, "QrcSin(x"},       {QrcCos, "QrcCos(x"},       {QrcTan, "QrcTan(x"},
               {QrcArcSin, "QrcArcSin(x"}, {QrcArcCos, "QrcArcCos(x"}, {QrcArcTan, "QrcArcTan(x"}};
  for (const auto& n : nodes) {
    QrcFloatExp e = n.make(x);
    std::ostringstream os;
    e.getImpl()->display(os);
    EXPECT_EQ(os.str().substr(0, std::strlen(n.text)), n.text);
    EXPECT_EQ(os.str().back(), ')');
    QrcManager other(QrcNoEdit);
    QrcExprI* copy = e.getImpl()->getCopyForManager(other.getImpl());
    EXPECT_EQ(copy->getExprTypeId(), e.getImpl()->getExprTypeId());
    other.end();
  }
}

TEST(FloatTrigDeathTest, EmptyOperandIsReported) {
  EXPECT_DEATH(QrcArcTan(QrcFloatExp()), "Solver Error : empty handle : QrcArcTan");
}

#ifdef QRO_HAVE_MPFR
using floattest::adversarialDouble;
using floattest::nearMultipleOfPi;
using floattest::Reference;
using floattest::unit;

enum TrigOp { Sin, Cos, Tan, ASin, ACos, ATan, TrigOps };

const struct {
  const char* name;
  QrcFloatExp (*make)(const QrcFloatExp&);
  int (*exact)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
} kOps[TrigOps] = {{"sin", QrcSin, mpfr_sin},      {"cos", QrcCos, mpfr_cos},
                   {"tan", QrcTan, mpfr_tan},      {"asin", QrcArcSin, mpfr_asin},
                   {"acos", QrcArcCos, mpfr_acos}, {"atan", QrcArcTan, mpfr_atan}};

double sampleOperandPoint(int op, std::mt19937_64& rng) {
  if (op == ASin || op == ACos) {
    switch (rng() % 4) {
      case 0:
        return rng() % 2 ? 1.0 : -1.0;
      case 1:
        return (rng() % 2 ? 1 : -1) * (1 - std::ldexp(unit(rng), -static_cast<int>(rng() % 50)));
      case 2:
        return std::fmod(adversarialDouble(rng), 1.0);
      default:
        return 2 * unit(rng) - 1;
    }
  }
  switch (rng() % 5) {
    case 0:
      return nearMultipleOfPi(static_cast<int64_t>(rng() % 161) - 80, 4,
                              static_cast<int>(rng() % 9) - 4);
    case 1:
      return (unit(rng) - 0.5) * 40;
    case 2:
      // Within 2^-10 of a peak: sin and cos within 2^-20 of -1 or 1.
      return nearMultipleOfPi(static_cast<int64_t>(rng() % 41) - 20, 2, 0) +
             (rng() % 2 ? 1 : -1) * std::ldexp(unit(rng), -10 - static_cast<int>(rng() % 44));
    default:
      return adversarialDouble(rng);
  }
}

// A distance from a point: none, a few ulps' worth, small, a period, huge or
// infinite.
double sampleReach(std::mt19937_64& rng, double at) {
  switch (rng() % 7) {
    case 0:
      return 0;
    case 1:
      return std::fabs(at) * 1e-15 * static_cast<double>(rng() % 8);
    case 2:
      return unit(rng) * 0.5;
    case 3:
      return unit(rng) * 8;
    case 4:
      return std::ldexp(unit(rng), static_cast<int>(rng() % 1000));
    case 5:
      return Inf;
    default:
      return unit(rng) * 100;
  }
}

// Narrowing any node to an interval around f(x0) keeps x0, for x0 sampled in
// the operand; the node's bounds hold f at x0 and at the operand's ends.
TEST_F(FloatTrigTest, NarrowingKeepsSampledSolutions) {
  uint64_t seed = qrotest::seedOr(3838);
  std::mt19937_64 rng(seed);
  Reference ref;
  int checked = 0, narrowed[TrigOps] = {};
  for (int iter = 0; iter < 30000; ++iter) {
    int op = iter % TrigOps;
    double x0 = sampleOperandPoint(op, rng);
    ref.unary(kOps[op].exact, x0);
    if (mpfr_nan_p(ref.value()) || mpfr_inf_p(ref.value())) continue;
    // One double outward: 256 bits may round f(x0) onto a double (cos of a tiny x0).
    double y0lo = std::nextafter(mpfr_get_d(ref.value(), MPFR_RNDD), -Inf);
    double y0hi = std::nextafter(mpfr_get_d(ref.value(), MPFR_RNDU), Inf);
    double a = x0 - sampleReach(rng, x0), b = x0 + sampleReach(rng, x0);
    if (a > x0) a = x0;
    if (b < x0) b = x0;
    double lo = y0lo - sampleReach(rng, y0lo), hi = y0hi + sampleReach(rng, y0hi);
    if (lo > y0lo) lo = y0lo;
    if (hi < y0hi) hi = y0hi;
    QrcFloatVar x = var(a, b);
    QrcFloatExp node = kOps[op].make(x);
    double nlo = node.getMin(), nhi = node.getMax();
    const double ends[3] = {x0, a, b};
    for (double e : ends) {
      if (!std::isfinite(e)) continue;
      if ((op == ASin || op == ACos) && (e < -1 || e > 1)) continue;
      ref.unary(kOps[op].exact, e);
      if (mpfr_inf_p(ref.value())) continue;
      ASSERT_TRUE(ref.between(nlo, nhi))
          << "seed " << seed << " " << kOps[op].name << std::hexfloat << " x [" << a << ", " << b
          << "] bounds [" << nlo << ", " << nhi << "] at " << e;
    }
    double bounds[2];
    bool ok = narrow(node, x, lo, hi, bounds);
    ASSERT_TRUE(ok && bounds[0] <= x0 && x0 <= bounds[1])
        << "seed " << seed << " " << kOps[op].name << std::hexfloat << " x [" << a << ", " << b
        << "] point " << x0 << " node narrowed to [" << lo << ", " << hi << "] gives [" << bounds[0]
        << ", " << bounds[1] << "]";
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
    ++checked;
    if (bounds[0] > a || bounds[1] < b) ++narrowed[op];
  }
  EXPECT_GT(checked, 25000);
  for (int op = 0; op < TrigOps; ++op) EXPECT_GT(narrowed[op], 1000) << kOps[op].name;
}

// Whether f(p) lies in [lo, hi], decided by MPFR; the inverse sine and
// cosine are undefined outside [-1, 1].
bool feasible(Reference& ref, int op, double p, double lo, double hi) {
  if ((op == ASin || op == ACos) && (p < -1 || p > 1)) return false;
  ref.unary(kOps[op].exact, p);
  return ref.exactlyBetween(lo, hi);
}

// A value within 2^-20 of 1, or 1 itself.
double nearOne(std::mt19937_64& rng) {
  if (rng() % 8 == 0) return 1;
  return 1 - std::ldexp(unit(rng), -20 - static_cast<int>(rng() % 34));
}

// A node interval with an end at f(y), y within 2^-20 of -1 or 1 (an end of
// [-1, 1] itself for sin and cos), the other end past it, near it or random.
void sampleNearEnds(int op, std::mt19937_64& rng, double& lo, double& hi) {
  double y = (rng() % 2 ? 1 : -1) * nearOne(rng);
  double z = (rng() % 2 ? 1 : -1) * nearOne(rng);
  if (op >= ASin) {
    double (*angle)(double) = op == ASin ? asin : op == ACos ? acos : atan;
    y = angle(y);
    z = angle(z);
  }
  switch (rng() % 4) {
    case 0:
      lo = y, hi = Inf;
      break;
    case 1:
      lo = -Inf, hi = y;
      break;
    case 2:
      lo = std::fmin(y, z), hi = std::fmax(y, z);
      break;
    default:
      lo = y, hi = y + std::fabs(y) * unit(rng);
  }
}

// An operand interval around a peak, a zero or an end of the inverses'
// domain, of any width down to a few doubles.
void sampleOperandNearEnds(int op, std::mt19937_64& rng, double& a, double& b) {
  double c = op >= ASin ? (rng() % 2 ? 1.0 : -1.0)
                        : nearMultipleOfPi(static_cast<int64_t>(rng() % 17) - 8, 4, 0);
  if (rng() % 4 == 0) c = 0;
  double w[2];
  for (double& v : w) {
    switch (rng() % 3) {
      case 0:
        v = std::ldexp(unit(rng), -static_cast<int>(rng() % 50));
        break;
      case 1:
        v = unit(rng) * 2;
        break;
      default:
        v = unit(rng) * 20;
    }
  }
  a = c - w[0];
  b = c + w[1];
}

// Narrowing to an interval that ends within 2^-20 of an end of [-1, 1] (or
// at the angle of such a value) removes no point whose value lies inside:
// the doubles next to each moved bound, and random removed points, are
// decided by MPFR.
TEST_F(FloatTrigTest, NarrowingNearEndsRemovesNoFeasiblePoint) {
  uint64_t seed = qrotest::seedOr(4040);
  std::mt19937_64 rng(seed);
  Reference ref;
  int moved[TrigOps] = {};
  for (int iter = 0; iter < 24000; ++iter) {
    int op = iter % TrigOps;
    double lo, hi, a, b;
    sampleNearEnds(op, rng, lo, hi);
    sampleOperandNearEnds(op, rng, a, b);
    QrcFloatVar x = var(a, b);
    double bounds[2];
    bool ok = narrow(kOps[op].make(x), x, lo, hi, bounds);
    double removed[12];
    int n = 0;
    if (!ok) {
      removed[n++] = a;
      removed[n++] = b;
      for (int i = 0; i < 4; ++i) removed[n++] = a + (b - a) * unit(rng);
    } else {
      if (bounds[0] > a) {
        double p = bounds[0];
        for (int i = 0; i < 3 && p > a; ++i) removed[n++] = p = std::nextafter(p, -Inf);
        removed[n++] = a + (bounds[0] - a) * unit(rng);
        removed[n++] = a;
        ++moved[op];
      }
      if (bounds[1] < b) {
        double p = bounds[1];
        for (int i = 0; i < 3 && p < b; ++i) removed[n++] = p = std::nextafter(p, Inf);
        removed[n++] = bounds[1] + (b - bounds[1]) * unit(rng);
        removed[n++] = b;
        ++moved[op];
      }
    }
    for (int i = 0; i < n; ++i) {
      double p = removed[i];
      if (p < a || p > b || (ok && bounds[0] <= p && p <= bounds[1])) continue;
      ASSERT_FALSE(feasible(ref, op, p, lo, hi))
          << "seed " << seed << " " << kOps[op].name << std::hexfloat << " x [" << a << ", " << b
          << "] node narrowed to [" << lo << ", " << hi << "] gives " << (ok ? "" : "a failure, ")
          << "[" << bounds[0] << ", " << bounds[1] << "] without the solution " << p;
    }
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  }
  for (int op = 0; op < TrigOps; ++op) EXPECT_GT(moved[op], 500) << kOps[op].name;
}

// cos x >= c for c = 1 - k 2^-53 holds on [-t, t], t = acos(c) about
// 1.5e-8 sqrt(k) (0x1.7aa10d193c22f...p-24 for k = 35); cos x <= c holds
// outside. Both ends next to 0 enclose -t and t.
TEST_F(FloatTrigTest, CosineNearOneKeepsArcEndsNextToZero) {
  Reference ref;
  for (int k = 1; k <= 64; ++k) {
    const double c = 1 - k * std::ldexp(1.0, -53);
    ref.unary(mpfr_acos, c);
    double bounds[2];
    // cos x >= c: [-1, 1] narrows to about [-t, t].
    QrcFloatVar in = var(-1, 1);
    ASSERT_TRUE(narrow(QrcCos(in), in, c, 1, bounds));
    EXPECT_LE(mpfr_cmp_d(ref.value(), -bounds[0]), 0) << k << std::hexfloat << " " << bounds[0];
    EXPECT_LE(mpfr_cmp_d(ref.value(), bounds[1]), 0) << k << std::hexfloat << " " << bounds[1];
    // cos x <= c: [-1, 0] narrows to about [-1, -t], [0, 1] to about [t, 1].
    QrcFloatVar below = var(-1, 0), above = var(0, 1);
    ASSERT_TRUE(narrow(QrcCos(below), below, -1, c, bounds));
    EXPECT_GE(mpfr_cmp_d(ref.value(), -bounds[1]), 0) << k << std::hexfloat << " " << bounds[1];
    ASSERT_TRUE(narrow(QrcCos(above), above, -1, c, bounds));
    EXPECT_GE(mpfr_cmp_d(ref.value(), bounds[0]), 0) << k << std::hexfloat << " " << bounds[0];
  }
}

// Inverse functions over operands partly or wholly outside [-1, 1].
TEST_F(FloatTrigTest, InversesEncloseOverRandomIntervals) {
  uint64_t seed = qrotest::seedOr(3939);
  std::mt19937_64 rng(seed);
  Reference ref;
  for (int iter = 0; iter < 20000; ++iter) {
    int op = ASin + iter % 3;
    double a = (unit(rng) - 0.5) * (rng() % 2 ? 3 : 2.2), b = a + unit(rng) * 2;
    if (rng() % 8 == 0) a = adversarialDouble(rng), b = a;
    QrcFloatExp node = kOps[op].make(var(a, b));
    double lo = node.getMin(), hi = node.getMax();
    bool outside = op != ATan && (b < -1 || a > 1);
    ASSERT_EQ(node.getImpl()->isUndefined(), outside) << a << " " << b;
    if (outside) {
      ASSERT_TRUE(lo == -Inf && hi == Inf);
      continue;
    }
    for (int i = 0; i < 4; ++i) {
      double p = i == 0 ? a : i == 1 ? b : a + (b - a) * unit(rng);
      if (op != ATan && (p < -1 || p > 1)) continue;
      ref.unary(kOps[op].exact, p);
      ASSERT_TRUE(ref.between(lo, hi)) << "seed " << seed << " " << kOps[op].name << std::hexfloat
                                       << " [" << a << ", " << b << "] at " << p;
    }
  }
}
#endif

}  // namespace
