// Interval ops (add, difference, boundary difference, truncation), time buckets, months between, fields
// to epoch values, week starts and the packed second rounding of the math family, through both
// evaluators. Expected values are stated as text (an independent day count converts them) or computed by
// hand.
#include <algorithm>
#include <limits>
#include <vector>

#include "tests/functions/datetime/DateTimeTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::datetime;
using vela::calendar::packDateTime;

namespace {

constexpr long kMin = std::numeric_limits<long>::min(), kMax = std::numeric_limits<long>::max();
const long k9999 = packDateTime(9999, 12, 31, 10, 42, 0, 0, 365, 6);

TEST(DateTimeIntervals, TimestampAddClampsTheDayAndKeepsTheTime) {
  using R = Row<long, int, long, long>;
  const long x = ms("2024-05-05 05:05:05.005");
  std::vector<R> rows = {
      {{8, 1, ms("2024-01-31 10:00")}, ms("2024-02-29 10:00")},
      {{8, 1, ms("2023-01-31")}, ms("2023-02-28")},
      {{10, 1, ms("2024-02-29")}, ms("2025-02-28")},
      {{8, -1, ms("2024-03-31 23:59:59.999")}, ms("2024-02-29 23:59:59.999")},
      {{8, 13, ms("2024-01-31")}, ms("2025-02-28")},
      {{8, -13, ms("2024-01-31")}, ms("2022-12-31")},
      {{9, 1, ms("2024-11-30")}, ms("2025-02-28")},
      {{9, -1, ms("2024-05-31")}, ms("2024-02-29")},
      {{9, 5, ms("2024-01-15")}, ms("2025-04-15")},
      {{10, 2000, ms("2024-02-29")}, ms("4024-02-29")},
      {{10, -2000, x}, ms("0024-05-05 05:05:05.005")},
      {{10, 3000, x}, x}, // more than 2000 years: unchanged
      {{10, 2001, x}, x},
      {{10, -2001, x}, x},
      {{8, kMax, x}, x},
      {{9, kMin, x}, x},
      {{0, 5, 1000}, 1005},
      {{1, -2, 0}, -2000},
      {{2, 1, 0}, 60000},
      {{3, 1, 0}, 3600000},
      {{4, 1, x}, ms("2024-05-06 05:05:05.005")},
      {{5, 2, 0}, 1209600000},
      {{5, kMax, 0}, -604800000} // (2^63 - 1) * 604800000 wraps to -604800000
  };
  // From 31 January by 1..12 months and back: the last day of every shorter month.
  const char* ends[] = {"2024-02-29", "2024-03-31", "2024-04-30", "2024-05-31", "2024-06-30", "2024-07-31",
                        "2024-08-31", "2024-09-30", "2024-10-31", "2024-11-30", "2024-12-31", "2025-01-31"};
  for (int n = 1; n <= 12; ++n)
    rows.push_back({{8, n, ms("2024-01-31 08:00")}, ms(ends[n - 1]) + 8 * 3600000});
  rows.push_back({{8, -11, ms("2024-01-31")}, ms("2023-02-28")});
  for (int unit : {6, 7, 11, -1}) // extraction-only and unknown units give 0
    rows.push_back({{unit, 1, x}, 0});
  expectTable<long>(1456, rows);
  for (int op : {1391, 1412, 1413})
    expectTable<long>(
        op, std::vector<Row<long, int, long, long>>{{{8, 1, dt("2024-01-31 10:00")}, dt("2024-02-29 10:00")},
                                                    {{4, -1, dt("2024-03-01 12:00")}, dt("2024-02-29 12:00")},
                                                    {{6, 1, dt("2024-03-01")}, dt("1970-01-01")}});
}

// TIMESTAMPADD by months against a model of the calendar: year and month moved, day clamped.
TEST(DateTimeIntervals, MonthAdditionAgreesWithTheModel) {
  auto monthLength = [](long y, int m) {
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 ? (leap ? 29 : 28) : (m == 4 || m == 6 || m == 9 || m == 11) ? 30 : 31;
  };
  std::vector<long> counts, values, expected;
  std::uint64_t s = 42;
  for (int i = 0; i < 3000; ++i) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    const long y = 1000 + static_cast<long>((s >> 20) % 1901);
    const int m = 1 + static_cast<int>((s >> 40) % 12);
    const int d = 1 + static_cast<int>((s >> 44) % static_cast<unsigned>(monthLength(y, m)));
    const long tod = static_cast<long>((s >> 8) % 86400000);
    // About 2000 years either way, but not before the year 1, where the calendar's day count ends.
    long n = static_cast<long>((s >> 50) % 48001) - 24000;
    if (y * 12 + (m - 1) + n < 12)
      n = -n;
    const long value = daysFromCivil(y, m, d) * 86400000 + tod;
    const long total = y * 12 + (m - 1) + n;
    const long ny = total >= 0 ? total / 12 : (total - 11) / 12;
    const int nm = static_cast<int>(total - ny * 12) + 1;
    const long years = n >= 0 ? n / 12 : (n - 11) / 12;
    counts.push_back(n);
    values.push_back(value);
    expected.push_back(years < -2000 || years > 2000
                           ? value
                           : daysFromCivil(ny, nm, std::min(d, monthLength(ny, nm))) * 86400000 + tod);
  }
  Program p;
  p.constant(kConstI32, 8).column(kLoadI64, 0).column(kLoadI64, 1).op(1456);
  HarnessCase c(p);
  c.addColumn(counts).addColumn(values);
  c.expectRows<long>(expected);
}

