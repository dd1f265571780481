#pragma once
// Formatting of packed datetimes against compiled formats, and parsing of text against the same formats.
//
// A compiled format is a char32 cell (character 0 at the highest byte) read from character 0 up to the
// first NUL; each byte is one element code (4 = four-digit year, 11 = two-digit month, ...) or a literal.
// Output cells are char32 cells in the same reversed layout: words are kept reversed in the tables so
// that a word is copied straight below the writer's cursor.
//
// Formatting (timestamp_to_char) never fails: bytes that are no element are skipped, and output stops at
// 32 characters. Numbers go through one digit writer that writes at least the element's digit count and
// widens for a larger value (the century of the year 9999 is "100", a millisecond field of 1000..1023 in
// a hostile value writes four digits), so a value is never cut silently; name and numeral elements write
// nothing for a month or day of week outside its table (month 0 or 13..15, day of week 0).
//
// Parsing (extractDateTimeValues) walks format and text together and fills a DateTimeStruct; the
// packers (packParsedDate, packParsedTimestamp, packParsedTime, packParsedDateTime) apply the range rules
// of each result kind. Rules of the parser:
//  - Spaces at the start of the text and at the end of the format are ignored; after the format, the
//    text may hold nothing but spaces.
//  - A blank in the format (space or '_') matches a run of one or more spaces; other literals match
//    themselves; a quoted run in the format must appear literally (case-sensitive).
//  - A numeric element reads from one digit up to its maximum count: a shorter number ends at the first
//    non-digit, so "2024-3-5" reads with the format YYYY-MM-DD and unpadded elements read back.
//  - Words (month and day names, Roman months, eras, meridians, spelled years) match case-insensitively.
//  - One field given twice (MM and Month) must agree, else the parse fails.
//  - Fields that only restate the date (day of week, quarter, week numbers, a day of year next to a
//    month and day) are read and ignored when a stronger source gives the date; where they are the only
//    source they give it. Date sources, strongest first: Julian day; month and day of month (missing
//    parts default to the first, the quarter or week of month choosing the default month or day);
//    day of year; ISO year with ISO week (and ISO day of week, default Monday) or ISO day of year;
//    week of year (its first day).
//  - Year: the four-digit year (or the comma form, or the spelled year); else century with two digits
//    (the century's year 00 is its last year: century 20, year 00 is 2000); else three, two or one
//    digits taken as the year nearest 2020 (YYY 000..520 -> 2000.., 521..999 -> 1521..; YY 00..69 ->
//    2000.., 70..99 -> 1970..; Y -> 202Y). Partial year fields given beside the year must agree with it.
//    No year at all leaves 0, which the date and timestamp packers refuse.
//  - Time: hour 0-23 (HH24); else the 12-hour clock (1..12, else failure) with the meridian (PM adds 12,
//    12 AM is hour 0; without a meridian the hour reads as AM); else seconds since midnight (< 86400);
//    minutes and seconds default to 0. A fraction reads one digit up to its precision (three without one)
//    and is rounded half up to milliseconds, which may give 1000: the packers carry it into the second.
//  - Parse-only codes: 30 matches a date/time separator (one 'T' or a run of spaces); 36 is an optional
//    end (when only spaces are left, parsing ends there with the remaining elements absent); 63 matches
//    any one character.
// No allocation anywhere; every index into a table is bounded.

#include <cstdint>
#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "base/Calendar.h"

