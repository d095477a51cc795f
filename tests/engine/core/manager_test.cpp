// The manager: queue order, choice points, fail traps, edit mode, statistics
// and its start-up state. It includes qrcfloatconstants.h, private to the float
// layer, to check that making a manager sets up the rounded constants.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "engine_fixtures.h"
#include "qrcfail.h"
#include "qrcfloatenv.h"
#include "qrcint.h"
#include "qrcmanager.h"
#include "qrorandom.h"

using namespace enginetest;

namespace {

class ManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    log().clear();
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
  }
  void TearDown() override { mgr.end(); }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(ManagerTest, QueueRunsEventsThenLowerLevelsFirst) {
  QrcPropagationQueueI* q = m->getPropagationQueue();
  QrcDemonI* d5 = new (m) LogDemon(m, "d5");
  QrcDemonI* d1 = new (m) LogDemon(m, "d1");
  LogHandler* h = new (m) LogHandler(m, "h");
  q->enter();
  q->push(d5, QrcLastPriority);
  q->push(d1, QrcFirstPriority);
  h->schedule();
  EXPECT_EQ(log(), "");
  q->leave();
  EXPECT_EQ(log(), "h d1 d5 ");
  QrcInt stamp = q->getPropagationStamp();
  q->push(d1, QrcMiddlePriority);
  EXPECT_EQ(q->getPropagationStamp(), stamp + 1);
}

// Each list carves its own 250-cell blocks, one of them kept spare: 249 items
// fit in a list before it takes a second block, whatever the other lists hold.
TEST_F(ManagerTest, EachQueueListHasItsOwnCellBlocks) {
  QrcPropagationQueueI* q = m->getPropagationQueue();
  EXPECT_EQ(q->getBytes(), 16280u);
  q->enter();
  for (int i = 0; i < 249; ++i) {
    q->push(new (m) LogDemon(m, ""), QrcFirstPriority);
    q->push(new (m) LogDemon(m, ""), QrcLastPriority);
  }
  EXPECT_EQ(q->getBytes(), 16280u);
  q->push(new (m) LogDemon(m, ""), QrcFirstPriority);
  EXPECT_EQ(q->getBytes(), 16280u + 4008u);
  q->leave();
  // Drained cells go back to their own list: refilling takes no new block.
  q->enter();
  for (int i = 0; i < 249; ++i) q->push(new (m) LogDemon(m, ""), QrcLastPriority);
  q->leave();
  EXPECT_EQ(q->getBytes(), 16280u + 4008u);
}

void addAndWake(QrcManagerI* m, void* arg) {
  log() += "D ";
  m->add(static_cast<QrcConstraintI*>(arg));
  (new (m) LogHandler(m, "H"))->schedule();
}

TEST_F(ManagerTest, ConstraintAddedDuringPropagationWaitsForEvents) {
  LogConstraint* c = new (m) LogConstraint(m, "C");
  m->getPropagationQueue()->push(new (m) CallDemon(m, addAndWake, c), QrcHighPriority);
  EXPECT_EQ(log(), "D H post:C prop:C ");
  EXPECT_TRUE(c->isPosted());
  EXPECT_EQ(c->getParent(), c);  // added by a plain demon, not a constraint
}

void addOnly(QrcManagerI* m, void* arg) {
  log() += "D ";
  m->add(static_cast<QrcConstraintI*>(arg));
}

TEST_F(ManagerTest, ConstraintAddedDuringPropagationIsPostedWithoutAnEvent) {
  LogConstraint* c = new (m) LogConstraint(m, "C");
  m->getPropagationQueue()->push(new (m) CallDemon(m, addOnly, c), 2);
  EXPECT_EQ(log(), "D post:C prop:C ");
  // Added while a conjunction is posted: posted before add returns.
  log().clear();
  LogConstraint* a = new (m) LogConstraint(m, "A");
  LogConstraint* b = new (m) LogConstraint(m, "B");
  m->add((QrcConstraint(a) && QrcConstraint(b)).getImpl());
  EXPECT_EQ(log(), "post:A prop:A post:B prop:B ");
  EXPECT_EQ(m->getPropagationQueue()->firstNonEmptyPostingLevel(), 5);
}

void reschedule(QrcManagerI* m, void*) {
  (new (m) LogHandler(m, "", reschedule))->schedule();
}

