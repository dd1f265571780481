// The JSON path parser: text to the compiled form of JsonPathAst.h, with the typing rules of filter
// expressions checked as the expressions are built.
//
// Recursion: every cycle of the descent (filters, parentheses, function calls) passes
// through enter(), which refuses nesting beyond JsonPath::kMaxNesting levels; chains of `&&` and `||`
// are parsed in loops. The stack depth of a parse is therefore bounded whatever the text.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/JsonPath.h"
#include "base/JsonPathAst.h"

namespace vela::jsonpath {

namespace {

using nlohmann::json;

// Integers of indexes and slices lie within the range doubles represent exactly.
constexpr std::int64_t kMaxExactInteger = (std::int64_t{1} << 53) - 1;

constexpr FunctionSpec kFunctions[] = {
    {"length", FunctionId::Length, Type::Value, 1, {Type::Value}},
    {"count", FunctionId::Count, Type::Value, 1, {Type::Nodes}},
    {"match", FunctionId::Match, Type::Logical, 2, {Type::Value, Type::Value}},
    {"search", FunctionId::Search, Type::Logical, 2, {Type::Value, Type::Value}},
    {"value", FunctionId::Value, Type::Value, 1, {Type::Nodes}},
    {"sum", FunctionId::Sum, Type::Value, 1, {Type::Value}},
    {"avg", FunctionId::Avg, Type::Value, 1, {Type::Value}},
    {"min", FunctionId::Min, Type::Value, 1, {Type::Value}},
    {"max", FunctionId::Max, Type::Value, 1, {Type::Value}},
    {"abs", FunctionId::Abs, Type::Value, 1, {Type::Value}},
    {"ceil", FunctionId::Ceil, Type::Value, 1, {Type::Value}},
    {"floor", FunctionId::Floor, Type::Value, 1, {Type::Value}},
    {"keys", FunctionId::Keys, Type::Value, 1, {Type::Value}},
    {"starts_with", FunctionId::StartsWith, Type::Logical, 2, {Type::Value, Type::Value}},
    {"ends_with", FunctionId::EndsWith, Type::Logical, 2, {Type::Value, Type::Value}},
    {"contains", FunctionId::Contains, Type::Logical, 2, {Type::Value, Type::Value}},
    {"to_number", FunctionId::ToNumber, Type::Value, 1, {Type::Value}},
    {"tokenize", FunctionId::Tokenize, Type::Value, 2, {Type::Value, Type::Value}},
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

struct ParseFault {
  std::size_t offset;
  std::string what;
};

class Parser {
public:
  explicit Parser(std::string_view text) : m_s(text) {}

  void parseRoot(Query& query) {
    if (m_s.empty() || m_s[0] != '$')
      fail(0, "Expected '$'");
    m_p = 1;
    query.absolute = true;
    parseSegments(query);
    if (m_p < m_s.size())
      failUnexpected(m_p);
  }

private:
  // Messages are built out of line, so that the frames of the recursive descent stay small.
  [[noreturn]] [[gnu::noinline, gnu::cold]] void
  fail(std::size_t offset, std::string_view a, std::string_view b = {}, std::string_view c = {}) const {
    std::string what(a);
    what.append(b).append(c);
    throw ParseFault{offset, std::move(what)};
  }

  [[noreturn]] [[gnu::noinline, gnu::cold]] void failUnexpected(std::size_t at) const {
    fail(at, "Unexpected ", describe(at));
  }
  [[noreturn]] [[gnu::noinline, gnu::cold]] void failNesting(std::size_t at) const {
    fail(at, "Nesting deeper than ", std::to_string(JsonPath::kMaxNesting), " levels");
  }

  std::string describe(std::size_t at) const {
    if (at >= m_s.size())
      return "end of path";
    const char c = m_s[at];
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
      return "character";
    return std::string("'") + c + "'";
  }

  char peek(std::size_t k = 0) const { return m_p + k < m_s.size() ? m_s[m_p + k] : '\0'; }
  bool atEnd() const { return m_p >= m_s.size(); }
  void skipBlank() {
    while (m_p < m_s.size() && isBlank(m_s[m_p]))
      ++m_p;
  }
  void expect(char c) {
    if (atEnd() || m_s[m_p] != c)
      fail(m_p, "Expected '", std::string_view(&c, 1), "'");
    ++m_p;
  }
  void enter(std::size_t at) {
    if (++m_depth > JsonPath::kMaxNesting)
      failNesting(at);
  }
  void leave() { --m_depth; }

  // --- queries ----------------------------------------------------------------------------------

  void parseSegments(Query& query) {
    for (;;) {
      const std::size_t save = m_p;
      skipBlank();
      if (peek() == '.' && !atEnd()) {
        if (peek(1) == '.') {
          m_p += 2;
          Segment& seg = query.segments.emplace_back();
          seg.descendant = true;
          if (peek() == '[')
            parseBracketed(seg);
          else
            parseDotted(seg, "Expected member name, '*' or '[' after '..'");
        } else {
          ++m_p;
          parseDotted(query.segments.emplace_back(), "Expected member name or '*' after '.'");
        }
      } else if (peek() == '[' && !atEnd()) {
        parseBracketed(query.segments.emplace_back());
      } else {
        m_p = save; // blank space belongs to whatever follows the query
        return;
      }
    }
  }

  // A name shorthand or a wildcard, right after the dot(s).
  [[gnu::noinline]] void parseDotted(Segment& seg, const char* error) {
    Selector& sel = seg.selectors.emplace_back();
    if (peek() == '*' && !atEnd()) {
      ++m_p;
      sel.kind = Selector::Kind::Wildcard;
      return;
    }
    const std::size_t start = m_p;
    while (m_p < m_s.size()) {
      const char c = m_s[m_p];
      if (isAlpha(c) || c == '_' || (isDigit(c) && m_p > start)) {
        ++m_p;
      } else if (static_cast<unsigned char>(c) >= 0x80) {
        char32_t cp;
        const std::size_t len = decodeUtf8(m_s, m_p, cp);
        if (len == 0)
          fail(m_p, "Invalid UTF-8");
        m_p += len;
      } else {
        break;
      }
    }
    if (m_p == start)
      fail(start, error);
    sel.kind = Selector::Kind::Name;
    sel.name.assign(m_s.substr(start, m_p - start));
  }

  void parseBracketed(Segment& seg) {
    ++m_p; // '['
    skipBlank();
    for (;;) {
      parseSelector(seg.selectors.emplace_back());
      skipBlank();
      if (peek() == ',' && !atEnd()) {
        ++m_p;
        skipBlank();
        continue;
      }
      expect(']');
      return;
    }
  }

  void parseSelector(Selector& sel) {
    const char c = peek();
    if (atEnd()) {
      fail(m_p, "Expected selector");
    } else if (c == '\'' || c == '"') {
      sel.kind = Selector::Kind::Name;
      sel.name = parseString();
    } else if (c == '*') {
      ++m_p;
      sel.kind = Selector::Kind::Wildcard;
    } else if (c == '?') {
      const std::size_t at = m_p++;
      skipBlank();
      enter(at);
      sel.kind = Selector::Kind::Filter;
      sel.filter = parseOr();
      requireLogical(*sel.filter);
      leave();
    } else if (c == '-' || isDigit(c) || c == ':') {
      std::optional<std::int64_t> first;
      if (c != ':') {
        first = parseInteger();
        skipBlank();
      }
      if (peek() != ':' || atEnd()) {
        sel.kind = Selector::Kind::Index;
        sel.index = *first;
        return;
      }
      sel.kind = Selector::Kind::Slice;
      sel.start = first;
      ++m_p;
      skipBlank();
      if (peek() == '-' || isDigit(peek())) {
        sel.end = parseInteger();
        skipBlank();
      }
      if (peek() == ':' && !atEnd()) {
        ++m_p;
        skipBlank();
        if (peek() == '-' || isDigit(peek()))
          sel.step = parseInteger();
      }
    } else {
      fail(m_p, "Expected selector");
    }
  }

  // int = "0" / ["-"] DIGIT1 *DIGIT, within +-(2^53 - 1).
  [[gnu::noinline]] std::int64_t parseInteger() {
    const std::size_t start = m_p;
    const bool negative = peek() == '-';
    if (negative)
      ++m_p;
    if (!isDigit(peek()) || atEnd())
      fail(start, "Invalid integer");
    if (peek() == '0' && (negative || isDigit(peek(1))))
      fail(start, "Invalid integer");
    std::int64_t value = 0;
    bool tooLarge = false;
    while (m_p < m_s.size() && isDigit(m_s[m_p])) {
      if (!tooLarge) {
        value = value * 10 + (m_s[m_p] - '0');
        tooLarge = value > kMaxExactInteger;
      }
      ++m_p;
    }
    if (tooLarge)
      fail(start, "Integer out of range");
    return negative ? -value : value;
  }

  // A quoted string with the escapes of JSON strings; single-quoted strings also take \'.
  [[gnu::noinline]] std::string parseString() {
    const std::size_t start = m_p;
    const char quote = m_s[m_p++];
    std::string out;
    for (;;) {
      if (atEnd())
        fail(start, "Unterminated string");
      const char c = m_s[m_p];
      if (c == quote) {
        ++m_p;
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20)
        fail(m_p, "Control character in string");
      if (c == '\\') {
        const std::size_t at = m_p;
        const char e = peek(1);
        m_p += 2;
        switch (e) {
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case '/':
        case '\\':
          out += e;
          break;
        case 'u': {
          char32_t cp = parseHex4(at);
          if (cp >= 0xDC00 && cp <= 0xDFFF)
            fail(at, "Invalid escape sequence");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (peek() != '\\' || peek(1) != 'u')
              fail(at, "Invalid escape sequence");
            m_p += 2;
            const char32_t low = parseHex4(at);
            if (low < 0xDC00 || low > 0xDFFF)
              fail(at, "Invalid escape sequence");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(out, cp);
          break;
        }
        default:
          if (e != quote || m_p > m_s.size())
            fail(at, "Invalid escape sequence");
          out += e;
        }
        continue;
      }
      char32_t cp;
      const std::size_t len = decodeUtf8(m_s, m_p, cp);
      if (len == 0)
        fail(m_p, "Invalid UTF-8");
      out.append(m_s.substr(m_p, len));
      m_p += len;
    }
  }

  char32_t parseHex4(std::size_t escapeAt) {
    char32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = peek();
      int d;
      if (atEnd())
        d = -1;
      else if (isDigit(c))
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else
        d = -1;
      if (d < 0)
        fail(escapeAt, "Invalid escape sequence");
      v = v * 16 + static_cast<char32_t>(d);
      ++m_p;
    }
    return v;
  }

  // --- filter expressions -----------------------------------------------------------------------

  // Small helpers stay out of line: inlined into the recursive functions they would grow every level
  // of the descent (sanitizer builds most).
  [[gnu::noinline]] static std::unique_ptr<Expr> make(Expr::Kind kind, std::size_t at) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->position = at;
    return e;
  }

