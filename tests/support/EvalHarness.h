#pragma once
// The evaluation harness every op test goes through. A HarnessCase is a program plus typed input
// columns; run() evaluates it through the entry point and through each evaluator forced, with and
// without outNulls, at the case's own row count and at the standard counts (the case's rows cycled to
// fill them), and checks that every run agrees exactly: value cells (bit for bit), null bytes, sizes,
// object contents and the returned code. Each run uses a private pool bound to the test thread; after
// the run the pool must hold exactly what the size array reports, and nothing once the harness has
// freed the object results. A failed row's outNulls byte is its code in the column-batch evaluator and
// 1 in the row evaluator; states are reported in the column-batch form. Failures are non-fatal gtest
// failures naming the path, the row count, outNulls and the first differing rows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "base/ProgramBuilder.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/TypedRpnEvaluator.h"

namespace quarry::test {

using vela::cuda::rpn_eval_result_t;

/// The standard row counts: both sides of the 64-row chunk, and a count spread over many parallel tasks
/// that ends in a partial chunk.
inline constexpr unsigned long kHarnessLargeRows = 4099;
inline const std::vector<unsigned long> kHarnessRowCounts = {1, 63, 64, 65, 1000, kHarnessLargeRows};

/// What every path agreed on for the case's own rows.
struct HarnessResult {
  std::size_t width = 0; // bytes of one value cell
  unsigned long rows = 0;
  /// rows x width bytes of value cells. Object results: all zero here (see objects).
  std::vector<unsigned char> values;
  /// Per row: 0 present, 1 null, 2 and above the row's error code.
  std::vector<unsigned char> states;
  /// Per row: the bytes reserved for the row's object result (0 for scalar results).
  std::vector<unsigned long> sizes;
  /// Object results, per row: the contents (string bytes; vector floats as raw bytes; JSON text;
  /// geometry WKT), nullopt for a null pointer. Empty for scalar results.
  std::vector<std::optional<std::string>> objects;
  /// What the call returned.
  rpn_eval_result_t code = vela::cuda::RPN_EVAL_OK;

  /// The value cell of a row as T (sizeof(T) must be the cell width).
  template <class T>
  T value(unsigned long row) const {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    std::memcpy(static_cast<void*>(&v), values.data() + row * width, sizeof v);
    return v;
  }
};

/// A program and its input columns. The program is borrowed and must outlive the case's runs.
class HarnessCase {
public:
  explicit HarnessCase(const vela::ParserUtils::Program& program);
  ~HarnessCase();
  HarnessCase(HarnessCase&&) noexcept;
  HarnessCase& operator=(HarnessCase&&) noexcept;
  HarnessCase(const HarnessCase&) = delete;
  HarnessCase& operator=(const HarnessCase&) = delete;

  // --- columns, indexed in the order they are added (the first is column 0) ---------------------
  /// A column of fixed-width cells of storage type T: std::uint8_t for bool, std::int8_t ... std::int64_t,
  /// std::uint64_t, float, double, ExactNumericType<long>, fixed_array_t<N>, ...
  template <class T>
  HarnessCase& addColumn(const std::vector<T>& values) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::vector<unsigned char> bytes(values.size() * sizeof(T));
    if (!values.empty())
      std::memcpy(bytes.data(), static_cast<const void*>(values.data()), bytes.size());
    return addRawColumn(sizeof(T), values.size(), std::move(bytes));
  }
  /// A column of one-byte null flags (1 = null), as the null-flag loads read them.
  HarnessCase& addNullFlags(const std::vector<bool>& nulls);
  /// Object columns; nullopt is a null pointer. The objects belong to the case.
  HarnessCase& addStringColumn(const std::vector<std::optional<std::string>>& values);
  HarnessCase& addVectorColumn(const std::vector<std::optional<std::vector<float>>>& values);
  HarnessCase& addJsonColumn(const std::vector<std::optional<std::string>>& jsonTexts);
  HarnessCase& addGeometryColumn(const std::vector<std::optional<std::string>>& wkts);
  /// `width`-byte cells, rows x width bytes.
  HarnessCase& addRawColumn(std::size_t width, unsigned long rows, std::vector<unsigned char> bytes);

