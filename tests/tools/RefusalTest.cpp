// quarry-eval's refusals and derived decimal scales, in-process: every refusal exits 2 with a message
// that says what is wrong, and what is accepted computes what was written (hand-computed rows).
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ToolTestSupport.h"

using quarry::test::runInProcess;
using quarry::test::writeTempFile;

namespace {
// Runs a program over `csv` in both evaluators, which must agree; returns the vector run.
quarry::test::ToolRun runBoth(const std::string& csv, const std::string& program) {
  const auto vector = runInProcess({"--evaluator", "vector", "--data", csv, "-e", program});
  const auto row = runInProcess({"--evaluator", "row", "--data", csv, "-e", program});
  EXPECT_EQ(vector.out, row.out) << program;
  return vector;
}

void expectRefused(const std::vector<std::string>& args, const std::string& expected) {
  const auto r = runInProcess(args);
  EXPECT_EQ(r.status, 2) << args.back() << "\n" << r.err;
  EXPECT_EQ(r.out, "") << args.back();
  EXPECT_NE(r.err.find(expected), std::string::npos) << args.back() << "\n-> " << r.err;
}
} // namespace

TEST(Refusal, UnassignedCodesAreRefusedAsUnassigned) {
  // By number inside and outside the code space, and by name: never "needs an operand".
  for (const char* op : {"83", "84", "UNASSIGNED_83", "unassigned_85", "-1", "2650", "4294967379"})
    expectRefused({"--rows", "100", "-e", op}, "unassigned");
  expectRefused({"-e", "CONST_I64 1; 83"}, "element 2 ('83'): op code 83 is unassigned");
}

TEST(Refusal, NumericOptionsHaveRanges) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--threads", "0"}, "1..1024"},           {{"--threads", "1025"}, "1..1024"},
      {{"--threads", "2147483647"}, "1..1024"},  {{"--threads", "4294967295"}, "1..1024"},
      {{"--threads", "4294967296"}, "1..1024"},  {{"--threads", "-1"}, "1..1024"},
      {{"--threads", "+2"}, "1..1024"},          {{"--rows", "10000001"}, "0..10000000"},
      {{"--rows", "4294967296"}, "0..10000000"}, {{"--rows", "18446744073709551616"}, "0..10000000"},
      {{"--rows", "-1"}, "0..10000000"},         {{"--log", "60001"}, "0..60000"},
  };
  for (auto [args, expected] : refused) {
    args.insert(args.end(), {"-e", "CONST_I64 7"});
    expectRefused(args, expected);
  }
  for (const char* threads : {"1", "1024"}) {
    const auto r = runInProcess({"--threads", threads, "--rows", "3000", "-e", "CONST_I64 7"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), std::string("value,state\n").size() + 3000 * 4);
  }
}

