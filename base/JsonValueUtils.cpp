#include "base/JsonValueUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

Status readJson(std::string_view text, nlohmann::json& value, bool arrayRequired) {
  if (text.find_first_not_of(" \t\n\r") == std::string_view::npos)
    return Status(kJsonEmptyText, "JSON text is empty");
  nlohmann::json parsed;
  Status status = readJson(text, parsed);
  if (!status.ok())
    return Status(StatusEnum::InvalidArgument, status.message());
  if (arrayRequired && !parsed.is_array())
    return Status(kJsonNotAnArray, "JSON text is not an array");
  value = std::move(parsed);
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

void writeJson(const nlohmann::json& value, std::string& out, bool replaceInvalid) {
  using json = nlohmann::json;
  const json::error_handler_t handler =
      replaceInvalid ? json::error_handler_t::replace : json::error_handler_t::strict;
  struct Frame {
    const json* container;
    json::const_iterator next;
  };
  std::vector<Frame> open;
  // Writes one value: a scalar or empty container at once, else its opening bracket and a frame.
  const auto begin = [&](const json& v) {
    if (!v.is_structured() || v.empty()) {
      out += v.dump(-1, ' ', false, handler);
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
      out += json(top.next.key()).dump(-1, ' ', false, handler); // the key, quoted and escaped as dump() does
      out += ':';
    }
    const json& element = *top.next;
    ++top.next; // before begin(), which may grow `open` and move `top`
    begin(element);
  }
}

std::string writeJson(const nlohmann::json& value, bool replaceInvalid) {
  std::string out;
  writeJson(value, out, replaceInvalid);
  return out;
}

namespace {

// A CBOR head: the major type and its argument in the shortest form.
void cborHead(std::vector<std::uint8_t>& out, std::uint8_t major, std::uint64_t n) {
  const auto m = static_cast<std::uint8_t>(major << 5);
  int bytes = 0;
  if (n < 24) {
    out.push_back(static_cast<std::uint8_t>(m | n));
    return;
  }
  if (n <= 0xff) {
    out.push_back(m | 24);
    bytes = 1;
  } else if (n <= 0xffff) {
    out.push_back(m | 25);
    bytes = 2;
  } else if (n <= 0xffffffffULL) {
    out.push_back(m | 26);
    bytes = 4;
  } else {
    out.push_back(m | 27);
    bytes = 8;
  }
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

void cborBytes(std::vector<std::uint8_t>& out, std::uint8_t major, const void* data, std::size_t n) {
  cborHead(out, major, n);
  const auto* p = static_cast<const std::uint8_t*>(data);
  out.insert(out.end(), p, p + n);
}

// One value that is not an array or object, or the head of one that is.
void cborNode(std::vector<std::uint8_t>& out, const nlohmann::json& v) {
  using json = nlohmann::json;
  switch (v.type()) {
  case json::value_t::null:
  case json::value_t::discarded:
    out.push_back(0xf6);
    break;
  case json::value_t::boolean:
    out.push_back(v.get<bool>() ? 0xf5 : 0xf4);
    break;
  case json::value_t::number_unsigned:
    cborHead(out, 0, v.get<std::uint64_t>());
    break;
  case json::value_t::number_integer: {
    const std::int64_t i = v.get<std::int64_t>();
    // -1 - i for negatives, computed without overflow at the int64 minimum
    if (i >= 0)
      cborHead(out, 0, static_cast<std::uint64_t>(i));
    else
      cborHead(out, 1, ~static_cast<std::uint64_t>(i));
    break;
  }
  case json::value_t::number_float: {
    const double d = v.get<double>();
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    out.push_back(0xfb);
    for (int i = 7; i >= 0; --i)
      out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    break;
  }
  case json::value_t::string: {
    const auto& s = v.get_ref<const json::string_t&>();
    cborBytes(out, 3, s.data(), s.size());
    break;
  }
  case json::value_t::binary: {
    const auto& b = v.get_binary();
    cborBytes(out, 2, b.data(), b.size());
    break;
  }
  case json::value_t::array:
    cborHead(out, 4, v.size());
    break;
  case json::value_t::object:
    cborHead(out, 5, v.size());
    break;
  }
}

} // namespace

namespace {

int kindRank(nlohmann::json::value_t t) {
  using v = nlohmann::json::value_t;
  switch (t) {
  case v::null:
  case v::discarded:
    return 0;
  case v::boolean:
    return 1;
  case v::number_integer:
  case v::number_unsigned:
  case v::number_float:
    return 2;
  case v::object:
    return 3;
  case v::array:
    return 4;
  case v::string:
    return 5;
  case v::binary:
    return 6;
  }
  return 0;
}

template <class T>
int sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// A double against a signed or unsigned 64-bit integer, exactly: the integer part is compared as an
// integer where the double's range allows, then the fraction.
int compareDoubleInteger(double d, const nlohmann::json& i) {
  if (std::isnan(d))
    return 1;
  constexpr double kTwo63 = 9223372036854775808.0, kTwo64 = 18446744073709551616.0;
  const double t = std::trunc(d);
  const int fraction = d > t ? 1 : (d < t ? -1 : 0);
  if (i.is_number_unsigned()) {
    const std::uint64_t u = i.get<std::uint64_t>();
    if (d < 0)
      return -1;
    if (d >= kTwo64)
      return 1;
    const int c = sign(static_cast<std::uint64_t>(t), u);
    return c != 0 ? c : fraction;
  }
  const std::int64_t n = i.get<std::int64_t>();
  if (d >= kTwo63)
    return 1;
  if (d < -kTwo63)
    return -1;
  const int c = sign(static_cast<std::int64_t>(t), n);
  return c != 0 ? c : fraction;
}

int compareNumbers(const nlohmann::json& a, const nlohmann::json& b) {
  const bool fa = a.is_number_float(), fb = b.is_number_float();
  if (fa && fb) {
    const double x = a.get<double>(), y = b.get<double>();
    if (std::isnan(x) || std::isnan(y))
      return std::isnan(x) ? (std::isnan(y) ? 0 : 1) : -1;
    return sign(x, y);
  }
  if (fa)
    return compareDoubleInteger(a.get<double>(), b);
  if (fb)
    return -compareDoubleInteger(b.get<double>(), a);
  if (a.is_number_unsigned() && b.is_number_unsigned())
    return sign(a.get<std::uint64_t>(), b.get<std::uint64_t>());
  if (a.is_number_integer() && !a.is_number_unsigned() && b.is_number_integer() && !b.is_number_unsigned())
    return sign(a.get<std::int64_t>(), b.get<std::int64_t>());
  // one signed, one unsigned
  if (a.is_number_unsigned()) {
    const std::int64_t n = b.get<std::int64_t>();
    return n < 0 ? 1 : sign(a.get<std::uint64_t>(), static_cast<std::uint64_t>(n));
  }
  const std::int64_t n = a.get<std::int64_t>();
  return n < 0 ? -1 : sign(static_cast<std::uint64_t>(n), b.get<std::uint64_t>());
}

// Scalars, or containers of different kinds; containers of one kind return 0 (their contents are the
// caller's business).
int compareNode(const nlohmann::json& a, const nlohmann::json& b) {
  using v = nlohmann::json::value_t;
  const int ra = kindRank(a.type()), rb = kindRank(b.type());
  if (ra != rb)
    return ra < rb ? -1 : 1;
  switch (a.type()) {
  case v::boolean:
    return sign(a.get<bool>(), b.get<bool>());
  case v::number_integer:
  case v::number_unsigned:
  case v::number_float:
    return compareNumbers(a, b);
  case v::string: {
    const int c = a.get_ref<const std::string&>().compare(b.get_ref<const std::string&>());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  case v::binary: {
    const auto& x = a.get_binary();
    const auto& y = b.get_binary();
    const std::size_t n = std::min(x.size(), y.size());
    const int c = n == 0 ? 0 : std::memcmp(x.data(), y.data(), n);
    return c != 0 ? (c < 0 ? -1 : 1) : sign(x.size(), y.size());
  }
  default:
    return 0;
  }
}

} // namespace

int compare(const nlohmann::json& a, const nlohmann::json& b) {
  using json = nlohmann::json;
  struct Frame {
    const json* a;
    const json* b;
    json::const_iterator ia, ib;
  };
  std::vector<Frame> open;
  const auto begin = [&](const json& x, const json& y) {
    const int c = compareNode(x, y);
    if (c == 0 && x.is_structured())
      open.push_back({&x, &y, x.cbegin(), y.cbegin()});
    return c;
  };
  if (const int c = begin(a, b); c != 0)
    return c;
  while (!open.empty()) {
    Frame& top = open.back();
    const bool endA = top.ia == top.a->cend(), endB = top.ib == top.b->cend();
    if (endA || endB) {
      if (endA != endB)
        return endA ? -1 : 1;
      open.pop_back();
      continue;
    }
    if (top.a->is_object()) {
      const int k = top.ia.key().compare(top.ib.key());
      if (k != 0)
        return k < 0 ? -1 : 1;
    }
    const json& x = *top.ia;
    const json& y = *top.ib;
    ++top.ia; // before begin(), which may grow `open` and move `top`
    ++top.ib;
    if (const int c = begin(x, y); c != 0)
      return c;
  }
  return 0;
}

void writeCbor(const nlohmann::json& value, std::vector<std::uint8_t>& out) {
  using json = nlohmann::json;
  struct Frame {
    const json* container;
    json::const_iterator next;
  };
  std::vector<Frame> open;
  const auto begin = [&](const json& v) {
    cborNode(out, v);
    if (v.is_structured() && !v.empty())
      open.push_back({&v, v.cbegin()});
  };
  begin(value);
  while (!open.empty()) {
    Frame& top = open.back();
    if (top.next == top.container->cend()) {
      open.pop_back();
      continue;
    }
    if (top.container->is_object()) {
      const std::string& key = top.next.key();
      cborBytes(out, 3, key.data(), key.size());
    }
    const json& element = *top.next;
    ++top.next; // before begin(), which may grow `open` and move `top`
    begin(element);
  }
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