TEST_F(ManagerTest, StepLimitFailsRunawayPropagation) {
  m->useExceptions(true);
  m->getPropagationQueue()->setStepLimit(10);
  QrcInt fails = m->getFails();
  EXPECT_THROW(reschedule(m, nullptr), QrcFailException);
  EXPECT_EQ(m->getFails(), fails + 1);
}

TEST_F(ManagerTest, PoppingChoicePointRestoresEverything) {
  m->getTrail()->setRecording(1);
  QrcInt word = 1;
  m->pushGoal(new (m) LogGoal(m, "below"));
  QrcDemonI* d = new (m) LogDemon(m, "queued");
  QrcGoalI* g1 = new (m) LogGoal(m, "first");
  QrcGoalI* g2 = new (m) LogGoal(m, "second");
  QrcInt heapTop = m->getHeap()->getTop();
  m->pushChoicePoint(g1, g2, nullptr);
  m->saveValue(&word);
  word = 2;
  m->allocate(100);
  m->pushGoal(new (m) LogGoal(m, "above"));
  m->getPropagationQueue()->enter();
  m->getPropagationQueue()->push(d, QrcMiddlePriority);
  EXPECT_EQ(d->getState(), QrcRootGoalDemonI::Pending);
  QrcWord second = 0;
  QrcGoalI* first = m->popChoicePoint(&second, nullptr);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(word, 1);
  EXPECT_EQ(m->getHeap()->getTop(), heapTop);
  EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
  // A fresh demon marked pending is fresh again after backtracking.
  EXPECT_EQ(d->getState(), QrcRootGoalDemonI::Fresh);
  // The And stack holds only the goal pushed before the choice point.
  EXPECT_TRUE(m->executeGoals());
  EXPECT_EQ(log(), "below ");
}

TEST_F(ManagerTest, NoRestoreRecordRestoresNothing) {
  m->getTrail()->setRecording(1);
  QrcInt word = 1;
  QrcInt stamp = m->getStamp();
  m->addReversibleActionNoRestore(new (m) LogGoal(m, "action"));
  EXPECT_EQ(m->getStamp(), stamp);
  m->saveValue(&word);
  word = 2;
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(word, 2);
}

TEST_F(ManagerTest, GroupedActionsShareRecordsAndRunInReverseOrder) {
  QrcInt records = m->getOrRecordCount();
  QrcInt stamp = m->getStamp();
  m->addGroupedReversibleAction(new (m) LogGoal(m, "A"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "B"));
  EXPECT_EQ(m->getOrRecordCount(), records + 1);
  EXPECT_EQ(m->getStamp(), stamp);
  // A record pushed in between ends the group: the next one starts another.
  m->addReversibleActionNoRestore(new (m) LogGoal(m, "C"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "D"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "E"));
  EXPECT_EQ(m->getOrRecordCount(), records + 3);
  QrcGoalI* first = m->popChoicePoint(nullptr, nullptr);
  static_cast<QrcReversibleI*>(first)->getGoal()->execute();
  // After a pop, even at the same top, a grouped action has a record of its own.
  m->addGroupedReversibleAction(new (m) LogGoal(m, "F"));
  EXPECT_EQ(m->getOrRecordCount(), records + 3);
  while (m->getOrRecordCount() > records) {
    first = m->popChoicePoint(nullptr, nullptr);
    static_cast<QrcReversibleI*>(first)->getGoal()->execute();
  }
  EXPECT_EQ(log(), "E D F C B A ");
}

// The caller's cells join the same records, the group starting on one of them.
TEST_F(ManagerTest, GroupedActionsTakeTheCallersCells) {
  QrcInt records = m->getOrRecordCount();
  QrcGoalCell cells[3];
  m->addGroupedReversibleAction(new (m) LogGoal(m, "A"), &cells[0]);
  m->addGroupedReversibleAction(new (m) LogGoal(m, "B"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "C"), &cells[1]);
  EXPECT_EQ(m->getOrRecordCount(), records + 1);
  m->addReversibleActionNoRestore(new (m) LogGoal(m, "D"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "E"), &cells[2]);
  EXPECT_EQ(m->getOrRecordCount(), records + 3);
  while (m->getOrRecordCount() > records) {
    QrcGoalI* first = m->popChoicePoint(nullptr, nullptr);
    static_cast<QrcReversibleI*>(first)->getGoal()->execute();
  }
  EXPECT_EQ(log(), "E D C B A ");
}

