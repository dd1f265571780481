// Every op that has a kernel can be written as program text and run through quarry-eval, and both
// evaluators print the same rows for it. Programs are built from the catalogue row alone: each value
// operand is loaded from a CSV column of its storage type (two present rows and a NULL row), each list
// operand is a list constant, each state operand a not-null state.
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ToolTestSupport.h"
#include "base/ParserUtils.h"
#include "cuda/EvalElementHandler.h"
#include "tools/EvalCommand.h"
#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"

using namespace vela::ParserUtils;
using quarry::tools::columnSourceType;
using quarry::tools::readsColumn;
using quarry::tools::storageOf;

namespace {

bool hasKernel(int code) {
  return vela::cuda::OpHandlerTable<vela::cuda::TypedRpnVectorEvaluator>::find(code) != nullptr;
}

// Two present values per storage type, as CSV fields, and as program literals.
struct Sample {
  const char* csvType;
  std::string a, b;
};
std::optional<Sample> sampleOf(RpnDataType storage) {
  using T = RpnDataType;
  static const std::map<RpnDataType, Sample> samples = {
      {T::Bool, {"bool", "1", "0"}},
      {T::Int8, {"i8", "3", "-2"}},
      {T::Int16, {"i16", "3", "-2"}},
      {T::Int32, {"i32", "3", "-2"}},
      {T::UInt32, {"u32", "3", "4000000000"}},
      {T::Int64, {"i64", "3", "-2"}},
      {T::UInt64, {"u64", "3", "18446744073709551615"}},
      {T::Float32, {"f32", "2.5", "-0.5"}},
      {T::Float64, {"f64", "2.5", "-0.5"}},
      {T::Dec64, {"dec64(2)", "1.50", "-2.25"}},
      {T::Dec128, {"dec128(2)", "1.50", "-2.25"}},
      {T::UInt128, {"u128", "3", "340282366920938463463374607431768211455"}},
      {T::Char1, {"char1", "a", "B"}},
      {T::Char2, {"char2", "ab", "B"}},
      {T::Char4, {"char4", "ab", "Bcd"}},
      {T::String, {"string", "ab", "Bcd e"}},
      {T::Json, {"json", "\"{\"\"a\"\":[1,2]}\"", "\"[1,\"\"x\"\"]\""}},
      {T::Vector, {"vector", "\"[1,2.5]\"", "\"[-1,0]\""}},
      {T::Geometry, {"geometry", "POINT (1 2)", "\"LINESTRING (0 0, 1 1)\""}},
  };
  if (const auto it = samples.find(storage); it != samples.end())
    return it->second;
  if (storage >= T::Char8 && storage <= T::Char256) // char8 ... char256 (heap strings are in the table)
    return Sample{rpnDataTypeShortName(storage), "ab", "Bcd e"};
  return std::nullopt;
}

// Calendar operands get calendar columns (valid days and times, in the canonical text of their CSV
// type), so that the date and time ops meet real values; other kinds their storage's samples.
std::optional<Sample> sampleFor(RpnDataType type) {
  using T = RpnDataType;
  switch (type) {
  case T::Date:
    return Sample{"date", "2024-02-29", "1999-12-31"};
  case T::Time:
    return Sample{"time", "13:45:30.125", "00:00:00.000"};
  case T::DateTime:
    return Sample{"datetime", "2024-02-29 13:45:30.125", "1999-12-31 23:59:59.999"};
  case T::Timestamp:
    return Sample{"timestamp", "2024-02-29 13:45:30.125", "1969-12-31 23:59:59.999"};
  default:
    return sampleOf(storageOf(type));
  }
}

// Ops that read the clock: their values differ from one run to the next, so only the rows' states are
// compared (and the value must be printed in its type's text).
bool readsClock(const OpInfo& op) {
  const std::string name = op.name;
  return name == "NOW" || name.rfind("NOW_", 0) == 0 || name.rfind("CURRENT_DATE", 0) == 0 ||
         name.rfind("CURRENT_TIME", 0) == 0 || name.rfind("SYSDATE", 0) == 0;
}

bool isText(RpnDataType t) {
  return t >= RpnDataType::Char1 && t <= RpnDataType::Char256;
}

// A program literal of a scalar type for constants and list items.
std::string literal(RpnDataType type, bool first) {
  if (type == RpnDataType::Array)
    first = false; // the second JSON sample is an array
  const RpnDataType s = storageOf(type);
  const std::optional<Sample> sample = sampleOf(s);
  if (!sample)
    return {};
  std::string v = first ? sample->a : sample->b;
  if (isText(s) || s == RpnDataType::String)
    return "'" + v + "'";
  if (s == RpnDataType::Json || s == RpnDataType::Vector || s == RpnDataType::Geometry) {
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) // CSV-quoted sample: drop the quotes, undouble
      if (!(v[i] == '"' && v[i + 1] == '"'))
        unquoted += v[i];
    if (v.front() != '"')
      unquoted = v;
    return "'" + unquoted + "'";
  }
  return v;
}

