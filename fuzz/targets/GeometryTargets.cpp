// WKT and WKB: the readers either build a geometry or refuse with InvalidArgument, and never throw.
// An accepted geometry is written and read back: its text and bytes are fixed points of the writers
// (WKT -> geometry -> WKT -> geometry -> WKT gives the same text twice, likewise for WKB), the two forms
// describe the same geometry, and the depth stays within the readers' cap.
#include <cmath>
#include <exception>
#include <memory>
#include <string>

#include "base/GeometryCodec.h"
#include "fuzz/FuzzTarget.h"

namespace quarry::fuzz {

namespace {

using GeometryPtr = std::unique_ptr<geos::geom::Geometry>;

bool refusedProperly(const vela::Status& status, const GeometryPtr& out, std::string_view input) {
  if (status.ok()) {
    if (!out)
      fail("a reader accepts without a geometry", input);
    return false;
  }
  if (status.kind() != vela::StatusEnum::InvalidArgument || status.message().empty())
    fail("a reader refuses with another status: " + status.message(), input);
  if (out)
    fail("a refusing reader changed its output", input);
  return true;
}

GeometryPtr readWkt(const std::string& text, std::string_view input, const char* what) {
  GeometryPtr g;
  const vela::Status status = vela::GeometryCodec::readWkt(text.data(), text.size(), g);
  if (!status.ok())
    fail(std::string(what) + " is refused: " + status.message() + "\n" + text, input);
  return g;
}

GeometryPtr readWkb(const std::string& bytes, std::string_view input, const char* what) {
  GeometryPtr g;
  const vela::Status status =
      vela::GeometryCodec::readWkb(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), g);
  if (!status.ok())
    fail(std::string(what) + " is refused: " + status.message(), input);
  return g;
}

// The written forms of an accepted geometry, checked as fixed points.
void roundTrip(const geos::geom::Geometry& g, std::string_view input) {
  if (vela::GeometryCodec::depth(g) > vela::GeometryCodec::kMaxGeometryDepth)
    fail("an accepted geometry is deeper than the cap", input);
  const std::string wkt = vela::GeometryCodec::writeWkt(g);
  const std::string wkb = vela::GeometryCodec::writeWkb(g);

  const GeometryPtr fromWkb = readWkb(wkb, input, "the written WKB");
  const std::string wkb2 = vela::GeometryCodec::writeWkb(*fromWkb);
  const std::string wktOfWkb = vela::GeometryCodec::writeWkt(*fromWkb);
  if (vela::GeometryCodec::writeWkb(*readWkb(wkb2, input, "the rewritten WKB")) != wkb2)
    fail("WKB is not a fixed point of read and write", input);

  // Non-finite coordinates are written as NaN and Inf, which WKT text does not read back.
  if (wkt.find("NaN") != std::string::npos || wkt.find("Inf") != std::string::npos)
    return;
  const GeometryPtr fromWkt = readWkt(wkt, input, "the written WKT");
  const std::string wkt2 = vela::GeometryCodec::writeWkt(*fromWkt);
  if (wkt2 != wkt)
    fail("WKT is not a fixed point of read and write:\n" + wkt + "\n" + wkt2, input);
  // WKB has no ring type: a linear ring comes back as a line string.
  if (wktOfWkb != wkt && wkt.find("LINEARRING") == std::string::npos)
    fail("the WKB and WKT of one geometry read back differently:\n" + wktOfWkb + "\n" + wkt2, input);
}

} // namespace

int wkt(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  try {
    GeometryPtr g;
    const vela::Status status = vela::GeometryCodec::readWkt(input.data(), input.size(), g);
    if (!refusedProperly(status, g, input))
      roundTrip(*g, input);
  } catch (const std::exception& e) {
    fail(std::string("the WKT path let escape: ") + e.what(), input);
  }
  return 0;
}

int wkb(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  try {
    GeometryPtr g;
    const vela::Status status = vela::GeometryCodec::readWkb(bytes, size, g);
    if (!refusedProperly(status, g, input))
      roundTrip(*g, input);
  } catch (const std::exception& e) {
    fail(std::string("the WKB path let escape: ") + e.what(), input);
  }
  return 0;
}

} // namespace quarry::fuzz
