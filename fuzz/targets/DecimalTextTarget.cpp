// Decimal text: the exact-decimal parser at a precision and scale taken from the first input byte, in
// both its forms (heap text and fixed-width cell) and both widths, and the program assembler's plain
// decimal reader. Accepted values print and read back to themselves; the two forms agree on text
// without NUL bytes; the plain reader, whose grammar is a subset of the parser's, agrees with it.
#include <exception>
#include <string>

#include "TypeManagement/ExactNumericType.h"
#include "base/DecimalText.h"
#include "base/ProgramBuilder.h"
#include "base/VelaException.h"
#include "fuzz/FuzzTarget.h"

namespace quarry::fuzz {

namespace {

struct Parsed {
  bool refused = false;
  vela::int128_t value = 0;
};

template <class T, bool HeapText>
Parsed parse(const char* text, std::size_t length, int precision, int scale, std::string_view input) {
  Parsed p;
  bool error = false;
  try {
    const T v = vela::ExactNumericType<T>::template convert_charN1<HeapText>(
        text, length, static_cast<std::uint8_t>(precision), static_cast<std::int8_t>(scale), &error);
    p.value = vela::ExactNumericType<T>(v).toInt128();
    if (error)
      fail("the decimal parser flags an error and returns", input);
  } catch (const vela::VelaException& e) {
    if (e.whatCode() != static_cast<int>(vela::VelaWhat::Evaluation) || !error)
      fail(std::string("the decimal parser refuses without its error flag or code: ") + e.what(), input);
    p.refused = true;
  }
  return p;
}

template <class T>
void checkWidth(std::string_view text, int precision, int scale, std::string_view input) {
  const Parsed heap = parse<T, true>(text.data(), text.size(), precision, scale, input);
  if (!heap.refused) {
    // The printed value reads back to itself. The precision bounds the digits of the text before it is
    // rounded to the scale, and the rounding may carry into one more ("9.96" as DECIMAL(2, 1) is 10.0),
    // so the printed value is read without a declared precision.
    const std::string printed = vela::decimal_as_string(heap.value, scale);
    const Parsed again = parse<T, true>(printed.data(), printed.size(), 0, scale, input);
    if (again.refused || again.value != heap.value)
      fail("decimal text '" + printed + "' does not read back to its value", input);
  }
  // The cell form reads the same characters: equal outcomes for text without NUL that fits a cell.
  if (text.size() <= 256 && text.find('\0') == std::string_view::npos) {
    unsigned char cell[256];
    packCell(text, cell, sizeof cell);
    const Parsed fixed =
        parse<T, false>(reinterpret_cast<const char*>(cell), sizeof cell, precision, scale, input);
    if (fixed.refused != heap.refused || fixed.value != heap.value)
      fail("the cell and heap forms of the decimal parser disagree", input);
  }
}

} // namespace

int decimalText(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  if (size == 0)
    return 0;
  // Byte 0: the scale (0..18) and whether a precision is declared; the precision is at least the scale.
  const int scale = bytes[0] % 19;
  const bool declared = (bytes[0] & 0x80) != 0;
  const std::string_view text = input.substr(1);
  checkWidth<long>(text, declared ? std::max(scale, 1 + bytes[0] % 18) : 0, scale, input);
  checkWidth<vela::Int96>(text, declared ? std::max(scale, 1 + bytes[0] % 28) : 0, scale, input);

  // The assembler's plain reader: sign, digits, one point, no more fractional digits than the scale.
  vela::int128_t plain = 0;
  try {
    plain = vela::ParserUtils::parseUnscaledDecimal(text, scale);
  } catch (const vela::VelaException&) {
    return 0;
  } catch (const std::exception& e) {
    fail(std::string("the plain decimal reader let escape: ") + e.what(), input);
  }
  const std::string printed = vela::decimal_as_string(plain, scale);
  if (vela::ParserUtils::parseUnscaledDecimal(printed, scale) != plain)
    fail("plain decimal text '" + printed + "' does not read back to its value", input);
  const Parsed full = parse<vela::Int96, true>(text.data(), text.size(), 0, scale, input);
  if (full.refused || full.value != plain)
    fail("the plain reader and the decimal parser disagree", input);
  return 0;
}

} // namespace quarry::fuzz
