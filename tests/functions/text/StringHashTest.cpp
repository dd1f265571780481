// The MurmurHash3 string hashes through both evaluators against a model of MurmurHash3_x64_128 written
// here from the published algorithm (byte-wise tail switch, two 64-bit seeds), itself checked against
// the algorithm's published verification value. Strings of every tail length, several blocks, NUL bytes
// and an absent string (hashed as the empty one); column and constant seeds.
#include <cstdint>
#include <cstring>
#include <random>

#include "cuda/ManagedObjects.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using vela::cuda::InlineBuffer;
using U128 = fixed_array_t<16>;

namespace {

std::uint64_t rotl(std::uint64_t x, int r) {
  return (x << r) | (x >> (64 - r));
}
std::uint64_t fmix(std::uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  return k ^ (k >> 33);
}
std::uint64_t block(const std::uint8_t* p) { // little-endian, byte by byte
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i)
    v = v << 8 | p[i];
  return v;
}

struct Model {
  std::uint64_t h1, h2;
};
Model model(const std::string& key, std::uint64_t seed1, std::uint64_t seed2) {
  const std::uint64_t c1 = 0x87c37b91114253d5ULL, c2 = 0x4cf5ad432745937fULL;
  const auto* data = reinterpret_cast<const std::uint8_t*>(key.data());
  const std::size_t len = key.size(), nblocks = len / 16;
  std::uint64_t h1 = seed1, h2 = seed2;
  for (std::size_t i = 0; i < nblocks; ++i) {
    std::uint64_t k1 = block(data + 16 * i), k2 = block(data + 16 * i + 8);
    k1 *= c1, k1 = rotl(k1, 31), k1 *= c2, h1 ^= k1;
    h1 = rotl(h1, 27), h1 += h2, h1 = h1 * 5 + 0x52dce729;
    k2 *= c2, k2 = rotl(k2, 33), k2 *= c1, h2 ^= k2;
    h2 = rotl(h2, 31), h2 += h1, h2 = h2 * 5 + 0x38495ab5;
  }
  const std::uint8_t* tail = data + 16 * nblocks;
  // Tail bytes 0-7 go to k1 and 8-15 to k2, little-endian; a word is mixed in when any byte reached it.
  const std::size_t rest = len & 15;
  std::uint64_t k1 = 0, k2 = 0;
  for (std::size_t i = rest; i-- > 0;)
    (i >= 8 ? k2 : k1) ^= std::uint64_t(tail[i]) << (8 * (i & 7));
  if (rest > 8)
    k2 *= c2, k2 = rotl(k2, 33), k2 *= c1, h2 ^= k2;
  if (rest > 0)
    k1 *= c1, k1 = rotl(k1, 31), k1 *= c2, h1 ^= k1;
  h1 ^= len, h2 ^= len;
  h1 += h2, h2 += h1;
  h1 = fmix(h1), h2 = fmix(h2);
  h1 += h2, h2 += h1;
  return {h1, h2};
}

U128 cell(Model m) {
  U128 c;
  std::memcpy(c.bytes, &m.h1, 8);
  std::memcpy(c.bytes + 8, &m.h2, 8);
  return c;
}
U128 seedCell(std::uint64_t lo, std::uint64_t hi) {
  return cell({lo, hi});
}

TEST(StringHash, ModelMatchesThePublishedVerificationValue) {
  std::string hashes;
  std::string key;
  for (int i = 0; i < 256; ++i) {
    const Model m = model(key, std::uint64_t(256 - i), std::uint64_t(256 - i));
    hashes.append(reinterpret_cast<const char*>(&m.h1), 8).append(reinterpret_cast<const char*>(&m.h2), 8);
    key.push_back(static_cast<char>(i));
  }
  EXPECT_EQ(static_cast<std::uint32_t>(model(hashes, 0, 0).h1), 0x6384BA69u);
}

