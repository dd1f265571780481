#pragma once
// Input columns of the command-line evaluator, read from CSV (RFC 4180) whose header names each column
// and its storage type as `name:type`. The reader builds the columns exactly as the evaluator reads
// them: fixed-width cells (object columns: one pointer per row, null for a NULL row) and, per column,
// one null-flag byte per row (1 = NULL).

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/ParserUtils.h"

namespace quarry::tools {

/// A refusal of malformed CSV, naming the line and the column.
class CsvError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// The storage type of a column as written in the header: a catalogue type and, for decimals, the
/// precision and scale of the column's values (precision 0: none declared, the width's full 18 or 28
/// digits, values bounded only by the width).
struct CsvColumnType {
  vela::ParserUtils::RpnDataType type = vela::ParserUtils::RpnDataType::None;
  int scale = 0;
  int precision = 0;
};

/// Parses a header type ("i32", "dec64(2)", "dec128(20,4)", "char8", "string"); refuses unknown names
/// and out-of-range precisions and scales (CsvError, without a location: the caller adds it).
CsvColumnType parseCsvColumnType(std::string_view text);

struct CsvColumn {
  std::string name;
  CsvColumnType type;
  std::size_t width = 0;            // bytes of one cell
  std::vector<unsigned char> cells; // rows x width
  std::vector<unsigned char> nulls; // one byte per row, 1 = NULL
};

/// The columns of one CSV text. Owns the objects its object columns point at.
class CsvData {
public:
  CsvData() = default;
  ~CsvData();
  CsvData(CsvData&& other) noexcept;
  CsvData& operator=(CsvData&& other) noexcept;
  CsvData(const CsvData&) = delete;
  CsvData& operator=(const CsvData&) = delete;

  const std::vector<CsvColumn>& columns() const { return m_columns; }
  unsigned long rows() const { return m_rows; }
  /// The column named `name`, or -1.
  int find(std::string_view name) const;
  /// The column-pointer array handed to the evaluator: the N value columns, then the N null-flag
  /// columns (column k's flags at index N + k).
  std::vector<const unsigned char*> pointers() const;

  /// Reads CSV text (a leading UTF-8 byte-order mark is skipped). Throws CsvError naming the line
  /// (1-based) and the column.
  static CsvData parse(std::string_view text);

private:
  void freeObjects() noexcept;

  std::vector<CsvColumn> m_columns;
  unsigned long m_rows = 0;
};

} // namespace quarry::tools
