#include <gtest/gtest.h>

#include <map>
#include <random>

#include "qrcmanager.h"
#include "qrcpointerhash.h"
#include "qrcrevlist.h"
#include "support/seed.h"

namespace {

TEST(PointerHashMap, GlobalMapMatchesAReferenceMap) {
  unsigned seed = qrotest::seedOr(71);
  SCOPED_TRACE(seed);
  std::mt19937_64 rng(seed);
  QrcPointerHashMap* map = new QrcPointerHashMap(20, 2.0);
  EXPECT_EQ(map->getBucketCount(), 32);
  std::map<QrcWord, QrcWord> ref;
  for (int i = 0; i < 3000; ++i) {
    QrcWord key = rng() % 5000 * 8;
    QrcWord value = rng() % 1000 + 1;
    map->add(key, value);
    ref.emplace(key, value);  // a present key keeps its value
  }
  EXPECT_EQ(map->getSize(), static_cast<QrcInt>(ref.size()));
  EXPECT_GE(static_cast<double>(map->getBucketCount()) * 2.0, static_cast<double>(ref.size()));
  for (QrcWord k = 0; k < 5000 * 8; k += 8) {
    auto it = ref.find(k);
    EXPECT_EQ(map->find(k), it == ref.end() ? 0 : it->second);
    EXPECT_EQ(map->contains(k), it != ref.end());
  }
  delete map;
}

TEST(PointerHashMap, SetAndRemoveMatchAReferenceMap) {
  unsigned seed = qrotest::seedOr(72);
  SCOPED_TRACE(seed);
  std::mt19937_64 rng(seed);
  QrcPointerHashMap* map = new QrcPointerHashMap(4, 1.0);
  std::map<QrcWord, QrcWord> ref;
  for (int i = 0; i < 4000; ++i) {
    // Keys of one bucket chain as well as spread ones.
    QrcWord key = rng() % 2 ? rng() % 300 * 169575 : rng() % 300 * 8;
    if (rng() % 3 == 0) {
      map->remove(key);
      ref.erase(key);
    } else {
      QrcWord value = rng() % 1000;
      map->set(key, value);
      ref[key] = value;
    }
  }
  EXPECT_EQ(map->getSize(), static_cast<QrcInt>(ref.size()));
  for (QrcWord k = 0; k < 300; ++k)
    for (QrcWord key : {k * 169575, k * 8}) {
      auto it = ref.find(key);
      EXPECT_EQ(map->contains(key), it != ref.end());
      EXPECT_EQ(map->find(key), it == ref.end() ? 0 : it->second);
    }
  delete map;
}

TEST(PointerHashMap, BucketRule) {
  QrcPointerHashMap map(128, 10000.0);
  EXPECT_EQ(map.bucketOf(0), 0);
  EXPECT_EQ(map.bucketOf(169575), 0);
  EXPECT_EQ(map.bucketOf(169575 * 3 + 5), map.bucketOf(5));
  // The remainder keeps the key's sign before the mask.
  EXPECT_EQ(map.bucketOf(static_cast<QrcWord>(-1)), -1 & 127);
  map.add(0, 1);
  map.add(169575, 2);
  map.add(0, 9);
  EXPECT_EQ(map.find(0), 1u);
  EXPECT_EQ(map.find(169575), 2u);
  EXPECT_EQ(map.getSize(), 2);
}

TEST(PointerHashMap, RehashThreshold) {
  QrcPointerHashMap map(4, 1.0);
  for (QrcWord k = 1; k <= 4; ++k) map.add(k, k);
  EXPECT_EQ(map.getBucketCount(), 4);
  map.add(5, 5);
  EXPECT_EQ(map.getBucketCount(), 8);
  for (QrcWord k = 1; k <= 5; ++k) EXPECT_EQ(map.find(k), k);
}

TEST(PointerHashMap, HeapMapIsUndoneByBacktracking) {
  QrcManagerI* m = new QrcManagerI(&QrcNoEdit);
  QrcPointerHashMap* map = new (m) QrcPointerHashMap(m, 2, 1.0);
  map->add(10, 1);
  m->pushState();
  for (QrcWord k = 11; k < 30; ++k) map->add(k, k);
  EXPECT_GT(map->getBucketCount(), 2);
  m->popState();
  EXPECT_EQ(map->getSize(), 1);
  EXPECT_EQ(map->getBucketCount(), 2);
  EXPECT_EQ(map->find(10), 1u);
  for (QrcWord k = 11; k < 30; ++k) EXPECT_EQ(map->find(k), 0u);
  delete m;
}

TEST(PointerHashMap, HeapSetAndRemoveAreUndoneByBacktracking) {
  QrcManagerI* m = new QrcManagerI(&QrcNoEdit);
  QrcPointerHashMap* map = new (m) QrcPointerHashMap(m, 2, 1.0);
  map->add(10, 1);
  map->add(10 + 169575, 2);
  m->pushState();
  map->set(10, 7);
  map->remove(10 + 169575);
  map->remove(99);
  EXPECT_EQ(map->find(10), 7u);
  EXPECT_FALSE(map->contains(10 + 169575));
  EXPECT_EQ(map->getSize(), 1);
  m->popState();
  EXPECT_EQ(map->find(10), 1u);
  EXPECT_EQ(map->find(10 + 169575), 2u);
  EXPECT_EQ(map->getSize(), 2);
  delete m;
}

TEST(ReversibleList, AppendAndRemoveAreUndone) {
  QrcManagerI* m = new QrcManagerI(&QrcNoEdit);
  QrcRevListNode* head = nullptr;
  QrcRevListNode* tail = nullptr;
  QrcRevListNode nodes[4] = {};
  int values[4] = {0, 1, 2, 3};
  reversibleListAppend(m, &nodes[0], &values[0], &head, &tail);
  reversibleListAppend(m, &nodes[1], &values[1], &head, &tail);
  m->pushState();
  reversibleListAppend(m, &nodes[2], &values[2], &head, &tail);
  reversibleListRemove(m, &nodes[0], &head, &tail);
  reversibleListRemove(m, &nodes[2], &head, &tail);
  EXPECT_EQ(head, &nodes[1]);
  EXPECT_EQ(tail, &nodes[1]);
  EXPECT_EQ(nodes[1].prev, nullptr);
  EXPECT_EQ(nodes[1].next, nullptr);
  m->popState();
  EXPECT_EQ(head, &nodes[0]);
  EXPECT_EQ(tail, &nodes[1]);
  EXPECT_EQ(nodes[0].next, &nodes[1]);
  EXPECT_EQ(nodes[1].prev, &nodes[0]);
  EXPECT_EQ(nodes[1].next, nullptr);
  EXPECT_EQ(nodes[1].value, &values[1]);
  reversibleListRemove(m, &nodes[1], &head, &tail);
  reversibleListRemove(m, &nodes[0], &head, &tail);
  EXPECT_EQ(head, nullptr);
  EXPECT_EQ(tail, nullptr);
  delete m;
}

}  // namespace
