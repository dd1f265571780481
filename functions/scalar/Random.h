#pragma once
// Row kernels of the random-value and UUID ops. Both are pure functions of the row's input and the
// row's global number (the row's position in the call plus the call's row offset), so a row gets the
// same value whichever batch, task or evaluator computes it.

#include <cstdint>
#include <cstring>

#include "base/MurmurHash3.h"
#include "cuda/VectorEvalTypes.h"

namespace vela::cuda {

/// A float in [0, 1] drawn from the minimal-standard generator (multiplier 48271, modulus 2^31 - 1),
/// seeded from x = seed + offset + row: s = low 32 bits of x ^ (x >> 16), the generator is seeded with
/// s, advanced s steps and stepped once more. Advancing by s steps is one multiplication by 48271^s
/// (mod 2^31 - 1), raised by squaring, so a row costs about 32 modular products.
///
/// The last step scales state - 1 by a float factor that is 2^-31 once rounded; states within 64 of
/// the top round to 2^31 in single precision and so give exactly 1.0f.
struct RandFunc {
  static constexpr std::uint64_t kModulus = 2147483647; // 2^31 - 1
  static constexpr std::uint64_t kMultiplier = 48271;

  std::uint64_t offset = 0;

  static std::uint64_t powMod(std::uint64_t base, std::uint32_t exponent) {
    std::uint64_t result = 1;
    base %= kModulus;
    while (exponent != 0) {
      if (exponent & 1u)
        result = result * base % kModulus;
      base = base * base % kModulus;
      exponent >>= 1;
    }
    return result;
  }

  float operator()(long seed, std::uint64_t row) const {
    const std::uint64_t x = static_cast<std::uint64_t>(seed) + offset + row;
    const auto s = static_cast<std::uint32_t>(x ^ (x >> 16));
    std::uint64_t state = s % kModulus;
    if (state == 0)
      state = 1;
    state = state * powMod(kMultiplier, s) % kModulus;
    // One step by Schrage's method: 48271 * state mod m without a 64-bit product.
    std::int64_t next = static_cast<std::int64_t>(kMultiplier) * static_cast<std::int64_t>(state % 44488) -
                        3399 * static_cast<std::int64_t>(state / 44488);
    if (next < 0)
      next += static_cast<std::int64_t>(kModulus);
    return static_cast<float>(next - 1) * 4.656613e-10f + 0.0f;
  }
};

/// A version-4 UUID per row: the 128-bit MurmurHash3 of the row's 8-byte key, seeded with the low 32
/// bits of row + offset, stored first half in the low word; then the variant bits (10) are set in the
/// top of byte 7 and the version nibble (4) in the top of byte 9, in this storage order.
struct GetNewUuidFunc {
  std::uint64_t offset = 0;

  fixed_array_t<16> operator()(long key, std::uint64_t row) const {
    const auto seed32 = static_cast<std::uint32_t>(row + offset);
    const Hash128 h = murmur3_x64_128(&key, sizeof key, seed32, seed32);
    fixed_array_t<16> out;
    std::memcpy(out.bytes, &h.h1, 8);
    std::memcpy(out.bytes + 8, &h.h2, 8);
    out.bytes[7] = static_cast<unsigned char>(((h.h1 >> 56) & 63) | 0x80);
    out.bytes[9] = static_cast<unsigned char>(((h.h2 >> 8) & 15) | 0x40);
    return out;
  }
};

} // namespace vela::cuda
