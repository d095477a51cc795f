// Extended-precision numbers with a 64-bit significand, used to turn doubles into
// exact decimal text under a chosen rounding direction.
//
// A packed number is 5 words (80 bits): words 0-3 the significand, least
// significant word first, with an explicit leading bit; word 4 the sign (bit 15)
// and the exponent biased by 16383. A wide number is the working form of 8 words:
//   0 sign (0 or 0xFFFF), 1 biased exponent, 2 high guard word (carry),
//   3-6 significand (most significant first, leading bit in bit 15 of word 3),
//   7 low guard word (bit 15 the half unit, the rest sticky).
// Value of a normalised wide number: (words 2-7 as one integer) / 2^79 * 2^(e - 16383).
//
// Rounding follows the processor's rounding direction (qroplatform::getRounding)
// and is truly directed: an inexact result moves one unit away from zero exactly
// when the direction points away from zero for its sign; nearest rounds half to even.
// The package keeps a little global state and is not reentrant.
#ifndef QRC_WIDE_H
#define QRC_WIDE_H

#include <cstdint>

struct WideNumber {
  uint16_t w[8];
};

struct PackedExtended {
  uint16_t w[5];
};

// Significand steps (words 2-7 as one unsigned number, word 2 most significant).
int compareSignificands(const WideNumber* a, const WideNumber* b);
void shiftUpOneBit(WideNumber* x);
// n < 0 shifts down by -n bits and returns 1 when nonzero bits were lost;
// n > 0 shifts up by n bits; returns 0 otherwise.
int shiftSignificand(WideNumber* x, int n);
// Shifts until word 2 is 0 and bit 15 of word 3 is 1; returns the places shifted
// up (negative when shifted down); a zero significand returns 65.
int normalizeSignificand(WideNumber* x);
// a's significand times b's into a (sign and exponent from b); 1 when bits were lost.
int multiplySignificands(WideNumber* a, const WideNumber* b);
// num's significand divided by den's into num; 1 when the remainder is nonzero.
int divideSignificands(WideNumber* num, const WideNumber* den);
// Normalises x, gives it the exponent (less the normalisation shift) and, when
// roundControl is nonzero, rounds away its guard word in the processor's direction.
// lost: nonzero bits below the guard word (the true magnitude is slightly larger).
void normalizeAndRound(WideNumber* x, int lost, int subtracted, int32_t exponent, int roundControl);

WideNumber doubleToWide(double d);  // d finite
PackedExtended packWide(const WideNumber* x);
WideNumber unpackWide(const PackedExtended* p);

// b + a, or b - a when subtract is nonzero (a is negated in place first).
WideNumber wideAdd(WideNumber* a, WideNumber* b, int subtract);
WideNumber wideMultiply(const WideNumber* a, const WideNumber* b);
WideNumber wideDivide(const WideNumber* a, const WideNumber* b);
// Remainder of num by den, unrounded; the integer quotient's low bits stay in
// word 7 of the quotient accumulator (wideLastQuotientWord).
WideNumber wideRemainder(const WideNumber* num, const WideNumber* den);
uint16_t wideLastQuotientWord();

// Operations on packed numbers.
PackedExtended wideSubtract(const PackedExtended* a, const PackedExtended* b);
PackedExtended wideFloor(const PackedExtended* x);
int wideEqual(const PackedExtended* a, const PackedExtended* b);
int wideLessEqual(const PackedExtended* a, const PackedExtended* b);
int wideGreaterEqual(const PackedExtended* a, const PackedExtended* b);
int wideGreater(const PackedExtended* a, const PackedExtended* b);
int wideCompare(const PackedExtended* a, const PackedExtended* b);
// Writes the 5 words in hexadecimal on standard output, one per line, then an
// empty line.
void dumpWideHex(const PackedExtended* x);

#endif
