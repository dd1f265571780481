// quarry-eval: runs the evaluator's main job from the command line.
//
// It assembles a program from its text and prints the program with the analysis that chooses the
// evaluator (--explain), or evaluates a program that loads no columns over a number of rows (--rows)
// and prints one `value,state` line per row. Evaluation over column data joins it later.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/DecimalText.h"
#include "base/Logging.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "tools/ProgramText.h"

namespace {

constexpr const char* kUsage =
    "usage: quarry-eval [--explain] [--rows N] (-e 'PROGRAM' | PROGRAM_FILE)\n"
    "       quarry-eval --list-ops\n"
    "\n"
    "--explain   assembles a typed reverse-Polish program and prints it with its analysis\n"
    "            (the default when --rows is not given)\n"
    "--rows N    evaluates a program that loads no columns over N rows and prints a CSV line\n"
    "            value,state per row; state is the row's null byte (0 present, 1 null, 2 and\n"
    "            above a failed row's code; a lone row's failure shows as 1), and the call's\n"
    "            error, if any, is named on stderr\n"
    "--list-ops  prints the op catalogue as CSV: code,name,family,result_type,operands,flags\n"
    "Program text: elements separated by newlines or ';', '//' starts a comment.\n"
    "An element is OP [OPERAND] [key=value ...]: OP is an op name (any case) or code;\n"
    "OPERAND a column index for column loads or a literal for constants (integers,\n"
    "floats incl. nan/inf/-inf, decimal text, 'text' with '' for a quote, [lists]).\n"
    "Attributes: p= s= result precision/scale; p0= s0= p1= s1= p2= s2= the arguments'.\n"
    "Exit status: 0 success, 2 malformed command line or program text.\n";

int usage(const std::string& problem) {
  std::cerr << "quarry-eval: " << problem << "\n\n" << kUsage;
  return 2;
}

// The catalogue as CSV; flags are the catalogue's letters (N null, E error, H host-only, O open).
void listOps(std::ostream& out) {
  using namespace vela::ParserUtils;
  out << "code,name,family,result_type,operands,flags\n";
  for (int c = 0; c < kNumOps; ++c) {
    const OpInfo& op = *opInfo(c);
    out << c << ',' << op.name << ',' << opFamilyName(op.family) << ',';
    if (op.result == RpnDataType::List)
      out << "list_" << rpnDataTypeShortName(op.listElement);
    else
      out << rpnDataTypeShortName(op.result);
    out << ',';
    for (int k = 0; k < op.numOperands; ++k)
      out << (k ? " " : "")
          << (op.operands[k] == RpnDataType::None ? "any" : rpnDataTypeShortName(op.operands[k]));
    out << ',' << (op.nullProducing ? "N" : "") << (op.errorProducing ? "E" : "")
        << (op.expensiveHostOnly ? "H" : "") << (op.open ? "O" : "") << '\n';
  }
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos)
    return text;
  std::string quoted = "\"";
  for (char c : text)
    quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + '"';
}

template <class T>
T cellAs(const unsigned char* cell) {
  T v;
  std::memcpy(&v, cell, sizeof v);
  return v;
}

