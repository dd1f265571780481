#include "base/MurmurHash3.h"

namespace vela {

namespace {
void store(const Hash128& h, void* out) {
  const std::uint64_t words[2] = {h.h1, h.h2};
  std::memcpy(out, words, sizeof words);
}
} // namespace

void MurmurHash3_x64_128(const void* key, int len, std::uint32_t seed, void* out) {
  store(murmur3_x64_128(key, len < 0 ? 0 : static_cast<std::size_t>(len), seed, seed), out);
}

void MurmurHash3_x64_128_seeded(const void* key, std::size_t len, std::uint64_t seed1, std::uint64_t seed2,
                                void* out) {
  store(murmur3_x64_128(key, len, seed1, seed2), out);
}

} // namespace vela
