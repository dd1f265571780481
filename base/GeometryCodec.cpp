#include "base/GeometryCodec.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include <geos/geom/CoordinateArraySequence.h>
#include <geos/geom/CoordinateSequence.h>
#include <geos/geom/GeometryCollection.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/LineString.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/Point.h>
#include <geos/geom/Polygon.h>
#include <geos/io/WKBReader.h>
#include <geos/io/WKTReader.h>

namespace vela {

static_assert(std::endian::native == std::endian::little, "WKB is written in the host's byte order");

namespace {

using geos::geom::Geometry;
using geos::geom::GeometryCollection;

Status refuse(std::string message) {
  return Status(StatusEnum::InvalidArgument, std::move(message));
}

std::string depthMessage(const char* form, std::size_t limit) {
  return std::string(form) + " nests deeper than the limit of " + std::to_string(limit) + " levels";
}

// ---------------------------------------------------------------------------------------------------
// WKT scan: one pass over the text that checks what the parser does not (or checks only after it has
// recursed): parenthesis depth, where the geometry ends, measures, and that each coordinate list uses
// one coordinate width of two or three numbers. Everything else is left to the parser.

bool isWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == '+' || c == '-';
}

bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool sameWord(std::string_view word, std::string_view upper) {
  return word.size() == upper.size() &&
         std::equal(word.begin(), word.end(), upper.begin(), [](char a, char b) {
           return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
         });
}

Status scanWkt(std::string_view text) {
  std::size_t level = 0;
  bool complete = false;
  std::size_t numbers = 0; // numbers of the coordinate being read
  std::size_t width = 0;   // numbers per coordinate of the current list (0: none yet)
  bool taggedZ = false;    // the geometry being read was tagged Z (until the next type name)
  const auto endCoordinate = [&]() -> Status {
    if (numbers == 0)
      return {};
    if (taggedZ && numbers != 3)
      return refuse("WKT text is tagged Z but has a coordinate of " + std::to_string(numbers) + " numbers");
    if (numbers > 3)
      return refuse("WKT text has a coordinate of more than three numbers (M coordinates are not supported)");
    if (numbers < 2)
      return refuse("WKT text has a coordinate of fewer than two numbers");
    if (width != 0 && width != numbers)
      return refuse("WKT text mixes coordinates of two and three numbers in one list");
    width = numbers;
    numbers = 0;
    return {};
  };
  const auto deeper = [&](std::size_t depth) -> Status {
    if (depth > GeometryCodec::kMaxWktDepth)
      return refuse(depthMessage("WKT text", GeometryCodec::kMaxWktDepth));
    return {};
  };
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (isSpace(c)) {
      ++i;
      continue;
    }
    if (complete)
      return refuse("WKT text has trailing text after the geometry");
    if (c == '(') {
      if (Status s = deeper(++level); !s.ok())
        return s;
      numbers = 0;
      width = 0;
      ++i;
    } else if (c == ')' || c == ',') {
      if (level == 0)
        return refuse(std::string("WKT text has '") + c + "' outside the geometry");
      if (Status s = endCoordinate(); !s.ok())
        return s;
      if (c == ')')
        complete = --level == 0;
      ++i;
    } else if (isWordChar(c)) {
      std::size_t j = i;
      while (j < text.size() && isWordChar(text[j]))
        ++j;
      const std::string_view word = text.substr(i, j - i);
      i = j;
      if (!isLetter(c) || sameWord(word, "NAN") || sameWord(word, "INF") || sameWord(word, "INFINITY")) {
        ++numbers;
      } else if (sameWord(word, "EMPTY")) {
        if (Status s = deeper(level + 1); !s.ok())
          return s;
        complete = level == 0;
      } else if (sameWord(word, "M") || sameWord(word, "ZM")) {
        return refuse("WKT text has M coordinates, which are not supported");
      } else {
        // Z, or a type name (the parser judges those): a member of a collection has its own tag.
        taggedZ = sameWord(word, "Z");
      }
    } else {
      return refuse(std::string("WKT text has the unexpected character '") + c + "'");
    }
  }
  if (!complete)
    return refuse("WKT text ends before the geometry is complete");
  return {};
}

