#pragma once
// Conversions between numbers and their text, shared by the casts between charN cells and the other
// types, by the charN functions that read or write numbers, and by the heap-string casts.
//
// Every reader works on text in reading order through a small view: ForwardText over a pointer and a
// length (heap strings, scratch buffers), or CellText walking a charN cell in place from its top byte
// down. A NUL byte is never a digit, sign or marker, so a reader stops at the first NUL of a cell and
// never looks past the cell's N bytes.
//
// Writers of integers produce the characters last-first (least significant digit first), which is the
// memory order of the charN layout, and place them at the top of the cell in one copy.
//
// Text that does not fit a cell is cut to the cell's first N characters, as every charN operation cuts
// its results (a number's text is then its leading digits).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "base/DecimalText.h"
#include "base/Int128.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

/// The base prefixes the integer reader recognises after the optional '-'. Exactly these spellings:
/// hexadecimal takes 0x or 0X, octal and binary only the lower-case 0o and 0b, and the quoted forms an
/// upper-case letter (X'1F'); any other spelling is read as digits of the base and stops at the
/// letter, so "0B1" is 0 in base 10. The closing quote of a quoted form just ends the digits.
enum class IntPrefixes : std::uint8_t {
  None, // digits of the given base only
  Hex,  // 0x, 0X and X'..' switch to base 16
  All,  // 0x, 0X, X'..' (16), 0o, O'..' (8), 0b, B'..' (2)
};

