// Selection criteria, evaluators and their caches, and the deduction store of
// the impact-based default search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrcdefaultsearch.h"
#include "qrcimpact.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qroevaluator.h"
#include "qromodel.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"

namespace {

TEST(Selection, SelectBestPutsTheBestFirst) {
  QrcInt pos[] = {0, 1, 2, 3};
  double scores[] = {3, 1, 1, 2};
  EXPECT_EQ(QrcRootGoalI::selectBest(pos, scores, 0, 4, 1), 1);
  EXPECT_EQ(pos[0], 1);  // the first of the two 1s
  EXPECT_EQ(scores[0], 1.0);
  // Equal scores: k without moving anything.
  QrcInt same[] = {0, 1, 2, 3, 4};
  double flat[] = {5, 5, 5, 5, 5};
  EXPECT_EQ(QrcRootGoalI::selectBest(same, flat, 0, 5, 2), 2);
  EXPECT_EQ(std::vector<QrcInt>(same, same + 5), (std::vector<QrcInt>{0, 1, 2, 3, 4}));
  // k = n - 1 drops the largest; a general k keeps the k smallest in front.
  QrcInt p2[] = {0, 1, 2, 3, 4, 5, 6, 7};
  double s2[] = {7, 3, 9, 1, 5, 8, 2, 6};
  EXPECT_EQ(QrcRootGoalI::selectBest(p2, s2, 0, 8, 7), 7);
  EXPECT_EQ(p2[7], 2);
  EXPECT_EQ(QrcRootGoalI::selectBest(p2, s2, 0, 8, 3), 3);
  std::vector<QrcInt> front(p2, p2 + 3);
  std::sort(front.begin(), front.end());
  EXPECT_EQ(front, (std::vector<QrcInt>{1, 3, 6}));
  EXPECT_EQ(QrcRootGoalI::selectBest(p2, s2, 0, 2, 3), 2);
}

TEST(Selection, ToleranceKeepsScoresNearTheBest) {
  struct Case {
    bool relative;
    double tolerance;
    std::vector<double> scores;
    std::vector<QrcInt> kept;
  };
  const Case cases[] = {
      {true, 0.001, {-1.9979, -2.0, -1.998, -1.99}, {1, 2}},
      {true, 0.001, {2.002, 2.0, 2.0021, 3.0}, {0, 1}},
      {false, 0.5, {1.0, 0.2, 0.7, 0.71}, {1, 2}},
  };
  for (const Case& c : cases) {
    std::vector<QrcInt> pos = {0, 1, 2, 3};
    QrcInt n =
        QrcRootGoalI::filterByTolerance(pos.data(), c.scores.data(), 4, c.relative, c.tolerance);
    pos.resize(static_cast<size_t>(n));
    EXPECT_EQ(pos, c.kept);
  }
}

TEST(Selection, RandomizedRoundingDrawsOnlyForAFraction) {
  QrcManager m1(QrcNoEdit), m2(QrcNoEdit);
  QrcCustomizableGoalI g1(m1.getImpl(), QrcIntVarArray(), nullptr, nullptr);
  EXPECT_EQ(g1.randomizedRounding(2.0), 2);
  EXPECT_EQ(g1.randomizedRounding(-1.0), -1);
  QrcCustomizableGoalI g2(m2.getImpl(), QrcIntVarArray(), nullptr, nullptr);
  // Nothing was drawn: both generators go on alike.
  EXPECT_EQ(g1.randomizedRounding(0.5), g2.randomizedRounding(0.5));
  int ones = 0;
  for (int i = 0; i < 4000; ++i) {
    QrcInt r = g1.randomizedRounding(0.3);
    ASSERT_TRUE(r == 0 || r == 1);
    ones += static_cast<int>(r);
  }
  EXPECT_NEAR(ones / 4000.0, 0.3, 0.04);
  // Without a solver, selection works in the manager's heap.
  QrcIntVarArray vars(m1, 3, 0, 2);
  vars[0].getImpl()->setValue(1);
  QrcCustomizableGoalI g3(m1.getImpl(), vars, nullptr, nullptr);
  EXPECT_EQ(g3.selectVariable(), 1);
  m1.end();
  m2.end();
}

// A solver over ten integer model variables in [0, 3].
struct Ten {
  QroEnv env;
  QroModel model{env};
  QroSolver solver;
  QrcIntVarArray vars;
  Ten() {
    for (int i = 0; i < 10; ++i) model.add(QroNumVar(env, 0, 3, QroNumVar::Int));
    solver = QroSolver(model);
    vars = solver.getImpl()->getExtractorManager()->getDefaultExtractor()->makeIntDecisionVars();
  }
  ~Ten() {
    solver.end();
    env.end();
  }
  QrcManagerI* m() const { return solver.getManagerI(); }
};

class NoneFilter : public QrcVarFilterI {
 public:
  QrcInt filter(const QrcIntVarArray&, QrcInt*, QrcInt) override { return 0; }
  void noMoreVariables() override { ++ended; }
  int ended = 0;
};

TEST(Selection, CriteriaNarrowTheCandidatesInOrder) {
  Ten t;
  QroGenAlloc* a = t.env.getImpl()->getGeneralAllocator();
  QrcRandomVarEvaluatorI* random = new (a) QrcRandomVarEvaluatorI(a);
  // k best with k = 0 would keep nothing: it keeps all; then a quarter of 10 keeps 3.
  QrcSelectionCriterion none(random, 0.0, QrcSelectionCriterion::KBest, "none");
  QrcSelectionCriterion quarter(random, 0.25, QrcSelectionCriterion::BestFraction, nullptr);
  QrcCriterionList* list = QrcCriterionList::make(t.m(), 2);
  list->criteria[0] = &none;
  list->criteria[1] = &quarter;
  QrcCustomizableGoalI g(t.m(), t.vars, list, nullptr);
  QrcInt p = g.selectVariable();
  EXPECT_GE(p, 0);
  EXPECT_LT(p, 10);
  EXPECT_EQ(none.getUses(), 1);
  EXPECT_DOUBLE_EQ(none.getMeanReduction(), 0.0);
  EXPECT_STREQ(none.getName(), "none");
  EXPECT_DOUBLE_EQ(quarter.getMeanReduction(), 0.7);
  // Without value criteria the minimum is chosen.
  QrcInt v = -1;
  EXPECT_EQ(g.selectValue(t.vars[0].getImpl(), &v), 1);
  EXPECT_EQ(v, 0);
  // A filter that keeps no variable ends the search.
  NoneFilter filter;
  g.setVariableFilter(&filter);
  EXPECT_EQ(g.selectVariable(), -1);
  EXPECT_EQ(g.execute(), nullptr);
  EXPECT_EQ(filter.ended, 1);
  delete random;
}

TEST(EvaluatorCache, EvictsTheLeastRecentlyUsed) {
  QroEnv env;
  QroGenAlloc* a = env.getImpl()->getGeneralAllocator();
  typedef QroHashCacheI<QroInt, double> Cache;
  Cache* cache = new (a) Cache(a, 2);
  auto insert = [&](QroInt k) {
    QroUInt h = 0;
    EXPECT_EQ(cache->find(&k, &h), nullptr);
    double v = static_cast<double>(k) / 2;
    cache->insert(h, &k, &v);
  };
  for (QroInt k : {1, 2, 3}) insert(k);  // A, B, C
  insert(4);                             // the fourth insertion drops A
  EXPECT_FALSE(cache->contains(1));
  EXPECT_TRUE(cache->contains(2) && cache->contains(3) && cache->contains(4));
  QroInt b = 2;
  EXPECT_EQ(*cache->find(&b, nullptr), 1.0);  // B is now the newest
  insert(5);                                  // drops C, not B
  EXPECT_TRUE(cache->contains(2));
  EXPECT_FALSE(cache->contains(3));
  EXPECT_EQ(cache->remove(&b), 1);
  EXPECT_EQ(cache->remove(&b), 0);
  delete cache;
  // Without a limit, rehashing as it grows loses no entry.
  Cache* big = new (a) Cache(a, 0);
  for (QroInt k = -50; k < 150; ++k) {
    double v = static_cast<double>(k);
    big->insert(Cache::Hash(&k), &k, &v);
  }
  EXPECT_EQ(big->getCount(), 200);
  EXPECT_GE(big->getBucketCount() * 2, 200);
  for (QroInt k = -50; k < 150; ++k) {
    double* v = big->find(&k, nullptr);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, static_cast<double>(k));
  }
  delete big;
  env.end();
}

