#include "qroplatform.h"

#include <cerrno>
#include <cfenv>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <exception>
#include <pthread.h>
#include <sys/mman.h>
#include <thread>
#include <ucontext.h>
#include <unistd.h>

#include "qroexception.h"

#if defined(__SANITIZE_ADDRESS__)
#define QRO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QRO_ASAN 1
#endif
#endif
#ifndef QRO_ASAN
#define QRO_ASAN 0
#endif
#if QRO_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace qroplatform {

double processCpuSeconds() {
  timespec ts;
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0) return 0.0;
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

int64_t coarseClockNanos() {
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) != 0) return 0;
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + static_cast<int64_t>(ts.tv_nsec);
}

uint64_t currentThreadId() {
  return static_cast<uint64_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
}

#if defined(__GNUC__) && defined(__x86_64__)
// Doubles are computed in SSE registers, whose rounding field lives in MXCSR
// (bits 13-14); the x87 control word (bits 10-11) is kept in step for any x87
// code. Both fields encode 0 nearest, 1 downward, 2 upward, 3 toward zero. This
// is what fesetround does, without its call and checks: interval arithmetic
// switches direction several times per operation.
namespace {
inline unsigned readMxcsr() {
  unsigned v;
  __asm__ __volatile__("stmxcsr %0" : "=m"(v));
  return v;
}
inline void writeMxcsr(unsigned v) {
  __asm__ __volatile__("ldmxcsr %0" : : "m"(v));
}
inline unsigned short readX87() {
  unsigned short v;
  __asm__ __volatile__("fnstcw %0" : "=m"(v));
  return v;
}
inline void writeX87(unsigned short v) {
  __asm__ __volatile__("fldcw %0" : : "m"(v));
}

constexpr int kModeOfField[4] = {RoundNearest, RoundDownward, RoundUpward, RoundTowardZero};

// The field this thread's MXCSR is known to hold (set or read through this
// file), -1 when unknown: a context switch or resetFloatingPoint may have
// changed it since. Code that changes the direction behind the library's back
// (fesetround) makes it stale until the next getRounding.
thread_local int tKnownField = -1;

unsigned fieldOfMode(int mode) {
  switch (mode) {
    case RoundDownward:
      return 1;
    case RoundUpward:
      return 2;
    case RoundTowardZero:
      return 3;
    default:
      return 0;
  }
}
}  // namespace

void forgetRounding() {
  tKnownField = -1;
}

int getRounding() {
  unsigned field = (readMxcsr() >> 13) & 3;
  tKnownField = static_cast<int>(field);
  return kModeOfField[field];
}

int setRounding(int mode) {
  unsigned field = fieldOfMode(mode);
  // Reading the register costs about as much as a dozen operations: a
  // direction already known to be set is left alone.
  if (tKnownField == static_cast<int>(field)) return kModeOfField[field];
  unsigned csr = readMxcsr();
  unsigned current = (csr >> 13) & 3;
  if (current != field) {
    writeMxcsr((csr & ~(3u << 13)) | (field << 13));
    unsigned short cw = readX87();
    writeX87(static_cast<unsigned short>((cw & ~(3u << 10)) | (field << 10)));
  }
  tKnownField = static_cast<int>(field);
  return kModeOfField[current];
}
#else
void forgetRounding() {}

int getRounding() {
  switch (fegetround()) {
    case FE_TONEAREST:
      return RoundNearest;
    case FE_UPWARD:
      return RoundUpward;
    case FE_DOWNWARD:
      return RoundDownward;
    default:
      return RoundTowardZero;
  }
}

int setRounding(int mode) {
  int previous = getRounding();
  int fe = FE_TONEAREST;
  switch (mode) {
    case RoundUpward:
      fe = FE_UPWARD;
      break;
    case RoundDownward:
      fe = FE_DOWNWARD;
      break;
    case RoundTowardZero:
      fe = FE_TOWARDZERO;
      break;
    default:
      fe = FE_TONEAREST;
      break;
  }
  fesetround(fe);
  return previous;
}
#endif

void resetFloatingPoint() {
  fesetenv(FE_DFL_ENV);
  forgetRounding();
}

const char* getEnv(const char* name) {
  return name ? std::getenv(name) : nullptr;
}

