// Engine hash tables, collections and reversible sets. It includes
// qrcfloatset.h, private to the engine, to check the float collections and sets
// that float variables with value sets use.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "qrchash.h"
#include "qrcintset.h"
#include "qrcmanager.h"
#include "support/seed.h"

namespace {

class ContainersTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->getTrail()->setRecording(1);
  }
  void TearDown() override { mgr.end(); }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST(HashTable, BucketCounts) {
  EXPECT_EQ(QrcHashTable::nextBucketCount(0), 17);
  EXPECT_EQ(QrcHashTable::nextBucketCount(16), 17);
  EXPECT_EQ(QrcHashTable::nextBucketCount(17), 17);
  EXPECT_EQ(QrcHashTable::nextBucketCount(18), 19);
  EXPECT_EQ(QrcHashTable::nextBucketCount(21), 23);
  EXPECT_EQ(QrcHashTable::nextBucketCount(27), 29);
  EXPECT_EQ(QrcHashTable::nextBucketCount(10000), 9239);
}

TEST_F(ContainersTest, HashTableGrowth) {
  QrcIntHashTable t(m, 17);
  for (QrcInt k = 0; k < 118; ++k) t.add(k, static_cast<QrcWord>(k + 1));
  EXPECT_EQ(t.getBucketCount(), 17);
  t.add(118, 119);
  EXPECT_EQ(t.getBucketCount(), 29);
  for (QrcInt k = 0; k < 119; ++k) ASSERT_EQ(t.get(k), static_cast<QrcWord>(k + 1));
  EXPECT_EQ(t.get(1000), 0u);
  EXPECT_EQ(t.getSize(), 119);

  // A long chain grows the table at load 3.
  QrcIntHashTable chain(m, 17);
  for (QrcInt k = 0; k < 51; ++k) chain.add(k * 17 * 65536, 1);  // all in bucket 0
  EXPECT_EQ(chain.getBucketCount(), 29);

  QrcIntHashTable big(m, 9239);
  for (QrcInt k = 0; k < 70000; ++k) big.add(k, 1);
  EXPECT_EQ(big.getBucketCount(), 9239);
  EXPECT_TRUE(big.contains(69999));
  // Negative keys hash through their unsigned value.
  QrcIntHashTable neg(m, 17);
  neg.add(-5, 7);
  EXPECT_EQ(neg.get(-5), 7u);
  EXPECT_EQ(neg.hash(static_cast<QrcWord>(QrcInt(-5))),
            static_cast<QrcInt>(((QrcWord(-5) >> 16) ^ (QrcWord(-5) & 0xffff)) % 17));
}

TEST_F(ContainersTest, TableMadeWithoutBucketsTakesInsertions) {
  QrcIntHashTable t(m, 0);
  EXPECT_EQ(t.get(5), 0u);
  t.add(5, 9);
  EXPECT_EQ(t.getBucketCount(), 17);
  EXPECT_EQ(t.get(5), 9u);
  QrcFloatHashTable f(m, -3);
  f.add(2.5, 4);
  EXPECT_EQ(f.get(2.5), 4u);
}

TEST_F(ContainersTest, FloatHashTable) {
  QrcFloatHashTable t(m, 17);
  for (int i = 0; i < 200; ++i) t.add(i * 0.25, static_cast<QrcWord>(i + 1));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(t.get(i * 0.25), static_cast<QrcWord>(i + 1));
  EXPECT_EQ(t.get(-0.0), 1u);
  EXPECT_FALSE(t.contains(0.1));
}

TEST_F(ContainersTest, RehashReversible) {
  QrcIntHashTable t(m, 17);
  for (QrcInt k = 0; k < 40; ++k) t.add(k, 1);
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  t.rehash(53, true);
  EXPECT_EQ(t.getBucketCount(), 53);
  EXPECT_TRUE(t.contains(39));
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(t.getBucketCount(), 17);
  for (QrcInt k = 0; k < 40; ++k) ASSERT_TRUE(t.contains(k));
}

