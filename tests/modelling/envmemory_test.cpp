#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "qroenv.h"

namespace {

TEST(EnvMemory, AllocationChecksThreadThenDisabledFlag) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  void* p = e->alloc(40);
  EXPECT_NE(p, nullptr);
  e->setOwnerThreadCheck(1);
  EXPECT_TRUE(e->isOwnerThread());
  e->setAllocationDisabled(1);
  bool mismatch = false;
  std::thread t([&] {
    try {
      e->alloc(16);
    } catch (const QroEnvAllocatorThreadMismatch& x) {
      mismatch = std::string(x.getMessage()) == "env allocator thread mismatch.";
    }
  });
  t.join();
  EXPECT_TRUE(mismatch);
  try {
    e->alloc(16);
    FAIL();
  } catch (const QroEnvAllocationDisabled& x) {
    EXPECT_STREQ(x.getMessage(), "env allocation disabled.");
  }
  e->free(p, 40);  // freeing never throws
  e->setAllocationDisabled(0);
  EXPECT_EQ(e->alloc(40), p);
  e->setOwnerThreadCheck(0);
  std::thread t2([&] { e->free(e->alloc(16), 16); });
  t2.join();
  env.end();
  EXPECT_EQ(env.getImpl(), nullptr);
}

TEST(EnvMemory, LinearTermAndPairPools) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  void* a = e->alloc24();
  void* b = e->alloc32();
  EXPECT_EQ(e->getPool24()->getBytesInUse(), 24);
  EXPECT_EQ(e->getPool32()->getBytesInUse(), 32);
  // Refill leftovers of the private pools go to the memory manager's pools.
  EXPECT_GT(e->getMemoryManager()->getPool(0)->getFreeCount() +
                e->getMemoryManager()->getPool(1)->getFreeCount(),
            0);
  e->free24(a);
  e->free32(b);
  EXPECT_EQ(e->alloc24(), a);
  EXPECT_EQ(e->alloc32(), b);
  env.end();
}

class CountingLocal : public QroLocalEnvI {
 public:
  explicit CountingLocal(QroEnvI* env) : QroLocalEnvI(env) {}
  void* alloc(size_t size) override {
    ++allocs;
    return std::malloc(size);
  }
  void free(void* p, size_t) override {
    ++frees;
    std::free(p);
  }
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  int allocs = 0, frees = 0;
};

TEST(EnvMemory, LocalEnvironmentTakesRequests) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  CountingLocal local(e);
  e->setLocalEnv(&local);
  void* p = e->alloc(100);
  void* q = e->alloc24();
  e->free(p, 100);
  e->free24(q);
  e->setLocalEnv(nullptr);
  EXPECT_EQ(local.allocs, 2);
  EXPECT_EQ(local.frees, 2);
  env.end();
}

TEST(EnvMemory, WithoutMemoryManagerPoolsAreNotCarved) {
  setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
  QroEnv env;
  unsetenv("QRO_NO_MEMORY_MANAGER");
  QroEnvI* e = env.getImpl();
  EXPECT_FALSE(e->usesPooling());
  EXPECT_EQ(e->getFlags() & QroEnvI::PoolingFlag, 0);
  void* p = e->alloc(24);
  EXPECT_EQ(e->getMemoryManager()->getPool(2)->getBytesFromSystem(), 24);
  e->free(p, 24);
  e->internString("kept until the end");
  env.end();

  QroEnv pooled;
  EXPECT_TRUE(pooled.getImpl()->usesPooling());
  EXPECT_EQ(pooled.getImpl()->getFlags() & QroEnvI::PoolingFlag, QroEnvI::PoolingFlag);
  pooled.end();
}

TEST(EnvMemory, StreamsAndTime) {
  QroEnv env;
  env.getNullStream() << "discarded " << 42 << std::endl;
  std::ostringstream os;
  env.setOut(os);
  env.out() << "x";
  EXPECT_EQ(os.str(), "x");
  EXPECT_GE(env.getTime(), 0.0);
  env.end();
}

TEST(EnvMemoryDeath, EmptyHandleStopsTheProgram) {
  EXPECT_DEATH(
      {
        QroEnv empty(nullptr);
        empty.out();
      },
      "Using empty QroEnv handle");
}

}  // namespace
