// The checks before evaluation: column references and operand types against the catalogue. Stack
// depth is left to the evaluator.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"

using namespace vela::ParserUtils;
using quarry::tools::checkProgram;
using quarry::tools::CsvColumnType;
using quarry::tools::ProgramTextError;

namespace {
const std::vector<CsvColumnType> kColumns = {
    {RpnDataType::Int64, 0}, {RpnDataType::Float64, 0}, {RpnDataType::Dec64, 2}, {RpnDataType::Int16, 0}};

// The refusal's text, or "" when the program passes.
std::string check(const std::string& text, const std::vector<CsvColumnType>& columns = kColumns) {
  Program p;
  quarry::tools::parseProgramText(text, p);
  try {
    checkProgram(p.elements(), columns);
  } catch (const ProgramTextError& e) {
    return e.what();
  }
  return "";
}
} // namespace

TEST(ProgramCheck, WellTypedProgramsPass) {
  for (const char* text : {"LOAD_COL_I64 0; CONST_I64 2; DIV_I64", "LOAD_COL_F64 1; LOAD_COL_F64 1; ADD_F64",
                           "LOAD_CAST_I16_TO_I64 3; CONST_I64 1; ADD_I64",
                           "LOAD_COL_NULLS 7; LOAD_COL_I64 0", // null flags of column 3
                           "LOAD_COL_I64 0; LIST_I64 [1, 2]; IN_I64",
                           "CONST_I32 1; LIST_CHAR64 ['a']; CONST_CHAR64 'x'; LOOKUP_CHAR64",
                           // Stack faults are the evaluator's: not refused here.
                           "ADD_I64", "CONST_I64 1; CONST_I64 2", "LOAD_COL_F64 1; ADD_I64; CONST_I64 1"})
    EXPECT_EQ(check(text), "") << text;
}

TEST(ProgramCheck, MistypedProgramsAreRefusedNamingTheElement) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"LOAD_COL_I64 1", "element 1 (LOAD_COL_I64): reads i64 cells but column 1 holds f64"},
      {"LOAD_CAST_I32_TO_I64 3", "reads i32 cells but column 3 holds i16"},
      {"LOAD_COL_I64 4", "column 4 does not exist (4 input columns)"},
      {"LOAD_COL_NULLS 8; CONST_I64 1", "null flags at 4..7"},
      {"CONST_I32 1; CONST_I64 2; ADD_I64",
       "element 3 (ADD_I64): operand 1 of 2 must be i64, but the value there is i32"},
      {"CONST_I64 1; CONST_F64 2; ADD_I64", "operand 2 of 2 must be i64, but the value there is f64"},
      {"CONST_I64 1; LIST_I32 [1]; IN_I64", "must be a list of i64, but the value there is list of i32"},
      {"CONST_I64 1; CONST_I64 2; IN_I64", "must be a list of i64, but the value there is i64"},
      // LOOKUP picks from a list of results: a list of positions would be read at the wrong width.
      {"CONST_I32 1; LIST_I32 [1]; CONST_CHAR64 'x'; LOOKUP_CHAR64", "must be a list of char64"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_NE(check(text).find(expected), std::string::npos) << text << "\n-> " << check(text);
  EXPECT_NE(check("LOAD_COL_I64 0", {}).find("no input columns"), std::string::npos);
}