// ---------------------------------------------------------------------------------------------------
// WKB walk: follows the headers with an explicit stack of open collections, checking that every part
// is present, that nothing follows the geometry, and the nesting depth.

class WkbCursor {
public:
  WkbCursor(const unsigned char* bytes, std::size_t length) : m_bytes(bytes), m_length(length) {}
  std::size_t left() const { return m_length - m_pos; }
  bool skip(std::uint64_t n) {
    if (n > left())
      return false;
    m_pos += static_cast<std::size_t>(n);
    return true;
  }
  bool byte(unsigned char& v) {
    if (left() < 1)
      return false;
    v = m_bytes[m_pos++];
    return true;
  }
  bool u32(bool bigEndian, std::uint32_t& v) {
    if (left() < 4)
      return false;
    const unsigned char* p = m_bytes + m_pos;
    v = bigEndian ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3])
                  : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
    m_pos += 4;
    return true;
  }

private:
  const unsigned char* m_bytes;
  std::size_t m_length;
  std::size_t m_pos = 0;
};

Status scanWkb(const unsigned char* bytes, std::size_t length) {
  constexpr std::uint32_t kZFlag = 0x80000000u, kMFlag = 0x40000000u, kSridFlag = 0x20000000u;
  const auto truncated = [] { return refuse("WKB bytes end before the geometry is complete"); };
  WkbCursor in(bytes, length);
  std::vector<std::uint32_t> open; // members still to come of each open collection
  for (;;) {
    if (open.size() + 1 > GeometryCodec::kMaxWkbDepth)
      return refuse(depthMessage("WKB bytes", GeometryCodec::kMaxWkbDepth));
    unsigned char order;
    std::uint32_t type;
    if (!in.byte(order))
      return truncated();
    if (order > 1)
      return refuse("WKB bytes have an unknown byte order mark " + std::to_string(order));
    const bool big = order == 0;
    if (!in.u32(big, type))
      return truncated();
    const std::uint32_t code = type & 0x0FFFFFFFu;
    const std::uint32_t kind = code % 1000, iso = code / 1000;
    if ((type & 0x10000000u) != 0 || kind < 1 || kind > 7 || iso > 3)
      return refuse("WKB bytes have an unsupported geometry type " + std::to_string(type));
    if ((type & kMFlag) != 0 || iso == 2 || iso == 3)
      return refuse("WKB bytes have M coordinates, which are not supported");
    const std::uint64_t coordinateBytes = 8u * (((type & kZFlag) != 0 || iso == 1) ? 3u : 2u);
    if ((type & kSridFlag) != 0 && !in.skip(4))
      return truncated();
    std::uint32_t count = 0;
    if (kind == 1) {
      if (!in.skip(coordinateBytes))
        return truncated();
    } else if (kind == 2) {
      if (!in.u32(big, count) || !in.skip(count * coordinateBytes))
        return truncated();
    } else if (kind == 3) {
      if (!in.u32(big, count))
        return truncated();
      for (std::uint32_t ring = 0; ring < count; ++ring) {
        std::uint32_t points;
        if (!in.u32(big, points) || !in.skip(points * coordinateBytes))
          return truncated();
      }
    } else {
      if (!in.u32(big, count))
        return truncated();
      if (count != 0) {
        open.push_back(count);
        continue;
      }
    }
    // A geometry is complete: close every collection it completes.
    while (!open.empty() && --open.back() == 0)
      open.pop_back();
    if (open.empty())
      break;
  }
  if (in.left() != 0)
    return refuse("WKB bytes have " + std::to_string(in.left()) + " trailing bytes after the geometry");
  return {};
}

// ---------------------------------------------------------------------------------------------------
// Writers. Collections are walked with a stack of (collection, next member); points, curves and
// polygons are written in one go.

