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
#include "tools/DateText.h"
#include "tools/ProgramCheck.h"
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
    throw ProgramTextError("element " + std::to_string(e.number) + " (" + quoteInput(e.text) +
                           "): unterminated quote");
  if (depth != 0)
    throw ProgramTextError("element " + std::to_string(e.number) + " (" + quoteInput(e.text) +
                           "): unbalanced brackets");
  if (!w.empty())
    out.push_back(std::move(w));
  return out;
}

[[noreturn]] void refuse(const Element& e, const std::string& what) {
  throw ProgramTextError("element " + std::to_string(e.number) + " (" + quoteInput(e.text) + "): " + what);
}

const OpInfo& lookUpOp(const Element& e, const std::string& word) {
  if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-')) {
    long code = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), code);
    if (ec != std::errc() || end != word.data() + word.size())
      refuse(e, "bad op code " + quoteInput(word));
    const OpInfo* op = code >= 0 && code < kNumOps ? opInfo(static_cast<int>(code)) : nullptr;
    if (!op)
      refuse(e, "op code " + word + " is unassigned: op codes lie in 0.." + std::to_string(kNumOps - 1));
    if (op->family == OpFamily::Unassigned)
      refuse(e, "op code " + word + " is unassigned: it names no operation (--list-ops lists the codes)");
    return *op;
  }
  std::string upper = word;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const OpInfo* op = findOpByName(upper);
  if (!op)
    refuse(e, "unknown op " + quoteInput(word));
  if (op->family == OpFamily::Unassigned)
    refuse(e, std::string(op->name) + " is unassigned: op code " + std::to_string(op->code) +
                  " names no operation");
  return *op;
}

