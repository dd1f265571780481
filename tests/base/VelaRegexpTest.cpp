// VelaRegexp: the engine calls on texts, charN cells and heap strings, with hand-computed results.
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "base/VelaException.h"
#include "base/VelaRegexp.h"

using vela::VelaRegexp;

namespace {

// A heap string laid out as the evaluator holds it (64-bit length, then the bytes), built here
// independently of the evaluator's own class.
struct FakeString {
  std::vector<std::uint64_t> words;
  explicit FakeString(const std::string& text) : words(1 + (text.size() + 7) / 8) {
    words[0] = text.size();
    std::memcpy(words.data() + 1, text.data(), text.size());
  }
  const vela::cuda::InlineBuffer<char>* get() const {
    return reinterpret_cast<const vela::cuda::InlineBuffer<char>*>(words.data());
  }
};

std::vector<char> cellOf(const std::string& text, std::size_t width) {
  std::vector<char> cell(width);
  vela::ParserUtils::packCharN(text, width, reinterpret_cast<unsigned char*>(cell.data()));
  return cell;
}
std::string textOf(const std::vector<char>& cell) {
  return vela::ParserUtils::unpackCharN(reinterpret_cast<const unsigned char*>(cell.data()), cell.size());
}

struct MatchRow {
  const char *text, *pattern, *flags;
  bool expected;
};
// clang-format off
const MatchRow kMatch[] = {
    {"abc", "^a", "", true}, {"abc", "^b", "", false}, {"abc", "c$", "", true},
    {"hotdog", "cat|dog", "", true}, {"hotcow", "cat|dog", "", false}, {"abc", "[0-9]", "", false},
    {"a1c", "[[:digit:]]", "", true}, {"a_c", "\\w\\W?\\w", "", true}, {"ABC", "abc", "", false},
    {"ABC", "abc", "i", true}, {"ABC", "abc", "ic", false}, {"ABC", "abc", "ci", true},
    {"a\nb", "^b$", "", false}, {"a\nb", "^b$", "m", true}, {"a\nb", "a.b", "", false},
    {"a\nb", "a.b", "n", true}, {"", "", "", true}, {"", "^$", "", true}, {"", "a", "", false},
    {"aaa", "^a{3}$", "", true}, {"aaaa", "^a{3}$", "", false},
    {"\xe9t\xe9", "^.t.$", "", true}, // bytes, not UTF-8: one byte is one character
    {"\xc9", "\xe9", "i", true},  // Latin-1 letters fold too
    {"\xc9", "\xe9", "", false},
};
// clang-format on

TEST(VelaRegexp, MatchFindsThePatternAnywhere) {
  for (const MatchRow& r : kMatch) {
    const VelaRegexp re(r.pattern, r.flags);
    EXPECT_EQ(re.matchText(r.text), r.expected) << r.text << " ~ " << r.pattern << " /" << r.flags;
  }
}

struct CountRow {
  const char *text, *pattern;
  int start, expected;
};
const CountRow kCount[] = {
    {"banana", "an", 1, 2}, {"banana", "an", 3, 1}, {"banana", "a", 0, 0}, {"banana", "a", -5, 0},
    {"banana", "a", 6, 1},  {"banana", "a", 7, 0},  {"banana", "$", 7, 1}, {"banana", "a", 8, 0},
    {"aaaa", "aa", 1, 2},   {"abc", "x*", 1, 4},    {"baaac", "a*", 1, 4}, {"", "x*", 1, 1},
    {"", "x", 1, 0},        {"abc", "^", 1, 1},     {"abc", "^", 2, 0},    {"ab c", "\\bc", 2, 1},
    {"abc", "\\bc", 2, 0},  {"AbAB", "ab", 1, 0},
};

TEST(VelaRegexp, CountScansFromTheStartAndStepsOverEmptyMatches) {
  for (const CountRow& r : kCount)
    EXPECT_EQ(VelaRegexp(r.pattern).countText(r.text, r.start), r.expected)
        << r.text << " ~ " << r.pattern << " from " << r.start;
  EXPECT_EQ(VelaRegexp("ab", "i").countText("AbAB", 1), 2);
}

struct InstrRow {
  const char *text, *pattern;
  int start, occurrence, option, group, expected;
};
// clang-format off
const InstrRow kInstr[] = {
    {"banana", "an", 1, 1, 0, 0, 2}, {"banana", "an", 1, 2, 0, 0, 4}, {"banana", "an", 1, 3, 0, 0, 0},
    {"banana", "an", 1, 1, 1, 0, 4}, {"banana", "an", 3, 1, 0, 0, 4}, {"banana", "an", 1, 0, 0, 0, 0},
    {"banana", "an", 1, -1, 0, 0, 0}, {"banana", "an", 1, 1, 2, 0, 0}, {"banana", "an", 1, 1, -1, 0, 0},
    {"banana", "an", 0, 1, 0, 0, 0}, {"banana", "an", 7, 1, 0, 0, 0}, {"banana", "$", 7, 1, 0, 0, 7},
    {"banana", "a", 8, 1, 0, 0, 0}, {"ab12cd34", "([a-z]+)([0-9]+)", 1, 2, 0, 2, 7},
    {"ab12cd34", "([a-z]+)([0-9]+)", 1, 2, 1, 2, 9}, {"ab12cd34", "([a-z]+)([0-9]+)", 1, 1, 0, 1, 1},
    {"ab12cd34", "([a-z]+)([0-9]+)", 1, 1, 0, 3, 0}, {"ab12cd34", "([a-z]+)([0-9]+)", 1, 1, 0, -1, 0},
    {"abc", "(x)?b", 1, 1, 0, 1, 0}, // the group took no part
    {"abc", "x*", 1, 2, 0, 0, 2}, {"abc", "x*", 1, 4, 1, 0, 4}, {"", "x*", 1, 1, 0, 0, 1},
};
// clang-format on

TEST(VelaRegexp, InstrGivesOneBasedPositionsOfOccurrencesAndGroups) {
  for (const InstrRow& r : kInstr)
    EXPECT_EQ(VelaRegexp(r.pattern).instrText(r.text, r.start, r.occurrence, r.option, r.group), r.expected)
        << r.text << " ~ " << r.pattern << " " << r.start << "," << r.occurrence << "," << r.option << ","
        << r.group;
}

struct SubstrRow {
  const char *text, *pattern;
  int start, occurrence, group;
  const char* expected;
};
// clang-format off
const SubstrRow kSubstr[] = {
    {"banana", "an", 1, 1, 0, "an"}, {"banana", "n.", 1, 2, 0, "na"}, {"banana", "an.", 1, 2, 0, ""},
    {"banana", "an", 1, 3, 0, ""}, {"ab12cd34", "([a-z]+)([0-9]+)", 1, 2, 1, "cd"},
    {"ab12cd34", "([a-z]+)([0-9]+)", 1, 2, 2, "34"}, {"ab12cd34", "([a-z]+)([0-9]+)", 4, 1, 0, "cd34"},
    {"ab12cd34", "([a-z]+)([0-9]+)", 1, 1, 3, ""}, {"hello world", "o\\s*w", 1, 1, 0, "o w"},
    {"hello world", "o", 6, 1, 0, "o"}, {"x123y45", "[[:digit:]]+", 1, 2, 0, "45"},
    {"x123y45", "[[:digit:]]+", 0, 1, 0, ""}, {"x123y45", "[[:digit:]]+", 1, 0, 0, ""},
    {"x123y45", "[[:digit:]]+", 9, 1, 0, ""},
};
// clang-format on

TEST(VelaRegexp, SubstrGivesTheMatchOrItsGroup) {
  for (const SubstrRow& r : kSubstr)
    EXPECT_EQ(VelaRegexp(r.pattern).substrText(r.text, r.start, r.occurrence, r.group), r.expected)
        << r.text << " ~ " << r.pattern;
}

struct ReplaceRow {
  const char *text, *pattern, *flags, *replacement;
  int start, occurrence;
  std::optional<std::string> expected; // nullopt: the text unchanged (no result built)
};
// clang-format off
const ReplaceRow kReplace[] = {
    {"banana", "an", "", "<\\0>", 1, 0, "b<an><an>a"}, {"banana", "an", "", "<\\0>", 1, 2, "ban<an>a"},
    {"banana", "an", "", "<\\0>", 1, 3, std::nullopt}, {"banana", "an", "", "<\\0>", 3, 1, "ban<an>a"},
    {"banana", "an", "", "<\\0>", 0, 0, std::nullopt}, {"banana", "an", "", "<\\0>", 8, 0, std::nullopt},
    {"banana", "an", "", "<\\0>", 1, -1, std::nullopt}, {"banana", "x", "", "-", 1, 0, std::nullopt},
    {"abc", "x*", "", "-", 1, 0, "-a-b-c-"}, {"baaac", "a*", "", "-", 1, 0, "-b--c-"},
    {"abc", "x*", "", "-", 2, 2, "ab-c"}, {"", "x*", "", "-", 1, 0, "-"},
    {"", "x", "", "-", 1, 0, std::nullopt},
    {"john smith", "(\\w+) (\\w+)", "", "\\2, \\1", 1, 0, "smith, john"},
    {"a.b", "\\.", "", "\\\\", 1, 0, "a\\b"}, {"ac", "a(x)?c", "", "[\\1]", 1, 0, "[]"},
    {"aAa", "a", "i", "-", 1, 0, "---"}, {"aAa", "a", "", "-", 1, 0, "-A-"},
    {"a\nb\nc", "^", "m", "> ", 1, 0, "> a\n> b\n> c"}, {"abc", "b", "", "", 1, 0, "ac"},
};
// clang-format on

TEST(VelaRegexp, ReplaceRewritesTheChosenOccurrences) {
  for (const ReplaceRow& r : kReplace) {
    const VelaRegexp re(r.pattern, r.flags, r.replacement);
    std::string out = "kept:";
    const bool changed = re.replaceText(r.text, r.start, r.occurrence, out);
    EXPECT_EQ(changed, r.expected.has_value()) << r.text << " ~ " << r.pattern;
    EXPECT_EQ(out, "kept:" + r.expected.value_or("")) << r.text << " ~ " << r.pattern;
  }
}

TEST(VelaRegexp, ReplaceStopsAtTheLimit) {
  const VelaRegexp re("b", "", "XYZ");
  std::string out;
  EXPECT_TRUE(re.replaceText("abcb", 1, 0, out, 5));
  EXPECT_EQ(out, "aXYZc");
}

// Patterns, flags and replacements the engine refuses: at construction, naming the pattern.
struct RefusalRow {
  std::string pattern;
  const char *flags, *replacement, *reason;
};
TEST(VelaRegexp, InvalidPatternsAreRefusedAtConstruction) {
  const RefusalRow rows[] = {
      {"(", "", "", "missing )"},
      {"a**", "", "", "bad repetition"},
      {"a{2,1}", "", "", "invalid repetition size"},
      {"(a)\\1", "", "", "invalid escape"},
      {"[b-a]", "", "", "invalid character class range"},
      {"a", "x", "", "the flags are c, i, m and n"},
      {"(a)", "", "\\2", "names a group the pattern does not have"},
      {"a", "", "\\q", "a backslash is followed by"},
      {"a", "", "x\\", "a backslash is followed by"},
      {std::string(50000, '(') + std::string(50000, ')'), "", "", "nest deeper than 1000"},
  };
  for (const RefusalRow& r : rows) {
    try {
      VelaRegexp re(r.pattern, r.flags, r.replacement);
      ADD_FAILURE() << "accepted " << r.pattern.substr(0, 20);
    } catch (const vela::VelaException& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(r.reason), std::string::npos) << what;
      EXPECT_NE(what.find("'" + r.pattern.substr(0, 20)), std::string::npos) << what;
      ASSERT_TRUE(e.status().has_value());
      EXPECT_EQ(e.status()->kind(), vela::StatusEnum::InvalidArgument);
    }
  }
  // 1000 levels are accepted.
  EXPECT_TRUE(VelaRegexp(std::string(1000, '(') + "a" + std::string(1000, ')')).matchText("a"));
}