namespace number_text {

/// Text in reading order over a pointer and a length.
struct ForwardText {
  const unsigned char* p;
  std::size_t n;
  unsigned char operator[](std::size_t i) const { return p[i]; }
  std::size_t size() const { return n; }
};
/// The characters of a charN cell, read downward from its top byte; size() is the width, and the
/// text ends at the first NUL.
struct CellText {
  const unsigned char* top;
  std::size_t n;
  unsigned char operator[](std::size_t i) const { return top[-static_cast<std::ptrdiff_t>(i)]; }
  std::size_t size() const { return n; }
};
/// The length of the text a view holds: a heap string's text is all its bytes (a NUL inside is a byte,
/// which no reader takes for a digit, sign, blank or marker); a cell's text ends at its first NUL.
inline std::size_t textLength(const ForwardText& t) {
  return t.n;
}
inline std::size_t textLength(const CellText& t) {
  std::size_t len = 0;
  while (len < t.n && t[len] != 0)
    ++len;
  return len;
}
template <class C>
inline CellText cellText(const C& cell) {
  return {charn::bytesOf(cell) + (sizeof(C) - 1), sizeof(C)};
}
inline ForwardText forwardText(const char* text, std::size_t len) {
  return {reinterpret_cast<const unsigned char*>(text), len};
}

/// Digit value of a byte: '0'-'9' are 0-9, letters of either case 10-35, every other byte 255.
struct DigitTable {
  unsigned char v[256];
  constexpr DigitTable() : v() {
    for (int c = 0; c < 256; ++c)
      v[c] = 255;
    for (int c = '0'; c <= '9'; ++c)
      v[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'a'; c <= 'z'; ++c)
      v[c] = v[c - 'a' + 'A'] = static_cast<unsigned char>(c - 'a' + 10);
  }
};
inline constexpr DigitTable kDigits{};

/// The unsigned type of the width of T (128 bits for the 128-bit integers).
template <class T, bool Wide = (sizeof(T) > 8)>
struct UnsignedOfImpl {
  using type = std::make_unsigned_t<T>;
};
template <class T>
struct UnsignedOfImpl<T, true> {
  using type = uint128_t;
};
template <class T>
using UnsignedOf = typename UnsignedOfImpl<T>::type;

/// Where the integer reader stopped, for callers that ask whether the whole text was a number.
struct IntTextEnd {
  std::size_t end = 0;    // index of the first character not read (after the sign, prefix and digits)
  std::size_t digits = 0; // digits of the base read after the prefix
  bool quoted = false;    // the base came from a quoted form (X'..', O'..', B'..'), whose quote is not read
};

/// The integer reader: an optional '-', a base prefix as `prefixes` allows, then digits of the base
/// (letters above 9, either case) up to the first byte that is not one. No blank is skipped and no '+'
/// is read (" 5" and "+5" are 0). Never fails: text without digits is 0. The value is accumulated modulo
/// 2^bits of T and negated after a '-', so a number too large for T keeps its low bits, as the casts between
/// integer widths do. Every digit is read, however long the text: one pass, nothing copied. When `end` is
/// given it receives where the reading stopped.
template <class T, class Text>
inline T readInt(const Text& t, unsigned base, IntPrefixes prefixes, IntTextEnd* end = nullptr) {
  using U = UnsignedOf<T>;
  const std::size_t n = t.size();
  std::size_t i = 0;
  const bool negative = n > 0 && t[0] == '-';
  i += negative;
  // Every prefix starts with '0', 'X', 'O' or 'B': one test keeps plain numbers off the prefix checks.
  if (prefixes != IntPrefixes::None && i + 1 < n) {
    const unsigned char c0 = t[i];
    if (c0 == '0' || c0 == 'X' || c0 == 'O' || c0 == 'B') {
      const unsigned char c1 = t[i + 1];
      const bool all = prefixes == IntPrefixes::All;
      const unsigned found = c1 == '\''               ? (c0 == 'X'          ? 16
                                                         : all && c0 == 'O' ? 8
                                                         : all && c0 == 'B' ? 2
                                                                            : 0)
                             : c0 != '0'              ? 0
                             : c1 == 'x' || c1 == 'X' ? 16
                             : all && c1 == 'o'       ? 8
                             : all && c1 == 'b'       ? 2
                                                      : 0;
      if (found != 0) {
        base = found;
        i += 2;
        if (end != nullptr)
          end->quoted = c1 == '\'';
      }
    }
  }
  const std::size_t firstDigit = i;
  U acc = 0;
  if (base == 10) { // the casts' base: a compare instead of the table, a constant multiplier
    for (; i < n; ++i) {
      const unsigned d = static_cast<unsigned>(t[i]) - '0';
      if (d > 9)
        break;
      acc = static_cast<U>(acc * 10u + static_cast<U>(d));
    }
  } else {
    for (; i < n; ++i) {
      const unsigned d = kDigits.v[t[i]];
      if (d >= base)
        break;
      acc = static_cast<U>(acc * static_cast<U>(base) + static_cast<U>(d));
    }
  }
  if (end != nullptr) {
    end->end = i;
    end->digits = i - firstDigit;
  }
  if (negative)
    acc = static_cast<U>(U(0) - acc);
  return static_cast<T>(acc);
}

/// Writes the decimal digits of v last-first from out[0]; returns their count (at least 1). Room for 20
/// (39 for the 128-bit form).
inline int writeDigitsLastFirst(std::uint64_t v, unsigned char* out) {
  return decimal_digits::writeLastFirst(v, reinterpret_cast<char*>(out));
}
inline int writeDigitsLastFirst(uint128_t v, unsigned char* out) {
  return decimal_digits::writeLastFirst(v, reinterpret_cast<char*>(out));
}

/// Text of `len` characters stored last-first (lastFirst[0] is the last character) in a buffer of
/// Room bytes, as a charN cell: the text at the top, cut to the first N characters when longer, the
/// rest zero.
template <class C, int Room>
inline C cellFromLastFirst(const unsigned char* lastFirst, int len) {
  constexpr int N = static_cast<int>(sizeof(C));
  C cell;
  unsigned char* b = charn::bytesOf(cell);
  if constexpr (N < Room) { // only here can the text be longer than the cell
    if (len >= N) {
      std::memcpy(b, lastFirst + (len - N), N);
      return cell;
    }
  }
  std::memset(b, 0, static_cast<std::size_t>(N - len));
  std::memcpy(b + (N - len), lastFirst, static_cast<std::size_t>(len));
  return cell;
}

/// Writes v in base 2..36 (digits above 9 upper-case), with '-' for negatives, last-first; returns the
/// length. Room for 129 characters.
template <class T>
inline int writeRadixLastFirst(T v, unsigned base, unsigned char* out) {
  using U = UnsignedOf<T>;
  bool negative = false;
  if constexpr (std::is_signed_v<T>)
    negative = v < 0;
  U m = negative ? static_cast<U>(U(0) - static_cast<U>(v)) : static_cast<U>(v);
  int n = 0;
  do {
    const auto d = static_cast<unsigned>(m % base);
    out[n++] = static_cast<unsigned char>(d < 10 ? '0' + d : 'A' + d - 10);
    m /= base;
  } while (m != 0);
  if (negative)
    out[n++] = '-';
  return n;
}

} // namespace number_text

