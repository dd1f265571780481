#pragma once
// Geometry services of the base library: predicates, measurements, accessors, constructors,
// transformations, hashes and geohash cells, over GEOS geometries.
//
// Conventions shared by every function here:
// - A null geometry pointer is a NULL value and is always accepted: predicates answer false, counts 0,
//   measures and constructors that take a `bool& isNull` set it, the others return nullptr (or NaN for
//   a measure without a flag).
// - Geometries are read, never modified. Every geometry returned is new, owned by the caller and built
//   by the shared factory (sharedGeometryFactory()); nullptr means NULL.
// - `bool& isNull` is only ever set to true: a caller clears it before the call.
// - Coordinates are X and Y (and Z where a geometry has it). In the geodesic metrics X is the
//   longitude and Y the latitude, in degrees; a latitude outside [-90, 90] measures as NaN.
// - Positions and indexes named "n" are 1-based (the first member, ring or point is 1); those named
//   "position" are 0-based, and a negative position counts from the end (-1 is the last point).
// - A failure inside the geometry library (for example a topology it cannot resolve) and a refused
//   argument (an unknown metric, a malformed style string) throw VelaException (what code Evaluation)
//   whose message names the function and the cause; no exception type of the geometry library leaves
//   this interface. Pool refusals pass through unchanged.
// - Every function may run concurrently on the same const geometries once they have been prepared by
//   prepareForSharing: the geometry library computes bounding boxes lazily and caches them inside the
//   geometry on first use, which is a write.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <geos/geom/Geometry.h>
#include <geos/geom/GeometryFactory.h>

#include "base/H3Core.h"
#include "base/ManagedBuffer.h"
#include "base/MurmurHash3.h"

namespace vela {

class EvaluatorCache;

/// How distances, lengths and areas are measured (the trailing `int metric` argument).
///   0 planar:   Cartesian, in the coordinates' own unit (areas in that unit squared).
///   1 sphere:   geodesics on a sphere of radius kEarthMeanRadiusMeters, in meters and square meters.
///   2 spheroid: geodesics on the WGS84 ellipsoid, in meters and square meters.
/// Any other value is refused with a VelaException.
enum class GeoMetric : int { Planar = 0, Sphere = 1, Spheroid = 2 };

class GeometryUtils {
public:
  using GeometryPtr = std::unique_ptr<geos::geom::Geometry>;
  using Geometry = geos::geom::Geometry;

  /// Mean radius of the Earth (IUGG, 2R1 + R2 over 3 for WGS84), the radius of the sphere metric.
  static constexpr double kEarthMeanRadiusMeters = 6371008.8;
  /// Longest geohash text produced or read. Each character adds 5 bits; past about 22 characters a
  /// cell is narrower than the spacing of doubles near its coordinates and stops shrinking.
  static constexpr int kMaxGeohashChars = 32;
  /// Largest number of cells a grid function builds; a larger limit argument is refused.
  static constexpr std::int64_t kMaxGridCells = 1'000'000;
  /// Largest number of segments segmentize produces; a finer division is refused (isNull).
  static constexpr std::int64_t kMaxDensifiedVertices = 10'000'000;
  /// Largest point count generatePoints accepts.
  static constexpr int kMaxGeneratedPoints = 1'000'000;

  /// The process-wide factory of every geometry built here (created once, thread-safe).
  static const geos::geom::GeometryFactory& initGeometryFactory();
  /// Fills the cached bounding box of g and of every geometry inside it (members, rings), without
  /// recursion, so that readers on several threads no longer write to it. Null is ignored.
  static void prepareForSharing(const Geometry* g);

  // ---- Predicates (false when either geometry is null) -------------------------------------------
  /// Point-set equality (the same points, whatever the vertex order or repeated vertices).
  static bool equals(const Geometry* a, const Geometry* b);
  /// Same structure and vertex order, every coordinate within 10^-decimals of its partner (decimals
  /// is clamped to [-300, 300]).
  static bool almostEquals(const Geometry* a, const Geometry* b, int decimals);
  /// Same structure and vertex order, every coordinate within `tolerance` (Euclidean).
  static bool equalsExact(const Geometry* a, const Geometry* b, double tolerance);
  static bool contains(const Geometry* a, const Geometry* b);
  static bool containsProperly(const Geometry* a, const Geometry* b);
  static bool coveredBy(const Geometry* a, const Geometry* b);
  static bool covers(const Geometry* a, const Geometry* b);
  static bool crosses(const Geometry* a, const Geometry* b);
  static bool disjoint(const Geometry* a, const Geometry* b);
  static bool intersects(const Geometry* a, const Geometry* b);
  static bool overlaps(const Geometry* a, const Geometry* b);
  static bool touches(const Geometry* a, const Geometry* b);
  static bool within(const Geometry* a, const Geometry* b);
  /// Every point of a is within `distance` of every point of b (maxDistance <= distance).
  static bool dFullyWithin(const Geometry* a, const Geometry* b, double distance, int metric);
  /// Some point of a is within `distance` of some point of b (distance <= distance).
  static bool dWithin(const Geometry* a, const Geometry* b, double distance, int metric);
  /// The bounding boxes of a and b are within `distance` of each other in the metric.
  static bool envDWithin(const Geometry* a, const Geometry* b, double distance, int metric);
  /// The bounding boxes share at least one point (false for an empty geometry).
  static bool envelopeIntersects(const Geometry* a, const Geometry* b);

