#pragma once
// Result codes, the per-call parameters of an evaluation and the one-time analysis of a program.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ParserUtils.h"

namespace vela {
class EvaluatorCache;
class ManagedThreadLocalArena;
class KernelExecutionHelper;
class job_info;
} // namespace vela

namespace vela::cuda {

using ParserUtils::RpnDataType;
using ParserUtils::TypedRpnElement;

/// Row result and null state: 0 present, 1 null, 2..18 a row failure with a fixed message. Rows,
/// batches and tasks combine codes by their maximum.
enum rpn_eval_result_t : std::uint8_t {
  RPN_EVAL_OK = 0,
  RPN_EVAL_NULL = 1,
  RPN_EVAL_DIVIDE_BY_ZERO = 2,
  RPN_EVAL_STACK_ERROR = 3,
  RPN_EVAL_NEGATIVE_AREA = 4,
  RPN_EVAL_DATE_PART_RANGE = 5,
  RPN_EVAL_TIMESTAMP_RANGE = 6,
  RPN_EVAL_STACK_UNDERFLOW = 7,
  RPN_EVAL_STACK_EXCESS = 8,
  RPN_EVAL_STRING_TOO_LARGE = 9,
  RPN_EVAL_VECTOR_SIZE_MISMATCH = 10,
  RPN_EVAL_VECTOR_INDEX = 11,
  RPN_EVAL_REMOVE_NULLABLE_VECTOR = 12,
  RPN_EVAL_BAD_WKT = 13,
  RPN_EVAL_BAD_WKB = 14,
  RPN_EVAL_BAD_CAST = 15,
  RPN_EVAL_NULL_TO_ERROR = 16,
  RPN_EVAL_OVERFLOW = 17,
  RPN_EVAL_TIME_BUCKET_WIDTH = 18,
};
inline constexpr std::uint8_t kMaxDefinedResultCode = 18;

/// Codes of rows, batches and tasks combine by maximum, with 0 as the identity.
constexpr rpn_eval_result_t combineResults(rpn_eval_result_t a, rpn_eval_result_t b) {
  return a < b ? b : a;
}
/// What a call reports: a final 1 (merely null) is 0.
constexpr rpn_eval_result_t reportedResult(rpn_eval_result_t r) {
  return r == RPN_EVAL_NULL ? RPN_EVAL_OK : r;
}

/// Throws the VelaException of a returned code, after logging it. Codes 0, 1 and above 18 return at
/// once without logging.
void throwIfEvaluationError(rpn_eval_result_t result);

/// Raises a fault in the plain shape: the text is `message` followed by the location suffix of
/// (`sourcePath`, `line`); when the evaluator's logger is enabled for `level` the level counter is raised
/// and the text is logged in single quotes; at ERROR level the error backtrace is printed once when it
/// is switched on. Throws VelaException(8, text).
[[noreturn]] void throwPlainFault(const std::string& message, int level, const char* sourcePath, int line,
                                  const char* function);

/// The message of a code (without the location suffix); empty for 0, 1 and undefined codes.
const char* resultCodeMessage(rpn_eval_result_t result);

/// Source paths whose file codes appear in the location suffixes of the frame's messages.
inline constexpr const char* kEvaluatorSourcePath = "cuda/TypedRpnEvaluator";
inline constexpr const char* kEvaluatorImplSourcePath = "cuda/TypedRpnEvaluatorImpl";

/// What the one-time analysis learns of a program.
struct ProgramAnalysis {
  std::size_t lastValueElement = 0;
  std::size_t lastNullElement = 0;
  std::size_t firstComputingElement = 0;
  std::size_t firstNullElement = 0;
  bool hasNullStates = false;
  bool hasReportableErrors = false;
  bool needsRowEvaluator = false;
  bool hasExpensiveHostOnly = false;
  bool usesCurrentYear = false;
  /// The result type of the last element that pushes a value (None when none does).
  RpnDataType evaluatedType = RpnDataType::None;
};

/// CURRENT_YEAR, the one op that reads the call's current year.
inline constexpr int kCurrentYearOp = 2288;

/// Runs the analysis over a program's elements. An empty program leaves every flag false and both
/// "last" indexes at 0.
ProgramAnalysis analyzeProgram(const TypedRpnElement* elements, std::size_t numElements);

/// The plain, copyable part of the parameters, read by every evaluator.
struct TypedRpnEvaluatorContext {
  const TypedRpnElement* elements = nullptr;
  std::uint64_t numElements = 0;
  std::uint64_t lastValueElement = 0;
  std::uint64_t lastNullElement = 0;
  RpnDataType evaluatedType = RpnDataType::None;
  std::uint64_t evaluatedTypeSize = 0;
  bool hasNullStates = false;
  bool hasReportableErrors = false;
  unsigned char const* const* columns = nullptr;
  std::uint64_t numColumns = 0;
  unsigned char* outValues = nullptr;
  unsigned char* outNulls = nullptr;
  unsigned long* outSizes = nullptr;
  std::uint64_t numRows = 0;
  std::int32_t currentYear = 0;
  std::uint64_t rowOffset = 0;
  EvaluatorCache* cache = nullptr;
  const job_info* job = nullptr;
  ManagedThreadLocalArena* arena = nullptr;
};

/// The parameters of one call: the context, the caller's program and the analysis flags that choose
/// the evaluator. Lives on the caller's stack for exactly one call.
struct TypedRpnEvaluatorParams : TypedRpnEvaluatorContext {
  /// Copies of what a device-side evaluation reads through pointers. This build evaluates on the
  /// host only: constructing device data is refused.
  struct DeviceTrpnData {
    explicit DeviceTrpnData(KernelExecutionHelper& helper, const std::vector<TypedRpnElement>& program,
                            unsigned char const* const* columns, std::uint64_t numColumns);
  };

