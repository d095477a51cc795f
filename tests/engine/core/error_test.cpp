#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "qrcerror.h"
#include "qrcgoal.h"
#include "qrcmanager.h"

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

TEST(ErrorReporter, LineFormats) {
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  r.report(65, "The next method is called from too deep", "incorrect search use",
                           static_cast<const QrcPrintable*>(nullptr));
                },
                65),
            "Solver Error : The next method is called from too deep : incorrect search use\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  r.report(5, "QrcIntVarArrayI", "bad array size", QrcInt(3), QrcInt(7));
                },
                5),
            "Solver Error : QrcIntVarArrayI : bad array size : 3..7\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  r.report(69, "setFilterLevel", "Unknown Constraint", QrcInt(-12));
                },
                69),
            "Solver Error : setFilterLevel : Unknown Constraint : -12\n");
  EXPECT_EQ(reportLine([](QrcErrorReporter& r) { r.report(54, "Morvane", "x", 0.5); }, 54),
            "Solver Error : Morvane : x : 0.5\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  Named a("A"), b("B");
                  r.report(32, "t1", "t2", &a, &b);
                },
                32),
            "Solver Error : t1 : t2 : A, B\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  Named b("B");
                  r.report(32, "t1", "t2", nullptr, &b);
                },
                32),
            "Solver Error : t1 : t2, B\n");
  EXPECT_EQ(reportLine(
                [](QrcErrorReporter& r) {
                  Named a("A");
                  r.reportObject(41, "constraint without metaPostDemon", " ", &a);
                },
                41),
            "Solver Error : constraint without metaPostDemon :   : A\n");
  std::string addr = reportLine(
      [](QrcErrorReporter& r) {
        r.report(25, "internal error", "stacking a full stack", static_cast<const void*>(&r));
      },
      25);
  EXPECT_EQ(addr.rfind("Solver Error : internal error : stacking a full stack : 0x", 0), 0u)
      << addr;
}

TEST(ErrorReporterDeathTest, FatalErrorPrintsAndAborts) {
  EXPECT_DEATH(QrcFatalError(39, "empty manager", "QrcManager::getHeap"),
               "^Solver Error : empty manager : QrcManager::getHeap\n$");
  EXPECT_DEATH(
      {
        QrcErrorReporter r;
        r.report(65, "Too much pop State", "incorrect search use");
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
