// Date/time text and format strings.
//
// Text: the four readers of the casts (date, time, datetime, timestamp) and the tool's canonical
// reader. Each accepted value prints and reads back to itself; the cell form of a reader agrees with
// the heap-text form on text without NUL bytes.
//
// Formats: input is format text, then (after byte 31) a value text. The format compiler accepts or
// refuses with a reason; a compiled format (or, with byte 0 = '!', the raw bytes as byte codes) formats
// fixed values through the resolved plan exactly as the general formatter does, and parses the value
// text in the heap-text and cell forms with the same outcome.
#include <cstring>
#include <string>

#include "base/Calendar.h"
#include "base/DateTimeFormat.h"
#include "base/DateTimeText.h"
#include "base/ParserUtils.h"
#include "fuzz/FuzzTarget.h"
#include "tools/DateText.h"

namespace quarry::fuzz {

namespace {

namespace C = vela::calendar;
using vela::ParserUtils::RpnDataType;

template <class V>
using StringReader = bool (*)(std::string_view, V&);
template <class V>
using CellReader = bool (*)(const char*, unsigned long, V&);
template <class V>
using Writer = int (*)(V, char*);

template <class V>
void checkReader(const char* kind, StringReader<V> read, CellReader<V> readCell, Writer<V> write,
                 std::string_view text, std::string_view input) {
  V value{};
  const bool accepted = read(text, value);
  if (text.size() <= 64 && text.find('\0') == std::string_view::npos) {
    unsigned char cell[64];
    packCell(text, cell, sizeof cell);
    V fromCell{};
    const bool cellAccepted = readCell(reinterpret_cast<const char*>(cell), sizeof cell, fromCell);
    if (cellAccepted != accepted || (accepted && fromCell != value))
      fail(std::string("the cell and heap forms of the ") + kind + " reader disagree", input);
  }
  if (!accepted || write == nullptr)
    return;
  char out[C::kDateTimeTextMax];
  const int n = write(value, out);
  if (n <= 0 || static_cast<unsigned long>(n) > sizeof out)
    fail(std::string("the ") + kind + " writer wrote " + std::to_string(n) + " characters", input);
  V again{};
  if (!read(std::string_view(out, static_cast<std::size_t>(n)), again) || again != value)
    fail(std::string("the ") + kind + " text " + std::string(out, static_cast<std::size_t>(n)) +
             " does not read back to its value",
         input);
}

void checkToolText(RpnDataType type, std::string_view text, std::string_view input) {
  unsigned char cell[8] = {};
  std::string why;
  if (!tools::parseCalendarText(type, text, cell, why)) {
    if (why.empty())
      fail("the tool's calendar reader refuses without a reason", input);
    return;
  }
  const std::string printed = tools::formatCalendarCell(type, cell);
  unsigned char again[8] = {};
  if (!tools::parseCalendarText(type, printed, again, why) || std::memcmp(cell, again, sizeof cell) != 0)
    fail("the tool's text " + printed + " does not read back to its value", input);
}

long packed(int year, int month, int day, int hour, int minute, int second, int msec) {
  int doy = 0, dow = 0;
  C::get_day_of_year_and_week(year, month, day, doy, dow);
  return C::packDateTime(year, month, day, hour, minute, second, msec, doy, dow);
}

// Values the formats are applied to: ordinary, edge and hostile packed datetimes (a millisecond field
// above 999 widens, month 13 and day of week 0 are outside the word tables, -1 sets every bit).
const long kDateTimes[] = {packed(2024, 2, 29, 13, 45, 30, 125),
                           packed(1000, 1, 1, 0, 0, 0, 0),
                           packed(9999, 12, 31, 23, 59, 59, 999),
                           packed(1969, 12, 31, 12, 0, 0, 5),
                           packed(2001, 1, 1, 0, 0, 0, 1023),
                           C::packDateTime(2020, 13, 31, 31, 63, 63, 0, 0, 0),
                           -1L,
                           0L};

} // namespace

int dateTimeText(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view text = asText(bytes, size);
  checkReader<int>("date", C::gdate_from_string, C::gdate_from_charN, C::convert_gdate_to_string, text, text);
  checkReader<int>("time", C::gtime_from_string, C::gtime_from_charN, C::convert_gtime_to_string, text, text);
  checkReader<long>("datetime", C::gdatetime_from_string, C::gdatetime_from_charN,
                    C::convert_gdatetime_to_string, text, text);
  checkReader<long>("timestamp", C::gtimestamp_from_string, C::gtimestamp_from_charN, nullptr, text, text);
  for (RpnDataType type :
       {RpnDataType::Date, RpnDataType::Time, RpnDataType::DateTime, RpnDataType::Timestamp})
    checkToolText(type, text, text);
  return 0;
}

int dateTimeFormat(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  const std::vector<std::string_view> fields = splitFields(input, 2);
  std::string codes;
  if (!fields[0].empty() && fields[0][0] == '!') {
    codes.assign(fields[0].substr(1, C::kFormatWidth));
  } else {
    std::string why;
    if (!tools::compileDateFormat(fields[0], codes, why)) {
      if (why.empty())
        fail("the format compiler refuses without a reason", input);
      return 0;
    }
    if (codes.size() > C::kFormatWidth)
      fail("a compiled format is longer than its cell", input);
  }
  char format32[C::kFormatWidth];
  packCell(codes, reinterpret_cast<unsigned char*>(format32), sizeof format32);

  C::DateTimeFormatPlan plan;
  C::buildDateTimeFormatPlan(format32, plan);
  for (const long dt : kDateTimes) {
    char general[C::kFormatWidth], planned[C::kFormatWidth];
    C::timestamp_to_char(dt, format32, general);
    C::applyDateTimeFormatPlan(plan, dt, planned);
    if (std::memcmp(general, planned, sizeof general) != 0)
      fail("the resolved plan formats differently from the general formatter", input);
  }

  const std::string_view text = fields[1];
  int date = 0, time = 0;
  long ms = 0;
  const bool dateOk = C::parseDateWithFormat(format32, text.data(), text.size(), 1, date);
  const bool msOk = C::parseTimestampWithFormat(format32, text.data(), text.size(), 1, ms);
  const bool timeOk = C::parseTimeWithFormat(format32, text.data(), text.size(), 1, time);
  if (text.size() <= 256 && text.find('\0') == std::string_view::npos) {
    char cell[256];
    packCell(text, reinterpret_cast<unsigned char*>(cell), sizeof cell);
    int date2 = 0, time2 = 0;
    long ms2 = 0;
    if (C::parseDateWithFormat(format32, cell, sizeof cell, -1, date2) != dateOk ||
        (dateOk && date2 != date) ||
        C::parseTimestampWithFormat(format32, cell, sizeof cell, -1, ms2) != msOk || (msOk && ms2 != ms) ||
        C::parseTimeWithFormat(format32, cell, sizeof cell, -1, time2) != timeOk || (timeOk && time2 != time))
      fail("parsing a cell and a heap text with one format disagree", input);
  }
  return 0;
}

} // namespace quarry::fuzz
