// String family: SHA-256 digests. SHA256 (2277-2282, char8 ... char256) and STRING_SHA256 (2283, heap
// string) give the digest as 64 lower-case hexadecimal characters in a char64 cell (character 0, the
// high nibble of the first digest byte, at the cell's highest byte, as every charN value).
//
// What is digested is the text: a charN operand's characters in reading order up to its length (the
// zero tail and the reversed storage order are layout, not text), a heap string's bytes. So the same
// text gives the same digest whatever its storage, and the digest of 'abc' is the one every other
// SHA-256 tool prints for those three bytes. An absent string is digested as the empty text; its row is
// made null by the program's state ops.

#include <cstddef>
#include <vector>

#include "base/Sha256.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/ManagedObjects.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using Char64 = cell_of_width_t<64>;
using StringCell = const InlineBuffer<char>*;

static_assert(sizeof(Char64) == kSha256HexChars, "the hexadecimal digest fills a char64 cell");

Char64 digestCell(const void* data, std::size_t len) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  unsigned char digest[kSha256DigestBytes];
  sha256(data, len, digest);
  Char64 cell;
  for (std::size_t i = 0; i < kSha256DigestBytes; ++i) {
    charn::at(cell, static_cast<int>(2 * i)) = static_cast<unsigned char>(kHexDigits[digest[i] >> 4]);
    charn::at(cell, static_cast<int>(2 * i + 1)) = static_cast<unsigned char>(kHexDigits[digest[i] & 15]);
  }
  return cell;
}

template <std::size_t N>
struct Sha256CharFunc {
  Char64 operator()(const cell_of_width_t<N>& value) const {
    char text[N];
    const int len = charn::toText(value, text);
    return digestCell(text, static_cast<std::size_t>(len));
  }
};

struct Sha256StringFunc {
  Char64 operator()(StringCell s) const {
    return s == nullptr ? digestCell(nullptr, 0) : digestCell(s->data(), s->size());
  }
};

template <std::size_t N>
using Sha256CharOp = ElementwiseOp<Sha256CharFunc<N>, Char64, cell_of_width_t<N>>;

bool registerDigests() {
  const std::vector<OpRegistration> ops = {
      opEntry<Sha256CharOp<8>>(2277),
      opEntry<Sha256CharOp<16>>(2278),
      opEntry<Sha256CharOp<32>>(2279),
      opEntry<Sha256CharOp<64>>(2280),
      opEntry<Sha256CharOp<128>>(2281),
      opEntry<Sha256CharOp<256>>(2282),
      opEntry<ElementwiseOp<Sha256StringFunc, Char64, StringCell>>(2283),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerDigests();

} // namespace

} // namespace vela::cuda
