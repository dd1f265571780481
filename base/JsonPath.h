#pragma once
// JSON path expressions: compiled once, evaluated against any number of documents.
//
// Syntax. A query starts with the root identifier `$` and is followed by segments; blank space (space,
// tab, LF, CR) may separate segments but may not lead or trail the query.
//   .name  ['name']  ["name"]   member by name (quoted names take every JSON string escape, \uXXXX
//                               surrogate pairs included; single quotes also take \')
//   [3]  [-1]                   array element; negative counts from the end
//   .*  [*]                     every element or member value
//   [start:end:step]            slice; step 0 selects nothing, negative steps walk backwards
//   [a, b, ...]                 union of selectors; duplicates are kept, in selector order
//   ..sel  ..[sels]             the selectors applied to the node and to all its descendants
//   [?expr]                     children for which the filter expression holds
// Integers (indexes, slice bounds) lie within +-(2^53 - 1).
//
// Filter expressions: `@` is the child being tested, `$` the document root. Operators, loosest first:
// `||`, `&&`, then comparisons `== != < <= > >=`, regex tests `x =~ /pattern/i`, `!` and parentheses.
// A query alone tests that it selects something. Comparisons take literals (numbers, 'strings',
// "strings", true, false, null), singular queries (names and indexes only) and value functions; an
// operand that selects nothing is Nothing, which equals only Nothing. Numbers compare by value across
// integer and floating kinds (1 == 1.0) exactly; strings by code point; arrays and objects only for
// (deep) equality; other orderings are false.
//
// Functions (V value, N node list, L logical):
//   length(V) -> V   characters of a string, elements, members; Nothing otherwise
//   count(N) -> V    number of nodes            value(N) -> V   the single node's value, else Nothing
//   match(V, V) -> L / search(V, V) -> L        the whole string / some substring matches an I-Regexp
//                                               pattern; false for non-strings or an invalid pattern
//   sum(V) avg(V) min(V) max(V) -> V            over an array of numbers (min/max: or of strings)
//   abs(V) ceil(V) floor(V) -> V                of a number      keys(V) -> V   member names, in order
//   starts_with(V, V) ends_with(V, V) -> L      strings          contains(V, V) -> L  substring or element
//   to_number(V) -> V                           a number, or a string holding a JSON number
//   tokenize(V, V) -> V                         a string split at matches of a pattern
// A test position takes L or N functions, a comparison V functions; the argument types are checked at
// compile time. Function results of Nothing (a wrong kind of argument) make comparisons false, except
// Nothing == Nothing. I-Regexp patterns read '.' as any character but CR and LF, and '^' and '$' as
// anchors at the ends of the string. The `=~` operator and tokenize take RE2 patterns (Perl-like, no
// back-references): `=~` searches (unanchored), `\/` stands for a slash and the only flag is `i`;
// tokenize drops empty matches. Text is matched as UTF-8 characters everywhere. sum keeps integers
// exact while the total fits 64 bits; avg is a double.
//
// Results. evaluate returns an array of copies of every matched value, in document order: arrays in
// element order, objects in the order of their (key-sorted) members, a node before its descendants.
//
// Limits. Filters, parentheses and function calls nest at most kMaxNesting levels. An
// evaluation takes at most `stepLimit` steps (kDefaultStepLimit, about four million, unless stated):
// every node selected, walked or tested counts one, and so does every node of each copy made for the
// result (a match of evaluate, a copy of the replacement). Beyond it evaluation throws VelaException
// (VelaWhat::ResourceExhausted), so that no query runs for long or fills memory. Walks over documents
// keep explicit stacks: any depth is safe. Evaluation throws nothing else but std::bad_alloc.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/VelaException.h"

namespace vela {

namespace jsonpath {
struct Program;
} // namespace jsonpath

class JsonPath {
public:
  static constexpr std::size_t kMaxNesting = 256;
  static constexpr std::size_t kDefaultStepLimit = std::size_t{1} << 22;

  /// An empty expression: evaluates to no match. Use compile() to get a real one.
  JsonPath() = default;

  /// Compiles `text`. A fault returns StatusEnum::InvalidArgument and a message naming it and its
  /// 1-based character position ("Expected ']' at position 7"); `out` is then left unchanged.
  static Status tryCompile(std::string_view text, JsonPath& out);
  /// As tryCompile, throwing VelaException(VelaWhat::Evaluation) with that status on a fault.
  static JsonPath compile(std::string_view text);

  const std::string& text() const noexcept;
  /// True when the query can select at most one node (names and indexes only).
  bool isSingular() const noexcept;

  /// An array of copies of every value matched in `root`.
  nlohmann::json evaluate(const nlohmann::json& root, std::size_t stepLimit = kDefaultStepLimit) const;
  /// The matched values themselves, in the same order: pointers into `root`, valid while it lives and
  /// is not modified. Nothing is copied (what counting or testing for matches needs).
  std::vector<const nlohmann::json*> select(const nlohmann::json& root,
                                            std::size_t stepLimit = kDefaultStepLimit) const;
  /// The first match (null when there is none) and the number of matches, as select() finds them.
  struct MatchSummary {
    const nlohmann::json* first = nullptr;
    std::size_t count = 0;
  };
  /// What tests for matches, counts and single-value reads need, with nothing copied; a singular query
  /// is followed member by member without allocating.
  MatchSummary summarize(const nlohmann::json& root, std::size_t stepLimit = kDefaultStepLimit) const;
  /// Whether anything matches, stopping at the first match found (so within the step limit wherever
  /// summarize is, and often far sooner).
  bool exists(const nlohmann::json& root, std::size_t stepLimit = kDefaultStepLimit) const;
  /// The normalized paths ("$['a'][0]") of the matches, in the order evaluate returns them.
  std::vector<std::string> normalizedPaths(const nlohmann::json& root,
                                           std::size_t stepLimit = kDefaultStepLimit) const;
  /// A copy of `root` in which every matched value is replaced by a copy of `replacement`. A match
  /// inside another match disappears with the outer one.
  nlohmann::json replace(const nlohmann::json& root, const nlohmann::json& replacement,
                         std::size_t stepLimit = kDefaultStepLimit) const;

private:
  // Immutable once compiled: copies share it, and any number of threads may evaluate it at once.
  std::shared_ptr<const jsonpath::Program> m_program;
};

} // namespace vela
