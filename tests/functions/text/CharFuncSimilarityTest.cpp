// CHAR_SOUNDEX, CHAR_DIFFERENCE and CHAR_EDIT_DISTANCE through both evaluators: published soundex codes,
// hand-computed differences and distances (the kernels meet their models in MatchersTest).
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

TEST(CharFuncSoundex, PublishedCodes) {
  using R16 = Row<Text<4>, Text<16>>;
  auto r = [](const char* name, const char* code) { return R16{{txt<16>(name)}, txt<4>(code)}; };
  expectTable<Text<4>>(1754, std::vector<R16>{r("Robert", "R163"), r("Honeyman", "H555"),
                                              r("  lloyd", "L300"), r("123", ""), r("", "")});
  expectTable<Text<4>>(
      1750, std::vector<Row<Text<4>, Text<1>>>{{{txt<1>("q")}, txt<4>("Q000")}, {{txt<1>("7")}, txt<4>("")}});
  const std::string tail = std::string(250, ' ') + "Pfister"; // letters only at the far end of a char256
  expectTable<Text<4>>(1758,
                       std::vector<Row<Text<4>, Text<256>>>{{{txt<256>(tail.substr(1))}, txt<4>("P236")}});
}

TEST(CharFuncSoundex, DifferenceCountsAgreeingPositions) {
  using D = Row<int, Text<16>, Text<16>>;
  auto r = [](const char* a, const char* b, int n) { return D{{txt<16>(a), txt<16>(b)}, n}; };
  expectTable<int>(1764, std::vector<D>{r("Robert", "Rupert", 4), r("Lee", "Lloyd", 3), r("123", "", 4),
                                        r("123", "Lee", 0)});
  expectTable<int>(1760, std::vector<Row<int, Text<1>, Text<1>>>{{{txt<1>("a"), txt<1>("A")}, 4},
                                                                 {{txt<1>("a"), txt<1>("b")}, 3}});
}

TEST(CharFuncEditDistance, Rows) {
  using E = Row<int, Text<8>, Text<8>>;
  auto r = [](const char* a, const char* b, int n) { return E{{txt<8>(a), txt<8>(b)}, n}; };
  expectTable<int>(2175,
                   std::vector<E>{r("flaw", "lawn", 2), r("", "abc", 3), r("kitten", "sitting", 3),
                                  r("abcdefgh", "", 8), r("abcdefgh", "abcdefgh", 0), r("ab", "ba", 2)});
}

// The kernels are checked against a model at every width in MatchersTest; here each width's op.
template <std::size_t N>
void distances(int code) {
  const std::string full(N, 'a');
  expectColumns<int>(code, {2, 2, 0, int(N % 256)}, txts<N>({"ab", "", "ab", full}),
                     txts<N>({"ba", "ab", "ab", ""}));
}

TEST(CharFuncEditDistance, EveryWidthAndTheEightBitWrap) {
  distances<2>(2173);
  distances<4>(2174);
  distances<32>(2177);
  distances<256>(2180);
  // Two full char256 texts with nothing in common are 256 edits apart, which the 8-bit cells give as 0;
  // 'y' against 256 x's reduces to 1 (the border cell 256 is 0). 65k steps a row: few row counts.
  const std::string x(256, 'x'), y(256, 'y');
  HarnessCase(loadColumns({kLoadChar + 8, kLoadChar + 8}).op(2180))
      .addColumn(std::vector{txt<256>(x), txt<256>("y")})
      .addColumn(std::vector{txt<256>(y), txt<256>(x)})
      .rowCounts({1, 65})
      .expectRows<int>({0, 1});
}

} // namespace
