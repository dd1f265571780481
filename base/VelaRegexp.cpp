#include "base/VelaRegexp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <re2/re2.h>

#include "base/CallContext.h"
#include "base/Logging.h"
#include "base/RamPool.h"
#include "base/VelaException.h"

namespace vela {

namespace {

constexpr const char* kSourcePath = "base/VelaRegexp";

// Groups deeper than this are refused before the engine parses the pattern, so that no later walk over
// the parsed pattern can exhaust the stack. Parentheses inside a class count too: the check errs on the
// side of refusing.
constexpr int kMaxNestingDepth = 1000;
// Patterns and replacements are quoted in messages up to this many bytes.
constexpr std::size_t kQuotedBytes = 200;

std::string quoted(std::string_view text) {
  if (text.size() <= kQuotedBytes)
    return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, kQuotedBytes)) + "...' (" + std::to_string(text.size()) + " bytes)";
}

[[noreturn]] void refuse(int line, std::string message) {
  throw VelaException(VelaWhat::Evaluation, locationSuffix(kSourcePath, line),
                      Status(StatusEnum::InvalidArgument, std::move(message)));
}

int nestingDepth(std::string_view pattern) {
  int depth = 0, deepest = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '\\')
      ++i;
    else if (pattern[i] == '(')
      deepest = std::max(deepest, ++depth);
    else if (pattern[i] == ')' && depth > 0)
      --depth;
  }
  return deepest;
}

// One piece of a replacement: literal bytes, or a group (0 = the whole match).
struct Piece {
  int group = -1; // -1: literal
  std::string literal;
};

// A charN cell's text in reading order (character 0 at the highest byte, ending at the first zero byte
// from the top). `out` holds at least `width` bytes.
std::size_t cellText(const char* cell, unsigned long width, char* out) {
  std::size_t n = 0;
  while (n < width && cell[width - 1 - n] != 0) {
    out[n] = cell[width - 1 - n];
    ++n;
  }
  return n;
}

// Writes `text` (reading order) into the cell, cut at the width, every other byte zero.
void packCell(char* cell, unsigned long width, std::string_view text) {
  const std::size_t n = std::min<std::size_t>(text.size(), width);
  for (std::size_t i = 0; i < n; ++i)
    cell[width - 1 - i] = text[i];
  std::memset(cell, 0, width - n);
}

// A heap string's bytes: an unsigned 64-bit length, then the bytes.
std::string_view stringText(const cuda::InlineBuffer<char>* s) {
  if (s == nullptr)
    return {};
  std::uint64_t n;
  std::memcpy(&n, s, sizeof n);
  return {reinterpret_cast<const char*>(s) + sizeof n, static_cast<std::size_t>(n)};
}

} // namespace

RegexpOutputBuffer::~RegexpOutputBuffer() {
  if (m_pool != nullptr)
    m_pool->deallocateRaw(m_data, m_capacity);
}

void RegexpOutputBuffer::append(const char* bytes, std::size_t n) {
  if (n == 0)
    return;
  if (n > m_capacity - m_size)
    grow(n);
  std::memcpy(m_data + m_size, bytes, n);
  m_size += n;
}

void RegexpOutputBuffer::grow(std::size_t needed) {
  if (needed > SIZE_MAX / 2 - m_size)
    throw std::length_error("Size would exceed maximum allowed size");
  const std::size_t capacity = std::max(m_capacity * 2, m_size + needed);
  RamPool* pool = m_pool != nullptr ? m_pool : RamPool::getDefault();
  char* data = static_cast<char*>(pool->allocateRaw(capacity, 16));
  std::memcpy(data, m_data, m_size);
  if (m_pool != nullptr)
    m_pool->deallocateRaw(m_data, m_capacity);
  m_pool = pool;
  m_data = data;
  m_capacity = capacity;
}

struct VelaRegexp::Impl {
  std::string pattern, flags, replacement;
  std::unique_ptr<RE2> re;
  std::vector<Piece> pieces;
  int groups = 0;
  int replaceGroups = 1; // submatches replace asks for: the highest group referenced + 1 (at least 1)

