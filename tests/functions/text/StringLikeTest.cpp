// STRING_LIKE through both evaluators with constant and column operands, and the constant-pattern fast
// paths against the general matcher (like_match<true>, the reference) on random texts and patterns.

#include "cuda/TypedRpnEvaluator.h"
#include "functions/text/CharFuncLike.h"
#include "functions/text/LikeMatch.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using namespace std::string_literals;
using vela::cuda::LikeShape;

namespace {

constexpr int kLike = 2031;
using C1 = std::uint8_t;
using I8 = std::int8_t;
using R = Row<Bool, Str, Str, C1, I8>;

bool reference(const std::string& text, const std::string& pattern, char escape, int flags) {
  return vela::cuda::like_match<true>(text.data(), int(text.size()), pattern.data(), int(pattern.size()),
                                      escape, static_cast<signed char>(flags));
}

TEST(StringLike, EdgeCases) {
  // One row per plan shape and its edges; the matcher's own cases are in MatchersTest.
  // clang-format off
  const std::vector<R> rows = {
      {{"abc", "a%", 0, 0}, 1},      {{"abc", "%c", 0, 0}, 1},      {{"xabcx", "%abc%", 0, 0}, 1},
      {{"ab", "%abc%", 0, 0}, 0},    {{"abcd", "abc", 0, 0}, 0},    {{"", "", 0, 0}, 1},
      {{"a", "", 0, 0}, 0},          {{"", "%", 0, 0}, 1},          {{"b", "[c-a]", 0, 0}, 1},
      {{"50%", "50!%", '!', 0}, 1},  {{"ABC", "%B%", 0, 2}, 1},     {{"@", "`", 0, 2}, 0},
      {{"a\nb", "%", 0, 1}, 0},      {{"a\0c"s, "a\0%"s, 0, 0}, 1}, {{std::nullopt, "%", 0, 0}, 0},
      {{"a", std::nullopt, 0, 0}, 0}};
  // clang-format on
  expectObjectTable<Bool, Str, Str, C1, I8>(kLike, rows);
}

// Patterns built to meet every plan shape and the general matcher: a literal (often a piece of the
// text, sometimes longer than the plan holds) with 0 to 2 "%" at each end, sometimes a wildcard or an
// escape inside; letters in both cases and '@' / '`', which differ in bit 5 only and are not letters.
TEST(StringLike, FastPathsAgreeWithTheMatcher) {
  std::mt19937 gen(2031);
  const std::string alphabet = "abAB@`\n\xE1";
  int shapes[6] = {}, matches = 0, total = 0;
  for (int n = 0; n < 120; ++n) {
    std::vector<Str> texts;
    std::vector<std::string> plain;
    for (int r = 0; r < 40; ++r) {
      std::string t = draw(gen, r % 10 == 0 ? 600 : 12, alphabet);
      plain.push_back(t);
      texts.push_back(t);
    }
    std::string literal = draw(gen, n % 23 == 0 ? 300 : 4, alphabet);
    if (n % 2 == 0 && !plain[n % 40].empty()) {
      const std::string& t = plain[n % 40];
      const std::size_t from = gen() % t.size();
      literal = t.substr(from, 1 + gen() % (t.size() - from));
    }
    if (n % 11 == 0)
      literal.insert(literal.size() / 2, "_");
    const std::string pattern = std::string(gen() % 3, '%') + literal + std::string(gen() % 3, '%');
    const int flags = static_cast<int>(gen() % 4);
    const char escape = n % 17 == 0 ? 'a' : 0;
    ++shapes[int(
        vela::cuda::like_plan(std::string_view(pattern), escape, static_cast<signed char>(flags)).shape)];
    std::vector<Bool> expected;
    for (const std::string& t : plain) {
      expected.push_back(reference(t, pattern, escape, flags));
      matches += expected.back();
      ++total;
    }
    StringObjects objects;
    HarnessCase(Program()
                    .column(kLoadString, 0)
                    .pointerConstant(kConstString, objects.make(Str(pattern)))
                    .constant(kConstI8, escape)
                    .constant(kConstI8, static_cast<I8>(flags))
                    .op(kLike))
        .addStringColumn(texts)
        .rowCounts({1, 65})
        .expectRows<Bool>(expected);
  }
  for (int shape = 0; shape < 6; ++shape)
    EXPECT_GT(shapes[shape], 0) << "shape " << shape << " never drawn";
  EXPECT_GT(matches, total / 10);
  EXPECT_LT(matches, total * 9 / 10);
}

} // namespace
