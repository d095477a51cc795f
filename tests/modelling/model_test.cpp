// Models, objectives, ranges, equalities and the environment's tables. It
// includes qroevaluator.h, private to the modelling layer, to check the model
// evaluator directly.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qroevaluator.h"
#include "qromodel.h"
#include "support/design_model.h"
#include "support/stub_algorithm.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

std::string shown(const QroExtractableI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}

std::set<const QroExtractableI*>* g_refused = nullptr;

// Extracts through the hook records and remembers the changes it applied.
class HookAlgorithm : public StubAlgorithm {
 public:
  explicit HookAlgorithm(QroEnvI* env) : StubAlgorithm(env) {}
  QroBool extractOne(QroExtractableI* x, void** result) override {
    ++calls;
    *result = x->extract(this);
    return *result != nullptr;
  }
  QroBool applyChange(QroChange* c, void**, QroExtractableI*) override {
    changes.push_back(c->getClassName());
    return 1;
  }
  QroNum getValue(QroNumVarI*) override { return value; }
  using StubAlgorithm::getValue;
  int calls = 0;
  double value = 0;
  std::vector<std::string> changes;
};

void* extractMember(QroAlgorithmI*, QroExtractableI* x) {
  if (g_refused && g_refused->count(x)) return nullptr;
  return x;
}

// Extracts every member, going on after a failure, then reports the failure.
void* extractModel(QroAlgorithmI* a, QroExtractableI* m) {
  bool failed = false;
  for (QroModelI::Link* l = static_cast<QroModelI*>(m)->getFirstLink(); l; l = l->next) {
    try {
      a->extract(l->member);
    } catch (const QroAlgorithm::ExtractFailure&) {
      failed = true;
    }
  }
  if (failed) throw QroAlgorithm::ExtractFailure();
  return m;
}

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    e = env.getImpl();
    x = QroNumVar(env, 0, 10, QroNumVar::Float, "x");
    y = QroNumVar(env, 0, 10, QroNumVar::Float, "y");
  }
  void TearDown() override {
    QroModelI::Hooks.extract = nullptr;
    QroNumEqI::Hooks.extract = nullptr;
    QroRangeI::Hooks.extract = nullptr;
    QroNumVarI::Hooks.extract = nullptr;
    g_refused = nullptr;
    env.end();
  }
  QroEnv env;
  QroEnvI* e = nullptr;
  QroNumVar x, y;
};

TEST_F(ModelTest, ModelsAndObjectivesDisplay) {
  QroModel m(env);
  std::ostringstream expect;
  expect << "QroModel model" << m.getId() << " = {\n}\n";
  EXPECT_EQ(shown(m.getImpl()), expect.str());

  QroObjective cost(env, 2.0 * QroNumExprArg(x) + 5.0, QroObjectiveI::Minimize, "cost");
  EXPECT_EQ(shown(cost.getImpl()), "cost = (2 * x  + 5 , QroObjective, Minimize);\n");
  EXPECT_EQ(cost.getSingleVariable().getImpl(), x.getImpl());
  QroObjective two(env, QroNumExprArg(x) + QroNumExprArg(y), QroObjectiveI::Maximize);
  EXPECT_EQ(two.getSingleVariable().getImpl(), nullptr);
  std::ostringstream o2;
  o2 << "obj" << two.getId() << " = (x  + y , QroObjective, Maximize);\n";
  EXPECT_EQ(shown(two.getImpl()), o2.str());

  QroModel named(env, "design");
  named.add(x <= 3.0);
  named.add(cost);
  EXPECT_EQ(shown(named.getImpl()),
            "QroModel design = {\nx  <= 3 \ncost = (2 * x  + 5 , QroObjective, Minimize);\n\n}\n");

  try {
    QroModel().add(x);
    FAIL();
  } catch (const QroEmptyHandleException& ex) {
    EXPECT_STREQ(ex.getMessage(), "trying to add to an empty handle QroModel");
  }
  try {
    m.add(QroExtractable());
    FAIL();
  } catch (const QroEmptyHandleException& ex) {
    EXPECT_STREQ(ex.getMessage(), "trying to add an empty handle extractable");
  }
  QroNotAllowedWithMultiCriterionException mc("QroObjective::getExpr");
  std::ostringstream p;
  mc.print(p);
  EXPECT_EQ(p.str(), "QroObjective::getExpr - not allowed with multi-criterion models");
}

