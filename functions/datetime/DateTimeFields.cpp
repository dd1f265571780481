// DateTime family: field extraction from datetimes, timestamps, dates and times, day and month names,
// epoch values, last and next days, and datetimes built from a date and a time.
//
// Datetime, date and time fields are read as stored (a shift and a mask), so a packed value with
// out-of-range fields gives those fields back. Timestamp fields come from the four-year-cycle
// decomposition (exact from 1901 to 2099) and plain divisions for the time of day. A name op given a
// month or day of week outside its table writes an empty (all-zero) cell.

#include "base/Calendar.h"
#include "base/CalendarNames.h"
#include "cuda/EvalElementHandler.h"
#include "functions/datetime/Intervals.h"

namespace vela::cuda {

namespace {

using namespace vela::calendar;
using Name = fixed_array_t<16>;

template <int (*Get)(long)>
struct DateTimeFieldFunc {
  int operator()(long dt) const { return Get(dt); }
};
template <int (*Get)(int)>
struct PackedFieldFunc {
  int operator()(int v) const { return Get(v); }
};

constexpr int dtQuarter(long dt) {
  return (dtMonth(dt) - 1) / 3 + 1;
}
constexpr int dtWeek(long dt) {
  return (dtDayOfYear(dt) - dtDayOfWeek(dt) + 6) / 7 + 1;
}
constexpr int dQuarter(int d) {
  return (dMonth(d) - 1) / 3 + 1;
}
constexpr int dWeek(int d) {
  return (dDayOfYear(d) - dDayOfWeek(d) + 6) / 7 + 1;
}
constexpr int dYearMonth(int d) {
  return dYear(d) * 100 + dMonth(d);
}

// --- timestamps by the four-year-cycle method -------------------------------------------------------

constexpr long shiftedMs(long ts) {
  return wrapAdd(ts, kEpochOffsetMs);
}
constexpr int tsMonth(long ts) {
  return month_from_ms(ts);
}
constexpr int tsQuarter(long ts) {
  return (month_from_ms(ts) - 1) / 3 + 1;
}
constexpr int tsDay(long ts) {
  int month = 1, day = 1;
  monthDayFromDayOfYear(fastDayOfYear(ts), isLeapYear(year_from_ms(ts)), month, day);
  return day;
}
constexpr int tsHour(long ts) {
  return static_cast<int>(shiftedMs(ts) / 3600000 % 24);
}
constexpr int tsMinute(long ts) {
  return static_cast<int>(shiftedMs(ts) / 60000 % 60);
}
constexpr int tsSecond(long ts) {
  return static_cast<int>(shiftedMs(ts) / 1000 % 60);
}
constexpr int tsMsec(long ts) {
  return static_cast<int>(shiftedMs(ts) % 1000);
}
/// Day of week from whole days since 1901-01-01 (a Tuesday), the quotient truncated as in the other
/// fast-path fields; 2555002 = 2 mod 7 keeps the sum positive across the supported range.
constexpr int tsDayOfWeek(long ts) {
  return mod7(wrapAdd(ts, kFastAnchorMs) / kMsPerDay + 2555002) + 1;
}
constexpr int tsDayOfYear(long ts) {
  return fastDayOfYear(ts);
}
constexpr int tsWeek(long ts) {
  return (fastDayOfYear(ts) - tsDayOfWeek(ts) + 6) / 7 + 1;
}

// --- names -------------------------------------------------------------------------------------------

inline Name nameCell(const NameCell& cell) {
  Name out;
  for (int i = 0; i < 16; ++i)
    out.bytes[i] = static_cast<unsigned char>(cell.bytes[i]);
  return out;
}
inline Name monthName(int month) {
  return static_cast<unsigned>(month - 1) < 12u ? nameCell(month_names[month - 1]) : Name{};
}
inline Name dayName(int dow) {
  return static_cast<unsigned>(dow - 1) < 7u ? nameCell(day_names[dow - 1]) : Name{};
}

struct DateTimeMonthNameFunc {
  Name operator()(long dt) const { return monthName(dtMonth(dt)); }
};
struct DateTimeDayNameFunc {
  Name operator()(long dt) const { return dayName(dtDayOfWeek(dt)); }
};
struct TimestampMonthNameFunc {
  Name operator()(long ts) const { return monthName(month_from_ms(ts)); }
};
struct TimestampDayNameFunc {
  Name operator()(long ts) const { return dayName(tsDayOfWeek(ts)); }
};
struct DateMonthNameFunc {
  Name operator()(int d) const { return monthName(dMonth(d)); }
};
struct DateDayNameFunc {
  Name operator()(int d) const { return dayName(dDayOfWeek(d)); }
};

// --- epoch values ------------------------------------------------------------------------------------

struct DateTimeToEpochMsFunc {
  long operator()(long dt) const { return msecs_since_epoch(dt); }
};
struct DateTimeToEpochSecondsFunc {
  long operator()(long dt) const { return timestampPart(TimeInterval::EpochSeconds, dt); }
};
// A date's year field spans 876..2922 or 9999 and its day of year at most 511, so the products fit.
struct DateToEpochMsFunc {
  long operator()(int d) const { return epochDaysOfDate(d) * kMsPerDay; }
};
struct DateToEpochSecondsFunc {
  long operator()(int d) const { return epochDaysOfDate(d) * 86400; }
};

// --- unit fields -------------------------------------------------------------------------------------

struct DateTimePartFunc {
  long operator()(int unit, long dt) const { return timestampPart(toTimeInterval(unit), dt); }
};

/// Field of a time by unit: 0 millisecond, 1 second, 2 minute, 3 hour, 11 milliseconds since midnight,
/// 12 whole seconds since midnight (the time-of-day forms of the epoch units); date units and units
/// above 12 give 0, as the datetime form gives 0 for a unit it does not know.
struct TimePartFunc {
  long operator()(int unit, int t) const {
    switch (toTimeInterval(unit)) {
    case TimeInterval::Millisecond:
      return tMsec(t);
    case TimeInterval::Second:
      return tSecond(t);
    case TimeInterval::Minute:
      return tMinute(t);
    case TimeInterval::Hour:
      return tHour(t);
    case TimeInterval::EpochMilliseconds:
      return timeToMs(t);
    case TimeInterval::EpochSeconds:
      return timeToMs(t) / 1000;
    default:
      return 0;
    }
  }
};

// --- calendar days -----------------------------------------------------------------------------------

/// The packed date of a day counted from 1970-01-01.
inline int dateOfEpochDays(long days) {
  return dateTimeToDate(create_timestamp_from_ms2(days * kMsPerDay, nullptr));
}

/// The last day of the month of the datetime's instant (its year and day of year), February by the leap
/// rule.
struct LastDayFunc {
  int operator()(long dt) const {
    int year, month, day, doy;
    ymd_from_ms(epochDaysOfDateTime(dt) * kMsPerDay, year, month, day, doy, nullptr);
    return create_gdate(year, month, days_in_month(year, month));
  }
};

/// The first day after the value's day that falls on the given day of week (1 = Sunday .. 7 =
/// Saturday): one to seven days later. A day of week outside 1..7 is taken modulo 7 (0 is Saturday, 8 is
/// Sunday), so every operand names a day. The value's day of week is that of its instant.
inline int nextDay(long days, int dayOfWeek) {
  const int today = mod7(days + 4) + 1; // 1970-01-01 (day 0) is a Thursday, 5
  return dateOfEpochDays(days + mod7(static_cast<long>(dayOfWeek) - today - 1) + 1);
}
struct DateTimeNextDayFunc {
  int operator()(long dt, int dayOfWeek) const { return nextDay(epochDaysOfDateTime(dt), dayOfWeek); }
};
struct DateNextDayFunc {
  int operator()(int d, int dayOfWeek) const { return nextDay(epochDaysOfDate(d), dayOfWeek); }
};

/// The datetime of a date's fields and a time's fields. The time's hour field (6 bits) is cut to the
/// datetime's 5 bits; the date's day of year and day of week are kept as stored.
struct DateTimeFromDateTimeFunc {
  long operator()(int d, int t) const {
    return packDateTime(dYear(d), dMonth(d), dDay(d), tHour(t), tMinute(t), tSecond(t), tMsec(t),
                        dDayOfYear(d), dDayOfWeek(d));
  }
};

template <int (*Get)(long)>
using DtField = ElementwiseOp<DateTimeFieldFunc<Get>, int, long>;
template <int (*Get)(int)>
using PackedField = ElementwiseOp<PackedFieldFunc<Get>, int, int>;

const OpRegistration kOps[] = {
    // datetime fields; 1399-1409 are the second codes of 1378-1388
    opEntry<DtField<dtYear>>(1378),
    opEntry<DtField<dtYear>>(1399),
    opEntry<DtField<dtQuarter>>(1379),
    opEntry<DtField<dtQuarter>>(1400),
    opEntry<DtField<dtMonth>>(1380),
    opEntry<DtField<dtMonth>>(1401),
    opEntry<DtField<dtWeek>>(1381),
    opEntry<DtField<dtWeek>>(1402),
    opEntry<DtField<dtDay>>(1382),
    opEntry<DtField<dtDay>>(1403),
    opEntry<DtField<dtHour>>(1383),
    opEntry<DtField<dtHour>>(1404),
    opEntry<DtField<dtMinute>>(1384),
    opEntry<DtField<dtMinute>>(1405),
    opEntry<DtField<dtSecond>>(1385),
    opEntry<DtField<dtSecond>>(1406),
    opEntry<DtField<dtMsec>>(1386),
    opEntry<DtField<dtMsec>>(1407),
    opEntry<DtField<dtDayOfWeek>>(1387),
    opEntry<DtField<dtDayOfWeek>>(1408),
    opEntry<DtField<dtDayOfYear>>(1388),
    opEntry<DtField<dtDayOfYear>>(1409),
    opEntry<ElementwiseOp<DateTimeToEpochMsFunc, long, long>>(1392),
    opEntry<ElementwiseOp<DateTimeToEpochMsFunc, long, long>>(1418),
    opEntry<ElementwiseOp<DateTimeToEpochSecondsFunc, long, long>>(1393),
    opEntry<ElementwiseOp<DateTimeToEpochSecondsFunc, long, long>>(1419),
    opEntry<ElementwiseOp<DateTimeMonthNameFunc, Name, long>>(1394),
    opEntry<ElementwiseOp<DateTimeMonthNameFunc, Name, long>>(1422),
    opEntry<ElementwiseOp<LastDayFunc, int, long>>(1395),
    opEntry<ElementwiseOp<LastDayFunc, int, long>>(1423),
    opEntry<ElementwiseOp<DateTimeNextDayFunc, int, long, int>>(1396),
    opEntry<ElementwiseOp<DateTimeNextDayFunc, int, long, int>>(1424),
    opEntry<ElementwiseOp<DateTimeDayNameFunc, Name, long>>(1398),
    opEntry<ElementwiseOp<DateTimeDayNameFunc, Name, long>>(1426),
    opEntry<ElementwiseOp<DateTimePartFunc, long, int, long>>(1415),
    opEntry<ElementwiseOp<DateTimeFromDateTimeFunc, long, int, int>>(1437),
    opEntry<ElementwiseOp<DateTimeFromDateTimeFunc, long, int, int>>(1439),
    // timestamp fields
    opEntry<DtField<year_from_ms>>(1441),
    opEntry<DtField<tsQuarter>>(1442),
    opEntry<DtField<tsMonth>>(1443),
    opEntry<DtField<tsWeek>>(1444),
    opEntry<DtField<tsDay>>(1445),
    opEntry<DtField<tsHour>>(1446),
    opEntry<DtField<tsMinute>>(1447),
    opEntry<DtField<tsSecond>>(1448),
    opEntry<DtField<tsMsec>>(1449),
    opEntry<DtField<tsDayOfWeek>>(1450),
    opEntry<DtField<tsDayOfYear>>(1451),
    opEntry<ElementwiseOp<TimestampMonthNameFunc, Name, long>>(1457),
    opEntry<ElementwiseOp<TimestampDayNameFunc, Name, long>>(1458),
    // date fields
    opEntry<PackedField<dYear>>(1461),
    opEntry<PackedField<dQuarter>>(1462),
    opEntry<PackedField<dMonth>>(1463),
    opEntry<PackedField<dWeek>>(1464),
    opEntry<PackedField<dDay>>(1465),
    opEntry<PackedField<dDayOfWeek>>(1466),
    opEntry<PackedField<dDayOfYear>>(1467),
    opEntry<ElementwiseOp<DateMonthNameFunc, Name, int>>(1468),
    opEntry<PackedField<dYearMonth>>(1469),
    opEntry<ElementwiseOp<DateNextDayFunc, int, int, int>>(1470),
    opEntry<ElementwiseOp<DateDayNameFunc, Name, int>>(1472),
    opEntry<ElementwiseOp<DateToEpochMsFunc, long, int>>(1473),
    opEntry<ElementwiseOp<DateToEpochSecondsFunc, long, int>>(1475),
    // time fields
    opEntry<PackedField<tHour>>(1478),
    opEntry<PackedField<tMinute>>(1479),
    opEntry<PackedField<tSecond>>(1480),
    opEntry<PackedField<tMsec>>(1481),
    opEntry<ElementwiseOp<TimePartFunc, long, int, int>>(1484),
};

[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::DateTime, kOps);

} // namespace

} // namespace vela::cuda
