// Float views of integer expressions and the mixed operators.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "float_fixtures.h"
#include "qrcfail.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatview.h"
#include "qrcint.h"
#include "qrcmanager.h"

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

class FloatViewTest : public FloatManagerTest {};

TEST_F(FloatViewTest, OneViewPerIntegerExpression) {
  QrcIntVar i(mgr, 1, 5, "i");
  QrcFloatExp a(i), b(i);
  EXPECT_EQ(a.getImpl(), b.getImpl());
  EXPECT_EQ(a.getImpl()->getIntExp(), i.getImpl());
  EXPECT_EQ(a.getMin(), 1);
  EXPECT_EQ(a.getMax(), 5);
  EXPECT_STREQ(a.getName(), "i");
  QrcIntVar j(mgr, 1, 5);
  EXPECT_NE(QrcFloatExp(j).getImpl(), a.getImpl());
  std::ostringstream os;
  m->setDisplayMode(QrcPlainDisplay);
  os << QrcFloatExp(j);
  EXPECT_EQ(os.str().substr(0, 24), "(QrcIntExp2QrcFloatExpI:");
}

TEST_F(FloatViewTest, NarrowingTheViewNarrowsTheIntegers) {
  QrcIntVar i(mgr, 1, 5);
  QrcFloatExp v(i);
  std::function<void()> inner = [&] {
    v.setRange(1.5, 3.2);
    EXPECT_EQ(i.getMin(), 2);
    EXPECT_EQ(i.getMax(), 3);
    EXPECT_EQ(v.getMin(), 2);
    EXPECT_EQ(v.getMax(), 3);
  };
  EXPECT_TRUE(solveRestoring(m, inner));
  std::function<void()> outside = [&] { v.setRange(5.5, 6); };
  EXPECT_FALSE(solveRestoring(m, outside));
  std::function<void()> noInteger = [&] { v.setRange(2.2, 2.8); };
  EXPECT_FALSE(solveRestoring(m, noInteger));
  QrcIntVar big(mgr, -5, 5);
  QrcFloatExp bv(big);
  bv.setRange(-1e300, 1e300);
  EXPECT_EQ(big.getMin(), -5);
  EXPECT_THROW(bv.setRange(1e300, Inf), QrcFailException);
  // Changes of the integer variable reach the view's demons.
  QrcIntVar k(mgr, 0, 10);
  CountDemon* d = new (m) CountDemon(m);
  QrcFloatExp(k).whenRange(d);
  k.setRange(2, 8);
  EXPECT_EQ(d->runs, 1);
  EXPECT_EQ(QrcFloatExp(k).getMin(), 2);
}

TEST_F(FloatViewTest, ViewAsVariableStaysInStep) {
  QrcIntVar i(mgr, 0, 10);
  QrcFloatVar f(i.getImpl());
  EXPECT_TRUE(f.getImpl()->isVariable());
  f.setRange(2.5, 7.5);
  EXPECT_EQ(i.getMin(), 3);
  EXPECT_EQ(i.getMax(), 7);
  EXPECT_EQ(f.getMin(), 3);
  i.setRange(4, 5);
  EXPECT_EQ(f.getMax(), 5);
}

TEST_F(FloatViewTest, MixedOperators) {
  QrcIntVar i(mgr, 1, 3);
  QrcFloatVar x(mgr, 0, 1);
  QrcFloatExp s = x + i;
  EXPECT_EQ(s.getMin(), 1);
  EXPECT_EQ(s.getMax(), 4);
  QrcIntVar zero(mgr, 0, 0);
  EXPECT_EQ((x + zero).getImpl(), x.getImpl());
  EXPECT_EQ((i + 0.0).getImpl(), QrcFloatExp(i).getImpl());
  EXPECT_EQ((i + 0.5).getMin(), 1.5);
  EXPECT_EQ((i * 2.0).getMax(), 6);
  EXPECT_EQ((2.0 * i).getImpl(), (i * 2.0).getImpl());
  EXPECT_EQ((i / 2.0).getMax(), 1.5);
  EXPECT_EQ((i * x).getMax(), 3);
  EXPECT_EQ((x * i).getMax(), 3);
  EXPECT_EQ((3.0 / i).getMin(), 1);
  mgr.add((x + i) >= 3.5);
  EXPECT_EQ(i.getMin(), 3);
  EXPECT_EQ(x.getMin(), 0.5);
  QrcFloatLinearTermsI acc(m);
  QrcIntVar j(mgr, 0, 4);
  (j * 2.5 + 1.0).getImpl()->collectScaledLinearTerms(&acc, 2.0);
  EXPECT_EQ(acc.getConstant(), 2.0);
  ASSERT_NE(acc.getVariables(), nullptr);
  EXPECT_EQ(acc.getVariables()->exp, j.getImpl());
  EXPECT_EQ(acc.getVariables()->coef, 5.0);
}

}  // namespace

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>

