#include "tools/CsvData.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

#include "base/ProgramBuilder.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "tools/ScalarText.h"

namespace quarry::tools {

using vela::ParserUtils::RpnDataType;
using vela::ParserUtils::rpnDataTypeShortName;

namespace {

// Header type names. Kinds that merely share a storage type (ipv4, uuid, ...) are not accepted: a
// column is named by what its cells hold, and the program's load op says what they mean. The calendar
// kinds are, since their cells are written as calendar text (tools/DateText.h) and loaded with the
// loads of their storage type (i32 for date and time, i64 for datetime and timestamp).
constexpr RpnDataType kColumnTypes[] = {
    RpnDataType::Bool,    RpnDataType::Int8,     RpnDataType::Int16,     RpnDataType::Int32,
    RpnDataType::UInt32,  RpnDataType::Int64,    RpnDataType::UInt64,    RpnDataType::Float32,
    RpnDataType::Float64, RpnDataType::UInt128,  RpnDataType::Char1,     RpnDataType::Char2,
    RpnDataType::Char4,   RpnDataType::Char8,    RpnDataType::Char16,    RpnDataType::Char32,
    RpnDataType::Char64,  RpnDataType::Char128,  RpnDataType::Char256,   RpnDataType::String,
    RpnDataType::Json,    RpnDataType::Vector,   RpnDataType::Geometry,  RpnDataType::Date,
    RpnDataType::Time,    RpnDataType::DateTime, RpnDataType::Timestamp,
};

// One field of a record: its text and whether it was quoted (a quoted empty field is the empty
// string, an unquoted one is NULL).
struct Field {
  std::string text;
  bool quoted = false;
};

struct Record {
  int line = 0; // where the record starts
  std::vector<Field> fields;
};

[[noreturn]] void refuseAt(int line, const std::string& what) {
  throw CsvError("line " + std::to_string(line) + ": " + what);
}

// Splits RFC 4180 text into records. Records end at LF or CRLF outside quotes; a quoted field may
// hold separators, line breaks and doubled quotes. The line break after the last record is optional.
std::vector<Record> splitRecords(std::string_view text) {
  std::vector<Record> records;
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    Record record;
    record.line = line;
    for (;;) {
      Field field;
      if (i < text.size() && text[i] == '"') {
        field.quoted = true;
        const int openedAt = line;
        ++i;
        for (;;) {
          if (i >= text.size())
            refuseAt(openedAt,
                     "column " + std::to_string(record.fields.size() + 1) + ": unterminated quoted field");
          const char c = text[i++];
          if (c == '"') {
            if (i < text.size() && text[i] == '"') {
              field.text += '"';
              ++i;
              continue;
            }
            break;
          }
          if (c == '\n')
            ++line;
          field.text += c;
        }
        if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
          refuseAt(line, "column " + std::to_string(record.fields.size() + 1) +
                             ": text after the closing quote of a quoted field");
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
          if (text[i] == '"')
            refuseAt(line, "column " + std::to_string(record.fields.size() + 1) +
                               ": a quote inside an unquoted field");
          field.text += text[i++];
        }
      }
      record.fields.push_back(std::move(field));
      if (i < text.size() && text[i] == ',') {
        ++i;
        continue;
      }
      break;
    }
    if (i < text.size() && text[i] == '\r') {
      ++i;
      if (i >= text.size() || text[i] != '\n')
        refuseAt(line, "a carriage return not followed by a line feed");
    }
    if (i < text.size() && text[i] == '\n')
      ++i;
    ++line;
    records.push_back(std::move(record));
  }
  return records;
}

} // namespace

CsvColumnType parseCsvColumnType(std::string_view text) {
  CsvColumnType t;
  for (const char* prefix : {"dec64(", "dec128("}) {
    const std::string_view p(prefix);
    if (text.substr(0, p.size()) != p)
      continue;
    const RpnDataType type = p.size() == 7 ? RpnDataType::Dec128 : RpnDataType::Dec64;
    const int maxPrecision = maxDecimalPrecision(type);
    const std::string form = std::string(p) + "S) or " + std::string(p) + "P,S), P in 1.." +
                             std::to_string(maxPrecision) + ", S in 0.." + std::to_string(kMaxDecimalScale) +
                             " and at most P";
    const auto refuseType = [&] {
      throw CsvError("type " + quoteInput(text) + ": a decimal is written " + form);
    };
    if (text.size() <= p.size() || text.back() != ')')
      refuseType();
    const std::string_view inside = text.substr(p.size(), text.size() - p.size() - 1);
    const auto number = [&](std::string_view digits) {
      int v = -1;
      const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
      if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
        refuseType();
      return v;
    };
    const std::size_t comma = inside.find(',');
    t.type = type;
    // Precision 0: none declared; values may use the width's whole range.
    t.precision = comma == std::string_view::npos ? 0 : number(inside.substr(0, comma));
    t.scale = number(comma == std::string_view::npos ? inside : inside.substr(comma + 1));
    const int effective = t.precision == 0 ? maxPrecision : t.precision;
    if ((comma != std::string_view::npos && t.precision < 1) || t.precision > maxPrecision || t.scale < 0 ||
        t.scale > kMaxDecimalScale || t.scale > effective)
      refuseType();
    return t;
  }
  for (RpnDataType type : kColumnTypes)
    if (text == rpnDataTypeShortName(type)) {
      t.type = type;
      return t;
    }
  throw CsvError("unknown column type " + quoteInput(text) +
                 " (bool, i8, i16, i32, u32, i64, u64, f32, f64, dec64(S), dec128(S), u128, char1 .. "
                 "char256, string, json, vector, geometry, date, time, datetime, timestamp)");
}

