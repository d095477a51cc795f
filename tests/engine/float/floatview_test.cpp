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

class FloatViewTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(true);
    m->setErrorReporter(&reporter);
  }
  void TearDown() override { mgr.end(); }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
  ThrowingReporter reporter;
};

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
  m->setDisplayMode(0);
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
