#include "qroplatform.h"

#include <cerrno>
#include <cfenv>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>
#include <unistd.h>

namespace qroplatform {

double processCpuSeconds() {
  timespec ts;
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0) return 0.0;
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
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

int getRounding() {
  return kModeOfField[(readMxcsr() >> 13) & 3];
}

int setRounding(int mode) {
  unsigned csr = readMxcsr();
  unsigned field = fieldOfMode(mode);
  unsigned current = (csr >> 13) & 3;
  if (current != field) {
    writeMxcsr((csr & ~(3u << 13)) | (field << 13));
    unsigned short cw = readX87();
    writeX87(static_cast<unsigned short>((cw & ~(3u << 10)) | (field << 10)));
  }
  return kModeOfField[current];
}
#else
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

}  // namespace qroplatform