TEST_F(ModelTest, EndingAConstraintRemovesItFromEveryModel) {
  QroModel m1(env), m2(env);
  QroConstraint c = QroNumExprArg(x) + QroNumExprArg(y) <= 4.0;
  QroConstraint d = x == y;
  m1.add(c);
  m1.add(c);
  m1.add(d);
  m2.add(c);
  EXPECT_EQ(m1.getImpl()->getSize(), 3);
  c.end();
  EXPECT_EQ(m1.getImpl()->getSize(), 1);
  EXPECT_EQ(m2.getImpl()->getSize(), 0);
  m2.add(d);
  EXPECT_EQ(m2.getImpl()->getSize(), 1);
  QroModel::Iterator it(m1.getImpl());
  ASSERT_TRUE(it.ok());
  EXPECT_EQ(*it, d.getImpl());
  ++it;
  EXPECT_FALSE(it.ok());
  // Ending a variable ends the equality that holds it, not the models.
  x.end();
  EXPECT_EQ(m1.getImpl()->getSize(), 0);
  EXPECT_EQ(m2.getImpl()->getSize(), 0);
}

TEST_F(ModelTest, RangesMoveTheConstantIntoTheBounds) {
  QroConstraint c = QroNumExprArg(x) + 3.0 <= 10.0;
  QroRangeI* r = static_cast<QroRangeI*>(c.getImpl());
  EXPECT_EQ(r->getLB(), -kInf);
  EXPECT_EQ(r->getUB(), 7.0);
  EXPECT_EQ(r->getExpr()->getConstant(), 0.0);
  EXPECT_EQ(shown(r), "x  <= 7 ");

  QroConstraint eq5 = QroNumExprArg(x) - QroNumExprArg(x) + 5.0 == y;
  EXPECT_EQ(eq5.getImpl()->getTypeInfo(), QroRangeI::GetTypeInfo());
  EXPECT_EQ(shown(eq5.getImpl()), "y  == 5 ");

  QroNumExprArg shared = QroNumExprArg(x) + QroNumExprArg(y) + 1.0;
  QroRange all(env, -kInf, shared, kInf);
  EXPECT_EQ(all.getImpl()->getExpr(), shared.getImpl());
  EXPECT_EQ(shared.getImpl()->getConstant(), 1.0);  // kept: no bound to move it to
  QroRange r2(env, 0.0, shared, 5.0, "r2");
  EXPECT_NE(r2.getImpl()->getExpr(), shared.getImpl());
  EXPECT_EQ(shared.getImpl()->getConstant(), 1.0);
  EXPECT_EQ(r2.getImpl()->getLB(), -1.0);
  EXPECT_EQ(r2.getImpl()->getUB(), 4.0);
  EXPECT_EQ(shown(r2.getImpl()), "r2: -1 <= x  + y  <= 4 ");
  e->setParenthesisDisplay(1);
  EXPECT_EQ(shown(r2.getImpl()), "r2: ( -1 <= ( x  + y )  <= 4) ");
  e->setParenthesisDisplay(0);

  QroNumExprArg empty;
  try {
    (void)(empty <= 1.0);
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(), "Using empty handle");
  }
  QroEnv other;
  QroNumVar z(other, 0, 1);
  try {
    (void)(x == z);
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(), "mixing mismatch Environments");
  }
  other.end();
}

