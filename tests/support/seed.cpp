#include "support/seed.h"

#include <cstdlib>
#include <cstring>

namespace qrotest {
namespace {
bool g_overridden = false;
uint64_t g_seed = 0;
bool g_allForms = false;
bool g_asked = false;
uint64_t g_testSeed = 0;
}  // namespace

void setSeedOverride(uint64_t seed) {
  g_overridden = true;
  g_seed = seed;
}

uint64_t seedOr(uint64_t defaultSeed) {
  g_asked = true;
  g_testSeed = g_overridden ? g_seed : defaultSeed;
  return g_testSeed;
}

bool testSeed(uint64_t& seed) {
  if (g_asked) seed = g_testSeed;
  return g_asked;
}

void clearTestSeed() {
  g_asked = false;
}

void setAllForms(bool all) {
  g_allForms = all;
}

bool allForms() {
  return g_allForms;
}

int draws(int quick, int full) {
  const char* v = std::getenv("QRO_TEST_FULL");
  return v && *v && std::strcmp(v, "0") != 0 ? full : quick;
}

}  // namespace qrotest
