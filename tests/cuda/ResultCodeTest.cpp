// Result codes: every code's message, shape, log level and location; codes that are not failures.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <log4cplus/loglevel.h>

#include "base/Logging.h"
#include "base/VelaException.h"
#include "cuda/TypedRpnEvaluator.h"
#include "tests/support/CapturingAppender.h"

using namespace vela::cuda;
using quarry::test::LogCapture;

namespace {

struct CodeCase {
  int code;
  const char* message;
  bool statusShape;
  int level;
};

const std::vector<CodeCase> kCodes = {
    {2, "Integer divide-by-zero", true, 25000},
    {3, "Stack error", false, 10000},
    {4, "ST_area returned a negative result; consider using the spheroid area metric", true, 25000},
    {5, "date_to_epoch_secs/msecs has some input parameter not in range", true, 25000},
    {6, "timestamp value not in range (-30610224000000 to 29379542399999)", true, 25000},
    {7, "stack underflow", false, 40000},
    {8, "stack ended with excess values", false, 40000},
    {9, "String too large", true, 25000},
    {10, "vector size mismatch", true, 25000},
    {11, "vector index out of bounds", true, 25000},
    {12, "Function remove_nullable (aka zeroifnull) not implemented for the vector type", false, 25000},
    {13, "Could not cast badly formatted WKT to a geometry", false, 25000},
    {14, "Could not cast badly formatted WKB to a geometry", false, 25000},
    {15, "Could not perform cast due to invalid input value", false, 25000},
    {16, "null explicitly converted to an error", false, 25000},
    {17, "Numeric overflow", true, 25000},
    {18, "TIME_BUCKET width must be greater than zero", true, 25000},
};

// " (code:line)" with the file code of the evaluator's source path.
bool endsWithLocation(const std::string& text) {
  const std::string prefix =
      " (" + std::to_string(vela::getLogErrorCodeFrom_FILE(kEvaluatorSourcePath)) + ":";
  const auto at = text.rfind(prefix);
  if (at == std::string::npos || text.back() != ')')
    return false;
  const std::string line = text.substr(at + prefix.size(), text.size() - at - prefix.size() - 1);
  return !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

TEST(ResultCodes, EveryFailureThrowsItsMessageShapeAndLevel) {
  LogCapture capture(vela::KernelLogger::logger());
  for (const auto& c : kCodes) {
    SCOPED_TRACE(c.code);
    vela::KernelLogger::resetLogLevelCounters();
    const std::size_t before = capture.events().size();
    try {
      throwIfEvaluationError(static_cast<rpn_eval_result_t>(c.code));
      ADD_FAILURE() << "no exception";
    } catch (const vela::VelaException& e) {
      EXPECT_EQ(e.whatCode(), 8);
      const std::string what = e.what();
      EXPECT_EQ(what.rfind(c.message, 0), 0u) << what;
      EXPECT_TRUE(endsWithLocation(what)) << what;
      if (c.statusShape) {
        ASSERT_TRUE(e.status().has_value());
        EXPECT_EQ(static_cast<int>(e.status()->kind()), 6);
        EXPECT_EQ(e.status()->message(), c.message);
        EXPECT_TRUE(endsWithLocation(e.location())) << e.location();
        EXPECT_EQ(e.location().substr(0, 2), " (");
      } else {
        EXPECT_FALSE(e.status().has_value());
        EXPECT_TRUE(e.location().empty());
      }
    }
    const auto events = capture.events();
    ASSERT_EQ(events.size(), before + 1);
    const auto& logged = events.back();
    EXPECT_EQ(logged.level, c.level);
    EXPECT_EQ(logged.logger, "vela::cuda::KernelLogger");
    EXPECT_EQ(logged.function, "void vela::cuda::throwIfEvaluationError(rpn_eval_result_t)");
    EXPECT_EQ(logged.file, kEvaluatorSourcePath);
    if (c.statusShape) {
      EXPECT_EQ(logged.message.rfind(std::string(c.message) + ";  (", 0), 0u) << logged.message;
    } else {
      EXPECT_EQ(logged.message.front(), '\'');
      EXPECT_EQ(logged.message.back(), '\'');
      EXPECT_EQ(logged.message.substr(1, std::string(c.message).size()), c.message);
    }
    EXPECT_TRUE(endsWithLocation(logged.message.back() == '\''
                                     ? logged.message.substr(0, logged.message.size() - 1)
                                     : logged.message));
    EXPECT_EQ(vela::KernelLogger::logLevelCounter(c.level), 1u);
  }
}

TEST(ResultCodes, NonFailuresReturnWithoutLogging) {
  LogCapture capture(vela::KernelLogger::logger());
  vela::KernelLogger::resetLogLevelCounters();
  for (int code : {0, 1, 19, 100, 255})
    EXPECT_NO_THROW(throwIfEvaluationError(static_cast<rpn_eval_result_t>(code))) << code;
  EXPECT_TRUE(capture.events().empty());
  for (int level : {10000, 25000, 40000})
    EXPECT_EQ(vela::KernelLogger::logLevelCounter(level), 0u);
}

TEST(ResultCodes, ErrorLevelFaultsPrintTheBacktraceOnceWhenSwitchedOn) {
  LogCapture kernel(vela::KernelLogger::logger());
  LogCapture backtrace(vela::Backtrace::logger());
  vela::setErrorBacktraceEnabled(true);
  for (int i = 0; i < 3; ++i)
    EXPECT_THROW(throwIfEvaluationError(RPN_EVAL_STACK_UNDERFLOW), vela::VelaException);
  EXPECT_THROW(throwIfEvaluationError(RPN_EVAL_BAD_CAST), vela::VelaException); // not ERROR level
  vela::setErrorBacktraceEnabled(false);
  EXPECT_THROW(throwIfEvaluationError(RPN_EVAL_STACK_EXCESS), vela::VelaException);
  const auto events = backtrace.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].level, log4cplus::ERROR_LOG_LEVEL);
  EXPECT_EQ(events[0].message.rfind("ERROR", 0), 0u);
}

TEST(ResultCodes, CombiningTakesTheMaximumAndReportsNullAsSuccess) {
  EXPECT_EQ(combineResults(RPN_EVAL_DIVIDE_BY_ZERO, RPN_EVAL_OVERFLOW), RPN_EVAL_OVERFLOW);
  EXPECT_EQ(combineResults(RPN_EVAL_OVERFLOW, RPN_EVAL_DIVIDE_BY_ZERO), RPN_EVAL_OVERFLOW);
  EXPECT_EQ(combineResults(RPN_EVAL_OK, RPN_EVAL_NULL), RPN_EVAL_NULL);
  EXPECT_EQ(reportedResult(RPN_EVAL_NULL), RPN_EVAL_OK);
  EXPECT_EQ(reportedResult(RPN_EVAL_DIVIDE_BY_ZERO), RPN_EVAL_DIVIDE_BY_ZERO);
}
