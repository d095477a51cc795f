// Variables whose domains span far more values than they lose: holes anywhere
// in the engine's range, removals and their deltas reported as ranges, and
// narrowing to scattered values, all costing the holes and never the span.
#include <map>
#include <random>

#include "int_fixtures.h"
#include "qrcintcompare.h"
#include "support/seed.h"

namespace inttest {
namespace {

const QrcInt Span = QrcInt(1) << 45;

// A domain as its maximal intervals, for reference.
class Intervals {
 public:
  Intervals(QrcInt lo, QrcInt hi) { _runs[lo] = hi; }
  void remove(QrcInt a, QrcInt b) {
    if (a > b) return;
    std::map<QrcInt, QrcInt> next;
    for (auto& r : _runs) {
      if (r.second < a || r.first > b) {
        next.insert(r);
        continue;
      }
      if (r.first < a) next[r.first] = a - 1;
      if (r.second > b) next[b + 1] = r.second;
    }
    _runs = next;
  }
  bool empty() const { return _runs.empty(); }
  QrcInt min() const { return _runs.begin()->first; }
  QrcInt max() const { return _runs.rbegin()->second; }
  QrcInt size() const {
    QrcInt n = 0;
    for (auto& r : _runs) n += r.second - r.first + 1;
    return n;
  }
  bool has(QrcInt v) const {
    auto it = _runs.upper_bound(v);
    return it != _runs.begin() && std::prev(it)->second >= v;
  }
  QrcInt nextHigher(QrcInt v) const {
    if (v >= max()) return v;
    if (v < min()) return min();
    if (has(v + 1)) return v + 1;
    return _runs.upper_bound(v)->first;
  }
  // The values worth probing: every interval end and its neighbours.
  std::vector<QrcInt> probes() const {
    std::vector<QrcInt> p;
    for (auto& r : _runs)
      for (QrcInt d = -1; d <= 1; ++d) {
        p.push_back(r.first + d);
        p.push_back(r.second + d);
      }
    return p;
  }
  std::string text() const {
    std::string s = "[";
    if (min() == max()) return s + std::to_string(min()) + "]";
    if (_runs.size() == 1) return s + std::to_string(min()) + ".." + std::to_string(max()) + "]";
    for (auto& r : _runs) {
      if (s.size() > 1) s += " ";
      s += std::to_string(r.first);
      if (r.second > r.first) s += ".." + std::to_string(r.second);
    }
    return s + "]";
  }

