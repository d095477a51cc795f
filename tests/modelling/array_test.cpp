#include <gtest/gtest.h>

#include <random>

#include "qroarray.h"
#include "qrohash.h"
#include "qrovar.h"
#include "support/seed.h"

namespace {

class ArrayTest : public ::testing::Test {
 protected:
  void TearDown() override { env.end(); }
  QroEnv env;
};

TEST_F(ArrayTest, LayoutOfNewArrays) {
  QroIntArray five(env, 5);
  EXPECT_EQ(five.getImpl()->getLog2ChunkSize(), 2);
  EXPECT_EQ(five.getImpl()->getChunkSize(), 4);
  EXPECT_EQ(five.getImpl()->getCapacity(), 16);
  EXPECT_EQ(five.getImpl()->getChunkCount(), 2);
  for (QroInt i = 0; i < 5; ++i) EXPECT_EQ(five[i], 0);
  for (QroInt n : {0, 1}) {
    QroIntArray a(env, n);
    EXPECT_EQ(a.getImpl()->getLog2ChunkSize(), 0);
    EXPECT_EQ(a.getImpl()->getCapacity(), 1);
    EXPECT_EQ(a.getImpl()->getChunkCount(), 1);
    EXPECT_EQ(a.getSize(), n);
    a.end();
  }
  five.end();
  EXPECT_EQ(five.getImpl(), nullptr);
}

TEST_F(ArrayTest, ReserveRegroupsChunks) {
  QroIntArray a(env, 16);
  EXPECT_EQ(a.getImpl()->getCapacity(), 16);
  for (QroInt i = 0; i < 16; ++i) a[i] = 100 + i;
  a.getImpl()->reserve(17);
  EXPECT_EQ(a.getImpl()->getLog2ChunkSize(), 3);
  EXPECT_EQ(a.getImpl()->getCapacity(), 64);
  EXPECT_EQ(a.getImpl()->getChunkSize(), 8);
  EXPECT_EQ(a.getImpl()->getChunkCount(), 3);
  EXPECT_EQ(a.getSize(), 16);
  for (QroInt i = 0; i < 16; ++i) EXPECT_EQ(a[i], 100 + i);
  // Within the capacity only missing chunks are added.
  a.getImpl()->reserve(40);
  EXPECT_EQ(a.getImpl()->getChunkCount(), 5);
  a.end();
}

TEST_F(ArrayTest, AppendAndRemoveMatchAVector) {
  std::mt19937_64 rng(qrotest::seedOr(11));
  SCOPED_TRACE(::testing::Message() << "seed " << qrotest::seedOr(11));
  QroNumArray a(env, 0);
  std::vector<double> model;
  for (int step = 0; step < 3000; ++step) {
    if (rng() % 4 != 0 || model.empty()) {
      double v = static_cast<double>(rng() % 1000) / 7.0;
      a.add(v);
      model.push_back(v);
    } else {
      QroInt first = static_cast<QroInt>(rng() % model.size());
      QroInt count = static_cast<QroInt>(rng() % (model.size() - first + 1));
      a.remove(first, count);
      model.erase(model.begin() + first, model.begin() + first + count);
    }
    ASSERT_EQ(a.getSize(), static_cast<QroInt>(model.size()));
  }
  for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(a[static_cast<QroInt>(i)], model[i]);

  QroNumArray b(env, 3);
  b[0] = 1.5;
  b[2] = -2;
  a.add(b);
  ASSERT_EQ(a.getSize(), static_cast<QroInt>(model.size()) + 3);
  EXPECT_EQ(a[a.getSize() - 1], -2);
  EXPECT_EQ(a[a.getSize() - 3], 1.5);

  QroArrayI copy(env.getImpl()->getGeneralAllocator(), *a.getImpl());
  ASSERT_EQ(copy.getSize(), a.getSize());
  for (QroInt i = 0; i < a.getSize(); ++i)
    ASSERT_EQ(*static_cast<double*>(copy.elementAt(i)), a[i]);
  a.end();
  b.end();
}

TEST_F(ArrayTest, RemoveErrors) {
  QroIntArray a(env, 4);
  a.remove(4, 0);
  EXPECT_EQ(a.getSize(), 4);
  try {
    a.remove(4, 1);
    FAIL();
  } catch (const QroArrayError& e) {
    EXPECT_STREQ(e.getMessage(), "Trying to remove too many elements");
  }
  try {
    a.remove(-1, 1);
    FAIL();
  } catch (const QroArrayError& e) {
    EXPECT_STREQ(e.getMessage(), "invalid index for first element to remove");
  }
  EXPECT_THROW(a.remove(1, -2), QroArrayError);
  EXPECT_THROW(a.remove(2, INT64_MAX), QroArrayError);
  EXPECT_EQ(a.getSize(), 4);
  EXPECT_THROW(QroIntArray(env, -3), QroArrayError);
  a.end();
}

TEST_F(ArrayTest, ArrayFromMemoryManagerHandle) {
  QroMemoryManager mm;
  env.getMemoryManager(mm);
  QroIntArray a(mm, 2);
  a[1] = 5;
  EXPECT_EQ(a.getImpl()->getAllocator(), env.getImpl()->getGeneralAllocator());
  a.end();
}

// ---------------------------------------------------------------------------
// Hash tables

QroInt badHash(void*, QroInt n) {
  return n;
}
bool sameAddress(void* a, void* b) {
  return a == b;
}

TEST_F(ArrayTest, HashFunctionsGiveFixedIndexes) {
  EXPECT_EQ(QroHashStringValue("abc"), 26499u);
  EXPECT_EQ(QroHashString("abc", 31), 25);
  EXPECT_EQ(QroHashString("", 31), 0);
  EXPECT_EQ(QroHashStringValue("hello world, a long text to overflow"), 17686215u);
  EXPECT_EQ(QroHashString("\xe9t\xe9", 31), 10);  // bytes read as signed
  EXPECT_EQ(QroHashDouble(1.0, 31), 0);
  EXPECT_EQ(QroHashDouble(-3.0, 31), 1);
  EXPECT_EQ(QroHashDouble(1e300, 31), QroHashDouble(9007199254740991.0 / 0.618033 * 2, 31));
  // Values computed independently of the library.
  EXPECT_EQ(QroHashMix64(0, 31), 0);
  EXPECT_EQ(QroHashMix64(1, 31), 4);
  EXPECT_EQ(QroHashMix64(12345, 31), 17);
  EXPECT_EQ(QroHashMix64(-1, 31), 27);
  EXPECT_EQ(QroHashMix64(INT64_MAX, 31), 7);
  EXPECT_EQ(QroHashMix64(INT64_MIN, 31), 6);
  EXPECT_EQ(QroHashMix64(1, 1000003), 647147);
  EXPECT_EQ(QroHashMix64(INT64_MIN, 1000003), 204927);
}

TEST_F(ArrayTest, TableRehashesPastTwiceItsBuckets) {
  QroGenAlloc* a = env.getImpl()->getGeneralAllocator();
  QroAny2BoolHashTable t(a);
  static char keys[200];
  for (int i = 0; i < 62; ++i) t.add(&keys[i], i);
  EXPECT_EQ(t.getBucketCount(), 31);
  t.add(&keys[62], 62);
  EXPECT_EQ(t.getBucketCount(), 62);
  for (int i = 63; i < 200; ++i) t.add(&keys[i], i);
  EXPECT_EQ(t.getCount(), 200);
  for (int i = 0; i < 200; ++i) {
    QroInt v = -1;
    ASSERT_EQ(t.find(&keys[i], v), 0);
    EXPECT_EQ(v, i);
  }
  QroInt v = 0;
  EXPECT_EQ(t.find(nullptr, v), 1);
  EXPECT_TRUE(t.remove(&keys[5]));
  EXPECT_FALSE(t.contains(&keys[5]));
  t.clear();
  EXPECT_EQ(t.getCount(), 0);
  EXPECT_FALSE(t.contains(&keys[1]));

  QroEnvHashTable<void*, QroInt> bad(a, 31, &badHash, &sameAddress);
  try {
    bad.add(&keys[0], 1);
    FAIL();
  } catch (const QroWrongUsage& e) {
    EXPECT_STREQ(e.getMessage(), "Hash function returned bad index");
  }
  EXPECT_THROW(bad.contains(&keys[0]), QroWrongUsage);
}

TEST_F(ArrayTest, SymbolsAreInternedOnce) {
  QroEnvI* e = env.getImpl();
  char text[] = "spring";
  const char* s1 = e->internString(text);
  text[0] = 'S';
  const char* s2 = e->internString("spring");
  EXPECT_EQ(s1, s2);
  EXPECT_STREQ(s1, "spring");
  EXPECT_NE(e->internString("Spring"), s1);
  QroSymbolI* sym = e->getSymbol("spring");
  EXPECT_TRUE(sym->isSymbol());
  EXPECT_EQ(sym->getText(), s1);
  EXPECT_EQ(sym->makeWuxClone(e), sym);
  EXPECT_EQ(e->internString(nullptr), nullptr);

  QroEnv other;
  QroSymbolI* empty = e->getSymbol("");
  auto* clone = static_cast<QroSymbolI*>(empty->makeWuxClone(other.getImpl()));
  EXPECT_EQ(clone->getEnv(), other.getImpl());
  EXPECT_STREQ(clone->getText(), "");
  EXPECT_EQ(clone, other.getImpl()->getSymbol(""));
  other.end();
}

}  // namespace

namespace {

TEST(ArrayDeath, IndexingChecksTheHandleAndTheBounds) {
  EXPECT_DEATH(
      {
        QroIntArray none;
        none[0] = 1;
      },
      "Empty Handle in QroArray::operator\\[\\]");
  EXPECT_DEATH(
      {
        QroEnv env;
        QroNumVarArray a(env, 2);
        a[2] = QroNumVar();
      },
      "Out of bounds operation");
}

}  // namespace
