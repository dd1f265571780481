// Regular-expression ops in program text: the pattern, flags and replacement attributes, compiled
// while the program is assembled, and the refusals (exit status 2) of a missing or invalid pattern.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ToolTestSupport.h"

using quarry::test::runInProcess;
using quarry::test::runSubprocess;
using quarry::test::writeTempFile;

namespace {

struct ToolRow {
  std::string program, expectedOut;
};

TEST(RegexpText, AttributesGiveTheOpItsPattern) {
  const std::string data = writeTempFile("regex.csv", "s:string,c:char8\nAbcz,abc\n,\nhello world,xyz\n");
  const std::vector<ToolRow> rows = {
      {"LOAD_COL_STRING $s; REGEXP_MATCH_STRING regex='^a.*z$' flags='i'", "value,state\n1,0\n0,0\n0,0\n"},
      {"LOAD_COL_STRING $s; REGEXP_MATCH_STRING regex='^a.*z$'", "value,state\n0,0\n0,0\n0,0\n"},
      // ';' and '//' inside the quotes belong to the pattern and the replacement.
      {"LOAD_COL_STRING $s; CONST_I32 1; CONST_I32 0; REGEXP_REPLACE_STRING regex='(\\w+) (\\w+)' "
       "replacement='\\2;//\\1'",
       "value,state\nAbcz,0\n\"\",0\nworld;//hello,0\n"},
      {"LOAD_COL_CHAR8 $c; CONST_I32 1; REGEXP_COUNT_CHAR8 regex='[a-c]'", "value,state\n3,0\n0,0\n0,0\n"},
      {"LOAD_COL_CHAR8 $c; CONST_I32 1; CONST_I32 1; CONST_I32 1; REGEXP_SUBSTR_CHAR8 regex='(b)(c)'",
       "value,state\nb,0\n\"\",0\n\"\",0\n"},
  };
  for (const ToolRow& r : rows)
    for (const char* evaluator : {"vector", "row"}) {
      const auto run = runInProcess({"--evaluator", evaluator, "--data", data, "-e", r.program});
      EXPECT_EQ(run.status, 0) << r.program << "\n" << run.err;
      EXPECT_EQ(run.out, r.expectedOut) << r.program;
    }
}

TEST(RegexpText, ExplainShowsThePattern) {
  const auto r = runInProcess({"--explain", "-e",
                               "CONST_CHAR4 'ab'; CONST_I32 1; CONST_I32 0; REGEXP_REPLACE_CHAR4 regex='(b)' "
                               "flags='i' replacement='<\\1>'"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("REGEXP_REPLACE_CHAR4  String  (char4, i32, i32) -> char4  regex '(b)' flags 'i' "
                       "replacement '<\\1>'\n"),
            std::string::npos)
      << r.out;
}

TEST(RegexpText, MissingOrInvalidPatternsAreRefused) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"LOAD_COL_STRING 0; REGEXP_MATCH_STRING", "REGEXP_MATCH_STRING needs its pattern: regex='...'"},
      {"LOAD_COL_STRING 0; REGEXP_MATCH_STRING regex='a(b'", "Invalid regular expression 'a(b': missing )"},
      {"LOAD_COL_STRING 0; REGEXP_MATCH_STRING regex='a' flags='q'", "the flags are c, i, m and n"},
      {"LOAD_COL_STRING 0; REGEXP_MATCH_STRING regex='a' replacement='b'",
       "replacement= belongs to REGEXP_REPLACE"},
      {"LOAD_COL_STRING 0; CONST_I32 1; CONST_I32 0; REGEXP_REPLACE_STRING regex='a' replacement='\\1'",
       "names a group the pattern does not have"},
      {"LOAD_COL_STRING 0; REGEXP_MATCH_STRING regex='a' regex='b'", "regex= is given twice"},
      {"CONST_I64 1 regex='a'", "regex= belongs to the regular-expression ops"},
      {"LOAD_COL_STRING 0; REGEXP_MATCH_STRING regex=a", "single quotes"},
  };
  const std::string data = writeTempFile("regex1.csv", "s:string\nabc\n");
  for (const auto& [program, expected] : cases) {
    const auto r = runInProcess({"--data", data, "-e", program});
    EXPECT_EQ(r.status, 2) << program;
    EXPECT_EQ(r.out, "") << program;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
  }
  const auto r = runSubprocess({"--data", data, "-e", "LOAD_COL_STRING 0; REGEXP_MATCH_STRING regex='*'"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("element 2 ("), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no argument for repetition operator"), std::string::npos) << r.err;
}

} // namespace
