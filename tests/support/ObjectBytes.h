#pragma once
// The contents of an object result cell as bytes, for comparing or printing what an evaluator produced.
// Strings and vectors are their bytes; JSON and geometries take the form the caller needs.

#include <cstdint>
#include <string>
#include <vector>

#include "base/GeometryCodec.h"
#include "base/JsonValueUtils.h"
#include "base/ParserUtils.h"
#include "cuda/ManagedObjects.h"

namespace quarry::test {

enum class JsonBytes {
  Cbor,         // string bytes kept as they are: equality that no text form can hide
  Text,         // the canonical text; throws on a string that is not UTF-8
  ReplacedText, // the canonical text, invalid UTF-8 replaced: never throws
};
enum class GeometryBytes { Wkt, Wkb };

inline std::string objectBytes(vela::ParserUtils::RpnDataType type, const void* object, JsonBytes json,
                               GeometryBytes geometry) {
  using vela::cuda::InlineBuffer;
  using vela::cuda::JsonValue;
  using vela::ParserUtils::RpnDataType;
  switch (type) {
  case RpnDataType::String:
  case RpnDataType::String2:
    return std::string(static_cast<const InlineBuffer<char>*>(object)->view());
  case RpnDataType::Vector: {
    const auto* v = static_cast<const InlineBuffer<float>*>(object);
    return std::string(reinterpret_cast<const char*>(v->data()), v->size() * sizeof(float));
  }
  case RpnDataType::Json:
  case RpnDataType::Array: {
    const auto& value = *static_cast<const JsonValue*>(object);
    if (json == JsonBytes::Text)
      return value.dump();
    if (json == JsonBytes::ReplacedText)
      return vela::JsonValueUtils::writeJson(value, true);
    const std::vector<std::uint8_t> cbor = JsonValue::to_cbor(value);
    return std::string(cbor.begin(), cbor.end());
  }
  case RpnDataType::Geometry: {
    const auto& g = *static_cast<const geos::geom::Geometry*>(object);
    // The library's own writers: exact, any depth, safe for every double.
    return geometry == GeometryBytes::Wkt ? vela::GeometryCodec::writeWkt(g)
                                          : vela::GeometryCodec::writeWkb(g);
  }
  default:
    return {};
  }
}

} // namespace quarry::test
