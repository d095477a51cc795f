// Float arithmetic nodes: makers and sharing, each node's narrowing on fixed
// domains with the bounds it must reach, tree shapes of n-ary sums and
// extrema, enclosure of the bounds against MPFR, and narrowing that never
// removes a sampled exact solution.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "float_fixtures.h"
#include "mpfr_support.h"
#include "qrcfail.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatfunctions.h"
#include "qrcfloatconst.h"
#include "qrcfloatnodes.h"
#include "qrcfloatvararray.h"
#include "qrcmanager.h"
#include "qroplatform.h"
#include "support/seed.h"

#ifdef QRO_HAVE_MPFR
#include <mpfr.h>
#endif

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

class FloatNodeTest : public FloatManagerTest {
 protected:
};

TEST_F(FloatNodeTest, SumsNarrowBothOperandsAndShareNodes) {
  QrcFloatVar x = var(0, 10), y = var(0, 10);
  QrcFloatExp s = x + y;
  s.setRange(15, 20);
  EXPECT_EQ(x.getMin(), 5);
  EXPECT_EQ(x.getMax(), 10);
  EXPECT_EQ(y.getMin(), 5);
  EXPECT_EQ(y.getMax(), 10);
  EXPECT_EQ((x + 3.5).getImpl(), (3.5 + x).getImpl());
  EXPECT_NE((x + y).getImpl(), (y + x).getImpl());
  EXPECT_EQ((x + y).getImpl(), s.getImpl());
  QrcFloatExpI* zero = QrcGetFloatZero(m);
  EXPECT_EQ((x - x).getImpl(), zero);
  EXPECT_EQ((x + 0.0).getImpl(), x.getImpl());
  EXPECT_EQ((x - 0.0).getImpl(), x.getImpl());
  EXPECT_EQ((QrcFloatExp(zero) - y).getImpl(), (-y).getImpl());
  QrcFloatExp twice = x + x;
  EXPECT_EQ(twice.getImpl(), (2.0 * x).getImpl());
  EXPECT_EQ(twice.getMax(), 20);
}

