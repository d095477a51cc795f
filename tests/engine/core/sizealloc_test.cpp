#include <gtest/gtest.h>

#include <map>
#include <random>

#include "qrcmanager.h"
#include "qrcsizealloc.h"
#include "qroplatform.h"
#include "support/seed.h"

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

TEST(SizeAllocator, SizeClasses) {
  QrcManager m(QrcNoEdit);
  QrcSizeAllocatorI* a = m.getImpl()->getSizeAllocator();
  EXPECT_EQ(a->getSizeClass(1), 0);
  EXPECT_EQ(a->getSizeClass(8), 0);
  EXPECT_EQ(a->getSizeClass(9), 1);
  EXPECT_EQ(a->getSizeClass(64), 7);
  EXPECT_EQ(a->getSizeClass(65), 8);
  EXPECT_EQ(a->getPool(8).getBlockSize(), 128);
  EXPECT_EQ(a->getSizeClass(127), 8);
  EXPECT_EQ(a->getSizeClass(128), 9);
  EXPECT_EQ(a->getSizeClass(184), 9);
  EXPECT_EQ(a->getPool(9).getBlockSize(), 256);
  EXPECT_EQ(a->getPool(31).getBlockSize(), QrcInt(1) << 30);
  ThrowingReporter r;
  m.getImpl()->setErrorReporter(&r);
  testing::internal::CaptureStderr();
  EXPECT_THROW(a->getSizeClass(QrcInt(1) << 30), int);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Solver Error :  : size not supported by fixed size allocator : 1073741824\n");
  m.end();
}

TEST(SizeAllocator, RefillCarvesChunks) {
  if (qroplatform::getEnv("QRC_NO_MEMORY_MANAGER")) GTEST_SKIP() << "pools are off";
  QrcManager m(QrcNoEdit);
  QrcSizeAllocatorI* a = m.getImpl()->getSizeAllocator();
  QrcFixedSizeAllocator& p24 = a->getPool(2);
  EXPECT_EQ(p24.getBlockSize(), 24);
  void* first = p24.alloc();
  EXPECT_EQ(p24.countFree(), 165);  // 4000 / 24 = 166 blocks
  void* second = p24.alloc();
  EXPECT_EQ(static_cast<char*>(second) - static_cast<char*>(first), 24);
  p24.free(second);
  EXPECT_EQ(p24.alloc(), second);

  QrcFixedSizeAllocator& p2048 = a->getPool(12);
  EXPECT_EQ(p2048.getBlockSize(), 2048);
  p2048.alloc();
  EXPECT_EQ(p2048.countFree(), 0);
  QrcFixedSizeAllocator& p8192 = a->getPool(14);
  QrcInt heapBefore = m.getImpl()->getGlobalHeap()->getTop();
  p8192.alloc();
  EXPECT_EQ(m.getImpl()->getGlobalHeap()->getTop() - heapBefore, 8192 / 8);
  m.end();
}

TEST(SizeAllocator, SizedAllocationCountsRequestedBytes) {
  if (qroplatform::getEnv("QRC_NO_MEMORY_MANAGER")) GTEST_SKIP() << "pools are off";
  QrcManager m(QrcNoEdit);
  QrcManagerI* mi = m.getImpl();
  void* a = mi->allocateSized(100);
  void* b = mi->allocateSized(30);
  EXPECT_EQ(mi->getSizeAllocator()->getBytesInUse(), 130);
  mi->freeSized(a, 100);
  EXPECT_EQ(mi->getSizeAllocator()->getBytesInUse(), 30);
  EXPECT_EQ(mi->getSizeAllocator()->getPeakBytes(), 130);
  EXPECT_EQ(mi->allocateSized(120), a);  // same class, reused
  mi->freeSized(b, 30);
  m.end();
}

// Every request takes its block from the pool of its class and gives it back
// there, at class edges and for an empty request alike.
TEST(SizeAllocator, SizedBlocksGoToAndFromTheirClassPool) {
  if (qroplatform::getEnv("QRC_NO_MEMORY_MANAGER")) GTEST_SKIP() << "pools are off";
  QrcManager m(QrcNoEdit);
  QrcManagerI* mi = m.getImpl();
  QrcSizeAllocatorI* a = mi->getSizeAllocator();
  QrcInt start = a->getBytesInUse();
  const QrcInt sizes[] = {0, 1, 7, 8, 9, 63, 64, 65, 127, 128, 129, 1000, 4095, 4096, 4097, 65536};
  for (QrcInt n : sizes) {
    SCOPED_TRACE("size " + std::to_string(n));
    QrcFixedSizeAllocator& pool = a->getPool(a->getSizeClass(n < 1 ? 1 : n));
    QrcInt inUse = a->getBytesInUse();
    void* p = a->allocateSized(n);
    EXPECT_EQ(a->getBytesInUse(), inUse + n);
    QrcInt freeBlocks = pool.countFree();
    a->freeSized(p, n);
    EXPECT_EQ(pool.countFree(), freeBlocks + 1);
    EXPECT_EQ(a->getBytesInUse(), inUse);
    EXPECT_EQ(a->allocateSized(n), p);
    EXPECT_EQ(pool.countFree(), freeBlocks);
    a->freeSized(p, n);
  }
  a->freeSized(nullptr, 8);
  EXPECT_EQ(a->getBytesInUse(), start);
  m.end();
}

