#include "tools/EvalCommand.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include <log4cplus/logger.h>
#include <tbb/global_control.h>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"
#include "tools/CsvData.h"
#include "tools/ProgramCheck.h"
#include "tools/ProgramText.h"
#include "tools/ResultText.h"

namespace quarry::tools {

using namespace vela::ParserUtils;
using vela::cuda::rpn_eval_result_t;

namespace {

constexpr const char* kUsage =
    "usage: quarry-eval [--data FILE.csv] [--rows N] [--evaluator auto|vector|row] [--threads N]\n"
    "                   [--no-nulls] [--log LEVEL] (-e 'PROGRAM' | PROGRAM_FILE)\n"
    "       quarry-eval --explain [--data FILE.csv] (-e 'PROGRAM' | PROGRAM_FILE)\n"
    "       quarry-eval --list-ops\n"
    "\n"
    "Evaluates a typed reverse-Polish program over the rows of a CSV file (or over N rows without\n"
    "columns) and prints CSV: a header `value,state`, then one line per row with the value in its\n"
    "canonical text and the row's null byte (0 present, 1 null, 2 and above the failed row's code in\n"
    "the column-batch evaluator; the row evaluator stores 1 for a failed row). A null or failed row has\n"
    "an empty value; an empty text value is written \"\".\n"
    "\n"
    "  --data FILE     CSV (RFC 4180) input; the header names each column as name:type, the type one of\n"
    "                  bool i8 i16 i32 u32 i64 u64 f32 f64 dec64(S) dec128(S) u128 char1 .. char256\n"
    "                  string json vector geometry. Booleans are 0/1/true/false; floats take nan, inf,\n"
    "                  -inf; decimals are decimal text at the column's scale S; vectors are [1, 2.5];\n"
    "                  geometries WKT. An unquoted empty field is NULL (a quoted \"\" is the empty\n"
    "                  string): its cell is zero and its null flag 1. Column k of N has its null flags\n"
    "                  at column index N + k ($name.nulls), read by LOAD_COL_NULLS and OR_COL_NULLS.\n"
    "  --rows N        without --data: the number of rows (default 1)\n"
    "  --evaluator E   auto (the entry point's own choice), vector (column-batch) or row\n"
    "  --threads N     at most N worker threads\n"
    "  --no-nulls      pass no null-byte buffer; the state column is then omitted, and a null row's\n"
    "                  value is whatever its cleared cell holds (zero; empty for objects)\n"
    "  --log LEVEL     let the evaluator's log messages of LEVEL and above (log4cplus levels: 10000\n"
    "                  debug ... 40000 error) through to stderr; by default they are silenced so that\n"
    "                  stderr carries only this command's own lines\n"
    "  --explain       print the assembled program and its analysis instead of evaluating it\n"
    "  --list-ops      print the op catalogue as CSV: code,name,family,result_type,operands,flags\n"
    "                  (flags: N null-producing, E error-producing, H host-only, O open row)\n"
    "\n"
    "Program text: elements separated by newlines or ';', '//' starts a comment. An element is\n"
    "OP [OPERAND] [key=value ...]. OP is an op name (any case) or code. OPERAND is, for column loads,\n"
    "a 0-based column index or $name ($name.nulls for null flags); for constants a literal: integers,\n"
    "floats (nan, inf, -inf), decimals as decimal text, text in single quotes ('' for a quote), lists in\n"
    "brackets ([1, 2, 3], ['a', 'b']), and object constants in single quotes: strings, JSON text,\n"
    "WKT geometries; vectors as [1, 2.5]. Attributes: p= s= the result precision and scale (a decimal\n"
    "column's load takes the column's scale unless s= is given); p0= s0= p1= s1= p2= s2= the arguments';\n"
    "results=[...] a list constant's parallel 32-bit results. The keys of IN and FIND lists are searched\n"
    "by bisection: write them in ascending order.\n"
    "Before evaluating, each column reference and each operand is checked against the catalogue.\n"
    "\n"
    "Output: integers in decimal; floats in their shortest round-trip form; decimals with exactly\n"
    "`scale` fractional digits (the scale of the last value element's result); bool 0/1; text\n"
    "CSV-quoted when needed; u128 in decimal; UUIDs as 8-4-4-4-12 hex of the 128-bit value; JSON\n"
    "compact; vectors [x,...]; geometries WKT; a list constant [v,...].\n"
    "\n"
    "Exit status: 0 the call returned 0; 1 the call returned a code of 2 or more (all rows are printed,\n"
    "then `error: <message>` on stderr); 2 usage errors, malformed program text or data (nothing is\n"
    "evaluated); 3 evaluation threw (a frame fault such as a stack underflow) or the memory pool was\n"
    "left unbalanced (`error: <message>` on stderr).\n";

struct Options {
  std::optional<std::string> dataFile;
  std::optional<unsigned long> rows;
  std::string evaluator = "auto";
  std::optional<unsigned long> threads;
  bool noNulls = false;
  bool explain = false;
  int logLevel = 60000; // log4cplus OFF
  std::optional<std::string> programText;
  std::string programName; // for messages
};

int refuse(std::ostream& err, const std::string& problem) {
  err << "quarry-eval: " << problem << '\n';
  return kExitRefused;
}

void listOps(std::ostream& out) {
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

bool readFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return !in.bad();
}

bool parseCount(const std::string& text, unsigned long& n) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Parses the command line; returns an exit status to stop with, or nullopt to go on.
std::optional<int> parseArgs(const std::vector<std::string>& args, Options& o, std::ostream& out,
                             std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size())
        return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return kExitOk;
    } else if (arg == "--list-ops") {
      listOps(out);
      return kExitOk;
    } else if (arg == "--explain") {
      o.explain = true;
    } else if (arg == "--no-nulls") {
      o.noNulls = true;
    } else if (arg == "--data") {
      if (!value(v))
        return refuse(err, "--data needs a file");
      o.dataFile = v;
    } else if (arg == "--rows") {
      unsigned long n = 0;
      if (!value(v) || !parseCount(v, n))
        return refuse(err, "--rows needs a row count" + (v.empty() ? std::string() : ", not '" + v + "'"));
      o.rows = n;
    } else if (arg == "--evaluator") {
      if (!value(v) || (v != "auto" && v != "vector" && v != "row"))
        return refuse(err, "--evaluator takes auto, vector or row");
      o.evaluator = v;
    } else if (arg == "--threads") {
      unsigned long n = 0;
      if (!value(v) || !parseCount(v, n) || n == 0)
        return refuse(err, "--threads needs a positive count");
      o.threads = n;
    } else if (arg == "--log") {
      unsigned long n = 0;
      if (!value(v) || !parseCount(v, n) || n > 60000)
        return refuse(err, "--log needs a log level (0 .. 60000)");
      o.logLevel = static_cast<int>(n);
    } else if (arg == "-e") {
      if (o.programText)
        return refuse(err, "more than one program given");
      if (!value(v))
        return refuse(err, "-e needs program text");
      o.programText = v;
      o.programName = "-e";
    } else if (arg.size() > 1 && arg[0] == '-') {
      return refuse(err, "unknown option " + arg + " (see --help)");
    } else {
      if (o.programText)
        return refuse(err, "more than one program given");
      std::string text;
      if (!readFile(arg, text))
        return refuse(err, "cannot read program file " + arg);
      o.programText = std::move(text);
      o.programName = arg;
    }
  }
  if (!o.programText)
    return refuse(err, "no program given (see --help)");
  if (o.dataFile && o.rows)
    return refuse(err, "--rows and --data exclude each other: the data's rows are evaluated");
  return std::nullopt;
}

