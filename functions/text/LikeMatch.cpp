#include "functions/text/LikeMatch.h"

#include <cstdint>
#include <utility>

#include "functions/text/TextWalk.h"

namespace vela::cuda {
namespace {

using namespace text_walk;

constexpr unsigned char kNewline = 10;

template <class Walk>
class LikeMatcher {
public:
  LikeMatcher(Walk text, Walk pattern, char escape, signed char flags)
      : m_t(text), m_p(pattern), m_escape(static_cast<unsigned char>(escape)), m_noNewline((flags & 1) != 0),
        m_fold((flags & 2) != 0) {}

  bool run() const {
    std::int64_t pi = 0, ti = 0;
    std::int64_t starP = -1, starT = 0; // the one backtrack point: pattern after the last "%", its text start
    while (ti < m_t.len) {
      if (pi < m_p.len) {
        if (isPercentWildcard(pi)) {
          starP = ++pi;
          starT = ti;
          continue;
        }
        std::int64_t next = 0;
        if (element(pi, m_t[ti], next)) {
          pi = next;
          ++ti;
          continue;
        }
      }
      if (starP < 0 || (m_noNewline && m_t[starT] == kNewline))
        return false;
      pi = starP; // the "%" takes one more character
      ti = ++starT;
    }
    while (pi < m_p.len && isPercentWildcard(pi))
      ++pi;
    return pi == m_p.len;
  }

private:
  bool isEscape(unsigned char e) const { return m_escape != 0 && e == m_escape; }
  bool isPercentWildcard(std::int64_t pi) const { return m_p[pi] == '%' && !isEscape('%'); }
  unsigned char key(unsigned char c) const { return m_fold ? foldLetter(c) : c; }
  bool same(unsigned char patternByte, unsigned char c) const { return key(patternByte) == key(c); }

  // Whether the element at pi (not a "%") matches the text byte c; next is the index after it.
  bool element(std::int64_t pi, unsigned char c, std::int64_t& next) const {
    const unsigned char e = m_p[pi];
    next = pi + 1;
    if (isEscape(e)) {
      if (pi + 1 == m_p.len)
        return same(e, c); // a trailing escape stands for itself
      next = pi + 2;
      return same(m_p[pi + 1], c);
    }
    if (e == '_')
      return !(m_noNewline && c == kNewline);
    if (e == '[') {
      std::int64_t from = pi + 1;
      const bool negated = from < m_p.len && m_p[from] == '^';
      if (negated)
        ++from;
      std::int64_t close = from;
      while (close < m_p.len && m_p[close] != ']')
        ++close;
      if (close < m_p.len) {
        next = close + 1;
        return inSet(from, close, c) != negated;
      }
    }
    return same(e, c);
  }

  bool inRanges(std::int64_t from, std::int64_t close, unsigned char c) const {
    for (std::int64_t m = from; m < close;) {
      unsigned char lo = m_p[m], hi = lo;
      if (m + 2 < close && m_p[m + 1] == '-') {
        hi = m_p[m + 2];
        m += 3;
      } else {
        ++m;
      }
      if (lo > hi)
        std::swap(lo, hi);
      if (lo <= c && c <= hi)
        return true;
    }
    return false;
  }
  // Folding the members the same way as the character equals testing both cases of a letter.
  bool inSet(std::int64_t from, std::int64_t close, unsigned char c) const {
    return inRanges(from, close, c) || (m_fold && isLetter(c) && inRanges(from, close, c ^ 32));
  }

  Walk m_t, m_p;
  unsigned char m_escape;
  bool m_noNewline, m_fold;
};

} // namespace

template <bool isString>
bool like_match(const char* s, int sWidthOrLen, const char* pattern, int patternWidthOrLen, char escape,
                signed char flags) {
  using Walk = TextWalk<isString>;
  return LikeMatcher<Walk>(Walk::of(s, sWidthOrLen), Walk::of(pattern, patternWidthOrLen), escape, flags)
      .run();
}

template bool like_match<false>(const char*, int, const char*, int, char, signed char);
template bool like_match<true>(const char*, int, const char*, int, char, signed char);

} // namespace vela::cuda