template <class T>
T parseInteger(const Element& e, const std::string& word) {
  T v{};
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
  if (ec != std::errc() || end != word.data() + word.size())
    refuse(e, quoteInput(word) + " is not a valid " + (std::is_signed_v<T> ? "signed" : "unsigned") + " " +
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

// A list constant's items, split at commas outside single quotes and inner brackets (a list of vectors
// is [[1, 2], [3]]).
std::vector<std::string> listItems(const Element& e, const std::string& operand) {
  if (operand.size() < 2 || operand.front() != '[' || operand.back() != ']')
    refuse(e, "a list is written in brackets: [1, 2, 3]");
  std::vector<std::string> items;
  std::string item;
  bool quoted = false;
  int depth = 0;
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
    else if (!quoted && c == '[')
      ++depth;
    else if (!quoted && c == ']')
      --depth;
    if (c == ',' && !quoted && depth == 0)
      flush();
    else
      item += c;
  }
  flush();
  if (items.size() == 1 && items[0].empty())
    items.clear(); // []
  for (const std::string& i : items)
    if (i.empty())
      refuse(e, "an empty item in the list " + quoteInput(operand));
  return items;
}

int columnReference(const Element& e, const std::string& operand, int code,
                    const ProgramTextContext& context) {
  const int n = static_cast<int>(context.columnNames.size());
  const bool flags = code == 240 || code == 241;
  if (!operand.empty() && operand[0] == '$') {
    std::string name = operand.substr(1);
    // Column names never end in .nulls (the CSV reader refuses them), so the suffix is unambiguous.
    const bool nulls = name.ends_with(".nulls");
    if (nulls)
      name.resize(name.size() - 6);
    const auto it = std::find(context.columnNames.begin(), context.columnNames.end(), name);
    if (it == context.columnNames.end())
      refuse(e, "no input column named " + quoteInput(name));
    const int k = static_cast<int>(it - context.columnNames.begin());
    if (nulls && !flags)
      refuse(e, "null flags (" + quoteInput(operand) + ") are read by LOAD_COL_NULLS and OR_COL_NULLS only");
    if (!nulls && flags)
      refuse(e, "this op reads null flags: write $" + name + ".nulls (index " + std::to_string(n + k) + ")");
    return nulls ? n + k : k;
  }
  int index = 0;
  const auto [end, ec] = std::from_chars(operand.data(), operand.data() + operand.size(), index);
  if (ec != std::errc() || end != operand.data() + operand.size())
    refuse(e, quoteInput(operand) + " is not a column reference (an index or $name)");
  if (index < 0)
    refuse(e, "column index must not be negative");
  if (flags && n > 0 && index < n)
    refuse(e, "column " + std::to_string(index) +
                  " holds values, not null flags: the flags of column k are at " + std::to_string(n) +
                  " + k (" + std::to_string(n) + ".." + std::to_string(2 * n - 1) + ")");
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
  const void* object = makeObject(type, quoted ? unquote(e, word) : word, why);
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

const vela::VelaRegexp* ConstantObjects::adopt(std::unique_ptr<vela::VelaRegexp> regexp) {
  m_regexps.push_back(std::move(regexp));
  return m_regexps.back().get();
}

namespace {

bool isDecimal(RpnDataType t) {
  return t == RpnDataType::Dec64 || t == RpnDataType::Dec128;
}

// One element as written, before it is encoded.
struct Parsed {
  Element e;
  const OpInfo* op = nullptr;
  std::string operand;
  bool haveOperand = false;
  std::optional<std::vector<std::int32_t>> results;
  std::optional<int> attr[24]; // EvalInfo bytes the text states (0, 1 and 12..17)
  // Regular-expression ops: regex=, flags=, replacement= (unquoted).
  std::optional<std::string> regex, regexFlags, replacement;
  // A char32 constant written as date/time format text: the compiled format codes.
  std::optional<std::string> format;
};

bool isRegexpOp(const OpInfo& op) {
  return std::string_view(op.name).rfind("REGEXP_", 0) == 0;
}

// The compiled pattern of a regular-expression element, kept by the context's store. A pattern the
// engine refuses is a refusal of the program text, with the engine's reason.
const vela::VelaRegexp* compileRegexp(const Parsed& p, const ProgramTextContext& context) {
  if (context.objects == nullptr)
    refuse(p.e, "compiled patterns need a place to live; this caller gives none");
  try {
    return context.objects->adopt(std::make_unique<vela::VelaRegexp>(
        *p.regex, p.regexFlags.value_or(std::string()), p.replacement.value_or(std::string())));
  } catch (const vela::VelaException& x) {
    refuse(p.e, x.status() ? x.status()->message() : std::string(x.what()));
  }
}

// What is known about a stack entry while the program is assembled: its type (lists: their items'
// type), for decimals its precision and scale, and the value of an i8 constant (the run-time precision
// and scale operands of the _PS casts).
struct Entry {
  RpnDataType type = RpnDataType::None;
  RpnDataType item = RpnDataType::None;
  int precision = 0;
  int scale = 0;
  std::optional<int> i8;
  bool decimal() const { return isDecimal(type) || (type == RpnDataType::List && isDecimal(item)); }
};

// The op that pops a list constant, and as which of its operands.
struct Consumer {
  const OpInfo* op = nullptr;
  int operand = 0;
};

const char* attrName(int byte) {
  static const char* const names[] = {"p", "s", "p0", "s0", "p1", "s1", "p2", "s2"};
  return names[byte < 2 ? byte : byte - 10];
}

Parsed parseElement(const Element& e) {
  Parsed p;
  p.e = e;
  const std::vector<std::string> w = words(e);
  p.op = &lookUpOp(e, w[0]);
  for (std::size_t i = 1; i < w.size(); ++i) {
    const auto eq = w[i].find('=');
    if (eq != std::string::npos && w[i][0] != '\'' && w[i][0] != '[' && w[i][0] != '$') {
      const std::string key = w[i].substr(0, eq), value = w[i].substr(eq + 1);
      if (key == "regex" || key == "flags" || key == "replacement") {
        if (!isRegexpOp(*p.op))
          refuse(e, key + "= belongs to the regular-expression ops (REGEXP_...)");
        if (key == "replacement" && std::string_view(p.op->name).rfind("REGEXP_REPLACE", 0) != 0)
          refuse(e, "replacement= belongs to REGEXP_REPLACE");
        std::optional<std::string>& slot = key == "regex"   ? p.regex
                                           : key == "flags" ? p.regexFlags
                                                            : p.replacement;
        if (slot)
          refuse(e, key + "= is given twice");
        slot = unquote(e, value);
        continue;
      }
      if (key == "format") {
        if (p.op->result != RpnDataType::Char32 || !takesOperand(*p.op))
          refuse(e, "format= belongs to char32 constants (CONST_CHAR32 format='YYYY-MM-DD')");
        if (p.format)
          refuse(e, "format= is given twice");
        std::string codes, why;
        if (!compileDateFormat(unquote(e, value), codes, why))
          refuse(e, why);
        p.format = std::move(codes);
        continue;
      }
      if (key == "results") {
        if (p.op->result != RpnDataType::List)
          refuse(e, "results= belongs to list constants");
        p.results.emplace();
        for (const std::string& item : listItems(e, value))
          p.results->push_back(parseInteger<std::int32_t>(e, item));
        continue;
      }
      const int byte = infoByte(key);
      if (byte < 0)
        refuse(e, "unknown attribute " + quoteInput(key));
      const int v = parseInteger<int>(e, value);
      const bool scale = key[0] == 's';
      if (scale ? v < 0 || v > kMaxDecimalScale : v < 1 || v > 28)
        refuse(e, key + "=" + value + " is out of range: a decimal " +
                      (scale ? "scale lies in 0.." + std::to_string(kMaxDecimalScale)
                             : std::string("precision lies in 1..18 (dec64) or 1..28 (dec128)")));
      p.attr[byte] = v;
      continue;
    }
    if (p.haveOperand)
      refuse(e, "more than one operand");
    p.operand = w[i];
    p.haveOperand = true;
  }
  if (p.format && p.haveOperand)
    refuse(e, "format= is the constant's value: write either it or an operand");
  if (takesOperand(*p.op) && !p.haveOperand && !p.format)
    refuse(e, std::string(p.op->name) + " needs an operand");
  if (!takesOperand(*p.op) && p.haveOperand)
    refuse(e, std::string(p.op->name) + " takes no operand");
  if (isRegexpOp(*p.op) && !p.regex)
    refuse(e, std::string(p.op->name) + " needs its pattern: regex='...'");
  return p;
}

// Which list constants are popped by which op: a list's items are written in the type its consumer
// reads (u32 keys have no list constant of their own) and in the order its search needs.
std::vector<Consumer> listConsumers(const std::vector<Parsed>& parsed) {
  std::vector<Consumer> consumers(parsed.size());
  std::vector<std::size_t> stack;
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const OpInfo& op = *parsed[i].op;
    if (isNoOp(op.code))
      continue;
    const std::size_t n = std::min<std::size_t>(op.numOperands, stack.size());
    const std::size_t base = stack.size() - n;
    for (std::size_t k = 0; k < n; ++k)
      consumers[stack[base + k]] = {&op, static_cast<int>(op.numOperands - n + k)};
    stack.resize(base);
    if (op.pushesValue())
      stack.push_back(i);
  }
  return consumers;
}

// -1, 0 or 1: the order of two list items as the searches compare them; `unordered` for a NaN.
int compareItems(RpnDataType type, const unsigned char* a, const unsigned char* b, bool& unordered) {
  auto cmp = [](auto x, auto y) { return (x > y) - (x < y); };
  auto as = [](const unsigned char* cell, auto v) {
    std::memcpy(&v, cell, sizeof v);
    return v;
  };
  switch (storageOf(type)) {
  case RpnDataType::Bool:
  case RpnDataType::Char1:
    return cmp(a[0], b[0]);
  case RpnDataType::Int8:
    return cmp(as(a, std::int8_t{}), as(b, std::int8_t{}));
  case RpnDataType::Int16:
    return cmp(as(a, std::int16_t{}), as(b, std::int16_t{}));
  case RpnDataType::Char2:
    return cmp(as(a, std::uint16_t{}), as(b, std::uint16_t{}));
  case RpnDataType::Int32:
    return cmp(as(a, std::int32_t{}), as(b, std::int32_t{}));
  case RpnDataType::UInt32:
  case RpnDataType::Char4:
    return cmp(as(a, std::uint32_t{}), as(b, std::uint32_t{}));
  case RpnDataType::Int64:
  case RpnDataType::Dec64:
    return cmp(as(a, std::int64_t{}), as(b, std::int64_t{}));
  case RpnDataType::UInt64:
  case RpnDataType::Char8:
    return cmp(as(a, std::uint64_t{}), as(b, std::uint64_t{}));
  case RpnDataType::Float32:
  case RpnDataType::Float64: {
    const double x = type == RpnDataType::Float32 ? as(a, float{}) : as(a, double{});
    const double y = type == RpnDataType::Float32 ? as(b, float{}) : as(b, double{});
    unordered |= x != x || y != y;
    return cmp(x, y);
  }
  case RpnDataType::Dec128: {
    const auto high = cmp(as(a + 8, std::int32_t{}), as(b + 8, std::int32_t{}));
    return high != 0 ? high : cmp(as(a, std::uint64_t{}), as(b, std::uint64_t{}));
  }
  default:
    break;
  }
  // 16 bytes and wider: unsigned 64-bit words from the last down.
  const std::size_t width = get_rpn_datatype_size(type);
  for (std::size_t w = width / 8; w-- > 0;) {
    const int c = cmp(as(a + 8 * w, std::uint64_t{}), as(b + 8 * w, std::uint64_t{}));
    if (c != 0)
      return c;
  }
  return 0;
}

// Refuses the keys of a searched list that are out of order: IN keys ascending, FIND keys and the
// lower bounds of FIND_RANGE strictly ascending (each key names one result).
void checkKeyOrder(const Element& e, const Consumer& consumer, RpnDataType type,
                   const std::vector<unsigned char>& bytes, const std::vector<std::string>& texts,
                   const std::vector<std::string>& items) {
  const std::string_view name = consumer.op->name;
  const bool in = name.starts_with("IN_");
  const bool find = name.starts_with("FIND_") && consumer.operand == 1;
  if (!in && !find)
    return;
  const std::size_t width = get_rpn_datatype_size(type);
  auto shown = [&](std::size_t i) {
    const bool quoted = items[i].size() >= 2 && items[i].front() == '\'';
    return quoteInput(quoted ? unquote(e, items[i]) : items[i]);
  };
  for (std::size_t i = 1; i < items.size(); ++i) {
    bool unordered = false;
    const int c = isObjectType(type) ? (texts[i - 1] > texts[i]) - (texts[i - 1] < texts[i])
                                     : compareItems(type, bytes.data() + (i - 1) * width,
                                                    bytes.data() + i * width, unordered);
    if (unordered)
      refuse(e, "NaN cannot be a key of " + std::string(name) + ": it has no place in the key order");
    if (c > 0 || (c == 0 && find))
      refuse(e, std::string(name) + " searches its keys by bisection: they must be " +
                    (find ? "strictly " : "") + "ascending in " + rpnDataTypeShortName(type) +
                    " order, but " + shown(i - 1) + " comes before " + shown(i));
  }
}

// How an op's decimal result precision and scale come about.
enum class ResultRule {
  None,     // no decimal result
  Derived,  // fixed by the operands (or the column): a stated p=/s= must agree
  Chosen,   // the program chooses (a cast's target, a division's scale): default below
  Literal,  // a constant: at least the literal's own scale
  Multiply, // at most the sum of the operand scales, and at most 18 below it
  RunTime,  // a _PS cast: the CONST_I8 precision and scale operands
};

struct DecimalResult {
  ResultRule rule = ResultRule::None;
  int precision = 0;
  int scale = 0;
};

DecimalResult decimalResult(const Parsed& p, const std::vector<Entry>& operands, bool known,
                            const CsvColumnType* column, int literalScale) {
  const OpInfo& op = *p.op;
  const int maxP = maxDecimalPrecision(op.result == RpnDataType::List ? op.listElement : op.result);
  if (maxP == 0)
    return {};
  const std::string_view name = op.name;
  if (readsColumn(op.code)) {
    if (column == nullptr || !isDecimal(column->type))
      return {ResultRule::Chosen, maxP, 0};
    if (op.code == 175 || op.code == 186) // plain loads: the column's own precision and scale
      return {ResultRule::Derived, column->precision, column->scale};
    return {ResultRule::Chosen, maxP, column->scale}; // a decimal column cast to the other width
  }
  if (op.code == 42 || op.code == 43 || op.code == 75 || op.code == 76)
    return {ResultRule::Literal, maxP, literalScale};
  if (!known)
    return {ResultRule::Chosen, maxP, 0};
  if (name.ends_with("_PS")) {
    const Entry& pe = operands[operands.size() - 2];
    const Entry& se = operands.back();
    if (!pe.i8 || !se.i8)
      refuse(p.e, std::string(name) +
                      " takes its precision and scale from CONST_I8 elements just before it, so "
                      "that the result's scale is known");
    if (*pe.i8 < 1 || *pe.i8 > maxP || *se.i8 < 0 || *se.i8 > kMaxDecimalScale || *se.i8 > *pe.i8)
      refuse(p.e, "precision " + std::to_string(*pe.i8) + " and scale " + std::to_string(*se.i8) +
                      " are out of range (precision 1.." + std::to_string(maxP) + ", scale 0.." +
                      std::to_string(kMaxDecimalScale) + " and at most the precision)");
    return {ResultRule::RunTime, *pe.i8, *se.i8};
  }
  if (op.code == 1063 || op.code == 1064) {
    const int sum = operands[0].scale + operands[1].scale;
    return {ResultRule::Multiply, std::min(28, operands[0].precision + operands[1].precision),
            std::min(sum, kMaxDecimalScale)};
  }
  if (op.code == 1080 || op.code == 1081)
    return {ResultRule::Chosen, 28,
            std::min(kMaxDecimalScale, std::max({6, operands[0].scale, operands[1].scale}))};
  if (op.code == 1146 || op.code == 1147 || op.code == 1153 || op.code == 1154) // the fallback's
    return {ResultRule::Derived, operands[2].precision, operands[2].scale};
  const Entry* firstDecimal = nullptr;
  int scale = 0, precision = 0, integral = 0;
  for (const Entry& o : operands)
    if (o.decimal()) {
      firstDecimal = firstDecimal ? firstDecimal : &o;
      scale = std::max(scale, o.scale);
      precision = std::max(precision, o.precision);
      integral = std::max(integral, o.precision - o.scale);
    }
  if (name.find("CAST") != std::string_view::npos)
    return {ResultRule::Chosen, maxP, firstDecimal ? std::min(firstDecimal->scale, maxP) : 0};
  if (firstDecimal == nullptr)
    return {ResultRule::Chosen, maxP, 0};
  if (op.code == 1047 || op.code == 1048 || op.code == 1056 || op.code == 1057) // a carry digit
    precision = integral + scale + 1;
  return {ResultRule::Derived, std::min(precision, maxP), scale};
}

// Fills the element's EvalInfo from what is known of its operands and result, refusing stated
// attributes that contradict it. Returns the result's precision and scale.
DecimalResult fillDecimalInfo(const Parsed& p, const std::vector<Entry>& operands, bool known,
                              const CsvColumnType* column, int literalScale, EvalInfo& info) {
  const OpInfo& op = *p.op;
  const std::string name = op.name;
  // Arguments: the popped operands in push order (a column load's argument is its column).
  const bool decimalColumn = column != nullptr && isDecimal(column->type);
  for (int k = 0; k < 3; ++k) {
    const std::optional<int>& sp = p.attr[12 + 2 * k];
    const std::optional<int>& ss = p.attr[13 + 2 * k];
    const Entry* o = nullptr;
    Entry columnEntry;
    if (readsColumn(op.code) && k == 0 && column != nullptr && !decimalColumn && (sp || ss))
      refuse(p.e, std::string(attrName(sp ? 12 : 13)) + "= describes the column, which is not a decimal");
    if (readsColumn(op.code) && k == 0 && decimalColumn) {
      columnEntry = {column->type, RpnDataType::None, column->precision, column->scale, {}};
      o = &columnEntry;
    } else if (known && k < static_cast<int>(operands.size())) {
      o = &operands[k];
    }
    const bool operandExists = readsColumn(op.code) ? k == 0 : k < op.numOperands;
    if ((sp || ss) && !operandExists)
      refuse(p.e, name + " has no operand " + std::to_string(k + 1) + " (" +
                      attrName(sp ? 12 + 2 * k : 13 + 2 * k) + "= refers to it)");
    if (o != nullptr && !o->decimal()) {
      if (sp || ss)
        refuse(p.e, std::string(attrName(sp ? 12 + 2 * k : 13 + 2 * k)) + "= describes operand " +
                        std::to_string(k + 1) + ", which is not a decimal");
      continue;
    }
    if (o != nullptr) {
      if (ss && *ss != o->scale)
        refuse(p.e, "s" + std::to_string(k) + "=" + std::to_string(*ss) + " contradicts operand " +
                        std::to_string(k + 1) + ", whose scale is " + std::to_string(o->scale));
      if (sp && *sp != o->precision)
        refuse(p.e, "p" + std::to_string(k) + "=" + std::to_string(*sp) + " contradicts operand " +
                        std::to_string(k + 1) + ", whose precision is " + std::to_string(o->precision));
      info.setArg(k, o->precision, o->scale);
    } else if (sp || ss) {
      // Nothing is known of the operand (the program underflows here): the text's word stands.
      info.setArg(k, sp.value_or(0), ss.value_or(0));
    }
  }

  DecimalResult r = decimalResult(p, operands, known, column, literalScale);
  const std::optional<int>& rp = p.attr[0];
  const std::optional<int>& rs = p.attr[1];
  if (r.rule == ResultRule::None) {
    if (rp || rs)
      refuse(p.e, name + " has no decimal result for " + (rp ? "p" : "s") + "= to describe");
    // A cast from a decimal reads its source's scale; the result bytes carry it too.
    const Entry* source = nullptr;
    Entry columnEntry;
    if (decimalColumn) {
      columnEntry = {column->type, RpnDataType::None, column->precision, column->scale, {}};
      source = &columnEntry;
    } else if (known && !operands.empty() && operands[0].decimal() &&
               name.find("CAST") != std::string::npos) {
      source = &operands[0];
    }
    if (source)
      info.setResult(source->precision, source->scale);
    return r;
  }
  const RpnDataType resultType = op.result == RpnDataType::List ? op.listElement : op.result;
  const int maxP = maxDecimalPrecision(resultType);
  auto contradiction = [&](const std::string& what) { refuse(p.e, what); };
  switch (r.rule) {
  case ResultRule::Derived:
  case ResultRule::RunTime:
    if (rs && *rs != r.scale)
      contradiction("s=" + std::to_string(*rs) + " contradicts the result's scale " +
                    std::to_string(r.scale) +
                    (readsColumn(op.code) ? " (the column's)" : " (fixed by the operands)"));
    if (rp && *rp != r.precision)
      contradiction("p=" + std::to_string(*rp) + " contradicts the result's precision " +
                    std::to_string(r.precision) +
                    (readsColumn(op.code) ? " (the column's)" : " (fixed by the operands)"));
    break;
  case ResultRule::Literal:
    if (rs && *rs < r.scale)
      contradiction("s=" + std::to_string(*rs) + " is below the literal's " + std::to_string(r.scale) +
                    " fractional digits");
    r.scale = rs.value_or(r.scale);
    r.precision = rp.value_or(r.precision);
    break;
  case ResultRule::Multiply: {
    const int sum = operands[0].scale + operands[1].scale;
    if (rs && (*rs > sum || sum - *rs > kMaxDecimalScale))
      contradiction("s=" + std::to_string(*rs) + " is not a scale the product of scales " +
                    std::to_string(operands[0].scale) + " and " + std::to_string(operands[1].scale) +
                    " can be rounded to (" + std::to_string(std::max(0, sum - kMaxDecimalScale)) + ".." +
                    std::to_string(std::min(sum, kMaxDecimalScale)) + ")");
    r.scale = rs.value_or(r.scale);
    r.precision = rp.value_or(r.precision);
    break;
  }
  default:
    r.scale = rs.value_or(r.scale);
    r.precision = rp.value_or(r.precision);
    break;
  }
  if (r.precision > maxP || r.scale > r.precision)
    refuse(p.e, "precision " + std::to_string(r.precision) + " and scale " + std::to_string(r.scale) +
                    " do not fit " + rpnDataTypeShortName(op.result) + " (precision 1.." +
                    std::to_string(maxP) + ", scale at most the precision)");
  info.setResult(r.precision, r.scale);
  return r;
}

// The scale a decimal literal (or the items of a decimal list) is written at.
int literalScale(const Parsed& p, const std::vector<std::string>& items) {
  int scale = 0;
  for (const std::string& item : items) {
    const bool quoted = item.size() >= 2 && item.front() == '\'';
    scale =
        std::max(scale, decimalTextScale(quoted ? std::string_view(item).substr(1, item.size() - 2) : item));
  }
  if (scale > kMaxDecimalScale)
    refuse(p.e, "a decimal literal has at most " + std::to_string(kMaxDecimalScale) + " fractional digits");
  return scale;
}

// A quoted constant of an i32 or i64 constant op is calendar text, read as the type in which the op that
// pops it reads that operand (date or time for i32, datetime or timestamp for i64). None for any other
// constant; a refusal when the quoted text has no calendar reader.
RpnDataType calendarConstantType(const Parsed& p, const Consumer& consumer) {
  const bool quoted = !p.operand.empty() && p.operand.front() == '\'';
  const RpnDataType result = p.op->result;
  if (!quoted || (result != RpnDataType::Int32 && result != RpnDataType::Int64))
    return RpnDataType::None;
  const RpnDataType read =
      consumer.op != nullptr ? consumer.op->operands[consumer.operand] : RpnDataType::None;
  if (!isCalendarType(read) || storageOf(read) != result)
    refuse(p.e, std::string("a quoted ") + rpnDataTypeShortName(result) +
                    " constant is calendar text, read as the date, time, datetime or timestamp operand of "
                    "the op that pops it; " +
                    (consumer.op == nullptr
                         ? std::string("no op pops this one")
                         : std::string(consumer.op->name) + " reads it as " +
                               (read == RpnDataType::None ? "any value" : rpnDataTypeShortName(read))));
  return read;
}

} // namespace

void parseProgramText(std::string_view text, Program& program, const ProgramTextContext& context) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3); // a UTF-8 byte-order mark
  std::vector<Parsed> parsed;
  for (const Element& e : splitElements(text))
    parsed.push_back(parseElement(e));
  const std::vector<Consumer> consumers = listConsumers(parsed);

  std::vector<Entry> stack;
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const Parsed& p = parsed[i];
    const OpInfo& op = *p.op;
    const std::size_t n = isNoOp(op.code) ? 0 : op.numOperands;
    const bool known = stack.size() >= n;
    std::vector<Entry> operands;
    if (known) {
      operands.assign(stack.end() - static_cast<std::ptrdiff_t>(n), stack.end());
      stack.resize(stack.size() - n);
    } else {
      stack.clear();
    }
    EvalInfo info;
    Entry pushed{op.result, op.listElement, 0, 0, {}};

    if (readsColumn(op.code)) {
      const int index = columnReference(p.e, p.operand, op.code, context);
      const bool flags = op.code == 240 || op.code == 241;
      std::optional<CsvColumnType> column;
      if (!flags && static_cast<std::size_t>(index) < context.columnTypes.size()) {
        column = context.columnTypes[index];
        if (column->precision == 0) // a decimal column declared by its scale only
          column->precision = maxDecimalPrecision(column->type);
      }
      const DecimalResult r = fillDecimalInfo(p, operands, known, column ? &*column : nullptr, 0, info);
      pushed.precision = r.precision;
      pushed.scale = r.scale;
      program.column(op.code, index).info(info);
    } else if (op.result == RpnDataType::List && p.haveOperand) {
      // Items take the type the consuming op reads: u32 keys are written as LIST_I32 of the same width.
      RpnDataType itemType = op.listElement;
      const Consumer& consumer = consumers[i];
      if (consumer.op != nullptr && storageOf(listItemType(*consumer.op)) == RpnDataType::UInt32 &&
          storageOf(itemType) == RpnDataType::Int32)
        itemType = RpnDataType::UInt32;
      const std::vector<std::string> items = listItems(p.e, p.operand);
      const int natural = isDecimal(itemType) ? literalScale(p, items) : 0;
      const DecimalResult r = fillDecimalInfo(p, operands, known, nullptr, natural, info);
      const std::size_t width = get_rpn_datatype_size(itemType);
      std::vector<unsigned char> bytes(items.size() * width);
      std::vector<std::string> texts(items.size());
      for (std::size_t k = 0; k < items.size(); ++k) {
        if (isObjectType(itemType)) {
          const void* object = objectConstant(p.e, itemType, items[k], context);
          std::memcpy(bytes.data() + k * width, &object, sizeof object);
          if (!items[k].empty() && items[k].front() == '\'')
            texts[k] = unquote(p.e, items[k]);
        } else {
          encodeScalar(p.e, itemType, items[k], r.scale, bytes.data() + k * width);
          std::string why;
          if (isDecimal(itemType) && p.attr[0] &&
              !checkDecimalPrecision(itemType, bytes.data() + k * width, r.precision, items[k], why))
            refuse(p.e, why);
        }
      }
      if (consumer.op != nullptr)
        checkKeyOrder(p.e, consumer, itemType, bytes, texts, items);
      if (p.results && p.results->size() != items.size())
        refuse(p.e, "results= has " + std::to_string(p.results->size()) + " values for " +
                        std::to_string(items.size()) + " list items");
      program
          .list(op.code, bytes.data(), static_cast<std::uint32_t>(items.size()),
                p.results.value_or(std::vector<std::int32_t>{}))
          .info(info);
      pushed.item = itemType;
      pushed.precision = r.precision;
      pushed.scale = r.scale;
    } else if (p.format) {
      fillDecimalInfo(p, operands, known, nullptr, 0, info);
      program.op(op.code, info);
      vela::ParserUtils::packCharN(*p.format, get_rpn_datatype_size(op.result),
                                   program.elements().back().operand);
    } else if (p.haveOperand && isObjectType(op.result)) {
      fillDecimalInfo(p, operands, known, nullptr, 0, info);
      program.pointerConstant(op.code, objectConstant(p.e, op.result, p.operand, context)).info(info);
    } else if (p.haveOperand) {
      if (op.result == RpnDataType::Pip || !op.pushesValue())
        refuse(p.e, std::string(op.name) + " constants are not written in program text");
      const int natural = isDecimal(op.result) ? literalScale(p, {p.operand}) : 0;
      const DecimalResult r = fillDecimalInfo(p, operands, known, nullptr, natural, info);
      program.op(op.code, info);
      unsigned char* cell = program.elements().back().operand;
      if (const RpnDataType kind = calendarConstantType(p, consumers[i]); kind != RpnDataType::None) {
        std::string why;
        if (!encodeScalarText(kind, unquote(p.e, p.operand), 0, cell, why))
          refuse(p.e, why);
      } else {
        encodeScalar(p.e, op.result, p.operand, r.scale, cell);
      }
      std::string why;
      if (isDecimal(op.result) && p.attr[0] &&
          !checkDecimalPrecision(op.result, cell, r.precision, p.operand, why))
        refuse(p.e, why);
      pushed.precision = r.precision;
      pushed.scale = r.scale;
      if (storageOf(op.result) == RpnDataType::Int8)
        pushed.i8 = static_cast<std::int8_t>(cell[0]);
    } else if (isRegexpOp(op)) {
      fillDecimalInfo(p, operands, known, nullptr, 0, info);
      program.regexp(op.code, compileRegexp(p, context)).info(info);
    } else {
      const DecimalResult r = fillDecimalInfo(p, operands, known, nullptr, 0, info);
      program.op(op.code, info);
      pushed.precision = r.precision;
      pushed.scale = r.scale;
    }
    if (!isNoOp(op.code) && op.pushesValue())
      stack.push_back(pushed);
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
    if (isRegexpOp(*op)) {
      const vela::VelaRegexp* re = nullptr;
      std::memcpy(&re, e.operand + kRegexpOperandOffset, sizeof re);
      if (re == nullptr)
        out << "  no pattern";
      else
        out << "  regex " << quoteInput(re->pattern())
            << (re->flags().empty() ? "" : " flags " + quoteInput(re->flags()))
            << (re->replacement().empty() ? "" : " replacement " + quoteInput(re->replacement()));
    }
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
