#pragma once
// Helpers of the comparison-family tests: typed columns and constants of every storage type, packed
// fixed-width text, list constants, and a state-column loader for ops that take row states.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "TypeManagement/ExactNumericType.h"
#include "base/ProgramBuilder.h"
#include "cuda/EvalElementHandler.h"
#include "tests/support/EvalHarness.h"

namespace quarry::test::compare {

using vela::cuda::fixed_array_t;
using vela::ParserUtils::EvalInfo;
using vela::ParserUtils::Program;
using vela::ParserUtils::TypedRpnOp;
using vela::ParserUtils::TypedVec;
using Dec64 = vela::ExactNumericType<long>;
using Dec128 = vela::ExactNumericType<vela::Int96>;
using Bool = std::uint8_t;
using State = std::uint8_t;

inline constexpr TypedRpnOp kLoadBool = 102, kLoadI8 = 117, kLoadI16 = 128, kLoadI32 = 139, kLoadU32 = 146,
                            kLoadU128 = 148, kLoadI64 = 153, kLoadU64 = 164, kLoadDec64 = 175,
                            kLoadDec128 = 186, kLoadF32 = 197, kLoadF64 = 208, kLoadString = 233;
/// Column loads of char1 ... char256 are kLoadChar + k, k = 0 (char1) ... 8 (char256).
inline constexpr TypedRpnOp kLoadChar = 218;
/// Constants: i8, i32, u128, i64, u64, dec64, dec128, f32, f64; charN constants are kConstChar + k.
inline constexpr TypedRpnOp kConstI8 = 35, kConstI32 = 37, kConstU128 = 39, kConstI64 = 40, kConstU64 = 41,
                            kConstDec64 = 42, kConstDec128 = 43, kConstF32 = 44, kConstF64 = 45,
                            kConstChar = 53, kConstString = 62;
/// List constants by element type.
inline constexpr TypedRpnOp kListI32 = 70, kListU128 = 72, kListI64 = 73, kListU64 = 74, kListDec64 = 75,
                            kListDec128 = 76, kListF32 = 77, kListF64 = 78, kListChar = 86, kListString = 95;
/// Loads the element's column as row states (the null flags of a column; here any byte, so that error
/// states can be fed to the ops that take states).
inline constexpr TypedRpnOp kLoadStates = 240;

/// The widths of char1 ... char256.
inline constexpr std::size_t kCharWidths[9] = {1, 2, 4, 8, 16, 32, 64, 128, 256};

/// `text` in the fixed-width layout of an N-byte cell of type T (an unsigned integer or a fixed array).
template <class T>
T packed(std::string_view text) {
  unsigned char bytes[sizeof(T)];
  vela::ParserUtils::packCharN(text, sizeof(T), bytes);
  T cell;
  std::memcpy(static_cast<void*>(&cell), bytes, sizeof(T));
  return cell;
}

/// A 16-byte cell holding the unsigned 128-bit integer `v` (little-endian).
inline fixed_array_t<16> u128(vela::uint128_t v) {
  fixed_array_t<16> cell;
  std::memcpy(cell.bytes, &v, 16);
  return cell;
}
inline vela::uint128_t u128Value(const fixed_array_t<16>& cell) {
  vela::uint128_t v;
  std::memcpy(&v, cell.bytes, 16);
  return v;
}

inline Dec128 d128(vela::int128_t v) {
  return Dec128(vela::Int96::fromInt128(v));
}

/// EvalInfo with the given argument scales (precision 18) and result scale.
inline EvalInfo scales(std::initializer_list<int> argScales, int resultScale = 0) {
  EvalInfo info;
  info.setResult(18, resultScale);
  int k = 0;
  for (int s : argScales)
    info.setArg(k++, 18, s);
  return info;
}

/// Test stand-in for the state loader: pushes the element's column bytes as row states verbatim, in
/// both evaluators, for the scope of the object.
struct StateColumnOp {
  struct Identity {
    vela::cuda::rpn_eval_result_t operator()(std::uint8_t b) const {
      return static_cast<vela::cuda::rpn_eval_result_t>(b);
    }
  };
  template <class E>
  static void eval(E& e) {
    e.template evalVarFunc<std::uint8_t, vela::cuda::rpn_eval_result_t>(Identity{});
  }
};
struct ScopedStateLoads {
  vela::cuda::ScopedOpShape<StateColumnOp> shape{kLoadStates};
};

/// The comparison-family codes named `prefix` + a type suffix whose value operand `operand` is one of
/// `kinds` ("i32", "char8", ...), in code order. Names starting with `exclude` are skipped.
inline std::vector<TypedRpnOp> codesOf(std::string_view prefix, int operand,
                                       const std::vector<std::string>& kinds, std::string_view exclude = {}) {
  std::vector<TypedRpnOp> codes;
  for (TypedRpnOp code = 0; code < vela::ParserUtils::kNumOps; ++code) {
    const vela::ParserUtils::OpInfo* info = vela::ParserUtils::opInfo(code);
    const std::string_view name = info->name;
    if (info->family != vela::ParserUtils::OpFamily::Compare || !name.starts_with(prefix) ||
        (!exclude.empty() && name.starts_with(exclude)) || info->numOperands <= operand)
      continue;
    for (const std::string& kind : kinds)
      if (vela::ParserUtils::rpnDataTypeFromShortName(kind) == info->operands[operand])
        codes.push_back(code);
  }
  return codes;
}

/// The worst state of a result's rows as the call reports it (1 is reported as 0).
inline vela::cuda::rpn_eval_result_t worstCode(const std::vector<std::uint8_t>& states) {
  std::uint8_t worst = 0;
  for (std::uint8_t s : states)
    worst = std::max(worst, s);
  return static_cast<vela::cuda::rpn_eval_result_t>(worst == 1 ? 0 : worst);
}

} // namespace quarry::test::compare
