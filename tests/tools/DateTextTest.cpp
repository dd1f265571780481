// Calendar text in the command-line evaluator: CSV columns of dates, times, datetimes and timestamps,
// quoted calendar constants read as their consumer's operand type, format= compiled into format codes,
// and result printing (raw integers for values without calendar text). Expected cells come from the
// tests' own calendar model.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "tests/functions/datetime/DateTimeZoneTestModel.h"
#include "tools/CsvData.h"
#include "tools/DateText.h"
#include "tools/ProgramText.h"
#include "tools/ResultText.h"

using namespace vela::ParserUtils;
using quarry::tools::CsvData;
using quarry::tools::CsvError;
using quarry::tools::formatCell;
using quarry::tools::parseProgramText;
using quarry::tools::ProgramTextError;
namespace m = quarry::test::dtmodel;

namespace {

template <class T>
T cell(const CsvData& d, int column, unsigned long row) {
  T v;
  std::memcpy(&v, d.columns()[column].cells.data() + row * sizeof(T), sizeof v);
  return v;
}

template <class T>
std::string print(RpnDataType type, T v) {
  unsigned char bytes[8] = {};
  std::memcpy(bytes, &v, sizeof v);
  return formatCell(type, bytes, sizeof v, 0);
}

Program parse(const std::string& text) {
  Program p;
  parseProgramText(text, p);
  return p;
}

void expectRefusal(const std::string& text, const std::string& expected) {
  try {
    parse(text);
    ADD_FAILURE() << text << " was accepted";
  } catch (const ProgramTextError& e) {
    EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << text << ": " << e.what();
  }
}

} // namespace