TEST_F(ContainersTest, CollectionsAndLayouts) {
  QrcInt values[] = {3, 1, 3, 2};
  QrcIntCollectionI* c = new (m) QrcIntCollectionI(m, 4, values, false);
  ASSERT_EQ(c->getSize(), 3);
  for (QrcInt i = 0; i < 3; ++i) {
    EXPECT_EQ(c->getElement(i)->value, i + 1);
    EXPECT_EQ(c->getElement(i)->index, i);
    EXPECT_EQ(c->getElement(i)->word, 0);
    EXPECT_EQ(c->getElement(i)->mask, QrcWord(2) << i);
  }
  QrcInt shuffled[] = {2, 3, 1, 1};
  EXPECT_EQ(c->matchOrCreate(4, shuffled), c);
  QrcInt other[] = {2, 3};
  EXPECT_NE(c->matchOrCreate(2, other), c);

  EXPECT_EQ(QrcIntSetI(m, 0, 63, 1, 0).getWordCount(), 2);
  QrcIntSetI s64(m, 0, 64, 1, 0);
  EXPECT_EQ(s64.getWordCount(), 2);
  EXPECT_EQ(s64.getSize(), 65);

  QrcInt sparse[] = {1, 5, 9};
  QrcIntCollectionI* c2 = new (m) QrcIntCollectionI(m, 3, sparse, true);
  QrcIntSetI ranged(c2, 1, 1, 0);
  EXPECT_EQ(ranged.getCollection(), nullptr);
  EXPECT_EQ(ranged.getMin(), 1);
  EXPECT_EQ(ranged.getMax(), 9);
  EXPECT_EQ(ranged.getSize(), 3);
  EXPECT_TRUE(ranged.contains(5));
  EXPECT_FALSE(ranged.contains(6));
  QrcInt wide[] = {0, 200};
  QrcIntSetI elementBased(new (m) QrcIntCollectionI(m, 2, wide, true), 1, 1, 0);
  EXPECT_NE(elementBased.getCollection(), nullptr);
  EXPECT_EQ(elementBased.getSize(), 2);
  EXPECT_FALSE(elementBased.contains(100));
  EXPECT_FALSE(elementBased.isMember(100));
  QrcIntSetI plain(m, 0, 10, 1, 0);
  EXPECT_TRUE(plain.isMember(50));
  EXPECT_EQ(plain.firstMemberInRange(20, 30), 19);
}

TEST_F(ContainersTest, StampedSetSavesOncePerChoicePoint) {
  QrcIntSetI s(m, 0, 100, 1, 1);
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  QrcInt top = m->getTrail()->getTop();
  EXPECT_TRUE(s.remove(3));
  QrcInt afterFirst = m->getTrail()->getTop();
  EXPECT_TRUE(s.remove(4));  // same word, same choice point
  EXPECT_FALSE(s.remove(4));
  EXPECT_EQ(m->getTrail()->getTop(), afterFirst);
  EXPECT_GT(afterFirst, top);
  EXPECT_EQ(s.getSize(), 99);
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(s.getSize(), 101);
  EXPECT_TRUE(s.contains(3));
  EXPECT_TRUE(s.contains(4));
}

