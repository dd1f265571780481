// The op catalogue against the routing table kept as data, and the tables derived from it.
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/ParserUtils.h"
#include "base/ProgramBuilder.h"

using namespace vela::ParserUtils;

namespace {

std::map<int, OpFamily> loadRoutingTable() {
  static const std::map<std::string, OpFamily> handlers = {
      {"evalElementValue", OpFamily::Value},     {"evalElementCompare", OpFamily::Compare},
      {"evalElementMath", OpFamily::Math},       {"evalElementNull", OpFamily::Null},
      {"evalElementChar", OpFamily::Char},       {"evalElementChar2", OpFamily::Char2},
      {"evalElementString", OpFamily::String},   {"evalElementDateTime", OpFamily::DateTime},
      {"evalElementGeo", OpFamily::Geo},         {"noOpElement", OpFamily::NoOp},
      {"unhandledElement", OpFamily::Unassigned}};
  std::ifstream in(std::string(QUARRY_SOURCE_DIR) + "/tests/base/routing_table.txt");
  EXPECT_TRUE(in.good());
  std::map<int, OpFamily> table;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    const auto colon = line.find(':');
    const OpFamily family = handlers.at(line.substr(0, colon));
    std::stringstream ranges(line.substr(colon + 1));
    std::string range;
    while (std::getline(ranges, range, ',')) {
      const auto dash = range.find('-');
      const int lo = std::stoi(range.substr(0, dash));
      const int hi = dash == std::string::npos ? lo : std::stoi(range.substr(dash + 1));
      for (int c = lo; c <= hi; ++c)
        EXPECT_TRUE(table.emplace(c, family).second) << "routing table lists " << c << " twice";
    }
  }
  return table;
}

} // namespace

TEST(Catalogue, RoutingOfEveryCodeEqualsTheTable) {
  const auto table = loadRoutingTable();
  ASSERT_EQ(table.size(), static_cast<std::size_t>(kNumOps));
  for (const auto& [code, family] : table) {
    const OpInfo* op = opInfo(code);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->code, code);
    EXPECT_EQ(opFamilyName(opFamily(code)), std::string(opFamilyName(family))) << "code " << code;
  }
}

TEST(Catalogue, CodesOutsideTheSpaceAreUnhandled) {
  for (int code : {-1, -2650, 2650, 1 << 30}) {
    EXPECT_EQ(opInfo(code), nullptr);
    EXPECT_EQ(opFamily(code), OpFamily::Unassigned);
    EXPECT_FALSE(isNoOp(code));
    EXPECT_STREQ(get_trpn_op_name(code), "UNKNOWN_OP");
    EXPECT_EQ(get_type(code), RpnDataType::None);
    EXPECT_FALSE(isa_null_producing_function(code) || isa_error_producing_function(code) ||
                 is_expensive_host_only_function(code));
  }
}

