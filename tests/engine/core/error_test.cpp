#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

#include "qrcerror.h"
#include "qrcevent.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

class Named : public QrcPrintable {
 public:
  explicit Named(const char* n) : _n(n) {}
  void display(std::ostream& os) const override { os << _n; }

 private:
  const char* _n;
};

std::string reportLine(void (*call)(QrcErrorReporter&), int expectedCode) {
  ThrowingReporter r;
  testing::internal::CaptureStderr();
  int code = -1;
  try {
    call(r);
  } catch (int c) {
    code = c;
  }
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, expectedCode);
  return out;
}

// The codes are part of what the reporter hands on (fatal, the solver's
// exception): their numbers never change.
TEST(ErrorReporter, CodesKeepTheirNumbers) {
  const std::pair<QrcErrorCode, int> codes[] = {{QrcBadConstructionError, 0},
                                                {QrcNullArraySizeError, 1},
                                                {QrcBadArraySizeError, 5},
                                                {QrcUnorderedElementError, 7},
                                                {QrcUnboundError, 10},
                                                {QrcFailNotInSolveError, 18},
                                                {QrcNoMemoryError, 23},
                                                {QrcInternalError, 25},
                                                {QrcSearchInPropagationError, 26},
                                                {QrcBadIndexError, 29},
                                                {QrcBadIndexIntervalError, 30},
                                                {QrcNegativeIndexStepError, 31},
                                                {QrcIncompatibleArgumentError, 32},
                                                {QrcDivideByZeroError, 36},
                                                {QrcEmptyHandleError, 39},
                                                {QrcNoOppositeError, 40},
                                                {QrcNoMetaPostDemonError, 41},
                                                {QrcNotInProcessError, 43},
                                                {QrcBadEventError, 44},
                                                {QrcNotAVariableError, 45},
                                                {QrcNotImplementedError, 48},
                                                {QrcRepeatedElementError, 50},
                                                {QrcAllocatorSizeError, 51},
                                                {QrcManagersDifferError, 53},
                                                {QrcIntervalError, 54},
                                                {QrcTupleSetClosedError, 55},
                                                {QrcTupleSetNotClosedError, 56},
                                                {QrcArityError, 57},
                                                {QrcRangeTooLargeError, 61},
                                                {QrcSearchMisuseError, 65},
                                                {QrcUnknownConstraintError, 69},
                                                {QrcBadFilterLevelError, 70},
                                                {QrcFilterLevelChangeError, 71},
                                                {QrcContinuousVariableError, 72}};
  for (const auto& c : codes) EXPECT_EQ(static_cast<int>(c.first), c.second);
}

// Priorities, states, verdicts and statuses are numbers that callers store and
// compare: the names stand for fixed values.
static_assert(QrcFirstPriority == 1 && QrcHighPriority == 2 && QrcMiddlePriority == 3 &&
                  QrcLowPriority == 4 && QrcLastPriority == 5 && QrcPropagationQueueI::Levels == 5,
              "priorities");
static_assert(QrcEventHandlerI::Queued == 0 && QrcEventHandlerI::Idle == 1 &&
                  QrcEventHandlerI::Processing == 2 && QrcEventHandlerI::ProcessingDeferred == 3 &&
                  QrcEventHandlerI::Disabled == 4,
              "event-handler states");
static_assert(QrcRootGoalDemonI::Idle == 0 && QrcRootGoalDemonI::Pending == 1 &&
                  QrcRootGoalDemonI::Inactive == 2 && QrcRootGoalDemonI::Dormant == 3 &&
                  QrcRootGoalDemonI::Fresh == 4,
              "demon states");
static_assert(QrcFirstGoalFirst == 0 && QrcSecondGoalFirst == 1 && QrcFirstGoalOnly == 2 &&
                  QrcSecondGoalOnly == 3 && QrcNeitherGoal == 4,
              "choice verdicts");
