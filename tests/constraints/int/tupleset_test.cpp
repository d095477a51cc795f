#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrctupleset.h"
#include "qromodel.h"
#include "qrosolver.h"
#include "qrosolveri.h"

namespace {

class TupleSet : public ctest::ConstraintTest {
 protected:
  QrcTupleSet make(QrcInt arity, const std::vector<ctest::V>& tuples, QrcInt mode) {
    QrcTupleSet s(mgr, arity);
    s.setStorageMode(mode);
    for (const auto& t : tuples) s.add(ints(t));
    s.close();
    return s;
  }
};

TEST_F(TupleSet, Errors) {
  QrcTupleSet s(mgr, 2);
  s.add(ints({1, 2}));
  std::string line;
  EXPECT_EQ(errorOf([&] { s.add(ints({1, 2, 3})); }, &line), 5);
  EXPECT_EQ(line, "Solver Error : QrcTupleSet::add : bad array size\n");
  EXPECT_EQ(errorOf([&] { s.isIn(ints({1, 2})); }, &line), 56);
  EXPECT_EQ(line, "Solver Error : QrcTupleSet::isIn : the tuple set is not closed\n");
  s.close();
  EXPECT_EQ(errorOf([&] { s.add(ints({3, 4})); }, &line), 55);
  EXPECT_EQ(line, "Solver Error : QrcTupleSet::add : the tuple set is already closed\n");
  EXPECT_EQ(errorOf([&] { s.isIn(ints({1})); }, &line), 5);
  EXPECT_EQ(line, "Solver Error : QrcTupleSet::isIn : bad array size\n");
}

TEST_F(TupleSet, Membership) {
  for (QrcInt mode = 0; mode <= 2; ++mode) {
    QrcTupleSet empty = make(2, {}, mode);
    EXPECT_FALSE(empty.isIn(ints({0, 0})));
    QrcTupleSet twice = make(2, {{1, 2}, {1, 2}, {-7, 40}}, mode);
    EXPECT_EQ(twice.getCount(), 3);
    EXPECT_TRUE(twice.isIn(ints({1, 2})));
    EXPECT_TRUE(twice.isIn(ints({-7, 40})));
    EXPECT_FALSE(twice.isIn(ints({2, 1})));  // same hash, other tuple
    twice.close();
    EXPECT_TRUE(twice.isIn(ints({1, 2})));
    EXPECT_EQ(twice.getImpl()->getStorageMode(), mode);
    // Arity 0: every tuple is the empty one.
    QrcTupleSet none = make(0, {{}, {}}, mode);
    EXPECT_TRUE(none.isIn(QrcIntArray()));
    EXPECT_FALSE(make(0, {}, mode).isIn(QrcIntArray()));
  }
}

TEST_F(TupleSet, RefilledBufferKeepsEveryTuple) {
  QrcTupleSet s(mgr, 3);
  QrcIntArray buffer(mgr, 3, QrcInt(0));
  for (QrcInt i = 0; i < 20; ++i) {
    for (QrcInt k = 0; k < 3; ++k) buffer[k] = i * 10 + k;
    s.add(buffer);
  }
  s.close();
  for (QrcInt i = 0; i < 20; ++i) EXPECT_TRUE(s.isIn(ints({i * 10, i * 10 + 1, i * 10 + 2})));
}

TEST_F(TupleSet, SolverOptionChoosesTheMode) {
  QroEnv env;
  QroSolver solver{QroModel(env)};
  for (QroInt option : {0, 1, 2, 7}) {
    solver.getImpl()->setTupleSetStorageMode(option);
    QrcTupleSet s(solver.getManager(), 1);
    s.setStorageMode(option == 1 ? 2 : 1);  // the solver's option wins
    s.close();
    EXPECT_EQ(s.getImpl()->getStorageMode(), option == 7 ? 0 : option);
  }
  env.end();
}

TEST_F(TupleSet, OwnModeWithoutSolver) {
  QrcTupleSet s(mgr, 1);
  s.setStorageMode(7);  // neither 1 nor 2
  s.add(ints({4}));
  s.close();
  EXPECT_EQ(s.getImpl()->getStorageMode(), 0);
  s.setStorageMode(1);  // closed: kept
  EXPECT_EQ(s.getImpl()->getStorageMode(), 0);
}

// Six tuples over two columns, numbered 0 (oldest) to 5.
const std::vector<ctest::V> Six = {{1, 5}, {2, 5}, {1, 6}, {3, 5}, {1, 5}, {2, 6}};

std::vector<QrcInt> listOf(const QrcTupleSetI* s, QrcInt column, QrcInt value) {
  std::vector<QrcInt> out;
  for (QrcTupleNode* t = s->getFirst(column, value); t; t = t->columnNext[column])
    out.push_back(t->number);
  return out;
}

QrcInt numberOf(const QrcTupleNode* t) {
  return t ? t->number : -1;
}

TEST_F(TupleSet, ColumnListsOldestFirst) {
  const QrcTupleSetI* s = make(2, Six, 0).getImpl();
  EXPECT_EQ(listOf(s, 0, 1), (std::vector<QrcInt>{0, 2, 4}));
  EXPECT_EQ(listOf(s, 0, 2), (std::vector<QrcInt>{1, 5}));
  EXPECT_EQ(listOf(s, 0, 3), (std::vector<QrcInt>{3}));
  EXPECT_EQ(listOf(s, 1, 5), (std::vector<QrcInt>{0, 1, 3, 4}));
  EXPECT_EQ(listOf(s, 1, 6), (std::vector<QrcInt>{2, 5}));
  EXPECT_TRUE(listOf(s, 1, 1).empty());
}

// Tuples added from one buffer or from a new array each (other blocks taken
// between the additions) give the same values, lists, slots and membership,
// and so does a copy in another manager.
TEST_F(TupleSet, AddedTuplesKeepTheirOrderHoweverStored) {
  std::vector<ctest::V> tuples;
  for (QrcInt i = 0; i < 70; ++i) tuples.push_back({i % 7, (i * 5) % 11, -i});
  QrcTupleSet byBuffer(mgr, 3), byArrays(mgr, 3);
  QrcIntArray buffer(mgr, 3, QrcInt(0));
  for (const auto& t : tuples) {
    for (QrcInt k = 0; k < 3; ++k) buffer[k] = t[static_cast<size_t>(k)];
    byBuffer.add(buffer);
    byArrays.add(ints(t));
  }
  QrcManager other(QrcNoEdit);
  QrcTupleSetI* copied = byArrays.getImpl()->copyForManager(other.getImpl());
  for (QrcTupleSetI* s : {byBuffer.getImpl(), byArrays.getImpl(), copied}) {
    s->close();
    ASSERT_EQ(s->getCount(), 70);
    for (QrcInt n = 0; n < 70; ++n)
      for (QrcInt k = 0; k < 3; ++k)
        ASSERT_EQ(s->getValues()[n * 3 + k],
                  tuples[static_cast<size_t>(n)][static_cast<size_t>(k)]);
    EXPECT_EQ(listOf(s, 0, 3), (std::vector<QrcInt>{3, 10, 17, 24, 31, 38, 45, 52, 59, 66}));
    EXPECT_EQ(listOf(s, 2, -69), (std::vector<QrcInt>{69}));
    EXPECT_EQ(numberOf(s->getNewest()), 69);
    EXPECT_EQ(numberOf(s->getTuple(12)), 12);
    for (QrcInt n = 0; n < 70; ++n)
      EXPECT_EQ(s->getColumn(1).slotTuple[s->getSlots()[n * 3 + 1]], n);
    EXPECT_TRUE(s->isIn(tuples[40].data(), 3));
    const QrcInt absent[] = {0, 0, 1};
    EXPECT_FALSE(s->isIn(absent, 3));
  }
  other.end();
}

TEST_F(TupleSet, Mode1Links) {
  const QrcTupleSetI* s = make(2, Six, 1).getImpl();
  ASSERT_EQ(s->getWidth(), 3);
  // Per tuple: the nearest newer tuple with 1, 2, 3 in column 0, then 5, 6 in column 1.
  const std::vector<std::vector<QrcInt>> expected = {{2, 1, 3, 1, 2},    {2, 5, 3, 3, 2},
                                                     {4, 5, 3, 3, 5},    {4, 5, -1, 4, 5},
                                                     {-1, 5, -1, -1, 5}, {-1, -1, -1, -1, -1}};
  for (QrcInt n = 0; n < 6; ++n) {
    const QrcTupleMode1* e = s->getTuple(n)->mode1();
    EXPECT_EQ(e->number, n);
    std::vector<QrcInt> got;
    for (QrcInt v : {1, 2, 3}) got.push_back(numberOf(e->next[s->getValueIndex(0, v)]));
    for (QrcInt v : {5, 6}) got.push_back(numberOf(e->next[3 + s->getValueIndex(1, v)]));
    EXPECT_EQ(got, expected[static_cast<size_t>(n)]) << "tuple " << n;
  }
}

TEST_F(TupleSet, Mode2Probes) {
  const QrcTupleSetI* s = make(2, Six, 2).getImpl();
  // Per tuple: probe value and link in column 0, then in column 1.
  const std::vector<std::vector<QrcInt>> expected = {{1, 2, 5, 1}, {2, 5, 6, 2},  {3, 3, 5, 3},
                                                     {1, 4, 6, 5}, {2, 5, 5, -1}, {3, -1, 6, -1}};
  for (QrcInt n = 0; n < 6; ++n) {
    const QrcTupleMode2* e = s->getTuple(n)->mode2();
    EXPECT_EQ(e->number, n);
    EXPECT_EQ(e->newer ? e->newer->number : -1, n < 5 ? n + 1 : -1);
    std::vector<QrcInt> got;
    for (QrcInt k = 0; k < 2; ++k) {
      got.push_back(e->probeValue[k]);
      got.push_back(e->probeLink[k] ? e->probeLink[k]->number : -1);
    }
    EXPECT_EQ(got, expected[static_cast<size_t>(n)]) << "tuple " << n;
  }
}

// A row element as a signed number, none (the element type's largest) as -1.
QrcInt rowElement(const QrcTupleSetI* s, const void* rows, QrcInt at) {
  switch (s->getRowBytes()) {
    case 1: {
      uint8_t e = static_cast<const uint8_t*>(rows)[at];
      return e == 0xFF ? -1 : e;
    }
    case 2: {
      uint16_t e = static_cast<const uint16_t*>(rows)[at];
      return e == 0xFFFF ? -1 : e;
    }
    default: {
      uint32_t e = static_cast<const uint32_t*>(rows)[at];
      return e == 0xFFFFFFFFu ? -1 : static_cast<QrcInt>(e);
    }
  }
}

std::vector<QrcInt> rowOf(const QrcTupleSetI* s, QrcInt n, QrcInt elements) {
  std::vector<QrcInt> out;
  for (QrcInt e = 0; e < elements; ++e)
    out.push_back(rowElement(s, s->getRows(), n * s->getRowStride() + e));
  return out;
}

TEST_F(TupleSet, Mode1RowsByRank) {
  const QrcTupleSetI* s = make(2, Six, 1).getImpl();
  // Ranks (1 2 3 and 5 6 rank 0 1 2 and 0 1), then the links by rank in
  // column 0, then in column 1 (its third rank unused).
  const std::vector<std::vector<QrcInt>> expected = {
      {0, 0, 2, 1, 3, 1, 2, -1},  {1, 0, 2, 5, 3, 3, 2, -1},    {0, 1, 4, 5, 3, 3, 5, -1},
      {2, 0, 4, 5, -1, 4, 5, -1}, {0, 0, -1, 5, -1, -1, 5, -1}, {1, 1, -1, -1, -1, -1, -1, -1}};
  EXPECT_EQ(s->getRowBytes(), 1);
  EXPECT_EQ(s->getRowStride(), 8);
  for (QrcInt n = 0; n < 6; ++n)
    EXPECT_EQ(rowOf(s, n, 8), expected[static_cast<size_t>(n)]) << "tuple " << n;
}

TEST_F(TupleSet, Mode1AfterByRank) {
  const QrcTupleSetI* s = make(2, Six, 1).getImpl();
  // Per column and rank, from each tuple on: the oldest tuple not older holding that rank.
  const std::vector<std::vector<QrcInt>> expected = {
      {0, 2, 2, 4, 4, -1}, {1, 1, 5, 5, 5, 5}, {3, 3, 3, 3, -1, -1},
      {0, 1, 3, 3, 4, -1}, {2, 2, 2, 5, 5, 5}, {-1, -1, -1, -1, -1, -1}};
  for (QrcInt cell = 0; cell < 6; ++cell)
    for (QrcInt t = 0; t < 6; ++t)
      EXPECT_EQ(rowElement(s, s->getAfter(), cell * 6 + t),
                expected[static_cast<size_t>(cell)][static_cast<size_t>(t)])
          << "column " << cell / 3 << " rank " << cell % 3 << " tuple " << t;
}

TEST_F(TupleSet, Mode2RowsByRank) {
  const QrcTupleSetI* s = make(2, Six, 2).getImpl();
  // Ranks, probe ranks and probe links per column (the slots follow).
  const std::vector<std::vector<QrcInt>> expected = {{0, 0, 0, 0, 2, 1},  {1, 0, 1, 1, 5, 2},
                                                     {0, 1, 2, 0, 3, 3},  {2, 0, 0, 1, 4, 5},
                                                     {0, 0, 1, 0, 5, -1}, {1, 1, 2, 1, -1, -1}};
  for (QrcInt n = 0; n < 6; ++n) {
    std::vector<QrcInt> row = rowOf(s, n, 8);
    EXPECT_EQ(std::vector<QrcInt>(row.begin(), row.begin() + 6), expected[static_cast<size_t>(n)])
        << "tuple " << n;
    for (QrcInt k = 0; k < 2; ++k)
      EXPECT_EQ(row[static_cast<size_t>(6 + k)], s->getSlots()[n * 2 + k]);
  }
  // Per column and slot: the slot's tuple, then its ranks.
  for (QrcInt k = 0; k < 2; ++k)
    for (QrcInt slot = 0; slot < 6; ++slot) {
      QrcInt n = s->getColumn(k).slotTuple[slot];
      EXPECT_EQ(rowElement(s, s->getSlotRows(k), slot * 3), n);
      for (QrcInt j = 0; j < 2; ++j)
        EXPECT_EQ(rowElement(s, s->getSlotRows(k), slot * 3 + 1 + j),
                  rowOf(s, n, 2)[static_cast<size_t>(j)]);
    }
}

// Mode 1's jump rows against their definition, from the tuples' values: per
// column k and slot, over the other columns c: the slot's tuple's ranks, then
// per rank r the slot in k's list of the oldest tuple holding the slot's
// value at k and not older than the nearest newer tuple holding r at c.
void expectJumpRows(const QrcTupleSetI* s, const std::string& name) {
  QrcInt a = s->getArity(), n = s->getCount(), width = s->getWidth();
  const QrcInt* values = s->getValues();
  auto rankOf = [&](QrcInt t, QrcInt c) {
    const QrcTupleColumn& col = s->getColumn(c);
    return col.rank[s->getValueIndex(c, values[t * a + c])];
  };
  for (QrcInt k = 0; k < a; ++k) {
    const void* rows = s->getJumpRows(k);
    ASSERT_NE(rows, nullptr) << name;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(rows) % 64, 0u) << name;
    const QrcTupleColumn& col = s->getColumn(k);
    for (QrcInt slot = 0; slot < n; ++slot) {
      QrcInt t = col.slotTuple[slot], at = slot * s->getJumpStride();
      std::string where = name + " column " + std::to_string(k) + " slot " + std::to_string(slot);
      for (QrcInt c = 0, o = 0; c < a; ++c) {
        if (c == k) continue;
        EXPECT_EQ(rowElement(s, rows, at + o), rankOf(t, c)) << where;
        for (QrcInt r = 0; r < width; ++r) {
          QrcInt link = t + 1, expected = -1;
          while (link < n && rankOf(link, c) != r) ++link;
          QrcInt u = link;
          while (u < n && values[u * a + k] != values[t * a + k]) ++u;
          if (u < n) expected = s->getSlots()[u * a + k];
          EXPECT_EQ(rowElement(s, rows, at + a - 1 + o * width + r), expected)
              << where << " link at " << c << " rank " << r;
        }
        ++o;
      }
    }
  }
}

