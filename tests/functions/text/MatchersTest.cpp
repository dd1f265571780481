// The text matchers as free functions: LIKE, soundex with DIFFERENCE, and the 8-bit edit distance, in
// both the fixed-width form (reversed cells of several widths) and the heap-string form. References are
// hand-computed rows, published soundex codes and independent models written here: an exhaustive LIKE
// matcher over tokens and a full-matrix edit distance.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "functions/text/EditDistance.h"
#include "functions/text/LikeMatch.h"
#include "functions/text/Soundex.h"

using vela::cuda::InlineBuffer;
using namespace std::string_literals;

namespace {

constexpr int kWidths[] = {1, 2, 4, 8, 16, 32, 64, 128, 256};

std::vector<char> cell(const std::string& text, std::size_t width) {
  std::vector<char> c(width);
  vela::ParserUtils::packCharN(text, width, reinterpret_cast<unsigned char*>(c.data()));
  return c;
}

struct FreeString {
  void operator()(InlineBuffer<char>* b) const { InlineBuffer<char>::deallocate(b); }
};
using StringPtr = std::unique_ptr<InlineBuffer<char>, FreeString>;
StringPtr heapString(const std::string& text) {
  StringPtr b(InlineBuffer<char>::allocate(text.size()));
  if (!text.empty())
    std::memcpy(b->data(), text.data(), text.size());
  return b;
}

// ---------------------------------------------------------------------------------------------------
// LIKE model: the pattern cut into tokens, then an exhaustive search over (token, text position).

bool letter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
unsigned char lowered(unsigned char c) {
  return letter(c) ? static_cast<unsigned char>(std::tolower(c)) : c;
}

struct Token {
  enum Kind { Star, One, Set, Byte } kind;
  bool members[256] = {}; // Set: the members, folded
  bool negated = false;
  unsigned char byte = 0; // Byte: the byte, folded
};

std::vector<Token> tokens(const std::string& p, char escape, bool fold) {
  std::vector<Token> out;
  auto literal = [&](unsigned char b) {
    Token t{Token::Byte};
    t.byte = fold ? lowered(b) : b;
    out.push_back(t);
  };
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (escape != 0 && p[i] == escape) {
      literal(i + 1 < p.size() ? static_cast<unsigned char>(p[++i]) : c);
    } else if (c == '%') {
      out.push_back(Token{Token::Star});
    } else if (c == '_') {
      out.push_back(Token{Token::One});
    } else if (c == '[' &&
               p.find(']', i + (i + 1 < p.size() && p[i + 1] == '^' ? 2 : 1)) != std::string::npos) {
      const bool negated = p[i + 1] == '^';
      const std::size_t from = i + 1 + negated, close = p.find(']', from);
      Token t{Token::Set};
      t.negated = negated;
      for (std::size_t m = from; m < close; ++m) {
        int lo = static_cast<unsigned char>(p[m]), hi = lo;
        if (m + 2 < close && p[m + 1] == '-')
          hi = static_cast<unsigned char>(p[m += 2]);
        for (int x = std::min(lo, hi); x <= std::max(lo, hi); ++x)
          t.members[fold ? lowered(static_cast<unsigned char>(x)) : x] = true;
      }
      out.push_back(t);
      i = close;
    } else {
      literal(c);
    }
  }
  return out;
}

bool modelLike(const std::string& text, const std::string& pattern, char escape, int flags) {
  const bool noNewline = flags & 1, fold = flags & 2;
  const std::vector<Token> ts = tokens(pattern, escape, fold);
  // memo[k][j]: tokens k.. match text j..; 0 unknown, 1 no, 2 yes.
  std::vector<std::vector<char>> memo(ts.size() + 1, std::vector<char>(text.size() + 1, 0));
  auto match = [&](auto& self, std::size_t k, std::size_t j) -> bool {
    if (k == ts.size())
      return j == text.size();
    if (memo[k][j] != 0)
      return memo[k][j] == 2;
    const Token& t = ts[k];
    bool ok = false;
    const bool more = j < text.size();
    const auto c = more ? static_cast<unsigned char>(text[j]) : 0;
    const bool wildOk = more && !(noNewline && c == 10);
    const unsigned char key = fold ? lowered(c) : c;
    if (t.kind == Token::Star)
      ok = self(self, k + 1, j) || (wildOk && self(self, k, j + 1));
    else if (t.kind == Token::One)
      ok = wildOk && self(self, k + 1, j + 1);
    else if (t.kind == Token::Set)
      ok = more && t.members[key] != t.negated && self(self, k + 1, j + 1);
    else
      ok = more && t.byte == key && self(self, k + 1, j + 1);
    memo[k][j] = ok ? 2 : 1;
    return ok;
  };
  return match(match, 0, 0);
}

