// Geometry family: H3 cell functions (codes 2457-2482), each a call of one GeometryUtils H3 function.
//
// Cells are unsigned 64-bit indexes. Functions without a status return 0 for an invalid cell or
// argument (counts and positions -1), as GeometryUtils documents; the ops store that value. Ops with a
// status set it to 1 where the base function raises its NULL flag.
//
// Lists (2461, 2470, 2472, 2478, 2480) become JSON arrays: the pool is charged for the array before it
// is built, cells are appended in the list's order (as unsigned integers, or as text for 2480), and
// the cell list itself is returned to its pool when the row is done. A NULL list leaves the slot null
// with status 1.
//
// 2471, 2476, 2477 and 2479 hand the call's EvaluatorCache to the base function, which memoises the
// lists they index or count, so a constant argument is computed once per call.

#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/CallContext.h"
#include "base/GeometryUtils.h"
#include "functions/spatial/GeoTransformShapes.h"
#include "functions/spatial/GeometryShapes.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using geo::Bool;
using geo::GeometryCell;
using geo::State;
using Cell = std::uint64_t;
using Char16 = cell_of_width_t<16>;
using CellList = GeometryUtils::H3CellList;

template <class... In>
inline constexpr bool hasGeometry = (std::is_same_v<In, GeometryCell> || ...);

template <class E, class... In>
void primeIfGeometry(E& e) {
  if constexpr (hasGeometry<In...>)
    geo::prepareConstantGeometries(e);
}

