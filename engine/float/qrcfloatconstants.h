// Process-wide double constants of the interval functions, each exact value
// enclosed by a bound rounded down (Down) and a bound rounded up (Up), plus the
// fixed coefficients of the series and rational approximations. Filled by the
// three start-up routines, called in this order when an engine manager is made.
#ifndef QRC_FLOAT_CONSTANTS_H
#define QRC_FLOAT_CONSTANTS_H

void initFloatConstantBounds();
void initExpLogConstantBounds();
void initApproxCoefficientBounds();  // leaves rounding to nearest

// Factors for outward scaling: 1 - 2^-52 and 1 + 2^-52.
extern double qrcOneDown, qrcOneUp;

// initFloatConstantBounds
extern double qrcPiDown, qrcPiUp;
extern double qrcHalfPiDown, qrcHalfPiUp;
extern double qrcQuarterPiDown, qrcQuarterPiUp;
extern double qrcTwoPiDown, qrcTwoPiUp;
extern double qrcThreeHalfPiDown, qrcThreeHalfPiUp;
extern double qrcFiveHalfPiDown, qrcFiveHalfPiUp;
extern double qrcSevenHalfPiDown, qrcSevenHalfPiUp;
extern double qrcNineHalfPiDown, qrcNineHalfPiUp;
extern double qrcHalfPiCopyDown, qrcHalfPiCopyUp;
extern double qrcSineCoefficients[6];    // highest degree first
extern double qrcCosineCoefficients[6];  // highest degree first
extern double qrcOneHalf;
extern double qrcQuarterPiParts[3];  // high, middle, low

// initExpLogConstantBounds
extern double qrcLog2eDown, qrcLog2eUp;
extern double qrcLn2HighDown, qrcLn2HighUp;  // 0.693359375, one unit out
extern double qrcLn2LowDown, qrcLn2LowUp;    // 0.693359375 - ln 2
extern double qrcLn2Down, qrcLn2Up;
extern double qrcLn10Down, qrcLn10Up;
extern double qrcEDown, qrcEUp;
extern double qrcInvLn2Down, qrcInvLn2Up;
extern double qrcInvLn10Down, qrcInvLn10Up;
extern double qrcExpMaxArgument;  // 709.7827128933839
extern double qrcHalfLn2Up;       // ln 2 / 2 rounded up
extern double qrcMinusHalfLn2Up;  // its negation
extern double qrcExpTinyUpper;    // 5.56268464626757e-309
extern double qrcExpHugeLower;    // 1.79769313486168e+308

// initApproxCoefficientBounds: log(1 + x) = x - x^2/2 + x^3 P(x)/Q(x) and
// z + z^3 R(z)/S(z); Q and S monic (leading 1 not stored), highest degree first.
extern double qrcLogP[7];
extern double qrcLogQ[6];
extern double qrcLogR[3];
extern double qrcLogS[3];

#endif
