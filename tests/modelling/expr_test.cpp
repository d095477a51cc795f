#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qroalgorithm.h"
#include "qrooperators.h"
#include "support/stub_algorithm.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

std::string shown(const QroExtractableI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}
std::string shown(const QroNumExprArg& e) {
  return shown(e.getImpl());
}

template <class T>
T* as(const QroNumExprArg& e) {
  EXPECT_EQ(e.getImpl()->getTypeInfo(), T::GetTypeInfo()) << e.getImpl()->getClassName();
  return static_cast<T*>(e.getImpl());
}

// Values variables from a table and counts the questions.
class Valuer : public StubAlgorithm {
 public:
  explicit Valuer(QroEnvI* env) : StubAlgorithm(env) {}
  QroBool applyChange(QroChange* c, void**, QroExtractableI*) override {
    changes.push_back(c);
    if (c->isType(QroSetNumVarBounds::GetTypeInfo())) {
      auto* b = static_cast<QroSetNumVarBounds*>(c);
      bounds.push_back({b->getLB(), b->getUB()});
    }
    return 1;
  }
  QroNum getValue(QroNumVarI* v) override {
    ++questions;
    return values[v];
  }
  std::map<const QroNumVarI*, double> values;
  int questions = 0;
  std::vector<QroChange*> changes;
  std::vector<std::pair<double, double>> bounds;
};

// Counts visits of each sub-extractable.
struct Collector : QroExtractableVisitor {
  std::vector<QroExtractableI*> children;
  void visitChild(QroExtractableI*, QroExtractableI* c) override { children.push_back(c); }
};

std::vector<std::pair<QroNumVarI*, double>> nodes(const QroNumLinTermI* t) {
  std::vector<std::pair<QroNumVarI*, double>> r;
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) r.push_back({n->var, n->coef});
  return r;
}

class Expr : public ::testing::Test {
 protected:
  void SetUp() override {
    e = env.getImpl();
    x = QroNumVar(env, 0, 10, QroNumVar::Float, "x");
    y = QroNumVar(env, 0, 10, QroNumVar::Float, "y");
    i = QroNumVar(env, 0, 10, QroNumVar::Int, "i");
    j = QroNumVar(env, 0, 10, QroNumVar::Int, "j");
  }
  void TearDown() override { env.end(); }
  QroEnv env;
  QroEnvI* e = nullptr;
  QroNumVar x, y;  // float
  QroNumVar i, j;  // integer
};

TEST(ExprHelpers, IntegerValuesAndGuardedProduct) {
  EXPECT_FALSE(QroIsIntegerValue(9007199254740992.0));
  EXPECT_TRUE(QroIsIntegerValue(-9007199254740991.0));
  EXPECT_TRUE(QroIsIntegerValue(-0.0));
  EXPECT_TRUE(QroIsIntegerValue(0.0));
  EXPECT_FALSE(QroIsIntegerValue(2.5));
  EXPECT_FALSE(QroIsIntegerValue(std::nan("")));
  EXPECT_FALSE(QroIsIntegerValue(kInf));
  EXPECT_TRUE(QroIsIntegerValue(-3.0));
  try {
    QroGuardedProduct(1.0e8, 1.0e8);
    FAIL();
  } catch (const QroIntExpr::QroOverflowOccurred& x) {
    EXPECT_STREQ(x.getMessage(), "overflow occurred in multiplication");
  }
  EXPECT_THROW(QroGuardedProduct(std::nan(""), 1.0), QroIntExpr::QroOverflowOccurred);
  EXPECT_EQ(QroGuardedProduct(3.0, -4.0), -12);
  EXPECT_EQ(QroGuardedProduct(2.5, 1.0), 2);
}

TEST_F(Expr, MinAndMaxOfArrays) {
  QroNumArray empty(env, 0);
  try {
    QroMin(empty);
    FAIL();
  } catch (const QroArrayError& x) {
    EXPECT_STREQ(x.getMessage(), "Array of size 0 in call to QroMin");
  }
  QroIntArray emptyInts(env, 0);
  try {
    QroMax(emptyInts);
    FAIL();
  } catch (const QroArrayError& x) {
    EXPECT_STREQ(x.getMessage(), "Array of size 0 in call to QroMax");
  }
  QroNumArray one(env, 1);
  one[0] = std::nan("");
  EXPECT_TRUE(std::isnan(QroMin(one)));
  QroIntArray a(env, 4);
  a[0] = 3;
  a[1] = -2;
  a[2] = 9;
  a[3] = -2;
  EXPECT_EQ(QroMin(a), -2);
  EXPECT_EQ(QroMax(a), 9);
}

