#include "fuzz/FuzzTarget.h"

namespace quarry::fuzz {

namespace {

using namespace std::string_view_literals;

// Tokens that steer each reader into its less travelled branches: the mutators insert them whole.
constexpr std::string_view kProgramTokens[] = {"LOAD_COL_I64 $i"sv,
                                               "LOAD_COL_STRING $s"sv,
                                               "CONST_I64 "sv,
                                               "CONST_STRING '"sv,
                                               "CONST_DEC64 "sv,
                                               " p="sv,
                                               " s="sv,
                                               " p0="sv,
                                               " s1="sv,
                                               "results=["sv,
                                               "regex='"sv,
                                               "flags='"sv,
                                               "replacement='"sv,
                                               "LIST_I32 ["sv,
                                               "$"sv,
                                               ".nulls"sv,
                                               ";"sv,
                                               "\n"sv,
                                               "//"sv,
                                               "'"sv,
                                               "''"sv,
                                               "["sv,
                                               "]"sv,
                                               ","sv,
                                               "nan"sv,
                                               "-inf"sv,
                                               "ADD_I64"sv,
                                               "CAST_STRING_TO_I32"sv,
                                               "IN_I64"sv};
constexpr std::string_view kCsvTokens[] = {":i64"sv,
                                           ":dec64("sv,
                                           ":dec128(20,4)"sv,
                                           ":char8"sv,
                                           ":string"sv,
                                           ":json"sv,
                                           ":vector"sv,
                                           ":geometry"sv,
                                           ":date"sv,
                                           ":timestamp"sv,
                                           ":f32"sv,
                                           ":u128"sv,
                                           ","sv,
                                           "\""sv,
                                           "\"\""sv,
                                           "\r\n"sv,
                                           "\n"sv,
                                           "\xEF\xBB\xBF"sv,
                                           "nan"sv,
                                           "-inf"sv,
                                           "1e308"sv,
                                           "9223372036854775808"sv,
                                           "POINT (1 2)"sv,
                                           "[1,2]"sv,
                                           "{\"a\":1}"sv,
                                           "2024-02-29"sv,
                                           "23:59:59.999"sv};
constexpr std::string_view kDecimalTokens[] = {"0"sv,
                                               "9"sv,
                                               "."sv,
                                               "-"sv,
                                               "+"sv,
                                               "e"sv,
                                               "E"sv,
                                               "e-"sv,
                                               "e+30"sv,
                                               " "sv,
                                               "\t"sv,
                                               "000000000000000000"sv,
                                               "99999999999999999999"sv,
                                               "5"sv,
                                               "\0"sv};
constexpr std::string_view kCastTokens[] = {"0"sv,
                                            "1"sv,
                                            "-"sv,
                                            "."sv,
                                            "e"sv,
                                            " "sv,
                                            "true"sv,
                                            "false"sv,
                                            "nan"sv,
                                            "inf"sv,
                                            "[1,2]"sv,
                                            "{}"sv,
                                            "POINT (1 2)"sv,
                                            "2024-02-29"sv,
                                            "12:30:00"sv,
                                            "0x"sv,
                                            "255.255.255.255"sv,
                                            "-"sv,
                                            "99999999999999999999"sv,
                                            "\0"sv};
constexpr std::string_view kWktTokens[] = {"POINT"sv,
                                           "LINESTRING"sv,
                                           "POLYGON"sv,
                                           "MULTIPOINT"sv,
                                           "MULTILINESTRING"sv,
                                           "MULTIPOLYGON"sv,
                                           "GEOMETRYCOLLECTION"sv,
                                           "LINEARRING"sv,
                                           " Z"sv,
                                           " M"sv,
                                           " ZM"sv,
                                           " EMPTY"sv,
                                           "("sv,
                                           ")"sv,
                                           ", "sv,
                                           " "sv,
                                           "1e308"sv,
                                           "-0"sv,
                                           "nan"sv,
                                           "inf"sv,
                                           "1.5"sv};
constexpr std::string_view kWkbTokens[] = {"\x01"sv,
                                           "\x00"sv,
                                           "\x01\x00\x00\x00"sv,
                                           "\x02\x00\x00\x00"sv,
                                           "\x03\x00\x00\x00"sv,
                                           "\x07\x00\x00\x00"sv,
                                           "\xe9\x03\x00\x00"sv,
                                           "\x00\x00\x00\x80"sv,
                                           "\x00\x00\x00\x20"sv,
                                           "\x00\x00\x00\x40"sv,
                                           "\x00\x00\x00\x00\x00\x00\xf8\x7f"sv,
                                           "\xff\xff\xff\xff"sv};
constexpr std::string_view kJsonTokens[] = {"{"sv,
                                            "}"sv,
                                            "["sv,
                                            "]"sv,
                                            ":"sv,
                                            ","sv,
                                            "\""sv,
                                            "\\u"sv,
                                            "\\ud83d\\ude00"sv,
                                            "true"sv,
                                            "false"sv,
                                            "null"sv,
                                            "-0"sv,
                                            "1e400"sv,
                                            "18446744073709551616"sv,
                                            "0.1"sv,
                                            " "sv,
                                            "\xc3\xa9"sv,
                                            "\xed\xa0\x80"sv,
                                            "\\"sv};
constexpr std::string_view kJsonPathTokens[] = {
    "$"sv,       "."sv,      ".."sv,    "["sv,         "]"sv,   "*"sv,       "?"sv,      "@"sv,
    "=="sv,      "<="sv,     "!"sv,     "&&"sv,        "||"sv,  "=~"sv,      "/"sv,      "'"sv,
    "\""sv,      ":"sv,      "-1"sv,    "("sv,         ")"sv,   "length("sv, "count("sv, "match("sv,
    "search("sv, "value("sv, "keys("sv, "tokenize("sv, "\x1f"sv};
constexpr std::string_view kVectorTokens[] = {"["sv,       "]"sv,   ","sv,   " "sv,
                                              "-"sv,       "+"sv,   "."sv,   "e"sv,
                                              "e-46"sv,    "e39"sv, "1"sv,   "3.4028235e38"sv,
                                              "1.4e-45"sv, "0x1"sv, "nan"sv, "inf"sv};
constexpr std::string_view kDateTimeTokens[] = {
    "2024"sv, "-"sv,   "02"sv,   "29"sv,   " "sv,     "T"sv,     ":"sv,          "."sv, "24"sv,
    "60"sv,   "999"sv, "9999"sv, "1000"sv, "12-31"sv, "00:00"sv, "0000000001"sv, "\0"sv};
constexpr std::string_view kFormatTokens[] = {"YYYY"sv, "YY"sv,  "MM"sv, "DD"sv, "HH24"sv, "HH12"sv,  "MI"sv,
                                              "SS"sv,   "FF3"sv, "MS"sv, "AM"sv, "A.M."sv, "Month"sv, "MON"sv,
                                              "Day"sv,  "DY"sv,  "Q"sv,  "WW"sv, "IW"sv,   "J"sv,     "DDD"sv,
                                              "RM"sv,   "\""sv,  "-"sv,  " "sv,  "\x1f"sv};
constexpr std::string_view kRegexpTokens[] = {"("sv, ")"sv,   "(?:"sv,   "["sv, "]"sv,  "^"sv,    "$"sv,
                                              "*"sv, "+?"sv,  "{2,3}"sv, "|"sv, "\\"sv, "\\d"sv,  "\\b"sv,
                                              "."sv, "\\1"sv, "\\0"sv,   "a"sv, "\n"sv, "\xe9"sv, "\x1f"sv};
constexpr std::string_view kLikeTokens[] = {"%"sv,  "_"sv, "["sv, "]"sv,  "[^"sv, "-"sv,
                                            "\\"sv, "a"sv, "A"sv, "\n"sv, "\0"sv, "%%"sv};

constexpr Target kTargets[] = {
    {"program_text", programText, kProgramTokens},
    {"csv_data", csvData, kCsvTokens},
    {"decimal_text", decimalText, kDecimalTokens},
    {"string_cast", stringCast, kCastTokens},
    {"wkt", wkt, kWktTokens},
    {"wkb", wkb, kWkbTokens},
    {"json_text", jsonText, kJsonTokens},
    {"json_path", jsonPath, kJsonPathTokens},
    {"vector_text", vectorText, kVectorTokens},
    {"datetime_text", dateTimeText, kDateTimeTokens},
    {"datetime_format", dateTimeFormat, kFormatTokens},
    {"regexp", regexp, kRegexpTokens},
    {"like_pattern", likePattern, kLikeTokens},
};

} // namespace

std::span<const Target> targets() {
  return kTargets;
}

const Target* findTarget(std::string_view name) {
  for (const Target& t : kTargets)
    if (name == t.name)
      return &t;
  return nullptr;
}

} // namespace quarry::fuzz
