// The REGEXP_* ops through the harness (both evaluators, every row count, pool balance): each table row
// runs at every charN width its text fits and as a heap string, with the int operands as columns and
// as constants. Expected values are hand-computed for the text; a charN rewrite expects that text cut at
// the width.
#include <cstring>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/RamPool.h"
#include "base/VelaRegexp.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using vela::VelaRegexp;
using vela::cuda::InlineBuffer;

namespace {

constexpr TypedRpnOp kCount = 2052, kInstr = 2072, kMatch = 2092, kReplace = 2112, kSubstr = 2132;
constexpr TypedRpnOp kLoadString2 = 234;

using Expected = std::variant<int, std::string>;

struct RegexRow {
  Str text;              // nullopt: a null string (string form only)
  std::vector<int> ints; // the int operands in push order
  Expected out;          // int for COUNT, INSTR and MATCH (0/1), text for REPLACE and SUBSTR
};

std::vector<unsigned char> cell(const std::string& text, std::size_t width) {
  std::vector<unsigned char> c(width);
  vela::ParserUtils::packCharN(text, width, c.data());
  return c;
}

// Runs `rows` through op base+k (char(1 << k)) for every width that holds all of the rows' texts, and
// through base+9 (string), once with the int operands as columns and once as constants (row by row).
void expectRegex(TypedRpnOp base, const VelaRegexp& re, const std::vector<RegexRow>& rows) {
  std::size_t longest = 0;
  bool hasNull = false;
  for (const RegexRow& r : rows) {
    longest = std::max(longest, r.text.value_or("").size());
    hasNull = hasNull || !r.text;
  }
  const std::size_t nInts = rows.front().ints.size();
  for (int k = 0; k <= 9; ++k) {
    const std::size_t width = std::size_t(1) << k;
    const bool isString = k == 9;
    if (!isString && (width < longest || hasNull))
      continue;
    for (int single = -1; single < int(rows.size()); ++single) { // -1: all rows, int columns
      SCOPED_TRACE(std::string(vela::ParserUtils::get_trpn_op_name(base + k)) +
                   (single >= 0 ? ", constant ints, row " + std::to_string(single) : ", int columns"));
      std::vector<RegexRow> batch;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (single < 0 || int(r) == single)
          batch.push_back(rows[r]);
      Program p;
      p.column(isString ? kLoadString : kLoadChar + k, 0);
      for (std::size_t i = 0; i < nInts; ++i)
        single >= 0 ? (void)p.constant(kConstI32, batch[0].ints[i]) : (void)p.column(kLoadI32, int(i + 1));
      p.regexp(base + k, &re);
      HarnessCase c(p);
      std::vector<Str> texts, strings;
      std::vector<unsigned char> bytes;
      std::vector<int> ints;
      std::vector<std::vector<int>> intColumns(nInts);
      for (const RegexRow& r : batch) {
        texts.push_back(r.text);
        for (std::size_t i = 0; i < nInts; ++i)
          intColumns[i].push_back(r.ints[i]);
        if (!isString) {
          const auto x = cell(*r.text, width);
          bytes.insert(bytes.end(), x.begin(), x.end());
        }
        if (const int* v = std::get_if<int>(&r.out))
          ints.push_back(*v);
        else
          strings.push_back(std::get<std::string>(r.out));
      }
      isString ? (void)c.addStringColumn(texts) : (void)c.addRawColumn(width, batch.size(), bytes);
      if (single >= 0)
        c.rowCounts({65}); // one row, against a constant: the columns' runs cover the counts
      for (std::size_t i = 0; single < 0 && i < nInts; ++i)
        c.addColumn(intColumns[i]);
      if (base == kMatch) {
        c.expectRows(std::vector<Bool>(ints.begin(), ints.end()));
      } else if (strings.empty()) {
        c.expectRows(ints);
      } else if (isString) {
        c.expectStrings(strings);
      } else { // a charN rewrite: the text cut at the width
        const HarnessResult res = c.run();
        ASSERT_EQ(res.width, width);
        for (std::size_t r = 0; r < batch.size(); ++r) {
          const std::vector<unsigned char> got(res.values.begin() + r * width,
                                               res.values.begin() + (r + 1) * width);
          EXPECT_EQ(got, cell(strings[r]->substr(0, width), width)) << "row " << r;
        }
      }
    }
  }
}

// REPLACE of the string on top from position 1, every occurrence.
Program& replaceOnce(Program& p, const VelaRegexp& re) {
  return p.constant(kConstI32, 1).constant(kConstI32, 0).regexp(kReplace + 9, &re);
}

TEST(RegexpOps, MatchAnchorsAlternationClassesAndCase) {
  expectRegex(kMatch, VelaRegexp("^(cat|dog)s?$"),
              {{"cat", {}, 1}, {"dogs", {}, 1}, {"cow", {}, 0}, {"", {}, 0}, {"catdog", {}, 0}});
  expectRegex(kMatch, VelaRegexp("[[:digit:]]{2}"), {{"a1b2", {}, 0}, {"a12", {}, 1}, {"9", {}, 0}});
  expectRegex(kMatch, VelaRegexp("ab", "i"), {{"xAB", {}, 1}, {"aB", {}, 1}, {"a b", {}, 0}});
  expectRegex(kMatch, VelaRegexp("^$"), {{"", {}, 1}, {std::nullopt, {}, 0}, {"x", {}, 0}});
}

// clang-format off
TEST(RegexpOps, CountStartsAndEmptyMatches) {
  expectRegex(kCount, VelaRegexp("an"), {{"banana", {1}, 2}, {"banana", {3}, 1}, {"banana", {0}, 0}, {"banana", {-1}, 0},
                                         {"banana", {7}, 0}, {"banana", {1000}, 0}, {"", {1}, 0}});
  expectRegex(kCount, VelaRegexp("x*"), {{"abc", {1}, 4}, {"", {1}, 1}, {"a", {2}, 1}, {std::nullopt, {1}, 0}});
}

TEST(RegexpOps, InstrOccurrencesOptionsAndGroups) {
  // The four ints reach the engine in push order: start, occurrence, option, group.
  expectRegex(kInstr, VelaRegexp("([a-z]+)([0-9]+)"),
              {{"ab12cd34", {1, 2, 0, 2}, 7}, {"ab12cd34", {1, 2, 1, 2}, 9}, {"ab12cd34", {3, 1, 0, 1}, 5},
               {"ab12cd34", {1, 3, 0, 0}, 0}, {"ab12cd34", {-2, 1, 0, 0}, 0}, {"ab12cd34", {1, 1, 2, 0}, 0},
               {"ab12cd34", {1, 1, 0, 3}, 0}});
}

TEST(RegexpOps, SubstrGroupsAndMisses) {
  const std::string none;
  expectRegex(kSubstr, VelaRegexp("([a-z]+)([0-9]+)"),
              {{"ab12cd34", {1, 2, 1}, std::string("cd")}, {"ab12cd34", {1, 2, 0}, std::string("cd34")},
               {"ab12cd34", {4, 1, 2}, std::string("34")}, {"ab12cd34", {1, 3, 0}, none}, {"ab12cd34", {0, 1, 0}, none},
               {"ab12cd34", {99, 1, 0}, none}, {"ab12cd34", {1, 1, 5}, none}});
  expectRegex(kSubstr, VelaRegexp("b+"), {{std::nullopt, {1, 1, 0}, none}, {"abbbc", {1, 1, 0}, std::string("bbb")}});
}

TEST(RegexpOps, ReplaceOccurrencesGroupsAndWidthCuts) {
  // The charN results are cut at the width: "b<an><an>a" is 10 bytes.
  const std::string banana = "banana";
  expectRegex(kReplace, VelaRegexp("an", "", "<\\0>"),
              {{"banana", {1, 0}, std::string("b<an><an>a")}, {"banana", {1, 2}, std::string("ban<an>a")},
               {"banana", {1, 3}, banana}, {"banana", {0, 0}, banana}, {"banana", {-4, 0}, banana},
               {"banana", {8, 0}, banana}, {"banana", {1, -1}, banana}, {"", {1, 0}, std::string()}});
  expectRegex(kReplace, VelaRegexp("x*", "", "-"), {{"abc", {1, 0}, std::string("-a-b-c-")}, {"", {1, 0}, std::string("-")}});
  expectRegex(kReplace, VelaRegexp("(\\w+) (\\w+)", "", "\\2 \\1"),
              {{"hello world", {1, 0}, std::string("world hello")}, {std::nullopt, {1, 0}, std::string()}});
  expectRegex(kReplace, VelaRegexp("^(A+)$", "i", "\\1\\1"), {{std::string(256, 'a'), {1, 0}, std::string(512, 'a')}});
}
// clang-format on

// Strings of 0, 1, 255, 256 and 100000 bytes: the string form has no width limit.
TEST(RegexpOps, LongStrings) {
  const std::string big = std::string(99999, 'a') + "b";
  const std::string big2 = std::string(99999, 'c') + "b";
  const VelaRegexp a("a");
  Program count;
  count.column(kLoadString, 0).constant(kConstI32, 1).regexp(kCount + 9, &a);
  HarnessCase(count)
      .addStringColumn({"", "a", std::string(255, 'a'), std::string(256, 'a'), big})
      .rowCounts({1})
      .expectRows<int>({0, 1, 255, 256, 99999});
  const VelaRegexp toC("a", "", "c");
  Program replace;
  replaceOnce(replace.column(kLoadString, 0), toC);
  HarnessCase(replace)
      .addStringColumn({"", "a", std::string(255, 'a'), big})
      .rowCounts({1})
      .expectStrings({"", "c", std::string(255, 'c'), big2});
  // The pathological pattern in linear time over every row.
  const VelaRegexp nested("(a+)+$");
  Program match;
  match.column(kLoadString, 0).regexp(kMatch + 9, &nested);
  HarnessCase(match)
      .addStringColumn({std::string(40, 'a') + "b", big})
      .rowCounts({65})
      .expectRows<Bool>({0, 0});
}

// Evaluates `p` (REPLACE twice or once) over `rows` rows of one string column holding `text`, with the
// caller's pool bound; results and their sizes are left in `values` and `sizes`, also when it throws.
void evaluateRows(const Program& p, const InlineBuffer<char>* text, unsigned long rows,
                  std::vector<const InlineBuffer<char>*>& values, std::vector<unsigned long>& sizes) {
  const std::vector<const InlineBuffer<char>*> column(rows, text);
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(column.data())};
  values.assign(rows, nullptr);
  sizes.assign(rows, 0);
  std::vector<unsigned char> nulls(rows, 0xA5);
  vela::cuda::evaluateTypedRpnHost(p.elements(), columns, 1, reinterpret_cast<unsigned char*>(values.data()),
                                   nulls.data(), sizes.data(), rows, 0, nullptr, nullptr);
}