  [[gnu::noinline]] static void append(Expr& node, std::unique_ptr<Expr> child) {
    node.children.push_back(std::move(child));
  }

  // The operand must yield a truth value: a logical expression, an existence test or a function of
  // logical or node list result.
  [[gnu::noinline]] void requireLogical(const Expr& e) const {
    if (e.kind == Expr::Kind::Literal)
      fail(e.position, "A literal must be compared");
    if (e.kind == Expr::Kind::Function && e.function->result == Type::Value)
      fail(e.position, "The result of '", e.function->name, "' must be compared");
  }

  // The operand must yield a value: a literal, a singular query or a function of value result.
  [[gnu::noinline]] void requireComparable(const Expr& e) const {
    if (e.kind == Expr::Kind::Query && !e.query.singular())
      fail(e.position, "A query in a comparison must be singular");
    if (e.kind == Expr::Kind::Function && e.function->result != Type::Value)
      fail(e.position, "The result of '", e.function->name, "' cannot be compared");
    if (e.kind != Expr::Kind::Literal && e.kind != Expr::Kind::Query && e.kind != Expr::Kind::Function)
      fail(e.position, "Expected a value");
  }

  [[gnu::noinline]] bool lookAhead(std::string_view op) {
    const std::size_t save = m_p;
    skipBlank();
    if (m_s.substr(m_p, op.size()) == op) {
      m_p += op.size();
      skipBlank();
      return true;
    }
    m_p = save;
    return false;
  }