  // The occurrence-th match (1-based) of the scan from byte `from`, with `n` >= 1 submatches in
  // `sub`. Returns false when there are fewer matches.
  bool nth(std::string_view text, std::size_t from, int occurrence, re2::StringPiece* sub, int n) const {
    const re2::StringPiece whole(text.data(), text.size());
    std::size_t pos = from;
    for (int k = 1; pos <= text.size(); ++k) {
      if (!re->Match(whole, pos, text.size(), RE2::UNANCHORED, sub, n))
        return false;
      if (k == occurrence)
        return true;
      const std::size_t start = static_cast<std::size_t>(sub[0].data() - text.data());
      pos = sub[0].empty() ? start + 1 : start + sub[0].size();
    }
    return false;
  }
};

namespace {
// A non-null base for empty texts, so that a submatch's data() tells a set group from an unset one.
std::string_view nonNull(std::string_view text) {
  return text.data() == nullptr ? std::string_view("", 0) : text;
}
} // namespace

VelaRegexp::VelaRegexp(std::string_view pattern, std::string_view flags, std::string_view replacement)
    : m_impl(std::make_unique<Impl>()) {
  Impl& m = *m_impl;
  m.pattern = pattern;
  m.flags = flags;
  m.replacement = replacement;
  bool caseSensitive = true;
  std::string inline_;
  for (char f : flags) {
    switch (f) {
    case 'c':
      caseSensitive = true;
      break;
    case 'i':
      caseSensitive = false;
      break;
    case 'm':
      inline_ += 'm';
      break;
    case 'n':
      inline_ += 's';
      break;
    default:
      refuse(__LINE__, "Invalid regular expression flag " + quoted(std::string_view(&f, 1)) + " in " +
                           quoted(flags) + " for " + quoted(pattern) + ": the flags are c, i, m and n");
    }
  }
  if (nestingDepth(pattern) > kMaxNestingDepth)
    refuse(__LINE__, "Invalid regular expression " + quoted(pattern) + ": groups nest deeper than " +
                         std::to_string(kMaxNestingDepth) + " levels");
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_log_errors(false);
  options.set_case_sensitive(caseSensitive);
  const std::string full =
      inline_.empty() ? std::string(pattern) : "(?" + inline_ + ")" + std::string(pattern);
  m.re = std::make_unique<RE2>(full, options);
  if (!m.re->ok())
    refuse(__LINE__, "Invalid regular expression " + quoted(pattern) + ": " + m.re->error());
  m.groups = m.re->NumberOfCapturingGroups();

  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    if (c != '\\') {
      if (m.pieces.empty() || m.pieces.back().group >= 0)
        m.pieces.push_back({});
      m.pieces.back().literal += c;
      continue;
    }
    const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
    ++i;
    if (next == '\\') {
      if (m.pieces.empty() || m.pieces.back().group >= 0)
        m.pieces.push_back({});
      m.pieces.back().literal += '\\';
    } else if (next >= '0' && next <= '9') {
      const int g = next - '0';
      if (g > m.groups)
        refuse(__LINE__, "Invalid replacement " + quoted(replacement) + " for regular expression " +
                             quoted(pattern) + ": \\" + std::string(1, next) +
                             " names a group the pattern does " + "not have (it has " +
                             std::to_string(m.groups) + ")");
      m.pieces.push_back({g, {}});
      m.replaceGroups = std::max(m.replaceGroups, g + 1);
    } else {
      refuse(__LINE__, "Invalid replacement " + quoted(replacement) + " for regular expression " +
                           quoted(pattern) +
                           ": a backslash is followed by a digit (a group) or by a backslash");
    }
  }
}

VelaRegexp::~VelaRegexp() = default;

const std::string& VelaRegexp::pattern() const noexcept {
  return m_impl->pattern;
}
const std::string& VelaRegexp::flags() const noexcept {
  return m_impl->flags;
}
const std::string& VelaRegexp::replacement() const noexcept {
  return m_impl->replacement;
}
int VelaRegexp::groupCount() const noexcept {
  return m_impl->groups;
}

// --- texts ------------------------------------------------------------------------------------------

