// CHAR_IS_NUMERIC, TO_BINARY / TO_OCT / TO_HEX and SIZE_PRETTY through both evaluators, hand-computed
// rows at the grammar's and the widths' edges.
#include <limits>
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

constexpr long kMin = std::numeric_limits<long>::min(), kMax = std::numeric_limits<long>::max();

TEST(CharFuncIsNumeric, Grammar) {
  using R = Row<Bool, Text<16>>;
  std::vector<R> rows;
  for (const char* yes : {"12", "-1.5e+3", ".5", "  7  ", "1.", "+.5", "1E-7", "1.e5", "0012", "1e+", "-0"})
    rows.push_back({{txt<16>(yes)}, 1});
  for (const char* no : {"1e",  "+",   "1..2", "1e2e3", "",     "   ", "-.",  ".",  "1e5.5", "1-5", "1e ",
                         "1 2", "abc", "+-1",  "1e+-5", "0x10", "\t1", "1\t", "e5", "1.2.",  "- 1"})
    rows.push_back({{txt<16>(no)}, 0});
  expectTable<Bool>(1802, rows);
  // A char8 full of digits has no NUL; the narrowest and widest codes share the grammar.
  expectTable<Bool>(1801,
                    std::vector<Row<Bool, Text<8>>>{{{txt<8>("12345678")}, 1}, {{txt<8>("1234567e")}, 0}});
  const std::string wide = std::string(200, ' ') + "-4.5e-2" + std::string(49, ' ');
  expectTable<Bool>(1806, std::vector<Row<Bool, Text<256>>>{{{txt<256>(wide)}, 1},
                                                            {{txt<256>(wide.substr(0, 255) + "x")}, 0}});
}

TEST(CharFuncRadix, DigitsPaddingAndCut) {
  using Hex = Row<Text<16>, long, std::int16_t>;
  auto h = [](long v, int w, const char* out) {
    return Hex{{v, static_cast<std::int16_t>(w)}, txt<16>(out)};
  };
  expectTable<Text<16>>(1811, std::vector<Hex>{h(255, 4, "00FF"), h(-255, 0, "-FF"), h(0, 0, "0"),
                                               h(-1, 3, "-001"), h(kMax, 0, "7FFFFFFFFFFFFFFF"),
                                               h(kMin, 0, "-800000000000000"), // 17 characters, cut to 16
                                               h(255, 20, "0000000000000000"),
                                               h(255, -1, "0000000000000000"), // a digit count of 65535
                                               h(0xABCDEF, 2, "ABCDEF")});
  using Bin = Row<Text<64>, long, std::int16_t>;
  auto b = [](long v, int w, const std::string& out) {
    return Bin{{v, static_cast<std::int16_t>(w)}, txt<64>(out)};
  };
  expectTable<Text<64>>(1808, std::vector<Bin>{b(5, 0, "101"), b(5, 8, "00000101"), b(-5, 4, "-0101"),
                                               b(kMin, 0, "-1" + std::string(62, '0')),
                                               b(-1, 64, "-" + std::string(63, '0'))});
  using Oct = Row<Text<32>, long, std::int16_t>;
  auto o = [](long v, int w, const std::string& out) {
    return Oct{{v, static_cast<std::int16_t>(w)}, txt<32>(out)};
  };
  expectTable<Text<32>>(
      1812, std::vector<Oct>{o(8, 0, "10"), o(-8, 3, "-010"), o(kMax, 0, "777777777777777777777"),
                             o(kMin, 0, "-1000000000000000000000"), o(7, 33, std::string(32, '0'))});
}

TEST(CharFuncSizePretty, UnitsAndRounding) {
  using S = Row<Text<16>, long>;
  auto s = [](long v, const char* out) { return S{{v}, txt<16>(out)}; };
  expectTable<Text<16>>(
      1815, std::vector<S>{s(0, "0 bytes"), s(999, "999 bytes"), s(-999, "-999 bytes"), s(1000, "1 KB"),
                           s(1536, "2 KB"), s(1535, "1 KB"), s(-1536, "-2 KB"),
                           s(1023487, "999 KB"), // 1998 half-units: the last count printed in KB
                           s(1023488, "1 MB"),   // 1999 half-units move up a unit
                           s(1048576, "1 MB"), s(2097152, "2 MB"), s(1L << 30, "1 GB"), s(1L << 40, "1 TB"),
                           s(1L << 50, "1 PB"), s(kMax, "8192 PB"), s(kMin, "-8192 PB")});
}

} // namespace
