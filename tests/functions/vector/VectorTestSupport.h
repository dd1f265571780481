#pragma once
// Operands of the vector tests: Vec, a float vector (nullopt: null) loaded from a vector column or
// given as a program constant, and expectVectorTable, which runs a table through the harness with every
// subset of operands given as constants. Vector results are compared by their raw bytes (bit for bit).
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cuda/ManagedObjects.h"
#include "tests/functions/text/TextTestSupport.h"

namespace quarry::test {

using Vec = std::optional<std::vector<float>>;
inline constexpr TypedRpnOp kLoadVector = 232, kConstVector = 65;
template <>
struct Storage<Vec> : Codes<kLoadVector, kConstVector> {};

/// The raw bytes of a vector, as the harness reports vector results; nullopt for null.
inline Str bytesOf(const Vec& v) {
  if (!v)
    return std::nullopt;
  return std::string(reinterpret_cast<const char*>(v->data()), v->size() * sizeof(float));
}

/// Vector objects owned by a test (the constants of its programs).
class VectorObjects {
public:
  const InlineBuffer<float>* make(const Vec& v) {
    if (!v)
      return nullptr;
    InlineBuffer<float>* b = InlineBuffer<float>::allocate(v->size());
    if (!v->empty())
      std::memcpy(b->data(), v->data(), v->size() * sizeof(float));
    m_owned.emplace_back(b);
    return b;
  }

private:
  struct Free {
    void operator()(InlineBuffer<float>* b) const { InlineBuffer<float>::deallocate(b); }
  };
  std::vector<std::unique_ptr<InlineBuffer<float>, Free>> m_owned;
};

/// Runs `op` over the rows, once with every operand a column and then once per row for each non-empty
/// subset of operands given as constants; checks values (vectors and strings by contents), states and
/// the returned code.
template <class Out, class... In>
void expectVectorTable(int op, const std::vector<Row<Out, In...>>& rows, bool constants = true) {
  const unsigned subsets = constants ? (1u << sizeof...(In)) : 1u;
  for (unsigned mask = 0; mask < subsets; ++mask)
    for (int single = mask == 0 ? -1 : 0; single < (mask == 0 ? 0 : int(rows.size())); ++single) {
      SCOPED_TRACE(testing::Message() << vela::ParserUtils::get_trpn_op_name(op) << ", constant mask " << mask
                                      << ", row " << single);
      VectorObjects vectors;
      StringObjects strings;
      Program p;
      int column = 0;
      auto operand = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using T = std::tuple_element_t<K, std::tuple<In...>>;
        if (!(mask & (1u << K)))
          return (void)p.column(Storage<T>::load, column++);
        const T& v = std::get<K>(rows[std::size_t(single)].in);
        if constexpr (std::is_same_v<T, Vec>)
          p.pointerConstant(kConstVector, vectors.make(v));
        else if constexpr (std::is_same_v<T, Str>)
          p.pointerConstant(kConstString, strings.make(v));
        else
          p.constant(Storage<T>::constant, v);
      };
      [&]<std::size_t... K>(std::index_sequence<K...>) {
        (operand(std::integral_constant<std::size_t, K>{}), ...);
      }
      (std::index_sequence_for<In...>{});
      p.op(op);
      HarnessCase c(p);
      auto addColumn = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using T = std::tuple_element_t<K, std::tuple<In...>>;
        if (mask & (1u << K))
          return;
        std::vector<T> values;
        for (std::size_t r = 0; r < rows.size(); ++r)
          if (single < 0 || int(r) == single)
            values.push_back(std::get<K>(rows[r].in));
        if constexpr (std::is_same_v<T, Vec>)
          c.addVectorColumn(values);
        else if constexpr (std::is_same_v<T, Str>)
          c.addStringColumn(values);
        else
          c.addColumn(values);
      };
      [&]<std::size_t... K>(std::index_sequence<K...>) {
        (addColumn(std::integral_constant<std::size_t, K>{}), ...);
      }
      (std::index_sequence_for<In...>{});
      std::vector<Out> values;
      std::vector<std::uint8_t> states;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (single < 0 || int(r) == single) {
          values.push_back(rows[r].out);
          states.push_back(rows[r].state);
        }
      c.rows(values.size());
      if (single >= 0)
        c.rowCounts({65});
      const rpn_eval_result_t code =
          vela::ParserUtils::isa_error_producing_function(op) ? worstCode(states) : vela::cuda::RPN_EVAL_OK;
      if constexpr (std::is_same_v<Out, Vec>) {
        std::vector<Str> bytes;
        for (const Vec& v : values)
          bytes.push_back(bytesOf(v));
        c.expectStrings(bytes, states, code);
      } else if constexpr (std::is_same_v<Out, Str>) {
        c.expectStrings(values, states, code);
      } else {
        c.expectRows<Out>(values, states, code);
      }
    }
}

} // namespace quarry::test
