// Outward-rounded sine, cosine and tangent of intervals. Like the other
// interval bounds, each operation sets the rounding direction itself and
// leaves the last one set; the constants of qrcfloatconstants.h must be set.
#ifndef QRC_INTRIGO_H
#define QRC_INTRIGO_H

#include "qrcintervalbounds.h"

// Bounds of sin x at a point; [-1, 1] beyond 16 in magnitude (period
// reduction leaves arguments below 4.5 pi). The upper variant serves an interval's
// upper end, the lower one its lower end: near an octant boundary each moves
// the argument its own way until the octant is certain, and the bounds are
// widened by the move.
QrcFloatInterval pointSineBounds(double x, bool upper);

// Region of a reduced argument: 0 for [-(pi/2)-, (pi/2)-), the odd regions
// 1, 3, 5, 7 the few doubles around the peaks pi/2, 3pi/2, 5pi/2, 7pi/2, the
// even regions the monotonic stretches between them, up to 8, which ends below
// 9pi/2. -1 below region 0 and 9 above region 8. A value in none (not a number)
// is the fatal error "Internal Error: INtrigo (15)".
int sineRegion(double x);

// Bounds of the sine over [a, b] from the regions of a and b and the bounds
// of the lower variant at a and of the upper variant at b. An end outside the
// regions gives [-1, 1]; combinations the reduction never produces are fatal
// errors 54, with the cosine's own texts when cosine is set.
QrcFloatInterval sineOverRegions(int r1, QrcFloatInterval atLow, int r2, QrcFloatInterval atHigh,
                                 bool cosine);

// Moves x by a multiple of 2 pi so that its lower bound lies near [0, 2 pi);
// false (x unchanged) when x covers a whole period.
bool reduceByPeriod(QrcFloatInterval& x);

QrcFloatInterval intervalSine(QrcFloatInterval x);
QrcFloatInterval intervalCosine(QrcFloatInterval x);
// The whole line when x may hold a pole.
QrcFloatInterval intervalTangent(QrcFloatInterval x);

#endif