TEST(Evaluators, OppositeOfARandomEvaluationLiesInMinusOneToZero) {
  QroEnv env;
  QroGenAlloc* a = env.getImpl()->getGeneralAllocator();
  QrcManager m(QrcNoEdit);
  QrcIntVar x(m, 0, 5);
  QrcRandomVarEvaluatorI* random = new (a) QrcRandomVarEvaluatorI(a);
  QroOppositeEvaluatorI<QrcIntVar>* opposite = new (a) QroOppositeEvaluatorI<QrcIntVar>(random);
  for (int i = 0; i < 200; ++i) {
    double v = opposite->evaluateCached(x, nullptr, nullptr);
    ASSERT_GT(v, -1.0);
    ASSERT_LE(v, 0.0);
  }
  EXPECT_TRUE(opposite->isType(QroEvaluatorI<QrcIntVar>::GetTypeInfo()));
  {
    // Through a cache owner, a key is evaluated once.
    QroEvaluatorCacheOwner owner(a);
    owner.setCache(random, random->makeCache(a, 4));
    double first = opposite->evaluateCached(x, nullptr, &owner);
    EXPECT_EQ(opposite->evaluateCached(x, nullptr, &owner), first);
    EXPECT_TRUE(opposite->invalidate(&owner, &x));
  }
  QroClonableObjectI* clone = opposite->makeClone(a);
  EXPECT_EQ(static_cast<QroOppositeEvaluatorI<QrcIntVar>*>(clone)->getInner(), random);
  delete clone;
  delete opposite;
  delete random;
  m.end();
  env.end();
}

