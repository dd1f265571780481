// Every comparison, GREATEST/LEAST, IS NOT DISTINCT FROM, IN, FIND, FIND_RANGE and LOOKUP code of every
// storage type, through both evaluators. Each storage type is given as hand-sorted distinct values
// (text sorted by std::string, whose order is unsigned bytes), so the expected result of every op follows
// from the positions of its operands in that list; the codes of each function and type are taken from
// the op catalogue.
#include <algorithm>
#include <limits>

#include "tests/functions/scalar/FamilyTestSupport.h"

using namespace quarry::test;

namespace {

using vela::ParserUtils::OpFamily;

/// The comparison-family codes named `prefix` + a type suffix whose operand `operand` is one of `kinds`
/// ("i32", "char8", ...), in code order; names starting with `exclude` are skipped.
std::vector<TypedRpnOp> codesOf(std::string_view prefix, int operand, const std::vector<std::string>& kinds,
                                std::string_view exclude = {}) {
  std::vector<TypedRpnOp> codes;
  for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code) {
    const vela::ParserUtils::OpInfo* info = vela::ParserUtils::opInfo(code);
    const std::string_view name = info->name;
    if (info->family != OpFamily::Compare || !name.starts_with(prefix) ||
        (!exclude.empty() && name.starts_with(exclude)) || info->numOperands <= operand)
      continue;
    for (const std::string& kind : kinds)
      if (vela::ParserUtils::rpnDataTypeFromShortName(kind) == info->operands[operand])
        codes.push_back(code);
  }
  return codes;
}

TEST(CompareRegistration, EveryCodeHasAKernelInBothEvaluatorsAndNoneWasRefused) {
  EXPECT_TRUE(vela::cuda::opRegistrationErrors().empty()) << vela::cuda::opRegistrationErrors().front();
  for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code)
    if (vela::ParserUtils::opFamily(code) == OpFamily::Compare) {
      EXPECT_NE(vela::cuda::OpHandlerTable<vela::cuda::TypedRpnVectorEvaluator>::find(code), nullptr) << code;
      EXPECT_NE(vela::cuda::OpHandlerTable<vela::cuda::TypedRpnValueEvaluator>::find(code), nullptr) << code;
    }
}

template <class T>
struct StorageCase {
  std::vector<std::string> kinds; // catalogue types held as T
  TypedRpnOp load;
  std::optional<TypedRpnOp> constant;
  std::optional<TypedRpnOp> list; // none for bool
  std::vector<T> values;          // strictly ascending
};

// EQ ... GE, GREATEST, LEAST over all pairs (i, j) of values; the first code of each function also with
// either operand a constant.
template <class T>
void checkOrder(const StorageCase<T>& s) {
  const char* prefixes[8] = {"EQ_", "NE_", "LT_", "LE_", "GT_", "GE_", "GREATEST_", "LEAST_"};
  for (int k = 0; k < 8; ++k) {
    const std::vector<TypedRpnOp> codes = codesOf(prefixes[k], 0, s.kinds);
    if (k == 0) {
      ASSERT_FALSE(codes.empty()) << s.kinds[0];
    }
    for (TypedRpnOp code : codes) {
      SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
      // Operand forms: both columns, constant first, constant second.
      for (int form = 0; form < (s.constant && code == codes[0] ? 3 : 1); ++form) {
        const std::size_t fixed = s.values.size() / 2;
        std::vector<T> as, bs, chosen;
        std::vector<Bool> truths;
        for (std::size_t i = 0; i < s.values.size(); ++i)
          for (std::size_t j = 0; j < s.values.size(); ++j) {
            if ((form == 1 && i != fixed) || (form == 2 && j != fixed))
              continue;
            as.push_back(s.values[i]);
            bs.push_back(s.values[j]);
            chosen.push_back(s.values[k == 6 ? std::max(i, j) : std::min(i, j)]);
            const bool results[6] = {i == j, i != j, i<j, i <= j, i> j, i >= j};
            truths.push_back(k < 6 && results[k]);
          }
        Program p;
        form == 1 ? p.constant(*s.constant, s.values[fixed]) : p.column(s.load, 0);
        form == 2 ? p.constant(*s.constant, s.values[fixed]) : p.column(s.load, form == 1 ? 0 : 1);
        p.op(code);
        HarnessCase c(p);
        if (form != 1)
          c.addColumn<T>(as);
        if (form != 2)
          c.addColumn<T>(bs);
        if (k < 6)
          c.expectRows<Bool>(truths);
        else
          c.expectRows<T>(chosen);
      }
    }
  }
}

