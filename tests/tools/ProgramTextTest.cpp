// The program-text assembler: what it builds, and what it refuses with the element named.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"

using namespace vela::ParserUtils;
using quarry::tools::parseProgramText;
using quarry::tools::ProgramTextError;

namespace {
Program parse(const std::string& text) {
  Program p;
  parseProgramText(text, p);
  return p;
}
} // namespace

TEST(ProgramText, NamesCodesCommentsAndSeparators) {
  const Program p = parse("// a comment\nload_col_i64 3 ; 153 0 // trailing\n\n  ADD_I64  ");
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p.elements()[0].op, 153);
  EXPECT_EQ(p.elements()[0].columnIndex(), 3);
  EXPECT_EQ(p.elements()[1].columnIndex(), 0);
  EXPECT_EQ(p.elements()[2].op, findOpByName("ADD_I64")->code);
}

TEST(ProgramText, ConstantsInTheirStorage) {
  const Program p = parse("CONST_I64 -9223372036854775808; CONST_F64 -inf; CONST_F64 nan; 42 '-1.25' s=2 p=9;"
                          "55 'it''s'; 34");
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p.elements()[0].operandAs<std::int64_t>(), INT64_MIN);
  EXPECT_EQ(p.elements()[1].operandAs<double>(), -INFINITY);
  EXPECT_TRUE(std::isnan(p.elements()[2].operandAs<double>()));
  EXPECT_EQ(p.elements()[3].operandAs<std::int64_t>(), -125);
  EXPECT_EQ(p.elements()[3].info.scale(), 2);
  EXPECT_EQ(p.elements()[3].info.precision(), 9);
  EXPECT_EQ(unpackCharN(p.elements()[4].operand, 4), "it's");
}

TEST(ProgramText, MalformedTextIsRefusedNamingTheElement) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"NO_SUCH_OP", "unknown op"},
      {"153 0; 2650", "op code 2650 is unassigned"},
      {"153", "needs an operand"},
      {"ADD_I64 3", "takes no operand"},
      {"153 -1", "must not be negative"},
      {"CONST_I64 9223372036854775808", "not a representable signed 64-bit integer"},
      {"CONST_CHAR4 abc", "single quotes"},
      {"LIST_I32 [1,,2]", "an empty item"},
      {"LIST_I32 [1, 2] results=[5]", "1 values for 2 list items"},
      {"CONST_I64 1 results=[5]", "belongs to list constants"},
      {"CONST_STRING 'x'", "need a place to live"},
      {"42 1.234 s=2", "fractional digits"},
      {"55 'abc", "unterminated quote"},
      {"153 0 p=300", "p=300 is out of range"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      parse(text);
      ADD_FAILURE() << text << " was accepted";
    } catch (const ProgramTextError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("element "), std::string::npos) << what;
      EXPECT_NE(what.find(expected), std::string::npos) << text << ": " << what;
    }
  }
}

TEST(ProgramText, DescriptionShowsTheAnalysis) {
  const Program p = parse("153 0; 153 1; DIV_I64");
  const std::string text = quarry::tools::describeProgram(p.elements());
  EXPECT_NE(text.find("DIV_I64"), std::string::npos);
  EXPECT_NE(text.find("last value element: 2"), std::string::npos) << text;
  EXPECT_NE(text.find("has reportable errors: yes"), std::string::npos) << text;
}

TEST(ProgramText, NamedColumnsNullFlagsAndDecimalScales) {
  quarry::tools::ProgramTextContext context;
  context.columnNames = {"a", "price", "b"};
  context.columnTypes = {{RpnDataType::Int64, 0}, {RpnDataType::Dec64, 3}, {RpnDataType::Dec128, 1, 20}};
  Program p;
  parseProgramText("LOAD_COL_I64 $a; LOAD_COL_DEC64 $price; LOAD_COL_DEC64 $price s=3 p=18;"
                   "LOAD_COL_NULLS $price.nulls; OR_COL_NULLS 4; LOAD_COL_DEC128 $b",
                   p, context);
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p.elements()[0].columnIndex(), 0);
  EXPECT_EQ(p.elements()[1].columnIndex(), 1);
  EXPECT_EQ(p.elements()[1].info.scale(), 3);      // the column's scale
  EXPECT_EQ(p.elements()[1].info.precision(), 18); // a dec64 declared by its scale: full precision
  EXPECT_EQ(p.elements()[2].info.scale(), 3);      // stated, and agreeing
  EXPECT_EQ(p.elements()[3].columnIndex(), 3 + 1); // N + k
  EXPECT_EQ(p.elements()[4].columnIndex(), 4);
  EXPECT_EQ(p.elements()[5].info.precision(), 20); // declared dec128(20,1)
  for (const char* text :
       {"LOAD_COL_I64 $price.nulls", "LOAD_COL_NULLS 1", "LOAD_COL_NULLS $a", "LOAD_COL_DEC64 $price s=1"}) {
    Program bad;
    EXPECT_THROW(parseProgramText(text, bad, context), ProgramTextError) << text;
  }
}

