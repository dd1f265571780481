#pragma once
// Helpers of the date/time function tests: values from their text ("2024-01-31 10:00:00.000"), with the
// epoch milliseconds computed by an independent day count, so that expected values are stated as text
// and never derived from the routines under test.
#include <cstdio>
#include <string>

#include "base/Calendar.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test::datetime {

using Name = vela::cuda::fixed_array_t<16>;

// Days from 1970-01-01 to y-m-d (proleptic Gregorian, eras of 400 years from 1 March of year 0).
inline long daysFromCivil(long y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

/// Epoch milliseconds of "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" or with ".mmm".
inline long ms(const char* text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, f = 0;
  std::sscanf(text, "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &f);
  return daysFromCivil(y, mo, d) * 86400000L + ((h * 60L + mi) * 60 + s) * 1000 + f;
}
/// The packed datetime of a text (fields from the milliseconds).
inline long dt(const char* text) {
  return vela::calendar::create_timestamp_from_ms2(ms(text), nullptr);
}
/// The packed date of "YYYY-MM-DD".
inline int date(const char* text) {
  int y = 0, mo = 0, d = 0;
  std::sscanf(text, "%d-%d-%d", &y, &mo, &d);
  return vela::calendar::create_gdate(y, mo, d);
}
/// The packed time of "HH:MM:SS.mmm".
inline int time(const char* text) {
  int h = 0, mi = 0, s = 0, f = 0;
  std::sscanf(text, "%d:%d:%d.%d", &h, &mi, &s, &f);
  return vela::calendar::packTime(h, mi, s, f);
}
/// A name cell: the text in the reversed fixed-width layout.
inline Name name(const char* text) {
  return packed<Name>(text);
}

} // namespace quarry::test::datetime