/// ElementwiseOp / ElementwiseOpWithState for functors built with the call's cache: F{cache}.
template <class F, class Out, class... In>
struct CachedOp {
  template <class E>
  static void eval(E& e) {
    primeIfGeometry<E, In...>(e);
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<Out>();
    const F f{e.params().cache};
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    e.push(std::move(out));
  }
};
template <class F, class Out, class... In>
struct CachedOpWithState {
  template <class E>
  static void eval(E& e) {
    primeIfGeometry<E, In...>(e);
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<Out>();
    const F f{e.params().cache};
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

/// Pops In..., runs F `void(EvalOutputJson, In..., State&)` over the rows, pushes states then arrays.
template <class F, class... In>
struct JsonListOp {
  template <class E>
  static void eval(E& e) {
    primeIfGeometry<E, In...>(e);
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<EvalOutputJson>();
    const F f{};
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

/// A reservation held while a JSON array is built, so that an oversized array is refused by the pool
/// before its memory is touched; the array's own charge replaces it once stored.
class BuildReservation {
public:
  explicit BuildReservation(std::size_t bytes) : m_pool(RamPool::getDefault()), m_bytes(bytes) {
    m_pool->reserveRaw(m_bytes);
  }
  ~BuildReservation() { m_pool->unreserveRaw(m_bytes); }
  BuildReservation(const BuildReservation&) = delete;
  BuildReservation& operator=(const BuildReservation&) = delete;

private:
  RamPool* m_pool;
  std::size_t m_bytes;
};

// Stores a list as a JSON array of unsigned integers, or of cell texts when AsText.
template <bool AsText>
void writeList(EvalOutputJson out, const CellList& list, bool isNull, State& state) {
  if (isNull) {
    state = RPN_EVAL_NULL;
    return out.writeNull();
  }
  const BuildReservation hold(list.size() * (sizeof(JsonValue) + (AsText ? 16 : 0)));
  JsonValue array = JsonValue::array();
  auto& items = array.get_ref<JsonValue::array_t&>();
  items.reserve(list.size());
  for (const Cell c : list) {
    if constexpr (AsText)
      items.emplace_back(GeometryUtils::convertH3ToString(c));
    else
      items.emplace_back(c);
  }
  out.write(ManagedJsonValue(std::move(array)));
}

// ---- scalar functors ------------------------------------------------------------------------------

template <Cell (*Fn)(Cell, int)>
struct CellIntToCell {
  Cell operator()(Cell c, std::int32_t r) const { return Fn(c, r); }
};
template <std::int64_t (*Fn)(Cell, int)>
struct CellIntToLong {
  long operator()(Cell c, std::int32_t r) const { return Fn(c, r); }
};

struct ChildNFunc {
  Cell operator()(Cell c, std::int32_t r, long n) const { return GeometryUtils::h3CellToChildN(c, r, n); }
};
struct ChildPosToCellFunc {
  Cell operator()(long pos, Cell parent, std::int32_t r) const {
    return GeometryUtils::h3ChildPosToCell(pos, parent, r);
  }
};
struct GeometryToCellFunc {
  Cell operator()(GeometryCell g, std::int32_t r, State& state) const {
    bool isNull = false;
    const Cell c = GeometryUtils::createH3FromGeometry(g, r, isNull);
    if (isNull)
      state = RPN_EVAL_NULL;
    return c;
  }
};
struct ResolutionFunc {
  std::int32_t operator()(Cell c) const { return GeometryUtils::getH3Resolution(c); }
};
struct IsValidFunc {
  Bool operator()(Cell c) const { return GeometryUtils::isH3Valid(c) ? 1 : 0; }
};
struct ToStringFunc {
  Char16 operator()(Cell c) const {
    char text[16];
    GeometryUtils::convertH3ToChar16(c, text);
    return charn::fromText<Char16>(text, sizeof text);
  }
};
struct FromStringFunc {
  Cell operator()(const Char16& s) const {
    char text[16];
    const int n = charn::toText(s, text);
    return GeometryUtils::convertStringToH3(std::string_view(text, static_cast<std::size_t>(n)));
  }
};
// (latitude, longitude): the coordinates in the other order than H3_XY_TO_CELL.
struct LatLngToCellFunc {
  Cell operator()(double y, double x, std::int32_t r) const { return GeometryUtils::createH3FromXY(x, y, r); }
};
struct XYToCellFunc {
  Cell operator()(double x, double y, std::int32_t r) const { return GeometryUtils::createH3FromXY(x, y, r); }
};

// ---- cached functors --------------------------------------------------------------------------------

struct GridDiskNFunc {
  EvaluatorCache* cache;
  Cell operator()(Cell c, std::int32_t k, std::int32_t n, State& state) const {
    bool isNull = false;
    const Cell r = GeometryUtils::h3GridDiskN(c, k, n, isNull, cache);
    if (isNull)
      state = RPN_EVAL_NULL;
    return r;
  }
};
struct NumGridDiskFunc {
  EvaluatorCache* cache;
  long operator()(Cell c, std::int32_t k) const { return GeometryUtils::h3NumGridDisk(c, k, cache); }
};
struct NumPolygonToCellsFunc {
  EvaluatorCache* cache;
  long operator()(GeometryCell g, std::int32_t r) const {
    return GeometryUtils::h3NumPolygonToCells(g, r, cache);
  }
};
struct PolygonToCellsNFunc {
  EvaluatorCache* cache;
  Cell operator()(GeometryCell g, std::int32_t r, std::int32_t n, State& state) const {
    bool isNull = false;
    const Cell c = GeometryUtils::h3PolygonToCellsN(g, r, n, isNull, cache);
    if (isNull)
      state = RPN_EVAL_NULL;
    return c;
  }
};

// ---- list functors ----------------------------------------------------------------------------------

template <CellList (*Fn)(Cell, int, bool&)>
struct CellListFunc {
  void operator()(EvalOutputJson out, Cell c, std::int32_t arg, State& state) const {
    bool isNull = false;
    const CellList list = Fn(c, arg, isNull);
    writeList<false>(out, list, isNull, state);
  }
};
template <bool AsText>
struct PolygonListFunc {
  void operator()(EvalOutputJson out, GeometryCell g, std::int32_t r, State& state) const {
    bool isNull = false;
    const CellList list = GeometryUtils::h3PolygonToCells(g, r, isNull);
    writeList<AsText>(out, list, isNull, state);
  }
};

using geoops::GeometryCallWithNull;

const OpRegistration kOps[] = {
    opEntry<GeometryCallWithNull<&GeometryUtils::createGeometryFromH3, Cell>>(2457),
    opEntry<ElementwiseOp<CellIntToCell<&GeometryUtils::h3CellToCenterChild>, Cell, Cell, std::int32_t>>(
        2458),
    opEntry<ElementwiseOp<ChildNFunc, Cell, Cell, std::int32_t, long>>(2459),
    opEntry<ElementwiseOp<CellIntToLong<&GeometryUtils::h3CellToChildPos>, long, Cell, std::int32_t>>(2460),
    opEntry<JsonListOp<CellListFunc<&GeometryUtils::h3CellToChildren>, Cell, std::int32_t>>(2461),
    opEntry<ElementwiseOp<CellIntToLong<&GeometryUtils::h3CellToChildrenSize>, long, Cell, std::int32_t>>(
        2462),
    opEntry<ElementwiseOp<CellIntToCell<&GeometryUtils::h3CellToFirstChild>, Cell, Cell, std::int32_t>>(2463),
    opEntry<ElementwiseOp<CellIntToCell<&GeometryUtils::h3CellToLastChild>, Cell, Cell, std::int32_t>>(2464),
    opEntry<ElementwiseOp<CellIntToCell<&GeometryUtils::h3CellToParent>, Cell, Cell, std::int32_t>>(2465),
    opEntry<GeometryCallWithNull<&GeometryUtils::createGeometryXYFromH3, Cell>>(2466),
    opEntry<ElementwiseOp<ChildPosToCellFunc, Cell, long, Cell, std::int32_t>>(2467),
    opEntry<geo::GeoScalarOpWithState<GeometryToCellFunc, Cell, GeometryCell, std::int32_t>>(2468),
    opEntry<ElementwiseOp<ResolutionFunc, std::int32_t, Cell>>(2469),
    opEntry<JsonListOp<CellListFunc<&GeometryUtils::h3GridDisk>, Cell, std::int32_t>>(2470),
    opEntry<CachedOpWithState<GridDiskNFunc, Cell, Cell, std::int32_t, std::int32_t>>(2471),
    opEntry<JsonListOp<CellListFunc<&GeometryUtils::h3GridRing>, Cell, std::int32_t>>(2472),
    opEntry<ElementwiseOp<ToStringFunc, Char16, Cell>>(2473),
    opEntry<ElementwiseOp<IsValidFunc, Bool, Cell>>(2474),
    opEntry<ElementwiseOp<LatLngToCellFunc, Cell, double, double, std::int32_t>>(2475),
    opEntry<CachedOp<NumGridDiskFunc, long, Cell, std::int32_t>>(2476),
    opEntry<CachedOp<NumPolygonToCellsFunc, long, GeometryCell, std::int32_t>>(2477),
    opEntry<JsonListOp<PolygonListFunc<false>, GeometryCell, std::int32_t>>(2478),
    opEntry<CachedOpWithState<PolygonToCellsNFunc, Cell, GeometryCell, std::int32_t, std::int32_t>>(2479),
    opEntry<JsonListOp<PolygonListFunc<true>, GeometryCell, std::int32_t>>(2480),
    opEntry<ElementwiseOp<FromStringFunc, Cell, Char16>>(2481),
    opEntry<ElementwiseOp<XYToCellFunc, Cell, double, double, std::int32_t>>(2482),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
