#include "base/DateTimeText.h"

#include "base/DateTimeFormat.h"

namespace vela::calendar {

namespace {

// The compiled formats of the casts: 'YYYY-MM-DD'; 'HH:MM[:SS[.f]]' (36 marks where the text may end,
// 23 with precision 9 reads one to nine fraction digits); the date and time joined by 30 ('T' or
// spaces) after an optional end.
constexpr ReversedWord<32> kDateFormat("\x04-\x0b-\x0f");
constexpr ReversedWord<32> kTimeFormat("\x12:\x15$:\x16$.\x17"
                                       "9");
constexpr ReversedWord<32> kDateTimeFormat("\x04-\x0b-\x0f$\x1e\x12:\x15$:\x16$.\x17"
                                           "9");

/// Reading-order access to a text: a heap string or a cell (character i at top[-i]).
struct StringText {
  const unsigned char* p;
  long len;
  int operator[](long i) const { return p[i]; }
};
struct CellText {
  const unsigned char* top;
  long len;
  int operator[](long i) const { return top[-i]; }
};
StringText textOf(std::string_view s) {
  return {reinterpret_cast<const unsigned char*>(s.data()), static_cast<long>(s.size())};
}
CellText textOf(const char* cell, unsigned long width) {
  const auto* top = reinterpret_cast<const unsigned char*>(cell) + (width - 1);
  long n = 0;
  while (n < static_cast<long>(width) && top[-n] != 0)
    ++n;
  return {top, n};
}

template <class T>
inline bool digitsAt(const T& t, long at, int count, int& value) {
  int v = 0;
  for (int k = 0; k < count; ++k) {
    const unsigned d = static_cast<unsigned>(t[at + k] - '0');
    if (d > 9u)
      return false;
    v = v * 10 + static_cast<int>(d);
  }
  value = v;
  return true;
}

// The canonical shapes, read at fixed positions: what the general parser gives for exactly these texts,
// without walking the format. Any other text takes the general parser.
template <class T>
bool fastDate(const T& t, DateTimeFields& d) {
  return t.len >= 10 && t[4] == '-' && t[7] == '-' && digitsAt(t, 0, 4, d.year) &&
         digitsAt(t, 5, 2, d.month) && digitsAt(t, 8, 2, d.day);
}
template <class T>
bool fastTime(const T& t, long at, DateTimeFields& d) {
  const long n = t.len - at;
  if ((n != 8 && n != 12) || t[at + 2] != ':' || t[at + 5] != ':' || !digitsAt(t, at, 2, d.hour) ||
      !digitsAt(t, at + 3, 2, d.minute) || !digitsAt(t, at + 6, 2, d.second))
    return false;
  d.msec = 0;
  return n == 8 || (t[at + 8] == '.' && digitsAt(t, at + 9, 3, d.msec));
}

template <class T>
bool parseDate(const T& t, const char* first, unsigned long width, int direction, int& date) {
  DateTimeFields f{};
  if (t.len == 10 && fastDate(t, f))
    return packParsedDate(f, date);
  DateTimeStruct d;
  return !extractDateTimeValues(kDateFormat.bytes + 31, 32, -1, first, width, direction, d, 0,
                                direction < 0) &&
         packParsedDate(d, date);
}
template <class T>
bool parseTime(const T& t, const char* first, unsigned long width, int direction, int& time) {
  DateTimeFields f{};
  if (fastTime(t, 0, f))
    return packParsedTime(f, time);
  DateTimeStruct d;
  return !extractDateTimeValues(kTimeFormat.bytes + 31, 32, -1, first, width, direction, d, 0,
                                direction < 0) &&
         packParsedTime(d, time);
}
template <class T>
bool parseTimestamp(const T& t, const char* first, unsigned long width, int direction, long& ms) {
  DateTimeFields f{};
  if ((t.len == 10 || t.len == 19 || t.len == 23) && fastDate(t, f) &&
      (t.len == 10 || (t[10] == ' ' && fastTime(t, 11, f))))
    return packParsedTimestamp(f, ms);
  DateTimeStruct d;
  return !extractDateTimeValues(kDateTimeFormat.bytes + 31, 32, -1, first, width, direction, d, 0,
                                direction < 0) &&
         packParsedTimestamp(d, ms);
}

// A cell's character 0 and a string's first byte, as extractDateTimeValues takes them.
const char* cellFirst(const char* cell, unsigned long width) {
  return cell + (width - 1);
}

} // namespace

int convert_gdate_to_string(int date, char* out) {
  char cell[16];
  convert_date_to_charN(date, cell, 16);
  for (int i = 0; i < 10; ++i)
    out[i] = cell[15 - i];
  return 10;
}

int convert_gtime_to_string(int time, char* out) {
  char cell[16];
  convert_time_to_charN(time, cell, 16);
  for (int i = 0; i < 12; ++i)
    out[i] = cell[15 - i];
  return 12;
}

int convert_gdatetime_to_string(long datetime, char* out) {
  char cell[32];
  applyDateTimeFormatPlan(canonicalDateTimePlan(), datetime, cell);
  int n = 0;
  while (n < 32 && cell[31 - n] != 0) {
    out[n] = cell[31 - n];
    ++n;
  }
  return n;
}

bool gdate_from_string(std::string_view text, int& date) {
  return parseDate(textOf(text), text.data(), text.size(), 1, date);
}
bool gtime_from_string(std::string_view text, int& time) {
  return parseTime(textOf(text), text.data(), text.size(), 1, time);
}
bool gtimestamp_from_string(std::string_view text, long& ms) {
  return parseTimestamp(textOf(text), text.data(), text.size(), 1, ms);
}
bool gdatetime_from_string(std::string_view text, long& datetime) {
  long ms = 0;
  if (!gtimestamp_from_string(text, ms))
    return false;
  datetime = create_timestamp_from_ms2(ms, nullptr);
  return true;
}

bool gdate_from_charN(const char* cell, unsigned long width, int& date) {
  return parseDate(textOf(cell, width), cellFirst(cell, width), width, -1, date);
}
bool gtime_from_charN(const char* cell, unsigned long width, int& time) {
  return parseTime(textOf(cell, width), cellFirst(cell, width), width, -1, time);
}
bool gtimestamp_from_charN(const char* cell, unsigned long width, long& ms) {
  return parseTimestamp(textOf(cell, width), cellFirst(cell, width), width, -1, ms);
}
bool gdatetime_from_charN(const char* cell, unsigned long width, long& datetime) {
  long ms = 0;
  if (!gtimestamp_from_charN(cell, width, ms))
    return false;
  datetime = create_timestamp_from_ms2(ms, nullptr);
  return true;
}

} // namespace vela::calendar