// Random operations on plain and element-based sets against std::set, with
// backtracking to random earlier states.
TEST_F(ContainersTest, SetsMatchReferenceUnderBacktracking) {
  uint64_t seed = qrotest::seedOr(19);
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 12; ++round) {
    std::vector<QrcInt> universe;
    bool elementBased = round % 2 == 1;
    for (QrcInt v = -70; v <= 130; ++v)
      if (!elementBased || rng() % 3 == 0) universe.push_back(elementBased ? v * 7 : v);
    QrcIntSetI* s;
    if (elementBased)
      s = new (m) QrcIntSetI(
          new (m) QrcIntCollectionI(m, static_cast<QrcInt>(universe.size()), universe.data(), true),
          1, 0, round % 4 == 1);
    else
      s = new (m) QrcIntSetI(m, -70, 130, 1, round % 4 == 0);
    std::set<QrcInt> ref(universe.begin(), universe.end());
    std::vector<std::set<QrcInt>> saved;
    for (int step = 0; step < 300; ++step) {
      int op = static_cast<int>(rng() % 10);
      QrcInt v = universe[rng() % universe.size()] + (elementBased ? 0 : 0);
      if (op == 0) {
        m->pushChoicePoint(nullptr, nullptr, nullptr);
        saved.push_back(ref);
      } else if (op == 1 && !saved.empty()) {
        m->popChoicePoint(nullptr, nullptr);
        ref = saved.back();
        saved.pop_back();
      } else if (op == 2) {
        QrcInt b = v + static_cast<QrcInt>(rng() % 40);
        s->removeRange(v, b);
        for (auto it = ref.lower_bound(v); it != ref.end() && *it <= b;) it = ref.erase(it);
      } else if (op == 3) {
        ASSERT_EQ(s->add(v), ref.insert(v).second) << "seed " << seed;
      } else {
        ASSERT_EQ(s->remove(v), ref.erase(v) == 1) << "seed " << seed;
      }
      ASSERT_EQ(s->getSize(), static_cast<QrcInt>(ref.size()))
          << "seed " << seed << " step " << step;
      QrcInt a = universe[rng() % universe.size()];
      QrcInt b = a + static_cast<QrcInt>(rng() % 60);
      auto it = ref.lower_bound(a);
      QrcInt first = (it != ref.end() && *it <= b) ? *it : a - 1;
      ASSERT_EQ(s->firstMemberInRange(a, b), first) << "seed " << seed;
      ASSERT_EQ(s->intersectsRange(a, b), first != a - 1) << "seed " << seed;
      auto up = ref.upper_bound(a);
      QrcInt higher = up == ref.end() ? a : *up;
      ASSERT_EQ(s->getNextHigher(a), higher) << "seed " << seed << " a " << a;
    }
    std::vector<QrcInt> members;
    QrcIntSetIterator iter(s);
    QrcInt x;
    while (iter.next(x)) members.push_back(x);
    ASSERT_EQ(members, std::vector<QrcInt>(ref.begin(), ref.end())) << "seed " << seed;
    while (!saved.empty()) {
      m->popChoicePoint(nullptr, nullptr);
      saved.pop_back();
    }
  }
}