template <class F>
std::string shortestFloat(F value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The text of one output cell: integers in decimal, floats in their shortest round-trip form, decimals
// at the result scale, bool as 0/1, text as text; other types as the cell's bytes in hex.
std::string formatCell(vela::ParserUtils::RpnDataType type, const unsigned char* cell, std::size_t width,
                       int scale) {
  using vela::ParserUtils::RpnDataType;
  switch (type) {
  case RpnDataType::Bool:
    return cell[0] != 0 ? "1" : "0";
  case RpnDataType::Int8:
    return std::to_string(cellAs<std::int8_t>(cell));
  case RpnDataType::Int16:
    return std::to_string(cellAs<std::int16_t>(cell));
  case RpnDataType::Int32:
  case RpnDataType::Ipv4:
  case RpnDataType::Date:
  case RpnDataType::Time:
    return std::to_string(cellAs<std::int32_t>(cell));
  case RpnDataType::UInt32:
    return std::to_string(cellAs<std::uint32_t>(cell));
  case RpnDataType::Int64:
  case RpnDataType::DateTime:
  case RpnDataType::Timestamp:
    return std::to_string(cellAs<std::int64_t>(cell));
  case RpnDataType::UInt64:
    return std::to_string(cellAs<std::uint64_t>(cell));
  case RpnDataType::Float32:
    return shortestFloat(cellAs<float>(cell));
  case RpnDataType::Float64:
    return shortestFloat(cellAs<double>(cell));
  case RpnDataType::Dec64:
    return vela::decimal_as_string(cellAs<std::int64_t>(cell), scale);
  case RpnDataType::Dec128: {
    // 96-bit unscaled value: the low 64 bits, then the high 32 bits, signed.
    const auto low = cellAs<std::uint64_t>(cell);
    const auto high = cellAs<std::int32_t>(cell + 8);
    const auto upper = static_cast<std::uint64_t>(static_cast<std::int64_t>(high));
    return vela::decimal_as_string(
        static_cast<vela::int128_t>((static_cast<vela::uint128_t>(upper) << 64) | low), scale);
  }
  case RpnDataType::Char1:
  case RpnDataType::Char2:
  case RpnDataType::Char4:
  case RpnDataType::Char8:
  case RpnDataType::Char16:
  case RpnDataType::Char32:
  case RpnDataType::Char64:
  case RpnDataType::Char128:
  case RpnDataType::Char256:
    return csvField(vela::ParserUtils::unpackCharN(cell, width));
  case RpnDataType::String:
  case RpnDataType::String2: {
    const auto* text = cellAs<const vela::cuda::InlineBuffer<char>*>(cell);
    return text == nullptr ? std::string() : csvField(std::string(text->view()));
  }
  default: {
    std::ostringstream hex;
    hex << "0x" << std::hex << std::setfill('0');
    for (std::size_t i = width; i-- > 0;)
      hex << std::setw(2) << static_cast<int>(cell[i]);
    return hex.str();
  }
  }
}

// Evaluates a program that loads no columns over `rows` rows through the host entry point and prints a
// `value,state` line per row. Returns the exit status.
int evaluateRows(const vela::ParserUtils::Program& program, unsigned long rows, std::ostream& out) {
  using namespace vela::ParserUtils;
  const std::vector<TypedRpnElement>& elements = program.elements();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const int op = elements[i].op;
    if ((op >= 102 && op <= 236) || op == 240 || op == 241) {
      std::cerr << "quarry-eval: --rows evaluates programs without column loads; element " << i << " ("
                << get_trpn_op_name(op) << ") reads column " << elements[i].columnIndex() << '\n';
      return 2;
    }
  }
  const RpnDataType type = get_evaluated_type(elements);
  const std::size_t width = get_rpn_datatype_size(type);
  if (width == 0) {
    std::cerr << "quarry-eval: the program yields no value\n";
    return 2;
  }
  const vela::cuda::ProgramAnalysis analysis = vela::cuda::analyzeProgram(elements.data(), elements.size());
  const int scale =
      analysis.lastValueElement < elements.size() ? elements[analysis.lastValueElement].info.scale() : 0;

  std::vector<unsigned char> values(rows * width), nulls(rows);
  std::vector<unsigned long> sizes(rows);
  const vela::cuda::rpn_eval_result_t code = vela::cuda::evaluateTypedRpnHost(
      elements, nullptr, 0, values.data(), nulls.data(), sizes.data(), rows, 0, nullptr, nullptr);
  out << "value,state\n";
  for (unsigned long r = 0; r < rows; ++r)
    out << formatCell(type, values.data() + r * width, width, scale) << ',' << static_cast<int>(nulls[r])
        << '\n';
  // Object results now belong to us: free them and give their reservations back.
  if (isObjectType(type))
    for (unsigned long r = 0; r < rows; ++r)
      if (vela::cuda::isOwningReservation(sizes[r])) {
        vela::cuda::objectDeleterFor(type)(cellAs<const void*>(values.data() + r * width));
        vela::RamPool::getDefault()->unreserveRaw(sizes[r]);
      }
  if (code >= 2)
    std::cerr << "quarry-eval: rows failed: " << vela::cuda::resultCodeMessage(code) << " (code "
              << static_cast<int>(code) << ")\n";
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  vela::configureDefaultLogging();
  std::string text;
  bool haveProgram = false;
  bool explain = false;
  std::optional<unsigned long> rows;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--explain") {
      explain = true;
      continue;
    }
    if (arg == "--rows") {
      if (++i == argc)
        return usage("--rows needs a row count");
      const std::string count = argv[i];
      unsigned long n = 0;
      const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), n);
      if (error != std::errc() || end != count.data() + count.size())
        return usage("--rows needs a row count, not " + count);
      rows = n;
      continue;
    }
    if (arg == "--list-ops") {
      listOps(std::cout);
      return 0;
    }
    if (haveProgram)
      return usage("more than one program given");
    if (arg == "-e") {
      if (++i == argc)
        return usage("-e needs program text");
      text = argv[i];
    } else if (!arg.empty() && arg[0] == '-') {
      return usage("unknown option " + arg);
    } else {
      std::ifstream in(arg);
      if (!in)
        return usage("cannot read " + arg);
      std::stringstream buffer;
      buffer << in.rdbuf();
      text = buffer.str();
    }
    haveProgram = true;
  }
  if (!haveProgram)
    return usage("no program given");
  try {
    vela::ParserUtils::Program program;
    quarry::tools::parseProgramText(text, program);
    if (explain || !rows)
      std::cout << "program (" << program.size() << " elements):\n"
                << quarry::tools::describeProgram(program.elements());
    if (rows)
      return evaluateRows(program, *rows, std::cout);
  } catch (const quarry::tools::ProgramTextError& e) {
    std::cerr << "quarry-eval: " << e.what() << '\n';
    return 2;
  } catch (const vela::VelaException& e) {
    std::cerr << "quarry-eval: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
