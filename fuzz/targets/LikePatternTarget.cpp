// LIKE patterns: byte 0 is the escape (0: none), byte 1 the flags, then pattern and text separated by
// byte 31. The matcher is checked against a reference written here from the pattern rules (a dynamic
// program over pattern elements, exact by construction): equal answers, except that with flag bit 0
// the matcher may miss a match but never invent one. The cell form, and the constant-pattern plan
// where one exists, give the heap form's answer.
#include <array>
#include <string>
#include <vector>

#include "functions/text/CharFuncLike.h"
#include "functions/text/LikeMatch.h"
#include "fuzz/FuzzTarget.h"

namespace quarry::fuzz {

namespace {

struct Element {
  enum Kind { Any, One, Set, Literal } kind;
  unsigned char literal = 0;
  std::array<bool, 256> members{}; // Set: which bytes (before negation)
  bool negated = false;
};

unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c | 32) : c;
}

std::vector<Element> elementsOf(std::string_view p, char escape) {
  std::vector<Element> out;
  for (std::size_t i = 0; i < p.size();) {
    const char c = p[i];
    Element e{Element::Literal};
    if (escape != 0 && c == escape) {
      e.literal = static_cast<unsigned char>(i + 1 < p.size() ? p[i + 1] : c);
      i += i + 1 < p.size() ? 2 : 1;
    } else if (c == '%') {
      e.kind = Element::Any;
      ++i;
    } else if (c == '_') {
      e.kind = Element::One;
      ++i;
    } else if (c == '[') {
      const bool negated = i + 1 < p.size() && p[i + 1] == '^';
      const std::size_t from = i + 1 + (negated ? 1 : 0);
      const std::size_t close = p.find(']', from);
      if (close == std::string_view::npos) {
        e.literal = '[';
        ++i;
      } else {
        e.kind = Element::Set;
        e.negated = negated;
        const std::string_view body = p.substr(from, close - from);
        for (std::size_t j = 0; j < body.size();) {
          if (j + 2 < body.size() && body[j + 1] == '-') {
            unsigned char lo = static_cast<unsigned char>(body[j]),
                          hi = static_cast<unsigned char>(body[j + 2]);
            if (lo > hi)
              std::swap(lo, hi);
            for (int b = lo; b <= hi; ++b)
              e.members[b] = true;
            j += 3;
          } else {
            e.members[static_cast<unsigned char>(body[j])] = true;
            ++j;
          }
        }
        i = close + 1;
      }
    } else {
      e.literal = static_cast<unsigned char>(c);
      ++i;
    }
    out.push_back(e);
  }
  return out;
}

bool matchesOne(const Element& e, unsigned char c, bool noNewline, bool folding) {
  switch (e.kind) {
  case Element::One:
    return !(noNewline && c == '\n');
  case Element::Literal:
    return folding ? fold(c) == fold(e.literal) : c == e.literal;
  case Element::Set: {
    bool in = e.members[c];
    if (folding)
      for (int b = 0; b < 256 && !in; ++b)
        in = e.members[b] && fold(static_cast<unsigned char>(b)) == fold(c);
    return in != e.negated;
  }
  default:
    return false;
  }
}

// at[i][j]: elements i.. match text j..; computed backwards, one row of the table at a time.
bool reference(std::string_view text, const std::vector<Element>& elements, bool noNewline, bool folding) {
  const std::size_t n = text.size();
  std::vector<char> next(n + 1, 0), cur(n + 1, 0);
  next[n] = 1;
  for (std::size_t i = elements.size(); i-- > 0;) {
    const Element& e = elements[i];
    cur[n] = e.kind == Element::Any && next[n];
    for (std::size_t j = n; j-- > 0;) {
      const unsigned char c = static_cast<unsigned char>(text[j]);
      if (e.kind == Element::Any)
        cur[j] = next[j] || (!(noNewline && c == '\n') && cur[j + 1]);
      else
        cur[j] = matchesOne(e, c, noNewline, folding) && next[j + 1];
    }
    std::swap(cur, next);
  }
  return next[0] != 0;
}

constexpr std::size_t kReferenceBudget = std::size_t{1} << 20; // table cells per input

} // namespace

int likePattern(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  if (size < 2)
    return 0;
  const char escape = static_cast<char>(bytes[0]);
  const signed char flags = static_cast<signed char>(bytes[1] & 3);
  const std::vector<std::string_view> f = splitFields(input.substr(2), 2);
  const std::string_view pattern = f[0], text = f[1];

  const bool got = vela::cuda::like_match<true>(text.data(), static_cast<int>(text.size()), pattern.data(),
                                                static_cast<int>(pattern.size()), escape, flags);
  const std::vector<Element> elements = elementsOf(pattern, escape);
  if ((elements.size() + 1) * (text.size() + 1) <= kReferenceBudget) {
    const bool want = reference(text, elements, (flags & 1) != 0, (flags & 2) != 0);
    if ((flags & 1) == 0 ? got != want : got && !want)
      fail(std::string("LIKE answers ") + (got ? "true" : "false") + ", the reference " +
               (want ? "true" : "false"),
           input);
  }

  // The fixed-width forms: text in a char256 cell, pattern in the char256 pattern cell.
  if (text.size() > 256 || pattern.size() > 256 || text.find('\0') != std::string_view::npos ||
      pattern.find('\0') != std::string_view::npos)
    return 0;
  char cell[256], patternCell[256];
  packCell(text, reinterpret_cast<unsigned char*>(cell), sizeof cell);
  packCell(pattern, reinterpret_cast<unsigned char*>(patternCell), sizeof patternCell);
  if (vela::cuda::like_match<false>(cell, 256, patternCell, 256, escape, flags) != got)
    fail("the cell and heap forms of LIKE disagree", input);
  // The narrowest cell that holds the text (cells of up to 8 bytes are read as integers).
  int width = 1;
  while (static_cast<std::size_t>(width) < text.size())
    width *= 2;
  char narrow[256];
  packCell(text, reinterpret_cast<unsigned char*>(narrow), static_cast<std::size_t>(width));
  if (vela::cuda::like_match<false>(narrow, width, patternCell, 256, escape, flags) != got)
    fail("LIKE on a " + std::to_string(width) + "-byte cell disagrees with the heap form", input);
  for (const vela::cuda::LikePlan& plan :
       {vela::cuda::like_plan(patternCell, escape, flags), vela::cuda::like_plan(pattern, escape, flags)})
    if (plan.shape != vela::cuda::LikeShape::General && vela::cuda::like_plan_match<256>(plan, cell) != got)
      fail("the constant-pattern plan and the matcher disagree", input);
  return 0;
}

} // namespace quarry::fuzz