int parseInt(const char* text) {
  if (!text) return 0;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (end == text) return 0;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

int removeFile(const char* path) {
  return path ? ::unlink(path) : -1;
}

void prefault(void* p, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t from = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
  uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(page - 1);
  // Kernels without the request refuse it; the pages then fault one by one.
  if (to > from) (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}

// ---------------------------------------------------------------------------
// Stack segments

namespace detail {

namespace {

// Room kept below the deepest frame before a segment is taken, the size of a
// segment (reserved, committed page by page as it is used) and of the guard
// at its far end.
const size_t kStackMargin = 256 * 1024;
const size_t kSegmentBytes = 64 * 1024 * 1024;
const size_t kGuardBytes = 64 * 1024;

struct Segment {
  void (*fn)(void*);
  void* data;
  std::exception_ptr error;
  int rounding;
  ucontext_t caller;
  ucontext_t callee;
  const void* callerBottom;
  size_t callerSize;
};

thread_local Segment* tEntering = nullptr;

void runSegment() {
  Segment* s = tEntering;
#if QRO_ASAN
  __sanitizer_finish_switch_fiber(nullptr, &s->callerBottom, &s->callerSize);
#endif
  try {
    s->fn(s->data);
  } catch (...) {
    s->error = std::current_exception();
  }
  // Switching back restores the caller's floating-point control word.
  s->rounding = getRounding();
  forgetRounding();
#if QRO_ASAN
  __sanitizer_start_switch_fiber(nullptr, s->callerBottom, s->callerSize);
#endif
  swapcontext(&s->callee, &s->caller);
}

}  // namespace

thread_local char* stackLimit = nullptr;

namespace {

// The calling thread's stack, and the segment it runs on (null when none).
thread_local const char* tStackLow = nullptr;
thread_local const char* tStackHigh = nullptr;
thread_local const char* tSegmentLow = nullptr;
thread_local const char* tSegmentHigh = nullptr;

// Reads the calling thread's stack bounds, once: the main thread's as the
// system's maps and stack limit give them, another thread's as it was made.
// Both stay null when the system does not tell them.
void readThreadStack() {
  if (tStackHigh) return;
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void* addr = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr && size > 0) {
    tStackLow = static_cast<const char*>(addr);
    tStackHigh = tStackLow + size;
  }
  pthread_attr_destroy(&attr);
}

}  // namespace

char* findStackLimit() {
  readThreadStack();
  // Unknown bounds: a limit no frame lies below.
  char* limit = reinterpret_cast<char*>(1);
  if (tStackHigh) {
    // A stack smaller than twice the margin keeps half of itself: the frames
    // between two checks still fit below the limit.
    size_t size = static_cast<size_t>(tStackHigh - tStackLow);
    limit = const_cast<char*>(tStackLow) + (size < 2 * kStackMargin ? size / 2 : kStackMargin);
  }
  stackLimit = limit;
  return limit;
}

void runOnSegment(void (*fn)(void*), void* data) {
  void* memory = mmap(nullptr, kSegmentBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (memory == MAP_FAILED) throw QroMemoryException();
  char* base = static_cast<char*>(memory);
  // An overrun of the segment faults on the guard instead of writing on.
  mprotect(base, kGuardBytes, PROT_NONE);
#if QRO_ASAN
  // The sanitizer clears the shadow of small context stacks only: poison left
  // over this range by earlier mappings would show as faults on the segment.
  __asan_unpoison_memory_region(base, kSegmentBytes);
#endif
  // Zeroed: swapcontext fills the caller's context but its stack description,
  // which the sanitizer's swapcontext reads on the way back as a stack to clear.
  Segment s{};
  s.fn = fn;
  s.data = data;
  s.rounding = getRounding();
  s.callerBottom = nullptr;
  s.callerSize = 0;
  getcontext(&s.callee);
  s.callee.uc_stack.ss_sp = base;
  s.callee.uc_stack.ss_size = kSegmentBytes;
  s.callee.uc_link = nullptr;
  makecontext(&s.callee, runSegment, 0);
  char* savedLimit = stackLimit;
  stackLimit = base + kGuardBytes + kStackMargin;
  const char* savedLow = tSegmentLow;
  const char* savedHigh = tSegmentHigh;
  tSegmentLow = base;
  tSegmentHigh = base + kSegmentBytes;
  tEntering = &s;
#if QRO_ASAN
  void* fakeStack = nullptr;
  __sanitizer_start_switch_fiber(&fakeStack, base, kSegmentBytes);
#endif
  swapcontext(&s.caller, &s.callee);
#if QRO_ASAN
  __sanitizer_finish_switch_fiber(fakeStack, nullptr, nullptr);
#endif
  stackLimit = savedLimit;
  tSegmentLow = savedLow;
  tSegmentHigh = savedHigh;
#if QRO_ASAN
  // The frames that never returned (the segment's entry) leave their poison,
  // which a later mapping of this range would inherit.
  __asan_unpoison_memory_region(base, kSegmentBytes);
#endif
  munmap(memory, kSegmentBytes);
  forgetRounding();
  setRounding(s.rounding);
  if (s.error) std::rethrow_exception(s.error);
}

}  // namespace detail

bool isOnStack(const void* p) {
  using namespace detail;
  const char* c = static_cast<const char*>(p);
  if (c >= tSegmentLow && c < tSegmentHigh) return true;
  readThreadStack();
  return c >= tStackLow && c < tStackHigh;
}

}  // namespace qroplatform
