// String family: LTRIM, RTRIM, TRIM, LPAD and RPAD on heap strings.
//
// Trimming removes white space (the byte 32 and the bytes 9 to 13; a NUL byte is not white space in a
// string) and hands the input on when there is none to remove.
//
// Padding (StringBufferLpad, StringBufferRpad): n is capped at kMaxPadBytes, so that one row cannot ask
// the pool for more; an absent s or pad, n <= 0 or an empty pad give the empty string (unlike the
// fixed-width pad, an empty pad empties even a result that would only cut s). Otherwise the result has
// n bytes: the first min(n, len) bytes of s, after (LPAD) or before (RPAD) n - len bytes of the pad
// repeated from its first byte. An n equal to len hands s on unchanged.

#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace strops;

/// The largest padded result, in bytes.
constexpr std::int32_t kMaxPadBytes = 100000;

template <bool Left, bool Right>
struct TrimFunc {
  void operator()(EvalOutputString out, StringCell s) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    std::size_t i = 0, j = text.size();
    if (Left)
      while (i < j && isSpace(static_cast<unsigned char>(text[i])))
        ++i;
    if (Right)
      while (j > i && isSpace(static_cast<unsigned char>(text[j - 1])))
        --j;
    writePart(out, s, text.substr(i, j - i));
  }
};

// m bytes of the pad repeated from its first byte into dst: one copy of the pad, then doubling copies
// of what is already written.
void fillCycle(char* dst, std::size_t m, std::string_view pad) {
  const std::size_t first = std::min(m, pad.size());
  std::memcpy(dst, pad.data(), first);
  for (std::size_t done = first; done < m;) {
    const std::size_t take = std::min(done, m - done);
    std::memcpy(dst + done, dst, take);
    done += take;
  }
}

template <bool Left, class Out>
void padString(Out& out, StringCell s, std::int32_t n, StringCell pad) {
  if (s == nullptr || pad == nullptr || n <= 0 || pad->empty())
    return writeEmpty(out);
  const std::string_view text = s->view();
  const auto want = static_cast<std::size_t>(std::min(n, kMaxPadBytes));
  if (want == text.size())
    return out.writeInput(s);
  if (want < text.size())
    return writeCopy(out, text.substr(0, want));
  const std::size_t m = want - text.size();
  writeNew(out, want, [&](char* dst) {
    if (Left) {
      fillCycle(dst, m, pad->view());
      std::memcpy(dst + m, text.data(), text.size());
    } else {
      std::memcpy(dst, text.data(), text.size());
      fillCycle(dst + text.size(), m, pad->view());
    }
  });
}

template <bool Left>
struct PadFunc {
  void operator()(EvalOutputString out, StringCell s, std::int32_t n, StringCell pad) const {
    padString<Left>(out, s, n, pad);
  }
};

bool registerStringTrimPad() {
  const OpRegistration ops[] = {
      opEntry<StringResultOp<TrimFunc<true, false>, StringCell>>(1648),
      opEntry<StringResultOp<TrimFunc<false, true>, StringCell>>(1658),
      opEntry<StringResultOp<TrimFunc<true, true>, StringCell>>(1668),
      opEntry<StringResultOp<PadFunc<true>, StringCell, std::int32_t, StringCell>>(1688),
      opEntry<StringResultOp<PadFunc<false>, StringCell, std::int32_t, StringCell>>(1708),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringTrimPad();

} // namespace

ManagedInlineBufferPtr<char> StringBufferLpad(const InlineBuffer<char>* s, int n,
                                              const InlineBuffer<char>* pad) {
  BufferSink sink;
  padString<true>(sink, s, n, pad);
  return std::move(sink.result);
}

ManagedInlineBufferPtr<char> StringBufferRpad(const InlineBuffer<char>* s, int n,
                                              const InlineBuffer<char>* pad) {
  BufferSink sink;
  padString<false>(sink, s, n, pad);
  return std::move(sink.result);
}

} // namespace vela::cuda
