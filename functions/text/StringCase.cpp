// String family: LENGTH, ASCII, LOWER, UPPER, INITCAP and REVERSE on heap strings.
//
// Case mapping changes the ASCII letters only; every other byte, 128 and above included, is kept. A
// string that the mapping would leave as it is (no letter of the other case, a palindrome for REVERSE)
// is handed on unchanged rather than copied.

#include "functions/text/CharTextHelpers.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace strops;

struct LengthFunc {
  std::int32_t operator()(StringCell s) const { return s == nullptr ? 0 : clampToInt(s->size()); }
};

// The first byte as an unsigned value; 0 for an empty or absent string.
struct AsciiFunc {
  std::int32_t operator()(StringCell s) const {
    return s == nullptr || s->empty() ? 0 : static_cast<unsigned char>(s->data()[0]);
  }
};

template <bool Upper>
inline unsigned char mapByte(unsigned char c) {
  if (Upper)
    return static_cast<unsigned char>(c - 'a') < 26 ? c - 32 : c;
  return static_cast<unsigned char>(c - 'A') < 26 ? c + 32 : c;
}

// LOWER (Upper = false) and UPPER: the first byte that changes is looked for first; without one the
// input is the result. The copy maps eight bytes at a time with the word forms of the fixed-width
// kernels.
template <bool Upper>
struct CaseFunc {
  void operator()(EvalOutputString out, StringCell s) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    std::size_t first = 0;
    while (first < text.size() &&
           mapByte<Upper>(static_cast<unsigned char>(text[first])) == static_cast<unsigned char>(text[first]))
      ++first;
    if (first == text.size())
      return out.writeInput(s);
    writeNew(out, text.size(), [&](char* dst) {
      std::memcpy(dst, text.data(), first);
      std::size_t i = first;
      for (; i + 8 <= text.size(); i += 8) {
        chartext::Word w;
        std::memcpy(&w, text.data() + i, 8);
        w = Upper ? chartext::upperWord(w) : chartext::lowerWord(w);
        std::memcpy(dst + i, &w, 8);
      }
      for (; i < text.size(); ++i)
        dst[i] = static_cast<char>(mapByte<Upper>(static_cast<unsigned char>(text[i])));
    });
  }
};

// The first letter of every word upper case, every other letter lower case; words are separated by
// white space only ("a-b" is one word).
struct InitcapFunc {
  static unsigned char mapped(unsigned char c, bool wordStart) {
    if (!isLetter(c))
      return c;
    return wordStart ? static_cast<unsigned char>(c & ~32) : static_cast<unsigned char>(c | 32);
  }
  void operator()(EvalOutputString out, StringCell s) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    std::size_t first = 0;
    bool wordStart = true;
    for (; first < text.size(); ++first) {
      const auto c = static_cast<unsigned char>(text[first]);
      if (mapped(c, wordStart) != c)
        break;
      wordStart = isSpace(c);
    }
    if (first == text.size())
      return out.writeInput(s);
    writeNew(out, text.size(), [&](char* dst) {
      std::memcpy(dst, text.data(), first);
      bool start = wordStart;
      for (std::size_t i = first; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        dst[i] = static_cast<char>(mapped(c, start));
        start = isSpace(c);
      }
    });
  }
};

struct ReverseFunc {
  void operator()(EvalOutputString out, StringCell s) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    if (std::equal(text.begin(), text.begin() + text.size() / 2, text.rbegin()))
      return out.writeInput(s);
    writeNew(out, text.size(), [&](char* dst) { std::reverse_copy(text.begin(), text.end(), dst); });
  }
};

bool registerStringCase() {
  const OpRegistration ops[] = {
      opEntry<ElementwiseOp<LengthFunc, std::int32_t, StringCell>>(1617),
      opEntry<ElementwiseOp<LengthFunc, std::int32_t, StringCell>>(1618),
      opEntry<StringResultOp<CaseFunc<false>, StringCell>>(1628),
      opEntry<StringResultOp<CaseFunc<true>, StringCell>>(1638),
      opEntry<ElementwiseOp<AsciiFunc, std::int32_t, StringCell>>(1749),
      opEntry<StringResultOp<ReverseFunc, StringCell>>(2161),
      opEntry<StringResultOp<InitcapFunc, StringCell>>(2171),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringCase();

} // namespace

} // namespace vela::cuda