// IS NOT DISTINCT FROM: (state a, state b, equal values) -> (value, state).
template <class T>
void checkNotDistinct(const StorageCase<T>& s) {
  struct Row {
    State sa, sb;
    bool equal;
    Bool value;
    State state;
  };
  const Row rows[] = {{0, 0, true, 1, 0},   {0, 0, false, 0, 0},  {1, 1, false, 1, 0}, {1, 0, true, 0, 0},
                      {17, 0, true, 0, 17}, {0, 17, true, 0, 17}, {2, 17, true, 0, 2}, {1, 16, false, 0, 16}};
  ScopedStateLoads loads;
  std::vector<T> a, b;
  std::vector<State> sa, sb, states;
  std::vector<Bool> values;
  for (const Row& r : rows) {
    a.push_back(s.values[0]);
    b.push_back(s.values[r.equal ? 0 : 1]);
    sa.push_back(r.sa);
    sb.push_back(r.sb);
    values.push_back(r.value);
    states.push_back(r.state);
  }
  for (TypedRpnOp code : codesOf("IS_NOT_DISTINCT_FROM_", 0, s.kinds)) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    Program p;
    p.column(s.load, 0).column(kLoadStates, 1).column(s.load, 2).column(kLoadStates, 3).op(code);
    HarnessCase c(p);
    c.addColumn(a).addColumn(sa).addColumn(b).addColumn(sb);
    c.expectRows(values, states, worstCode(states));
  }
}

// With v0 < v1 < v2 < v3: IN and FIND over keys {v0, v2}; FIND_RANGE over [v0, v1) and [v2, v3); LOOKUP
// of {v1, v2, v3} with default v0, with and without states.
template <class T>
void checkLists(const StorageCase<T>& s) {
  const std::vector<T>& v = s.values;
  const std::vector<T> probes = {v[0], v[1], v[2], v[3]};
  auto run = [&](TypedRpnOp code, const Program& p, const auto& expected) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    HarnessCase(p)
        .addColumn<T>(probes)
        .template expectRows<typename std::decay_t<decltype(expected)>::value_type>(expected);
  };
  for (TypedRpnOp code : codesOf("IN_", 0, s.kinds))
    run(code, Program().column(s.load, 0).list(*s.list, std::vector<T>{v[0], v[2]}).op(code),
        std::vector<Bool>{1, 0, 1, 0});
  for (TypedRpnOp code : codesOf("FIND_", 0, s.kinds, "FIND_RANGE_"))
    run(code, Program().column(s.load, 0).list(*s.list, std::vector<T>{v[0], v[2]}, {5, 6}).op(code),
        std::vector<std::int32_t>{5, -1, 6, -1});
  const std::vector<T> starts = {v[0], v[2]}, ends = {v[1], v[3]};
  for (TypedRpnOp code : codesOf("FIND_RANGE_", 0, s.kinds))
    run(code, Program().column(s.load, 0).list(*s.list, starts, {0, 1}).list(*s.list, ends).op(code),
        std::vector<std::int32_t>{0, -1, 1, -1});
  // Positions before, in and past the list, and the ends of i32.
  const std::vector<std::int32_t> positions = {
      -1, 0, 2, 3, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
  const std::vector<T> defaults(positions.size(), v[0]);
  for (TypedRpnOp code : codesOf("LOOKUP_", 2, s.kinds, "LOOKUP_STATE_")) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    Program p;
    p.column(kLoadI32, 0).list(*s.list, std::vector<T>{v[1], v[2], v[3]}).column(s.load, 1).op(code);
    HarnessCase c(p);
    c.addColumn(positions).addColumn(defaults);
    c.expectRows(std::vector<T>{v[0], v[1], v[3], v[0], v[0], v[0]});
  }
  ScopedStateLoads loads;
  for (TypedRpnOp code : codesOf("LOOKUP_STATE_", 2, s.kinds)) {
    SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
    Program p;
    p.column(kLoadI32, 0).list(*s.list, std::vector<T>{v[1], v[2], v[3]}).column(s.load, 1);
    p.column(kLoadStates, 2).column(kLoadStates, 3).op(code);
    HarnessCase c(p);
    c.addColumn<std::int32_t>(positions).addColumn<T>(defaults);
    c.addColumn<State>({0, 0, 1, 0, 0, 0}).addColumn<State>({1, 1, 0, 0, 0, 1}); // position, default states
    c.expectRows<T>({v[0], v[1], v[0], v[0], v[0], v[0]}, {1, 0, 1, 0, 0, 1});
  }
}

template <class T>
void checkAll(const StorageCase<T>& s) {
  SCOPED_TRACE(s.kinds[0]);
  checkOrder(s);
  checkNotDistinct(s);
  if (s.list)
    checkLists(s);
}

// Text of char(2^k): bytes above 0x7f sort high, a shorter text before its extensions, and in wide
// cells texts that differ only past the first 8-byte word or only in the last character.
template <class T>
StorageCase<T> textCase(int k) {
  const std::size_t w = std::size_t(1) << k;
  std::vector<std::string> texts = {"",  "A",    "a",    "a\x01",    "ab",  "abcd",
                                    "b", "\x7f", "\x80", "\x80\x01", "\xff"};
  if (w >= 16)
    for (char c : {'q', 'r'}) {
      texts.push_back(std::string(9, 'q') + c);
      texts.push_back(std::string(w - 1, 'q') + c);
    }
  std::erase_if(texts, [w](const std::string& t) { return t.size() > w; });
  std::sort(texts.begin(), texts.end());
  StorageCase<T> s{{"char" + std::to_string(w)}, kLoadChar + k, kConstChar + k, kListChar + k, {}};
  for (const std::string& t : texts)
    s.values.push_back(packed<T>(t));
  return s;
}

