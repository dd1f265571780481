#include "base/DecimalText.h"

namespace vela {

std::string decimal_as_string(int128_t unscaled, int scale) {
  const bool negative = unscaled < 0;
  // The magnitude is taken in unsigned arithmetic so that the 128-bit minimum has one too.
  uint128_t magnitude =
      negative ? uint128_t(0) - static_cast<uint128_t>(unscaled) : static_cast<uint128_t>(unscaled);
  std::string digits; // least significant first
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);

  std::string text;
  if (negative)
    text.push_back('-');
  if (scale <= 0) {
    text.append(digits.rbegin(), digits.rend());
    if (scale < 0 && unscaled != 0)
      text.append(static_cast<std::size_t>(-scale), '0');
    return text;
  }
  const auto fraction = static_cast<std::size_t>(scale);
  if (digits.size() <= fraction)
    digits.resize(fraction + 1, '0'); // leading zeros up to "0.", counted from the least significant
  text.append(digits.rbegin(), digits.rend() - static_cast<std::ptrdiff_t>(fraction));
  text.push_back('.');
  text.append(digits.rend() - static_cast<std::ptrdiff_t>(fraction), digits.rend());
  return text;
}

} // namespace vela