TEST_F(TupleSet, Mode1JumpRowsBySlot) {
  expectJumpRows(make(2, Six, 1).getImpl(), "six");
  EXPECT_EQ(make(2, Six, 2).getImpl()->getJumpRows(0), nullptr);
  // Random sets of arity 1 to 4 with one- and two-byte elements.
  QrcUInt seed = 12345;
  auto next = [&seed](QrcInt bound) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<QrcInt>((seed >> 33) % static_cast<QrcUInt>(bound));
  };
  const struct {
    QrcInt arity, count, values;
  } cases[] = {{1, 20, 4}, {2, 40, 5}, {3, 60, 7}, {4, 30, 3}, {3, 300, 6}, {5, 50, 4}};
  for (const auto& c : cases) {
    std::vector<ctest::V> tuples;
    for (QrcInt t = 0; t < c.count; ++t) {
      ctest::V tuple;
      for (QrcInt j = 0; j < c.arity; ++j) tuple.push_back(next(c.values) * 3 - 4);
      tuples.push_back(tuple);
    }
    expectJumpRows(make(c.arity, tuples, 1).getImpl(),
                   "arity " + std::to_string(c.arity) + " count " + std::to_string(c.count));
  }
}

// Mode 2's ranks of a slot as one word: per column j, bit (j << lane) plus
// the slot's rank at j, lanes of the fewest bits (8 to 64) holding the width;
// none when the arity's lanes pass 64 bits.
TEST_F(TupleSet, Mode2SlotHitsByLane) {
  const struct {
    QrcInt arity, values, count, lane;
  } cases[] = {{1, 40, 50, 6},  {2, 5, 40, 3}, {3, 12, 60, 4}, {4, 3, 50, 3},
               {4, 20, 80, -1}, {8, 4, 40, 3}, {9, 2, 40, -1}};
  QrcUInt seed = 777;
  for (const auto& c : cases) {
    std::vector<ctest::V> tuples;
    for (QrcInt t = 0; t < c.count; ++t) {
      ctest::V tuple;
      for (QrcInt j = 0; j < c.arity; ++j) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        // Every value met in every column: the width is the number of values.
        tuple.push_back(t < c.values ? t : static_cast<QrcInt>((seed >> 33) % c.values));
      }
      tuples.push_back(tuple);
    }
    const QrcTupleSetI* s = make(c.arity, tuples, 2).getImpl();
    std::string name = "arity " + std::to_string(c.arity) + " values " + std::to_string(c.values);
    ASSERT_EQ(s->getWidth(), c.values) << name;
    if (c.lane < 0) {
      EXPECT_EQ(s->getSlotHits(0), nullptr) << name;
      continue;
    }
    ASSERT_EQ(s->getHitLane(), c.lane) << name;
    for (QrcInt k = 0; k < c.arity; ++k)
      for (QrcInt slot = 0; slot < c.count; ++slot) {
        QrcInt t = s->getColumn(k).slotTuple[slot];
        QrcUInt expected = 0;
        for (QrcInt j = 0; j < c.arity; ++j) {
          const QrcTupleColumn& col = s->getColumn(j);
          QrcInt rank = col.rank[s->getValueIndex(j, s->getValues()[t * c.arity + j])];
          expected |= QrcUInt(1) << ((j << c.lane) + rank);
        }
        EXPECT_EQ(s->getSlotHits(k)[slot], expected) << name << " column " << k << " slot " << slot;
      }
  }
  EXPECT_EQ(make(2, Six, 1).getImpl()->getSlotHits(0), nullptr);
}