  // --- options ----------------------------------------------------------------------------------
  /// The case's own row count. Defaults to the columns' length (all columns must have it), or 1 for a
  /// program without columns.
  HarnessCase& rows(unsigned long n);
  /// The row counts run besides the case's own (default kHarnessRowCounts). Columns are cycled: row r
  /// reads the case's row r mod rows().
  HarnessCase& rowCounts(std::vector<unsigned long> counts);
  /// The results depend on the row number (random values, UUIDs): runs at other row counts are compared
  /// between the paths only, not with the case's own rows.
  HarnessCase& rowDependent();
  /// The call's row offset (default 0).
  HarnessCase& rowOffset(unsigned long offset);

  // --- running ----------------------------------------------------------------------------------
  /// Runs every path at every row count, with and without outNulls, and checks that they agree and
  /// that the pool is balanced. Returns the outputs at the case's own rows.
  HarnessResult run() const;

  /// run(), then checks the case's rows: values (compared only in rows whose expected state is 0; a
  /// float compares bit for bit except that any NaN matches any NaN), states (empty: every row present)
  /// and the returned code.
  template <class T>
  HarnessResult expectRows(const std::vector<T>& values, const std::vector<std::uint8_t>& states = {},
                           rpn_eval_result_t code = vela::cuda::RPN_EVAL_OK) const;
  /// As expectRows for string results: nullopt expects a null pointer (and a non-zero state).
  HarnessResult expectStrings(const std::vector<std::optional<std::string>>& values,
                              const std::vector<std::uint8_t>& states = {},
                              rpn_eval_result_t code = vela::cuda::RPN_EVAL_OK) const;
  /// Every path throws a vela::VelaException whose text starts with `message`.
  void expectFault(const std::string& message) const;

  /// Checks rows whose state is as expected; used by expectRows. Public for family helpers.
  static void checkStates(const HarnessResult& r, const std::vector<std::uint8_t>& states,
                          rpn_eval_result_t code);

private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

namespace harness_detail {
template <class T>
bool sameValue(const T& a, const T& b) {
  if constexpr (std::is_floating_point_v<T>) {
    if (std::isnan(a) || std::isnan(b))
      return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
  } else {
    return std::memcmp(static_cast<const void*>(&a), static_cast<const void*>(&b), sizeof(T)) == 0;
  }
}
template <class T>
std::string show(const T& v) {
  if constexpr (std::is_arithmetic_v<T>) {
    return testing::PrintToString(+v);
  } else {
    return testing::PrintToString(v);
  }
}
} // namespace harness_detail

template <class T>
HarnessResult HarnessCase::expectRows(const std::vector<T>& values, const std::vector<std::uint8_t>& states,
                                      rpn_eval_result_t code) const {
  HarnessResult r = run();
  EXPECT_EQ(r.width, sizeof(T)) << "cell width of the program's result";
  EXPECT_EQ(values.size(), r.rows) << "expected values for every row";
  checkStates(r, states, code);
  if (r.width != sizeof(T))
    return r;
  for (unsigned long row = 0; row < r.rows && row < values.size(); ++row) {
    const unsigned char state = states.empty() ? 0 : states[row];
    if (state != 0)
      continue;
    const T got = r.value<T>(row);
    EXPECT_TRUE(harness_detail::sameValue(got, values[row]))
        << "row " << row << ": got " << harness_detail::show(got) << ", expected "
        << harness_detail::show(values[row]);
  }
  return r;
}

/// Takes the kernel of `code` away from both evaluators for the scope, so that the op is " not handled":
/// with every family complete, no assigned op lacks a kernel of its own.
class ScopedNoKernel {
public:
  explicit ScopedNoKernel(vela::cuda::TypedRpnOp code) : m_vector(code, nullptr), m_row(code, nullptr) {}

private:
  vela::cuda::ScopedOpHandler<vela::cuda::TypedRpnVectorEvaluator> m_vector;
  vela::cuda::ScopedOpHandler<vela::cuda::TypedRpnValueEvaluator> m_row;
};

/// An assigned math op that has a kernel and that the tests' programs do not otherwise use: a stand-in
/// for an op without a kernel under ScopedNoKernel.
inline constexpr vela::cuda::TypedRpnOp kStandInOp = 1313; // COT_F32

} // namespace quarry::test
