#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine_fixtures.h"
#include "qrcfail.h"
#include "qrcfloatarith.h"
#include "qrcfloatenv.h"
#include "qrcfloatexp.h"
#include "qrcfloatview.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qroplatform.h"
#include "support/call_goal.h"
#include "support/unpooled.h"

using namespace enginetest;

namespace {

class SearchTest : public testing::Test {
 protected:
  void SetUp() override {
    log().clear();
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
  }
  void TearDown() override { mgr.end(); }
  QrcGoal leaf(const char* text, bool failing = false) { return new (m) LogGoal(m, text, failing); }
  // All solutions of a search, one log line per solution.
  std::string enumerate(const QrcGoal& g, int* count = nullptr) {
    QrcSearch s(mgr, g);
    std::string out;
    int n = 0;
    while (s.next()) {
      out += log() + "|";
      log().clear();
      ++n;
    }
    s.end();
    if (count) *count = n;
    return out;
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(SearchTest, EnumeratesLeavesDepthFirst) {
  QrcGoal g = QrcAnd(QrcOr(QrcOr(leaf("a"), leaf("b")), QrcOr(leaf("c"), leaf("d"))),
                     QrcOr(leaf("x"), leaf("y")));
  int n = 0;
  EXPECT_EQ(enumerate(g, &n), "a x |y |b x |y |c x |y |d x |y |");
  EXPECT_EQ(n, 8);
  EXPECT_EQ(m->getChoicePointCount(), 7);
  EXPECT_EQ(m->getOrRecordCount(), 0);
}

// A true goal of the caller's own class runs where an And puts it; the
// library's own true goals run to no effect.
class LoggingTrue : public QrcGoalTrueI {
 public:
  explicit LoggingTrue(QrcManagerI* m) : QrcGoalTrueI(m) {}
  QrcGoalI* execute() override {
    log() += "t ";
    return nullptr;
  }
};

TEST_F(SearchTest, TrueGoalsInAnAnd) {
  QrcGoal g =
      QrcAnd(QrcGoalTrue(mgr), QrcAnd(new (m) LoggingTrue(m), QrcOr(leaf("x"), QrcGoalTrue(mgr))));
  EXPECT_EQ(enumerate(QrcAnd(g, new (m) LoggingTrue(m))), "t x t |t |");
}

TEST_F(SearchTest, FailingBranchesAreSkipped) {
  QrcGoal g = QrcOr(QrcAnd(leaf("a"), leaf("fail", true)), QrcOr(leaf("b", true), leaf("c")));
  EXPECT_EQ(enumerate(g), "a fail b c |");
  EXPECT_EQ(m->getFails(), 2);
}

TEST_F(SearchTest, OneSolutionThenExhausted) {
  QrcSearch s(mgr, leaf("only"));
  EXPECT_TRUE(s.next());
  EXPECT_EQ(s.getImpl()->getState(), QrcSearchI::AtSolution);
  EXPECT_FALSE(s.next());
  EXPECT_EQ(m->getStatus(), QrcSearchExhausted);
  EXPECT_FALSE(s.next());
  s.end();
  EXPECT_EQ(m->getSearchDepth(), 0);
}

QrcGoal failingTree(QrcManagerI* m, int depth) {
  if (depth == 0) return new (m) LogGoal(m, "f", true);
  return QrcOr(failingTree(m, depth - 1), failingTree(m, depth - 1));
}

TEST_F(SearchTest, FailLimitCountsFromWhereItIsSet) {
  m->useExceptions(true);
  for (int i = 0; i < 3; ++i) EXPECT_THROW(m->fail(), QrcFailException);
  m->useExceptions(false);
  m->setFailLimit(5);
  QrcSearch s(mgr, failingTree(m, 5));
  EXPECT_FALSE(s.next());
  EXPECT_EQ(m->getFails(), 8);
  EXPECT_EQ(m->getStatus(), QrcSearchLimited);
  EXPECT_EQ(m->getOrRecordCount(), 0);
  s.end();
  m->unsetLimits();
}

TEST_F(SearchTest, ChoicePointAndTimeLimits) {
  m->setChoicePointLimit(4);
  QrcSearch s(mgr, failingTree(m, 5));
  EXPECT_FALSE(s.next());
  EXPECT_EQ(m->getStatus(), QrcSearchLimited);
  // Limits are tested at failures: the first comes below five choice points.
  EXPECT_EQ(m->getChoicePointCount(), 5);
  EXPECT_EQ(m->getFails(), 1);
  s.end();
  m->unsetLimits();
  m->setTimeLimit(1e-9);
  volatile double sink = 0;
  for (double t = cpuTime(); cpuTime() - t < 0.001;) sink = sink + 1;
  QrcSearch s2(mgr, failingTree(m, 3));
  EXPECT_FALSE(s2.next());
  EXPECT_EQ(m->getStatus(), QrcSearchLimited);
  s2.end();
  m->unsetLimits();
  // Nodes of 2 ms each under a limit of 10 ms: the limit is kept within a
  // clock tick or two, not a count of nodes.
  std::function<void()> slow = [] {
    volatile double x = 0;
    for (double t = cpuTime(); cpuTime() - t < 0.002;) x = x + 1;
  };
  std::function<QrcGoal(int)> slowTree = [&](int depth) -> QrcGoal {
    if (depth == 0) return QrcAnd(new (m) qrotest::CallGoal(m, &slow), leaf("f", true));
    return QrcOr(slowTree(depth - 1), slowTree(depth - 1));
  };
  m->setTimeLimit(0.01);
  QrcInt before = m->getFails();
  QrcSearch s3(mgr, slowTree(8));
  EXPECT_FALSE(s3.next());
  EXPECT_EQ(m->getStatus(), QrcSearchLimited);
  EXPECT_LE(m->getFails() - before, 12);
  s3.end();
  // A limit set in the clock tick of the last read, already passed at the
  // first failure, stops the search there, not a tick later.
  bool checked = false;
  for (int attempt = 0; attempt < 20 && !checked; ++attempt) {
    m->setTimeLimit(3600.0);
    QrcInt tick = qroplatform::coarseClockNanos();
    EXPECT_FALSE(m->isLimitReached());
    m->setTimeLimit(1e-9);
    for (double t = cpuTime(); cpuTime() - t < 1e-6;) sink = sink + 1;
    before = m->getFails();
    QrcSearch s4(mgr, failingTree(m, 3));
    EXPECT_FALSE(s4.next());
    int status = m->getStatus();
    s4.end();
    if (qroplatform::coarseClockNanos() != tick) continue;
    checked = true;
    EXPECT_EQ(status, QrcSearchLimited);
    EXPECT_EQ(m->getFails() - before, 1);
  }
  EXPECT_TRUE(checked);
}

class FixedRule : public QrcChoiceRuleI {
 public:
  explicit FixedRule(int v) : _v(v) {}
  int verdict(QrcGoalI*, QrcGoalI*, QrcAny) override { return _v; }

 private:
  int _v;
};

std::string withRules(QrcManager& mgr, std::initializer_list<int> verdicts) {
  QrcManagerI* m = mgr.getImpl();
  log().clear();
  QrcSearch s(mgr, QrcOr(new (m) LogGoal(m, "a"), new (m) LogGoal(m, "b")));
  for (int v : verdicts) s.getImpl()->addChoiceRule(new (m) FixedRule(v));
  std::string out;
  while (s.next()) out += log() + "|", log().clear();
  s.end();
  return out;
}

TEST_F(SearchTest, ChoiceRules) {
  EXPECT_EQ(withRules(mgr, {}), "a |b |");
  EXPECT_EQ(withRules(mgr, {QrcSecondGoalFirst}), "b |a |");
  EXPECT_EQ(withRules(mgr, {QrcFirstGoalOnly}), "a |");
  EXPECT_EQ(withRules(mgr, {QrcSecondGoalOnly}), "b |");
  EXPECT_EQ(withRules(mgr, {QrcNeitherGoal}), "");
  EXPECT_EQ(withRules(mgr, {QrcSecondGoalFirst, QrcSecondGoalFirst}), "a |b |");
  EXPECT_EQ(withRules(mgr, {QrcFirstGoalOnly, QrcSecondGoalOnly}), "");
  EXPECT_EQ(withRules(mgr, {QrcSecondGoalOnly, QrcSecondGoalFirst}), "b |");
}

QrcGoalI* failWithLabel(QrcManagerI* m, void* label) {
  log() += "x ";
  m->fail(label);
}

TEST_F(SearchTest, LabelledFailureResumesAtItsChoicePoint) {
  static const char l1 = 0, l2 = 0;
  QrcGoal inner = QrcOr(new (m) CallGoal(m, failWithLabel, const_cast<char*>(&l1)), leaf("y"), &l2);
  QrcGoal g = QrcOr(inner, leaf("z"), &l1);
  EXPECT_EQ(enumerate(g), "x z |");
  EXPECT_EQ(m->getStatus(), QrcSearchExhausted);
  // A label that no choice point carries ends the search with status 4.
  static const char l3 = 0;
  QrcGoal g2 = QrcOr(new (m) CallGoal(m, failWithLabel, const_cast<char*>(&l3)), leaf("w"), &l2);
  log().clear();
  EXPECT_EQ(enumerate(g2), "");
  EXPECT_EQ(m->getStatus(), QrcSearchFailedLabel);
}

QrcGoalI* bump(QrcManagerI* m, void* arg) {
  QrcInt* word = static_cast<QrcInt*>(arg);
  m->saveValue(word);
  *word += 1;
  return nullptr;
}

TEST_F(SearchTest, SolveRestoresOrKeepsState) {
  QrcInt word = 10;
  EXPECT_TRUE(m->solve(new (m) CallGoal(m, bump, &word), true));
  EXPECT_EQ(word, 10);
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_TRUE(m->solve(new (m) CallGoal(m, bump, &word), false));
  EXPECT_EQ(word, 11);
  EXPECT_FALSE(m->solve(new (m) LogGoal(m, "f", true), true));
  EXPECT_EQ(word, 11);
}

TEST_F(SearchTest, EndKeepsSolutionAndRestartGoesBack) {
  QrcInt word = 0;
  QrcGoal g = QrcOr(new (m) CallGoal(m, bump, &word),
                    QrcAnd(new (m) CallGoal(m, bump, &word), new (m) CallGoal(m, bump, &word)));
  QrcSearch s(mgr, g);
  EXPECT_TRUE(s.next());
  EXPECT_EQ(word, 1);
  EXPECT_TRUE(s.next());
  EXPECT_EQ(word, 2);
  s.restart();
  EXPECT_EQ(word, 0);
  EXPECT_TRUE(s.next());
  EXPECT_EQ(word, 1);
  s.end();
  EXPECT_EQ(word, 1);
}

TEST_F(SearchTest, ManagerNextRunsAddedGoalsInOrderAndCommitKeepsState) {
  QrcInt word = 0;
  m->add(new (m) LogGoal(m, "g1"));
  m->add(new (m) CallGoal(m, bump, &word));
  m->add(new (m) LogGoal(m, "g3"));
  EXPECT_TRUE(m->next());
  EXPECT_EQ(log(), "g1 g3 ");
  EXPECT_EQ(word, 1);
  m->commit();
  EXPECT_EQ(word, 1);
  EXPECT_EQ(m->getSearchDepth(), 1);
  m->getCurrentSearch()->end();
  EXPECT_EQ(word, 1);
}

TEST_F(SearchTest, ReversibleActionsSurviveCollapseOfAnInnerSearch) {
  // A solution kept by an inner search still undoes its actions when the
  // outer level backtracks.
  QrcSearch outer(mgr, QrcOr(leaf("o1"), leaf("o2")));
  EXPECT_TRUE(outer.next());
  log().clear();
  EXPECT_TRUE(m->solve(new (m) CallGoal(
                           m,
                           [](QrcManagerI* mm, void*) -> QrcGoalI* {
                             mm->addReversibleAction(new (mm) LogGoal(mm, "undo"));
                             return nullptr;
                           },
                           nullptr),
                       false));
  EXPECT_EQ(log(), "");
  EXPECT_TRUE(outer.next());
  EXPECT_EQ(log(), "undo o2 ");
  outer.end();
}

struct NestedProbe {
  QrcInt word;
  QrcBool found;
};

void probeDemon(QrcManagerI* m, void* arg) {
  NestedProbe* p = static_cast<NestedProbe*>(arg);
  QrcGoalI* goal = new (m) CallGoal(m, bump, &p->word);
  p->found = m->solveInPropagation(m->getCurrentDemon(), goal, true);
  log() += p->word == 0 ? "restored " : "kept ";
}

TEST_F(SearchTest, SolveInPropagation) {
  NestedProbe probe{0, 0};
  CallDemon* d = new (m) CallDemon(m, probeDemon, &probe);
  QrcSearch s(mgr, QrcGoal(new (m) CallGoal(
                       m,
                       [](QrcManagerI* mm, void* demon) -> QrcGoalI* {
                         mm->getPropagationQueue()->push(static_cast<QrcDemonI*>(demon),
                                                         QrcHighPriority);
                         return nullptr;
                       },
                       d)));
  EXPECT_TRUE(s.next());
  EXPECT_EQ(probe.found, 1);
  EXPECT_EQ(log(), "restored ");
  s.end();
  EXPECT_EQ(m->getSearchDepth(), 0);
}

QrcGoalI* failDirected(QrcManagerI* mm, void*) {
  setRoundingUp();
  mm->fail();
}

void failDirectedInDemon(QrcManagerI* mm, void*) {
  mm->getPropagationQueue()->enter();
  setRoundingDown();
  mm->fail();
}

QrcGoalI* failingPropagation(QrcManagerI* mm, void*) {
  mm->getPropagationQueue()->push(new (mm) CallDemon(mm, failDirectedInDemon, nullptr),
                                  QrcHighPriority);
  return nullptr;
}

QrcGoalI* checkRoundingAndQueue(QrcManagerI* mm, void*) {
  log() += getRoundingMode() == 1 ? "nearest " : "directed ";
  mm->getPropagationQueue()->push(new (mm) LogDemon(mm, "propagated"), QrcFirstPriority);
  return nullptr;
}

QrcGoalI* pushInner(QrcManagerI* mm, void*) {
  mm->getPropagationQueue()->push(new (mm) LogDemon(mm, "inner"), QrcHighPriority);
  return nullptr;
}

void nestedWithFailure(QrcManagerI* mm, void*) {
  QrcGoal g =
      QrcOr(new (mm) LogGoal(mm, "f", true), QrcGoal(new (mm) CallGoal(mm, pushInner, nullptr)));
  log() += mm->solveInPropagation(mm->getCurrentDemon(), g.getImpl(), true) ? "found " : "none ";
  mm->getPropagationQueue()->push(new (mm) LogDemon(mm, "after"), QrcMiddlePriority);
}

TEST_F(SearchTest, NestedSolvePropagatesAndLeavesTheOuterQueueWorking) {
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    log().clear();
    m->useExceptions(exceptions);
    CallDemon* d = new (m) CallDemon(m, nestedWithFailure, nullptr);
    QrcSearch s(mgr, QrcGoal(new (m) CallGoal(
                         m,
                         [](QrcManagerI* mm, void* demon) -> QrcGoalI* {
                           mm->getPropagationQueue()->push(static_cast<QrcDemonI*>(demon),
                                                           QrcHighPriority);
                           return nullptr;
                         },
                         d)));
    EXPECT_TRUE(s.next());
    EXPECT_EQ(log(), "f inner found after ");
    EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
    s.end();
  }
}

// A constraint whose propagation runs a nested solve.
class NestingConstraint : public QrcConstraintI {
 public:
  explicit NestingConstraint(QrcManagerI* m) : QrcConstraintI(m) {}
  void post() override {}
  void propagate() override { nestedWithFailure(_manager, nullptr); }
};

TEST_F(SearchTest, NestedSolveFromAConstraintPropagation) {
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    log().clear();
    m->useExceptions(exceptions);
    QrcSearch s(mgr, QrcGoal(QrcConstraint(new (m) NestingConstraint(m))));
    EXPECT_TRUE(s.next());
    EXPECT_EQ(log(), "f inner found after ");
    EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
    s.end();
  }
}

TEST_F(SearchTest, RoundingIsNearestAfterFailure) {
  // Failures by jump and by exception, from a goal and from a demon that
  // entered the queue: the next branch sees nearest rounding and a live queue.
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    log().clear();
    m->useExceptions(exceptions);
    QrcGoal check = new (m) CallGoal(m, checkRoundingAndQueue, nullptr);
    QrcGoal g =
        QrcOr(new (m) CallGoal(m, failDirected, nullptr),
              QrcOr(QrcAnd(new (m) CallGoal(m, failingPropagation, nullptr), check), check));
    QrcSearch s(mgr, g);
    EXPECT_TRUE(s.next());
    EXPECT_EQ(getRoundingMode(), 1);
    EXPECT_EQ(log(), "nearest propagated ");
    EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
    s.end();
  }
}

