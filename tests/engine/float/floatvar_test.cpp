// Float variables: bound test, narrowing and failure, trailing, events with
// the significance threshold and deferral, value sets, display, constants,
// savers, the objective filter and the iterator.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <sstream>
#include <string>

#include "float_fixtures.h"
#include "qrcfail.h"
#include "qrcfloatconst.h"
#include "qrcfloatenv.h"
#include "qrcfloatexp.h"
#include "qrcfloatshaving.h"
#include "qrcmanager.h"
#include "qroplatform.h"

using namespace floatvartest;

namespace {

const double Inf = HUGE_VAL;

class FloatVarTest : public FloatManagerTest {
 protected:
  std::string show(const QrcFloatExp& x) {
    std::ostringstream os;
    os << x;
    return os.str();
  }
  // Whether narrowing x to [a, b] fails (the state is restored either way).
  bool fails(const QrcFloatVar& x, double a, double b) {
    std::function<void()> fn = [&] { x.setRange(a, b); };
    return !solveRestoring(m, fn);
  }
};

TEST_F(FloatVarTest, BoundTestIsRelativeAboveOneAndAbsoluteBelow) {
  EXPECT_TRUE(QrcFloatVar(mgr, 1e6, 1e6 + 1e-5).isBound());
  EXPECT_FALSE(QrcFloatVar(mgr, 0.5, 0.5 + 2e-10).isBound());
  EXPECT_TRUE(QrcFloatVar(mgr, 0.5, 0.5 + 5e-11).isBound());
  EXPECT_TRUE(QrcFloatVar(mgr, 0, 0).isBound());
  EXPECT_FALSE(QrcFloatVar(mgr, 1e6, 1e6 + 1e-3).isBound());
  EXPECT_TRUE(QrcFloatVar(mgr, DBL_MAX, Inf).isBound());
  EXPECT_FALSE(QrcFloatVar(mgr, 1, Inf).isBound());
  EXPECT_TRUE(QrcFloatVar(mgr, -Inf, -DBL_MAX).isBound());
  // An explicit precision replaces the manager's.
  EXPECT_TRUE(QrcFloatVar(mgr, 0.5, 0.5 + 2e-10, 1e-9, "p").isBound());
}

TEST_F(FloatVarTest, VariablePrecisionRoundsBoundsOutward) {
  m->setVariablePrecision(20);
  QrcFloatVar x(mgr, 0.1, 0.2);
  EXPECT_LE(x.getMin(), 0.1);
  EXPECT_GE(x.getMax(), 0.2);
  EXPECT_EQ(x.getMin(), roundDownToPrecision(0.1, 20));
  x.setRange(0.15, 0.17);
  EXPECT_LE(x.getMin(), 0.15);
  EXPECT_GE(x.getMin(), 0.15 - 1e-5);
  EXPECT_GE(x.getMax(), 0.17);
  EXPECT_TRUE(fails(x, 0.3, 0.4));
  CountDemon* d = new (m) CountDemon(m);
  x.whenRange(d);
  // Without the significance test every change wakes the demons.
  x.setRange(0.15, 0.169);
  EXPECT_EQ(d->runs, 1);
  // Bound within 2^(52 - q) units of the last place.
  m->setBoundPrecision(52);
  EXPECT_FALSE(x.isBound());
  x.setValue(0.16);
  EXPECT_LE(x.getMin(), 0.16);
  EXPECT_GE(x.getMax(), 0.16);
  EXPECT_FALSE(x.isBound());
  m->setBoundPrecision(20);
  EXPECT_TRUE(x.isBound());
  m->setBoundPrecision(0);
  EXPECT_TRUE(QrcFloatVar(mgr, 1.0, 1.5).isBound());
  m->setVariablePrecision(0);
}

TEST_F(FloatVarTest, ValueIsTheMidpointOfABoundVariable) {
  EXPECT_EQ(QrcFloatVar(mgr, 3, 3).getValue(), 3.0);
  EXPECT_EQ(QrcFloatVar(mgr, -Inf, -DBL_MAX).getValue(), -DBL_MAX);
  EXPECT_EQ(QrcFloatVar(mgr, DBL_MAX, Inf).getValue(), DBL_MAX);
  QrcFloatVar x(mgr, 2, 10);
  try {
    x.getValue();
    FAIL() << "no error reported";
  } catch (const ReportedError& e) {
    EXPECT_EQ(e.code, QrcUnboundError);
  }
}

TEST_F(FloatVarTest, SetRangeFailsOnEmptyRequestsAndBacktrackingRestores) {
  QrcFloatVar x(mgr, 2, 10, "x");
  EXPECT_TRUE(fails(x, 3, 2));
  EXPECT_TRUE(fails(x, Inf, Inf));
  EXPECT_TRUE(fails(x, -Inf, -Inf));
  EXPECT_TRUE(fails(x, 11, Inf));
  EXPECT_TRUE(fails(x, -Inf, 1));
  EXPECT_FALSE(fails(x, -Inf, Inf));
  EXPECT_FALSE(fails(x, 10, 10));
  double seenMin = 0, seenMax = 0;
  std::function<void()> fn = [&] {
    x.setRange(3, 4);
    x.setRange(3.5, Inf);
    seenMin = x.getMin();
    seenMax = x.getMax();
  };
  EXPECT_TRUE(solveRestoring(m, fn));
  EXPECT_EQ(seenMin, 3.5);
  EXPECT_EQ(seenMax, 4);
  EXPECT_EQ(x.getMin(), 2);
  EXPECT_EQ(x.getMax(), 10);
  // Outside any search the failure comes back as the engine's exception.
  EXPECT_THROW(x.setRange(20, 30), QrcFailException);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundNearest);
}

