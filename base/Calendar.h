#pragma once
// Calendar arithmetic shared by every date and time operation: the millisecond timestamp, the packed
// date, time and datetime layouts, conversions between them, field validation, the ISO-8601
// week-numbering helpers and the canonical text of dates and times.
//
// Calendar: proleptic Gregorian. Day ordinals count from 0001-01-01 = 1 (a Monday); 1970-01-01 is
// 719163. Day of week: 1 = Sunday .. 7 = Saturday. All values are wall-clock values without a zone.
//
// Packed layouts (bit 0 least significant). The year field is year - 1900 in 11 signed bits, except
// that the field value 1023 stands for the year 9999. Fields run from most to least significant, so
// two packed values of one kind compare as plain integers in chronological order.
//   datetime (i64): year 53-63, month 49-52, day 44-48, hour 39-43, minute 33-38, second 27-32,
//                   millisecond 17-26, day of year 8-16, day of week 5-7, zero 0-4
//   date (i32):     year 21-31, month 17-20, day 12-16, day of year 3-11, day of week 0-2
//   time (i32):     hour 26-31, minute 20-25, second 14-19, millisecond 4-13, zero 0-3
//
// Every routine is inline, branch-light integer arithmetic (divisions are by constants, which the
// compiler turns into multiplications) and never throws. Arithmetic that could leave the 64-bit range
// for a hostile input wraps (it is done in unsigned arithmetic); such inputs lie far outside the
// supported range and give unspecified fields, never undefined behaviour.

#include <cstdint>

