// Casts between date, time, timestamp and datetime values and their text (715-736, 1561-1589) through
// both evaluators: hand-computed texts at every width, the readers' failures (state 1), string and cell
// readers agreeing, every written text read back by the casts of the same kind, and the pool balanced
// after string results.
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/PoolBalancedTest.h"

using namespace quarry::test;
namespace cal = vela::calendar;

namespace {

long msOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  bool invalid = false;
  return cal::date_to_epoch_msecs(y, mo, d, h, mi, s, ms, invalid);
}
long dtOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return cal::create_timestamp_from_ms2(msOf(y, mo, d, h, mi, s, ms), nullptr);
}

template <std::size_t N, class In>
void expectToText(int op, const std::vector<In>& in, const std::vector<std::string>& texts) {
  std::vector<Text<N>> cells;
  for (const std::string& t : texts)
    cells.push_back(txt<N>(t));
  expectColumn<Text<N>, In>(op, in, cells);
}

TEST(DateTimeTextCasts, ToTextAtEveryWidth) {
  const std::vector<int> dates = {cal::create_gdate(2024, 3, 5), cal::create_gdate(9999, 12, 31),
                                  cal::create_gdate(1000, 1, 1)};
  const std::vector<std::string> dateTexts = {"2024-03-05", "9999-12-31", "1000-01-01"};
  const std::vector<int> times = {cal::packTime(0, 0, 0, 0), cal::packTime(23, 59, 59, 999),
                                  cal::packTime(1, 2, 3, 4)};
  const std::vector<std::string> timeTexts = {"00:00:00.000", "23:59:59.999", "01:02:03.004"};
  const std::vector<long> stamps = {0, -1, cal::kMinTimestamp, cal::kMaxTimestamp,
                                    msOf(2024, 2, 29, 12, 0, 0, 7)};
  const std::vector<std::string> stampTexts = {"1970-01-01 00:00:00.000", "1969-12-31 23:59:59.999",
                                               "1000-01-01 00:00:00.000", "2900-12-31 23:59:59.999",
                                               "2024-02-29 12:00:00.007"};
  std::vector<long> datetimes;
  for (long ms : stamps)
    datetimes.push_back(cal::create_timestamp_from_ms2(ms, nullptr));
  expectToText<16>(715, dates, dateTexts);
  expectToText<32>(716, dates, dateTexts);
  expectToText<64>(717, dates, dateTexts);
  expectToText<128>(718, dates, dateTexts);
  expectToText<256>(719, dates, dateTexts);
  expectToText<16>(721, times, timeTexts);
  expectToText<32>(722, times, timeTexts);
  expectToText<256>(725, times, timeTexts);
  expectToText<32>(727, stamps, stampTexts);
  expectToText<64>(728, stamps, stampTexts);
  expectToText<128>(729, stamps, stampTexts);
  expectToText<256>(730, stamps, stampTexts);
  expectToText<32>(732, datetimes, stampTexts);
  expectToText<64>(733, datetimes, stampTexts);
  expectToText<256>(735, datetimes, stampTexts);
}

using DateTimeStringCasts = PoolBalancedTest;

TEST_F(DateTimeStringCasts, ToStringGivesTheCellText) {
  auto strings = [](const std::vector<std::string>& v) { return std::vector<Str>(v.begin(), v.end()); };
  auto run = [&](int load, int op, auto column, const std::vector<std::string>& texts) {
    SCOPED_TRACE(op);
    Program p;
    p.column(load, 0).op(op);
    HarnessCase c(p);
    c.addColumn(column);
    c.expectStrings(strings(texts));
  };
  run(kLoadI32, 720, std::vector<int>{cal::create_gdate(2024, 3, 5), cal::create_gdate(9999, 1, 2)},
      {"2024-03-05", "9999-01-02"});
  run(kLoadI32, 726, std::vector<int>{cal::packTime(9, 8, 7, 6)}, {"09:08:07.006"});
  run(kLoadI64, 731, std::vector<long>{0, cal::kMaxTimestamp},
      {"1970-01-01 00:00:00.000", "2900-12-31 23:59:59.999"});
  run(kLoadI64, 736,
      std::vector<long>{dtOf(2024, 3, 5, 14, 7, 9, 45), cal::packDateTime(2024, 1, 1, 0, 0, 0, 1000, 1, 2)},
      {"2024-03-05 14:07:09.045", "2024-01-01 00:00:00.1000"});
}

