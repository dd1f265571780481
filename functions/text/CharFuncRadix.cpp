// CHAR_IS_NUMERIC, TO_BINARY, TO_OCT, TO_HEX and SIZE_PRETTY.

#include "functions/text/CharFuncRadix.h"

#include <cstring>

#include "functions/text/CharFuncShared.h"
#include "functions/text/NumberText.h"

namespace vela::cuda {

using namespace charfunc;

bool charN_is_numeric(const char* s, int width) {
  const number_text::CellText text{reinterpret_cast<const unsigned char*>(s) + (width - 1),
                                   static_cast<std::size_t>(width)};
  return number_text::isNumericLiteral(text);
}

void charN_to_radix(char* out, int width, std::int64_t v, int radix, unsigned digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  // The magnitude in unsigned arithmetic, exact for the most negative value too.
  std::uint64_t m = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  const auto base = static_cast<std::uint64_t>(radix);
  char reversed[64]; // least significant digit first; 64 binary digits at most
  unsigned count = 0;
  do {
    reversed[count++] = kDigits[m % base];
    m /= base;
  } while (m != 0);
  char text[256];
  int n = 0;
  if (v < 0)
    text[n++] = '-';
  for (unsigned z = count; z < digits && n < width; ++z)
    text[n++] = '0';
  for (unsigned j = count; j-- > 0 && n < width;)
    text[n++] = reversed[j];
  packText(out, width, text, n);
}

namespace {

// Suffixes of SIZE_PRETTY by unit (0 bytes, 1 KB .. 5 PB), each stored with its bytes reversed in a
// 6-byte slot so that it copies straight into the reversed cell layout.
constexpr char unit_chars[6][6] = {{'s', 'e', 't', 'y', 'b', ' '},
                                   {'B', 'K', ' '},
                                   {'B', 'M', ' '},
                                   {'B', 'G', ' '},
                                   {'B', 'T', ' '},
                                   {'B', 'P', ' '}};
constexpr int unit_len[6] = {6, 3, 3, 3, 3, 3};

} // namespace

void size_pretty(char* out16, std::int64_t bytes) {
  constexpr int kWidth = 16;
  const std::uint64_t m =
      bytes < 0 ? 0 - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
  int unit = 0;
  std::uint64_t number = m;
  if (m > 999) {
    // One extra bit below the unit is kept for rounding half up. The largest result, 2^63 bytes, is
    // 8192 PB, so the text never exceeds "-8192 PB".
    std::uint64_t q = m >> 9;
    unit = 1;
    while (unit < 5 && q > 1998) {
      q >>= 10;
      ++unit;
    }
    number = (q + 1) >> 1;
  }
  char text[kWidth];
  int n = 0;
  if (bytes < 0)
    text[n++] = '-';
  char reversed[20];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0)
    text[n++] = reversed[--count];
  packText(out16, kWidth, text, n);
  const int total = n + unit_len[unit];
  std::memcpy(out16 + (kWidth - total), unit_chars[unit], static_cast<std::size_t>(unit_len[unit]));
}

namespace {

template <std::size_t N>
struct IsNumericFunc {
  std::uint8_t operator()(const Cell<N>& s) const { return charN_is_numeric(rawOf(s), static_cast<int>(N)); }
};

// The digit count is an unsigned 16-bit operand held in an i16 cell.
template <int Radix, std::size_t R>
struct ToRadixFunc {
  Cell<R> operator()(std::int64_t v, std::int16_t digits) const {
    Cell<R> out;
    charN_to_radix(rawOf(out), static_cast<int>(R), v, Radix, static_cast<std::uint16_t>(digits));
    return out;
  }
};

struct SizePrettyFunc {
  Cell<16> operator()(std::int64_t bytes) const {
    Cell<16> out;
    size_pretty(rawOf(out), bytes);
    return out;
  }
};

template <std::size_t N>
using IsNumericOp = ElementwiseOp<IsNumericFunc<N>, std::uint8_t, Cell<N>>;
template <int Radix, std::size_t R>
using ToRadixOp = ElementwiseOp<ToRadixFunc<Radix, R>, Cell<R>, std::int64_t, std::int16_t>;

bool registerRadix() {
  std::vector<OpRegistration> ops;
  addWideWidths<IsNumericOp>(ops, 1801);
  ops.push_back(opEntry<ToRadixOp<2, 64>>(1808));
  ops.push_back(opEntry<ToRadixOp<16, 16>>(1811));
  ops.push_back(opEntry<ToRadixOp<8, 32>>(1812));
  ops.push_back(opEntry<ElementwiseOp<SizePrettyFunc, Cell<16>, std::int64_t>>(1815));
  return registerOps(OpFamily::Char, ops);
}

[[maybe_unused]] const bool kRegistered = registerRadix();

} // namespace

} // namespace vela::cuda
