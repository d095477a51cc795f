// The one place where the library meets the operating system and the C runtime's
// floating-point environment: processor time, thread identity, rounding control,
// environment variables and file removal.
#ifndef QRO_PLATFORM_H
#define QRO_PLATFORM_H

#include <cstdint>

namespace qroplatform {

// Processor time of the process (user plus kernel), in seconds.
double processCpuSeconds();

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
// Sets the rounding direction; returns the previous one.
int setRounding(int mode);
// Restores the default floating-point environment (round to nearest, no flags).
void resetFloatingPoint();

// Value of an environment variable, or null when it is not set.
const char* getEnv(const char* name);
// Decimal integer prefix of a text, as atoi reads it, clamped to the int range;
// 0 for null or a text without digits.
int parseInt(const char* text);

// Removes a file; returns 0 on success.
int removeFile(const char* path);

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
