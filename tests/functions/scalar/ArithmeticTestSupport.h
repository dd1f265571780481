#pragma once
// Table-driven checks of the math family's element-wise ops through the evaluation harness.
//
// expectTable runs a table once with every operand a column, then once per row for each non-empty
// subset of operands given as constants (the other operands one-row columns, which the harness cycles
// to its row counts), so that every constant/column loop of the kernel runner meets every row.

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "TypeManagement/ExactNumericType.h"
#include "base/ParserUtils.h"
#include "base/ProgramBuilder.h"
#include "cuda/EvalElementHandler.h"
#include "tests/support/EvalHarness.h"

namespace quarry::test::math {

using vela::ParserUtils::EvalInfo;
using vela::ParserUtils::Program;
using Dec64 = vela::ExactNumericType<long>;
using Dec128 = vela::ExactNumericType<vela::Int96>;

/// Column-load and constant op codes of a storage type.
template <int Load, int Constant>
struct Codes {
  static constexpr int load = Load, constant = Constant;
};
template <class T>
struct Storage;
// clang-format off
// Bools load as one byte; the bool constant op ignores its operand, so constants go through the i8
// constant, whose one-byte cell the op reads the same way.
template <> struct Storage<std::uint8_t> : Codes<102, 35> {};
template <> struct Storage<std::int8_t> : Codes<117, 35> {};
template <> struct Storage<std::int16_t> : Codes<128, 36> {};
template <> struct Storage<int> : Codes<139, 37> {};
template <> struct Storage<long> : Codes<153, 40> {};
template <> struct Storage<unsigned long> : Codes<164, 41> {};
template <> struct Storage<Dec64> : Codes<175, 42> {};
template <> struct Storage<Dec128> : Codes<186, 43> {};
template <> struct Storage<float> : Codes<197, 44> {};
template <> struct Storage<double> : Codes<208, 45> {};
// clang-format on

/// One row of a table: the operands in push order, the expected value and the row's state.
template <class Out, class... In>
struct Row {
  std::tuple<In...> in;
  Out out;
  std::uint8_t state = 0;
};

/// What a call returns when its rows end in `states`: the worst state for an error-producing op (a
/// mere null reported as 0), else 0.
inline vela::cuda::rpn_eval_result_t expectedCode(int op, const std::vector<std::uint8_t>& states) {
  if (!vela::ParserUtils::isa_error_producing_function(op))
    return vela::cuda::RPN_EVAL_OK;
  std::uint8_t worst = 0;
  for (std::uint8_t s : states)
    worst = s > worst ? s : worst;
  return static_cast<vela::cuda::rpn_eval_result_t>(worst == 1 ? 0 : worst);
}

namespace detail {

// Pushes operand K of row `row` (a constant when bit K of `constants` is set, else the next column),
// and adds that operand's column to the case.
template <std::size_t K, class Out, class... In>
void pushOperands(Program& p, const std::vector<Row<Out, In...>>& rows, unsigned constants, int single,
                  int& nextColumn) {
  if constexpr (K < sizeof...(In)) {
    using T = std::tuple_element_t<K, std::tuple<In...>>;
    if (constants & (1u << K))
      p.constant(Storage<T>::constant, std::get<K>(rows[static_cast<std::size_t>(single)].in));
    else
      p.column(Storage<T>::load, nextColumn++);
    pushOperands<K + 1>(p, rows, constants, single, nextColumn);
  }
}

template <std::size_t K, class Out, class... In>
void addColumns(HarnessCase& c, const std::vector<Row<Out, In...>>& rows, unsigned constants, int single) {
  if constexpr (K < sizeof...(In)) {
    using T = std::tuple_element_t<K, std::tuple<In...>>;
    if (!(constants & (1u << K))) {
      std::vector<T> column;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (single < 0 || static_cast<int>(r) == single)
          column.push_back(std::get<K>(rows[r].in));
      c.addColumn<T>(column);
    }
    addColumns<K + 1>(c, rows, constants, single);
  }
}

} // namespace detail

/// Runs `op` (with `info` on its element) over the table in every constant/column form.
template <class Out, class... In>
void expectTable(int op, const std::vector<Row<Out, In...>>& rows, const EvalInfo& info = {}) {
  constexpr unsigned kForms = 1u << sizeof...(In);
  for (unsigned constants = 0; constants < kForms; ++constants) {
    // All columns: the whole table in one case. Otherwise one case per row.
    const int cases = constants == 0 ? 0 : static_cast<int>(rows.size());
    for (int single = constants == 0 ? -1 : 0; single < cases; ++single) {
      std::ostringstream trace;
      trace << vela::ParserUtils::get_trpn_op_name(op) << ", constant operands mask " << constants;
      if (single >= 0)
        trace << ", table row " << single;
      SCOPED_TRACE(trace.str());
      Program p;
      int nextColumn = 0;
      detail::pushOperands<0>(p, rows, constants, single, nextColumn);
      p.op(op, info);
      HarnessCase c(p);
      detail::addColumns<0>(c, rows, constants, single);
      std::vector<Out> values;
      std::vector<std::uint8_t> states;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (single < 0 || static_cast<int>(r) == single) {
          values.push_back(rows[r].out);
          states.push_back(rows[r].state);
        }
      if (single >= 0)
        c.rows(1).rowCounts({63, 65, 1000});
      c.expectRows<Out>(values, states, expectedCode(op, states));
    }
  }
}

/// An EvalInfo with argument scales (precisions 18) and a result scale.
inline EvalInfo scales(int resultScale, std::initializer_list<int> argScales, int argPrecision = 18) {
  EvalInfo info;
  info.setResult(28, resultScale);
  int k = 0;
  for (int s : argScales)
    info.setArg(k++, argPrecision, s);
  return info;
}

/// An Int96 decimal from a 128-bit integer (wrapping to 96 bits).
inline Dec128 d128(vela::int128_t v) {
  return Dec128(vela::Int96::fromInt128(v));
}
inline Dec64 d64(long v) {
  return Dec64(v);
}

/// LOAD_COL_NULLS (240) for tests, installed for every evaluator while no family provides it: reads the
/// element's column of one-byte flags as row states.
struct LoadNullFlagsShape {
  struct Copy {
    vela::cuda::rpn_eval_result_t operator()(std::uint8_t flag) const {
      return static_cast<vela::cuda::rpn_eval_result_t>(flag);
    }
  };
  template <class E>
  static void eval(E& e) {
    e.template evalVar<std::uint8_t>();
    auto flags = e.template popInput<std::uint8_t>();
    auto states = e.template prepareOutput<vela::cuda::rpn_eval_result_t>();
    e.runKernel(Copy{}, states, flags);
    e.push(std::move(states));
  }
};

template <class List>
struct ScopedLoadNullFlags;
template <class... E>
struct ScopedLoadNullFlags<vela::cuda::EvaluatorTypeList<E...>> {
  static constexpr int kCode = 240;
  ScopedLoadNullFlags() : installed{(vela::cuda::OpHandlerTable<E>::find(kCode) == nullptr)...} {
    std::size_t k = 0;
    ((installed[k++]
          ? (void)vela::cuda::OpHandlerTable<E>::replace(kCode, &LoadNullFlagsShape::template eval<E>)
          : (void)0),
     ...);
  }
  ~ScopedLoadNullFlags() {
    std::size_t k = 0;
    ((installed[k++] ? (void)vela::cuda::OpHandlerTable<E>::replace(kCode, nullptr) : (void)0), ...);
  }
  ScopedLoadNullFlags(const ScopedLoadNullFlags&) = delete;
  ScopedLoadNullFlags& operator=(const ScopedLoadNullFlags&) = delete;

  bool installed[sizeof...(E)];
};
using LoadNullFlagsForTest = ScopedLoadNullFlags<vela::cuda::RegisteredEvaluators>;

} // namespace quarry::test::math
