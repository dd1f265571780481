// Null-handling family: IS NULL (codes 257-278, 284, 286) and zero-if-null (288-312, 318).
//
// IS NULL pops a row state s (the typed codes also pop and discard a value of their type) and pushes
// the bool s == 1 with the state s == 1 ? 0 : s: the test itself is never null, an error passes on.
//
// Zero-if-null pops a value and its state s; a null row becomes the zero value of the type with state
// 0, every other row keeps its value and its state (errors pass on). The zero value is all bytes 0,
// except for the packed datetime, whose zero is 1970-01-01 00:00:00.000.
//
// Both only move cells, so one kernel serves every type of a width: the value operand is a cell of
// that width (cell_of_width_t), and a null f64 becomes the bits of +0.0.

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "functions/scalar/NullShapes.h"

namespace vela::cuda {

namespace {

using namespace null_ops;

/// The packed datetime 1970-01-01 00:00:00.000 (the year, month, day, hour, minute, second and
/// millisecond fields of the 64-bit layout).
constexpr std::uint64_t kEpochDatetime = 0x8C21000000001A0ull;

template <class T>
struct ZeroCell {
  static T value() { return T{}; }
};
struct EpochDatetimeCell {
  static std::uint64_t value() { return kEpochDatetime; }
};

/// Null rows get Zero::value() and state 0; other rows keep their value and state.
template <class T, class Zero = ZeroCell<T>>
struct ZeroIfNullFunc {
  T operator()(CellParam<T> v, State s, State& state) const {
    const bool null = s == RPN_EVAL_NULL;
    state = null ? RPN_EVAL_OK : s;
    return null ? Zero::value() : v;
  }
};

template <class T, class Zero = ZeroCell<T>>
using ZeroIfNull = StateOpWithState<ZeroIfNullFunc<T, Zero>, T, T, State>;

template <class Shape>
void add(std::vector<OpRegistration>& ops, std::initializer_list<TypedRpnOp> codes) {
  for (TypedRpnOp code : codes)
    ops.push_back(opEntry<Shape>(code));
}

bool registerIsNullAndZeroIfNull() {
  std::vector<OpRegistration> ops;
  add<IsNullOp<cell_of_width_t<1>>>(ops, {270});                               // char1
  add<IsNullOp<cell_of_width_t<2>>>(ops, {271});                               // char2
  add<IsNullOp<cell_of_width_t<4>>>(ops, {257, 258, 264, 267, 268, 272});      // i32, u32, f32, char4
  add<IsNullOp<cell_of_width_t<8>>>(ops, {260, 261, 262, 265, 266, 269, 273}); // i64, u64, dec64, f64, char8
  add<IsNullOp<cell_of_width_t<12>>>(ops, {263});                              // dec128
  add<IsNullOp<cell_of_width_t<16>>>(ops, {259, 274, 284});                    // u128, char16
  add<IsNullOp<cell_of_width_t<32>>>(ops, {275});
  add<IsNullOp<cell_of_width_t<64>>>(ops, {276});
  add<IsNullOp<cell_of_width_t<128>>>(ops, {277});
  add<IsNullOp<cell_of_width_t<256>>>(ops, {278});
  add<IsNullOp<void>>(ops, {286});

  add<ZeroIfNull<cell_of_width_t<1>>>(ops, {288, 289, 304});                // bool, char1
  add<ZeroIfNull<cell_of_width_t<2>>>(ops, {290, 305});                     // u16, char2
  add<ZeroIfNull<cell_of_width_t<4>>>(ops, {291, 292, 298, 301, 302, 306}); // i32, u32, f32, char4
  add<ZeroIfNull<cell_of_width_t<8>>>(ops, {294, 295, 296, 299, 307});      // u64, i64, char8, f64
  add<ZeroIfNull<cell_of_width_t<8>, EpochDatetimeCell>>(ops, {300, 303});  // datetime
  add<ZeroIfNull<cell_of_width_t<12>>>(ops, {297});                         // dec128
  add<ZeroIfNull<cell_of_width_t<16>>>(ops, {293, 308, 318});               // u128, char16
  add<ZeroIfNull<cell_of_width_t<32>>>(ops, {309});
  add<ZeroIfNull<cell_of_width_t<64>>>(ops, {310});
  add<ZeroIfNull<cell_of_width_t<128>>>(ops, {311});
  add<ZeroIfNull<cell_of_width_t<256>>>(ops, {312});
  return registerOps(OpFamily::Null, ops);
}

[[maybe_unused]] const bool kRegistered = registerIsNullAndZeroIfNull();

} // namespace

} // namespace vela::cuda