struct ReadCase {
  std::string text;
  bool ok;
  int y, mo, d, h, mi, s, ms;
};
// Texts of the datetime readers; the date readers take those without a time of day.
std::vector<ReadCase> reads() {
  std::vector<ReadCase> r = {{"2024-03-05", true, 2024, 3, 5, 0, 0, 0, 0},
                             {"2024-03-05 14:07", true, 2024, 3, 5, 14, 7, 0, 0},
                             {"2024-03-05T14:07:09", true, 2024, 3, 5, 14, 7, 9, 0},
                             {"  2024-3-5 14:07:09.45  ", true, 2024, 3, 5, 14, 7, 9, 450},
                             {"2024-03-05 14:07:09.0451", true, 2024, 3, 5, 14, 7, 9, 45},
                             {"9999-12-31 23:59:59.999", true, 9999, 12, 31, 23, 59, 59, 999},
                             {"1000-01-01", true, 1000, 1, 1, 0, 0, 0, 0}};
  for (const char* bad : {"0999-12-31", "2901-01-01", "2023-02-29", "2024-03-05 10:60", "2024-03-05 10:00 x",
                          "2024-03-05x", ""})
    r.push_back({bad, false, 0, 0, 0, 0, 0, 0, 0});
  return r;
}

TEST_F(DateTimeStringCasts, TextToDateAndDateTime) {
  std::vector<Str> texts;
  std::vector<long> datetimes, stamps;
  std::vector<int> dates;
  std::vector<std::uint8_t> dtStates, dateStates;
  for (const ReadCase& r : reads()) {
    texts.push_back(r.text);
    const long ms = r.ok ? msOf(r.y, r.mo, r.d, r.h, r.mi, r.s, r.ms) : 0;
    stamps.push_back(ms);
    datetimes.push_back(r.ok ? cal::create_timestamp_from_ms2(ms, nullptr) : 0);
    dtStates.push_back(r.ok ? 0 : 1);
    const bool dateOnly = r.ok && r.text.find(':') == std::string::npos;
    dates.push_back(dateOnly ? cal::create_gdate(r.y, r.mo, r.d) : 0);
    dateStates.push_back(dateOnly ? 0 : 1);
  }
  auto runString = [&](int op, auto values, const std::vector<std::uint8_t>& states) {
    SCOPED_TRACE(op);
    Program p;
    p.column(kLoadString, 0).op(op);
    HarnessCase c(p);
    c.addStringColumn(texts);
    c.expectRows(values, states);
  };
  auto runCells = [&]<std::size_t N>(int op, auto values, const std::vector<std::uint8_t>& states) {
    SCOPED_TRACE(op);
    std::vector<Text<N>> cells;
    for (const Str& s : texts)
      cells.push_back(cut<N>(*s));
    expectColumn(op, cells, values, states);
  };
  runString(1580, dates, dateStates);
  runString(1586, datetimes, dtStates);
  runString(1589, datetimes, dtStates);
  runCells.operator()<16>(1575, dates, dateStates);
  runCells.operator()<256>(1579, dates, dateStates);
  runCells.operator()<32>(1561, stamps, dtStates);
  runCells.operator()<64>(1562, stamps, dtStates);
  runCells.operator()<256>(1564, stamps, dtStates);
  runCells.operator()<32>(1584, datetimes, dtStates);
  runCells.operator()<32>(1587, datetimes, dtStates);
  runCells.operator()<64>(1585, datetimes, dtStates);
  runCells.operator()<64>(1588, datetimes, dtStates);
}

TEST_F(DateTimeStringCasts, TextToTime) {
  const std::vector<Str> texts = {"10:20", "10:20:30", "10:20:30.5", "23:59:59.9999", "10:20:75", "10:60",
                                  "24:00", "10",       "",           std::nullopt};
  std::vector<int> times = {cal::packTime(10, 20, 0, 0), cal::packTime(10, 20, 30, 0),
                            cal::packTime(10, 20, 30, 500), cal::packTime(0, 0, 0, 0),
                            cal::packTime(10, 20, 0, 0)};
  times.resize(10, 0);
  const std::vector<std::uint8_t> states = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
  Program p;
  p.column(kLoadString, 0).op(1583);
  HarnessCase c(p);
  c.addStringColumn(texts);
  c.expectRows(times, states);
  std::vector<Text<16>> cells16;
  std::vector<Text<32>> cells32;
  for (const Str& s : texts) {
    cells16.push_back(txt<16>(s.value_or("")));
    cells32.push_back(txt<32>(s.value_or("")));
  }
  expectColumn(1581, cells16, times, states);
  expectColumn(1582, cells32, times, states);
}