TEST_F(SearchTest, ExceptionModeSearches) {
  m->useExceptions(true);
  QrcGoal g = QrcAnd(QrcOr(QrcOr(leaf("a", true), leaf("b")), leaf("c")),
                     QrcOr(leaf("x", true), leaf("y")));
  EXPECT_EQ(enumerate(g), "a b x y |c x y |");
}

TEST_F(SearchTest, PushAndPopState) {
  m->getTrail()->setRecording(1);
  QrcInt word = 1;
  m->pushState();
  m->saveValue(&word);
  word = 2;
  m->popState();
  EXPECT_EQ(word, 1);
  EXPECT_DEATH(m->popState(), "Solver Error : Too much pop State : incorrect search use");
}

TEST_F(SearchTest, MisuseIsReported) {
  QrcSearchI* s = m->newSearch(leaf("a").getImpl());
  EXPECT_DEATH(m->newSearch(leaf("b").getImpl()),
               "Wrong nesting of startSearch and next methods : incorrect search use");
  s->end();
  EXPECT_DEATH(m->commit(),
               "Solver Error : Commit is called not after a search : incorrect search use");
  EXPECT_DEATH(s->next(), "The next method is called from too deep");
}

TEST_F(SearchTest, StatisticsPrintout) {
  enumerate(QrcOr(leaf("a", true), leaf("b")));
  std::ostringstream os;
  m->printStatistics(os);
  std::istringstream in(os.str());
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 13u) << os.str();
  const char* labels[] = {"Number of fails               : ", "Number of choice points       : ",
                          "Number of variables           : ", "Number of constraints         : ",
                          "Reversible stack (bytes)      : ", "Solver heap (bytes)           : ",
                          "Solver global heap (bytes)    : ", "And stack (bytes)             : ",
                          "Or stack (bytes)              : ", "Search Stack (bytes)          : ",
                          "Constraint queue (bytes)      : ", "Total memory used (bytes)     : ",
                          "Running time since creation   : "};
  unsigned long long sum = 0;
  for (size_t i = 0; i < 13; ++i) {
    ASSERT_EQ(lines[i].rfind(labels[i], 0), 0u) << lines[i];
    unsigned long long v = std::stoull(lines[i].substr(32));
    if (i >= 4 && i <= 10) sum += v;
    if (i == 11) {
      EXPECT_EQ(v, sum);
    }
  }
  EXPECT_EQ(lines[0], "Number of fails               : 1");
  EXPECT_EQ(lines[1], "Number of choice points       : 1");
  EXPECT_EQ(lines[10], "Constraint queue (bytes)      : 16280");
  m->resetStatistics();
  std::ostringstream os2;
  m->printStatistics(os2);
  EXPECT_NE(os2.str().find("Number of fails               : 0\n"), std::string::npos);
}

}  // namespace