QrcGoalI* addGroupedActions(QrcManagerI* m, void*) {
  m->addGroupedReversibleAction(new (m) LogGoal(m, "A"));
  m->addReversibleAction(new (m) LogGoal(m, "B"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "C"));
  m->addGroupedReversibleAction(new (m) LogGoal(m, "D"));
  m->fail();
}

TEST_F(ManagerTest, GroupedActionsRunOnFailure) {
  QrcSearchI* s = m->newSearch(new (m) CallGoal(m, addGroupedActions, nullptr));
  EXPECT_FALSE(s->next());
  EXPECT_EQ(log(), "D C B A ");
  s->end();
}

QrcGoalI* addActions(QrcManagerI* m, void*) {
  m->addReversibleAction(new (m) LogGoal(m, "A"));
  m->addReversibleAction(new (m) LogGoal(m, "B"));
  m->fail();
}

TEST_F(ManagerTest, ReversibleActionsRunInReverseOrder) {
  QrcSearchI* s = m->newSearch(new (m) CallGoal(m, addActions, nullptr));
  EXPECT_FALSE(s->next());
  EXPECT_EQ(log(), "B A ");
  s->end();
}

TEST_F(ManagerTest, FailureOutsideSolve) {
  EXPECT_DEATH(m->fail(),
               "^Solver Error : QrcFail : fail not in a Solve \\(try enclosing in QrcSolve\\)\n$");
  EXPECT_DEATH(
      m->fail(&log()),
      "Solver Error : QrcFail : fail not in a Solve \\(try enclosing in QrcSolve\\) : Label  : 0x");
  m->useExceptions(true);
  QrcInt fails = m->getFails();
  EXPECT_THROW(m->fail(), QrcFailException);
  EXPECT_EQ(m->getFails(), fails + 1);
}

class LoggingTrap : public QrcTryCatchFailI {
 public:
  LoggingTrap(QrcManagerI* m, bool failing, QrcTryCatchFailI* inner = nullptr)
      : QrcTryCatchFailI(m, nullptr), _failing(failing), _inner(inner) {}
  void body() override {
    log() += "body ";
    if (_inner) log() += _inner->run() ? "inner-ok " : "inner-failed ";
    if (_failing) _manager->fail();
  }
  void onFail(QrcManagerI*) override { log() += "caught "; }

 private:
  bool _failing;
  QrcTryCatchFailI* _inner;
};

void runTraps(QrcManagerI* m) {
  LoggingTrap* inner = new (m) LoggingTrap(m, true);
  LoggingTrap* outer = new (m) LoggingTrap(m, false, inner);
  EXPECT_TRUE(outer->run());
  EXPECT_EQ(m->getFailTrap(), nullptr);
  LoggingTrap* failing = new (m) LoggingTrap(m, true);
  EXPECT_FALSE(failing->run());
  EXPECT_EQ(m->getFailTrap(), nullptr);
}

TEST_F(ManagerTest, FailTrapsCatchAndRestoreOuterTrap) {
  QrcInt fails = m->getFails();
  runTraps(m);
  EXPECT_EQ(log(), "body body caught inner-failed body caught ");
  EXPECT_EQ(m->getFails(), fails);
  log().clear();
  m->useExceptions(true);
  runTraps(m);
  EXPECT_EQ(log(), "body body caught inner-failed body caught ");
}

class ThrowingTrap : public QrcTryCatchFailI {
 public:
  explicit ThrowingTrap(QrcManagerI* m) : QrcTryCatchFailI(m, nullptr) {}
  void body() override { throw 7; }
  void onFail(QrcManagerI*) override { log() += "caught "; }
};

TEST_F(ManagerTest, AnErrorThrownThroughATrapUninstallsIt) {
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    m->useExceptions(exceptions);
    EXPECT_THROW((new (m) ThrowingTrap(m))->run(), int);
    EXPECT_EQ(m->getFailTrap(), nullptr);
  }
  // A later failure is a plain failure again, counted and reported as such.
  QrcInt fails = m->getFails();
  EXPECT_THROW(m->fail(), QrcFailException);
  EXPECT_EQ(m->getFails(), fails + 1);
  EXPECT_EQ(log(), "");
}

