// SHA256 (charN) and STRING_SHA256 through both evaluators against reference digests (computed outside
// the code, see Sha256Vectors.h): the digest of the text as 64 lower-case hex characters in a char64
// cell, character 0 at the highest byte.
#include "cuda/ManagedObjects.h"
#include "tests/base/Sha256Vectors.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using Char64 = fixed_array_t<64>;

namespace {

const std::string kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

template <std::size_t W>
void expectCharDigests(int code) {
  std::vector<Row<Char64, Text<W>>> rows;
  for (const Sha256Vector& v : kSha256Vectors)
    if (v.text.size() <= W && v.text.find('\0') == std::string::npos)
      rows.push_back({{txt<W>(v.text)}, packed<Char64>(v.hex)});
  // A caller's cell with a NUL inside: the text ends there ("ab"), the bytes after it are not digested.
  Text<W> hostile = txt<W>("ab");
  vela::cuda::charn::at(hostile, 3) = 'c';
  rows.push_back({{hostile}, packed<Char64>(kSha256Vectors[8].hex)});
  expectTable<Char64, Text<W>>(code, rows);
}

TEST(Digest, Sha256OfFixedWidthTextIsTheDigestOfItsText) {
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (expectCharDigests<std::size_t{1} << K>(2274 + int(K)), ...);
  }
  (std::index_sequence<3, 4, 5, 6, 7, 8>{});
}

TEST(Digest, StringSha256OfTheBytes) {
  std::vector<std::optional<std::string>> texts;
  std::vector<Char64> digests;
  for (const Sha256Vector& v : kSha256Vectors) {
    texts.push_back(v.text);
    digests.push_back(packed<Char64>(v.hex));
  }
  texts.push_back(std::nullopt); // absent: digested as the empty text (the row's null state is the program's)
  digests.push_back(packed<Char64>(kEmptyDigest));
  HarnessCase(Program().column(kLoadString, 0).op(2283)).addStringColumn(texts).expectRows<Char64>(digests);

  // A constant operand, present and absent.
  StringObjects objects;
  HarnessCase(Program().pointerConstant(kConstString, objects.make("abc")).op(2283))
      .rows(1)
      .rowCounts({63, 65, 1000})
      .expectRows<Char64>({packed<Char64>(kSha256Vectors[0].hex)});
  HarnessCase(Program().pointerConstant(kConstString, nullptr).op(2283))
      .rows(1)
      .expectRows<Char64>({packed<Char64>(kEmptyDigest)});
}

} // namespace