TEST_F(Expr, NodeDisplaysInBothForms) {
  QroNumExprArg g = QroPower(x, 3.0);
  EXPECT_EQ(shown(g), "x[0..10]  ^ 3");  // a named variable shows its name and domain
  QroNumVarI* u = new (e) QroNumVarI(e, 0, 1, QroNumVar::Float);
  QroNumExprI* div = new (e) QroNumDivCstI(e, u, 2);
  std::string ux = shown(u);
  EXPECT_EQ(shown(div), ux + "/ 2");
  QroNumExprI* times = new (e) QroNumTimesCstI(e, u, 2.5);
  QroNumExprI* rec = new (e) QroNumRecDivCstI(e, u, 6);
  QroNumExprI* prod = new (e) QroNumTimesI(e, u, times);
  QroNumExprI* quot = new (e) QroNumDivI(e, u, u);
  QroNumExprI* sq = new (e) QroNumSquareI(e, u);
  QroNumExprI* it = new (e) QroIntTimesCstI(e, u, 4);
  EXPECT_EQ(shown(times), ux + " * 2.5");
  EXPECT_EQ(shown(rec), "6 / " + ux);
  EXPECT_EQ(shown(prod), ux + " * " + ux + " * 2.5");
  EXPECT_EQ(shown(quot), ux + " / " + ux);
  EXPECT_EQ(shown(sq), "square(" + ux + ")");
  EXPECT_EQ(shown(it), ux + " * 4");
  e->setParenthesisDisplay(1);
  EXPECT_EQ(shown(div), "( " + ux + "/ 2) ");
  EXPECT_EQ(shown(times), "( " + ux + "* 2.5) ");
  EXPECT_EQ(shown(rec), "( 6/ " + ux + ") ");
  EXPECT_EQ(shown(prod), "( " + ux + "* ( " + ux + "* 2.5) ) ");
  EXPECT_EQ(shown(quot), "( " + ux + "/ " + ux + ") ");
  EXPECT_EQ(shown(sq), "QroSquare(" + ux + ") ");
  EXPECT_EQ(shown(it), "( " + ux + "* 4) ");
  EXPECT_EQ(shown(g), "( x[0..10] ^ 3) ");
}

TEST_F(Expr, IntegralityAndEvaluation) {
  QroNumVar i(env, 0, 10, QroNumVar::Int);
  EXPECT_TRUE(as<QroNumPowerCstI>(QroPower(i, 3.0))->isIntExpr());
  EXPECT_FALSE(as<QroNumPowerCstI>(QroPower(i, 0.5))->isIntExpr());
  EXPECT_FALSE(as<QroNumDivI>(QroNumExprArg(i) / QroPower(i, 3.0))->isIntExpr());
  EXPECT_FALSE(x.getImpl()->isIntExpr());
  EXPECT_TRUE(i.getImpl()->isIntExpr());

  Valuer alg(e);
  alg.values[x.getImpl()] = 3;
  alg.values[y.getImpl()] = -2;
  QroNumExprArg sq = QroPower(QroNumExprArg(x) + 1.0, 2.0);
  as<QroNumSquareI>(sq);
  alg.questions = 0;
  EXPECT_EQ(sq.getImpl()->eval(&alg), 16.0);
  EXPECT_EQ(alg.questions, 1);  // the operand is evaluated once
  QroNumExprArg f = (2.0 * QroNumExprArg(x) + 3.0) * y - QroNumExprArg(x) / 4.0;
  EXPECT_DOUBLE_EQ(f.getImpl()->eval(&alg), (2 * 3 + 3) * -2 - 0.75);
  QroNumExprArg p = QroPower(QroNumExprArg(x) * QroNumExprArg(y) + 1.0, 3.0);
  EXPECT_DOUBLE_EQ(p.getImpl()->eval(&alg), -125.0);
}

TEST_F(Expr, SharedOperandsLiveUntilTheLastHolderEnds) {
  QroNumExprArg s = QroPower(QroNumExprArg(x) + 1.0, 2.0);
  QroNumExprI* term = as<QroNumSquareI>(s)->getOperand();
  EXPECT_EQ(term->getUseCount(), 1);
  QroNumExprArg n2 = s * 3.0;
  QroNumExprArg n3 = s / 2.0;
  EXPECT_EQ(s.getImpl()->getUseCount(), 2);
  QroInt sid = s.getImpl()->getId(), tid = term->getId();
  n2.getImpl()->release();
  ASSERT_NE(e->getLiveSlot(sid), nullptr);
  EXPECT_EQ(s.getImpl()->getUseCount(), 1);
  n3.getImpl()->release();
  EXPECT_EQ(e->getLiveSlot(sid), nullptr);
  EXPECT_EQ(e->getLiveSlot(tid), nullptr);
  EXPECT_NE(e->getLiveSlot(x.getImpl()->getId()), nullptr);
}

TEST_F(Expr, ClonesIntoAnotherEnvironment) {
  QroEnv other;
  QroNumExprArg f = QroPower(QroNumExprArg(x) * QroNumExprArg(y) + 2.0 * QroNumExprArg(x), 3.0) / y;
  QroExtractableI* c = other.getImpl()->getClone(f.getImpl());
  EXPECT_EQ(c->getEnv(), other.getImpl());
  EXPECT_EQ(c->getTypeInfo(), QroNumDivI::GetTypeInfo());
  Collector vars;
  c->visitSubExtractables(&vars);
  ASSERT_EQ(vars.children.size(), 2u);
  EXPECT_EQ(vars.children[0]->getTypeInfo(), QroNumPowerCstI::GetTypeInfo());
  EXPECT_EQ(vars.children[1]->getEnv(), other.getImpl());
  EXPECT_STREQ(vars.children[1]->getName(), "y");
  other.end();
}

TEST_F(Expr, ArraysOfExpressions) {
  QroExtractableArray a(env, 3);
  QroNumExprArg s = QroPower(QroNumExprArg(x) + 1.0, 2.0);
  a[0] = s.getImpl();
  a[1] = nullptr;
  a[2] = x.getImpl();
  QroIncrementUseCounts(a);
  EXPECT_EQ(s.getImpl()->getUseCount(), 1);
  QroExtractableArray c = QroMakeCloneArray(a, nullptr);
  EXPECT_EQ(c.getSize(), 3);
  EXPECT_EQ(c[1], nullptr);
  EXPECT_NE(c[0], s.getImpl());
  QroInt sid = s.getImpl()->getId();
  QroReleaseElements(a);
  EXPECT_EQ(e->getLiveSlot(sid), nullptr);
}

