// Random values and UUIDs through both evaluators: values against independent models (the standard
// library's minimal-standard engine stepped one draw at a time; MurmurHash3_x64_128 through the base
// library's published entry point), the same value for the same seed and global row whatever the batch
// layout, row count, constant or column seed and evaluator, and the UUID version and variant bits.
#include <random>

#include "base/MurmurHash3.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr int kRand = 1262, kRand2 = 1263, kUuid = 1264, kUuid2 = 1265;
using Uuid = fixed_array_t<16>;

// The generator seeded with s, advanced s draws one by one, then drawn once more.
float randModel(std::uint64_t seed, std::uint64_t offset, std::uint64_t row) {
  const std::uint64_t x = seed + offset + row;
  const auto s = static_cast<std::uint32_t>(x ^ (x >> 16));
  std::minstd_rand engine(s); // a seed of 0 (mod 2^31 - 1) becomes 1
  engine.discard(s);
  return static_cast<float>(static_cast<std::int64_t>(engine()) - 1) * 4.656613e-10f + 0.0f;
}

// Runs `op` over a seed column (or a constant seed) at `rows` rows and the given row offset.
template <class Out>
std::vector<Out> runSeeded(int op, const std::vector<long>& seeds, unsigned long rows, unsigned long offset,
                           bool constantSeed = false) {
  Program p;
  HarnessCase c(p);
  if (constantSeed) {
    p.constant(kConstI64, seeds.at(0));
  } else {
    p.column(kLoadI64, 0);
    c.addColumn<long>(seeds);
  }
  p.op(op);
  const HarnessResult r = c.rows(rows).rowDependent().rowOffset(offset).run();
  std::vector<Out> out;
  for (unsigned long i = 0; i < r.rows; ++i)
    out.push_back(r.value<Out>(i));
  return out;
}

TEST(RandomValues, MatchTheGeneratorSteppedOneDrawAtATime) {
  // Seeds whose scrambled value stays small enough for the model to step through one draw at a time.
  const unsigned long rows = 130, offset = 1000;
  std::vector<long> seeds;
  for (unsigned long i = 0; i < rows; ++i)
    seeds.push_back(i % 5 == 0 ? 1'000'000 + static_cast<long>(i) : static_cast<long>(i * 37 % 1000));
  for (int op : {kRand, kRand2}) {
    const std::vector<float> got = runSeeded<float>(op, seeds, rows, offset);
    ASSERT_EQ(got.size(), rows);
    for (unsigned long r = 0; r < rows; ++r)
      ASSERT_EQ(got[r], randModel(static_cast<std::uint64_t>(seeds[r]), offset, r)) << "row " << r;
  }
  // x = 0 (a negative seed wrapping back) seeds the generator with 1: the first draw is the multiplier.
  EXPECT_EQ(runSeeded<float>(kRand, {-5}, 1, 5)[0], static_cast<float>(48271 - 1) * 4.656613e-10f);
}

TEST(RandomValues, SameSeedAndRowGiveTheSameValueInEveryLayout) {
  // Seeds that scramble to large s, out of the model's reach, compared between layouts only.
  std::vector<long> seeds;
  for (unsigned long i = 0; i < 1100; ++i)
    seeds.push_back(static_cast<long>(i * 0x9E3779B97F4A7C15ul));
  const unsigned long offset = 77;
  const std::vector<float> all = runSeeded<float>(kRand, seeds, 1100, offset);
  // Fewer rows: one batch on the calling thread, two chunks, one row (the row evaluator).
  for (unsigned long rows : {1ul, 65ul, 700ul}) {
    const std::vector<float> part =
        runSeeded<float>(kRand, std::vector<long>(seeds.begin(), seeds.begin() + long(rows)), rows, offset);
    ASSERT_TRUE(std::equal(part.begin(), part.end(), all.begin())) << rows << " rows";
  }
  // A constant seed gives what a column of that seed gives; the row offset shifts the row number.
  const std::vector<float> column = runSeeded<float>(kRand, std::vector<long>(200, seeds[3]), 200, offset);
  EXPECT_EQ(runSeeded<float>(kRand, {seeds[3]}, 200, offset, true), column);
  const std::vector<float> shifted =
      runSeeded<float>(kRand, std::vector<long>(190, seeds[3]), 190, offset + 10);
  EXPECT_TRUE(std::equal(shifted.begin(), shifted.end(), column.begin() + 10));
}

TEST(Uuids, MatchMurmurHashOfTheKeyWithVersionAndVariantBits) {
  const unsigned long rows = 300, offset = 0xFFFFFFF0ul; // the 32-bit seed wraps within the call
  std::vector<long> keys;
  for (unsigned long i = 0; i < rows; ++i)
    keys.push_back(static_cast<long>(i * 0x2545F4914F6CDD1Dul));
  for (int op : {kUuid, kUuid2}) {
    const std::vector<Uuid> got = runSeeded<Uuid>(op, keys, rows, offset);
    ASSERT_EQ(got.size(), rows);
    for (unsigned long r = 0; r < rows; ++r) {
      unsigned char h[16];
      vela::MurmurHash3_x64_128(&keys[r], 8, static_cast<std::uint32_t>(r + offset), h);
      Uuid want;
      std::memcpy(want.bytes, h, 16);
      want.bytes[7] = static_cast<unsigned char>((h[7] & 0x3F) | 0x80); // variant
      want.bytes[9] = static_cast<unsigned char>((h[9] & 0x0F) | 0x40); // version 4
      ASSERT_EQ(got[r], want) << "row " << r;
    }
  }
  // The same key in a constant gives the same UUIDs; one row alone at the last row's offset too.
  const std::vector<Uuid> all = runSeeded<Uuid>(kUuid, std::vector<long>(400, 42), 400, 3);
  EXPECT_EQ(runSeeded<Uuid>(kUuid, {42}, 400, 3, true), all);
  EXPECT_EQ(runSeeded<Uuid>(kUuid, {42}, 1, 3 + 399)[0], all[399]);
}

} // namespace
