#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "qroxml.h"
#include "support/seed.h"

namespace {

using Held = std::vector<std::pair<void*, std::size_t>>;

// Takes every block off the free lists, so that the next requests are carved.
void drainFreeLists(QroXmlNodePool* pool, Held& held) {
  for (int c = 0; c < QroXmlNodePool::ClassCount; ++c) {
    std::size_t size = 8 * static_cast<std::size_t>(c + 1);
    for (int guard = 0; pool->getFreeCount(c) > 0 && guard < 100000; ++guard)
      held.emplace_back(pool->allocate(size), size);
    ASSERT_EQ(pool->getFreeCount(c), 0) << "class " << c;
  }
}

void releaseAll(QroXmlNodePool* pool, Held& held) {
  for (auto& b : held) pool->release(b.first, b.second);
  held.clear();
}

// Distance between two blocks carved one after the other within one chunk.
std::ptrdiff_t carvedBlockSize(QroXmlNodePool* pool, std::size_t request, Held& held) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    drainFreeLists(pool, held);
    char* a = static_cast<char*>(pool->allocate(request));
    uint32_t chunk = pool->getChunkSize();
    char* b = static_cast<char*>(pool->allocate(request));
    held.emplace_back(a, request);
    held.emplace_back(b, request);
    if (pool->getChunkSize() == chunk) return b - a;
  }
  return -1;
}

TEST(XmlNodePool, RequestsAreServedFromSizeClasses) {
  QroXmlNodePool* pool = QroXmlNodePool::Get();
  ASSERT_EQ(pool, QroXmlNodePool::Get());
  Held held;
  const std::pair<std::size_t, std::ptrdiff_t> cases[] = {{1, 8},   {8, 8},   {9, 16},  {64, 64},
                                                          {16, 16}, {17, 24}, {57, 64}, {0, 8}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(carvedBlockSize(pool, c.first, held), c.second);
    // A released block waits on the free list of its class and comes back first.
    drainFreeLists(pool, held);
    void* p = pool->allocate(c.first);
    int sizeClass = static_cast<int>(c.second / 8 - 1);
    pool->release(p, c.first);
    EXPECT_EQ(pool->getFreeCount(sizeClass), 1);
    std::size_t sameClass = static_cast<std::size_t>(c.second);
    EXPECT_EQ(pool->allocate(sameClass), p);
    EXPECT_EQ(pool->getFreeCount(sizeClass), 0);
    held.emplace_back(p, sameClass);
  }
  releaseAll(pool, held);
}

TEST(XmlNodePool, ChunksDoubleAndKeepTheirRemainder) {
  QroXmlNodePool* pool = QroXmlNodePool::Get();
  Held held;
  drainFreeLists(pool, held);
  uint32_t first = pool->getChunkSize();
  ASSERT_GE(first, static_cast<uint32_t>(QroXmlNodePool::FirstChunkSize));
  int guard = 0;
  while (pool->getChunkSize() == first && guard++ < 100000)
    held.emplace_back(pool->allocate(16), 16);
  uint32_t second = pool->getChunkSize();
  EXPECT_EQ(second, 2 * first);
  // The block that opened the chunk sits after its link word; the chunk holds
  // (size - 8) / 16 list nodes and its last 8 bytes go to the 8-byte class.
  int carved = 1;
  int freeEights = pool->getFreeCount(0);
  for (guard = 0; guard < 100000; ++guard) {
    held.emplace_back(pool->allocate(16), 16);
    if (pool->getChunkSize() != second) break;
    ++carved;
  }
  EXPECT_EQ(pool->getChunkSize(), 2 * second);
  EXPECT_EQ(carved, static_cast<int>((second - 8) / 16));
  EXPECT_EQ(pool->getFreeCount(0), freeEights + 1);
  releaseAll(pool, held);
}

TEST(XmlNodePool, LargeBlocksBypassThePool) {
  QroXmlNodePool* pool = QroXmlNodePool::Get();
  int32_t before = pool->getLargeBlockCount();
  void* a = pool->allocate(65);
  void* b = pool->allocate(1000);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  std::memset(a, 1, 65);
  std::memset(b, 2, 1000);
  EXPECT_EQ(pool->getLargeBlockCount(), before + 2);
  pool->release(b, 1000);
  EXPECT_EQ(pool->getLargeBlockCount(), before + 1);
  // A large block the pool does not hold, or one given back twice, is ignored.
  char foreign[100];
  pool->release(foreign, sizeof foreign);
  pool->release(b, 1000);
  pool->release(nullptr, 1000);
  EXPECT_EQ(pool->getLargeBlockCount(), before + 1);
  // a stays unreleased: the exit teardown frees it.
}

// Random requests and releases: every block keeps the bytes written into it
// until it is released, so no two live blocks overlap.
TEST(XmlNodePool, RandomUseKeepsBlocksApart) {
  const uint64_t seed = qrotest::seedOr(20261206);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  QroXmlNodePool* pool = QroXmlNodePool::Get();
  int32_t large = pool->getLargeBlockCount();
  struct Block {
    unsigned char* p;
    std::size_t size;
    unsigned char tag;
  };
  std::vector<Block> live;
  auto check = [](const Block& b) {
    for (std::size_t i = 0; i < b.size; ++i)
      if (b.p[i] != b.tag) return false;
    return true;
  };
  for (int step = 0; step < 20000; ++step) {
    if (live.empty() || rng() % 3 != 0) {
      std::size_t size = 1 + rng() % (rng() % 8 == 0 ? 300 : 64);
      Block b{static_cast<unsigned char*>(pool->allocate(size)), size,
              static_cast<unsigned char>(rng())};
      ASSERT_NE(b.p, nullptr);
      std::memset(b.p, b.tag, size);
      live.push_back(b);
    } else {
      std::size_t i = rng() % live.size();
      ASSERT_TRUE(check(live[i])) << "step " << step;
      pool->release(live[i].p, live[i].size);
      live[i] = live.back();
      live.pop_back();
    }
  }
  for (const Block& b : live) {
    ASSERT_TRUE(check(b));
    pool->release(b.p, b.size);
  }
  EXPECT_EQ(pool->getLargeBlockCount(), large);
}

