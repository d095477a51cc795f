#include <gtest/gtest.h>

#include <cfenv>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "qroplatform.h"

namespace {

TEST(Platform, RoundingModesRoundTrip) {
  using namespace qroplatform;
  EXPECT_EQ(getRounding(), RoundNearest);
  EXPECT_EQ(setRounding(RoundDownward), RoundNearest);
  EXPECT_EQ(getRounding(), RoundDownward);
  volatile double third = 1.0;
  double down = third / 3.0;
  setRounding(RoundUpward);
  EXPECT_EQ(getRounding(), RoundUpward);
  double up = third / 3.0;
  EXPECT_LT(down, up);
  setRounding(RoundTowardZero);
  EXPECT_EQ(getRounding(), RoundTowardZero);
  qroplatform::resetFloatingPoint();
  EXPECT_EQ(getRounding(), RoundNearest);
}

TEST(Platform, CpuTimeAdvancesUnderLoad) {
  double start = qroplatform::processCpuSeconds();
  volatile double sink = 0;
  while (qroplatform::processCpuSeconds() - start < 0.02) sink = sink + 1.0;
  EXPECT_GE(qroplatform::processCpuSeconds() - start, 0.02);
}

TEST(Platform, ThreadIdentityDiffersAcrossThreads) {
  uint64_t mine = qroplatform::currentThreadId();
  EXPECT_EQ(mine, qroplatform::currentThreadId());
  uint64_t other = 0;
  std::thread t([&] { other = qroplatform::currentThreadId(); });
  t.join();
  EXPECT_NE(mine, other);
}

TEST(Platform, ParseIntReadsLikeAtoiAndClamps) {
  using qroplatform::parseInt;
  EXPECT_EQ(parseInt(nullptr), 0);
  EXPECT_EQ(parseInt("abc"), 0);
  EXPECT_EQ(parseInt("  42xyz"), 42);
  EXPECT_EQ(parseInt("-17"), -17);
  EXPECT_EQ(parseInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(parseInt("-99999999999999999999"), -2147483647 - 1);
}

TEST(Platform, RemoveFile) {
  std::string path = testing::TempDir() + "qro_platform_remove";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(qroplatform::removeFile(path.c_str()), 0);
  EXPECT_NE(qroplatform::removeFile(path.c_str()), 0);
}

}  // namespace

namespace {

// The library's rounding switch and the C runtime's view of it agree.
TEST(Platform, PrefaultKeepsContents) {
  // Unaligned ranges, less than a page, several pages, and nothing at all.
  std::vector<unsigned char> block(5 * 4096 + 123);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 7);
  const size_t cases[][2] = {{0, block.size()}, {1, 100}, {3, 4096 * 2 + 5}, {17, 0}};
  for (const auto& c : cases) qroplatform::prefault(block.data() + c[0], c[1]);
  qroplatform::prefault(nullptr, 0);
  for (size_t i = 0; i < block.size(); ++i)
    ASSERT_EQ(block[i], static_cast<unsigned char>(i * 7)) << i;
}

TEST(Platform, RoundingAgreesWithTheRuntime) {
  using namespace qroplatform;
  const int modes[] = {RoundDownward, RoundUpward, RoundTowardZero, RoundNearest};
  const int fe[] = {FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO, FE_TONEAREST};
  for (int i = 0; i < 4; ++i) {
    setRounding(modes[i]);
    EXPECT_EQ(fegetround(), fe[i]);
    fesetround(fe[(i + 1) % 4]);
    EXPECT_EQ(getRounding(), modes[(i + 1) % 4]);
  }
  qroplatform::resetFloatingPoint();
  EXPECT_EQ(getRounding(), RoundNearest);
}

// Recurses n levels, each with a frame of about 1 KiB, through withStackRoom;
// the deepest level sets upward rounding and throws when asked.
struct Descent {
  int maxDepth = 0;
  bool throwAtBottom = false;
  void go(int n, int depth) {
    volatile char frame[1024];
    frame[n % 1024] = static_cast<char>(n);
    if (depth > maxDepth) maxDepth = depth;
    if (n == 0) {
      qroplatform::setRounding(qroplatform::RoundUpward);
      if (throwAtBottom) throw std::runtime_error("bottom");
      return;
    }
    auto next = [&] { go(n - 1, depth + 1); };
    qroplatform::withStackRoom(next);
    (void)frame[n % 1024];
  }
};

TEST(Platform, StackRoomCarriesDeepRecursionsRoundingAndExceptions) {
  // About 200 MiB of frames: several stack segments in turn.
  const int levels = 200000;
  Descent d;
  d.go(levels, 0);
  EXPECT_EQ(d.maxDepth, levels);
  EXPECT_EQ(qroplatform::getRounding(), qroplatform::RoundUpward);
  qroplatform::setRounding(qroplatform::RoundNearest);
  d.throwAtBottom = true;
  try {
    d.go(levels, 0);
    FAIL() << "the exception was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "bottom");
  }
  qroplatform::setRounding(qroplatform::RoundNearest);
  // Shallow calls run on the thread's own stack.
  int ran = 0;
  auto once = [&] { ++ran; };
  qroplatform::withStackRoom(once);
  EXPECT_EQ(ran, 1);
  EXPECT_FALSE(qroplatform::isStackLow());
}

}  // namespace
