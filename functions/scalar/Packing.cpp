// Math family: two integers packed side by side into one value of twice the width, the first operand
// in the low half (for the 128-bit pair: the low 64-bit word, which comes first in memory).

#include <cstdint>
#include <cstring>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

struct PairFunc {
  std::int16_t operator()(std::int8_t a, std::int8_t b) const {
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(a) |
                                     static_cast<std::uint16_t>(static_cast<std::uint8_t>(b)) << 8);
  }
  std::int32_t operator()(std::int16_t a, std::int16_t b) const {
    return static_cast<std::int32_t>(static_cast<std::uint16_t>(a) |
                                     static_cast<std::uint32_t>(static_cast<std::uint16_t>(b)) << 16);
  }
  long operator()(int a, int b) const {
    return static_cast<long>(static_cast<std::uint32_t>(a) |
                             static_cast<std::uint64_t>(static_cast<std::uint32_t>(b)) << 32);
  }
  fixed_array_t<16> operator()(long a, long b) const {
    fixed_array_t<16> pair;
    std::memcpy(pair.bytes, &a, 8);
    std::memcpy(pair.bytes + 8, &b, 8);
    return pair;
  }
};

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<PairFunc, std::int16_t, std::int8_t, std::int8_t>>(2642),   // PAIR_I8
    opEntry<ElementwiseOp<PairFunc, std::int32_t, std::int16_t, std::int16_t>>(2643), // PAIR_I16
    opEntry<ElementwiseOp<PairFunc, long, int, int>>(2644),                           // PAIR_I32
    opEntry<ElementwiseOp<PairFunc, fixed_array_t<16>, long, long>>(2645),            // PAIR_I64
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