struct OpenCollection {
  const GeometryCollection* collection;
  std::size_t next;
};

bool hasZ(const Geometry& g) {
  return g.getCoordinateDimension() >= 3;
}

// Whether each collection under `root` (itself included) holds Z coordinates. A collection's own
// getCoordinateDimension() walks its whole subtree, which would make writing nested collections
// quadratic; this one post-order pass answers for all of them.
class CollectionZ {
public:
  explicit CollectionZ(const Geometry& root) {
    if (dynamic_cast<const GeometryCollection*>(&root) == nullptr)
      return;
    std::vector<std::pair<const GeometryCollection*, bool>> pending{
        {static_cast<const GeometryCollection*>(&root), false}};
    while (!pending.empty()) {
      auto [collection, membersDone] = pending.back();
      pending.pop_back();
      if (membersDone) {
        bool z = false;
        for (std::size_t i = 0; i < collection->getNumGeometries() && !z; ++i)
          z = (*this)(*collection->getGeometryN(i));
        m_z[collection] = z;
        continue;
      }
      pending.emplace_back(collection, true);
      for (std::size_t i = 0; i < collection->getNumGeometries(); ++i)
        if (const auto* member = dynamic_cast<const GeometryCollection*>(collection->getGeometryN(i)))
          pending.emplace_back(member, false);
    }
  }
  bool operator()(const Geometry& g) const {
    const auto found = m_z.find(&g);
    return found != m_z.end() ? found->second : hasZ(g);
  }

private:
  std::unordered_map<const Geometry*, bool> m_z;
};

// The members of a multi-geometry are written without names, so its tag covers them all: a Z tag is
// written only when every non-empty member has Z, since the reader refuses a Z tag over a coordinate of
// two numbers. Untagged coordinates of three numbers keep Z, so a multi-geometry whose members differ
// reads back as it was written.
bool everyMemberHasZ(const GeometryCollection& multi) {
  for (std::size_t i = 0; i < multi.getNumGeometries(); ++i) {
    const Geometry& member = *multi.getGeometryN(i);
    if (!member.isEmpty() && !hasZ(member))
      return false;
  }
  return true;
}

void appendNumber(double v, std::string& out) {
  if (std::isnan(v)) {
    out += "NaN";
  } else if (std::isinf(v)) {
    out += v < 0 ? "-Inf" : "Inf";
  } else {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
  }
}

void appendCoordinate(const geos::geom::Coordinate& c, bool z, std::string& out) {
  appendNumber(c.x, out);
  out += ' ';
  appendNumber(c.y, out);
  if (z) {
    out += ' ';
    appendNumber(c.z, out);
  }
}

// An empty list (an empty hole of a polygon) is written EMPTY, which reads back; "()" does not.
void appendCoordinateList(const geos::geom::CoordinateSequence& sequence, bool z, std::string& out) {
  if (sequence.isEmpty()) {
    out += "EMPTY";
    return;
  }
  out += '(';
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    if (i != 0)
      out += ", ";
    appendCoordinate(sequence.getAt(i), z, out);
  }
  out += ')';
}

const char* wktName(const Geometry& g) {
  switch (g.getGeometryTypeId()) {
  case geos::geom::GEOS_POINT:
    return "POINT";
  case geos::geom::GEOS_LINESTRING:
    return "LINESTRING";
  case geos::geom::GEOS_LINEARRING:
    return "LINEARRING";
  case geos::geom::GEOS_POLYGON:
    return "POLYGON";
  case geos::geom::GEOS_MULTIPOINT:
    return "MULTIPOINT";
  case geos::geom::GEOS_MULTILINESTRING:
    return "MULTILINESTRING";
  case geos::geom::GEOS_MULTIPOLYGON:
    return "MULTIPOLYGON";
  default:
    return "GEOMETRYCOLLECTION";
  }
}

