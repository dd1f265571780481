#pragma once
// Random well-typed programs and random input columns, driven by the op catalogue.
//
// A generated case is kept as text: the program as program text (one element per entry, as the
// command-line tool reads it) and the inputs as CSV fields (as its --data file holds them). Both are
// assembled by the tool's own readers, so what runs is exactly what a mismatch report prints, and the
// report can be pasted into quarry-eval. The CSV holds a few distinct rows; a run of n rows reads row
// r mod distinctRows() of it (object columns then share objects between rows, which the evaluators
// must tolerate: inputs are borrowed).
//
// Programs are built top-down: a value of the wanted type is a leaf (column load, fused load-and-cast,
// constant, null constant) or an op whose result has that storage, its operands generated first. Ops
// that pop null states get the states the operands left (so states flow from LOAD_COL_NULLS, from
// null- and error-producing ops and the state combinators) or fresh state leaves. At the end surplus
// states are folded, so the program leaves one value and at most one state.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/ParserUtils.h"

namespace quarry::test {

/// One input column: its name, CSV header type and the CSV field of each distinct row (already
/// escaped; an empty unquoted field is NULL).
struct GenColumn {
  std::string name;
  std::string csvType; // "i32", "dec64(2)", "date", "string", ...
  vela::ParserUtils::RpnDataType type = vela::ParserUtils::RpnDataType::None;
  std::vector<std::string> fields;
};

/// A generated case: program text, inputs and the row count to run at.
struct GenCase {
  std::uint64_t seed = 0; // what generated it (for the report)
  std::vector<std::string> elements;
  std::vector<GenColumn> columns;
  unsigned long rows = 1;

  unsigned long distinctRows() const { return columns.empty() ? 1 : columns.front().fields.size(); }
  /// The program text, one element per line.
  std::string programText() const;
  /// CSV with a header and `rows` rows (row r is distinct row r mod distinctRows()); only the columns
  /// the program refers to.
  std::string csvText(unsigned long rows) const;
  /// Drops columns no element refers to.
  void dropUnusedColumns();
};

/// Generation limits and mix.
struct GenOptions {
  int maxElements = 30;
  /// Row counts a case is run at (one is picked per case).
  std::vector<unsigned long> rowCounts = {1, 63, 64, 65, 1000, 4099, 70000};
  /// Distinct input rows (before cycling), at most this many.
  unsigned long maxDistinctRows = 96;
  /// Whether huge objects (texts of thousands of bytes, long vectors, large JSON and geometries) may
  /// appear in the inputs.
  bool hugeObjects = true;
};

/// The generator. Holds the catalogue tables (built once) and a random engine.
class ProgramGenerator {
public:
  explicit ProgramGenerator(std::uint64_t seed, GenOptions options = {});
  ~ProgramGenerator();
  ProgramGenerator(const ProgramGenerator&) = delete;
  ProgramGenerator& operator=(const ProgramGenerator&) = delete;

  /// A fresh case. The program is well typed by construction but not yet checked by the assembler;
  /// callers assemble it and draw again when it is refused.
  GenCase next();
  /// The case of one seed (next() draws the seed from the generator's own stream). With `rootOp`, the
  /// program is built around that op: it computes the result (a state op or a sink acts on a value
  /// computed first).
  GenCase fromSeed(std::uint64_t seed, int rootOp = -1);

  std::mt19937_64& engine();

  /// Op codes the generator never uses, with the reason for each (for the report and the tests).
  static const std::vector<std::pair<int, const char*>>& exclusions();
  /// Whether the generator may emit `code` (has a kernel, is not excluded, its operands can be made).
  bool usable(int code) const;
  /// How many op codes the generator may emit.
  std::size_t usableOps() const;

private:
  struct Impl;
  Impl* m_impl;
};

} // namespace quarry::test