// ---------------------------------------------------------------------------
// Variables

TEST_F(Expr, DefaultAndSharedDomains) {
  QroNumVar d(env);
  EXPECT_EQ(d.getImpl()->getDomain(), nullptr);
  EXPECT_EQ(d.getLB(), 0.0);
  EXPECT_EQ(d.getUB(), kInf);
  EXPECT_EQ(d.getType(), QroNumVar::Float);
  std::ostringstream expect;
  expect << "QroNumVar(" << d.getId() << ")[0 .. " << kInf << "] ";
  EXPECT_EQ(shown(d.getImpl()), expect.str());

  QroNumVar a(env, 2, 10), b(env, 2, 10);
  EXPECT_EQ(a.getImpl()->getDomain(), b.getImpl()->getDomain());
  EXPECT_TRUE(a.getImpl()->getDomain()->isShared());
  a.setLB(3);
  EXPECT_EQ(a.getLB(), 3);
  EXPECT_EQ(b.getLB(), 2);
  EXPECT_EQ(b.getUB(), 10);
  a.setBounds(4, 5);
  EXPECT_FALSE(a.getImpl()->getDomain()->isShared());
  EXPECT_EQ(a.getLB(), 4);
  EXPECT_EQ(a.getUB(), 5);
  d.setUB(7);
  EXPECT_EQ(d.getUB(), 7);
  EXPECT_EQ(d.getLB(), 0);

  QroNumVar empty;
  try {
    empty.getType();
    FAIL();
  } catch (const QroEmptyHandleException& x) {
    EXPECT_STREQ(x.getMessage(), "Using empty handle QroNumVar::getType");
  }
}

TEST_F(Expr, IntegerAndBooleanDomains) {
  QroNumVar i(env, 0.5, 2.5, QroNumVar::Int);
  EXPECT_EQ(i.getLB(), 1);
  EXPECT_EQ(i.getUB(), 2);  // inward rounding of the upper bound
  EXPECT_EQ(i.getType(), QroNumVar::Int);
  QroNumVar b1(env, 0.2, 0.7, QroNumVar::Bool);
  EXPECT_EQ(b1.getLB(), 0);
  EXPECT_EQ(b1.getUB(), 1);
  EXPECT_EQ(b1.getType(), QroNumVar::Bool);
  QroNumVar b2(env, -3, 0, QroNumVar::Bool);
  EXPECT_EQ(b2.getLB(), 0);
  EXPECT_EQ(b2.getUB(), 0);
  EXPECT_TRUE(b1.getImpl()->getDomain()->isShared());
  b1.setUB(5);
  EXPECT_EQ(b1.getType(), QroNumVar::Int);
  EXPECT_EQ(b1.getLB(), 0);
  EXPECT_EQ(b1.getUB(), 5);
  // An unshared Boolean domain stores the rounded bound.
  QroNumVarI* b3 =
      new (e) QroNumVarI(e, new (e->alloc(sizeof(QroBoolVarDomainI))) QroBoolVarDomainI(0, 1));
  b3->setLB(0.5);
  EXPECT_EQ(b3->getLB(), 1);
  EXPECT_EQ(b3->getType(), QroNumVar::Bool);
  QroNumVarI* b4 =
      new (e) QroNumVarI(e, new (e->alloc(sizeof(QroBoolVarDomainI))) QroBoolVarDomainI(0, 1));
  b4->setBounds(0, 3);
  EXPECT_EQ(b4->getType(), QroNumVar::Int);
  EXPECT_EQ(b4->getUB(), 3);
  // Fractional bounds inside {0, 1} round inward on shared and own domains.
  QroNumVar b5(env, 0, 1, QroNumVar::Bool);
  b5.getImpl()->setBounds(0.5, 1);
  EXPECT_EQ(b5.getLB(), 1);
  EXPECT_EQ(b5.getUB(), 1);
  QroNumVarI* b6 =
      new (e) QroNumVarI(e, new (e->alloc(sizeof(QroBoolVarDomainI))) QroBoolVarDomainI(0, 1));
  b6->setBounds(0.25, 0.75);
  EXPECT_EQ(b6->getLB(), 1);
  EXPECT_EQ(b6->getUB(), 0);
  QroNumVarI* b7 =
      new (e) QroNumVarI(e, new (e->alloc(sizeof(QroBoolVarDomainI))) QroBoolVarDomainI(0, 1));
  b7->setBounds(0, 0.5);
  EXPECT_EQ(b7->getLB(), 0);
  EXPECT_EQ(b7->getUB(), 0);

  QroInt before = e->getIdCount();
  EXPECT_THROW(QroNumVar(env, std::nan(""), 3, QroNumVar::Int), QroWrongUsage);
  EXPECT_EQ(e->getIdCount(), before);  // the failed variable left no slot behind
  QroNumVar after(env, 1, 3, QroNumVar::Int);
  EXPECT_EQ(after.getId(), before);
  EXPECT_THROW(i.setUB(std::nan("")), QroWrongUsage);
  EXPECT_EQ(i.getUB(), 2);
  QroNumVar shown4(env, 0, 10, QroNumVar::Int);
  std::ostringstream expect;
  expect << "QroIntVar(" << shown4.getId() << ")[0..10] ";
  EXPECT_EQ(shown(shown4.getImpl()), expect.str());
  EXPECT_EQ(shown(QroNumVar(env, 0, 10, QroNumVar::Int, "n").getImpl()), "n[0..10] ");
}

