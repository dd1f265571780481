// The charN layout helpers against a byte-by-byte model: the length stops at the first NUL from the top
// (hostile cells with NULs inside included), text round trips, and width changes keep the zero tail.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "functions/text/CharN.h"

namespace {

using namespace vela::cuda;

template <class C>
int modelLength(const C& c) {
  const auto* b = reinterpret_cast<const unsigned char*>(&c);
  int n = 0;
  while (n < static_cast<int>(sizeof(C)) && b[sizeof(C) - 1 - n] != 0)
    ++n;
  return n;
}

template <class C>
void checkRandomCells(std::mt19937_64& rng) {
  for (int k = 0; k < 2000; ++k) {
    C c;
    auto* b = reinterpret_cast<unsigned char*>(&c);
    for (std::size_t i = 0; i < sizeof(C); ++i) // mostly letters, some NULs anywhere
      b[i] = rng() % 5 == 0 ? 0 : static_cast<unsigned char>(1 + rng() % 255);
    ASSERT_EQ(charn::length(c), modelLength(c)) << sizeof(C);
    char text[256];
    const int len = charn::toText(c, text);
    const C back = charn::fromText<C>(text, static_cast<std::size_t>(len));
    EXPECT_EQ(charn::length(back), len);
    for (int i = 0; i < len; ++i)
      EXPECT_EQ(charn::at(back, i), charn::at(c, i));
    for (std::size_t i = 0; i + len < sizeof(C); ++i) // the tail below the text is zero
      EXPECT_EQ(reinterpret_cast<const unsigned char*>(&back)[i], 0);
  }
}

TEST(CharNLayout, LengthAndRoundTripMatchTheByteModelAtEveryWidth) {
  std::mt19937_64 rng(7);
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (checkRandomCells<charn::Cell<std::size_t{1} << K>>(rng), ...);
  }
  (std::index_sequence<0, 1, 2, 3, 4, 6, 8>{});
}

TEST(CharNLayout, AbcInAChar16SitsInTheTopBytes) {
  const auto c = charn::fromText<charn::Cell<16>>("abc", 3);
  EXPECT_EQ(c.bytes[15], 'a');
  EXPECT_EQ(c.bytes[14], 'b');
  EXPECT_EQ(c.bytes[13], 'c');
  for (int i = 0; i < 13; ++i)
    EXPECT_EQ(c.bytes[i], 0);
  EXPECT_EQ(charn::length(c), 3);
  EXPECT_EQ(charn::fromText<charn::Cell<4>>("abcd", 4), 0x61626364u); // first character most significant
  EXPECT_EQ(charn::length(charn::Cell<8>{0x6162636465666768ULL}), 8);
}

TEST(CharNLayout, ResizeCutsOrWidensKeepingTheTextOnTop) {
  const auto s = charn::fromText<charn::Cell<8>>("abcdef", 6);
  EXPECT_EQ(charn::resize<charn::Cell<4>>(s), 0x61626364u);
  EXPECT_EQ(charn::resize<charn::Cell<2>>(charn::fromText<charn::Cell<8>>("a", 1)), 0x6100u);
  const auto wide = charn::resize<charn::Cell<32>>(s);
  EXPECT_EQ(charn::length(wide), 6);
  EXPECT_EQ(charn::at(wide, 5), 'f');
  EXPECT_EQ(charn::resize<charn::Cell<8>>(wide), s);
  // A hostile source with bytes below its first NUL: only the text crosses, either way.
  const charn::Cell<4> hostile = 0x61006263u; // 'a', NUL, 'b', 'c'
  EXPECT_EQ(charn::resize<charn::Cell<8>>(hostile), 0x6100000000000000ULL);
  EXPECT_EQ(charn::resize<charn::Cell<2>>(hostile), 0x6100u);
}

} // namespace
