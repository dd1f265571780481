// SHA-256 against the FIPS 180-2 example vectors and against digests printed by the coreutils tool
// `sha256sum` (command given beside each), chosen at the padding boundaries: 55 bytes (the length still
// fits the first block), 56 (it spills into a second block) and 64 (padding alone in the second block).
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/Sha256.h"
#include "tests/base/Sha256Vectors.h"

TEST(Sha256, PublishedAndReferenceVectors) {
  for (const quarry::test::Sha256Vector& v : quarry::test::kSha256Vectors)
    EXPECT_EQ(vela::sha256Hex(v.text), v.hex) << v.text.size() << " bytes";
  // FIPS 180-2 B.3: one million 'a' (15,625 blocks).
  EXPECT_EQ(vela::sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  // The raw digest is the hexadecimal text's bytes, first byte first.
  const vela::Sha256Digest d = vela::sha256("abc");
  EXPECT_EQ(d.front(), 0xba);
  EXPECT_EQ(d[1], 0x78);
  EXPECT_EQ(d.back(), 0xad);
  char hex[vela::kSha256HexChars];
  vela::sha256Hex(nullptr, 0, hex); // no data at all
  EXPECT_EQ(std::string(hex, sizeof hex), quarry::test::kSha256Vectors[1].hex);
}

// Each thread reuses its own digest context: interleaved digests on several threads must not disturb
// one another.
TEST(Sha256, ThreadsDoNotShareDigestState) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &wrong] {
      for (int round = 0; round < 500; ++round)
        for (const quarry::test::Sha256Vector& v : quarry::test::kSha256Vectors)
          wrong[std::size_t(t)] += vela::sha256Hex(v.text) != v.hex;
    });
  for (std::thread& th : threads)
    th.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}