// --- text to integers ------------------------------------------------------------------------------

/// Reads text in reading order as an integer of type T (see number_text::readInt). The casts from text
/// use base 10 with every prefix form.
template <class T>
inline T intCast(const char* text, std::size_t len, unsigned base = 10,
                 IntPrefixes prefixes = IntPrefixes::All, number_text::IntTextEnd* end = nullptr) {
  return number_text::readInt<T>(number_text::forwardText(text, len), base, prefixes, end);
}

/// intCast of the text of a charN cell, read in place (at most N characters).
template <class T, class C>
inline T charN_int_cast(const C& cell, unsigned base = 10, IntPrefixes prefixes = IntPrefixes::All) {
  return number_text::readInt<T>(number_text::cellText(cell), base, prefixes);
}

// --- integers to text ------------------------------------------------------------------------------

/// Decimal text of an integer (any width up to 128 bits, signed or unsigned), '-' before negatives, as a
/// charN cell; text longer than the cell is cut to its first N characters.
template <class C, class T>
inline C convert_int_types_to_charN(T v) {
  using U = number_text::UnsignedOf<T>;
  unsigned char buf[48];
  bool negative = false;
  if constexpr (std::is_signed_v<T>)
    negative = v < 0;
  const U m = negative ? static_cast<U>(U(0) - static_cast<U>(v)) : static_cast<U>(v);
  int n;
  if constexpr (sizeof(T) > 8)
    n = number_text::writeDigitsLastFirst(static_cast<uint128_t>(m), buf);
  else
    n = number_text::writeDigitsLastFirst(static_cast<std::uint64_t>(m), buf);
  if (negative)
    buf[n++] = '-';
  return number_text::cellFromLastFirst<C, sizeof buf>(buf, n);
}

/// The radix form: v in base 2..36, upper-case letters for digits above 9, '-' before negatives. A
/// base outside 2..36 gives the empty text.
template <class C, class T>
inline C convert_int_types_to_charN(T v, int base) {
  if (static_cast<unsigned>(base - 2) > 34u)
    return charn::empty<C>();
  unsigned char buf[136];
  const int n = number_text::writeRadixLastFirst(v, static_cast<unsigned>(base), buf);
  return number_text::cellFromLastFirst<C, sizeof buf>(buf, n);
}

/// Decimal text of an integer in reading order into out (room for 40 characters); returns the length.
template <class T>
inline int convert_int_types_to_text(T v, char* out) {
  const auto cell = convert_int_types_to_charN<fixed_array_t<64>>(v);
  return charn::toText(cell, out);
}

// --- text to floating point ------------------------------------------------------------------------

/// Reads text in reading order as a float or double: an optional '-', then the words "inf" or "nan" in
/// any case, or a decimal number (digits, an optional '.', an optional exponent) correctly rounded to
/// T; the first byte that does not continue the number ends it. No number (the empty text, a lone '-',
/// "abc") gives 0, signed by the '-'. No blanks are skipped and no '+' is read, as in the integer
/// reader. Text of any length is read in one pass without a copy: the digits beyond the ones that can
/// decide the rounding (a few hundred) are only looked at to see whether any is non-zero. When
/// `consumed` is given it receives the bytes the number took (sign included), 0 when there was none.
template <class T>
T doubleCast(const char* text, std::size_t len, std::size_t* consumed = nullptr);
extern template float doubleCast<float>(const char*, std::size_t, std::size_t*);
extern template double doubleCast<double>(const char*, std::size_t, std::size_t*);

/// doubleCast of the text of a charN cell.
template <class T, class C>
inline T charN_double_cast(const C& cell) {
  char text[sizeof(C)];
  const int len = charn::toText(cell, text);
  return doubleCast<T>(text, static_cast<std::size_t>(len));
}