TEST_F(Expr, EnumeratedDomains) {
  QroIntArray values(env, 2);
  values[0] = 5;
  values[1] = 7;
  QroIntVarDomainI d(values, 0);
  EXPECT_EQ(d.getIntLB(), 5);
  d.setLB(3);
  EXPECT_EQ(d.getIntLB(), 3);
  std::ostringstream os;
  d.display(os);
  EXPECT_EQ(os.str(), "[5, 7, 3, 4]");
  d.setUB(4.5);
  std::ostringstream os2;
  d.display(os2);
  EXPECT_EQ(os2.str(), "[3, 4]");
  EXPECT_THROW(d.setLB(-1e15), QroMemoryException);

  QroNumArray nums(env, 2);
  nums[0] = 0.5;
  nums[1] = 1.5;
  QroNumVarDomainI n(nums);
  EXPECT_EQ(n.getLB(), 0.5);
  try {
    n.setUB(1.0);
    FAIL();
  } catch (const QroNotSupportedOperation& x) {
    EXPECT_STREQ(x.getMessage(), "SetLB is not supported on a discrete floating point variable");
  }
  EXPECT_EQ(n.getUB(), 1.0);
  values.end();
  nums.end();
}

TEST_F(Expr, BoundChangesReachAlgorithmsThatExtractedTheVariable) {
  Valuer alg(e);
  alg.extract(x.getImpl());
  x.setLB(1);
  y.setLB(1);
  x.setUB(8);
  x.setBounds(2, 3);
  ASSERT_EQ(alg.bounds.size(), 3u);
  EXPECT_EQ(alg.bounds[0], std::make_pair(1.0, 10.0));
  EXPECT_EQ(alg.bounds[1], std::make_pair(1.0, 8.0));
  EXPECT_EQ(alg.bounds[2], std::make_pair(2.0, 3.0));
  alg.setInSearch(1);
  EXPECT_THROW(x.setLB(2.5), QroNoChangeDuringSearchException);
  EXPECT_EQ(x.getLB(), 2.0);  // refused before the variable changed
  EXPECT_EQ(alg.bounds.size(), 3u);
  alg.setInSearch(0);
}

// ---------------------------------------------------------------------------
// Terms

TEST_F(Expr, NormalisationKeepsTheLastOccurrence) {
  QroNumLinTermI* t = new (e) QroNumLinTermI(e);
  t->appendNode(x.getImpl(), 1);
  t->appendNode(y.getImpl(), 2);
  t->appendNode(x.getImpl(), 3);
  EXPECT_EQ(t->normalize(), 1);
  EXPECT_EQ(nodes(t),
            (std::vector<std::pair<QroNumVarI*, double>>{{y.getImpl(), 2}, {x.getImpl(), 4}}));
  EXPECT_EQ(t->normalize(), 0);
  QroNumLinTermI* z = new (e) QroNumLinTermI(e);
  z->appendNode(x.getImpl(), 2);
  z->appendNode(x.getImpl(), -2);
  EXPECT_EQ(z->normalize(), 1);
  EXPECT_TRUE(nodes(z).empty());
  EXPECT_EQ(shown(z), "0 ");
  // The same through per-identifier scratch blocks.
  e->setScratchBlockSupport(1);
  QroNumLinTermI* w = new (e) QroNumLinTermI(e);
  w->appendNode(x.getImpl(), 1);
  w->appendNode(y.getImpl(), 2);
  w->appendNode(x.getImpl(), 3);
  EXPECT_EQ(w->normalize(), 1);
  EXPECT_EQ(nodes(w).size(), 2u);
  EXPECT_EQ(shown(w), "2 * y  + 4 * x ");
}

TEST_F(Expr, QuadraticNodesAreCanonical) {
  QroNumQuadTermNode a = x * y;
  QroNumQuadTermNode b = y * x;
  EXPECT_EQ(a.getNode()->first, b.getNode()->first);
  EXPECT_EQ(a.getNode()->first, y.getImpl());  // larger identifier first
  b.getNode()->coef = 2;
  QroNumQuadExprI* q = static_cast<QroNumQuadExprI*>(a.toExprArg().getImpl());
  q->append(b.getNode());
  q->normalize();
  ASSERT_NE(q->getFirst(), nullptr);
  EXPECT_EQ(q->getFirst()->coef, 3);
  EXPECT_EQ(q->getFirst()->next, nullptr);
  EXPECT_EQ(shown(q), "(3 * y * x)");
  QroNumQuadExprI* zero = new (e) QroNumQuadExprI(e, e->allocPairTerm(x.getImpl(), y.getImpl(), 0));
  EXPECT_EQ(shown(zero), "0*0");
}

TEST_F(Expr, ScalingTerms) {
  QroNumExprArg t = 2.0 * QroNumExprArg(x) + QroPower(y, 3.0) + 1.0;
  QroNumLinTermI* term = as<QroNumLinTermI>(t);
  term->scale(1.0);
  EXPECT_EQ(shown(t), "2 * x  + y[0..10]  ^ 3 + 1 ");
  term->scale(2.0);
  EXPECT_EQ(shown(t), "4 * x  + y[0..10]  ^ 3 * 2 + 2 ");
  term->scale(0.0);
  EXPECT_EQ(shown(t), "0 ");
  EXPECT_TRUE(term->isConstantTerm());

  QroNumExprArg it = QroNumExprArg(i) * QroInt(4503599627370496);  // 2^52
  as<QroIntLinTermI>(it);
  EXPECT_THROW(static_cast<QroIntLinTermI*>(it.getImpl())->scale(4),
               QroIntExpr::QroOverflowOccurred);
  QroNumExprArg small = QroNumExprArg(i) * QroInt(3);
  QroIntLinTermI* st = as<QroIntLinTermI>(small);
  st->setConstant(5);
  st->scale(-2);
  EXPECT_EQ(shown(small), "-6 * i  + -10 ");
}

