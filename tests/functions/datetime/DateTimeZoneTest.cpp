// CONVERT_TZ and TimezoneUtils: daylight-saving gaps and overlaps in zones of both hemispheres and with
// half-hour offsets, expected instants worked out by hand from the published transition dates (2024):
//   America/New_York  EST -5 / EDT -4: forward 03-10 02:00 local (07:00 UTC), back 11-03 02:00 (06:00 UTC)
//   Europe/Berlin     CET +1 / CEST +2: forward 03-31 02:00 local (01:00 UTC), back 10-27 03:00 (01:00 UTC)
//   Australia/Sydney  AEST +10 / AEDT +11: back 04-07 03:00 local (04-06 16:00 UTC), forward 10-06 02:00
//                     local (10-05 16:00 UTC)
//   Australia/Lord_Howe +10:30 / +11 (a 30-minute shift): back 04-07 02:00 local (04-06 15:00 UTC),
//                     forward 10-06 02:00 local (10-05 15:30 UTC)
//   Asia/Kolkata      +5:30, no daylight saving
// A local time in a gap is read with the offset before the gap, one in an overlap as its first
// occurrence.
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "cuda/ManagedObjects.h"

#include "functions/datetime/TimezoneUtils.h"
#include "tests/functions/datetime/DateTimeZoneTestModel.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using dtmodel::dt;
using vela::cuda::TimezoneUtils;
using vela::cuda::ZoneIntervalCache;