  std::unique_ptr<Expr> parseOr() {
    auto first = parseAnd();
    if (!lookAhead("||"))
      return first;
    auto node = make(Expr::Kind::Or, first->position);
    requireLogical(*first);
    append(*node, std::move(first));
    do {
      append(*node, parseAnd());
      requireLogical(*node->children.back());
    } while (lookAhead("||"));
    return node;
  }

  std::unique_ptr<Expr> parseAnd() {
    auto first = parseBasic();
    if (!lookAhead("&&"))
      return first;
    auto node = make(Expr::Kind::And, first->position);
    requireLogical(*first);
    append(*node, std::move(first));
    do {
      append(*node, parseBasic());
      requireLogical(*node->children.back());
    } while (lookAhead("&&"));
    return node;
  }

  std::unique_ptr<Expr> parseParenthesized() {
    const std::size_t at = m_p++;
    enter(at);
    skipBlank();
    auto inner = parseOr();
    skipBlank();
    expect(')');
    leave();
    requireLogical(*inner);
    if (inner->kind == Expr::Kind::Query || inner->kind == Expr::Kind::Function) {
      // Parenthesised, a query or function is a truth value, no longer an operand of a comparison or
      // a value argument: a one-operand conjunction says so.
      auto node = make(Expr::Kind::And, inner->position);
      append(*node, std::move(inner));
      return node;
    }
    return inner;
  }

