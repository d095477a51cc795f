// Outward-rounded interval bounds of arithmetic and elementary functions: every
// result contains the exact real result. Each operation switches the rounding
// direction itself and leaves the last one set; callers restore nearest after a
// group of operations. The rounded constants of qrcfloatconstants.h must have
// been initialised (the engine manager's construction does it).
#ifndef QRC_INTERVAL_BOUNDS_H
#define QRC_INTERVAL_BOUNDS_H

#include <cstdint>

struct QrcFloatInterval {
  double lo;
  double hi;
};

// Internal inconsistency of the interval functions: fatal engine error 54 at
// "Morvane".
[[noreturn]] void intervalFailure(const char* message);

// Outward nudges of a value computed in nearest rounding by an approximation
// good to about one unit in the last place.
double nudgeDown(double y);
double nudgeUp(double y);

// x + [c1, c2] and x - [c1, c2], in place.
void intervalShift(QrcFloatInterval& x, double c1, double c2);
void intervalSubtractInPlace(QrcFloatInterval& x, double c1, double c2);
QrcFloatInterval intervalSum(const QrcFloatInterval& x, const QrcFloatInterval& y);
QrcFloatInterval intervalDifference(const QrcFloatInterval& x, const QrcFloatInterval& y);
// A factor that is exactly 0 gives 0 (0 times infinity never occurs).
QrcFloatInterval intervalProduct(const QrcFloatInterval& x, const QrcFloatInterval& y);
// A divisor holding 0 gives a half line or the whole line.
QrcFloatInterval intervalQuotient(const QrcFloatInterval& x, const QrcFloatInterval& y);

// x^n for x >= 0 and n >= 0, rounded down / up.
double powDown(double x, int64_t n);
double powUp(double x, int64_t n);

double expDown(double x);
double expUp(double x);
QrcFloatInterval expBounds(const QrcFloatInterval& x);
// Bounds of log x for x > 0 (x <= 0 gives -infinity).
double logDown(double x);
double logUp(double x);
QrcFloatInterval logBounds(const QrcFloatInterval& x);

// x^p for x >= 0.
double powRealDown(double x, double p);
double powRealUp(double x, double p);
// x^(1/p) for x >= 0, given d <= 1/p <= u.
double rootDown(double x, double d, double u);
double rootUp(double x, double d, double u);
QrcFloatInterval powRealBounds(const QrcFloatInterval& x, double p);
QrcFloatInterval rootBounds(const QrcFloatInterval& x, double d, double u);

#endif