TEST_F(FloatVarTest, NotANumberBoundRestrictsNothing) {
  QrcFloatVar x(mgr, 2, 10);
  x.setRange(NAN, 5);
  EXPECT_EQ(x.getMin(), 2);
  EXPECT_EQ(x.getMax(), 5);
  EXPECT_THROW(x.setValue(NAN), QrcFailException);
}

TEST_F(FloatVarTest, EmptyVariableFailsAtConstruction) {
  EXPECT_THROW(QrcFloatVar(mgr, 3, 2), QrcFailException);
  EXPECT_THROW(QrcFloatVar(mgr, Inf, Inf), QrcFailException);
}

TEST_F(FloatVarTest, RangeDemonsIgnoreInsignificantChangesAndWakeOnce) {
  QrcFloatVar x(mgr, 0, 0.5);
  CountDemon* d = new (m) CountDemon(m);
  CountDemon* v = new (m) CountDemon(m);
  x.whenRange(d);
  x.whenValue(v);
  x.setRange(0, 0.5 - 1e-13);
  EXPECT_EQ(x.getMax(), 0.5 - 1e-13);
  EXPECT_EQ(d->runs, 0);
  x.setRange(0, 0.4);
  EXPECT_EQ(d->runs, 1);
  EXPECT_EQ(v->runs, 0);
  x.setRange(-Inf, Inf);
  EXPECT_EQ(d->runs, 1);
  x.setValue(0.25);
  EXPECT_EQ(d->runs, 2);
  EXPECT_EQ(v->runs, 1);
  EXPECT_EQ(x.getImpl()->getFloatHandler()->getNbDemons(), 2);
}

TEST_F(FloatVarTest, NarrowingFromOwnDemonIsAppliedAfterItsDemons) {
  QrcFloatVar x(mgr, 0, 100);
  std::string order;
  double seenInside = 0;
  std::function<void()> first = [&] {
    order += "a";
    if (order.size() > 1) return;
    x.setRange(10, 50);
    seenInside = x.getMin();
  };
  std::function<void()> second = [&] { order += "b"; };
  CountDemon* d1 = new (m) CountDemon(m, &first);
  CountDemon* d2 = new (m) CountDemon(m, &second);
  x.whenRange(d2);
  x.whenRange(d1);
  x.setRange(1, 90);
  // d1 runs first (prepended last); its narrowing waits until d2 has run, and
  // then wakes both again once.
  EXPECT_EQ(seenInside, 1);
  EXPECT_EQ(order, "abab");
  EXPECT_EQ(x.getMin(), 10);
  EXPECT_EQ(x.getMax(), 50);
}

TEST_F(FloatVarTest, DisplayModes) {
  m->setDisplayMode(QrcPlainDisplay);
  EXPECT_EQ(show(QrcFloatVar(mgr, -Inf, 5)), "(-inf..5]");
  EXPECT_EQ(show(QrcFloatVar(mgr, 2, Inf)), "[2..inf)");
  EXPECT_EQ(show(QrcFloatVar(mgr, 3, 3)), "[3]");
  EXPECT_EQ(show(QrcFloatVar(mgr, 1, 2, "x")), "x[1..2]");
  m->setDisplayMode(QrcPositionalIntervalDisplay);
  EXPECT_EQ(show(QrcFloatVar(mgr, 0.1, 0.2)), "[0.100000..0.200001]");
  m->setDisplayMode(7);
  EXPECT_EQ(show(QrcFloatVar(mgr, 1, 2, "y")), "y");
}

