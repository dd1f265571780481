#pragma once
// MurmurHash3, x64 128-bit variant: the hash of the hash ops and of UUID generation. The algorithm is
// the published one bit for bit (16-byte blocks read little-endian, tail, length folded in, 64-bit
// finalisation); the only extension is that the two 64-bit states may start from different 64-bit
// seeds, which the seeded hash ops need.
//
// The inline form is for per-row kernels (fixed small lengths fold away); the exported functions are
// the base library's entry points.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vela {

/// The two 64-bit halves of a 128-bit hash, h1 first (h1 is also the low word when stored).
struct Hash128 {
  std::uint64_t h1 = 0;
  std::uint64_t h2 = 0;
};

namespace murmur3_detail {

inline constexpr std::uint64_t kC1 = 0x87c37b91114253d5ULL;
inline constexpr std::uint64_t kC2 = 0x4cf5ad432745937fULL;

constexpr std::uint64_t rotl64(std::uint64_t x, int r) {
  return (x << r) | (x >> (64 - r));
}
constexpr std::uint64_t fmix64(std::uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}
inline std::uint64_t load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8); // the hash is defined on little-endian words, which is how x86-64 loads them
  return v;
}
constexpr std::uint64_t mixK1(std::uint64_t k1) {
  return rotl64(k1 * kC1, 31) * kC2;
}
constexpr std::uint64_t mixK2(std::uint64_t k2) {
  return rotl64(k2 * kC2, 33) * kC1;
}

} // namespace murmur3_detail

/// MurmurHash3_x64_128 of `len` bytes with the states starting at seed1 and seed2 (the published
/// function has seed1 = seed2 = its 32-bit seed).
inline Hash128 murmur3_x64_128(const void* key, std::size_t len, std::uint64_t seed1, std::uint64_t seed2) {
  using namespace murmur3_detail;
  const auto* data = static_cast<const unsigned char*>(key);
  const std::size_t blocks = len / 16;
  std::uint64_t h1 = seed1, h2 = seed2;
  for (std::size_t i = 0; i < blocks; ++i) {
    h1 ^= mixK1(load64(data + 16 * i));
    h1 = rotl64(h1, 27) + h2;
    h1 = h1 * 5 + 0x52dce729;
    h2 ^= mixK2(load64(data + 16 * i + 8));
    h2 = rotl64(h2, 31) + h1;
    h2 = h2 * 5 + 0x38495ab5;
  }
  // The tail, zero-padded to a block. Mixing a zero word changes nothing (0 * c, rotated, is 0), so
  // both words can be mixed whatever the tail length, as the published switch does for non-empty ones.
  unsigned char tail[16] = {};
  if (len % 16 != 0)
    std::memcpy(tail, data + 16 * blocks, len % 16);
  h2 ^= mixK2(load64(tail + 8));
  h1 ^= mixK1(load64(tail));

  h1 ^= static_cast<std::uint64_t>(len);
  h2 ^= static_cast<std::uint64_t>(len);
  h1 += h2;
  h2 += h1;
  h1 = fmix64(h1);
  h2 = fmix64(h2);
  h1 += h2;
  h2 += h1;
  return {h1, h2};
}

/// The 64-bit hash of the hash ops: both states start at `seed`, the result is the first half.
inline std::uint64_t murmur3_hash64(const void* key, std::size_t len, std::uint64_t seed) {
  return murmur3_x64_128(key, len, seed, seed).h1;
}

/// The published entry point: writes h1 then h2 (16 bytes) to `out`.
void MurmurHash3_x64_128(const void* key, int len, std::uint32_t seed, void* out);

/// As MurmurHash3_x64_128 with a separate 64-bit seed for each state.
void MurmurHash3_x64_128_seeded(const void* key, std::size_t len, std::uint64_t seed1, std::uint64_t seed2,
                                void* out);

} // namespace vela
