// Math family: exact-decimal arithmetic, sign changes and sign. The row semantics are the decimal
// functors (DecimalFunctors.h), built once per element from its EvalInfo (operand and result scales);
// this file only ties each op code to its functor and its storage types.
//
// Storage: dec64 cells are 8 bytes, dec128 cells 12 packed bytes. Multiplication and division always
// produce dec128 (a dec64 product or quotient may need more than 64 bits) and saturate at the 96-bit
// range; add, subtract, modulo and the sign changes wrap in the operands' width.

#include <cstdint>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/ArithmeticShapes.h"
#include "functions/scalar/DecimalFunctors.h"

namespace vela::cuda {

namespace {

using D64 = Decimal64;
using D128 = Decimal128;

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<NegDecimalFunc, D64, D64>>(835),                              // NEG_DEC64
    opEntry<ElementwiseOp<NegDecimalFunc, D128, D128>>(836),                            // NEG_DEC128
    opEntry<ElementwiseOp<AbsDecimalFunc, D64, D64>>(842),                              // ABS_DEC64
    opEntry<ElementwiseOp<AbsDecimalFunc, D128, D128>>(843),                            // ABS_DEC128
    opEntry<ElementwiseOp<SubDecimalFunc, D64, D64, D64>>(1047),                        // SUB_DEC64
    opEntry<ElementwiseOp<SubDecimalFunc, D128, D128, D128>>(1048),                     // SUB_DEC128
    opEntry<ElementwiseOp<AddDecimalFunc, D64, D64, D64>>(1056),                        // ADD_DEC64
    opEntry<ElementwiseOp<AddDecimalFunc, D128, D128, D128>>(1057),                     // ADD_DEC128
    opEntry<ElementwiseOp<MultDecimalFunc, D128, D64, D64>>(1063),                      // MUL_DEC64
    opEntry<ElementwiseOp<MultDecimalFunc, D128, D128, D128>>(1064),                    // MUL_DEC128
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, D128, int>>(1066),                  // MUL_DEC128_I32
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, int, D128>>(1068),                  // MUL_I32_DEC128
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, D128, long>>(1070),                 // MUL_DEC128_I64
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, long, D128>>(1072),                 // MUL_I64_DEC128
    opEntry<ElementwiseOpWithState<DivDecimalFunc, D128, D64, D64>>(1080),              // DIV_DEC64
    opEntry<ElementwiseOpWithState<DivDecimalFunc, D128, D128, D128>>(1081),            // DIV_DEC128
    opEntry<ElementwiseOp<ModDecimalFunc, D64, D64, D64>>(1088),                        // MOD_DEC64
    opEntry<ElementwiseOp<ModDecimalFunc, D128, D128, D128>>(1089),                     // MOD_DEC128
    opEntry<ElementwiseOp<SignDecimalFunc, std::int8_t, D64>>(1139),                    // SIGN_DEC64
    opEntry<ElementwiseOp<SignDecimalFunc, std::int8_t, D128>>(1140),                   // SIGN_DEC128
    opEntry<ElementwiseOp<DivZDecimalFunc, D128, D64, D64, D128>>(1146),                // DIVZ_DEC64
    opEntry<ElementwiseOp<DivZDecimalFunc, D128, D128, D128, D128>>(1147),              // DIVZ_DEC128
    opEntry<GuardedDivideWithStatesOp<DivZNDecimalFunc, D128, D64, D64, D128>>(1153),   // DIVZN_DEC64
    opEntry<GuardedDivideWithStatesOp<DivZNDecimalFunc, D128, D128, D128, D128>>(1154), // DIVZN_DEC128
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
