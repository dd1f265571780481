// Date/time formatting and parsing against hand-computed texts, the resolved writer against the general
// one, hostile inputs, and round trips of every text the formatter writes.
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/CalendarNames.h"
#include "base/DateTimeFormat.h"
#include "base/DateTimeText.h"

using namespace vela::calendar;

namespace {

/// A compiled format (codes in reading order) as a char32 cell.
struct Format {
  char cell[32] = {};
  Format(std::initializer_list<int> codes) {
    int i = 0;
    for (int c : codes)
      cell[31 - i++] = static_cast<char>(c);
  }
};

std::string fromCell(const char* cell, int width) {
  std::string s;
  for (int i = 0; i < width && cell[width - 1 - i] != 0; ++i)
    s.push_back(cell[width - 1 - i]);
  return s;
}

std::string format(long dt, const Format& f) {
  char out[32];
  timestamp_to_char(dt, f.cell, out);
  return fromCell(out, 32);
}

long msOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  bool invalid = false;
  const long v = date_to_epoch_msecs(y, mo, d, h, mi, s, ms, invalid);
  EXPECT_FALSE(invalid) << y << "-" << mo << "-" << d;
  return v;
}
long dtOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return create_timestamp_from_ms2(msOf(y, mo, d, h, mi, s, ms), nullptr);
}

/// Julian day number by the March-based count (independent of the calendar core).
long julianModel(int y, int m, int d) {
  const int a = (14 - m) / 12;
  const long yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

struct CodeCase {
  int code;
  std::string tuesday, newYearsEve, saturdayMidnight;
};

// 2024-03-05 14:07:09.045 (a Tuesday, day 65, ISO 2024-W10-2), 1999-12-31 23:59:59.999 (a Friday, day
// 365, ISO 1999-W52-5), 2000-01-01 00:30:00.000 (a Saturday, ISO 1999-W52-6).
// clang-format off
const CodeCase kCodes[] = {
    {1, "AD", "AD", "AD"}, {2, "A.D.", "A.D.", "A.D."}, {3, "21", "20", "20"}, {4, "2024", "1999", "2000"},
    {5, "2024", "1999", "2000"}, {6, "2,024", "1,999", "2,000"}, {7, "024", "999", "000"},
    {8, "24", "99", "00"}, {9, "March", "December", "January"}, {10, "Mar", "Dec", "Jan"},
    {11, "03", "12", "01"}, {12, "III", "XII", "I"}, {13, "Tuesday", "Friday", "Saturday"},
    {14, "Tue", "Fri", "Sat"}, {15, "05", "31", "01"}, {16, "065", "365", "001"}, {17, "10", "53", "1"},
    {18, "14", "23", "00"}, {19, "14", "23", "0"}, {20, "02", "11", "12"}, {21, "07", "59", "30"},
    {22, "09", "59", "00"}, {23, "045", "999", "000"}, {24, "045", "999", "000"},
    {25, "045000", "999000", "000000"}, {26, "50829", "86399", "1800"}, {27, "PM", "PM", "AM"},
    {28, "P.M.", "P.M.", "A.M."}, {29, "Z", "Z", "Z"}, {32, " ", " ", " "}, {44, ",", ",", ","},
    {45, "-", "-", "-"}, {46, ".", ".", "."}, {47, "/", "/", "/"}, {58, ":", ":", ":"}, {59, ";", ";", ";"},
    {95, " ", " ", " "}, {99, "5", "31", "1"}, {100, "3", "6", "7"}, {104, "2", "11", "12"},
    {105, "4", "9", "9"}, {106, "2460375", "2451544", "2451545"}, {109, "3", "12", "1"}, {113, "1", "4", "1"},
    {119, "1", "5", "1"}, {121, "4", "9", "0"}, {128, "2024", "1999", "1999"}, {129, "024", "999", "999"},
    {130, "24", "99", "99"}, {131, "10", "52", "52"}, {132, "065", "362", "363"}, {133, "2", "5", "6"},
    {134, "Twenty Twenty-Four", "Nineteen Ninety-Nine", "Two Thousand"}, {135, "045", "999", "000"},
    // Bytes that are no element write nothing.
    {0x31, "", "", ""}, {200, "", "", ""}, {30, "", "", ""}, {36, "", "", ""}, {63, "", "", ""},
};
// clang-format on

TEST(DateTimeFormat, EveryCode) {
  const long tuesday = dtOf(2024, 3, 5, 14, 7, 9, 45);
  const long eve = dtOf(1999, 12, 31, 23, 59, 59, 999);
  const long saturday = dtOf(2000, 1, 1, 0, 30);
  for (const CodeCase& c : kCodes) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(format(tuesday, {c.code}), c.tuesday);
    EXPECT_EQ(format(eve, {c.code}), c.newYearsEve);
    EXPECT_EQ(format(saturday, {c.code}), c.saturdayMidnight);
  }
}

