// Value family: casts of the value on top of the stack between integers, bool and floats, and the
// reinterpretations of the kinds that share a storage type (ipv4 as i32, uuid as u128). The casts from
// and to decimals are in CastDecimal.cpp.

#include <cstring>

#include "functions/scalar/CastRegistration.h"

namespace vela::cuda {

namespace {

using namespace cast_registration;

/// The low 64 bits of a 16-byte value (stored least significant byte first).
template <class Out>
struct LowWordFunc {
  Out operator()(const U128& x) const {
    std::uint64_t low;
    std::memcpy(&low, x.bytes, sizeof low);
    return static_cast<Out>(low);
  }
};

/// The same cell under another kind.
struct SameBytesFunc {
  template <class T>
  T operator()(const T& x) const {
    return x;
  }
};

const OpRegistration kOps[] = {
    // to i8
    stackCast<I8, I16>(323), stackCast<I8, I32>(324), stackCast<I8, I64>(325), stackCast<I8, U64>(326),
    stackCast<I8, F32>(329), stackCast<I8, F64>(330),
    // to i16
    stackCast<I16, I8>(331), stackCast<I16, I32>(332), stackCast<I16, I64>(333), stackCast<I16, U64>(334),
    stackCast<I16, F32>(337), stackCast<I16, F64>(338),
    // to i32
    stackCast<I32, I8>(339), stackCast<I32, I16>(340), stackCast<I32, I64>(342), stackCast<I32, U64>(343),
    stackCast<I32, F32>(346), stackCast<I32, F64>(347),
    // to i64
    stackCast<I64, I8>(359), stackCast<I64, I16>(360), stackCast<I64, I32>(361), stackCast<I64, U32>(362),
    stackCast<I64, U64>(363), stackCast<I64, F32>(366), stackCast<I64, F64>(367), stackCast<I64, Bool>(368),
    opEntry<ElementwiseOp<LowWordFunc<I64>, I64, U128>>(369),
    // to u64
    stackCast<U64, I8>(370), stackCast<U64, I16>(371), stackCast<U64, I32>(372), stackCast<U64, U32>(373),
    stackCast<U64, I64>(374), stackCast<U64, F32>(377), stackCast<U64, F64>(378), stackCast<U64, Bool>(379),
    opEntry<ElementwiseOp<LowWordFunc<U64>, U64, U128>>(380),
    // to f32
    stackCast<F32, I8>(417), stackCast<F32, I16>(418), stackCast<F32, I32>(419), stackCast<F32, I64>(420),
    stackCast<F32, U64>(421), stackCast<F32, F64>(424),
    // to f64
    stackCast<F64, I8>(425), stackCast<F64, I16>(426), stackCast<F64, I32>(427), stackCast<F64, I64>(428),
    stackCast<F64, U64>(429), stackCast<F64, F32>(432),
    // ipv4 (i32 storage) and uuid (u128 storage)
    opEntry<ElementwiseOp<SameBytesFunc, I32, I32>>(763),   // i32 to ipv4
    opEntry<ElementwiseOp<SameBytesFunc, I32, I32>>(764),   // ipv4 to i32
    stackCast<I32, I64>(765),                               // i64 to ipv4: the low 32 bits
    stackCast<I64, U32>(766),                               // ipv4 to i64: the address as an unsigned number
    opEntry<ElementwiseOp<SameBytesFunc, U128, U128>>(767), // u128 to uuid
    opEntry<ElementwiseOp<SameBytesFunc, U128, U128>>(768), // uuid to u128
    stackCast<I32, U32>(769),                               // u32 to ipv4
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Value, kOps);

} // namespace

} // namespace vela::cuda
