// quarry-eval: runs the evaluator's main job from the command line.
//
// This first form assembles a program from its text and prints the program with the analysis that
// chooses the evaluator; evaluation over data joins it as the evaluators land.

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "base/Logging.h"
#include "base/VelaException.h"
#include "tools/ProgramText.h"

namespace {

constexpr const char* kUsage =
    "usage: quarry-eval [--explain] (-e 'PROGRAM' | PROGRAM_FILE)\n"
    "       quarry-eval --list-ops\n"
    "\n"
    "--explain   assembles a typed reverse-Polish program and prints it with its analysis\n"
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

} // namespace

int main(int argc, char** argv) {
  vela::configureDefaultLogging();
  std::string text;
  bool haveProgram = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--explain")
      continue;
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
    std::cout << "program (" << program.size() << " elements):\n"
              << quarry::tools::describeProgram(program.elements());
  } catch (const quarry::tools::ProgramTextError& e) {
    std::cerr << "quarry-eval: " << e.what() << '\n';
    return 2;
  } catch (const vela::VelaException& e) {
    std::cerr << "quarry-eval: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