TEST_F(FloatVarTest, ValueSetVariable) {
  QrcFloatArray values(mgr, 3);
  values[0] = 3;
  values[1] = 1;
  values[2] = 2;
  QrcFloatVar x(mgr, values, "s");
  EXPECT_EQ(x.getMin(), 1);
  EXPECT_EQ(x.getMax(), 3);
  m->setDisplayMode(QrcPlainDisplay);
  EXPECT_EQ(show(x), "s[1 2 3]");
  CountDemon* dom = new (m) CountDemon(m);
  CountDemon* rng = new (m) CountDemon(m);
  x.whenDomain(dom);
  x.whenRange(rng);
  std::function<void()> fn = [&] {
    x.removeValue(2);
    EXPECT_EQ(dom->runs, 1);
    EXPECT_EQ(rng->runs, 0);
    EXPECT_FALSE(x.getImpl()->isInDomain(2));
    x.removeValue(1);
    EXPECT_EQ(x.getMin(), 3);
    EXPECT_EQ(rng->runs, 1);
    EXPECT_TRUE(x.isBound());
  };
  EXPECT_TRUE(solveRestoring(m, fn));
  EXPECT_TRUE(x.getImpl()->isInDomain(2));
  // A narrowing moves the bounds to members.
  std::function<void()> narrow = [&] {
    x.setRange(1.5, 2.5);
    EXPECT_EQ(x.getMin(), 2);
    EXPECT_EQ(x.getMax(), 2);
  };
  EXPECT_TRUE(solveRestoring(m, narrow));
  // Removing the last member empties the variable.
  std::function<void()> last = [&] {
    x.setValue(3);
    x.removeValue(3);
  };
  EXPECT_FALSE(solveRestoring(m, last));
  std::function<void()> nonMember = [&] { x.setValue(2.5); };
  EXPECT_FALSE(solveRestoring(m, nonMember));
  QrcFloatExpIterator it(x);
  std::string seen;
  double v = 0;
  while (it.next(v)) seen += std::to_string(static_cast<int>(v));
  EXPECT_EQ(seen, "123");
}

TEST_F(FloatVarTest, IteratorStartsAtALargeMinimum) {
  QrcFloatArray values(mgr, 2);
  values[0] = 1e20;
  values[1] = 2e20;
  QrcFloatVar x(mgr, values);
  QrcFloatExpIterator it(x);
  double v = 0;
  ASSERT_TRUE(it.next(v));
  EXPECT_EQ(v, 1e20);
  ASSERT_TRUE(it.next(v));
  EXPECT_EQ(v, 2e20);
  EXPECT_FALSE(it.next(v));
}

TEST_F(FloatVarTest, ContinuousVariableRejectsValueOperations) {
  QrcFloatVar x(mgr, 0, 1);
  for (int op = 0; op < 3; ++op) {
    try {
      if (op == 0) x.removeValue(0.5);
      if (op == 1) x.getImpl()->getNextHigher(0.5);
      if (op == 2) QrcFloatExpIterator it(x);
      FAIL() << "no error for operation " << op;
    } catch (const ReportedError& e) {
      EXPECT_EQ(e.code, QrcContinuousVariableError);
    }
  }
}

TEST_F(FloatVarTest, ConstantsAreNotCountedAndCompareByBounds) {
  QrcInt before = m->getVariableCount();
  QrcFloatConstI* c = QrcFloatConstI::make(m, 1, 2, nullptr);
  EXPECT_EQ(m->getVariableCount(), before);
  QrcFloatConstI* d = QrcFloatConstI::make(m, 1, 2, nullptr);
  EXPECT_TRUE(c->isEqual(d));
  EXPECT_FALSE(c->isEqual(QrcFloatConstI::make(m, 1, 3, nullptr)));
  QrcFloatVar x(mgr, 1, 2);
  EXPECT_EQ(m->getVariableCount(), before + 1);
  QrcFloatLinearTermsI acc(m);
  c->collectScaledLinearTerms(&acc, 2.0);
  x.getImpl()->collectScaledLinearTerms(&acc, 3.0);
  EXPECT_EQ(acc.getConstant(), 3.0);
  ASSERT_NE(acc.getVariables(), nullptr);
  EXPECT_EQ(acc.getVariables()->coef, 3.0);
  EXPECT_EQ(c->getDerivative(x.getImpl()), nullptr);
  QrcFloatExpI* one = x.getImpl()->derivative(x.getImpl());
  EXPECT_EQ(one->getMin(), 1.0);
  EXPECT_EQ(one->getMax(), 1.0);
}