// The scale attribute of a decimal literal (the samples have two fractional digits).
std::string scaleOf(RpnDataType type) {
  const RpnDataType s = storageOf(type);
  return s == RpnDataType::Dec64 || s == RpnDataType::Dec128 ? " s=2" : "";
}

struct Tables {
  std::map<RpnDataType, int> plainLoad; // storage -> a column load of it with a kernel
  std::map<RpnDataType, int> listConst; // storage of the items -> a list constant with a kernel
  Tables() {
    for (int c = 102; c <= 236; ++c) {
      const OpInfo* op = opInfo(c);
      if (hasKernel(c) && std::string(op->name).rfind("LOAD_COL_", 0) == 0)
        plainLoad.emplace(storageOf(op->result), c);
    }
    for (int c = 68; c <= 100; ++c)
      if (hasKernel(c) && opInfo(c)->result == RpnDataType::List)
        listConst.emplace(storageOf(opInfo(c)->listElement), c);
  }
};

struct WalkCase {
  std::string program;
  std::string csv; // empty: no data
  std::string skip;
};

WalkCase buildCase(const OpInfo& op, const Tables& t) {
  WalkCase w;
  std::vector<std::string> header, rowA, rowB, rowNull;
  std::ostringstream p;
  // Text read as a decimal must be decimal text: other text ends the call with the parser's exception.
  const std::string opName = op.name;
  const bool decimalText = (opName.rfind("CAST_CHAR", 0) == 0 || opName.rfind("CAST_STRING", 0) == 0) &&
                           opName.find("_TO_DEC") != std::string::npos;
  auto addColumn = [&](RpnDataType type) -> std::string {
    std::optional<Sample> s = sampleFor(type);
    if (type == RpnDataType::Array)
      s->a = "[]"; // array kinds get arrays only
    if (decimalText && (isText(storageOf(type)) || storageOf(type) == RpnDataType::String)) {
      const std::size_t width = isText(storageOf(type)) ? get_rpn_datatype_size(storageOf(type)) : 256;
      s->a = width >= 4 ? "1.5" : "7";
      s->b = width >= 2 ? "-5" : "5";
    }
    const std::string name = "c" + std::to_string(header.size());
    header.push_back(name + ":" + s->csvType);
    rowA.push_back(s->a);
    rowB.push_back(s->b);
    rowNull.push_back("");
    return name;
  };
  auto load = [&](RpnDataType type) -> bool {
    const RpnDataType s = storageOf(type == RpnDataType::None ? RpnDataType::Int32 : type);
    if (!sampleOf(s) || !t.plainLoad.count(s)) {
      w.skip = std::string("no column of ") + rpnDataTypeShortName(s);
      return false;
    }
    p << get_trpn_op_name(t.plainLoad.at(s)) << " $"
      << addColumn(type == RpnDataType::None ? RpnDataType::Int32 : type) << "\n";
    return true;
  };
  const int c = op.code;
  const bool valueless = !op.pushesValue();
  if (valueless &&
      !load(RpnDataType::Bool)) // a value for the program's result (and for ops that read the top value)
    return w;
  if (readsColumn(c)) {
    if (c == 240 || c == 241) {
      const std::string name = addColumn(RpnDataType::Int32);
      if (c == 241) {
        if (!hasKernel(239))
          return w.skip = "no not-null state", w;
        p << "NOT_NULL_STATE\n";
      }
      p << op.name << " $" << name << ".nulls\n";
    } else {
      const RpnDataType source = columnSourceType(c);
      if (!sampleOf(storageOf(source)))
        return w.skip = std::string("no CSV type for ") + rpnDataTypeShortName(source), w;
      p << op.name << " $" << addColumn(source) << "\n";
    }
  } else if (c >= 2 && c <= 100) {
    if (op.result == RpnDataType::List) {
      const std::string a = literal(op.listElement, true), b = literal(op.listElement, false);
      if (a.empty())
        return w.skip = "no list literal", w;
      p << op.name << " [" << b << ", " << a << "]" << scaleOf(op.listElement) << "\n";
    } else if (c >= 34 && c != 34) {
      const std::string a = literal(op.result, true);
      if (a.empty())
        return w.skip = "no literal", w;
      p << op.name << ' ' << a << scaleOf(op.result) << "\n";
    } else {
      p << op.name << "\n";
    }
  } else {
    const std::string name = op.name;
    const bool runTimeScale = name.size() > 3 && name.compare(name.size() - 3, 3, "_PS") == 0;
    for (int k = 0; k < op.numOperands; ++k) {
      if (op.operands[k] == RpnDataType::List) {
        const RpnDataType items = storageOf(quarry::tools::listItemType(op));
        // u32 keys are written as an i32 list (no u32 list constant exists) in the u32 range.
        const RpnDataType list = items == RpnDataType::UInt32 ? RpnDataType::Int32 : items;
        if (!t.listConst.count(list) || literal(items, true).empty())
          return w.skip = std::string("no list of ") + rpnDataTypeShortName(items), w;
        // Searched keys must be ascending: the second sample is the smaller one except for the
        // unsigned types, whose second sample is their largest value.
        const bool unsignedOrder =
            items == RpnDataType::UInt32 || items == RpnDataType::UInt64 || items == RpnDataType::UInt128;
        p << get_trpn_op_name(t.listConst.at(list)) << " [" << literal(items, unsignedOrder) << ", "
          << literal(items, !unsignedOrder) << "]" << scaleOf(items) << "\n";
      } else if (runTimeScale && k >= op.numOperands - 2) {
        // A cast at a run-time precision and scale takes them from CONST_I8 elements (the assembler
        // derives the result's scale from them).
        p << "CONST_I8 " << (k == op.numOperands - 2 ? "10" : "2") << "\n";
      } else if (!load(op.operands[k])) {
        return w;
      }
    }
    for (int s = 0; s < op.statesIn; ++s) {
      if (!hasKernel(239))
        return w.skip = "no not-null state", w;
      p << "NOT_NULL_STATE\n";
    }
    p << op.name;
    if (name.rfind("REGEXP_", 0) == 0) // the compiled pattern is an attribute of the element
      p << " regex='(b)c?' flags='i'" << (name.rfind("REGEXP_REPLACE", 0) == 0 ? " replacement='<\\1>'" : "");
    p << "\n";
  }
  w.program = p.str();
  if (!header.empty()) {
    auto join = [](const std::vector<std::string>& v) {
      std::string s;
      for (std::size_t i = 0; i < v.size(); ++i)
        s += (i ? "," : "") + v[i];
      return s + "\n";
    };
    // The NULL row is not last: an empty last line of one-column data is refused as ambiguous.
    w.csv = join(header) + join(rowA) + join(rowNull) + join(rowB);
  }
  return w;
}

