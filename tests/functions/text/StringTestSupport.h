#pragma once
// Helpers of the heap-string function tests: string objects owned by a test, and expectStringTable,
// which runs a table of rows through the harness with every operand as a column and then in every
// constant/column combination (string operands as string constants and string columns, the others
// as in expectTable), expecting strings or plain cells.
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "cuda/ManagedObjects.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test {

using Text = std::optional<std::string>;
using vela::cuda::InlineBuffer;

/// String objects owned by a test (constants and list elements of its programs).
class StringObjects {
public:
  const InlineBuffer<char>* make(const Text& text) {
    if (!text)
      return nullptr;
    InlineBuffer<char>* b = InlineBuffer<char>::allocate(text->size());
    if (!text->empty())
      std::memcpy(b->data(), text->data(), text->size());
    m_owned.emplace_back(b);
    return b;
  }
  std::vector<const InlineBuffer<char>*> make(const std::vector<Text>& texts) {
    std::vector<const InlineBuffer<char>*> out;
    for (const Text& t : texts)
      out.push_back(make(t));
    return out;
  }

private:
  struct Free {
    void operator()(InlineBuffer<char>* b) const { InlineBuffer<char>::deallocate(b); }
  };
  std::vector<std::unique_ptr<InlineBuffer<char>, Free>> m_owned;
};

/// A random text of 0 to maxLen bytes from the alphabet.
inline std::string randomText(std::mt19937& gen, std::size_t maxLen, std::string_view alphabet) {
  std::string s(std::uniform_int_distribution<std::size_t>(0, maxLen)(gen), ' ');
  for (char& c : s)
    c = alphabet[gen() % alphabet.size()];
  return s;
}

namespace string_table_detail {
template <class T>
inline constexpr bool isText = std::is_same_v<T, Text>;
} // namespace string_table_detail

/// Runs `op` over the rows: once with every operand a column, then once per row for each non-empty
/// subset of operands given as constants (the other operands one-row columns, cycled by the harness).
/// Text operands are strings (nullopt: an absent string); a Text result is checked as strings. Tables
/// of long strings pass `constants` false and a short list of row counts.
template <class Out, class... In>
void expectStringTable(int op, const std::vector<Row<Out, In...>>& rows, bool constants = true,
                       const std::vector<unsigned long>& counts = {}) {
  using string_table_detail::isText;
  const unsigned subsets = constants ? (1u << sizeof...(In)) : 1u;
  for (unsigned mask = 0; mask < subsets; ++mask)
    for (int single = mask == 0 ? -1 : 0; single < (mask == 0 ? 0 : int(rows.size())); ++single) {
      std::ostringstream trace;
      trace << vela::ParserUtils::get_trpn_op_name(op) << ", constant mask " << mask << ", row " << single;
      SCOPED_TRACE(trace.str());
      StringObjects objects;
      Program p;
      int column = 0;
      auto operand = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using T = std::tuple_element_t<K, std::tuple<In...>>;
        if (mask & (1u << K)) {
          const T& v = std::get<K>(rows[std::size_t(single)].in);
          if constexpr (isText<T>)
            p.pointerConstant(kConstString, objects.make(v));
          else
            p.constant(Storage<T>::constant, v);
        } else if constexpr (isText<T>) {
          p.column(kLoadString, column++);
        } else {
          p.column(Storage<T>::load, column++);
        }
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
        if constexpr (isText<T>)
          c.addStringColumn(values);
        else
          c.addColumn(values);
      };
      [&]<std::size_t... K>(std::index_sequence<K...>) {
        (addColumn(std::integral_constant<std::size_t, K>{}), ...);
      }
      (std::index_sequence_for<In...>{});
      std::vector<Out> values;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (single < 0 || int(r) == single)
          values.push_back(rows[r].out);
      c.rows(values.size());
      if (single >= 0)
        c.rowCounts({65});
      else if (!counts.empty())
        c.rowCounts(counts);
      if constexpr (isText<Out>)
        c.expectStrings(values);
      else
        c.expectRows<Out>(values);
    }
}

} // namespace quarry::test
