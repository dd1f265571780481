#include "cuda/TypedRpnEvaluator.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include <log4cplus/loglevel.h>

#include "base/CallContext.h"
#include "base/Logging.h"
#include "base/VelaException.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"

namespace vela::cuda {

namespace {

constexpr int kRowErrorLevel = 25000;
constexpr const char* kThrowFunction = "void vela::cuda::throwIfEvaluationError(rpn_eval_result_t)";

// Row failures reported with a status: logged as "message; location" and thrown with the status.
[[noreturn]] void throwStatusShape(const char* message, int line) {
  const std::string location = std::string() + locationSuffix(kEvaluatorSourcePath, line);
  const Status status(StatusEnum::EvaluationError, message);
  if (!location.empty() && KernelLogger::isEnabledFor(kRowErrorLevel)) {
    KernelLogger::incrementLogLevelCounter(kRowErrorLevel);
    KernelLogger::forcedLog(kRowErrorLevel, status.toString() + "; " + location, kEvaluatorSourcePath, line,
                            kThrowFunction);
  }
  throw VelaException(VelaWhat::Evaluation, location, status);
}

} // namespace

void throwPlainFault(const std::string& message, int level, const char* sourcePath, int line,
                     const char* function) {
  const std::string text = message + locationSuffix(sourcePath, line);
  if (KernelLogger::isEnabledFor(level)) {
    KernelLogger::incrementLogLevelCounter(level);
    KernelLogger::forcedLog(level, "'" + text + "'", sourcePath, line, function);
    if (level == log4cplus::ERROR_LOG_LEVEL && isErrorBacktraceEnabled() &&
        Backtrace::logger().isEnabledFor(log4cplus::ERROR_LOG_LEVEL))
      Backtrace::printBacktraceOnce("ERROR", sourcePath, line);
  }
  throw VelaException(VelaWhat::Evaluation, text);
}

const char* resultCodeMessage(rpn_eval_result_t result) {
  switch (result) {
  case RPN_EVAL_DIVIDE_BY_ZERO:
    return "Integer divide-by-zero";
  case RPN_EVAL_STACK_ERROR:
    return "Stack error";
  case RPN_EVAL_NEGATIVE_AREA:
    return "ST_area returned a negative result; consider using the spheroid area metric";
  case RPN_EVAL_DATE_PART_RANGE:
    return "date_to_epoch_secs/msecs has some input parameter not in range";
  case RPN_EVAL_TIMESTAMP_RANGE:
    return "timestamp value not in range (-30610224000000 to 29379542399999)";
  case RPN_EVAL_STACK_UNDERFLOW:
    return "stack underflow";
  case RPN_EVAL_STACK_EXCESS:
    return "stack ended with excess values";
  case RPN_EVAL_STRING_TOO_LARGE:
    return "String too large";
  case RPN_EVAL_VECTOR_SIZE_MISMATCH:
    return "vector size mismatch";
  case RPN_EVAL_VECTOR_INDEX:
    return "vector index out of bounds";
  case RPN_EVAL_REMOVE_NULLABLE_VECTOR:
    return "Function remove_nullable (aka zeroifnull) not implemented for the vector type";
  case RPN_EVAL_BAD_WKT:
    return "Could not cast badly formatted WKT to a geometry";
  case RPN_EVAL_BAD_WKB:
    return "Could not cast badly formatted WKB to a geometry";
  case RPN_EVAL_BAD_CAST:
    return "Could not perform cast due to invalid input value";
  case RPN_EVAL_NULL_TO_ERROR:
    return "null explicitly converted to an error";
  case RPN_EVAL_OVERFLOW:
    return "Numeric overflow";
  case RPN_EVAL_TIME_BUCKET_WIDTH:
    return "TIME_BUCKET width must be greater than zero";
  default:
    return "";
  }
}

void throwIfEvaluationError(rpn_eval_result_t result) {
  const char* message = resultCodeMessage(result);
  switch (result) {
  case RPN_EVAL_DIVIDE_BY_ZERO:
  case RPN_EVAL_NEGATIVE_AREA:
  case RPN_EVAL_DATE_PART_RANGE:
  case RPN_EVAL_TIMESTAMP_RANGE:
  case RPN_EVAL_STRING_TOO_LARGE:
  case RPN_EVAL_VECTOR_SIZE_MISMATCH:
  case RPN_EVAL_VECTOR_INDEX:
  case RPN_EVAL_OVERFLOW:
  case RPN_EVAL_TIME_BUCKET_WIDTH:
    throwStatusShape(message, __LINE__);
  case RPN_EVAL_STACK_ERROR:
    throwPlainFault(message, log4cplus::DEBUG_LOG_LEVEL, kEvaluatorSourcePath, __LINE__, kThrowFunction);
  case RPN_EVAL_STACK_UNDERFLOW:
  case RPN_EVAL_STACK_EXCESS:
    throwPlainFault(message, log4cplus::ERROR_LOG_LEVEL, kEvaluatorSourcePath, __LINE__, kThrowFunction);
  case RPN_EVAL_REMOVE_NULLABLE_VECTOR:
  case RPN_EVAL_BAD_WKT:
  case RPN_EVAL_BAD_WKB:
  case RPN_EVAL_BAD_CAST:
  case RPN_EVAL_NULL_TO_ERROR:
    throwPlainFault(message, kRowErrorLevel, kEvaluatorSourcePath, __LINE__, kThrowFunction);
  default:
    return; // 0, 1 and codes above 18 are not failures
  }
}

namespace {

// What the analysis reads of each op, one entry per code, built once from the catalogue: a call then
// analyses its program with one table load per element instead of five catalogue queries.
struct OpFacts {
  enum : std::uint8_t {
    kNoOp = 1,
    kValue = 2,      // its result is not a state (None counts: the catalogue's unknown codes)
    kComputing = 4,  // a value element other than a load or a constant
    kNullSource = 8, // makes states: error or null producing, or a constant state or the column nulls
    kNullCombiner = 16,
    kReportable = 32, // error producing outside the null-logic and zero-if-null ranges
    kExpensive = 64,
    kPushesValue = 128,
  };
  std::uint8_t flags = kValue | kComputing; // codes outside the catalogue
  RpnDataType result = RpnDataType::None;
};

const std::array<OpFacts, ParserUtils::kNumOps>& opFactsTable() {
  static const std::array<OpFacts, ParserUtils::kNumOps> table = [] {
    std::array<OpFacts, ParserUtils::kNumOps> t{};
    auto in = [](int c, int lo, int hi) { return c >= lo && c <= hi; };
    for (int c = 0; c < ParserUtils::kNumOps; ++c) {
      const ParserUtils::OpInfo* info = ParserUtils::opInfo(c);
      OpFacts f;
      f.flags = 0;
      f.result = info != nullptr ? info->result : RpnDataType::None;
      if (ParserUtils::isNoOp(c))
        f.flags |= OpFacts::kNoOp;
      const RpnDataType type = ParserUtils::get_type(c);
      if (type != RpnDataType::NullState && type != RpnDataType::NullStateOnly) {
        f.flags |= OpFacts::kValue;
        if (!in(c, 35, 67) && !in(c, 101, 236))
          f.flags |= OpFacts::kComputing;
      }
      const bool errorProducing = ParserUtils::isa_error_producing_function(c);
      if (errorProducing || ParserUtils::isa_null_producing_function(c) || c == 237 || c == 239 || c == 240)
        f.flags |= OpFacts::kNullSource;
      else if (c == 238 || c == 241 || c == 242 || in(c, 244, 256))
        f.flags |= OpFacts::kNullCombiner;
      if (errorProducing && !in(c, 257, 286) && !in(c, 288, 320))
        f.flags |= OpFacts::kReportable;
      if (ParserUtils::is_expensive_host_only_function(c))
        f.flags |= OpFacts::kExpensive;
      if (info != nullptr && info->pushesValue())
        f.flags |= OpFacts::kPushesValue;
      t[static_cast<std::size_t>(c)] = f;
    }
    return t;
  }();
  return table;
}

OpFacts factsOf(const std::array<OpFacts, ParserUtils::kNumOps>& table, int code) {
  return code >= 0 && code < ParserUtils::kNumOps ? table[static_cast<std::size_t>(code)] : OpFacts{};
}

} // namespace

ProgramAnalysis analyzeProgram(const TypedRpnElement* elements, std::size_t n) {
  ProgramAnalysis a;
  if (n == 0)
    return a;
  const auto& table = opFactsTable();
  a.lastValueElement = a.lastNullElement = a.firstComputingElement = a.firstNullElement = n;
  for (std::size_t i = 0; i < n; ++i) {
    const OpFacts f = factsOf(table, elements[i].op);
    if (f.flags & OpFacts::kNoOp)
      continue;
    if (f.flags & OpFacts::kValue) {
      a.lastValueElement = i;
      if ((f.flags & OpFacts::kComputing) && a.firstComputingElement == n)
        a.firstComputingElement = i;
    }
    if (f.flags & OpFacts::kNullSource) {
      a.lastNullElement = i;
      a.hasNullStates = true;
      if (a.firstNullElement == n)
        a.firstNullElement = i;
    } else if (f.flags & OpFacts::kNullCombiner) {
      a.lastNullElement = i;
    }
    a.hasReportableErrors |= (f.flags & OpFacts::kReportable) != 0;
    a.hasExpensiveHostOnly |= (f.flags & OpFacts::kExpensive) != 0;
    if (f.flags & OpFacts::kPushesValue)
      a.evaluatedType = f.result;
    a.usesCurrentYear |= elements[i].op == kCurrentYearOp;
  }
  a.needsRowEvaluator = (a.firstComputingElement < n && a.lastValueElement != a.firstComputingElement) ||
                        (a.firstNullElement < n && a.lastNullElement != a.firstNullElement);
  return a;
}

TypedRpnEvaluatorParams::DeviceTrpnData::DeviceTrpnData(KernelExecutionHelper&,
                                                        const std::vector<TypedRpnElement>&,
                                                        unsigned char const* const*, std::uint64_t) {
  throw VelaException(VelaWhat::Unsupported,
                      "device evaluation is not available in this build: use a host KernelExecutionHelper");
}

TypedRpnEvaluatorParams::TypedRpnEvaluatorParams(
    KernelExecutionHelper* helper_, const std::vector<TypedRpnElement>& program_,
    unsigned char const* const* columns_, unsigned long numColumns_, unsigned char* outValues_,
    unsigned char* outNulls_, unsigned long* outSizes_, unsigned long numRows_, int currentYear_,
    unsigned long rowOffset_, EvaluatorCache* cache_, const job_info* job_, ManagedThreadLocalArena* arena_)
    : program(&program_), helper(helper_), hostColumns(columns_) {
  numElements = program_.size();
  lastValueElement = lastNullElement = numElements;

  const ProgramAnalysis a = analyzeProgram(program_.data(), program_.size());
  evaluatedType = a.evaluatedType;
  evaluatedTypeSize = ParserUtils::get_rpn_datatype_size(evaluatedType);
  lastValueElement = a.lastValueElement;
  lastNullElement = a.lastNullElement;
  hasNullStates = a.hasNullStates;
  hasReportableErrors = a.hasReportableErrors;
  needsRowEvaluator = a.needsRowEvaluator;
  hasExpensiveHostOnly = a.hasExpensiveHostOnly;

  numColumns = numColumns_;
  if (helper == nullptr || helper->isHost()) {
    elements = program_.data();
    columns = columns_;
  } else {
    deviceData.emplace(*helper, program_, columns_, numColumns_);
  }
  outValues = outValues_;
  outNulls = outNulls_;
  outSizes = outSizes_;
  numRows = numRows_;
  currentYear = currentYear_;
  rowOffset = rowOffset_;
  cache = cache_;
  job = job_;
  arena = arena_;
}

rpn_eval_result_t evaluateTypedRpnHost(const std::vector<TypedRpnElement>& program,
                                       unsigned char const* const* columns, unsigned long numColumns,
                                       unsigned char* outValues, unsigned char* outNulls,
                                       unsigned long* outSizes, unsigned long numRows,
                                       unsigned long rowOffset, const job_info* job,
                                       ManagedThreadLocalArena* arena) {
  // The cache outlives the parameters, which point at it.
  EvaluatorCache cache;
  // Only CURRENT_YEAR reads the year: the clock is not read for programs without it.
  const bool needsYear = std::any_of(program.begin(), program.end(),
                                     [](const TypedRpnElement& e) { return e.op == kCurrentYearOp; });
  const int year = needsYear ? currentYear() : 0;
  const TypedRpnEvaluatorParams params(nullptr, program, columns, numColumns, outValues, outNulls, outSizes,
                                       numRows, year, rowOffset, &cache, job, arena);
  const rpn_eval_result_t result = numRows == 1 || params.hasExpensiveHostOnly
                                       ? TypedRpnValueEvaluator::evaluate(params)
                                       : TypedRpnVectorEvaluator::evaluate(params);
  return reportedResult(result);
}

rpn_eval_result_t evaluateTypedRpn(KernelExecutionHelper& helper, const std::vector<TypedRpnElement>& program,
                                   unsigned char const* const* columns, unsigned long numColumns,
                                   unsigned char* outValues, unsigned char* outNulls, unsigned long* outSizes,
                                   unsigned long numRows, unsigned long rowOffset) {
  if (helper.isHost())
    return evaluateTypedRpnHost(program, columns, numColumns, outValues, outNulls, outSizes, numRows,
                                rowOffset, nullptr, nullptr);
  const int year = currentYear();
  const TypedRpnEvaluatorParams params(&helper, program, columns, numColumns, outValues, outNulls, outSizes,
                                       numRows, year, rowOffset, nullptr, nullptr, nullptr);
  const rpn_eval_result_t result = params.needsRowEvaluator ? TypedRpnValueEvaluator::evaluate(params)
                                                            : TypedRpnVectorEvaluator::evaluate(params);
  return reportedResult(result);
}

} // namespace vela::cuda
