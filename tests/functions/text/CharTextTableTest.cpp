// The fixed-width text ops on hand-computed rows, through both evaluators and every constant/column form
// of the operands: documented edge cases, width boundaries and hostile cells (a NUL inside the text, all
// bytes 0xFF), on the word path (char1..char8) and the vector and byte-array paths (char16 and wider).
// Cells are written here byte by byte (character i at byte N - 1 - i, zeros below the text), so the
// expected cells also pin the layout.
#include <bit>
#include <climits>
#include <ostream>
#include <string_view>

#include "functions/text/CharN.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

/// `text` (at most N bytes) in reading order; a NUL inside it makes a hostile cell.
template <std::size_t N>
Text<N> t(std::string_view text) {
  Text<N> c{vela::cuda::charn::empty<vela::cuda::charn::Cell<N>>()};
  for (std::size_t i = 0; i < text.size(); ++i)
    reinterpret_cast<unsigned char*>(&c.cell)[N - 1 - i] = static_cast<unsigned char>(text[i]);
  return c;
}
using B = Bool;
using C1 = Text<1>;
using C4 = Text<4>;
using C8 = Text<8>;
using C16 = Text<16>;
using C32 = Text<32>;
using C256 = Text<256>;
using namespace std::string_literals;
const std::string q16(16, 'q'), r32(32, 'r');
const C8 kFf8 = {~0UL};

// clang-format off
TEST(CharTextTable, LengthAsciiAndChr) {
  expectTable<int>(1611, std::vector<Row<int, C8>>{{{t<8>("abcdefgh")}, 8}, {{t<8>("abcdefg")}, 7}, {{kFf8}, 8},
                                                   {{t<8>("ab\0cd"s)}, 2}, {{t<8>("")}, 0}});
  expectTable<int>(1612, std::vector<Row<int, C16>>{{{t<16>("abc")}, 3}, {{t<16>(q16)}, 16}, {{t<16>("abcdefghi\0k"s)}, 9}});
  expectTable<int>(1744, std::vector<Row<int, C16>>{{{t<16>("Abc")}, 65}, {{t<16>("")}, 0}, {{t<16>(std::string(16, '\xff'))}, 255}});
  expectTable<C1>(1770, std::vector<Row<C1, int>>{{{65}, t<1>("A")}, {{200}, t<1>("?")}, {{0}, t<1>("")}, {{-1}, t<1>("?")},
                                                  {{127}, t<1>("\x7F")}, {{128}, t<1>("?")}, {{INT_MIN}, t<1>("?")}});
}

TEST(CharTextTable, CaseMappingTouchesAsciiLettersOnly) {
  // Bytes next to the letter ranges ('@', '[', '`', '{') and bytes of 128 and up stay.
  expectTable<C8>(1622, std::vector<Row<C8, C8>>{{{t<8>("AbZ@[`{\xC1")}, t<8>("abz@[`{\xC1")}, {{t<8>("AB\0CD"s)}, t<8>("ab")}, {{kFf8}, kFf8}});
  expectTable<C16>(1633, std::vector<Row<C16, C16>>{{{t<16>("abcdefghijklmnop")}, t<16>("ABCDEFGHIJKLMNOP")},
                                                    {{t<16>("abcdefg\0ijklmnop"s)}, t<16>("ABCDEFG")}, {{t<16>("\xE1\xFA z`{")}, t<16>("\xE1\xFA Z`{")}});
  expectTable<C16>(2166, std::vector<Row<C16, C16>>{{{t<16>("hELLO wORLD")}, t<16>("Hello World")}, {{t<16>("a-b")}, t<16>("A-b")},
                                                    {{t<16>("x\ty\nz\vq")}, t<16>("X\tY\nZ\vQ")}, {{t<16>("1abc  dEF")}, t<16>("1abc  Def")}});
}

TEST(CharTextTable, TrimsDropWhiteSpaceAndZeroTheFreedPositions) {
  expectTable<C8>(1642, std::vector<Row<C8, C8>>{{{t<8>("        ")}, t<8>("")}, {{t<8>("  ab")}, t<8>("ab")},
                                                 {{t<8>("\t\n\v\f\rab ")}, t<8>("ab ")}, {{t<8>("\x08" "ab")}, t<8>("\x08" "ab")}});
  expectTable<C8>(1652, std::vector<Row<C8, C8>>{{{t<8>("ab  \t")}, t<8>("ab")}, {{t<8>(" a b ")}, t<8>(" a b")}, {{t<8>("        ")}, t<8>("")}});
  expectTable<C32>(1664, std::vector<Row<C32, C32>>{{{t<32>(" \tab c\r ")}, t<32>("ab c")}, {{t<32>("\n\n")}, t<32>("")},
                                                    {{t<32>("ab \0cd"s)}, t<32>("ab")}, {{t<32>(r32)}, t<32>(r32)}});
}

