// TO_CHAR (1487-1490) and TO_DATE, TO_TIMESTAMP, TO_TIME on char64 text and heap strings (1491-1498)
// through both evaluators, with the format as a constant (resolved once per batch) and as a column.
// Expected texts and values are hand-computed; the string and charN parsers are checked to agree on
// random texts.
#include <random>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
namespace cal = vela::calendar;

namespace {

/// A compiled format: codes in reading order.
Text<32> fmt(std::initializer_list<int> codes) {
  std::string s;
  for (int c : codes)
    s.push_back(static_cast<char>(c));
  return txt<32>(s);
}
long msOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  bool invalid = false;
  return cal::date_to_epoch_msecs(y, mo, d, h, mi, s, ms, invalid);
}
long dtOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return cal::create_timestamp_from_ms2(msOf(y, mo, d, h, mi, s, ms), nullptr);
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
