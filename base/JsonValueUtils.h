#pragma once
// Services on JSON values: reading JSON text under a nesting cap, copying and writing values without
// recursion, and the memory figure charged to the pool for a value.
//
// Depth: a scalar has depth 0, an array or object 1 + the largest depth of its elements ("[]" is 1,
// "[[1]]" is 2). Text deeper than kMaxJsonDepth is refused before any value is built. Values that are
// built by other means may be deeper; every walk here (copy, write, memory figure) keeps its own
// explicit stack, and the value type frees its trees iteratively, so any depth is safe for them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

/// Refusal codes of the casting reader below. A cast turns the first two into a NULL row; any other
/// refusal (text that is not JSON, or nests too deep) ends the evaluation with the status.
inline constexpr StatusEnum kJsonEmptyText = StatusEnum::EvaluationError; // 6
inline constexpr StatusEnum kJsonNotAnArray = static_cast<StatusEnum>(10);

/// The reader of the text-to-JSON casts: as readJson above, with its refusals sorted by code:
///   kJsonEmptyText (6)       the text is empty or only white space ("JSON text is empty")
///   kJsonNotAnArray (10)     `arrayRequired` and the document is valid JSON but not an array
///                            ("JSON text is not an array"); `value` is then left untouched
///   InvalidArgument (3)      anything else: bad syntax, trailing text, invalid UTF-8 in a string,
///                            nesting deeper than kMaxJsonDepth (readJson's messages)
Status readJson(std::string_view text, nlohmann::json& value, bool arrayRequired);

/// The nesting depth of `value` (definition above), computed without recursion.
std::size_t depth(const nlohmann::json& value);

/// A deep copy of `value`, made with an explicit stack: arbitrarily deep values do not exhaust the
/// stack. Throws std::bad_alloc like the value type's own copy.
nlohmann::json copyJson(const nlohmann::json& value);

/// Appends the compact JSON text of `value` to `out`: the same text as value.dump(), written with an
/// explicit stack over arrays and objects. Like dump(), throws nlohmann::json::type_error when a
/// string holds invalid UTF-8 (`out` then holds a partial text).
/// With `replaceInvalid`, string bytes that are not UTF-8 are written as U+FFFD instead, and nothing
/// is thrown.
void writeJson(const nlohmann::json& value, std::string& out, bool replaceInvalid = false);
std::string writeJson(const nlohmann::json& value, bool replaceInvalid = false);

/// Three-way comparison of JSON values (negative, 0, positive), the order every comparison, equality
/// and membership test on JSON values uses. Kinds rank null < boolean < number < object < array <
/// string < binary; false < true; numbers compare by exact value across the signed, unsigned and
/// floating kinds (18446744073709551615 > -1, 9007199254740993 > 9007199254740992.0, -0.0 == 0), a NaN
/// above every other number and equal to any NaN; strings and binary values bytewise; arrays
/// lexicographically by element; objects lexicographically by (key, value) member in key order.
/// Iterative: any depth is safe.
int compare(const nlohmann::json& a, const nlohmann::json& b);

/// Appends the CBOR encoding (RFC 8949) of `value` to `out`, written with an explicit stack. The form is
/// fixed so that equal values always give the same bytes:
///   unsigned integers: major type 0, negative integers: major type 1, text strings (the stored
///   bytes as they are): 3, binary: 2, arrays: 4, objects: 5 with members in the value's (sorted key)
///   order; all heads in their shortest form and all lengths definite;
///   false, true, null: 0xf4, 0xf5, 0xf6; every floating number as a double, 0xfb and 8 bytes
///   big-endian (never shortened to a half or single, so 1.0 and 1 stay distinct encodings).
void writeCbor(const nlohmann::json& value, std::vector<std::uint8_t>& out);

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
