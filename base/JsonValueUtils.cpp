#include "base/JsonValueUtils.h"

#include <algorithm>
#include <string>

#include <utility>
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

// The deepest bracket nesting of the text outside string literals. For valid JSON this is exactly the
// depth of the document; for invalid text it is some number and the parser refuses the text anyway.
std::size_t textDepth(std::string_view text, std::size_t limit) {
  std::size_t level = 0;
  std::size_t deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i; // the escaped character cannot end the string
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++level > deepest && (deepest = level) > limit)
        return deepest; // no need to look further
    } else if ((c == ']' || c == '}') && level > 0) {
      --level;
    }
  }
  return deepest;
}

} // namespace

Status readJson(std::string_view text, nlohmann::json& value) {
  if (textDepth(text, kMaxJsonDepth) > kMaxJsonDepth)
    return Status(StatusEnum::EvaluationError,
                  "JSON text nests deeper than the limit of " + std::to_string(kMaxJsonDepth) + " levels");
  try {
    value = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    return Status(StatusEnum::EvaluationError, std::string("JSON text is not valid: ") + e.what());
  }
  return Status();
}

std::size_t depth(const nlohmann::json& value) {
  std::size_t deepest = 0;
  std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&value, 0}};
  while (!pending.empty()) {
    const auto [node, level] = pending.back();
    pending.pop_back();
    if (!node->is_structured())
      continue;
    deepest = std::max(deepest, level + 1);
    for (const nlohmann::json& element : *node)
      pending.emplace_back(&element, level + 1);
  }
  return deepest;
}

nlohmann::json copyJson(const nlohmann::json& value) {
  using json = nlohmann::json;
  if (!value.is_structured())
    return value; // scalars copy without recursion
  json root(value.type());
  // Each container of the copy is filled completely when it is popped; element storage is reserved
  // first, so the addresses of filled elements stay valid while their own contents are pending.
  std::vector<std::pair<const json*, json*>> pending{{&value, &root}};
  while (!pending.empty()) {
    const auto [source, target] = pending.back();
    pending.pop_back();
    if (source->is_array()) {
      const auto& from = source->get_ref<const json::array_t&>();
      auto& to = target->get_ref<json::array_t&>();
      to.reserve(from.size());
      for (const json& element : from) {
        to.push_back(element.is_structured() ? json(element.type()) : element);
        if (element.is_structured())
          pending.emplace_back(&element, &to.back());
      }
    } else {
      auto& to = target->get_ref<json::object_t&>();
      for (const auto& [key, member] : source->get_ref<const json::object_t&>()) {
        // Map nodes never move, so the member's address is stable.
        json& copy =
            to.emplace_hint(to.end(), key, member.is_structured() ? json(member.type()) : member)->second;
        if (member.is_structured())
          pending.emplace_back(&member, &copy);
      }
    }
  }
  return root;
}

void writeJson(const nlohmann::json& value, std::string& out) {
  using json = nlohmann::json;
  struct Frame {
    const json* container;
    json::const_iterator next;
  };
  std::vector<Frame> open;
  // Writes one value: a scalar or empty container at once, else its opening bracket and a frame.
  const auto begin = [&](const json& v) {
    if (!v.is_structured() || v.empty()) {
      out += v.dump();
      return;
    }
    out += v.is_array() ? '[' : '{';
    open.push_back({&v, v.cbegin()});
  };
  begin(value);
  while (!open.empty()) {
    Frame& top = open.back();
    if (top.next == top.container->cend()) {
      out += top.container->is_array() ? ']' : '}';
      open.pop_back();
      continue;
    }
    if (top.next != top.container->cbegin())
      out += ',';
    if (top.container->is_object()) {
      out += json(top.next.key()).dump(); // the key, quoted and escaped as dump() does
      out += ':';
    }
    const json& element = *top.next;
    ++top.next; // before begin(), which may grow `open` and move `top`
    begin(element);
  }
}

std::string writeJson(const nlohmann::json& value) {
  std::string out;
  writeJson(value, out);
  return out;
}

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
