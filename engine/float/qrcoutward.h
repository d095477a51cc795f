// Outward-rounding primitives of the interval computations.
//
// widenDown/widenUp move a value outward by the relative margin 1e-11 (for
// results of library functions that are not correctly rounded); they set the
// rounding direction to nearest first. The directed operations give the IEEE
// result rounded down or up (zeros' signs included) whatever the processor's
// rounding direction, and leave that direction as it was: the result in the
// current direction is corrected by the sign of its exact error, and only
// results near the bottom of the range switch the processor's direction.
#ifndef QRC_OUTWARD_H
#define QRC_OUTWARD_H

// +infinity gives DBL_MAX; x >= 0 gives x * 0.99999999999, x < 0 x * 1.00000000001.
double widenDown(double x);
// -infinity gives -DBL_MAX; x >= 0 gives x * 1.00000000001, x < 0 x * 0.99999999999.
double widenUp(double x);
double sqrtDown(double x);  // widenDown(sqrt(x))
double sqrtUp(double x);    // widenUp(sqrt(x))

double addDown(double a, double b);
double addUp(double a, double b);
double subDown(double a, double b);
double subUp(double a, double b);
double mulDown(double a, double b);
double mulUp(double a, double b);
double divDown(double a, double b);
double divUp(double a, double b);

#endif
