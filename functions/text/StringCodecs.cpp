// String family: DECODE (text to bytes) and ENCODE (bytes to text) by a named format.
//
// The format operand is compared exactly, case included: "hex" is hexadecimal (encoding writes lower
// case digits, decoding takes both cases), "base64" is Base64 with padding, and every other format,
// "HEX" included, is the escape codec of StringUtils (printable ASCII kept, the backslash doubled,
// other bytes as a backslash and three octal digits).
//
// Results, all defined, none an error code: an absent operand gives the empty string; a text that is
// not valid in its format (an odd number of hex digits or a non-hex digit, malformed Base64, a
// backslash not followed by a backslash or three octal digits of value 0..255) decodes to the empty
// string. A result equal to the input (escape-encoding printable text without a backslash, decoding
// text without a backslash) hands the input on. Lengths are computed before the result is allocated.

#include "base/StringUtils.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace strops;
namespace su = vela::StringUtils;

enum class Format { Hex, Base64, Escape };

Format formatOf(StringCell format) {
  const std::string_view f = format->view();
  return f == "hex" ? Format::Hex : f == "base64" ? Format::Base64 : Format::Escape;
}

inline std::span<const unsigned char> bytesOf(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}
inline std::span<unsigned char> bytesOf(char* dst, std::size_t n) {
  return {reinterpret_cast<unsigned char*>(dst), n};
}

struct EncodeFunc {
  void operator()(EvalOutputString out, StringCell s, StringCell format) const {
    if (s == nullptr || format == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    switch (formatOf(format)) {
    case Format::Hex:
      return writeNew(out, 2 * static_cast<std::uint64_t>(text.size()), [&](char* dst) {
        su::binToHexBuffer(bytesOf(text), {dst, 2 * text.size()}, false);
      });
    case Format::Base64: {
      const std::size_t n = su::base64EncodedLength(text.size());
      return writeNew(out, n, [&](char* dst) { su::base64EncodeInto(bytesOf(text), {dst, n}); });
    }
    default: {
      const std::size_t n = su::escEncodedLength(text);
      if (n == text.size())
        return out.writeInput(s);
      return writeNew(out, n, [&](char* dst) { su::encodeEscInto(text, {dst, n}); });
    }
    }
  }
};

struct DecodeFunc {
  void operator()(EvalOutputString out, StringCell s, StringCell format) const {
    if (s == nullptr || format == nullptr)
      return writeEmpty(out);
    const std::string_view text = s->view();
    switch (formatOf(format)) {
    case Format::Hex: {
      if (text.size() % 2 != 0)
        return writeEmpty(out);
      // Decoded into the result directly; a bad digit found on the way gives the empty string instead.
      ManagedInlineBufferPtr<char> buffer(text.size() / 2);
      if (!su::hexToBinBuffer(text, bytesOf(buffer->data(), text.size() / 2), true))
        return writeEmpty(out);
      return out.write(buffer);
    }
    case Format::Base64: {
      const std::optional<std::size_t> n = su::base64DecodedLength(text);
      if (!n)
        return writeEmpty(out);
      return writeNew(out, *n, [&](char* dst) { su::base64DecodeInto(text, bytesOf(dst, *n)); });
    }
    default: {
      const std::optional<std::size_t> n = su::escDecodedLength(text);
      if (!n)
        return writeEmpty(out);
      if (*n == text.size())
        return out.writeInput(s);
      return writeNew(out, *n, [&](char* dst) { su::decodeEscInto(text, bytesOf(dst, *n)); });
    }
    }
  }
};

bool registerStringCodecs() {
  const OpRegistration ops[] = {
      opEntry<StringResultOp<DecodeFunc, StringCell, StringCell>>(1603),
      opEntry<StringResultOp<EncodeFunc, StringCell, StringCell>>(1604),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringCodecs();

} // namespace

} // namespace vela::cuda
