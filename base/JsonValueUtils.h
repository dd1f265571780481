#pragma once
// Services on JSON values: reading JSON text under a nesting cap, copying and writing values without
// recursion, and the memory figure charged to the pool for a value.
//
// Depth: a scalar has depth 0, an array or object 1 + the largest depth of its elements ("[]" is 1,
// "[[1]]" is 2). Text deeper than kMaxJsonDepth is refused before any value is built. Values that are
// built by other means may be deeper; every walk here (copy, write, memory figure) keeps its own
// explicit stack, and the value type frees its trees iteratively, so any depth is safe for them.

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/VelaException.h"

namespace vela::JsonValueUtils {

/// Deepest nesting of arrays and objects that readJson accepts. A thousand levels is far beyond any
/// real document, and leaves ample stack for the recursive algorithms that later run on an accepted
/// value (comparison, path queries) even on worker threads and under sanitizers.
inline constexpr std::size_t kMaxJsonDepth = 1000;

/// Parses `text` as one JSON document (surrounding white space allowed, nothing else) into `value`.
/// Refusals return StatusEnum::EvaluationError with a message, and leave `value` untouched:
///   "JSON text nests deeper than the limit of 1000 levels"  (checked first, by a scan of the text)
///   "JSON text is not valid: <the parser's reason>"
Status readJson(std::string_view text, nlohmann::json& value);

/// The nesting depth of `value` (definition above), computed without recursion.
std::size_t depth(const nlohmann::json& value);

/// A deep copy of `value`, made with an explicit stack: arbitrarily deep values do not exhaust the
/// stack. Throws std::bad_alloc like the value type's own copy.
nlohmann::json copyJson(const nlohmann::json& value);

/// Appends the compact JSON text of `value` to `out`: the same text as value.dump(), written with an
/// explicit stack over arrays and objects. Like dump(), throws nlohmann::json::type_error when a
/// string holds invalid UTF-8 (`out` then holds a partial text).
void writeJson(const nlohmann::json& value, std::string& out);
std::string writeJson(const nlohmann::json& value);

/// Bytes a JSON value holds on the heap beyond its own 16-byte node, computed from its content alone:
/// the same value (however it was built, copied or parsed, whatever capacity its containers happen to
/// have) always gives the same figure, so that what is reserved for a value is exactly what is given
/// back when it is freed. The figure is a model of the standard containers the value uses, summed over
/// every node of the tree:
///
///   null, boolean, number, discarded   0
///   string of length L                 32 + heap(L)
///   binary of B bytes                  40 + B
///   array of N elements                24 + 16 N + (sum over the elements)
///   object of N members                48 + sum over the members of (80 + heap(key length) + member)
///
/// where heap(L) = L + 1 when L > 15 and 0 otherwise (strings of up to 15 characters are stored in
/// place), 16 is the size of one element node, and 80 is one member's tree node: 32 bytes of links and
/// colour, a 32-byte key string and the 16-byte value node. The walk is iterative, so arbitrarily deep
/// documents do not exhaust the stack.
std::size_t getMemoryUsage(const nlohmann::json& value);

} // namespace vela::JsonValueUtils
