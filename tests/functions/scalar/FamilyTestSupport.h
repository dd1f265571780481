#pragma once
// Helpers of the scalar family tests: load and constant codes of each storage type, decimal cells and
// scales, fixed-width text cells, and expectTable, which runs a table of rows through the harness in
// every constant/column form of the operands.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "TypeManagement/ExactNumericType.h"
#include "base/ProgramBuilder.h"
#include "cuda/EvalElementHandler.h"
#include "tests/support/EvalHarness.h"
#include "tests/support/StateLoads.h"

namespace quarry::test {

using vela::cuda::fixed_array_t;
using vela::cuda::rpn_eval_result_t;
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
/// Column loads and constants of char1 ... char256 are kLoadChar + k and kConstChar + k, k = 0 ... 8.
inline constexpr TypedRpnOp kLoadChar = 218, kConstChar = 53;
inline constexpr TypedRpnOp kConstI8 = 35, kConstI32 = 37, kConstU128 = 39, kConstI64 = 40, kConstU64 = 41,
                            kConstDec64 = 42, kConstDec128 = 43, kConstF32 = 44, kConstF64 = 45,
                            kConstString = 62;
inline constexpr TypedRpnOp kListI32 = 70, kListU128 = 72, kListI64 = 73, kListU64 = 74, kListDec64 = 75,
                            kListDec128 = 76, kListF32 = 77, kListF64 = 78, kListChar = 86, kListString = 95;

/// Column-load and constant codes of a storage type. Bools go through the i8 constant (the bool constant
/// ignores its operand), whose one-byte cell the ops read the same way.
template <int Load, int Constant>
struct Codes {
  static constexpr int load = Load, constant = Constant;
};
template <class T>
struct Storage;
template <>
struct Storage<std::uint8_t> : Codes<kLoadBool, kConstI8> {};
template <>
struct Storage<std::int8_t> : Codes<kLoadI8, kConstI8> {};
template <>
struct Storage<std::int16_t> : Codes<kLoadI16, 36> {};
template <>
struct Storage<int> : Codes<kLoadI32, kConstI32> {};
template <>
struct Storage<long> : Codes<kLoadI64, kConstI64> {};
template <>
struct Storage<unsigned long> : Codes<kLoadU64, kConstU64> {};
template <>
struct Storage<Dec64> : Codes<kLoadDec64, kConstDec64> {};
template <>
struct Storage<Dec128> : Codes<kLoadDec128, kConstDec128> {};
template <>
struct Storage<float> : Codes<kLoadF32, kConstF32> {};
template <>
struct Storage<double> : Codes<kLoadF64, kConstF64> {};

inline Dec128 d128(vela::int128_t v) {
  return Dec128(vela::Int96::fromInt128(v));
}
inline Dec64 d64(long v) {
  return Dec64(v);
}
inline const Dec128 kMax96 = d128(vela::Int96::kMax), kMin96 = d128(vela::Int96::kMin);

/// An EvalInfo with the result scale and the argument scales (all at `precision`).
inline EvalInfo scales(int resultScale, std::initializer_list<int> argScales, int precision = 18) {
  EvalInfo info;
  info.setResult(28, resultScale);
  int k = 0;
  for (int s : argScales)
    info.setArg(k++, precision, s);
  return info;
}

/// `text` in the fixed-width layout of a cell of type T (an unsigned integer or a fixed array).
template <class T>
T packed(std::string_view text) {
  unsigned char bytes[sizeof(T)];
  vela::ParserUtils::packCharN(text, sizeof(T), bytes);
  T cell;
  std::memcpy(static_cast<void*>(&cell), bytes, sizeof(T));
  return cell;
}

/// A u128 cell holding v (little-endian).
inline fixed_array_t<16> u128(vela::uint128_t v) {
  fixed_array_t<16> cell;
  std::memcpy(cell.bytes, &v, 16);
  return cell;
}

/// What a call returns when its rows end in `states`: the worst state (1 reported as 0).
inline rpn_eval_result_t worstCode(const std::vector<std::uint8_t>& states) {
  std::uint8_t worst = 0;
  for (std::uint8_t s : states)
    worst = s > worst ? s : worst;
  return static_cast<rpn_eval_result_t>(worst == 1 ? 0 : worst);
}

/// One row of a table: the operands in push order, the expected value and the row's state.
template <class Out, class... In>
struct Row {
  std::tuple<In...> in;
  Out out;
  std::uint8_t state = 0;
};

/// Runs `op` over the table once with every operand a column, then once per row for each non-empty
/// subset of operands given as constants (the other operands one-row columns the harness cycles), so
/// that every constant/column loop of the kernel runner meets every row.
template <class Out, class... In>
void expectTable(int op, const std::vector<Row<Out, In...>>& rows, const EvalInfo& info = {}) {
  for (unsigned constants = 0; constants < (1u << sizeof...(In)); ++constants)
    for (int single = constants == 0 ? -1 : 0; single < (constants == 0 ? 0 : int(rows.size())); ++single) {
      std::ostringstream trace;
      trace << vela::ParserUtils::get_trpn_op_name(op) << ", constant mask " << constants << ", row "
            << single;
      SCOPED_TRACE(trace.str());
      Program p;
      std::vector<std::vector<unsigned char>> columns;
      auto operand = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using T = std::tuple_element_t<K, std::tuple<In...>>;
        if (constants & (1u << K))
          return (void)p.constant(Storage<T>::constant, std::get<K>(rows[std::size_t(single)].in));
        p.column(Storage<T>::load, int(columns.size()));
        std::vector<unsigned char> bytes;
        for (std::size_t r = 0; r < rows.size(); ++r)
          if (single < 0 || int(r) == single) {
            const T& v = std::get<K>(rows[r].in);
            bytes.insert(bytes.end(), reinterpret_cast<const unsigned char*>(&v),
                         reinterpret_cast<const unsigned char*>(&v) + sizeof(T));
          }
        columns.push_back(std::move(bytes));
      };
      [&]<std::size_t... K>(std::index_sequence<K...>) {
        (operand(std::integral_constant<std::size_t, K>{}), ...);
      }
      (std::index_sequence_for<In...>{});
      p.op(op, info);
      HarnessCase c(p);
      const unsigned long n = single < 0 ? rows.size() : 1;
      std::size_t k = 0;
      [&]<std::size_t... K>(std::index_sequence<K...>) {
        ((constants & (1u << K)
              ? void()
              : void(c.addRawColumn(sizeof(std::tuple_element_t<K, std::tuple<In...>>), n, columns[k++]))),
         ...);
      }
      (std::index_sequence_for<In...>{});
      std::vector<Out> values;
      std::vector<std::uint8_t> states;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (single < 0 || int(r) == single) {
          values.push_back(rows[r].out);
          states.push_back(rows[r].state);
        }
      c.rows(n);
      if (single >= 0)
        c.rowCounts({63, 65, 1000});
      const bool reports = vela::ParserUtils::isa_error_producing_function(op);
      c.expectRows<Out>(values, states, reports ? worstCode(states) : vela::cuda::RPN_EVAL_OK);
    }
}

} // namespace quarry::test