// The call's output buffers and what evaluating into them left there.
struct Outputs {
  RpnDataType type = RpnDataType::None;
  std::size_t width = 0;
  std::vector<unsigned char> values, nulls;
  std::vector<unsigned long> sizes;

  const void* object(unsigned long r) const {
    const void* p;
    std::memcpy(&p, values.data() + r * width, sizeof p);
    return p;
  }
  // Frees every object result the caller owns, giving its reservation back to `pool`. Returns the
  // bytes given back.
  unsigned long freeObjects(vela::RamPool& pool) {
    unsigned long total = 0;
    if (!isObjectType(type))
      return 0;
    for (unsigned long r = 0; r < sizes.size(); ++r)
      if (vela::cuda::isOwningReservation(sizes[r])) {
        vela::cuda::objectDeleterFor(type)(object(r));
        std::memset(values.data() + r * width, 0, width);
        if (pool.reservedBytes() >= sizes[r])
          pool.unreserveRaw(sizes[r]);
        total += sizes[r];
        sizes[r] = 0;
      }
    return total;
  }
};

rpn_eval_result_t callEvaluator(const Options& o, const std::vector<TypedRpnElement>& program,
                                const std::vector<const unsigned char*>& columns, unsigned long rows,
                                Outputs& outputs) {
  unsigned char* nulls = o.noNulls ? nullptr : outputs.nulls.data();
  if (o.evaluator == "auto")
    return vela::cuda::evaluateTypedRpnHost(program, columns.data(), columns.size(), outputs.values.data(),
                                            nulls, outputs.sizes.data(), rows, 0, nullptr, nullptr);
  vela::EvaluatorCache cache;
  const vela::cuda::TypedRpnEvaluatorParams params(nullptr, program, columns.data(), columns.size(),
                                                   outputs.values.data(), nulls, outputs.sizes.data(), rows,
                                                   vela::currentYear(), 0, &cache, nullptr, nullptr);
  return o.evaluator == "row" ? vela::cuda::TypedRpnValueEvaluator::evaluate(params)
                              : vela::cuda::TypedRpnVectorEvaluator::evaluate(params);
}

