#include "base/StringUtils.h"

#include <array>
#include <cstdint>

namespace vela::StringUtils {

namespace {

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a hexadecimal digit, or -1.
int hexValue(unsigned char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  const unsigned char lower = c | 32;
  if (lower >= 'a' && lower <= 'f')
    return lower - 'a' + 10;
  return -1;
}

// Value of a Base64 character, or -1 (also for "=").
constexpr std::array<signed char, 256> makeBase64Values() {
  std::array<signed char, 256> v{};
  for (auto& x : v)
    x = -1;
  for (int i = 0; i < 64; ++i)
    v[static_cast<unsigned char>(kBase64[i])] = static_cast<signed char>(i);
  return v;
}
constexpr std::array<signed char, 256> kBase64Values = makeBase64Values();

bool isPrintableKept(unsigned char c) {
  return c >= 32 && c <= 126 && c != '\\';
}
bool isOctal(unsigned char c) {
  return c >= '0' && c <= '7';
}

} // namespace

void binToHexBuffer(std::span<const unsigned char> in, std::span<char> out, bool upperCase) {
  const char* digits = upperCase ? kUpperDigits : kLowerDigits;
  for (std::size_t i = 0; i < in.size(); ++i) {
    out[2 * i] = digits[in[i] >> 4];
    out[2 * i + 1] = digits[in[i] & 15];
  }
}

bool hexToBinBuffer(std::string_view hex, std::span<unsigned char> out, bool strict) {
  if (strict && hex.size() % 2 != 0)
    return false;
  const std::size_t n = hex.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    const int hi = hexValue(static_cast<unsigned char>(hex[2 * i]));
    const int lo = hexValue(static_cast<unsigned char>(hex[2 * i + 1]));
    if (hi < 0 || lo < 0)
      return false;
    out[i] = static_cast<unsigned char>(hi << 4 | lo);
  }
  return true;
}

std::size_t base64EncodedLength(std::size_t n) {
  return (n + 2) / 3 * 4;
}

void base64EncodeInto(std::span<const unsigned char> in, std::span<char> out) {
  std::size_t i = 0, o = 0;
  for (; i + 3 <= in.size(); i += 3, o += 4) {
    const std::uint32_t v = std::uint32_t(in[i]) << 16 | std::uint32_t(in[i + 1]) << 8 | in[i + 2];
    out[o] = kBase64[v >> 18];
    out[o + 1] = kBase64[(v >> 12) & 63];
    out[o + 2] = kBase64[(v >> 6) & 63];
    out[o + 3] = kBase64[v & 63];
  }
  const std::size_t rest = in.size() - i;
  if (rest == 0)
    return;
  const std::uint32_t v = std::uint32_t(in[i]) << 16 | (rest == 2 ? std::uint32_t(in[i + 1]) << 8 : 0);
  out[o] = kBase64[v >> 18];
  out[o + 1] = kBase64[(v >> 12) & 63];
  out[o + 2] = rest == 2 ? kBase64[(v >> 6) & 63] : '=';
  out[o + 3] = '=';
}

std::optional<std::size_t> base64DecodedLength(std::string_view text) {
  std::size_t n = text.size();
  if (n % 4 == 0 && n > 0) { // up to two "=" close the last group
    std::size_t pad = 0;
    while (pad < 2 && text[n - 1 - pad] == '=')
      ++pad;
    n -= pad;
  }
  if (n % 4 == 1)
    return std::nullopt;
  for (std::size_t i = 0; i < n; ++i)
    if (kBase64Values[static_cast<unsigned char>(text[i])] < 0)
      return std::nullopt;
  return n / 4 * 3 + (n % 4 == 0 ? 0 : n % 4 - 1);
}

void base64DecodeInto(std::string_view text, std::span<unsigned char> out) {
  std::uint32_t acc = 0;
  int bits = 0;
  std::size_t o = 0;
  for (char c : text) {
    const int v = kBase64Values[static_cast<unsigned char>(c)];
    if (v < 0)
      break; // the padding
    acc = (acc << 6 | static_cast<std::uint32_t>(v)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      if (o < out.size())
        out[o++] = static_cast<unsigned char>(acc >> bits);
    }
  }
}

std::string base64EncodeSimple(std::string_view bytes) {
  std::string out(base64EncodedLength(bytes.size()), '\0');
  base64EncodeInto({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, out);
  return out;
}

std::optional<std::string> base64DecodeSimple(std::string_view text) {
  const std::optional<std::size_t> n = base64DecodedLength(text);
  if (!n)
    return std::nullopt;
  std::string out(*n, '\0');
  base64DecodeInto(text, {reinterpret_cast<unsigned char*>(out.data()), out.size()});
  return out;
}

std::size_t escEncodedLength(std::string_view bytes) {
  std::size_t n = 0;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    n += isPrintableKept(c) ? 1 : c == '\\' ? 2 : 4;
  }
  return n;
}

void encodeEscInto(std::string_view bytes, std::span<char> out) {
  std::size_t o = 0;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (isPrintableKept(c)) {
      out[o++] = ch;
    } else if (c == '\\') {
      out[o++] = '\\';
      out[o++] = '\\';
    } else {
      out[o++] = '\\';
      out[o++] = static_cast<char>('0' + (c >> 6));
      out[o++] = static_cast<char>('0' + ((c >> 3) & 7));
      out[o++] = static_cast<char>('0' + (c & 7));
    }
  }
}

std::optional<std::size_t> escDecodedLength(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++n) {
    if (text[i] != '\\') {
      ++i;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      i += 2;
      continue;
    }
    if (i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
        isOctal(static_cast<unsigned char>(text[i + 2])) &&
        isOctal(static_cast<unsigned char>(text[i + 3]))) {
      i += 4;
      continue;
    }
    return std::nullopt;
  }
  return n;
}

void decodeEscInto(std::string_view text, std::span<unsigned char> out) {
  std::size_t o = 0;
  for (std::size_t i = 0; i < text.size() && o < out.size();) {
    if (text[i] != '\\') {
      out[o++] = static_cast<unsigned char>(text[i++]);
    } else if (text[i + 1] == '\\') {
      out[o++] = '\\';
      i += 2;
    } else {
      out[o++] = static_cast<unsigned char>((text[i + 1] - '0') << 6 | (text[i + 2] - '0') << 3 |
                                            (text[i + 3] - '0'));
      i += 4;
    }
  }
}

std::string encodeEsc(std::string_view bytes) {
  std::string out(escEncodedLength(bytes), '\0');
  encodeEscInto(bytes, out);
  return out;
}

std::optional<std::string> decodeEsc(std::string_view text) {
  const std::optional<std::size_t> n = escDecodedLength(text);
  if (!n)
    return std::nullopt;
  std::string out(*n, '\0');
  decodeEscInto(text, {reinterpret_cast<unsigned char*>(out.data()), out.size()});
  return out;
}

std::string removeQuotes(std::string_view text) {
  if (text.size() < 2 || (text.front() != '"' && text.front() != '\'') || text.back() != text.front())
    return std::string(text);
  const char q = text.front();
  const std::string_view inner = text.substr(1, text.size() - 2);
  std::string out;
  out.reserve(inner.size());
  for (std::size_t i = 0; i < inner.size(); ++i) {
    out.push_back(inner[i]);
    if (inner[i] == q && i + 1 < inner.size() && inner[i + 1] == q)
      ++i;
  }
  return out;
}

} // namespace vela::StringUtils