TEST_F(Expr, IntegerOverflowLeavesOperandsUnchanged) {
  // A constant that overflows after the coefficients would fit.
  QroNumExprArg t = QroNumExprArg(i) * QroInt(3);
  QroIntLinTermI* term = as<QroIntLinTermI>(t);
  term->setConstant(4503599627370496);  // 2^52
  EXPECT_THROW(t * QroInt(4), QroIntExpr::QroOverflowOccurred);
  EXPECT_EQ(shown(t), "3 * i  + 4503599627370496 ");
  // A coefficient that overflows.
  QroNumExprArg big = QroNumExprArg(i) * QroInt(4503599627370496);
  EXPECT_THROW(big * QroInt(-4), QroIntExpr::QroOverflowOccurred);
  QroIntLinTermI* bigTerm = as<QroIntLinTermI>(big);
  ASSERT_NE(bigTerm->getFirstNode(), nullptr);
  EXPECT_EQ(bigTerm->getFirstNode()->coef, 4503599627370496.0);
  EXPECT_EQ(bigTerm->getConstantValue(), 0);

  // An integer coefficient a double cannot hold exactly is refused.
  EXPECT_THROW(QroNumExprArg(i) * QroInt(9007199254740993), QroIntExpr::QroOverflowOccurred);
  EXPECT_THROW(QroNumExprArg(i) * QroInt(-9007199254740992), QroIntExpr::QroOverflowOccurred);
  EXPECT_THROW(QroNumExprArg(x) * QroInt(9007199254740993), QroIntExpr::QroOverflowOccurred);
  QroNumExprArg edge = QroNumExprArg(i) * QroInt(9007199254740991);
  EXPECT_EQ(as<QroIntLinTermI>(edge)->getFirstNode()->coef, 9007199254740991.0);

  // k1*e + k2*e folds the factors; a sum beyond 64 bits is refused.
  QroNumExprArg sq = QroPower(QroNumExprArg(i) + 1.0, 3.0);
  const QroInt huge = std::numeric_limits<QroInt>::max();
  QroNumExprArg a = sq * huge;
  QroNumExprArg b = sq * QroInt(1);
  ASSERT_EQ(a.getImpl()->getTypeInfo(), QroIntTimesCstI::GetTypeInfo());
  EXPECT_THROW(a + b, QroIntExpr::QroOverflowOccurred);
  QroNumExprArg c = sq * QroInt(-2);
  EXPECT_THROW(c - a, QroIntExpr::QroOverflowOccurred);
  QroNumExprArg folded = (sq * QroInt(5)) + (sq * QroInt(2));
  ASSERT_EQ(folded.getImpl()->getTypeInfo(), QroIntTimesCstI::GetTypeInfo());
  EXPECT_EQ(static_cast<QroIntTimesCstI*>(folded.getImpl())->getConstantFactor(), 7);
}

TEST_F(Expr, CascadeDropsVariablesFromTerms) {
  QroNumVar v(env, 0, 1, QroNumVar::Float, "v");
  QroNumExprArg t = 3.0 * QroNumExprArg(v) + 2.0 * QroNumExprArg(y) + 1.0;
  QroNumExprArg held = QroPower(t, 3.0);  // something that survives too? no: it holds t
  (void)held;
  QroNumExprArg t2 = 3.0 * QroNumExprArg(v) + 2.0 * QroNumExprArg(y) + 1.0;
  v.end();
  EXPECT_EQ(shown(t2), "2 * y  + 1 ");
  EXPECT_NE(e->getLiveSlot(t2.getImpl()->getId()), nullptr);
}

TEST_F(Expr, IntegerTermConversion) {
  QroNumExprArg free = QroNumExprArg(i) * QroInt(2);
  QroIntLinTermI* ft = as<QroIntLinTermI>(free);
  QroInt fid = ft->getId();
  QroNumLinTermI* n1 = ft->makeNumLinTerm();
  // Not consumed: the handle still points at the same term.
  EXPECT_EQ(e->getLiveSlot(fid), ft);
  EXPECT_EQ(shown(free), "2 * i ");
  EXPECT_EQ(nodes(n1).size(), 1u);
  EXPECT_NE(n1->getFirstNode(), ft->getFirstNode());

  QroNumExprArg held = QroNumExprArg(j) * QroInt(3);
  QroNumExprArg holder = QroPower(held, 3.0);
  (void)holder;
  QroIntLinTermI* ht = as<QroIntLinTermI>(held);
  QroNumLinTermI* n2 = ht->makeNumLinTerm();
  EXPECT_NE(n2->getFirstNode(), ht->getFirstNode());
  EXPECT_EQ(nodes(n2), (std::vector<std::pair<QroNumVarI*, double>>{{j.getImpl(), 3}}));
  EXPECT_EQ(shown(held), "3 * j ");
}

// ---------------------------------------------------------------------------
// Operators

