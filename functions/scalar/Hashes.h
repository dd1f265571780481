#pragma once
// Row kernels of the hash ops: MurmurHash3 x64 128-bit over a fixed-width value's own bytes (its
// storage width, which the hash folds in as the length). Kinds of one width share a kernel: an i32, a
// char4 and an f32 of the same bits hash alike, and an f32 -0.0 hashes differently from 0.0.
//
// Seeds: the 64-bit form starts both hash states at the i64 seed and returns the first half; the
// seeded 128-bit form starts them at the low and the high word of the u128 seed; the fixed form at 10.
// 128-bit results are stored first half in the low word.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/MurmurHash3.h"
#include "cuda/VectorEvalTypes.h"

namespace vela::cuda {

using U128Cell = fixed_array_t<16>;

namespace hash_detail {
inline U128Cell toCell(Hash128 h) {
  U128Cell out;
  std::memcpy(out.bytes, &h.h1, 8);
  std::memcpy(out.bytes + 8, &h.h2, 8);
  return out;
}
inline std::uint64_t word(const U128Cell& c, int k) {
  std::uint64_t w;
  std::memcpy(&w, c.bytes + 8 * k, 8);
  return w;
}
} // namespace hash_detail

/// 64-bit hash of a Width-byte value with an i64 seed.
template <std::size_t Width>
struct Hash64Func {
  long operator()(const cell_of_width_t<Width>& value, long seed) const {
    static_assert(sizeof(cell_of_width_t<Width>) == Width);
    return static_cast<long>(murmur3_hash64(&value, Width, static_cast<std::uint64_t>(seed)));
  }
};

/// 128-bit hash of a Width-byte value, the states seeded with the two words of a u128.
template <std::size_t Width>
struct Hash128SeededFunc {
  U128Cell operator()(const cell_of_width_t<Width>& value, const U128Cell& seed) const {
    return hash_detail::toCell(
        murmur3_x64_128(&value, Width, hash_detail::word(seed, 0), hash_detail::word(seed, 1)));
  }
};

/// 128-bit hash of a Width-byte value with the fixed seed 10.
template <std::size_t Width>
struct Hash128Func {
  static constexpr std::uint64_t kSeed = 10;
  U128Cell operator()(const cell_of_width_t<Width>& value) const {
    return hash_detail::toCell(murmur3_x64_128(&value, Width, kSeed, kSeed));
  }
};

} // namespace vela::cuda