namespace {

class CountingFilter : public QrcOptFilterI {
 public:
  CountingFilter() : QrcOptFilterI(nullptr) {}
  QrcFloat getBound() const override { return 0; }
  QrcBool checkValue(QrcFloat) const override { return 1; }
  void applyBound() override { ++applied; }
  void computeNextBound() override { ++computed; }
  void update() override { ++updated; }
  void advanceBound() override { ++advanced; }
  int applied = 0, computed = 0, updated = 0, advanced = 0;
};

TEST_F(SearchTest, ObjectiveFilterAndEndCallback) {
  CountingFilter* f = new (m) CountingFilter();
  QrcSearch s(mgr, QrcOr(leaf("a"), leaf("b")));
  s.getImpl()->setOptFilter(f);
  s.setEndCallback(leaf("ended"));
  EXPECT_TRUE(s.next());
  EXPECT_EQ(f->updated, 1);
  EXPECT_EQ(f->computed, 1);
  EXPECT_EQ(f->_active, 0);
  EXPECT_TRUE(s.next());
  EXPECT_EQ(f->updated, 2);
  m->applyObjectiveBound();
  EXPECT_EQ(f->applied, 1);
  s.restart();
  EXPECT_EQ(f->advanced, 1);
  log().clear();
  s.end();
  EXPECT_EQ(log(), "ended ");
  EXPECT_EQ(s.getImpl(), nullptr);
}

}  // namespace

