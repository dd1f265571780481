#pragma once
// Operands of the text tests, for expectTable and the harness: Text<N>, an N-byte charN cell loaded and
// given as a constant by the charN codes of its width (char1 ... char256: kLoadChar + k, kConstChar + k);
// Str, a heap string (nullopt: absent) owned by StringObjects when it is a constant; the u32 and u128
// storage types; random texts; models of the text functions; and the column and table runners.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/RamPool.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/VectorEvalTypes.h"
#include "functions/text/CharN.h"
#include "tests/functions/scalar/FamilyTestSupport.h"

namespace quarry::test {

template <std::size_t N>
struct Text {
  vela::cuda::cell_of_width_t<N> cell;
};

/// 1, 2, 4, ..., 256 -> 0 ... 8.
constexpr int widthIndex(std::size_t n) {
  return std::countr_zero(n);
}

template <std::size_t N>
struct Storage<Text<N>> : Codes<kLoadChar + widthIndex(N), kConstChar + widthIndex(N)> {};
template <>
struct Storage<fixed_array_t<16>> : Codes<kLoadU128, kConstU128> {};
// u32 operands: the u32 column load; constants through the 4-byte char4 constant (cells move by width).
template <>
struct Storage<unsigned int> : Codes<kLoadU32, kConstChar + 2> {};

/// `text` (at most N bytes) as a Text<N>.
template <std::size_t N>
Text<N> txt(std::string_view text) {
  return Text<N>{packed<vela::cuda::cell_of_width_t<N>>(text)};
}
/// The first N bytes of `text`: what a cast cutting to the width gives.
template <std::size_t N>
Text<N> cut(std::string_view text) {
  return txt<N>(text.substr(0, N));
}

/// `texts` as charN cells.
template <std::size_t N>
std::vector<Text<N>> txts(const std::vector<std::string>& texts) {
  std::vector<Text<N>> cells;
  for (const std::string& t : texts)
    cells.push_back(txt<N>(t));
  return cells;
}
/// The rows of `table` whose text fits a charN cell: the cells appended to `in`, the values (cast to
/// each Out) to `out`.
template <std::size_t N, class T, class... Out>
void fitting(const std::vector<std::pair<std::string, T>>& table, std::vector<Text<N>>& in,
             std::vector<Out>&... out) {
  for (const auto& [text, value] : table)
    if (text.size() <= N) {
      in.push_back(txt<N>(text));
      (out.push_back(static_cast<Out>(value)), ...);
    }
}

template <std::size_t N>
std::string textOf(const Text<N>& t) {
  return vela::ParserUtils::unpackCharN(reinterpret_cast<const unsigned char*>(&t.cell), N);
}
template <std::size_t N>
void PrintTo(const Text<N>& t, std::ostream* os) {
  const auto* b = reinterpret_cast<const unsigned char*>(&t.cell);
  *os << "char" << N << " '" << textOf(t) << "' [";
  for (std::size_t i = N; i-- > 0;)
    *os << ' ' << int(b[i]);
  *os << " ]";
}

/// Whether every byte below the text of the cell is zero.
template <std::size_t N>
bool zeroTail(const Text<N>& t) {
  const auto* b = reinterpret_cast<const unsigned char*>(&t.cell);
  const auto len = static_cast<std::size_t>(vela::cuda::charn::length(t.cell));
  for (std::size_t i = 0; i + len < N; ++i)
    if (b[i] != 0)
      return false;
  return true;
}

/// Calls f.template operator()<N>() for every charN width.
template <class F>
void forEachWidth(F&& f) {
  [&]<std::size_t... K>(std::index_sequence<K...>) {
    (f.template operator()<std::size_t{1} << K>(), ...);
  }
  (std::make_index_sequence<9>{});
}

/// A text of 0 to maxLen bytes drawn from the alphabet.
inline std::string draw(std::mt19937& gen, std::size_t maxLen, std::string_view alphabet) {
  std::string s(std::uniform_int_distribution<std::size_t>(0, maxLen)(gen), ' ');
  for (char& c : s)
    c = alphabet[gen() % alphabet.size()];
  return s;
}

/// Every occurrence of `from` in `s` replaced by `to`, left to right without overlaps (none for an empty
/// `from`).
inline std::string replaceModel(const std::string& s, const std::string& from, const std::string& to) {
  if (from.empty() || from.size() > s.size())
    return s;
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    if (s.compare(i, from.size(), from) == 0) {
      out += to;
      i += from.size();
    } else {
      out += s[i++];
    }
  }
  return out;
}
/// Field k of `s` split at `d` (1-based; negative counts from the end; empty for k = 0, d = NUL or k
/// past the fields).
inline std::string splitModel(const std::string& s, char d, long k) {
  if (d == 0 || s.empty() || k == 0)
    return "";
  std::vector<std::string> fields(1);
  for (char c : s)
    if (c == d)
      fields.emplace_back();
    else
      fields.back().push_back(c);
  const long f = long(fields.size());
  if (k > f || k < -f)
    return "";
  return fields[std::size_t(k > 0 ? k - 1 : f + k)];
}