TEST(DateTimeIntervals, DifferencesInWholeUnits) {
  using R = Row<long, int, long, long>;
  const long t = ms("2024-06-01 12:00");
  std::vector<R> diffs = {
      {{8, ms("2024-01-31"), ms("2024-02-29")}, 0},
      {{8, ms("2024-01-31"), ms("2024-03-31")}, 2},
      {{8, ms("2024-03-31"), ms("2024-01-31")}, -2},
      {{8, ms("2024-03-31"), ms("2024-02-29")}, -1},
      {{8, ms("2024-02-29 10:00"), ms("2024-03-29 09:59:59.999")}, 0},
      {{8, ms("2024-02-29 10:00"), ms("2024-03-29 10:00")}, 1},
      {{9, ms("2024-01-15"), ms("2024-10-14")}, 2},
      {{9, ms("2024-01-15"), ms("2024-10-15")}, 3},
      {{10, ms("2024-02-29"), ms("2025-02-28")}, 0},
      {{10, ms("2025-02-28"), ms("2024-02-29")}, 0},
      {{10, ms("2020-06-01"), ms("2024-05-31")}, 3},
      {{10, ms("2024-05-31"), ms("2020-06-01")}, -3},
      {{4, t, t - 1}, 0},
      {{1, t, t - 1500}, -1},
      {{4, ms("2024-03-01"), ms("2024-02-28 23:00")}, -1},
      {{5, 0, 2 * 604800000L - 1}, 1},
      {{0, 5, 3}, -2},
      {{2, 0, -60001}, -1},
      {{3, 0, 7200000}, 2},
      {{0, kMin, kMax}, -1} // wraps
  };
  for (int unit : {6, 7, 11, -1})
    diffs.push_back({{unit, 0, t}, 0});
  expectTable<long>(1454, diffs);
  for (int op : {1389, 1410})
    expectTable<long>(op, std::vector<R>{{{8, dt("2024-01-31"), dt("2024-02-29")}, 0},
                                         {{8, dt("2024-01-31"), dt("2024-03-31")}, 2},
                                         {{4, dt("2024-03-01"), dt("2024-02-28 23:00")}, -1},
                                         {{0, dt("1969-12-31 23:59:59.999"), dt("1970-01-01")}, 1}});
}