// The narrowest element keeping none apart from every tuple number; rows
// start on cache lines and a row takes a power of two of bytes up to a line,
// whole lines beyond.
TEST_F(TupleSet, RowElementsBySize) {
  struct Case {
    QrcInt arity, count, mode, bytes, stride;
  };
  const Case cases[] = {
      {1, 254, 1, 1, 16}, {1, 255, 1, 2, 16}, {1, 65534, 2, 2, 4}, {1, 65535, 2, 4, 4},
      {3, 10, 1, 1, 64},  {3, 10, 2, 1, 16},  {40, 10, 2, 1, 192},
  };
  for (const Case& c : cases) {
    QrcTupleSet set(mgr, c.arity);
    set.setStorageMode(c.mode);
    QrcIntArray buffer(mgr, c.arity, QrcInt(0));
    for (QrcInt n = 0; n < c.count; ++n) {
      // Ten distinct values per column, far apart and negative ones too.
      for (QrcInt k = 0; k < c.arity; ++k) buffer[k] = (n % 10 - 5) * (QrcInt(1) << 40) + k;
      set.add(buffer);
    }
    set.close();
    const QrcTupleSetI* s = set.getImpl();
    std::string name = std::to_string(c.count) + " tuples mode " + std::to_string(c.mode);
    EXPECT_EQ(s->getRowBytes(), c.bytes) << name;
    EXPECT_EQ(s->getRowStride(), c.stride) << name;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s->getRows()) % 64, 0u) << name;
    // The newest tuple holds rank (n % 10) in every column.
    QrcInt last = c.count - 1;
    EXPECT_EQ(rowElement(s, s->getRows(), last * s->getRowStride()), last % 10) << name;
    EXPECT_TRUE(set.isIn(buffer)) << name;
  }
}

}  // namespace
