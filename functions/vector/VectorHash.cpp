// String family, vectors: MurmurHash3 (x64, 128-bit) of the 4 x n bytes of a vector's elements, with
// the seeds and word order of the other hash ops:
//   2220  VECTOR_HASH            vector, i64 seed  -> i64   both states from the seed; the first half
//   2246  VECTOR_HASH128_SEEDED  vector, u128 seed -> u128  states from the seed's low and high words;
//                                                            both halves, the first in the low word
//   2274  VECTOR_HASH128         vector            -> u128  both states 10; both halves
// The elements are hashed as stored, so -0 and 0 (or two NaNs of different bits) hash differently. A
// null vector hashes as the empty one; its row is made null by the program's state ops.

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/Hashes.h"
#include "functions/vector/VectorOps.h"

namespace vela::cuda {

namespace {

using namespace vecops;

constexpr std::uint64_t kFixedSeed = 10;

Hash128 hashVector(VectorCell v, std::uint64_t seed1, std::uint64_t seed2) {
  static constexpr float kEmpty = 0;
  return v == nullptr ? murmur3_x64_128(&kEmpty, 0, seed1, seed2)
                      : murmur3_x64_128(v->data(), v->size() * sizeof(float), seed1, seed2);
}

struct Hash64Func {
  long operator()(VectorCell v, long seed) const {
    const auto u = static_cast<std::uint64_t>(seed);
    return static_cast<long>(hashVector(v, u, u).h1);
  }
};

struct Hash128SeededFunc {
  U128Cell operator()(VectorCell v, const U128Cell& seed) const {
    return hash_detail::toCell(hashVector(v, hash_detail::word(seed, 0), hash_detail::word(seed, 1)));
  }
};

struct Hash128Func {
  U128Cell operator()(VectorCell v) const {
    return hash_detail::toCell(hashVector(v, kFixedSeed, kFixedSeed));
  }
};

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<Hash64Func, long, VectorCell, long>>(2220),
    opEntry<ElementwiseOp<Hash128SeededFunc, U128Cell, VectorCell, U128Cell>>(2246),
    opEntry<ElementwiseOp<Hash128Func, U128Cell, VectorCell>>(2274),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::String, kOps);

} // namespace

} // namespace vela::cuda
