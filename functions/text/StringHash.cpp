// String family: MurmurHash3 (x64, 128-bit) of a heap string's bytes, with the seeds and word order of
// the hashes of fixed-width values:
//   2217, 2221  STRING_HASH             string, i64 seed  -> i64   both states from the seed; first half
//   2243, 2247  STRING_HASH128_SEEDED   string, u128 seed -> u128  states from the seed's low and high
//                                                                  words; both halves, first in the low word
//   2249, 2250  STRING_HASH128_SEED64   string, i64 seed  -> u128  both states from the seed; both halves
//   2271, 2275  STRING_HASH128          string            -> u128  both states 10; both halves
//   2285        STRING_HASH_MOD         string, i32 m     -> i32   bucket in [0, m) (below)
// The length folded in is the string's byte length, so a string hashes as a fixed-width value of the
// same bytes would. An absent string is hashed as the empty string (length 0); its row is made null by
// the program's state ops.
//
// STRING_HASH_MOD: the first half of the seed-10 hash (the low word of STRING_HASH128), read as an
// unsigned 64-bit number, modulo m. A modulus of 0 or below has no buckets: the result is -1, which no
// bucket has, rather than a failure (the op reports no row codes) or a silently shared bucket.

#include <cstdint>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"
#include "functions/scalar/Hashes.h"

namespace vela::cuda {

namespace {

using StringCell = const InlineBuffer<char>*;

constexpr std::uint64_t kFixedSeed = 10;

Hash128 hashText(StringCell s, std::uint64_t seed1, std::uint64_t seed2) {
  static constexpr char kEmpty = 0;
  return s == nullptr ? murmur3_x64_128(&kEmpty, 0, seed1, seed2)
                      : murmur3_x64_128(s->data(), s->size(), seed1, seed2);
}

struct StringHash64Func {
  long operator()(StringCell s, long seed) const {
    const auto u = static_cast<std::uint64_t>(seed);
    return static_cast<long>(hashText(s, u, u).h1);
  }
};

struct StringHash128SeededFunc {
  U128Cell operator()(StringCell s, const U128Cell& seed) const {
    return hash_detail::toCell(hashText(s, hash_detail::word(seed, 0), hash_detail::word(seed, 1)));
  }
};

struct StringHash128Seed64Func {
  U128Cell operator()(StringCell s, long seed) const {
    const auto u = static_cast<std::uint64_t>(seed);
    return hash_detail::toCell(hashText(s, u, u));
  }
};

struct StringHash128Func {
  U128Cell operator()(StringCell s) const { return hash_detail::toCell(hashText(s, kFixedSeed, kFixedSeed)); }
};

struct StringHashModFunc {
  std::int32_t operator()(StringCell s, std::int32_t m) const {
    if (m <= 0)
      return -1;
    return static_cast<std::int32_t>(hashText(s, kFixedSeed, kFixedSeed).h1 % static_cast<std::uint64_t>(m));
  }
};

bool registerStringHashes() {
  using Hash64Op = ElementwiseOp<StringHash64Func, long, StringCell, long>;
  using Hash128SeededOp = ElementwiseOp<StringHash128SeededFunc, U128Cell, StringCell, U128Cell>;
  using Hash128Seed64Op = ElementwiseOp<StringHash128Seed64Func, U128Cell, StringCell, long>;
  using Hash128Op = ElementwiseOp<StringHash128Func, U128Cell, StringCell>;
  const std::vector<OpRegistration> ops = {
      opEntry<Hash64Op>(2217),
      opEntry<Hash64Op>(2221),
      opEntry<Hash128SeededOp>(2243),
      opEntry<Hash128SeededOp>(2247),
      opEntry<Hash128Seed64Op>(2249),
      opEntry<Hash128Seed64Op>(2250),
      opEntry<Hash128Op>(2271),
      opEntry<Hash128Op>(2275),
      opEntry<ElementwiseOp<StringHashModFunc, std::int32_t, StringCell, std::int32_t>>(2285),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringHashes();

} // namespace

} // namespace vela::cuda
