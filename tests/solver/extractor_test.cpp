// Extractors, hook records, the plug-in add-on and the solver's glue goals. It
// includes qrosolverglue.h, private to the solver, to run and display the glue
// goals outside a solve.
#include <gtest/gtest.h>

#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrosolverglue.h"
#include "qroregistry.h"
#include "qrcmanager.h"
#include "solver_support.h"

using namespace solvertest;

namespace {

class ChainExtractor : public QroCPExtractorI {
 public:
  explicit ChainExtractor(QroSolverI* s) : QroCPExtractorI(s) {}
  void init() override { ++inits; }
  void reset() override { ++resets; }
  int inits = 0;
  int resets = 0;
};

TEST(SolverExtractor, SolverFillsTheHookRecords) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  EXPECT_EQ(QroModelI::Hooks.extract, &extractModel);
  EXPECT_EQ(QroRangeI::Hooks.addToAlgorithm, &addConstraintToManager);
  EXPECT_EQ(QroAddOneToModel::Hooks.apply, &applyAddOneToModel);
  EXPECT_EQ(QroNumVarI::Hooks.remove, &removeDecisionVar);
  QroSolverExtractorManagerI* em = solver.getImpl()->getExtractorManager();
  ASSERT_NE(em->getDefaultExtractor(), nullptr);
  EXPECT_TRUE(env.getImpl()->getPlugInRegistry()->hasAddon(
      QroDefaultCPExtractorPlugInAddon::GetTypeInfo(), "CPExtract"));
  // A second solver gets its own default extractor through the same add-on.
  QroSolver second(model);
  EXPECT_NE(second.getImpl()->getExtractorManager()->getDefaultExtractor(), nullptr);
  EXPECT_NE(second.getImpl()->getExtractorManager()->getDefaultExtractor(),
            em->getDefaultExtractor());
  env.end();
}

TEST(SolverExtractor, AddOnRefusesOtherPlugIns) {
  QroEnv env;
  QroDefaultCPExtractorPlugInAddon* addon =
      new (env.getImpl()) QroDefaultCPExtractorPlugInAddon(env.getImpl());
  QroPlugIn* other = new (env.getImpl()) QroPlugIn(env.getImpl());
  try {
    addon->attach(other);
    FAIL();
  } catch (const QroWrongUsage& e) {
    EXPECT_STREQ(e.getMessage(), "Wrong plugin for the solver default extractor");
  }
  delete other;
  delete addon;
  env.end();
}

TEST(SolverExtractor, ChainAndDefaultGoal) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QroSolverExtractorManagerI* em = s->getExtractorManager();
  QroDefaultCPExtractorI* d = em->getDefaultExtractor();
  ChainExtractor* a = new (s->getObjectManager()) ChainExtractor(s);
  ChainExtractor* b = new (s->getObjectManager()) ChainExtractor(s);
  em->addExtractor(a);
  em->addExtractor(b);
  EXPECT_EQ(em->getChain(), b);
  EXPECT_EQ(b->getNext(), a);
  EXPECT_EQ(em->getDefaultExtractor(), d);
  em->initExtractors();
  em->resetExtractors();
  EXPECT_EQ(a->inits, 1);
  EXPECT_EQ(b->resets, 1);
  em->initExtractors();
  // Without decision variables the default search succeeds at once.
  EXPECT_EQ(solver.solve(), 1);
  solver.startNewSearch();
  EXPECT_EQ(solver.next(), 1);
  EXPECT_EQ(solver.next(), 0);
  solver.endSearch();
  env.end();
}

TEST(SolverExtractor, DecisionVariableList) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 1, QroNumVar::Int), y(env, 0, 1, QroNumVar::Float);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QroDefaultCPExtractorI* d = s->getExtractorManager()->getDefaultExtractor();
  d->addDecisionVar(x.getImpl(), QroDefaultCPExtractorI::IntVar);
  s->getManager()->pushState();
  d->addDecisionVar(y.getImpl(), QroDefaultCPExtractorI::FloatVar);
  d->addDecisionVar(x.getImpl(), QroDefaultCPExtractorI::IntVar);
  ASSERT_NE(d->getDecisionVars()->first, nullptr);
  EXPECT_EQ(d->getDecisionVars()->first->extractable, x.getImpl());
  removeDecisionVar(s, x.getImpl(), nullptr);
  EXPECT_EQ(d->getDecisionVars()->first->extractable, y.getImpl());
  removeDecisionVar(s, model.getImpl(), nullptr);  // absent: nothing
  EXPECT_EQ(d->getDecisionVars()->first->next->extractable, x.getImpl());
  s->getManager()->popState();
  EXPECT_EQ(d->getDecisionVars()->first->extractable, x.getImpl());
  EXPECT_EQ(d->getDecisionVars()->first->next, nullptr);
  d->reset();
  EXPECT_EQ(d->getDecisionVars(), nullptr);
  removeDecisionVar(s, x.getImpl(), nullptr);
  env.end();
}

TEST(SolverGlue, LocalEnvironmentAndIds) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QrcManagerI* m = s->getManager();
  m->pushState();
  s->setReversibleEnv();
  s->setReversibleEnv();
  EXPECT_EQ(s->getReversibleEnvDepth(), 2);
  QroLocalEnvI* local = env.getImpl()->getLocalEnv();
  ASSERT_NE(local, nullptr);
  s->unsetReversibleEnv();
  EXPECT_EQ(env.getImpl()->getLocalEnv(), local);
  QroInt first = s->takeLocalId();
  QroInt second = s->takeLocalId();
  EXPECT_NE(first, second);
  // Backtracking uninstalls the local environment and hands the ids out again.
  m->popState();
  EXPECT_EQ(env.getImpl()->getLocalEnv(), nullptr);
  EXPECT_EQ(s->getReversibleEnvDepth(), 0);
  EXPECT_EQ(s->takeLocalId(), first);
  EXPECT_EQ(s->takeLocalId(), second);
  env.getImpl()->setLocalEnv(local);
  EXPECT_THROW(s->setReversibleEnv(), QroSolver::WrongContext);
  env.getImpl()->setLocalEnv(nullptr);
  env.end();
}

// Each save form of the local environment takes back the one word it is
// given on backtracking, never the words after it.
TEST(SolverGlue, LocalEnvironmentSavesOnlyTheGivenWord) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QrcManagerI* m = s->getManager();
  void (QroLocalEnvI::*forms[])(void*) = {&QroLocalEnvI::saveValue, &QroLocalEnvI::saveValue2,
                                          &QroLocalEnvI::saveValue3};
  for (auto form : forms) {
    QroInt cells[3] = {1, 1, 1};
    m->pushState();
    s->setReversibleEnv();
    (env.getImpl()->getLocalEnv()->*form)(cells);
    cells[0] = cells[1] = cells[2] = 2;
    m->popState();
    EXPECT_EQ(cells[0], 1);
    EXPECT_EQ(cells[1], 2);
    EXPECT_EQ(cells[2], 2);
  }
  env.end();
}

TEST(SolverGlue, GoalsDisplayTheirNames) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QrcManagerI* m = solver.getManagerI();
  std::ostringstream os;
  QrcGetGoalI(m).display(os);
  os << " ";
  QroEndSearchCallbackI(m).display(os);
  os << " ";
  QroRestoreDataI(m, 1, 0).display(os);
  EXPECT_EQ(os.str(), "QrcGetGoal QroEndSearchCallback QroRestoreData");
  EXPECT_STREQ(QrcGetGoalI(m).getClassName(), "QrcGetGoalI");
  env.end();
}

}  // namespace