bool VelaRegexp::matchText(std::string_view text) const {
  text = nonNull(text);
  return m_impl->re->Match(re2::StringPiece(text.data(), text.size()), 0, text.size(), RE2::UNANCHORED,
                           nullptr, 0);
}

int VelaRegexp::countText(std::string_view text, int start) const {
  text = nonNull(text);
  if (start < 1 || static_cast<std::size_t>(start) > text.size() + 1)
    return 0;
  const re2::StringPiece whole(text.data(), text.size());
  re2::StringPiece sub;
  int count = 0;
  for (std::size_t pos = static_cast<std::size_t>(start) - 1; pos <= text.size(); ++count) {
    if (!m_impl->re->Match(whole, pos, text.size(), RE2::UNANCHORED, &sub, 1))
      break;
    const std::size_t at = static_cast<std::size_t>(sub.data() - text.data());
    pos = sub.empty() ? at + 1 : at + sub.size();
  }
  return count;
}

namespace {
// Submatches 0..n-1 of one search: on the stack for the usual group numbers.
class Submatches {
public:
  explicit Submatches(int n) {
    if (n > static_cast<int>(m_small.size()))
      m_large.resize(static_cast<std::size_t>(n));
  }
  re2::StringPiece* data() { return m_large.empty() ? m_small.data() : m_large.data(); }

private:
  std::array<re2::StringPiece, 10> m_small;
  std::vector<re2::StringPiece> m_large;
};
} // namespace

int VelaRegexp::instrText(std::string_view text, int start, int occurrence, int option, int group) const {
  text = nonNull(text);
  if (start < 1 || static_cast<std::size_t>(start) > text.size() + 1 || occurrence < 1 || option < 0 ||
      option > 1 || group < 0 || group > m_impl->groups)
    return 0;
  Submatches sub(group + 1);
  if (!m_impl->nth(text, static_cast<std::size_t>(start) - 1, occurrence, sub.data(), group + 1))
    return 0;
  const re2::StringPiece& g = sub.data()[group];
  if (g.data() == nullptr)
    return 0;
  const std::size_t at = static_cast<std::size_t>(g.data() - text.data());
  return static_cast<int>(at + 1 + (option == 1 ? g.size() : 0));
}

std::string_view VelaRegexp::substrText(std::string_view text, int start, int occurrence, int group) const {
  text = nonNull(text);
  if (start < 1 || static_cast<std::size_t>(start) > text.size() + 1 || occurrence < 1 || group < 0 ||
      group > m_impl->groups)
    return {};
  Submatches sub(group + 1);
  if (!m_impl->nth(text, static_cast<std::size_t>(start) - 1, occurrence, sub.data(), group + 1))
    return {};
  const re2::StringPiece& g = sub.data()[group];
  return g.data() == nullptr ? std::string_view() : std::string_view(g.data(), g.size());
}

template <class Out>
bool VelaRegexp::replaceInto(std::string_view text, int start, int occurrence, Out& out,
                             std::size_t limit) const {
  text = nonNull(text);
  if (start < 1 || static_cast<std::size_t>(start) > text.size() + 1 || occurrence < 0)
    return false;
  const Impl& m = *m_impl;
  const re2::StringPiece whole(text.data(), text.size());
  const std::size_t base = out.size();
  auto room = [&] { return out.size() - base < limit; };
  auto append = [&](const char* p, std::size_t n) {
    out.append(p, std::min(n, limit - (out.size() - base)));
  };
  Submatches subs(m.replaceGroups);
  re2::StringPiece* sub = subs.data();
  std::size_t pos = static_cast<std::size_t>(start) - 1, copied = 0; // text[0, copied) is in out
  bool replaced = false;
  for (int k = 1; pos <= text.size() && room(); ++k) {
    if (!m.re->Match(whole, pos, text.size(), RE2::UNANCHORED, sub, m.replaceGroups))
      break;
    const std::size_t at = static_cast<std::size_t>(sub[0].data() - text.data());
    const std::size_t end = at + sub[0].size();
    if (occurrence == 0 || k == occurrence) {
      append(text.data() + copied, at - copied);
      for (const Piece& p : m.pieces) {
        if (p.group < 0)
          append(p.literal.data(), p.literal.size());
        else if (sub[p.group].data() != nullptr)
          append(sub[p.group].data(), sub[p.group].size());
      }
      copied = end;
      replaced = true;
      if (k == occurrence)
        break;
    }
    pos = sub[0].empty() ? at + 1 : end;
  }
  if (!replaced)
    return false;
  if (room())
    append(text.data() + copied, text.size() - copied);
  return true;
}