  TypedRpnEvaluatorParams(KernelExecutionHelper* helper, const std::vector<TypedRpnElement>& program,
                          unsigned char const* const* columns, unsigned long numColumns,
                          unsigned char* outValues, unsigned char* outNulls, unsigned long* outSizes,
                          unsigned long numRows, int currentYear, unsigned long rowOffset,
                          EvaluatorCache* cache, const job_info* job, ManagedThreadLocalArena* arena);
  TypedRpnEvaluatorParams(const TypedRpnEvaluatorParams&) = delete;
  TypedRpnEvaluatorParams& operator=(const TypedRpnEvaluatorParams&) = delete;

  const std::vector<TypedRpnElement>* program = nullptr;
  bool needsRowEvaluator = false;
  bool hasExpensiveHostOnly = false;
  KernelExecutionHelper* helper = nullptr;
  unsigned char const* const* hostColumns = nullptr;
  std::optional<DeviceTrpnData> deviceData;
};

// ---------------------------------------------------------------------------------------------------
// Entry points

/// Evaluates `program` for rows 0 to numRows - 1 on the host and returns the worst row code, with 1
/// (null) reported as 0. Creates the call's EvaluatorCache, reads the current year once, and runs the row
/// evaluator for a single row or a program with an expensive host-only op, the column-batch evaluator
/// otherwise. Writes outValues cell r, outNulls byte r (when given) and outSizes element r (object
/// results) of every row. Evaluation errors are only returned; frame faults throw VelaException.
rpn_eval_result_t evaluateTypedRpnHost(const std::vector<TypedRpnElement>& program,
                                       unsigned char const* const* columns, unsigned long numColumns,
                                       unsigned char* outValues, unsigned char* outNulls,
                                       unsigned long* outSizes, unsigned long numRows,
                                       unsigned long rowOffset, const job_info* job,
                                       ManagedThreadLocalArena* arena);

/// As evaluateTypedRpnHost with the caller's execution helper. A host helper is ignored: the call is
/// evaluateTypedRpnHost without a job and without an arena. Any other helper evaluates through the
/// helper's device, which this build does not have (the parameters refuse to build device data).
rpn_eval_result_t evaluateTypedRpn(KernelExecutionHelper& helper, const std::vector<TypedRpnElement>& program,
                                   unsigned char const* const* columns, unsigned long numColumns,
                                   unsigned char* outValues, unsigned char* outNulls, unsigned long* outSizes,
                                   unsigned long numRows, unsigned long rowOffset);

} // namespace vela::cuda