  /// Lines: both ends meet (false when empty); a multi-line: every member closed; points and
  /// polygons: true when not empty; a collection: every member closed. Null: false.
  static bool isClosed(const Geometry* g);
  /// Multi-points, multi-lines, multi-polygons and geometry collections.
  static bool isCollection(const Geometry* g);
  static bool isEmpty(const Geometry* g);
  /// A line string that is closed and simple; everything else is false.
  static bool isRing(const Geometry* g);
  static bool isSimple(const Geometry* g);
  static bool isValid(const Geometry* g);

  // ---- Point fast paths: (x, y) is never turned into a geometry ----------------------------------
  // Each answers what the predicate of the same name answers for the point (x, y); NaN coordinates
  // are outside every geometry.
  static bool containsXY(const Geometry* g, double x, double y);
  static bool containsProperlyXY(const Geometry* g, double x, double y);
  static bool coversXY(const Geometry* g, double x, double y);
  static bool xyCoveredBy(double x, double y, const Geometry* g);
  static bool xyDisjoint(double x, double y, const Geometry* g);
  static bool xyIntersects(double x, double y, const Geometry* g);
  static bool xyTouches(double x, double y, const Geometry* g);
  static bool xyWithin(double x, double y, const Geometry* g);
  static bool xyEnvelopeIntersects(double x, double y, const Geometry* g);
  static bool xyDWithin(double x, double y, const Geometry* g, double distance, int metric);
  static bool xyEnvDWithin(double x, double y, const Geometry* g, double distance, int metric);
  /// Distance between two points, at most `distance` (note: the metric comes before the distance).
  static bool distancePointsWithin(double x1, double y1, double x2, double y2, int metric, double distance);
  /// The same, the envelope of a point being the point itself.
  static bool xyxyEnvDWithin(double x1, double y1, double x2, double y2, double distance, int metric);

  // ---- Measurements --------------------------------------------------------------------------------
  /// Area of the polygonal parts: per polygon the shell's area less its holes' areas, so a polygon whose
  /// holes outgrow its shell (an invalid one) measures negative. 0 for geometries without area, NaN
  /// for null.
  static double area(const Geometry* g, int metric);
  /// Length of the linear parts (line strings, rings given as lines); polygons contribute 0.
  static double length(const Geometry* g, int metric);
  /// Length of the rings of the polygonal parts; lines contribute 0.
  static double perimeter(const Geometry* g, int metric);
  /// Shortest distance between the two geometries (0 when they intersect). In the geodesic metrics
  /// the edges are geodesics and intersection is judged on coordinates as plane values; the work grows
  /// with the product of the two vertex counts. isNull: a null or empty geometry.
  static double distance(const Geometry* a, const Geometry* b, bool& isNull, int metric);
  /// Largest distance between a vertex of a and a vertex of b: in the plane the largest distance between
  /// any two points of the geometries; on the sphere and spheroid an edge's inner points are not
  /// considered. isNull: null or empty.
  static double maxDistance(const Geometry* a, const Geometry* b, bool& isNull, int metric);
  /// Distance from the point (x, y) to g; 0 on g or inside its polygons. isNull: null or empty g, or a
  /// NaN coordinate.
  static double xyDistance(double x, double y, const Geometry* g, bool& isNull, int metric);
  /// Distance between two points. isNull: a NaN coordinate or, geodesic, a latitude outside [-90, 90].
  static double distancePoints(double x1, double y1, double x2, double y2, bool& isNull, int metric);
  /// The same in single precision: computed in double, rounded once to float.
  static float distancePointsf(float x1, float y1, float x2, float y2, bool& isNull, int metric);
  /// Direction from point a to point b in radians clockwise from north (+Y), in [0, 2 pi); geodesic:
  /// the forward azimuth at a. isNull: not two non-empty points, or the points coincide.
  static double azimuth(const Geometry* a, const Geometry* b, bool& isNull, int metric);
  /// Fraction [0, 1] of the line's length at which the point nearest to `point` lies (planar). isNull:
  /// not a non-empty line string and a non-empty point.
  static double lineLocatePoint(const Geometry* line, const Geometry* point, bool& isNull);

