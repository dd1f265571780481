#pragma once
// Services on JSON values: the memory figure charged to the pool for a JSON value.

#include <cstddef>

#include <nlohmann/json.hpp>

namespace vela::JsonValueUtils {

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
