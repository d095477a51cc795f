// Piecewise-linear float expressions: factories and their reports, narrowing
// of x, y and the index, segment numbers against exact rationals, and random
// functions and boxes against exact evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qrcfloatgoals.h"
#include "qrcintgoals.h"
#include "qrcpiecewise.h"
#include "qrcsearch.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <gmp.h>
#endif

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

class PiecewiseTest : public FloatManagerTest {
 protected:
  QrcFloatArray array(const std::vector<double>& v) {
    QrcFloatArray a(mgr, static_cast<QrcInt>(v.size()));
    for (size_t i = 0; i < v.size(); ++i) a[static_cast<QrcInt>(i)] = v[i];
    return a;
  }
  QrcSegmentedExpI* segmented(const QrcFloatExp& e) {
    return dynamic_cast<QrcSegmentedExpI*>(e.getImpl());
  }
  // The function through (0,0) (1,2) (3,2) (4,0), flat outside.
  QrcSegmentedExpI* hat(const QrcFloatVar& x) {
    return segmented(QrcPiecewiseLinear(x, 0, array({0, 1, 3, 4}), array({0, 2, 2, 0}), 0));
  }
  std::vector<QrcInt> indexValues(QrcSegmentedExpI* y) {
    std::vector<QrcInt> v;
    for (QrcInt i = y->getIndex()->getMin(); i <= y->getIndex()->getMax(); ++i)
      if (y->getIndex()->isInDomain(i)) v.push_back(i);
    return v;
  }
};

std::string show(const QrcConvexSetI* s) {
  std::ostringstream os;
  s->display(os);
  return os.str();
}

TEST_F(PiecewiseTest, FactoriesBuildSegments) {
  QrcFloatVar x = var(-10, 10);
  QrcSegmentedExpI* y = hat(x);
  ASSERT_NE(y, nullptr);
  QrcConvexUnionConstraintI* ct = y->getConstraint();
  EXPECT_EQ(ct->getSize(), 5);
  EXPECT_EQ(indexValues(y), (std::vector<QrcInt>{0, 1, 2, 3, 4}));
  EXPECT_EQ(y->getArgument(), x.getImpl());
  EXPECT_EQ(y->getIndex()->getIndexedExp(), y);
  EXPECT_EQ(show(ct->getSegment(1)), "QrcConvexSetI, (0,0) - (1,2) / [2,2  , index = 1\n");
  std::string excluded;
  std::function<void()> drop = [&] {
    ct->exclude(ct->getSegment(1));
    excluded = show(ct->getSegment(1));
  };
  ASSERT_TRUE(solveRestoring(m, drop));
  EXPECT_EQ(excluded, "QrcConvexSetI, (0,0) - (1,2) / [2,2 [EXCLUDED], index = 1\n");
  EXPECT_FALSE(ct->getSegment(1)->isExcluded());
  // Flat half-lines keep their values at infinity; sloped ones go infinite.
  EXPECT_EQ(ct->getSegment(0)->getLeftY(), 0);
  EXPECT_EQ(ct->getSegment(4)->getRightY(), 0);
  std::ostringstream os;
  y->display(os);
  EXPECT_EQ(os.str(), "[0,2]");
  QrcSegmentedExpI* sloped = segmented(QrcPiecewiseLinear(x, 2, array({0, 1}), array({0, 1}), -1));
  EXPECT_EQ(sloped->getConstraint()->getSegment(0)->getLeftY(), -Inf);
  EXPECT_EQ(sloped->getConstraint()->getSegment(2)->getRightY(), -Inf);
  EXPECT_EQ(show(sloped->getConstraint()->getSegment(2)),
            "QrcConvexSetI, (1, [1,1]) - (inf, [-inf,-inf]) / -1  , index = 2\n");
  // Two equal points make a jump and one segment fewer.
  QrcSegmentedExpI* jump =
      segmented(QrcPiecewiseLinear(x, 0, array({0, 1, 1, 2}), array({0, 1, 5, 5}), 0));
  EXPECT_EQ(jump->getConstraint()->getSize(), 4);
  QrcSegmentedExpI* second =
      segmented(QrcPiecewiseLinear(x, array({0, 1, 1, 2}), array({1, 2, 3, 0, -1}), 0.5, 1));
  EXPECT_EQ(second->getConstraint()->getSize(), 4);
  // With the manager's scratch array taken, the second form works on the heap.
  m->lockIntArray(16);
  QrcSegmentedExpI* again =
      segmented(QrcPiecewiseLinear(x, array({0, 1, 1, 2}), array({1, 2, 3, 0, -1}), 0.5, 1));
  m->unlockArray();
  for (QrcInt i = 0; i < 4; ++i)
    EXPECT_EQ(show(again->getConstraint()->getSegment(i)),
              show(second->getConstraint()->getSegment(i)));
  EXPECT_EQ(show(second->getConstraint()->getSegment(1)),
            "QrcConvexSetI, (0, [-0,0]) - (1, [2,2]) / 2  , index = 1\n");
  struct Visitor : QrcFloatExpVisitorI {
    void visitIndexed(QrcFloatExpI* e) override { seen = e; }
    QrcFloatExpI* seen = nullptr;
  } visitor;
  second->accept(&visitor);
  EXPECT_EQ(visitor.seen, second);
}