TEST_F(ModelTest, EqualitiesOfVariablesOwnNoOperand) {
  QroConstraint c = x == y;
  QroNumEqI* eq = static_cast<QroNumEqI*>(c.getImpl());
  EXPECT_EQ(eq->getTypeInfo(), QroNumEqI::GetTypeInfo());
  EXPECT_EQ(eq->getOwnership(), 0);
  EXPECT_EQ(shown(eq), "x[0..10]  == y[0..10] ");
  QroConstraint c2 = QroNumExprArg(x) * 2.0 == QroPower(y, 3.0);
  QroNumEqI* eq2 = static_cast<QroNumEqI*>(c2.getImpl());
  EXPECT_EQ(eq2->getOwnership(), 3);
  QroInt leftId = eq2->getLeft()->getId();
  c.end();
  c2.end();
  EXPECT_NE(e->getLiveSlot(x.getId()), nullptr);
  EXPECT_NE(e->getLiveSlot(y.getId()), nullptr);
  EXPECT_EQ(e->getLiveSlot(leftId), nullptr);
}

TEST_F(ModelTest, ModelEvaluator) {
  QroNumVar i(env, 3, 3, QroNumVar::Int);
  QroNumVar f(env, 2.5, 2.5);
  HookAlgorithm alg(e);
  QroModelEvaluatorI* ev = alg.getModelEvaluator();
  ASSERT_NE(ev, nullptr);
  EXPECT_EQ(alg.getModelEvaluator(), ev);
  QroNumExprArg lin = 2.0 * QroNumExprArg(i) + 1.0;
  EXPECT_EQ(ev->evaluate(lin.getImpl()), 7.0);
  EXPECT_EQ(ev->evaluate(f.getImpl()), 2.5);
  EXPECT_EQ(ev->evaluate((1.0 * f).toExprArg().getImpl()), 2.5);
  EXPECT_EQ(ev->getValue(i.getImpl()), 3.0);
  try {
    ev->getValue(x.getImpl());
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(), "Unbound variable");
  }
  QroNumExprArg zeroCoef = QroNumExprArg(i) + 0.0 * x;
  EXPECT_EQ(ev->evaluate(zeroCoef.getImpl()), 3.0);
  // Zero nodes kept in a term (no normalisation) are skipped, fixed or not.
  QroIntLinTermI* zt = new (e) QroIntLinTermI(e, 2);
  zt->appendNode(i.getImpl(), 1.0);
  zt->appendNode(x.getImpl(), 0.0);
  EXPECT_EQ(ev->evaluate(zt), 5.0);
  EXPECT_EQ(ev->evaluateInt(zt), 5);
  QroNumLinTermI* zn = new (e) QroNumLinTermI(e);
  zn->appendNode(x.getImpl(), 0.0);
  zn->appendNode(i.getImpl(), 2.0);
  EXPECT_EQ(ev->evaluate(zn), 6.0);
  EXPECT_THROW(ev->evaluate((QroNumExprArg(i) + QroNumExprArg(x)).getImpl()), QroWrongUsage);
  EXPECT_THROW(ev->evaluate(QroPower(i, 3.0).getImpl()), QroWrongUsage);
  QroNumExprArg it = QroNumExprArg(i) * QroInt(4);
  EXPECT_EQ(ev->evaluateInt(it.getImpl()), 12);

  QroConstraint eq = i == QroPower(x, 3.0);
  QroNumEqI* q = static_cast<QroNumEqI*>(eq.getImpl());
  EXPECT_EQ(q->evalLeft(ev), 3.0);
  EXPECT_EQ(q->evalRight(ev), -kInf);
  QroConstraint in = QroNumExprArg(i) <= 5.0;
  // The algorithm cannot value constraints: the evaluator does.
  EXPECT_EQ(in.getImpl()->eval(&alg), 1.0);
  EXPECT_EQ((QroNumExprArg(i) <= 2.0).getImpl()->eval(&alg), 0.0);
  EXPECT_EQ((i == f).getImpl()->eval(ev), 0.0);
}