// --- floating point to text ------------------------------------------------------------------------

/// Writes the text of x into out (reading order, `width` bytes of room, 16 <= width <= 256, zeroed
/// first) by the fixed number-to-text rule; returns the length. A float is widened to double exactly
/// and written by the same rule: one rule, whose tolerance of 1e-10 is meant for double arithmetic.
///  - infinity of either sign is "inf", NaN "nan", zero of either sign "0.0";
///  - otherwise '-' for negatives and e = (int)log10(|x|), truncated toward zero;
///  - plain form for -13 < e < 13: the digits from the highest place down, '.' after the units digit;
///  - scientific form otherwise: mantissa m = |x| / 10^e' (e' = e, or e - 1 for negative e), a
///    mantissa above 9.9999999999 becoming 1 with e' + 1; five characters are kept for the exponent,
///    written 'e', a sign and its digits;
///  - digit = floor(rest / 10^k) (kept within 0..9 against the last bit of rounding); generation stops
///    once the rest is below the tolerance 1e-10 (1e-10 * 10^e for negative e in plain form) or the
///    room is used (tested first, so the place at the tolerance is cut, not raised: 1/3 gives
///    0.3333333333); otherwise, when the rest is within the tolerance of a whole unit of the place, the digit
///    is raised by one (carrying into the digits before it) and the number ends there, zeros filling the
///    places down to the units digit; a number that ends at its units digit gets ".0".
///  - A value just below a power of ten whose logarithm rounds up to the integer starts with a 0 digit
///    unless the carry catches it (the number still reads back as the same value).
int convert_num_to_text(double x, char* out, int width);

/// The number-to-text rule into a charN cell of 16 to 256 bytes.
template <class C, class T>
inline C convert_num_to_charN(T x) {
  static_assert(sizeof(C) >= 16, "number text needs a cell of 16 bytes at least");
  char text[sizeof(C)];
  const int len = convert_num_to_text(static_cast<double>(x), text, static_cast<int>(sizeof(C)));
  return charn::fromText<C>(text, static_cast<std::size_t>(len));
}

// --- text to bool ----------------------------------------------------------------------------------

/// True for "t", "y", "1", "on", "yes" and "true" in any case (the whole text); false for everything
/// else, the empty text included.
template <class Text>
inline bool textIsTrue(const Text& t) {
  std::size_t len = 0;
  while (len < t.size() && len < 5 && t[len] != 0)
    ++len;
  auto lower = [&](std::size_t i) { return static_cast<unsigned char>(t[i] | 0x20); };
  switch (len) {
  case 1:
    return lower(0) == 't' || lower(0) == 'y' || t[0] == '1';
  case 2:
    return lower(0) == 'o' && lower(1) == 'n';
  case 3:
    return lower(0) == 'y' && lower(1) == 'e' && lower(2) == 's';
  case 4:
    return lower(0) == 't' && lower(1) == 'r' && lower(2) == 'u' && lower(3) == 'e';
  default:
    return false;
  }
}
inline bool bool_from_text(const char* text, std::size_t len) {
  // A heap string is its bytes: a NUL inside is a byte, so the length decides.
  const number_text::ForwardText t = number_text::forwardText(text, len);
  if (len == 0 || len > 4)
    return false;
  for (std::size_t i = 0; i < len; ++i)
    if (t[i] == 0)
      return false;
  return textIsTrue(t);
}
template <class C>
inline bool charN_to_bool(const C& cell) {
  return textIsTrue(number_text::cellText(cell));
}

// --- IPv4 addresses --------------------------------------------------------------------------------