TEST_F(PiecewiseTest, FactoriesReportBadArguments) {
  QrcFloatVar x = var(0, 1);
  const struct {
    std::function<void()> call;
    int code;
    const char* text;
  } cases[] = {
      {[&] { QrcPiecewiseLinear(x, 0, array({}), array({}), 0); }, 5, "bad array size : 0"},
      {[&] {
         QrcPiecewiseLinear(x, 0, array({0, 1}), array({0}), 0);
       },
       5, "bad array size : 2"},
      {[&] {
         QrcPiecewiseLinear(x, 0, array({0, 1, 1, 1}), array({0, 1, 2, 3}), 0);
       },
       7, "unordered element in array : 3"},
      {[&] {
         QrcPiecewiseLinear(x, 0, array({0, 2, 1}), array({0, 1, 2}), 0);
       },
       7, "unordered element in array : 1"},
      {[&] { QrcPiecewiseLinear(x, Inf, array({0}), array({0}), 0); }, 32, "Incompatible argument"},
      {[&] { QrcPiecewiseLinear(x, 0, array({NAN}), array({0}), 0); }, 32, "Incompatible argument"},
      {[&] { QrcPiecewiseLinear(x, 0, array({0}), array({Inf}), 0); }, 32, "Incompatible argument"},
      {[&] {
         QrcPiecewiseLinear(x, array({0}), array({1, 1}), Inf, 0);
       },
       32, "Incompatible argument"},
      {[&] {
         QrcPiecewiseLinear(x, array({0}), array({1, 1}), 0, NAN);
       },
       32, "Incompatible argument"},
      {[&] {
         QrcPiecewiseLinear(x, array({0, 1}), array({1, 1}), 0, 0);
       },
       5, "bad array size : 2"},
      {[&] {
         QrcPiecewiseLinear(x, array({0}), array({1, -Inf}), 0, 0);
       },
       32, "Incompatible argument"},
  };
  for (const auto& c : cases) {
    int code = 0;
    testing::internal::CaptureStderr();
    try {
      c.call();
    } catch (const ReportedError& e) {
      code = e.code;
    }
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, c.code) << c.text;
    EXPECT_EQ(text, std::string("Solver Error : QrcPiecewiseLinear : ") + c.text + "\n");
  }
  // No point: y0 + s0 (x - x0), with no segment.
  QrcFloatExp line = QrcPiecewiseLinear(var(0, 2), array({}), array({3}), 1, 1);
  EXPECT_EQ(segmented(line), nullptr);
  EXPECT_EQ(line.getMin(), -2);
  EXPECT_EQ(line.getMax(), 4);
}