// Models of the reshaping text functions, shared by the charN and the heap-string tests. Whitespace is
// space and \t \n \v \f \r; letters are ASCII only.
inline bool isWhite(char c) {
  return c == ' ' || (c >= 9 && c <= 13);
}
inline std::string trimModel(const std::string& s, bool left, bool right) {
  std::size_t i = 0, j = s.size();
  while (left && i < j && isWhite(s[i]))
    ++i;
  while (right && j > i && isWhite(s[j - 1]))
    --j;
  return s.substr(i, j - i);
}
/// 0 lower, 1 upper, 2 initcap (a letter after whitespace or at the start upper, any other lower).
inline std::string caseModel(std::string s, int mode) {
  bool start = true;
  for (char& c : s) {
    const bool lower = c >= 'a' && c <= 'z', upper = c >= 'A' && c <= 'Z';
    if (mode == 1 || (mode == 2 && start))
      c = lower ? char(c - 32) : c;
    else
      c = upper ? char(c + 32) : c;
    start = isWhite(c);
  }
  return s;
}
/// `s` filled to n bytes (n capped at `cap`) with repeats of `pad` on the left or the right, or cut to
/// n. An empty pad gives the empty string; when `emptyPadCuts`, only if the text must grow.
inline std::string padModel(const std::string& s, long n, const std::string& pad, bool left, long cap,
                            bool emptyPadCuts) {
  n = std::clamp(n, 0L, cap);
  if (n <= long(s.size()) && (emptyPadCuts || !pad.empty()))
    return s.substr(0, std::size_t(n));
  if (pad.empty())
    return "";
  std::string fill;
  for (std::size_t j = 0; j < std::size_t(n) - s.size(); ++j)
    fill += pad[j % pad.size()];
  return left ? fill + s : s + fill;
}
/// Bytes start ... start + length - 1 (1-based) replaced by c; with c = NUL the text ends before start.
inline std::string maskModel(std::string s, long start, long length, unsigned char c) {
  if (start < 1 || length < 1 || start > long(s.size()))
    return s;
  if (c == 0)
    return s.substr(0, std::size_t(start - 1));
  for (long i = start - 1; i < std::min<long>(long(s.size()), start + length - 1); ++i)
    s[std::size_t(i)] = char(c);
  return s;
}
/// 1-based position of `sub` in `s` searched from `start`; 1 for an empty `sub`, 0 when not found.
inline int locateModel(const std::string& sub, const std::string& s, long start) {
  if (sub.empty())
    return 1;
  if (start < 1 || std::size_t(start - 1) > s.size())
    return 0;
  const std::size_t p = s.find(sub, std::size_t(start - 1));
  return p == std::string::npos ? 0 : int(p) + 1;
}