  std::unique_ptr<Expr> parseBasic() {
    const std::size_t at = m_p;
    if (peek() == '!' && !atEnd()) {
      ++m_p;
      skipBlank();
      // No level of its own: a negation takes no negation, and what it takes counts its levels.
      auto node = make(Expr::Kind::Not, at);
      if (peek() == '(' && !atEnd()) {
        append(*node, parseParenthesized());
      } else {
        auto operand = parsePrimary();
        if (operand->kind != Expr::Kind::Query && operand->kind != Expr::Kind::Function)
          fail(operand->position, "Expected a query or a function after '!'");
        append(*node, std::move(operand));
      }
      requireLogical(*node->children.back());
      return node;
    }
    if (peek() == '(' && !atEnd())
      return parseParenthesized(); // a truth value: it cannot be compared
    auto left = parsePrimary();
    static constexpr std::pair<std::string_view, CompareOp> kOps[] = {
        {"==", CompareOp::Eq}, {"!=", CompareOp::Ne}, {"<=", CompareOp::Le},
        {">=", CompareOp::Ge}, {"<", CompareOp::Lt},  {">", CompareOp::Gt}};
    if (lookAhead("=~")) {
      requireComparable(*left);
      auto node = make(Expr::Kind::RegexTest, left->position);
      append(*node, std::move(left));
      parseRegexLiteral(*node);
      return node;
    }
    for (const auto& [text, op] : kOps) {
      if (lookAhead(text)) {
        requireComparable(*left);
        auto node = make(Expr::Kind::Compare, left->position);
        node->op = op;
        append(*node, std::move(left));
        append(*node, parsePrimary());
        requireComparable(*node->children.back());
        return node;
      }
    }
    return left;
  }