// A set kept as its holes answers as a bit set over the same universe, for
// every operation, under backtracking (the nodes of its tree made since a
// choice point are changed in place, older ones copied).
TEST_F(ContainersTest, HoleFormMatchesBitSetUnderBacktracking) {
  uint64_t seed = qrotest::seedOr(23);
  std::mt19937_64 rng(seed);
  const QrcInt lo = -40, hi = 160;
  for (int round = 0; round < 8; ++round) {
    QrcIntSetI* bits = new (m) QrcIntSetI(m, lo, hi, 1, 1);
    QrcIntSetI* holes = new (m) QrcIntSetI(m, lo, hi, QrcIntSetI::HoleForm());
    ASSERT_TRUE(holes->isHoleForm());
    int depth = 0;
    for (int step = 0; step < 400; ++step) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + " step " +
                   std::to_string(step));
      int op = static_cast<int>(rng() % 12);
      QrcInt v = lo - 3 + static_cast<QrcInt>(rng() % (hi - lo + 7));
      QrcInt w = v + static_cast<QrcInt>(rng() % 30) - 3;
      switch (op) {
        case 0:
          m->pushChoicePoint(nullptr, nullptr, nullptr);
          ++depth;
          break;
        case 1:
          if (depth) {
            m->popChoicePoint(nullptr, nullptr);
            --depth;
          }
          break;
        case 2:
        case 3:
          bits->removeRange(v, w);
          holes->removeRange(v, w);
          break;
        case 4:
          ASSERT_EQ(holes->add(v), bits->add(v));
          break;
        case 5:
          ASSERT_EQ(holes->raiseMin(v, w), bits->raiseMin(v, w));
          break;
        case 6:
          ASSERT_EQ(holes->lowerMax(w, v), bits->lowerMax(w, v));
          break;
        default:
          ASSERT_EQ(holes->remove(v), bits->remove(v));
      }
      ASSERT_EQ(holes->getSize(), bits->getSize());
      // The members of a range, word by word for the bit set.
      for (QrcInt x = lo; step % 16 == 0 && x <= hi; x += 7) {
        QrcInt b = std::min(x + 70, hi);
        std::vector<QrcInt> fromBits, fromHoles, expected;
        bits->forEachIn(x, b, [&](QrcInt v) { fromBits.push_back(v); });
        holes->forEachIn(x, b, [&](QrcInt v) { fromHoles.push_back(v); });
        for (QrcInt v = x; v <= b; ++v)
          if (bits->contains(v)) expected.push_back(v);
        ASSERT_EQ(fromBits, expected) << x;
        ASSERT_EQ(fromHoles, expected) << x;
      }
      for (QrcInt x = lo - 2; x <= hi + 2; ++x) {
        ASSERT_EQ(holes->contains(x), bits->contains(x)) << x;
        ASSERT_EQ(holes->isMember(x), bits->isMember(x)) << x;
        ASSERT_EQ(holes->getNextHigher(x), bits->getNextHigher(x)) << x;
        ASSERT_EQ(holes->getNextLower(x), bits->getNextLower(x)) << x;
        ASSERT_EQ(holes->firstMemberInRange(x, x + 9), bits->firstMemberInRange(x, x + 9)) << x;
        ASSERT_EQ(holes->intersectsRange(x, x + 4), bits->intersectsRange(x, x + 4)) << x;
        ASSERT_EQ(holes->countIn(x, x + 17), bits->countIn(x, x + 17)) << x;
        if (bits->contains(x)) {
          ASSERT_EQ(holes->getRunEnd(x), bits->getRunEnd(x)) << x;
        }
        QrcInt p = x - lo;
        ASSERT_EQ(holes->nextSetPosition(p), bits->nextSetPosition(p)) << x;
        ASSERT_EQ(holes->nextClearPosition(p), bits->nextClearPosition(p)) << x;
        ASSERT_EQ(holes->previousSetPosition(p), bits->previousSetPosition(p)) << x;
      }
    }
    std::vector<QrcInt> a, b;
    QrcIntSetIterator ia(holes), ib(bits);
    QrcInt x;
    while (ia.next(x)) a.push_back(x);
    while (ib.next(x)) b.push_back(x);
    EXPECT_EQ(a, b);
    QrcIntSetI* c = holes->copy(m);
    for (QrcInt y = lo; y <= hi; ++y) ASSERT_EQ(c->contains(y), bits->contains(y)) << y;
    EXPECT_EQ(c->getSize(), bits->getSize());
    while (depth--) m->popChoicePoint(nullptr, nullptr);
  }
}

// Holes cost their number, never the span: a thousand holes in a span of
// 2^53 and a range removal across them.
TEST_F(ContainersTest, HoleFormCostsTheHoles) {
  QrcInt lo = -(QrcInt(1) << 52), hi = QrcInt(1) << 52;
  QrcIntSetI* s = QrcIntSetI::makeDomain(m, lo, hi);
  ASSERT_TRUE(s->isHoleForm());
  EXPECT_FALSE(QrcIntSetI::makeDomain(m, 0, 1000)->isHoleForm());
  QrcUInt before = m->getHeap()->getBytes();
  const QrcInt step = QrcInt(1) << 40;
  for (QrcInt k = 0; k < 1000; ++k) EXPECT_TRUE(s->remove(lo + k * step));
  EXPECT_LT(m->getHeap()->getBytes() - before, QrcUInt(1000 * 128));
  EXPECT_EQ(s->getSize(), hi - lo + 1 - 1000);
  EXPECT_EQ(s->countIn(lo, lo + 10 * step), 10 * step + 1 - 11);
  EXPECT_EQ(s->getNextHigher(lo + step - 1), lo + step + 1);
  s->removeRange(lo + step / 2, lo + 500 * step + 7);
  EXPECT_EQ(s->getRunEnd(lo + 1), lo + step / 2 - 1);
  EXPECT_EQ(s->getNextHigher(lo + step / 2 - 1), lo + 500 * step + 8);
  EXPECT_EQ(s->getSize(), hi - lo + 1 - 500 - (500 * step + 8 - step / 2));
}

