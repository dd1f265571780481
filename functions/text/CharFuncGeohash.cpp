// GEOHASH_ENCODE (char16, at most 15 characters, an out-of-range point gives the empty string),
// GEOHASH_ENCODE_LONG (char32, at most 32 characters, an out-of-range point gives NULL) and the two
// decoders.

#include "functions/text/CharFuncGeohash.h"

#include <cstdint>

#include "base/GeometryUtils.h"

#include "functions/text/CharFuncShared.h"

namespace vela::cuda {

using namespace charfunc;

namespace {

constexpr char kAlphabet[] = "0123456789bcdefghjkmnpqrstuvwxyz";

// The 5-bit value of a geohash character, or -1 for a byte outside the alphabet.
struct DecodeTable {
  signed char value[256];
  constexpr DecodeTable() : value{} {
    for (int c = 0; c < 256; ++c)
      value[c] = -1;
    for (int k = 0; k < 32; ++k)
      value[static_cast<unsigned char>(kAlphabet[k])] = static_cast<signed char>(k);
  }
};
constexpr DecodeTable kDecode;

} // namespace

bool geohash_in_range(double longitude, double latitude) {
  return longitude >= -180.0 && longitude <= 180.0 && latitude >= -90.0 && latitude <= 90.0;
}

void geohash_encode(char* out, int width, double longitude, double latitude, int chars) {
  char text[GeometryUtils::kMaxGeohashChars];
  // Callers pass in-range points and 1 to 32 characters; anything else leaves the cell empty.
  if (!GeometryUtils::geohashEncode(longitude, latitude, chars, text))
    chars = 0;
  packText(out, width, text, chars);
}

void geohash_decode(const char* cell16, double& longitude, double& latitude) {
  double lon[2] = {-180.0, 180.0}, lat[2] = {-90.0, 90.0};
  const auto* top = reinterpret_cast<const unsigned char*>(cell16) + 15;
  bool onLongitude = true;
  // The empty text, or one whose first character is outside the alphabet, leaves the whole intervals,
  // whose midpoints are 0.
  for (int i = 0; i < 16; ++i) {
    const int value = kDecode.value[top[-i]]; // NUL is outside the alphabet: the text ends there too
    if (value < 0)
      break;
    for (int b = 4; b >= 0; --b) {
      double* range = onLongitude ? lon : lat;
      range[(value >> b) & 1 ? 0 : 1] = (range[0] + range[1]) / 2;
      onLongitude = !onLongitude;
    }
  }
  longitude = (lon[0] + lon[1]) / 2;
  latitude = (lat[0] + lat[1]) / 2;
}

namespace {

struct GeohashEncodeFunc {
  Cell<16> operator()(double longitude, double latitude, std::int32_t precision) const {
    Cell<16> out = charn::empty<Cell<16>>();
    if (geohash_in_range(longitude, latitude))
      geohash_encode(rawOf(out), 16, longitude, latitude,
                     precision < 1    ? 1
                     : precision > 15 ? 15
                                      : precision);
    return out;
  }
};

struct GeohashEncodeLongFunc {
  Cell<32> operator()(double longitude, double latitude, std::int32_t precision,
                      rpn_eval_result_t& code) const {
    Cell<32> out = charn::empty<Cell<32>>();
    if (!geohash_in_range(longitude, latitude)) {
      code = RPN_EVAL_NULL;
      return out;
    }
    geohash_encode(rawOf(out), 32, longitude, latitude,
                   precision <= 0   ? 20
                   : precision > 32 ? 32
                                    : precision);
    return out;
  }
};

template <bool Latitude>
struct GeohashDecodeFunc {
  double operator()(const Cell<16>& hash) const {
    double longitude, latitude;
    geohash_decode(rawOf(hash), longitude, latitude);
    return Latitude ? latitude : longitude;
  }
};

bool registerGeohash() {
  return registerOps(
      OpFamily::Char,
      {opEntry<ElementwiseOp<GeohashEncodeFunc, Cell<16>, double, double, std::int32_t>>(1605),
       opEntry<ElementwiseOp<GeohashDecodeFunc<true>, double, Cell<16>>>(1606),
       opEntry<ElementwiseOp<GeohashDecodeFunc<false>, double, Cell<16>>>(1607),
       opEntry<ElementwiseOpWithState<GeohashEncodeLongFunc, Cell<32>, double, double, std::int32_t>>(2445)});
}

[[maybe_unused]] const bool kRegistered = registerGeohash();

} // namespace

} // namespace vela::cuda
