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

// TO_CHAR (1487-1490) and TO_DATE, TO_TIMESTAMP, TO_TIME on char64 text and heap strings (1491-1498)
// through both evaluators, with the format as a constant (resolved once per batch) and as a column.
// Expected texts and values are hand-computed; the string and charN parsers are checked to agree on
// random texts.
/// A compiled format: codes in reading order.
Text<32> fmt(std::initializer_list<int> codes) {
  std::string s;
  for (int c : codes)
    s.push_back(static_cast<char>(c));
  return txt<32>(s);
}

const Text<32> kFull = fmt({4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24});
const Text<32> kWords = fmt({14, ' ', 99, ' ', 9, ' ', 134});
const Text<32> kClock = fmt({104, ':', 21, ' ', 28, ' ', 23, '2'});

TEST(DateTimeTextOps, ToCharOfEachKind) {
  const long tue = dtOf(2024, 3, 5, 14, 7, 9, 45);
  expectTable<Text<32>, long, Text<32>>(
      1487,
      {{{tue, kFull}, txt<32>("2024-03-05 14:07:09.045")},
       {{tue, kWords}, txt<32>("Tue 5 March Twenty Twenty-Four")},
       {{dtOf(2000, 1, 1, 0, 30, 0, 996), kClock}, txt<32>("12:30 A.M. 99")},
       {{dtOf(1984, 12, 1, 12), kWords}, txt<32>("Sat 1 December Nineteen Eighty-F")},
       {{cal::packDateTime(2024, 13, 0, 31, 63, 63, 1023, 0, 0), kFull}, txt<32>("2024-13-00 31:63:63.1023")},
       {{tue, fmt({})}, txt<32>("")}});
  expectTable<Text<32>, long, Text<32>>(1488,
                                        {{{0L, kFull}, txt<32>("1970-01-01 00:00:00.000")},
                                         {{-1L, kFull}, txt<32>("1969-12-31 23:59:59.999")},
                                         {{cal::kMinTimestamp, kFull}, txt<32>("1000-01-01 00:00:00.000")},
                                         {{cal::kMaxTimestamp, kFull}, txt<32>("2900-12-31 23:59:59.999")},
                                         {{0L, kWords}, txt<32>("Thu 1 January Nineteen Seventy")}});
  expectTable<Text<32>, int, Text<32>>(
      1489, {{{cal::create_gdate(2024, 3, 5), kFull}, txt<32>("2024-03-05 00:00:00.000")},
             {{cal::create_gdate(9999, 12, 31), fmt({4, 16, 13})}, txt<32>("9999365Friday")},
             {{cal::create_gdate(2024, 3, 5), kClock}, txt<32>("12:00 A.M. 00")}});
  expectTable<Text<32>, int, Text<32>>(
      1490, {{{cal::packTime(14, 7, 9, 45), kFull}, txt<32>("1900-00-00 14:07:09.045")},
             {{cal::packTime(14, 7, 9, 45), kClock}, txt<32>("2:07 P.M. 05")},
             {{cal::packTime(23, 59, 59, 999), fmt({26})}, txt<32>("86399")}});
}

// Parse rows: format, text, value, state.
const Text<32> kYmd = fmt({4, '-', 11, '-', 15});
const Text<32> kHm = fmt({18, ':', 21, 36, ':', 22});

TEST(DateTimeTextOps, ToDateToTimestampToTime) {
  using R = Row<int, Text<32>, Text<64>>;
  expectTable<int, Text<32>, Text<64>>(
      1491, {R{{kYmd, txt<64>("2024-03-05")}, cal::create_gdate(2024, 3, 5)},
             R{{kYmd, txt<64>("0999-01-01")}, 0, 1}, R{{kYmd, txt<64>("2901-01-01")}, 0, 1},
             R{{kYmd, txt<64>("9999-12-31")}, cal::create_gdate(9999, 12, 31)},
             R{{kYmd, txt<64>("2023-02-30")}, 0, 1}, R{{kYmd, txt<64>("2024-03-05 x")}, 0, 1},
             R{{kWords, txt<64>("tue 5 MARCH twenty twenty-four")}, cal::create_gdate(2024, 3, 5)},
             R{{fmt({}), txt<64>("")}, 0, 1}});
  using T = Row<long, Text<32>, Text<64>>;
  for (int op : {1493, 1497})
    expectTable<long, Text<32>, Text<64>>(
        op, {T{{kFull, txt<64>("2024-03-05 14:07:09.045")}, msOf(2024, 3, 5, 14, 7, 9, 45)},
             T{{kFull, txt<64>(" 2024-3-5 14:7:9.45 ")}, msOf(2024, 3, 5, 14, 7, 9, 45)},
             T{{kFull, txt<64>("2024-03-05 24:00:00.000")}, msOf(2024, 3, 6)},
             T{{kFull, txt<64>("2024-03-05 10:60:00.000")}, 0, 1},
             T{{kFull, txt<64>("1000-01-01 00:00:00.000")}, cal::kMinTimestamp},
             T{{kYmd, txt<64>("2900-12-31")}, msOf(2900, 12, 31)},
             T{{kFull, txt<64>("2024-03-05 14:07:09")}, 0, 1}});
  using U = Row<int, Text<32>, Text<64>>;
  expectTable<int, Text<32>, Text<64>>(
      1495, {U{{kHm, txt<64>("10:20:75")}, cal::packTime(10, 20, 0, 0)}, U{{kHm, txt<64>("10:60")}, 0, 1},
             U{{kHm, txt<64>("10:20")}, cal::packTime(10, 20, 0, 0)}, U{{kHm, txt<64>("24:00")}, 0, 1},
             U{{kClock, txt<64>("12:30 p.m. 5")}, cal::packTime(12, 30, 0, 500)},
             U{{kHm, txt<64>("10:20:30 pm")}, 0, 1}});
}