TEST_F(ContainersTest, RaiseMinAndLowerMaxCountWithoutClearing) {
  QrcIntSetI s(m, 0, 20, 1, 0);
  s.remove(6);
  EXPECT_EQ(s.raiseMin(0, 5), 5);
  EXPECT_EQ(s.getSize(), 15);  // 0..4 dropped from the count
  EXPECT_EQ(s.raiseMin(5, 6), 7);
  EXPECT_EQ(s.getSize(), 14);
  EXPECT_EQ(s.lowerMax(20, 17), 17);
  EXPECT_EQ(s.getSize(), 11);
  EXPECT_EQ(s.getNextLower(7), 5);
  QrcInt v = 19;
  EXPECT_TRUE(s.nextInUniverse(v));
  EXPECT_EQ(v, 20);
  EXPECT_FALSE(s.nextInUniverse(v));
  QrcIntSetI* c = s.copy(m);
  EXPECT_EQ(c->getSize(), 11);
  EXPECT_FALSE(c->contains(6));
}

// One value off either end, across word boundaries and over stale bits, as
// a wider step counts it.
TEST_F(ContainersTest, SingleStepBoundMovesCountAsWiderOnes) {
  struct Step {
    QrcInt from, to;
  };
  const Step ups[] = {{62, 63}, {63, 64}, {64, 65}, {66, 67}, {127, 128}, {0, 1}};
  const Step downs[] = {{65, 64}, {64, 63}, {63, 62}, {67, 66}, {129, 128}, {1, 0}};
  for (int k = 0; k < 6; ++k) {
    QrcIntSetI one(m, 0, 129, 1, 0), wide(m, 0, 129, 1, 0);
    for (QrcIntSetI* s : {&one, &wide}) {
      s->remove(66);  // a hole met by a step
      s->remove(128);
    }
    Step u = ups[k], d = downs[k];
    EXPECT_EQ(one.raiseMin(u.from, u.to), wide.raiseMin(u.from - 1, u.to)) << k;
    EXPECT_EQ(one.lowerMax(d.from, d.to), wide.lowerMax(d.from + 1, d.to)) << k;
    // The wider steps also dropped one value below, one above.
    QrcInt extra = (u.from - 1 >= 0 && u.from - 1 != 66 && u.from - 1 != 128) +
                   (d.from + 1 <= 129 && d.from + 1 != 66 && d.from + 1 != 128);
    EXPECT_EQ(one.getSize(), wide.getSize() + extra) << k;
  }
}

// The next member after any value of or around plain ranges of one and of
// several words, with negative values and holes at word edges, against a
// plain set of the members.
TEST_F(ContainersTest, NextHigherAcrossWordEdgesMatchesReference) {
  struct Case {
    QrcInt min, max;
    std::vector<QrcInt> holes;
  };
  const Case cases[] = {
      {0, 63, {}},
      {0, 63, {1, 2, 62}},
      {-64, 63, {-1, 0, 1, -63}},
      {5, 70, {6, 63, 64, 65, 69}},
      {-130, 10, {-67, -66, -65, -64, -63, -2}},
      {-3, 3, {-2, 0, 2}},
      {10, 200, {11, 12, 73, 74, 137, 138, 199}},
  };
  for (const Case& c : cases) {
    QrcIntSetI* s = new (m) QrcIntSetI(m, c.min, c.max, 1, 0);
    std::set<QrcInt> ref;
    for (QrcInt v = c.min; v <= c.max; ++v) ref.insert(v);
    for (QrcInt h : c.holes) {
      s->remove(h);
      ref.erase(h);
    }
    for (QrcInt v = c.min - 70; v <= c.max + 70; ++v) {
      auto up = ref.upper_bound(v);
      QrcInt expected = up == ref.end() ? v : *up;
      ASSERT_EQ(s->getNextHigher(v), expected) << c.min << ".." << c.max << " v " << v;
    }
  }
}