TEST_F(Expr, SumsFoldIntoOneTerm) {
  QroNumExprArg xx = QroNumExprArg(x) + QroNumExprArg(x);
  EXPECT_EQ(nodes(as<QroNumLinTermI>(xx)),
            (std::vector<std::pair<QroNumVarI*, double>>{{x.getImpl(), 2}}));
  QroNumExprArg zero = QroNumExprArg(x) - QroNumExprArg(x);
  QroNumLinTermI* z = as<QroNumLinTermI>(zero);
  EXPECT_TRUE(z->isConstantTerm());
  EXPECT_EQ(z->getConstantValue(), 0.0);

  QroNumExprArg s = 3.0 * QroNumExprArg(x) + QroNumExprArg(x);
  QroNumLinTermI* st = as<QroNumLinTermI>(s);
  st->normalize();
  EXPECT_EQ(nodes(st), (std::vector<std::pair<QroNumVarI*, double>>{{x.getImpl(), 4}}));

  QroNumExprArg g = QroNumExprArg(x) / QroNumExprArg(y);
  QroNumExprArg g3 = g * 3.0;
  QroNumTimesCstI* g4 = as<QroNumTimesCstI>(g3 + g);
  EXPECT_EQ(g4->getConstantFactor(), 4.0);
  EXPECT_EQ(g4->getOperand(), g.getImpl());
  EXPECT_EQ(as<QroNumTimesCstI>(g3 - g)->getConstantFactor(), 2.0);
  EXPECT_EQ(as<QroNumTimesCstI>(g - g3)->getConstantFactor(), -2.0);
  QroNumExprArg h = QroPower(i, 3.0);  // an integer expression
  QroNumExprArg hi = h * QroInt(5);
  QroNumExprArg hi2 = hi + hi * QroInt(1);
  EXPECT_EQ(as<QroIntTimesCstI>(hi2)->getConstantFactor(), 10);
  // k*x + x gives x * (k + 1) as a double.
  EXPECT_EQ(as<QroNumTimesCstI>(hi2 + h)->getConstantFactor(), 11.0);
}

TEST_F(Expr, HeldTermsAreCopied) {
  QroNumExprArg xy = QroNumExprArg(x) + QroNumExprArg(y);
  QroNumExprArg holder = QroPower(xy, 3.0);
  (void)holder;
  EXPECT_EQ(xy.getImpl()->getUseCount(), 1);
  QroNumExprArg plus5 = xy + 5.0;
  EXPECT_NE(plus5.getImpl(), xy.getImpl());
  EXPECT_EQ(shown(xy), "x  + y ");
  EXPECT_EQ(shown(plus5), "x  + y  + 5 ");
  // A free term is extended in place.
  QroNumExprArg free = QroNumExprArg(x) + QroNumExprArg(y);
  EXPECT_EQ((free + 1.0).getImpl(), free.getImpl());
}

TEST_F(Expr, ProductsOfVariablesAndTerms) {
  QroNumExprArg p = (2.0 * QroNumExprArg(x) + 3.0) * y;
  QroNumLinTermI* t = as<QroNumLinTermI>(p);
  ASSERT_NE(t->getQuadPart(), nullptr);
  QroQuadNode* q = t->getQuadPart()->getFirst();
  EXPECT_EQ(q->first, y.getImpl());
  EXPECT_EQ(q->second, x.getImpl());
  EXPECT_EQ(q->coef, 2);
  EXPECT_EQ(nodes(t), (std::vector<std::pair<QroNumVarI*, double>>{{y.getImpl(), 3}}));
  EXPECT_EQ(shown(p), "3 * y  + (2 * y * x)");

  as<QroNumQuadExprI>(QroNumExprArg(x) * QroNumExprArg(x));
  as<QroNumTimesI>(QroNumExprArg(x) * QroPower(y, 3.0));
  as<QroNumTimesCstI>(QroPower(y, 3.0) * (QroNumExprArg(x) - QroNumExprArg(x) + 2.0));
  QroNumExprArg g = QroPower(y, 3.0);
  QroNumExprArg zero = g * 0.0;
  EXPECT_TRUE(as<QroNumLinTermI>(zero)->isConstantTerm());
  EXPECT_EQ(as<QroNumDivCstI>(g / 0.0)->getDivisor(), 0.0);
  EXPECT_EQ(as<QroNumTimesCstI>((g / 4.0) * 2.0)->getConstantFactor(), 0.5);
  EXPECT_EQ(as<QroNumRecDivCstI>((6.0 / g) * 2.0)->getDividend(), 12.0);
}

