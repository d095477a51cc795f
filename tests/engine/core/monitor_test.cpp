#include <gtest/gtest.h>

#include <string>

#include "engine_fixtures.h"
#include "qrcmonitor.h"

using namespace enginetest;

namespace {

// Counts every notification it receives.
class CountingMonitor : public QrcSearchMonitorI {
 public:
  explicit CountingMonitor(unsigned char flags) : QrcSearchMonitorI(flags) {}
  void onDemonBegin(QrcRootGoalDemonI*) override { ++count; }
  void onDemonEnd(QrcRootGoalDemonI*) override { ++count; }
  void onPostBegin(QrcConstraintI*) override { ++count; }
  void onPostEnd(QrcConstraintI*) override { ++count; }
  void onIntVarSetValueBegin(QrcExprI*, QrcInt) override { ++count; }
  void onIntVarSetValueEnd(QrcExprI*, QrcInt) override { ++count; }
  void onFloatVarSetRangeBegin(QrcExprI*, QrcFloat, QrcFloat) override { ++count; }
  void onIntSetVarAddRequiredEnd(QrcExprI*, QrcInt) override { ++count; }
  void onFailCount(QrcInt n) override { fails = n; }
  void onChoicePoint(QrcInt n) override { choices = n; }
  int count = 0;
  QrcInt fails = 0;
  QrcInt choices = 0;
};

void notifyAll(QrcSearchMonitorI& m) {
  m.notifyDemonBegin(nullptr);
  m.notifyDemonEnd(nullptr);
  m.notifyPostBegin(nullptr);
  m.notifyPostEnd(nullptr);
  m.notifyIntVarSetValueBegin(nullptr, 1);
  m.notifyIntVarSetValueEnd(nullptr, 1);
  m.notifyFloatVarSetRangeBegin(nullptr, 0, 1);
  m.notifyIntSetVarAddRequiredEnd(nullptr, 1);
  m.notifyFailCount(3);
}

TEST(Monitor, FlagByteSelectsEventClasses) {
  CountingMonitor domain(QrcSearchMonitorI::DomainEvents);
  notifyAll(domain);
  EXPECT_EQ(domain.count, 4);
  EXPECT_EQ(domain.fails, 0);
  CountingMonitor queue(QrcSearchMonitorI::QueueEvents);
  notifyAll(queue);
  EXPECT_EQ(queue.count, 2);
  CountingMonitor all(0x1f);
  notifyAll(all);
  EXPECT_EQ(all.count, 8);
  EXPECT_EQ(all.fails, 3);
}

TEST(Monitor, QueueReportsRunsFailuresAndChoicePoints) {
  log().clear();
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  CountingMonitor mon(0x1f);
  m->setMonitor(&mon);
  m->getPropagationQueue()->push(new (m) LogDemon(m, "d"), QrcHighPriority);
  EXPECT_EQ(mon.count, 0);  // tracing is off
  m->setTrace(true);
  m->getPropagationQueue()->push(new (m) LogDemon(m, "d"), QrcHighPriority);
  EXPECT_EQ(mon.count, 2);
  m->add(new (m) LogConstraint(m, "c"));
  EXPECT_EQ(mon.count, 4);
  QrcSearch s(mgr, QrcOr(new (m) LogGoal(m, "a", true), new (m) LogGoal(m, "b")));
  EXPECT_TRUE(s.next());
  EXPECT_EQ(mon.fails, 1);
  EXPECT_EQ(mon.choices, 1);
  s.end();
  mgr.end();
}

// ---------------------------------------------------------------- nested solves and the queue

struct NestedProbe {
  QrcDemonI* outerLow;
  std::string seen;
};

void nestedSolver(QrcManagerI* m, void* arg) {
  NestedProbe* p = static_cast<NestedProbe*>(arg);
  QrcGoalI* g = new (m) LogGoal(m, "inner");
  m->solveInPropagation(m->getCurrentDemon(), g, true);
  p->seen = log();
}

TEST(NestedSolve, OuterLowPriorityDemonsWaitForTheOuterPropagation) {
  log().clear();
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  NestedProbe probe{nullptr, ""};
  QrcPropagationQueueI* q = m->getPropagationQueue();
  QrcSearch s(mgr, QrcGoal(new (m) CallGoal(
                       m,
                       [](QrcManagerI* mm, void* arg) -> QrcGoalI* {
                         NestedProbe* p = static_cast<NestedProbe*>(arg);
                         QrcPropagationQueueI* qq = mm->getPropagationQueue();
                         qq->enter();
                         qq->push(new (mm) LogDemon(mm, "low"), QrcLastPriority);
                         qq->push(new (mm) CallDemon(mm, nestedSolver, p), QrcFirstPriority);
                         qq->leave();
                         return nullptr;
                       },
                       &probe)));
  EXPECT_TRUE(s.next());
  // The nested solve ran its goal without running the pending level-5 demon,
  // which ran afterwards in the outer propagation.
  EXPECT_EQ(probe.seen, "inner ");
  EXPECT_EQ(log(), "inner low ");
  EXPECT_EQ(q->getNesting(), 0);
  s.end();
  mgr.end();
}

struct NestedGoalProbe {
  QrcGoalI* goal;
  std::string seen;
  QrcDemonI* low;
};

void nestedGoalSolver(QrcManagerI* m, void* arg) {
  NestedGoalProbe* p = static_cast<NestedGoalProbe*>(arg);
  m->solveInPropagation(m->getCurrentDemon(), p->goal, true);
  p->seen = log();
}

// Failures inside the nested solve empty its own queue, not the outer
// propagation's pending level-5 demon, also when the nested solve pushed it
// again: in a branch that failed, or in the one that succeeded before the
// restart.
TEST(NestedSolve, FailuresInsideKeepOuterLowPriorityDemons) {
  struct Case {
    const char* name;
    int fails;   // failing branches tried before the succeeding one
    bool again;  // the first branch pushes the outer demon again
    const char* seen;
  } cases[] = {{"no failure", 0, false, "inner "},
               {"one failure", 1, false, "f0 inner "},
               {"two failures", 2, false, "f0 f1 inner "},
               {"pushed again where it succeeds", 0, true, "inner "},
               {"pushed again in a failing branch", 1, true, "f0 inner "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log().clear();
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    NestedGoalProbe probe{nullptr, "", nullptr};
    QrcGoal g = new (m) LogGoal(m, "inner");
    const char* names[] = {"f1", "f0"};
    for (int i = 2 - c.fails; i < 2; ++i) g = QrcOr(new (m) LogGoal(m, names[i], true), g);
    if (c.again) {
      QrcGoal push = new (m) CallGoal(
          m,
          [](QrcManagerI* mm, void* arg) -> QrcGoalI* {
            mm->getPropagationQueue()->push(static_cast<NestedGoalProbe*>(arg)->low,
                                            QrcLastPriority);
            return nullptr;
          },
          &probe);
      g = c.fails ? QrcOr(QrcAnd(push, new (m) LogGoal(m, "f0", true)), new (m) LogGoal(m, "inner"))
                  : QrcAnd(push, g);
    }
    probe.goal = g.getImpl();
    QrcSearch s(mgr, QrcGoal(new (m) CallGoal(
                         m,
                         [](QrcManagerI* mm, void* arg) -> QrcGoalI* {
                           NestedGoalProbe* p = static_cast<NestedGoalProbe*>(arg);
                           QrcPropagationQueueI* qq = mm->getPropagationQueue();
                           qq->enter();
                           p->low = new (mm) LogDemon(mm, "low");
                           qq->push(p->low, QrcLastPriority);
                           qq->push(new (mm) CallDemon(mm, nestedGoalSolver, arg),
                                    QrcFirstPriority);
                           qq->leave();
                           return nullptr;
                         },
                         &probe)));
    EXPECT_TRUE(s.next());
    EXPECT_EQ(probe.seen, c.seen);
    EXPECT_EQ(log(), std::string(c.seen) + "low ");
    EXPECT_EQ(m->getPropagationQueue()->getNesting(), 0);
    s.end();
    mgr.end();
  }
}

TEST(Goals, MakersFold) {
  log().clear();
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcGoal g = new (m) LogGoal(m, "g");
  EXPECT_EQ(QrcAnd(QrcGoal(), g).getImpl(), g.getImpl());
  EXPECT_EQ(QrcOr(QrcGoal(), QrcGoal()).getImpl(), nullptr);
  QrcSearch s(mgr, QrcOr(g, QrcGoal()));
  EXPECT_TRUE(s.next());
  EXPECT_TRUE(s.next());  // the empty branch succeeds through the true goal
  EXPECT_FALSE(s.next());
  s.end();
  EXPECT_EQ(log(), "g ");
  log().clear();
  QrcSearch s2(mgr, QrcAnd(new (m) LogGoal(m, "1"), QrcGoal(), new (m) LogGoal(m, "3"),
                           new (m) LogGoal(m, "4")));
  EXPECT_TRUE(s2.next());
  s2.end();
  EXPECT_EQ(log(), "1 3 4 ");
  EXPECT_DEATH(
      {
        QrcConstraint none;
        QrcGoal goal(none);
        (void)goal;
      },
      "Solver Error : empty constraint : QrcGoal constructor<<");
  mgr.end();
}

TEST(Queue, DeferredRequests) {
  QrcManager mgr(QrcNoEdit);
  QrcPropagationQueueI* q = mgr.getImpl()->getPropagationQueue();
  q->startDeferral(0, 10);
  EXPECT_EQ(q->deferRange(2, 12), 10);
  EXPECT_EQ(q->deferRange(-5, 7), 7);
  EXPECT_EQ(q->getPendingMin(), 2);
  for (int i = 0; i < 600; ++i) q->deferValue(i);  // more than one block of cells
  q->dropLastDeferredValue();
  QrcPropagationQueueI::IntCell* values = q->takeDeferredValues();
  int n = 0;
  for (QrcPropagationQueueI::IntCell* c = values; c; c = c->next) ++n;
  EXPECT_EQ(n, 599);
  EXPECT_EQ(values->value, 598);
  q->freeCells(values);
  q->deferValueRange(3, 4);
  q->setLastDeferredRangeMax(9);
  QrcPropagationQueueI::IntCell* r = q->takeDeferredRanges();
  EXPECT_EQ(r->value, 3);
  EXPECT_EQ(r->next->value, 9);
  q->freeCells(r);
  q->startFloatDeferral(-1.0, 1.0);
  q->deferFloatRange(-0.5, 2.0);
  EXPECT_EQ(q->getPendingFloatMin(), -0.5);
  EXPECT_EQ(q->getPendingFloatMax(), 1.0);
  q->deferFloatValue(0.25);
  QrcPropagationQueueI::FloatCell* f = q->takeDeferredFloatValues();
  EXPECT_EQ(f->value, 0.25);
  q->freeFloatCells(f);
  EXPECT_EQ(q->getBytes(), 16280u + 6008u * 2);
  mgr.end();
}

}  // namespace