namespace vela::calendar {

/// Supported timestamps: 1000-01-01 00:00:00.000 to 2900-12-31 23:59:59.999.
inline constexpr long kMinTimestamp = -30610224000000L;
inline constexpr long kMaxTimestamp = 29379542399999L;
/// Milliseconds from 0001-01-01 to 1970-01-01 (719162 days).
inline constexpr long kEpochOffsetMs = 62135596800000L;
/// Milliseconds from 1901-01-01 to 1970-01-01: the anchor of the four-year-cycle fast path.
inline constexpr long kFastAnchorMs = 2177452800000L;
inline constexpr long kMsPerDay = 86400000L;
inline constexpr int kEpochOrdinal = 719163;
/// The year field value that stands for the year 9999.
inline constexpr int kYear9999Field = 1023;

inline constexpr int DAYS_OF_MONTH[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
inline constexpr int DAYS_BEFORE_MONTH[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

/// Wrapping 64-bit addition (the sum of a hostile input and an offset must not be undefined).
constexpr long wrapAdd(long a, long b) {
  return static_cast<long>(static_cast<unsigned long>(a) + static_cast<unsigned long>(b));
}

/// Gregorian leap year, without a division: y + 4,000,000 (a multiple of 400 added, which keeps the
/// answer) is unsigned for every int year above -4,000,000; divisibility by 25 is a multiply by the
/// inverse of 25 modulo 2^32 and one compare. The sum is formed in unsigned arithmetic, so no int year
/// overflows; below -4,000,000 it wraps and the answer is unspecified.
constexpr bool isLeapYear(int year) {
  const auto u = static_cast<std::uint32_t>(year) + 4000000u;
  const bool by25 = u * 3264175145u <= 171798691u; // 3264175145 = 25^-1 mod 2^32; 171798691 = (2^32-1)/25
  return (u & 3u) == 0 && (!by25 || (u & 15u) == 0);
}

/// Days of the month; 0 when the month is outside 1..12.
constexpr int days_in_month(int year, int month) {
  if ((static_cast<unsigned>(month) - 1u) >= 12u)
    return 0;
  return DAYS_OF_MONTH[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
}

/// DAYS_BEFORE_MONTH of a month 1..12 (non-leap); 0 outside.
constexpr int days_before_month(int month) {
  return (static_cast<unsigned>(month) - 1u) < 12u ? DAYS_BEFORE_MONTH[month - 1] : 0;
}

/// Days from 0001-01-01 to 1 January of `year` (year >= 1).
constexpr long daysBeforeYear(int year) {
  const long y = static_cast<long>(year) - 1;
  return 146097 * (y / 400) + 36524 * ((y % 400) / 100) + 1461 * ((y % 100) / 4) + 365 * (y % 4);
}

/// Day of year (1-based) of a calendar date: DAYS_BEFORE_MONTH plus the leap day after February; a
/// month outside 1..12 leaves the day itself. The sum wraps for a day near the int limits.
constexpr int dayOfYear(int year, int month, int day) {
  if ((static_cast<unsigned>(month) - 1u) >= 12u)
    return day;
  const unsigned before =
      static_cast<unsigned>(DAYS_BEFORE_MONTH[month - 1] + (month > 2 && isLeapYear(year) ? 1 : 0));
  return static_cast<int>(before + static_cast<unsigned>(day));
}

/// x mod 7 made non-negative.
constexpr int mod7(long x) {
  const int r = static_cast<int>(x % 7);
  return r < 0 ? r + 7 : r;
}

/// Day of year and day of week (1 = Sunday) of a calendar date.
constexpr void get_day_of_year_and_week(int year, int month, int day, int& doy, int& dow) {
  doy = dayOfYear(year, month, day);
  dow = mod7(daysBeforeYear(year) + doy - 355159) + 1;
}

/// Month and day of month of a day of year. Days up to 31 are January (a non-positive day included);
/// past February the months follow the March-based 153-day pattern, and a day beyond the year's end
/// stays in December.
constexpr void monthDayFromDayOfYear(int doy, bool leap, int& month, int& day) {
  const int febEnd = 59 + (leap ? 1 : 0);
  if (doy <= 31) {
    month = 1;
    day = doy;
  } else if (doy <= febEnd) {
    month = 2;
    day = doy - 31;
  } else {
    const int t = doy - febEnd - 1; // 0 = 1 March
    int m0 = (5 * t + 2) / 153;
    if (m0 > 9)
      m0 = 9;
    month = m0 + 3;
    day = t - (153 * m0 + 2) / 5 + 1;
  }
}

/// Calendar fields of a day count from 0001-01-01 (0 is that day). The count is split into 400-year
/// cycles, then 100-year cycles (the fifth folded into the fourth), 4-year cycles and years (the fifth
/// year folded into the fourth), every quotient truncated toward zero. Below the 400-year split the
/// remainder is less than 146097 in magnitude, so the rest runs in 32-bit arithmetic.
inline void ymdFromDays(long days, int& year, int& month, int& day, int& doy) {
  const long q400 = days / 146097;
  int d = static_cast<int>(days - q400 * 146097);
  int q100 = d / 36524;
  if (q100 > 3)
    q100 = 3;
  d -= q100 * 36524;
  const int q4 = d / 1461;
  d -= q4 * 1461;
  int q1 = d / 365;
  if (q1 > 3)
    q1 = 3;
  d -= q1 * 365;
  year = static_cast<int>(400 * q400 + 100 * q100 + 4 * q4 + q1 + 1);
  doy = d + 1;
  monthDayFromDayOfYear(doy, isLeapYear(year), month, day);
}

/// Calendar fields of a timestamp; `outOfRange` (when given) is set when ms lies outside the supported
/// range. The day count is truncated toward zero.
inline void ymd_from_ms(long ms, int& year, int& month, int& day, int& doy, bool* outOfRange) {
  if (outOfRange)
    *outOfRange = ms < kMinTimestamp || ms > kMaxTimestamp;
  ymdFromDays(wrapAdd(ms, kEpochOffsetMs) / kMsPerDay, year, month, day, doy);
}

// --- packed datetime -------------------------------------------------------------------------------

/// The stored year field of a year: 1023 for 9999 and later, else year - 1900 cut to 11 bits.
constexpr int yearField(int year) {
  return year >= 9999 ? kYear9999Field : static_cast<int>((static_cast<unsigned>(year) - 1900u) & 0x7FFu);
}
/// The year a stored field stands for.
constexpr int yearOfField(int field) {
  return field == kYear9999Field ? 9999 : field + 1900;
}

struct DateTimeFields {
  int year, month, day, hour, minute, second, msec, doy, dow;
};

constexpr long packDateTime(int year, int month, int day, int hour, int minute, int second, int msec, int doy,
                            int dow) {
  const unsigned long y = static_cast<unsigned>(yearField(year)) & 0x7FFu;
  const unsigned long v =
      y << 53 | (static_cast<unsigned long>(month) & 15u) << 49 |
      (static_cast<unsigned long>(day) & 31u) << 44 | (static_cast<unsigned long>(hour) & 31u) << 39 |
      (static_cast<unsigned long>(minute) & 63u) << 33 | (static_cast<unsigned long>(second) & 63u) << 27 |
      (static_cast<unsigned long>(msec) & 1023u) << 17 | (static_cast<unsigned long>(doy) & 511u) << 8 |
      (static_cast<unsigned long>(dow) & 7u) << 5;
  return static_cast<long>(v);
}

// Field readers of a packed datetime. dtYearField is the signed stored field.
constexpr int dtYearField(long dt) {
  return static_cast<int>(dt >> 53);
}
constexpr int dtYear(long dt) {
  return yearOfField(dtYearField(dt));
}
constexpr int dtMonth(long dt) {
  return static_cast<int>((dt >> 49) & 15);
}
constexpr int dtDay(long dt) {
  return static_cast<int>((dt >> 44) & 31);
}
constexpr int dtHour(long dt) {
  return static_cast<int>((dt >> 39) & 31);
}
constexpr int dtMinute(long dt) {
  return static_cast<int>((dt >> 33) & 63);
}
constexpr int dtSecond(long dt) {
  return static_cast<int>((dt >> 27) & 63);
}
constexpr int dtMsec(long dt) {
  return static_cast<int>((dt >> 17) & 1023);
}
constexpr int dtDayOfYear(long dt) {
  return static_cast<int>((dt >> 8) & 511);
}
constexpr int dtDayOfWeek(long dt) {
  return static_cast<int>((dt >> 5) & 7);
}

/// The datetime of a timestamp (fields from ymd_from_ms; time of day from the day-aligned count).
inline long create_timestamp_from_ms2(long ms, bool* outOfRange) {
  if (outOfRange)
    *outOfRange = ms < kMinTimestamp || ms > kMaxTimestamp;
  const long shifted = wrapAdd(ms, kEpochOffsetMs);
  const long days = shifted / kMsPerDay;
  // The time of day in the same truncated split (|tod| < one day), so the divisions below are 32-bit and
  // give what dividing the whole count would.
  const int tod = static_cast<int>(shifted - days * kMsPerDay);
  int year, month, day, doy;
  ymdFromDays(days, year, month, day, doy);
  return packDateTime(year, month, day, tod / 3600000, tod / 60000 % 60, tod / 1000 % 60, tod % 1000, doy,
                      mod7(days + 1) + 1);
}

/// Days from 1970-01-01 to the datetime's date, from its year and day-of-year fields only.
constexpr long epochDaysOfDateTime(long dt) {
  const int field = dtYearField(dt);
  const long before = field == kYear9999Field ? 3651694L : daysBeforeYear(field + 1900);
  return before + dtDayOfYear(dt) - kEpochOrdinal;
}

/// The timestamp of a datetime. Only the year, day-of-year and time fields are read.
constexpr long msecs_since_epoch(long dt) {
  const long days = epochDaysOfDateTime(dt);
  return (((days * 24 + dtHour(dt)) * 60 + dtMinute(dt)) * 60 + dtSecond(dt)) * 1000 + dtMsec(dt);
}

/// Checks calendar fields (month 1..12, day within the month, hour 0..24 where 24 adds a day, minute
/// and second 0..59, msec 0..999; unsigned compares reject negatives) and packs them.
constexpr bool validFields(int year, int month, int day, int hour, int minute, int second, int msec) {
  return (static_cast<unsigned>(day) - 1u) < static_cast<unsigned>(days_in_month(year, month)) &&
         static_cast<unsigned>(hour) <= 24u && static_cast<unsigned>(minute) <= 59u &&
         static_cast<unsigned>(second) <= 59u && static_cast<unsigned>(msec) <= 999u;
}

/// Timestamp of calendar fields; 0 with `invalid` set when a field is out of range. The fields are
/// packed into a datetime and converted back, so a year outside the field's span (876..2923, and 9999)
/// wraps in the 11-bit year field as it does in every packed value.
constexpr long date_to_epoch_msecs(int year, int month, int day, int hour, int minute, int second, int msec,
                                   bool& invalid) {
  invalid = !validFields(year, month, day, hour, minute, second, msec);
  if (invalid)
    return 0;
  return msecs_since_epoch(
      packDateTime(year, month, day, hour, minute, second, msec, dayOfYear(year, month, day), 0));
}

/// As date_to_epoch_msecs in whole seconds.
constexpr long date_to_epoch_secs(int year, int month, int day, int hour, int minute, int second,
                                  bool& invalid) {
  invalid = !validFields(year, month, day, hour, minute, second, 0);
  if (invalid)
    return 0;
  const long dt = packDateTime(year, month, day, hour, minute, second, 0, dayOfYear(year, month, day), 0);
  return ((epochDaysOfDateTime(dt) * 24 + hour) * 60 + minute) * 60 + second;
}

// --- packed date and time --------------------------------------------------------------------------

constexpr int packDate(int year, int month, int day, int doy, int dow) {
  const unsigned v = (static_cast<unsigned>(yearField(year)) & 0x7FFu) << 21 |
                     (static_cast<unsigned>(month) & 15u) << 17 | (static_cast<unsigned>(day) & 31u) << 12 |
                     (static_cast<unsigned>(doy) & 511u) << 3 | (static_cast<unsigned>(dow) & 7u);
  return static_cast<int>(v);
}

/// The packed date of calendar fields (day of year and day of week derived; not validated).
constexpr int create_gdate(int year, int month, int day) {
  int doy = 0, dow = 0;
  get_day_of_year_and_week(year, month, day, doy, dow);
  return packDate(year, month, day, doy, dow);
}

constexpr int dYearField(int d) {
  return d >> 21;
}
constexpr int dYear(int d) {
  return yearOfField(dYearField(d));
}
constexpr int dMonth(int d) {
  return (d >> 17) & 15;
}
constexpr int dDay(int d) {
  return (d >> 12) & 31;
}
constexpr int dDayOfYear(int d) {
  return (d >> 3) & 511;
}
constexpr int dDayOfWeek(int d) {
  return d & 7;
}

/// Days from 1970-01-01 to a packed date (year and day-of-year fields, as for a datetime).
constexpr long epochDaysOfDate(int d) {
  const int field = dYearField(d);
  const long before = field == kYear9999Field ? 3651694L : daysBeforeYear(field + 1900);
  return before + dDayOfYear(d) - kEpochOrdinal;
}

/// The datetime at midnight of a packed date.
constexpr long dateToDateTime(int d) {
  return packDateTime(dYear(d), dMonth(d), dDay(d), 0, 0, 0, 0, dDayOfYear(d), dDayOfWeek(d));
}
/// The packed date of a datetime (its time of day dropped).
constexpr int dateTimeToDate(long dt) {
  return packDate(dtYear(dt), dtMonth(dt), dtDay(dt), dtDayOfYear(dt), dtDayOfWeek(dt));
}

constexpr int packTime(int hour, int minute, int second, int msec) {
  const unsigned v = (static_cast<unsigned>(hour) & 63u) << 26 | (static_cast<unsigned>(minute) & 63u) << 20 |
                     (static_cast<unsigned>(second) & 63u) << 14 | (static_cast<unsigned>(msec) & 1023u) << 4;
  return static_cast<int>(v);
}
constexpr int tHour(int t) {
  return (t >> 26) & 63;
}
constexpr int tMinute(int t) {
  return (t >> 20) & 63;
}
constexpr int tSecond(int t) {
  return (t >> 14) & 63;
}
constexpr int tMsec(int t) {
  return (t >> 4) & 1023;
}
/// Milliseconds since midnight of a packed time.
constexpr long timeToMs(int t) {
  return ((tHour(t) * 60L + tMinute(t)) * 60 + tSecond(t)) * 1000 + tMsec(t);
}
/// The packed time of a millisecond count within one day (0 .. 86399999).
constexpr int timeFromMs(long msOfDay) {
  return packTime(static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
                  static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000));
}

// --- ISO-8601 week-numbering year ------------------------------------------------------------------

/// Length of the calendar year before the one of a stored year field (the field 1023 counts as a common
/// year).
constexpr int previousYearLength(int field) {
  return field == kYear9999Field ? 365 : (isLeapYear(field + 1899) ? 366 : 365);
}

/// Day number within the ISO week-numbering year (1 = Monday of ISO week 1), from a year field, day of
/// year n and day of week w (1 = Sunday). 702 keeps the dividends positive.
constexpr int dayOfYearIso(int field, int n, int w) {
  const int k = n + (w + 702 - n) % 7 - 3;
  if (k < 1) {
    const int ln = previousYearLength(field) + n;
    return ln + (w + 702 - ln) % 7 - 3;
  }
  if (n >= 362 && w >= 2 && w <= 4) {
    const bool leap = field != kYear9999Field && isLeapYear(field + 1900);
    if (n >= w + 361 + (leap ? 1 : 0))
      return w - 1;
  }
  return k;
}
constexpr int dayOfYearIso(long dt) {
  return dayOfYearIso(dtYearField(dt), dtDayOfYear(dt), dtDayOfWeek(dt));
}

/// ISO week-numbering year of a year field, day of year and day of week.
constexpr int yearIso(int field, int n, int w) {
  const int r = dayOfYearIso(field, n, w) - n;
  const int year = yearOfField(field);
  return r >= 301 ? year - 1 : r < -300 ? year + 1 : year;
}
constexpr int yearIso(long dt) {
  return yearIso(dtYearField(dt), dtDayOfYear(dt), dtDayOfWeek(dt));
}

/// ISO week number of a datetime: 1..53.
constexpr int weekIso(long dt) {
  return (dayOfYearIso(dt) - 1) / 7 + 1;
}

// --- four-year-cycle fast path ---------------------------------------------------------------------

/// Year by the four-year-cycle method anchored at 1901-01-01: exact from 1901 to 2099 and used unchanged
/// outside (every fourth year counted as leap; divisions truncate toward zero).
constexpr int year_from_ms(long ms) {
  const long t = wrapAdd(ms, kFastAnchorMs);
  const long q = t / 126230400000L;
  const long r = t / kMsPerDay % 1461;
  const long y1 = r / 365 < 3 ? r / 365 : 3;
  return static_cast<int>(1901 + 4 * q + y1);
}

/// Day of year of the four-year-cycle decomposition (1-based; non-positive before 1901).
constexpr int fastDayOfYear(long ms) {
  const long r = wrapAdd(ms, kFastAnchorMs) / kMsPerDay % 1461;
  const long y1 = r / 365 < 3 ? r / 365 : 3;
  return static_cast<int>(r - 365 * y1 + 1);
}

/// Month by the four-year-cycle decomposition and the Gregorian leap rule of the year found. Exact from
/// 1901 to 2099. Outside that span the day of year is the cycle's (every fourth year counted as leap)
/// while February's length follows the true rule of the year found, so the month is off wherever the
/// two disagree. In 2100 they cancel: the cycle counts a 29 February, which puts 1 March at day 60, and
/// day 60 of a common year is 1 March, so 2100-03-01 gives 3, the true month (one might expect the
/// cycle's error to show there; it shows from 2101 on, where 2101-02-01 gives 1). The leap rule of the
/// year found is kept deliberately: the quarter and month fields of timestamps and the boundary
/// differences depend on this exact behaviour.
constexpr int month_from_ms(long ms) {
  int month = 1, day = 1;
  monthDayFromDayOfYear(fastDayOfYear(ms), isLeapYear(year_from_ms(ms)), month, day);
  return month;
}

// --- text ------------------------------------------------------------------------------------------

/// Writes `count` decimal digits of v (zero-padded, v >= 0) downward from out[pos], character 0 of a
/// reversed cell being its highest byte; stops at the cell's low end.
inline void writeDigitsReversed(char* out, unsigned long width, unsigned long& pos, unsigned value,
                                int count) {
  unsigned divisor = 1;
  for (int i = 1; i < count; ++i)
    divisor *= 10;
  for (; divisor != 0; divisor /= 10) {
    if (pos < width)
      out[width - 1 - pos] = static_cast<char>('0' + value / divisor % 10);
    ++pos;
  }
}
inline void writeCharReversed(char* out, unsigned long width, unsigned long& pos, char c) {
  if (pos < width)
    out[width - 1 - pos] = c;
  ++pos;
}

/// Writes a packed date as 'YYYY-MM-DD' into a charN cell (bytes after the text zeroed; the text is cut
/// at the cell's width).
inline void convert_date_to_charN(int date, char* out, unsigned long width) {
  for (unsigned long i = 0; i < width; ++i)
    out[i] = 0;
  unsigned long pos = 0;
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(dYear(date)) % 10000, 4);
  writeCharReversed(out, width, pos, '-');
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(dMonth(date)), 2);
  writeCharReversed(out, width, pos, '-');
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(dDay(date)), 2);
}

/// Writes a packed time as 'HH:MM:SS.mmm' into a charN cell.
inline void convert_time_to_charN(int time, char* out, unsigned long width) {
  for (unsigned long i = 0; i < width; ++i)
    out[i] = 0;
  unsigned long pos = 0;
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(tHour(time)), 2);
  writeCharReversed(out, width, pos, ':');
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(tMinute(time)), 2);
  writeCharReversed(out, width, pos, ':');
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(tSecond(time)), 2);
  writeCharReversed(out, width, pos, '.');
  writeDigitsReversed(out, width, pos, static_cast<unsigned>(tMsec(time)), 3);
}

} // namespace vela::calendar
