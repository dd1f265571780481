// MurmurHash3 x64 128: the algorithm's published verification value (which covers every key length from
// 0 to 255 and so every tail length), the empty key, and the two-seed and 64-bit forms.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "base/MurmurHash3.h"

// The verification procedure published with the algorithm: hash keys {}, {0}, {0,1}, ..., {0..254}
// with seed 256 - length, hash the 256 concatenated 16-byte results with seed 0, and read the first
// four bytes as a little-endian word.
TEST(MurmurHash3, PublishedVerificationValue) {
  std::uint8_t key[256], hashes[256 * 16], final[16];
  for (int i = 0; i < 256; ++i) {
    key[i] = static_cast<std::uint8_t>(i);
    vela::MurmurHash3_x64_128(key, i, static_cast<std::uint32_t>(256 - i), &hashes[i * 16]);
  }
  vela::MurmurHash3_x64_128(hashes, 256 * 16, 0, final);
  const std::uint32_t verification = std::uint32_t(final[0]) | std::uint32_t(final[1]) << 8 |
                                     std::uint32_t(final[2]) << 16 | std::uint32_t(final[3]) << 24;
  EXPECT_EQ(verification, 0x6384BA69u);
}

TEST(MurmurHash3, EmptyKeyFollowsFromTheFinalisation) {
  std::uint64_t out[2] = {1, 1};
  vela::MurmurHash3_x64_128(nullptr, 0, 0, out);
  EXPECT_EQ(out[0], 0u); // zero states and length: fmix64(0) = 0
  EXPECT_EQ(out[1], 0u);
  // Seeds s1, s2: the length fold gives h1 = s1 + s2, h2 = s1 + 2 s2, then fmix64 and the final sums.
  const vela::Hash128 h = vela::murmur3_x64_128(nullptr, 0, 5, 7);
  const std::uint64_t f1 = vela::murmur3_detail::fmix64(12), f2 = vela::murmur3_detail::fmix64(19);
  EXPECT_EQ(h.h1, f1 + f2);
  EXPECT_EQ(h.h2, f1 + f2 + f2);
}

TEST(MurmurHash3, SeededAndSixtyFourBitForms) {
  const char text[] = "exact decimals, hashed one row at a time";
  for (std::size_t len = 0; len < sizeof text; ++len) {
    std::uint64_t published[2], seeded[2];
    vela::MurmurHash3_x64_128(text, static_cast<int>(len), 0xDEADBEEFu, published);
    vela::MurmurHash3_x64_128_seeded(text, len, 0xDEADBEEFu, 0xDEADBEEFu, seeded);
    EXPECT_EQ(std::memcmp(published, seeded, 16), 0) << len;
    EXPECT_EQ(vela::murmur3_hash64(text, len, 0xDEADBEEFu), published[0]) << len;
    // The second state's seed reaches both halves.
    vela::MurmurHash3_x64_128_seeded(text, len, 0xDEADBEEFu, 1, seeded);
    EXPECT_NE(seeded[0], published[0]) << len;
    EXPECT_NE(seeded[1], published[1]) << len;
  }
}