class SolvingTrap : public QrcTryCatchFailI {
 public:
  SolvingTrap(QrcManagerI* m, QrcGoalI* goal) : QrcTryCatchFailI(m, nullptr), _goal(goal) {}
  void body() override {
    log() += _manager->solve(_goal, true) ? "solved " : "no-solution ";
    if (_manager->getFailTrap() != &_buffer) log() += "trap-lost ";
  }
  void onFail(QrcManagerI*) override { log() += "caught "; }

 private:
  QrcGoalI* _goal;
};

TEST_F(ManagerTest, ASearchInsideATrapTakesItsOwnFailures) {
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    log().clear();
    m->useExceptions(exceptions);
    QrcGoal g = QrcOr(new (m) LogGoal(m, "a", true), new (m) LogGoal(m, "b"));
    EXPECT_TRUE((new (m) SolvingTrap(m, g.getImpl()))->run());
    EXPECT_EQ(log(), "a b solved ");
    EXPECT_EQ(m->getFailTrap(), nullptr);
    EXPECT_EQ(m->getSearchDepth(), 0);
  }
}

// Fails the way a narrowing does halfway: queue entered, rounding directed,
// scratch array held.
class HalfwayFailingTrap : public QrcTryCatchFailI {
 public:
  explicit HalfwayFailingTrap(QrcManagerI* m) : QrcTryCatchFailI(m, nullptr) {}
  void body() override {
    _manager->getPropagationQueue()->enter();
    _manager->lockIntArray(4);
    _manager->lockArrayFromPool(4);
    setRoundingDown();
    _manager->fail();
  }
  void onFail(QrcManagerI*) override {
    log() += getRoundingMode() == 1 ? "caught-nearest " : "caught-directed ";
  }
};

TEST_F(ManagerTest, FailTrapRestoresQueueStateSeenOnEntry) {
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    log().clear();
    m->useExceptions(exceptions);
    QrcPropagationQueueI* q = m->getPropagationQueue();
    QrcInt nesting = q->getNesting();
    QrcInt* held = m->lockArrayFromPool(4);  // locked before: stays locked
    QrcWord locks = m->getPoolLockMask();
    EXPECT_FALSE((new (m) HalfwayFailingTrap(m))->run());
    EXPECT_EQ(m->getPoolLockMask(), locks);
    m->unlockArrayFromPool(held);
    EXPECT_EQ(log(), "caught-nearest ");
    EXPECT_EQ(q->getNesting(), nesting);
    EXPECT_EQ(getRoundingMode(), 1);
    EXPECT_FALSE(m->isArrayLocked());
    EXPECT_EQ(m->getFailTrap(), nullptr);
    // Entered under directed rounding, the trap leaves it directed.
    log().clear();
    setRoundingUp();
    EXPECT_FALSE((new (m) HalfwayFailingTrap(m))->run());
    EXPECT_EQ(log(), "caught-directed ");
    EXPECT_EQ(getRoundingMode(), 2);
    setRoundingNearest();
    log() = "caught-nearest ";
    // Propagation still runs afterwards.
    q->push(new (m) LogDemon(m, "after"), QrcHighPriority);
    EXPECT_EQ(log(), "caught-nearest after ");
  }
}

// A demon failing inside a trap while the queue drains (the trap entered at
// nesting 1) leaves the queue working for the demons still pending.
void failInTrap(QrcManagerI* m, void*) {
  log() += (new (m) HalfwayFailingTrap(m))->run() ? "ok " : "";
}

TEST_F(ManagerTest, FailTrapInsideADrainKeepsThePendingDemons) {
  QrcPropagationQueueI* q = m->getPropagationQueue();
  q->enter();
  q->push(new (m) CallDemon(m, failInTrap, nullptr), QrcFirstPriority);
  q->push(new (m) LogDemon(m, "later"), QrcMiddlePriority);
  q->leave();
  EXPECT_EQ(log(), "caught-nearest later ");
  EXPECT_EQ(q->getNesting(), 0);
  q->push(new (m) LogDemon(m, "again"), QrcFirstPriority);
  EXPECT_EQ(log(), "caught-nearest later again ");
}