TEST_F(PiecewiseTest, NarrowsXYAndTheIndex) {
  QrcFloatVar x = var(-10, 10);
  QrcSegmentedExpI* y = hat(x);
  const struct {
    double xmin, xmax, ymin, ymax;  // narrowing applied
    double wantXmin, wantXmax, wantYmin, wantYmax;
    std::vector<QrcInt> index;
  } cases[] = {
      {-10, 10, 1, 10, 0.5, 3.5, 1, 2, {1, 2, 3}},
      // The segment ending at x.min is ruled out; so is the one before it.
      {1, 10, -Inf, Inf, 1, 10, 0, 2, {2, 3, 4}},
      {-10, 10, 1.5, 10, 0.75, 3.25, 1.5, 2, {1, 2, 3}},
      {2, 3.5, -Inf, 1.5, 3.25, 3.5, 1, 1.5, {3}},
      {-10, -1, -Inf, Inf, -10, -1, 0, 0, {0}},
      {-10, 10, 5, 10, NAN, 0, 0, 0, {}},      // every segment below
      {0.2, 0.4, 1.5, 1.9, NAN, 0, 0, 0, {}},  // a part outside the box
  };
  for (const auto& c : cases) {
    double got[4];
    std::vector<QrcInt> index;
    std::function<void()> fn = [&] {
      x.setRange(c.xmin, c.xmax);
      QrcFloatExp(y).setRange(c.ymin, c.ymax);
      got[0] = x.getMin(), got[1] = x.getMax(), got[2] = y->getMin(), got[3] = y->getMax();
      index = indexValues(y);
    };
    bool ok = solveRestoring(m, fn);
    ASSERT_EQ(ok, !std::isnan(c.wantXmin)) << c.xmin << " " << c.ymin;
    if (!ok) continue;
    EXPECT_EQ(got[0], c.wantXmin) << c.xmin << " " << c.ymin;
    EXPECT_EQ(got[1], c.wantXmax) << c.xmin << " " << c.ymin;
    EXPECT_EQ(got[2], c.wantYmin) << c.xmin << " " << c.ymin;
    EXPECT_EQ(got[3], c.wantYmax) << c.xmin << " " << c.ymin;
    EXPECT_EQ(index, c.index) << c.xmin << " " << c.ymin;
  }
  EXPECT_EQ(x.getMin(), -10);
  EXPECT_EQ(indexValues(y).size(), 5u);
}

TEST_F(PiecewiseTest, IndexRemovalsExcludeSegmentsAndBacktrack) {
  QrcFloatVar x = var(-10, 10);
  QrcSegmentedExpI* y = hat(x);
  QrcConvexUnionConstraintI* ct = y->getConstraint();
  QrcFloatExp(y).setRange(1.5, 10);
  EXPECT_EQ(x.getMin(), 0.75);
  EXPECT_EQ(x.getMax(), 3.25);
  double seen[4];
  std::function<void()> fn = [&] {
    y->getIndex()->removeValue(static_cast<QrcInt>(1));
    seen[0] = x.getMin();
    y->getIndex()->removeValue(static_cast<QrcInt>(3));
    seen[1] = x.getMin(), seen[2] = x.getMax();
    seen[3] = ct->getSegment(3)->isExcluded();
    y->getIndex()->removeValue(static_cast<QrcInt>(2));  // nothing left
  };
  EXPECT_FALSE(solveRestoring(m, fn));
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 1);
  EXPECT_EQ(seen[2], 3);
  EXPECT_EQ(seen[3], 1);
  for (QrcInt i = 0; i < 5; ++i) EXPECT_FALSE(ct->getSegment(i)->isExcluded() && i != 0 && i != 4);
  EXPECT_EQ(x.getMin(), 0.75);
  EXPECT_EQ(x.getMax(), 3.25);
  // The cursors came back with the rest: a later narrowing still finds both sides.
  std::function<void()> again = [&] {
    QrcFloatExp(y).setRange(1.5, 1.5);
    seen[0] = x.getMin(), seen[1] = x.getMax();
  };
  ASSERT_TRUE(solveRestoring(m, again));
  EXPECT_EQ(seen[0], 0.75);
  EXPECT_EQ(seen[1], 3.25);
  std::function<void()> bind = [&] {
    y->getIndex()->setValue(static_cast<QrcInt>(2));
    seen[0] = x.getMin(), seen[1] = x.getMax();
  };
  ASSERT_TRUE(solveRestoring(m, bind));
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 3);
}

#ifdef QRO_HAVE_MPFR
using floattest::unit;

// An exact rational.
class Q {
 public:
  Q() { mpq_init(v); }
  Q(double d) {  // NOLINT: doubles convert exactly
    mpq_init(v);
    mpq_set_d(v, d);
  }
  Q(const Q& o) {
    mpq_init(v);
    mpq_set(v, o.v);
  }
  Q& operator=(const Q& o) {
    mpq_set(v, o.v);
    return *this;
  }
  ~Q() { mpq_clear(v); }
  friend Q operator+(const Q& a, const Q& b) { return apply(mpq_add, a, b); }
  friend Q operator-(const Q& a, const Q& b) { return apply(mpq_sub, a, b); }
  friend Q operator*(const Q& a, const Q& b) { return apply(mpq_mul, a, b); }
  friend Q operator/(const Q& a, const Q& b) { return apply(mpq_div, a, b); }
  int sign() const { return mpq_sgn(v); }
  mpq_t v;