// A fold that would round a constant or move one across a quotient read as
// truncating keeps the operation as a node; exact folds and integer terms fold.
TEST_F(Expr, FoldsKeepInexactConstantsAndIntegerQuotients) {
  QroNumExprArg X(x), I(i), J(j), cube = QroPower(x, 3.0);
  QroTypeInfo timesCst = QroNumTimesCstI::GetTypeInfo(), divCst = QroNumDivCstI::GetTypeInfo(),
              recDiv = QroNumRecDivCstI::GetTypeInfo(), term = QroNumLinTermI::GetTypeInfo(),
              intTerm = QroIntLinTermI::GetTypeInfo();
  struct Case {
    const char* name;
    QroNumExprArg e;
    QroTypeInfo type;
  };
  std::vector<Case> cases = {
      // Integer quotients: the constant stays outside.
      {"(-7 / i) * -4.0", (-7.0 / I) * -4.0, timesCst},
      {"((i * j) / 2.0) * 4.0", ((I * J) / 2.0) * 4.0, timesCst},
      {"(0.5 / i) * 2.0", (0.5 / I) * 2.0, timesCst},
      {"(-7 / x) * -4.0", (-7.0 / X) * -4.0, recDiv},  // a float quotient folds exactly
      // Float constants that a fold would round.
      {"0.2 * (x - 1.5)", 0.2 * (X - 1.5), timesCst},
      {"2.0 * (x - 1.5)", 2.0 * (X - 1.5), term},
      {"(-0.5 * x - 4) / 0.4", (-0.5 * X - 4.0) / 0.4, divCst},
      {"(-0.5 * x - 4) / 0.5", (-0.5 * X - 4.0) / 0.5, term},
      {"x / 3.0", X / 3.0, divCst},
      {"(cube * 0.1) * 3.0", (cube * 0.1) * 3.0, timesCst},
      {"(cube * 0.5) * 3.0", (cube * 0.5) * 3.0, timesCst},
      {"(0.7 / cube) * 0.1", (0.7 / cube) * 0.1, timesCst},
      {"2.5 / (x - x + 3.0)", 2.5 / (X - X + 3.0), recDiv},
      // Integer terms are not affected.
      {"i / 3.0", I / 3.0, term},
      {"1.0 / (i - i + 3.0)", 1.0 / (I - I + 3.0), term},
      // A float expression times an integer is a float product.
      {"cube * 3", cube * QroInt(3), timesCst},
      {"x * 3", X * QroInt(3), term},
      {"i * 3", I * QroInt(3), intTerm},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.e.getImpl()->getTypeInfo(), c.type)
        << c.name << " is a " << c.e.getImpl()->getClassName();
  EXPECT_EQ(as<QroNumTimesCstI>((cube * 0.5) * 3.0)->getConstantFactor(), 1.5);
  EXPECT_EQ(as<QroNumTimesCstI>((cube * 0.1) * 3.0)->getConstantFactor(), 3.0);
  EXPECT_EQ(as<QroNumTimesCstI>(cube * QroInt(3))->getConstantFactor(), 3.0);
  EXPECT_FALSE(as<QroNumTimesCstI>(cube * QroInt(3))->isIntExpr());
  // Sums: a rounded constant sum keeps the inner term whole; rounded
  // coefficient sums keep their nodes apart.
  QroNumLinTermI* shifted = as<QroNumLinTermI>((X + 0.1) + 0.2);
  EXPECT_EQ(shifted->getConstantValue(), 0.2);
  ASSERT_NE(shifted->getFirstExpr(), nullptr);
  EXPECT_EQ(as<QroNumLinTermI>((X + 0.25) + 0.5)->getConstantValue(), 0.75);
  QroNumLinTermI* both = as<QroNumLinTermI>(0.1 * X + 0.2 * X);
  both->normalize();
  EXPECT_EQ(nodes(both).size(), 2u);
  QroNumLinTermI* merged = as<QroNumLinTermI>(0.25 * X + 0.5 * X);
  merged->normalize();
  EXPECT_EQ(nodes(merged), (std::vector<std::pair<QroNumVarI*, double>>{{x.getImpl(), 0.75}}));
  EXPECT_EQ(as<QroNumLinTermI>((X + 0.1) + (0.2 * X + 0.2))->getFirstExpr()->next, nullptr);
}

TEST_F(Expr, IntegerBoundsBeyondTheLimitRaiseTheOverflowException) {
  try {
    QroNumVar(env, 9.2e18, 9.3e18, QroNumVar::Int);
    FAIL();
  } catch (const QroIntExpr::QroOverflowOccurred& o) {
    EXPECT_STREQ(o.getMessage(), "overflow occurred in the bounds of an integer variable");
  }
  EXPECT_THROW(QroNumVar(env, -kInf, -1e17, QroNumVar::Int), QroIntExpr::QroOverflowOccurred);
  EXPECT_THROW(i.setLB(kInf), QroIntExpr::QroOverflowOccurred);
  EXPECT_THROW(i.setBounds(1e17, 2e17), QroIntExpr::QroOverflowOccurred);
  QroNumVar n(env, -kInf, kInf, QroNumVar::Int);
  EXPECT_EQ(n.getLB(), -9007199254740991.0);
  EXPECT_EQ(n.getUB(), 9007199254740991.0);
}

TEST_F(Expr, PowersAndQuotients) {
  as<QroNumQuadExprI>(QroPower(x, 2.0));
  as<QroNumSquareI>(QroPower(QroNumExprArg(x) + 1.0, 2.0));
  QroNumExprArg g = QroPower(y, 3.0);
  EXPECT_EQ(QroPower(g, 1.0).getImpl(), g.getImpl());
  as<QroNumPowerCstI>(QroPower(g, 0.5));

  QroNumExprArg intZero = QroNumExprArg(i) * QroInt(0);
  as<QroNumRecDivCstI>(6.0 / intZero);
  QroNumExprArg numZero = QroNumExprArg(x) - QroNumExprArg(x);
  QroNumLinTermI* inf = as<QroNumLinTermI>(6.0 / numZero);
  EXPECT_EQ(inf->getConstantValue(), kInf);
  QroNumExprArg four = QroNumExprArg(x) - QroNumExprArg(x) + 4.0;
  EXPECT_EQ(nodes(as<QroNumLinTermI>(QroNumExprArg(y) / four)),
            (std::vector<std::pair<QroNumVarI*, double>>{{y.getImpl(), 0.25}}));
  as<QroNumDivI>(QroNumExprArg(y) / g);
}

