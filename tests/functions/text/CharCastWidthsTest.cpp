// Casts between charN widths, the char16/u128 reinterpretation, IPv4 and UUID text both ways, the
// address tests, CHAR_CONV and CHAR_HEX_TO_LONG, through both evaluators.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

// First code of the narrowing casts to each target width (from the next wider width up).
constexpr int kNarrowingBase[] = {1500, 1510, 1519, 1527, 1534, 1540, 1547, 1551};

template <std::size_t To, std::size_t From>
void expectNarrowing() {
  const int code = kNarrowingBase[widthIndex(To)] + widthIndex(From) - widthIndex(To) - 1;
  // The empty text, a short one, one exactly To long, one character more, and a full source cell.
  const std::vector<std::string> texts = {"", "a", std::string(To, 'b'), std::string(To, 'c') + "d",
                                          std::string(From, 'e')};
  std::vector<Text<From>> in;
  std::vector<Text<To>> out;
  for (const std::string& t : texts)
    if (t.size() <= From) {
      in.push_back(txt<From>(t));
      out.push_back(cut<To>(t));
    }
  expectColumn<Text<To>>(code, in, out);
}

TEST(CharCastWidths, EveryNarrowingPair) {
  forEachWidth([]<std::size_t To>() {
    forEachWidth([]<std::size_t From>() {
      if constexpr (To < From)
        expectNarrowing<To, From>();
    });
  });
}

TEST(CharCastWidths, Char16AndU128ShareTheirBytes) {
  fixed_array_t<16> a = packed<fixed_array_t<16>>("abc"), b{};
  for (int i = 0; i < 16; ++i)
    b.bytes[i] = static_cast<unsigned char>(255 - 7 * i);
  expectColumn<fixed_array_t<16>>(1545, std::vector<fixed_array_t<16>>{a, b}, {a, b});
  expectColumn<fixed_array_t<16>>(1544, std::vector<Text<16>>{Text<16>{a}, Text<16>{b}}, {a, b});
}

TEST(CharCastAddresses, Ipv4TextBothWays) {
  const std::vector<int> addresses = {0x01020304, static_cast<int>(0xFFFFFFFF), 0, 0x0A000001,
                                      static_cast<int>(0xC0A80101)};
  const std::vector<std::string> texts = {"1.2.3.4", "255.255.255.255", "0.0.0.0", "10.0.0.1", "192.168.1.1"};
  expectColumn<Text<16>>(737, addresses, txts<16>(texts));
  expectColumn<Text<32>>(757, addresses, txts<32>(texts));
  expectColumn<Text<64>>(758, addresses, txts<64>(texts));
  // Text to ipv4: not a dotted quad gives 0 with state 1.
  forEachWidth([&]<std::size_t N>() {
    if constexpr (N >= 8) {
      std::vector<Text<N>> in = {txt<N>("1.2.3.4"), txt<N>(" 1.2.3.4"), txt<N>("1.2.3"),
                                 txt<N>(""),        txt<N>("1.2.3.4a"), txt<N>("1.2 3.4")};
      std::vector<int> out = {0x01020304, 0x01020304, 0, 0, 0, 0};
      std::vector<Bool> isIpv4 = {1, 1, 0, 0, 0, 0};
      if constexpr (N >= 32) {
        const std::pair<const char*, unsigned> more[] = {
            {"255.255.255.255", 0xFFFFFFFF}, {"1.2.3.256", 0}, {"1.2.3.4.5", 0}, {"010.0.0.1", 0x0A000001},
            {"1 .2. 3.4 ", 0x01020304},      {"1..3.4", 0},    {"1.2.3.", 0},    {"\t1.2.3.4", 0x01020304},
            {"1.2.3.99999999999", 0},        {"a.b.c.d", 0}};
        for (const auto& [text, address] : more) {
          const bool valid = address != 0;
          in.push_back(txt<N>(text));
          out.push_back(static_cast<int>(address));
          isIpv4.push_back(valid ? 1 : 0);
        }
      }
      std::vector<std::uint8_t> states;
      for (Bool v : isIpv4)
        states.push_back(v ? 0 : 1);
      expectColumn<int>(1590 + widthIndex(N) - 3, in, out, states);
      expectColumn<Bool>(1710 + widthIndex(N) - 3, in, isIpv4);
    }
  });
}