TEST(DateTimeIntervals, BoundariesCrossed) {
  using R = Row<long, int, long, long>;
  std::vector<R> crossed = {{{4, ms("2024-05-05 23:59:59.999"), ms("2024-05-06")}, 1},
                            {{4, ms("2024-05-06"), ms("2024-05-05 23:59:59.999")}, -1},
                            {{4, ms("1800-01-01 12:00"), ms("1800-01-02 11:00")}, 1},
                            {{0, 10, 3}, -7},
                            {{1, 999, 1000}, 1},
                            {{1, -1, 0}, 1},
                            {{2, ms("2024-01-01 10:59:59"), ms("2024-01-01 11:00")}, 1},
                            {{3, ms("2024-01-01 10:00"), ms("2024-01-01 09:59:59.999")}, -1},
                            {{5, ms("2024-08-17 23:00"), ms("2024-08-18 01:00")}, 1}, // Saturday to Sunday
                            {{5, ms("2024-08-18"), ms("2024-08-24 23:59")}, 0},
                            {{5, ms("1890-01-04 12:00"), ms("1890-01-05")}, 1}, // a Saturday before the grid
                            {{8, ms("2024-01-31"), ms("2024-02-01")}, 1},
                            {{8, ms("2023-12-31 23:59:59.999"), ms("2024-01-01")}, 1},
                            {{9, ms("2024-03-31"), ms("2024-04-01")}, 1},
                            {{9, ms("2024-01-01"), ms("2024-03-31")}, 0},
                            {{9, ms("2023-11-15"), ms("2025-01-01")}, 5},
                            {{10, ms("2024-12-31 23:59:59.999"), ms("2025-01-01")}, 1},
                            {{10, ms("2025-01-01"), ms("2020-12-31")}, -5}};
  for (int unit : {6, 7, 11, 13})
    crossed.push_back({{unit, 0, ms("2024-01-01")}, 0});
  expectTable<long>(1455, crossed);
  for (int op : {1390, 1411})
    expectTable<long>(op, std::vector<R>{{{4, dt("2024-05-05 23:59:59.999"), dt("2024-05-06")}, 1},
                                         {{8, dt("2024-01-31"), dt("2024-03-01")}, 2}});
}

TEST(DateTimeIntervals, TruncationAtEveryUnitsBoundaries) {
  const struct {
    int unit;
    const char *in, *out;
  } rows[] = {{1, "2024-08-17 12:34:56.789", "2024-08-17 12:34:56"},
              {1, "2024-08-17 12:34:56.000", "2024-08-17 12:34:56"},
              {2, "2024-08-17 12:34:59.999", "2024-08-17 12:34"},
              {2, "2024-08-17 12:35:00.000", "2024-08-17 12:35"},
              {3, "2024-08-17 12:59:59.999", "2024-08-17 12:00"},
              {3, "1969-12-31 23:30", "1969-12-31 23:00"},
              {4, "2024-08-17 12:34:56.789", "2024-08-17"},
              {4, "2024-08-16 23:59:59.999", "2024-08-16"},
              {4, "1969-12-31 23:59:59.999", "1969-12-31"},
              {5, "2024-08-14 10:30", "2024-08-11"}, // Wednesday back to Sunday
              {5, "2024-08-11 00:00", "2024-08-11"},
              {5, "2024-08-17 23:59:59.999", "2024-08-11"},
              {5, "2025-01-01 08:00", "2024-12-29"},
              {8, "2024-08-17 12:00", "2024-08-01"},
              {8, "2024-03-01 00:00", "2024-03-01"},
              {8, "2024-02-29 23:59:59.999", "2024-02-01"},
              {9, "2024-08-17 12:00", "2024-07-01"},
              {9, "2024-12-31 23:59:59.999", "2024-10-01"},
              {9, "2024-04-01", "2024-04-01"},
              {9, "2024-03-31 23:59:59.999", "2024-01-01"},
              {9, "2024-05-31", "2024-04-01"},
              {10, "2024-08-17", "2024-01-01"},
              {10, "1000-12-31 23:59", "1000-01-01"}};
  std::vector<Row<long, int, long>> table;
  for (const auto& r : rows)
    table.push_back({{r.unit, dt(r.in)}, dt(r.out)});
  for (int unit : {0, 6, 7, 11, -1}) // milliseconds, extraction-only and unknown units: unchanged
    table.push_back({{unit, dt("2024-08-17 12:34:56.789")}, dt("2024-08-17 12:34:56.789")});
  // A stale day-of-week field is recomputed by the normalisation; the year 9999 is left as it is.
  table.push_back({{0, dt("2024-08-17 12:00") & ~(7L << 5)}, dt("2024-08-17 12:00")});
  table.push_back({{4, k9999}, k9999});
  expectTable<long>(1416, table);
}