void printRows(const Options& o, const Outputs& outputs, int scale, RpnDataType listElement,
               std::ostream& out) {
  out << (o.noNulls ? "value\n" : "value,state\n");
  const unsigned long rows = outputs.sizes.size();
  for (unsigned long r = 0; r < rows; ++r) {
    const unsigned char* cell = outputs.values.data() + r * outputs.width;
    const bool absent = !o.noNulls && outputs.nulls[r] != 0;
    if (!absent) {
      if (outputs.type == RpnDataType::List) {
        const TypedVec* list;
        std::memcpy(&list, cell, sizeof list);
        out << csvField(formatList(list, listElement, scale));
      } else {
        const bool nullObject = isObjectType(outputs.type) && outputs.object(r) == nullptr;
        const std::string text = formatCell(outputs.type, cell, outputs.width, scale);
        // A text value is quoted when empty, to tell it from a null row's empty field.
        if (!nullObject)
          out << (isTextType(outputs.type) || !text.empty() ? csvField(text) : text);
      }
    }
    if (!o.noNulls)
      out << ',' << static_cast<int>(outputs.nulls[r]);
    out << '\n';
  }
}

int evaluate(const Options& o, const std::vector<TypedRpnElement>& program, const CsvData* data,
             std::ostream& out, std::ostream& err) {
  const unsigned long rows = data ? data->rows() : o.rows.value_or(1);
  const std::vector<const unsigned char*> columns =
      data ? data->pointers() : std::vector<const unsigned char*>{};
  const vela::cuda::ProgramAnalysis analysis = vela::cuda::analyzeProgram(program.data(), program.size());
  const TypedRpnElement& last = program[analysis.lastValueElement];
  const int scale = last.info.scale();
  const OpInfo* lastOp = opInfo(last.op);

  Outputs outputs;
  outputs.type = get_evaluated_type(program);
  outputs.width = get_rpn_datatype_size(outputs.type);
  outputs.values.assign(rows * outputs.width, 0);
  outputs.nulls.assign(rows, 0);
  outputs.sizes.assign(rows, 0);

  vela::RamPool pool("quarry-eval");
  rpn_eval_result_t code = vela::cuda::RPN_EVAL_OK;
  {
    vela::RamPoolThreadBinding binding(&pool);
    std::optional<tbb::global_control> cap;
    if (o.threads)
      cap.emplace(tbb::global_control::max_allowed_parallelism, *o.threads);
    try {
      code = callEvaluator(o, program, columns, rows, outputs);
    } catch (const std::exception& e) {
      // Results already written (other tasks may have finished their rows) are the caller's to free.
      outputs.freeObjects(pool);
      err << "error: " << e.what() << '\n';
      if (pool.reservedBytes() != 0)
        err << "error: memory pool imbalance: " << pool.reservedBytes()
            << " bytes still reserved after the fault\n";
      return kExitEvalFault;
    }
  }

  // The pool must hold exactly what the size array reports as handed to the caller.
  unsigned long reported = 0;
  if (isObjectType(outputs.type))
    for (unsigned long s : outputs.sizes)
      reported += vela::cuda::isOwningReservation(s) ? s : 0;
  const std::size_t heldAfterCall = pool.reservedBytes();

  printRows(o, outputs, scale, lastOp ? lastOp->listElement : RpnDataType::None, out);
  out.flush(); // the rows come before any error line when both streams go to one place
  outputs.freeObjects(pool);

  if (heldAfterCall != reported || pool.reservedBytes() != 0) {
    err << "error: memory pool imbalance: the pool held " << heldAfterCall
        << " bytes after the call, the results " << reported << " bytes; " << pool.reservedBytes()
        << " bytes still reserved after freeing them\n";
    return kExitEvalFault;
  }
  if (code >= 2) {
    try {
      vela::cuda::throwIfEvaluationError(code);
    } catch (const std::exception& e) {
      err << "error: " << e.what() << '\n';
      return kExitRowsFailed;
    }
    err << "error: the call returned result code " << static_cast<int>(code) << ", which has no message\n";
    return kExitRowsFailed;
  }
  return kExitOk;
}

} // namespace