// Every text a to-text cast writes is read back to the same value by the casts of its kind (string and
// cell), over a sweep of instants: value -> text -> value in one program.
TEST_F(DateTimeStringCasts, WrittenTextsReadBack) {
  std::mt19937_64 gen(13);
  std::vector<long> stamps, datetimes;
  std::vector<int> dates, times;
  for (int k = 0; k < 2000; ++k) {
    const long ms =
        cal::kMinTimestamp +
        static_cast<long>(gen() % static_cast<unsigned long>(cal::kMaxTimestamp - cal::kMinTimestamp));
    stamps.push_back(ms);
    const long dt = cal::create_timestamp_from_ms2(ms, nullptr);
    datetimes.push_back(dt);
    dates.push_back(cal::dateTimeToDate(dt));
    times.push_back(cal::timeFromMs(((ms % cal::kMsPerDay) + cal::kMsPerDay) % cal::kMsPerDay));
  }
  stamps.push_back(msOf(9999, 12, 31, 23, 59, 59, 999));
  datetimes.push_back(cal::create_timestamp_from_ms2(stamps.back(), nullptr));
  dates.push_back(cal::create_gdate(9999, 12, 31));
  times.push_back(cal::packTime(23, 59, 59, 999));
  auto roundTrip = [&](int load, int write, int read, const auto& values) {
    SCOPED_TRACE(testing::Message() << write << " then " << read);
    Program p;
    p.column(load, 0).op(write).op(read);
    HarnessCase c(p);
    c.addColumn(values);
    c.rowCounts({65});
    c.expectRows(values);
  };
  roundTrip(kLoadI32, 720, 1580, dates);
  roundTrip(kLoadI32, 715, 1575, dates);
  roundTrip(kLoadI32, 719, 1579, dates);
  roundTrip(kLoadI32, 726, 1583, times);
  roundTrip(kLoadI32, 721, 1581, times);
  roundTrip(kLoadI32, 722, 1582, times);
  roundTrip(kLoadI64, 736, 1586, datetimes);
  roundTrip(kLoadI64, 732, 1584, datetimes);
  roundTrip(kLoadI64, 733, 1585, datetimes);
  roundTrip(kLoadI64, 727, 1561, stamps);
  roundTrip(kLoadI64, 730, 1564, stamps);
}

// Hostile packed values write some text in both evaluators without fault; the readers meet any bytes.
TEST_F(DateTimeStringCasts, HostileValuesAndBytes) {
  std::mt19937_64 gen(19);
  std::vector<long> wide;
  std::vector<int> narrow;
  std::vector<Str> texts;
  for (int k = 0; k < 500; ++k) {
    wide.push_back(static_cast<long>(gen()));
    narrow.push_back(static_cast<int>(gen()));
    std::string s(gen() % 30, ' ');
    for (char& ch : s)
      ch = static_cast<char>(gen() % 4 == 0 ? gen() % 256 : "0123456789-:. T"[gen() % 15]);
    texts.push_back(s);
  }
  wide.push_back(std::numeric_limits<long>::min());
  wide.push_back(std::numeric_limits<long>::max());
  auto run = [](int load, int op, auto fill) {
    Program p;
    HarnessCase c(p.column(load, 0).op(op));
    fill(c);
    c.rowCounts({65});
    c.run();
  };
  for (int op : {727, 730, 732, 735, 731, 736})
    run(kLoadI64, op, [&](HarnessCase& c) { c.addColumn(wide); });
  for (int op : {715, 719, 721, 725, 720, 726})
    run(kLoadI32, op, [&](HarnessCase& c) { c.addColumn(narrow); });
  for (int op : {1580, 1583, 1586})
    run(kLoadString, op, [&](HarnessCase& c) { c.addStringColumn(texts); });
}

} // namespace
