// Back-reference compression of a buffer seen as 32-bit little-endian units.
//
// The stream is a sequence of groups: a flag byte, then eight items. Bit k of
// the flag byte describes item k: clear, a literal unit (4 bytes); set, a
// back-reference of 2 or 3 bytes: byte 0 = (d >> 8) | (n << 4), byte 1 = d & 255,
// with d = distance - 1 and n = length - 1 for lengths 1..15; n = 15 means a third
// byte holds length - 15 (lengths 16..270). d = 4095 stands for a run of zero
// units of that length. The last group is padded with zero literals and the
// stream ends with the flag byte of an empty group.
#ifndef QRC_COMPRESS_H
#define QRC_COMPRESS_H

#include <cstddef>
#include <cstdint>

namespace qrccompress {

const size_t Window = 4096;
const size_t MaxLength = 270;

// Compresses n units into out (capacity bytes). Returns the compressed size,
// or 0 when the output does not fit.
size_t compress(const uint32_t* in, size_t n, unsigned char* out, size_t capacity);

// Decompresses a stream of size bytes into out (capacity units). Returns false
// on a malformed stream: a truncated item, a copy from before the start, or an
// output that would not fit. On success *units holds the number of units written
// (padding included).
bool decompress(const unsigned char* in, size_t size, uint32_t* out, size_t capacity,
                size_t* units);

}  // namespace qrccompress

#endif