// REPLACE over 100000-byte strings: the result is built in pool-charged scratch, so the peak covers
// scratch and result together, and after the call the pool holds exactly the results the caller owns.
TEST(RegexpOps, LongReplaceScratchIsChargedAndGivenBack) {
  const VelaRegexp re("a", "", "bb");
  Program p;
  replaceOnce(p.column(kLoadString, 0), re);
  constexpr std::size_t kLength = 100000, kResult = 2 * kLength;
  StringObjects objects;
  const InlineBuffer<char>* text = objects.make(std::string(kLength, 'a'));
  for (unsigned long rows : {1ul, 3ul}) {
    vela::RamPool pool("regex-scratch");
    vela::RamPoolThreadBinding binding(&pool);
    std::vector<const InlineBuffer<char>*> values;
    std::vector<unsigned long> sizes;
    evaluateRows(p, text, rows, values, sizes);
    std::size_t owned = 0;
    for (unsigned long r = 0; r < rows; ++r) {
      ASSERT_NE(values[r], nullptr);
      EXPECT_EQ(values[r]->view(), std::string(kResult, 'b'));
      EXPECT_EQ(sizes[r], kResult + 8);
      owned += sizes[r];
    }
    EXPECT_EQ(pool.reservedBytes(), owned) << rows << " rows";
    // A row's scratch (at least the result's length) was held when its result was charged.
    EXPECT_GE(pool.peakBytes(), kResult + (kResult + 8)) << rows << " rows";
    for (unsigned long r = 0; r < rows; ++r) {
      vela::cuda::deleteString(values[r]);
      pool.unreserveRaw(sizes[r]);
    }
    EXPECT_EQ(pool.reservedBytes(), 0u);
    EXPECT_EQ(pool.liveAllocations(), 0);
  }
}

