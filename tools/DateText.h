#pragma once
// Canonical text of the calendar kinds in the command-line evaluator (CSV cells, program constants and
// printed results), and the compiler of date/time format text into the byte codes the formatting and
// parsing ops read.
//
// Text forms:
//   date       YYYY-MM-DD
//   time       HH:MM:SS.mmm, also HH:MM:SS and HH:MM (missing parts are zero)
//   datetime   YYYY-MM-DD HH:MM:SS.mmm, the time part in any of the time forms, or absent (midnight)
//   timestamp  as datetime; the value is the instant's milliseconds since 1970-01-01 UTC
// Every field has exactly its digits (four for the year, two for the others, three for the
// milliseconds). Dates must be real calendar days of the years 1000 to 2900, or of 9999 for date and
// datetime (whose layouts keep 9999 apart); times run from 00:00:00.000 to 23:59:59.999.
//
// Printing: dates as YYYY-MM-DD, times as HH:MM:SS.mmm, datetimes and timestamps as
// YYYY-MM-DD HH:MM:SS.mmm. A value that has no such text is printed as its raw integer, which no
// canonical text can be mistaken for: a timestamp outside 1000-01-01 .. 2900-12-31, and a packed date,
// time or datetime whose fields are impossible or disagree (month 13, 31 April, hour 24, a day of year
// or day of week that is not the date's, bits set outside the fields).

#include <string>
#include <string_view>

#include "base/ParserUtils.h"

namespace quarry::tools {

/// Whether `type` is one of date, time, datetime, timestamp.
bool isCalendarType(vela::ParserUtils::RpnDataType type);

/// Reads the text of a calendar `type` into `cell` (4 bytes for date and time, 8 otherwise). Returns
/// false with `why` set (quoting the text) when it is not a value of the type.
bool parseCalendarText(vela::ParserUtils::RpnDataType type, std::string_view text, unsigned char* cell,
                       std::string& why);

/// The canonical text of a calendar cell, or its raw integer (see the header comment).
std::string formatCalendarCell(vela::ParserUtils::RpnDataType type, const unsigned char* cell);

/// Compiles format text (YYYY-MM-DD HH24:MI:SS ...) into the byte codes of a compiled format. Returns
/// false with `why` set at an unknown element, an unterminated quote or a result over 32 bytes.
bool compileDateFormat(std::string_view text, std::string& codes, std::string& why);

} // namespace quarry::tools