namespace vela::calendar {

// --- word tables (reversed, text in the highest bytes of each slot) ----------------------------------

template <unsigned long N>
struct ReversedWord {
  char bytes[N] = {};
  constexpr explicit ReversedWord(const char* text) {
    for (unsigned long i = 0; text[i] != '\0' && i < N; ++i)
      bytes[N - 1 - i] = text[i];
  }
};

inline constexpr ReversedWord<4> ERA("A.D.");
inline constexpr ReversedWord<4> AM_PM[2] = {ReversedWord<4>("A.M."), ReversedWord<4>("P.M.")};

inline constexpr ReversedWord<4> roman_numerals[12] = {
    ReversedWord<4>("I"),  ReversedWord<4>("II"), ReversedWord<4>("III"), ReversedWord<4>("IV"),
    ReversedWord<4>("V"),  ReversedWord<4>("VI"), ReversedWord<4>("VII"), ReversedWord<4>("VIII"),
    ReversedWord<4>("IX"), ReversedWord<4>("X"),  ReversedWord<4>("XI"),  ReversedWord<4>("XII")};
inline constexpr int roman_numeral_length[12] = {1, 2, 3, 2, 1, 2, 3, 4, 2, 1, 2, 3};

/// "One" .. "Nineteen" (index n - 1).
inline constexpr ReversedWord<10> numbers[19] = {
    ReversedWord<10>("One"),      ReversedWord<10>("Two"),       ReversedWord<10>("Three"),
    ReversedWord<10>("Four"),     ReversedWord<10>("Five"),      ReversedWord<10>("Six"),
    ReversedWord<10>("Seven"),    ReversedWord<10>("Eight"),     ReversedWord<10>("Nine"),
    ReversedWord<10>("Ten"),      ReversedWord<10>("Eleven"),    ReversedWord<10>("Twelve"),
    ReversedWord<10>("Thirteen"), ReversedWord<10>("Fourteen"),  ReversedWord<10>("Fifteen"),
    ReversedWord<10>("Sixteen"),  ReversedWord<10>("Seventeen"), ReversedWord<10>("Eighteen"),
    ReversedWord<10>("Nineteen")};
inline constexpr int number_lengths[19] = {3, 3, 5, 4, 4, 3, 5, 5, 4, 3, 6, 6, 8, 8, 7, 7, 9, 8, 8};
/// "Twenty" .. "Ninety" (index tens digit - 2).
inline constexpr ReversedWord<10> tens[8] = {ReversedWord<10>("Twenty"), ReversedWord<10>("Thirty"),
                                             ReversedWord<10>("Forty"),  ReversedWord<10>("Fifty"),
                                             ReversedWord<10>("Sixty"),  ReversedWord<10>("Seventy"),
                                             ReversedWord<10>("Eighty"), ReversedWord<10>("Ninety")};
inline constexpr int tens_lengths[8] = {6, 6, 5, 5, 5, 7, 6, 6};
inline constexpr ReversedWord<8> HUNDRED("Hundred");
inline constexpr ReversedWord<8> THOUSAND("Thousand");

/// Room of a formatted value (a char32 cell).
inline constexpr unsigned long kFormatWidth = 32;

// --- formatting ---------------------------------------------------------------------------------------

/// Copies the text of a reversed word (its last `len` bytes) to the `len` bytes below the cursor of the
/// reversed cell `out` (offset width - pos - len) and advances pos; when fewer than len bytes are left,
/// copies the word's first characters that fit and the cursor stops at the cell's end.
void outputReversedString(char* out, unsigned long width, unsigned long& pos, const char* reversedWord,
                          unsigned long wordSize, unsigned long len);

/// Writes 1 <= n <= 99 in English words ("Seven", "Nineteen", "Forty", "Eighty-Four"); nothing for
/// another n.
void spelledNumber99(int n, char* out, unsigned long width, unsigned long& pos);

/// Writes a year 100 <= n <= 9999 in words as years are read ("Nineteen Eighty-Four", "Nineteen Hundred
/// Five", "Two Thousand", "Twenty Ten"); n below 100 as spelledNumber99, nothing outside 1..9999.
void spelledNumber(int n, char* out, unsigned long width, unsigned long& pos);

/// Formats a packed datetime with a compiled char32 format into the char32 cell out32.
void timestamp_to_char(long datetime, const char* format32, char* out32);

/// The datetime that TO_CHAR formats for a packed time: the time fields in place, every date field 0
/// (the year field 0 reads as 1900). The hour is cut to the datetime's five bits.
constexpr long timeAsDateTime(int time) {
  return static_cast<long>((static_cast<unsigned long>(tHour(time)) & 31u) << 39 |
                           static_cast<unsigned long>(tMinute(time)) << 33 |
                           static_cast<unsigned long>(tSecond(time)) << 27 |
                           static_cast<unsigned long>(tMsec(time)) << 17);
}

/// A compiled format resolved once for many values. When every element of the format writes a fixed
/// number of characters whatever the value (digits of bounded fields, literals, quoted text, eras,
/// meridians) and the text fits the cell, the output positions are fixed: a literal template is copied
/// and the digits are written in place. Other formats (and a millisecond field above 999, which widens)
/// take timestamp_to_char. Either way the text is timestamp_to_char's.
struct DateTimeFormatPlan {
  // The plain fields first: applyDateTimeFormatPlan reads them from one table per value.
  enum Field : unsigned char {
    kYear,
    kMonth,
    kDay,
    kHour,
    kMinute,
    kSecond,
    kMsec,
    kYear3,
    kYear2,
    kYear1,
    kDayOfYear,
    kHour12,
    kMicro,
    kFraction1,
    kFraction2,
    kDayOfWeek,
    kQuarter,
    kWeekOfMonth,
    kMeridian,
    kMeridianDotted,
  };
  struct Step {
    unsigned char field;
    unsigned char digits; // characters written
    unsigned char pos;    // character index of the first
  };
  char format[kFormatWidth] = {};
  /// The literals at their cell bytes; every other byte (the digits' among them) is 0.
  char templateCell[kFormatWidth] = {};
  Step steps[kFormatWidth] = {};
  unsigned char stepCount = 0;
  bool fixedPositions = false;
  bool readsMsec = false;
  /// The steps are year (4 digits), month and day (2), optionally followed by hour, minute and second
  /// (2) and then milliseconds (3), in this order, with any literals around them: 3, 6 or 7 (the step
  /// count), written without the step loop; 0 otherwise.
  unsigned char plainSteps = 0;
  /// For plain steps: where each byte of the cell comes from. The digits are first packed into 16 bytes
  /// (year 4, month, day, hour, minute, second 2 each, then the millisecond's hundreds and tens); byte b
  /// of the cell is digit plainShuffle[b], or 0 (0x80) where templateCell (whose digit bytes are 0)
  /// gives it. plainLastDigit is the byte of the millisecond's ones (kFormatWidth if none).
  alignas(32) unsigned char plainShuffle[kFormatWidth] = {};
  unsigned char plainLastDigit = kFormatWidth;
};

/// Resolves a compiled char32 format.
void buildDateTimeFormatPlan(const char* format32, DateTimeFormatPlan& plan);

namespace format_detail {
inline unsigned planFieldValue(unsigned char field, long dt) {
  using P = DateTimeFormatPlan;
  const unsigned year = static_cast<unsigned>(dtYear(dt));
  switch (field) {
  case P::kYear:
    return year;
  case P::kYear3:
    return year % 1000;
  case P::kYear2:
    return year % 100;
  case P::kYear1:
    return year % 10;
  case P::kMonth:
    return static_cast<unsigned>(dtMonth(dt));
  case P::kDay:
    return static_cast<unsigned>(dtDay(dt));
  case P::kDayOfYear:
    return static_cast<unsigned>(dtDayOfYear(dt));
  case P::kHour:
    return static_cast<unsigned>(dtHour(dt));
  case P::kHour12:
    return static_cast<unsigned>((dtHour(dt) + 11) % 12 + 1);
  case P::kMinute:
    return static_cast<unsigned>(dtMinute(dt));
  case P::kSecond:
    return static_cast<unsigned>(dtSecond(dt));
  case P::kMsec:
    return static_cast<unsigned>(dtMsec(dt));
  case P::kMicro:
    return static_cast<unsigned>(dtMsec(dt)) * 1000u;
  case P::kFraction1: {
    const unsigned v = (static_cast<unsigned>(dtMsec(dt)) + 50u) / 100u;
    return v > 9u ? 9u : v;
  }
  case P::kFraction2: {
    const unsigned v = (static_cast<unsigned>(dtMsec(dt)) + 5u) / 10u;
    return v > 99u ? 99u : v;
  }
  case P::kDayOfWeek:
    return static_cast<unsigned>(dtDayOfWeek(dt));
  case P::kQuarter: // month 0 of a hostile value reads as quarter 1, as (month - 1) / 3 + 1 does
    return static_cast<unsigned>((dtMonth(dt) - 1) / 3 + 1);
  case P::kWeekOfMonth:
    return static_cast<unsigned>((dtDay(dt) - 1) / 7 + 1);
  default:
    return dtHour(dt) >= 12 ? 1u : 0u;
  }
}
} // namespace format_detail

namespace format_detail {
/// "00", "01", ..., "99": two digits per store.
inline constexpr struct DigitPairs {
  char pairs[200] = {};
  constexpr DigitPairs() {
    for (int i = 0; i < 100; ++i) {
      pairs[2 * i] = static_cast<char>('0' + i / 10);
      pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
} kDigitPairs;
/// Writes v (below 100) as two characters from top downward (the reversed layout).
inline void putPair(char* top, unsigned v) {
  top[0] = kDigitPairs.pairs[2 * v];
  top[-1] = kDigitPairs.pairs[2 * v + 1];
}
} // namespace format_detail

/// Formats one value with a resolved format; the text equals timestamp_to_char's. The text is built in
/// a local cell, so that the compiler keeps the plan in registers across the byte stores.
[[gnu::always_inline]] inline void applyDateTimeFormatPlan(const DateTimeFormatPlan& plan, long dt,
                                                           char* out32) {
  if (!plan.fixedPositions || (plan.readsMsec && dtMsec(dt) > 999)) {
    timestamp_to_char(dt, plan.format, out32);
    return;
  }
  using P = DateTimeFormatPlan;
#if defined(__AVX2__)
  // The plain layouts are put together in registers and stored once: byte stores into a local cell
  // followed by the cell's 32-byte copy stalled every row on the store buffer (a wide load cannot be
  // forwarded from narrow stores), most of a row's time.
  if (plan.plainSteps != 0) {
    using format_detail::kDigitPairs;
    auto pair = [](unsigned v) {
      std::uint16_t p;
      __builtin_memcpy(&p, kDigitPairs.pairs + 2 * v, 2);
      return static_cast<std::uint64_t>(p);
    };
    const unsigned year = static_cast<unsigned>(dtYear(dt));
    const std::uint64_t low = pair(year / 100) | pair(year % 100) << 16 |
                              pair(static_cast<unsigned>(dtMonth(dt))) << 32 |
                              pair(static_cast<unsigned>(dtDay(dt))) << 48;
    std::uint64_t high = 0;
    unsigned lastDigit = 0;
    if (plan.plainSteps >= 6)
      high = pair(static_cast<unsigned>(dtHour(dt))) | pair(static_cast<unsigned>(dtMinute(dt))) << 16 |
             pair(static_cast<unsigned>(dtSecond(dt))) << 32;
    if (plan.plainSteps == 7) {
      const unsigned ms = static_cast<unsigned>(dtMsec(dt));
      high |= static_cast<std::uint64_t>('0' + ms / 100) << 48 |
              static_cast<std::uint64_t>(kDigitPairs.pairs[2 * (ms % 100)]) << 56;
      lastDigit = static_cast<unsigned char>(kDigitPairs.pairs[2 * (ms % 100) + 1]);
    }
    const __m256i digits = _mm256_broadcastsi128_si256(
        _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low)));
    __m256i cell = _mm256_or_si256(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plan.templateCell)),
        _mm256_shuffle_epi8(digits, _mm256_load_si256(reinterpret_cast<const __m256i*>(plan.plainShuffle))));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out32), cell);
    if (plan.plainSteps == 7)
      out32[plan.plainLastDigit] = static_cast<char>(lastDigit);
    return;
  }
