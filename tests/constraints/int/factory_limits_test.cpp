// Sizes and values at the integer limits given to the constraint factories:
// a size that cannot be held is reported (error 5, or the factory's own code)
// before anything is allocated for it, and values spread over the whole
// integer range keep their meaning.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcabstraction.h"
#include "qrcdistribute.h"
#include "qrcfloatview.h"
#include "qrcpath.h"
#include "qrcregular.h"
#include "qrcsequence.h"
#include "qrctupleset.h"
#include "support/harness.h"

namespace {

using ctest::V;

const QrcInt Big = QrcInt(1) << 62;
const QrcInt Min64 = INT64_MIN, Max64 = INT64_MAX;

class FactoryLimits : public ctest::ConstraintTest {};

QrcIntVarArray slice(QrcManagerI* m, const qrotest::Vars& v, size_t from, size_t to) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i) a.set(static_cast<QrcInt>(i - from), QrcIntExp(v[i]));
  return a;
}

// ---------------------------------------------------------------- sizes

TEST_F(FactoryLimits, SequenceWindowLongerThanTheArrayIsReportedFirst) {
  // n = 2: from w = 4 on, phase 3 would lead with a window of 3 variables.
  for (QrcInt w : {QrcInt(4), QrcInt(1) << 40, Max64}) {
    std::string line;
    EXPECT_EQ(errorOf(
                  [&] {
                    m->add(QrcSequence(0, 1, w, QrcIntVarArray(mgr, 2, 0, 1), ints({1}),
                                       array({var(0, 2)}))
                               .getImpl());
                  },
                  &line),
              QrcBadArraySizeError)
        << w;
    EXPECT_EQ(line, "Solver Error : extract : bad array size : 3\n") << w;
  }
}

TEST_F(FactoryLimits, StateCountsBeyondTheTableAreReported) {
  QrcIntVarArray x(mgr, 2, 0, 3);
  // 2^62 states of 4 symbols: the product passes 64 bits.
  std::string line;
  EXPECT_EQ(
      errorOf(
          [&] {
            QrcRegular(x, Big, QrcIntArray(mgr, 0, QrcInt(0)), QrcIntArray(), ints({0, 1, 2, 3}));
          },
          &line),
      QrcBadArraySizeError);
  EXPECT_EQ(line, "Solver Error : QrcRegular : bad array size : 0\n");
  EXPECT_EQ(
      errorOf(
          [&] {
            QrcRegular(x, Big, QrcIntArray(mgr, 4, QrcInt(0)), QrcIntArray(), ints({0, 1, 2, 3}));
          },
          &line),
      QrcBadArraySizeError);
  // Without symbols only the initial state is reached, however many there are:
  // the empty word is accepted when that state is final, no other word is.
  struct Row {
    QrcInt n;
    std::vector<QrcInt> finals;  // {-1}: none given
    bool holds;
  };
  const Row rows[] = {
      {0, {-1}, true}, {0, {0, 7}, true}, {0, {Big - 1}, false}, {2, {-1}, false}, {2, {0}, false}};
  for (const Row& r : rows) {
    QrcIntArray finals = r.finals[0] < 0 ? QrcIntArray() : ints(r.finals);
    EXPECT_EQ(adds(QrcRegular(QrcIntVarArray(mgr, r.n, 0, 1), Big, QrcIntArray(mgr, 0, QrcInt(0)),
                              finals, QrcIntArray(mgr, 0, QrcInt(0)))),
              r.holds)
        << r.n << " " << ::testing::PrintToString(r.finals);
  }
}

TEST_F(FactoryLimits, TupleSetArityAndPathCountOutOfRange) {
  for (QrcInt arity : {QrcInt(-1), Big, Max64}) {
    std::string line;
    EXPECT_EQ(errorOf([&] { QrcTupleSet(mgr, arity); }, &line), QrcBadArraySizeError) << arity;
    EXPECT_EQ(line, "Solver Error : QrcTupleSet : bad array size\n");
  }
  // 2p > n for p = 2^62 once doubled without overflow.
  QrcIntVarArray next = array({var(0, 3), var(0, 3), var(0, 3), var(0, 3)});
  QrcFloatVarArray y(mgr, 4);
  for (QrcInt i = 0; i < 4; ++i) y.set(i, QrcFloatVar(var(0, 9)));
  std::string line;
  EXPECT_EQ(errorOf([&] { QrcPath(next, y, nullptr, Big, 0); }, &line),
            QrcIncompatibleArgumentError);
  EXPECT_EQ(line, "Solver Error : QrcPath : Incompatible argument : 4611686018427387904\n");
}

// ---------------------------------------------------------------- values

