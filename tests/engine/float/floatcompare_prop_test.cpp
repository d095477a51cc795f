// Float comparisons and their opposites against sampled points: a point that
// satisfies the comparison (decided on the doubles themselves) is never
// removed by posting it and narrowing afterwards, over interval and value-set
// variables with adversarial bounds.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <iomanip>
#include <random>

#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qrcfloatcompare.h"
#include "qrcfloatexp.h"
#include "qrcmanager.h"
#include "qroplatform.h"
#include "support/seed.h"

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

enum Cmp { Eq, Le, Ge, Neq, Gt, Lt, EqC, LeC, GeC, NeqC, GtC, LtC, EqZero, NeqZero, Cmps };

const char* cmpName(int k) {
  static const char* names[] = {"x == y", "x <= y", "x >= y", "x != y", "x > y",
                                "x < y",  "x == c", "x <= c", "x >= c", "x != c",
                                "x > c",  "x < c",  "x == 0", "x != 0"};
  return names[k];
}

// 1 when the point satisfies the comparison, 0 when not, -1 too close to call.
int holds(int k, double x, double y, double c) {
  const double m = QrcFloatZeroMargin();
  switch (k) {
    case Eq:
      return x == y;
    case Le:
      return x <= y;
    case Ge:
      return x >= y;
    case Neq:
      return x != y;
    case Gt:
      return x > y;
    case Lt:
      return x < y;
    case EqC:
      return x == c;
    case LeC:
      return x <= c;
    case GeC:
      return x >= c;
    case NeqC:
      return x != c;
    case GtC:
      return x > c;
    case LtC:
      return x < c;
    case EqZero:
      return std::fabs(x) <= m ? 1 : 0;
    default:
      return std::fabs(x) >= m ? 1 : (x == 0 ? 0 : -1);
  }
}

QrcConstraintI* opposite(const QrcConstraint& c) {
  return c.getImpl()->makeOpposite();
}

// The strict and unequal forms are reached as opposites, as negation builds them.
QrcConstraintI* make(int k, const QrcFloatExp& x, const QrcFloatExp& y, double c) {
  switch (k) {
    case Eq:
      return (x == y).getImpl();
    case Le:
      return (x <= y).getImpl();
    case Ge:
      return (x >= y).getImpl();
    case Neq:
      return opposite(x == y);
    case Gt:
      return opposite(x <= y);
    case Lt:
      return opposite(x >= y);
    case EqC:
      return (x == c).getImpl();
    case LeC:
      return (x <= c).getImpl();
    case GeC:
      return (x >= c).getImpl();
    case NeqC:
      return opposite(x == c);
    case GtC:
      return opposite(x <= c);
    case LtC:
      return opposite(x >= c);
    case EqZero:
      return makeEqNullConstraint(x).getImpl();
    default:
      return opposite(makeEqNullConstraint(x));
  }
}

void interval(std::mt19937_64& rng, double& a, double& b) {
  if (rng() % 2) {
    a = static_cast<double>(static_cast<int>(rng() % 17) - 8) / 4.0;
    b = static_cast<double>(static_cast<int>(rng() % 17) - 8) / 4.0;
  } else {
    a = floattest::adversarialDouble(rng);
    b = rng() % 3 ? floattest::adversarialDouble(rng) : a;
  }
  if (a > b) std::swap(a, b);
  if (rng() % 10 == 0) a = -Inf;
  if (rng() % 10 == 0) b = Inf;
}

double pointIn(std::mt19937_64& rng, double a, double b) {
  for (int tries = 0; tries < 20; ++tries) {
    double p;
    switch (rng() % 4) {
      case 0:
        p = a;
        break;
      case 1:
        p = b;
        break;
      case 2:
        p = floattest::adversarialDouble(rng);
        break;
      default:
        p = a + (b - a) * static_cast<double>(rng() % 9) / 8.0;
        break;
    }
    if (std::isfinite(p) && a <= p && p <= b) return p;
  }
  return std::isfinite(a) ? a : std::isfinite(b) ? b : 0.0;
}

class FloatComparePropTest : public FloatManagerTest {
 protected:
  // An interval variable, or (sometimes) a value set holding the point and
  // the finite bounds.
  QrcFloatVar var(std::mt19937_64& rng, double a, double b, double p) {
    if (rng() % 4 != 0 || !std::isfinite(a) || !std::isfinite(b)) return QrcFloatVar(mgr, a, b);
    QrcFloatArray values(mgr, 4);
    values[0] = a;
    values[1] = p;
    values[2] = b;
    values[3] = pointIn(rng, a, b);
    return QrcFloatVar(mgr, values);
  }
};

TEST_F(FloatComparePropTest, ComparisonsNeverRemoveASatisfyingPoint) {
  uint64_t seed = qrotest::seedOr(5150);
  std::mt19937_64 rng(seed);
  int sampled = 0;
  for (int iter = 0; iter < 40000; ++iter) {
    int k = iter % Cmps;
    double a, b, c, d;
    interval(rng, a, b);
    interval(rng, c, d);
    double px = pointIn(rng, a, b), py = pointIn(rng, c, d);
    // Ties are the interesting case: often compare x with y's point itself.
    if (rng() % 3 == 0 && a <= py && py <= b) px = py;
    double cst = rng() % 2 ? py : floattest::adversarialDouble(rng);
    int truth = holds(k, px, py, cst);
    if (truth < 0) continue;
    QrcFloatVar x = var(rng, a, b, px), y = var(rng, c, d, py);
    QrcFloatExpI* xi = x.getImpl();
    QrcFloatExpI* yi = y.getImpl();
    // Entailment tests, which truth expressions rely on, never contradict the point.
    QrcConstraintI* made = make(k, x, y, cst);
    ASSERT_FALSE(truth == 1 ? made->isFalse() : made->isTrue())
        << std::setprecision(17) << "seed " << seed << " iter " << iter << " " << cmpName(k)
        << " x [" << a << ", " << b << "] y [" << c << ", " << d << "] c " << cst << " point ("
        << px << ", " << py << ") holds " << truth;
    if (truth != 1) continue;
    // After posting, narrow both variables around the point.
    double xl = rng() % 2 ? px : a, xh = rng() % 2 ? px : b;
    double yl = rng() % 2 ? py : c, yh = rng() % 2 ? py : d;
    bool kept = true;
    std::function<void()> run = [&] {
      m->add(made);
      xi->setRange(xl, xh);
      yi->setRange(yl, yh);
      kept = xi->isInDomain(px) && yi->isInDomain(py);
    };
    bool ok = solveRestoring(m, run);
    ++sampled;
    ASSERT_TRUE(ok && kept) << std::setprecision(17) << "seed " << seed << " iter " << iter << " "
                            << cmpName(k) << " x [" << a << ", " << b << "] y [" << c << ", " << d
                            << "] c " << cst << " point (" << px << ", " << py << ")"
                            << (xi->getValueSet() ? " x set" : "")
                            << (yi->getValueSet() ? " y set" : "");
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  }
  EXPECT_GT(sampled, 15000);
}

}  // namespace
