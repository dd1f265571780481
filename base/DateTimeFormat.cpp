#include "base/DateTimeFormat.h"

#include <cstring>
#include <initializer_list>

#include "base/CalendarNames.h"

namespace vela::calendar {

namespace {

constexpr unsigned long kW = kFormatWidth;

inline void putChar(char* out, unsigned long width, unsigned long& pos, char c) {
  if (pos < width) {
    out[width - 1 - pos] = c;
    ++pos;
  }
}

/// The digit writer: at least minDigits digits (zero-padded), more when the value needs them.
inline void putNumber(char* out, unsigned long width, unsigned long& pos, unsigned long v, int minDigits) {
  unsigned long p = 1;
  for (int i = 1; i < minDigits; ++i)
    p *= 10;
  while (v / p >= 10)
    p *= 10;
  for (; p != 0; p /= 10)
    putChar(out, width, pos, static_cast<char>('0' + v / p % 10));
}

inline bool isMonth(int m) {
  return static_cast<unsigned>(m - 1) < 12u;
}
inline bool isDayOfWeek(int w) {
  return static_cast<unsigned>(w - 1) < 7u;
}

/// Julian day number of a date's day ordinal (0001-01-01 = 1): 2451545 for 2000-01-01.
inline constexpr long kJulianDayOfOrdinalZero = 1721425L;
inline long julianDay(int year, int month, int day) {
  return daysBeforeYear(year) + dayOfYear(year, month, day) + kJulianDayOfOrdinalZero;
}

/// Characters of the format before its first NUL (at most 32).
inline unsigned long formatLength(const char* format32) {
  unsigned long n = 0;
  while (n < kW && format32[kW - 1 - n] != 0)
    ++n;
  return n;
}
inline unsigned char formatAt(const char* format32, unsigned long i) {
  return static_cast<unsigned char>(format32[kW - 1 - i]);
}

/// The precision digit after code 23, or 0 (none); advances i past a consumed digit.
inline int fractionPrecision(const char* format32, unsigned long length, unsigned long& i) {
  if (i + 1 < length) {
    const unsigned char c = formatAt(format32, i + 1);
    if (c >= '1' && c <= '9') {
      ++i;
      return c - '0';
    }
  }
  return 0;
}

} // namespace

void outputReversedString(char* out, unsigned long width, unsigned long& pos, const char* reversedWord,
                          unsigned long wordSize, unsigned long len) {
  if (len > wordSize)
    len = wordSize;
  const unsigned long room = pos < width ? width - pos : 0;
  const unsigned long n = len < room ? len : room;
  for (unsigned long k = 0; k < n; ++k)
    out[width - 1 - pos - k] = reversedWord[wordSize - 1 - k];
  pos += n;
}

void spelledNumber99(int n, char* out, unsigned long width, unsigned long& pos) {
  if (n < 1 || n > 99)
    return;
  if (n <= 19) {
    outputReversedString(out, width, pos, numbers[n - 1].bytes, 10, number_lengths[n - 1]);
    return;
  }
  outputReversedString(out, width, pos, tens[n / 10 - 2].bytes, 10, tens_lengths[n / 10 - 2]);
  if (n % 10 != 0) {
    putChar(out, width, pos, '-');
    outputReversedString(out, width, pos, numbers[n % 10 - 1].bytes, 10, number_lengths[n % 10 - 1]);
  }
}

void spelledNumber(int n, char* out, unsigned long width, unsigned long& pos) {
  if (n < 1 || n > 9999)
    return;
  if (n < 100) {
    spelledNumber99(n, out, width, pos);
    return;
  }
  if (n % 1000 > 9) {
    spelledNumber99(n / 100, out, width, pos);
    if (n % 100 <= 9) {
      putChar(out, width, pos, ' ');
      outputReversedString(out, width, pos, HUNDRED.bytes, 8, 7);
      if (n % 100 == 0)
        return;
    }
  } else {
    spelledNumber99(n / 1000, out, width, pos);
    putChar(out, width, pos, ' ');
    outputReversedString(out, width, pos, THOUSAND.bytes, 8, 8);
    if (n % 1000 == 0)
      return;
  }
  putChar(out, width, pos, ' ');
  spelledNumber99(n % 100, out, width, pos);
}

void timestamp_to_char(long dt, const char* format32, char* out32) {
  for (unsigned long i = 0; i < kW; ++i)
    out32[i] = 0;
  unsigned long pos = 0;
  const unsigned long length = formatLength(format32);
  const int year = dtYear(dt), month = dtMonth(dt), day = dtDay(dt), hour = dtHour(dt);
  const int minute = dtMinute(dt), second = dtSecond(dt), ms = dtMsec(dt);
  const int doy = dtDayOfYear(dt), dow = dtDayOfWeek(dt);
  auto number = [&](long v, int digits) {
    if (v >= 0)
      putNumber(out32, kW, pos, static_cast<unsigned long>(v), digits);
  };
  auto put = [&](char c) { putChar(out32, kW, pos, c); };
  for (unsigned long i = 0; i < length && pos < kW; ++i) {
    const unsigned char c = formatAt(format32, i);
    switch (c) {
    case 1:
      put('A');
      put('D');
      break;
    case 2:
      outputReversedString(out32, kW, pos, ERA.bytes, 4, 4);
      break;
    case 3:
      number((year + 99) / 100, 2);
      break;
    case 4:
    case 5:
      number(year, 4);
      break;
    case 6:
      number(year / 1000, 1);
      put(',');
      number(year % 1000, 3);
      break;
    case 7:
      number(year % 1000, 3);
      break;
    case 8:
      number(year % 100, 2);
      break;
    case 9:
    case 10:
      if (isMonth(month))
        outputReversedString(out32, kW, pos, month_names[month - 1].bytes, 16,
                             c == 9 ? static_cast<unsigned long>(month_name_length[month - 1]) : 3);
      break;
    case 11:
      number(month, 2);
      break;
    case 12:
      if (isMonth(month))
        outputReversedString(out32, kW, pos, roman_numerals[month - 1].bytes, 4,
                             static_cast<unsigned long>(roman_numeral_length[month - 1]));
      break;
    case 13:
    case 14:
      if (isDayOfWeek(dow))
        outputReversedString(out32, kW, pos, day_names[dow - 1].bytes, 16,
                             c == 13 ? static_cast<unsigned long>(day_name_length[dow - 1]) : 3);
      break;
    case 15:
      number(day, 2);
      break;
    case 16:
      number(doy, 3);
      break;
    case 17:
      number((doy - 1) / 7 + 1, 1);
      break;
    case 18:
      number(hour, 2);
      break;
    case 19:
      number(hour, 1);
      break;
    case 20:
      number((hour + 11) % 12 + 1, 2);
      break;
    case 21:
      number(minute, 2);
      break;
    case 22:
      number(second, 2);
      break;
    case 23: {
      // One digit rounds to tenths and two to hundredths, capped at 9 and 99 (a rounding up to the next
      // second cannot carry into fields already written); three or more write the milliseconds and zeros.
      const int p = fractionPrecision(format32, length, i);
      if (p == 1) {
        number((ms + 50) / 100 > 9 ? 9 : (ms + 50) / 100, 1);
      } else if (p == 2) {
        number((ms + 5) / 10 > 99 ? 99 : (ms + 5) / 10, 2);
      } else {
        number(ms, 3);
        for (int k = 3; k < p; ++k)
          put('0');
      }
      break;
    }
    case 24:
    case 135:
      number(ms, 3);
      break;
    case 25:
      number(ms * 1000L, 6);
      break;
    case 26:
      number(hour * 3600L + minute * 60L + second, 1);
      break;
    case 27:
      put(hour >= 12 ? 'P' : 'A');
      put('M');
      break;
    case 28:
      outputReversedString(out32, kW, pos, AM_PM[hour >= 12 ? 1 : 0].bytes, 4, 4);
      break;
    case 29:
      put('Z');
      break;
    case 32:
    case 44:
    case 45:
    case 46:
    case 47:
    case 58:
    case 59:
      put(static_cast<char>(c));
      break;
    case 34:
    case 39:
      // A quoted run: copied up to the closing quote (not written) or the end of the format.
      while (++i < length && formatAt(format32, i) != c)
        put(static_cast<char>(formatAt(format32, i)));
      break;
    case 95:
      put(' ');
      break;
    case 99:
      number(day, 1);
      break;
    case 100:
      number(dow, 1);
      break;
    case 104:
      number((hour + 11) % 12 + 1, 1);
      break;
    case 105:
      number(yearIso(dt) % 10, 1);
      break;
    case 106:
      number(julianDay(year, month, day), 1);
      break;
    case 109:
      number(month, 1);
      break;
    case 113:
      number((month - 1) / 3 + 1, 1);
      break;
    case 119:
      number((day - 1) / 7 + 1, 1);
      break;
    case 121:
      number(year % 10, 1);
      break;
    case 128:
      number(yearIso(dt), 4);
      break;
    case 129:
      number(yearIso(dt) % 1000, 3);
      break;
    case 130:
      number(yearIso(dt) % 100, 2);
      break;
    case 131:
      number(weekIso(dt), 2);
      break;
    case 132:
      number(dayOfYearIso(dt), 3);
      break;
    case 133:
      number((dow + 5) % 7 + 1, 1);
      break;
    case 134:
      spelledNumber(year, out32, kW, pos);
      break;
    default:
      break;
    }
  }
}

void buildDateTimeFormatPlan(const char* format32, DateTimeFormatPlan& plan) {
  using P = DateTimeFormatPlan;
  plan = DateTimeFormatPlan{};
  for (unsigned long i = 0; i < kW; ++i)
    plan.format[i] = format32[i];
  const unsigned long length = formatLength(format32);
  unsigned long pos = 0;
  bool fixed = true;
  auto literal = [&](char c) {
    if (pos < kW)
      plan.templateCell[kW - 1 - pos] = c;
    ++pos;
  };
  auto step = [&](unsigned char field, unsigned char digits) {
    if (pos + digits <= kW)
      plan.steps[plan.stepCount++] = P::Step{field, digits, static_cast<unsigned char>(pos)};
    pos += digits;
    if (field == P::kMsec || field == P::kMicro)
      plan.readsMsec = true;
  };
  for (unsigned long i = 0; i < length && fixed; ++i) {
    const unsigned char c = formatAt(format32, i);
    switch (c) {
    case 1:
      literal('A');
      literal('D');
      break;
    case 2:
      for (char x : {'A', '.', 'D', '.'})
        literal(x);
      break;
    case 4:
    case 5:
      step(P::kYear, 4);
      break;
    case 7:
      step(P::kYear3, 3);
      break;
    case 8:
      step(P::kYear2, 2);
      break;
    case 121:
      step(P::kYear1, 1);
      break;
    case 11:
      step(P::kMonth, 2);
      break;
    case 15:
      step(P::kDay, 2);
      break;
    case 16:
      step(P::kDayOfYear, 3);
      break;
    case 18:
      step(P::kHour, 2);
      break;
    case 20:
      step(P::kHour12, 2);
      break;
    case 21:
      step(P::kMinute, 2);
      break;
    case 22:
      step(P::kSecond, 2);
      break;
    case 23: {
      const int p = fractionPrecision(format32, length, i);
      if (p == 1) {
        step(P::kFraction1, 1);
      } else if (p == 2) {
        step(P::kFraction2, 2);
      } else {
        step(P::kMsec, 3);
        for (int k = 3; k < p; ++k)
          literal('0');
      }
      break;
    }
    case 24:
    case 135:
      step(P::kMsec, 3);
      break;
    case 25:
      step(P::kMicro, 6);
      break;
    case 27:
      step(P::kMeridian, 2);
      break;
    case 28: {
      const unsigned long at = pos;
      step(P::kMeridianDotted, 4);
      if (at + 3 < kW) {
        plan.templateCell[kW - 1 - (at + 1)] = '.';
        plan.templateCell[kW - 1 - (at + 3)] = '.';
      }
      break;
    }
    case 29:
      literal('Z');
      break;
    case 32:
    case 44:
    case 45:
    case 46:
    case 47:
    case 58:
    case 59:
      literal(static_cast<char>(c));
      break;
    case 95:
      literal(' ');
      break;
    case 34:
    case 39:
      while (++i < length && formatAt(format32, i) != c)
        literal(static_cast<char>(formatAt(format32, i)));
      break;
    case 100:
      step(P::kDayOfWeek, 1);
      break;
    case 113:
      step(P::kQuarter, 1);
      break;
    case 119:
      step(P::kWeekOfMonth, 1);
      break;
    // Elements whose width depends on the value (names, unpadded numbers, the century, spelled and ISO
    // fields): no fixed positions.
    case 3:
    case 6:
    case 9:
    case 10:
    case 12:
    case 13:
    case 14:
    case 17:
    case 19:
    case 26:
    case 99:
    case 104:
    case 105:
    case 106:
    case 109:
    case 128:
    case 129:
    case 130:
    case 131:
    case 132:
    case 133:
    case 134:
      fixed = false;
      break;
    default:
      break;
    }
  }
  // A text cut at the cell's end keeps the general writer, which drops the characters past it.
  plan.fixedPositions = fixed && pos <= kW;
  constexpr unsigned char kPlain[7][2] = {{P::kYear, 4},   {P::kMonth, 2},  {P::kDay, 2}, {P::kHour, 2},
                                          {P::kMinute, 2}, {P::kSecond, 2}, {P::kMsec, 3}};
  const unsigned n = plan.stepCount;
  bool plain = plan.fixedPositions && (n == 3 || n == 6 || n == 7);
  for (unsigned s = 0; s < n && plain; ++s)
    plain = plan.steps[s].field == kPlain[s][0] && plan.steps[s].digits == kPlain[s][1];
  plan.plainSteps = plain ? static_cast<unsigned char>(n) : 0;
  if (!plain)
    return;
  // The register layout of applyDateTimeFormatPlan: digit k of the packed 16 at the cell bytes of its
  // step, the first digit of a step at its top byte (the cell holds the text from its last byte down).
  constexpr unsigned char kFirstDigit[7] = {0, 4, 6, 8, 10, 12, 14};
  std::memset(plan.plainShuffle, 0x80, kW);
  for (unsigned s = 0; s < n; ++s) {
    const unsigned top = static_cast<unsigned>(kW - 1 - plan.steps[s].pos);
    for (unsigned k = 0; k < plan.steps[s].digits; ++k) {
      if (s == 6 && k == 2)
        plan.plainLastDigit = static_cast<unsigned char>(top - k);
      else
        plan.plainShuffle[top - k] = static_cast<unsigned char>(kFirstDigit[s] + k);
    }
  }
}

const DateTimeFormatPlan& canonicalDateTimePlan() {
  static const DateTimeFormatPlan plan = [] {
    constexpr ReversedWord<32> format("\x04-\x0b-\x0f \x12:\x15:\x16.\x18");
    DateTimeFormatPlan p;
    buildDateTimeFormatPlan(format.bytes, p);
    return p;
  }();
  return plan;
}

// --- parsing ------------------------------------------------------------------------------------------

namespace {

/// A text or format read in reading order: character i at first[i * step], i < len.
struct Cursor {
  const unsigned char* first = nullptr;
  long step = 1;
  long len = 0;
  int at(long i) const { return i < len ? first[i * step] : -1; }
};

Cursor cursorOf(const char* p, unsigned long width, int direction, bool nulEnds) {
  Cursor c;
  c.first = reinterpret_cast<const unsigned char*>(p);
  c.step = direction < 0 ? -1 : 1;
  c.len = static_cast<long>(width);
  if (nulEnds) {
    long n = 0;
    while (n < c.len && c.first[n * c.step] != 0)
      ++n;
    c.len = n;
  }
  return c;
}

inline bool isDigit(int c) {
  return static_cast<unsigned>(c - '0') < 10u;
}
inline bool isLetter(int c) {
  return static_cast<unsigned>((c | 32) - 'a') < 26u;
}
inline int lower(int c) {
  return static_cast<unsigned>(c - 'A') < 26u ? c + 32 : c;
}

/// Reads one to maxDigits digits at tp.
bool readNumber(const Cursor& t, long& tp, int maxDigits, long& value) {
  long v = 0;
  int n = 0;
  while (n < maxDigits && isDigit(t.at(tp))) {
    v = v * 10 + (t.at(tp) - '0');
    ++tp;
    ++n;
  }
  value = v;
  return n > 0;
}

/// Case-insensitive match of the first len characters of a reversed slot at tp.
bool matchWord(const Cursor& t, long& tp, const char* slot, int slotSize, int len) {
  for (int k = 0; k < len; ++k)
    if (lower(t.at(tp + k)) != lower(static_cast<unsigned char>(slot[slotSize - 1 - k])))
      return false;
  tp += len;
  return true;
}
bool matchPlain(const Cursor& t, long& tp, const char* word) {
  long k = 0;
  for (; word[k] != 0; ++k)
    if (lower(t.at(tp + k)) != lower(static_cast<unsigned char>(word[k])))
      return false;
  tp += k;
  return true;
}

/// A number word ("One" .. "Nineteen", "Twenty" .. "Ninety" with an optional "-Unit") ending at a
/// non-letter.
bool readSpelled99(const Cursor& t, long& tp, int& value) {
  for (int n = 19; n >= 1; --n) {
    long p = tp;
    if (matchWord(t, p, numbers[n - 1].bytes, 10, number_lengths[n - 1]) && !isLetter(t.at(p))) {
      tp = p;
      value = n;
      return true;
    }
  }
  for (int k = 0; k < 8; ++k) {
    long p = tp;
    if (!matchWord(t, p, tens[k].bytes, 10, tens_lengths[k]) || isLetter(t.at(p)))
      continue;
    value = (k + 2) * 10;
    if (t.at(p) == '-') {
      for (int u = 1; u <= 9; ++u) {
        long q = p + 1;
        if (matchWord(t, q, numbers[u - 1].bytes, 10, number_lengths[u - 1]) && !isLetter(t.at(q))) {
          value += u;
          p = q;
          break;
        }
      }
    }
    tp = p;
    return true;
  }
  return false;
}

/// A year in words as spelledNumber writes it: "A Thousand [B]", "A Hundred [B]", "A B" or "A".
bool readSpelledYear(const Cursor& t, long& tp, int& year) {
  int a = 0, b = 0;
  if (!readSpelled99(t, tp, a))
    return false;
  auto optionalTail = [&](int base) {
    long p = tp;
    if (t.at(p) == ' ' && (++p, readSpelled99(t, p, b))) {
      tp = p;
      return base + b;
    }
    return base;
  };
  long p = tp;
  if (t.at(p) == ' ' && (++p, matchWord(t, p, THOUSAND.bytes, 8, 8)) && !isLetter(t.at(p))) {
    tp = p;
    year = optionalTail(a * 1000);
    return true;
  }
  p = tp;
  if (t.at(p) == ' ' && (++p, matchWord(t, p, HUNDRED.bytes, 8, 7)) && !isLetter(t.at(p))) {
    tp = p;
    year = optionalTail(a * 100);
    return true;
  }
  p = tp;
  if (t.at(p) == ' ' && (++p, readSpelled99(t, p, b))) {
    tp = p;
    year = a * 100 + b;
    return true;
  }
  year = a;
  return true;
}

/// Roman months, longest numerals first so that VIII is not read as V.
constexpr int kRomanByLength[12] = {8, 3, 7, 12, 2, 4, 6, 9, 11, 1, 5, 10};

/// A fraction of a second of one to maxDigits digits, rounded half up to milliseconds (0 .. 1000).
bool readFraction(const Cursor& t, long& tp, int maxDigits, long& ms) {
  long v = 0;
  int n = 0;
  while (n < maxDigits && isDigit(t.at(tp))) {
    v = v * 10 + (t.at(tp) - '0');
    ++tp;
    ++n;
  }
  if (n == 0)
    return false;
  if (n <= 3) {
    for (int k = n; k < 3; ++k)
      v *= 10;
    ms = v;
  } else {
    long scale = 1;
    for (int k = 3; k < n; ++k)
      scale *= 10;
    ms = (v + scale / 2) / scale;
  }
  return true;
}

inline bool restIsBlank(const Cursor& t, long tp) {
  while (t.at(tp) == ' ')
    ++tp;
  return tp >= t.len;
}

/// Reads the element of code c at tp into d; false when the text does not have it.
bool readNumericField(const Cursor& t, long& tp, DateTimeStruct& d, DateTimeField f, int maxDigits) {
  long v = 0;
  return readNumber(t, tp, maxDigits, v) && d.set(f, static_cast<int>(v));
}

inline int nearest2020(int digits, int v) {
  if (digits == 3)
    return v <= 520 ? 2000 + v : 1000 + v;
  if (digits == 2)
    return v <= 69 ? 2000 + v : 1900 + v;
  return 2020 + v;
}

/// Calendar fields of a day ordinal (0001-01-01 = 1).
void fieldsOfOrdinal(long ordinal, int& year, int& month, int& day) {
  int doy = 0;
  ymd_from_ms((ordinal - kEpochOrdinal) * kMsPerDay, year, month, day, doy, nullptr);
}

bool resolveTime(DateTimeStruct& d) {
  const bool sod = d.has(kFieldSecondOfDay);
  const int s = d.value(kFieldSecondOfDay);
  if (sod && s >= 86400)
    return false;
  if (d.has(kFieldHour)) {
    d.hour = d.value(kFieldHour);
  } else if (d.has(kFieldHour12)) {
    const int h = d.value(kFieldHour12);
    if (h < 1 || h > 12)
      return false;
    d.hour = h % 12 + (d.has(kFieldMeridian) && d.value(kFieldMeridian) == 1 ? 12 : 0);
  } else {
    d.hour = sod ? s / 3600 : 0;
  }
  d.minute = d.has(kFieldMinute) ? d.value(kFieldMinute) : sod ? s / 60 % 60 : 0;
  d.second = d.has(kFieldSecond) ? d.value(kFieldSecond) : sod ? s % 60 : 0;
  d.millisecond = d.has(kFieldMsec) ? d.value(kFieldMsec) : 0;
  return true;
}

// 9999-12-31 23:59:59.999 in milliseconds since the epoch.
constexpr long kLastInstantOf9999 = 253402300799999L;

constexpr bool yearInRange(int year) {
  return year >= 1000 && (year <= 2900 || year == 9999);
}

} // namespace

bool matchString(const char* text, int& pos, unsigned long width, int direction, const char* word,
                 int wordLen, int maxLen) {
  if (wordLen < 0 || wordLen > maxLen || pos < 0)
    return false;
  const Cursor t = cursorOf(text, width, direction, false);
  long p = pos;
  if (!matchWord(t, p, word, maxLen, wordLen))
    return false;
  pos = static_cast<int>(p);
  return true;
}

bool calcDayOfYear(int& doy, DateTimeStruct& d) {
  // The year.
  int year = 0;
  const int century = d.value(kFieldCentury);
  if (d.has(kFieldYear))
    year = d.value(kFieldYear);
  else if (d.has(kFieldCentury) && d.has(kFieldYear2))
    year = d.value(kFieldYear2) == 0 ? century * 100 : (century - 1) * 100 + d.value(kFieldYear2);
  else if (d.has(kFieldYear3))
    year = nearest2020(3, d.value(kFieldYear3));
  else if (d.has(kFieldYear2))
    year = nearest2020(2, d.value(kFieldYear2));
  else if (d.has(kFieldYear1))
    year = nearest2020(1, d.value(kFieldYear1));
  else if (d.has(kFieldCentury))
    year = (century - 1) * 100 + 1;
  if ((d.has(kFieldYear3) && year % 1000 != d.value(kFieldYear3)) ||
      (d.has(kFieldYear2) && year % 100 != d.value(kFieldYear2)) ||
      (d.has(kFieldYear1) && year % 10 != d.value(kFieldYear1)) ||
      (d.has(kFieldCentury) && (year + 99) / 100 != century))
    return true;

  // The date, from the strongest source the text has.
  int month = 0, day = 0;
  const bool calendar = d.has(kFieldMonth) || d.has(kFieldDay);
  const bool leap = isLeapYear(year);
  if (d.has(kFieldJulianDay)) {
    const long ordinal = d.value(kFieldJulianDay) - kJulianDayOfOrdinalZero;
    if (ordinal < 1 || ordinal > 3652059) // 0001-01-01 .. 9999-12-31
      return true;
    fieldsOfOrdinal(ordinal, year, month, day);
  } else if (!calendar && d.has(kFieldDayOfYear)) {
    const int n = d.value(kFieldDayOfYear);
    if (n < 1 || n > (leap ? 366 : 365))
      return true;
    monthDayFromDayOfYear(n, leap, month, day);
  } else if (!calendar && (d.has(kFieldIsoWeek) || d.has(kFieldIsoDayOfYear))) {
    int isoYear = year;
    if (d.has(kFieldIsoYear))
      isoYear = d.value(kFieldIsoYear);
    else if (d.has(kFieldIsoYear3))
      isoYear = nearest2020(3, d.value(kFieldIsoYear3));
    else if (d.has(kFieldIsoYear2))
      isoYear = nearest2020(2, d.value(kFieldIsoYear2));
    else if (d.has(kFieldIsoYear1))
      isoYear = nearest2020(1, d.value(kFieldIsoYear1));
    if (isoYear < 1 || isoYear > 9999)
      return true;
    int isoDay = 0;
    if (d.has(kFieldIsoDayOfYear)) {
      isoDay = d.value(kFieldIsoDayOfYear);
    } else {
      const int week = d.value(kFieldIsoWeek);
      const int isoDow = d.has(kFieldIsoDayOfWeek) ? d.value(kFieldIsoDayOfWeek) : 1;
      if (week < 1 || week > 53 || isoDow < 1 || isoDow > 7)
        return true;
      isoDay = (week - 1) * 7 + isoDow;
    }
    if (isoDay < 1 || isoDay > 371)
      return true;
    // Monday of ISO week 1 is the Monday on or before 4 January (ordinal 1 is a Monday).
    const long jan4 = daysBeforeYear(isoYear) + 4;
    const long monday = jan4 - (jan4 - 1) % 7;
    fieldsOfOrdinal(monday + isoDay - 1, year, month, day);
  } else if (!calendar && d.has(kFieldWeek)) {
    const int week = d.value(kFieldWeek);
    const int n = 7 * week - 6;
    if (week < 1 || n > (leap ? 366 : 365))
      return true;
    monthDayFromDayOfYear(n, leap, month, day);
  } else {
    month = d.has(kFieldMonth)     ? d.value(kFieldMonth)
            : d.has(kFieldQuarter) ? (d.value(kFieldQuarter) - 1) * 3 + 1
                                   : 1;
    day = d.has(kFieldDay)           ? d.value(kFieldDay)
          : d.has(kFieldWeekOfMonth) ? (d.value(kFieldWeekOfMonth) - 1) * 7 + 1
                                     : 1;
  }
  d.year = year;
  d.month = month;
  d.day = day;
  int n = 0, w = 0;
  if (isMonth(month))
    get_day_of_year_and_week(year, month, day, n, w);
  d.dayOfYear = n;
  d.dayOfWeek = w;
  doy = n;
  return false;
}

bool extractDateTimeValues(const char* format, unsigned long formatWidth, int formatDirection,
                           const char* text, unsigned long textWidth, int textDirection, DateTimeStruct& out,
                           int option, bool fixedWidth) {
  (void)option;
  out = DateTimeStruct{};
  const Cursor f = cursorOf(format, formatWidth, formatDirection, true);
  const Cursor t = cursorOf(text, textWidth, textDirection, fixedWidth);
  long formatEnd = f.len;
  while (formatEnd > 0 && (f.at(formatEnd - 1) == ' ' || f.at(formatEnd - 1) == '_'))
    --formatEnd;
  long tp = 0;
  while (t.at(tp) == ' ')
    ++tp;
  DateTimeStruct& d = out;
  for (long fi = 0; fi < formatEnd; ++fi) {
    const int c = f.at(fi);
    bool ok = true;
    switch (c) {
    case 1:
      ok = matchPlain(t, tp, "AD");
      break;
    case 2:
      ok = matchPlain(t, tp, "A.D.");
      break;
    case 3:
      ok = readNumericField(t, tp, d, kFieldCentury, 2);
      break;
    case 4:
    case 5:
      ok = readNumericField(t, tp, d, kFieldYear, 4);
      break;
    case 6: {
      long thousands = 0, rest = 0;
      ok = readNumber(t, tp, 1, thousands) && t.at(tp) == ',' && (++tp, readNumber(t, tp, 3, rest)) &&
           d.set(kFieldYear, static_cast<int>(thousands * 1000 + rest));
      break;
    }
    case 7:
      ok = readNumericField(t, tp, d, kFieldYear3, 3);
      break;
    case 8:
      ok = readNumericField(t, tp, d, kFieldYear2, 2);
      break;
    case 9:
    case 10:
      ok = false;
      for (int m = 1; m <= 12; ++m)
        if (matchWord(t, tp, month_names[m - 1].bytes, 16, c == 9 ? month_name_length[m - 1] : 3)) {
          ok = d.set(kFieldMonth, m);
          break;
        }
      break;
    case 11:
    case 109:
      ok = readNumericField(t, tp, d, kFieldMonth, 2);
      break;
    case 12:
      ok = false;
      for (int k = 0; k < 12; ++k) {
        const int m = kRomanByLength[k];
        if (matchWord(t, tp, roman_numerals[m - 1].bytes, 4, roman_numeral_length[m - 1])) {
          ok = d.set(kFieldMonth, m);
          break;
        }
      }
      break;
    case 13:
    case 14:
      ok = false;
      for (int w = 1; w <= 7; ++w)
        if (matchWord(t, tp, day_names[w - 1].bytes, 16, c == 13 ? day_name_length[w - 1] : 3)) {
          ok = d.set(kFieldDayOfWeek, w);
          break;
        }
      break;
    case 15:
    case 99:
      ok = readNumericField(t, tp, d, kFieldDay, 2);
      break;
    case 16:
      ok = readNumericField(t, tp, d, kFieldDayOfYear, 3);
      break;
    case 17:
      ok = readNumericField(t, tp, d, kFieldWeek, 2);
      break;
    case 18:
    case 19:
      ok = readNumericField(t, tp, d, kFieldHour, 2);
      break;
    case 20:
    case 104:
      ok = readNumericField(t, tp, d, kFieldHour12, 2);
      break;
    case 21:
      ok = readNumericField(t, tp, d, kFieldMinute, 2);
      break;
    case 22:
      ok = readNumericField(t, tp, d, kFieldSecond, 2);
      break;
    case 23: {
      int p = 3;
      if (fi + 1 < formatEnd && f.at(fi + 1) >= '1' && f.at(fi + 1) <= '9')
        p = f.at(++fi) - '0';
      long ms = 0;
      ok = readFraction(t, tp, p, ms) && d.set(kFieldMsec, static_cast<int>(ms));
      break;
    }
    case 24:
    case 135:
      ok = readNumericField(t, tp, d, kFieldMsec, 3);
      break;
    case 25: {
      long micro = 0;
      ok = readNumber(t, tp, 6, micro) && d.set(kFieldMsec, static_cast<int>((micro + 500) / 1000));
      break;
    }
    case 26:
      ok = readNumericField(t, tp, d, kFieldSecondOfDay, 5);
      break;
    case 27:
    case 28: {
      const bool dotted = c == 28;
      if (matchPlain(t, tp, dotted ? "A.M." : "AM"))
        ok = d.set(kFieldMeridian, 0);
      else if (matchPlain(t, tp, dotted ? "P.M." : "PM"))
        ok = d.set(kFieldMeridian, 1);
      else
        ok = false;
      break;
    }
    case 29:
      ok = lower(t.at(tp)) == 'z';
      tp += ok;
      break;
    case 30:
      if (lower(t.at(tp)) == 't') {
        ++tp;
      } else {
        ok = t.at(tp) == ' ';
        while (t.at(tp) == ' ')
          ++tp;
      }
      break;
    case 32:
    case 95:
      ok = t.at(tp) == ' ';
      while (t.at(tp) == ' ')
        ++tp;
      break;
    case 34:
    case 39: {
      long q = fi + 1;
      for (; q < f.len && f.at(q) != c && ok; ++q, ++tp)
        ok = t.at(tp) == f.at(q);
      fi = q;
      break;
    }
    case 36:
      if (restIsBlank(t, tp))
        fi = formatEnd;
      break;
    case 44:
    case 45:
    case 46:
    case 47:
    case 58:
    case 59:
      ok = t.at(tp) == c;
      tp += ok;
      break;
    case 63:
      ok = tp < t.len;
      tp += ok;
      break;
    case 100:
      ok = readNumericField(t, tp, d, kFieldDayOfWeek, 1);
      break;
    case 105:
      ok = readNumericField(t, tp, d, kFieldIsoYear1, 1);
      break;
    case 106:
      ok = readNumericField(t, tp, d, kFieldJulianDay, 7);
      break;
    case 113:
      ok = readNumericField(t, tp, d, kFieldQuarter, 1);
      break;
    case 119:
      ok = readNumericField(t, tp, d, kFieldWeekOfMonth, 1);
      break;
    case 121:
      ok = readNumericField(t, tp, d, kFieldYear1, 1);
      break;
    case 128:
      ok = readNumericField(t, tp, d, kFieldIsoYear, 4);
      break;
    case 129:
      ok = readNumericField(t, tp, d, kFieldIsoYear3, 3);
      break;
    case 130:
      ok = readNumericField(t, tp, d, kFieldIsoYear2, 2);
      break;
    case 131:
      ok = readNumericField(t, tp, d, kFieldIsoWeek, 2);
      break;
    case 132:
      ok = readNumericField(t, tp, d, kFieldIsoDayOfYear, 3);
      break;
    case 133:
      ok = readNumericField(t, tp, d, kFieldIsoDayOfWeek, 1);
      break;
    case 134: {
      int year = 0;
      ok = readSpelledYear(t, tp, year) && d.set(kFieldYear, year);
      break;
    }
    default:
      break;
    }
    if (!ok)
      return true;
  }
  if (!restIsBlank(t, tp))
    return true;
  int doy = 0;
  if (calcDayOfYear(doy, d))
    return true;
  return !resolveTime(d);
}

bool packParsedDate(const DateTimeFields& d, int& date) {
  if (!yearInRange(d.year) ||
      static_cast<unsigned>(d.day - 1) >= static_cast<unsigned>(days_in_month(d.year, d.month)))
    return false;
  date = create_gdate(d.year, d.month, d.day);
  return true;
}

bool packParsedTimestamp(const DateTimeFields& d, long& ms) {
  if (!yearInRange(d.year))
    return false;
  const int carry = d.msec >= 1000 ? 1 : 0; // a rounded fraction of 1000 ms
  bool invalid = false;
  const long v =
      date_to_epoch_msecs(d.year, d.month, d.day, d.hour, d.minute, d.second, carry ? 999 : d.msec, invalid);
  if (invalid)
    return false;
  ms = v + carry;
  // Hour 24 and a fraction rounded up to the next second carry into the next day, which must still be
  // a supported instant: the last one is 2900-12-31 23:59:59.999, or 9999-12-31 23:59:59.999 for the
  // year 9999 (10000-01-01 has no year field and would wrap).
  return ms <= (d.year == 9999 ? kLastInstantOf9999 : kMaxTimestamp);
}

bool packParsedDateTime(const DateTimeFields& d, long& datetime) {
  long ms = 0;
  if (!packParsedTimestamp(d, ms))
    return false;
  datetime = create_timestamp_from_ms2(ms, nullptr);
  return true;
}

bool packParsedTime(const DateTimeFields& d, int& time) {
  if (static_cast<unsigned>(d.hour) >= 24u || static_cast<unsigned>(d.minute) >= 60u ||
      static_cast<unsigned>(d.second) > 99u || static_cast<unsigned>(d.msec) > 1000u)
    return false;
  if (d.second >= 60) {
    time = packTime(d.hour, d.minute, 0, 0);
    return true;
  }
  const long ms = ((d.hour * 60L + d.minute) * 60 + d.second) * 1000 + d.msec;
  time = timeFromMs(ms % kMsPerDay);
  return true;
}

namespace {
DateTimeFields fieldsOf(const DateTimeStruct& d) {
  return {d.year, d.month, d.day, d.hour, d.minute, d.second, d.millisecond, d.dayOfYear, d.dayOfWeek};
}
} // namespace

bool packParsedDate(const DateTimeStruct& d, int& date) {
  return packParsedDate(fieldsOf(d), date);
}
bool packParsedTimestamp(const DateTimeStruct& d, long& ms) {
  return packParsedTimestamp(fieldsOf(d), ms);
}
bool packParsedDateTime(const DateTimeStruct& d, long& datetime) {
  return packParsedDateTime(fieldsOf(d), datetime);
}
bool packParsedTime(const DateTimeStruct& d, int& time) {
  return packParsedTime(fieldsOf(d), time);
}

namespace {
bool extractWithFormat(const char* format32, const char* text, unsigned long textWidth, int textDirection,
                       DateTimeStruct& d) {
  if (textDirection < 0 && textWidth == 0)
    return false;
  const char* first = textDirection < 0 ? text + (textWidth - 1) : text;
  return !extractDateTimeValues(format32 + (kW - 1), kW, -1, first, textWidth, textDirection, d, 0,
                                textDirection < 0);
}
} // namespace

bool parseDateWithFormat(const char* format32, const char* text, unsigned long textWidth, int textDirection,
                         int& date) {
  DateTimeStruct d;
  return extractWithFormat(format32, text, textWidth, textDirection, d) && packParsedDate(d, date);
}

bool parseTimestampWithFormat(const char* format32, const char* text, unsigned long textWidth,
                              int textDirection, long& ms) {
  DateTimeStruct d;
  return extractWithFormat(format32, text, textWidth, textDirection, d) && packParsedTimestamp(d, ms);
}

bool parseTimeWithFormat(const char* format32, const char* text, unsigned long textWidth, int textDirection,
                         int& time) {
  DateTimeStruct d;
  return extractWithFormat(format32, text, textWidth, textDirection, d) && packParsedTime(d, time);
}

} // namespace vela::calendar
