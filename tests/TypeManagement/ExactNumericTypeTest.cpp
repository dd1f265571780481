// Exact decimals: the packed 96-bit layout, the text parser (values, rounding, messages, logging, both
// text layouts), the text form and its round trip, the rounding helpers and rescaling.
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TypeManagement/ExactNumericType.h"
#include "base/Logging.h"
#include "base/VelaException.h"
#include "tests/support/CapturingAppender.h"

using quarry::test::LogCapture;
using vela::ExactNumericType;
using vela::int128_t;
using vela::Int96;
using vela::uint128_t;

namespace {

constexpr int128_t kMax96 = (static_cast<int128_t>(1) << 95) - 1;
constexpr int128_t kMin96 = -kMax96 - 1;

int128_t parse128(const std::string& s) {
  int128_t v = 0;
  bool neg = !s.empty() && s[0] == '-';
  for (std::size_t i = neg ? 1 : 0; i < s.size(); ++i)
    v = v * 10 + (s[i] - '0');
  return neg ? -v : v;
}

// The text in the reversed fixed-width layout, in the smallest cell width that holds it.
std::vector<char> charNCell(const std::string& text) {
  std::size_t width = 1;
  while (width < text.size())
    width *= 2;
  std::vector<char> cell(width, 0);
  for (std::size_t i = 0; i < text.size(); ++i)
    cell[width - 1 - i] = text[i];
  return cell;
}

// Parses in both layouts; they must agree on the value or on the message.
struct Parsed {
  std::optional<int128_t> value;
  std::string message;
  bool flag = false;
};
template <class T>
Parsed parseBoth(const std::string& text, int precision, int scale) {
  Parsed results[2];
  for (int form = 0; form < 2; ++form) {
    Parsed& r = results[form];
    try {
      const std::vector<char> cell = charNCell(text);
      const T v =
          form == 0
              ? ExactNumericType<T>::template convert_charN1<true>(text.data(), text.size(),
                                                                   static_cast<std::uint8_t>(precision),
                                                                   static_cast<std::int8_t>(scale), &r.flag)
              : ExactNumericType<T>::template convert_charN1<false>(cell.data(), cell.size(),
                                                                    static_cast<std::uint8_t>(precision),
                                                                    static_cast<std::int8_t>(scale), &r.flag);
      r.value = ExactNumericType<T>(v).toInt128();
    } catch (const vela::VelaException& e) {
      r.message = e.what();
    }
  }
  EXPECT_EQ(results[0].value, results[1].value) << text;
  EXPECT_EQ(results[0].message, results[1].message) << text;
  EXPECT_EQ(results[0].flag, results[1].flag) << text;
  return results[0];
}

// Message without its location suffix " (code:line)".
std::string withoutLocation(const std::string& what) {
  const auto at = what.rfind(" (");
  return at == std::string::npos ? what : what.substr(0, at);
}

struct ParseCase {
  bool wide;
  const char* text;
  int precision;
  int scale;
  std::string expected; // unscaled value, or the message without its location suffix
};

} // namespace

TEST(Int96, PackedLowWordThenHighWordAndWraps) {
  const Int96 column[2] = {Int96::fromInt128(-2), Int96::fromInt128(kMax96)};
  unsigned char bytes[24];
  std::memcpy(bytes, column, sizeof bytes); // 12 bytes a value, no padding
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(bytes[i], i == 0 ? 0xFE : 0xFF) << i;
  EXPECT_EQ(bytes[23], 0x7F);
  EXPECT_TRUE(Int96::fromInt128(kMax96 + 1).toInt128() == kMin96);
  EXPECT_TRUE(Int96::fromInt128(-(int128_t(1) << 64)).toInt128() == -(int128_t(1) << 64));
  EXPECT_TRUE(Int96::saturate(kMin96 - 5).toInt128() == kMin96);
}