 private:
  static Q apply(void (*f)(mpq_ptr, mpq_srcptr, mpq_srcptr), const Q& a, const Q& b) {
    Q r;
    f(r.v, a.v, b.v);
    return r;
  }
};

// lo <= q <= hi, with infinite bounds; a bound that is not a number fails.
bool encloses(double lo, const Q& q, double hi) {
  if (std::isnan(lo) || std::isnan(hi)) return false;
  bool above = lo == -Inf || (lo != Inf && mpq_cmp(Q(lo).v, q.v) <= 0);
  bool below = hi == Inf || (hi != -Inf && mpq_cmp(q.v, Q(hi).v) <= 0);
  return above && below;
}

// The double nearest q on the given side.
double toDouble(const Q& q, bool up) {
  double d = mpq_get_d(q.v);
  int c = mpq_cmp(Q(d).v, q.v);
  if (up && c < 0) d = std::nextafter(d, Inf);
  if (!up && c > 0) d = std::nextafter(d, -Inf);
  return d;
}

// Magnitudes from 1e-300 to 1e300, or moderate values.
double sampleValue(std::mt19937_64& rng) {
  if (rng() % 2) return (unit(rng) - 0.5) * 20;
  return (rng() % 2 ? 1 : -1) * std::ldexp(unit(rng) + 0.5, static_cast<int>(rng() % 1995) - 997);
}

