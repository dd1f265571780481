// The base library's text codecs: Base64 and hexadecimal against the published test vectors of their
// standard, malformed inputs refused, the escape codec round trip over every byte, quote removal.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "base/StringUtils.h"

using namespace vela::StringUtils;
using namespace std::string_literals;

namespace {

struct Vector {
  std::string bytes, base64, hex;
};
// The test vectors of the Base64 and Base16 encodings (RFC 4648, section 10).
const Vector kVectors[] = {{"", "", ""},
                           {"f", "Zg==", "66"},
                           {"fo", "Zm8=", "666F"},
                           {"foo", "Zm9v", "666F6F"},
                           {"foob", "Zm9vYg==", "666F6F62"},
                           {"fooba", "Zm9vYmE=", "666F6F6261"},
                           {"foobar", "Zm9vYmFy", "666F6F626172"}};

std::string hexOf(const std::string& bytes, bool upper) {
  std::string out(2 * bytes.size(), '?');
  binToHexBuffer({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, out, upper);
  return out;
}
std::optional<std::string> binOf(const std::string& hex, bool strict) {
  std::string out(hex.size() / 2, '?');
  if (!hexToBinBuffer(hex, {reinterpret_cast<unsigned char*>(out.data()), out.size()}, strict))
    return std::nullopt;
  return out;
}

TEST(StringUtils, PublishedVectors) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.bytes);
    EXPECT_EQ(base64EncodeSimple(v.bytes), v.base64);
    EXPECT_EQ(base64EncodedLength(v.bytes.size()), v.base64.size());
    EXPECT_EQ(base64DecodeSimple(v.base64), v.bytes);
    EXPECT_EQ(hexOf(v.bytes, true), v.hex);
    EXPECT_EQ(binOf(v.hex, true), v.bytes);
    std::string lower = v.hex;
    for (char& c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(hexOf(v.bytes, false), lower);
    EXPECT_EQ(binOf(lower, true), v.bytes);
  }
  // Unpadded final groups decode like padded ones; bytes above 127 and the last two alphabet letters.
  EXPECT_EQ(base64DecodeSimple("Zg"), "f");
  EXPECT_EQ(base64DecodeSimple("Zm8"), "fo");
  EXPECT_EQ(base64EncodeSimple("\xfb\xff\xbf"s), "+/+/");
  EXPECT_EQ(base64DecodeSimple("+/+/"), "\xfb\xff\xbf"s);
}

TEST(StringUtils, MalformedInputIsRefused) {
  for (const char* bad : {"Z", "Zm9vY", "Zg=", "Z===", "====", "Zg==Zg==", "Zm 9v", "Zm9v\n", "Zm-v", "Z=g="})
    EXPECT_EQ(base64DecodeSimple(bad), std::nullopt) << bad;
  EXPECT_EQ(base64DecodedLength("Zm9vYg=="), 4u);
  EXPECT_EQ(binOf("abc", true), std::nullopt);
  EXPECT_EQ(binOf("abc", false), "\xab"s); // the odd digit ignored
  EXPECT_EQ(binOf("0g", true), std::nullopt);
  EXPECT_EQ(binOf("g0", false), std::nullopt);
  for (const char* bad : {"\\", "a\\", "\\x41", "\\400", "\\12", "\\1a7", "\\\\\\"})
    EXPECT_EQ(decodeEsc(bad), std::nullopt) << bad;
}

TEST(StringUtils, EscapeCodecKeepsPrintableTextAndRoundTripsEveryByte) {
  EXPECT_EQ(encodeEsc("Hello, world ~!"), "Hello, world ~!");
  EXPECT_EQ(encodeEsc("a\\b\n\x80\0"s), "a\\\\b\\012\\200\\000");
  EXPECT_EQ(decodeEsc("a\\\\b\\012\\200\\000\\377"), "a\\b\n\x80\0\xff"s);
  EXPECT_EQ(decodeEsc("raw\n\x90 kept"), "raw\n\x90 kept"); // bytes other than the backslash pass
  std::string all;
  for (int c = 0; c < 256; ++c)
    all.push_back(static_cast<char>(c));
  EXPECT_EQ(escEncodedLength(all), encodeEsc(all).size());
  EXPECT_EQ(decodeEsc(encodeEsc(all)), all);
  std::mt19937 gen(7);
  for (int n = 0; n < 200; ++n) {
    std::string s(gen() % 40, ' ');
    for (char& c : s)
      c = static_cast<char>(gen());
    EXPECT_EQ(decodeEsc(encodeEsc(s)), s);
    EXPECT_EQ(base64DecodeSimple(base64EncodeSimple(s)), s);
    EXPECT_EQ(binOf(hexOf(s, n % 2 == 0), true), s);
  }
}

TEST(StringUtils, RemoveQuotes) {
  const std::pair<std::string, std::string> rows[] = {{"\"my col\"", "my col"},
                                                      {"\"a\"\"b\"", "a\"b"},
                                                      {"'it''s'", "it's"},
                                                      {"\"\"", ""},
                                                      {"\"\"\"\"", "\""},
                                                      {"plain", "plain"},
                                                      {"\"open", "\"open"},
                                                      {"'mixed\"", "'mixed\""},
                                                      {"\"", "\""},
                                                      {"", ""},
                                                      {"'a\"\"b'", "a\"\"b"}};
  for (const auto& [in, out] : rows)
    EXPECT_EQ(removeQuotes(in), out) << in;
}

} // namespace