TEST_F(ContainersTest, OrderedSets) {
  QrcInt values[] = {30, 10, 20, 10, 1000};
  QrcIntOrderedSetI s(m, 4, values, false);
  EXPECT_EQ(s.getSize(), 3);
  EXPECT_EQ(s.getIndex(30), 0);
  EXPECT_EQ(s.getIndex(10), 1);
  EXPECT_EQ(s.getIndex(20), 2);
  EXPECT_TRUE(s.isDense());
  EXPECT_TRUE(s.add(1000));  // outside the dense range
  EXPECT_TRUE(s.contains(1000));
  EXPECT_EQ(s.getIndex(1000), 3);
  EXPECT_FALSE(s.add(20));
  EXPECT_FALSE(s.contains(25));
  for (QrcInt v = 0; v < 40; ++v) s.add(2000 + v);
  for (QrcInt v = 0; v < 40; ++v) ASSERT_EQ(s.getIndex(2000 + v), 4 + v);

  QrcIntSetI set(m, 0, 10, 0, 0);
  set.add(7);
  set.add(2);
  QrcIntOrderedSetI fromSet(m, &set);
  EXPECT_EQ(fromSet.getValue(0), 2);
  EXPECT_EQ(fromSet.getValue(1), 7);

  EXPECT_DEATH(QrcIntOrderedSetI(m, 4, values, true),
               "Solver Error : QrcIntOrderedSetI : repeated element in array : 10");
}

TEST_F(ContainersTest, ConstArrayIndex) {
  QrcInt values[] = {5, 3, 5, 9, 3, 5};
  QrcConstArrayI* a = new (m) QrcConstArrayI(m, 6, values);
  QrcIntArrayIndexI* idx = a->getValueIndex();
  EXPECT_EQ(a->getValueIndex(), idx);
  EXPECT_EQ(idx->getDistinctCount(), 3);
  QrcInt b = 0, e = 0;
  ASSERT_TRUE(idx->positionsOf(5, b, e));
  std::vector<QrcInt> pos(idx->getPositions() + b, idx->getPositions() + e);
  EXPECT_EQ(pos, (std::vector<QrcInt>{0, 2, 5}));
  EXPECT_FALSE(idx->positionsOf(4, b, e));
  EXPECT_FALSE(idx->allDistinct());
  EXPECT_DEATH(QrcConstArrayI(m, -2, values),
               "Solver Error : QRCCONSTARRAYCLASS : bad array size : -2");
  EXPECT_DEATH(QrcIntCollectionI(m, 0, values, true),
               "Solver Error : QrcIntCollectionI::QrcIntCollectionI : called with null array size");
}

}  // namespace

#include "qrcfloatset.h"

namespace {

TEST_F(ContainersTest, FloatCollectionsAndSets) {
  QrcFloat values[] = {2.5, -1.0, 2.5, 0.0, 7.25};
  QrcFloatCollectionI* c = new (m) QrcFloatCollectionI(m, 5, values);
  ASSERT_EQ(c->getSize(), 4);
  EXPECT_EQ(c->getLeast(), -1.0);
  EXPECT_EQ(c->getGreatest(), 7.25);
  QrcFloat same[] = {7.25, 0.0, -1.0, 2.5};
  EXPECT_EQ(c->matchOrCreate(4, same), c);
  QrcFloat fewer[] = {7.25, 0.0};
  EXPECT_NE(c->matchOrCreate(2, fewer), c);

  QrcFloatSetI s(c, 1, 1);
  EXPECT_EQ(s.getSize(), 4);
  EXPECT_TRUE(s.contains(-0.0));
  EXPECT_FALSE(s.contains(1.0));
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  EXPECT_TRUE(s.remove(0.0));
  EXPECT_FALSE(s.remove(0.0));
  EXPECT_EQ(s.getNextHigher(-1.0), 2.5);
  EXPECT_EQ(s.getNextLower(2.5), -1.0);
  EXPECT_EQ(s.nextMemberAbove(0.5), 2.5);
  EXPECT_EQ(s.previousMemberBelow(2.4), -1.0);
  EXPECT_EQ(s.raiseMin(-1.0, 0.0), 2.5);
  EXPECT_EQ(s.getSize(), 2);
  EXPECT_EQ(s.lowerMax(7.25, 7.0), 2.5);
  EXPECT_EQ(s.getSize(), 1);
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(s.getSize(), 4);
  EXPECT_TRUE(s.contains(0.0));

  QrcFloatArrayI* a = new (m) QrcFloatArrayI(m, 3, 1.5);
  (*a)[1] = 4.0;
  a->setCollection();
  EXPECT_EQ(a->getCollection()->getSize(), 2);
  EXPECT_DEATH(QrcFloatArrayI(m, -1, 0.0), "Solver Error : QRCCOLLARRAY : bad array size : -1");
}

}  // namespace