TEST_F(FloatVarTest, SaverRestoresBoundsAndDropsTheValueSet) {
  QrcFloatVar x(mgr, 0, 10);
  QrcFloatSaverI* s = static_cast<QrcFloatSaverI*>(x.getImpl()->makeSaver());
  x.setRange(2, 3);
  s->restore();
  EXPECT_EQ(x.getMin(), 0);
  EXPECT_EQ(x.getMax(), 10);
  QrcFloatArray values(mgr, 2);
  values[0] = 1;
  values[1] = 4;
  QrcFloatVar y(mgr, values);
  QrcFloatSaverI* t = static_cast<QrcFloatSaverI*>(y.getImpl()->makeSaver());
  y.setValue(4);
  t->restore();
  EXPECT_EQ(y.getMin(), 1);
  EXPECT_EQ(y.getImpl()->getValueSet(), nullptr);
}

TEST_F(FloatVarTest, ObjectiveFilterSteps) {
  QrcFloatVar x(mgr, 0, 10);
  QrcFloatOptFilterI f(x.getImpl(), 1.0, 0.0);
  EXPECT_EQ(f.getBound(), Inf);
  EXPECT_TRUE(f.checkValue(7));
  EXPECT_EQ(f.getBound(), 10);
  f.computeNextBound();
  EXPECT_EQ(f.getBound(), 10);
  x.setRange(0, 6);
  f.computeNextBound();
  EXPECT_EQ(f.getCurrentValue(), 6);
  f.update();
  EXPECT_EQ(x.getMax(), 5);
  QrcFloatOptFilterI r(x.getImpl(), 0.5, 0.5);
  r.computeNextBound();
  r.applyBound();
  EXPECT_EQ(x.getMax(), 2.5);
}

TEST_F(FloatVarTest, CopyIntoAnotherManagerKeepsBoundsAndValueSet) {
  QrcManager other(QrcNoEdit);
  QrcFloatVar x(mgr, 1, 4, "x");
  QrcFloatExpI* c = static_cast<QrcFloatExpI*>(x.getImpl()->getCopyForManager(other.getImpl()));
  EXPECT_EQ(c->getManager(), other.getImpl());
  EXPECT_TRUE(c->isVariable());
  EXPECT_EQ(c->getMin(), 1);
  EXPECT_EQ(c->getMax(), 4);
  EXPECT_STREQ(c->getName(), "x");
  c->setRange(2, 3);
  EXPECT_EQ(x.getMin(), 1);
  other.end();
}

TEST_F(FloatVarTest, SuspendedVariableWakesNothing) {
  QrcFloatVar x(mgr, 0, 10);
  CountDemon* d = new (m) CountDemon(m);
  x.whenRange(d);
  x.getImpl()->getFloatHandler()->suspend();
  x.setRange(1, 9);
  EXPECT_EQ(d->runs, 0);
  x.getImpl()->getFloatHandler()->resume();
  x.setRange(2, 8);
  EXPECT_EQ(d->runs, 1);
}

// Fails when x's minimum passes 4: values above 4 have no solution.
class NothingAboveFourCt : public QrcConstraintI {
 public:
  explicit NothingAboveFourCt(QrcFloatExpI* x) : QrcConstraintI(x->getManager()), _x(x) {}
  void post() override { _x->whenRange(this); }
  void propagate() override {
    if (_x->getMin() > 4) fail();
  }

 private:
  QrcFloatExpI* _x;
};

TEST_F(FloatVarTest, ShavingTestsUpperSlicesOfTheMaximum) {
  QrcFloatVar x(mgr, 0, 10);
  m->add(new (m) NothingAboveFourCt(x.getImpl()));
  QrcSpiralSolverFloatCtI* w =
      static_cast<QrcSpiralSolverFloatCtI*>(QrcSpiralSolverFloatCt(x, 1).getImpl());
  EXPECT_EQ(w->getLevel(), 3);
  m->add(w);
  // Range changes counted within one propagation stamp: past the threshold
  // the companion shaves [8, 10], [6.4, 8], [5.12, 6.4], [4.096, 5.12] away
  // and keeps [3.2768, 4.096].
  for (int i = 0; i < 5; ++i) w->propagate();
  EXPECT_DOUBLE_EQ(x.getMax(), 4.096);
  EXPECT_EQ(x.getMin(), 0);
  EXPECT_FALSE(x.getImpl()->getFloatHandler()->isSuspended());
  EXPECT_EQ(w->getThreshold(), 3);
  addFloatShaving(x);
  EXPECT_DOUBLE_EQ(x.getMax(), 4.096);
}

}  // namespace