// The body of a point, curve or polygon: "EMPTY" or its parenthesised coordinates.
void appendWktBody(const Geometry& g, std::string& out) {
  const bool z = hasZ(g);
  if (g.isEmpty()) {
    out += "EMPTY";
  } else if (const auto* polygon = dynamic_cast<const geos::geom::Polygon*>(&g)) {
    out += '(';
    appendCoordinateList(*polygon->getExteriorRing()->getCoordinatesRO(), z, out);
    for (std::size_t i = 0; i < polygon->getNumInteriorRing(); ++i) {
      out += ", ";
      appendCoordinateList(*polygon->getInteriorRingN(i)->getCoordinatesRO(), z, out);
    }
    out += ')';
  } else if (const auto* point = dynamic_cast<const geos::geom::Point*>(&g)) {
    out += '(';
    appendCoordinate(*point->getCoordinate(), z, out);
    out += ')';
  } else {
    appendCoordinateList(*static_cast<const geos::geom::LineString&>(g).getCoordinatesRO(), z, out);
  }
}

// Writes `root` through begin(g), which writes one geometry and returns it when it is a collection
// whose members are to follow; members follow with `separator` between them and `close` after them.
template <class Begin>
void walkCollections(const Geometry& root, Begin&& begin, std::string& out, const char* separator,
                     const char* close) {
  std::vector<OpenCollection> open;
  if (const auto* c = begin(root))
    open.push_back({c, 0});
  while (!open.empty()) {
    OpenCollection& top = open.back();
    if (top.next == top.collection->getNumGeometries()) {
      out += close;
      open.pop_back();
      continue;
    }
    if (top.next != 0)
      out += separator;
    const Geometry& member = *top.collection->getGeometryN(top.next++);
    if (const auto* c = begin(member)) // may grow `open`: `top` is not used after this
      open.push_back({c, 0});
  }
}

void putU32(std::uint32_t v, std::string& out) {
  char b[4];
  std::memcpy(b, &v, 4);
  out.append(b, 4);
}

void putDouble(double v, std::string& out) {
  char b[8];
  std::memcpy(b, &v, 8);
  out.append(b, 8);
}

void putWkbCoordinates(const geos::geom::CoordinateSequence& sequence, bool z, std::string& out) {
  putU32(static_cast<std::uint32_t>(sequence.size()), out);
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    const geos::geom::Coordinate& c = sequence.getAt(i);
    putDouble(c.x, out);
    putDouble(c.y, out);
    if (z)
      putDouble(c.z, out);
  }
}

std::uint32_t wkbKind(const Geometry& g) {
  switch (g.getGeometryTypeId()) {
  case geos::geom::GEOS_POINT:
    return 1;
  case geos::geom::GEOS_LINESTRING:
  case geos::geom::GEOS_LINEARRING:
    return 2;
  case geos::geom::GEOS_POLYGON:
    return 3;
  case geos::geom::GEOS_MULTIPOINT:
    return 4;
  case geos::geom::GEOS_MULTILINESTRING:
    return 5;
  case geos::geom::GEOS_MULTIPOLYGON:
    return 6;
  default:
    return 7;
  }
}

template <class Reader>
Status decode(Reader&& read, const char* form, std::unique_ptr<Geometry>& out) {
  std::unique_ptr<Geometry> g;
  try {
    g = read();
  } catch (const std::exception& e) {
    return refuse(std::string(form) + " is not valid: " + e.what());
  }
  if (!g)
    return refuse(std::string(form) + " holds no geometry");
  // The text scan bounds parentheses; a multi-point written without inner parentheses is one level
  // deeper than its text.
  if (GeometryCodec::depth(*g, GeometryCodec::kMaxGeometryDepth) > GeometryCodec::kMaxGeometryDepth) {
    destroyGeometry(g.release());
    return refuse(depthMessage(form, GeometryCodec::kMaxGeometryDepth));
  }
  destroyGeometry(out.release());
  out = std::move(g);
  return {};
}

