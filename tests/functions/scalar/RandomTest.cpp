// Random values and UUIDs through both evaluators: values against independent models (the standard
// library's minimal-standard engine stepped one draw at a time; MurmurHash3_x64_128 through the base
// library's published entry point), the same value for the same seed and global row whatever the batch
// layout, row count, constant or column seed and evaluator, and the UUID version and variant bits.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "base/MurmurHash3.h"
#include "cuda/VectorEvalTypes.h"
#include "tests/functions/scalar/ArithmeticTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::math;
using vela::cuda::fixed_array_t;

namespace {

constexpr int kRand = 1262, kRand2 = 1263, kUuid = 1264, kUuid2 = 1265;
using Uuid = fixed_array_t<16>;

// The generator seeded with s, advanced s draws one by one, then drawn once more.
float randModel(std::uint64_t seed, std::uint64_t offset, std::uint64_t row) {
  const std::uint64_t x = seed + offset + row;
  const auto s = static_cast<std::uint32_t>(x ^ (x >> 16));
  std::minstd_rand engine(s); // a seed of 0 (mod 2^31 - 1) becomes 1
  engine.discard(s);
  const auto state = static_cast<std::int64_t>(engine());
  return static_cast<float>(state - 1) * 4.656613e-10f + 0.0f;
}

Uuid uuidModel(long key, std::uint64_t offset, std::uint64_t row) {
  unsigned char h[16];
  vela::MurmurHash3_x64_128(&key, 8, static_cast<std::uint32_t>(row + offset), h);
  Uuid u;
  std::memcpy(u.bytes, h, 16);
  u.bytes[7] = static_cast<unsigned char>((h[7] & 0x3F) | 0x80);
  u.bytes[9] = static_cast<unsigned char>((h[9] & 0x0F) | 0x40);
  return u;
}

// Runs `op` over a seed column (or a constant seed) at `rows` rows and the given row offset.
template <class Out>
std::vector<Out> runSeeded(int op, const std::vector<long>& seeds, unsigned long rows, unsigned long offset,
                           bool constantSeed = false) {
  Program p;
  if (constantSeed)
    p.constant(Storage<long>::constant, seeds.at(0));
  else
    p.column(Storage<long>::load, 0);
  p.op(op);
  HarnessCase c(p);
  if (!constantSeed)
    c.addColumn<long>(seeds);
  c.rows(rows).rowDependent().rowOffset(offset);
  const HarnessResult r = c.run();
  std::vector<Out> out;
  for (unsigned long i = 0; i < r.rows; ++i)
    out.push_back(r.value<Out>(i));
  return out;
}

// Seeds whose scrambled value s stays small enough for the model to step through one draw at a time,
// including x = 0 (seeded as 1) and a negative seed that wraps x back to small values.
std::vector<long> modelSeeds(unsigned long rows) {
  std::vector<long> seeds;
  for (unsigned long i = 0; i < rows; ++i)
    seeds.push_back(i % 5 == 0 ? 1'000'000 + static_cast<long>(i) : static_cast<long>(i * 37 % 1000));
  return seeds;
}

TEST(RandomValues, MatchTheGeneratorSteppedOneDrawAtATime) {
  const unsigned long rows = 130, offset = 1000;
  const std::vector<long> seeds = modelSeeds(rows);
  for (int op : {kRand, kRand2}) {
    const std::vector<float> got = runSeeded<float>(op, seeds, rows, offset);
    ASSERT_EQ(got.size(), rows);
    for (unsigned long r = 0; r < rows; ++r) {
      ASSERT_EQ(got[r], randModel(static_cast<std::uint64_t>(seeds[r]), offset, r)) << "row " << r;
      EXPECT_GE(got[r], 0.0f);
      EXPECT_LE(got[r], 1.0f);
    }
  }
  // x = 0 seeds the generator with 1: the first draw is the multiplier itself.
  const std::vector<float> zero = runSeeded<float>(kRand, {-5}, 1, 5);
  EXPECT_EQ(zero[0], static_cast<float>(48271 - 1) * 4.656613e-10f);
}

TEST(RandomValues, SameSeedAndRowGiveTheSameValueInEveryLayout) {
  // Seeds that scramble to large s, out of the model's reach, compared between layouts only.
  std::vector<long> seeds;
  for (unsigned long i = 0; i < 1100; ++i)
    seeds.push_back(static_cast<long>(i * 0x9E3779B97F4A7C15ul));
  const unsigned long offset = 77;
  const std::vector<float> all = runSeeded<float>(kRand, seeds, 1100, offset);
  // Fewer rows: one batch on the calling thread, two chunks, one row (the row evaluator).
  for (unsigned long rows : {1ul, 63ul, 64ul, 65ul, 700ul}) {
    const std::vector<float> part =
        runSeeded<float>(kRand, std::vector<long>(seeds.begin(), seeds.begin() + long(rows)), rows, offset);
    for (unsigned long r = 0; r < rows; ++r)
      ASSERT_EQ(part[r], all[r]) << rows << " rows, row " << r;
  }
  // A constant seed gives what a column of that seed gives.
  const std::vector<float> constant = runSeeded<float>(kRand, {seeds[3]}, 200, offset, true);
  const std::vector<float> column = runSeeded<float>(kRand, std::vector<long>(200, seeds[3]), 200, offset);
  EXPECT_EQ(constant, column);
  // The row offset shifts the row number: offset + 10 at row r is offset at row r + 10.
  const std::vector<float> shifted =
      runSeeded<float>(kRand, std::vector<long>(190, seeds[3]), 190, offset + 10);
  for (unsigned long r = 0; r < 190; ++r)
    ASSERT_EQ(shifted[r], column[r + 10]) << "row " << r;
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
      ASSERT_EQ(got[r], uuidModel(keys[r], offset, r)) << "row " << r;
      EXPECT_EQ(got[r].bytes[9] >> 4, 4) << "version";
      EXPECT_EQ(got[r].bytes[7] >> 6, 2) << "variant";
    }
  }
}

TEST(Uuids, DependOnTheRowNotTheBatch) {
  const std::vector<long> keys(400, 42);
  const std::vector<Uuid> all = runSeeded<Uuid>(kUuid, keys, 400, 3);
  const std::vector<Uuid> constant = runSeeded<Uuid>(kUuid, {42}, 400, 3, true);
  EXPECT_EQ(all, constant);
  const std::vector<Uuid> one = runSeeded<Uuid>(kUuid, {42}, 1, 3 + 399);
  EXPECT_EQ(one[0], all[399]);
  // One key, different rows: different UUIDs.
  EXPECT_NE(all[0], all[1]);
}

} // namespace