TEST(Catalogue, NamesAreDistinctAndFindable) {
  std::set<std::string> names;
  for (int c = 0; c < kNumOps; ++c) {
    const std::string name = get_trpn_op_name(c);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(names.insert(name).second) << name << " names two codes";
    for (char ch : name)
      EXPECT_TRUE((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_') << name;
    ASSERT_NE(findOpByName(name), nullptr);
    EXPECT_EQ(findOpByName(name)->code, c);
  }
  EXPECT_EQ(findOpByName("NO_SUCH_OP"), nullptr);
}

// The program analysis finds the last null element by the flags: whatever pushes a state must say so.
TEST(Catalogue, EveryStatePushIsFlagged) {
  for (int c = 0; c < kNumOps; ++c) {
    const OpInfo& op = *opInfo(c);
    if (op.statesOut > 0 && !(c >= 237 && c <= 256)) {
      EXPECT_TRUE(op.nullProducing || op.errorProducing) << op.name << " pushes a state but is not flagged";
    }
    EXPECT_LE(op.statesOut, 1) << op.name;
  }
}

TEST(Catalogue, RowsAreConsistentWithTheirFamily) {
  for (int c = 0; c < kNumOps; ++c) {
    const OpInfo& op = *opInfo(c);
    if (op.family == OpFamily::NoOp || op.family == OpFamily::Unassigned) {
      EXPECT_EQ(op.result, RpnDataType::None) << op.name;
      EXPECT_EQ(op.numOperands + op.statesIn + op.statesOut, 0) << op.name;
      EXPECT_FALSE(op.nullProducing || op.errorProducing || op.expensiveHostOnly) << op.name;
    }
    // Loads and constants take nothing from the stacks.
    if ((c >= 2 && c <= 67) || (c >= 102 && c <= 236 && c != 101)) {
      EXPECT_EQ(op.numOperands, 0) << op.name;
    }
    if (op.result == RpnDataType::List) {
      EXPECT_GT(get_rpn_datatype_size(op.listElement), 0u) << op.name;
    }
  }
}

// Null constants load the width of their storage; object values are pointers.
TEST(Catalogue, NullConstantsAndObjectsHaveTheirStorageWidths) {
  // A null constant loads the same width as the constant of its storage.
  const std::vector<std::pair<int, int>> nullAndConstant = {
      {2, 34},  {3, 35},  {4, 36},  {5, 37},  {6, 38},  {7, 39},  {9, 67},  {8, 40},  {10, 41}, {11, 42},
      {12, 43}, {13, 44}, {14, 45}, {15, 46}, {18, 49}, {16, 47}, {17, 48}, {19, 53}, {20, 54}, {21, 55},
      {22, 56}, {23, 57}, {24, 58}, {25, 59}, {26, 60}, {27, 61}, {28, 62}, {32, 66}, {31, 65}};
  for (const auto& [null, constant] : nullAndConstant) {
    EXPECT_EQ(get_rpn_datatype_size(get_type(null)), get_rpn_datatype_size(get_type(constant))) << null;
    EXPECT_GT(get_rpn_datatype_size(get_type(null)), 0u) << null;
  }
  for (RpnDataType t : {RpnDataType::String, RpnDataType::Geometry, RpnDataType::Json, RpnDataType::Array,
                        RpnDataType::Vector, RpnDataType::String2}) {
    EXPECT_TRUE(isObjectType(t));
    EXPECT_EQ(get_rpn_datatype_size(t), 8u);
  }
  EXPECT_EQ(get_rpn_datatype_size(RpnDataType::None), 0u);
  EXPECT_EQ(get_rpn_datatype_size(static_cast<RpnDataType>(-1)), 0u);
  EXPECT_EQ(get_rpn_datatype_size(static_cast<RpnDataType>(kNumRpnDataTypes)), 0u);
}

TEST(Catalogue, TypeShortNamesRoundTrip) {
  for (int t = 0; t < kNumRpnDataTypes; ++t) {
    const auto type = static_cast<RpnDataType>(t);
    EXPECT_EQ(rpnDataTypeFromShortName(rpnDataTypeShortName(type)), type) << t;
  }
  EXPECT_EQ(rpnDataTypeFromShortName("int"), RpnDataType::None);
}

struct StackCase {
  const char* what;
  std::vector<int> ops;
  std::uint32_t valueIndex;
  std::uint32_t nullIndex;
};

TEST(Catalogue, MaxStackIndexesFollowTheStackEffects) {
  // 153 loads an i64 column, 1053/1054 add, 1078 divides i64 (pushes a state), 237/239 push states,
  // 253 combines two states.
  const std::vector<StackCase> cases = {
      {"empty", {}, 0, 0},
      {"one load", {153}, 0, 0},
      {"two loads", {153, 153}, 1, 0},
      {"a+b", {153, 153, 1054}, 1, 0},
      {"a, b, c then two adds", {153, 153, 153, 1054, 1054}, 2, 0},
      {"division pushes a state", {153, 153, 1078}, 1, 0},
      {"two divisions", {153, 153, 1078, 153, 153, 1078}, 2, 1},
      {"state constants", {239, 237, 237}, 0, 2},
      {"no-ops change nothing", {0, 153, 1, 153, 2648}, 1, 0},
      {"more pops than pushes is clamped", {1054, 153}, 1, 0},
  };
  for (const auto& c : cases) {
    Program p;
    for (int op : c.ops)
      p.op(op);
    EXPECT_EQ(get_max_stack_index(p.elements()), c.valueIndex) << c.what;
    EXPECT_EQ(get_max_null_stack_index(p.elements()), c.nullIndex) << c.what;
  }
}

TEST(Catalogue, EvaluatedTypeIsTheLastValueProducer) {
  Program p;
  p.column(153, 0).column(208, 1);
  EXPECT_EQ(get_evaluated_type(p.elements()), RpnDataType::Float64);
  p.op(239).op(0); // a state constant and a no-op after the last value
  EXPECT_EQ(get_evaluated_type(p.elements()), RpnDataType::Float64);
  EXPECT_EQ(get_evaluated_type(Program().elements()), RpnDataType::None);
}
