// Numeric helpers of the modelling layer.
#ifndef QRO_NUMERIC_H
#define QRO_NUMERIC_H

#include "qrotypes.h"

// The modelling layer's +infinity.
extern double QroInfinity;
// Sets QroInfinity (done at start-up and by every environment; a value
// already right is not written again).
void QroInitInfinity();

// Ceiling of a / b for b != 0.
QroInt QroCeilDiv(QroInt a, QroInt b);
// Clamps to plus or minus (2^53 - 1) and truncates (NaN gives 0).
QroInt QroClampToInt53(double v);
// Whether v lies within plus or minus (2^53 - 1) (NaN does not).
inline bool QroIsWithinInt53(double v) {
  return v <= static_cast<double>(QroIntMax) && v >= static_cast<double>(QroIntMin);
}
// QroClampToInt53 for an integer bound; QroWrongUsage when it is NaN.
QroInt QroBoundToInt53(double v);
// An integer variable's lower bound ceil(v), clamped; QroIntExpr::QroOverflowOccurred
// when it lies above 2^53 - 1, where clamping would keep only values below v.
QroInt QroLowerBoundToInt53(double v);
// Its upper bound floor(v), clamped; the overflow when it lies below -(2^53 - 1).
QroInt QroUpperBoundToInt53(double v);
// Nearest integer, halves away from zero; infinities and 0 unchanged.
double QroRoundHalfAway(double v);

#endif
