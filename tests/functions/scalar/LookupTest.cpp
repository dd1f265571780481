// IN, FIND, FIND_RANGE and LOOKUP over constant lists through both evaluators: the membership search at
// every list size from 1 to 17 (present and absent values, both ends), one list per batch or one per
// row, half-open ranges, positions out of range and the states of LOOKUP. Every storage type's codes
// run in CompareStorageTypesTest.
#include <cmath>
#include <limits>

#include "functions/scalar/CompareFunctors.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

constexpr std::int32_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kI32Max = std::numeric_limits<std::int32_t>::max();

TEST(ListSearch, ProbesExactlyFloorLog2PlusOneTimes) {
  for (std::uint32_t n = 1; n <= 1000; ++n) {
    int probes = 0;
    vela::cuda::probeSortedKeys(
        n, [&](std::uint32_t) { return ++probes, false; }, [](std::uint32_t) { return true; });
    EXPECT_EQ(probes, static_cast<int>(std::floor(std::log2(n))) + 1) << n << " keys";
  }
}

TEST(ListSearch, InAndFindAtEveryListSizeUpTo17) {
  for (int n = 1; n <= 17; ++n) {
    SCOPED_TRACE(std::to_string(n) + " keys");
    std::vector<std::int32_t> keys, results, values = {kI32Min, kI32Max}, found;
    for (int i = 0; i < n; ++i) {
      keys.push_back(10 * i);
      results.push_back(3 * i + 1);
    }
    for (int v = -5; v <= 10 * (n - 1) + 5; v += 5)
      values.push_back(v);
    std::vector<Bool> in;
    for (std::int32_t v : values) {
      const bool present = v >= 0 && v <= 10 * (n - 1) && v % 10 == 0;
      in.push_back(present);
      found.push_back(present ? 3 * (v / 10) + 1 : -1);
    }
    for (TypedRpnOp code : {1018, 1028, 1029})
      HarnessCase(Program().column(kLoadI32, 0).list(kListI32, keys).op(code))
          .addColumn<std::int32_t>(values)
          .expectRows<Bool>(in);
    for (TypedRpnOp code : {1892, 1901, 1902})
      HarnessCase(Program().column(kLoadI32, 0).list(kListI32, keys, results).op(code))
          .addColumn<std::int32_t>(values)
          .expectRows<std::int32_t>(found);
  }
}

TEST(ListSearch, OneListPerRow) {
  // A column of list pointers: each row searches its own list; a null list contains nothing. FIND
  // without a parallel result array gives the key's position.
  const std::vector<std::int64_t> small = {1, 5}, large = {2, 4, 6, 8, 10};
  const TypedVec a{2, small.data(), nullptr}, b{5, large.data(), nullptr};
  const std::vector<const TypedVec*> lists = {&a, &b, &a, &b, nullptr};
  const std::vector<std::int64_t> values = {5, 5, 1, 10, 1};
  HarnessCase(Program().column(kLoadI64, 0).column(kLoadU64, 1).op(1021))
      .addColumn(values)
      .addColumn(lists)
      .expectRows<Bool>({1, 0, 1, 1, 0});
  HarnessCase(Program().column(kLoadI64, 0).column(kLoadU64, 1).op(1893))
      .addColumn(values)
      .addColumn(lists)
      .expectRows<std::int32_t>({1, -1, 0, 4, -1});
}

TEST(FindRange, HalfOpenRanges) {
  // Ranges [10, 20) -> 0 and [30, 40) -> 1.
  const std::vector<std::int32_t> bounds = {10, 30}, ends = {20, 40};
  for (TypedRpnOp code : {1913, 1922, 1923})
    HarnessCase(Program().column(kLoadI32, 0).list(kListI32, bounds, {0, 1}).list(kListI32, ends).op(code))
        .addColumn<std::int32_t>({9, 10, 19, 20, 25, 30, 39, 40, kI32Min, kI32Max})
        .expectRows<std::int32_t>({-1, 0, 0, -1, -1, 1, 1, -1, -1, -1});
  // The range index beside a bound picks the upper bound; an index past the upper list gives -1.
  const std::vector<std::int64_t> lower = {10, 15, 50}, upper = {100, 12};
  HarnessCase(Program().column(kLoadI64, 0).list(kListI64, lower, {1, 0, 7}).list(kListI64, upper).op(1914))
      .addColumn<std::int64_t>({11, 12, 16, 49, 50, 60})
      .expectRows<std::int32_t>({1, -1, 0, 0, -1, -1});
}

TEST(Lookup, WithStates) {
  ScopedStateLoads states;
  const std::vector<std::int64_t> elements = {100, 200};
  const TypedVec list{2, elements.data(), nullptr};
  // position, list, position state, default state (default 7) -> value, state
  struct Row {
    std::int32_t p;
    const TypedVec* list;
    State sp, sd;
    std::int64_t value;
    State state;
  };
  const Row rows[] = {{1, &list, 0, 17, 200, 0}, {5, &list, 0, 0, 7, 0},  {5, &list, 0, 1, 7, 1},
                      {-1, &list, 0, 17, 7, 17}, {1, &list, 1, 0, 7, 1},  {1, &list, 2, 0, 7, 2},
                      {0, nullptr, 0, 0, 7, 1},  {0, &list, 0, 2, 100, 0}};
  std::vector<std::int32_t> p;
  std::vector<const TypedVec*> lists;
  std::vector<std::int64_t> values;
  std::vector<State> sp, sd, want;
  for (const Row& r : rows) {
    p.push_back(r.p);
    lists.push_back(r.list);
    sp.push_back(r.sp);
    sd.push_back(r.sd);
    values.push_back(r.value);
    want.push_back(r.state);
  }
  for (TypedRpnOp code : {1956, 1962, 1963}) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    Program prog;
    prog.column(kLoadI32, 0).column(kLoadU64, 1).column(kLoadI64, 2);
    HarnessCase(prog.column(kLoadStates, 3).column(kLoadStates, 4).op(code))
        .addColumn(p)
        .addColumn(lists)
        .addColumn(std::vector<std::int64_t>(p.size(), 7))
        .addColumn(sp)
        .addColumn(sd)
        .expectRows<std::int64_t>(values, want, worstCode(want));
  }
}

} // namespace