TEST(CharTextTable, LeftRightAndSubstrClampTheirCounts) {
  expectTable<C8>(1672, std::vector<Row<C8, C8, int>>{{{t<8>("abcdef"), -1}, t<8>("")}, {{t<8>("abcdef"), 2}, t<8>("ab")},
                                                      {{t<8>("abcdefgh"), 8}, t<8>("abcdefgh")}, {{t<8>("ab\0cdef"s), 5}, t<8>("ab")}});
  expectTable<C16>(1673, std::vector<Row<C16, C16, int>>{{{t<16>("hello"), 100}, t<16>("hello")}, {{t<16>(q16), 15}, t<16>(q16.substr(1))}});
  expectTable<C8>(1692, std::vector<Row<C8, C8, int>>{{{t<8>("hello"), 3}, t<8>("llo")}, {{t<8>("hi"), 5}, t<8>("hi")},
                                                      {{t<8>("hi"), -1}, t<8>("")}, {{t<8>("ab\0cdef"s), 1}, t<8>("b")}});
  expectTable<C16>(1734, std::vector<Row<C16, C16, int, int>>{{{t<16>("hello"), 2, 3}, t<16>("ell")}, {{t<16>("hello"), 5, 10}, t<16>("o")},
                                                              {{t<16>("hello"), 0, 2}, t<16>("")}, {{t<16>("hello"), 6, 1}, t<16>("")},
                                                              {{t<16>("hello"), 2, INT_MAX}, t<16>("ello")}, {{t<16>(q16), 16, 1}, t<16>("q")}});
}

TEST(CharTextTable, PadsFillAChar256OrCut) {
  using P = Row<C256, C8, int, C256>;
  expectTable<C256>(1682, std::vector<P>{{{t<8>("abc"), 7, t<256>("xy")}, t<256>("xyxyabc")}, {{t<8>("abcdef"), 3, t<256>("xy")}, t<256>("abc")},
                                         {{t<8>("abc"), 7, t<256>("")}, t<256>("")}, {{t<8>("abc"), -5, t<256>("xy")}, t<256>("")},
                                         {{t<8>("ab"), 257, t<256>("-")}, t<256>(std::string(254, '-') + "ab")}});
  expectTable<C256>(1702, std::vector<P>{{{t<8>("abc"), 7, t<256>("xy")}, t<256>("abcxyxy")}, {{t<8>("abc"), 3, t<256>("")}, t<256>("abc")},
                                         {{t<8>("a\0bc"s), 3, t<256>("z")}, t<256>("azz")}});
}

TEST(CharTextTable, EndsWithStrcmpAndLocate) {
  expectTable<B>(1724, std::vector<Row<B, C16, C16>>{{{t<16>(""), t<16>("abc")}, 0}, {{t<16>(""), t<16>("")}, 1}, {{t<16>("abc"), t<16>("")}, 0},
                                                     {{t<16>("bc"), t<16>("abc")}, 1}, {{t<16>("abcd"), t<16>("abc")}, 0}, {{t<16>("b"), t<16>("ab\0b"s)}, 1}});
  expectTable<int>(1794, std::vector<Row<int, C16, C16>>{{{t<16>("abc"), t<16>("abd")}, -1}, {{t<16>("ab"), t<16>("abc")}, -1},
                                                         {{t<16>("b"), t<16>("a")}, 1}, {{t<16>("\xFF"), t<16>("a")}, 1},
                                                         {{t<16>("ab\0x"s), t<16>("ab\0y"s)}, 0}, {{t<16>("abcdefgh\0x"s), t<16>("abcdefgh")}, 0}});
  expectTable<int>(1981, std::vector<Row<int, C8, C8, int>>{{{t<8>("b"), t<8>("abcb"), 3}, 4}, {{t<8>(""), t<8>("abc"), 0}, 1},
                                                            {{t<8>("b"), t<8>("abc"), 0}, 0}, {{t<8>("abcd"), t<8>("abc"), 1}, 0},
                                                            {{t<8>("c"), t<8>("abc"), INT_MAX}, 0}, {{t<8>("gh"), t<8>("abcdefgh"), 1}, 7}});
}

TEST(CharTextTable, ConcatCutsAndConcatWidePutsBFirst) {
  expectTable<C4>(1773, std::vector<Row<C4, C4, C4>>{{{t<4>("abc"), t<4>("de")}, t<4>("abcd")}, {{t<4>("abcd"), t<4>("x")}, t<4>("abcd")},
                                                     {{t<4>(""), t<4>("wxyz")}, t<4>("wxyz")}, {{t<4>("a\0b"s), t<4>("c\0d"s)}, t<4>("ac")}});
  expectTable<C8>(1782, std::vector<Row<C8, C4, C4>>{{{t<4>("ab"), t<4>("cd")}, t<8>("cdab")}, {{t<4>("abcd"), t<4>("efgh")}, t<8>("efghabcd")},
                                                     {{t<4>("ab"), t<4>("")}, t<8>("ab")}});
  expectTable<C16>(1783, std::vector<Row<C16, C8, C8>>{{{t<8>("abcdefgh"), t<8>("ijklmnop")}, t<16>("ijklmnopabcdefgh")}});
}

TEST(CharTextTable, ReverseAndMask) {
  expectTable<C16>(2156, std::vector<Row<C16, C16>>{{{t<16>("abc")}, t<16>("cba")}, {{t<16>("0123456789abcdef")}, t<16>("fedcba9876543210")},
                                                    {{t<16>("ab\0c"s)}, t<16>("ba")}});
  using M = Row<C8, C8, int, int, C1>;
  expectTable<C8>(2190, std::vector<M>{{{t<8>("abcdef"), 2, 3, t<1>("*")}, t<8>("a***ef")}, {{t<8>("abc"), 2, 10, t<1>("*")}, t<8>("a**")},
                                       {{t<8>("abc"), 0, 2, t<1>("*")}, t<8>("abc")}, {{t<8>("abc"), 4, 1, t<1>("*")}, t<8>("abc")},
                                       {{t<8>("abcdefgh"), 8, 1, t<1>("#")}, t<8>("abcdefg#")}, {{t<8>("abcdef"), 3, 1, t<1>("")}, t<8>("ab")}});
}
// clang-format on

} // namespace
