#include "tools/ProgramText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <vector>

#include "base/VelaException.h"
#include "cuda/TypedRpnEvaluator.h"

namespace quarry::tools {

using namespace vela::ParserUtils;

namespace {

struct Element {
  int number; // 1-based, for messages
  std::string text;
};

// Splits on newlines and ';' outside quotes and brackets; drops comments and blank elements.
std::vector<Element> splitElements(std::string_view text) {
  std::vector<Element> out;
  std::string current;
  bool quoted = false;
  int depth = 0;
  auto flush = [&] {
    const auto b = current.find_first_not_of(" \t\r");
    if (b != std::string::npos) {
      const auto e = current.find_last_not_of(" \t\r");
      out.push_back({static_cast<int>(out.size()) + 1, current.substr(b, e - b + 1)});
    }
    current.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      current += c;
      if (c == '\'')
        quoted = false; // a doubled quote reopens at the next character
      continue;
    }
    if (c == '\'') {
      quoted = true;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && text[i] != '\n')
        ++i;
      flush();
      continue;
    } else if ((c == '\n' || c == ';') && depth <= 0) {
      flush();
      continue;
    }
    current += c;
  }
  flush();
  return out;
}

// Splits an element into words: quoted text and bracketed lists stay whole.
std::vector<std::string> words(const Element& e) {
  std::vector<std::string> out;
  std::string w;
  bool quoted = false;
  int depth = 0;
  for (char c : e.text) {
    if (!quoted && depth == 0 && (c == ' ' || c == '\t')) {
      if (!w.empty())
        out.push_back(std::move(w)), w.clear();
      continue;
    }
    if (c == '\'')
      quoted = !quoted;
    else if (!quoted && c == '[')
      ++depth;
    else if (!quoted && c == ']')
      --depth;
    w += c;
  }
  if (quoted)
    throw ProgramTextError("element " + std::to_string(e.number) + " ('" + e.text + "'): unterminated quote");
  if (depth != 0)
    throw ProgramTextError("element " + std::to_string(e.number) + " ('" + e.text +
                           "'): unbalanced brackets");
  if (!w.empty())
    out.push_back(std::move(w));
  return out;
}

[[noreturn]] void refuse(const Element& e, const std::string& what) {
  throw ProgramTextError("element " + std::to_string(e.number) + " ('" + e.text + "'): " + what);
}

const OpInfo& lookUpOp(const Element& e, const std::string& word) {
  if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-')) {
    int code = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), code);
    if (ec != std::errc() || end != word.data() + word.size())
      refuse(e, "bad op code '" + word + "'");
    const OpInfo* op = opInfo(code);
    if (!op)
      refuse(e, "op code " + word + " is outside 0..2649");
    return *op;
  }
  std::string upper = word;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const OpInfo* op = findOpByName(upper);
  if (!op)
    refuse(e, "unknown op '" + word + "'");
  return *op;
}

template <class T>
T parseInteger(const Element& e, const std::string& word) {
  T v{};
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
  if (ec != std::errc() || end != word.data() + word.size())
    refuse(e, "'" + word + "' is not a valid " + (std::is_signed_v<T> ? "signed" : "unsigned") + " " +
                  std::to_string(sizeof(T) * 8) + "-bit integer");
  return v;
}

double parseFloat(const Element& e, const std::string& word) {
  if (word == "nan")
    return std::numeric_limits<double>::quiet_NaN();
  if (word == "inf")
    return std::numeric_limits<double>::infinity();
  if (word == "-inf")
    return -std::numeric_limits<double>::infinity();
  double v = 0;
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
  if (ec != std::errc() || end != word.data() + word.size())
    refuse(e, "'" + word + "' is not a valid float");
  return v;
}

std::string unquote(const Element& e, const std::string& word) {
  if (word.size() < 2 || word.front() != '\'' || word.back() != '\'')
    refuse(e, "text constants are written in single quotes");
  std::string out;
  for (std::size_t i = 1; i + 1 < word.size(); ++i) {
    out += word[i];
    if (word[i] == '\'')
      ++i; // '' stands for one quote
  }
  return out;
}

bool isColumnLoad(int code) {
  return (code >= 102 && code <= 236) || code == 240;
}

