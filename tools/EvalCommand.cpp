#include "tools/EvalCommand.h"

#include <charconv>
#include <cstring>
#include <filesystem>
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
#include "tools/ScalarText.h"

namespace quarry::tools {

using namespace vela::ParserUtils;
using vela::cuda::rpn_eval_result_t;

namespace {

// Ranges of the numeric options. Rows are bounded so that the output buffers (up to 265 bytes a row:
// a 256-byte cell, a null byte and a size word) stay within a few gigabytes.
constexpr unsigned long kMaxRows = 10'000'000;
constexpr unsigned long kMaxThreads = 1024;

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
    "                  string json vector geometry date time datetime timestamp. Booleans are\n"
    "                  0/1/true/false; floats take nan, inf, -inf; decimals are decimal text at the\n"
    "                  column's scale S; vectors are [1, 2.5]; geometries WKT; dates, times,\n"
    "                  datetimes and timestamps their calendar text (below). An unquoted empty\n"
    "                  field is NULL (a quoted \"\" is the empty string): its cell is zero and its\n"
    "                  null flag 1. Column k of N has its null flags\n"
    "                  at column index N + k ($name.nulls), read by LOAD_COL_NULLS and OR_COL_NULLS\n"
    "                  (which refuse indexes below N); a column name may not end in .nulls. Decimal\n"
    "                  columns are dec64(S) or dec64(P,S) (P 1..18), dec128(S) or dec128(P,S) (P\n"
    "                  1..28), S in 0..18 and at most P (quote the field: \"p:dec64(9,2)\"); without\n"
    "                  P the precision counts as 18 or 28 and values may fill the width. In\n"
    "                  one-column data an empty line is a NULL row, except as the last line, which\n"
    "                  is refused (it cannot be told from a stray line break); a carriage return must\n"
    "                  be followed by a line feed. Fixed-width text (charN) cannot hold a NUL byte.\n"
    "                  A UTF-8 byte-order mark at the start of the data or program file is skipped.\n"
    "  --rows N        without --data: the number of rows, 0 .. 10000000 (default 1)\n"
    "  --evaluator E   auto (the entry point's own choice), vector (column-batch) or row\n"
    "  --threads N     at most N worker threads, 1 .. 1024\n"
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
    "OP [OPERAND] [key=value ...]. OP is an op name (any case) or code; an unassigned code (one of the\n"
    "UNASSIGNED_n names of --list-ops, or a number outside 0..2649) is refused. OPERAND is, for column "
    "loads,\n"
    "a 0-based column index or $name ($name.nulls for null flags); for constants a literal: integers,\n"
    "floats (nan, inf, -inf), decimals as decimal text, text in single quotes ('' for a quote), lists in\n"
    "brackets ([1, 2, 3], ['a', 'b']), and object constants in single quotes: strings, JSON text,\n"
    "WKT geometries; vectors as [1, 2.5]; a list of vectors as [[1, 2], [3]].\n"
    "Decimals: the assembler knows the precision and scale of every value on the stack (a column's\n"
    "from its header, a constant's from its literal: as many fractional digits as written, precision\n"
    "18 or 28; a list's from its longest literal) and fills each op's operand and result precision and\n"
    "scale from them, so programs need no attributes. Results: add and subtract at the larger operand\n"
    "scale (precision one digit above the wider operand, at most 18/28); compare, IN, FIND, LOOKUP,\n"
    "GREATEST, LEAST, IF and modulo at the larger scale; negate, abs, ceil, floor, round and truncate\n"
    "at the operand's scale; multiply (a dec128) at the sum of the scales, at most 18; divide (a\n"
    "dec128) at the larger of 6 and the operand scales, at most 18; guarded divides at the fallback's\n"
    "scale; a decimal times an integer at the decimal's scale; casts to a decimal at scale 0 (from a\n"
    "decimal: at the source's scale) and precision 18 or 28; _PS casts at the precision and scale of\n"
    "the CONST_I8 elements they pop (other sources are refused). Attributes state these explicitly:\n"
    "p= s= the result precision and scale, p0= s0= p1= s1= p2= s2= the operands' (push order; a column\n"
    "load's operand is its column). Scales lie in 0..18, precisions in 1..18 (dec64) or 1..28 (dec128)\n"
    "and a scale never exceeds its precision. A stated value must agree with what is known: operand\n"
    "attributes and the results fixed by the operands or the column are checked, and a contradiction\n"
    "is refused. The program chooses only a constant's scale (at least its literal's digits) and\n"
    "precision, a cast's target, a division's result scale and a product's result scale (rounded, at\n"
    "most 18 digits below the sum of the operand scales). Attributes on ops without a decimal operand\n"
    "or result are refused. results=[...] gives a list constant's parallel 32-bit results.\n"
    "Regular expressions: the REGEXP_ ops take their pattern as attributes, compiled while the program\n"
    "is assembled (a pattern the engine refuses is refused with its reason): regex='...' (required),\n"
    "flags='...' (c case-sensitive, the default; i case-insensitive; m ^ and $ at lines; n . matches a\n"
    "newline) and, for REGEXP_REPLACE, replacement='...' (\\0 .. \\9 insert the match and its groups,\n"
    "\\\\ a backslash), e.g. REGEXP_MATCH_STRING regex='^a.*z$' flags='i'.\n"
    "Lists: items are written in the type the consuming op reads (a LIST_I32 popped by a u32 op takes\n"
    "0 .. 4294967295). The keys of IN lists must be ascending and those of FIND lists and FIND_RANGE\n"
    "lower bounds strictly ascending, in the op's order (unsigned for u32, u64 and text, signed\n"
    "otherwise, floats without NaN); other orders are refused, not sorted.\n"
    "Dates and times: date 'YYYY-MM-DD'; time 'HH:MM:SS.mmm' (or 'HH:MM:SS', 'HH:MM'); datetime and\n"
    "timestamp 'YYYY-MM-DD HH:MM:SS.mmm' (the time part in any time form, or absent for midnight),\n"
    "every field with exactly its digits, a real calendar day of a year 1000 .. 2900 (date and datetime\n"
    "also 9999), times up to 23:59:59.999. date and time columns are loaded as i32 (LOAD_COL_I32),\n"
    "datetime and timestamp columns as i64. A constant of one of them is an i32 or i64 constant with\n"
    "quoted calendar text, read as the type in which the op that pops it reads that operand:\n"
    "CONST_I64 '2024-03-10 02:30' popped by CAST_DATETIME_TO_TIMESTAMP is a datetime (a quoted i32 or\n"
    "i64 constant popped as a plain number is refused). Compiled date/time formats (the char32 format\n"
    "operands of the formatting and parsing ops) are written as format text: CONST_CHAR32\n"
    "format='YYYY-MM-DD HH24:MI:SS'. Elements: YYYY YYY YY Y Y,YYY (year; its last three, two, one\n"
    "digits; with a comma), YEAR (spelled out), CC (century), IYYY IYY IY (ISO year), MONTH MON MM RM\n"
    "(month name, abbreviation, number, Roman), DAY DY (day name, abbreviation), DD DDD D (day of\n"
    "month, of year, of week with 1 = Sunday), ID IDDD (ISO day of week, of year), WW W IW (week of\n"
    "year, of month, ISO week), Q (quarter), J (Julian day), HH24 HH12 HH (hour), MI (minute), SS\n"
    "(second), SSSSS (seconds since midnight), FF FF1 .. FF9 (fraction of a second: 3 or 1 .. 9\n"
    "digits), MS (milliseconds), US (microseconds), AM PM A.M. P.M. (meridian), AD A.D. (era); text in\n"
    "double quotes is copied as it is; space , - . / : ; stand for themselves and _ for a space. The\n"
    "longest element at a position wins, in either case; anything else is refused, as is a format that\n"
    "compiles to more than 32 bytes.\n"
    "Before evaluating, each column reference and each operand is checked against the catalogue.\n"
    "\n"
    "Output: integers in decimal; floats in their shortest round-trip form; decimals with exactly\n"
    "`scale` fractional digits (the scale of the last value element's result); bool 0/1; text\n"
    "CSV-quoted when needed; u128 in decimal; UUIDs as 8-4-4-4-12 hex of the 128-bit value; IPv4\n"
    "addresses as dotted quads; JSON compact; vectors [x,...]; geometries WKT; a list constant [v,...];\n"
    "dates, times, datetimes and timestamps in their calendar text (timestamps as the UTC wall clock).\n"
    "A value without calendar text is printed as its raw integer, which no calendar text resembles: a\n"
    "timestamp outside 1000-01-01 .. 2900-12-31, or a packed date, time or datetime whose fields are\n"
    "impossible or disagree (month 13, 31 April, hour 24, a day of week that is not the date's).\n"
    "\n"
    "Messages quote input in single quotes with control bytes escaped (\\n, \\xHH), cut after 80\n"
    "characters with the full length noted.\n"
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

// Messages quote input through quoteInput; whatever still carries a control byte (a file name, a
// library's message) is escaped here so that a refusal stays one line.
std::string printable(const std::string& message) {
  std::string out;
  for (const char c : message) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      const std::string quoted = quoteInput(std::string(1, c));
      out += quoted.substr(1, quoted.size() - 2);
    } else {
      out += c;
    }
  }
  return out;
}