// Handler serving a constraint that has a truth variable; its first
// processing fails halfway.
class FailingOnceHandler : public LogHandler {
 public:
  FailingOnceHandler(QrcManagerI* m, QrcDemonI* first) : LogHandler(m, "h"), _first(first) {}
  void process() override {
    _state = Processing;
    log() += "h ";
    if (!_failed) {
      _failed = true;
      _manager->fail();
    }
    _state = Idle;
  }
  QrcDemonI* getFirstDemon() const override { return _first; }

 private:
  QrcDemonI* _first;
  bool _failed = false;
};

TEST_F(ManagerTest, HandlerTrappedFailureLeavesTheHandlerSchedulable) {
  for (bool exceptions : {false, true}) {
    SCOPED_TRACE(exceptions ? "exceptions" : "jump");
    log().clear();
    m->useExceptions(exceptions);
    QrcIntVar truth(mgr, 0, 1);
    LogConstraint* ct = new (m) LogConstraint(m, "c");
    ct->setFailureVariable(truth.getImpl());
    FailingOnceHandler* h = new (m) FailingOnceHandler(m, new (m) LogDemon(m, "d", ct));
    h->schedule();
    EXPECT_EQ(log(), "h ");
    EXPECT_EQ(truth.getMax(), 0);
    EXPECT_EQ(h->getState(), QrcEventHandlerI::Idle);
    h->schedule();
    EXPECT_EQ(log(), "h ");  // the truth variable is false: the handler's work is skipped
    EXPECT_EQ(h->getState(), QrcEventHandlerI::Idle);
  }
}

TEST_F(ManagerTest, TracePrintsChoicePointsAndFailures) {
  std::ostringstream trace;
  m->setTraceStream(trace);
  m->setTrace(true);
  QrcGoal g = QrcOr(new (m) LogGoal(m, "a", true), new (m) LogGoal(m, "b"));
  QrcSearchI* s = m->newSearch(g.getImpl());
  EXPECT_TRUE(s->next());
  s->end();
  EXPECT_EQ(trace.str(), "QrcOr   : 1\nQrcFail : 1\n");
}

TEST(ManagerEdit, FiledConstraintsPostAtFirstNextByPriority) {
  log().clear();
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  EXPECT_TRUE(m->isInEditMode());
  m->add(new (m) LogConstraint(m, "c1", 3));
  m->add(new (m) LogConstraint(m, "c2", 0));
  LogConstraint* removed = new (m) LogConstraint(m, "c3", 1);
  m->add(removed);
  m->add(new (m) LogConstraint(m, "c4", 9));
  m->remove(removed);
  EXPECT_EQ(log(), "");
  EXPECT_TRUE(m->next());
  EXPECT_EQ(log(), "post:c2 prop:c2 post:c1 prop:c1 post:c4 prop:c4 ");
  EXPECT_FALSE(removed->isPosted());
  mgr.end();
}

TEST(ManagerEdit, FailingFiledConstraintEndsTheSearch) {
  log().clear();
  QrcManager mgr(QrcEdit);
  QrcManagerI* m = mgr.getImpl();
  m->add(new (m) LogConstraint(m, "bad", QrcConstraintI::DefaultEditPriority, true));
  EXPECT_FALSE(m->next());
  EXPECT_EQ(m->getOrRecordCount(), 0);
  mgr.end();
}

TEST_F(ManagerTest, ResetClearsCountsAndHeapWords) {
  m->add(new (m) LogConstraint(m, "c"));
  m->getTrueConstraint();
  m->incrementVariableCount();
  EXPECT_EQ(m->getConstraintCount(), 1);
  m->reset();
  EXPECT_EQ(m->getVariableCount(), 0);
  EXPECT_EQ(m->getConstraintCount(), 0);
  EXPECT_EQ(m->getDefaultPrecision(), 1e-10);
  // The new error reporter, shared fail goal and random source (its state words).
  EXPECT_LT(m->getHeap()->getTop(), 16 + QroRandomStateI::Words + 8);
  // The shared constants are made again on the emptied heap.
  QrcConstraintI* t = m->getTrueConstraint();
  std::ostringstream os;
  os << QrcConstraint(t) << QrcConstraint(t->getOpposite());
  EXPECT_EQ(os.str(), "TrueConstraint FalseConstraint ");
  LogConstraint* c = new (m) LogConstraint(m, "after");
  m->add(c);
  EXPECT_TRUE(c->isPosted());
  EXPECT_EQ(m->getConstraintCount(), 1);
}

