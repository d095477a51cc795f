// Integer-set variables for the propagator harness: a set over the universe
// [0, 62] is encoded as the bit mask of its members.
#ifndef QRO_TEST_SETKIND_H
#define QRO_TEST_SETKIND_H

#include <cstdint>
#include <vector>

#include "qrcintsetvar.h"
#include "support/harness.h"

namespace qrotest {

// Variables over [0, highest bit of the candidate masks]; a mask is in the
// domain when it lies between the required and the possible set and its
// size within the cardinality's bounds.
const VarKind& intSetKind();

// Every subset of {0, ..., n - 1} as a mask.
std::vector<int64_t> subsets(int n);

// The size of a mask, and whether v is one of its members.
inline int pop(int64_t m) {
  return __builtin_popcountll(static_cast<uint64_t>(m));
}
inline bool bit(int64_t m, int64_t v) {
  return v >= 0 && v < 62 && ((m >> v) & 1);
}

inline QrcIntSetVarI* setVarOf(const Vars& v, size_t i) {
  return static_cast<QrcIntSetVarI*>(v.expr(i));
}

}  // namespace qrotest

#endif