TEST(Refusal, DecimalScalesAreDerivedFromTheOperands) {
  const std::string csv = writeTempFile("dec.csv", "a:dec64(2),b:dec64(3),c:dec128(1)\n"
                                                   "1.50,0.200,2.5\n-0.01,0.005,-0.5\n12.34,-5.678,10.0\n");
  const std::string ab = "LOAD_COL_DEC64 $a; LOAD_COL_DEC64 $b; ";
  // Hand-computed, one program per row of the table; values at the result's scale.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {ab + "ADD_DEC64", "1.700,0\n-0.005,0\n6.662,0\n"},
      {ab + "SUB_DEC64", "1.300,0\n-0.015,0\n18.018,0\n"},
      {ab + "LT_DEC64", "0,0\n1,0\n0,0\n"},
      {ab + "GE_DEC64", "1,0\n0,0\n1,0\n"},
      {ab + "GREATEST_DEC64", "1.500,0\n0.005,0\n12.340,0\n"},
      {ab + "MUL_DEC64", "0.30000,0\n-0.00005,0\n-70.06652,0\n"},
      {ab + "MUL_DEC64 s=2", "0.30,0\n0.00,0\n-70.07,0\n"}, // rounded half away from zero
      {ab + "DIV_DEC64", "7.500000,0\n-2.000000,0\n-2.173300,0\n"},
      {ab + "DIV_DEC64 s=1", "7.5,0\n-2.0,0\n-2.2,0\n"},
      {ab + "MOD_DEC64", "0.100,0\n0.000,0\n0.984,0\n"},
      {"LOAD_COL_DEC64 $a; CONST_DEC64 0.005; ADD_DEC64", "1.505,0\n-0.005,0\n12.345,0\n"},
      {"LOAD_COL_DEC64 $a; CONST_DEC64 1.5; EQ_DEC64", "1,0\n0,0\n0,0\n"},
      {"LOAD_COL_DEC64 $a; LIST_DEC64 [-0.01, 1.5]; IN_DEC64", "1,0\n1,0\n0,0\n"},
      {"LOAD_COL_DEC64 $a; CONST_I32 1; ROUND_DEC64", "1.50,0\n0.00,0\n12.30,0\n"},
      {"LOAD_COL_DEC64 $a; NEG_DEC64", "-1.50,0\n0.01,0\n-12.34,0\n"},
      {"LOAD_COL_DEC128 $c; CONST_I32 3; MUL_DEC128_I32", "7.5,0\n-1.5,0\n30.0,0\n"},
      {"LOAD_COL_DEC128 $c; CONST_DEC128 0.25; ADD_DEC128", "2.75,0\n-0.25,0\n10.25,0\n"},
  };
  for (const auto& [program, rows] : cases) {
    const auto r = runBoth(csv, program);
    EXPECT_EQ(r.status, 0) << program << "\n" << r.err;
    EXPECT_EQ(r.out, "value,state\n" + rows) << program;
  }
}

TEST(Refusal, DecimalAttributesThatContradictOrLeaveTheRangeAreRefused) {
  const std::string csv = writeTempFile("decattr.csv", "a:dec64(2),b:dec64(3)\n1.50,0.200\n");
  const std::string ab = "LOAD_COL_DEC64 $a; LOAD_COL_DEC64 $b; ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {ab + "ADD_DEC64 s0=2 s1=3 s=2",
       "element 3 ('ADD_DEC64 s0=2 s1=3 s=2'): s=2 contradicts the result's scale 3"},
      {ab + "LT_DEC64 s0=3", "s0=3 contradicts operand 1, whose scale is 2"},
      {ab + "LT_DEC64 p1=10", "p1=10 contradicts operand 2, whose precision is 18"},
      {ab + "ADD_DEC64 p=5", "p=5 contradicts the result's precision 18"},
      {ab + "EQ_DEC64 s2=1", "EQ_DEC64 has no operand 3"},
      {ab + "EQ_DEC64 s=1", "EQ_DEC64 has no decimal result"},
      {ab + "MUL_DEC64 s=6", "s=6 is not a scale the product"},
      {ab + "LT_DEC64 s0=99", "s0=99 is out of range"},
      {ab + "LT_DEC64 s0=-5", "s0=-5 is out of range"},
      {ab + "LT_DEC64 p0=0", "p0=0 is out of range"},
      {ab + "LT_DEC64 p0=29", "p0=29 is out of range"},
      {"LOAD_COL_DEC64 $a s=3", "s=3 contradicts the result's scale 2 (the column's)"},
      {"CONST_DEC64 1.25 s=1", "below the literal's 2 fractional digits"},
      {"CONST_DEC64 123.4 p=3", "has 4 digits, more than the precision 3"},
      {"CONST_DEC64 1 s=19", "out of range"},
      {"CONST_I64 1 s=2", "CONST_I64 has no decimal result"},
      {"LOAD_CAST_DEC64_TO_I32 $a s0=3", "s0=3 contradicts operand 1, whose scale is 2"},
      {"CONST_I64 1; CONST_I64 2; ADD_I64 s0=1", "operand 1, which is not a decimal"},
      {"CONST_I32 1; CAST_I32_TO_DEC64 p=3 s=4", "do not fit dec64"},
      {"CONST_I32 1; CONST_I8 19; CONST_I8 2; CAST_I32_TO_DEC64_PS",
       "precision 19 and scale 2 are out of range"},
      {"CONST_I32 1; CONST_I32 5; CAST_I32_TO_I8; CONST_I8 2; CAST_I32_TO_DEC64_PS", "CONST_I8 elements"},
  };
  for (const auto& [program, expected] : cases)
    expectRefused({"--data", csv, "-e", program}, expected);
  // Header types: precision and scale within the width's range, the scale at most the precision.
  for (const char* type : {"dec128(30)", "dec64(19)", "dec64(-1)", "dec64(5,6)", "dec64(0,0)", "dec64(19,2)",
                           "dec128(29,2)", "dec64(2"})
    expectRefused(
        {"--data", writeTempFile("t.csv", std::string("\"a:") + type + "\"\n1\n"), "-e", "CONST_I64 1"},
        "a decimal is written");
  // A declared precision bounds the values.
  expectRefused({"--data", writeTempFile("p.csv", "\"a:dec64(3,1)\"\n12.3\n123.4\n"), "-e", "CONST_I64 1"},
                "line 3: column 1 ('a'): '123.4' has 4 digits, more than the precision 3");
  const auto ok = runInProcess(
      {"--data", writeTempFile("p2.csv", "\"a:dec128(3,1)\"\n-12.3\n"), "-e", "LOAD_COL_DEC128 $a"});
  EXPECT_EQ(ok.out, "value,state\n-12.3,0\n") << ok.err;
}