TEST_F(ModelTest, IntegerValuesOfVariables) {
  HookAlgorithm alg(e);
  alg.value = 2.5;
  EXPECT_EQ(alg.getIntValue(x.getImpl()), 3);
  alg.value = -2.5;
  EXPECT_EQ(alg.getIntValue(x.getImpl()), -3);
  for (double bad : {1e16, -1e16, std::nan(""), kInf}) {
    alg.value = bad;
    try {
      alg.getIntValue(x.getImpl());
      FAIL() << bad;
    } catch (const QroWrongUsage& w) {
      EXPECT_STREQ(w.getMessage(),
                   "overflow occurred during the computation of the variable value");
    }
  }
  alg.value = 4;
  QroNumVarArray vars(env, 2);
  vars[0] = x;
  vars[1] = y;
  QroNumArray values;
  alg.getValues(vars, values);
  EXPECT_EQ(values.getSize(), 2);
  EXPECT_EQ(values[1], 4.0);
  QroIntArray ints(env, 5);
  alg.getValues3(vars, ints);
  EXPECT_EQ(ints.getSize(), 2);
  EXPECT_EQ(alg.getValue((QroNumExprArg(x) + 1.0).getImpl()), 5.0);
  EXPECT_THROW(alg.evaluateForall(), QroAlgorithm::Exception);
  try {
    x.getImpl()->expand(nullptr);
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(), "can not call expand");
  }

  QroAlgorithm handle(&alg), none;
  EXPECT_EQ(handle.getValue(x), 4.0);
  EXPECT_THROW(none.getValue(x), QroWrongUsage);
  EXPECT_THROW(handle.getValue(QroNumVar()), QroWrongUsage);
  EXPECT_THROW(none.out(), QroEmptyHandleException);
  EXPECT_THROW(none.extract(QroModel(env)), QroEmptyHandleException);
  try {
    handle.extract(QroModel());
    FAIL();
  } catch (const QroEmptyHandleException& ex) {
    EXPECT_STREQ(ex.getMessage(), "cannot extract empty model");
  }
  alg.remove(y.getImpl());  // never extracted: nothing happens
  EXPECT_EQ(alg.getUseCount(y.getId()), 0);
}

TEST_F(ModelTest, ExtractionThroughHooksCollectsFailures) {
  // Identifiers: x 0, y 1, model 2, reserved 3, then the equalities.
  QroModel m(env);
  e->newId();
  QroConstraint c4 = x == y;
  for (int i = 5; i < 9; ++i) e->newId();
  QroConstraint c9 = y == x;
  e->newId();
  e->newId();
  QroConstraint c12 = x == y;
  QroConstraint ok = y == y;
  ASSERT_EQ(c4.getId(), 4);
  ASSERT_EQ(c9.getId(), 9);
  ASSERT_EQ(c12.getId(), 12);
  m.add(c4);
  m.add(ok);
  m.add(c9);
  m.add(c12);
  m.add(ok);
  QroModelI::Hooks.extract = &extractModel;
  QroNumEqI::Hooks.extract = &extractMember;
  std::set<const QroExtractableI*> refused{c4.getImpl(), c9.getImpl(), c12.getImpl()};
  g_refused = &refused;

  HookAlgorithm alg(e);
  try {
    QroAlgorithm(&alg).extract(m);
    FAIL();
  } catch (const QroAlgorithm::CannotExtractException& ex) {
    std::ostringstream os;
    ex.print(os);
    EXPECT_EQ(os.str(), "QroAlgorithm cannot extract extractables 4, 9 and 12");
  }
  EXPECT_EQ(alg.getModel(), nullptr);
  EXPECT_EQ(alg.getUseCount(ok.getId()), 0);

  refused = {c9.getImpl()};
  try {
    alg.extract(m.getImpl());
    FAIL();
  } catch (const QroAlgorithm::CannotExtractException& ex) {
    std::ostringstream os;
    ex.print(os);
    EXPECT_EQ(os.str(), "QroAlgorithm cannot extract extractable 9");
  }

  refused.clear();
  alg.calls = 0;
  alg.extract(m.getImpl());
  EXPECT_EQ(alg.getModel(), m.getImpl());
  EXPECT_EQ(alg.getUseCount(ok.getId()), 2);
  EXPECT_EQ(alg.calls, 5);  // the model and four distinct members
  EXPECT_EQ(alg.getObject(c4.getId()), c4.getImpl());

  // Changes of used objects reach the algorithm; during a search they are refused.
  m.add(ok);
  EXPECT_EQ(alg.changes.back(), "QroAddOneToModel");
  alg.setInSearch(1);
  try {
    m.add(c4);
    FAIL();
  } catch (const QroNoChangeDuringSearchException& ex) {
    EXPECT_STREQ(ex.getMessage(), "This change is not allowed during a search.");
  }
  alg.setInSearch(0);

  // Mixed environments are refused: a model takes no member of another
  // environment, and an algorithm extracts no model of another environment.
  QroEnv other;
  QroModel foreign(other);
  QroNumVar z(env, 0, 1);
  try {
    foreign.getImpl()->append(z.getImpl());
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(), "QroModel::add: mixing mismatch environments");
  }
  EXPECT_EQ(foreign.getImpl()->getSize(), 0);
  try {
    alg.extract(foreign.getImpl());
    FAIL();
  } catch (const QroWrongUsage& w) {
    EXPECT_STREQ(w.getMessage(), "QroAlgorithm::extract: mixing mismatch environments");
  }
  other.end();
}

