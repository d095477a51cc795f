// Interval sine, cosine and tangent: fixed cases, internal error reports, and
// enclosure of MPFR's values over random and adversarial points and intervals.
// The interval functions and constants are private to the float layer.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "engine/float/qrcfloatconstants.h"
#include "engine/float/qrcintrigo.h"
#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qroplatform.h"
#include "support/seed.h"

namespace {

const double kInf = HUGE_VAL;

class TrigBounds : public floatvartest::IntervalConstantsTest {};

QrcFloatInterval nearest(QrcFloatInterval r) {
  qroplatform::setRounding(qroplatform::RoundNearest);
  return r;
}

TEST_F(TrigBounds, FixedCases) {
  QrcFloatInterval s = nearest(intervalSine({0, 0.1}));
  EXPECT_EQ(s.lo, 0.0);
  EXPECT_GE(s.hi, std::sin(0.1));
  EXPECT_LT(s.hi, std::sin(0.1) + 1e-15);
  s = nearest(intervalSine({0, 0}));
  EXPECT_EQ(s.lo, 0.0);
  EXPECT_EQ(s.hi, 0.0);
  s = nearest(intervalSine({1, 2}));
  EXPECT_EQ(s.hi, 1.0);
  EXPECT_LE(s.lo, std::sin(1.0));
  EXPECT_GT(s.lo, std::sin(1.0) - 1e-15);
  s = nearest(intervalSine({0, 7}));
  EXPECT_EQ(s.lo, -1.0);
  EXPECT_EQ(s.hi, 1.0);
  s = nearest(intervalSine({4, 5}));
  EXPECT_EQ(s.lo, -1.0);
  EXPECT_GE(s.hi, std::sin(4.0));
  s = nearest(intervalSine({-kInf, 0}));
  EXPECT_EQ(s.lo, -1.0);
  EXPECT_EQ(s.hi, 1.0);
  QrcFloatInterval c = nearest(intervalCosine({0, 0}));
  EXPECT_LE(c.lo, 1.0);
  EXPECT_EQ(c.hi, 1.0);
  EXPECT_GT(c.lo, 1.0 - 1e-15);
  // Reduction leaves the lower end just below 2 pi: the shifted upper end
  // passes the last region, and the interval spans a period within a few ulps.
  c = nearest(intervalCosine({-1e-300, 6.28318530717958}));
  EXPECT_EQ(c.lo, -1.0);
  EXPECT_EQ(c.hi, 1.0);
  QrcFloatInterval t = nearest(intervalTangent({1, 2}));
  EXPECT_EQ(t.lo, -kInf);
  EXPECT_EQ(t.hi, kInf);
  t = nearest(intervalTangent({0, 1}));
  EXPECT_LE(t.lo, 0.0);
  EXPECT_GE(t.hi, std::tan(1.0));
  EXPECT_LT(t.hi, std::tan(1.0) + 1e-14);
  t = nearest(intervalTangent({0, 3.5}));
  EXPECT_EQ(t.lo, -kInf);
  EXPECT_EQ(t.hi, kInf);
  t = nearest(intervalTangent({1e300, 1e300}));
  EXPECT_EQ(t.lo, -kInf);
  EXPECT_EQ(t.hi, kInf);
}

TEST_F(TrigBounds, RegionsOfReducedArguments) {
  const struct {
    double x;
    int region;
  } cases[] = {{0.0, 0},
               {-1.5, 0},
               {qrcHalfPiDown, 1},
               {qrcHalfPiUp, 1},
               {2.0, 2},
               {4.712, 2},
               {qrcThreeHalfPiUp, 3},
               {6.0, 4},
               {qrcFiveHalfPiDown, 5},
               {10.0, 6},
               {qrcSevenHalfPiDown, 7},
               {13.0, 8},
               {14.2, 9},
               {1e300, 9},
               {-1.6, -1},
               {-kInf, -1}};
  for (const auto& c : cases) EXPECT_EQ(sineRegion(c.x), c.region) << c.x;
}

TEST(TrigBoundsDeathTest, ImpossibleRegionsAreFatal) {
  initFloatConstantBounds();
  const QrcFloatInterval any{-0.5, 0.5};
  const struct {
    int r1, r2;
    bool cosine;
    const char* text;
  } cases[] = {
      {0, -1, false, "INtrigo \\(1\\)"},
      {4, 2, false, "INtrigo \\(2\\)"},
      {2, 0, false, "INtrigo \\(4\\)"},
      {6, 4, false, "INtrigo \\(5\\)"},
      {6, 3, false, "INtrigo \\(6\\)"},
      {8, 0, false, "INtrigo \\(7\\)"},
      {8, 8, false, nullptr},
      {2, 0, true, "Cosine Implementation : Morvane"},
      {0, -1, true, "Cosine Implementation : Morvane"},
      {4, 6, true, nullptr},
  };
  for (const auto& c : cases) {
    if (!c.text) {
      QrcFloatInterval r = sineOverRegions(c.r1, any, c.r2, any, c.cosine);
      EXPECT_LE(r.lo, r.hi);
      continue;
    }
    EXPECT_DEATH(sineOverRegions(c.r1, any, c.r2, any, c.cosine), c.text)
        << c.r1 << " " << c.r2 << " " << c.cosine;
  }
  EXPECT_DEATH(sineOverRegions(0, {0.9, 0.1}, 1, {0.9, 0.1}, true),
               "Solver Error : Internal Error: Cosine Implementation \\(2\\) : Morvane");
  EXPECT_DEATH(sineRegion(std::nan("")), "Solver Error : Internal Error: INtrigo \\(15\\)");
}

#ifdef QRO_HAVE_MPFR
using floattest::adversarialDouble;
using floattest::nearMultipleOfPi;
using floattest::Reference;
using floattest::unit;

// Within 2^-10 of a multiple of pi/2 (a peak of the sine or the cosine), so
// that their values lie within 2^-20 of -1 or 1, down to a few doubles away.
double nearPeak(std::mt19937_64& rng) {
  double p = nearMultipleOfPi(static_cast<int64_t>(rng() % 41) - 20, 2, 0);
  return p + (rng() % 2 ? 1 : -1) * std::ldexp(unit(rng), -10 - static_cast<int>(rng() % 44));
}

// A point: random, near a multiple of pi/4 or of pi/2, near a peak, subnormal
// or huge.
double samplePoint(std::mt19937_64& rng) {
  switch (rng() % 7) {
    case 0:
      return nearMultipleOfPi(static_cast<int64_t>(rng() % 401) - 200, 4,
                              static_cast<int>(rng() % 17) - 8);
    case 1:
      return nearMultipleOfPi(2 * (static_cast<int64_t>(rng() % 401) - 200) + 1, 2,
                              static_cast<int>(rng() % 17) - 8);
    case 2:
      return (unit(rng) - 0.5) * 30;
    case 3:
      return (rng() % 2 ? 1 : -1) * std::ldexp(unit(rng) + 0.5, static_cast<int>(rng() % 997));
    case 4:
      return nearPeak(rng);
    default:
      return adversarialDouble(rng);
  }
}

// A width: near 0, pi, 2 pi or just over, or anything.
double sampleWidth(std::mt19937_64& rng) {
  double base[4] = {0.0, M_PI, 2 * M_PI, 2 * M_PI};
  int k = static_cast<int>(rng() % 5);
  if (k == 4) return std::fabs(adversarialDouble(rng)) * unit(rng);
  double w =
      base[k] + (k == 3 ? 1e-15 * static_cast<double>(rng() % 64)
                        : (unit(rng) - 0.5) * std::ldexp(1.0, -static_cast<int>(rng() % 50)));
  return w < 0 ? -w : w;
}

typedef QrcFloatInterval (*IntervalFn)(QrcFloatInterval);

struct TrigCase {
  const char* name;
  IntervalFn bounds;
  int (*exact)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
};

const TrigCase kTrig[3] = {{"sin", intervalSine, mpfr_sin},
                           {"cos", intervalCosine, mpfr_cos},
                           {"tan", intervalTangent, mpfr_tan}};

TEST_F(TrigBounds, PointsEncloseExactValues) {
  uint64_t seed = qrotest::seedOr(2929);
  std::mt19937_64 rng(seed);
  Reference ref;
  for (int iter = 0; iter < 60000; ++iter) {
    double x = samplePoint(rng);
    const TrigCase& f = kTrig[iter % 3];
    QrcFloatInterval r = nearest(f.bounds({x, x}));
    ref.unary(f.exact, x);
    ASSERT_TRUE(r.lo <= r.hi && ref.between(r.lo, r.hi))
        << "seed " << seed << " " << f.name << std::hexfloat << " x " << x << " [" << r.lo << ", "
        << r.hi << "]";
    if (iter % 3 == 0 && std::fabs(x) <= 2 * M_PI) {
      ASSERT_LE(r.hi - r.lo, 1e-14) << "seed " << seed << std::hexfloat << " x " << x;
    }
    if (std::fabs(x) <= 16) {
      QrcFloatInterval p = nearest(pointSineBounds(x, iter % 2 == 0));
      ref.unary(mpfr_sin, x);
      ASSERT_TRUE(ref.between(p.lo, p.hi)) << "seed " << seed << std::hexfloat << " x " << x;
    }
  }
}

// Sample points of an interval: its ends, random points, and the doubles
// around the peaks inside it.
TEST_F(TrigBounds, IntervalsEncloseExactValues) {
  uint64_t seed = qrotest::seedOr(2930);
  std::mt19937_64 rng(seed);
  Reference ref;
  int peaks = 0;
  for (int iter = 0; iter < 40000; ++iter) {
    double a = samplePoint(rng);
    double b = a + sampleWidth(rng);
    if (rng() % 16 == 0) a = -kInf;
    if (rng() % 16 == 0) b = kInf;
    if (!(a <= b)) continue;
    const TrigCase& f = kTrig[iter % 3];
    QrcFloatInterval r = nearest(f.bounds({a, b}));
    ASSERT_LE(r.lo, r.hi);
    double points[12];
    int n = 0;
    if (std::isfinite(a)) points[n++] = a;
    if (std::isfinite(b)) points[n++] = b;
    if (std::isfinite(a) && std::isfinite(b) && b - a < 100) {
      for (int i = 0; i < 4; ++i) points[n++] = a + (b - a) * unit(rng);
      // Peaks of the sine and cosine (multiples of pi/2) inside.
      double k0 = std::ceil(a / (M_PI / 2));
      for (double k = k0; k <= k0 + 3 && n < 12 && std::fabs(k) < 1e6; ++k) {
        double p = nearMultipleOfPi(static_cast<int64_t>(k), 2, 0);
        if (p >= a && p <= b) {
          points[n++] = p;
          ++peaks;
        }
      }
    }
    for (int i = 0; i < n; ++i) {
      ref.unary(f.exact, points[i]);
      ASSERT_TRUE(ref.between(r.lo, r.hi))
          << "seed " << seed << " " << f.name << std::hexfloat << " [" << a << ", " << b << "] = ["
          << r.lo << ", " << r.hi << "] at " << points[i];
    }
  }
  EXPECT_GT(peaks, 1000);
}

TEST_F(TrigBounds, PointsNearMultiplesOfPi) {
  Reference ref;
  // sin(3.141592653589794) = -7.6571373978538991e-16: the three parts of pi/4
  // alone leave the series about 1e-31 off.
  double x = 3.141592653589794;
  for (bool upper : {false, true}) {
    QrcFloatInterval p = nearest(pointSineBounds(x, upper));
    ref.unary(mpfr_sin, x);
    EXPECT_TRUE(ref.between(p.lo, p.hi));
    EXPECT_LT(p.hi - p.lo, 1e-28);
  }
  // At pi's double the octant is uncertain and the argument moves.
  for (bool upper : {false, true}) {
    QrcFloatInterval p = nearest(pointSineBounds(M_PI, upper));
    ref.unary(mpfr_sin, M_PI);
    EXPECT_TRUE(ref.between(p.lo, p.hi));
  }
  // The tangent rising through 0 near pi: its upper bound divides by the
  // cosine bound nearest 0.
  double a = 3.1415926535897922, b = 3.1415926540011956;
  QrcFloatInterval t = nearest(intervalTangent({a, b}));
  ref.unary(mpfr_tan, b);
  EXPECT_TRUE(ref.between(t.lo, t.hi)) << std::hexfloat << t.lo << " " << t.hi;
  ref.unary(mpfr_tan, a);
  EXPECT_TRUE(ref.between(t.lo, t.hi));
  EXPECT_LT(t.hi - t.lo, 1e-9);
}
#endif

}  // namespace