  /// Bounding-box sides; isNull for null or empty. The Z ones scan the Z ordinates (NaN ones skipped)
  /// and set isNull when the geometry has no Z.
  static double minX(const Geometry* g, bool& isNull);
  static double minY(const Geometry* g, bool& isNull);
  static double maxX(const Geometry* g, bool& isNull);
  static double maxY(const Geometry* g, bool& isNull);
  static double minZ(const Geometry* g, bool& isNull);
  static double maxZ(const Geometry* g, bool& isNull);
  /// Coordinates of a point; isNull for anything but a non-empty point.
  static double getX(const Geometry* g, bool& isNull);
  static double getY(const Geometry* g, bool& isNull);

  // ---- Counts and codes (0 for null) ---------------------------------------------------------------
  /// Ordinates per coordinate: 2 (XY) or 3 (XYZ).
  static int coordDim(const Geometry* g);
  /// The same as coordDim (geometries here carry no measures).
  static int nDims(const Geometry* g);
  /// Topological dimension: 0 points, 1 lines, 2 polygons; a collection the highest of its members; -1
  /// for an empty geometry.
  static int dimension(const Geometry* g);
  /// 0 point, 1 line string, 2 linear ring, 3 polygon, 4 multi-point, 5 multi-line, 6 multi-polygon,
  /// 7 geometry collection; -1 for null.
  static int geometryTypeId(const Geometry* g);
  /// Vertices of the whole geometry (a ring's closing vertex counts).
  static int nPoints(const Geometry* g);
  /// Rings (shells and holes) of the polygonal parts.
  static int nRings(const Geometry* g);
  /// Members of a collection; 1 for a non-empty single geometry, 0 for an empty one.
  static int numGeometries(const Geometry* g);
  /// Holes of a polygon; isNull for anything else.
  static int numInteriorRings(const Geometry* g, bool& isNull);
  /// Vertices of a line string; isNull for anything else.
  static int numPoints(const Geometry* g, bool& isNull);
  /// 0 for XY, 2 for XYZ (1 and 3 would mark measures, which geometries here never carry).
  static int zmFlag(const Geometry* g);

  // ---- Text, hashes --------------------------------------------------------------------------------
  /// "POINT", "LINESTRING", "LINEARRING", "POLYGON", "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON",
  /// "GEOMETRYCOLLECTION"; empty for null.
  static std::string geometryType(const Geometry* g);
  /// "ST_Point", "ST_LineString", "ST_LinearRing", "ST_Polygon", "ST_MultiPoint", "ST_MultiLineString",
  /// "ST_MultiPolygon", "ST_GeometryCollection"; empty for null.
  static std::string st_geometryType(const Geometry* g);
  /// "Valid Geometry", or the first problem found and where: "Self-intersection[1 1]"; empty for null.
  static std::string isValidReason(const Geometry* g);

  /// 64-bit hash: the first half of MurmurHash3_x64_128 (both states seeded with the 32-bit seed, as
  /// the published function does) of the bytes GeometryCodec::writeWkb writes for g (little-endian, Z
  /// by the extended flag). Equal geometries in the same vertex order hash equal. Null: 0.
  static std::int64_t hash(const Geometry* g, int seed);
  /// 128-bit hash of the same bytes: the two 64-bit states start from the seed's bytes 0-7 and 8-15
  /// read little-endian (a null seed is all zeros). Null geometry: both halves 0.
  static Hash128 hash128(const Geometry* g, const unsigned char* seed16);
  /// SHA-256 of the same bytes as 64 lower-case hexadecimal characters written to out[0, 64); a null
  /// geometry writes 64 zero bytes.
  static void geo_sha256(const Geometry* g, char* out);

  // ---- Geohash -------------------------------------------------------------------------------------
  // Bits alternate longitude (first) and latitude, each halving its interval ([-180, 180], [-90, 90]);
  // a bit is 1 when the coordinate is at or above the midpoint; five bits make one character of
  // "0123456789bcdefghjkmnpqrstuvwxyz".

