// Nested object text through quarry-eval: documents at the depth limit load, print and free through
// both evaluators; deeper ones (up to the 50,000 levels of hostile input) are refused, never a crash.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ToolTestSupport.h"
#include "tests/support/Nesting.h"

using quarry::test::nestedText;
using quarry::test::runInProcess;
using quarry::test::writeTempFile;

namespace {

std::string deepJson(std::size_t depth) {
  return nestedText(depth, "[", "", "]");
}

std::string deepWkt(std::size_t collections) {
  return nestedText(collections, "GEOMETRYCOLLECTION (", "POINT (1 2)", ")");
}

// A CSV file of one column and two rows holding `text` (quoted, quotes doubled).
std::string csvOf(const std::string& column, const std::string& text) {
  std::string quoted;
  for (char c : text)
    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  static int files = 0; // every case its own file
  return writeTempFile("nested" + std::to_string(++files) + ".csv",
                       column + "\n\"" + quoted + "\"\n\"" + quoted + "\"\n");
}

const char* const kEvaluators[] = {"vector", "row"};

} // namespace

TEST(NestedInput, AtTheLimitValuesLoadCopyAndPrint) {
  const std::string json = deepJson(1000);
  const std::string wkt = deepWkt(999); // 1000 levels
  struct Case {
    std::vector<std::string> args;
    std::string value;
  };
  const Case cases[] = {
      {{"--data", csvOf("j:json", json), "-e", "LOAD_COL_JSON $j"}, json},
      {{"--rows", "2", "-e", "CONST_JSON '" + json + "'"}, json},
      {{"--data", csvOf("g:geometry", wkt), "-e", "LOAD_COL_GEOMETRY $g"}, wkt},
      {{"--rows", "2", "-e", "CONST_GEOMETRY '" + wkt + "'"}, wkt},
      {{"--rows", "2", "-e", "CONST_GEOMETRY 'POINT Z (1 2 3)'"}, "POINT Z (1 2 3)"},
      {{"--rows", "2", "-e", "CONST_GEOMETRY 'point(0.1 2 -3e-20)'"}, "POINT Z (0.1 2 -3e-20)"},
  };
  for (const Case& c : cases) {
    for (const char* evaluator : kEvaluators) {
      std::vector<std::string> args = {"--evaluator", evaluator};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const auto r = runInProcess(args);
      EXPECT_EQ(r.status, 0) << evaluator << ": " << r.err.substr(0, 200);
      EXPECT_EQ(r.out, "value,state\n" + c.value + ",0\n" + c.value + ",0\n") << evaluator;
    }
  }
}

TEST(NestedInput, DeeperDocumentsAndTrailingTextAreRefused) {
  const std::string depthLimit = "nests deeper than the limit of 1000 levels";
  struct Case {
    std::vector<std::string> args;
    std::string reason;
  };
  const Case cases[] = {
      {{"--data", csvOf("j:json", deepJson(50000)), "-e", "LOAD_COL_JSON $j"}, depthLimit},
      {{"--data", csvOf("j:json", deepJson(1001)), "-e", "CONST_I64 1"}, depthLimit},
      {{"--rows", "1", "-e", "CONST_JSON '" + deepJson(50000) + "'"}, depthLimit},
      {{"--rows", "1", "-e", "CONST_JSON '" + deepJson(1001) + "'"}, depthLimit},
      {{"--data", csvOf("g:geometry", deepWkt(50000)), "-e", "CONST_I64 1"}, depthLimit},
      {{"--data", csvOf("g:geometry", deepWkt(1000)), "-e", "LOAD_COL_GEOMETRY $g"}, depthLimit},
      {{"--rows", "1", "-e", "CONST_GEOMETRY '" + deepWkt(50000) + "'"}, depthLimit},
      {{"--rows", "1", "-e", "CONST_GEOMETRY 'POINT(1 2) trailing'"}, "trailing text after the geometry"},
      {{"--data", csvOf("g:geometry", "POINT(1 2) trailing"), "-e", "CONST_I64 1"},
       "trailing text after the geometry"},
      {{"--rows", "1", "-e", "CONST_GEOMETRY 'POINT M (1 2 3)'"}, "M coordinates"},
  };
  for (const Case& c : cases) {
    const auto r = runInProcess(c.args);
    EXPECT_NE(r.status, 0) << c.reason;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err.substr(0, 300);
    // A refusal quotes the cell or element cut short, never the whole deep text.
    EXPECT_LT(r.err.size(), 1000u);
  }
}