namespace number_text {
inline bool isBlank(unsigned char c) {
  return c == ' ' || (c >= 9 && c <= 13);
}
/// The dotted-quad walk: true when the text (textLength: a cell ends at its first NUL) is four groups
/// of decimal digits of value 0..255 separated by three dots, blanks allowed before a group's digits and
/// after them; the address (first group most significant) goes to *address.
template <class Text>
inline bool readIpv4(const Text& t, std::uint32_t* address) {
  const std::size_t len = textLength(t);
  if (len < 7)
    return false;
  std::uint32_t value = 0, group = 0;
  int dots = 0;
  bool digits = false, blankAfterDigits = false;
  for (std::size_t i = 0; i < len; ++i) {
    const unsigned char c = t[i];
    if (c == '.') {
      if (!digits || group > 255 || dots == 3)
        return false;
      value = value << 8 | group;
      ++dots;
      group = 0;
      digits = blankAfterDigits = false;
    } else if (c >= '0' && c <= '9') {
      if (blankAfterDigits)
        return false;
      digits = true;
      group = group * 10 + (c - '0');
      if (group > 256)
        group = 256; // stays "above 255" without overflowing on long digit runs
    } else if (isBlank(c)) {
      blankAfterDigits = digits;
    } else {
      return false;
    }
  }
  if (dots != 3 || !digits || group > 255)
    return false;
  *address = value << 8 | group;
  return true;
}
/// Whether the text (textLength) is a decimal number literal: optional leading spaces (byte 32), an
/// optional '+' or '-', then a digit or a '.' followed by a digit; then digits, at most one '.' (not
/// after the exponent), at most one exponent marker 'e' or 'E', a sign only directly after the marker;
/// then optionally spaces up to the end. A text that is empty, only spaces, a lone sign, or ends at the
/// exponent marker itself is not one; a sign after the marker with no digit after it is accepted.
template <class Text>
inline bool isNumericLiteral(const Text& t) {
  const std::size_t n = textLength(t);
  auto at = [&](std::size_t i) -> int { return i < n ? t[i] : -1; }; // -1: past the end
  auto digit = [](int c) { return c >= '0' && c <= '9'; };
  auto exponent = [](int c) { return c == 'e' || c == 'E'; };
  std::size_t i = 0;
  while (at(i) == ' ')
    ++i;
  if (at(i) < 0)
    return false;
  if (at(i) == '+' || at(i) == '-')
    ++i;
  bool dot = false, marker = false;
  if (digit(at(i))) {
    ++i;
  } else if (at(i) == '.' && digit(at(i + 1))) {
    dot = true;
    i += 2;
  } else {
    return false;
  }
  for (; at(i) >= 0 && at(i) != ' '; ++i) {
    const int c = at(i);
    if (digit(c))
      continue;
    if (c == '.') {
      if (dot || marker)
        return false;
      dot = true;
    } else if (exponent(c)) {
      if (marker)
        return false;
      marker = true;
    } else if (c == '+' || c == '-') {
      if (!exponent(at(i - 1)))
        return false;
    } else {
      return false;
    }
  }
  if (exponent(at(i - 1)))
    return false;
  while (at(i) == ' ')
    ++i;
  return at(i) < 0;
}

} // namespace number_text

/// Whether the text (reading order) is a dotted-quad IPv4 address: at least 7 characters, four groups of
/// digits 0..255 and three dots; blanks (space, 9-13) may precede a group's digits and follow them.
inline bool is_ipv4(const char* text, std::size_t len) {
  std::uint32_t a;
  return number_text::readIpv4(number_text::forwardText(text, len), &a);
}
/// The address of a dotted quad as its 32-bit value, first octet most significant; 0 for text that
/// is_ipv4 refuses. The octets are the decimal values of the groups' digits.
inline std::int32_t ipv4Cast(const char* text, std::size_t len) {
  std::uint32_t a = 0;
  return number_text::readIpv4(number_text::forwardText(text, len), &a) ? static_cast<std::int32_t>(a) : 0;
}

/// The dotted quad of an address, first octet most significant, into out (reading order, room for 15
/// characters); returns the length.
int ipv4_to_text(std::int32_t address, char* out);

// --- UUIDs -----------------------------------------------------------------------------------------

/// The 8-4-4-4-12 text of a UUID: the 32 hexadecimal digits of the 16 bytes read as a little-endian
/// 128-bit number, most significant first, lower case; into out (reading order, 36 characters).
void uuid_to_text(const unsigned char* bytes16, char* out);
/// Reads the 36-character 8-4-4-4-12 form (hexadecimal digits of either case, '-' at 8, 13, 18 and
/// 23, nothing else) into 16 bytes; false and nothing written for any other text.
bool uuid_from_text(const char* text, std::size_t len, unsigned char* bytes16);

} // namespace vela::cuda
