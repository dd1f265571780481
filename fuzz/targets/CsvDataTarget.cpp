// CSV data: the reader either builds consistent columns or refuses with CsvError. Accepted data is
// written back as CSV from the tool's own cell text and read again: every cell prints the same text
// and every null flag is the same.
#include <exception>
#include <string>

#include "fuzz/FuzzTarget.h"
#include "tools/CsvData.h"
#include "tools/ResultText.h"

namespace quarry::fuzz {

namespace {

using vela::ParserUtils::RpnDataType;

std::string typeText(const tools::CsvColumnType& t) {
  std::string s = vela::ParserUtils::rpnDataTypeShortName(t.type);
  if (t.type == RpnDataType::Dec64 || t.type == RpnDataType::Dec128)
    s += "(" + (t.precision == 0 ? "" : std::to_string(t.precision) + ",") + std::to_string(t.scale) + ")";
  return s;
}

std::string cellText(const tools::CsvColumn& c, unsigned long row) {
  return tools::formatCell(c.type.type, c.cells.data() + row * c.width, c.width, c.type.scale);
}

// The data as CSV: a NULL cell is an empty unquoted field, every other cell its text, quoted when empty.
std::string writeCsv(const tools::CsvData& data) {
  std::string out;
  const auto& columns = data.columns();
  for (std::size_t k = 0; k < columns.size(); ++k)
    out += (k ? "," : "") + tools::csvField(columns[k].name + ":" + typeText(columns[k].type));
  out += '\n';
  for (unsigned long r = 0; r < data.rows(); ++r) {
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (k)
        out += ',';
      if (!columns[k].nulls[r])
        out += tools::csvField(cellText(columns[k], r));
    }
    out += '\n';
  }
  return out;
}

} // namespace

int csvData(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view text = asText(bytes, size);
  std::string again;
  try {
    const tools::CsvData data = tools::CsvData::parse(text);
    for (const tools::CsvColumn& c : data.columns())
      if (c.cells.size() != data.rows() * c.width || c.nulls.size() != data.rows())
        fail("a column's cells do not match the row count", text);
    if (data.columns().empty())
      return 0;
    again = writeCsv(data);
    tools::CsvData reread;
    try {
      reread = tools::CsvData::parse(again);
    } catch (const tools::CsvError& e) {
      fail(std::string("the written data is refused: ") + e.what() + "\n" + again, text);
    }
    if (reread.rows() != data.rows() || reread.columns().size() != data.columns().size())
      fail("the written data has another shape\n" + again, text);
    for (std::size_t k = 0; k < data.columns().size(); ++k) {
      const tools::CsvColumn& a = data.columns()[k];
      const tools::CsvColumn& b = reread.columns()[k];
      for (unsigned long r = 0; r < data.rows(); ++r)
        if (a.nulls[r] != b.nulls[r] || (!a.nulls[r] && cellText(a, r) != cellText(b, r)))
          fail("column " + a.name + " row " + std::to_string(r) + " reads back as '" + cellText(b, r) +
                   "', not '" + cellText(a, r) + "'",
               text);
    }
  } catch (const tools::CsvError&) {
  } catch (const std::exception& e) {
    fail(std::string("the CSV reader let escape: ") + e.what(), text);
  }
  return 0;
}

} // namespace quarry::fuzz