TEST_F(FloatNodeTest, OffsetsOppositesAndOutwardSums) {
  QrcFloatVar x = var(1, 2), y = var(0.1, 0.2);
  QrcFloatExp s = x + y;
  EXPECT_LE(s.getMin(), 1.1);
  EXPECT_GE(s.getMax(), 2.2);
  EXPECT_LE(s.getMax(), std::nextafter(2.2, 3.0));
  QrcFloatVar z = var(-Inf, 5);
  QrcFloatExp o = -z;
  EXPECT_EQ(o.getMin(), -5);
  EXPECT_EQ(o.getMax(), Inf);
  o.setRange(1, 2);
  EXPECT_EQ(z.getMin(), -2);
  EXPECT_EQ(z.getMax(), -1);
  EXPECT_EQ((-o).getImpl() == z.getImpl(), false);
  QrcFloatVar w = var(0, 10);
  QrcFloatExp off = w - 2.5;
  off.setRange(0, 1);
  EXPECT_EQ(w.getMin(), 2.5);
  EXPECT_EQ(w.getMax(), 3.5);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST_F(FloatNodeTest, OffsetTurnedIntoVariableStaysInStep) {
  QrcFloatVar x = var(0, 10);
  QrcFloatVar v(x + 1.0);
  EXPECT_TRUE(v.getImpl()->isVariable());
  EXPECT_EQ(v.getMin(), 1);
  EXPECT_EQ(v.getMax(), 11);
  x.setRange(2, 5);
  EXPECT_EQ(v.getMin(), 3);
  EXPECT_EQ(v.getMax(), 6);
  v.setRange(4, 4.5);
  EXPECT_EQ(x.getMin(), 3);
  EXPECT_EQ(x.getMax(), 3.5);
  QrcFloatVar y = var(0, 1);
  QrcFloatVar p(x * y);
  EXPECT_EQ(p.getMax(), 3.5);
  p.setRange(2, 3);
  EXPECT_GE(y.getMin(), 2 / 3.5 * (1 - 1e-15));
  x.setRange(3, 3.2);
  EXPECT_LE(p.getMax(), 3.2);
}

TEST_F(FloatNodeTest, UndefinedQuotientVariableFailsOnlyInItsBranch) {
  QrcFloatVar x = var(1, 2), y = var(0, 1);
  QrcFloatVar q(x / y);
  EXPECT_EQ(q.getMin(), 1);
  std::function<void()> zero = [&] { y.setRange(0, 0); };
  EXPECT_FALSE(solveRestoring(m, zero));
  q.setRange(1, 4);
  EXPECT_GE(y.getMin(), 0.25);
  EXPECT_LE(y.getMin(), 0.25);
}

TEST_F(FloatNodeTest, ConstantProductsAndQuotients) {
  QrcFloatVar x = var(1, 2);
  EXPECT_EQ((3.0 * x).getMin(), 3);
  EXPECT_EQ((3.0 * x).getMax(), 6);
  EXPECT_EQ((2.5 * var(-Inf, 4)).getMin(), -Inf);
  QrcFloatVar y = var(1, 3);
  QrcFloatExp n = -2.0 * y;
  EXPECT_EQ(n.getMin(), -6);
  EXPECT_EQ(n.getMax(), -2);
  n.setRange(-4, 0);
  EXPECT_EQ(y.getMin(), 1);
  EXPECT_EQ(y.getMax(), 2);
  QrcFloatExp q = x / 4.0;
  EXPECT_EQ(q.getMin(), 0.25);
  EXPECT_EQ(q.getMax(), 0.5);
  q.setRange(0.3, 1);
  EXPECT_LE(x.getMin(), 1.2);
  EXPECT_GE(x.getMin(), std::nextafter(1.2, 0.0));
  QrcFloatExp byZero = var(1, 2) / 0.0;
  EXPECT_EQ(byZero.getMin(), -Inf);
  EXPECT_TRUE(byZero.getImpl()->isUndefined());
  QrcFloatVar around = var(-1, 2);
  EXPECT_FALSE((around / 0.0).getImpl()->isUndefined());
  (around / 0.0).setRange(5, 6);
  EXPECT_EQ(around.getMin(), 0);
  EXPECT_EQ(around.getMax(), 0);
  EXPECT_EQ((1.0 * x).getImpl(), x.getImpl());
  EXPECT_EQ((0.0 * x).getImpl(), QrcGetFloatZero(m));
  EXPECT_EQ((-1.0 * x).getImpl(), (-x).getImpl());
  EXPECT_EQ((x / 1.0).getImpl(), x.getImpl());
  EXPECT_EQ((x / -1.0).getImpl(), (-x).getImpl());
  EXPECT_EQ((2.0 * x).getImpl(), (x * 2.0).getImpl());
  // A factor of exactly 0 times an infinity counts as 0.
  QrcFloatVar half = var(0, Inf);
  EXPECT_EQ((3.0 * half).getMin(), 0);
  QrcFloatLinearTermsI acc(m);
  try {
    makeFloatCstDiv(x.getImpl(), 0.0)->collectScaledLinearTerms(&acc, 1.0);
    FAIL() << "no error";
  } catch (const ReportedError& e) {
    EXPECT_EQ(e.code, QrcDivideByZeroError);
  }
}

TEST_F(FloatNodeTest, ProductsAndQuotientsOfTwoExpressions) {
  QrcFloatExp p = var(-2, 3) * var(-1, 4);
  EXPECT_EQ(p.getMin(), -8);
  EXPECT_EQ(p.getMax(), 12);
  EXPECT_EQ(makeFloatMul(var(0, 0).getImpl(), var(-Inf, Inf).getImpl())->getMax(), 0);
  QrcFloatExp r = var(1, 2) * var(-Inf, 3);
  EXPECT_EQ(r.getMin(), -Inf);
  EXPECT_EQ(r.getMax(), 6);
  QrcFloatVar x = var(0, 10), y = var(1, 2);
  (x * y).setRange(1, 4);
  EXPECT_EQ(x.getMin(), 0.5);
  EXPECT_EQ(x.getMax(), 4);
  QrcFloatVar x2 = var(0, 10), y2 = var(-1, 1);
  (x2 * y2).setRange(1, 4);
  EXPECT_EQ(x2.getMin(), 0);
  EXPECT_EQ(x2.getMax(), 10);
  QrcFloatExp d = var(1, 2) / var(0, 2);
  EXPECT_EQ(d.getMin(), 0.5);
  EXPECT_EQ(d.getMax(), Inf);
  QrcFloatExp whole = var(1, 2) / var(-1, 2);
  EXPECT_EQ(whole.getMin(), -Inf);
  EXPECT_EQ(whole.getMax(), Inf);
  QrcFloatExpI* undefined = makeFloatDiv(var(1, 2).getImpl(), var(0, 0).getImpl());
  EXPECT_EQ(undefined->getMax(), Inf);
  EXPECT_TRUE(undefined->isUndefined());
  QrcFloatVar num = var(2, 4), den = var(0.5, 10);
  (num / den).setRange(1, 2);
  EXPECT_LE(den.getMin(), 1);
  EXPECT_GE(den.getMax(), 4);
  EXPECT_LE(den.getMax(), std::nextafter(4.0, 5.0));
  EXPECT_EQ(num.getMin(), 2);
  EXPECT_EQ(num.getMax(), 4);
  QrcFloatVar inv = var(-1, 0.05);
  (1.0 / inv).setRange(-10, 10);
  EXPECT_EQ(inv.getMin(), -1);
  EXPECT_GE(inv.getMax(), -0.1);
  EXPECT_LE(inv.getMax(), std::nextafter(-0.1, 0.0));
  QrcFloatVar z = var(1, 2);
  QrcFloatExp self = z / z;
  EXPECT_TRUE(self.getImpl()->isVariable());
  EXPECT_EQ(self.getMin(), 1);
  EXPECT_EQ((0.0 / z).getMax(), 0);
  EXPECT_TRUE((0.0 / z).getImpl()->isVariable());
  EXPECT_EQ((z * z).getImpl(), QrcSquare(z).getImpl());
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST_F(FloatNodeTest, SquaresAbsoluteValuesMinimaAndMaxima) {
  QrcFloatExp s = QrcSquare(var(-3, 2));
  EXPECT_EQ(s.getMin(), 0);
  EXPECT_EQ(s.getMax(), 9);
  QrcFloatExp t = QrcSquare(var(-3, -2));
  EXPECT_EQ(t.getMin(), 4);
  EXPECT_EQ(t.getMax(), 9);
  QrcFloatVar x = var(-5, 5);
  QrcSquare(x).setRange(4, 9);
  EXPECT_LE(x.getMax(), 3 * 1.00000000001 * (1 + 1e-15));
  EXPECT_GE(x.getMax(), 3);
  EXPECT_EQ(x.getMax(), -x.getMin());
  QrcFloatVar y = var(1, 5);
  QrcSquare(y).setRange(4, 9);
  EXPECT_LE(y.getMin(), 2);
  EXPECT_GE(y.getMin(), 2 * 0.99999999999 * (1 - 1e-15));
  QrcFloatExp a = QrcAbs(var(-3, 2));
  EXPECT_EQ(a.getMin(), 0);
  EXPECT_EQ(a.getMax(), 3);
  QrcFloatVar u = var(0.5, 5);
  EXPECT_EQ(QrcAbs(u).getImpl(), u.getImpl());
  QrcFloatVar v = var(-1, 5);
  QrcAbs(v).setRange(1, 2);
  EXPECT_EQ(v.getMin(), -1);
  EXPECT_EQ(v.getMax(), 2);
  EXPECT_EQ(QrcMax(var(1, 3), 5.0).getMin(), 5);
  QrcFloatVar w = var(1, 10);
  std::function<void()> high = [&] {
    QrcMax(w, 5.0).setRange(6, 7);
    EXPECT_EQ(w.getMin(), 6);
    EXPECT_EQ(w.getMax(), 7);
  };
  EXPECT_TRUE(solveRestoring(m, high));
  QrcMax(w, 5.0).setRange(5, 6);
  EXPECT_EQ(w.getMin(), 1);
  EXPECT_EQ(w.getMax(), 6);
  QrcFloatVar p = var(0, 1), q = var(2, 10);
  QrcMax(p, q).setRange(3, 4);
  EXPECT_EQ(p.getMax(), 1);
  EXPECT_EQ(q.getMin(), 3);
  EXPECT_EQ(q.getMax(), 4);
}

TEST_F(FloatNodeTest, TreesOfSumsAndExtrema) {
  QrcFloatExpI* terms[61];
  for (int i = 0; i < 61; ++i) terms[i] = var(i, i + 1).getImpl();
  QrcFloatExp s30 = QrcSum(m, 30, terms);
  ASSERT_NE(dynamic_cast<QrcFloatArraySumI*>(s30.getImpl()), nullptr);
  EXPECT_EQ(static_cast<QrcFloatArraySumI*>(s30.getImpl())->getSize(), 30);
  QrcFloatExp s31 = QrcSum(m, 31, terms);
  QrcFloatAddI* add = dynamic_cast<QrcFloatAddI*>(s31.getImpl());
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(static_cast<QrcFloatArraySumI*>(add->getX())->getSize(), 30);
  EXPECT_EQ(static_cast<QrcFloatArraySumI*>(add->getY())->getSize(), 1);
  EXPECT_EQ(s31.getMin(), 465);
  EXPECT_EQ(s31.getMax(), 496);
  QrcFloatArraySumI* s61 = dynamic_cast<QrcFloatArraySumI*>(QrcSum(m, 61, terms).getImpl());
  ASSERT_NE(s61, nullptr);
  EXPECT_EQ(s61->getSize(), 3);
  EXPECT_EQ(QrcSum(m, 0, terms).getMin(), 0);
  QrcFloatExp m45 = QrcMax(m, 45, terms);
  QrcArrayFloatExtremumI* top = dynamic_cast<QrcArrayFloatExtremumI*>(m45.getImpl());
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(top->getSize(), 3);
  EXPECT_EQ(static_cast<QrcArrayFloatExtremumI*>(top->getElement(0))->getSize(), 20);
  EXPECT_EQ(static_cast<QrcArrayFloatExtremumI*>(top->getElement(1))->getSize(), 20);
  EXPECT_EQ(static_cast<QrcArrayFloatExtremumI*>(top->getElement(2))->getSize(), 5);
  EXPECT_EQ(m45.getMin(), 44);
  EXPECT_EQ(m45.getMax(), 45);
  EXPECT_NE(dynamic_cast<QrcFloatMaxI*>(QrcMax(m, 21, terms).getImpl()), nullptr);
  EXPECT_EQ(QrcMin(m, 45, terms).getMin(), 0);
}

TEST_F(FloatNodeTest, ArraySumNarrowing) {
  QrcFloatVar x = var(0, 0.5), y = var(2, 10);
  QrcFloatVarArray arr(mgr, 2);
  arr.set(0, x);
  arr.set(1, y);
  QrcFloatExpI* terms[3] = {x.getImpl(), y.getImpl(), var(0, 0).getImpl()};
  QrcFloatExpI* sum = new (m) QrcFloatArraySumI(m, 3, terms);
  EXPECT_EQ(sum->getMin(), 2);
  EXPECT_EQ(sum->getMax(), 10.5);
  sum->setRange(3, 4);
  EXPECT_EQ(x.getMin(), 0);
  EXPECT_EQ(x.getMax(), 0.5);
  EXPECT_EQ(y.getMin(), 2.5);
  EXPECT_EQ(y.getMax(), 4);
  QrcFloatVar open = var(-Inf, 1), other = var(0, 2);
  QrcFloatExpI* t2[3] = {open.getImpl(), other.getImpl(), var(0, 0).getImpl()};
  QrcFloatExpI* s2 = new (m) QrcFloatArraySumI(m, 3, t2);
  s2->setRange(-Inf, 0);
  EXPECT_EQ(open.getMax(), 0);
  EXPECT_EQ(other.getMin(), 0);
  EXPECT_EQ(other.getMax(), 2);
  // After a failed narrowing the queue still propagates.
  std::function<void()> bad = [&] { sum->setRange(100, 200); };
  EXPECT_FALSE(solveRestoring(m, bad));
  EXPECT_THROW(sum->setRange(100, 200), QrcFailException);
  CountDemon* d = new (m) CountDemon(m);
  x.whenRange(d);
  x.setRange(0.1, 0.4);
  EXPECT_EQ(d->runs, 1);
  EXPECT_FALSE(m->isArrayLocked());
  // QrcSum over an array copies the elements.
  QrcFloatExp viaArray = QrcSum(arr);
  EXPECT_LE(viaArray.getMin(), 2.6);
  EXPECT_GE(viaArray.getMin(), std::nextafter(2.6, 0.0));
  std::ostringstream os;
  arr.getImpl()->display(os);
  EXPECT_EQ(os.str().substr(0, 18), "QrcFloatVarArrayI[");
}

// Narrows an array sum under a fail trap, as a reified constraint does.
class TrappedSumCt : public QrcConstraintI {
 public:
  TrappedSumCt(QrcManagerI* m, QrcFloatExpI* sum, QrcFloat a, QrcFloat b)
      : QrcConstraintI(m), _sum(sum), _a(a), _b(b) {}
  void post() override {}
  void propagate() override {
    Trap trap(_manager, this);
    caught = !trap.run();
  }
  bool caught = false;

 private:
  class Trap : public QrcTryCatchFailI {
   public:
    Trap(QrcManagerI* m, TrappedSumCt* ct) : QrcTryCatchFailI(m, ct) {}
    void body() override {
      TrappedSumCt* ct = static_cast<TrappedSumCt*>(_owner);
      ct->_sum->setRange(ct->_a, ct->_b);
    }
    void onFail(QrcManagerI*) override {}
  };
  QrcFloatExpI* _sum;
  QrcFloat _a, _b;
};

TEST_F(FloatNodeTest, ArraySumFailingUnderATrapKeepsThePropagationGoing) {
  for (bool exceptions : {true, false}) {
    m->useExceptions(exceptions);
    // The first term cannot take a value in [0.1, 0.6]: it fails while the
    // terms are being narrowed.
    QrcFloatArray values(mgr, 2);
    values[0] = 0;
    values[1] = 1;
    QrcFloatVar x0(mgr, values), x1 = var(0, 0.2), x2 = var(0, 0.2), y = var(0, 5);
    QrcFloatExpI* terms[3] = {x0.getImpl(), x1.getImpl(), x2.getImpl()};
    QrcFloatExpI* sum = new (m) QrcFloatArraySumI(m, 3, terms);
    TrappedSumCt* ct = new (m) TrappedSumCt(m, sum, 0.5, 0.6);
    CountDemon* d = new (m) CountDemon(m);
    y.whenRange(d);
    QrcInt before = -1, after = -2;
    std::function<void()> run = [&] {
      before = m->getPropagationQueue()->getNesting();
      m->add(ct);
      after = m->getPropagationQueue()->getNesting();
      y.setRange(0, 1);
    };
    EXPECT_TRUE(solveRestoring(m, run));
    EXPECT_TRUE(ct->caught) << exceptions;
    EXPECT_EQ(before, after) << exceptions;
    EXPECT_EQ(d->runs, 1) << exceptions;
  }
}

// The makers copy the caller's array: a temporary array may go away.
TEST_F(FloatNodeTest, SumsAndExtremaOutliveTheCallersArray) {
  QrcFloatVar x = var(0, 1), y = var(0, 2), z = var(0, 4);
  QrcFloatExp sum, max, min, wide;
  {
    std::vector<QrcFloatExpI*> terms = {x.getImpl(), y.getImpl(), z.getImpl()};
    sum = QrcSum(m, 3, terms.data());
    max = QrcMax(m, 3, terms.data());
    min = QrcMin(m, 3, terms.data());
    std::vector<QrcFloatExpI*> many(45, y.getImpl());
    many[44] = z.getImpl();
    wide = QrcSum(m, 45, many.data());
    for (auto& t : terms) t = nullptr;
    for (auto& t : many) t = nullptr;
  }
  EXPECT_EQ(sum.getMax(), 7);
  EXPECT_EQ(max.getMax(), 4);
  EXPECT_EQ(min.getMax(), 1);
  EXPECT_EQ(wide.getMax(), 92);
  QrcFloat zMin = 0, zMax = 0;
  std::function<void()> narrow = [&] {
    sum.getImpl()->setRange(6.5, 7);
    max.getImpl()->setRange(0, 3.75);
    zMin = z.getMin();
    zMax = z.getMax();
  };
  EXPECT_TRUE(solveRestoring(m, narrow));
  EXPECT_EQ(zMin, 3.5);
  EXPECT_EQ(zMax, 3.75);
  EXPECT_EQ(max.getMax(), 4);  // state restored
}

TEST_F(FloatNodeTest, ArraysOfVariables) {
  QrcFloatVar x(mgr, 1, 2, "x");
  QrcFloatVarArray arr(mgr, 3, x);
  EXPECT_EQ(arr[0].getImpl(), x.getImpl());
  EXPECT_NE(arr[1].getImpl(), x.getImpl());
  EXPECT_NE(arr[1].getImpl(), arr[2].getImpl());
  EXPECT_EQ(arr[2].getMax(), 2);
  arr[1].setRange(1.5, 2);
  EXPECT_EQ(x.getMin(), 1);
}

TEST(FloatNodeDeathTest, NegativeArraySizeIsReported) {
  EXPECT_DEATH(
      {
        QrcManager mgr(QrcNoEdit);
        QrcFloatVarArray a(mgr, -1);
      },
      "Solver Error : QrcFloatVarArrayI : bad array size : -1");
}

TEST_F(FloatNodeTest, DisplayOfNodes) {
  m->setDisplayMode(0);
  QrcFloatVar x(mgr, 0, 1, "x"), y(mgr, 0, 1, "y");
  std::ostringstream os;
  os << (x + y) << " " << (x - y) << " " << (-x) << " " << (x + 2.0) << " " << (3.0 * x) << " "
     << (x / 4.0) << " " << (x * y) << " " << (x / y) << " " << (2.0 / x) << " " << QrcSquare(x)
     << " " << QrcMax(x, 1.0) << " " << QrcMin(x, y);
  EXPECT_EQ(
      os.str(),
      "(x[0..1] + y[0..1]) (x[0..1] - y[0..1]) ( - x[0..1]) (2 + x[0..1]) (3 * x[0..1]) (x[0..1] / "
      "4) "
      "(x[0..1] * y[0..1]) (x[0..1] / y[0..1]) (2 / x[0..1]) QrcSquare(x[0..1]) QrcMax(x[0..1], 1) "
      "QrcMin(x[0..1], y[0..1])");
}

TEST_F(FloatNodeTest, DerivativesOfNodes) {
  QrcFloatVar x(mgr, 1, 2), y(mgr, 3, 4);
  QrcFloatExpI* d = QrcSquare(x).getImpl()->getDerivative(x.getImpl());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->getMin(), 2);
  EXPECT_EQ(d->getMax(), 4);
  QrcFloatExpI* dp = (x * y).getImpl()->getDerivative(x.getImpl());
  EXPECT_EQ(dp->getMin(), 3);
  EXPECT_EQ((x + 5.0).getImpl()->getDerivative(y.getImpl()), nullptr);
  QrcFloatExpI* ds = (x - y).getImpl()->getDerivative(y.getImpl());
  EXPECT_EQ(ds->getMin(), -1);
}

TEST_F(FloatNodeTest, QuotientsHaveNoDerivative) {
  QrcFloatVar x(mgr, 1, 2), y(mgr, 3, 4);
  try {
    (x / y).getImpl()->getDerivative(x.getImpl());
    FAIL() << "no error";
  } catch (const ReportedError& e) {
    EXPECT_EQ(e.code, QrcInternalError);
  }
}

TEST_F(FloatNodeTest, NegativeCountsAreBadArraySizes) {
  QrcFloatExpI* none[] = {nullptr};
  for (int maker = 0; maker < 3; ++maker) {
    try {
      if (maker == 0) QrcSum(m, -1, none);
      if (maker == 1) QrcMax(m, -2, none);
      if (maker == 2) QrcMin(m, -3, none);
      FAIL() << "no error from maker " << maker;
    } catch (const ReportedError& e) {
      EXPECT_EQ(e.code, QrcBadArraySizeError);
    }
  }
}

TEST_F(FloatNodeTest, NodesCopyIntoAnotherManager) {
  QrcManager other(QrcNoEdit);
  QrcFloatVar x(mgr, 1, 2), y(mgr, 3, 4);
  QrcFloatExp e = QrcSquare(x * y + 1.0) - x / 2.0;
  QrcFloatExpI* c = static_cast<QrcFloatExpI*>(e.getImpl()->getCopyForManager(other.getImpl()));
  EXPECT_EQ(c->getManager(), other.getImpl());
  EXPECT_EQ(c->getMin(), e.getMin());
  EXPECT_EQ(c->getMax(), e.getMax());
  c->setRange(-Inf, 20);
  EXPECT_EQ(x.getMax(), 2);
  other.end();
}

#ifdef QRO_HAVE_MPFR

// ---------------------------------------------------------------- enclosure against MPFR

enum Op {
  Add,
  Sub,
  Opp,
  CstAdd,
  CstMul,
  CstDiv,
  Mul,
  Div,
  KDiv,
  Square,
  Abs,
  Min,
  Max,
  CstMax,
  Ops
};

const char* opName(int op) {
  static const char* names[] = {"add", "sub",  "opp",    "cstadd", "cstmul", "cstdiv", "mul",
                                "div", "kdiv", "square", "abs",    "min",    "max",    "cstmax"};
  return names[op];
}

class Mpfr {
 public:
  Mpfr() {
    _oldMin = mpfr_get_emin();
    _oldMax = mpfr_get_emax();
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_inits2(53, _x, _y, _r, (mpfr_ptr)0);
  }
  ~Mpfr() {
    mpfr_clears(_x, _y, _r, (mpfr_ptr)0);
    mpfr_set_emin(_oldMin);
    mpfr_set_emax(_oldMax);
  }
  // a op b correctly rounded down or up; a zero factor times anything is 0.
  double apply(char op, double a, double b, bool up) {
    mpfr_rnd_t rnd = up ? MPFR_RNDU : MPFR_RNDD;
    if (op == '*' && (a == 0 || b == 0)) return 0.0;
    mpfr_set_d(_x, a, MPFR_RNDN);
    mpfr_set_d(_y, b, MPFR_RNDN);
    int t = 0;
    switch (op) {
      case '+':
        t = mpfr_add(_r, _x, _y, rnd);
        break;
      case '-':
        t = mpfr_sub(_r, _x, _y, rnd);
        break;
      case '*':
        t = mpfr_mul(_r, _x, _y, rnd);
        break;
      default:
        t = mpfr_div(_r, _x, _y, rnd);
        break;
    }
    t = mpfr_check_range(_r, t, rnd);
    mpfr_subnormalize(_r, t, rnd);
    return mpfr_get_d(_r, rnd);
  }
  // The tight outward hull of a op b over the corners of two intervals.
  void corners(char op, double a, double b, double c, double d, double& lo, double& hi) {
    double xs[2] = {a, b}, ys[2] = {c, d};
    lo = Inf;
    hi = -Inf;
    for (double p : xs)
      for (double q : ys) {
        double l = apply(op, p, q, false), h = apply(op, p, q, true);
        if (l < lo) lo = l;
        if (h > hi) hi = h;
      }
  }

 private:
  mpfr_exp_t _oldMin, _oldMax;
  mpfr_t _x, _y, _r;
};

// A random interval: adversarial bounds, sometimes around or at zero, and with
// infinite bounds when allowed.
void randomInterval(std::mt19937_64& rng, bool infinite, double& a, double& b) {
  a = floattest::adversarialDouble(rng);
  b = floattest::adversarialDouble(rng);
  if (rng() % 4 == 0) b = a * (1 + std::ldexp(1.0, -static_cast<int>(rng() % 50)));
  if (a > b) std::swap(a, b);
  switch (rng() % 10) {
    case 0:
      a = 0;
      if (b < 0) b = -b;
      break;
    case 1:
      b = 0;
      if (a > 0) a = -a;
      break;
    case 2:
      if (a > 0) a = -a;
      if (b < 0) b = -b;
      break;
    default:
      break;
  }
  if (infinite && rng() % 8 == 0) a = -Inf;
  if (infinite && rng() % 8 == 0) b = Inf;
  if (a == 0) a = 0.0;
  if (b == 0) b = 0.0;
}

TEST_F(FloatNodeTest, BoundsEncloseTheExactResultAndAreTight) {
  uint64_t seed = qrotest::seedOr(4242);
  std::mt19937_64 rng(seed);
  Mpfr mp;
  int checked = 0;
  for (int iter = 0; iter < 40000; ++iter) {
    int op = iter % Ops;
    bool finite = op == Div || op == KDiv || op == CstDiv;
    double a, b, c, d;
    randomInterval(rng, !finite, a, b);
    randomInterval(rng, !finite, c, d);
    double k = floattest::adversarialDouble(rng);
    if (k == 0 && (op == CstMul || op == CstDiv)) k = 1.5;
    QrcFloatExpI* x = var(a, b).getImpl();
    QrcFloatExpI* y = var(c, d).getImpl();
    QrcFloatExpI* node = nullptr;
    double lo = 0, hi = 0;
    bool tight = true;
    switch (op) {
      case Add:
        node = makeFloatAdd(x, y);
        lo = mp.apply('+', a, c, false);
        hi = mp.apply('+', b, d, true);
        break;
      case Sub:
        node = makeFloatSub(x, y);
        lo = mp.apply('-', a, d, false);
        hi = mp.apply('-', b, c, true);
        break;
      case Opp:
        node = makeFloatOpp(x);
        lo = -b;
        hi = -a;
        break;
      case CstAdd:
        node = makeFloatCstAdd(x, k);
        lo = mp.apply('+', a, k, false);
        hi = mp.apply('+', b, k, true);
        break;
      case CstMul:
        node = makeCstFloatMul(k, x);
        mp.corners('*', a, b, k, k, lo, hi);
        break;
      case CstDiv:
        node = makeFloatCstDiv(x, k);
        mp.corners('/', a, b, k, k, lo, hi);
        break;
      case Mul:
        node = makeFloatMul(x, y);
        mp.corners('*', a, b, c, d, lo, hi);
        break;
      case Div:
        if (c <= 0 && d >= 0) continue;
        node = makeFloatDiv(x, y);
        mp.corners('/', a, b, c, d, lo, hi);
        break;
      case KDiv:
        if (a <= 0 && b >= 0) continue;
        node = makeCstFloatDiv(k, x);
        mp.corners('/', k, k, a, b, lo, hi);
        break;
      case Square: {
        node = makeFloatSquare(x);
        double l1 = mp.apply('*', a, a, false), l2 = mp.apply('*', b, b, false);
        double h1 = mp.apply('*', a, a, true), h2 = mp.apply('*', b, b, true);
        lo = (a <= 0 && b >= 0) ? 0.0 : std::min(l1, l2);
        hi = std::max(h1, h2);
        break;
      }
      case Abs:
        node = new (m) QrcFloatAbsI(0.0, x);
        lo = (a <= 0 && b >= 0) ? 0.0 : std::min(std::fabs(a), std::fabs(b));
        hi = std::max(std::fabs(a), std::fabs(b));
        break;
      case Min:
        node = makeFloatMin(x, y);
        lo = std::min(a, c);
        hi = std::min(b, d);
        break;
      case Max:
        node = makeFloatMax(x, y);
        lo = std::max(a, c);
        hi = std::max(b, d);
        break;
      default:
        node = makeFloatCstMax(x, k);
        lo = std::max(a, k);
        hi = std::max(b, k);
        break;
    }
    ++checked;
    double gotLo = node->getMin(), gotHi = node->getMax();
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
    ASSERT_LE(gotLo, lo) << "seed " << seed << " " << opName(op) << " [" << a << ", " << b << "] ["
                         << c << ", " << d << "] k " << k;
    ASSERT_GE(gotHi, hi) << "seed " << seed << " " << opName(op) << " [" << a << ", " << b << "] ["
                         << c << ", " << d << "] k " << k;
    if (tight) {
      ASSERT_EQ(gotLo, lo) << "seed " << seed << " " << opName(op) << " [" << a << ", " << b
                           << "] [" << c << ", " << d << "] k " << k;
      ASSERT_EQ(gotHi, hi) << "seed " << seed << " " << opName(op) << " [" << a << ", " << b
                           << "] [" << c << ", " << d << "] k " << k;
    }
  }
  EXPECT_GT(checked, 35000);
}

// ---------------------------------------------------------------- no sampled solution is removed

// Exact value of op at a point, with MPFR at high precision; false when undefined.
bool exactValue(int op, double px, double py, double k, mpfr_t out) {
  mpfr_t x, y;
  mpfr_inits2(2200, x, y, (mpfr_ptr)0);
  mpfr_set_d(x, px, MPFR_RNDN);
  mpfr_set_d(y, py, MPFR_RNDN);
  bool ok = true;
  switch (op) {
    case Add:
      mpfr_add(out, x, y, MPFR_RNDN);
      break;
    case Sub:
      mpfr_sub(out, x, y, MPFR_RNDN);
      break;
    case Opp:
      mpfr_neg(out, x, MPFR_RNDN);
      break;
    case CstAdd:
      mpfr_add_d(out, x, k, MPFR_RNDN);
      break;
    case CstMul:
      mpfr_mul_d(out, x, k, MPFR_RNDN);
      break;
    case CstDiv:
      mpfr_div_d(out, x, k, MPFR_RNDN);
      break;
    case Mul:
      mpfr_mul(out, x, y, MPFR_RNDN);
      break;
    case Div:
      ok = py != 0;
      if (ok) mpfr_div(out, x, y, MPFR_RNDN);
      break;
    case KDiv:
      ok = px != 0;
      if (ok) mpfr_d_div(out, k, x, MPFR_RNDN);
      break;
    case Square:
      mpfr_sqr(out, x, MPFR_RNDN);
      break;
    case Abs:
      mpfr_abs(out, x, MPFR_RNDN);
      break;
    case Min:
      mpfr_min(out, x, y, MPFR_RNDN);
      break;
    case Max:
      mpfr_max(out, x, y, MPFR_RNDN);
      break;
    default:
      mpfr_max(out, x, y, MPFR_RNDN);
      mpfr_set_d(y, k, MPFR_RNDN);
      mpfr_max(out, x, y, MPFR_RNDN);
      break;
  }
  mpfr_clears(x, y, (mpfr_ptr)0);
  return ok;
}

double samplePoint(std::mt19937_64& rng, double a, double b) {
  switch (rng() % 4) {
    case 0:
      return a;
    case 1:
      return b;
    default:
      return a + (b - a) * static_cast<double>(rng() % 1025) / 1024.0;
  }
}

double smallDyadic(std::mt19937_64& rng) {
  return static_cast<double>(static_cast<int>(rng() % 129) - 64) / 8.0;
}

// A finite point of [a, b]: a bound, an adversarial value inside, or a
// point between the bounds.
double widePoint(std::mt19937_64& rng, double a, double b) {
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
        p = a + (b - a) * static_cast<double>(rng() % 1025) / 1024.0;
        break;
    }
    if (std::isfinite(p) && a <= p && p <= b) return p;
  }
  return std::isfinite(a) ? a : std::isfinite(b) ? b : 0.0;
}

