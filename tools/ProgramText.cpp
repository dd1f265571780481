#include "tools/ProgramText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "tools/ScalarText.h"

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

// Writes one scalar literal of `type` into `cell`.
void encodeScalar(const Element& e, RpnDataType type, const std::string& word, int scale,
                  unsigned char* cell) {
  const bool quoted = !word.empty() && word.front() == '\'';
  const bool text =
      type >= RpnDataType::Char1 && type <= RpnDataType::Char256 && get_rpn_datatype_size(type) > 0;
  if (text && !quoted)
    refuse(e, "text constants are written in single quotes");
  std::string why;
  // Decimal text may be quoted too ('-1.25'); numbers are otherwise bare words.
  const std::string value =
      quoted && (text || type == RpnDataType::Dec64 || type == RpnDataType::Dec128) ? unquote(e, word) : word;
  if (!encodeScalarText(type, value, scale, cell, why))
    refuse(e, why);
}

// Attribute keys of the EvalInfo bytes: p, s (result), p0..p2, s0..s2 (arguments).
int infoByte(const std::string& key) {
  if (key == "p")
    return 0;
  if (key == "s")
    return 1;
  if (key.size() == 2 && (key[0] == 'p' || key[0] == 's') && key[1] >= '0' && key[1] <= '2')
    return 12 + 2 * (key[1] - '0') + (key[0] == 's');
  return -1;
}

// A list constant's items, split at commas outside single quotes.
std::vector<std::string> listItems(const Element& e, const std::string& operand) {
  if (operand.size() < 2 || operand.front() != '[' || operand.back() != ']')
    refuse(e, "a list is written in brackets: [1, 2, 3]");
  std::vector<std::string> items;
  std::string item;
  bool quoted = false;
  auto flush = [&] {
    const auto b = item.find_first_not_of(" \t");
    const auto last = item.find_last_not_of(" \t");
    items.push_back(b == std::string::npos ? std::string() : item.substr(b, last - b + 1));
    item.clear();
  };
  for (std::size_t i = 1; i + 1 < operand.size(); ++i) {
    const char c = operand[i];
    if (c == '\'')
      quoted = !quoted;
    if (c == ',' && !quoted)
      flush();
    else
      item += c;
  }
  flush();
  if (items.size() == 1 && items[0].empty())
    items.clear(); // []
  for (const std::string& i : items)
    if (i.empty())
      refuse(e, "an empty item in the list " + operand);
  return items;
}

int columnReference(const Element& e, const std::string& operand, int code,
                    const ProgramTextContext& context) {
  const int n = static_cast<int>(context.columnNames.size());
  if (!operand.empty() && operand[0] == '$') {
    std::string name = operand.substr(1);
    bool nulls = false;
    if (name.size() > 6 && name.compare(name.size() - 6, 6, ".nulls") == 0 && !context.columnNames.empty()) {
      const std::string base = name.substr(0, name.size() - 6);
      // A column may itself be called "x.nulls"; the exact name wins.
      if (std::find(context.columnNames.begin(), context.columnNames.end(), name) ==
          context.columnNames.end()) {
        name = base;
        nulls = true;
      }
    }
    const auto it = std::find(context.columnNames.begin(), context.columnNames.end(), name);
    if (it == context.columnNames.end())
      refuse(e, "no input column named '" + name + "'");
    const int k = static_cast<int>(it - context.columnNames.begin());
    if (nulls && code != 240 && code != 241)
      refuse(e, "null flags ($" + name + ".nulls) are read by LOAD_COL_NULLS and OR_COL_NULLS only");
    return nulls ? n + k : k;
  }
  int index = 0;
  const auto [end, ec] = std::from_chars(operand.data(), operand.data() + operand.size(), index);
  if (ec != std::errc() || end != operand.data() + operand.size())
    refuse(e, "'" + operand + "' is not a column reference (an index or $name)");
  if (index < 0)
    refuse(e, "column index must not be negative");
  return index;
}

// An object constant (or list item) from its quoted text, kept alive by the context's store.
const void* objectConstant(const Element& e, RpnDataType type, const std::string& word,
                           const ProgramTextContext& context) {
  if (context.objects == nullptr)
    refuse(e, std::string("object constants (") + rpnDataTypeShortName(type) +
                  ") need a place to live; this caller gives none");
  const bool quoted = !word.empty() && word.front() == '\'';
  if (!quoted && !(type == RpnDataType::Vector && !word.empty() && word.front() == '['))
    refuse(e, std::string(rpnDataTypeShortName(type)) + " constants are written in single quotes");
  std::string why;
  const void* object = makeObjectFromText(type, quoted ? unquote(e, word) : word, why);
  if (object == nullptr)
    refuse(e, why);
  context.objects->adopt(type, object);
  return object;
}