#endif
  char cell[kFormatWidth];
  __builtin_memcpy(cell, plan.templateCell, kFormatWidth);
  if (plan.plainSteps != 0) {
    auto top = [&](unsigned s) { return cell + (kFormatWidth - 1 - plan.steps[s].pos); };
    const unsigned year = static_cast<unsigned>(dtYear(dt));
    format_detail::putPair(top(0), year / 100);
    format_detail::putPair(top(0) - 2, year % 100);
    format_detail::putPair(top(1), static_cast<unsigned>(dtMonth(dt)));
    format_detail::putPair(top(2), static_cast<unsigned>(dtDay(dt)));
    if (plan.plainSteps >= 6) {
      format_detail::putPair(top(3), static_cast<unsigned>(dtHour(dt)));
      format_detail::putPair(top(4), static_cast<unsigned>(dtMinute(dt)));
      format_detail::putPair(top(5), static_cast<unsigned>(dtSecond(dt)));
    }
    if (plan.plainSteps == 7) {
      const unsigned ms = static_cast<unsigned>(dtMsec(dt));
      top(6)[0] = static_cast<char>('0' + ms / 100);
      format_detail::putPair(top(6) - 1, ms % 100);
    }
    __builtin_memcpy(out32, cell, kFormatWidth);
    return;
  }
  const unsigned plain[P::kMsec + 1] = {
      static_cast<unsigned>(dtYear(dt)),   static_cast<unsigned>(dtMonth(dt)),
      static_cast<unsigned>(dtDay(dt)),    static_cast<unsigned>(dtHour(dt)),
      static_cast<unsigned>(dtMinute(dt)), static_cast<unsigned>(dtSecond(dt)),
      static_cast<unsigned>(dtMsec(dt))};
  const unsigned count = plan.stepCount;
  for (unsigned s = 0; s < count; ++s) {
    const P::Step step = plan.steps[s];
    char* top = cell + (kFormatWidth - 1 - step.pos);
    const unsigned v =
        step.field <= P::kMsec ? plain[step.field] : format_detail::planFieldValue(step.field, dt);
    switch (step.field >= P::kMeridian ? 0 : step.digits) {
    case 0: // meridian: the letters around the template's dots
      top[0] = v != 0 ? 'P' : 'A';
      top[step.field == P::kMeridian ? -1 : -2] = 'M';
      break;
    case 1:
      top[0] = static_cast<char>('0' + v);
      break;
    case 2:
      format_detail::putPair(top, v);
      break;
    case 3:
      top[0] = static_cast<char>('0' + v / 100);
      format_detail::putPair(top - 1, v % 100);
      break;
    case 4:
      format_detail::putPair(top, v / 100);
      format_detail::putPair(top - 2, v % 100);
      break;
    default: {
      unsigned w = v;
      for (int k = step.digits - 1; k >= 0; --k) {
        top[-k] = static_cast<char>('0' + w % 10);
        w /= 10;
      }
    }
    }
  }
  __builtin_memcpy(out32, cell, kFormatWidth);
}

