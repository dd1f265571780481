#include "tools/DateText.h"

#include <cstdint>
#include <cstring>

#include "base/Calendar.h"
#include "tools/ScalarText.h"

namespace quarry::tools {

using vela::ParserUtils::RpnDataType;
namespace cal = vela::calendar;

namespace {

// A cursor over text with fixed-width decimal fields.
struct Reader {
  std::string_view text;
  std::size_t pos = 0;
  bool digits(int count, int& v) {
    v = 0;
    for (int k = 0; k < count; ++k, ++pos) {
      if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
        return false;
      v = v * 10 + (text[pos] - '0');
    }
    return true;
  }
  bool literal(char c) {
    if (pos >= text.size() || text[pos] != c)
      return false;
    ++pos;
    return true;
  }
  bool atEnd() const { return pos == text.size(); }
};

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
};

bool readDate(Reader& r, Fields& f) {
  return r.digits(4, f.year) && r.literal('-') && r.digits(2, f.month) && r.literal('-') &&
         r.digits(2, f.day);
}
// HH:MM, then optionally :SS, then optionally .mmm (after seconds only).
bool readTime(Reader& r, Fields& f) {
  if (!(r.digits(2, f.hour) && r.literal(':') && r.digits(2, f.minute)))
    return false;
  if (r.atEnd())
    return true;
  if (!(r.literal(':') && r.digits(2, f.second)))
    return false;
  if (r.atEnd())
    return true;
  return r.literal('.') && r.digits(3, f.msec);
}

bool validDay(const Fields& f, bool allow9999, std::string_view text, std::string& why) {
  if (!((f.year >= 1000 && f.year <= 2900) || (allow9999 && f.year == 9999))) {
    why = quoteInput(text) + " has the year " + std::to_string(f.year) + ", outside 1000 .. 2900" +
          (allow9999 ? " (and 9999)" : "");
    return false;
  }
  if (cal::days_in_month(f.year, f.month) == 0 || f.day < 1 || f.day > cal::days_in_month(f.year, f.month)) {
    why = quoteInput(text) + " is not a calendar day";
    return false;
  }
  return true;
}
bool validTime(const Fields& f, std::string_view text, std::string& why) {
  if (f.hour > 23 || f.minute > 59 || f.second > 59) {
    why = quoteInput(text) + " is not a time of day (00:00:00.000 .. 23:59:59.999)";
    return false;
  }
  return true;
}

template <class T>
void put(unsigned char* cell, T v) {
  std::memcpy(cell, &v, sizeof v);
}
template <class T>
T get(const unsigned char* cell) {
  T v;
  std::memcpy(&v, cell, sizeof v);
  return v;
}

std::string two(int v) {
  return std::string{char('0' + v / 10 % 10), char('0' + v % 10)};
}
std::string dateText(int y, int m, int d) {
  return std::to_string(y) + '-' + two(m) + '-' + two(d);
}
std::string timeText(int h, int mi, int s, int ms) {
  return two(h) + ':' + two(mi) + ':' + two(s) + '.' + char('0' + ms / 100) + two(ms % 100);
}

// Whether a packed datetime is exactly the one its calendar fields describe.
bool canonicalDateTime(long v) {
  const int y = cal::dtYear(v), mo = cal::dtMonth(v), d = cal::dtDay(v);
  if (cal::days_in_month(y, mo) == 0 || d < 1 || d > cal::days_in_month(y, mo))
    return false;
  if (cal::dtHour(v) > 23 || cal::dtMinute(v) > 59 || cal::dtSecond(v) > 59 || cal::dtMsec(v) > 999)
    return false;
  int doy = 0, dow = 0;
  cal::get_day_of_year_and_week(y, mo, d, doy, dow);
  return cal::packDateTime(y, mo, d, cal::dtHour(v), cal::dtMinute(v), cal::dtSecond(v), cal::dtMsec(v), doy,
                           dow) == v;
}

} // namespace

bool isCalendarType(RpnDataType type) {
  return type == RpnDataType::Date || type == RpnDataType::Time || type == RpnDataType::DateTime ||
         type == RpnDataType::Timestamp;
}

bool parseCalendarText(RpnDataType type, std::string_view text, unsigned char* cell, std::string& why) {
  Reader r{text};
  Fields f;
  switch (type) {
  case RpnDataType::Date:
    if (!readDate(r, f) || !r.atEnd()) {
      why = quoteInput(text) + " is not a date (YYYY-MM-DD)";
      return false;
    }
    if (!validDay(f, true, text, why))
      return false;
    put(cell, static_cast<std::int32_t>(cal::create_gdate(f.year, f.month, f.day)));
    return true;
  case RpnDataType::Time:
    if (!readTime(r, f) || !r.atEnd()) {
      why = quoteInput(text) + " is not a time (HH:MM:SS.mmm, HH:MM:SS or HH:MM)";
      return false;
    }
    if (!validTime(f, text, why))
      return false;
    put(cell, static_cast<std::int32_t>(cal::packTime(f.hour, f.minute, f.second, f.msec)));
    return true;
  case RpnDataType::DateTime:
  case RpnDataType::Timestamp: {
    const bool ok = readDate(r, f) && (r.atEnd() || (r.literal(' ') && readTime(r, f) && r.atEnd()));
    if (!ok) {
      why = quoteInput(text) + " is not a " + (type == RpnDataType::DateTime ? "datetime" : "timestamp") +
            " (YYYY-MM-DD HH:MM:SS.mmm; the time part may be HH:MM:SS, HH:MM or absent)";
      return false;
    }
    if (!validDay(f, type == RpnDataType::DateTime, text, why) || !validTime(f, text, why))
      return false;
    bool invalid = false;
    const long ms =
        cal::date_to_epoch_msecs(f.year, f.month, f.day, f.hour, f.minute, f.second, f.msec, invalid);
    if (type == RpnDataType::Timestamp) {
      put(cell, static_cast<std::int64_t>(ms));
    } else {
      int doy = 0, dow = 0;
      cal::get_day_of_year_and_week(f.year, f.month, f.day, doy, dow);
      put(cell, static_cast<std::int64_t>(
                    cal::packDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second, f.msec, doy, dow)));
    }
    return true;
  }
  default:
    why = "not a date or time type";
    return false;
  }
}

