#pragma once
// The compiled form of a JSON path, shared by its parser and its evaluator. Not part of the interface:
// JsonPath.h is.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace vela::jsonpath {

/// A compiled regular expression; null inside a shared_ptr stands for a pattern that matches nothing
/// (an invalid I-Regexp pattern).
class Regex;

/// Translates an I-Regexp pattern into the engine's syntax; nullopt when it is not a valid I-Regexp.
std::optional<std::string> translateIRegexp(std::string_view pattern);
/// Compiles a pattern in the engine's syntax; null with `error` set when it does not compile.
std::shared_ptr<const Regex> compileRegex(std::string_view pattern, bool caseInsensitive, std::string* error);
/// An I-Regexp pattern compiled; null when it is invalid.
std::shared_ptr<const Regex> compileIRegexp(std::string_view pattern);
bool regexFullMatch(const Regex& re, std::string_view text);
bool regexSearch(const Regex& re, std::string_view text);
/// Appends the pieces of `text` between the matches of `re` to `out` (an array).
void regexSplit(const Regex& re, std::string_view text, nlohmann::json& out);

/// Decodes the UTF-8 sequence at byte `i` of `s` into `cp`; returns its length, or 0 for an invalid
/// sequence (truncated, overlong, a surrogate, beyond U+10FFFF).
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& cp);

/// Kinds of expression results: a JSON value or Nothing, a truth value, a list of nodes.
enum class Type : std::uint8_t { Value, Logical, Nodes };

enum class FunctionId : std::uint8_t {
  Length,
  Count,
  Match,
  Search,
  Value,
  Sum,
  Avg,
  Min,
  Max,
  Abs,
  Ceil,
  Floor,
  Keys,
  StartsWith,
  EndsWith,
  Contains,
  ToNumber,
  Tokenize,
};

struct FunctionSpec {
  std::string_view name;
  FunctionId id;
  Type result;
  std::uint8_t arity;
  Type params[2];
};

/// The function of that name, or null.
const FunctionSpec* findFunction(std::string_view name);

struct Expr;

struct Selector {
  enum class Kind : std::uint8_t { Name, Wildcard, Index, Slice, Filter };
  Kind kind = Kind::Wildcard;
  std::string name;
  std::int64_t index = 0; // Index
  std::optional<std::int64_t> start, end;
  std::int64_t step = 1;
  std::unique_ptr<Expr> filter;
};

struct Segment {
  bool descendant = false;
  std::vector<Selector> selectors;
};

struct Query {
  bool absolute = true; // starts at `$`, else at `@`
  std::vector<Segment> segments;
  /// Names and indexes only, one per segment, no descendants.
  bool singular() const;
};

enum class CompareOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge };

struct Expr {
  enum class Kind : std::uint8_t { Or, And, Not, Compare, RegexTest, Literal, Query, Function };
  Kind kind = Kind::Literal;
  CompareOp op = CompareOp::Eq;
  std::size_t position = 0; // byte offset in the text, for messages
  std::vector<std::unique_ptr<Expr>> children;
  nlohmann::json literal;
  Query query;
  const FunctionSpec* function = nullptr;
  /// RegexTest: the pattern; Match, Search, Tokenize: the pattern when it is a literal (`hasRegex`).
  std::shared_ptr<const Regex> regex;
  bool hasRegex = false;
};

struct Program {
  std::string text;
  Query query;
  bool singular = false; // query.singular(), settled once compiled
};

/// Parses `text`; on a fault returns false with `error` holding the message (position included).
bool parse(std::string_view text, Program& program, std::string& error);

} // namespace vela::jsonpath