TEST(CompareStorageTypes, Integers) {
  using I32 = std::numeric_limits<std::int32_t>;
  using I64 = std::numeric_limits<std::int64_t>;
  checkAll<std::int32_t>({{"i32"}, kLoadI32, kConstI32, kListI32, {I32::min(), -7, -1, 0, 1, 7, I32::max()}});
  checkAll<std::int64_t>({{"i64"}, kLoadI64, kConstI64, kListI64, {I64::min(), -1, 0, 1L << 40, I64::max()}});
  // u64 and char8, u32 and char4 share their storage type, so their codes are checked with numbers.
  checkAll<std::uint64_t>(
      {{"u64", "char8"}, kLoadU64, kConstU64, kListU64, {0, 1, 1ul << 63, ~0ul - 1, ~0ul}});
  checkAll<std::uint32_t>(
      {{"u32", "char4"}, kLoadU32, std::nullopt, kListChar + 2, {0, 1, 0x80000000u, ~0u}});
  const vela::uint128_t two64 = vela::uint128_t(1) << 64;
  const std::vector<fixed_array_t<16>> wide = {u128(0), u128(~0ul), u128(two64), u128(two64 + 1),
                                               u128(~vela::uint128_t(0))};
  checkAll<fixed_array_t<16>>({{"u128", "char16"}, kLoadU128, kConstU128, kListU128, wide});
  checkAll<Bool>({{"bool"}, kLoadBool, kConstI8, std::nullopt, {0, 1}});
}

TEST(CompareStorageTypes, FloatsAndDecimals) {
  const float infF = std::numeric_limits<float>::infinity();
  const double infD = std::numeric_limits<double>::infinity();
  checkAll<float>({{"f32"}, kLoadF32, kConstF32, kListF32, {-infF, -1.5f, -0.0f, 1e-45f, 2.5f, infF}});
  checkAll<double>({{"f64"}, kLoadF64, kConstF64, kListF64, {-infD, -1.5, 0.0, 5e-324, 2.5, infD}});
  const long lmin = std::numeric_limits<long>::min(), lmax = std::numeric_limits<long>::max();
  checkAll<Dec64>({{"dec64"}, kLoadDec64, kConstDec64, kListDec64, {d64(lmin), d64(-1), d64(0), d64(lmax)}});
  const vela::int128_t e80 = vela::int128_t(1) << 80, e90 = vela::int128_t(1) << 90;
  checkAll<Dec128>(
      {{"dec128"}, kLoadDec128, kConstDec128, kListDec128, {kMin96, d128(-e80), d128(0), d128(e90), kMax96}});
}

TEST(CompareStorageTypes, FixedWidthText) {
  // The narrowest cell, the widest held in one word, the first of several words, and the widest.
  checkAll(textCase<std::uint8_t>(0));
  checkAll(textCase<std::uint64_t>(3));
  checkAll(textCase<fixed_array_t<16>>(4));
  checkAll(textCase<fixed_array_t<256>>(8));
}

TEST(CompareStorageTypes, NanSignedZeroAndTruthBytes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // EQ, NE, LT, LE, GT, GE of (NaN, NaN), (NaN, 1), (1, NaN), (-0.0, 0.0).
  const std::vector<double> a = {nan, nan, 1.0, -0.0}, b = {nan, 1.0, nan, 0.0};
  const std::vector<std::pair<TypedRpnOp, std::vector<Bool>>> rows = {
      {945, {0, 0, 0, 1}}, {961, {1, 1, 1, 0}},  {975, {0, 0, 0, 0}},
      {988, {0, 0, 0, 1}}, {1001, {0, 0, 0, 0}}, {1014, {0, 0, 0, 1}}};
  for (const auto& [code, expected] : rows)
    HarnessCase(Program().column(kLoadF64, 0).column(kLoadF64, 1).op(code))
        .addColumn<double>(a)
        .addColumn<double>(b)
        .expectRows<Bool>(expected);
  // GREATEST and LEAST give the second operand for a NaN and for a tie (-0.0 against 0.0 keeps b's sign).
  for (TypedRpnOp code : {1098, 1120})
    HarnessCase(Program().column(kLoadF64, 0).column(kLoadF64, 1).op(code))
        .addColumn<double>(a)
        .addColumn<double>(b)
        .expectRows<double>({nan, 1.0, nan, 0.0});
  // NaN is in no list; -0.0 finds 0.0.
  HarnessCase(Program().column(kLoadF32, 0).list(kListF32, std::vector<float>{0.0f, 1.0f}).op(1026))
      .addColumn<float>({std::numeric_limits<float>::quiet_NaN(), -0.0f})
      .expectRows<Bool>({0, 1});
  // Bool bytes compare as truth values: 2 equals 1.
  HarnessCase(Program().column(kLoadBool, 0).column(kLoadBool, 1).op(950))
      .addColumn<Bool>({2, 2, 0})
      .addColumn<Bool>({1, 0, 0})
      .expectRows<Bool>({1, 0, 1});
}

} // namespace
