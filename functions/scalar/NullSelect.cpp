// Null-handling family: IF (codes 1196-1220, 1224). Each op pops the first value, the second value and
// the bool condition (on top) and pushes the second value where the condition is true, the first where
// it is false. No state is touched: the program selects the states with 246 before the IF pops the
// condition.
//
// Every type of one width shares one kernel over cells of that width; the exact decimals (1204, 1205)
// also bring the selected value to the larger of the two operand scales (IfRevDecimalFunc).

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "functions/scalar/NullSelect.h"
#include "functions/scalar/NullShapes.h"

namespace vela::cuda {

namespace {

using null_ops::Bool;

template <class T, class F = IfFunc<T>>
using IfOp = ElementwiseOp<F, T, T, T, Bool>;

template <class Shape>
void add(std::vector<OpRegistration>& ops, std::initializer_list<TypedRpnOp> codes) {
  for (TypedRpnOp code : codes)
    ops.push_back(opEntry<Shape>(code));
}

bool registerIf() {
  std::vector<OpRegistration> ops;
  add<IfOp<cell_of_width_t<1>>>(ops, {1196, 1197, 1212});                   // bool, char1
  add<IfOp<cell_of_width_t<2>>>(ops, {1198, 1213});                         // char2
  add<IfOp<cell_of_width_t<4>>>(ops, {1199, 1200, 1206, 1210, 1211, 1214}); // i32, u32, f32, char4
  add<IfOp<cell_of_width_t<8>>>(ops, {1202, 1203, 1207, 1208, 1209, 1215}); // i64, u64, f64, char8
  add<IfOp<cell_of_width_t<16>>>(ops, {1201, 1216, 1224});                  // u128, char16
  add<IfOp<cell_of_width_t<32>>>(ops, {1217});
  add<IfOp<cell_of_width_t<64>>>(ops, {1218});
  add<IfOp<cell_of_width_t<128>>>(ops, {1219});
  add<IfOp<cell_of_width_t<256>>>(ops, {1220});
  add<IfOp<ExactNumericType<long>, IfRevDecimalFunc>>(ops, {1204});
  add<IfOp<ExactNumericType<Int96>, IfRevDecimalFunc>>(ops, {1205});
  return registerOps(OpFamily::Null, ops);
}

[[maybe_unused]] const bool kRegistered = registerIf();

} // namespace

} // namespace vela::cuda