TEST(Evaluators, ImpactEvaluatorsNeedImpactInformation) {
  Ten t;
  QroGenAlloc* a = t.env.getImpl()->getGeneralAllocator();
  QrcImpactVarEvaluatorI* byVar = new (a) QrcImpactVarEvaluatorI(a);
  QrcIntVar x = t.vars[0];
  EXPECT_THROW(byVar->evaluateCached(x, nullptr, nullptr), QroSolver::Exception);
  t.solver.setImpactMode(1);
  // No observation yet: every mean is 0.
  EXPECT_EQ(byVar->evaluateCached(x, nullptr, nullptr), 1.0);
  delete byVar;
}

// ---------------------------------------------------------------------------
// Deductions

// Runs a function as a goal.
class CallI : public QrcGoalI {
 public:
  CallI(QrcManagerI* m, void (*f)()) : QrcGoalI(m), _f(f) {}
  QrcGoalI* execute() override {
    _f();
    return nullptr;
  }

 private:
  void (*_f)();
};

struct Deductions {
  QrcManager mgr{QrcNoEdit};
  QrcManagerI* m = mgr.getImpl();
  // a, x, y, z, b: x = 0 fails at once (y and z would both be 1), yet
  // propagation keeps 0 in x's domain.
  QrcIntVar a{mgr, 0, 1}, x{mgr, 0, 1}, y{mgr, 0, 1}, z{mgr, 0, 1}, b{mgr, 0, 2};
  QrcDeductionStore* store = new (m) QrcDeductionStore(m, 5);
  std::vector<std::string> log;
  ~Deductions() { mgr.end(); }
  QrcGoal call(void (*f)()) { return QrcGoal(new (m) CallI(m, f)); }
  QrcGoal set(const QrcIntVar& v, QrcInt value) {
    return QrcGoal(new (m) QrcBubbleGenericSetValueI(m, v.getImpl(), value, store));
  }
  QrcGoal remove(const QrcIntVar& v, QrcInt value) {
    return QrcGoal(new (m) QrcBubbleGenericRemoveValueI(m, v.getImpl(), value, store));
  }
  void postNoZero() {
    mgr.add(QrcIntExp(y) >= 1 - QrcIntExp(x));
    mgr.add(QrcIntExp(z) >= 1 - QrcIntExp(x));
    mgr.add(QrcIntExp(y) + QrcIntExp(z) <= 1);
  }
  // "level: kind value ..." of a list.
  std::string show(const char* what, const QrcDeductionList& list) {
    std::string s = std::to_string(store->getLevel()) + " " + what + ":";
    for (QrcDeduction* d = list.head; d; d = d->next)
      s += " " + std::to_string(d->kind) + "/" + std::to_string(d->value);
    return s;
  }
  bool solve(const QrcGoal& g) {
    QrcSearchI* s = m->newSearch(g.getImpl());
    bool found = s->next();
    s->end();
    return found;
  }
};
Deductions* g_d = nullptr;

