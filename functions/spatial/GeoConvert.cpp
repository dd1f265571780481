// Geometry family: the conversions between geometries and their text (WKT) and binary (WKB) forms,
// and the null-handling and selection forms of geometries (IS NULL, zero-if-null, the empty geometry
// from any value, IF).
//
// A null input of a conversion skips the reader or writer and leaves the result null. The casts
// report a text or byte string that does not read as a geometry in the row's state (13 for WKT, 14 for
// WKB) and go on with the next row; the WKT constructors end the call with the reader's own status on
// the first such text, the rows already written being freed by the output's entry.

#include <string>
#include <string_view>

#include <geos/geom/GeometryFactory.h>

#include "base/GeometryCodec.h"
#include "base/GeometryUtils.h"
#include "base/Logging.h"
#include "functions/scalar/CastZeroFromAny.h"
#include "functions/scalar/NullShapes.h"
#include "functions/scalar/ObjectSelect.h"
#include "functions/spatial/GeoTransformShapes.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace geoops;
using strops::StringResultOp;

constexpr const char* kSourcePath = "functions/spatial/GeoConvert";

// --- text and bytes to geometry -----------------------------------------------------------------

struct WktReader {
  static constexpr State kFailure = RPN_EVAL_BAD_WKT;
  static Status read(StringCell s, ManagedGeometryPtr& g) {
    return GeometryCodec::readWkt(s->data(), s->size(), g);
  }
};
struct WkbReader {
  static constexpr State kFailure = RPN_EVAL_BAD_WKB;
  static Status read(StringCell s, ManagedGeometryPtr& g) {
    return GeometryCodec::readWkb(reinterpret_cast<const unsigned char*>(s->data()), s->size(), g);
  }
};

// The casts: a null string gives a null geometry with state 0; a refused one a null geometry with the
// reader's failure state.
template <class Reader>
struct CastFromTextFunc {
  void operator()(EvalOutputGeometry out, StringCell s, State& state) const {
    state = RPN_EVAL_OK;
    if (s == nullptr)
      return out.writeNull();
    ManagedGeometryPtr g;
    if (!Reader::read(s, g).ok()) {
      state = Reader::kFailure;
      return out.writeNull();
    }
    out.write(g);
  }
};

// The WKT constructors: a refused text ends the call with the reader's status.
struct FromWktFunc {
  void operator()(EvalOutputGeometry out, StringCell s) const {
    if (s == nullptr)
      return out.writeNull();
    ManagedGeometryPtr g;
    Status status = WktReader::read(s, g);
    if (!status.ok())
      throw VelaException(VelaWhat::Evaluation, locationSuffix(kSourcePath, __LINE__), std::move(status));
    out.write(g);
  }
  void operator()(EvalOutputGeometry out, StringCell s, std::int32_t /*srid*/) const { (*this)(out, s); }
};

// --- geometry to text and bytes -----------------------------------------------------------------

struct WktWriter {
  static void write(const geos::geom::Geometry& g, std::string& text) { GeometryCodec::writeWkt(g, text); }
};
struct WkbWriter {
  static void write(const geos::geom::Geometry& g, std::string& bytes) { GeometryCodec::writeWkb(g, bytes); }
};

// A null geometry gives a null string. The form is built in a per-thread scratch string (reused, so
// a batch allocates scratch once) and copied into one string of its final length.
template <class Writer>
struct ToTextFunc {
  void operator()(EvalOutputString out, GeometryCell g) const {
    if (g == nullptr)
      return out.writeNull();
    thread_local std::string scratch;
    scratch.clear();
    Writer::write(*g, scratch);
    out.write(std::string_view(scratch));
  }
  void operator()(EvalOutputString out, GeometryCell g, std::int32_t /*unused*/) const { (*this)(out, g); }
};

// --- nulls and selection --------------------------------------------------------------------------

/// A new empty geometry collection (no Z, no M) of the shared factory.
std::unique_ptr<geos::geom::Geometry> newEmptyCollection() {
  return GeometryUtils::initGeometryFactory().createEmptyGeometry();
}

// Zero-if-null: a null row becomes a new empty geometry collection with state 0; every other row keeps
// its geometry (handed on) and its state, errors included.
struct RemoveNullableFunc {
  void operator()(EvalOutputGeometry out, GeometryCell g, State s, State& state) const {
    if (s == RPN_EVAL_NULL) {
      state = RPN_EVAL_OK;
      return out.write(newEmptyCollection());
    }
    state = s;
    out.writeInput(g);
  }
};

/// The empty collection every row of GEO_EMPTY_FROM_ANY shows: created once, its bounding box filled
/// so that threads only read it, never freed; pushed as a constant (borrowed in intermediate results,
/// copied into owned geometries in the final one).
GeometryCell sharedEmptyCollection() {
  static const geos::geom::Geometry* const empty = [] {
    const geos::geom::Geometry* g = newEmptyCollection().release();
    GeometryUtils::prepareForSharing(g);
    return g;
  }();
  return empty;
}

const OpRegistration kOps[] = {
    opEntry<null_ops::IsNullOp<GeometryCell>>(285),
    opEntry<GeometryResultOpWithState<RemoveNullableFunc, GeometryCell, State>>(319),
    opEntry<object_ops::SharedConstantFromAnyOp<GeometryCell, sharedEmptyCollection>>(638),
    opEntry<GeometryResultOpWithState<CastFromTextFunc<WktReader>, StringCell>>(780),
    opEntry<GeometryResultOpWithState<CastFromTextFunc<WkbReader>, StringCell>>(781),
    opEntry<StringResultOp<ToTextFunc<WktWriter>, GeometryCell>>(782),
    opEntry<StringResultOp<ToTextFunc<WkbWriter>, GeometryCell>>(783),
    opEntry<GeometryResultOp<object_ops::SelectInputFunc<EvalOutputGeometry, GeometryCell>, GeometryCell,
                             GeometryCell, Bool>>(1223),
    opEntry<StringResultOp<ToTextFunc<WkbWriter>, GeometryCell>>(2365),
    opEntry<StringResultOp<ToTextFunc<WktWriter>, GeometryCell, std::int32_t>>(2366),
    opEntry<GeometryResultOp<FromWktFunc, StringCell>>(2393),
    opEntry<GeometryResultOp<FromWktFunc, StringCell, std::int32_t>>(2394),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