// ---------------------------------------------------------------------------------------------------
// Direct decoding of the common single-part rows. The general readers go through a tokenizer (WKT) or
// one virtual call per ordinate (WKB); these build the geometry from one coordinate vector per
// sequence with the shared factory's own constructors, which check ring size and closure as the
// general readers' calls do (and throw the same exceptions). They return null for anything else,
// which the general reader then takes. Both run only on input their scan has accepted.

// WKB line strings and polygons in either byte order, without SRID (the general reader keeps the
// SRID on the geometry). Every count is within the input and nothing trails: scanWkb checked.
std::uint32_t bswap(std::uint32_t v) {
  return __builtin_bswap32(v);
}
std::uint64_t bswap(std::uint64_t v) {
  return __builtin_bswap64(v);
}

std::unique_ptr<Geometry> decodeSinglePartWkb(const unsigned char* bytes) {
  const bool big = bytes[0] == 0;
  std::size_t at = 1;
  const auto u32 = [&] {
    std::uint32_t v;
    std::memcpy(&v, bytes + at, 4);
    at += 4;
    return big ? bswap(v) : v;
  };
  const auto f64 = [&] {
    std::uint64_t v;
    std::memcpy(&v, bytes + at, 8);
    at += 8;
    return std::bit_cast<double>(big ? bswap(v) : v);
  };
  const std::uint32_t type = u32();
  const std::uint32_t code = type & 0x0FFFFFFFu, kind = code % 1000;
  if ((type & 0x20000000u) != 0 || (kind != 2 && kind != 3))
    return nullptr;
  const std::size_t dimension = (type & 0x80000000u) != 0 || code / 1000 == 1 ? 3 : 2;
  const auto sequence = [&] {
    const std::uint32_t n = u32();
    std::vector<geos::geom::Coordinate> coordinates(n);
    for (auto& c : coordinates) {
      c.x = f64();
      c.y = f64();
      if (dimension == 3)
        c.z = f64();
    }
    return std::make_unique<geos::geom::CoordinateArraySequence>(std::move(coordinates), dimension);
  };
  const geos::geom::GeometryFactory& factory = sharedGeometryFactory();
  if (kind == 2)
    return factory.createLineString(sequence());
  const std::uint32_t rings = u32();
  if (rings == 0)
    return nullptr; // the empty polygon: the general reader's form
  std::unique_ptr<geos::geom::LinearRing> shell = factory.createLinearRing(sequence());
  std::vector<std::unique_ptr<geos::geom::LinearRing>> holes;
  holes.reserve(rings - 1);
  for (std::uint32_t i = 1; i < rings; ++i)
    holes.push_back(factory.createLinearRing(sequence()));
  return factory.createPolygon(std::move(shell), std::move(holes));
}

// One number of the plain decimal form [+-]digits[.digits][(e|E)[+-]digits] (digits on at least one
// side of the point); false for anything else (NaN, Inf, hexadecimal), which the general reader
// takes. Within this form the C library conversion the general reader uses and from_chars both round
// correctly, so they give the same double.
bool plainNumber(std::string_view& text, double& out) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
      ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    ++i;
  const bool plus = !text.empty() && text[0] == '+'; // from_chars takes no leading '+'
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0)
    return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
      ++i;
    if (digits() == 0)
      return false;
  }
  if (i < text.size() && !isSpace(text[i]) && text[i] != ')')
    return false;
  const char* first = text.data() + (plus ? 1 : 0);
  const auto result = std::from_chars(first, text.data() + i, out);
  if (result.ec != std::errc() || result.ptr != text.data() + i)
    return false; // out of range: the general reader decides
  text.remove_prefix(i);
  return true;
}