namespace {

TEST(AutomaticPushStates, RepeatedSearchesOverFiledConstraints) {
  log().clear();
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  m->setAutomaticPushState(1);
  m->add(new (m) LogConstraint(m, "c"));
  QrcInt word = 0;
  m->add(QrcOr(new (m) CallGoal(m, bump, &word), new (m) LogGoal(m, "second")).getImpl());
  for (int round = 0; round < 4; ++round) {
    log().clear();
    ASSERT_TRUE(m->next()) << round;
    EXPECT_EQ(word, 1) << round;
    EXPECT_NE(log().find("post:c prop:c"), std::string::npos) << round << " " << log();
    ASSERT_TRUE(m->next()) << round;
    EXPECT_EQ(word, 0) << round;
    EXPECT_FALSE(m->next()) << round;
    m->restart();
    EXPECT_EQ(m->getSearchDepth(), 0);
  }
  mgr.end();
}

// The root posted by the first search stays under a state of its own: after
// the search ends above it, popping that state gives the root back, and the
// next search posts nothing again.
TEST(AutomaticPushStates, EndedSearchKeepsTheRootUnderItsOwnState) {
  log().clear();
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  m->setAutomaticPushState(1);
  m->add(new (m) LogConstraint(m, "c"));
  for (int round = 0; round < 3; ++round) {
    log().clear();
    QrcSearch s(mgr, new (m) LogGoal(m, "g"));
    ASSERT_TRUE(s.next());
    EXPECT_EQ(log().find("post:c") != std::string::npos, round == 0) << log();
    EXPECT_EQ(m->getPushStateLevel(), 3);
    s.end();
    EXPECT_EQ(m->getPushStateLevel(), 2);
    // The root's own state and the one under the posting.
    EXPECT_EQ(m->getPushStateDepth(), 2);
    m->popState();
    EXPECT_EQ(m->getPushStateLevel(), 1);
  }
  mgr.end();
}

// Solves a goal in its propagation (undone, then kept), and fails while armed.
class NestedSolveArmedCt : public QrcConstraintI {
 public:
  NestedSolveArmedCt(QrcManagerI* m, QrcIntExpI* x, const bool* armed)
      : QrcConstraintI(m), _x(x), _armed(armed) {}
  void post() override { _x->whenRange(this); }
  void propagate() override {
    for (bool restore : {true, false})
      _manager->solveInPropagation(this, new (_manager) LogGoal(_manager, "nested"), restore);
    if (*_armed) fail();
  }