 private:
  std::map<QrcInt, QrcInt> _runs;
};

// Random narrowings of a variable over [0, 2^45] near both ends and in the
// middle, with backtracking, against the intervals they leave.
TEST_F(IntTest, WideDomainNarrowingMatchesItsIntervals) {
  uint64_t seed = qrotest::seedOr(31);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with --qro_seed=" + std::to_string(seed) +
               ")");
  std::mt19937_64 rng(seed);
  QrcIntExpI* x = var(0, Span);
  x->whenDomain(new (m) TextDemon(m, ""));
  std::vector<Intervals> saved;
  Intervals ref(0, Span);
  m->pushState();
  saved.push_back(ref);
  const QrcInt centres[] = {0, Span / 2, Span};
  QrcUInt heap = m->getHeap()->getBytes();
  for (int step = 0; step < 4000; ++step) {
    int op = static_cast<int>(rng() % 9);
    if (op == 0 && saved.size() < 8) {
      m->pushState();
      saved.push_back(ref);
      continue;
    }
    if (op == 1 && saved.size() > 1) {
      m->popState();
      ref = saved.back();
      saved.pop_back();
      continue;
    }
    QrcInt a = centres[rng() % 3] + static_cast<QrcInt>(rng() % 400) - 200;
    QrcInt b = a + static_cast<QrcInt>(rng() % (rng() % 4 ? 20 : Span / 4));
    Intervals next = ref;
    try {
      switch (op) {
        case 2:
          next.remove(QrcIntMin, a - 1);
          x->setMin(a);
          break;
        case 3:
          next.remove(b + 1, QrcIntMax);
          x->setMax(b);
          break;
        case 4:
          next.remove(QrcIntMin, a - 1);
          next.remove(b + 1, QrcIntMax);
          x->setRange(a, b);
          break;
        case 5:
          next.remove(a, a);
          x->removeValue(a);
          break;
        default:
          next.remove(a, b);
          x->removeRange(a, b);
      }
      ASSERT_FALSE(next.empty()) << "step " << step << " should fail";
      ref = next;
    } catch (QrcFailException&) {
      ASSERT_TRUE(next.empty()) << "step " << step << " failed";
      m->popState();
      ref = saved.back();
      saved.pop_back();
    }
    if (saved.empty()) {
      m->pushState();
      saved.push_back(ref);
    }
    ASSERT_EQ(x->getMin(), ref.min()) << "step " << step;
    ASSERT_EQ(x->getMax(), ref.max()) << "step " << step;
    ASSERT_EQ(x->getSize(), ref.size()) << "step " << step;
    for (QrcInt v : ref.probes()) {
      ASSERT_EQ(x->isInDomain(v), ref.has(v)) << "step " << step << " value " << v;
      ASSERT_EQ(x->getNextHigher(v), ref.nextHigher(v)) << "step " << step << " value " << v;
    }
    ASSERT_EQ(str(x), ref.text()) << "step " << step;
  }
  // A few hundred bytes a step at most: nothing follows the width.
  EXPECT_LT(m->getHeap()->getBytes() - heap, QrcUInt(4000 * 512));
}

std::string& ranges() {
  static std::string s;
  return s;
}

void logRanges(TextDemon* d) {
  QrcIntVarDeltaIterator it(d->getVar());
  QrcInt a, b;
  while (it.nextRange(a, b)) ranges() += std::to_string(a) + ".." + std::to_string(b) + " ";
}

// The delta of a wide variable comes as ranges: removed ranges hold only the
// values that were in the domain, and the values a bound went past come as
// the runs between holes.
TEST_F(IntTest, WideDeltasComeAsRanges) {
  ranges().clear();
  QrcIntExpI* x = var(0, Span);
  x->whenDomain(new (m) TextDemon(m, "", x, logRanges));
  x->removeRange(100, 200);
  EXPECT_EQ(ranges(), "100..200 ");
  ranges().clear();
  x->removeValue(300);
  x->removeRange(50, 400);  // over the holes: the runs still in the domain, latest first
  EXPECT_EQ(ranges(), "300..300 301..400 201..299 50..99 ");
  ranges().clear();
  x->setMin(Span / 2);
  EXPECT_EQ(ranges(), "0..49 401.." + std::to_string(Span / 2 - 1) + " ");
  ranges().clear();
  // Values one by one, the same values.
  QrcPropagationQueueI* q = m->getPropagationQueue();
  q->enter();
  x->removeRange(Span / 2 + 10, Span / 2 + 12);
  EXPECT_TRUE(x->isInDelta(Span / 2 + 11));
  EXPECT_FALSE(x->isInDelta(Span / 2 + 13));
  q->leave();
  EXPECT_EQ(ranges(), std::to_string(Span / 2 + 10) + ".." + std::to_string(Span / 2 + 12) + " ");
}

// Narrowing a wide variable to scattered values reports the gaps between
// them, one range each, to the demons that listen; the equality between two
// wide variables copies each range in one step.
TEST_F(IntTest, ScatteredValuesReportTheirGaps) {
  ranges().clear();
  QrcIntExpI* x = var(0, Span);
  QrcIntExpI* y = var(0, Span);
  mgr.add(QrcIntExp(x) == QrcIntExp(y));
  x->whenDomain(new (m) TextDemon(m, "", x, logRanges));
  QrcInt values[] = {0, 5, Span / 3, Span};
  QrcUInt heap = m->getHeap()->getBytes();
  x->setDomain(4, values, nullptr);
  EXPECT_EQ(ranges(), std::to_string(Span / 3 + 1) + ".." + std::to_string(Span - 1) + " 6.." +
                          std::to_string(Span / 3 - 1) + " 1..4 ");
  EXPECT_EQ(y->getSize(), 4);
  EXPECT_TRUE(y->isInDomain(Span / 3));
  EXPECT_LT(m->getHeap()->getBytes() - heap, QrcUInt(1) << 16);
}

// An absolute value or a square made a variable over a wide operand keeps in
// step with it at the price of the holes a change makes, never of its span:
// each row removes an interval of width near the span from one side.
TEST_F(IntTest, NodesMadeVariablesFollowWideRemovalsByTheirIntervals) {
  const QrcInt R = QrcInt(1) << 26;  // R * R stays within the engine's range
  struct Row {
    bool square;
    QrcInt lo, hi;    // x's domain
    bool onNode;      // the interval is removed from the node, else from x
    QrcInt a, b;      // the interval removed
    QrcInt nodeSize;  // sizes after the removal (-1: not checked)
    QrcInt xSize;
  } rows[] = {
      {false, -Span, Span, false, 1, Span - 1, Span + 1, Span + 2},  // mirrors hold every value
      {false, 0, Span, false, 1, Span - 1, 2, 2},
      {false, -Span, Span, true, 5, Span - 5, 10, 19},
      {true, -R, R, true, 1, R * R - 1, 2, 3},
      {true, 0, R, false, 1, R - 1, -1, 2},  // keeps to bounds past the budget
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << (r.square ? "square" : "abs") << " " << r.a << ".." << r.b);
    QrcManager other(QrcNoEdit);
    QrcManagerI* mm = other.getImpl();
    QrcIntExpI* x = new (mm) QrcIntExpI(mm, r.lo, r.hi, nullptr);
    QrcIntVar node(r.square ? QrcSquare(QrcIntExp(x)) : QrcAbs(QrcIntExp(x)));
    QrcIntExpI* e = node.getImpl();
    if (r.onNode)
      e->removeRange(r.a, r.b);
    else
      x->removeRange(r.a, r.b);
    if (r.nodeSize >= 0) {
      EXPECT_EQ(e->getSize(), r.nodeSize);
    }
    EXPECT_EQ(x->getSize(), r.xSize);
    // What is left still agrees once bound: the square of a removed root
    // past the budget stays, and binding the node to it fails.
    if (r.square && !r.onNode) {
      EXPECT_TRUE(e->isInDomain(0) && e->isInDomain(R * R) && e->isInDomain((R - 1) * (R - 1)));
      QrcSearch s(other, QrcGoal(node == (R - 1) * (R - 1)));
      EXPECT_FALSE(s.next());
      s.end();
    }
    other.end();
  }
}

}  // namespace
}  // namespace inttest
