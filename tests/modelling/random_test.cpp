#include <gtest/gtest.h>

#include "qroenv.h"
#include "qrorandom.h"

namespace {

class Generator : public QroRandomBaseI {
 public:
  explicit Generator(QroRandomStateI* s) : QroRandomBaseI(s) {}
  double draw() override { return getFloat(); }
};

const double kTwo53 = 9007199254740992.0;

class RandomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a = env.getImpl()->getGeneralAllocator();
    s1.allocate(a);
    s2.allocate(a);
  }
  void TearDown() override {
    s1.free(a);
    s2.free(a);
    env.end();
  }
  QroEnv env;
  QroGenAlloc* a = nullptr;
  QroRandomStateI s1, s2;
};

TEST_F(RandomTest, DrawsMatchIndependentlyComputedWords) {
  Generator g(&s1);
  // Golden words computed outside the library from the seeding rule.
  EXPECT_EQ(g.reSeed(1) * kTwo53, static_cast<double>(0x1381580161e6f1ULL));
  EXPECT_EQ(g.getFloat() * kTwo53, static_cast<double>(0x70324b85ec7dfULL));
  EXPECT_EQ(g.getFloat() * kTwo53, static_cast<double>(0x7e50c23de3d0bULL));

  EXPECT_EQ(g.reSeed(42) * kTwo53, static_cast<double>(0x13dc9c1a389d61ULL));
  EXPECT_EQ(g.getFloat() * kTwo53, static_cast<double>(0xe433d6b76115eULL));
  for (int i = 3; i < 600; ++i) g.getFloat();
  EXPECT_EQ(g.getFloat() * kTwo53, static_cast<double>(0x192b33a0f24823ULL));
  for (int i = 601; i < 1000; ++i) g.getFloat();
  EXPECT_EQ(g.getFloat() * kTwo53, static_cast<double>(0x460732ad04254ULL));

  EXPECT_EQ(g.reSeed(INT64_MIN) * kTwo53, static_cast<double>(0x1445e406b87743ULL));
  EXPECT_EQ(g.getFloat() * kTwo53, static_cast<double>(0x1e0dfd3b2a8b72ULL));

  s1.fill(7);
  EXPECT_EQ(s1.getWord(0), 0x2013c3d9309f3ULL);
  EXPECT_EQ(s1.getWord(1), 0x80413c7f471d7ULL);
  EXPECT_EQ(s1.getWord(531), 0x1792ccc6484044ULL);
}

TEST_F(RandomTest, SeedEquivalences) {
  const QroInt pairs[][2] = {{0, 1}, {-5, 5}, {7, 8197}, {INT64_MIN + 1, INT64_MAX}};
  for (const auto& p : pairs) {
    s1.fill(p[0]);
    s2.fill(p[1]);
    for (QroInt i = 0; i < QroRandomStateI::Words; ++i)
      ASSERT_EQ(s1.getWord(i), s2.getWord(i)) << p[0] << " " << p[1];
  }
  s1.fill(2);
  s2.fill(3);
  EXPECT_NE(s1.getWord(0), s2.getWord(0));
}

TEST_F(RandomTest, IndexWrapsAndValuesStayInRange) {
  Generator g(&s1);
  g.reSeed(123);
  EXPECT_EQ(s1.getIndex(), 1);
  for (int i = 0; i < 531; ++i) g.getFloat();
  EXPECT_EQ(s1.getIndex(), 0);
  for (int i = 0; i < 5000; ++i) {
    double v = g.getFloat();
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 1.0);
    double w = v * kTwo53;
    ASSERT_EQ(w, static_cast<double>(static_cast<QroUInt>(w)));
  }
}

TEST_F(RandomTest, CopiedStateDrawsTheSameSequence) {
  Generator g1(&s1), g2(&s2);
  g1.reSeed(99);
  for (int i = 0; i < 10; ++i) g1.getFloat();
  s2.copy(s1);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(g1.getFloat(), g2.getFloat());
}

}  // namespace
