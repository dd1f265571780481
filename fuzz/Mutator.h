#pragma once
// A small seeded mutator for the fuzz targets outside libFuzzer: the replay test's fixed slice, and any
// build without clang. Each call applies one to four edits drawn from byte flips, random and
// dictionary insertions, deletions, duplications, splices with another corpus entry and truncation, so
// that the same seed always gives the same inputs.
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarry::fuzz {

class Mutator {
public:
  Mutator(std::uint32_t seed, std::span<const std::string_view> tokens, std::size_t maxSize = 4096)
      : m_rng(seed), m_tokens(tokens), m_maxSize(maxSize) {}

  /// A mutant of `input`; `corpus` (may be empty) supplies splice partners.
  std::string mutate(std::string input, const std::vector<std::string>& corpus);

  /// A number below n (0 for n = 0).
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(m_rng() % n); }

private:
  std::mt19937 m_rng;
  std::span<const std::string_view> m_tokens;
  std::size_t m_maxSize;
};

} // namespace quarry::fuzz
