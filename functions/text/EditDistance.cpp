#include "functions/text/EditDistance.h"

#include <algorithm>
#include <cstdint>

#include "base/ManagedBuffer.h"
#include "cuda/ManagedObjects.h"
#include "functions/text/TextWalk.h"

namespace vela::cuda {
namespace {

using text_walk::TextWalk;

// Reduced Levenshtein distance; rows prev and cur have shorter.len + 1 cells each.
template <class Walk>
int rollingDistance(const Walk& longer, const Walk& shorter, unsigned char* prev, unsigned char* cur) {
  const std::int64_t ns = shorter.len;
  for (std::int64_t j = 0; j <= ns; ++j)
    prev[j] = static_cast<unsigned char>(j);
  for (std::int64_t i = 1; i <= longer.len; ++i) {
    const unsigned char c = longer[i - 1];
    cur[0] = static_cast<unsigned char>(i);
    for (std::int64_t j = 1; j <= ns; ++j) {
      const int substitute = prev[j - 1] + (c != shorter[j - 1] ? 1 : 0);
      cur[j] = static_cast<unsigned char>(std::min({prev[j] + 1, cur[j - 1] + 1, substitute}));
    }
    std::swap(prev, cur);
  }
  return prev[ns];
}

template <class Walk>
int distanceOf(Walk a, Walk b, unsigned char* prev, unsigned char* cur) {
  return a.len >= b.len ? rollingDistance(a, b, prev, cur) : rollingDistance(b, a, prev, cur);
}

} // namespace

template <std::size_t N>
int edit_distance(const char* a, const char* b) {
  static_assert(N >= 1 && N <= 256 && (N & (N - 1)) == 0, "fixed-width texts are 1 to 256 bytes wide");
  unsigned char prev[N + 1], cur[N + 1];
  return distanceOf(TextWalk<false>::of(a, N), TextWalk<false>::of(b, N), prev, cur);
}

int StringBufferEditDistance(const InlineBuffer<char>* a, const InlineBuffer<char>* b) {
  if (a == nullptr || b == nullptr)
    return 0;
  const auto ta = TextWalk<true>::of(a->data(), static_cast<std::int64_t>(a->size()));
  const auto tb = TextWalk<true>::of(b->data(), static_cast<std::int64_t>(b->size()));
  const auto row = static_cast<std::size_t>(std::min(ta.len, tb.len)) + 1;
  if (row <= kEditDistanceStackRow) {
    unsigned char prev[kEditDistanceStackRow], cur[kEditDistanceStackRow];
    return distanceOf(ta, tb, prev, cur);
  }
  ManagedBuffer<unsigned char> rows(2 * row);
  return distanceOf(ta, tb, rows.data(), rows.data() + row);
}

template int edit_distance<1>(const char*, const char*);
template int edit_distance<2>(const char*, const char*);
template int edit_distance<4>(const char*, const char*);
template int edit_distance<8>(const char*, const char*);
template int edit_distance<16>(const char*, const char*);
template int edit_distance<32>(const char*, const char*);
template int edit_distance<64>(const char*, const char*);
template int edit_distance<128>(const char*, const char*);
template int edit_distance<256>(const char*, const char*);

} // namespace vela::cuda