static_assert(QrcSearchSolution == 0 && QrcSearchExhausted == 1 && QrcSearchLimited == 3 &&
                  QrcSearchFailedLabel == 4,
              "search statuses");
static_assert(QrcIntMax == 9007199254740991LL && QrcIntMin == -QrcIntMax, "engine integer limit");

TEST(ErrorReporter, LineFormats) {
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  r.report(QrcSearchMisuseError, "The next method is called from too deep",
                           "incorrect search use", static_cast<const QrcPrintable*>(nullptr));
                },
                65),
            "Solver Error : The next method is called from too deep : incorrect search use\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  r.report(QrcBadArraySizeError, "QrcIntVarArrayI", "bad array size", QrcInt(3),
                           QrcInt(7));
                },
                5),
            "Solver Error : QrcIntVarArrayI : bad array size : 3..7\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  r.report(QrcUnknownConstraintError, "setFilterLevel", "Unknown Constraint",
                           QrcInt(-12));
                },
                69),
            "Solver Error : setFilterLevel : Unknown Constraint : -12\n");
  EXPECT_EQ(
      reportLine([](QrcErrorReporter& r) { r.report(QrcIntervalError, "Morvane", "x", 0.5); }, 54),
      "Solver Error : Morvane : x : 0.5\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  Named a("A"), b("B");
                  r.report(QrcIncompatibleArgumentError, "t1", "t2", &a, &b);
                },
                32),
            "Solver Error : t1 : t2 : A, B\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  Named b("B");
                  r.report(QrcIncompatibleArgumentError, "t1", "t2", nullptr, &b);
                },
                32),
            "Solver Error : t1 : t2, B\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  Named a("A");
                  r.reportObject(QrcNoMetaPostDemonError, "constraint without metaPostDemon", " ",
                                 &a);
                },
                41),
            "Solver Error : constraint without metaPostDemon :   : A\n");
  std::string addr = reportLine(
      [](QrcErrorReporter& r) {
        r.report(QrcInternalError, "internal error", "stacking a full stack",
                 static_cast<const void*>(&r));
      },
      25);
  EXPECT_EQ(addr.rfind("Solver Error : internal error : stacking a full stack : 0x", 0), 0u)
      << addr;
}

TEST(ErrorReporterDeathTest, FatalErrorPrintsAndAborts) {
  EXPECT_DEATH(QrcFatalError(QrcEmptyHandleError, "empty manager", "QrcManager::getHeap"),
               "^Solver Error : empty manager : QrcManager::getHeap\n$");
  EXPECT_DEATH(
      {
        QrcErrorReporter r;
        r.report(QrcSearchMisuseError, "Too much pop State", "incorrect search use");
      },
      "Solver Error : Too much pop State : incorrect search use");
}

TEST(ErrorReporterDeathTest, EmptyManagerHandle) {
  QrcManager empty;
  EXPECT_DEATH(empty.getHeap(), "Solver Error : empty manager : QrcManager::getHeap");
  EXPECT_DEATH(empty.solve(QrcGoal()), "Solver Error : empty manager : QrcManager::solve");
}

TEST(ErrorReporter, StackMisuseIsReported) {
  QrcManager m(QrcNoEdit);
  ThrowingReporter r;
  m.getImpl()->setErrorReporter(&r);
  QrcMemoryStack s(m.getImpl(), QrcMemoryStack::Blocks);
  testing::internal::CaptureStderr();
  EXPECT_THROW(s.pop(), int);
  EXPECT_NE(
      testing::internal::GetCapturedStderr().find("internal error : unstacking an empty stack"),
      std::string::npos);
  s.alloc(16);
  testing::internal::CaptureStderr();
  EXPECT_THROW(s.setTop(9000), int);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("internal error : stacking a full stack"),
            std::string::npos);
  m.getImpl()->setErrorReporter(nullptr);
  m.end();
}

}  // namespace
