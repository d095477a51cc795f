// Stack segments under the address sanitizer: switching to a segment and back
// must leave the sanitizer's view of memory as it was, whatever earlier calls
// left on the stack, so that the tests of a program can run one after another.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "qroplatform.h"

#if defined(__SANITIZE_ADDRESS__)
#define QRO_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QRO_TEST_ASAN 1
#endif
#endif

#ifdef QRO_TEST_ASAN
#include <sanitizer/asan_interface.h>

namespace {

// A page the test poisons and expects to find poisoned after each segment.
alignas(4096) char gWatched[2 * 4096];

// Fills the stack below the caller with words that, read as a context's stack
// (start, size), describe the watched page: three words a, a, 4096 repeated,
// rotated by `shift` so that one of three calls puts them at any offset.
[[gnu::noinline]] void scribble(int shift) {
  volatile uintptr_t words[2048];
  uintptr_t page = reinterpret_cast<uintptr_t>(gWatched);
  for (int i = 0; i < 2048; ++i) words[i] = (i + shift) % 3 == 2 ? 4096 : page;
  (void)words[0];
}

struct Probe {
  const char* low = nullptr;
};

void recordFrame(void* data) {
  volatile char local[64];
  local[0] = 1;
  static_cast<Probe*>(data)->low = const_cast<const char*>(local);
}

TEST(StackSegments, LeftoverStackWordsDoNotUnpoisonMemory) {
  for (int shift = 0; shift < 3; ++shift) {
    __asan_poison_memory_region(gWatched, 4096);
    scribble(shift);
    Probe probe;
    qroplatform::detail::runOnSegment(recordFrame, &probe);
    EXPECT_TRUE(__asan_address_is_poisoned(gWatched)) << shift;
    EXPECT_TRUE(__asan_address_is_poisoned(gWatched + 4095)) << shift;
  }
  __asan_unpoison_memory_region(gWatched, 4096);
}

TEST(StackSegments, ReleasedSegmentLeavesNoPoisonBehind) {
  // The segment's entry frames never return, and their poison stayed on the
  // released range: a later segment mapped over it at another offset found
  // stray poison in the middle of its frames. Once released, nothing from the
  // deepest frame to the top stays poisoned.
  for (int round = 0; round < 2; ++round) {
    Probe probe;
    qroplatform::detail::runOnSegment(recordFrame, &probe);
    ASSERT_NE(probe.low, nullptr);
    EXPECT_EQ(__asan_region_is_poisoned(const_cast<char*>(probe.low), 16 * 1024), nullptr) << round;
  }
}

}  // namespace

#endif
