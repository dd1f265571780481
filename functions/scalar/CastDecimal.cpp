// Value family: casts of the value on top of the stack from and to the exact decimals, including the
// casts whose target precision and scale are operands of the row (the _PS codes: value, precision,
// scale, the two i8 operands pushed after the value). The source scale of a decimal operand is the
// element's argument scale, the target precision and scale its result fields.

#include "functions/scalar/CastRegistration.h"

namespace vela::cuda {

namespace {

using namespace cast_registration;

template <class Out, class In>
constexpr OpRegistration runTimeCast(TypedRpnOp code) {
  return opEntry<ElementwiseOpWithState<CastToDecimalRunTimeFunc<Out>, Out, In, I8, I8>>(code);
}

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
    // run-time precision and scale; sources in column-load order (bool first, the target's own type
    // included)
    runTimeCast<D64, Bool>(389),
    runTimeCast<D64, I8>(390),
    runTimeCast<D64, I16>(391),
    runTimeCast<D64, I32>(392),
    runTimeCast<D64, I64>(393),
    runTimeCast<D64, U64>(394),
    runTimeCast<D64, D64>(395),
    runTimeCast<D64, D128>(396),
    runTimeCast<D64, F32>(397),
    runTimeCast<D64, F64>(398),
    runTimeCast<D128, Bool>(407),
    runTimeCast<D128, I8>(408),
    runTimeCast<D128, I16>(409),
    runTimeCast<D128, I32>(410),
    runTimeCast<D128, I64>(411),
    runTimeCast<D128, U64>(412),
    runTimeCast<D128, D64>(413),
    runTimeCast<D128, D128>(414),
    runTimeCast<D128, F32>(415),
    runTimeCast<D128, F64>(416),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Value, kOps);

} // namespace

} // namespace vela::cuda