TEST(VelaRegexp, PathologicalPatternsRunInLinearTime) {
  const auto began = std::chrono::steady_clock::now();
  const VelaRegexp re("(a+)+$");
  EXPECT_FALSE(re.matchText(std::string(40, 'a') + "b"));
  const std::string big = std::string(100000, 'a') + "b";
  EXPECT_EQ(VelaRegexp("(a|aa)*b").countText(big, 1), 1);
  EXPECT_EQ(VelaRegexp("(x+x+)+y").countText(std::string(100000, 'x'), 1), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
}

// charN cells: the text is read from the highest byte; rewrites are cut at the width, zero tail.
TEST(VelaRegexp, CellsAreReadInReadingOrderAndRewrittenInPlace) {
  EXPECT_TRUE(VelaRegexp("^ban").match(cellOf("banana", 8).data(), 8));
  EXPECT_FALSE(VelaRegexp("^nan").match(cellOf("banana", 8).data(), 8));
  EXPECT_EQ(VelaRegexp("a").count(cellOf("banana", 16).data(), 1, 16), 3);
  EXPECT_EQ(VelaRegexp("n").instr(cellOf("banana", 8).data(), 1, 2, 1, 0, 8), 6);
  EXPECT_TRUE(VelaRegexp("^z$").match(cellOf("z", 1).data(), 1));
  EXPECT_TRUE(VelaRegexp("^a{256}$").match(cellOf(std::string(256, 'a'), 256).data(), 256));

  auto cell = cellOf("abcd", 4);
  VelaRegexp("b", "", "XYZ").replace(cell.data(), 1, 0, 4);
  EXPECT_EQ(std::string(cell.rbegin(), cell.rend()), "aXYZ");
  cell = cellOf("abc", 8);
  VelaRegexp("b", "", "").replace(cell.data(), 1, 0, 8);
  EXPECT_EQ(textOf(cell), "ac");
  EXPECT_EQ(std::vector<char>(cell.begin(), cell.begin() + 6), std::vector<char>(6, 0)) << "zero tail";
  cell = cellOf(std::string(256, 'a'), 256);
  VelaRegexp("a", "", "bb").replace(cell.data(), 1, 0, 256);
  EXPECT_EQ(textOf(cell), std::string(256, 'b'));
  cell = cellOf("abc", 8);
  VelaRegexp("x", "", "y").replace(cell.data(), 1, 0, 8);
  EXPECT_EQ(cell, cellOf("abc", 8)) << "unchanged";

  cell = cellOf("ab12cd34", 16);
  VelaRegexp("([a-z]+)([0-9]+)").substr(cell.data(), 1, 2, 2, 16);
  EXPECT_EQ(cell, cellOf("34", 16));
  VelaRegexp("z").substr(cell.data(), 1, 1, 0, 16);
  EXPECT_EQ(cell, std::vector<char>(16, 0)) << "no match: empty";
}

TEST(VelaRegexp, HeapStringsAndNulls) {
  const FakeString s("ab12cd34");
  const VelaRegexp re("([a-z]+)([0-9]+)", "", "\\2\\1");
  EXPECT_TRUE(re.matchForward(s.get()));
  EXPECT_FALSE(re.matchForward(nullptr));
  EXPECT_EQ(re.countForward(s.get(), 1), 2);
  EXPECT_EQ(re.countForward(nullptr, 1), 0);
  EXPECT_EQ(re.instrForward(s.get(), 1, 2, 0, 1), 5);
  EXPECT_EQ(re.instrForward(nullptr, 1, 1, 0, 0), 0);
  vela::RegexpOutputBuffer out;
  EXPECT_EQ(re.replaceForward(s.get(), 1, 0, out), "12ab34cd");
  EXPECT_EQ(re.replaceForward(nullptr, 1, 0, out), "");
  // Unchanged and substring results are views into the input itself.
  const std::string_view same = re.replaceForward(s.get(), 1, 3, out);
  EXPECT_EQ(same.data(), reinterpret_cast<const char*>(s.words.data() + 1));
  EXPECT_EQ(same.size(), 8u);
  const std::string_view piece = re.substrForward(s.get(), 1, 2, 1, nullptr);
  EXPECT_EQ(piece, "cd");
  EXPECT_EQ(piece.data(), reinterpret_cast<const char*>(s.words.data() + 1) + 4);
  EXPECT_EQ(re.substrForward(nullptr, 1, 1, 0, nullptr), "");

  const FakeString empty("");
  EXPECT_TRUE(VelaRegexp("^$").matchForward(empty.get()));
  EXPECT_EQ(VelaRegexp("x*", "", "-").replaceForward(empty.get(), 1, 0, out), "-");
  // Without an output place a replaced text is refused; an unchanged one needs none.
  EXPECT_THROW(re.replaceForward(s.get(), 1, 0, static_cast<vela::ManagedThreadLocalArena*>(nullptr)),
               std::invalid_argument);
  EXPECT_EQ(re.replaceForward(s.get(), 1, 3, static_cast<vela::ManagedThreadLocalArena*>(nullptr)).data(),
            same.data());
}

// Nothing may stay allocated between rows; inline-sized results touch no pool at all.
TEST(VelaRegexp, ReplaceBufferIsChargedWhileHeldAndBalancedAfter) {
  vela::RamPool pool("regex-scratch");
  vela::RamPoolThreadBinding binding(&pool);
  const VelaRegexp re("a", "", "bb");
  struct Row {
    std::size_t length; // of the input, all 'a': the result is twice as long
    std::size_t minPeak;
  };
  // 128 -> 256 bytes fits inline; 100000 -> 200000 bytes needs a block of at least 200000 bytes, grown
  // by doubling from 256, so the last growth held 131072 + 262144 bytes at once.
  for (const Row& r : {Row{128, 0}, Row{100000, 131072 + 262144}}) {
    const FakeString s(std::string(r.length, 'a'));
    const std::uint64_t callsBefore = pool.reserveCalls();
    {
      vela::RegexpOutputBuffer out;
      const std::string_view result = re.replaceForward(s.get(), 1, 0, out);
      EXPECT_EQ(result, std::string(2 * r.length, 'b'));
      EXPECT_EQ(pool.reservedBytes(), r.minPeak == 0 ? 0u : out.capacity()) << r.length;
    }
    EXPECT_EQ(pool.reservedBytes(), 0u) << r.length;
    EXPECT_EQ(pool.liveAllocations(), 0) << r.length;
    EXPECT_GE(pool.peakBytes(), r.minPeak) << r.length;
    if (r.minPeak == 0) {
      EXPECT_EQ(pool.reserveCalls(), callsBefore) << "inline result charged nothing";
    }
  }
  // Fixed-width rewrites never allocate, even at 256 bytes.
  const std::uint64_t callsBefore = pool.reserveCalls();
  auto cell = cellOf(std::string(256, 'a'), 256);
  re.replace(cell.data(), 1, 0, 256);
  EXPECT_EQ(textOf(cell), std::string(256, 'b'));
  EXPECT_EQ(pool.reserveCalls(), callsBefore);
}

TEST(VelaRegexp, ReplaceIntoAnArenaOutlivesTheNextCall) {
  vela::ManagedThreadLocalArena arena;
  const VelaRegexp re("a", "", "xy");
  const FakeString s1("aba"), s2("bab");
  const std::string_view first = re.replaceForward(s1.get(), 1, 0, &arena);
  const std::string_view second = re.replaceForward(s2.get(), 1, 0, &arena);
  EXPECT_EQ(first, "xybxy");
  EXPECT_EQ(second, "bxyb");
}

} // namespace
