// Seeds of randomised tests. A test asks for its seed; --qro_seed=N replaces it,
// and a failing test prints the seed it ran with. --qro_all_forms makes the
// harness run every reified form of its cases instead of a sample;
// QRO_TEST_FULL=1 runs the long random tests at their full draw counts.
#ifndef QRO_TEST_SEED_H
#define QRO_TEST_SEED_H

#include <cstdint>

namespace qrotest {

void setSeedOverride(uint64_t seed);
// The override when one was given, else the default; the test's seed from
// then on.
uint64_t seedOr(uint64_t defaultSeed);
// The seed the running test last asked for (seedOr), false when none: the
// one a replay gives on the command line.
bool testSeed(uint64_t& seed);
// Forgets the test's seed (at the start of each test).
void clearTestSeed();
void setAllForms(bool all);
bool allForms();
// A long random test's draw count: `quick` by default, `full` when the
// environment sets QRO_TEST_FULL (to anything but 0).
int draws(int quick, int full);

}  // namespace qrotest

#endif