/// Runs a string-text parse op and its char64 twin over the same texts (format constant and column) and
/// checks both against the expected values and states.
template <class Out>
void expectStringParse(int stringOp, int cellOp, const Text<32>& format, const std::vector<Str>& texts,
                       const std::vector<Out>& values, const std::vector<std::uint8_t>& states) {
  for (bool constantFormat : {true, false}) {
    SCOPED_TRACE(constantFormat ? "constant format" : "format column");
    // The format (constant or column 1), then the text in column 0.
    auto run = [&](Program& p, int load, int op) {
      constantFormat ? p.constant(kConstChar + 5, format.cell) : p.column(kLoadChar + 5, 1);
      HarnessCase c(p.column(load, 0).op(op));
      return c;
    };
    auto addFormats = [&](HarnessCase& c) {
      if (!constantFormat)
        c.addColumn(std::vector<Text<32>>(texts.size(), format));
    };
    Program strings, cellsProgram;
    HarnessCase s = run(strings, kLoadString, stringOp);
    s.addStringColumn(texts);
    addFormats(s);
    s.expectRows<Out>(values, states);
    std::vector<Text<64>> cells;
    for (const Str& t : texts)
      cells.push_back(txt<64>(t ? t->substr(0, std::min<std::size_t>(t->find('\0'), 64)) : ""));
    HarnessCase c = run(cellsProgram, kLoadChar + 6, cellOp);
    c.addColumn(cells);
    addFormats(c);
    const HarnessResult r = c.run();
    // The cell holds the text up to a NUL; rows without one must read as the string did.
    for (std::size_t i = 0; i < texts.size(); ++i)
      if (!texts[i] || texts[i]->find('\0') == std::string::npos) {
        EXPECT_EQ(r.states[i], states[i]) << "row " << i;
        if (states[i] == 0) {
          EXPECT_EQ(r.value<Out>(i), values[i]) << "row " << i;
        }
      }
  }
}

TEST(DateTimeTextOps, StringFormsMatchCellForms) {
  using namespace std::string_literals;
  const std::string padded = "2024-03-05" + std::string(100, ' '); // longer than any cell
  expectStringParse<int>(
      1492, 1491, kYmd, {"2024-03-05", "2024-02-30", std::nullopt, padded, "2024-03-05\0"s},
      {cal::create_gdate(2024, 3, 5), 0, 0, cal::create_gdate(2024, 3, 5), 0}, {0, 1, 1, 0, 1});
  for (int op : {1494, 1498})
    expectStringParse<long>(op, 1493, kFull, {"2024-03-05 14:07:09.045", "9999-12-31 00:00:00.000", "x", ""},
                            {msOf(2024, 3, 5, 14, 7, 9, 45), msOf(9999, 12, 31), 0, 0}, {0, 0, 1, 1});
  expectStringParse<int>(1496, 1495, kHm, {"10:20:75", "10:60", "23:59:01", std::nullopt},
                         {cal::packTime(10, 20, 0, 0), 0, cal::packTime(23, 59, 1, 0), 0}, {0, 1, 0, 1});
}

// Random texts near the shape of each format read alike as strings and as cells.
TEST(DateTimeTextOps, RandomTextsAgreeBetweenStringAndCell) {
  std::mt19937_64 gen(41);
  const std::string shapes[] = {"2024-03-05 14:07:09.045", "Tue 5 March Twenty Twenty-Four", "12:30 P.M. 05"};
  const Text<32> formats[] = {kFull, kWords, kClock};
  const char alphabet[] = "0123456789 -:.MmAaPpTt";
  for (int f = 0; f < 3; ++f) {
    std::vector<Str> texts;
    for (int k = 0; k < 300; ++k) {
      std::string s = shapes[f];
      for (char& ch : s)
        if (gen() % 6 == 0)
          ch = alphabet[gen() % (sizeof(alphabet) - 1)];
      texts.push_back(s);
    }
    for (auto [stringOp, cellOp] : {std::pair{1492, 1491}, std::pair{1494, 1493}, std::pair{1496, 1495}}) {
      std::vector<std::vector<unsigned char>> results;
      std::vector<std::vector<std::uint8_t>> states;
      for (bool cell : {false, true}) {
        Program p;
        p.constant(kConstChar + 5, formats[f].cell);
        p.column(cell ? kLoadChar + 6 : kLoadString, 0).op(cell ? cellOp : stringOp);
        HarnessCase c(p);
        if (cell) {
          std::vector<Text<64>> cells;
          for (const Str& s : texts)
            cells.push_back(txt<64>(*s));
          c.addColumn(cells);
        } else {
          c.addStringColumn(texts);
        }
        c.rowCounts({65});
        const HarnessResult r = c.run();
        results.push_back(r.values);
        states.push_back(r.states);
      }
      EXPECT_EQ(results[0], results[1]) << stringOp;
      EXPECT_EQ(states[0], states[1]) << stringOp;
    }
  }
}

} // namespace