// A string input returned unchanged (nothing replaced) is passed on, not copied; from an intermediate
// result, a column and a constant the ownership ends balanced. The second string kind shares the code.
TEST(RegexpOps, UnchangedStringsAndOwnership) {
  const VelaRegexp none("x", "", "y"), dup("(.)", "", "\\1\\1");
  Program chained, constant; // REPLACE(REPLACE(s, dup), none): the outer one returns its intermediate input
  replaceOnce(replaceOnce(chained.column(kLoadString2, 0), dup), none);
  HarnessCase(chained).addStringColumn({"ab", "", std::nullopt}).expectStrings({"aabb", "", ""});
  StringObjects objects;
  replaceOnce(constant.pointerConstant(kConstString, objects.make("ab")), none);
  HarnessCase(constant).rows(3).expectStrings({"ab", "ab", "ab"});
}

// An element without its compiled pattern is a fault of the program: thrown, pool balanced, also when
// an intermediate string result is alive at that point.
TEST(RegexpOps, MissingPatternIsAFrameFault) {
  const VelaRegexp dup("(.)", "", "\\1\\1");
  Program p;
  replaceOnce(p.column(kLoadString, 0), dup);
  p.regexp(kMatch + 9, nullptr);
  HarnessCase(p)
      .addStringColumn({"ab", "cd"})
      .expectFault("Regular-expression op without a compiled pattern");
  Program q;
  q.column(kLoadChar + 3, 0).op(kMatch + 3);
  HarnessCase(q)
      .addRawColumn(8, 1, cell("abc", 8))
      .expectFault("Regular-expression op without a compiled pattern");
}