  /// Writes `chars` (1 to kMaxGeohashChars) characters for an in-range point to text[0, chars).
  /// Returns false, writing nothing, when a coordinate is outside its interval or NaN, or chars is out
  /// of range.
  static bool geohashEncode(double longitude, double latitude, int chars, char* text);
  /// The cell of a geohash text (all of it, 1 to kMaxGeohashChars characters, lower case):
  /// [minLon, minLat, maxLon, maxLat]. False for an empty, too long or malformed text.
  static bool geohashDecode(std::string_view text, double box[4]);
  /// The geohash of a point geometry, `precision` characters (1 to kMaxGeohashChars), into `out`
  /// (replaced). isNull: not a non-empty point, a point out of range, or a precision out of range.
  static void encodeGeohashFromGeometry(const Geometry* g, std::string& out, bool& isNull, int precision);
  /// The cell of the first `precision` characters of `text` as a polygon (a precision of 0 or less, or
  /// longer than the text, takes all of it); nullptr when the text is not a geohash.
  static GeometryPtr createGeometryFromGeohash(std::string_view text, int precision);
  /// The centre point of the same cell; nullptr when the text is not a geohash.
  static GeometryPtr createPointFromGeohash(std::string_view text, int precision);

  // ---- Constructors --------------------------------------------------------------------------------
  /// The rectangle spanned by the two corners (either order); a degenerate one is a line or point.
  static GeometryPtr createEnvelope(double xmin, double ymin, double xmax, double ymax);
  /// An ellipse of 100 vertices centred on (x, y) with the given full width (along X) and height.
  static GeometryPtr createEllipse(double x, double y, double width, double height);
  /// A triangle polygon through the three vertices (closed automatically).
  static GeometryPtr createTriangle2D(double x1, double y1, double x2, double y2, double x3, double y3);
  static GeometryPtr createTriangle3D(double x1, double y1, double z1, double x2, double y2, double z2,
                                      double x3, double y3, double z3);
  /// A line through the points of a multi-point. isNull: not a multi-point, or fewer than 2 points.
  static GeometryPtr createLineStringFromMultiPoint(const Geometry* g, bool& isNull);
  /// A line through the vertices of all point members of g, in order (a multi-point, a collection of
  /// points, or a line string's own vertices). isNull: fewer than 2 vertices, or a non-point member.
  static GeometryPtr createLineString(const Geometry* g, bool& isNull);
  /// A line through the vertices of a then of b (points or lines). isNull: either null, other types,
  /// or fewer than 2 vertices together.
  static GeometryPtr createLineString(const Geometry* a, const Geometry* b, bool& isNull);
  /// A polygon whose shell is the closed line string g (4 or more vertices). isNull otherwise.
  static GeometryPtr createPolygon(const Geometry* g, bool& isNull);

  // ---- Accessors returning geometries ---------------------------------------------------------------
  /// Boundary (ends of lines, rings of polygons). isNull: null or a geometry collection.
  static GeometryPtr boundary(const Geometry* g, bool& isNull);
  /// The line from the bounding box's lower-left corner to its upper-right one (from upper-left to
  /// lower-right when `fromUpperLeft`); an empty line for an empty geometry.
  static GeometryPtr boundingDiagonal(const Geometry* g, bool fromUpperLeft);
  static GeometryPtr centroid(const Geometry* g);
  static GeometryPtr startPoint(const Geometry* g, bool& isNull);
  static GeometryPtr endPoint(const Geometry* g, bool& isNull);
  /// The bounding box as a polygon (a point or a line when degenerate); isNull for null or empty. The
  /// box bounds the coordinates whatever the metric (which is still checked).
  static GeometryPtr envelope(const Geometry* g, bool& isNull, int metric);
  /// The bounding box grown by `amount` on every side (shrunk when negative, down to a point).
  static GeometryPtr expand(const Geometry* g, float amount);
  /// The bounding box with width and height multiplied by (1 + rate) around its centre.
  static GeometryPtr expandByRate(const Geometry* g, double rate);
  /// The shell of a polygon as a line string; isNull for anything else.
  static GeometryPtr exteriorRing(const Geometry* g, bool& isNull);
  /// Hole n (1-based) of a polygon as a line string; isNull when out of range or not a polygon.
  static GeometryPtr interiorRingN(const Geometry* g, int n, bool& isNull);
  /// Member n (1-based) of a collection; a single geometry is its own member 1. isNull otherwise.
  static GeometryPtr geometryN(const Geometry* g, int n, bool& isNull);
  /// Vertex n of a line string (1-based; negative counts from the end, -1 the last). isNull otherwise.
  static GeometryPtr pointN(const Geometry* g, int n, bool& isNull);
  /// Every vertex as a multi-point.
  static GeometryPtr points(const Geometry* g);