 private:
  QrcIntExpI* _x;
  const bool* _armed;
};

// A narrowing at the root kept under its states whose propagation runs a
// search and fails: the search, at depth 0, makes no state and pops none.
TEST(AutomaticPushStates, NestedSearchOfAFailedRootNarrowingLeavesTheStates) {
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(true);
  m->setAutomaticPushState(1);
  QrcIntVar x(mgr, 0, 9);
  bool armed = false;
  m->add(new (m) NestedSolveArmedCt(m, x.getImpl(), &armed));
  QrcSearch s(mgr, new (m) LogGoal(m, "g"));
  ASSERT_TRUE(s.next());
  s.end();
  armed = true;
  EXPECT_THROW(x.getImpl()->setMin(3), QrcFailException);
  EXPECT_EQ(x.getMin(), 0);
  EXPECT_TRUE(m->isInEditMode());
  EXPECT_EQ(m->getPushStateLevel(), 2);
  EXPECT_EQ(m->getPushStateDepth(), 2);
  EXPECT_EQ(m->getOrRecordCount(), 2);
  mgr.end();
}

// Out of edit mode, a root narrowing whose propagation runs searches: their
// end leaves the manager out of edit mode.
TEST(AutomaticPushStates, NestedSearchOfARootNarrowingKeepsTheEditMode) {
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  m->leaveEditMode();
  QrcIntVar x(mgr, 0, 9);
  bool armed = false;
  m->add(new (m) NestedSolveArmedCt(m, x.getImpl(), &armed));
  x.setMin(3);
  EXPECT_EQ(x.getMin(), 3);
  EXPECT_FALSE(m->isInEditMode());
  mgr.end();
}

TEST(AutomaticPushStates, FailureWhilePostingUndoesThePushStates) {
  log().clear();
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  m->setAutomaticPushState(1);
  m->add(new (m) LogConstraint(m, "bad", QrcConstraintI::DefaultEditPriority, true));
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(m->next());
    m->restart();
  }
  EXPECT_EQ(m->getOrRecordCount(), 0);
  mgr.end();
}

}  // namespace