  // `/pattern/flags`: the pattern in the engine's syntax, `\/` standing for a slash.
  [[gnu::noinline]] void parseRegexLiteral(Expr& node) {
    const std::size_t start = m_p;
    if (peek() != '/' || atEnd())
      fail(m_p, "Expected '/'");
    ++m_p;
    std::string pattern;
    for (;;) {
      if (atEnd())
        fail(start, "Unterminated regular expression");
      const char c = m_s[m_p];
      if (c == '/') {
        ++m_p;
        break;
      }
      if (c == '\\' && m_p + 1 < m_s.size()) {
        if (m_s[m_p + 1] != '/')
          pattern += '\\';
        pattern += m_s[m_p + 1];
        m_p += 2;
        continue;
      }
      pattern += c;
      ++m_p;
    }
    bool caseInsensitive = false;
    while (isAlpha(peek())) {
      if (peek() != 'i')
        fail(m_p, "Unknown regular expression flag");
      caseInsensitive = true;
      ++m_p;
    }
    std::string error;
    node.regex = compileRegex(pattern, caseInsensitive, &error);
    if (!node.regex)
      fail(start, "Invalid regular expression (", error, ")");
    node.hasRegex = true;
  }

  // A literal, a query or a function call.
  std::unique_ptr<Expr> parsePrimary() {
    const std::size_t at = m_p;
    const char c = peek();
    if (atEnd())
      fail(at, "Expected an expression");
    if (c == '@' || c == '$') {
      auto node = make(Expr::Kind::Query, at);
      ++m_p;
      node->query.absolute = c == '$';
      parseSegments(node->query);
      return node;
    }
    if (c >= 'a' && c <= 'z') {
      while (m_p < m_s.size() &&
             ((m_s[m_p] >= 'a' && m_s[m_p] <= 'z') || isDigit(m_s[m_p]) || m_s[m_p] == '_'))
        ++m_p;
      if (peek() == '(' && !atEnd())
        return parseCall(m_s.substr(at, m_p - at), at);
    }
    return parseLiteral(at);
  }

  // A string, number, true, false or null starting at `at` (a name already read up to m_p).
  [[gnu::noinline]] std::unique_ptr<Expr> parseLiteral(std::size_t at) {
    auto node = make(Expr::Kind::Literal, at);
    const char c = m_s[at];
    if (c == '\'' || c == '"') {
      node->literal = parseString();
    } else if (c == '-' || isDigit(c)) {
      node->literal = parseNumber();
    } else if (c >= 'a' && c <= 'z') {
      const std::string_view name = m_s.substr(at, m_p - at);
      if (name == "true")
        node->literal = true;
      else if (name == "false")
        node->literal = false;
      else if (name == "null")
        node->literal = nullptr;
      else
        fail(at, "Unknown name '", name, "'");
    } else {
      fail(at, "Expected an expression");
    }
    return node;
  }

  [[gnu::noinline]] std::unique_ptr<Expr> parseCall(std::string_view name, std::size_t at) {
    const FunctionSpec* spec = findFunction(name);
    if (spec == nullptr)
      fail(at, "Unknown function '", name, "'");
    auto node = make(Expr::Kind::Function, at);
    node->function = spec;
    ++m_p; // '('
    enter(at);
    skipBlank();
    if (peek() != ')' || atEnd()) {
      for (;;) {
        append(*node, parseOr());
        skipBlank();
        if (peek() == ',' && !atEnd()) {
          ++m_p;
          skipBlank();
          continue;
        }
        expect(')');
        break;
      }
    } else {
      ++m_p;
    }
    leave();
    checkCall(*node);
    return node;
  }

