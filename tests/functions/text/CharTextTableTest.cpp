// The fixed-width text ops on hand-computed rows, through both evaluators and every constant/column form
// of the operands: documented edge cases, width boundaries (a text of exactly N bytes, the empty text)
// and hostile cells (a NUL inside the text, all bytes 0xFF), on the word path (char1..char8) and the
// byte-array path (char16 and wider).
#include <climits>

#include "tests/functions/text/CharTextTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::chartext_test;

namespace {

using B = Bool;
using C1 = Txt<1>;
using C4 = Txt<4>;
using C8 = Txt<8>;
using C16 = Txt<16>;
using C32 = Txt<32>;
using C256 = Txt<256>;
constexpr auto t1 = txt<1>;
constexpr auto t4 = txt<4>;
constexpr auto t8 = txt<8>;
constexpr auto t16 = txt<16>;
constexpr auto t32 = txt<32>;
constexpr auto t256 = txt<256>;
const std::string k16(16, 'q'), k32(32, 'r');
const C8 kFf8 = {~0UL};
const C16 kFf16 = rawTop<16>(std::string(16, '\xff'));

TEST(CharTextTable, LengthCountsToTheFirstNul) {
  expectTable<int>(1608, std::vector<Row<int, C1>>{{{t1("")}, 0}, {{t1("x")}, 1}});
  expectTable<int>(1611,
                   std::vector<Row<int, C8>>{
                       {{t8("abcdefgh")}, 8}, {{t8("abcdefg")}, 7}, {{kFf8}, 8}, {{rawTop<8>("ab\0cd")}, 2}});
  expectTable<int>(1612, std::vector<Row<int, C16>>{{{t16("abc")}, 3},
                                                    {{t16(k16)}, 16},
                                                    {{t16(k16.substr(1))}, 15},
                                                    {{t16("")}, 0},
                                                    {{rawTop<16>("abcdefghi\0k")}, 9},
                                                    {{kFf16}, 16}});
  expectTable<int>(1616, std::vector<Row<int, C256>>{{{t256(std::string(256, 'z'))}, 256},
                                                     {{t256(std::string(200, 'z'))}, 200}});
}

TEST(CharTextTable, CaseMappingTouchesAsciiLettersOnly) {
  // A whole-cell text, bytes next to the letter ranges ('@', '[', '`', '{') and bytes of 128 and up.
  expectTable<C8>(1622, std::vector<Row<C8, C8>>{{{t8("AbZ@[`{\xC1")}, t8("abz@[`{\xC1")},
                                                 {{rawTop<8>("AB\0CD")}, t8("ab")},
                                                 {{kFf8}, kFf8}});
  expectTable<C8>(1632, std::vector<Row<C8, C8>>{{{t8("azAZ@[`{")}, t8("AZAZ@[`{")}, {{t8("")}, t8("")}});
  expectTable<C16>(1633, std::vector<Row<C16, C16>>{{{t16("abcdefghijklmnop")}, t16("ABCDEFGHIJKLMNOP")},
                                                    {{rawTop<16>("abcdefghij\0klmn")}, t16("ABCDEFGHIJ")},
                                                    {{rawTop<16>("abcdefg\0ijklmnop")}, t16("ABCDEFG")},
                                                    {{t16("\xE1\xFA z")}, t16("\xE1\xFA Z")}});
  expectTable<C1>(1629, std::vector<Row<C1, C1>>{{{t1("q")}, t1("Q")}, {{t1("\xF1")}, t1("\xF1")}});
  expectTable<C32>(
      1624, std::vector<Row<C32, C32>>{{{t32(std::string(32, 'R'))}, t32(k32)}, {{t32("X Y")}, t32("x y")}});
}

TEST(CharTextTable, InitcapStartsWordsAfterWhiteSpaceOnly) {
  expectTable<C16>(2166, std::vector<Row<C16, C16>>{{{t16("hELLO wORLD")}, t16("Hello World")},
                                                    {{t16("a-b")}, t16("A-b")},
                                                    {{t16("x\ty\nz\x0b"
                                                          "q")},
                                                     t16("X\tY\nZ\x0bQ")},
                                                    {{t16("1abc  dEF")}, t16("1abc  Def")},
                                                    {{t16("")}, t16("")}});
  expectTable<C4>(2164, std::vector<Row<C4, C4>>{{{t4("aBcD")}, t4("Abcd")}, {{rawTop<4>("a\0b")}, t4("A")}});
}

TEST(CharTextTable, TrimsDropWhiteSpaceAndZeroTheFreedPositions) {
  expectTable<C8>(1642, std::vector<Row<C8, C8>>{{{t8("        ")}, t8("")},
                                                 {{t8("  ab")}, t8("ab")},
                                                 {{t8("\t\n\v\f\rab ")}, t8("ab ")},
                                                 {{t8("\x08"
                                                      "ab")},
                                                  t8("\x08"
                                                     "ab")}, // 8 is no white space
                                                 {{t8(" \x0E")}, t8("\x0E")}});
  expectTable<C16>(1643, std::vector<Row<C16, C16>>{{{t16(std::string(16, ' '))}, t16("")},
                                                    {{t16(std::string(15, ' ') + "z")}, t16("z")}});
  expectTable<C8>(1652, std::vector<Row<C8, C8>>{{{t8("ab  \t")}, t8("ab")},
                                                 {{t8(" a b ")}, t8(" a b")},
                                                 {{t8("        ")}, t8("")}});
  expectTable<C32>(1654, std::vector<Row<C32, C32>>{{{t32("x" + std::string(31, ' '))}, t32("x")},
                                                    {{rawTop<32>("ab \0cd")}, t32("ab")}});
  expectTable<C16>(1663, std::vector<Row<C16, C16>>{{{t16(" \tab c\r ")}, t16("ab c")},
                                                    {{t16("\n\n")}, t16("")},
                                                    {{t16(k16)}, t16(k16)}});
  expectTable<C1>(1659, std::vector<Row<C1, C1>>{{{t1(" ")}, t1("")}, {{t1("a")}, t1("a")}});
}

TEST(CharTextTable, LeftRightAndSubstrClampTheirCounts) {
  using L8 = Row<C8, C8, int>;
  expectTable<C8>(1672, std::vector<L8>{{{t8("abcdef"), -1}, t8("")},
                                        {{t8("abcdef"), 2}, t8("ab")},
                                        {{t8("abcdefgh"), 8}, t8("abcdefgh")},
                                        {{t8("abcdef"), INT_MIN}, t8("")},
                                        {{rawTop<8>("ab\0cdef"), 5}, t8("ab")}});
  expectTable<C16>(1673, std::vector<Row<C16, C16, int>>{{{t16("hello"), 100}, t16("hello")},
                                                         {{t16(k16), 15}, t16(k16.substr(0, 15))},
                                                         {{t16(k16), INT_MAX}, t16(k16)}});
  expectTable<C8>(1692, std::vector<L8>{{{t8("hello"), 3}, t8("llo")},
                                        {{t8("hi"), 5}, t8("hi")},
                                        {{t8("hi"), -1}, t8("")},
                                        {{t8("abcdefgh"), 7}, t8("bcdefgh")},
                                        {{rawTop<8>("ab\0cdef"), 1}, t8("b")}});
  expectTable<C32>(1694, std::vector<Row<C32, C32, int>>{{{t32("hello world"), 5}, t32("world")},
                                                         {{t32(k32), 31}, t32(k32.substr(1))}});
  using S = Row<C16, C16, int, int>;
  expectTable<C16>(1734, std::vector<S>{{{t16("hello"), 2, 3}, t16("ell")},
                                        {{t16("hello"), 5, 10}, t16("o")},
                                        {{t16("hello"), 0, 2}, t16("")},
                                        {{t16("hello"), 6, 1}, t16("")},
                                        {{t16("hello"), 2, 0}, t16("")},
                                        {{t16("hello"), 2, INT_MAX}, t16("ello")},
                                        {{t16(k16), 16, 1}, t16("q")}});
  expectTable<C4>(1732, std::vector<Row<C4, C4, int, int>>{{{t4("abcd"), 4, 1}, t4("d")},
                                                           {{t4("abcd"), 1, 4}, t4("abcd")},
                                                           {{t4("abcd"), INT_MAX, INT_MAX}, t4("")}});
}

TEST(CharTextTable, PadsFillAChar256OrCut) {
  using P = Row<C256, C8, int, C256>;
  const std::string pad300(256, 'x');
  expectTable<C256>(1682, std::vector<P>{{{t8("abc"), 7, t256("xy")}, t256("xyxyabc")},
                                         {{t8("abcdef"), 3, t256("xy")}, t256("abc")},
                                         {{t8("abc"), 7, t256("")}, t256("")},
                                         {{t8("abc"), 3, t256("")}, t256("abc")},
                                         {{t8("abc"), -5, t256("xy")}, t256("")},
                                         {{t8("ab"), 300, t256("-")}, t256(std::string(254, '-') + "ab")},
                                         {{t8(""), 4, t256("xyz")}, t256("xyzx")}});
  expectTable<C256>(1702, std::vector<P>{{{t8("abc"), 7, t256("xy")}, t256("abcxyxy")},
                                         {{t8("abcdefgh"), 8, t256("xy")}, t256("abcdefgh")},
                                         {{t8("abc"), 9, t256("")}, t256("")},
                                         {{t8("ab"), 256, t256(pad300)}, t256("ab" + pad300.substr(2))},
                                         {{rawTop<8>("a\0bc"), 3, t256("z")}, t256("azz")}});
  expectTable<C256>(1684,
                    std::vector<Row<C256, C32, int, C256>>{{{t32(k32), 33, t256("!")}, t256("!" + k32)}});
  expectTable<C256>(1699, std::vector<Row<C256, C1, int, C256>>{{{t1("a"), 2, t256("bc")}, t256("ab")}});
}

TEST(CharTextTable, EndsWithAndStrcmp) {
  using E = Row<B, C16, C16>;
  expectTable<B>(1724, std::vector<E>{{{t16(""), t16("abc")}, 0},
                                      {{t16(""), t16("")}, 1},
                                      {{t16("abc"), t16("")}, 0},
                                      {{t16("bc"), t16("abc")}, 1},
                                      {{t16("abcd"), t16("abc")}, 0},
                                      {{t16(k16), t16(k16)}, 1},
                                      {{t16("b"), rawTop<16>("ab\0b")}, 1}});
  expectTable<B>(1723, std::vector<Row<B, C8, C8>>{{{t8("gh"), t8("abcdefgh")}, 1},
                                                   {{t8("abcdefgh"), t8("abcdefgh")}, 1},
                                                   {{t8("ab"), t8("abcdefgh")}, 0}});
  using S = Row<int, C16, C16>;
  expectTable<int>(1794, std::vector<S>{{{t16("abc"), t16("abd")}, -1},
                                        {{t16("ab"), t16("abc")}, -1},
                                        {{t16("b"), t16("a")}, 1},
                                        {{t16(k16), t16(k16)}, 0},
                                        {{t16("\xFF"), t16("a")}, 1},
                                        {{rawTop<16>("ab\0x"), rawTop<16>("ab\0y")}, 0},
                                        {{rawTop<16>("abcdefgh\0x"), t16("abcdefgh")}, 0}});
  expectTable<int>(1793, std::vector<Row<int, C8, C8>>{{{t8("a"), t8("")}, 1}, {{kFf8, t8("\xFF\xFF")}, 1}});
}

TEST(CharTextTable, AsciiAndChr) {
  expectTable<int>(1744, std::vector<Row<int, C16>>{{{t16("Abc")}, 65}, {{t16("")}, 0}, {{kFf16}, 255}});
  expectTable<int>(1740, std::vector<Row<int, C1>>{{{t1("\x80")}, 128}});
  expectTable<C1>(1770, std::vector<Row<C1, int>>{{{65}, t1("A")},
                                                  {{200}, t1("?")},
                                                  {{0}, t1("")},
                                                  {{-1}, t1("?")},
                                                  {{127}, t1("\x7F")},
                                                  {{128}, t1("?")},
                                                  {{INT_MIN}, t1("?")}});
}

TEST(CharTextTable, ConcatCutsAndConcatWidePutsBFirst) {
  expectTable<C4>(1773, std::vector<Row<C4, C4, C4>>{{{t4("abc"), t4("de")}, t4("abcd")},
                                                     {{t4("abcd"), t4("x")}, t4("abcd")},
                                                     {{t4(""), t4("wxyz")}, t4("wxyz")},
                                                     {{rawTop<4>("a\0b"), rawTop<4>("c\0d")}, t4("ac")}});
  expectTable<C16>(1775, std::vector<Row<C16, C16, C16>>{{{t16("abc"), t16(k16)}, t16("abc" + k16.substr(3))},
                                                         {{t16(k16), t16("z")}, t16(k16)}});
  expectTable<C8>(1782, std::vector<Row<C8, C4, C4>>{{{t4("ab"), t4("cd")}, t8("cdab")},
                                                     {{t4("abcd"), t4("efgh")}, t8("efghabcd")},
                                                     {{t4("ab"), t4("")}, t8("ab")},
                                                     {{rawTop<4>("a\0b"), t4("cd")}, t8("cda")}});
  expectTable<C16>(1783,
                   std::vector<Row<C16, C8, C8>>{{{t8("abcdefgh"), t8("ijklmnop")}, t16("ijklmnopabcdefgh")},
                                                 {{t8("a"), t8("b")}, t16("ba")}});
  expectTable<Txt<2>>(1780, std::vector<Row<Txt<2>, C1, C1>>{{{t1("a"), t1("b")}, txt<2>("ba")}});
}

TEST(CharTextTable, LocateFindsAtOrAfterStart) {
  using L = Row<int, C8, C8, int>;
  expectTable<int>(1981, std::vector<L>{{{t8("b"), t8("abcb"), 3}, 4},
                                        {{t8(""), t8("abc"), 0}, 1},
                                        {{t8(""), t8(""), -7}, 1},
                                        {{t8("b"), t8("abc"), 0}, 0},
                                        {{t8("abcd"), t8("abc"), 1}, 0},
                                        {{t8("c"), t8("abc"), 4}, 0},
                                        {{t8("c"), t8("abc"), INT_MAX}, 0},
                                        {{t8("gh"), t8("abcdefgh"), 1}, 7},
                                        {{t8("a"), t8(""), 1}, 0}});
  expectTable<int>(1983, std::vector<Row<int, C32, C32, int>>{{{t32("rr"), t32(k32), 31}, 31},
                                                              {{t32("rr"), t32(k32), 32}, 0},
                                                              {{t32("aab"), t32("aaaab"), 1}, 3}});
}

TEST(CharTextTable, ReverseAndMask) {
  expectTable<C4>(2154, std::vector<Row<C4, C4>>{
                            {{t4("abc")}, t4("cba")}, {{t4("abcd")}, t4("dcba")}, {{t4("")}, t4("")}});
  expectTable<C16>(2156, std::vector<Row<C16, C16>>{{{t16("abc")}, t16("cba")},
                                                    {{t16("0123456789abcdef")}, t16("fedcba9876543210")},
                                                    {{rawTop<16>("ab\0c")}, t16("ba")}});
  using M = Row<C8, C8, int, int, C1>;
  expectTable<C8>(2190, std::vector<M>{{{t8("abcdef"), 2, 3, t1("*")}, t8("a***ef")},
                                       {{t8("abc"), 2, 10, t1("*")}, t8("a**")},
                                       {{t8("abc"), 0, 2, t1("*")}, t8("abc")},
                                       {{t8("abc"), 2, 0, t1("*")}, t8("abc")},
                                       {{t8("abc"), 4, 1, t1("*")}, t8("abc")},
                                       {{t8("abc"), 2, INT_MAX, t1("*")}, t8("a**")},
                                       {{t8("abcdefgh"), 8, 1, t1("#")}, t8("abcdefg#")},
                                       {{t8("abcdef"), 3, 1, t1("")}, t8("ab")}});
}

} // namespace