// ---------------------------------------------------------------------------
// Node lists.

std::vector<intptr_t> contents(const QroXmlNodeList& list) {
  std::vector<intptr_t> out;
  for (QroXmlListNode* n = list.getHead(); n; n = n->_next)
    out.push_back(reinterpret_cast<intptr_t>(n->_element));
  return out;
}

void* word(intptr_t v) {
  return reinterpret_cast<void*>(v);
}

TEST(XmlNodeList, InsertPositions) {
  QroXmlNodeList list;
  list.insert(word(1), 0);  // into an empty list
  list.append(word(3));
  list.insert(word(2), 1);   // before the second node
  list.insert(word(0), 0);   // first
  list.insert(word(4), 99);  // beyond the end: last
  list.insert(word(5), -1);  // negative: last
  EXPECT_EQ(contents(list), (std::vector<intptr_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(list.getCount(), 6);
  EXPECT_EQ(list.getTail()->_element, word(5));
  EXPECT_EQ(list.find(word(3)), 3);
  EXPECT_EQ(list.find(word(9)), -1);
}

TEST(XmlNodeList, RemoveKeepsEndsCountAndCursors) {
  QroXmlNodeList list;
  for (intptr_t v = 1; v <= 5; ++v) list.append(word(v));
  list.append(word(3));
  QroXml_LIterator cursor(&list);
  list.registerCursor(&cursor);
  cursor.setCurrent(list.getHead()->_next->_next);  // on the first 3
  EXPECT_TRUE(list.remove(word(3)));
  EXPECT_EQ(cursor.getCurrent()->_element, word(4));
  EXPECT_EQ(contents(list), (std::vector<intptr_t>{1, 2, 4, 5, 3}));
  EXPECT_TRUE(list.remove(word(3)));  // the tail
  EXPECT_EQ(list.getTail()->_element, word(5));
  EXPECT_TRUE(list.remove(word(1)));  // the head
  EXPECT_EQ(list.getHead()->_element, word(2));
  EXPECT_FALSE(list.remove(word(7)));
  EXPECT_EQ(list.getCount(), 3);
  list.append(word(6));
  EXPECT_EQ(contents(list), (std::vector<intptr_t>{2, 4, 5, 6}));
  list.clear();
  EXPECT_EQ(cursor.getCurrent(), nullptr);
  EXPECT_EQ(list.getHead(), nullptr);
  EXPECT_EQ(list.getTail(), nullptr);
  EXPECT_EQ(list.getCount(), 0);
  list.append(word(8));
  EXPECT_EQ(contents(list), (std::vector<intptr_t>{8}));
}

TEST(XmlNodeList, CursorsOutliveOrPrecedeTheirList) {
  QroXml_LIterator early;
  {
    QroXmlNodeList list;
    list.append(word(1));
    list.registerCursor(&early);
    {
      QroXml_LIterator late(&list);
      list.registerCursor(&late);
      EXPECT_EQ(late.getCurrent()->_element, word(1));
    }  // leaves the list's chain
    list.remove(word(1));
    EXPECT_EQ(early.getCurrent(), nullptr);
  }  // the list lets its cursors go
  QroXmlNodeList other;
  other.registerCursor(&early);
  other.append(word(2));
  other.clear();
}

// Random edits against a plain vector.
TEST(XmlNodeList, RandomEditsMatchAVector) {
  const uint64_t seed = qrotest::seedOr(7);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  QroXmlNodeList list;
  std::vector<intptr_t> model;
  for (int step = 0; step < 5000; ++step) {
    intptr_t v = static_cast<intptr_t>(rng() % 20);
    switch (rng() % 6) {
      case 4: {
        void* first = list.removeFirst();
        EXPECT_EQ(first, model.empty() ? nullptr : word(model.front()));
        if (!model.empty()) model.erase(model.begin());
        break;
      }
      case 5: {  // a short list moved to the front
        QroXmlNodeList side;
        std::vector<intptr_t> values(rng() % 4, v);
        for (intptr_t w : values) side.append(word(w));
        list.prependAll(side);
        model.insert(model.begin(), values.begin(), values.end());
        EXPECT_EQ(side.getHead(), nullptr);
        EXPECT_EQ(side.getCount(), 0);
        break;
      }
      case 0:
        list.append(word(v));
        model.push_back(v);
        break;
      case 1: {
        int32_t pos = static_cast<int32_t>(rng() % (model.size() + 3)) - 1;
        list.insert(word(v), pos);
        if (pos < 0 || static_cast<std::size_t>(pos) >= model.size())
          model.push_back(v);
        else
          model.insert(model.begin() + pos, v);
        break;
      }
      default: {
        auto it = std::find(model.begin(), model.end(), v);
        EXPECT_EQ(list.remove(word(v)), it != model.end());
        if (it != model.end()) model.erase(it);
      }
    }
    ASSERT_EQ(contents(list), model) << "step " << step;
    ASSERT_EQ(list.getCount(), static_cast<int32_t>(model.size()));
    if (!model.empty()) {
      ASSERT_EQ(list.getTail()->_element, word(model.back()));
    }
    if (rng() % 500 == 0) {
      list.clear();
      model.clear();
    }
  }
}

}  // namespace
