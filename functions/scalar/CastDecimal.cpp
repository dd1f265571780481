// Value family: casts of the value on top of the stack from and to the exact decimals. The source scale
// of a decimal operand is the element's argument scale, the target precision and scale its result
// fields.
// The casts whose precision and scale are i8 operands of the row (389-398 and 407-416) take their
// sources in column-load order: bool, i8, i16, i32, i64, u64, dec64, dec128, f32, f64.

#include "functions/scalar/CastRegistration.h"

namespace vela::cuda {

namespace {

using namespace cast_registration;

const OpRegistration kOps[] = {
    // decimal to integer and float
    stackCast<I8, D64>(327),
    stackCast<I8, D128>(328),
    stackCast<I16, D64>(335),
    stackCast<I16, D128>(336),
    stackCast<I32, D64>(344),
    stackCast<I32, D128>(345),
    stackCast<I64, D64>(364),
    stackCast<I64, D128>(365),
    stackCast<U64, D64>(375),
    stackCast<U64, D128>(376),
    stackCast<F32, D64>(422),
    stackCast<F32, D128>(423),
    stackCast<F64, D64>(430),
    stackCast<F64, D128>(431),
    // to dec64
    stackCast<D64, I8>(381),
    stackCast<D64, I16>(382),
    stackCast<D64, I32>(383),
    stackCast<D64, I64>(384),
    stackCast<D64, U64>(385),
    stackCast<D64, D128>(386),
    stackCast<D64, F32>(387),
    stackCast<D64, F64>(388),
    // to dec128
    stackCast<D128, I8>(399),
    stackCast<D128, I16>(400),
    stackCast<D128, I32>(401),
    stackCast<D128, I64>(402),
    stackCast<D128, U64>(403),
    stackCast<D128, D64>(404),
    stackCast<D128, F32>(405),
    stackCast<D128, F64>(406),
    // to dec64 and dec128 at a run-time precision and scale
    opEntry<RunTimeDecimalCast<D64, Bool>>(389),
    opEntry<RunTimeDecimalCast<D64, I8>>(390),
    opEntry<RunTimeDecimalCast<D64, I16>>(391),
    opEntry<RunTimeDecimalCast<D64, I32>>(392),
    opEntry<RunTimeDecimalCast<D64, I64>>(393),
    opEntry<RunTimeDecimalCast<D64, U64>>(394),
    opEntry<RunTimeDecimalCast<D64, D64>>(395),
    opEntry<RunTimeDecimalCast<D64, D128>>(396),
    opEntry<RunTimeDecimalCast<D64, F32>>(397),
    opEntry<RunTimeDecimalCast<D64, F64>>(398),
    opEntry<RunTimeDecimalCast<D128, Bool>>(407),
    opEntry<RunTimeDecimalCast<D128, I8>>(408),
    opEntry<RunTimeDecimalCast<D128, I16>>(409),
    opEntry<RunTimeDecimalCast<D128, I32>>(410),
    opEntry<RunTimeDecimalCast<D128, I64>>(411),
    opEntry<RunTimeDecimalCast<D128, U64>>(412),
    opEntry<RunTimeDecimalCast<D128, D64>>(413),
    opEntry<RunTimeDecimalCast<D128, D128>>(414),
    opEntry<RunTimeDecimalCast<D128, F32>>(415),
    opEntry<RunTimeDecimalCast<D128, F64>>(416),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Value, kOps);

} // namespace

} // namespace vela::cuda
