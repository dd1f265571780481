// Similarity of fixed-width texts: the soundex code (CHAR_SOUNDEX, char4 result), the DIFFERENCE of two
// soundex codes (0..4) and the Levenshtein distance (8-bit cells, so distances of 256 and more wrap).
// The matchers themselves live in Soundex.cpp and EditDistance.cpp; these are their per-width ops.

#include <cstdint>

#include "functions/text/CharFuncShared.h"
#include "functions/text/EditDistance.h"
#include "functions/text/Soundex.h"

namespace vela::cuda {
namespace {

using namespace charfunc;

template <std::size_t N>
struct SoundexFunc {
  std::uint32_t operator()(const Cell<N>& s) const {
    std::uint32_t code; // first character most significant, as a char4 cell
    soundex1<false>(rawOf(s), reinterpret_cast<char*>(&code), static_cast<int>(N));
    return code;
  }
};

template <std::size_t N>
struct DifferenceFunc {
  std::int32_t operator()(const Cell<N>& a, const Cell<N>& b) const {
    return soundex_difference_of<false>(rawOf(a), static_cast<int>(N), rawOf(b), static_cast<int>(N));
  }
};

template <std::size_t N>
struct EditDistanceFunc {
  std::int32_t operator()(const Cell<N>& a, const Cell<N>& b) const {
    return edit_distance<N>(rawOf(a), rawOf(b));
  }
};

template <std::size_t N>
using SoundexOp = ElementwiseOp<SoundexFunc<N>, std::uint32_t, Cell<N>>;
template <std::size_t N>
using DifferenceOp = ElementwiseOp<DifferenceFunc<N>, std::int32_t, Cell<N>, Cell<N>>;
template <std::size_t N>
using EditDistanceOp = ElementwiseOp<EditDistanceFunc<N>, std::int32_t, Cell<N>, Cell<N>>;

bool registerSimilarityChar() {
  std::vector<OpRegistration> ops;
  addAllWidths<DifferenceOp>(ops, 1760);
  addAllWidths<EditDistanceOp>(ops, 2172);
  return registerOps(OpFamily::Char, ops);
}

bool registerSimilarityChar2() {
  std::vector<OpRegistration> ops;
  addAllWidths<SoundexOp>(ops, 1750);
  return registerOps(OpFamily::Char2, ops);
}

[[maybe_unused]] const bool kRegisteredChar = registerSimilarityChar();
[[maybe_unused]] const bool kRegisteredChar2 = registerSimilarityChar2();

} // namespace
} // namespace vela::cuda
