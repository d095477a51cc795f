// Small models over quotients, sums and sparse domains that once crashed,
// aborted, hung or lost solutions, counted in edit and no-edit mode, in both
// failure modes, with the constraints added before the search or by its goal;
// and the makers' behaviour at the engine's integer limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "count_models.h"
#include "int_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "qroexpr.h"

namespace inttest {
namespace {

typedef std::vector<QrcIntVar> Vars;

struct Case {
  const char* name;
  std::vector<std::vector<QrcInt>> domains;
  ModelMaker make;
  int solutions;
};

QrcIntExpI* I(const QrcIntExp& e) {
  return e.getImpl();
}

std::vector<Case> cases() {
  const QrcInt big = QrcInt(1) << 40;
  return {
      {"3 >= sum(x / y, x, y)",
       {{0, 1, 2, 3, 4}, {-2, -1, 2}},
       [](QrcManager& m, const Vars& v) {
         QrcIntExpI* t[] = {I(v[0] / v[1]), I(v[0]), I(v[1])};
         return std::vector<QrcConstraint>{3 >= QrcSum(m, 3, t)};
       },
       12},
      {"m = max(x, x, x), m != 0, (7 / m) != x",
       {{0, 1}},
       [](QrcManager& m, const Vars& v) {
         QrcIntExpI* t[] = {I(v[0]), I(v[0]), I(v[0])};
         QrcIntExp mx = QrcMax(m, 3, t);
         return std::vector<QrcConstraint>{mx != 0, (7 / mx) != v[0]};
       },
       1},
      // 7 / 0 has no value: x = 0 is no solution.
      {"(7 / x) != y",
       {{0, 1}, {0, 1}},
       [](QrcManager&, const Vars& v) { return std::vector<QrcConstraint>{(7 / v[0]) != v[1]}; },
       2},
      {"x != 0, (1 / (x * 3)) == x",
       {{-1, 0, 1, 2}},
       [](QrcManager&, const Vars& v) {
         return std::vector<QrcConstraint>{v[0] != 0, (1 / (v[0] * 3)) == v[0]};
       },
       0},
      // The quotient's bounds stay near the limits and x spans 2^41.
      {"(1 / (x * 3)) == x over a sparse wide domain",
       {{-big, -1, 1, big}},
       [](QrcManager&, const Vars& v) {
         return std::vector<QrcConstraint>{(1 / (v[0] * 3)) == v[0]};
       },
       0},
      {"(x * 2 + 1) == y over sparse wide domains",
       {{-big, 0, 3, big}, {-2 * big + 1, -1, 1, 7, 2 * big - 1, 2 * big + 1}},
       [](QrcManager&, const Vars& v) {
         return std::vector<QrcConstraint>{(v[0] * 2 + 1) == v[1]};
       },
       4},
  };
}

TEST(QuotientModels, SolutionCountsInEveryMode) {
  for (const Case& c : cases()) expectSolutionsInEveryMode(c.name, c.domains, c.make, c.solutions);
}

// ---------------------------------------------------------------- limits

TEST_F(IntTest, QuotientFoldsAndNodesAtTheSixtyFourBitLimit) {
  // INT64_MIN / -1 does not fit 64 bits: folding it raises the overflow exception.
  QrcIntVar minusOne(mgr, -1, -1);
  EXPECT_THROW(QrcInt(INT64_MIN) / minusOne, QroIntExpr::QroOverflowOccurred);
  EXPECT_EQ((QrcInt(INT64_MIN + 2) / minusOne).getMin(), QrcIntMax);  // clamped constant
  // Over an unbound divisor the node is built and narrows its divisor without
  // overflow: INT64_MIN / x <= 3000 needs |x| > 2^63 / 3001.
  QrcIntVar x(mgr, -(QrcInt(1) << 52), -1);
  QrcIntExp q = QrcInt(INT64_MIN) / x;
  EXPECT_EQ(q.getMin(), 2048);
  mgr.add(q <= 3000);
  EXPECT_EQ(x.getMax(), -3073432867995594);  // -(floor(2^63 / 3001) + 1)
  // x - k with k = INT64_MIN is beyond every y: x <= y + k never holds.
  QrcIntVar y(mgr, -5, 5);
  EXPECT_EQ(QrcLeOffset(minusOne, y, INT64_MIN).getImpl(), m->getFalseConstraint());
  EXPECT_EQ(QrcLeOffset(minusOne, y, INT64_MAX).getImpl(), m->getTrueConstraint());
}

TEST_F(IntTest, DomainsBeyondTheLimitRaiseTheOverflowException) {
  const QrcInt far = QrcInt(9200000000000000000);
  EXPECT_THROW(QrcIntVar(mgr, far, far + 1000), QroIntExpr::QroOverflowOccurred);
  EXPECT_THROW(QrcIntVar(mgr, -far - 1000, -far), QroIntExpr::QroOverflowOccurred);
  // Partly held: clamped to the limit, as a double bound is.
  QrcIntVar wide(mgr, -far, far);
  EXPECT_EQ(wide.getMin(), QrcIntMin);
  EXPECT_EQ(wide.getMax(), QrcIntMax);
  // A value list keeps the values the engine holds.
  QrcInt some[] = {far, 3, -far, 7};
  QrcIntVar listed(mgr, QrcIntArray(mgr, 4, some));
  EXPECT_EQ(str(listed.getImpl()), "[3 7]");
  QrcInt none[] = {far, -far};
  EXPECT_THROW(QrcIntVar(mgr, QrcIntArray(mgr, 2, none)), QroIntExpr::QroOverflowOccurred);
}

TEST_F(IntTest, NegativeCountsAreBadArraySizes) {
  ThrowingReporter rep;
  QrcErrorReporter* old = m->getErrorReporter();
  m->setErrorReporter(&rep);
  QrcIntExpI* none[] = {nullptr};
  EXPECT_EQ(reportedCode([&] { QrcSum(mgr, -1, none); }), QrcBadArraySizeError);
  EXPECT_EQ(reportedCode([&] { QrcMax(mgr, -2, none); }), QrcBadArraySizeError);
  EXPECT_EQ(reportedCode([&] { QrcMin(mgr, -3, none); }), QrcBadArraySizeError);
  EXPECT_EQ(QrcSum(mgr, 0, none).getImpl(), m->getIntZero());
  m->setErrorReporter(old);
}

// Removing a range from a sparse wide domain, and restricting a domain to a
// sparse wide one, visit the members, not the span.
TEST_F(IntTest, SparseWideDomainsAreNotWalkedValueByValue) {
  const QrcInt big = QrcInt(1) << 50;
  QrcInt values[] = {0, big, 2 * big, 3 * big};
  QrcIntVar x(mgr, QrcIntArray(mgr, 4, values));
  x.getImpl()->removeRange(QrcInt(1), 2 * big);
  EXPECT_EQ(x.getImpl()->getSize(), 2);
  EXPECT_TRUE(x.getImpl()->isInDomain(3 * big));
  QrcIntVar y(mgr, -3 * big, 3 * big);
  QrcIntExp node = (y * 2) / 2;  // a node: it keeps no domain of its own
  node.getImpl()->setDomain(x.getImpl());
  EXPECT_EQ(y.getMin(), 0);
  EXPECT_EQ(y.getMax(), 3 * big);
}

}  // namespace
}  // namespace inttest
