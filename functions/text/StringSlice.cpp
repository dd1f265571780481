// String family: LEFT, RIGHT, SUBSTR, MASK, SPLIT, CONCAT and QUOTE_IDENT on heap strings.
//
// Counts and positions are clamped, never an error. A result that is a whole input hands that input on
// (LEFT or RIGHT of at least the length, SUBSTR of everything, CONCAT with an empty side, SPLIT of a
// text without the delimiter, MASK that masks nothing, an identifier that needs no quotes).

#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace strops;

// The first clamp(n, 0, len) bytes.
struct LeftFunc {
  void operator()(EvalOutputString out, StringCell s, std::int32_t n) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    writePart(out, s, text.substr(0, n <= 0 ? 0 : static_cast<std::size_t>(n)));
  }
};

// The last clamp(n, 0, len) bytes.
struct RightFunc {
  void operator()(EvalOutputString out, StringCell s, std::int32_t n) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    const std::size_t k = std::min<std::size_t>(n <= 0 ? 0 : static_cast<std::size_t>(n), text.size());
    writePart(out, s, text.substr(text.size() - k));
  }
};

// m = min(len - (start - 1), length) bytes from the 1-based start; empty when start < 1 or m < 1
// (so also when start is past the end).
struct SubstrFunc {
  void operator()(EvalOutputString out, StringCell s, std::int32_t start, std::int32_t length) const {
    if (s == nullptr || start < 1 || length < 1)
      return writeEmpty(out);
    const std::string_view text = s->view();
    const auto from = static_cast<std::size_t>(start) - 1;
    if (from >= text.size())
      return writeEmpty(out);
    writePart(out, s, text.substr(from, static_cast<std::size_t>(length)));
  }
};

// Bytes start .. start + length - 1 (1-based) that exist replaced by the byte c; the text is never
// extended. start or length below 1, or start past the end, hand s on. An empty c (the char1 NUL)
// would end a fixed-width text at start, and so here the result is the text cut before start.
struct MaskFunc {
  void operator()(EvalOutputString out, StringCell s, std::int32_t start, std::int32_t length,
                  Char1 c) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    if (start < 1 || length < 1 || static_cast<std::size_t>(start) > text.size())
      return out.writeInput(s);
    const auto from = static_cast<std::size_t>(start) - 1;
    if (c == 0)
      return writeCopy(out, text.substr(0, from));
    const std::size_t count = std::min(static_cast<std::size_t>(length), text.size() - from);
    writeNew(out, text.size(), [&](char* dst) {
      std::memcpy(dst, text.data(), text.size());
      std::memset(dst + from, c, count);
    });
  }
};

// Field k of s split at the delimiter byte (fields are the runs between delimiters, empty ones
// included; a negative k counts from the end, -1 the last). An empty delimiter, an empty s, k = 0 and
// k beyond the field count either way give the empty string; a text without the delimiter is its
// own only field and is handed on.
template <class Out>
void splitString(Out& out, StringCell s, Char1 delimiter, std::int32_t k) {
  if (s == nullptr || delimiter == 0 || k == 0 || s->empty())
    return writeEmpty(out);
  const std::string_view text = s->view();
  const auto d = static_cast<char>(delimiter);
  const auto fields = static_cast<std::int64_t>(std::count(text.begin(), text.end(), d)) + 1;
  if (k > fields || k < -fields)
    return writeEmpty(out);
  if (fields == 1)
    return out.writeInput(s);
  const std::int64_t field = k < 0 ? fields + k + 1 : k; // 1 .. fields
  std::size_t begin = 0;
  for (std::int64_t f = 1; f < field; ++f)
    begin = text.find(d, begin) + 1;
  const std::size_t end = std::min(text.find(d, begin), text.size());
  writeCopy(out, text.substr(begin, end - begin));
}

struct SplitFunc {
  void operator()(EvalOutputString out, StringCell s, Char1 delimiter, std::int32_t k) const {
    splitString(out, s, delimiter, k);
  }
};

// a followed by b; an empty side hands the other on.
struct ConcatFunc {
  void operator()(EvalOutputString out, StringCell a, StringCell b) const {
    if (a == nullptr || b == nullptr)
      return writeEmpty(out);
    if (b->empty())
      return out.writeInput(a);
    if (a->empty())
      return out.writeInput(b);
    const std::string_view x = a->view(), y = b->view();
    writeNew(out, x.size() + y.size(), [&](char* dst) {
      std::memcpy(dst, x.data(), x.size());
      std::memcpy(dst + x.size(), y.data(), y.size());
    });
  }
};

// An identifier (a letter or "_" first, then letters, digits and "_") is handed on; anything else,
// the empty string included, is enclosed in double quotes with each double quote inside doubled.
struct QuoteIdentFunc {
  static bool identifierByte(unsigned char c, bool first) {
    return isLetter(c) || c == '_' || (!first && c >= '0' && c <= '9');
  }
  void operator()(EvalOutputString out, StringCell s) const {
    if (s == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    bool identifier = !text.empty();
    for (std::size_t i = 0; i < text.size() && identifier; ++i)
      identifier = identifierByte(static_cast<unsigned char>(text[i]), i == 0);
    if (identifier)
      return out.writeInput(s);
    const auto quotes = static_cast<std::size_t>(std::count(text.begin(), text.end(), '"'));
    writeNew(out, text.size() + quotes + 2, [&](char* dst) {
      *dst++ = '"';
      for (char c : text) {
        *dst++ = c;
        if (c == '"')
          *dst++ = '"';
      }
      *dst = '"';
    });
  }
};

bool registerStringSlice() {
  const OpRegistration ops[] = {
      opEntry<StringResultOp<LeftFunc, StringCell, std::int32_t>>(1678),
      opEntry<StringResultOp<RightFunc, StringCell, std::int32_t>>(1698),
      opEntry<StringResultOp<QuoteIdentFunc, StringCell>>(1709),
      opEntry<StringResultOp<SubstrFunc, StringCell, std::int32_t, std::int32_t>>(1739),
      opEntry<StringResultOp<ConcatFunc, StringCell, StringCell>>(1788),
      opEntry<StringResultOp<ConcatFunc, StringCell, StringCell>>(1789),
      opEntry<StringResultOp<SplitFunc, StringCell, Char1, std::int32_t>>(2151),
      opEntry<StringResultOp<MaskFunc, StringCell, std::int32_t, std::int32_t, Char1>>(2196),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringSlice();

} // namespace

ManagedInlineBufferPtr<char> StringBufferSplit(const InlineBuffer<char>* s, char delimiter, int k) {
  BufferSink sink;
  splitString(sink, s, static_cast<Char1>(delimiter), k);
  return std::move(sink.result);
}

} // namespace vela::cuda
