#include "tools/ProgramCheck.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "tools/ProgramText.h"

namespace quarry::tools {

using namespace vela::ParserUtils;

RpnDataType storageOf(RpnDataType type) {
  switch (type) {
  case RpnDataType::Ipv4:
  case RpnDataType::Date:
  case RpnDataType::Time:
    return RpnDataType::Int32;
  case RpnDataType::DateTime:
  case RpnDataType::Timestamp:
    return RpnDataType::Int64;
  case RpnDataType::Uuid:
    return RpnDataType::UInt128;
  case RpnDataType::String2:
    return RpnDataType::String;
  case RpnDataType::Array:
    return RpnDataType::Json;
  default:
    return type;
  }
}

RpnDataType columnSourceType(int code) {
  if (code == 240 || code == 241)
    return RpnDataType::None;
  const OpInfo* op = opInfo(code);
  if (op == nullptr)
    return RpnDataType::None;
  // Fused loads are named LOAD_CAST_<source>_TO_<result>; the JSON casts fused with a load read JSON.
  const std::string name = op->name;
  const std::string prefix = "LOAD_CAST_";
  const auto to = name.find("_TO_");
  if (name.rfind(prefix, 0) == 0 && to != std::string::npos) {
    std::string source = name.substr(prefix.size(), to - prefix.size());
    std::transform(source.begin(), source.end(), source.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return rpnDataTypeFromShortName(source);
  }
  if (name.find("_CAST_") != std::string::npos && name.find("JSON") != std::string::npos)
    return RpnDataType::Json;
  return op->result;
}

RpnDataType listItemType(const OpInfo& op) {
  if (std::string_view(op.name).starts_with("LOOKUP"))
    return op.result;
  return op.operands[0];
}

namespace {

struct StackValue {
  RpnDataType type;
  RpnDataType listElement;
};

std::string typeName(const StackValue& v) {
  return v.type == RpnDataType::List ? std::string("list of ") + rpnDataTypeShortName(v.listElement)
                                     : std::string(rpnDataTypeShortName(v.type));
}

[[noreturn]] void refuse(std::size_t i, const TypedRpnElement& e, const std::string& what) {
  throw ProgramTextError("element " + std::to_string(i + 1) + " (" + get_trpn_op_name(e.op) + "): " + what);
}

void checkColumn(std::size_t i, const TypedRpnElement& e, const std::vector<CsvColumnType>& columns) {
  const int index = e.columnIndex();
  const std::size_t n = columns.size();
  const bool flags = e.op == 240 || e.op == 241;
  if (n == 0)
    refuse(i, e, "reads column " + std::to_string(index) + " but there are no input columns (give --data)");
  if (index < 0 || static_cast<std::size_t>(index) >= (flags ? 2 * n : n))
    refuse(i, e,
           "column " + std::to_string(index) + " does not exist (" + std::to_string(n) + " input columns" +
               (flags ? ", null flags at " + std::to_string(n) + ".." + std::to_string(2 * n - 1) : "") +
               ")");
  if (flags) {
    if (static_cast<std::size_t>(index) < n)
      refuse(i, e,
             "column " + std::to_string(index) + " holds values, not null flags (null flags at " +
                 std::to_string(n) + ".." + std::to_string(2 * n - 1) + ")");
    return;
  }
  const RpnDataType want = columnSourceType(e.op);
  const RpnDataType have = columns[index].type;
  if (want == RpnDataType::None || storageOf(want) != storageOf(have))
    refuse(i, e,
           "reads " + std::string(rpnDataTypeShortName(want)) + " cells but column " + std::to_string(index) +
               " holds " + rpnDataTypeShortName(have));
}

} // namespace

void checkProgram(const std::vector<TypedRpnElement>& program, const std::vector<CsvColumnType>& columns) {
  for (std::size_t i = 0; i < program.size(); ++i)
    if (readsColumn(program[i].op))
      checkColumn(i, program[i], columns);

  std::vector<StackValue> stack;
  for (std::size_t i = 0; i < program.size(); ++i) {
    const TypedRpnElement& e = program[i];
    const OpInfo* op = opInfo(e.op);
    if (op == nullptr || isNoOp(e.op))
      continue;
    if (stack.size() < op->numOperands)
      return; // an underflow: the evaluator refuses it when it runs
    const std::size_t base = stack.size() - op->numOperands;
    for (int k = 0; k < op->numOperands; ++k) {
      const RpnDataType want = op->operands[k];
      const StackValue& have = stack[base + k];
      if (want == RpnDataType::None)
        continue; // any value
      bool ok;
      if (want == RpnDataType::List) {
        // u32 keys have no list constant of their own; they are written as an i32 list of the same width.
        const RpnDataType item = storageOf(listItemType(*op));
        const RpnDataType given = storageOf(have.listElement);
        ok = have.type == RpnDataType::List &&
             (given == item || (item == RpnDataType::UInt32 && given == RpnDataType::Int32));
      } else {
        ok = have.type != RpnDataType::List && storageOf(have.type) == storageOf(want);
      }
      if (!ok)
        refuse(i, e,
               "operand " + std::to_string(k + 1) + " of " + std::to_string(op->numOperands) + " must be " +
                   (want == RpnDataType::List
                        ? std::string("a list of ") + rpnDataTypeShortName(listItemType(*op))
                        : std::string(rpnDataTypeShortName(want))) +
                   ", but the value there is " + typeName(have));
    }
    stack.resize(base);
    if (op->pushesValue())
      stack.push_back({op->result, op->listElement});
  }
}

} // namespace quarry::tools