  // ---- Transformations ------------------------------------------------------------------------------
  /// Buffer by `distance` (in the metric's unit). Style: space-separated key=value words:
  /// quad_segs=N (1 to 1000, default 8), endcap=round|flat|butt|square, join=round|mitre|miter|bevel,
  /// mitre_limit=X (also miter_limit), side=both|left|right. An unknown word is refused. The geodesic
  /// metrics buffer in an azimuthal equidistant projection centred on the bounding box. isNull: null, a
  /// distance that is not finite, a coordinate that is not finite, or (geodesic) a latitude outside
  /// [-90, 90].
  static GeometryPtr buffer(const Geometry* g, double distance, bool& isNull, std::string_view style,
                            int metric);
  /// Buffers every member of a collection on its own and unions the results; isNull as buffer.
  static GeometryPtr bufferbycomponent(const Geometry* g, double distance, bool& isNull,
                                       std::string_view style, int metric);
  /// Rings between successive distances (sorted ascending): the first ring is buffer(d1) minus g when
  /// `outsideOnly`, else buffer(d1); ring i is buffer(di) minus buffer(di-1). A geometry collection;
  /// nullptr for null g, or a distance or coordinate that is not finite.
  static GeometryPtr multipleRingBuffers(const Geometry* g, const std::vector<double>& distances,
                                         bool outsideOnly);
  static GeometryPtr convexHull(const Geometry* g);
  /// Concave hull whose longest edge is at most `ratio` (0 to 1) of the way from the shortest to the
  /// longest edge of the Delaunay triangulation of the vertices; holes allowed when `allowHoles`.
  static GeometryPtr concaveHull(const Geometry* g, double ratio, bool allowHoles);
  /// Douglas-Peucker simplification (may make polygons invalid or empty).
  static GeometryPtr simplify(const Geometry* g, double tolerance);
  /// Simplification that keeps the topology (no new crossings, rings stay rings). nullptr (NULL) for a
  /// geometry whose coordinates are not finite or whose extent, doubled, leaves the double range: the
  /// library's simplifier never returns on those.
  static GeometryPtr simplifyPreserveTopology(const Geometry* g, double tolerance);
  /// Set operations. The metric of `intersection` is checked but edges are straight in coordinates.
  /// A null operand, or a coordinate that is not finite (NaN or infinite), gives nullptr: the overlay
  /// engine cannot take such coordinates. The same holds for geosUnion(Collection), update, clip and
  /// partition.
  static GeometryPtr intersection(const Geometry* a, const Geometry* b, int metric);
  static GeometryPtr difference(const Geometry* a, const Geometry* b);
  /// The same point set as difference (a with the parts covered by b removed).
  static GeometryPtr erase(const Geometry* a, const Geometry* b);
  static GeometryPtr symmetricDifference(const Geometry* a, const Geometry* b);
  /// Union. A null operand gives the other operand's copy unless `nullIsNull`, when it gives nullptr.
  static GeometryPtr geosUnion(const Geometry* a, const Geometry* b, bool nullIsNull);
  /// Union of all members of a collection.
  static GeometryPtr geosUnionCollection(const Geometry* g);
  /// a with b's area replaced by b: (a - b) union b.
  static GeometryPtr update(const Geometry* a, const Geometry* b);
  /// a clipped to b's bounding box.
  static GeometryPtr clip(const Geometry* a, const Geometry* b);
  /// a and b as one collection: a multi-geometry when both are points, lines or polygons alike (multi
  /// members are taken apart), else a geometry collection of the two. A null operand gives the other.
  static GeometryPtr collect(const Geometry* a, const Geometry* b);
  /// The members of dimension type-1 (type 1 points, 2 lines, 3 polygons) as a multi-geometry.
  /// isNull: another type.
  static GeometryPtr collectionExtract(const Geometry* g, int type, bool& isNull);
  /// The simplest form of a collection: its only member, a multi-geometry when the members are alike,
  /// else the collection itself. isNull: null.
  static GeometryPtr collectionHomogenize(const Geometry* g, bool& isNull);
  /// Points become multi-points, lines multi-lines, polygons multi-polygons; collections are copied.
  static GeometryPtr multi(const Geometry* g);
  /// Valid geometry covering the same points. parameters: "" or "method=linework" (keep all linework)
  /// or "method=structure" (rebuild areas by their shell and hole structure), optionally
  /// "keepcollapsed=true|false" (structure only). isNull: null. Unknown words are refused.
  static GeometryPtr makeValid(const Geometry* g, std::string_view parameters, bool& isNull);
  /// Same structure, rings oriented and members ordered canonically. nullptr (NULL) for a geometry with
  /// a coordinate that is not finite (the library's normaliser cannot order NaN vertices).
  static GeometryPtr normalize(const Geometry* g);
  /// The vertices in reverse order.
  static GeometryPtr reverse(const Geometry* g);
  static GeometryPtr lineMerge(const Geometry* g, bool& isNull);
  /// The point at `fraction` (0 to 1) of a line string's length; isNull otherwise.
  static GeometryPtr lineInterpolatePoint(const Geometry* g, double fraction, bool& isNull);
  /// The part of a line string between two fractions of its length (0 <= start <= end <= 1).
  static GeometryPtr lineSubstring(const Geometry* g, double start, double end, bool& isNull);
  /// The nearest-point ops (closestPoint, near, shortestLine) set isNull also when no nearest pair
  /// exists (coordinates so large that every distance overflows).
  /// The point of a nearest to b (in the metric), isNull for null or empty.
  static GeometryPtr closestPoint(const Geometry* a, const Geometry* b, bool& isNull, int metric);
  /// The point of b nearest to a (planar). isNull for null or empty.
  static GeometryPtr near(const Geometry* a, const Geometry* b, bool& isNull);
  /// The shortest line from a to b (planar).
  static GeometryPtr shortestLine(const Geometry* a, const Geometry* b, bool& isNull);
  /// The line between the two vertices, one of a and one of b, farthest apart in the metric.
  static GeometryPtr longestLine(const Geometry* a, const Geometry* b, bool& isNull, int metric);
  /// Line string with `point` inserted before vertex `position` (0-based; -1 appends). isNull: bad
  /// position, an empty line, or other types.
  static GeometryPtr addPoint(const Geometry* line, const Geometry* point, bool& isNull, int position);
  /// Line string without vertex `position` (0-based, negative from the end); 3 or more vertices.
  static GeometryPtr removePoint(const Geometry* line, int position, bool& isNull);
  /// Line string with vertex `position` replaced by `point`.
  static GeometryPtr setPoint(const Geometry* line, int position, const Geometry* point, bool& isNull);
  /// Consecutive vertices within `tolerance` of the last one kept are dropped (rings keep 4).
  static GeometryPtr removeRepeatedPoints(const Geometry* g, float tolerance);
  /// Counter-clockwise rotation by `angle` radians around (x, y).
  static GeometryPtr rotate(const Geometry* g, float angle, float x, float y);
  /// The same around a point geometry; isNull when origin is not a non-empty point.
  static GeometryPtr rotate(const Geometry* g, float angle, const Geometry* origin, bool& isNull);
  static GeometryPtr scale(const Geometry* g, float sx, float sy);
  /// Scale by the X, Y (and Z, when both have it) of a point; isNull when not a non-empty point.
  static GeometryPtr scale(const Geometry* g, const Geometry* factors, bool& isNull);
  static GeometryPtr translate(const Geometry* g, float dx, float dy);
  /// Longitudes below 0 gain 360, those above 180 lose 360.
  static GeometryPtr shiftLongitude(const Geometry* g);
  /// Members (parts, for a single geometry: the whole) entirely on one side of the line X = wrap are
  /// moved by `move`: those left of it when move > 0, those right of it when move < 0. Members crossing
  /// the line are cut there first and each side judged on its own.
  static GeometryPtr wrapX(const Geometry* g, double wrap, double move);
  static GeometryPtr force2d(const Geometry* g, bool& isNull);
  /// Adds Z = z where a geometry has none (existing Z kept).
  static GeometryPtr force3d(const Geometry* g, double z, bool& isNull);
  /// Adds vertices so that no segment is longer than `length` (in the metric; geodesic metrics follow
  /// the geodesic). isNull: length not positive or not finite.
  static GeometryPtr segmentize(const Geometry* g, double length, bool& isNull, int metric);
  /// The point reached from a point by `distance` meters along azimuth `azimuth` radians (clockwise
  /// from north) on the WGS84 spheroid. isNull: not a non-empty point.
  static GeometryPtr projectPoint(const Geometry* g, float distance, float azimuth, bool& isNull);
  /// Snaps a's vertices and segments to b's vertices within `tolerance`.
  static GeometryPtr snap(const Geometry* a, const Geometry* b, float tolerance);
  /// The paths shared by two lineal geometries: a collection of the forward shared paths (multi-line)
  /// and the backward ones. isNull: null, or non-lineal input.
  static GeometryPtr sharedPaths(const Geometry* a, const Geometry* b, bool& isNull);
  /// Voronoi cells of g's vertices (sites closer than `tolerance` merge) as a geometry collection of
  /// polygons, clipped to a frame around the sites, or to the bounding box of `extent` when given and
  /// not empty. isNull: null or empty g.
  static GeometryPtr voronoiPolygons(const Geometry* g, bool& isNull, double tolerance,
                                     const Geometry* extent);
  /// Delaunay triangulation of g's vertices: triangles as a collection of polygons, or the edges as a
  /// multi-line when `onlyEdges`.
  static GeometryPtr delaunayTriangles(const Geometry* g, double tolerance, bool onlyEdges);
  /// `count` points (1 to kMaxGeneratedPoints) spread uniformly over the area of a polygonal geometry,
  /// as a multi-point. The random sequence is seeded by the geometry's hash, so the same geometry
  /// gives the same points. isNull: count out of range, or no polygonal part with area.
  static GeometryPtr generatePoints(const Geometry* g, int count, bool& isNull);
  /// a cut by the blade b: a line (or multi-line) by lines, polygons' rings or points on it, into a
  /// multi-line of its pieces; a polygon (or multi-polygon) by lines, into a collection of polygons.
  /// isNull: null, or other combinations.
  static GeometryPtr split(const Geometry* a, const Geometry* b, bool& isNull);
  /// g cut into `parts` (1 to kMaxGridCells) vertical strips of equal width over its bounding box: a
  /// geometry collection of the non-empty pieces, west to east. Strips are closed, so parts lying on a
  /// strip edge (points, vertical lines) appear in both strips; a g of zero width is one strip. nullptr
  /// for null g or parts out of range; an empty g gives an empty collection.
  static GeometryPtr partition(const Geometry* g, int parts);
  /// The point (x, y) if it lies on g, else an empty point.
  static GeometryPtr xyIntersection(double x, double y, const Geometry* g);

