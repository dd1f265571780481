#pragma once
// The program text of the command-line tools: elements in order, separated by newlines or ';', with
// '//' comments. An element is `OP [OPERAND] [key=value ...]`: OP is a catalogue name (any case) or a
// numeric code; OPERAND is a column reference for column loads (a 0-based index, `$name` for a named
// column, `$name.nulls` for its null flags) and a literal for constants (integers, floats with
// nan/inf, decimal text, text in single quotes with '' for a quote, lists in brackets, and for object
// constants the object's text: JSON, [x, ...] vectors, WKT). Attributes p= and s= set the result
// precision and scale, pK= and sK= (K = 0, 1, 2) the arguments'; results=[...] gives a list constant
// its parallel 32-bit results; regex='...' (required), flags='...' and replacement='...' give a
// regular-expression op its pattern, compiled while the program is assembled.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/ProgramBuilder.h"
#include "base/VelaRegexp.h"
#include "tools/CsvData.h"

namespace quarry::tools {

/// A refusal of malformed program text, naming the element and what is wrong.
class ProgramTextError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Owns the objects of a program's object constants (strings, JSON, vectors, geometries); the
/// elements only point at them, so this must outlive every evaluation of the program.
class ConstantObjects {
public:
  ConstantObjects() = default;
  ~ConstantObjects();
  ConstantObjects(const ConstantObjects&) = delete;
  ConstantObjects& operator=(const ConstantObjects&) = delete;

  void adopt(vela::ParserUtils::RpnDataType type, const void* object);
  /// Keeps a compiled pattern of a regular-expression op; returns it.
  const vela::VelaRegexp* adopt(std::unique_ptr<vela::VelaRegexp> regexp);
  std::size_t size() const { return m_objects.size(); }

private:
  std::vector<std::pair<vela::ParserUtils::RpnDataType, const void*>> m_objects;
  std::vector<std::unique_ptr<vela::VelaRegexp>> m_regexps;
};

/// What the text may refer to besides the catalogue: the input columns (named references resolve to
/// their index; a decimal column gives its load the column's scale unless s= is written) and where
/// object constants live (without it they are refused).
struct ProgramTextContext {
  std::vector<std::string> columnNames;
  std::vector<CsvColumnType> columnTypes; // parallel to columnNames, may be empty
  ConstantObjects* objects = nullptr;
};

/// Whether `code` reads the element's column index (column loads and the null-flag ops).
bool readsColumn(int code);

/// Parses program text into `program` (appending). Throws ProgramTextError.
void parseProgramText(std::string_view text, vela::ParserUtils::Program& program,
                      const ProgramTextContext& context = {});

/// A readable listing of a program: one line per element with its code, name, family, operands and
/// result, then the analysis the evaluators are chosen by.
std::string describeProgram(const std::vector<vela::ParserUtils::TypedRpnElement>& program);

} // namespace quarry::tools