// Writes one scalar literal of `type` into `cell`.
void encodeScalar(const Element& e, RpnDataType type, const std::string& word, int scale,
                  unsigned char* cell) {
  auto put = [&](auto v) { std::memcpy(cell, &v, sizeof v); };
  switch (type) {
  case RpnDataType::Bool:
    if (word == "true" || word == "1")
      put(std::uint8_t{1});
    else if (word == "false" || word == "0")
      put(std::uint8_t{0});
    else
      refuse(e, "'" + word + "' is not a boolean");
    break;
  case RpnDataType::Int8:
    put(parseInteger<std::int8_t>(e, word));
    break;
  case RpnDataType::Int16:
    put(parseInteger<std::int16_t>(e, word));
    break;
  case RpnDataType::Int32:
  case RpnDataType::Ipv4:
  case RpnDataType::Date:
  case RpnDataType::Time:
    put(parseInteger<std::int32_t>(e, word));
    break;
  case RpnDataType::UInt32:
    put(parseInteger<std::uint32_t>(e, word));
    break;
  case RpnDataType::Int64:
  case RpnDataType::DateTime:
  case RpnDataType::Timestamp:
    put(parseInteger<std::int64_t>(e, word));
    break;
  case RpnDataType::UInt64:
    put(parseInteger<std::uint64_t>(e, word));
    break;
  case RpnDataType::Float32:
    put(static_cast<float>(parseFloat(e, word)));
    break;
  case RpnDataType::Float64:
    put(parseFloat(e, word));
    break;
  case RpnDataType::Dec64:
  case RpnDataType::Dec128: {
    vela::int128_t v = 0;
    try {
      v = parseUnscaledDecimal(word.front() == '\'' ? unquote(e, word) : word, scale);
    } catch (const vela::VelaException& x) {
      refuse(e, x.what());
    }
    if (type == RpnDataType::Dec64) {
      if (v > INT64_MAX || v < INT64_MIN)
        refuse(e, "'" + word + "' does not fit a 64-bit decimal");
      put(static_cast<std::int64_t>(v));
    } else {
      put(static_cast<std::uint64_t>(v));
      const auto high = static_cast<std::int32_t>(v >> 64);
      std::memcpy(cell + 8, &high, 4);
    }
    break;
  }
  case RpnDataType::UInt128:
  case RpnDataType::Uuid: {
    const auto v = parseInteger<std::uint64_t>(e, word); // the low word; the high word is zero
    put(v);
    break;
  }
  default: {
    const std::size_t width = get_rpn_datatype_size(type);
    if (type >= RpnDataType::Char1 && type <= RpnDataType::Char256 && width > 0) {
      const std::string text = unquote(e, word);
      if (text.size() > width)
        refuse(e, "text of " + std::to_string(text.size()) + " bytes does not fit " +
                      rpnDataTypeShortName(type));
      packCharN(text, width, cell);
      break;
    }
    refuse(e, std::string("constants of type ") + rpnDataTypeShortName(type) +
                  " are not written in program text");
  }
  }
}

} // namespace