TEST(ProgramText, DecimalOperandAndResultInfoIsFilledFromTheStack) {
  // Operand k's precision and scale go to bytes 12 + 2k and 13 + 2k; the result's to bytes 0 and 1.
  struct Case {
    const char* text;
    int p0, s0, p1, s1, p2, s2, p, s;
  };
  const Case cases[] = {
      {"CONST_DEC64 1.5; CONST_DEC64 0.25; ADD_DEC64", 18, 1, 18, 2, 0, 0, 18, 2},
      {"CONST_DEC64 1.5 p=2; CONST_DEC64 0.25 p=3; ADD_DEC64", 2, 1, 3, 2, 0, 0, 4, 2},
      {"CONST_DEC64 1.5; CONST_DEC64 0.25; MUL_DEC64", 18, 1, 18, 2, 0, 0, 28, 3},
      {"CONST_DEC128 1.123456789012; CONST_DEC128 0.123456789; MUL_DEC128", 28, 12, 28, 9, 0, 0, 28, 18},
      {"CONST_DEC64 1.5; CONST_DEC64 0.25; DIV_DEC64", 18, 1, 18, 2, 0, 0, 28, 6},
      {"CONST_DEC64 1; CONST_DEC64 3; CONST_DEC128 0.0001; DIVZ_DEC64", 18, 0, 18, 0, 28, 4, 28, 4},
      {"CONST_DEC64 1.5; CONST_DEC64 0.25; LT_DEC64", 18, 1, 18, 2, 0, 0, 0, 0},
      {"CONST_I32 2; LIST_DEC64 [1.5, 2.125]; CONST_DEC64 0.5; LOOKUP_DEC64", 0, 0, 18, 3, 18, 1, 18, 3},
      {"CONST_DEC64 1.5; CONST_I32 0; ROUND_DEC64", 18, 1, 0, 0, 0, 0, 18, 1},
      {"CONST_DEC128 1.5; CAST_DEC128_TO_DEC64", 28, 1, 0, 0, 0, 0, 18, 1},
      {"CONST_DEC64 1.5; CAST_DEC64_TO_I32", 18, 1, 0, 0, 0, 0, 18, 1},
      {"CONST_I32 1; CAST_I32_TO_DEC64 p=9 s=4", 0, 0, 0, 0, 0, 0, 9, 4},
      {"CONST_I32 1; CONST_I8 9; CONST_I8 4; CAST_I32_TO_DEC64_PS", 0, 0, 0, 0, 0, 0, 9, 4},
  };
  for (const Case& c : cases) {
    const Program p = parse(c.text);
    const EvalInfo& info = p.elements().back().info;
    EXPECT_EQ(
        (std::vector<int>{info.argPrecision(0), info.argScale(0), info.argPrecision(1), info.argScale(1),
                          info.argPrecision(2), info.argScale(2), info.precision(), info.scale()}),
        (std::vector<int>{c.p0, c.s0, c.p1, c.s1, c.p2, c.s2, c.p, c.s}))
        << c.text;
  }
}

TEST(ProgramText, ListResultsTextListsAndObjectConstants) {
  quarry::tools::ConstantObjects objects;
  quarry::tools::ProgramTextContext context;
  context.objects = &objects;
  Program p;
  parseProgramText("CONST_I32 0 ; LIST_I32 [4, -5] results=[7, 8]; LIST_CHAR8 ['a,b', 'it''s'];"
                   "CONST_STRING 'x y'; CONST_JSON '{\"k\": [1, 2]}'; CONST_VECTOR [1, 2.5]",
                   p, context);
  ASSERT_EQ(p.size(), 6u);
  const auto* vec = p.elements()[1].operandAs<const TypedVec*>();
  ASSERT_EQ(vec->count, 2u);
  ASSERT_NE(vec->aux, nullptr);
  EXPECT_EQ(vec->aux[1], 8);
  const auto* chars = p.elements()[2].operandAs<const TypedVec*>();
  ASSERT_EQ(chars->count, 2u);
  EXPECT_EQ(unpackCharN(static_cast<const unsigned char*>(chars->values) + 8, 8), "it's");
  EXPECT_EQ(objects.size(), 3u);
  EXPECT_EQ(parse("LIST_I32 []").elements()[0].operandAs<const TypedVec*>()->count, 0u);
  EXPECT_NE(p.elements()[3].operandAs<const void*>(), nullptr);
}