CsvData::~CsvData() {
  freeObjects();
}

CsvData::CsvData(CsvData&& other) noexcept
    : m_columns(std::move(other.m_columns)), m_rows(std::exchange(other.m_rows, 0)) {
  other.m_columns.clear();
}

CsvData& CsvData::operator=(CsvData&& other) noexcept {
  if (this != &other) {
    freeObjects();
    m_columns = std::move(other.m_columns);
    other.m_columns.clear();
    m_rows = std::exchange(other.m_rows, 0);
  }
  return *this;
}

void CsvData::freeObjects() noexcept {
  for (CsvColumn& c : m_columns) {
    if (!vela::ParserUtils::isObjectType(c.type.type))
      continue;
    const vela::cuda::ObjectDeleter deleter = vela::cuda::objectDeleterFor(c.type.type);
    for (std::size_t r = 0; r * 8 < c.cells.size(); ++r) {
      const void* object;
      std::memcpy(&object, c.cells.data() + r * 8, sizeof object);
      deleter(object);
    }
    c.cells.clear();
  }
}

int CsvData::find(std::string_view name) const {
  for (std::size_t k = 0; k < m_columns.size(); ++k)
    if (m_columns[k].name == name)
      return static_cast<int>(k);
  return -1;
}

std::vector<const unsigned char*> CsvData::pointers() const {
  std::vector<const unsigned char*> out;
  for (const CsvColumn& c : m_columns)
    out.push_back(c.cells.data());
  for (const CsvColumn& c : m_columns)
    out.push_back(c.nulls.data());
  return out;
}

CsvData CsvData::parse(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3); // a UTF-8 byte-order mark
  const std::vector<Record> records = splitRecords(text);
  if (records.empty())
    throw CsvError("line 1: no header (a header names each column as name:type)");
  // In one-column data an empty line is a NULL row; one at the very end cannot be told from a stray
  // line break, so it is refused rather than read as a row nobody meant.
  if (records.size() > 1 && records.front().fields.size() == 1 && records.back().fields.size() == 1 &&
      records.back().fields[0].text.empty() && !records.back().fields[0].quoted)
    refuseAt(records.back().line, "an empty last line in one-column data (a NULL row there cannot be told "
                                  "from a stray line break; write NULL rows before the last line only)");
  CsvData data;
  const Record& header = records.front();
  for (std::size_t k = 0; k < header.fields.size(); ++k) {
    const std::string& f = header.fields[k].text;
    const std::string where = "line 1, column " + std::to_string(k + 1) + ": ";
    const auto colon = f.rfind(':');
    if (colon == std::string::npos || colon == 0)
      throw CsvError(where + "header field " + quoteInput(f) + " is not name:type");
    CsvColumn c;
    c.name = f.substr(0, colon);
    try {
      c.type = parseCsvColumnType(std::string_view(f).substr(colon + 1));
    } catch (const CsvError& e) {
      throw CsvError(where + e.what());
    }
    if (data.find(c.name) >= 0)
      throw CsvError(where + "column name " + quoteInput(c.name) + " appears twice");
    // $name.nulls refers to a column's null flags; a column so named would make it ambiguous.
    if (c.name.ends_with(".nulls"))
      throw CsvError(where + "column name " + quoteInput(c.name) +
                     " ends in .nulls, which program text reserves for null flags");
    c.width = vela::ParserUtils::get_rpn_datatype_size(c.type.type);
    data.m_columns.push_back(std::move(c));
  }
  const std::size_t n = data.m_columns.size();
  data.m_rows = records.size() - 1;
  for (CsvColumn& c : data.m_columns) {
    c.cells.assign(data.m_rows * c.width, 0);
    c.nulls.assign(data.m_rows, 0);
  }
  for (unsigned long r = 0; r < data.m_rows; ++r) {
    const Record& record = records[r + 1];
    if (record.fields.size() != n)
      refuseAt(record.line,
               std::to_string(record.fields.size()) + " fields, the header has " + std::to_string(n));
    for (std::size_t k = 0; k < n; ++k) {
      CsvColumn& c = data.m_columns[k];
      const Field& f = record.fields[k];
      if (f.text.empty() && !f.quoted) {
        c.nulls[r] = 1; // the cell stays zero (a null pointer for objects)
        continue;
      }
      std::string why;
      unsigned char* cell = c.cells.data() + r * c.width;
      bool ok;
      if (vela::ParserUtils::isObjectType(c.type.type)) {
        const void* object = makeObject(c.type.type, f.text, why);
        std::memcpy(cell, &object, sizeof object);
        ok = object != nullptr;
      } else {
        ok = encodeScalarText(c.type.type, f.text, c.type.scale, cell, why) &&
             (c.type.precision == 0 ||
              checkDecimalPrecision(c.type.type, cell, c.type.precision, f.text, why));
      }
      if (!ok)
        refuseAt(record.line, "column " + std::to_string(k + 1) + " (" + quoteInput(c.name) + "): " + why);
    }
  }
  return data;
}

} // namespace quarry::tools