TEST(DecimalParser, ValuesRoundingAndErrors) {
  LogCapture quiet(log4cplus::Logger::getInstance("Type")); // the failures below log; keep them off stderr
  const std::string tooLarge = " due to the number being too large";
  const std::vector<ParseCase> cases = {
      // blanks, sign, half away from zero
      {false, "  -12.345  ", 0, 2, "-1235"},
      {false, "-0.005", 0, 2, "-1"},
      {false, "0.0049", 0, 2, "0"},
      {false, "    ", 0, 2, "0"},
      // exponents move the point; negative scales count hundreds
      {false, "1.5E-1", 0, 2, "15"},
      {false, "25e-1", 0, 0, "3"},
      {false, "1250", 0, -2, "13"},
      // more than 18 digits rounded away is zero
      {false, "0.1234567890123456789012", 0, 2, "0"},
      // 64-bit range, also when rounding reaches it
      {false, "-9223372036854775808", 0, 0, "-9223372036854775808"},
      {false, "9223372036854775808", 0, 0,
       "unable to convert string '9223372036854775808' to DECIMAL" + tooLarge},
      {false, "-922337203685477580.75", 18, 1, "-9223372036854775808"},
      {false, "-922337203685477580.85", 18, 1,
       "unable to convert string '-922337203685477580.85' to DECIMAL" + tooLarge},
      // precision
      {false, "123456", 5, 2, "unable to convert string '123456' to DECIMAL(5, 2)"},
      {false, "12345678901234567890", 0, 0,
       "unable to convert string '12345678901234567890' to DECIMAL requiring precision 20 (max 18)"},
      {false, "9.3", 0, 18, "unable to convert string '9.3' to DECIMAL" + tooLarge},
      // extra characters, including a second point and an exponent without digits
      {false, "1.2.3", 0, 2, "unable to convert string '1.2.3' to DECIMAL due to extra characters"},
      {false, "1e", 0, 0, "unable to convert string '1e' to DECIMAL due to extra characters"},
      {false, "- 5", 0, 0, "unable to convert string '- 5' to DECIMAL due to extra characters"},
      // unsupported precision and scale are refused before the text is read
      {false, "1", 0, 19, "unable to convert string to DECIMAL with unsupported precision/scale (0, 19)"},
      {false, "1", 3, 4, "unable to convert string to DECIMAL with unsupported precision/scale (3, 4)"},
      {true, "1", 29, 0, "unable to convert string to DECIMAL with unsupported precision/scale (29, 0)"},
      // 96-bit range and precision
      {true, "-39614081257132168796771975168", 0, 0, "-39614081257132168796771975168"},
      {true, "39614081257132168796771975168", 28, 0,
       "unable to convert string '39614081257132168796771975168' to DECIMAL" + tooLarge},
      {true, "123456789012345678901234567890", 0, 0,
       "unable to convert string '123456789012345678901234567890' to DECIMAL requiring precision 30 (max "
       "28)"},
      // 45 significant digits: past the accumulator, rounded at the 29th
      {true, "1234567890123456789.01234567895000000000000001", 0, 10, "12345678901234567890123456790"},
      {true, "1234567890123456789.01234567894999999999999999", 0, 10, "12345678901234567890123456789"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Parsed r = c.wide ? parseBoth<Int96>(c.text, c.precision, c.scale)
                            : parseBoth<long>(c.text, c.precision, c.scale);
    const std::string& expected = c.expected;
    if (expected.rfind("unable", 0) == 0) {
      EXPECT_FALSE(r.value.has_value());
      EXPECT_EQ(withoutLocation(r.message), expected);
      EXPECT_TRUE(r.flag);
    } else {
      ASSERT_TRUE(r.value.has_value()) << r.message;
      EXPECT_TRUE(*r.value == parse128(expected)) << expected;
      EXPECT_FALSE(r.flag);
    }
  }
}

TEST(DecimalParser, NulPaddingEndsTheText) {
  LogCapture quiet(log4cplus::Logger::getInstance("Type"));
  // A heap string may carry NUL padding; a charN cell ends at its first NUL from the top.
  const char heap[] = {'4', '2', '.', '5', 0, 0};
  EXPECT_EQ((ExactNumericType<long>::convert_charN1<true>(heap, sizeof heap, 0, 1)), 425);
  const char cell[8] = {0, 0, 0, 0, '5', '.', '2', '4'};
  EXPECT_EQ((ExactNumericType<long>::convert_charN1<false>(cell, sizeof cell, 0, 1)), 425);
  // A NUL inside heap text is not padding: it is left over after the number.
  const char embedded[] = {'4', 0, '2'};
  bool flag = false;
  try {
    ExactNumericType<long>::convert_charN1<true>(embedded, sizeof embedded, 0, 0, &flag);
    ADD_FAILURE() << "embedded NUL accepted";
  } catch (const vela::VelaException& e) {
    EXPECT_TRUE(flag);
    EXPECT_EQ(std::string(e.what()), "unable to convert string '4"); // what() ends at the NUL
  }
}

TEST(DecimalParser, FailuresAreLoggedUnderTypeWithLocationWhenItsLevelIsOn) {
  const std::string suffix =
      " (" + std::to_string(vela::getLogErrorCodeFrom_FILE("TypeManagement/ExactNumericType")) + ":";
  for (int level : {log4cplus::TRACE_LOG_LEVEL, log4cplus::ERROR_LOG_LEVEL}) {
    LogCapture capture(log4cplus::Logger::getInstance("Type"), level);
    for (const auto& [text, precision] : std::vector<std::pair<std::string, int>>{{"12a", 0}, {"99999", 3}}) {
      SCOPED_TRACE(text);
      const std::size_t before = capture.events().size();
      try {
        ExactNumericType<long>::convert_charN1<true>(text.data(), text.size(),
                                                     static_cast<std::uint8_t>(precision), 0);
        ADD_FAILURE() << "no exception";
      } catch (const vela::VelaException& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(suffix), std::string::npos) << what;
        const auto events = capture.events();
        if (level == log4cplus::ERROR_LOG_LEVEL) {
          EXPECT_EQ(events.size(), before); // warnings are below the level
          continue;
        }
        ASSERT_EQ(events.size(), before + 1);
        EXPECT_EQ(events.back().level, 25000);
        EXPECT_EQ(events.back().message, what);
        EXPECT_EQ(events.back().file, "TypeManagement/ExactNumericType");
      }
    }
  }
}

