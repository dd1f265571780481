// CHAR_LIKE: the constant-pattern plans against the general matcher (the independent reference here),
// and the op through both evaluators with constant and column operands.
#include <random>
#include <string>
#include <vector>

#include "functions/text/CharFuncLike.h"
#include "functions/text/LikeMatch.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using vela::cuda::LikePlan;
using vela::cuda::LikeShape;

namespace {

bool matcher(const std::string& text, std::size_t width, const std::string& pattern, char escape, int flags) {
  std::vector<unsigned char> t(width), p(256);
  vela::ParserUtils::packCharN(text, width, t.data());
  vela::ParserUtils::packCharN(pattern, 256, p.data());
  return vela::cuda::like_match<false>(reinterpret_cast<const char*>(t.data()), static_cast<int>(width),
                                       reinterpret_cast<const char*>(p.data()), 256, escape,
                                       static_cast<signed char>(flags));
}

LikePlan planOf(const std::string& pattern, char escape, int flags) {
  const auto p = txt<256>(pattern);
  return vela::cuda::like_plan(reinterpret_cast<const char*>(&p), escape, static_cast<signed char>(flags));
}

TEST(CharFuncLikePlan, ShapesOfConstantPatterns) {
  struct Row {
    std::string pattern;
    char escape;
    int flags;
    LikeShape shape;
  };
  const Row rows[] = {
      {"abc%", 0, 0, LikeShape::Prefix},    {"%abc%", 0, 0, LikeShape::Contains},
      {"%abc", 0, 0, LikeShape::Suffix},    {"abc", 0, 0, LikeShape::Exact},
      {"", 0, 0, LikeShape::Exact},         {"%", 0, 0, LikeShape::All},
      {"%%%", 0, 0, LikeShape::All},        {"%%ab%%", 0, 0, LikeShape::Contains},
      {"AB%", 0, 2, LikeShape::Prefix},     {"ab%", 0, 4, LikeShape::Prefix},
      {"ab%", 'z', 0, LikeShape::Prefix},   {"ab%", 0, 1, LikeShape::General},
      {"ab%", 0, 3, LikeShape::General},    {"a_c%", 0, 0, LikeShape::General},
      {"a%c", 0, 0, LikeShape::General},    {"%[a]%", 0, 0, LikeShape::General},
      {"ab!%", '!', 0, LikeShape::General}, {"ab%", '%', 0, LikeShape::General},
      {"!ab", '!', 0, LikeShape::General},  {"%a%b%", 0, 0, LikeShape::General},
  };
  for (const Row& r : rows)
    EXPECT_EQ(static_cast<int>(planOf(r.pattern, r.escape, r.flags).shape), static_cast<int>(r.shape))
        << "'" << r.pattern << "' escape " << int(r.escape) << " flags " << r.flags;
}

// Random texts and patterns built to meet every shape: literals that occur in the text or nearly do,
// texts of exactly N bytes and empty ones, literals longer than the text, letters in both cases and the
// bytes '@' and '`' that differ only in bit 5 but are not letters.
template <std::size_t N>
void plansAgree(std::mt19937& gen, int (&shapes)[6], int& matches) {
  const char* alphabet = "abAB@`\xE1";
  for (int n = 0; n < 4000; ++n) {
    std::string text = n % 9 == 0 ? std::string() : draw(gen, N, alphabet);
    if (n % 5 == 0)
      text = draw(gen, 0, alphabet) + std::string(N, alphabet[gen() % 4]).substr(0, N);
    std::string literal = draw(gen, n % 13 == 0 ? N + 2 : 4, alphabet);
    if (n % 2 == 0 && !text.empty()) { // a piece of the text, so that matches are frequent
      const std::size_t from = gen() % text.size();
      literal = text.substr(from, 1 + gen() % (text.size() - from));
    }
    literal = literal.substr(0, 252); // a pattern of at most 256 bytes, percents included
    const std::string pattern = std::string(gen() % 3, '%') + literal + std::string(gen() % 3, '%');
    const int flags = static_cast<int>(gen() % 4);
    const char escape = n % 17 == 0 ? 'a' : 0;
    const LikePlan plan = planOf(pattern, escape, flags);
    ++shapes[static_cast<int>(plan.shape)];
    if (plan.shape == LikeShape::General)
      continue;
    const auto cell = txt<N>(text);
    const bool expected = matcher(text, N, pattern, escape, flags);
    matches += expected;
    ASSERT_EQ(vela::cuda::like_plan_match<N>(plan, reinterpret_cast<const char*>(&cell)), expected)
        << "char" << N << " '" << text << "' LIKE '" << pattern << "' flags " << flags;
  }
}

TEST(CharFuncLikePlan, AgreesWithTheGeneralMatcherAtEveryWidth) {
  std::mt19937 gen(4242);
  int shapes[6] = {}, matches = 0;
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (plansAgree<std::size_t{1} << K>(gen, shapes, matches), ...);
  }
  (std::make_index_sequence<9>{});
  for (int s = 0; s < 6; ++s)
    EXPECT_GT(shapes[s], 300) << "shape " << s;
  EXPECT_GT(matches, 5000);
}

