#pragma once
// The program text of the command-line tools: elements in order, separated by newlines or ';', with
// '//' comments. An element is `OP [OPERAND] [key=value ...]`: OP is a catalogue name (any case) or a
// numeric code; OPERAND is a column index for column loads and a literal for constants (integers,
// floats with nan/inf, decimal text, text in single quotes with '' for a quote, lists in brackets).
// Attributes p= and s= set the result precision and scale, pK= and sK= (K = 0, 1, 2) the arguments'.

#include <stdexcept>
#include <string>
#include <string_view>

#include "base/ProgramBuilder.h"

namespace quarry::tools {

/// A refusal of malformed program text, naming the element and what is wrong.
class ProgramTextError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Parses program text into `program` (appending). Throws ProgramTextError.
void parseProgramText(std::string_view text, vela::ParserUtils::Program& program);

/// A readable listing of a program: one line per element with its code, name, family, operands and
/// result, then the analysis the evaluators are chosen by.
std::string describeProgram(const std::vector<vela::ParserUtils::TypedRpnElement>& program);

} // namespace quarry::tools