TEST(DeductionStore, FailedSetsBubbleUpAndAreReplayed) {
  Deductions d;
  g_d = &d;
  d.postNoZero();
  auto current = [] { g_d->log.push_back(g_d->show("current", g_d->store->current()->current)); };
  auto pending = [] { g_d->log.push_back(g_d->show("pending", g_d->store->current()->pending)); };
  QrcGoal fail = QrcGoalFail(d.mgr);
  // b != 2 with nothing pending adds no deduction. Then a = 0 (level 1),
  // x = 0 fails there; backtracking over a = 0 makes x != 0 pending at
  // level 0, where the removal b != 1 replays it (x = 1).
  QrcGoal g =
      QrcAnd(QrcAnd(d.remove(d.b, 2), d.call(current)),
             QrcOr(QrcAnd(d.set(d.a, 0), QrcOr(d.set(d.x, 0), QrcAnd(d.call(current), fail))),
                   QrcAnd(QrcAnd(d.call(pending), d.remove(d.b, 1)), d.call(current))));
  ASSERT_TRUE(d.solve(g));
  EXPECT_EQ(d.log, (std::vector<std::string>{"0 current:", "1 current: 1/0", "0 pending: 1/0",
                                             "0 current: 1/0 1/1"}));
  EXPECT_EQ(d.x.getValue(), 1);
  EXPECT_EQ(d.store->getDecisions(), 4);
}

TEST(DeductionStore, ProbingIsDueAfterEnoughDecisions) {
  Deductions d;
  QrcIntVarArray one(d.mgr, 2);
  one.set(0, d.a);
  one.set(1, QrcIntVar(d.mgr, 3, 3));
  EXPECT_FALSE(d.store->isProbingDue(one));
  for (int i = 0; i < 11; ++i) d.store->countDecision();
  EXPECT_FALSE(d.store->isProbingDue(one));  // 11 - 5 * 2 = 1
  d.store->countDecision();
  EXPECT_TRUE(d.store->isProbingDue(one));  // 12 - 10 = 2
}

TEST(DeductionStore, AnInterruptedProbingPassResumesAfterItsLastValue) {
  Deductions d;
  g_d = &d;
  static QrcIntVarArray vars;
  vars = QrcIntVarArray(d.mgr, 1);
  vars.set(0, d.x);
  auto probe = [] { g_d->store->probingPass(vars); };
  auto pigeons = [] {
    QrcManager mgr(g_d->m);
    mgr.add(QrcIntExp(g_d->x) != QrcIntExp(g_d->y));
    mgr.add(QrcIntExp(g_d->y) != QrcIntExp(g_d->z));
    mgr.add(QrcIntExp(g_d->x) != QrcIntExp(g_d->z));
  };
  auto noZero = [] { g_d->postNoZero(); };
  auto check = [] {
    g_d->log.push_back(g_d->show("current", g_d->store->current()->current) + " x " +
                       std::to_string(g_d->x.getImpl()->getSize()) + " complete " +
                       std::to_string(g_d->store->isPassComplete()));
  };
  // Left: every value of x fails, the pass stops at x = 0 with the node.
  // Right: the resumed pass probes x = 1 only, so x keeps 0 (a full pass
  // would find x != 0 again).
  QrcGoal g = QrcOr(QrcAnd(d.call(pigeons), d.call(probe)),
                    QrcAnd(QrcAnd(d.call(noZero), d.call(probe)), d.call(check)));
  ASSERT_TRUE(d.solve(g));
  EXPECT_EQ(d.log, (std::vector<std::string>{"0 current: 1/0 x 2 complete 1"}));
  // A complete pass starts again from the minimum.
  d.log.clear();
  ASSERT_TRUE(d.solve(QrcAnd(QrcAnd(d.call(noZero), d.call(probe)), d.call(check))));
  EXPECT_EQ(d.log, (std::vector<std::string>{"0 current: 1/0 1/0 x 1 complete 1"}));
  vars = QrcIntVarArray();
}

}  // namespace