// A result the pool refuses ends the call with the pool's exception; every intermediate string is freed
// on the way out, in the column-batch evaluator (200 rows) and the row evaluator (1 row).
TEST(RegexpOps, PoolRefusalLeavesThePoolBalanced) {
  const VelaRegexp dup("(.)", "", "\\1\\1");
  Program p;
  replaceOnce(replaceOnce(p.column(kLoadString, 0), dup), dup);
  StringObjects objects;
  for (const auto& [rows, length] : {std::pair{200ul, 8ul}, std::pair{1ul, 1400ul}}) {
    const InlineBuffer<char>* text = objects.make(std::string(length, 'x'));
    vela::RamPool pool("regex-limit", 6000);
    {
      vela::RamPoolThreadBinding binding(&pool);
      std::vector<const InlineBuffer<char>*> values;
      std::vector<unsigned long> sizes;
      EXPECT_THROW(evaluateRows(p, text, rows, values, sizes), vela::VelaException);
      for (unsigned long r = 0; r < rows; ++r)
        if (vela::cuda::isOwningReservation(sizes[r])) {
          vela::cuda::deleteString(values[r]);
          pool.unreserveRaw(sizes[r]);
        }
    }
    EXPECT_EQ(pool.reservedBytes(), 0u) << rows << " rows";
  }
}

} // namespace
