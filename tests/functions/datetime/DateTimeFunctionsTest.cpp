// Date/time field, name, epoch and calendar-day ops through both evaluators, every constant/column form.
// Expected values are stated as text (converted by an independent day count) or computed by hand from
// the packed layouts.
#include <limits>
#include <vector>

#include "tests/functions/datetime/DateTimeTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::datetime;
using vela::calendar::packDateTime;

namespace {

constexpr int kIntMin = std::numeric_limits<int>::min();
// 9999-12-31 12:00, stored with the year field 1023 (a Friday, day 365).
const long k9999 = packDateTime(9999, 12, 31, 12, 0, 0, 0, 365, 6);

// Field ops in the order year, quarter, month, week, day, hour, minute, second, msec, day of week, day
// of year.
struct Fields {
  long value;
  int f[11];
};

void expectFields(const std::vector<int>& ops, const std::vector<Fields>& rows) {
  for (std::size_t k = 0; k < ops.size(); ++k) {
    std::vector<Row<int, long>> table;
    for (const Fields& r : rows)
      table.push_back({{r.value}, r.f[k]});
    expectTable<int>(ops[k], table);
  }
}

TEST(DateTimeFields, DatetimeFieldsAsStored) {
  const std::vector<Fields> rows = {
      {dt("2024-02-29 13:45:30.123"), {2024, 1, 2, 9, 29, 13, 45, 30, 123, 5, 60}},
      {dt("1970-01-01"), {1970, 1, 1, 1, 1, 0, 0, 0, 0, 5, 1}},
      {dt("2023-12-31 23:59:59.999"), {2023, 4, 12, 53, 31, 23, 59, 59, 999, 1, 365}},
      {dt("1000-01-01"), {1000, 1, 1, 1, 1, 0, 0, 0, 0, 4, 1}},
      {dt("2900-12-31 12:00"), {2900, 4, 12, 53, 31, 12, 0, 0, 0, 6, 365}},
      {k9999, {9999, 4, 12, 53, 31, 12, 0, 0, 0, 6, 365}},
      // Every bit set: year field -1, month 15, day 31, hour 31, minute and second 63, msec 1023, day
      // of year 511, day of week 7.
      {-1L, {1899, 5, 15, 73, 31, 31, 63, 63, 1023, 7, 511}}};
  expectFields({1378, 1379, 1380, 1381, 1382, 1383, 1384, 1385, 1386, 1387, 1388}, rows);
  expectFields({1399, 1400, 1401, 1402, 1403, 1404, 1405, 1406, 1407, 1408, 1409}, rows);
}

TEST(DateTimeFields, TimestampFieldsByTheFourYearCycle) {
  expectFields({1441, 1442, 1443, 1444, 1445, 1446, 1447, 1448, 1449, 1450, 1451},
               {{ms("2024-02-29 13:45:30.123"), {2024, 1, 2, 9, 29, 13, 45, 30, 123, 5, 60}},
                {0, {1970, 1, 1, 1, 1, 0, 0, 0, 0, 5, 1}},
                {-1, {1969, 4, 12, 53, 31, 23, 59, 59, 999, 4, 365}},
                {ms("2023-12-31 23:59:59.999"), {2023, 4, 12, 53, 31, 23, 59, 59, 999, 1, 365}},
                // Outside 1901-2099 the cycle counts 2100 as leap: 2100-03-01 still reads as March
                // (day 60 of a year taken as common), 2101-02-01 reads as day 31, 31 January.
                {ms("2100-03-01"), {2100, 1, 3, 10, 1, 0, 0, 0, 0, 2, 60}},
                {ms("2101-02-01 06:07:08.009"), {2101, 1, 1, 5, 31, 6, 7, 8, 9, 3, 31}}});
}

TEST(DateTimeFields, DateAndTimeFields) {
  const std::vector<int> ops = {1461, 1462, 1463, 1464, 1465, 1466, 1467, 1469};
  const struct {
    int date;
    int f[8]; // year, quarter, month, week, day, day of week, day of year, year * 100 + month
  } rows[] = {{date("2024-02-29"), {2024, 1, 2, 9, 29, 5, 60, 202402}},
              {date("9999-12-31"), {9999, 4, 12, 53, 31, 6, 365, 999912}},
              {date("1000-01-01"), {1000, 1, 1, 1, 1, 4, 1, 100001}},
              {-1, {1899, 5, 15, 73, 31, 7, 511, 189915}}};
  for (std::size_t k = 0; k < ops.size(); ++k) {
    std::vector<Row<int, int>> table;
    for (const auto& r : rows)
      table.push_back({{r.date}, r.f[k]});
    expectTable<int>(ops[k], table);
  }
  const int fields[2][4] = {{23, 59, 58, 997}, {63, 63, 63, 1023}};
  for (int k = 0; k < 4; ++k)
    expectTable<int>(
        1478 + k, std::vector<Row<int, int>>{{{time("23:59:58.997")}, fields[0][k]}, {{-1}, fields[1][k]}});
}

TEST(DateTimeFields, PartsByUnit) {
  const long v = dt("2024-02-29 13:45:30.123");
  using R = Row<long, int, long>;
  std::vector<R> rows = {{{0, v}, 123},   {{1, v}, 30}, {{2, v}, 45}, {{3, v}, 13},     {{4, v}, 29},
                         {{5, v}, 9},     {{6, v}, 5},  {{7, v}, 60}, {{8, v}, 2},      {{9, v}, 1},
                         {{10, v}, 2024}, {{13, v}, 0}, {{-1, v}, 0}, {{kIntMin, v}, 0}};
  rows.insert(rows.end(),
              {{{11, v}, ms("2024-02-29 13:45:30.123")},
               {{12, v}, ms("2024-02-29 13:45:30") / 1000},
               {{12, dt("1969-12-31 23:59:59.999")}, -1},
               {{12, packDateTime(9999, 1, 1, 0, 0, 1, 0, 1, 6)}, daysFromCivil(9999, 1, 1) * 86400 + 1},
               {{10, k9999}, 9999}});
  expectTable<long>(1415, rows);
  const int t = time("13:45:30.123");
  const std::vector<Row<long, int, int>> timeRows = {
      {{0, t}, 123},    {{1, t}, 30}, {{2, t}, 45}, {{3, t}, 13}, {{11, t}, 49530123},
      {{12, t}, 49530}, {{4, t}, 0},  {{10, t}, 0}, {{13, t}, 0}, {{-1, t}, 0}};
  expectTable<long>(1484, timeRows);
}

TEST(DateTimeFields, MonthAndDayNames) {
  const Name none{};
  for (int op : {1394, 1422})
    expectTable<Name>(op,
                      std::vector<Row<Name, long>>{{{dt("2024-09-01")}, name("September")},
                                                   {{dt("2024-05-31 23:00")}, name("May")},
                                                   {{0L}, none}, // month 0
                                                   {{packDateTime(2024, 13, 1, 0, 0, 0, 0, 1, 1)}, none}});
  for (int op : {1398, 1426})
    expectTable<Name>(op, std::vector<Row<Name, long>>{{{dt("2024-02-29")}, name("Thursday")},
                                                       {{dt("2024-08-17")}, name("Saturday")},
                                                       {{dt("2024-08-18")}, name("Sunday")},
                                                       {{0L}, none}}); // day of week 0
  expectTable<Name>(1457, std::vector<Row<Name, long>>{{{ms("2024-12-25 10:00")}, name("December")},
                                                       {{ms("1999-01-01")}, name("January")}});
  expectTable<Name>(1458, std::vector<Row<Name, long>>{{{ms("2024-12-25 10:00")}, name("Wednesday")},
                                                       {{0L}, name("Thursday")}});
  expectTable<Name>(1468, std::vector<Row<Name, int>>{{{date("2024-05-01")}, name("May")}, {{0}, none}});
  expectTable<Name>(1472,
                    std::vector<Row<Name, int>>{{{date("2024-05-01")}, name("Wednesday")}, {{0}, none}});
}

TEST(DateTimeFields, EpochValues) {
  for (int op : {1392, 1418})
    expectTable<long>(
        op, std::vector<Row<long, long>>{{{dt("2024-02-29 13:45:30.123")}, ms("2024-02-29 13:45:30.123")},
                                         {{dt("1969-12-31 23:59:59.999")}, -1},
                                         {{dt("1000-01-01")}, -30610224000000}});
  for (int op : {1393, 1419})
    expectTable<long>(op, std::vector<Row<long, long>>{{{dt("2024-02-29 13:45:30.123")}, 1709214330},
                                                       {{dt("1969-12-31 23:59:59.999")}, -1}});
  expectTable<long>(1473, std::vector<Row<long, int>>{{{date("1969-12-31")}, -86400000},
                                                      {{date("2024-02-29")}, ms("2024-02-29")},
                                                      {{date("9999-12-31")}, ms("9999-12-31")}});
  expectTable<long>(
      1475, std::vector<Row<long, int>>{{{date("1969-12-31")}, -86400}, {{date("2000-03-01")}, 951868800}});
}

TEST(DateTimeFields, LastAndNextDays) {
  for (int op : {1395, 1423})
    expectTable<int>(op, std::vector<Row<int, long>>{{{dt("2024-02-10 10:00")}, date("2024-02-29")},
                                                     {{dt("2023-02-10")}, date("2023-02-28")},
                                                     {{dt("1900-02-01")}, date("1900-02-28")},
                                                     {{dt("2000-02-01")}, date("2000-02-29")},
                                                     {{dt("2024-12-31 23:59:59.999")}, date("2024-12-31")},
                                                     {{dt("2024-04-01")}, date("2024-04-30")}});
  // 2024-08-14 is a Wednesday. The day strictly after: the same weekday is a week later; outside 1..7 the
  // day of week is taken modulo 7 (0 Saturday, 8 Sunday, kIntMin = 5 mod 7, Thursday).
  const struct {
    const char* from;
    int dow;
    const char* next;
  } rows[] = {{"2024-08-14", 4, "2024-08-21"}, {"2024-08-14", 5, "2024-08-15"},
              {"2024-08-14", 1, "2024-08-18"}, {"2024-08-14", 3, "2024-08-20"},
              {"2024-12-28", 2, "2024-12-30"}, {"2024-12-31", 4, "2025-01-01"},
              {"2024-02-28", 5, "2024-02-29"}, {"2024-08-14", 0, "2024-08-17"},
              {"2024-08-14", 8, "2024-08-18"}, {"2024-08-14", kIntMin, "2024-08-15"}};
  std::vector<Row<int, long, int>> fromDt;
  std::vector<Row<int, int, int>> fromDate;
  for (const auto& r : rows) {
    fromDt.push_back(
        {{dt(r.from) + (dt("1970-01-01 23:59:59.999") - dt("1970-01-01")), r.dow}, date(r.next)});
    fromDate.push_back({{date(r.from), r.dow}, date(r.next)});
  }
  expectTable<int>(1396, fromDt);
  expectTable<int>(1424, fromDt);
  expectTable<int>(1470, fromDate);
}

TEST(DateTimeFields, DatetimeFromDateAndTime) {
  for (int op : {1437, 1439})
    expectTable<long>(op, std::vector<Row<long, int, int>>{
                              {{date("2024-02-29"), time("13:45:30.123")}, dt("2024-02-29 13:45:30.123")},
                              {{date("1000-01-01"), time("00:00:00.000")}, dt("1000-01-01")},
                              {{date("9999-12-31"), time("12:00:00.000")}, k9999}});
}

// Every op of the family with hostile operands: all-ones, zero, the extremes and random bits. The
// harness checks that both evaluators agree; the sanitizer build checks the arithmetic is defined.
TEST(DateTimeFields, GarbageOperandsGiveDefinedResults) {
  std::vector<long> wide = {0, -1, std::numeric_limits<long>::min(), std::numeric_limits<long>::max(), k9999};
  std::uint64_t s = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 59; ++i) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    wide.push_back(static_cast<long>(s ^ (s >> 29)));
  }
  std::vector<int> codes;
  for (int code = 1378; code <= 1486; ++code)
    if (vela::ParserUtils::opFamily(code) == vela::ParserUtils::OpFamily::DateTime)
      codes.push_back(code);
  for (int code : {1051, 1348, 1349, 1357, 1358, 1366, 1367})
    codes.push_back(code);
  for (int code : codes) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    const auto* info = vela::ParserUtils::opInfo(code);
    Program p;
    std::vector<std::vector<unsigned char>> columns;
    for (int k = 0; k < info->numOperands; ++k) {
      const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(info->operands[k]);
      p.column(width == 4 ? kLoadI32 : kLoadI64, k);
      std::vector<unsigned char> bytes;
      for (std::size_t r = 0; r < wide.size(); ++r) {
        const long v = wide[(r * (k + 3)) % wide.size()]; // a different pairing for each operand
        bytes.insert(bytes.end(), reinterpret_cast<const unsigned char*>(&v),
                     reinterpret_cast<const unsigned char*>(&v) + width);
      }
      columns.push_back(std::move(bytes));
    }
    p.op(code);
    HarnessCase c(p);
    for (int k = 0; k < info->numOperands; ++k)
      c.addRawColumn(vela::ParserUtils::get_rpn_datatype_size(info->operands[k]), wide.size(), columns[k]);
    c.run();
  }
}

} // namespace