TEST(DecimalText, PlainTextAtAScale) {
  // clang-format off
  const std::vector<std::tuple<int128_t, int, std::string>> cases = {
      {0, 2, "0.00"}, {-5, 2, "-0.05"}, {12, -2, "1200"}, {0, -2, "0"},
      {kMax96, 28, "3.9614081257132168796771975167"}, {INT64_MIN, 18, "-9.223372036854775808"},
  };
  // clang-format on
  for (const auto& [v, scale, text] : cases)
    EXPECT_EQ(vela::decimal_as_string(v, scale), text);
  EXPECT_EQ(ExactNumericType<long>::as_string(3, -1500), "-1.500");
  EXPECT_EQ(ExactNumericType<Int96>(Int96::fromInt128(kMax96)).as_string(0), "39614081257132168796771975167");
}

TEST(DecimalText, RandomValuesRoundTripThroughTheParser) {
  std::mt19937_64 rng(20240611);
  for (int i = 0; i < 20000; ++i) {
    const int scale = static_cast<int>(rng() % 19);
    const int bits = static_cast<int>(rng() % 96);
    int128_t v =
        static_cast<int128_t>((static_cast<uint128_t>(rng()) << 64 | rng()) >> (128 - bits - 1)) >> 1;
    if (rng() & 1)
      v = -v - (rng() & 1);
    const std::string text =
        ExactNumericType<Int96>::as_string(static_cast<std::int8_t>(scale), Int96::fromInt128(v));
    const Int96 back = ExactNumericType<Int96>::convert_charN1<true>(text.data(), text.size(), 0,
                                                                     static_cast<std::int8_t>(scale));
    ASSERT_TRUE(back.toInt128() == v) << text;
    if (v >= INT64_MIN && v <= INT64_MAX) {
      const auto narrow = static_cast<long>(v);
      const std::string text64 = ExactNumericType<long>::as_string(static_cast<std::int8_t>(scale), narrow);
      ASSERT_EQ(text64, text);
      const std::vector<char> cell = charNCell(text64);
      ASSERT_EQ((ExactNumericType<long>::convert_charN1<false>(cell.data(), cell.size(), 0,
                                                               static_cast<std::int8_t>(scale))),
                narrow)
          << text;
    }
  }
}

TEST(ExactNumeric, ToInt64RoundsHalfAway) {
  using D = ExactNumericType<Int96>;
  auto d = [](int128_t v) { return D(Int96::fromInt128(v)); };
  const std::vector<std::tuple<int128_t, long, long>> toInt64 = {
      {-250, 100, -3}, {-249, 100, -2}, {-5, 10, -1}, {15, 2, 8}, {kMax96, 10000000000000000, 3961408125713},
  };
  for (const auto& [v, f, expected] : toInt64)
    EXPECT_EQ(d(v).toInt64(f), expected) << static_cast<long>(v) << " / " << f;
}

// Scales 0..18 are covered by the property test of the decimal kernels; here the factor-1 rule for
// other scales and the wrap of the 64-bit form.
TEST(ExactNumeric, RescaleOutsideTheTableAndWrap) {
  EXPECT_EQ(vela::DecimalRescale(20, 2)(ExactNumericType<long>(5)).value, 500);
  EXPECT_EQ(vela::DecimalRescale(2, 20)(ExactNumericType<long>(-50)).value, -1);
  EXPECT_EQ(vela::DecimalRescale(25, 30)(ExactNumericType<long>(9)).value, 9);
  EXPECT_EQ(vela::DecimalRescale(0, 18)(ExactNumericType<long>(10)).value, -8446744073709551616);
  EXPECT_EQ(vela::DecimalRescale(0, 18)(ExactNumericType<Int96>(Int96::fromInt64(10))).as_string(0),
            "10000000000000000000");
}
