// Path length in modes 0 and 2: fixed cases, errors, and brute force through
// the harness with y as float views of integer variables.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcfloatview.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcpath.h"
#include "qrcsearch.h"
#include "support/harness.h"

namespace {

using ctest::V;
using qrotest::PropCase;
using qrotest::Vars;

typedef std::vector<int64_t> A;

// transit(i, j) from a table of n * n values.
class TableTransit : public QrcPathTransitI {
 public:
  TableTransit(int n, std::vector<int> t) : _n(n), _t(std::move(t)) {}
  QrcFloat transit(QrcInt i, QrcInt j) override { return _t[static_cast<size_t>(i * _n + j)]; }
  int at(int64_t i, int64_t j) const { return _t[static_cast<size_t>(i * _n + j)]; }

 private:
  int _n;
  std::vector<int> _t;
};

// A reporter that lets the report return, to see what the maker gives back.
class ReturningReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { last = code; }
  int last = 0;
};

class PathTest : public ctest::ConstraintTest {
 protected:
  QrcFloatVarArray floats(std::vector<QrcIntExpI*> xs) {
    QrcFloatVarArray a(mgr, static_cast<QrcInt>(xs.size()));
    for (size_t i = 0; i < xs.size(); ++i) a.set(static_cast<QrcInt>(i), QrcFloatVar(xs[i]));
    return a;
  }
};

