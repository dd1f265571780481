#pragma once
// The canonical text of dates, times and datetimes, and the casts between text and those values.
//
// Texts written: 'YYYY-MM-DD' (10 characters), 'HH:MM:SS.mmm' (12), 'YYYY-MM-DD HH:MM:SS.mmm' (23; a
// millisecond field above 999 in a hostile value writes its four digits).
//
// Texts read (every cast of a kind, heap string or cell, reads through the same parser):
//  - date: 'YYYY-MM-DD';
//  - time: 'HH:MM', 'HH:MM:SS' or 'HH:MM:SS.f' with one to nine fraction digits rounded half up to
//    milliseconds (a rounding to the next second carries, wrapped within the day);
//  - datetime and timestamp: a date, optionally followed by a 'T' or spaces and a time as above.
// Numbers may have fewer digits than shown ("2024-3-5"); spaces before and after the text are allowed;
// anything else fails. Years must be 1000..2900 or 9999, months and days a real calendar date; times
// of day follow the time rules of the parser (a second of 60 or more reads as :00 for a time; hour 24
// adds a day to a datetime). In a cell the text ends at its first NUL; in a heap string a NUL is a byte
// like any other and fails the parse.

#include <string_view>

namespace vela::calendar {

/// Longest text convert_gdatetime_to_string writes.
inline constexpr unsigned long kDateTimeTextMax = 32;

/// Writes the text of a packed value in reading order into out and returns its length (10 for a date,
/// 12 for a time, 23 or 24 for a datetime; room for kDateTimeTextMax bytes suffices).
int convert_gdate_to_string(int date, char* out);
int convert_gtime_to_string(int time, char* out);
int convert_gdatetime_to_string(long datetime, char* out);

/// Reads a text in reading order; true on success (the value is then set).
bool gdate_from_string(std::string_view text, int& date);
bool gtime_from_string(std::string_view text, int& time);
bool gdatetime_from_string(std::string_view text, long& datetime);
bool gtimestamp_from_string(std::string_view text, long& ms);

/// The same for the text of a charN cell of `width` bytes (character 0 at the highest byte, the text
/// ending at the first NUL).
bool gdate_from_charN(const char* cell, unsigned long width, int& date);
bool gtime_from_charN(const char* cell, unsigned long width, int& time);
bool gdatetime_from_charN(const char* cell, unsigned long width, long& datetime);
bool gtimestamp_from_charN(const char* cell, unsigned long width, long& ms);

} // namespace vela::calendar
