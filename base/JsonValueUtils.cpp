#include "base/JsonValueUtils.h"

#include <vector>

namespace vela::JsonValueUtils {

namespace {

// Widths of the model; they match the 64-bit standard library the values live in, but are fixed here
// so that the figure does not depend on the build.
constexpr std::size_t kNodeBytes = 16;
constexpr std::size_t kStringBytes = 32;
constexpr std::size_t kInPlaceChars = 15;
constexpr std::size_t kBinaryBytes = 40;
constexpr std::size_t kArrayBytes = 24;
constexpr std::size_t kObjectBytes = 48;
constexpr std::size_t kMemberNodeBytes = 32 + kStringBytes + kNodeBytes;

static_assert(sizeof(nlohmann::json) == kNodeBytes, "a JSON value node is 16 bytes");

constexpr std::size_t stringHeap(std::size_t length) {
  return length > kInPlaceChars ? length + 1 : 0;
}

} // namespace

std::size_t getMemoryUsage(const nlohmann::json& value) {
  std::size_t total = 0;
  std::vector<const nlohmann::json*> pending{&value};
  while (!pending.empty()) {
    const nlohmann::json* node = pending.back();
    pending.pop_back();
    switch (node->type()) {
    case nlohmann::json::value_t::string:
      total += kStringBytes + stringHeap(node->get_ref<const nlohmann::json::string_t&>().size());
      break;
    case nlohmann::json::value_t::binary:
      total += kBinaryBytes + node->get_binary().size();
      break;
    case nlohmann::json::value_t::array:
      total += kArrayBytes + kNodeBytes * node->size();
      for (const nlohmann::json& element : *node)
        pending.push_back(&element);
      break;
    case nlohmann::json::value_t::object:
      total += kObjectBytes;
      for (const auto& [key, member] : node->get_ref<const nlohmann::json::object_t&>()) {
        total += kMemberNodeBytes + stringHeap(key.size());
        pending.push_back(&member);
      }
      break;
    default:
      break;
    }
  }
  return total;
}

} // namespace vela::JsonValueUtils
