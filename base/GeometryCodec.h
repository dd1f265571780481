#pragma once
// Text (WKT) and binary (WKB) forms of geometries, read and written under nesting caps.
//
// Depth of a geometry: a point, curve or polygon is one level; a collection (multi-point, multi-curve,
// multi-polygon, geometry collection) is one level more than its deepest member (an empty collection
// is one level). Geometry libraries walk collections recursively when they read, clone, compare or
// free them, so every geometry the readers accept is at most kMaxGeometryDepth deep, checked before
// any recursive reader runs. The writers here walk collections with an explicit stack and take
// geometries of any depth; destroyGeometry (ManagedGeometryPtr.h) frees any depth.
//
// Coordinates: X and Y, or X, Y and Z. Measures (M) have no place in the geometry model, so text or
// bytes with M coordinates are refused rather than read with the measure dropped or taken for Z.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <geos/geom/Geometry.h>

#include "base/ManagedGeometryPtr.h"
#include "base/VelaException.h"

namespace vela {

class GeometryCodec {
public:
  /// Deepest geometry (levels, as above) that the readers accept; copies of deeper geometries are
  /// refused by the evaluator, which clones through the geometry library's recursive copy.
  static constexpr std::size_t kMaxGeometryDepth = 1000;
  /// Deepest parenthesis nesting of WKT text, checked by a scan before the text is parsed. The word
  /// EMPTY counts as one level where it stands for a body, so "POINT EMPTY" and "POINT (1 2)" both
  /// nest one level and "GEOMETRYCOLLECTION (POINT (1 2))" two.
  static constexpr std::size_t kMaxWktDepth = kMaxGeometryDepth;
  /// Deepest geometry nesting of WKB bytes, checked by a walk of the headers before they are decoded.
  static constexpr std::size_t kMaxWkbDepth = kMaxGeometryDepth;

  /// Reads one geometry from WKT text into `out` (an owned geometry of the shared factory). White space
  /// may surround the geometry; anything else after it is refused. Tags Z (and untagged triples) keep
  /// Z; a Z tag over coordinates of two numbers, coordinates of one or of four numbers, one list
  /// mixing two- and three-number coordinates, and the tags M and ZM are refused. Refusals return
  /// StatusEnum::InvalidArgument and leave `out` unchanged; the message names the reason, for instance "WKT
  /// text nests deeper than the limit of 1000 levels" or "WKT text has trailing text after the geometry".
  static Status readWkt(const char* text, std::size_t length, std::unique_ptr<geos::geom::Geometry>& out);
  /// As above, wrapped in `out` charged to out's pool (a pool refusal throws, after which `out` is
  /// unchanged).
  static Status readWkt(const char* text, std::size_t length, ManagedGeometryPtr& out);

  /// Reads one geometry from WKB bytes (either byte order per geometry, Z by the extended flag
  /// 0x80000000 or the ISO type codes 1001 to 1007, an optional SRID flag 0x20000000 with its 4 bytes).
  /// The bytes must hold exactly one geometry: short input, trailing bytes, unknown types, M
  /// coordinates and nesting deeper than kMaxWkbDepth are refused with StatusEnum::InvalidArgument.
  static Status readWkb(const unsigned char* bytes, std::size_t length,
                        std::unique_ptr<geos::geom::Geometry>& out);
  static Status readWkb(const unsigned char* bytes, std::size_t length, ManagedGeometryPtr& out);

  /// Appends the WKT text of `geometry`: upper-case type names, " Z" after the name of a geometry with
  /// Z coordinates, " EMPTY" for an empty one, coordinates as the shortest decimal text that reads back
  /// to the same double ("NaN", "Inf", "-Inf" for the non-finite ones), ", " between items. Members of
  /// multi-geometries are written without type names: "MULTIPOINT ((1 2), (3 4))".
  static void writeWkt(const geos::geom::Geometry& geometry, std::string& out);
  static std::string writeWkt(const geos::geom::Geometry& geometry);

  /// Appends the little-endian WKB bytes of `geometry`, Z marked by the extended flag 0x80000000 on
  /// every geometry that has Z; an empty point has NaN coordinates; a linear ring is written as a line
  /// string (the form has no ring type). No SRID.
  static void writeWkb(const geos::geom::Geometry& geometry, std::string& out);
  static std::string writeWkb(const geos::geom::Geometry& geometry);

  /// The depth of `geometry` (levels, as above), computed without recursion. The walk stops as soon as
  /// it finds a level deeper than `stopAbove` and returns that level.
  static std::size_t depth(const geos::geom::Geometry& geometry, std::size_t stopAbove = SIZE_MAX);
};

} // namespace vela
