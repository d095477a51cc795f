// The compression of stored search paths. It includes qrccompress.h, private to
// the engine: the encoding is only reachable through spill files otherwise.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/core/qrccompress.h"
#include "support/seed.h"

namespace {

using Units = std::vector<uint32_t>;

// Compresses and decompresses; the output keeps the padding of the last group.
void roundTrip(const Units& in, const char* what) {
  std::vector<unsigned char> packed(in.size() * 5 + 64);
  size_t n = qrccompress::compress(in.data(), in.size(), packed.data(), packed.size());
  ASSERT_GT(n, 0u) << what;
  EXPECT_EQ(packed[n - 1], 0) << what << ": the stream ends with an empty group";
  Units out(in.size() + 8);
  size_t units = 0;
  ASSERT_TRUE(qrccompress::decompress(packed.data(), n, out.data(), out.size(), &units)) << what;
  ASSERT_GE(units, in.size()) << what;
  EXPECT_LT(units, in.size() + 8) << what;
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], in[i]) << what << " at " << i;
  for (size_t i = in.size(); i < units; ++i) ASSERT_EQ(out[i], 0u) << what << ": padding";
}

TEST(Compress, KnownEncoding) {
  Units in = {5, 5, 5, 0, 0, 0};
  unsigned char packed[64];
  size_t n = qrccompress::compress(in.data(), in.size(), packed, sizeof packed);
  // Flag 0b110: a literal, a copy of distance 1 and length 2, a zero run of 3,
  // five zero literals completing the group, then the empty group.
  std::vector<unsigned char> expected = {6, 5, 0, 0, 0, 0x10, 0x00, 0x2F, 0xFF};
  expected.insert(expected.end(), 20, 0);
  expected.push_back(0);
  ASSERT_EQ(n, expected.size());
  EXPECT_EQ(std::vector<unsigned char>(packed, packed + n), expected);
}

TEST(Compress, LongRunsUseTheThirdByte) {
  Units in(300, 7);
  unsigned char packed[64];
  size_t n = qrccompress::compress(in.data(), in.size(), packed, sizeof packed);
  ASSERT_GT(n, 0u);
  // literal, then copies of distance 1 capped at 270 units: 270 - 15 = 255.
  EXPECT_EQ(packed[0] & 1, 0);
  EXPECT_EQ(packed[5], 0xF0);
  EXPECT_EQ(packed[6], 0x00);
  EXPECT_EQ(packed[7], 255);
  roundTrip(in, "run of sevens");
  roundTrip(Units(1000, 0), "zeros");
}

TEST(Compress, RoundTripsRandomAndAdversarialSequences) {
  uint64_t seed = qrotest::seedOr(16);
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  roundTrip(Units(), "empty");
  roundTrip(Units{0}, "one zero");
  roundTrip(Units{0xFFFFFFFFu}, "one unit");
  for (int trial = 0; trial < 40; ++trial) {
    size_t n = 1 + rng() % 20000;
    Units in(n);
    int kind = trial % 5;
    for (size_t i = 0; i < n; ++i) {
      switch (kind) {
        case 0:
          in[i] = static_cast<uint32_t>(rng());
          break;  // incompressible
        case 1:
          in[i] = static_cast<uint32_t>(rng() % 4);
          break;  // tiny alphabet
        case 2:
          in[i] = (rng() % 8 == 0) ? static_cast<uint32_t>(rng()) : 0;
          break;  // sparse
        case 3:
          in[i] = i >= 4095 && rng() % 2 ? in[i - 4095] : static_cast<uint32_t>(rng() % 1000);
          break;
        default:
          in[i] = static_cast<uint32_t>((i % 4096) * 0x10001u);
          break;  // repeats at 4096
      }
    }
    roundTrip(in, "random");
  }
  // Units whose hashes collide: (u >> 16) ^ u equal for all of them.
  Units collide;
  for (uint32_t k = 0; k < 5000; ++k) collide.push_back((k << 16) | (k ^ 0x1234u));
  roundTrip(collide, "hash collisions");
}

TEST(Compress, OutputThatDoesNotFitFails) {
  std::mt19937_64 rng(qrotest::seedOr(3));
  Units in(4096);
  for (auto& u : in) u = static_cast<uint32_t>(rng());
  std::vector<unsigned char> packed(in.size() * 4);
  EXPECT_EQ(qrccompress::compress(in.data(), in.size(), packed.data(), packed.size()), 0u);
}

TEST(Compress, MalformedStreamsAreRefused) {
  Units out(64);
  size_t units = 0;
  // A literal cut short.
  unsigned char truncated[] = {0, 1, 2};
  EXPECT_FALSE(
      qrccompress::decompress(truncated, sizeof truncated, out.data(), out.size(), &units));
  // A copy from before the start.
  unsigned char early[] = {1, 0x00, 0x05};
  EXPECT_FALSE(qrccompress::decompress(early, sizeof early, out.data(), out.size(), &units));
  // A reference without its second or third byte.
  unsigned char half[] = {1, 0x10};
  EXPECT_FALSE(qrccompress::decompress(half, sizeof half, out.data(), out.size(), &units));
  unsigned char noLength[] = {1, 0xFF, 0xFF};
  EXPECT_FALSE(qrccompress::decompress(noLength, sizeof noLength, out.data(), out.size(), &units));
  // A zero run longer than the output.
  unsigned char tooLong[] = {1, 0xFF, 0xFF, 200};
  EXPECT_FALSE(qrccompress::decompress(tooLong, sizeof tooLong, out.data(), out.size(), &units));
  // The same run fits a larger output.
  Units big(300);
  EXPECT_TRUE(qrccompress::decompress(tooLong, sizeof tooLong, big.data(), big.size(), &units));
  EXPECT_EQ(units, 215u);
}

}  // namespace