// like_match in every form the text fits: heap strings, and charN cells of each width that holds it
// (the pattern as a char256 cell). Returns the common answer; a disagreement between forms fails.
bool likeAllForms(const std::string& text, const std::string& pattern, char escape, int flags) {
  const auto sf = static_cast<signed char>(flags);
  const StringPtr s = heapString(text), p = heapString(pattern);
  const bool answer = vela::cuda::like_match<true>(s->data(), static_cast<int>(text.size()), p->data(),
                                                   static_cast<int>(pattern.size()), escape, sf);
  if (text.find('\0') != std::string::npos || pattern.find('\0') != std::string::npos || pattern.size() > 256)
    return answer;
  const std::vector<char> p256 = cell(pattern, 256);
  for (int w : kWidths)
    if (static_cast<std::size_t>(w) >= text.size()) {
      const std::vector<char> t = cell(text, w);
      EXPECT_EQ(vela::cuda::like_match<false>(t.data(), w, p256.data(), 256, escape, sf), answer)
          << "char" << w << " '" << text << "' LIKE '" << pattern << "'";
    }
  return answer;
}

TEST(MatchersLike, EdgeCases) {
  struct Row {
    std::string text, pattern;
    char escape;
    int flags;
    bool expected;
  };
  // clang-format off
  const Row rows[] = {
      {"abc", "a%", 0, 0, true}, {"abc", "%c", 0, 0, true}, {"abc", "a_c", 0, 0, true},
      {"abc", "_", 0, 0, false}, {"", "%", 0, 0, true}, {"", "", 0, 0, true},
      {"a", "", 0, 0, false}, {"", "%%%", 0, 0, true}, {"", "_", 0, 0, false},
      {"", "%_", 0, 0, false}, {"abc", "%%c", 0, 0, true}, {"abcbc", "%bc", 0, 0, true},
      {"abcbd", "a%bc", 0, 0, false}, {"aXbXc", "a%b%c", 0, 0, true}, {"ab", "a%b%", 0, 0, true},
      // sets: ranges, reversed ranges, negation, "-" at the edges, "[]" and "[^]"; under bit 0 a set
      // may still match a newline
      {"abc", "[a-c]bc", 0, 0, true}, {"abc", "[^a]bc", 0, 0, false}, {"b", "[c-a]", 0, 0, true},
      {"d", "[c-a]", 0, 0, false}, {"-", "[a-]", 0, 0, true}, {"-", "[-a]", 0, 0, true},
      {"b", "[a-]", 0, 0, false}, {"x", "[]", 0, 0, false}, {"x", "[^]", 0, 0, true},
      {"]", "[]]", 0, 0, false}, {"x]", "[^]]", 0, 0, true}, {"a]", "[a]]", 0, 0, true},
      {"\n", "[^a]", 0, 1, true},
      // an unterminated "[" is an ordinary character
      {"a[b", "a[b", 0, 0, true}, {"ab", "a[b", 0, 0, false}, {"[", "[^", 0, 0, false},
      {"[^", "[^", 0, 0, true}, {"x[", "%[", 0, 0, true},
      // escape
      {"50%", "50!%", '!', 0, true}, {"505", "50!%", '!', 0, false}, {"a_", "a!_", '!', 0, true},
      {"ab", "a!_", '!', 0, false}, {"[a]", "![a]", '!', 0, true}, {"a", "![a]", '!', 0, false},
      {"!", "!!", '!', 0, true}, {"!", "!", '!', 0, true}, {"a!", "a!", '!', 0, true},
      {"a", "a!", '!', 0, false}, {"%", "%", '%', 0, true}, {"x", "%", '%', 0, false},
      {"", "%", '%', 0, false}, {"%", "%%", '%', 0, true}, {"a%", "a\\%", '\\', 0, true},
      // case folding: both sides and set members, folded ranges
      {"ABC", "a%c", 0, 2, true}, {"ABC", "a%c", 0, 0, false}, {"Q", "[a-z]", 0, 2, true},
      {"q", "[A-Z]", 0, 2, true}, {"Q", "[a-z]", 0, 0, false}, {"[", "[Z-a]", 0, 2, true},
      {"B", "[Z-a]", 0, 2, false}, {"A", "[Z-a]", 0, 2, true}, {"@", "`", 0, 2, false},
      {"A", "!a", '!', 2, true}, {"{", "[", 0, 2, false}, {"B", "[^b]", 0, 2, false},
      // newlines under bit 0
      {"a\nb", "%", 0, 1, false}, {"a\nb", "%", 0, 0, true}, {"a\nb", "a_b", 0, 1, false},
      {"a\nb", "a\n%", 0, 1, true}, {"a\nb", "%b", 0, 1, false}, {"\nb", "%\nb", 0, 1, true},
      {"a\n\n", "a%\n_", 0, 1, false}, {"ab\n", "%b\n", 0, 1, true},
  };
  // clang-format on
  for (const Row& r : rows) {
    EXPECT_EQ(likeAllForms(r.text, r.pattern, r.escape, r.flags), r.expected)
        << "'" << r.text << "' LIKE '" << r.pattern << "' escape " << int(r.escape) << " flags " << r.flags;
    EXPECT_EQ(modelLike(r.text, r.pattern, r.escape, r.flags), r.expected) << "model: " << r.pattern;
  }
  // One backtrack point under bit 0: the first "%" would have to take "ay" so that "a[^x]" takes the
  // newline, but only the last "%" is retried; the model finds the match.
  EXPECT_FALSE(likeAllForms("aya\nc", "%a[^x]%c", 0, 1));
  EXPECT_TRUE(modelLike("aya\nc", "%a[^x]%c", 0, 1));
  EXPECT_TRUE(likeAllForms("aya\nc", "%a[^x]%c", 0, 0));
}