int refuse(std::ostream& err, const std::string& problem) {
  err << "quarry-eval: " << printable(problem) << '\n';
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

// Reads a whole file; `why` says what stood in the way.
bool readFile(const std::string& path, std::string& text, std::string& why) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    why = "is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  why = "cannot be read";
  if (!in)
    return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return !in.bad();
}

// A decimal count in min..max (no sign, no spaces).
bool parseCount(const std::string& text, unsigned long& n, unsigned long min, unsigned long max) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty() && n >= min && n <= max;
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
      if (!value(v) || !parseCount(v, n, 0, kMaxRows))
        return refuse(err, "--rows needs a row count in 0.." + std::to_string(kMaxRows) +
                               (v.empty() ? std::string() : ", not " + quoteInput(v)));
      o.rows = n;
    } else if (arg == "--evaluator") {
      if (!value(v) || (v != "auto" && v != "vector" && v != "row"))
        return refuse(err, "--evaluator takes auto, vector or row");
      o.evaluator = v;
    } else if (arg == "--threads") {
      unsigned long n = 0;
      if (!value(v) || !parseCount(v, n, 1, kMaxThreads))
        return refuse(err, "--threads needs a thread count in 1.." + std::to_string(kMaxThreads) +
                               (v.empty() ? std::string() : ", not " + quoteInput(v)));
      o.threads = n;
    } else if (arg == "--log") {
      unsigned long n = 0;
      if (!value(v) || !parseCount(v, n, 0, 60000))
        return refuse(err, "--log needs a log level in 0..60000" +
                               (v.empty() ? std::string() : ", not " + quoteInput(v)));
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
      std::string text, why;
      if (!readFile(arg, text, why))
        return refuse(err, "program file " + arg + " " + why);
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
  try {
    outputs.values.assign(rows * outputs.width, 0);
    outputs.nulls.assign(rows, 0);
    outputs.sizes.assign(rows, 0);
  } catch (const std::bad_alloc&) {
    return refuse(err, "the output buffers of " + std::to_string(rows) + " rows of " +
                           std::to_string(outputs.width) + "-byte cells cannot be allocated");
  }

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
    std::string text, why;
    if (!readFile(*o.dataFile, text, why))
      return refuse(err, "data file " + *o.dataFile + " " + why);
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
    err << "error: " << printable(e.what()) << '\n';
    return kExitEvalFault;
  }
}

} // namespace quarry::tools