TEST_F(FactoryLimits, ValueSetsSpreadOverTheWholeRange) {
  struct Row {
    V values;
    bool sparse;  // collection-backed
  };
  const Row rows[] = {
      {{Min64, Max64}, true},      {{Min64, 0, Max64}, true}, {{-1, Max64}, true},
      {{Min64, Min64 + 1}, false}, {{0, 18}, false},          {{0, 19}, true},
  };
  for (const Row& r : rows) {
    QrcIntSetI* s = QrcMakeValueSet(m, static_cast<QrcInt>(r.values.size()), r.values.data());
    EXPECT_EQ(s->getCollection() != nullptr, r.sparse) << ::testing::PrintToString(r.values);
    for (QrcInt v : r.values) EXPECT_TRUE(s->contains(v)) << v;
    for (QrcInt v : {QrcInt(1), QrcInt(-2), Max64 - 1, Min64 + 2})
      EXPECT_EQ(s->contains(v), std::count(r.values.begin(), r.values.end(), v) > 0) << v;
  }
}

// Distribute and both abstractions over values at both ends of the range,
// against brute force.
TEST(FactoryLimitValues, CountingAndAbstractionAgainstBruteForce) {
  const V listed = {Min64, 1, Max64};
  const QrcInt n = 3;
  auto inV = [&](int64_t v) { return std::count(listed.begin(), listed.end(), v) > 0; };
  auto valuesOf = [&](QrcManagerI* m) {
    return QrcIntArray(QrcManager(m), static_cast<QrcInt>(listed.size()), listed.data());
  };
  std::vector<qrotest::PropCase> cases(3);
  qrotest::PropCase& dist = cases[0];
  dist.name = "distribute";
  dist.notReified = "a distribute has no opposite";
  dist.values = qrotest::ranges(n, 0, 2);
  for (size_t j = 0; j < listed.size(); ++j) dist.values.push_back(qrotest::range(0, n));
  dist.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    return QrcDistribute(slice(m, v, n, n + 3), valuesOf(m), slice(m, v, 0, n)).getImpl();
  };
  dist.check = [=](const V& a) {
    for (size_t j = 0; j < listed.size(); ++j)
      if (a[n + j] != std::count(a.begin(), a.begin() + n, listed[j])) return false;
    return true;
  };
  qrotest::PropCase& abs = cases[1];
  abs.name = "value abstraction";
  abs.notReified = "an abstraction has no opposite";
  abs.values = {{0, 1, 2}, {0, 1, 2}, {0, 1, 2, 9}, {0, 1, 2, 9}};
  abs.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    return QrcEqAbstraction(slice(m, v, 2, 4), slice(m, v, 0, 2), valuesOf(m), 9).getImpl();
  };
  abs.check = [=](const V& a) {
    for (size_t i = 0; i < 2; ++i)
      if (a[i + 2] != (inV(a[i]) ? a[i] : 9)) return false;
    return true;
  };
  qrotest::PropCase& test = cases[2];
  test.name = "test abstraction";
  test.notReified = "an abstraction has no opposite";
  test.values = {{0, 1, 2}, {0, 1, 2}, {0, 1}, {0, 1}};
  test.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
    return QrcEqIntAbstraction(slice(m, v, 2, 4), slice(m, v, 0, 2), valuesOf(m)).getImpl();
  };
  test.check = [=](const V& a) {
    for (size_t i = 0; i < 2; ++i)
      if (a[i + 2] != (inV(a[i]) ? 1 : 0)) return false;
    return true;
  };
  for (qrotest::PropCase& c : cases) {
    c.seed = qrotest::caseSeed(5900);
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// Counts far outside [0, w] bound the windows as -1 and w + 1 do.
TEST(FactoryLimitValues, SequenceCountsAtTheIntegerLimits) {
  const QrcInt n = 4, w = 2;
  const std::pair<QrcInt, QrcInt> bounds[] = {{Min64, Max64}, {Min64, 1},     {1, Max64},
                                              {Max64, Max64}, {Min64, Min64}, {-5, 9}};
  for (const auto& b : bounds) {
    QrcInt lo = b.first, hi = b.second;
    qrotest::PropCase c;
    c.name = "sequence lo=" + std::to_string(lo) + " hi=" + std::to_string(hi);
    c.notReified = "a sequence has no opposite";
    c.seed = qrotest::caseSeed(5901);
    c.values = qrotest::ranges(n, 0, 2);
    c.values.push_back(qrotest::range(0, n));
    c.make = [=](QrcManagerI* m, const qrotest::Vars& v) {
      return QrcSequence(lo, hi, w, slice(m, v, 0, n), QrcIntArray(QrcManager(m), 1, QrcInt(1)),
                         slice(m, v, n, n + 1))
          .getImpl();
    };
    c.check = [=](const V& a) {
      for (QrcInt s = 0; s + w <= n; ++s) {
        QrcInt k = std::count(a.begin() + s, a.begin() + s + w, 1);
        if (k < lo || k > hi) return false;
      }
      return a[n] == std::count(a.begin(), a.begin() + n, 1);
    };
    c.narrowRuns = 15;
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

}  // namespace