void parseProgramText(std::string_view text, Program& program) {
  for (const Element& e : splitElements(text)) {
    const std::vector<std::string> w = words(e);
    const OpInfo& op = lookUpOp(e, w[0]);
    EvalInfo info;
    std::string operand;
    bool haveOperand = false;
    for (std::size_t i = 1; i < w.size(); ++i) {
      const auto eq = w[i].find('=');
      if (eq != std::string::npos && w[i][0] != '\'' && w[i][0] != '[') {
        const std::string key = w[i].substr(0, eq), value = w[i].substr(eq + 1);
        const int v = parseInteger<int>(e, value);
        if (v < -128 || v > 127)
          refuse(e, "attribute " + key + " must lie in -128..127");
        if (key == "p")
          info.bytes[0] = static_cast<std::int8_t>(v);
        else if (key == "s")
          info.bytes[1] = static_cast<std::int8_t>(v);
        else if (key.size() == 2 && (key[0] == 'p' || key[0] == 's') && key[1] >= '0' && key[1] <= '2')
          info.bytes[12 + 2 * (key[1] - '0') + (key[0] == 's')] = static_cast<std::int8_t>(v);
        else
          refuse(e, "unknown attribute '" + key + "'");
        continue;
      }
      if (haveOperand)
        refuse(e, "more than one operand");
      operand = w[i];
      haveOperand = true;
    }
    const bool takesOperand = isColumnLoad(op.code) || (op.code >= 34 && op.code <= 100 && op.code != 50 &&
                                                        op.code != 51 && op.code != 52 && op.code != 34);
    if (takesOperand && !haveOperand)
      refuse(e, std::string(op.name) + " needs an operand");
    if (!takesOperand && haveOperand)
      refuse(e, std::string(op.name) + " takes no operand");
    if (!haveOperand) {
      program.op(op.code, info);
      continue;
    }
    if (isColumnLoad(op.code)) {
      const int index = parseInteger<int>(e, operand);
      if (index < 0)
        refuse(e, "column index must not be negative");
      program.column(op.code, index).info(info);
    } else if (op.result == RpnDataType::List) {
      if (operand.front() != '[' || operand.back() != ']')
        refuse(e, "a list constant is written in brackets");
      const std::size_t width = get_rpn_datatype_size(op.listElement);
      std::vector<unsigned char> bytes;
      std::stringstream items(operand.substr(1, operand.size() - 2));
      std::string item;
      std::uint32_t count = 0;
      while (std::getline(items, item, ',')) {
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (item.empty())
          continue;
        bytes.resize(bytes.size() + width);
        encodeScalar(e, op.listElement, item, info.scale(), bytes.data() + bytes.size() - width);
        ++count;
      }
      program.list(op.code, bytes.data(), count).info(info);
    } else if (isObjectType(op.result)) {
      refuse(e, std::string("object constants (") + rpnDataTypeShortName(op.result) +
                    ") are not supported in program text yet");
    } else {
      program.op(op.code, info);
      encodeScalar(e, op.result, operand, info.scale(), program.elements().back().operand);
    }
  }
}

std::string describeProgram(const std::vector<TypedRpnElement>& program) {
  std::ostringstream out;
  for (std::size_t i = 0; i < program.size(); ++i) {
    const TypedRpnElement& e = program[i];
    const OpInfo* op = opInfo(e.op);
    out << "  [" << i << "] " << e.op << ' ' << get_trpn_op_name(e.op);
    if (!op) {
      out << "  (outside the op code space)\n";
      continue;
    }
    out << "  " << opFamilyName(op->family) << "  (";
    for (int k = 0; k < op->numOperands; ++k)
      out << (k ? ", " : "")
          << (op->operands[k] == RpnDataType::None ? "any" : rpnDataTypeShortName(op->operands[k]));
    out << ") -> "
        << (op->result == RpnDataType::List ? std::string("list of ") + rpnDataTypeShortName(op->listElement)
                                            : std::string(rpnDataTypeShortName(op->result)));
    if (op->statesIn || op->statesOut)
      out << "  states " << int(op->statesIn) << " -> " << int(op->statesOut);
    if (isColumnLoad(e.op))
      out << "  column " << e.columnIndex();
    out << '\n';
  }
  const auto a = vela::cuda::analyzeProgram(program.data(), program.size());
  const RpnDataType type = get_evaluated_type(program);
  auto index = [&](std::size_t i) { return i >= program.size() ? std::string("none") : std::to_string(i); };
  out << "result type: " << rpnDataTypeShortName(type) << " (" << get_rpn_datatype_size(type)
      << "-byte cells)\n"
      << "last value element: " << index(a.lastValueElement) << "\n"
      << "last null element: " << index(a.lastNullElement) << "\n"
      << "has null states: " << (a.hasNullStates ? "yes" : "no") << "\n"
      << "has reportable errors: " << (a.hasReportableErrors ? "yes" : "no") << "\n"
      << "needs row evaluator: " << (a.needsRowEvaluator ? "yes" : "no") << "\n"
      << "has expensive host-only op: " << (a.hasExpensiveHostOnly ? "yes" : "no") << "\n"
      << "max stack index: value " << get_max_stack_index(program) << ", null state "
      << get_max_null_stack_index(program) << "\n";
  return out.str();
}

} // namespace quarry::tools
