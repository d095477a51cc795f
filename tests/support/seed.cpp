#include "support/seed.h"

namespace qrotest {
namespace {
bool g_overridden = false;
uint64_t g_seed = 0;
bool g_allForms = false;
}  // namespace

void setSeedOverride(uint64_t seed) {
  g_overridden = true;
  g_seed = seed;
}

uint64_t seedOr(uint64_t defaultSeed) {
  return g_overridden ? g_seed : defaultSeed;
}

void setAllForms(bool all) {
  g_allForms = all;
}

bool allForms() {
  return g_allForms;
}

}  // namespace qrotest