TEST(DateTimeFormat, WholeFormatsAndEdgeCases) {
  const long t = dtOf(2024, 3, 5, 14, 7, 9, 45);
  EXPECT_EQ(format(t, {4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24}), "2024-03-05 14:07:09.045");
  EXPECT_EQ(format(dtOf(2024, 1, 1, 0, 30), {20, ' ', 27}), "12 AM");
  EXPECT_EQ(format(dtOf(2024, 1, 1, 12, 0), {20, ' ', 27}), "12 PM");
  EXPECT_EQ(format(dtOf(2024, 9, 18), {12, ' ', 9, ' ', 10, ' ', 14}), "IX September Sep Wed");
  // Fraction precision: rounded to tenths and hundredths (capped below the next second), padded beyond.
  EXPECT_EQ(format(t, {23, '2'}), "05");
  EXPECT_EQ(format(t, {23, '5'}), "04500");
  EXPECT_EQ(format(t, {23, '1'}), "0");
  EXPECT_EQ(format(t, {23, '3'}), "045");
  const long late = dtOf(2024, 3, 5, 14, 7, 9, 996);
  EXPECT_EQ(format(late, {23, '1'}), "9");
  EXPECT_EQ(format(late, {23, '2'}), "99");
  // A precision digit after anything else is skipped; one that ends the format is no precision.
  EXPECT_EQ(format(t, {22, '2', 23}), "09045");
  // Quoted runs: copied without their quotes; an unclosed run goes to the end of the format.
  EXPECT_EQ(format(t, {34, 'Q', 4, 34, 4}), "Q\x04"
                                            "2024");
  EXPECT_EQ(format(t, {39, 'a', ' ', 'b', 39, 8, 39, 'x'}), "a b24x");
  // An empty format gives the empty text; the format ends at its first NUL.
  EXPECT_EQ(format(t, {}), "");
  EXPECT_EQ(format(t, {4, 0, 4}), "2024");
  // The Julian day number agrees with the March-based count.
  for (const long v : {dtOf(1000, 1, 1), dtOf(1582, 10, 15), dtOf(2000, 2, 29), dtOf(2900, 12, 31)})
    EXPECT_EQ(format(v, {106}), std::to_string(julianModel(dtYear(v), dtMonth(v), dtDay(v))));
}

TEST(DateTimeFormat, SpelledYearsAndRomanMonths) {
  const std::pair<int, const char*> years[] = {
      {1984, "Nineteen Eighty-Four"}, {1905, "Nineteen Hundred Five"},
      {2000, "Two Thousand"},         {2005, "Two Thousand Five"},
      {2010, "Twenty Ten"},           {1900, "Nineteen Hundred"},
      {1000, "One Thousand"},         {1001, "One Thousand One"},
      {1100, "Eleven Hundred"},       {1111, "Eleven Eleven"},
      {2900, "Twenty-Nine Hundred"},  {1777, "Seventeen Seventy-Seven"},
      {1019, "Ten Nineteen"},         {2020, "Twenty Twenty"},
      {1230, "Twelve Thirty"}};
  for (const auto& [year, words] : years)
    EXPECT_EQ(format(dtOf(year, 6, 1), {134}), words) << year;
  EXPECT_EQ(format(dtOf(9999, 1, 1), {134}), "Ninety-Nine Ninety-Nine");
  const char* roman[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};
  for (int m = 1; m <= 12; ++m)
    EXPECT_EQ(format(dtOf(2023, m, 1), {12}), roman[m - 1]);
  char out[40] = {};
  unsigned long pos = 0;
  spelledNumber99(0, out, 40, pos);
  spelledNumber99(100, out, 40, pos);
  spelledNumber(0, out, 40, pos);
  spelledNumber(10000, out, 40, pos);
  EXPECT_EQ(pos, 0u);
  spelledNumber(42, out, 40, pos);
  EXPECT_EQ(fromCell(out, 40), "Forty-Two");
}