/// A program loading column k with the k-th code of `codes`.
inline Program loadColumns(std::initializer_list<int> codes) {
  Program p;
  int k = 0;
  for (int code : codes)
    p.column(code, k++);
  return p;
}

/// Runs `op` on one column of `in` in both evaluators and checks the rows.
template <class Out, class In>
void expectColumn(int op, const std::vector<In>& in, const std::vector<Out>& out,
                  const std::vector<std::uint8_t>& states = {}, const EvalInfo& info = {}) {
  SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(op));
  Program p;
  p.column(Storage<In>::load, 0).op(op, info);
  HarnessCase c(p);
  c.addColumn(in);
  c.expectRows<Out>(out, states, worstCode(states));
}

/// Runs `op` over whole columns (every operand a column load, in push order) and checks every row.
template <class Out, class... In>
void expectColumns(int op, const std::vector<Out>& expected, const std::vector<In>&... columns) {
  Program p;
  int k = 0;
  ((p.column(Storage<In>::load, k++)), ...);
  p.op(op);
  HarnessCase c(p);
  (c.addColumn(columns), ...);
  c.expectRows<Out>(expected);
}

using Str = std::optional<std::string>;
using vela::cuda::InlineBuffer;
// As a constant, a Str goes through StringObjects and pointerConstant; its column load is the string load.
template <>
struct Storage<Str> : Codes<kLoadString, kConstString> {};

/// String objects owned by a test (constants and list elements of its programs).
class StringObjects {
public:
  const InlineBuffer<char>* make(const Str& text) {
    if (!text)
      return nullptr;
    InlineBuffer<char>* b = InlineBuffer<char>::allocate(text->size());
    if (!text->empty())
      std::memcpy(b->data(), text->data(), text->size());
    m_owned.emplace_back(b);
    return b;
  }
  std::vector<const InlineBuffer<char>*> make(const std::vector<Str>& texts) {
    std::vector<const InlineBuffer<char>*> out;
    for (const Str& t : texts)
      out.push_back(make(t));
    return out;
  }

private:
  struct Free {
    void operator()(InlineBuffer<char>* b) const { InlineBuffer<char>::deallocate(b); }
  };
  std::vector<std::unique_ptr<InlineBuffer<char>, Free>> m_owned;
};

/// Runs programs over one column of object pointers under a limit that `pool` (bound to the thread)
/// reaches part-way: both calls throw the pool's refusal. `intermediate` (the objects consumed by a last
/// op) leaves nothing reserved; `final` (the objects as the result) leaves charged exactly what the
/// caller's slots own, which is freed here.
template <class T>
void expectRefusedCleanly(vela::RamPool& pool, const Program& intermediate, const Program& final,
                          const std::vector<const InlineBuffer<T>*>& column) {
  const unsigned long rows = column.size();
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(column.data())};
  std::vector<std::uint64_t> values(rows); // room for any fixed-width result
  std::vector<unsigned char> nulls(rows);
  EXPECT_THROW(vela::cuda::evaluateTypedRpnHost(intermediate.elements(), columns, 1,
                                                reinterpret_cast<unsigned char*>(values.data()), nulls.data(),
                                                nullptr, rows, 0, nullptr, nullptr),
               vela::VelaException);
  EXPECT_EQ(pool.reservedBytes(), 0u);
  std::vector<const InlineBuffer<T>*> out(rows, nullptr);
  std::vector<unsigned long> sizes(rows, 0);
  EXPECT_THROW(vela::cuda::evaluateTypedRpnHost(final.elements(), columns, 1,
                                                reinterpret_cast<unsigned char*>(out.data()), nullptr,
                                                sizes.data(), rows, 0, nullptr, nullptr),
               vela::VelaException);
  std::size_t kept = 0;
  for (unsigned long r = 0; r < rows; ++r)
    if (out[r] != nullptr && static_cast<long>(sizes[r]) > 0) {
      kept += sizes[r];
      InlineBuffer<T>::deallocate(out[r]);
    }
  EXPECT_EQ(pool.reservedBytes(), kept) << "the caller's slots report what stays charged";
  pool.unreserveRaw(kept);
}

