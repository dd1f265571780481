// CHAR_SOUNDEX, CHAR_DIFFERENCE and CHAR_EDIT_DISTANCE through both evaluators: published soundex codes,
// hand-computed differences and distances, and random pairs against a dynamic-programming model.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;

namespace {

TEST(CharFuncSoundex, PublishedCodes) {
  using R16 = Row<Text<4>, Text<16>>;
  auto r = [](const char* name, const char* code) { return R16{{txt<16>(name)}, txt<4>(code)}; };
  expectTable<Text<4>>(1754,
                       std::vector<R16>{r("Robert", "R163"), r("Rupert", "R163"), r("Ashcraft", "A261"),
                                        r("Tymczak", "T522"), r("Pfister", "P236"), r("Honeyman", "H555"),
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
  expectTable<int>(1764,
                   std::vector<D>{r("Robert", "Rupert", 4), r("Robert", "Tymczak", 0), r("Lee", "Lloyd", 3),
                                  r("123", "", 4), r("123", "Lee", 0), r("Ashcraft", "Ashcroft", 4)});
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

// Levenshtein by the full matrix, cells kept modulo 256 as the op's 8-bit rows keep them.
int modelDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<int>> d(a.size() + 1, std::vector<int>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i)
    for (std::size_t j = 0; j <= b.size(); ++j)
      d[i][j] = (i == 0 || j == 0 ? static_cast<int>(i + j)
                                  : std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                              d[i - 1][j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)})) %
                256;
  return d[a.size()][b.size()];
}

template <std::size_t N>
void randomDistances(std::mt19937& gen) {
  std::vector<Text<N>> as, bs;
  std::vector<int> expected;
  for (int n = 0; n < 300; ++n) {
    // Short texts in the wide cells keep the harness's thousands of rows quick.
    const std::size_t most = std::min<std::size_t>(N, 48);
    const std::string a = n % 11 == 0 ? std::string(N, 'a') : draw(gen, most, "abc"),
                      b = draw(gen, most, "abc");
    as.push_back(txt<N>(a));
    bs.push_back(txt<N>(b));
    expected.push_back(modelDistance(a, b));
  }
  expectColumns<int>(2172 + std::countr_zero(N), expected, as, bs);
}

TEST(CharFuncEditDistance, RandomPairsAgainstTheModel) {
  std::mt19937 gen(515);
  randomDistances<2>(gen);
  randomDistances<4>(gen);
  randomDistances<32>(gen);
  randomDistances<256>(gen);
  // Distances of 256 and more: two full char256 texts with nothing in common are 256 edits apart,
  // which the 8-bit cells give as 0; 'y' against 256 x's reduces to 1 (the border cell 256 is 0).
  const std::string x(256, 'x'), y(256, 'y');
  EXPECT_EQ(modelDistance(x, y), 0);
  EXPECT_EQ(modelDistance("y", x), 1);
  vela::ParserUtils::Program p;
  p.column(kLoadChar + 8, 0).column(kLoadChar + 8, 1).op(2180);
  HarnessCase c(p);
  c.addColumn(std::vector{txt<256>(x), txt<256>("y")}).addColumn(std::vector{txt<256>(y), txt<256>(x)});
  c.rowCounts({1, 65}); // 65k steps a row: the standard thousands of rows would take seconds
  c.expectRows<int>({0, 1});
}

} // namespace