TEST(MatchersLike, TextOfTheFullWidthAndHeapStringsWithNul) {
  // A text of exactly N bytes has no terminating NUL in its cell; a pattern of 256 characters fills the
  // pattern cell.
  for (int w : kWidths) {
    const std::string full(w, 'x');
    const std::vector<char> t = cell(full, w);
    EXPECT_TRUE(vela::cuda::like_match<false>(t.data(), w, cell(std::string(w, '_'), 256).data(), 256, 0, 0));
    EXPECT_FALSE(
        vela::cuda::like_match<false>(t.data(), w, cell(std::string(w - 1, '_'), 256).data(), 256, 0, 0));
    if (w < 256) {
      EXPECT_FALSE(vela::cuda::like_match<false>(t.data(), w, cell(full + "_", 256).data(), 256, 0, 0));
    }
    EXPECT_TRUE(
        vela::cuda::like_match<false>(t.data(), w, cell(full.substr(1) + "%", 256).data(), 256, 0, 0));
  }
  const std::string p256 = std::string(255, '%') + "x";
  EXPECT_TRUE(likeAllForms("abx", p256, 0, 0));
  // A heap string's NUL is an ordinary byte; the width/length <= 0 is the empty text.
  EXPECT_TRUE(likeAllForms("a\0b"s, "a_b", 0, 0));
  EXPECT_FALSE(likeAllForms("a\0b"s, "a", 0, 0));
  EXPECT_TRUE(vela::cuda::like_match<true>("abc", 0, "%", 1, 0, 0));
  EXPECT_FALSE(vela::cuda::like_match<true>("abc", -3, "_", 1, 0, 0));
}