/// How expectObjectTable gives an operand of type T as a constant (objects it makes kept alive in
/// `keep`) and as a column, and checks results of type T. Plain values by default; Str as strings.
template <class T>
struct TableType {
  static void constant(Program& p, std::vector<std::shared_ptr<void>>&, const T& v) {
    p.constant(Storage<T>::constant, v);
  }
  static void column(HarnessCase& c, const std::vector<T>& v) { c.addColumn(v); }
  static void expect(HarnessCase& c, const std::vector<T>& v, const std::vector<State>& s,
                     rpn_eval_result_t code) {
    c.expectRows<T>(v, s, code);
  }
};
template <>
struct TableType<Str> {
  static void constant(Program& p, std::vector<std::shared_ptr<void>>& keep, const Str& v) {
    auto objects = std::make_shared<StringObjects>();
    p.pointerConstant(kConstString, objects->make(v));
    keep.push_back(objects);
  }
  static void column(HarnessCase& c, const std::vector<Str>& v) { c.addStringColumn(v); }
  static void expect(HarnessCase& c, const std::vector<Str>& v, const std::vector<State>& s,
                     rpn_eval_result_t code) {
    c.expectStrings(v, s, code);
  }
};

/// Runs `op` over the rows: once with every operand a column, then once per row for each non-empty
/// subset of operands given as constants (the other operands one-row columns, cycled by the harness).
/// Checks values, states and the returned code (the worst state for ops that raise errors). Tables of
/// long strings pass `constants` false and a short list of row counts.
template <class Out, class... In>
void expectObjectTable(int op, const std::vector<Row<Out, In...>>& rows, bool constants = true,
                       const std::vector<unsigned long>& counts = {}) {
  const unsigned subsets = constants ? (1u << sizeof...(In)) : 1u;
  for (unsigned mask = 0; mask < subsets; ++mask)
    for (int single = mask == 0 ? -1 : 0; single < (mask == 0 ? 0 : int(rows.size())); ++single) {
      SCOPED_TRACE(testing::Message() << vela::ParserUtils::get_trpn_op_name(op) << ", constant mask " << mask
                                      << ", row " << single);
      auto picked = [&](std::size_t r) { return single < 0 || int(r) == single; };
      std::vector<std::shared_ptr<void>> keep;
      std::vector<std::function<void(HarnessCase&)>> columns; // added once the case exists
      Program p;
      auto operand = [&]<std::size_t K>(std::integral_constant<std::size_t, K>) {
        using T = std::tuple_element_t<K, std::tuple<In...>>;
        if (mask & (1u << K))
          return TableType<T>::constant(p, keep, std::get<K>(rows[std::size_t(single)].in));
        p.column(Storage<T>::load, int(columns.size()));
        std::vector<T> values;
        for (std::size_t r = 0; r < rows.size(); ++r)
          if (picked(r))
            values.push_back(std::get<K>(rows[r].in));
        columns.push_back([values](HarnessCase& c) { TableType<T>::column(c, values); });
      };
      [&]<std::size_t... K>(std::index_sequence<K...>) {
        (operand(std::integral_constant<std::size_t, K>{}), ...);
      }
      (std::index_sequence_for<In...>{});
      p.op(op);
      HarnessCase c(p);
      for (const auto& add : columns)
        add(c);
      std::vector<Out> values;
      std::vector<State> states;
      for (std::size_t r = 0; r < rows.size(); ++r)
        if (picked(r)) {
          values.push_back(rows[r].out);
          states.push_back(rows[r].state);
        }
      c.rows(values.size());
      if (single >= 0)
        c.rowCounts({65});
      else if (!counts.empty())
        c.rowCounts(counts);
      const bool reports = vela::ParserUtils::isa_error_producing_function(op);
      TableType<Out>::expect(c, values, states, reports ? worstCode(states) : vela::cuda::RPN_EVAL_OK);
    }
}

} // namespace quarry::test
