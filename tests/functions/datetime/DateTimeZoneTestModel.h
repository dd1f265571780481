#pragma once
// An independent model of the packed calendar layouts for the tests of the zone, clock and cast ops:
// civil dates to day counts by the era-based days-from-civil formula, and the packing written out bit
// by bit, so that expected cells never come from the calendar routines under test.
#include <cstdint>

namespace quarry::test::dtmodel {

/// Days from 1970-01-01 to a proleptic Gregorian date (any year).
constexpr long daysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

constexpr long msOf(long y, unsigned mo, unsigned d, long h = 0, long mi = 0, long s = 0, long ms = 0) {
  return ((daysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60'000 + s * 1000 + ms;
}

constexpr int dayOfYear(long y, unsigned mo, unsigned d) {
  return static_cast<int>(daysFromCivil(y, mo, d) - daysFromCivil(y, 1, 1) + 1);
}
/// 1 = Sunday; 1970-01-01 was a Thursday (5).
constexpr int dayOfWeek(long y, unsigned mo, unsigned d) {
  const long k = (daysFromCivil(y, mo, d) + 4) % 7;
  return static_cast<int>(k < 0 ? k + 7 : k) + 1;
}
constexpr unsigned long yearBits(long y) {
  return y == 9999 ? 1023u : static_cast<unsigned long>(y - 1900) & 0x7FFu;
}

constexpr long dt(long y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0, unsigned s = 0,
                  unsigned ms = 0) {
  const unsigned long v = yearBits(y) << 53 | static_cast<unsigned long>(mo) << 49 |
                          static_cast<unsigned long>(d) << 44 | static_cast<unsigned long>(h) << 39 |
                          static_cast<unsigned long>(mi) << 33 | static_cast<unsigned long>(s) << 27 |
                          static_cast<unsigned long>(ms) << 17 |
                          static_cast<unsigned long>(dayOfYear(y, mo, d)) << 8 |
                          static_cast<unsigned long>(dayOfWeek(y, mo, d)) << 5;
  return static_cast<long>(v);
}

constexpr int date(long y, unsigned mo, unsigned d) {
  const unsigned v = static_cast<unsigned>(yearBits(y)) << 21 | mo << 17 | d << 12 |
                     static_cast<unsigned>(dayOfYear(y, mo, d)) << 3 |
                     static_cast<unsigned>(dayOfWeek(y, mo, d));
  return static_cast<int>(v);
}

constexpr int time(unsigned h, unsigned mi, unsigned s = 0, unsigned ms = 0) {
  return static_cast<int>(h << 26 | mi << 20 | s << 14 | ms << 4);
}

} // namespace quarry::test::dtmodel