QrcFloatVar valueSet(QrcManagerI* m, double a, double p, double b) {
  QrcFloatArray values(QrcManager(m), 3);
  values[0] = std::isfinite(a) ? a : p;
  values[1] = p;
  values[2] = std::isfinite(b) ? b : p;
  return QrcFloatVar(QrcManager(m), values);
}

// Narrows random nodes to random intervals holding the exact value at a sampled
// point; the point must stay in the operands' domains. Small dyadic domains,
// or adversarial ones (infinite bounds, subnormals, values near DBL_MAX).
void checkSampledSolutions(QrcManagerI* m, const std::function<QrcFloatVar(double, double)>& var,
                           uint64_t seed, int iterations, bool adversarial) {
  std::mt19937_64 rng(seed);
  mpfr_t v;
  mpfr_init2(v, 2200);
  int sampled = 0;
  for (int iter = 0; iter < iterations; ++iter) {
    int op = iter % Ops;
    double a, b, c, d, k, px, py;
    if (adversarial) {
      randomInterval(rng, true, a, b);
      randomInterval(rng, true, c, d);
      k = floattest::adversarialDouble(rng);
      if (k == 0 && (op == CstMul || op == CstDiv || op == KDiv)) k = -0.75;
      px = widePoint(rng, a, b);
      py = widePoint(rng, c, d);
    } else {
      a = smallDyadic(rng), b = smallDyadic(rng), c = smallDyadic(rng), d = smallDyadic(rng);
      if (a > b) std::swap(a, b);
      if (c > d) std::swap(c, d);
      if (rng() % 6 == 0) b = a;
      k = smallDyadic(rng);
      if (k == 0 && (op == CstMul || op == CstDiv || op == KDiv)) k = -0.75;
      px = samplePoint(rng, a, b), py = samplePoint(rng, c, d);
    }
    if (!exactValue(op, px, py, k, v)) continue;
    // A target interval holding the exact value: tight or wider, sometimes open.
    double vl = mpfr_get_d(v, MPFR_RNDD), vh = mpfr_get_d(v, MPFR_RNDU);
    double lo = vl - static_cast<double>(rng() % 3) * std::ldexp(1.0, -static_cast<int>(rng() % 8));
    double hi = vh + static_cast<double>(rng() % 3) * std::ldexp(1.0, -static_cast<int>(rng() % 8));
    if (rng() % 8 == 0) lo = -Inf;
    if (rng() % 8 == 0) hi = Inf;
    QrcFloatVar x = var(a, b), y = var(c, d);
    if (adversarial && rng() % 4 == 0) {
      // Value sets holding the points and the finite bounds.
      x = valueSet(m, a, px, b);
      y = valueSet(m, c, py, d);
    }
    QrcFloatExpI* xi = x.getImpl();
    QrcFloatExpI* yi = y.getImpl();
    QrcFloatExpI* node = nullptr;
    switch (op) {
      case Add:
        node = makeFloatAdd(xi, yi);
        break;
      case Sub:
        node = makeFloatSub(xi, yi);
        break;
      case Opp:
        node = makeFloatOpp(xi);
        break;
      case CstAdd:
        node = makeFloatCstAdd(xi, k);
        break;
      case CstMul:
        node = makeCstFloatMul(k, xi);
        break;
      case CstDiv:
        node = makeFloatCstDiv(xi, k);
        break;
      case Mul:
        node = makeFloatMul(xi, yi);
        break;
      case Div:
        node = makeFloatDiv(xi, yi);
        break;
      case KDiv:
        node = makeCstFloatDiv(k, xi);
        break;
      case Square:
        node = makeFloatSquare(xi);
        break;
      case Abs:
        node = new (m) QrcFloatAbsI(0.0, xi);
        break;
      case Min:
        node = makeFloatMin(xi, yi);
        break;
      case Max:
        node = makeFloatMax(xi, yi);
        break;
      default:
        node = makeFloatCstMax(xi, k);
        break;
    }
    bool xIn = true, yIn = true;
    std::function<void()> narrow = [&] {
      node->setRange(lo, hi);
      xIn = xi->isInDomain(px);
      yIn = yi->isInDomain(py);
    };
    bool ok = solveRestoring(m, narrow);
    ++sampled;
    ASSERT_TRUE(ok && xIn && yIn) << std::hexfloat << "seed " << seed << " iter " << iter << " "
                                  << opName(op) << " x [" << a << ", " << b << "] y [" << c << ", "
                                  << d << "] k " << k << " point (" << px << ", " << py
                                  << ") narrowed to [" << lo << ", " << hi << "]";
    ASSERT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
  }
  mpfr_clear(v);
  EXPECT_GT(sampled, iterations * 4 / 5);
}