/// The resolved form of the format 'YYYY-MM-DD HH:MM:SS.mmm' (codes 4 '-' 11 '-' 15 ' ' 18 ':' 21 ':'
/// 22 '.' 24), the text of the datetime and timestamp casts.
const DateTimeFormatPlan& canonicalDateTimePlan();

// --- parsing ------------------------------------------------------------------------------------------

/// What a format can read from a text, by field. Values are as read (not yet range-checked).
enum DateTimeField : int {
  kFieldYear,
  kFieldYear3,
  kFieldYear2,
  kFieldYear1,
  kFieldCentury,
  kFieldMonth,
  kFieldDay,
  kFieldDayOfYear,
  kFieldDayOfWeek,
  kFieldWeek,
  kFieldWeekOfMonth,
  kFieldQuarter,
  kFieldHour,
  kFieldHour12,
  kFieldMeridian, // 0 AM, 1 PM
  kFieldMinute,
  kFieldSecond,
  kFieldMsec, // 0 .. 1000 (a rounded fraction may reach 1000)
  kFieldSecondOfDay,
  kFieldJulianDay,
  kFieldIsoYear,
  kFieldIsoYear3,
  kFieldIsoYear2,
  kFieldIsoYear1,
  kFieldIsoWeek,
  kFieldIsoDayOfYear,
  kFieldIsoDayOfWeek, // 1 Monday .. 7 Sunday
  kFieldCount
};