TEST_F(ManagerTest, CountsMadeByResetAreSavedAtEveryLaterChoicePoint) {
  m->getTrail()->setRecording(1);
  for (int i = 0; i < 3; ++i) m->pushChoicePoint(nullptr, nullptr, nullptr);
  QrcInt oldStamp = m->getStamp();
  ASSERT_GT(oldStamp, 0);
  m->reset();
  m->getTrail()->setRecording(1);
  // A first change made when the stamp reaches its value before the reset is
  // still undone on backtracking.
  while (m->getStamp() < oldStamp) m->pushChoicePoint(nullptr, nullptr, nullptr);
  ASSERT_EQ(m->getStamp(), oldStamp);
  m->incrementVariableCount();
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(m->getVariableCount(), 0);
}

TEST_F(ManagerTest, ScratchArrays) {
  QrcInt* a = m->lockIntArray(1000);
  m->unlockArray();
  EXPECT_EQ(m->lockIntArray(1000), a);
  m->unlockArray();
  QrcInt* b = m->lockIntArray(1001);
  b[1000] = 5;
  EXPECT_TRUE(m->isArrayLocked());
  m->unlockArray();
  QrcInt* p1 = m->lockArrayFromPool(10);
  QrcInt* p2 = m->lockArrayFromPool(10);
  EXPECT_NE(p1, p2);
  m->unlockArrayFromPool(p1);
  EXPECT_EQ(m->lockArrayFromPool(5), p1);
}

TEST(ManagerDeathTest, BadTag) {
  EXPECT_DEATH({ QrcManager bad(reinterpret_cast<QrcManagerTag>(&enginetest::log)); },
               "Solver Error : Bad construction of QrcManager : ");
}

}  // namespace

#include <cmath>

#include "engine/float/qrcfloatconstants.h"
#include "qrcgenalloc.h"

namespace {

TEST_F(ManagerTest, RuntimeTypesOfGoals) {
  QrcGoal g = QrcOr(new (m) LogGoal(m, "a"), new (m) LogGoal(m, "b"));
  QrcGoalI* gi = g.getImpl();
  EXPECT_STREQ(gi->getClassName(), "QrcOrI");
  EXPECT_TRUE(gi->isType(QrcGoalI::GetTypeInfo()));
  EXPECT_TRUE(gi->isType(QrcRootGoalDemonI::GetTypeInfo()));
  EXPECT_TRUE(gi->isType(QroRtti::GetTypeInfo()));
  EXPECT_FALSE(gi->isType(QrcDemonI::GetTypeInfo()));
  EXPECT_EQ(gi->getParentTypeInfo(), QrcGoalI::GetTypeInfo());
  EXPECT_EQ(gi->getParentTypeIndex(), QrcGoalI::GetTypeIndex());
  EXPECT_STREQ(m->getSharedFailGoal()->getClassName(), "QrcGoalFailI");
}

TEST_F(ManagerTest, GeneralAllocatorSavesOnTheTrail) {
  QrcGenAlloc* a = mgr.getGeneralAllocator();
  EXPECT_TRUE(a->isType(QroGenAlloc::GetTypeInfo()));
  m->getTrail()->setRecording(1);
  QrcWord* cells = static_cast<QrcWord*>(a->alloc(3 * sizeof(QrcWord)));
  cells[0] = cells[1] = cells[2] = 1;
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  a->saveValue(cells);
  a->saveValue2(cells + 1);
  a->saveValue3(cells + 2);
  cells[0] = cells[1] = cells[2] = 2;
  const char* text = a->internString("name");
  EXPECT_STREQ(text, "name");
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(cells[0] + cells[1] + cells[2], 3u);
}

// Every save form records the one word it is given: the words after it (the
// next fields of an object, or memory past its end) are left alone.
TEST_F(ManagerTest, GeneralAllocatorSavesOnlyTheGivenWord) {
  QrcGenAlloc* a = mgr.getGeneralAllocator();
  m->getTrail()->setRecording(1);
  void (QroGenAlloc::*forms[])(void*) = {&QroGenAlloc::saveValue, &QroGenAlloc::saveValue2,
                                         &QroGenAlloc::saveValue3};
  for (auto form : forms) {
    QrcWord* cells = static_cast<QrcWord*>(a->alloc(3 * sizeof(QrcWord)));
    cells[0] = cells[1] = cells[2] = 1;
    m->pushChoicePoint(nullptr, nullptr, nullptr);
    (a->*form)(cells);
    cells[0] = cells[1] = cells[2] = 2;
    m->popChoicePoint(nullptr, nullptr);
    EXPECT_EQ(cells[0], 1u);
    EXPECT_EQ(cells[1], 2u);
    EXPECT_EQ(cells[2], 2u);
  }
}

TEST_F(ManagerTest, CreationSetsUpRoundedConstants) {
  EXPECT_LT(qrcPiDown, qrcPiUp);
  EXPECT_LE(qrcPiDown, M_PI);
  EXPECT_GE(qrcPiUp, M_PI);
  EXPECT_EQ(getRoundingMode(), 1);
  EXPECT_EQ(m->getDisplayMode(), QrcPositionalIntervalDisplay);
  EXPECT_EQ(m->getRelativeEventThreshold(), 1e-11);
  EXPECT_EQ(m->getPackApproximationSize(), 512);
}

}  // namespace