TEST(DateTimeIntervals, DateAndTimeArithmetic) {
  using D = Row<int, int, long, int>;
  for (int op : {1476, 1477})
    expectTable<int>(op, std::vector<D>{{{8, 1, date("2024-01-31")}, date("2024-02-29")},
                                        {{4, 1, date("2024-02-28")}, date("2024-02-29")},
                                        {{4, -1, date("2024-03-01")}, date("2024-02-29")},
                                        {{5, 1, date("2024-12-30")}, date("2025-01-06")},
                                        {{3, 25, date("2024-01-01")}, date("2024-01-02")},
                                        {{10, 1, date("2024-02-29")}, date("2025-02-28")},
                                        {{10, 3000, date("2024-02-29")}, date("2024-02-29")},
                                        {{6, 1, date("2024-02-29")}, date("1970-01-01")},
                                        {{4, 1, date("9999-12-31")}, date("9999-12-31")}});
  using T = Row<int, int, long, int>;
  const int noon = time("12:00:00.000");
  for (int op : {1482, 1486})
    expectTable<int>(op, std::vector<T>{{{3, 25, time("23:00:00.000")}, time("00:00:00.000")},
                                        {{3, -1, time("00:30:00.000")}, time("23:30:00.000")},
                                        {{0, -1, time("00:00:00.000")}, time("23:59:59.999")},
                                        {{1, 86401, noon}, time("12:00:01.000")},
                                        {{2, -1441, time("00:00:00.000")}, time("23:59:00.000")},
                                        {{0, kMin, time("00:00:00.000")}, time("16:47:04.192")},
                                        {{4, 5, noon}, noon},
                                        {{5, 5, noon}, noon},
                                        {{8, 5, noon}, noon},
                                        {{9, 5, noon}, noon},
                                        {{10, 5, noon}, noon},
                                        {{6, 1, vela::calendar::packTime(0, 61, 0, 0)}, time("01:01:00.000")},
                                        {{13, 1, noon}, noon}});
  const int t = time("12:34:56.789");
  for (int op : {1483, 1485})
    expectTable<int>(op, std::vector<Row<int, int, int>>{{{t, 1}, time("12:34:56.000")},
                                                         {{t, 2}, time("12:34:00.000")},
                                                         {{t, 3}, time("12:00:00.000")},
                                                         {{t, 0}, t},
                                                         {{t, 4}, t},
                                                         {{t, 10}, t},
                                                         {{t, -1}, t}});
}

TEST(DateTimeIntervals, MonthsBetween) {
  using R = Row<double, int, int>;
  expectTable<double>(1471, std::vector<R>{{{date("2024-03-31"), date("2024-02-29")}, 1.0},
                                           {{date("2024-03-15"), date("2024-02-20")}, (15 + 31 - 20) / 31.0},
                                           {{date("2024-02-20"), date("2024-03-15")}, -1 + (20 - 15) / 31.0},
                                           {{date("2024-01-31"), date("2024-01-31")}, 0.0},
                                           {{date("2025-01-15"), date("2024-01-15")}, 12.0},
                                           {{date("2024-04-30"), date("2024-02-29")}, 2.0},
                                           {{date("2024-04-30"), date("2024-02-28")}, 2 + 2 / 31.0}});
  for (int op : {1397, 1425})
    expectTable<double>(op, std::vector<Row<double, long, long>>{
                                {{dt("2024-03-31 23:00"), dt("2024-02-29 01:00")}, 1.0},
                                {{dt("2024-03-15 01:00"), dt("2024-02-20 23:00")}, (15 + 31 - 20) / 31.0}});
}

TEST(DateTimeIntervals, TimeBuckets) {
  using R = Row<long, long, long, long, long>;
  const long epoch = dt("1970-01-01"), v = dt("2024-08-17 10:42");
  expectTable<long>(1417, std::vector<R>{
                              {{3600000, v, 0, epoch}, dt("2024-08-17 10:00")},
                              {{86400000, v, 21600000, epoch}, dt("2024-08-17 06:00")},
                              {{86400000, dt("2024-08-17 05:00"), 21600000, epoch}, dt("2024-08-16 06:00")},
                              {{604800000, v, 0, dt("2024-08-11")}, dt("2024-08-11")},
                              {{3600000, dt("1969-12-31 23:30"), 0, epoch}, dt("1969-12-31 23:00")},
                              {{kMax, v, 0, epoch}, epoch},
                              {{3600000, k9999, 0, epoch}, k9999},
                              {{0, v, 0, epoch}, v, 18},
                              {{-5, v, 0, epoch}, v, 18},
                              {{1000, v, kMin, epoch}, v, 17} // (v - origin) - offset overflows
                          });
}

