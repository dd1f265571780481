// CHAR_REPLACE, CHAR_REPLACE_CHAR, CHAR_REPLACE_CONST and CHAR_SPLIT: hand-computed rows through both
// evaluators, and random columns against a std::string model (replacement scanning from the start
// without overlap; fields between delimiters).
#include <random>
#include <string>
#include <vector>

#include "functions/text/CharFuncReplace.h"
#include "functions/text/CharFuncSplit.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

template <std::size_t N, std::size_t R = N>
using Rewrite = Row<Text<R>, Text<N>, Text<N>, Text<N>>;
template <std::size_t N, std::size_t R = N>
Rewrite<N, R> rw(const char* s, const char* from, const char* to, const std::string& out) {
  return {{txt<N>(s), txt<N>(from), txt<N>(to)}, txt<R>(out)};
}

// Hand rows in every constant/column form; the random columns below meet the models at every width.
// clang-format off
TEST(CharFuncReplace, RowsThroughBothEvaluators) {
  for (int code : {1988, 1994}) // two codes per width up to char16, one kernel
    expectTable<Text<1>>(code, std::vector<Rewrite<1>>{rw<1>("a", "a", "", ""), rw<1>("", "a", "b", "")});
  for (int code : {1989, 1995})
    expectTable<Text<4>>(code, std::vector<Rewrite<2, 4>>{rw<2, 4>("aa", "a", "bb", "bbbb"), rw<2, 4>("ab", "", "xy", "ab")});
  expectTable<Text<64>>(1991, std::vector<Rewrite<8, 64>>{rw<8, 64>("abcabc", "bc", "XYZW", "aXYZWaXYZW"),
                                                          rw<8, 64>("aaa", "aa", "b", "ba"), rw<8, 64>("abc", "abcd", "x", "abc")});
  // From char32 on a result can pass 256 characters: it is cut there.
  const std::string a32(32, 'a'), b32(32, 'b');
  expectTable<Text<256>>(1999, std::vector<Rewrite<32, 256>>{rw<32, 256>(a32.c_str(), "a", b32.c_str(), std::string(256, 'b')),
                                                             rw<32, 256>("xay", "a", "", "xy")});
}

TEST(CharFuncReplace, CharAndConstRows) {
  using CharRow = Row<Text<8>, Text<8>, Text<1>, Text<1>>;
  auto rc = [](const char* s, const char* from, const char* to, const char* out) {
    return CharRow{{txt<8>(s), txt<1>(from), txt<1>(to)}, txt<8>(out)};
  };
  expectTable<Text<8>>(2006, std::vector<CharRow>{rc("a-b-c", "-", "", "abc"), rc("a-b", "-", "+", "a+b"), rc("abc", "", "x", "abc"),
                                                  rc("aaaaaaaa", "a", "", ""), rc("abca", "a", "a", "abca")});
  expectTable<Text<8>>(2016, std::vector<Rewrite<8>>{rw<8>("abab", "ab", "xyz", "xyzxyz"), rw<8>("aaaaaaaa", "a", "bb", "bbbbbbbb"),
                                                     rw<8>("ab", "abc", "x", "ab"), rw<8>("abc", "", "x", "abc"),
                                                     rw<8>("aaa", "aa", "b", "ba")});
  expectTable<Text<1>>(2013, std::vector<Rewrite<1>>{rw<1>("a", "a", "b", "b"), rw<1>("a", "a", "", "")});
}

TEST(CharFuncSplit, RowsThroughBothEvaluators) {
  using SplitRow = Row<Text<8>, Text<8>, Text<1>, int>;
  auto sr = [](const char* s, const char* d, int k, const char* out) { return SplitRow{{txt<8>(s), txt<1>(d), k}, txt<8>(out)}; };
  expectTable<Text<8>>(2145, std::vector<SplitRow>{
      sr("a,b,,d", ",", 3, ""), sr("a,b,,d", ",", -1, "d"), sr("a,b,,d", ",", 5, ""), sr("a,b,,d", ",", -4, "a"),
      sr("a,b,,d", ",", -5, ""), sr("a,b,,d", ",", 0, ""), sr("abc", "", 1, ""), sr(",", ",", 2, ""),
      sr("ab,cdefg", ",", 2, "cdefg"), sr("abcdefg,", ",", 1, "abcdefg")});
  // clang-format on
  const auto s = txt<8>("a,b,,d"), comma = txt<8>(",");
  const char* raw = reinterpret_cast<const char*>(&s);
  const char* d = reinterpret_cast<const char*>(&comma) + 7; // a char1 cell is the one byte
  EXPECT_EQ(vela::cuda::charN_find_match_pos(raw, d, 8, 1), 1);
  EXPECT_EQ(vela::cuda::charN_find_match_pos(raw, d, 8, 3), 4);
  EXPECT_EQ(vela::cuda::charN_find_match_pos(raw, d, 8, 4), -1);
  EXPECT_EQ(vela::cuda::charN_find_match_pos(raw, d, 8, 0), -1);
}