namespace {

class EventLog : public QrcSearchEventMonitorI {
 public:
  explicit EventLog(const char* name) : _name(name) {}
  void solutionFound(void*) override { add("solution"); }
  void restarted() override { add("restart"); }
  void ended() override { add("end"); }
  void beforePostingEditConstraints() override { add("before"); }
  void afterPostingEditConstraints() override { add("after"); }
  void backtrack(QrcAny) override { add("backtrack"); }

 private:
  void add(const char* what) {
    log() += _name;
    log() += ":";
    log() += what;
    log() += " ";
  }
  const char* _name;
};

// A fail callback that a goal adds below a choice point goes with its
// branch: each backtrack inside the branch runs it, the backtrack out of the
// branch and those of the next branch do not. Without the engine's pooling
// the sanitizers see a cell the backtrack gave back.
TEST(SearchCallbacks, AFailCallbackAddedInABranchGoesWithIt) {
  for (bool pooled : {false, true}) {
    QrcManager mgr = qrotest::managerPooled(pooled);
    QrcManagerI* m = mgr.getImpl();
    QrcIntVarArray x(mgr, 1, 0, 2), y(mgr, 1, 0, 1);
    int runs = 0;
    std::function<void()> count = [&runs] { ++runs; };
    std::function<void()> add = [m, &count] {
      m->addFailCallback(new (m) qrotest::CallGoal(m, &count));
    };
    QrcSearch s(mgr, QrcAnd(QrcGenerate(x),
                            QrcAnd(QrcGoal(new (m) qrotest::CallGoal(m, &add)), QrcGenerate(y))));
    int found = 0;
    while (s.next()) ++found;
    s.end();
    EXPECT_EQ(found, 6);
    // One backtrack to y's choice under each value of x.
    EXPECT_EQ(runs, 3) << (pooled ? "" : "unpooled");
    mgr.end();
  }
}

TEST(SearchMonitors, FirstInstalledHearsFirst) {
  log().clear();
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  EventLog first("1"), second("2");
  QrcSearch s(mgr, new (m) LogGoal(m, "g"));
  s.setMonitor(&first);
  s.setMonitor(&second);
  EXPECT_TRUE(s.next());
  EXPECT_EQ(log(), "1:before 2:before 1:after 2:after g 1:solution 2:solution ");
  log().clear();
  s.restart();
  s.end();
  EXPECT_EQ(log(), "1:backtrack 2:backtrack 1:restart 2:restart 1:end 2:end ");
  mgr.end();
}

}  // namespace

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