TEST(DateText, CsvColumnsReadCalendarText) {
  const CsvData d = CsvData::parse("d:date,t:time,x:datetime,s:timestamp\n"
                                   "2024-02-29,13:45,2024-02-29 13:45:30.125,1970-01-01 00:00:00.001\n"
                                   "9999-12-31,23:59:59.999,1000-01-01,2900-12-31 23:59:59.999\n"
                                   "1000-01-01,00:00:07,9999-12-31 23:59,1969-12-31 23:59\n"
                                   ",,,\n");
  ASSERT_EQ(d.rows(), 4u);
  EXPECT_EQ(cell<std::int32_t>(d, 0, 0), m::date(2024, 2, 29));
  EXPECT_EQ(cell<std::int32_t>(d, 0, 1), m::date(9999, 12, 31));
  EXPECT_EQ(cell<std::int32_t>(d, 0, 2), m::date(1000, 1, 1));
  EXPECT_EQ(cell<std::int32_t>(d, 1, 0), m::time(13, 45));
  EXPECT_EQ(cell<std::int32_t>(d, 1, 1), m::time(23, 59, 59, 999));
  EXPECT_EQ(cell<std::int32_t>(d, 1, 2), m::time(0, 0, 7));
  EXPECT_EQ(cell<std::int64_t>(d, 2, 0), m::dt(2024, 2, 29, 13, 45, 30, 125));
  EXPECT_EQ(cell<std::int64_t>(d, 2, 1), m::dt(1000, 1, 1));
  EXPECT_EQ(cell<std::int64_t>(d, 2, 2), m::dt(9999, 12, 31, 23, 59));
  EXPECT_EQ(cell<std::int64_t>(d, 3, 0), 1);
  EXPECT_EQ(cell<std::int64_t>(d, 3, 1), m::msOf(2900, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(cell<std::int64_t>(d, 3, 2), -60'000);
  EXPECT_EQ(d.columns()[2].nulls, (std::vector<unsigned char>{0, 0, 0, 1}));
}

TEST(DateText, MalformedCalendarCellsAreRefusedWithTheirPlace) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a:date\n2023-02-29\n", "'2023-02-29' is not a calendar day"},
      {"a:date\n1900-02-29\n", "not a calendar day"},
      {"a:date\n2024-2-29\n", "is not a date (YYYY-MM-DD)"},
      {"a:date\n2024-02-29 \n", "is not a date"},
      {"a:date\n0999-12-31\n", "outside 1000 .. 2900 (and 9999)"},
      {"a:date\n2901-01-01\n", "outside 1000 .. 2900"},
      {"a:time\n24:00\n", "is not a time of day"},
      {"a:time\n12:60\n", "is not a time of day"},
      {"a:time\n12:30:45.12\n", "is not a time (HH:MM:SS.mmm"},
      {"a:time\n12:30:45.\n", "is not a time"},
      {"a:time\n7:30\n", "is not a time"},
      {"a:datetime\n2024-01-01T10:00\n", "is not a datetime"},
      {"a:datetime\n2024-01-01  10:00\n", "is not a datetime"},
      {"a:timestamp\n9999-12-31\n", "outside 1000 .. 2900"},
      {"a:timestamp\n2024-04-31 10:00\n", "not a calendar day"},
      {"a:i32,b:date\n1,2024-01-01\n2,2024-13-01\n",
       "line 3: column 2 ('b'): '2024-13-01' is not a calendar day"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      CsvData::parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const CsvError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << text << "\n-> " << e.what();
    }
  }
}

TEST(DateText, ResultsPrintAsCalendarTextOrRawIntegers) {
  struct Case {
    RpnDataType type;
    long value;
    std::string text;
  };
  const long kMin = -30'610'224'000'000L, kMax = 29'379'542'399'999L;
  const std::vector<Case> cases = {
      {RpnDataType::Date, m::date(2024, 2, 29), "2024-02-29"},
      {RpnDataType::Date, m::date(9999, 12, 31), "9999-12-31"},
      {RpnDataType::Date, m::date(2024, 2, 29) + 1,
       std::to_string(m::date(2024, 2, 29) + 1)}, // wrong weekday
      {RpnDataType::Date, m::date(2024, 4, 30) + (1 << 12), std::to_string(m::date(2024, 4, 30) + (1 << 12))},
      {RpnDataType::Date, 0, "0"},
      {RpnDataType::Time, m::time(0, 0, 0, 1), "00:00:00.001"},
      {RpnDataType::Time, m::time(23, 59, 59, 999), "23:59:59.999"},
      {RpnDataType::Time, m::time(24, 0), std::to_string(m::time(24, 0))},
      {RpnDataType::Time, m::time(1, 0) | 1, std::to_string(m::time(1, 0) | 1)}, // a bit below the fields
      {RpnDataType::DateTime, m::dt(2024, 3, 5, 14, 7, 9, 45), "2024-03-05 14:07:09.045"},
      {RpnDataType::DateTime, m::dt(9999, 12, 31), "9999-12-31 00:00:00.000"},
      {RpnDataType::DateTime, m::dt(2024, 3, 5) + (1L << 8), std::to_string(m::dt(2024, 3, 5) + (1L << 8))},
      {RpnDataType::DateTime, -1, "-1"},
      {RpnDataType::Timestamp, 0, "1970-01-01 00:00:00.000"},
      {RpnDataType::Timestamp, -1, "1969-12-31 23:59:59.999"},
      {RpnDataType::Timestamp, kMin, "1000-01-01 00:00:00.000"},
      {RpnDataType::Timestamp, kMax, "2900-12-31 23:59:59.999"},
      {RpnDataType::Timestamp, kMin - 1, "-30610224000001"},
      {RpnDataType::Timestamp, kMax + 1, "29379542400000"},
  };
  for (const Case& c : cases) {
    const std::string got = c.type == RpnDataType::Date || c.type == RpnDataType::Time
                                ? print(c.type, static_cast<std::int32_t>(c.value))
                                : print(c.type, static_cast<std::int64_t>(c.value));
    EXPECT_EQ(got, c.text) << rpnDataTypeShortName(c.type) << " " << c.value;
  }
}

TEST(DateText, QuotedConstantsTakeTheirConsumersType) {
  const Program p = parse("CONST_I32 '2024-02-29'; CAST_DATE_TO_I32;"
                          "CONST_I32 '13:45'; CAST_TIME_TO_I64;"
                          "CONST_I64 '2024-02-29 01:02:03.004'; CAST_DATETIME_TO_TIMESTAMP;"
                          "CONST_I64 '1970-01-01 00:00:00.001'; CAST_TIMESTAMP_TO_DATETIME; COMBINE_STATES");
  EXPECT_EQ(p.elements()[0].operandAs<std::int32_t>(), m::date(2024, 2, 29));
  EXPECT_EQ(p.elements()[2].operandAs<std::int32_t>(), m::time(13, 45));
  EXPECT_EQ(p.elements()[4].operandAs<std::int64_t>(), m::dt(2024, 2, 29, 1, 2, 3, 4));
  EXPECT_EQ(p.elements()[6].operandAs<std::int64_t>(), 1);
  // A bare integer stays an integer, whoever reads it.
  EXPECT_EQ(parse("CONST_I32 20240229; CAST_DATE_TO_I32").elements()[0].operandAs<std::int32_t>(), 20240229);

  expectRefusal("CONST_I32 '2024-02-29'", "no op pops this one");
  expectRefusal("CONST_I64 '2024-01-01'; CONST_I64 1; ADD_I64", "ADD_I64 reads it as i64");
  expectRefusal("CONST_I32 '2024-02-30'; CAST_DATE_TO_I32", "'2024-02-30' is not a calendar day");
  expectRefusal("CONST_I32 '2024-02-28'; CAST_TIME_TO_I64", "is not a time");
  expectRefusal("CONST_I64 '9999-01-01'; CAST_TIMESTAMP_TO_DATETIME", "outside 1000 .. 2900");
}

TEST(DateText, FormatTextCompilesToFormatCodes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"YYYY-MM-DD HH24:MI:SS.MS", std::string{4, '-', 11, '-', 15, ' ', 18, ':', 21, ':', 22, '.', 24}},
      {"Y,YYY YYY YY Y YEAR CC", std::string{6, ' ', 7, ' ', 8, ' ', 121, ' ', char(134), ' ', 3}},
      {"MONTH MON MM RM", std::string{9, ' ', 10, ' ', 11, ' ', 12}},
      {"DAY DY DDD DD D", std::string{13, ' ', 14, ' ', 16, ' ', 15, ' ', 100}},
      {"WW W IW IYYY IYY IY ID IDDD", std::string{17, ' ', 119, ' ', char(131), ' ', char(128), ' ',
                                                  char(129), ' ', char(130), ' ', char(133), ' ', char(132)}},
      {"HH12 HH SSSSS FF FF2 FF9 US",
       std::string{20, ' ', 20, ' ', 26, ' ', 23, ' ', 23, '2', ' ', 23, '9', ' ', 25}},
      {"AM PM A.M. P.M. AD A.D. Q J",
       std::string{27, ' ', 27, ' ', 28, ' ', 28, ' ', 1, ' ', 2, ' ', 113, ' ', 106}},
      {"yyyy/mm/dd;hh24_mi", std::string{4, '/', 11, '/', 15, ';', 18, '_', 21}},
      {"\"at\" HH24", std::string{'"', 'a', 't', '"', ' ', 18}},
      {"", std::string()},
  };
  for (const auto& [text, codes] : cases) {
    std::string got, why;
    EXPECT_TRUE(quarry::tools::compileDateFormat(text, got, why)) << text << ": " << why;
    EXPECT_EQ(got, codes) << text;
  }
  // Through the program text, into a char32 constant (character 0 at the highest byte).
  const Program p = parse("CONST_CHAR32 format='YYYY-MM-DD'");
  EXPECT_EQ(unpackCharN(p.elements()[0].operand, 32), (std::string{4, '-', 11, '-', 15}));

  expectRefusal("CONST_CHAR32 format='YYYY-XX'", "unknown element at character 6");
  expectRefusal("CONST_CHAR32 format='\"open'", "no closing double quote");
  expectRefusal("CONST_CHAR32 format='" + std::string(33, 'Q') + "'", "compiles to 33 bytes");
  expectRefusal("CONST_I64 format='YYYY'", "format= belongs to char32 constants");
  expectRefusal("CONST_CHAR32 'x' format='YYYY'", "either it or an operand");
  expectRefusal("CONST_CHAR32 format='YYYY' format='MM'", "given twice");
}