// The value and state of each printed row; a failed row's state is its code in the column-batch
// evaluator and 1 in the row evaluator, so states compare as present / null-or-failed.
std::vector<std::pair<std::string, bool>> rowsOf(const std::string& out) {
  std::vector<std::pair<std::string, bool>> rows;
  const std::vector<std::string> ls = quarry::test::lines(out);
  for (std::size_t i = 1; i < ls.size(); ++i) {
    const auto comma = ls[i].rfind(',');
    rows.emplace_back(ls[i].substr(0, comma), ls[i].substr(comma + 1) != "0");
  }
  return rows;
}

} // namespace

TEST(CatalogueWalk, EveryOpWithAKernelRunsThroughTheToolInBothEvaluators) {
  const Tables tables;
  int ran = 0;
  std::map<std::string, int> skipped;
  for (int code = 0; code < kNumOps; ++code) {
    if (!hasKernel(code))
      continue;
    const OpInfo& op = *opInfo(code);
    if (code == 52) { // a point-in-polygon index has no text form
      ++skipped["no text form"];
      continue;
    }
    const WalkCase w = buildCase(op, tables);
    if (!w.skip.empty()) {
      ++skipped[w.skip];
      continue;
    }
    SCOPED_TRACE(std::to_string(code) + " " + op.name + "\n" + w.program +
                 (w.csv.empty() ? "" : "data:\n" + w.csv));
    std::vector<std::string> base = {"-e", w.program};
    if (!w.csv.empty()) {
      base.push_back("--data");
      base.push_back(quarry::test::writeTempFile("walk.csv", w.csv));
    }
    std::vector<quarry::test::ToolRun> runs;
    for (const char* evaluator : {"auto", "vector", "row"}) {
      std::vector<std::string> args = base;
      args.push_back("--evaluator");
      args.push_back(evaluator);
      runs.push_back(quarry::test::runInProcess(args));
      const quarry::test::ToolRun& r = runs.back();
      // 0 rows printed, 1 a row failed, 3 the library refused the call (an argument it cannot take, such
      // as an unknown metric): then both evaluators must refuse it with the same message.
      EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 3)
          << evaluator << ": status " << r.status << "\n"
          << r.err;
      EXPECT_EQ(r.status != 0, r.err.rfind("error: ", 0) == 0) << evaluator << ": " << r.err;
      if (r.status != 3) {
        EXPECT_EQ(quarry::test::lines(r.out).size(), w.csv.empty() ? 2u : 4u) << evaluator << ":\n" << r.out;
      }
    }
    EXPECT_EQ(runs[1].status, runs[2].status) << "the evaluators disagree on the call's result";
    // A refused call reports the first failing row its tasks met, which varies between runs when rows
    // run in parallel: compare the refusal up to the first number.
    auto refusal = [](const quarry::test::ToolRun& r) {
      return r.status == 3 ? r.err.substr(0, r.err.find_first_of("-0123456789")) : r.err;
    };
    EXPECT_EQ(refusal(runs[1]), refusal(runs[2]));
    if (readsClock(op)) {
      auto states = [](const std::string& out) {
        std::vector<bool> v;
        for (const auto& [value, state] : rowsOf(out))
          v.push_back(state);
        return v;
      };
      EXPECT_EQ(states(runs[1].out), states(runs[2].out)) << runs[1].out << runs[2].out;
      for (const auto& [value, state] : rowsOf(runs[1].out))
        EXPECT_TRUE(state || value.find_first_of("-:") != std::string::npos)
            << "a clock value printed as calendar text: " << value;
    } else {
      EXPECT_EQ(rowsOf(runs[1].out), rowsOf(runs[2].out)) << "vector:\n"
                                                          << runs[1].out << "row:\n"
                                                          << runs[2].out;
    }
    ++ran;
    if (testing::Test::HasFailure())
      break; // one op's report is enough to act on
  }
  std::string why;
  for (const auto& [reason, count] : skipped)
    why += "  " + std::to_string(count) + ": " + reason + "\n";
  std::cout << "[ walk ] " << ran << " ops ran through the tool; skipped:\n" << why;
  // The catalogue has hundreds of implemented ops; a walk that ran few of them walked nothing.
  EXPECT_GT(ran, 300);
}