TEST_F(FloatNodeTest, NarrowingNeverRemovesASampledSolution) {
  checkSampledSolutions(
      m, [this](double a, double b) { return var(a, b); }, qrotest::seedOr(777), 30000, false);
}

TEST_F(FloatNodeTest, NarrowingOverAdversarialDomainsNeverRemovesASampledSolution) {
  checkSampledSolutions(
      m, [this](double a, double b) { return var(a, b); }, qrotest::seedOr(778), 30000, true);
}

// A random expression tree over three variables, built in the engine and
// evaluated exactly at a point; false when undefined at the point.
bool randomTree(std::mt19937_64& rng, int depth, QrcFloatExpI** vars, const double* point,
                QrcFloatExp& out, mpfr_t value) {
  int op = depth == 0 ? 0 : static_cast<int>(rng() % 12);
  if (op == 0) {
    int i = static_cast<int>(rng() % 3);
    out = vars[i];
    mpfr_set_d(value, point[i], MPFR_RNDN);
    return true;
  }
  QrcFloatExp a, b;
  mpfr_t va, vb;
  mpfr_inits2(4000, va, vb, (mpfr_ptr)0);
  bool ok = randomTree(rng, depth - 1, vars, point, a, va) &&
            randomTree(rng, depth - 1, vars, point, b, vb);
  double c = static_cast<double>(static_cast<int>(rng() % 17) - 8) / 4.0;
  if (ok) {
    switch (op) {
      case 1:
        out = a + b;
        mpfr_add(value, va, vb, MPFR_RNDN);
        break;
      case 2:
        out = a - b;
        mpfr_sub(value, va, vb, MPFR_RNDN);
        break;
      case 3:
        out = a * b;
        mpfr_mul(value, va, vb, MPFR_RNDN);
        break;
      case 4:
        ok = mpfr_zero_p(vb) == 0;
        out = a / b;
        if (ok) mpfr_div(value, va, vb, MPFR_RNDN);
        break;
      case 5:
        out = QrcSquare(a);
        mpfr_sqr(value, va, MPFR_RNDN);
        break;
      case 6:
        out = QrcAbs(a);
        mpfr_abs(value, va, MPFR_RNDN);
        break;
      case 7:
        out = c * a;
        mpfr_mul_d(value, va, c, MPFR_RNDN);
        break;
      case 8:
        out = a + c;
        mpfr_add_d(value, va, c, MPFR_RNDN);
        break;
      case 9:
        out = QrcMin(a, b);
        mpfr_min(value, va, vb, MPFR_RNDN);
        break;
      case 10:
        out = QrcMax(a, c);
        mpfr_set_d(vb, c, MPFR_RNDN);
        mpfr_max(value, va, vb, MPFR_RNDN);
        break;
      default:
        out = QrcPower(a, 3);
        mpfr_pow_ui(value, va, 3, MPFR_RNDN);
        break;
    }
  }
  mpfr_clears(va, vb, (mpfr_ptr)0);
  return ok;
}

