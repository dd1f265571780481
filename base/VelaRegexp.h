#pragma once
// Compiled regular expressions for the REGEXP_* ops.
//
// A VelaRegexp is built once by the caller (pattern, flags and, for REGEXP_REPLACE, a replacement
// text), attached to the op's element, and shared read-only by every row and thread of a call. Every
// failure happens at construction: an invalid pattern, flag or replacement throws VelaException naming
// the pattern and the reason; evaluation never throws and never fails.
//
// Syntax. The engine's own syntax (RE2: Perl-like classes, groups, alternation, counted repetition,
// no back-references and no look-around) over bytes: text and pattern are not decoded, '.' and
// classes match single bytes. Matching runs in time linear in the text whatever the pattern (no
// backtracking), and the engine bounds the nesting depth and the memory of a compiled pattern, so a
// hostile pattern is refused at construction rather than exhausting the stack or the heap.
//
// Flags: a string of letters, applied left to right (a later 'c' or 'i' wins):
//   'c' case-sensitive (the default)       'i' case-insensitive: ASCII letters, and bytes 0xC0-0xFE
//                                          read as Latin-1 letters (0xC9 and 0xE9 are one letter)
//   'm' '^' and '$' also match at lines    'n' '.' also matches a newline (byte 10)
// Any other letter is refused.
//
// Operands, in push order, 1-based byte positions. Out-of-range operands are no error: they give 0,
// no match or the text unchanged, as listed.
//   match(text)                                    does the pattern match anywhere in the text
//   count(text, start)                             matches from byte `start` on; 0 when start < 1 or
//                                                  start > length + 1
//   instr(text, start, occurrence, option, group)  position of the occurrence-th match from `start`:
//                                                  option 0 the first byte of the match (or of group
//                                                  `group`, 0 = the whole match), option 1 the byte after
//                                                  it; 0 when there is no such match, the group did not
//                                                  take part, or start, occurrence (< 1), option (not 0
//                                                  or 1) or group (< 0, > the pattern's groups) is out of
//                                                  range
//   substr(text, start, occurrence, group)         the text of that match (or group); empty as instr's 0
//   replace(text, start, occurrence)               the text with matches from `start` on replaced:
//                                                  occurrence 0 every match, k >= 1 the k-th only; the
//                                                  text unchanged when start or occurrence (< 0) is out
//                                                  of range or nothing matches
// Scanning (count, instr, substr, replace): after a match the next search starts where it ended; an
// empty match is counted (and replaced) and the search moves on by one byte, so a pattern such as 'x*'
// matches at every position and the scan always ends. Anchors and word boundaries see the whole text,
// also when the scan starts later.
//
// Replacement text: "\0" .. "\9" insert the whole match and groups 1 .. 9 (an unset group inserts
// nothing), "\\" a backslash; any other backslash, or a group the pattern does not have, is refused.
//
// Texts. The fixed-width forms take a charN cell of `width` bytes (character 0 at the highest byte,
// the text ending at the first zero byte from the top); replace and substr rewrite the cell in place,
// their result cut at the width and every byte past it zero. The Forward forms take a heap string; a
// null string matches nothing (false, 0, empty result).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vela {

namespace cuda {
template <class T>
class InlineBuffer;
} // namespace cuda

class ManagedThreadLocalArena;
class RamPool;

/// Growable result buffer of replace. The first kInlineBytes bytes live in the object itself, so a
/// result that fits (every fixed-width cell does) allocates nothing. Beyond that the storage comes from
/// the calling thread's pool (RamPool::getDefault() at the first growth), charged while the buffer holds
/// it and given back when the buffer dies: a caller keeps one for a row or a batch, and nothing stays
/// allocated between calls.
class RegexpOutputBuffer {
public:
  static constexpr std::size_t kInlineBytes = 256;

  RegexpOutputBuffer() noexcept = default;
  ~RegexpOutputBuffer();
  RegexpOutputBuffer(const RegexpOutputBuffer&) = delete;
  RegexpOutputBuffer& operator=(const RegexpOutputBuffer&) = delete;