// "POINT (x y)", "POINT (x y z)" and "POINT Z (x y z)", any case, white space between tokens as the
// scan allows, numbers in the plain form above.
std::unique_ptr<Geometry> decodePointWkt(std::string_view text) {
  const auto skipSpace = [&] {
    while (!text.empty() && isSpace(text.front()))
      text.remove_prefix(1);
  };
  const auto word = [&](std::string_view upper) {
    skipSpace();
    std::size_t n = 0;
    while (n < text.size() && isWordChar(text[n]))
      ++n;
    if (!sameWord(text.substr(0, n), upper))
      return false;
    text.remove_prefix(n);
    return true;
  };
  const auto punct = [&](char c) {
    skipSpace();
    if (text.empty() || text.front() != c)
      return false;
    text.remove_prefix(1);
    return true;
  };
  if (!word("POINT"))
    return nullptr;
  const bool taggedZ = word("Z");
  if (!punct('('))
    return nullptr;
  double v[3];
  std::size_t n = 0;
  for (; n < 3; ++n) {
    skipSpace();
    if (text.empty() || text.front() == ')')
      break;
    if (!plainNumber(text, v[n]))
      return nullptr;
  }
  if (!punct(')') || n < 2 || (taggedZ && n != 3))
    return nullptr;
  skipSpace();
  if (!text.empty())
    return nullptr;
  const geos::geom::GeometryFactory& factory = sharedGeometryFactory();
  return std::unique_ptr<Geometry>(n == 3 ? factory.createPoint(geos::geom::Coordinate(v[0], v[1], v[2]))
                                          : factory.createPoint(geos::geom::Coordinate(v[0], v[1])));
}

Status wrap(Status status, std::unique_ptr<Geometry>& read, ManagedGeometryPtr& out) {
  if (status.ok())
    out = ManagedGeometryPtr(std::move(read), out.pool());
  return status;
}

} // namespace

Status GeometryCodec::readWkt(const char* text, std::size_t length, std::unique_ptr<Geometry>& out) {
  const std::string_view view(text, length);
  if (Status s = scanWkt(view); !s.ok())
    return s;
  return decode(
      [&]() -> std::unique_ptr<Geometry> {
        if (auto point = decodePointWkt(view))
          return point;
        // The reader takes a std::string: copy into a per-thread buffer that keeps its capacity, so a
        // batch of texts allocates once.
        thread_local std::string scratch;
        scratch.assign(view);
        const geos::io::WKTReader reader(sharedGeometryFactory());
        return reader.read(scratch);
      },
      "WKT text", out);
}

Status GeometryCodec::readWkt(const char* text, std::size_t length, ManagedGeometryPtr& out) {
  std::unique_ptr<Geometry> read;
  return wrap(readWkt(text, length, read), read, out);
}

Status GeometryCodec::readWkb(const unsigned char* bytes, std::size_t length,
                              std::unique_ptr<Geometry>& out) {
  if (Status s = scanWkb(bytes, length); !s.ok())
    return s;
  return decode(
      [&]() -> std::unique_ptr<Geometry> {
        if (auto single = decodeSinglePartWkb(bytes))
          return single;
        geos::io::WKBReader reader(sharedGeometryFactory());
        return reader.read(bytes, length);
      },
      "WKB bytes", out);
}

Status GeometryCodec::readWkb(const unsigned char* bytes, std::size_t length, ManagedGeometryPtr& out) {
  std::unique_ptr<Geometry> read;
  return wrap(readWkb(bytes, length, read), read, out);
}

