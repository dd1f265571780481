// Str functions on heap strings through both evaluators, string operands as columns and as constants:
// hand-computed rows for what the random models of StringModelTest do not draw (absent strings, NUL and
// high bytes, \v \f \r, the letter-range neighbours, the pad cap) and for the ops without a model.
#include "base/RamPool.h"
#include "functions/text/StringOps.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using namespace std::string_literals;

namespace {

using I32 = std::int32_t;
using C1 = std::uint8_t; // a char1 operand: the byte, 0 for the empty char1
const Str kAbsent = std::nullopt;
constexpr I32 kMax = 2147483647;

// clang-format off
TEST(StringText, LengthAsciiAndCase) {
  expectObjectTable<I32, Str>(1617, {{{"abc"}, 3}, {{"a\0b"s}, 3}, {{kAbsent}, 0}});
  expectObjectTable<I32, Str>(1618, {{{"\xff\xfe"}, 2}});
  expectObjectTable<I32, Str>(1749, {{{"A"}, 65}, {{"\xe9t\xe9"}, 0xe9}, {{""}, 0}, {{kAbsent}, 0}});
  expectObjectTable<Str, Str>(1628, {{{"HeLLo W0RLD \xC9"}, "hello w0rld \xC9"}, {{"@[`{AZ"}, "@[`{az"}, {{kAbsent}, ""}});
  expectObjectTable<Str, Str>(1638, {{{"x\0y\xe9"s}, "X\0Y\xe9"s}, {{"NONE"}, "NONE"}, {{kAbsent}, ""}});
  expectObjectTable<Str, Str>(2171, {{{"hELLO wORLD"}, "Hello World"}, {{"a-b c\td"}, "A-b C\tD"}, {{"  x1y Z"}, "  X1y Z"},
                                     {{""}, ""}, {{kAbsent}, ""}});
  expectObjectTable<Str, Str>(2161, {{{"abc"}, "cba"}, {{"a\0b"s}, "b\0a"s}, {{""}, ""}});
}

TEST(StringText, TrimLeftRightSubstr) {
  const std::string ws = " \t\n\v\f\r";
  expectObjectTable<Str, Str>(1648, {{{ws + "ab "}, "ab "}, {{"\0 a"s}, "\0 a"s}});
  expectObjectTable<Str, Str>(1658, {{{" ab" + ws}, " ab"}, {{"a \0"s}, "a \0"s}, {{kAbsent}, ""}});
  expectObjectTable<Str, Str>(1668, {{{ws + "a b" + ws}, "a b"}, {{ws}, ""}, {{""}, ""}});
  expectObjectTable<Str, Str, I32>(1678, {{{"hello", 3}, "hel"}, {{"hello", 99}, "hello"}, {{"hello", -1}, ""}, {{kAbsent, 2}, ""}});
  expectObjectTable<Str, Str, I32>(1698, {{{"hello", 3}, "llo"}, {{"hi", 5}, "hi"}, {{"hi", -1}, ""}, {{"", 3}, ""}});
  expectObjectTable<Str, Str, I32, I32>(1739, {{{"hello", 2, 3}, "ell"}, {{"hello", 0, 3}, ""}, {{"hello", 6, 1}, ""},
                                               {{"hello", 4, 10}, "lo"}, {{"hello", 5, kMax}, "o"}, {{"hello", 2, -1}, ""},
                                               {{kAbsent, 1, 1}, ""}});
}

TEST(StringText, PadsAreCappedAndAnEmptyPadEmpties) {
  expectObjectTable<Str, Str, I32, Str>(1688, {{{"abc", 5, "xy"}, "xyabc"}, {{"abc", 2, "xy"}, "ab"}, {{"abc", 2, ""}, ""},
                                               {{"abc", -5, "x"}, ""}, {{"", 3, "ab"}, "aba"}, {{kAbsent, 3, "x"}, ""},
                                               {{"a", 3, kAbsent}, ""}});
  expectObjectTable<Str, Str, I32, Str>(1708, {{{"abc", 6, "xy"}, "abcxyx"}, {{"abc", 5, ""}, ""}, {{"", 4, "\0z"s}, "\0z\0z"s}});
  // Any n above 100000 gives exactly 100000 bytes; a pad longer than the result is cut.
  const std::string b(100000, 'b'), longPad(150000, 'p');
  expectObjectTable<Str, Str, I32, Str>(1688, {{{"a", 200000, "b"}, b.substr(1) + "a"}, {{"a", 100000, "b"}, b.substr(1) + "a"},
                                               {{"a", kMax, "bb"}, b.substr(1) + "a"},
                                               {{"x", 100001, longPad}, longPad.substr(0, 99999) + "x"}}, false, {1, 65});
  expectObjectTable<Str, Str, I32, Str>(1708, {{{"a", 200000, "b"}, "a" + b.substr(1)}, {{b + "c", 100001, "x"}, b}}, false, {1, 65});
}

TEST(StringText, QuoteConcatMaskSplit) {
  expectObjectTable<Str, Str>(1709, {{{"col_1"}, "col_1"}, {{"_X9"}, "_X9"}, {{"my col"}, "\"my col\""}, {{"a\"b"}, "\"a\"\"b\""},
                                     {{"1abc"}, "\"1abc\""}, {{""}, "\"\""}, {{"\""}, "\"\"\"\""}, {{"caf\xe9"}, "\"caf\xe9\""}});
  for (int code : {1788, 1789})
    expectObjectTable<Str, Str, Str>(code, {{{"ab", "cd"}, "abcd"}, {{"", ""}, ""}, {{"a\0"s, "\0b"s}, "a\0\0b"s},
                                            {{kAbsent, "x"}, ""}, {{"x", kAbsent}, ""}});
  expectObjectTable<Str, Str, I32, I32, C1>(2196, {{{"abcdef", 2, 3, '*'}, "a***ef"}, {{"abc", 4, 1, '*'}, "abc"},
                                                   {{"abc", 2, 1, 0}, "a"}, {{"abc", 1, kMax, '#'}, "###"}});
  expectObjectTable<Str, Str, C1, I32>(2151, {{{"a,b,,d", ',', 3}, ""}, {{"a,b,,d", ',', -4}, "a"}, {{"a,b,,d", ',', -5}, ""},
                                              {{"abc", 0, 1}, ""}, {{",", ',', 2}, ""}, {{"\0,\0"s, ',', 2}, "\0"s},
                                              {{kAbsent, ',', 1}, ""}});
}

TEST(StringText, SearchReplaceCompare) {
  expectObjectTable<std::uint8_t, Str, Str>(1729, {{{"lo", "hello"}, 1}, {{"he", "hello"}, 0}, {{"", "abc"}, 0}, {{"", ""}, 1},
                                                   {{"a", ""}, 0}, {{"hello!", "hello"}, 0}, {{"hello", "hello"}, 1},
                                                   {{kAbsent, "a"}, 0}});
  for (int code : {1799, 1800})
    expectObjectTable<I32, Str, Str>(code, {{{"abc", "abd"}, -1}, {{"ab", "abc"}, -1}, {{"b", "a"}, 1}, {{"", ""}, 0},
                                            {{"a\0b"s, "a\0c"s}, -1}, {{"\x80", "a"}, 1}, {{kAbsent, "a"}, 0}});
  expectObjectTable<I32, Str, Str, I32>(1987, {{{"b", "abcb", 3}, 4}, {{"", "", -7}, 1}, {{"c", "abc", 4}, 0},
                                               {{"b\0"s, "ab\0b"s, 1}, 2}, {{kAbsent, "abc", 1}, 0}});
  expectObjectTable<Str, Str, Str, Str>(1993, {{{"aaa", "aa", "b"}, "ba"}, {{"abc", "", "x"}, "abc"}, {{"xax", "x", "<>"}, "<>a<>"},
                                               {{kAbsent, "a", "b"}, ""}, {{"a", kAbsent, "b"}, ""}, {{"a", "a", kAbsent}, ""}});
  expectObjectTable<Str, Str, C1, C1>(2012, {{{"a-b-c", '-', 0}, "abc"}, {{"abc", 0, 'y'}, "abc"}, {{"\xff\x01", 0xff, 'z'}, "z\x01"},
                                             {{kAbsent, 'a', 'b'}, ""}});
}

TEST(StringText, SoundexDifferenceAndEditDistance) {
  const std::uint32_t r163 = std::uint32_t('R') << 24 | std::uint32_t('1') << 16 | std::uint32_t('6') << 8 | '3';
  expectObjectTable<std::uint32_t, Str>(1759, {{{"Robert"}, r163}, {{"  12rupert"}, r163}, {{"123"}, 0}, {{kAbsent}, 0}});
  expectObjectTable<I32, Str, Str>(1769, {{{"Robert", "Rupert"}, 4}, {{"Anne", "Andrew"}, 2}, {{"123", ""}, 4}, {{kAbsent, "a"}, 0}});
  expectObjectTable<I32, Str, Str>(2181, {{{"flaw", "lawn"}, 2}, {{"a\0"s, "a"}, 1}, {{kAbsent, "abc"}, 0}});
}

TEST(StringText, EncodeAndDecode) {
  // "hex" and "base64" exactly; every other format, "HEX" included, is the escape codec.
  expectObjectTable<Str, Str, Str>(1604, {{{"foobar", "base64"}, "Zm9vYmFy"}, {{"fo", "base64"}, "Zm8="}, {{"\x01\xab", "hex"}, "01ab"},
                                          {{"\x01\xab", "HEX"}, "\\001\\253"}, {{"a\\b\n", "escape"}, "a\\\\b\\012"},
                                          {{"plain", "anything"}, "plain"}, {{"", "hex"}, ""}, {{kAbsent, "hex"}, ""}, {{"x", kAbsent}, ""}});
  expectObjectTable<Str, Str, Str>(1603, {{{"Zm9vYmFy", "base64"}, "foobar"}, {{"Zm8", "base64"}, "fo"}, {{"Zm9v!", "base64"}, ""},
                                          {{"01AbfF", "hex"}, "\x01\xab\xff"}, {{"abc", "hex"}, ""}, {{"zz", "hex"}, ""},
                                          {{"a\\\\b\\012\\000", "escape"}, "a\\b\n\0"s}, {{"a\\q", "escape"}, ""},
                                          {{"plain", "escape"}, "plain"}, {{"01", "Hex"}, "01"}, {{kAbsent, "hex"}, ""}});
}
// clang-format on

TEST(StringText, NamedHelpersReturnNewStrings) {
  vela::RamPool pool("string-helpers");
  {
    vela::RamPoolThreadBinding binding(&pool);
    StringObjects s;
    const auto text = [](const vela::cuda::ManagedInlineBufferPtr<char>& b) {
      return std::string(b->view());
    };
    EXPECT_EQ(text(vela::cuda::StringBufferLpad(s.make("abc"), 5, s.make("xy"))), "xyabc");
    EXPECT_EQ(text(vela::cuda::StringBufferRpad(s.make("abc"), 6, s.make("xy"))), "abcxyx");
    EXPECT_EQ(text(vela::cuda::StringBufferLpad(s.make("a"), 200000, s.make("b"))).size(), 100000u);
    EXPECT_EQ(text(vela::cuda::StringBufferReplace(s.make("aaa"), s.make("aa"), s.make("b"))), "ba");
    EXPECT_EQ(text(vela::cuda::StringBufferSplit(s.make("a,b,,d"), ',', -1)), "d");
    EXPECT_EQ(text(vela::cuda::StringBufferSplit(nullptr, ',', 1)), "");
    // Where the op hands its input on, the helper returns a copy.
    const InlineBuffer<char>* abc = s.make("abc");
    const auto same = vela::cuda::StringBufferReplace(abc, s.make("z"), s.make("y"));
    EXPECT_NE(same.get(), abc);
    EXPECT_EQ(text(same), "abc");
    EXPECT_EQ(pool.reservedBytes(), same.reservedBytes());
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
}

} // namespace
