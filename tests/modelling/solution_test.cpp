#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "qroalgorithm.h"
#include "qrointset.h"
#include "qromodel.h"
#include "qroregistry.h"
#include "qrosolution.h"
#include "support/seed.h"
#include "support/stub_algorithm.h"

namespace {

const QroInt kInf = QroIntMax;
const double kDInf = std::numeric_limits<double>::infinity();

std::vector<QroInt> contents(const QroSavedIntDomainI& d) {
  QroIntArray a;
  d.getSortedValues(a);
  std::vector<QroInt> out;
  for (QroInt i = 0; i < a.getSize(); ++i) out.push_back(a[i]);
  a.end();
  return out;
}

// An algorithm keeping its own "engine" domains: a set of values per integer
// variable and an interval per floating-point variable.
class DomainAlgorithm : public StubAlgorithm {
 public:
  explicit DomainAlgorithm(QroEnvI* env) : StubAlgorithm(env) {}
  QroBool extractOne(QroExtractableI*, void** result) override {
    *result = nullptr;
    return 1;
  }

  std::map<QroNumVarI*, std::set<QroInt>> ints;
  std::map<QroNumVarI*, std::pair<double, double>> floats;
};

int g_opsDeleted = 0;

// Copies domains between the DomainAlgorithm and saved numeric variables.
class VarOps : public QroSolutionOperationsI {
 public:
  VarOps(QroGenAlloc* a, QroInt typeIndex, int tag)
      : QroSolutionOperationsI(a, typeIndex), tag(tag) {}
  ~VarOps() override { ++g_opsDeleted; }
  QroSolutionOperationsI* makeClone(QroGenAlloc* a) const override {
    VarOps* c = new (a) VarOps(a, _typeIndex, tag);
    c->setFlags(_flags);
    return c;
  }
  void store(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override {
    DomainAlgorithm* a = static_cast<DomainAlgorithm*>(algorithm);
    QroSavedNumVarI* s = static_cast<QroSavedNumVarI*>(element);
    QroNumVarI* v = s->getVar();
    if (s->getType() == QroNumVar::Float) {
      s->setDomain(a->floats[v].first, a->floats[v].second);
      return;
    }
    const std::set<QroInt>& values = a->ints[v];
    s->setDomain(static_cast<double>(*values.begin()), static_cast<double>(*values.rbegin()));
    if (static_cast<QroInt>(values.size()) != *values.rbegin() - *values.begin() + 1)
      for (QroInt x : values) s->getIntDomain()->add(x);
  }
  void restore(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override {
    DomainAlgorithm* a = static_cast<DomainAlgorithm*>(algorithm);
    QroSavedNumVarI* s = static_cast<QroSavedNumVarI*>(element);
    QroNumVarI* v = s->getVar();
    if (s->getType() == QroNumVar::Float) {
      a->floats[v] = {s->getMin(), s->getMax()};
      return;
    }
    std::set<QroInt>& values = a->ints[v];
    values.clear();
    if (s->findIntDomain()) {
      for (QroInt x : contents(*s->findIntDomain())) values.insert(x);
    } else {
      for (QroInt x = s->getIntLB(); x <= s->getIntUB(); ++x) values.insert(x);
    }
  }
  QroBool isFeasible(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override {
    DomainAlgorithm* a = static_cast<DomainAlgorithm*>(algorithm);
    QroSavedNumVarI* s = static_cast<QroSavedNumVarI*>(element);
    for (QroInt x : a->ints[s->getVar()])
      if (!s->isInDomain(static_cast<double>(x))) return 0;
    return 1;
  }
  int tag;
};

class SolutionTest : public ::testing::Test {
 protected:
  SolutionTest() : env(new QroEnvI()), alloc(env->getGeneralAllocator()) {}
  ~SolutionTest() override { delete env; }
  QroNumVarI* intVar(QroInt lb, QroInt ub) {
    return new (env) QroNumVarI(env, static_cast<double>(lb), static_cast<double>(ub), 1);
  }
  QroNumVarI* floatVar(double lb, double ub) {
    return new (env) QroNumVarI(env, lb, ub, QroNumVar::Float);
  }
  QroEnvI* env;
  QroGenAlloc* alloc;
};

// ---------------------------------------------------------------------------
// Integer hash set

TEST_F(SolutionTest, HashSetRecomputesBoundsAfterRemovingOne) {
  QroHashSavedIntDomainI* d = new (alloc) QroHashSavedIntDomainI(alloc);
  EXPECT_EQ(d->getBucketCount(), 0);
  EXPECT_EQ(d->getMin(), kInf);
  EXPECT_EQ(d->getMax(), -kInf);
  d->add(5);
  d->add(3);
  d->add(9);
  d->add(3);
  d->remove(9);
  d->remove(42);
  EXPECT_EQ(d->getMax(), 5);
  EXPECT_EQ(d->getMin(), 3);
  EXPECT_EQ(d->getSize(), 2);
  EXPECT_TRUE(d->contains(QroInt(5)));
  EXPECT_FALSE(d->contains(QroInt(9)));
  delete d;
}

TEST_F(SolutionTest, HashSetGrowsAndShrinksByPowersOfTwo) {
  QroHashSavedIntDomainI* d = new (alloc) QroHashSavedIntDomainI(alloc);
  d->add(1);
  EXPECT_EQ(d->getBucketCount(), 1);
  d->addRange(2, 5);
  EXPECT_EQ(d->getBucketCount(), 8);
  d->remove(2);
  d->remove(3);
  d->remove(4);
  EXPECT_EQ(d->getBucketCount(), 8);
  d->remove(5);
  EXPECT_EQ(d->getBucketCount(), 4);
  EXPECT_EQ(d->getMin(), 1);
  EXPECT_EQ(d->getMax(), 1);
  d->remove(1);
  EXPECT_EQ(d->getBucketCount(), 0);
  EXPECT_EQ(d->getSize(), 0);
  EXPECT_EQ(d->getMin(), kInf);
  EXPECT_EQ(d->getMax(), -kInf);
  d->add(-7);
  EXPECT_EQ(d->getBucketCount(), 1);
  EXPECT_EQ(d->getMin(), -7);
  delete d;
}

TEST_F(SolutionTest, ContainmentNeedsEveryValue) {
  QroHashSavedIntDomainI* a = new (alloc) QroHashSavedIntDomainI(alloc);
  QroHashSavedIntDomainI* b = new (alloc) QroHashSavedIntDomainI(alloc);
  a->addRange(1, 3);
  // Visited in table order 4, then 1: only the last value is in a.
  b->add(4);
  b->add(1);
  EXPECT_FALSE(a->contains(b));
  EXPECT_FALSE(a->isEqual(b));
  b->remove(4);
  EXPECT_TRUE(a->contains(b));
  EXPECT_FALSE(a->isEqual(b));
  b->addRange(2, 3);
  EXPECT_TRUE(a->isEqual(b));
  EXPECT_TRUE(b->isEqual(a));
  delete a;
  delete b;
}

TEST_F(SolutionTest, HashSetValuesClonesAndIntSets) {
  QroHashSavedIntDomainI* d = new (alloc) QroHashSavedIntDomainI(alloc);
  for (QroInt v : {12, -4, 7, 0, 33, 5}) d->add(v);
  QroIntArray raw;
  d->getValues(raw);
  EXPECT_EQ(raw.getSize(), 6);
  raw.end();
  EXPECT_EQ(contents(*d), (std::vector<QroInt>{-4, 0, 5, 7, 12, 33}));

  QroSavedIntDomainI* clone = d->makeClone(alloc);
  EXPECT_TRUE(clone->isEqual(d));
  clone->removeRange(0, 10);
  EXPECT_EQ(contents(*clone), (std::vector<QroInt>{-4, 12, 33}));
  clone->removeRange(INT64_MIN, INT64_MAX);
  EXPECT_EQ(clone->getSize(), 0);
  clone->copy(d);
  EXPECT_TRUE(clone->isEqual(d));

  QroIntSetI* set = nullptr;
  d->makeIntSet(set);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->getEnv(), env);
  std::ostringstream os;
  set->display(os);
  EXPECT_EQ(os.str(), "{ -4, 0, 5, 7, 12, 33 }");

  QroIntSetI* order = new (env) QroIntSetI(env);
  order->add(9);
  order->add(2);
  clone->setValues(QroIntSet(order));
  EXPECT_EQ(contents(*clone), (std::vector<QroInt>{2, 9}));

  struct Sum : QroSavedIntDomainI::VisitorI {
    QroInt total = 0;
    void visit(QroInt v) override { total += v; }
  } sum;
  d->visitAll(&sum);
  EXPECT_EQ(sum.total, 53);
  delete order;
  delete set;
  delete clone;
  delete d;
}

TEST_F(SolutionTest, HashSetAgreesWithAModelUnderRandomEdits) {
  uint64_t seed = qrotest::seedOr(7741);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  QroHashSavedIntDomainI* d = new (alloc) QroHashSavedIntDomainI(alloc);
  std::set<QroInt> model;
  for (int step = 0; step < 3000; ++step) {
    QroInt a = static_cast<QroInt>(rng() % 200) - 100;
    QroInt b = a + static_cast<QroInt>(rng() % 6);
    switch (rng() % 5) {
      case 0:
      case 1:
        d->add(a);
        model.insert(a);
        break;
      case 2:
        d->remove(a);
        model.erase(a);
        break;
      case 3:
        d->addRange(a, b);
        for (QroInt v = a; v <= b; ++v) model.insert(v);
        break;
      default:
        d->removeRange(a, b);
        for (QroInt v = a; v <= b; ++v) model.erase(v);
    }
    ASSERT_EQ(d->getSize(), static_cast<QroInt>(model.size()));
    if (!model.empty()) {
      ASSERT_EQ(d->getMin(), *model.begin());
      ASSERT_EQ(d->getMax(), *model.rbegin());
      ASSERT_GE(d->getBucketCount(), 1);
      ASSERT_GE(d->getBucketCount(), d->getSize() / 4);
    }
    if (step % 100 == 0) {
      ASSERT_EQ(contents(*d), std::vector<QroInt>(model.begin(), model.end()));
    }
  }
  delete d;
}

// ---------------------------------------------------------------------------
// Numeric value set

TEST_F(SolutionTest, NumericSetHashesBitsAndKeepsBounds) {
  EXPECT_EQ(QroSavedNumDomainI::Hash(1.0, 3, 8), 2);
  EXPECT_EQ(QroSavedNumDomainI::Hash(1.0, 0, 1), 0);
  QroSavedNumDomainI* d = new (alloc) QroSavedNumDomainI(alloc);
  EXPECT_EQ(d->getMin(), kDInf);
  EXPECT_EQ(d->getMax(), -kDInf);
  for (int i = 0; i < 40; ++i) d->add(i * 0.25);
  d->add(0.5);
  d->add(-0.0);
  EXPECT_EQ(d->getSize(), 40);
  EXPECT_EQ(d->getBucketCount(), 64);
  EXPECT_TRUE(d->contains(9.75));
  EXPECT_TRUE(d->contains(-0.0));
  EXPECT_FALSE(d->contains(0.3));
  EXPECT_EQ(d->getMin(), 0.0);
  EXPECT_EQ(d->getMax(), 9.75);
  d->add(-kDInf);
  EXPECT_EQ(d->getMin(), -kDInf);
  delete d;
}

// ---------------------------------------------------------------------------
// Saved numeric variables

TEST_F(SolutionTest, FloatValueWithinTolerance) {
  QroNumVarI* x = floatVar(0, 10);
  QroSavedNumVarI* s = new (alloc) QroSavedNumVarI(alloc, x);
  EXPECT_EQ(s->getMin(), 0);
  EXPECT_EQ(s->getMax(), 10);
  s->setDomain(1.0, 1.0000001);
  EXPECT_TRUE(s->isBound(1e-6));
  EXPECT_DOUBLE_EQ(s->getValue(1e-6), (1.0 + 1.0000001) * 0.5);
  EXPECT_FALSE(s->isBound(1e-9));
  try {
    s->getValue(1e-9);
    FAIL();
  } catch (const QroSolution::Exception& e) {
    EXPECT_STREQ(e.getMessage(), "QroSavedNumVarI::getValue - saved domain not bound");
  }
  // Below 1 the tolerance is absolute.
  s->setDomain(0.0, 1e-7);
  EXPECT_TRUE(s->isBound(1e-6));
  s->setDomain(2.5, 2.5);
  EXPECT_EQ(s->getValue(0), 2.5);
  EXPECT_TRUE(s->isBound());
  // Infinite bounds: within only at the largest doubles; the midpoint stays finite.
  s->setDomain(DBL_MAX, kDInf);
  EXPECT_TRUE(s->isBound(0));
  EXPECT_EQ(s->getValue(0), DBL_MAX);
  s->setDomain(-kDInf, -DBL_MAX);
  EXPECT_EQ(s->getValue(0), -DBL_MAX);
  s->setDomain(0, kDInf);
  EXPECT_FALSE(s->isBound(1e9));
  EXPECT_TRUE(s->isInDomain(1e300));
  EXPECT_FALSE(s->isInDomain(-1));
  EXPECT_EQ(s->getSize(), 0);
  s->getNumDomain()->add(2.0);
  EXPECT_TRUE(s->isBound(0));
  EXPECT_TRUE(s->isInDomain(2.0));
  EXPECT_FALSE(s->isInDomain(3.0));
  EXPECT_EQ(s->getSize(), 1);
  s->getNumDomain()->add(3.0);
  EXPECT_THROW(s->getValue(1e300), QroSolution::Exception);
  s->setValue(QroNum(4.5));
  EXPECT_EQ(s->findNumDomain(), nullptr);
  EXPECT_EQ(s->getValue(0), 4.5);
  s->setValue(QroInt(7));
  EXPECT_EQ(s->getNumLB(), 7.0);
  EXPECT_EQ(QroSolution::getValue(s), 7);
  delete s;
}

TEST_F(SolutionTest, IntegerDomainsAreRoundedInwardAndClamped) {
  QroNumVarI* n = intVar(0, 100);
  QroSavedNumVarI* s = new (alloc) QroSavedNumVarI(alloc, n);
  EXPECT_EQ(s->getType(), QroNumVar::Int);
  s->setDomain(0.5, 3.5);
  EXPECT_EQ(s->getIntLB(), 1);
  EXPECT_EQ(s->getIntUB(), 3);
  EXPECT_EQ(s->getSize(), 3);
  EXPECT_EQ(s->getMin(), 1.0);
  s->setDomain(-1e300, 1e300);
  EXPECT_EQ(s->getIntLB(), -kInf);
  EXPECT_EQ(s->getIntUB(), kInf);
  EXPECT_EQ(s->getSize(), kInf);
  s->setDomain(0, 9);
  EXPECT_EQ(s->getSize(), 10);
  EXPECT_FALSE(s->isBound());
  try {
    QroSolution::getValue(s);
    FAIL();
  } catch (const QroSolution::Exception& e) {
    EXPECT_STREQ(e.getMessage(), "QroSolution::getValue - saved domain not bound");
  }
  EXPECT_TRUE(s->isInDomain(9.9));
  EXPECT_TRUE(s->isInDomain(-0.5));
  EXPECT_FALSE(s->isInDomain(10));
  EXPECT_FALSE(s->isInDomain(std::nan("")));
  s->setDomain(3.2, 3.7);
  EXPECT_EQ(s->getSize(), 0);
  EXPECT_THROW(s->setDomain(std::nan(""), 1), QroWrongUsage);
  s->setValue(QroNum(2.7));
  EXPECT_EQ(s->getIntLB(), 2);
  EXPECT_EQ(s->getIntUB(), 2);
  EXPECT_TRUE(s->isBound());
  EXPECT_EQ(s->getValue(0), 2.0);
  s->setValue(QroNum(-2.7));
  EXPECT_EQ(s->getIntValue(), -2);
  s->getIntDomain()->add(4);
  s->getIntDomain()->add(6);
  EXPECT_EQ(s->getSize(), 2);
  EXPECT_FALSE(s->isBound());
  EXPECT_TRUE(s->isInDomain(6.5));
  EXPECT_FALSE(s->isInDomain(5));
  s->getIntDomain()->remove(4);
  EXPECT_EQ(QroSolution::getValue(s), 6);
  s->setDomain(1, 2);
  EXPECT_EQ(s->findIntDomain(), nullptr);
  delete s;
}

TEST_F(SolutionTest, VariablesOverObjectsRefuseDomains) {
  QroIntArray values(QroEnv(env), 0);
  values.add(3);
  values.add(8);
  void* p = env->alloc(sizeof(QroIntVarDomainI));
  QroNumVarI* any = new (env) QroNumVarI(env, new (p) QroIntVarDomainI(values, 1));
  QroSavedNumVarI* s = new (alloc) QroSavedNumVarI(alloc, any);
  try {
    QroSolution::setDomain(s, 0, 1);
    FAIL();
  } catch (const QroSolution::Exception& e) {
    EXPECT_STREQ(e.getMessage(), "QroSolution::setDomain(min, max) forbidden for QroAnyVar");
  }
  s->setValue(QroInt(8));
  ASSERT_NE(s->findIntDomain(), nullptr);
  EXPECT_EQ(QroSolution::getValue(s), 8);
  delete s;
}

TEST_F(SolutionTest, ObjectivesAndSetVariables) {
  QroNumVarI* x = floatVar(0, 1);
  QroObjectiveI* obj = new (env) QroObjectiveI(env, x, QroObjectiveI::Minimize);
  QroSavedObjective* one = new (alloc) QroSavedObjective(alloc, obj);
  one->setValue(3.5);
  EXPECT_EQ(one->getValue(), 3.5);
  QroSavedObjective* two = new (alloc) QroSavedObjective(alloc, obj, 2);
  try {
    two->setValue(1);
    FAIL();
  } catch (const QroNotAllowedWithMultiCriterionException& e) {
    EXPECT_STREQ(e.getMessage(), "QroSavedObjective::setValue");
  }
  QroSavedIntSetVarI* sv = new (alloc) QroSavedIntSetVarI(alloc, x);
  EXPECT_FALSE(sv->isPossible(3));
  sv->getPossibleSet()->addRange(2, 4);
  EXPECT_TRUE(sv->isPossible(3));
  QroExtractable h;
  sv->getVar(h);
  EXPECT_EQ(h.getImpl(), x);
  delete sv;
  delete one;
  delete two;
}

// ---------------------------------------------------------------------------
// Solution manager and add-ons

TEST_F(SolutionTest, ManagerRegistersAndAddOnsInstallClonedOperations) {
  g_opsDeleted = 0;
  QroInt varIndex = QroNumVarI::GetTypeIndex();
  QroInt objIndex = QroObjectiveI::GetTypeIndex();
  QroInt setIndex = QroIntSetVarI::GetTypeIndex();
  EXPECT_GT(setIndex, 0);
  EXPECT_EQ(QroIntSetVarI::GetTypeIndex(), setIndex);
  DomainAlgorithm* a = new (env) DomainAlgorithm(env);
  QroPlugInRegistry* registry = env->getPlugInRegistry();
  // An add-on made before the manager is attached when the manager registers.
  QroSolutionManagerPlugIn* early =
      new (env) QroSolutionManagerPlugIn(env, new (alloc) VarOps(alloc, objIndex, 7));
  registry->addAddon(early, "CPSolutionManager");
  QroSolutionManagerI* m = a->initSolutionManager("CPSolutionManager");
  EXPECT_EQ(a->initSolutionManager("CPSolutionManager"), m);
  EXPECT_EQ(a->getSolutionManager(), m);
  EXPECT_EQ(m->getAlgorithm(), a);
  EXPECT_EQ(registry->getFirstPlugIn("CPSolutionManager"), m);
  EXPECT_STREQ(m->getClassName(), "QroSolutionManagerI");
  QroSolutionOperationsI* objOps = m->getOperations(objIndex);
  ASSERT_NE(objOps, m->getDefaultOperations());
  EXPECT_NE(objOps, early->getPrototype());
  EXPECT_EQ(static_cast<VarOps*>(objOps)->tag, 7);
  QroInt cap = 1;
  while (cap < objIndex + 1) cap *= 2;
  EXPECT_EQ(m->getCapacity(), cap);

  EXPECT_EQ(m->getOperations(varIndex), m->getDefaultOperations());
  QroSolutionManagerPlugIn* first =
      new (env) QroSolutionManagerPlugIn(env, new (alloc) VarOps(alloc, varIndex, 1));
  registry->addAddon(first, "CPSolutionManager");
  QroSolutionOperationsI* installed = m->getOperations(varIndex);
  EXPECT_EQ(static_cast<VarOps*>(installed)->tag, 1);
  EXPECT_EQ(installed->getTypeIndex(), varIndex);
  QroSolutionManagerPlugIn* second =
      new (env) QroSolutionManagerPlugIn(env, new (alloc) VarOps(alloc, varIndex, 2));
  registry->addAddon(second, "CPSolutionManager");
  EXPECT_EQ(static_cast<VarOps*>(m->getOperations(varIndex))->tag, 2);
  EXPECT_EQ(g_opsDeleted, 0);  // the replaced operations are not deleted
  EXPECT_EQ(installed->getTypeIndex(), varIndex);

  // Add-ons without a prototype, or other plug-ins, change nothing.
  registry->addAddon(new (env) QroSolutionManagerPlugIn(env), "CPSolutionManager");
  EXPECT_EQ(static_cast<VarOps*>(m->getOperations(varIndex))->tag, 2);

  EXPECT_FALSE(m->getOperations(varIndex)->isAlwaysApplied());
  m->markAlwaysApplied(varIndex);
  EXPECT_TRUE(m->getOperations(varIndex)->isAlwaysApplied());
  m->markAlwaysApplied(setIndex);
  EXPECT_TRUE(m->getOperations(setIndex)->isAlwaysApplied());
  EXPECT_NE(m->getOperations(setIndex), m->getDefaultOperations());
  EXPECT_FALSE(m->getDefaultOperations()->isAlwaysApplied());
  EXPECT_EQ(m->getOperations(12345), m->getDefaultOperations());

  EXPECT_THROW(a->endSolutionManager("OtherName"), QroWrongUsage);
  EXPECT_EQ(a->getSolutionManager(), m);
  int before = g_opsDeleted;
  a->endSolutionManager("CPSolutionManager");
  EXPECT_EQ(a->getSolutionManager(), nullptr);
  EXPECT_EQ(registry->getFirstPlugIn("CPSolutionManager"), nullptr);
  EXPECT_EQ(g_opsDeleted, before + 2);  // the object and variable operations in the table
  a->endSolutionManager("CPSolutionManager");
  delete a;
}

TEST_F(SolutionTest, StoreThenRestoreRoundTripsThroughTheOperations) {
  QroNumVarI* holes = intVar(0, 20);
  QroNumVarI* plain = intVar(0, 20);
  QroNumVarI* real = floatVar(-5, 5);
  DomainAlgorithm* a = new (env) DomainAlgorithm(env);
  QroSolutionManagerI* m = a->initSolutionManager("CPSolutionManager");
  QroInt varIndex = QroNumVarI::GetTypeIndex();
  env->getPlugInRegistry()->addAddon(
      new (env) QroSolutionManagerPlugIn(env, new (alloc) VarOps(alloc, varIndex, 0)),
      "CPSolutionManager");
  a->ints[holes] = {2, 3, 7, 11};
  a->ints[plain] = {4, 5, 6};
  a->floats[real] = {-1.25, 3.5};

  std::vector<QroSavedNumVarI*> saved;
  for (QroNumVarI* v : {holes, plain, real}) saved.push_back(new (alloc) QroSavedNumVarI(alloc, v));
  QroSolutionOperationsI* ops = m->getOperations(varIndex);
  for (QroSavedNumVarI* s : saved) ops->store(a, s);
  EXPECT_EQ(saved[0]->getSize(), 4);
  EXPECT_EQ(saved[1]->getSize(), 3);
  EXPECT_EQ(saved[1]->findIntDomain(), nullptr);
  EXPECT_TRUE(ops->isFeasible(a, saved[0]));

  auto before = a->ints;
  auto beforeFloats = a->floats;
  a->ints[holes] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  a->ints[plain] = {0};
  a->floats[real] = {-5, 5};
  EXPECT_FALSE(ops->isFeasible(a, saved[0]));
  for (QroSavedNumVarI* s : saved) ops->restore(a, s);
  EXPECT_EQ(a->ints, before);
  EXPECT_EQ(a->floats, beforeFloats);

  // The default operations forward to the element, which cannot do it alone.
  QroSolutionOperationsI* d = m->getDefaultOperations();
  EXPECT_THROW(d->store(a, saved[0]), QroNotImplemented);
  EXPECT_THROW(d->restore(a, saved[0]), QroNotImplemented);
  EXPECT_THROW(d->isFeasible(a, saved[0]), QroNotImplemented);
  for (QroSavedNumVarI* s : saved) delete s;
  // The algorithm goes first: the manager stays registered until the
  // environment ends and no longer points at it.
  delete a;
  EXPECT_EQ(m->getAlgorithm(), nullptr);
}

}  // namespace