TEST(IntMap, GrowsAndAnswersAbsent) {
  QrcManager m(QrcNoEdit);
  QrcIntMap map(m.getImpl());
  for (int k = 0; k < 8; ++k) EXPECT_EQ(map.add(k * 3, k), 1);
  EXPECT_EQ(map.getHashMap()->getBucketCount(), 8);
  EXPECT_EQ(map.add(100, 9), 1);
  EXPECT_EQ(map.getHashMap()->getBucketCount(), 16);
  EXPECT_EQ(map.add(100, 10), 0);
  EXPECT_EQ(map.getHashMap()->get(55), QrcIntMapAbsent);
  EXPECT_EQ(map.getHashMap()->get(100), 9);
  EXPECT_EQ(map.getHashMap()->getExisting(21), 7);
  EXPECT_EQ(map.getSmallestKey(), 0);
  EXPECT_EQ(map.getLargestKey(), 100);
  m.end();
}

TEST(IntMap, CompactsAndKeepsKeysOutsideTheDenseRange) {
  QrcManager m(QrcNoEdit);
  QrcIntMap map(m.getImpl());
  QrcIntMap empty(m.getImpl());
  empty.compact(1);
  EXPECT_FALSE(empty.isDense());
  map.add(10, 100);
  map.add(11, 110);
  map.add(13, 130);
  map.compact(1);
  ASSERT_TRUE(map.isDense());
  EXPECT_EQ(map.getLargestKey() - map.getSmallestKey() + 1, 4);
  EXPECT_FALSE(map.contains(12));
  EXPECT_EQ(map.get(12), QrcIntMapAbsent);
  QrcInt* values = map.getValues();
  EXPECT_EQ(values[0], 100);
  EXPECT_EQ(values[1], 110);
  EXPECT_EQ(values[2], 130);
  // Keys beyond the dense range are stored, near or far.
  EXPECT_EQ(map.add(14, 140), 1);
  EXPECT_EQ(map.add(1000000, 7), 1);
  EXPECT_EQ(map.add(-5, 8), 1);
  EXPECT_EQ(map.add(14, 0), 0);
  EXPECT_EQ(map.getSize(), 6);
  EXPECT_EQ(map.get(14), 140);
  EXPECT_EQ(map.get(1000000), 7);
  EXPECT_EQ(map.get(-5), 8);
  EXPECT_EQ(map.get(10), 100);
  // Extreme keys do not overflow the span computation.
  QrcIntMap wide(m.getImpl());
  wide.add(INT64_MAX, 1);
  wide.add(-INT64_MAX, 2);
  wide.compact(1000);
  EXPECT_FALSE(wide.isDense());
  EXPECT_EQ(wide.get(INT64_MAX), 1);
  m.end();
}

// A map made dense over a range answers as one compacted from the same keys,
// and keeps taking keys inside and outside the range.
TEST(IntMap, DenseOverARangeAnswersAsACompactedOne) {
  QrcManager m(QrcNoEdit);
  const QrcInt table[] = {0, QrcIntMapAbsent, 2, 1};
  QrcIntMap dense(m.getImpl(), -3, 0, table, 3);
  QrcIntMap hashed(m.getImpl());
  hashed.add(-3, 0);
  hashed.add(0, 1);
  hashed.add(-1, 2);
  hashed.compact(2);
  ASSERT_TRUE(dense.isDense());
  EXPECT_EQ(dense.getSize(), 3);
  for (QrcInt key = -5; key <= 2; ++key) {
    EXPECT_EQ(dense.get(key), hashed.get(key)) << key;
    EXPECT_EQ(dense.contains(key), hashed.contains(key)) << key;
  }
  EXPECT_EQ(dense.add(-2, 7), 1);
  EXPECT_EQ(dense.add(50, 8), 1);
  EXPECT_EQ(dense.add(0, 9), 0);
  EXPECT_EQ(dense.get(-2), 7);
  EXPECT_EQ(dense.get(50), 8);
  EXPECT_EQ(dense.get(0), 1);
  EXPECT_EQ(dense.getSize(), 5);
  m.end();
}

TEST(IntMap, RandomOperationsMatchStdMap) {
  uint64_t seed = qrotest::seedOr(11);
  std::mt19937_64 rng(seed);
  QrcManager m(QrcNoEdit);
  for (int round = 0; round < 20; ++round) {
    QrcIntMap map(m.getImpl());
    std::map<QrcInt, QrcInt> ref;
    for (int i = 0; i < 200; ++i) {
      QrcInt key = static_cast<QrcInt>(rng() % 300) - 150;
      if (rng() % 50 == 0) key *= 1000;
      QrcInt value = static_cast<QrcInt>(rng() % 1000);
      int expected = ref.count(key) ? 0 : 1;
      if (expected) ref[key] = value;
      ASSERT_EQ(map.add(key, value), expected) << "seed " << seed;
      if (rng() % 40 == 0) map.compact(1 + static_cast<QrcInt>(rng() % 3));
    }
    ASSERT_EQ(map.getSize(), static_cast<QrcInt>(ref.size()));
    for (QrcInt k = -200; k <= 200; ++k)
      ASSERT_EQ(map.get(k), ref.count(k) ? ref[k] : QrcIntMapAbsent)
          << "seed " << seed << " key " << k;
  }
  m.end();
}

}  // namespace