TEST_F(ModelTest, ClonedModelsListClonedMembers) {
  QroModel m(env, "m");
  m.add(QroNumExprArg(x) + 1.0 <= 4.0);
  m.add(x == y);
  QroEnv other;
  QroModelI* c = static_cast<QroModelI*>(other.getImpl()->getClone(m.getImpl()));
  EXPECT_EQ(c->getSize(), 2);
  EXPECT_EQ(c->getFirstLink()->member->getEnv(), other.getImpl());
  std::ostringstream os;
  c->getFirstLink()->next->member->display(os);
  EXPECT_EQ(os.str(), "x[0..10]  == y[0..10] ");
  other.end();
}

TEST_F(ModelTest, DesignModel) {
  qrotest::DesignModel design(env);
  QroModel& model = design.model;
  QroNumVarArray& arr = design.x;
  QroNumVar& F = design.F;
  QroConstraint& c4 = design.c4;
  QroConstraint& c5 = design.c5;
  EXPECT_EQ(model.getImpl()->getSize(), 5);
  QroRangeI* r4 = static_cast<QroRangeI*>(c4.getImpl());
  EXPECT_EQ(r4->getUB(), 1.0);
  EXPECT_EQ(r4->getLB(), -kInf);
  std::ostringstream d4;
  d4 << shown(arr[0].getImpl()) << " + " << shown(arr[1].getImpl()) << "/ 1.5 <= 1 ";
  EXPECT_EQ(shown(r4), d4.str());
  QroNumEqI* eq5 = static_cast<QroNumEqI*>(c5.getImpl());
  EXPECT_EQ(eq5->getTypeInfo(), QroNumEqI::GetTypeInfo());
  EXPECT_EQ(eq5->getLeft(), F.getImpl());
  EXPECT_EQ(eq5->getOwnership(), 2);
  std::string text = shown(model.getImpl());
  EXPECT_EQ(text.rfind("QroModel model", 0), 0u);
  EXPECT_NE(text.find(d4.str()), std::string::npos);
  // Every member is ground and mentions a decision variable.
  for (QroModel::Iterator it(model.getImpl()); it.ok(); ++it) {
    EXPECT_TRUE((*it)->isGround());
    EXPECT_TRUE((*it)->hasDecisionVar());
  }
}

TEST(NumArrayPrint, TenPerLine) {
  QroEnv env;
  QroNumArray a(env, 12);
  for (int i = 0; i < 12; ++i) a[i] = i + 0.5;
  std::ostringstream os;
  os << a << QroNumArray();
  EXPECT_EQ(os.str(), "[0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5,\n10.5, 11.5]");
  env.end();
}

}  // namespace