TEST(Refusal, NullFlagLoadsReadOnlyNullFlagColumns) {
  const std::string csv = writeTempFile("flags.csv", "a:i32,b:i64\n1,\n,2\n");
  for (const char* program : {"LOAD_COL_NULLS 0; CONST_I64 1", "LOAD_COL_NULLS 1; CONST_I64 1",
                              "OR_COL_NULLS 1; CONST_I64 1", "LOAD_COL_NULLS $a; CONST_I64 1"})
    expectRefused({"--data", csv, "-e", program}, "null flags");
  // The flags read are column b's (index 3): row 0 is NULL, row 1 present.
  for (const char* program :
       {"LOAD_COL_I64 $b; LOAD_COL_NULLS $b.nulls", "LOAD_COL_I64 1; LOAD_COL_NULLS 3"}) {
    const auto r = runBoth(csv, program);
    EXPECT_EQ(r.out, "value,state\n,1\n2,0\n") << program << "\n" << r.err;
  }
  expectRefused({"--data", writeTempFile("dotnulls.csv", "x:i32,x.nulls:i32\n1,0\n"), "-e", "CONST_I64 1"},
                "column name 'x.nulls' ends in .nulls");
}

TEST(Refusal, U32KeysTakeTheU32RangeAndOrder) {
  const std::string csv = writeTempFile("u32.csv", "u:u32\n0\n1\n2147483648\n4294967295\n5\n");
  const auto r = runBoth(csv, "LOAD_COL_U32 $u; LIST_I32 [1, 2147483648, 4294967295]; IN_U32");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "value,state\n0,0\n1,0\n1,0\n1,0\n0,0\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"LOAD_COL_U32 $u; LIST_I32 [-1, 0]; IN_U32", "'-1' is not an unsigned 32-bit integer"},
      {"LOAD_COL_U32 $u; LIST_I32 [0, 4294967296]; IN_U32", "not a representable unsigned 32-bit"},
      {"LOAD_COL_U32 $u; LIST_I32 [4294967295, 1]; IN_U32", "'4294967295' comes before '1'"},
      {"CONST_I32 1; LIST_I32 [3, -1]; IN_I32", "ascending in i32 order"},
      {"CONST_I32 1; LIST_I32 [1, 1] results=[5, 6]; FIND_I32", "strictly ascending"},
      {"CONST_F64 1; LIST_F64 [nan, 1]; IN_F64", "NaN cannot be a key"},
      {"CONST_CHAR8 'a'; LIST_CHAR8 ['pen', 'ink']; IN_CHAR8", "'pen' comes before 'ink'"},
      {"CONST_DEC64 1; LIST_DEC64 [0.5, 0.25]; IN_DEC64", "'0.5' comes before '0.25'"},
  };
  for (const auto& [program, expected] : cases)
    expectRefused({"--data", csv, "-e", program}, expected);
}