int runQuarryEval(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  if (const std::optional<int> stop = parseArgs(args, o, out, err))
    return *stop;
  log4cplus::Logger::getRoot().setLogLevel(o.logLevel);

  std::optional<CsvData> data;
  ProgramTextContext context;
  if (o.dataFile) {
    std::string text;
    if (!readFile(*o.dataFile, text))
      return refuse(err, "cannot read data file " + *o.dataFile);
    try {
      data = CsvData::parse(text);
    } catch (const CsvError& e) {
      return refuse(err, *o.dataFile + ": " + e.what());
    }
    for (const CsvColumn& c : data->columns()) {
      context.columnNames.push_back(c.name);
      context.columnTypes.push_back(c.type);
    }
  }
  ConstantObjects objects;
  context.objects = &objects;
  Program program;
  try {
    parseProgramText(*o.programText, program, context);
    checkProgram(program.elements(), context.columnTypes);
  } catch (const ProgramTextError& e) {
    return refuse(err, o.programName + ": " + e.what());
  }
  if (o.explain) {
    out << "program (" << program.size() << " elements):\n" << describeProgram(program.elements());
    return kExitOk;
  }
  if (get_rpn_datatype_size(get_evaluated_type(program.elements())) == 0)
    return refuse(err, o.programName + ": the program yields no value (no element pushes one)");
  try {
    return evaluate(o, program.elements(), data ? &*data : nullptr, out, err);
  } catch (const std::exception& e) {
    // The output buffers could not be had (a row count too large for memory).
    err << "error: " << e.what() << '\n';
    return kExitEvalFault;
  }
}

} // namespace quarry::tools
