// Value family: casts fused with a column load. The column is read as its source type and converted
// into the element's output in one pass, by the functor of the same cast on the stack; a decimal
// column's scale is the element's argument scale. The plain loads are in ValueLoads.cpp; codes 112-115
// (fixed-width text to bool) belong with the text casts.

#include "functions/scalar/CastRegistration.h"

namespace vela::cuda {

namespace {

using namespace cast_registration;

const OpRegistration kOps[] = {
    // to bool
    loadCast<Bool, I8>(103),
    loadCast<Bool, I16>(104),
    loadCast<Bool, I32>(105),
    loadCast<Bool, I64>(106),
    loadCast<Bool, U64>(107),
    loadCast<Bool, D64>(108),
    loadCast<Bool, D128>(109),
    loadCast<Bool, F32>(110),
    loadCast<Bool, F64>(111),
    // to i8
    loadCast<I8, I16>(118),
    loadCast<I8, I32>(119),
    loadCast<I8, I64>(120),
    loadCast<I8, U64>(121),
    loadCast<I8, D64>(122),
    loadCast<I8, D128>(123),
    loadCast<I8, F32>(124),
    loadCast<I8, F64>(125),
    // to i16
    loadCast<I16, Bool>(126),
    loadCast<I16, I8>(127),
    loadCast<I16, I32>(129),
    loadCast<I16, I64>(130),
    loadCast<I16, U64>(131),
    loadCast<I16, D64>(132),
    loadCast<I16, D128>(133),
    loadCast<I16, F32>(134),
    loadCast<I16, F64>(135),
    // to i32
    loadCast<I32, Bool>(136),
    loadCast<I32, I8>(137),
    loadCast<I32, I16>(138),
    loadCast<I32, I64>(140),
    loadCast<I32, U64>(141),
    loadCast<I32, D64>(142),
    loadCast<I32, D128>(143),
    loadCast<I32, F32>(144),
    loadCast<I32, F64>(145),
    // to i64
    loadCast<I64, Bool>(149),
    loadCast<I64, I8>(150),
    loadCast<I64, I16>(151),
    loadCast<I64, I32>(152),
    loadCast<I64, U64>(154),
    loadCast<I64, D64>(155),
    loadCast<I64, D128>(156),
    loadCast<I64, F32>(157),
    loadCast<I64, F64>(158),
    // to u64
    loadCast<U64, Bool>(159),
    loadCast<U64, I8>(160),
    loadCast<U64, I16>(161),
    loadCast<U64, I32>(162),
    loadCast<U64, I64>(163),
    loadCast<U64, D64>(165),
    loadCast<U64, D128>(166),
    loadCast<U64, F32>(167),
    loadCast<U64, F64>(168),
    // to dec64
    loadCast<D64, Bool>(169),
    loadCast<D64, I8>(170),
    loadCast<D64, I16>(171),
    loadCast<D64, I32>(172),
    loadCast<D64, I64>(173),
    loadCast<D64, U64>(174),
    loadCast<D64, D128>(176),
    loadCast<D64, F32>(177),
    loadCast<D64, F64>(178),
    // to dec128
    loadCast<D128, Bool>(179),
    loadCast<D128, I8>(180),
    loadCast<D128, I16>(181),
    loadCast<D128, I32>(182),
    loadCast<D128, I64>(183),
    loadCast<D128, U64>(184),
    loadCast<D128, D64>(185),
    loadCast<D128, F32>(187),
    loadCast<D128, F64>(188),
    // to f32
    loadCast<F32, Bool>(189),
    loadCast<F32, I8>(190),
    loadCast<F32, I16>(191),
    loadCast<F32, I32>(192),
    loadCast<F32, I64>(193),
    loadCast<F32, U64>(194),
    loadCast<F32, D64>(195),
    loadCast<F32, D128>(196),
    loadCast<F32, F64>(198),
    // to f64
    loadCast<F64, Bool>(199),
    loadCast<F64, I8>(200),
    loadCast<F64, I16>(201),
    loadCast<F64, I32>(202),
    loadCast<F64, I64>(203),
    loadCast<F64, U64>(204),
    loadCast<F64, D64>(205),
    loadCast<F64, D128>(206),
    loadCast<F64, F32>(207),
    // u32 columns: zero extension
    loadCast<I64, U32>(209),
    loadCast<U64, U32>(210),
    loadCast<F32, U32>(212),
    loadCast<F64, U32>(213),
    loadCast<Bool, U32>(214),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Value, kOps);

} // namespace

} // namespace vela::cuda
