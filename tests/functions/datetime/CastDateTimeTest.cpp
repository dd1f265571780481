// The casts among date, time, datetime and timestamp and between them and numbers, one table per op,
// each run in every constant/column form. Packed cells come from the test's own calendar model;
// residues of large values were worked out with arbitrary-precision arithmetic.
#include <climits>
#include <limits>

#include "tests/functions/datetime/DateTimeZoneTestModel.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;
using dtmodel::date;
using dtmodel::dt;
using dtmodel::msOf;
using dtmodel::time;

namespace {

constexpr long kMinTs = -30610224000000L, kMaxTs = 29379542399999L;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Fields placed in a datetime cell as they are, impossible ones included.
constexpr long rawDt(int yearField, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s, unsigned ms,
                     unsigned doy, unsigned dow) {
  return static_cast<long>((static_cast<unsigned long>(yearField) & 0x7FF) << 53 |
                           static_cast<unsigned long>(mo) << 49 | static_cast<unsigned long>(d) << 44 |
                           static_cast<unsigned long>(h) << 39 | static_cast<unsigned long>(mi) << 33 |
                           static_cast<unsigned long>(s) << 27 | static_cast<unsigned long>(ms) << 17 |
                           static_cast<unsigned long>(doy) << 8 | static_cast<unsigned long>(dow) << 5);
}

TEST(CastDateTime, AmongTheCalendarKinds) {
  expectTable<long, int>(433, {{{date(2024, 2, 29)}, dt(2024, 2, 29)},
                               {{date(1000, 1, 1)}, dt(1000, 1, 1)},
                               {{date(9999, 12, 31)}, dt(9999, 12, 31)},
                               {{-1}, rawDt(-1, 15, 31, 0, 0, 0, 0, 511, 7)}}); // all bits: fields copied
  expectTable<long, int>(434, {{{date(1970, 1, 1)}, 0},
                               {{date(1969, 12, 31)}, -86'400'000},
                               {{date(2024, 2, 29)}, msOf(2024, 2, 29)},
                               {{date(1000, 1, 1)}, kMinTs},
                               {{date(9999, 12, 31)}, msOf(9999, 12, 31)}});
  expectTable<int, long>(435, {{{dt(2024, 12, 31, 23, 59, 59, 999)}, date(2024, 12, 31)},
                               {{dt(1000, 1, 1)}, date(1000, 1, 1)},
                               {{dt(9999, 1, 1, 12)}, date(9999, 1, 1)}});
  expectTable<int, long>(436, {{{0}, date(1970, 1, 1)},
                               {{-1}, date(1969, 12, 31)},
                               {{kMinTs}, date(1000, 1, 1)},
                               {{kMaxTs}, date(2900, 12, 31)},
                               {{msOf(2024, 2, 29, 23, 59)}, date(2024, 2, 29)},
                               {{kMinTs - 1}, 0, 6},
                               {{kMaxTs + 1}, 0, 6},
                               {{LONG_MIN}, 0, 6},
                               {{LONG_MAX}, 0, 6}});
  expectTable<int, long>(437, {{{dt(2024, 3, 5, 14, 7, 9, 45)}, time(14, 7, 9, 45)},
                               {{dt(1999, 12, 31, 23, 59, 59, 999)}, time(23, 59, 59, 999)},
                               {{rawDt(5, 1, 1, 31, 63, 63, 1023, 1, 1)}, time(31, 63, 63, 1023)}});
  expectTable<int, long>(438, {{{0}, time(0, 0)},
                               {{-1}, time(23, 59, 59, 999)},
                               {{msOf(2024, 3, 5, 14, 7, 9, 45)}, time(14, 7, 9, 45)},
                               {{msOf(1969, 7, 20, 20, 17, 40)}, time(20, 17, 40)},
                               {{LONG_MIN}, time(16, 47, 4, 192)}, // outside the range: still the time of day
                               {{LONG_MAX}, time(7, 12, 55, 807)}});
  expectTable<long, long>(1420, {{{0}, dt(1970, 1, 1)},
                                 {{-1}, dt(1969, 12, 31, 23, 59, 59, 999)},
                                 {{kMinTs}, dt(1000, 1, 1)},
                                 {{kMaxTs}, dt(2900, 12, 31, 23, 59, 59, 999)},
                                 {{msOf(2024, 2, 29, 12, 0, 0, 1)}, dt(2024, 2, 29, 12, 0, 0, 1)},
                                 {{kMinTs - 1}, 0, 6},
                                 {{kMaxTs + 1}, 0, 6},
                                 {{LONG_MIN}, 0, 6}});
  expectTable<long, long>(1421, {{{dt(1970, 1, 1)}, 0},
                                 {{dt(1969, 12, 31, 23, 59, 59, 999)}, -1},
                                 {{dt(2900, 12, 31, 23, 59, 59, 999)}, kMaxTs},
                                 {{dt(1000, 1, 1)}, kMinTs},
                                 {{dt(9999, 12, 31)}, msOf(9999, 12, 31)}});
}

TEST(CastDateTime, NumbersToTimestampsAsTheI64Casts) {
  expectTable<long, std::int8_t>(439, {{{-5}, -5}, {{127}, 127}});
  expectTable<long, std::int16_t>(440, {{{-32768}, -32768}});
  expectTable<long, int>(441, {{{INT_MIN}, INT_MIN}, {{86'400'000}, 86'400'000}});
  expectTable<long, long>(442, {{{LONG_MIN}, LONG_MIN}, {{1'720'000'000'000}, 1'720'000'000'000}});
  expectTable<long, unsigned long>(443, {{{ULONG_MAX}, -1}, {{1ul << 63}, LONG_MIN}});
  // decimals at scale 4: divided by 10^4, halves away from zero
  expectTable<long, Dec64>(
      444, {{{d64(12'345'678)}, 1235}, {{d64(-12'345'000)}, -1235}, {{d64(-12'344'999)}, -1234}},
      scales(0, {4}));
  expectTable<long, Dec128>(445, {{{d128(vela::int128_t(17'200'000'000'005))}, 1'720'000'000'001}},
                            scales(0, {1}));
  expectTable<long, float>(446, {{{2.5f}, 3}, {{-2.5f}, -3}, {{1e30f}, LONG_MIN}});
  expectTable<long, double>(
      447,
      {{{1'720'000'000'000.4}, 1'720'000'000'000}, {{-0.5}, -1}, {{1e300}, LONG_MIN}, {{kNaN}, LONG_MIN}});
}

TEST(CastDateTime, TimestampsToNumbersAsTheI64Casts) {
  constexpr long x = 1'720'000'000'001;
  expectTable<std::int8_t, long>(448, {{{x}, 1}, {{-1}, -1}});
  expectTable<std::int16_t, long>(449, {{{x}, 12289}});
  expectTable<int, long>(450, {{{x}, 2'013'081'601}});
  expectTable<long, long>(451, {{{x}, x}, {{kMinTs}, kMinTs}});
  expectTable<unsigned long, long>(452, {{{-1}, ULONG_MAX}, {{x}, static_cast<unsigned long>(x)}});
  expectTable<Dec64, long>(453, {{{x}, d64(x * 100)}, {{-7}, d64(-700)}}, scales(2, {0}));
  expectTable<Dec128, long>(454, {{{LONG_MIN}, d128(vela::int128_t(LONG_MIN) * 1000)}}, scales(3, {0}, 28));
  expectTable<float, long>(455, {{{x}, static_cast<float>(x)}, {{-1}, -1.0f}});
  expectTable<double, long>(456, {{{x}, 1'720'000'000'001.0}, {{kMinTs}, -30'610'224'000'000.0}});
}

TEST(CastDateTime, NumbersToTimesModuloOneDay) {
  expectTable<int, std::int8_t>(457, {{{-1}, time(23, 59, 59, 999)}, {{100}, time(0, 0, 0, 100)}});
  expectTable<int, std::int16_t>(458, {{{-32768}, time(23, 59, 27, 232)}});
  expectTable<int, int>(459, {{{86'400'000}, time(0, 0)},
                              {{86'399'999}, time(23, 59, 59, 999)},
                              {{3'723'004}, time(1, 2, 3, 4)},
                              {{INT_MIN}, time(3, 28, 36, 352)}});
  expectTable<int, long>(460, {{{-86'400'001}, time(23, 59, 59, 999)},
                               {{LONG_MIN}, time(16, 47, 4, 192)},
                               {{LONG_MAX}, time(7, 12, 55, 807)}});
  expectTable<int, unsigned long>(461,
                                  {{{ULONG_MAX}, time(14, 25, 51, 615)}}); // the unsigned value's residue
  expectTable<int, Dec64>(462, {{{d64(1500)}, time(0, 0, 0, 2)}, {{d64(-500)}, time(23, 59, 59, 999)}},
                          scales(0, {3}));
  expectTable<int, Dec128>(463,
                           {{{d128(vela::int128_t(1'000'000'000'000'000) * 1'000'000'000)}, time(1, 46, 40)},
                            {{d128(-1)}, time(23, 59, 59, 999)}},
                           scales(0, {0}, 28));
  expectTable<int, float>(464, {{{-0.5f}, time(23, 59, 59, 999)}, {{1e30f}, time(16, 47, 4, 192)}});
  expectTable<int, double>(465, {{{3'723'004.5}, time(1, 2, 3, 5)}, {{kNaN}, time(16, 47, 4, 192)}});
}

TEST(CastDateTime, TimesToNumbersAsMillisecondsSinceMidnight) {
  const int t = time(1, 2, 3, 4), garbage = -1; // -1: every field at its mask, 63:63:63.1023
  expectTable<std::int8_t, int>(466, {{{t}, -4}});
  expectTable<std::int16_t, int>(467, {{{t}, -12548}});
  expectTable<int, int>(468,
                        {{{t}, 3'723'004}, {{time(23, 59, 59, 999)}, 86'399'999}, {{garbage}, 230'644'023}});
  expectTable<long, int>(469, {{{t}, 3'723'004}, {{0}, 0}});
  expectTable<unsigned long, int>(470, {{{t}, 3'723'004}});
  expectTable<Dec64, int>(471, {{{t}, d64(372'300'400)}}, scales(2, {0}));
  expectTable<Dec128, int>(472, {{{t}, d128(3'723'004'000)}}, scales(3, {0}, 28));
  expectTable<float, int>(473, {{{t}, 3'723'004.0f}});
  expectTable<double, int>(474, {{{t}, 3'723'004.0}});
}

TEST(CastDateTime, YyyymmddIntegers) {
  expectTable<int, int>(475, {{{date(2024, 2, 29)}, 20'240'229},
                              {{date(1000, 1, 1)}, 10'000'101},
                              {{date(9999, 12, 31)}, 99'991'231}});
  std::vector<Row<int, int>> rows = {{{20'240'229}, date(2024, 2, 29)},
                                     {{20'000'229}, date(2000, 2, 29)},
                                     {{10'000'101}, date(1000, 1, 1)},
                                     {{29'001'231}, date(2900, 12, 31)},
                                     {{99'991'231}, date(9999, 12, 31)}};
  // No date: 29 February of a common year and of 1900, years past either end of the range (9999 aside),
  // month 13, day 0, 31 April, zero, negative and the largest int.
  for (int v : {20'230'229, 19'000'229, 9'991'231, 29'010'101, 20'241'301, 20'240'100, 20'240'431, 0,
                -20'240'101, INT_MAX})
    rows.push_back({{v}, 0, 15});
  expectTable<int, int>(476, rows);
}

// Round trips that hold for every supported value: a date through its midnight timestamp and back,
// a timestamp through its datetime and back, a time through its milliseconds and back.
TEST(CastDateTime, RoundTrips) {
  std::vector<long> ts;
  for (long ms = kMinTs; ms < kMaxTs; ms += 86'400'000L * 365 + 3'600'000 * 7 + 12'345)
    ts.push_back(ms);
  ts.push_back(kMaxTs);
  HarnessCase(Program().column(kLoadI64, 0).op(1420).op(1421)).addColumn(ts).expectRows(ts);
  std::vector<int> times;
  for (int ms = 0; ms < 86'400'000; ms += 999'983)
    times.push_back(time(ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000));
  HarnessCase(Program().column(kLoadI32, 0).op(469).op(460)).addColumn(times).expectRows(times);
}

} // namespace
