#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

#include "qroenv.h"
#include "qropointertable.h"
#include "support/seed.h"

namespace {

// Random adds, replacements and removals against a map, over few keys (long
// probe runs that wrap around the array) and many (growth).
TEST(PointerTable, AgreesWithAMap) {
  std::mt19937_64 rng(qrotest::seedOr(9));
  QroEnv env;
  for (int keys : {40, 5000}) {
    QroPointerTable table(env.getImpl()->getMemoryManager());
    std::unordered_map<uintptr_t, uintptr_t> map;
    for (int step = 0; step < 60000; ++step) {
      uintptr_t key = 16 * (1 + rng() % static_cast<uint64_t>(keys));
      const void* k = reinterpret_cast<const void*>(key);
      switch (rng() % 3) {
        case 0: {
          uintptr_t value = 1 + rng() % 1000;
          table.set(k, reinterpret_cast<void*>(value));
          map[key] = value;
          break;
        }
        case 1: {
          auto it = map.find(key);
          ASSERT_EQ(reinterpret_cast<uintptr_t>(table.take(k)), it == map.end() ? 0 : it->second);
          if (it != map.end()) map.erase(it);
          break;
        }
        default: {
          auto it = map.find(key);
          ASSERT_EQ(reinterpret_cast<uintptr_t>(table.find(k)), it == map.end() ? 0 : it->second);
        }
      }
    }
    for (const auto& kv : map)
      EXPECT_EQ(reinterpret_cast<uintptr_t>(table.find(reinterpret_cast<const void*>(kv.first))),
                kv.second);
    EXPECT_EQ(table.isEmpty(), map.empty());
    table.clear();
    EXPECT_TRUE(table.isEmpty());
    EXPECT_EQ(table.find(reinterpret_cast<const void*>(16)), nullptr);
  }
  env.end();
}

}  // namespace