bool takesOperand(const OpInfo& op) {
  if (readsColumn(op.code))
    return true;
  // Constants 35-67 (34 pushes false whatever its operand) and list constants 68-100.
  return op.code >= 35 && op.code <= 100;
}

} // namespace

bool readsColumn(int code) {
  return (code >= 102 && code <= 236) || code == 240 || code == 241;
}

ConstantObjects::~ConstantObjects() {
  for (const auto& [type, object] : m_objects)
    vela::cuda::objectDeleterFor(type)(object);
}

void ConstantObjects::adopt(RpnDataType type, const void* object) {
  m_objects.emplace_back(type, object);
}

void parseProgramText(std::string_view text, Program& program, const ProgramTextContext& context) {
  for (const Element& e : splitElements(text)) {
    const std::vector<std::string> w = words(e);
    const OpInfo& op = lookUpOp(e, w[0]);
    EvalInfo info;
    bool resultScaleGiven = false, resultPrecisionGiven = false;
    std::string operand;
    bool haveOperand = false;
    std::optional<std::vector<std::int32_t>> results;
    for (std::size_t i = 1; i < w.size(); ++i) {
      const auto eq = w[i].find('=');
      if (eq != std::string::npos && w[i][0] != '\'' && w[i][0] != '[' && w[i][0] != '$') {
        const std::string key = w[i].substr(0, eq), value = w[i].substr(eq + 1);
        if (key == "results") {
          if (op.result != RpnDataType::List)
            refuse(e, "results= belongs to list constants");
          results.emplace();
          for (const std::string& item : listItems(e, value))
            results->push_back(parseInteger<std::int32_t>(e, item));
          continue;
        }
        const int byte = infoByte(key);
        if (byte < 0)
          refuse(e, "unknown attribute '" + key + "'");
        const int v = parseInteger<int>(e, value);
        if (v < -128 || v > 127)
          refuse(e, "attribute " + key + " must lie in -128..127");
        info.bytes[byte] = static_cast<std::int8_t>(v);
        resultPrecisionGiven |= byte == 0;
        resultScaleGiven |= byte == 1;
        continue;
      }
      if (haveOperand)
        refuse(e, "more than one operand");
      operand = w[i];
      haveOperand = true;
    }
    if (takesOperand(op) && !haveOperand)
      refuse(e, std::string(op.name) + " needs an operand");
    if (!takesOperand(op) && haveOperand)
      refuse(e, std::string(op.name) + " takes no operand");
    if (!haveOperand) {
      program.op(op.code, info);
      continue;
    }
    if (readsColumn(op.code)) {
      const int index = columnReference(e, operand, op.code, context);
      if (static_cast<std::size_t>(index) < context.columnTypes.size()) {
        // A decimal column carries its scale; its load pushes values at that scale.
        const CsvColumnType& t = context.columnTypes[index];
        if ((t.type == RpnDataType::Dec64 || t.type == RpnDataType::Dec128) && op.code != 240 &&
            op.code != 241) {
          if (!resultScaleGiven)
            info.bytes[1] = static_cast<std::int8_t>(t.scale);
          if (!resultPrecisionGiven)
            info.bytes[0] = static_cast<std::int8_t>(t.type == RpnDataType::Dec64 ? 18 : 38);
        }
      }
      program.column(op.code, index).info(info);
    } else if (op.result == RpnDataType::List) {
      const std::size_t width = get_rpn_datatype_size(op.listElement);
      const std::vector<std::string> items = listItems(e, operand);
      std::vector<unsigned char> bytes(items.size() * width);
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (isObjectType(op.listElement)) {
          const void* object = objectConstant(e, op.listElement, items[i], context);
          std::memcpy(bytes.data() + i * width, &object, sizeof object);
        } else {
          encodeScalar(e, op.listElement, items[i], info.scale(), bytes.data() + i * width);
        }
      }
      if (results && results->size() != items.size())
        refuse(e, "results= has " + std::to_string(results->size()) + " values for " +
                      std::to_string(items.size()) + " list items");
      program
          .list(op.code, bytes.data(), static_cast<std::uint32_t>(items.size()),
                results.value_or(std::vector<std::int32_t>{}))
          .info(info);
    } else if (isObjectType(op.result)) {
      program.pointerConstant(op.code, objectConstant(e, op.result, operand, context)).info(info);
    } else if (op.result == RpnDataType::Pip || !op.pushesValue()) {
      refuse(e, std::string(op.name) + " constants are not written in program text");
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
    if (readsColumn(e.op))
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