namespace {

/// A heap string for a string constant; freed with the object.
struct OwnedString {
  using Buffer = vela::cuda::InlineBuffer<char>;
  std::unique_ptr<Buffer, void (*)(Buffer*)> p;
  explicit OwnedString(const std::string& text)
      : p(Buffer::allocate(text.size()), [](Buffer* b) { Buffer::deallocate(b); }) {
    if (!text.empty())
      std::memcpy(p->data(), text.data(), text.size());
  }
};

constexpr TypedRpnOp kFromUtc = 1433, kFromUtc2 = 1434, kToUtc = 1435, kToUtc2 = 1436;

struct ZoneCase {
  const char* zone;
  bool toUtc; // true: the datetime is local in `zone`, the result UTC
  long in;
  long out;
};

const std::vector<ZoneCase> kCases = {
    // New York: the last moment before the gap, inside it (02:30 is read as EST, i.e. 03:30 EDT), after it
    {"America/New_York", true, dt(2024, 3, 10, 1, 59, 59, 999), dt(2024, 3, 10, 6, 59, 59, 999)},
    {"America/New_York", true, dt(2024, 3, 10, 2, 30), dt(2024, 3, 10, 7, 30)},
    {"America/New_York", true, dt(2024, 3, 10, 3, 0), dt(2024, 3, 10, 7, 0)},
    // the overlap 01:00-01:59 of 11-03 is read as EDT (the first occurrence); 02:00 is EST only
    {"America/New_York", true, dt(2024, 11, 3, 0, 59, 59, 999), dt(2024, 11, 3, 4, 59, 59, 999)},
    {"America/New_York", true, dt(2024, 11, 3, 1, 30), dt(2024, 11, 3, 5, 30)},
    {"America/New_York", true, dt(2024, 11, 3, 2, 0), dt(2024, 11, 3, 7, 0)},
    {"America/New_York", false, dt(2024, 3, 10, 6, 59, 59, 999), dt(2024, 3, 10, 1, 59, 59, 999)},
    {"America/New_York", false, dt(2024, 3, 10, 7, 0), dt(2024, 3, 10, 3, 0)},
    {"America/New_York", false, dt(2024, 11, 3, 5, 59, 59, 999), dt(2024, 11, 3, 1, 59, 59, 999)},
    {"America/New_York", false, dt(2024, 11, 3, 6, 0), dt(2024, 11, 3, 1, 0)},
    // Berlin
    {"Europe/Berlin", true, dt(2024, 3, 31, 2, 30), dt(2024, 3, 31, 1, 30)},
    {"Europe/Berlin", true, dt(2024, 10, 27, 2, 30), dt(2024, 10, 27, 0, 30)},
    {"Europe/Berlin", false, dt(2024, 10, 27, 0, 59, 59, 999), dt(2024, 10, 27, 2, 59, 59, 999)},
    {"Europe/Berlin", false, dt(2024, 10, 27, 1, 0), dt(2024, 10, 27, 2, 0)},
    // Sydney (southern hemisphere: summer time across the new year)
    {"Australia/Sydney", true, dt(2024, 10, 6, 2, 30), dt(2024, 10, 5, 16, 30)},
    {"Australia/Sydney", true, dt(2024, 4, 7, 2, 30), dt(2024, 4, 6, 15, 30)},
    {"Australia/Sydney", true, dt(2024, 4, 7, 3, 0), dt(2024, 4, 6, 17, 0)},
    {"Australia/Sydney", true, dt(2024, 1, 1, 10, 0), dt(2023, 12, 31, 23, 0)},
    {"Australia/Sydney", false, dt(2024, 4, 6, 15, 59, 59, 999), dt(2024, 4, 7, 2, 59, 59, 999)},
    {"Australia/Sydney", false, dt(2024, 4, 6, 16, 0), dt(2024, 4, 7, 2, 0)},
    {"Australia/Sydney", false, dt(2024, 10, 5, 16, 0), dt(2024, 10, 6, 3, 0)},
    // Lord Howe: half-hour shifts
    {"Australia/Lord_Howe", true, dt(2024, 10, 6, 2, 15), dt(2024, 10, 5, 15, 45)},
    {"Australia/Lord_Howe", true, dt(2024, 4, 7, 1, 45), dt(2024, 4, 6, 14, 45)},
    {"Australia/Lord_Howe", false, dt(2024, 10, 5, 15, 30), dt(2024, 10, 6, 2, 30)},
    {"Australia/Lord_Howe", false, dt(2024, 4, 6, 15, 0), dt(2024, 4, 7, 1, 30)},
    // Kolkata: across a year end and into a leap day
    {"Asia/Kolkata", true, dt(2024, 1, 1, 0, 0), dt(2023, 12, 31, 18, 30)},
    {"Asia/Kolkata", false, dt(2024, 2, 28, 20, 0, 0, 1), dt(2024, 2, 29, 1, 30, 0, 1)},
    {"UTC", false, dt(2024, 2, 29, 12, 34, 56, 789), dt(2024, 2, 29, 12, 34, 56, 789)},
    // After 2037, beyond the transitions the zone files list, the zones' yearly rules still hold:
    // New York 2040 switches on the second Sunday of March (the 11th) and the first of November (the
    // 4th); 2100 is a common year; Sydney keeps summer time over the southern summer.
    {"America/New_York", false, dt(2040, 7, 1, 12, 0), dt(2040, 7, 1, 8, 0)},
    {"America/New_York", true, dt(2040, 3, 11, 2, 30), dt(2040, 3, 11, 7, 30)},
    {"America/New_York", true, dt(2040, 3, 11, 1, 59), dt(2040, 3, 11, 6, 59)},
    {"America/New_York", true, dt(2040, 11, 4, 1, 30), dt(2040, 11, 4, 5, 30)},
    {"America/New_York", true, dt(2100, 7, 1, 12, 0), dt(2100, 7, 1, 16, 0)},
    {"America/New_York", true, dt(2100, 1, 1, 12, 0), dt(2100, 1, 1, 17, 0)},
    {"Australia/Sydney", false, dt(2044, 1, 15, 0, 0), dt(2044, 1, 15, 11, 0)},
    {"Australia/Sydney", false, dt(2044, 7, 15, 0, 0), dt(2044, 7, 15, 10, 0)},
    {"Asia/Kolkata", false, dt(2050, 7, 1, 0, 0), dt(2050, 7, 1, 5, 30)}};

TEST(TimezoneUtils, GapsOverlapsAndHalfHourOffsets) {
  for (const ZoneCase& c : kCases) {
    SCOPED_TRACE(std::string(c.zone) + (c.toUtc ? " to UTC" : " from UTC"));
    const auto* zone = TimezoneUtils::locateZone(c.zone);
    ASSERT_NE(zone, nullptr);
    const auto* utc = TimezoneUtils::utcZone();
    long out = -1;
    ASSERT_TRUE(c.toUtc ? TimezoneUtils::convertTimezone(zone, utc, c.in, out)
                        : TimezoneUtils::convertTimezone(utc, zone, c.in, out));
    EXPECT_EQ(out, c.out);
  }
}

TEST(TimezoneUtils, RefusalsLeaveTheOutputAlone) {
  const auto* utc = TimezoneUtils::utcZone();
  const auto* tokyo = TimezoneUtils::locateZone("Asia/Tokyo");
  const auto* kiritimati = TimezoneUtils::locateZone("Pacific/Kiritimati");
  ASSERT_NE(tokyo, nullptr);
  ASSERT_NE(kiritimati, nullptr);
  EXPECT_EQ(TimezoneUtils::locateZone("Mars/Olympus_Mons"), nullptr);
  EXPECT_EQ(TimezoneUtils::locateZone(""), nullptr);
  long out = 42;
  EXPECT_FALSE(TimezoneUtils::convertTimezone(nullptr, utc, dt(2024, 1, 1), out));
  EXPECT_FALSE(TimezoneUtils::convertTimezone(utc, nullptr, dt(2024, 1, 1), out));
  // +14 hours past the last supported day; Tokyo's local mean time (+9:18:59) before the first one
  EXPECT_FALSE(TimezoneUtils::convertTimezone(utc, kiritimati, dt(2900, 12, 31, 12, 0), out));
  EXPECT_FALSE(TimezoneUtils::convertTimezone(tokyo, utc, dt(1000, 1, 1, 5, 0), out));
  EXPECT_FALSE(TimezoneUtils::convertTimezone(utc, utc, dt(9999, 12, 31), out));
  EXPECT_EQ(out, 42);
  // the edges themselves convert
  EXPECT_TRUE(TimezoneUtils::convertTimezone(utc, utc, dt(1000, 1, 1), out));
  EXPECT_EQ(out, dt(1000, 1, 1));
  EXPECT_TRUE(TimezoneUtils::convertTimezone(utc, kiritimati, dt(2900, 12, 31, 9, 59, 59, 999), out));
  EXPECT_EQ(out, dt(2900, 12, 31, 23, 59, 59, 999));
}

// The interval caches must give what a fresh lookup gives, value after value, across every transition
// of a year (a step that is not a divisor of an hour walks through each gap and overlap).
TEST(TimezoneUtils, CachedIntervalsAgreeWithFreshLookups) {
  const auto* utc = TimezoneUtils::utcZone();
  for (const char* name : {"America/New_York", "Europe/Berlin", "Australia/Sydney", "Australia/Lord_Howe",
                           "America/Santiago", "Asia/Kolkata", "UTC"}) {
    SCOPED_TRACE(name);
    const auto* zone = TimezoneUtils::locateZone(name);
    ASSERT_NE(zone, nullptr);
    for (bool toUtc : {false, true}) {
      ZoneIntervalCache zoneCache, utcCache;
      vela::cuda::CalendarDayCache days;
      int mismatches = 0;
      // 2024, and 2037 to 2040 across the end of the years the zone files list; then impossible field
      // patterns between valid values (the day caches key on the fields they read).
      std::vector<long> sweep;
      for (auto [from, to] : {std::pair{dtmodel::msOf(2023, 12, 20), dtmodel::msOf(2025, 1, 10)},
                              std::pair{dtmodel::msOf(2036, 12, 20), dtmodel::msOf(2041, 1, 10)}})
        for (long ms = from; ms < to; ms += 17 * 60'000 + 7)
          sweep.push_back(vela::calendar::create_timestamp_from_ms2(ms, nullptr));
      sweep.insert(sweep.end(),
                   {-1L, 0L, LONG_MIN, dt(2024, 3, 10, 2, 30) | 0x1F, dt(2024, 7, 1) + (300L << 8),
                    dt(2024, 7, 1, 12), dt(2024, 7, 1) | (31L << 39), dt(2024, 7, 2)});
      for (long in : sweep) {
        long cached = 0, fresh = 0;
        const bool a = toUtc
                           ? TimezoneUtils::convertTimezone(zone, zoneCache, utc, utcCache, days, in, cached)
                           : TimezoneUtils::convertTimezone(utc, utcCache, zone, zoneCache, days, in, cached);
        const bool b = toUtc ? TimezoneUtils::convertTimezone(zone, utc, in, fresh)
                             : TimezoneUtils::convertTimezone(utc, zone, in, fresh);
        mismatches += a != b || cached != fresh;
      }
      EXPECT_EQ(mismatches, 0) << (toUtc ? "to UTC" : "from UTC");
    }
  }
}

// The ops: every case in one column of names (so the batch's name cache sees several zones), in both
// codes of each direction, with the name as a constant too.
TEST(ConvertTz, OpsMatchTheHandWorkedInstants) {
  for (bool toUtc : {false, true})
    for (TypedRpnOp code :
         toUtc ? std::vector<TypedRpnOp>{kToUtc, kToUtc2} : std::vector<TypedRpnOp>{kFromUtc, kFromUtc2}) {
      SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
      std::vector<std::optional<std::string>> names;
      std::vector<long> in, out;
      for (const ZoneCase& c : kCases)
        if (c.toUtc == toUtc) {
          names.emplace_back(c.zone);
          in.push_back(c.in);
          out.push_back(c.out);
        }
      HarnessCase(Program().column(kLoadString, 0).column(kLoadI64, 1).op(code))
          .addStringColumn(names)
          .addColumn(in)
          .expectRows(out);

      for (std::size_t r = 0; r < in.size(); ++r) {
        const OwnedString name(*names[r]);
        HarnessCase(Program().pointerConstant(kConstString, name.p.get()).column(kLoadI64, 0).op(code))
            .addColumn(std::vector<long>{in[r]})
            .expectRows(std::vector<long>{out[r]});
      }
    }
}

TEST(ConvertTz, UnknownNullAndOutOfRangeRowsAreNull) {
  const std::vector<std::optional<std::string>> names = {
      "Mars/Olympus_Mons",  std::nullopt, "",    "America/New_York",    "Europe/Berlin ",
      "Pacific/Kiritimati", "Asia/Tokyo", "UTC", std::string(100, 'x'), "Asia/Kolkata"};
  const std::vector<long> in = {
      dt(2024, 1, 1),          dt(2024, 1, 1),       dt(2024, 1, 1), dt(2024, 7, 1, 12, 0), dt(2024, 1, 1),
      dt(2900, 12, 31, 12, 0), dt(1000, 1, 1, 5, 0), dt(9999, 1, 1), dt(2024, 1, 1),        dt(2024, 1, 1)};
  // from UTC: New York is EDT in July; Tokyo's mean time lies later, so it still converts
  HarnessCase(Program().column(kLoadString, 0).column(kLoadI64, 1).op(kFromUtc))
      .addStringColumn(names)
      .addColumn(in)
      .expectRows(std::vector<long>{0, 0, 0, dt(2024, 7, 1, 8, 0), 0, 0, dt(1000, 1, 1, 14, 18, 59), 0, 0,
                                    dt(2024, 1, 1, 5, 30)},
                  {1, 1, 1, 0, 1, 1, 0, 1, 1, 0});
  // to UTC: Tokyo's 05:00 local mean time of the first supported day lies before it
  HarnessCase(Program().column(kLoadString, 0).column(kLoadI64, 1).op(kToUtc))
      .addStringColumn(names)
      .addColumn(in)
      .expectRows(std::vector<long>{0, 0, 0, dt(2024, 7, 1, 16, 0), 0, dt(2900, 12, 30, 22, 0), 0, 0, 0,
                                    dt(2023, 12, 31, 18, 30)},
                  {1, 1, 1, 0, 1, 0, 1, 1, 1, 0});
}

// More distinct names than the batch's cache holds, in an order that keeps replacing its entries; the
// expected values come from the uncached conversion checked above.
TEST(ConvertTz, ManyZonesInOneColumn) {
  const char* zones[] = {"America/New_York", "Europe/Berlin",    "Australia/Sydney",    "Asia/Kolkata",
                         "America/Santiago", "Africa/Cairo",     "Asia/Tokyo",          "Europe/London",
                         "America/Denver",   "Pacific/Auckland", "Australia/Lord_Howe", "Asia/Kathmandu"};
  std::vector<std::optional<std::string>> names;
  std::vector<long> in, out;
  const auto* utc = TimezoneUtils::utcZone();
  for (int r = 0; r < 300; ++r) {
    const char* name = zones[(r * 7 + r / 13) % 12];
    const long ms = dtmodel::msOf(2024, 1, 1) + r * 29L * 3'600'000 + r;
    bool outOfRange = false;
    const long v = vela::calendar::create_timestamp_from_ms2(ms, &outOfRange);
    long expected = 0;
    ASSERT_TRUE(TimezoneUtils::convertTimezone(utc, TimezoneUtils::locateZone(name), v, expected));
    names.emplace_back(name);
    in.push_back(v);
    out.push_back(expected);
  }
  HarnessCase(Program().column(kLoadString, 0).column(kLoadI64, 1).op(kFromUtc))
      .addStringColumn(names)
      .addColumn(in)
      .expectRows(out);
}

// Datetimes with impossible fields: no crash, both evaluators agree (the harness compares them).
TEST(ConvertTz, GarbageDatetimesAreHandled) {
  const long bits = static_cast<long>(0x8000'FFFF'FFFF'FFE0UL), badWeekday = dt(2024, 1, 1) | 0x1F;
  const std::vector<long> garbage = {-1, 0, 1, LONG_MIN, LONG_MAX, 0x7FF0'0000'0000'0000L, bits, badWeekday};
  for (TypedRpnOp code : {kFromUtc, kToUtc}) {
    const OwnedString berlin("Europe/Berlin");
    HarnessCase(Program().pointerConstant(kConstString, berlin.p.get()).column(kLoadI64, 0).op(code))
        .addColumn(garbage)
        .run();
  }
}

} // namespace
