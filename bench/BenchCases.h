#pragma once
// The expressions of the benchmark suite: for each one, how its input columns are generated, the program
// that computes it, and a hand-written fused loop doing the same computation straight from the inputs to
// the caller's buffers (the practical limit the evaluators are compared with).
//
// Every input value is a pure function of (seed, column, row), so a dataset of any row count is the
// same data cut at a different length, and generation runs in parallel.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/ProgramBuilder.h"
#include "cuda/TypedRpnEvaluator.h"

namespace vela {
class RamPool;
} // namespace vela

namespace quarry::bench {

using vela::cuda::rpn_eval_result_t;

/// One input column: `width` bytes a row, densely packed. A string column's cells are pointers to heap
/// strings (vela::cuda::InlineBuffer<char>) that the column owns: its generator makes them, the dataset
/// frees them. They are the caller's data, so no pool is charged for them.
struct InputColumn {
  std::size_t width = 0;
  std::vector<unsigned char> bytes;
  bool ownsStrings = false;
};

/// The inputs of one expression at one row count, with the column pointers a call takes.
struct Dataset {
  unsigned long rows = 0;
  std::vector<InputColumn> columns;
  std::vector<const unsigned char*> pointers;
  Dataset() = default;
  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;
  ~Dataset();
  /// Bytes of the column cells plus, for string columns, of the strings they point at.
  std::size_t inputBytes() const;
};

/// The caller's buffers of one call: one value cell and one null byte a row, and for string results the
/// size array (each row's reservation: positive when the caller owns the string and must give that many
/// bytes back to `pool` when it frees it, 0 for a null row or an input handed on unchanged).
struct OutputBuffers {
  std::vector<unsigned char> values;
  std::vector<unsigned char> nulls;
  std::vector<unsigned long> sizes;
  /// The pool the owned strings are charged to; set by whoever writes them.
  vela::RamPool* pool = nullptr;
  OutputBuffers(unsigned long rows, std::size_t width, bool stringResult = false);
  OutputBuffers(const OutputBuffers&) = delete;
  OutputBuffers& operator=(const OutputBuffers&) = delete;
  ~OutputBuffers() { releaseStrings(); }
  std::size_t bytes() const { return values.size() + nulls.size() + sizes.size() * sizeof(unsigned long); }
  unsigned long* sizesData() { return sizes.empty() ? nullptr : sizes.data(); }
  /// Frees the strings the buffers own and gives their bytes back to `pool` (in parallel); every slot
  /// is then null with reservation 0, ready for the next call.
  void releaseStrings();
};

/// Rows [begin, end) of an expression, computed directly: writes the value cell and the row state of
/// every row (a null or failed row's cell is zero, as the evaluators leave it) and returns the worst
/// state of the range.
using FusedRange = rpn_eval_result_t (*)(const Dataset& in, OutputBuffers& out, unsigned long begin,
                                         unsigned long end);

struct BenchCase {
  std::string name;
  /// Null-logic and selection programs, whose target ratio to the fused loop is looser.
  bool nullLogic = false;
  /// Width of the result cell in bytes.
  std::size_t width = 0;
  /// Widths of the input columns, in column-index order.
  std::vector<std::size_t> columnWidths;
  /// Fills column `c` for rows [begin, end).
  void (*generate)(std::size_t c, InputColumn& column, unsigned long begin, unsigned long end) = nullptr;
  FusedRange fused = nullptr;
  std::shared_ptr<vela::ParserUtils::Program> program;
  /// The input columns hold heap strings (see InputColumn).
  bool stringInputs = false;
  /// The result is a heap string: value cells are pointers, compared by contents, and the caller frees
  /// them after every call.
  bool stringResult = false;
  /// The row counts measured; empty: the suite's standard counts.
  std::vector<unsigned long> rowCounts = {};
  /// When set: a loop moving the same bytes as the fused one (every input cell read, every value cell
  /// and null byte written) without computing, the memory-bound floor of the expression.
  FusedRange copy = nullptr;
};

/// The fixed suite, in report order.
const std::vector<BenchCase>& benchCases();

/// 3-element programs for the single-row call: i64 a + b over the columns of `i64_add_mul`.
const vela::ParserUtils::Program& singleRowProgram();

/// The dataset of `bc` at `rows` rows (generated in parallel on the current thread limit).
std::unique_ptr<Dataset> makeDataset(const BenchCase& bc, unsigned long rows);

/// Runs the fused loop of `bc` over all rows with oneTBB parallel_for on the current thread limit, every
/// task bound to the calling thread's pool (where string results are charged, as the evaluators do;
/// `out` must own no strings yet); returns the call's code (the worst row state, 1 reported as 0, and 0 for
/// programs without error sources).
rpn_eval_result_t runFused(const BenchCase& bc, const Dataset& in, OutputBuffers& out);
/// As runFused with the case's copy loop.
rpn_eval_result_t runCopy(const BenchCase& bc, const Dataset& in, OutputBuffers& out);

/// Whether every op of the program has a column-batch kernel yet.
bool programIsRunnable(const vela::ParserUtils::Program& program, std::string* missing);

} // namespace quarry::bench