TEST_F(Expr, MixingEnvironmentsIsRefused) {
  QroEnv other;
  QroNumVar z(other, 0, 1);
  try {
    QroNumExprArg(x) + QroNumExprArg(z);
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(),
                 "QroNumExprArg operator + const QroNumExprArg const QroNumExprArg: mixing "
                 "mismatch Environments");
  }
  EXPECT_THROW(QroNumExprArg(x) * QroPower(z, 3.0), QroWrongUsage);
  EXPECT_THROW(QroNumExprArg(x) / QroNumExprArg(z), QroWrongUsage);
  other.end();
}

TEST_F(Expr, DesignModelExpressions) {
  QroNumVar F(env, 0.0, 0.5), N(env, 2.0, 10.0);
  QroNumVarArray arr(env, 2);
  arr[0] = QroNumVar(env, 0.25, 1.3);
  arr[1] = QroNumVar(env, 0.05, 1.0);
  QroNumVar D = arr[0], d = arr[1];
  // 1
  QroNumExprArg a = QroPower(arr[1], 4.0);
  QroNumExprArg b = 71785.0 * a;
  QroNumExprArg c = QroPower(arr[0], 3.0);
  QroNumExprArg e1 = c * N;
  QroNumExprArg f = e1 / b;
  QroNumExprArg g1 = 1.0 - f;
  as<QroNumPowerCstI>(a);
  as<QroNumTimesCstI>(b);
  as<QroNumTimesI>(e1);
  as<QroNumDivI>(f);
  QroNumLinTermI* t1 = as<QroNumLinTermI>(g1);
  EXPECT_EQ(t1->getConstantValue(), 1.0);
  // 2
  QroNumExprArg a2 = QroPower(arr[1], 2.0);
  QroNumExprArg b2 = 5.108 * a2;
  QroNumExprArg q2 = 1.0 / b2;
  QroNumExprArg c2 = QroPower(arr[1], 3.0);
  QroNumExprArg e2 = QroPower(arr[1], 3.0);
  QroNumExprArg f2 = arr[0] * e2;
  QroNumExprArg s2 = f2 - c2;
  QroNumExprArg m2 = 12.566 * s2;
  QroNumQuadTermNode t2 = arr[1] * arr[0];
  QroNumExprArg p2 = QroPower(arr[0], 4.0);
  QroNumExprArg u2 = 4.0 * p2;
  QroNumExprArg v2 = u2 - t2;
  QroNumExprArg w2 = v2 / m2;
  QroNumExprArg z2 = w2 + q2;
  as<QroNumQuadExprI>(a2);
  as<QroNumQuadExprI>(b2);
  as<QroNumRecDivCstI>(q2);
  as<QroNumTimesI>(f2);
  as<QroNumLinTermI>(s2);
  as<QroNumLinTermI>(m2);
  QroNumLinTermI* v2t = as<QroNumLinTermI>(v2);
  EXPECT_NE(v2t->getQuadPart(), nullptr);
  as<QroNumDivI>(w2);
  as<QroNumLinTermI>(z2);
  // 3
  QroNumExprArg l3 = 140.45 * d;
  QroNumExprArg a3 = QroPower(D, 2.0);
  QroNumExprArg b3 = a3 * N;
  QroNumExprArg f3 = l3 / b3;
  QroNumExprArg g3 = 1.0 - f3;
  as<QroNumLinTermI>(l3);
  as<QroNumTimesI>(b3);
  as<QroNumDivI>(f3);
  as<QroNumLinTermI>(g3);
  // 4
  QroNumExprArg s4 = QroNumExprArg(D) + QroNumExprArg(d);
  QroNumExprArg f4 = s4 / 1.5;
  QroNumExprArg g4 = f4 - 1.0;
  // 1 / 1.5 is inexact: the quotient stays.
  EXPECT_EQ(as<QroNumDivCstI>(f4)->getOperand(), s4.getImpl());
  QroNumLinTermI* t4 = as<QroNumLinTermI>(g4);
  EXPECT_EQ(t4->getConstantValue(), -1.0);
  EXPECT_TRUE(nodes(t4).empty());
  ASSERT_NE(t4->getFirstExpr(), nullptr);
  EXPECT_EQ(t4->getFirstExpr()->expr, f4.getImpl());
  // 5
  QroNumExprArg a5 = QroPower(d, 2.0);
  QroNumExprArg s5 = QroNumExprArg(N) + 2.0;
  QroNumExprArg m5 = s5 * D;
  QroNumExprArg p5 = m5 * a5;
  as<QroNumLinTermI>(s5);
  QroNumLinTermI* m5t = as<QroNumLinTermI>(m5);
  EXPECT_NE(m5t->getQuadPart(), nullptr);
  as<QroNumTimesI>(p5);
  (void)F;
  (void)z2;
  (void)g3;
}

}  // namespace

namespace {

TEST(ExprTeardown, EveryObjectIsDestroyedWithoutMemoryManager) {
  setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
  QroEnv env;
  unsetenv("QRO_NO_MEMORY_MANAGER");
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x"), y(env, 1, 2, QroNumVar::Int);
  QroNumVar b(env, 0, 1, QroNumVar::Bool);
  QroNumExprArg f = (2.0 * QroNumExprArg(x) + 3.0) * y + QroPower(QroNumExprArg(x) / y, 3.0);
  QroNumExprArg g = QroNumExprArg(f) * QroNumExprArg(b) - x * y;
  QroNumExprArg h = QroNumExprArg(x) * QroInt(3) + QroPower(g, 2.0);
  y.setBounds(0, 5);
  b.setLB(1);
  (void)h;
  env.end();
  EXPECT_EQ(env.getImpl(), nullptr);
}

}  // namespace