TEST(MatchersLike, AgreesWithAnExhaustiveModel) {
  std::mt19937 gen(20240611);
  const std::string textBytes = "abAB\n-]"s, patternBytes = "abAB%%__[]^-!\n"s;
  const char escapes[] = {0, '!', '%', 'a'};
  int matches = 0, exact = 0;
  for (int n = 0; n < 20000; ++n) {
    auto draw = [&](const std::string& alphabet, int maxLen) {
      std::string s(std::uniform_int_distribution<int>(0, maxLen)(gen), ' ');
      for (char& c : s)
        c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(gen)];
      return s;
    };
    std::string text = draw(textBytes, 9);
    if (n % 10 == 0 && !text.empty())
      text[gen() % text.size()] = '\0'; // heap strings only
    const char escape = escapes[gen() % 4];
    // Half the patterns are random, half are made from the text, so that both outcomes are frequent.
    std::string pattern = draw(patternBytes, 8);
    if (n % 2 == 1) {
      pattern.clear();
      for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        const char c = text[i];
        const std::string one(1, c),
            forms[] = {"_",
                       "%",
                       "["s + static_cast<char>(c - 1) + "-" + static_cast<char>(c + 1) + "]",
                       "[^a]",
                       std::string(1, static_cast<char>(letter(c) ? c ^ 32 : c)),
                       escape != 0 ? std::string{escape, c} : one,
                       one};
        const std::size_t pick = gen() % 7;
        pattern += forms[pick];
        i += pick == 1 ? gen() % 3 : 0; // "%" stands for up to three characters
      }
    }
    const int flags = static_cast<int>(gen() % 4);
    const bool model = modelLike(text, pattern, escape, flags),
               got = likeAllForms(text, pattern, escape, flags);
    if ((flags & 1) && text.find('\n') != std::string::npos) {
      // One backtrack point can miss a match whose newline an earlier "%" would have to let through,
      // never invent one.
      EXPECT_TRUE(!got || model) << "'" << text << "' LIKE '" << pattern << "' flags " << flags;
    } else {
      ++exact;
      ASSERT_EQ(got, model) << "'" << text << "' LIKE '" << pattern << "' escape " << int(escape) << " flags "
                            << flags;
    }
    matches += got;
  }
  // The generator must give both outcomes often, and compare most cases exactly.
  EXPECT_GT(matches, 4000);
  EXPECT_LT(matches, 16000);
  EXPECT_GT(exact, 15000);
}

// ---------------------------------------------------------------------------------------------------
// Soundex and DIFFERENCE

TEST(MatchersSoundex, LetterClasses) {
  const std::pair<const char*, int> classes[] = {{"BFPV", 1}, {"CGJKQSXZ", 2}, {"DT", 3},    {"L", 4},
                                                 {"MN", 5},   {"R", 6},        {"AEIOU", -1}};
  for (int b = 0; b < 256; ++b) {
    int expected = 0;
    for (const auto& [letters, k] : classes)
      if (std::strchr(letters, std::toupper(b)) != nullptr && b != 0 && letter(static_cast<unsigned char>(b)))
        expected = k;
    EXPECT_EQ(vela::cuda::soundex_code(static_cast<char>(b)), expected) << b;
  }
}

// The code of a text in every form: heap string and each cell width that holds it; all must agree.
std::string soundexAllForms(const std::string& text) {
  char out[4];
  const StringPtr s = heapString(text);
  vela::cuda::soundex1<true>(s->data(), out, static_cast<int>(text.size()));
  const std::string code = vela::ParserUtils::unpackCharN(reinterpret_cast<unsigned char*>(out), 4);
  for (int w : kWidths)
    if (static_cast<std::size_t>(w) >= text.size()) {
      char outCell[4] = {1, 1, 1, 1};
      vela::cuda::soundex1<false>(cell(text, w).data(), outCell, w);
      EXPECT_EQ(std::memcmp(out, outCell, 4), 0) << "char" << w << " '" << text << "'";
    }
  return code;
}

