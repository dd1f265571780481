// The calendar routines against an independent day-by-day model over the whole supported range, then
// hand-computed rows for the range ends, leap rules, field validation and text forms.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "base/Calendar.h"

using namespace vela::calendar;

namespace {

// --- the model -------------------------------------------------------------------------------------

bool modelLeap(long y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int modelMonthLength(long y, int m) {
  static const int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m >= 1 && m <= 12 ? kLengths[m - 1] + (m == 2 && modelLeap(y) ? 1 : 0) : 0;
}
// Days from 1970-01-01 to y-m-d: whole 400-year eras counted from 1 March of year 0.
long modelDaysFromCivil(long y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
// 1 = Sunday .. 7 = Saturday; 1970-01-01 was a Thursday.
int modelDayOfWeek(long days) {
  return static_cast<int>(((days + 4) % 7 + 7) % 7) + 1;
}

struct IsoWeek {
  long year;
  int week, day; // day: 1 = Monday of week 1
};
// Week 1 is the Monday-to-Sunday week holding the year's first Thursday, so a day's ISO year is the
// calendar year of the Thursday of its week.
IsoWeek modelIso(long year, int doy, int dow) {
  const int isoWeekday = dow == 1 ? 7 : dow - 1; // Monday 1 .. Sunday 7
  int thursday = doy - isoWeekday + 4;
  long isoYear = year;
  if (thursday < 1) {
    isoYear = year - 1;
    thursday += modelLeap(isoYear) ? 366 : 365;
  } else if (thursday > (modelLeap(year) ? 366 : 365)) {
    thursday -= modelLeap(year) ? 366 : 365;
    isoYear = year + 1;
  }
  const int week = (thursday - 1) / 7 + 1;
  return {isoYear, week, (week - 1) * 7 + isoWeekday};
}

std::string dateText(int date) {
  char cell[16];
  convert_date_to_charN(date, cell, sizeof cell);
  std::string s;
  for (int i = 15; i >= 0 && cell[i] != 0; --i)
    s += cell[i];
  return s;
}
std::string timeText(int time, unsigned long width = 16) {
  char cell[16];
  convert_time_to_charN(time, cell, width);
  std::string s;
  for (long i = static_cast<long>(width) - 1; i >= 0 && cell[i] != 0; --i)
    s += cell[i];
  return s;
}

// --- every day of the range --------------------------------------------------------------------------

TEST(CalendarProperty, EveryDayOfTheSupportedRangeAgreesWithTheModel) {
  long year = 1000;
  int month = 1, day = 1, doy = 1;
  long days = modelDaysFromCivil(1000, 1, 1);
  EXPECT_EQ(days * kMsPerDay, kMinTimestamp);
  int failures = 0;
  long checked = 0;
  for (; year <= 2900; ++checked, ++days) {
    // A different time of day each day, reaching every hour, minute, second and millisecond value.
    const long tod = (checked * 7919L * 1009L + checked % 1000) % kMsPerDay;
    const long ms = days * kMsPerDay + tod;
    const int dow = modelDayOfWeek(days);
    const IsoWeek iso = modelIso(year, doy, dow);

    int y = 0, m = 0, d = 0, n = 0;
    bool out = true;
    ymd_from_ms(ms, y, m, d, n, &out);
    const long dt = create_timestamp_from_ms2(ms, nullptr);
    const int date = create_gdate(static_cast<int>(year), month, day);
    int gdoy = 0, gdow = 0;
    get_day_of_year_and_week(static_cast<int>(year), month, day, gdoy, gdow);
    bool invalid = true;
    const long fromFields =
        date_to_epoch_msecs(static_cast<int>(year), month, day, static_cast<int>(tod / 3600000),
                            static_cast<int>(tod / 60000 % 60), static_cast<int>(tod / 1000 % 60),
                            static_cast<int>(tod % 1000), invalid);

    const bool ok =
        !out && y == year && m == month && d == day && n == doy && dtYear(dt) == year &&
        dtMonth(dt) == month && dtDay(dt) == day && dtDayOfYear(dt) == doy && dtDayOfWeek(dt) == dow &&
        dtHour(dt) == tod / 3600000 && dtMinute(dt) == tod / 60000 % 60 && dtSecond(dt) == tod / 1000 % 60 &&
        dtMsec(dt) == tod % 1000 && msecs_since_epoch(dt) == ms && dYear(date) == year &&
        dMonth(date) == month && dDay(date) == day && dDayOfYear(date) == doy && dDayOfWeek(date) == dow &&
        epochDaysOfDate(date) == days && gdoy == doy && gdow == dow && !invalid && fromFields == ms &&
        dateTimeToDate(dt) == date && msecs_since_epoch(dateToDateTime(date)) == days * kMsPerDay &&
        yearIso(dt) == iso.year && weekIso(dt) == iso.week && dayOfYearIso(dt) == iso.day &&
        days_in_month(static_cast<int>(year), month) == modelMonthLength(year, month);
    if (!ok && ++failures <= 5)
      ADD_FAILURE() << year << "-" << month << "-" << day << " (ms " << ms << "): ymd " << y << "-" << m
                    << "-" << d << " doy " << n << ", dt fields " << dtYear(dt) << "-" << dtMonth(dt) << "-"
                    << dtDay(dt) << " dow " << dtDayOfWeek(dt) << " (model " << dow << "), iso "
                    << yearIso(dt) << "/" << weekIso(dt) << "/" << dayOfYearIso(dt) << " (model " << iso.year
                    << "/" << iso.week << "/" << iso.day << ")";
    // The four-year-cycle fast path is exact from 1901 to 2099.
    if (year >= 1901 && year <= 2099 && (year_from_ms(ms) != year || month_from_ms(ms) != month) &&
        ++failures <= 5)
      ADD_FAILURE() << year << "-" << month << "-" << day << ": fast path gives " << year_from_ms(ms) << "-"
                    << month_from_ms(ms);

    ++doy;
    if (++day > modelMonthLength(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        doy = 1;
        ++year;
      }
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(days * kMsPerDay - 1, kMaxTimestamp);
  EXPECT_EQ(checked, modelDaysFromCivil(2901, 1, 1) - modelDaysFromCivil(1000, 1, 1));
}

// --- table ----------------------------------------------------------------------------------------------

struct MsRow {
  long ms;
  int year, month, day, hour, minute, second, msec, dow;
  bool outOfRange;
};

TEST(CalendarTable, TimestampsAtTheRangeEndsAndAroundTheEpoch) {
  const MsRow rows[] = {
      {0, 1970, 1, 1, 0, 0, 0, 0, 5, false},
      {-1, 1969, 12, 31, 23, 59, 59, 999, 4, false},
      {-30610224000000, 1000, 1, 1, 0, 0, 0, 0, 4, false},
      {-30610224000001, 999, 12, 31, 23, 59, 59, 999, 3, true},
      {29379542399999, 2900, 12, 31, 23, 59, 59, 999, 6, false},
      {29379542400000, 2901, 1, 1, 0, 0, 0, 0, 7, true},
  };
  for (const MsRow& r : rows) {
    SCOPED_TRACE(r.ms);
    int y, m, d, n;
    bool out = !r.outOfRange;
    ymd_from_ms(r.ms, y, m, d, n, &out);
    EXPECT_EQ(out, r.outOfRange);
    EXPECT_EQ(y * 10000 + m * 100 + d, r.year * 10000 + r.month * 100 + r.day);
    const long dt = create_timestamp_from_ms2(r.ms, &out);
    EXPECT_EQ(out, r.outOfRange);
    EXPECT_EQ(dtHour(dt) * 10000000 + dtMinute(dt) * 100000 + dtSecond(dt) * 1000 + dtMsec(dt),
              r.hour * 10000000 + r.minute * 100000 + r.second * 1000 + r.msec);
    EXPECT_EQ(dtDayOfWeek(dt), r.dow);
  }
}

TEST(CalendarTable, CenturyLeapRules) {
  const struct {
    int year;
    bool leap;
  } rows[] = {{1600, true},  {1700, false}, {1800, false}, {1900, false}, {2000, true},
              {2100, false}, {2400, true},  {2024, true},  {2023, false}, {1004, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.year);
    EXPECT_EQ(isLeapYear(r.year), r.leap);
    EXPECT_EQ(days_in_month(r.year, 2), r.leap ? 29 : 28);
    bool invalid = false;
    date_to_epoch_msecs(r.year, 2, 29, 0, 0, 0, 0, invalid);
    EXPECT_EQ(invalid, !r.leap);
    // 1 March is day 60 of a common year and day 61 of a leap year.
    EXPECT_EQ(dDayOfYear(create_gdate(r.year, 3, 1)), r.leap ? 61 : 60);
  }
  EXPECT_EQ(days_in_month(2024, 13), 0);
  EXPECT_EQ(days_in_month(2024, 0), 0);
  EXPECT_EQ(days_in_month(2024, -2147483647 - 1), 0);
}

TEST(CalendarTable, FieldValidationOfDateToEpoch) {
  const long jan2 = 1704153600000; // 2024-01-02 00:00:00 UTC
  // clang-format off
  const struct {
    int year, month, day, hour, minute, second, msec;
    bool invalid;
    long ms;
  } rows[] = {
      {2024, 1, 1, 24, 0, 0, 0, false, jan2}, // hour 24 is the next midnight
      {2024, 1, 2, 0, 0, 0, 0, false, jan2}, {2024, 1, 1, 25, 0, 0, 0, true, 0},
      {2024, 1, 1, -1, 0, 0, 0, true, 0}, {2024, 1, 1, 0, -1, 0, 0, true, 0},
      {2024, 1, 1, 0, 0, -1, 0, true, 0}, {2024, 1, 1, 0, 0, 0, -1, true, 0},
      {2024, 1, 1, 0, 60, 0, 0, true, 0}, {2024, 1, 1, 0, 0, 60, 0, true, 0},
      {2024, 1, 1, 0, 0, 0, 1000, true, 0}, {2024, 1, 0, 0, 0, 0, 0, true, 0},
      {2024, 0, 1, 0, 0, 0, 0, true, 0}, {2024, 13, 1, 0, 0, 0, 0, true, 0},
      {2024, 4, 31, 0, 0, 0, 0, true, 0}, {2023, 2, 29, 0, 0, 0, 0, true, 0},
      {2024, 2, 29, 23, 59, 59, 999, false, 1709251199999}, {2000, 2, 29, 0, 0, 0, 0, false, 951782400000},
      {1900, 2, 29, 0, 0, 0, 0, true, 0}, {2024, -2147483647 - 1, 1, 0, 0, 0, 0, true, 0},
      {2024, 1, -2147483647 - 1, 0, 0, 0, 0, true, 0},
  };
  // clang-format on
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.year << "-" << r.month << "-" << r.day << " " << r.hour << ":"
                                    << r.minute << ":" << r.second << "." << r.msec);
    bool invalid = !r.invalid;
    EXPECT_EQ(date_to_epoch_msecs(r.year, r.month, r.day, r.hour, r.minute, r.second, r.msec, invalid), r.ms);
    EXPECT_EQ(invalid, r.invalid);
    if (r.msec == 0 || r.msec == 999) {
      invalid = !r.invalid;
      EXPECT_EQ(date_to_epoch_secs(r.year, r.month, r.day, r.hour, r.minute, r.second, invalid),
                r.invalid ? 0 : r.ms / 1000);
      EXPECT_EQ(invalid, r.invalid);
    }
  }
}

TEST(CalendarTable, IsoWeeksAroundTheTurnOfTheYear) {
  const struct {
    int year, month, day, isoYear, isoDay;
  } rows[] = {
      {2021, 1, 1, 2020, 369},   // a Friday: week 53 of 2020
      {2024, 12, 30, 2025, 1},   // a Monday: day 1 of 2025
      {2018, 12, 31, 2019, 1},   // a Monday
      {2020, 12, 31, 2020, 368}, // a Thursday: week 53
      {2015, 1, 1, 2015, 4},     // a Thursday: week 1
      {2010, 1, 3, 2009, 371},   // a Sunday: week 53 of 2009
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.year << "-" << r.month << "-" << r.day);
    bool invalid = false;
    const long dt =
        create_timestamp_from_ms2(date_to_epoch_msecs(r.year, r.month, r.day, 12, 0, 0, 0, invalid), nullptr);
    EXPECT_EQ(yearIso(dt), r.isoYear);
    EXPECT_EQ(dayOfYearIso(dt), r.isoDay);
    EXPECT_EQ(weekIso(dt), (r.isoDay - 1) / 7 + 1);
  }
}

TEST(CalendarTable, YearFieldOf9999AndTextForms) {
  const int last = create_gdate(9999, 12, 31);
  EXPECT_EQ(dYearField(last), kYear9999Field);
  EXPECT_EQ(dYear(last), 9999);
  EXPECT_EQ(dateText(last), "9999-12-31");
  EXPECT_EQ(dYearField(create_gdate(12000, 1, 1)), kYear9999Field);
  EXPECT_EQ(dateText(create_gdate(1000, 1, 1)), "1000-01-01");
  EXPECT_EQ(dateText(create_gdate(2024, 2, 29)), "2024-02-29");
  EXPECT_EQ(timeText(packTime(23, 5, 9, 7)), "23:05:09.007");
  EXPECT_EQ(timeText(packTime(0, 0, 0, 0)), "00:00:00.000");
  EXPECT_EQ(timeText(packTime(12, 34, 56, 789), 5), "12:34"); // cut at the cell's width
  // 9999-01-01 is 3651694 days after 0001-01-01.
  const long dt = packDateTime(9999, 1, 1, 0, 0, 0, 0, 1, 6);
  EXPECT_EQ(dtYearField(dt), kYear9999Field);
  EXPECT_EQ(msecs_since_epoch(dt), (modelDaysFromCivil(9999, 1, 1)) * kMsPerDay);
  EXPECT_EQ(modelDayOfWeek(modelDaysFromCivil(9999, 1, 1)), 6);
}

TEST(CalendarTable, FastPathOutsideItsExactSpan) {
  // The four-year cycle counts 2100 as leap; the month uses the true rule of the year found.
  const struct {
    int year, month, day, fastYear, fastMonth;
  } rows[] = {
      {2100, 2, 28, 2100, 2}, {2100, 3, 1, 2100, 3},    {2100, 12, 31, 2100, 12}, {2101, 1, 1, 2100, 12},
      {2101, 2, 1, 2101, 1},  {2099, 12, 31, 2099, 12}, {1901, 1, 1, 1901, 1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.year << "-" << r.month << "-" << r.day);
    bool invalid = false;
    const long ms = date_to_epoch_msecs(r.year, r.month, r.day, 0, 0, 0, 0, invalid);
    EXPECT_EQ(year_from_ms(ms), r.fastYear);
    EXPECT_EQ(month_from_ms(ms), r.fastMonth);
  }
}

TEST(CalendarTable, HostileInputsStayDefined) {
  // Extreme values must not trip the sanitizer build; their fields are unspecified.
  for (long ms : {-9223372036854775807L - 1, 9223372036854775807L, -kEpochOffsetMs - 1}) {
    int y, m, d, n;
    bool out = false;
    ymd_from_ms(ms, y, m, d, n, &out);
    EXPECT_TRUE(out);
    (void)msecs_since_epoch(create_timestamp_from_ms2(ms, nullptr));
    (void)year_from_ms(ms);
    (void)month_from_ms(ms);
  }
  for (long dt : {-1L, 0L, -9223372036854775807L - 1, 9223372036854775807L}) {
    (void)msecs_since_epoch(dt);
    (void)yearIso(dt);
    EXPECT_GE(weekIso(dt), -100);
  }
  for (int year : {-2147483647 - 1, 2147483647}) {
    int doy, dow;
    get_day_of_year_and_week(year, 12, 31, doy, dow);
    EXPECT_GE(dow, 1);
    EXPECT_LE(dow, 7);
    bool invalid = false;
    (void)date_to_epoch_msecs(year, 1, 1, 0, 0, 0, 0, invalid);
    (void)create_gdate(year, 1, 2147483647);
  }
}

} // namespace
