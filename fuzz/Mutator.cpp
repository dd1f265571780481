#include "fuzz/Mutator.h"

namespace quarry::fuzz {

namespace {

// Bytes that are boundaries for most readers: digits, signs, separators, quotes, brackets, blanks,
// NUL, DEL and the first bytes of UTF-8 sequences.
constexpr char kInterestingBytes[] = "0123456789+-.,;:'\"[](){}$@%_\\ \t\n\r\x00\x1f\x7f\x80\xbf\xc3\xe9\xff";
constexpr std::string_view kInteresting{kInterestingBytes, sizeof kInterestingBytes - 1};

} // namespace

std::string Mutator::mutate(std::string s, const std::vector<std::string>& corpus) {
  const int edits = 1 + static_cast<int>(below(4));
  for (int i = 0; i < edits; ++i) {
    switch (below(9)) {
    case 0: // flip a bit
      if (!s.empty())
        s[below(s.size())] ^= static_cast<char>(1u << below(8));
      break;
    case 1: // replace a byte by an interesting one
      if (!s.empty())
        s[below(s.size())] = kInteresting[below(kInteresting.size())];
      break;
    case 2: // insert an interesting or random byte
      s.insert(s.begin() + static_cast<long>(below(s.size() + 1)),
               below(2) ? kInteresting[below(kInteresting.size())] : static_cast<char>(m_rng() & 0xff));
      break;
    case 3: // delete a range
      if (!s.empty())
        s.erase(below(s.size()), 1 + below(8));
      break;
    case 4: // duplicate a range
      if (!s.empty()) {
        const std::size_t at = below(s.size());
        s.insert(below(s.size() + 1), s.substr(at, 1 + below(16)));
      }
      break;
    case 5: // insert a dictionary token
    case 6:
      if (!m_tokens.empty())
        s.insert(below(s.size() + 1), m_tokens[below(m_tokens.size())]);
      break;
    case 7: // splice: this input's head with another entry's tail
      if (!corpus.empty()) {
        const std::string& other = corpus[below(corpus.size())];
        s = s.substr(0, below(s.size() + 1)) + other.substr(below(other.size() + 1));
      }
      break;
    default: // truncate
      s.resize(below(s.size() + 1));
      break;
    }
  }
  if (s.size() > m_maxSize)
    s.resize(m_maxSize);
  return s;
}

} // namespace quarry::fuzz