/// The parse result: the resolved calendar and time fields, and the fields as the text gave them.
struct DateTimeStruct {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfYear = 0, dayOfWeek = 0;
  int given[kFieldCount] = {};
  std::uint32_t present = 0;

  bool has(DateTimeField f) const { return (present >> f & 1u) != 0; }
  int value(DateTimeField f) const { return given[f]; }
  /// Records a field; false when the field was already given with another value.
  bool set(DateTimeField f, int v) {
    if (has(f))
      return given[f] == v;
    given[f] = v;
    present |= 1u << f;
    return true;
  }
};

/// Case-insensitive (ASCII) match of a word at character `pos` of a text of `width` characters whose
/// character i is text[i * direction] (direction +1 or -1). The word is a reversed slot of maxLen bytes
/// whose text of wordLen characters fills its highest bytes. On a match pos advances by wordLen.
bool matchString(const char* text, int& pos, unsigned long width, int direction, const char* word,
                 int wordLen, int maxLen);

/// Parses a text against a compiled format. The format's character i is format[i * formatDirection]
/// from `format` (its character 0), up to formatWidth characters or a NUL; likewise the text, whose end
/// is its first NUL only when fixedWidth is set (a cell), every one of its textWidth bytes otherwise (a
/// heap string, where a NUL is a byte no element matches). `option` is reserved (callers pass 0).
/// Returns false on success, true on failure.
bool extractDateTimeValues(const char* format, unsigned long formatWidth, int formatDirection,
                           const char* text, unsigned long textWidth, int textDirection, DateTimeStruct& out,
                           int option, bool fixedWidth);