#include <random>

#include "qroplatform.h"
#include "support/seed.h"

namespace {

// Mixed integer/float nodes narrowed around the exact value at a sampled point
// never lose the point, the integer side included.
TEST_F(FloatViewTest, MixedNodesKeepSampledPoints) {
  uint64_t seed = qrotest::seedOr(314);
  std::mt19937_64 rng(seed);
  mpfr_t v, px, py;
  mpfr_inits2(300, v, px, py, (mpfr_ptr)0);
  int sampled = 0;
  for (int iter = 0; iter < 6000; ++iter) {
    int op = iter % 7;
    QrcInt a = static_cast<QrcInt>(rng() % 21) - 10, b = a + static_cast<QrcInt>(rng() % 8);
    double c = static_cast<double>(static_cast<int>(rng() % 33) - 16) / 4.0;
    double d = c + static_cast<double>(rng() % 17) / 4.0;
    double k = static_cast<double>(static_cast<int>(rng() % 17) - 8) / 2.0;
    if (k == 0) k = 1.5;
    QrcInt xv = a + static_cast<QrcInt>(rng() % static_cast<uint64_t>(b - a + 1));
    double yv = c + (d - c) * static_cast<double>(rng() % 5) / 4.0;
    if (op == 4 && xv == 0) continue;
    QrcIntVar x(mgr, a, b);
    if (rng() % 3 == 0 && a < xv) x.getImpl()->removeValue(a);  // a hole below the point
    QrcFloatVar y(mgr, c, d);
    mpfr_set_si(px, static_cast<long>(xv), MPFR_RNDN);
    mpfr_set_d(py, yv, MPFR_RNDN);
    QrcFloatExp e;
    switch (op) {
      case 0:
        e = x + k;
        mpfr_add_d(v, px, k, MPFR_RNDN);
        break;
      case 1:
        e = x * k;
        mpfr_mul_d(v, px, k, MPFR_RNDN);
        break;
      case 2:
        e = x / k;
        mpfr_div_d(v, px, k, MPFR_RNDN);
        break;
      case 3:
        e = y + x;
        mpfr_add(v, py, px, MPFR_RNDN);
        break;
      case 4:
        e = k / x;
        mpfr_d_div(v, k, px, MPFR_RNDN);
        break;
      case 5:
        e = x * y;
        mpfr_mul(v, px, py, MPFR_RNDN);
        break;
      default:
        e = y * x;
        mpfr_mul(v, py, px, MPFR_RNDN);
        break;
    }
    double lo = mpfr_get_d(v, MPFR_RNDD), hi = mpfr_get_d(v, MPFR_RNDU);
    if (rng() % 2) lo -= static_cast<double>(rng() % 4) / 4.0;
    if (rng() % 2) hi += static_cast<double>(rng() % 4) / 4.0;
    bool kept = true;
    std::function<void()> narrow = [&] {
      e.getImpl()->setRange(lo, hi);
      kept = x.getImpl()->isInDomain(xv) && y.getMin() <= yv && yv <= y.getMax();
    };
    bool ok = solveRestoring(m, narrow);
    ASSERT_TRUE(ok && kept) << "seed " << seed << " iter " << iter << " op " << op << " x [" << a
                            << ", " << b << "] at " << xv << " y [" << c << ", " << d << "] at "
                            << yv << " k " << k << " narrowed to [" << lo << ", " << hi << "]";
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
    ++sampled;
  }
  mpfr_clears(v, px, py, (mpfr_ptr)0);
  EXPECT_GT(sampled, 5000);
}

}  // namespace
#endif
