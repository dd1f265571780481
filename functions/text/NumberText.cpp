#include "functions/text/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace vela::cuda {

namespace {

// 10^k for -340 <= k <= 340, each the double nearest to the exact power (what strtod gives for "1ek").
// Powers below about 1e-308 are subnormal or 0 and lose precision; the writer avoids dividing by them.
struct PowersOfTen {
  static constexpr int kMin = -340, kMax = 340;
  double v[kMax - kMin + 1];
  PowersOfTen() {
    for (int k = kMin; k <= kMax; ++k)
      v[k - kMin] = std::strtod(("1e" + std::to_string(k)).c_str(), nullptr);
  }
};
const PowersOfTen& powersOfTen() {
  static const PowersOfTen table;
  return table;
}
double pow10(int k) {
  return powersOfTen().v[k - PowersOfTen::kMin];
}

// |x| / 10^k, for the mantissa of the scientific form. A power below 1e-290 loses precision as a
// double (or is 0 past 1e-323), so the quotient is taken in two steps there.
double scaledDown(double x, int k) {
  if (k < -290)
    return (x * 1e300) / pow10(k + 300);
  return x / pow10(k);
}

bool ciAt(const char* text, std::size_t len, std::size_t i, char lower) {
  return i < len && static_cast<char>(text[i] | 0x20) == lower;
}

// The number-to-text writer: the characters go to out[pos ...] up to `limit`.
struct NumberWriter {
  char* out;
  int pos;
  int limit;
  int digitsStart;

  void put(char c) {
    if (pos < limit)
      out[pos++] = c;
  }
  // Adds one to the last digit written, carrying into the digits before it (the '.' is skipped).
  // Returns false when the carry passed the first digit, after inserting a '1' in front.
  bool carry() {
    for (int i = pos - 1; i >= digitsStart; --i) {
      if (out[i] == '.')
        continue;
      if (out[i] != '9') {
        ++out[i];
        return true;
      }
      out[i] = '0';
    }
    const int moved = pos < limit ? pos - digitsStart : pos - digitsStart - 1;
    std::memmove(out + digitsStart + 1, out + digitsStart, static_cast<std::size_t>(moved));
    out[digitsStart] = '1';
    pos = digitsStart + 1 + moved;
    return false;
  }
  // The number ended at place k: zeros for the places down to the units digit, then ".0" when it
  // ended at or above the units digit.
  void finish(int k) {
    for (int j = k - 1; j >= 0; --j)
      put('0');
    if (k >= 0) {
      put('.');
      put('0');
    }
  }
};

} // namespace

int convert_num_to_text(double x, char* out, int width) {
  std::memset(out, 0, static_cast<std::size_t>(width));
  auto word = [&](const char* w) {
    std::memcpy(out, w, 3);
    return 3;
  };
  if (std::isinf(x))
    return word("inf");
  if (std::isnan(x))
    return word("nan");
  if (x == 0)
    return word("0.0");

  NumberWriter w{out, 0, width, 0};
  if (x < 0) {
    w.put('-');
    x = -x;
  }
  w.digitsStart = w.pos;
  const int e = static_cast<int>(std::log10(x));
  const bool scientific = e >= 13 || e <= -13;
  int exponent = 0; // e' of the scientific form
  double rest = x, tolerance = 1e-10;
  int k = 0; // the place of the next digit (10^k)
  if (scientific) {
    exponent = e > 0 ? e : e - 1;
    rest = scaledDown(x, exponent);
    if (rest > 9.9999999999) {
      rest = 1;
      ++exponent;
    }
    w.limit = width - 5; // room for 'e', the sign and up to three digits
  } else {
    k = e > 0 ? e : 0;
    if (e < 0)
      tolerance *= pow10(e);
  }

  for (; w.pos < w.limit; --k) {
    const double p = pow10(k);
    const double q = std::floor(rest / p);
    const int d = q < 0 ? 0 : q > 9 ? 9 : static_cast<int>(q);
    rest -= d * p;
    if (rest < tolerance) {
      w.put(static_cast<char>('0' + d));
      w.finish(k);
      break;
    }
    if (p - rest < tolerance) {
      w.put(static_cast<char>('0' + d));
      if (!w.carry() && scientific) {
        // 9.99.. carried to 10: the mantissa is 1 at the next exponent.
        w.pos = w.digitsStart + 1;
        ++exponent;
        w.finish(0);
        break;
      }
      w.finish(k);
      break;
    }
    w.put(static_cast<char>('0' + d));
    if (k == 0)
      w.put('.');
  }

  if (scientific) {
    w.limit = width;
    w.put('e');
    w.put(exponent < 0 ? '-' : '+');
    unsigned char digits[8];
    const int n = number_text::writeDigitsLastFirst(static_cast<std::uint64_t>(std::abs(exponent)), digits);
    for (int i = n; i-- > 0;)
      w.put(static_cast<char>(digits[i]));
  }
  // Text after a carry into a full buffer may have left stale characters past pos.
  std::memset(out + w.pos, 0, static_cast<std::size_t>(width - w.pos));
  return w.pos;
}