// Strings of every tail length over one to three blocks, NUL and high bytes, and an absent string.
std::vector<Str> sampleTexts() {
  std::vector<Str> texts = {std::string("a\0b", 3), "\xff\x80", std::nullopt, ""};
  std::mt19937 gen(7);
  for (std::size_t len = 1; len <= 48; ++len) {
    std::string s(len, ' ');
    for (char& c : s)
      c = static_cast<char>(gen());
    texts.push_back(s);
  }
  return texts;
}

// Runs `code` over the sample strings (column 0) and, unless seedLoad is -1, a column of the seeds
// cycled (column 1), and checks each row against `expected`.
template <class Out, class Seed>
void expectHashes(TypedRpnOp code, int seedLoad, const std::vector<Seed>& seeds,
                  Out (*expected)(const std::string&, const Seed&)) {
  const std::vector<Str> texts = sampleTexts();
  Program p;
  p.column(kLoadString, 0);
  if (seedLoad >= 0)
    p.column(seedLoad, 1);
  p.op(code);
  HarnessCase c(p);
  c.addStringColumn(texts);
  std::vector<Seed> seedColumn;
  std::vector<Out> want;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    seedColumn.push_back(seeds[i % seeds.size()]);
    want.push_back(expected(texts[i].value_or(""), seedColumn.back()));
  }
  if (seedLoad >= 0)
    c.addColumn(seedColumn);
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
  c.expectRows<Out>(want);
}

const std::vector<long> kSeeds64 = {0, 10, -1, 0x123456789abcdefL, std::numeric_limits<long>::min()};
const std::vector<U128> kSeeds128 = {seedCell(0, 0), seedCell(10, 10), seedCell(1, 2), seedCell(~0ull, 5)};

TEST(StringHash, EveryFormAgainstTheModel) {
  for (TypedRpnOp code : {2217, 2221})
    expectHashes<long, long>(code, kLoadI64, kSeeds64, [](const std::string& s, const long& seed) {
      return static_cast<long>(model(s, std::uint64_t(seed), std::uint64_t(seed)).h1);
    });
  for (TypedRpnOp code : {2243, 2247})
    expectHashes<U128, U128>(code, kLoadU128, kSeeds128, [](const std::string& s, const U128& seed) {
      std::uint64_t lo, hi;
      std::memcpy(&lo, seed.bytes, 8);
      std::memcpy(&hi, seed.bytes + 8, 8);
      return cell(model(s, lo, hi));
    });
  for (TypedRpnOp code : {2249, 2250})
    expectHashes<U128, long>(code, kLoadI64, kSeeds64, [](const std::string& s, const long& seed) {
      return cell(model(s, std::uint64_t(seed), std::uint64_t(seed)));
    });
  for (TypedRpnOp code : {2271, 2275})
    expectHashes<U128, long>(code, -1, {0L},
                             [](const std::string& s, const long&) { return cell(model(s, 10, 10)); });
  // Bucket: the seed-10 first half, unsigned, modulo m; -1 for a modulus of 0 or below.
  expectHashes<int, int>(
      2285, kLoadI32, {1, 7, 1000, 0, -5, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()},
      [](const std::string& s, const int& m) {
        return m <= 0 ? -1 : static_cast<int>(model(s, 10, 10).h1 % std::uint64_t(m));
      });
}

TEST(StringHash, ConstantStringAndSeed) {
  StringObjects objects;
  const InlineBuffer<char>* text = objects.make("seventeen bytes + 2");
  const Model m = model("seventeen bytes + 2", 42, 42);
  HarnessCase(Program().pointerConstant(kConstString, text).constant(kConstI64, 42L).op(2217))
      .rows(1)
      .rowCounts({63, 65, 1000})
      .expectRows<long>({static_cast<long>(m.h1)});
  HarnessCase(Program().column(kLoadString, 0).constant(kConstI64, 42L).op(2249))
      .addStringColumn({"seventeen bytes + 2", std::nullopt})
      .expectRows<U128>({cell(m), cell(model("", 42, 42))});
  HarnessCase(Program().pointerConstant(kConstString, text).column(kLoadI32, 0).op(2285))
      .addColumn<int>({3, 0})
      .expectRows<int>({static_cast<int>(model("seventeen bytes + 2", 10, 10).h1 % 3), -1});
}

} // namespace
