#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "qrcmanager.h"
#include "qrcmemory.h"
#include "support/seed.h"

namespace {

TEST(MemoryStack, AllocationsTakeSixteenByteMultiples) {
  QrcMemoryStack s(nullptr, QrcMemoryStack::Blocks);
  struct Case {
    size_t bytes;
    QrcInt words;
  } cases[] = {{1, 2}, {8, 2}, {16, 2}, {17, 4}, {32, 4}, {33, 6}};
  for (const Case& c : cases) {
    QrcInt before = s.getTop();
    void* p = s.alloc(c.bytes);
    EXPECT_EQ(s.getTop() - before, c.words) << c.bytes << " bytes";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  }
  QrcInt before = s.getTop();
  void* a = s.alloc(0);
  void* b = s.alloc(0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(s.getTop(), before);
}

TEST(MemoryStack, PopToCrossesBlocksAndCountsBytes) {
  QrcMemoryStack s(nullptr, QrcMemoryStack::Blocks);
  EXPECT_EQ(s.getBytes(), 32096u);
  std::vector<char*> blocks;
  for (int i = 0; i < 300; ++i) {
    char* p = static_cast<char*>(s.alloc(200));
    std::memset(p, i & 0x7f, 200);
    blocks.push_back(p);
  }
  EXPECT_GT(s.getBlockCount(), 1);
  EXPECT_GT(s.getBytes(), 32096u);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(blocks[i][199], static_cast<char>(i & 0x7f));
  s.popTo(0);
  EXPECT_EQ(s.getTop(), 0);
  // The storage is reused from the first block on.
  EXPECT_EQ(s.alloc(8), blocks[0]);
  // A request larger than a block gets a block of its own size.
  void* big = s.alloc(40000 * 8);
  EXPECT_NE(big, nullptr);
  std::memset(big, 1, 40000 * 8);
}

TEST(MemoryStack, WordBlocksStayWholeAcrossBlocks) {
  QrcMemoryStack s(nullptr, QrcMemoryStack::Blocks);
  // Single words shift the blocks of ten off the block boundaries.
  for (QrcWord shift : {QrcWord(0), QrcWord(3), QrcWord(7)}) {
    for (QrcWord i = 0; i < shift; ++i) s.push(i);
    QrcWord n = 3 * QrcBlockStack::BlockWords / 10;
    for (QrcWord r = 0; r < n; ++r) {
      QrcWord words[10];
      for (QrcWord j = 0; j < 10; ++j) words[j] = r * 10 + j;
      s.pushWords(words, 10);
    }
    EXPECT_GE(s.getBlockCount(), 3);
    for (QrcWord r = n; r-- > 0;) {
      QrcWord words[10];
      s.popWords(words, 10);
      for (QrcWord j = 0; j < 10; ++j) ASSERT_EQ(words[j], r * 10 + j);
    }
    EXPECT_EQ(s.getTop(), static_cast<QrcInt>(shift));
    // Words pushed one by one across a boundary come back as a block too.
    s.popTo(0);
    for (QrcWord i = 0; i < QrcBlockStack::BlockWords + 5; ++i) s.push(i);
    QrcWord words[10];
    while (s.getTop() >= 10) {
      QrcWord top = static_cast<QrcWord>(s.getTop());
      s.popWords(words, 10);
      for (QrcWord j = 0; j < 10; ++j) ASSERT_EQ(words[j], top - 10 + j);
    }
    s.popTo(0);
  }
}

// Jumps between far indices, as the goal stacks make between a popped entry
// and the floor, land on the words written there, across many blocks and
// blocks reused after moving back. Runs have the one size of each stack's
// entries (goal entries, choice-point records).
TEST(MemoryStack, PopToJumpsToAnyIndexOfManyBlocks) {
  for (QrcInt run : {QrcInt(2), QrcInt(10)}) {
    std::mt19937_64 rng(qrotest::seedOr(11));
    QrcMemoryStack s(nullptr, QrcMemoryStack::Blocks);
    std::vector<QrcWord> ref;  // the word at each index below `valid`
    QrcInt valid = 0;          // words from 0 up to here are addressable
    QrcWord next = 1;
    for (int step = 0; step < 40000; ++step) {
      if (rng() % 8 < 5) {  // a few runs at the top: what lies above is gone
        for (int r = 1 + static_cast<int>(rng() % 8); r-- > 0;) {
          QrcWord words[10];
          for (QrcInt j = 0; j < run; ++j) words[j] = next++;
          ref.resize(static_cast<size_t>(s.getTop()));
          ref.insert(ref.end(), words, words + run);
          s.pushWords(words, run);
        }
        valid = s.getTop();
      } else {  // a jump down and the run below it
        QrcInt k = run * static_cast<QrcInt>(rng() % static_cast<uint64_t>(valid / run + 1));
        s.popTo(k);
        ASSERT_EQ(s.getTop(), k);
        if (k == 0) {
          s.popTo(valid);
          continue;
        }
        QrcWord words[10];
        s.popWords(words, run);
        for (QrcInt j = 0; j < run; ++j)
          ASSERT_EQ(words[j], ref[static_cast<size_t>(k - run + j)]) << "run " << run;
        // Back to the floor, or a short backtrack that stays.
        s.popTo(k + 20 * run >= valid && rng() % 2 == 0 ? k : valid);
      }
    }
    EXPECT_GT(s.getBlockCount(), 20) << "run " << run;
  }
}

// Only the last block taken grows in place, by whole sixteen-byte steps,
// while its storage block has the room; other cases answer false unchanged.
TEST(MemoryStack, ExtendGrowsOnlyTheLastBlockInPlace) {
  QrcMemoryStack s(nullptr, QrcMemoryStack::Blocks);
  void* first = s.alloc(24);
  void* last = s.alloc(24);
  QrcInt top = s.getTop();
  struct Case {
    void* p;
    size_t old, n;
    bool grows;
    QrcInt words;
  } cases[] = {{last, 24, 40, true, 2},
               {last, 40, 48, true, 0},
               {last, 48, 49, true, 2},
               {first, 24, 64, false, 0},
               {last, 64, 32, false, 0},
               {last, 0, 16, false, 0},
               {last, 64, 8 * QrcBlockStack::BlockWords, false, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(s.extend(c.p, c.old, c.n), c.grows) << c.old << " to " << c.n;
    top += c.words;
    EXPECT_EQ(s.getTop(), top) << c.old << " to " << c.n;
  }
  // The next block starts after the grown one.
  EXPECT_EQ(static_cast<char*>(s.alloc(8)), static_cast<char*>(last) + 64);
  QrcMemoryStack objects(nullptr, QrcMemoryStack::PerObject);
  void* p = objects.alloc(16);
  EXPECT_FALSE(objects.extend(p, 16, 32));
  objects.reset();
}

TEST(MemoryStack, PerObjectModeFreesWhatItAllocated) {
  QrcMemoryStack s(nullptr, QrcMemoryStack::PerObject);
  s.alloc(24);
  QrcInt mark = s.getTop();
  EXPECT_EQ(mark, 2);  // pointer and tag
  for (int i = 0; i < 5000; ++i) std::memset(s.alloc(100), 0, 100);
  EXPECT_EQ(s.getTop(), mark + 2 * 5000);
  s.popTo(mark);  // the sanitizer reports a leak if anything is left
  EXPECT_EQ(s.getTop(), mark);
  s.reset();
  EXPECT_EQ(s.getTop(), 0);
  EXPECT_EQ(s.getMode(), QrcMemoryStack::PerObject);
}

TEST(Trail, RestoresInReverseOrderAcrossBlocks) {
  uint64_t seed = qrotest::seedOr(7);
  std::mt19937_64 rng(seed);
  QrcTrail t(nullptr);
  t.setRecording(1);
  std::vector<QrcInt> cells(64);
  for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<QrcInt>(i);
  std::vector<QrcInt> initial = cells;
  std::vector<std::pair<QrcInt, std::vector<QrcInt>>> marks;
  // Enough saves to cross several blocks of 4000 words.
  for (int step = 0; step < 9000; ++step) {
    if (step % 1000 == 0) marks.push_back({t.getTop(), cells});
    size_t i = rng() % cells.size();
    t.saveValue(&cells[i]);
    cells[i] = static_cast<QrcInt>(rng());
  }
  EXPECT_GT(t.getBlockCount(), 3) << "seed " << seed;
  for (size_t k = marks.size(); k-- > 0;) {
    t.restore(marks[k].first);
    EXPECT_EQ(t.getTop(), marks[k].first);
    ASSERT_EQ(cells, marks[k].second) << "mark " << k << " seed " << seed;
  }
  EXPECT_EQ(cells, initial);
}

TEST(Trail, SaveAtExactBlockBoundaryReturnsToOldBlock) {
  QrcTrail t(nullptr);
  t.setRecording(1);
  QrcInt filler = 0;
  for (int i = 0; i < 1999; ++i) t.saveValue(&filler);  // 3998 words
  QrcInt x = 5;
  QrcInt mark = t.getTop();
  t.saveValue(&x);  // fills the block
  x = 6;
  QrcInt mark2 = t.getTop();
  EXPECT_EQ(mark2, 4000);
  t.saveValue(&x);  // crosses the boundary: three pairs in the new block
  x = 7;
  EXPECT_EQ(t.getTop(), 4006);
  t.restore(mark2);
  EXPECT_EQ(x, 6);
  EXPECT_EQ(t.getTop(), 4000);
  t.restore(mark);
  EXPECT_EQ(x, 5);
  // Saving again reuses the chained block.
  t.saveValue(&x);
  t.saveValue(&x);
  x = 9;
  t.restore(mark);
  EXPECT_EQ(x, 5);
}

// Saves and restores in cycles of several sizes around the block boundary:
// blocks left behind are entered again, and every restore brings back the
// words as they were at its mark.
TEST(Trail, CyclesAcrossBlockBoundaries) {
  uint64_t seed = qrotest::seedOr(11);
  std::mt19937_64 rng(seed);
  QrcTrail t(nullptr);
  t.setRecording(1);
  std::vector<QrcInt> cells(16, 0);
  struct Cycle {
    int saves;    // saves in one cycle
    int restore;  // 1 restores to the mark of the cycle's start, 0 keeps
  } cycles[] = {{1999, 0}, {1, 1}, {2, 1}, {3, 0}, {4000, 1}, {2003, 0}, {6000, 1}, {1, 0}};
  std::vector<std::pair<QrcInt, std::vector<QrcInt>>> kept;
  for (int round = 0; round < 3; ++round)
    for (const Cycle& c : cycles) {
      QrcInt mark = t.getTop();
      std::vector<QrcInt> before = cells;
      for (int i = 0; i < c.saves; ++i) {
        size_t k = rng() % cells.size();
        t.saveValue(&cells[k]);
        cells[k] = static_cast<QrcInt>(rng());
      }
      if (c.restore) {
        t.restore(mark);
        ASSERT_EQ(t.getTop(), mark) << "seed " << seed;
        ASSERT_EQ(cells, before) << "seed " << seed;
      } else {
        kept.push_back({mark, before});
      }
    }
  for (size_t k = kept.size(); k-- > 0;) {
    t.restore(kept[k].first);
    ASSERT_EQ(cells, kept[k].second) << "mark " << k << " seed " << seed;
  }
  EXPECT_EQ(t.getTop(), 0);
}

TEST(Trail, RecordingFlagAndFloor) {
  QrcTrail t(nullptr);
  QrcInt x = 1;
  t.saveValue(&x);  // recording is off
  EXPECT_EQ(t.getTop(), 0);
  t.setRecording(1);
  t.saveValue(&x);
  x = 2;
  t.setFloor(t.getTop());
  t.saveValue(&x);
  x = 3;
  t.restore(0);  // stops at the floor
  EXPECT_EQ(x, 2);
  t.resetAndRestore();
  EXPECT_EQ(t.getTop(), 0);
  EXPECT_TRUE(t.isRecording());
  t.reset();
  EXPECT_FALSE(t.isRecording());
}

TEST(RevWord, SavedOncePerChoicePoint) {
  QrcManager m(QrcNoEdit);
  QrcManagerI* mi = m.getImpl();
  mi->getTrail()->setRecording(1);
  QrcRevWord w(mi, 10);
  w.save(mi);  // stamp equal: nothing
  EXPECT_EQ(mi->getTrail()->getTop(), 0);
  mi->pushChoicePoint(nullptr, nullptr, nullptr);
  QrcInt mark = mi->getTrail()->getTop();
  w.set(mi, 11);
  w.set(mi, 12);
  EXPECT_EQ(mi->getTrail()->getTop(), mark + 2);
  mi->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(w.getValue(), 10);
  m.end();
}

TEST(MemoStack, ClearZeroesRecordedWords) {
  QrcMemoStack memo(nullptr);
  void* a = &memo;
  void* b = &memo;
  memo.setActive();
  memo.push(&a);
  memo.push(&b);
  EXPECT_EQ(memo.getCount(), 2);
  memo.clear();
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_FALSE(memo.isActive());
}

TEST(CopyStack, KeepsPairsAcrossBlocks) {
  QrcCopyStack cs;
  std::vector<int> keys(600);
  for (size_t i = 0; i < keys.size(); ++i) cs.push(&keys[i], &keys[(i + 1) % keys.size()]);
  EXPECT_EQ(cs.getBytes(), 3u * 6008u);
  for (size_t i = 0; i < keys.size(); ++i)
    ASSERT_EQ(cs.find(&keys[i]), &keys[(i + 1) % keys.size()]);
  cs.reset();
  EXPECT_EQ(cs.find(&keys[0]), nullptr);
  EXPECT_EQ(cs.getBytes(), 6008u);
}

}  // namespace
