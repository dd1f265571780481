#pragma once
// Text codecs of the base library: hexadecimal, Base64 and a byte escaping, plus removal of the quotes
// around an identifier.
//
// Every codec comes in two forms: the buffer form (a length function, then a writer into a buffer of
// exactly that length), which callers that charge their results to a pool use so that a result is
// allocated once at its final size, and the "Simple" form that returns a std::string.
//
// Hexadecimal: two digits per byte, high nibble first; decoding takes both cases, encoding writes the
// case asked for.
//
// Base64: the standard alphabet (A-Z a-z 0-9 + /) with "=" padding. Encoding always pads to a multiple
// of four characters. Decoding accepts padded text and unpadded text (a final group of 2 or 3
// characters); it refuses any other byte (white space included), a final group of one character,
// padding anywhere but at the end of the last group, and more than two "=". Unused bits of the last
// character are ignored.
//
// Escape codec: printable ASCII (32..126) other than the backslash is kept; the backslash is written
// as two backslashes; every other byte as a backslash and three octal digits ("\012" for byte 10).
// Decoding reverses it: "\\" gives one backslash, a backslash and three octal digits of value 0..255
// give that byte, and every byte that is not a backslash is kept as it is (so any byte string that
// holds no backslash decodes to itself). Any other backslash sequence, including a backslash at the
// end, is malformed.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vela::StringUtils {

// --- hexadecimal ----------------------------------------------------------------------------------

/// Writes 2 x in.size() digits into out (which must hold that many).
void binToHexBuffer(std::span<const unsigned char> in, std::span<char> out, bool upperCase);

/// Reads the digit pairs of hex into out, which must hold hex.size() / 2 bytes. Returns false when a
/// digit is not hexadecimal, or, when `strict`, when hex has an odd number of digits (otherwise the
/// odd last digit is ignored). On false the contents of out are unspecified.
bool hexToBinBuffer(std::string_view hex, std::span<unsigned char> out, bool strict);

// --- Base64 ---------------------------------------------------------------------------------------

/// Characters of the padded encoding of n bytes: 4 x ceil(n / 3).
std::size_t base64EncodedLength(std::size_t n);
/// Writes the encoding of in into out (base64EncodedLength(in.size()) characters).
void base64EncodeInto(std::span<const unsigned char> in, std::span<char> out);
/// Bytes the text decodes to, or nullopt when it is not valid Base64 (rules above).
std::optional<std::size_t> base64DecodedLength(std::string_view text);
/// Writes the decoding of a text that base64DecodedLength accepted into out (that many bytes).
void base64DecodeInto(std::string_view text, std::span<unsigned char> out);

std::string base64EncodeSimple(std::string_view bytes);
/// The decoded bytes, or nullopt for malformed text.
std::optional<std::string> base64DecodeSimple(std::string_view text);

// --- escape codec ---------------------------------------------------------------------------------

std::size_t escEncodedLength(std::string_view bytes);
/// Writes the escaped form (escEncodedLength(bytes) characters) into out.
void encodeEscInto(std::string_view bytes, std::span<char> out);
/// Bytes the escaped text decodes to, or nullopt when it is malformed.
std::optional<std::size_t> escDecodedLength(std::string_view text);
/// Writes the decoding of a text that escDecodedLength accepted into out.
void decodeEscInto(std::string_view text, std::span<unsigned char> out);

std::string encodeEsc(std::string_view bytes);
/// The decoded bytes, or nullopt for malformed text.
std::optional<std::string> decodeEsc(std::string_view text);

// --- quotes ---------------------------------------------------------------------------------------

/// The text between a pair of enclosing quotes (both '"' or both '\''), with every doubled quote of
/// that kind inside turned back into one: the inverse of identifier quoting. A text that is not
/// enclosed in a matching pair (shorter than 2 bytes, or different or missing end bytes) is returned
/// as it is.
std::string removeQuotes(std::string_view text);

} // namespace vela::StringUtils