namespace {

TEST_F(ManagerTest, PropagationWorksAgainAfterAFailureException) {
  m->useExceptions(true);
  EXPECT_THROW(m->add(new (m) LogConstraint(m, "bad", QrcConstraintI::DefaultEditPriority, true)),
               QrcFailException);
  EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
  EXPECT_EQ(m->getCurrentDemon(), nullptr);
  log().clear();
  m->add(new (m) LogConstraint(m, "good"));
  m->getPropagationQueue()->push(new (m) LogDemon(m, "d"), QrcMiddlePriority);
  EXPECT_EQ(log(), "post:good prop:good d ");
}

}  // namespace

namespace {

TEST_F(ManagerTest, ConstraintListsAreReversible) {
  m->getTrail()->setRecording(1);
  QrcConstraintList list(m);
  QrcDemonI* a = new (m) LogDemon(m, "a");
  QrcDemonI* b = new (m) LogDemon(m, "b");
  list.addConstraint(a);
  list.addConstraint(a);  // already first: nothing
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  list.addConstraint(b);
  list.addConstraint(a);
  EXPECT_EQ(list.getSize(), 3);
  list.removeConstraint(a);
  EXPECT_EQ(list.getSize(), 1);
  list.addConstraint(a);
  list.markPending();
  list.propagatePending();
  EXPECT_EQ(log(), "a b ");
  list.propagatePending();  // nothing pending any more
  EXPECT_EQ(log(), "a b ");
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(list.getSize(), 1);
  log().clear();
  list.propagateAll();
  EXPECT_EQ(log(), "a ");
  EXPECT_DEATH(list.addConstraint(nullptr), "Solver Error : empty handle : addConstraint");
}

TEST_F(ManagerTest, RestartPutsBackTheAddedGoals) {
  m->add(new (m) LogGoal(m, "g"));
  EXPECT_TRUE(m->next());
  EXPECT_EQ(log(), "g ");
  m->restart();
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_TRUE(m->next());
  EXPECT_EQ(log(), "g g ");
  m->getCurrentSearch()->end();
  EXPECT_DEATH(m->commit(),
               "Solver Error : Commit is called not after a search : incorrect search use");
}

}  // namespace

namespace {

TEST_F(ManagerTest, ResetWithASearchOpen) {
  QrcSearch s(mgr, QrcOr(new (m) LogGoal(m, "a"), new (m) LogGoal(m, "b")));
  EXPECT_TRUE(s.next());
  m->reset();
  EXPECT_EQ(m->getSearchDepth(), 0);
  EXPECT_EQ(m->getOrRecordCount(), 0);
  log().clear();
  QrcSearch again(mgr, QrcOr(new (m) LogGoal(m, "c"), new (m) LogGoal(m, "d")));
  EXPECT_TRUE(again.next());
  EXPECT_TRUE(again.next());
  EXPECT_FALSE(again.next());
  again.end();
  EXPECT_EQ(log(), "c d ");
}

}  // namespace