TEST(MatchersSoundex, ClassicNamesAsChar4Cells) {
  const std::pair<std::string, std::string> rows[] = {{"Robert", "R163"},
                                                      {"Rupert", "R163"},
                                                      {"Ashcraft", "A261"},
                                                      {"Tymczak", "T522"},
                                                      {"Pfister", "P236"},
                                                      {"Honeyman", "H555"},
                                                      {"Jackson", "J250"},
                                                      {"Washington", "W252"},
                                                      {"Lee", "L000"},
                                                      {"Gutierrez", "G362"},
                                                      {"Lloyd", "L300"},
                                                      {"robert", "R163"},
                                                      {"  12robert", "R163"},
                                                      {"Ab-c", "A120"},
                                                      {"x", "X000"},
                                                      {"123", ""},
                                                      {"", ""},
                                                      {"-- .", ""},
                                                      {"Bbbbbbbbbbb", "B000"},
                                                      {"Rrrrobert", "R163"}};
  for (const auto& [text, code] : rows)
    EXPECT_EQ(soundexAllForms(text), code) << text;
  // The cell of "R163": 'R' in the most significant byte of the 32-bit value.
  char out[4];
  vela::cuda::soundex1<true>("Robert", out, 6);
  std::uint32_t value;
  std::memcpy(&value, out, 4);
  EXPECT_EQ(value, 0x52313633u);
  EXPECT_EQ(std::memcmp(out, cell("R163", 4).data(), 4), 0);
  vela::cuda::soundex1<false>(cell("Robert", 8).data(), out, 0); // width 0: the empty text
  std::memcpy(&value, out, 4);
  EXPECT_EQ(value, 0u);
}

TEST(MatchersSoundex, Difference) {
  const std::tuple<std::string, std::string, int> rows[] = {
      {"Robert", "Rupert", 4}, {"Robert", "Tymczak", 0}, {"Lee", "Lloyd", 3}, {"123", "", 4},
      {"123", "Lee", 0},       {"Smith", "Smythe", 4},   {"Ann", "Andy", 3}};
  for (const auto& [a, b, expected] : rows) {
    const StringPtr sa = heapString(a), sb = heapString(b);
    EXPECT_EQ(vela::cuda::soundex_difference_of<true>(sa->data(), static_cast<int>(a.size()), sb->data(),
                                                      static_cast<int>(b.size())),
              expected)
        << a << " / " << b;
    EXPECT_EQ(vela::cuda::soundex_difference_of<false>(cell(a, 16).data(), 16, cell(b, 16).data(), 16),
              expected);
  }
}

// ---------------------------------------------------------------------------------------------------
// Edit distance

// Full-matrix Levenshtein with 8-bit cells: each cell the minimum of its int candidates, kept modulo 256.
int modelDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::uint8_t>> d(a.size() + 1, std::vector<std::uint8_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i)
    for (std::size_t j = 0; j <= b.size(); ++j)
      d[i][j] =
          static_cast<std::uint8_t>(i == 0   ? j
                                    : j == 0 ? i
                                             : std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                                         d[i - 1][j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)}));
  return d[a.size()][b.size()];
}

std::string randomText(std::mt19937& gen, std::size_t maxLen, const std::string& alphabet) {
  std::string s(std::uniform_int_distribution<std::size_t>(0, maxLen)(gen), ' ');
  for (char& c : s)
    c = alphabet[gen() % alphabet.size()];
  return s;
}

template <std::size_t N>
void checkCellDistances(std::mt19937& gen) {
  for (int n = 0; n < 300; ++n) {
    std::string a = randomText(gen, N, "abc"), b = randomText(gen, N, "abc");
    if (n % 7 == 0)
      a = std::string(N, 'a'); // a text that fills its cell
    EXPECT_EQ(vela::cuda::edit_distance<N>(cell(a, N).data(), cell(b, N).data()), modelDistance(a, b))
        << "char" << N << " '" << a << "' '" << b << "'";
  }
}

TEST(MatchersEditDistance, CellsOfEveryWidthAgainstTheModel) {
  std::mt19937 gen(77);
  checkCellDistances<1>(gen);
  checkCellDistances<2>(gen);
  checkCellDistances<4>(gen);
  checkCellDistances<8>(gen);
  checkCellDistances<16>(gen);
  checkCellDistances<32>(gen);
  checkCellDistances<64>(gen);
  checkCellDistances<128>(gen);
  checkCellDistances<256>(gen);
  EXPECT_EQ(vela::cuda::edit_distance<8>(cell("flaw", 8).data(), cell("lawn", 8).data()), 2);
  EXPECT_EQ(vela::cuda::edit_distance<4>(cell("", 4).data(), cell("abc", 4).data()), 3);
  // Full char256 texts with no byte in common: 256 or 255 edits, the first reduced modulo 256.
  const std::string x(256, 'x'), y(256, 'y');
  for (const std::string& other : {y, y.substr(1), std::string()})
    EXPECT_EQ(vela::cuda::edit_distance<256>(cell(x, 256).data(), cell(other, 256).data()),
              modelDistance(x, other));
  EXPECT_EQ(vela::cuda::edit_distance<256>(cell(x, 256).data(), cell("", 256).data()), 0); // 256 deletions
}