  // Arity and argument types of a call, and its literal pattern compiled once.
  [[gnu::noinline]] void checkCall(Expr& node) const {
    const FunctionSpec* spec = node.function;
    if (node.children.size() != spec->arity)
      fail(node.position, "Function '" + std::string(spec->name) + "' takes " + std::to_string(spec->arity) +
                              (spec->arity == 1 ? " argument" : " arguments"));
    for (std::size_t i = 0; i < spec->arity; ++i) {
      const Expr& arg = *node.children[i];
      const std::string which = "Argument " + std::to_string(i + 1) + " of '" + std::string(spec->name) + "'";
      switch (spec->params[i]) {
      case Type::Value: {
        const bool ok = arg.kind == Expr::Kind::Literal ||
                        (arg.kind == Expr::Kind::Query && arg.query.singular()) ||
                        (arg.kind == Expr::Kind::Function && arg.function->result == Type::Value);
        if (!ok)
          fail(arg.position, which + " must be a literal, a singular query or a value function");
        break;
      }
      case Type::Nodes:
        if (arg.kind != Expr::Kind::Query &&
            !(arg.kind == Expr::Kind::Function && arg.function->result == Type::Nodes))
          fail(arg.position, which + " must be a query");
        break;
      case Type::Logical:
        requireLogical(arg);
        break;
      }
    }
    // A literal pattern is compiled once here.
    if (spec->arity == 2 && node.children[1]->kind == Expr::Kind::Literal &&
        node.children[1]->literal.is_string()) {
      const std::string& pattern = node.children[1]->literal.get_ref<const std::string&>();
      if (spec->id == FunctionId::Match || spec->id == FunctionId::Search) {
        node.regex = compileIRegexp(pattern); // an invalid I-Regexp matches nothing
        node.hasRegex = true;
      } else if (spec->id == FunctionId::Tokenize) {
        std::string error;
        node.regex = compileRegex(pattern, false, &error);
        if (!node.regex)
          fail(node.children[1]->position, "Invalid regular expression (", error, ")");
        node.hasRegex = true;
      }
    }
  }

  // number = (int / "-0") [ "." 1*DIGIT ] [ ("e" / "E") ["-" / "+"] 1*DIGIT ]
  [[gnu::noinline]] json parseNumber() {
    const std::size_t start = m_p;
    if (peek() == '-')
      ++m_p;
    if (!isDigit(peek()) || atEnd())
      fail(start, "Invalid number");
    if (peek() == '0') {
      ++m_p;
      if (isDigit(peek()))
        fail(start, "Invalid number");
    } else {
      while (isDigit(peek()) && !atEnd())
        ++m_p;
    }
    bool integral = true;
    if (peek() == '.' && !atEnd()) {
      ++m_p;
      integral = false;
      if (!isDigit(peek()) || atEnd())
        fail(start, "Invalid number");
      while (isDigit(peek()) && !atEnd())
        ++m_p;
    }
    bool negativeExponent = false;
    if ((peek() == 'e' || peek() == 'E') && !atEnd()) {
      ++m_p;
      integral = false;
      if (peek() == '+' || peek() == '-')
        negativeExponent = m_s[m_p++] == '-';
      if (!isDigit(peek()) || atEnd())
        fail(start, "Invalid number");
      while (isDigit(peek()) && !atEnd())
        ++m_p;
    }
    const char* first = m_s.data() + start;
    const char* last = m_s.data() + m_p;
    if (integral) {
      std::int64_t i;
      if (auto r = std::from_chars(first, last, i); r.ec == std::errc() && r.ptr == last)
        return json(i);
    }
    double d = 0;
    const auto r = std::from_chars(first, last, d);
    if (r.ec == std::errc::result_out_of_range) {
      const bool negative = *first == '-';
      d = negativeExponent ? (negative ? -0.0 : 0.0)
                           : (negative ? -std::numeric_limits<double>::infinity()
                                       : std::numeric_limits<double>::infinity());
    }
    return json(d);
  }

  std::string_view m_s;
  std::size_t m_p = 0;
  std::size_t m_depth = 0;
};

} // namespace

std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size())
    return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80)
      return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return len;
}

const FunctionSpec* findFunction(std::string_view name) {
  for (const FunctionSpec& f : kFunctions)
    if (f.name == name)
      return &f;
  return nullptr;
}

bool Query::singular() const {
  return std::all_of(segments.begin(), segments.end(), [](const Segment& s) {
    return !s.descendant && s.selectors.size() == 1 &&
           (s.selectors[0].kind == Selector::Kind::Name || s.selectors[0].kind == Selector::Kind::Index);
  });
}

bool parse(std::string_view text, Program& program, std::string& error) {
  try {
    Parser(text).parseRoot(program.query);
    program.text.assign(text);
    return true;
  } catch (const ParseFault& fault) {
    // Positions count characters (code points), from 1.
    std::size_t position = 1;
    for (std::size_t i = 0; i < fault.offset && i < text.size(); ++i)
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
        ++position;
    error = fault.what + " at position " + std::to_string(position);
    return false;
  }
}

} // namespace vela::jsonpath
