#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "qroallocator.h"

namespace {

// Sets an environment variable for the lifetime of the object.
struct ScopedEnv {
  const char* name;
  ScopedEnv(const char* n, const char* value) : name(n) { setenv(n, value, 1); }
  ~ScopedEnv() { unsetenv(name); }
};

TEST(MemoryManager, DefaultPoolTable) {
  QroEnvMemoryManager mm;
  ASSERT_EQ(mm.getPoolCount(), 14);
  const QroInt sizes[14] = {8, 16, 24, 32, 40, 48, 56, 64, 128, 256, 512, 1024, 2048, 4096};
  for (int i = 0; i < 14; ++i) EXPECT_EQ(mm.getPool(i)->getCellSize(), sizes[i]) << i;
  EXPECT_EQ(mm.getLimit(), 4001);

  EXPECT_EQ(mm.getPoolIndex(1), 0);
  EXPECT_EQ(mm.getPoolIndex(8), 0);
  EXPECT_EQ(mm.getPoolIndex(57), 7);
  EXPECT_EQ(mm.getPoolIndex(64), 7);
  EXPECT_EQ(mm.getPoolIndex(65), 8);
  EXPECT_EQ(mm.getPoolIndex(128), 8);
  EXPECT_EQ(mm.getPoolIndex(129), 9);
  EXPECT_EQ(mm.getPoolIndex(2049), 13);
  EXPECT_EQ(mm.getPoolIndex(4096), 13);
  EXPECT_THROW(mm.getPoolIndex(4097), QroMemoryException);

  void* pooled = mm.alloc(4000);
  EXPECT_EQ(mm.getPool(13)->getBytesInUse(), 4096);
  EXPECT_EQ(mm.getLargeBlocks().getTotal(), 0);
  void* large = mm.alloc(4001);
  EXPECT_EQ(mm.getLargeBlocks().getTotal(), 4001);
  EXPECT_EQ(mm.getLargeBlocks().getBlockCount(), 1);
  mm.free(large, 4001);
  EXPECT_EQ(mm.getLargeBlocks().getTotal(), 0);
  EXPECT_EQ(mm.getLargeBlocks().getBlockCount(), 0);
  mm.free(pooled, 4000);
  EXPECT_EQ(mm.getPool(13)->getBytesInUse(), 0);
}

TEST(MemoryManager, LimitFromEnvironment) {
  {
    ScopedEnv limit("QRO_MEMORY_MANAGER_LIMIT", "10");
    QroEnvMemoryManager mm;
    EXPECT_EQ(mm.getPoolCount(), 8);
    void* small = mm.alloc(9);
    EXPECT_EQ(mm.getPool(1)->getBytesInUse(), 16);
    void* big = mm.alloc(10);
    EXPECT_EQ(mm.getLargeBlocks().getTotal(), 10);
    mm.free(big, 10);
    mm.free(small, 9);
    EXPECT_EQ(mm.getBytesInUse(), 0);
  }
  {
    // Requests beyond the last pool go to the large-block list.
    ScopedEnv limit("QRO_MEMORY_MANAGER_LIMIT", "100");
    QroEnvMemoryManager mm;
    EXPECT_EQ(mm.getPoolCount(), 9);
    void* p = mm.alloc(99);
    EXPECT_EQ(mm.getPool(8)->getBytesInUse(), 128);
    void* q = mm.alloc(100);
    EXPECT_EQ(mm.getLargeBlocks().getTotal(), 100);
    mm.free(p, 99);
    mm.free(q, 100);
  }
  {
    ScopedEnv limit("QRO_MEMORY_MANAGER_LIMIT", "99999999999999999999");
    QroEnvMemoryManager mm;
    EXPECT_LE(mm.getPoolCount(), 60);
    EXPECT_GT(mm.getPool(mm.getPoolCount() - 1)->getCellSize(), 0);
    void* p = mm.alloc(70000);
    mm.free(p, 70000);
  }
}

TEST(MemoryManager, ZeroBytesAndLastFreedFirstReused) {
  QroEnvMemoryManager mm;
  EXPECT_THROW(mm.alloc(SIZE_MAX - 8), QroMemoryException);
  EXPECT_EQ(mm.alloc(0), nullptr);
  EXPECT_EQ(mm.getBytesInUse(), 0);
  mm.free(nullptr, 16);

  void* a = mm.alloc(20);
  void* b = mm.alloc(24);
  void* c = mm.alloc(17);
  EXPECT_NE(a, b);
  mm.free(a, 20);
  mm.free(c, 17);
  // The class of the size given to free is the one that reuses the cell.
  EXPECT_EQ(mm.alloc(24), c);
  EXPECT_EQ(mm.alloc(21), a);
  mm.free(b, 24);
  void* d = mm.alloc(30);  // another class
  EXPECT_NE(d, b);
}

TEST(MemoryManager, RefillCarvesAndSpreadsLeftovers) {
  QroEnvMemoryManager mm;
  // 24-byte cells: 166 carved from 500 words, the highest goes out first.
  void* first = mm.alloc(24);
  QroMemoryPool* p24 = mm.getPool(2);
  EXPECT_EQ(p24->getFreeCount(), 165);
  EXPECT_EQ(p24->getBytesFromSystem(), 4008);
  EXPECT_EQ(static_cast<char*>(first) - static_cast<char*>(p24->peekFree()), 24);
  // The 16-byte remainder gives one 8-byte cell right after the carved cells.
  EXPECT_EQ(mm.getPool(0)->getFreeCount(), 1);
  EXPECT_EQ(static_cast<char*>(mm.getPool(0)->peekFree()), static_cast<char*>(first) + 24);
  for (int i = 0; i < 165; ++i) mm.alloc(24);
  EXPECT_EQ(p24->getFreeCount(), 0);
  mm.alloc(24);
  EXPECT_EQ(p24->getBytesFromSystem(), 2 * 4008);

  // 2048: one cell handed out, none on the free list, the remainder spread.
  QroEnvMemoryManager m2;
  m2.alloc(2048);
  EXPECT_EQ(m2.getPool(12)->getFreeCount(), 0);
  EXPECT_EQ(m2.getPool(11)->getFreeCount(), 1);
  EXPECT_EQ(m2.getPool(10)->getFreeCount(), 1);
  EXPECT_EQ(m2.getPool(9)->getFreeCount(), 1);
  EXPECT_EQ(m2.getPool(8)->getFreeCount(), 1);
  EXPECT_EQ(m2.getPool(2)->getFreeCount(), 1);
  EXPECT_EQ(m2.getPool(0)->getFreeCount(), 0);
  EXPECT_EQ(m2.getPool(1)->getFreeCount(), 0);

  // The 4096 pool (requests up to 4000 bytes): one-cell blocks of 513 words.
  m2.alloc(4000);
  EXPECT_EQ(m2.getPool(13)->getBytesFromSystem(), 513 * 8);
  EXPECT_EQ(m2.getPool(13)->getFreeCount(), 0);
}

TEST(MemoryManager, WithoutPoolingEveryCellIsABlock) {
  QroEnvMemoryManager mm(0);
  void* a = mm.alloc(24);
  void* b = mm.alloc(24);
  EXPECT_EQ(mm.getPool(2)->getBytesFromSystem(), 48);
  EXPECT_EQ(mm.getPool(2)->getFreeCount(), 0);
  mm.free(a, 24);
  EXPECT_EQ(mm.getPool(2)->getBytesInUse(), 24);
  mm.free(b, 24);
  EXPECT_EQ(mm.getBytesInUse(), 0);
  mm.alloc(100);  // released with the manager
}

TEST(AllocationStack, RoundsToSixteenByteUnits) {
  QroAllocationStack s;
  EXPECT_EQ(s.getReservedBytes(), 1000 * 8 + 88);
  char* a = static_cast<char*>(s.alloc(1));
  char* b = static_cast<char*>(s.alloc(16));
  char* c = static_cast<char*>(s.alloc(17));
  char* d = static_cast<char*>(s.alloc(0));
  EXPECT_EQ(b - a, 16);
  EXPECT_EQ(c - b, 16);
  EXPECT_EQ(d - c, 32);
  EXPECT_EQ(s.alloc(0), d);
  EXPECT_EQ(s.getTopIndex(), 8);
  s.free(a, 1);
  EXPECT_EQ(s.getFreedBytes(), 1);
  EXPECT_THROW(s.alloc(SIZE_MAX - 3), QroMemoryException);
  EXPECT_EQ(s.getTopIndex(), 8);
}

TEST(AllocationStack, SegmentsChainAndReset) {
  QroAllocationStack s;
  for (int i = 0; i < 499; ++i) s.alloc(16);
  EXPECT_EQ(s.getSegmentCount(), 1);
  s.alloc(16);  // reaches the end of the first segment
  EXPECT_EQ(s.getSegmentCount(), 2);
  EXPECT_EQ(s.getReservedBytes(), 2 * 8000 + 88 + 40);
  char* big = static_cast<char*>(s.alloc(20000));
  EXPECT_EQ(s.getSegmentCount(), 3);
  EXPECT_EQ(s.getReservedBytes(), 8088 + 8040 + 2500 * 8 + 40);
  for (int i = 0; i < 2500; ++i) big[i * 8] = 1;  // writable
  s.reset();
  EXPECT_EQ(s.getTopIndex(), 0);
  EXPECT_EQ(s.getFreedBytes(), 0);
  EXPECT_EQ(s.getSegmentCount(), 3);
  // A request larger than an empty first segment replaces the chain.
  s.alloc(9000);
  EXPECT_EQ(s.getSegmentCount(), 1);
  // Stack record 48 bytes, plus 1126 words and a 40-byte segment record.
  EXPECT_EQ(s.getReservedBytes(), 48 + 1126 * 8 + 40);
  void* sys = QroAllocationStack::alloc(10, nullptr);
  std::free(sys);
}

TEST(AllocationStack, NullIndexPrintsFixedText) {
  QroAllocationStack::NullIndex e;
  std::ostringstream os;
  e.print(os);
  EXPECT_EQ(os.str(), "QroAllocationStack: Internal error: non null index for empty stack.");
  EXPECT_STREQ(e.getMessage(), "");
}

}  // namespace
