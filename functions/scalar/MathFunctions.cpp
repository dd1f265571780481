// Math family: floating-point library functions, PI, non-finite tests and replacements, and the longest
// run of one bits. Each function has an f32 code and the next code for f64; the kernels are in
// MathFunctions.h. The distances are in MathFunctionsDistance.cpp.

#include <cstdint>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/MathFunctions.h"

namespace vela::cuda {

namespace {

/// A constant of the family (PI): pushed through the evaluator's constant loader, so that it is read
/// once per batch like any other constant, or fills the output when it is the program's last value.
/// The value is V::value: floating-point template arguments are not taken by every compiler (clang 14).
template <class T, class V>
struct ConstantValueOp {
  template <class E>
  static void eval(E& e) {
    e.template evalConstValue<T>(V::value);
  }
};
struct PiF32 {
  static constexpr float value = 3.1415927f;
};
struct PiF64 {
  static constexpr double value = 3.141592653589793;
};

template <class F>
using UnaryF32 = ElementwiseOp<F, float, float>;
template <class F>
using UnaryF64 = ElementwiseOp<F, double, double>;
template <class F>
using BinaryF32 = ElementwiseOp<F, float, float, float>;
template <class F>
using BinaryF64 = ElementwiseOp<F, double, double, double>;

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<IsNanFunc, std::uint8_t, float>>(1273), // 1273-1276: one byte 0/1 per row
    opEntry<ElementwiseOp<IsNanFunc, std::uint8_t, double>>(1274),
    opEntry<ElementwiseOp<IsInfFunc, std::uint8_t, float>>(1275),
    opEntry<ElementwiseOp<IsInfFunc, std::uint8_t, double>>(1276),
    opEntry<BinaryF32<IfNanFunc>>(1277),
    opEntry<BinaryF64<IfNanFunc>>(1278),
    opEntry<BinaryF32<IfInfFunc>>(1279),
    opEntry<BinaryF64<IfInfFunc>>(1280),
    opEntry<BinaryF32<IfNonFiniteFunc>>(1281),
    opEntry<BinaryF64<IfNonFiniteFunc>>(1282),
    opEntry<ElementwiseOp<NextAfterFunc, float, float, double>>(1283),
    opEntry<BinaryF64<NextAfterFunc>>(1284),
    opEntry<UnaryF32<NextDownFunc>>(1285),
    opEntry<UnaryF64<NextDownFunc>>(1286),
    opEntry<UnaryF32<ExpFunc>>(1287),
    opEntry<UnaryF64<ExpFunc>>(1288),
    opEntry<UnaryF32<LnFunc>>(1289),
    opEntry<UnaryF64<LnFunc>>(1290),
    opEntry<UnaryF32<Log10Func>>(1291),
    opEntry<UnaryF64<Log10Func>>(1292),
    opEntry<UnaryF32<Log1pFunc>>(1293),
    opEntry<UnaryF64<Log1pFunc>>(1294),
    opEntry<UnaryF32<Log2Func>>(1295),
    opEntry<UnaryF64<Log2Func>>(1296),
    opEntry<ElementwiseOp<LdexpFunc, float, float, int>>(1297),
    opEntry<ElementwiseOp<LdexpFunc, double, double, int>>(1298),
    opEntry<ConstantValueOp<float, PiF32>>(1299),
    opEntry<ConstantValueOp<double, PiF64>>(1300),
    opEntry<UnaryF32<SqrtFunc>>(1301),
    opEntry<UnaryF64<SqrtFunc>>(1302),
    opEntry<UnaryF32<CbrtFunc>>(1303),
    opEntry<UnaryF64<CbrtFunc>>(1304),
    opEntry<BinaryF32<PowFunc>>(1305),
    opEntry<BinaryF64<PowFunc>>(1306),
    opEntry<UnaryF32<SinFunc>>(1307),
    opEntry<UnaryF64<SinFunc>>(1308),
    opEntry<UnaryF32<CosFunc>>(1309),
    opEntry<UnaryF64<CosFunc>>(1310),
    opEntry<UnaryF32<TanFunc>>(1311),
    opEntry<UnaryF64<TanFunc>>(1312),
    opEntry<UnaryF32<CotFunc>>(1313),
    opEntry<UnaryF64<CotFunc>>(1314),
    opEntry<UnaryF32<AsinFunc>>(1315),
    opEntry<UnaryF64<AsinFunc>>(1316),
    opEntry<UnaryF32<AcosFunc>>(1317),
    opEntry<UnaryF64<AcosFunc>>(1318),
    opEntry<UnaryF32<AtanFunc>>(1319),
    opEntry<UnaryF64<AtanFunc>>(1320),
    opEntry<BinaryF32<Atan2Func>>(1321),
    opEntry<BinaryF64<Atan2Func>>(1322),
    opEntry<UnaryF32<DegreesFunc>>(1323),
    opEntry<UnaryF64<DegreesFunc>>(1324),
    opEntry<UnaryF32<RadiansFunc>>(1325),
    opEntry<UnaryF64<RadiansFunc>>(1326),
    opEntry<BinaryF32<HypotFunc>>(1327),
    opEntry<BinaryF64<HypotFunc>>(1328),
    opEntry<UnaryF32<SinhFunc>>(1329),
    opEntry<UnaryF64<SinhFunc>>(1330),
    opEntry<UnaryF32<CoshFunc>>(1331),
    opEntry<UnaryF64<CoshFunc>>(1332),
    opEntry<UnaryF32<TanhFunc>>(1333),
    opEntry<UnaryF64<TanhFunc>>(1334),
    opEntry<UnaryF32<AsinhFunc>>(1335),
    opEntry<UnaryF64<AsinhFunc>>(1336),
    opEntry<UnaryF32<AcoshFunc>>(1337),
    opEntry<UnaryF64<AcoshFunc>>(1338),
    opEntry<UnaryF32<AtanhFunc>>(1339),
    opEntry<UnaryF64<AtanhFunc>>(1340),
    opEntry<ElementwiseOp<LongestOneRunFunc, int, int>>(2182),
    opEntry<ElementwiseOp<LongestOneRunFunc, int, long>>(2183),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
