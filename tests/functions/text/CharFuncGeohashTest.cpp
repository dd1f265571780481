// GEOHASH_ENCODE, GEOHASH_ENCODE_LONG and the two decoders through both evaluators. References: the
// published hashes "ezs42" (42.6, -5.6) and "u4pruydqqvj" (57.64911, 10.40744), and hashes and centres
// computed by hand with the interval-halving rule.
#include <limits>
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kLong = "ezs42e44yx9675pdcpwdmujbpbpbpbpb"; // (42.6, -5.6) to 32 characters

TEST(CharFuncGeohash, EncodeClampsPrecisionAndEmptiesOutOfRange) {
  using E = Row<Text<16>, double, double, int>;
  auto e = [](double lon, double lat, int p, const std::string& out) {
    return E{{lon, lat, p}, txt<16>(out)};
  };
  expectTable<Text<16>>(1605,
                        std::vector<E>{e(-5.6, 42.6, 5, "ezs42"), e(10.40744, 57.64911, 11, "u4pruydqqvj"),
                                       e(-5.6, 42.6, 0, "e"), e(-5.6, 42.6, -7, "e"),
                                       e(-5.6, 42.6, 99, kLong.substr(0, 15)), e(0, 0, 2, "s0"),
                                       e(180, 90, 3, "zzz"), e(-180, -90, 3, "000"), e(-180.5, 0, 5, ""),
                                       e(0, 90.5, 5, ""), e(kNaN, 0, 5, ""), e(0, -kNaN, 5, "")});
}

TEST(CharFuncGeohash, LongEncodeGivesNullOutOfRange) {
  using E = Row<Text<32>, double, double, int>;
  auto e = [](double lon, double lat, int p, const std::string& out, std::uint8_t state = 0) {
    return E{{lon, lat, p}, txt<32>(out), state};
  };
  expectTable<Text<32>>(2445, std::vector<E>{e(-5.6, 42.6, 5, "ezs42"), e(-5.6, 42.6, 0, kLong.substr(0, 20)),
                                             e(-5.6, 42.6, -1, kLong.substr(0, 20)), e(-5.6, 42.6, 40, kLong),
                                             e(-180.5, 0, 5, "", 1), e(0, 91, 5, "", 1), e(kNaN, 0, 5, "", 1),
                                             e(180, -90, 1, "p")});
}

TEST(CharFuncGeohash, DecodeToTheCellCentre) {
  using D = Row<double, Text<16>>;
  auto lat = [](const char* hash, double v) { return D{{txt<16>(hash)}, v}; };
  expectTable<double>(1606, std::vector<D>{lat("ezs42", 42.60498046875), lat("ezs42a1", 42.60498046875),
                                           lat("", 0.0), lat("a", 0.0), lat("0", -67.5),
                                           lat("u4pruydqqvj", 57.64911063015461),
                                           lat("zzzzzzzzzzzzzzzz", 89.99999999991815)});
  expectTable<double>(1607,
                      std::vector<D>{lat("ezs42", -5.60302734375), lat("ezs42A", -5.60302734375),
                                     lat("", 0.0), lat("0", -157.5), lat("u4pruydqqvj", 10.407439693808556),
                                     lat("zzzzzzzzzzzzzzzz", 179.9999999998363)});
}

} // namespace
