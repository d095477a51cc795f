#include <gtest/gtest.h>

#include <string>

#include "engine_fixtures.h"
#include "qrcfail.h"
#include "qrcfilterlevel.h"

using namespace enginetest;

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

// Supports levels up to a maximum; logs the level it posts with.
class Levelled : public QrcConstraintWithFilterI {
 public:
  Levelled(QrcManagerI* m, QrcInt kind, QrcInt maxLevel)
      : QrcConstraintWithFilterI(m, kind, QrcDefaultFilterLevel(kind)), _max(maxLevel) {}
  void post() override {
    checkFilterLevel();
    log() += "post@" + std::to_string(getFilterLevel()) + " ";
  }
  void propagate() override {}
  QrcBool isFilterLevelSupported(QrcInt level) override { return level <= _max; }

 private:
  QrcInt _max;
};

class FilterLevelTest : public testing::Test {
 protected:
  void SetUp() override {
    log().clear();
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->setErrorReporter(&reporter);
  }
  void TearDown() override {
    m->setErrorReporter(nullptr);
    mgr.end();
  }
  // Error code raised by f, with the line printed; 0 when none.
  template <class F>
  int errorOf(F f, std::string* line = nullptr) {
    testing::internal::CaptureStderr();
    int code = 0;
    try {
      f();
    } catch (int c) {
      code = c;
    }
    std::string out = testing::internal::GetCapturedStderr();
    if (line) *line = out;
    return code;
  }
  ThrowingReporter reporter;
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(FilterLevelTest, DefaultsWithoutSolver) {
  EXPECT_EQ((new (m) Levelled(m, QrcNotOverlapKind, 3))->getFilterLevel(), QrcLowFilterLevel);
  EXPECT_EQ((new (m) Levelled(m, QrcAllNullIntersectKind, 3))->getFilterLevel(), QrcLowFilterLevel);
  EXPECT_EQ((new (m) Levelled(m, QrcAllDiffKind, 3))->getFilterLevel(), QrcMediumFilterLevel);
  EXPECT_EQ((new (m) Levelled(m, QrcPairingKind, 3))->getFilterLevel(), QrcMediumFilterLevel);
}

TEST_F(FilterLevelTest, SolverTable) {
  QrcFilterLevelTable table(m);
  m->setFilterLevelTable(&table);
  Levelled* c = new (m) Levelled(m, QrcDistributeKind, 3);
  table.setFilterLevel(QrcDistributeKind, QrcHighFilterLevel);
  EXPECT_EQ(c->getFilterLevel(), QrcHighFilterLevel);
  table.reset();
  EXPECT_EQ(c->getFilterLevel(), QrcMediumFilterLevel);
  EXPECT_EQ(table.getFilterLevel(QrcPairingKind), QrcMediumFilterLevel);
  std::string line;
  EXPECT_EQ(errorOf([&] { table.getFilterLevel(12); }, &line), QrcUnknownConstraintError);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Unknown Constraint : 12\n");
  m->setFilterLevelTable(nullptr);
}

TEST_F(FilterLevelTest, LevelsBeforeAndAfterPosting) {
  Levelled* unsupported = new (m) Levelled(m, QrcAllDiffKind, 1);
  EXPECT_EQ(unsupported->setFilterLevel(QrcHighFilterLevel), 1);  // accepted now, refused at post
  std::string line;
  EXPECT_EQ(errorOf([&] { m->add(unsupported); }, &line), QrcBadFilterLevelError);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Bad Filter Level : 2\n");

  Levelled* c = new (m) Levelled(m, QrcAllDiffKind, 2);
  m->add(c);
  EXPECT_EQ(log(), "post@1 ");
  EXPECT_EQ(c->setFilterLevel(QrcMediumFilterLevel), 1);
  EXPECT_EQ(errorOf([&] { c->setFilterLevel(QrcLowFilterLevel); }, &line),
            QrcFilterLevelChangeError);
  EXPECT_EQ(line, "Solver Error : setFilterLevel : Cannot change Filter Level : 0\n");
  EXPECT_EQ(errorOf([&] { c->setFilterLevel(QrcFullFilterLevel); }, &line), QrcBadFilterLevelError);
  EXPECT_EQ(c->getFilterLevel(), QrcMediumFilterLevel);
  // A raise is undone by backtracking.
  m->getTrail()->setRecording(1);
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  EXPECT_EQ(c->setFilterLevel(QrcHighFilterLevel), 1);
  EXPECT_EQ(c->getFilterLevel(), QrcHighFilterLevel);
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(c->getFilterLevel(), QrcMediumFilterLevel);
}

TEST_F(FilterLevelTest, SubConstraintsFollow) {
  Levelled* owner = new (m) Levelled(m, QrcAllDiffKind, 3);
  Levelled* s1 = new (m) Levelled(m, QrcDistributeKind, 3);
  Levelled* s2 = new (m) Levelled(m, QrcSequenceKind, 3);
  owner->addSubConstraint(s1);
  owner->addSubConstraint(s2);
  owner->propagateFilterLevel(3);
  EXPECT_EQ(s1->getFilterLevel(), QrcFullFilterLevel);
  EXPECT_EQ(s2->getFilterLevel(), QrcFullFilterLevel);
  EXPECT_EQ(owner->getFilterLevel(), QrcMediumFilterLevel);
}

}  // namespace
