// Exact printing of float intervals: every lower bound is written rounded toward
// minus infinity and every upper bound toward plus infinity, so the printed
// interval always contains the real one.
#ifndef QRC_FLOAT_PRINT_H
#define QRC_FLOAT_PRINT_H

#include <cstddef>
#include <ostream>
#include <string>

#include "qrcwide.h"

// Decimal text of x in the processor's current rounding direction (the caller
// sets it down or up): a first digit and `digits` more (clamped to 0..18),
// scientific (positional 0) or positional (positional 1). `out` holds
// maxLength + 1 characters; the text is cut to maxLength characters.
void wideToDecimal(const PackedExtended* x, char* out, int digits, int maxLength, int positional);

// "[lo..hi]" with p significant digits (p the stream's precision), infinite bounds
// by name: "(-Infinity..", "-Infinity)", "+Infinity)", "(+Infinity..".
std::ostream& printFloatInterval(double lo, double hi, std::ostream& os, int positional);
// A bound value whose 19 digits are exact as "[v]"; otherwise the common-prefix form "[" sign
// prefix " + [" lowTail ".." highTail "]]" when it applies, else printFloatInterval.
std::ostream& printFloatRange(double lo, double hi, std::ostream& os, int positional);

// Size of each output buffer of printFloatIntervalCommonPrefix.
const int kQrcPrefixBufferSize = 1024;
// Fills sign, common prefix and the two tails (each a buffer of
// kQrcPrefixBufferSize characters); returns 0 when the prefix form does not apply.
int printFloatIntervalCommonPrefix(double lo, double hi, char* signOut, char* prefixOut,
                                   char* loTailOut, char* hiTailOut, int positional);

// String steps of the prefix form: a text shifted right behind count zeros; two
// texts padded so that their decimal points stand at the same index; one more
// prefix digit taken across a carry (true on success, the cursor i advanced).
std::string padLeadingZeros(const std::string& text, size_t count);
void alignDecimalPoints(std::string& a, std::string& b);
bool commonPrefixStep(const std::string& lo, const std::string& hi, size_t& i, std::string& prefix,
                      bool negative);

#endif