  const char* data() const noexcept { return m_data; }
  std::size_t size() const noexcept { return m_size; }
  std::size_t capacity() const noexcept { return m_capacity; }
  std::string_view view() const noexcept { return {m_data, m_size}; }
  /// Empties the buffer, keeping its storage.
  void clear() noexcept { m_size = 0; }
  /// Appends bytes, growing (doubling, charged to the pool) when needed; throws what the pool throws,
  /// leaving the buffer as it was.
  void append(const char* bytes, std::size_t n);

private:
  void grow(std::size_t needed);

  char* m_data = m_inline;
  std::size_t m_size = 0;
  std::size_t m_capacity = kInlineBytes;
  RamPool* m_pool = nullptr; // set while m_data is pool storage
  char m_inline[kInlineBytes];
};

class VelaRegexp {
public:
  /// Compiles `pattern` with `flags`; `replacement` is the text REGEXP_REPLACE inserts. Throws
  /// VelaException(InvalidArgument status) naming the pattern and the engine's reason.
  explicit VelaRegexp(std::string_view pattern, std::string_view flags = {},
                      std::string_view replacement = {});
  ~VelaRegexp();
  VelaRegexp(const VelaRegexp&) = delete;
  VelaRegexp& operator=(const VelaRegexp&) = delete;

  const std::string& pattern() const noexcept;
  const std::string& flags() const noexcept;
  const std::string& replacement() const noexcept;
  /// Capturing groups of the pattern.
  int groupCount() const noexcept;

  // --- texts in reading order -------------------------------------------------------------------
  bool matchText(std::string_view text) const;
  int countText(std::string_view text, int start) const;
  int instrText(std::string_view text, int start, int occurrence, int option, int group) const;
  /// The match's bytes as a part of `text`; empty when there is none.
  std::string_view substrText(std::string_view text, int start, int occurrence, int group) const;
  /// Appends the replaced text to `out`, at most `limit` bytes (the rest is cut). Returns false (and
  /// appends nothing) when the result is `text` itself.
  bool replaceText(std::string_view text, int start, int occurrence, std::string& out,
                   std::size_t limit = std::string::npos) const;
  bool replaceText(std::string_view text, int start, int occurrence, RegexpOutputBuffer& out,
                   std::size_t limit = std::string::npos) const;

  // --- fixed-width cells ------------------------------------------------------------------------
  bool match(const char* cell, unsigned long width) const;
  int count(const char* cell, int start, unsigned long width) const;
  int instr(const char* cell, int start, int occurrence, int option, int group, unsigned long width) const;
  void replace(char* cell, int start, int occurrence, unsigned long width) const;
  void substr(char* cell, int start, int occurrence, int group, unsigned long width) const;

  // --- heap strings -------------------------------------------------------------------------------
  bool matchForward(const cuda::InlineBuffer<char>* s) const;
  int countForward(const cuda::InlineBuffer<char>* s, int start) const;
  int instrForward(const cuda::InlineBuffer<char>* s, int start, int occurrence, int option, int group) const;
  /// The result text. Where it is the input unchanged, a view into the input; otherwise a view of
  /// `out`, which is cleared first and holds the text until its next use.
  std::string_view replaceForward(const cuda::InlineBuffer<char>* s, int start, int occurrence,
                                  RegexpOutputBuffer& out) const;
  /// As above with the new bytes copied into `arena` (the calling thread's blocks, valid until its next
  /// reset). The text is built in a buffer of this call, so nothing outlives it but the arena's copy.
  /// A result that needs new bytes with a null arena is a fault of the caller (std::invalid_argument).
  std::string_view replaceForward(const cuda::InlineBuffer<char>* s, int start, int occurrence,
                                  ManagedThreadLocalArena* arena) const;
  /// Always a view into the input (or empty); `arena` is not needed and is accepted for the call shape.
  std::string_view substrForward(const cuda::InlineBuffer<char>* s, int start, int occurrence, int group,
                                 ManagedThreadLocalArena* arena) const;

private:
  template <class Out>
  bool replaceInto(std::string_view text, int start, int occurrence, Out& out, std::size_t limit) const;

  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

} // namespace vela
