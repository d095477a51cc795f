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

int getRounding() {
  switch (fegetround()) {
    case FE_TONEAREST: return RoundNearest;
    case FE_UPWARD: return RoundUpward;
    case FE_DOWNWARD: return RoundDownward;
    default: return RoundTowardZero;
  }
}

int setRounding(int mode) {
  int previous = getRounding();
  int fe = FE_TONEAREST;
  switch (mode) {
    case RoundUpward: fe = FE_UPWARD; break;
    case RoundDownward: fe = FE_DOWNWARD; break;
    case RoundTowardZero: fe = FE_TOWARDZERO; break;
    default: fe = FE_TONEAREST; break;
  }
  fesetround(fe);
  return previous;
}

void resetFloatingPoint() { fesetenv(FE_DFL_ENV); }

const char* getEnv(const char* name) { return name ? std::getenv(name) : nullptr; }

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

int removeFile(const char* path) { return path ? ::unlink(path) : -1; }

}  // namespace qroplatform