/// Resolves year, month, day, day of year and day of week of the parsed fields (see the rules above) and
/// stores the day of year also in doy. Returns true on failure (a source out of its range: Julian day,
/// day of year, week numbers, quarter, partial years disagreeing with the year). Fields that stay
/// absent leave the year 0.
bool calcDayOfYear(int& doy, DateTimeStruct& dts);

/// Result packers of resolved fields (doy and dow of DateTimeFields are not read); each returns true when
/// the row succeeds. The DateTimeStruct forms below pack the struct's resolved fields.
bool packParsedDate(const DateTimeFields& f, int& date);
bool packParsedTimestamp(const DateTimeFields& f, long& ms);
bool packParsedDateTime(const DateTimeFields& f, long& datetime);
bool packParsedTime(const DateTimeFields& f, int& time);

/// Result packers; each returns true when the row succeeds.
/// Date: year 1000..2900 or 9999, month 1..12, day within the month; packed as create_gdate.
bool packParsedDate(const DateTimeStruct& dts, int& date);
/// Timestamp: the date rules, then the time through date_to_epoch_msecs (hour 24 adds a day; minute
/// and second 0..59); a millisecond count of 1000 carries into the second.
bool packParsedTimestamp(const DateTimeStruct& dts, long& ms);
/// Datetime: the timestamp's packed fields.
bool packParsedDateTime(const DateTimeStruct& dts, long& datetime);
/// Time: hour below 24 and minute below 60; a second of 60 or more gives hour:minute:00.000; a
/// millisecond count of 1000 carries one second, wrapped within the day.
bool packParsedTime(const DateTimeStruct& dts, int& time);

/// Parses a text against a char32 compiled format (the TO_DATE, TO_TIMESTAMP and TO_TIME rows); true on
/// success. The text is a cell of textWidth bytes (direction -1, ending at a NUL) or, with direction +1,
/// a heap string of textWidth bytes.
bool parseDateWithFormat(const char* format32, const char* text, unsigned long textWidth, int textDirection,
                         int& date);
bool parseTimestampWithFormat(const char* format32, const char* text, unsigned long textWidth,
                              int textDirection, long& ms);
bool parseTimeWithFormat(const char* format32, const char* text, unsigned long textWidth, int textDirection,
                         int& time);

} // namespace vela::calendar