TEST(MatchersEditDistance, HeapStrings) {
  auto distance = [](const std::optional<std::string>& a, const std::optional<std::string>& b) {
    const StringPtr sa = a ? heapString(*a) : nullptr, sb = b ? heapString(*b) : nullptr;
    return vela::cuda::StringBufferEditDistance(sa.get(), sb.get());
  };
  EXPECT_EQ(distance("flaw", "lawn"), 2);
  EXPECT_EQ(distance("", "abc"), 3);
  EXPECT_EQ(distance(std::nullopt, "abc"), 0);
  EXPECT_EQ(distance("abc", std::nullopt), 0);
  EXPECT_EQ(distance(std::nullopt, std::nullopt), 0);
  EXPECT_EQ(distance("a\0b"s, "a\0c"s), 1);
  EXPECT_EQ(distance("a\0b"s, "a"s), 2);
  std::mt19937 gen(5);
  // Short pairs on the stack rows; pairs whose shorter text is around the stack row size; long pairs
  // whose distance passes 256 and is reduced modulo 256.
  for (int n = 0; n < 400; ++n) {
    const std::string a = randomText(gen, 40, "abcd\0"s), b = randomText(gen, 40, "abcd\0"s);
    ASSERT_EQ(distance(a, b), modelDistance(a, b)) << "'" << a << "' '" << b << "'";
  }
  const std::size_t edge = vela::cuda::kEditDistanceStackRow;
  for (std::size_t len : {edge - 2, edge - 1, edge, edge + 1}) {
    const std::string a(len, 'a'), b(len + 3, 'b');
    EXPECT_EQ(distance(a, b), modelDistance(a, b)) << len;
    EXPECT_EQ(distance(b, a), modelDistance(a, b)) << len;
  }
  for (int n = 0; n < 4; ++n) {
    std::string a = randomText(gen, 900, "abc"), b = randomText(gen, 900, "xyz");
    a += std::string(600, 'q');
    b += std::string(600, 'r');
    EXPECT_GE(a.size(), 600u);
    EXPECT_EQ(distance(a, b), modelDistance(a, b)) << a.size() << " x " << b.size();
  }
  EXPECT_EQ(distance(std::string(300, 'a'), ""), 300 % 256);
  EXPECT_EQ(distance(std::string(700, 'a'), std::string(700, 'b')),
            modelDistance(std::string(700, 'a'), std::string(700, 'b')));
}

TEST(MatchersEditDistance, LongRowsAreChargedToThePoolAndGivenBack) {
  const StringPtr a = heapString(std::string(2000, 'a')), b = heapString(std::string(1500, 'b'));
  vela::RamPool pool("edit distance", 1 << 20);
  {
    vela::RamPoolThreadBinding bind(&pool);
    EXPECT_EQ(vela::cuda::StringBufferEditDistance(a.get(), b.get()),
              modelDistance(std::string(2000, 'a'), std::string(1500, 'b')));
  }
  EXPECT_GE(pool.peakBytes(), 2u * 1501u);
  EXPECT_EQ(pool.reservedBytes(), 0u);
  vela::RamPool tight("tight", 1000);
  vela::RamPoolThreadBinding bind(&tight);
  EXPECT_THROW(vela::cuda::StringBufferEditDistance(a.get(), b.get()), vela::VelaException);
  EXPECT_EQ(tight.reservedBytes(), 0u);
  const StringPtr shortText = heapString("kitten"), other = heapString(std::string(3000, 'x'));
  EXPECT_EQ(vela::cuda::StringBufferEditDistance(shortText.get(), other.get()),
            modelDistance("kitten", std::string(3000, 'x')));
  EXPECT_EQ(tight.peakBytes(), 0u); // a short text keeps its rows on the stack
}

} // namespace