TEST(DateTimeIntervals, TimestampsFromFields) {
  // Year ... millisecond: the 7-field op's epoch milliseconds and state; the 6-field op (1459) reads no
  // millisecond, so its rows 1 and 7 are valid.
  const struct {
    int f[7];
    long ms;
    std::uint8_t state;
  } rows[] = {{{2024, 1, 1, 24, 0, 0, 0}, ms("2024-01-02"), 0},
              {{2024, 2, 29, 23, 59, 59, 999}, ms("2024-02-29 23:59:59.999"), 0},
              {{1000, 1, 1, 0, 0, 0, 0}, ms("1000-01-01"), 0},
              {{1969, 12, 31, 23, 59, 59, 0}, -1000, 0},
              {{2023, 2, 29, 0, 0, 0, 0}, 0, 5},
              {{2024, 13, 1, 0, 0, 0, 0}, 0, 5},
              {{2024, 1, 1, 0, -1, 0, 0}, 0, 5},
              {{2024, 1, 1, 0, 0, 0, 1000}, 0, 5}};
  Program p7, p6;
  std::vector<int> cols[7];
  std::vector<long> msOut, secOut;
  std::vector<std::uint8_t> states;
  for (const auto& r : rows) {
    for (int k = 0; k < 7; ++k)
      cols[k].push_back(r.f[k]);
    msOut.push_back(r.ms);
    secOut.push_back(r.ms / 1000);
    states.push_back(r.state);
  }
  for (int k = 0; k < 7; ++k) {
    p7.column(kLoadI32, k);
    if (k < 6)
      p6.column(kLoadI32, k);
  }
  HarnessCase c7(p7.op(1452)), c6(p6.op(1459));
  for (int k = 0; k < 7; ++k) {
    c7.addColumn(cols[k]);
    if (k < 6)
      c6.addColumn(cols[k]);
  }
  c7.expectRows<long>(msOut, states, vela::cuda::RPN_EVAL_DATE_PART_RANGE);
  states[1] = states[7] = 0;
  secOut[1] = ms("2024-02-29 23:59:59") / 1000;
  secOut[7] = ms("2024-01-01") / 1000;
  c6.expectRows<long>(secOut, states, vela::cuda::RPN_EVAL_DATE_PART_RANGE);

  const struct {
    int year, week;
    const char* start;
  } weeks[] = {{2024, 1, "2023-12-31"}, {2023, 1, "2023-01-01"}, {2024, 10, "2024-03-03"},
               {2024, 0, "2023-12-24"}, {2022, 1, "2021-12-26"}, {1000, 53, "1000-12-28"}};
  std::vector<Row<long, int, int>> startMs, startSeconds;
  for (const auto& w : weeks) {
    startMs.push_back({{w.year, w.week}, ms(w.start)});
    startSeconds.push_back({{w.year, w.week}, ms(w.start) / 1000});
  }
  expectTable<long>(1453, startMs);
  expectTable<long>(1460, startSeconds);
}

TEST(DateRounding, PackedDatesAndSeconds) {
  expectTable<int>(
      1051, std::vector<Row<int, int, int>>{
                {{date("2024-03-01"), date("2024-02-28")}, 2},
                {{date("1000-01-01"), date("2900-12-31")},
                 static_cast<int>(daysFromCivil(1000, 1, 1) - daysFromCivil(2900, 12, 31))},
                {{date("9999-12-31"), date("1970-01-01")}, static_cast<int>(daysFromCivil(9999, 12, 31))}});
  for (int op : {1357, 1358})
    expectTable<long>(
        op, std::vector<Row<long, long>>{{{dt("2024-02-29 13:45:30.999")}, dt("2024-02-29 13:45:30")},
                                         {{-1L}, -134086657L}}); // ~0x7FE0000
  const long stale = dt("2024-08-17 12:00") & ~(7L << 5);
  for (int op : {1348, 1349})
    expectTable<long>(op,
                      std::vector<Row<long, long>>{{{dt("2024-12-31 23:59:59.001")}, dt("2025-01-01")},
                                                   {{dt("2024-02-28 23:59:59.500")}, dt("2024-02-29")},
                                                   {{dt("2024-02-28 10:00:00.000")}, dt("2024-02-28 10:00")},
                                                   {{stale}, stale}});
  for (int op : {1366, 1367})
    expectTable<long>(
        op, std::vector<Row<long, long>>{{{dt("2024-02-28 10:00:00.499")}, dt("2024-02-28 10:00")},
                                         {{dt("2023-12-31 23:59:59.500")}, dt("2024-01-01")},
                                         {{dt("1969-12-31 23:59:59.500")}, dt("1970-01-01")},
                                         {{dt("1969-12-31 23:59:58.499")}, dt("1969-12-31 23:59:58")},
                                         {{stale}, dt("2024-08-17 12:00")}});
}

} // namespace