// Every segment operation of the three classes encloses the exact line: for
// a point segment, the line through its points; for a slope segment, the
// line of its slope through any value of its anchor interval.
TEST_F(PiecewiseTest, SegmentNumbersEncloseExactValues) {
  uint64_t seed = qrotest::seedOr(3030);
  std::mt19937_64 rng(seed);
  int checked = 0;
  for (int iter = 0; iter < 20000; ++iter) {
    int kind = iter % 4;
    double x1 = sampleValue(rng), x2 = x1 + std::fabs(sampleValue(rng));
    if (!(x2 > x1) || !std::isfinite(x2)) continue;
    QrcConvexSetI* seg;
    Q anchorX, slope;
    Q anchorY[2];
    bool flat;
    double lo = x1, hi = x2;  // where a flat point segment is evaluated
    if (kind == 0) {
      double y1 = sampleValue(rng), y2 = rng() % 4 == 0 ? y1 : sampleValue(rng);
      auto* p = new (m) QrcPointSegmentI(m, x1, y1, x2, y2);
      anchorX = x1;
      anchorY[0] = anchorY[1] = y1;
      slope = (Q(y2) - Q(y1)) / (Q(x2) - Q(x1));
      ASSERT_TRUE(encloses(p->getSlopeLow(), slope, p->getSlopeHigh())) << "seed " << seed;
      flat = !(p->getSlopeLow() > 0) && !(p->getSlopeHigh() < 0);
      seg = p;
    } else {
      double aLow = sampleValue(rng);
      double aHigh = rng() % 2 ? aLow : aLow + std::fabs(aLow) * 1e-15 * (rng() % 8);
      double s = rng() % 4 == 0 ? 0 : sampleValue(rng);
      if (kind == 1) {
        seg = new (m) QrcSlopeSegmentI(m, x1, aLow, aHigh, x2, aLow, aHigh, s);
      } else if (kind == 2) {
        seg = new (m) QrcFirstSegmentI(m, x2, aLow, aHigh, s);
        lo = -Inf;
      } else {
        seg = new (m) QrcLastSegmentI(m, x1, aLow, aHigh, s);
        hi = Inf;
      }
      anchorX = kind == 2 ? x2 : x1;
      anchorY[0] = aLow;
      anchorY[1] = aHigh;
      slope = s;
      flat = s == 0;
    }
    for (int probe = 0; probe < 4; ++probe) {
      double v = probe < 2 ? (probe == 0 ? x1 : x2) : sampleValue(rng);
      if (kind == 2 && probe == 0) v = x2 - std::fabs(sampleValue(rng));
      bool inside = v >= lo && v <= hi;
      double yLow = seg->getYLow(v), yHigh = seg->getYHigh(v);
      double w = rng() % 2 ? sampleValue(rng) : seg->getYLow(inside ? v : x1);
      double xLow = seg->getXLow(w), xHigh = seg->getXHigh(w);
      ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
      for (const Q& ay : anchorY) {
        if (!flat || inside) {
          Q y = ay + (Q(v) - anchorX) * slope;
          ASSERT_TRUE(encloses(yLow, y, yHigh))
              << "seed " << seed << " kind " << kind << std::hexfloat << " at x " << v << " ["
              << yLow << ", " << yHigh << "]";
        }
        if (slope.sign() == 0 || !std::isfinite(w)) continue;
        Q x = anchorX + (Q(w) - ay) / slope;
        if (flat && !encloses(lo, x, hi)) continue;
        ASSERT_TRUE(encloses(xLow, x, xHigh))
            << "seed " << seed << " kind " << kind << std::hexfloat << " at y " << w << " [" << xLow
            << ", " << xHigh << "]";
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 50000);
}

// A random function of either form, known exactly.
struct RandomFunction {
  struct Piece {
    double x1, x2;  // [x1, x2), infinite at the ends
    Q ax, ay, slope;
  };
  std::vector<double> points, values, slopes;
  double firstSlope = 0, lastSlope = 0, x0 = 0, y0 = 0;
  bool secondForm = false;
  std::vector<Piece> pieces;  // in position order

  explicit RandomFunction(std::mt19937_64& rng) {
    size_t n = 1 + rng() % 12;
    points.push_back((unit(rng) - 0.5) * 10);
    for (size_t i = 1; i < n; ++i) {
      int r = static_cast<int>(rng() % 5);
      bool jumpAllowed = i < 2 || points[i - 1] != points[i - 2];
      double p =
          r == 0 && jumpAllowed ? points[i - 1] : points[i - 1] + (r == 1 ? 1e-3 : 3) * unit(rng);
      if (p <= points[i - 1] && !(r == 0 && jumpAllowed)) p = std::nextafter(points[i - 1], Inf);
      points.push_back(p);
    }
    auto slopeSample = [&] { return rng() % 3 == 0 ? 0.0 : (unit(rng) - 0.5) * 6; };
    secondForm = rng() % 2;
    std::vector<Q> v(n);
    if (!secondForm) {
      for (size_t i = 0; i < n; ++i)
        values.push_back(i > 0 && rng() % 3 == 0 ? values[i - 1] : (unit(rng) - 0.5) * 10);
      for (size_t i = 0; i < n; ++i) v[i] = values[i];
      firstSlope = slopeSample();
      lastSlope = slopeSample();
    } else {
      for (size_t i = 0; i <= n; ++i) slopes.push_back(slopeSample());
      x0 = (unit(rng) - 0.5) * 20;
      y0 = (unit(rng) - 0.5) * 10;
      exactValues(v);
    }
    size_t last = n - 1;
    pieces.push_back({-Inf, points[0], points[0], v[0], secondForm ? slopes[0] : firstSlope});
    for (size_t i = 0; i + 1 < n; ++i) {
      if (!(points[i + 1] > points[i])) continue;
      Q s = secondForm ? Q(slopes[i + 1]) : (v[i + 1] - v[i]) / (Q(points[i + 1]) - Q(points[i]));
      pieces.push_back({points[i], points[i + 1], points[i], v[i], s});
    }
    pieces.push_back(
        {points[last], Inf, points[last], v[last], secondForm ? slopes[n] : lastSlope});
  }

  // The second form's values at the points, from (x0, y0) both ways.
  void exactValues(std::vector<Q>& v) const {
    size_t n = points.size(), k = 0;
    while (k < n && points[k] <= x0) ++k;
    Q prevX = x0, prevY = y0;
    for (size_t i = k; i < n; ++i) {
      bool jump = i > 0 && points[i - 1] == points[i];
      v[i] = jump ? prevY + Q(slopes[i]) : prevY + Q(slopes[i]) * (Q(points[i]) - prevX);
      prevX = points[i], prevY = v[i];
    }
    prevX = x0, prevY = y0;
    for (size_t i = k; i-- > 0;) {
      bool jump = i + 1 < n && points[i] == points[i + 1];
      v[i] = jump ? prevY - Q(slopes[i + 1]) : prevY + Q(slopes[i + 1]) * (Q(points[i]) - prevX);
      prevX = points[i], prevY = v[i];
    }
  }

  QrcFloatExp build(const QrcFloatExp& x, QrcManager& mgr) const {
    auto array = [&](const std::vector<double>& a) {
      QrcFloatArray r(mgr, static_cast<QrcInt>(a.size()));
      for (size_t i = 0; i < a.size(); ++i) r[static_cast<QrcInt>(i)] = a[i];
      return r;
    };
    if (secondForm) return QrcPiecewiseLinear(x, array(points), array(slopes), x0, y0);
    return QrcPiecewiseLinear(x, firstSlope, array(points), array(values), lastSlope);
  }

  std::string describe() const {
    std::ostringstream os;
    os << std::hexfloat << (secondForm ? " second form" : " first form") << " points";
    for (double p : points) os << " " << p;
    os << (secondForm ? " slopes" : " values");
    for (double v : secondForm ? slopes : values) os << " " << v;
    os << " first " << firstSlope << " last " << lastSlope << " x0 " << x0 << " y0 " << y0;
    return os.str();
  }
  size_t pieceAt(double x) const {
    size_t j = 0;
    while (x >= pieces[j].x2) ++j;
    return j;
  }
  Q valueAt(size_t j, double x) const {
    return pieces[j].ay + pieces[j].slope * (Q(x) - pieces[j].ax);
  }
  // Whether piece j (closed) meets the box.
  bool meets(size_t j, double xmin, double xmax, double ymin, double ymax) const {
    double lo = std::fmax(xmin, pieces[j].x1), hi = std::fmin(xmax, pieces[j].x2);
    if (lo > hi) return false;
    Q a = valueAt(j, lo), b = valueAt(j, hi);
    bool aLow = mpq_cmp(a.v, b.v) <= 0;
    const Q& least = aLow ? a : b;
    const Q& most = aLow ? b : a;
    return encloses(-Inf, least, ymax) && encloses(ymin, most, Inf);
  }
};

TEST_F(PiecewiseTest, SecondFormValuesEncloseExactValues) {
  uint64_t seed = qrotest::seedOr(3131);
  std::mt19937_64 rng(seed);
  for (int iter = 0; iter < 3000; ++iter) {
    RandomFunction f(rng);
    if (!f.secondForm) continue;
    // Steep and shallow slopes, huge and tiny.
    for (double& s : f.slopes)
      if (rng() % 2) s = sampleValue(rng) / 64;
    std::vector<Q> exact(f.points.size());
    f.exactValues(exact);
    QrcSegmentedExpI* y = segmented(f.build(var(-Inf, Inf), mgr));
    ASSERT_NE(y, nullptr);
    QrcConvexUnionConstraintI* ct = y->getConstraint();
    // Each segment's ends hold the values at its points: at a jump, the left
    // end takes the second of the two points and the right end the first.
    size_t n = f.points.size();
    for (QrcInt j = 0; j < ct->getSize(); ++j) {
      auto* s = static_cast<QrcLinearSegmentI*>(ct->getSegment(j));
      if (std::isfinite(s->getMinX())) {
        size_t i = n - 1;
        while (f.points[i] != s->getMinX()) --i;
        ASSERT_TRUE(encloses(s->getLeftY(), exact[i], s->getLeftYHigh()))
            << "seed " << seed << " point " << i;
      }
      if (std::isfinite(s->getMaxX())) {
        size_t i = 0;
        while (f.points[i] != s->getMaxX()) ++i;
        ASSERT_TRUE(encloses(s->getRightY(), exact[i], s->getRightYHigh()))
            << "seed " << seed << " point " << i;
      }
    }
  }
}

// A sampled x with exact f(x) inside the box is never lost: x, y and the
// index keep it, whatever the order of the narrowings and the index values
// removed. A bisection search over the index and x returns only boxes that
// meet a live segment, the sampled point's among them.
TEST_F(PiecewiseTest, RandomFunctionsKeepSampledPoints) {
  uint64_t seed = qrotest::seedOr(3232);
  std::mt19937_64 rng(seed);
  auto reach = [&](double at) {
    switch (rng() % 5) {
      case 0:
        return 0.0;
      case 1:
        return std::fabs(at) * 1e-15 * static_cast<double>(rng() % 4);
      case 2:
        return unit(rng) * 0.5;
      case 3:
        return unit(rng) * 5;
      default:
        return Inf;
    }
  };
  int searches = 0, narrowed = 0;
  for (int iter = 0; iter < 4000; ++iter) {
    RandomFunction f(rng);
    double px;
    double at = f.points[rng() % f.points.size()];
    switch (rng() % 4) {
      case 0:
        px = at;
        break;
      case 1:
        px = std::nextafter(at, rng() % 2 ? Inf : -Inf);
        break;
      default:
        px = (unit(rng) - 0.5) * 30;
    }
    size_t seg = f.pieceAt(px);
    Q py = f.valueAt(seg, px);
    double pyLow = toDouble(py, false), pyHigh = toDouble(py, true);
    double xa = px - reach(px), xb = px + reach(px);
    double ya = pyLow - reach(pyLow), yb = pyHigh + reach(pyHigh);
    bool search = iter % 8 == 0;
    if (search) {
      // Boxes well above the segments' rounding, so that a box the search
      // returns can be checked exactly.
      xa = px - 0.5 * unit(rng);
      xb = px + 0.5 * unit(rng);
      ya = pyLow - 1e-6 - unit(rng);
      yb = pyHigh + 1e-6 + unit(rng);
    }
    QrcFloatVar x = search ? QrcFloatVar(mgr, xa, xb, 0.02, nullptr) : var(-Inf, Inf);
    QrcSegmentedExpI* y = segmented(f.build(x, mgr));
    ASSERT_NE(y, nullptr);
    QrcIndexVarI* index = y->getIndex();
    QrcInt size = y->getConstraint()->getSize(), removed[2] = {-1, -1};
    for (QrcInt& r : removed)
      if (rng() % 2) r = static_cast<QrcInt>(rng() % size);
    int order = static_cast<int>(rng() % 3);
    bool kept = false;
    std::function<void()> fn = [&] {
      for (int step = 0; step < 3; ++step) {
        int what = (step + order) % 3;
        if (what == 0) x.setRange(xa, xb);
        if (what == 1) QrcFloatExp(y).setRange(ya, yb);
        if (what == 2)
          for (QrcInt r : removed)
            if (r >= 0 && r != static_cast<QrcInt>(seg)) index->removeValue(r);
      }
      kept = x.getMin() <= px && px <= x.getMax() && encloses(y->getMin(), py, y->getMax()) &&
             index->isInDomain(static_cast<QrcInt>(seg));
      if (x.getMin() > xa || x.getMax() < xb) ++narrowed;
    };
    bool ok = solveRestoring(m, fn);
    ASSERT_TRUE(ok && kept) << "seed " << seed << " iter " << iter << std::hexfloat << " x " << px
                            << " piece " << seg << " box x [" << xa << ", " << xb << "] y [" << ya
                            << ", " << yb << "]";
    if (!search) continue;
    ++searches;
    QrcFloatExp(y).setRange(ya, yb);
    QrcIntVarArray indexes(mgr, 1);
    indexes.set(0, QrcIntExp(index));
    QrcSearch s(mgr, QrcAnd(QrcGenerate(indexes), QrcInstantiate(x, 0, 0.5)));
    int solutions = 0;
    bool found = false;
    while (solutions < 400 && s.next()) {
      ++solutions;
      QrcInt j = index->getValue();
      ASSERT_FALSE(y->getConstraint()->getSegment(j)->isExcluded());
      ASSERT_TRUE(f.meets(static_cast<size_t>(j), x.getMin(), x.getMax(), y->getMin(), y->getMax()))
          << "seed " << seed << " iter " << iter << " piece " << j << std::hexfloat << " x ["
          << x.getMin() << ", " << x.getMax() << "] y [" << y->getMin() << ", " << y->getMax()
          << "] piece from " << f.pieces[j].x1 << " to " << f.pieces[j].x2 << f.describe();
      if (j == static_cast<QrcInt>(seg) && x.getMin() <= px && px <= x.getMax()) found = true;
    }
    s.end();
    EXPECT_TRUE(found || solutions == 400) << "seed " << seed << " iter " << iter;
  }
  EXPECT_GT(searches, 400);
  EXPECT_GT(narrowed, 1000);
}
#endif

}  // namespace
