// Test entry point: GoogleTest flags plus --qro_seed=N, which fixes the seed of
// the randomised tests so that a reported failure can be replayed, and
// --qro_all_forms, which runs every reified form and every array shape of the
// harness's cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "support/seed.h"

namespace {

// Each test starts without a seed of its own.
class SeedReset : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { qrotest::clearTestSeed(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--qro_seed=", 11) == 0)
      qrotest::setSeedOverride(std::strtoull(argv[i] + 11, nullptr, 10));
    if (std::strcmp(argv[i], "--qro_all_forms") == 0) qrotest::setAllForms(true);
  }
  ::testing::UnitTest::GetInstance()->listeners().Append(new SeedReset);
  return RUN_ALL_TESTS();
}