void GeometryCodec::writeWkt(const Geometry& geometry, std::string& out) {
  // Writes a geometry's name, tag and body; returns the collection whose members are to follow, if
  // any. untaggedStack holds, per open collection, whether its members go without names (the members
  // of multi-geometries).
  std::vector<bool> untaggedStack;
  const CollectionZ z(geometry);
  const auto begin = [&](const Geometry& g) -> const GeometryCollection* {
    const bool named = untaggedStack.empty() || !untaggedStack.back();
    const auto* collection = dynamic_cast<const GeometryCollection*>(&g);
    if (named) {
      out += wktName(g);
      if (z(g) && (collection == nullptr || g.getGeometryTypeId() == geos::geom::GEOS_GEOMETRYCOLLECTION ||
                   everyMemberHasZ(*collection)))
        out += " Z";
      out += ' ';
    }
    if (collection == nullptr) {
      appendWktBody(g, out);
      return nullptr;
    }
    if (collection->getNumGeometries() == 0) {
      out += "EMPTY";
      return nullptr;
    }
    out += '(';
    untaggedStack.push_back(g.getGeometryTypeId() != geos::geom::GEOS_GEOMETRYCOLLECTION);
    return collection;
  };
  std::vector<OpenCollection> open;
  if (const auto* c = begin(geometry))
    open.push_back({c, 0});
  while (!open.empty()) {
    OpenCollection& top = open.back();
    if (top.next == top.collection->getNumGeometries()) {
      out += ')';
      open.pop_back();
      untaggedStack.pop_back();
      continue;
    }
    if (top.next != 0)
      out += ", ";
    const Geometry& member = *top.collection->getGeometryN(top.next++);
    if (const auto* c = begin(member)) // may grow `open`: `top` is not used after this
      open.push_back({c, 0});
  }
}

std::string GeometryCodec::writeWkt(const Geometry& geometry) {
  std::string out;
  writeWkt(geometry, out);
  return out;
}

void GeometryCodec::writeWkb(const Geometry& geometry, std::string& out) {
  const CollectionZ collectionZ(geometry);
  const auto begin = [&](const Geometry& g) -> const GeometryCollection* {
    const bool z = collectionZ(g);
    out += '\x01';
    putU32(wkbKind(g) | (z ? 0x80000000u : 0u), out);
    if (const auto* collection = dynamic_cast<const GeometryCollection*>(&g)) {
      putU32(static_cast<std::uint32_t>(collection->getNumGeometries()), out);
      return collection;
    }
    if (const auto* point = dynamic_cast<const geos::geom::Point*>(&g)) {
      const double nan = std::nan("");
      const geos::geom::Coordinate* c = point->isEmpty() ? nullptr : point->getCoordinate();
      putDouble(c != nullptr ? c->x : nan, out);
      putDouble(c != nullptr ? c->y : nan, out);
      if (z)
        putDouble(c != nullptr ? c->z : nan, out);
    } else if (const auto* polygon = dynamic_cast<const geos::geom::Polygon*>(&g)) {
      if (polygon->isEmpty()) {
        putU32(0, out);
        return nullptr;
      }
      putU32(static_cast<std::uint32_t>(1 + polygon->getNumInteriorRing()), out);
      putWkbCoordinates(*polygon->getExteriorRing()->getCoordinatesRO(), z, out);
      for (std::size_t i = 0; i < polygon->getNumInteriorRing(); ++i)
        putWkbCoordinates(*polygon->getInteriorRingN(i)->getCoordinatesRO(), z, out);
    } else {
      putWkbCoordinates(*static_cast<const geos::geom::LineString&>(g).getCoordinatesRO(), z, out);
    }
    return nullptr;
  };
  walkCollections(geometry, begin, out, "", "");
}

std::string GeometryCodec::writeWkb(const Geometry& geometry) {
  std::string out;
  writeWkb(geometry, out);
  return out;
}

std::size_t GeometryCodec::depth(const Geometry& geometry, std::size_t stopAbove) {
  if (asCollection(geometry) == nullptr)
    return 1; // points, curves and polygons: no walk, no allocation
  std::size_t deepest = 0;
  std::vector<std::pair<const Geometry*, std::size_t>> pending{{&geometry, 1}};
  while (!pending.empty()) {
    const auto [g, level] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, level);
    if (deepest > stopAbove)
      return deepest;
    if (const auto* collection = asCollection(*g))
      for (std::size_t i = 0; i < collection->getNumGeometries(); ++i)
        pending.emplace_back(collection->getGeometryN(i), level + 1);
  }
  return deepest;
}

} // namespace vela