// Random columns of each op at a width, against the model.
template <std::size_t N>
void randomColumns(std::mt19937& gen) {
  constexpr std::size_t R = vela::cuda::charN_replace_width(N);
  std::vector<Text<N>> s, from, to;
  std::vector<Text<1>> from1, to1;
  std::vector<int> k;
  std::vector<Text<R>> replaced;
  std::vector<Text<N>> replacedConst, replacedChar, split;
  for (int n = 0; n < 400; ++n) {
    const std::string a = draw(gen, N, "ab,"),
                      f = draw(gen, n % 3 == 0 ? N : std::min<std::size_t>(N, 2), "ab,"),
                      t = draw(gen, n % 5 == 0 ? N : std::min<std::size_t>(N, 3), "xy"),
                      f1 = draw(gen, 1, "ab,"), t1 = draw(gen, 1, "a-");
    const int field = static_cast<int>(gen() % 9) - 4;
    s.push_back(txt<N>(a));
    from.push_back(txt<N>(f));
    to.push_back(txt<N>(t));
    from1.push_back(txt<1>(f1));
    to1.push_back(txt<1>(t1));
    k.push_back(field);
    replaced.push_back(txt<R>(replaceModel(a, f, t).substr(0, R)));
    replacedConst.push_back(txt<N>(f.size() > a.size() ? a : replaceModel(a, f, t).substr(0, N)));
    replacedChar.push_back(txt<N>(f1 == t1 ? a : replaceModel(std::string(a), f1, t1)));
    split.push_back(txt<N>(splitModel(a, f1.empty() ? 0 : f1[0], field)));
  }
  const int k8 = std::countr_zero(N); // the width's offset in its family
  expectColumns<Text<R>>(N <= 16 ? 1988 + k8 : 1999 + k8 - 5, replaced, s, from, to);
  expectColumns<Text<N>>(2013 + k8, replacedConst, s, from, to);
  expectColumns<Text<N>>(2003 + k8, replacedChar, s, from1, to1);
  expectColumns<Text<N>>(2142 + k8, split, s, from1, k);
}

TEST(CharFuncReplace, RandomColumnsAgainstTheModel) {
  std::mt19937 gen(31337);
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (randomColumns<std::size_t{1} << K>(gen), ...);
  }
  (std::index_sequence<0, 1, 2, 3, 4, 5, 8>{});
}

// Cells from a caller may hold bytes below their first NUL: the text ends at the NUL and every result
// is zero past its end.
TEST(CharFuncReplace, BytesPastTheResultAreZero) {
  std::mt19937 gen(8);
  for (int n = 0; n < 500; ++n) {
    Text<16> s, from = txt<16>(n % 2 ? "b" : "ab"), to = txt<16>(n % 3 ? "" : "xyz");
    for (auto& byte : s.cell.bytes)
      byte = "ab,\0"[gen() % 4];
    const std::string text = textOf(s);
    auto one = [&](auto cell, auto&& op) {
      op(reinterpret_cast<char*>(&cell));
      EXPECT_TRUE(zeroTail(cell)) << "'" << text << "'";
      return textOf(cell);
    };
    const char d[1] = {','}, none[1] = {0};
    EXPECT_EQ(one(s, [&](char* c) { vela::cuda::charN_split(c, d, 16, 2); }), splitModel(text, ',', 2));
    EXPECT_EQ(one(s, [&](char* c) { vela::cuda::charN_replace_char<16>(c, d, none); }),
              replaceModel(text, ",", ""));
    const char* f = reinterpret_cast<const char*>(&from);
    const char* t = reinterpret_cast<const char*>(&to);
    const std::string constModel =
        textOf(from).size() > text.size() ? text : replaceModel(text, textOf(from), textOf(to)).substr(0, 16);
    EXPECT_EQ(one(s, [&](char* c) { vela::cuda::charN_replace_const<16>(c, f, t); }), constModel);
    Text<256> wide{vela::cuda::charn::resize<vela::cuda::cell_of_width_t<256>>(s.cell)};
    vela::cuda::charN_replace<16>(reinterpret_cast<char*>(&wide), f, t);
    EXPECT_TRUE(zeroTail(wide));
    EXPECT_EQ(textOf(wide), replaceModel(text, textOf(from), textOf(to)));
  }
}

} // namespace
