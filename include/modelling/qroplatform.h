// The one place where the library meets the operating system and the C runtime's
// floating-point environment: processor time, thread identity, rounding control,
// environment variables, file removal and memory prefaulting.
#ifndef QRO_PLATFORM_H
#define QRO_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace qroplatform {

// Processor time of the process (user plus kernel), in seconds.
double processCpuSeconds();

// A monotonic clock as coarse as the system's tick (a few milliseconds), in
// nanoseconds, cheap to read: it tells when the processor time, a system call,
// is worth reading again.
int64_t coarseClockNanos();

// Identity of the calling thread, stable for the thread's lifetime.
uint64_t currentThreadId();

// Rounding directions, numbered as the library reports them.
enum RoundingMode : int {
  RoundTowardZero = 0,
  RoundNearest = 1,
  RoundUpward = 2,
  RoundDownward = 3
};

// Current rounding direction of the calling thread.
int getRounding();
// Sets the rounding direction; returns the previous one. The direction last
// set or read here is remembered per thread and not set again: code that
// changes it by other means (fesetround) calls getRounding or forgetRounding
// before the library relies on it again.
int setRounding(int mode);
// Drops the remembered direction: the next setRounding reads the processor's.
void forgetRounding();
// Restores the default floating-point environment (round to nearest, no flags).
void resetFloatingPoint();

// Value of an environment variable, or null when it is not set.
const char* getEnv(const char* name);
// Decimal integer prefix of a text, as atoi reads it, clamped to the int range;
// 0 for null or a text without digits.
int parseInt(const char* text);

// Removes a file; returns 0 on success.
int removeFile(const char* path);

// Backs the whole pages inside [p, p + bytes) with writable memory in one
// request, sparing a fault on each first write; a hint that may do nothing.
void prefault(void* p, size_t bytes);

namespace detail {
// The address below which the calling thread's stack (or the segment it runs
// on) is too close to its end; null until first asked for.
extern thread_local char* stackLimit;
char* findStackLimit();
// Runs fn(data) on a fresh stack segment.
[[gnu::cold]] void runOnSegment(void (*fn)(void*), void* data);
template <class F>
void callBack(void* f) {
  (*static_cast<F*>(f))();
}
}  // namespace detail

// Whether p lies in the calling thread's stack, or in the stack segment it
// runs on.
bool isOnStack(const void* p);

// True when the caller runs close to the end of its stack.
inline bool isStackLow() {
  char* limit = detail::stackLimit;
  if (!limit) limit = detail::findStackLimit();
  return static_cast<char*>(__builtin_frame_address(0)) < limit;
}

// Runs f() on the current stack while enough of it is left, else on a fresh
// stack segment, so that a recursion as deep as the data it walks (deeply
// nested expressions) never runs off the end of the thread's stack. An
// exception leaving f reaches the caller as it was thrown; f must not leave
// by longjmp. QroMemoryException when no segment can be had.
template <class F>
void withStackRoom(F& f) {
  if (__builtin_expect(isStackLow(), 0))
    detail::runOnSegment(detail::callBack<F>, &f);
  else
    f();
}

}  // namespace qroplatform

// Keeps the optimiser from moving a floating-point value's computation across a
// change of rounding direction: the value is forced into a register and treated
// as produced and consumed by opaque code at this point.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QRO_FP_BARRIER(v) __asm__ __volatile__("" : "+x"(v))
#elif defined(__GNUC__)
#define QRO_FP_BARRIER(v) __asm__ __volatile__("" : "+r"(v))
#else
#define QRO_FP_BARRIER(v) ((void)0)
#endif

#endif
