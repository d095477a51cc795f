// Processor clock, rounding direction and reduced-precision rounding of doubles.
// The rounding switches are out-of-line calls: the optimiser cannot move a
// floating-point operation across them. Code that computes between two switches
// should still pin its values with QRO_FP_BARRIER (qroplatform.h).
#ifndef QRC_FLOATENV_H
#define QRC_FLOATENV_H

#include "qrctypes.h"

// Processor time of the process (user plus kernel), in seconds.
double cpuTime();
// C runtime clock() / 1000.0.
double clockTime();
// Default floating-point environment (round to nearest); returns 0.
int resetFloatingPoint();

// Rounding switches; each returns the previous mode (1 nearest, 2 up, 3 down,
// 0 toward zero), which callers may ignore.
int setRoundingUp();
int setRoundingDown();
int setRoundingNearest();
int getRoundingMode();

// Rounding to p mantissa bits (1..52), on the double's bit image.
QrcFloat roundUpToPrecision(QrcFloat x, QrcInt p);
QrcFloat roundDownToPrecision(QrcFloat x, QrcInt p);
QrcFloat nextUpAtPrecision(QrcFloat x, QrcInt p);
QrcFloat nextDownAtPrecision(QrcFloat x, QrcInt p);
// True when a >= b less one unit at precision p.
bool isAtLeastWithinPrecision(QrcFloat a, QrcFloat b, QrcInt p);

// Resets the calling thread's floating-point unit and sets up the rounded
// interval constants of the float layer (the first call in the process).
void QrcInitFloatEnvironment();
// Sets up the process-wide rounded interval constants once, whichever thread
// asks first; supplied by the float layer.
void QrcInitRoundedConstants();

#endif