std::string formatCalendarCell(RpnDataType type, const unsigned char* cell) {
  switch (type) {
  case RpnDataType::Date: {
    const std::int32_t v = get<std::int32_t>(cell);
    const int y = cal::dYear(v), m = cal::dMonth(v), d = cal::dDay(v);
    const bool real = cal::days_in_month(y, m) != 0 && d >= 1 && d <= cal::days_in_month(y, m);
    if (!real || cal::create_gdate(y, m, d) != v)
      return std::to_string(v);
    return dateText(y, m, d);
  }
  case RpnDataType::Time: {
    const std::int32_t v = get<std::int32_t>(cell);
    const int h = cal::tHour(v), mi = cal::tMinute(v), s = cal::tSecond(v), ms = cal::tMsec(v);
    if (h > 23 || mi > 59 || s > 59 || ms > 999 || cal::packTime(h, mi, s, ms) != v)
      return std::to_string(v);
    return timeText(h, mi, s, ms);
  }
  case RpnDataType::DateTime: {
    const std::int64_t v = get<std::int64_t>(cell);
    if (!canonicalDateTime(v))
      return std::to_string(v);
    return dateText(cal::dtYear(v), cal::dtMonth(v), cal::dtDay(v)) + ' ' +
           timeText(cal::dtHour(v), cal::dtMinute(v), cal::dtSecond(v), cal::dtMsec(v));
  }
  case RpnDataType::Timestamp: {
    const std::int64_t v = get<std::int64_t>(cell);
    bool outOfRange = false;
    const long dt = cal::create_timestamp_from_ms2(v, &outOfRange);
    if (outOfRange)
      return std::to_string(v);
    return dateText(cal::dtYear(dt), cal::dtMonth(dt), cal::dtDay(dt)) + ' ' +
           timeText(cal::dtHour(dt), cal::dtMinute(dt), cal::dtSecond(dt), cal::dtMsec(dt));
  }
  default:
    return {};
  }
}

// --- format text ------------------------------------------------------------------------------------

namespace {

struct Keyword {
  const char* text;
  unsigned char code;
};

// The longest keyword at a position wins (MONTH before MON, DDD before DD before D); matched without
// regard to case.
constexpr Keyword kKeywords[] = {
    {"Y,YYY", 6}, {"YYYY", 4},   {"YYY", 7},  {"YEAR", 134}, {"YY", 8},   {"Y", 121},   {"IYYY", 128},
    {"IYY", 129}, {"IY", 130},   {"IW", 131}, {"IDDD", 132}, {"ID", 133}, {"CC", 3},    {"MONTH", 9},
    {"MON", 10},  {"MM", 11},    {"MI", 21},  {"MS", 24},    {"RM", 12},  {"DAY", 13},  {"DY", 14},
    {"DDD", 16},  {"DD", 15},    {"D", 100},  {"WW", 17},    {"W", 119},  {"HH24", 18}, {"HH12", 20},
    {"HH", 20},   {"SSSSS", 26}, {"SS", 22},  {"FF", 23},    {"US", 25},  {"A.M.", 28}, {"P.M.", 28},
    {"AM", 27},   {"PM", 27},    {"A.D.", 2}, {"AD", 1},     {"Q", 113},  {"J", 106},
};

bool matchesAt(std::string_view text, std::size_t pos, std::string_view word) {
  if (text.size() - pos < word.size())
    return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    char c = text[pos + k];
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
    if (c != word[k])
      return false;
  }
  return true;
}

} // namespace

bool compileDateFormat(std::string_view text, std::string& codes, std::string& why) {
  codes.clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == ' ' || c == ',' || c == '-' || c == '.' || c == '/' || c == ':' || c == ';' || c == '_') {
      codes += c;
      ++pos;
      continue;
    }
    if (c == '"') {
      const std::size_t end = text.find('"', pos + 1);
      if (end == std::string_view::npos) {
        why = "format " + quoteInput(text) + ": the quoted text at character " + std::to_string(pos + 1) +
              " has no closing double quote";
        return false;
      }
      codes.append(text.substr(pos, end - pos + 1));
      pos = end + 1;
      continue;
    }
    const Keyword* found = nullptr;
    for (const Keyword& k : kKeywords)
      if (matchesAt(text, pos, k.text) &&
          (found == nullptr || std::strlen(k.text) > std::strlen(found->text)))
        found = &k;
    if (found == nullptr) {
      why = "format " + quoteInput(text) + ": unknown element at character " + std::to_string(pos + 1) +
            " (" + quoteInput(text.substr(pos, 6)) + ")";
      return false;
    }
    codes += static_cast<char>(found->code);
    pos += std::strlen(found->text);
    if (found->code == 23 && pos < text.size() && text[pos] >= '1' && text[pos] <= '9')
      codes += text[pos++]; // FF1 .. FF9: the precision digit follows the code
  }
  if (codes.size() > 32) {
    why = "format " + quoteInput(text) + " compiles to " + std::to_string(codes.size()) +
          " bytes; a compiled format holds at most 32";
    return false;
  }
  if (codes.find('\0') != std::string::npos) {
    why = "format " + quoteInput(text) + " holds a NUL byte";
    return false;
  }
  return true;
}

} // namespace quarry::tools
