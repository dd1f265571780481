// quarry-eval as scripts use it: exit statuses, stdout/stderr contents and the bundled examples. (Both
// evaluators printing the same rows for every op is the catalogue walk's.)
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ToolTestSupport.h"
#include "base/ParserUtils.h"
#include "base/VelaException.h"
#include "cuda/TypedRpnEvaluator.h"

using quarry::test::lines;
using quarry::test::runInProcess;
using quarry::test::runSubprocess;
using quarry::test::writeTempFile;

namespace {
const std::string kExamples = std::string(QUARRY_SOURCE_DIR) + "/examples/";

// What the caller's throwIfEvaluationError says for a returned code.
std::string messageOf(vela::cuda::rpn_eval_result_t code) {
  try {
    vela::cuda::throwIfEvaluationError(code);
  } catch (const vela::VelaException& e) {
    return e.what();
  }
  return "";
}
} // namespace

TEST(EvalCommand, DivideExamplePrintsEveryRowThenTheCallsError) {
  const auto r = runSubprocess({"--data", kExamples + "divide.csv", kExamples + "divide.rpn"});
  EXPECT_EQ(r.status, 1);
  // 7/2 + 10; division by zero (2); INT64_MIN / -1 (17); truncation toward zero; a NULL cell loads 0.
  EXPECT_EQ(r.out, "value,state\n13,0\n,2\n,17\n7,0\n10,0\n");
  EXPECT_EQ(r.err, "error: " + messageOf(vela::cuda::RPN_EVAL_OVERFLOW) + "\n");
  // The row evaluator stores 1 for a failed row; the call's code is the same.
  const auto row =
      runSubprocess({"--evaluator", "row", "--data", kExamples + "divide.csv", kExamples + "divide.rpn"});
  EXPECT_EQ(row.status, 1);
  EXPECT_EQ(row.out, "value,state\n13,0\n,1\n,1\n7,0\n10,0\n");
  EXPECT_EQ(row.err, r.err);
}