TEST(DateTimeFormat, OutputIsCutAtThirtyTwoCharacters) {
  const long v = dtOf(2024, 9, 18, 23, 0); // a Wednesday
  EXPECT_EQ(format(v, {9, ' ', 13, ' ', 134}), "September Wednesday Twenty Twent");
  const std::string full = "2024-03-05 14:07:09.045000000";
  const long t = dtOf(2024, 3, 5, 14, 7, 9, 45);
  EXPECT_EQ(format(t, {4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 23, '9', 4, 4}),
            (full + "20242024").substr(0, 32));
  char out[8];
  std::memset(out, 'x', sizeof out);
  unsigned long pos = 5;
  outputReversedString(out, 8, pos, month_names[0].bytes, 16, 7);
  EXPECT_EQ(pos, 8u);
  EXPECT_EQ(fromCell(out, 8).substr(5), "Jan");
}

TEST(DateTimeFormat, HostilePackedValues) {
  // Month 0 and 13, day of week 0: no names; numbers as they are.
  const long month0 = packDateTime(2024, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(format(month0, {9, 10, 12, 13, 14, '-', 11, 15, 16, 100, 113, 119, 17}), "-00000000111");
  const long month13 = packDateTime(2024, 13, 31, 31, 63, 63, 1023, 511, 7);
  EXPECT_EQ(format(month13, {9, 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24}), "13-31 31:63:63.1023");
  EXPECT_EQ(format(month13, {113, 20, 104, 25, 23, '1', 23, '2'}), "50771023000999");
  // The year 9999 (field 1023): century 100; the smallest field (-1024) is the year 876.
  const long y9999 = dtOf(9999, 12, 31);
  EXPECT_EQ(format(y9999, {3, ' ', 4, ' ', 6}), "100 9999 9,999");
  EXPECT_EQ(format(static_cast<long>(0x8000000000000000UL), {4, ' ', 134}), "0876 Eight Seventy-Six");
  // Every bit pattern formats without fault under every code.
  std::mt19937_64 gen(7);
  for (int k = 0; k < 20000; ++k) {
    const long dt = static_cast<long>(gen());
    Format f{};
    for (int i = 0; i < 32; ++i)
      f.cell[i] = static_cast<char>(gen() % 137);
    char out[32];
    timestamp_to_char(dt, f.cell, out);
    const std::string text = fromCell(out, 32);
    EXPECT_LE(text.size(), 32u);
  }
}

// The resolved writer gives the general writer's text, for fixed and non-fixed formats and any value.
TEST(DateTimeFormat, ResolvedFormatMatchesGeneralWriter) {
  // clang-format off
  const std::vector<Format> formats = {
      {4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22},
      {4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24}, {34, 'd', 34, 4, 11, 15},
      {4, 11, 15, 18, 21, 22, 24, 4}, {5, 7, 8, 121, 16, 20, 27, 28, 100, 113, 119, 29, 95, 1, 2},
      {23, '1', ' ', 23, '2', ' ', 23, '6', ' ', 25, 135}, {34, 'a', 't', 34, ' ', 39, 'x', 39, 18},
      {9, ' ', 15}, {4, 4, 4, 4, 4, 4, 4, 4, 4}, {134}, {},
  };
  // clang-format on
  std::mt19937_64 gen(11);
  for (const Format& f : formats) {
    DateTimeFormatPlan plan;
    buildDateTimeFormatPlan(f.cell, plan);
    for (int k = 0; k < 5000; ++k) {
      long dt = static_cast<long>(gen());
      if (k % 2 == 0) // in range half of the time, so that the fields look like dates
        dt = create_timestamp_from_ms2(
            kMinTimestamp + static_cast<long>(gen() % (kMaxTimestamp - kMinTimestamp)), nullptr);
      char a[32], b[32];
      timestamp_to_char(dt, f.cell, a);
      applyDateTimeFormatPlan(plan, dt, b);
      ASSERT_EQ(std::memcmp(a, b, 32), 0) << fromCell(a, 32) << " / " << fromCell(b, 32);
    }
  }
  DateTimeFormatPlan plan;
  buildDateTimeFormatPlan(Format{4, '-', 11, ' ', 18}.cell, plan);
  EXPECT_TRUE(plan.fixedPositions);
  EXPECT_EQ(plan.plainSteps, 0);
  for (const auto& [f, steps] :
       {std::pair{Format{34, 'd', 34, 4, 11, 15}, 3}, std::pair{Format{4, 11, 15, 18, 21, 22}, 6},
        std::pair{Format{4, 11, 15, 18, 21, 22, 24}, 7}}) {
    buildDateTimeFormatPlan(f.cell, plan);
    EXPECT_EQ(plan.plainSteps, steps);
  }
  buildDateTimeFormatPlan(Format{9}.cell, plan);
  EXPECT_FALSE(plan.fixedPositions);
}

// --- parsing ------------------------------------------------------------------------------------

/// Parses reading-order text as a heap string would be read.
bool parseTs(const Format& f, const std::string& text, long& ms) {
  return parseTimestampWithFormat(f.cell, text.data(), text.size(), 1, ms);
}
bool parseDate(const Format& f, const std::string& text, int& date) {
  return parseDateWithFormat(f.cell, text.data(), text.size(), 1, date);
}
bool parseTime(const Format& f, const std::string& text, int& time) {
  return parseTimeWithFormat(f.cell, text.data(), text.size(), 1, time);
}

const Format kYmd{4, '-', 11, '-', 15};
const Format kHms{18, ':', 21, ':', 22, '.', 24};
const Format kFull{4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24};

struct ParseRow {
  char kind; // 'd' date, 't' time of day, 's' timestamp (ms)
  Format format;
  std::string text;
  std::optional<long> expected; // nullopt: refused
};

long D(int y, int m, int d) {
  return create_gdate(y, m, d);
}
long T(int h, int mi, int s = 0, int ms = 0) {
  return packTime(h, mi, s, ms);
}

// One row per parse rule, the values computed by hand.
TEST(DateTimeParse, RulesByHand) {
  const std::nullopt_t no = std::nullopt;
  const Format h12{20, ':', 21, ' ', 27}, named{15, ' ', 9, ' ', 4}, twice{11, ' ', 9, ' ', 15, ' ', 4},
      iso{4, '-', 11, '-', 15, 36, 30, 18, ':', 21}, isoWeek{128, '-', 131, '-', 133},
      micros{4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 23, '6'};
  const long t = msOf(2024, 3, 5, 14, 7, 9, 45);
  // clang-format off
  const ParseRow rows[] = {
      {'d', kYmd, "0999-01-01", no}, {'d', kYmd, "2901-01-01", no},
      {'d', kYmd, "9999-12-31", D(9999, 12, 31)}, {'d', kYmd, "1000-01-01", D(1000, 1, 1)},
      {'d', kYmd, "2900-12-31", D(2900, 12, 31)}, {'d', kYmd, "2023-02-29", no},
      {'d', kYmd, "2024-02-30", no}, {'d', kYmd, "2024-02-29", D(2024, 2, 29)}, {'d', kYmd, "1900-02-29", no},
      {'d', kYmd, "2024-13-01", no}, {'d', kYmd, "2024-00-01", no}, {'d', kYmd, "2024-01-00", no},
      {'s', kFull, "0999-12-31 23:59:59.999", no},
      {'s', kFull, "9999-12-31 23:59:59.999", msOf(9999, 12, 31, 23, 59, 59, 999)},
      {'s', kFull, "2024-01-01 10:60:00.000", no}, {'s', kFull, "2024-01-01 10:00:60.000", no},
      {'s', kFull, "2024-01-01 24:00:00.000", msOf(2024, 1, 2)}, // hour 24 adds a day to a timestamp
      {'s', kFull, "2024-01-01 25:00:00.000", no},
      // times of day: the minute and hour ranges (a second past 59 is ignored)
      {'t', {18, ':', 21, ':', 22}, "10:20:75", T(10, 20)}, {'t', {18, ':', 21}, "10:60", no},
      {'t', {18, ':', 21}, "24:00", no}, {'t', {18, ':', 21}, "23:59", T(23, 59)},
      // a fraction rounded up to a whole second carries, wrapped within the day
      {'t', {18, ':', 21, ':', 22, '.', 23, '4'}, "23:59:59.9996", T(0, 0)},
      {'t', {18, ':', 21, ':', 22, '.', 23, '4'}, "10:00:05.9994", T(10, 0, 5, 999)},
      {'t', {18, ':', 21, ':', 22, '.', 25}, "10:00:05.999500", T(10, 0, 6)},
      {'s', micros, "2024-12-31 23:59:59.999999", msOf(2025, 1, 1)},
      // one fraction digit is tenths; milliseconds (24) are a count
      {'t', {22, '.', 23}, "05.5", T(0, 0, 5, 500)}, {'t', {22, '.', 24}, "05.5", T(0, 0, 5, 5)},
      {'t', h12, "12:00 AM", T(0, 0)}, {'t', h12, "12:30 PM", T(12, 30)}, {'t', h12, "01:00 PM", T(13, 0)},
      {'t', h12, "11:59 pm", T(23, 59)}, {'t', h12, "1:05 am", T(1, 5)}, {'t', h12, "13:00 PM", no},
      {'t', h12, "00:00 AM", no}, {'t', {104, ':', 21}, "12:15", T(0, 15)},  // no meridian: AM
      {'t', {26}, "86399", T(23, 59, 59)}, {'t', {26}, "86400", no},
      // leading and trailing spaces; unpadded numbers; a format blank matches a run of spaces
      {'s', kFull, "2024-03-05 14:07:09.045", t}, {'s', kFull, "  2024-03-05 14:07:09.045  ", t},
      {'s', kFull, "2024-3-5 14:7:9.45", t}, {'s', kFull, "2024-03-05    14:07:09.045", t},
      {'s', kFull, "2024-03-05 14:07:09.045x", no}, {'s', kFull, "2024/03/05 14:07:09.045", no},
      {'s', kFull, "2024-03-0514:07:09.045", no}, {'s', kFull, "x2024-03-05 14:07:09.045", no},
      {'s', kFull, "2024-03-05 14:07:09.", no}, {'s', kFull, "", no},
      {'s', kFull, "20240-03-05 14:07:09.045", no}, {'s', kFull, "2024-03-05 14:07:09.045 1", no},
      // names match in any case; a field given twice must agree
      {'d', named, "05 March 2024", D(2024, 3, 5)}, {'d', named, "05 MARCH 2024", D(2024, 3, 5)},
      {'d', named, "5 march 2024", D(2024, 3, 5)}, {'d', named, "05 Marc 2024", no},
      {'d', twice, "03 March 05 2024", D(2024, 3, 5)}, {'d', twice, "04 March 05 2024", no},
      {'d', {4, ' ', 8}, "2024 25", no}, // the last two digits disagree with the year
      // restating fields are ignored beside a stronger source (a wrong day name too)
      {'d', {4, '-', 11, '-', 15, ' ', 13}, "2024-03-05 Monday", D(2024, 3, 5)},
      {'d', {34, 'D', '=', 34, 4, 11, 15}, "D=20240305", D(2024, 3, 5)},
      {'d', {34, 'D', '=', 34, 4, 11, 15}, "d=20240305", no},
      // parse-only codes: 30 a 'T' or blanks, 36 an optional end, 63 any character
      {'s', iso, "2024-03-05T14:07", msOf(2024, 3, 5, 14, 7)}, {'s', iso, "2024-03-05  ", msOf(2024, 3, 5)},
      {'s', iso, "2024-03-05T", no}, {'d', {4, 63, 11, 63, 15}, "2024x03y05", D(2024, 3, 5)},
      {'d', {4, 63, 11, 63, 15}, "2024x03y", no},
      {'d', {11, '-', 15}, "03-05", no}, // a missing year leaves year 0: no date
      // two-digit years: nearest 2020; with the century exact
      {'d', {8, 11, 15}, "690101", D(2069, 1, 1)}, {'d', {8, 11, 15}, "700101", D(1970, 1, 1)},
      {'d', {3, 8, 11, 15}, "20000101", D(2000, 1, 1)}, {'d', {3, 8, 11, 15}, "21010101", D(2001, 1, 1)},
      // other date sources: day of year, ISO week, week of year, Julian day, spelled year, Roman month
      {'d', {4, ' ', 16}, "2024 366", D(2024, 12, 31)}, {'d', {4, ' ', 16}, "2023 366", no},
      {'d', isoWeek, "2025-01-1", D(2024, 12, 30)}, {'d', isoWeek, "2020-53-7", D(2021, 1, 3)},
      {'d', isoWeek, "2020-54-1", no}, {'d', {4, ' ', 17}, "2024 10", D(2024, 3, 4)},
      {'d', {106}, "2451545", D(2000, 1, 1)},
      {'d', {134, ' ', 12, ' ', 99}, "nineteen hundred five viii 7", D(1905, 8, 7)},
      {'d', {134}, "Nineteenth", no},
  };
  // clang-format on
  for (const ParseRow& r : rows) {
    SCOPED_TRACE(std::string(1, r.kind) + " '" + r.text + "'");
    long got = 0;
    int v = 0;
    const bool ok = r.kind == 's'   ? parseTs(r.format, r.text, got)
                    : r.kind == 'd' ? parseDate(r.format, r.text, v)
                                    : parseTime(r.format, r.text, v);
    if (r.kind != 's')
      got = v;
    EXPECT_EQ(ok, r.expected.has_value());
    if (ok && r.expected) {
      EXPECT_EQ(got, *r.expected);
    }
  }
  int d = 0;
  ASSERT_TRUE(parseDate(kYmd, "9999-12-31", d));
  EXPECT_EQ(dYearField(d), 1023);
}

TEST(DateTimeParse, CellsAndStringsReadAlike) {
  // A cell's text ends at its first NUL; in a string a NUL is a byte that fails the parse.
  char cell[64] = {};
  const std::string text = "2024-03-05";
  for (std::size_t i = 0; i < text.size(); ++i)
    cell[63 - i] = text[i];
  cell[63 - 11] = '9'; // after the NUL
  int a = 0, b = 0;
  ASSERT_TRUE(parseDateWithFormat(kYmd.cell, cell, 64, -1, a));
  ASSERT_TRUE(parseDate(kYmd, text, b));
  EXPECT_EQ(a, b);
  EXPECT_FALSE(parseDate(kYmd, text + std::string(1, '\0'), b));
  EXPECT_TRUE(gdate_from_charN(cell, 64, a));
  EXPECT_FALSE(gdate_from_string(text + std::string(1, '\0'), a));
}

TEST(DateTimeText, CanonicalCasts) {
  int d = 0, t = 0;
  long dt = 0, ms = 0;
  ASSERT_TRUE(gdate_from_string("2024-03-05", d));
  EXPECT_EQ(d, create_gdate(2024, 3, 5));
  ASSERT_TRUE(gdate_from_string(" 2024-3-5 ", d));
  EXPECT_EQ(d, create_gdate(2024, 3, 5));
  for (const char* bad :
       {"2024-03-05 10:00", "24-03-05", "2024-03", "", "0999-01-01", "2901-01-01", "2024-02-30"})
    EXPECT_FALSE(gdate_from_string(bad, d)) << bad;
  const std::pair<const char*, int> times[] = {
      {"10:20", packTime(10, 20, 0, 0)},         {"10:20:30", packTime(10, 20, 30, 0)},
      {"10:20:30.5", packTime(10, 20, 30, 500)}, {"10:20:30.123456789", packTime(10, 20, 30, 123)},
      {"23:59:59.9999", packTime(0, 0, 0, 0)},   {"10:20:75", packTime(10, 20, 0, 0)}};
  for (const auto& [text, expected] : times) {
    ASSERT_TRUE(gtime_from_string(text, t)) << text;
    EXPECT_EQ(t, expected) << text;
  }
  for (const char* bad : {"10", "10:60", "24:00", "10:20:30.", "10:20:30.1234567891", "10:20x"})
    EXPECT_FALSE(gtime_from_string(bad, t)) << bad;
  const std::pair<const char*, long> stamps[] = {
      {"2024-03-05", msOf(2024, 3, 5)},
      {"2024-03-05 10:20", msOf(2024, 3, 5, 10, 20)},
      {"2024-03-05T10:20:30", msOf(2024, 3, 5, 10, 20, 30)},
      {"2024-03-05 10:20:30.045", msOf(2024, 3, 5, 10, 20, 30, 45)},
      {"2024-12-31 23:59:59.9999", msOf(2025, 1, 1)},
      {"9999-12-31 23:59:59.999", msOf(9999, 12, 31, 23, 59, 59, 999)}};
  for (const auto& [text, expected] : stamps) {
    ASSERT_TRUE(gtimestamp_from_string(text, ms)) << text;
    EXPECT_EQ(ms, expected) << text;
    ASSERT_TRUE(gdatetime_from_string(text, dt)) << text;
    EXPECT_EQ(dt, create_timestamp_from_ms2(expected, nullptr)) << text;
  }
  // A carry past the last supported instant (hour 24, a fraction rounded up) is refused, not wrapped.
  for (const char* bad :
       {"2024-03-05 10", "2024-03-05X10:20", "2024-03-05 10:20:60", "1999-13-01", "2900-12-31 24:00",
        "2900-12-31 23:59:59.9996", "9999-12-31 24:00", "9999-12-31 23:59:59.9999999"})
    EXPECT_FALSE(gtimestamp_from_string(bad, ms)) << bad;
  // The text written for each kind.
  char text[kDateTimeTextMax];
  EXPECT_EQ(std::string(text, convert_gdate_to_string(create_gdate(2024, 3, 5), text)), "2024-03-05");
  EXPECT_EQ(std::string(text, convert_gtime_to_string(packTime(1, 2, 3, 4), text)), "01:02:03.004");
  EXPECT_EQ(std::string(text, convert_gdatetime_to_string(dtOf(2024, 3, 5, 1, 2, 3, 4), text)),
            "2024-03-05 01:02:03.004");
}

// A leading space sends a canonical text to the general parser instead of the fixed-position reader.
TEST(DateTimeText, FixedPositionReaderMatchesGeneralParser) {
  std::mt19937_64 gen(5);
  const char digitsOrNot[] = "0123456789012345678901234567890123456789 -:.x";
  for (int k = 0; k < 200000; ++k) {
    std::string s = k % 3 == 0 ? "2024-02-29 23:59:59.999" : "1000-01-01 00:00:00";
    s.resize(k % 5 == 0 ? 10 : s.size());
    for (char& c : s)
      if (gen() % 4 == 0)
        c = digitsOrNot[gen() % (sizeof(digitsOrNot) - 1)];
    long a = 0, b = 0;
    const bool okA = gtimestamp_from_string(s, a), okB = gtimestamp_from_string(" " + s, b);
    ASSERT_EQ(okA, okB) << s;
    if (okA) {
      ASSERT_EQ(a, b) << s;
    }
    int da = 0, db = 0;
    ASSERT_EQ(gdate_from_string(s.substr(0, 10), da), gdate_from_string(" " + s.substr(0, 10), db)) << s;
    ASSERT_EQ(da, db);
    const std::string tt = s.size() > 11 ? s.substr(11) : s;
    int ta = 0, tb = 0;
    ASSERT_EQ(gtime_from_string(tt, ta), gtime_from_string(" " + tt, tb)) << tt;
    ASSERT_EQ(ta, tb);
  }
}

TEST(DateTimeParse, HostileTextsAndFormats) {
  std::mt19937_64 gen(3);
  const char alphabet[] = "0123456789 -:.,/;TtZzAaPpMmDdJjIiVvXx'\"Nn";
  for (int k = 0; k < 100000; ++k) {
    Format f{};
    const int n = static_cast<int>(gen() % 12);
    for (int i = 0; i < n; ++i)
      f.cell[31 - i] = static_cast<char>(gen() % 3 == 0 ? gen() % 256 : gen() % 137);
    std::string text(gen() % 40, ' ');
    for (char& c : text)
      c = gen() % 8 == 0 ? static_cast<char>(gen() % 256) : alphabet[gen() % (sizeof(alphabet) - 1)];
    long ms = 0;
    int d = 0, t = 0;
    if (parseTime(f, text, t)) {
      EXPECT_LT(timeToMs(t), kMsPerDay);
    }
    if (parseDate(f, text, d)) {
      EXPECT_TRUE(dYear(d) >= 1000 && (dYear(d) <= 2900 || dYear(d) == 9999));
    }
    parseTs(f, text, ms);
  }
}

// --- round trips ----------------------------------------------------------------------------------

struct RoundTrip {
  Format format;
  bool time;         // the format carries the time of day
  bool msec;         // ... with milliseconds
  bool y9999 = true; // false: the century of 9999 ("100") runs into the next digits
};

const RoundTrip kRoundTrips[] = {
    {{4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24}, true, true},
    {{5, '/', 109, '/', 99, ' ', 104, ':', 21, ':', 22, ' ', 27, '.', 135}, true, true},
    {{10, ' ', 15, ',', 6, ' ', 20, 21, 22, 23, '5', 28}, true, true},
    {{16, ' ', 4, ' ', 26, '.', 25}, true, true},
    {{128, '-', 34, 'W', 34, 131, '-', 133, ' ', 18, ':', 21, ':', 22}, true, false},
    {{128, ' ', 132, 'T', 19, ':', 21, ':', 22, '.', 23}, true, true},
    {{106, ' ', 18, 21, 22, 24}, true, true},
    {{134, ' ', 16}, false, false},
    {{3, 8, '-', 12, '-', 15, ' ', 14, ' ', 2, ' ', 29}, false, false, false},
    {{13, ',', ' ', 9, ' ', 99, ',', ' ', 4}, false, false},
};

TEST(DateTimeFormatRoundTrip, EveryTextReadsBackToItsValue) {
  std::mt19937_64 gen(17);
  const long span = kMaxTimestamp - kMinTimestamp;
  for (int k = 0; k < 20000; ++k) {
    long ms = kMinTimestamp + static_cast<long>(gen() % static_cast<unsigned long>(span + 1));
    if (k < 4)
      ms = k == 0 ? kMinTimestamp : k == 1 ? kMaxTimestamp : k == 2 ? 0 : msOf(9999, 12, 31, 23, 59, 59, 999);
    const long dt = create_timestamp_from_ms2(ms, nullptr);
    for (const RoundTrip& r : kRoundTrips) {
      const std::string text = format(dt, r.format);
      SCOPED_TRACE(text);
      const long dayMs = ((ms % kMsPerDay) + kMsPerDay) % kMsPerDay;
      long expected = ms - dayMs;
      if (r.time)
        expected += r.msec ? dayMs : dayMs - dayMs % 1000;
      if (k == 3 && !r.y9999)
        continue;
      long got = 0;
      ASSERT_TRUE(parseTs(r.format, text, got));
      EXPECT_EQ(got, expected);
      int date = 0;
      ASSERT_TRUE(parseDate(r.format, text, date));
      EXPECT_EQ(date, dateTimeToDate(dt));
      int time = 0;
      ASSERT_TRUE(parseTime(r.format, text, time));
      EXPECT_EQ(timeToMs(time), expected - (ms - dayMs));
    }
  }
}

// Every code's text, after a four-digit year, is accepted (read without failure) by the same codes.
TEST(DateTimeFormatRoundTrip, EveryCodeIsAccepted) {
  std::mt19937_64 gen(23);
  for (const CodeCase& c : kCodes) {
    if (c.code == 30 || c.code == 63)
      continue; // parse-only codes, which write nothing
    for (int k = 0; k < 2000; ++k) {
      const long ms =
          msOf(1000, 1, 1) +
          static_cast<long>(gen() % static_cast<unsigned long>(msOf(2900, 12, 31) - msOf(1000, 1, 1)));
      const long dt = create_timestamp_from_ms2(ms, nullptr);
      const Format f{4, ' ', c.code};
      const std::string text = format(dt, f);
      long got = 0;
      ASSERT_TRUE(parseTs(f, text, got)) << c.code << ": '" << text << "'";
      int date = 0;
      ASSERT_TRUE(parseDate(f, text, date)) << c.code << ": '" << text << "'";
      if (c.code != 131 && c.code != 132) { // an ISO week read in the calendar year may fall in the next
        EXPECT_EQ(dYear(date), dtYear(dt)) << c.code << ": '" << text << "'";
      }
    }
  }
}

TEST(DateTimeText, CastTextsReadBack) {
  std::mt19937_64 gen(29);
  for (int k = 0; k < 50000; ++k) {
    const long ms =
        kMinTimestamp + static_cast<long>(gen() % static_cast<unsigned long>(kMaxTimestamp - kMinTimestamp));
    const long dt = create_timestamp_from_ms2(ms, nullptr);
    char text[kDateTimeTextMax];
    long back = 0;
    ASSERT_TRUE(
        gdatetime_from_string({text, static_cast<std::size_t>(convert_gdatetime_to_string(dt, text))}, back));
    ASSERT_EQ(back, dt);
    const int d = dateTimeToDate(dt);
    int dBack = 0;
    ASSERT_TRUE(gdate_from_string({text, static_cast<std::size_t>(convert_gdate_to_string(d, text))}, dBack));
    ASSERT_EQ(dBack, d);
    const int t = timeFromMs(((ms % kMsPerDay) + kMsPerDay) % kMsPerDay);
    int tBack = 0;
    ASSERT_TRUE(gtime_from_string({text, static_cast<std::size_t>(convert_gtime_to_string(t, text))}, tBack));
    ASSERT_EQ(tBack, t);
  }
}

} // namespace