using LikeRow = Row<Bool, Text<32>, Text<256>, std::uint8_t, std::int8_t>;
LikeRow likeRow(const std::string& text, const std::string& pattern, char escape, int flags, bool expected) {
  return {
      {txt<32>(text), txt<256>(pattern), static_cast<std::uint8_t>(escape), static_cast<std::int8_t>(flags)},
      expected};
}

TEST(CharFuncLikeOp, TableThroughBothEvaluators) {
  const std::string full(32, 'z'); // fills its char32 cell: no NUL ends it
  // clang-format off
  expectTable<Bool>(2027, std::vector<LikeRow>{
      likeRow("abcdef", "abc%", 0, 0, true), likeRow("ab", "abcd%", 0, 0, false), likeRow("ab", "%abc%", 0, 0, false),
      likeRow("xxabcxx", "%abc%", 0, 0, true), likeRow(full.substr(3) + "abc", "%abc", 0, 0, true),
      likeRow(full, "%" + full, 0, 0, true), likeRow(full, full + "z", 0, 0, false), likeRow("abcd", "abc", 0, 0, false),
      likeRow("xAbC", "%aBc", 0, 2, true), likeRow("@", "`", 0, 2, false), likeRow("a\nb", "%", 0, 1, false),
      likeRow("50%", "50!%", '!', 0, true), likeRow("abc", "a_c", 0, 0, true), likeRow("abc", "", 0, 0, false),
      likeRow("", "", 0, 0, true), likeRow("", "%", 0, 0, true)});
  // clang-format on
  using Narrow = Row<Bool, Text<1>, Text<256>, std::uint8_t, std::int8_t>;
  expectTable<Bool>(2022, std::vector<Narrow>{{{txt<1>("a"), txt<256>("a%"), 0, 0}, true},
                                              {{txt<1>("a"), txt<256>("ab%"), 0, 0}, false},
                                              {{txt<1>(""), txt<256>("%a%"), 0, 0}, false},
                                              {{txt<1>("A"), txt<256>("a"), 0, 2}, true}});
}

// Whole columns of random char32 texts against constant patterns, at every row count of the harness:
// the plan runs in the column-batch evaluator and like_match in the row evaluator.
TEST(CharFuncLikeOp, RandomColumnsAgainstConstantPatterns) {
  std::mt19937 gen(99);
  std::vector<Text<32>> texts;
  std::vector<std::string> plain;
  for (int n = 0; n < 500; ++n) {
    std::string t = draw(gen, 32, "abcABC");
    if (n % 10 == 0)
      t = std::string(32, 'c').substr(0, 29) + "abc";
    plain.push_back(t);
    texts.push_back(txt<32>(t));
  }
  for (const std::string pattern : {"abc%", "%abc%", "%abc", "abc", "%", "ab_%", "%a%b%"})
    for (int flags : {0, 2}) {
      SCOPED_TRACE(pattern + " flags " + std::to_string(flags));
      std::vector<Bool> expected;
      for (const std::string& t : plain)
        expected.push_back(matcher(t, 32, pattern, 0, flags));
      vela::ParserUtils::Program p;
      p.column(kLoadChar + 5, 0)
          .constant(kConstChar + 8, txt<256>(pattern))
          .constant(kConstI8, std::int8_t{0})
          .constant(kConstI8, static_cast<std::int8_t>(flags))
          .op(2027);
      HarnessCase c(p);
      c.addColumn(texts);
      c.expectRows<Bool>(expected);
    }
}

} // namespace