TEST(EvalCommand, BundledExamplesRun) {
  const auto decimals = runSubprocess({"--data", kExamples + "prices.csv", kExamples + "decimals.rpn"});
  EXPECT_EQ(decimals.status, 0) << decimals.err;
  EXPECT_EQ(decimals.out, "value,state\n1.625,0\n11.995,0\n-0.010,0\n");
  const auto in = runSubprocess({"--data", kExamples + "prices.csv", kExamples + "in_list.rpn"});
  EXPECT_EQ(in.status, 0) << in.err;
  EXPECT_EQ(in.out, "value,state\n1,0\n1,0\n0,0\n");
  // Trim and upper-case the name; the qty text read as an integer (0x prefix, trailing text), doubled,
  // written back; the NULL qty row stays NULL.
  for (const char* evaluator : {"vector", "row"}) {
    const auto text =
        runSubprocess({"--evaluator", evaluator, "--data", kExamples + "people.csv", kExamples + "text.rpn"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "value,state\nALICE=24,0\nBOB=62,0\nCAROL SMITH=-14,0\n,1\n");
  }
  // Local wall-clock times converted to UTC: 02:30 in New York's spring gap is read as EST, 01:30 in
  // its autumn overlap as EDT, Sydney on its first day of summer time, Kolkata at +5:30; an unknown
  // zone and a NULL zone give NULL rows.
  for (const char* evaluator : {"vector", "row"}) {
    const auto dates = runSubprocess(
        {"--evaluator", evaluator, "--data", kExamples + "events.csv", kExamples + "dates.rpn"});
    EXPECT_EQ(dates.status, 0) << dates.err;
    EXPECT_EQ(dates.out, "value,state\n2024-03-10 07:30:00.000,0\n2024-11-03 05:30:00.000,0\n"
                         "2024-10-05 22:15:00.000,0\n2023-12-31 18:30:00.000,0\n,1\n,1\n");
  }
  // Distances to a constant query: exact in binary (0, 3-4-5, 1); the NULL embedding stays NULL, and an
  // embedding of another dimension has no distance (nan).
  for (const char* evaluator : {"vector", "row"}) {
    const auto nearest = runSubprocess(
        {"--evaluator", evaluator, "--data", kExamples + "embeddings.csv", kExamples + "nearest.rpn"});
    EXPECT_EQ(nearest.status, 0) << nearest.err;
    EXPECT_EQ(nearest.out, "value,state\n0,0\n5,0\n1,0\n,1\nnan,0\n");
  }
  // Places against a 10-degree square: contained or not (the border is not), planar and spheroid
  // distances, and the part of a 100 km buffer inside (a 32-gon: 16 sin(pi/16) x 100^2 km2 in full).
  for (const char* evaluator : {"vector", "row"}) {
    const auto spatial = runSubprocess(
        {"--evaluator", evaluator, "--data", kExamples + "places.csv", kExamples + "spatial.rpn"});
    EXPECT_EQ(spatial.status, 0) << spatial.err;
    EXPECT_EQ(spatial.out, "value,state\n"
                           "\"inland: inside, 0.0 deg, 0.0 km, disc inside: 31214.0 km2\",0\n"
                           "\"on the border: outside, 0.0 deg, 0.0 km, disc inside: 15607.0 km2\",0\n"
                           "\"offshore: outside, 2.0 deg, 221.8 km, disc inside: 0.0 km2\",0\n"
                           "\"south-west: outside, 1.414 deg, 156.9 km, disc inside: 0.0 km2\",0\n");
  }
  // $.a.b of a JSON column at a constant path: a number, a NULL document, a string holding a number, a
  // missing member (the default -1 under DEFAULT ON EMPTY), an array (an error: NULL).
  for (const char* evaluator : {"vector", "row"}) {
    const auto json =
        runSubprocess({"--evaluator", evaluator, "--data", kExamples + "docs.csv", kExamples + "json.rpn"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out, "value,state\n7,0\n,1\n12,0\n-1,0\n,1\n");
  }
  const auto constants = runSubprocess({"--rows", "2", kExamples + "constants.rpn"});
  EXPECT_EQ(constants.status, 1);
  EXPECT_EQ(constants.out, "value,state\n,2\n,2\n");
  EXPECT_EQ(constants.err, "error: " + messageOf(vela::cuda::RPN_EVAL_DIVIDE_BY_ZERO) + "\n");
  const auto explain =
      runSubprocess({"--explain", kExamples + "divide.rpn", "--data", kExamples + "divide.csv"});
  EXPECT_EQ(explain.status, 0) << explain.err;
  EXPECT_NE(explain.out.find("last value element: 4"), std::string::npos) << explain.out;
}

TEST(EvalCommand, RefusalsExitTwoAndEvaluateNothing) {
  const std::string csv = writeTempFile("refusal.csv", "a:i64,s:string\n1,x\n");
  const std::string badCsv = writeTempFile("bad.csv", "a:i64\n1\n\"2\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-e", "LOAD_COL_I64 0; FROB"}, "-e: element 2 ('FROB'): unknown op 'FROB'"},
      {{"-e", "LOAD_COL_I64 0"}, "no input columns"},
      {{"--data", csv, "-e", "LOAD_COL_F64 $a"}, "reads f64 cells but column 0 holds i64"},
      {{"--data", csv, "-e", "LOAD_COL_I64 $b"}, "no input column named 'b'"},
      {{"--data", badCsv, "-e", "CONST_I64 1"}, "line 3: column 1: unterminated quoted field"},
      {{"--data", "/nonexistent.csv", "-e", "CONST_I64 1"}, "data file /nonexistent.csv cannot be read"},
      {{"-e", "NULL_STATE"}, "yields no value"},
      {{"--rows", "x", "-e", "CONST_I64 1"}, "--rows needs a row count"},
      {{"--evaluator", "gpu", "-e", "CONST_I64 1"}, "auto, vector or row"},
      {{"--threads", "0", "-e", "CONST_I64 1"}, "1..1024"},
      {{"--frobnicate"}, "unknown option"},
      {{}, "no program given"},
      {{"-e", "CONST_I64 1", "-e", "CONST_I64 2"}, "more than one program"},
      {{"--rows", "2", "--data", csv, "-e", "CONST_I64 1"}, "exclude each other"},
  };
  for (const auto& [args, expected] : cases) {
    const auto r = runInProcess(args);
    EXPECT_EQ(r.status, 2) << expected;
    EXPECT_EQ(r.out, "") << expected;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
  }
  // The same through the executable.
  const auto r = runSubprocess({"-e", "ADD_I64 3"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("element 1 ('ADD_I64 3'): ADD_I64 takes no operand"), std::string::npos) << r.err;
}

TEST(EvalCommand, FrameFaultsExitThree) {
  // Both evaluators' faults themselves are the evaluator tests'; here the exit status and the stderr line.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"vector", "CONST_I64 1; ADD_I64", "error: stack underflow"},
      {"row", "CONST_I64 1; CONST_I64 2", "error: stack ended with excess values"}};
  for (const auto& [evaluator, program, message] : cases) {
    const auto r = runInProcess({"--evaluator", evaluator, "--rows", "200", "-e", program});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
  }
  const auto r = runSubprocess({"-e", "ADD_I64"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err.rfind("error: stack underflow", 0), 0u) << r.err;
}

TEST(EvalCommand, TextNullsAndTheStateColumn) {
  const std::string data = writeTempFile("text.csv", "s:string\n\"\"\n\n\"a,\"\"b\"\"\"\nplain\n");
  const auto r = runSubprocess({"--data", data, "-e", "LOAD_COL_STRING $s"});
  EXPECT_EQ(r.status, 0) << r.err;
  // The empty string is quoted; a NULL cell loads a null pointer and prints as an empty field.
  EXPECT_EQ(r.out, "value,state\n\"\",0\n,0\n\"a,\"\"b\"\"\",0\nplain,0\n");
  const auto noNulls = runSubprocess({"--no-nulls", "--data", data, "-e", "LOAD_COL_STRING $s"});
  EXPECT_EQ(noNulls.out, "value\n\"\"\n\n\"a,\"\"b\"\"\"\nplain\n");
  const auto zero = runSubprocess({"--rows", "0", "-e", "CONST_I64 1"});
  EXPECT_EQ(zero.status, 0);
  EXPECT_EQ(zero.out, "value,state\n");
}

TEST(EvalCommand, ListOpsCoversTheCodeSpace) {
  const auto ls = lines(runSubprocess({"--list-ops"}).out);
  ASSERT_EQ(ls.size(), 1u + vela::ParserUtils::kNumOps);
  EXPECT_EQ(ls[1079].rfind("1078,DIV_I64,", 0), 0u) << ls[1079];
}