TEST(CharCastAddresses, Ipv4Octets) {
  const int a = 0x0A000001;                   // 10.0.0.1
  const int b = static_cast<int>(0xC0A80102); // 192.168.1.2
  expectTable<int>(
      1717,
      std::vector<Row<int, int, int>>{
          {{a, 1}, 10}, {{a, 4}, 1}, {{a, 0}, 0}, {{a, 5}, 0}, {{b, 1}, 192}, {{b, 3}, 1}, {{a, -1}, 0}});
}

TEST(CharCastAddresses, UuidTextBothWays) {
  const std::string text = "123e4567-e89b-12d3-a456-426614174000";
  // The 128-bit value of the text, least significant byte first.
  const unsigned char le[16] = {0x00, 0x40, 0x17, 0x14, 0x66, 0x42, 0x56, 0xa4,
                                0xd3, 0x12, 0x9b, 0xe8, 0x67, 0x45, 0x3e, 0x12};
  fixed_array_t<16> uuid;
  std::memcpy(uuid.bytes, le, 16);
  const std::vector<fixed_array_t<16>> uuids = {uuid, fixed_array_t<16>{}};
  const std::string zero = "00000000-0000-0000-0000-000000000000";
  expectColumn<Text<64>>(759, uuids, {txt<64>(text), txt<64>(zero)});
  expectColumn<Text<128>>(760, uuids, {txt<128>(text), txt<128>(zero)});
  expectColumn<Text<256>>(761, uuids, {txt<256>(text), txt<256>(zero)});
  const std::vector<std::string> in = {text,           "123E4567-E89B-12D3-A456-426614174000", text + " ", "",
                                       text.substr(1), "123e4567+e89b-12d3-a456-426614174000"};
  const std::vector<fixed_array_t<16>> out = {uuid, uuid, {}, {}, {}, {}};
  const std::vector<std::uint8_t> states = {0, 0, 1, 1, 1, 1};
  expectColumn<fixed_array_t<16>>(1597, txts<64>(in), out, states);
  expectColumn<fixed_array_t<16>>(1598, txts<128>(in), out, states);
  expectColumn<fixed_array_t<16>>(1599, txts<256>(in), out, states);
}

TEST(CharCastRadix, CharConvBetweenBases) {
  using R = Row<Text<64>, Text<64>, std::int8_t, std::int8_t>;
  expectTable<Text<64>>(1809,
                        std::vector<R>{
                            {{txt<64>("255"), 10, 16}, txt<64>("FF")},
                            {{txt<64>("ff"), 16, 2}, txt<64>("11111111")},
                            {{txt<64>("-zz"), 36, 10}, txt<64>("-1295")},
                            {{txt<64>("0x1F"), 16, 10}, txt<64>("0")}, // the base is given: no prefix
                            {{txt<64>("12"), 1, 10}, txt<64>("")},
                            {{txt<64>("12"), 10, 37}, txt<64>("")},
                            {{txt<64>("12"), -10, 10}, txt<64>("")},
                            {{txt<64>(""), 10, 2}, txt<64>("0")},
                            {{txt<64>("129"), 2, 10}, txt<64>("1")},
                            {{txt<64>("-9223372036854775808"), 10, 2}, txt<64>("-1" + std::string(62, '0'))},
                            {{txt<64>(std::string(63, '0') + "7"), 8, 8}, txt<64>("7")},
                        });
}

TEST(CharCastRadix, HexToLong) {
  using R = Row<long, Text<32>>;
  auto r = [](const char* text, long value) { return R{{txt<32>(text)}, value}; };
  expectTable<long>(1813,
                    std::vector<R>{r("1F", 31), r("-0x10", -16), r("X'ff'", 255), r("0b1", 0xB1), r("", 0),
                                   r("zz", 0), r("FFFFFFFFFFFFFFFF", -1), r("10000000000000000", 0)});
}

} // namespace