TEST(Refusal, InputIsAcceptedExactlyOrRefused) {
  // One-column data: an empty line in the middle is a NULL row; one at the end is refused, as is a
  // carriage return without a line feed.
  const auto middle =
      runBoth(writeTempFile("mid.csv", "a:i32\n1\n\n2\n"), "LOAD_COL_I32 $a; LOAD_COL_NULLS $a.nulls");
  EXPECT_EQ(middle.out, "value,state\n1,0\n,1\n2,0\n") << middle.err;
  for (const char* data : {"a:i32\n1\n\n", "a:i32\r\n1\r\n\r\n"})
    expectRefused({"--data", writeTempFile("end.csv", data), "-e", "LOAD_COL_I32 0"},
                  "line 3: an empty last line");
  for (const char* data : {"a:i32\n1\r", "a:i32\n1\n\r"})
    expectRefused({"--data", writeTempFile("cr.csv", data), "-e", "LOAD_COL_I32 0"}, "carriage return");
  EXPECT_EQ(runInProcess({"--data", writeTempFile("crlf.csv", "a:i32\r\n1\r\n"), "-e", "LOAD_COL_I32 0"}).out,
            "value,state\n1,0\n");
  // A NUL cannot live in fixed-width text: refused in constants and cells, escaped in the message.
  expectRefused({writeTempFile("nul.rpn", std::string("CONST_CHAR8 'a\0b'", 17))}, "'CONST_CHAR8 'a\\x00b''");
  expectRefused({writeTempFile("nul.rpn", std::string("CONST_CHAR8 'a\0b'", 17))}, "holds a NUL byte");
  expectRefused(
      {"--data", writeTempFile("nul.csv", std::string("a:char8\na\0b\n", 13)), "-e", "LOAD_COL_CHAR8 0"},
      "line 2: column 1 ('a'): 'a\\x00b' holds a NUL byte");
  // A list of vectors splits at its outer commas only.
  const auto vectors = runInProcess({"-e", "LIST_CONST_VECTOR [[1,2],[3]]"});
  EXPECT_EQ(vectors.out, "value,state\n\"[[1,2],[3]]\",0\n") << vectors.err;
  expectRefused({"-e", "LIST_CONST_VECTOR [[1,2],[3,]]"}, "is not a 32-bit float");
}

TEST(Refusal, MessagesQuoteInputReadably) {
  // A NUL in a cell no longer cuts the message; other control bytes are escaped too.
  expectRefused(
      {"--data", writeTempFile("nulnum.csv", std::string("a:i32\n1\0x\n", 11)), "-e", "LOAD_COL_I32 0"},
      "column 1 ('a'): '1\\x00x' is not a signed 32-bit integer");
  expectRefused({"-e", "CONST_I64 '\x1b[31m'"}, "'\\x1b[31m'");
  // A byte-order mark before the header or the first element is skipped.
  const std::string bom = "\xEF\xBB\xBF";
  const auto r = runInProcess({"--data", writeTempFile("bom.csv", bom + "a:i32\n4\n"),
                               writeTempFile("bom.rpn", bom + "LOAD_COL_I32 $a")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "value,state\n4,0\n");
  expectRefused({"--data", testing::TempDir(), "-e", "CONST_I64 1"}, "is a directory");
  expectRefused({testing::TempDir()}, "is a directory");
  // A huge element is quoted in part, with its length.
  const std::string huge = "CONST_I64 " + std::string(10'000'000, '9');
  const auto big = runInProcess({"-e", huge});
  EXPECT_EQ(big.status, 2);
  EXPECT_LT(big.err.size(), 400u);
  EXPECT_NE(big.err.find("... (10000010 bytes)"), std::string::npos) << big.err.substr(0, 400);
}