bool VelaRegexp::replaceText(std::string_view text, int start, int occurrence, std::string& out,
                             std::size_t limit) const {
  return replaceInto(text, start, occurrence, out, limit);
}

bool VelaRegexp::replaceText(std::string_view text, int start, int occurrence, RegexpOutputBuffer& out,
                             std::size_t limit) const {
  return replaceInto(text, start, occurrence, out, limit);
}

// --- fixed-width cells --------------------------------------------------------------------------------

bool VelaRegexp::match(const char* cell, unsigned long width) const {
  char text[256];
  return matchText({text, cellText(cell, width, text)});
}

int VelaRegexp::count(const char* cell, int start, unsigned long width) const {
  char text[256];
  return countText({text, cellText(cell, width, text)}, start);
}

int VelaRegexp::instr(const char* cell, int start, int occurrence, int option, int group,
                      unsigned long width) const {
  char text[256];
  return instrText({text, cellText(cell, width, text)}, start, occurrence, option, group);
}

void VelaRegexp::replace(char* cell, int start, int occurrence, unsigned long width) const {
  char text[256];
  // At most `width` <= 256 bytes are written, so the buffer never leaves its inline storage.
  RegexpOutputBuffer out;
  if (replaceInto(std::string_view(text, cellText(cell, width, text)), start, occurrence, out, width))
    packCell(cell, width, out.view());
}

void VelaRegexp::substr(char* cell, int start, int occurrence, int group, unsigned long width) const {
  char text[256];
  // The piece lies in `text`, a copy, so packing it cannot overwrite what is still to be read.
  packCell(cell, width, substrText({text, cellText(cell, width, text)}, start, occurrence, group));
}

// --- heap strings -------------------------------------------------------------------------------------

bool VelaRegexp::matchForward(const cuda::InlineBuffer<char>* s) const {
  return s != nullptr && matchText(stringText(s));
}

int VelaRegexp::countForward(const cuda::InlineBuffer<char>* s, int start) const {
  return s == nullptr ? 0 : countText(stringText(s), start);
}

int VelaRegexp::instrForward(const cuda::InlineBuffer<char>* s, int start, int occurrence, int option,
                             int group) const {
  return s == nullptr ? 0 : instrText(stringText(s), start, occurrence, option, group);
}

std::string_view VelaRegexp::replaceForward(const cuda::InlineBuffer<char>* s, int start, int occurrence,
                                            RegexpOutputBuffer& out) const {
  if (s == nullptr)
    return {};
  const std::string_view text = stringText(s);
  out.clear();
  return replaceInto(text, start, occurrence, out, std::string_view::npos) ? out.view() : text;
}

std::string_view VelaRegexp::replaceForward(const cuda::InlineBuffer<char>* s, int start, int occurrence,
                                            ManagedThreadLocalArena* arena) const {
  RegexpOutputBuffer out;
  const std::string_view result = replaceForward(s, start, occurrence, out);
  if (result.data() != out.data())
    return result;
  if (result.empty())
    return std::string_view("", 0);
  if (arena == nullptr)
    throw std::invalid_argument("VelaRegexp::replaceForward: a replaced text needs an arena");
  char* bytes = static_cast<char*>(arena->allocate(result.size(), 1));
  std::memcpy(bytes, result.data(), result.size());
  return {bytes, result.size()};
}

std::string_view VelaRegexp::substrForward(const cuda::InlineBuffer<char>* s, int start, int occurrence,
                                           int group, ManagedThreadLocalArena*) const {
  return s == nullptr ? std::string_view() : substrText(stringText(s), start, occurrence, group);
}

} // namespace vela