namespace {

// Whether the decimal number in [p, end) (digits, an optional '.', an optional exponent, as from_chars
// read it) has its leading significant digit at a non-negative power of ten. from_chars refuses only
// results that round to infinity or to zero, which lie hundreds of powers of ten on either side, so
// this side decides which one it is. Counts saturate far beyond any double's exponent.
bool leadsAtOrAboveUnits(const char* p, const char* end) {
  constexpr long kCap = 1000000000L;
  bool found = false, point = false;
  long integerDigits = 0, fractionZeros = 0; // significant digits before the point; zeros after it
  for (; p < end && ((*p >= '0' && *p <= '9') || (*p == '.' && !point)); ++p) {
    if (*p == '.') {
      point = true;
    } else if (!point) {
      found = found || *p != '0';
      if (found && integerDigits < kCap)
        ++integerDigits;
    } else if (!found) {
      found = *p != '0';
      if (!found && fractionZeros < kCap)
        ++fractionZeros;
    }
  }
  if (!found)
    return false; // all zeros: from_chars does not refuse those
  long position = integerDigits > 0 ? integerDigits - 1 : -(fractionZeros + 1);
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative = p < end && *p == '-';
    p += p < end && (*p == '-' || *p == '+');
    long exponent = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
      exponent = exponent < kCap ? exponent * 10 + (*p - '0') : kCap;
    position += negative ? -exponent : exponent;
  }
  return position >= 0;
}

} // namespace

template <class T>
T doubleCast(const char* text, std::size_t len, std::size_t* consumed) {
  const bool negative = len > 0 && text[0] == '-';
  const std::size_t i = negative ? 1 : 0;
  std::size_t used = 0;
  T v = 0;
  if (ciAt(text, len, i, 'i') && ciAt(text, len, i + 1, 'n') && ciAt(text, len, i + 2, 'f')) {
    v = std::numeric_limits<T>::infinity();
    used = i + 3;
  } else if (ciAt(text, len, i, 'n') && ciAt(text, len, i + 1, 'a') && ciAt(text, len, i + 2, 'n')) {
    v = std::numeric_limits<T>::quiet_NaN();
    used = i + 3;
  } else if (i < len && text[i] != '-' && text[i] != '+') {
    // from_chars reads the decimal form only (no blanks, no hexadecimal) and rounds correctly; past
    // the digits that can decide the rounding it only notes whether a non-zero one follows, so a long
    // text costs one pass and no memory.
    const std::from_chars_result r = std::from_chars(text + i, text + len, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
      // Rounds to infinity or to zero (v is left as it was).
      v = leadsAtOrAboveUnits(text + i, r.ptr) ? std::numeric_limits<T>::infinity() : T(0);
      used = static_cast<std::size_t>(r.ptr - text);
    } else if (r.ec != std::errc()) {
      v = 0;
    } else {
      used = static_cast<std::size_t>(r.ptr - text);
    }
  }
  if (consumed != nullptr)
    *consumed = used;
  return negative ? -v : v;
}

template float doubleCast<float>(const char*, std::size_t, std::size_t*);
template double doubleCast<double>(const char*, std::size_t, std::size_t*);

int ipv4_to_text(std::int32_t address, char* out) {
  const auto a = static_cast<std::uint32_t>(address);
  int n = 0;
  for (int octet = 3; octet >= 0; --octet) {
    const unsigned v = (a >> (8 * octet)) & 255u;
    if (v >= 100)
      out[n++] = static_cast<char>('0' + v / 100);
    if (v >= 10)
      out[n++] = static_cast<char>('0' + v / 10 % 10);
    out[n++] = static_cast<char>('0' + v % 10);
    if (octet != 0)
      out[n++] = '.';
  }
  return n;
}

void uuid_to_text(const unsigned char* bytes16, char* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  int n = 0;
  for (int nibble = 31; nibble >= 0; --nibble) {
    const unsigned char byte = bytes16[nibble / 2];
    out[n++] = kHex[(nibble & 1) ? byte >> 4 : byte & 15];
    if (nibble == 24 || nibble == 20 || nibble == 16 || nibble == 12)
      out[n++] = '-';
  }
}

bool uuid_from_text(const char* text, std::size_t len, unsigned char* bytes16) {
  if (len != 36)
    return false;
  unsigned char nibbles[32];
  int n = 0;
  for (std::size_t i = 0; i < 36; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-')
        return false;
      continue;
    }
    const unsigned d = number_text::kDigits.v[c];
    if (d >= 16)
      return false;
    nibbles[n++] = static_cast<unsigned char>(d);
  }
  // nibbles[0] is the most significant of the little-endian 128-bit value: byte 15's high half.
  for (int b = 0; b < 16; ++b)
    bytes16[b] = static_cast<unsigned char>(nibbles[30 - 2 * b] << 4 | nibbles[31 - 2 * b]);
  return true;
}

} // namespace vela::cuda