namespace {

TEST(SharedDomains, TheEnvironmentKeepsOneDomainPerInterval) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  EXPECT_EQ(e->makeNumVarDomain(0.0, std::numeric_limits<double>::infinity()), nullptr);
  QroVarDomainI* a = e->makeNumVarDomain(2, 10);
  EXPECT_EQ(e->makeNumVarDomain(2, 10), a);
  EXPECT_NE(e->makeNumVarDomain(2, 11), a);
  QroVarDomainI* b = e->makeIntVarDomain(0, 1);
  EXPECT_TRUE(b->isBool());
  EXPECT_EQ(b->getType(), QroNumVar::Bool);
  EXPECT_EQ(e->makeIntVarDomain(0, 1), b);
  QroVarDomainI* i = e->makeIntVarDomain(QroIntMin, QroIntMax);
  EXPECT_EQ(e->makeIntVarDomain(QroIntMin, QroIntMax), i);
  EXPECT_EQ(i->getType(), QroNumVar::Int);
  // Many intervals: the table grows and still finds each one.
  std::vector<QroVarDomainI*> made;
  for (int k = 0; k < 200; ++k) made.push_back(e->makeIntVarDomain(k, k + 3));
  for (int k = 0; k < 200; ++k) EXPECT_EQ(e->makeIntVarDomain(k, k + 3), made[k]);
  env.end();
}

TEST(CascadeOverTerms, ARangeOverATermSurvivesTheEndOfOneVariable) {
  QroEnv env;
  QroNumVar x(env, 0, 1, QroNumVar::Float, "x"), y(env, 0, 1, QroNumVar::Float, "y");
  QroConstraint r = 3.0 * x + 2.0 * y + 1.0 <= 4.0;
  QroConstraint eq = x == y;
  QroModel m(env);
  m.add(r);
  m.add(eq);
  QroInt rid = r.getId(), eqid = eq.getId();
  x.end();
  EXPECT_EQ(env.getImpl()->getLiveSlot(rid), r.getImpl());
  EXPECT_EQ(env.getImpl()->getLiveSlot(eqid), nullptr);
  EXPECT_EQ(m.getImpl()->getSize(), 1);
  std::ostringstream os;
  r.getImpl()->display(os);
  EXPECT_EQ(os.str(), "2 * y  <= 3 ");
  env.end();
}

TEST(ModelChanges, EveryAdditionIsAnnounced) {
  QroEnv env;
  QroNumVar x(env, 0, 1);
  QroModel m(env);
  {
    HookAlgorithm alg(env.getImpl());
    QroModelI::Hooks.extract = &extractMember;
    alg.extract(m.getImpl());
    QroModelI::Hooks.extract = nullptr;
    QroConstraint c = QroNumExprArg(x) <= 0.5;
    m.add(c);
    m.add(c);
    EXPECT_EQ(m.getImpl()->getSize(), 2);
    EXPECT_EQ(alg.changes, (std::vector<std::string>{"QroAddOneToModel", "QroAddOneToModel"}));
  }
  env.end();
}

}  // namespace

namespace {

struct MapTable : QroAlgorithmIdTableI {
  std::map<QroInt, void*> objects;
  int records = 0;
  QroBool isExtracted(QroInt id) const override { return objects.count(id) != 0; }
  void* getObject(QroInt id) const override {
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : it->second;
  }
  void recordExtraction(QroInt id, void* object) override {
    ++records;
    objects[id] = object;
  }
};

TEST(IdTable, AnInstalledTableKeepsTheObjects) {
  QroEnv env;
  QroNumVar x(env, 0, 1);
  QroConstraint c = QroNumExprArg(x) <= 0.5;
  {
    HookAlgorithm alg(env.getImpl());
    QroRangeI::Hooks.extract = &extractMember;
    QroNumVarI::Hooks.extract = &extractMember;
    MapTable table;
    alg.setIdTable(&table);
    // Ground extractables count in the algorithm's tables; the table records them too.
    EXPECT_EQ(alg.extract(c.getImpl()), c.getImpl());
    EXPECT_EQ(alg.extract(c.getImpl()), c.getImpl());
    EXPECT_EQ(alg.calls, 1);
    EXPECT_EQ(table.records, 2);
    EXPECT_TRUE(alg.isUsing(c.getId()));
    EXPECT_FALSE(alg.isUsing(x.getId()));
    alg.setIdTable(nullptr);
    EXPECT_EQ(alg.getUseCount(c.getId()), 2);
    QroRangeI::Hooks.extract = nullptr;
    QroNumVarI::Hooks.extract = nullptr;
  }
  env.end();
}

}  // namespace