TEST(SearchErrors, AThrowingReportLeavesTheSearchUsable) {
  log().clear();
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  ThrowingReporter r;
  m->setErrorReporter(&r);
  QrcGoal bad = new (m) CallGoal(
      m,
      [](QrcManagerI* mm, void*) -> QrcGoalI* {
        mm->popState();  // misuse inside a search
        return nullptr;
      },
      nullptr);
  QrcSearch s(mgr, QrcOr(bad, new (m) LogGoal(m, "b")));
  testing::internal::CaptureStderr();
  EXPECT_THROW(s.next(), int);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("pop state in the wrong context"),
            std::string::npos);
  EXPECT_EQ(m->getNextDepth(), 0);
  s.end();
  EXPECT_EQ(m->getSearchDepth(), 0);
  m->setErrorReporter(nullptr);
  mgr.end();
}

}  // namespace

namespace {

// Minimising through the search handle: x, y, z in [0, 4] with x + y + z >= 5
// and x != y, cost 3x + 2y + z^2 (integer) or a tenth of it plus 0.05 (float).
struct ObjectiveModel {
  QrcManager mgr{QrcNoEdit};
  QrcIntVarArray vars{mgr, 3, 0, 4};
  QrcIntExp cost;
  ObjectiveModel() {
    QrcIntVar x = vars[0], y = vars[1], z = vars[2];
    mgr.add(x + y + z >= 5);
    mgr.add(x != y);
    cost = 3 * x + 2 * y + z * z;
  }
  ~ObjectiveModel() { mgr.end(); }
  // The costs of the solutions found, in order; again, the first one found
  // after two restarts (-1: none).
  template <class Var>
  std::vector<double> run(const Var& objective, double step, double relativeStep) {
    std::vector<double> found;
    QrcSearch s(mgr, QrcGenerate(vars));
    s.setObjMin(objective, step, relativeStep);
    while (s.next() && found.size() < 100) found.push_back(objective.getMin());
    s.restart();
    s.restart();
    again = s.next() ? objective.getMin() : -1;
    s.end();
    return found;
  }
  double again = -1;
  static double best() {
    double b = 1e9;
    for (int x = 0; x <= 4; ++x)
      for (int y = 0; y <= 4; ++y)
        for (int z = 0; z <= 4; ++z)
          if (x + y + z >= 5 && x != y) b = std::min(b, 3.0 * x + 2.0 * y + z * z);
    return b;
  }
};

TEST(SearchObjective, IntegerObjectiveImprovesByItsSteps) {
  struct Case {
    QrcInt step;
    double relative;
  } cases[] = {{1, 0.0}, {3, 0.0}, {1, 0.5}};
  for (const Case& c : cases) {
    ObjectiveModel model;
    QrcIntVar cost(model.cost);
    std::vector<double> found = model.run(cost, static_cast<double>(c.step), c.relative);
    ASSERT_GE(found.size(), 2u) << c.step;
    for (size_t i = 1; i < found.size(); ++i) {
      double gain = std::max(static_cast<double>(c.step), std::ceil(found[i - 1] * c.relative));
      EXPECT_LE(found[i], found[i - 1] - gain) << c.step << " " << c.relative;
    }
    // With a step of 1 the last solution is the optimum; a larger step may
    // stop short of it, never by as much as the step.
    double gap = c.relative > 0 ? std::ceil(found.back() * c.relative) : c.step;
    EXPECT_GE(found.back(), ObjectiveModel::best());
    EXPECT_LT(found.back() - ObjectiveModel::best(), std::max(gap, 1.0));
    if (c.step == 1 && c.relative == 0) {
      EXPECT_EQ(found.back(), ObjectiveModel::best());
    }
    // A restart finds the best solution again, never a worse one.
    EXPECT_EQ(model.again, found.back()) << c.step << " " << c.relative;
  }
}

TEST(SearchObjective, FloatObjectiveImprovesByItsSteps) {
  for (double step : {0.0001, 0.25}) {
    ObjectiveModel model;
    QrcFloatVar cost(model.cost * 0.1 + 0.05);
    std::vector<double> found = model.run(cost, step, 0.0);
    ASSERT_GE(found.size(), 2u) << step;
    for (size_t i = 1; i < found.size(); ++i) EXPECT_LE(found[i], found[i - 1] - step) << step;
    EXPECT_EQ(model.again, found.back()) << step;
    double best = ObjectiveModel::best() * 0.1 + 0.05;
    EXPECT_GE(found.back(), best - 1e-9);
    EXPECT_LT(found.back() - best, std::max(step, 1e-9));
  }
}

TEST(SearchObjective, MisuseIsReported) {
  EXPECT_DEATH(QrcSearch().setObjMin(QrcIntVar(), 1, 0.0),
               "Solver Error : empty QrcSearch : QrcSearch::setObjMin");
  EXPECT_DEATH(QrcSearch().setObjMin(QrcFloatVar(), 0.1, 0.0),
               "Solver Error : empty QrcSearch : QrcSearch::setObjMin");
  ObjectiveModel model;
  QrcManager other(QrcNoEdit);
  QrcIntVar foreign(other, 0, 3);
  ThrowingReporter r;
  model.mgr.getImpl()->setErrorReporter(&r);
  QrcSearch s(model.mgr, QrcGenerate(model.vars));
  QrcSearch stale = s;
  // The code of each report, and no filter installed.
  auto code = [](const std::function<void()>& f) {
    testing::internal::CaptureStderr();
    int c = -1;
    try {
      f();
    } catch (int thrown) {
      c = thrown;
    }
    testing::internal::GetCapturedStderr();
    return c;
  };
  EXPECT_EQ(code([&] { s.setObjMin(QrcIntVar(), 1, 0.0); }), QrcEmptyHandleError);
  EXPECT_EQ(code([&] { s.setObjMin(QrcFloatVar(), 1, 0.0); }), QrcEmptyHandleError);
  EXPECT_EQ(code([&] { s.setObjMin(foreign, 1, 0.0); }), QrcManagersDifferError);
  EXPECT_EQ(s.getImpl()->getOptFilter(), nullptr);
  s.end();
  EXPECT_EQ(code([&] { stale.setObjMin(QrcIntVar(model.cost), 1, 0.0); }), QrcSearchMisuseError);
  model.mgr.getImpl()->setErrorReporter(nullptr);
  other.end();
}

}  // namespace