TEST_F(FloatNodeTest, ConstraintsOnRandomTreesKeepSampledSolutions) {
  uint64_t seed = qrotest::seedOr(99);
  std::mt19937_64 rng(seed);
  mpfr_t v;
  mpfr_init2(v, 4000);
  int sampled = 0;
  for (int iter = 0; iter < 3000; ++iter) {
    QrcFloatExpI* vars[3];
    double point[3];
    for (int i = 0; i < 3; ++i) {
      double a = smallDyadic(rng), b = smallDyadic(rng);
      if (a > b) std::swap(a, b);
      vars[i] = var(a, b).getImpl();
      point[i] = samplePoint(rng, a, b);
    }
    QrcFloatExp e;
    if (!randomTree(rng, 1 + static_cast<int>(rng() % 3), vars, point, e, v)) continue;
    double lo = mpfr_get_d(v, MPFR_RNDD) - static_cast<double>(rng() % 3) / 8.0;
    double hi = mpfr_get_d(v, MPFR_RNDU) + static_cast<double>(rng() % 3) / 8.0;
    bool kept = true;
    std::function<void()> narrow = [&] {
      mgr.add(e >= lo);
      mgr.add(e <= hi);
      for (int i = 0; i < 3; ++i)
        kept = kept && vars[i]->getMin() <= point[i] && point[i] <= vars[i]->getMax();
    };
    bool ok = solveRestoring(m, narrow);
    ASSERT_TRUE(ok && kept) << "seed " << seed << " iter " << iter << " point (" << point[0] << ", "
                            << point[1] << ", " << point[2] << ") in [" << lo << ", " << hi << "]";
    ++sampled;
  }
  mpfr_clear(v);
  EXPECT_GT(sampled, 2500);
}

#endif

}  // namespace