TEST_F(PathTest, ErrorsAndShortcuts) {
  ReturningReporter r;
  m->setErrorReporter(&r);
  QrcIntVarArray next = array({var(0, 1), var(0, 1)});
  QrcFloatVarArray y = floats({var(0, 9), var(0, 9)});
  testing::internal::CaptureStderr();
  EXPECT_EQ(QrcPath(next, y, nullptr, 0, 1).getImpl(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Solver Error : bad event : QrcPath : 1\n");
  EXPECT_EQ(r.last, QrcBadEventError);
  std::vector<QrcIntExpI*> six = {var(0, 5), var(0, 5), var(0, 5), var(0, 5), var(0, 5), var(0, 5)};
  testing::internal::CaptureStderr();
  EXPECT_EQ(QrcPath(array(six), floats(six), nullptr, 4, 0).getImpl(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Solver Error : QrcPath : Incompatible argument : 4\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(QrcPath(next, floats({var(0, 1)}), nullptr, 0, 0).getImpl(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Solver Error : QrcFloatVarArrayI : bad array size : 1\n");
  m->setErrorReporter(&reporter);
  EXPECT_EQ(QrcPath(array({}), QrcFloatVarArray(mgr, 0), nullptr, 0, 2).getImpl(),
            m->getTrueConstraint());
}

TEST_F(PathTest, FixedCases) {
  TableTransit five(2, {0, 5, 0, 0});
  for (QrcInt mode : {0, 2}) {
    // One path without inner node: end node 0 goes to start node 1 with no
    // condition although its transit is 5.
    QrcIntExpI* n0 = var(0, 1);
    QrcIntExpI* y0 = var(0, 10);
    QrcIntExpI* y1 = var(0, 10);
    ASSERT_TRUE(adds(QrcPath(array({n0, var(0, 1)}), floats({y0, y1}), &five, 1, mode)));
    EXPECT_EQ(dom(n0), (V{1})) << "mode " << mode;
    EXPECT_EQ(dom(y0), (V{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(dom(y1), dom(y0));
  }
  // Mode 2, inner nodes 0 and 1, end node 2, start node 3: successor 1
  // cannot follow 0 (6 - 2 < 5); y bounds follow the arcs.
  TableTransit two(4, std::vector<int>(16, 2));
  QrcIntExpI* n0 = var(1, 2);
  std::vector<QrcIntExpI*> ys = {var(5, 10), var(0, 6), var(0, 20), var(0, 20)};
  ASSERT_TRUE(adds(QrcPath(array({n0, var(0, 3), var(0, 3), var(0, 3)}), floats(ys), &two, 1, 2)));
  EXPECT_EQ(dom(n0), (V{2}));
  EXPECT_EQ(ys[2]->getMin(), 7);
  ys[0]->setMin(9);
  EXPECT_EQ(ys[2]->getMin(), 11);
  // Mode 0 follows bound arcs only, both ways.
  QrcIntExpI* m0 = var(0, 2);
  std::vector<QrcIntExpI*> zs = {var(5, 10), var(0, 20), var(0, 20)};
  QrcConstraintI* ct = QrcPath(array({m0, var(0, 2), var(0, 2)}), floats(zs), &two, 0, 0).getImpl();
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(zs[1]->getMin(), 0);
  m0->setValue(1);
  EXPECT_EQ(zs[1]->getMin(), 7);
  zs[1]->setMax(15);
  EXPECT_EQ(zs[0]->getMax(), 10);
  zs[1]->setMax(9);
  EXPECT_EQ(zs[0]->getMax(), 7);
  QrcIntVarArray prev = static_cast<QrcPathLengthConstraintI*>(ct)->getPrev();
  EXPECT_EQ(dom(prev.getImpl()->getVar(1)), (V{0}));
  QrcManager other(QrcNoEdit);
  QrcConstraintI* copy = ct->getCopyForManager(other.getImpl());
  EXPECT_TRUE(copy->isType(QrcPathLengthConstraintI::GetTypeInfo()));
  EXPECT_EQ(copy->getManager(), other.getImpl());
  other.end();
}

// Mode 0 over 3 nodes (inner 0, end 1, start 2), p = 1, no transit: the
// predecessor of node 1 is node 0 whether or not a successor can be 0; the
// arc 0 -> 1 needs y[1] >= y[0]. Every solution of a search over next.
TEST(PathModeZero, PredecessorsAreNodeNumbersWhateverTheSuccessorsHold) {
  struct Row {
    double y0, y1, y2;
    QrcInt lo2;  // next[2] in lo2..5
    std::vector<A> solutions;
  } rows[] = {
      {1, 2, 1, 2, {{1, 2, 2}}}, {1, 2, 1, 0, {{1, 2, 0}, {1, 2, 2}}},
      {1, 1, 1, 2, {{1, 2, 2}}}, {2, 1, 1, 2, {}},
      {2, 1, 1, 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "y0 " << row.y0 << " y1 " << row.y1 << " lo2 " << row.lo2);
    QrcManager mgr(QrcEdit);
    QrcIntVarArray next(mgr, 3);
    next.set(0, QrcIntVar(mgr, 1, 4));
    next.set(1, QrcIntVar(mgr, 2, 4));
    next.set(2, QrcIntVar(mgr, row.lo2, 5));
    QrcFloatVarArray y(mgr, 3);
    y.set(0, QrcFloatVar(mgr, row.y0, row.y0));
    y.set(1, QrcFloatVar(mgr, row.y1, row.y1));
    y.set(2, QrcFloatVar(mgr, row.y2, row.y2));
    QrcConstraint ct = QrcPath(next, y, nullptr, 1, 0);
    mgr.add(ct);
    QrcIntVarArray prev = static_cast<QrcPathLengthConstraintI*>(ct.getImpl())->getPrev();
    std::vector<A> found;
    QrcSearch search(mgr, QrcGenerate(next));
    while (search.next()) {
      found.push_back({next[0].getValue(), next[1].getValue(), next[2].getValue()});
      EXPECT_EQ(prev[1].getValue(), 0);
    }
    search.end();
    EXPECT_EQ(found, row.solutions);
    mgr.end();
  }
}

// next a permutation, each end node followed by its start node and no inner
// node by a start node; y[j] >= y[i] + transit on arcs from a non-end node to
// a non-start node.
bool pathHolds(const A& s, int n, int p, const TableTransit& t) {
  int m = n - 2 * p;
  std::vector<bool> seen(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) {
    int64_t j = s[static_cast<size_t>(i)];
    if (j < 0 || j >= n || seen[static_cast<size_t>(j)]) return false;
    seen[static_cast<size_t>(j)] = true;
    bool end = i >= m && i < m + p, start = j >= m + p;
    if (end && j != i + p) return false;
    if (i < m && start) return false;
    if (!end && !start &&
        s[static_cast<size_t>(n + j)] < s[static_cast<size_t>(n + i)] + t.at(i, j))
      return false;
  }
  return true;
}

// Mode 0 alone, where next need not be a permutation: each end node followed
// by its start node, no inner node by a start node, and a node that is not a
// start node has at most one predecessor i, with y[j] >= y[i] + transit.
bool modeZeroHolds(const A& s, int n, int p, const TableTransit& t) {
  int m = n - 2 * p;
  std::vector<bool> seen(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) {
    int64_t j = s[static_cast<size_t>(i)];
    if (j < 0 || j >= n) return false;
    bool end = i >= m && i < m + p, start = j >= m + p;
    if (end && j != i + p) return false;
    if (i < m && start) return false;
    if (start) continue;
    if (seen[static_cast<size_t>(j)]) return false;
    seen[static_cast<size_t>(j)] = true;
    if (s[static_cast<size_t>(n + j)] < s[static_cast<size_t>(n + i)] + t.at(i, j)) return false;
  }
  return true;
}

TEST(PathHarness, ModesZeroAndTwo) {
  for (int k = 0; k < 24; ++k) {
    uint64_t seed = qrotest::caseSeed(4300 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    int n = 2 + static_cast<int>(rng() % 4);
    int p = static_cast<int>(rng() % 3);
    if (2 * p > n) p = n / 2;
    std::vector<int> table;
    for (int i = 0; i < n * n; ++i) table.push_back(static_cast<int>(rng() % 3));
    auto transit = std::make_shared<TableTransit>(n, table);
    // Mode 0 with next made a permutation, mode 0 alone, mode 2.
    for (int variant = 0; variant < 3; ++variant) {
      int mode = variant == 2 ? 2 : 0;
      bool permutation = variant == 0;
      PropCase c;
      c.name = "path n " + std::to_string(n) + " p " + std::to_string(p) + " mode " +
               std::to_string(mode) + (variant == 1 ? " alone" : "");
      c.seed = seed;
      // Odd rounds: successors over parts of the node numbers (with p > 0,
      // also past them), so that no successor need hold a given node.
      if (k % 2 == 0)
        c.values = qrotest::ranges(n, 0, n - 1);
      else
        c.values = qrotest::randomDomains(rng, n, 0, p > 0 ? n + 1 : n - 1, n);
      for (int i = 0; i < n; ++i) c.values.push_back(qrotest::range(0, n < 5 ? 2 : 1));
      c.post = [n, p, mode, permutation, transit](QrcManagerI* m, const Vars& v) {
        QrcIntVarArray next(QrcManager(m), n);
        QrcFloatVarArray y(QrcManager(m), n);
        for (int i = 0; i < n; ++i) {
          next.set(i, QrcIntExp(v[static_cast<size_t>(i)]));
          y.set(i, QrcFloatVar(v[static_cast<size_t>(n + i)]));
        }
        // Mode 0 does not make next a permutation.
        if (permutation)
          for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j)
              m->add((QrcIntExp(v[static_cast<size_t>(i)]) != QrcIntExp(v[static_cast<size_t>(j)]))
                         .getImpl());
        m->add(QrcPath(next, y, transit.get(), p, mode).getImpl());
      };
      c.check = [n, p, mode, permutation, transit](const A& s) {
        return mode == 0 && !permutation ? modeZeroHolds(s, n, p, *transit)
                                         : pathHolds(s, n, p, *transit);
      };
      qrotest::runPropCase(c);
    }
  }
}

}  // namespace