  // ---- Grids over a box ([xmin, xmax] x [ymin, ymax], cells aligned on the box's lower-left corner) --
  // isNull: a non-finite or non-positive size, an empty box, or more cells than `limit` (at most
  // kMaxGridCells).
  /// Rectangles of width x height.
  static GeometryPtr rectangleGrid(double xmin, double ymin, double xmax, double ymax, double width,
                                   double height, std::int64_t limit, bool& isNull);
  /// Flat-topped regular hexagons of side `size`: columns 1.5 x size apart starting with a centre on
  /// (xmin, ymin), rows sqrt(3) x size apart, odd columns half a row higher; every hexagon whose
  /// bounding box meets the box is kept.
  static GeometryPtr hexGrid(double xmin, double ymin, double xmax, double ymax, double size,
                             std::int64_t limit, bool& isNull);
  /// Squares of side `size`, each cut by its diagonal from lower-left to upper-right into two right
  /// triangles (lower-right one first); a cell counts as two against the limit.
  static GeometryPtr triangleGrid(double xmin, double ymin, double xmax, double ymax, double size,
                                  std::int64_t limit, bool& isNull);
  /// Points at the lower-left corners of the cells of side `size`.
  static GeometryPtr pointGrid(double xmin, double ymin, double xmax, double ymax, double size,
                               std::int64_t limit, bool& isNull);
  // ---- H3 cells (the grid of base/H3Core.h) ---------------------------------------------------------
  // The per-row cheap ones (validity, resolution, parent) are inline so that a loop over cells pays no
  // call per row.
  // Cells are 64-bit H3 indexes; coordinates are X = longitude and Y = latitude in degrees. Functions
  // returning a cell return 0 (never a valid cell) for an invalid cell or argument; those returning a
  // count or position return -1. A resolution is 0..15; a child resolution is the cell's own up to 15.
  /// A pool-charged list of cells.
  using H3CellList = ManagedBuffer<std::uint64_t, 8>;
  /// The cell's boundary as a polygon (one extra vertex where a Class III edge crosses an icosahedron
  /// edge). isNull: invalid cell.
  static GeometryPtr createGeometryFromH3(std::uint64_t cell, bool& isNull);
  /// The cell's centre as a point. isNull: invalid cell.
  static GeometryPtr createGeometryXYFromH3(std::uint64_t cell, bool& isNull);
  /// The cell containing the point of a point geometry. isNull: null, empty or non-point geometry,
  /// non-finite coordinates, resolution out of range.
  static std::uint64_t createH3FromGeometry(const Geometry* g, int resolution, bool& isNull);
  static std::uint64_t createH3FromXY(double x, double y, int resolution);
  static std::uint64_t h3CellToCenterChild(std::uint64_t cell, int resolution);
  /// The child at 0-based position n among the children in ascending order.
  static std::uint64_t h3CellToChildN(std::uint64_t cell, int resolution, std::int64_t n);
  static std::int64_t h3CellToChildPos(std::uint64_t cell, int resolution);
  /// Children in ascending order. isNull: invalid cell or resolution; a list over kMaxH3ListCells
  /// throws VelaException (ResourceExhausted) before anything is allocated.
  static H3CellList h3CellToChildren(std::uint64_t cell, int resolution, bool& isNull);
  static std::int64_t h3CellToChildrenSize(std::uint64_t cell, int resolution);
  static std::uint64_t h3CellToFirstChild(std::uint64_t cell, int resolution);
  static std::uint64_t h3CellToLastChild(std::uint64_t cell, int resolution);
  static std::uint64_t h3CellToParent(std::uint64_t cell, int resolution) {
    std::uint64_t h = 0;
    return h3::isValidCell(cell) && h3::cellToParent(cell, resolution, h) == h3::H3Error::Success ? h : 0;
  }
  static std::uint64_t h3ChildPosToCell(std::int64_t position, std::uint64_t parent, int resolution);
  /// The resolution of a valid cell, else -1.
  static int getH3Resolution(std::uint64_t cell) {
    return h3::isValidCell(cell) ? h3::getResolution(cell) : -1;
  }
  /// Cells within k steps: the origin, then ring by ring (breadth first where a pentagon is met).
  /// isNull: invalid cell, k < 0; a disk over kMaxH3ListCells cells throws (ResourceExhausted) first.
  static H3CellList h3GridDisk(std::uint64_t cell, int k, bool& isNull);
  /// Element n (0-based) of h3GridDisk's list. isNull also for n out of range. Disks are memoised in
  /// `cache` (may be null) per (cell, k), up to kMaxH3CacheEntries entries.
  static std::uint64_t h3GridDiskN(std::uint64_t cell, int k, int n, bool& isNull, EvaluatorCache* cache);
  /// Cells exactly k steps away (k = 0: the cell itself).
  static H3CellList h3GridRing(std::uint64_t cell, int k, bool& isNull);
  /// The size of h3GridDisk's list (fewer than 3k(k+1)+1 near pentagons), or -1 for an invalid cell
  /// or k < 0; throws as h3GridDisk for a disk over kMaxH3ListCells cells.
  static std::int64_t h3NumGridDisk(std::uint64_t cell, int k, EvaluatorCache* cache);
  /// 15 hex digits (lower case) left-aligned in 16 bytes, NUL-padded.
  static void convertH3ToChar16(std::uint64_t cell, char* out);
  static std::string convertH3ToString(std::uint64_t cell);
  /// Hexadecimal text (1 to 16 digits, either case, trailing NULs or blanks ignored); 0 otherwise.
  static std::uint64_t convertStringToH3(std::string_view text);
  static bool isH3Valid(std::uint64_t cell) { return h3::isValidCell(cell); }
  /// Cells whose centres lie inside a polygon or multi-polygon (outside its holes), ascending. isNull:
  /// null or non-polygonal geometry, resolution out of range, a ring around a pole. More than
  /// kMaxH3ListCells estimated cells throw (ResourceExhausted) before anything is allocated.
  static H3CellList h3PolygonToCells(const Geometry* g, int resolution, bool& isNull);
  /// Element n (0-based) of h3PolygonToCells' list; memoised in `cache` as h3GridDiskN.
  static std::uint64_t h3PolygonToCellsN(const Geometry* g, int resolution, int n, bool& isNull,
                                         EvaluatorCache* cache);
  /// The size of h3PolygonToCells' list, or -1 where it would be NULL; throws as it would.
  static std::int64_t h3NumPolygonToCells(const Geometry* g, int resolution, EvaluatorCache* cache);
  /// Largest cell list built (800 MB of cells).
  static constexpr std::int64_t kMaxH3ListCells = 100'000'000;
  /// Memoised lists per call cache.
  static constexpr std::size_t kMaxH3CacheEntries = 256;
};

} // namespace vela
